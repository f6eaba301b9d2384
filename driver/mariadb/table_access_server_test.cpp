// Table access objects walking a complete result on the private server: a
// composite, partly descending key with NULL parts and duplicates must
// give the server's own ORDER BY row for row, both ways, by steps, after a
// seek, and in thousandths.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "driver/core/error_status.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/session_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/record_source_fixture.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/file_description.h"
#include "driver/sql/filter.h"
#include "driver/sql/item.h"
#include "driver/sql/key_filter.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/record_source.h"
#include "driver/sql/saved_position.h"
#include "driver/sql/filter_rules.h"
#include "driver/sql/query.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_description.h"
#include "host/core/calc_entries.h"
#include "host/core/driver_objects.h"
#include "host/core/parsed_query.h"
#include "support/any.h"
#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& U = qg::rig::Wide;
constexpr auto& N = qg::rig::Narrow;

class TableAccessOnServer : public qg::rig::RecordSourceServerTest {
 protected:
  void Run(const std::string& sql) { qg::rig::RunOnConnection(c, sql); }
  // Rows as tab-joined texts, NULL as empty.
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    CNALock lock(c->pGetLock());
    MYSQL* h = c->pGetHandle();
    EXPECT_EQ(0, gMariaDB.mysql_real_query(h, sql.data(), sql.size())) << gMariaDB.mysql_error(h);
    MYSQL_RES* result = gMariaDB.mysql_store_result(h);
    if (result == nullptr) return rows;
    unsigned fields = gMariaDB.mysql_num_fields(result);
    while (MYSQL_ROW row = gMariaDB.mysql_fetch_row(result)) {
      unsigned long* lengths = gMariaDB.mysql_fetch_lengths(result);
      std::string text;
      for (unsigned i = 0; i < fields; ++i) {
        if (i > 0) text += '\t';
        if (row[i] != nullptr) text.append(row[i], lengths[i]);
      }
      rows.push_back(text);
    }
    gMariaDB.mysql_free_result(result);
    return rows;
  }

  // A table access object ordered on (a, b DESC, id), its SELECT run.
  void OpenOrdered(bool descending, int64_t fetch = -1) {
    if (access != nullptr) ReleaseBoth(access);
    access = NAAddRef(static_cast<CNATableAccess*>(manager->pclNewTableAccess(nullptr, c)));
    access->SetTableName(u"t");
    access->SetOrderKey(u"K", {{u"a", false}, {u"b", true}, {u"id", false}});
    access->SetDescending(descending);
    CNAError error;
    ASSERT_TRUE(access->bRunByStatementKind(1, nullptr, &error)) << N(error.pszGetMessage());
    access->pclGetGenerator()->SetRowLimit(fetch);
    ASSERT_TRUE(access->bOpen(&error)) << N(error.pszGetMessage());
  }
  std::string Current() {
    CAny text;
    CNAError error;
    EXPECT_TRUE(access->pclGetResult()->bGetRowText(text, 0, &error)) << N(error.pszGetMessage());
    const char16_t* p = nullptr;
    text.nGetPCXSTR(&p);
    return N(p);
  }
  bool Read(int32_t direction, int64_t step = 1) {
    bool found = false;
    CNAError error;
    EXPECT_TRUE(access->bReadPosition(direction, false, step, &found, &error))
        << N(error.pszGetMessage());
    return found;
  }
};

TEST_F(TableAccessOnServer, WalksEqualTheServersOrderBy) {
  Run("CREATE TABLE t (id INT PRIMARY KEY, a INT NULL, b VARCHAR(8) NULL, v INT)");
  std::mt19937 rng(7);
  std::string insert = "INSERT INTO t VALUES ";
  for (int i = 1; i <= 240; ++i) {
    int a = static_cast<int>(rng() % 6);
    int b = static_cast<int>(rng() % 5);
    if (i > 1) insert += ",";
    insert += "(" + std::to_string(i) + "," + (a == 0 ? std::string("NULL") : std::to_string(a)) +
              "," + (b == 0 ? std::string("NULL") : "'k" + std::to_string(b) + "'") + "," +
              std::to_string(static_cast<int>(rng() % 1000)) + ")";
  }
  Run(insert);
  const std::vector<std::string> expected = Rows("SELECT * FROM t ORDER BY a, b DESC, id");
  ASSERT_EQ(240u, expected.size());

  // First to last with next, last to first with previous.
  OpenOrdered(false);
  std::vector<std::string> forward;
  for (bool found = Read(kNAReadFirst); found; found = Read(kNAReadNext)) forward.push_back(Current());
  EXPECT_EQ(expected, forward);
  // A next past the last row is out of range and keeps the position.
  EXPECT_TRUE(access->bIsOutOfRange());
  EXPECT_EQ(expected.back(), Current());
  std::vector<std::string> backward;
  for (bool found = Read(kNAReadLast); found; found = Read(kNAReadPrevious)) {
    backward.insert(backward.begin(), Current());
  }
  EXPECT_EQ(expected, backward);

  // Steps of n both ways.
  ASSERT_TRUE(Read(kNAReadFirst, 5));
  EXPECT_EQ(expected[4], Current());
  ASSERT_TRUE(Read(kNAReadNext, 30));
  EXPECT_EQ(expected[34], Current());
  ASSERT_TRUE(Read(kNAReadPrevious, 7));
  EXPECT_EQ(expected[27], Current());
  ASSERT_TRUE(Read(kNAReadLast, 3));
  EXPECT_EQ(expected[237], Current());
  EXPECT_FALSE(Read(kNAReadNext, 3));
  EXPECT_EQ(expected[237], Current());

  // Per-mille of the position, rounded up.
  ASSERT_TRUE(Read(kNAReadFirst, 120));
  int32_t per_mille = -1;
  CNAError error;
  ASSERT_TRUE(access->bGetPositionPerMille(&per_mille, &error));
  EXPECT_EQ(500, per_mille);
  ASSERT_TRUE(Read(kNAReadFirst, 1));
  ASSERT_TRUE(access->bGetPositionPerMille(&per_mille, &error));
  EXPECT_EQ(5, per_mille);  // 1000 / 240 = 4.17, rounded up
  ASSERT_TRUE(access->bGoToPerMille(250, &error));
  EXPECT_EQ(expected[59], Current());

  // Counts: the server's count and the rows the complete result holds.
  int64_t rows = 0;
  ASSERT_TRUE(access->bGetResultCount(0, &rows, &error));
  EXPECT_EQ(240, rows);
  ASSERT_TRUE(access->bCountRecords(&rows, &error)) << N(error.pszGetMessage());
  EXPECT_EQ(240, rows);

  // Seek then next.
  OpenOrdered(false);
  const std::string sought = expected[100];
  std::string id = sought.substr(0, sought.find('\t'));
  CAny value;
  value.SetDSTRW(U(id).c_str());
  bool found = false;
  ASSERT_TRUE(access->bSeek(u"id", value, true, &found, &error)) << N(error.pszGetMessage());
  ASSERT_TRUE(found);
  EXPECT_EQ(sought, Current());
  ASSERT_TRUE(Read(kNAReadNext));
  EXPECT_EQ(expected[101], Current());

  // Results cut by a row limit go on in the following or preceding rows
  // of the order; a move out of range keeps the position.
  for (int64_t fetch : {1, 7, 239, 240, 241}) {
    SCOPED_TRACE(fetch);
    OpenOrdered(false, fetch);
    std::vector<std::string> walked;
    for (bool f = Read(kNAReadFirst); f; f = Read(kNAReadNext)) walked.push_back(Current());
    EXPECT_EQ(expected, walked);
    EXPECT_EQ(expected.back(), Current());
    walked.clear();
    for (bool f = Read(kNAReadLast); f; f = Read(kNAReadPrevious)) {
      walked.insert(walked.begin(), Current());
    }
    EXPECT_EQ(expected, walked);
    EXPECT_EQ(expected.front(), Current());
    ASSERT_TRUE(Read(kNAReadFirst, 5));
    EXPECT_EQ(expected[4], Current());
    ASSERT_TRUE(Read(kNAReadNext, 30));
    EXPECT_EQ(expected[34], Current());
    ASSERT_TRUE(Read(kNAReadPrevious, 7));
    EXPECT_EQ(expected[27], Current());
    EXPECT_FALSE(Read(kNAReadNext, 500));
    EXPECT_EQ(expected[27], Current());
    ASSERT_TRUE(Read(kNAReadLast, 3));
    EXPECT_EQ(expected[237], Current());
    ASSERT_TRUE(access->bSeek(u"id", value, true, &found, &error)) << N(error.pszGetMessage());
    ASSERT_TRUE(found);
    EXPECT_EQ(sought, Current());
    ASSERT_TRUE(Read(kNAReadNext));
    EXPECT_EQ(expected[101], Current());
    // Thousandths over the whole order, not the part held.
    ASSERT_TRUE(Read(kNAReadFirst, 120));
    ASSERT_TRUE(access->bGetPositionPerMille(&per_mille, &error)) << N(error.pszGetMessage());
    EXPECT_EQ(500, per_mille);
    ASSERT_TRUE(access->bGoToPerMille(250, &error)) << N(error.pszGetMessage());
    EXPECT_EQ(expected[59], Current());
    ASSERT_TRUE(Read(kNAReadNext));
    EXPECT_EQ(expected[60], Current());
  }
  OpenOrdered(true, 7);
  ASSERT_TRUE(Read(kNAReadFirst));
  EXPECT_EQ(expected.back(), Current());
  ASSERT_TRUE(Read(kNAReadLast));
  EXPECT_EQ(expected.front(), Current());
  OpenOrdered(false);
  ASSERT_TRUE(access->bSeek(u"id", value, true, &found, &error));
  ASSERT_TRUE(Read(kNAReadNext));

  // Rows deleted since the result was read are skipped both ways.
  access->MarkRowDeleted(102);
  ASSERT_TRUE(Read(kNAReadNext));
  EXPECT_EQ(expected[103], Current());
  ASSERT_TRUE(Read(kNAReadPrevious));
  EXPECT_EQ(expected[101], Current());

  // On the descending order, first reads what last reads ascending.
  OpenOrdered(true);
  ASSERT_TRUE(Read(kNAReadFirst));
  EXPECT_EQ(expected.back(), Current());
  ASSERT_TRUE(Read(kNAReadNext));
  EXPECT_EQ(expected[238], Current());
}

// The current record of a logical description: its plain items' values
// as texts, tab-joined (NULL as empty).
std::string Record(CNAFileDescription* fd) {
  std::string text;
  for (int i = 0; i < fd->nGetItemCount(); ++i) {
    CNAItem* item = fd->pclGetItem(i);
    if (item->bIsCompositeKey()) continue;
    std::u16string value;
    item->bDumpValue(&value, false, nullptr);
    if (i > 0) text += '\t';
    text += N(value.c_str());
  }
  return text;
}

TEST_F(TableAccessOnServer, RowsLoadIntoTheRecordAndTheCacheServesThemAgain) {
  Run("CREATE TABLE t (id INT PRIMARY KEY, a INT NULL, b VARCHAR(8) NULL, v INT)");
  Run("INSERT INTO t VALUES (1,2,'k1',10),(2,NULL,'k2',20),(3,2,NULL,30),(4,1,'k1',40),"
      "(5,2,'k3',50),(6,NULL,NULL,60),(7,1,'k2',70)");
  const std::vector<std::string> expected = Rows("SELECT * FROM t ORDER BY a, b DESC, id");
  CNAError error;
  CNAFileDescription* fd = Logical();
  ASSERT_NE(nullptr, fd);

  // Every row read, in order, becomes the description's current record.
  OpenOrdered(false);
  access->SetFileDescription(fd);
  std::vector<std::string> walked;
  for (bool f = Read(kNAReadFirst); f; f = Read(kNAReadNext)) walked.push_back(Record(fd));
  EXPECT_EQ(expected, walked);
  EXPECT_FALSE(access->bIsCacheFull());

  // Through the cache: the same walks; once the whole result is held, the
  // open result is no longer needed.
  OpenOrdered(false);
  access->SetFileDescription(fd);
  access->EnableCache(true);
  ASSERT_TRUE(Read(kNAReadFirst, 3));
  EXPECT_EQ(expected[2], Record(fd));
  EXPECT_FALSE(access->bIsCacheFull());
  ASSERT_TRUE(Read(kNAReadLast));
  EXPECT_TRUE(access->bIsCacheFull());
  ASSERT_NE(nullptr, access->pclGetFullCache());
  access->pclGetResult()->Reset();
  struct Move {
    int32_t direction;
    int64_t step;
    int expected;  // row of the order, -1: out of range, the record kept
  } moves[] = {{kNAReadLast, 1, 6},     {kNAReadPrevious, 2, 4}, {kNAReadNext, 1, 5},
               {kNAReadNext, 5, -1},    {kNAReadFirst, 1, 0},    {kNAReadPrevious, 1, -1},
               {kNAReadFirst, 7, 6},    {kNAReadLast, 7, 0},     {kNAReadLast, 8, -1}};
  int at = 0;
  for (const Move& m : moves) {
    SCOPED_TRACE(testing::Message() << m.direction << " by " << m.step);
    EXPECT_EQ(m.expected >= 0, Read(m.direction, m.step));
    if (m.expected >= 0) at = m.expected;
    EXPECT_EQ(expected[at], Record(fd));
  }
  walked.clear();
  for (bool f = Read(kNAReadLast); f; f = Read(kNAReadPrevious)) {
    walked.insert(walked.begin(), Record(fd));
  }
  EXPECT_EQ(expected, walked);
  // The count of a complete cache, asked for by both option words.
  access->m_nReadOptions |= 0x4000;
  int64_t rows = 0;
  ASSERT_TRUE(access->bGetResultCount(0x4000, &rows, &error));
  EXPECT_EQ(7, rows);
}

// A saved position brings the record back, also after the object read
// afresh; key-position conditions are built over the logical description.
TEST_F(TableAccessOnServer, PositionsAndKeyFilters) {
  Run("CREATE TABLE t (id INT PRIMARY KEY, a INT NULL, b VARCHAR(8) NULL)");
  Run("INSERT INTO t VALUES (1,1,'x'),(2,2,'y'),(3,2,'z'),(4,3,NULL),(5,2,'w')");
  const std::vector<std::string> expected = Rows("SELECT * FROM t ORDER BY a, b DESC, id");
  CNAError error;
  CNAFileDescription* fd = Logical();
  ASSERT_NE(nullptr, fd);
  OpenOrdered(false);
  access->SetFileDescription(fd);
  ASSERT_TRUE(Read(kNAReadFirst, 3));
  CNARefPtr<CNASavedPosition> position(NAAddRef(new CNASavedPosition()));
  ASSERT_TRUE(access->bSavePosition(position.Get(), &error));
  EXPECT_EQ(2, position->nGetRecord(0));
  ASSERT_TRUE(Read(kNAReadLast));
  ASSERT_TRUE(access->bRestorePosition(position.Get(), &error)) << N(error.pszGetMessage());
  EXPECT_EQ(expected[2], Record(fd));
  ASSERT_TRUE(Read(kNAReadNext));
  EXPECT_EQ(expected[3], Record(fd));
  // After a new SELECT the row is read again by its number.
  OpenOrdered(false);
  access->SetFileDescription(fd);
  ASSERT_TRUE(access->bRestorePosition(position.Get(), &error)) << N(error.pszGetMessage());
  EXPECT_EQ(expected[2], Record(fd));

  // The key filter comes from slot 32 on first use; a condition from the
  // current record, then reset.
  CNAKeyFilter* filter = access->pclKeyFilter();
  ASSERT_NE(nullptr, filter);
  EXPECT_EQ(filter, access->pclKeyFilter());
  ASSERT_TRUE(access->bSetKeyOfRecord(fd->pclGetTableDescription()->pclColumnAt(0), true, &error))
      << N(error.pszGetMessage());
  EXPECT_TRUE(filter->bHasCondition());
  // Under the condition (this record's id), only that record is found.
  EXPECT_FALSE(Read(kNAReadNext));
  EXPECT_FALSE(access->bIsOutOfRange());
  EXPECT_EQ(expected[3], Record(fd));
  EXPECT_TRUE(Read(kNAReadPrevious));
  EXPECT_EQ(expected[2], Record(fd));
  access->ResetKeyFilter();
  EXPECT_FALSE(filter->bHasCondition());
  EXPECT_TRUE(Read(kNAReadNext));
}

// With a record lock, a read along the key goes on from the locked record
// (found again in the cache of the session's record source bound to the
// object); a complete cache that no longer holds it fails the read.
TEST_F(TableAccessOnServer, ReadsGoOnFromTheLockedRecord) {
  Run("CREATE TABLE t (id INT PRIMARY KEY, a INT NULL, b VARCHAR(8) NULL)");
  Run("INSERT INTO t VALUES (1,1,'x'),(2,2,'y'),(3,2,'z'),(4,3,NULL),(5,2,'w')");
  const std::vector<std::string> expected = Rows("SELECT * FROM t ORDER BY a, b DESC, id");
  CNAError error;
  CNAFileDescription* fd = Logical();
  ASSERT_NE(nullptr, fd);
  ASSERT_NO_FATAL_FAILURE(
      OpenIntoRecordSource(fd, u"K", {{u"a", false}, {u"b", true}, {u"id", false}}));

  ASSERT_TRUE(Read(kNAReadLast));
  ASSERT_TRUE(access->bIsCacheFull());
  ASSERT_TRUE(Read(kNAReadFirst, 3));
  ASSERT_TRUE(access->bLockCurrentRecord(&error));
  access->nSetLockState(1);
  ASSERT_TRUE(Read(kNAReadNext));
  EXPECT_EQ(expected[3], Record(fd));
  // First and last end the lock.
  ASSERT_TRUE(Read(kNAReadLast));
  EXPECT_EQ(0, access->nGetLockMode());
  EXPECT_EQ(-1, access->nGetLockedRecord());

  ASSERT_TRUE(Read(kNAReadFirst, 2));
  ASSERT_TRUE(access->bLockCurrentRecord(&error));
  access->nSetLockState(1);
  access->pclGetFullCache()->SetEntryState(1, kNARecordInvalid);
  bool found = true;
  CNAError gone;
  EXPECT_FALSE(access->bReadPosition(kNAReadNext, false, 1, &found, &gone));
  EXPECT_EQ(13u, gone.nGetErrorIdentifier());
  EXPECT_NE(std::u16string::npos,
            std::u16string(gone.pclGetXError()->pszGetDebugMessage()).find(u"=4.8"));
  session->SetRecordSource(nullptr);
}

// A table read completely into the session's record source is read again
// along another key on the client: next from first and previous from last
// give the server's ORDER BY on that key, NULLs and duplicates included
// (equal keys in the order the record set was read in).
TEST_F(TableAccessOnServer, ClientSideKeySwitchReadsInTheServersKeyOrder) {
  Run("CREATE TABLE t (id INT PRIMARY KEY, a INT NULL, b VARCHAR(8) NULL, c TEXT NULL, "
      "KEY ka (a), KEY kb (b), KEY kc (c(8)))");
  std::mt19937 rng(11);
  std::string insert = "INSERT INTO t VALUES ";
  // Nulls among negative numbers, zeros and empty texts: the server puts
  // them before every value.
  auto text = [&] {
    int b = static_cast<int>(rng() % 5);
    if (b == 0) return std::string("NULL");
    return b == 1 ? std::string("''") : "'k" + std::to_string(b) + "'";
  };
  for (int i = 1; i <= 90; ++i) {
    int a = static_cast<int>(rng() % 6);
    if (i > 1) insert += ",";
    insert += "(" + std::to_string(i) + "," +
              (a == 0 ? std::string("NULL") : std::to_string((a - 3) * 3)) + "," + text() + "," +
              text() + ")";
  }
  Run(insert);
  CNAError error;
  CNAFileDescription* fd = Logical();
  ASSERT_NE(nullptr, fd);
  // The whole table along its primary key into the record source.
  ASSERT_NO_FATAL_FAILURE(OpenIntoRecordSource(fd, u"PRIMARY", {{u"id", false}}));
  ASSERT_TRUE(Read(kNAReadLast));
  ASSERT_TRUE(access->bIsCacheFull());

  // A second object of the session, never run on the server, along a's key:
  // its first read switches to a client-side index over the record set.
  CNARefPtr<CNATableAccess> keyed(NAAddRef(manager->pclNewTableAccess(session.Get(), c)));
  keyed->SetTableName(u"t");
  keyed->SetFileDescription(fd);
  auto read = [&](int32_t direction) {
    bool found = false;
    CNAError e;
    EXPECT_TRUE(keyed->bReadPosition(direction, false, 1, &found, &e)) << N(e.pszGetMessage());
    return found;
  };
  struct Key {
    const char16_t* name;
    const char* order_by;
  } keys[] = {{u"a", "a, id"}, {u"b", "b, id"}, {u"c", "c, id"}, {u"a", "a, id"}};
  bool switched = false;
  for (const Key& key : keys) {
    SCOPED_TRACE(key.order_by);
    keyed->SetOrderKey(key.name, {{key.name, false}});
    // Later keys replace the index the object holds.
    if (switched) {
      ASSERT_TRUE(keyed->bSwitchKey(&error)) << N(error.pszGetMessage());
    }
    const std::vector<std::string> expected =
        Rows(std::string("SELECT id, a, b, c FROM t ORDER BY ") + key.order_by);
    std::vector<std::string> walked;
    for (bool f = read(kNAReadFirst); f; f = read(kNAReadNext)) walked.push_back(Record(fd));
    EXPECT_EQ(expected, walked);
    walked.clear();
    for (bool f = read(kNAReadLast); f; f = read(kNAReadPrevious)) {
      walked.insert(walked.begin(), Record(fd));
    }
    EXPECT_EQ(expected, walked);
    EXPECT_EQ(nullptr, keyed->pclGetResult());
    EXPECT_EQ(source->pclGetRecordSet(), keyed->pclGetFullCache());
    EXPECT_EQ(std::u16string(key.name), keyed->pszGetOrderedKeyName());
    switched = true;
  }

  // A key the description has no item for, and a session without a record
  // source: no switch, an error.
  keyed->SetOrderKey(u"nokey", {{u"nokey", false}});
  CNAError unknown;
  EXPECT_FALSE(keyed->bSwitchKey(&unknown));
  EXPECT_EQ(6u, unknown.nGetErrorIdentifier());
  session->SetRecordSource(nullptr);
  keyed->SetOrderKey(u"a", {{u"a", false}});
  CNAError none;
  EXPECT_FALSE(keyed->bSwitchKey(&none));
  EXPECT_EQ(11u, none.nGetErrorIdentifier());
}

// An UPDATE that matches no row fails with error 13 (code 9, the record
// dump attached); one that matches a row without changing it succeeds, the
// server counting the rows found.
TEST_F(TableAccessOnServer, AnUpdateMatchingNoRowFails) {
  Run("CREATE TABLE t (id INT PRIMARY KEY, v INT)");
  Run("INSERT INTO t VALUES (1, 10)");
  CNAError error;
  CNAFileDescription* fd = Logical();
  ASSERT_NE(nullptr, fd);
  struct Case {
    const char16_t* text;
    bool ok;
    int64_t rows;
  } cases[] = {{u"UPDATE t SET v = 11 WHERE id = 1", true, 1},
               {u"UPDATE t SET v = 11 WHERE id = 1", true, 1},  // unchanged, still found
               {u"UPDATE t SET v = 12 WHERE id = 2", false, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(N(k.text));
    access = NAAddRef(static_cast<CNATableAccess*>(manager->pclNewTableAccess(nullptr, c)));
    access->SetTableName(u"t");
    access->SetFileDescription(fd);
    CNARefPtr<CNASQLGenerator> g(NAAddRef(new CNASQLGenerator(c)));
    g->bAppend(k.text);
    g->SetStatementKind(3);  // the query kind of an UPDATE
    CNAError e;
    int64_t rows = -1;
    ASSERT_TRUE(access->bBindGenerator(g.Get(), &e));
    EXPECT_EQ(k.ok, access->bExecute(0, 0, &rows, &e)) << N(e.pszGetMessage());
    EXPECT_EQ(k.rows, rows);
    if (!k.ok) {
      EXPECT_EQ(13u, e.nGetErrorIdentifier());
      EXPECT_EQ(9, e.nGetCode());
      std::u16string debug = e.pclGetXError()->pszGetDebugMessage();
      EXPECT_NE(std::u16string::npos, debug.find(u"=4.12")) << N(debug.c_str());
      EXPECT_NE(std::u16string::npos, debug.find(u"<id>")) << N(debug.c_str());
      EXPECT_EQ(std::u16string(u"t"), e.pszGetLogicalTableName());
    }
    ReleaseBoth(access);
    access = nullptr;
  }
}

TEST_F(TableAccessOnServer, EmptyTableCountsAndPerMilleAreZero) {
  Run("CREATE TABLE t (id INT PRIMARY KEY, a INT NULL, b VARCHAR(8) NULL)");
  OpenOrdered(false);
  EXPECT_FALSE(Read(kNAReadFirst));
  EXPECT_FALSE(Read(kNAReadLast));
  CNAError error;
  int32_t per_mille = -1;
  ASSERT_TRUE(access->bGetPositionPerMille(&per_mille, &error));
  EXPECT_EQ(0, per_mille);
  ASSERT_TRUE(access->bGoToPerMille(500, &error));
  EXPECT_TRUE(access->bIsOutOfRange());
  int64_t rows = -1;
  ASSERT_TRUE(access->bCountRecords(&rows, &error)) << N(error.pszGetMessage());
  EXPECT_EQ(0, rows);
}

// A session reading a stored query (query mode), with its table access
// object; the statement run is the query form.
struct QuerySession {
  QuerySession(CNAManagerMariaDB* manager, CNAConnectionMariaDB* c, const std::u16string& text,
               uint32_t flags) {
    qghost::ParseSchema schema;
    schema.AddTable(u"t", {{u"id", qg::kKeyPrimary, 8}, {u"a", 0, 8}, {u"b", 0, 16}});
    std::string error;
    qg::IParsedQuery* parsed = qghost::ParseQuery(text, &schema, &error);
    EXPECT_NE(nullptr, parsed) << error;
    query = NAAddRef(new CNAQuery(parsed, true));
    if (parsed != nullptr) parsed->Release();
    session = NAAddRef(static_cast<CNASession*>(manager->pclNewSession(&file, c, nullptr)));
    session->m_nQueryMode = 1;
    session->m_nFlags = flags;
    session->SetQuery(query);
    access = NAAddRef(manager->pclNewTableAccess(session, c));
    access->SetTableName(u"t");
  }
  ~QuerySession() {
    ReleaseBoth(access);
    ReleaseBoth(session);
    ReleaseBoth(query);
  }
  // Rows of the statement run, tab-joined.
  std::vector<std::string> Rows(CNAError* error, int64_t fetch_limit = -1) {
    std::vector<std::string> rows;
    if (!access->bRunByStatementKind(1, nullptr, error)) return rows;
    access->pclGetGenerator()->SetRowLimit(fetch_limit);
    if (!access->bOpen(error)) return rows;
    bool found = false;
    for (access->bReadPosition(kNAReadFirst, false, 1, &found, error); found;
         access->bReadPosition(kNAReadNext, false, 1, &found, error)) {
      CAny text;
      access->pclGetResult()->bGetRowText(text, 0, error);
      const char16_t* p = nullptr;
      text.nGetPCXSTR(&p);
      rows.push_back(N(p));
    }
    return rows;
  }
  qghost::FileDescription file{u"Q", 1};
  CNAQuery* query = nullptr;
  CNASession* session = nullptr;
  CNATableAccess* access = nullptr;
};

CNAFilter* EqualFilter(const char16_t* column, int value) {
  NAFilterColumn c;
  c.strSql = std::u16string(u"`") + column + u"`";
  c.nColumnType = 5;
  c.nVeliscType = qg::kAnyI4;
  CAny v;
  v.SetI4(value);
  return CNAFilter::pclNewLeaf(kNAFilterEqual, c, v, 0);
}

TEST_F(TableAccessOnServer, StoredQueriesAreWrappedAliasedAndKeepTheirOwnLimit) {
  Run("CREATE TABLE t (id INT PRIMARY KEY, a INT NULL, b VARCHAR(8) NULL)");
  Run("INSERT INTO t VALUES (1,1,'x'),(2,2,'y'),(3,2,'z'),(4,3,NULL),(5,2,'w'),(6,NULL,'v')");

  // Counting a stored query wraps it as a derived table, which MariaDB
  // accepts only with an alias.
  {
    QuerySession q(manager, c, u"SELECT id, a FROM t WHERE a >= 2", 0);
    int64_t count = -1;
    CNAError error;
    ASSERT_TRUE(q.access->bCountRecords(&count, &error)) << N(error.pszGetMessage());
    EXPECT_EQ(4, count);
  }
  // Raw SQL with a filter: the filter applies outside the query.
  {
    QuerySession q(manager, c, u"SELECT id, a FROM t ORDER BY id", kNASessionRawSQL);
    CNARefPtr<CNAFilter> filter(EqualFilter(u"a", 2));
    q.access->SetFilter(filter.Get());
    CNAError error;
    EXPECT_EQ((std::vector<std::string>{"2\t2", "3\t2", "5\t2"}), q.Rows(&error))
        << N(error.pszGetMessage());
    EXPECT_NE(std::u16string::npos,
              std::u16string(q.access->pclGetGenerator()->pszGetStatementText())
                  .find(u") QG_SUBQUERY WHERE "));
  }
  // A query ending in its own LIMIT gets no second one from the fetch size,
  // and its result counts as complete.
  {
    QuerySession q(manager, c, u"SELECT id, a FROM t ORDER BY id LIMIT 2", kNASessionRawSQL);
    CNAError error;
    EXPECT_EQ((std::vector<std::string>{"1\t1", "2\t2"}), q.Rows(&error, 100))
        << N(error.pszGetMessage());
    EXPECT_EQ(-1, q.access->nGetLimitMarker());
  }
  // Outside raw SQL the table access object's ORDER BY goes before the
  // query's LIMIT, and the filter joins the query's WHERE.
  {
    QuerySession q(manager, c, u"SELECT id, a FROM t WHERE a IS NOT NULL LIMIT 3", 0);
    q.access->SetOrderKey(u"K", {{u"id", true}});
    CNARefPtr<CNAFilter> filter(EqualFilter(u"a", 2));
    q.access->SetFilter(filter.Get());
    CNAError error;
    EXPECT_EQ((std::vector<std::string>{"5\t2", "3\t2", "2\t2"}), q.Rows(&error, 50))
        << N(error.pszGetMessage()) << " "
        << N(q.access->pclGetGenerator()->pszGetStatementText());
  }
}

TEST(TableAccessPerMille, RoundsUpAndStaysIn64Bits) {
  struct Case {
    int64_t position, count;
    int32_t expected;
  } cases[] = {{0, 0, 0}, {5, 0, 0}, {1, 3, 334}, {3, 3, 1000}, {1, 1000, 1},
               {1, 3000000000LL, 1}, {3000000000LL, 3000000000LL, 1000}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, CNATableAccess::nPerMilleOf(c.position, c.count))
        << c.position << "/" << c.count;
  }
  EXPECT_EQ(0, CNATableAccess::nPerMilleTarget(0, 500));
  EXPECT_EQ(1, CNATableAccess::nPerMilleTarget(10, 0));
  EXPECT_EQ(1500000000LL, CNATableAccess::nPerMilleTarget(3000000000LL, 500));
}

}  // namespace
