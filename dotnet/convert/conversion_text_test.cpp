#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dotnet/convert/conversion_test_fixture.h"

namespace qg {
namespace {

struct CasTexte {
  const char* texte;
  int32_t d;
  uint64_t attendu;
  int st;
};

TEST_F(ConversionTest, TextReadAsInteger) {
  const CasTexte cas[] = {
      {"  -12abc", kConvI2, static_cast<uint16_t>(-12), 0},
      {"70000", kConvI2, 4464, 1},
      {"", kConvI4, 0, 0},
      {"abc", kConvI4, 0, 0},
      {"+42", kConvUI1, 42, 0},
      {"-1", kConvUI8, ~0ull, 0},
      {"18446744073709551616", kConvUI8, ~0ull, 1},
      {"-18446744073709551616", kConvUI8, ~0ull, 1},
      {"9223372036854775808", kConvI8, 0x7FFFFFFFFFFFFFFFull, 1},
      {"-9223372036854775808", kConvI8, 0x8000000000000000ull, 0},
      {"-99999999999999999999", kConvI8, 0x8000000000000000ull, 1},
      {"99999999999999999999", kConvI4, 0xFFFFFFFF, 1},
      {"0", kConvBOOL, 0, 0},
      {" 7x", kConvBOOL, 1, 0},
      {"4294967295", kConvUIX, 0xFFFFFFFFFFFFFFFFull, 1},
  };
  for (int32_t type : {kConvDSTRW, kConvDSTRA, kConvPSTRW, kConvPSTRA}) {
    for (const CasTexte& c : cas) {
      Brut src(type);
      SetTexte(&src, c.texte);
      Brut dst(c.d);
      EXPECT_EQ(Conv(src, &dst), c.st) << type << " '" << c.texte << "' -> " << c.d;
      uint64_t obtenu = 0;
      const int largeur = c.d == kConvUI1 ? 1 : c.d == kConvI2 ? 2
                        : (c.d == kConvUI8 || c.d == kConvI8 || c.d == kConvUIX) ? 8 : 4;
      std::memcpy(&obtenu, dst.a, static_cast<size_t>(largeur));
      EXPECT_EQ(obtenu, c.attendu) << type << " '" << c.texte << "' -> " << c.d;
    }
  }
}

TEST_F(ConversionTest, TextReadAsRealCurrencyDecimal) {
  for (int32_t type : {kConvDSTRW, kConvPSTRA}) {
    Brut src(type), r8(kConvR8), r4(kConvR4), cy(kConvCY), dec(kConvDECIMAL);
    SetTexte(&src, "1.5d3");
    EXPECT_EQ(Conv(src, &r8), kConvOk);
    EXPECT_EQ(r8.Get<double>(), 1500.0);
    Brut grand(type), r4b(kConvR4);
    SetTexte(&grand, "1e39");
    EXPECT_EQ(Conv(grand, &r4b), kConvPerte);
    EXPECT_TRUE(std::isinf(r4b.Get<float>()));
    Brut montant(type), retour(kConvDSTRW);
    SetTexte(&montant, "12.5");
    ASSERT_EQ(Conv(montant, &cy), kConvOk);
    ASSERT_EQ(Conv(cy, &retour), kConvOk);
    EXPECT_EQ(retour.TexteW(), u"12.5");
    Brut virgule(type), r8b(kConvR8);
    SetTexte(&virgule, "1,5");
    ASSERT_EQ(Conv(virgule, &dec), kConvOk);
    ASSERT_EQ(Conv(dec, &r8b), kConvOk);
    EXPECT_EQ(r8b.Get<double>(), 1.5);
    Brut trop(type), cy2(kConvCY);
    SetTexte(&trop, "99999999999999999999999");
    EXPECT_EQ(Conv(trop, &cy2), kConvPerte);
  }
}

TEST_F(ConversionTest, CharacterReadAsNumber) {
  struct Cas {
    int32_t s;
    char16_t c;
    int32_t d;
    int64_t attendu;
  };
  const Cas cas[] = {
      {kConvCARA, u'7', kConvI4, 7},   {kConvCARA, u'A', kConvI4, 0},
      {kConvCARW, u'0', kConvBOOL, 1}, {kConvCARA, 0, kConvBOOL, 0},
      {kConvCARW, u'9', kConvI8, 9},   {kConvCARW, u'5', kConvR8, 5},
  };
  for (const Cas& c : cas) {
    Brut src(c.s), dst(c.d);
    if (c.s == kConvCARA) src.a[0] = static_cast<unsigned char>(c.c);
    else src.Set(c.c);
    EXPECT_EQ(Conv(src, &dst), kConvOk);
    int64_t obtenu = c.d == kConvI8 ? dst.Get<int64_t>()
                   : c.d == kConvR8 ? static_cast<int64_t>(dst.Get<double>())
                                    : dst.Get<int32_t>();
    EXPECT_EQ(obtenu, c.attendu) << c.s << " '" << static_cast<char>(c.c) << "'";
  }
}

struct CasEcrit {
  int32_t s;
  uint64_t bits;
  double r;
  const char* attendu;
};

TEST_F(ConversionTest, NumbersWrittenAsText) {
  const CasEcrit cas[] = {
      {kConvUIX, 0xFFFFFFFFu, 0, "-1"},
      {kConvHWND, 0x80000000u, 0, "-2147483648"},
      {kConvUI4, 0xFFFFFFFFu, 0, "4294967295"},
      {kConvI8, 0x8000000000000000ull, 0, "-9223372036854775808"},
      {kConvUI8, ~0ull, 0, "18446744073709551615"},
      {kConvBOOL, 7, 0, "1"},
      {kConvI1, 0x80, 0, "-128"},
      {kConvR8, 0, 1.0, "1"},
      {kConvR8, 0, 0.0, "0"},
      {kConvR8, 0, -2.5, "-2.5"},
      {kConvR8, 0, 0.1, "0.1"},
      {kConvR8, 0, 1e20, "100000000000000000000"},
      {kConvR8, 0, 1.5e-7, "0.00000015"},
      {kConvR8, 0, 1.0 / 3.0, "0.3333333333333"},
      {kConvR4, 0, 0.1, "0.1"},
      {kConvR4, 0, 1234567.0, "1234570"},
      {kConvR4, 0, -0.0, "0"},
  };
  for (int32_t d : {kConvDSTRW, kConvDSTRA, kConvPSTRW, kConvPSTRA}) {
    for (const CasEcrit& c : cas) {
      Brut src(c.s);
      if (c.s == kConvR4) src.Set(static_cast<float>(c.r));
      else if (c.s == kConvR8) src.Set(c.r);
      else src.Set(c.bits);
      Brut dst(d);
      ASSERT_EQ(Conv(src, &dst), kConvOk);
      const std::string attendu = c.attendu;
      if (d == kConvDSTRW || d == kConvPSTRW) {
        EXPECT_EQ(dst.TexteW(), std::u16string(attendu.begin(), attendu.end())) << c.s << " " << c.r;
      } else {
        EXPECT_EQ(dst.TexteA(), attendu) << c.s << " " << c.r;
      }
    }
  }
}

}  // namespace
}  // namespace qg
