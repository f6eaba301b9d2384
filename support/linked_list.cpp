#include "support/linked_list.h"

#include <cstring>

#include "support/array.h"

CListeChainee::CListeChainee(int element_size)
    : m_nTailleElement(element_size > 0 ? element_size : 0) {}

CListeChainee::~CListeChainee() { SupprimeTout(); }

void* CListeChainee::Insere(const void* element, bool before) {
  void* block = qg::ContainerRealloc(nullptr, sizeof(Noeud) + static_cast<size_t>(m_nTailleElement));
  if (block == nullptr) return nullptr;
  Noeud* n = static_cast<Noeud*>(block);
  if (m_nTailleElement > 0) std::memcpy(Element(n), element, static_cast<size_t>(m_nTailleElement));
  if (m_pCourant == nullptr) {
    n->pSuivant = n->pPrecedent = nullptr;
    m_pPremier = m_pDernier = n;
    m_nIndexCourant = 0;
  } else if (before) {
    n->pSuivant = m_pCourant;
    n->pPrecedent = m_pCourant->pPrecedent;
    if (n->pPrecedent != nullptr) n->pPrecedent->pSuivant = n;
    else m_pPremier = n;
    m_pCourant->pPrecedent = n;
    // The new node takes the current index; the old current moves up.
  } else {
    n->pPrecedent = m_pCourant;
    n->pSuivant = m_pCourant->pSuivant;
    if (n->pSuivant != nullptr) n->pSuivant->pPrecedent = n;
    else m_pDernier = n;
    m_pCourant->pSuivant = n;
    ++m_nIndexCourant;
  }
  m_pCourant = n;
  ++m_nNbNoeud;
  return Element(n);
}

void* CListeChainee::pGetCourant() const { return Element(m_pCourant); }

void* CListeChainee::pSuivant() {
  if (m_pCourant == nullptr || m_pCourant->pSuivant == nullptr) return nullptr;
  m_pCourant = m_pCourant->pSuivant;
  ++m_nIndexCourant;
  return Element(m_pCourant);
}

void* CListeChainee::pGetElement(int index) {
  if (index < 0 || index >= m_nNbNoeud) return nullptr;
  int from_first = index;
  int from_last = m_nNbNoeud - 1 - index;
  int from_current = index > m_nIndexCourant ? index - m_nIndexCourant : m_nIndexCourant - index;
  Noeud* n;
  int at;
  if (from_current <= from_first && from_current <= from_last) {
    n = m_pCourant;
    at = m_nIndexCourant;
  } else if (from_first <= from_last) {
    n = m_pPremier;
    at = 0;
  } else {
    n = m_pDernier;
    at = m_nNbNoeud - 1;
  }
  for (; at < index; ++at) n = n->pSuivant;
  for (; at > index; --at) n = n->pPrecedent;
  m_pCourant = n;
  m_nIndexCourant = index;
  return Element(n);
}

void CListeChainee::SupprimeCourant() {
  Noeud* n = m_pCourant;
  if (n == nullptr) return;
  if (n->pPrecedent != nullptr) n->pPrecedent->pSuivant = n->pSuivant;
  else m_pPremier = n->pSuivant;
  if (n->pSuivant != nullptr) n->pSuivant->pPrecedent = n->pPrecedent;
  else m_pDernier = n->pPrecedent;
  if (n->pPrecedent != nullptr) {
    m_pCourant = n->pPrecedent;
    --m_nIndexCourant;
  } else {
    m_pCourant = m_pPremier;
    m_nIndexCourant = m_pPremier != nullptr ? 0 : -1;
  }
  --m_nNbNoeud;
  qg::ContainerFree(n);
}

void CListeChainee::SupprimeTout() {
  Noeud* n = m_pPremier;
  while (n != nullptr) {
    Noeud* next = n->pSuivant;
    qg::ContainerFree(n);
    n = next;
  }
  m_pPremier = m_pDernier = m_pCourant = nullptr;
  m_nNbNoeud = 0;
  m_nIndexCourant = -1;
}
