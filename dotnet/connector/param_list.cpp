#include "dotnet/connector/param_list.h"

namespace qgnet {

CParamList::~CParamList() = default;

void CParamList::AddParam(const CAny& value) {
  Entry& e = m_entries.emplace_back();
  e.value = value;
  e.type = static_cast<uint16_t>(value.GetType());
}

void CParamList::AddObjet(ManagedId object) {
  Entry& e = m_entries.emplace_back();
  e.object.reset(object);
  e.type = 72;
}

void CParamList::AddTableau(CTableauHote* array) {
  Entry& e = m_entries.emplace_back();
  e.array.reset(array);
  e.type = 4130;
}

CTableauHote* CParamList::pclGetTableau(int32_t n) {
  if (n < 0 || n >= nGetNbParam()) return nullptr;
  return m_entries[static_cast<size_t>(n)].array.get();
}

int32_t CParamList::nGetNbParam() const { return static_cast<int32_t>(m_entries.size()); }

CAny* CParamList::GetParam(int32_t n) {
  if (n < 0 || n >= nGetNbParam()) return nullptr;
  return &m_entries[static_cast<size_t>(n)].value;
}

ManagedId CParamList::nGetObjet(int32_t n) const {
  if (n < 0 || n >= nGetNbParam()) return 0;
  return m_entries[static_cast<size_t>(n)].object.get();
}

uint16_t CParamList::nGetTypeParam(int32_t n) const {
  if (n < 0 || n >= nGetNbParam()) return 0;
  return m_entries[static_cast<size_t>(n)].type;
}

void CParamList::SetTypeParam(int32_t n, uint16_t type) {
  if (n >= 0 && n < nGetNbParam()) m_entries[static_cast<size_t>(n)].type = type;
}

CAny* CParamList::GetReturnedValue() { return &m_returned; }

void CParamList::Vide() {
  m_entries.clear();
  m_returned = CAny();
}

}  // namespace qgnet
