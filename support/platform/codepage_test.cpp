#include "support/platform/codepage.h"

#include <errno.h>
#include <iconv.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/codepage_table.h"

namespace qg {
namespace {

std::u16string Decode(uint32_t cp, const std::string& bytes) {
  int n = MultiByteToWide(cp, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n > 0) {
    int written = MultiByteToWide(cp, bytes.data(), static_cast<int>(bytes.size()),
                                  out.data(), n);
    EXPECT_EQ(n, written) << "count and conversion disagree, code page " << cp;
  }
  return out;
}

std::string Encode(uint32_t cp, const std::u16string& text, bool* used_default = nullptr) {
  bool counted_default = false;
  int n = WideToMultiByte(cp, text.data(), static_cast<int>(text.size()), nullptr, 0,
                          &counted_default);
  std::string out(static_cast<size_t>(n), '\0');
  if (n > 0) {
    bool written_default = false;
    int written = WideToMultiByte(cp, text.data(), static_cast<int>(text.size()),
                                  out.data(), n, &written_default);
    EXPECT_EQ(n, written) << "count and conversion disagree, code page " << cp;
    EXPECT_EQ(counted_default, written_default);
  }
  if (used_default != nullptr) *used_default = counted_default;
  return out;
}

// Decodes one byte with a fresh iconv descriptor. Returns 0 on success
// (unit in *u), else errno (EILSEQ: undefined, EINVAL: a lead byte).
int IconvDecodeByte(const char* charset, unsigned char b, char16_t* u) {
  iconv_t cd = iconv_open("UTF-16LE", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return -1;
  char in = static_cast<char>(b);
  char* ip = &in;
  size_t il = 1;
  char16_t buf[4] = {};
  char* op = reinterpret_cast<char*>(buf);
  size_t ol = sizeof buf;
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  int err = r == static_cast<size_t>(-1) ? errno : 0;
  iconv_close(cd);
  if (err == 0 && op != reinterpret_cast<char*>(buf) + 2) err = -2;  // not one unit
  *u = buf[0];
  return err;
}

// ---------------------------------------------------------------------------
// Every code page of the table

TEST(CodePageTest, EveryTableCodePageConvertsAscii) {
  for (size_t i = 0; i < kEncodageCount; ++i) {
    uint32_t cp = static_cast<uint32_t>(EncodageCodePage(*kEncodages[i]));
    ASSERT_TRUE(IsKnownCodePage(cp)) << cp;
    std::string bytes = Encode(cp, u"Ab1");
    EXPECT_FALSE(bytes.empty()) << cp;
    EXPECT_EQ(u"Ab1", Decode(cp, bytes)) << cp;
  }
  EXPECT_FALSE(IsKnownCodePage(1));
  EXPECT_EQ(nullptr, CodePageCharsetName(1));
  EXPECT_STREQ("CP1252", CodePageCharsetName(0));
  EXPECT_STREQ("CP932", CodePageCharsetName(932));
}

// ---------------------------------------------------------------------------
// Counting conventions

TEST(CodePageTest, CountingConventions) {
  char16_t wide[8];
  char narrow[8];
  for (uint32_t cp : {1252u, 1250u, 65001u, 932u}) {
    SCOPED_TRACE(cp);
    // -1 runs up to and including the terminator.
    EXPECT_EQ(4, MultiByteToWide(cp, "abc", -1, nullptr, 0));
    EXPECT_EQ(4, MultiByteToWide(cp, "abc", -1, wide, 4));
    EXPECT_EQ(0, wide[3]);
    EXPECT_EQ(4, WideToMultiByte(cp, u"abc", -1, nullptr, 0));
    EXPECT_EQ(4, WideToMultiByte(cp, u"abc", -1, narrow, 4));
    EXPECT_EQ(0, narrow[3]);
    // An explicit length carries no terminator.
    EXPECT_EQ(2, MultiByteToWide(cp, "abc", 2, wide, 8));
    EXPECT_EQ(2, WideToMultiByte(cp, u"abc", 2, narrow, 8));
    // Too small fails.
    EXPECT_EQ(0, MultiByteToWide(cp, "abc", -1, wide, 3));
    EXPECT_EQ(0, WideToMultiByte(cp, u"abc", -1, narrow, 3));
    // Bad arguments fail.
    EXPECT_EQ(0, MultiByteToWide(cp, "abc", 0, wide, 8));
    EXPECT_EQ(0, MultiByteToWide(cp, "abc", -2, wide, 8));
    EXPECT_EQ(0, MultiByteToWide(cp, nullptr, -1, wide, 8));
    EXPECT_EQ(0, MultiByteToWide(cp, "abc", -1, wide, -1));
    EXPECT_EQ(0, MultiByteToWide(cp, "abc", -1, nullptr, 8));
    EXPECT_EQ(0, WideToMultiByte(cp, u"abc", 0, narrow, 8));
    EXPECT_EQ(0, WideToMultiByte(cp, nullptr, -1, narrow, 8));
    EXPECT_EQ(0, WideToMultiByte(cp, u"abc", -1, nullptr, 8));
  }
  EXPECT_EQ(0, MultiByteToWide(4242, "abc", -1, wide, 8));
  EXPECT_EQ(0, WideToMultiByte(4242, u"abc", -1, narrow, 8));
}

TEST(CodePageTest, WholeTextHelpers) {
  std::u16string wide;
  std::string narrow;
  // Explicit length, terminator-run, empty, and a text needing two bytes a
  // character each way.
  EXPECT_TRUE(CodePageToUtf16(1252, "ab\xE9", 3, &wide));
  EXPECT_EQ(wide, u"ab\u00E9");
  EXPECT_TRUE(CodePageToUtf16(65001, "\xE2\x82\xAC" "uro", -1, &wide));
  EXPECT_EQ(wide, u"\u20ACuro");
  EXPECT_TRUE(CodePageToUtf16(65001, "", -1, &wide));
  EXPECT_TRUE(wide.empty());
  bool used_default = true;
  EXPECT_TRUE(Utf16ToCodePage(65001, u"\u20ACuro", -1, &narrow, &used_default));
  EXPECT_EQ(narrow, "\xE2\x82\xAC" "uro");
  EXPECT_FALSE(used_default);
  EXPECT_TRUE(Utf16ToCodePage(1252, u"a\u4E00", 2, &narrow, &used_default));
  EXPECT_EQ(narrow, "a?");
  EXPECT_TRUE(used_default);
  // Failures leave the output empty.
  wide = std::u16string(u"x");
  narrow = "x";
  EXPECT_FALSE(CodePageToUtf16(4242, "abc", 3, &wide));
  EXPECT_TRUE(wide.empty());
  EXPECT_FALSE(CodePageToUtf16(1252, nullptr, 3, &wide));
  EXPECT_FALSE(Utf16ToCodePage(4242, u"abc", 3, &narrow));
  EXPECT_TRUE(narrow.empty());
}

// A multi-byte result needs more room than the input has characters: the
// count is in output units and a buffer one short fails.
TEST(CodePageTest, TooSmallByOneFailsForMultiByteOutput) {
  const std::u16string text = u"\u3042t\u3044 a";
  for (uint32_t cp : {65001u, 932u, 50220u}) {
    SCOPED_TRACE(cp);
    int n = WideToMultiByte(cp, text.data(), static_cast<int>(text.size()), nullptr, 0);
    ASSERT_GT(n, static_cast<int>(text.size()));
    std::string buf(static_cast<size_t>(n), '\0');
    EXPECT_EQ(0, WideToMultiByte(cp, text.data(), static_cast<int>(text.size()), buf.data(),
                                 n - 1));
    EXPECT_EQ(n, WideToMultiByte(cp, text.data(), static_cast<int>(text.size()), buf.data(),
                                 n));
    EXPECT_EQ(text, Decode(cp, buf));
  }
}

// Counting runs through iconv in pieces; a long text must count exactly.
TEST(CodePageTest, LongTextCountsLikeItConverts) {
  for (uint32_t cp : {932u, 936u, 50220u, 65001u, 1250u}) {
    std::u16string text;
    for (int i = 0; i < 3000; ++i) text += i % 3 ? u'x' : cp == 1250 ? u'\u0159' : u'\u3042';
    std::string bytes = Encode(cp, text);
    EXPECT_TRUE(text == Decode(cp, bytes)) << cp;
  }
}

// ---------------------------------------------------------------------------
// Code page 1252

TEST(CodePageTest, Cp1252Map) {
  EXPECT_EQ(0x20AC, Cp1252ToUnicode(0x80));
  EXPECT_EQ(0x0178, Cp1252ToUnicode(0x9F));
  EXPECT_EQ(0x00E9, Cp1252ToUnicode(0xE9));
  for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(b, Cp1252ToUnicode(b));
  // Every byte survives the round trip, and the map agrees with iconv on
  // every byte iconv defines (it leaves exactly the five undefined).
  int undefined = 0;
  for (int b = 0; b < 256; ++b) {
    char16_t u = Cp1252ToUnicode(static_cast<unsigned char>(b));
    EXPECT_EQ(b, UnicodeToCp1252(u)) << b;
    char16_t ref;
    if (IconvDecodeByte("CP1252", static_cast<unsigned char>(b), &ref) == 0) {
      EXPECT_EQ(ref, u) << b;
    } else {
      ++undefined;
      EXPECT_EQ(b, u);
    }
  }
  EXPECT_EQ(5, undefined);
  // C1 controls that 1252 gives to other characters have no byte.
  EXPECT_EQ(-1, UnicodeToCp1252(0x0080));
  EXPECT_EQ(-1, UnicodeToCp1252(0x009F));
  EXPECT_EQ(-1, UnicodeToCp1252(0x0100));
}

TEST(CodePageTest, UnmappableBecomesQuestionMarkWithoutBestFit) {
  // Fullwidth quote, left double quote in Latin-2, a smiley pair, a lone
  // surrogate: each one '?' (Windows' best fit would write '"' for U+FF02).
  struct Case {
    uint32_t cp;
    std::u16string text;
    std::string bytes;
    bool replaced;
  };
  const Case cases[] = {
      {1252, u"a\uFF02b", "a?b", true},
      {0, u"a\uFF02b", "a?b", true},
      {1252, u"\u20AC\u0081", "\x80\x81", false},
      {1252, u"x\U0001F600y", "x?y", true},
      {1252, u"x\xD800y", "x?y", true},
      {1250, u"a\uFF02b", "a?b", true},
      {1250, u"x\U0001F600y", "x?y", true},
      {1251, u"x\xDC00y", "x?y", true},
      {1251, u"\u0416", "\xC6", false},
      {28591, u"\u0100", "?", true},
      {20127, u"\u00e9", "?", true},
      {1047, u"a\u3042", "\x81\x6F", true},  // EBCDIC's own '?'
      {932, u"\uFF02", "\xFA\x57", false},    // 932 has the fullwidth quote
      {932, u"\uFEFFa", "?a", true},          // a BOM is no signature here
  };
  for (const Case& c : cases) {
    bool replaced = false;
    EXPECT_EQ(c.bytes, Encode(c.cp, c.text, &replaced)) << c.cp;
    EXPECT_EQ(c.replaced, replaced) << c.cp;
  }
}

// Every byte 0..255 through 1252, 1250, 1251, 932 and 936: a byte iconv
// decodes alone decodes the same here and encodes back to itself; an
// undefined byte in 0x80..0x9F still survives the round trip through
// U+0080..U+009F; a lone lead byte becomes U+FFFD.
TEST(CodePageTest, EveryByteRoundTripsAgainstIconv) {
  for (uint32_t cp : {1252u, 1250u, 1251u, 932u, 936u}) {
    const char* charset = CodePageCharsetName(cp);
    ASSERT_NE(nullptr, charset);
    for (int b = 0; b < 256; ++b) {
      SCOPED_TRACE(testing::Message() << "code page " << cp << " byte " << b);
      std::string byte(1, static_cast<char>(b));
      std::u16string text = Decode(cp, byte);
      ASSERT_EQ(1u, text.size());
      char16_t ref = 0;
      int err = IconvDecodeByte(charset, static_cast<unsigned char>(b), &ref);
      if (err == 0) {
        EXPECT_EQ(ref, text[0]);
      } else if (b >= 0x80 && b <= 0x9F && err == EILSEQ) {
        EXPECT_EQ(b, text[0]);
      } else {
        EXPECT_EQ(0xFFFD, text[0]);
        continue;
      }
      bool replaced = true;
      EXPECT_EQ(byte, Encode(cp, text, &replaced));
      EXPECT_FALSE(replaced);
    }
  }
}

TEST(CodePageTest, DoubleByteTexts) {
  // "日本" in Shift-JIS and GBK; a lead byte before a non-trail byte gives
  // U+FFFD and the second byte is read on its own.
  EXPECT_EQ(u"\u65E5\u672C", Decode(932, "\x93\xFA\x96\x7B"));
  EXPECT_EQ("\x93\xFA\x96\x7B", Encode(932, u"\u65E5\u672C"));
  EXPECT_EQ(u"\u65E5\u672C", Decode(936, "\xC8\xD5\xB1\xBE"));
  EXPECT_EQ(u"\uFFFD ", Decode(932, "\x93 "));
  EXPECT_EQ(u"a\uFFFD", Decode(932, "a\x93"));
  // A stateful encoding returns to ASCII at the end of every conversion.
  std::string jis = Encode(50220, u"a\u3042b\u3044");
  EXPECT_EQ("a\x1B$B$\"\x1B(Bb\x1B$B$$\x1B(B", jis);
  EXPECT_EQ(u"a\u3042b\u3044", Decode(50220, jis));
}

// ---------------------------------------------------------------------------
// UTF-8

TEST(CodePageTest, Utf8Encode) {
  struct Case {
    std::u16string text;
    std::string bytes;
    bool replaced;
  };
  const Case cases[] = {
      {u"a\u00e9\u20AC", "a\xC3\xA9\xE2\x82\xAC", false},
      {u"\U0001F600", "\xF0\x9F\x98\x80", false},
      {u"a\xD83D", "a\xEF\xBF\xBD", true},          // high surrogate at the end
      {u"\xDE00" "a", "\xEF\xBF\xBD" "a", true},   // lone low surrogate
      {u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80", true},
  };
  for (const Case& c : cases) {
    bool replaced = false;
    EXPECT_EQ(c.bytes, Encode(65001, c.text, &replaced));
    EXPECT_EQ(c.replaced, replaced);
  }
}

TEST(CodePageTest, Utf8DecodeReplacesIllFormedSequences) {
  struct Case {
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"a\xC3\xA9", u"a\u00e9"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xEF\xBB\xBF" "a", u"\uFEFF" "a"},         // a BOM is kept
      {"a\xFF" "b", u"a\uFFFD" "b"},
      {"\xC0\x80", u"\uFFFD\uFFFD"},               // overlong
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},     // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},     // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE2\x82" "a", u"\uFFFD" "a"},             // truncated: one U+FFFD
      {"\xF0\x9F\x98", u"\uFFFD"},                 // truncated at the end
      {"\x80\xBF", u"\uFFFD\uFFFD"},               // stray continuations
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.text, Decode(65001, c.bytes)) << testing::PrintToString(c.bytes);
  }
}

// ---------------------------------------------------------------------------
// UTF-16 and UTF-32 code pages

TEST(CodePageTest, Utf16AndUtf32CodePages) {
  EXPECT_EQ(u"AB", Decode(1200, std::string("A\0B\0", 4)));
  EXPECT_EQ(u"AB", Decode(1201, std::string("\0A\0B", 4)));
  EXPECT_EQ(u"A", Decode(1200, std::string("A\0B", 3)));  // half a unit is dropped
  EXPECT_EQ(std::string("\0A\0B", 4), Encode(1201, u"AB"));
  EXPECT_EQ(u"\U0001F600\uFFFF", Decode(12000, std::string("\x00\xF6\x01\x00\xFF\xFF\x00\x00", 8)));
  EXPECT_EQ(u"\U0001F600", Decode(12001, std::string("\x00\x01\xF6\x00", 4)));
  EXPECT_EQ(u"\uFFFD\uFFFD", Decode(12000, std::string("\x00\xD8\x00\x00\x00\x00\x11\x00", 8)));
  EXPECT_EQ(std::string("\x00\xF6\x01\x00", 4), Encode(12000, u"\U0001F600"));
  // -1 runs up to a zero unit (code point), inclusive.
  char16_t out[8];
  EXPECT_EQ(2, MultiByteToWide(1200, "A\0\0\0", -1, out, 8));
  EXPECT_EQ(2, MultiByteToWide(12001, std::string("\0\0\0A\0\0\0\0", 8).data(), -1, out, 8));
  EXPECT_EQ(u'A', out[0]);
}

// ---------------------------------------------------------------------------
// Threads

TEST(CodePageTest, ThreadsConvertIndependently) {
  const std::u16string text = u"\u65E5\u672C a\u3042";
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        uint32_t cp = (i + t) % 2 ? 932u : 65001u;
        std::string b(64, '\0');
        int n = WideToMultiByte(cp, text.data(), static_cast<int>(text.size()), b.data(), 64);
        char16_t back[32];
        int m = MultiByteToWide(cp, b.data(), n, back, 32);
        if (n == 0 || std::u16string(back, static_cast<size_t>(m)) != text) ++failures[t];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(0, f);
}

// A thread_local built before the thread's first conversion is destroyed
// after the thread's descriptors are closed; converting from its destructor
// must still work (and not touch a closed descriptor).
struct ConvertsAtThreadExit {
  std::string* out = nullptr;
  ~ConvertsAtThreadExit() {
    char buf[8];
    int n = WideToMultiByte(932, u"\u3042", 1, buf, sizeof buf);
    if (out != nullptr) out->assign(buf, static_cast<size_t>(n));
  }
};

TEST(CodePageTest, ConvertsFromThreadExitDestructors) {
  std::string result;
  std::thread([&result] {
    thread_local ConvertsAtThreadExit late;
    late.out = &result;
    char buf[8];
    EXPECT_EQ(2, WideToMultiByte(932, u"\u3044", 1, buf, sizeof buf));
  }).join();
  EXPECT_EQ("\x82\xA0", result);
}

}  // namespace
}  // namespace qg
