#include "support/any_array.h"

#include <cstdint>
#include <functional>
#include <new>

#include "support/array.h"

CZQANYArray::CZQANYArray() { vbAlloue(kPas); }

CZQANYArray::~CZQANYArray() { CZQANYArray::vDetruit(); }

bool CZQANYArray::bConstruit(int capacity, CAny** values, int32_t** flags) {
  *values = nullptr;
  *flags = nullptr;
  if (capacity <= 0) return true;
  if (static_cast<size_t>(capacity) > SIZE_MAX / sizeof(CAny)) return false;
  void* v = qg::ContainerRealloc(nullptr, static_cast<size_t>(capacity) * sizeof(CAny));
  if (v == nullptr) return false;
  void* f = qg::ContainerRealloc(nullptr, static_cast<size_t>(capacity) * sizeof(int32_t));
  if (f == nullptr) {
    qg::ContainerFree(v);
    return false;
  }
  *values = static_cast<CAny*>(v);
  *flags = static_cast<int32_t*>(f);
  for (int i = 0; i < capacity; ++i) {
    new (&(*values)[i]) CAny();
    (*flags)[i] = 0;
  }
  return true;
}

void CZQANYArray::Detruit(CAny* values, int capacity, int32_t* flags) {
  if (values != nullptr) {
    for (int i = 0; i < capacity; ++i) values[i].~CAny();
  }
  qg::ContainerFree(values);
  qg::ContainerFree(flags);
}

bool CZQANYArray::vbAlloue(int n) {
  CAny* values;
  int32_t* flags;
  if (!bConstruit(n, &values, &flags)) return false;
  Detruit(m_pValeurs, m_nCapacite, m_pFlags);
  m_pValeurs = values;
  m_pFlags = flags;
  m_nNbElement = 0;
  m_nCapacite = n > 0 ? n : 0;
  return true;
}

bool CZQANYArray::vbAgrandit(int n) {
  int64_t capacity = static_cast<int64_t>(n) + m_nPas;
  if (capacity <= m_nCapacite) return true;
  if (capacity > INT32_MAX) return false;
  CAny* values;
  int32_t* flags;
  if (!bConstruit(static_cast<int>(capacity), &values, &flags)) return false;
  for (int i = 0; i < m_nNbElement; ++i) {
    values[i] = m_pValeurs[i];
    flags[i] = m_pFlags[i];
  }
  Detruit(m_pValeurs, m_nCapacite, m_pFlags);
  m_pValeurs = values;
  m_pFlags = flags;
  m_nCapacite = static_cast<int32_t>(capacity);
  return true;
}

bool CZQANYArray::vbAgranditPas() { return vbAgrandit(m_nCapacite); }

void CZQANYArray::vDetruit() {
  Vide();
  Detruit(m_pValeurs, m_nCapacite, m_pFlags);
  m_pValeurs = nullptr;
  m_pFlags = nullptr;
  m_nCapacite = 0;
}

bool CZQANYArray::bAjoute(const CAny& value) {
  if (m_nNbElement >= m_nCapacite) {
    std::less<const CAny*> lt;
    if (m_pValeurs != nullptr && !lt(&value, m_pValeurs) &&
        lt(&value, m_pValeurs + m_nCapacite)) {
      // The growth destroys the old elements: add a copy instead.
      CAny copy(value);
      return bAjoute(copy);
    }
    if (!vbAgranditPas() || m_nNbElement >= m_nCapacite) return false;
  }
  m_pValeurs[m_nNbElement] = value;
  m_pFlags[m_nNbElement] = 1;
  ++m_nNbElement;
  return true;
}

void CZQANYArray::Vide() {
  for (int i = 0; i < m_nNbElement; ++i) {
    m_pValeurs[i] = CAny();
    m_pFlags[i] = 0;
  }
  m_nNbElement = 0;
}

CAny* CZQANYArray::pGetElement(int index) const {
  if (index < 0 || index >= m_nNbElement) return nullptr;
  return &m_pValeurs[index];
}

bool CZQANYArray::bAValeur(int index) const {
  return index >= 0 && index < m_nNbElement && m_pFlags[index] == 1;
}
