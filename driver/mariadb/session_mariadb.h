// The MariaDB forms of the session and of the table access object: the
// session answers the query-result question only in query mode; the table
// access object keeps its open result in a MariaDB statement.
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

  // 1 in query mode, else 0.
  bool bIsQueryResult(intptr_t out, intptr_t a, CNAError* error) override;  // 36
  CNASession* pclClone(INACopyContext* context) override;                    // 58
};

class CNATableAccessMariaDB : public CNATableAccess {
 public:
  using CNATableAccess::CNATableAccess;

  CNATableAccess* pclClone(INACopyContext* context) override;                // 37
  CNAStatement* pclNewResult() override;
};

#endif  // QG_DRIVER_MARIADB_SESSION_MARIADB_H_
