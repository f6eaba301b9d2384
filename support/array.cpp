#include "support/array.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace qg {

namespace {
std::atomic<PFN_ContainerRealloc> g_realloc{nullptr};
}  // namespace

void SetContainerRealloc(PFN_ContainerRealloc fn) { g_realloc.store(fn, std::memory_order_relaxed); }

void* ContainerRealloc(void* block, size_t size) {
  PFN_ContainerRealloc fn = g_realloc.load(std::memory_order_relaxed);
  return fn != nullptr ? fn(block, size) : std::realloc(block, size);
}

void ContainerFree(void* block) { std::free(block); }

}  // namespace qg

namespace {

constexpr int64_t kMaxCapacity = INT32_MAX;

// Offset of p inside [base, base + bytes), or -1.
ptrdiff_t OffsetIn(const void* p, const char* base, size_t bytes) {
  if (base == nullptr || p == nullptr) return -1;
  auto* c = static_cast<const char*>(p);
  std::less<const char*> lt;
  if (lt(c, base) || !lt(c, base + bytes)) return -1;
  return c - base;
}

}  // namespace

CTableauDeBuffer::CTableauDeBuffer(int element_size, int step)
    : m_nTailleElement(element_size > 0 ? element_size : 1), m_nPas(step > 0 ? step : 1) {}

CTableauDeBuffer::~CTableauDeBuffer() { qg::ContainerFree(m_pData); }

void CTableauDeBuffer::LibereMemoire() {
  qg::ContainerFree(m_pData);
  m_pData = nullptr;
  m_nNbElement = 0;
  m_nCapacite = 0;
}

bool CTableauDeBuffer::bRealloue(int capacity) {
  size_t bytes = static_cast<size_t>(capacity) * static_cast<size_t>(m_nTailleElement);
  void* block = qg::ContainerRealloc(m_pData, bytes);
  if (block == nullptr) return false;
  m_pData = static_cast<char*>(block);
  m_nCapacite = capacity;
  return true;
}

void* CTableauDeBuffer::pAgranditDe(int step) {
  if (step < 1) return nullptr;
  int64_t capacity = static_cast<int64_t>(m_nCapacite) + step;
  if (capacity > kMaxCapacity) return nullptr;
  if (!bRealloue(static_cast<int>(capacity))) return nullptr;
  return m_pData;
}

void* CTableauDeBuffer::vpAgrandit() {
  int step = m_nPas;
  if (step == 1 && m_nCapacite > 100 && m_nTailleElement <= 256) step = 20;
  return pAgranditDe(step);
}

bool CTableauDeBuffer::vbInitialise(const void* element, int n) {
  if (n <= 0) {
    LibereMemoire();
    return true;
  }
  size_t size = static_cast<size_t>(m_nTailleElement);
  void* block = qg::ContainerRealloc(nullptr, static_cast<size_t>(n) * size);
  if (block == nullptr) return false;
  // Filled before the old block goes: the element may lie in it.
  char* p = static_cast<char*>(block);
  for (int i = 0; i < n; ++i) std::memcpy(p + static_cast<size_t>(i) * size, element, size);
  qg::ContainerFree(m_pData);
  m_pData = p;
  m_nNbElement = n;
  m_nCapacite = n;
  return true;
}

void CTableauDeBuffer::vAjusteMemoire() {
  if (m_nNbElement == 0) {
    LibereMemoire();
    return;
  }
  // A failed shrink keeps the larger block, which is still consistent.
  if (m_nCapacite != m_nNbElement) bRealloue(m_nNbElement);
}

bool CTableauDeBuffer::vbRemplit(const void* element, int n) { return vbInitialise(element, n); }

void* CTableauDeBuffer::Ajoute(const void* element) {
  size_t size = static_cast<size_t>(m_nTailleElement);
  if (m_nNbElement >= m_nCapacite) {
    ptrdiff_t inside = OffsetIn(element, m_pData, static_cast<size_t>(m_nNbElement) * size);
    if (vpAgrandit() == nullptr || m_nNbElement >= m_nCapacite) return nullptr;
    if (inside >= 0) element = m_pData + inside;
  }
  char* slot = pOctet(m_nNbElement);
  std::memcpy(slot, element, size);
  ++m_nNbElement;
  return slot;
}

void* CTableauDeBuffer::Insere(const void* element, int index) {
  if (index < 0 || index > m_nNbElement) return nullptr;
  size_t size = static_cast<size_t>(m_nTailleElement);
  ptrdiff_t inside = OffsetIn(element, m_pData, static_cast<size_t>(m_nNbElement) * size);
  if (m_nNbElement >= m_nCapacite) {
    if (vpAgrandit() == nullptr || m_nNbElement >= m_nCapacite) return nullptr;
  }
  char* slot = pOctet(index);
  std::memmove(slot + size, slot, static_cast<size_t>(m_nNbElement - index) * size);
  if (inside >= 0) {
    // The element lay in the array: it moved up with the tail.
    if (inside >= static_cast<ptrdiff_t>(static_cast<size_t>(index) * size)) inside += size;
    element = m_pData + inside;
  }
  std::memcpy(slot, element, size);
  ++m_nNbElement;
  return slot;
}

bool CTableauDeBuffer::Modifie(const void* element, int index) {
  if (index < 0 || index >= m_nNbElement) return false;
  std::memmove(pOctet(index), element, static_cast<size_t>(m_nTailleElement));
  return true;
}

int CTableauDeBuffer::nSupprime(int index) {
  if (index < 0 || index >= m_nNbElement) return -1;
  size_t size = static_cast<size_t>(m_nTailleElement);
  char* slot = pOctet(index);
  std::memmove(slot, slot + size, static_cast<size_t>(m_nNbElement - index - 1) * size);
  return --m_nNbElement;
}

bool CTableauDeBuffer::bSupprimeDerniers(int n) {
  if (n < 0 || n > m_nNbElement) return false;
  m_nNbElement -= n;
  return true;
}

int CTableauDeBuffer::nReserve(int n) {
  if (m_nCapacite < n) {
    int step = m_nPas;
    m_nPas = n - m_nCapacite;
    vpAgrandit();
    m_nPas = step;
  }
  return m_nCapacite;
}

bool CTableauDeBuffer::AgranditMemoire(int n) {
  if (n <= 0) return true;
  int64_t need = static_cast<int64_t>(m_nNbElement) + n - m_nCapacite;
  if (need <= 0) return true;
  int64_t step = (need + m_nPas - 1) / m_nPas * m_nPas;
  if (step > kMaxCapacity) return false;
  return pAgranditDe(static_cast<int>(step)) != nullptr;
}

void* CTableauDeBuffer::pGetElement(int index) const {
  if (index < 0 || index >= m_nNbElement) return nullptr;
  return pOctet(index);
}
