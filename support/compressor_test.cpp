#include "support/compressor.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(Compressor, RoundTripsThroughTheFrontEnd) {
  CCompresseur front;
  EXPECT_EQ(front.nMethode(), 4);
  for (size_t n : {size_t{0}, size_t{19}, size_t{20000}}) {
    std::string text;
    while (text.size() < n) text += "one two three four five six ";
    text.resize(n);
    Bytes in(text.begin(), text.end());
    Bytes block(front.nTailleSortieMax(in.size()));
    front.SetEntree(in.data(), in.size());
    front.SetSortie(block.data(), block.size());
    const size_t size = front.nCompresse();
    ASSERT_GT(size, 0u);
    EXPECT_EQ(front.pEntree(), nullptr);  // the input is not kept
    block.resize(size);
    EXPECT_EQ(block[0], n < 20 ? 0 : 4);
    EXPECT_EQ(front.nTailleTotale(block.data(), block.size()),
              static_cast<int64_t>(size));
    ASSERT_EQ(front.nTailleDecompressee(block.data(), block.size()),
              static_cast<int64_t>(n));

    Bytes out(n);
    front.SetEntree(block.data(), block.size());
    front.SetSortie(out.data(), out.size());
    EXPECT_EQ(front.nDecompresse(), static_cast<int64_t>(n));
    EXPECT_EQ(out, in);
    EXPECT_EQ(front.nMethode(), 4);  // back to the method in use
  }
}

TEST(Compressor, DecompressReportsBlocksItCannotRead) {
  CCompresseur front;
  Bytes out(16);
  front.SetSortie(out.data(), out.size());
  front.SetEntree(nullptr, 0);
  EXPECT_EQ(front.nDecompresse(), -1);
  const Bytes method2 = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
  front.SetEntree(method2.data(), method2.size());
  EXPECT_EQ(front.nDecompresse(), 0);
  EXPECT_EQ(front.nMethode(), 4);
}

}  // namespace
