#include "support/platform/text16.h"

#include <gtest/gtest.h>

namespace qg {

TEST(Text16, LengthAndNull) {
  EXPECT_EQ(0u, StrLen16(nullptr));
  EXPECT_EQ(0u, StrLen16(u""));
  EXPECT_EQ(3u, StrLen16(u"abc"));
  EXPECT_EQ(2u, StrNLen16(u"abc", 2));
  EXPECT_EQ(3u, StrNLen16(u"abc", 10));
}

TEST(Text16, CompareTable) {
  struct Case { const char16_t* a; const char16_t* b; int ord; int ascii; int latin1; };
  const Case cases[] = {
      {u"abc", u"abc", 0, 0, 0},
      {u"abc", u"ABC", 1, 0, 0},
      {u"\u00e9t\u00e9", u"\u00c9T\u00c9", 1, 1, 0},
      {nullptr, u"", 0, 0, 0},
      {u"ab", u"abc", -1, -1, -1},
      {u"\u00f7", u"\u00d7", 1, 1, 1},  // division and multiplication signs never fold
      {u"\uffff", u"a", 1, 1, 1},       // unsigned unit order
  };
  auto sign = [](int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; };
  for (const Case& c : cases) {
    EXPECT_EQ(c.ord, sign(StrCmp16(c.a, c.b)));
    EXPECT_EQ(c.ascii, sign(StrICmpAscii16(c.a, c.b)));
    EXPECT_EQ(c.latin1, sign(StrICmpLatin1_16(c.a, c.b)));
  }
  EXPECT_EQ(0, StrNICmpAscii16(u"HELLO world", u"hello there", 6));
}

TEST(Text16, CopyBounds) {
  char16_t buf[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(0u, StrCopy16(buf, 0, u"abc"));
  EXPECT_EQ(u'x', buf[0]);
  EXPECT_EQ(3u, StrCopy16(buf, 4, u"abcdef"));
  EXPECT_EQ(0, StrCmp16(buf, u"abc"));
  EXPECT_EQ(0u, StrCopy16(buf, 4, nullptr));
  EXPECT_EQ(0, buf[0]);
}

TEST(Text16, Search) {
  const char16_t* s = u"a;bb;c";
  EXPECT_EQ(s + 1, StrChr16(s, u';'));
  EXPECT_EQ(s + 4, StrRChr16(s, u';'));
  EXPECT_EQ(s + 6, StrChr16(s, 0));
  EXPECT_EQ(nullptr, StrChr16(s, u'z'));
  EXPECT_EQ(s + 2, StrStr16(s, u"bb"));
  EXPECT_EQ(s, StrStr16(s, u""));
  EXPECT_EQ(nullptr, StrStr16(s, u"bbb"));
  EXPECT_EQ(-1, Find16(u"ab", 2, u"abc", 3));
  EXPECT_EQ(1, Find16(u"aab", 3, u"ab", 2));
}

}  // namespace qg
