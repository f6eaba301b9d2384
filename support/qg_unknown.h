// CQGUnknown: the library's reference-counted base: a virtual table and a
// 32-bit count changed atomically. Release deletes the object through its
// virtual destructor when the count reaches zero.
#ifndef QG_SUPPORT_QG_UNKNOWN_H_
#define QG_SUPPORT_QG_UNKNOWN_H_

#include <atomic>
#include <cstdint>

class CQGUnknown {
 public:
  CQGUnknown() = default;
  CQGUnknown(const CQGUnknown&) : m_nRef(0) {}
  CQGUnknown& operator=(const CQGUnknown&) { return *this; }

  // Virtual functions are declared in the host's slot order: do not reorder.
  virtual ~CQGUnknown() = default;
  // The count after the decrement; the object is gone at 0.
  virtual int32_t Release() {
    int32_t left = m_nRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  int32_t AddRef() { return m_nRef.fetch_add(1, std::memory_order_relaxed) + 1; }
  int32_t nGetRefCount() const { return m_nRef.load(std::memory_order_relaxed); }

 private:
  std::atomic<int32_t> m_nRef{0};
};

#endif  // QG_SUPPORT_QG_UNKNOWN_H_
