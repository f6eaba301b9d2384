#include "driver/sql/saved_position.h"

#include <gtest/gtest.h>

#include "driver/core/copy_context.h"
#include "driver/sql/column.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "support/any_test_fixture.h"

namespace {

class SavedPosition : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    column_ = NAAddRef(new CNAColumn());
    column_->Init(u"n", u"t", nullptr, 1, 4, 5, 0, -1, 0, 0, 0);
    column_->SetRecordOffset(0);
    column_->SetSlotIndex(0);
    layout_.nDataSize = 4;
    layout_.nNullBits = 1;
    layout_.apColumns.push_back(column_);
    cache_ = NAAddRef(new CNARecordCache());
  }
  void TearDown() override {
    ReleaseBoth(cache_);
    ReleaseBoth(column_);
    AnyHostTest::TearDown();
  }
  // Stores a record holding n; its entry (one use, the store's).
  int Store(CNARecordCache* cache, int32_t n) {
    CNARowBuffer* row = NAAddRef(new CNARowBuffer());
    EXPECT_TRUE(row->bBind(layout_));
    CAny v;
    v.SetI4(n);
    row->bSetValue(0, v, -1);
    CNARecordImage* image = NAAddRef(new CNARecordImage());
    image->SetRowBuffer(row);
    image->SetIdentifier(new CNARowIdentifier(nullptr, 0, nullptr));
    int entry = cache->nStoreRecord(image, nullptr);
    ReleaseBoth(image);
    ReleaseBoth(row);
    return entry;
  }
  CNAColumn* column_ = nullptr;
  CNARowLayout layout_;
  CNARecordCache* cache_ = nullptr;
};

TEST_F(SavedPosition, HoldsOneUseOfItsEntry) {
  int a = Store(cache_, 1);
  int b = Store(cache_, 2);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  cache_->nAddRefEntry(a);  // another holder keeps a
  auto* position = NAAddRef(new CNASavedPosition());
  EXPECT_EQ(-1, position->nGetSlot());
  EXPECT_EQ(-1, position->nGetRecord(0));
  ASSERT_TRUE(position->bAttachSlot(cache_, a));
  EXPECT_EQ(2, cache_->nGetUses(a));
  position->MoveToSlot(cache_, b);
  EXPECT_EQ(1, cache_->nGetUses(a));
  EXPECT_EQ(1, cache_->nGetUses(b));
  EXPECT_FALSE(position->bAttachSlot(cache_, 99));
  EXPECT_EQ(-1, position->nGetSlot());
  EXPECT_EQ(0, cache_->nGetUses(b));
  ASSERT_TRUE(position->bAttachSlot(cache_, a));

  // A clone without a copied cache takes a use of its own.
  CNASavedPosition* clone = position->pclClone(nullptr);
  AddRefBoth(clone);
  EXPECT_EQ(3, cache_->nGetUses(a));
  ReleaseBoth(clone);
  ReleaseBoth(position);
  EXPECT_EQ(1, cache_->nGetUses(a));
}

// In a deep copy the cache copy already counts every holder: the position's
// copy takes no further use, so the copied entry frees when both go.
TEST_F(SavedPosition, DeepCopyCountsEachHolderOnce) {
  int a = Store(cache_, 1);
  auto* position = NAAddRef(new CNASavedPosition());
  position->SetName(u"key");
  position->SetRecord(1, 42);
  ASSERT_TRUE(position->bAttachSlot(cache_, a));
  CNACopyContext context;
  auto* cache_copy = NAAddRef(static_cast<CNARecordCache*>(cache_->pclClone(nullptr)));
  context.bRegisterCopy(cache_, cache_copy);
  ASSERT_EQ(1, cache_copy->nGetUses(a));
  CNASavedPosition* copy = position->pclClone(&context);
  AddRefBoth(copy);
  EXPECT_EQ(copy, context.pFindCopy(position));
  EXPECT_EQ(cache_copy, copy->pclGetCache());
  EXPECT_EQ(1, cache_copy->nGetUses(a));
  EXPECT_EQ(42, copy->nGetRecord(1));
  EXPECT_EQ(std::u16string(u"key"), copy->pszGetName());
  ReleaseBoth(copy);
  EXPECT_EQ(0, cache_copy->nGetUses(a));  // freed: no use was counted twice
  EXPECT_EQ(1, cache_->nGetUses(a));
  ReleaseBoth(cache_copy);
  ReleaseBoth(position);
}

}  // namespace
