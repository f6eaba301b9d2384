#include "support/streams/memory_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "errors/xerror.h"

namespace {

constexpr uint32_t kRW = qg::GENERIC_READ | qg::GENERIC_WRITE;

std::string Content(CMemoryStream& m) {
  if (m.pGetMemory() == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(m.pGetMemory()),
                     static_cast<size_t>(m.nGetSize()));
}

TEST(MemoryStreamTest, CreatedStreamGrowsOnEveryWritePastItsEnd) {
  CMemoryStream m;
  bool created = false;
  ASSERT_TRUE(m.bOpen(u"mem", kRW, 0, qg::CREATE_ALWAYS, 0, &created));
  EXPECT_TRUE(created);
  EXPECT_EQ(m.nGetState(), CMemoryStream::kCreated);
  EXPECT_EQ(m.nGetFlags() & 0x0B, CMemoryStream::kRead | CMemoryStream::kWrite |
                                      CMemoryStream::kOwnsAndGrows);
  EXPECT_EQ(m.nGetAccess(), 0xC0000000u);
  EXPECT_EQ(std::u16string(m.pszGetPath()), u"mem");
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    std::string piece = std::to_string(i) + ",";
    ASSERT_TRUE(m.bWrite(piece.data(), static_cast<uint32_t>(piece.size()), nullptr));
    expected += piece;
  }
  EXPECT_EQ(Content(m), expected);
  // A seek past the end grows it too, zero-filled.
  ASSERT_TRUE(m.bSeek(static_cast<int64_t>(expected.size()) + 3, qg::FILE_BEGIN));
  EXPECT_EQ(m.nGetSize(), static_cast<int64_t>(expected.size()) + 3);
  EXPECT_EQ(Content(m).substr(expected.size()), std::string(3, '\0'));

  m.Close();
  EXPECT_FALSE(m.bIsOpen());
  EXPECT_FALSE(m.bWrite("x", 1, nullptr));
  EXPECT_EQ(m.pclGetError()->nGetNiveau(), XERR_NONE);  // never filled
}

TEST(MemoryStreamTest, AttachedMemoryIsFixed) {
  char memory[8] = "abcdefg";
  CMemoryStream m;
  EXPECT_FALSE(m.bOpen(u"x", kRW, 0, qg::OPEN_EXISTING, 0, nullptr));  // nothing attached
  ASSERT_TRUE(m.bAttach(memory, 7));
  EXPECT_EQ(m.nGetState(), CMemoryStream::kAttached);
  bool created = true;
  ASSERT_TRUE(m.bOpen(u"x", kRW, 0, qg::OPEN_EXISTING, 0, &created));
  EXPECT_FALSE(created);
  EXPECT_EQ(m.nGetState(), CMemoryStream::kOpenedAttached);
  EXPECT_FALSE(m.bAttach(memory, 7));  // only when closed

  ASSERT_TRUE(m.bSeek(5, qg::FILE_BEGIN));
  EXPECT_FALSE(m.bWrite("XYZ", 3, nullptr));  // exact write past the end
  EXPECT_EQ(m.nGetPosition(), 5);
  uint32_t written = 0;
  ASSERT_TRUE(m.bWrite("XYZ", 3, &written));  // counted: the part that fits
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(std::string(memory), "abcdeXY");
  EXPECT_FALSE(m.bSeek(1, qg::FILE_CURRENT));  // no growing on attached memory
  EXPECT_FALSE(m.bResize(16, 0));

  char buffer[8] = {};
  ASSERT_TRUE(m.bSeek(4, qg::FILE_BEGIN));
  EXPECT_FALSE(m.bRead(buffer, 4, nullptr));
  uint32_t read = 0;
  ASSERT_TRUE(m.bRead(buffer, 4, &read));
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(std::string(buffer), "eXY");

  CMemoryStream ro;
  ASSERT_TRUE(ro.bAttach(memory, 7));
  ASSERT_TRUE(ro.bOpen(u"r", qg::GENERIC_READ, 0, qg::OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(ro.bWrite("q", 1, &written));
  EXPECT_EQ(ro.nGetAccess(), 0x80000000u);
  EXPECT_FALSE(ro.bOpen(u"r", 0x1234, 0, qg::OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(ro.bOpen(u"r", kRW, 0, qg::OPEN_ALWAYS, 0, nullptr));
}

TEST(MemoryStreamTest, SeekMethodsAndTheStart) {
  char memory[10];
  std::memcpy(memory, "0123456789", 10);
  CMemoryStream m;
  ASSERT_TRUE(m.bAttach(memory, 10));
  ASSERT_TRUE(m.bOpen(u"s", qg::GENERIC_READ, 0, qg::OPEN_EXISTING, 0, nullptr));
  struct Case {
    int64_t distance;
    uint32_t method;
    bool ok;
    int64_t position;
  } cases[] = {
      {4, qg::FILE_BEGIN, true, 4},   {2, qg::FILE_CURRENT, true, 6},
      {-7, qg::FILE_CURRENT, false, 6},  // before the start
      {-3, qg::FILE_END, true, 7},    {3, qg::FILE_END, true, 7},  // back from the end either way
      {0, qg::FILE_END, true, 10},    {-11, qg::FILE_BEGIN, false, 10},
      {11, qg::FILE_BEGIN, false, 10}, {5, 77, true, 0},  // unknown method: the start
  };
  for (const Case& c : cases) {
    EXPECT_EQ(m.bSeek(c.distance, c.method), c.ok) << c.distance << " " << c.method;
    EXPECT_EQ(m.nGetPosition(), c.position);
  }
}

TEST(MemoryStreamTest, ReadBlockCopyAndResize) {
  char memory[] = "abcdefghij";
  CMemoryStream m;
  ASSERT_TRUE(m.bAttach(memory, 10));
  ASSERT_TRUE(m.bOpen(u"b", qg::GENERIC_READ, 0, qg::OPEN_EXISTING, 0, nullptr));
  CSimpleConstBufferBase block = m.ReadBlock(2, 3, nullptr);
  EXPECT_EQ(block.pGetData(), reinterpret_cast<const uint8_t*>(memory) + 2);  // no copy
  EXPECT_EQ(block.nGetSize(), 3u);
  EXPECT_EQ(m.ReadBlock(8, 3, nullptr).pGetData(), nullptr);  // beyond the end
  EXPECT_EQ(m.ReadBlock(-1, 1, nullptr).pGetData(), nullptr);
  EXPECT_NE(m.ReadBlock(10, 0, nullptr).pGetData(), nullptr);

  CMemoryStream out;
  ASSERT_TRUE(out.bOpen(u"o", qg::GENERIC_WRITE, 0, qg::CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(m.bSeek(1, qg::FILE_BEGIN));
  ASSERT_TRUE(m.bCopyTo(&out, 4));
  ASSERT_TRUE(m.bCopyTo(&out, -1));
  EXPECT_EQ(Content(out), "bcdefghij");
  ASSERT_TRUE(m.bSeek(8, qg::FILE_BEGIN));
  EXPECT_FALSE(m.bCopyTo(&out, 5));  // only 2 bytes left

  // A 2 KiB copy goes in 512-byte pieces and arrives whole.
  std::string big(2048 + 7, 'z');
  CMemoryStream src;
  ASSERT_TRUE(src.bAttach(big.data(), big.size()));
  ASSERT_TRUE(src.bOpen(u"big", qg::GENERIC_READ, 0, qg::OPEN_EXISTING, 0, nullptr));
  CMemoryStream dst;
  ASSERT_TRUE(dst.bOpen(u"d", kRW, 0, qg::CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(src.bCopyTo(&dst, -1));
  EXPECT_EQ(Content(dst), big);

  // Resizing owned memory: absolute, relative, and to nothing.
  ASSERT_TRUE(dst.bSeek(100, qg::FILE_BEGIN));
  ASSERT_TRUE(dst.bResize(50, 0));
  EXPECT_EQ(dst.nGetSize(), 50);
  EXPECT_EQ(dst.nGetPosition(), 50);
  ASSERT_TRUE(dst.bResize(-20, 1));
  EXPECT_EQ(dst.nGetSize(), 30);
  EXPECT_FALSE(dst.bResize(-31, 1));
  ASSERT_TRUE(dst.bResize(0, 0));
  EXPECT_EQ(dst.pGetMemory(), nullptr);
  ASSERT_TRUE(dst.bResize(8, 0));  // a new block: position at its start
  EXPECT_EQ(dst.nGetPosition(), 0);
  EXPECT_EQ(Content(dst), std::string(8, '\0'));
  // Emptied, a created stream still grows on write.
  ASSERT_TRUE(dst.bResize(0, 0));
  ASSERT_TRUE(dst.bWrite("xy", 2, nullptr));
  EXPECT_EQ(Content(dst), "xy");
}

TEST(MemoryStreamTest, CreateAfterAttachAndAttachAfterCreateFreeOrDrop) {
  char memory[4] = "abc";
  CMemoryStream m;
  ASSERT_TRUE(m.bOpen(u"c", kRW, 0, qg::CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(m.bWrite("12345", 5, nullptr));
  m.Close();
  ASSERT_TRUE(m.bAttach(memory, 3));  // owned memory freed first
  EXPECT_EQ(m.nGetSize(), 3);
  ASSERT_TRUE(m.bOpen(u"c", kRW, 0, qg::CREATE_ALWAYS, 0, nullptr));  // attached is not freed
  EXPECT_EQ(m.nGetSize(), 0);
  EXPECT_EQ(std::string(memory), "abc");
}

}  // namespace
