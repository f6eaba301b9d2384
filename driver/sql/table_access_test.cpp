#include "driver/sql/table_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/statement.h"
#include "support/string_host_fixture.h"

namespace {

class Connection : public CNAConnection {
 public:
  Connection() : CNAConnection(u"k", nullptr, nullptr) { m_nDbmsKind = 5; }
  bool bOpen(CNAError*, int32_t) override { return true; }
  bool bIsOpen() override { return true; }
  bool bClose(CNAError*) override { return true; }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
  void TransactionEnded() override { ++ended; }
  int ended = 0;
};

// A statement that records the texts it is given and answers a result of
// `rows` rows.
class Statement : public CNAStatement {
 public:
  explicit Statement(CNAConnection* c, std::vector<std::string>* texts)
      : CNAStatement(c), m_pTexts(texts) {}
  CNAStatement* pclClone(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
  bool bExecuteNarrow(const char* text, size_t length, intptr_t, int64_t*, CNAError*) override {
    m_pTexts->emplace_back(text, length);
    m_nRowCount = rows;
    return true;
  }
  int64_t rows = 0;

 private:
  std::vector<std::string>* m_pTexts;
};

class Access : public CNATableAccess {
 public:
  Access(CNAConnection* c, std::vector<std::string>* texts, int64_t rows)
      : CNATableAccess(nullptr, c), m_pTexts(texts), m_nRows(rows) {}
  CNAStatement* pclNewResult() override {
    auto* s = new Statement(pclGetConnection(), m_pTexts);
    s->rows = m_nRows;
    return s;
  }

 private:
  std::vector<std::string>* m_pTexts;
  int64_t m_nRows;
};

class TableAccess : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    connection = NAAddRef(new Connection());
  }
  void TearDown() override {
    ReleaseBoth(connection);
    qg::StringHostTest::TearDown();
  }
  // Runs a statement text of a kind with a row limit; the access object
  // stays for the checks.
  bool Run(const char16_t* text, int kind, int64_t rows, int64_t limit = -1) {
    access.Attach(NAAddRef(new Access(connection, &texts, rows)));
    CNASQLGenerator* g = NAAddRef(new CNASQLGenerator(connection));
    g->bAppend(text);
    g->SetStatementKind(kind);
    g->SetRowLimit(limit);
    CNAError error;
    bool ok = access->bExecuteWith(g, &error);
    ReleaseBoth(g);
    return ok;
  }

  Connection* connection = nullptr;
  CNARefPtr<Access> access;
  std::vector<std::string> texts;
};

TEST_F(TableAccess, AnEmptyStatementSucceedsWithoutReachingTheServer) {
  ASSERT_TRUE(Run(u"", 1, 0));
  EXPECT_TRUE(texts.empty());
  EXPECT_EQ(-1, access->nGetLimitMarker());
  EXPECT_TRUE(access->bBeginsAtStart());
}

TEST_F(TableAccess, RollingBackToASavepointTellsTheConnection) {
  struct Case {
    const char16_t* text;
    int kind;
    int told;
  } cases[] = {
      // The generator's query kind 12 is statement kind 11.
      {u"ROLLBACK TO SAVEPOINT s1", 12, 1},
      {u"rollback to savepoint `x`", 12, 1},
      {u"RollBack To SavePoint y", 12, 1},
      {u"ROLLBACK", 12, 0},
      {u"SAVEPOINT s1", 12, 0},
      {u"ROLLBACK TO SAVEPOINT s1", 0, 0},  // not a statement of kind 11
  };
  for (const Case& c : cases) {
    connection->ended = 0;
    ASSERT_TRUE(Run(c.text, c.kind, 0));
    EXPECT_EQ(c.told, connection->ended) << std::string(c.text, c.text + 5);
  }
}

TEST_F(TableAccess, LimitMarkerTellsAResultCutByItsLimit) {
  // Exactly the limit: the result may go on; fewer: it is complete.
  ASSERT_TRUE(Run(u"SELECT * FROM t", 1, 10, 10));
  EXPECT_EQ(10, access->nGetLimitMarker());
  EXPECT_EQ("SELECT * FROM t LIMIT 10", texts.back());
  ASSERT_TRUE(Run(u"SELECT * FROM t", 1, 7, 10));
  EXPECT_EQ(-1, access->nGetLimitMarker());
  ASSERT_TRUE(Run(u"SELECT * FROM t", 1, 7, -1));
  EXPECT_EQ(-1, access->nGetLimitMarker());
}

}  // namespace
