// CTTableauPtr<T>: a growable array of owned pointers. The array deletes
// its elements when they are removed and when it is destroyed.
// Not synchronised: one array is used by one thread at a time.
#ifndef QG_SUPPORT_ARRAY_PTR_H_
#define QG_SUPPORT_ARRAY_PTR_H_

#include "support/array.h"

template <typename T>
class CTTableauPtr {
 public:
  explicit CTTableauPtr(int step = 20, int initial = 0) : m_tab(step, initial) {}
  ~CTTableauPtr() { SupprimeTout(); }
  CTTableauPtr(const CTTableauPtr&) = delete;
  CTTableauPtr& operator=(const CTTableauPtr&) = delete;

  // Takes ownership of p. False when the array could not grow: the caller
  // then still owns p.
  bool Ajoute(T* p) { return m_tab.Ajoute(p) != nullptr; }
  // Unchecked: the caller keeps index below the count.
  T* operator[](int index) const { return m_tab[index]; }
  int nGetNbElement() const { return m_tab.nGetNbElement(); }
  // Deletes the element at index; the new count, or -1 when out of range.
  int nSupprime(int index) {
    T** slot = m_tab.pGetElement(index);
    if (slot == nullptr) return -1;
    T* p = *slot;
    m_tab.nSupprime(index);  // unlinked before deletion: ~T may look at the array
    delete p;
    return m_tab.nGetNbElement();
  }
  // Deletes every element; the block is kept.
  void SupprimeTout() {
    while (m_tab.nGetNbElement() > 0) {
      int last = m_tab.nGetNbElement() - 1;
      T* p = m_tab[last];
      m_tab.bSupprimeDerniers(1);
      delete p;
    }
  }
  // Makes room for n more elements; false when the growth failed.
  bool AgranditMemoire(int n) { return m_tab.AgranditMemoire(n); }

 private:
  CTTableau<T*, 0> m_tab;
};

// The form the browser keeps its pending entries in.
template <typename T>
using CTTableauPtr_DeleteRCV = CTTableauPtr<T>;

#endif  // QG_SUPPORT_ARRAY_PTR_H_
