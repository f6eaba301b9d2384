#include "dotnet/convert/decimal_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace {

using i128 = __int128;
using u128 = unsigned __int128;

// Stand-in for the host's decimal object: the number fields and the
// negation are all the operations rely on.
class DecimalTest final : public qg::IDecimal {
 public:
  DecimalTest() = default;
  DecimalTest(i128 m, int nEchelle, int nPrecision = 38) { Pose(m, nEchelle, nPrecision); }
  void vNegate() override {
    Pose(static_cast<i128>(0 - static_cast<u128>(Mantisse())), m_stFields.nScale, m_stFields.nPrecision);
  }
  intptr_t vOp1(intptr_t) override { return 0; }
  intptr_t vOp2(intptr_t) override { return 0; }
  intptr_t vOp3(intptr_t) override { return 0; }

  void Pose(i128 m, int nEchelle, int nPrecision = 38) {
    u128 u = static_cast<u128>(m);
    for (int i = 0; i < 16; ++i, u >>= 8) m_stFields.abyMantissa[i] = static_cast<uint8_t>(u);
    m_stFields.nScale = nEchelle;
    m_stFields.nPrecision = nPrecision;
  }
  i128 Mantisse() const {
    u128 u = 0;
    for (int i = 15; i >= 0; --i) u = (u << 8) | m_stFields.abyMantissa[i];
    return static_cast<i128>(u);
  }
  int Echelle() const { return m_stFields.nScale; }
  int Precision() const { return m_stFields.nPrecision; }
};

constexpr i128 kMax128 = static_cast<i128>((~u128{0}) >> 1);
constexpr i128 kMin128 = -kMax128 - 1;

i128 Puissance10(int k) {
  i128 p = 1;
  for (int i = 0; i < k; ++i) p *= 10;
  return p;
}

std::string Chiffres(u128 v) {
  std::string s;
  do {
    s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v != 0);
  return s;
}

// Plain text of m / 10^scale, trailing fraction zeros dropped.
std::string TexteDe(i128 m, int nEchelle) {
  const bool bNegatif = m < 0;
  std::string s = Chiffres(bNegatif ? -static_cast<u128>(m) : static_cast<u128>(m));
  if (nEchelle > 0) {
    if (static_cast<int>(s.size()) <= nEchelle) s.insert(0, static_cast<size_t>(nEchelle) + 1 - s.size(), '0');
    s.insert(s.size() - static_cast<size_t>(nEchelle), ".");
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (bNegatif && s != "0") s.insert(0, "-");
  return s;
}

std::string Etroit(const char16_t* p) {
  std::string s;
  for (; *p; ++p) s += static_cast<char>(*p);
  return s;
}

i128 Aleatoire128(std::mt19937_64& alea) {
  const u128 u = (static_cast<u128>(alea()) << 64) | alea();
  const int nBits = static_cast<int>(alea() % 128);
  const i128 v = static_cast<i128>(u >> (128 - nBits - 1) >> 1);  // 0..nBits bits
  return (alea() & 1) ? -v : v;
}

TEST(Decimal, ParsesTexts) {
  struct Cas {
    const char16_t* psz;
    i128 m;
    int nEchelle, nPrecision, nStatut;
  };
  for (const Cas& c : {Cas{u"1,5", 15, 1, 2, 0}, Cas{u"1.5", 15, 1, 2, 0}, Cas{u"1.5E2", 150, 0, 3, 0},
                       Cas{u"  -  12.50 ", -1250, 2, 4, 0}, Cas{u"+7", 7, 0, 1, 0},
                       Cas{u"2.5e-3", 25, 4, 4, 0}, Cas{u"12.345 d 1", 12345, 2, 5, 0},
                       Cas{u"1e -40", 0, 38, 38, 1}, Cas{u"5e37", Puissance10(37) * 5, 0, 38, 0},
                       Cas{u"1e77", 0, 0, 0, 2}, Cas{u"abc", 0, 0, 0, 0},
                       Cas{u"0.12345678901234567890123456789012345678", Puissance10(37) + 0, 38, 38, 0},
                       Cas{u"1000000000000000000000000000000000000000", 0, 0, 0, 2}}) {
    DecimalTest d(99, 9, 9);
    const int nStatut = nAffecteTexte(&d, c.psz);
    EXPECT_EQ(nStatut, c.nStatut) << Etroit(c.psz);
    if (c.nStatut & 2) continue;
    if (std::u16string(c.psz).rfind(u"0.1234", 0) == 0) {
      EXPECT_EQ(TexteDe(d.Mantisse(), d.Echelle()), Etroit(c.psz));
      continue;
    }
    EXPECT_TRUE(d.Mantisse() == c.m) << Etroit(c.psz);
    EXPECT_EQ(d.Echelle(), c.nEchelle) << Etroit(c.psz);
    EXPECT_EQ(d.Precision(), c.nPrecision) << Etroit(c.psz);
  }
  // More than 38 decimals: the extra digits are dropped, not mis-scaled.
  DecimalTest d;
  EXPECT_EQ(nAffecteTexte(&d, u"0.00000000000000000000000000000000000001234"), 1);
  EXPECT_EQ(d.Echelle(), 38);
  EXPECT_TRUE(d.Mantisse() == 1);
}

TEST(Decimal, SetsFromIntegersWithPrecision) {
  DecimalTest d;
  EXPECT_EQ(nAffecteI4(&d, -1), 0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(d.m_stFields.abyMantissa[i], 0xFF);
  EXPECT_EQ(d.Echelle(), 0);
  EXPECT_EQ(d.Precision(), 3);
  nAffecteUI4(&d, 1000);
  EXPECT_EQ(d.Precision(), 5);
  nAffecteUI4(&d, 0);
  EXPECT_EQ(d.Precision(), 1);
  nAffecteI8(&d, INT64_MIN);
  EXPECT_TRUE(d.Mantisse() == INT64_MIN);
  EXPECT_EQ(d.Precision(), 19);  // 8 bytes
  nAffecteUI8(&d, UINT64_MAX);
  EXPECT_TRUE(d.Mantisse() == static_cast<i128>(UINT64_MAX));
  EXPECT_EQ(d.Precision(), 22);  // 9 bytes with the sign byte
  nAffecteI4(&d, 200);
  EXPECT_EQ(d.Precision(), 5);  // 0xC8 needs a sign byte
  EXPECT_EQ(nModifiePrecision(&d, 2), 2);
  EXPECT_EQ(d.Precision(), 2);
  EXPECT_EQ(nModifiePrecision(&d, 3), 0);
}

TEST(Decimal, SetsFromReals) {
  DecimalTest d;
  EXPECT_EQ(nAffecteR8(&d, 0.1), 0);
  EXPECT_TRUE(d.Mantisse() == 1);
  EXPECT_EQ(d.Echelle(), 1);
  EXPECT_EQ(nAffecteR8(&d, -1234.5678), 0);
  EXPECT_EQ(TexteDe(d.Mantisse(), d.Echelle()), "-1234.5678");
  EXPECT_EQ(nAffecteR8(&d, 1e20), 0);
  EXPECT_EQ(TexteDe(d.Mantisse(), d.Echelle()), "100000000000000000000");
  EXPECT_EQ(nAffecteR4(&d, 0.1f), 0);
  EXPECT_EQ(TexteDe(d.Mantisse(), d.Echelle()), "0.1");
  d.Pose(5, 0);
  EXPECT_EQ(nAffecteR8(&d, std::nan("")), 2);
  EXPECT_EQ(nAffecteR8(&d, INFINITY), 2);
  EXPECT_TRUE(d.Mantisse() == 5);
}

TEST(Decimal, ReadsIntegers) {
  int32_t n4 = 0;
  uint32_t u4 = 77;
  int64_t n8 = 0;
  uint64_t u8 = 0;
  DecimalTest d(2147483648LL, 0);
  EXPECT_EQ(nLitI4(&d, &n4), 2);
  EXPECT_EQ(nLitUI4(&d, &u4), 0);
  EXPECT_EQ(u4, 2147483648u);
  d.Pose(-2147483648LL, 0);
  EXPECT_EQ(nLitI4(&d, &n4), 2);
  EXPECT_EQ(n4, INT32_MIN);
  u4 = 77;
  EXPECT_EQ(nLitUI4(&d, &u4), 4);
  EXPECT_EQ(u4, 77u);
  d.Pose(-12345, 2);  // -123.45
  EXPECT_EQ(nLitI4(&d, &n4), 1);
  EXPECT_EQ(n4, -123);
  EXPECT_EQ(nLitI8(&d, &n8), 1);
  EXPECT_EQ(n8, -123);
  d.Pose(INT64_MIN, 0);  // the most negative 64-bit value, without signed overflow
  EXPECT_EQ(nLitI8(&d, &n8), 2);
  EXPECT_EQ(n8, INT64_MIN);
  d.Pose(static_cast<i128>(UINT64_MAX) * 1000, 3);
  EXPECT_EQ(nLitUI8(&d, &u8), 0);
  EXPECT_EQ(u8, UINT64_MAX);
  d.Pose(static_cast<i128>(UINT64_MAX) + 1, 0);
  EXPECT_EQ(nLitUI8(&d, &u8), 2);
  d.Pose(kMin128, 0);
  EXPECT_EQ(nLitI8(&d, &n8), 2);
}

TEST(Decimal, ReadsReals) {
  double r = 0;
  float f = 0;
  DecimalTest d(-15, 1);
  EXPECT_EQ(nLitR8(&d, &r), 1);
  EXPECT_EQ(r, -1.5);
  EXPECT_EQ(nLitR4(&d, &f), 1);
  EXPECT_EQ(f, -1.5f);
  d.Pose(Puissance10(30) * 123, 32);
  nLitR8(&d, &r);
  EXPECT_NEAR(r, 1.23, 1e-12);
  d.Pose(kMax128, 0);
  nLitR8(&d, &r);
  EXPECT_NEAR(r, std::ldexp(1.0, 127), 1e24);
}

TEST(Decimal, RoundingModes) {
  struct Cas {
    i128 m;
    int nEchelle, nNouvelle, nMode;
    i128 attendu;
    int nStatut;
  };
  for (const Cas& c : {Cas{25, 1, 0, 0, 3, 1}, Cas{-25, 1, 0, 0, -3, 1}, Cas{25, 1, 0, 1, 2, 1},
                       Cas{-25, 1, 0, 1, -3, 1}, Cas{25, 1, 0, 2, 3, 1}, Cas{-25, 1, 0, 2, -2, 1},
                       Cas{245, 2, 0, 0, 2, 1}, Cas{2500, 3, 1, 0, 25, 0}, Cas{25, 1, 1, 0, 25, 0},
                       Cas{kMax128, 1, 0, 0, kMax128 / 10 + 1, 1}}) {
    DecimalTest d(c.m, c.nEchelle);
    EXPECT_EQ(nArrondit(&d, c.nEchelle, c.nNouvelle, c.nMode), c.nStatut);
    EXPECT_TRUE(d.Mantisse() == c.attendu) << TexteDe(c.m, c.nEchelle) << " mode " << c.nMode;
    EXPECT_EQ(d.Echelle(), c.nNouvelle);
  }
}

// Rounding, rescaling, adding and reading against plain 128-bit arithmetic.
TEST(Decimal, PropertiesAgainstInt128) {
  std::mt19937_64 alea(7);
  for (int i = 0; i < 20000; ++i) {
    const i128 m = Aleatoire128(alea);
    const int k = static_cast<int>(alea() % 40);
    {  // rounding
      const int nEchelle = 38;
      const int nNouvelle = nEchelle - (k % 38 + 1);
      const int nMode = static_cast<int>(alea() % 3);
      const i128 p = Puissance10(nEchelle - nNouvelle);
      i128 q = m / p;
      const i128 r = m % p;
      if (r != 0) {
        const i128 nAbs = r < 0 ? -r : r;
        if (nMode == 0 && nAbs >= p - nAbs) q += m < 0 ? -1 : 1;
        if (nMode == 1 && m < 0) q -= 1;
        if (nMode == 2 && m > 0) q += 1;
      }
      DecimalTest d(m, nEchelle);
      ASSERT_EQ(nArrondit(&d, nEchelle, nNouvelle, nMode), r != 0 ? 1 : 0);
      ASSERT_TRUE(d.Mantisse() == q) << TexteDe(m, nEchelle) << " mode " << nMode;
    }
    {  // rescale down: towards minus infinity
      const int k = static_cast<int>(alea() % 39);
      const i128 p = Puissance10(k);
      i128 q = m / p;
      if (m % p != 0 && m < 0) q -= 1;
      DecimalTest d(m, k);
      ASSERT_EQ(nChangeEchelle(&d, k, 0), m % p != 0 ? 1 : 0);
      ASSERT_TRUE(d.Mantisse() == q);
    }
    {  // rescale up: overflow exactly when the product leaves 127 bits
      i128 attendu = m;
      bool bDepasse = false;
      for (int j = 0; j < k; ++j) bDepasse |= __builtin_mul_overflow(attendu, 10, &attendu);
      DecimalTest d(m, 0);
      const int nStatut = nChangeEchelle(&d, 0, k);
      ASSERT_EQ((nStatut & 2) != 0, bDepasse) << TexteDe(m, 0) << " x10^" << k;
      if (!bDepasse) {
        ASSERT_TRUE(d.Mantisse() == attendu);
      }
    }
    {  // add
      const uint32_t n = static_cast<uint32_t>(alea());
      i128 attendu = 0;
      const bool bDepasse = __builtin_add_overflow(m, static_cast<i128>(n), &attendu);
      DecimalTest d(m, 0);
      ASSERT_EQ(nAjoute(&d, n), bDepasse ? 2 : 0);
      if (!bDepasse) {
        ASSERT_TRUE(d.Mantisse() == attendu);
      }
    }
    {  // integer read: truncation towards zero
      const int nEchelle = k > 38 ? 38 : k;
      const i128 q = m / Puissance10(nEchelle);
      DecimalTest d(m, nEchelle);
      int64_t n8 = 0;
      const int nStatut = nLitI8(&d, &n8);
      const bool bTient = q >= INT64_MIN + 1 && q <= INT64_MAX;
      ASSERT_EQ((nStatut & 2) == 0, bTient);
      ASSERT_EQ((nStatut & 1) != 0, m % Puissance10(nEchelle) != 0);
      if (bTient) {
        ASSERT_EQ(n8, static_cast<int64_t>(q));
      }
    }
  }
}

// Text written by the formatter reads back to the same value, and matches
// an independent rendering.
TEST(Decimal, TextRoundTripProperty) {
  std::mt19937_64 alea(11);
  for (int i = 0; i < 20000; ++i) {
    const i128 m = Aleatoire128(alea);
    const int nEchelle = static_cast<int>(alea() % 39);
    const std::string attendu = TexteDe(m, nEchelle);
    DecimalTest d(m, nEchelle);
    char16_t sz[64];
    ASSERT_EQ(nFormate(&d, sz, 0x1, u'f', 0, -1, 64), 0);
    ASSERT_EQ(Etroit(sz), attendu);
    DecimalTest lu;
    ASSERT_EQ(nAffecteTexte(&lu, sz), 0) << attendu;
    i128 m2 = lu.Mantisse();
    for (int e = lu.Echelle(); e < nEchelle; ++e) m2 *= 10;  // trailing zeros were dropped
    ASSERT_TRUE(m2 == m) << attendu;
  }
}

TEST(Decimal, Formats) {
  struct Cas {
    i128 m;
    int nEchelle, nFlags;
    char16_t c;
    int nLargeur, nPrecision;
    const char* attendu;
  };
  for (const Cas& c : {
           Cas{1500, 3, 0, u'f', 0, -1, "1.5"},       Cas{2000, 3, 0, u'f', 0, -1, "2"},
           Cas{5, 1, 0, u'f', 0, -1, "0.5"},          Cas{0, 2, 0, u'f', 0, -1, "0"},
           Cas{-5, 3, 0, u'f', 0, -1, "-0.005"},      Cas{12345, 3, 0, u'f', 0, 1, "12.3"},
           Cas{12355, 3, 0, u'f', 0, 2, "12.36"},     Cas{-12355, 3, 0, u'f', 0, 2, "-12.36"},
           Cas{15, 1, 0, u'f', 0, 3, "1.500"},        Cas{15, 1, 0, u'f', 0, 0, "2"},
           Cas{15, 1, 0x8, u'f', 0, -1, "+1.5"},      Cas{15, 1, 0, u'f', 6, -1, "   1.5"},
           Cas{15, 1, 0x1, u'f', 6, -1, "1.5   "},    Cas{-15, 1, 0x2, u'f', 6, -1, "-001.5"},
           Cas{1234567, 0, 0x10, u'f', 0, -1, "1 234 567"}, Cas{123456, 2, 0x10, u'f', 0, -1, "1 234.56"},
           Cas{-12399, 2, 0, u'd', 0, -1, "-123"},    Cas{255, 0, 0, u'x', 0, -1, "ff"},
           Cas{255, 0, 0, u'X', 0, -1, "FF"},         Cas{2559, 1, 0, u'x', 0, -1, "ff"},
           Cas{8, 0, 0, u'o', 0, -1, "10"},           Cas{-1, 0, 0, u'x', 4, -1, "ffff"},
           Cas{-16, 0, 0, u'x', 0, -1, "f0"},         Cas{-2, 0, 0, u'X', 4, -1, "FFFE"},
           Cas{-8, 0, 0, u'o', 4, -1, "7770"},        Cas{15, 1, 0, u'e', 0, -1, "0.15e+01"},
           Cas{15, 4, 0, u'E', 0, -1, "0.15E-02"},    Cas{0, 0, 0, u'e', 0, -1, "0.0e+00"},
           Cas{-123, 0, 0, u'e', 0, -1, "-0.123e+03"},
           // Integral forms drop the scale towards minus infinity.
           Cas{-1, 3, 0, u'X', 0, -1, "F"},           Cas{-2559, 1, 0, u'x', 0, -1, "f00"},
           Cas{-2560, 1, 0, u'x', 0, -1, "f00"},      Cas{-9, 1, 0, u'o', 0, -1, "7"}}) {
    DecimalTest d(c.m, c.nEchelle);
    char16_t sz[64];
    EXPECT_LE(nFormate(&d, sz, c.nFlags, c.c, c.nLargeur, c.nPrecision, 64), 1);
    EXPECT_EQ(Etroit(sz), c.attendu) << TexteDe(c.m, c.nEchelle) << " " << static_cast<char>(c.c);
    EXPECT_TRUE(d.Mantisse() == c.m);  // rounding worked on a copy
  }
  DecimalTest d(123456, 0);
  char16_t sz[8];
  EXPECT_EQ(nFormate(&d, sz, 0, u'f', 0, -1, 7), 0);
  EXPECT_EQ(Etroit(sz), "123456");
  EXPECT_EQ(nFormate(&d, sz, 0, u'f', 0, -1, 6), 2);
  EXPECT_EQ(sz[0], 0);
  EXPECT_EQ(nFormate(&d, sz, 0, u'f', 10, -1, 8), 2);
  EXPECT_EQ(nFormate(&d, sz, 0, u'f', INT32_MAX, -1, 8), 2);
  d.Pose(kMin128, 0);
  char16_t szLong[64];
  EXPECT_EQ(nFormate(&d, szLong, 0, u'f', 0, -1, 64), 0);
  EXPECT_EQ(Etroit(szLong), "-170141183460469231731687303715884105728");
}

TEST(Decimal, ReadsCurrency) {
  uint16_t w[5];
  auto Valeur = [&]() {
    u128 u = 0;
    for (int i = 4; i >= 0; --i) u = (u << 16) | w[i];
    return static_cast<i128>(u << 48) >> 48;  // sign-extend 80 bits
  };
  DecimalTest d(123456789, 8);  // 1.23456789
  EXPECT_EQ(nLitCY(&d, w), 1);
  EXPECT_TRUE(Valeur() == 1234567);
  d.Pose(123456700, 8);
  EXPECT_EQ(nLitCY(&d, w), 0);
  d.Pose(-15, 1);
  EXPECT_EQ(nLitCY(&d, w), 0);
  EXPECT_TRUE(Valeur() == -1500000);
  d.Pose(-123456789, 8);  // towards minus infinity
  EXPECT_EQ(nLitCY(&d, w), 1);
  EXPECT_TRUE(Valeur() == -1234568);
  // Bytes 10-15 must repeat the sign of byte 9.
  const i128 nPlus = (static_cast<i128>(1) << 79) - 1;
  d.Pose(nPlus, 6);
  EXPECT_EQ(nLitCY(&d, w), 0);
  EXPECT_TRUE(Valeur() == nPlus);
  d.Pose(nPlus + 1, 6);
  EXPECT_EQ(nLitCY(&d, w), 2);
  d.Pose(-nPlus - 1, 6);
  EXPECT_EQ(nLitCY(&d, w), 0);
  EXPECT_TRUE(Valeur() == -nPlus - 1);
  d.Pose(-nPlus - 2, 6);
  EXPECT_EQ(nLitCY(&d, w), 2);
  d.Pose(Puissance10(37), 0);
  EXPECT_EQ(nLitCY(&d, w) & 2, 2);
}

}  // namespace
