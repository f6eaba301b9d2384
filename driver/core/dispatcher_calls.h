// The forwarded calls in progress on each thread, and how a dispatcher's
// cache drops its references without freeing a session a call is in.
//
// A forwarded call that finds its session in the dispatcher's cache takes
// no reference and no lock for it: it names the session in its thread's
// call record at its nesting level, checks that the cache still holds the
// session, calls it, and clears the name. The cache's reference keeps the
// session alive meanwhile (with the registry remembered beside it).
//
// Invariant: who may free a session while a call is in it. Only the
// release of a cache's reference could, since a call enters a session only
// while the cache holds one; and the cache's references are released only
// through NAReleaseRetired, which first looks for the session in every
// thread's call record. A session that a call is in is handed to that
// call's thread, which passes it on when its call ends; it is released
// once no call is in it.
//
// Ordering: a caller stores its record's name and then re-reads the cache;
// a thread that changed the cache then reads every record. Each side needs
// a store-load barrier. The caller's is a compiler barrier only: the other
// side issues a process-wide barrier (membarrier), which makes every
// running thread of the process pass a full barrier. Where membarrier is
// not available both sides use sequentially consistent operations.
#ifndef QG_DRIVER_CORE_DISPATCHER_CALLS_H_
#define QG_DRIVER_CORE_DISPATCHER_CALLS_H_

#include <atomic>
#include <mutex>
#include <vector>

#include "driver/core/error_status.h"
#include "driver/core/refcounted.h"

// A cache entry no longer published: the session and the registry
// remembered with it, one reference (both counters) each; either may be
// null.
struct NARetired {
  CNARefCounted* pSession = nullptr;
  CNARefCounted* pRegistry = nullptr;
};

// Releases each entry whose session no call is in; hands the others to the
// threads of those calls. Takes the entries out of the vector.
void NAReleaseRetired(std::vector<NARetired>* retired);

// One thread's forwarded calls: the session each nesting level is in and
// the error object each level hands to its session. Only its thread
// changes it, except for the hand-over list. On cache lines of its own:
// each call writes it.
class alignas(64) CNACallRecord {
 public:
  static constexpr int kLevels = 4;

  // The calling thread's record, made at its first use; null once the
  // thread's record is gone (the thread is ending).
  static CNACallRecord* pclGet() {
    CNACallRecord* record = t_pRecord;
    return record != nullptr ? record : pclMake();
  }

  // Names the object that the call at the level is about to enter. The
  // caller must then check that the object is still published before it
  // uses it, and call Leave in every case.
  void Enter(int level, CNARefCounted* object) {
    if (s_bAsymmetric) {
      m_apIn[level].store(object, std::memory_order_relaxed);
      std::atomic_signal_fence(std::memory_order_seq_cst);
    } else {
      m_apIn[level].store(object, std::memory_order_seq_cst);
    }
  }
  // The call at the level left its object; what was handed over meanwhile
  // is passed on.
  void Leave(int level) {
    if (s_bAsymmetric) {
      m_apIn[level].store(nullptr, std::memory_order_release);
      std::atomic_signal_fence(std::memory_order_seq_cst);
    } else {
      m_apIn[level].store(nullptr, std::memory_order_seq_cst);
    }
    if (m_bHanded.load(std::memory_order_seq_cst)) PassOnHanded();
  }

  // The nesting depth of forwarded calls (only this thread reads it).
  int m_nDepth = 0;
  // One error object per level, wiped after a call wrote into it.
  CNAError m_aclErrors[kLevels];

 private:
  friend void NAReleaseRetired(std::vector<NARetired>* retired);
  friend class CNACallRecordOwner;

  static CNACallRecord* pclMake();
  bool bIsIn(const CNARefCounted* object) const;
  void PassOnHanded();

  static constinit thread_local CNACallRecord* t_pRecord;
  // Set once, before the first record exists: the process-wide barrier
  // is available.
  static bool s_bAsymmetric;

  std::atomic<CNARefCounted*> m_apIn[kLevels] = {};
  // Entries handed over by other threads while a call of this one was in
  // their session.
  std::atomic<bool> m_bHanded{false};
  std::mutex m_muHanded;
  std::vector<NARetired> m_vecHanded;
  // The list of every thread's record (under the list lock).
  CNACallRecord* m_pNext = nullptr;
  CNACallRecord* m_pPrev = nullptr;
};

#endif  // QG_DRIVER_CORE_DISPATCHER_CALLS_H_
