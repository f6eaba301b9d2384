#include "driver/core/support/datetime_tm.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Str(const std::u16string& s) { return std::string(s.begin(), s.end()); }

TEST(DateTimeTm, ParsesPartialAndFullTexts) {
  CDateTimeTm tm;
  ASSERT_TRUE(tm.bParseDate(u"2023"));
  EXPECT_EQ("20230101000000000", Str(tm.FormatDateTime()));
  EXPECT_EQ(-1, tm.m_nWeekDay);

  ASSERT_TRUE(tm.bParseDate(u"20230615134501250"));
  const std::u16string joined = tm.FormatDateTime();
  EXPECT_EQ("20230615134501250", Str(joined));
  ASSERT_TRUE(tm.bParseDate(u"20230615 134501250"));
  EXPECT_EQ(joined, tm.FormatDateTime());

  ASSERT_TRUE(tm.bParseDate(u"2023061"));  // missing digits read as '0'
  EXPECT_EQ("20230610", Str(tm.FormatDate()));
  ASSERT_TRUE(tm.bParseDate(u""));
  EXPECT_EQ("00000101", Str(tm.FormatDate()));
  EXPECT_FALSE(tm.bParseDate(u"20x3"));

  ASSERT_TRUE(tm.bParseTime(u"0930"));
  EXPECT_EQ("093000000", Str(tm.FormatTime()));
  EXPECT_TRUE(tm.bIsValid());
  tm.m_nMonth = 12;
  EXPECT_FALSE(tm.bIsValid());
}

TEST(DateTimeTm, YearAlwaysFourDigits) {
  CDateTimeTm tm;
  tm.bParseDate(u"09990304");
  EXPECT_EQ("09990304", Str(tm.FormatDate()));
  tm.bParseDate(u"9999123123595999");
  EXPECT_EQ("99991231235959990", Str(tm.FormatDateTime()));
  tm.m_nYear = 10000 - 1900;
  EXPECT_EQ("", Str(tm.FormatDate()));
}

TEST(DateTimeTm, UpperBounds) {
  struct Case { const char16_t* text; const char* bound; };
  const Case cases[] = {
      {u"2023", "20240101000000000"},
      {u"2", "30000101000000000"},
      {u"19", "20000101000000000"},
      {u"202312", "20240101000000000"},
      {u"202309", "20231001000000000"},
      {u"20230", "20231001000000000"},
      {u"202301", "20230201000000000"},
      {u"20231", "20240101000000000"},
      {u"2023013", "20230201000000000"},
      {u"20230131", "20230201000000000"},
      {u"20240228", "20240229000000000"},
      {u"20230228", "20230301000000000"},
      {u"2023022", "20230301000000000"},  // no day 30 in February
      {u"20230619", "20230620000000000"},
      {u"2023061505", "20230615060000000"},
      {u"2023061509", "20230615100000000"},
      {u"2023061523", "20230616000000000"},
      {u"2023123123", "20240101000000000"},
      {u"20230615 23", "20230616000000000"},
      {u"202306151259", "20230615130000000"},
      {u"20230615125959999", "20230615130000000"},
      {u"20230615125959998", "20230615125959999"},
  };
  for (const Case& c : cases) {
    CDateTimeTm tm;
    ASSERT_TRUE(tm.bParseDateUpperBound(c.text)) << Str(c.text);
    EXPECT_EQ(c.bound, Str(tm.FormatDateTime())) << Str(c.text);
  }
  const char16_t* failing[] = {u"9999", u"99991231235959999", u"", u"202313",
                               u"202331", u"2023061524", u"123456789012345678", u"2a"};
  for (const char16_t* text : failing) {
    CDateTimeTm tm;
    EXPECT_FALSE(tm.bParseDateUpperBound(text)) << Str(text);
  }
}

TEST(DateTimeTm, TimeUpperBounds) {
  struct Case { const char16_t* text; const char* bound; };
  const Case cases[] = {
      {u"1", "200000000"},  {u"0", "100000000"},  {u"05", "060000000"},
      {u"19", "200000000"}, {u"125", "130000000"}, {u"235959998", "235959999"},
  };
  for (const Case& c : cases) {
    CDateTimeTm tm;
    ASSERT_TRUE(tm.bParseTimeUpperBound(c.text)) << Str(c.text);
    EXPECT_EQ(c.bound, Str(tm.FormatTime())) << Str(c.text);
  }
  CDateTimeTm tm;
  EXPECT_FALSE(tm.bParseTimeUpperBound(u"23"));
  EXPECT_FALSE(tm.bParseTimeUpperBound(u"2"));
  EXPECT_FALSE(tm.bParseTimeUpperBound(u"235959999"));
  EXPECT_FALSE(tm.bParseTimeUpperBound(u"0000000000"));
}

TEST(DateTimeTm, DaysInMonthAndHostValue) {
  EXPECT_EQ(29, CDateTimeTm::nDaysInMonth(u"202402"));
  EXPECT_EQ(28, CDateTimeTm::nDaysInMonth(u"202302"));
  EXPECT_EQ(28, CDateTimeTm::nDaysInMonth(u"190002"));
  EXPECT_EQ(29, CDateTimeTm::nDaysInMonth(u"200002"));
  EXPECT_EQ(-1, CDateTimeTm::nDaysInMonth(u"202313"));
  EXPECT_EQ(31, CDateTimeTm::nDaysInMonth(u"202300"));  // month 00 counts as January
  EXPECT_EQ(31, CDateTimeTm::nDaysInMonth(u"2023"));

  CDateTimeTm tm;
  tm.bParseDate(u"20240229 235958999");
  qg::AnyDateTime value{};
  EXPECT_EQ(1, tm.ToHostDateTime(value));
  EXPECT_EQ(2024, value.nYear);
  EXPECT_EQ(2, value.nMonth);
  EXPECT_EQ(29, value.nDay);
  EXPECT_EQ(86398999u, value.nMilliseconds);

  // The value form: any value becomes a non-null DATETIME.
  CAny any;
  any.SetI4(7);
  any.SetNull(true);
  EXPECT_EQ(1, tm.ToHostDateTime(any));
  EXPECT_EQ(qg::kAnyDATETIME, any.GetType());
  qg::AnyDateTime read{};
  ASSERT_EQ(0, any.nGetDATETIME(&read));
  EXPECT_EQ(0, std::memcmp(&read, &value, sizeof(read)));
}

}  // namespace
