#include "host/core/dotnet_stack.h"

#include <cstring>

#include "dotnet/connector/dotnet_interfaces.h"

namespace qghost {

DotNetStack::~DotNetStack() { Clear(); }

namespace {

// Values whose holder owns nothing: a popped slot may keep them.
bool OwnsNothing(const CAny& value) {
  switch (value.nGetCode()) {
    case qg::kAnyEmpty: case qg::kAnyBOOL: case qg::kAnyUI1: case qg::kAnyUI2:
    case qg::kAnyUI4: case qg::kAnyUI8: case qg::kAnyI1: case qg::kAnyI2: case qg::kAnyI4:
    case qg::kAnyI8: case qg::kAnyCY: case qg::kAnyR4: case qg::kAnyR8: case qg::kAnyUIX:
    case qg::kAnyCARA: case qg::kAnyCARW: case qg::kAnyDATETIME: case qg::kAnyDUREE:
      return true;
    default:
      return false;
  }
}

}  // namespace

DotNetStack::Entry* DotNetStack::At(int32_t depth) {
  if (depth < 0 || depth >= m_size) return nullptr;
  return &m_entries[static_cast<size_t>(m_size - 1 - depth)];
}

DotNetStack::Entry& DotNetStack::Grow() {
  if (static_cast<size_t>(m_size) == m_entries.size()) m_entries.emplace_back();
  return m_entries[static_cast<size_t>(m_size++)];
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
  CAny& slot = Grow().value;
  if (slot.GetType() == value.GetType() && OwnsNothing(value)) {
    // A number onto a slot that kept one of the same type: its bytes.
    std::memcpy(slot.pValeur(), value.pValeur(), qg::kAnyValueSize);
  } else {
    slot = value;
  }
  return true;
}

bool DotNetStack::bEmpileInstance(IDotNetInstance* instance) {
  Entry& entry = Grow();
  entry.value.SetType(qg::kAnyEmpty);
  entry.instance = instance;
  return true;
}

CAny* DotNetStack::pclEmpileValeur() {
  // The caller sets the value at once: a number the slot kept is replaced
  // by any setter (its holder reused when the type is the same).
  return &Grow().value;
}

qgnet::CTableauHote* DotNetStack::pclGetTableau(int32_t depth) {
  Entry* entry = At(depth);
  return entry != nullptr ? entry->array.get() : nullptr;
}

bool DotNetStack::bEmpileTableau(qgnet::CTableauHote* array) {
  Entry& entry = Grow();
  entry.value.SetType(qg::kAnyEmpty);
  entry.array.reset(array);
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
  while (n-- > 0 && m_size > 0) {
    Entry& entry = m_entries[static_cast<size_t>(--m_size)];
    if (entry.instance != nullptr) {
      entry.instance->Release();
      entry.instance = nullptr;
    }
    entry.array.reset();
    if (!OwnsNothing(entry.value)) entry.value.SetType(qg::kAnyEmpty);
  }
}

}  // namespace qghost
