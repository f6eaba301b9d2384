#include "driver/sql/saved_position.h"

#include <new>

#include "driver/core/host_interfaces.h"
#include "driver/sql/record_cache.h"

CNASavedPosition::~CNASavedPosition() {
  ReleaseSlot();
  SetLinkedObject(nullptr);
}

bool CNASavedPosition::bAttachSlot(CNARecordCache* cache, int slot) {
  if (cache != nullptr && cache == m_pCache && slot == m_nSlot) return true;
  // The new use first: the entry given back may be the one taken.
  bool taken = cache != nullptr && cache->nAddRefEntry(slot) > 0;
  ReleaseSlot();
  if (!taken) return false;
  AddRefBoth(cache);
  m_pCache = cache;
  m_nSlot = slot;
  return true;
}

void CNASavedPosition::ReleaseSlot() {
  if (m_pCache != nullptr) {
    m_pCache->nReleaseEntry(m_nSlot);
    ReleaseBoth(m_pCache);
  }
  m_pCache = nullptr;
  m_nSlot = -1;
}

void CNASavedPosition::SetLinkedObject(CNARefCounted* object) {
  if (object != nullptr) AddRefBoth(object);
  if (m_pLinked != nullptr) ReleaseBoth(m_pLinked);
  m_pLinked = object;
}

void CNASavedPosition::CopyFrom(const CNASavedPosition& other, INACopyContext* context) {
  if (&other == this) return;
  if (context != nullptr && context->pFindCopy(&other) == nullptr) {
    context->bRegisterCopy(&other, this);
  }
  for (int i = 0; i < 3; ++i) m_anRecords[i] = other.m_anRecords[i];
  m_pSession = other.m_pSession;  // the copying session sets itself
  ReleaseSlot();
  void* cache_copy =
      context != nullptr && other.m_pCache != nullptr ? context->pFindCopy(other.m_pCache) : nullptr;
  if (cache_copy != nullptr) {
    // The copied cache counted this holder already.
    m_pCache = static_cast<CNARecordCache*>(cache_copy);
    AddRefBoth(m_pCache);
    m_nSlot = other.m_nSlot;
  } else if (other.m_pCache != nullptr) {
    bAttachSlot(other.m_pCache, other.m_nSlot);
  }
  m_clSearch.CopyFrom(other.m_clSearch, context);
  m_clFilter = other.m_clFilter;
  m_strName = other.m_strName;
  m_aclKey = other.m_aclKey;
  m_anIdentityColumns = other.m_anIdentityColumns;
  m_aclIdentity = other.m_aclIdentity;
  m_strIdentityKey = other.m_strIdentityKey;
  CNARefCounted* linked = other.m_pLinked;
  if (context != nullptr && linked != nullptr) {
    void* copy = context->pFindCopy(linked);
    if (copy != nullptr) linked = static_cast<CNARefCounted*>(copy);
  }
  SetLinkedObject(linked);
}

CNASavedPosition* CNASavedPosition::pclClone(INACopyContext* context) const {
  auto* copy = new (std::nothrow) CNASavedPosition;
  if (copy == nullptr) return nullptr;
  copy->CopyFrom(*this, context);
  return copy;
}
