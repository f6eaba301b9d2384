#include "dotnet/convert/fixe6.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

constexpr i128 kUn = 1000000;
constexpr i128 kMax80 = (static_cast<i128>(1) << 79) - 1;

struct Fixe6 {
  uint16_t w[kFixe6Mots];
};

Fixe6 Mots(i128 v) {
  Fixe6 f;
  u128 u = static_cast<u128>(v);
  for (int i = 0; i < kFixe6Mots; ++i, u >>= 16) f.w[i] = static_cast<uint16_t>(u);
  return f;
}

i128 Valeur(const uint16_t* w) {
  u128 u = 0;
  for (int i = kFixe6Mots - 1; i >= 0; --i) u = (u << 16) | w[i];
  return static_cast<i128>(u << 48) >> 48;
}

// a / d rounded half away from zero.
i128 DivArrondie(i128 a, i128 d) {
  const bool bNegatif = (a < 0) != (d < 0);
  const u128 ua = a < 0 ? -static_cast<u128>(a) : static_cast<u128>(a);
  const u128 ud = d < 0 ? -static_cast<u128>(d) : static_cast<u128>(d);
  u128 q = ua / ud;
  const u128 r = ua % ud;
  if (r >= ud - r) ++q;
  return bNegatif ? -static_cast<i128>(q) : static_cast<i128>(q);
}

i128 Aleatoire(std::mt19937_64& alea, int nBitsMax) {
  const int nBits = static_cast<int>(alea() % static_cast<uint64_t>(nBitsMax));
  const u128 u = ((static_cast<u128>(alea()) << 64) | alea()) >> (127 - nBits) >> 1;
  const i128 v = static_cast<i128>(u);
  return (alea() & 1) ? -v : v;
}

TEST(Fixe6, FromIntegers) {
  Fixe6 f;
  ASSERT_NE(pFixe6DepuisI4(f.w, -1), nullptr);
  const uint16_t attendu[5] = {0xBDC0, 0xFFF0, 0xFFFF, 0xFFFF, 0xFFFF};
  EXPECT_EQ(std::memcmp(f.w, attendu, sizeof attendu), 0);
  EXPECT_EQ(std::memcmp(kFixe6MoinsUnMillion, attendu, sizeof attendu), 0);
  ASSERT_NE(pFixe6DepuisI4(f.w, INT32_MIN), nullptr);
  EXPECT_TRUE(Valeur(f.w) == static_cast<i128>(INT32_MIN) * kUn);
  ASSERT_NE(pFixe6DepuisI8(f.w, 604462909807314587LL), nullptr);  // largest fitting below 2^79 / 10^6
  EXPECT_TRUE(Valeur(f.w) == static_cast<i128>(604462909807314587LL) * kUn);
  ASSERT_NE(pFixe6DepuisI8(f.w, -604462909807314587LL), nullptr);
  const Fixe6 avant = f;
  EXPECT_EQ(pFixe6DepuisI8(f.w, INT64_MIN), nullptr);
  EXPECT_EQ(pFixe6DepuisI8(f.w, 604462909807314588LL), nullptr);
  EXPECT_EQ(pFixe6DepuisUI8(f.w, UINT64_MAX), nullptr);
  EXPECT_EQ(std::memcmp(f.w, avant.w, sizeof f.w), 0);
  ASSERT_NE(pFixe6DepuisUI8(f.w, 123), nullptr);
  EXPECT_TRUE(Valeur(f.w) == 123 * kUn);
  EXPECT_FALSE(bFixe6EstNul(f.w));
  EXPECT_TRUE(bFixe6EstNul(Mots(0).w));
}

TEST(Fixe6, ToIntegers) {
  struct Cas {
    i128 v;
    bool bOk;
    int32_t n;
  };
  for (const Cas& c : {Cas{1500000, true, 1}, Cas{-1500000, true, -1}, Cas{999992, true, 0},
                       Cas{999993, true, 1}, Cas{-999993, true, -1}, Cas{0, true, 0},
                       Cas{2147483648 * kUn, false, 0}, Cas{2147483647 * kUn + 500000, true, INT32_MAX},
                       Cas{2147483647 * kUn + 999993, false, 0}, Cas{-2147483648 * kUn, true, INT32_MIN},
                       Cas{-2147483648 * kUn - 500000, true, INT32_MIN},
                       Cas{-2147483649 * kUn, false, 0}, Cas{kMax80, false, 0}, Cas{-kMax80 - 1, false, 0}}) {
    int32_t n = 12345;
    const Fixe6 f = Mots(c.v);
    EXPECT_EQ(bFixe6VersI4(f.w, &n), c.bOk) << static_cast<double>(c.v);
    EXPECT_EQ(n, c.bOk ? c.n : 12345) << static_cast<double>(c.v);
  }
  struct CasArrondi {
    i128 v;
    int64_t n;
  };
  for (const CasArrondi& c : {CasArrondi{2500000, 3}, CasArrondi{-2500000, -3}, CasArrondi{2499999, 2},
                              CasArrondi{-500000, -1}, CasArrondi{kMax80, static_cast<int64_t>(DivArrondie(kMax80, kUn))},
                              CasArrondi{-kMax80 - 1, static_cast<int64_t>(DivArrondie(-kMax80 - 1, kUn))}}) {
    int64_t n = 0;
    EXPECT_TRUE(bFixe6VersI8Arrondi(Mots(c.v).w, &n));
    EXPECT_EQ(n, c.n);
  }
}

// Values well past 2^64 millionths, positive and negative, read back as
// 64-bit integers with the .999993 rule.
TEST(Fixe6, WideValuesReadBack) {
  std::mt19937_64 alea(3);
  for (int i = 0; i < 20000; ++i) {
    i128 v = Aleatoire(alea, 80);
    if (v > kMax80 || v < -kMax80 - 1) continue;
    const u128 mag = v < 0 ? -static_cast<u128>(v) : static_cast<u128>(v);
    u128 q = mag / static_cast<u128>(kUn);
    if (mag % static_cast<u128>(kUn) >= 999993) ++q;
    const int64_t attendu = static_cast<int64_t>(v < 0 ? -static_cast<i128>(q) : static_cast<i128>(q));
    int64_t n = 0;
    ASSERT_TRUE(bFixe6VersI8(Mots(v).w, &n));
    ASSERT_EQ(n, attendu) << static_cast<double>(v);
  }
  int64_t n = 0;
  ASSERT_TRUE(bFixe6VersI8(Mots(-(static_cast<i128>(1) << 70) - 7).w, &n));
  EXPECT_EQ(n, -static_cast<int64_t>((static_cast<u128>(1) << 70) / 1000000));
}

TEST(Fixe6, MultiplyAndDivideAgainstInt128) {
  std::mt19937_64 alea(5);
  const Fixe6 million = Mots(kUn);
  for (int i = 0; i < 20000; ++i) {
    const i128 a = Aleatoire(alea, 63);
    const i128 b = Aleatoire(alea, 63);
    {  // a * b / 10^6, rounded
      const i128 attendu = DivArrondie(a * b, kUn);
      Fixe6 f = Mots(a);
      const Fixe6 g = Mots(b);
      const bool bTient = attendu <= kMax80 && attendu >= -kMax80;
      ASSERT_EQ(pFixe6Multiplie(f.w, kFixe6Mots, g.w, true) != nullptr, bTient);
      if (bTient) {
        ASSERT_TRUE(Valeur(f.w) == attendu);
      } else {
        ASSERT_TRUE(Valeur(f.w) == a);  // operand untouched
      }
    }
    {  // a * 10^6 / b, rounded; the division of currency values
      if (b == 0) continue;
      const i128 attendu = DivArrondie(a * kUn, b);
      Fixe6 f = Mots(a);
      const Fixe6 g = Mots(b);
      const bool bTient = attendu <= kMax80 && attendu >= -kMax80 && a <= kMax80 && a >= -kMax80;
      if (!bTient) continue;
      ASSERT_NE(pFixe6Divise(f.w, kFixe6Mots, g.w, million.w), nullptr);
      ASSERT_TRUE(Valeur(f.w) == attendu);
    }
  }
  Fixe6 f = Mots(5 * kUn);
  EXPECT_EQ(pFixe6Divise(f.w, kFixe6Mots, Mots(0).w, nullptr), nullptr);
  EXPECT_EQ(pFixe6Divise(f.w, kFixe6Mots, Mots(0).w, million.w), nullptr);
  EXPECT_TRUE(Valeur(f.w) == 5 * kUn);
  Fixe6 z = Mots(0);
  ASSERT_NE(pFixe6Divise(z.w, kFixe6Mots, Mots(-3).w, million.w), nullptr);
  EXPECT_TRUE(Valeur(z.w) == 0);
  Fixe6 m = Mots(-kMax80 - 1);  // the most negative value's magnitude is 2^79
  EXPECT_EQ(pFixe6Multiplie(m.w, kFixe6Mots, million.w, true), nullptr);
  EXPECT_NE(pFixe6Divise(m.w, kFixe6Mots, Mots(2).w, nullptr), nullptr);
  EXPECT_TRUE(Valeur(m.w) == -(kMax80 + 1) / 2);
  Fixe6 n = Mots(7);
  Fixe6Negatif(n.w, kFixe6Mots);
  EXPECT_TRUE(Valeur(n.w) == -7);
}

// The 128-bit fast paths agree with the word-by-word forms over the whole
// range, products past 128 bits and ten-word working values included.
TEST(Fixe6, FastPathsMatchWordForms) {
  std::mt19937_64 alea(9);
  for (int i = 0; i < 20000; ++i) {
    const Fixe6 a = Mots(Aleatoire(alea, 80));
    const Fixe6 b = Mots(Aleatoire(alea, 80));
    const Fixe6 c = Mots(Aleatoire(alea, 80));
    const bool bDivise = alea() & 1;
    uint16_t w1[kFixe6MotsTravail] = {}, w2[kFixe6MotsTravail] = {};
    const int n = (alea() & 1) ? kFixe6Mots : kFixe6MotsTravail;
    std::memcpy(w1, a.w, sizeof a.w);
    if (n == kFixe6MotsTravail && (a.w[4] & 0x8000)) std::memset(w1 + 5, 0xFF, 10);
    std::memcpy(w2, w1, sizeof w1);
    ASSERT_EQ(pFixe6Multiplie(w1, n, b.w, bDivise) != nullptr,
              qg::Fixe6MultiplieMots(w2, n, b.w, bDivise) != nullptr);
    ASSERT_EQ(std::memcmp(w1, w2, sizeof w1), 0);
    std::memcpy(w1, a.w, sizeof a.w);
    std::memcpy(w2, a.w, sizeof a.w);
    const uint16_t* pFacteur = (alea() & 1) ? c.w : nullptr;
    ASSERT_EQ(pFixe6Divise(w1, kFixe6Mots, b.w, pFacteur) != nullptr,
              qg::Fixe6DiviseMots(w2, kFixe6Mots, b.w, pFacteur) != nullptr);
    ASSERT_EQ(std::memcmp(w1, w2, sizeof w1), 0);
  }
}

}  // namespace
