#include "driver/sql/filter_rules.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstring>
#include <string>

#include "support/any_test_fixture.h"

namespace {

class FilterRules : public qg::AnyHostTest {};

std::u16string Text(const CAny& v) {
  const char16_t* t = nullptr;
  if (v.pclHolder()->vnGetTexteW(&t) != 0 || t == nullptr) return u"<none>";
  return t;
}

CAny W(const char16_t* s) {
  CAny v;
  v.SetDSTRW(s);
  return v;
}
CAny A(const char* s) {
  CAny v;
  v.SetDSTRA(s);
  return v;
}
CAny B(bool b) {
  CAny v;
  v.SetBOOL(b ? 1 : 0);
  return v;
}
CAny Null() {
  CAny v;
  v.SetDSTRW(u"x");
  v.SetNull(true);
  return v;
}

TEST_F(FilterRules, OperatorTextsAndCompareCodes) {
  struct Case { int op; const char16_t* text; int code; };
  const Case cases[] = {
      {1, u" OR ", -1}, {2, u" AND ", -1}, {3, u" NOT ", -1}, {4, u"=", 9},
      {5, u">", 13},    {6, u"<", 11},     {7, u">=", 14},    {8, u"<=", 12},
      {9, u"", -1},     {10, u"0=1", -1},  {11, u"1=1", -1},  {12, u"<>", 10},
      {13, u" IS NULL", 33}, {14, u" IS NOT NULL", -1}, {0, u"", -1}, {15, u"", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::u16string(pszFilterOperatorText(c.op)), c.text) << c.op;
    EXPECT_EQ(nFilterOperatorToCompareCode(c.op), c.code) << c.op;
  }
  EXPECT_EQ(nReverseFilterOperator(5), 6);
  EXPECT_EQ(nReverseFilterOperator(8), 7);
  EXPECT_EQ(nReverseFilterOperator(4), 4);
  EXPECT_EQ(nOuterDirectionOperator(8), 6);
  EXPECT_EQ(nOuterDirectionOperator(7), 5);
  EXPECT_EQ(nOuterDirectionOperator(5), 5);
}

TEST_F(FilterRules, BooleanLeavesFold) {
  struct Case { int op; bool value; int expected; };
  const Case cases[] = {
      {5, true, 10}, {5, false, 12}, {6, true, 12}, {6, false, 10},
      {7, true, 4},  {7, false, 11}, {8, true, 11}, {8, false, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(nNormaliseLeafOperator(c.op, qg::kAnyBOOL, B(c.value), true), c.expected)
        << c.op << " " << c.value;
  }
  EXPECT_EQ(nNormaliseLeafOperator(4, qg::kAnyBOOL, B(true), true), 4);
}

TEST_F(FilterRules, TextAndNullLeavesFold) {
  // ">=" an empty text holds every row.
  EXPECT_EQ(nNormaliseLeafOperator(7, 16, W(u""), true), 11);
  EXPECT_EQ(nNormaliseLeafOperator(7, 16, W(u"a"), true), 7);
  // "<=" folds only when every character is the highest one.
  EXPECT_EQ(nNormaliseLeafOperator(8, 16, W(u"\xFFFF\xFFFF"), true), 11);
  EXPECT_EQ(nNormaliseLeafOperator(8, 16, W(u"\xFFFF" u"a"), true), 8);
  EXPECT_EQ(nNormaliseLeafOperator(8, 19, A("\xFF\xFF"), true), 11);
  EXPECT_EQ(nNormaliseLeafOperator(8, 19, A("\xFF" "a"), true), 8);  // "ÿa" keeps its bound
  // Null values, by where nulls sort.
  EXPECT_EQ(nNormaliseLeafOperator(7, 8, Null(), true), 11);
  EXPECT_EQ(nNormaliseLeafOperator(8, 8, Null(), true), 8);
  EXPECT_EQ(nNormaliseLeafOperator(8, 8, Null(), false), 11);
  EXPECT_EQ(nNormaliseLeafOperator(7, 8, Null(), false), 7);
  EXPECT_EQ(nNormaliseLeafOperator(4, 16, Null(), true), 4);
}

TEST_F(FilterRules, NullLeaves) {
  struct Case { int op; bool null_first; NANullLeaf form; int flag; };
  const Case cases[] = {
      {4, true, NANullLeaf::kIsNull, 1},      {13, false, NANullLeaf::kIsNull, 1},
      {5, false, NANullLeaf::kFalse, -1},     {5, true, NANullLeaf::kIsNotNull, 0},
      {6, true, NANullLeaf::kFalse, -1},      {6, false, NANullLeaf::kIsNotNull, 0},
      {7, true, NANullLeaf::kTrue, -1},       {7, false, NANullLeaf::kIsNull, 1},
      {8, false, NANullLeaf::kTrue, -1},      {8, true, NANullLeaf::kIsNull, 1},
      {12, true, NANullLeaf::kIsNotNull, 0},  {14, false, NANullLeaf::kIsNotNull, 0},
  };
  for (const Case& c : cases) {
    const NANullLeafForm f = NullLeafForm(c.op, c.null_first);
    EXPECT_EQ(f.form, c.form) << c.op << " " << c.null_first;
    EXPECT_EQ(f.null_flag, c.flag) << c.op << " " << c.null_first;
  }
}

TEST_F(FilterRules, LikePatternsMatchEveryCharacterItself) {
  EXPECT_EQ(MakeLikePattern(u"abc", false), u"abc");
  EXPECT_EQ(MakeLikePattern(u"abc", true), u"abc%");
  EXPECT_EQ(MakeLikePattern(u"", true), u"%");
  EXPECT_EQ(MakeLikePattern(u"a%b_c", false), u"a\\%b\\_c");
  // A trailing backslash must not escape the appended '%'.
  EXPECT_EQ(MakeLikePattern(u"a\\", true), u"a\\\\%");
  EXPECT_EQ(MakeLikePattern(u"\\%\\_\\\\", false), u"\\\\\\%\\\\\\_\\\\\\\\");
  EXPECT_EQ(MakeLikePattern(u"'\x65E5\x672C", false), u"'\x65E5\x672C");
  EXPECT_EQ(MakeLikePattern(nullptr, false), u"");
}

TEST_F(FilterRules, PartialDateRanges) {
  struct Case {
    int column_type;
    const char16_t* text;
    NAPartialRange::Form form;
    const char16_t* low;
    const char16_t* high;
  };
  const Case cases[] = {
      {14, u"", NAPartialRange::kPlain, nullptr, nullptr},
      {14, u"20240229", NAPartialRange::kPlain, nullptr, nullptr},
      {14, u"2024x", NAPartialRange::kPlain, nullptr, nullptr},
      {14, u"202412", NAPartialRange::kRange, u"20241201", u"20250101"},
      {14, u"202402", NAPartialRange::kRange, u"20240201", u"20240301"},
      {14, u"2024", NAPartialRange::kRange, u"20240101", u"20250101"},
      {14, u"2024022", NAPartialRange::kRange, u"20240220", u"20240301"},
      {14, u"9999", NAPartialRange::kLowOnly, u"99990101", nullptr},
      {11, u"12", NAPartialRange::kRange, u"120000000", u"130000000"},
      {11, u"2359", NAPartialRange::kLowOnly, u"235900000", nullptr},  // nothing after 23:59
  };
  for (const Case& c : cases) {
    const NAPartialRange r = PartialDateRange(c.column_type, c.text, 9);
    EXPECT_EQ(r.form, c.form) << static_cast<const void*>(c.text);
    if (c.low != nullptr) {
      EXPECT_EQ(Text(r.low), c.low);
    }
    if (c.high != nullptr && c.form == NAPartialRange::kRange) {
      EXPECT_EQ(Text(r.high), c.high);
    }
  }
  // Date-time: a day prefix ranges over that day.
  const NAPartialRange dt = PartialDateRange(24, u"20241231", 0);
  ASSERT_EQ(dt.form, NAPartialRange::kRange);
  EXPECT_EQ(dt.low.nGetCode(), qg::kAnyDATETIME);
  qg::AnyDateTime low{}, high{};
  ASSERT_EQ(dt.low.nGetDATETIME(&low), 0);
  ASSERT_EQ(dt.high.nGetDATETIME(&high), 0);
  EXPECT_NE(std::memcmp(&low, &high, sizeof low), 0);
}

TEST_F(FilterRules, LowestAndHighestValues) {
  const int types[] = {qg::kAnyBOOL, qg::kAnyUI1, qg::kAnyUI2, qg::kAnyUI4, qg::kAnyUI8,
                       qg::kAnyI1,   qg::kAnyI2,  qg::kAnyI4,  qg::kAnyI8,  qg::kAnyR4,
                       qg::kAnyR8,   qg::kAnyCY,  16,          19};
  for (int t : types) {
    CAny v;
    ASSERT_TRUE(bSetLowestValue(v, t)) << t;
    EXPECT_TRUE(bIsLowestValue(v)) << t;
    CAny h;
    if (bSetHighestValue(h, t)) {
      EXPECT_FALSE(bIsLowestValue(h)) << t;
    }
  }
  CAny v;
  v.SetI4(INT32_MIN + 1);
  EXPECT_FALSE(bIsLowestValue(v));
  v.SetR8(-DBL_MAX);
  EXPECT_TRUE(bIsLowestValue(v));
  EXPECT_FALSE(bIsLowestValue(Null()));
  EXPECT_FALSE(bSetLowestValue(v, qg::kAnyBIN));
}

TEST_F(FilterRules, NullInclusiveLeaves) {
  NANullInclusiveQuery q;
  q.column_accepts_null = true;
  q.null_first = true;
  q.op = 8;
  EXPECT_TRUE(bIsNullInclusive(q));
  q.op = 6;
  EXPECT_TRUE(bIsNullInclusive(q));
  q.value_is_lowest = true;  // "<" the lowest value: only the nulls would pass
  EXPECT_FALSE(bIsNullInclusive(q));
  q.op = 5;
  EXPECT_FALSE(bIsNullInclusive(q));
  q.null_first = false;
  EXPECT_TRUE(bIsNullInclusive(q));
  q.column_accepts_null = false;
  EXPECT_FALSE(bIsNullInclusive(q));
  // A lower bound at the lowest value takes the nulls whatever the column.
  q.op = 7;
  q.flags = kNAFilterLowBound;
  EXPECT_TRUE(bIsNullInclusive(q));
  q.dbms_kind = 11;
  q.column_nullable = false;
  EXPECT_FALSE(bIsNullInclusive(q));
}

TEST_F(FilterRules, KeyRangeOperators) {
  struct Case {
    bool low, high, equal, low_inc, high_inc, exact, desc;
    int low_op, high_op;
    bool swapped;
  };
  const Case cases[] = {
      {true, true, false, true, false, false, false, 7, 6, false},
      {true, true, false, false, true, false, false, 5, 8, false},
      {true, true, true, true, true, false, false, 4, 0, false},   // equal bounds
      {true, true, true, true, true, true, false, 7, 8, false},    // exact keeps both
      {true, false, false, true, true, true, false, 4, 0, false},  // exact, low only
      {true, false, false, false, true, false, false, 5, 0, false},
      {false, true, false, true, false, false, false, 0, 6, false},
      {false, false, false, true, true, false, false, 0, 0, false},
      // Descending: bounds and their inclusiveness change places.
      {true, true, false, true, false, false, true, 5, 8, true},
  };
  for (const Case& c : cases) {
    const NAKeyRangeOperators r =
        ChooseKeyRangeOperators(c.low, c.high, c.equal, c.low_inc, c.high_inc, c.exact, c.desc);
    EXPECT_EQ(r.low_op, c.low_op);
    EXPECT_EQ(r.high_op, c.high_op);
    EXPECT_EQ(r.swapped, c.swapped);
  }
}

}  // namespace
