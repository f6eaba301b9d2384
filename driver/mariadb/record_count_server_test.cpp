// The MariaDB record count against the private server: raw SQL text read
// through an open result is counted by streaming its rows on a statement of
// its own (a text whose columns repeat a name cannot be wrapped in a
// COUNT as a derived table), and the open result keeps its position; every
// other read counts with COUNT(*).
#include <gtest/gtest.h>

#include <string>

#include "driver/core/error_status.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/session_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/query.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/statement.h"
#include "host/core/calc_entries.h"
#include "host/core/driver_objects.h"
#include "host/core/parsed_query.h"
#include "support/any.h"
#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& N = qg::rig::Narrow;

class RecordCount : public qg::rig::ManagerServerTest {
 protected:
  void SetUp() override {
    qg::rig::ManagerServerTest::SetUp();
    if (HasFatalFailure()) return;
    d_.owned_by_count = false;
    ASSERT_TRUE(qg::rig::OpenOnSocket(manager, &d_, db_.Name(), &c_));
  }
  void TearDown() override {
    if (c_ != nullptr) manager->bReleaseConnection(c_);
    qg::rig::ManagerServerTest::TearDown();
  }
  void Run(const std::string& sql) { qg::rig::RunOnConnection(c_, sql); }

  qg::rig::TestDatabase db_;
  qghost::ConnectionDescription d_;
  CNAConnectionMariaDB* c_ = nullptr;
};

TEST_F(RecordCount, RawSQLThroughAnOpenResultIsStreamedAndKeepsThePosition) {
  Run("CREATE TABLE t (id INT PRIMARY KEY, a INT)");
  Run("INSERT INTO t SELECT seq, seq % 7 FROM seq_1_to_250");
  struct Case {
    const char16_t* text;
    uint32_t flags;
    int64_t count;
  } cases[] = {
      {u"SELECT id, id FROM t WHERE a = 3", kNASessionRawSQL, 36},
      {u"SELECT id FROM t WHERE a = 3 ORDER BY id LIMIT 20", kNASessionRawSQL, 20},
      {u"SELECT id, a FROM t WHERE a = 3", 0, 36},
  };
  for (const Case& k : cases) {
    qghost::ParseSchema schema;
    schema.AddTable(u"t", {{u"id", qg::kKeyPrimary, 8}, {u"a", 0, 8}});
    std::string parse_error;
    qg::IParsedQuery* parsed = qghost::ParseQuery(k.text, &schema, &parse_error);
    ASSERT_NE(nullptr, parsed) << parse_error;
    CNARefPtr<CNAQuery> query(NAAddRef(new CNAQuery(parsed, true)));
    parsed->Release();
    qghost::FileDescription file{u"Q", 1};
    CNARefPtr<CNASession> session(
        NAAddRef(static_cast<CNASession*>(manager->pclNewSession(&file, c_, nullptr))));
    session->m_nQueryMode = 1;
    session->m_nFlags = k.flags;
    session->SetQuery(query.Get());
    CNARefPtr<CNATableAccess> access(NAAddRef(manager->pclNewTableAccess(session.Get(), c_)));
    access->SetTableName(u"t");
    CNAError error;
    ASSERT_TRUE(access->bRunByStatementKind(1, nullptr, &error)) << N(error.pszGetMessage());
    ASSERT_TRUE(access->bOpen(&error)) << N(error.pszGetMessage());
    bool found = false;
    ASSERT_TRUE(access->bReadPosition(kNAReadFirst, false, 1, &found, &error));
    ASSERT_TRUE(found);
    CAny before;
    ASSERT_TRUE(access->pclGetResult()->bGetRowText(before, 0, &error));
    session->SetCurrentTableAccess(access.Get());

    int32_t open = -1;
    ASSERT_TRUE(session->bIsQueryResult(reinterpret_cast<intptr_t>(&open), 0, &error));
    EXPECT_EQ(1, open);
    int64_t count = -1;
    ASSERT_TRUE(access->bCountRecords(&count, &error)) << N(k.text) << ": "
                                                       << N(error.pszGetMessage());
    EXPECT_EQ(k.count, count) << N(k.text);
    if ((k.flags & kNASessionRawSQL) != 0) {
      // The open result still stands on its row and goes on from it.
      CAny after;
      ASSERT_TRUE(access->pclGetResult()->bGetRowText(after, 0, &error));
      const char16_t* a = nullptr;
      const char16_t* b = nullptr;
      before.nGetPCXSTR(&a);
      after.nGetPCXSTR(&b);
      EXPECT_EQ(N(a), N(b)) << N(k.text);
      ASSERT_TRUE(access->bReadPosition(kNAReadNext, false, 1, &found, &error));
      EXPECT_EQ(k.count > 1, found) << N(k.text);
    }
    session->SetCurrentTableAccess(nullptr);
    access->Close();
    // The answer follows the query mode, not the result held.
    open = -1;
    ASSERT_TRUE(session->bIsQueryResult(reinterpret_cast<intptr_t>(&open), 0, &error));
    EXPECT_EQ(1, open);
    session->m_nQueryMode = 0;
    open = -1;
    ASSERT_TRUE(session->bIsQueryResult(reinterpret_cast<intptr_t>(&open), 0, &error));
    EXPECT_EQ(0, open);
  }
}

}  // namespace
