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

const char16_t* Text(intptr_t a) { return reinterpret_cast<const char16_t*>(a); }

bool Blank(const char16_t* text) { return text == nullptr || text[0] == 0; }

// Whether a session left an error object as it was made: nothing recorded,
// so it can serve the next call as it is.
bool bUntouched(CNAError& error) {
  CXError* x = error.pclGetXError();
  return !error.bHasError() && !error.bIsSilent() && x->nGetNiveau() == XERR_NONE &&
         x->nGetIdentifier() == 0 && x->nGetNbInfo() == 0 && x->nGetNbMessageId() == 0 &&
         x->nGetSystemError() == 0 && x->nGetValeur() == 0 && Blank(x->pszGetUserMessage()) &&
         Blank(x->pszGetDebugMessage()) && Blank(x->pszGetSystemMessage()) &&
         Blank(x->pszGetComplement()) && Blank(x->pszGetFichier());
}

// The error objects forwarded calls hand to sessions: each thread keeps one
// per nesting level of forwarded calls (a session may call a dispatcher),
// made at its first use and wiped only after a call wrote into it, so that
// a call that succeeds builds no error object. Deeper calls than the
// levels kept get one of their own.
constexpr int kKeptLevels = 4;

struct ThreadErrors {
  CNAError aclErrors[kKeptLevels];
  int nDepth = 0;
};

ThreadErrors& Errors() {
  thread_local ThreadErrors errors;
  return errors;
}

class CallError {
 public:
  CallError() : m_pErrors(&Errors()) {
    if (m_pErrors->nDepth < kKeptLevels) {
      m_pError = &m_pErrors->aclErrors[m_pErrors->nDepth++];
    } else {
      m_pOwn.reset(new CNAError());
      m_pError = m_pOwn.get();
    }
  }
  ~CallError() {
    if (m_pOwn != nullptr) return;
    if (!bUntouched(*m_pError)) {
      m_pError->Reset();
      m_pError->SetSilent(false);
    }
    --m_pErrors->nDepth;
  }
  CallError(const CallError&) = delete;
  CallError& operator=(const CallError&) = delete;
  CNAError& Get() { return *m_pError; }

 private:
  ThreadErrors* m_pErrors;
  CNAError* m_pError = nullptr;
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

void CNADispatcher::ClearCache() {
  CNASession* session = nullptr;
  CNARegistry* registry = nullptr;
  {
    std::lock_guard<CNASpinLock> lock(m_muCache);
    session = m_pCachedSession;
    registry = m_pCachedRegistry;
    m_pCachedSession = nullptr;
    m_pCachedRegistry = nullptr;
  }
  if (session != nullptr) ReleaseBoth(session);
  if (registry != nullptr) ReleaseBoth(registry);
}

void CNADispatcher::ClearCacheIf(CNASession* target) {
  CNASession* session = nullptr;
  CNARegistry* registry = nullptr;
  {
    std::lock_guard<CNASpinLock> lock(m_muCache);
    if (m_pCachedSession != target) return;
    session = m_pCachedSession;
    registry = m_pCachedRegistry;
    m_pCachedSession = nullptr;
    m_pCachedRegistry = nullptr;
  }
  if (session != nullptr) ReleaseBoth(session);
  if (registry != nullptr) ReleaseBoth(registry);
}

CNASession* CNADispatcher::pclFindSession(H handle) {
  if (handle == nullptr) return nullptr;
  uint32_t context = handle->nGetContextNumber();
  uintptr_t key = NANameKey(handle);
  {
    std::lock_guard<CNASpinLock> lock(m_muCache);
    if (m_pCachedSession != nullptr && m_nCachedContext == context && m_nCachedKey == key &&
        m_pCachedRegistry->nGetGeneration() == m_nCachedGeneration) {
      return NAAddRef(m_pCachedSession);
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
  CNASession* old_session = nullptr;
  CNARegistry* old_registry = nullptr;
  {
    std::lock_guard<CNASpinLock> lock(m_muCache);
    old_session = m_pCachedSession;
    old_registry = m_pCachedRegistry;
    m_nCachedContext = context;
    m_nCachedKey = key;
    m_pCachedSession = NAAddRef(session);
    m_pCachedRegistry = registry;  // the lookup's reference moves here
    m_nCachedGeneration = generation;
  }
  if (old_session != nullptr) ReleaseBoth(old_session);
  if (old_registry != nullptr) ReleaseBoth(old_registry);
  return session;
}

CNASession* CNADispatcher::pclUseSession(H handle, bool* use) {
  *use = false;
  if (handle == nullptr) return nullptr;
  uint32_t context = handle->nGetContextNumber();
  uintptr_t key = NANameKey(handle);
  {
    std::lock_guard<CNASpinLock> lock(m_muCache);
    if (m_pCachedSession != nullptr && m_nCachedContext == context && m_nCachedKey == key &&
        m_pCachedRegistry->nGetGeneration() == m_nCachedGeneration) {
      // The cache's own reference keeps it while the lock is held.
      AddUse(m_pCachedSession);
      *use = true;
      return m_pCachedSession;
    }
  }
  return pclFindSession(handle);
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
bool CNADispatcher::Forward(H handle, E slot, F call) {
  CallError lease;
  CNAError& local = lease.Get();
  bool use = false;
  CNASession* session = pclUseSession(handle, &use);
  bool ok = false;
  if (session == nullptr) {
    UnknownHandle(local);
  } else {
    try {
      ok = call(session, &local);
    } catch (CNAError& thrown) {
      local.SetFrom(&thrown);
      ok = false;
    } catch (...) {
      local.SetOutOfMemory(kDispatcherSite, 8);
      ok = false;
    }
  }
  if (!ok) HandOut(slot, local);
  if (session != nullptr) {
    if (use) {
      ReleaseUse(session);
    } else {
      ReleaseBoth(session);
    }
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
  CNASession* session = pclFindSession(h);
  if (session == nullptr) return false;
  bool open = session->bIsOpen();
  ReleaseBoth(session);
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
  CNASession* session = pclFindSession(h);
  if (session == nullptr) return 0;
  int64_t result = session->nHook37();
  ReleaseBoth(session);
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
  CNASession* session = pclFindSession(h);
  if (session == nullptr) return true;
  session->DeactivateFilterOf(Text(a2));
  ReleaseBoth(session);
  return true;
}

bool CNADispatcher::bRestorePosition(H h, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t a5,
                                     E e) {
  return Forward(h, e, [&](CNASession* s, CNAError* x) {
    return s->bRestorePosition(a2, a3, a4, a5, x);
  });
}

bool CNADispatcher::bForgetPosition(H h, intptr_t a2, intptr_t) {
  CNASession* session = pclFindSession(h);
  if (session == nullptr) return true;
  session->ForgetPosition(a2);
  ReleaseBoth(session);
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
