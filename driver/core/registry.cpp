#include "driver/core/registry.h"

#include <vector>

#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/manager.h"
#include "driver/core/registry_child.h"

CNARegistry::CNARegistry(CNAManager* manager) : m_pManager(manager) {}

CNARegistry::~CNARegistry() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_tabChildren.Clear();
}

CTString CNARegistry::GetName() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_strName;
}

void CNARegistry::SetName(const char16_t* name) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_strName = name;
}

uint32_t CNARegistry::nGetChildCount() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_tabChildren.nGetCount();
}

CNARegistryChild* CNARegistry::pclFindChild(INAFileDescription* description) {
  if (description == nullptr) return nullptr;
  uintptr_t key = NANameKey(description);
  std::lock_guard<std::mutex> lock(m_mutex);
  CNARefCounted* object = nullptr;
  return m_tabChildren.bFind(key, &object) ? static_cast<CNARegistryChild*>(object) : nullptr;
}

CNARegistryChild* CNARegistry::pclCreateChild(INAFileDescription* description,
                                              CNAConnection* connection, CNAError* error) {
  CNAManager* manager = m_pManager;
  if (manager == nullptr) return nullptr;
  return NAAddRef(manager->pclNewSession(description, connection, error));
}

CNARegistryChild* CNARegistry::pclFindOrCreateChild(INAFileDescription* description,
                                                    CNAConnection* connection, bool* created,
                                                    CNAError* error) {
  if (created != nullptr) *created = false;
  CNARegistryChild* child = pclFindChild(description);
  if (child != nullptr) return child;
  child = pclCreateChild(description, connection, error);
  if (child == nullptr) {
    if (error != nullptr && !error->bHasError()) error->SetOutOfMemory(3, 1);
    return nullptr;
  }
  if (!bInsertChild(NANameKey(description), child)) {
    // Another thread filed the handle first: its child wins.
    ReleaseBoth(child);
    child = pclFindChild(description);
    return child;
  }
  if (created != nullptr) *created = true;
  return child;
}

bool CNARegistry::bInsertChild(uintptr_t key, CNARegistryChild* child) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    CNARefCounted* found = nullptr;
    if (m_tabChildren.bFind(key, &found)) {
      ReleaseBoth(found);
      return false;
    }
    if (!m_tabChildren.bAdd(key, child)) return false;
  }
  child->SetNameSource(this);
  return true;
}

bool CNARegistry::bRemoveChildByKey(uintptr_t key) {
  CNARefCounted* object = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_tabChildren.bFind(key, &object)) return false;
    m_tabChildren.bRemove(key);
    m_nGeneration.fetch_add(1, std::memory_order_acq_rel);
  }
  // The table's reference went with the entry; this one is the lookup's,
  // dropped outside the lock.
  ReleaseBoth(object);
  return true;
}

bool CNARegistry::bRemoveChild(INAFileDescription* description) {
  return description != nullptr && bRemoveChildByKey(NANameKey(description));
}

void CNARegistry::CloseAll() {
  for (;;) {
    CNARefCounted* object = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      uint32_t cursor = 0;
      uintptr_t key = 0;
      if (!m_tabChildren.bNext(&cursor, &key, &object)) break;
      m_tabChildren.EndWalk();
      m_tabChildren.bRemove(key);
      m_nGeneration.fetch_add(1, std::memory_order_acq_rel);
    }
    auto* child = static_cast<CNARegistryChild*>(object);
    if (child->bIsOpen()) child->bClose(nullptr);
    ReleaseBoth(child);
  }
}

bool CNARegistry::bDeepCopy(CNARegistry* source, INACopyContext* context, CNAError* error) {
  std::vector<std::pair<uintptr_t, CNARegistryChild*>> children;
  {
    std::lock_guard<std::mutex> lock(source->m_mutex);
    uint32_t cursor = 0;
    uintptr_t key = 0;
    CNARefCounted* object = nullptr;
    while (source->m_tabChildren.bNext(&cursor, &key, &object)) {
      children.emplace_back(key, static_cast<CNARegistryChild*>(object));
    }
  }
  bool ok = true;
  size_t i = 0;
  try {
    for (; i < children.size() && ok; ++i) {
      CNARegistryChild* from = children[i].second;
      CNARegistryChild* copy = nullptr;
      void* known = context != nullptr ? context->pFindCopy(from) : nullptr;
      if (known != nullptr) {
        copy = NAAddRef(static_cast<CNARegistryChild*>(known));
      } else {
        copy = from->pclCopy(context, error);
      }
      if (copy == nullptr) {
        ok = false;
      } else {
        bInsertChild(children[i].first, copy);
        ReleaseBoth(copy);
      }
      ReleaseBoth(from);
    }
  } catch (...) {
    for (size_t j = i; j < children.size(); ++j) ReleaseBoth(children[j].second);
    throw;
  }
  for (; i < children.size(); ++i) ReleaseBoth(children[i].second);
  return ok;
}

CNARegistry* CNARegistry::pclCopy(INACopyContext* context, CNAError* error) {
  CNAManager* manager = m_pManager;
  CNARegistry* copy = manager != nullptr ? manager->pclNewRegistry()
                                         : new (std::nothrow) CNARegistry(nullptr);
  if (copy == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(3, 2);
    return nullptr;
  }
  NAAddRef(copy);
  copy->SetName(GetName().pszGet());
  bool ok = false;
  try {
    ok = copy->bDeepCopy(this, context, error);
  } catch (...) {
    ReleaseBoth(copy);
    if (context != nullptr) context->ForgetCopy(this);
    throw;
  }
  if (!ok) {
    ReleaseBoth(copy);
    if (context != nullptr) context->ForgetCopy(this);
    return nullptr;
  }
  return copy;
}
