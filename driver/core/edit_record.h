// The values the host wrote into a session's current record since it was
// read, by column number: what an INSERT writes and what an UPDATE
// changes. Used under the session's lock.
#ifndef QG_DRIVER_CORE_EDIT_RECORD_H_
#define QG_DRIVER_CORE_EDIT_RECORD_H_

#include <cstdint>
#include <vector>

#include "support/any.h"

struct NAEditRecord {
  // False when the column number is negative or memory runs out.
  bool bSet(int column, const CAny& value);
  bool bIsSet(int column) const {
    return column >= 0 && static_cast<size_t>(column) < abSet.size() && abSet[column] != 0;
  }
  // The value written, null when none.
  const CAny* pclGet(int column) const { return bIsSet(column) ? &aclValues[column] : nullptr; }
  bool bEmpty() const;
  void Clear();
  // Sets every column the host left alone to the record's own value as it
  // was when deleted (kept in aclDeleted), so that an INSERT writes the
  // whole record again.
  bool bFillFromDeleted();

  std::vector<CAny> aclValues;
  std::vector<uint8_t> abSet;
  // The record last deleted through the session, by column; empty when
  // none (a read forgets it).
  std::vector<CAny> aclDeleted;
};

#endif  // QG_DRIVER_CORE_EDIT_RECORD_H_
