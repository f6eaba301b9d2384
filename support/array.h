// Growable arrays of plain bytes: CTableauDeBuffer, the untyped base, and
// CTTableau<T,0>, its typed face. Elements move with byte copies and are
// never constructed or destroyed by the array, so element types must be
// trivially copyable (checked at compile time).
//
// Growth is linear by the step, except that a step of 1 becomes 20 once the
// capacity is above 100 elements of at most 256 bytes. A failed growth
// keeps the block, the count and the capacity, and the operation reports
// it (null or false).
//
// Not synchronised: one array is used by one thread at a time.
#ifndef QG_SUPPORT_ARRAY_H_
#define QG_SUPPORT_ARRAY_H_

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace qg {

// The reallocation behind every raw-memory container of the library, with
// realloc's contract: a null block allocates; a null result is a failure
// that leaves the block as it was. Tests install a failing one; null
// restores the C runtime's. Set it only while no other thread uses a
// container.
using PFN_ContainerRealloc = void* (*)(void* block, size_t size);
void SetContainerRealloc(PFN_ContainerRealloc fn);
// size must not be 0.
void* ContainerRealloc(void* block, size_t size);
void ContainerFree(void* block);

}  // namespace qg

class CTableauDeBuffer {
 public:
  // A step below 1 is taken as 1.
  CTableauDeBuffer(int element_size, int step);
  CTableauDeBuffer(const CTableauDeBuffer&) = delete;
  CTableauDeBuffer& operator=(const CTableauDeBuffer&) = delete;

  // Virtual operations, in slot order.
  // 1: grows by the step (see the file comment); the block, or null when
  // the reallocation failed (nothing changed then).
  virtual void* vpAgrandit();
  // 2
  virtual ~CTableauDeBuffer();
  // 3: n copies of the element, count = capacity = n; n <= 0 empties the
  // array. False when the block cannot be allocated (nothing changed).
  virtual bool vbInitialise(const void* element, int n);
  // 4: the block shrinks to the count (count 0 frees it).
  virtual void vAjusteMemoire();
  // 5: as slot 3.
  virtual bool vbRemplit(const void* element, int n);

  // Frees the block; count and capacity 0.
  void LibereMemoire();
  // Copies the element at the end; its address, or null when the array
  // could not grow. The element may lie in the array itself.
  void* Ajoute(const void* element);
  // Copies the element at index (0..count), moving the following ones up;
  // its address, or null when index is out of range or the array could not
  // grow. The element may lie in the array itself.
  void* Insere(const void* element, int index);
  // Overwrites the element at index; false when index is out of range.
  bool Modifie(const void* element, int index);
  // Removes the element at index; the new count, or -1 when index is out
  // of range (nothing removed).
  int nSupprime(int index);
  // Removes the last n elements; false (nothing removed) when n is
  // negative or above the count.
  bool bSupprimeDerniers(int n);
  // Makes room for n elements in one growth; the capacity afterwards
  // (below n when the growth failed).
  int nReserve(int n);
  // Makes room for n more elements, the growth rounded up to the step;
  // false when the growth failed.
  bool AgranditMemoire(int n);
  // Count = 0; the block is kept.
  void SupprimeTout() { m_nNbElement = 0; }

  int nGetNbElement() const { return m_nNbElement; }
  int nGetCapacite() const { return m_nCapacite; }
  int nGetPas() const { return m_nPas; }
  int nGetTailleElement() const { return m_nTailleElement; }
  // Address of the element at index, null when out of range.
  void* pGetElement(int index) const;
  // The block (null while nothing was ever allocated).
  void* pGetData() const { return m_pData; }

 protected:
  // Reallocates to `capacity` elements (above 0); false leaves everything.
  bool bRealloue(int capacity);
  // Grows the capacity by exactly `step`.
  void* pAgranditDe(int step);
  char* pOctet(int index) const { return m_pData + static_cast<size_t>(index) * m_nTailleElement; }

  int32_t m_nTailleElement;
  int32_t m_nNbElement = 0;
  int32_t m_nCapacite = 0;
  int32_t m_nPas;
  char* m_pData = nullptr;
};

template <typename T, int N = 0>
class CTTableau : public CTableauDeBuffer {
  static_assert(std::is_trivially_copyable_v<T>,
                "array elements move with byte copies: they must be trivially copyable");
  static_assert(N == 0, "only the plain form exists");

 public:
  // Reserves `initial` elements when above 0 (a failure leaves the array
  // empty, to grow later).
  explicit CTTableau(int step = 20, int initial = 0)
      : CTableauDeBuffer(static_cast<int>(sizeof(T)), step) {
    if (initial > 0) nReserve(initial);
  }

  T* Ajoute(const T& element) { return static_cast<T*>(CTableauDeBuffer::Ajoute(&element)); }
  T* Insere(const T& element, int index) {
    return static_cast<T*>(CTableauDeBuffer::Insere(&element, index));
  }
  bool Modifie(const T& element, int index) { return CTableauDeBuffer::Modifie(&element, index); }
  bool bInitialise(const T& element, int n) { return vbInitialise(&element, n); }

  // Unchecked: the caller keeps index below the count.
  T& operator[](int index) { return Data()[index]; }
  const T& operator[](int index) const { return Data()[index]; }
  T* pGetElement(int index) const {
    return static_cast<T*>(CTableauDeBuffer::pGetElement(index));
  }
  T* Data() const { return reinterpret_cast<T*>(m_pData); }
};

#endif  // QG_SUPPORT_ARRAY_H_
