#include "host/cli/maria_query.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "driver/mariadb/testing/mariadb_server.h"
#include "host/cli/private_libraries.h"

namespace qghost {
namespace {

TEST(MariaQueryArguments, NameAndKeyDefaultToTheQuery) {
  WalkOptions o;
  std::string error;
  ASSERT_TRUE(ParseQueryArguments({"--socket", "/s", "--user", "u", "--database", "d", "--sql",
                                   "SELECT 1", "--raw"},
                                  &o, &error))
      << error;
  EXPECT_TRUE(o.is_query);
  EXPECT_TRUE(o.raw);
  EXPECT_EQ("SELECT 1", o.query);
  EXPECT_EQ("QUERY", o.table);
  EXPECT_EQ("QUERY", o.key);
  ASSERT_TRUE(ParseQueryArguments({"--host", "h", "--port", "3306", "--user", "u", "--database",
                                   "d", "--sql", "SELECT a FROM t", "--name", "Q", "--key", "a",
                                   "--fetch", "5", "--backward"},
                                  &o, &error))
      << error;
  EXPECT_FALSE(o.raw);
  EXPECT_EQ("Q", o.table);
  EXPECT_EQ("a", o.key);
  EXPECT_EQ(5, o.fetch);
  EXPECT_TRUE(o.backward);

  const std::vector<std::vector<std::string>> refused = {
      {"--socket", "/s", "--user", "u", "--database", "d"},                        // no --sql
      {"--socket", "/s", "--user", "u", "--database", "d", "--sql"},               // no text
      {"--socket", "/s", "--user", "u", "--database", "d", "--sql", "x", "--table", "t"},
      {"--socket", "/s", "--user", "u", "--database", "d", "--sql", "x", "--name", ""},
      {"--user", "u", "--database", "d", "--sql", "x"},                            // no server
  };
  for (const auto& args : refused) {
    EXPECT_FALSE(ParseQueryArguments(args, &o, &error)) << args.size();
    EXPECT_FALSE(error.empty());
  }
}

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

TEST(MariaQuery, PrintsTheRecordsOfAQueryOrTheRowsAStatementChanged) {
  const qg::rig::MariaDBServer* server = qg::rig::TestServer();
  ASSERT_NE(nullptr, server);
  qg::rig::TestDatabase db;
  ASSERT_TRUE(server->RunSql("USE `" + db.Name() +
                             "`; CREATE TABLE t (id INT PRIMARY KEY, k INT, s VARCHAR(20)); "
                             "INSERT INTO t VALUES (1, 20, 'a'), (2, 10, NULL), (3, 20, 'c')"));
  std::string lib_dir = CopyPrivateLibraries("maria_query");
  std::vector<std::string> server_args = {"--socket", server->Socket(), "--user",
                                          qg::rig::kPasswordAccount.pszUser, "--password",
                                          qg::rig::kPasswordAccount.pszPassword, "--database",
                                          db.Name()};
  struct Case {
    std::vector<std::string> args;
    const char* out;
  } cases[] = {
      {{"--sql", "SELECT id, s FROM t WHERE k = 20 ORDER BY id DESC"}, "3\tc\n1\ta\n"},
      {{"--sql", "SELECT id, s FROM t WHERE k = 20 ORDER BY id DESC", "--backward"},
       "1\ta\n3\tc\n"},
      {{"--sql", "SELECT k, COUNT(*) FROM t GROUP BY k ORDER BY k", "--raw"}, "10\t1\n20\t2\n"},
      {{"--sql", "UPDATE t SET s = 'z' WHERE k = 20"}, "2 rows changed\n"},
      {{"--sql", "SELECT id, s FROM t ORDER BY id", "--key", "id", "--backward"},
       "3\tz\n2\t\\N\n1\tz\n"},
      // Raw SQL read along one of its columns: the server's ORDER BY on it,
      // ordered on the client (equal values in the result's order).
      {{"--sql", "SELECT id, k, s FROM t ORDER BY id", "--raw", "--key", "k"},
       "2\t10\t\\N\n1\t20\tz\n3\t20\tz\n"},
      {{"--sql", "SELECT id, k, s FROM t ORDER BY id", "--raw", "--key", "s", "--backward"},
       "3\t20\tz\n1\t20\tz\n2\t10\t\\N\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = server_args;
    args.insert(args.end(), c.args.begin(), c.args.end());
    WalkOptions options;
    std::string problem;
    ASSERT_TRUE(ParseQueryArguments(args, &options, &problem)) << problem;
    std::ostringstream out, err;
    EXPECT_EQ(0, RunMariaWalk(lib_dir, options, out, err)) << options.query << ": " << err.str();
    EXPECT_EQ(c.out, out.str()) << options.query;
  }

  // A text the server refuses: its message on stderr, status 1.
  std::vector<std::string> args = server_args;
  args.insert(args.end(), {"--sql", "SELECT id FROM nowhere", "--raw"});
  WalkOptions options;
  std::string problem;
  ASSERT_TRUE(ParseQueryArguments(args, &options, &problem)) << problem;
  std::ostringstream out, err;
  EXPECT_EQ(1, RunMariaWalk(lib_dir, options, out, err));
  EXPECT_EQ("", out.str());
  EXPECT_NE(std::string::npos, err.str().find("nowhere")) << err.str();
  std::system(("rm -rf '" + lib_dir + "'").c_str());
}

}  // namespace
}  // namespace qghost
