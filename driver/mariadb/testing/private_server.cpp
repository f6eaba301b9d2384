#include "driver/mariadb/testing/private_server.h"

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <dirent.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "driver/mariadb/testing/process.h"

extern char** environ;

namespace qg::rig {

namespace {

// A port that was free on the loopback interface a moment ago.
int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

// True when something on the socket sends the first bytes of a greeting
// within timeout_ms.
bool Greets(int fd, const sockaddr* address, socklen_t length, int timeout_ms) {
  bool answered = false;
  if (connect(fd, address, length) == 0) {
    pollfd p = {fd, POLLIN, 0};
    char byte[16];
    answered = poll(&p, 1, timeout_ms) == 1 && recv(fd, byte, sizeof(byte), 0) > 0;
  }
  close(fd);
  return answered;
}

bool UnixSocketGreets(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
  return Greets(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address), 500);
}

bool TcpPortGreets(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return Greets(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address), 500);
}

}  // namespace

MariaDBServer::~MariaDBServer() { Stop(); }

namespace {

// Reads the first number of a file; 0 when none.
long ReadPid(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return 0;
  long pid = 0;
  if (std::fscanf(f, "%ld", &pid) != 1) pid = 0;
  std::fclose(f);
  return pid;
}

bool IsAlive(long pid) { return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

// Folders of runs whose test binary is gone (a crash): their server, if it
// still runs from that folder, is stopped, and the folder removed.
void RemoveAbandonedFolders() {
  DIR* tmp = opendir("/tmp");
  if (tmp == nullptr) return;
  std::vector<std::string> abandoned;
  while (dirent* entry = readdir(tmp)) {
    if (std::strncmp(entry->d_name, "qgmaria.", 8) != 0) continue;
    std::string folder = std::string("/tmp/") + entry->d_name;
    long owner = ReadPid(folder + "/owner.pid");
    if (owner == 0 || IsAlive(owner)) continue;
    abandoned.push_back(folder);
  }
  closedir(tmp);
  for (const std::string& folder : abandoned) {
    long server = ReadPid(folder + "/server.pid");
    if (IsAlive(server)) {
      // Only a server started from that folder: pids are reused.
      std::string cmdline;
      FILE* f = std::fopen(("/proc/" + std::to_string(server) + "/cmdline").c_str(), "r");
      if (f != nullptr) {
        char buffer[4096];
        size_t n = std::fread(buffer, 1, sizeof(buffer), f);
        cmdline.assign(buffer, n);
        std::fclose(f);
      }
      if (cmdline.find(folder) != std::string::npos) kill(static_cast<pid_t>(server), SIGKILL);
    }
    RemoveTree(folder);
  }
}

}  // namespace

bool MariaDBServer::Start(std::string* error) {
  RemoveAbandonedFolders();
  char pattern[] = "/tmp/qgmaria.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    *error = "mkdtemp failed";
    return false;
  }
  m_strFolder = pattern;
  if (FILE* owner = std::fopen((m_strFolder + "/owner.pid").c_str(), "w")) {
    std::fprintf(owner, "%ld\n", static_cast<long>(getpid()));
    std::fclose(owner);
  }
  m_strSocket = m_strFolder + "/server.sock";
  bool ok = MakeCertificates(error) && Install(error);
  // A port found free may be taken before the server binds it: try again.
  bool up = false;
  for (int attempt = 0; ok && !up && attempt < 3; ++attempt) {
    up = Launch(error) && WaitUntilAnswering(error);
  }
  ok = ok && up && CreateAccounts(error);
  if (!ok) {
    *error += "\n--- end of the server's log:\n" + LogTail();
    Stop();
  }
  return ok;
}

void MariaDBServer::Stop() {
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    int code = 0;
    if (!WaitProcessFor(m_pid, 30000, &code)) {
      kill(m_pid, SIGKILL);
      WaitProcess(m_pid);
    }
    m_pid = -1;
  }
  if (!m_strFolder.empty()) {
    RemoveTree(m_strFolder);
    m_strFolder.clear();
  }
}

bool MariaDBServer::MakeCertificates(std::string* error) {
  const std::string& f = m_strFolder;
  const std::string log = f + "/openssl.log";
  WriteFile(f + "/server.ext",
            "basicConstraints=CA:FALSE\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n");
  WriteFile(f + "/client.ext", "basicConstraints=CA:FALSE\n");
  const std::vector<std::vector<std::string>> steps = {
      {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
       "-nodes", "-keyout", f + "/ca-key.pem", "-out", f + "/ca.pem", "-days", "3", "-subj",
       "/CN=qg test CA"},
      {"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
       "-keyout", f + "/server-key.pem", "-out", f + "/server.csr", "-subj", "/CN=localhost"},
      {"openssl", "x509", "-req", "-in", f + "/server.csr", "-CA", f + "/ca.pem", "-CAkey",
       f + "/ca-key.pem", "-set_serial", "2", "-days", "3", "-extfile", f + "/server.ext",
       "-out", f + "/server-cert.pem"},
      {"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
       "-keyout", f + "/client-key.pem", "-out", f + "/client.csr", "-subj",
       std::string("/CN=") + kX509Account.pszUser},
      {"openssl", "x509", "-req", "-in", f + "/client.csr", "-CA", f + "/ca.pem", "-CAkey",
       f + "/ca-key.pem", "-set_serial", "3", "-days", "3", "-extfile", f + "/client.ext",
       "-out", f + "/client-cert.pem"},
  };
  for (const auto& step : steps) {
    if (RunProcess(step, log) != 0) {
      *error = "openssl failed: " + ReadFile(log);
      return false;
    }
  }
  return true;
}

bool MariaDBServer::Install(std::string* error) {
  const std::string log = m_strFolder + "/install.log";
  std::vector<std::string> argv = {"mariadb-install-db", "--no-defaults",
                                   "--datadir=" + m_strFolder + "/data",
                                   "--auth-root-authentication-method=normal", "--skip-test-db",
                                   "--skip-name-resolve",
                                   // Parallel installs must not share (and
                                   // delete) one temporary folder.
                                   "--tmpdir=" + m_strFolder};
  if (geteuid() == 0) argv.push_back("--user=root");
  int code = RunProcess(argv, log);
  if (code != 0) {
    *error = "mariadb-install-db exited with " + std::to_string(code) + ": " + ReadFile(log);
    return false;
  }
  return true;
}

bool MariaDBServer::Launch(std::string* error) {
  m_nPort = FreeLoopbackPort();
  if (m_nPort == 0) {
    *error = "no free loopback port";
    return false;
  }
  const std::string& f = m_strFolder;
  std::vector<std::string> argv = {
      "mariadbd", "--no-defaults", "--datadir=" + f + "/data",
      "--socket=" + m_strSocket, "--port=" + std::to_string(m_nPort),
      "--bind-address=127.0.0.1", "--pid-file=" + f + "/server.pid",
      "--log-error=" + f + "/server.err", "--tmpdir=" + f, "--skip-name-resolve",
      "--innodb-buffer-pool-size=32M", "--max-allowed-packet=64M",
      "--ssl-ca=" + f + "/ca.pem",
      "--ssl-cert=" + f + "/server-cert.pem", "--ssl-key=" + f + "/server-key.pem"};
  // The server refuses to run as root unless told so.
  if (geteuid() == 0) argv.push_back("--user=root");
  m_pid = SpawnProcess(argv, f + "/server.out");
  if (m_pid <= 0) {
    m_pid = -1;
    *error = "cannot start mariadbd (scripts/install-deps installs mariadb-server)";
    return false;
  }
  return true;
}

bool MariaDBServer::WaitUntilAnswering(std::string* error) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    int code = 0;
    if (WaitProcessFor(m_pid, 0, &code)) {
      m_pid = -1;
      *error = "mariadbd exited with " + std::to_string(code);
      return false;
    }
    if (UnixSocketGreets(m_strSocket) && TcpPortGreets(m_nPort)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *error = "mariadbd did not answer within 60 s";
  kill(m_pid, SIGKILL);
  WaitProcess(m_pid);
  m_pid = -1;
  return false;
}

bool MariaDBServer::CreateAccounts(std::string* error) {
  std::string sql;
  for (const TestAccount* account : {&kPasswordAccount, &kTlsAccount, &kX509Account}) {
    std::string user = std::string("'") + account->pszUser + "'@'%'";
    sql += "CREATE USER " + user + " IDENTIFIED BY '" + account->pszPassword + "'";
    if (account == &kTlsAccount) sql += " REQUIRE SSL";
    if (account == &kX509Account) sql += " REQUIRE X509";
    sql += ";GRANT ALL PRIVILEGES ON `qgt\\_%`.* TO " + user + ";";
  }
  std::string output;
  if (!RunSql(sql, &output)) {
    *error = "creating the test accounts failed: " + output;
    return false;
  }
  return true;
}

bool MariaDBServer::RunSql(const std::string& sql, std::string* output) const {
  static std::atomic<int> counter{0};
  const std::string log = m_strFolder + "/sql." + std::to_string(++counter) + ".out";
  int code = RunProcess({"mariadb", "--no-defaults", "--protocol=socket", "--socket=" + m_strSocket,
                         "--user=root", "--batch", "--skip-column-names", "--execute=" + sql},
                        log);
  if (output != nullptr) *output = ReadFile(log);
  std::remove(log.c_str());
  return code == 0;
}

std::string MariaDBServer::LogTail() const {
  std::string text = ReadFile(m_strFolder + "/server.err") + ReadFile(m_strFolder + "/server.out");
  return text.size() > 3000 ? text.substr(text.size() - 3000) : text;
}

void ClearClientEnvironment() {
  std::vector<std::string> names;
  for (char** p = environ; p != nullptr && *p != nullptr; ++p) {
    std::string entry(*p);
    std::string name = entry.substr(0, entry.find('='));
    if (name.rfind("MYSQL_", 0) == 0 || name.rfind("MARIADB_", 0) == 0) names.push_back(name);
  }
  for (const std::string& name : names) unsetenv(name.c_str());
}

}  // namespace qg::rig
