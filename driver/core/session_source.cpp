// The session's record source: made when a result is read whole into a
// table access object's record cache, checked before reads that need the
// whole result in hand, and dropped when what it holds is no longer the
// result. Client-side keys read along temporary indexes over its record set.
#include <new>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/key_filter.h"
#include "driver/sql/record_source.h"
#include "driver/sql/table_access.h"

namespace {

constexpr uint32_t kSite = 3;

}  // namespace

CNARefCounted* CNASession::pclNewRecordSource(CNAError* error) {
  CNALock lock(&m_clLock);
  CNARecordSource* source = new (std::nothrow) CNARecordSource(this);
  if (source == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 81);
    return nullptr;
  }
  SetRecordSource(source);
  return source;
}

bool CNASession::bRenewRecordSource(CNATableAccess*, CNAError* error) {
  CNALock lock(&m_clLock);
  DropRecordSource();
  if (pclNewRecordSource(error) != nullptr) return true;
  if (error != nullptr && !error->bHasError()) error->SetOutOfMemory(kSite, 81);
  return false;
}

void CNASession::DropRecordSource() {
  CNALock lock(&m_clLock);
  auto* source = static_cast<CNARecordSource*>(m_pRecordSource);
  if (source == nullptr) return;
  // The session's reference keeps the source while the objects hear of it.
  const CNARecordCacheBase* set = source->pclGetRecordSet();
  VisitTableAccess([&](const char16_t*, CNATableAccess* access) {
    access->OnRecordSourceGone(set);
  });
  m_pRecordSource = nullptr;
  ReleaseBoth(source);
}

void CNASession::DropRecordSourceOf(CNATableAccess* access) {
  CNALock lock(&m_clLock);
  auto* source = static_cast<CNARecordSource*>(m_pRecordSource);
  if (source == nullptr || access == nullptr) return;
  bool built_for = source->bIsBoundTo(access) ||
                   (source->bIsOpen() && !access->bReadsThroughIndex() &&
                    source->bIsOpenedRecordSet(access->pclGetFullCache()));
  if (built_for) DropRecordSource();
}

bool CNASession::bDropRecordSourceIfAny() {
  CNALock lock(&m_clLock);
  DropRecordSource();
  return true;
}

bool CNASession::bCheckRecordSource(intptr_t mode, CNAError* error) {
  CNALock lock(&m_clLock);
  m_nAccessMode = static_cast<int32_t>(mode);
  auto* source = static_cast<CNARecordSource*>(m_pRecordSource);
  if (source == nullptr) return true;
  if (mode == 1 || mode == 3) {
    CNAError local;
    if (source->pclOpen(error != nullptr ? error : &local) != nullptr && source->bIsReady()) {
      return true;
    }
    if (error != nullptr) {
      if (!error->bHasError()) {
        Fail(error, 21, 55, pszGetFileName());
      } else {
        error->SetUserMessage(25667u);
      }
    }
    return false;
  }
  if (mode == 2) {
    CNAError quiet;
    quiet.SetSilent(true);
    return source->pclOpen(&quiet) != nullptr;
  }
  return true;
}

bool CNASession::bReadClientKey(const char16_t* name, int32_t direction, int64_t step,
                                intptr_t lock, CNAError* error) {
  CNALock guard(&m_clLock);
  if (m_pRecordSource == nullptr) {
    // A read without cache dropped it: a new one over the raw result.
    CNATableAccess* text = m_pSQLText;
    if (text == nullptr || text->pclGetResult() == nullptr) {
      Fail(error, 27, 82);
      return false;
    }
    CNARefPtr<CNATableAccess> hold_text(NAAddRef(text));
    text->EnableCache(true);
    if (!bRenewRecordSource(text, error)) return false;
    static_cast<CNARecordSource*>(m_pRecordSource)->bAttach(text);
  }
  CNATableAccess* access = pclGetTableAccess(name, error);
  if (access == nullptr) return false;
  CNARefPtr<CNATableAccess> hold(access);
  m_nFirstRead = 0;
  // A walk whose record set went (the text ran again) goes on from nowhere.
  if ((direction == kNAReadNext || direction == kNAReadPrevious) && access->bHasLostPosition()) {
    Fail(error, 84, 5, pszGetFileName());
    return false;
  }
  // Next and previous without a position start at the first (last) record.
  if (!access->bIsPositionValid() || !access->bReadsThroughIndex()) {
    if (direction == kNAReadNext) direction = kNAReadFirst;
    if (direction == kNAReadPrevious) direction = kNAReadLast;
  }
  if (direction == kNAReadFirst || direction == kNAReadLast) {
    access->SetTableName(m_strQueryTable.pszGet());
    access->SetOrderKey(name, {{CTString(name), false}});
  }
  bool found = false;
  bool ok = access->bReadPosition(direction, lock != 0, step > 0 ? step : 1, &found, error);
  access->SetPositionLost(!ok);
  return ok;
}

bool CNASession::bReadFromRecordSource(CNATableAccess* access, const char16_t* name,
                                       int32_t direction, uint32_t flags, int64_t step,
                                       intptr_t lock, bool* served, CNAError* error) {
  CNALock guard(&m_clLock);
  *served = false;
  if (m_nQueryMode == 0 || (m_nFlags & kNASessionRawSQL) != 0 || access == nullptr) return true;
  bool found = false;
  if (direction == kNAReadNext || direction == kNAReadPrevious) {
    // Along a client-side key the record set holds every row.
    if (!access->bReadsThroughIndex() || !access->bIsPositionValid()) return true;
    *served = true;
    return access->bReadPosition(direction, lock != 0, step, &found, error);
  }
  if ((flags & 0x110000) != 0 || ((flags & 0x4000) == 0 && !bIsHandledByConnection())) {
    return true;
  }
  auto* source = static_cast<CNARecordSource*>(m_pRecordSource);
  const char16_t* key = name != nullptr ? name : u"";
  if (source != nullptr && !access->bHasFilterChanged()) {
    // An unopened source stays with its object when another name is read.
    bool leave = !source->bIsOpen() && !m_strQueryTable.bEstEgalI(key);
    bool no_cache = m_pConnection != nullptr && m_pConnection->bHasNoCacheOption();
    if (!leave && !no_cache && !access->bReadsThroughIndex()) source->bAttach(access);
  } else {
    if (!bRenewRecordSource(access, error)) return false;
    source = static_cast<CNARecordSource*>(m_pRecordSource);
    auto* key_filter = static_cast<CNAKeyFilter*>(access->pclGetKeyFilter());
    bool own_state = (key_filter != nullptr && key_filter->bHasCondition()) ||
                     access->nGetLockMode() != 0 || access->bIsPositionValid();
    if (!own_state) source->bAttach(access);
  }
  if ((flags & 0x2000) == 0 || source == nullptr || source->bIsBoundTo(access) ||
      source->bIsEmpty() || key[0] == 0) {
    return true;
  }
  // The record set of another object serves the read: along the name as a
  // client-side key.
  if (source->pclOpen(error) == nullptr) {
    if (error != nullptr && !error->bHasError()) Fail(error, 21, 55, pszGetFileName());
    return false;
  }
  if (!access->bReadsThroughIndex()) {
    access->CloseCursor();
    access->SetTableName(m_strQueryTable.pszGet());
    access->SetOrderKey(key, {{CTString(key), false}});
  }
  *served = true;
  return access->bReadPosition(direction, lock != 0, step, &found, error);
}
