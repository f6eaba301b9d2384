#include "driver/mariadb/manager_mariadb.h"

#include <new>

#include "driver/mariadb/client_version.h"
#include "driver/mariadb/connection_mariadb.h"

CNAManagerMariaDB::CNAManagerMariaDB() { m_nDefaultFetchSize = 100; }

CNAManagerMariaDB::~CNAManagerMariaDB() = default;

void CNAManagerMariaDB::ReportClientFailure(CNAError* error, bool) {
  if (error == nullptr) return;
  error->AddDebugMessage(3355u, gstrClientVersion.pszGet());
}

CNAConnection* CNAManagerMariaDB::pclNewConnection(const char16_t* key,
                                                   INAConnectionDescription* description) {
  return new (std::nothrow) CNAConnectionMariaDB(key, description, this);
}
