#include "driver/mariadb/type_mapping.h"

#include <gtest/gtest.h>

#include "driver/sql/column.h"
#include "driver/sql/sql_type_map.h"
#include "support/any_test_fixture.h"
#include "support/ctstring.h"

namespace {

NAServerVersion Maria(int a, int b, int c) { return {true, a, b, c}; }
NAServerVersion MySQL(int a, int b, int c) { return {false, a, b, c}; }

TEST(TypeMapping, FieldTypes) {
  struct Case {
    int field;
    uint32_t length;
    int digits, scale;
    uint32_t charset, flags, code_page;
    int type, size;
  };
  const Case cases[] = {
      {253, 200, 0, 0, 45, 0, 65001, 29, 102},  // VARCHAR(50) utf8mb4 on UTF-8
      {253, 200, 0, 0, 45, 0, 1252, 29, 402},
      {254, 16, 0, 0, 63, 0x80, 1252, 23, 18},  // BINARY(16)
      {253, 8, 0, 0, 63, 0x80, 1252, 23, 10},   // VARBINARY(8)
      {15, 8, 0, 0, 63, 0x80, 1252, 23, 10},
      {254, 16, 0, 0, 8, 0, 1252, 2, 17},
      {252, 65535, 0, 0, 8, 0, 1252, 15, 8},    // TEXT latin1
      {252, 65535, 0, 0, 45, 0, 1252, 30, 8},   // TEXT utf8mb4
      {252, 65535, 0, 0, 63, 0x80, 1252, 18, 8},  // BLOB
      {252, 65535, 0, 0, 0, 0, 1252, 15, 8},
      {253, 0, 0, 0, 8, 0, 1252, 15, 8},
      {253, 70000, 0, 0, 45, 0, 1252, 30, 8},
      {253, 40000, 0, 0, 45, 0, 1252, 30, 8},   // 2L + 2 beyond 65535
      {246, 12, 10, 0, 63, 0, 1252, 19, 8},
      {246, 12, 8, 2, 63, 0, 1252, 17, 10},
      {246, 25, 20, 4, 63, 0, 1252, 31, 11},
      {246, 67, 35, 30, 63, 0, 1252, 7, 8},
      {1, 4, 0, 0, 63, 0, 1252, 4, 1},
      {2, 6, 0, 0, 63, 0, 1252, 3, 2},
      {9, 8, 0, 0, 63, 0, 1252, 5, 4},
      {8, 20, 0, 0, 63, 0, 1252, 19, 8},
      {4, 12, 0, 0, 63, 0, 1252, 6, 4},
      {5, 22, 0, 0, 63, 0, 1252, 7, 8},
      {6, 0, 0, 0, 63, 0, 1252, 0, 0},
      {10, 10, 0, 0, 63, 0, 1252, 14, 9},
      {11, 10, 0, 0, 63, 0, 1252, 24, 8},
      {13, 4, 0, 0, 63, 0, 1252, 24, 8},
      {16, 9, 0, 0, 63, 0, 1252, 23, 11},
      {16, 0, 0, 0, 63, 0, 1252, 23, 3},
      {245, 100, 0, 0, 45, 0, 1252, 38, 8},
  };
  for (const Case& c : cases) {
    int type = -1, size = -1;
    NAFieldTypeToColumnType(&type, &size, c.field, c.length, c.digits, c.scale, c.charset,
                            c.flags, c.code_page, Maria(10, 11, 6));
    EXPECT_EQ(type, c.type) << c.field << " " << c.length << " " << c.charset;
    EXPECT_EQ(size, c.size) << c.field << " " << c.length << " " << c.charset;
  }
  // Before 5.5.3 a UTF-8 character takes at most 3 bytes.
  int type = 0, size = 0;
  NAFieldTypeToColumnType(&type, &size, 253, 150, 0, 0, 33, 0, 65001, MySQL(5, 1, 0));
  EXPECT_EQ(size, 102);
}

TEST(TypeMapping, UnicodeCharsets) {
  for (uint32_t n : {12u, 17u, 33u, 35u, 45u, 46u, 54u, 56u, 60u, 83u, 224u, 2048u}) {
    EXPECT_TRUE(bIsUnicodeCharset(n)) << n;
  }
  for (uint32_t n : {0u, 8u, 11u, 13u, 34u, 47u, 63u, 75u, 98u}) {
    EXPECT_FALSE(bIsUnicodeCharset(n)) << n;
  }
}

TEST(TypeMapping, FieldTypeNames) {
  CTString name;
  EXPECT_TRUE(bNAGetFieldTypeName(&name, 254));
  EXPECT_TRUE(name.bEstEgal(u"MYSQL_TYPE_STRING"));
  EXPECT_FALSE(bNAGetFieldTypeName(&name, 245));
  EXPECT_TRUE(name.bEstEgal(u"MYSQL_TYPE_NEWDECIMAL"));
}

class TypeMapVersions : public qg::AnyHostTest {
 protected:
  std::u16string Declared(const NAServerVersion& v, int type, int size = 8) {
    CNASQLTypeMap* map = new CNASQLTypeMap();
    map->AddRef();
    map->RegisterDefaultTypeNames();
    NAInitMariaDBTypeMap(*map, v);
    CNAColumn* column = NAAddRef(new CNAColumn());
    column->Init(u"c", u"t", nullptr, 1, size, type, 0, -1, 0, 0, 0);
    CTString out;
    std::u16string result = map->bFormatType(*column, &out) ? out.pszGet() : u"<none>";
    ReleaseBoth(column);
    map->Release();
    return result;
  }
};

TEST_F(TypeMapVersions, DeclaresByServerVersion) {
  EXPECT_EQ(Declared(MySQL(8, 0, 30), 38), u"JSON");
  EXPECT_EQ(Declared(Maria(10, 6, 0), 38), u"LONGTEXT");
  EXPECT_EQ(Declared(MySQL(5, 7, 7), 38), u"LONGTEXT");
  EXPECT_EQ(Declared(MySQL(5, 6, 3), 24), u"DATETIME");
  EXPECT_EQ(Declared(MySQL(5, 6, 4), 24), u"DATETIME(3)");
  EXPECT_EQ(Declared(Maria(5, 3, 0), 24), u"DATETIME(3)");
  EXPECT_EQ(Declared(Maria(10, 11, 6), 29, 102), u"VARCHAR(50) CHARACTER SET utf8mb4");
  EXPECT_EQ(Declared(MySQL(5, 1, 0), 29, 102), u"VARCHAR(50) CHARACTER SET ucs2");
  EXPECT_EQ(Declared(MySQL(4, 0, 0), 29, 102), u"VARCHAR(50)");
  EXPECT_EQ(Declared(MySQL(3, 23, 0), 30), u"LONGBLOB");
  EXPECT_EQ(Declared(MySQL(4, 1, 2), 23, 18), u"VARBINARY(16)");
  EXPECT_EQ(Declared(MySQL(4, 1, 1), 23, 18), u"VARCHAR(16) BINARY");
  EXPECT_EQ(Declared(Maria(10, 11, 6), 30), u"LONGTEXT CHARACTER SET utf8mb4");
  EXPECT_EQ(Declared(Maria(10, 11, 6), 5, 4), u"INTEGER");  // generic name kept
  EXPECT_EQ(Declared(Maria(10, 11, 6), 34, 16), u"BINARY(16)");
}

}  // namespace
