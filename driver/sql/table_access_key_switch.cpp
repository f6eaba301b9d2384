// A table access object switching to a client-side key: the session's
// record set, ordered by the key's item through a temporary index, takes
// the place of the open result, so that reads along the key ask nothing of
// the server.
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/file_description.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/record_source.h"
#include "driver/sql/table_access.h"
#include "driver/sql/temporary_index.h"

namespace {

constexpr uint32_t kAccessSite = 4;

}  // namespace

bool CNATableAccess::bSwitchKey(CNAError* error) {
  auto* source = m_pSession != nullptr
                     ? static_cast<CNARecordSource*>(m_pSession->pclGetRecordSource())
                     : nullptr;
  // No record set to index: the same answer as a record source that cannot
  // open.
  auto no_record_set = [&] {
    if (error != nullptr && !error->bHasError()) {
      error->SetErrorMessage(0, kAccessSite, 54, nullptr, 11, m_strTable.pszGet());
    }
    return false;
  };
  if (source == nullptr) return no_record_set();
  m_strResultKey = m_strNextKey;
  CNAFileDescription* logical = pclGetFileDescription();
  CNAItem* item = logical != nullptr ? logical->pclFindItemByName(m_strNextKey.pszGet()) : nullptr;
  if (item == nullptr) {
    // An unknown key name, as for a key of the server's order.
    if (error != nullptr) {
      error->SetErrorMessage(0, kAccessSite, 9, nullptr, 6, m_strNextKey.pszGet());
    }
    return false;
  }
  CNATemporaryIndex* index = source->pclCreateTemporaryIndex(this, item, error);
  if (index == nullptr) return no_record_set();
  // The index comes with no reference: this object takes the first one.
  CNARefCounted* old_index = m_pTemporaryIndex;
  m_pTemporaryIndex = NAAddRef(index);
  if (old_index != nullptr) ReleaseBoth(old_index);
  CNARecordCacheBase* set = index->pclGetRecordSet();
  if (set != m_pCache) {
    CNARecordCacheBase* old_cache = m_pCache;
    m_pCache = NAAddRef(set);
    if (old_cache != nullptr) ReleaseBoth(old_cache);
  }
  // The record set holds the whole result; the current row and the locked
  // record stay as they were, now entries of the record set.
  m_nCacheState |= 1 | 8;
  FreeRowMap();
  ReleaseResult();
  return true;
}
