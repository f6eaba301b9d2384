#include "support/streams/disk_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "errors/module_errors.h"
#include "errors/xerror.h"
#include "support/platform/error_codes.h"
#include "errors/stream_errors.h"
#include "support/streams/stream_error.h"
#include "support/streams/temp_dir_fixture.h"

namespace {

using qgtest::Narrow;
using qgtest::U16;
using std::u16string;

constexpr uint32_t kRW = qg::GENERIC_READ | qg::GENERIC_WRITE;

class DiskFileTest : public qgtest::TempDirTest {
 protected:
  // Opens name in the folder; the test fails when that fails.
  void Open(CDiskFile& f, const std::string& name, uint32_t access = kRW,
            uint32_t disposition = qg::OPEN_ALWAYS) {
    ASSERT_TRUE(f.bOpen(Path16(name).c_str(), access, 0, disposition, 0, nullptr))
        << Narrow(f.pclGetError()->pszGetDebugMessage());
  }
  static uint32_t Message(CXError* e) { return e->nGetNbMessageId() > 0 ? e->nGetMessageId(0) : 0; }
  static std::string Debug(CXError* e) { return Narrow(e->pszGetDebugMessage()); }
};

TEST_F(DiskFileTest, OpenDispositionsReportCreatedAndLastError) {
  struct Case {
    uint32_t disposition;
    bool exists_before;
    bool ok;
    bool created;
    uint32_t last_error;
    uint32_t message;  // on failure
  } cases[] = {
      {qg::OPEN_ALWAYS, false, true, true, 0, 0},
      {qg::OPEN_ALWAYS, true, true, false, qg::kErrorAlreadyExists, 0},
      {qg::OPEN_EXISTING, true, true, false, 0, 0},
      {qg::OPEN_EXISTING, false, false, false, qg::kErrorFileNotFound, 28139},
      {qg::CREATE_ALWAYS, false, true, true, 0, 0},
      {qg::CREATE_ALWAYS, true, true, true, qg::kErrorAlreadyExists, 0},
      {qg::CREATE_NEW, true, false, false, qg::kErrorFileExists, 0},
      {qg::CREATE_NEW, false, true, true, 0, 0},
      {qg::TRUNCATE_EXISTING, true, true, false, 0, 0},
      {qg::TRUNCATE_EXISTING, false, false, false, qg::kErrorFileNotFound, 0},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(i);
    std::string name = "f" + std::to_string(i++);
    if (c.exists_before) WriteFile(name, "old");
    CDiskFile f;
    bool created = !c.created;
    EXPECT_EQ(f.bOpen(Path16(name).c_str(), kRW, 0, c.disposition, 0, &created), c.ok);
    EXPECT_EQ(qg::GetLastError(), c.last_error);
    EXPECT_EQ(created, c.created);
    EXPECT_EQ(f.bIsOpen(), c.ok);
    CXError* e = f.pclGetError();
    EXPECT_EQ(e->nGetNiveau(), c.ok ? XERR_NONE : XERR_ERROR);
    if (!c.ok) {
      EXPECT_EQ(e->nGetSystemError(), c.last_error);
      EXPECT_EQ(Message(e), c.message);
      EXPECT_NE(Debug(e).find("##(IXStream)-Handle=<FFFFFFFFFFFFFFFF>##"), std::string::npos);
      EXPECT_EQ(Narrow(e->pszGetInfoText(EIT_SRCFILE)), Path(name));
    }
    if (c.ok && c.exists_before) {
      bool truncates = c.disposition == qg::CREATE_ALWAYS || c.disposition == qg::TRUNCATE_EXISTING;
      EXPECT_EQ(f.nGetSize(), truncates ? 0 : 3);
    }
  }
}

TEST_F(DiskFileTest, FailedOpenNamesTheDisplayNameAndRefusesFolders) {
  CDiskFile f;
  f.SetDisplayName(u"Customers");
  EXPECT_FALSE(f.bOpen(Path16("missing").c_str(), kRW, 0, qg::OPEN_EXISTING, 0, nullptr));
  CXError* e = f.pclGetError();
  EXPECT_EQ(Narrow(e->pszGetInfoText(EIT_SRCFILE)), "Customers");
  EXPECT_NE(Narrow(e->pszGetUserMessage()).find("Customers"), std::string::npos);

  CDiskFile d;
  EXPECT_FALSE(d.bOpen(U16(dir_).c_str(), qg::GENERIC_READ, 0, qg::OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorAccessDenied);
  EXPECT_FALSE(d.bIsOpen());

  CDiskFile n;  // the folder is missing, not the file
  EXPECT_FALSE(n.bOpen(Path16("no/such").c_str(), kRW, 0, qg::OPEN_ALWAYS, 0, nullptr));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorPathNotFound);
  EXPECT_EQ(Message(n.pclGetError()), 28002u);
}

TEST_F(DiskFileTest, ExactReadPastTheEndFailsWhileCountedReadReturnsWhatItGot) {
  WriteFile("data", "0123456789abcdefghij");  // 20 bytes
  CDiskFile f;
  Open(f, "data", qg::GENERIC_READ, qg::OPEN_EXISTING);
  char buffer[10];
  ASSERT_TRUE(f.bSeek(16, qg::FILE_BEGIN));
  EXPECT_FALSE(f.bRead(buffer, 10, nullptr));
  CXError* e = f.pclGetError();
  EXPECT_EQ(e->nGetNiveau(), XERR_ERROR);
  EXPECT_EQ(Message(e), 28003u);
  EXPECT_EQ(e->nGetSystemError(), 0u);
  EXPECT_NE(Debug(e).find("##(IXStream)-bExact=<1>##"), std::string::npos);
  EXPECT_NE(Debug(e).find("##(IXStream)-A lire=<10>, lu=<4>##"), std::string::npos);
  EXPECT_NE(Debug(e).find("##(IXStream)-Offset=<16>##"), std::string::npos);

  ASSERT_TRUE(f.bSeek(16, qg::FILE_BEGIN));
  uint32_t got = 99;
  EXPECT_TRUE(f.bRead(buffer, 10, &got));
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(buffer, 4), "ghij");
  EXPECT_EQ(f.nGetPosition(), 20);
  EXPECT_EQ(e->nGetNiveau(), XERR_NONE);  // cleared by the next operation
  EXPECT_TRUE(f.bRead(buffer, 10, &got));
  EXPECT_EQ(got, 0u);
}

TEST_F(DiskFileTest, WritesFollowAccessAndZeroBytesNeedNoFile) {
  CDiskFile closed;
  EXPECT_TRUE(closed.bWrite("x", 0, nullptr));  // no system call on a closed file
  EXPECT_FALSE(closed.bWrite("x", 1, nullptr));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorInvalidHandle);

  WriteFile("ro", "abc");
  CDiskFile f;
  Open(f, "ro", qg::GENERIC_READ, qg::OPEN_EXISTING);
  uint32_t written = 7;
  EXPECT_FALSE(f.bWrite("zz", 2, &written));
  EXPECT_EQ(written, 0u);
  CXError* e = f.pclGetError();
  EXPECT_EQ(Message(e), 28008u);
  EXPECT_EQ(e->nGetSystemError(), qg::kErrorAccessDenied);
  EXPECT_NE(Debug(e).find("##(IXStream)-Access=<80000000>##"), std::string::npos);

  CDiskFile w;
  Open(w, "rw");
  ASSERT_TRUE(w.bWrite("hello", 5, &written));
  ASSERT_TRUE(w.bWriteAt(1, "EL", 2, nullptr));
  EXPECT_EQ(w.nGetPosition(), 3);
  EXPECT_EQ(ReadFile("rw"), "hELlo");
  char back[3] = {};
  ASSERT_TRUE(w.bReadAt(3, back, 2, nullptr));
  EXPECT_EQ(std::string(back), "lo");
}

TEST_F(DiskFileTest, SeekKeepsPositionOnFailureAndCountsFromEachBase) {
  WriteFile("s", "0123456789");
  CDiskFile f;
  Open(f, "s");
  ASSERT_TRUE(f.bSeek(4, qg::FILE_BEGIN));
  EXPECT_FALSE(f.bSeek(-5, qg::FILE_CURRENT));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorNegativeSeek);
  EXPECT_EQ(Message(f.pclGetError()), 28005u);
  EXPECT_EQ(f.nGetPosition(), 4);
  EXPECT_FALSE(f.bSeek(0, 9));
  EXPECT_EQ(f.nGetPosition(), 4);
  ASSERT_TRUE(f.bSeek(-3, qg::FILE_END));
  EXPECT_EQ(f.nGetPosition(), 7);
  ASSERT_TRUE(f.bSeek(2, qg::FILE_CURRENT));
  EXPECT_EQ(f.nGetPosition(), 9);
  EXPECT_EQ(f.nGetSize(), 10);
  EXPECT_EQ(f.nGetPosition(), 9);
  EXPECT_EQ(f.nSeekToEnd(), 10);
}

TEST_F(DiskFileTest, EndOfFileExtendAndValidSizeKeepExistingBytes) {
  WriteFile("e", "abcdef");
  CDiskFile f;
  Open(f, "e");
  // A count of 0 or less leaves the file alone (its last byte included).
  EXPECT_TRUE(f.bExtend(0));
  EXPECT_TRUE(f.bExtend(-4));
  EXPECT_EQ(ReadFile("e"), "abcdef");
  ASSERT_TRUE(f.bExtend(2));
  EXPECT_EQ(ReadFile("e"), std::string("abcdef\0\0", 8));
  EXPECT_EQ(f.nGetPosition(), 8);
  // A count past the largest offset fails without touching the file.
  EXPECT_FALSE(f.bExtend(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ(Message(f.pclGetError()), 28005u);
  EXPECT_EQ(ReadFile("e"), std::string("abcdef\0\0", 8));

  ASSERT_TRUE(f.bSetEndOfFile(-3, 1));  // from the end
  EXPECT_EQ(ReadFile("e"), "abcde");
  EXPECT_EQ(f.nGetPosition(), 5);
  ASSERT_TRUE(f.bSetEndOfFile(4, 0));
  EXPECT_EQ(ReadFile("e"), "abcd");
  EXPECT_FALSE(f.bSetEndOfFile(1, 2));
  EXPECT_FALSE(f.bSetEndOfFile(-9, 1));
  EXPECT_EQ(Message(f.pclGetError()), 28005u);

  // Shrinking keeps the new last byte; growing writes a zero last byte.
  ASSERT_TRUE(f.bSetValidSize(3));
  EXPECT_EQ(ReadFile("e"), "abc");
  ASSERT_TRUE(f.bSetValidSize(5));
  EXPECT_EQ(ReadFile("e"), std::string("abc\0\0", 5));

  CDiskFile ro;
  Open(ro, "e", qg::GENERIC_READ, qg::OPEN_EXISTING);
  EXPECT_FALSE(ro.bSetEndOfFile(1, 0));
  EXPECT_EQ(Message(ro.pclGetError()), 28004u);
  EXPECT_EQ(ro.pclGetError()->nGetSystemError(), qg::kErrorAccessDenied);
}

TEST_F(DiskFileTest, FormattedWritesWriteTheWholeText) {
  CDiskFile f;
  Open(f, "p", kRW, qg::CREATE_ALWAYS);
  std::u16string long_w(3000, u'w');
  EXPECT_EQ(f.nPrintfW(u"[%s]%d", long_w.c_str(), 42), 3004);
  std::string long_a(2000, 'a');
  EXPECT_EQ(f.nPrintfA("<%s>%I64u", long_a.c_str(), static_cast<uint64_t>(1) << 40), 2015);
  std::string content = ReadFile("p");
  ASSERT_EQ(content.size(), 3004u * 2 + 2015u);
  std::u16string wide(reinterpret_cast<const char16_t*>(content.data()), 3004);
  EXPECT_EQ(wide, u"[" + long_w + u"]42");
  EXPECT_EQ(content.substr(3004 * 2), "<" + long_a + ">1099511627776");
}

// One read-line case: file content, options, capacity, then the lines
// expected (a trailing '~' marks a truncated line) before the end.
struct LineCase {
  std::string content;
  uint32_t options;
  int capacity;
  std::vector<std::string> lines;
};

TEST_F(DiskFileTest, ReadLineEndsAndTruncation) {
  std::string edge79 = std::string(79, 'a');
  std::string edge_block = std::string(65535, 'b');
  const LineCase cases[] = {
      {"a\rb\nc\r\nd", 0, 64, {"a", "b", "c", "d"}},
      {"\r\n\r\n\n\r", 0, 64, {"", "", "", ""}},
      {"a\rb\nc\r\nd", qg::kReadLineCrLfOnly, 64, {"a\rb\nc", "d"}},
      {"abc\r", 0, 64, {"abc"}},
      {"abc\r", qg::kReadLineCrLfOnly, 64, {"abc\r"}},
      // A CR at the edge of an 80-byte chunk and of the read-ahead block.
      {edge79 + "\r\nz", 0, 128, {edge79, "z"}},
      {edge79 + "\r\nz", qg::kReadLineCrLfOnly, 128, {edge79, "z"}},
      {edge_block + "\r\nz", qg::kReadLineCrLfOnly, 70000, {edge_block, "z"}},
      {edge_block + "\rz", 0, 70000, {edge_block, "z"}},
      // Full buffer: capacity - 1 characters fit without truncation.
      {"abc\r\nd", 0, 4, {"abc", "d"}},
      {"abcd\r\ne", 0, 4, {"abc~", "d", "e"}},
      {"abcdefg", 0, 4, {"abc~", "def~", "g"}},
      {"ab\rcd\r\n", qg::kReadLineCrLfOnly, 3, {"ab~", "\rc~", "d"}},
      {"", 0, 8, {}},
  };
  int i = 0;
  for (const LineCase& c : cases) {
    SCOPED_TRACE(i);
    std::string name = "l" + std::to_string(i++);
    WriteFile(name, c.content);
    CDiskFile f;
    Open(f, name, qg::GENERIC_READ, qg::OPEN_EXISTING);
    std::vector<char> buffer(static_cast<size_t>(c.capacity));
    for (const std::string& expected : c.lines) {
      bool truncated = false;
      ASSERT_TRUE(f.bReadLineA(buffer.data(), c.capacity, &truncated, c.options));
      std::string line = buffer.data();
      if (truncated) line += '~';
      EXPECT_EQ(line, expected);
    }
    bool truncated = true;
    EXPECT_FALSE(f.bReadLineA(buffer.data(), c.capacity, &truncated, c.options));
    EXPECT_FALSE(truncated);
    EXPECT_EQ(f.pclGetError()->nGetNiveau(), XERR_NONE);  // the end is no error
    EXPECT_EQ(f.nGetPosition(), static_cast<int64_t>(c.content.size()));
  }
}

TEST_F(DiskFileTest, ReadLineUtf16AndMixedWithOtherOperations) {
  std::u16string text = u"l1\r\nl\u00e92\nl3\r";
  std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  WriteFile("w", bytes + "X");  // a stray odd byte at the end
  CDiskFile f;
  Open(f, "w");
  char16_t line[16];
  bool truncated = false;
  ASSERT_TRUE(f.bReadLineW(line, 16, &truncated, 0));
  EXPECT_EQ(u16string(line), u"l1");
  ASSERT_TRUE(f.bReadLineW(line, 16, &truncated, 0));
  EXPECT_EQ(u16string(line), u"l\u00e92");
  // A plain read right after a line starts where the line ended.
  char16_t unit = 0;
  ASSERT_TRUE(f.bRead(&unit, 2, nullptr));
  EXPECT_EQ(unit, u'l');
  ASSERT_TRUE(f.bReadLineW(line, 16, &truncated, 0));
  EXPECT_EQ(u16string(line), u"3");
  EXPECT_FALSE(f.bReadLineW(line, 16, &truncated, 0));

  // A write between line reads is seen by the next one.
  WriteFile("m", "one\ntwo\nthree\n");
  CDiskFile m;
  Open(m, "m");
  char a[16];
  ASSERT_TRUE(m.bReadLineA(a, 16, nullptr, 0));
  ASSERT_TRUE(m.bWrite("TWO", 3, nullptr));
  ASSERT_TRUE(m.bSeek(4, qg::FILE_BEGIN));
  ASSERT_TRUE(m.bReadLineA(a, 16, nullptr, 0));
  EXPECT_EQ(std::string(a), "TWO");

  EXPECT_FALSE(m.bReadLineA(a, 0, nullptr, 0));
  EXPECT_EQ(m.pclGetError()->nGetNiveau(), XERR_ERROR);
}

TEST_F(DiskFileTest, ReadLineSeesChangesMadeThroughOtherDescriptors) {
  std::string many;
  for (int i = 0; i < 100; ++i) many += "line " + std::to_string(i) + "\n";
  WriteFile("shared", many);
  CDiskFile f;
  Open(f, "shared");
  char a[64];
  ASSERT_TRUE(f.bReadLineA(a, 64, nullptr, 0));
  EXPECT_EQ(std::string(a), "line 0");
  // Overwritten, same size, through another descriptor.
  std::string changed = many;
  changed.replace(7, 6, "LINE 1");
  WriteFile("shared", changed);
  ASSERT_TRUE(f.bReadLineA(a, 64, nullptr, 0));
  EXPECT_EQ(std::string(a), "LINE 1");
  // Truncated: the next read finds the end of the file.
  WriteFile("shared", "");
  EXPECT_FALSE(f.bReadLineA(a, 64, nullptr, 0));
  EXPECT_EQ(f.pclGetError()->nGetNiveau(), XERR_NONE);
}

TEST_F(DiskFileTest, ReadLineIntoOneUnitFailsWhenACharacterFollows) {
  WriteFile("one", "ab\n\nc");
  CDiskFile f;
  Open(f, "one");
  char a[1];
  bool truncated = false;
  // Room for the terminator only: a line character cannot be returned, and
  // the position would never move (a reading loop would never end).
  EXPECT_FALSE(f.bReadLineA(a, 1, &truncated, 0));
  EXPECT_EQ(f.pclGetError()->nGetSystemError(), qg::kErrorInsufficientBuffer);
  EXPECT_EQ(f.nGetPosition(), 0);
  // An empty line still reads.
  ASSERT_TRUE(f.bSeek(3, qg::FILE_BEGIN));
  ASSERT_TRUE(f.bReadLineA(a, 1, &truncated, 0));
  EXPECT_EQ(a[0], 0);
  EXPECT_FALSE(truncated);
}

TEST_F(DiskFileTest, CopyCountsAndShortfall) {
  WriteFile("src", "0123456789");
  CDiskFile src, dst;
  Open(src, "src", qg::GENERIC_READ, qg::OPEN_EXISTING);
  Open(dst, "dst", kRW, qg::CREATE_ALWAYS);
  EXPECT_TRUE(src.bCopyTo(&dst, 0));
  ASSERT_TRUE(src.bSeek(2, qg::FILE_BEGIN));
  ASSERT_TRUE(src.bCopyTo(&dst, 3));
  EXPECT_EQ(ReadFile("dst"), "234");
  ASSERT_TRUE(src.bCopyTo(&dst, -1));  // to the end
  EXPECT_EQ(ReadFile("dst"), "23456789");
  // An exact count the file cannot fill fails.
  ASSERT_TRUE(src.bSeek(8, qg::FILE_BEGIN));
  EXPECT_FALSE(src.bCopyTo(&dst, 5));
  EXPECT_EQ(Message(src.pclGetError()), 28003u);

  // The target's failure is reported in the source's error object.
  CDiskFile ro;
  Open(ro, "dst", qg::GENERIC_READ, qg::OPEN_EXISTING);
  ASSERT_TRUE(src.bSeek(0, qg::FILE_BEGIN));
  EXPECT_FALSE(src.bCopyTo(&ro, -1));
  EXPECT_EQ(Message(src.pclGetError()), 28008u);
}

TEST_F(DiskFileTest, RangeCopyIntoNewFileAndAppendFromAnother) {
  WriteFile("src", "0123456789");
  CDiskFile f;
  Open(f, "src");
  ASSERT_TRUE(f.bCopyRangeToNewFile(Path16("part").c_str(), 3, 4));
  EXPECT_EQ(ReadFile("part"), "3456");
  // Failure deletes the new file.
  EXPECT_FALSE(f.bCopyRangeToNewFile(Path16("bad").c_str(), 8, 5));
  EXPECT_FALSE(Exists("bad"));
  EXPECT_EQ(Message(f.pclGetError()), 28003u);

  ASSERT_TRUE(f.bAppendRangeOf(Path16("part").c_str(), 1, 2));
  EXPECT_EQ(ReadFile("src"), "012345678945");
  ASSERT_TRUE(f.bAppendRangeOf(Path16("part").c_str(), 2, -1));
  EXPECT_EQ(ReadFile("src"), "01234567894556");
  EXPECT_FALSE(f.bAppendRangeOf(Path16("none").c_str(), 0, -1));
  EXPECT_EQ(Message(f.pclGetError()), 28139u);
}

TEST_F(DiskFileTest, ReadBlockKeepsPositionAndFailsPastTheEnd) {
  WriteFile("b", "abcdefgh");
  CDiskFile f;
  Open(f, "b");
  ASSERT_TRUE(f.bSeek(1, qg::FILE_BEGIN));
  CSimpleBuffer buffer;
  CSimpleConstBufferBase block = f.ReadBlock(2, 4, &buffer);
  ASSERT_NE(block.pGetData(), nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.pGetData()), block.nGetSize()),
            "cdef");
  EXPECT_EQ(buffer.nGetSize(), 4u);
  EXPECT_EQ(f.nGetPosition(), 1);
  block = f.ReadBlock(6, 4, &buffer);
  EXPECT_EQ(block.pGetData(), nullptr);
  EXPECT_EQ(block.nGetSize(), 0u);
  EXPECT_EQ(Message(f.pclGetError()), 28003u);
  EXPECT_EQ(f.nGetPosition(), 1);
}

TEST_F(DiskFileTest, RangeLocksBelongToEachOpenFile) {
  WriteFile("lock", std::string(64, 'x'));
  CDiskFile a, b, c;
  Open(a, "lock");
  Open(b, "lock");
  ASSERT_TRUE(a.bLockRange(10, 5));
  EXPECT_FALSE(b.bLockRange(12, 1));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorLockViolation);
  CXError* e = b.pclGetError();
  EXPECT_EQ(Message(e), 28145u);
  EXPECT_NE(Narrow(e->pszGetUserMessage()).find("12"), std::string::npos);
  EXPECT_TRUE(b.bLockRange(15, 5));  // adjacent, no overlap

  // Closing another descriptor of the file keeps a's lock.
  Open(c, "lock");
  c.Close();
  EXPECT_FALSE(b.bLockRangeNoError(10, 1));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorLockViolation);

  ASSERT_TRUE(a.bUnlockRange(10, 5));
  EXPECT_TRUE(b.bLockRangeNoError(10, 1));
  EXPECT_TRUE(b.bUnlockRangeNoError(10, 1));

  EXPECT_FALSE(a.bLockRange(0, 0));
  EXPECT_EQ(qg::GetLastError(), qg::kErrorInvalidParameter);
  CDiskFile ro;
  Open(ro, "lock", qg::GENERIC_READ, qg::OPEN_EXISTING);
  EXPECT_FALSE(ro.bLockRange(0, 1));  // exclusive locks need write access
  EXPECT_EQ(qg::GetLastError(), qg::kErrorAccessDenied);
}

TEST_F(DiskFileTest, LocksHoldAgainstAForkedChild) {
  WriteFile("lock", std::string(64, 'x'));
  CDiskFile a;
  Open(a, "lock");
  ASSERT_TRUE(a.bLockRange(0, 10));
  std::u16string path = Path16("lock");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    CDiskFile child;
    int code = 0;
    if (!child.bOpen(path.c_str(), kRW, 0, qg::OPEN_EXISTING, 0, nullptr)) code |= 1;
    if (child.bLockRangeNoError(5, 1) || qg::GetLastError() != qg::kErrorLockViolation) code |= 2;
    if (!child.bLockRangeNoError(20, 1)) code |= 4;
    // The parent's inherited descriptor closing in the child drops nothing.
    ::close(a.nGetHandle());
    if (child.bLockRangeNoError(9, 1)) code |= 8;
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The child's lock went with its process.
  EXPECT_TRUE(a.bLockRangeNoError(20, 1));
}

TEST_F(DiskFileTest, WholeFileLocksShareOrExclude) {
  WriteFile("whole", "abc");
  CDiskFile a, b;
  Open(a, "whole");
  Open(b, "whole");
  ASSERT_TRUE(a.bLockWholeFile(true, false));
  ASSERT_TRUE(b.bLockWholeFile(true, false));  // shared with a
  EXPECT_FALSE(b.bLockRangeNoError(0, 1));     // exclusive against a's share
  ASSERT_TRUE(a.bLockWholeFile(false, false));
  ASSERT_TRUE(b.bLockWholeFile(false, false));
  ASSERT_TRUE(a.bLockWholeFile(true, true));
  EXPECT_FALSE(b.bLockRangeNoError(1, 1));  // the exclusive lock covers two bytes
  EXPECT_TRUE(b.bLockRangeNoError(2, 1));
  ASSERT_TRUE(a.bLockWholeFile(false, true));
}

TEST_F(DiskFileTest, RealPathNamesTheOpenFile) {
  std::filesystem::create_directory(Path("sub"));
  WriteFile("sub/r", "x");
  CDiskFile f;
  Open(f, "sub/../sub/./r", qg::GENERIC_READ, qg::OPEN_EXISTING);
  EXPECT_EQ(Narrow(f.pszGetPath()), Path("sub/r"));
  char16_t real[qg::kPathCapacity];
  ASSERT_TRUE(f.bGetRealPath(real));
  EXPECT_EQ(Narrow(real), std::filesystem::canonical(Path("sub/r")).string());
  std::filesystem::remove(Path("sub/r"));
  EXPECT_FALSE(f.bGetRealPath(real));
  EXPECT_EQ(real[0], 0);

  // Reopen works on the stored path.
  WriteFile("again", "12");
  CDiskFile g;
  Open(g, "again", qg::GENERIC_READ, qg::OPEN_EXISTING);
  ASSERT_TRUE(g.bSeek(1, qg::FILE_BEGIN));
  ASSERT_TRUE(g.bReopen(kRW, 0, qg::OPEN_EXISTING, 0));
  EXPECT_EQ(g.nGetPosition(), 0);
  EXPECT_EQ(g.nGetAccess(), kRW);
  EXPECT_TRUE(g.bWrite("9", 1, nullptr));
  EXPECT_EQ(ReadFile("again"), "92");
}

TEST_F(DiskFileTest, ErrorsCarryTheInstalledModuleAndDefinitions) {
  qg::SetStreamErrorModule(76, &gstErrorDefModule76);
  CDiskFile f;
  EXPECT_FALSE(f.bOpen(Path16("none").c_str(), kRW, 0, qg::OPEN_EXISTING, 0, nullptr));
  CXError* e = f.pclGetError();
  EXPECT_EQ(e->nGetModule(), 76);
  EXPECT_EQ(Narrow(e->pszGetTableText1()), "qg300maria");
  EXPECT_EQ(Message(e), 28139u);
  qg::SetStreamErrorModule(0, nullptr);
}

TEST_F(DiskFileTest, RelativePathsResolveAgainstTheCurrentDirectory) {
  std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::create_directory(Path("cwd"));
  std::filesystem::current_path(Path("cwd"));
  CDiskFile f;
  bool ok = f.bOpen(u"..\\rel.txt", kRW, 0, qg::CREATE_ALWAYS, 0, nullptr);
  std::filesystem::current_path(saved);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Narrow(f.pszGetPath()), Path("rel.txt"));
  EXPECT_TRUE(Exists("rel.txt"));
}

TEST_F(DiskFileTest, CurrentDirectoryFitsTheBuffer) {
  char16_t cwd[qg::kPathCapacity];
  ASSERT_TRUE(CDiskFile::bGetCurrentDirectory(cwd));
  EXPECT_EQ(Narrow(cwd), std::filesystem::current_path().string());
}

}  // namespace
