#include "support/streams/simple_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(SimpleBufferTest, ResizeReplacesTheBlockAndSetCopies) {
  CSimpleBuffer b(4);
  ASSERT_NE(b.pGetData(), nullptr);
  EXPECT_EQ(b.nGetSize(), 4u);
  std::memcpy(b.pGetData(), "abcd", 4);
  const uint8_t* before = b.pGetData();
  EXPECT_TRUE(b.bResize(4));  // same size: the block and its bytes stay
  EXPECT_EQ(b.pGetData(), before);
  EXPECT_EQ(std::memcmp(b.pGetData(), "abcd", 4), 0);

  ASSERT_TRUE(b.bSet(b.pGetData() + 1, 2));  // from its own block
  EXPECT_EQ(b.nGetSize(), 2u);
  EXPECT_EQ(std::memcmp(b.pGetData(), "bc", 2), 0);

  EXPECT_TRUE(b.bResize(0));
  EXPECT_EQ(b.pGetData(), nullptr);
  EXPECT_EQ(b.nGetSize(), 0u);
  ASSERT_TRUE(b.bSet(nullptr, 5));
  EXPECT_EQ(b.nGetSize(), 0u);

  // Through the base, as the streams use it.
  CSimpleBufferBase* base = &b;
  ASSERT_TRUE(base->bResize(16));
  EXPECT_EQ(b.nGetSize(), 16u);
}

}  // namespace
