#include "driver/core/support/sortable_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
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
      if (i == 0) {
        v.push_back(std::numeric_limits<T>::infinity());
        v.push_back(-std::numeric_limits<T>::infinity());
        v.push_back(std::numeric_limits<T>::denorm_min());
        v.push_back(-std::numeric_limits<T>::denorm_min());
      }
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

  // Class 20: units high byte first, the last whole 16-bit unit forced to 0.
  const char16_t text[] = u"abcd";
  out.assign(6, 0xEE);
  EXPECT_EQ(6u, nEncodeSortableKey(out.data(), 6, text, 10, 20, 0, 0));
  EXPECT_EQ((Bytes{0, 'a', 0, 'b', 0, 0}), out);
  out.assign(8, 0xEE);
  EXPECT_EQ(4u, nEncodeSortableKey(out.data(), 8, text, 4, 20, 0, 0));
  EXPECT_EQ((Bytes{0, 'a', 0, 'b', 0, 0, 0, 0}), out);
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
  for (int type : {29, 160}) {  // BUFFER, OBJET_MDPS
    int cls = nHostTypeToStorageClass(nHostTypeToInternalType(type));
    EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 32, source, 16, cls, 10, 2)) << type;
  }
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 32, source, 8, -1, 0, 0));
  // A fixed-width class never writes past a short image or reads past a
  // short source.
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 3, source, 4, 4, 0, 0));
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 8, source, 4, 5, 0, 0));
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 8, source, 9, 14, 0, 0));
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 31, source, 18, 22, 10, 2));  // DECIMAL
  EXPECT_EQ(0u, nEncodeSortableKey(out.data(), 32, source, 17, 22, 10, 2));
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

// Random values of a class sorted by their images equal their native order.
template <typename V, typename Less, typename Encode>
void CheckSortedByImage(std::vector<V> values, Less less, Encode encode) {
  std::vector<std::pair<Bytes, size_t>> images;
  for (size_t i = 0; i < values.size(); ++i) images.emplace_back(encode(values[i]), i);
  std::sort(images.begin(), images.end());
  for (size_t i = 1; i < images.size(); ++i) {
    const V& a = values[images[i - 1].second];
    const V& b = values[images[i].second];
    EXPECT_FALSE(less(b, a)) << "image order breaks at " << i;
    if (images[i - 1].first == images[i].first) {
      EXPECT_FALSE(less(a, b)) << "equal images of different values at " << i;
    }
  }
}

TEST(SortableKey, CurrencySortsBytewise) {
  std::mt19937_64 rng(11);
  const __int128 kMax = (static_cast<__int128>(1) << 79) - 1;
  std::vector<__int128> values = {kMax, -kMax - 1, 0, 1, -1};
  for (int i = 0; i < 300; ++i) {
    __int128 v = (static_cast<__int128>(rng()) << 64 | rng()) % kMax;
    values.push_back(i % 2 ? v : -v);
  }
  CheckSortedByImage(values, std::less<__int128>(), [](__int128 v) {
    uint8_t source[10];
    for (int i = 0; i < 10; ++i) source[i] = static_cast<uint8_t>(v >> (8 * i));
    Bytes out(10);
    EXPECT_EQ(10u, nEncodeSortableKey(out.data(), 10, source, 10, 14, 0, 0));
    return out;
  });
}

// The 18-byte decimal form: precision, scale, 128-bit mantissa.
Bytes DecimalForm(__int128 mantissa, int scale) {
  Bytes form(18);
  form[0] = 38;
  form[1] = static_cast<uint8_t>(scale);
  for (int i = 0; i < 16; ++i) form[2 + i] = static_cast<uint8_t>(mantissa >> (8 * i));
  return form;
}

Bytes DecimalImage(__int128 mantissa, int scale, int wanted) {
  Bytes form = DecimalForm(mantissa, scale);
  Bytes out(32, 0xEE);
  EXPECT_EQ(32u, nEncodeSortableKey(out.data(), 32, form.data(), 18,
                                    nHostTypeToStorageClass(nHostTypeToInternalType(13)), 38,
                                    wanted));
  return out;
}

TEST(SortableKey, DecimalsOfSeveralScalesSortBytewise) {
  // Mantissas of 64 bits at scales 0..12, encoded at scale 12: exact, and
  // compared natively as mantissa x 10^(12 - scale).
  std::mt19937_64 rng(5);
  struct Dec {
    __int128 m;
    int scale;
    __int128 At12() const {
      __int128 v = m;
      for (int s = scale; s < 12; ++s) v *= 10;
      return v;
    }
  };
  std::vector<Dec> values = {{0, 0}, {1, 12}, {-1, 12}, {15, 1}, {150, 2}, {-15, 1}, {-150, 2}};
  for (int i = 0; i < 400; ++i) {
    values.push_back({static_cast<__int128>(static_cast<int64_t>(rng())), int(rng() % 13)});
  }
  CheckSortedByImage(
      values, [](const Dec& a, const Dec& b) { return a.At12() < b.At12(); },
      [](const Dec& d) { return DecimalImage(d.m, d.scale, 12); });

  // The widest mantissas at 38 decimals still fit and keep their order.
  const __int128 kMax = ~(static_cast<__int128>(1) << 127);
  EXPECT_LT(DecimalImage(-kMax - 1, 0, 38), DecimalImage(-kMax, 0, 38));
  EXPECT_LT(DecimalImage(-1, 0, 38), DecimalImage(0, 0, 38));
  EXPECT_LT(DecimalImage(kMax - 1, 0, -1), DecimalImage(kMax, 0, -1));  // -1: 38 decimals
  // Worked images: 0 is the sign bit alone; -1 at scale 0 is all ones but it.
  Bytes zero(32, 0);
  zero[0] = 0x80;
  EXPECT_EQ(zero, DecimalImage(0, 5, 2));
  Bytes minus_one(32, 0xFF);
  minus_one[0] = 0x7F;
  EXPECT_EQ(minus_one, DecimalImage(-1, 0, 0));

  // Fewer decimals round half away from zero: 1.005 and 1.01 meet at two
  // decimals, 1.004 stays below, and likewise below zero.
  EXPECT_EQ(DecimalImage(1005, 3, 2), DecimalImage(101, 2, 2));
  EXPECT_LT(DecimalImage(1004, 3, 2), DecimalImage(101, 2, 2));
  EXPECT_EQ(DecimalImage(-1005, 3, 2), DecimalImage(-101, 2, 2));
  EXPECT_EQ(DecimalImage(-1004, 3, 2), DecimalImage(-100, 2, 2));
  EXPECT_EQ(DecimalImage(15, 1, 2), DecimalImage(150, 2, 2));
}

TEST(SortableKey, WideTextsSortByCodeUnit) {
  std::mt19937_64 rng(3);
  const char16_t kUnits[] = {u'A', u'B', u'a', 0x00E9, 0x0100, 0x0142, 0x4E2D, 0xFF0D, 0xD83D};
  std::vector<std::u16string> values = {u"", u"B", std::u16string(1, 0x0100)};
  for (int i = 0; i < 300; ++i) {
    std::u16string t;
    for (size_t n = rng() % 6; n > 0; --n) t.push_back(kUnits[rng() % std::size(kUnits)]);
    values.push_back(t);
  }
  // "B" (0x0042) sorts before U+0100.
  for (int cls : {20, 21}) {
    CheckSortedByImage(values, std::less<std::u16string>(), [cls](const std::u16string& t) {
      Bytes out(2 * 6 + 2, 0xEE);
      nEncodeSortableKey(out.data(), out.size(), t.c_str(), 2 * t.size() + 2, cls, 0, 0);
      return out;
    });
  }
}

}  // namespace
