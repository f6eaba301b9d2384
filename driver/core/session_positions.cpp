// Saved positions: the host saves where a table access object stands (or
// the current record), reads on, and comes back. A position remembers its
// object, its name and the row it stood on; its serial number names it to
// the host.
#include <new>
#include <utility>
#include <vector>

#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/file_description.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/saved_position.h"
#include "driver/sql/table_access.h"
#include "support/any.h"

namespace {

// The next serial no position of this session holds; 0 is never handed
// out (a wrapped counter skips it and every serial still in use).
uint32_t FreeSerial(CNASession* session) {
  for (;;) {
    uint32_t serial = CNASession::nNextPositionSerial();
    if (serial == 0) continue;
    CNARefCounted* held = session->pclFindSavedPosition(serial);
    if (held == nullptr) return serial;
    ReleaseBoth(held);
  }
}

CNASavedPosition* NewPosition(CNASession* session, CNATableAccess* access,
                              const char16_t* name) {
  CNASavedPosition* position = new (std::nothrow) CNASavedPosition();
  if (position == nullptr) return nullptr;
  AddRefBoth(position);
  position->SetName(name != nullptr ? name : u"");
  position->SetLinkedObject(access);
  position->SetRecord(0, access != nullptr && access->bIsPositionValid() ? access->nGetCurrentRow()
                                                                          : -1);
  // The record's unique key, so that positions of different objects can be
  // compared.
  std::vector<CAny> key;
  CNAError quiet;
  quiet.SetSilent(true);
  if (session->bReadRecordKey(access, &key, &quiet)) position->SetKeyValues(std::move(key));
  session->SaveRecordIdentity(access, position);
  return position;
}

}  // namespace

bool CNASession::bSavePosition(intptr_t out_serial, const char16_t* name, intptr_t,
                               CNAError* error) {
  CNALock lock(&m_clLock);
  if (out_serial != 0) *reinterpret_cast<uint32_t*>(out_serial) = 0;
  CNATableAccess* access = pclFindTableAccess(name != nullptr ? name : u"");
  if (access == nullptr) access = pclAddTableAccess(name != nullptr ? name : u"", nullptr);
  if (access == nullptr) {
    Fail(error, 3, 7, name != nullptr ? name : u"");
    return false;
  }
  CNASavedPosition* position = NewPosition(this, access, name);
  if (position != nullptr) {
    // The position keeps its record in record cache 1: the cached current
    // entry when there is one, else the record the object stands on.
    if (m_nCachedCurrent >= 0) {
      position->bAttachSlot(m_pCache1, m_nCachedCurrent);
    } else {
      CNAError quiet;
      quiet.SetSilent(true);
      int32_t entry = nCacheRecord(access, &quiet);
      if (entry >= 0) {
        position->bAttachSlot(m_pCache1, entry);
        m_pCache1->nReleaseEntry(entry);  // the position's use remains
      }
    }
  }
  ReleaseBoth(access);
  if (position == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(3, 28);
    return false;
  }
  uint32_t serial = FreeSerial(this);
  bool ok = bAddSavedPosition(serial, position);
  ReleaseBoth(position);
  if (!ok) {
    if (error != nullptr) error->SetOutOfMemory(3, 28);
    return false;
  }
  if (out_serial != 0) *reinterpret_cast<uint32_t*>(out_serial) = serial;
  return true;
}

bool CNASession::bSaveCurrentRecord(intptr_t out_serial, CNAError* error) {
  CNALock lock(&m_clLock);
  if (out_serial != 0) *reinterpret_cast<uint32_t*>(out_serial) = 0;
  // The serial is used even when nothing can be saved; the position is
  // then not left filed where the host could never forget it.
  uint32_t serial = FreeSerial(this);
  CNATableAccess* access = m_pCurrentAccess;
  if (access == nullptr || !access->bIsPositionValid()) {
    Fail(error, 3, 7, pszGetFileName());
    return false;
  }
  CNASavedPosition* position = NewPosition(this, access, access->pszGetName());
  // The current record goes into record cache 1, the position holding it.
  int32_t entry = position != nullptr ? nCacheRecordImage(error) : -1;
  if (entry >= 0) {
    position->bAttachSlot(m_pCache1, entry);
    m_pCache1->nReleaseEntry(entry);
  }
  if (position == nullptr || entry < 0 || !bAddSavedPosition(serial, position)) {
    if (position != nullptr) ReleaseBoth(position);
    if (error != nullptr && !error->bHasError()) error->SetOutOfMemory(3, 29);
    return false;
  }
  ReleaseBoth(position);
  if (out_serial != 0) *reinterpret_cast<uint32_t*>(out_serial) = serial;
  return true;
}

bool CNASession::bRestorePosition(intptr_t serial, intptr_t out_name, intptr_t keep,
                                  intptr_t lock_argument, CNAError* error) {
  CNALock lock(&m_clLock);
  auto* position =
      static_cast<CNASavedPosition*>(pclFindSavedPosition(static_cast<uint32_t>(serial)));
  if (position == nullptr) {
    Fail(error, 2, 11);
    return false;
  }
  const char16_t* name = position->pszGetName() != nullptr ? position->pszGetName() : u"";
  if (out_name != 0) {
    // At most 255 units and a terminator.
    char16_t* out = reinterpret_cast<char16_t*>(out_name);
    size_t n = 0;
    for (; n < 255 && name[n] != 0; ++n) out[n] = name[n];
    out[n] = 0;
  }
  auto* access = static_cast<CNATableAccess*>(position->pclGetLinkedObject());
  int64_t row = position->nGetRecord(0);
  bool ok = access != nullptr && row >= 0;
  if (ok) {
    m_pCurrentAccess = access;
    if (!position->IdentityValues().empty()) {
      // The record itself, not whatever row now holds its number.
      ok = bRestoreRecord(access, position, error);
    } else {
      ok = access->pclGetResult() != nullptr && access->bGoToRecord(row, error) &&
           access->bIsPositionValid() && access->nGetCurrentRow() == row;
    }
    if (ok) access->SetPositionLost(false);
    if (!ok && error != nullptr && !error->bHasError()) Fail(error, 2, 11);
  } else if (error != nullptr) {
    Fail(error, 2, 11);
  }
  if (ok) {
    // The record the position kept becomes the cached current entry and
    // is copied into the saved record, then into the current one; a lock
    // argument locks the record restored.
    m_nRecordFlags = 0;
    auto* logical = static_cast<CNAFileDescription*>(m_pLogical);
    if (logical != nullptr && logical->pclGetCurrentImage() != nullptr) {
      logical->pclGetCurrentImage()->SetFlags(0);
    }
    SetCachedCurrent(position->pclGetCache() == m_pCache1 ? position->nGetSlot() : -1);
    if (logical != nullptr && m_nCachedCurrent >= 0) {
      CNAError quiet;
      quiet.SetSilent(true);
      if (bReadCachedRecordCurrent(m_nCachedCurrent, &quiet)) logical->bRestoreSavedRecord(&quiet);
    }
    if (lock_argument != 0) LockRecord(access, error);
  }
  ReleaseBoth(position);
  // The record restored is current: what was written into the one left
  // is forgotten.
  if (ok && m_pEdits) m_pEdits->Forget();
  if (ok && keep == 0) ForgetPosition(serial);
  return ok;
}

bool CNASession::bComparePositions(intptr_t first, intptr_t second, intptr_t out,
                                   CNAError* error) {
  CNALock lock(&m_clLock);
  int32_t* result = reinterpret_cast<int32_t*>(out);
  if (result != nullptr) *result = 0;
  if (first == second) {
    if (result != nullptr) *result = 1;
    return true;
  }
  auto* a = static_cast<CNASavedPosition*>(pclFindSavedPosition(static_cast<uint32_t>(first)));
  if (a == nullptr) {
    Fail(error, 19, 11);
    return false;
  }
  auto* b = static_cast<CNASavedPosition*>(pclFindSavedPosition(static_cast<uint32_t>(second)));
  if (b == nullptr) {
    ReleaseBoth(a);
    Fail(error, 20, 11);
    return false;
  }
  // Positions of one object are the same when they saved the same record:
  // a row number counts from the start of the fetch it was read in, so it
  // tells records apart only when their identities cannot. Records of
  // different objects compare by their unique key.
  if (a->pclGetLinkedObject() == b->pclGetLinkedObject() && a->nGetRecord(0) >= 0 &&
      b->nGetRecord(0) >= 0) {
    int32_t same = nSameSavedRecord(*a, *b);
    if (same < 0) same = a->nGetRecord(0) == b->nGetRecord(0) ? 1 : 0;
    if (result != nullptr) *result = same;
  } else if (result != nullptr) {
    *result = nCompareKeys(static_cast<int32_t>(first), static_cast<int32_t>(second), 0, error);
  }
  ReleaseBoth(a);
  ReleaseBoth(b);
  return true;
}
