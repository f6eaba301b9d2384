#include "support/text_functions.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/ctstring.h"
#include "support/string_host_fixture.h"

namespace qg {
namespace {

class TextFunctionsTest : public StringHostTest {};

TEST(TextFunctions, Utf32ToUtf16) {
  struct Case {
    std::u32string in;
    std::u16string out;
  };
  const Case cases[] = {
      {U"\U0001F600", u"\xD83D\xDE00"},
      {U"\uFFFF", u"\uFFFF"},
      {U"\U0010FFFF", u"\xDBFF\xDFFF"},
      {std::u32string(1, char32_t{0x110000}), u"\uFFFD"},  // beyond Unicode
      {std::u32string(1, char32_t{0xD800}), u"\uFFFD"},    // a surrogate
      {std::u32string(1, char32_t{0xFFFFFFFF}), u"\uFFFD"},
      {U"a\U00010000b", u"a\xD800\xDC00" u"b"},
  };
  for (const Case& c : cases) {
    char16_t out[8] = {};
    int n = nConvertitUTF32EnUTF16(c.in.data(), static_cast<int>(c.in.size()), out, 8);
    EXPECT_EQ(std::u16string(out, n), c.out);
    EXPECT_EQ(nConvertitUTF32EnUTF16(c.in.data(), static_cast<int>(c.in.size()), nullptr, 0),
              static_cast<int>(c.out.size()));
  }
  // A pair that does not fit is not split.
  const char32_t pair[] = {U'a', 0x1F600};
  char16_t out[2] = {};
  EXPECT_EQ(nConvertitUTF32EnUTF16(pair, 2, out, 2), 1);
  // -1 converts up to and including the zero code point.
  const char32_t z[] = {U'x', 0x1F600, 0, U'y'};
  char16_t zout[8];
  EXPECT_EQ(nConvertitUTF32EnUTF16(z, -1, zout, 8), 4);
  EXPECT_EQ(zout[3], 0);
}

// The library's 1252 map against the system's conversion for the bytes
// where the two code pages differ from Latin-1.
TEST(TextFunctions, Cp1252MapAgreesWithIconv) {
  iconv_t cd = iconv_open("UTF-16LE", "CP1252");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (int b = 0x80; b <= 0x9F; ++b) {
    char in[1] = {static_cast<char>(b)};
    char16_t mine = 0;
    ASSERT_EQ(nConvertit1252EnUTF16(in, 1, &mine, 1), 1);
    char out[4];
    char* ip = in;
    char* op = out;
    size_t il = 1, ol = sizeof(out);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) {
      EXPECT_EQ(mine, b) << "undefined byte " << b << " maps to itself";
    } else {
      char16_t sys = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                           static_cast<unsigned char>(out[1]) << 8);
      EXPECT_EQ(mine, sys) << "byte " << b;
    }
  }
  iconv_close(cd);
  EXPECT_EQ(nConvertit1252EnUTF16("\x80\x81", 2, nullptr, 0), 2);
  char16_t out[4];
  EXPECT_EQ(nConvertit1252EnUTF16("ab", -1, out, 4), 3);  // terminator included
  EXPECT_EQ(out[2], 0);
  EXPECT_EQ(nConvertit1252EnUTF16("abc", 3, out, 2), 2);
}

TEST(TextFunctions, Utf16AndUtf32Decoders) {
  char16_t out[4] = {};
  EXPECT_EQ(nDecodeUTF16("\x41\x00\xAC\x20", 4, false, out, 4), 2);
  EXPECT_EQ(std::u16string(out, 2), u"A\u20AC");
  EXPECT_EQ(nDecodeUTF16("\x00\x41\x20\xAC", 4, true, out, 4), 2);
  EXPECT_EQ(std::u16string(out, 2), u"A\u20AC");
  EXPECT_EQ(nDecodeUTF16("\x41\x00\x42\x00", 4, false, out, 1), 1);
  EXPECT_EQ(nDecodeUTF16("\x41\x00\x42\x00\x43", 5, false, nullptr, 0), 2);
  EXPECT_EQ(nDecodeUTF32("\x00\xF6\x01\x00", 4, false, out, 4), 2);
  EXPECT_EQ(std::u16string(out, 2), u"\xD83D\xDE00");
  EXPECT_EQ(nDecodeUTF32("\x00\x01\xF6\x00", 4, true, out, 4), 2);
  EXPECT_EQ(std::u16string(out, 2), u"\xD83D\xDE00");
}

TEST(TextFunctions, NumberTexts) {
  struct Case {
    const char16_t* text;
    double value;
  };
  const Case cases[] = {
      {u"1d5", 1e5},         {u"1D5", 1e5},       {u"  -2.5d-1", -0.25}, {u"+.5", 0.5},
      {u"12abc", 12},        {u"3.", 3},          {u"1e", 1},            {u"abc", 0},
      {u"", 0},              {u"  ", 0},          {u"0x10", 0},          {u"-0X1", 0},
      {u"--5", 0},           {u"- 5", 0},         {u"inf", 0},           {u"1e-400", 0},
      {nullptr, 0},          {u"123456789012345678901234567890", 1.2345678901234568e29},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(rChaineVersReel(c.text), c.value) << c.value;
  EXPECT_TRUE(std::isinf(rChaineVersReel(u"1d400")));
  EXPECT_LT(rChaineVersReel(u"-1e400"), 0);
  // Exponents past any integer width saturate: the sign of the magnitude decides.
  EXPECT_EQ(rChaineVersReel(u"1e-99999999999999999999"), 0.0);
  EXPECT_TRUE(std::isinf(rChaineVersReel(u"0.001e99999999999999999999")));
  EXPECT_TRUE(std::isinf(rChaineVersReel(u"-1e+99999999999999999999")));
  EXPECT_EQ(rChaineVersReel(u"0e99999999999999999999"), 0.0);
  // Leading fraction zeros count: 0.0001e309 is 1e305, 0.0001e313 overflows,
  // 0.0001e-320 underflows.
  EXPECT_DOUBLE_EQ(rChaineVersReel(u"0.0001e309"), 1e305);
  EXPECT_TRUE(std::isinf(rChaineVersReel(u"0.0001e313")));
  EXPECT_EQ(rChaineVersReel(u"0.0001e-321"), 0.0);
  EXPECT_EQ(rChaineVersReel(u"1000e-330"), 0.0);

  // A locale with a decimal comma must not change the reading.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
    EXPECT_DOUBLE_EQ(rChaineVersReel(u"2.5"), 2.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
  }

  CTString holder;
  const char16_t* plain = u"1.5e3";
  EXPECT_EQ(pszNormaliseExposantD(plain, &holder), plain);
  EXPECT_EQ(std::u16string(pszNormaliseExposantD(u"1.5d3", &holder)), u"1.5E3");

  char16_t buf[24];
  EXPECT_EQ(std::u16string(pszUI8VersChaine(buf, 0)), u"0");
  EXPECT_EQ(std::u16string(pszUI8VersChaine(buf, UINT64_MAX)), u"18446744073709551615");
}

TEST_F(TextFunctionsTest, VersionOrder) {
  struct Case {
    const char16_t* version;
    int sign;
  };
  const Case cases[] = {
      {u"17.0.1.0", 0},  {u"17.0.10.0", 1}, {u"17.0.2.0", 1},  {u"17.0.0.9", -1},
      {u"16.99.9.9", -1}, {u"017.0.01.0", 0}, {u"17.0.1", -1},  {u"17.0.1.0.1", 1},
      {u"18", 1},         {u"", -1},
  };
  for (const Case& c : cases) {
    int r = nCompareVersionModuleObjet(c.version);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << std::u16string(c.version).size();
  }
}

TEST_F(TextFunctionsTest, LocaleComparisonAndMapping) {
  EXPECT_EQ(nCompareChaineLocale(u"\u00C9COLE", u"ecole", 3), 0);
  EXPECT_NE(nCompareChaineLocale(u"\u00C9COLE", u"ecole", 1), 0);
  EXPECT_LT(nCompareChaineLocale(u"abc", u"abd", 0), 0);
  EXPECT_EQ(locale_.nCalls(7), 3);
  EXPECT_EQ(nCompareChaineLocale(u"ABC", u"abc", kCompareFlagsOnly | 1), 0);
  EXPECT_EQ(locale_.nCalls(5), 1);
  EXPECT_EQ(nCompareCaractereLocale(u'a', u'a'), 0);
  EXPECT_NE(nCompareCaractereLocale(u'a', u'b'), 0);

  // Texts that compare equal map to equal texts.
  const char16_t* texts[] = {u"\u00C9l\u00E8ve", u"ELEVE", u"e\u0301le\u0300ve", u"eleve"};
  std::u16string first;
  for (const char16_t* t : texts) {
    char16_t out[16];
    int n = nMappeChaineSansCasseNiAccent(t, -1, out);
    ASSERT_GT(n, 0);
    EXPECT_EQ(out[n - 1], 0);  // -1 maps the terminator too
    if (first.empty()) first.assign(out, n);
    EXPECT_EQ(std::u16string(out, n), first);
    EXPECT_EQ(nCompareChaineLocale(t, texts[0], 3), 0);
  }
  char16_t out[4];
  EXPECT_EQ(nMappeChaineSansCasseNiAccent(u"ABCD", 2, out), 2);
  EXPECT_EQ(std::u16string(out, 2), u"ab");
}

TEST(TextFunctions, CopiesAndPaths) {
  char16_t buf[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(nCopieChaine(buf, 0, u"abc"), 0);
  EXPECT_EQ(buf[0], u'x');
  EXPECT_EQ(nCopieChaine(buf, 1, u"abc"), 0);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(nCopieChaineTronquee(buf, 4, u"abcdef"), 3);
  EXPECT_EQ(std::u16string(buf), u"abc");

  char16_t path[kPathBufferSize];
  std::u16string dir(250, u'd');
  nCopieChaine(path, kPathBufferSize, dir.c_str());
  EXPECT_EQ(nConcateneChemin(path, u"\\file.txt"), 259);  // fills the buffer exactly
  EXPECT_EQ(nConcateneChemin(path, u""), 259);
  // One more character would be cut: the path is left alone.
  EXPECT_EQ(nConcateneChemin(path, u"x"), -1);
  EXPECT_EQ(std::u16string(path), dir + u"\\file.txt");

  char16_t* d = pszDupliqueChaine(u"dup");
  EXPECT_EQ(std::u16string(d), u"dup");
  LibereChaine(d);
  d = pszDupliqueSousChaine(u"dup", 2);
  EXPECT_EQ(std::u16string(d), u"du");
  Libere(d);
  char* a = pszDupliqueSousChaineA("abc", 10);
  EXPECT_STREQ(a, "abc");
  LibereChaine(a);
  EXPECT_EQ(pszDupliqueChaine(nullptr), nullptr);
  EXPECT_EQ(pszDupliqueChaineA(nullptr), nullptr);
  LibereChaine(nullptr);

  char16_t blanks[] = u"text \t\r\n";
  EXPECT_EQ(nSupprimeBlancsFin(blanks), 4);
  EXPECT_EQ(std::u16string(blanks), u"text");
}

int Estimate(const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = nCalculeTailleFormat(format, ap);
  va_end(ap);
  return n;
}

int Actual(const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  CTString s;
  int n = s.FormatV(format, ap);
  va_end(ap);
  return n;
}

// The estimate is an upper bound of what the formatter writes.
TEST(TextFunctions, FormatEstimateIsAnUpperBound) {
  const char16_t* wide = u"wide text";
#define QG_BOUND(...) EXPECT_GE(Estimate(__VA_ARGS__), Actual(__VA_ARGS__)) << #__VA_ARGS__
  QG_BOUND(u"plain 100%%");
  QG_BOUND(u"%s|%S", wide, "narrow");
  QG_BOUND(u"%20s|%-3.2s|%.0s", wide, wide, wide);
  QG_BOUND(u"%*d|%-*.*s", 40, 7, 12, 3, wide);
  QG_BOUND(u"%I64d %lld %llu %#x %p", -(1LL << 62), 5LL, ~0ULL, 255, static_cast<void*>(&wide));
  QG_BOUND(u"%f %e %g %.30f", 1e300, -1e-300, 3.5, 1.0 / 3);
  QG_BOUND(u"%c%C%hs%ls", u'a', 'b', "narrow", wide);
  QG_BOUND(u"%s", static_cast<const char16_t*>(nullptr));
#undef QG_BOUND
  EXPECT_EQ(Estimate(u"ab"), 4);
  EXPECT_EQ(Estimate(u"%s", u""), 1);
  EXPECT_EQ(Estimate(u"%s", static_cast<const char16_t*>(nullptr)), 6);
  EXPECT_EQ(Estimate(u"%d"), 32);
  EXPECT_EQ(Estimate(u"%f", 1.0), 512);
  EXPECT_EQ(Estimate(u"%40.30d", 1), 70);
  EXPECT_EQ(Estimate(u"%n", static_cast<int*>(nullptr)), 0);
}

}  // namespace
}  // namespace qg
