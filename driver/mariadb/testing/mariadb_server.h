// The private MariaDB server of a test binary. A GoogleTest global
// environment starts one server before the first test and stops it after
// the last: mariadb-install-db into a temporary folder, then mariadbd
// --no-defaults listening on a Unix socket in that folder and on a free
// loopback port, with TLS certificates made by openssl for the run. No
// system service or configuration file is used. MYSQL_* and MARIADB_*
// variables are removed from the environment first.
//
// Use: at namespace scope of one test file of the binary,
//   static auto* const gServer = qg::rig::AddMariaDBServerEnvironment();
// then, in a test, qg::rig::TestServer() and qg::rig::TestDatabase.
#ifndef QG_DRIVER_MARIADB_TESTING_MARIADB_SERVER_H_
#define QG_DRIVER_MARIADB_TESTING_MARIADB_SERVER_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>

namespace qg::rig {

// Accounts made at start; each may use every database named qgt_*.
struct TestAccount {
  const char* pszUser;
  const char* pszPassword;
};
// Password only.
inline constexpr TestAccount kPasswordAccount = {"qg_pass", "pass-Word-1"};
// REQUIRE SSL.
inline constexpr TestAccount kTlsAccount = {"qg_tls", "tls-Word-2"};
// REQUIRE X509: a client certificate signed by the run's CA.
inline constexpr TestAccount kX509Account = {"qg_x509", "x509-Word-3"};

class MariaDBServer {
 public:
  MariaDBServer() = default;
  ~MariaDBServer();
  MariaDBServer(const MariaDBServer&) = delete;
  MariaDBServer& operator=(const MariaDBServer&) = delete;

  // Installs and starts the server and waits until it answers; on failure
  // *error says why (with the end of the server's log) and nothing is left
  // running.
  bool Start(std::string* error);
  // Stops the server, waits for it and removes the folder. Idempotent.
  void Stop();

  bool IsRunning() const { return m_pid > 0; }
  const std::string& Folder() const { return m_strFolder; }
  const std::string& Socket() const { return m_strSocket; }
  const char* Host() const { return "127.0.0.1"; }
  int Port() const { return m_nPort; }
  std::string CaFile() const { return m_strFolder + "/ca.pem"; }
  std::string ClientCertFile() const { return m_strFolder + "/client-cert.pem"; }
  std::string ClientKeyFile() const { return m_strFolder + "/client-key.pem"; }
  pid_t ServerPid() const { return m_pid; }

  // Runs SQL as the administrator through the command-line client on the
  // socket; *output (when given) receives what it printed. True on exit 0.
  bool RunSql(const std::string& sql, std::string* output = nullptr) const;

 private:
  bool MakeCertificates(std::string* error);
  bool Install(std::string* error);
  bool Launch(std::string* error);
  bool WaitUntilAnswering(std::string* error);
  bool CreateAccounts(std::string* error);
  std::string LogTail() const;

  std::string m_strFolder;
  std::string m_strSocket;
  int m_nPort = 0;
  pid_t m_pid = -1;
};

// Removes MYSQL_* and MARIADB_* variables from this process's environment.
void ClearClientEnvironment();

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
