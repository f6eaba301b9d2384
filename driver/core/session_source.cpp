// The session's record source: made on demand, checked before reads that
// need the whole result in hand.
#include <new>

#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/record_source.h"

CNARefCounted* CNASession::pclNewRecordSource(CNAError* error) {
  CNALock lock(&m_clLock);
  CNARecordSource* source = new (std::nothrow) CNARecordSource(this);
  if (source == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(3, 81);
    return nullptr;
  }
  SetRecordSource(source);
  return source;
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
