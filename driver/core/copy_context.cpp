#include "driver/core/copy_context.h"

CNACopyContext::~CNACopyContext() {
  for (auto& pair : m_mapDescriptions) {
    if (pair.second != nullptr) pair.second->Release();
  }
}

void* CNACopyContext::pFindCopy(const void* source) {
  auto it = m_mapCopies.find(source);
  return it != m_mapCopies.end() ? it->second : nullptr;
}

bool CNACopyContext::bRegisterCopy(const void* source, void* copy) {
  return m_mapCopies.emplace(source, copy).second;
}

void CNACopyContext::ForgetCopy(const void* source) { m_mapCopies.erase(source); }

INAConnectionDescription* CNACopyContext::piGetCopiedDescription(
    INAConnectionDescription* source) {
  if (source == nullptr) return nullptr;
  auto it = m_mapDescriptions.find(source);
  INAConnectionDescription* copy = nullptr;
  if (it != m_mapDescriptions.end()) {
    copy = it->second;
  } else {
    copy = source->piCopy(this);
    m_mapDescriptions.emplace(source, copy);
  }
  if (copy != nullptr) copy->AddRef();
  return copy;
}
