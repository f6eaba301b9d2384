// Tables read and written through the manager, the dispatcher and the
// session, against the binary's private server: records come in the
// server's own ORDER BY, row for row, in both directions; writes land, fail
// with their kinds and name what failed; tables are created with their
// indexes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/dispatcher.h"
#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/host_table_fixture.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/column.h"
#include "driver/sql/filter.h"
#include "driver/sql/filter_rules.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/saved_position.h"
#include "driver/sql/file_description.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "host/core/calc_entries.h"
#include "host/core/driver_objects.h"
#include "support/frame/module_services.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& U = qg::rig::Wide;
constexpr auto& N = qg::rig::Narrow;

class SessionWalk : public qg::rig::HostTableServerTest {
 protected:
  // Opens a table as the host does: a dispatcher for it, then the handle
  // (created from the handle's items with `create`).
  std::pair<qghost::FileDescription*, CNADispatcher*> Open(
      const std::u16string& table, qghost::FileDescription* handle = nullptr,
      bool create = false) {
    CNAError error;
    CNADispatcher* dispatcher = manager_->pclFindOrCreateDispatcher(description_, table.c_str(),
                                                                   &error);
    EXPECT_NE(nullptr, dispatcher) << N(error.pszGetMessage());
    if (handle == nullptr) handle = new qghost::FileDescription(table, 1);
    INAError* slot = nullptr;
    if (create) {
      EXPECT_TRUE(dispatcher->bCreate(handle, description_, 0, &slot)) << Message(slot);
    } else {
      EXPECT_TRUE(dispatcher->bOpen(handle, description_, 0, 0, &slot)) << Message(slot);
    }
    opened_.push_back({handle, dispatcher});
    return {handle, dispatcher};
  }
  static void Set(CNADispatcher* d, qghost::FileDescription* h, int column, const CAny& value) {
    INAError* slot = nullptr;
    EXPECT_TRUE(d->bWriteItemValue(h, column, reinterpret_cast<intptr_t>(&value), &slot))
        << Message(slot);
  }
  static void SetInt(CNADispatcher* d, qghost::FileDescription* h, int column, int v) {
    CAny value;
    value.SetI4(v);
    Set(d, h, column, value);
  }
  static void SetText(CNADispatcher* d, qghost::FileDescription* h, int column,
                      const char16_t* v) {
    CAny value;
    value.SetPSTRW(v);
    Set(d, h, column, value);
  }
  // The code of a failed write and the item it names ("" when none).
  struct Failure {
    int32_t code = -1;
    std::string item;
    std::string text;
  };
  static Failure Failed(INAError*& slot) {
    Failure f;
    if (slot == nullptr) return f;
    auto* e = static_cast<CNAError*>(slot);
    f.code = e->nGetCode();
    f.item = N(e->pszGetItemName());
    f.text = N(e->pszGetMessage());
    slot->Release();
    slot = nullptr;
    return f;
  }
  static std::string Message(INAError*& slot) { return qg::rig::TakeMessage(slot); }
  // The current record as the server prints it (NULL as NULL).
  static std::string Record(CNADispatcher* d, qghost::FileDescription* h, int columns) {
    std::string line;
    for (int i = 0; i < columns; ++i) {
      CAny value;
      INAError* slot = nullptr;
      EXPECT_TRUE(d->bReadItemValue(h, i, reinterpret_cast<intptr_t>(&value), &slot));
      Message(slot);
      if (i > 0) line += '\t';
      if (value.bEstNull()) {
        line += "NULL";
        continue;
      }
      CXYString<char16_t> text;
      value.nGetTexte(&text);
      line += N(text.pszGet());
    }
    return line;
  }
  // Every record read from `direction` (first or last) on with the next
  // one (next or previous).
  static std::vector<std::string> Walk(CNADispatcher* d, qghost::FileDescription* h,
                                       const char16_t* key, int first, int next, int columns) {
    std::vector<std::string> rows;
    INAError* slot = nullptr;
    int direction = first;
    for (int guard = 0; guard < 100000; ++guard) {
      if (!d->bRead(h, reinterpret_cast<intptr_t>(key), direction, 0, 1, 0, 0, &slot)) {
        ADD_FAILURE() << Message(slot);
        break;
      }
      int32_t at_end = 0;
      EXPECT_TRUE(d->bIsAtEnd(h, reinterpret_cast<intptr_t>(key),
                              reinterpret_cast<intptr_t>(&at_end), &slot));
      if (at_end != 0) break;
      rows.push_back(Record(d, h, columns));
      direction = next;
    }
    return rows;
  }

};

TEST_F(SessionWalk, CompositePartlyDescendingKeyWithNullsAndDuplicatesBothWays) {
  ASSERT_TRUE(Sql("CREATE TABLE w (id INT PRIMARY KEY, a INT NULL, b VARCHAR(12) NULL, "
                  "c DOUBLE, KEY k (a, b DESC)) ENGINE=InnoDB; "
                  "INSERT INTO w SELECT seq, IF(seq % 13 = 0, NULL, seq % 17), "
                  "IF(seq % 11 = 0, NULL, CONCAT('v', seq % 5)), seq / 4 FROM seq_1_to_1000"));
  // The key's second part is descending in the server's index, and read so.
  auto [handle, dispatcher] = Open(u"w");

  std::vector<std::string> expected =
      ServerRows("SELECT id, a, b, c FROM w ORDER BY a, b DESC, id");
  ASSERT_EQ(1000u, expected.size());
  std::vector<std::string> reversed(expected.rbegin(), expected.rend());
  // The whole result at once, then fetches of 7 and of 100 rows.
  for (int64_t fetch : {-2, 7, 100}) {
    CNASession* s = dispatcher->pclFindSession(handle);
    ASSERT_NE(nullptr, s);
    s->pclGetConnection()->m_nCacheSize = fetch;
    ReleaseBoth(s);
    std::vector<std::string> forward =
        Walk(dispatcher, handle, u"k", kNAReadFirst, kNAReadNext, 4);
    EXPECT_EQ(expected, forward) << "fetch " << fetch;
    std::vector<std::string> backward =
        Walk(dispatcher, handle, u"k", kNAReadLast, kNAReadPrevious, 4);
    EXPECT_EQ(reversed, backward) << "fetch " << fetch;
  }

  // Seek then next: the first record of the key value, then the one after.
  CAny value;
  value.SetPSTRW(u"5");  // as the host types it
  INAError* slot = nullptr;
  ASSERT_TRUE(dispatcher->bSeekSameName(handle, reinterpret_cast<intptr_t>(u"a"),
                                        reinterpret_cast<intptr_t>(&value), 0, 0, 0, 0, 0, 0,
                                        &slot))
      << Message(slot);
  std::vector<std::string> by_a = ServerRows("SELECT id, a, b, c FROM w ORDER BY a, id");
  size_t at = 0;
  while (at < by_a.size() && by_a[at].find("\t5\t") == std::string::npos) ++at;
  ASSERT_LT(at + 1, by_a.size());
  EXPECT_EQ(by_a[at], Record(dispatcher, handle, 4));
  ASSERT_TRUE(dispatcher->bRead(handle, reinterpret_cast<intptr_t>(u"a"), kNAReadNext, 0, 1, 0,
                                0, &slot))
      << Message(slot);
  EXPECT_EQ(by_a[at + 1], Record(dispatcher, handle, 4));

  // Counts.
  int64_t count = 0;
  ASSERT_TRUE(dispatcher->bCountCurrent(handle, 0, reinterpret_cast<intptr_t>(&count), 0, &slot))
      << Message(slot);
  EXPECT_EQ(1000, count);
}

// A seek along a composite key compares every part given: a packed key
// value (the parts one after the other) finds the first record whose parts
// all match; cut short after the first part, with the start-of-key flag,
// the first record of that part; a value no record holds is not found.
// Reads go on along the key from the record found. A key the table does not
// have, or no value, fails.
TEST_F(SessionWalk, SeeksCompareEveryPartOfACompositeKey) {
  ASSERT_TRUE(Sql("CREATE TABLE s (id INT PRIMARY KEY, a INT NOT NULL, b INT NOT NULL, "
                  "KEY kab (a, b)) ENGINE=InnoDB; "
                  "INSERT INTO s SELECT seq, seq % 4, (seq * 7) % 5 FROM seq_1_to_40"));
  auto [handle, dispatcher] = Open(u"s");
  const std::vector<std::string> by_kab = ServerRows("SELECT id, a, b FROM s ORDER BY a, b, id");
  auto packed = [](std::vector<int32_t> parts) {
    std::string bytes;
    for (int32_t v : parts) bytes.append(reinterpret_cast<const char*>(&v), 4);
    return bytes;
  };
  auto found = [&](const char16_t* key) {
    int32_t f = 0, in_range = 0;
    INAError* slot = nullptr;
    EXPECT_TRUE(dispatcher->bIsFoundAndInRange(handle, reinterpret_cast<intptr_t>(key),
                                               reinterpret_cast<intptr_t>(&f),
                                               reinterpret_cast<intptr_t>(&in_range), &slot))
        << Message(slot);
    return f != 0;
  };
  struct Case {
    std::vector<int32_t> parts;
    int start_of_key;
    std::string where;  // "": no record
  } cases[] = {{{3, 1}, 0, "a = 3 AND b = 1"},
               {{2, 4}, 0, "a = 2 AND b = 4"},
               {{1}, 1, "a = 1"},
               {{3, 9}, 0, ""}};
  for (const Case& c : cases) {
    std::string bytes = packed(c.parts);
    CAny value;
    value.SetBUFFER(bytes.data(), static_cast<intptr_t>(bytes.size()));
    INAError* slot = nullptr;
    ASSERT_TRUE(dispatcher->bSeekSameName(handle, reinterpret_cast<intptr_t>(u"kab"),
                                          reinterpret_cast<intptr_t>(&value), 0, c.start_of_key,
                                          0, 0, 0, 0, &slot))
        << Message(slot);
    if (c.where.empty()) {
      EXPECT_FALSE(found(u"kab"));
      continue;
    }
    std::vector<std::string> matching =
        ServerRows("SELECT id, a, b FROM s WHERE " + c.where + " ORDER BY a, b, id");
    ASSERT_FALSE(matching.empty());
    EXPECT_TRUE(found(u"kab")) << c.where;
    EXPECT_EQ(matching[0], Record(dispatcher, handle, 3)) << c.where;
    // The next record along the key.
    size_t at = std::find(by_kab.begin(), by_kab.end(), matching[0]) - by_kab.begin();
    ASSERT_LT(at + 1, by_kab.size());
    ASSERT_TRUE(dispatcher->bRead(handle, reinterpret_cast<intptr_t>(u"kab"), kNAReadNext, 0, 1,
                                  0, 0, &slot))
        << Message(slot);
    EXPECT_EQ(by_kab[at + 1], Record(dispatcher, handle, 3)) << c.where;
  }
  // No such key, and no value: failures that say so.
  CAny value;
  value.SetI4(1);
  INAError* slot = nullptr;
  EXPECT_FALSE(dispatcher->bSeekSameName(handle, reinterpret_cast<intptr_t>(u"nokey"),
                                         reinterpret_cast<intptr_t>(&value), 0, 0, 0, 0, 0, 0,
                                         &slot));
  auto identifier = [](INAError*& e) {
    uint32_t n = e != nullptr ? static_cast<CNAError*>(e)->nGetErrorIdentifier() : 0;
    if (e != nullptr) e->Release();
    e = nullptr;
    return n;
  };
  // No key of that name: "unknown key", naming it, at the seek's own site.
  ASSERT_NE(nullptr, slot);
  EXPECT_NE(std::string::npos, N(static_cast<CNAError*>(slot)->pszGetMessage()).find("nokey"));
  EXPECT_NE(std::string::npos,
            N(static_cast<CNAError*>(slot)->pclGetXError()->pszGetDebugMessage()).find("=3.22"));
  EXPECT_EQ(6u, identifier(slot));
  EXPECT_FALSE(dispatcher->bSeekSameName(handle, reinterpret_cast<intptr_t>(u"kab"), 0, 0, 0, 0,
                                         0, 0, 0, &slot));
  EXPECT_EQ(17u, identifier(slot));
}

// A read asking for a fetch or more rows gets a short first fetch (a third
// of a fetch of 20, plus one), the rest kept for the fetches after it, which
// are whole; the walk still gives every record once, in order.
TEST_F(SessionWalk, AReadAskingForManyRowsStartsWithAShortFetch) {
  ASSERT_TRUE(Sql("CREATE TABLE f (id INT PRIMARY KEY, v INT) ENGINE=InnoDB; "
                  "INSERT INTO f SELECT seq, seq * 3 FROM seq_1_to_100"));
  auto [handle, dispatcher] = Open(u"f");
  CNASession* s = dispatcher->pclFindSession(handle);
  ASSERT_NE(nullptr, s);
  s->pclGetConnection()->m_nCacheSize = 20;
  INAError* slot = nullptr;
  ASSERT_TRUE(dispatcher->bReadByName(handle, reinterpret_cast<intptr_t>(u"id"), kNAReadFirst, 1,
                                      50, 0, 0, 0, 0, &slot))
      << Message(slot);
  CNATableAccess* access = s->pclFindTableAccess(u"id");
  ASSERT_NE(nullptr, access);
  ASSERT_NE(nullptr, access->pclGetResult());
  EXPECT_EQ(7, access->pclGetResult()->nGetRowCount());
  EXPECT_EQ(43, access->m_nFollowingRows);
  EXPECT_EQ(20, access->m_nFetchSize);
  std::vector<std::string> rows{Record(dispatcher, handle, 2)};
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(dispatcher->bRead(handle, reinterpret_cast<intptr_t>(u"id"), kNAReadNext, 0, 1, 0,
                                  0, &slot))
        << Message(slot);
    if (access->bIsOutOfRange()) break;
    rows.push_back(Record(dispatcher, handle, 2));
    // The fetches after the first are whole.
    if (rows.size() == 8) {
      EXPECT_EQ(20, access->pclGetResult()->nGetRowCount());
    }
  }
  EXPECT_EQ(ServerRows("SELECT id, v FROM f ORDER BY id"), rows);
  // A request below a fetch is fetched whole.
  ASSERT_TRUE(dispatcher->bReadByName(handle, reinterpret_cast<intptr_t>(u"id"), kNAReadFirst, 1,
                                      5, 0, 0, 0, 1, &slot))
      << Message(slot);
  EXPECT_EQ(20, access->pclGetResult()->nGetRowCount());
  ReleaseBoth(access);
  ReleaseBoth(s);
}

// Without a fetch size asked for, a walk along a key that is not unique
// holds one fetch of about 1 MiB of records at a time, not the whole order,
// and still gives the server's order both ways, on a table with a primary
// key and on one without any unique key (whole duplicate rows included).
TEST_F(SessionWalk, AWalkAlongAKeyThatIsNotUniqueHoldsOneFetchAtATime) {
  ASSERT_TRUE(Sql("CREATE TABLE big (id INT PRIMARY KEY, g INT, pad CHAR(250), KEY kg (g)) "
                  "ENGINE=InnoDB CHARACTER SET utf8mb4; "
                  "INSERT INTO big SELECT seq, seq % 7, CONCAT('p', seq % 3) FROM seq_1_to_3000; "
                  "CREATE TABLE bare (g INT, pad CHAR(250), KEY kg (g)) ENGINE=InnoDB "
                  "CHARACTER SET utf8mb4; "
                  "INSERT INTO bare SELECT seq % 7, CONCAT('p', seq % 300) FROM seq_1_to_3000"));
  struct Case {
    const char16_t* table;
    const char* order;
    int columns;
  } cases[] = {{u"big", "SELECT id, g, pad FROM big ORDER BY g, id", 3},
               {u"bare", "SELECT g, pad FROM bare ORDER BY g, pad", 2}};
  for (const Case& c : cases) {
    auto [handle, dispatcher] = Open(c.table);
    const std::vector<std::string> expected = ServerRows(c.order);
    ASSERT_EQ(3000u, expected.size());
    CNASession* s = dispatcher->pclFindSession(handle);
    ASSERT_NE(nullptr, s);
    // The most rows one result held during the walk.
    size_t held = 0;
    std::vector<std::string> rows;
    INAError* slot = nullptr;
    const intptr_t key = reinterpret_cast<intptr_t>(u"g");
    for (int direction = kNAReadFirst; rows.size() <= expected.size(); direction = kNAReadNext) {
      ASSERT_TRUE(dispatcher->bRead(handle, key, direction, 0, 1, 0, 0, &slot)) << Message(slot);
      CNATableAccess* access = s->pclGetCurrentTableAccess();
      ASSERT_NE(nullptr, access);
      if (access->bIsOutOfRange()) break;
      ASSERT_NE(nullptr, access->pclGetResult());
      held = std::max(held, static_cast<size_t>(access->pclGetResult()->nGetRowCount()));
      rows.push_back(Record(dispatcher, handle, c.columns));
    }
    EXPECT_EQ(expected, rows) << N(c.table);
    EXPECT_GT(held, 0u);
    EXPECT_LT(held, expected.size()) << N(c.table);
    std::vector<std::string> reversed(expected.rbegin(), expected.rend());
    EXPECT_EQ(reversed, Walk(dispatcher, handle, u"g", kNAReadLast, kNAReadPrevious, c.columns))
        << N(c.table);
    ReleaseBoth(s);
  }
}

// A seek of an exact value along a simple key reads from the first record
// of the value on (the server finds it), not the whole order until it
// comes: the record found and the one after it are those of the server's
// order, texts equal only under the column's collation are not taken for
// the value, and a value no record holds is not found.
TEST_F(SessionWalk, ASeekReadsFromTheRecordOfTheValueOn) {
  ASSERT_TRUE(Sql("CREATE TABLE sk (id INT PRIMARY KEY, n INT NOT NULL, t VARCHAR(12), "
                  "KEY kn (n), KEY kt (t)) ENGINE=InnoDB CHARACTER SET utf8mb4 "
                  "COLLATE utf8mb4_general_ci; "
                  "INSERT INTO sk SELECT seq, seq % 500, CONCAT('v', seq % 700) "
                  "FROM seq_1_to_3000; "
                  "INSERT INTO sk VALUES (5001, 7, 'Mix'), (5002, 7, 'mix'), (5003, 7, 'MIX ')"));
  auto [handle, dispatcher] = Open(u"sk");
  CNASession* s = dispatcher->pclFindSession(handle);
  ASSERT_NE(nullptr, s);
  struct Case {
    const char16_t* key;
    const char16_t* value;
    const char* order;  // the key's order; the value's first record and the next
    const char* match;  // text of the sought column in the record found, "" when none
  } cases[] = {
      {u"n", u"250", "SELECT id, n, t FROM sk ORDER BY n, id", "250"},
      {u"id", u"1717", "SELECT id, n, t FROM sk ORDER BY id", "1717"},
      {u"t", u"v33", "SELECT id, n, t FROM sk ORDER BY t, id", "v33"},
      {u"t", u"mix", "SELECT id, n, t FROM sk ORDER BY t, id", "mix"},
      {u"t", u"MIX", "SELECT id, n, t FROM sk ORDER BY t, id", ""},
      {u"n", u"9999", "SELECT id, n, t FROM sk ORDER BY n, id", ""},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> order = ServerRows(c.order);
    const int column = std::u16string(c.key) == u"t" ? 2 : std::u16string(c.key) == u"n" ? 1 : 0;
    size_t at = 0;
    for (; at < order.size(); ++at) {
      std::vector<std::string> cells;
      std::string::size_type from = 0;
      for (int i = 0; i <= column; ++i) {
        auto tab = order[at].find('\t', from);
        cells.push_back(order[at].substr(from, tab - from));
        from = tab == std::string::npos ? tab : tab + 1;
      }
      if (cells[column] == c.match) break;
    }
    CAny value;
    value.SetPSTRW(c.value);
    INAError* slot = nullptr;
    const intptr_t key = reinterpret_cast<intptr_t>(c.key);
    ASSERT_TRUE(dispatcher->bSeekSameName(handle, key, reinterpret_cast<intptr_t>(&value), 0, 0,
                                          0, 0, 0, 0, &slot))
        << Message(slot);
    int32_t at_end = 0;
    ASSERT_TRUE(dispatcher->bIsAtEnd(handle, key, reinterpret_cast<intptr_t>(&at_end), &slot));
    if (std::string(c.match).empty()) {
      EXPECT_NE(0, at_end) << N(c.value);
      continue;
    }
    ASSERT_EQ(0, at_end) << N(c.value);
    ASSERT_LT(at + 1, order.size());
    EXPECT_EQ(order[at], Record(dispatcher, handle, 3)) << N(c.value);
    CNATableAccess* access = s->pclGetCurrentTableAccess();
    ASSERT_NE(nullptr, access);
    ASSERT_NE(nullptr, access->pclGetResult());
    // Found by the server, but for a text that an earlier one equals under
    // the collation ('Mix' before 'mix'): the whole order was read.
    if (std::string(c.match) != "mix") {
      EXPECT_LT(access->pclGetResult()->nGetRowCount(), static_cast<int64_t>(order.size()))
          << N(c.value);
    }
    ASSERT_TRUE(dispatcher->bRead(handle, key, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
    EXPECT_EQ(order[at + 1], Record(dispatcher, handle, 3)) << N(c.value);
    ASSERT_TRUE(dispatcher->bRead(handle, key, kNAReadPrevious, 0, 1, 0, 0, &slot))
        << Message(slot);
    EXPECT_EQ(order[at], Record(dispatcher, handle, 3)) << N(c.value);
    if (at > 0) {
      ASSERT_TRUE(dispatcher->bRead(handle, key, kNAReadPrevious, 0, 1, 0, 0, &slot))
          << Message(slot);
      EXPECT_EQ(order[at - 1], Record(dispatcher, handle, 3)) << N(c.value);
    }
  }
  ReleaseBoth(s);
}

// Record cache 1 keeps the records of saved positions, of the cached
// current entry and of locked records, each holder with one use of its
// entry: a restore makes the position's entry the cached current one (and
// honours its lock argument), and an entry is free once its last holder
// gives it back. Positions that keep one record compare equal.
TEST_F(SessionWalk, SavedPositionsAndLocksKeepCachedRecords) {
  ASSERT_TRUE(Sql("CREATE TABLE p (id INT PRIMARY KEY, v VARCHAR(10)) ENGINE=InnoDB; "
                  "INSERT INTO p SELECT seq, CONCAT('r', seq) FROM seq_1_to_10"));
  auto [handle, dispatcher] = Open(u"p");
  CNASession* s = dispatcher->pclFindSession(handle);
  ASSERT_NE(nullptr, s);
  CNARecordCache* cache = s->pclGetRecordCache(1);
  ASSERT_NE(nullptr, cache);
  INAError* slot = nullptr;
  const intptr_t id = reinterpret_cast<intptr_t>(u"id");
  ASSERT_TRUE(dispatcher->bRead(handle, id, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
  ASSERT_TRUE(dispatcher->bRead(handle, id, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  CNAError e;
  uint32_t first = 0, current = 0, later = 0;
  ASSERT_TRUE(s->bSavePosition(reinterpret_cast<intptr_t>(&first), u"id", 0, &e))
      << N(e.pszGetMessage());
  ASSERT_TRUE(s->bSaveCurrentRecord(reinterpret_cast<intptr_t>(&current), &e))
      << N(e.pszGetMessage());
  auto entry_of = [&](uint32_t serial) {
    auto* position = static_cast<CNASavedPosition*>(s->pclFindSavedPosition(serial));
    int n = position != nullptr ? position->nGetSlot() : -2;
    if (position != nullptr) ReleaseBoth(position);
    return n;
  };
  const int kept = entry_of(first);
  ASSERT_GE(kept, 0);
  const int kept_current = entry_of(current);
  ASSERT_GE(kept_current, 0);
  // A use per position (one entry when the record is found again).
  EXPECT_EQ(kept == kept_current ? 2 : 1, cache->nGetUses(kept));
  int32_t same = -1;
  EXPECT_TRUE(s->bComparePositions(first, current, reinterpret_cast<intptr_t>(&same), &e));
  EXPECT_EQ(1, same);
  // What the entry holds is the record saved.
  auto* logical = static_cast<CNAFileDescription*>(s->pclGetLogical());
  CNARefPtr<CNARecordImage> image(NAAddRef(logical->pclGetCurrentImage()->pclClone(255)));
  ASSERT_TRUE(s->bReadCachedRecord(kept, image.Get(), &e));
  EXPECT_TRUE(image->bEquals(*logical->pclGetCurrentImage(), true));

  ASSERT_TRUE(dispatcher->bRead(handle, id, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  ASSERT_TRUE(s->bSavePosition(reinterpret_cast<intptr_t>(&later), u"id", 0, &e));
  EXPECT_NE(kept, entry_of(later));
  int32_t differ = -1;
  EXPECT_TRUE(s->bComparePositions(first, later, reinterpret_cast<intptr_t>(&differ), &e));
  EXPECT_EQ(0, differ);
  EXPECT_FALSE(image->bEquals(*logical->pclGetCurrentImage(), true));

  // Restore with the keep flag and a lock argument: back on record 2, its
  // entry the cached current one, the record locked.
  ASSERT_TRUE(s->bRestorePosition(first, 0, 1, 1, &e)) << N(e.pszGetMessage());
  EXPECT_EQ("2\tr2", Record(dispatcher, handle, 2));
  EXPECT_EQ(kept, s->nGetCachedCurrent());
  EXPECT_EQ(kept == kept_current ? 3 : 2, cache->nGetUses(kept));
  CNATableAccess* access = s->pclFindTableAccess(u"id");
  ASSERT_NE(nullptr, access);
  EXPECT_NE(0, access->nGetLockMode());
  // Holders give their uses back; the entry is free after the last.
  s->ForgetPosition(first);
  s->ForgetPosition(current);
  EXPECT_EQ(1, cache->nGetUses(kept));
  EXPECT_FALSE(s->bIsCacheEntryFree(kept));
  ASSERT_TRUE(s->bRereadValues(false, &e));
  EXPECT_EQ(-1, s->nGetCachedCurrent());
  EXPECT_TRUE(s->bIsCacheEntryFree(kept));
  EXPECT_FALSE(s->bReadCachedRecord(kept, image.Get(), &e));

  // The current record by hand: stored with a use, read back, given back.
  const int stored = s->nCacheRecordImage(&e);
  ASSERT_GE(stored, 0);
  EXPECT_FALSE(s->bIsCacheEntryFree(stored));
  ASSERT_TRUE(s->bReadCachedRecord(stored, image.Get(), &e));
  EXPECT_TRUE(image->bEquals(*logical->pclGetCurrentImage(), true));
  s->AddRefCacheEntry(stored);
  s->ReleaseCacheEntry(stored);
  s->ReleaseCacheEntry(stored);
  EXPECT_TRUE(s->bIsCacheEntryFree(stored));

  // Locking a record through the session keeps it in the cache for the
  // object, which reads it back into the saved record.
  access->nSetLockState(0);
  ASSERT_TRUE(s->bLockRecordOf(u"id", &e));
  EXPECT_EQ(2, access->nGetLockMode());
  ASSERT_GE(access->m_nLockedEntry, 0);
  ASSERT_TRUE(s->bReadCachedRecordOf(access, &e));
  EXPECT_TRUE(logical->pclGetSavedImage()->bEquals(*logical->pclGetCurrentImage(), true));
  s->ReleaseLockedEntry(access);
  EXPECT_EQ(-1, access->m_nLockedEntry);
  // A name without object locks nothing and succeeds.
  EXPECT_TRUE(s->bLockRecordOf(u"nothing", &e));
  ReleaseBoth(access);
  ReleaseBoth(s);
}

// A first or last read through the record cache (0x2000 with 0x4000) is
// answered by the rows the object holds when they are the key's whole
// order: no SELECT, and what another connection wrote since is not seen.
// A read without those flags, or over rows cut by fetches, asks the server.
TEST_F(SessionWalk, AFirstReadThroughTheCacheIsAnsweredByTheWholeOrderHeld) {
  ASSERT_TRUE(Sql("CREATE TABLE r (id INT PRIMARY KEY, v INT) ENGINE=InnoDB; "
                  "INSERT INTO r SELECT seq, seq * 2 FROM seq_1_to_10"));
  auto [handle, dispatcher] = Open(u"r");
  const intptr_t id = reinterpret_cast<intptr_t>(u"id");
  auto selects = [&] {
    std::vector<std::string> row = ServerRows("SHOW GLOBAL STATUS LIKE 'Com_select'");
    return row.size() == 1 ? std::stoll(row[0].substr(row[0].find('\t') + 1)) : -1;
  };
  auto read = [&](int direction, intptr_t flags) {
    INAError* slot = nullptr;
    EXPECT_TRUE(dispatcher->bRead(handle, id, direction, flags, 1, 0, 0, &slot)) << Message(slot);
    return Record(dispatcher, handle, 2);
  };
  EXPECT_EQ(10u, Walk(dispatcher, handle, u"id", kNAReadFirst, kNAReadNext, 2).size());
  ASSERT_TRUE(Sql("INSERT INTO r VALUES (0, 0), (11, 22)"));
  const long long start = selects();
  const long long idle = selects() - start;
  const long long before = selects();
  EXPECT_EQ("1\t2", read(kNAReadFirst, 0x6000));
  EXPECT_EQ("2\t4", read(kNAReadNext, 0x6000));
  EXPECT_EQ("10\t20", read(kNAReadLast, 0x6000));
  EXPECT_EQ(idle, selects() - before);
  // Only one of the two flags, or none: the server's rows.
  EXPECT_EQ("0\t0", read(kNAReadFirst, 0x2000));
  EXPECT_EQ("11\t22", read(kNAReadLast, 0));

  // Rows held in fetches of 3 are not the whole order: the server again.
  CNASession* s = dispatcher->pclFindSession(handle);
  ASSERT_NE(nullptr, s);
  s->pclGetConnection()->m_nCacheSize = 3;
  ReleaseBoth(s);
  EXPECT_EQ("0\t0", read(kNAReadFirst, 0));
  EXPECT_EQ("1\t2", read(kNAReadNext, 0));
  ASSERT_TRUE(Sql("DELETE FROM r WHERE id = 0"));
  EXPECT_EQ("1\t2", read(kNAReadFirst, 0x6000));
}

// Positions of two objects compare by the records they keep in record
// cache 1: read into images of their own, on the description's unique key,
// so that one record saved twice (changed in between) is one record and
// the session's current and saved records stay as they were. Without an
// object, an item reads the record the description holds.
TEST_F(SessionWalk, PositionsOfTwoObjectsCompareTheirCachedRecordsOnTheUniqueKey) {
  ASSERT_TRUE(Sql("CREATE TABLE c (id INT PRIMARY KEY, k INT NOT NULL, v VARCHAR(8), "
                  "KEY kk (k)) ENGINE=InnoDB; "
                  "INSERT INTO c VALUES (1, 30, 'a'), (2, 10, 'b'), (3, 20, 'c')"));
  auto [handle, dispatcher] = Open(u"c");
  CNASession* s = dispatcher->pclFindSession(handle);
  ASSERT_NE(nullptr, s);
  CNARefPtr<CNASession> hold(s);
  INAError* slot = nullptr;
  CNAError e;
  const intptr_t id = reinterpret_cast<intptr_t>(u"id");
  const intptr_t k = reinterpret_cast<intptr_t>(u"k");
  auto save = [&](const char16_t* name) {
    uint32_t serial = 0;
    EXPECT_TRUE(s->bSavePosition(reinterpret_cast<intptr_t>(&serial), name, 0, &e))
        << N(e.pszGetMessage());
    return serial;
  };
  auto entry_of = [&](uint32_t serial) {
    auto* position = static_cast<CNASavedPosition*>(s->pclFindSavedPosition(serial));
    int n = position != nullptr ? position->nGetSlot() : -2;
    if (position != nullptr) ReleaseBoth(position);
    return n;
  };
  auto compare = [&](uint32_t a, uint32_t b) {
    int32_t same = -1;
    EXPECT_TRUE(s->bComparePositions(a, b, reinterpret_cast<intptr_t>(&same), &e));
    return same;
  };
  // Record 2 along id, then changed by another connection, then read
  // again along k (its first record): two entries, one record.
  ASSERT_TRUE(dispatcher->bRead(handle, id, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
  ASSERT_TRUE(dispatcher->bRead(handle, id, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  const uint32_t by_id = save(u"id");
  ASSERT_TRUE(Sql("UPDATE c SET v = 'B' WHERE id = 2"));
  ASSERT_TRUE(dispatcher->bRead(handle, k, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
  ASSERT_EQ("2\t10\tB", Record(dispatcher, handle, 3));
  const uint32_t by_k = save(u"k");
  ASSERT_GE(entry_of(by_id), 0);
  ASSERT_GE(entry_of(by_k), 0);
  ASSERT_NE(entry_of(by_id), entry_of(by_k));
  ASSERT_TRUE(dispatcher->bRead(handle, k, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  const uint32_t other = save(u"k");

  auto* logical = static_cast<CNAFileDescription*>(s->pclGetLogical());
  ASSERT_NE(nullptr, logical);
  CNARefPtr<CNARecordImage> current(NAAddRef(logical->pclGetCurrentImage()->pclClone(255)));
  CNARefPtr<CNARecordImage> saved(NAAddRef(logical->pclGetSavedImage()->pclClone(255)));
  EXPECT_EQ(1, compare(by_id, by_k));
  EXPECT_EQ(0, compare(by_id, other));
  EXPECT_EQ(0, compare(by_k, other));
  // The cached records themselves tell; an entry missing tells nothing.
  EXPECT_EQ(1, s->nCompareCachedKeys(entry_of(by_id), entry_of(by_k), &e));
  EXPECT_EQ(0, s->nCompareCachedKeys(entry_of(by_id), entry_of(other), &e));
  EXPECT_EQ(-1, s->nCompareCachedKeys(entry_of(by_id), -1, &e));
  EXPECT_TRUE(current->bEquals(*logical->pclGetCurrentImage(), true));
  EXPECT_TRUE(saved->bEquals(*logical->pclGetSavedImage(), true));
  // A serial that names no position.
  int32_t none = -1;
  EXPECT_FALSE(s->bComparePositions(by_id, 987654321, reinterpret_cast<intptr_t>(&none), &e));
  e.Reset();

  // A restore copies the record kept into the saved record and the
  // current one: the record as saved, before the other connection wrote.
  CNARefPtr<CNARecordImage> kept(NAAddRef(logical->pclGetCurrentImage()->pclClone(255)));
  ASSERT_TRUE(s->bReadCachedRecord(entry_of(by_id), kept.Get(), &e));
  ASSERT_TRUE(s->bRestorePosition(by_id, 0, 1, 0, &e)) << N(e.pszGetMessage());
  EXPECT_TRUE(kept->bEquals(*logical->pclGetSavedImage(), true));
  EXPECT_TRUE(kept->bEquals(*logical->pclGetCurrentImage(), true));
  EXPECT_EQ(entry_of(by_id), s->nGetCachedCurrent());

  // No object current: the items read the record the description holds.
  CNATableAccess* before = s->pclGetCurrentTableAccess();
  s->SetCurrentTableAccess(nullptr);
  EXPECT_EQ("2\t10\tb", Record(dispatcher, handle, 3));
  s->SetCurrentTableAccess(before);
}

using qg::rig::HostItem;

TEST_F(SessionWalk, CreatedTablesTakeRecordsAndNameWhatFails) {
  // id: automatic; u: a generated 16-byte key; name: unique, not null;
  // grp: a key with duplicates.
  auto* file = new qghost::FileDescription(u"made", 1);
  HostItem(file, u"id", kNAColAutoId4, 4, kNAKeyPrimary);
  HostItem(file, u"u", kNAColUuid16Generated, 16, 0);
  HostItem(file, u"name", kNAColVarChar, 21, kNAKeyUnique);
  HostItem(file, u"grp", kNAColInt4, 4, kNAKeyDuplicates);
  file->keyed = true;
  auto [handle, d] = Open(u"made", file, true);
  std::vector<std::string> indexes =
      ServerRows("SELECT COLUMN_NAME, NON_UNIQUE FROM information_schema.STATISTICS WHERE "
                 "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'made' AND INDEX_NAME <> 'PRIMARY' "
                 "AND INDEX_NAME LIKE 'QGIDX%' ORDER BY COLUMN_NAME");
  EXPECT_EQ((std::vector<std::string>{"grp\t1", "name\t0"}), indexes);

  CNASession* session = d->pclFindSession(handle);
  ASSERT_NE(nullptr, session);
  INAError* slot = nullptr;
  for (int i = 1; i <= 3; ++i) {
    SetText(d, handle, 2, (u"n" + std::u16string(1, char16_t(u'0' + i))).c_str());
    SetInt(d, handle, 3, i % 2);
    ASSERT_TRUE(d->bAdd(handle, 0, 0, &slot)) << Message(slot);
    // The generated identifier comes back into the record.
    const CAny* id = session->pclGetEdits()->pclGet(0);
    ASSERT_NE(nullptr, id);
    int64_t n = 0;
    EXPECT_EQ(0, const_cast<CAny*>(id)->nGetI8(&n));
    EXPECT_EQ(i, n);
  }
  // Version-4 UUIDs, all different.
  EXPECT_EQ((std::vector<std::string>{"3\t3\t3"}),
            ServerRows("SELECT COUNT(DISTINCT u), SUM(SUBSTR(HEX(u), 13, 1) = '4'), "
                       "SUM(SUBSTR(HEX(u), 17, 1) IN ('8', '9', 'A', 'B')) FROM made"));

  // A duplicate of the unique key: code 3, naming the key.
  SetText(d, handle, 2, u"n2");
  SetInt(d, handle, 3, 7);
  EXPECT_FALSE(d->bAdd(handle, 0, 0, &slot));
  Failure duplicate = Failed(slot);
  EXPECT_EQ(3, duplicate.code) << duplicate.text;
  EXPECT_EQ("name", duplicate.item);
  session->pclGetEdits()->Clear();

  // Modify: the row is named by its key as read, even when the key is
  // edited; a row deleted elsewhere meanwhile is not found.
  ASSERT_TRUE(d->bRead(handle, reinterpret_cast<intptr_t>(u"name"), kNAReadFirst, 0, 1, 0, 0,
                       &slot))
      << Message(slot);
  EXPECT_EQ("1", Record(d, handle, 4).substr(0, 1));
  SetText(d, handle, 2, u"n9");
  ASSERT_TRUE(d->bModify(handle, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"1\tn9", "2\tn2", "3\tn3"}),
            ServerRows("SELECT id, name FROM made ORDER BY id"));
  ASSERT_TRUE(d->bRead(handle, reinterpret_cast<intptr_t>(u"name"), kNAReadNext, 0, 1, 0, 0,
                       &slot))
      << Message(slot);
  ASSERT_TRUE(Sql("DELETE FROM made WHERE id = 2"));
  SetText(d, handle, 2, u"gone");
  EXPECT_FALSE(d->bModify(handle, 0, 0, 0, 0, &slot));
  Failure gone = Failed(slot);
  EXPECT_EQ(9, gone.code) << gone.text;
  EXPECT_NE(std::string::npos, gone.text.find("IEQGMARIA=4.12")) << gone.text;

  // Delete of the current record.
  session->pclGetEdits()->Clear();
  ASSERT_TRUE(d->bRead(handle, reinterpret_cast<intptr_t>(u"name"), kNAReadLast, 0, 1, 0, 0,
                       &slot))
      << Message(slot);
  ASSERT_TRUE(d->bDelete(handle, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"3\tn3"}),
            ServerRows("SELECT id, name FROM made ORDER BY id"));
  ReleaseBoth(session);
}

TEST_F(SessionWalk, ForeignKeysAndLockWaitsHaveTheirKinds) {
  ASSERT_TRUE(Sql("SET GLOBAL innodb_lock_wait_timeout = 1; "
                  "CREATE TABLE parent (id INT PRIMARY KEY) ENGINE=InnoDB; "
                  "CREATE TABLE child (id INT PRIMARY KEY, parent INT, "
                  "FOREIGN KEY (parent) REFERENCES parent (id)) ENGINE=InnoDB; "
                  "INSERT INTO parent VALUES (1)"));
  auto [handle, d] = Open(u"child");
  INAError* slot = nullptr;
  SetInt(d, handle, 0, 1);
  SetInt(d, handle, 1, 2);
  EXPECT_FALSE(d->bAdd(handle, 0, 0, &slot));
  Failure fk = Failed(slot);
  EXPECT_EQ(4, fk.code) << fk.text;

  // A value missing where none may be null: code 8, naming the item.
  ASSERT_TRUE(Sql("CREATE TABLE nn (id INT PRIMARY KEY, v INT NOT NULL)"));
  auto [nhandle, nd] = Open(u"nn");
  SetInt(nd, nhandle, 0, 1);
  EXPECT_FALSE(nd->bAdd(nhandle, 0, 0, &slot));
  Failure missing = Failed(slot);
  EXPECT_EQ(8, missing.code) << missing.text;
  EXPECT_EQ("v", missing.item);

  // Another connection holds the parent row: the update waits, then fails.
  auto [phandle, pd] = Open(u"parent");
  ASSERT_TRUE(pd->bRead(phandle, reinterpret_cast<intptr_t>(u"id"), kNAReadFirst, 0, 1, 0, 0,
                        &slot))
      << Message(slot);
  std::string out;
  std::thread holder([&] {
    qg::rig::TestServer()->RunSql("USE `" + database_.Name() +
                                      "`; BEGIN; SELECT * FROM parent FOR UPDATE; "
                                      "SELECT SLEEP(300); COMMIT",
                                  &out);
  });
  // The holder's SLEEP starts only once its lock is taken; it is killed when the update has
  // failed, so no wait depends on how busy the machine is.
  std::string holder_id;
  for (int i = 0; i < 6000 && holder_id.empty(); ++i) {
    std::vector<std::string> ids = ServerRows(
        "SELECT ID FROM information_schema.PROCESSLIST WHERE INFO = 'SELECT SLEEP(300)'");
    if (!ids.empty()) {
      holder_id = ids[0];
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  EXPECT_FALSE(holder_id.empty()) << "the other connection never took its lock";
  SetInt(pd, phandle, 0, 5);
  EXPECT_FALSE(pd->bModify(phandle, 0, 0, 0, 0, &slot));
  Failure wait = Failed(slot);
  EXPECT_EQ(2, wait.code) << wait.text;
  if (!holder_id.empty()) Sql("KILL " + holder_id);
  holder.join();
  Sql("SET GLOBAL innodb_lock_wait_timeout = 50");
}

TEST_F(SessionWalk, SavedPositionsRestoreAndReadingGoesOnFromThem) {
  ASSERT_TRUE(Sql("CREATE TABLE p (id INT PRIMARY KEY, v INT) ENGINE=InnoDB; "
                  "INSERT INTO p SELECT seq, seq * 10 FROM seq_1_to_100"));
  auto [h, d] = Open(u"p");
  const auto key = reinterpret_cast<intptr_t>(u"id");
  INAError* slot = nullptr;
  ASSERT_TRUE(d->bRead(h, key, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
  // 60 positions, one per record read: every one restores.
  std::vector<uint32_t> serials;
  for (int i = 0; i < 60; ++i) {
    uint32_t serial = 0;
    ASSERT_TRUE(d->bSavePosition(h, key, reinterpret_cast<intptr_t>(&serial), 0, &slot))
        << Message(slot);
    ASSERT_NE(0u, serial);
    serials.push_back(serial);
    ASSERT_TRUE(d->bRead(h, key, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  }
  EXPECT_EQ("61\t610", Record(d, h, 2));
  // Same serial: equal without reading; two rows of one object: different.
  int32_t same = -1;
  EXPECT_TRUE(d->bComparePositions(h, serials[3], serials[3],
                                   reinterpret_cast<intptr_t>(&same), &slot));
  EXPECT_EQ(1, same);
  EXPECT_TRUE(d->bComparePositions(h, serials[3], serials[4],
                                   reinterpret_cast<intptr_t>(&same), &slot));
  EXPECT_EQ(0, same);
  for (int i = 59; i >= 0; i -= 7) {
    char16_t name[256];
    ASSERT_TRUE(d->bRestorePosition(h, serials[i], reinterpret_cast<intptr_t>(name), 1, 0, &slot))
        << Message(slot);
    EXPECT_EQ(std::u16string(u"id"), name);
    EXPECT_EQ(std::to_string(i + 1) + "\t" + std::to_string((i + 1) * 10), Record(d, h, 2));
  }
  // Restore without keeping, then the next read goes on from the record.
  char16_t name[256];
  ASSERT_TRUE(d->bRestorePosition(h, serials[10], reinterpret_cast<intptr_t>(name), 0, 0, &slot))
      << Message(slot);
  ASSERT_TRUE(d->bRead(h, key, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("12\t120", Record(d, h, 2));
  // The serial restored without keep names no position any more.
  EXPECT_FALSE(d->bRestorePosition(h, serials[10], reinterpret_cast<intptr_t>(name), 0, 0, &slot));
  Failure gone = Failed(slot);
  EXPECT_NE(std::string::npos, gone.text.find("IEQGMARIA=3.2")) << gone.text;
}

TEST_F(SessionWalk, AWriteThroughOneHandleReachesAnotherAndCreateStartsAfresh) {
  auto* file = new qghost::FileDescription(u"shared", 1);
  HostItem(file, u"id", kNAColInt4, 4, kNAKeyPrimary);
  HostItem(file, u"v", kNAColInt4, 4, 0);
  file->keyed = true;
  auto [a, da] = Open(u"shared", file, true);
  INAError* slot = nullptr;
  SetInt(da, a, 0, 1);
  SetInt(da, a, 1, 10);
  ASSERT_TRUE(da->bAdd(a, 0, 0, &slot)) << Message(slot);
  // A second handle of the same table in another host context.
  auto* second = new qghost::FileDescription(u"shared", 2);
  auto [b, db] = Open(u"shared", second);
  const auto key = reinterpret_cast<intptr_t>(u"id");
  ASSERT_TRUE(db->bRead(b, key, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("1\t10", Record(db, b, 2));
  SetInt(da, a, 0, 2);
  SetInt(da, a, 1, 20);
  ASSERT_TRUE(da->bAdd(a, 0, 0, &slot)) << Message(slot);
  ASSERT_TRUE(db->bRead(b, key, kNAReadLast, 0, 1, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("2\t20", Record(db, b, 2));
  // Creating again drops the table first: it starts empty.
  ASSERT_TRUE(da->bCreate(a, description_, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"0"}), ServerRows("SELECT COUNT(*) FROM shared"));
}

TEST_F(SessionWalk, CreateRetriesOversizedTextsAsLongTexts) {
  // 300 texts of 300 characters pass the row size limit: the server
  // refuses the table, the driver makes them long texts and succeeds.
  auto* file = new qghost::FileDescription(u"wide", 1);
  HostItem(file, u"id", kNAColInt4, 4, kNAKeyPrimary);
  for (int i = 0; i < 300; ++i) {
    std::u16string name = u"t" + U(std::to_string(i));
    qghost::FileDescription::Item item;
    item.name = name;
    item.item.bHasSource = true;
    item.item.nColumnType = kNAColVarChar;
    item.item.nSize = 301;
    file->items.push_back(item);
  }
  Open(u"wide", file, true);
  EXPECT_EQ((std::vector<std::string>{"longtext\t300"}),
            ServerRows("SELECT DATA_TYPE, COUNT(*) FROM information_schema.COLUMNS WHERE "
                       "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'wide' AND "
                       "COLUMN_NAME LIKE 't%' GROUP BY DATA_TYPE"));
}

// A walk along the primary key reads the rows as they stand ahead of it:
// rows another connection adds ahead of the position come, rows it deletes
// ahead do not; a walk over one result in hand reads the rows as they were
// when it began.
TEST_F(SessionWalk, AWalkGoesOnWhileAnotherConnectionInsertsAndDeletesAhead) {
  ASSERT_TRUE(Sql("CREATE TABLE w (id INT PRIMARY KEY, a INT) ENGINE=InnoDB"));
  auto [h, d] = Open(u"w");
  const auto key = reinterpret_cast<intptr_t>(u"id");
  for (int64_t fetch : {int64_t{-2}, int64_t{7}, int64_t{100}}) {
    ASSERT_TRUE(Sql("DELETE FROM w; INSERT INTO w SELECT seq, seq % 10 FROM seq_1_to_1000"));
    CNASession* s = d->pclFindSession(h);
    ASSERT_NE(nullptr, s);
    s->pclGetConnection()->m_nCacheSize = fetch;
    ReleaseBoth(s);
    std::vector<std::string> before = ServerRows("SELECT id, a FROM w ORDER BY id");
    std::vector<std::string> walked;
    INAError* slot = nullptr;
    int direction = kNAReadFirst;
    for (int i = 0; i < 300; ++i) {
      ASSERT_TRUE(d->bRead(h, key, direction, 0, 1, 0, 0, &slot)) << Message(slot);
      walked.push_back(Record(d, h, 2));
      direction = kNAReadNext;
    }
    ASSERT_TRUE(Sql("INSERT INTO w SELECT seq, 99 FROM seq_1001_to_1010; "
                    "DELETE FROM w WHERE id BETWEEN 500 AND 509 OR id = 1000; "
                    "UPDATE w SET a = 42 WHERE id = 700"));
    for (;;) {
      ASSERT_TRUE(d->bRead(h, key, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
      int32_t end = 0;
      ASSERT_TRUE(d->bIsAtEnd(h, key, reinterpret_cast<intptr_t>(&end), &slot));
      if (end != 0) break;
      walked.push_back(Record(d, h, 2));
    }
    std::vector<std::string> expected;
    if (fetch == 7 || fetch == 100) {
      expected.assign(before.begin(), before.begin() + 300);
      std::vector<std::string> ahead = ServerRows("SELECT id, a FROM w WHERE id > 300 ORDER BY id");
      expected.insert(expected.end(), ahead.begin(), ahead.end());
    } else {
      expected = before;
    }
    EXPECT_EQ(expected, walked) << "fetch " << fetch;
  }
}

// Per-mille positions both ways through the session, over a result in hand
// and over fetches of 7 rows.
TEST_F(SessionWalk, PerMilleBothWaysThroughTheSession) {
  ASSERT_TRUE(Sql("CREATE TABLE m (id INT PRIMARY KEY, v INT) ENGINE=InnoDB; "
                  "INSERT INTO m SELECT seq, seq * 2 FROM seq_1_to_1000"));
  auto [h, d] = Open(u"m");
  const char16_t* key = u"id";
  for (int64_t fetch : {int64_t{-2}, int64_t{7}}) {
    CNASession* s = d->pclFindSession(h);
    ASSERT_NE(nullptr, s);
    s->pclGetConnection()->m_nCacheSize = fetch;
    ReleaseBoth(s);
    INAError* slot = nullptr;
    ASSERT_TRUE(d->bRead(h, reinterpret_cast<intptr_t>(key), kNAReadFirst, 0, 1, 0, 0, &slot))
        << Message(slot);
    struct Case {
      int32_t go;
      int record;
      int32_t back;
    } cases[] = {{500, 500, 500}, {0, 1, 1}, {1, 1, 1}, {333, 333, 333}, {999, 999, 999},
                 {1000, 1000, 1000}, {250, 250, 250}};
    for (const Case& c : cases) {
      ASSERT_TRUE(d->bGoToPerMille(h, reinterpret_cast<intptr_t>(key), c.go, 0, 0, &slot))
          << Message(slot);
      EXPECT_EQ(std::to_string(c.record) + "\t" + std::to_string(c.record * 2), Record(d, h, 2))
          << "fetch " << fetch << " per-mille " << c.go;
      int32_t back = -1;
      ASSERT_TRUE(d->bGetPositionPerMille(h, reinterpret_cast<intptr_t>(&back),
                                          reinterpret_cast<intptr_t>(key), 0, 0, &slot))
          << Message(slot);
      EXPECT_EQ(c.back, back) << "fetch " << fetch << " per-mille " << c.go;
    }
    // The walk goes on from a per-mille position.
    ASSERT_TRUE(d->bGoToPerMille(h, reinterpret_cast<intptr_t>(key), 500, 0, 0, &slot));
    ASSERT_TRUE(d->bRead(h, reinterpret_cast<intptr_t>(key), kNAReadPrevious, 0, 1, 0, 0, &slot));
    EXPECT_EQ("499\t998", Record(d, h, 2)) << "fetch " << fetch;
  }
}

// A transaction ended through the manager resets the handles on its
// connection: a record locked by a read is locked again at the next move,
// and the walk goes on where it stood.
TEST_F(SessionWalk, ACommitThroughTheManagerResetsTheHandlesOfItsConnection) {
  ASSERT_TRUE(Sql("CREATE TABLE c (id INT PRIMARY KEY, v INT) ENGINE=InnoDB; "
                  "INSERT INTO c SELECT seq, seq FROM seq_1_to_20"));
  auto [h, d] = Open(u"c");
  const auto key = reinterpret_cast<intptr_t>(u"id");
  INAError* slot = nullptr;
  ASSERT_TRUE(manager_->bBeginTransaction(description_, u"", &slot)) << Message(slot);
  ASSERT_TRUE(d->bRead(h, key, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
  ASSERT_TRUE(d->bRead(h, key, kNAReadNext, 0, 1, /*lock*/ 1, 0, &slot)) << Message(slot);
  SetInt(d, h, 1, 200);
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  CNASession* s = d->pclFindSession(h);
  ASSERT_NE(nullptr, s);
  CNATableAccess* reader = s->pclGetCurrentTableAccess();
  ASSERT_NE(nullptr, reader);
  EXPECT_EQ(1, reader->nGetLockMode());
  // Not visible to others before the commit.
  EXPECT_EQ(std::vector<std::string>{"2"}, ServerRows("SELECT v FROM c WHERE id = 2"));
  ASSERT_TRUE(manager_->bCommitTransaction(description_, u"", &slot)) << Message(slot);
  EXPECT_EQ(2, reader->nGetLockMode());
  ReleaseBoth(s);
  EXPECT_EQ(std::vector<std::string>{"200"}, ServerRows("SELECT v FROM c WHERE id = 2"));
  ASSERT_TRUE(d->bRead(h, key, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("3\t3", Record(d, h, 2));
}

// The current record handed to another key's object, read again from the
// server, read back from a saved position, compared across keys, and
// written again by a modify after it was deleted.
TEST_F(SessionWalk, TheCurrentRecordMovesBetweenKeysAndIsReadAgain) {
  ASSERT_TRUE(Sql("CREATE TABLE r (id INT PRIMARY KEY, a INT, t VARCHAR(8), KEY ka (a)) "
                  "ENGINE=InnoDB; "
                  "INSERT INTO r SELECT seq, seq % 5, CONCAT('t', seq) FROM seq_1_to_40"));
  auto [h, d] = Open(u"r");
  const auto by_id = reinterpret_cast<intptr_t>(u"id");
  const auto by_a = reinterpret_cast<intptr_t>(u"a");
  INAError* slot = nullptr;
  // Along a: 5, 10, ... (a = 0) then 1, 6, ... (a = 1).
  ASSERT_TRUE(d->bRead(h, by_a, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
  for (int i = 0; i < 9; ++i) ASSERT_TRUE(d->bRead(h, by_a, kNAReadNext, 0, 1, 0, 0, &slot));
  ASSERT_EQ("6\t1\tt6", Record(d, h, 3));
  uint32_t on_a = 0;
  ASSERT_TRUE(d->bSavePosition(h, by_a, reinterpret_cast<intptr_t>(&on_a), 0, &slot));
  // Handed to id: the walk goes on along id from the same record.
  ASSERT_TRUE(d->bHandOverCurrent(h, by_id, 0, &slot)) << Message(slot);
  ASSERT_TRUE(d->bRead(h, by_id, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("7\t2\tt7", Record(d, h, 3));
  ASSERT_TRUE(d->bRead(h, by_id, kNAReadPrevious, 0, 1, 0, 0, &slot));
  EXPECT_EQ("6\t1\tt6", Record(d, h, 3));
  uint32_t on_id = 0;
  ASSERT_TRUE(d->bSavePosition(h, by_id, reinterpret_cast<intptr_t>(&on_id), 0, &slot));
  ASSERT_TRUE(d->bRead(h, by_id, kNAReadNext, 0, 1, 0, 0, &slot));
  uint32_t other = 0;
  ASSERT_TRUE(d->bSavePosition(h, by_id, reinterpret_cast<intptr_t>(&other), 0, &slot));
  // Positions of two keys on one record are one record; on two, not.
  int32_t same = -1;
  ASSERT_TRUE(d->bComparePositions(h, on_a, on_id, reinterpret_cast<intptr_t>(&same), &slot));
  EXPECT_EQ(1, same);
  ASSERT_TRUE(d->bComparePositions(h, on_a, other, reinterpret_cast<intptr_t>(&same), &slot));
  EXPECT_EQ(0, same);
  // A saved record read back becomes the current record.
  ASSERT_TRUE(d->bReadSavedRecord(h, on_id, 1, &slot)) << Message(slot);
  EXPECT_EQ("6\t1\tt6", Record(d, h, 3));
  EXPECT_FALSE(d->bReadSavedRecord(h, 999999, 0, &slot));
  EXPECT_NE(std::string::npos, Failed(slot).text.find("IEQGMARIA=3.30"));

  // Read again: the server's values now.
  ASSERT_TRUE(Sql("UPDATE r SET t = 'changed' WHERE id = 6"));
  ASSERT_TRUE(d->bReread(h, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("6\t1\tchanged", Record(d, h, 3));
  ASSERT_TRUE(d->bRead(h, by_id, kNAReadNext, 0, 1, 0, 0, &slot));
  EXPECT_EQ("7\t2\tt7", Record(d, h, 3));
  ASSERT_TRUE(Sql("DELETE FROM r WHERE id = 7"));
  EXPECT_FALSE(d->bReread(h, 0, 0, 0, 0, &slot));
  EXPECT_NE(std::string::npos, Failed(slot).text.find("IEQGMARIA=3.17"));

  // Deleted here, then modified: written again, whole, with the change.
  ASSERT_TRUE(d->bRead(h, by_id, kNAReadFirst, 0, 1, 0, 0, &slot));
  ASSERT_TRUE(d->bRead(h, by_id, kNAReadNext, 0, 1, 0, 0, &slot));
  ASSERT_EQ("2\t2\tt2", Record(d, h, 3));
  ASSERT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_TRUE(ServerRows("SELECT id FROM r WHERE id = 2").empty());
  int32_t flags = -1;
  ASSERT_TRUE(d->bGetRecordCounter(h, 0, 0, reinterpret_cast<intptr_t>(&flags), &slot));
  EXPECT_EQ(0x80, flags);
  SetText(d, h, 2, u"again");
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ(std::vector<std::string>{"2\t2\tagain"}, ServerRows("SELECT * FROM r WHERE id = 2"));
  // Deleted elsewhere: a modify finds no record and fails.
  ASSERT_TRUE(d->bRead(h, by_id, kNAReadFirst, 0, 1, 0, 0, &slot));
  ASSERT_TRUE(Sql("DELETE FROM r WHERE id = 1"));
  SetText(d, h, 2, u"lost");
  EXPECT_FALSE(d->bModify(h, 0, 0, 0, 0, &slot));
  Failed(slot);
  EXPECT_TRUE(ServerRows("SELECT id FROM r WHERE id = 1").empty());
  // A next (previous) read on a name that holds no rows yet goes on from
  // the current record along that name's key.
  const std::vector<std::string> by_t_rows = ServerRows("SELECT id, a, t FROM r ORDER BY t, id");
  const auto by_t = reinterpret_cast<intptr_t>(u"t");
  ASSERT_TRUE(d->bRead(h, by_id, kNAReadFirst, 0, 1, 0, 0, &slot));
  for (int i = 0; i < 11; ++i) ASSERT_TRUE(d->bRead(h, by_id, kNAReadNext, 0, 1, 0, 0, &slot));
  const std::string current = Record(d, h, 3);
  size_t at = std::find(by_t_rows.begin(), by_t_rows.end(), current) - by_t_rows.begin();
  ASSERT_TRUE(at > 0 && at + 1 < by_t_rows.size()) << current;
  ASSERT_TRUE(d->bRead(h, by_t, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ(by_t_rows[at + 1], Record(d, h, 3));
}

// A condition's key: its first unique key, else its first key, else its
// first column; the reads along that key then take only what it selects.
TEST_F(SessionWalk, AConditionChoosesItsKeyAndFiltersTheReadsAlongIt) {
  ASSERT_TRUE(Sql("CREATE TABLE f (id INT PRIMARY KEY, a INT, b INT, KEY ka (a)) ENGINE=InnoDB; "
                  "INSERT INTO f SELECT seq, seq % 4, seq % 3 FROM seq_1_to_30"));
  auto [h, d] = Open(u"f");
  auto leaf = [](const char16_t* column, int value) {
    NAFilterColumn c;
    c.strSql = std::u16string(u"`f`.`") + column + u"`";
    c.nColumnType = kNAColInt4;
    c.nVeliscType = qg::kAnyI4;
    CAny v;
    v.SetI4(value);
    return CNAFilter::pclNewLeaf(kNAFilterEqual, c, v, 0);
  };
  auto both = [](CNAFilter* x, CNAFilter* y) {
    CNAFilter* node = CNAFilter::pclNewBinary(kNAFilterAnd, x, y, 0);
    ReleaseBoth(x);
    ReleaseBoth(y);
    return node;
  };
  struct Case {
    CNAFilter* condition;
    const char* key;
    std::string first;  // the first record along the key
    size_t rows;
  } cases[] = {
      {both(leaf(u"b", 1), leaf(u"a", 2)), "a", "10\t2\t1", 2},
      {both(leaf(u"b", 1), both(leaf(u"a", 2), leaf(u"id", 22))), "id", "22\t2\t1", 1},
      {leaf(u"b", 0), "b", "3\t3\t0", 10},
  };
  for (Case& c : cases) {
    char16_t name[256] = {};
    INAError* slot = nullptr;
    ASSERT_TRUE(d->bChooseKeyAndFilter(h, reinterpret_cast<intptr_t>(c.condition),
                                       reinterpret_cast<intptr_t>(name), &slot))
        << Message(slot);
    EXPECT_EQ(c.key, N(name));
    std::vector<std::string> rows = Walk(d, h, name, kNAReadFirst, kNAReadNext, 3);
    ASSERT_EQ(c.rows, rows.size()) << c.key;
    EXPECT_EQ(c.first, rows[0]) << c.key;
    ReleaseBoth(c.condition);
  }
}

// A read that fails (the walk's connection killed by another client) leaves
// no position: every next or previous read fails until a read from an end
// stands on a record again.
TEST_F(SessionWalk, AFailedReadLeavesNoPositionToMoveFrom) {
  ASSERT_TRUE(Sql("CREATE TABLE f (id INT PRIMARY KEY, v INT) ENGINE=InnoDB; "
                  "INSERT INTO f SELECT seq, seq * 10 FROM seq_1_to_50"));
  auto [h, d] = Open(u"f");
  CNASession* s = d->pclFindSession(h);
  ASSERT_NE(nullptr, s);
  s->pclGetConnection()->m_nCacheSize = 7;
  ReleaseBoth(s);
  const auto key = reinterpret_cast<intptr_t>(u"id");
  INAError* slot = nullptr;
  ASSERT_TRUE(d->bRead(h, key, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
  ASSERT_TRUE(d->bRead(h, key, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  for (const std::string& id :
       ServerRows("SELECT ID FROM information_schema.PROCESSLIST WHERE DB = DATABASE() AND "
                  "ID <> CONNECTION_ID() AND COMMAND <> 'Daemon'")) {
    Sql("KILL " + id);
  }
  // The rows in hand still come; the next fetch fails.
  bool failed = false;
  for (int i = 0; i < 10 && !failed; ++i) {
    failed = !d->bRead(h, key, kNAReadNext, 0, 1, 0, 0, &slot);
    Message(slot);
  }
  ASSERT_TRUE(failed);
  for (int direction : {kNAReadNext, kNAReadNext, kNAReadPrevious}) {
    EXPECT_FALSE(d->bRead(h, key, direction, 0, 1, 0, 0, &slot))
        << "moved to " << Record(d, h, 2);
    EXPECT_NE("", Failed(slot).text);
  }
  // From an end the walk starts again (on a new connection).
  ASSERT_TRUE(d->bRead(h, key, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("1\t10", Record(d, h, 2));
  ASSERT_TRUE(d->bRead(h, key, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ("2\t20", Record(d, h, 2));
}

// A saved position stands for its record: after another connection deletes
// a row before it and the table is read afresh, restoring it comes back to
// the same record and the walk goes on from there; when the record itself
// is gone, restoring it fails.
TEST_F(SessionWalk, ARestoredPositionIsItsRecordOrFails) {
  ASSERT_TRUE(Sql("CREATE TABLE rp (id INT PRIMARY KEY, v INT) ENGINE=InnoDB"));
  auto [h, d] = Open(u"rp");
  const auto key = reinterpret_cast<intptr_t>(u"id");
  for (int64_t fetch : {int64_t{-2}, int64_t{7}}) {
    SCOPED_TRACE("fetch " + std::to_string(fetch));
    ASSERT_TRUE(Sql("DELETE FROM rp; INSERT INTO rp SELECT seq, seq * 10 FROM seq_1_to_100"));
    CNASession* s = d->pclFindSession(h);
    ASSERT_NE(nullptr, s);
    s->pclGetConnection()->m_nCacheSize = fetch;
    ReleaseBoth(s);
    INAError* slot = nullptr;
    ASSERT_TRUE(d->bRead(h, key, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
    for (int i = 1; i < 50; ++i) {
      ASSERT_TRUE(d->bRead(h, key, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
    }
    ASSERT_EQ("50\t500", Record(d, h, 2));
    uint32_t serial = 0;
    ASSERT_TRUE(d->bSavePosition(h, key, reinterpret_cast<intptr_t>(&serial), 0, &slot))
        << Message(slot);
    ASSERT_TRUE(Sql("DELETE FROM rp WHERE id = 10"));
    ASSERT_TRUE(d->bRead(h, key, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
    char16_t name[256];
    ASSERT_TRUE(d->bRestorePosition(h, serial, reinterpret_cast<intptr_t>(name), 1, 0, &slot))
        << Message(slot);
    EXPECT_EQ("50\t500", Record(d, h, 2));
    ASSERT_TRUE(d->bRead(h, key, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
    EXPECT_EQ("51\t510", Record(d, h, 2));
    ASSERT_TRUE(d->bRead(h, key, kNAReadPrevious, 0, 1, 0, 0, &slot)) << Message(slot);
    ASSERT_TRUE(d->bRead(h, key, kNAReadPrevious, 0, 1, 0, 0, &slot)) << Message(slot);
    EXPECT_EQ("49\t490", Record(d, h, 2));
    // The record itself gone: no other record stands in for it.
    ASSERT_TRUE(Sql("DELETE FROM rp WHERE id = 50"));
    ASSERT_TRUE(d->bRead(h, key, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
    EXPECT_FALSE(d->bRestorePosition(h, serial, reinterpret_cast<intptr_t>(name), 0, 0, &slot))
        << "restored on " << Record(d, h, 2);
    ASSERT_NE(nullptr, slot);
    EXPECT_EQ(13u, static_cast<CNAError*>(slot)->nGetErrorIdentifier()) << Message(slot);
    Message(slot);
  }
}

// Two positions saved along one walk are the same exactly when they stand
// on the same record, whichever fetch each was read in and whichever way
// the walk went: along a key with duplicates and along the primary key.
TEST_F(SessionWalk, SavedPositionsAreTheSameExactlyOnTheSameRecord) {
  ASSERT_TRUE(Sql("CREATE TABLE cp (id INT PRIMARY KEY, v INT, KEY kv(v)) ENGINE=InnoDB; "
                  "INSERT INTO cp SELECT seq, seq % 3 FROM seq_1_to_16"));
  auto [h, d] = Open(u"cp");
  CNASession* s = d->pclFindSession(h);
  ASSERT_NE(nullptr, s);
  s->pclGetConnection()->m_nCacheSize = 5;
  ReleaseBoth(s);
  for (const char16_t* name : {u"v", u"id"}) {
    SCOPED_TRACE(N(name));
    const auto key = reinterpret_cast<intptr_t>(name);
    INAError* slot = nullptr;
    // Each record once forward and once backward, with a position each.
    std::vector<std::pair<std::string, uint32_t>> saved;
    for (bool backward : {false, true}) {
      int direction = backward ? kNAReadLast : kNAReadFirst;
      for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(d->bRead(h, key, direction, 0, 1, 0, 0, &slot)) << Message(slot);
        direction = backward ? kNAReadPrevious : kNAReadNext;
        uint32_t serial = 0;
        ASSERT_TRUE(d->bSavePosition(h, key, reinterpret_cast<intptr_t>(&serial), 0, &slot))
            << Message(slot);
        saved.emplace_back(Record(d, h, 2), serial);
      }
    }
    int wrong = 0;
    for (const auto& [a_record, a] : saved) {
      for (const auto& [b_record, b] : saved) {
        int32_t same = -1;
        ASSERT_TRUE(d->bComparePositions(h, a, b, reinterpret_cast<intptr_t>(&same), &slot))
            << Message(slot);
        if (same != (a_record == b_record ? 1 : 0) && ++wrong <= 5) {
          ADD_FAILURE() << a_record << " against " << b_record << " gives " << same;
        }
      }
    }
    EXPECT_EQ(0, wrong);
    for (const auto& entry : saved) {
      d->bForgetPosition(h, entry.second, 0);
    }
  }
}

// The current record handed to a key that is not unique and read again
// there: the reads go on from it along that key's order (ties broken by
// the primary key) in both directions, across fetches, also when the
// primary key holds bytes a literal must keep (zero, quote, backslash).
TEST_F(SessionWalk, AHandedOverRecordGoesOnAlongItsNewKeyAtEveryFetchSize) {
  ASSERT_TRUE(Sql("CREATE TABLE ho (k VARBINARY(4) PRIMARY KEY, a INT, t VARCHAR(8), "
                  "KEY ka (a)) ENGINE=InnoDB; "
                  "INSERT INTO ho SELECT CONCAT(CHAR(seq), X'00275C'), seq % 4, "
                  "CONCAT('t', seq) FROM seq_1_to_60"));
  const std::vector<std::string> by_k = ServerRows("SELECT t FROM ho ORDER BY k");
  const std::vector<std::string> by_a = ServerRows("SELECT t FROM ho ORDER BY a, k");
  auto [h, d] = Open(u"ho");
  const auto key_k = reinterpret_cast<intptr_t>(u"k");
  const auto key_a = reinterpret_cast<intptr_t>(u"a");
  auto text = [&] {
    CAny value;
    INAError* slot = nullptr;
    EXPECT_TRUE(d->bReadItemValue(h, 2, reinterpret_cast<intptr_t>(&value), &slot))
        << Message(slot);
    CXYString<char16_t> out;
    value.nGetTexte(&out);
    return N(out.pszGet());
  };
  auto at = [](const std::vector<std::string>& rows, const std::string& t) {
    return static_cast<size_t>(std::find(rows.begin(), rows.end(), t) - rows.begin());
  };
  for (int64_t fetch : {int64_t{-2}, int64_t{1}, int64_t{7}}) {
    SCOPED_TRACE("fetch " + std::to_string(fetch));
    CNASession* s = d->pclFindSession(h);
    ASSERT_NE(nullptr, s);
    s->pclGetConnection()->m_nCacheSize = fetch;
    ReleaseBoth(s);
    INAError* slot = nullptr;
    ASSERT_TRUE(d->bRead(h, key_k, kNAReadFirst, 0, 1, 0, 0, &slot)) << Message(slot);
    for (int i = 1; i < 30; ++i) ASSERT_TRUE(d->bRead(h, key_k, kNAReadNext, 0, 1, 0, 0, &slot));
    const std::string record = text();
    ASSERT_EQ(by_k[29], record);
    ASSERT_TRUE(d->bHandOverCurrent(h, key_a, 0, &slot)) << Message(slot);
    EXPECT_EQ(record, text());
    const size_t i = at(by_a, record);
    ASSERT_TRUE(i >= 2 && i + 2 < by_a.size());
    for (size_t n = 1; n <= 2; ++n) {
      ASSERT_TRUE(d->bRead(h, key_a, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
      EXPECT_EQ(by_a[i + n], text());
    }
    // Read again where it stands: the server's values now, and the walk
    // goes on from it backwards.
    ASSERT_TRUE(Sql("UPDATE ho SET t = CONCAT(t, 'x') WHERE t = '" + by_a[i + 2] + "'"));
    ASSERT_TRUE(d->bReread(h, 0, 0, 0, 0, &slot)) << Message(slot);
    EXPECT_EQ(by_a[i + 2] + "x", text());
    ASSERT_TRUE(Sql("UPDATE ho SET t = '" + by_a[i + 2] + "' WHERE t = '" + by_a[i + 2] + "x'"));
    for (size_t n = 1; n <= 4; ++n) {
      ASSERT_TRUE(d->bRead(h, key_a, kNAReadPrevious, 0, 1, 0, 0, &slot)) << Message(slot);
      EXPECT_EQ(by_a[i + 2 - n], text());
    }
    // Handed back to k: next along k.
    ASSERT_TRUE(d->bHandOverCurrent(h, key_k, 0, &slot)) << Message(slot);
    ASSERT_TRUE(d->bRead(h, key_k, kNAReadNext, 0, 1, 0, 0, &slot)) << Message(slot);
    EXPECT_EQ(by_k[at(by_k, by_a[i - 2]) + 1], text());
  }
}

}  // namespace
