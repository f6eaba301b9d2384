#include "driver/sql/row_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "driver/core/copy_context.h"
#include "driver/sql/column.h"
#include "driver/sql/column_converter.h"
#include "driver/core/error_status.h"
#include "support/any_test_fixture.h"

namespace {

class RowBuffer : public qg::AnyHostTest {
 protected:
  // A column of `type` and `size` at the end of the layout; `null_bit` -1
  // for a column without one.
  CNAColumn* Add(int type, int size, int null_bit) {
    CNAColumn* c = NAAddRef(new CNAColumn());
    c->Init(u"c", u"t", nullptr, 1, size, type, 0, -1, 0, 0, 0);
    c->SetRecordOffset(static_cast<int>(layout_.nDataSize));
    c->SetSlotIndex(null_bit);
    layout_.nDataSize += static_cast<uint32_t>(c->nGetTotalSize());
    if (null_bit >= 0) ++layout_.nNullBits;
    layout_.apColumns.push_back(c);
    return c;
  }
  CNARowBuffer* Bind() {
    CNARowBuffer* row = NAAddRef(new CNARowBuffer());
    EXPECT_TRUE(row->bBind(layout_));
    rows_.push_back(row);
    return row;
  }
  void TearDown() override {
    for (CNARowBuffer* r : rows_) ReleaseBoth(r);
    for (CNAColumn* c : layout_.apColumns) ReleaseBoth(c);
    AnyHostTest::TearDown();
  }
  CNARowLayout layout_;
  std::vector<CNARowBuffer*> rows_;
};

TEST_F(RowBuffer, NullBitmapLayout) {
  for (int i = 0; i < 9; ++i) Add(5, 4, i);
  CNARowBuffer* row = Bind();
  EXPECT_EQ(2u, row->nGetBitmapSize());
  EXPECT_EQ(36u + 2, row->nGetImageSize());
  CAny v;
  v.SetI4(7);
  ASSERT_TRUE(row->bSetValue(8, v, 0));
  EXPECT_EQ(0x80, row->pGetBlock()[1]);  // column 8: bit 7 of byte 1
  EXPECT_TRUE(row->bIsPresent(8));
  EXPECT_FALSE(row->bIsPresent(0));
  CAny out;
  ASSERT_TRUE(row->bGetValue(out, 8, 0));
  int32_t i = 0;
  EXPECT_EQ(0, out.nGetI4(&i));
  EXPECT_EQ(7, i);
  ASSERT_TRUE(row->bGetValue(out, 0, 0));
  EXPECT_TRUE(out.bEstNull());
}

TEST_F(RowBuffer, ColumnsWithoutNullBitLeaveTheDataAlone) {
  Add(5, 4, -1);
  Add(5, 4, -1);
  CNARowBuffer* row = Bind();
  EXPECT_EQ(0u, row->nGetBitmapSize());  // the data starts at the block
  CAny v;
  v.SetI4(0x01020304);
  ASSERT_TRUE(row->bSetValue(0, v, 0));
  row->SetPresent(1, true, 0);
  row->SetPresent(0, true, 0);
  EXPECT_EQ(0x04, row->pGetBlock()[0]);  // no bitmap write ran over the data
  EXPECT_TRUE(row->bIsPresent(0));
}

TEST_F(RowBuffer, StorageRulesAndImages) {
  Add(23, 8, 0);   // variable binary
  Add(2, 6, 1);    // 8-bit text
  Add(29, 6, 2);   // UTF-16 text
  CNARowBuffer* row = Bind();
  ASSERT_TRUE(row->bSetBytes(0, "0123456789", 10, 0));
  uint16_t length = 0;
  std::memcpy(&length, row->pGetColumnData(0, 0), 2);
  EXPECT_EQ(6, length);
  CAny v;
  ASSERT_TRUE(row->bGetValue(v, 0, 0));
  CXYString<char> bin;
  ASSERT_EQ(0, v.nGetBIN(&bin));
  EXPECT_EQ(6, bin.nTaille());

  v.SetPSTRW(u"abcdefgh");  // converted to 8-bit text, cut to the size
  ASSERT_TRUE(row->bSetValue(1, v, 0));
  EXPECT_EQ(0, std::memcmp(row->pGetColumnData(1, 0), "abcdef", 6));
  v.SetPSTRW(u"xyz");
  ASSERT_TRUE(row->bSetValue(2, v, 0));
  ASSERT_TRUE(row->bGetValue(v, 2, 0));
  CXYString<char16_t> text;
  ASSERT_EQ(0, v.nGetDSTRW(&text));
  EXPECT_EQ(std::u16string(u"xy"), text.pszGet());  // 6 bytes: two units and the end

  // Whole-block images, a duplicate, equality; LoadImage copies at most the
  // data and marks every column present.
  std::vector<uint8_t> image(row->nGetImageSize());
  row->WriteImage(image.data());
  CNARowBuffer* copy = row->pclDuplicate();
  ASSERT_NE(nullptr, copy);
  NAAddRef(copy);
  rows_.push_back(copy);
  EXPECT_TRUE(copy->bEqualValues(*row));
  copy->SetPresent(1, false, 0);
  EXPECT_FALSE(copy->bEqualValues(*row));
  EXPECT_FALSE(copy->bReadImage(image.data(), image.size() - 1));
  ASSERT_TRUE(copy->bReadImage(image.data(), image.size()));
  EXPECT_TRUE(copy->bEqualValues(*row));
  std::vector<uint8_t> big(100, 'q');
  copy->SetPresent(0, false, 0);
  copy->LoadImage(big.data(), big.size());
  for (int c = 0; c < 3; ++c) EXPECT_TRUE(copy->bIsPresent(c)) << c;
}

// A column's bytes and presence go to another buffer of the layout, one
// element or the whole area; the other columns stay.
TEST_F(RowBuffer, CopiesOneColumnIntoAnotherBuffer) {
  Add(5, 4, 0);
  CNAColumn* text = Add(19, 6, 1);
  Add(5, 4, -1);
  CNARowBuffer* from = Bind();
  CNARowBuffer* to = Bind();
  CAny v;
  v.SetI4(41);
  ASSERT_TRUE(from->bSetValue(0, v, 0));
  ASSERT_TRUE(to->bSetValue(0, v, 0));
  v.SetPSTRA("abc");
  ASSERT_TRUE(to->bSetValue(1, v, 0));
  v.SetI4(9);
  ASSERT_TRUE(from->bSetValue(2, v, 0));

  // An absent column copies as absent and clears what was there.
  ASSERT_TRUE(from->bCopyColumnData(to, 1, -1));
  EXPECT_FALSE(to->bIsPresent(1));
  EXPECT_EQ(0, std::memcmp(from->pGetColumnData(1, -1), to->pGetColumnData(1, -1), 6));
  ASSERT_TRUE(from->bCopyColumnData(to, 2, 0));
  CAny out;
  ASSERT_TRUE(to->bGetValue(out, 2, 0));
  int32_t i = 0;
  EXPECT_EQ(0, out.nGetI4(&i));
  EXPECT_EQ(9, i);
  EXPECT_TRUE(to->bIsPresent(0));

  // Unknown columns and buffers of another layout are refused.
  EXPECT_FALSE(from->bCopyColumnData(to, 3, 0));
  EXPECT_FALSE(from->bCopyColumnData(nullptr, 0, 0));
  CNARowLayout other;
  other.nDataSize = 4;
  other.apColumns.push_back(text);
  CNARowBuffer* stranger = NAAddRef(new CNARowBuffer());
  ASSERT_TRUE(stranger->bBind(other));
  EXPECT_FALSE(from->bCopyColumnData(stranger, 0, 0));
  ReleaseBoth(stranger);
}

TEST_F(RowBuffer, CloneWithinACopyContext) {
  Add(5, 4, 0);
  Add(19, 6, 1);
  CNARowBuffer* row = Bind();
  CAny v;
  v.SetI4(5);
  ASSERT_TRUE(row->bSetValue(0, v, 0));
  CNACopyContext context;
  CNARowBuffer* copy = row->pclClone(&context);
  ASSERT_NE(nullptr, copy);
  rows_.push_back(copy);
  EXPECT_EQ(copy, context.pFindCopy(row));
  EXPECT_TRUE(copy->bEqualValues(*row));
  EXPECT_NE(copy->pGetBlock(), row->pGetBlock());
  v.SetPSTRA("xy");
  ASSERT_TRUE(copy->bSetValue(1, v, 0));
  EXPECT_FALSE(row->bIsPresent(1));
  EXPECT_TRUE(copy->bIsPresent(1));
  // Copying into a buffer bound elsewhere takes the source's layout.
  CNARowBuffer* again = NAAddRef(new CNARowBuffer());
  rows_.push_back(again);
  EXPECT_EQ(1, again->nCopyFrom(copy, nullptr, 0, 0));
  EXPECT_TRUE(again->bEqualValues(*copy));
  EXPECT_EQ(copy->pGetLayout(), again->pGetLayout());
}

// A column that stores a host object keeps bytes its own converters write
// and read: here a number kept big-endian, negative numbers and the byte
// 0xFF refused.
class BigEndianConverter : public CNAColumnConverter {
 public:
  bool bBytesToValue(const CNAColumn&, const uint8_t* bytes, size_t size, CAny* value,
                     CNAError* error) override {
    if (size < 4 || bytes[0] == 0xFF) {
      if (error != nullptr) error->SetErrorMessage(0, 7, 3, nullptr, 2u);
      return false;
    }
    value->SetI4(static_cast<int32_t>((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3]));
    return true;
  }
  bool bValueToBytes(const CNAColumn&, const CAny& value, uint8_t* bytes, size_t capacity,
                     size_t* size, CNAError* error) override {
    int32_t v = -1;
    if (capacity < 4 || value.nGetI4(&v) != 0 || v < 0) {
      if (error != nullptr) error->SetErrorMessage(0, 7, 4, nullptr, 2u);
      return false;
    }
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    *size = 4;
    return true;
  }
};

TEST_F(RowBuffer, ObjectColumnsGoThroughTheirConverters) {
  auto* converter = new BigEndianConverter();
  auto add = [&](int type, CNARefCounted* attached) {
    CNAColumn* c = NAAddRef(new CNAColumn());
    c->Init(u"o", u"t", nullptr, 1, 4, type, 0, -1, 0, 0, 0, attached);
    c->SetRecordOffset(static_cast<int>(layout_.nDataSize));
    c->SetSlotIndex(-1);
    layout_.nDataSize += 4;
    layout_.apColumns.push_back(c);
  };
  for (int type : {32, 33}) {
    add(type, converter);
    add(type, nullptr);
  }
  CNARowBuffer* row = Bind();
  for (int column : {0, 2}) {
    CAny v;
    v.SetI4(0x01020304);
    ASSERT_TRUE(row->bSetValue(column, v, 0)) << column;
    const uint8_t* at = row->pGetColumnData(column, 0);
    EXPECT_EQ(0, std::memcmp(at, "\x01\x02\x03\x04", 4));
    CAny out;
    ASSERT_TRUE(row->bGetValue(out, column, 0));
    int32_t i = 0;
    EXPECT_EQ(0, out.nGetI4(&i));
    EXPECT_EQ(0x01020304, i);
    // A refused value leaves the stored bytes as they were.
    v.SetI4(-5);
    EXPECT_FALSE(row->bSetValue(column, v, 0));
    EXPECT_EQ(0, std::memcmp(at, "\x01\x02\x03\x04", 4));
    // Bytes the converter refuses give no value.
    ASSERT_TRUE(row->bSetBytes(column, "\xFF\x00\x00\x01", 4, 0));
    EXPECT_FALSE(row->bGetValue(out, column, 0));
    // Without a converter nothing is stored or read.
    v.SetI4(7);
    EXPECT_FALSE(row->bSetValue(column + 1, v, 0));
    EXPECT_FALSE(row->bGetValue(out, column + 1, 0));
  }
}

}  // namespace
