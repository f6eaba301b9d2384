// CREATE TABLE texts of the MariaDB table access object and the streamed
// row count, against the binary's private server.
#include "driver/mariadb/table_texts_mariadb.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/core/error_status.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/mariadb/streamed_count.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/rig_connection.h"
#include "errors/module_errors.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

std::u16string Or(const char16_t* text) { return text != nullptr ? text : u"<none>"; }

TEST(MariaDBTableTexts, OptionsAndGeneratedKeyDefaults) {
  EXPECT_EQ(std::u16string(u" Type=InnoDB"), NAMariaDBTableOptions(4));
  EXPECT_EQ(std::u16string(u" ENGINE=InnoDB"), NAMariaDBTableOptions(5));
  const std::u16string uuid_maria = u"DEFAULT (UNHEX(REPLACE(UUID(),'-','')))";
  const std::u16string uuid_mysql = u"DEFAULT (UUID_TO_BIN(UUID()))";
  const std::u16string random = u"DEFAULT (RANDOM_BYTES(32))";
  struct Case {
    int type;
    bool mariadb;
    int major, minor, patch;
    std::u16string want;
  } cases[] = {
      {35, true, 10, 1, 48, u"<none>"},  {35, true, 10, 2, 0, u"<none>"},
      {35, true, 10, 2, 1, uuid_maria},  {35, true, 10, 11, 6, uuid_maria},
      {37, true, 10, 9, 8, u"<none>"},   {37, true, 10, 10, 0, random},
      {35, false, 8, 0, 12, u"<none>"},  {35, false, 8, 0, 13, uuid_mysql},
      {37, false, 8, 0, 13, random},     {37, false, 5, 7, 40, u"<none>"},
      {1, true, 10, 11, 6, u"<none>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, Or(NAMariaDBGeneratedKeyDefault(c.type, c.mariadb, c.major, c.minor,
                                                      c.patch)))
        << c.type << " " << c.mariadb << " " << c.major << "." << c.minor << "." << c.patch;
  }
}

class MariaDBServerTexts : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    ASSERT_NE(nullptr, qg::rig::TestServer());
    _CXErrorModule76 error;
    ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, nullptr));
    connection_ = NAAddRef(new qg::rig::RigConnection());
    ASSERT_TRUE(connection_->Connect(qg::rig::TestServer()->Socket(), database_.Name(), false));
  }
  void TearDown() override {
    ReleaseBoth(connection_);
    AnyHostTest::TearDown();
  }
  bool Run(const std::u16string& sql) {
    CNAError error;
    return connection_->bExecuteText(&error, sql.c_str());
  }

  qg::rig::TestDatabase database_;
  qg::rig::RigConnection* connection_ = nullptr;
};

TEST_F(MariaDBServerTexts, TheServerTakesTheGeneratedKeyDefaults) {
  std::u16string create = u"CREATE TABLE g (n INT";
  create += u", u BINARY(16) ";
  create += Or(NAMariaDBGeneratedKeyDefault(35, true, 10, 11, 0));
  create += u", r BINARY(32) ";
  create += Or(NAMariaDBGeneratedKeyDefault(37, true, 10, 11, 0));
  create += u")";
  create += NAMariaDBTableOptions(10);
  ASSERT_TRUE(Run(create));
  ASSERT_TRUE(Run(u"INSERT INTO g (n) VALUES (1), (2)"));
  std::string out;
  ASSERT_TRUE(qg::rig::TestServer()->RunSql(
      "SELECT COUNT(DISTINCT u), COUNT(DISTINCT r), MIN(LENGTH(u)), MIN(LENGTH(r)), "
      "SUM(r = REPEAT(x'00', 32)) FROM `" + database_.Name() + "`.g",
      &out));
  EXPECT_EQ("2\t2\t16\t32\t0\n", out);
}

TEST_F(MariaDBServerTexts, StreamedCountRestoresTheStoreModeOnEveryPath) {
  ASSERT_TRUE(Run(u"CREATE TABLE s (n INT)"));
  ASSERT_TRUE(Run(u"INSERT INTO s SELECT seq FROM seq_1_to_2500"));
  CNAStatementMariaDB* statement = NAAddRef(new CNAStatementMariaDB(connection_));
  struct Case {
    const char16_t* text;
    bool ok;
    int64_t count;
  } cases[] = {
      {u"SELECT n FROM s ORDER BY n", true, 2500},
      {u"SELECT n FROM s WHERE n < 0", true, 0},
      {u"SELECT no_such_column FROM s", false, 0},
  };
  for (const Case& c : cases) {
    CNAError error;
    int64_t count = -1;
    EXPECT_EQ(c.ok, NACountRowsStreamed(
                        statement, [&](CNAError* e) { return statement->bExecuteWide(c.text, e); },
                        &count, &error));
    EXPECT_EQ(c.count, count);
    EXPECT_EQ(0, connection_->nGetOpenUnbufferedResults());
    // Buffered again: the row count is known at once.
    CNAError next;
    ASSERT_TRUE(statement->bExecuteWide(u"SELECT n FROM s", &next));
    EXPECT_EQ(2500, statement->nGetRowCount());
    ASSERT_TRUE(statement->bCloseResult(&next));
  }
  ReleaseBoth(statement);
}

TEST_F(MariaDBServerTexts, StreamedCountCutShortIsAFailure) {
  CNAStatementMariaDB* statement = NAAddRef(new CNAStatementMariaDB(connection_));
  MYSQL* handle = connection_->pGetClientHandle();
  ASSERT_EQ(0, gMariaDB.mysql_real_query(handle, "SELECT CONNECTION_ID()", 22));
  MYSQL_RES* result = gMariaDB.mysql_store_result(handle);
  ASSERT_NE(nullptr, result);
  std::string id = gMariaDB.mysql_fetch_row(result)[0];
  gMariaDB.mysql_free_result(result);
  CNAError error;
  int64_t count = -1;
  // Far more rows than the socket buffers hold: the connection is killed
  // while the server still sends.
  bool ok = NACountRowsStreamed(
      statement,
      [&](CNAError* e) {
        if (!statement->bExecuteWide(u"SELECT seq FROM seq_1_to_50000000", e)) return false;
        return qg::rig::TestServer()->RunSql("KILL " + id);
      },
      &count, &error);
  EXPECT_FALSE(ok);
  EXPECT_LT(count, 50000000);
  EXPECT_NE(0, error.nGetErrorIdentifier());
  EXPECT_EQ(0, connection_->nGetOpenUnbufferedResults());
  ReleaseBoth(statement);
}

}  // namespace
