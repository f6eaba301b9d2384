#include "driver/sql/sql_types.h"

#include <gtest/gtest.h>

#include "support/ctstring.h"

namespace {

struct ParseCase {
  const char16_t* text;
  const char16_t* collation;
  int kind;
  int type;
  int size;
};

TEST(SqlTypes, ParsesDeclaredTypes) {
  const ParseCase cases[] = {
      {u"VARCHAR(20)", nullptr, 5, 2, 21},
      {u"varchar(20)", u"utf8mb4_general_ci", 5, 29, 42},
      {u"varchar(20)", u"utf16le_general_ci", 5, 29, 42},
      {u"varchar(20)", u"utf32_bin", 5, 29, 42},
      {u"varchar(20)", u"latin1_swedish_ci", 5, 2, 21},
      {u"int unsigned", nullptr, 5, 22, 4},
      {u"UNSIGNED INT", nullptr, 5, 22, 4},
      {u"int(11)", nullptr, 5, 5, 4},
      {u"INT8", nullptr, 5, 19, 8},
      {u"bigint(20) unsigned", nullptr, 5, 20, 8},
      {u"tinyint(1) unsigned zerofill", nullptr, 5, 12, 1},
      {u"tinyint(1)", nullptr, 5, 4, 1},
      {u"smallint(5) unsigned", nullptr, 5, 9, 2},
      {u"CHAR", nullptr, 5, 26, 1},
      {u"CHAR(10)", nullptr, 5, 2, 11},
      {u"TIME(3)", nullptr, 5, 11, 10},
      {u"TIME(2)", nullptr, 5, 11, 9},
      {u"TIME", nullptr, 5, 11, 7},
      {u"timestamp(6)", nullptr, 5, 24, 8},
      {u"datetime(3)", nullptr, 5, 24, 8},
      {u"date", nullptr, 5, 14, 9},
      {u"year(4)", nullptr, 5, 14, 9},
      {u"BIT(9)", nullptr, 5, 23, 4},
      {u"BIT(9)", nullptr, 2, 4, 1},
      {u"bit", nullptr, 5, 23, 3},
      {u"VARCHAR(70000)", nullptr, 5, 15, 8},
      {u"varchar(40000)", u"utf8mb4_bin", 5, 30, 8},
      {u"DECIMAL(10,2)", nullptr, 5, 17, 10},
      {u"DECIMAL(30,10)", nullptr, 5, 31, 13},
      {u"DECIMAL", nullptr, 5, 7, 8},
      {u"decimal(10,0)", nullptr, 5, 19, 8},
      {u"decimal(65,30)", nullptr, 5, 7, 8},
      {u"DOUBLE PRECISION", nullptr, 5, 7, 8},
      {u"double", nullptr, 5, 7, 8},
      {u"float", nullptr, 5, 6, 4},
      {u"REAL", nullptr, 5, 6, 4},
      {u"REAL", nullptr, 13, 7, 8},
      {u"enum('a','b')", nullptr, 5, 15, 8},
      {u"set('a','b')", nullptr, 5, 15, 8},
      {u"text", u"utf8mb4_general_ci", 5, 30, 8},
      {u"longtext", nullptr, 5, 15, 8},
      {u"blob", nullptr, 5, 18, 8},
      {u"mediumblob", nullptr, 5, 18, 8},
      {u"binary(16)", nullptr, 5, 23, 18},
      {u"varbinary(100)", nullptr, 5, 23, 102},
      {u"varbinary(99999999999)", nullptr, 5, 18, 8},
      {u"geometry", nullptr, 5, 15, 8},
      {u"", nullptr, 5, 15, 8},
      {nullptr, nullptr, 5, 15, 8},
  };
  for (const ParseCase& c : cases) {
    int type = -1, size = -1, precision = -1, scale = -1;
    NAParseTypeName(c.text, c.collation, c.kind, &type, &size, &precision, &scale);
    std::u16string text = c.text != nullptr ? c.text : u"(null)";
    SCOPED_TRACE(std::string(text.begin(), text.end()));
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.size);
  }
}

TEST(SqlTypes, DecimalDigitsAndFractions) {
  int type, size, precision, scale;
  NAParseTypeName(u"decimal(30,10)", nullptr, 5, &type, &size, &precision, &scale);
  EXPECT_EQ(precision, 20);
  EXPECT_EQ(scale, 10);
  NAParseTypeName(u"time(3)", nullptr, 5, &type, &size, &precision, &scale);
  EXPECT_EQ(scale, 3);
  NAParseTypeName(u"varchar(3)", nullptr, 5, &type, &size, &precision, &scale);
  EXPECT_EQ(precision, 0);
  EXPECT_EQ(scale, 0);
}

TEST(SqlTypes, ParseTypeSize) {
  EXPECT_EQ(nParseTypeSize(u"VARCHAR ( 12 )", u"VARCHAR", 1), 12);
  EXPECT_EQ(nParseTypeSize(u"VARCHAR", u"VARCHAR", 7), 7);
  EXPECT_EQ(nParseTypeSize(u"VARCHAR()", u"VARCHAR", 7), 7);
  EXPECT_EQ(nParseTypeSize(u"VARCHAR(x)", u"VARCHAR", 7), 7);
  EXPECT_EQ(nParseTypeSize(u"VARCHAR(99999999999999999999)", u"VARCHAR", 7), 100000000);
}

TEST(SqlTypes, DecimalToColumnType) {
  struct Case { int d, s, type, size; };
  const Case cases[] = {
      {0, 0, 7, 8},   {-1, 2, 7, 8},  {2, -1, 7, 8},  {2, 0, 4, 1},   {4, 0, 3, 2},
      {5, 0, 5, 4},   {9, 0, 5, 4},   {10, 0, 19, 8}, {19, 0, 19, 8}, {20, 0, 31, 9},
      {10, 2, 17, 10}, {10, 6, 17, 10}, {10, 7, 31, 8}, {11, 2, 31, 6}, {30, 4, 31, 15},
      {28, 10, 31, 16}, {38, 0, 31, 16}, {39, 0, 7, 8}, {40, 0, 7, 8},  {0, 38, 31, 16},
      {30, 9, 7, 8},
  };
  for (const Case& c : cases) {
    int type = 0, size = 0;
    DecimalToColumnType(c.d, c.s, &type, &size);
    EXPECT_EQ(type, c.type) << c.d << "," << c.s;
    EXPECT_EQ(size, c.size) << c.d << "," << c.s;
  }
}

TEST(SqlTypes, DecimalStorageSizeIsSmallestSignedInteger) {
  // 10^n - 1 must fit in a signed k-byte integer: 2^(8k-1) > 10^n - 1.
  for (int n = 1; n <= 38; ++n) {
    long double max = 1;
    for (int i = 0; i < n; ++i) max *= 10;
    max -= 1;
    int k = 1;
    long double limit = 128;
    while (limit <= max) {
      limit *= 256;
      ++k;
    }
    EXPECT_EQ(nDecimalStorageSize(n), k) << n;
  }
  EXPECT_EQ(nDecimalStorageSize(0), 0);
  EXPECT_EQ(nDecimalStorageSize(39), 0);
}

TEST(SqlTypes, ValueClassMappingsRoundTrip) {
  // Every column type whose class maps back to a canonical type keeps that
  // class through the round trip.
  for (int t = 0; t <= kNAColumnTypeLast; ++t) {
    int value_class = nHostTypeToValueClass(t);
    if (value_class == 0 || value_class == 160) continue;
    EXPECT_EQ(nHostTypeToValueClass(nValueClassToHostType(value_class)), value_class) << t;
  }
  EXPECT_EQ(nHostTypeToValueClass(40), 0);
  EXPECT_EQ(nHostTypeToValueClass(-1), 0);
  EXPECT_EQ(nValueClassToHostType(110), 29);
  EXPECT_EQ(nValueClassToHostType(24), 14);
  EXPECT_EQ(nValueClassToHostType(999), 0);
}

TEST(SqlTypes, ItemTypesAndDigits) {
  EXPECT_EQ(nItemTypeToColumnType(24), 1);
  EXPECT_EQ(nItemTypeToColumnType(41), 31);
  EXPECT_EQ(nItemTypeToColumnType(48), 38);
  EXPECT_EQ(nItemTypeToColumnType(99), 15);
  int digits = 0, scale = 0;
  EXPECT_TRUE(bGetTypeDigits(10, &digits, &scale));
  EXPECT_EQ(digits, 33);
  EXPECT_EQ(scale, 5);
  EXPECT_TRUE(bGetTypeDigits(27, &digits, &scale));
  EXPECT_EQ(digits, 19);
  EXPECT_FALSE(bGetTypeDigits(16, &digits, &scale));
}

TEST(SqlTypes, Commas) {
  CTString text(u"1,5,7");
  ReplaceCommaWithPoint(text);
  EXPECT_TRUE(text.bEstEgal(u"1.5.7"));
  EXPECT_EQ(nFindComma(u"a,b,c", 0), 1);
  EXPECT_EQ(nFindComma(u"a,b,c", 2), 3);
  EXPECT_EQ(nFindComma(u"a,b,c", 4), -1);
  EXPECT_EQ(nFindComma(u"a,b", 10), -1);
}

}  // namespace
