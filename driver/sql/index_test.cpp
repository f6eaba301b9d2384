#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "driver/sql/index_array.h"
#include "driver/sql/index_tree.h"
#include "errors/xerror.h"
#include "support/any.h"
#include "support/any_test_fixture.h"

namespace {

// Cached entries as values of one item, a current record and a key range.
class FakeRecords : public CNAIndexSource, public CNAIndexReader {
 public:
  int nGetEntryCount() override { return static_cast<int>(values.size()); }
  uint32_t nGetEntryState(int entry) override { return states[entry]; }
  bool bReadEntryValue(int entry, CAny* value) override {
    *value = values[entry];
    return true;
  }
  bool bReadCurrentValue(CAny* value) override {
    *value = current;
    return true;
  }
  bool bSameRecord(int entry) override { return entry == current_entry; }
  void GetKeyType(int* t, size_t* length, int* digits, int* scale) override {
    *t = type;
    *length = key_length;
    *digits = 0;
    *scale = 0;
  }
  bool bKeyRangeActive() override { return range; }
  bool bGetRangeBound(CAny* value) override {
    *value = bound;
    return true;
  }

  void AddI4(int32_t v, uint32_t state = 0) {
    values.emplace_back();
    values.back().SetI4(v);
    states.push_back(state);
  }
  void AddText(const char* text) {
    values.emplace_back();
    if (text != nullptr) values.back().SetBIN(text, static_cast<int>(std::strlen(text)));
    states.push_back(0);
  }

  std::vector<CAny> values;
  std::vector<uint32_t> states;
  CAny current;
  int current_entry = -1;
  int type = qg::kAnyI4;
  size_t key_length = 4;
  bool range = false;
  CAny bound;
};

class Index : public qg::AnyHostTest {
 protected:
  void TearDown() override {
    records_.values.clear();  // the host's strings go before its checks
    records_.current = CAny();
    records_.bound = CAny();
    AnyHostTest::TearDown();
  }
  // Entries in index order from kind 0, then kind 2 by one.
  static std::vector<int> Walk(CNAIndex& index) {
    std::vector<int> order;
    int entry = -1;
    EXPECT_TRUE(index.bPosition(kNAIndexFirst, 1, &entry, nullptr, nullptr));
    while (entry >= 0) {
      order.push_back(entry);
      EXPECT_TRUE(index.bPosition(kNAIndexForward, 1, &entry, nullptr, nullptr));
    }
    return order;
  }
  static int Position(CNAIndex& index, int kind, int n) {
    int entry = -2;
    EXPECT_TRUE(index.bPosition(kind, n, &entry, nullptr, nullptr));
    return entry;
  }
  FakeRecords records_;
};

TEST_F(Index, TreeOrdersEntriesByKeyThenEntryBytes) {
  CNAIndexTree index(&records_, &records_);
  EXPECT_EQ(-1, Position(index, kNAIndexFirst, 1));  // empty, not built
  ASSERT_TRUE(index.bBuild(nullptr));
  EXPECT_EQ(-1, Position(index, kNAIndexFirst, 1));  // built over nothing

  for (int v : {5, -3, 5, 7, 0, 5}) records_.AddI4(v);
  records_.AddI4(-100, kNAEntryRemoved);  // not indexed
  records_.AddI4(-7, 1);                  // any other state is
  ASSERT_TRUE(index.bBuild(nullptr));
  EXPECT_EQ(7, index.nGetCount());
  EXPECT_EQ((std::vector<int>{7, 1, 4, 0, 2, 5, 3}), Walk(index));

  // Kinds: first and last with a count, moves by n, a failed move.
  EXPECT_EQ(4, Position(index, kNAIndexFirst, 3));
  EXPECT_EQ(2, index.nGetPosition());  // from the counts, without moving
  EXPECT_EQ(4, index.nGetCurrentRecord());
  EXPECT_EQ(3, Position(index, kNAIndexLast, 1));
  EXPECT_EQ(0, Position(index, kNAIndexLast, 4));
  EXPECT_EQ(2, Position(index, kNAIndexForward, 1));
  EXPECT_EQ(7, Position(index, kNAIndexBackward, 4));
  EXPECT_EQ(-1, Position(index, kNAIndexBackward, 3));  // before the first
  EXPECT_EQ(7, index.nGetCurrentRecord());             // the position stays
  EXPECT_EQ(7, Position(index, 9, 0));                 // other kinds stay

  // Duplicates: the entries of key 5 from here on holding the current
  // record.
  EXPECT_EQ(0, Position(index, kNAIndexFirst, 4));
  records_.current_entry = 5;
  int entry = -1;
  int duplicates = -1;
  ASSERT_TRUE(index.bPosition(9, 0, &entry, &duplicates, nullptr));
  EXPECT_EQ(0, entry);
  EXPECT_EQ(1, duplicates);
  EXPECT_EQ(0, index.nGetCurrentRecord());  // moved back
}

// The entries of one key follow in the order of their stored bytes (the
// entry number, little-endian), for short and for long key images.
TEST_F(Index, DuplicatesFollowTheirEntryBytes) {
  constexpr int kEntries = 600;
  std::vector<int> expected(kEntries);
  for (int i = 0; i < kEntries; ++i) expected[i] = i;
  std::sort(expected.begin(), expected.end(), [](int32_t a, int32_t b) {
    return std::memcmp(&a, &b, sizeof(a)) < 0;
  });
  struct Case {
    int type;
    size_t length;
  };
  for (const Case& c : {Case{qg::kAnyI4, 4}, Case{qg::kAnyBIN, 40}}) {
    records_.values.clear();
    records_.states.clear();
    records_.type = c.type;
    records_.key_length = c.length;
    for (int i = 0; i < kEntries; ++i) {
      if (c.type == qg::kAnyI4) {
        records_.AddI4(i % 2 == 0 ? 1 : -1);
      } else {
        records_.AddText(i % 2 == 0 ? "same text" : "other");
      }
    }
    CNAIndexTree index(&records_, &records_);
    ASSERT_TRUE(index.bBuild(nullptr));
    std::vector<int> walk = Walk(index);
    // The odd entries' key (-1, "other") sorts first.
    std::vector<int> want, even;
    for (int e : expected) (e % 2 != 0 ? want : even).push_back(e);
    want.insert(want.end(), even.begin(), even.end());
    EXPECT_EQ(walk, want) << c.type;
  }
}

TEST_F(Index, TreeKeepsStepWithChangesAndSeeks) {
  for (int v : {10, 20, 20, 20, 30}) records_.AddI4(v);
  CNAIndexTree index(&records_, &records_);
  ASSERT_TRUE(index.bBuild(nullptr));

  // A changed value: removed under its old key, added under the new one.
  CAny old_value = records_.values[1];
  records_.values[1].SetI4(40);
  ASSERT_TRUE(index.bRemoveRecord(1, &old_value));
  ASSERT_TRUE(index.bAddRecord(1, nullptr, nullptr));
  EXPECT_EQ((std::vector<int>{0, 2, 3, 4, 1}), Walk(index));
  // A wrong old key still finds the entry by its number.
  CAny wrong;
  wrong.SetI4(999);
  ASSERT_TRUE(index.bRemoveRecord(4, &wrong));
  EXPECT_EQ((std::vector<int>{0, 2, 3, 1}), Walk(index));
  EXPECT_FALSE(index.bRemoveRecord(4, &wrong));
  CAny again;
  again.SetI4(10);
  EXPECT_FALSE(index.bAddRecord(0, &again, nullptr));  // already there

  // Seek by the current record's key: the entry holding the current record
  // among the key's duplicates, then on while they hold it.
  records_.current.SetI4(20);
  records_.current_entry = 3;
  bool found = false;
  ASSERT_TRUE(index.bSeek(-1, 0, &found, nullptr));
  EXPECT_TRUE(found);
  EXPECT_EQ(3, index.nGetCurrentRecord());
  records_.current_entry = 77;  // no entry holds it: the key's first entry
  ASSERT_TRUE(index.bSeek(-1, 0, &found, nullptr));
  EXPECT_EQ(2, index.nGetCurrentRecord());
  records_.current.SetI4(25);  // absent: the next greater key
  ASSERT_TRUE(index.bSeek(-1, 0, &found, nullptr));
  EXPECT_FALSE(found);
  EXPECT_EQ(1, index.nGetCurrentRecord());
  records_.current.SetI4(20);  // an exact (key, entry) pair
  EXPECT_TRUE(index.bSeek(3, 0, &found, nullptr));
  EXPECT_EQ(3, index.nGetCurrentRecord());
  EXPECT_FALSE(index.bSeek(1, 0, &found, nullptr));

  // Removing the current entry: no current record; next reaches the one
  // after it.
  ASSERT_TRUE(index.bSeek(2, 0, &found, nullptr));
  CAny twenty;
  twenty.SetI4(20);
  ASSERT_TRUE(index.bRemoveRecord(2, &twenty));
  EXPECT_EQ(-1, index.nGetCurrentRecord());
  EXPECT_EQ(3, Position(index, kNAIndexForward, 1));
}

// Null keys come before every value, the lowest number and the empty text
// among them, both from the build and from later additions, and a null
// current value seeks the null keys.
TEST_F(Index, TreeNullKeysSortBeforeEveryValue) {
  auto null_value = [] {
    CAny v;
    v.SetI4(0);
    v.SetNull(true);
    return v;
  };
  struct Case {
    int type;
    size_t length;
    std::vector<const char*> values;  // nullptr: a null key
    std::vector<int> order;
  } cases[] = {
      {qg::kAnyI4, 4, {"0", nullptr, "-1", "5", nullptr, "-2147483648", "0"},
       {1, 4, 5, 2, 0, 6, 3}},
      {qg::kAnyI8, 8, {"1", "-1", nullptr, "0"}, {2, 1, 3, 0}},
      {qg::kAnyBIN, 8, {"a", "", nullptr, "", nullptr}, {2, 4, 1, 3, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    records_.values.clear();
    records_.states.clear();
    records_.type = c.type;
    records_.key_length = c.length;
    for (const char* v : c.values) {
      if (v == nullptr) {
        records_.values.push_back(null_value());
        records_.states.push_back(0);
      } else if (c.type == qg::kAnyBIN) {
        records_.AddText(v);
      } else if (c.type == qg::kAnyI8) {
        records_.values.emplace_back();
        records_.values.back().SetI8(std::stoll(v));
        records_.states.push_back(0);
      } else {
        records_.AddI4(std::stoi(v));
      }
    }
    CNAIndexTree index(&records_, &records_);
    ASSERT_TRUE(index.bBuild(nullptr));
    EXPECT_EQ(c.order, Walk(index));
    // Removed and added again, each key returns to its place.
    for (int e = 0; e < static_cast<int>(c.values.size()); ++e) {
      ASSERT_TRUE(index.bRemoveRecord(e, &records_.values[static_cast<size_t>(e)]));
      ASSERT_TRUE(index.bAddRecord(e, nullptr, nullptr));
    }
    EXPECT_EQ(c.order, Walk(index));
    // The current record is the last one with a null key.
    for (size_t e = 0; e < c.values.size(); ++e) {
      if (c.values[e] == nullptr) records_.current_entry = static_cast<int>(e);
    }
    records_.current = null_value();
    bool found = false;
    ASSERT_TRUE(index.bSeek(-1, 0, &found, nullptr));
    EXPECT_TRUE(found);
    EXPECT_EQ(records_.current_entry, index.nGetCurrentRecord());
  }
}

TEST_F(Index, TreeRangeBoundStartsFirstAndLast) {
  for (int v : {10, 20, 20, 30, 40}) records_.AddI4(v);
  CNAIndexTree index(&records_, &records_);
  ASSERT_TRUE(index.bBuild(nullptr));
  records_.range = true;
  struct Case {
    int bound, kind, n, entry;
  } cases[] = {
      {20, kNAIndexFirst, 1, 1}, {20, kNAIndexFirst, 3, 3}, {25, kNAIndexFirst, 1, 3},
      {20, kNAIndexLast, 1, 2},  {25, kNAIndexLast, 1, 2},  {25, kNAIndexLast, 3, 0},
      {5, kNAIndexLast, 1, -1},  {50, kNAIndexFirst, 1, -1}, {50, kNAIndexLast, 1, 4},
  };
  for (const Case& c : cases) {
    records_.bound.SetI4(c.bound);
    EXPECT_EQ(c.entry, Position(index, c.kind, c.n)) << c.bound << " kind " << c.kind;
  }
}

TEST_F(Index, ArrayPositionsAndChanges) {
  records_.type = qg::kAnyBIN;
  const char* texts[] = {"b", nullptr, "a", "b", "ab", nullptr, "c"};
  for (const char* t : texts) records_.AddText(t);
  CNAIndexArray index(&records_, &records_);
  ASSERT_TRUE(index.bBuild(nullptr));
  // Empty keys first, then by bytes, equal keys in arrival order.
  EXPECT_EQ((std::vector<int32_t>{1, 5, 2, 4, 0, 3, 6}), index.Entries());
  EXPECT_EQ(1, index.nGetEmptyRunEnd());

  struct Case {
    bool range;
    const char* bound;
    int kind, n, entry;
  } cases[] = {
      {false, "", kNAIndexFirst, 1, 1},   {false, "", kNAIndexFirst, 3, 2},
      {false, "", kNAIndexLast, 1, 6},    {false, "", kNAIndexLast, 7, 1},
      {false, "", kNAIndexLast, 8, -1},   {true, "b", kNAIndexFirst, 1, 0},
      {true, "b", kNAIndexFirst, 2, 3},   {true, "b", kNAIndexLast, 1, 3},
      {true, "b", kNAIndexLast, 2, 0},    {true, "aa", kNAIndexFirst, 1, 4},
      {true, "aa", kNAIndexLast, 1, 2},   {true, "d", kNAIndexFirst, 1, -1},
  };
  for (const Case& c : cases) {
    records_.range = c.range;
    records_.bound.SetBIN(c.bound, static_cast<int>(std::strlen(c.bound)));
    EXPECT_EQ(c.entry, Position(index, c.kind, c.n)) << c.bound << " kind " << c.kind;
  }
  records_.range = false;

  // Forward and backward from the current entry; a refused move stays.
  EXPECT_EQ(2, Position(index, kNAIndexFirst, 3));
  EXPECT_EQ(0, Position(index, kNAIndexForward, 2));
  EXPECT_EQ(5, Position(index, kNAIndexBackward, 3));
  EXPECT_EQ(-1, Position(index, kNAIndexBackward, 2));
  EXPECT_EQ(5, index.nGetCurrentRecord());

  // The current entry removed: no current record, a stay answers -1, and
  // next reaches the entry after it.
  EXPECT_EQ(4, Position(index, kNAIndexFirst, 4));
  ASSERT_TRUE(index.bRemoveRecord(4, nullptr));
  EXPECT_EQ(-1, index.nGetCurrentRecord());
  EXPECT_EQ(-1, Position(index, 9, 0));
  EXPECT_EQ(0, Position(index, kNAIndexForward, 1));

  // Removing an empty key shortens the run, so that later empty keys stay
  // in front of every other key.
  ASSERT_TRUE(index.bRemoveRecord(5, nullptr));
  EXPECT_EQ(0, index.nGetEmptyRunEnd());
  records_.AddText(nullptr);
  ASSERT_TRUE(index.bAddRecord(7, nullptr, nullptr));
  EXPECT_EQ((std::vector<int32_t>{1, 7, 2, 0, 3, 6}), index.Entries());
  EXPECT_EQ(0, index.nGetCurrentRecord());  // followed the insertion

  // Seek by the current record's value: the last equal entry, else the
  // insertion point; past the end, no current record.
  bool found = false;
  records_.current.SetBIN("b", 1);
  ASSERT_TRUE(index.bSeek(-1, 0, &found, nullptr));
  EXPECT_TRUE(found);
  EXPECT_EQ(3, index.nGetCurrentRecord());
  records_.current.SetBIN("zz", 2);
  ASSERT_TRUE(index.bSeek(-1, 0, &found, nullptr));
  EXPECT_FALSE(found);
  EXPECT_EQ(6, index.nGetPosition());
  EXPECT_EQ(-1, index.nGetCurrentRecord());
  EXPECT_TRUE(index.bSeek(2, 0, &found, nullptr));
  EXPECT_EQ(2, index.nGetCurrentRecord());
  EXPECT_FALSE(index.bSeek(6, 0, &found, nullptr));
  EXPECT_FALSE(index.bRemoveRecord(42, nullptr));
}

// Null values come before empty ones in the run at the front, for the
// build, later additions, seeks and range bounds.
TEST_F(Index, ArrayNullsComeBeforeEmptyValues) {
  records_.type = qg::kAnyBIN;
  CAny null;
  null.SetI4(0);
  null.SetNull(true);
  CAny empty;
  empty.SetBIN("", 0);
  for (const char* t : {"", "n", "a", "n", ""}) {
    if (t[0] == 'n') {
      records_.values.push_back(null);
      records_.states.push_back(0);
    } else {
      records_.AddText(t);
    }
  }
  CNAIndexArray index(&records_, &records_);
  ASSERT_TRUE(index.bBuild(nullptr));
  EXPECT_EQ((std::vector<int32_t>{1, 3, 0, 4, 2}), index.Entries());
  EXPECT_EQ(3, index.nGetEmptyRunEnd());

  struct Case {
    const CAny* value;
    int kind, entry;
  } cases[] = {
      {&null, kNAIndexFirst, 1},
      {&null, kNAIndexLast, 3},
      {&empty, kNAIndexFirst, 0},
      {&empty, kNAIndexLast, 4},
  };
  records_.range = true;
  for (const Case& c : cases) {
    records_.bound = *c.value;
    EXPECT_EQ(c.entry, Position(index, c.kind, 1)) << c.value->bEstNull() << " kind " << c.kind;
  }
  records_.range = false;
  bool found = false;
  for (const Case& c : {cases[1], cases[3]}) {
    records_.current = *c.value;
    ASSERT_TRUE(index.bSeek(-1, 0, &found, nullptr));
    EXPECT_TRUE(found);
    EXPECT_EQ(c.entry, index.nGetCurrentRecord());  // the last equal entry
  }

  // A null removed and added again, and one more empty value, keep the runs.
  ASSERT_TRUE(index.bRemoveRecord(1, nullptr));
  ASSERT_TRUE(index.bAddRecord(1, nullptr, nullptr));
  records_.AddText("");
  ASSERT_TRUE(index.bAddRecord(5, nullptr, nullptr));
  EXPECT_EQ((std::vector<int32_t>{3, 1, 0, 4, 5, 2}), index.Entries());
  EXPECT_EQ(4, index.nGetEmptyRunEnd());
}

}  // namespace
