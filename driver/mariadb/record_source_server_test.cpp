// The record source of a session against the binary's private server: a raw
// query's result, read whole, is the record set of client-side keys, so that
// reading the handle along one of its columns gives the server's ORDER BY on
// that column (NULL, binary, date and text keys, tables without key); it is
// made again when dropped and let go when the query runs again. Table
// creation answers its key-range check and tells a failed plain index; a
// query's records are deleted one by one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/dispatcher.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/host_table_fixture.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/record_source.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/table_access.h"
#include "driver/sql/column.h"
#include "host/core/driver_objects.h"
#include "support/any.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

using qg::rig::Narrow;
using qg::rig::TakeMessage;
using qg::rig::Wide;

class RecordSourceOnServer : public qg::rig::HostTableServerTest {
 protected:
  // Opens a handle standing for the query as the host does (manager
  // slot 36); null and the driver's message on failure.
  CNADispatcher* OpenQuery(const char16_t* name, const std::string& text, bool raw,
                           qghost::FileDescription** out, std::string* failure = nullptr) {
    auto* handle = new qghost::FileDescription(name, 1);
    std::string parse_error;
    EXPECT_TRUE(handle->bSetQuery(Wide(text.c_str()), raw, nullptr, &parse_error)) << parse_error;
    CNADispatcher* dispatcher = nullptr;
    INAError* slot = nullptr;
    bool ok = manager_->bOpenTable(description_, handle, 0, &dispatcher, &slot);
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
  // previous), as the server prints them (NULL as NULL, binary in hex).
  // A failed read ends the walk, its message in *failure.
  static std::vector<std::string> Walk(CNADispatcher* d, qghost::FileDescription* h,
                                       const char16_t* name, bool backward, int columns,
                                       std::string* failure = nullptr, intptr_t flags = 0) {
    std::vector<std::string> rows;
    INAError* slot = nullptr;
    auto key = reinterpret_cast<intptr_t>(name);
    intptr_t direction = backward ? kNAReadLast : kNAReadFirst;
    for (int guard = 0; guard < 1000; ++guard) {
      int32_t at_end = 0;
      if (!d->bRead(h, key, direction, flags, 1, 0, 0, &slot) ||
          !d->bIsAtEnd(h, key, reinterpret_cast<intptr_t>(&at_end), &slot)) {
        std::string message = TakeMessage(slot);
        if (failure != nullptr) {
          *failure = message;
        } else {
          ADD_FAILURE() << message;
        }
        break;
      }
      if (at_end != 0) break;
      std::string line;
      for (int i = 0; i < columns; ++i) {
        CAny value;
        EXPECT_TRUE(d->bReadItemValue(h, i, reinterpret_cast<intptr_t>(&value), &slot))
            << TakeMessage(slot);
        line += i > 0 ? "\t" : "";
        if (value.bEstNull()) {
          line += "NULL";
          continue;
        }
        int type = value.nGetCode();
        if (type == qg::kAnyBIN || type == qg::kAnyBUFFER) {
          const void* bytes = nullptr;
          int size = 0;
          value.pclHolder()->vnGetTexte(&bytes);
          value.pclHolder()->vnGetTailleSansFin(&size);
          static const char kHex[] = "0123456789ABCDEF";
          for (int b = 0; b < size; ++b) {
            unsigned char c = static_cast<const unsigned char*>(bytes)[b];
            line += kHex[c >> 4];
            line += kHex[c & 15];
          }
          continue;
        }
        CXYString<char16_t> text;
        value.nGetTexte(&text);
        line += Narrow(text.pszGet());
      }
      rows.push_back(line);
      direction = backward ? kNAReadPrevious : kNAReadNext;
    }
    return rows;
  }
  static std::vector<std::string> Reversed(std::vector<std::string> rows) {
    return std::vector<std::string>(rows.rbegin(), rows.rend());
  }
};

TEST_F(RecordSourceOnServer, ARawQueryReadsAlongClientSideKeysInTheServersOrder) {
  // k: duplicates and NULLs; d: dates and NULLs; b: one to four bytes,
  // high bit included, many that differ only after a zero byte; s: texts of
  // one letter case.
  ASSERT_TRUE(Sql(
      "CREATE TABLE t (id INT PRIMARY KEY, k INT NULL, d DATE NULL, b VARBINARY(4) NULL, "
      "s VARCHAR(10) NULL); "
      "INSERT INTO t SELECT seq, IF(seq % 7 = 0, NULL, seq % 5), "
      "IF(seq % 6 = 0, NULL, DATE_ADD('1999-12-30', INTERVAL (seq * 37) % 400 DAY)), "
      "IF(seq % 9 = 0, NULL, UNHEX(CONCAT(ELT(1 + seq % 4, '00', '41', 'FF', '7F'), "
      "ELT(1 + (seq DIV 4) % 5, '', '00', '0041', '004142', '004143')))), "
      "IF(seq % 8 = 0, NULL, CONCAT('w', (seq * 13) % 17)) FROM seq_1_to_60"));
  // Dates read in the compact form.
  const std::string columns = "SELECT id, k, DATE_FORMAT(d, '%Y%m%d'), HEX(b), s FROM t";
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d =
      OpenQuery(u"RAW", "SELECT id, k, d, b, s FROM t ORDER BY id", true, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  // The query's own name reads the result as the server gave it.
  EXPECT_EQ(ServerRows(columns + " ORDER BY id"), Walk(d, handle, u"RAW", false, 5));
  struct Case {
    const char16_t* key;
    const char* order;
  } cases[] = {{u"k", "k, id"}, {u"d", "d, id"}, {u"b", "b, id"}, {u"s", "s, id"},
               {u"ID", "id"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.key));
    std::vector<std::string> expected = ServerRows(columns + " ORDER BY " + c.order);
    ASSERT_EQ(60u, expected.size());
    EXPECT_EQ(expected, Walk(d, handle, c.key, false, 5));
    EXPECT_EQ(Reversed(expected), Walk(d, handle, c.key, true, 5));
  }
  // Walks along two keys go on side by side, each from its own record.
  INAError* slot = nullptr;
  auto k = reinterpret_cast<intptr_t>(u"k");
  auto s = reinterpret_cast<intptr_t>(u"s");
  ASSERT_TRUE(d->bRead(handle, k, kNAReadFirst, 0, 1, 0, 0, &slot)) << TakeMessage(slot);
  ASSERT_TRUE(d->bRead(handle, s, kNAReadLast, 0, 1, 0, 0, &slot)) << TakeMessage(slot);
  ASSERT_TRUE(d->bRead(handle, k, kNAReadNext, 0, 1, 0, 0, &slot)) << TakeMessage(slot);
  CAny id;
  ASSERT_TRUE(d->bReadItemValue(handle, 0, reinterpret_cast<intptr_t>(&id), &slot));
  CXYString<char16_t> text;
  id.nGetTexte(&text);
  EXPECT_EQ(ServerRows("SELECT id FROM t ORDER BY k, id LIMIT 1, 1"),
            std::vector<std::string>{Narrow(text.pszGet())});

  // A name that is no column of the result: the read fails and says so.
  std::string unknown;
  EXPECT_TRUE(Walk(d, handle, u"nowhere", false, 5, &unknown).empty());
  EXPECT_NE(std::string::npos, unknown.find("nowhere")) << unknown;
}

TEST_F(RecordSourceOnServer, ATableWithoutKeyAndAnotherConnectionWriting) {
  ASSERT_TRUE(Sql("CREATE TABLE u (a INT NULL, b VARCHAR(5) NULL); "
                  "INSERT INTO u VALUES (3, 'x'), (1, NULL), (2, 'x'), (NULL, 'a'), (1, 'b')"));
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(u"NOKEY", "SELECT a, b FROM u", true, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  const std::vector<std::string> by_a = {"NULL\ta", "1\tNULL", "1\tb", "2\tx", "3\tx"};
  EXPECT_EQ(by_a, Walk(d, handle, u"a", false, 2));
  // Another connection writes: the handle reads the result it was given
  // until the query runs again.
  ASSERT_TRUE(Sql("INSERT INTO u VALUES (0, 'new'); DELETE FROM u WHERE a = 3"));
  EXPECT_EQ(by_a, Walk(d, handle, u"a", false, 2));
  EXPECT_EQ((std::vector<std::string>{"x\t2", "x\t3", "b\t1", "a\tNULL", "NULL\t1"}),
            [&] {
              std::vector<std::string> rows;
              for (const std::string& row : Walk(d, handle, u"b", true, 2)) {
                size_t tab = row.find('\t');
                rows.push_back(row.substr(tab + 1) + "\t" + row.substr(0, tab));
              }
              return rows;
            }());
  CNADispatcher* again = OpenQuery(u"NOKEY2", "SELECT a, b FROM u", true, &handle, &failure);
  ASSERT_NE(nullptr, again) << failure;
  EXPECT_EQ((std::vector<std::string>{"NULL\ta", "0\tnew", "1\tNULL", "1\tb", "2\tx"}),
            Walk(again, handle, u"a", false, 2));
}

TEST_F(RecordSourceOnServer, TheSessionMakesDropsAndRemakesItsRecordSource) {
  ASSERT_TRUE(Sql("CREATE TABLE t (id INT PRIMARY KEY, k INT); "
                  "INSERT INTO t SELECT seq, 10 - seq FROM seq_1_to_9"));
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(u"Q", "SELECT id, k FROM t", true, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  CNASession* session = d->pclFindSession(handle);
  ASSERT_NE(nullptr, session);
  CNARefPtr<CNASession> hold(session);
  CNATableAccess* text = session->pclFindTableAccess(u"Q");
  ASSERT_NE(nullptr, text);
  CNARefPtr<CNATableAccess> hold_text(text);
  // The open made it for the object holding the result.
  auto* source = static_cast<CNARecordSource*>(session->pclGetRecordSource());
  ASSERT_NE(nullptr, source);
  EXPECT_TRUE(source->bIsBoundTo(text));
  const std::vector<std::string> by_k = ServerRows("SELECT id, k FROM t ORDER BY k");
  EXPECT_EQ(by_k, Walk(d, handle, u"k", false, 2));
  // Read along the key, it was opened: it holds the record set now.
  EXPECT_TRUE(source->bIsOpen());
  EXPECT_FALSE(source->bIsBoundTo(text));
  CNATableAccess* keyed = session->pclFindTableAccess(u"k");
  ASSERT_NE(nullptr, keyed);
  CNARefPtr<CNATableAccess> hold_keyed(keyed);
  EXPECT_TRUE(keyed->bReadsThroughIndex());
  INAError* slot = nullptr;
  EXPECT_TRUE(d->bCheckRecordSource(handle, 1, &slot)) << TakeMessage(slot);

  // Dropping it for an object it was not made for leaves it alone.
  session->DropRecordSourceOf(keyed);
  EXPECT_EQ(source, session->pclGetRecordSource());
  // For its own object it goes, and the reads along its index end.
  session->DropRecordSourceOf(text);
  EXPECT_EQ(nullptr, session->pclGetRecordSource());
  EXPECT_FALSE(keyed->bReadsThroughIndex());
  EXPECT_FALSE(keyed->bIsPositionValid());
  // The next read along the key makes a new one over the same result.
  EXPECT_EQ(by_k, Walk(d, handle, u"k", false, 2));
  ASSERT_NE(nullptr, session->pclGetRecordSource());

  // The host drops it (dispatcher slot 59): the same again, and the check
  // of a session without record source answers 1.
  EXPECT_TRUE(d->bDropRecordSourceIfAny(handle, &slot)) << TakeMessage(slot);
  EXPECT_EQ(nullptr, session->pclGetRecordSource());
  EXPECT_TRUE(d->bCheckRecordSource(handle, 3, &slot)) << TakeMessage(slot);
  EXPECT_EQ(Reversed(by_k), Walk(d, handle, u"k", true, 2));

  // Renewed, it starts unbound; a renewal that cannot keep it is an
  // out-of-memory error (not reachable here), so only the main path.
  CNAError error;
  ASSERT_TRUE(session->bRenewRecordSource(text, &error)) << Narrow(error.pszGetMessage());
  auto* renewed = static_cast<CNARecordSource*>(session->pclGetRecordSource());
  ASSERT_NE(nullptr, renewed);
  EXPECT_TRUE(renewed->bIsEmpty());
  EXPECT_FALSE(keyed->bReadsThroughIndex());
}

// A count with flag 0x10 is answered by the record set the record source
// holds, without SQL: what the query gave, not the rows another connection
// added since.
TEST_F(RecordSourceOnServer, ACountWithoutSQLIsTheRecordSetsOwn) {
  ASSERT_TRUE(Sql("CREATE TABLE t (id INT PRIMARY KEY, k INT); "
                  "INSERT INTO t SELECT seq, seq % 4 FROM seq_1_to_9"));
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(u"Q", "SELECT id, k FROM t", true, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  CNASession* session = d->pclFindSession(handle);
  ASSERT_NE(nullptr, session);
  CNARefPtr<CNASession> hold(session);
  ASSERT_EQ(9u, Walk(d, handle, u"k", false, 2).size());
  ASSERT_NE(nullptr, session->pclGetRecordSource());
  ASSERT_TRUE(Sql("INSERT INTO t VALUES (10, 1)"));
  CNAError error;
  int64_t count = -1;
  ASSERT_TRUE(session->bCount(0x10, nullptr, -1, &count, &error)) << Narrow(error.pszGetMessage());
  EXPECT_EQ(9, count);
  EXPECT_EQ(std::vector<std::string>{"10"}, ServerRows("SELECT COUNT(*) FROM t"));
}

TEST_F(RecordSourceOnServer, AParsedQueryReadWithTheCacheFlagsGoesAlongClientSideKeys) {
  ASSERT_TRUE(Sql("CREATE TABLE t (id INT PRIMARY KEY, k INT NULL, s VARCHAR(8) NOT NULL); "
                  "INSERT INTO t SELECT seq, IF(seq % 6 = 0, NULL, seq % 4), "
                  "CONCAT('s', LPAD((seq * 7) % 41, 2, '0')) FROM seq_1_to_40"));
  const std::string query = "SELECT id, k, s FROM t WHERE id > 4";
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(u"PQ", query, false, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  CNASession* session = d->pclFindSession(handle);
  ASSERT_NE(nullptr, session);
  CNARefPtr<CNASession> hold(session);
  // 0x4000: the object read along k gets the record source and keeps the
  // rows of its SELECT (the server's order).
  EXPECT_EQ(ServerRows(query + " ORDER BY k, id"),
            Walk(d, handle, u"k", false, 3, nullptr, 0x4000));
  auto* source = static_cast<CNARecordSource*>(session->pclGetRecordSource());
  ASSERT_NE(nullptr, source);
  CNATableAccess* by_k = session->pclFindTableAccess(u"k");
  ASSERT_NE(nullptr, by_k);
  CNARefPtr<CNATableAccess> hold_k(by_k);
  EXPECT_TRUE(source->bIsBoundTo(by_k));

  // 0x2000 as well: along s the rows k's object holds serve, ordered on
  // the client; no SELECT reaches the server.
  // (Asking the server for the count counts as one.)
  auto selects = [&] {
    std::vector<std::string> row = ServerRows("SHOW GLOBAL STATUS LIKE 'Com_select'");
    return row.size() == 1 ? std::stoll(row[0].substr(row[0].find('\t') + 1)) : -1;
  };
  const long long start = selects();
  const long long idle = selects() - start;
  const long long before = selects();
  std::vector<std::string> by_s = Walk(d, handle, u"s", true, 3, nullptr, 0x6000);
  EXPECT_EQ(idle, selects() - before);
  EXPECT_EQ(Reversed(ServerRows(query + " ORDER BY s")), by_s);
  EXPECT_TRUE(source->bIsOpen());
  CNATableAccess* along_s = session->pclFindTableAccess(u"s");
  ASSERT_NE(nullptr, along_s);
  CNARefPtr<CNATableAccess> hold_s(along_s);
  EXPECT_TRUE(along_s->bReadsThroughIndex());

  // Without those flags the server orders the rows again.
  EXPECT_EQ(ServerRows(query + " ORDER BY k DESC, id DESC"), Walk(d, handle, u"k", true, 3));
}

// A walk along a client-side key over the record set sees the session's own
// writes: a record added, a record whose key value changed (at its new
// place), a record deleted; and the server is not asked for the rows again.
TEST_F(RecordSourceOnServer, AClientSideKeySeesTheSessionsWrites) {
  ASSERT_TRUE(Sql("CREATE TABLE t (id INT PRIMARY KEY, k INT NULL, s VARCHAR(8) NOT NULL); "
                  "INSERT INTO t SELECT seq, seq % 3, CONCAT('s', (seq * 7) % 10) "
                  "FROM seq_1_to_8"));
  const std::string query = "SELECT id, k, s FROM t";
  qghost::FileDescription* h = nullptr;
  std::string failure;
  CNADispatcher* d = OpenQuery(u"PQ", query, false, &h, &failure);
  ASSERT_NE(nullptr, d) << failure;
  ASSERT_EQ(ServerRows(query + " ORDER BY k, id"), Walk(d, h, u"k", false, 3, nullptr, 0x4000));
  ASSERT_EQ(ServerRows(query + " ORDER BY s, id"), Walk(d, h, u"s", false, 3, nullptr, 0x6000));
  INAError* slot = nullptr;
  auto read = [&](int32_t direction) {
    int32_t at_end = 0;
    EXPECT_TRUE(d->bRead(h, reinterpret_cast<intptr_t>(u"s"), direction, 0x6000, 1, 0, 0, &slot))
        << TakeMessage(slot);
    d->bIsAtEnd(h, reinterpret_cast<intptr_t>(u"s"), reinterpret_cast<intptr_t>(&at_end), &slot);
    return at_end == 0;
  };
  auto set = [&](int item, const char16_t* text) {
    CAny value;
    value.SetPSTRW(text);
    EXPECT_TRUE(d->bWriteItemValue(h, item, reinterpret_cast<intptr_t>(&value), &slot))
        << TakeMessage(slot);
  };
  auto along_s = [&] {
    return ServerRows(query + " ORDER BY s, id");
  };
  // Modify of the key: the first record along s goes last.
  ASSERT_TRUE(read(kNAReadFirst));
  set(2, u"zz");
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << TakeMessage(slot);
  EXPECT_EQ(along_s(), Walk(d, h, u"s", false, 3, nullptr, 0x6000));
  // Delete: the second record along s is gone.
  ASSERT_TRUE(read(kNAReadFirst));
  ASSERT_TRUE(read(kNAReadNext));
  ASSERT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << TakeMessage(slot);
  EXPECT_EQ(along_s(), Walk(d, h, u"s", false, 3, nullptr, 0x6000));
  // Add: the new record stands at its place along s.
  set(0, u"100");
  set(1, u"1");
  set(2, u"s45");
  ASSERT_TRUE(d->bAdd(h, 0, 0, &slot)) << TakeMessage(slot);
  EXPECT_EQ(along_s(), Walk(d, h, u"s", false, 3, nullptr, 0x6000));
  EXPECT_EQ(Reversed(along_s()), Walk(d, h, u"s", true, 3, nullptr, 0x6000));
  // Records written before are written again by what names them now: the
  // added one, and one modified twice outside its key.
  ASSERT_TRUE(read(kNAReadFirst));
  ASSERT_TRUE(read(kNAReadNext));
  set(1, u"2");
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << TakeMessage(slot);
  for (const char16_t* k : {u"7", u"8"}) {
    ASSERT_TRUE(read(kNAReadFirst));
    set(1, k);
    ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << TakeMessage(slot);
  }
  EXPECT_EQ((std::vector<std::string>{"6\t8\ts2", "100\t2\ts45"}),
            ServerRows("SELECT id, k, s FROM t WHERE id IN (6, 100) ORDER BY id"));
  EXPECT_EQ(along_s(), Walk(d, h, u"s", false, 3, nullptr, 0x6000));
}

TEST_F(RecordSourceOnServer, AnInternalQueryMakesNoRecordSource) {
  ASSERT_TRUE(Sql("CREATE TABLE t (id INT PRIMARY KEY); INSERT INTO t VALUES (1), (2)"));
  qghost::FileDescription file(u"t", 1);
  CNAError error;
  CNAConnection* connection = manager_->pclResolveConnection(description_, &error);
  ASSERT_NE(nullptr, connection) << Narrow(error.pszGetMessage());
  CNASession* session =
      static_cast<CNASession*>(manager_->pclNewSession(&file, connection, nullptr));
  ASSERT_NE(nullptr, session);
  CNARefPtr<CNASession> hold(NAAddRef(session));
  CNATableAccess* access = nullptr;
  ASSERT_TRUE(session->bGetInternalQuery(&access, u"SELECT COUNT(*) FROM t", &error))
      << Narrow(error.pszGetMessage());
  ASSERT_NE(nullptr, access);
  ReleaseBoth(access);
  EXPECT_EQ(nullptr, session->pclGetRecordSource());
  manager_->bReleaseConnection(connection);
}

TEST_F(RecordSourceOnServer, AQuerysRecordsAreDeletedOneByOne) {
  ASSERT_TRUE(Sql("CREATE TABLE t (id INT PRIMARY KEY, k INT); "
                  "INSERT INTO t SELECT seq, seq % 3 FROM seq_1_to_6"));
  // Nothing to delete: done, nothing sent.
  qghost::FileDescription* handle = nullptr;
  std::string failure;
  CNADispatcher* d =
      OpenQuery(u"NONE", "SELECT id, k FROM t WHERE k = 7", false, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  INAError* slot = nullptr;
  EXPECT_TRUE(d->bDeleteAll(handle, &slot)) << TakeMessage(slot);
  EXPECT_EQ(std::vector<std::string>{"6"}, ServerRows("SELECT COUNT(*) FROM t"));
  // Records to delete: each goes through the delete of the current record,
  // on the query's table; rows the query does not show stay.
  d = OpenQuery(u"SOME", "SELECT id, k FROM t WHERE k = 1", false, &handle, &failure);
  ASSERT_NE(nullptr, d) << failure;
  EXPECT_TRUE(d->bDeleteAll(handle, &slot)) << TakeMessage(slot);
  EXPECT_EQ((std::vector<std::string>{"2", "3", "5", "6"}),
            ServerRows("SELECT id FROM t ORDER BY id"));
}

using qg::rig::HostItem;

TEST_F(RecordSourceOnServer, CreatingIndexesTriesEachAndTellsAFailedPlainOne) {
  auto* file = new qghost::FileDescription(u"made", 1);
  HostItem(file, u"id", kNAColAutoId4, 4, kNAKeyPrimary);
  HostItem(file, u"note", kNAColVarChar, 21, kNAKeyDuplicates);
  HostItem(file, u"grp", kNAColInt4, 4, kNAKeyDuplicates);
  file->keyed = true;
  CNAError error;
  CNADispatcher* d = manager_->pclFindOrCreateDispatcher(description_, u"made", &error);
  ASSERT_NE(nullptr, d) << Narrow(error.pszGetMessage());
  opened_.push_back({file, d});
  INAError* slot = nullptr;
  ASSERT_TRUE(d->bCreate(file, description_, 0, &slot)) << TakeMessage(slot);
  const std::string indexed =
      "SELECT COLUMN_NAME, COUNT(*) FROM information_schema.STATISTICS WHERE "
      "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'made' AND INDEX_NAME LIKE 'QGIDX%' "
      "GROUP BY COLUMN_NAME ORDER BY COLUMN_NAME";
  EXPECT_EQ((std::vector<std::string>{"grp\t1", "note\t1"}), ServerRows(indexed));
  CNASession* session = d->pclFindSession(file);
  ASSERT_NE(nullptr, session);
  CNARefPtr<CNASession> hold(session);
  // The creation's result was the key-range check: the table is there.
  EXPECT_EQ(1, session->m_nKeyRange);

  // A plain index that cannot be made (its column went): the answer is 0
  // with the server's error, and the other indexes are still made.
  ASSERT_TRUE(Sql("ALTER TABLE made DROP COLUMN note"));
  CNATableAccess* access = session->pclGetDefaultTableAccess(&error);
  ASSERT_NE(nullptr, access);
  CNARefPtr<CNATableAccess> hold_access(access);
  bool unique_failed = true;
  CNAError indexes;
  EXPECT_FALSE(session->bCreateIndexes(access, 2, &indexes, &unique_failed));
  EXPECT_FALSE(unique_failed);
  EXPECT_NE(std::string::npos, Narrow(indexes.pszGetMessage()).find("note"))
      << Narrow(indexes.pszGetMessage());
  EXPECT_EQ((std::vector<std::string>{"grp\t2"}), ServerRows(indexed));
}

}  // namespace
