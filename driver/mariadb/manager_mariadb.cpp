#include "driver/mariadb/manager_mariadb.h"

#include <new>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/client_version.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/sql_service.h"
#include "driver/mariadb/table_description_mariadb.h"

CNAManagerMariaDB::CNAManagerMariaDB() { m_nDefaultFetchSize = 100; }

CNAManagerMariaDB::~CNAManagerMariaDB() {
  CNASQLService* service = pclTakeService();
  if (service != nullptr) service->Release();
}

void CNAManagerMariaDB::ReportClientFailure(CNAError* error, bool) {
  if (error == nullptr) return;
  error->AddDebugMessage(3355u, gstrClientVersion.pszGet());
}

CNAConnection* CNAManagerMariaDB::pclNewConnection(const char16_t* key,
                                                   INAConnectionDescription* description) {
  return new (std::nothrow) CNAConnectionMariaDB(key, description, this);
}

CNATableDescription* CNAManagerMariaDB::pclNewTableDescription(CNAConnection* connection) {
  return new (std::nothrow) CNATableDescriptionMariaDB(connection);
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

bool CNAManagerMariaDB::bGetDatabaseList(CNAConnection* connection, CAny* result,
                                         CNAError* error) {
  CNASQLService* service = pclGetSQLService();
  if (service == nullptr) return false;
  if (!connection->bIsOpen() && !connection->bOpen(error, 0)) return false;
  return service->bGetDatabaseList(result, connection, 0x10, error);
}
