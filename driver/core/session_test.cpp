#include "driver/core/session.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/manager.h"
#include "driver/sql/table_access.h"
#include "host/core/driver_objects.h"
#include "support/any.h"
#include "support/string_host_fixture.h"

namespace {

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
  bool bOpen(CNAError*, int32_t) override { return true; }
  bool bIsOpen() override { return true; }
  bool bClose(CNAError*) override {
    ++closes;
    return true;
  }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
  static inline int closes = 0;
};

class TestManager : public CNAManager {
 public:
  CNAConnection* pclNewConnection(const char16_t* key, INAConnectionDescription* d) override {
    return new FakeConnection(key, d, this);
  }
  // No table on this server; the lookup records its own error when asked.
  CNATableDescription* pclGetTableDescriptionByName(CNAConnection*, const char16_t*,
                                                    CNAError* error) override {
    if (lookup_fails_loudly) NASetErrorMessage(error, 0, 5, 1, nullptr, 30u);
    return nullptr;
  }
  bool lookup_fails_loudly = false;
};

class Session : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    manager = new TestManager();
    manager->AddRef();
    d.owned_by_count = false;
    CNAError e;
    connection = manager->pclResolveConnection(&d, &e);
    ASSERT_NE(nullptr, connection);
    session = NAAddRef(new CNASession(&file, connection));
  }
  void TearDown() override {
    ReleaseBoth(session);
    if (connection != nullptr) manager->bReleaseConnection(connection);
    manager->Release();
    qg::StringHostTest::TearDown();
  }
  qghost::FileDescription file{u"db.ORDERS", 1};
  qghost::ConnectionDescription d;
  TestManager* manager = nullptr;
  CNAConnection* connection = nullptr;
  CNASession* session = nullptr;
};

std::u16string Debug(CNAError& e) { return e.pclGetXError()->pszGetDebugMessage(); }

TEST_F(Session, UnsupportedSlotsFailWithTheirSite) {
  struct Case {
    std::function<bool(CNASession*, CNAError*)> call;
    const char16_t* site;
  } cases[] = {
      {[](CNASession* s, CNAError* e) { return s->bUnsupported15(1, 2, 3, e); }, u"=3.10\r"},
      {[](CNASession* s, CNAError* e) { return s->bUnsupported16(e); }, u"=3.11\r"},
      {[](CNASession* s, CNAError* e) { return s->bUnsupported23(1, 2, e); }, u"=3.5\r"},
      {[](CNASession* s, CNAError* e) { return s->bUnsupported25(1, 2, 3, 4, e); }, u"=3.7\r"},
      {[](CNASession* s, CNAError* e) { return s->bUnsupported26(1, 2, e); }, u"=3.29\r"},
      {[](CNASession* s, CNAError* e) { return s->bUnsupported39(1, 2, 3, 4, e); }, u"=3.13\r"},
  };
  for (const Case& c : cases) {
    for (int twice = 0; twice < 2; ++twice) {
      CNAError e;
      EXPECT_FALSE(c.call(session, &e));
      EXPECT_EQ(8u, e.nGetErrorIdentifier());
      EXPECT_NE(std::u16string::npos, Debug(e).find(c.site)) << std::string(Debug(e).begin(), Debug(e).end());
    }
    EXPECT_FALSE(c.call(session, nullptr));  // no error object: dropped
  }
}

TEST_F(Session, RecordNumbersAndRangesAreRefusedBeforeAnyWork) {
  struct Case {
    std::function<bool(CNAError*)> call;
  } cases[] = {
      {[&](CNAError* e) { return session->bDelete(5, 0, 0, e, 0); }},
      {[&](CNAError* e) { return session->bModify(0, 3, 0, 0, e); }},
      {[&](CNAError* e) { return session->bGetRecordCounter(1, 1, 0, e); }},
  };
  for (const Case& c : cases) {
    CNAError e;
    EXPECT_FALSE(c.call(&e));
    EXPECT_EQ(18u, e.nGetErrorIdentifier());
    EXPECT_NE(std::u16string::npos, Debug(e).find(u"=3.14\r"));
  }
}

TEST_F(Session, StateReadsAndHooks) {
  EXPECT_EQ(std::u16string(u"db.ORDERS"), session->pszGetFileName());
  EXPECT_EQ(std::u16string(u"`db`.`ORDERS`"), session->pszGetQuotedTableName());
  EXPECT_FALSE(session->bIsOpen());
  EXPECT_EQ(1, session->nGetRecordValuesKind());
  EXPECT_EQ(0, session->nHook37());
  EXPECT_EQ(0, session->nGetQueryIndicator());
  int32_t out = 7;
  EXPECT_TRUE(session->bHook33(reinterpret_cast<intptr_t>(&out)));
  EXPECT_EQ(0, out);
  EXPECT_TRUE(session->bIsQueryResult(reinterpret_cast<intptr_t>(&out), 0, nullptr));
  EXPECT_EQ(1, out);
  EXPECT_FALSE(session->bIsRawSQL());
  EXPECT_FALSE(session->bIsModifyingQuery());

  // No table access object, no logical description: a null value.
  CAny value;
  value.SetDSTRW(u"x");
  EXPECT_TRUE(session->bReadItemValue(0, &value, nullptr));
  EXPECT_TRUE(value.bEstNull());

  INAFileDescription* host = session->pclGetHostDescription();
  EXPECT_EQ(&file, host);
  host->Release();

  // Unknown names for the named tests and per-mille position.
  CNAError e1, e2, e3;
  EXPECT_FALSE(session->bIsAtEnd(u"K", 0, &e1));
  EXPECT_NE(std::u16string::npos, Debug(e1).find(u"=3.17\r"));
  EXPECT_FALSE(session->bIsFoundAndInRange(u"K", 0, 0, &e2));
  EXPECT_NE(std::u16string::npos, Debug(e2).find(u"=3.18\r"));
  int32_t per_mille = -1;
  EXPECT_FALSE(session->bGetPositionPerMille(u"K", &per_mille, &e3));
  EXPECT_EQ(7u, e3.nGetErrorIdentifier());
  EXPECT_NE(std::u16string::npos, Debug(e3).find(u"=3.1\r"));
}

TEST_F(Session, OpenAlreadyOpenSucceedsWithoutTheServer) {
  session->m_bOpen = true;
  CNAError e;
  EXPECT_TRUE(session->bOpen(0, 0, &e));
  EXPECT_FALSE(e.bHasError());
}

TEST_F(Session, FailedOpenOfAMissingTable) {
  // A quiet lookup: the describe error (site 3.12, message 15, code 11).
  CNAError e;
  EXPECT_FALSE(session->bOpen(0, 0, &e));
  EXPECT_EQ(2, e.nGetLevel());
  EXPECT_EQ(11, e.nGetCode());
  EXPECT_EQ(15u, e.nGetErrorIdentifier());
  EXPECT_NE(std::u16string::npos, Debug(e).find(u"=3.12\r"));
  EXPECT_FALSE(session->bIsOpen());

  // A lookup that said why: its error stays, the file's message first.
  manager->lookup_fails_loudly = true;
  CNAError loud;
  EXPECT_FALSE(session->bOpen(0, 0, &loud));
  EXPECT_EQ(2, loud.nGetLevel());
  EXPECT_EQ(30u, loud.nGetErrorIdentifier());
  EXPECT_EQ(std::u16string::npos, Debug(loud).find(u"=3.12\r"));
  std::u16string user = loud.pclGetXError()->pszGetUserMessage();
  EXPECT_LT(user.find(u"<db.ORDERS>"), user.find(u"\r\n")) << std::string(user.begin(), user.end());
}

TEST_F(Session, CloneKeepsAccessNamesPositionSerialsAndPlainFields) {
  CNAError e;
  CNATableAccess* a = session->pclGetTableAccess(u"KEY1", &e);
  ASSERT_NE(nullptr, a);
  ReleaseBoth(a);
  CNATableAccess* b = session->pclGetDefaultTableAccess(&e);
  ASSERT_NE(nullptr, b);
  ReleaseBoth(b);
  CNATableAccess* current = session->pclGetCurrentTableAccess();
  uint32_t serial1 = CNASession::nNextPositionSerial();
  uint32_t serial2 = CNASession::nNextPositionSerial();
  EXPECT_EQ(serial1 + 1, serial2);
  CNARefCounted* position = NAAddRef(new CNARefCounted());
  session->bAddSavedPosition(serial1, position);
  session->bAddSavedPosition(serial2, position);
  ReleaseBoth(position);
  session->m_nFlags = kNASessionRawSQL;
  session->m_nIndexSelection = 3;
  session->m_strQueryTable = u"Q";

  CNACopyContext context;
  CNASession* copy = session->pclClone(&context);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(copy, context.pFindCopy(session));
  EXPECT_EQ(2u, copy->nGetTableAccessCount());
  CNATableAccess* copied = copy->pclFindTableAccess(u"key1");  // names ignore case
  ASSERT_NE(nullptr, copied);
  EXPECT_NE(current, copied);
  EXPECT_EQ(copied, copy->pclGetCurrentTableAccess());
  EXPECT_EQ(std::u16string(u"KEY1"), copied->pszGetName());
  ReleaseBoth(copied);
  EXPECT_EQ(2u, copy->nGetSavedPositionCount());
  CNARefCounted* found = copy->pclFindSavedPosition(serial2);
  EXPECT_NE(nullptr, found);
  ReleaseBoth(found);
  EXPECT_EQ(kNASessionRawSQL, copy->m_nFlags);
  EXPECT_EQ(3u, copy->m_nIndexSelection);
  EXPECT_EQ(std::u16string(u"Q"), copy->m_strQueryTable.pszGet());
  EXPECT_EQ(session->pclGetConnection(), copy->pclGetConnection());
  ReleaseBoth(copy);
}

TEST_F(Session, DumpOfAnIgnoredError) {
  CNAError e;
  CNASession::Fail(&e, 10, 8);
  CTString text = CNASession::DumpIgnored(e, u"ORDERS", u"ID");
  std::u16string dump = text.pszGet();
  EXPECT_EQ(0u, dump.find(u"Message d'erreur ignoré :Dump du CXError\r\nfichier <ORDERS>, "
                          u"rubrique <ID>\r\nMessage d'erreur utilisateur : \r\n"));
  EXPECT_NE(std::u16string::npos, dump.find(u"\r\nInformations de debug : \r\n"));
  EXPECT_LE(dump.size(), 1000u);
}

TEST_F(Session, DestroyingTheLastUserClosesAnIdleConnection) {
  FakeConnection::closes = 0;
  manager->bReleaseConnection(connection);
  connection = nullptr;
  EXPECT_EQ(0, FakeConnection::closes);
  EXPECT_EQ(1u, manager->nGetConnectionCount());
  ReleaseBoth(session);
  session = nullptr;
  EXPECT_EQ(1, FakeConnection::closes);
  EXPECT_EQ(0u, manager->nGetConnectionCount());
}

}  // namespace
