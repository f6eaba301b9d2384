#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dotnet/convert/conversion_test_fixture.h"
#include "dotnet/convert/fixe6.h"

namespace qg {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

int Largeur(int32_t t) {
  switch (t) {
    case kConvUI1: case kConvI1: return 1;
    case kConvUI2: case kConvI2: return 2;
    case kConvUI8: case kConvI8: case kConvUIX: return 8;
    default: return 4;
  }
}

struct CasEntier {
  int32_t s;
  uint64_t bits;   // source bits (integers), little-endian over the source width
  double r;        // source value (R4, R8)
  int32_t d;
  uint64_t attendu;
  int st;
};

TEST_F(ConversionTest, IntegerDestinations) {
  const CasEntier cas[] = {
      {kConvUI2, 300, 0, kConvUI1, 44, 0},  // no range check between unsigned types
      {kConvI2, 300, 0, kConvUI1, 44, 1},
      {kConvUI1, 200, 0, kConvI1, 0xC8, 1},
      {kConvI1, 0xFF, 0, kConvUI2, 0xFFFF, 1},
      {kConvI1, 0xFB, 0, kConvI8, static_cast<uint64_t>(-5), 0},
      {kConvI8, static_cast<uint64_t>(-1), 0, kConvUI4, 0xFFFFFFFF, 1},
      {kConvUI8, 0x100000000ull, 0, kConvUI4, 0, 0},
      {kConvUI8, 1ull << 63, 0, kConvI8, 1ull << 63, 1},
      {kConvUI4, 0x80000000u, 0, kConvI4, 0x80000000u, 1},
      {kConvUI4, 0x80000000u, 0, kConvUIX, 0xFFFFFFFF80000000ull, 1},
      {kConvUIX, 0x80000000u, 0, kConvI8, 0xFFFFFFFF80000000ull, 0},
      {kConvUIX, 0x80000000u, 0, kConvUI8, 0xFFFFFFFF80000000ull, 1},
      {kConvI8, 0x100000005ull, 0, kConvHWND, 5, 0},
      {kConvHWND, 0xFFFFFFFE, 0, kConvUI8, 0xFFFFFFFFFFFFFFFEull, 0},
      {kConvHWND, 0xFFFFFFFE, 0, kConvUI4, 0xFFFFFFFE, 0},
      {kConvBOOL, 5, 0, kConvBOOL, 5, 0},
      {kConvBOOL, 5, 0, kConvI4, 1, 0},
      {kConvI2, 0, 0, kConvBOOL, 0, 0},
      {kConvUI8, 1ull << 40, 0, kConvBOOL, 1, 0},
      {kConvR8, 0, 127.9, kConvI1, 127, 0},
      {kConvR8, 0, 128.0, kConvI1, 0, 1},
      {kConvR8, 0, -0.5, kConvUI1, 0, 0},
      {kConvR8, 0, -1.0, kConvUI1, 0, 1},
      {kConvR8, 0, 2147483647.5, kConvI4, 0, 1},
      {kConvR8, 0, -2147483648.0, kConvI4, 0x80000000u, 0},
      {kConvR4, 0, 2147483648.0, kConvI4, 0, 1},
      {kConvR8, 0, 4294967295.0, kConvUI4, 0xFFFFFFFF, 0},
      {kConvR8, 0, -3.7, kConvI8, static_cast<uint64_t>(-3), 0},
      {kConvR8, 0, 1.8e19, kConvUI8, 18000000000000000000ull, 0},
      {kConvR8, 0, 1.9e19, kConvUI8, 0, 1},
      {kConvR8, 0, -1.0, kConvUI8, 0, 1},
      {kConvR8, 0, kNaN, kConvI4, 0, 1},
      {kConvR8, 0, kInf, kConvI8, 0, 1},
      {kConvR4, 0, -kInf, kConvI2, 0, 1},
      {kConvR4, 0, 0.0000005, kConvBOOL, 0, 0},
      {kConvR4, 0, 0.000001, kConvBOOL, 1, 0},
      {kConvR8, 0, 0.000001, kConvBOOL, 1, 0},
      {kConvR8, 0, -0.0000009, kConvBOOL, 0, 0},
  };
  for (const CasEntier& c : cas) {
    Brut src(c.s);
    if (c.s == kConvR4) {
      src.Set(static_cast<float>(c.r));
    } else if (c.s == kConvR8) {
      src.Set(c.r);
    } else {
      src.Set(c.bits);
    }
    Brut dst(c.d);
    std::memset(dst.a, 0xAB, sizeof(dst.a));
    EXPECT_EQ(Conv(src, &dst), c.st) << c.s << " -> " << c.d << " " << c.bits << " " << c.r;
    uint64_t obtenu = 0;
    std::memcpy(&obtenu, dst.a, static_cast<size_t>(Largeur(c.d)));
    EXPECT_EQ(obtenu, c.attendu) << c.s << " -> " << c.d << " " << c.bits << " " << c.r;
  }
}

TEST_F(ConversionTest, RealDestinations) {
  struct Cas {
    int32_t s;
    uint64_t bits;
    double r;
    int32_t d;
    double attendu;
    int st;
  };
  const Cas cas[] = {
      {kConvUI8, ~0ull, 0, kConvR8, 18446744073709551615.0, 0},
      {kConvUI8, ~0ull, 0, kConvR4, 18446744073709551615.0f, 0},
      {kConvI8, static_cast<uint64_t>(-3), 0, kConvR4, -3.0, 0},
      {kConvUIX, 0xFFFFFFFFu, 0, kConvR8, -1.0, 0},
      {kConvUI4, 0xFFFFFFFFu, 0, kConvR8, 4294967295.0, 0},
      {kConvBOOL, 7, 0, kConvR8, 1.0, 0},
      {kConvR4, 0, 0.1, kConvR8, static_cast<double>(0.1f), 0},
      {kConvR8, 0, 0.1, kConvR4, static_cast<double>(0.1f), 0},
      {kConvR8, 0, 1e39, kConvR4, kInf, 1},
      {kConvR8, 0, -1e39, kConvR4, -kInf, 1},
  };
  for (const Cas& c : cas) {
    Brut src(c.s);
    if (c.s == kConvR4) src.Set(static_cast<float>(c.r));
    else if (c.s == kConvR8) src.Set(c.r);
    else src.Set(c.bits);
    Brut dst(c.d);
    EXPECT_EQ(Conv(src, &dst), c.st) << c.s << " -> " << c.d;
    double obtenu = c.d == kConvR4 ? dst.Get<float>() : dst.Get<double>();
    EXPECT_EQ(obtenu, c.attendu) << c.s << " -> " << c.d;
  }
}

Fixe6 CY(int64_t millioniemes) {
  Fixe6 v{};
  int64_t n = millioniemes;
  std::memcpy(v.aw, &n, 8);
  uint16_t signe = n < 0 ? 0xFFFF : 0;
  v.aw[4] = signe;
  return v;
}

TEST_F(ConversionTest, CurrencyAndDecimalRoundTrips) {
  struct Cas {
    int64_t millioniemes;
    int32_t d;
    uint64_t attendu;
    int st;
  };
  const Cas cas[] = {
      {1500000, kConvI4, 1, 0},
      {-1500000, kConvI4, 0xFFFFFFFF, 0},
      {999993, kConvI2, 1, 0},
      {300000000, kConvUI1, 44, 1},
      {-1000000, kConvUI4, 0xFFFFFFFF, 1},
      {2500000, kConvUI8, 3, 0},
      {-2500000, kConvUI8, static_cast<uint64_t>(-3), 1},  // negative: out of range
      {2147483648000000ll, kConvI4, 0, 1},
      {2147483648000000ll, kConvI8, 2147483648ull, 0},
      {0, kConvBOOL, 0, 0},
      {1, kConvBOOL, 1, 0},
  };
  for (const Cas& c : cas) {
    Brut src(kConvCY);
    src.Set(CY(c.millioniemes));
    Brut dst(c.d);
    EXPECT_EQ(Conv(src, &dst), c.st) << c.millioniemes << " -> " << c.d;
    uint64_t obtenu = 0;
    std::memcpy(&obtenu, dst.a, static_cast<size_t>(Largeur(c.d)));
    if (c.d == kConvI4 && c.st == 1) obtenu = c.attendu;  // low bits of an overflow: unspecified
    EXPECT_EQ(obtenu, c.attendu) << c.millioniemes << " -> " << c.d;
  }
  // Into CY.
  {
    Brut i8(kConvI8), cy(kConvCY);
    i8.Set<int64_t>(-7);
    ASSERT_EQ(Conv(i8, &cy), kConvOk);
    EXPECT_EQ(std::memcmp(cy.a, CY(-7000000).aw, 10), 0);
    i8.Set<int64_t>(INT64_MAX);
    Brut cy2(kConvCY);
    EXPECT_EQ(Conv(i8, &cy2), kConvPerte);
    Brut r8(kConvR8), cy3(kConvCY), retour(kConvR8);
    r8.Set(1.25);
    ASSERT_EQ(Conv(r8, &cy3), kConvOk);
    ASSERT_EQ(Conv(cy3, &retour), kConvOk);
    EXPECT_EQ(retour.Get<double>(), 1.25);
    r8.Set(1e30);
    Brut cy4(kConvCY);
    EXPECT_EQ(Conv(r8, &cy4), kConvPerte);
  }
  // Through a decimal object and back.
  for (int64_t v : {int64_t{0}, int64_t{-42}, int64_t{1} << 40}) {
    Brut i8(kConvI8), dec(kConvDECIMAL), retour(kConvI8);
    i8.Set(v);
    ASSERT_EQ(Conv(i8, &dec), kConvOk);
    ASSERT_EQ(Conv(dec, &retour), kConvOk);
    EXPECT_EQ(retour.Get<int64_t>(), v);
    Brut i4(kConvI4);
    EXPECT_EQ(Conv(dec, &i4), v == (int64_t{1} << 40) ? kConvPerte : kConvOk);
    Brut copie(kConvDECIMAL), r8(kConvR8);
    ASSERT_EQ(Conv(dec, &copie), kConvOk);
    ASSERT_EQ(Conv(copie, &r8), kConvOk);
    EXPECT_EQ(r8.Get<double>(), static_cast<double>(v));
  }
  {
    Brut cy(kConvCY), dec(kConvDECIMAL), texte(kConvDSTRW);
    cy.Set(CY(-1250000));
    ASSERT_EQ(Conv(cy, &dec), kConvOk);
    ASSERT_EQ(Conv(dec, &texte), kConvOk);
    EXPECT_EQ(texte.TexteW(), u"-1.25");
  }
}

TEST_F(ConversionTest, BinaryAndNumbers) {
  Brut bin3(kConvBIN), bin5(kConvBIN), vide(kConvBIN), zero(kConvBIN);
  SetA(&bin3, std::string("\x01\x02\x03", 3));
  SetA(&bin5, std::string("\x01\x02\x03\x04\x05", 5));
  SetA(&zero, std::string("\0\1", 2));
  {
    Brut d(kConvI4);
    EXPECT_EQ(Conv(bin3, &d), kConvBinaireCourt);
    EXPECT_EQ(Conv(bin5, &d), kConvOk);
    EXPECT_EQ(d.Get<uint32_t>(), 0x04030201u);
  }
  {
    Brut d(kConvBOOL);
    EXPECT_EQ(Conv(vide, &d), kConvBinaireCourt);
    EXPECT_EQ(Conv(zero, &d), kConvOk);
    EXPECT_EQ(d.Get<int32_t>(), 0);
    EXPECT_EQ(Conv(bin3, &d), kConvOk);
    EXPECT_EQ(d.Get<int32_t>(), 1);
  }
  {
    Brut d(kConvCY);
    EXPECT_EQ(Conv(bin5, &d), kConvBinaireCourt);
  }
  struct Cas {
    int32_t s;
    uint64_t bits;
    int octets;
  };
  for (const Cas& c : {Cas{kConvI2, 0x1234, 2}, Cas{kConvI4, 9, 4}, Cas{kConvUI8, 0x0102030405060708ull, 8},
                       Cas{kConvUIX, 0xFFFFFFFF80000001ull, 4}}) {
    Brut src(c.s), bin(kConvBIN), retour(c.s);
    src.Set(c.bits);
    ASSERT_EQ(Conv(src, &bin), kConvOk);
    ASSERT_EQ(bin.A().nGetByteLength(), c.octets) << c.s;
    ASSERT_EQ(Conv(bin, &retour), kConvOk);
    EXPECT_EQ(std::memcmp(retour.a, src.a, static_cast<size_t>(Largeur(c.s))), 0) << c.s;
  }
}

}  // namespace
}  // namespace qg
