#include "driver/core/refcounted.h"

CNARefCounted::~CNARefCounted() = default;

int32_t CNARefCounted::vnReserved() { return 0; }

void AddRefBoth(CNARefCounted* object) {
  if (object == nullptr) return;
  object->m_nHolders.fetch_add(1);
  object->m_nReferences.fetch_add(1);
}

NAReleaseResult ReleaseBoth(CNARefCounted* object) {
  NAReleaseResult result;
  if (object == nullptr) return result;
  // Holders first: once a release has lowered the references, another
  // thread may delete the object, so that is the last touch of it.
  object->m_nHolders.fetch_sub(1);
  result.nReferences = object->m_nReferences.fetch_sub(1) - 1;
  if (result.nReferences == 0) {
    delete object;
    result.bDeleted = true;
  }
  return result;
}

CNALockPtr CNACriticalSection::clLock(CNACriticalSection* section) {
  if (section == nullptr) return CNALockPtr();
  section->Enter();
  return CNALockPtr(section);
}
