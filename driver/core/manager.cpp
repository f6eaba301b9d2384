#include "driver/core/manager.h"

#include "driver/core/dispatcher.h"
#include "driver/core/session.h"
#include "driver/sql/column.h"
#include "driver/sql/descriptor.h"
#include "driver/sql/item.h"
#include "driver/sql/table_access.h"
#include "driver/sql/value_converter.h"

#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/registry.h"
#include "driver/core/support/hash_context.h"
#include "errors/catalogue.h"
#include "support/any.h"
#include "support/platform/format.h"

namespace {

std::atomic<CNAManager*> g_pManager{nullptr};

struct LabelEntry {
  uint32_t nMessage;
  const char16_t* pszFallback;
};

const LabelEntry kLabels[kTraceLabelCount] = {
    {25676, u"Texte de la requête :"},
    {25679, u"Nombre de paramètres :"},
    {25678, u"Paramètre :"},
    {25675, u"Type Velisc"},
    {25680, u"Type ADO"},
    {25670, u"Valeur"},
    {25674, u"Echec de la conversion de la valeur en texte."},
    {25810, u"Informations de bind des paramètres :"},
    {25846, u"DataSource : "},
    {25869, u"Native Library : "},
    {25849, u"Provider : "},
    {25847, u"Utilisateur : "},
    {25848, u"Database : "},
    {25834, u"Connexion Timeout : "},
    {25835, u"Command Timeout : "},
    {25836, u"Lock Timeout : "},
    {25837, u"Cursor Position : "},
    {25838, u"Unicode actived : "},
    {25839, u"Lock Tag : "},
    {25844, u"ZQ Page Code : "},
    {25845, u"Connexion Page Code: "},
};

const char16_t* OrNull(const char16_t* text) {
  return text != nullptr ? text : u"NULL";
}

}  // namespace

uint32_t NATraceLabelMessage(NATraceLabel label) { return kLabels[label].nMessage; }
const char16_t* NADefaultTraceLabel(NATraceLabel label) { return kLabels[label].pszFallback; }

CNAManager* NAGetManager() { return g_pManager.load(); }
void NASetManager(CNAManager* manager) { g_pManager.store(manager); }

CNAManager::CNAManager() = default;

namespace {

// The dispatcher table's entry: holds one user of the dispatcher, dropped
// when the entry leaves the table.
class CNADispatcherEntry : public CNARefCounted {
 public:
  explicit CNADispatcherEntry(CNADispatcher* dispatcher) : m_pDispatcher(dispatcher) {
    dispatcher->AddUser();
  }
  ~CNADispatcherEntry() override { m_pDispatcher->nRemoveUser(); }
  CNADispatcher* pclGet() const { return m_pDispatcher; }

 private:
  CNADispatcher* m_pDispatcher;
};

}  // namespace

template <class F>
static void WalkDispatchers(CNAObjectTable& table, F f) {
  uint32_t cursor = 0;
  uintptr_t key = 0;
  CNARefCounted* object = nullptr;
  while (table.bNext(&cursor, &key, &object)) {
    f(static_cast<CNADispatcherEntry*>(object)->pclGet());
    ReleaseBoth(object);
  }
}

CNAManager::~CNAManager() {
  // Contexts first: closing their sessions releases connections.
  {
    std::vector<CNARegistry*> registries;
    {
      std::lock_guard<std::mutex> lock(m_muContexts);
      uint32_t cursor = 0;
      uintptr_t key = 0;
      CNARefCounted* object = nullptr;
      while (m_tabContexts.bNext(&cursor, &key, &object)) {
        registries.push_back(static_cast<CNARegistry*>(object));
      }
      m_tabContexts.Clear();
    }
    for (CNARegistry* registry : registries) {
      registry->CloseAll();
      registry->ForgetManager();
      ReleaseBoth(registry);
    }
  }
  {
    std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
    // Dispatchers the host still holds live on without their manager.
    WalkDispatchers(m_tabDispatchers, [](CNADispatcher* d) { d->ForgetManager(); });
    m_tabDispatchers.Clear();
  }
  {
    std::vector<CNAConnection*> connections;
    {
      std::lock_guard<std::recursive_mutex> lock(m_muConnections);
      uint32_t cursor = 0;
      uintptr_t key = 0;
      CNARefCounted* object = nullptr;
      while (m_tabConnections.bNext(&cursor, &key, &object)) {
        connections.push_back(static_cast<CNAConnection*>(object));
      }
      m_tabConnections.Clear();
    }
    // Connections still used elsewhere live on without their manager.
    for (CNAConnection* connection : connections) {
      connection->ForgetManager();
      ReleaseBoth(connection);
    }
  }
  CNASQLService* service = m_pService.exchange(nullptr);
  if (service != nullptr) HoldService(service, false);
  vReserved68();
  CNAManager* self = this;
  g_pManager.compare_exchange_strong(self, nullptr);
}

// ---- counting

int32_t CNAManager::AddRef() { return m_nReferences.fetch_add(1) + 1; }

int32_t CNAManager::Release() {
  int32_t left = m_nReferences.fetch_sub(1) - 1;
  if (left == 0) DeletingDestructor();
  return left;
}

void CNAManager::DeletingDestructor() { delete this; }

// ---- labels

void CNAManager::LoadTraceLabels(const qg::CatalogueTable* catalogue) {
  if (!m_astrLabels[0].bEstVide()) return;
  for (int i = 0; i < kTraceLabelCount; ++i) {
    CTString text;
    bool found = catalogue != nullptr
                     ? bChargeMessageLangue(kLabels[i].nMessage, text, {0, 0},
                                                          catalogue)
                     : bChargeMessage(kLabels[i].nMessage, text, {0, 0});
    m_astrLabels[i] = (found && !text.bEstVide()) ? text : CTString(kLabels[i].pszFallback);
  }
}

const char16_t* CNAManager::pszGetTraceLabel(NATraceLabel label) const {
  return m_astrLabels[label].bEstVide() ? kLabels[label].pszFallback
                                        : m_astrLabels[label].pszGet();
}

// ---- error out

void CNAManager::HandToHost(INAError** slot, CNAError& local) {
  NAHandErrorToHost(slot, &local, slot != nullptr ? pclNewErrorStatus() : nullptr);
}

CNAError* CNAManager::pclNewErrorStatus() { return new (std::nothrow) CNAError(); }

void CNAManager::UnknownConnection(CNAError& error, INAConnectionDescription* description,
                                   uint32_t minor) {
  const char16_t* name = description != nullptr ? description->pszGetName() : nullptr;
  error.SetErrorMessage(0, 5, minor, nullptr, kNAErrorUnknownConnection,
                        name != nullptr ? name : u"");
}

template <class F>
bool CNAManager::bWithFoundConnection(INAConnectionDescription* description, INAError** slot,
                                      uint32_t minor, F body) {
  CNAError local;
  CNAConnection* connection = pclFindConnection(description);
  bool ok = false;
  if (connection == nullptr) {
    UnknownConnection(local, description, minor);
  } else {
    ok = body(connection, local);
    bReleaseConnection(connection);
  }
  if (!ok) HandToHost(slot, local);
  return ok;
}

// ---- keys and sharing

uint64_t CNAManager::nHashPassword(const char16_t* password) {
  uint64_t h = 0x0003FFFFFFFFFFE5ull;
  if (password != nullptr) {
    for (const char16_t* p = password; *p != 0; ++p) h = h * 257 + *p;
  }
  return h;
}

void CNAManager::BuildConnectionKey(INAConnectionDescription* d, CTString* key) {
  uint32_t context = m_bPerContextConnections ? d->nGetContextNumber() : 0;
  std::u16string text = qg::FormatString(
      u"Context=%u;Connection=%s;Provider=%s;ExtendedInformation=%s;Source=%s;Database=%s;"
      u"user id=%s;password=%I64u;access=%s",
      context, OrNull(d->pszGetName()), OrNull(d->pszGetProvider()),
      OrNull(d->pszGetExtendedInfo()), OrNull(d->pszGetDataSource()),
      OrNull(d->pszGetDatabase()), OrNull(d->pszGetUser()), nHashPassword(d->pszGetPassword()),
      d->nGetAccessMode() == 1 ? u"R" : u"RW");
  key->Set(text.c_str(), text.size());
}

void CNAManager::BuildDispatcherKey(INAConnectionDescription* d, const char16_t* table,
                                    CTString* key) {
  std::u16string text = qg::FormatString(
      u"Table=%s;Provider=%s;ExtendedInformation=%s;Source=%s;Database=%s;user id=%s;"
      u"password=%I64u;access=%s",
      OrNull(table), OrNull(d->pszGetProvider()), OrNull(d->pszGetExtendedInfo()),
      OrNull(d->pszGetDataSource()), OrNull(d->pszGetDatabase()), OrNull(d->pszGetUser()),
      nHashPassword(d->pszGetPassword()), d->nGetAccessMode() == 1 ? u"R" : u"RW");
  key->Set(text.c_str(), text.size());
}

void CNAManager::BuildContextDispatcherKey(uint32_t context, const char16_t* table,
                                           const char16_t* connection_key, CTString* key) {
  std::u16string text =
      qg::FormatString(u"CTX=%u;Table=%s;%s", context, OrNull(table), OrNull(connection_key));
  key->Set(text.c_str(), text.size());
}

namespace {

bool SameText(const char16_t* a, const char16_t* b) {
  if (a == nullptr) a = u"";
  if (b == nullptr) b = u"";
  return std::char_traits<char16_t>::length(a) == std::char_traits<char16_t>::length(b) &&
         std::char_traits<char16_t>::compare(a, b, std::char_traits<char16_t>::length(a)) == 0;
}

// A key hit shares only when the user id and the clear password are the
// same: the key compares them ignoring case and through a weak hash.
bool SameCredentials(CNAConnection* connection, INAConnectionDescription* d) {
  if (!SameText(connection->pszGetUser(), d->pszGetUser())) return false;
  CXYString<char16_t> clear = connection->clGetPassword().clGetClearText();
  return SameText(clear.pszGet(), d->pszGetPassword());
}

}  // namespace

namespace {

// The key under which a connection is filed when the plain key is taken by
// another login (a user id differing in case only, or a password of equal
// hash): the user id's code units and the password's SHA-256, in hex.
void ExactKey(const CTString& key, INAConnectionDescription* d, CTString* out) {
  static const char16_t kHex[] = u"0123456789abcdef";
  std::u16string text(key.pszGet());
  text += u";exact=";
  for (const char16_t* p = d->pszGetUser(); p != nullptr && *p != 0; ++p) {
    for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(*p >> shift) & 15];
  }
  text += u':';
  CNAHashContext sha;
  const char16_t* password = d->pszGetPassword();
  if (password != nullptr) {
    sha.Update(password, std::char_traits<char16_t>::length(password) * sizeof(char16_t));
  }
  uint8_t digest[CNAHashContext::kMaxDigestSize];
  sha.Final(digest);
  for (int i = 0; i < sha.nGetDigestSize(); ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  out->Set(text.c_str(), text.size());
}

}  // namespace

CNAConnection* CNAManager::pclFindConnection(INAConnectionDescription* description) {
  if (description == nullptr) return nullptr;
  CTString key;
  BuildConnectionKey(description, &key);
  std::lock_guard<std::recursive_mutex> lock(m_muConnections);
  CNARefCounted* object = nullptr;
  if (!m_tabConnections.bFind(key.pszGet(), &object)) return nullptr;
  auto* connection = static_cast<CNAConnection*>(object);
  if (SameCredentials(connection, description)) return connection;
  ReleaseBoth(connection);
  CTString exact;
  ExactKey(key, description, &exact);
  return m_tabConnections.bFind(exact.pszGet(), &object) ? static_cast<CNAConnection*>(object)
                                                         : nullptr;
}

CNAConnection* CNAManager::pclResolveConnection(INAConnectionDescription* description,
                                                CNAError* error) {
  if (description == nullptr) return nullptr;
  CTString key;
  BuildConnectionKey(description, &key);
  std::lock_guard<std::recursive_mutex> lock(m_muConnections);
  CNARefCounted* object = nullptr;
  if (m_tabConnections.bFind(key.pszGet(), &object)) {
    auto* connection = static_cast<CNAConnection*>(object);
    if (SameCredentials(connection, description)) return connection;
    // Same key, another login: its own connection, under the exact key.
    ReleaseBoth(connection);
    ExactKey(CTString(key), description, &key);
    if (m_tabConnections.bFind(key.pszGet(), &object)) {
      return static_cast<CNAConnection*>(object);
    }
  }
  CNAConnection* connection = pclNewConnection(key.pszGet(), description);
  if (connection == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(5, 8);
    return nullptr;
  }
  m_tabConnections.bAdd(connection->m_strKey.pszGet(), connection);
  return NAAddRef(connection);
}

bool CNAManager::RegisterConnection(CNAConnection* connection) {
  std::lock_guard<std::recursive_mutex> lock(m_muConnections);
  CNARefCounted* found = nullptr;
  if (m_tabConnections.bFind(connection->m_strKey.pszGet(), &found)) {
    ReleaseBoth(found);
    return false;
  }
  return m_tabConnections.bAdd(connection->m_strKey.pszGet(), connection);
}

bool CNAManager::bReleaseConnection(CNAConnection* connection) {
  if (connection == nullptr) return false;
  CNAConnection* to_close = nullptr;
  bool still = true;
  {
    std::lock_guard<std::recursive_mutex> lock(m_muConnections);
    CNARefCounted* filed = nullptr;
    bool mine = m_tabConnections.bFind(connection->m_strKey.pszGet(), &filed) &&
                filed == connection;
    if (filed != nullptr) ReleaseBoth(filed);
    // Not filed here: the caller's reference may be the last one, so the
    // object is not touched after its release.
    ReleaseBoth(connection);
    if (!mine) return false;
    if (connection->nGetHolders() == 1 && connection->bIsClosable()) {
      // Unfile under the lock, close after it.
      to_close = NAAddRef(connection);
      m_tabConnections.bRemove(connection->m_strKey.pszGet());
      still = false;
    }
  }
  if (to_close != nullptr) {
    if (to_close->bIsOpen()) {
      CNAError discarded;
      to_close->bClose(&discarded);
    }
    ReleaseBoth(to_close);
  }
  return still;
}

bool CNAManager::bShouldShareConnection(const char16_t*, INAConnectionDescription*) {
  return true;
}

bool CNAManager::bOpenNewConnection(const char16_t* key, INAConnectionDescription* description,
                                    int32_t* serial, CNAError* error) {
  std::lock_guard<std::recursive_mutex> lock(m_muConnections);
  CNAConnection* connection = pclNewConnection(key, description);
  if (connection == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(5, 9);
    return false;
  }
  NAAddRef(connection);
  if (!RegisterConnection(connection)) {
    ReleaseBoth(connection);
    if (error != nullptr) error->SetErrorMessage(0, 5, 9, nullptr, kNAErrorUnknownConnection, key);
    return false;
  }
  bool ok = connection->bOpen(error, 0);
  if (ok) {
    connection->m_bClosableWhenUnused = false;
    connection->m_bOpenedByCaller = true;
    if (serial != nullptr) *serial = connection->m_nSerial;
  } else {
    m_tabConnections.bRemove(connection->m_strKey.pszGet());
  }
  // The caller's hold is the "opened by the caller" reference when open.
  if (!ok) ReleaseBoth(connection);
  return ok;
}

CNAConnection* CNAManager::pclGetConnectionByNumber(int32_t serial) {
  std::lock_guard<std::recursive_mutex> lock(m_muConnections);
  uint32_t cursor = 0;
  uintptr_t key = 0;
  CNARefCounted* object = nullptr;
  CNAConnection* result = nullptr;
  while (m_tabConnections.bNext(&cursor, &key, &object)) {
    auto* connection = static_cast<CNAConnection*>(object);
    if (result == nullptr && connection->m_nSerial == serial) {
      result = connection;
    } else {
      ReleaseBoth(object);
    }
  }
  return result;
}

namespace {

// Drops the reference an explicit open took, once.
void DropOpenedReference(CNAManager* manager, CNAConnection* connection) {
  bool opened;
  {
    CNALock lock(connection->pGetLock());
    opened = connection->m_bOpenedByCaller;
    connection->m_bOpenedByCaller = false;
    connection->m_bClosableWhenUnused = true;
  }
  if (opened) manager->bReleaseConnection(connection);
}

}  // namespace

bool CNAManager::DisconnectByKey(int32_t serial) {
  CNAConnection* connection = pclGetConnectionByNumber(serial);
  if (connection == nullptr) return false;
  NAAddRef(connection);
  bool still = bReleaseConnection(connection);
  if (still) DropOpenedReference(this, connection);
  bReleaseConnection(connection);
  return true;
}

uint32_t CNAManager::nGetConnectionCount() {
  std::lock_guard<std::recursive_mutex> lock(m_muConnections);
  return m_tabConnections.nGetCount();
}

// ---- slots on connections

namespace {

bool OpenedByCaller(CNAConnection* connection) {
  CNALock lock(connection->pGetLock());
  return connection->m_bOpenedByCaller;
}

}  // namespace

bool CNAManager::bConnect(INAConnectionDescription* description, INAError** error) {
  return bOpenConnection(description, 0, error);
}

bool CNAManager::bOpenConnection(INAConnectionDescription* description, intptr_t,
                                 INAError** slot) {
  CNAError local;
  bool ok = false;
  {
    std::lock_guard<std::recursive_mutex> lock(m_muConnections);
    CNAConnection* connection = pclResolveConnection(description, &local);
    if (connection != nullptr) {
      ok = connection->bOpen(&local, 0);
      if (ok) {
        CNALock connection_lock(connection->pGetLock());
        connection->m_bClosableWhenUnused = false;
        if (!connection->m_bOpenedByCaller) {
          // The explicit open's reference, taken once.
          connection->m_bOpenedByCaller = true;
          NAAddRef(connection);
        }
      } else if (!OpenedByCaller(connection) && connection->nGetHolders() <= 2) {
        CNARefCounted* filed = nullptr;
        if (m_tabConnections.bFind(connection->m_strKey.pszGet(), &filed)) {
          ReleaseBoth(filed);
          if (filed == connection) m_tabConnections.bRemove(connection->m_strKey.pszGet());
        }
      }
      ReleaseBoth(connection);
    }
  }
  if (!ok) HandToHost(slot, local);
  return ok;
}

bool CNAManager::bDisconnect(INAConnectionDescription* description, INAError**) {
  CNAConnection* connection = pclFindConnection(description);
  if (connection == nullptr) return true;
  DropOpenedReference(this, connection);
  bReleaseConnection(connection);
  return true;
}

bool CNAManager::bBeginTransaction(INAConnectionDescription* description, const char16_t* name,
                                   INAError** slot) {
  CNAError local;
  CNAConnection* connection = pclResolveConnection(description, &local);
  bool ok = connection != nullptr && connection->bBeginTransaction(&local, name);
  if (connection != nullptr) bReleaseConnection(connection);
  if (!ok) HandToHost(slot, local);
  return ok;
}

bool CNAManager::bCommitTransaction(INAConnectionDescription* description, const char16_t* name,
                                    INAError** slot) {
  return bWithFoundConnection(description, slot, 4, [&](CNAConnection* c, CNAError& e) {
    bool ok = c->bCommitTransaction(&e, name);
    if (c->bTransactionEndResetsHandles()) ResetConnectionHandles(c);
    return ok;
  });
}

bool CNAManager::bRollbackTransaction(INAConnectionDescription* description,
                                      const char16_t* name, INAError** slot) {
  return bWithFoundConnection(description, slot, 5, [&](CNAConnection* c, CNAError& e) {
    bool ok = c->bRollbackTransaction(&e, name);
    if (c->bTransactionEndResetsHandles()) ResetConnectionHandles(c);
    return ok;
  });
}

bool CNAManager::bSavepoint(INAConnectionDescription* description, const char16_t* name,
                            INAError** slot) {
  return bWithFoundConnection(description, slot, 12, [&](CNAConnection* c, CNAError& e) {
    return c->bSavepoint(&e, name);
  });
}

bool CNAManager::bRollbackToSavepoint(INAConnectionDescription* description,
                                      const char16_t* name, INAError** slot) {
  return bWithFoundConnection(description, slot, 13, [&](CNAConnection* c, CNAError& e) {
    bool ok = c->bRollbackToSavepoint(&e, name);
    if (c->bTransactionEndResetsHandles()) ResetConnectionHandles(c);
    return ok;
  });
}

bool CNAManager::bLockTable(INAConnectionDescription* description, const char16_t* table,
                            INAError** slot) {
  return bWithFoundConnection(description, slot, 1, [&](CNAConnection* c, CNAError& e) {
    return c->bOpen(&e, 0) && c->bLockRecords(&e, table);
  });
}

bool CNAManager::bRunConnection23(INAConnectionDescription* description, intptr_t,
                                  INAError** slot) {
  return bWithFoundConnection(description, slot, 2, [&](CNAConnection* c, CNAError& e) {
    return c->bOpen(&e, 0) && c->vb23();
  });
}

bool CNAManager::bUnsupportedItem(INAConnectionDescription* description, const char16_t* item,
                                  INAError** slot) {
  return bWithFoundConnection(description, slot, 3, [&](CNAConnection* c, CNAError& e) {
    return c->bUnsupported(&e, item);
  });
}

bool CNAManager::bNotSupported23(INAError** slot) {
  CNAError local;
  local.SetErrorMessage(0, 5, 6, nullptr, kNAErrorNotSupported);
  HandToHost(slot, local);
  return false;
}

bool CNAManager::bNotSupported29(INAError** slot) {
  CNAError local;
  local.SetErrorMessage(0, 5, 7, nullptr, kNAErrorNotSupported);
  HandToHost(slot, local);
  return false;
}

bool CNAManager::bNativeTypes(INAConnectionDescription* description, CAny* result, intptr_t,
                              INAError** slot) {
  // The service's operation takes the connection's serial number but gives
  // the same list for every connection.
  CNAConnection* connection = pclFindConnection(description);
  if (connection != nullptr) bReleaseConnection(connection);
  CNASQLService* service = pclGetSQLService();
  if (service == nullptr) return bEmptyText(result);
  CNAError local;
  bool ok = bServiceNativeTypes(service, result, &local);
  if (!ok) HandToHost(slot, local);
  return ok;
}

bool CNAManager::bEmptyText(CAny* result) {
  if (result != nullptr) result->SetPSTRW(u"");
  return true;
}

bool CNAManager::bListTables(INAConnectionDescription* description, CAny* out, uint32_t flags,
                             const char16_t* filter, INAError** slot) {
  CNAError local;
  CNAConnection* connection = pclResolveConnection(description, &local);
  bool ok = connection != nullptr && bListTablesOn(connection, out, flags, filter, &local);
  if (connection != nullptr) bReleaseConnection(connection);
  if (!ok) HandToHost(slot, local);
  return ok;
}

bool CNAManager::bForeignKeys(INAConnectionDescription* description, CAny* out,
                              const char16_t* table, uint32_t flags, INAError** slot) {
  CNAError local;
  CNAConnection* connection = pclResolveConnection(description, &local);
  bool ok = connection != nullptr && bForeignKeysOn(connection, out, table, flags, &local);
  if (connection != nullptr) bReleaseConnection(connection);
  if (!ok) HandToHost(slot, local);
  return ok;
}

bool CNAManager::bDatabaseList(INAConnectionDescription* description, CAny* result,
                               INAError** slot) {
  CNAError local;
  CNAConnection* connection = pclResolveConnection(description, &local);
  bool ok = connection != nullptr && bGetDatabaseList(connection, result, &local);
  if (connection != nullptr) bReleaseConnection(connection);
  if (!ok) HandToHost(slot, local);
  return ok;
}

CNATableDescription* CNAManager::pclGetTableDescription(INAConnectionDescription* description,
                                                        const char16_t* table,
                                                        INAError** slot) {
  CNAError local;
  CNATableDescription* result = nullptr;
  CNAConnection* connection = pclResolveConnection(description, &local);
  if (connection != nullptr && connection->bOpen(&local, 0)) {
    result = pclGetTableDescriptionByName(connection, table, &local);
  }
  if (connection != nullptr) bReleaseConnection(connection);
  if (result == nullptr) HandToHost(slot, local);
  return result;
}

bool CNAManager::bTableExists(INAConnectionDescription* description, const char16_t* table,
                              int32_t* exists, INAError** slot) {
  CNAError local;
  bool ok = false;
  if (exists != nullptr) *exists = 0;
  CNAConnection* connection = pclResolveConnection(description, &local);
  if (connection != nullptr && connection->bOpen(&local, 0)) {
    ok = bTableExistsOn(connection, table, exists, &local);
  }
  if (connection != nullptr) bReleaseConnection(connection);
  if (!ok) HandToHost(slot, local);
  return ok;
}

bool CNAManager::bTableExistsOn(CNAConnection* connection, const char16_t* table,
                                int32_t* exists, CNAError* error) {
  CNAError lookup;
  CNATableDescription* found = pclGetTableDescriptionByName(connection, table, &lookup);
  if (found != nullptr) {
    ReleaseTableDescription(found);
    if (exists != nullptr) *exists = 1;
    return true;
  }
  if (exists != nullptr) *exists = 0;
  if (lookup.nGetErrorIdentifier() == 30 || lookup.nGetCode() == 30) return true;
  if (error != nullptr) *error = lookup;
  return false;
}

CNATableDescription* CNAManager::pclGetTableDescriptionByName(CNAConnection*,
                                                              const char16_t*,
                                                              CNAError* error) {
  NASetErrorMessage(error, 0, 5, 11, nullptr, kNAErrorNotSupported);
  return nullptr;
}

bool CNAManager::bGetDatabaseList(CNAConnection* connection, CAny*, CNAError* error) {
  if (pclGetSQLService() == nullptr) return false;
  if (!connection->bOpen(error, 0)) return false;
  NASetErrorMessage(error, 0, 5, 14, nullptr, kNAErrorNotSupported);
  return false;
}

bool CNAManager::bListTablesOn(CNAConnection* connection, CAny* out, uint32_t flags,
                               const char16_t* filter, CNAError* error) {
  if (!connection->bOpen(error, 0)) return false;
  CNASQLService* service = pclGetSQLService();
  if (service == nullptr) return false;
  return bServiceListTables(service, connection, out, flags, filter, error);
}

bool CNAManager::bForeignKeysOn(CNAConnection* connection, CAny* out, const char16_t* table,
                                uint32_t flags, CNAError* error) {
  if (!connection->bOpen(error, 0)) return false;
  CNASQLService* service = pclGetSQLService();
  if (service == nullptr) return true;
  return bServiceForeignKeys(service, connection, out, table, flags, error);
}

bool CNAManager::bServiceNativeTypes(CNASQLService*, CAny*, CNAError* error) {
  NASetErrorMessage(error, 0, 5, 10, nullptr, kNAErrorNotSupported);
  return false;
}

bool CNAManager::bServiceListTables(CNASQLService*, CNAConnection*, CAny*, uint32_t,
                                    const char16_t*, CNAError* error) {
  NASetErrorMessage(error, 0, 5, 15, nullptr, kNAErrorNotSupported);
  return false;
}

bool CNAManager::bServiceForeignKeys(CNASQLService*, CNAConnection*, CAny*, const char16_t*,
                                     uint32_t, CNAError* error) {
  NASetErrorMessage(error, 0, 5, 16, nullptr, kNAErrorNotSupported);
  return false;
}

// ---- factories of the generic objects

CNAValueConverter* CNAManager::pclNewValueConverterObject() {
  return new (std::nothrow) CNAValueConverter();
}

CNAItem* CNAManager::pclNewColumnItem() { return new (std::nothrow) CNAItem(); }

CNADescriptor* CNAManager::pclNewDescriptorObject() { return new (std::nothrow) CNADescriptor(); }

CNAColumn* CNAManager::pclNewColumn() { return new (std::nothrow) CNAColumn(); }

// ---- services

CNASQLService* CNAManager::pclGetSQLService() {
  CNASQLService* service = m_pService.load();
  if (service != nullptr) return service;
  CNASQLService* made = pclNewSQLService();
  if (made == nullptr) return nullptr;
  HoldService(made, true);
  CNASQLService* expected = nullptr;
  if (m_pService.compare_exchange_strong(expected, made)) return made;
  HoldService(made, false);  // lost the race
  return expected;
}

CNASQLService* CNAManager::pclGetService(int32_t identifier) {
  if (identifier != 1) return nullptr;
  CNASQLService* service = pclGetSQLService();
  if (service != nullptr) HoldService(service, true);
  return service;
}

// ---- plain slots

void CNAManager::SetTwoIntegers(int32_t a, int32_t b) {
  m_nInteger1 = a;
  m_nInteger2 = b;
}
void CNAManager::SetOneInteger(int32_t value) { m_nInteger3 = value; }
void CNAManager::SetPerContextConnections(bool value) { m_bPerContextConnections = value; }

bool CNAManager::bAskDispatchers(intptr_t a, intptr_t b, intptr_t c) {
  // Every filed dispatcher answers; with none the answer is true.
  std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
  bool all = true;
  WalkDispatchers(m_tabDispatchers, [&](CNADispatcher* d) { all = d->vb15(a, b, c) && all; });
  return all && bAskFiledDispatchers();
}

void CNAManager::NotifyDescription(INAConnectionDescription* description, intptr_t value) {
  std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
  WalkDispatchers(m_tabDispatchers,
                  [&](CNADispatcher* d) { d->NotifySessionsOfDescription(description, value); });
}

void CNAManager::ResetConnectionHandles(CNAConnection* connection) {
  std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
  WalkDispatchers(m_tabDispatchers, [&](CNADispatcher* d) { d->ResetHandles(connection); });
}

uint32_t CNAManager::nGetDispatcherCount() {
  std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
  return m_tabDispatchers.nGetCount();
}

CNADispatcher* CNAManager::pclNewDispatcher(const char16_t* name, CNAError* error) {
  CNADispatcher* dispatcher = new (std::nothrow) CNADispatcher(this, name, nullptr);
  if (dispatcher == nullptr && error != nullptr) error->SetOutOfMemory(5, 62);
  return dispatcher;
}

CNARegistryChild* CNAManager::pclNewSession(INAFileDescription* description,
                                            CNAConnection* connection, CNAError* error) {
  CNASession* session = new (std::nothrow) CNASession(description, connection);
  if (session == nullptr && error != nullptr) error->SetOutOfMemory(5, 50);
  return session;
}

CNATableAccess* CNAManager::pclNewTableAccess(CNARegistryChild* session,
                                              CNAConnection* connection) {
  return new (std::nothrow) CNATableAccess(static_cast<CNASession*>(session), connection);
}

CNADispatcher* CNAManager::pclFindOrCreateDispatcherByKey(const CTString& key,
                                                          INAFileDescription* description,
                                                          bool create, bool* created,
                                                          CNAError* error) {
  if (created != nullptr) *created = false;
  auto find = [&]() -> CNADispatcher* {
    CNARefCounted* object = nullptr;
    if (!m_tabDispatchers.bFind(key.pszGet(), &object)) return nullptr;
    CNADispatcher* found = static_cast<CNADispatcherEntry*>(object)->pclGet();
    found->AddUser();
    ReleaseBoth(object);
    return found;
  };
  {
    std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
    CNADispatcher* found = find();
    if (found != nullptr || !create) return found;
  }
  // Made outside the table lock; filed under it unless another caller
  // filed one first, which then wins.
  CNADispatcher* made = pclNewDispatcher(key.pszGet(), error);
  if (made == nullptr) return nullptr;
  if (description != nullptr) made->SetHostDescription(description);
  made->AddUser();
  std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
  CNADispatcher* found = find();
  if (found != nullptr) {
    made->nRemoveUser();
    return found;
  }
  CNADispatcherEntry* entry = new (std::nothrow) CNADispatcherEntry(made);
  if (entry == nullptr || !m_tabDispatchers.bAdd(key.pszGet(), entry)) {
    delete entry;
    made->nRemoveUser();
    if (error != nullptr) error->SetOutOfMemory(5, 62);
    return nullptr;
  }
  if (created != nullptr) *created = true;
  return made;
}

void CNAManager::RemoveDispatcherKey(const CTString& key, CNADispatcher* dispatcher) {
  std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
  CNARefCounted* object = nullptr;
  if (!m_tabDispatchers.bFind(key.pszGet(), &object)) return;
  bool same = static_cast<CNADispatcherEntry*>(object)->pclGet() == dispatcher;
  ReleaseBoth(object);
  if (same) m_tabDispatchers.bRemove(key.pszGet());
}

void CNAManager::RemoveDispatcherIfIdle(CNADispatcher* dispatcher) {
  std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
  // The caller holds one user; the table the other.
  if (dispatcher->nGetReferences() != 0 || dispatcher->nGetUsers() != 2) return;
  CTString key(dispatcher->pszGetKey());
  CNARefCounted* object = nullptr;
  if (!m_tabDispatchers.bFind(key.pszGet(), &object)) return;
  bool same = static_cast<CNADispatcherEntry*>(object)->pclGet() == dispatcher;
  ReleaseBoth(object);
  if (same) m_tabDispatchers.bRemove(key.pszGet());
}

bool CNAManager::bPrepareDispatcher(INAConnectionDescription* description,
                                    const char16_t* table, INAError** slot) {
  CNAError local;
  CNADispatcher* dispatcher = pclFindOrCreateDispatcher(description, table, &local);
  if (dispatcher == nullptr) HandToHost(slot, local);
  return dispatcher != nullptr;
}

CNADispatcher* CNAManager::pclFindOrCreateDispatcher(INAConnectionDescription* description,
                                                     const char16_t* table, CNAError* error) {
  if (description == nullptr) {
    UnknownConnection(*error, description, 17);
    return nullptr;
  }
  CTString key;
  BuildDispatcherKey(description, table, &key);
  CNADispatcher* dispatcher = pclFindOrCreateDispatcherByKey(key, nullptr, true, nullptr, error);
  if (dispatcher == nullptr) return nullptr;
  dispatcher->AddRef();
  dispatcher->nRemoveUser();
  return dispatcher;
}

bool CNAManager::bCloseDispatcherHandle(INAConnectionDescription* description, uint32_t context,
                                        const char16_t* table, INAError** slot) {
  CNAError local;
  CNAConnection* connection = pclResolveConnection(description, &local);
  if (connection == nullptr) {
    HandToHost(slot, local);
    return false;
  }
  CTString key;
  BuildContextDispatcherKey(context, table, connection->m_strKey.pszGet(), &key);
  bReleaseConnection(connection);
  CNADispatcher* dispatcher = pclFindOrCreateDispatcherByKey(key, nullptr, false, nullptr, &local);
  bool ok = true;
  if (dispatcher != nullptr) {
    INAFileDescription* handle = dispatcher->pclGetHostDescription();
    ok = dispatcher->bClose(handle, 0, &local);
    if (handle != nullptr) handle->Release();
    dispatcher->nRemoveUser();
  }
  if (!ok) HandToHost(slot, local);
  return ok;
}

bool CNAManager::bQuoteForDispatcher(INAConnectionDescription* description,
                                     const char16_t* name, INAError** slot) {
  CNAError local;
  CNAConnection* connection = pclResolveConnection(description, &local);
  bool ok = connection != nullptr;
  CTString quoted;
  if (ok) ok = connection->bQuoteQualifiedName(&local, name, &quoted);
  if (connection != nullptr) bReleaseConnection(connection);
  if (ok) {
    CTString key;
    BuildDispatcherKey(description, quoted.pszGet(), &key);
    CNADispatcher* dispatcher = pclFindOrCreateDispatcherByKey(key, nullptr, true, nullptr, &local);
    ok = dispatcher != nullptr;
    if (ok) dispatcher->nRemoveUser();
  }
  if (!ok) HandToHost(slot, local);
  return ok;
}

bool CNAManager::bOpenTable(INAConnectionDescription* description, INAFileDescription* handle,
                            uint32_t flags, CNADispatcher** out, INAError** slot) {
  if (out != nullptr) *out = nullptr;
  CNAError local;
  if (handle == nullptr) {
    local.SetErrorMessage(0, 5, 20, nullptr, kNAErrorNotSupported);
    HandToHost(slot, local);
    return false;
  }
  CNAConnection* connection = pclResolveConnection(description, &local);
  if (connection == nullptr) {
    HandToHost(slot, local);
    return false;
  }
  CTString key;
  BuildContextDispatcherKey(handle->nGetContextNumber(), handle->pszGetName(),
                            connection->m_strKey.pszGet(), &key);
  bReleaseConnection(connection);
  bool created = false;
  CNADispatcher* dispatcher = pclFindOrCreateDispatcherByKey(key, nullptr, true, &created, &local);
  if (dispatcher == nullptr) {
    HandToHost(slot, local);
    return false;
  }
  int32_t opened = 0;
  bool ok = dispatcher->bOpenTable(&opened, static_cast<intptr_t>(flags), handle, description, 0,
                                   0, 0, 0, &local);
  if (ok) {
    if (out != nullptr) {
      dispatcher->AddRef();
      *out = dispatcher;
    }
  } else if ((flags & 0x10) == 0) {
    dispatcher->bClose(handle, 0, nullptr);
    // Only a key this call filed, and only while it maps this object.
    if (created) RemoveDispatcherKey(key, dispatcher);
  }
  dispatcher->nRemoveUser();
  if (!ok) HandToHost(slot, local);
  return ok;
}

bool CNAManager::bNotDispatched(INAError** slot, uint32_t minor) {
  CNAError local;
  local.SetErrorMessage(0, 5, minor, nullptr, kNAErrorNotSupported);
  HandToHost(slot, local);
  return false;
}

// ---- registries

CNARegistry* CNAManager::pclNewRegistry() { return new (std::nothrow) CNARegistry(this); }

CNARegistry* CNAManager::pclFindRegistry(uint32_t context) {
  std::lock_guard<std::mutex> lock(m_muContexts);
  CNARefCounted* object = nullptr;
  return m_tabContexts.bFind(context, &object) ? static_cast<CNARegistry*>(object) : nullptr;
}

CNARegistry* CNAManager::pclFindOrCreateRegistry(uint32_t context, CNAError* error) {
  std::lock_guard<std::mutex> lock(m_muContexts);
  CNARefCounted* object = nullptr;
  if (m_tabContexts.bFind(context, &object)) return static_cast<CNARegistry*>(object);
  CNARegistry* registry = pclNewRegistry();
  if (registry == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(5, 21);
    return nullptr;
  }
  registry->SetIdentifier(static_cast<int32_t>(context));
  if (!m_tabContexts.bAdd(context, registry)) {
    delete registry;
    if (error != nullptr) error->SetOutOfMemory(5, 21);
    return nullptr;
  }
  return NAAddRef(registry);
}

bool CNAManager::bDropRegistry(CNARegistry* registry) {
  if (registry == nullptr) return false;
  std::lock_guard<std::mutex> lock(m_muContexts);
  uint32_t key = static_cast<uint32_t>(registry->nGetIdentifier());
  ReleaseBoth(registry);
  CNARefCounted* filed = nullptr;
  if (!m_tabContexts.bFind(key, &filed)) return false;
  ReleaseBoth(filed);
  if (filed != registry) return false;
  if (registry->nGetHolders() == 1 && registry->nGetChildCount() == 0) {
    m_tabContexts.bRemove(key);
    return true;
  }
  return false;
}

uint32_t CNAManager::nGetRegistryCount() {
  std::lock_guard<std::mutex> lock(m_muContexts);
  return m_tabContexts.nGetCount();
}

bool CNAManager::bSetContextName(uint32_t context, const char16_t* name, INAError** slot) {
  CNAError local;
  CNARegistry* registry = pclFindOrCreateRegistry(context, &local);
  if (registry == nullptr) {
    HandToHost(slot, local);
    return false;
  }
  registry->SetName(name);
  ReleaseBoth(registry);
  return true;
}

void CNAManager::CloseContext(uint32_t context) {
  CNARegistry* registry = pclFindRegistry(context);
  if (registry == nullptr) return;
  registry->CloseAll();
  {
    // The context's sessions leave their dispatchers too.
    std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
    WalkDispatchers(m_tabDispatchers, [&](CNADispatcher* d) { d->ForgetSessionsOf(registry); });
  }
  bDropRegistry(registry);
}

bool CNAManager::bCopyContext(uint32_t source, uint32_t target, INACopyContext* context,
                              INAError** slot) {
  CNAError local;
  bool ok = false;
  // Connection copies made for the new context are held here until the
  // copied sessions hold them.
  std::vector<CNAConnection*> made;
  try {
    CNARegistry* from = pclFindRegistry(source);
    if (m_bPerContextConnections && from != nullptr && context != nullptr) {
      CopyContextConnections(source, context, &made);
    }
    CNARegistry* copy = nullptr;
    if (from != nullptr) {
      copy = from->pclCopy(context, &local);
      ReleaseBoth(from);
    } else {
      copy = NAAddRef(pclNewRegistry());
      if (copy == nullptr) local.SetOutOfMemory(5, 22);
    }
    if (copy != nullptr) {
      copy->SetIdentifier(static_cast<int32_t>(target));
      CNARegistry* replaced = nullptr;
      {
        std::lock_guard<std::mutex> lock(m_muContexts);
        CNARefCounted* old = nullptr;
        if (m_tabContexts.bFind(target, &old)) replaced = static_cast<CNARegistry*>(old);
        m_tabContexts.bRemove(target);
        ok = m_tabContexts.bAdd(target, copy);
        if (!ok) local.SetOutOfMemory(5, 22);
      }
      ReleaseBoth(copy);
      if (replaced != nullptr) {
        // The replaced context's sessions are no longer reachable by its
        // handles: no dispatcher may answer them from its cache.
        replaced->Retire();
        std::lock_guard<std::recursive_mutex> lock(m_muDispatchers);
        WalkDispatchers(m_tabDispatchers, [&](CNADispatcher* d) { d->ForgetSessionsOf(replaced); });
      }
      if (replaced != nullptr) ReleaseBoth(replaced);
    }
  } catch (CNAError& thrown) {
    local.SetFrom(&thrown);
    ok = false;
  } catch (...) {
    local.SetOutOfMemory(5, 22);
    ok = false;
  }
  for (CNAConnection* copy : made) bReleaseConnection(copy);
  if (!ok) HandToHost(slot, local);
  return ok;
}

void CNAManager::CopyContextConnections(uint32_t source, INACopyContext* context,
                                        std::vector<CNAConnection*>* made) {
  std::vector<CNAConnection*> connections;
  {
    std::lock_guard<std::recursive_mutex> lock(m_muConnections);
    uint32_t cursor = 0;
    uintptr_t key = 0;
    CNARefCounted* object = nullptr;
    while (m_tabConnections.bNext(&cursor, &key, &object)) {
      connections.push_back(static_cast<CNAConnection*>(object));
    }
  }
  for (CNAConnection* connection : connections) {
    INAConnectionDescription* d = connection->piGetDescription();
    if (d != nullptr && d->nGetContextNumber() == source &&
        context->pFindCopy(connection) == nullptr) {
      INAConnectionDescription* copied = context->piGetCopiedDescription(d);
      CNAConnection* shared = copied != nullptr ? pclFindConnection(copied) : nullptr;
      if (shared != nullptr) {
        context->bRegisterCopy(connection, shared);
        bReleaseConnection(shared);
      } else {
        CNAConnection* copy = nullptr;
        try {
          copy = connection->pclCreate(context, 0, 0);
        } catch (...) {
          if (copied != nullptr) copied->Release();
          for (size_t i = 0; i < connections.size(); ++i) {
            if (connections[i] == connection) {
              for (size_t j = i; j < connections.size(); ++j) ReleaseBoth(connections[j]);
              break;
            }
          }
          throw;
        }
        if (copy != nullptr) made->push_back(copy);
      }
      if (copied != nullptr) copied->Release();
    }
    ReleaseBoth(connection);
  }
}
