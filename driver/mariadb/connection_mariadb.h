// The MariaDB connection: owns the connection's one client handle (MYSQL),
// opens it (library loading, handshake character set, TLS, connect with
// optional creation of the database, server version, character set of the
// conversation), closes it and runs statement texts.
//
// Lock: the base's critical section is held around every client call with
// the handle (it is re-entrant: the opening runs SET NAMES and CREATE
// DATABASE through bExecuteText while holding it). Every client call runs
// inside a guard that turns the trap of a missing function (message 37) or
// any other exception (message 23 "MariaDB", plus the manager's fault hook)
// into an error of the caller's error-status object.
//
// Texts travel in the connection code page: 65001 once the conversation is
// stated as utf8mb4 after the connect, else 1252, stated as latin1 (MariaDB's
// name for it) whatever the server's default or init_connect chose. No text
// literal is written while the client library names another set than the
// one stated. File paths (TLS files, the socket) always go in UTF-8.
#ifndef QG_DRIVER_MARIADB_CONNECTION_MARIADB_H_
#define QG_DRIVER_MARIADB_CONNECTION_MARIADB_H_

#include <mariadb/mysql.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/mariadb/client_link.h"

class CNASQLTypeMap;

class CNAConnectionMariaDB : public CNAConnection, public INAMariaDBClientLink {
 public:
  CNAConnectionMariaDB(const char16_t* key, INAConnectionDescription* description,
                       CNAManager* manager);
  // Defaults only (copies).
  explicit CNAConnectionMariaDB(CNAManager* manager);
  ~CNAConnectionMariaDB() override;  // closes without error object

  bool bOpen(CNAError* error, int32_t flag) override;                      // 2
  bool bIsOpen() override;                                                  // 3
  bool bClose(CNAError* error) override;                                    // 4
  // InnoDB drops row locks when a transaction ends: handles are reset.
  bool bTransactionEndResetsHandles() override { return true; }            // 7
  // A MariaDB server refuses NOT NULL on generated columns.
  bool bCanDeclareNotNull(const CNAColumn* column) override;               // 16
  bool bOpenOrCreateDatabase(CNAError* error) override;                    // 17
  // "SELECT * FROM <quoted name> FOR UPDATE", rows discarded.
  bool bLockRecords(CNAError* error, const char16_t* table) override;      // 24
  int32_t nGetErrorCategory(int32_t server_error) override;                // 28
  bool bExecuteText(CNAError* error, const char16_t* text) override;       // 35
  bool bExecuteQuery(CNAError* error, const char16_t* text) override;      // 36
  void CopyFrom(CNAConnection* source, INACopyContext* context, intptr_t a,
                intptr_t b) override;                                       // 38
  CNAConnection* pclCreate(INACopyContext* context, intptr_t a, intptr_t b) override;  // 39
  // Index names belong to their table on MariaDB.
  bool bIndexNamesNeedNoTablePrefix() override { return true; }            // 48
  // The value as a quoted literal escaped for this connection: texts in the
  // connection code page (refused when a character has no byte there),
  // other values as X'hex'.
  bool bTextLiteral(CNAError* error, CDualString* out, int32_t type, const void* data,
                    size_t size) override;                                  // 40

  // Column types (connection_mariadb_types.cpp).
  // Fits a value to a column type before it becomes a literal.
  bool bFitValue(CNAError* error, CAny& value, int32_t column_type) override;  // 30
  // A declared type text and its collation into a column type, size,
  // digits and scale; never fails (an unknown type gives 15, 8).
  bool bParseTypeName(CNAError* error, int32_t* type, int32_t* size, int32_t* precision,
                      int32_t* scale, const char16_t* type_text, const char16_t* collation);
  // The connection's SQL type map, made on first use (generic names, then
  // MariaDB's for the server of the last opening) and published once.
  CNASQLTypeMap* pclGetTypeMap();
  // The SQL type declaration of a column (user errors 46, 85, 86).
  bool bGetColumnTypeSQL(CNAError* error, const CNAColumn& column, CTString* out);
  // Runs a text and reads column `column` of its first row as text.
  bool bReadOneValue(CNAError* error, CAny* out, int column, const char16_t* text);
  // Runs bytes already in the connection code page.
  bool bExecuteBytes(CNAError* error, const char* text, size_t length);
  // Runs a dual string in the connection code page.
  bool bExecuteDual(CNAError* error, CDualString& text);

  // Opening with an optional creation of the database; the caller holds
  // the lock.
  bool bOpenConnection(CNAError* error, bool create);

  // Records the client's last error on the handle (message 22 with the data
  // source and the error number, the client's text, the base code).
  bool bRecordClientError(MYSQL* handle, CNAError* error, uint32_t major,
                          uint32_t minor) override;
  bool nGetServerErrno(MYSQL* handle, CNAError* error, uint32_t* number);

  // Version predicates about the server of the last opening.
  bool bIsServerMariaDB() const { return m_bServerIsMariaDB; }
  bool bIsServer41OrLater() const;
  bool bIsServer412OrLater() const;
  bool bIsMySQL576OrLater() const;
  bool bHasFractionalSeconds() const;
  bool bIsServerVersionAtLeast(int major, int minor, int patch, int mariadb_major,
                               int mariadb_minor, int mariadb_patch) const;
  static bool bIsClient41OrLater();
  static bool bMultiResultsAvailable();

  // The handle (null while closed); use under the lock.
  MYSQL* pGetHandle() const { return m_pHandle; }

  // --- what the MariaDB statements use (INAMariaDBClientLink) ---
  MYSQL* pGetClientHandle() override { return m_pHandle; }
  CNACriticalSection* pGetClientLock() override { return pGetLock(); }
  uint32_t nGetServerCodePage() override {
    return m_nConnectionCodePage > 0 ? static_cast<uint32_t>(m_nConnectionCodePage) : 1252;
  }
  int32_t nGetHostCodePage() override { return m_nLanguageCodePage; }
  NAServerVersion clGetServerVersion() override {
    return {m_bServerIsMariaDB, m_nServerMajor, m_nServerMinor, m_nServerPatch};
  }
  bool bReopen(CNAError* error) override;
  void AddOpenUnbufferedResult(int delta) override { m_nOpenUnbuffered.fetch_add(delta); }
  int nGetOpenUnbufferedResults() override { return m_nOpenUnbuffered.load(); }
  bool bLinkMultiResults() override { return bMultiResultsAvailable(); }
  const char16_t* pszGetLinkDataSource() override { return pszGetDataSource(); }
  // Against the set stated at the opening; lock held.
  bool bConversationChanged(CNAError* error) override;
  void NoteStatementSent() override { ++m_nStatementsSent; }
  void NoteSessionState() override;

  // Runs a client call inside the guard; false when it threw (the error is
  // recorded with the site pair).
  template <class F>
  bool bGuarded(CNAError* error, uint32_t minor, F call);
  void RecordGuardFailure(CNAError* error, uint32_t minor, const char16_t* missing);

 private:
  bool bReadServerInfo(CNAError* error);
  bool bSetCharsetAndOptions(CNAError* error, bool ssl, bool needs_utf8);
  // Names the conversation's character set after the connect (utf8mb4 with
  // Unicode, else latin1) and keeps the client library's name for it.
  bool bStateConversation(CNAError* error);
  bool bStateCharset(const char* name);
  // One row of a query run directly on the handle, its first
  // columns->size() columns; false when it failed or gave no row. Lock held.
  bool bReadServerColumns(const char* sql, std::vector<std::string>* columns);

  bool bSetSSL(CNAError* error);
  bool bRealConnect(CNAError* error, bool create);
  bool bConnectOnce(CNAError* error, uint32_t minor, const char* database);
  void ReadConnectSettings();
  void CloseHandle();  // lock held

  std::atomic<int> m_nOpenUnbuffered{0};
  std::atomic<CNASQLTypeMap*> m_pTypeMap{nullptr};
  bool m_bServerIsMariaDB = false;
  bool m_bOpen = false;
  MYSQL* m_pHandle = nullptr;
  // "Server Port", "Client Flag", "Unix Socket": read once, kept for
  // reopening.
  bool m_bConnectSettingsRead = false;
  int32_t m_nPort = 0;
  int32_t m_nClientFlag = 0;
  CTString m_strSocket;
  bool m_bHasSocket = false;
  // Arguments of one opening (converted, kept until it ends).
  std::string m_strHost, m_strUser, m_strPassword, m_strDatabase;
  bool m_bHasDatabase = false;
  // The client library's name of the character set stated at the opening
  // ("latin1", "utf8mb4"); empty when the library cannot name it.
  std::string m_strStatedCharset;
  // The server's character_set_client, _connection and _results as stated
  // ("utf8mb4,utf8mb4,utf8mb4"), and whether the server reports changes of
  // all three (else they are read again once statements ran since the last
  // check); as last reported, and the first reported that differs.
  std::string m_strServerCharset;
  bool m_bCharsetTracked = false;
  std::string m_astrStatedSets[3];
  std::string m_astrReportedSets[3];
  std::string m_strSwitchedTo;
  // The first of three sets that differs from its stated value ("(none)"
  // for an empty one); empty when none does.
  std::string FirstSwitched(const std::string (&sets)[3]) const;
  uint64_t m_nStatementsSent = 0;     // lock held
  uint64_t m_nStatementsChecked = 0;  // lock held
  unsigned int m_nConnectPort = 0;
  unsigned long m_nConnectFlags = 0;
};

template <class F>
bool CNAConnectionMariaDB::bGuarded(CNAError* error, uint32_t minor, F call) {
  try {
    call();
    return true;
  } catch (const CTString& missing) {
    RecordGuardFailure(error, minor, missing.pszGet());
  } catch (...) {
    RecordGuardFailure(error, minor, nullptr);
  }
  return false;
}

#endif  // QG_DRIVER_MARIADB_CONNECTION_MARIADB_H_
