// CListeChainee: a doubly linked list of fixed-size elements with a cursor
// (the current node and its index). Each node holds the two links followed
// by the element's bytes, copied in; elements are never constructed or
// destroyed, so they must be plain data.
//
// Not synchronised: one list is used by one thread at a time.
#ifndef QG_SUPPORT_LINKED_LIST_H_
#define QG_SUPPORT_LINKED_LIST_H_

#include <cstdint>

class CListeChainee {
 public:
  explicit CListeChainee(int element_size);
  ~CListeChainee();
  CListeChainee(const CListeChainee&) = delete;
  CListeChainee& operator=(const CListeChainee&) = delete;

  // Copies the element into a new node placed before (before = true) or
  // after the current node, and makes it current; in an empty list it
  // becomes first, last and current (index 0). The element's address in
  // the node, or null when memory runs out (nothing changed).
  void* Insere(const void* element, bool before);
  // The current element, null when the list is empty.
  void* pGetCourant() const;
  // Moves the cursor to the next node and returns its element; null at the
  // end (the cursor stays on the last node) or when the list is empty.
  void* pSuivant();
  // Makes the element at index current, walking from the first, the last
  // or the current node, whichever is nearest; null (cursor unchanged) when
  // index is out of range.
  void* pGetElement(int index);
  // Unlinks and frees the current node; its predecessor, else the new
  // first node, becomes current. Nothing on an empty list.
  void SupprimeCourant();
  // Frees every node; index -1.
  void SupprimeTout();

  int nGetNbElement() const { return m_nNbNoeud; }
  int nGetIndexCourant() const { return m_nIndexCourant; }
  int nGetTailleElement() const { return m_nTailleElement; }

 private:
  struct Noeud {
    Noeud* pSuivant;
    Noeud* pPrecedent;
    // The element's bytes follow.
  };
  static void* Element(Noeud* n) { return n == nullptr ? nullptr : n + 1; }

  Noeud* m_pPremier = nullptr;
  Noeud* m_pDernier = nullptr;
  Noeud* m_pCourant = nullptr;
  int32_t m_nTailleElement;
  int32_t m_nNbNoeud = 0;
  int32_t m_nIndexCourant = -1;
};

#endif  // QG_SUPPORT_LINKED_LIST_H_
