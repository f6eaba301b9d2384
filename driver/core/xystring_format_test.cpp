#include "driver/core/xystring_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/string_host_fixture.h"

namespace {

class XYFormat : public qg::StringHostTest {};

std::u16string Text(const CXYString<char16_t>& s) {
  return std::u16string(s.pszGet(), size_t(s.nTaille()));
}

TEST_F(XYFormat, FormatReplacesTheText) {
  CXYString<char16_t> s(u"old text");
  CXYString<char16_t> shared(s);
  ASSERT_EQ(0, nXYFormat(s, u"%s=%d, %S %I64d", u"n", 42, "narrow", int64_t(1) << 40));
  EXPECT_EQ(u"n=42, narrow 1099511627776", Text(s));
  EXPECT_EQ(u"old text", Text(shared));  // the shared buffer is left alone
  ASSERT_EQ(0, nXYFormat(s, u""));
  EXPECT_TRUE(s.bEstNull());

  qg::IStringMemory* saved = qg::Services().piStringMemory;
  qg::Services().piStringMemory = nullptr;  // no allocator: error, string empty
  CXYString<char16_t> orphan;
  EXPECT_GE(nXYFormat(orphan, u"%d", 1), 100);
  EXPECT_TRUE(orphan.bEstNull());
  qg::Services().piStringMemory = saved;
}

TEST_F(XYFormat, ReplaceAll) {
  struct Case { const char16_t* start; const char16_t* what; const char16_t* with; const char16_t* out; };
  const Case cases[] = {
      {u"abcab", u"ab", u"xyz", u"xyzcxyz"},
      {u"abcab", u"ab", nullptr, u"c"},
      {u"abab", u"ab", u"", u""},
      {u"abc", u"", u"x", u"abc"},
      {u"abc", u"zz", u"x", u"abc"},
      {u"aaa", u"a", u"aa", u"aaaaaa"},
  };
  for (const Case& c : cases) {
    CXYString<char16_t> s(c.start);
    CXYString<char16_t> other(s);
    ASSERT_EQ(0, nXYRemplaceTout(s, c.what, c.with));
    EXPECT_EQ(std::u16string(c.out), Text(s));
    EXPECT_EQ(std::u16string(c.start), Text(other));
  }
}

TEST(FormatToBuffer, NeverWritesPastTheCapacity) {
  char16_t buffer[8];
  buffer[7] = u'#';
  EXPECT_EQ(5, nFormatToBufferW(buffer, 7, u"%s-%d", u"ab", 12));
  EXPECT_EQ(std::u16string(u"ab-12"), buffer);
  EXPECT_EQ(-1, nFormatToBufferW(buffer, 7, u"%s", u"0123456789"));
  EXPECT_EQ(std::u16string(u"012345"), buffer);
  EXPECT_EQ(u'#', buffer[7]);
}

TEST(ScanFormat, Conversions) {
  int32_t a = 0, b = 0, n = 0;
  int64_t big = 0;
  double d = 0;
  float f = 0;
  char16_t word[8];
  char narrow[8];
  EXPECT_EQ(5, nScanFormatW(u"  12,-7 9000000000 2.5e1 1.25", u"%d,%i %I64d %lf %f", &a, &b,
                            &big, &d, &f));
  EXPECT_EQ(12, a);
  EXPECT_EQ(-7, b);
  EXPECT_EQ(9000000000, big);
  EXPECT_EQ(25.0, d);
  EXPECT_EQ(1.25f, f);

  EXPECT_EQ(3, nScanFormatW(u"0x1F ff name", u"%i %x %s%n", &a, &b, word, size_t(8), &n));
  EXPECT_EQ(31, a);
  EXPECT_EQ(255, b);
  EXPECT_EQ(std::u16string(u"name"), word);
  EXPECT_EQ(12, n);

  EXPECT_EQ(2, nScanFormatW(u"abc skip 42", u"%S %*s %d", narrow, size_t(8), &a));
  EXPECT_STREQ("abc", narrow);

  // A text field that does not fit stops the scan instead of overflowing.
  EXPECT_EQ(0, nScanFormatW(u"toolongword", u"%s", word, size_t(8)));
  EXPECT_EQ(1, nScanFormatW(u"toolongword", u"%7s", word, size_t(8)));
  EXPECT_EQ(std::u16string(u"toolong"), word);

  EXPECT_EQ(-1, nScanFormatW(u"   ", u"%d", &a));
  EXPECT_EQ(0, nScanFormatW(u"x1", u"%d", &a));
  EXPECT_EQ(1, nScanFormatW(u"100%", u"%d%%", &a));
  EXPECT_EQ(1, nScanFormatW(u"12345", u"%3d", &a));
  EXPECT_EQ(123, a);
}

}  // namespace
