#include "driver/mariadb/connection_mariadb.h"

#include <cstring>
#include <new>
#include <string>

#include "driver/core/dual_string.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/manager.h"
#include "driver/core/support/server_address.h"
#include "driver/core/support/text_helpers.h"
#include "driver/mariadb/client_argument.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_version.h"
#include "driver/sql/column.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/sql_service.h"
#include "driver/sql/sql_type_map.h"
#include "errors/internal_error.h"
#include "support/platform/format.h"

namespace {

constexpr uint32_t kSiteMajor = 101;

// UTF-8 bytes of a path (the file system's encoding).
std::string Utf8(const CTString& text) {
  bool lossy = false;
  return NAEncodeExact(text.pszGet(), static_cast<size_t>(text.nTaille()), 65001, &lossy);
}

bool IsUnicodeTextType(int32_t type) { return type == 16 || type == 110; }

}  // namespace

CNAConnectionMariaDB::CNAConnectionMariaDB(const char16_t* key,
                                           INAConnectionDescription* description,
                                           CNAManager* manager)
    : CNAConnection(key, description, manager) {
  m_nDbmsKind = 5;
  m_strOpenQuote = u"`";
  m_nOpenQuoteLength = 1;
  m_strCloseQuote = u"`";
  m_nCloseQuoteLength = 1;
  m_strBinaryPrefix = u"X'";
  m_strBinarySuffix = u"'";
}

CNAConnectionMariaDB::CNAConnectionMariaDB(CNAManager* manager) : CNAConnection(manager) {
  m_nDbmsKind = 5;
  m_strOpenQuote = u"`";
  m_nOpenQuoteLength = 1;
  m_strCloseQuote = u"`";
  m_nCloseQuoteLength = 1;
  m_strBinaryPrefix = u"X'";
  m_strBinarySuffix = u"'";
}

CNAConnectionMariaDB::~CNAConnectionMariaDB() {
  CNALock lock(pGetLock());
  bClose(nullptr);
  CloseHandle();
  CNASQLTypeMap* map = m_pTypeMap.exchange(nullptr);
  if (map != nullptr) map->Release();
}

// ---- guard and errors

void CNAConnectionMariaDB::RecordGuardFailure(CNAError* error, uint32_t minor,
                                              const char16_t* missing) {
  if (error == nullptr) return;
  _CXErrorModule76 built;
  uint32_t identifier = missing != nullptr ? 37u : 23u;
  built.SetUserError(gstErrorDefModule76, identifier, missing != nullptr ? missing : u"MariaDB");
  built.AddInfo(EIT_NATIVECODE, static_cast<int32_t>(identifier));
  AddInternalErrorText(&built, kSiteMajor, minor);
  error->SetError(0, built, this);
  if (missing == nullptr) {
    CNAManager* manager = pclGetManager();
    if (manager != nullptr) {
      manager->ReportClientFailure(error, true);
    } else {
      error->AddDebugMessage(3355u, gstrClientVersion.pszGet());
    }
  }
}

bool CNAConnectionMariaDB::nGetServerErrno(MYSQL* handle, CNAError* error, uint32_t* number) {
  *number = 0;
  if (handle == nullptr) return true;
  return bGuarded(error, 13, [&] { *number = gMariaDB.mysql_errno(handle); });
}

bool CNAConnectionMariaDB::bRecordClientError(MYSQL* handle, CNAError* error, uint32_t major,
                                              uint32_t minor) {
  uint32_t number = 0;
  if (!nGetServerErrno(handle, error, &number)) return false;
  if (number == 0) return true;
  const char* text = nullptr;
  bool ok = bGuarded(error, 12, [&] { text = gMariaDB.mysql_error(handle); });
  if (error == nullptr) return ok;
  _CXErrorModule76 built;
  const char16_t* source = pszGetDataSource();
  built.SetUserError(gstErrorDefModule76, 22u, source != nullptr ? source : u"",
                     static_cast<int32_t>(number));
  if (ok && text != nullptr) {
    std::u16string wide = CNAClientArgument::pszGetWide(text, std::strlen(text),
                                                        m_nConnectionCodePage);
    built.AddUserMessageText(wide.c_str());
  }
  AddInternalErrorText(&built, major, minor);
  built.AddInfo(EIT_BASECODE, static_cast<int32_t>(number));
  error->SetError(0, built, this);
  return ok;
}

// ---- version predicates

bool CNAConnectionMariaDB::bIsServer41OrLater() const {
  return m_nServerMajor > 4 || (m_nServerMajor == 4 && m_nServerMinor > 0);
}

bool CNAConnectionMariaDB::bIsServer412OrLater() const {
  return m_nServerMajor > 4 || (m_nServerMajor == 4 && m_nServerMinor > 1) ||
         (m_nServerMajor == 4 && m_nServerMinor == 1 && m_nServerPatch > 1);
}

bool CNAConnectionMariaDB::bIsMySQL576OrLater() const {
  return !m_bServerIsMariaDB && bIsServerVersionAtLeast(5, 7, 6, 5, 7, 6);
}

bool CNAConnectionMariaDB::bHasFractionalSeconds() const {
  return bIsServerVersionAtLeast(5, 6, 4, 5, 3, 0);
}

bool CNAConnectionMariaDB::bIsServerVersionAtLeast(int major, int minor, int patch,
                                                   int mariadb_major, int mariadb_minor,
                                                   int mariadb_patch) const {
  int a = m_bServerIsMariaDB ? mariadb_major : major;
  int b = m_bServerIsMariaDB ? mariadb_minor : minor;
  int c = m_bServerIsMariaDB ? mariadb_patch : patch;
  if (m_nServerMajor != a) return m_nServerMajor > a;
  if (m_nServerMinor != b) return m_nServerMinor > b;
  return m_nServerPatch >= c;
}

bool CNAConnectionMariaDB::bIsClient41OrLater() {
  return gbClientHasInfoV || gnClientVersionMajor > 4 ||
         (gnClientVersionMajor == 4 && gnClientVersionMinor > 0);
}

bool CNAConnectionMariaDB::bMultiResultsAvailable() {
  return gbClientHasNextResult && bIsClient41OrLater();
}

bool CNAConnectionMariaDB::bCanDeclareNotNull(const CNAColumn* column) {
  return !(m_bServerIsMariaDB && column != nullptr && column->bHasGeneration());
}

int32_t CNAConnectionMariaDB::nGetErrorCategory(int32_t server_error) {
  switch (server_error) {
    case 1205: case 1213:
      return 2;
    case 1022: case 1062: case 1169:
      return 3;
    case 1216: case 1217: case 1451: case 1452: case 1557: case 1761: case 1762:
      return 4;
    case 1048: case 1364:
      return 8;
    default:
      return 0;
  }
}

// ---- opening and closing

bool CNAConnectionMariaDB::bOpen(CNAError* error, int32_t) {
  CNALock lock(pGetLock());
  return bOpenConnection(error, false);
}

bool CNAConnectionMariaDB::bOpenOrCreateDatabase(CNAError* error) {
  CNALock lock(pGetLock());
  return bOpenConnection(error, true);
}

bool CNAConnectionMariaDB::bIsOpen() {
  CNALock lock(pGetLock());
  return m_bOpen;
}

void CNAConnectionMariaDB::CloseHandle() {
  if (m_pHandle != nullptr && !qg::IsClientTrap(gMariaDB.mysql_close)) {
    MYSQL* handle = m_pHandle;
    m_pHandle = nullptr;
    bGuarded(nullptr, 8, [&] { gMariaDB.mysql_close(handle); });
  }
}

bool CNAConnectionMariaDB::bClose(CNAError* error) {
  CNALock lock(pGetLock());
  bool ok = true;
  if (m_bOpen && m_pHandle != nullptr) {
    if (qg::IsClientTrap(gMariaDB.mysql_close)) {
      // The binding was terminated: the handle stays for the next opening,
      // which frees it once the library is bound again.
      RecordGuardFailure(error, 8, u"mysql_close");
      ok = false;
    } else {
      MYSQL* handle = m_pHandle;
      m_pHandle = nullptr;
      ok = bGuarded(error, 8, [&] { gMariaDB.mysql_close(handle); });
    }
  }
  m_bOpen = false;
  return ok;
}

void CNAConnectionMariaDB::ReadConnectSettings() {
  if (m_bConnectSettingsRead) return;
  m_bConnectSettingsRead = true;
  CTString value;
  if (bGetExtendedInfo(u"Server Port", &value, true)) {
    m_nPort = 0;
    for (const char16_t* p = value.pszGet(); *p >= u'0' && *p <= u'9'; ++p) {
      m_nPort = m_nPort * 10 + (*p - u'0');
      if (m_nPort > 65535) break;
    }
  }
  value.RAZ();
  if (bGetExtendedInfo(u"Client Flag", &value, true)) {
    int64_t flag = 0;
    const char16_t* p = value.pszGet();
    bool negative = *p == u'-';
    if (negative) ++p;
    for (; *p >= u'0' && *p <= u'9'; ++p) flag = flag * 10 + (*p - u'0');
    m_nClientFlag = static_cast<int32_t>(negative ? -flag : flag);
  }
  value.RAZ();
  if (bGetExtendedInfo(u"Unix Socket", &value, true) && !value.bEstVide()) {
    m_strSocket = value;
    m_bHasSocket = true;
  }
}

bool CNAConnectionMariaDB::bOpenConnection(CNAError* error, bool create) {
  CNALock lock(pGetLock());
  if (m_bOpen) return true;
  RefreshLanguageCodePage();
  m_nConnectionCodePage = 1252;
  if (!CNAMariaDBClient::bIsLoaded()) {
    _CXErrorModule76 load_error;
    const char16_t* library = m_strClientLibrary.bEstVide() ? nullptr : m_strClientLibrary.pszGet();
    if (!CNAMariaDBClient::bLoad(&load_error, library)) {
      if (error != nullptr) error->SetError(0, load_error, this);
      return false;
    }
  }
  m_strClientLibraryVersion = gstrClientVersion;
  CloseHandle();  // a handle of an earlier failed opening
  MYSQL* handle = nullptr;
  if (!bGuarded(error, 6, [&] { handle = gMariaDB.mysql_init(nullptr); })) {
    NASetErrorMessage(error, 0, kSiteMajor, 21, this, 78u);
    return false;
  }
  if (handle == nullptr) {
    NASetErrorMessage(error, 0, kSiteMajor, 21, this, 78u);
    if (error != nullptr) error->AddMessageText(u"mysql_init returned NULL");
    return false;
  }
  m_pHandle = handle;
  ReadConnectSettings();

  bool ssl = !m_strSslKey.bEstVide() || !m_strSslCert.bEstVide() || !m_strSslCa.bEstVide() ||
             !m_strSslCaPath.bEstVide() || !m_strSslCipher.bEstVide() ||
             m_strSslMode.bEstEgalI(u"REQUIRED") || m_strSslMode.bEstEgalI(u"VERIFY_CA") ||
             m_strSslMode.bEstEgalI(u"VERIFY_IDENTITY");
  CXYString<char16_t> password = clGetPassword().clGetClearText();
  const char16_t* login[] = {pszGetDataSource(), pszGetUser(), password.pszGet(),
                             pszGetDatabase()};
  // Login texts beyond ASCII travel in UTF-8 when the connection may speak
  // it: servers hash password bytes, and accounts are made by UTF-8
  // clients. Otherwise the handshake declares latin1 and texts go in 1252.
  bool needs_utf8 = false;
  for (const char16_t* text : login) {
    for (const char16_t* p = text; p != nullptr && *p != 0; ++p) {
      if (*p >= 0x80) needs_utf8 = true;
    }
  }
  bool ok = bSetCharsetAndOptions(error, ssl, needs_utf8 && m_nUnicode != 0);
  if (ok && needs_utf8 && m_nUnicode != 0) m_nConnectionCodePage = 65001;
  if (ok && ssl) ok = bSetSSL(error);
  if (ok) {
    int32_t cp = m_nConnectionCodePage;
    bool lossy = false;
    const char16_t* source = pszGetDataSource();
    m_strHost = NAEncodeExact(source != nullptr ? source : u"",
                              source != nullptr ? std::char_traits<char16_t>::length(source) : 0,
                              cp, &lossy);
    const char16_t* user = pszGetUser();
    m_strUser = NAEncodeExact(user != nullptr ? user : u"",
                              user != nullptr ? std::char_traits<char16_t>::length(user) : 0, cp,
                              &lossy);
    m_strPassword = NAEncodeExact(password.pszGet(), static_cast<size_t>(password.nTaille()), cp,
                                  &lossy);
    const char16_t* database = pszGetDatabase();
    m_bHasDatabase = database != nullptr && database[0] != 0;
    m_strDatabase = NAEncodeExact(database != nullptr ? database : u"",
                                  database != nullptr ? std::char_traits<char16_t>::length(database)
                                                      : 0,
                                  cp, &lossy);
    ok = bRealConnect(error, create);
  }
  // The clear password lives no longer than the opening.
  for (char& c : m_strPassword) c = 0;
  m_strPassword.clear();
  if (ok) ok = bReadServerInfo(error);
  if (ok) ok = bStateConversation(error);
  if (!ok) {
    m_bOpen = false;
    CloseHandle();
  }
  return m_bOpen;
}

// The server's defaults and its init_connect may have chosen any character
// set for the conversation: the driver names its own, with Unicode off as
// with it on, and keeps the client library's name for it, so that
// bTextLiteral can tell when the program switched the conversation since.
bool CNAConnectionMariaDB::bStateConversation(CNAError* error) {
  m_strStatedCharset.clear();
  if (m_nUnicode != 0) {
    if (bIsServer41OrLater() && bIsClient41OrLater() &&
        bStateCharset(bIsServerVersionAtLeast(5, 5, 3, 5, 5, 3) ? "utf8mb4" : "utf8")) {
      m_nConnectionCodePage = 65001;
    } else {
      // Texts travel in 1252: the conversation could not be switched.
      m_nUnicode = 0;
    }
  }
  if (m_nUnicode == 0) {
    m_nConnectionCodePage = 1252;
    // Servers before 4.1 know one character set and no SET NAMES.
    if (bIsServer41OrLater() && !bStateCharset("latin1")) {
      NASetErrorMessage(error, 0, kSiteMajor, 32, this, 76u, gstrClientVersion.pszGet());
      if (error != nullptr) {
        error->AddMessageText(u"the server did not accept the character set latin1");
      }
      return false;
    }
  }
  if (!qg::IsClientTrap(gMariaDB.mysql_character_set_name)) {
    const char* name = nullptr;
    if (!bGuarded(error, 33, [&] { name = gMariaDB.mysql_character_set_name(m_pHandle); })) {
      return false;
    }
    if (name != nullptr) m_strStatedCharset = name;
  }
  // The client library learns of a later SET NAMES from the server's
  // session-state reports, which a server may be configured not to send
  // (nor can a session ask for them then): without them the set is read
  // from the server again before a text goes after other statements ran.
  // The server converts literals into character_set_connection and results
  // into character_set_results: a program that sets either alone changes
  // what a text becomes as surely as SET NAMES.
  m_strServerCharset.clear();
  m_strSwitchedTo.clear();
  m_bCharsetTracked = false;
  std::vector<std::string> row(4);
  if (bReadServerColumns("SELECT @@character_set_client, @@character_set_connection, "
                         "@@character_set_results, @@session.session_track_system_variables",
                         &row)) {
    const std::string tracked = "," + row[3] + ",";
    auto reported = [&](const char* name) {
      return tracked == ",*," || tracked.find(std::string(",") + name + ",") != std::string::npos;
    };
    m_bCharsetTracked = !m_strStatedCharset.empty() &&
                        !qg::IsClientTrap(gMariaDB.mysql_session_track_get_first) &&
                        !qg::IsClientTrap(gMariaDB.mysql_session_track_get_next) &&
                        reported("character_set_client") && reported("character_set_connection") &&
                        reported("character_set_results");
    for (int i = 0; i < 3; ++i) {
      m_astrStatedSets[i] = m_astrReportedSets[i] = row[static_cast<size_t>(i)];
    }
    m_strServerCharset = row[0] + "," + row[1] + "," + row[2];
  }
  m_nStatementsChecked = m_nStatementsSent;
  return true;
}

void CNAConnectionMariaDB::NoteSessionState() {
  if (!m_bCharsetTracked || m_pHandle == nullptr) return;
  static const char* const kNames[] = {"character_set_client", "character_set_connection",
                                       "character_set_results"};
  // Names and values alternate.
  bGuarded(nullptr, 36, [&] {
    const char* data = nullptr;
    size_t length = 0;
    int found = gMariaDB.mysql_session_track_get_first(m_pHandle, SESSION_TRACK_SYSTEM_VARIABLES,
                                                       &data, &length);
    while (found == 0) {
      std::string name(data != nullptr ? data : "", data != nullptr ? length : 0);
      if (gMariaDB.mysql_session_track_get_next(m_pHandle, SESSION_TRACK_SYSTEM_VARIABLES, &data,
                                                &length) != 0) {
        break;
      }
      std::string value(data != nullptr ? data : "", data != nullptr ? length : 0);
      for (int i = 0; i < 3; ++i) {
        if (name == kNames[i]) m_astrReportedSets[i] = value;
      }
      found = gMariaDB.mysql_session_track_get_next(m_pHandle, SESSION_TRACK_SYSTEM_VARIABLES,
                                                    &data, &length);
    }
  });
  m_strSwitchedTo = FirstSwitched(m_astrReportedSets);
}

std::string CNAConnectionMariaDB::FirstSwitched(const std::string (&sets)[3]) const {
  for (int i = 0; i < 3; ++i) {
    if (sets[i] != m_astrStatedSets[i]) return sets[i].empty() ? "(none)" : sets[i];
  }
  return std::string();
}

bool CNAConnectionMariaDB::bReadServerColumns(const char* sql, std::vector<std::string>* columns) {
  for (std::string& c : *columns) c.clear();
  bool found = false;
  bool ok = bGuarded(nullptr, 35, [&] {
    if (gMariaDB.mysql_real_query(m_pHandle, sql, static_cast<unsigned long>(std::strlen(sql))) !=
        0) {
      return;
    }
    MYSQL_RES* result = gMariaDB.mysql_store_result(m_pHandle);
    if (result == nullptr) return;
    MYSQL_ROW row = gMariaDB.mysql_fetch_row(result);
    if (row != nullptr && gMariaDB.mysql_num_fields(result) >= columns->size()) {
      for (size_t i = 0; i < columns->size(); ++i) {
        if (row[i] != nullptr) (*columns)[i] = row[i];
      }
      found = true;
    }
    gMariaDB.mysql_free_result(result);
    if (!qg::IsClientTrap(gMariaDB.mysql_next_result)) {
      while (gMariaDB.mysql_next_result(m_pHandle) == 0) {
        MYSQL_RES* more = gMariaDB.mysql_store_result(m_pHandle);
        if (more != nullptr) gMariaDB.mysql_free_result(more);
      }
    }
  });
  return ok && found;
}

// Through the client library when it can (its escaping then follows the
// set), else as SET NAMES; lock held.
bool CNAConnectionMariaDB::bStateCharset(const char* name) {
  CNAError probe;
  probe.SetSilent(true);
  if (!qg::IsClientTrap(gMariaDB.mysql_set_character_set)) {
    int result = -1;
    return bGuarded(&probe, 32, [&] {
             result = gMariaDB.mysql_set_character_set(m_pHandle, name);
           }) && result == 0;
  }
  std::u16string text(u"SET NAMES '");
  for (const char* p = name; *p != 0; ++p) text.push_back(static_cast<char16_t>(*p));
  text += u"'";
  return bExecuteText(&probe, text.c_str());
}

bool CNAConnectionMariaDB::bConversationChanged(CNAError* error) {
  if (m_pHandle == nullptr || !m_bOpen) return false;
  const char* name = nullptr;
  std::string server;
  bool changed = false;
  if (!m_strStatedCharset.empty()) {
    if (!bGuarded(error, 34, [&] { name = gMariaDB.mysql_character_set_name(m_pHandle); })) {
      return true;
    }
    changed = name == nullptr || m_strStatedCharset != name;
  }
  if (!changed && m_bCharsetTracked) {
    // The server reported each change of the three sets.
    if (m_strSwitchedTo.empty()) return false;
    server = m_strSwitchedTo;
    name = server.c_str();
    changed = true;
  }
  if (!changed) {
    if (m_strServerCharset.empty() || m_nStatementsChecked == m_nStatementsSent) return false;
    // The server does not report the sets: they are asked, unless a result
    // still being read holds the conversation.
    std::vector<std::string> row(3);
    if (m_nOpenUnbuffered.load() == 0 &&
        bReadServerColumns("SELECT @@character_set_client, @@character_set_connection, "
                           "@@character_set_results",
                           &row)) {
      const std::string sets[3] = {row[0], row[1], row[2]};
      server = FirstSwitched(sets);
      if (server.empty()) {
        m_nStatementsChecked = m_nStatementsSent;
        return false;
      }
    } else {
      server.clear();
    }
    name = server.empty() ? "(not readable now)" : server.c_str();
  }
  // Texts are encoded and escaped for the stated set: read in another
  // (gbk, big5, cp932), a byte before an escaped quote can swallow the
  // escape and end the literal.
  NASetErrorMessage(error, 0, kSiteMajor, 34, this, kNAErrorNotSupported);
  if (error != nullptr) {
    std::u16string text(u"the conversation's character set is now ");
    for (const char* p = name != nullptr ? name : "(unknown)"; *p != 0; ++p) {
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    }
    text += u", not ";
    const std::string stated = m_strStatedCharset.empty()
                                   ? m_strServerCharset.substr(0, m_strServerCharset.find(','))
                                   : m_strStatedCharset;
    for (char c : stated) text.push_back(static_cast<char16_t>(c));
    text += u": no text literal, and no text beyond ASCII, is sent until it is set back";
    error->AddMessageText(text.c_str());
  }
  return true;
}

bool CNAConnectionMariaDB::bSetCharsetAndOptions(CNAError* error, bool ssl, bool needs_utf8) {
  if (qg::IsClientTrap(gMariaDB.mysql_options)) {
    if (needs_utf8) {
      NASetErrorMessage(error, 0, kSiteMajor, 2, this, 76u, gstrClientVersion.pszGet());
      return false;
    }
    return true;
  }
  int result = 0;
  const char* charset = needs_utf8 ? "utf8mb4" : "latin1";
  bool ok = bGuarded(error, 4, [&] {
    result = gMariaDB.mysql_options(m_pHandle, MYSQL_SET_CHARSET_NAME, charset);
    // LOAD DATA LOCAL lets a server read client files: off unless asked.
    unsigned int local_infile = (m_nClientFlag & CLIENT_LOCAL_FILES) != 0 ? 1 : 0;
    gMariaDB.mysql_options(m_pHandle, MYSQL_OPT_LOCAL_INFILE, &local_infile);
    if (m_nPort != 0 && !m_bHasSocket) {
      // An explicit port reaches that port, never the default socket.
      unsigned int protocol = MYSQL_PROTOCOL_TCP;
      gMariaDB.mysql_options(m_pHandle, MYSQL_OPT_PROTOCOL, &protocol);
    }
    if (m_nConnectionTimeout > 0) {
      unsigned int seconds = static_cast<unsigned int>(m_nConnectionTimeout);
      gMariaDB.mysql_options(m_pHandle, MYSQL_OPT_CONNECT_TIMEOUT, &seconds);
    }
    if (ssl) {
      my_bool on = 1;
      gMariaDB.mysql_options(m_pHandle, MYSQL_OPT_SSL_ENFORCE, &on);
      if (m_strSslMode.bEstEgalI(u"VERIFY_CA") || m_strSslMode.bEstEgalI(u"VERIFY_IDENTITY")) {
        gMariaDB.mysql_options(m_pHandle, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &on);
      }
    }
  });
  if (!ok || result != 0) {
    NASetErrorMessage(error, 0, kSiteMajor, 20, this, 76u, gstrClientVersion.pszGet());
    return false;
  }
  return true;
}

bool CNAConnectionMariaDB::bSetSSL(CNAError* error) {
  if (qg::IsClientTrap(gMariaDB.mysql_ssl_set)) {
    NASetErrorMessage(error, 0, kSiteMajor, 1, this, 75u, gstrClientVersion.pszGet());
    return false;
  }
  std::string key = Utf8(m_strSslKey), cert = Utf8(m_strSslCert), ca = Utf8(m_strSslCa),
              capath = Utf8(m_strSslCaPath);
  bool lossy = false;
  std::string cipher = NAEncodeExact(m_strSslCipher.pszGet(),
                                     static_cast<size_t>(m_strSslCipher.nTaille()), 1252, &lossy);
  auto arg = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
  int result = 0;
  bool ok = bGuarded(error, 18, [&] {
    result = gMariaDB.mysql_ssl_set(m_pHandle, arg(key), arg(cert), arg(ca), arg(capath),
                                    arg(cipher));
  });
  if (!ok || result != 0) {
    if (ok) bRecordClientError(m_pHandle, error, kSiteMajor, 19);
    NASetErrorMessage(error, 0, kSiteMajor, 22, this, 79u);
    return false;
  }
  return true;
}

bool CNAConnectionMariaDB::bConnectOnce(CNAError* error, uint32_t minor, const char* database) {
  std::string socket = m_bHasSocket ? Utf8(m_strSocket) : std::string();
  MYSQL* result = nullptr;
  bool ok = bGuarded(error, minor, [&] {
    result = gMariaDB.mysql_real_connect(m_pHandle, m_strHost.c_str(), m_strUser.c_str(),
                                         m_strPassword.c_str(), database, m_nConnectPort,
                                         m_bHasSocket ? socket.c_str() : nullptr,
                                         m_nConnectFlags);
  });
  m_bOpen = ok && result != nullptr;
  return ok;
}

bool CNAConnectionMariaDB::bRealConnect(CNAError* error, bool create) {
  unsigned long flags = static_cast<uint32_t>(m_nClientFlag) | CLIENT_FOUND_ROWS |
                        CLIENT_REMEMBER_OPTIONS;
  if (bMultiResultsAvailable()) flags |= CLIENT_MULTI_STATEMENTS;
  m_nConnectFlags = flags;
  m_nConnectPort = static_cast<unsigned int>(m_nPort);
  if (m_nPort == 0) {
    char16_t host[kNAHostCapacity];
    uint16_t port = 0;
    const char16_t* source = pszGetDataSource();
    if (source != nullptr && nSplitHostPort(source, host, &port) != 0 && port != 0) {
      bool lossy = false;
      m_strHost = NAEncodeExact(host, std::char_traits<char16_t>::length(host),
                                m_nConnectionCodePage, &lossy);
      m_nConnectPort = port;
      if (!m_bHasSocket && !qg::IsClientTrap(gMariaDB.mysql_options)) {
        unsigned int protocol = MYSQL_PROTOCOL_TCP;
        bGuarded(nullptr, 4, [&] {
          gMariaDB.mysql_options(m_pHandle, MYSQL_OPT_PROTOCOL, &protocol);
        });
      }
    }
  }
  const char* database = m_bHasDatabase ? m_strDatabase.c_str() : nullptr;
  if (!bConnectOnce(error, 5, database)) return false;
  if (m_bOpen) return true;
  bool recorded = bRecordClientError(m_pHandle, error, kSiteMajor, 16);
  NASetErrorMessage(error, 0, kSiteMajor, 23, this, 79u);
  uint32_t number = 0;
  CNAError probe;
  nGetServerErrno(m_pHandle, &probe, &number);
  if (!(recorded && number == 1049 && create)) return false;

  // Unknown database: connect without it (the handle remembers its
  // options, TLS included), create it and select it on this connection.
  if (!bConnectOnce(error, 27, nullptr) || !m_bOpen) return false;
  CTString quoted;
  const char16_t* name = pszGetDatabase();
  if (!bQuoteQualifiedName(error, name, &quoted)) {
    bClose(error);
    return false;
  }
  std::u16string create_text(u"CREATE DATABASE ");
  create_text += quoted.pszGet();
  std::u16string use_text(u"USE ");
  use_text += quoted.pszGet();
  if (!bExecuteText(error, create_text.c_str()) || !bExecuteText(error, use_text.c_str())) {
    bClose(error);
    return false;
  }
  if (error != nullptr) error->Reset();
  return true;
}

bool CNAConnectionMariaDB::bReadServerInfo(CNAError* error) {
  const char* info = nullptr;
  if (!bGuarded(error, 15, [&] { info = gMariaDB.mysql_get_server_info(m_pHandle); })) {
    return false;
  }
  std::u16string text = CNAClientArgument::pszGetWide(info, info != nullptr ? std::strlen(info) : 0,
                                                      m_nConnectionCodePage);
  // A replication prefix some servers put before their own version.
  if (text.rfind(u"5.5.5-", 0) == 0 && nFindMariaDB(text.c_str()) >= 0) text.erase(0, 6);
  m_strServerVersion.Set(text.c_str(), text.size());
  m_bServerIsMariaDB = nFindMariaDB(text.c_str()) >= 0;
  return bParseServerVersion();
}

// ---- statements

bool CNAConnectionMariaDB::bExecuteBytes(CNAError* error, const char* text, size_t length) {
  CNALock lock(pGetLock());
  if (bTransactionLost(error)) return false;
  if (m_pHandle == nullptr || !m_bOpen) {
    NASetErrorMessage(error, 0, kSiteMajor, 17, this, 79u);
    return false;
  }
  // Bytes beyond ASCII would be read in the program's set: refused. ASCII
  // texts (SET NAMES back among them) read the same in every set a
  // conversation can have.
  if (NAHasByteBeyondAscii(text, length) && bConversationChanged(error)) return false;
  int result = 0;
  ++m_nStatementsSent;
  if (!bGuarded(error, 10, [&] {
        result = gMariaDB.mysql_real_query(m_pHandle, text, static_cast<unsigned long>(length));
      })) {
    return false;
  }
  NoteSessionState();
  if (result != 0) {
    bRecordClientError(m_pHandle, error, kSiteMajor, 17);
    if (error != nullptr && (error->nGetBaseCode() == 2006 || error->nGetBaseCode() == 2013)) {
      NoteConnectionLost(error);
    }
    return false;
  }
  return true;
}

bool CNAConnectionMariaDB::bExecuteText(CNAError* error, const char16_t* text) {
  CNALock lock(pGetLock());
  CNAClientArgument argument(m_nConnectionCodePage, text);
  if (argument.bLossy()) {
    // A character the conversation cannot carry would reach the server as
    // another one.
    NASetErrorMessage(error, 0, kSiteMajor, 17, this, kNAErrorNotSupported);
    if (error != nullptr) error->AddMessageText(u"text not representable in the connection code page");
    return false;
  }
  return bExecuteBytes(error, argument.pszGet() != nullptr ? argument.pszGet() : "",
                       argument.nGetLength());
}

bool CNAConnectionMariaDB::bExecuteDual(CNAError* error, CDualString& text) {
  CNALock lock(pGetLock());
  if (text.nGetStorageCodePage() == m_nConnectionCodePage) {
    const char* bytes = text.pszGetA();
    if (text.bLossy()) {
      // A character the conversation cannot carry was written as '?'.
      NASetErrorMessage(error, 0, kSiteMajor, 17, this, kNAErrorNotSupported);
      if (error != nullptr) error->AddMessageText(u"text not representable in the connection code page");
      return false;
    }
    return bExecuteBytes(error, bytes, text.nGetLengthA());
  }
  return bExecuteText(error, text.pszGetW());
}

bool CNAConnectionMariaDB::bReopen(CNAError* error) {
  CNALock lock(pGetLock());
  bClose(error);
  return bOpenConnection(error, false);
}

bool CNAConnectionMariaDB::bExecuteQuery(CNAError* error, const char16_t* text) {
  CNALock lock(pGetLock());
  // Through the SQL-function service's query objects when there is one.
  CNAManager* manager = pclGetManager();
  CNASQLService* service = manager != nullptr ? manager->pclGetSQLService() : nullptr;
  if (service != nullptr) return service->bRunQuery(this, text, error);
  if (!bExecuteText(error, text)) return false;
  // Drain every result of the text.
  bool ok = true;
  for (;;) {
    MYSQL_RES* result = nullptr;
    if (!bGuarded(error, 10, [&] { result = gMariaDB.mysql_store_result(m_pHandle); })) {
      return false;
    }
    if (result != nullptr) {
      bGuarded(error, 10, [&] { gMariaDB.mysql_free_result(result); });
    } else {
      uint32_t number = 0;
      nGetServerErrno(m_pHandle, error, &number);
      if (number != 0) {
        bRecordClientError(m_pHandle, error, kSiteMajor, 17);
        return false;
      }
    }
    if (qg::IsClientTrap(gMariaDB.mysql_next_result)) break;
    int next = -1;
    if (!bGuarded(error, 10, [&] { next = gMariaDB.mysql_next_result(m_pHandle); })) return false;
    if (next == -1) break;
    if (next > 0) {
      bRecordClientError(m_pHandle, error, kSiteMajor, 17);
      ok = false;
      break;
    }
    NoteSessionState();
  }
  return ok;
}

bool CNAConnectionMariaDB::bLockRecords(CNAError* error, const char16_t* table) {
  CTString quoted;
  if (!bQuoteQualifiedName(error, table, &quoted)) return false;
  std::u16string text(u"SELECT * FROM ");
  text += quoted.pszGet();
  text += u" FOR UPDATE";
  return bExecuteQuery(error, text.c_str());
}

// ---- literals

bool CNAConnectionMariaDB::bTextLiteral(CNAError* error, CDualString* out, int32_t type,
                                        const void* data, size_t size) {
  out->Clear();
  if (size == 0 || data == nullptr) {
    out->AddW(u"''");
    return true;
  }
  int32_t cp = m_nConnectionCodePage > 0 ? m_nConnectionCodePage : 1252;
  std::string bytes;
  if (IsUnicodeTextType(type)) {
    // Every unit, U+0000 included: the escaping below carries it.
    const auto* units = static_cast<const char16_t*>(data);
    size_t n = size / 2;
    bool lossy = false;
    bytes = NAEncodeExact(units, n, cp, &lossy);
    if (lossy) {
      NASetErrorMessage(error, 0, kSiteMajor, 9, this, kNAErrorNotSupported);
      if (error != nullptr) error->AddMessageText(u"text not representable in the connection code page");
      return false;
    }
  } else if (type == 18 || type == 19) {
    const auto* text = static_cast<const char*>(data);
    size_t n = size;
    if (cp == 65001) {
      // 8-bit texts of a UTF-16 host are taken as 1252.
      int32_t host = m_nLanguageCodePage > 0 ? m_nLanguageCodePage : 1252;
      std::u16string wide = CNAClientArgument::pszGetWide(text, n, host);
      bool lossy = false;
      bytes = NAEncodeExact(wide.data(), wide.size(), 65001, &lossy);
    } else {
      bytes.assign(text, n);
    }
  } else {
    // Binary values never pass as text.
    static const char kHex[] = "0123456789ABCDEF";
    const auto* b = static_cast<const uint8_t*>(data);
    std::string hex("X'");
    hex.reserve(size * 2 + 3);
    for (size_t i = 0; i < size; ++i) {
      hex += kHex[b[i] >> 4];
      hex += kHex[b[i] & 15];
    }
    hex += '\'';
    out->nSetText(hex.data(), static_cast<ptrdiff_t>(hex.size()), cp);
    return true;
  }
  size_t n = bytes.size();
  if (n > (SIZE_MAX - 3) / 2) {
    NASetErrorMessage(error, 0, kSiteMajor, 3, this, kNAErrorNoMemory);
    return false;
  }
  std::string buffer;
  try {
    buffer.resize(2 * n + 3);
  } catch (const std::bad_alloc&) {
    NASetErrorMessage(error, 0, kSiteMajor, 3, this, kNAErrorNoMemory);
    return false;
  }
  buffer[0] = '\'';
  unsigned long m = 0;
  CNALock lock(pGetLock());
  if (bConversationChanged(error)) return false;
  if (m_pHandle != nullptr && m_bOpen && !qg::IsClientTrap(gMariaDB.mysql_real_escape_string)) {
    // The connection's own escaping follows its sql_mode
    // (NO_BACKSLASH_ESCAPES) and character set.
    if (!bGuarded(error, 9, [&] {
          m = gMariaDB.mysql_real_escape_string(m_pHandle, buffer.data() + 1, bytes.data(),
                                                static_cast<unsigned long>(n));
        })) {
      return false;
    }
  } else {
    bool no_backslash_escapes =
        m_pHandle != nullptr && (m_pHandle->server_status & SERVER_STATUS_NO_BACKSLASH_ESCAPES) != 0;
    for (char c : bytes) {
      if (c == '\'') {
        buffer[1 + m++] = '\'';
      } else if (c == '\\' && !no_backslash_escapes) {
        buffer[1 + m++] = '\\';
      } else if (c == 0 && !no_backslash_escapes) {
        buffer[1 + m++] = '\\';
        c = '0';
      }
      buffer[1 + m++] = c;
    }
  }
  if (std::memchr(buffer.data() + 1, 0, m) != nullptr) {
    // A NUL left as it is would end the statement text there; without
    // backslash escapes it has no written form: refused, never cut.
    NASetErrorMessage(error, 0, kSiteMajor, 9, this, kNAErrorNotSupported);
    if (error != nullptr) error->AddMessageText(u"text holding U+0000 without backslash escapes");
    return false;
  }
  buffer[m + 1] = '\'';
  out->nSetText(buffer.data(), static_cast<ptrdiff_t>(m + 2), cp);
  return true;
}

// ---- copies

void CNAConnectionMariaDB::CopyFrom(CNAConnection* source, INACopyContext* context, intptr_t a,
                                    intptr_t b) {
  CNAConnection::CopyFrom(source, context, a, b);
  auto* other = static_cast<CNAConnectionMariaDB*>(source);
  m_bServerIsMariaDB = other->m_bServerIsMariaDB;
  m_bConnectSettingsRead = other->m_bConnectSettingsRead;
  m_nPort = other->m_nPort;
  m_nClientFlag = other->m_nClientFlag;
  m_strSocket = other->m_strSocket;
  m_bHasSocket = other->m_bHasSocket;
}

CNAConnection* CNAConnectionMariaDB::pclCreate(INACopyContext* context, intptr_t a, intptr_t b) {
  auto* copy = new (std::nothrow) CNAConnectionMariaDB(pclGetManager());
  if (copy == nullptr) return nullptr;
  NAAddRef(copy);
  try {
    copy->CopyFrom(this, context, a, b);
    CNAManager* manager = pclGetManager();
    if (manager != nullptr && copy->piGetDescription() != nullptr) {
      manager->BuildConnectionKey(copy->piGetDescription(), &copy->m_strKey);
    }
    if (bIsOpen()) {
      CNAError local;
      if (!copy->bOpen(&local, 0)) throw CNAError(local);
    }
    if (manager != nullptr &&
        manager->bShouldShareConnection(copy->m_strKey.pszGet(), copy->piGetDescription())) {
      manager->RegisterConnection(copy);
    }
  } catch (...) {
    ReleaseBoth(copy);
    if (context != nullptr) context->ForgetCopy(this);
    throw;
  }
  return copy;
}
