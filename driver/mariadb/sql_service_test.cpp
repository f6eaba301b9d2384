// Table descriptions, catalogue reading and the SQL functions against the
// binary's private server.
#include "driver/mariadb/sql_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/core/error_status.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/mariadb/table_description_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/rig_connection.h"
#include "driver/sql/column.h"
#include "errors/module_errors.h"
#include "host/core/driver_objects.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

using qg::rig::RigConnection;

std::u16string Text(const CAny& value) {
  CXYString<char16_t> text;
  if (value.bEstNull() || value.nGetTexte(&text) >= 100 || text.pszGet() == nullptr) {
    return u"<none>";
  }
  return text.pszGet();
}

class Catalogue : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    ASSERT_NE(nullptr, qg::rig::TestServer());
    _CXErrorModule76 error;
    ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, nullptr));
    manager_ = new CNAManagerMariaDB();
    manager_->AddRef();
    connection_ = NAAddRef(new RigConnection());
    ASSERT_TRUE(connection_->Connect(qg::rig::TestServer()->Socket(), database_.Name(), false));
    connection_->m_strKey.Set(u"rig");
    ASSERT_TRUE(manager_->RegisterConnection(connection_));
    service_ = manager_->pclGetSQLService();
    ASSERT_NE(service_, nullptr);
  }
  void TearDown() override {
    ReleaseBoth(connection_);
    manager_->Release();
    AnyHostTest::TearDown();
  }
  bool Run(const char16_t* sql) {
    CNAError error;
    return connection_->bExecuteText(&error, sql);
  }
  CNATableDescription* Describe(const char16_t* table, CNAError* error) {
    return manager_->pclGetTableDescriptionByName(connection_, table, error);
  }

  qg::rig::TestDatabase database_;
  CNAManagerMariaDB* manager_ = nullptr;
  RigConnection* connection_ = nullptr;
  CNASQLService* service_ = nullptr;
};

TEST_F(Catalogue, ResultColumnsGetUniqueNames) {
  int32_t handle = 0;
  CNAError error;
  ASSERT_TRUE(service_->bExecuteQuery(&handle, connection_->m_nSerial,
                                      u"SELECT 1 AS N, 2 AS N, 3 AS N, 4 AS M", &error));
  ASSERT_EQ(handle, 1);
  CNATableDescription* d = service_->pclDescribeQuery(handle, &error);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->nGetColumnCount(), 4);
  EXPECT_EQ(std::u16string(d->pclColumnAt(0)->pszGetName()), u"N");
  EXPECT_EQ(std::u16string(d->pclColumnAt(1)->pszGetName()), u"N2");
  EXPECT_EQ(std::u16string(d->pclColumnAt(2)->pszGetName()), u"N3");
  EXPECT_EQ(std::u16string(d->pclColumnAt(3)->pszGetName()), u"M");
  EXPECT_EQ(d->pclColumnAt(3)->nGetRecordOffset(), d->pclColumnAt(0)->nGetSize() * 3);
  ReleaseBoth(d);
  // A column without a name takes the expression name.
  CNATableDescription own(connection_);
  CNAColumn* unnamed = NAAddRef(new CNAColumn());
  unnamed->Init(u"", u"t", nullptr, 1, 4, 5, -1, -1, 0, 0, 0);
  own.bAppendColumn(unnamed);
  ReleaseBoth(unnamed);
  EXPECT_EQ(std::u16string(own.pclColumnAt(0)->pszGetName()).rfind(u"Expr", 0), 0u);
  EXPECT_TRUE(service_->bCloseQuery(handle));
  EXPECT_FALSE(service_->bCloseQuery(handle));
}

TEST_F(Catalogue, KeyChoice) {
  ASSERT_TRUE(Run(u"CREATE TABLE nokey (t LONGTEXT, a INT)"));
  ASSERT_TRUE(Run(u"CREATE TABLE lob (t LONGTEXT)"));
  ASSERT_TRUE(Run(u"CREATE TABLE keys2 (a INT, b INT, c INT NOT NULL, UNIQUE(b), PRIMARY KEY(c))"));
  ASSERT_TRUE(Run(u"CREATE TABLE comp (a INT, b VARCHAR(10), UNIQUE(a,b))"));
  CNAError error;
  CNATableDescription* d = Describe(u"nokey", &error);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(std::u16string(d->pclGetChosenKey()->pszGetName()), u"a");
  ReleaseBoth(d);
  d = Describe(u"lob", &error);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(std::u16string(d->pclGetChosenKey()->pszGetName()), u"t");
  EXPECT_EQ(d->nGetLargeObjectCount(), 1);
  ReleaseBoth(d);
  d = Describe(u"keys2", &error);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(std::u16string(d->pclGetChosenKey()->pszGetName()), u"c");
  EXPECT_EQ(d->pclFindColumn(u"c", 2)->nGetKeyFlags(), 0xC800);
  ReleaseBoth(d);
  d = Describe(u"comp", &error);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->nGetKeyCount(), 1);
  CNAColumn* key = d->pclKeyAt(0);
  EXPECT_EQ(key->nGetKeyFlags(), 0x5800);
  EXPECT_EQ(key->nGetPartCount(), 2);
  EXPECT_EQ(key->nGetSize(), 4 + 10);
  ReleaseBoth(d);
  // A table that does not exist.
  CNAError missing;
  EXPECT_EQ(Describe(u"absent", &missing), nullptr);
  EXPECT_TRUE(missing.bHasError());
}

TEST_F(Catalogue, ColumnsDefaultsAndGeneratedColumns) {
  ASSERT_TRUE(Run(
      u"CREATE TABLE d (id INT AUTO_INCREMENT PRIMARY KEY, n INT NULL DEFAULT NULL, "
      u"s VARCHAR(10) NOT NULL DEFAULT 'abc', ts DATETIME DEFAULT current_timestamp(), "
      u"v INT AS (n + 1) VIRTUAL, p INT AS (other * 2) PERSISTENT, "
      u"other INT, UNIQUE(other))"));
  ASSERT_TRUE(Run(u"CREATE TABLE e (id INT PRIMARY KEY, k INT AUTO_INCREMENT, KEY(k))"));
  CNAError error;
  CNATableDescription* d = Describe(u"d", &error);
  ASSERT_NE(d, nullptr);
  CNAColumn* id = d->pclFindColumn(u"id", 2);
  EXPECT_EQ(id->nGetType(), 28);
  EXPECT_FALSE(id->bIsWritable());
  CNAColumn* n = d->pclFindColumn(u"n", 2);
  EXPECT_TRUE(n->bIsNullable());
  EXPECT_TRUE(n->clGetDefault().bEstNull());
  CNAColumn* s = d->pclFindColumn(u"s", 2);
  EXPECT_FALSE(s->bIsNullable());
  EXPECT_EQ(s->nGetType(), 2);
  EXPECT_EQ(s->nGetSize(), 11);
  EXPECT_EQ(Text(s->clGetDefault()), u"abc");
  CNAColumn* ts = d->pclFindColumn(u"ts", 2);
  EXPECT_EQ(std::u16string(ts->pszGetDefaultText()), u"current_timestamp()");
  CNAColumn* v = d->pclFindColumn(u"v", 2);
  EXPECT_TRUE(v->bHasGeneration());
  EXPECT_FALSE(v->bIsGenerationStored());
  EXPECT_FALSE(v->bIsWritable());
  CNAColumn* p = d->pclFindColumn(u"p", 2);
  EXPECT_TRUE(p->bIsGenerationStored());
  EXPECT_FALSE(p->bIsWritable());
  ReleaseBoth(d);
  // An auto_increment column outside the primary key loses the mark.
  d = Describe(u"e", &error);
  ASSERT_NE(d, nullptr);
  CNAColumn* k = d->pclFindColumn(u"k", 2);
  EXPECT_EQ(k->nGetType(), 5);
  EXPECT_EQ(k->nGetColumnFlags() & kNAColFlagAutoIncrement, 0u);
  ReleaseBoth(d);
}

TEST_F(Catalogue, InformationSchemaForMySQL) {
  ASSERT_TRUE(Run(u"CREATE TABLE i (a INT, b VARCHAR(5))"));
  connection_->ForceServerVersion(u"8.0.30", 8, 0, 30);
  CNAError error;
  CNATableDescription* d = Describe(u"i", &error);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->nGetColumnCount(), 2);
  EXPECT_EQ(d->pclFindColumn(u"b", 2)->nGetType(), 2);
  ReleaseBoth(d);
}

TEST_F(Catalogue, ForeignKeys) {
  ASSERT_TRUE(Run(u"CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB"));
  ASSERT_TRUE(Run(u"CREATE TABLE child (id INT PRIMARY KEY, pid INT, "
                  u"CONSTRAINT fk_c FOREIGN KEY (pid) REFERENCES parent (id) ON DELETE CASCADE) "
                  u"ENGINE=InnoDB"));
  CAny out;
  CNAError error;
  ASSERT_TRUE(service_->bGetForeignKeys(&out, connection_, u"child", nullptr, 0x20, &error))
      << std::string(reinterpret_cast<const char*>(error.pszGetMessage()), 0);
  if (error.bHasError()) {
    std::u16string m = error.pszGetMessage();
    ADD_FAILURE() << std::string(m.begin(), m.end());
  }
  EXPECT_EQ(Text(out), u"fk_c\tparent\tid\t0,N\tchild\tpid\t0,1\t2021\t2022");
}

TEST_F(Catalogue, ForeignKeyTextsParse) {
  struct Case { const char16_t* text; const char16_t* out; };
  const Case cases[] = {
      {u"CONSTRAINT `a` FOREIGN KEY (`x`) REFERENCES `p` (`id`)",
       u"a\tp\tid\t0,N\tt\tx\t0,1\t2021\t2021"},
      {u"CONSTRAINT `a``b` FOREIGN KEY (`x`, `y`) REFERENCES `p` (`i`,`j`) ON DELETE SET NULL ON "
       u"UPDATE NO ACTION",
       u"a`b\tp\ti,j\t0,N\tt\tx,y\t0,1\t2020\t2023"},
      {u"CONSTRAINT `a` FOREIGN KEY (`x` REFERENCES", u""},
      {u"CONSTRAINT", u""},
      {u"CONSTRAINT `", u""},
      {u"", u""},
  };
  // Tables described without keys: column lists stay as written.
  auto describe = [](void*, const char16_t*) -> CNATableDescription* {
    return NAAddRef(new CNATableDescription(nullptr));
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CNASQLService::ParseForeignKeys(c.text, u"t", 0x20, describe, nullptr), c.out);
  }
  // Without a description of the referenced table a two-column constraint
  // is skipped.
  EXPECT_EQ(CNASQLService::ParseForeignKeys(cases[1].text, u"t", 0x20, nullptr, nullptr), u"");
}

TEST_F(Catalogue, Listings) {
  ASSERT_TRUE(Run(u"CREATE TABLE b (x INT, y TEXT)"));
  ASSERT_TRUE(Run(u"CREATE TABLE a (x INT)"));
  ASSERT_TRUE(Run(u"CREATE VIEW w AS SELECT x FROM a"));
  int32_t number = connection_->m_nSerial;
  CAny out;
  CNAError error;
  ASSERT_TRUE(service_->bListTables(&out, number, 0x1 | 0x10, nullptr, &error));
  EXPECT_EQ(Text(out), u"a\r\nb");
  ASSERT_TRUE(service_->bListTables(&out, number, 0x3 | 0x20, nullptr, &error));
  std::u16string db(database_.Name().begin(), database_.Name().end());
  EXPECT_EQ(Text(out), u"a\t" + db + u"\tTABLE\r\nb\t" + db + u"\tTABLE\r\nw\t" + db + u"\tVIEW");
  ASSERT_TRUE(service_->bListColumns(&out, number, u"b", &error));
  std::u16string columns = Text(out);
  EXPECT_EQ(columns.substr(0, 2), u"x\t");
  EXPECT_NE(columns.find(u"\r\ny\t"), std::u16string::npos);
  ASSERT_TRUE(service_->bGetDatabaseList(&out, connection_, 0x1 | 0x10, &error));
  EXPECT_NE(Text(out).find(db + u"\ta\tb"), std::u16string::npos);
  ASSERT_TRUE(service_->bGetNativeTypes(&out));
  EXPECT_EQ(Text(out), kNAMariaDBNativeTypes);
  EXPECT_EQ(Text(out).substr(0, 16), u"bit\t1\r\ntinyint\t2");
}

TEST_F(Catalogue, NamesWithQuotes) {
  std::u16string db(database_.Name().begin(), database_.Name().end());
  ASSERT_TRUE(Run(u"CREATE TABLE `o'k``t` (x INT)"));
  CNAError error;
  CNATableDescription* d = Describe(u"o'k`t", &error);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->nGetColumnCount(), 1);
  ReleaseBoth(d);
  CAny out;
  ASSERT_TRUE(service_->bListTables(&out, connection_->m_nSerial, 0x1, nullptr, &error));
  EXPECT_EQ(Text(out), u"o'k`t");
}

TEST_F(Catalogue, SqlFunctionsEndToEnd) {
  int32_t number = connection_->m_nSerial;
  ASSERT_TRUE(Run(u"CREATE TABLE f (id INT PRIMARY KEY, name VARCHAR(10), data BLOB) ENGINE=InnoDB"));
  CNAError error;
  int32_t handle = -1;
  ASSERT_TRUE(service_->bExecuteQuery(&handle, number, u"INSERT INTO f VALUES (1, 'one', x'0001')",
                                      &error));
  EXPECT_EQ(handle, 0);
  ASSERT_TRUE(service_->bBeginTransaction(number, &error));
  ASSERT_TRUE(service_->bExecuteQuery(&handle, number, u"INSERT INTO f VALUES (2, 'two', NULL)",
                                      &error));
  ASSERT_TRUE(service_->bLockTable(number, u"f", &error));
  ASSERT_TRUE(service_->bQueryForUpdate(number, u"SELECT id FROM f", &error));
  ASSERT_TRUE(service_->bCommitTransaction(number, &error));
  ASSERT_TRUE(service_->bBeginTransaction(number, &error));
  ASSERT_TRUE(service_->bExecuteQuery(&handle, number, u"INSERT INTO f VALUES (3, 'three', NULL)",
                                      &error));
  ASSERT_TRUE(service_->bRollbackTransaction(number, &error));
  CNAError no_transaction;
  EXPECT_FALSE(service_->bLockTable(number, u"f", &no_transaction));
  EXPECT_TRUE(no_transaction.bHasError());

  ASSERT_TRUE(service_->bExecuteQuery(&handle, number, u"SELECT id, name, data FROM f ORDER BY id",
                                      &error));
  ASSERT_GT(handle, 0);
  int32_t count = 0;
  ASSERT_TRUE(service_->bGetColumnCount(&count, handle, &error));
  EXPECT_EQ(count, 3);
  std::u16string rows;
  CAny out;
  while (service_->bFetch(handle, &error)) {
    ASSERT_TRUE(service_->bGetRowText(&out, handle, &error));
    rows += Text(out) + u"|";
  }
  EXPECT_EQ(rows.substr(0, 6), u"1\tone\t");
  EXPECT_NE(rows.find(u"|2\ttwo\t|"), std::u16string::npos);
  EXPECT_EQ(rows.find(u"three"), std::u16string::npos);
  EXPECT_TRUE(service_->bCloseQuery(handle));
  ASSERT_TRUE(service_->bExecuteQuery(&handle, number, u"SELECT name, data FROM f WHERE id = 1",
                                      &error));
  ASSERT_TRUE(service_->bFetch(handle, &error));
  ASSERT_TRUE(service_->bGetColumnText(&out, handle, 1, &error));
  EXPECT_EQ(Text(out), u"one");
  ASSERT_TRUE(service_->bGetColumnWide(&out, handle, 1, &error));
  EXPECT_EQ(Text(out), u"one");
  ASSERT_TRUE(service_->bGetColumnBinary(&out, handle, 2, &error));
  CXYString<char> bytes;
  ASSERT_EQ(out.nGetBIN(&bytes), 0);
  EXPECT_EQ(std::string(bytes.pszGet(), bytes.nTaille()), std::string("\0\1", 2));
  EXPECT_FALSE(service_->bGetColumnText(&out, handle, 0, &error));
  EXPECT_FALSE(service_->bGetColumnText(&out, handle, 3, &error));
  EXPECT_FALSE(service_->bGetColumnText(&out, 999, 1, &error));
  EXPECT_TRUE(service_->bCloseQuery(handle));
}

}  // namespace

namespace {

// Through the MariaDB connection the manager makes for a description.
class ServiceOnConnection : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    ASSERT_NE(nullptr, qg::rig::TestServer());
    manager_ = new CNAManagerMariaDB();
    manager_->AddRef();
    description_ = new qghost::ConnectionDescription();
    description_->AddRef();
    description_->user = U(qg::rig::kPasswordAccount.pszUser);
    description_->password = U(qg::rig::kPasswordAccount.pszPassword);
    description_->database = U(database_.Name());
    description_->data_source = u"localhost";
    description_->extended = u"Unix Socket=" + U(qg::rig::TestServer()->Socket());
    service_ = manager_->pclGetSQLService();
  }
  void TearDown() override {
    manager_->Release();
    description_->Release();
    AnyHostTest::TearDown();
  }
  static std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }
  static std::string Dump(CNAError& e) {
    std::u16string m = e.pszGetMessage();
    std::string out;
    for (char16_t c : m) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
  }

  qg::rig::TestDatabase database_;
  CNAManagerMariaDB* manager_ = nullptr;
  qghost::ConnectionDescription* description_ = nullptr;
  CNASQLService* service_ = nullptr;
};

TEST_F(ServiceOnConnection, ConnectsQueriesAndRoundTripsParameters) {
  CNAError error;
  int32_t first = 0;
  int32_t second = 0;
  ASSERT_TRUE(service_->bConnect(&first, description_, &error));
  ASSERT_TRUE(service_->bConnect(&second, description_, &error));
  EXPECT_NE(first, second);
  int32_t handle = 0;
  ASSERT_TRUE(service_->bExecuteQuery(&handle, first, u"SELECT CONNECTION_ID()", &error));
  ASSERT_TRUE(service_->bFetch(handle, &error));
  CAny id1;
  service_->bGetColumnText(&id1, handle, 1, &error);
  service_->bCloseQuery(handle);
  ASSERT_TRUE(service_->bExecuteQuery(&handle, second, u"SELECT CONNECTION_ID()", &error));
  ASSERT_TRUE(service_->bFetch(handle, &error));
  CAny id2;
  service_->bGetColumnText(&id2, handle, 1, &error);
  service_->bCloseQuery(handle);
  EXPECT_NE(Text(id1), Text(id2));

  // Hostile values as statement parameters come back exactly, whatever the
  // sql_mode.
  CNARefPtr<CNAConnection> connection(manager_->pclGetConnectionByNumber(first));
  ASSERT_TRUE(connection);
  const std::u16string corpus[] = {
      u"it's", u"back\\slash", u"trailing\\", u"cr\r\nlf",
      u"\uFF07 \u00A5 \u20A9", u"\U0001F600 non-BMP", u"'; DROP TABLE x; --", u"\\'", u"",
  };
  for (const char16_t* mode : {u"SET SESSION sql_mode = DEFAULT",
                               u"SET SESSION sql_mode = 'NO_BACKSLASH_ESCAPES'"}) {
    ASSERT_TRUE(service_->bExecuteQuery(&handle, first, mode, &error));
    for (const std::u16string& value : corpus) {
      CAny parameter;
      parameter.SetDSTRW(value.data(), static_cast<int>(value.size()));
      NAStatementParameter p;
      p.nPosition = 7;
      p.nLength = 1;
      p.pValue = &parameter;
      CNAStatementMariaDB statement(connection.Get());
      CNAError run;
      ASSERT_TRUE(statement.bExecuteWithParameters(u"SELECT ?", &p, 1, &run))
          << std::string(reinterpret_cast<const char*>(U(std::string()).c_str()), 0) << Dump(run);
      ASSERT_TRUE(statement.bFetchNext(0, &run));
      CAny out;
      ASSERT_TRUE(statement.bGetColumnAsText(out, 0, &run));
      CXYString<char16_t> text;
      out.nGetTexte(&text);
      std::u16string got = text.pszGet() != nullptr
                               ? std::u16string(text.pszGet(), static_cast<size_t>(text.nTaille()))
                               : u"";
      EXPECT_EQ(got, value);
    }
  }
  EXPECT_TRUE(service_->bDisconnect(first));
  EXPECT_TRUE(service_->bDisconnect(second));
}

}  // namespace

namespace {

class ConnectionTypes : public ServiceOnConnection {};

TEST_F(ConnectionTypes, TypesValuesAndOneValue) {
  CNAError error;
  auto* c = static_cast<CNAConnectionMariaDB*>(manager_->pclResolveConnection(description_, &error));
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(c->bOpen(&error, 0));
  auto declared = [&](int type, int size, int digits = 0, int scale = 0) {
    CNAColumn* column = NAAddRef(new CNAColumn());
    column->Init(u"c", u"t", nullptr, 1, size, type, 0, -1, 0, 0, 0);
    column->bSetType(type);
    column->SetPrecision(digits);
    column->SetScale(scale);
    CTString out;
    CNAError e;
    std::u16string text = c->bGetColumnTypeSQL(&e, *column, &out) ? out.pszGet() : u"<error>";
    ReleaseBoth(column);
    return text;
  };
  EXPECT_EQ(declared(29, 102), u"VARCHAR(50) CHARACTER SET utf8mb4");
  EXPECT_EQ(declared(24, 8), u"DATETIME(3)");
  EXPECT_EQ(declared(38, 8), u"LONGTEXT");
  EXPECT_EQ(declared(5, 4), u"INTEGER");
  EXPECT_EQ(declared(31, 16, 60, 40), u"NUMERIC(64,30)");
  EXPECT_EQ(declared(39, 8), u"<error>");
  // Values fitted to columns.
  struct Fit { int column; int64_t value; int type_after; bool ok; };
  const Fit fits[] = {{5, 7, 9, true}, {5, 1LL << 40, 9, true}, {3, 7, 9, true}, {7, 7, 9, true}};
  for (const Fit& f : fits) {
    CAny v;
    v.SetI8(f.value);
    EXPECT_EQ(c->bFitValue(&error, v, f.column), f.ok);
  }
  CAny small;
  small.SetI8(12);
  ASSERT_TRUE(c->bFitValue(&error, small, 5));
  EXPECT_EQ(small.nGetCode(), 9);  // within 32 bits it fits as it is
  CAny text;
  text.SetDSTRW(u"12:34");
  ASSERT_TRUE(c->bFitValue(&error, text, 11));
  EXPECT_EQ(text.nGetCode(), 129);
  // Each way fitting fails has its own message and site (a conversion
  // that refuses everything stands for the host's refusals).
  struct Refused { int column; const char16_t* value; uint32_t message; const char* site; };
  const Refused refused[] = {
      {11, u"9x", 57, "IEQGMARIA=11.14"},
      {14, u"2024-02-31", 58, "IEQGMARIA=11.15"},
      {24, u"not a date", 58, "IEQGMARIA=11.15"},
      {5, u"abc", 60, "IEQGMARIA=11.16"},
  };
  const qg::AnyConversionProvider saved = qg::GetAnyConversionProvider();
  qg::AnyConversionProvider refusing = saved;
  refusing.pfnConvert = [](const void*, int32_t, void*, int32_t) -> int32_t { return 100; };
  refusing.pfnCast = nullptr;
  qg::SetAnyConversionProvider(refusing);
  for (const Refused& r : refused) {
    CAny v;
    v.SetDSTRW(r.value);
    CNAError e;
    EXPECT_FALSE(c->bFitValue(&e, v, r.column)) << r.column;
    EXPECT_EQ(r.message, e.nGetErrorIdentifier()) << r.column;
    std::u16string message = e.pszGetMessage() != nullptr ? e.pszGetMessage() : u"";
    EXPECT_NE(std::u16string::npos, message.find(std::u16string(r.site, r.site + strlen(r.site))))
        << r.column;
  }
  qg::SetAnyConversionProvider(saved);
  // One value through a statement.
  CAny one;
  ASSERT_TRUE(c->bReadOneValue(&error, &one, 1, u"show variables like 'max_allowed_packet'"));
  CXYString<char16_t> limit;
  one.nGetTexte(&limit);
  EXPECT_EQ(std::u16string(limit.pszGet()), u"67108864");
  manager_->bReleaseConnection(c);
}

}  // namespace
