#include "driver/sql/oversized_type.h"

#include <gtest/gtest.h>

namespace {

TEST(OversizedType, Rewrites) {
  struct Case {
    const char16_t* text;
    const char16_t* type;
    int64_t limit;
    bool replaced;
    const char16_t* out;
  } cases[] = {
      {u"CREATE TABLE t( a VARCHAR(300), b VARCHAR(10) )", u"VARCHAR", 255, true,
       u"CREATE TABLE t( a LONGTEXT, b VARCHAR(10) )"},
      // A size equal to the limit stays.
      {u"a VARCHAR(255)", u"VARCHAR", 255, false, u"untouched"},
      {u"a VARCHAR(256) b VARCHAR(9999999999999999999999)", u"VARCHAR", 255, true,
       u"a LONGTEXT b LONGTEXT"},
      // Another type whose name ends like this one is left alone.
      {u"a NVARCHAR(900)", u"VARCHAR", 255, false, u"untouched"},
      {u"a NVARCHAR(900)", u"NVARCHAR", 255, true, u"a LONGTEXT"},
      {u"a VARCHAR()", u"VARCHAR", 255, false, u"untouched"},
      {u"a VARCHAR(900", u"VARCHAR", 255, false, u"untouched"},
  };
  for (const Case& c : cases) {
    std::u16string out = u"untouched";
    EXPECT_EQ(c.replaced, NAReplaceOversizedType(c.text, c.type, c.limit, u"LONGTEXT", &out));
    EXPECT_EQ(std::u16string(c.out), out);
  }
}

}  // namespace
