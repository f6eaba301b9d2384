#include "support/currency.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace qg {
namespace {

std::u16string Text(const Fixe6& v) {
  char16_t buffer[kFixe6TextSize];
  return pszFixe6VersChaine(buffer, v);
}

std::u16string Parse(const char16_t* text, bool* ok = nullptr) {
  Fixe6 v;
  Fixe6* r = pFixe6DepuisChaine(&v, text);
  if (ok != nullptr) *ok = r != nullptr;
  return r != nullptr ? Text(v) : u"<null>";
}

__int128 Raw(const Fixe6& v) {
  unsigned __int128 u = 0;
  for (int i = 4; i >= 0; --i) u = (u << 16) | v.aw[i];
  if (v.aw[4] & 0x8000) u |= ~((static_cast<unsigned __int128>(1) << 80) - 1);
  return static_cast<__int128>(u);
}

Fixe6 FromRaw(__int128 r) {
  Fixe6 v;
  auto u = static_cast<unsigned __int128>(r);
  for (int i = 0; i < 5; ++i) {
    v.aw[i] = static_cast<uint16_t>(u);
    u >>= 16;
  }
  return v;
}

TEST(Fixe6Test, ParsesAndFormats) {
  struct Case {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"1.5", u"1.5"},
      {u"2", u"2"},
      {u"-0.25", u"-0.25"},
      {u"0", u"0"},
      {u"", u"0"},
      {u"  -", u"0"},
      {u"  -12.3456789", u"-12.345678"},  // seventh decimal dropped, no rounding
      {u"12.", u"12"},                    // a point without decimal ends the number
      {u"12.x", u"12"},
      {u"12abc", u"12"},
      {u"+7.000001", u"7.000001"},
      {u"\xFF0D" u"3.5", u"-3.5"},         // full-width minus
      {u"\xFF0B" u"3.5", u"3.5"},
      {u"0.000001", u"0.000001"},
      {u"-0", u"0"},
      {u"\t5", u"0"},                     // only U+0020 is a blank
      {u"100.10", u"100.1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Parse(c.in), c.out) << std::string(c.in, c.in + std::char_traits<char16_t>::length(c.in));
  }
}

TEST(Fixe6Test, LimitsOfTheEightyBitValue) {
  // (2^79 - 1) / 1 000 000 and its negation parse and format back.
  bool ok = false;
  EXPECT_EQ(Parse(u"604462909807314587.353087", &ok), u"604462909807314587.353087");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Parse(u"-604462909807314587.353087", &ok), u"-604462909807314587.353087");
  EXPECT_TRUE(ok);
  // One more unit, or one more digit, overflows.
  Parse(u"604462909807314587.353088", &ok);
  EXPECT_FALSE(ok);
  Parse(u"6044629098073145873", &ok);
  EXPECT_FALSE(ok);
  // The smallest 80-bit value (not reachable by parsing) still formats.
  Fixe6 min = FromRaw(-(static_cast<__int128>(1) << 79));
  EXPECT_EQ(Text(min), u"-604462909807314587.353088");
}

TEST(Fixe6Test, NegationCarry) {
  Fixe6 zero{};
  EXPECT_EQ(nFixe6Negation(&zero), 1);
  Fixe6 one = FromRaw(1);
  EXPECT_EQ(nFixe6Negation(&one), 0);
  EXPECT_EQ(Raw(one), -1);
}

TEST(Fixe6Test, FromAndToReal) {
  struct Case {
    double in;
    const char16_t* out;
  } cases[] = {
      {1.5, u"1.5"},
      {-2.25, u"-2.25"},
      {0.0000004, u"0"},
      {0.0000006, u"0.000001"},  // six decimals, rounded by the fixed conversion
      {123456.789, u"123456.789"},
      {-0.0, u"0"},
  };
  for (const Case& c : cases) {
    Fixe6 v;
    ASSERT_NE(pFixe6DepuisReel(&v, c.in), nullptr) << c.in;
    EXPECT_EQ(Text(v), c.out) << c.in;
  }
  Fixe6 v;
  EXPECT_EQ(pFixe6DepuisReel(&v, 1e30), nullptr);
  EXPECT_EQ(pFixe6DepuisReel(&v, 1e300), nullptr);
  EXPECT_EQ(pFixe6DepuisReel(&v, std::numeric_limits<double>::quiet_NaN()), nullptr);
  EXPECT_EQ(pFixe6DepuisReel(&v, std::numeric_limits<double>::infinity()), nullptr);
  EXPECT_EQ(pFixe6DepuisReel(&v, -std::numeric_limits<double>::infinity()), nullptr);

  pFixe6DepuisChaine(&v, u"-1234.5678");
  EXPECT_DOUBLE_EQ(rFixe6VersReel(v), -1234.5678);
}

TEST(Fixe6Test, KeysSortAsAmounts) {
  std::mt19937_64 rng(42);
  const __int128 kMax = (static_cast<__int128>(1) << 79) - 1;
  const __int128 kMin = -(static_cast<__int128>(1) << 79);
  auto random_raw = [&]() -> __int128 {
    switch (rng() % 4) {
      case 0: return static_cast<int64_t>(rng() % 2001) - 1000;  // near zero
      case 1: return kMax - static_cast<__int128>(rng() % 3);
      case 2: return kMin + static_cast<__int128>(rng() % 3);
      default: {
        unsigned __int128 u = (static_cast<unsigned __int128>(rng()) << 64) | rng();
        return static_cast<__int128>(u % (static_cast<unsigned __int128>(1) << 80)) + kMin;
      }
    }
  };
  for (int i = 0; i < 20000; ++i) {
    __int128 a = random_raw();
    __int128 b = random_raw();
    uint8_t ka[kFixe6KeySize];
    uint8_t kb[kFixe6KeySize];
    Fixe6CleTriable(FromRaw(a), ka);
    Fixe6CleTriable(FromRaw(b), kb);
    int order = std::memcmp(ka, kb, kFixe6KeySize);
    ASSERT_EQ(order < 0, a < b);
    ASSERT_EQ(order == 0, a == b);
  }
  // -1, 0, 1 in that order.
  uint8_t k[3][kFixe6KeySize];
  for (int i = 0; i < 3; ++i) Fixe6CleTriable(FromRaw(i - 1), k[i]);
  EXPECT_LT(std::memcmp(k[0], k[1], kFixe6KeySize), 0);
  EXPECT_LT(std::memcmp(k[1], k[2], kFixe6KeySize), 0);
}

TEST(Fixe6Test, AddReportsOverflow) {
  const __int128 kMax = (static_cast<__int128>(1) << 79) - 1;
  Fixe6 v = FromRaw(kMax - 1000000);
  EXPECT_EQ(nFixe6Ajoute(&v, 1000000), 0);
  EXPECT_EQ(Raw(v), kMax);
  EXPECT_EQ(nFixe6Ajoute(&v, 1), 1);
  Fixe6 w = FromRaw(-5);
  EXPECT_EQ(nFixe6Ajoute(&w, 10), 0);
  EXPECT_EQ(Raw(w), 5);
}

}  // namespace
}  // namespace qg
