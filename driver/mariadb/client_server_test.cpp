// The bound entry points against the binary's private server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <string>

#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "errors/module_errors.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

// A connection made through the entry-point table; closed on destruction.
class Connection {
 public:
  Connection() : m_pHandle(gMariaDB.mysql_init(nullptr)) {}
  ~Connection() {
    if (m_pHandle != nullptr) gMariaDB.mysql_close(m_pHandle);
  }
  MYSQL* Handle() const { return m_pHandle; }

  bool Connect(const qg::rig::TestAccount& account, const std::string& database,
               bool over_tcp) {
    const qg::rig::MariaDBServer* server = qg::rig::TestServer();
    return gMariaDB.mysql_real_connect(
               m_pHandle, over_tcp ? server->Host() : nullptr, account.pszUser,
               account.pszPassword, database.empty() ? nullptr : database.c_str(),
               over_tcp ? static_cast<unsigned>(server->Port()) : 0,
               over_tcp ? nullptr : server->Socket().c_str(), CLIENT_FOUND_ROWS) != nullptr;
  }

  // First column of the first row of a query, or "(error n: text)".
  std::string Value(const std::string& sql) {
    if (gMariaDB.mysql_real_query(m_pHandle, sql.c_str(), sql.size()) != 0) return Error();
    MYSQL_RES* result = gMariaDB.mysql_store_result(m_pHandle);
    if (result == nullptr) return Error();
    std::string value = "(no row)";
    MYSQL_ROW row = gMariaDB.mysql_fetch_row(result);
    if (row != nullptr && gMariaDB.mysql_num_fields(result) >= 1) {
      unsigned long* lengths = gMariaDB.mysql_fetch_lengths(result);
      value = row[0] != nullptr ? std::string(row[0], lengths[0]) : "(null)";
    }
    gMariaDB.mysql_free_result(result);
    return value;
  }

  bool Execute(const std::string& sql) {
    return gMariaDB.mysql_real_query(m_pHandle, sql.c_str(), sql.size()) == 0;
  }

  std::string Error() {
    return "(error " + std::to_string(gMariaDB.mysql_errno(m_pHandle)) + ": " +
           gMariaDB.mysql_error(m_pHandle) + ")";
  }

 private:
  MYSQL* m_pHandle;
};

class ClientServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(nullptr, qg::rig::TestServer());
    _CXErrorModule76 error;
    ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, nullptr));
  }
  void TearDown() override { CNAMariaDBClient::TermInstance(); }
};

TEST_F(ClientServerTest, SelectsTheVersionInItsOwnDatabase) {
  qg::rig::TestDatabase database;
  ASSERT_FALSE(database.Name().empty());
  Connection connection;
  ASSERT_NE(nullptr, connection.Handle());
  ASSERT_TRUE(connection.Connect(qg::rig::kPasswordAccount, database.Name(), false))
      << connection.Error();
  std::string version = connection.Value("SELECT VERSION()");
  EXPECT_NE(std::string::npos, version.find("MariaDB")) << version;
  EXPECT_EQ(version, gMariaDB.mysql_get_server_info(connection.Handle()));
  EXPECT_EQ(database.Name(), connection.Value("SELECT DATABASE()"));

  // The database is the test's own and writable; found rows count matches.
  ASSERT_TRUE(connection.Execute("CREATE TABLE t (id INT PRIMARY KEY, v INT)"))
      << connection.Error();
  ASSERT_TRUE(connection.Execute("INSERT INTO t VALUES (1, 5), (2, 6)")) << connection.Error();
  EXPECT_EQ(2u, gMariaDB.mysql_affected_rows(connection.Handle()));
  ASSERT_TRUE(connection.Execute("UPDATE t SET v = 5 WHERE id = 1"));
  EXPECT_EQ(1u, gMariaDB.mysql_affected_rows(connection.Handle()));  // matched, unchanged
  EXPECT_EQ("2", connection.Value("SELECT COUNT(*) FROM t"));
}

TEST_F(ClientServerTest, AccountsWithAndWithoutTls) {
  const qg::rig::MariaDBServer* server = qg::rig::TestServer();
  const std::string ca = server->CaFile();
  const std::string cert = server->ClientCertFile();
  const std::string key = server->ClientKeyFile();
  struct Case {
    const char* what;
    const qg::rig::TestAccount& account;
    bool tls;
    bool client_certificate;
    bool connects;
  } cases[] = {
      {"password over TCP", qg::rig::kPasswordAccount, false, false, true},
      {"TLS account without TLS", qg::rig::kTlsAccount, false, false, false},
      {"TLS account with TLS", qg::rig::kTlsAccount, true, false, true},
      {"X509 account without a certificate", qg::rig::kX509Account, true, false, false},
      {"X509 account with its certificate", qg::rig::kX509Account, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Connection connection;
    if (c.tls) {
      ASSERT_EQ(0, gMariaDB.mysql_ssl_set(connection.Handle(),
                                          c.client_certificate ? key.c_str() : nullptr,
                                          c.client_certificate ? cert.c_str() : nullptr,
                                          ca.c_str(), nullptr, nullptr));
    } else {
      my_bool off = 0;
      gMariaDB.mysql_options(connection.Handle(), MYSQL_OPT_SSL_ENFORCE, &off);
    }
    bool connected = connection.Connect(c.account, "", true);
    EXPECT_EQ(c.connects, connected) << connection.Error();
    if (connected) {
      std::string cipher = connection.Value("SELECT VARIABLE_VALUE FROM "
                                            "information_schema.SESSION_STATUS WHERE "
                                            "VARIABLE_NAME = 'SSL_CIPHER'");
      EXPECT_EQ(c.tls, !cipher.empty() && cipher != "(no row)") << cipher;
    } else {
      EXPECT_EQ(1045u, gMariaDB.mysql_errno(connection.Handle()));
    }
  }
}

TEST(MariaDBRig, ClearsClientVariables) {
  setenv("MYSQL_HOST", "elsewhere", 1);
  setenv("MYSQL_PWD", "secret", 1);
  setenv("MARIADB_HOME", "/nowhere", 1);
  setenv("QG_MYSQL_KEEP", "1", 1);
  setenv("MYSQLKEEP", "1", 1);
  qg::rig::ClearClientEnvironment();
  EXPECT_EQ(nullptr, getenv("MYSQL_HOST"));
  EXPECT_EQ(nullptr, getenv("MYSQL_PWD"));
  EXPECT_EQ(nullptr, getenv("MARIADB_HOME"));
  EXPECT_NE(nullptr, getenv("QG_MYSQL_KEEP"));
  EXPECT_NE(nullptr, getenv("MYSQLKEEP"));
  unsetenv("QG_MYSQL_KEEP");
  unsetenv("MYSQLKEEP");
}

TEST(MariaDBRig, StartsAndStopsWithinSecondsLeavingNothingBehind) {
  qg::rig::MariaDBServer server;
  auto start = std::chrono::steady_clock::now();
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  pid_t pid = server.ServerPid();
  std::string folder = server.Folder();
  EXPECT_EQ(0, kill(pid, 0));
  server.Stop();
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 30.0);
  EXPECT_EQ(-1, kill(pid, 0));
  EXPECT_EQ(ESRCH, errno);
  struct stat st;
  EXPECT_NE(0, stat(folder.c_str(), &st));
}

}  // namespace
