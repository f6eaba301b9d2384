#include "driver/core/string_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include "support/ctstring.h"

namespace {

std::u16string Text(const CNAStringBuilder& b) { return std::u16string(b.pszGet(), b.nGetLength()); }

TEST(StringBuilder, ReplaceAllCases) {
  struct Case {
    std::u16string start, what, with;
    ptrdiff_t from;
    std::u16string expected;
    int count;
  };
  const Case cases[] = {
      {u"abcab", u"ab", u"xyz", 0, u"xyzcxyz", 2},   // longer replacement
      {u"abcab", u"ab", u"cd", 0, u"cdccd", 2},      // same length: in place
      {u"abcab", u"ab", u"", 0, u"c", 2},            // removal
      {u"abcab", u"ab", u"xyz", 1, u"abcxyz", 1},    // from a start position
      {u"ab", u"abc", u"x", 0, u"ab", 0},            // longer than the content
      {u"aaa", u"aa", u"a", 0, u"aa", 1},            // no overlap, no rescan
      {u"aaaa", u"a", u"aa", 0, u"aaaaaaaa", 4},     // replacement never searched
      {u"abc", u"", u"x", 0, u"abc", 0},             // empty text to find
      {u"abc", u"b", u"x", 3, u"abc", 0},            // start past the end
  };
  for (const Case& c : cases) {
    CNAStringBuilder b;
    b.Add(c.start.c_str());
    int count = b.nReplaceAll(c.what.c_str(), ptrdiff_t(c.what.size()), c.with.c_str(),
                              ptrdiff_t(c.with.size()), c.from);
    EXPECT_EQ(c.expected, Text(b)) << std::string(c.start.begin(), c.start.end());
    EXPECT_EQ(c.count, count);
    EXPECT_EQ(0, b.pszGet()[b.nGetLength()]);
  }
  CNAStringBuilder empty;
  EXPECT_EQ(0, empty.nReplaceAll(u"a", 1, u"b", 1, 0));
  EXPECT_EQ(0, empty.nReplaceAll(nullptr, 1, u"b", 1, 0));
  EXPECT_EQ(std::u16string(), Text(empty));
}

TEST(StringBuilder, AppendsAndCapacitySteps) {
  CNAStringBuilder b;
  EXPECT_EQ(0u, b.nGetCapacity());
  EXPECT_EQ(std::u16string(u""), b.pszGet());
  b.Add(nullptr);
  b.AddN(u"xyz", 0);
  b.AddN(u"xyz", -1);
  b.AddN(nullptr, 3);
  EXPECT_EQ(0u, b.nGetLength());
  b.AddN(u"xyz", 1);
  EXPECT_EQ(1024u, b.nGetCapacity());

  CNAStringBuilder full;
  std::u16string block(1024, u'q');
  full.Add(block.c_str());
  EXPECT_EQ(2048u, full.nGetCapacity());  // an exact multiple takes a whole step more

  CNAStringBuilder small(255);
  small.Add(u"a");
  EXPECT_EQ(255u, small.nGetCapacity());

  // Appending a part of the builder's own text is safe across growth.
  CNAStringBuilder self;
  self.Add(u"abc");
  for (int i = 0; i < 12; ++i) self.AddN(self.pszGet(), ptrdiff_t(self.nGetLength()));
  EXPECT_EQ(3u << 12, self.nGetLength());
  EXPECT_EQ(u"abcabc", std::u16string(self.pszGet() + 3000, 6));

  CNAStringBuilder s;
  s.AddString(CTString(u"tab"));
  s.AddString(CTString());
  s.AddString(CTString(u"le"));
  EXPECT_EQ(std::u16string(u"table"), s.pszGet());
}

TEST(StringBuilder, LargeTextsGrowGeometrically) {
  // One million single-unit appends: each step of growth at least doubles,
  // so only about ten reallocations happen.
  CNAStringBuilder b;
  size_t growths = 0;
  size_t capacity = 0;
  for (int i = 0; i < 1000000; ++i) {
    b.AddChar(u'x');
    if (b.nGetCapacity() != capacity) {
      capacity = b.nGetCapacity();
      ++growths;
    }
  }
  EXPECT_EQ(1000000u, b.nGetLength());
  EXPECT_LE(growths, 12u);

  // Replacing in a long text is one pass, not a copy per occurrence.
  CNAStringBuilder big;
  for (int i = 0; i < 200000; ++i) big.Add(u"?,");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(200000, big.nReplaceAll(u"?", 1, u"NULL", 4, 0));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(200000u * 5, big.nGetLength());
  EXPECT_LT(elapsed, std::chrono::seconds(1));
}

TEST(StringBuilder, ListBuilderJoinsWithCommas) {
  CNAListBuilder list;
  EXPECT_EQ(std::u16string(u""), list.pszGet());
  list.Add(u"a");
  list.Add(u"b");
  list.Add(u"c");
  EXPECT_EQ(std::u16string(u"a,b,c"), list.pszGet());
  EXPECT_EQ(3, list.nGetCount());
}

TEST(StringBuilder, ByteBuilderTerminatesAndGrows) {
  CNAByteBuilder b(16);
  b.Append(nullptr, 4);
  b.Append("abc", 0);
  EXPECT_EQ(0u, b.nGetLength());
  b.Append("abcdefgh", 8);
  EXPECT_EQ(16u, b.nGetCapacity());
  b.Append("12345678", 8);
  EXPECT_EQ(16u, b.nGetCapacity());  // exactly full, terminator in the extra byte
  b.Append("!", 1);
  EXPECT_EQ(32u, b.nGetCapacity());
  EXPECT_STREQ("abcdefgh12345678!", reinterpret_cast<const char*>(b.pGet()));
}

TEST(StringBuilder, DecimalsBinaryDigitsInsertionAndSearches) {
  struct Case { int64_t value; int width; const char* text; };
  const Case decimals[] = {
      {7, 3, "007"}, {-7, 3, "-7"}, {0, 3, "0"}, {12345, 3, "12345"}, {42, -1, "42"},
      {INT64_MIN, 5, "-9223372036854775808"}, {INT64_MAX, -1, "9223372036854775807"},
  };
  for (const Case& c : decimals) {
    CNAStringBuilder w(4);
    CNAByteBuilder a(4);
    w.AddInt(c.value, c.width);
    a.AddInt(c.value, c.width);
    EXPECT_EQ(std::u16string(c.text, c.text + strlen(c.text)), Text(w)) << c.text;
    EXPECT_STREQ(c.text, reinterpret_cast<const char*>(a.pGet()));
  }

  CNAStringBuilder b(4);
  b.AddBinaryByte(0xA5);
  b.AddBinaryByte(0x01);
  EXPECT_EQ(u"1010010100000001", Text(b));

  CNAStringBuilder q(4);
  q.Add(u"x = 'a''b' AND y");
  EXPECT_EQ(4, q.nFindQuote());
  EXPECT_EQ(6, q.nFindQuote(5));
  EXPECT_EQ(-1, q.nFindQuote(10));
  EXPECT_EQ(-1, q.nFindQuote(100));
  EXPECT_EQ(11, q.nFind(u"AND", 3));
  EXPECT_EQ(-1, q.nFind(u"AND", 3, 12));
  EXPECT_EQ(-1, q.nFind(u"", 0));
  // Inserting text of the builder itself, across a growth.
  q.InsertW(q.pszGet() + 11, 5);
  EXPECT_EQ(u"AND yx = 'a''b' AND y", Text(q));
  q.InsertW(nullptr, 3);
  EXPECT_EQ(21u, q.nGetLength());
}

TEST(StringBuilder, ByteBuilderEdits) {
  CNAByteBuilder b(4);
  auto text = [&] { return std::string(reinterpret_cast<const char*>(b.pGet()), b.nGetLength()); };
  b.Insert("lo", 2);  // into an empty buffer
  b.Append(" a-b-c", 6);
  b.Insert("hel", 3);
  EXPECT_EQ("hello a-b-c", text());
  EXPECT_EQ(7, b.nFind('-'));
  EXPECT_EQ(9, b.nFind('-', 8));
  EXPECT_EQ(-1, b.nFind('x'));
  EXPECT_EQ(2, b.nFind("llo", 3));
  EXPECT_EQ(-1, b.nFind("llo", 3, 3));
  EXPECT_EQ(-1, b.nFind("", 0));
  EXPECT_EQ(2, b.nReplaceAll("-", 1, "--", 2));  // replacements are not searched again
  EXPECT_EQ("hello a--b--c", text());
  EXPECT_EQ(2, b.nReplaceAll("--", 2, nullptr, 0));
  EXPECT_EQ("hello abc", text());
  EXPECT_EQ(0, b.nReplaceAll("zz", 2, "y", 1));
  b.Truncate(100);
  EXPECT_EQ("hello abc", text());
  b.Truncate(5);
  EXPECT_STREQ("hello", reinterpret_cast<const char*>(b.pGet()));
  b.Truncate(0);
  EXPECT_EQ(0u, b.nGetLength());
  b.Append("x", 1);
  b.Truncate(-3);
  EXPECT_EQ(0u, b.nGetLength());
}

TEST(StringBuilder, HexLiteral) {
  CNAStringBuilder out;
  out.Add(u"X'");
  const uint8_t bytes[] = {0x0A, 0xFF, 0x00, 0x7c};
  EXPECT_TRUE(bAddHexLiteral(out, bytes, 2));
  EXPECT_EQ(std::u16string(u"X'0AFF"), out.pszGet());
  EXPECT_TRUE(bAddHexLiteral(out, bytes, 0));
  EXPECT_TRUE(bAddHexLiteral(out, bytes + 2, 2));
  EXPECT_EQ(std::u16string(u"X'0AFF007C"), out.pszGet());
}

TEST(StringBuilder, SkipCodePoints) {
  const char16_t text[] = u"a\U0001F600b\xD800";  // a, pair, b, lone high surrogate
  EXPECT_EQ(text + 1, SkipCodePoints(text, 1));
  EXPECT_EQ(text + 3, SkipCodePoints(text, 2));
  EXPECT_EQ(text + 4, SkipCodePoints(text, 3));
  EXPECT_EQ(text + 5, SkipCodePoints(text, 4));  // a lone surrogate counts alone
  EXPECT_EQ(text + 5, SkipCodePoints(text, 99));  // stops at the terminator
  EXPECT_EQ(nullptr, SkipCodePoints(nullptr, 2));
}

}  // namespace
