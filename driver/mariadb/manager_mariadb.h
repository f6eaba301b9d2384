// The MariaDB driver manager: the manager piQueryInterface makes. It sets
// the default fetch size and supplies the MariaDB factories.
#ifndef QG_DRIVER_MARIADB_MANAGER_MARIADB_H_
#define QG_DRIVER_MARIADB_MANAGER_MARIADB_H_

#include "driver/core/manager.h"

class CNAManagerMariaDB : public CNAManager {
 public:
  CNAManagerMariaDB();

  // The table of a host file locked, or a text run followed by " FOR
  // UPDATE", on the host file's connection through the SQL-function
  // service (only inside a running transaction); a file without connection
  // fails with message 14 naming it.
  bool bLockTable(INAConnectionDescription* description, const char16_t* table,
                  INAError** error) override;                                  // 19
  bool bRunConnection23(INAConnectionDescription* description, intptr_t text,
                        INAError** error) override;                            // 20
  // Fault hook of the client-call guard: debug message 3355 on the most
  // recent error, with the client library's version text when `flag` is
  // set, else with an empty text.
  void ReportClientFailure(CNAError* error, bool flag) override;               // 60
  CNAConnection* pclNewConnection(const char16_t* key,
                                  INAConnectionDescription* description) override;  // 61
  // A MariaDB table description on the connection (no reference taken).
  CNATableDescription* pclNewTableDescription(CNAConnection* connection) override;  // 48
  CNASQLGenerator* pclNewSQLGenerator(CNAConnection* connection) override;     // 53
  CNAIdentityQuery* pclNewIdentityQuery() override;                           // 55
  // The table read from the server, one reference for the caller.
  CNATableDescription* pclGetTableDescriptionByName(CNAConnection* connection,
                                                    const char16_t* table,
                                                    CNAError* error) override;  // 56
  CNARegistryChild* pclNewSession(INAFileDescription* description, CNAConnection* connection,
                                  CNAError* error) override;                  // 50
  CNATableAccess* pclNewTableAccess(CNARegistryChild* session,
                                    CNAConnection* connection) override;      // 51
  CNASQLService* pclNewSQLService() override;                                 // 63
  bool bGetDatabaseList(CNAConnection* connection, CAny* result, CNAError* error) override;  // 64
  // "SHOW COLUMNS FROM" the quoted name: a result sets *exists to 1; server
  // error 1146 (no such table) sets 0 and succeeds; any other failure sets
  // 0 and fails. The connection must be open.
  bool bTableExistsOn(CNAConnection* connection, const char16_t* table, int32_t* exists,
                      CNAError* error) override;                                 // 66

 protected:
  ~CNAManagerMariaDB() override;
  void HoldService(CNASQLService* service, bool add) override;
  void ReleaseTableDescription(CNATableDescription* description) override;
  bool bServiceNativeTypes(CNASQLService* service, CAny* result, CNAError* error) override;
  bool bServiceListTables(CNASQLService* service, CNAConnection* connection, CAny* out,
                          uint32_t flags, const char16_t* filter, CNAError* error) override;
  bool bServiceForeignKeys(CNASQLService* service, CNAConnection* connection, CAny* out,
                           const char16_t* table, uint32_t flags, CNAError* error) override;
};

#endif  // QG_DRIVER_MARIADB_MANAGER_MARIADB_H_
