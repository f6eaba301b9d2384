#include "driver/sql/record_source.h"
#include "driver/sql/temporary_index.h"

#include <new>

#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/session.h"
#include "driver/core/value_bridge.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/index_array.h"
#include "driver/sql/index_tree.h"
#include "driver/sql/item.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/value.h"

// ---------------------------------------------------------------- source

CNARecordSource::CNARecordSource(CNASession* session) : m_pSession(session) {}

CNARecordSource::~CNARecordSource() {
  if (m_pRowResult != nullptr) ReleaseBoth(m_pRowResult);
  ReleaseBoth(m_pRecordSet);
  ReleaseBoth(m_pBound);
}

bool CNARecordSource::Bind(CNATableAccess* access) {
  CNATableAccess* old = m_pBound;
  m_pBound = NAAddRef(access);
  ReleaseBoth(old);
  m_clFilterRef.Set(access != nullptr ? access->pclGetFilter() : nullptr);
  return true;
}

bool CNARecordSource::bAttach(CNATableAccess* access) {
  bool bound = m_pBound != nullptr;
  bool result = bound ? true : Bind(access);
  if (access != nullptr) access->EnableCache(true);
  return result;
}

bool CNARecordSource::bIsReady() const {
  if (m_pBound == nullptr) return true;
  return m_pBound->bIsCacheEnabled() && m_pBound->bIsCacheFull();
}

CNARecordCacheBase* CNARecordSource::pclOpen(CNAError* error) {
  if (m_pRecordSet != nullptr) return m_pRecordSet;
  if (m_pBound == nullptr) return nullptr;
  // Taking the cache may read the rest of the bound object's result: the
  // session's current object keeps its position through a saved position,
  // which is forgotten on every path.
  CNATableAccess* current = m_pSession != nullptr ? m_pSession->pclGetCurrentTableAccess()
                                                  : nullptr;
  uint32_t serial = 0;
  bool saved = false;
  if (current != nullptr && current != m_pBound) {
    CNAError local;
    saved = m_pSession->bSavePosition(reinterpret_cast<intptr_t>(&serial),
                                      current->pszGetName(), 0, &local) &&
            serial != 0;
  }
  CNARefPtr<CNARecordSource> self(NAAddRef(this));
  CNARecordCacheBase* full = m_pBound->pclFillCache(error);
  if (full != nullptr) {
    m_pRecordSet = NAAddRef(full);
    if (m_pBound->pclGetResult() != nullptr) m_pRowResult = NAAddRef(m_pBound->pclGetResult());
    CNATableAccess* bound = m_pBound;
    m_pBound = nullptr;
    ReleaseBoth(bound);
  }
  if (saved) {
    if (full != nullptr) {
      char16_t table[256] = {};
      CNAError local;
      // Without the keep flag the restore forgets the position.
      if (!m_pSession->bRestorePosition(serial, reinterpret_cast<intptr_t>(table), 0, 0,
                                        &local)) {
        m_pSession->ForgetPosition(serial);
      }
    } else {
      m_pSession->ForgetPosition(serial);
    }
  }
  return m_pRecordSet;
}

bool CNARecordSource::bIsOpenedRecordSet(const CNARecordCacheBase* cache) const {
  if (m_pRecordSet != nullptr) return cache == m_pRecordSet;
  return m_pBound != nullptr && cache != nullptr && cache == m_pBound->pclGetFullCache();
}

CNATemporaryIndex* CNARecordSource::pclCreateTemporaryIndex(CNATableAccess* access,
                                                            CNAItem* item, CNAError* error) {
  CNARecordCacheBase* set = pclOpen(error);
  if (set == nullptr) return nullptr;
  CNATemporaryIndex* index = new (std::nothrow) CNATemporaryIndex(access, set, item);
  if (index == nullptr) {
    if (error != nullptr) error->pclGetXError()->SetOutOfMemoryError();
    return nullptr;
  }
  if (!index->bBuild(error)) {
    delete index;  // no reference was ever taken
    return nullptr;
  }
  return index;
}

int64_t CNARecordSource::nGetRecordCount(CNAError* error) {
  CNARecordCacheBase* set = pclOpen(error);
  if (set == nullptr) return 0;
  return static_cast<int64_t>(set->nGetCount()) - set->nGetInvalidCount();
}

bool CNARecordSource::CopyFrom(CNARecordSource* source, INACopyContext* context) {
  if (context != nullptr && context->pFindCopy(source) == nullptr) {
    context->bRegisterCopy(source, this);
  }
  CNASession* session = nullptr;
  if (source->m_pSession != nullptr) {
    session = context != nullptr ? static_cast<CNASession*>(context->pFindCopy(source->m_pSession))
                                 : nullptr;
    if (session == nullptr) session = source->m_pSession->pclClone(context);
  }
  m_pSession = session;
  if (source->m_pRecordSet != nullptr) {
    CNARecordCacheBase* set =
        context != nullptr
            ? static_cast<CNARecordCacheBase*>(context->pFindCopy(source->m_pRecordSet))
            : nullptr;
    if (set == nullptr) {
      set = source->m_pRecordSet->pclClone(nullptr);
      if (set == nullptr) return false;
      if (context != nullptr) context->bRegisterCopy(source->m_pRecordSet, set);
    }
    CNARecordCacheBase* old = m_pRecordSet;
    m_pRecordSet = NAAddRef(set);
    ReleaseBoth(old);
    try {
      m_mapWrittenRows = source->m_mapWrittenRows;
    } catch (...) {
      return false;
    }
  }
  m_clFilterRef = source->m_clFilterRef;
  return true;
}

CNARecordSource* CNARecordSource::pclClone(INACopyContext* context) {
  CNAError local;
  if (pclOpen(&local) == nullptr) return nullptr;
  CNARecordSource* copy = new (std::nothrow) CNARecordSource(nullptr);
  if (copy == nullptr) return nullptr;
  bool ok = false;
  try {
    ok = copy->CopyFrom(this, context);
  } catch (...) {
    ok = false;
  }
  if (!ok) {
    // No registration may point at the deleted copy.
    if (context != nullptr && context->pFindCopy(this) == copy) context->ForgetCopy(this);
    delete copy;
    return nullptr;
  }
  return copy;
}


int CNARecordSource::nFindEntry(const CNARecordImage& image) {
  if (m_pRecordSet == nullptr) return -1;
  for (int n = 0; n < m_pRecordSet->nGetCount(); ++n) {
    if (!m_pRecordSet->bIsInvalid(n) && m_pRecordSet->bSameRecord(n, image)) return n;
  }
  return -1;
}

int CNARecordSource::nNoteWrite(int kind, int entry, CNARecordImage* image, CNAError* error) {
  if (m_pRecordSet == nullptr) return -1;
  switch (kind) {
    case 3:
      return image != nullptr ? m_pRecordSet->nAppendRecord(image, error) : -1;
    case 2:
      if (entry < 0 || entry >= m_pRecordSet->nGetCount() || image == nullptr) return -1;
      m_pRecordSet->ReplaceRecord(entry, image);
      return entry;
    case 4:
      if (entry < 0 || entry >= m_pRecordSet->nGetCount()) return -1;
      m_pRecordSet->SetEntryState(entry, kNARecordInvalid);
      m_mapWrittenRows.erase(entry);
      return entry;
    default:
      return -1;
  }
}

void CNARecordSource::SetWrittenRow(int entry, const NARowValues& row) {
  if (entry < 0 || m_pRecordSet == nullptr) return;
  try {
    m_mapWrittenRows[entry] = row;
  } catch (...) {
    // Without it the entry names the row it was read from: a later write
    // of it is refused (the row is no longer found), not misdirected.
    m_mapWrittenRows.erase(entry);
  }
}

const NARowValues* CNARecordSource::pclGetWrittenRow(int entry) const {
  auto found = m_mapWrittenRows.find(entry);
  return found != m_mapWrittenRows.end() ? &found->second : nullptr;
}
