// The conditions that continue a key from a key value: the equality on
// every part, and the direction trees that select the keys after (">",
// ">=") or before ("<", "<=") it in the key's order, built part by part:
//   k1 OP' x1 OR (k1 = x1 AND [the same for k2 ... kn])
// where OP' is the strict form of OP; the last part takes OP itself. A
// part sorted in descending order takes the reversed operator. Leaves with
// a null value become null tests when written (see CNAFilter), so a read
// from a record whose part is null neither repeats nor skips records.
#ifndef QG_DRIVER_SQL_KEY_CONDITION_H_
#define QG_DRIVER_SQL_KEY_CONDITION_H_

#include <vector>

#include "driver/sql/filter.h"

struct NAKeyConditionPart {
  NAFilterColumn column;
  CAny value;               // null for a missing value
  bool bDescending = false;
  bool bPrefix = false;     // the value is matched as a prefix
};

// (k1 = x1) AND (k2 = x2) AND ...; a part with bPrefix compares as a
// prefix. Null when there is no part or memory runs out; one reference.
CNAFilter* pclBuildKeyEquality(const std::vector<NAKeyConditionPart>& parts, unsigned flags);

// The direction tree for operator 5, 6, 7 or 8. A partial key uses one
// part less for "<=" when it ends low and for ">=" when it ends high.
// Null when there is no part left or memory runs out; one reference.
CNAFilter* pclBuildKeyDirection(const std::vector<NAKeyConditionPart>& parts, int op,
                                bool key_low, bool key_high, unsigned flags);

#endif  // QG_DRIVER_SQL_KEY_CONDITION_H_
