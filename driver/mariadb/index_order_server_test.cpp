// Client-side indexes over a record cache filled from the private server
// order the rows as the server's ORDER BY does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/sql/column.h"
#include "driver/sql/index.h"
#include "driver/sql/index_tree.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/sql_types.h"
#include "errors/module_errors.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

// The cached rows of one column as an index sees them.
class CachedColumn : public CNAIndexSource {
 public:
  CachedColumn(CNARecordCacheBase* cache, CNAColumn* column, int index)
      : cache_(cache), column_(column), index_(index), image_(NAAddRef(new CNARecordImage)) {}
  ~CachedColumn() override { ReleaseBoth(image_); }
  int nGetEntryCount() override { return cache_->nGetCount(); }
  uint32_t nGetEntryState(int entry) override { return cache_->nGetEntryState(entry); }
  bool bReadEntryValue(int entry, CAny* value) override {
    return cache_->bReadRecord(image_, entry, nullptr) &&
           image_->pclGetRowBuffer()->bGetValue(*value, index_, 0);
  }
  bool bReadCurrentValue(CAny*) override { return false; }
  bool bSameRecord(int) override { return false; }
  void GetKeyType(int* type, size_t* length, int* digits, int* scale) override {
    *type = nHostTypeToValueClass(column_->nGetType());
    *length = static_cast<size_t>(column_->nGetSize());
    *digits = column_->nGetPrecision();
    *scale = column_->nGetScale();
  }

 private:
  CNARecordCacheBase* cache_;
  CNAColumn* column_;
  int index_;
  CNARecordImage* image_;
};

class IndexOrderServer : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    ASSERT_NE(nullptr, qg::rig::TestServer());
    _CXErrorModule76 error;
    ASSERT_TRUE(CNAMariaDBClient::bLoad(&error, nullptr));
    handle_ = gMariaDB.mysql_init(nullptr);
    ASSERT_NE(nullptr, handle_);
  }
  void TearDown() override {
    if (handle_ != nullptr) gMariaDB.mysql_close(handle_);
    for (CNAColumn* c : layout_.apColumns) ReleaseBoth(c);
    CNAMariaDBClient::TermInstance();
    AnyHostTest::TearDown();
  }
  bool Execute(const std::string& sql) {
    bool ok = gMariaDB.mysql_real_query(handle_, sql.c_str(), sql.size()) == 0;
    EXPECT_TRUE(ok) << sql << ": " << gMariaDB.mysql_error(handle_);
    return ok;
  }
  // Rows of a query as texts.
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    if (!Execute(sql)) return rows;
    MYSQL_RES* result = gMariaDB.mysql_store_result(handle_);
    if (result == nullptr) return rows;
    unsigned fields = gMariaDB.mysql_num_fields(result);
    while (MYSQL_ROW row = gMariaDB.mysql_fetch_row(result)) {
      unsigned long* lengths = gMariaDB.mysql_fetch_lengths(result);
      std::vector<std::string> r;
      for (unsigned i = 0; i < fields; ++i) r.emplace_back(row[i], lengths[i]);
      rows.push_back(std::move(r));
    }
    gMariaDB.mysql_free_result(result);
    return rows;
  }
  void AddColumn(int type, int size, int digits = 0, int scale = 0) {
    CNAColumn* c = NAAddRef(new CNAColumn());
    c->Init(u"c", u"t", nullptr, 1, size, type, 0, -1, 0, digits, scale);
    c->SetRecordOffset(static_cast<int>(layout_.nDataSize));
    c->SetSlotIndex(static_cast<int>(layout_.nNullBits++));
    layout_.nDataSize += static_cast<uint32_t>(c->nGetTotalSize());
    layout_.apColumns.push_back(c);
  }

  MYSQL* handle_ = nullptr;
  CNARowLayout layout_;
};

TEST_F(IndexOrderServer, IndexOrderEqualsOrderBy) {
  qg::rig::TestDatabase database;
  ASSERT_FALSE(database.Name().empty());
  const qg::rig::MariaDBServer* server = qg::rig::TestServer();
  ASSERT_NE(nullptr, gMariaDB.mysql_real_connect(
                         handle_, nullptr, qg::rig::kPasswordAccount.pszUser,
                         qg::rig::kPasswordAccount.pszPassword, database.Name().c_str(), 0,
                         server->Socket().c_str(), 0))
      << gMariaDB.mysql_error(handle_);
  ASSERT_TRUE(Execute(
      "CREATE TABLE t (id INT PRIMARY KEY, i INT NOT NULL, d DOUBLE NOT NULL, "
      "m DECIMAL(12,3) NOT NULL, dt DATE NOT NULL, "
      "b VARCHAR(12) CHARACTER SET latin1 COLLATE latin1_bin NOT NULL)"));
  // Random rows with many ties; texts of printable ASCII.
  std::mt19937 rng(12);
  std::string insert = "INSERT INTO t VALUES ";
  for (int id = 0; id < 400; ++id) {
    int i = static_cast<int>(rng() % 200) - 100;
    double d = (static_cast<double>(rng() % 100000) - 50000) / (1 + rng() % 97);
    long long m = static_cast<long long>(rng() % 2000000) - 1000000;
    int year = 1990 + static_cast<int>(rng() % 40);
    int month = 1 + static_cast<int>(rng() % 12);
    int day = 1 + static_cast<int>(rng() % 28);
    std::string b;
    for (size_t n = rng() % 8; n > 0; --n) b.push_back(static_cast<char>('0' + rng() % 75));
    for (char& ch : b) {
      if (ch == '\\' || ch == '\'') ch = 'z';
    }
    char row[200];
    std::snprintf(row, sizeof(row), "%s(%d, %d, %.17g, %lld.%03lld, '%04d-%02d-%02d', '%s')",
                  id == 0 ? "" : ",", id, i, d, m / 1000, (m < 0 ? -m : m) % 1000, year,
                  month, day, b.c_str());
    if (m < 0 && m > -1000) {  // "-0.5" needs its sign before the zero
      std::snprintf(row, sizeof(row), "%s(%d, %d, %.17g, -0.%03lld, '%04d-%02d-%02d', '%s')",
                    id == 0 ? "" : ",", id, i, d, -m, year, month, day, b.c_str());
    }
    insert += row;
  }
  ASSERT_TRUE(Execute(insert));

  // The cache: every row of the table through row buffers of
  // (I4, R8, DECIMAL, date digits, 8-bit text).
  AddColumn(kNAColInt4, 4);
  AddColumn(kNAColReal8, 8);
  AddColumn(kNAColDecimal, 8, 12, 3);
  AddColumn(kNAColDateDigits, 9);
  AddColumn(kNAColVarChar, 13);
  CNARecordCacheBase* cache = NAAddRef(new CNARecordCacheBase(CNARecordCacheBase::kActive));
  auto rows = Rows("SELECT i, d, m, REPLACE(dt, '-', ''), b FROM t ORDER BY id");
  ASSERT_EQ(400u, rows.size());
  for (const auto& r : rows) {
    CNARowBuffer* row = new CNARowBuffer();
    ASSERT_TRUE(row->bBind(layout_));
    CAny v;
    v.SetI4(std::atoi(r[0].c_str()));
    ASSERT_TRUE(row->bSetValue(0, v, 0));
    v.SetR8(std::strtod(r[1].c_str(), nullptr));
    ASSERT_TRUE(row->bSetValue(1, v, 0));
    v.SetPSTRA(r[2].c_str());
    ASSERT_TRUE(row->bSetValue(2, v, 0)) << r[2];
    v.SetPSTRA(r[3].c_str());
    ASSERT_TRUE(row->bSetValue(3, v, 0)) << r[3];
    v.SetPSTRA(r[4].c_str());
    ASSERT_TRUE(row->bSetValue(4, v, 0)) << r[4];
    CNARecordImage* image = NAAddRef(new CNARecordImage());
    image->SetRowBuffer(row);
    image->SetIdentifier(new CNARowIdentifier(row->pGetBlock(), row->nGetImageSize(), nullptr));
    ASSERT_GE(cache->nAppendRecord(image, nullptr), 0);
    ReleaseBoth(image);
  }

  const char* columns[] = {"i", "d", "m", "dt", "b"};
  for (int c = 0; c < 5; ++c) {
    SCOPED_TRACE(columns[c]);
    // The server's order of the column's values, as the ids of the rows.
    auto ordered = Rows(std::string("SELECT id, ") + columns[c] + " FROM t ORDER BY " +
                        columns[c] + ", id");
    CachedColumn source(cache, layout_.apColumns[static_cast<size_t>(c)], c);
    CNAIndexTree index(&source, nullptr);
    ASSERT_TRUE(index.bBuild(nullptr));
    ASSERT_EQ(400, index.nGetCount());
    // Walk the index: the value of each entry must be the value of the row
    // at the same place in the server's order (ties may differ in id).
    std::vector<std::string> by_index;
    std::vector<std::string> by_server;
    int entry = -1;
    ASSERT_TRUE(index.bPosition(kNAIndexFirst, 1, &entry, nullptr, nullptr));
    for (size_t k = 0; k < ordered.size(); ++k) {
      ASSERT_GE(entry, 0) << k;
      by_index.push_back(rows[static_cast<size_t>(entry)][c == 3 ? 3 : c]);
      std::string value = ordered[k][1];
      if (c == 3) value.erase(std::remove(value.begin(), value.end(), '-'), value.end());
      by_server.push_back(value);
      ASSERT_TRUE(index.bPosition(kNAIndexForward, 1, &entry, nullptr, nullptr));
    }
    EXPECT_EQ(-1, entry);
    EXPECT_EQ(by_server, by_index);
  }
  ReleaseBoth(cache);
}

}  // namespace
