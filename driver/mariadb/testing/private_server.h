// A private MariaDB server: mariadb-install-db into a temporary folder,
// then mariadbd --no-defaults listening on a Unix socket in that folder and
// on a free loopback port, with TLS certificates made by openssl for the
// run. No system service or configuration file is used. Folders left by a
// process that died are cleaned up at the next start. Used by the test
// environment (mariadb_server.h) and by the demo.
#ifndef QG_DRIVER_MARIADB_TESTING_PRIVATE_SERVER_H_
#define QG_DRIVER_MARIADB_TESTING_PRIVATE_SERVER_H_

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

}  // namespace qg::rig

#endif  // QG_DRIVER_MARIADB_TESTING_PRIVATE_SERVER_H_
