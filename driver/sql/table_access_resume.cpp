// A table access object going on from its current record after its filter
// changed: the record stays where it is in the key's order, and the next
// (or previous) read gives the first record beyond it that the filter now
// in force lets through, not the first record of the new set.
#include <string>
#include <vector>

#include "driver/core/error_status.h"
#include "driver/core/session_moves.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"

namespace {

template <class T>
void Drop(T*& field) {
  T* old = field;
  field = nullptr;
  if (old != nullptr) ReleaseBoth(old);
}

}  // namespace

bool CNATableAccess::bReadOnUnderNewFilter(int32_t direction, int64_t step, bool* handled,
                                           bool* in_range, CNAError* error) {
  *handled = false;
  *in_range = false;
  const bool forward = direction == kNAReadNext;
  if ((!forward && direction != kNAReadPrevious) || step <= 0 || m_pResult == nullptr ||
      !m_bPositionValid || m_nCurrentRow < 0 || m_pTemporaryIndex != nullptr || bCacheReads() ||
      pclGetStoredQuery() != nullptr) {
    return true;
  }
  // The current record's place in the order, written over the order's
  // items from the values it holds: forward, every record up to it (itself
  // included, whether the new filter lets it through or not); backward,
  // every record before it.
  std::u16string boundary;
  int64_t equal = 0;
  std::vector<std::u16string> values;
  CNAError quiet;
  if (!bBoundaryCondition(m_nCurrentRow, false, &boundary, &equal, &values, &quiet, !forward)) {
    return true;
  }
  *handled = true;
  // Nothing that far: out of range, the record and the rows held kept.
  auto out_of_range = [this] {
    m_bOutOfRange = true;
    m_bLastMoveInRange = false;
    m_bFound = false;
    m_bInRange = false;
    return true;
  };
  m_strBoundary = boundary;
  const int64_t before = nCountAside(error);
  m_strBoundary.clear();
  if (before < 0) return false;
  const int64_t total = nCountAside(error);
  if (total < 0) return false;
  // The move by a count from the record's place (counted from 1): forward
  // it stands after the records up to it, backward after those before it.
  // Within the set it becomes a move to a record number; past an end it
  // stays a move by the overshoot, which finds nothing.
  const NAMove move = NAResolveMove(forward ? kNAMoveForward : kNAMoveBackward, step,
                                    forward ? before : before + 1, total);
  if (move.nMode != kNAMoveAbsolute || move.nCount < 1) return out_of_range();
  const int64_t target = move.nCount - 1;  // row of the new order, from 0
  // The new order from that row on, one fetch at a time as before.
  const int64_t limit = m_nFetchLimit;
  m_bFetching = true;
  Drop(m_pGenerator);
  bool ok = bBuildSelect(error);
  if (ok) {
    if (limit > 0) {
      m_pGenerator->SetRowLimit(limit);
      m_pGenerator->SetRowOffset(target);
    }
    ok = bExecute(0, 0, nullptr, error);
  }
  m_bFetching = false;
  m_nCurrentRow = -1;
  m_bPositionValid = false;
  m_astrBoundaryValues.clear();
  m_nBoundarySkip = 0;
  if (!ok) return false;
  if (!bMoveInResult(kNAReadFirst, limit > 0 ? 1 : target + 1, in_range, error)) return false;
  m_nDirection = direction;
  m_bOutOfRange = !*in_range;
  m_bLastMoveInRange = *in_range;
  m_bFound = *in_range;
  m_bInRange = *in_range;
  return true;
}

int64_t CNATableAccess::nCountFromCurrent(bool before, CNAError* error) {
  if (m_pResult == nullptr || !m_bPositionValid || m_nCurrentRow < 0 ||
      m_pTemporaryIndex != nullptr || pclGetStoredQuery() != nullptr) {
    return -1;
  }
  std::u16string boundary;
  int64_t equal = 0;
  std::vector<std::u16string> values;
  CNAError quiet;
  if (!bBoundaryCondition(m_nCurrentRow, !before, &boundary, &equal, &values, &quiet, before)) {
    return -1;
  }
  // Writing the boundary read other rows of the result: the current one
  // becomes the result's row again.
  if (!m_pResult->bSeekRow(static_cast<int32_t>(m_nCurrentRow), error) ||
      !m_pResult->bFetchNext(0, error)) {
    return -1;
  }
  m_strBoundary = boundary;
  const int64_t count = nCountAside(error);
  m_strBoundary.clear();
  return count;
}

int64_t CNATableAccess::nCountUnderFilter(CNAError* error) { return nCountAside(error); }
