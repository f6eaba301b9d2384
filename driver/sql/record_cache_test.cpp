#include "driver/sql/record_cache.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "driver/sql/column.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/value_converter.h"
#include "support/any_test_fixture.h"

namespace {

// Rows of (I4, 8-bit text) with whole-row identifiers.
class RecordCache : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    for (int type : {5, 2}) {
      CNAColumn* c = NAAddRef(new CNAColumn());
      c->Init(u"c", u"t", nullptr, 1, type == 5 ? 4 : 6, type, 0, -1, 0, 0, 0);
      c->SetRecordOffset(static_cast<int>(layout_.nDataSize));
      c->SetSlotIndex(static_cast<int>(layout_.nNullBits++));
      layout_.nDataSize += static_cast<uint32_t>(c->nGetTotalSize());
      layout_.apColumns.push_back(c);
    }
  }
  void TearDown() override {
    for (CNAColumn* c : layout_.apColumns) ReleaseBoth(c);
    AnyHostTest::TearDown();
  }
  // A record image of (n, text), with its whole-row identifier.
  CNARecordImage* Image(int32_t n, const char* text, uint32_t flags = 0) {
    CNARowBuffer* row = new CNARowBuffer();
    EXPECT_TRUE(row->bBind(layout_));
    CAny v;
    v.SetI4(n);
    row->bSetValue(0, v, 0);
    v.SetPSTRA(text);
    row->bSetValue(1, v, 0);
    CNARecordImage* image = NAAddRef(new CNARecordImage());
    image->SetRowBuffer(row);
    image->SetIdentifier(new CNARowIdentifier(row->pGetBlock(), row->nGetImageSize(), nullptr));
    image->SetFlags(flags);
    return image;
  }
  static std::vector<uint8_t> Bytes(const CNARecordImage* image) {
    std::vector<uint8_t> b(image->pclGetRowBuffer()->nGetImageSize());
    image->pclGetRowBuffer()->WriteImage(b.data());
    return b;
  }
  CNARowLayout layout_;
};

// The model of one entry.
struct Model {
  bool has_row;
  std::vector<uint8_t> bytes;
  uint32_t state;
};

// Reads every entry back and checks the counts, the states and the
// identifier lookups against the model.
void Check(CNARecordCacheBase& cache, const std::vector<Model>& model, CNARecordImage* scratch) {
  ASSERT_EQ(static_cast<int>(model.size()), cache.nGetCount());
  int invalid = 0;
  for (size_t n = 0; n < model.size(); ++n) {
    const Model& m = model[n];
    invalid += m.state == kNARecordInvalid;
    ASSERT_EQ(m.state, cache.nGetEntryState(static_cast<int>(n)));
    bool read = cache.bReadRecord(scratch, static_cast<int>(n), nullptr);
    ASSERT_EQ(m.has_row, read) << n;
    if (!read) continue;
    std::vector<uint8_t> b(scratch->pclGetRowBuffer()->nGetImageSize());
    scratch->pclGetRowBuffer()->WriteImage(b.data());
    ASSERT_EQ(m.bytes, b) << n;
  }
  ASSERT_EQ(invalid, cache.nGetInvalidCount());
}

TEST_F(RecordCache, CursorCacheFollowsAReferenceModel) {
  std::mt19937 rng(4);
  CNARecordCacheBase* cache = NAAddRef(new CNARecordCacheBase(CNARecordCacheBase::kActive));
  CNARecordImage* scratch = NAAddRef(new CNARecordImage());
  std::vector<Model> model;
  for (int step = 0; step < 600; ++step) {
    int op = static_cast<int>(rng() % 7);
    int count = static_cast<int>(model.size());
    int32_t key = static_cast<int32_t>(rng() % 50);
    CNARecordImage* image = Image(key, "ab", rng() % 8 == 0 ? kNARecordInvalid : rng() % 3);
    if (op <= 1 || count == 0) {  // append
      ASSERT_EQ(count, cache->nAppendRecord(image, nullptr));
      model.push_back({true, Bytes(image), image->nGetFlags()});
    } else if (op == 2) {  // insert, renumbering the later entries
      int at = static_cast<int>(rng() % (count + 1));
      cache->InsertRecord(image, at);
      model.insert(model.begin() + at, {true, Bytes(image), image->nGetFlags()});
    } else if (op == 3) {  // replace
      int at = static_cast<int>(rng() % count);
      cache->ReplaceRecord(at, image);
      model[at] = {true, Bytes(image), image->nGetFlags()};
    } else if (op == 4) {  // remove
      int at = static_cast<int>(rng() % count);
      cache->RemoveEntry(at);
      model.erase(model.begin() + at);
    } else if (op == 5) {  // state
      int at = static_cast<int>(rng() % count);
      uint32_t state = rng() % 2 ? kNARecordInvalid : 0;
      cache->SetEntryState(at, state);
      model[at].state = state;
    } else {  // an empty entry
      ASSERT_EQ(count, cache->nAppendRecord(nullptr, nullptr));
      model.push_back({false, {}, kNARecordInvalid});
    }
    // Lookup by identifier finds an entry holding the same row.
    int found = cache->nFindRecord(image->pclGetIdentifier());
    bool held = false;
    for (const Model& m : model) held = held || (m.has_row && m.bytes == Bytes(image));
    ASSERT_EQ(held, found >= 0) << step;
    if (found >= 0) {
      ASSERT_EQ(Bytes(image), model[found].bytes);
    }
    ReleaseBoth(image);
    if (step % 25 == 0) {
      ASSERT_NO_FATAL_FAILURE(Check(*cache, model, scratch));
    }
  }
  ASSERT_NO_FATAL_FAILURE(Check(*cache, model, scratch));

  // A copy keeps every entry with its state; the original can go first.
  CNARecordCacheBase* copy = NAAddRef(cache->pclClone(nullptr));
  ASSERT_NE(nullptr, copy);
  ReleaseBoth(cache);
  ASSERT_NO_FATAL_FAILURE(Check(*copy, model, scratch));
  ReleaseBoth(copy);
  ReleaseBoth(scratch);
}

TEST_F(RecordCache, SessionCacheReusesReleasedEntries) {
  CNARecordCache* cache = NAAddRef(new CNARecordCache());
  std::vector<CNARecordImage*> images;
  for (int i = 0; i < 8; ++i) {
    images.push_back(Image(i, "x"));
    ASSERT_EQ(i, cache->nStoreRecord(images.back(), nullptr));
    EXPECT_EQ(1, cache->nAddRefEntry(i));
  }
  // Storing a cached record answers its entry and changes nothing.
  EXPECT_EQ(3, cache->nStoreRecord(images[3], nullptr));
  EXPECT_EQ(-1, cache->nAppend(images[3], nullptr));  // no renumbering here
  // Releasing the last use of entry 3 lowers the hint from none to 3; the
  // entry can no longer be found, and the next store reuses it.
  EXPECT_EQ(0, cache->nReleaseEntry(3));
  EXPECT_EQ(0, cache->nReleaseEntry(3));  // a double release stays at 0
  EXPECT_EQ(0, cache->nGetUses(3));
  EXPECT_EQ(3, cache->nGetFirstFree());
  EXPECT_EQ(-1, cache->nFindRecord(images[3]->pclGetIdentifier()));
  CNARecordImage* fresh = Image(100, "new");
  EXPECT_EQ(3, cache->nStoreRecord(fresh, nullptr));
  EXPECT_EQ(3, cache->nFindRecord(fresh->pclGetIdentifier()));
  EXPECT_EQ(8, cache->nGetCount());
  // A release below the hint lowers it.
  cache->nAddRefEntry(3);
  cache->nReleaseEntry(6);
  cache->nReleaseEntry(1);
  EXPECT_EQ(1, cache->nGetFirstFree());
  // The copy carries the uses and the hint.
  CNARecordCache* copy = static_cast<CNARecordCache*>(NAAddRef(cache->pclClone(nullptr)));
  EXPECT_EQ(1, copy->nGetFirstFree());
  EXPECT_EQ(0, copy->nGetUses(6));
  EXPECT_EQ(1, copy->nGetUses(7));
  cache->Clear();
  EXPECT_EQ(-1, cache->nGetFirstFree());
  ReleaseBoth(copy);
  ReleaseBoth(fresh);
  for (CNARecordImage* i : images) ReleaseBoth(i);
  ReleaseBoth(cache);
}

TEST_F(RecordCache, MovesSkipInvalidEntriesAndSaturate) {
  CNARecordCacheBase* cache = NAAddRef(new CNARecordCacheBase(CNARecordCacheBase::kActive));
  for (int i = 0; i < 5; ++i) {
    CNARecordImage* image = Image(i, "m");
    cache->nAppendRecord(image, nullptr);
    ReleaseBoth(image);
  }
  // Without invalid entries: arithmetic, past the end too, saturating.
  EXPECT_EQ(7, cache->nMoveBy(2, 2, 5));
  EXPECT_EQ(-1, cache->nMoveBy(2, 3, 5));
  EXPECT_EQ(INT64_MAX, cache->nMoveBy(INT64_MAX - 1, 2, 10));
  EXPECT_EQ(4, cache->nMoveBy(0, 1, 1));  // from after the last
  EXPECT_EQ(0, cache->nMoveBy(99, 0, 1));  // from before the first
  // An empty entry reads as nothing and is skipped.
  cache->nAppendRecord(nullptr, nullptr);
  cache->SetEntryState(2, kNARecordInvalid);
  CNARecordImage* scratch = NAAddRef(new CNARecordImage());
  EXPECT_FALSE(cache->bReadRecord(scratch, 5, nullptr));
  EXPECT_EQ(3, cache->nMoveBy(1, 2, 1));
  EXPECT_EQ(1, cache->nMoveBy(3, 3, 1));
  EXPECT_EQ(4, cache->nMoveBy(0, 1, 1));   // entry 5 is invalid
  EXPECT_EQ(8, cache->nMoveBy(4, 2, 3));   // beyond the count every step counts
  EXPECT_EQ(-1, cache->nMoveBy(1, 3, 2));
  EXPECT_EQ(INT64_MAX, cache->nMoveBy(INT64_MAX - 1, 2, 10));
  // Must-fetch: rows in the cache answer, missing ones are fetched.
  EXPECT_FALSE(cache->bMustFetch(0));
  EXPECT_TRUE(cache->bMustFetch(5));
  EXPECT_TRUE(cache->bMustFetch(9));
  cache->SetComplete();
  EXPECT_FALSE(cache->bMustFetch(9));
  ReleaseBoth(scratch);
  ReleaseBoth(cache);
}

TEST_F(RecordCache, NotificationsAndIdentifierKinds) {
  CNARecordCacheBase* cache = NAAddRef(new CNARecordCacheBase(CNARecordCacheBase::kActive));
  CNARecordImage* a = Image(1, "a");
  CNARecordImage* b = Image(2, "b");
  EXPECT_EQ(-1, cache->nFindRecord(a->pclGetIdentifier()));  // no kind yet
  EXPECT_EQ(0, cache->nNotifyChange(3, true, nullptr, a, nullptr));
  EXPECT_EQ(0, cache->nNotifyChange(3, true, nullptr, b, nullptr));  // inserted in front
  EXPECT_EQ(1, cache->nFindRecord(a->pclGetIdentifier()));
  EXPECT_EQ(1, cache->nNotifyChange(4, false, a->pclGetIdentifier(), nullptr, nullptr));
  EXPECT_TRUE(cache->bIsInvalid(1));
  CNARecordImage* c = Image(3, "c");
  EXPECT_EQ(0, cache->nNotifyChange(2, false, b->pclGetIdentifier(), c, nullptr));
  EXPECT_EQ(0, cache->nFindRecord(c->pclGetIdentifier()));
  EXPECT_EQ(-1, cache->nFindRecord(b->pclGetIdentifier()));
  EXPECT_TRUE(cache->bSameRecord(0, *c));
  EXPECT_FALSE(cache->bSameRecord(1, *c));

  // A key identifier is refused by a cache of row identifiers.
  CNAValueConverter* key = NAAddRef(new CNAValueConverter());
  CNARecordImage* keyed = Image(4, "k");
  keyed->SetIdentifier(new CNAKeyIdentifier(key));
  EXPECT_EQ(-1, cache->nAppendRecord(keyed, nullptr));
  EXPECT_EQ(2, cache->nGetCount());
  // A session cache refuses a front-less kind-3 notification.
  CNARecordCache* session = NAAddRef(new CNARecordCache());
  EXPECT_EQ(-1, session->nNotifyChange(3, false, nullptr, a, nullptr));
  for (CNARefCounted* o : {static_cast<CNARefCounted*>(a), static_cast<CNARefCounted*>(b),
                           static_cast<CNARefCounted*>(c), static_cast<CNARefCounted*>(keyed),
                           static_cast<CNARefCounted*>(key), static_cast<CNARefCounted*>(cache),
                           static_cast<CNARefCounted*>(session)}) {
    ReleaseBoth(o);
  }
}

TEST_F(RecordCache, StoreGrowsPagesAfterTheFifth) {
  CNARecordStore store;
  store.SetLimits(10, 1000);
  std::vector<uint8_t> item(16, 7);
  for (int i = 0; i < 70; ++i) ASSERT_TRUE(store.bInsert(store.nGetCount(), item.data(), 16));
  // 20 bytes an item: pages of 200 bytes, then of 400 from the sixth on.
  ASSERT_GE(store.nGetPageCount(), 6u);
  EXPECT_EQ(200u, store.nGetPageCapacity(4));
  EXPECT_EQ(400u, store.nGetPageCapacity(5));
  // In-place replacement only for the same length.
  uint8_t other[16] = {1};
  ASSERT_TRUE(store.bReplace(3, other, 16));
  uint32_t size = 0;
  EXPECT_EQ(1, store.pGet(3, &size)[0]);
  uint8_t longer[40] = {2};
  ASSERT_TRUE(store.bReplace(3, longer, 40));
  EXPECT_EQ(2, store.pGet(3, &size)[0]);
  EXPECT_EQ(40u, size);
  EXPECT_EQ(7, store.pGet(4, &size)[0]);
}

}  // namespace
