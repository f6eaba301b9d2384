// Statements written by the SQL generator against the private server: the
// rewritten query must return the rows the hand-written one returns.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "host/core/driver_objects.h"
#include "driver/sql/query.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/testing/kind_five_connection.h"
#include "host/core/calc_entries.h"
#include "host/core/parsed_query.h"
#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"

namespace {

auto* const gServer = qg::rig::AddMariaDBServerEnvironment();

std::string N(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) out += static_cast<char>(*p);
  return out;
}

using qg::rig::KindFive;

class GeneratorOnServer : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    // Values convert to text through the stand-in host.
    qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
    qg::Services().pfnFinConversion = &qghost::FinConversion;
    connection = NAAddRef(new KindFive);
    ASSERT_FALSE(db.Name().empty());
    Run("CREATE TABLE t (id INT PRIMARY KEY, u INT NULL UNIQUE, x INT, b VARCHAR(20), d DATE);"
        "INSERT INTO t VALUES (1, NULL, 1, 'alpha', '2024-01-02'), (2, NULL, 1, 'a_b', NULL),"
        "(3, 5, 0, 'a%b', '2023-05-06'), (4, NULL, 0, 'beta', NULL), (5, 7, 1, 'Alpha', '2022-01-01'),"
        "(6, NULL, 1, 'gamma', '2021-01-01'), (7, 9, 0, 'it''s', NULL);");
    schema.AddTable(u"t", {{u"id", qg::kKeyPrimary, 8}, {u"u", qg::kKeyUnique, 8}, {u"x", 0, 8},
                           {u"b", 0, 2}, {u"d", 0, 14}});
  }
  void TearDown() override {
    ReleaseBoth(connection);
    qg::Services().pfnConversion = nullptr;
    qg::Services().pfnFinConversion = nullptr;
    qg::StringHostTest::TearDown();
  }

  std::string Run(const std::string& sql) {
    std::string out;
    EXPECT_TRUE(qg::rig::TestServer()->RunSql("USE `" + db.Name() + "`; " + sql, &out))
        << sql << "\n" << out;
    return out;
  }

  // The dialect text of a regenerated query.
  std::string Generate(const std::u16string& text, const char16_t* extra = nullptr,
                       int64_t limit = -1, int64_t offset = -1, bool appendOrder = false) {
    std::string error;
    qg::IParsedQuery* parsed = qghost::ParseQuery(text, &schema, &error);
    EXPECT_NE(parsed, nullptr) << error;
    if (parsed == nullptr) return {};
    CNARefPtr<CNAQuery> q(NAAddRef(new CNAQuery(parsed, true)));
    parsed->Release();
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    CNARefPtr<CNASQLGenerator> cond(NAAddRef(new CNASQLGenerator(connection)));
    if (extra != nullptr) cond->bAppend(extra);
    CNAError status;
    EXPECT_TRUE(gen->bGenerate(q.Get(), extra != nullptr ? cond.Get() : nullptr, !appendOrder, 0,
                               &status));
    if (appendOrder) {
      // The table access object's way: its own ORDER BY from the query's.
      gen->bAppend(u" ");
      EXPECT_TRUE(gen->bAppendOrderBy(true, nullptr, &status));
    }
    gen->SetRowLimit(limit);
    gen->SetRowOffset(offset);
    const char16_t* dialect = gen->pszGetDialectText(&status);
    EXPECT_NE(dialect, nullptr);
    return N(dialect);
  }

  qg::rig::TestDatabase db;
  qghost::ParseSchema schema;
  KindFive* connection = nullptr;
};

TEST_F(GeneratorOnServer, RewrittenQueriesReturnTheHandWrittenRows) {
  struct Case {
    const char16_t* query;
    const char16_t* extra;
    const char* hand;
  } cases[] = {
      {u"SELECT * FROM t ORDER BY id", nullptr, "SELECT * FROM t ORDER BY id"},
      {u"SELECT id, b FROM t WHERE x = 1 OR b = 'beta' ORDER BY id", u"id > 1",
       "SELECT id, b FROM t WHERE (x = 1 OR b = 'beta') AND id > 1 ORDER BY id"},
      {u"SELECT x, COUNT(*) AS n FROM t GROUP BY x HAVING COUNT(*) > 2 ORDER BY x", u"id < 7",
       "SELECT x, COUNT(*) FROM t WHERE id < 7 GROUP BY x HAVING COUNT(*) > 2 ORDER BY x"},
      {u"SELECT a.id FROM t a JOIN t b ON b.u = a.id + 2 ORDER BY 1", nullptr,
       "SELECT a.id FROM t a JOIN t b ON b.u = a.id + 2 ORDER BY 1"},
      {u"SELECT id FROM t WHERE id IN (SELECT id FROM t WHERE b LIKE 'a%') ORDER BY id", nullptr,
       "SELECT id FROM t WHERE b LIKE 'a%' ORDER BY id"},
      {u"SELECT id FROM t WHERE b = 'it''s'", nullptr, "SELECT 7"},
      {u"SELECT id FROM t WHERE d = '' ORDER BY id", nullptr,
       "SELECT id FROM t WHERE d IS NULL ORDER BY id"},
      {u"SELECT id FROM t WHERE d > '' ORDER BY id", nullptr,
       "SELECT id FROM t WHERE d IS NOT NULL ORDER BY id"},
      {u"SELECT id FROM t WHERE b LIKE 'a!%%' ESCAPE '!' ORDER BY id", nullptr,
       "SELECT 3"},
      // A partial date stands for the first date it names.
      {u"SELECT id FROM t WHERE d = '2022' ORDER BY id", nullptr,
       "SELECT id FROM t WHERE d = '2022-01-01' ORDER BY id"},
      {u"SELECT id FROM t WHERE d <> '202401' ORDER BY id", nullptr,
       "SELECT id FROM t WHERE d <> '2024-01-01' ORDER BY id"},
  };
  for (const Case& c : cases) {
    std::string generated = Generate(c.query, c.extra);
    EXPECT_EQ(Run(generated), Run(c.hand)) << generated;
  }
}

TEST_F(GeneratorOnServer, PagingOverANullableUniqueColumnLosesAndRepeatsNoRow) {
  std::string all = Run("SELECT id FROM t WHERE x = 1 OR u = 5 ORDER BY u, id");
  // The unique column holds several nulls, so the order is total only
  // with the primary key after it.
  std::string pages;
  for (int64_t offset = 0; offset < 10; offset += 2) {
    pages += Run(Generate(u"SELECT id FROM t WHERE x = 1 OR u = 5 ORDER BY u, id", nullptr, 2,
                          offset, true));
  }
  EXPECT_EQ(pages, all);
}

// The first column of every row, one per line, through the connection's own
// handle (so that its session's sql_mode applies).
std::string Rows(CNAConnectionMariaDB* c, const std::string& sql) {
  CNALock lock(c->pGetLock());
  MYSQL* h = c->pGetHandle();
  if (h == nullptr || gMariaDB.mysql_real_query(h, sql.data(), sql.size()) != 0) {
    return "(error " + std::to_string(h != nullptr ? gMariaDB.mysql_errno(h) : 0) + ")";
  }
  std::string out;
  MYSQL_RES* result = gMariaDB.mysql_store_result(h);
  if (result != nullptr) {
    while (MYSQL_ROW row = gMariaDB.mysql_fetch_row(result)) out += std::string(row[0]) + "\n";
    gMariaDB.mysql_free_result(result);
  }
  return out;
}

TEST_F(GeneratorOnServer, LikePatternsMatchTheSameRowsUnderBothSqlModes) {
  CNAManagerMariaDB* manager = new CNAManagerMariaDB();
  manager->AddRef();
  auto* d = new qghost::ConnectionDescription();
  d->AddRef();
  d->user = u"qg_pass";
  d->password = u"pass-Word-1";
  d->database = std::u16string(db.Name().begin(), db.Name().end());
  d->data_source = u"localhost";
  const std::string socket = qg::rig::TestServer()->Socket();
  d->extended = u"Unix Socket=" + std::u16string(socket.begin(), socket.end());
  auto* c = static_cast<CNAConnectionMariaDB*>(manager->pclResolveConnection(d, nullptr));
  ASSERT_NE(c, nullptr);
  CNAError error;
  ASSERT_TRUE(c->bOpen(&error, 0)) << N(error.pszGetMessage());
  struct Case {
    const char16_t* query;
    const char* rows;
  } cases[] = {
      {u"SELECT id FROM t WHERE b LIKE 'a\\_%' ORDER BY id", "2\n"},
      {u"SELECT id FROM t WHERE b LIKE 'a\\%%' ORDER BY id", "3\n"},
      {u"SELECT id FROM t WHERE b LIKE 'a_b' ORDER BY id", "2\n3\n"},
      {u"SELECT id FROM t WHERE b LIKE 'a!%b' ESCAPE '!' ORDER BY id", "3\n"},
      {u"SELECT id FROM t WHERE b NOT LIKE '%\\_%' AND b LIKE 'a%' ORDER BY id", "1\n3\n5\n"},
  };
  for (const char16_t* mode : {u"SET SESSION sql_mode=DEFAULT",
                               u"SET SESSION sql_mode='NO_BACKSLASH_ESCAPES'"}) {
    ASSERT_TRUE(c->bExecuteText(&error, mode));
    for (const Case& k : cases) {
      std::string parseError;
      qg::IParsedQuery* parsed = qghost::ParseQuery(k.query, &schema, &parseError);
      ASSERT_NE(parsed, nullptr) << parseError;
      CNARefPtr<CNAQuery> q(NAAddRef(new CNAQuery(parsed, true)));
      parsed->Release();
      // The manager's generator follows the session's sql_mode.
      CNARefPtr<CNASQLGenerator> gen(NAAddRef(manager->pclNewSQLGenerator(c)));
      ASSERT_TRUE(gen);
      EXPECT_EQ(mode[21] == u'\'', gen->bNoBackslashEscapes()) << N(mode);
      ASSERT_TRUE(gen->bGenerate(q.Get(), nullptr, true, 0, &error));
      const char16_t* dialect = gen->pszGetDialectText(&error);
      ASSERT_NE(dialect, nullptr) << N(error.pszGetMessage());
      EXPECT_EQ(Rows(c, N(dialect)), k.rows) << N(mode) << ": " << N(dialect);
    }
  }
  manager->bReleaseConnection(c);
  manager->Release();
  d->Release();
}

TEST_F(GeneratorOnServer, GeneratedLimitAndTop) {
  EXPECT_EQ(Run(Generate(u"SELECT TOP 2 id FROM t ORDER BY id")), "1\n2\n");
  EXPECT_EQ(Run(Generate(u"SELECT id FROM t ORDER BY id", nullptr, 2, 3)), "4\n5\n");
  EXPECT_EQ(Run(Generate(u"SELECT id FROM t ORDER BY id LIMIT 0", nullptr, 2)), "");
}

}  // namespace
