#include "driver/core/edit_record.h"

#include <new>

bool NAEditRecord::bSet(int column, const CAny& value) {
  if (column < 0) return false;
  try {
    if (static_cast<size_t>(column) >= abSet.size()) {
      aclValues.resize(static_cast<size_t>(column) + 1);
      abSet.resize(static_cast<size_t>(column) + 1, 0);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  aclValues[column] = value;
  abSet[column] = 1;
  return true;
}

bool NAEditRecord::bEmpty() const {
  for (uint8_t set : abSet) {
    if (set != 0) return false;
  }
  return true;
}

void NAEditRecord::Clear() {
  aclValues.clear();
  abSet.clear();
}

bool NAEditRecord::bFillFromDeleted() {
  for (size_t i = 0; i < aclDeleted.size(); ++i) {
    if (!bIsSet(static_cast<int>(i)) && !bSet(static_cast<int>(i), aclDeleted[i])) return false;
  }
  return true;
}
