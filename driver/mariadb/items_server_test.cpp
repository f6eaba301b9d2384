// Column items and the logical description over tables of the binary's
// private server: rows read through a statement into the items' converters
// land where the items read them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/core/error_status.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/rig_connection.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/table_description.h"
#include "driver/sql/value_converter.h"
#include "errors/module_errors.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

using qg::rig::RigConnection;

class ItemsServer : public qg::AnyHostTest {
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
  }
  void TearDown() override {
    ReleaseBoth(fd_);
    ReleaseBoth(table_);
    ReleaseBoth(connection_);
    manager_->Release();
    AnyHostTest::TearDown();
  }
  bool Run(const char16_t* sql) {
    CNAError error;
    return connection_->bExecuteText(&error, sql);
  }
  void Describe(const char16_t* table) {
    CNAError error;
    table_ = manager_->pclGetTableDescriptionByName(connection_, table, &error);
    ASSERT_NE(nullptr, table_);
    fd_ = NAAddRef(new CNAFileDescription());
    ASSERT_TRUE(fd_->bBuild(table_, nullptr, &error));
  }
  // Reads the first row of the query into the current record, as the
  // table access does: each plain item's converter takes its column, and
  // the row's null bits follow the converters.
  void ReadRow(const char16_t* sql) {
    CNAError error;
    auto* statement = NAAddRef(new CNAStatementMariaDB(connection_));
    ASSERT_TRUE(statement->bExecuteWide(sql, &error));
    ASSERT_TRUE(statement->bFetchNext(0, &error));
    ASSERT_TRUE(statement->bHasRow());
    CNARowBuffer* row = fd_->pclGetCurrentRow();
    for (int i = 0; i < fd_->nGetItemCount(); ++i) {
      CNAItem* item = fd_->pclGetItem(i);
      if (item->bIsCompositeKey()) break;
      ASSERT_TRUE(statement->bGetColumnValue(item->pclGetConverter(), i, 0, &error)) << i;
      row->SetPresent(item->nGetRowColumn(), !item->pclGetConverter()->bIsNull(), -1);
    }
    statement->bCloseResult(nullptr);
    ReleaseBoth(statement);
  }
  std::u16string Dump(const char16_t* name) {
    std::u16string out;
    fd_->pclFindItemByName(name)->bDumpValue(&out, true, nullptr);
    return out;
  }

  qg::rig::TestDatabase database_;
  CNAManagerMariaDB* manager_ = nullptr;
  RigConnection* connection_ = nullptr;
  CNATableDescription* table_ = nullptr;
  CNAFileDescription* fd_ = nullptr;
};

TEST_F(ItemsServer, ReadKeysLargeObjectsAndWritability) {
  ASSERT_TRUE(Run(u"CREATE TABLE people (id INT AUTO_INCREMENT PRIMARY KEY, "
                  u"last VARCHAR(20), first VARCHAR(20), born DATE, notes LONGTEXT, "
                  u"twice INT AS (id * 2) VIRTUAL, UNIQUE(last, first))"));
  ASSERT_TRUE(Run(u"INSERT INTO people (last, first, born, notes) "
                  u"VALUES ('Dupont', 'Jean', '1970-05-04', REPEAT('x', 1048576))"));
  Describe(u"people");
  ASSERT_EQ(7, fd_->nGetItemCount());  // six columns, then the composite key
  CNAItem* id = fd_->pclGetItem(0);
  CNAItem* notes = fd_->pclFindItemByName(u"notes");
  CNAItem* key = fd_->pclGetItem(6);
  ASSERT_TRUE(key->bIsCompositeKey());
  ASSERT_EQ(2, key->nGetPartCount());
  EXPECT_EQ(fd_->pclFindItemByName(u"last"), key->pclGetPart(1));
  EXPECT_TRUE(notes->bIsLargeObject());
  // The auto-identifier identifies the records alone.
  EXPECT_EQ(id, fd_->pclGetAutoIdItem());
  ASSERT_EQ(1, fd_->nGetKeyCount());
  EXPECT_EQ(id, fd_->pclGetKey(0));
  // Writability: not the auto-identifier, not the generated column.
  EXPECT_FALSE(id->bIsWritable());
  EXPECT_FALSE(fd_->pclFindItemByName(u"twice")->bIsWritable());
  EXPECT_TRUE(fd_->pclFindItemByName(u"last")->bIsWritable());
  EXPECT_FALSE(notes->bCanUpdate(0));
  EXPECT_TRUE(notes->bCanUpdate(kNAWriteLargeUpdate));

  ReadRow(u"SELECT id, last, first, born, notes, twice FROM people");
  EXPECT_EQ(u"<id> = <1>", Dump(u"id"));
  EXPECT_EQ(u"<last> = <Dupont>", Dump(u"last"));
  EXPECT_EQ(u"<twice> = <2>", Dump(u"twice"));
  // A 1 MB text dumps its first 500 characters.
  EXPECT_EQ(u"<notes> = <" + std::u16string(kNADumpValueLimit, u'x') + u">", Dump(u"notes"));
  CAny packed;
  ASSERT_TRUE(key->bReadValue(packed, 0, nullptr));
  const void* bytes = nullptr;
  int size = 0;
  packed.pclHolder()->vnGetTexte(&bytes);
  packed.pclHolder()->vnGetTailleSansFin(&size);
  ASSERT_EQ(2 * 20, size);  // two VARCHAR(20) parts without their terminators
  EXPECT_EQ(0, std::memcmp(bytes, "Dupont", 6));
  EXPECT_EQ(0, std::memcmp(static_cast<const uint8_t*>(bytes) + 20, "Jean", 4));

  // The record survives a save, changes and a restore.
  ASSERT_TRUE(fd_->bSaveCurrentRecord(nullptr));
  CAny v;
  v.SetPSTRW(u"Martin");
  ASSERT_TRUE(fd_->pclFindItemByName(u"last")->bWriteValue(v, 0, nullptr));
  EXPECT_TRUE(key->bHasChanged());
  EXPECT_FALSE(notes->bHasChanged());
  ASSERT_TRUE(fd_->bRestoreSavedRecord(nullptr));
  EXPECT_EQ(u"<last> = <Dupont>", Dump(u"last"));
  EXPECT_FALSE(key->bHasChanged());
}

TEST_F(ItemsServer, TableWithoutKeysIdentifiesByItsPlainItems) {
  ASSERT_TRUE(Run(u"CREATE TABLE loose (a INT, memo TEXT, `pr\u00E9nom` VARCHAR(5) "
                  u"DEFAULT 'L\u00E9a')"));
  Describe(u"loose");
  ASSERT_EQ(2, fd_->nGetKeyCount());
  EXPECT_EQ(std::u16string(u"a"), fd_->pclGetKey(0)->pszGetName());
  // Names and defaults beyond ASCII come through whole.
  EXPECT_EQ(std::u16string(u"pr\u00E9nom"), fd_->pclGetKey(1)->pszGetName());
  EXPECT_EQ(u"<pr\u00E9nom> = <L\u00E9a>", Dump(u"pr\u00E9nom"));
  ASSERT_TRUE(Run(u"INSERT INTO loose VALUES (1, NULL, 'Z\u00E9lie')"));
  ReadRow(u"SELECT * FROM loose");
  EXPECT_EQ(u"<pr\u00E9nom> = <Z\u00E9lie>", Dump(u"pr\u00E9nom"));
  EXPECT_EQ(u"<memo> = <NULL>", Dump(u"memo"));
  EXPECT_EQ(1252, connection_->m_nConnectionCodePage);
}

}  // namespace

namespace {

// The text of a column read straight from the bytes the server sent is the
// text slot 7 converts, value for value; what it cannot read so (NULL,
// empty, other characters than ASCII, bytes, dates) it leaves to slot 7.
TEST_F(ItemsServer, ColumnTextReadInPlaceIsTheConvertedText) {
  ASSERT_TRUE(Run(u"CREATE TABLE tx (i INT, b BIGINT UNSIGNED, d DECIMAL(65,30), "
                  u"c CHAR(5), v VARCHAR(20), vb VARBINARY(8), dt DATETIME(6), t TIME) "
                  u"CHARACTER SET utf8mb4"));
  ASSERT_TRUE(Run(u"INSERT INTO tx VALUES "
                  u"(-2147483648, 18446744073709551615, -12345678901234567890.5, 'ab', "
                  u"'tab\there\\\\', X'41004243', '2024-02-29 10:20:30.000001', '-838:59:59'), "
                  u"(0, 0, 0, '', '', X'', '1000-01-01 00:00:00', '00:00:00'), "
                  u"(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
                  u"(7, 1, 0.000000000000000000000000000001, 'é', 'naïve', X'FF', "
                  u"'2024-01-31 10:20:30', '25:00:00')"));
  CNAError error;
  auto* statement = NAAddRef(new CNAStatementMariaDB(connection_));
  ASSERT_TRUE(statement->bExecuteWide(u"SELECT * FROM tx", &error));
  int in_place = 0;
  for (int row = 0; row < 4; ++row) {
    ASSERT_TRUE(statement->bFetchNext(0, &error));
    ASSERT_TRUE(statement->bHasRow());
    for (int n = 0; n < statement->nGetColumnCount(); ++n) {
      CAny converted;
      ASSERT_TRUE(statement->bGetColumnAsText(converted, n, &error));
      CAny direct;
      direct.SetI4(99);  // a value held before, as a reused one is
      const int held = direct.nGetCode();
      if (!statement->bColumnTextInPlace(direct, n)) {
        EXPECT_EQ(held, direct.nGetCode()) << row << ' ' << n;
        continue;
      }
      ++in_place;
      EXPECT_EQ(converted.nGetCode(), direct.nGetCode()) << row << ' ' << n;
      EXPECT_EQ(converted.bEstNull(), direct.bEstNull()) << row << ' ' << n;
      const char16_t* a = nullptr;
      const char16_t* b = nullptr;
      ASSERT_LT(converted.nGetPCXSTR(&a), 100);
      ASSERT_LT(direct.nGetPCXSTR(&b), 100);
      EXPECT_EQ(std::u16string(a), std::u16string(b)) << row << ' ' << n;
    }
  }
  // The numbers of three rows and the two ASCII texts of the first.
  EXPECT_EQ(11, in_place);
  statement->bCloseResult(nullptr);
  ReleaseBoth(statement);
}

}  // namespace
