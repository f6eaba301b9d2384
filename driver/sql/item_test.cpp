#include "driver/sql/item.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/sql/column.h"
#include "driver/core/value_bridge.h"
#include "driver/sql/file_description.h"
#include "driver/sql/key_part.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/table_description.h"
#include "driver/sql/value_converter.h"
#include "support/any_test_fixture.h"

namespace {

class Item : public qg::AnyHostTest {
 protected:
  static std::string Bytes(const CAny& value) {
    const void* data = nullptr;
    int size = 0;
    value.pclHolder()->vnGetTexte(&data);
    value.pclHolder()->vnGetTailleSansFin(&size);
    return data != nullptr && size > 0 ? std::string(static_cast<const char*>(data), size_t(size))
                                       : std::string();
  }
  // A one-table description: (name, column type, size, key flags) per
  // column, then an optional composite key over columns 0 and 1.
  CNAFileDescription* Build(const std::vector<std::tuple<const char16_t*, int, int, uint16_t>>& cols,
                            bool composite = false) {
    table_ = NAAddRef(new CNATableDescription(nullptr));
    std::vector<CNAColumn*> made;
    for (const auto& [name, type, size, flags] : cols) {
      CNAColumn* c = NAAddRef(new CNAColumn());
      c->Init(name, u"t", nullptr, 1, size, type, -1, -1, flags, 0, 0);
      table_->bAppendColumn(c);
      made.push_back(c);
      ReleaseBoth(c);
    }
    if (composite) {
      CNAColumn* key = NAAddRef(new CNAColumn());
      key->Init(u"k", u"t", nullptr, 1, 0, 2, -1, -1, kNAKeyUnique | kNAKeyComposite, 0, 0);
      key->AddPart(made[0]);
      key->AddPart(made[1]);
      table_->AddKey(key);
      ReleaseBoth(key);
    }
    table_->ComputeOffsets();
    fd_ = NAAddRef(new CNAFileDescription());
    EXPECT_TRUE(fd_->bBuild(table_, nullptr, nullptr));
    return fd_;
  }
  static std::u16string Dump(CNAItem* item, bool with_name, bool* result = nullptr) {
    std::u16string out = u"stale";
    bool ok = item->bDumpValue(&out, with_name, nullptr);
    if (result != nullptr) *result = ok;
    return out;
  }
  void TearDown() override {
    ReleaseBoth(fd_);
    ReleaseBoth(table_);
    AnyHostTest::TearDown();
  }
  CNATableDescription* table_ = nullptr;
  CNAFileDescription* fd_ = nullptr;
};

TEST_F(Item, Dumps) {
  Build({{u"n", 5, 4, 0}, {u"s", 2, 11, 0}, {u"bin", 16, 4, 0}});
  CNAItem* n = fd_->pclGetItem(0);
  EXPECT_EQ(u"<n> = <NULL>", Dump(n, true));
  EXPECT_EQ(u"", Dump(n, false));
  CAny v;
  v.SetI4(12);
  ASSERT_TRUE(n->bWriteValue(v, 0, nullptr));
  EXPECT_EQ(u"<n> = <12>", Dump(n, true));
  EXPECT_EQ(u"12", Dump(n, false));
  // Binary: the value dump with type, length and bytes.
  CAny b;
  const uint8_t bytes[] = {1, 2, 0xAB, 0xFF};
  b.SetBIN(bytes, 4);
  ASSERT_TRUE(fd_->pclGetItem(2)->bWriteValue(b, 0, nullptr));
  std::u16string dump = Dump(fd_->pclGetItem(2), true);
  EXPECT_EQ(u"<bin> = <Type=28, Len=4, Value=", dump.substr(0, 31));
  EXPECT_EQ(u", Value(binary)=0102ABFF>", dump.substr(dump.size() - 25));
  // An item whose value cannot be read (no owner any more).
  CNAItem* lone = NAAddRef(new CNAItem);
  CNAColumn* column = NAAddRef(new CNAColumn);
  column->Init(u"gone", u"t", nullptr, 1, 4, 5, 0, -1, 0, 0, 0);
  lone->Init(nullptr, column, nullptr);
  bool ok = true;
  EXPECT_EQ(u"<gone> = <ERROR RETRIEVING VALUE>>", Dump(lone, true, &ok));
  EXPECT_FALSE(ok);
  ReleaseBoth(lone);
  ReleaseBoth(column);
}

TEST_F(Item, DumpOfALargeTextKeepsItsHead) {
  Build({{u"memo", 15, 8, 0}});
  CNAItem* memo = fd_->pclGetItem(0);
  std::u16string big(1 << 20, u'x');
  CAny v;
  v.SetPSTRW(big.c_str());
  ASSERT_TRUE(memo->bWriteValue(v, 0, nullptr));
  EXPECT_EQ(u"<memo> = <" + std::u16string(kNADumpValueLimit, u'x') + u">", Dump(memo, true));
}

TEST_F(Item, CompositeKeyPacksItsParts) {
  Build({{u"s", 2, 8, 0}, {u"n", 5, 4, 0}}, true);
  CNAItem* key = fd_->pclGetItem(2);
  ASSERT_TRUE(key->bIsCompositeKey());
  ASSERT_EQ(2, key->nGetPartCount());
  CAny s;
  s.SetPSTRA("abc");
  ASSERT_TRUE(fd_->pclGetItem(0)->bWriteValue(s, 0, nullptr));
  CAny n;
  n.SetI4(0x01020304);
  ASSERT_TRUE(fd_->pclGetItem(1)->bWriteValue(n, 0, nullptr));
  CAny packed;
  ASSERT_TRUE(key->bReadValue(packed, 0, nullptr));
  const void* data = nullptr;
  int size = 0;
  ASSERT_EQ(qg::kAnyOk, packed.pclHolder()->vnGetTexte(&data));
  ASSERT_EQ(qg::kAnyOk, packed.pclHolder()->vnGetTailleSansFin(&size));
  ASSERT_EQ(7 + 4, size);
  const uint8_t expected[] = {'a', 'b', 'c', 0, 0, 0, 0, 4, 3, 2, 1};
  EXPECT_EQ(0, std::memcmp(expected, data, sizeof(expected)));
  EXPECT_TRUE(key->bHasValue());
  EXPECT_FALSE(key->bWriteValue(n, 0, nullptr));
}

// A packed composite value decodes, as key values do, into the values of
// its parts.
TEST_F(Item, PackedCompositeDecodesIntoItsParts) {
  Build({{u"s", 2, 8, 0}, {u"w", 29, 10, 0}, {u"b", 23, 6, 0}, {u"n", 5, 4, 0}});
  // The composite key over all four columns.
  CNAColumn* key = NAAddRef(new CNAColumn());
  key->Init(u"k", u"t", nullptr, 1, 0, 2, -1, -1, kNAKeyUnique | kNAKeyComposite, 0, 0);
  for (int i = 0; i < 4; ++i) key->AddPart(table_->pclColumnAt(i));
  CNAItem* composite = NAAddRef(new CNAItem());
  composite->Init(fd_, key, nullptr);
  for (int i = 0; i < 4; ++i) composite->AddPart(fd_->pclGetItem(i));
  CAny v;
  v.SetPSTRA("abc");
  ASSERT_TRUE(fd_->pclGetItem(0)->bWriteValue(v, 0, nullptr));
  v.SetPSTRW(u"\u00E9t\u00E9");
  ASSERT_TRUE(fd_->pclGetItem(1)->bWriteValue(v, 0, nullptr));
  const uint8_t raw[] = {1, 0, 2};
  v.SetBIN(raw, 3);
  ASSERT_TRUE(fd_->pclGetItem(2)->bWriteValue(v, 0, nullptr));
  v.SetI4(-5);
  ASSERT_TRUE(fd_->pclGetItem(3)->bWriteValue(v, 0, nullptr));

  CAny packed;
  ASSERT_TRUE(composite->bReadValue(packed, 0, nullptr));
  const void* data = nullptr;
  int size = 0;
  packed.pclHolder()->vnGetTexte(&data);
  packed.pclHolder()->vnGetTailleSansFin(&size);
  EXPECT_EQ(7 + 8 + 6 + 4, size);
  NAKeyValueParts parts;
  ASSERT_TRUE(bDecodeKeyParts(*key, static_cast<const uint8_t*>(data), size_t(size), &parts));
  ASSERT_EQ(4u, parts.parts.size());
  for (int i = 0; i < 4; ++i) {
    CAny decoded;
    bool high = false;
    ASSERT_TRUE(bReadKeyPartValue(parts.parts[size_t(i)], static_cast<const uint8_t*>(data), 1252,
                                  &decoded, &high));
    CAny stored;
    ASSERT_TRUE(fd_->pclGetItem(i)->bReadValue(stored, 0, nullptr));
    if (stored.nGetCode() == qg::kAnyBIN) {
      EXPECT_EQ(Bytes(stored), Bytes(decoded));
      continue;
    }
    int32_t order = 1;
    ASSERT_LT(nNACompare(decoded, stored, &order), 100) << i;
    EXPECT_EQ(0, order) << i;
  }
  ReleaseBoth(composite);
  ReleaseBoth(key);
}

TEST_F(Item, Writability) {
  Build({{u"n", 5, 4, 0}, {u"memo", 18, 8, 0}, {u"id", 28, 4, 0}, {u"p", 5, 4, kNAKeyPrimary}},
        true);
  CNAItem* n = fd_->pclGetItem(0);
  CNAItem* memo = fd_->pclGetItem(1);
  CNAItem* key = fd_->pclGetItem(4);
  struct Case {
    CNAItem* item;
    int flags;
    bool update;
    bool insert;
  };
  for (const Case& c : {Case{n, 0, true, true}, Case{memo, 0, false, false},
                        Case{memo, 2, true, false}, Case{memo, 1, false, true},
                        Case{key, 3, false, false}}) {
    SCOPED_TRACE(std::string(c.item->pszGetName(), c.item->pszGetName() + 1) +
                 std::to_string(c.flags));
    EXPECT_EQ(c.update, c.item->bCanUpdate(c.flags));
    EXPECT_EQ(c.insert, c.item->bCanInsert(c.flags));
  }
  EXPECT_TRUE(n->bIsWritable());
  EXPECT_FALSE(fd_->pclGetItem(2)->bIsWritable());  // auto-identifier
  EXPECT_FALSE(fd_->pclGetItem(3)->bIsWritable());  // primary key
  // A source description decides when there is one.
  CNAColumn* source = NAAddRef(new CNAColumn);
  source->Init(u"n", u"t", nullptr, 1, 4, 5, 0, -1, 0, 0, 0);
  n->SetSource(source);
  EXPECT_TRUE(n->bIsWritable());
  source->SetColumnFlags(source->nGetColumnFlags() | kNAColFlagReadOnly);
  EXPECT_FALSE(n->bIsWritable());
  n->SetSource(nullptr);
  ReleaseBoth(source);
}

TEST_F(Item, LargeObjectPendingTextAndStore) {
  Build({{u"memo", 15, 8, 0}, {u"n", 5, 4, 0}});
  CNAItem* memo = fd_->pclGetItem(0);
  // The converter is the current record's value at the item's position.
  EXPECT_EQ(memo->pclGetConverter(), fd_->pclGetCurrentImage()->pclGetValues()->pclGet(0));
  EXPECT_FALSE(memo->bHasValue());
  memo->SetPendingText(u"later");
  EXPECT_TRUE(memo->bHasValue());
  EXPECT_TRUE(memo->bHasChanged());
  CAny v;
  ASSERT_TRUE(memo->bReadValue(v, 0, nullptr));
  EXPECT_FALSE(v.bEstNull());

  // Stored into another record: the value is copied, the null bit follows.
  CNARecordItem record_item;
  record_item.CopyFrom(*memo, nullptr);
  ASSERT_TRUE(record_item.bBindConverter(nullptr, nullptr));
  record_item.SetPendingText(u"stored");
  CNARecordImage* record = fd_->pclGetCurrentImage()->pclClone(
      CNARecordImage::kRow | CNARecordImage::kValues);
  AddRefBoth(record);
  ASSERT_TRUE(record_item.bStoreInRecord(record, 0, 0, nullptr));
  EXPECT_FALSE(record_item.bHasPendingText());
  CAny stored;
  ASSERT_NE(nullptr, record->pclGetValues()->pclGet(0));
  ASSERT_TRUE(record->pclGetValues()->pclGet(0)->bGetValue(stored));
  EXPECT_NE(record_item.pclGetConverter(), record->pclGetValues()->pclGet(0));
  EXPECT_TRUE(record->pclGetRowBuffer()->bIsPresent(0));
  ReleaseBoth(record);
}

}  // namespace
