#include "host/cli/maria_walk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "driver/mariadb/testing/mariadb_server.h"
#include "host/cli/private_libraries.h"

namespace qghost {
namespace {

WalkField Text(std::u16string s) {
  WalkField f;
  f.kind = WalkField::kText;
  f.text = std::move(s);
  return f;
}

WalkField Binary(std::string s) {
  WalkField f;
  f.kind = WalkField::kBinary;
  f.bytes = std::move(s);
  return f;
}

TEST(MariaWalkFormat, Fields) {
  struct Case {
    WalkField field;
    std::string line;
  } cases[] = {
      {WalkField(), "\\N"},
      {Text(u""), ""},
      // A text that reads like the NULL mark keeps its backslash escaped.
      {Text(u"\\N"), "\\\\N"},
      {Text(u"a\tb\nc\\d"), "a\\tb\\nc\\\\d"},
      {Text(std::u16string(u"x\0y", 3)), "x\\0y"},
      {Text(u"\u00e9\u20ac\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      // An unpaired surrogate cannot be written as UTF-8.
      {Text(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b"},
      {Binary(std::string("\x00\x7F\xAB\xff", 4)), "007FABFF"},
      {Binary(""), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.line, FormatWalkField(c.field));
}

TEST(MariaWalkFormat, LineJoinsByTabAndEndsWithNewline) {
  EXPECT_EQ("1\t\\N\tA\\tB\n", FormatWalkLine({Text(u"1"), WalkField(), Text(u"A\tB")}));
  EXPECT_EQ("\n", FormatWalkLine({}));
}

TEST(MariaWalkArguments, Accepted) {
  WalkOptions o;
  std::string error;
  ASSERT_TRUE(ParseWalkArguments({"--socket", "/s", "--user", "u", "--database", "d",
                                  "--table", "t", "--key", "k"},
                                 &o, &error))
      << error;
  EXPECT_EQ("/s", o.socket);
  EXPECT_FALSE(o.backward);
  EXPECT_FALSE(o.has_seek);
  EXPECT_EQ(0, o.fetch);
  EXPECT_EQ("", o.password);

  ASSERT_TRUE(ParseWalkArguments({"--host", "127.0.0.1", "--port", "3307", "--user", "u",
                                  "--password", "p", "--database", "d", "--table", "t",
                                  "--key", "k", "--backward", "--fetch", "7", "--seek", ""},
                                 &o, &error))
      << error;
  EXPECT_EQ("127.0.0.1", o.host);
  EXPECT_EQ(3307, o.port);
  EXPECT_EQ("p", o.password);
  EXPECT_TRUE(o.backward);
  EXPECT_EQ(7, o.fetch);
  // An empty seek value is still a seek.
  EXPECT_TRUE(o.has_seek);
  EXPECT_EQ("", o.seek);
}

TEST(MariaWalkArguments, Refused) {
  const std::vector<std::string> rest = {"--user", "u", "--database", "d", "--table", "t",
                                         "--key", "k"};
  auto with = [&](std::vector<std::string> head) {
    head.insert(head.end(), rest.begin(), rest.end());
    return head;
  };
  const std::vector<std::vector<std::string>> cases = {
      with({}),                                                  // no server
      with({"--socket", "/s", "--host", "h", "--port", "1"}),    // both
      with({"--host", "h"}),                                     // no port
      with({"--port", "3306"}),                                  // no host
      with({"--host", "h", "--port", "0"}),
      with({"--host", "h", "--port", "65536"}),
      with({"--host", "h", "--port", "33x"}),
      with({"--socket", "/s", "--fetch", "0"}),
      with({"--socket", "/s", "--fetch", "-3"}),
      with({"--socket", "/s", "--colour"}),
      {"--socket", "/s", "--database", "d", "--table", "t", "--key", "k"},  // no user
      {"--socket", "/s", "--user", "u", "--table", "t", "--key", "k"},      // no database
      {"--socket", "/s", "--user", "u", "--database", "d", "--key", "k"},   // no table
      {"--socket", "/s", "--user", "u", "--database", "d", "--table", "t"}, // no key
      {"--user", "u", "--database", "d", "--table", "t", "--key", "k", "--socket"},
  };
  for (const auto& args : cases) {
    WalkOptions o;
    std::string error;
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_FALSE(ParseWalkArguments(args, &o, &error)) << joined;
    EXPECT_FALSE(error.empty()) << joined;
  }
}

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

TEST(MariaWalk, PrintsEveryRecordAlongTheKeyThroughTheDriver) {
  const qg::rig::MariaDBServer* server = qg::rig::TestServer();
  ASSERT_NE(nullptr, server);
  qg::rig::TestDatabase db;
  ASSERT_TRUE(server->RunSql(
      "USE `" + db.Name() + "`; CREATE TABLE t (id INT PRIMARY KEY, k INT, s VARCHAR(20), "
      "KEY kk (k)); INSERT INTO t VALUES (1, 20, 'tab\there'), (2, 10, NULL), "
      "(3, 20, 'back\\\\slash'), (4, 30, 'line\nfeed')"));
  std::string lib_dir = CopyPrivateLibraries("maria_walk");
  WalkOptions options;
  std::string problem;
  ASSERT_TRUE(ParseWalkArguments({"--socket", server->Socket(), "--user",
                                  qg::rig::kPasswordAccount.pszUser, "--password",
                                  qg::rig::kPasswordAccount.pszPassword, "--database", db.Name(),
                                  "--table", "t", "--key", "k"},
                                 &options, &problem));
  std::ostringstream out, err;
  EXPECT_EQ(0, RunMariaWalk(lib_dir, options, out, err)) << err.str();
  EXPECT_EQ("2\t10\t\\N\n1\t20\ttab\\there\n3\t20\tback\\\\slash\n"
            "4\t30\tline\\nfeed\n",
            out.str());

  options.backward = true;
  std::ostringstream back, back_err;
  EXPECT_EQ(0, RunMariaWalk(lib_dir, options, back, back_err)) << back_err.str();
  EXPECT_EQ("4\t30\tline\\nfeed\n3\t20\tback\\\\slash\n1\t20\ttab\\there\n"
            "2\t10\t\\N\n",
            back.str());

  options.backward = false;
  options.has_seek = true;
  options.seek = "20";
  std::ostringstream seek, seek_err;
  EXPECT_EQ(0, RunMariaWalk(lib_dir, options, seek, seek_err)) << seek_err.str();
  EXPECT_EQ("1\t20\ttab\\there\n3\t20\tback\\\\slash\n4\t30\tline\\nfeed\n", seek.str());

  // A table that is not there: the driver's error on stderr, status 1.
  options.has_seek = false;
  options.table = "missing";
  std::ostringstream none, none_err;
  EXPECT_EQ(1, RunMariaWalk(lib_dir, options, none, none_err));
  EXPECT_EQ("", none.str());
  EXPECT_NE(std::string::npos, none_err.str().find("missing")) << none_err.str();
  std::system(("rm -rf '" + lib_dir + "'").c_str());
}

}  // namespace
}  // namespace qghost
