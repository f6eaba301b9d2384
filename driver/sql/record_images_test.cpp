#include "driver/sql/record_images.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/sql/column.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/sql_scan.h"
#include "driver/sql/value_converter.h"
#include "support/any_test_fixture.h"

namespace {

class RecordImages : public qg::AnyHostTest {};

TEST_F(RecordImages, ValueAndRowImagesRoundTrip) {
  CNAValueConverter* value = NAAddRef(new CNAValueConverter());
  ASSERT_TRUE(value->bSetType(qg::kAnyI4, 4));
  CAny v;
  v.SetI4(0x01020304);
  ASSERT_TRUE(value->bSetValue(v, nullptr));
  ASSERT_EQ(4u, nNAValueImageSize(value));
  std::vector<uint8_t> image(4);
  NAWriteValueImage(value, image.data());
  EXPECT_EQ((std::vector<uint8_t>{4, 3, 2, 1}), image);
  CNAValueConverter* other = NAAddRef(new CNAValueConverter());
  ASSERT_TRUE(other->bSetType(qg::kAnyI4, 4));
  ASSERT_TRUE(bNAReadValueImage(other, image.data(), image.size()));
  EXPECT_TRUE(other->bEquals(*value));
  EXPECT_EQ(0u, nNAValueImageSize(nullptr));
  ReleaseBoth(other);
  ReleaseBoth(value);

  CNARowLayout layout;
  CNAColumn* c = NAAddRef(new CNAColumn());
  c->Init(u"c", u"t", nullptr, 1, 4, 5, 0, -1, 0, 0, 0);
  c->SetRecordOffset(0);
  c->SetSlotIndex(0);
  layout.nDataSize = 4;
  layout.nNullBits = 1;
  layout.apColumns.push_back(c);
  CNARowBuffer* row = NAAddRef(new CNARowBuffer());
  ASSERT_TRUE(row->bBind(layout));
  ASSERT_TRUE(row->bSetValue(0, v, 0));
  ASSERT_EQ(5u, nNARowImageSize(row));  // the bitmap byte and the data
  std::vector<uint8_t> block(5);
  NAWriteRowImage(row, block.data());
  CNARowBuffer* copy = NAAddRef(new CNARowBuffer());
  ASSERT_TRUE(copy->bBind(layout));
  EXPECT_FALSE(bNAReadRowImage(copy, block.data(), 4));
  ASSERT_TRUE(bNAReadRowImage(copy, block.data(), 5));
  EXPECT_TRUE(copy->bEqualValues(*row));
  ReleaseBoth(copy);
  ReleaseBoth(row);
  ReleaseBoth(c);
}

TEST(SqlScan, SkipsBlanksAndLineComments) {
  struct Case {
    const char16_t* text;
    const char16_t* rest;
  } cases[] = {
      {u"SELECT 1", u"SELECT 1"},
      {u" \t\r\n SELECT", u"SELECT"},
      {u"-- note\n  -- more\r\nUPDATE t", u"UPDATE t"},
      {u"-- only a comment", u""},
      {u"- 1", u"- 1"},
      {u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::u16string(c.rest), pszNASkipStatementPreamble(c.text));
  }
  EXPECT_EQ(nullptr, pszNASkipStatementPreamble(nullptr));
}

}  // namespace
