#include "driver/sql/temporary_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "driver/core/error_status.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/index.h"
#include "driver/sql/item.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/table_description.h"
#include "support/any_test_fixture.h"

namespace {

// A description of one table (id INT, n INT) and a record cache of its
// records; the index orders the cache by n.
class TemporaryIndex : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    table_ = NAAddRef(new CNATableDescription(nullptr));
    for (const char16_t* name : {u"id", u"n"}) {
      CNAColumn* c = NAAddRef(new CNAColumn());
      c->Init(name, u"t", nullptr, 1, 4, 5, -1, -1, 0, 0, 0);
      table_->bAppendColumn(c);
      ReleaseBoth(c);
    }
    table_->ComputeOffsets();
    fd_ = NAAddRef(new CNAFileDescription());
    ASSERT_TRUE(fd_->bBuild(table_, nullptr, nullptr));
    id_ = fd_->pclFindItemByName(u"id");
    n_ = fd_->pclFindItemByName(u"n");
    ASSERT_NE(nullptr, id_);
    ASSERT_NE(nullptr, n_);
    cache_ = NAAddRef(new CNARecordCacheBase());
  }
  void TearDown() override {
    ReleaseBoth(cache_);
    ReleaseBoth(fd_);
    ReleaseBoth(table_);
    AnyHostTest::TearDown();
  }
  void SetCurrent(int id, int n) {
    CAny a;
    a.SetI4(id);
    ASSERT_TRUE(id_->bWriteValue(a, 0, nullptr));
    a.SetI4(n);
    ASSERT_TRUE(n_->bWriteValue(a, 0, nullptr));
  }
  // Appends the current record; its entry.
  int Append(int id, int n) {
    SetCurrent(id, n);
    CNARecordImage* image = NAAddRef(new CNARecordImage());
    EXPECT_TRUE(fd_->bCopyRecordTo(image, nullptr));
    CNARowBuffer* row = image->pclGetRowBuffer();
    image->SetIdentifier(new CNARowIdentifier(row->pGetBlock(), row->nGetImageSize(), nullptr));
    int entry = cache_->nAppendRecord(image, nullptr);
    ReleaseBoth(image);
    return entry;
  }
  // Entries in index order, first to last.
  static std::vector<int> Walk(CNATemporaryIndex* index) {
    std::vector<int> entries;
    int entry = -1;
    CNAError error;
    if (!index->bPosition(kNAIndexFirst, 1, &entry, &error)) return entries;
    while (entry >= 0 && entries.size() < 1000) {
      entries.push_back(entry);
      if (!index->bPosition(kNAIndexForward, 1, &entry, &error)) break;
    }
    return entries;
  }

  CNATableDescription* table_ = nullptr;
  CNAFileDescription* fd_ = nullptr;
  CNAItem* id_ = nullptr;
  CNAItem* n_ = nullptr;
  CNARecordCacheBase* cache_ = nullptr;
};

TEST_F(TemporaryIndex, WithoutAnIndexAnswersEmpty) {
  CNATemporaryIndex index(nullptr, cache_, n_);
  EXPECT_FALSE(index.bHasIndex());
  EXPECT_EQ(-1, index.nGetCurrentRecord());
  EXPECT_EQ(0, index.nGetCount());
  EXPECT_EQ(0, index.nGetPosition());
  bool found = true;
  EXPECT_FALSE(index.bSeek(-1, 1, &found, nullptr));
  EXPECT_FALSE(found);
}

TEST_F(TemporaryIndex, OrdersTheRecordSetByTheItem) {
  std::mt19937 rng(7);
  std::vector<std::pair<int, int>> keys;  // (n, entry)
  for (int id = 0; id < 200; ++id) {
    int n = static_cast<int>(rng() % 50) - 25;
    keys.push_back({n, Append(id, n)});
  }
  CNATemporaryIndex* index = NAAddRef(new CNATemporaryIndex(nullptr, cache_, n_));
  CNAError error;
  ASSERT_TRUE(index->bBuild(&error));
  EXPECT_EQ(200, index->nGetCount());
  std::vector<int> walked = Walk(index);
  ASSERT_EQ(200u, walked.size());
  std::vector<int> walked_keys;
  for (int entry : walked) walked_keys.push_back(keys[static_cast<size_t>(entry)].first);
  EXPECT_TRUE(std::is_sorted(walked_keys.begin(), walked_keys.end()));
  ReleaseBoth(index);
}

TEST_F(TemporaryIndex, FollowsTheSessionsWrites) {
  for (int id = 0; id < 5; ++id) Append(id, id * 10);  // n: 0 10 20 30 40
  CNATemporaryIndex* index = NAAddRef(new CNATemporaryIndex(nullptr, cache_, n_));
  CNAError error;
  ASSERT_TRUE(index->bBuild(&error));

  // A change that keeps the key leaves the order as it was.
  SetCurrent(2, 20);
  index->UpdateForRecordChange(2, 2, &error);
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), Walk(index));

  // Insert: the new record's key is read from the current record.
  int entry = Append(5, 15);
  index->UpdateForRecordChange(3, entry, &error);
  EXPECT_EQ((std::vector<int>{0, 1, 5, 2, 3, 4}), Walk(index));

  // A changed key moves the record: 30 becomes -5.
  SetCurrent(3, -5);
  index->UpdateForRecordChange(2, 3, &error);
  EXPECT_EQ((std::vector<int>{3, 0, 1, 5, 2, 4}), Walk(index));

  // A key that cannot be read (an entry outside the set) leaves the index
  // to be rebuilt, and the rebuilt index is whole again.
  index->UpdateForRecordChange(4, 99, &error);
  EXPECT_TRUE(index->bNeedsRebuild());
  EXPECT_EQ((std::vector<int>{3, 0, 1, 5, 2, 4}), Walk(index));
  EXPECT_FALSE(index->bNeedsRebuild());

  // Delete of entry 0.
  index->UpdateForRecordChange(4, 0, &error);
  std::vector<int> walked = Walk(index);
  EXPECT_EQ(5u, walked.size());
  EXPECT_EQ(walked.end(), std::find(walked.begin(), walked.end(), 0));

  // Other kinds change nothing.
  index->UpdateForRecordChange(5, 1, &error);
  index->UpdateForRecordChange(1, 1, &error);
  EXPECT_EQ(walked, Walk(index));
  ReleaseBoth(index);
}

}  // namespace
