#include "driver/sql/key_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

using Key = std::array<uint8_t, 4>;
using Data = std::array<uint8_t, 4>;
using Pair = std::pair<Key, Data>;

Key MakeKey(uint32_t v) {  // big-endian: byte order is value order
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
Data MakeData(uint32_t entry) {  // as stored: little-endian
  Data d;
  std::memcpy(d.data(), &entry, 4);
  return d;
}

Pair Current(CNAKeyTree& tree) {
  Pair p;
  std::memcpy(p.first.data(), tree.pCurrentKey(), 4);
  std::memcpy(p.second.data(), tree.pCurrentData(), 4);
  return p;
}

TEST(KeyTree, SizesFollowOrderKeyAndData) {
  CNAKeyTree tree;
  ASSERT_TRUE(tree.bInit(32, 8, 4));
  EXPECT_EQ(400u, tree.nNodeSize());
  EXPECT_EQ(408u, tree.nLeafSize());
  EXPECT_EQ(10u, tree.NodePool().nGetBlocksPerPage());
  EXPECT_EQ(9u, tree.LeafPool().nGetBlocksPerPage());
  const uint32_t set_sizes[] = {12, 20, 36, 68, 132, 260};
  for (uint32_t c = 0; c < 6; ++c) EXPECT_EQ(set_sizes[c], tree.DuplicatePool(c).nGetBlockSize());

  ASSERT_TRUE(tree.bInit(0, 8, 3));
  EXPECT_EQ(32u, tree.nGetOrder());
  EXPECT_EQ(4u, tree.nGetDataSize());
  ASSERT_TRUE(tree.bInit(32, 8, 0));
  EXPECT_EQ(32u * 8 + 20, tree.nLeafSize());
}

TEST(KeyTree, DuplicatesOrderedByStoredBytes) {
  CNAKeyTree tree;
  ASSERT_TRUE(tree.bInit(4, 4, 4));
  Key k = MakeKey(7);
  for (uint32_t e : {1u, 256u, 2u}) {
    Data d = MakeData(e);
    ASSERT_EQ(CNAKeyTree::kInserted, tree.nInsert(k.data(), d.data()));
  }
  Data again = MakeData(256);
  EXPECT_EQ(CNAKeyTree::kExists, tree.nInsert(k.data(), again.data()));
  EXPECT_EQ(3, tree.nGetCount());
  // 256 is stored 00 01 00 00 and comes before 1 (01 00 00 00).
  ASSERT_TRUE(tree.bFirst());
  std::vector<uint32_t> order;
  do {
    uint32_t e;
    std::memcpy(&e, tree.pCurrentData(), 4);
    order.push_back(e);
  } while (tree.nMove(1) == 1);
  EXPECT_EQ((std::vector<uint32_t>{256, 1, 2}), order);
}

// A differential test against an ordered set of (key, data) pairs: random
// inserts and removals with heavy duplication, a hot key driven through
// every duplicate-set class and back, and positioning checked against the
// reference after every step.
class KeyTreeDifferential : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override { ASSERT_TRUE(tree_.bInit(GetParam(), 4, 4)); }

  void Insert(uint32_t k, uint32_t e) {
    Pair p{MakeKey(k), MakeData(e)};
    bool fresh = ref_.insert(p).second;
    ASSERT_EQ(fresh ? CNAKeyTree::kInserted : CNAKeyTree::kExists,
              tree_.nInsert(p.first.data(), p.second.data()));
    Observe();
  }
  void Remove(uint32_t k, uint32_t e, bool observe = true) {
    Pair p{MakeKey(k), MakeData(e)};
    bool present = ref_.erase(p) == 1;
    ASSERT_EQ(present, tree_.bRemove(p.first.data(), p.second.data()));
    if (observe) Observe();  // moves the position
  }
  // Records the hot key's set class transitions.
  void Observe() {
    Key hot = MakeKey(kHot);
    bool found = false;
    tree_.bSeek(hot.data(), &found);
    int cls = found ? tree_.nCurrentSetClass() : -2;
    if (cls != hot_class_) transitions_.insert({hot_class_, cls});
    hot_class_ = cls;
  }
  void CheckAll() {
    ASSERT_TRUE(tree_.bCheck());
    ASSERT_EQ(static_cast<int64_t>(ref_.size()), tree_.nGetCount());
    std::vector<Pair> walked;
    if (tree_.bFirst()) {
      do {
        walked.push_back(Current(tree_));
        ASSERT_EQ(static_cast<int64_t>(walked.size()) - 1, tree_.nGetOrdinal());
      } while (tree_.nMove(1) == 1);
    }
    ASSERT_EQ(std::vector<Pair>(ref_.begin(), ref_.end()), walked);
    // Backward from the last item.
    if (tree_.bLast()) {
      auto it = ref_.rbegin();
      size_t n = 0;
      do {
        ASSERT_EQ(*it++, Current(tree_));
        ++n;
      } while (tree_.nMove(-1) == 1);
      ASSERT_EQ(ref_.size(), n);
    }
  }
  void CheckPositioning(std::mt19937& rng) {
    if (ref_.empty()) {
      EXPECT_FALSE(tree_.bFirst());
      EXPECT_EQ(nullptr, tree_.pCurrentKey());
      return;
    }
    std::vector<Pair> all(ref_.begin(), ref_.end());
    int64_t n = static_cast<int64_t>(all.size());
    int64_t at = rng() % n;
    ASSERT_TRUE(tree_.bSeekOrdinal(at));
    ASSERT_EQ(all[at], Current(tree_));
    // Moves by n, whole or partial.
    int64_t step = static_cast<int64_t>(rng() % 200) - 100;
    int64_t target = at + step;
    if (target >= 0 && target < n) {
      ASSERT_EQ(step < 0 ? -step : step, tree_.nMove(step));
      ASSERT_EQ(all[target], Current(tree_));
    } else if (step != 0) {
      ASSERT_EQ(0, tree_.nMove(step));
      ASSERT_EQ(all[at], Current(tree_));  // a refused move stays
      int64_t clamped = target < 0 ? 0 : n - 1;
      int64_t made = tree_.nMove(step, CNAKeyTree::kMovePartial);
      ASSERT_EQ(clamped > at ? clamped - at : at - clamped, made);
      ASSERT_EQ(all[clamped], Current(tree_));
    }
    // Seeking a key lands on its first pair or the next greater key.
    uint32_t k = rng() % kKeys;
    Key key = MakeKey(k);
    auto lower = ref_.lower_bound({key, Data{}});
    bool found = false;
    bool on = tree_.bSeek(key.data(), &found);
    ASSERT_EQ(lower != ref_.end(), on);
    if (on) {
      ASSERT_EQ(*lower, Current(tree_));
      ASSERT_EQ(lower->first == key, found);
    }
    // Removing the current pair: no current item; one step either way
    // reaches its neighbours.
    Pair victim = all[rng() % n];
    ASSERT_TRUE(tree_.bSeekPair(victim.first.data(), victim.second.data()));
    auto it = ref_.find(victim);
    auto next = std::next(it);
    bool has_prev = it != ref_.begin();
    Pair prev = has_prev ? *std::prev(it) : Pair{};
    uint32_t vk = (uint32_t(victim.first[0]) << 24) | (victim.first[1] << 16) |
                  (victim.first[2] << 8) | victim.first[3];
    uint32_t ve;
    std::memcpy(&ve, victim.second.data(), 4);
    bool has_next = next != ref_.end();
    Pair after = has_next ? *next : Pair{};
    Remove(vk, ve, false);
    ASSERT_EQ(nullptr, tree_.pCurrentKey());
    if (rng() % 2) {
      ASSERT_EQ(has_next ? 1 : 0, tree_.nMove(1));
      if (has_next) {
        ASSERT_EQ(after, Current(tree_));
      }
    } else {
      ASSERT_EQ(has_prev ? 1 : 0, tree_.nMove(-1));
      if (has_prev) {
        ASSERT_EQ(prev, Current(tree_));
      }
    }
  }

  static constexpr uint32_t kKeys = 300;
  static constexpr uint32_t kHot = 150;
  CNAKeyTree tree_;
  std::set<Pair> ref_;
  int hot_class_ = -2;
  std::set<std::pair<int, int>> transitions_;
};

TEST_P(KeyTreeDifferential, MatchesAnOrderedSetOfPairs) {
  std::mt19937 rng(GetParam() * 7919 + 1);
  for (int round = 0; round < 3; ++round) {
    // Grow: random pairs over few keys, the hot key up to 80 items.
    for (int i = 0; i < 1500; ++i) {
      Insert(rng() % kKeys, rng() % 40);
      if (i % 18 == 0) Insert(kHot, rng() % 100);
      if (i % 97 == 0) {
        ASSERT_NO_FATAL_FAILURE(CheckAll());
      }
    }
    for (uint32_t e = 0; e < 80; ++e) Insert(kHot, e);
    ASSERT_NO_FATAL_FAILURE(CheckAll());
    for (int i = 0; i < 200; ++i) ASSERT_NO_FATAL_FAILURE(CheckPositioning(rng));
    // Shrink: the hot key one by one down to nothing, then random removals.
    std::vector<uint32_t> hot;
    for (const Pair& p : ref_) {
      if (p.first == MakeKey(kHot)) {
        uint32_t e;
        std::memcpy(&e, p.second.data(), 4);
        hot.push_back(e);
      }
    }
    std::shuffle(hot.begin(), hot.end(), rng);
    for (uint32_t e : hot) {
      Remove(kHot, e);
      if (e % 5 == 0) {
        ASSERT_NO_FATAL_FAILURE(CheckAll());
      }
    }
    for (int i = 0; i < 3000 && !ref_.empty(); ++i) {
      if (i % 3 == 0) {
        Remove(rng() % kKeys, rng() % 40);  // mostly absent
      } else {
        auto it = ref_.begin();
        std::advance(it, rng() % ref_.size());
        Pair p = *it;
        uint32_t k = (uint32_t(p.first[0]) << 24) | (p.first[1] << 16) | (p.first[2] << 8) |
                     p.first[3];
        uint32_t e;
        std::memcpy(&e, p.second.data(), 4);
        Remove(k, e);
      }
      if (i % 97 == 0) {
        ASSERT_NO_FATAL_FAILURE(CheckAll());
      }
    }
    ASSERT_NO_FATAL_FAILURE(CheckAll());
  }
  // Emptied completely, the tree gives its pages back but one per pool.
  std::vector<Pair> rest(ref_.begin(), ref_.end());
  for (const Pair& p : rest) {
    ASSERT_TRUE(tree_.bRemove(p.first.data(), p.second.data()));
  }
  ref_.clear();
  ASSERT_NO_FATAL_FAILURE(CheckAll());
  EXPECT_EQ(0u, tree_.NodePool().nGetBlockCount());
  EXPECT_EQ(0u, tree_.LeafPool().nGetBlockCount());

  // Every class was crossed both ways: single item (-1), classes 0..5,
  // the nested tree (6) and back, and the key's removal (-2).
  for (std::pair<int, int> t : {std::pair{-2, -1}, {-1, 0}, {0, 1}, {1, 2}, {2, 3}, {3, 4},
                                {4, 5}, {5, 6}, {6, 5}, {5, 4}, {4, 3}, {3, 2}, {2, 1}}) {
    EXPECT_EQ(1u, transitions_.count(t)) << t.first << " -> " << t.second;
  }
}

INSTANTIATE_TEST_SUITE_P(Orders, KeyTreeDifferential, ::testing::Values(2u, 3u, 32u));

TEST(KeyTree, NestedSetBoundaries) {
  CNAKeyTree tree;
  ASSERT_TRUE(tree.bInit(32, 4, 4));
  Key k = MakeKey(1);
  for (uint32_t e = 0; e < 64; ++e) {
    Data d = MakeData(e);
    ASSERT_EQ(CNAKeyTree::kInserted, tree.nInsert(k.data(), d.data()));
  }
  bool found;
  tree.bSeek(k.data(), &found);
  EXPECT_EQ(5, tree.nCurrentSetClass());
  Data d64 = MakeData(64);
  ASSERT_EQ(CNAKeyTree::kInserted, tree.nInsert(k.data(), d64.data()));
  tree.bSeek(k.data(), &found);
  EXPECT_EQ(6, tree.nCurrentSetClass());  // the 65th item: a nested tree
  EXPECT_EQ(65u, tree.nCurrentKeyItems());
  for (uint32_t e = 64; e > 55; --e) {
    Data d = MakeData(e);
    ASSERT_TRUE(tree.bRemove(k.data(), d.data()));
    tree.bSeek(k.data(), &found);
    EXPECT_EQ(6, tree.nCurrentSetClass()) << e;
  }
  Data d55 = MakeData(55);
  ASSERT_TRUE(tree.bRemove(k.data(), d55.data()));  // 55 left
  tree.bSeek(k.data(), &found);
  EXPECT_EQ(5, tree.nCurrentSetClass());
  EXPECT_EQ(55u, tree.nCurrentKeyItems());
  EXPECT_TRUE(tree.bCheck());
}

}  // namespace
