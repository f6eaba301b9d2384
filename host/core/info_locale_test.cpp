#include "host/core/info_locale.h"

#include <gtest/gtest.h>

#include <string>

namespace qghost {
namespace {

std::u16string Map(InfoLocale& l, uint32_t flags, const std::u16string& s) {
  char16_t out[64];
  int n = l.nMapText(0x400, flags, s.c_str(), static_cast<int32_t>(s.size()), out, 64);
  return std::u16string(out, n);
}

// Comparison and mapping share one fold: equal under comparison exactly
// when equal after mapping, for every flag combination.
TEST(InfoLocale, CompareAndMapAgree) {
  InfoLocale l;
  const std::u16string texts[] = {u"eleve", u"\u00C9l\u00E8ve", u"ELEVE", u"e\u0301leve",
                                  u"elev", u"\u00E9l\u00E8ve", u"Eleve", u"elevf"};
  for (uint32_t flags = 0; flags < 4; ++flags) {
    for (const auto& a : texts) {
      for (const auto& b : texts) {
        bool equal = l.nCompare(0x400, flags, a.c_str(), -1, b.c_str(), -1) == 0;
        EXPECT_EQ(equal, Map(l, flags, a) == Map(l, flags, b)) << flags;
        EXPECT_EQ(l.nCompareFlags(flags, a.c_str(), -1, b.c_str(), -1) == 0, equal);
      }
    }
  }
  EXPECT_EQ(l.nCompare(0x400, 3, u"\u00C9COLE", -1, u"ecole", -1), 0);
  EXPECT_LT(l.nCompare(0x400, 0, u"abc", -1, u"abd", -1), 0);
  EXPECT_GT(l.nCompare(0x400, 0, u"abcd", 4, u"abc", 3), 0);
  // Length -1 maps the terminator too; a null destination only counts.
  char16_t out[8];
  EXPECT_EQ(l.nMapText(0x40C, 3, u"\u00C9t\u00E9", -1, out, -1), 4);
  EXPECT_EQ(std::u16string(out, 4), std::u16string(u"ete\0", 4));
  EXPECT_EQ(l.nMapText(0x40C, 3, u"abc", -1, nullptr, 0), 4);
  EXPECT_EQ(l.nMapText(0x40C, 3, u"abcdef", -1, out, 3), 0);  // too small
  EXPECT_EQ(l.cMapChar(0x400, 3, u'\u00C7'), u'c');
  EXPECT_EQ(l.nFaults(), 0);
}

TEST(InfoLocale, Versions) {
  InfoLocale v5;
  EXPECT_EQ(v5.nGetVersion(), 5);
  EXPECT_EQ(v5.nGetCodePage(), 1252);
  v5.SetLanguagePair(12, 2);
  qg::LanguagePair p = v5.GetLanguagePair();
  EXPECT_EQ(p.nLanguage, 12);
  EXPECT_EQ(p.nVariant, 2);
  EXPECT_EQ(v5.nCalls(21), 1);
  EXPECT_EQ(v5.nFaults(), 0);

  InfoLocaleV4 v4;
  v4.SetLanguagePair(7, 1);
  EXPECT_EQ(v4.nGetVersion(), 4);
  EXPECT_EQ(v4.nGetLanguage(), 7);
  v4.GetLanguagePair();  // a version-4 host has no such operation
  EXPECT_EQ(v4.nFaults(), 1);
}

}  // namespace
}  // namespace qghost
