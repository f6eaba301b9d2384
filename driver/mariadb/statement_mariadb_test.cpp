// Statements against the binary's private server, over a test connection
// that opens the client handle itself.
#include "driver/mariadb/statement_mariadb.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_link.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/rig_connection.h"
#include "driver/sql/column.h"
#include "driver/sql/value_converter.h"
#include "errors/module_errors.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

using qg::rig::RigConnection;

class StatementMariaDB : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    ASSERT_NE(nullptr, qg::rig::TestServer());
    _CXErrorModule76 error;
    ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, nullptr));
    connection_ = NAAddRef(new RigConnection());
    ASSERT_TRUE(connection_->Connect(qg::rig::TestServer()->Socket(), database_.Name(), false));
    utf8_ = NAAddRef(new RigConnection());
    ASSERT_TRUE(utf8_->Connect(qg::rig::TestServer()->Socket(), database_.Name(), true));
  }
  void TearDown() override {
    statements_.clear();
    ReleaseBoth(utf8_);
    ReleaseBoth(connection_);
    AnyHostTest::TearDown();
  }
  CNAStatementMariaDB* Statement(RigConnection* on = nullptr) {
    auto* s = NAAddRef(new CNAStatementMariaDB(on != nullptr ? on : connection_));
    statements_.emplace_back(s);
    return s;
  }
  bool Run(const char* sql, RigConnection* on = nullptr) {
    CNAError error;
    CNAStatementMariaDB* s = Statement(on);
    bool ok = s->bExecute(sql, 0, 0, nullptr, &error);
    s->bCloseResult(nullptr);
    return ok;
  }
  static std::u16string Text(const CAny& value) {
    CXYString<char16_t> text;
    if (value.bEstNull()) return u"<null>";
    if (value.nGetTexte(&text) >= 100 || text.pszGet() == nullptr) return u"<error>";
    return text.pszGet();
  }
  std::u16string Cell(CNAStatementMariaDB* s, int n) {
    CAny out;
    CNAError error;
    if (!s->bGetColumnAsText(out, n, &error)) return u"<failed>";
    return Text(out);
  }

  qg::rig::TestDatabase database_;
  RigConnection* connection_ = nullptr;
  RigConnection* utf8_ = nullptr;
  std::vector<CNARefPtr<CNAStatementMariaDB>> statements_;
};

TEST_F(StatementMariaDB, SkipsLeadingResultsWithoutColumns) {
  CNAStatementMariaDB* s = Statement();
  CNAError error;
  ASSERT_TRUE(s->bExecute("SET @a=1; SELECT @a", 0, 0, nullptr, &error));
  EXPECT_EQ(s->nGetRowCount(), 1);
  EXPECT_EQ(s->nGetColumnCount(), 1);
  ASSERT_TRUE(s->bFetchNext(0, &error));
  EXPECT_EQ(Cell(s, 0), u"1");
  // Two SELECTs: the second is read and dropped, the connection stays usable.
  ASSERT_TRUE(s->bExecute("SELECT 1; SELECT 2", 0, 0, nullptr, &error));
  EXPECT_TRUE(Run("SELECT 3"));
}

TEST_F(StatementMariaDB, LaterFailingStatementIsReported) {
  CNAStatementMariaDB* s = Statement();
  CNAError error;
  EXPECT_FALSE(s->bExecute("SELECT 1; SELECT * FROM missing", 0, 0, nullptr, &error));
  EXPECT_EQ(error.nGetBaseCode(), 1146);
  CNAError second;
  EXPECT_FALSE(s->bExecute("SET @b=2; SELECT * FROM missing", 0, 0, nullptr, &second));
  EXPECT_EQ(second.nGetBaseCode(), 1146);
  EXPECT_TRUE(Run("SELECT 1"));
}

TEST_F(StatementMariaDB, AffectedRowsCountMatchedRows) {
  ASSERT_TRUE(Run("CREATE TABLE t (x INT)"));
  ASSERT_TRUE(Run("INSERT INTO t VALUES (1), (2), (3)"));
  CNAStatementMariaDB* s = Statement();
  CNAError error;
  int64_t affected = -5;
  ASSERT_TRUE(s->bExecute("UPDATE t SET x=x", 0, 0, &affected, &error));
  EXPECT_EQ(affected, 3);
  EXPECT_EQ(s->nGetColumnCount(), 0);
  EXPECT_EQ(s->nGetRowCount(), 0);
  // The count of a SELECT the client does not know as affected rows.
  ASSERT_TRUE(s->bPrepareAndExecute("SELECT * FROM t", 0, &affected, &error));
  EXPECT_GE(affected, 0);
}

TEST_F(StatementMariaDB, ErrorsCarryTheText) {
  CNAStatementMariaDB* s = Statement();
  CNAError error;
  std::string sql = "SELEKT " + std::string(6000, 'x');
  EXPECT_FALSE(s->bExecute(sql.c_str(), 0, 0, nullptr, &error));
  EXPECT_EQ(error.nGetBaseCode(), 1064);
  std::u16string dump = error.pszGetMessage();
  EXPECT_NE(dump.find(u"SELEKT xxx"), std::u16string::npos);
  EXPECT_EQ(dump.find(std::u16string(5000, u'x')), std::u16string::npos);
  EXPECT_NE(dump.find(std::u16string(4990, u'x')), std::u16string::npos);
}

TEST_F(StatementMariaDB, CallDrainsItsStatusResult) {
  ASSERT_TRUE(Run("CREATE PROCEDURE p() BEGIN SELECT 1 AS a; SELECT 2 AS b; END"));
  CNAStatementMariaDB* s = Statement();
  CNAError error;
  ASSERT_TRUE(s->bExecute("CALL p()", 0, 0, nullptr, &error));
  ASSERT_TRUE(s->bFetchNext(0, &error));
  EXPECT_EQ(Cell(s, 0), u"1");
  EXPECT_TRUE(Run("SELECT 1"));
}

TEST_F(StatementMariaDB, UnbufferedReadsDrainOnClose) {
  ASSERT_TRUE(Run("CREATE TABLE t (x INT)"));
  ASSERT_TRUE(Run("INSERT INTO t VALUES (1), (2), (3), (4)"));
  CNAStatementMariaDB* s = Statement();
  s->SetStoreMode(0);
  CNAError error;
  ASSERT_TRUE(s->bExecute("SELECT x FROM t ORDER BY x", 0, 0, nullptr, &error));
  EXPECT_EQ(s->nGetRowCount(), 4294967295LL);
  EXPECT_EQ(connection_->nGetOpenUnbufferedResults(), 1);
  ASSERT_TRUE(s->bFetchNext(0, &error));
  EXPECT_EQ(Cell(s, 0), u"1");
  // A seek needs a buffered result.
  EXPECT_FALSE(s->bSeekRow(0, &error));
  ASSERT_TRUE(s->bCloseResult(&error));
  EXPECT_EQ(connection_->nGetOpenUnbufferedResults(), 0);
  EXPECT_TRUE(Run("SELECT 1"));
  // Executing again while a result is open frees it first.
  ASSERT_TRUE(s->bExecute("SELECT x FROM t", 0, 0, nullptr, &error));
  ASSERT_TRUE(s->bFetchNext(0, &error));
  ASSERT_TRUE(s->bExecute("SELECT x FROM t", 0, 0, nullptr, &error));
  ASSERT_TRUE(s->bCloseResult(&error));
  s->SetStoreMode(1);
  EXPECT_TRUE(Run("SELECT 1"));
}

TEST_F(StatementMariaDB, RowsSeeksAndColumnBounds) {
  ASSERT_TRUE(Run("CREATE TABLE t (x INT, y VARCHAR(5))"));
  ASSERT_TRUE(Run("INSERT INTO t VALUES (0,'a'),(1,NULL),(2,'c'),(3,'d'),(4,'e'),(5,'f')"));
  CNAStatementMariaDB* s = Statement();
  CNAError error;
  ASSERT_TRUE(s->bExecute("SELECT x, y FROM t ORDER BY x", 0, 0, nullptr, &error));
  ASSERT_TRUE(s->bSeekRow(5, &error));
  ASSERT_TRUE(s->bFetchNext(0, &error));
  EXPECT_EQ(s->nGetCurrentRow(), 5);
  EXPECT_EQ(Cell(s, 0), u"5");
  ASSERT_TRUE(s->bSeekRow(0, &error));
  ASSERT_TRUE(s->bFetchNext(0, &error));
  EXPECT_EQ(s->nGetCurrentRow(), 0);
  CAny row;
  ASSERT_TRUE(s->bGetRowText(row, 0, &error));
  EXPECT_EQ(Text(row), u"0\ta");
  ASSERT_TRUE(s->bFetchNext(0, &error));
  ASSERT_TRUE(s->bGetRowText(row, 0, &error));
  EXPECT_EQ(Text(row), u"1\t");
  CNAError bad;
  CAny out;
  EXPECT_FALSE(s->bGetColumnAsText(out, 2, &bad));
  EXPECT_FALSE(s->bGetColumnAsText(out, -1, &bad));
  EXPECT_EQ(s->pclGetResultColumn(-1, &bad), nullptr);
  EXPECT_EQ(s->pclGetResultColumn(2, &bad), nullptr);
  EXPECT_FALSE(s->bSeekRow(7, &bad));
  // To the end: the end-of-rows flag, no error.
  CNAError end;
  while (!s->bEndOfRows()) ASSERT_TRUE(s->bFetchNext(0, &end));
  EXPECT_FALSE(end.bHasError());
  EXPECT_FALSE(s->bGetRowText(row, 0, &end));
  // A result of zero rows: nothing fetched, end of rows.
  ASSERT_TRUE(s->bExecute("SELECT x FROM t WHERE x > 100", 0, 0, nullptr, &error));
  ASSERT_TRUE(s->bFetchNext(0, &error));
  EXPECT_TRUE(s->bEndOfRows());
}

// Every column type of a fixture: its column type and size, and its value
// read back into a converter of the matching Velisc type.
TEST_F(StatementMariaDB, FixtureTypesMapAndReadBack) {
  ASSERT_TRUE(Run(
      "CREATE TABLE f (t3 TIME(3), t6 TIME(6), d DATE, dt0 DATETIME, dt1 DATETIME(1), "
      "dt3 DATETIME(3), dt6 DATETIME(6), ts6 TIMESTAMP(6) NULL, y YEAR, "
      "d100 DECIMAL(10,0), d102 DECIMAL(10,2), d190 DECIMAL(19,0), d3810 DECIMAL(38,10), "
      "b9 BIT(9), ti TINYINT(1), db DOUBLE, v8 VARCHAR(20) CHARACTER SET utf8mb4, "
      "vl VARCHAR(20) CHARACTER SET latin1, v16 VARCHAR(20) CHARACTER SET utf16, tx TEXT, "
      "bl BLOB, bi BINARY(16), js JSON)"));
  ASSERT_TRUE(Run(
      "INSERT INTO f VALUES ('10:20:30.123', '23:59:59.999999', '2024-01-31', "
      "'2024-01-31 10:20:30', '2024-01-31 10:20:30.5', '2024-01-31 10:20:30.789', "
      "'2024-01-31 10:20:30.123456', '2024-01-31 10:20:30.050000', 2024, 9999999999, "
      "-12345678.90, 999999999999999999, 1234567890123456789012345678.0123456789, b'100000001', "
      "1, 1.5e300, 'été', 'été', 'Ωé', 'long text', x'00FF00', x'000102030405060708090A0B0C0D0E0F', "
      "'{\"a\": [1, 2]}')",
      utf8_));
  struct Expect {
    int type;
    int size;
    int host;  // converter type
    const char16_t* text;
  };
  const Expect expected[] = {
      {24, 8, 26, u"10:20:30.123"},         // TIME(3)
      {24, 8, 26, u"23:59:59.999"},         // TIME(6)
      {14, 9, 26, u"2024-01-31"},           // DATE
      {24, 8, 26, u"2024-01-31 10:20:30"},  // DATETIME
      {24, 8, 26, u"2024-01-31 10:20:30.500"},
      {24, 8, 26, u"2024-01-31 10:20:30.789"},
      {24, 8, 26, u"2024-01-31 10:20:30.123"},
      {24, 8, 26, u"2024-01-31 10:20:30.050"},
      {24, 8, 26, u"2024-01-01"},           // YEAR
      {19, 8, 9, u"9999999999"},
      {17, 10, 10, u"-12345678.9"},
      {19, 8, 9, u"999999999999999999"},
      {31, 16, 13, u"1234567890123456789012345678.0123456789"},
      {23, 11, 28, nullptr},
      {4, 1, 6, u"1"},
      {7, 8, 12, u"1.5e+300"},
      {29, 42, 16, u"été"},
      {29, 42, 16, u"été"},  // a UTF-8 conversation reports every text in utf8mb4
      {29, 42, 16, u"Ωé"},
      {30, 8, 16, u"long text"},
      {18, 8, 28, nullptr},
      {23, 18, 28, nullptr},
      {30, 8, 16, u"{\"a\": [1, 2]}"},
  };
  for (RigConnection* on : {utf8_}) {
    CNAStatementMariaDB* s = Statement(on);
    CNAError error;
    ASSERT_TRUE(s->bExecute("SELECT * FROM f", 0, 0, nullptr, &error));
    ASSERT_EQ(s->nGetColumnCount(), static_cast<int>(std::size(expected)));
    ASSERT_TRUE(s->bFetchNext(0, &error));
    for (int i = 0; i < s->nGetColumnCount(); ++i) {
      const Expect& e = expected[i];
      CNAResultColumn* c = s->pclGetResultColumn(i, &error);
      ASSERT_NE(c, nullptr);
      std::u16string name = c->m_strName.pszGet();
      SCOPED_TRACE(std::string(name.begin(), name.end()));
      EXPECT_EQ(c->m_nColumnType, e.type);
      if (on == utf8_) {
        EXPECT_EQ(c->m_nSize, e.size);
      }
      if (e.text == nullptr) continue;
      CNAValueConverter* v = NAAddRef(new CNAValueConverter(nullptr, on->nGetServerCodePage()));
      v->bSetType(e.host, 0);
      EXPECT_TRUE(s->bGetColumnValue(v, i, 0, &error));
      CAny value;
      v->bGetValue(value);
      if (e.host == 26) {
        qg::AnyDateTime dt{};
        value.nGetDATETIME(&dt);
        char buffer[40];
        std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d %02d:%02d:%02d.%03d", dt.nYear,
                      dt.nMonth, dt.nDay, dt.nMilliseconds / 3600000, dt.nMilliseconds / 60000 % 60,
                      dt.nMilliseconds / 1000 % 60, dt.nMilliseconds % 1000);
        std::string got = buffer;
        std::u16string want16 = e.text;
        std::string want(want16.begin(), want16.end());
        if (want.size() == 10) want += " 00:00:00.000";
        if (want.size() == 12) want = "0000-00-00 " + want;
        if (want.size() == 19) want += ".000";
        if (want.size() == 8) want = "0000-00-00 " + want + ".000";
        EXPECT_EQ(got, want);
      } else {
        EXPECT_EQ(Text(value), e.text);
      }
      ReleaseBoth(v);
    }
    // Binary columns come back byte-exact.
    CAny bits;
    ASSERT_TRUE(s->bGetColumnAsBinary(bits, 20, &error));
    CXYString<char> bytes;
    ASSERT_EQ(bits.nGetBIN(&bytes), 0);
    EXPECT_EQ(std::string(bytes.pszGet(), bytes.nTaille()), std::string("\0\xFF\0", 3));
  }
  // In 8-bit: a latin1 conversation sees an 8-bit text column.
  CNAStatementMariaDB* s = Statement(connection_);
  CNAError error;
  ASSERT_TRUE(s->bExecute("SELECT vl, tx FROM f", 0, 0, nullptr, &error));
  ASSERT_TRUE(s->bFetchNext(0, &error));
  CNAResultColumn* c = s->pclGetResultColumn(0, &error);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->m_nColumnType, 2);
  EXPECT_EQ(c->m_nSize, 21);
  EXPECT_EQ(s->pclGetResultColumn(1, &error)->m_nColumnType, 15);
  CNAValueConverter* v = NAAddRef(new CNAValueConverter(nullptr, 1252));
  v->bAllocateBuffer(19, 21, nullptr);
  ASSERT_TRUE(s->bGetColumnValue(v, 0, 0, &error));
  EXPECT_EQ(std::string(static_cast<const char*>(v->pGetData())), "\xE9t\xE9");
  ReleaseBoth(v);
}

TEST_F(StatementMariaDB, BigBlobRoundTrip) {
  ASSERT_TRUE(Run("CREATE TABLE b (v LONGBLOB)"));
  std::string blob(16 * 1024 * 1024, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>((i * 131) >> 3);
  static const char kHex[] = "0123456789ABCDEF";
  std::string sql = "INSERT INTO b VALUES (X'";
  sql.reserve(blob.size() * 2 + 64);
  for (unsigned char c : blob) {
    sql.push_back(kHex[c >> 4]);
    sql.push_back(kHex[c & 15]);
  }
  sql += "')";
  CNAStatementMariaDB* s = Statement();
  CNAError error;
  ASSERT_TRUE(s->bExecute(sql.c_str(), 0, 0, nullptr, &error));
  ASSERT_TRUE(s->bExecute("SELECT v FROM b", 0, 0, nullptr, &error));
  ASSERT_TRUE(s->bFetchNext(0, &error));
  CNAValueConverter* v = NAAddRef(new CNAValueConverter(nullptr, 1252));
  CNAColumn* column = NAAddRef(new CNAColumn());
  column->Init(u"v", u"b", nullptr, 1, 8, 18, 0, -1, 0, 0, 0);
  v->bSetType(28, 0);
  v->BindColumns(column, nullptr);
  ASSERT_TRUE(s->bGetColumnValue(v, 0, 0, &error));
  CAny value;
  v->bGetValue(value);
  CXYString<char> bytes;
  ASSERT_EQ(value.nGetBIN(&bytes), 0);
  ASSERT_EQ(static_cast<size_t>(bytes.nTaille()), blob.size());
  EXPECT_EQ(std::memcmp(bytes.pszGet(), blob.data(), blob.size()), 0);
  ReleaseBoth(column);
  ReleaseBoth(v);
}

}  // namespace

namespace {

// A parameter whose value names a file goes to the server as the file's
// content: binary, or 8-bit text. Only a regular file is read: a FIFO, a
// directory, a missing file or a name cut short by a NUL is refused at
// once with error 15, and nothing is sent.
TEST_F(StatementMariaDB, FileParametersSendTheFilesContent) {
  ASSERT_TRUE(Run("CREATE TABLE f (b BLOB, t TEXT)"));
  char folder[] = "/tmp/qgfileparamXXXXXX";
  ASSERT_NE(nullptr, mkdtemp(folder));
  const std::string dir = folder;
  auto write = [](const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  };
  write(dir + "/bin", std::string("a'\\\0z", 5));
  write(dir + "/text", "it's");
  write(dir + "/empty", "");
  ASSERT_EQ(0, mkfifo((dir + "/fifo").c_str(), 0600));
  auto wide = [](const std::string& s) { return std::u16string(s.begin(), s.end()); };
  const char16_t* text = u"INSERT INTO f VALUES (?, ?)";
  auto run = [&](const std::u16string& first, uint32_t firstFlags, const std::u16string& second,
                 CNAError* error) {
    CAny a, b;
    a.SetDSTRW(first.data(), static_cast<int>(first.size()));
    b.SetDSTRW(second.data(), static_cast<int>(second.size()));
    NAStatementParameter p[2];
    p[0] = {22, 1, &a, firstFlags};
    p[1] = {25, 1, &b, 0x11};
    return Statement()->bExecuteWithParameters(text, p, 2, error);
  };
  CNAError error;
  ASSERT_TRUE(run(wide(dir + "/bin"), 1, wide(dir + "/text"), &error));
  ASSERT_TRUE(run(wide(dir + "/empty"), 1, wide(dir + "/empty"), &error));
  struct Refused {
    std::u16string path;
  } refused[] = {
      {wide(dir + "/fifo")},
      {wide(dir)},
      {wide(dir + "/missing")},
      {wide(dir + "/bin") + std::u16string(1, u'\0') + u"x"},
      {u""},
  };
  for (const Refused& r : refused) {
    CNAError failed;
    EXPECT_FALSE(run(r.path, 1, wide(dir + "/text"), &failed));
    EXPECT_EQ(15u, failed.nGetErrorIdentifier());
  }
  CNAStatementMariaDB* s = Statement();
  ASSERT_TRUE(s->bExecute("SELECT HEX(b), t FROM f ORDER BY LENGTH(b) DESC", 0, 0, nullptr, &error));
  ASSERT_TRUE(s->bFetchNext(0, &error));
  EXPECT_EQ(u"61275C007A", Cell(s, 0));
  EXPECT_EQ(u"it's", Cell(s, 1));
  ASSERT_TRUE(s->bFetchNext(0, &error));
  EXPECT_EQ(u"", Cell(s, 0));
  EXPECT_EQ(u"", Cell(s, 1));
  EXPECT_FALSE(s->bFetchNext(0, &error) && s->bHasRow());
  s->bCloseResult(nullptr);
  for (const char* name : {"/bin", "/text", "/empty", "/fifo"}) std::remove((dir + name).c_str());
  rmdir(folder);
}

TEST(StatementStreaming, HasNoConnectionAndClonesItsKind) {
  CNARefPtr<CNAStatementStreaming> s(NAAddRef(new CNAStatementStreaming()));
  EXPECT_EQ(nullptr, s->pclGetConnection());
  EXPECT_GT(s->nGetSerial(), 0);
  CNAStatement* copy = s->pclClone(nullptr, 0, 0);
  ASSERT_NE(nullptr, copy);
  AddRefBoth(copy);
  EXPECT_NE(nullptr, dynamic_cast<CNAStatementStreaming*>(copy));
  EXPECT_NE(copy->nGetSerial(), s->nGetSerial());
  ReleaseBoth(copy);
}

}  // namespace
