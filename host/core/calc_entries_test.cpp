#include "host/core/calc_entries.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"
#include "support/xystring.h"

namespace qghost {
namespace {

constexpr int32_t kNull = 0x100;

class CalcEntriesTest : public ::testing::Test {
 protected:
  void SetUp() override { Runtime().Reset(); }
  void TearDown() override {
    EXPECT_EQ(Runtime().Strings().nLiveStrings(), 0);
    EXPECT_EQ(Runtime().Strings().nFaults(), 0);
  }

  // A host string holding `text` (count 1); released with FinConversion.
  char16_t* HostText(const std::u16string& text) {
    char16_t* out = nullptr;
    const char16_t* source = text.c_str();
    EXPECT_EQ(ConversionDepassementExt(&source, 110, &out, 16, 1, 0), 0);
    return out;
  }

  int32_t Compare(const void* a, int32_t ta, const void* b, int32_t tb, int32_t* result) {
    return CalcEntry(qg::kCalcComparaison, a, ta, b, tb, result);
  }
};

TEST_F(CalcEntriesTest, ComparesBasicTypes) {
  int32_t i4_a = -5, i4_b = 7, boolean = 1;
  uint64_t ui8_big = 0xFFFFFFFFFFFFFFFFull;
  int64_t i8_neg = -1;
  double r8 = 7.0;
  float r4 = -5.5f;
  uint8_t ui1 = 200;
  int16_t i2 = 200;
  char16_t carw = u'b';
  const char16_t* pstrw_a = u"abc";
  const char16_t* pstrw_b = u"abd";
  const char* pstra = "abc";
  const struct {
    const void* a;
    int32_t ta;
    const void* b;
    int32_t tb;
    int32_t order;
  } cases[] = {
      {&i4_a, 8, &i4_b, 8, -1},
      {&i4_b, 8, &r8, 12, 0},        // 7 == 7.0
      {&r4, 11, &i4_a, 8, -1},       // -5.5 < -5
      {&ui8_big, 5, &i8_neg, 9, 1},  // unsigned max above -1, no wrap
      {&ui1, 2, &i2, 7, 0},
      {&boolean, 1, &i4_b, 8, -1},
      {&pstrw_a, 110, &pstrw_b, 110, -1},
      {&pstra, 18, &pstrw_a, 110, 0},
      {&carw, 81, &pstrw_a, 110, 1},  // "b" > "abc"
      {&i4_a, 8 | kNull, &i4_b, 8, -1},
      {&i4_a, 8 | kNull, &pstrw_a, 110 | kNull, 0},
      {&i4_b, 8, nullptr, 8 | kNull, 1},
  };
  for (const auto& c : cases) {
    int32_t result = 99;
    ASSERT_EQ(Compare(c.a, c.ta, c.b, c.tb, &result), 0) << c.ta << " " << c.tb;
    EXPECT_EQ(result, c.order) << c.ta << " " << c.tb;
    int32_t equal = 99;
    ASSERT_EQ(CalcEntry(qg::kCalcEgalite, c.a, c.ta, c.b, c.tb, &equal), 0);
    EXPECT_EQ(equal, c.order == 0 ? 1 : 0);
  }
}

TEST_F(CalcEntriesTest, ComparesDynamicStringsAndRefusesMixedPairs) {
  char16_t* a = HostText(u"same");
  char16_t* b = HostText(u"same");
  int32_t result = 99;
  EXPECT_EQ(CalcEntry(qg::kCalcEgalite, &a, 16, &b, 16, &result), 0);
  EXPECT_EQ(result, 1);

  int32_t number = 4;
  EXPECT_EQ(Compare(&a, 16, &number, 8, &result), kStatusUnsupported);
  EXPECT_EQ(CalcEntry(qg::kCalcCanCompare, &a, 16, &number, 8, &result), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(CalcEntry(qg::kCalcCanCompare, &a, 16, &b, 16, &result), 0);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(CalcEntry(qg::kCalcAddition, &number, 8, &number, 8, &result), kStatusUnsupported);
  EXPECT_EQ(Runtime().nCalcCalls(qg::kCalcEgalite), 1);
  FinConversion(&a, 16);
  FinConversion(&b, 16);
  EXPECT_EQ(a, nullptr);
}

TEST_F(CalcEntriesTest, ConvertsNumbersToTextAndBack) {
  const struct {
    int64_t value;
    int32_t type;
    const char16_t* text;
  } cases[] = {{-42, 8, u"-42"}, {0, 8, u"0"}, {9000000000LL, 9, u"9000000000"}};
  for (const auto& c : cases) {
    char16_t* text = nullptr;
    ASSERT_EQ(ConversionDepassementExt(&c.value, c.type, &text, 16, 1, 0), 0);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text), c.text);
    EXPECT_EQ(qg::XYHeaderOf(text)->nLength, static_cast<int32_t>(2 * std::u16string(c.text).size()));
    int64_t back = 1;
    ASSERT_EQ(ConversionDepassementExt(&text, 16, &back, 9, 1, 0), 0);
    EXPECT_EQ(back, c.value);
    FinConversion(&text, 16);
  }
  double real = 2.5;
  char16_t* text = nullptr;
  ASSERT_EQ(ConversionDepassementExt(&real, 12, &text, 16, 1, 0), 0);
  EXPECT_EQ(std::u16string(text), u"2.5");
  double back = 0;
  ASSERT_EQ(ConversionDepassementExt(&text, 16, &back, 12, 1, 0), 0);
  EXPECT_EQ(back, 2.5);
  FinConversion(&text, 16);
}

TEST_F(CalcEntriesTest, ConversionPassesHostAllocationFailureOn) {
  Runtime().Strings().FailNthAllocation(1, 123);
  int32_t value = 5;
  char16_t* text = nullptr;
  EXPECT_EQ(ConversionDepassementExt(&value, 8, &text, 16, 1, 0), 123);
  EXPECT_EQ(text, nullptr);
  double real = 1.5;
  EXPECT_EQ(ConversionDepassementExt(&real, 12, &text, 24, 1, 0), kStatusUnsupported);
}

}  // namespace
}  // namespace qghost
