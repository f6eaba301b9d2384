// Walks in fetches over a query opened as a table, while another connection
// inserts and deletes rows behind and ahead of the position: every row there
// the whole time comes exactly once, in the server's order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/other_connection.h"
#include "host/cli/maria_query.h"
#include "host/cli/maria_walk.h"
#include "host/cli/private_libraries.h"

namespace qghost {
namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

using qg::rig::OtherConnection;


// Field n of a walk line.
std::string Field(const std::string& line, int n) {
  size_t from = 0;
  for (int i = 0; i < n; ++i) from = line.find('\t', from) + 1;
  return line.substr(from, line.find_first_of("\t\n", from) - from);
}

// The server's rows for `select` in `order`, in the walk's line format
// (NULL as \N).
std::string Reference(const std::string& database, const std::string& select,
                      const std::string& order) {
  std::string out;
  if (!qg::rig::TestServer()->RunSql("USE `" + database + "`; " + select + " ORDER BY " + order,
                                     &out)) {
    ADD_FAILURE() << select << ": " << out;
    return "";
  }
  // A NULL comes out as one byte 0x01 (see the IFNULLs of the cases).
  std::string lines;
  for (char c : out) {
    if (c == '\x01') {
      lines += "\\N";
    } else {
      lines += c;
    }
  }
  return lines;
}

TEST(QueryWalk, RowsThereTheWholeTimeComeOnceWhileAnotherConnectionWrites) {
  qg::rig::TestDatabase db;
  OtherConnection other(db.Name());
  ASSERT_TRUE(other.Ok());
  const std::string lib = CopyPrivateLibraries("maria_query_walk");
  struct Case {
    const char* sql;
    // The same rows for the reference, then its order both ways (the
    // query's own order made total by every column, as the walk reads it).
    const char* reference;
    const char* ascending;
    const char* descending;
    // A row passed is deleted through its field `passed_field` (-1: rows
    // equal in every column cannot be named alone).
    int passed_field;
    const char* passed_delete;
    int k_field;
    int v_field;
  };
  const char* const one_table =
      "SELECT id, IFNULL(k, X'01'), IFNULL(HEX(b), X'01'), IFNULL(DATE_FORMAT(d, '%Y%m%d'), "
      "X'01'), v FROM qa";
  const char* const no_id =
      "SELECT IFNULL(k, X'01'), IFNULL(HEX(b), X'01'), IFNULL(DATE_FORMAT(d, '%Y%m%d'), X'01'), "
      "v FROM qa";
  const Case cases[] = {
      // Its own order on a nullable column with duplicate values.
      {"SELECT id, k, b, d, v FROM qa ORDER BY k", one_table, "k, id", "k DESC, id DESC", 0,
       "DELETE FROM qa WHERE id = ", 1, 4},
      // No order of its own and no column telling rows apart: rows equal
      // in every column.
      {"SELECT k, b, d, v FROM qa", no_id, "k, b, d, v", "k DESC, b DESC, d DESC, v DESC", -1, "",
       0, 3},
      // A join ordered descending on a column of the second table.
      {"SELECT qa.id, qa.k, qs.w, qs.sid, qa.v FROM qa JOIN qs ON qs.id = qa.id ORDER BY qs.w DESC",
       "SELECT qa.id, IFNULL(qa.k, X'01'), qs.w, qs.sid, qa.v FROM qa JOIN qs ON qs.id = qa.id",
       "qs.w DESC, qa.id, qs.sid", "qs.w, qa.id DESC, qs.sid DESC", 3,
       "DELETE FROM qs WHERE sid = ", 1, 4},
  };
  const char* const bytes[] = {"X'00'", "X'41'", "NULL", "X'4100'"};
  const char* const dates[] = {"'2024-02-29'", "NULL", "'1999-12-31'"};
  // Originals: even ids whose values repeat every 12 ids (whole duplicate
  // rows apart from the id); rows written during the walk have odd ids and
  // v 'n'.
  std::string originals, joined;
  for (int id = 2; id <= 40; id += 2) {
    const int m = id % 12;
    if (!originals.empty()) originals += ", ";
    originals += "(" + std::to_string(id) + ", " + (m == 0 ? "NULL" : std::to_string(m % 4)) +
                 ", " + bytes[m % 4] + ", " + dates[m % 3] + ", '" +
                 std::string(1, static_cast<char>('a' + m % 3)) + "')";
    if (!joined.empty()) joined += ", ";
    joined += "(" + std::to_string(id) + ", 'x')";
    if (id % 4 == 0) joined += ", (" + std::to_string(id) + ", 'y')";
  }
  for (const Case& c : cases) {
    for (bool backward : {false, true}) {
      for (int64_t fetch : {1, 7, 100, 0}) {
        const std::string where = std::string(c.sql) + (backward ? " backward" : "") +
                                  " fetch " + std::to_string(fetch);
        other.Run("DROP TABLE IF EXISTS qa, qs");
        other.Run(
            "CREATE TABLE qa (id INT PRIMARY KEY, k INT NULL, b VARBINARY(4) NULL, d DATE NULL, "
            "v VARCHAR(5))");
        other.Run("CREATE TABLE qs (sid INT AUTO_INCREMENT PRIMARY KEY, id INT, w VARCHAR(5))");
        other.Run("INSERT INTO qa VALUES " + originals);
        other.Run("INSERT INTO qs (id, w) VALUES " + joined);
        const std::string want =
            Reference(db.Name(), c.reference, backward ? c.descending : c.ascending);
        WalkOptions o;
        std::string problem;
        ASSERT_TRUE(ParseQueryArguments(
            {"--socket", qg::rig::TestServer()->Socket(), "--user",
             qg::rig::kPasswordAccount.pszUser, "--password",
             qg::rig::kPasswordAccount.pszPassword, "--database", db.Name(), "--sql", c.sql},
            &o, &problem))
            << problem;
        o.backward = backward;
        o.fetch = fetch;
        int next_id = 1;
        int step = 0;
        std::vector<int> inserted, passed;
        o.after_line = [&](const std::string& line) {
          // Rows written here write nothing more: a walk that chased its
          // own writes would never end.
          if (Field(line, c.v_field) == "n") return;
          ++step;
          const std::string k = Field(line, c.k_field);
          const int k_value = k == "\\N" ? 0 : std::atoi(k.c_str());
          if (c.passed_field >= 0) {
            passed.push_back(std::atoi(Field(line, c.passed_field).c_str()));
          }
          // Rows next to the position on each side, and one level with it.
          for (int delta : {-1, 0, 1}) {
            const int id = next_id;
            next_id += 2;
            inserted.push_back(id);
            other.Run("INSERT INTO qa VALUES (" + std::to_string(id) + ", " +
                      (k == "\\N" && delta == 0 ? std::string("NULL")
                                                : std::to_string(k_value + delta)) +
                      ", X'41', '2099-01-01' + INTERVAL " + std::to_string(id) + " DAY, 'n')");
            other.Run("INSERT INTO qs (id, w) VALUES (" + std::to_string(id) + ", '" +
                      (delta < 0 ? "x" : "y") + "')");
          }
          // One of the rows written before, and now and then a row passed.
          if (inserted.size() > 4 && step % 2 == 0) {
            other.Run("DELETE FROM qa WHERE id = " + std::to_string(inserted[inserted.size() - 5]));
          }
          if (passed.size() > 2 && step % 3 == 0) {
            other.Run(c.passed_delete + std::to_string(passed[passed.size() - 2]));
          }
        };
        std::ostringstream out, err;
        EXPECT_EQ(0, RunMariaWalk(lib, o, out, err)) << where << ": " << err.str();
        std::string kept;
        std::set<std::string> written;
        const std::string text = out.str();
        for (size_t from = 0; from < text.size();) {
          const size_t end = text.find('\n', from);
          const std::string line = text.substr(from, end + 1 - from);
          if (Field(line, c.v_field) == "n") {
            EXPECT_TRUE(written.insert(line).second) << where << ": twice: " << line;
          } else {
            kept += line;
          }
          from = end + 1;
        }
        EXPECT_EQ(want, kept) << where;
      }
    }
  }
  std::system(("rm -rf '" + lib + "'").c_str());
}

// Queries whose result is grouped, distinct or computed read in fetches of
// one and two rows, both ways, give the rows the whole read gives: the
// derived table over the query keeps its columns' shapes, and values the
// server shows rounded do not make a row come twice.
TEST(QueryWalk, GroupedDistinctAndComputedResultsReadInFetchesAsWhole) {
  qg::rig::TestDatabase db;
  ASSERT_TRUE(qg::rig::TestServer()->RunSql(
      "USE `" + db.Name() +
      "`; CREATE TABLE qa (id INT PRIMARY KEY, k INT NULL, b VARBINARY(4) NULL, d DATE NULL, "
      "v VARCHAR(5));"
      "INSERT INTO qa VALUES (1, 1, X'00', '2020-01-01', 'a'), (2, NULL, X'41', NULL, 'b'),"
      "(3, 1, X'00', '2020-01-01', 'a'), (4, 2, NULL, '2021-02-03', 'c'),"
      "(5, 1, X'00', '2020-01-01', 'a'), (6, 2, X'4100', '2021-02-03', 'A')"));
  const std::string lib = CopyPrivateLibraries("maria_query_walk_grouped");
  const char* const queries[] = {
      "SELECT k, COUNT(*), AVG(id), SUM(id / 3), STD(id), MAX(d), CONCAT(k, v) FROM qa "
      "GROUP BY k, v",
      "SELECT DISTINCT k, b, v FROM qa ORDER BY v",
      "SELECT LOWER(v) AS lv, id FROM qa ORDER BY lv DESC",
      "SELECT id * 1.5 AS x, k * 0.5e0 AS w, IFNULL(b, 'q') AS bb FROM qa ORDER BY w",
  };
  auto walk = [&](const char* sql, bool backward, int64_t fetch, std::string* out) {
    WalkOptions o;
    std::string problem;
    if (!ParseQueryArguments({"--socket", qg::rig::TestServer()->Socket(), "--user",
                              qg::rig::kPasswordAccount.pszUser, "--password",
                              qg::rig::kPasswordAccount.pszPassword, "--database", db.Name(),
                              "--sql", sql},
                             &o, &problem)) {
      ADD_FAILURE() << problem;
      return;
    }
    o.backward = backward;
    o.fetch = fetch;
    std::ostringstream lines, err;
    EXPECT_EQ(0, RunMariaWalk(lib, o, lines, err)) << sql << ": " << err.str();
    *out = lines.str();
  };
  for (const char* sql : queries) {
    std::string whole;
    walk(sql, false, 0, &whole);
    std::vector<std::string> rows;
    for (size_t from = 0; from < whole.size();) {
      const size_t end = whole.find('\n', from);
      rows.push_back(whole.substr(from, end + 1 - from));
      from = end + 1;
    }
    EXPECT_GE(rows.size(), 3u) << sql;
    std::string reversed;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) reversed += *row;
    for (int64_t fetch : {1, 2}) {
      for (bool backward : {false, true}) {
        std::string out;
        walk(sql, backward, fetch, &out);
        EXPECT_EQ(backward ? reversed : whole, out)
            << sql << (backward ? " backward" : "") << " fetch " << fetch;
      }
    }
  }
  std::system(("rm -rf '" + lib + "'").c_str());
}

}  // namespace
}  // namespace qghost
