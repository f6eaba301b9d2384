// The session's record cache 1: records kept by counted entries for the
// saved positions that hold them, for the cached current entry (the record
// the session made current by a restore or a hand-over) and for the
// records the table access objects lock. Every holder has one use of its
// entry; the entry is freed with its last use.
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/file_description.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/table_access.h"

namespace {

CNAFileDescription* LogicalOf(CNARefCounted* logical) {
  return static_cast<CNAFileDescription*>(logical);
}

// A record worth storing: an image with a row buffer.
bool Storable(const CNARecordImage* image) {
  return image != nullptr && image->pclGetRowBuffer() != nullptr;
}

}  // namespace

int32_t CNASession::nStoreInCache1(CNARecordImage* image, CNAError* error) {
  CNALock lock(&m_clLock);
  if (m_pCache1 == nullptr || !Storable(image)) return -1;
  const int32_t entry = m_pCache1->nStoreRecord(image, error);
  // A record already held comes back with its entry: one more use for the
  // caller all the same.
  if (entry >= 0) m_pCache1->nAddRefEntry(entry);
  return entry;
}

int32_t CNASession::nCacheRecord(CNATableAccess* access, CNAError* error) {
  CNALock lock(&m_clLock);
  CNAFileDescription* logical = LogicalOf(m_pLogical);
  if (logical == nullptr) return -1;
  // The record an object stands on is the current record it read into the
  // logical description; without one, the saved record.
  const bool stands = access != nullptr && access->bIsPositionValid() && !access->bIsOutOfRange() &&
                      access == m_pCurrentAccess;
  return nStoreInCache1(stands ? logical->pclGetCurrentImage() : logical->pclGetSavedImage(),
                        error);
}

int32_t CNASession::nCacheRecordImage(CNAError* error) {
  CNALock lock(&m_clLock);
  CNAFileDescription* logical = LogicalOf(m_pLogical);
  return logical != nullptr ? nStoreInCache1(logical->pclGetCurrentImage(), error) : -1;
}

void CNASession::AddRefCacheEntry(int32_t n) {
  CNALock lock(&m_clLock);
  if (m_pCache1 != nullptr) m_pCache1->nAddRefEntry(n);
}

void CNASession::ReleaseCacheEntry(int32_t n) {
  CNALock lock(&m_clLock);
  if (m_pCache1 != nullptr) m_pCache1->nReleaseEntry(n);
}

bool CNASession::bReadCachedRecord(int32_t n, CNARecordImage* record, CNAError* error) {
  CNALock lock(&m_clLock);
  if (m_pCache1 == nullptr || record == nullptr || n < 0 || n >= m_pCache1->nGetCount() ||
      m_pCache1->nGetUses(n) <= 0) {
    return false;
  }
  return m_pCache1->bReadRecord(record, n, error);
}

bool CNASession::bReadCachedRecordCurrent(int32_t n, CNAError* error) {
  CNALock lock(&m_clLock);
  CNAFileDescription* logical = LogicalOf(m_pLogical);
  return logical != nullptr && bReadCachedRecord(n, logical->pclGetSavedImage(), error);
}

bool CNASession::bReadCachedRecordOf(CNATableAccess* access, CNAError* error) {
  CNALock lock(&m_clLock);
  return access != nullptr && bReadCachedRecordCurrent(access->m_nLockedEntry, error);
}

int32_t CNASession::nNotifyCacheChange(int32_t kind, const CNARecordIdentifier* identifier,
                                       CNARecordImage* image, CNAError* error) {
  CNALock lock(&m_clLock);
  if (m_pCache1 == nullptr) return -1;
  return m_pCache1->nNotifyChange(kind, false, identifier, image, error);
}

int32_t CNASession::nInvalidateCachedRecord(const CNARecordIdentifier* identifier) {
  CNALock lock(&m_clLock);
  return m_pCache1 != nullptr ? m_pCache1->nInvalidateRecord(identifier) : -1;
}

bool CNASession::bIsCacheEntryFree(int32_t n) {
  CNALock lock(&m_clLock);
  // An entry no holder uses any more is free as well as one marked invalid.
  return m_pCache1 != nullptr && n >= 0 && n < m_pCache1->nGetCount() &&
         (m_pCache1->nGetEntryState(n) == kNARecordInvalid || m_pCache1->nGetUses(n) == 0);
}

void CNASession::SetCachedCurrent(int32_t n) {
  CNALock lock(&m_clLock);
  if (n == m_nCachedCurrent) return;
  // The new use first: the old entry may be the same record.
  if (n >= 0 && m_pCache1 != nullptr && m_pCache1->nAddRefEntry(n) < 0) n = -1;
  if (m_nCachedCurrent >= 0 && m_pCache1 != nullptr) m_pCache1->nReleaseEntry(m_nCachedCurrent);
  m_nCachedCurrent = n;
}

void CNASession::ReleaseLockedEntry(CNATableAccess* access) {
  CNALock lock(&m_clLock);
  if (access == nullptr || access->m_nLockedEntry < 0) return;
  if (m_pCache1 != nullptr) m_pCache1->nReleaseEntry(access->m_nLockedEntry);
  access->m_nLockedEntry = -1;
}
