#include "host/core/dotnet_stack.h"

#include "dotnet/connector/dotnet_interfaces.h"

namespace qghost {

DotNetStack::~DotNetStack() { Clear(); }

DotNetStack::Entry* DotNetStack::At(int32_t depth) {
  if (depth < 0 || depth >= nGetNbValeur()) return nullptr;
  return &m_entries[m_entries.size() - 1 - static_cast<size_t>(depth)];
}

CAny* DotNetStack::pclGetValeur(int32_t depth) {
  Entry* entry = At(depth);
  return entry != nullptr ? &entry->value : nullptr;
}

IDotNetInstance* DotNetStack::piGetInstance(int32_t depth) {
  Entry* entry = At(depth);
  return entry != nullptr ? entry->instance : nullptr;
}

bool DotNetStack::bEmpile(const CAny& value) {
  m_entries.emplace_back(value);
  return true;
}

bool DotNetStack::bEmpileInstance(IDotNetInstance* instance) {
  m_entries.emplace_back();
  m_entries.back().instance = instance;
  return true;
}

CAny* DotNetStack::pclEmpileValeur() {
  m_entries.emplace_back();
  return &m_entries.back().value;
}

qgnet::CTableauHote* DotNetStack::pclGetTableau(int32_t depth) {
  Entry* entry = At(depth);
  return entry != nullptr ? entry->array.get() : nullptr;
}

bool DotNetStack::bEmpileTableau(qgnet::CTableauHote* array) {
  m_entries.emplace_back();
  m_entries.back().array.reset(array);
  return true;
}

void DotNetStack::PushInstanceCopy(IDotNetInstance* instance) {
  bEmpileInstance(instance != nullptr ? instance->piCopieInstance() : nullptr);
}

bool DotNetStack::bRemplace(int32_t depth, const CAny& value) {
  Entry* entry = At(depth);
  if (entry == nullptr) return false;
  if (entry->instance != nullptr) entry->instance->Release();
  entry->instance = nullptr;
  entry->value = value;
  ++m_write_backs;
  return true;
}

bool DotNetStack::bRemplaceInstance(int32_t depth, IDotNetInstance* instance) {
  Entry* entry = At(depth);
  if (entry == nullptr) {
    if (instance != nullptr) instance->Release();
    return false;
  }
  if (entry->instance != nullptr) entry->instance->Release();
  entry->instance = instance;
  entry->value = CAny();
  ++m_write_backs;
  return true;
}

void DotNetStack::Pop(int32_t n) {
  while (n-- > 0 && !m_entries.empty()) {
    if (m_entries.back().instance != nullptr) m_entries.back().instance->Release();
    m_entries.pop_back();
  }
}

}  // namespace qghost
