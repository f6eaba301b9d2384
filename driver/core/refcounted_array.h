// Arrays of reference-counted driver objects.
//
// CTTableauRef holds one reference (both counters) on every object it
// stores: storing adds it, removing an element or destroying the array
// releases it. Removing everything releases from the last element to the
// first. Not synchronised: one array is used by one thread at a time.
#ifndef QG_DRIVER_CORE_REFCOUNTED_ARRAY_H_
#define QG_DRIVER_CORE_REFCOUNTED_ARRAY_H_

#include <atomic>
#include <cstdint>

#include "driver/core/refcounted.h"
#include "support/array.h"

template <class T = CNARefCounted>
class CTTableauRef {
 public:
  explicit CTTableauRef(int step = 20) : m_tab(step) {}
  CTTableauRef(const CTTableauRef&) = delete;
  CTTableauRef& operator=(const CTTableauRef&) = delete;
  virtual ~CTTableauRef() { SupprimeTout(); }

  // Stores the object at the end with one reference for the array. False
  // when the array cannot grow (no reference is taken then). Null is stored
  // as it is.
  bool bAjoute(T* object) {
    if (m_tab.Ajoute(object) == nullptr) return false;
    AddRefBoth(object);
    return true;
  }
  // Removes the element at index and releases it; the new count, or -1 when
  // index is out of range.
  int nSupprime(int index) {
    T** slot = m_tab.pGetElement(index);
    if (slot == nullptr) return -1;
    T* object = *slot;
    int count = m_tab.nSupprime(index);
    ReleaseBoth(object);
    return count;
  }
  // Removes and releases every element, last to first. Each element leaves
  // the array before its release, so a destructor that reaches back into the
  // array sees only the elements still held.
  void SupprimeTout() {
    for (int i = m_tab.nGetNbElement() - 1; i >= 0; --i) {
      T* object = m_tab[i];
      m_tab.bSupprimeDerniers(1);
      ReleaseBoth(object);
    }
  }

  int nGetNbElement() const { return m_tab.nGetNbElement(); }
  // Null when index is out of range (or a null was stored there).
  T* pGetElement(int index) const {
    T** slot = m_tab.pGetElement(index);
    return slot != nullptr ? *slot : nullptr;
  }

 private:
  CTTableau<T*> m_tab;
};

// The second interface of a callback array: its deleting destructor, then
// its release.
class INAReleasable {
 public:
  virtual ~INAReleasable() = default;  // 0
  virtual int32_t Release() = 0;       // 1
};

// A CTTableauRef reached through INAReleasable: a counter of references,
// 0 at construction, raised by AddRef; Release drops one and deletes the
// array (releasing its elements) when none is left.
template <class T = CNARefCounted>
class CTTableauRefCB : public CTTableauRef<T>, public INAReleasable {
 public:
  explicit CTTableauRefCB(int step = 20) : CTTableauRef<T>(step) {}

  int32_t AddRef() { return m_nCount.fetch_add(1) + 1; }
  // The count after the decrement; the array is gone at 0 or below.
  int32_t Release() override {
    int32_t left = m_nCount.fetch_sub(1) - 1;
    if (left <= 0) delete this;
    return left;
  }
  int32_t nGetCount() const { return m_nCount.load(); }

 private:
  std::atomic<int32_t> m_nCount{0};
};

#endif  // QG_DRIVER_CORE_REFCOUNTED_ARRAY_H_
