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
  // Forgets the values written (those already sent stay readable, below).
  void Clear();
  // The values written become the record's own: they are no longer to be
  // sent, and read as the record's values until Forget.
  void KeepWritten();
  // What the record reads for a column: the value written, else one kept
  // by KeepWritten; null when neither.
  const CAny* pclShown(int column) const;
  // Another record is current: nothing written or kept stays.
  void Forget();
  // Sets every column the host left alone to the record's own value as it
  // was when deleted (kept in aclDeleted), so that an INSERT writes the
  // whole record again.
  bool bFillFromDeleted();

  std::vector<CAny> aclValues;
  std::vector<uint8_t> abSet;
  // The record last deleted through the session, by column; empty when
  // none (a read forgets it).
  std::vector<CAny> aclDeleted;
  // Values of the current record sent to the server (KeepWritten).
  std::vector<CAny> aclKept;
  std::vector<uint8_t> abKept;
};

#endif  // QG_DRIVER_CORE_EDIT_RECORD_H_
