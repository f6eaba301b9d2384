// The MariaDB forms of the session and of the table access object: the
// session answers the query-result question only in query mode; the table access object keeps its open result in a MariaDB
// statement and counts the rows of raw SQL by streaming them.
#ifndef QG_DRIVER_MARIADB_SESSION_MARIADB_H_
#define QG_DRIVER_MARIADB_SESSION_MARIADB_H_

#include "driver/core/session.h"
#include "driver/sql/table_access.h"

class CNASessionMariaDB : public CNASession {
 public:
  CNASessionMariaDB(INAFileDescription* file, CNAConnection* connection)
      : CNASession(file, connection) {}
  CNASessionMariaDB() = default;
  ~CNASessionMariaDB() override;

  // In query mode (bound to a query, whether its statement gave rows or
  // not): the generic answer; else 0. Always succeeds.
  bool bIsQueryResult(intptr_t out, intptr_t a, CNAError* error) override;  // 36
  CNASession* pclClone(INACopyContext* context) override;                    // 58

  // Whether the current table access object holds a result with columns
  // (under the session lock).
  bool bHoldsOpenResult();
};

class CNATableAccessMariaDB : public CNATableAccess {
 public:
  using CNATableAccess::CNATableAccess;

  CNATableAccess* pclClone(INACopyContext* context) override;                // 37
  CNAStatement* pclNewResult() override;

  // CREATE TABLE with " ENGINE=InnoDB" (" Type=InnoDB" before version 5).
  bool bCreateTable(CNAError* error) override;                               // 13
  // The generated key (mysql_insert_id) into the auto-identifier column of
  // the current record; nothing for a table without one.
  bool bReadInsertId(CNAError* error) override;                              // 21
  // Records of the read: the generic COUNT(*), except for raw SQL text
  // read through an open result, whose rows are streamed and counted on a
  // statement of their own (the open result and its position stay).
  bool bCountRecords(int64_t* count, CNAError* error) override;              // 25
  // The connection's SQL type names.
  bool bColumnType(int column, CTString* out, CNAError* error) override;     // 42
  // " NOT NULL AUTO_INCREMENT PRIMARY KEY " for an auto-identifier.
  bool bColumnConstraint(int column, CTString* out, CNAError* error) override;  // 43
  // Generated-key defaults the server can evaluate (table_texts_mariadb.h).
  bool bColumnDefault(int column, CTString* out, CNAError* error) override;  // 44
};

#endif  // QG_DRIVER_MARIADB_SESSION_MARIADB_H_
