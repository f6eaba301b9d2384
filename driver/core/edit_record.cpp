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

void NAEditRecord::KeepWritten() {
  if (abKept.size() < abSet.size()) {
    try {
      aclKept.resize(abSet.size());
      abKept.resize(abSet.size(), 0);
    } catch (const std::bad_alloc&) {
      // Nothing kept: the record reads as it was read.
      aclKept.clear();
      abKept.clear();
      Clear();
      return;
    }
  }
  for (size_t i = 0; i < abSet.size(); ++i) {
    if (abSet[i] == 0) continue;
    aclKept[i] = aclValues[i];
    abKept[i] = 1;
  }
  Clear();
}

const CAny* NAEditRecord::pclShown(int column) const {
  if (bIsSet(column)) return &aclValues[static_cast<size_t>(column)];
  if (column >= 0 && static_cast<size_t>(column) < abKept.size() && abKept[column] != 0) {
    return &aclKept[static_cast<size_t>(column)];
  }
  return nullptr;
}

void NAEditRecord::Forget() {
  Clear();
  aclDeleted.clear();
  aclKept.clear();
  abKept.clear();
}

bool NAEditRecord::bFillFromDeleted() {
  for (size_t i = 0; i < aclDeleted.size(); ++i) {
    if (!bIsSet(static_cast<int>(i)) && !bSet(static_cast<int>(i), aclDeleted[i])) return false;
  }
  return true;
}
