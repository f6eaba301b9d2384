// The record a table access object reads: rows of the open result loaded
// into the logical description's current record, kept in the record cache,
// and read back from the cache (or along a temporary index over it) with
// no request to the server.
#include <new>

#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/temporary_index.h"
#include "driver/sql/value_converter.h"
#include "support/any.h"

namespace {

// Index positioning kinds of the read directions.
int IndexKind(int32_t direction) {
  switch (direction) {
    case kNAReadFirst:
      return kNAIndexFirst;
    case kNAReadLast:
      return kNAIndexLast;
    case kNAReadNext:
      return kNAIndexForward;
    case kNAReadPrevious:
      return kNAIndexBackward;
    default:
      return -1;  // stays
  }
}

}  // namespace

void CNATableAccess::SetFileDescription(CNAFileDescription* logical) {
  if (logical == m_pLogical) return;
  if (logical != nullptr) AddRefBoth(logical);
  CNAFileDescription* old = m_pLogical;
  m_pLogical = logical;
  m_bItemColumnsFound = false;
  if (old != nullptr) ReleaseBoth(old);
}

CNAFileDescription* CNATableAccess::pclGetFileDescription() {
  if (m_pLogical == nullptr && m_pSession != nullptr) {
    // The session's description is a CNAFileDescription; its reference
    // moves here.
    CNARefCounted* logical = m_pSession->pclGetLogicalDescription();
    m_pLogical = static_cast<CNAFileDescription*>(logical);
    m_bItemColumnsFound = false;
  }
  return m_pLogical;
}

bool CNATableAccess::bLoadResultRow(CNAError* error) {
  CNAFileDescription* logical = pclGetFileDescription();
  if (logical == nullptr || m_pResult == nullptr || !m_pResult->bHasRow()) return true;
  if (!logical->bRebindItems(error)) return false;
  const int items = logical->nGetItemCount();
  if (!m_bItemColumnsFound) {
    m_anItemColumns.assign(static_cast<size_t>(items), -1);
    for (int i = 0; i < items; ++i) {
      CNAItem* item = logical->pclGetItem(i);
      if (item == nullptr || item->bIsCompositeKey()) continue;
      const char16_t* name = item->pszGetSqlName();
      if (name == nullptr || name[0] == 0) name = item->pszGetName();
      for (int c = 0; c < m_pResult->nGetColumnCount(); ++c) {
        CAny column;
        const char16_t* text = nullptr;
        if (m_pResult->bGetColumnName(column, c, nullptr) && column.nGetPCXSTR(&text) < 100 &&
            text != nullptr && CTString(text).bEstEgalI(name)) {
          m_anItemColumns[static_cast<size_t>(i)] = c;
          break;
        }
      }
    }
    m_bItemColumnsFound = true;
  }
  CNARowBuffer* row = logical->pclGetCurrentRow();
  for (int i = 0; i < items && static_cast<size_t>(i) < m_anItemColumns.size(); ++i) {
    int column = m_anItemColumns[static_cast<size_t>(i)];
    CNAItem* item = logical->pclGetItem(i);
    if (column < 0 || item == nullptr) continue;
    CNAValueConverter* converter = item->pclGetConverter();
    if (converter == nullptr) continue;
    if (!m_pResult->bGetColumnValue(converter, column, 0, error)) return false;
    if (row != nullptr && item->nGetRowColumn() >= 0) {
      row->SetPresent(item->nGetRowColumn(), !converter->bIsNull(), -1);
    }
  }
  return true;
}

bool CNATableAccess::bCacheReads() {
  if (!bIsCacheEnabled() || m_pCache == nullptr || pclGetFileDescription() == nullptr) {
    return false;
  }
  if (m_pTemporaryIndex != nullptr) return true;
  // Cache row n is row n of the order: only a result that holds the whole
  // order from its first row fills it.
  return m_pResult != nullptr && m_nFetchLimit <= 0 && m_nResultOffset == 0 && m_bBeginsAtStart;
}

void CNATableAccess::MarkCacheFullIfDone() {
  if (m_pCache == nullptr || m_pResult == nullptr || !bIsWholeOrder()) return;
  if (m_pCache->nGetCount() >= m_pResult->nGetRowCount()) {
    m_nCacheState |= 8;
    m_pCache->SetComplete();
  }
}

bool CNATableAccess::bCacheNextRow(bool* got, CNAError* error) {
  *got = false;
  const int64_t row = m_pCache->nGetCount();
  if (m_pResult == nullptr || row >= m_pResult->nGetRowCount()) {
    MarkCacheFullIfDone();
    return true;
  }
  if (m_pResult->nGetCurrentRow() + 1 != row &&
      !m_pResult->bSeekRow(static_cast<int32_t>(row), error)) {
    return false;
  }
  if (!m_pResult->bFetchNext(0, error)) return false;
  if (!m_pResult->bHasRow()) return true;
  if (!bLoadResultRow(error)) return false;
  CNARecordImage* image = m_pLogical->pclGetCurrentImage();
  if (image == nullptr || m_pCache->nAppend(image, error) < 0) {
    if (error != nullptr && !error->bHasError()) error->SetOutOfMemory(4, 35);
    return false;
  }
  // A row the session marked deleted stays out of the walk.
  if (static_cast<size_t>(row) < m_anRowMap.size() && m_anRowMap[row] == kRowDeleted) {
    m_pCache->SetEntryState(static_cast<int>(row), kNARecordInvalid);
  }
  MarkCacheFullIfDone();
  *got = true;
  return true;
}

bool CNATableAccess::bReadThroughCache(int32_t direction, int64_t step, bool* in_range,
                                       CNAError* error) {
  *in_range = false;
  if (step == 0) direction = kNAReadStay;
  // While the session fetches, first and last go on from where the cache
  // stands.
  if (m_bFetching) {
    if (direction == kNAReadFirst) direction = kNAReadNext;
    if (direction == kNAReadLast) direction = kNAReadPrevious;
    m_nCacheReads = m_pCache->nGetCount();
  }
  if (m_pTemporaryIndex != nullptr) {
    auto* index = static_cast<CNATemporaryIndex*>(m_pTemporaryIndex);
    int entry = -1;
    if (direction == kNAReadStay) {
      entry = index->nGetCurrentRecord();
    } else {
      int count = step > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(step);
      if (!index->bPosition(IndexKind(direction), count, &entry, error)) return false;
    }
    if (entry < 0) return true;
    if (!bLoadCachedRow(entry, error)) return false;
    *in_range = true;
    LoadRow(direction);
    return true;
  }
  if (direction == kNAReadStay) {
    *in_range = m_bPositionValid && m_nCurrentRow >= 0;
    return true;
  }
  if (direction == kNAReadLast) {
    for (bool got = true; got && !bIsCacheFull();) {
      if (!bCacheNextRow(&got, error)) return false;
    }
  }
  static constexpr int kCacheKind[] = {0, 1, 2, 3};
  int64_t from = m_bPositionValid ? m_nCurrentRow : -1;
  int64_t target = m_pCache->nMoveBy(from, kCacheKind[direction], step);
  // Rows beyond the cached ones come from the open result, in order.
  while (target >= m_pCache->nGetCount() && !bIsCacheFull()) {
    bool got = false;
    if (!bCacheNextRow(&got, error)) return false;
    if (!got) break;
    if (m_pCache->nGetInvalidCount() > 0) target = m_pCache->nMoveBy(from, kCacheKind[direction], step);
  }
  if (target < 0 || target >= m_pCache->nGetCount() || m_pCache->bIsInvalid(static_cast<int>(target))) {
    // Out of range: the record stays the one of the position.
    if (m_bPositionValid && m_nCurrentRow >= 0 && m_nCurrentRow < m_pCache->nGetCount()) {
      CNAError quiet;
      bLoadCachedRow(m_nCurrentRow, &quiet);
    }
    return true;
  }
  if (!bLoadCachedRow(target, error)) return false;
  *in_range = true;
  LoadRow(direction);
  return true;
}

bool CNATableAccess::bLoadCachedRow(int64_t n, CNAError* error) {
  CNAFileDescription* logical = pclGetFileDescription();
  if (m_pCache == nullptr || logical == nullptr || n < 0 || n >= m_pCache->nGetCount()) {
    return false;
  }
  CNARecordImage* image = logical->pclGetCurrentImage();
  if (image == nullptr || !m_pCache->bReadRecord(image, static_cast<int>(n), error) ||
      !logical->bRebindItems(error)) {
    return false;
  }
  m_nCurrentRow = n;
  m_bPositionValid = true;
  return true;
}
