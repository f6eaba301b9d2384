#include "driver/core/dual_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DualString, FormsAreMadeOnDemandAndChangesDropTheOther) {
  CDualString held_wide(CDualString::kUtf16, 1252);
  held_wide.AddW(u"SELECT \u00e9");
  const char* a = held_wide.pszGetA();
  EXPECT_EQ(std::string("SELECT \xe9"), a);
  EXPECT_EQ(a, held_wide.pszGetA());  // made once
  held_wide.AddInt(7, 3);
  held_wide.AddInt(-7, 3);
  EXPECT_EQ(u"SELECT \u00e9007-7", std::u16string(held_wide.pszGetW()));
  EXPECT_EQ(std::string("SELECT \xe9" "007-7"), held_wide.pszGetA());

  CDualString held_bytes(65001, 1252);
  held_bytes.nSetText("\xce\xa9", 2, 65001);  // kept as they are
  held_bytes.nSetText("\xe9", 1, 1252);       // converted to UTF-8
  EXPECT_EQ(std::string("\xce\xa9\xc3\xa9"), held_bytes.pszGetA());
  EXPECT_EQ(u"\u03a9\u00e9", std::u16string(held_bytes.pszGetW()));
  held_bytes.Truncate(99);
  EXPECT_EQ(4u, held_bytes.nGetLengthA());
  held_bytes.InsertW(u"'", 1);
  EXPECT_EQ(0, held_bytes.nFindQuote(0));
  EXPECT_EQ(-1, held_bytes.nFindQuote(1));
}

TEST(DualString, UnrepresentableCharactersMarkTheTextLossy) {
  CDualString s(CDualString::kUtf16, 1252);
  s.AddW(u"\u03a9");
  s.pszGetA();
  EXPECT_TRUE(s.bLossy());
  s.Clear();
  EXPECT_FALSE(s.bLossy());
}

TEST(DualString, GuidText) {
  uint8_t bytes[16];
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(i);
  char16_t text[37];
  FormatGuid(bytes, text);
  EXPECT_EQ(u"00010203-0405-0607-0809-0a0b0c0d0e0f", std::u16string(text));
  ASSERT_TRUE(NewUuid4(bytes));
  EXPECT_EQ(0x40, bytes[6] & 0xF0);
  EXPECT_EQ(0x80, bytes[8] & 0xC0);
}

}  // namespace
