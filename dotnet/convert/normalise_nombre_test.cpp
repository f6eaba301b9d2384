#include "dotnet/convert/normalise_nombre.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Cas {
  const char16_t* pszEntree;
  int nLargeur, nDecimales, nChiffres, nCadrage;
  bool bDeveloppe, bSupprimeZeros;
  const char16_t* pszAttendu;
};

std::string Etroit(const std::u16string& s) { return std::string(s.begin(), s.end()); }

TEST(NormaliseNombre, EditsDigitsAsText) {
  for (const Cas& c : {
           Cas{u"1.25", -1, 1, 0, 2, false, false, u"1.3"},
           Cas{u"9.96", -1, 1, 0, 2, false, false, u"10.0"},
           Cas{u"-0.04", -1, 1, 0, 2, false, false, u"0.0"},
           Cas{u"-0.06", -1, 1, 0, 2, false, false, u"-0.1"},
           Cas{u"1.5e+03", -1, -1, 0, 2, true, false, u"1500"},
           Cas{u"1.5E-02", -1, -1, 0, 2, true, false, u"0.015"},
           Cas{u"-2.5e-01", -1, -1, 0, 2, true, false, u"-0.25"},
           Cas{u"1.234e+02", -1, -1, 0, 2, true, false, u"123.4"},
           Cas{u"1.5e+03", -1, -1, 0, 2, false, false, u"1.5e+03"},
           Cas{u"123456", 5, -1, 0, 0, false, false, u"*E*"},
           Cas{u"1.5e+03", 3, -1, 0, 0, true, false, u"*E*"},
           Cas{u"0.000123456", -1, -1, 3, 2, false, false, u"0.000123"},
           Cas{u"123456", -1, -1, 2, 2, false, false, u"120000"},
           Cas{u"99.96", -1, -1, 3, 2, false, false, u"100"},
           Cas{u"  +12.500  ", -1, -1, 0, 2, false, false, u"12.5"},
           Cas{u"12.000", -1, -1, 0, 2, false, false, u"12"},
           Cas{u"12", -1, 2, 0, 2, false, false, u"12.00"},
           Cas{u"12.3", -1, 3, 0, 2, false, false, u"12.300"},
           Cas{u"12.5", -1, 0, 0, 2, false, false, u"13"},
           Cas{u"12,34", -1, 1, 0, 2, false, false, u"12,3"},
           Cas{u"1.5", 6, -1, 0, 0, false, false, u"   1.5"},
           Cas{u"1.5", 6, -1, 0, 1, false, false, u"1.5   "},
           Cas{u"1.5", 6, -1, 0, 7, false, false, u"1.5"},
           Cas{u"1.500", -1, 3, 0, 2, false, true, u"1.5"},
           Cas{u"1.500e+10", -1, 3, 0, 2, false, true, u"1.5e+10"},  // exponent keeps its zeros
           Cas{u"1.0", 6, 1, 0, 0, false, true, u"     1"},
           Cas{u"inf", 6, 2, 0, 0, false, false, u"inf"},
       }) {
    char16_t sz[128];
    std::u16string(c.pszEntree).copy(sz, 127);
    sz[std::u16string(c.pszEntree).size()] = 0;
    ASSERT_TRUE(NormaliseNombre(sz, 128, c.nLargeur, c.nDecimales, c.nChiffres, c.nCadrage, c.bDeveloppe,
                                c.bSupprimeZeros))
        << Etroit(c.pszEntree);
    EXPECT_EQ(std::u16string(sz), c.pszAttendu) << Etroit(c.pszEntree);
  }
}

// An expansion that would pass the work buffer keeps the exponent form, and
// texts or results that do not fit are refused without touching the text.
TEST(NormaliseNombre, BoundsWorkAndResult) {
  char16_t sz[128] = u"1.5e+300";
  ASSERT_TRUE(NormaliseNombre(sz, 128, -1, -1, 0, 2, true, false));
  EXPECT_EQ(std::u16string(sz), u"1.5e+300");
  std::u16string sLong(81, u'1');
  char16_t szLong[100];
  sLong.copy(szLong, 81);
  szLong[81] = 0;
  EXPECT_FALSE(NormaliseNombre(szLong, 100, -1, -1, 0, 2, false, false));
  EXPECT_EQ(std::u16string(szLong), sLong);
  char16_t szPetit[5] = u"1.5";
  EXPECT_FALSE(NormaliseNombre(szPetit, 5, -1, 3, 0, 2, false, false));  // 1.500 needs 6 units
  EXPECT_EQ(std::u16string(szPetit), u"1.5");
  EXPECT_FALSE(NormaliseNombre(szPetit, 5, 1000000000, -1, 0, 0, false, false));
  EXPECT_FALSE(NormaliseNombre(szPetit, 5, -1, 2000000000, 0, 0, false, false));
  EXPECT_TRUE(NormaliseNombre(szPetit, 5, 4, -1, 0, 0, false, false));
  EXPECT_EQ(std::u16string(szPetit), u" 1.5");
}

}  // namespace
