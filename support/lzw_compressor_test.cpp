#include "support/lzw_compressor.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Deterministic generator so that every run sees the same inputs.
struct Rng {
  uint64_t s;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return static_cast<uint32_t>(s >> 16);
  }
};

Bytes Text(size_t n, uint64_t seed) {
  Rng r{seed};
  std::vector<std::string> words;
  for (int w = 0; w < 500; ++w) {
    std::string word;
    for (uint32_t k = 2 + r.Next() % 8; k > 0; --k) word += 'a' + r.Next() % 26;
    words.push_back(word);
  }
  Bytes out;
  while (out.size() < n) {
    const std::string& w = words[r.Next() % words.size()];
    out.insert(out.end(), w.begin(), w.end());
    out.push_back(' ');
  }
  out.resize(n);
  return out;
}

Bytes Random(size_t n, uint64_t seed, const char* alphabet = nullptr) {
  Rng r{seed};
  Bytes out(n);
  const size_t k = alphabet ? std::char_traits<char>::length(alphabet) : 0;
  for (auto& b : out) {
    b = alphabet ? static_cast<uint8_t>(alphabet[r.Next() % k])
                 : static_cast<uint8_t>(r.Next());
  }
  return out;
}

// Records of little-endian integers with small variations: compressible
// binary data.
Bytes Binary(size_t n, uint64_t seed) {
  Rng r{seed};
  Bytes out;
  for (uint32_t i = 0; out.size() < n; ++i) {
    const uint32_t v[4] = {i, i * 3, r.Next() % 4, 0xDEAD0000u | (i & 0xFF)};
    for (uint32_t x : v) {
      for (int s = 0; s < 32; s += 8) out.push_back(static_cast<uint8_t>(x >> s));
    }
  }
  out.resize(n);
  return out;
}

// Text, then data the dictionary learned nothing about: the saving ratio
// drops once the dictionary is full and the coder resets it.
Bytes TextThenNoise() {
  Bytes out = Text(200000, 11);
  Bytes noise = Random(100000, 12, "0123456789abcdef");
  out.insert(out.end(), noise.begin(), noise.end());
  return out;
}

Bytes Compress(const Bytes& in) {
  CZLWCompresseur coder;
  Bytes out(coder.vnTailleSortieMax(in.size()));
  coder.SetEntree(in.data(), in.size());
  coder.SetSortie(out.data(), out.size());
  const size_t n = coder.vnCompresse();
  out.resize(n);
  return out;
}

// Expands into a buffer of the given capacity; returns the result code.
int64_t Expand(const Bytes& block, Bytes& out, size_t capacity) {
  CZLWCompresseur coder;
  out.assign(capacity, 0xAA);
  coder.SetEntree(block.data(), block.size());
  coder.SetSortie(out.data(), out.size());
  return coder.vnDecompresse();
}

uint32_t Le32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

TEST(LzwCompressor, ShortInputsAreStored) {
  for (size_t n : {0, 1, 19}) {
    Bytes in = Text(n, 1);
    Bytes block = Compress(in);
    ASSERT_EQ(block.size(), n + 5) << n;
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(Le32(block, 1), n);
    EXPECT_TRUE(std::equal(in.begin(), in.end(), block.begin() + 5));
    Bytes out;
    EXPECT_EQ(Expand(block, out, n), static_cast<int64_t>(n));
    out.resize(n);
    EXPECT_EQ(out, in);
  }
}

TEST(LzwCompressor, IncompressibleInputFallsBackToStored) {
  Bytes distinct(20);
  for (size_t i = 0; i < distinct.size(); ++i) distinct[i] = static_cast<uint8_t>(i * 7);
  for (const Bytes& in : {distinct, Random(5000, 3)}) {
    Bytes block = Compress(in);
    ASSERT_EQ(block.size(), in.size() + 5);
    EXPECT_EQ(block[0], 0);
    EXPECT_TRUE(std::equal(in.begin(), in.end(), block.begin() + 5));
  }
}

TEST(LzwCompressor, RoundTrips) {
  Bytes run(100000, 'x');  // strings longer than 255 bytes
  struct Case {
    const char* name;
    Bytes in;
    bool lzw;
  } cases[] = {
      {"20 equal bytes", Bytes(20, 0), true},
      {"text", Text(30000, 2), true},
      {"binary", Binary(50000, 4), true},
      {"run", run, true},
      {"text then noise", TextThenNoise(), true},
      {"4 MB text", Text(4 << 20, 5), true},
      {"3 MB binary", Binary(3 << 20, 6), true},
      {"random", Random(70000, 7), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes block = Compress(c.in);
    ASSERT_GT(block.size(), 0u);
    EXPECT_LE(block.size(), c.in.size() + 7);
    EXPECT_EQ(block[0], c.lzw ? 4 : 0);
    CZLWCompresseur coder;
    EXPECT_EQ(coder.vnTailleTotale(block.data(), block.size()),
              static_cast<int64_t>(block.size()));
    EXPECT_EQ(coder.vnTailleDecompressee(block.data(), block.size()),
              static_cast<int64_t>(c.in.size()));
    Bytes out;
    ASSERT_EQ(Expand(block, out, c.in.size()), static_cast<int64_t>(c.in.size()));
    EXPECT_TRUE(out == c.in);
  }
  EXPECT_LT(Compress(run).size(), run.size() / 100);
}

std::string SourceDir() {
  if (const char* dir = std::getenv("QG_SOURCE_DIR")) return dir;
  return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}

Bytes ReadFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

TEST(LzwCompressor, MatchesReferenceEncoder) {
  const std::string script = SourceDir() + "/support/testdata/lzw_reference.py";
  ASSERT_TRUE(std::filesystem::exists(script)) << script;
  const auto dir = std::filesystem::temp_directory_path() /
                   ("qg_lzw_ref_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  struct Case {
    const char* name;
    Bytes in;
    bool resets;
  } cases[] = {
      {"short", Text(19, 1), false},
      {"distinct", Random(300, 8), false},
      {"text", Text(20000, 2), false},
      {"binary", Binary(40000, 4), false},
      {"run", Bytes(70000, 0), false},
      {"text then noise", TextThenNoise(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto in = dir / "in.bin", out = dir / "out.bin", log = dir / "log.txt";
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(c.in.data()), c.in.size());
    const std::string cmd = "python3 '" + script + "' '" + in.string() + "' '" +
                            out.string() + "' > '" + log.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    EXPECT_TRUE(ReadFile(out) == Compress(c.in));
    const Bytes text = ReadFile(log);
    const std::string said(text.begin(), text.end());
    EXPECT_EQ(said != "resets=0\n", c.resets) << said;
  }
  std::filesystem::remove_all(dir);
}

TEST(LzwCompressor, CompressRefusesMissingOrSmallOutput) {
  Bytes in = Text(100, 1), out(in.size() + 6);
  CZLWCompresseur coder;
  coder.SetEntree(in.data(), in.size());
  coder.SetSortie(out.data(), out.size());
  EXPECT_EQ(coder.vnCompresse(), 0u);
  coder.SetSortie(nullptr, 0);
  EXPECT_EQ(coder.vnCompresse(), 0u);
}

TEST(LzwCompressor, HeaderQueries) {
  struct Case {
    Bytes block;
    size_t avail;
    int64_t total, size;
  } cases[] = {
      {{0, 3, 0, 0, 0, 1, 2, 3}, 8, 8, 3},
      {{0, 3, 0, 0, 0}, 5, 8, 3},               // stored total not checked
      {{0, 3, 0, 0}, 4, -1, -1},                // cut header
      {{0, 0xFF, 0xFF, 0xFF, 0xFF}, 5, -1, -1}, // negative length
      {{4, 2, 0, 0, 0, 40, 0, 0, 0, 0, 0, 1, 2}, 13, 13, 40},
      {{2, 2, 0, 0, 0, 40, 0, 0, 0, 0, 0, 1, 2}, 13, 13, 40},
      {{4, 9, 0, 0, 0, 40, 0, 0, 0, 0, 0, 1, 2}, 13, -1, 40},  // short block
      {{4, 2, 0, 0, 0, 40, 0, 0, 0}, 9, -1, 40},
      {{4, 2, 0, 0, 0, 40, 0, 0}, 8, -1, -1},
      {{4, 2, 0, 0, 0, 0, 0, 0, 0x41, 0, 0, 1, 2}, 13, 13, -1},  // above cap
      {{3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 11, -1, -1},
      {{}, 0, -1, -1},
  };
  CZLWCompresseur coder;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(coder.vnTailleTotale(c.block.data(), c.avail), c.total) << i;
    EXPECT_EQ(coder.vnTailleDecompressee(c.block.data(), c.avail), c.size) << i;
  }
}

// Builds an LZW block from codes at explicit widths.
Bytes LzwBlock(uint32_t declared, std::initializer_list<std::pair<uint32_t, int>> codes) {
  Bytes b(11, 0);
  uint32_t acc = 0;
  int bits = 0;
  for (auto [code, width] : codes) {
    acc |= code << bits;
    bits += width;
    while (bits >= 8) {
      b.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  }
  if (bits) b.push_back(static_cast<uint8_t>(acc));
  const uint32_t payload = static_cast<uint32_t>(b.size() - 11);
  b[0] = 4;
  for (int s = 0; s < 4; ++s) {
    b[1 + s] = static_cast<uint8_t>(payload >> 8 * s);
    b[5 + s] = static_cast<uint8_t>(declared >> 8 * s);
  }
  return b;
}

TEST(LzwCompressor, DecoderReadsHandBuiltStreams) {
  // 258 = "ab", 259 = "ba", 260 is the code being defined: "ab" + 'a';
  // after the reset 'z' starts afresh.
  Bytes block = LzwBlock(9, {{'a' + 1, 9}, {'b' + 1, 9}, {258, 9}, {260, 9},
                             {0, 9}, {'z' + 1, 9}, {'y' + 1, 9}, {257, 9}});
  Bytes out;
  ASSERT_EQ(Expand(block, out, 9), 9);
  EXPECT_EQ(std::string(out.begin(), out.end()), "abababazy");
}

TEST(LzwCompressor, DecoderRefusesDamagedBlocks) {
  const Bytes good = Compress(Text(5000, 9));
  ASSERT_EQ(good[0], 4);
  Bytes cutPayload = good;  // header claims fewer code bytes than needed
  cutPayload[1] = static_cast<uint8_t>((good.size() - 11) / 2);
  cutPayload[2] = static_cast<uint8_t>((good.size() - 11) / 2 >> 8);
  cutPayload.resize(11 + (good.size() - 11) / 2);
  Bytes negative = good;
  negative[8] = 0x80;
  Bytes overCap = good;
  overCap[8] = 0x41;
  struct Case {
    const char* name;
    Bytes block;
    size_t capacity;
  } cases[] = {
      {"empty input", {}, 10},
      {"stored header cut", {0, 1, 0, 0}, 10},
      {"stored bytes cut", {0, 3, 0, 0, 0, 'a', 'b'}, 10},
      {"stored negative", {0, 0xFF, 0xFF, 0xFF, 0xFF}, 10},
      {"lzw header cut", Bytes(good.begin(), good.begin() + 10), 5000},
      {"lzw block cut", Bytes(good.begin(), good.end() - 1), 5000},
      {"payload cut", cutPayload, 5000},
      {"negative length", negative, 5000},
      {"length above cap", overCap, 5000},
      // The table is sized from the payload: an empty one still needs 258.
      {"no codes", LzwBlock(4, {}), 4},
      {"first code 258", LzwBlock(4, {{258, 9}, {257, 9}}), 4},
      {"first code reset", LzwBlock(4, {{0, 9}, {'a' + 1, 9}}), 4},
      {"first code end", LzwBlock(4, {{257, 9}}), 4},
      {"code after reset not literal",
       LzwBlock(4, {{'a' + 1, 9}, {0, 9}, {258, 9}}), 4},
      {"code above next", LzwBlock(4, {{'a' + 1, 9}, {259, 9}}), 4},
      {"end before length", LzwBlock(4, {{'a' + 1, 9}, {'b' + 1, 9}, {257, 9}}), 4},
      {"string past length", LzwBlock(3, {{'a' + 1, 9}, {'b' + 1, 9}, {258, 9}}), 3},
      {"out of codes", LzwBlock(4, {{'a' + 1, 9}, {'b' + 1, 9}}), 4},
  };
  for (const Case& c : cases) {
    Bytes out;
    EXPECT_EQ(Expand(c.block, out, c.capacity), -1) << c.name;
  }
}

TEST(LzwCompressor, DecoderWritesNothingWhenTheOutputIsTooSmall) {
  const Bytes lzw = Compress(Text(5000, 9));
  const Bytes stored = Compress(Text(10, 9));
  Bytes method2 = lzw;
  method2[0] = 2;
  Bytes method7 = stored;
  method7[0] = 7;
  struct Case {
    const char* name;
    const Bytes& block;
    size_t capacity;
  } cases[] = {
      {"lzw", lzw, 4999},
      {"stored", stored, 9},
      {"method 2", method2, 5000},
      {"unknown method", method7, 100},
  };
  for (const Case& c : cases) {
    Bytes out;
    EXPECT_EQ(Expand(c.block, out, c.capacity), 0) << c.name;
    EXPECT_EQ(out, Bytes(c.capacity, 0xAA)) << c.name;
  }
}

}  // namespace
