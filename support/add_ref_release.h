// CAddRefRelease: a reference-counted base whose count starts at 1 (the
// creator's reference). Release deletes the object through its virtual
// destructor when the count reaches zero. The count changes atomically.
#ifndef QG_SUPPORT_ADD_REF_RELEASE_H_
#define QG_SUPPORT_ADD_REF_RELEASE_H_

#include <atomic>
#include <cstdint>

class CAddRefRelease {
 public:
  CAddRefRelease() = default;
  CAddRefRelease(const CAddRefRelease&) = delete;
  CAddRefRelease& operator=(const CAddRefRelease&) = delete;
  virtual ~CAddRefRelease() = default;

  // The count after the change; the object is gone when Release returns 0.
  int32_t AddRef() { return m_nRef.fetch_add(1, std::memory_order_relaxed) + 1; }
  int32_t Release() {
    const int32_t left = m_nRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }
  int32_t nGetRefCount() const { return m_nRef.load(std::memory_order_relaxed); }

 private:
  std::atomic<int32_t> m_nRef{1};
};

#endif  // QG_SUPPORT_ADD_REF_RELEASE_H_
