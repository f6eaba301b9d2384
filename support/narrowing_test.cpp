#include "support/narrowing.h"

#include <gtest/gtest.h>

namespace {

TEST(Narrowing, LowBitsAlwaysAndRangeAtTheEdges) {
  int8_t i1 = 0;
  int16_t i2 = 0;
  int32_t i4 = 0;
  uint8_t u1 = 0;
  uint16_t u2 = 0;
  uint32_t u4 = 0;
  EXPECT_TRUE(bCastI8ToI1(-128, &i1));
  EXPECT_FALSE(bCastI8ToI1(128, &i1));
  EXPECT_EQ(i1, -128);  // low byte of 128
  EXPECT_TRUE(bCastI8ToI2(32767, &i2));
  EXPECT_FALSE(bCastI8ToI2(-32769, &i2));
  EXPECT_EQ(i2, 32767);
  EXPECT_TRUE(bCastI8ToI4(INT32_MIN, &i4));
  EXPECT_FALSE(bCastI8ToI4(int64_t{1} << 32, &i4));
  EXPECT_EQ(i4, 0);
  EXPECT_FALSE(bCastI8ToUI1(-1, &u1));
  EXPECT_EQ(u1, 255);
  EXPECT_TRUE(bCastI8ToUI2(65535, &u2));
  EXPECT_FALSE(bCastI8ToUI4(int64_t{1} << 32, &u4));
  EXPECT_TRUE(bCastI8ToUI4(UINT32_MAX, &u4));
  EXPECT_TRUE(bCastUI8ToI1(127, &i1));
  EXPECT_FALSE(bCastUI8ToI1(UINT64_MAX, &i1));
  EXPECT_EQ(i1, -1);
  EXPECT_FALSE(bCastUI8ToI2(32768, &i2));
  EXPECT_FALSE(bCastUI8ToI4(uint64_t{1} << 31, &i4));
  EXPECT_EQ(i4, INT32_MIN);
  EXPECT_TRUE(bCastUI8ToUI1(255, &u1));
  EXPECT_FALSE(bCastUI8ToUI1(256, &u1));
  EXPECT_EQ(u1, 0);
  EXPECT_FALSE(bCastUI8ToUI2(uint64_t{1} << 40, &u2));
  EXPECT_TRUE(bCastUI8ToUI4(UINT32_MAX, &u4));
}

}  // namespace
