#include "driver/sql/block_pool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <utility>
#include <random>
#include <vector>

namespace {

// A heap that refuses while `refuse` is set and counts live pages.
struct TestHeap {
  static inline bool refuse = false;
  static inline int live = 0;
  static void* Alloc(size_t n) {
    if (refuse) return nullptr;
    ++live;
    return std::malloc(n);
  }
  static void Free(void* p) {
    --live;
    std::free(p);
  }
};

class BlockPool : public ::testing::Test {
 protected:
  void SetUp() override {
    TestHeap::refuse = false;
    TestHeap::live = 0;
  }
  void TearDown() override {
    pool_.Clear();
    EXPECT_EQ(0, TestHeap::live);
  }
  CNABlockPool pool_;
};

TEST_F(BlockPool, PagesMoveBetweenListsAndLastPageStays) {
  pool_.Init(3, 10, &TestHeap::Alloc, &TestHeap::Free);
  std::vector<void*> blocks;
  for (int i = 0; i < 3; ++i) blocks.push_back(pool_.pAlloc());
  EXPECT_EQ(1u, pool_.nGetPageCount());
  EXPECT_EQ(1u, pool_.nGetFullPageCount());
  // Blocks of one page are distinct and their usable bytes hold 10 bytes.
  for (void* b : blocks) std::memset(static_cast<uint8_t*>(b) + 4, 0xAB, 10);
  void* fourth = pool_.pAlloc();
  EXPECT_EQ(2u, pool_.nGetPageCount());
  EXPECT_EQ(4u, pool_.nGetBlockCount());

  // The full page comes back to the list with free blocks.
  pool_.Free(static_cast<uint8_t*>(blocks[0]) + 4);
  EXPECT_EQ(0u, pool_.nGetFullPageCount());
  // Emptying the first page gives it back: it shares its list.
  pool_.Free(static_cast<uint8_t*>(blocks[1]) + 4);
  pool_.Free(static_cast<uint8_t*>(blocks[2]) + 4);
  EXPECT_EQ(1u, pool_.nGetPageCount());
  EXPECT_EQ(1, TestHeap::live);
  // The pool's only page stays when its last block goes.
  pool_.Free(static_cast<uint8_t*>(fourth) + 4);
  EXPECT_EQ(1u, pool_.nGetPageCount());
  EXPECT_EQ(0u, pool_.nGetBlockCount());
  EXPECT_EQ(1, TestHeap::live);
  TestHeap::refuse = true;  // and serves the next allocation
  EXPECT_NE(nullptr, pool_.pAlloc());
}

TEST_F(BlockPool, RefusedPageLeavesThePoolUnchanged) {
  pool_.Init(2, 8, &TestHeap::Alloc, &TestHeap::Free);
  TestHeap::refuse = true;
  EXPECT_EQ(nullptr, pool_.pAlloc());
  EXPECT_EQ(0u, pool_.nGetPageCount());
  TestHeap::refuse = false;
  uint32_t a = pool_.nAllocHandle();
  uint32_t b = pool_.nAllocHandle();
  ASSERT_NE(0u, a);
  ASSERT_NE(0u, b);
  TestHeap::refuse = true;
  EXPECT_EQ(0u, pool_.nAllocHandle());
  EXPECT_EQ(1u, pool_.nGetPageCount());
  EXPECT_EQ(2u, pool_.nGetBlockCount());
  EXPECT_EQ(1u, pool_.nGetFullPageCount());
  TestHeap::refuse = false;
  pool_.FreeHandle(a);
  EXPECT_EQ(a, pool_.nAllocHandle());  // the freed block is reused
}

TEST_F(BlockPool, ClearGivesBackPagesInUse) {
  pool_.Init(4, 16, &TestHeap::Alloc, &TestHeap::Free);
  for (int i = 0; i < 10; ++i) ASSERT_NE(0u, pool_.nAllocHandle());
  EXPECT_EQ(3, TestHeap::live);
  pool_.Clear();
  EXPECT_EQ(0, TestHeap::live);
  EXPECT_EQ(0u, pool_.nGetPageCount());
  EXPECT_EQ(0u, pool_.nGetBlockCount());
  EXPECT_NE(0u, pool_.nAllocHandle());  // usable again
}

// Random allocations and frees against a shadow map: blocks never overlap,
// keep their bytes, and the counts agree.
TEST_F(BlockPool, RandomUseKeepsBlocksApart) {
  pool_.Init(7, 12, &TestHeap::Alloc, &TestHeap::Free);
  std::mt19937 rng(1);
  std::vector<std::pair<uint32_t, uint32_t>> live;  // handle, stamp
  uint32_t stamp = 0;
  for (int step = 0; step < 200000; ++step) {
    bool alloc = live.empty() || rng() % 100 < (step < 100000 ? 55u : 40u);
    if (alloc) {
      uint32_t h = pool_.nAllocHandle();
      ASSERT_NE(0u, h);
      ++stamp;
      for (int i = 0; i < 3; ++i) std::memcpy(pool_.pBlock(h) + 4 * i, &stamp, 4);
      live.emplace_back(h, stamp);
    } else {
      auto it = live.begin() + rng() % live.size();
      for (int i = 0; i < 3; ++i) {
        uint32_t seen;
        std::memcpy(&seen, pool_.pBlock(it->first) + 4 * i, 4);
        ASSERT_EQ(it->second, seen);
      }
      if (rng() % 2) {
        pool_.FreeHandle(it->first);
      } else {
        pool_.Free(pool_.pBlock(it->first));
      }
      *it = live.back();
      live.pop_back();
    }
    ASSERT_EQ(live.size(), pool_.nGetBlockCount());
    // Every page but one holds a live block.
    ASSERT_LE(pool_.nGetPageCount(), live.size() + 1);
  }
  for (auto& [h, s] : live) pool_.FreeHandle(h);
  EXPECT_EQ(1u, pool_.nGetPageCount());
}

}  // namespace
