// CNADispatcher: what the host holds for one table (or query) of one host
// context on one connection. Nearly every operation takes the host's handle
// of the table first (its file description as one context sees it); the
// dispatcher finds the handle's session, calls one of its operations, and
// on failure puts a new error-status object into the caller's error slot.
//
// Counting: users are the driver's own holds (the manager's table, each
// lookup in progress), references the host's (AddRef / Release); both
// change under the dispatcher lock and the dispatcher deletes itself when
// both reach 0.
//
// Locks: dispatcher lock (counters) alone, or after the manager's
// dispatcher lock; session-table lock before a session's lock (held while
// sessions are reset or notified); cache lock alone (also guards the host
// description pointer). No dispatcher lock is held while a forwarded
// operation runs.
//
// The one-entry cache holds a reference on the session and on the registry
// it came from, with the registry's generation at lookup time: a hit is
// good only while that registry has lost no child since. Forwarded calls
// read it without a lock (a sequence count around its fields) and enter the
// cached session without a count of their own; a reference the cache drops
// is released only once no call is in its session (dispatcher_calls.h).
#ifndef QG_DRIVER_CORE_DISPATCHER_H_
#define QG_DRIVER_CORE_DISPATCHER_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "driver/core/dispatcher_calls.h"
#include "driver/core/error_status.h"
#include "driver/core/refcounted.h"
#include "support/ctstring.h"

class CNAConnection;
class CNAManager;
class CNARegistry;
class CNASession;
class CNARowBuffer;
class INAConnectionDescription;
class INAFileDescription;

// A lock for a few loads and stores: taken without a system call while
// free, yields while another thread holds it.
class CNASpinLock {
 public:
  void lock() {
    while (m_bHeld.exchange(true, std::memory_order_acquire)) {
      while (m_bHeld.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
  }
  void unlock() { m_bHeld.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> m_bHeld{false};
};

class CNADispatcher {
 public:
  using H = INAFileDescription*;
  using E = INAError**;

  // Under the key text; the description (may be null) receives a reference.
  CNADispatcher(CNAManager* manager, const char16_t* key, INAFileDescription* description);
  CNADispatcher(const CNADispatcher&) = delete;
  CNADispatcher& operator=(const CNADispatcher&) = delete;

  // --- virtual operations in slot order ---
  virtual int32_t nGetVersion() { return 12; }                                     // 0
  virtual int32_t nGetSubVersion() { return 8; }                                   // 1
  virtual int32_t vn2() { return -1; }                                             // 2
  virtual int32_t vn3() { return -1; }                                             // 3
  virtual void v4() {}                                                             // 4
  virtual int32_t AddRef();                                                        // 5
  virtual int32_t Release();                                                       // 6
  virtual bool bIsOpen(H h);                                                       // 7
  virtual INAFileDescription* pclGetHostDescription();                             // 8
  virtual bool bIsQueryResult(H h, intptr_t a2, intptr_t a3, E e);                 // 9
  virtual void v10(intptr_t, intptr_t) {}                                          // 10
  virtual bool bPrepareHandle(H h, INAConnectionDescription* d, intptr_t a3, intptr_t a4,
                              E e);                                                // 11
  virtual bool bOpenOrCreate(H h, INAConnectionDescription* d, intptr_t a3, intptr_t a4,
                             E e);                                                 // 12
  virtual bool bCreate(H h, INAConnectionDescription* d, intptr_t a3, E e);        // 13
  virtual bool bOpen(H h, INAConnectionDescription* d, intptr_t a3, intptr_t a4, E e);  // 14
  virtual bool vb15(intptr_t, intptr_t, intptr_t) { return true; }                 // 15
  virtual bool bCloseWithError(H h, intptr_t a2, E e);                             // 16
  virtual bool bAdd(H h, intptr_t a2, intptr_t a3, E e);                           // 17
  virtual bool bModifyForward(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                              E e);                                                // 18
  virtual bool bUnsupported19(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e);   // 19
  virtual bool bDelete(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e);           // 20
  virtual bool bModify(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5, E e);  // 21
  virtual bool bSeekSameName(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                             intptr_t a6, intptr_t a7, intptr_t a8, intptr_t a9, E e);  // 22
  virtual bool bUnsupported23(H h, E e);                                           // 23
  virtual bool bReread(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5, E e);  // 24
  virtual bool bRead(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5, intptr_t a6,
                     intptr_t a7, E e);                                            // 25
  virtual bool bReadByName(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                           intptr_t a6, intptr_t a7, intptr_t a8, intptr_t a9, E e);  // 26
  virtual bool bUnsupported27(H h, intptr_t a2, intptr_t a3, E e);                 // 27
  virtual bool bHook28(H h, E e);                                                  // 28
  virtual bool bUnsupported29(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                              E e);                                                // 29
  virtual bool bUnsupported30(H h, intptr_t a2, intptr_t a3, E e);                 // 30
  virtual bool bIsAtEnd(H h, intptr_t a2, intptr_t a3, E e);                       // 31
  virtual bool bIsFoundAndInRange(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e);  // 32
  virtual bool bCheckRecordSource(H h, intptr_t a2, E e);                          // 33
  virtual int64_t nHook34(H h);                                                    // 34
  virtual bool bGetRecordCounter(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e);  // 35
  virtual bool bSetFilter(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                          intptr_t a6, intptr_t a7, E e);                          // 36
  virtual bool bChooseKeyAndFilter(H h, intptr_t a2, intptr_t a3, E e);            // 37
  virtual bool bLockRecordOf(H h, intptr_t a2, intptr_t a3, E e);                  // 38
  virtual bool bDeactivateFilterOf(H h, intptr_t a2, intptr_t a3, intptr_t a4);    // 39
  virtual bool bRestorePosition(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                                E e);                                              // 40
  virtual bool bForgetPosition(H h, intptr_t a2, intptr_t a3);                     // 41
  virtual bool bSavePosition(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e);     // 42
  virtual bool bHook43(H h, intptr_t a2, E e);                                     // 43
  virtual bool bCountCurrent(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e);     // 44
  virtual bool bGetPositionPerMille(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                                    E e);                                          // 45
  virtual bool bGoToPerMille(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                             E e);                                                 // 46
  virtual bool bReadItemValue(H h, intptr_t a2, intptr_t a3, E e);                 // 47
  virtual bool bWriteItemValue(H h, intptr_t a2, intptr_t a3, E e);                // 48
  virtual CNARowBuffer* pclGetCurrentRow(H h, intptr_t a2, E e);                   // 49
  virtual bool bSetCurrentRow(H h, intptr_t a2, E e);                              // 50
  virtual intptr_t pclGetColumnPartOfItem(H h, intptr_t a2, intptr_t a3, E e);     // 51
  virtual bool bItemOperation(H h, intptr_t a2, intptr_t a3, E e);                 // 52
  virtual bool bResetKeyFilter(H h, intptr_t a2, E e);                             // 53
  virtual bool bHandOverCurrent(H h, intptr_t a2, intptr_t a3, E e);               // 54
  virtual bool bUnsupported55(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                              intptr_t a6, E e);                                   // 55
  virtual bool bUnsupported56(intptr_t a1, intptr_t a2, E e);                      // 56
  virtual bool bUnsupported57(intptr_t a1, E e);                                   // 57
  virtual bool bUnsupported58(intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4,
                              intptr_t a5, intptr_t a6, intptr_t a7, intptr_t a8, E e);  // 58
  virtual bool bDropRecordSourceIfAny(H h, E e);                                   // 59
  virtual bool bComparePositions(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e);  // 60
  virtual int32_t vn61() { return 0; }                                             // 61
  virtual int32_t vn62(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) {
    return 0;
  }                                                                                // 62
  virtual bool bDeleteAll(H h, E e);                                               // 63
  virtual bool bSaveCurrentRecord(H h, intptr_t a2, E e);                          // 64
  virtual bool bReadSavedRecord(H h, intptr_t a2, intptr_t a3, E e);               // 65
  virtual void v66() {}                                                            // 66
  virtual void v67() {}                                                            // 67
  virtual void v68() {}                                                            // 68
  virtual void v69() {}                                                            // 69
  virtual void v70() {}                                                            // 70
  virtual void v71() {}                                                            // 71
  virtual void v72() {}                                                            // 72
  virtual void v73() {}                                                            // 73
  virtual void v74() {}                                                            // 74
  virtual void v75() {}                                                            // 75
  virtual void v76() {}                                                            // 76
  virtual void v77() {}                                                            // 77
  virtual bool bDrop(H h, INAConnectionDescription* d, E e);                       // 78
  // Closes the handle's session and forgets it; an unknown handle answers
  // true. The error object is passed through as it is (not a slot).
  virtual bool bClose(H h, intptr_t a2, CNAError* error);                          // 79
  virtual void DeletingDestructor();                                               // 80

  // --- counting ---
  void AddUser();
  // The users left; deletes the dispatcher (and answers 0) when both
  // counts reach 0.
  int32_t nRemoveUser();
  int32_t nGetUsers();
  int32_t nGetReferences();

  // --- sessions ---
  // The handle's session with one reference, or null.
  CNASession* pclFindSession(H handle);
  // Finds, else creates and files it; one reference for the caller.
  CNASession* pclFindOrCreateSession(H handle, bool* created, INAConnectionDescription* d,
                                     bool check_connection, CNAError* error);
  // Files a session in the session table (one reference held there).
  void AddSession(CNASession* session);
  // Unfiles the session here and the handle in its context's registry.
  void ForgetHandle(H handle, CNASession* session);
  // Drops every session whose name source is the registry (its context
  // was closed).
  void ForgetSessionsOf(CNARegistry* registry);
  bool bHasSession(CNASession* session);
  uint32_t nGetSessionCount();

  bool bOpenTable(int32_t* open_result, intptr_t a2, H handle, INAConnectionDescription* d,
                  intptr_t a5, intptr_t a6, intptr_t a7, intptr_t a8, CNAError* error);
  bool bDropHandle(H handle, INAConnectionDescription* d, CNAError* error);
  void ResetHandles(CNAConnection* connection);
  void NotifyOtherSessions(CNASession* writer, int32_t kind, intptr_t value1, intptr_t value2,
                           CNAError* error);
  void NotifySessionsOfDescription(INAConnectionDescription* d, intptr_t value);

  // The host description's name (empty without one); a copy, since the
  // description may be replaced meanwhile.
  CTString GetTableName();
  // Stores the description with one more reference; the previous one is
  // released.
  void SetHostDescription(INAFileDescription* description);
  const char16_t* pszGetKey() const { return m_strKey.pszGet(); }
  CNAManager* pclGetManager() const { return m_pManager; }
  // The manager's teardown cuts the link.
  void ForgetManager() { m_pManager = nullptr; }
  // Lookups that went to the registry (the cache missed).
  uint64_t nGetRegistryLookups() const { return m_nRegistryLookups; }

  // The unknown-handle error (identifier 19, site 6.7) recorded in E.
  void UnknownHandle(CNAError& error);

 protected:
  virtual ~CNADispatcher();

 private:
  // The forwarding steps: find the session, call, hand a failure out.
  template <class F>
  bool Forward(H handle, E slot, F call);
  // Runs call(session) with the handle's session kept alive; false (call
  // not run) when the handle has no session.
  template <class F>
  bool bWithSession(H handle, F call);
  // The cached session of (context, key), named in the record at the
  // level, or null (nothing named). The caller leaves the level after its
  // call.
  CNASession* pclEnterCached(uint32_t context, uintptr_t key, CNACallRecord* record, int level);
  CNASession* pclFindSession(H handle, uint32_t context, uintptr_t key);
  // Replaces the cache's entry (under the cache lock); the entry it held
  // joins the retired ones.
  void SetCacheLocked(uint32_t context, uintptr_t key, CNASession* session, CNARegistry* registry,
                      uint32_t generation);
  template <class F>
  bool OpenLike(H handle, INAConnectionDescription* d, E slot, bool check, bool forget, F call);
  bool Unsupported(E slot, uint32_t minor);
  void HandOut(E slot, CNAError& local);
  void ClearCache();
  void ClearCacheIf(CNASession* session);

  CNAManager* m_pManager;
  std::mutex m_muCounts;
  int32_t m_nUsers = 0;
  int32_t m_nReferences = 0;
  CTString m_strKey;

  std::mutex m_muSessions;
  std::unordered_set<CNASession*> m_setSessions;  // one reference each

  // Cache lock: guards the host description pointer, the retired entries
  // and every change of the cache; forwarded calls read the cache without
  // it, between two equal even values of the sequence count (odd while a
  // change is under way). On a cache line of its own with the fields it
  // guards: host threads on other dispatchers never share it.
  alignas(64) CNASpinLock m_muCache;
  std::atomic<uint32_t> m_nCacheSequence{0};
  std::atomic<uint32_t> m_nCachedContext{0};
  std::atomic<uintptr_t> m_nCachedKey{0};
  std::atomic<CNASession*> m_pCachedSession{nullptr};    // one reference
  std::atomic<CNARegistry*> m_pCachedRegistry{nullptr};  // one reference
  std::atomic<uint32_t> m_nCachedGeneration{0};
  INAFileDescription* m_piDescription = nullptr;
  uint64_t m_nRegistryLookups = 0;
  // Entries the cache replaced, released in batches (and at once when a
  // session leaves): each release may have to wait for the calls in it.
  std::vector<NARetired> m_vecRetired;
};

#endif  // QG_DRIVER_CORE_DISPATCHER_H_
