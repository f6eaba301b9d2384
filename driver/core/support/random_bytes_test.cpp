#include "driver/core/support/random_bytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unordered_set>

#include "driver/core/support/hash_context.h"

namespace qg {
namespace {

int g_kernel_calls = 0;
int g_device_calls = 0;
bool FailingKernel(void*, size_t) {
  ++g_kernel_calls;
  return false;
}
bool FailingDevice(void*, size_t) {
  ++g_device_calls;
  return false;
}
bool PatternDevice(void* buffer, size_t count) {
  ++g_device_calls;
  std::memset(buffer, 0xA5, count);
  return true;
}

class RandomBytes : public ::testing::Test {
 protected:
  void SetUp() override { g_kernel_calls = g_device_calls = 0; }
  void TearDown() override { SetRandomSourcesForTest(nullptr, nullptr); }
};

void ExpectNoRepeat(int draws) {
  std::unordered_set<std::string> seen;
  for (int i = 0; i < draws; ++i) {
    char bytes[16];
    ASSERT_TRUE(bFillRandomBytes(bytes, sizeof bytes));
    ASSERT_TRUE(seen.emplace(bytes, sizeof bytes).second) << "repeat at draw " << i;
  }
}

TEST_F(RandomBytes, ZeroCountSucceedsWithoutWriting) {
  char sentinel = 'x';
  EXPECT_TRUE(bFillRandomBytes(&sentinel, 0));
  EXPECT_EQ('x', sentinel);
  EXPECT_TRUE(bFillRandomBytes(nullptr, 0));
}

TEST_F(RandomBytes, SystemDrawsDoNotRepeat) { ExpectNoRepeat(100000); }

TEST_F(RandomBytes, FailedKernelSourceFallsToDevice) {
  SetRandomSourcesForTest(FailingKernel, PatternDevice);
  unsigned char bytes[40];
  ASSERT_TRUE(bFillRandomBytes(bytes, sizeof bytes));
  EXPECT_EQ(1, g_kernel_calls);
  EXPECT_EQ(1, g_device_calls);
  for (unsigned char b : bytes) EXPECT_EQ(0xA5, b);
}

TEST_F(RandomBytes, BothSourcesFailingUseChainedHashBlocks) {
  SetRandomSourcesForTest(FailingKernel, FailingDevice);
  uint8_t bytes[70];
  ASSERT_TRUE(bFillRandomBytes(bytes, sizeof bytes));
  EXPECT_EQ(1, g_kernel_calls);
  EXPECT_EQ(1, g_device_calls);
  // Three blocks of 32, 32 and 6 bytes, each the hash of the one before.
  uint8_t next[32];
  CNAHashContext hash;
  hash.Update(bytes, 32);
  hash.Final(next);
  EXPECT_EQ(0, std::memcmp(next, bytes + 32, 32));
  hash.Reset();
  hash.Update(bytes + 32, 32);
  hash.Final(next);
  EXPECT_EQ(0, std::memcmp(next, bytes + 64, 6));

  ExpectNoRepeat(20000);
}

}  // namespace
}  // namespace qg
