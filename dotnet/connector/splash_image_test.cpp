#include "dotnet/connector/splash_image.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace qgnet {
namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Headers of a w x h bitmap of `bits` per pixel with `extra` bytes (masks
// or colour table) before the rows; rows zeroed.
std::vector<uint8_t> Header(int32_t w, int32_t h, int bits, size_t extra, uint32_t compression = 0) {
  uint64_t stride = ((static_cast<uint64_t>(w < 0 ? -w : w) * bits + 31) / 32) * 4;
  size_t rows = static_cast<size_t>(stride * static_cast<uint64_t>(h < 0 ? -h : h));
  std::vector<uint8_t> b(54 + extra + rows, 0);
  b[0] = 'B', b[1] = 'M';
  Put32(b, 10, static_cast<uint32_t>(54 + extra));
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<uint32_t>(w));
  Put32(b, 22, static_cast<uint32_t>(h));
  b[26] = 1;
  b[28] = static_cast<uint8_t>(bits);
  Put32(b, 30, compression);
  return b;
}

TEST(SplashImageTest, DecodesRowsBottomUpAndTopDown) {
  // 2 x 2, 24 bits: the first stored row is the bottom one.
  std::vector<uint8_t> b = Header(2, 2, 24, 0);
  uint8_t* rows = b.data() + 54;
  rows[0] = 0x30, rows[1] = 0x20, rows[2] = 0x10;  // bottom-left: 0x102030
  rows[8 + 3] = 0xCC, rows[8 + 4] = 0xBB, rows[8 + 5] = 0xAA;  // top-right
  auto image = LitBMP(b.data(), b.size());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->nLargeur(), 2);
  EXPECT_EQ(image->nHauteur(), 2);
  EXPECT_EQ(image->pPixels()[2], 0x102030u);
  EXPECT_EQ(image->pPixels()[1], 0xAABBCCu);
  Put32(b, 22, static_cast<uint32_t>(-2));
  image = LitBMP(b.data(), b.size());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pPixels()[0], 0x102030u);

  // 8 bits with a two-entry colour table.
  std::vector<uint8_t> p = Header(3, 1, 8, 8);
  Put32(p, 46, 2);
  Put32(p, 54, 0x00112233);
  Put32(p, 58, 0x00445566);
  p[62] = 1, p[63] = 0, p[64] = 7;  // index 7 lies outside the table: black
  image = LitBMP(p.data(), p.size());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pPixels()[0], 0x445566u);
  EXPECT_EQ(image->pPixels()[1], 0x112233u);
  EXPECT_EQ(image->pPixels()[2], 0u);
}

TEST(SplashImageTest, RefusesBytesThatDoNotHoldTheImage) {
  std::vector<uint8_t> good = Header(4, 4, 24, 0);
  ASSERT_NE(LitBMP(good.data(), good.size()), nullptr);
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
  } cases[] = {
      {"rows past the end", 22, 5},
      {"width beyond the limit", 18, 1u << 20},
      {"huge width times height", 18, 0x7FFFFFFF},
      {"zero width", 18, 0},
      {"pixel offset past the end", 10, 0xFFFFFFF0},
      {"header past the end", 14, 0xFFFFFFF0},
      {"run-length compression", 30, 1},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> b = good;
    Put32(b, c.at, c.value);
    EXPECT_EQ(LitBMP(b.data(), b.size()), nullptr) << c.what;
  }
  EXPECT_EQ(LitBMP(good.data(), 60), nullptr);
  EXPECT_EQ(LitBMP(nullptr, 0), nullptr);
  // A colour table longer than the format allows.
  std::vector<uint8_t> p = Header(1, 1, 8, 8);
  Put32(p, 46, 257);
  EXPECT_EQ(LitBMP(p.data(), p.size()), nullptr);
}

int BmpTemporaries(const std::string& folder) {
  int n = 0;
  DIR* d = opendir(folder.c_str());
  if (d == nullptr) return -1;
  while (dirent* e = readdir(d)) n += std::strncmp(e->d_name, ".BMP", 4) == 0;
  closedir(d);
  return n;
}

TEST(SplashImageTest, BitmapNamesGoThroughATemporaryFileThatIsDeleted) {
  char folder[] = "/tmp/qgsplashXXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  setenv("TMPDIR", folder, 1);
  std::vector<uint8_t> b = Header(3, 2, 24, 0);
  auto image = ImageSplash(u"Start.Bmp", b.data(), b.size());
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->nLargeur(), 3);
  EXPECT_EQ(BmpTemporaries(folder), 0);
  // Any other name is read from memory; bytes that are no image give none.
  EXPECT_NE(ImageSplash(u"start.img", b.data(), b.size()), nullptr);
  EXPECT_EQ(ImageSplash(u"start.bmp", b.data(), 10), nullptr);
  EXPECT_EQ(BmpTemporaries(folder), 0);
  unsetenv("TMPDIR");
  rmdir(folder);
}

}  // namespace
}  // namespace qgnet
