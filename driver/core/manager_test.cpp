#include "driver/core/manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/registry.h"
#include "driver/core/registry_child.h"
#include "errors/catalogue.h"
#include "host/core/driver_objects.h"
#include "host/core/info_locale.h"
#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"

namespace {

std::u16string S(const char16_t* text) { return text != nullptr ? text : u"<null>"; }
std::string N(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) out += *p < 128 ? char(*p) : '?';
  return out;
}

// A connection that records the texts it runs.
class FakeConnection : public CNAConnection {
 public:
  FakeConnection(const char16_t* key, INAConnectionDescription* d, CNAManager* m)
      : CNAConnection(key, d, m) {
    m_nDbmsKind = 5;
    m_strOpenQuote = u"`";
    m_nOpenQuoteLength = 1;
    m_strCloseQuote = u"`";
    m_nCloseQuoteLength = 1;
  }
  bool bOpen(CNAError* error, int32_t) override {
    if (fail_open) {
      NASetErrorMessage(error, 0, 101, 23, this, 79u);
      return false;
    }
    open = true;
    return true;
  }
  bool bIsOpen() override { return open; }
  bool bClose(CNAError*) override {
    ++closes;
    open = false;
    return true;
  }
  bool bExecuteText(CNAError*, const char16_t* text) override {
    texts.push_back(text);
    return true;
  }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
  bool open = false;
  bool fail_open = false;
  int closes = 0;
  std::vector<std::u16string> texts;
};

class FakeSession : public CNARegistryChild {
 public:
  explicit FakeSession(std::atomic<int>* closes) : m_pCloses(closes) {}
  bool bIsOpen() override { return open; }
  bool bClose(CNAError*) override {
    ++*m_pCloses;
    return true;
  }
  void SetNameSource(CNARegistry* registry) override { source = registry; }
  CNARegistryChild* pclCopy(INACopyContext*, CNAError*) override {
    return NAAddRef(new FakeSession(m_pCloses));
  }
  bool open = false;
  CNARegistry* source = nullptr;

 private:
  std::atomic<int>* m_pCloses;
};

class TestManager : public CNAManager {
 public:
  CNAConnection* pclNewConnection(const char16_t* key, INAConnectionDescription* d) override {
    auto* c = new FakeConnection(key, d, this);
    c->fail_open = fail_open;
    return c;
  }
  CNARegistryChild* pclNewSession(INAFileDescription*, CNAConnection*, CNAError*) override {
    ++sessions_made;
    return new FakeSession(&closes);
  }
  bool fail_open = false;
  std::atomic<int> sessions_made{0};
  std::atomic<int> closes{0};
};

class Manager : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    manager = new TestManager();
    manager->AddRef();
    d.owned_by_count = false;
    d.user = u"bob";
    d.password = u"pw";
    d.data_source = u"srv";
    d.database = u"db";
  }
  void TearDown() override {
    if (manager != nullptr) manager->Release();
    qg::StringHostTest::TearDown();
  }
  TestManager* manager = nullptr;
  qghost::ConnectionDescription d;
};

TEST_F(Manager, PlainSlotAnswers) {
  EXPECT_EQ(22, manager->nGetVersion());
  EXPECT_EQ(17, manager->nGetSubVersion());
  EXPECT_EQ(-1, manager->vnReserved2());
  EXPECT_EQ(-1, manager->vnReserved3());
  EXPECT_EQ(nullptr, manager->pclGetService(2));
  EXPECT_EQ(nullptr, manager->pclGetService(1));  // no service in the generic manager
  EXPECT_TRUE(manager->bAskDispatchers(0, 0, 0));
  for (bool (CNAManager::*slot)(INAError**) :
       {&CNAManager::bNotSupported23, &CNAManager::bNotSupported29}) {
    INAError* slot_error = nullptr;
    EXPECT_FALSE((manager->*slot)(&slot_error));
    ASSERT_NE(nullptr, slot_error);
    EXPECT_EQ(8u, slot_error->nGetErrorIdentifier());
    slot_error->Release();
  }
  EXPECT_EQ(-1, manager->nGetDefaultFetchSize());
}

TEST_F(Manager, ConnectionKeyTextAndPasswordHash) {
  d.name = u"Main";
  d.provider = u"P";
  d.extended = u"QG Lock Timeout=3";
  d.access_mode = 1;
  d.has_database = false;
  CTString key;
  manager->BuildConnectionKey(&d, &key);
  EXPECT_EQ(u"Context=0;Connection=Main;Provider=P;ExtendedInformation=QG Lock Timeout=3;"
            u"Source=srv;Database=NULL;user id=bob;password=" +
                std::u16string(qg::FormatString(u"%I64u", CNAManager::nHashPassword(u"pw"))) +
                u";access=R",
            S(key.pszGet()));
  EXPECT_EQ(std::u16string::npos, S(key.pszGet()).find(u"=pw;"));
  EXPECT_EQ(1125899906842597ull, CNAManager::nHashPassword(nullptr));
  EXPECT_EQ(1125899906842597ull, CNAManager::nHashPassword(u""));
  EXPECT_EQ(289356276058547526ull, CNAManager::nHashPassword(u"a"));
  EXPECT_EQ(1722857838124442987ull, CNAManager::nHashPassword(u"secret"));
  manager->SetPerContextConnections(true);
  d.context = 7;
  manager->BuildConnectionKey(&d, &key);
  EXPECT_EQ(0u, S(key.pszGet()).find(u"Context=7;"));
}

TEST_F(Manager, DispatcherKeyTexts) {
  d.has_provider = false;
  d.extended = u"X=1";
  CTString key;
  manager->BuildDispatcherKey(&d, u"CLIENT", &key);
  EXPECT_EQ(u"Table=CLIENT;Provider=NULL;ExtendedInformation=X=1;Source=srv;Database=db;"
            u"user id=bob;password=" +
                std::u16string(qg::FormatString(u"%I64u", CNAManager::nHashPassword(u"pw"))) +
                u";access=RW",
            S(key.pszGet()));
  CNAManager::BuildContextDispatcherKey(4294967295u, nullptr, u"Context=0;x", &key);
  EXPECT_EQ(u"CTX=4294967295;Table=NULL;Context=0;x", S(key.pszGet()));
}

TEST_F(Manager, EqualHashesWithOtherPasswordsNeverShare) {
  ASSERT_EQ(CNAManager::nHashPassword(u"a\u0142"), CNAManager::nHashPassword(u"bA"));
  d.password = u"a\u0142";
  qghost::ConnectionDescription other;
  other.owned_by_count = false;
  other.user = d.user;
  other.data_source = d.data_source;
  other.database = d.database;
  other.password = u"bA";
  CNAConnection* first = manager->pclResolveConnection(&d, nullptr);
  CNAConnection* second = manager->pclResolveConnection(&other, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(2u, manager->nGetConnectionCount());
  // Each login finds its own connection again.
  CNAConnection* again = manager->pclFindConnection(&other);
  EXPECT_EQ(second, again);
  manager->bReleaseConnection(again);
  again = manager->pclFindConnection(&d);
  EXPECT_EQ(first, again);
  manager->bReleaseConnection(again);
  // A user id differing in case only is another login as well.
  other.password = d.password;
  other.user = u"BOB";
  EXPECT_EQ(nullptr, manager->pclFindConnection(&other));
  CNAConnection* third = manager->pclResolveConnection(&other, nullptr);
  EXPECT_NE(first, third);
  EXPECT_EQ(third, manager->pclFindConnection(&other));
  manager->bReleaseConnection(third);
  manager->bReleaseConnection(third);
  manager->bReleaseConnection(second);
  manager->bReleaseConnection(first);
}

TEST_F(Manager, ExplicitOpenKeepsTheConnectionUntilDisconnect) {
  INAError* slot = nullptr;
  ASSERT_TRUE(manager->bOpenConnection(&d, 0, &slot));
  ASSERT_TRUE(manager->bOpenConnection(&d, 0, &slot));  // the extra reference is taken once
  EXPECT_EQ(nullptr, slot);
  CNAConnection* c = manager->pclFindConnection(&d);
  ASSERT_NE(nullptr, c);
  EXPECT_EQ(3, c->nGetReferences());  // table + explicit open + this find
  EXPECT_TRUE(manager->bReleaseConnection(c));
  EXPECT_EQ(1u, manager->nGetConnectionCount());
  EXPECT_TRUE(manager->bDisconnect(&d, &slot));
  EXPECT_EQ(0u, manager->nGetConnectionCount());
  // A second disconnect of a gone connection changes nothing.
  EXPECT_TRUE(manager->bDisconnect(&d, &slot));
}

TEST_F(Manager, FailedOpenUnfilesAndHandsTheErrorOut) {
  manager->fail_open = true;
  INAError* slot = nullptr;
  EXPECT_FALSE(manager->bOpenConnection(&d, 0, &slot));
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(79u, slot->nGetErrorIdentifier());
  EXPECT_EQ(0u, manager->nGetConnectionCount());
  slot->Release();
}

TEST_F(Manager, UnknownConnectionGivesError14WithTheSlotSite) {
  struct Case {
    bool (CNAManager::*slot)(INAConnectionDescription*, const char16_t*, INAError**);
    const char16_t* site;
  };
  const Case cases[] = {
      {&CNAManager::bCommitTransaction, u"IEQGMARIA=5.4"},
      {&CNAManager::bRollbackTransaction, u"IEQGMARIA=5.5"},
      {&CNAManager::bSavepoint, u"IEQGMARIA=5.12"},
      {&CNAManager::bRollbackToSavepoint, u"IEQGMARIA=5.13"},
      {&CNAManager::bLockTable, u"IEQGMARIA=5.1"},
      {&CNAManager::bUnsupportedItem, u"IEQGMARIA=5.3"},
  };
  d.name = u"Orders";
  for (const Case& c : cases) {
    CNAError* previous = new CNAError();
    previous->AddRef();
    INAError* slot = previous;
    EXPECT_FALSE((manager->*c.slot)(&d, u"t", &slot));
    ASSERT_NE(nullptr, slot);
    EXPECT_NE(static_cast<INAError*>(previous), slot);
    EXPECT_EQ(14u, slot->nGetErrorIdentifier());
    std::u16string dump = S(slot->pszGetMessage());
    EXPECT_NE(std::u16string::npos, dump.find(std::u16string(c.site) + u"\r\n")) << N(c.site);
    EXPECT_NE(std::u16string::npos, dump.find(u"Orders"));
    slot->Release();
  }
}

TEST_F(Manager, TransactionsSendTheirTextsAndNestedLevelsUseSavepoints) {
  INAError* slot = nullptr;
  ASSERT_TRUE(manager->bBeginTransaction(&d, u"outer", &slot));
  ASSERT_TRUE(manager->bBeginTransaction(&d, u"in`ner", &slot));
  CNAConnection* c = manager->pclFindConnection(&d);
  ASSERT_NE(nullptr, c);
  auto* fake = static_cast<FakeConnection*>(c);
  // Committing the outer level by name while the nested one is open fails.
  EXPECT_FALSE(manager->bCommitTransaction(&d, u"OUTER", &slot));
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(10u, slot->nGetErrorIdentifier());
  slot->Release();
  slot = nullptr;
  EXPECT_TRUE(manager->bCommitTransaction(&d, nullptr, &slot));   // the nested level
  EXPECT_TRUE(manager->bRollbackTransaction(&d, nullptr, &slot)); // the outer one
  EXPECT_EQ((std::vector<std::u16string>{u"BEGIN", u"SAVEPOINT `in``ner`",
                                         u"RELEASE SAVEPOINT `in``ner`", u"ROLLBACK"}),
            fake->texts);
  EXPECT_FALSE(manager->bCommitTransaction(&d, nullptr, &slot));  // nothing left
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(9u, slot->nGetErrorIdentifier());
  EXPECT_NE(std::u16string::npos, S(slot->pszGetMessage()).find(u"IEQGMARIA=1.1\r\n"));
  slot->Release();
  manager->bReleaseConnection(c);
}

TEST_F(Manager, ConnectionInATransactionSurvivesItsLastRelease) {
  CNAConnection* c = manager->pclResolveConnection(&d, nullptr);
  CNAError error;
  ASSERT_TRUE(c->bBeginTransaction(&error, nullptr));
  EXPECT_TRUE(manager->bReleaseConnection(c));
  EXPECT_EQ(1u, manager->nGetConnectionCount());
  c = manager->pclFindConnection(&d);
  ASSERT_TRUE(c->bCommitTransaction(&error, nullptr));
  EXPECT_FALSE(manager->bReleaseConnection(c));
  EXPECT_EQ(0u, manager->nGetConnectionCount());
}

TEST_F(Manager, RegistryFilesSessionsByTheAddressOfTheNameText) {
  CNAError error;
  CNARegistry* registry = manager->pclFindOrCreateRegistry(3, &error);
  ASSERT_NE(nullptr, registry);
  qghost::FileDescription a(u"CLIENT", 3), b(u"CLIENT", 3);
  bool created = false;
  CNARegistryChild* s1 = registry->pclFindOrCreateChild(&a, nullptr, &created, &error);
  EXPECT_TRUE(created);
  CNARegistryChild* s2 = registry->pclFindOrCreateChild(&a, nullptr, &created, &error);
  EXPECT_FALSE(created);
  EXPECT_EQ(s1, s2);
  EXPECT_EQ(3, s1->nGetReferences());  // table + two finds
  CNARegistryChild* s3 = registry->pclFindOrCreateChild(&b, nullptr, &created, &error);
  EXPECT_NE(s1, s3);
  EXPECT_EQ(registry, static_cast<FakeSession*>(s1)->source);
  static_cast<FakeSession*>(s3)->open = true;
  ReleaseBoth(s1);
  ReleaseBoth(s2);
  ReleaseBoth(s3);
  ReleaseBoth(registry);
  EXPECT_TRUE(manager->bSetContextName(3, u"Ctx", nullptr));
  // Closing the context closes only the open session.
  manager->CloseContext(3);
  EXPECT_EQ(1, manager->closes.load());
  EXPECT_EQ(0u, manager->nGetRegistryCount());
}

TEST_F(Manager, CopyingAContextCopiesItsSessions) {
  CNAError error;
  CNARegistry* registry = manager->pclFindOrCreateRegistry(1, &error);
  qghost::FileDescription a(u"T", 1);
  bool created = false;
  ReleaseBoth(registry->pclFindOrCreateChild(&a, nullptr, &created, &error));
  ReleaseBoth(registry);
  CNACopyContext context;
  ASSERT_TRUE(manager->bCopyContext(1, 2, &context, nullptr));
  CNARegistry* copy = manager->pclFindRegistry(2);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(1u, copy->nGetChildCount());
  ReleaseBoth(copy);
  // A missing source gives an empty registry.
  ASSERT_TRUE(manager->bCopyContext(9, 10, &context, nullptr));
  EXPECT_EQ(3u, manager->nGetRegistryCount());
}

TEST_F(Manager, TraceLabelsFallBackToTheirFrenchTexts) {
  manager->LoadTraceLabels(&qg::SharedCatalogue());
  EXPECT_EQ(u"Texte de la requête :", S(manager->pszGetTraceLabel(kLabelStatementText)));
  EXPECT_EQ(u"Connexion Page Code: ", S(manager->pszGetTraceLabel(kLabelConnectionCodePage)));
  for (int i = 0; i < kTraceLabelCount; ++i) {
    EXPECT_EQ(S(NADefaultTraceLabel(static_cast<NATraceLabel>(i))),
              S(manager->pszGetTraceLabel(static_cast<NATraceLabel>(i))));
  }
}

TEST_F(Manager, ReleaseAtOneDestroysAndClearsTheProcessWidePointer) {
  TestManager* other = new TestManager();
  other->AddRef();
  NASetManager(manager);
  NASetManager(other);
  manager->Release();  // the first: the pointer stays on the second
  manager = nullptr;
  EXPECT_EQ(other, NAGetManager());
  EXPECT_EQ(0, other->Release());
  EXPECT_EQ(nullptr, NAGetManager());
}

TEST_F(Manager, ConcurrentFindOrCreateAndContextClose) {
  std::vector<std::thread> threads;
  std::vector<std::unique_ptr<qghost::FileDescription>> handles;
  for (int i = 0; i < 8; ++i) {
    handles.push_back(std::make_unique<qghost::FileDescription>(u"T", 5));
  }
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round) {
        CNAError error;
        if (t == 3 && round % 10 == 0) {
          manager->CloseContext(5);
          continue;
        }
        CNARegistry* registry = manager->pclFindOrCreateRegistry(5, &error);
        if (registry == nullptr) continue;
        bool created = false;
        CNARegistryChild* child = registry->pclFindOrCreateChild(
            handles[(t + round) % handles.size()].get(), nullptr, &created, &error);
        ReleaseBoth(child);
        manager->bSetContextName(5, u"n", nullptr);
        manager->bDropRegistry(registry);
      }
    });
  }
  for (auto& t : threads) t.join();
  manager->CloseContext(5);
  EXPECT_EQ(0u, manager->nGetRegistryCount());
}

class ConnectionOptions : public qg::StringHostTest {};

TEST_F(ConnectionOptions, ExtendedInformationKeys) {
  struct Case {
    const char16_t* extended;
    int32_t connection_timeout;
    int32_t cursor;
    const char16_t* left;
  };
  const Case cases[] = {
      {u"QG Connection Timeout=30;Foo=1", 30, 0, u"Foo=1"},
      {u"qg connection timeout = 30 ;Bar=2", 30, 0, u"Bar=2"},
      {u"QG Connection Timeout=;", 9, 0, u""},
      {u"XQG Connection Timeout=5", 9, 0, u"XQG Connection Timeout=5"},
      {u"QG Cursor Location=SERVER", 9, 2, u""},
      {u"QG Cursor Location=CLIENT", 9, 1, u""},
      {u"QG Cursor Location=Other", 9, 0, u""},
      {u"SSL CAPath=/p;SSL CA=/c;Server Port=3307", 9, 0, u"Server Port=3307"},
  };
  for (const Case& c : cases) {
    qghost::ConnectionDescription d;
    d.owned_by_count = false;
    d.extended = c.extended;
    d.connection_timeout = 9;
    d.cursor_flags = 0;
    FakeConnection connection(u"k", &d, nullptr);
    EXPECT_EQ(c.connection_timeout, connection.m_nConnectionTimeout) << N(c.extended);
    EXPECT_EQ(c.cursor, connection.m_nCursorLocation) << N(c.extended);
    EXPECT_EQ(S(c.left), S(connection.m_strExtendedInfo.pszGet())) << N(c.extended);
  }
  qghost::ConnectionDescription d;
  d.owned_by_count = false;
  d.extended = u"SSL CAPath=/p;SSL CA=/c;QG Cache Size=5000000000";
  d.cursor_flags = 1;
  FakeConnection connection(u"k", &d, nullptr);
  EXPECT_EQ(u"/c", S(connection.m_strSslCa.pszGet()));
  EXPECT_EQ(u"/p", S(connection.m_strSslCaPath.pszGet()));
  EXPECT_EQ(5000000000, connection.m_nCacheSize);
  EXPECT_EQ(2, connection.m_nCursorLocation);
  d.extended = u"";
  d.version = 3;
  d.cache_size = 77;
  FakeConnection old(u"k", &d, nullptr);
  EXPECT_EQ(-2, old.m_nCacheSize);
  d.provider = u"Initial Catalog=fromprovider";
  FakeConnection database(u"k", &d, nullptr);
  EXPECT_EQ(u"fromprovider", S(database.pszGetDatabase()));
}

class ConnectionSql : public qg::StringHostTest {};

TEST_F(ConnectionSql, QuotingTable) {
  qghost::ConnectionDescription d;
  d.owned_by_count = false;
  FakeConnection c(u"k", &d, nullptr);
  struct Case {
    const char16_t* name;
    const char16_t* quoted;
  };
  const Case cases[] = {
      {u"Clients", u"`Clients`"},
      {u"`Clients`", u"`Clients`"},
      {u"a`b", u"`a``b`"},
      {u"`a``b`", u"`a``b`"},
      {u"`x`; DROP TABLE t; -- ", u"```x``; DROP TABLE t; -- `"},
      {u"`", u"````"},
      {u"`a`b`", u"```a``b```"},
      {u"`a` b", u"```a`` b`"},
  };
  for (const Case& k : cases) {
    CTString out;
    ASSERT_TRUE(c.bQuoteName(nullptr, k.name, &out));
    EXPECT_EQ(S(k.quoted), S(out.pszGet())) << N(k.name);
  }
  CTString out;
  c.bQuoteQualifiedName(nullptr, u"db.Clients", &out);
  EXPECT_EQ(u"`db`.`Clients`", S(out.pszGet()));
  c.bQuoteQualifiedName(nullptr, u"`a.b`.c", &out);
  EXPECT_EQ(u"`a.b`.`c`", S(out.pszGet()));
  c.m_nDbmsKind = 1;
  c.m_strOpenQuote = u"\"";
  c.m_strCloseQuote = u"\"";
  for (const char16_t* plain : {u"ABC", u"\"Q\""}) {
    c.bQuoteName(nullptr, plain, &out);
    EXPECT_EQ(S(plain), S(out.pszGet()));
  }
  for (const char16_t* plain : {u"[Q R]", u"\"a\"\"b\"", u"t$1#"}) {
    c.bQuoteName(nullptr, plain, &out);
    EXPECT_EQ(S(plain), S(out.pszGet()));
  }
  for (const char16_t* needs : {u"my col", u"group", u"_x", u"a-b", u"a;b", u"a'b", u"a)b"}) {
    c.bQuoteName(nullptr, needs, &out);
    EXPECT_EQ(u"\"" + S(needs) + u"\"", S(out.pszGet()));
  }
  // Names that only look quoted: each quote inside is doubled, so that
  // nothing after it leaves the name.
  const Case looks_quoted[] = {
      {u"\"x\"y\"", u"\"\"\"x\"\"y\"\"\""},
      {u"\"x\" OR 1=1 --\"", u"\"\"\"x\"\" OR 1=1 --\"\"\""},
      {u"a\"b", u"\"a\"\"b\""},
      {u"[x]; DROP TABLE t", u"\"[x]; DROP TABLE t\""},
      {u"[x]]", u"\"[x]]\""},
      {u"\"", u"\"\"\"\""},
  };
  for (const Case& k : looks_quoted) {
    c.bQuoteName(nullptr, k.name, &out);
    EXPECT_EQ(S(k.quoted), S(out.pszGet())) << N(k.name);
  }
  CTString qualifier, rest;
  CNAConnection::SplitQualifiedName(u"s.t.u", &qualifier, &rest);
  EXPECT_EQ(u"s", S(qualifier.pszGet()));
  EXPECT_EQ(u"t.u", S(rest.pszGet()));
}

}  // namespace

#include "driver/core/dual_string.h"
#include "support/any.h"

namespace {

std::u16string Literal(CNAConnection& c, const CAny& value, bool hex = false,
                       bool* ok = nullptr) {
  CDualString out(CDualString::kUtf16, 1252);
  CNAError error;
  bool done = c.bValueLiteral(&error, &out, value, 0, hex);
  if (ok != nullptr) *ok = done;
  return done ? std::u16string(out.pszGetW()) : u"<refused>";
}

TEST_F(ConnectionSql, ValueLiteralTable) {
  qghost::ConnectionDescription d;
  d.owned_by_count = false;
  FakeConnection c(u"k", &d, nullptr);
  c.m_nDbmsKind = 0;
  c.m_strOpenQuote = u"";
  c.m_strCloseQuote = u"";
  CAny v;
  v.SetI4(5);
  v.SetNull(true);
  EXPECT_EQ(u"NULL", Literal(c, v));
  v.SetBOOL(1);
  EXPECT_EQ(u"1", Literal(c, v));
  v.SetR8(3.5);
  EXPECT_EQ(u"3.5", Literal(c, v));
  v.SetR8(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(u"<refused>", Literal(c, v));
  v.SetI8(-42);
  EXPECT_EQ(u"-42", Literal(c, v));
  v.SetI4(7);
  EXPECT_EQ(u"7", Literal(c, v));
  v.SetUI1(200);
  EXPECT_EQ(u"200", Literal(c, v));
  v.SetDSTRW(u"O'Brien");
  EXPECT_EQ(u"'O''Brien'", Literal(c, v));
  v.SetDSTRW(u"");
  EXPECT_EQ(u"''", Literal(c, v));
  v.SetDATEW(u"20240229");
  EXPECT_EQ(u"'2024-02-29'", Literal(c, v));
  v.SetDATEW(u"00000000");
  EXPECT_EQ(u"'0000-00-00'", Literal(c, v));
  v.SetDATEW(u"2024'; -");
  EXPECT_EQ(u"<refused>", Literal(c, v));
  // Days a month does not have.
  for (const char16_t* impossible : {u"20241301", u"20240231", u"20230229", u"19000229",
                                     u"20240431", u"20240100"}) {
    v.SetDATEW(impossible);
    EXPECT_EQ(u"<refused>", Literal(c, v)) << std::string(impossible, impossible + 8);
  }
  v.SetDATEW(u"20000229");
  EXPECT_EQ(u"'2000-02-29'", Literal(c, v));
  v.SetTIMEW(u"123045678");
  EXPECT_EQ(u"'12:30:45.678'", Literal(c, v));
  v.SetDATETIME(0, 0, 0, 1, 2, 3, 4);
  EXPECT_EQ(u"'0000-00-00 01:02:03.004'", Literal(c, v));
  c.m_nDbmsKind = 1;
  v.SetDATEW(u"20240229");
  EXPECT_EQ(u"TO_DATE( '20240229', 'YYYYMMDD')", Literal(c, v));
  c.m_nDbmsKind = 11;
  EXPECT_EQ(u"MDY(2,29,2024)", Literal(c, v));
  c.m_nDbmsKind = 5;
  c.m_strBinaryPrefix = u"X'";
  c.m_strBinarySuffix = u"'";
  const unsigned char bytes[] = {0x0A, 0xFF};
  v.SetBIN(bytes, 2);
  EXPECT_EQ(u"X'0AFF'", Literal(c, v, true));
  v.SetBIN(bytes, 0);
  EXPECT_EQ(u"X''", Literal(c, v, true));
  c.m_nDbmsKind = 4;
  EXPECT_EQ(u"''", Literal(c, v));
}

TEST_F(ConnectionSql, DateTimeExpressionsPerKind) {
  qghost::ConnectionDescription d;
  d.owned_by_count = false;
  FakeConnection c(u"k", &d, nullptr);
  struct Case {
    int32_t kind, type, subtype;
    const char16_t* expected;
  };
  const Case cases[] = {
      {5, 14, 0, u"DATE_FORMAT(c,'%Y%m%d')"},
      {5, 11, 5, u"TIME_FORMAT(c,'%H%i')"},
      {5, 11, 6, u"SUBSTR(TIME_FORMAT(c,'%H%i%S'), 1, 5)"},
      {5, 11, 7, u"TIME_FORMAT(c,'%H%i%S')"},
      {5, 11, 10, u"SUBSTR(TIME_FORMAT(c,'%H%i%S%f'), 1, 9)"},
      {5, 24, 0, u"SUBSTR(DATE_FORMAT(c,'%Y%m%d%H%i%S%f'), 1, 17)"},
      {2, 11, 5, u"SUBSTRING(REPLACE(CONVERT(varchar(8),c,108),':',''), 1, 4)"},
      {3, 11, 8, u"(FORMAT(c,'HHmmss') + '0')"},
      {11, 11, 9, u"TO_CHAR(c,'%H%M%S%F2')"},
      {13, 14, 0, u"strftime('%Y%m%d',c)"},
      {0, 24, 0, u"(TO_CHAR(c,'YYYYMMDDHH24MISS')+'000')"},
      {5, 2, 0, u"c"},
  };
  for (const Case& k : cases) {
    c.m_nDbmsKind = k.kind;
    CTString out;
    c.bGetDateTimeExpression(&out, u"c", k.type, k.subtype);
    EXPECT_EQ(S(k.expected), S(out.pszGet())) << k.kind << " " << k.type << " " << k.subtype;
  }
}

}  // namespace
