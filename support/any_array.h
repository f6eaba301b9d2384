// CZQANYArray: a growable array of variant values with a parallel array of
// flags (1 = the element holds a value). Unlike the byte arrays, elements
// are real CAny objects: constructed empty when the array grows, copied by
// CAny's own copy, reset when the array is cleared.
//
// A failed growth keeps the elements, the count and the capacity, and is
// reported (false).
//
// Not synchronised: one array is used by one thread at a time.
#ifndef QG_SUPPORT_ANY_ARRAY_H_
#define QG_SUPPORT_ANY_ARRAY_H_

#include <cstdint>

#include "support/any.h"

class CZQANYArray {
 public:
  static constexpr int kPas = 10;

  // Reserves kPas elements (a failure leaves the array empty, to grow
  // later).
  CZQANYArray();
  CZQANYArray(const CZQANYArray&) = delete;
  CZQANYArray& operator=(const CZQANYArray&) = delete;

  // Virtual operations, in slot order.
  // 1: replaces the arrays by n empty elements with flag 0; count 0. False
  // when memory runs out (nothing changed).
  virtual bool vbAlloue(int n);
  // 2: grows to n + step elements, the new ones empty, the used ones kept;
  // nothing when that is not above the capacity. False when memory runs
  // out (nothing changed).
  virtual bool vbAgrandit(int n);
  // 3: grows by the step.
  virtual bool vbAgranditPas();
  // 4: resets every used element, count 0, frees both arrays.
  virtual void vDetruit();
  virtual ~CZQANYArray();

  // Copies the value into the next element (flag 1), growing by the step
  // when full; false when the array could not grow. The value may be an
  // element of this array.
  bool bAjoute(const CAny& value);
  // Resets every used element and its flag; count 0, memory kept.
  void Vide();

  int nGetNbElement() const { return m_nNbElement; }
  int nGetCapacite() const { return m_nCapacite; }
  // The element at index, null beyond the count.
  CAny* pGetElement(int index) const;
  // True when the element at index holds a value (false beyond the count).
  bool bAValeur(int index) const;

 private:
  // Builds arrays of `capacity` empty elements and zero flags; false when
  // memory runs out.
  static bool bConstruit(int capacity, CAny** values, int32_t** flags);
  static void Detruit(CAny* values, int capacity, int32_t* flags);

  CAny* m_pValeurs = nullptr;
  int32_t* m_pFlags = nullptr;
  int32_t m_nNbElement = 0;
  int32_t m_nCapacite = 0;
  int32_t m_nPas = kPas;
};

#endif  // QG_SUPPORT_ANY_ARRAY_H_
