#include "driver/core/support/text_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/frame/host_services.h"
#include "support/frame/module_services.h"
#include "support/platform/text16.h"

namespace {

// A locale interface that compares and maps after folding case and the
// accents of a few Latin-1 letters. It counts its calls.
class FakeLocale final : public qg::IInfoLocale {
 public:
  static char16_t Fold(char16_t c) {
    c = qg::ToLowerLatin1_16(c);
    switch (c) {
      case u'\u00e9': case u'\u00e8': case u'\u00ea': return u'e';
      case u'\u00e0': case u'\u00e2': return u'a';
      default: return c;
    }
  }
  intptr_t vOp0(intptr_t, intptr_t) override { return 0; }
  int32_t nGetVersion() override { return 5; }
  int32_t nGetNumber() override { return number; }
  int32_t nGetCodePage() override { return 1252; }
  intptr_t vOp4(intptr_t, intptr_t) override { return 0; }
  int32_t nCompareFlags(uint32_t, const char16_t*, int32_t, const char16_t*, int32_t) override {
    return 0;
  }
  intptr_t vOp6(intptr_t, intptr_t) override { return 0; }
  int32_t nCompare(uint32_t locale, uint32_t flags, const char16_t* a, int32_t na,
                   const char16_t* b, int32_t nb) override {
    ++compares;
    last_locale = locale;
    last_flags = flags;
    size_t la = na < 0 ? qg::StrLen16(a) : size_t(na);
    size_t lb = nb < 0 ? qg::StrLen16(b) : size_t(nb);
    for (size_t i = 0; i < la && i < lb; ++i) {
      if (Fold(a[i]) != Fold(b[i])) return Fold(a[i]) < Fold(b[i]) ? -1 : 1;
    }
    return la == lb ? 0 : la < lb ? -1 : 1;
  }
  intptr_t vOp8(intptr_t, intptr_t) override { return 0; }
  intptr_t vOp9(intptr_t, intptr_t) override { return 0; }
  intptr_t vOp10(intptr_t, intptr_t) override { return 0; }
  char16_t cMapChar(uint32_t, uint32_t, char16_t c) override { return qg::ToUpperLatin1_16(c); }
  intptr_t vOp12(intptr_t, intptr_t) override { return 0; }
  int32_t nMapText(uint32_t, uint32_t, const char16_t*, int32_t, char16_t*, int32_t) override {
    return 0;
  }
  intptr_t vOp14(intptr_t, intptr_t) override { return 0; }
  intptr_t vOp15(intptr_t, intptr_t) override { return 0; }
  intptr_t vOp16(intptr_t, intptr_t) override { return 0; }
  intptr_t vOp17(intptr_t, intptr_t) override { return 0; }
  qg::IInfoLocale* piGetCollation() override { return this; }
  int32_t nGetLanguage() override { return 0; }
  intptr_t vOp20(intptr_t, intptr_t) override { return 0; }
  qg::LanguagePair GetLanguagePair() override { return {0, 0}; }

  int compares = 0;
  uint32_t last_locale = 0;
  uint32_t last_flags = 0;
  int32_t number = 127;
};

TEST(TextHelpers, CharsetToCodePage) {
  const uint32_t pairs[][2] = {{0, 1252},   {255, 1252}, {2, 42},      {10, 1200},
                               {128, 932},  {129, 949},  {130, 1361},  {134, 936},
                               {136, 950},  {161, 1253}, {162, 1254},  {163, 1258},
                               {177, 1255}, {178, 1256}, {186, 1257},  {204, 1251},
                               {222, 874},  {238, 1250}, {65001, 65001}, {12001, 12001},
                               {77, 0},     {1252, 0}};
  for (const auto& p : pairs) EXPECT_EQ(p[1], nCharsetToCodePage(p[0])) << p[0];
}

TEST(TextHelpers, CodePage1252Tests) {
  EXPECT_FALSE(bIsCP1252Text(u"a\u0081"));
  EXPECT_TRUE(bIsCP1252Text(u"\u20ac 10"));
  EXPECT_TRUE(bIsCP1252Text(u"\u00ff\u0178\u017e"));
  EXPECT_FALSE(bIsCP1252Text(u"\u0100"));
  EXPECT_TRUE(bIsCP1252Text(nullptr));
  uint8_t byte = 0;
  EXPECT_TRUE(bWideToCP1252(u'\u2122', &byte));
  EXPECT_EQ(0x99, byte);
  // Every character of the high table maps back to its byte; none of
  // U+0080..U+009F is representable.
  int high = 0;
  for (char16_t c = 0x100; c < 0x2200; ++c) high += bWideToCP1252(c, nullptr) ? 1 : 0;
  EXPECT_EQ(27, high);
  for (char16_t c = 0x80; c < 0xA0; ++c) EXPECT_FALSE(bWideToCP1252(c, nullptr));

  EXPECT_TRUE(bIsRepresentableInCodePage(u"\u65e5\u672c", 65001));
  EXPECT_TRUE(bIsRepresentableInCodePage(u"\u0100\U0001F600", 65001));
  // Lone surrogates: a high one at the end, before a plain character or
  // another high one; a low one alone or first.
  for (const char16_t* lone : {u"a\xd83d", u"\xd83dz", u"\xd83d\xd83d", u"\xde00",
                               u"\xde00\xd83d", u"\U0001F600\xdc00"}) {
    EXPECT_FALSE(bIsRepresentableInCodePage(lone, 65001));
    EXPECT_FALSE(bIsRepresentableInCodePage(lone, 1252));
  }
  EXPECT_TRUE(bIsRepresentableInCodePage(u"", 1252));
  EXPECT_TRUE(bIsRepresentableInCodePage(u"caf\u00e9", 1252));
  EXPECT_FALSE(bIsRepresentableInCodePage(u"\u65e5", 1252));
  EXPECT_TRUE(bIsRepresentableInCodePage(u"\u65e5\u672c", 932));
  EXPECT_EQ('\x80', cWideToAnsiChar(u'\u20ac', 1252));
  EXPECT_EQ('?', cWideToAnsiChar(u'\u65e5', 1252));
  EXPECT_EQ('?', cWideToAnsiChar(u'\u65e5', 932));  // two bytes: no single byte
}

TEST(TextHelpers, HostLocaleCalls) {
  FakeLocale locale;
  qg::IInfoLocale* saved = qg::Services().piInfoLocale;
  qg::Services().piInfoLocale = &locale;
  EXPECT_EQ(0, nCompareTextNoCaseNoAccent(u"\u00c9t\u00e9", u"ete"));
  EXPECT_NE(0, nCompareTextNoCaseNoAccent(u"ete", u"eta"));
  EXPECT_EQ(qg::kLocaleUserDefault, locale.last_locale);
  EXPECT_EQ(3u, locale.last_flags);
  qg::Services().piInfoLocale = saved;

  EXPECT_EQ(0, nCompareCharNoCaseNoAccent(&locale, u'\u00c0', u'a'));
  EXPECT_NE(0, nCompareCharNoCaseNoAccent(&locale, u'b', u'a'));
  char16_t text[] = u"abc\u00e9";
  MapTextInPlace(&locale, 0x200, text);
  EXPECT_EQ(std::u16string(u"ABC\u00c9"), text);
  EXPECT_EQ(&locale, piGetHostCollation(&locale));
  EXPECT_EQ(nullptr, piGetHostCollation(nullptr));
  EXPECT_EQ(0, nGetHostLocaleNumber(&locale));  // 127 reads as 0
  locale.number = 12;
  EXPECT_EQ(12, nGetHostLocaleNumber(&locale));
}

TEST(TextHelpers, SearchLengthsAndCopies) {
  const char* text = "Server 10.6 MariaDB";
  EXPECT_EQ(text + 12, pszFindNoCaseA(text, "mariadb"));
  EXPECT_EQ(text, pszFindNoCaseA(text, ""));
  EXPECT_EQ(nullptr, pszFindNoCaseA(text, "mysql"));
  EXPECT_EQ(nullptr, pszFindNoCaseA(nullptr, "x"));

  EXPECT_EQ(8, nFindMariaDB(u"10.6.12-mAriAdb-log"));
  EXPECT_EQ(0, nFindMariaDB(u"MARIADB"));
  EXPECT_EQ(-1, nFindMariaDB(u"maria"));
  EXPECT_EQ(-1, nFindMariaDB(u"8.0.32 MySQL"));
  EXPECT_EQ(-1, nFindMariaDB(nullptr));

  EXPECT_EQ(3u, nTextLengthBoundedW(u"abcdef", 3));
  EXPECT_EQ(2u, nTextLengthBoundedA("ab", 10));
  EXPECT_EQ(0u, nTextLengthBoundedA(nullptr, 10));

  char out[10];
  EXPECT_EQ(9, nCopyTextMax9(out, "0123456789abc", -1));
  EXPECT_STREQ("012345678", out);
  EXPECT_EQ(3, nCopyTextMax9(out, "0123456789", 3));
  EXPECT_STREQ("012", out);

  char16_t buffer[8] = u"ab";
  EXPECT_EQ(7u, AppendBoundedW(buffer, 8, u"cdefghij"));
  EXPECT_EQ(std::u16string(u"abcdefg"), buffer);
  EXPECT_TRUE(bIsDigitW(u'7'));
  EXPECT_FALSE(bIsDigitW(u'a'));
  EXPECT_EQ(7, nDigitValue(u'7'));
}

TEST(TextHelpers, TextExtras) {
  CTString out;
  JoinWithDash(out, u"a", u"b");
  EXPECT_EQ(std::u16string(u"a - b"), out.pszGet());
  CTString t(u"abc \t  ");
  RemoveTrailingBlanks(t);
  EXPECT_EQ(std::u16string(u"abc \t"), t.pszGet());
  CTString blanks(u"   ");
  RemoveTrailingBlanks(blanks);
  EXPECT_TRUE(blanks.bEstVide());
  CTString empty;
  AppendBlank(empty);
  EXPECT_EQ(std::u16string(u" "), empty.pszGet());
  AppendBlank(t);
  EXPECT_EQ(std::u16string(u"abc \t "), t.pszGet());
}

TEST(TextHelpers, EscapeTable) {
  NAEscapeOptions none;
  NAEscapeOptions q;
  q.bDoubleQuotes = true;
  NAEscapeOptions like;
  like.bDoubleQuotes = true;
  like.bEscapePercent = true;
  like.bEscapeUnderscore = true;
  NAEscapeOptions wide = like;
  wide.bWidenEscapePercent = true;
  wide.bWidenEscapeUnderscore = true;
  wide.bWidenEscapeEscape = true;
  NAEscapeOptions ep;
  ep.bWidenEscapePercent = true;
  NAEscapeOptions b;
  b.bDoubleBackslashes = true;

  struct Case { const char16_t* source; const NAEscapeOptions* o; char16_t e; const char16_t* out; };
  const Case cases[] = {
      {u"a\\%b", &none, u'\\', u"a\\%b"},    // e% kept
      {u"a\\b", &none, u'\\', u"a\\\\b"},    // lone e doubled
      {u"O'Brien", &q, u'\\', u"O''Brien"},
      {u"O'Brien", &none, u'\\', u"O'Brien"},
      {u"50%_x", &like, u'!', u"50!%!_x"},
      {u"!%", &ep, u'!', u"!!%"},
      {u"!%", &wide, u'!', u"!!!%"},
      {u"!_", &wide, u'!', u"!!!_"},
      {u"!!", &wide, u'!', u"!!!!"},
      {u"!!", &none, u'!', u"!!"},
      {u"a!", &none, u'!', u"a!!"},          // e at the end
      {u"c:\\dir", &b, u'!', u"c:\\\\dir"},
      {u"c:\\dir", &none, u'!', u"c:\\dir"},
  };
  for (const Case& c : cases) {
    std::u16string out;
    EscapeTextW(c.source, out, *c.o, c.e);
    EXPECT_EQ(std::u16string(c.out), out) << std::string(c.source, c.source + qg::StrLen16(c.source));
  }

  EXPECT_EQ(u"a\\%b a\\\\b", pszEscapeTextW(u"a\\%b a\\b", u'\\'));
  EXPECT_EQ("a\\%b a\\\\b", pszEscapeTextA("a\\%b a\\b", '\\'));
  EXPECT_EQ(u"[%]x[_]!!", pszEscapeTextExW(u"!%x!_!!!", u'!', u"[", u"%", u"]", u"[", u"_", u"]"));
  EXPECT_EQ(u"a!b", pszEscapeTextExW(u"a!b", u'!', u"", u"", u"", u"", u"", u""));
}

TEST(TextHelpers, UnescapeQuotes) {
  char16_t w[] = u"O''Brien";
  UnescapeQuotesW(w);
  EXPECT_EQ(std::u16string(u"O'Brien"), w);
  char a[] = "it\\'s '''' done";
  UnescapeQuotesA(a);
  EXPECT_STREQ("it's '' done", a);
  char lone[] = "'";
  UnescapeQuotesA(lone);
  EXPECT_STREQ("'", lone);

  // Escaping then unescaping quotes gives the text back.
  std::u16string escaped;
  NAEscapeOptions q;
  q.bDoubleQuotes = true;
  EscapeTextW(u"''a'", escaped, q, u'\\');
  UnescapeQuotesW(escaped.data());
  EXPECT_EQ(std::u16string(u"''a'"), escaped.c_str());
}

}  // namespace
