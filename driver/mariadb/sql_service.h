// CNASQLService: the object behind the language's SQL functions. It opens
// connections under names of their own, runs queries and hands out query
// handles, fetches rows and column texts, runs the transaction named
// "SQLTransaction", lists databases, tables and columns, reads foreign keys
// and runs the catalogue queries of table descriptions.
//
// One service per driver manager. Connections are addressed by their
// serial number through the manager; queries by handle (from 1; a closed
// handle answers 0). The query table is guarded by the service's own
// section; everything else runs under the locks of the objects called.
#ifndef QG_DRIVER_MARIADB_SQL_SERVICE_H_
#define QG_DRIVER_MARIADB_SQL_SERVICE_H_

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include "driver/core/refcounted.h"
#include "support/any.h"

class CNAConnection;
class CNAError;
class CNAManager;
class CNAStatement;
class CNATableDescription;
class INAConnectionDescription;

class CNASQLService {
 public:
  explicit CNASQLService(CNAManager* manager);
  virtual ~CNASQLService();
  CNASQLService(const CNASQLService&) = delete;
  CNASQLService& operator=(const CNASQLService&) = delete;

  int32_t AddRef() { return m_nReferences.fetch_add(1) + 1; }
  int32_t Release();

  // --- connections ----------------------------------------------------------
  // A connection of its own for the description: its key text followed by
  // ";SQLConnecte<n>" (a process-wide counter from 1), opened; its number.
  bool bConnect(int32_t* number, INAConnectionDescription* description, CNAError* error);
  bool bDisconnect(int32_t number);

  // --- queries --------------------------------------------------------------
  // Runs a text on connection `number`; a result with columns is
  // registered and its handle returned (0 without a result set).
  bool bExecuteQuery(int32_t* handle, int32_t number, const char16_t* text, CNAError* error);
  bool bCloseQuery(int32_t handle);
  bool bGetColumnCount(int32_t* count, int32_t handle, CNAError* error);
  // 1 when a row was read; 0 at the end or on failure.
  bool bFetch(int32_t handle, CNAError* error);
  // Columns are numbered from 1 and checked against the count.
  bool bGetColumnText(CAny* out, int32_t handle, int32_t column, CNAError* error);
  bool bGetColumnWide(CAny* out, int32_t handle, int32_t column, CNAError* error);
  bool bGetColumnBinary(CAny* out, int32_t handle, int32_t column, CNAError* error);
  bool bGetRowText(CAny* out, int32_t handle, CNAError* error);
  // The query of a handle with a reference, or null.
  CNAStatement* pclFindQuery(int32_t handle);
  // A new table description of a query's result (one reference), or null.
  CNATableDescription* pclDescribeQuery(int32_t handle, CNAError* error);

  // --- transactions ---------------------------------------------------------
  bool bBeginTransaction(int32_t number, CNAError* error);
  bool bCommitTransaction(int32_t number, CNAError* error);
  bool bRollbackTransaction(int32_t number, CNAError* error);
  // Only inside a running transaction (message 29 otherwise, sites 51.3 and
  // 51.2): locks the table / runs the text followed by " FOR UPDATE".
  bool bLockTable(int32_t number, const char16_t* table, CNAError* error);
  bool bQueryForUpdate(int32_t number, const char16_t* text, CNAError* error);

  // --- catalogue listings ---------------------------------------------------
  bool bListTables(CAny* out, int32_t number, uint32_t flags, const char16_t* filter,
                   CNAError* error);
  bool bListColumns(CAny* out, int32_t number, const char16_t* table, CNAError* error);
  // The list-tables worker on a connection the caller holds, as text.
  bool bListTablesOn(CAny* out, CNAConnection* connection, uint32_t flags,
                     const char16_t* filter, CNAError* error);
  virtual bool bGetNativeTypes(CAny* out);
  bool bGetDatabaseList(CAny* out, CNAConnection* connection, uint32_t flags, CNAError* error);
  // Foreign keys of a table of a MariaDB connection (other kinds: 1, out
  // left alone).
  bool bGetForeignKeys(CAny* out, CNAConnection* connection, const char16_t* table,
                       CNATableDescription* description, uint32_t flags, CNAError* error);

  // --- shared steps ---------------------------------------------------------
  // Runs a text on a connection: the query with its result (one reference
  // for the caller), or null when it failed (error filed) or has no column.
  CNAStatement* pclExecuteQuery(CNAConnection* connection, const char16_t* text,
                                CNAError* error);
  // Runs a text on a connection and drops its result; the run's result.
  bool bRunQuery(CNAConnection* connection, const char16_t* text, CNAError* error);
  // Rows joined: columns by TAB, rows by `separator`.
  bool bQueryToText(std::u16string* out, CNAConnection* connection, const char16_t* text,
                    const char16_t* separator, CNAError* error);
  // The TABLE_TYPE condition of flags 1 (base tables), 4 (system), 2 (views).
  static std::u16string TableTypesFilter(uint32_t flags, const char16_t* extra);
  // The foreign keys in a SHOW CREATE TABLE text; `describe` gives the
  // description of a table by name (null when it cannot), used to name
  // composite keys; with flag 0x20 the constraints are written.
  using DescribeTable = CNATableDescription* (*)(void* context, const char16_t* table);
  static std::u16string ParseForeignKeys(const char16_t* create_text, const char16_t* table,
                                         uint32_t flags, DescribeTable describe, void* context);

 protected:
  // A query object for the connection (generic: none).
  virtual CNAStatement* pclNewQuery(CNAConnection* /*connection*/) { return nullptr; }
  virtual bool bListSchemas(std::u16string* out, CNAConnection* connection, CNAError* error);
  virtual bool bListTablesOf(std::u16string* out, CNAConnection* connection,
                             const char16_t* schema, uint32_t flags, CNAError* error);
  virtual bool bListTablesWorker(std::u16string* out, CNAConnection* connection,
                                 uint32_t flags, const char16_t* filter, CNAError* error);
  virtual bool bListColumnsWorker(std::u16string* out, CNAConnection* connection,
                                  const char16_t* table, CNAError* error);
  // The connection of a number with a reference, or null.
  CNAConnection* pclGetConnection(int32_t number);
  CNAManager* m_pManager;

 private:
  bool bColumnThrough(CAny* out, int32_t handle, int32_t column, int type, CNAError* error);

  std::atomic<int32_t> m_nReferences{0};
  CNACriticalSection m_clLock;
  std::map<int32_t, CNAStatement*> m_mapQueries;
  int32_t m_nNextHandle = 1;
};

// The MariaDB form: its queries are MariaDB statements; its listings know
// the servers before version 5.
class CNASQLServiceMariaDB : public CNASQLService {
 public:
  using CNASQLService::CNASQLService;
  bool bGetNativeTypes(CAny* out) override;

 protected:
  CNAStatement* pclNewQuery(CNAConnection* connection) override;
  bool bListSchemas(std::u16string* out, CNAConnection* connection, CNAError* error) override;
  bool bListTablesOf(std::u16string* out, CNAConnection* connection, const char16_t* schema,
                     uint32_t flags, CNAError* error) override;
  bool bListTablesWorker(std::u16string* out, CNAConnection* connection, uint32_t flags,
                         const char16_t* filter, CNAError* error) override;
  bool bListColumnsWorker(std::u16string* out, CNAConnection* connection, const char16_t* table,
                          CNAError* error) override;
};

// The native type list of MariaDB, exactly as the SQL functions give it.
extern const char16_t kNAMariaDBNativeTypes[];

#endif  // QG_DRIVER_MARIADB_SQL_SERVICE_H_
