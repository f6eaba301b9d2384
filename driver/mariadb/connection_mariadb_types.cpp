// The MariaDB connection's column types: declared type texts read from the
// catalogue, the SQL type map filled with MariaDB's DDL texts, the SQL type
// of a column, values fitted to a column before they become literals, and
// one value read by a statement.
#include <climits>
#include <new>
#include <string>

#include "driver/core/error_status.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/mariadb/type_mapping.h"
#include "driver/sql/column.h"
#include "driver/sql/conversion_error.h"
#include "driver/sql/sql_type_map.h"
#include "driver/sql/sql_types.h"

namespace {

void FillTypeMap(CNASQLTypeMap& map, void* context) {
  auto* connection = static_cast<CNAConnectionMariaDB*>(context);
  NAInitMariaDBTypeMap(map, connection->clGetServerVersion());
}

}  // namespace

bool CNAConnectionMariaDB::bParseTypeName(CNAError*, int32_t* type, int32_t* size,
                                          int32_t* precision, int32_t* scale,
                                          const char16_t* type_text, const char16_t* collation) {
  NAParseTypeName(type_text, collation, m_nDbmsKind, type, size, precision, scale);
  return true;
}

CNASQLTypeMap* CNAConnectionMariaDB::pclGetTypeMap() {
  return CNASQLTypeMap::pclGetOrCreate(m_pTypeMap, &FillTypeMap, this);
}

bool CNAConnectionMariaDB::bGetColumnTypeSQL(CNAError* error, const CNAColumn& column,
                                             CTString* out) {
  int type = column.nGetType();
  if (bIsUnicodeTextType(type) && !m_bUnicodeColumnsAllowed) {
    if (error != nullptr) {
      error->SetErrorMessage(0, 1, 11, this, 46, pszGetDatabase(), pszGetDataSource());
    }
    return false;
  }
  if (type == 39) {
    if (error != nullptr) error->SetErrorMessage(0, 1, 20, this, 85, u"MariaDB");
    return false;
  }
  if (type == 31) {
    int scale = column.nGetScale() < 30 ? column.nGetScale() : 30;
    int digits = column.nGetPrecision() + column.nGetScale();
    if (digits > 64) digits = 64;
    std::string text = "NUMERIC(" + std::to_string(digits) + "," + std::to_string(scale) + ")";
    out->Set(std::u16string(text.begin(), text.end()).c_str());
    return true;
  }
  CNASQLTypeMap* map = pclGetTypeMap();
  if (map != nullptr && map->bFormatType(column, out)) return true;
  if (error != nullptr) {
    error->SetErrorMessage(0, 1, 20, this, 86, u"MariaDB", column.pszGetName());
  }
  return false;
}

bool CNAConnectionMariaDB::bFitValue(CNAError* error, CAny& value, int32_t column_type) {
  int target = nHostTypeToValueClass(column_type);
  if (target == 0 || value.bEstNull()) return true;
  int type = value.nGetCode();
  if (type == target) return true;
  if ((type == 110 && target == 16) || (type == 18 && target == 19)) return true;
  if (target == 26 || target == 128 || target == 129) {
    if (type == 25 || type == 129) {
      if (target == 128) value.SetDATEA("");
      return true;
    }
    if (type == 26) return true;
    NALiteralConversion kind =
        column_type == 11 ? NALiteralConversion::kTimeColumn : NALiteralConversion::kDateTime;
    CXYString<char16_t> text;
    if (value.nGetTexte(&text) >= 100) {
      NAReportLiteralConversion(error, kind, "", type, target);
      return false;
    }
    std::string narrow;
    for (const char16_t* p = text.pszGet(); p != nullptr && *p != 0 && narrow.size() < 128; ++p) {
      narrow.push_back(*p < 0x80 ? static_cast<char>(*p) : '?');
    }
    int wanted = target;
    if (column_type == 11) {
      while (narrow.size() < 4) narrow.push_back('0');
      wanted = 129;
    }
    CAny converted;
    converted.SetPSTRA(narrow.c_str());
    if (converted.nConvertType(wanted) >= 100) {
      NAReportLiteralConversion(error, kind, narrow.c_str(), type, target);
      return false;
    }
    value = converted;
    return true;
  }
  if (type >= 28 && type <= 30) return true;
  bool fits = false;
  switch (type) {
    case 7: fits = target == 6 || target == 7; break;
    case 8: fits = target == 6 || target == 7 || target == 8 || target == 11; break;
    case 9: {
      int64_t v = 0;
      fits = target == 6 || target == 7 || target == 11 || target == 12 || target == 9 ||
             (target == 8 && value.nGetI8(&v) == 0 && v >= INT32_MIN && v <= INT32_MAX);
      break;
    }
    case 11: fits = target == 6 || target == 7 || target == 8 || target == 9 || target == 11; break;
    case 12:
      fits = target == 6 || target == 7 || target == 8 || target == 9 || target == 11 ||
             target == 12;
      break;
    default: break;
  }
  if (fits) return true;
  CAny converted = value;
  if (converted.nConvertType(target) >= 100) {
    std::string shown;
    CXYString<char16_t> text;
    if (value.nGetTexte(&text) < 100) {
      for (const char16_t* p = text.pszGet(); p != nullptr && *p != 0 && shown.size() < 128; ++p) {
        shown.push_back(*p < 0x80 ? static_cast<char>(*p) : '?');
      }
    }
    NAReportLiteralConversion(error, NALiteralConversion::kOther, shown.c_str(), type, target);
    return false;
  }
  value = converted;
  return true;
}

bool CNAConnectionMariaDB::bReadOneValue(CNAError* error, CAny* out, int column,
                                         const char16_t* text) {
  CNAStatementMariaDB* statement = new (std::nothrow) CNAStatementMariaDB(this);
  if (statement == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(101, 30);
    return false;
  }
  CNARefPtr<CNAStatementMariaDB> hold(NAAddRef(statement));
  return statement->bExecuteFetchAll(text, *out, column, error);
}
