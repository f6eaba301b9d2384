// Reference counting and critical sections of the driver's shared objects.
//
// Every shared driver object derives from CNARefCounted. Two counters move
// together: the references decide deletion; the holders let a table that
// stores an object learn whether anyone but itself still holds it. Both
// change atomically with full ordering, from any thread, without a lock.
#ifndef QG_DRIVER_CORE_REFCOUNTED_H_
#define QG_DRIVER_CORE_REFCOUNTED_H_

#include <atomic>
#include <cstdint>
#include <mutex>

// What a release reports: the references left and whether it deleted.
struct NAReleaseResult {
  int32_t nReferences = 0;
  bool bDeleted = false;
};

class CNARefCounted {
 public:
  CNARefCounted() = default;
  CNARefCounted(const CNARefCounted&) = delete;
  CNARefCounted& operator=(const CNARefCounted&) = delete;

  // Slot 0: the deleting destructor, run by ReleaseBoth only.
  virtual ~CNARefCounted();
  // Slot 1: answers 0.
  virtual int32_t vnReserved();

  int32_t nGetReferences() const { return m_nReferences.load(); }
  int32_t nGetHolders() const { return m_nHolders.load(); }

 private:
  friend void AddRefBoth(CNARefCounted* object);
  friend NAReleaseResult ReleaseBoth(CNARefCounted* object);
  friend void AddUse(CNARefCounted* object);
  friend void ReleaseUse(CNARefCounted* object);

  std::atomic<int32_t> m_nReferences{0};
  std::atomic<int32_t> m_nHolders{0};
};

// Adds one holder, then one reference. Null-safe.
void AddRefBoth(CNARefCounted* object);
// Drops one holder, then one reference (the reference last: after it a
// concurrent release may delete the object); deletes the object when the
// references went from 1 to 0. Deletion runs inside this call, under no lock
// but the ones the caller holds. Null-safe (answers {0, false}).
NAReleaseResult ReleaseBoth(CNARefCounted* object);

// A passing use by a caller that keeps no pointer once it is done: one
// reference, no holder (tables that ask for holders do not see it). The
// object must be held by someone else when the use starts.
inline void AddUse(CNARefCounted* object) {
  object->m_nReferences.fetch_add(1, std::memory_order_relaxed);
}
// Ends a use; deletes the object when it was the last reference.
inline void ReleaseUse(CNARefCounted* object) {
  if (object->m_nReferences.fetch_sub(1, std::memory_order_acq_rel) == 1) delete object;
}

// AddRefBoth returning its argument.
template <class T>
T* NAAddRef(T* object) {
  AddRefBoth(object);
  return object;
}
inline NAReleaseResult NARelease(CNARefCounted* object) { return ReleaseBoth(object); }
// The references left after the release; 0 for null or when it deleted.
inline int32_t nNARelease(CNARefCounted* object) { return ReleaseBoth(object).nReferences; }

// Holder of one reference taken elsewhere (it adopts, it does not add one).
// The reference is dropped on every exit and unwind path.
template <class T = CNARefCounted>
class CNARefPtr {
 public:
  CNARefPtr() = default;
  explicit CNARefPtr(T* adopted) : m_pObject(adopted) {}
  CNARefPtr(const CNARefPtr&) = delete;
  CNARefPtr& operator=(const CNARefPtr&) = delete;
  CNARefPtr(CNARefPtr&& other) noexcept : m_pObject(other.Detach()) {}
  CNARefPtr& operator=(CNARefPtr&& other) noexcept {
    if (this != &other) {
      ReleaseHeld();
      m_pObject = other.Detach();
    }
    return *this;
  }
  ~CNARefPtr() { ReleaseHeld(); }

  // Releases the held object, if any, and holds nothing.
  NAReleaseResult ReleaseHeld() {
    T* object = m_pObject;
    m_pObject = nullptr;
    return object != nullptr ? ReleaseBoth(object) : NAReleaseResult{};
  }
  // Replaces the held object with one whose reference is adopted.
  void Attach(T* adopted) {
    ReleaseHeld();
    m_pObject = adopted;
  }
  // Gives up the reference without releasing it.
  T* Detach() {
    T* object = m_pObject;
    m_pObject = nullptr;
    return object;
  }
  T* Get() const { return m_pObject; }
  T* operator->() const { return m_pObject; }
  explicit operator bool() const { return m_pObject != nullptr; }

 private:
  T* m_pObject = nullptr;
};

class CNALockPtr;

// A critical section: re-entrant for the owning thread.
class CNACriticalSection {
 public:
  void Enter() { m_mutex.lock(); }
  void Leave() { m_mutex.unlock(); }
  bool bTryEnter() { return m_mutex.try_lock(); }

  // Enters the section when it is not null; the guard leaves it.
  [[nodiscard]] static CNALockPtr clLock(CNACriticalSection* section);

 private:
  std::recursive_mutex m_mutex;
};

// Guard that holds only the section pointer; null means not entered.
class CNALockPtr {
 public:
  CNALockPtr() = default;
  CNALockPtr(const CNALockPtr&) = delete;
  CNALockPtr& operator=(const CNALockPtr&) = delete;
  CNALockPtr(CNALockPtr&& other) noexcept : m_pSection(other.m_pSection) {
    other.m_pSection = nullptr;
  }
  ~CNALockPtr() { Leave(); }

  // Leaves when the pointer is set, once.
  void Leave() {
    if (m_pSection != nullptr) {
      CNACriticalSection* section = m_pSection;
      m_pSection = nullptr;
      section->Leave();
    }
  }
  bool bEntered() const { return m_pSection != nullptr; }

 private:
  friend class CNACriticalSection;
  explicit CNALockPtr(CNACriticalSection* entered) : m_pSection(entered) {}
  CNACriticalSection* m_pSection = nullptr;
};

// Scoped guard: enters on construction when asked to and the section is not
// null, leaves on destruction when it entered.
class CNALock {
 public:
  explicit CNALock(CNACriticalSection* section, bool bEnter = true)
      : m_pSection(section), m_bEntered(bEnter && section != nullptr) {
    if (m_bEntered) m_pSection->Enter();
  }
  CNALock(const CNALock&) = delete;
  CNALock& operator=(const CNALock&) = delete;
  ~CNALock() { Leave(); }

  void Leave() {
    if (m_bEntered) {
      m_bEntered = false;
      m_pSection->Leave();
    }
  }
  bool bEntered() const { return m_bEntered; }

 private:
  CNACriticalSection* m_pSection;
  bool m_bEntered;
};

// The connection's guard: enters the connection's section only when the
// caller asks for the lock and the connection does not opt out of locking
// (its no-locking operation answers true).
class CNAConnectionLock {
 public:
  CNAConnectionLock(CNACriticalSection* section, bool bLock, bool bNoLocking)
      : m_clLock(section, bLock && !bNoLocking) {}
  void Leave() { m_clLock.Leave(); }
  bool bEntered() const { return m_clLock.bEntered(); }

 private:
  CNALock m_clLock;
};

#endif  // QG_DRIVER_CORE_REFCOUNTED_H_
