#include "driver/sql/sql_types.h"

#include <climits>
#include <cstddef>
#include <string>

#include "support/ctstring.h"

namespace {

// Velisc type of each column type code 0..39.
constexpr int kValueClass[kNAColumnTypeLast + 1] = {
    0,    // 0
    9,    // 1
    19,   // 2
    7,    // 3
    6,    // 4
    8,    // 5
    11,   // 6
    12,   // 7
    0,    // 8
    3,    // 9
    128,  // 10
    129,  // 11
    2,    // 12
    12,   // 13
    128,  // 14
    19,   // 15
    28,   // 16
    10,   // 17
    28,   // 18
    9,    // 19
    5,    // 20
    19,   // 21
    4,    // 22
    28,   // 23
    26,   // 24
    27,   // 25
    17,   // 26
    1,    // 27
    8,    // 28
    16,   // 29
    16,   // 30
    13,   // 31
    135,  // 32
    136,  // 33
    154,  // 34
    154,  // 35
    155,  // 36
    155,  // 37
    19,   // 38
    160,  // 39
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

char16_t Upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool StartsWith(const std::u16string& text, size_t at, const char16_t* keyword) {
  for (size_t i = 0; keyword[i] != 0; ++i) {
    if (at + i >= text.size() || text[at + i] != keyword[i]) return false;
  }
  return true;
}

size_t KeywordLength(const char16_t* keyword) {
  size_t n = 0;
  while (keyword[n] != 0) ++n;
  return n;
}

// Reads a decimal number at `pos` (after blanks), saturating at 10^8.
bool ReadNumber(const std::u16string& text, size_t* pos, int* out) {
  size_t p = *pos;
  while (p < text.size() && IsBlank(text[p])) ++p;
  if (p >= text.size() || text[p] < u'0' || text[p] > u'9') return false;
  long long value = 0;
  while (p < text.size() && text[p] >= u'0' && text[p] <= u'9') {
    if (value < 100000000) value = value * 10 + (text[p] - u'0');
    ++p;
  }
  *out = static_cast<int>(value > 100000000 ? 100000000 : value);
  *pos = p;
  return true;
}

int ParseSizeAt(const std::u16string& text, size_t keyword_length, int fallback) {
  if (text.size() < keyword_length + 3) return fallback;
  size_t p = keyword_length;
  while (p < text.size() && IsBlank(text[p])) ++p;
  if (p >= text.size() || text[p] != u'(') return fallback;
  ++p;
  int n = 0;
  if (!ReadNumber(text, &p, &n)) return fallback;
  return n;
}

// Precision and scale of "DECIMAL(p,s)": numbers after "(" and after the
// first ","; 0 when absent.
void ParsePrecisionScale(const std::u16string& text, int* precision, int* scale) {
  *precision = 0;
  *scale = 0;
  size_t open = text.find(u'(');
  if (open == std::u16string::npos) return;
  size_t p = open + 1;
  ReadNumber(text, &p, precision);
  size_t comma = text.find(u',', open);
  if (comma == std::u16string::npos) return;
  p = comma + 1;
  ReadNumber(text, &p, scale);
}

}  // namespace

int nHostTypeToValueClass(int column_type) {
  if (column_type < 0 || column_type > kNAColumnTypeLast) return 0;
  return kValueClass[column_type];
}

int nValueClassToHostType(int value_class) {
  switch (value_class) {
    case 1: return 27;
    case 2: return 12;
    case 3: return 9;
    case 4: case 14: return 22;
    case 5: return 20;
    case 6: return 4;
    case 7: return 3;
    case 8: return 5;
    case 9: return 19;
    case 10: return 17;
    case 11: return 6;
    case 12: return 7;
    case 13: return 31;
    case 16: return 30;
    case 17: return 26;
    case 18: return 2;
    case 19: return 15;
    case 24: case 128: return 14;
    case 25: case 129: return 11;
    case 26: return 24;
    case 27: return 25;
    case 28: return 18;
    case 81: case 110: return 29;
    case 135: return 32;
    case 136: return 33;
    case 154: return 34;
    case 155: return 36;
    default: return 0;
  }
}

bool bIsUnicodeTextType(int column_type) { return column_type == 29 || column_type == 30; }

bool bIsLargeObjectType(int column_type) {
  return column_type == 15 || column_type == 18 || column_type == 30 || column_type == 38;
}

bool bIsNumericColumnType(int column_type) {
  switch (column_type) {
    case 1: case 3: case 4: case 5: case 6: case 7: case 9: case 12: case 13: case 17:
    case 19: case 20: case 22: case 25: case 27: case 28: case 31:
      return true;
    default:
      return false;
  }
}

int nParseTypeSize(const char16_t* text, const char16_t* keyword, int fallback) {
  if (text == nullptr || keyword == nullptr) return fallback;
  std::u16string upper;
  for (const char16_t* p = text; *p != 0; ++p) upper.push_back(Upper(*p));
  return ParseSizeAt(upper, KeywordLength(keyword), fallback);
}

bool bIsUnicodeCharsetName(const char16_t* name) {
  if (name == nullptr) return false;
  std::u16string upper;
  for (const char16_t* p = name; *p != 0 && upper.size() < 8; ++p) upper.push_back(Upper(*p));
  return StartsWith(upper, 0, u"UCS2") || StartsWith(upper, 0, u"UTF8") ||
         StartsWith(upper, 0, u"UTF16") || StartsWith(upper, 0, u"UTF32");
}

void NAParseTypeName(const char16_t* type_text, const char16_t* collation, int dbms_kind,
                     int* column_type, int* size, int* precision, int* scale) {
  std::u16string t;
  if (type_text != nullptr) {
    for (const char16_t* p = type_text; *p != 0; ++p) t.push_back(Upper(*p));
  }
  int type = 15;
  int bytes = 8;
  int digits = 0;
  int fraction = 0;

  // Unsigned: a leading "UNSIGNED " is skipped; " UNSIGNED" followed by a
  // blank or the end anywhere counts too.
  bool is_unsigned = false;
  if (StartsWith(t, 0, u"UNSIGNED") && t.size() > 8 && IsBlank(t[8])) {
    size_t p = 8;
    while (p < t.size() && IsBlank(t[p])) ++p;
    t.erase(0, p);
    is_unsigned = true;
  }
  for (size_t at = t.find(u"UNSIGNED"); at != std::u16string::npos;
       at = t.find(u"UNSIGNED", at + 1)) {
    if (at > 0 && IsBlank(t[at - 1]) && (at + 8 == t.size() || IsBlank(t[at + 8]))) {
      is_unsigned = true;
      break;
    }
  }

  auto starts = [&t](const char16_t* keyword) { return StartsWith(t, 0, keyword); };
  // The size after whichever of the keywords matched.
  auto size_after = [&t](const char16_t* keyword, int fallback) {
    return ParseSizeAt(t, KeywordLength(keyword), fallback);
  };
  auto first_of = [&starts](std::initializer_list<const char16_t*> keywords) -> const char16_t* {
    for (const char16_t* k : keywords) {
      if (starts(k)) return k;
    }
    return nullptr;
  };

  const char16_t* k = nullptr;
  if (starts(u"YEAR")) {
    type = 14; bytes = 9;
  } else if ((k = first_of({u"VARCHAR", u"VARYING CHARACTER", u"CHARACTER"})) != nullptr) {
    type = 2; bytes = size_after(k, 1) + 1;
  } else if ((k = first_of({u"NCHAR", u"NATIVE CHARACTER", u"NVARCHAR"})) != nullptr) {
    type = 29; bytes = 2 * size_after(k, 1) + 2;
  } else if (starts(u"TINYTEXT")) {
    type = 15; bytes = 8;
  } else if (starts(u"TINYINT")) {
    type = is_unsigned ? 12 : 4; bytes = 1;
  } else if (starts(u"TINYBLOB")) {
    type = 18; bytes = 8;
  } else if (starts(u"TIMESTAMP")) {
    type = 24; bytes = 8; fraction = size_after(u"TIMESTAMP", 0);
  } else if (starts(u"TIME")) {
    int n = size_after(u"TIME", 0);
    type = 11; bytes = n < 4 ? 7 + n : 10; fraction = n;
  } else if (starts(u"TEXT")) {
    type = 15; bytes = 8;
  } else if (starts(u"NTEXT")) {
    type = 30; bytes = 8;
  } else if (starts(u"CLOB")) {
    type = 15; bytes = 8;
  } else if (first_of({u"SMALLINT", u"INT2"}) != nullptr) {
    type = is_unsigned ? 9 : 3; bytes = 2;
  } else if (starts(u"SET")) {
    type = 15; bytes = 8;
  } else if (starts(u"REAL")) {
    type = dbms_kind == 13 ? 7 : 6; bytes = dbms_kind == 13 ? 8 : 4;
  } else if (starts(u"MEDIUMTEXT")) {
    type = 15; bytes = 8;
  } else if (first_of({u"BIGINT", u"BIG INT", u"INT8"}) != nullptr) {
    type = is_unsigned ? 20 : 19; bytes = 8;
  } else if (first_of({u"MEDIUMINT", u"INTEGER", u"INT"}) != nullptr) {
    type = is_unsigned ? 22 : 5; bytes = 4;
  } else if (first_of({u"MEDIUMBLOB", u"LONGBLOB"}) != nullptr) {
    type = 18; bytes = 8;
  } else if (starts(u"LONGTEXT")) {
    type = 15; bytes = 8;
  } else if (starts(u"FLOAT")) {
    type = 6; bytes = 4;
  } else if (starts(u"ENUM")) {
    type = 15; bytes = 8;
  } else if (first_of({u"DOUBLE PRECISION", u"DOUBLE"}) != nullptr) {
    type = 7; bytes = 8;
  } else if (first_of({u"DECIMAL", u"DEC", u"NUMERIC"}) != nullptr) {
    int p = 0;
    int s = 0;
    ParsePrecisionScale(t, &p, &s);
    digits = p - s;
    fraction = s;
    DecimalToColumnType(digits, fraction, &type, &bytes);
  } else if (starts(u"DATETIME")) {
    type = 24; bytes = 8; fraction = size_after(u"DATETIME", 0);
  } else if (starts(u"DATE")) {
    type = 14; bytes = 9;
  } else if (starts(u"CHAR")) {
    size_t p = 4;
    while (p < t.size() && IsBlank(t[p])) ++p;
    if (p < t.size() && t[p] == u'(') {
      type = 2; bytes = size_after(u"CHAR", 1) + 1;
    } else {
      type = 26; bytes = 1;
    }
  } else if (first_of({u"BOOLEAN", u"BOOL"}) != nullptr) {
    type = 4; bytes = 1;
  } else if (starts(u"BLOB")) {
    type = 18; bytes = 8;
  } else if (starts(u"BIT")) {
    if (dbms_kind == 5 || dbms_kind == 6) {
      int m = size_after(u"BIT", 1);
      if (m <= 0) m = 1;
      type = 23; bytes = (m + 7) / 8 + 2;
    } else {
      type = 4; bytes = 1;
    }
  } else if ((k = first_of({u"VARBINARY", u"BINARY"})) != nullptr) {
    type = 23; bytes = size_after(k, 1) + 2;
  }

  if (bIsUnicodeCharsetName(collation)) {
    if (type == 2) {
      type = 29;
      bytes = bytes > INT_MAX / 2 ? INT_MAX : bytes * 2;
    } else if (type == 15) {
      type = 30;
    }
  }
  if (bytes > 65535) {
    if (type == 2) { type = 15; bytes = 8; }
    else if (type == 23) { type = 18; bytes = 8; }
    else if (type == 29) { type = 30; bytes = 8; }
  }
  if (type == 7) {
    // A decimal too large for the exact types is read as a double.
    digits = 0;
    fraction = 0;
  }
  *column_type = type;
  *size = bytes;
  if (precision != nullptr) *precision = digits;
  if (scale != nullptr) *scale = fraction;
}

int nDecimalStorageSize(int n) {
  static constexpr int kSizes[38] = {1,  1,  2,  2,  3,  3,  4,  4,  4,  5,  5,  6,  6,
                                     6,  7,  7,  8,  8,  9,  9,  9,  10, 10, 11, 11, 11,
                                     12, 12, 13, 13, 13, 14, 14, 15, 15, 16, 16, 16};
  if (n < 1 || n > 38) return 0;
  return kSizes[n - 1];
}

void DecimalToColumnType(int digits, int scale, int* column_type, int* size) {
  int type = 7;
  int bytes = 8;
  if (digits >= 0 && scale >= 0 && !(digits == 0 && scale == 0)) {
    if (scale == 0 && digits <= 2) {
      type = 4; bytes = 1;
    } else if (scale == 0 && digits <= 4) {
      type = 3; bytes = 2;
    } else if (scale == 0 && digits <= 9) {
      type = 5; bytes = 4;
    } else if (scale == 0 && digits <= 19) {
      type = 19; bytes = 8;
    } else if (scale <= 6 && digits <= 10) {
      type = 17; bytes = 10;
    } else if (scale <= 38 && digits <= 38 && digits + scale <= 38) {
      type = 31; bytes = nDecimalStorageSize(digits + scale);
    }
  }
  *column_type = type;
  *size = bytes;
}

int nItemTypeToColumnType(int item_type) {
  switch (item_type) {
    case 0: return 0;
    case 2: return 2;
    case 3: case 8: return 3;
    case 4: return 4;
    case 5: case 33: case 42: return 5;
    case 6: return 6;
    case 7: return 7;
    case 9: return 9;
    case 10: return 10;
    case 11: return 11;
    case 12: return 26;
    case 13: return 13;
    case 14: return 14;
    case 17: return 17;
    case 18: case 30: return 18;
    case 23: return 21;
    case 24: return 1;
    case 25: return 19;
    case 26: return 22;
    case 27: return 20;
    case 28: case 43: return 23;
    case 34: return 24;
    case 35: return 25;
    case 36: return 12;
    case 37: return 27;
    case 38: return 28;
    case 39: return 29;
    case 40: return 30;
    case 41: return 31;
    case 44: return 34;
    case 45: return 36;
    case 46: return 35;
    case 47: return 37;
    case 48: return 38;
    default: return 15;
  }
}

bool bGetTypeDigits(int value_class, int* digits, int* scale) {
  int d = 0;
  int s = 0;
  switch (value_class) {
    case 1: d = 1; break;
    case 2: case 6: d = 3; break;
    case 3: case 7: d = 5; break;
    case 4: case 8: case 14: d = 10; break;
    case 5: case 9: case 27: d = 19; break;
    case 10: d = 33; s = 5; break;
    default: return false;
  }
  *digits = d;
  *scale = s;
  return true;
}

void ReplaceCommaWithPoint(CTString& text) {
  if (text.bEstVide()) return;
  std::u16string copy(text.pszGet());
  for (char16_t& c : copy) {
    if (c == u',') c = u'.';
  }
  text.Set(copy.c_str());
}

int nFindComma(const char16_t* text, int start) {
  if (text == nullptr || start < 0) return -1;
  int i = 0;
  for (; i < start; ++i) {
    if (text[i] == 0) return -1;
  }
  for (; text[i] != 0; ++i) {
    if (text[i] == u',') return i;
  }
  return -1;
}
