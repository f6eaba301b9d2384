#include "support/ctstring.h"

#include "support/xystring.h"

#include <gtest/gtest.h>

#include <string>

#include "support/string_host_fixture.h"

namespace qg {
namespace {

std::u16string Text(const CTString& s) { return std::u16string(s.pszGet()); }

class CTStringTest : public StringHostTest {};

TEST_F(CTStringTest, EmptyTextsHoldNoBlock) {
  const char16_t* static_empty = CTString().pszGet();
  CTString s(u"abc");
  s.Set(u"");
  EXPECT_EQ(s.pszGet(), static_empty);
  s = u"x";
  s.Set(nullptr);
  EXPECT_EQ(s.pszGet(), static_empty);
  s = u"x";
  s.RAZ();
  EXPECT_EQ(s.pszGet(), static_empty);
  EXPECT_EQ(CTString(u"abc", 0).pszGet(), static_empty);
  EXPECT_EQ(CTString(u"").pszGet(), static_empty);
  EXPECT_TRUE(s.bEstVide());
  EXPECT_EQ(s.nTaille(), 0);
  EXPECT_EQ(s.nGetChar(0), 0);
}

TEST_F(CTStringTest, CopyMoveAndOwnText) {
  CTString a(u"hello");
  CTString b(a);
  EXPECT_NE(a.pszGet(), b.pszGet());  // never shared
  a = a;
  EXPECT_EQ(Text(a), u"hello");
  a.Set(a.pszGet());
  EXPECT_EQ(Text(a), u"hello");
  a.Set(a.pszGet() + 2);  // shorter text from its own block
  EXPECT_EQ(Text(a), u"llo");
  a.Add(a.pszGet());
  EXPECT_EQ(Text(a), u"llollo");
  a += nullptr;
  EXPECT_EQ(Text(a), u"llollo");
  CTString c(std::move(a));
  EXPECT_EQ(Text(c), u"llollo");
  EXPECT_TRUE(a.bEstVide());  // NOLINT: moved-from is empty by contract
  EXPECT_EQ(Text(CTString(u"abcdef", 3)), u"abc");
  EXPECT_EQ(Text(CTString(u"ab\0cd", 5)), u"ab");
}

TEST_F(CTStringTest, Equality) {
  struct Case {
    const char16_t* s;
    const char16_t* other;
    bool equal;
    bool equal_i;
  };
  const Case cases[] = {
      {u"", u"", true, true},           {u"", nullptr, true, true},
      {u"", u"a", false, false},        {u"a", u"", false, false},
      {u"abc", u"abc", true, true},     {u"ABC", u"abc", false, true},
      {u"\u00C9cole", u"ecole", false, true}, {u"abc", u"abd", false, false},
  };
  for (const Case& c : cases) {
    CTString s(c.s);
    EXPECT_EQ(s.bEstEgal(c.other), c.equal);
    EXPECT_EQ(s.bEstEgalI(c.other), c.equal_i);
  }
}

TEST_F(CTStringTest, ExtractField) {
  struct Case {
    const char16_t* text;
    const char16_t* sep;
    int n;
    bool found;
    std::u16string field;
  };
  const Case cases[] = {
      {u"a;b;c", u";", 0, true, u"a"},    {u"a;b;c", u";", 2, true, u"c"},
      {u"a;b;c", u";", 3, false, u""},    {u"a;;c", u";", 1, true, u""},
      {u"a::b:c", u"::", 1, true, u"b:c"}, {u"a;b", u";", -1, false, u""},
      // An empty separator makes the whole text the one field.
      {u"a;b", u"", 0, true, u"a;b"},     {u"a;b", nullptr, 1, false, u""},
      {nullptr, u";", 0, false, u""},
  };
  for (const Case& c : cases) {
    CTString s(c.text);
    CTString out(u"stale");
    EXPECT_EQ(s.bExtraitChaine(c.n, c.sep, out), c.found) << c.n;
    if (c.found) {
      EXPECT_EQ(Text(out), c.field);
    }
  }
  CTString self(u"x;y");
  EXPECT_TRUE(self.bExtraitChaine(1, u";", self));
  EXPECT_EQ(Text(self), u"y");
}

std::u16string Formatted(const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  CTString s;
  int n = s.FormatV(format, ap);
  va_end(ap);
  EXPECT_EQ(n, s.nTaille());
  return Text(s);
}

TEST_F(CTStringTest, Format) {
  EXPECT_EQ(Formatted(u"%s=%d", u"n", 42), u"n=42");
  EXPECT_EQ(Formatted(u"%S|%I64d|%5.1f", "narrow", static_cast<long long>(1) << 40, 2.2),
            u"narrow|1099511627776|  2.2");
  int sink = 7;
  EXPECT_EQ(Formatted(u"ab%n", &sink), u"ab%n");
  EXPECT_EQ(sink, 7);
  EXPECT_EQ(Formatted(u""), u"");
  // The size estimate counts a character as 2 whatever its width: the
  // formatter's real need must win.
  EXPECT_EQ(Formatted(u"%5000c|", u'x'), std::u16string(4999, u' ') + u"x|");
  std::u16string big(100000, u'x');
  EXPECT_EQ(Formatted(u"[%s]", big.c_str()), u"[" + big + u"]");
  CTStringFormat f(u"%s-%u", u"id", 9u);
  EXPECT_EQ(Text(f), u"id-9");
}

int FormatInto(CTString* s, const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = s->FormatV(format, ap);
  va_end(ap);
  return n;
}

TEST_F(CTStringTest, FormatMayReadItsOwnText) {
  CTString s(u"abc");
  EXPECT_EQ(FormatInto(&s, u"[%s|%s]", s.pszGet(), s.pszGet()), 9);
  EXPECT_EQ(Text(s), u"[abc|abc]");
}

TEST_F(CTStringTest, PiecesOfText) {
  CTString s(u"abcdef");
  EXPECT_EQ(Text(s.clMilieu(2)), u"cdef");
  EXPECT_EQ(Text(s.clMilieu(6)), u"");
  EXPECT_EQ(Text(s.clMilieu(60)), u"");
  EXPECT_EQ(s.nGetChar(1), u'b');
  EXPECT_EQ(s.nGetChar(6), 0);

  const char16_t* text = u"name.ext.gz";
  CTString before;
  EXPECT_EQ(before.pszExtraitAvantPoint(text), text + 5);
  EXPECT_EQ(Text(before), u"name");
  const char16_t* plain = u"plain";
  EXPECT_EQ(before.pszExtraitAvantPoint(plain), plain);
  EXPECT_TRUE(before.bEstVide());
  EXPECT_EQ(before.pszExtraitAvantPoint(plain, true), nullptr);
  EXPECT_EQ(Text(before), u"plain");

  CTString q;
  q.SetChar(u'`');
  EXPECT_EQ(Text(q), u"`");
  q.SetFromMultiByte("10.6.\x80", 1252);
  EXPECT_EQ(Text(q), u"10.6.\u20AC");
  q.SetFromMultiByte("\xC3\xA9", 65001);
  EXPECT_EQ(Text(q), u"\u00E9");
  q.SetFromMultiByte("", 1252);
  EXPECT_TRUE(q.bEstVide());
  // An ASCII text is the same in both, replacing a longer one.
  q.SetFromMultiByte("a longer text than the next one", 65001);
  q.SetFromMultiByte("Param ~1\x7F", 65001);
  EXPECT_EQ(Text(q), u"Param ~1\x7F");
  q.SetFromMultiByte("Param ~1", 1252);
  EXPECT_EQ(Text(q), u"Param ~1");
  // Code page 0 is the host's, as for the dynamic strings.
  locale_.SetCodePage(1251);
  q.SetFromMultiByte("\xC0", 0);
  EXPECT_EQ(Text(q), u"\u0410");
  CXYString<char16_t> w;
  ASSERT_EQ(w.nAffecteConversion("\xC0", -1, 0), 0);
  EXPECT_EQ(std::u16string(w.pszGet()), u"\u0410");
  w.Libere();
}

}  // namespace
}  // namespace qg
