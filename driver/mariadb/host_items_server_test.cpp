// The host's items against the binary's private server: each item reads and
// writes the column of its name, whatever the order and number of the items
// the host declares; a walk keeps every value in its column, or fails,
// when another connection changes the table's columns under it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/dispatcher.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/mariadb/testing/host_table_fixture.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/column.h"
#include "driver/sql/item.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/table_access.h"
#include "host/core/driver_objects.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& N = qg::rig::Narrow;

using qg::rig::HostItem;

class HostItems : public qg::rig::HostTableServerTest {
 protected:
  std::pair<qghost::FileDescription*, CNADispatcher*> Open(const std::u16string& table,
                                                           qghost::FileDescription* handle) {
    CNAError error;
    CNADispatcher* d = manager_->pclFindOrCreateDispatcher(description_, table.c_str(), &error);
    EXPECT_NE(nullptr, d) << N(error.pszGetMessage());
    if (handle == nullptr) handle = new qghost::FileDescription(table, 1);
    INAError* slot = nullptr;
    EXPECT_TRUE(d->bOpen(handle, description_, 0, 0, &slot)) << Message(slot);
    opened_.push_back({handle, d});
    return {handle, d};
  }
  static std::string Message(INAError*& slot) { return qg::rig::TakeMessage(slot); }
  // Item n of the current record as text ("NULL"); "failed: ..." when the
  // read fails.
  static std::string Get(CNADispatcher* d, qghost::FileDescription* h, int n) {
    CAny value;
    INAError* slot = nullptr;
    if (!d->bReadItemValue(h, n, reinterpret_cast<intptr_t>(&value), &slot)) {
      return "failed: " + Message(slot);
    }
    if (value.bEstNull()) return "NULL";
    CXYString<char16_t> text;
    value.nGetTexte(&text);
    return N(text.pszGet());
  }
  static std::string Record(CNADispatcher* d, qghost::FileDescription* h, int items) {
    std::string line;
    for (int i = 0; i < items; ++i) line += (i > 0 ? "\t" : "") + Get(d, h, i);
    return line;
  }
  // Writes item n; "" on success, else the error's message.
  static std::string Set(CNADispatcher* d, qghost::FileDescription* h, int n,
                         const char16_t* text) {
    CAny value;
    value.SetPSTRW(text);
    INAError* slot = nullptr;
    if (d->bWriteItemValue(h, n, reinterpret_cast<intptr_t>(&value), &slot)) return "";
    std::string message = Message(slot);
    return message.empty() ? "failed" : message;
  }
  // A read along `key`; false at the end or on failure (`failure` gets the
  // message).
  static bool Read(CNADispatcher* d, qghost::FileDescription* h, const char16_t* key, int how,
                   std::string* failure = nullptr) {
    INAError* slot = nullptr;
    if (!d->bRead(h, reinterpret_cast<intptr_t>(key), how, 0, 1, 0, 0, &slot)) {
      std::string message = Message(slot);
      if (failure != nullptr) {
        *failure = message.empty() ? "failed" : message;
      } else {
        ADD_FAILURE() << message;
      }
      return false;
    }
    int32_t at_end = 0;
    d->bIsAtEnd(h, reinterpret_cast<intptr_t>(key), reinterpret_cast<intptr_t>(&at_end), &slot);
    Message(slot);
    return at_end == 0;
  }
  static void SetFetchSize(CNADispatcher* d, qghost::FileDescription* h, int64_t rows) {
    CNASession* s = d->pclFindSession(h);
    ASSERT_NE(nullptr, s);
    s->pclGetConnection()->m_nCacheSize = rows;
    ReleaseBoth(s);
  }
};

// Items in another order than the columns, fewer items than columns, one
// item under another letter case and one naming no column: reads, writes,
// modify and add each reach the item's own column.
TEST_F(HostItems, EachItemReadsAndWritesTheColumnOfItsName) {
  ASSERT_TRUE(Sql("CREATE TABLE t (id INT PRIMARY KEY, a VARCHAR(10), b INT, "
                  "c VARCHAR(5) DEFAULT 'dc'); "
                  "INSERT INTO t VALUES (1, 'a1', 10, 'c1'), (2, 'a2', 20, 'c2')"));
  auto* file = new qghost::FileDescription(u"t", 1);
  HostItem(file, u"id", kNAColInt4, 4, kNAKeyPrimary);
  HostItem(file, u"b", kNAColInt4, 4);
  HostItem(file, u"A", kNAColVarChar, 11);
  HostItem(file, u"note", kNAColVarChar, 11);
  auto [h, d] = Open(u"t", file);

  ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
  EXPECT_EQ("1\t10\ta1\tNULL", Record(d, h, 4));
  EXPECT_EQ(0u, Get(d, h, 4).rfind("failed", 0)) << "no item 4";
  // The driver's own item of a host item is the one of its name.
  INAError* none = nullptr;
  auto* b = reinterpret_cast<CNAItem*>(d->pclGetColumnPartOfItem(h, 1, 0, &none));
  Message(none);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(std::u16string(u"b"), b->pszGetName());
  // An item that names no column takes no value: it could never reach
  // the server.
  std::string refused = Set(d, h, 3, u"lost");
  EXPECT_NE(std::string::npos, refused.find("note")) << refused;
  EXPECT_EQ("NULL", Get(d, h, 3));

  // A value written is what its item reads, until the record is written.
  EXPECT_EQ("", Set(d, h, 1, u"11"));
  EXPECT_EQ("1\t11\ta1\tNULL", Record(d, h, 4));
  INAError* slot = nullptr;
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("1\t11\ta1\tNULL", Record(d, h, 4));
  EXPECT_EQ((std::vector<std::string>{"1\ta1\t11\tc1", "2\ta2\t20\tc2"}),
            ServerRows("SELECT id, a, b, c FROM t ORDER BY id"));

  // The text item under its own letter case.
  ASSERT_TRUE(Read(d, h, u"id", kNAReadNext));
  EXPECT_EQ("", Set(d, h, 2, u"a2x"));
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"1\ta1\t11\tc1", "2\ta2x\t20\tc2"}),
            ServerRows("SELECT id, a, b, c FROM t ORDER BY id"));

  // A value written and then left by a read is forgotten: the read record
  // is not changed by the next modify.
  ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
  EXPECT_EQ("", Set(d, h, 1, u"99"));
  ASSERT_TRUE(Read(d, h, u"id", kNAReadNext));
  EXPECT_EQ("2\t20\ta2x\tNULL", Record(d, h, 4));
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"1\ta1\t11\tc1", "2\ta2x\t20\tc2"}),
            ServerRows("SELECT id, a, b, c FROM t ORDER BY id"));

  // Add: each item into its column, the column without item takes its
  // default.
  EXPECT_EQ("", Set(d, h, 0, u"3"));
  EXPECT_EQ("", Set(d, h, 1, u"30"));
  EXPECT_EQ("", Set(d, h, 2, u"a3"));
  ASSERT_TRUE(d->bAdd(h, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("3\t30\ta3\tNULL", Record(d, h, 4));
  EXPECT_EQ((std::vector<std::string>{"1\ta1\t11\tc1", "2\ta2x\t20\tc2", "3\ta3\t30\tdc"}),
            ServerRows("SELECT id, a, b, c FROM t ORDER BY id"));
  ASSERT_TRUE(Read(d, h, u"id", kNAReadLast));
  EXPECT_EQ("3\t30\ta3\tNULL", Record(d, h, 4));
}

// The record added is the current one: its items read what the server
// stored (defaults included), and a modify changes it, not the record read
// before the add.
TEST_F(HostItems, TheRecordAddedIsTheCurrentOne) {
  ASSERT_TRUE(Sql("CREATE TABLE ad (id INT PRIMARY KEY, v INT, c VARCHAR(5) DEFAULT 'dc'); "
                  "INSERT INTO ad VALUES (1, 1, 'c1')"));
  auto [h, d] = Open(u"ad", nullptr);
  ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
  EXPECT_EQ("", Set(d, h, 0, u"2"));
  EXPECT_EQ("", Set(d, h, 1, u"2"));
  INAError* slot = nullptr;
  ASSERT_TRUE(d->bAdd(h, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("2\t2\tdc", Record(d, h, 3));
  EXPECT_EQ("", Set(d, h, 1, u"5"));
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"1\t1\tc1", "2\t5\tdc"}),
            ServerRows("SELECT id, v, c FROM ad ORDER BY id"));
  // Without a key the values written name the record added when one row
  // alone has them; when another has them too, nothing names it and a
  // modify is refused rather than changing another record.
  ASSERT_TRUE(Sql("CREATE TABLE nk (v INT, c VARCHAR(5) DEFAULT 'dc'); "
                  "INSERT INTO nk VALUES (1, 'c1')"));
  auto [h2, d2] = Open(u"nk", nullptr);
  ASSERT_TRUE(Read(d2, h2, u"v", kNAReadFirst));
  EXPECT_EQ("", Set(d2, h2, 0, u"2"));
  ASSERT_TRUE(d2->bAdd(h2, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("2\tdc", Record(d2, h2, 2));
  EXPECT_EQ("", Set(d2, h2, 0, u"3"));
  ASSERT_TRUE(d2->bModify(h2, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("", Set(d2, h2, 0, u"3"));
  ASSERT_TRUE(d2->bAdd(h2, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("", Set(d2, h2, 0, u"4"));
  EXPECT_FALSE(d2->bModify(h2, 0, 0, 0, 0, &slot));
  Message(slot);
  EXPECT_EQ((std::vector<std::string>{"1\tc1", "3\tdc", "3\tdc"}),
            ServerRows("SELECT v, c FROM nk ORDER BY v"));
}

// Without a key the whole row as read names the row: items in another
// order still write their own columns, NULL and bytes included.
TEST_F(HostItems, AnUnkeyedTableWritesTheItemsColumnsOfTheRowRead) {
  ASSERT_TRUE(Sql("CREATE TABLE u (a INT, bin VARBINARY(4), s VARCHAR(5)); "
                  "INSERT INTO u VALUES (1, X'0001', 'x'), (2, X'FF00', NULL)"));
  auto* file = new qghost::FileDescription(u"u", 1);
  HostItem(file, u"s", kNAColVarChar, 6);
  HostItem(file, u"a", kNAColInt4, 4);
  auto [h, d] = Open(u"u", file);
  ASSERT_TRUE(Read(d, h, u"a", kNAReadLast));
  EXPECT_EQ("NULL\t2", Record(d, h, 2));
  EXPECT_EQ("", Set(d, h, 0, u"y"));
  INAError* slot = nullptr;
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  ASSERT_TRUE(Read(d, h, u"a", kNAReadFirst));
  CAny null_value;
  null_value.SetNull(true);
  ASSERT_TRUE(d->bWriteItemValue(h, 0, reinterpret_cast<intptr_t>(&null_value), &slot))
      << Message(slot);
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"1\t0001\tNULL", "2\tFF00\ty"}),
            ServerRows("SELECT a, HEX(bin), s FROM u ORDER BY a"));
}

// Column names that quote themselves or hold a quote read their own
// values, also through items that name them.
TEST_F(HostItems, ColumnsWithQuotesInTheirNamesReadTheirOwnValues) {
  ASSERT_TRUE(Sql("CREATE TABLE q (id INT PRIMARY KEY, a INT, ```a``` INT, `x``y` INT); "
                  "INSERT INTO q VALUES (1, 10, 20, 30)"));
  auto [h, d] = Open(u"q", nullptr);
  ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
  EXPECT_EQ("1\t10\t20\t30", Record(d, h, 4));
  auto* file = new qghost::FileDescription(u"q", 1);
  HostItem(file, u"x`y", kNAColInt4, 4);
  HostItem(file, u"`a`", kNAColInt4, 4);
  HostItem(file, u"id", kNAColInt4, 4, kNAKeyPrimary);
  auto [h2, d2] = Open(u"q", file);
  ASSERT_TRUE(Read(d2, h2, u"id", kNAReadFirst));
  EXPECT_EQ("30\t20\t1", Record(d2, h2, 3));
}

// Date and date-time items read in the compact form, the date's dashes
// taken out; a time stamp reads as the server writes it.
TEST_F(HostItems, DatesReadInTheCompactForm) {
  ASSERT_TRUE(Sql("CREATE TABLE d (id INT PRIMARY KEY, dd DATE, dt DATETIME, dt6 DATETIME(6), "
                  "ts TIMESTAMP NULL); "
                  "INSERT INTO d VALUES (1, '2024-01-02', '2024-01-02 03:04:05', "
                  "'2024-01-02 03:04:05.012345', '2024-01-02 03:04:05')"));
  auto [h, d] = Open(u"d", nullptr);
  ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
  EXPECT_EQ("1\t20240102\t20240102 03:04:05\t20240102 03:04:05.012345\t2024-01-02 03:04:05",
            Record(d, h, 5));
}

// Another connection adds a first column, then changes the walked key's
// type, while a walk in fetches of three rows goes on: the values stay in
// their columns, and the changed key fails the walk instead of giving rows
// in another order.
TEST_F(HostItems, AWalkKeepsItsColumnsOrFailsWhenTheTableChangesUnderIt) {
  ASSERT_TRUE(Sql("CREATE TABLE lay (id INT PRIMARY KEY, k INT NOT NULL, v VARCHAR(5), "
                  "KEY kk(k)); "
                  "INSERT INTO lay SELECT seq, 100 - seq, CONCAT('v', seq) FROM seq_1_to_10"));
  const std::vector<std::string> want = ServerRows("SELECT id, k, v FROM lay ORDER BY k, id");
  auto [h, d] = Open(u"lay", nullptr);
  SetFetchSize(d, h, 3);
  std::vector<std::string> walked;
  for (bool more = Read(d, h, u"k", kNAReadFirst); more; more = Read(d, h, u"k", kNAReadNext)) {
    walked.push_back(Record(d, h, 3));
    if (walked.size() == 2) {
      ASSERT_TRUE(Sql("ALTER TABLE lay ADD COLUMN z INT FIRST"));
    }
    if (walked.size() > 20) break;
  }
  EXPECT_EQ(want, walked);

  walked.clear();
  std::string failure;
  bool more = Read(d, h, u"k", kNAReadFirst);
  for (; more && walked.size() < 20; more = Read(d, h, u"k", kNAReadNext, &failure)) {
    walked.push_back(Record(d, h, 3));
    if (walked.size() == 2) {
      ASSERT_TRUE(Sql("ALTER TABLE lay MODIFY k VARCHAR(10) NULL"));
    }
  }
  EXPECT_NE(std::string::npos, failure.find("lay")) << failure;
  EXPECT_GE(3u, walked.size());
}

}  // namespace
