// The MariaDB driver manager: the manager piQueryInterface makes. It sets
// the default fetch size and supplies the MariaDB factories.
#ifndef QG_DRIVER_MARIADB_MANAGER_MARIADB_H_
#define QG_DRIVER_MARIADB_MANAGER_MARIADB_H_

#include "driver/core/manager.h"

class CNAManagerMariaDB : public CNAManager {
 public:
  CNAManagerMariaDB();

  // Fault hook of the client-call guard: debug message 3355 with the
  // client library's version text on the most recent error.
  void ReportClientFailure(CNAError* error, bool flag) override;               // 60
  CNAConnection* pclNewConnection(const char16_t* key,
                                  INAConnectionDescription* description) override;  // 61

 protected:
  ~CNAManagerMariaDB() override;
};

#endif  // QG_DRIVER_MARIADB_MANAGER_MARIADB_H_
