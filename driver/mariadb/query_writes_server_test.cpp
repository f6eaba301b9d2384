// Writes through a query opened as a table, against the binary's private
// server: a query over one table adds, modifies and deletes rows of that
// table (the one row read, whatever the table's keys and whatever the query
// calls its columns); a query whose rows are not rows of one table is
// refused and changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/dispatcher.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/testing/host_table_fixture.h"
#include "driver/sql/table_access.h"
#include "host/core/driver_objects.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

using qg::rig::Narrow;
using qg::rig::TakeMessage;
using qg::rig::Wide;

class QueryWrites : public qg::rig::HostTableServerTest {
 protected:
  // Opens a handle standing for the parsed query `text`, named `name`.
  std::pair<qghost::FileDescription*, CNADispatcher*> OpenQuery(const char16_t* name,
                                                                 const std::string& text) {
    auto* handle = new qghost::FileDescription(name, 1);
    std::string parse_error;
    EXPECT_TRUE(handle->bSetQuery(Wide(text.c_str()), false, nullptr, &parse_error))
        << parse_error;
    CNADispatcher* d = nullptr;
    INAError* slot = nullptr;
    bool ok = manager_->bOpenTable(description_, handle, 0, &d, &slot);
    std::string message = TakeMessage(slot);
    EXPECT_TRUE(ok && d != nullptr) << text << ": " << message;
    if (!ok || d == nullptr) {
      delete handle;
      return {nullptr, nullptr};
    }
    opened_.push_back({handle, d});
    return {handle, d};
  }
  static bool Read(CNADispatcher* d, qghost::FileDescription* h, const char16_t* key, int how) {
    INAError* slot = nullptr;
    bool ok = d->bRead(h, reinterpret_cast<intptr_t>(key), how, 0, 1, 0, 0, &slot);
    EXPECT_TRUE(ok) << TakeMessage(slot);
    int32_t at_end = 0;
    d->bIsAtEnd(h, reinterpret_cast<intptr_t>(key), reinterpret_cast<intptr_t>(&at_end), &slot);
    TakeMessage(slot);
    return ok && at_end == 0;
  }
  static void Set(CNADispatcher* d, qghost::FileDescription* h, int column, const CAny& value) {
    INAError* slot = nullptr;
    EXPECT_TRUE(d->bWriteItemValue(h, column, reinterpret_cast<intptr_t>(&value), &slot))
        << TakeMessage(slot);
  }
  static void SetInt(CNADispatcher* d, qghost::FileDescription* h, int column, int v) {
    CAny value;
    value.SetI4(v);
    Set(d, h, column, value);
  }
  static std::string Text(CNADispatcher* d, qghost::FileDescription* h, int column) {
    CAny value;
    INAError* slot = nullptr;
    EXPECT_TRUE(d->bReadItemValue(h, column, reinterpret_cast<intptr_t>(&value), &slot))
        << TakeMessage(slot);
    CXYString<char16_t> text;
    if (!value.bEstNull()) value.nGetTexte(&text);
    return value.bEstNull() ? "NULL" : Narrow(text.pszGet());
  }
  // "" on success, else the failure's message.
  static std::string Outcome(bool ok, INAError*& slot) {
    std::string message = TakeMessage(slot);
    return ok ? "" : message.empty() ? "failed" : message;
  }
};

// Reads along the query's own order to the row whose first column reads
// `find`, modifies its column `column` to `to`, then deletes the row whose
// first column reads `remove`: on a keyed table, on a table without keys
// (NULLs, a column the query does not show), on a binary key, each through
// a query that renames a column.
TEST_F(QueryWrites, AQueryOverOneTableWritesTheRowItRead) {
  struct Case {
    const char* name;
    const char* schema;
    const char* query;    // first column: what the test finds the row by
    const char* find;     // the first column of the row modified
    int column;           // the column set, in the query's order
    int to;
    const char* after;    // the table after the modify (ordered by its check)
    const char* check;
    const char* remove;   // the first column of the row deleted
    const char* left;     // the table after the delete
  } cases[] = {
      {"primary key changed through its alias",
       "CREATE TABLE t (id INT PRIMARY KEY, a INT, b VARCHAR(8)); "
       "INSERT INTO t VALUES (1, 10, 'x'), (2, 20, 'y'), (3, 30, 'z')",
       "SELECT id AS ident, a AS amount, b FROM t WHERE id > 1 ORDER BY id", "2", 0, 9,
       "1 10|3 30|9 20", "SELECT id, a FROM t ORDER BY id", "3", "1 10|9 20"},
      {"no key, NULLs, a column the query leaves out",
       "CREATE TABLE t (a INT NULL, b INT NULL, hidden INT); "
       "INSERT INTO t VALUES (NULL, 1, 1), (NULL, 2, 2), (5, NULL, 3)",
       "SELECT b AS bee, a FROM t ORDER BY b", "1", 1, 7,
       "5 NULL 3|NULL 2 2|7 1 1", "SELECT a, b, hidden FROM t ORDER BY hidden DESC",
       "2", "5 NULL 3|7 1 1"},
      {"binary primary key",
       "CREATE TABLE t (k VARBINARY(4) PRIMARY KEY, v INT); "
       "INSERT INTO t VALUES (X'41', 1), (X'4100', 2), (X'00', 3)",
       "SELECT v, k FROM t ORDER BY v", "2", 0, 20,
       "00 3|41 1|4100 20", "SELECT HEX(k), v FROM t ORDER BY k", "1", "00 3|4100 20"},
  };
  auto rows = [&](const char* sql) {
    std::string joined;
    for (std::string row : ServerRows(sql)) {
      for (char& c : row) c = c == '\t' ? ' ' : c;
      joined += (joined.empty() ? "" : "|") + row;
    }
    return joined;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Sql(std::string("DROP TABLE IF EXISTS t; ") + c.schema));
    auto [h, d] = OpenQuery(u"Q", c.query);
    ASSERT_NE(nullptr, d);
    INAError* slot = nullptr;
    bool found = false;
    for (bool more = Read(d, h, u"Q", kNAReadFirst); more; more = Read(d, h, u"Q", kNAReadNext)) {
      if (Text(d, h, 0) == c.find) {
        found = true;
        break;
      }
    }
    ASSERT_TRUE(found);
    SetInt(d, h, c.column, c.to);
    EXPECT_EQ("", Outcome(d->bModify(h, 0, 0, 0, 0, &slot), slot));
    EXPECT_EQ(c.after, rows(c.check));
    found = false;
    for (bool more = Read(d, h, u"Q", kNAReadFirst); more; more = Read(d, h, u"Q", kNAReadNext)) {
      if (Text(d, h, 0) == c.remove) {
        found = true;
        break;
      }
    }
    ASSERT_TRUE(found);
    EXPECT_EQ("", Outcome(d->bDelete(h, 0, 0, 0, &slot), slot));
    EXPECT_EQ(c.left, rows(c.check));
    qg::rig::CloseOpenedTables(&opened_);
  }
}

// Rows a query without the table's key shows as equal, which a column it
// leaves out tells apart: a modify or delete of one is refused, not
// guessed.
TEST_F(QueryWrites, RowsEqualOnEveryShownColumnAreNotGuessed) {
  ASSERT_TRUE(Sql("CREATE TABLE t (a INT, b INT, hidden INT); "
                  "INSERT INTO t VALUES (8, 8, 1), (8, 8, 2), (1, 1, 3)"));
  auto [h, d] = OpenQuery(u"Q", "SELECT a, b FROM t ORDER BY a DESC");
  ASSERT_NE(nullptr, d);
  INAError* slot = nullptr;
  ASSERT_TRUE(Read(d, h, u"Q", kNAReadFirst));
  SetInt(d, h, 1, 9);
  EXPECT_NE(std::string::npos,
            Outcome(d->bModify(h, 0, 0, 0, 0, &slot), slot).find("no unique key"));
  EXPECT_NE(std::string::npos, Outcome(d->bDelete(h, 0, 0, 0, &slot), slot).find("no unique key"));
  EXPECT_EQ((std::vector<std::string>{"8\t8\t1", "8\t8\t2", "1\t1\t3"}),
            ServerRows("SELECT a, b, hidden FROM t ORDER BY hidden"));
}

// An add through the query writes its columns under their names in the
// table (the server fills the others), reads back the identifier the
// server generated, and stands on the added row, which a modify then
// changes.
TEST_F(QueryWrites, AnAddWritesTheTableAndStandsOnTheAddedRow) {
  ASSERT_TRUE(Sql("CREATE TABLE t (id INT AUTO_INCREMENT PRIMARY KEY, a INT, "
                  "b VARCHAR(8) DEFAULT 'dflt'); INSERT INTO t (a) VALUES (1)"));
  auto [h, d] = OpenQuery(u"Q", "SELECT id, a AS amount, a * 2 AS twice FROM t ORDER BY id");
  ASSERT_NE(nullptr, d);
  INAError* slot = nullptr;
  ASSERT_TRUE(Read(d, h, u"Q", kNAReadFirst));
  SetInt(d, h, 1, 42);
  // The query's own column is not written.
  SetInt(d, h, 2, 1000);
  ASSERT_EQ("", Outcome(d->bAdd(h, 0, 0, &slot), slot));
  EXPECT_EQ((std::vector<std::string>{"1\t1\tdflt", "2\t42\tdflt"}),
            ServerRows("SELECT id, a, b FROM t ORDER BY id"));
  EXPECT_EQ("2", Text(d, h, 0));
  SetInt(d, h, 1, 43);
  ASSERT_EQ("", Outcome(d->bModify(h, 0, 0, 0, 0, &slot), slot));
  EXPECT_EQ((std::vector<std::string>{"1\t1", "2\t43"}),
            ServerRows("SELECT id, a FROM t ORDER BY id"));
}

// A query whose rows are not rows of one table is refused (the driver's
// "not supported"), and nothing is written.
TEST_F(QueryWrites, QueriesWhoseRowsAreNotRowsOfOneTableAreRefused) {
  ASSERT_TRUE(Sql("CREATE TABLE t (id INT PRIMARY KEY, a INT); "
                  "CREATE TABLE u (id INT PRIMARY KEY, label VARCHAR(8)); "
                  "INSERT INTO t VALUES (1, 1), (2, 1), (3, 2); "
                  "INSERT INTO u VALUES (1, 'one'), (2, 'two')"));
  const char* refused[] = {
      "SELECT t.id, u.label FROM t JOIN u ON u.id = t.id ORDER BY t.id",
      "SELECT a, COUNT(*) AS n FROM t GROUP BY a ORDER BY a",
      "SELECT DISTINCT a FROM t ORDER BY a",
      "SELECT s.id, s.a FROM (SELECT id, a FROM t) s ORDER BY s.id",
      "SELECT id + 0 AS n, a * 2 AS twice FROM t ORDER BY n",
  };
  for (const char* query : refused) {
    SCOPED_TRACE(query);
    auto [h, d] = OpenQuery(u"R", query);
    ASSERT_NE(nullptr, d);
    ASSERT_TRUE(Read(d, h, u"R", kNAReadFirst));
    INAError* slot = nullptr;
    SetInt(d, h, 0, 9);
    EXPECT_NE(std::string::npos, Outcome(d->bModify(h, 0, 0, 0, 0, &slot), slot)
                                     .find("not supported"));
    ASSERT_FALSE(d->bDelete(h, 0, 0, 0, &slot));
    ASSERT_NE(nullptr, slot);
    EXPECT_EQ(8u, static_cast<CNAError*>(slot)->nGetErrorIdentifier());
    EXPECT_NE(std::string::npos, Outcome(false, slot).find("IEQGMARIA=4.2"));
    EXPECT_NE(std::string::npos, Outcome(d->bAdd(h, 0, 0, &slot), slot).find("not supported"));
    qg::rig::CloseOpenedTables(&opened_);
  }
  EXPECT_EQ((std::vector<std::string>{"1\t1", "2\t1", "3\t2"}),
            ServerRows("SELECT id, a FROM t ORDER BY id"));
  EXPECT_EQ((std::vector<std::string>{"1\tone", "2\ttwo"}),
            ServerRows("SELECT id, label FROM u ORDER BY id"));
  // Emptying a query over part of its table removes that part only.
  auto [h, d] = OpenQuery(u"P", "SELECT id, a FROM t WHERE a = 1 ORDER BY id");
  ASSERT_NE(nullptr, d);
  INAError* slot = nullptr;
  EXPECT_EQ("", Outcome(d->bDeleteAll(h, &slot), slot));
  EXPECT_EQ((std::vector<std::string>{"3\t2"}), ServerRows("SELECT id, a FROM t ORDER BY id"));
}

}  // namespace
