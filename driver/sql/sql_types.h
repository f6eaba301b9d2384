// Column type codes of the driver and the rules around them: the mapping to
// and from Velisc value types, the parser of declared SQL type texts, the
// choice of a column type for a decimal, the mapping of host item types and
// the digit counts of numeric value classes.
//
// A column is described by a column type code (below) and a byte size: the
// size of its value in a row buffer.
#ifndef QG_DRIVER_SQL_SQL_TYPES_H_
#define QG_DRIVER_SQL_SQL_TYPES_H_

#include <cstdint>

class CTString;

// Column type codes.
enum eNAColumnType : int {
  kNAColNone = 0,
  kNAColAutoId8 = 1,        // 8-byte automatic identifier
  kNAColVarChar = 2,        // variable 8-bit text, size = length + 1
  kNAColInt2 = 3,
  kNAColInt1 = 4,
  kNAColInt4 = 5,
  kNAColReal4 = 6,
  kNAColReal8 = 7,
  kNAColUInt2 = 9,
  kNAColDateText = 10,      // date
  kNAColTimeDigits = 11,    // time kept as digits HHMMSS + fraction
  kNAColUInt1 = 12,
  kNAColFloat = 13,
  kNAColDateDigits = 14,    // date kept as digits YYYYMMDD
  kNAColText = 15,          // 8-bit memo text
  kNAColBinaryFixed = 16,
  kNAColCurrency = 17,      // size 10
  kNAColBlob = 18,          // binary memo
  kNAColInt8 = 19,
  kNAColUInt8 = 20,
  kNAColChar = 21,          // fixed 8-bit text
  kNAColUInt4 = 22,
  kNAColVarBinary = 23,     // binary with a 16-bit length prefix
  kNAColTimestamp = 24,
  kNAColDuration = 25,
  kNAColOneChar = 26,
  kNAColBool = 27,
  kNAColAutoId4 = 28,       // 4-byte automatic identifier
  kNAColNVarChar = 29,      // variable UTF-16 text, size = 2 * length + 2
  kNAColNText = 30,         // UTF-16 memo text
  kNAColDecimal = 31,
  kNAColObject32 = 32,
  kNAColObject33 = 33,
  kNAColUuid16 = 34,
  kNAColUuid16Generated = 35,
  kNAColUuid32 = 36,
  kNAColUuid32Generated = 37,
  kNAColJson = 38,
  kNAColObject39 = 39,
};

constexpr int kNAColumnTypeLast = 39;

// Velisc type of a column type (0 for an unknown code), and back.
int nHostTypeToValueClass(int column_type);
int nValueClassToHostType(int value_class);
// 29 and 30.
bool bIsUnicodeTextType(int column_type);
// 15, 18, 30, 38.
bool bIsLargeObjectType(int column_type);
// 1, 3, 4, 5, 6, 7, 9, 12, 13, 17, 19, 20, 22, 25, 27, 28, 31.
bool bIsNumericColumnType(int column_type);

// The number in parentheses after `keyword` at the start of `text` (blanks
// allowed before "(" and around the number); `fallback` when the text is
// shorter than the keyword plus 3 characters, has no "(" there or no digits.
// Saturates instead of overflowing.
int nParseTypeSize(const char16_t* text, const char16_t* keyword, int fallback);

// Parses a declared SQL type text ("varchar(20)", "int(10) unsigned",
// "decimal(10,2)") into a column type, a byte size, a precision (integer
// digits of a decimal) and a scale (fraction digits of a decimal, of a TIME
// or of a date-time). `collation` is the column's character set or collation
// name (its prefix names the set; null when none); `dbms_kind` chooses the
// REAL and BIT forms. Never fails: a text it does not know gives type 15,
// size 8.
void NAParseTypeName(const char16_t* type_text, const char16_t* collation, int dbms_kind,
                     int* column_type, int* size, int* precision, int* scale);

// True when a character set or collation name is one of the Unicode sets
// (ucs2, utf8, utf8mb3, utf8mb4, utf16, utf16le, utf32), any case.
bool bIsUnicodeCharsetName(const char16_t* name);

// The column type and byte size for a decimal of `digits` integer digits
// and `scale` fraction digits.
void DecimalToColumnType(int digits, int scale, int* column_type, int* size);
// The bytes of the smallest signed binary integer that holds 10^n - 1,
// n from 1 to 38 (0 outside).
int nDecimalStorageSize(int n);

// Column type of a host item type code (15 for a code not listed).
int nItemTypeToColumnType(int item_type);

// Digits and scale of a numeric value class; false for other classes.
bool bGetTypeDigits(int value_class, int* digits, int* scale);

// Replaces every "," of the text by ".".
void ReplaceCommaWithPoint(CTString& text);
// Index of the next "," at or after `start`; -1 when none or `start` lies
// beyond the text.
int nFindComma(const char16_t* text, int start);

#endif  // QG_DRIVER_SQL_SQL_TYPES_H_
