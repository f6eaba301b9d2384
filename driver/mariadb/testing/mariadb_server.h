// The private MariaDB server of a test binary (private_server.h). A
// GoogleTest global environment starts one server before the first test and
// stops it after the last. MYSQL_* and MARIADB_* variables are removed from
// the environment first.
//
// Use: at namespace scope of one test file of the binary,
//   static auto* const gServer = qg::rig::AddMariaDBServerEnvironment();
// then, in a test, qg::rig::TestServer() and qg::rig::TestDatabase.
#ifndef QG_DRIVER_MARIADB_TESTING_MARIADB_SERVER_H_
#define QG_DRIVER_MARIADB_TESTING_MARIADB_SERVER_H_

#include <gtest/gtest.h>

#include <string>

#include "driver/mariadb/testing/private_server.h"

namespace qg::rig {

// Registers the environment that runs the binary's server (once).
::testing::Environment* AddMariaDBServerEnvironment();

// The binary's running server; null when it is not running.
const MariaDBServer* TestServer();

// One database for one test, named after it ("qgt_" + suite + test), made
// on construction and dropped on destruction. Name() is empty when it could
// not be made (a test failure is recorded then).
class TestDatabase {
 public:
  TestDatabase();
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  const std::string& Name() const { return m_strName; }

 private:
  std::string m_strName;
};

}  // namespace qg::rig

#endif  // QG_DRIVER_MARIADB_TESTING_MARIADB_SERVER_H_
