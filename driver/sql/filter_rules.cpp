#include "driver/sql/filter_rules.h"

#include <cfloat>
#include <cstdint>
#include <cstring>
#include <limits>

#include "driver/core/support/datetime_tm.h"
#include "driver/core/support/text_helpers.h"

const char16_t* pszFilterOperatorText(int op) {
  switch (op) {
    case kNAFilterOr: return u" OR ";
    case kNAFilterAnd: return u" AND ";
    case kNAFilterNot: return u" NOT ";
    case kNAFilterEqual: return u"=";
    case kNAFilterGreater: return u">";
    case kNAFilterLess: return u"<";
    case kNAFilterGreaterEqual: return u">=";
    case kNAFilterLessEqual: return u"<=";
    case kNAFilterFalse: return u"0=1";
    case kNAFilterTrue: return u"1=1";
    case kNAFilterNotEqual: return u"<>";
    case kNAFilterIsNull: return u" IS NULL";
    // Written right after a column like " IS NULL": it needs the blank.
    case kNAFilterIsNotNull: return u" IS NOT NULL";
    default: return u"";
  }
}

int nFilterOperatorToCompareCode(int op) {
  switch (op) {
    case kNAFilterEqual: return 9;
    case kNAFilterGreater: return 13;
    case kNAFilterLess: return 11;
    case kNAFilterGreaterEqual: return 14;
    case kNAFilterLessEqual: return 12;
    case kNAFilterNotEqual: return 10;
    case kNAFilterIsNull: return 33;
    default: return -1;
  }
}

int nReverseFilterOperator(int op) {
  switch (op) {
    case kNAFilterGreater: return kNAFilterLess;
    case kNAFilterLess: return kNAFilterGreater;
    case kNAFilterGreaterEqual: return kNAFilterLessEqual;
    case kNAFilterLessEqual: return kNAFilterGreaterEqual;
    default: return op;
  }
}

int nOuterDirectionOperator(int op) {
  if (op == kNAFilterLessEqual) return kNAFilterLess;
  if (op == kNAFilterGreaterEqual) return kNAFilterGreater;
  return op;
}

bool bIsWideTextType(int t) {
  return t == 16 || t == 20 || t == 24 || t == 25 || t == 81 || t == 110;
}

bool bIsTextOrDateType(int t) {
  return (t >= 16 && t <= 25) || t == 81 || t == 110 || t == 128 || t == 129 || t == 134;
}

bool bIsNullValue(const CAny& value) { return value.bEstNull() || value.bEstVide(); }

namespace {

// Reads the value as a truth value; false when it has none.
bool bReadTruth(const CAny& value, bool* truth) {
  if (bIsNullValue(value)) return false;
  int32_t b = 0;
  if (value.nGetBOOL(&b) != 0) return false;
  *truth = b != 0;
  return true;
}

// The bytes of a value holding 8-bit text.
bool bNarrowBytes(const CAny& value, std::string* out) {
  CXYString<char> held;
  if (value.nGetDSTRA(&held) == 0) {
    *out = held.pszGet();
    return true;
  }
  const char* bytes = nullptr;
  if ((value.nGetPSTRA(&bytes) == 0 || value.pclHolder()->vnGetTexteA(&bytes) == 0) &&
      bytes != nullptr) {
    *out = bytes;
    return true;
  }
  return false;
}

}  // namespace

std::u16string FilterValueText(const CAny& value) {
  if (bIsNullValue(value)) return {};
  CXYString<char16_t> dynamic_wide;
  if (value.nGetDSTRW(&dynamic_wide) == 0) return dynamic_wide.pszGet();
  const char16_t* wide = nullptr;
  if ((value.nGetPSTRW(&wide) == 0 || value.pclHolder()->vnGetTexteW(&wide) == 0) &&
      wide != nullptr) {
    return wide;
  }
  CXYString<char16_t> converted;
  if (value.nGetTexte(&converted) == 0) return converted.pszGet();
  // No conversion at hand: 8-bit text byte by byte (emptiness and byte
  // values are still judged right).
  std::string bytes;
  if (bNarrowBytes(value, &bytes)) {
    std::u16string out;
    for (char c : bytes) out.push_back(static_cast<unsigned char>(c));
    return out;
  }
  return {};
}

namespace {

bool bIsEmptyText(const CAny& value) {
  if (bIsNullValue(value)) return false;
  return FilterValueText(value).empty();
}

// Every character is the highest the type holds. The 8-bit types are
// judged on their bytes when the value holds 8-bit text.
bool bIsAllHighest(const CAny& value, int velisc_type) {
  if (bIsNullValue(value)) return false;
  if (!bIsWideTextType(velisc_type)) {
    std::string bytes;
    if (bNarrowBytes(value, &bytes)) {
      if (bytes.empty()) return false;
      for (char c : bytes) {
        if (static_cast<unsigned char>(c) != 0xFF) return false;
      }
      return true;
    }
  }
  const std::u16string text = FilterValueText(value);
  if (text.empty()) return false;
  const char16_t highest = bIsWideTextType(velisc_type) ? char16_t{0xFFFF} : char16_t{0xFF};
  for (char16_t c : text) {
    if (c != highest) return false;
  }
  return true;
}

}  // namespace

int nNormaliseLeafOperator(int op, int velisc_type, const CAny& value, bool null_first) {
  if (velisc_type == qg::kAnyBOOL && op >= kNAFilterGreater && op <= kNAFilterLessEqual) {
    bool truth = false;
    if (bReadTruth(value, &truth)) {
      switch (op) {
        case kNAFilterGreater: return truth ? kNAFilterFalse : kNAFilterNotEqual;
        case kNAFilterLess: return truth ? kNAFilterNotEqual : kNAFilterFalse;
        case kNAFilterGreaterEqual: return truth ? kNAFilterEqual : kNAFilterTrue;
        default: return truth ? kNAFilterTrue : kNAFilterEqual;
      }
    }
  }
  const bool null = bIsNullValue(value);
  if (bIsTextOrDateType(velisc_type)) {
    if (op == kNAFilterGreaterEqual && ((null && null_first) || bIsEmptyText(value))) {
      return kNAFilterTrue;
    }
    // Only a text made of nothing but the highest character bounds no row:
    // "<=" a text that merely begins with it still excludes the rows above.
    if (op == kNAFilterLessEqual &&
        ((null && !null_first) || bIsAllHighest(value, velisc_type))) {
      return kNAFilterTrue;
    }
  }
  if (null) {
    if (op == kNAFilterGreaterEqual && null_first) return kNAFilterTrue;
    if (op == kNAFilterLessEqual && !null_first) return kNAFilterTrue;
  }
  return op;
}

NANullLeafForm NullLeafForm(int op, bool null_first) {
  switch (op) {
    case kNAFilterEqual:
    case kNAFilterIsNull:
      return {NANullLeaf::kIsNull, 1};
    case kNAFilterGreater:
      return null_first ? NANullLeafForm{NANullLeaf::kIsNotNull, 0}
                        : NANullLeafForm{NANullLeaf::kFalse, -1};
    case kNAFilterLess:
      return null_first ? NANullLeafForm{NANullLeaf::kFalse, -1}
                        : NANullLeafForm{NANullLeaf::kIsNotNull, 0};
    // "<=" null where nulls come first (">=" where they come last) bounds
    // the range at the null rows; the other two cases hold every row.
    case kNAFilterLessEqual:
      return null_first ? NANullLeafForm{NANullLeaf::kIsNull, 1}
                        : NANullLeafForm{NANullLeaf::kTrue, -1};
    case kNAFilterGreaterEqual:
      return null_first ? NANullLeafForm{NANullLeaf::kTrue, -1}
                        : NANullLeafForm{NANullLeaf::kIsNull, 1};
    case kNAFilterNotEqual:
    case kNAFilterIsNotNull:
      return {NANullLeaf::kIsNotNull, 0};
    default:
      return {NANullLeaf::kTrue, -1};
  }
}

std::u16string MakeLikePattern(const char16_t* text, bool prefix) {
  NAEscapeOptions options;
  options.bEscapePercent = true;
  options.bEscapeUnderscore = true;
  options.bWidenEscapePercent = true;
  options.bWidenEscapeUnderscore = true;
  options.bWidenEscapeEscape = true;
  std::u16string out;
  EscapeTextW(text != nullptr ? text : u"", out, options, u'\\');
  if (prefix) out.push_back(u'%');
  return out;
}

NAPartialRange PartialDateRange(int column_type, const char16_t* text, int time_text_size) {
  NAPartialRange r;
  const size_t n = text != nullptr ? std::char_traits<char16_t>::length(text) : 0;
  size_t complete = 0;
  switch (column_type) {
    case 11: complete = time_text_size > 0 ? static_cast<size_t>(time_text_size) : 9; break;
    case 14: complete = 8; break;
    case 24: complete = 17; break;
    default: return r;
  }
  if (n == 0 || n >= complete) return r;
  CDateTimeTm low;
  CDateTimeTm high;
  bool has_high = false;
  if (column_type == 11) {
    if (!low.bParseTime(text)) return r;
    low.m_nYear = 0;
    has_high = high.bParseTimeUpperBound(text);
    r.low.SetTIMEW(low.FormatTime().c_str());
    if (has_high) r.high.SetTIMEW(high.FormatTime().c_str());
  } else {
    if (!low.bParseDate(text)) return r;
    has_high = high.bParseDateUpperBound(text);
    if (column_type == 14) {
      r.low.SetDATEW(low.FormatDate().c_str());
      if (has_high) r.high.SetDATEW(high.FormatDate().c_str());
    } else {
      low.ToHostDateTime(r.low);
      if (has_high) high.ToHostDateTime(r.high);
    }
  }
  if (!has_high) {
    r.form = NAPartialRange::kLowOnly;
  } else {
    int32_t order = 1;
    r.form = (r.low.nCompare(r.high, &order) == 0 && order == 0) ? NAPartialRange::kEqual
                                                                  : NAPartialRange::kRange;
  }
  return r;
}

bool bIsLowestValue(const CAny& value) {
  if (bIsNullValue(value)) return false;
  switch (value.nGetCode()) {
    case qg::kAnyBOOL: { int32_t v = 1; return value.nGetBOOL(&v) == 0 && v == 0; }
    case qg::kAnyUI1: { uint8_t v = 1; return value.nGetUI1(&v) == 0 && v == 0; }
    case qg::kAnyUI2: { uint16_t v = 1; return value.nGetUI2(&v) == 0 && v == 0; }
    case qg::kAnyUI4: { uint32_t v = 1; return value.nGetUI4(&v) == 0 && v == 0; }
    case qg::kAnyUI8: { uint64_t v = 1; return value.nGetUI8(&v) == 0 && v == 0; }
    case qg::kAnyI1: { int8_t v = 0; return value.nGetI1(&v) == 0 && v == INT8_MIN; }
    case qg::kAnyI2: { int16_t v = 0; return value.nGetI2(&v) == 0 && v == INT16_MIN; }
    case qg::kAnyI4: { int32_t v = 0; return value.nGetI4(&v) == 0 && v == INT32_MIN; }
    case qg::kAnyI8: { int64_t v = 0; return value.nGetI8(&v) == 0 && v == INT64_MIN; }
    case qg::kAnyR4: { float v = 0; return value.nGetR4(&v) == 0 && v == -FLT_MAX; }
    case qg::kAnyR8: { double v = 0; return value.nGetR8(&v) == 0 && v == -DBL_MAX; }
    case qg::kAnyCY: {
      qg::Fixe6 v{};
      if (value.nGetCY(&v) != 0) return false;
      for (uint16_t w : v.aw) {
        if (w != 0) return false;
      }
      return true;
    }
    default:
      return bIsTextOrDateType(value.nGetCode()) && FilterValueText(value).empty();
  }
}

bool bSetLowestValue(CAny& value, int t) {
  switch (t) {
    case qg::kAnyBOOL: value.SetBOOL(0); return true;
    case qg::kAnyUI1: value.SetUI1(0); return true;
    case qg::kAnyUI2: value.SetUI2(0); return true;
    case qg::kAnyUI4: value.SetUI4(0); return true;
    case qg::kAnyUI8: value.SetUI8(0); return true;
    case qg::kAnyI1: value.SetI1(INT8_MIN); return true;
    case qg::kAnyI2: value.SetI2(INT16_MIN); return true;
    case qg::kAnyI4: value.SetI4(INT32_MIN); return true;
    case qg::kAnyI8: value.SetI8(INT64_MIN); return true;
    case qg::kAnyR4: value.SetR4(-FLT_MAX); return true;
    case qg::kAnyR8: value.SetR8(-DBL_MAX); return true;
    case qg::kAnyCY: value.SetCY(qg::Fixe6{}); return true;
    default:
      if (bIsWideTextType(t)) { value.SetDSTRW(u""); return true; }
      if (bIsTextOrDateType(t)) { value.SetDSTRA(""); return true; }
      return false;
  }
}

bool bSetHighestValue(CAny& value, int t) {
  switch (t) {
    case qg::kAnyBOOL: value.SetBOOL(1); return true;
    case qg::kAnyUI1: value.SetUI1(UINT8_MAX); return true;
    case qg::kAnyUI2: value.SetUI2(UINT16_MAX); return true;
    case qg::kAnyUI4: value.SetUI4(UINT32_MAX); return true;
    case qg::kAnyUI8: value.SetUI8(UINT64_MAX); return true;
    case qg::kAnyI1: value.SetI1(INT8_MAX); return true;
    case qg::kAnyI2: value.SetI2(INT16_MAX); return true;
    case qg::kAnyI4: value.SetI4(INT32_MAX); return true;
    case qg::kAnyI8: value.SetI8(INT64_MAX); return true;
    case qg::kAnyR4: value.SetR4(FLT_MAX); return true;
    case qg::kAnyR8: value.SetR8(DBL_MAX); return true;
    case qg::kAnyCY: value.SetCY(qg::Fixe6{{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0x7FFF}}); return true;
    default: return false;  // texts: their high keys are matched as prefixes
  }
}

bool bIsNullInclusive(const NANullInclusiveQuery& q) {
  if ((q.dbms_kind == 8 || q.dbms_kind == 11) && !q.column_nullable) return false;
  if ((q.flags & kNAFilterLowBound) != 0 &&
      (q.op == kNAFilterEqual || q.op == kNAFilterGreaterEqual) && q.value_is_lowest) {
    return true;
  }
  if (!q.column_accepts_null) return false;
  if (q.null_first) {
    return (q.op == kNAFilterLess && !q.value_is_lowest) || q.op == kNAFilterLessEqual;
  }
  return q.op == kNAFilterGreater || q.op == kNAFilterGreaterEqual;
}

NAKeyRangeOperators ChooseKeyRangeOperators(bool has_low, bool has_high, bool equal_values,
                                            bool low_inclusive, bool high_inclusive,
                                            bool exact, bool descending) {
  NAKeyRangeOperators r;
  if (descending && has_low && has_high) {
    r.swapped = true;
    std::swap(low_inclusive, high_inclusive);
  }
  const int low_range = low_inclusive ? kNAFilterGreaterEqual : kNAFilterGreater;
  const int high_range = high_inclusive ? kNAFilterLessEqual : kNAFilterLess;
  if (has_low) {
    if (has_high && equal_values && !exact) {
      r.low_op = kNAFilterEqual;
      return r;
    }
    if (!has_high && exact) {
      r.low_op = kNAFilterEqual;
      return r;
    }
    r.low_op = low_range;
  }
  if (has_high) r.high_op = high_range;
  return r;
}
