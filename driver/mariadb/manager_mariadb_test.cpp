// The MariaDB manager's own operations against the binary's private server.
#include "driver/mariadb/manager_mariadb.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/core/error_status.h"
#include "driver/mariadb/client_version.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/rig_connection.h"
#include "driver/mariadb/sql_service.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/sql/column.h"
#include "driver/sql/descriptor.h"
#include "driver/sql/item.h"
#include "driver/sql/value_converter.h"
#include "driver/sql/identity_query.h"
#include "driver/sql/sql_generator.h"
#include "errors/module_errors.h"
#include "host/core/driver_objects.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

class ManagerMariaDB : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    ASSERT_NE(nullptr, qg::rig::TestServer());
    _CXErrorModule76 error;
    ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, nullptr));
    manager_ = new CNAManagerMariaDB();
    manager_->AddRef();
    connection_ = NAAddRef(new qg::rig::RigConnection());
    ASSERT_TRUE(connection_->Connect(qg::rig::TestServer()->Socket(), database_.Name(), false));
  }
  void TearDown() override {
    ReleaseBoth(connection_);
    manager_->Release();
    AnyHostTest::TearDown();
  }

  qg::rig::TestDatabase database_;
  CNAManagerMariaDB* manager_ = nullptr;
  qg::rig::RigConnection* connection_ = nullptr;
};

TEST_F(ManagerMariaDB, TableExistence) {
  CNAError setup;
  ASSERT_TRUE(connection_->bExecuteText(&setup, u"CREATE TABLE `two words` (a INT)"));
  struct Case {
    const char16_t* table;
    bool ok;
    int32_t exists;
  } cases[] = {
      {u"two words", true, 1},
      {u"missing", true, 0},
      // Refused (no right on that database): a failure, not "missing".
      {u"mysql.user", false, 0},
  };
  for (const Case& c : cases) {
    CNAError error;
    int32_t exists = -1;
    EXPECT_EQ(c.ok, manager_->bTableExistsOn(connection_, c.table, &exists, &error))
        << std::string(c.table, c.table + std::char_traits<char16_t>::length(c.table));
    EXPECT_EQ(c.exists, exists);
    EXPECT_EQ(c.ok, error.nGetErrorIdentifier() == 0);
  }
}

TEST_F(ManagerMariaDB, SQLGeneratorsWriteForTheirConnection) {
  EXPECT_EQ(nullptr, manager_->pclNewSQLGenerator(nullptr));
  CNARefPtr<CNASQLGenerator> generator(NAAddRef(manager_->pclNewSQLGenerator(connection_)));
  ASSERT_TRUE(generator);
  EXPECT_EQ(connection_, generator->pclGetConnection());
  ASSERT_TRUE(generator->bAppendColumnName(u"a`b", nullptr));
  EXPECT_EQ(std::u16string(u"`a``b`"), generator->pszGetStatementText());
}

TEST_F(ManagerMariaDB, IdentityQueries) {
  CNAError setup;
  ASSERT_TRUE(connection_->bExecuteText(
      &setup, u"CREATE TABLE ids (id INT AUTO_INCREMENT PRIMARY KEY, v INT)"));
  CNARefPtr<CNAIdentityQuery> identity(NAAddRef(manager_->pclNewIdentityQuery()));
  ASSERT_TRUE(identity);
  CNARefPtr<CNAStatementMariaDB> statement(NAAddRef(new CNAStatementMariaDB(connection_)));
  NAIdentityTarget id{connection_, u"ids", u"id", 28, true};
  NAIdentityTarget v{connection_, u"ids", u"v", 5, true};
  auto integer = [](const CAny& a) {
    int64_t n = -1;
    EXPECT_EQ(a.nGetI8(&n), 0);
    return n;
  };
  CNAError error;
  CAny value;
  // An empty table: the next value is 1, and no value is an error.
  ASSERT_TRUE(identity->bReadNextValue(statement.Get(), id, &value, &error));
  EXPECT_EQ(integer(value), 1);
  EXPECT_FALSE(identity->bReadLastIdentity(statement.Get(), v, &value, &error));
  EXPECT_EQ(error.nGetErrorIdentifier(), 59);

  ASSERT_TRUE(connection_->bExecuteText(&setup, u"INSERT INTO ids (v) VALUES (10), (20)"));
  // Another session's insert: the last identity stays this session's own.
  qg::rig::RigConnection* other = NAAddRef(new qg::rig::RigConnection());
  ASSERT_TRUE(other->Connect(qg::rig::TestServer()->Socket(), database_.Name(), false));
  ASSERT_TRUE(other->bExecuteText(&setup, u"INSERT INTO ids (v) VALUES (30)"));
  ReleaseBoth(other);
  CNAError fine;
  ASSERT_TRUE(identity->bReadLastIdentity(statement.Get(), id, &value, &fine));
  EXPECT_EQ(integer(value), 1);  // the first row of this session's last insert
  ASSERT_TRUE(identity->bReadNextValue(statement.Get(), id, &value, &fine));
  EXPECT_EQ(integer(value), 4);
  // Any other column: its maximum.
  ASSERT_TRUE(identity->bReadLastIdentity(statement.Get(), v, &value, &fine));
  EXPECT_EQ(integer(value), 30);
  std::u16string text;
  ASSERT_TRUE(identity->bWriteNextValueQuery(&text, v, &fine));
  EXPECT_EQ(text, u"SELECT MAX(`v`)+1 FROM `ids`");

  CNAError missing;
  identity->ReportMissingValue(v, &missing);
  EXPECT_TRUE(missing.bHasError());
  EXPECT_EQ(std::u16string(missing.pszGetItemName()), u"v");
  const char16_t* message = missing.pszGetMessage();
  ASSERT_NE(message, nullptr);
  EXPECT_NE(std::u16string(message).find(u"ids"), std::u16string::npos);
}

TEST_F(ManagerMariaDB, ClientFailureHookNamesTheClientVersionOnlyWhenAsked) {
  ASSERT_NE(nullptr, gstrClientVersion.pszGet());
  std::u16string version = gstrClientVersion.pszGet();
  ASSERT_FALSE(version.empty());
  for (bool flag : {true, false}) {
    CNAError error;
    error.SetErrorMessage(0, 5, 1, nullptr, kNAErrorNotSupported);
    manager_->ReportClientFailure(&error, flag);
    const char16_t* debug = error.pclGetXError()->pszGetDebugMessage();
    ASSERT_NE(nullptr, debug);
    std::u16string text = debug;
    EXPECT_NE(std::u16string::npos, text.find(u"Client library version:")) << flag;
    EXPECT_EQ(flag, text.find(version) != std::u16string::npos) << flag;
  }
}

// A host file's table locked, and a text run for update, on its connection:
// only inside a running transaction, and the lock holds until it ends.
TEST_F(ManagerMariaDB, LocksAndForUpdateQueriesRunOnlyInsideATransaction) {
  CNAError setup;
  ASSERT_TRUE(connection_->bExecuteText(&setup, u"CREATE TABLE t (id INT PRIMARY KEY) ENGINE=InnoDB"));
  ASSERT_TRUE(connection_->bExecuteText(&setup, u"INSERT INTO t VALUES (1), (2)"));
  auto* description = new qghost::ConnectionDescription();
  description->AddRef();
  std::string user = qg::rig::kPasswordAccount.pszUser;
  std::string password = qg::rig::kPasswordAccount.pszPassword;
  std::string socket = qg::rig::TestServer()->Socket();
  description->user.assign(user.begin(), user.end());
  description->password.assign(password.begin(), password.end());
  description->database.assign(database_.Name().begin(), database_.Name().end());
  description->data_source = u"localhost";
  description->extended = u"Unix Socket=" + std::u16string(socket.begin(), socket.end());
  auto identifier = [](INAError*& slot) {
    uint32_t n = slot != nullptr ? static_cast<CNAError*>(slot)->nGetErrorIdentifier() : 0;
    if (slot != nullptr) slot->Release();
    slot = nullptr;
    return n;
  };
  const auto for_update = reinterpret_cast<intptr_t>(u"SELECT * FROM t WHERE id = 1");
  INAError* slot = nullptr;
  // No connection yet for that file.
  EXPECT_FALSE(manager_->bLockTable(description, u"t", &slot));
  EXPECT_EQ(kNAErrorUnknownConnection, identifier(slot));
  ASSERT_TRUE(manager_->bConnect(description, &slot));
  EXPECT_FALSE(manager_->bLockTable(description, u"t", &slot));
  EXPECT_EQ(29u, identifier(slot));
  EXPECT_FALSE(manager_->bRunConnection23(description, for_update, &slot));
  EXPECT_EQ(29u, identifier(slot));

  ASSERT_TRUE(manager_->bBeginTransaction(description, u"", &slot));
  EXPECT_TRUE(manager_->bLockTable(description, u"t", &slot)) << identifier(slot);
  EXPECT_TRUE(manager_->bRunConnection23(description, for_update, &slot)) << identifier(slot);
  // Another connection cannot take the rows while the transaction runs.
  auto* other = NAAddRef(new qg::rig::RigConnection());
  ASSERT_TRUE(other->Connect(qg::rig::TestServer()->Socket(), database_.Name(), false));
  CNAError refused;
  EXPECT_FALSE(other->bExecuteText(&refused, u"SELECT * FROM t WHERE id = 2 FOR UPDATE NOWAIT"));
  ASSERT_TRUE(manager_->bCommitTransaction(description, u"", &slot));
  CNAError taken;
  EXPECT_TRUE(other->bExecuteText(&taken, u"SELECT * FROM t WHERE id = 2 FOR UPDATE NOWAIT"));
  ReleaseBoth(other);
  manager_->bDisconnect(description, &slot);
  identifier(slot);
  description->Release();
}

// The host's catalogue calls (native types, tables, foreign keys) reach the
// SQL-function service on the description's connection.
TEST_F(ManagerMariaDB, CatalogueCallsReachTheServiceOnTheDescriptionsConnection) {
  CNAError setup;
  ASSERT_TRUE(connection_->bExecuteText(
      &setup, u"CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB"));
  ASSERT_TRUE(connection_->bExecuteText(
      &setup, u"CREATE TABLE child (id INT PRIMARY KEY, p INT, CONSTRAINT `fk_p` FOREIGN KEY "
              u"(p) REFERENCES parent (id) ON DELETE CASCADE) ENGINE=InnoDB"));
  auto make = [&](const std::string& password) {
    auto* description = new qghost::ConnectionDescription();
    description->AddRef();
    std::string user = qg::rig::kPasswordAccount.pszUser;
    std::string socket = qg::rig::TestServer()->Socket();
    description->user.assign(user.begin(), user.end());
    description->password.assign(password.begin(), password.end());
    description->database.assign(database_.Name().begin(), database_.Name().end());
    description->data_source = u"localhost";
    description->extended = u"Unix Socket=" + std::u16string(socket.begin(), socket.end());
    return description;
  };
  auto identifier = [](INAError*& slot) {
    uint32_t n = slot != nullptr ? static_cast<CNAError*>(slot)->nGetErrorIdentifier() : 0;
    if (slot != nullptr) slot->Release();
    slot = nullptr;
    return n;
  };
  auto text = [](CAny& value) {
    const char16_t* t = nullptr;
    value.nGetPCXSTR(&t);
    return std::u16string(t != nullptr ? t : u"(null)");
  };
  qghost::ConnectionDescription* description = make(qg::rig::kPasswordAccount.pszPassword);
  INAError* slot = nullptr;

  // The type list does not need the connection to be open, nor known.
  CAny types;
  ASSERT_TRUE(manager_->bNativeTypes(description, &types, 0, &slot));
  EXPECT_EQ(std::u16string(kNAMariaDBNativeTypes), text(types));

  CAny tables;
  ASSERT_TRUE(manager_->bListTables(description, &tables, 0x1 | 0x10, nullptr, &slot))
      << identifier(slot);
  EXPECT_EQ(std::u16string(u"child\r\nparent"), text(tables));

  CAny keys;
  ASSERT_TRUE(manager_->bForeignKeys(description, &keys, u"child", 0x20, &slot))
      << identifier(slot);
  EXPECT_EQ(std::u16string(u"fk_p\tparent\tid\t0,N\tchild\tp\t0,1\t2021\t2022"), text(keys));
  CAny none;
  ASSERT_TRUE(manager_->bForeignKeys(description, &none, u"parent", 0x20, &slot));
  EXPECT_EQ(std::u16string(u""), text(none));

  // A table that does not exist, and a connection that does not open, fail
  // with an error for the host.
  CAny missing;
  EXPECT_FALSE(manager_->bForeignKeys(description, &missing, u"no_such", 0x20, &slot));
  EXPECT_NE(0u, identifier(slot));
  manager_->bDisconnect(description, &slot);
  identifier(slot);
  description->Release();

  qghost::ConnectionDescription* refused = make("wrong password");
  CAny nothing;
  EXPECT_FALSE(manager_->bListTables(refused, &nothing, 0x1, nullptr, &slot));
  EXPECT_NE(0u, identifier(slot));
  EXPECT_FALSE(manager_->bForeignKeys(refused, &nothing, u"child", 0x20, &slot));
  EXPECT_NE(0u, identifier(slot));
  refused->Release();
}

// The factories make the generic objects, so that every maker reaches them.
TEST_F(ManagerMariaDB, FactoriesMakeTheirObjects) {
  CNARefPtr<CNAValueConverter> converter(NAAddRef(manager_->pclNewValueConverterObject()));
  CNARefPtr<CNAItem> item(NAAddRef(manager_->pclNewColumnItem()));
  CNARefPtr<CNADescriptor> descriptor(NAAddRef(manager_->pclNewDescriptorObject()));
  CNARefPtr<CNAColumn> column(NAAddRef(manager_->pclNewColumn()));
  EXPECT_TRUE(converter && item && descriptor && column);
}

}  // namespace
