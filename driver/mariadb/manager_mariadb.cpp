#include "driver/mariadb/manager_mariadb.h"

#include <new>
#include <string>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/mariadb/client_link.h"
#include "driver/mariadb/client_version.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/session_mariadb.h"
#include "driver/mariadb/sql_service.h"
#include "driver/mariadb/table_description_mariadb.h"
#include "driver/sql/identity_query.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/statement.h"
#include "errors/xerror.h"

CNAManagerMariaDB::CNAManagerMariaDB() { m_nDefaultFetchSize = 100; }

CNAManagerMariaDB::~CNAManagerMariaDB() {
  CNASQLService* service = pclTakeService();
  if (service != nullptr) service->Release();
}

void CNAManagerMariaDB::ReportClientFailure(CNAError* error, bool flag) {
  if (error == nullptr) return;
  const char16_t* version = flag ? gstrClientVersion.pszGet() : nullptr;
  error->AddDebugMessage(3355u, version != nullptr ? version : u"");
}

namespace {

// Runs `body` on the description's registered connection through the
// service; site 103.minor names a file without connection.
template <class F>
bool WithFileConnection(CNAManagerMariaDB* manager, INAConnectionDescription* description,
                        uint32_t minor, CNAError* error, F body) {
  CNAConnection* connection = manager->pclFindConnection(description);
  if (connection == nullptr) {
    const char16_t* name = description != nullptr ? description->pszGetName() : nullptr;
    error->SetErrorMessage(0, 103, minor, nullptr, kNAErrorUnknownConnection,
                           name != nullptr ? name : u"");
    return false;
  }
  CNASQLService* service = manager->pclGetSQLService();
  bool ok = service != nullptr && body(service, connection->m_nSerial);
  manager->bReleaseConnection(connection);
  return ok;
}

}  // namespace

bool CNAManagerMariaDB::bLockTable(INAConnectionDescription* description, const char16_t* table,
                                   INAError** slot) {
  CNAError local;
  bool ok = WithFileConnection(this, description, 1, &local,
                               [&](CNASQLService* service, int32_t number) {
                                 return service->bLockTable(number, table, &local);
                               });
  if (!ok) HandToHost(slot, local);
  return ok;
}

bool CNAManagerMariaDB::bRunConnection23(INAConnectionDescription* description, intptr_t text,
                                         INAError** slot) {
  CNAError local;
  const char16_t* sql = reinterpret_cast<const char16_t*>(text);
  bool ok = WithFileConnection(this, description, 2, &local,
                               [&](CNASQLService* service, int32_t number) {
                                 return service->bQueryForUpdate(number, sql != nullptr ? sql : u"",
                                                                 &local);
                               });
  if (!ok) HandToHost(slot, local);
  return ok;
}

CNAConnection* CNAManagerMariaDB::pclNewConnection(const char16_t* key,
                                                   INAConnectionDescription* description) {
  return new (std::nothrow) CNAConnectionMariaDB(key, description, this);
}

CNATableDescription* CNAManagerMariaDB::pclNewTableDescription(CNAConnection* connection) {
  return new (std::nothrow) CNATableDescriptionMariaDB(connection);
}

CNASQLGenerator* CNAManagerMariaDB::pclNewSQLGenerator(CNAConnection* connection) {
  if (connection == nullptr) return nullptr;
  CNASQLGenerator* generator = new (std::nothrow) CNASQLGenerator(connection);
  if (generator == nullptr) return nullptr;
  // The session's sql_mode as the server last reported it: every reply
  // carries the NO_BACKSLASH_ESCAPES status, so a SET run since is seen.
  // The generator scans quoted texts and writes LIKE escapes by it.
  auto* link = dynamic_cast<INAMariaDBClientLink*>(connection);
  if (link != nullptr) {
    CNALock lock(link->pGetClientLock());
    MYSQL* handle = link->pGetClientHandle();
    generator->SetNoBackslashEscapes(
        handle != nullptr && (handle->server_status & SERVER_STATUS_NO_BACKSLASH_ESCAPES) != 0);
  }
  return generator;
}

CNAIdentityQuery* CNAManagerMariaDB::pclNewIdentityQuery() {
  return new (std::nothrow) CNAIdentityQuery();
}

CNATableDescription* CNAManagerMariaDB::pclGetTableDescriptionByName(CNAConnection* connection,
                                                                    const char16_t* table,
                                                                    CNAError* error) {
  CNATableDescription* description = pclNewTableDescription(connection);
  if (description == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(103, 1);
    return nullptr;
  }
  AddRefBoth(description);
  if (!description->bDescribeFromServer(table, 0, error)) {
    ReleaseBoth(description);
    return nullptr;
  }
  return description;
}

void CNAManagerMariaDB::ReleaseTableDescription(CNATableDescription* description) {
  ReleaseBoth(description);
}

CNASQLService* CNAManagerMariaDB::pclNewSQLService() {
  return new (std::nothrow) CNASQLServiceMariaDB(this);
}

void CNAManagerMariaDB::HoldService(CNASQLService* service, bool add) {
  if (add) {
    service->AddRef();
  } else {
    service->Release();
  }
}

bool CNAManagerMariaDB::bServiceNativeTypes(CNASQLService* service, CAny* result,
                                            CNAError*) {
  return service->bGetNativeTypes(result);
}

bool CNAManagerMariaDB::bServiceListTables(CNASQLService* service, CNAConnection* connection,
                                           CAny* out, uint32_t flags, const char16_t* filter,
                                           CNAError* error) {
  return service->bListTablesOn(out, connection, flags, filter, error);
}

bool CNAManagerMariaDB::bServiceForeignKeys(CNASQLService* service, CNAConnection* connection,
                                            CAny* out, const char16_t* table, uint32_t flags,
                                            CNAError* error) {
  return service->bGetForeignKeys(out, connection, table, nullptr, flags, error);
}

bool CNAManagerMariaDB::bGetDatabaseList(CNAConnection* connection, CAny* result,
                                         CNAError* error) {
  CNASQLService* service = pclGetSQLService();
  if (service == nullptr) return false;
  if (!connection->bIsOpen() && !connection->bOpen(error, 0)) return false;
  return service->bGetDatabaseList(result, connection, 0x10, error);
}

namespace {

// The server's error number anywhere in the error: the statement may add
// its own message after the client's.
int32_t ServerErrorNumber(CNAError* error) {
  int32_t number = error->nGetBaseCode();
  if (number != 0) return number;
  CXError* main = error->pclGetXError();
  const CXError::_stERRORINFO* item = main->pstGetInfo(EIT_BASECODE);
  if (item != nullptr) return static_cast<int32_t>(item->nValue);
  for (int i = 0; i < main->nGetNbSubError(); ++i) {
    item = main->pclGetSubError(i)->pstGetInfo(EIT_BASECODE);
    if (item != nullptr) return static_cast<int32_t>(item->nValue);
  }
  return 0;
}

}  // namespace

bool CNAManagerMariaDB::bTableExistsOn(CNAConnection* connection, const char16_t* table,
                                       int32_t* exists, CNAError* error) {
  if (exists != nullptr) *exists = 0;
  CNASQLService* service = pclGetSQLService();
  if (service == nullptr) return false;
  CTString quoted;
  if (!connection->bQuoteQualifiedName(error, table, &quoted)) return false;
  std::u16string text = u"SHOW COLUMNS FROM ";
  text += quoted.pszGet() != nullptr ? quoted.pszGet() : u"";
  CNAError local;
  CNAStatement* result = service->pclExecuteQuery(connection, text.c_str(), &local);
  if (result != nullptr) {
    ReleaseBoth(result);
    if (exists != nullptr) *exists = 1;
    return true;
  }
  if (local.nGetErrorIdentifier() == 0) {
    // Ran without a column list: the table is there.
    if (exists != nullptr) *exists = 1;
    return true;
  }
  if (ServerErrorNumber(&local) == 1146) return true;
  if (error != nullptr) *error = local;
  return false;
}

CNARegistryChild* CNAManagerMariaDB::pclNewSession(INAFileDescription* description,
                                                   CNAConnection* connection, CNAError* error) {
  CNASessionMariaDB* session = new (std::nothrow) CNASessionMariaDB(description, connection);
  if (session == nullptr && error != nullptr) error->SetOutOfMemory(5, 50);
  return session;
}

CNATableAccess* CNAManagerMariaDB::pclNewTableAccess(CNARegistryChild* session,
                                                     CNAConnection* connection) {
  return new (std::nothrow)
      CNATableAccessMariaDB(static_cast<CNASession*>(session), connection);
}
