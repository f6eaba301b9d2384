#include "driver/core/support/sortable_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The image of a number of the Velisc type `type`, in an image of its size.
template <typename T>
Bytes Image(int type, T v) {
  int cls = nHostTypeToStorageClass(nHostTypeToInternalType(type));
  Bytes out(nSortableKeySize(type, sizeof(T)), 0xEE);
  size_t n = nEncodeSortableKey(out.data(), out.size(), &v, sizeof(T), cls, 0, 0);
  EXPECT_EQ(sizeof(T), n);
  return out;
}

TEST(SortableKey, WorkedExamplesAndMaps) {
  EXPECT_EQ((Bytes{0x80, 0, 0, 1}), Image<int32_t>(8, 1));
  EXPECT_EQ((Bytes{0x7F, 0xFF, 0xFF, 0xFF}), Image<int32_t>(8, -1));
  // Negative and positive zero differ.
  EXPECT_EQ((Bytes{0x80, 0, 0, 0, 0, 0, 0, 0}), Image<double>(12, 0.0));
  EXPECT_EQ((Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), Image<double>(12, -0.0));
  // A type without its own key type is encoded as I4.
  EXPECT_EQ(5, nHostTypeToInternalType(200));
  EXPECT_EQ(4, nHostTypeToStorageClass(nHostTypeToInternalType(200)));
  EXPECT_EQ(37, nHostTypeToInternalType(0x10000 + 1));  // taken as 16 bits: BOOL
  EXPECT_EQ(-1, nHostTypeToStorageClass(63));
  EXPECT_EQ(29, nHostTypeToStorageClass(55));

  struct SizeCase {
    int type;
    size_t n;
    size_t size;
  } sizes[] = {{18, 5, 6}, {24, 8, 9}, {28, 5, 10}, {16, 6, 14}, {110, 6, 14},
               {13, 18, 32}, {8, 4, 4}, {26, 8, 8}};
  for (const SizeCase& c : sizes) EXPECT_EQ(c.size, nSortableKeySize(c.type, c.n)) << c.type;
}

// Bytewise order of the images follows the order of the values.
template <typename T>
void CheckOrder(int type, std::vector<T> values) {
  std::sort(values.begin(), values.end());
  for (size_t i = 1; i < values.size(); ++i) {
    Bytes a = Image<T>(type, values[i - 1]);
    Bytes b = Image<T>(type, values[i]);
    if (values[i - 1] < values[i]) {
      EXPECT_LT(a, b) << +values[i - 1] << " < " << +values[i] << " type " << type;
    }
  }
}

template <typename T>
std::vector<T> Samples(std::mt19937_64& rng) {
  std::vector<T> v = {std::numeric_limits<T>::lowest(), std::numeric_limits<T>::max(), T(0),
                      T(1)};
  if constexpr (std::is_signed_v<T>) v.push_back(T(-1));
  for (int i = 0; i < 200; ++i) {
    if constexpr (std::is_floating_point_v<T>) {
      double mantissa = double(int64_t(rng())) / 9.2e18;
      v.push_back(static_cast<T>(std::ldexp(mantissa, int(rng() % 200) - 100)));
    } else {
      v.push_back(static_cast<T>(rng()));
    }
  }
  return v;
}

TEST(SortableKey, NumbersSortBytewise) {
  std::mt19937_64 rng(7);
  CheckOrder<int8_t>(6, Samples<int8_t>(rng));
  CheckOrder<int16_t>(7, Samples<int16_t>(rng));
  CheckOrder<int32_t>(8, Samples<int32_t>(rng));
  CheckOrder<int64_t>(9, Samples<int64_t>(rng));
  CheckOrder<int64_t>(27, Samples<int64_t>(rng));  // DUREE
  CheckOrder<uint8_t>(2, Samples<uint8_t>(rng));
  CheckOrder<uint16_t>(3, Samples<uint16_t>(rng));
  CheckOrder<uint32_t>(4, Samples<uint32_t>(rng));
  CheckOrder<uint64_t>(5, Samples<uint64_t>(rng));
  CheckOrder<float>(11, Samples<float>(rng));
  CheckOrder<double>(12, Samples<double>(rng));
}

TEST(SortableKey, DateTimeSortsByDateThenTime) {
  struct Dt {
    uint8_t day, month;
    uint16_t year;
    uint32_t ms;
  };
  const Dt ordered[] = {{31, 12, 1999, 86399999}, {1, 1, 2000, 0}, {1, 1, 2000, 1},
                        {2, 1, 2000, 0},          {1, 2, 2000, 0}, {1, 1, 2001, 0}};
  Bytes previous;
  for (const Dt& d : ordered) {
    Bytes out(8);
    ASSERT_EQ(8u, nEncodeSortableKey(out.data(), 8, &d, 8, 15, 0, 0));
    if (!previous.empty()) {
      EXPECT_LT(previous, out);
    }
    previous = out;
  }
}

TEST(SortableKey, TextsArePaddedAndAlwaysTerminated) {
  Bytes out(4, 0xEE);
  // Class 1: "abcdef" in a 4-byte image keeps 3 bytes and a 0.
  EXPECT_EQ(4u, nEncodeSortableKey(out.data(), 4, "abcdef", 7, 1, 0, 0));
  EXPECT_EQ((Bytes{'a', 'b', 'c', 0}), out);
  out.assign(6, 0xEE);
  EXPECT_EQ(3u, nEncodeSortableKey(out.data(), 6, "ab", 3, 1, 0, 0));
  EXPECT_EQ((Bytes{'a', 'b', 0, 0, 0, 0}), out);
  out.assign(4, 0xEE);
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 4, "", 0, 1, 0, 0));
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 4, nullptr, 3, 1, 0, 0));
  EXPECT_EQ((Bytes(4, 0xEE)), out);  // nothing written

  // Class 20: the last whole 16-bit unit is forced to 0.
  const char16_t text[] = u"abcd";
  out.assign(6, 0xEE);
  EXPECT_EQ(6u, nEncodeSortableKey(out.data(), 6, text, 10, 20, 0, 0));
  EXPECT_EQ((Bytes{'a', 0, 'b', 0, 0, 0}), out);
  out.assign(8, 0xEE);
  EXPECT_EQ(4u, nEncodeSortableKey(out.data(), 8, text, 4, 20, 0, 0));
  EXPECT_EQ((Bytes{'a', 0, 'b', 0, 0, 0, 0, 0}), out);
}

TEST(SortableKey, BinaryAsHexCutAtHalfTheImage) {
  const uint8_t bytes[] = {0x0A, 0xFF, 0x30};
  Bytes out(4, 0xEE);
  EXPECT_EQ(4u, nEncodeSortableKey(out.data(), 4, bytes, 3, 17, 0, 0));
  EXPECT_EQ((Bytes{'0', 'a', 'f', 'f'}), out);
  out.assign(8, 0xEE);
  EXPECT_EQ(6u, nEncodeSortableKey(out.data(), 8, bytes, 3, 17, 0, 0));
  EXPECT_EQ((Bytes{'0', 'a', 'f', 'f', '3', '0', 0x30, 0x30}), out);
}

TEST(SortableKey, ClassesWithoutImageAndUndersizedBuffers) {
  uint8_t source[32] = {1, 2, 3};
  Bytes out(32, 0xEE);
  for (int type : {29, 160, 13}) {  // BUFFER, OBJET_MDPS, DECIMAL
    int cls = nHostTypeToStorageClass(nHostTypeToInternalType(type));
    EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 32, source, 16, cls, 10, 2)) << type;
  }
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 32, source, 8, -1, 0, 0));
  // A fixed-width class never writes past a short image or reads past a
  // short source.
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 3, source, 4, 4, 0, 0));
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 8, source, 4, 5, 0, 0));
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 8, source, 9, 14, 0, 0));
  EXPECT_EQ((Bytes(32, 0xEE)), out);
  // UUIDs are copied.
  EXPECT_EQ(16u, nEncodeSortableKey(out.data(), 16, source, 16, 25, 0, 0));
  EXPECT_EQ(0, std::memcmp(out.data(), source, 16));
}

TEST(SortableKey, CurrencySignByteFirst) {
  // The last of the ten bytes carries the sign: it leads, offset by 128.
  uint8_t plus[10] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  uint8_t minus[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  Bytes a(10);
  Bytes b(10);
  ASSERT_EQ(10u, nEncodeSortableKey(a.data(), 10, plus, 10, 14, 0, 0));
  ASSERT_EQ(10u, nEncodeSortableKey(b.data(), 10, minus, 10, 14, 0, 0));
  EXPECT_EQ((Bytes{0x80, 0, 0, 0, 0, 0, 0, 0, 0, 1}), a);
  EXPECT_LT(b, a);
}

}  // namespace
