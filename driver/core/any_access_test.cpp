#include "driver/core/any_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "support/any_test_fixture.h"

namespace {

using AnyAccess = qg::AnyHostTest;

TEST_F(AnyAccess, I4ReaderTakesBoolUI4AndI4ButNeverNull) {
  CAny v;
  int32_t out = 0;
  v.SetBOOL(1);
  EXPECT_EQ(0, nNAGetI4(v, &out));
  EXPECT_EQ(1, out);
  v.SetUI4(0xFFFFFFFEu);
  EXPECT_EQ(0, nNAGetI4(v, &out));
  EXPECT_EQ(-2, out);
  v.SetI4(-7);
  EXPECT_EQ(0, nNAGetI4(v, &out));
  EXPECT_EQ(-7, out);

  v.SetNull(true);
  out = 99;
  EXPECT_EQ(qg::kAnyWrongType, nNAGetI4(v, &out));  // null never matches
  EXPECT_EQ(99, out);
  v.SetI2(3);
  EXPECT_EQ(qg::kAnyWrongType, nNAGetI4(v, &out));

  // The general reader keeps 103 for a null I8.
  int64_t wide = 0;
  v.SetI8(5);
  v.SetNull(true);
  EXPECT_EQ(qg::kAnyNull, v.nGetI8(&wide));
}

TEST_F(AnyAccess, UuidReaders) {
  uint8_t bytes[32];
  for (int i = 0; i < 32; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  CAny v;
  v.SetUUID_128(bytes);
  uint8_t out16[16] = {};
  uint8_t out32[32] = {};
  EXPECT_EQ(0, nNAGetUUID_128(v, out16));
  EXPECT_EQ(0, std::memcmp(bytes, out16, 16));
  EXPECT_EQ(qg::kAnyWrongType, nNAGetUUID_256(v, out32));
  v.SetNull(true);
  EXPECT_EQ(qg::kAnyNull, nNAGetUUID_128(v, out16));

  CXYString<char> block;
  ASSERT_EQ(0, block.nAffecteOctets(bytes, 32));
  ASSERT_EQ(0, v.SetUUID_256(block));
  EXPECT_EQ(0, nNAGetUUID_256(v, out32));
  EXPECT_EQ(0, std::memcmp(bytes, out32, 32));
  EXPECT_EQ(qg::kAnyWrongType, nNAGetUUID_128(v, out16));
}

TEST_F(AnyAccess, NullTextStoresAnEmptyDSTRW) {
  CAny v;
  v.SetI4(1);
  v.SetNull(true);
  EXPECT_EQ(0, nNASetDSTRW(v, nullptr));
  EXPECT_EQ(qg::kAnyDSTRW, v.GetType());
  CXYString<char16_t> text;
  EXPECT_EQ(0, v.nGetDSTRW(&text));
  EXPECT_EQ(0, text.nTaille());

  EXPECT_EQ(0, nNASetDSTRW(v, u"abc"));
  EXPECT_EQ(0, v.nGetDSTRW(&text));
  EXPECT_EQ(3, text.nTaille());
}

TEST_F(AnyAccess, NullFlagSetterAnswersThePreviousWord) {
  CAny v;
  v.SetI4(4);
  v.SetFlags(qg::kAnyFlagCarried);
  EXPECT_EQ(qg::kAnyI4 | qg::kAnyFlagCarried, nNASetNull(v, true));
  EXPECT_TRUE(v.bEstNull());
  EXPECT_EQ(qg::kAnyI4 | qg::kAnyFlagCarried, nNASetNull(v, false));  // without the null flag
  EXPECT_FALSE(v.bEstNull());
  int32_t out = 0;
  EXPECT_EQ(0, v.nGetI4(&out));
  EXPECT_EQ(4, out);  // the value was kept
}

// Every setter the driver uses clears a null flag set earlier.
TEST_F(AnyAccess, EverySetterClearsTheNullFlag) {
  const uint8_t bytes[4] = {1, 2, 3, 4};
  const qg::AnyDateTime dt{1, 2, 2024, 0};
  const std::function<void(CAny&)> setters[] = {
      [](CAny& v) { v.SetBOOL(1); },         [](CAny& v) { v.SetUI1(1); },
      [](CAny& v) { v.SetUI2(1); },          [](CAny& v) { v.SetUI4(1); },
      [](CAny& v) { v.SetUI8(1); },          [](CAny& v) { v.SetI1(1); },
      [](CAny& v) { v.SetI2(1); },           [](CAny& v) { v.SetI4(1); },
      [](CAny& v) { v.SetI8(1); },           [](CAny& v) { v.SetCY(qg::Fixe6{}); },
      [](CAny& v) { v.SetR4(1); },           [](CAny& v) { v.SetR8(1); },
      [](CAny& v) { nNASetDSTRW(v, u"a"); }, [](CAny& v) { v.SetPSTRA("a"); },
      [](CAny& v) { v.SetDSTRA("a"); },      [&](CAny& v) { v.SetDATETIME(dt); },
      [&](CAny& v) { v.SetBIN(bytes, 4); },  [](CAny& v) { v.SetPSTRW(u"a"); },
      [](CAny& v) { v.SetDATEA("20240102"); },
  };
  for (size_t i = 0; i < std::size(setters); ++i) {
    CAny v;
    setters[i](v);
    uint16_t code = v.GetType();
    v.SetFlags(qg::kAnyFlagNull | qg::kAnyFlagCarried);
    setters[i](v);
    EXPECT_EQ(code, v.GetType()) << "setter " << i;
  }
}

}  // namespace
