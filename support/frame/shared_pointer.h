// A module-wide pointer that one thread sets and others read (the host's
// locale interface, the message-text callback): every load acquires and
// every store releases, so a reader sees the object the pointer was set to.
// It reads and assigns like the plain pointer it replaces.
#ifndef QG_SUPPORT_FRAME_SHARED_POINTER_H_
#define QG_SUPPORT_FRAME_SHARED_POINTER_H_

#include <atomic>

namespace qg {

template <typename P>
class SharedPointer {
 public:
  SharedPointer(P p = nullptr) : p_(p) {}  // NOLINT: implicit like the pointer
  SharedPointer(const SharedPointer& other) : p_(other.Get()) {}
  SharedPointer& operator=(const SharedPointer& other) {
    Set(other.Get());
    return *this;
  }
  SharedPointer& operator=(P p) {
    Set(p);
    return *this;
  }

  P Get() const { return p_.load(std::memory_order_acquire); }
  void Set(P p) { p_.store(p, std::memory_order_release); }
  operator P() const { return Get(); }  // NOLINT: reads like the pointer
  P operator->() const { return Get(); }

 private:
  std::atomic<P> p_;
};

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_SHARED_POINTER_H_
