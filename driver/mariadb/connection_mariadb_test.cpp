// The MariaDB connection against the binary's private server.
#include "driver/mariadb/connection_mariadb.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "driver/core/dual_string.h"
#include "support/any.h"
#include "driver/mariadb/client_argument.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "host/core/driver_objects.h"
#include "support/string_host_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& U = qg::rig::Wide;
constexpr auto& N = qg::rig::Narrow;
constexpr auto& Value = qg::rig::FirstValue;

class MariaConnection : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    ASSERT_NE(nullptr, qg::rig::TestServer());
    manager = new CNAManagerMariaDB();
    manager->AddRef();
  }
  void TearDown() override {
    manager->Release();
    for (auto* d : descriptions) d->Release();
    qg::StringHostTest::TearDown();
  }

  qghost::ConnectionDescription* Describe(const std::string& database, bool tcp,
                                          const qg::rig::TestAccount& account =
                                              qg::rig::kPasswordAccount,
                                          const std::u16string& extra = u"") {
    const qg::rig::MariaDBServer* server = qg::rig::TestServer();
    auto* d = new qghost::ConnectionDescription();
    d->AddRef();
    qg::rig::DescribeOnSocket(d, database, account, extra);
    if (tcp) {
      d->data_source = U(std::string(server->Host()) + ":" + std::to_string(server->Port()));
      d->extended = extra;
    }
    descriptions.push_back(d);
    return d;
  }

  CNAConnectionMariaDB* Resolve(INAConnectionDescription* d) {
    return static_cast<CNAConnectionMariaDB*>(manager->pclResolveConnection(d, nullptr));
  }

  CNAManagerMariaDB* manager = nullptr;
  std::vector<qghost::ConnectionDescription*> descriptions;
};

TEST_F(MariaConnection, OpensOverSocketAndTcpAndReadsTheServer) {
  qg::rig::TestDatabase db;
  for (bool tcp : {false, true}) {
    CNAConnectionMariaDB* c = Resolve(Describe(db.Name(), tcp));
    CNAError error;
    ASSERT_TRUE(c->bOpen(&error, 0)) << N(error.pszGetMessage());
    EXPECT_TRUE(c->bOpen(&error, 0));  // already open
    EXPECT_TRUE(c->bIsServerMariaDB());
    EXPECT_GE(c->m_nServerMajor, 10);
    EXPECT_EQ(65001, c->m_nConnectionCodePage);
    // An explicit port goes over TCP; "localhost" with a socket does not.
    EXPECT_EQ(tcp ? std::to_string(qg::rig::TestServer()->Port()) : "0",
              Value(c, "SELECT IF(@@port = " + std::to_string(qg::rig::TestServer()->Port()) +
                           " AND (SELECT HOST FROM information_schema.PROCESSLIST WHERE ID="
                           "CONNECTION_ID()) LIKE '127.0.0.1%', @@port, 0)"));
    EXPECT_EQ(db.Name(), Value(c, "SELECT DATABASE()"));
    EXPECT_TRUE(c->bClose(&error));
    EXPECT_EQ(nullptr, c->pGetHandle());
    // Reopening keeps port, socket and flags.
    ASSERT_TRUE(c->bOpen(&error, 0)) << N(error.pszGetMessage());
    EXPECT_EQ(db.Name(), Value(c, "SELECT DATABASE()"));
    manager->bReleaseConnection(c);
  }
}

// An IPv4-mapped IPv6 data source reaches the server at that IPv4 address.
TEST_F(MariaConnection, OpensAtAnIpv4MappedAddress) {
  qg::rig::TestDatabase db;
  std::string port = std::to_string(qg::rig::TestServer()->Port());
  for (std::string source : {"[::ffff:127.0.0.1]:" + port, "::FFFF:127.0.0.1:" + port}) {
    qghost::ConnectionDescription* d = Describe(db.Name(), true);
    d->data_source = U(source);
    CNAConnectionMariaDB* c = Resolve(d);
    CNAError error;
    ASSERT_TRUE(c->bOpen(&error, 0)) << source << ": " << N(error.pszGetMessage());
    EXPECT_EQ(port, Value(c, "SELECT @@port"));
    manager->bReleaseConnection(c);
  }
}

// The trace names the client library the connection runs on.
TEST_F(MariaConnection, TraceNamesTheNativeLibrary) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Resolve(Describe(db.Name(), false));
  CNAError error;
  ASSERT_TRUE(c->bOpen(&error, 0)) << N(error.pszGetMessage());
  CXError trace;
  c->TraceInto(&trace);
  std::string text = N(trace.pszGetDebugMessage());
  size_t at = text.find("Native Library : ");
  ASSERT_NE(std::string::npos, at) << text;
  std::string path = text.substr(at + 17, text.find_first_of("\r\n", at) - at - 17);
  EXPECT_NE(std::string::npos, path.find("libmariadb")) << path;
  EXPECT_EQ(0, access(path.c_str(), R_OK)) << path;
  manager->bReleaseConnection(c);
}

TEST_F(MariaConnection, UnicodeOffKeepsTheConversationInLatin1) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Resolve(Describe(db.Name(), false, qg::rig::kPasswordAccount,
                                             u"QG Unicode Support=0"));
  CNAError error;
  ASSERT_TRUE(c->bOpen(&error, 0)) << N(error.pszGetMessage());
  EXPECT_EQ(1252, c->m_nConnectionCodePage);
  EXPECT_EQ("latin1", Value(c, "SELECT @@character_set_client"));
  ASSERT_TRUE(c->bExecuteText(&error, u"CREATE TABLE t (v VARCHAR(20) CHARACTER SET utf8mb4)"));
  ASSERT_TRUE(c->bExecuteText(&error, u"INSERT INTO t VALUES ('\u00e9\u20ac')"));
  EXPECT_EQ("C3A9E282AC", Value(c, "SELECT HEX(v) FROM t"));
  // A character latin1 lacks is refused, not sent as '?'.
  EXPECT_FALSE(c->bExecuteText(&error, u"INSERT INTO t VALUES ('\u03a9')"));
  EXPECT_EQ("1", Value(c, "SELECT COUNT(*) FROM t"));
  manager->bReleaseConnection(c);
}

TEST_F(MariaConnection, ErrorsAndTheirCategories) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Resolve(Describe(db.Name(), false));
  CNAError error;
  ASSERT_TRUE(c->bOpen(&error, 0));
  ASSERT_TRUE(c->bExecuteText(&error, u"CREATE TABLE p (id INT PRIMARY KEY) ENGINE=InnoDB"));
  ASSERT_TRUE(c->bExecuteText(
      &error, u"CREATE TABLE k (id INT PRIMARY KEY, p INT NOT NULL, n INT NOT NULL, "
              u"FOREIGN KEY (p) REFERENCES p(id)) ENGINE=InnoDB"));
  ASSERT_TRUE(c->bExecuteText(&error, u"INSERT INTO p VALUES (1)"));
  ASSERT_TRUE(c->bExecuteText(&error, u"INSERT INTO k VALUES (1, 1, 1)"));
  struct Case {
    const char16_t* sql;
    int32_t number;
    int32_t category;
  };
  const Case cases[] = {
      {u"INSERT INTO p VALUES (1)", 1062, 3},
      {u"INSERT INTO k VALUES (2, 1, NULL)", 1048, 8},
      {u"INSERT INTO k (id, p) VALUES (3, 1)", 1364, 8},
      {u"DELETE FROM p", 1451, 4},
      {u"INSERT INTO k VALUES (4, 9, 1)", 1452, 4},
  };
  for (const Case& k : cases) {
    CNAError e;
    EXPECT_FALSE(c->bExecuteText(&e, k.sql)) << N(k.sql);
    EXPECT_EQ(22u, e.nGetErrorIdentifier());
    EXPECT_EQ(k.number, e.nGetBaseCode()) << N(k.sql);
    EXPECT_EQ(k.category, c->nGetErrorCategory(e.nGetBaseCode()));
    EXPECT_NE(std::string::npos, N(e.pszGetMessage()).find("IEQGMARIA=101.17"));
  }
  for (int32_t n : {1205, 1213}) EXPECT_EQ(2, c->nGetErrorCategory(n));
  manager->bReleaseConnection(c);

  auto* bad = Describe(db.Name(), true);
  bad->password = u"wrong";
  CNAConnectionMariaDB* d = Resolve(bad);
  CNAError e;
  EXPECT_FALSE(d->bOpen(&e, 0));
  EXPECT_EQ(1045, e.nGetBaseCode());
  EXPECT_EQ(79u, e.nGetErrorIdentifier());
  ASSERT_EQ(1, e.pclGetXError()->nGetNbSubError());
  EXPECT_EQ(22u, e.pclGetXError()->pclGetSubError(0)->nGetIdentifier());
  EXPECT_EQ(nullptr, d->pGetHandle());  // a failed opening frees its handle
  manager->bReleaseConnection(d);
}

TEST_F(MariaConnection, NonLatinTextsAndLogins) {
  qg::rig::TestDatabase db;
  const qg::rig::MariaDBServer* server = qg::rig::TestServer();
  ASSERT_TRUE(server->RunSql(
      "CREATE USER IF NOT EXISTS 'jos\xc3\xa9'@'localhost' IDENTIFIED BY 'caf\xc3\xa9';"
      "GRANT ALL ON `" + db.Name() + "`.* TO 'jos\xc3\xa9'@'localhost';"
      "CREATE USER IF NOT EXISTS '\xce\xa9mega'@'localhost' IDENTIFIED BY 'p\xce\xa9';"
      "GRANT ALL ON `" + db.Name() + "`.* TO '\xce\xa9mega'@'localhost';"));
  for (const char16_t* user : {u"jos\u00e9", u"\u03a9mega"}) {
    auto* d = Describe(db.Name(), false);
    d->user = user;
    d->password = user[0] == u'j' ? u"caf\u00e9" : u"p\u03a9";
    CNAConnectionMariaDB* c = Resolve(d);
    CNAError error;
    ASSERT_TRUE(c->bOpen(&error, 0)) << N(user) << N(error.pszGetMessage());
    EXPECT_EQ(65001, c->m_nConnectionCodePage);
    ASSERT_TRUE(c->bExecuteText(&error, u"CREATE TABLE IF NOT EXISTS t (v VARCHAR(20)) "
                                        u"CHARACTER SET utf8mb4"));
    ASSERT_TRUE(c->bExecuteText(&error, u"INSERT INTO t VALUES ('\u03a9\U0001F600')"));
    EXPECT_EQ("\xce\xa9\xf0\x9f\x98\x80", Value(c, "SELECT v FROM t LIMIT 1"));
    manager->bReleaseConnection(c);
  }
}

TEST_F(MariaConnection, CreateDatabaseKeepsTlsAndWrongCaFails) {
  const qg::rig::MariaDBServer* server = qg::rig::TestServer();
  std::string name = "qgt_created_" + std::to_string(::getpid());
  auto* d = Describe(name, true, qg::rig::kTlsAccount, u"SSL CA=" + U(server->CaFile()));
  CNAConnectionMariaDB* c = Resolve(d);
  CNAError error;
  EXPECT_FALSE(c->bOpen(&error, 0));
  EXPECT_EQ(1049, error.nGetBaseCode());
  error.Reset();
  ASSERT_TRUE(c->bOpenOrCreateDatabase(&error)) << N(error.pszGetMessage());
  EXPECT_EQ(-1, error.nGetCode());
  EXPECT_EQ(name, Value(c, "SELECT DATABASE()"));
  EXPECT_NE("", Value(c, "SELECT VARIABLE_VALUE FROM information_schema.SESSION_STATUS "
                         "WHERE VARIABLE_NAME='Ssl_cipher'"));
  c->bExecuteText(&error, (u"DROP DATABASE `" + U(name) + u"`").c_str());
  manager->bReleaseConnection(c);

  auto* wrong = Describe("", true, qg::rig::kTlsAccount,
                         u"SSL Mode=VERIFY_CA;SSL CA=" + U(server->ClientCertFile()));
  CNAConnectionMariaDB* w = Resolve(wrong);
  CNAError e;
  EXPECT_FALSE(w->bOpen(&e, 0));
  EXPECT_NE(0, e.nGetBaseCode());
  manager->bReleaseConnection(w);
}

// Texts an attacker or an unlucky user may hand in; each must come back
// byte-exact or be refused, and no second statement may ever run.
const std::u16string kHostile[] = {
    u"O'Brien",
    u"back\\slash",
    u"trailing\\",
    u"\\'; CREATE TABLE pwned (x INT); -- ",
    u"'); CREATE TABLE pwned (x INT); -- ",
    std::u16string(u"nul\0inside", 10),
    u"cr\rlf\n",
    u"\uff07 fullwidth quote \uff3c",
    u"yen \u00a5 won \u20a9",
    u"\u03a9\U0001F600",
    u"lone \xd800 surrogate",
    u"\u8868\u30bd\u8a31",  // CP932 characters whose trail byte is 0x5C
};

TEST_F(MariaConnection, HostileTextsComeBackExactOrAreRefused) {
  qg::rig::TestDatabase db;
  for (const char16_t* extra : {u"", u"QG Unicode Support=0"}) {
    for (bool no_backslash : {false, true}) {
      CNAConnectionMariaDB* c = Resolve(Describe(db.Name(), false, qg::rig::kPasswordAccount,
                                                 extra));
      CNAError error;
      ASSERT_TRUE(c->bOpen(&error, 0)) << N(error.pszGetMessage());
      ASSERT_TRUE(c->bExecuteText(&error, no_backslash
                                              ? u"SET SESSION sql_mode='NO_BACKSLASH_ESCAPES'"
                                              : u"SET SESSION sql_mode=DEFAULT"));
      for (const std::u16string& text : kHostile) {
        for (int32_t type : {16, 19, 28}) {
          CDualString out(CDualString::kUtf16, c->m_nConnectionCodePage);
          std::string narrow;
          const void* data = text.data();
          size_t size = text.size() * 2;
          if (type == 19) {
            // The host's 8-bit form in its code page (1252); texts 1252
            // lacks are not 8-bit host texts.
            bool lossy = false;
            for (char16_t ch : text) {
              if (ch > 0xFF && ch != 0x20AC) lossy = true;
            }
            if (lossy) continue;
            for (char16_t ch : text) narrow += ch == 0x20AC ? '\x80' : static_cast<char>(ch);
            data = narrow.data();
            size = narrow.size();
          }
          CNAError e;
          bool ok = c->bTextLiteral(&e, &out, type, data, size);
          std::string literal(out.pszGetA(), out.nGetLengthA());
          const bool has_nul = text.find(u'\0') != std::u16string::npos;
          if (!ok) {
            // Refused: texts the connection cannot carry, and a NUL where
            // there is no escaped form for it.
            EXPECT_TRUE(type == 16 || (has_nul && no_backslash)) << literal;
            continue;
          }
          EXPECT_FALSE(type != 28 && has_nul && no_backslash) << literal;
          std::string expected;
          if (type == 28) {
            expected.assign(reinterpret_cast<const char*>(text.data()), text.size() * 2);
          } else {
            // Whole, a NUL included.
            bool lossy = false;
            expected = NAEncodeExact(text.data(), text.size(), c->m_nConnectionCodePage, &lossy);
          }
          std::string sql = "SELECT HEX(" + literal + ")";
          std::string hex;
          for (unsigned char ch : expected) {
            static const char kHex[] = "0123456789ABCDEF";
            hex += kHex[ch >> 4];
            hex += kHex[ch & 15];
          }
          EXPECT_EQ(hex, Value(c, sql)) << literal;
        }
      }
      EXPECT_EQ("0", Value(c, "SELECT COUNT(*) FROM information_schema.TABLES WHERE "
                              "TABLE_NAME='pwned'"));
      manager->bReleaseConnection(c);
    }
  }
}

TEST_F(MariaConnection, TransactionsSeenFromASecondConnection) {
  qg::rig::TestDatabase db;
  auto* d = Describe(db.Name(), false);
  CNAConnectionMariaDB* watcher = Resolve(Describe(db.Name(), true));
  CNAError error;
  ASSERT_TRUE(watcher->bOpen(&error, 0));
  ASSERT_TRUE(watcher->bExecuteText(&error, u"CREATE TABLE t (v INT) ENGINE=InnoDB"));
  auto count = [&] { return Value(watcher, "SELECT COUNT(*) FROM t"); };
  INAError* slot = nullptr;
  ASSERT_TRUE(manager->bBeginTransaction(d, nullptr, &slot));
  CNAConnectionMariaDB* c = static_cast<CNAConnectionMariaDB*>(manager->pclFindConnection(d));
  ASSERT_NE(nullptr, c);
  ASSERT_TRUE(c->bExecuteText(&error, u"INSERT INTO t VALUES (1)"));
  ASSERT_TRUE(manager->bBeginTransaction(d, u"inner one", &slot));
  ASSERT_TRUE(c->bExecuteText(&error, u"INSERT INTO t VALUES (2)"));
  ASSERT_TRUE(manager->bRollbackTransaction(d, nullptr, &slot));  // the nested level
  EXPECT_EQ("0", count());
  ASSERT_TRUE(manager->bCommitTransaction(d, nullptr, &slot));
  EXPECT_EQ("1", count());
  ASSERT_TRUE(manager->bBeginTransaction(d, nullptr, &slot));
  ASSERT_TRUE(c->bExecuteText(&error, u"INSERT INTO t VALUES (3)"));
  ASSERT_TRUE(manager->bRollbackTransaction(d, nullptr, &slot));
  EXPECT_EQ("1", count());
  EXPECT_EQ(nullptr, slot);
  manager->bReleaseConnection(c);
  manager->bReleaseConnection(watcher);
}

TEST_F(MariaConnection, ExplicitOpenKeepsTheServerConnectionUntilDisconnect) {
  qg::rig::TestDatabase db;
  auto* d = Describe(db.Name(), false);
  CNAConnectionMariaDB* watcher = Resolve(Describe(db.Name(), true));
  CNAError error;
  ASSERT_TRUE(watcher->bOpen(&error, 0));
  auto sessions = [&] {
    return Value(watcher, "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE "
                          "DB='" + db.Name() + "'");
  };
  INAError* slot = nullptr;
  ASSERT_TRUE(manager->bOpenConnection(d, 0, &slot));
  EXPECT_EQ("2", sessions());
  ASSERT_TRUE(manager->bDisconnect(d, &slot));
  EXPECT_EQ(1u, manager->nGetConnectionCount());  // the watcher's only
  // The server ends a closed session on its own time: wait for it.
  std::string left = sessions();
  for (int i = 0; i < 500 && left != "1"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    left = sessions();
  }
  EXPECT_EQ("1", left);
  manager->bReleaseConnection(watcher);
}

TEST_F(MariaConnection, PerContextConnectionsAreTwoServerConnections) {
  qg::rig::TestDatabase db;
  manager->SetPerContextConnections(true);
  auto* a = Describe(db.Name(), false);
  auto* b = Describe(db.Name(), false);
  b->context = 2;
  CNAConnectionMariaDB* ca = Resolve(a);
  CNAConnectionMariaDB* cb = Resolve(b);
  CNAError error;
  ASSERT_TRUE(ca->bOpen(&error, 0));
  ASSERT_TRUE(cb->bOpen(&error, 0));
  EXPECT_NE(Value(ca, "SELECT CONNECTION_ID()"), Value(cb, "SELECT CONNECTION_ID()"));
  manager->bReleaseConnection(ca);
  manager->bReleaseConnection(cb);
}

TEST_F(MariaConnection, ConcurrentOpenAndDisconnect) {
  qg::rig::TestDatabase db;
  auto* d = Describe(db.Name(), false);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        INAError* slot = nullptr;
        if ((t + i) % 2 == 0) {
          manager->bOpenConnection(d, 0, &slot);
        } else {
          manager->bDisconnect(d, &slot);
        }
        if (slot != nullptr) slot->Release();
      }
    });
  }
  for (auto& t : threads) t.join();
  INAError* slot = nullptr;
  manager->bDisconnect(d, &slot);
  EXPECT_EQ(0u, manager->nGetConnectionCount());
}

}  // namespace

namespace {

std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char ch : bytes) {
    hex += kHex[ch >> 4];
    hex += kHex[ch & 15];
  }
  return hex;
}

TEST_F(MariaConnection, HostCodePage932TextsOnBothConversations) {
  locale_.SetCodePage(932);
  qg::rig::TestDatabase db;
  // 8-bit texts of the host in 932, two of them with a 0x5C trail byte.
  const std::string texts[] = {"\x95\x5c", "\x83\x5c' OR 1=1 -- ", "a\\'b", "\x81\x5f\x5c"};
  for (const char16_t* extra : {u"", u"QG Unicode Support=0"}) {
    CNAConnectionMariaDB* c = Resolve(Describe(db.Name(), false, qg::rig::kPasswordAccount,
                                               extra));
    CNAError error;
    ASSERT_TRUE(c->bOpen(&error, 0)) << N(error.pszGetMessage());
    EXPECT_EQ(932, c->m_nLanguageCodePage);
    for (const char16_t* mode : {u"SET SESSION sql_mode=DEFAULT",
                                 u"SET SESSION sql_mode='NO_BACKSLASH_ESCAPES'"}) {
      ASSERT_TRUE(c->bExecuteText(&error, mode));
      for (const std::string& text : texts) {
        CDualString out(c->m_nConnectionCodePage, c->m_nConnectionCodePage);
        CNAError e;
        ASSERT_TRUE(c->bTextLiteral(&e, &out, 19, text.data(), text.size()));
        std::string literal(out.pszGetA(), out.nGetLengthA());
        std::string expected = text;
        if (c->m_nConnectionCodePage == 65001) {
          std::u16string wide = CNAClientArgument::pszGetWide(text.data(), text.size(), 932);
          bool lossy = false;
          expected = NAEncodeExact(wide.data(), wide.size(), 65001, &lossy);
        }
        EXPECT_EQ(Hex(expected), Value(c, "SELECT HEX(" + literal + ")")) << literal;
      }
    }
    manager->bReleaseConnection(c);
  }
}

TEST_F(MariaConnection, DateLiteralsAndDigitExpressionsAgreeWithTheServer) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Resolve(Describe(db.Name(), false));
  CNAError error;
  ASSERT_TRUE(c->bOpen(&error, 0));
  ASSERT_TRUE(c->bExecuteText(&error, u"CREATE TABLE t (d DATE, h TIME(3), s DATETIME(3), "
                                      u"b BLOB)"));
  CAny date, time, stamp, bin;
  date.SetDATEW(u"20240229");
  time.SetTIMEW(u"123045678");
  stamp.SetDATETIME(2023, 12, 31, 23, 59, 58, 123);
  const unsigned char bytes[] = {0, 0x27, 0x5C, 0xFF, 0};
  bin.SetBIN(bytes, sizeof(bytes));
  std::u16string sql = u"INSERT INTO t VALUES (";
  for (const CAny* v : {&date, &time, &stamp, &bin}) {
    CDualString out(CDualString::kUtf16, 65001);
    ASSERT_TRUE(c->bValueLiteral(&error, &out, *v, 0, true)) << N(error.pszGetMessage());
    if (v != &date) sql += u",";
    sql += out.pszGetW();
  }
  sql += u")";
  ASSERT_TRUE(c->bExecuteText(&error, sql.c_str())) << N(sql.c_str());
  EXPECT_EQ("00275CFF00", Value(c, "SELECT HEX(b) FROM t"));
  struct Case {
    int32_t type, subtype;
    const char* digits;
  };
  const Case cases[] = {{14, 0, "20240229"},  {11, 5, "1230"},      {11, 6, "12304"},
                        {11, 7, "123045"},    {11, 8, "1230456"},   {11, 10, "123045678"},
                        {24, 0, "20231231235958123"}};
  for (const Case& k : cases) {
    CTString expression;
    const char16_t* column = k.type == 14 ? u"d" : k.type == 11 ? u"h" : u"s";
    c->bGetDateTimeExpression(&expression, column, k.type, k.subtype);
    std::string query = "SELECT " + N(expression.pszGet()) + " FROM t";
    EXPECT_EQ(k.digits, Value(c, query)) << query;
  }
  manager->bReleaseConnection(c);
}

}  // namespace

#include "driver/core/copy_context.h"

namespace {

TEST_F(MariaConnection, CopiesOpenWhenTheSourceIsOpen) {
  qg::rig::TestDatabase db;
  manager->SetPerContextConnections(true);
  auto* d = Describe(db.Name(), false);
  d->copy_context_number = 8;
  CNAConnectionMariaDB* source = Resolve(d);
  CNAError error;
  ASSERT_TRUE(source->bOpen(&error, 0));
  {
    CNACopyContext context;
    auto* copy = static_cast<CNAConnectionMariaDB*>(source->pclCreate(&context, 0, 0));
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(copy, context.pFindCopy(source));
    EXPECT_TRUE(copy->bIsOpen());
    EXPECT_NE(Value(source, "SELECT CONNECTION_ID()"), Value(copy, "SELECT CONNECTION_ID()"));
    EXPECT_EQ(0u, std::u16string(copy->m_strKey.pszGet()).find(u"Context=8;"));
    EXPECT_EQ(2u, manager->nGetConnectionCount());  // the copy is shared under its key
    manager->bReleaseConnection(copy);
  }
  source->bClose(&error);
  {
    CNACopyContext context;
    CNAConnection* copy = source->pclCreate(&context, 0, 0);
    ASSERT_NE(nullptr, copy);
    EXPECT_FALSE(copy->bIsOpen());
    manager->bReleaseConnection(copy);
  }
  manager->bReleaseConnection(source);
}

}  // namespace

namespace {

TEST_F(MariaConnection, RecordLocksTimeOutAndDeadlocksAreCategory2) {
  qg::rig::TestDatabase db;
  auto* da = Describe(db.Name(), false);
  auto* db_description = Describe(db.Name(), true);
  CNAConnectionMariaDB* a = Resolve(da);
  CNAConnectionMariaDB* b = Resolve(db_description);
  CNAError error;
  ASSERT_TRUE(a->bOpen(&error, 0));
  ASSERT_TRUE(b->bOpen(&error, 0));
  ASSERT_TRUE(a->bExecuteText(&error, u"CREATE TABLE `odd name` (id INT PRIMARY KEY) ENGINE=InnoDB"));
  ASSERT_TRUE(a->bExecuteText(&error, u"INSERT INTO `odd name` VALUES (1), (2)"));
  ASSERT_TRUE(b->bExecuteText(&error, u"SET SESSION innodb_lock_wait_timeout=1"));

  // A locks the table's records; B waits and times out.
  ASSERT_TRUE(a->bBeginTransaction(&error, nullptr));
  ASSERT_TRUE(a->bLockRecords(&error, u"odd name")) << N(error.pszGetMessage());
  CNAError timeout;
  ASSERT_TRUE(b->bBeginTransaction(&error, nullptr));
  EXPECT_FALSE(b->bLockRecords(&timeout, u"odd name"));
  EXPECT_EQ(1205, timeout.nGetBaseCode());
  EXPECT_EQ(2, b->nGetErrorCategory(timeout.nGetBaseCode()));
  ASSERT_TRUE(a->bRollbackTransaction(&error, nullptr));
  ASSERT_TRUE(b->bRollbackTransaction(&error, nullptr));

  // Crossed row locks: one of the two is chosen as the deadlock victim.
  ASSERT_TRUE(b->bExecuteText(&error, u"SET SESSION innodb_lock_wait_timeout=20"));
  ASSERT_TRUE(a->bBeginTransaction(&error, nullptr));
  ASSERT_TRUE(b->bBeginTransaction(&error, nullptr));
  ASSERT_TRUE(a->bExecuteQuery(&error, u"SELECT * FROM `odd name` WHERE id=1 FOR UPDATE"));
  ASSERT_TRUE(b->bExecuteQuery(&error, u"SELECT * FROM `odd name` WHERE id=2 FOR UPDATE"));
  CNAError from_a, from_b;
  bool ok_a = true;
  std::thread waiting([&] {
    ok_a = a->bExecuteQuery(&from_a, u"SELECT * FROM `odd name` WHERE id=2 FOR UPDATE");
  });
  // Whichever request comes first, the two cross and one is the victim.
  bool ok_b = b->bExecuteQuery(&from_b, u"SELECT * FROM `odd name` WHERE id=1 FOR UPDATE");
  if (ok_b) b->bRollbackTransaction(&error, nullptr);
  waiting.join();
  EXPECT_NE(ok_a, ok_b);
  int32_t code = ok_a ? from_b.nGetBaseCode() : from_a.nGetBaseCode();
  EXPECT_EQ(1213, code);
  EXPECT_EQ(2, a->nGetErrorCategory(code));
  a->bRollbackTransaction(nullptr, nullptr);
  b->bRollbackTransaction(nullptr, nullptr);
  manager->bReleaseConnection(a);
  manager->bReleaseConnection(b);
}

}  // namespace

#include "driver/sql/column.h"

namespace {

TEST_F(MariaConnection, GeneratedColumnsNeverGetNotNull) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Resolve(Describe(db.Name(), false));
  CNAError error;
  ASSERT_TRUE(c->bOpen(&error, 0));
  CNAColumn plain, generated;
  generated.SetGeneration(u"a + 1", false);
  EXPECT_TRUE(c->bCanDeclareNotNull(&plain));
  EXPECT_FALSE(c->bCanDeclareNotNull(&generated));
  // What the rule spares: the server refuses the declaration.
  CNAError refused;
  EXPECT_FALSE(c->bExecuteText(&refused, u"CREATE TABLE g (a INT, b INT AS (a + 1) NOT NULL)"));
  EXPECT_TRUE(c->bExecuteText(&error, u"CREATE TABLE g (a INT NOT NULL, b INT AS (a + 1))"));
  manager->bReleaseConnection(c);
}

}  // namespace

namespace {

// After the module's final termination a connection still alive reaches
// the binding's traps, never unloaded code; a later opening loads again.
TEST_F(MariaConnection, ConnectionOutlivingTheBindingReportsInsteadOfCrashing) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Resolve(Describe(db.Name(), false));
  CNAError error;
  ASSERT_TRUE(c->bOpen(&error, 0));
  CNAMariaDBClient::TermInstance();
  CNAError closing;
  EXPECT_FALSE(c->bClose(&closing));
  EXPECT_EQ(37u, closing.nGetErrorIdentifier());
  EXPECT_FALSE(c->bIsOpen());
  ASSERT_TRUE(c->bOpen(&error, 0)) << N(error.pszGetMessage());
  EXPECT_EQ(db.Name(), Value(c, "SELECT DATABASE()"));
  manager->bReleaseConnection(c);
}

}  // namespace

namespace {

TEST_F(MariaConnection, CopyingAContextWithItsOwnConnections) {
  qg::rig::TestDatabase db;
  manager->SetPerContextConnections(true);
  auto* d = Describe(db.Name(), false);
  d->context = 1;
  d->copy_context_number = 2;
  CNAConnectionMariaDB* c = Resolve(d);
  CNAError error;
  ASSERT_TRUE(c->bOpen(&error, 0));
  ASSERT_TRUE(manager->bSetContextName(1, u"first", nullptr));
  CNACopyContext context;
  INAError* slot = nullptr;
  ASSERT_TRUE(manager->bCopyContext(1, 2, &context, &slot));
  EXPECT_EQ(nullptr, slot);
  // The copy was made and opened for the new context; no session of the
  // copy holds it, so it is gone again.
  EXPECT_NE(nullptr, context.pFindCopy(c));
  EXPECT_EQ(1u, manager->nGetConnectionCount());
  EXPECT_EQ(2u, manager->nGetRegistryCount());
  manager->bReleaseConnection(c);
}

// A connection the program opened is opened in the copied context too, with
// the hold that stands for it: closing it there, then in the first
// context, releases each once.
TEST_F(MariaConnection, AConnectionOpenedBeforeAContextCopyClosesInBothContexts) {
  qg::rig::TestDatabase db;
  manager->SetPerContextConnections(true);
  auto* d = Describe(db.Name(), false);
  d->context = 1;
  d->copy_context_number = 2;
  INAError* slot = nullptr;
  ASSERT_TRUE(manager->bOpenConnection(d, 0, &slot));
  ASSERT_TRUE(manager->bSetContextName(1, u"first", nullptr));
  CNACopyContext context;
  ASSERT_TRUE(manager->bCopyContext(1, 2, &context, &slot));
  INAConnectionDescription* copied = context.piGetCopiedDescription(d);
  ASSERT_NE(nullptr, copied);
  EXPECT_EQ(2u, manager->nGetConnectionCount());
  EXPECT_TRUE(manager->bDisconnect(copied, &slot));
  EXPECT_EQ(1u, manager->nGetConnectionCount());
  EXPECT_TRUE(manager->bDisconnect(d, &slot));
  EXPECT_EQ(0u, manager->nGetConnectionCount());
  copied->Release();
}

}  // namespace
