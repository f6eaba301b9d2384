// The rules a filter leaf follows when it is written: operator codes and
// their texts, the host comparison code of an operator, folding of leaves
// whose result is known before the server sees them, null tests, LIKE
// patterns, the ranges that stand for a partial date or time, the
// null-inclusive test and the operators of a key range. Pure functions: the
// filter tree and the key filter call them and write what they answer.
#ifndef QG_DRIVER_SQL_FILTER_RULES_H_
#define QG_DRIVER_SQL_FILTER_RULES_H_

#include <string>

#include "support/any.h"

// Operator codes of filter nodes.
enum NAFilterOperator : int {
  kNAFilterEmpty = 0,
  kNAFilterOr = 1,
  kNAFilterAnd = 2,
  kNAFilterNot = 3,
  kNAFilterEqual = 4,
  kNAFilterGreater = 5,
  kNAFilterLess = 6,
  kNAFilterGreaterEqual = 7,
  kNAFilterLessEqual = 8,
  kNAFilterText = 9,
  kNAFilterFalse = 10,
  kNAFilterTrue = 11,
  kNAFilterNotEqual = 12,
  kNAFilterIsNull = 13,
  kNAFilterIsNotNull = 14,
};

// Node flags.
constexpr unsigned kNAFilterPrefix = 0x1;         // text as a prefix, date by its given part
constexpr unsigned kNAFilterExact = 0x8;
constexpr unsigned kNAFilterLowBound = 0x40;      // lower bound of a key range
constexpr unsigned kNAFilterHighBound = 0x80;     // upper bound of a key range
constexpr unsigned kNAFilterMarked = 0x100;       // an empty-text prefix is no prefix

// The text written for an operator; empty for codes without one. Every
// text that follows a column begins with a blank or is an operator sign.
const char16_t* pszFilterOperatorText(int op);
// The host's comparison code of a comparison operator (typed rendering of
// date and time columns); -1 for any other operator.
int nFilterOperatorToCompareCode(int op);
// 5 <-> 6 and 7 <-> 8 (a descending key part); other codes unchanged.
int nReverseFilterOperator(int op);
// The operator of the leading comparison at a key part that is not the
// last one: "<=" continues with "<", ">=" with ">", others stay.
int nOuterDirectionOperator(int op);

// Velisc type groups.
bool bIsWideTextType(int velisc_type);      // 16, 20, 24, 25, 81, 110
bool bIsTextOrDateType(int velisc_type);    // 16-25, 81, 110, 128, 129, 134

// A value counts as null when its null flag is set or it holds nothing.
bool bIsNullValue(const CAny& value);
// The UTF-16 text a value holds (8-bit text widened byte by byte, other
// values through the conversion provider); empty for null values and
// values without a text.
std::u16string FilterValueText(const CAny& value);

// Leaf normalisation: the operator a leaf on an item of the given Velisc
// type takes before it is written (10 "0=1", 11 "1=1", 4, 12, or op
// unchanged).
int nNormaliseLeafOperator(int op, int velisc_type, const CAny& value, bool null_first);

// What a leaf with a null value (or operator 13 / 14) writes.
enum class NANullLeaf { kFalse, kTrue, kIsNull, kIsNotNull };
struct NANullLeafForm {
  NANullLeaf form;
  int null_flag;  // the column's null flag in the node's list: 1, 0, or -1 for none
};
NANullLeafForm NullLeafForm(int op, bool null_first);

// The LIKE pattern of a value: '\' , '%' and '_' escaped with '\' so that
// every character matches only itself, then '%' for a prefix comparison.
std::u16string MakeLikePattern(const char16_t* text, bool prefix);

// A date or time value compared under the prefix flag, by column type
// (11 time, 14 date, 24 date-time).
struct NAPartialRange {
  enum Form {
    kPlain,     // write a plain comparison with the value itself
    kEqual,     // column "=" low
    kRange,     // column ">=" low AND column "<" high
    kLowOnly,   // column ">=" low: nothing follows the prefix (year 9999)
  } form = kPlain;
  CAny low;
  CAny high;
};
// time_text_size: the column's text size for a time column. A text that
// is empty, complete, or not a compact date text gives kPlain.
NAPartialRange PartialDateRange(int column_type, const char16_t* text, int time_text_size);

// Whether a value is the lowest its type holds (false for booleans, 0 for
// unsigned integers and currency, the most negative signed integer, the
// most negative finite real, an empty text).
bool bIsLowestValue(const CAny& value);
// Writes into value the lowest (highest) value of its type; false when
// the type has none.
bool bSetLowestValue(CAny& value, int velisc_type);
bool bSetHighestValue(CAny& value, int velisc_type);

// Whether a leaf also lets the column's nulls through ("(" ... " OR "
// column " IS NULL)").
struct NANullInclusiveQuery {
  int op = 0;
  unsigned flags = 0;
  bool value_is_lowest = false;
  bool column_accepts_null = false;
  bool column_nullable = true;  // the column's own nullable flag
  bool null_first = true;
  int dbms_kind = 0;
};
bool bIsNullInclusive(const NANullInclusiveQuery& q);

// The operators of a key range. The caller swaps its low and high values
// when `swapped` is set; 0 means no bound.
struct NAKeyRangeOperators {
  int low_op = 0;
  int high_op = 0;
  bool swapped = false;
};
NAKeyRangeOperators ChooseKeyRangeOperators(bool has_low, bool has_high, bool equal_values,
                                            bool low_inclusive, bool high_inclusive,
                                            bool exact, bool descending);

#endif  // QG_DRIVER_SQL_FILTER_RULES_H_
