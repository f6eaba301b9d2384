#include "driver/core/dispatcher.h"

#include <memory>
#include <new>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/manager.h"
#include "driver/core/registry.h"
#include "driver/core/session.h"

namespace {

constexpr uint32_t kDispatcherSite = 6;
constexpr uint32_t kUnknownHandle = 19;
constexpr uint32_t kEitLogicalTableName = 6;
constexpr uint32_t kEitNativeCode = 16;
// Entries the cache replaced that wait before their release together.
constexpr size_t kRetiredBatch = 32;

const char16_t* Text(intptr_t a) { return reinterpret_cast<const char16_t*>(a); }

// A forwarded call's place on its thread: the error object it hands to its
// session and, when it entered a cached session, its level's name of it.
// Each thread keeps one error object per nesting level of forwarded calls
// (a session may call a dispatcher), made at its first use and wiped only
// after a call wrote into it, so that a call that succeeds builds no error
// object. Deeper calls than the levels kept get one of their own and
// enter sessions with a reference.
class CallFrame {
 public:
  CallFrame() : m_pRecord(CNACallRecord::pclGet()) {
    if (m_pRecord != nullptr && m_pRecord->m_nDepth < CNACallRecord::kLevels) {
      m_nLevel = m_pRecord->m_nDepth++;
    }
  }
  __attribute__((always_inline)) ~CallFrame() {
    // The session first: the frame's name or reference is the last touch.
    if (m_pHeld != nullptr) ReleaseBoth(m_pHeld);
    if (m_nLevel < 0) return;
    if (m_bErrorUsed) {
      CNAError& error = m_pRecord->m_aclErrors[m_nLevel];
      if (!error.bIsUntouched()) {
        error.Reset();
        error.SetSilent(false);
      }
    }
    m_pRecord->m_nDepth = m_nLevel;
    if (m_bEntered) m_pRecord->Leave(m_nLevel);
  }
  CallFrame(const CallFrame&) = delete;
  CallFrame& operator=(const CallFrame&) = delete;

  CNAError& Error() {
    if (m_nLevel >= 0) {
      m_bErrorUsed = true;
      return m_pRecord->m_aclErrors[m_nLevel];
    }
    if (m_pOwn == nullptr) m_pOwn.reset(new CNAError());
    return *m_pOwn;
  }
  // The record and level a cached session may be named at; null when
  // this call enters with a reference.
  CNACallRecord* pclRecord() const { return m_nLevel >= 0 ? m_pRecord : nullptr; }
  int nGetLevel() const { return m_nLevel; }
  // The call entered a cached session named at its level.
  void Entered() { m_bEntered = true; }
  // The call holds a reference on the session, dropped at the end.
  void Hold(CNARefCounted* session) { m_pHeld = session; }

 private:
  CNACallRecord* m_pRecord;
  int m_nLevel = -1;
  bool m_bErrorUsed = false;
  bool m_bEntered = false;
  CNARefCounted* m_pHeld = nullptr;
  std::unique_ptr<CNAError> m_pOwn;
};

}  // namespace

CNADispatcher::CNADispatcher(CNAManager* manager, const char16_t* key,
                             INAFileDescription* description)
    : m_pManager(manager), m_strKey(key != nullptr ? key : u""), m_piDescription(description) {
  if (description != nullptr) description->AddRef();
}

CNADispatcher::~CNADispatcher() {
  std::vector<CNASession*> sessions;
  {
    std::lock_guard<std::mutex> lock(m_muSessions);
    sessions.assign(m_setSessions.begin(), m_setSessions.end());
    m_setSessions.clear();
  }
  ClearCache();
  for (CNASession* session : sessions) {
    session->ClearOwner(this);
    ReleaseBoth(session);
  }
  if (m_piDescription != nullptr) m_piDescription->Release();
}

void CNADispatcher::DeletingDestructor() { delete this; }

// ---- counting

int32_t CNADispatcher::AddRef() {
  std::lock_guard<std::mutex> lock(m_muCounts);
  return ++m_nReferences;
}

void CNADispatcher::AddUser() {
  std::lock_guard<std::mutex> lock(m_muCounts);
  ++m_nUsers;
}

int32_t CNADispatcher::nRemoveUser() {
  int32_t users = 0;
  {
    std::lock_guard<std::mutex> lock(m_muCounts);
    users = --m_nUsers;
    if (users > 0 || m_nReferences > 0) return users;
  }
  DeletingDestructor();
  return 0;
}

int32_t CNADispatcher::Release() {
  bool destroy = false;
  {
    std::lock_guard<std::mutex> lock(m_muCounts);
    int32_t references = --m_nReferences;
    if (references > 0) return references;
    // Unfiled and no lookup in progress: nobody can reach it any more.
    // Otherwise hold one user while the manager unfiles it (when only its
    // table still uses it and the table's entry is this object).
    if (m_nUsers == 0) {
      destroy = true;
    } else {
      ++m_nUsers;
    }
  }
  if (destroy) {
    DeletingDestructor();
    return 0;
  }
  CNAManager* manager = m_pManager;
  if (manager != nullptr) manager->RemoveDispatcherIfIdle(this);
  nRemoveUser();
  return 0;
}

int32_t CNADispatcher::nGetUsers() {
  std::lock_guard<std::mutex> lock(m_muCounts);
  return m_nUsers;
}

int32_t CNADispatcher::nGetReferences() {
  std::lock_guard<std::mutex> lock(m_muCounts);
  return m_nReferences;
}

// ---- host description and errors

CTString CNADispatcher::GetTableName() {
  std::lock_guard<CNASpinLock> lock(m_muCache);
  const char16_t* name = m_piDescription != nullptr ? m_piDescription->pszGetName() : nullptr;
  return CTString(name != nullptr ? name : u"");
}

void CNADispatcher::SetHostDescription(INAFileDescription* description) {
  if (description != nullptr) description->AddRef();
  INAFileDescription* old = nullptr;
  {
    std::lock_guard<CNASpinLock> lock(m_muCache);
    old = m_piDescription;
    m_piDescription = description;
  }
  if (old != nullptr) old->Release();
}

INAFileDescription* CNADispatcher::pclGetHostDescription() {
  std::lock_guard<CNASpinLock> lock(m_muCache);
  if (m_piDescription != nullptr) m_piDescription->AddRef();
  return m_piDescription;
}

void CNADispatcher::UnknownHandle(CNAError& error) {
  CTString table = GetTableName();
  _CXErrorModule76 x;
  x.SetUserError(gstErrorDefModule76, kUnknownHandle, table.pszGet());
  if (!table.bEstVide()) x.AddInfo(kEitLogicalTableName, table.pszGet());
  x.AddInfo(kEitNativeCode, kUnknownHandle);
  AddInternalErrorText(&x, kDispatcherSite, 7);
  error.SetError(0, x, nullptr);
}

void CNADispatcher::HandOut(E slot, CNAError& local) {
  if (slot == nullptr) return;
  CNAManager* manager = m_pManager;
  NAHandErrorToHost(slot, &local, manager != nullptr ? manager->pclNewErrorStatus() : nullptr);
}

bool CNADispatcher::Unsupported(E slot, uint32_t minor) {
  CNAError local;
  CTString table = GetTableName();
  _CXErrorModule76 x;
  x.SetUserError(gstErrorDefModule76, kNAErrorNotSupported);
  if (!table.bEstVide()) x.AddInfo(kEitLogicalTableName, table.pszGet());
  x.AddInfo(kEitNativeCode, kNAErrorNotSupported);
  AddInternalErrorText(&x, kDispatcherSite, minor);
  local.SetError(7, x, nullptr);
  HandOut(slot, local);
  return false;
}

// ---- the cache and the session table

void CNADispatcher::SetCacheLocked(uint32_t context, uintptr_t key, CNASession* session,
                                   CNARegistry* registry, uint32_t generation) {
  NARetired old;
  old.pSession = m_pCachedSession.load(std::memory_order_relaxed);
  old.pRegistry = m_pCachedRegistry.load(std::memory_order_relaxed);
  // Odd while the fields change: a reader that saw them meanwhile sees the
  // count move and does not use them.
  m_nCacheSequence.fetch_add(1, std::memory_order_seq_cst);
  m_nCachedContext.store(context, std::memory_order_release);
  m_nCachedKey.store(key, std::memory_order_release);
  m_pCachedSession.store(session, std::memory_order_release);
  m_pCachedRegistry.store(registry, std::memory_order_release);
  m_nCachedGeneration.store(generation, std::memory_order_release);
  m_nCacheSequence.fetch_add(1, std::memory_order_seq_cst);
  if (old.pSession != nullptr || old.pRegistry != nullptr) m_vecRetired.push_back(old);
}

void CNADispatcher::ClearCache() {
  std::vector<NARetired> retired;
  {
    std::lock_guard<CNASpinLock> lock(m_muCache);
    if (m_pCachedSession.load(std::memory_order_relaxed) != nullptr) {
      SetCacheLocked(0, 0, nullptr, nullptr, 0);
    }
    retired.swap(m_vecRetired);
  }
  NAReleaseRetired(&retired);
}

void CNADispatcher::ClearCacheIf(CNASession* target) {
  // Every retired entry goes too: a session leaving this dispatcher (and
  // its registry) must not be kept by an entry the cache replaced.
  std::vector<NARetired> retired;
  {
    std::lock_guard<CNASpinLock> lock(m_muCache);
    if (m_pCachedSession.load(std::memory_order_relaxed) == target && target != nullptr) {
      SetCacheLocked(0, 0, nullptr, nullptr, 0);
    }
    retired.swap(m_vecRetired);
  }
  NAReleaseRetired(&retired);
}

// Inlined into each forwarding slot: the common path of every host call.
__attribute__((always_inline)) inline CNASession* CNADispatcher::pclEnterCached(
    uint32_t context, uintptr_t key, CNACallRecord* record, int level) {
  uint32_t sequence = m_nCacheSequence.load(std::memory_order_acquire);
  if ((sequence & 1) != 0) return nullptr;
  CNASession* session = m_pCachedSession.load(std::memory_order_acquire);
  if (session == nullptr || m_nCachedContext.load(std::memory_order_acquire) != context ||
      m_nCachedKey.load(std::memory_order_acquire) != key) {
    return nullptr;
  }
  CNARegistry* registry = m_pCachedRegistry.load(std::memory_order_acquire);
  uint32_t generation = m_nCachedGeneration.load(std::memory_order_acquire);
  record->Enter(level, session);
  // Still the same entry once the name is visible: the cache's reference
  // is released only after every record is read (dispatcher_calls.h).
  if (m_nCacheSequence.load(std::memory_order_seq_cst) != sequence ||
      registry->nGetGeneration() != generation) {
    record->Leave(level);
    return nullptr;
  }
  return session;
}

CNASession* CNADispatcher::pclFindSession(H handle) {
  if (handle == nullptr) return nullptr;
  return pclFindSession(handle, handle->nGetContextNumber(), NANameKey(handle));
}

CNASession* CNADispatcher::pclFindSession(H handle, uint32_t context, uintptr_t key) {
  {
    std::lock_guard<CNASpinLock> lock(m_muCache);
    CNASession* cached = m_pCachedSession.load(std::memory_order_relaxed);
    if (cached != nullptr && m_nCachedContext.load(std::memory_order_relaxed) == context &&
        m_nCachedKey.load(std::memory_order_relaxed) == key &&
        m_pCachedRegistry.load(std::memory_order_relaxed)->nGetGeneration() ==
            m_nCachedGeneration.load(std::memory_order_relaxed)) {
      return NAAddRef(cached);
    }
    ++m_nRegistryLookups;
  }
  CNAManager* manager = m_pManager;
  if (manager == nullptr) return nullptr;
  CNARegistry* registry = manager->pclFindRegistry(context);
  if (registry == nullptr) return nullptr;
  // The generation is read before the lookup: a removal after it makes
  // the entry stale at once.
  uint32_t generation = registry->nGetGeneration();
  CNASession* session = static_cast<CNASession*>(registry->pclFindChild(handle));
  if (session == nullptr) {
    ReleaseBoth(registry);
    return nullptr;
  }
  std::vector<NARetired> retired;
  {
    std::lock_guard<CNASpinLock> lock(m_muCache);
    // The lookup's registry reference moves to the cache.
    SetCacheLocked(context, key, NAAddRef(session), registry, generation);
    if (m_vecRetired.size() >= kRetiredBatch) retired.swap(m_vecRetired);
  }
  NAReleaseRetired(&retired);
  return session;
}

void CNADispatcher::AddSession(CNASession* session) {
  if (session == nullptr) return;
  std::lock_guard<std::mutex> lock(m_muSessions);
  if (m_setSessions.insert(session).second) AddRefBoth(session);
}

bool CNADispatcher::bHasSession(CNASession* session) {
  std::lock_guard<std::mutex> lock(m_muSessions);
  return m_setSessions.count(session) != 0;
}

uint32_t CNADispatcher::nGetSessionCount() {
  std::lock_guard<std::mutex> lock(m_muSessions);
  return static_cast<uint32_t>(m_setSessions.size());
}

CNASession* CNADispatcher::pclFindOrCreateSession(H handle, bool* created,
                                                  INAConnectionDescription* d,
                                                  bool check_connection, CNAError* error) {
  if (created != nullptr) *created = false;
  CNAManager* manager = m_pManager;
  if (manager == nullptr || handle == nullptr) return nullptr;
  CNARegistry* registry = manager->pclFindOrCreateRegistry(handle->nGetContextNumber(), error);
  if (registry == nullptr) return nullptr;
  CNAConnection* connection = d != nullptr ? manager->pclResolveConnection(d, error) : nullptr;
  CNASession* session = nullptr;
  bool made = false;
  if (connection != nullptr && (!check_connection || connection->bOpen(error, 0))) {
    session = static_cast<CNASession*>(
        registry->pclFindOrCreateChild(handle, connection, &made, error));
    if (session != nullptr && made) {
      session->SetOwner(this);
      AddSession(session);
    }
  }
  if (connection != nullptr) manager->bReleaseConnection(connection);
  manager->bDropRegistry(registry);
  if (created != nullptr) *created = made;
  return session;
}

void CNADispatcher::ForgetHandle(H handle, CNASession* session) {
  CNAManager* manager = m_pManager;
  if (manager == nullptr || handle == nullptr) return;
  CNARegistry* registry = manager->pclFindRegistry(handle->nGetContextNumber());
  if (registry == nullptr) return;
  if (session != nullptr) {
    ClearCacheIf(session);
    bool filed = false;
    {
      std::lock_guard<std::mutex> lock(m_muSessions);
      filed = m_setSessions.erase(session) != 0;
    }
    if (filed) {
      session->ClearOwner(this);
      ReleaseBoth(session);
    }
    // Only the entry of this very session: another may have been filed
    // under the key meanwhile.
    CNARegistryChild* child = registry->pclFindChild(handle);
    if (child == session) registry->bRemoveChild(handle);
    if (child != nullptr) ReleaseBoth(child);
  }
  manager->bDropRegistry(registry);
}

void CNADispatcher::ForgetSessionsOf(CNARegistry* registry) {
  std::vector<CNASession*> gone;
  {
    std::lock_guard<std::mutex> lock(m_muSessions);
    for (auto it = m_setSessions.begin(); it != m_setSessions.end();) {
      if ((*it)->pclGetNameSource() == registry) {
        gone.push_back(*it);
        it = m_setSessions.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (CNASession* session : gone) {
    ClearCacheIf(session);
    session->ClearOwner(this);
    ReleaseBoth(session);
  }
  // Replaced entries may still hold the registry.
  if (gone.empty()) ClearCacheIf(nullptr);
}

void CNADispatcher::ResetHandles(CNAConnection* connection) {
  std::lock_guard<std::mutex> lock(m_muSessions);
  for (CNASession* session : m_setSessions) {
    if (session->pclGetConnection() == connection) session->LockAllRecords();
  }
}

void CNADispatcher::NotifyOtherSessions(CNASession* writer, int32_t kind, intptr_t value1,
                                        intptr_t value2, CNAError*) {
  std::lock_guard<std::mutex> lock(m_muSessions);
  for (CNASession* session : m_setSessions) {
    if (session == writer) continue;
    CNAError fresh;
    session->ApplyNotification(kind, value1, value2, &fresh);
  }
}

void CNADispatcher::NotifySessionsOfDescription(INAConnectionDescription* d, intptr_t value) {
  std::lock_guard<std::mutex> lock(m_muSessions);
  for (CNASession* session : m_setSessions) {
    CNAConnection* connection = session->pclGetConnection();
    if (connection != nullptr && connection->piGetDescription() == d) {
      session->vHook54(reinterpret_cast<intptr_t>(d), value);
    }
  }
}

// ---- forwarding

template <class F>
bool CNADispatcher::bWithSession(H handle, F call) {
  if (handle == nullptr) return false;
  uint32_t context = handle->nGetContextNumber();
  uintptr_t key = NANameKey(handle);
  CallFrame frame;
  CNASession* session = nullptr;
  CNACallRecord* record = frame.pclRecord();
  if (record != nullptr) {
    session = pclEnterCached(context, key, record, frame.nGetLevel());
    if (session != nullptr) frame.Entered();
  }
  if (session == nullptr) {
    session = pclFindSession(handle, context, key);
    if (session == nullptr) return false;
    frame.Hold(session);
  }
  call(session, frame);
  return true;
}

template <class F>
bool CNADispatcher::Forward(H handle, E slot, F call) {
  bool ok = false;
  auto run = [&](CNASession* session, CallFrame& frame) {
    CNAError& local = frame.Error();
    try {
      ok = call(session, &local);
    } catch (CNAError& thrown) {
      local.SetFrom(&thrown);
      ok = false;
    } catch (...) {
      local.SetOutOfMemory(kDispatcherSite, 8);
      ok = false;
    }
    if (!ok) HandOut(slot, local);
  };
  if (!bWithSession(handle, run)) {
    CallFrame frame;
    CNAError& local = frame.Error();
    UnknownHandle(local);
    HandOut(slot, local);
    return false;
  }
  return ok;
}

template <class F>
bool CNADispatcher::OpenLike(H handle, INAConnectionDescription* d, E slot, bool check,
                             bool forget, F call) {
  CNAError local;
  bool created = false;
  bool ok = false;
  CNASession* session = nullptr;
  try {
    session = pclFindOrCreateSession(handle, &created, d, check, &local);
    if (session != nullptr) ok = call(session, &local);
  } catch (CNAError& thrown) {
    local.SetFrom(&thrown);
    ok = false;
  } catch (...) {
    local.SetOutOfMemory(kDispatcherSite, 8);
    ok = false;
  }
  if (!ok && forget && created && session != nullptr) ForgetHandle(handle, session);
  if (!ok) HandOut(slot, local);
  if (session != nullptr) ReleaseBoth(session);
  return ok;
}

bool CNADispatcher::bIsOpen(H h) {
  bool open = false;
  bWithSession(h, [&](CNASession* s, CallFrame&) { open = s->bIsOpen(); });
  return open;
}

bool CNADispatcher::bIsQueryResult(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bIsQueryResult(a2, a3, x); });
}

bool CNADispatcher::bPrepareHandle(H h, INAConnectionDescription* d, intptr_t a3, intptr_t a4,
                                   E e) {
  return OpenLike(h, d, e, false, false,
                  [&](CNASession* s, CNAError* x) { return s->bHook45(a3, a4, x); });
}

bool CNADispatcher::bOpenOrCreate(H h, INAConnectionDescription* d, intptr_t a3, intptr_t a4,
                                  E e) {
  return OpenLike(h, d, e, true, true,
                  [&](CNASession* s, CNAError* x) { return s->bOpenOrCreate(a3, a4, x); });
}

bool CNADispatcher::bCreate(H h, INAConnectionDescription* d, intptr_t a3, E e) {
  return OpenLike(h, d, e, true, true,
                  [&](CNASession* s, CNAError* x) { return s->bCreate(a3, 1, x); });
}

bool CNADispatcher::bOpen(H h, INAConnectionDescription* d, intptr_t a3, intptr_t a4, E e) {
  return OpenLike(h, d, e, true, true,
                  [&](CNASession* s, CNAError* x) { return s->bOpen(a3, a4, x); });
}

bool CNADispatcher::bCloseWithError(H h, intptr_t a2, E e) {
  CNAError local;
  bool ok = bClose(h, a2, &local);
  if (!ok) HandOut(e, local);
  return ok;
}

bool CNADispatcher::bAdd(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bAdd(a2, a3, x); });
}

bool CNADispatcher::bModifyForward(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                                   E e) {
  return Forward(h, e,
                 [&](CNASession* s, CNAError* x) { return s->bModifyForward(a2, a3, a4, a5, x); });
}

bool CNADispatcher::bUnsupported19(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e) {
  return Forward(h, e,
                 [&](CNASession* s, CNAError* x) { return s->bUnsupported15(a2, a3, a4, x); });
}

bool CNADispatcher::bDelete(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bDelete(a2, a3, a4, x, 0); });
}

bool CNADispatcher::bModify(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bModify(a2, a3, a4, a5, x); });
}

bool CNADispatcher::bSeekSameName(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                                  intptr_t a6, intptr_t a7, intptr_t a8, intptr_t a9, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bSeekSameName(Text(a2), a3, a4, a5, a6, a7, a8, a9, x);
  });
}

bool CNADispatcher::bUnsupported23(H h, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bUnsupported16(x); });
}

bool CNADispatcher::bReread(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bReread(a2, a3, a4, a5, x); });
}

bool CNADispatcher::bRead(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5, intptr_t a6,
                          intptr_t a7, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bRead(Text(a2), a3, a4, a5, a6, a7, x);
  });
}

bool CNADispatcher::bReadByName(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                                intptr_t a6, intptr_t a7, intptr_t a8, intptr_t a9, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bReadByName(Text(a2), a3, a4, a5, a6, a7, a8, a9, x);
  });
}

bool CNADispatcher::bUnsupported27(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bUnsupported23(a2, a3, x); });
}

bool CNADispatcher::bHook28(H h, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bHook24(x); });
}

bool CNADispatcher::bUnsupported29(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                                   E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bUnsupported25(a2, a3, a4, a5, x);
  });
}

bool CNADispatcher::bUnsupported30(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bUnsupported26(a2, a3, x); });
}

bool CNADispatcher::bIsAtEnd(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bIsAtEnd(Text(a2), a3, x); });
}

bool CNADispatcher::bIsFoundAndInRange(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bIsFoundAndInRange(Text(a2), a3, a4, x);
  });
}

bool CNADispatcher::bCheckRecordSource(H h, intptr_t a2, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bCheckRecordSource(a2, x); });
}

int64_t CNADispatcher::nHook34(H h) {
  int64_t result = 0;
  bWithSession(h, [&](CNASession* s, CallFrame&) { result = s->nHook37(); });
  return result;
}

bool CNADispatcher::bGetRecordCounter(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bGetRecordCounter(a2, a3, a4, x);
  });
}

bool CNADispatcher::bSetFilter(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                               intptr_t a6, intptr_t a7, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bSetFilter(Text(a2), a3, a4, a5, a6, a7, x);
  });
}

bool CNADispatcher::bChooseKeyAndFilter(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e,
                 [&](CNASession* s, CNAError* x) { return s->bChooseKeyAndFilter(a2, a3, x); });
}

bool CNADispatcher::bLockRecordOf(H h, intptr_t a2, intptr_t, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bLockRecordOf(Text(a2), x); });
}

bool CNADispatcher::bDeactivateFilterOf(H h, intptr_t a2, intptr_t, intptr_t) {
  bWithSession(h, [&](CNASession* s, CallFrame&) { s->DeactivateFilterOf(Text(a2)); });
  return true;
}

bool CNADispatcher::bRestorePosition(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                                     E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bRestorePosition(a2, a3, a4, a5, x);
  });
}

bool CNADispatcher::bForgetPosition(H h, intptr_t a2, intptr_t) {
  bWithSession(h, [&](CNASession* s, CallFrame&) { s->ForgetPosition(a2); });
  return true;
}

bool CNADispatcher::bSavePosition(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e) {
  return Forward(h, e,
                 [&](CNASession* s, CNAError* x) { return s->bSavePosition(a3, Text(a2), a4, x); });
}

bool CNADispatcher::bHook43(H h, intptr_t a2, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError*) { return s->bHook33(a2); });
}

bool CNADispatcher::bCountCurrent(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bCountCurrent(a2, x, a3, a4); });
}

bool CNADispatcher::bGetPositionPerMille(H h, intptr_t a2, intptr_t a3, intptr_t, intptr_t,
                                         E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bGetPositionPerMille(Text(a3), reinterpret_cast<int32_t*>(a2), x);
  });
}

bool CNADispatcher::bGoToPerMille(H h, intptr_t a2, intptr_t a3, intptr_t, intptr_t a5, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bGoToPerMille(Text(a2), static_cast<int32_t>(a3), a5, x);
  });
}

bool CNADispatcher::bReadItemValue(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bReadItemValue(static_cast<int32_t>(a2), reinterpret_cast<CAny*>(a3), x);
  });
}

bool CNADispatcher::bWriteItemValue(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bWriteItemValue(static_cast<int32_t>(a2), reinterpret_cast<const CAny*>(a3), x);
  });
}

CNARowBuffer* CNADispatcher::pclGetCurrentRow(H h, intptr_t a2, E e) {
  CNARowBuffer* row = nullptr;
  Forward(h, e, [&](CNASession* s, CNAError*) {
    row = s->pclGetCurrentRow(reinterpret_cast<CNARowBuffer*>(a2));
    return row != nullptr;
  });
  return row;
}

bool CNADispatcher::bSetCurrentRow(H h, intptr_t a2, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bSetCurrentRow(reinterpret_cast<CNARowBuffer*>(a2), x);
  });
}

intptr_t CNADispatcher::pclGetColumnPartOfItem(H h, intptr_t a2, intptr_t a3, E e) {
  intptr_t part = 0;
  Forward(h, e, [&](CNASession* s, CNAError* x) {
    part = s->pclGetColumnPartOfItem(static_cast<int32_t>(a2), a3, x);
    return part != 0;
  });
  return part;
}

bool CNADispatcher::bItemOperation(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bItemOperation(static_cast<int32_t>(a2), a3, x);
  });
}

bool CNADispatcher::bResetKeyFilter(H h, intptr_t a2, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError*) { return s->bResetKeyFilter(Text(a2)); });
}

bool CNADispatcher::bHandOverCurrent(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e,
                 [&](CNASession* s, CNAError* x) { return s->bHandOverCurrent(Text(a2), a3, x); });
}

bool CNADispatcher::bUnsupported55(H h, intptr_t, intptr_t a3, intptr_t a4, intptr_t a5,
                                   intptr_t a6, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bUnsupported39(a3, a4, a5, a6, x);
  });
}

bool CNADispatcher::bUnsupported56(intptr_t, intptr_t, E e) { return Unsupported(e, 3); }
bool CNADispatcher::bUnsupported57(intptr_t, E e) { return Unsupported(e, 4); }
bool CNADispatcher::bUnsupported58(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                                   intptr_t, intptr_t, E e) {
  return Unsupported(e, 5);
}

bool CNADispatcher::bDropRecordSourceIfAny(H h, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError*) { return s->bDropRecordSourceIfAny(); });
}

bool CNADispatcher::bComparePositions(H h, intptr_t a2, intptr_t a3, intptr_t a4, E e) {
  return Forward(h, e,
                 [&](CNASession* s, CNAError* x) { return s->bComparePositions(a2, a3, a4, x); });
}

bool CNADispatcher::bDeleteAll(H h, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bDeleteAll(x); });
}

bool CNADispatcher::bSaveCurrentRecord(H h, intptr_t a2, E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) { return s->bSaveCurrentRecord(a2, x); });
}

bool CNADispatcher::bReadSavedRecord(H h, intptr_t a2, intptr_t a3, E e) {
  return Forward(h, e,
                 [&](CNASession* s, CNAError* x) { return s->bReadSavedRecord(a2, a3, x); });
}

bool CNADispatcher::bDrop(H h, INAConnectionDescription* d, E e) {
  CNAError local;
  bool ok = false;
  try {
    ok = bDropHandle(h, d, &local);
  } catch (CNAError& thrown) {
    local.SetFrom(&thrown);
  } catch (...) {
    local.SetOutOfMemory(kDispatcherSite, 8);
  }
  if (!ok) HandOut(e, local);
  return ok;
}

bool CNADispatcher::bClose(H h, intptr_t, CNAError* error) {
  CNASession* session = pclFindSession(h);
  if (session == nullptr) return true;
  bool ok = session->bClose(error);
  ForgetHandle(h, session);
  ReleaseBoth(session);
  return ok;
}

bool CNADispatcher::bDropHandle(H handle, INAConnectionDescription* d, CNAError* error) {
  bool created = false;
  CNASession* session = pclFindOrCreateSession(handle, &created, d, true, error);
  if (session == nullptr) return false;
  bool ok = session->bDrop(error);
  ForgetHandle(handle, session);
  ReleaseBoth(session);
  return ok;
}

bool CNADispatcher::bOpenTable(int32_t* open_result, intptr_t a2, H handle,
                               INAConnectionDescription* d, intptr_t a5, intptr_t a6,
                               intptr_t a7, intptr_t a8, CNAError* error) {
  bool created = false;
  CNASession* session = pclFindOrCreateSession(handle, &created, d, false, error);
  if (session == nullptr) return false;
  int32_t opened = 0;
  bool ok = session->bOpenTable(reinterpret_cast<intptr_t>(&opened), a2, a5, a6, a7, a8, error);
  if (open_result != nullptr) *open_result = opened;
  int32_t indicator = session->nGetQueryIndicator();
  if (ok && indicator == 0 && opened != 0) {
    INAFileDescription* description = session->pclGetHostDescription();
    SetHostDescription(description);
    if (description != nullptr) description->Release();
  }
  // A failed open forgets only a session this call made: a handle that
  // was already open stays known to the host.
  if (!ok && indicator == 0 && created) ForgetHandle(handle, session);
  ReleaseBoth(session);
  return ok;
}
