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

TEST_F(RandomBytes, BothSourcesFailingUseSeededHashBlocks) {
  SetRandomSourcesForTest(FailingKernel, FailingDevice);
  uint8_t bytes[70];
  ASSERT_TRUE(bFillRandomBytes(bytes, sizeof bytes));
  EXPECT_EQ(1, g_kernel_calls);
  EXPECT_EQ(1, g_device_calls);
  // A block is not the hash of the one before: seeing the first 32 bytes
  // does not give the rest.
  uint8_t chained[32];
  CNAHashContext hash;
  hash.Update(bytes, 32);
  hash.Final(chained);
  EXPECT_NE(0, std::memcmp(chained, bytes + 32, 32));
  ExpectNoRepeat(20000);
}

TEST_F(RandomBytes, SeededBlocksHashSeedAndBlockIndex) {
  const char seed[] = "fixed seed";
  uint8_t bytes[70];
  FillRandomFromSeed(seed, sizeof seed, bytes, sizeof bytes);
  // 32 + 32 + 6 bytes: block i is SHA-256(seed, i as 8 little-endian bytes).
  for (int block = 0; block < 3; ++block) {
    uint8_t index[8] = {uint8_t(block), 0, 0, 0, 0, 0, 0, 0};
    uint8_t expected[32];
    CNAHashContext hash;
    hash.Update(seed, sizeof seed);
    hash.Update(index, sizeof index);
    hash.Final(expected);
    size_t length = block < 2 ? 32 : 6;
    EXPECT_EQ(0, std::memcmp(expected, bytes + 32 * block, length)) << "block " << block;
  }
  // Reference from an independent SHA-256: block 0 of this seed.
  const uint8_t reference[8] = {0x0d, 0xea, 0x61, 0x26, 0xc4, 0xed, 0x03, 0xfd};
  EXPECT_EQ(0, std::memcmp(reference, bytes, sizeof reference));
}

TEST_F(RandomBytes, UuidsCarryVersion4AndTheVariant) {
  std::unordered_set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    uint8_t uuid[16];
    FillUuidV4(uuid);
    EXPECT_EQ(0x40, uuid[6] & 0xF0);
    EXPECT_EQ(0x80, uuid[8] & 0xC0);
    EXPECT_TRUE(seen.emplace(reinterpret_cast<char*>(uuid), 16).second);
  }
}

}  // namespace
}  // namespace qg
