#include "driver/core/support/codepage_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(CodePageHelpers, DoubleByteTextIsNeverSplit) {
  // U+8868 in code page 932 is 0x95 0x5C: its trail byte is the backslash.
  const char cp932[] = "a\x95\x5c" "b";
  char out[16];
  ASSERT_EQ(5u, nNAConvertCodePage(cp932, 4, 932, out, sizeof out, 65001));
  EXPECT_STREQ("a\xe8\xa1\xa8" "b", out);
  EXPECT_EQ(nullptr, std::strchr(out, '\\'));
  ASSERT_EQ(4u, nNAConvertCodePage(out, 5, 65001, out, sizeof out, 932));
  EXPECT_STREQ(cp932, out);
  for (size_t i = 5; i < sizeof out; ++i) EXPECT_EQ(0, out[i]);  // the rest is zero
}

TEST(CodePageHelpers, CopyCutAndFailures) {
  char out[4];
  EXPECT_EQ(3u, nNAConvertCodePage("abcdef", 6, 65001, out, sizeof out, 65001));
  EXPECT_STREQ("abc", out);
  // UTF-8 copied into too small a buffer stops before the character that
  // would cross the cut.
  EXPECT_EQ(1u, nNAConvertCodePage("a\xc3\xa9z", 4, 65001, out, 3, 65001));
  EXPECT_STREQ("a", out);
  EXPECT_EQ(3u, nNAConvertCodePage("a\xc3\xa9z", 4, 65001, out, 4, 65001));
  EXPECT_STREQ("a\xc3\xa9", out);
  // A converted text that does not fit is refused whole, never cut inside
  // a character.
  char small[3];
  EXPECT_EQ(0u, nNAConvertCodePage("\xe8\xa1\xa8\xe8\xa1\xa8", 6, 65001, small, sizeof small, 932));
  EXPECT_EQ(0, small[0]);
  EXPECT_EQ(0u, nNAConvertCodePage(nullptr, 3, 1252, out, sizeof out, 65001));
  EXPECT_EQ(2u, nNAConvertCodePage("\xe9t", 2, 1252, out, sizeof out, 1252));
}

TEST(CodePageHelpers, UnicodeCodePagesAndNumbers) {
  EXPECT_EQ(std::string("a\0\0\0", 4), NAWideToCodePage(u"a", 1, 12000));
  EXPECT_EQ(std::string("\0a", 2), NAWideToCodePage(u"a", 1, 1201));
  EXPECT_EQ("caf\xe9", NAWideToCodePage(u"caf\u00e9", 4, 1252));
  EXPECT_EQ(u"caf\u00e9", NACodePageToWide("caf\xe9", 4, 1252));
  EXPECT_EQ(u"", NACodePageToWide("", 0, 1252));
  EXPECT_EQ(u"-9223372036854775808", NAInt64ToText(INT64_MIN));
  EXPECT_EQ(u"42", NAInt64ToText(42));
}

}  // namespace
