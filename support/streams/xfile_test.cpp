#include "support/streams/xfile.h"

#include <gtest/gtest.h>

#include <string>

#include "errors/xerror.h"
#include "support/streams/disk_file.h"
#include "support/streams/memory_stream.h"
#include "support/streams/temp_dir_fixture.h"

namespace {

constexpr uint32_t kRW = qg::GENERIC_READ | qg::GENERIC_WRITE;

class XFileTest : public qgtest::TempDirTest {};

TEST_F(XFileTest, OpenCreatesADiskFileAndForwards) {
  CXFile file;
  EXPECT_EQ(file.pclGetError(), nullptr);
  EXPECT_EQ(file.nGetAccess(), 0u);
  EXPECT_FALSE(file.bWrite("x", 1));
  bool created = false;
  ASSERT_TRUE(file.bOpen(Path16("x").c_str(), kRW, 0, qg::CREATE_ALWAYS, 0, &created));
  EXPECT_TRUE(created);
  EXPECT_TRUE(file.bCreatedStream());
  ASSERT_NE(file.pGetStream(), nullptr);
  EXPECT_EQ(file.pGetStream()->nGetRefCount(), 1);
  ASSERT_TRUE(file.bWrite("hello world", 11));
  ASSERT_TRUE(file.bSeek(6, qg::FILE_BEGIN));
  EXPECT_EQ(file.nGetSize(), 11);
  EXPECT_EQ(file.nGetPosition(), 6);  // size put the position back
  char five[6] = {};
  ASSERT_TRUE(file.bRead(five, 5));
  EXPECT_EQ(std::string(five), "world");
  EXPECT_EQ(file.nPrintfA("!%d", 7), 2);
  file.Close();
  EXPECT_FALSE(file.bIsOpen());
  EXPECT_EQ(ReadFile("x"), "hello world!7");

  EXPECT_FALSE(file.bOpen(Path16("none").c_str(), kRW, 0, qg::OPEN_EXISTING, 0));
  ASSERT_NE(file.pclGetError(), nullptr);
  EXPECT_EQ(file.pclGetError()->nGetNiveau(), XERR_ERROR);
}

TEST_F(XFileTest, SetStreamHoldsOneReferenceAndCopiesThroughReads) {
  CMemoryStream* memory = new CMemoryStream();
  memory->AddRef();  // the test's own reference
  ASSERT_TRUE(memory->bOpen(u"m", kRW, 0, qg::CREATE_ALWAYS, 0, nullptr));
  {
    CXFile file(memory);
    EXPECT_EQ(memory->nGetRefCount(), 2);
    EXPECT_FALSE(file.bCreatedStream());
    ASSERT_TRUE(file.bWrite("0123456789", 10));
    ASSERT_TRUE(file.bSeek(2, qg::FILE_BEGIN));
    CMemoryStream out;
    ASSERT_TRUE(out.bOpen(u"o", kRW, 0, qg::CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.bCopyTo(&out, 3));
    ASSERT_TRUE(file.bCopyTo(&out, -1));
    EXPECT_FALSE(file.bCopyTo(&out, 1));  // nothing left for an exact count
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.pGetMemory()), 8), "23456789");
    file.SetStream(nullptr);
    EXPECT_EQ(memory->nGetRefCount(), 1);
    file.SetStream(memory);
  }
  EXPECT_EQ(memory->nGetRefCount(), 1);
  memory->Release();
}

}  // namespace
