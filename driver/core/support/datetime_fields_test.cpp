#include "driver/core/support/datetime_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

qg::AnyDateTime Date(int y, int m, int d) {
  qg::AnyDateTime dt{};
  dt.nYear = uint16_t(y);
  dt.nMonth = uint8_t(m);
  dt.nDay = uint8_t(d);
  return dt;
}

TEST(DateTimeFields, DaySettersClampToTheMonth) {
  qg::AnyDateTime dt = Date(2024, 2, 29);
  EXPECT_EQ(1, bNASetYear(dt, 2023));
  EXPECT_EQ(28, dt.nDay);
  dt = Date(1500, 2, 29);
  EXPECT_EQ(1, bNASetYear(dt, 1500));  // four-year rule before 1583
  EXPECT_EQ(29, dt.nDay);
  EXPECT_EQ(1, bNASetYear(dt, 1700));
  EXPECT_EQ(28, dt.nDay);
  dt = Date(2000, 1, 31);
  EXPECT_EQ(1, bNASetMonth(dt, 2));
  EXPECT_EQ(29, dt.nDay);  // 2000 is a leap year
  EXPECT_EQ(1, bNASetDay(dt, 31));
  EXPECT_EQ(29, dt.nDay);

  // Out of range: refused, value unchanged.
  const qg::AnyDateTime before = dt;
  EXPECT_EQ(0, bNASetYear(dt, 0));
  EXPECT_EQ(0, bNASetYear(dt, 10000));
  EXPECT_EQ(0, bNASetMonth(dt, 13));
  EXPECT_EQ(0, bNASetDay(dt, 32));
  EXPECT_EQ(0, bNASetDay(dt, 0));
  EXPECT_EQ(0, std::memcmp(&before, &dt, sizeof dt));

  // No clamping while a part is still unset.
  qg::AnyDateTime partial{};
  EXPECT_EQ(1, bNASetDay(partial, 31));
  EXPECT_EQ(1, bNASetMonth(partial, 2));
  EXPECT_EQ(31, partial.nDay);
}

TEST(DateTimeFields, TimeSettersReplaceOnePart) {
  qg::AnyDateTime dt{};
  EXPECT_EQ(1, bNASetHour(dt, 13));
  EXPECT_EQ(1, bNASetMinute(dt, 45));
  EXPECT_EQ(1, bNASetSecond(dt, 30));
  EXPECT_EQ(1, bNASetMillisecond(dt, 250));
  const uint32_t t = ((13 * 60 + 45) * 60 + 30) * 1000u + 250;
  EXPECT_EQ(t, dt.nMilliseconds);
  EXPECT_EQ(1, bNASetMinute(dt, 0));
  EXPECT_EQ(t - 45 * 60000u, dt.nMilliseconds);

  const uint32_t kept = dt.nMilliseconds;
  EXPECT_EQ(0, bNASetMillisecond(dt, 1000));
  EXPECT_EQ(0, bNASetHour(dt, 24));
  EXPECT_EQ(0, bNASetMinute(dt, -1));
  EXPECT_EQ(0, bNASetSecond(dt, 60));
  EXPECT_EQ(kept, dt.nMilliseconds);

  NASystemTime st = {2024, 2, 9, 29, 23, 59, 58, 999};
  qg::AnyDateTime all{};
  EXPECT_EQ(1, bNASetFromSystemTime(all, st));
  EXPECT_EQ(2024, all.nYear);
  EXPECT_EQ(2, all.nMonth);
  EXPECT_EQ(29, all.nDay);
  EXPECT_EQ(86398999u, all.nMilliseconds);
  st.wMilliseconds = 1000;
  EXPECT_EQ(0, bNASetFromSystemTime(all, st));
}

TEST(DateTimeFields, DigitTexts) {
  qg::AnyDateTime dt = Date(999, 7, 4);
  dt.nMilliseconds = 3723004;  // 01:02:03.004
  char16_t w[32];
  EXPECT_EQ(8u, NAWriteDateDigits(dt, w, sizeof w / 2));
  EXPECT_EQ(std::u16string(u"09990704"), w);
  EXPECT_EQ(5u, NAWriteDateDigits(dt, w, 6));  // stops where the buffer ends
  EXPECT_EQ(std::u16string(u"09990"), w);
  EXPECT_EQ(0u, NAWriteDateDigits(dt, w, 1));
  EXPECT_EQ(std::u16string(u""), w);
  EXPECT_EQ(9u, NAWriteTimeDigits(dt, w, 32));
  EXPECT_EQ(std::u16string(u"010203004"), w);
  char a[10];
  EXPECT_EQ(9u, NAWriteTimeDigits(dt, a, sizeof a));
  EXPECT_STREQ("010203004", a);

  dt.nYear = 12345;  // clamped to four digits
  NAWriteDateDigits(dt, w, 32);
  EXPECT_EQ(std::u16string(u"99990704"), w);
}

TEST(DateTimeFields, DigitFields) {
  struct Case { const char* text; int start, count; bool tolerant; int value; };
  const Case cases[] = {
      {"20240229", 0, 4, false, 2024},
      {"20240229", 4, 2, false, 2},
      {"ab12", 2, 3, true, 120},   // two of three characters: scaled by 10
      {"ab12", 2, 3, false, 0},
      {"ab12", 4, 2, true, 0},     // start at the end: nothing to read
      {"", 0, 2, true, 0},
      {"1x3", 0, 3, false, 1},     // stops at the first non-digit
      // Past the int range the reader stops at INT_MAX, scaled or not.
      {"2147483647", 0, 10, false, 2147483647},
      {"67000000099", 0, 11, false, 2147483647},
      {"x670000000", 1, 10, true, 2147483647},
      {"12", 0, 2147483647, true, 2147483647},
      {"12", 1, 2147483647, true, 0},  // a field end past the int range
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value, nNAReadDigitField(c.text, c.start, c.count, c.tolerant)) << c.text;
    std::u16string wide(c.text, c.text + std::strlen(c.text));
    EXPECT_EQ(c.value, nNAReadDigitField(wide.c_str(), c.start, c.count, c.tolerant)) << c.text;
  }
  EXPECT_EQ(0, nNAReadDigitField(static_cast<const char*>(nullptr), 0, 2, true));
}

}  // namespace
