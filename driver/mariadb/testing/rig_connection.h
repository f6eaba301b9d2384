// Test equipment: a driver connection whose client handle is opened
// directly on a private server's socket with the password account, so that
// statements can run without the connection's own opening.
#ifndef QG_DRIVER_MARIADB_TESTING_RIG_CONNECTION_H_
#define QG_DRIVER_MARIADB_TESTING_RIG_CONNECTION_H_

#include <cstdio>
#include <string>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_link.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"

namespace qg::rig {

// A connection whose handle the test opens on the rig's socket.
class RigConnection : public CNAConnection, public INAMariaDBClientLink {
 public:
  RigConnection() : CNAConnection(nullptr) {
    m_nDbmsKind = 5;
    m_nConnectionCodePage = 1252;
    m_strOpenQuote.Set(u"`");
    m_nOpenQuoteLength = 1;
    m_strCloseQuote.Set(u"`");
    m_nCloseQuoteLength = 1;
  }
  ~RigConnection() override { Disconnect(); }

  bool Connect(const std::string& socket, const std::string& database, bool utf8) {
    m_strSocket = socket;
    m_strDatabaseName = database;
    m_bUtf8 = utf8;
    return bReopen(nullptr);
  }
  void Disconnect() {
    if (m_pHandle != nullptr) gMariaDB.mysql_close(m_pHandle);
    m_pHandle = nullptr;
  }

  // CNAConnection.
  bool bOpen(CNAError* error, int32_t) override { return bReopen(error); }
  bool bIsOpen() override { return m_pHandle != nullptr; }
  bool bClose(CNAError*) override {
    Disconnect();
    return true;
  }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
  // Texts run through a MariaDB statement; a record lock reads the table
  // FOR UPDATE.
  bool bExecuteText(CNAError* error, const char16_t* text) override {
    CNAStatementMariaDB statement(this);
    return statement.bExecuteWide(text, error);
  }
  bool bLockRecords(CNAError* error, const char16_t* table) override {
    CTString quoted;
    if (!bQuoteQualifiedName(error, table, &quoted)) return false;
    std::u16string text = u"SELECT * FROM ";
    text += quoted.pszGet();
    text += u" FOR UPDATE";
    return bExecuteText(error, text.c_str());
  }
  // Makes the server look like another (a version text such as "8.0.30").
  void ForceServerVersion(const char16_t* text, int major, int minor, int patch) {
    m_strServerVersion.Set(text);
    m_nServerMajor = major;
    m_nServerMinor = minor;
    m_nServerPatch = patch;
  }

  // INAMariaDBClientLink.
  MYSQL* pGetClientHandle() override { return m_pHandle; }
  CNACriticalSection* pGetClientLock() override { return pGetLock(); }
  uint32_t nGetServerCodePage() override { return m_bUtf8 ? 65001 : 1252; }
  int32_t nGetHostCodePage() override { return 1252; }
  NAServerVersion clGetServerVersion() override { return {true, 10, 11, 0}; }
  bool bRecordClientError(MYSQL* handle, CNAError* error, uint32_t major,
                          uint32_t minor) override {
    if (error == nullptr) return true;
    unsigned int number = gMariaDB.mysql_errno(handle);
    if (number == 0) return true;
    std::string text = gMariaDB.mysql_error(handle);
    error->SetErrorMessage(0, major, minor, this, 53, std::u16string(text.begin(), text.end()).c_str());
    error->SetBaseCode(static_cast<int32_t>(number));
    return true;
  }
  bool bReopen(CNAError*) override {
    Disconnect();
    m_pHandle = gMariaDB.mysql_init(nullptr);
    gMariaDB.mysql_options(m_pHandle, MYSQL_SET_CHARSET_NAME, m_bUtf8 ? "utf8mb4" : "latin1");
    if (gMariaDB.mysql_real_connect(
            m_pHandle, nullptr, kPasswordAccount.pszUser,
            kPasswordAccount.pszPassword, m_strDatabaseName.c_str(), 0,
            m_strSocket.c_str(),
            CLIENT_FOUND_ROWS | CLIENT_MULTI_STATEMENTS | CLIENT_MULTI_RESULTS) == nullptr) {
      Disconnect();
      return false;
    }
    m_nConnectionCodePage = m_bUtf8 ? 65001 : 1252;
    std::string version = gMariaDB.mysql_get_server_info(m_pHandle);
    m_strServerVersion.Set(std::u16string(version.begin(), version.end()).c_str());
    int numbers[3] = {0, 0, 0};
    std::sscanf(version.c_str(), "%d.%d.%d", &numbers[0], &numbers[1], &numbers[2]);
    m_nServerMajor = numbers[0];
    m_nServerMinor = numbers[1];
    m_nServerPatch = numbers[2];
    return true;
  }
  void AddOpenUnbufferedResult(int delta) override { m_nUnbuffered += delta; }
  int nGetOpenUnbufferedResults() override { return m_nUnbuffered; }
  bool bLinkMultiResults() override { return !qg::IsClientTrap(gMariaDB.mysql_next_result); }
  const char16_t* pszGetLinkDataSource() override { return u"rig"; }

 private:
  MYSQL* m_pHandle = nullptr;
  std::string m_strSocket;
  std::string m_strDatabaseName;
  bool m_bUtf8 = false;
  int m_nUnbuffered = 0;
};

}  // namespace qg::rig

#endif  // QG_DRIVER_MARIADB_TESTING_RIG_CONNECTION_H_
