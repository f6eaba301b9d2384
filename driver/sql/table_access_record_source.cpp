// A table access object and the session's record source: the record cache
// filled with the rest of the open result when the source takes it over as
// its record set, and the reads along a temporary index over that set ended
// when the source goes.
#include <new>

#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/record_source.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "driver/sql/temporary_index.h"

CNARecordCacheBase* CNATableAccess::pclFillCache(CNAError* error) {
  if (bIsCacheFull()) return m_pCache;
  // Cache row n must be row n of the whole order: only a cache that stands
  // for a result holding the whole order from its first row is filled.
  if (m_pTemporaryIndex != nullptr || !bCacheReads()) return nullptr;
  CNAFileDescription* logical = pclGetFileDescription();
  CNARecordImage* current = logical != nullptr ? logical->pclGetCurrentImage() : nullptr;
  if (current == nullptr) return nullptr;
  // Each row taken in passes through the current record: the record the
  // host stands on is set aside and put back.
  CNARecordCacheBase* made = new (std::nothrow) CNARecordCacheBase();
  CNARefPtr<CNARecordCacheBase> aside(NAAddRef(made));
  if (made == nullptr || aside->nAppend(current, error) < 0) {
    if (error != nullptr && !error->bHasError()) error->SetOutOfMemory(4, 35);
    return nullptr;
  }
  bool ok = true;
  for (bool got = true; ok && got && !bIsCacheFull();) ok = bCacheNextRow(&got, error);
  CNAError quiet;
  quiet.SetSilent(true);
  if (aside->bReadRecord(current, 0, &quiet)) logical->bRebindItems(&quiet, true);
  return ok && bIsCacheFull() ? m_pCache : nullptr;
}

void CNATableAccess::OnRecordSourceGone(const CNARecordCacheBase* record_set) {
  if (record_set == nullptr || m_pTemporaryIndex == nullptr) return;
  auto* index = static_cast<CNATemporaryIndex*>(m_pTemporaryIndex);
  if (index->pclGetRecordSet() != record_set) return;
  // A walk along the index stood on a record the new rows may no longer
  // hold where it was: it cannot go on, and must start from an end again.
  const bool walking = m_bPositionValid;
  CNARefCounted* old_index = m_pTemporaryIndex;
  m_pTemporaryIndex = nullptr;
  ReleaseBoth(old_index);
  if (m_pCache == record_set) {
    CNARecordCacheBase* old_cache = m_pCache;
    m_pCache = nullptr;
    ReleaseBoth(old_cache);
  }
  m_nCacheState = 0;
  m_bFetching = false;
  CloseCursor();
  if (walking) m_bPositionLost = true;
}

bool CNATableAccess::bReadRecordItem(int n, CAny* value, CNAError* error) {
  *value = CAny();
  value->SetNull(true);
  CNAFileDescription* logical = pclGetFileDescription();
  CNATableDescription* table = m_pSession != nullptr ? m_pSession->pclGetTableDescription()
                                                     : nullptr;
  CNAColumn* column = table != nullptr && n >= 0 && n < table->nGetColumnCount()
                          ? table->pclColumnAt(n)
                          : nullptr;
  CNAItem* item = logical != nullptr && column != nullptr
                      ? logical->pclFindItemByName(column->pszGetName())
                      : nullptr;
  if (column == nullptr) {
    // No such column, as for a result: message 51 below 0, else 50.
    if (error != nullptr) {
      const int32_t count = table != nullptr ? table->nGetColumnCount() : 0;
      if (n < 0) {
        error->SetErrorMessage(0, 4, 27, nullptr, 51u, n);
      } else {
        error->SetErrorMessage(0, 4, 27, nullptr, 50u, n, count);
      }
    }
    return false;
  }
  if (item == nullptr || item->bIsCompositeKey()) return true;
  return item->bReadValue(*value, 0, error);
}

CNAStatement* CNATableAccess::pclRowOfRecord() {
  if (!m_bPositionValid || m_nCurrentRow < 0) return nullptr;
  CNAStatement* rows = m_pResult;
  if (m_pTemporaryIndex != nullptr) {
    auto* source = m_pSession != nullptr
                       ? static_cast<CNARecordSource*>(m_pSession->pclGetRecordSource())
                       : nullptr;
    auto* index = static_cast<CNATemporaryIndex*>(m_pTemporaryIndex);
    rows = source != nullptr && source->pclGetRecordSet() == index->pclGetRecordSet()
               ? source->pclGetRowResult()
               : nullptr;
  } else if (m_nResultOffset != 0 || !m_bBeginsAtStart) {
    return nullptr;  // cache row n is not result row n
  }
  if (rows == nullptr || m_nCurrentRow >= rows->nGetRowCount() ||
      m_nCurrentRow > 0x7FFFFFFF) {
    return nullptr;
  }
  if (rows->nGetCurrentRow() == m_nCurrentRow && rows->bHasRow()) return rows;
  // Rows fetched before are found again without walking the result.
  CNAError quiet;
  quiet.SetSilent(true);
  if (!rows->bSeekRow(static_cast<int32_t>(m_nCurrentRow), &quiet) ||
      !rows->bFetchNext(0, &quiet) || !rows->bHasRow()) {
    return nullptr;
  }
  return rows;
}
