#include "support/codepage_table.h"

#include <iconv.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace qg {
namespace {

TEST(CodePageTableTest, RowsAndTheirCodePages) {
  ASSERT_EQ(44u, kEncodageCount);
  const CEncodage& def = *kEncodages[kEncodageCount];
  EXPECT_EQ(&Encodage_Defaut, &def);
  EXPECT_EQ(std::u16string(u"?"), def.pszLibelle);
  EXPECT_EQ(-1, def.nCharset);
  EXPECT_STREQ("CP1252", def.pszNom);
  EXPECT_STREQ("CP1252", def.pszNom2);
  EXPECT_EQ(-1, EncodageCodePage(def));

  std::vector<int32_t> seen;
  int differing_names = 0;
  for (size_t i = 0; i < kEncodageCount; ++i) {
    const CEncodage& row = *kEncodages[i];
    int32_t cp = EncodageCodePage(row);
    EXPECT_GE(cp, 0) << "row " << i;
    for (int32_t other : seen) EXPECT_NE(other, cp) << "row " << i;
    seen.push_back(cp);
    EXPECT_EQ(&row, FindEncodageByCodePage(static_cast<uint32_t>(cp)));
    if (std::strcmp(row.pszNom, row.pszNom2) != 0) ++differing_names;
  }
  EXPECT_EQ(1, differing_names);
  EXPECT_STREQ("CP1361", Encodage_Coreen_Johab.pszNom);
  EXPECT_STREQ("JOHAB", Encodage_Coreen_Johab.pszNom2);

  EXPECT_EQ(std::u16string(u"ANSI (0)"), Encodage_Systeme_Defaut.pszLibelle);
  EXPECT_EQ(127, Encodage_Systeme_Defaut.nCharset);
  EXPECT_STREQ("CP1252", Encodage_Systeme_Defaut.pszNom);
  EXPECT_EQ(0, Encodage_Latin.nCharset);
  EXPECT_STREQ("CP1252", Encodage_Latin.pszNom);
  EXPECT_EQ(std::u16string(u"LAtin ISO 8859-15 (28605)"),
            Encodage_Latin_ISO_8859_15.pszLibelle);
  EXPECT_EQ(28605, EncodageCodePage(Encodage_Latin_ISO_8859_15));
  EXPECT_EQ(65001, Encodage_UTF_8.nCharset);
  EXPECT_EQ(&Encodage_Systeme_Defaut, FindEncodageByCodePage(0));
  EXPECT_EQ(nullptr, FindEncodageByCodePage(1252000));
}

// Every charset name of the table opens with this system's iconv, both
// ways. glibc 2.36 opens all of them; "CP1361" only through an alias of
// its JOHAB module in gconv-modules-extra.conf, so it is the name an iconv
// without the extra modules lacks (the Johab row's second name stands in).
TEST(CodePageTableTest, EveryCharsetNameOpensWithIconv) {
  for (size_t i = 0; i <= kEncodageCount; ++i) {
    for (const char* name : {kEncodages[i]->pszNom, kEncodages[i]->pszNom2}) {
      iconv_t to = iconv_open(name, "UTF-16LE");
      iconv_t from = iconv_open("UTF-16LE", name);
      EXPECT_NE(reinterpret_cast<iconv_t>(-1), to) << name;
      EXPECT_NE(reinterpret_cast<iconv_t>(-1), from) << name;
      if (to != reinterpret_cast<iconv_t>(-1)) iconv_close(to);
      if (from != reinterpret_cast<iconv_t>(-1)) iconv_close(from);
    }
  }
}

}  // namespace
}  // namespace qg
