// Writing a serialised buffer to a file: the buffer's bytes go out finished,
// in one write, and read back through a buffer with the same modes.
#include "support/qgbuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/streams/memory_stream.h"
#include "support/streams/temp_dir_fixture.h"
#include "support/streams/xfile.h"

namespace {

constexpr uint32_t kRW = qg::GENERIC_READ | qg::GENERIC_WRITE;

class QGBufferFileTest : public qgtest::TempDirTest {};

TEST_F(QGBufferFileTest, WritesTheFinishedBytes) {
  std::u16string text;
  for (int i = 0; i < 100; ++i) text += u"repeated step ";
  CQGBuffer b(1, 1);
  ASSERT_TRUE(b.EcritEntete(2, 4));
  ASSERT_TRUE(b.EcritChaine(text.c_str()));
  ASSERT_TRUE(b.EcritEntier(77));

  CXFile file;
  EXPECT_FALSE(b.bEcritDansFichier(file)) << "no stream";
  EXPECT_FALSE(b.bEstFini());
  ASSERT_TRUE(file.bOpen(Path16("list").c_str(), kRW, 0, qg::CREATE_ALWAYS, 0));
  ASSERT_TRUE(b.bEcritDansFichier(file));
  EXPECT_TRUE(b.bEstFini());
  file.Close();

  const std::string bytes = ReadFile("list");
  ASSERT_EQ(bytes.size(), b.nTaille());
  EXPECT_LT(bytes.size(), text.size()) << "the body went out compressed";
  CQGBufferMark r(bytes.data(), bytes.size(), 1, 1);
  int32_t version = 0;
  ASSERT_EQ(r.nLitEntete(&version, nullptr), 0);
  EXPECT_EQ(version, 2);
  CTString s;
  ASSERT_TRUE(r.bLitChaine(s));
  EXPECT_EQ(std::u16string(s.pszGet()), text);
  int32_t n = 0;
  ASSERT_TRUE(r.LitEntier(n));
  EXPECT_EQ(n, 77);
}

TEST_F(QGBufferFileTest, ShortWriteFails) {
  CQGBuffer b;
  ASSERT_TRUE(b.EcritEntete(1, 1));
  ASSERT_TRUE(b.EcritChaine(u"does not fit"));
  std::vector<uint8_t> small(8);
  CMemoryStream* memory = new CMemoryStream();
  ASSERT_TRUE(memory->bAttach(small.data(), small.size()));
  ASSERT_TRUE(memory->bOpen(u"m", kRW, 0, qg::OPEN_EXISTING, 0, nullptr));
  CXFile file(memory);
  EXPECT_FALSE(b.bEcritDansFichier(file));
}

}  // namespace
