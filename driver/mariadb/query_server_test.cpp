// Queries opened as tables through the manager, against the binary's
// private server: a SELECT the host parsed is read in its own order (its
// own LIMIT kept alone), raw SQL text is read over its result both ways,
// and a statement that changes rows runs once at the open.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/dispatcher.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/query.h"
#include "driver/sql/column.h"
#include "driver/sql/statement.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/table_access.h"
#include "host/core/driver_objects.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

using qg::rig::Narrow;
using qg::rig::TakeMessage;
using qg::rig::Wide;

class QueryOnServer : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    qg::AnyHostTest::SetUp();
    ASSERT_NE(nullptr, qg::rig::TestServer());
    manager_ = new CNAManagerMariaDB();
    manager_->AddRef();
    description_.owned_by_count = false;
    qg::rig::DescribeOnSocket(&description_, database_.Name());
    ASSERT_TRUE(Sql("CREATE TABLE t (id INT PRIMARY KEY, a INT NULL, b VARCHAR(8) NULL); "
                    "INSERT INTO t SELECT seq, seq % 4, CONCAT('b', seq % 3) FROM seq_1_to_30"));
  }
  void TearDown() override {
    qg::rig::CloseOpenedTables(&opened_);
    manager_->Release();
    qg::AnyHostTest::TearDown();
  }
  bool Sql(const std::string& sql, std::string* out = nullptr) {
    return qg::rig::RunSqlIn(database_.Name(), sql, out);
  }
  std::vector<std::string> ServerRows(const std::string& sql) {
    return qg::rig::ServerRows(database_.Name(), sql);
  }
  // Opens a handle standing for the query as the host does (manager
  // slot 36); null dispatcher and the driver's message on failure.
  CNADispatcher* OpenQuery(const char16_t* name, const std::u16string& text, bool raw,
                           qghost::FileDescription** out, std::string* failure = nullptr) {
    auto* handle = new qghost::FileDescription(name, 1);
    std::string parse_error;
    EXPECT_TRUE(handle->bSetQuery(text, raw, nullptr, &parse_error)) << parse_error;
    CNADispatcher* dispatcher = nullptr;
    INAError* slot = nullptr;
    bool ok = manager_->bOpenTable(&description_, handle, 0, &dispatcher, &slot);
    std::string message = TakeMessage(slot);
    if (failure != nullptr) *failure = message;
    if (!ok || dispatcher == nullptr) {
      delete handle;
      return nullptr;
    }
    opened_.push_back({handle, dispatcher});
    *out = handle;
    return dispatcher;
  }
  // The records read by `name` from first (or last) on with next (or
  // previous), columns joined by tabs, NULL as NULL.
  static std::vector<std::string> Walk(CNADispatcher* d, qghost::FileDescription* h,
                                       const char16_t* name, bool backward, int columns,
                                       intptr_t flags = 0) {
    std::vector<std::string> rows;
    INAError* slot = nullptr;
    auto key = reinterpret_cast<intptr_t>(name);
    intptr_t direction = backward ? kNAReadLast : kNAReadFirst;
    for (int guard = 0; guard < 1000; ++guard) {
      int32_t at_end = 0;
      if (!d->bRead(h, key, direction, flags, 1, 0, 0, &slot) ||
          !d->bIsAtEnd(h, key, reinterpret_cast<intptr_t>(&at_end), &slot)) {
        ADD_FAILURE() << TakeMessage(slot);
        break;
      }
      if (at_end != 0) break;
      std::string line;
      for (int i = 0; i < columns; ++i) {
        CAny value;
        EXPECT_TRUE(d->bReadItemValue(h, i, reinterpret_cast<intptr_t>(&value), &slot))
            << TakeMessage(slot);
        CXYString<char16_t> text;
        if (!value.bEstNull()) value.nGetTexte(&text);
        line += (i > 0 ? "\t" : "") + (value.bEstNull() ? "NULL" : Narrow(text.pszGet()));
      }
      rows.push_back(line);
      direction = backward ? kNAReadPrevious : kNAReadNext;
    }
    return rows;
  }

  qg::rig::TestDatabase database_;
  CNAManagerMariaDB* manager_ = nullptr;
  qghost::ConnectionDescription description_;
  qg::rig::OpenedTables opened_;
};

TEST_F(QueryOnServer, ParsedSelectIsReadInItsOwnOrderByFetches) {
  const char* sql = "SELECT id, a, b FROM t WHERE a >= 1 ORDER BY a DESC, id";
  std::vector<std::string> expected = ServerRows(sql);
  ASSERT_EQ(23u, expected.size());
  description_.cache_size = 4;  // several fetches of the query's rows
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(u"Q", Wide(sql), false, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  EXPECT_EQ(1, handle->GetQuery().nHasColumns);
  // Opened on its first record.
  EXPECT_EQ(expected, Walk(d, handle, u"Q", false, 3));
  EXPECT_EQ(std::vector<std::string>(expected.rbegin(), expected.rend()),
            Walk(d, handle, u"Q", true, 3));
  // Along a column of the result: that column's order.
  std::vector<std::string> by_id = ServerRows("SELECT id, a, b FROM t WHERE a >= 1 ORDER BY id");
  EXPECT_EQ(by_id, Walk(d, handle, u"id", false, 3));

  CNASession* session = d->pclFindSession(handle);
  ASSERT_NE(nullptr, session);
  EXPECT_EQ(1, session->nGetQueryIndicator());
  EXPECT_FALSE(session->bIsRawSQL());
  EXPECT_EQ(0u, session->m_nFlags & kNASessionJoin);
  ReleaseBoth(session);
}

// A query's host items bound to its result columns: a binary memo bound to
// a text item becomes a memo text, and a text item shorter than its column
// still reads the column's whole value.
TEST_F(QueryOnServer, TextItemsOfAQueryHoldTheirColumnsWholeValues) {
  ASSERT_TRUE(Sql("CREATE TABLE m (id INT PRIMARY KEY, body BLOB, note VARCHAR(40), "
                  "raw VARBINARY(8), bytes BLOB); "
                  "INSERT INTO m VALUES (1, REPEAT('x', 30), 'a note longer than its item', "
                  "X'00FF41', X'4100FF00'), "
                  "(2, CONCAT('caf', _utf8mb4 X'C3A9', ' au lait'), 'b', X'', X'')"));
  auto* handle = new qghost::FileDescription(u"M", 1);
  auto add = [&](const char16_t* name, int type, int size) {
    qghost::FileDescription::Item item;
    item.name = name;
    item.item.bHasSource = true;
    item.item.nColumnType = type;
    item.item.nSize = size;
    handle->items.push_back(item);
  };
  add(u"id", kNAColInt4, 4);
  add(u"body", kNAColVarChar, 9);
  add(u"note", kNAColVarChar, 6);
  add(u"raw", kNAColVarBinary, 8);
  add(u"bytes", kNAColBlob, 0);
  std::string parse_error;
  ASSERT_TRUE(handle->bSetQuery(u"SELECT id, body, note, raw, bytes FROM m ORDER BY id", false,
                                nullptr,
                                &parse_error))
      << parse_error;
  CNADispatcher* d = nullptr;
  INAError* slot = nullptr;
  bool ok = manager_->bOpenTable(&description_, handle, 0, &d, &slot);
  if (!ok || d == nullptr) {
    delete handle;
    FAIL() << TakeMessage(slot);
  }
  opened_.push_back({handle, d});
  ASSERT_TRUE(d->bRead(handle, reinterpret_cast<intptr_t>(u"M"), kNAReadFirst, 0, 1, 0, 0, &slot))
      << TakeMessage(slot);
  auto text = [&](int n) {
    CAny value;
    EXPECT_TRUE(d->bReadItemValue(handle, n, reinterpret_cast<intptr_t>(&value), &slot))
        << TakeMessage(slot);
    CXYString<char16_t> t;
    if (!value.bEstNull()) value.nGetTexte(&t);
    return value.bEstNull() ? std::string("NULL") : Narrow(t.pszGet());
  };
  EXPECT_EQ("a note longer than its item", text(2));
  // A memo text read from a binary memo holds the text as stored; binary
  // items hold the bytes.
  auto bytes = [&](int n) {
    CAny value;
    EXPECT_TRUE(d->bReadItemValue(handle, n, reinterpret_cast<intptr_t>(&value), &slot))
        << TakeMessage(slot);
    const void* data = nullptr;
    int size = 0;
    if (value.bEstNull() || value.pclHolder()->vnGetTexte(&data) != qg::kAnyOk ||
        value.pclHolder()->vnGetTailleSansFin(&size) != qg::kAnyOk) {
      return std::string("not bytes");
    }
    return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
  };
  EXPECT_EQ(std::string(30, 'x'), text(1));
  EXPECT_EQ(std::string("\0\xFF\x41", 3), bytes(3));
  EXPECT_EQ(std::string("\x41\0\xFF\0", 4), bytes(4));
  ASSERT_TRUE(d->bRead(handle, reinterpret_cast<intptr_t>(u"M"), kNAReadNext, 0, 1, 0, 0, &slot))
      << TakeMessage(slot);
  CAny second;
  ASSERT_TRUE(d->bReadItemValue(handle, 1, reinterpret_cast<intptr_t>(&second), &slot))
      << TakeMessage(slot);
  CXYString<char16_t> wide;
  second.nGetTexte(&wide);
  EXPECT_EQ(std::u16string(u"caf\u00E9 au lait"), std::u16string(wide.pszGet()));
  EXPECT_EQ("", bytes(3));
  EXPECT_EQ("", bytes(4));
  // The binary memo is bound as a memo text.
  CNASession* session = d->pclFindSession(handle);
  ASSERT_NE(nullptr, session);
  auto* logical = static_cast<CNAFileDescription*>(session->pclGetLogical());
  ASSERT_NE(nullptr, logical);
  CNAItem* body = logical->pclFindItemByName(u"body");
  ASSERT_TRUE(body != nullptr && body->pclGetColumn() != nullptr);
  EXPECT_EQ(kNAColText, body->pclGetColumn()->nGetType());
  ReleaseBoth(session);
}

TEST_F(QueryOnServer, AQueryEndingInItsOwnLimitGetsNoSecondOne) {
  // Fetches of 3 rows would add a LIMIT of their own; the query's stays
  // alone and its 5 rows come whole.
  const char* sql = "SELECT id, b FROM t WHERE a = 2 ORDER BY id LIMIT 5";
  std::vector<std::string> expected = ServerRows(sql);
  ASSERT_EQ(5u, expected.size());
  description_.cache_size = 3;
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(u"LIMITED", Wide(sql), false, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  EXPECT_EQ(expected, Walk(d, handle, u"LIMITED", false, 2));
  // Backwards: the same rows (the LIMIT is not applied to the reversed
  // order).
  EXPECT_EQ(std::vector<std::string>(expected.rbegin(), expected.rend()),
            Walk(d, handle, u"LIMITED", true, 2));
}

TEST_F(QueryOnServer, RawSqlTextIsReadOverItsResultBothWays) {
  const char* sql = "SELECT b, COUNT(*) AS n FROM t GROUP BY b ORDER BY n DESC, b";
  std::vector<std::string> expected = ServerRows(sql);
  ASSERT_EQ(3u, expected.size());
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(u"RAW", Wide(sql), true, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  EXPECT_EQ(1, handle->GetQuery().nHasColumns);
  EXPECT_EQ(3, handle->GetQuery().nRowCount);
  EXPECT_EQ(expected, Walk(d, handle, u"RAW", false, 2));
  EXPECT_EQ(std::vector<std::string>(expected.rbegin(), expected.rend()),
            Walk(d, handle, u"RAW", true, 2));
  CNASession* session = d->pclFindSession(handle);
  ASSERT_NE(nullptr, session);
  EXPECT_TRUE(session->bIsRawSQL());
  // The raw text's object answers to the handle's name.
  CNATableAccess* access = session->pclFindTableAccess(u"RAW");
  EXPECT_NE(nullptr, access);
  if (access != nullptr) ReleaseBoth(access);
  ReleaseBoth(session);
}

// A query ordered on what it does not select (a column outside its select
// list, an expression) is read in its own ORDER BY, made total by its key,
// both ways and in fetches of any size.
TEST_F(QueryOnServer, AQueryOrderedOnWhatItDoesNotSelectIsReadInItsOwnOrder) {
  struct Case {
    const char* sql;
    const char* reference;  // the same rows in the order made total
  } cases[] = {
      {"SELECT id, b FROM t ORDER BY a DESC, id", "SELECT id, b FROM t ORDER BY a DESC, id"},
      {"SELECT id, b FROM t WHERE id > 3 ORDER BY b, a", "SELECT id, b FROM t WHERE id > 3 "
                                                        "ORDER BY b, a, id"},
      {"SELECT id, a FROM t ORDER BY IFNULL(a, 9) % 3, id", "SELECT id, a FROM t "
                                                            "ORDER BY IFNULL(a, 9) % 3, id"},
  };
  ASSERT_TRUE(Sql("UPDATE t SET a = NULL WHERE id % 7 = 0"));
  for (int64_t fetch : {int64_t{-2}, int64_t{1}, int64_t{4}}) {
    description_.cache_size = fetch;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.sql) + " by " + std::to_string(fetch));
      const std::vector<std::string> expected = ServerRows(c.reference);
      ASSERT_FALSE(expected.empty());
      qghost::FileDescription* handle = nullptr;
      std::string failure;
      CNADispatcher* d = OpenQuery(u"ORDERED", Wide(c.sql), false, &handle, &failure);
      ASSERT_NE(nullptr, d) << failure;
      EXPECT_EQ(expected, Walk(d, handle, u"ORDERED", false, 2));
      EXPECT_EQ(std::vector<std::string>(expected.rbegin(), expected.rend()),
                Walk(d, handle, u"ORDERED", true, 2));
    }
  }
}

// A first or last read of raw SQL by its name without the cache flag reads
// the rows as they are now (the text runs again, client-side keys then
// over the new rows); with it, the rows held. A text that is no SELECT
// never runs again.
TEST_F(QueryOnServer, RawSqlReadFromAnEndWithoutTheCacheRunsItsSelectAgain) {
  const char* sql = "SELECT id, b FROM t WHERE id > 27";
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(u"FRESH", Wide(sql), true, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  ASSERT_TRUE(Sql("INSERT INTO t VALUES (31, 3, 'b3')"));
  // The first read after the open goes on with the rows the open read.
  EXPECT_EQ((std::vector<std::string>{"28\tb1", "29\tb2", "30\tb0"}),
            Walk(d, handle, u"FRESH", false, 2));
  const std::vector<std::string> now{"28\tb1", "29\tb2", "30\tb0", "31\tb3"};
  EXPECT_EQ(now, Walk(d, handle, u"FRESH", false, 2));
  ASSERT_TRUE(Sql("DELETE FROM t WHERE id = 29"));
  EXPECT_EQ(now, Walk(d, handle, u"FRESH", false, 2, 0x2000));  // the rows held
  const std::vector<std::string> after{"31\tb3", "30\tb0", "28\tb1"};
  EXPECT_EQ(after, Walk(d, handle, u"FRESH", true, 2));
  // Along a client-side key: over the rows the text gave when it last ran,
  // until it runs again.
  const std::vector<std::string> by_b{"30\tb0", "28\tb1", "31\tb3"};
  EXPECT_EQ(by_b, Walk(d, handle, u"b", false, 2));
  ASSERT_TRUE(Sql("UPDATE t SET b = 'a' WHERE id = 31"));
  EXPECT_EQ(by_b, Walk(d, handle, u"b", false, 2));
  INAError* slot = nullptr;
  const auto along_b = reinterpret_cast<intptr_t>(u"b");
  const auto own = reinterpret_cast<intptr_t>(u"FRESH");
  ASSERT_TRUE(d->bRead(handle, along_b, kNAReadFirst, 0, 1, 0, 0, &slot)) << TakeMessage(slot);
  ASSERT_TRUE(d->bRead(handle, own, kNAReadFirst, 0, 1, 0, 0, &slot)) << TakeMessage(slot);
  // The walk along b stood on a record of the rows gone: it goes on from
  // nowhere (no silent start again), until it reads from an end.
  EXPECT_FALSE(d->bRead(handle, along_b, kNAReadNext, 0, 1, 0, 0, &slot));
  EXPECT_NE("", TakeMessage(slot));
  EXPECT_EQ((std::vector<std::string>{"31\ta", "30\tb0", "28\tb1"}),
            Walk(d, handle, u"b", false, 2));

  // The connection killed by another client: the text cannot run again,
  // and no move goes on from the rows held until a read from an end could.
  for (const std::string& id :
       ServerRows("SELECT ID FROM information_schema.PROCESSLIST WHERE DB = DATABASE() AND "
                  "ID <> CONNECTION_ID() AND COMMAND <> 'Daemon'")) {
    Sql("KILL " + id);
  }
  EXPECT_FALSE(d->bRead(handle, own, kNAReadFirst, 0, 1, 0, 0, &slot));
  EXPECT_NE("", TakeMessage(slot));
  EXPECT_FALSE(d->bRead(handle, own, kNAReadNext, 0, 1, 0, 0, &slot));
  EXPECT_NE("", TakeMessage(slot));
  // The next read from an end runs it on a new connection.
  EXPECT_EQ((std::vector<std::string>{"28\tb1", "30\tb0", "31\ta"}),
            Walk(d, handle, u"FRESH", false, 2));

  // A procedure that writes: it ran at the open and runs no more.
  ASSERT_TRUE(Sql("CREATE TABLE log (n INT)"));
  {
    qghost::ConnectionDescription admin;
    admin.owned_by_count = false;
    CNAConnectionMariaDB* connection = nullptr;
    ASSERT_TRUE(qg::rig::OpenOnSocket(manager_, &admin, database_.Name(), &connection));
    qg::rig::RunOnConnection(connection,
                             "CREATE PROCEDURE p() BEGIN INSERT INTO log VALUES (1); "
                             "SELECT id FROM t WHERE id < 3 ORDER BY id; END");
    manager_->bReleaseConnection(connection);
  }
  CNADispatcher* p = OpenQuery(u"CALLED", u"CALL p()", true, &handle, &failure);
  ASSERT_NE(nullptr, p) << failure;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ((i == 1 ? std::vector<std::string>{"2", "1"} : std::vector<std::string>{"1", "2"}),
              Walk(p, handle, u"CALLED", i == 1, 1));
  }
  EXPECT_EQ(std::vector<std::string>{"1"}, ServerRows("SELECT COUNT(*) FROM log"));
}

// Read flag 0x20000 names the query's own order, whatever name comes with
// it: the read follows the query's ORDER BY (both ways, in fetches) and
// the object records the name its result gives the first ORDER BY column.
TEST_F(QueryOnServer, TheQuerysOwnNameFlagReadsInItsOrderAndRecordsItsColumn) {
  struct Case {
    const char* sql;
    const char* recorded;
  } cases[] = {
      {"SELECT id, a, b FROM t WHERE a >= 1 ORDER BY a DESC, id", "a"},
      {"SELECT b, id FROM t WHERE id < 20 ORDER BY b, id DESC", "b"},
  };
  description_.cache_size = 4;
  for (const Case& c : cases) {
    std::vector<std::string> expected = ServerRows(c.sql);
    ASSERT_FALSE(expected.empty());
    qghost::FileDescription* handle = nullptr;
    std::string failure;
    CNADispatcher* d = OpenQuery(u"OWN", Wide(c.sql), false, &handle, &failure);
    ASSERT_NE(nullptr, d) << failure;
    const int columns = static_cast<int>(std::count(expected[0].begin(), expected[0].end(), '\t')) + 1;
    EXPECT_EQ(expected, Walk(d, handle, u"by its order", false, columns, 0x20000)) << c.sql;
    EXPECT_EQ(std::vector<std::string>(expected.rbegin(), expected.rend()),
              Walk(d, handle, u"by its order", true, columns, 0x20000))
        << c.sql;
    CNASession* session = d->pclFindSession(handle);
    ASSERT_NE(nullptr, session);
    CNARefPtr<CNASession> hold(session);
    CNATableAccess* access = session->pclFindTableAccess(u"by its order");
    ASSERT_NE(nullptr, access);
    EXPECT_EQ(c.recorded, Narrow(access->pszGetRecordedName())) << c.sql;
    ReleaseBoth(access);
    // The query's description knows its result through the session's
    // logical description.
    ASSERT_NE(nullptr, session->pclGetQuery());
    EXPECT_EQ(session->pclGetLogical(),
              static_cast<CNARefCounted*>(session->pclGetQuery()->pclGetLogicalDescription()));
  }
}

TEST_F(QueryOnServer, StatementsThatChangeRowsRunOnceAtTheOpen) {
  struct Case {
    const char16_t* text;
    bool raw;
    int64_t changed;
    const char* check;
    const char* expected;
  } cases[] = {
      {u"UPDATE t SET b = 'up' WHERE id <= 3", false, 3,
       "SELECT COUNT(*) FROM t WHERE b = 'up'", "3"},
      {u"DELETE FROM t WHERE id > 28", false, 2, "SELECT COUNT(*) FROM t", "28"},
      {u"INSERT INTO t (id, a, b) VALUES (100, NULL, 'raw')", true, 1,
       "SELECT COUNT(*) FROM t WHERE id = 100", "1"},
  };
  for (const Case& c : cases) {
    qghost::FileDescription* handle = nullptr;
    std::string failure;
    CNADispatcher* d = OpenQuery(u"CHANGE", c.text, c.raw, &handle, &failure);
    ASSERT_NE(nullptr, d) << Narrow(c.text) << ": " << failure;
    EXPECT_EQ(0, handle->GetQuery().nHasColumns) << Narrow(c.text);
    EXPECT_EQ(c.changed, handle->GetQuery().nRowCount) << Narrow(c.text);
    EXPECT_EQ(std::vector<std::string>{c.expected}, ServerRows(c.check)) << Narrow(c.text);
  }
}

TEST_F(QueryOnServer, AJoinIsMarkedAndAnUnreadableQueryFails) {
  ASSERT_TRUE(Sql("CREATE TABLE u (id INT PRIMARY KEY, label VARCHAR(8))"
                  "; INSERT INTO u VALUES (1, 'one'), (2, 'two')"));
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(
      u"J", u"SELECT t.id, u.label FROM t join u ON u.id = t.id ORDER BY t.id", false, &handle,
      &failure);
  ASSERT_NE(nullptr, d) << failure;
  EXPECT_EQ((std::vector<std::string>{"1\tone", "2\ttwo"}), Walk(d, handle, u"J", false, 2));
  CNASession* session = d->pclFindSession(handle);
  ASSERT_NE(nullptr, session);
  EXPECT_NE(0u, session->m_nFlags & kNASessionJoin);
  ReleaseBoth(session);

  // The server refuses the text: the open fails with its message.
  EXPECT_EQ(nullptr, OpenQuery(u"BAD", u"SELECT nothing FROM missing_table", true, &handle,
                               &failure));
  EXPECT_NE(std::string::npos, failure.find("missing_table")) << failure;
}

// The items of a parsed query's description are named as the query
// qualifies them: its source's alias and the column, quoted. Raw SQL
// names none.
TEST_F(QueryOnServer, ItemsOfAParsedQueryTakeTheirQualifiedNames) {
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(u"QN", u"SELECT a1.id, a1.b FROM t AS a1 WHERE a1.id > 25", false,
                               &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  CNASession* session = d->pclFindSession(handle);
  ASSERT_NE(nullptr, session);
  CNARefPtr<CNASession> hold(session);
  auto* logical = static_cast<CNAFileDescription*>(session->pclGetLogical());
  ASSERT_NE(nullptr, logical);
  for (const char16_t* name : {u"id", u"b"}) {
    CNAItem* item = logical->pclFindItemByName(name);
    ASSERT_NE(nullptr, item) << Narrow(name);
    EXPECT_EQ("`a1`.`" + Narrow(name) + "`", Narrow(item->pszGetQualifiedName(false)));
    EXPECT_EQ(Narrow(name), Narrow(item->pszGetQualifiedName(true)));
  }
}

TEST_F(QueryOnServer, InternalQueryGivesItsResultObject) {
  qghost::FileDescription file(u"t", 1);
  CNAError error;
  CNAConnection* connection = manager_->pclResolveConnection(&description_, &error);
  ASSERT_NE(nullptr, connection) << Narrow(error.pszGetMessage());
  CNASession* session =
      static_cast<CNASession*>(manager_->pclNewSession(&file, connection, nullptr));
  ASSERT_NE(nullptr, session);
  AddRefBoth(session);
  CNATableAccess* access = nullptr;
  ASSERT_TRUE(session->bGetInternalQuery(&access, u"SELECT MAX(id) * 2 FROM t", &error))
      << Narrow(error.pszGetMessage());
  ASSERT_NE(nullptr, access);
  CAny value;
  ASSERT_TRUE(access->pclGetResult()->bGetColumnAsText(value, 0, &error));
  CXYString<char16_t> text;
  value.nGetTexte(&text);
  EXPECT_EQ("60", Narrow(text.pszGet()));
  ReleaseBoth(access);
  ReleaseBoth(session);
  manager_->bReleaseConnection(connection);
}

}  // namespace
