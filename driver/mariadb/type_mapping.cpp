#include "driver/mariadb/type_mapping.h"

#include "driver/sql/sql_type_map.h"
#include "driver/sql/sql_types.h"
#include "support/ctstring.h"

namespace {

struct FieldName {
  int type;
  const char16_t* name;
};

constexpr FieldName kFieldNames[] = {
    {0, u"MYSQL_TYPE_DECIMAL"},       {1, u"MYSQL_TYPE_TINY"},
    {2, u"MYSQL_TYPE_SHORT"},         {3, u"MYSQL_TYPE_LONG"},
    {4, u"MYSQL_TYPE_FLOAT"},         {5, u"MYSQL_TYPE_DOUBLE"},
    {6, u"MYSQL_TYPE_NULL"},          {7, u"MYSQL_TYPE_TIMESTAMP"},
    {8, u"MYSQL_TYPE_LONGLONG"},      {9, u"MYSQL_TYPE_INT24"},
    {10, u"MYSQL_TYPE_DATE"},         {11, u"MYSQL_TYPE_TIME"},
    {12, u"MYSQL_TYPE_DATETIME"},     {13, u"MYSQL_TYPE_YEAR"},
    {14, u"MYSQL_TYPE_NEWDATE"},      {15, u"MYSQL_TYPE_VARCHAR"},
    {16, u"MYSQL_TYPE_BIT"},          {246, u"MYSQL_TYPE_NEWDECIMAL"},
    {247, u"MYSQL_TYPE_ENUM"},        {248, u"MYSQL_TYPE_SET"},
    {249, u"MYSQL_TYPE_TINY_BLOB"},   {250, u"MYSQL_TYPE_MEDIUM_BLOB"},
    {251, u"MYSQL_TYPE_LONG_BLOB"},   {252, u"MYSQL_TYPE_BLOB"},
    {253, u"MYSQL_TYPE_VAR_STRING"},  {254, u"MYSQL_TYPE_STRING"},
};

void TextRule(int* type, int* size, uint32_t length, uint32_t charset, uint32_t server_code_page,
              const NAServerVersion& version) {
  bool unicode = bIsUnicodeCharset(charset);
  if (length == 0 || length >= 65535) {
    *type = unicode ? 30 : 15;
    *size = 8;
  } else if (unicode && 2ull * length + 2 >= 65535) {
    *type = 30;
    *size = 8;
  } else if (unicode) {
    *type = 29;
    if (server_code_page == 65001) {
      uint32_t characters = version.bIsUtf8mb4Capable() ? length / 4 : length / 3;
      *size = static_cast<int>(2 * characters + 2);
    } else {
      *size = static_cast<int>(2 * length + 2);
    }
  } else {
    *type = 2;
    *size = static_cast<int>(length + 1);
  }
}

}  // namespace

bool NAServerVersion::bAtLeast(int major, int minor, int patch, int maria_major,
                               int maria_minor, int maria_patch) const {
  int want[3] = {major, minor, patch};
  if (bMariaDB) {
    want[0] = maria_major;
    want[1] = maria_minor;
    want[2] = maria_patch;
  }
  int have[3] = {nMajor, nMinor, nPatch};
  for (int i = 0; i < 3; ++i) {
    if (have[i] != want[i]) return have[i] > want[i];
  }
  return true;
}

bool bIsUnicodeCharset(uint32_t n) {
  if (n <= 11) return false;
  if (n >= 13 && n <= 16) return false;
  if (n >= 18 && n <= 32) return false;
  if (n == 34) return false;
  if (n >= 36 && n <= 44) return false;
  if (n >= 47 && n <= 53) return false;
  if (n >= 57 && n <= 59) return false;
  if (n >= 63 && n <= 75) return false;
  if (n >= 77 && n <= 82) return false;
  if (n >= 84 && n <= 89) return false;
  if (n >= 92 && n <= 98) return false;
  return true;
}

void NAFieldTypeToColumnType(int* column_type, int* size, int field_type, uint32_t length,
                             int digits, int scale, uint32_t charset, uint32_t flags,
                             uint32_t server_code_page, const NAServerVersion& version) {
  switch (field_type) {
    case 0: case 246:
      DecimalToColumnType(digits, scale, column_type, size);
      return;
    case 1: *column_type = 4; *size = 1; return;
    case 2: *column_type = 3; *size = 2; return;
    case 3: case 9: case 247: case 248: *column_type = 5; *size = 4; return;
    case 4: *column_type = 6; *size = 4; return;
    case 5: *column_type = 7; *size = 8; return;
    case 6: *column_type = 0; *size = 0; return;
    case 7: case 11: case 12: case 13: case 14: *column_type = 24; *size = 8; return;
    case 8: *column_type = 19; *size = 8; return;
    case 10: *column_type = 14; *size = 9; return;
    case 16:
      *column_type = 23;
      *size = length == 0 ? 3 : (length > 65533 ? 65535 : static_cast<int>(length) + 2);
      return;
    case kNAFieldJson: *column_type = 38; *size = 8; return;
    case 249: case 250: case 251: case 252:
      if (charset == kNACharsetBinary) {
        *column_type = 18;
      } else if (charset != 0 && bIsUnicodeCharset(charset)) {
        *column_type = 30;
      } else {
        *column_type = 15;
      }
      *size = 8;
      return;
    case 15: case 253: case 254:
      // A binary string, fixed or variable, holds bytes: read as text it
      // would end at its first zero byte.
      if ((flags & kNAFieldFlagBinary) != 0 && charset == kNACharsetBinary && length >= 1 &&
          length <= 65534) {
        *column_type = 23;
        *size = static_cast<int>(length) + 2;
        return;
      }
      break;
    default:
      break;
  }
  TextRule(column_type, size, length, charset, server_code_page, version);
}

bool bNAGetFieldTypeName(CTString* out, int field_type) {
  for (const FieldName& f : kFieldNames) {
    if (f.type == field_type) {
      out->Set(f.name);
      return true;
    }
  }
  out->Set(u"MYSQL_TYPE_NEWDECIMAL");
  return false;
}

void NAInitMariaDBTypeMap(CNASQLTypeMap& map, const NAServerVersion& v) {
  map.SetType(1, u"BIGINT", false);
  map.SetType(4, u"TINYINT", false);
  map.SetType(19, u"BIGINT", false);
  map.SetType(12, u"TINYINT UNSIGNED", false);
  map.SetType(9, u"SMALLINT UNSIGNED", false);
  map.SetType(22, u"INTEGER UNSIGNED", false);
  map.SetType(20, u"BIGINT UNSIGNED", false);
  map.SetType(27, u"TINYINT", false);
  map.SetType(6, u"FLOAT", false);
  map.SetType(7, u"DOUBLE", false);
  map.SetType(13, u"DOUBLE", false);
  if (v.bIsUtf8mb4Capable()) {
    map.SetType(29, u"VARCHAR(%d) CHARACTER SET utf8mb4", true);
  } else if (v.bIs41OrLater()) {
    map.SetType(29, u"VARCHAR(%d) CHARACTER SET ucs2", true);
  } else {
    map.SetType(29, u"VARCHAR(%d)", true);
  }
  map.SetType(15, v.nMajor >= 4 ? u"LONGTEXT" : u"LONGBLOB", false);
  if (v.nMajor >= 4) {
    if (v.bIsUtf8mb4Capable()) {
      map.SetType(30, u"LONGTEXT CHARACTER SET utf8mb4", false);
    } else if (v.bIs41OrLater()) {
      map.SetType(30, u"LONGTEXT CHARACTER SET ucs2", false);
    } else {
      map.SetType(30, u"LONGTEXT", false);
    }
  } else {
    map.SetType(30, u"LONGBLOB", false);
  }
  map.SetType(18, u"LONGBLOB", false);
  map.SetType(16, u"LONGBLOB", false);
  map.SetType(23, v.bIs412OrLater() ? u"VARBINARY(%d)" : u"VARCHAR(%d) BINARY", true);
  map.SetType(24, v.bHasFractionalSeconds() ? u"DATETIME(3)" : u"DATETIME", false);
  map.SetType(25, u"BIGINT", false);
  map.SetType(34, u"BINARY(16)", false);
  map.SetType(35, u"BINARY(16)", false);
  map.SetType(36, u"BINARY(32)", false);
  map.SetType(37, u"BINARY(32)", false);
  bool json = !v.bMariaDB && v.bAtLeast(5, 7, 8, 0, 0, 0);
  map.SetType(38, json ? u"JSON" : u"LONGTEXT", false);
  map.SetType(39, u"LONGBLOB", false);
}
