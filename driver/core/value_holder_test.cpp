#include "driver/core/value_holder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/core/error_status.h"
#include "support/any_test_fixture.h"
#include "support/string_host_fixture.h"

namespace {

class ValueHolder : public qg::StringHostTest {};
class ValueHolderDecimal : public qg::AnyHostTest {};

// A decimal is read as it is; other values are converted on a copy, which
// leaves the held value alone.
TEST_F(ValueHolderDecimal, ReadsDecimalsAndConvertsOtherValuesOnACopy) {
  auto mantissa = [](const qg::DecimalFields& f) {
    __int128 m = 0;
    std::memcpy(&m, f.abyMantissa, 16);
    return static_cast<int64_t>(m);
  };
  CNAValueHolder holder;
  qg::DecimalFields fields{};
  holder.clValue().SetPSTRW(u"-12.50");
  ASSERT_TRUE(holder.bGetDecimal(&fields));
  EXPECT_EQ(qg::kAnyPSTRW, holder.clValue().GetType());
  EXPECT_EQ(2, fields.nScale);
  EXPECT_EQ(-1250, mantissa(fields));

  holder.clValue().SetI4(7);
  ASSERT_TRUE(holder.bGetDecimal(&fields));
  EXPECT_EQ(7, mantissa(fields));
  EXPECT_EQ(0, fields.nScale);

  CAny decimal;
  decimal.SetPSTRW(u"3.25");
  ASSERT_LT(decimal.nConvertType(qg::kAnyDECIMAL), 100);
  holder.SetValue(decimal);
  ASSERT_TRUE(holder.bGetDecimal(&fields));
  EXPECT_EQ(325, mantissa(fields));
  EXPECT_EQ(2, fields.nScale);

  qg::DecimalFields untouched{};
  untouched.nScale = 77;
  // A value without type, and a NULL value.
  for (bool null : {false, true}) {
    holder.clValue() = CAny();
    if (null) {
      holder.clValue().SetI4(1);
      holder.clValue().SetNull(true);
    }
    EXPECT_FALSE(holder.bGetDecimal(&untouched));
    EXPECT_EQ(77, untouched.nScale);
  }
  EXPECT_FALSE(holder.bGetDecimal(nullptr));
}

TEST_F(ValueHolder, NullsAndValuesWithoutTypeAreEqualAndEmpty) {
  CNAValueHolder a, b;
  EXPECT_TRUE(a.bHasNoType());
  EXPECT_TRUE(a.bEquals(b));
  b.clValue().SetI4(0);
  b.clValue().SetNull(true);
  EXPECT_TRUE(a.bEquals(b));
  EXPECT_TRUE(a.bIsEmpty());
  EXPECT_TRUE(b.bIsZero());
  CNAValueHolder text;
  text.clValue().SetDSTRW(u"");
  EXPECT_TRUE(text.bIsEmpty());
  EXPECT_FALSE(text.bIsZero());
  text.clValue().SetDSTRW(u"x");
  EXPECT_FALSE(text.bIsEmptyOrZero());
  CNAValueHolder number;
  number.clValue().SetR8(0.0);
  EXPECT_TRUE(number.bIsZero());
  EXPECT_FALSE(number.bIsEmpty());
  number.clValue().SetI4(3);
  EXPECT_FALSE(number.bIsZero());
}

TEST_F(ValueHolder, ChecksumSumsWordsThenTrailingBytes) {
  CNAValueHolder h;
  const unsigned char bytes[] = {1, 0, 0, 0, 2, 0, 0, 1, 5, 6};
  h.clValue().SetBIN(bytes, sizeof(bytes));
  EXPECT_EQ(1u + 0x01000002u + 5u + 6u, h.nChecksum());
  CNAValueHolder* clone = h.pclClone(nullptr);
  EXPECT_EQ(h.nChecksum(), clone->nChecksum());
  ReleaseBoth(clone);
}

TEST_F(ValueHolder, LoadsWholeFilesAndReportsUnreadableOnes) {
  std::string folder = ::testing::TempDir();
  for (size_t size : {size_t(0), size_t(1), size_t(16383), size_t(16384), size_t(16385),
                      size_t(1) << 20}) {
    std::string path = folder + "/qg_value_holder_" + std::to_string(size);
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 7 + 3);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    CNAValueHolder h;
    CNAError error;
    std::u16string wide(path.begin(), path.end());
    ASSERT_TRUE(h.bLoadFromFile(wide.c_str(), false, &error)) << size;
    EXPECT_EQ(static_cast<int32_t>(size), h.nGetDataSize());
    if (size > 0) {
      EXPECT_EQ(0, std::memcmp(content.data(), h.pGetData(), size));
    }
    EXPECT_EQ(-1, error.nGetCode());
    std::remove(path.c_str());
  }
  CNAValueHolder h;
  CNAError error;
  EXPECT_FALSE(h.bLoadFromFile(u"/nonexistent/qg/file", true, &error));
  EXPECT_EQ(15u, error.nGetErrorIdentifier());
  // A file past what a value holds (a sparse one, cheap to make) is
  // refused before any block is taken for it.
  char name[] = "/tmp/qgholderbigXXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ftruncate(fd, static_cast<off_t>(INT_MAX) + 1));
  close(fd);
  std::string big = name;
  std::u16string wide(big.begin(), big.end());
  CNAError too_big;
  EXPECT_FALSE(h.bLoadFromFile(wide.c_str(), false, &too_big));
  EXPECT_EQ(12u, too_big.nGetErrorIdentifier());
  std::remove(name);
}

}  // namespace
