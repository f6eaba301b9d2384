// Reads by name and filters through the dispatcher and the session, against
// the binary's private server: a read by name follows the named key as the
// server's ORDER BY does, and a filter set on one name gives that name's
// walk exactly the server's WHERE rows while every other name reads all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/dispatcher.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/filter.h"
#include "driver/sql/item.h"
#include "driver/sql/filter_rules.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "host/core/driver_objects.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& N = qg::rig::Narrow;

class SessionByName : public qg::rig::ManagerServerTest {
 protected:
  void SetUp() override {
    qg::rig::ManagerServerTest::SetUp();
    ASSERT_FALSE(database_.Name().empty());
    description_ = new qghost::ConnectionDescription();
    description_->AddRef();
    qg::rig::DescribeOnSocket(description_, database_.Name());
  }
  void TearDown() override {
    qg::rig::CloseOpenedTables(&opened_);
    description_->Release();
    qg::rig::ManagerServerTest::TearDown();
  }
  std::vector<std::string> ServerRows(const std::string& sql) {
    return qg::rig::ServerRows(database_.Name(), sql);
  }
  // A table of 40 records whose keys order them three different ways.
  void Open() {
    ASSERT_TRUE(qg::rig::RunSqlIn(database_.Name(),
                                  "CREATE TABLE t (id INT PRIMARY KEY, a INT, b VARCHAR(8), "
                                  "KEY ka (a), KEY kb (b, a)) ENGINE=InnoDB; "
                                  "INSERT INTO t SELECT seq, (seq * 7) % 11, "
                                  "CONCAT('v', (seq * 5) % 13) FROM seq_1_to_40"));
    CNAError error;
    d_ = manager->pclFindOrCreateDispatcher(description_, u"t", &error);
    ASSERT_NE(nullptr, d_) << N(error.pszGetMessage());
    h_ = new qghost::FileDescription(u"t", 1);
    opened_.push_back({h_, d_});
    INAError* slot = nullptr;
    ASSERT_TRUE(d_->bOpen(h_, description_, 0, 0, &slot)) << qg::rig::TakeMessage(slot);
  }
  std::string Record() {
    std::string line;
    for (int i = 0; i < 3; ++i) {
      CAny value;
      INAError* slot = nullptr;
      EXPECT_TRUE(d_->bReadItemValue(h_, i, reinterpret_cast<intptr_t>(&value), &slot));
      qg::rig::TakeMessage(slot);
      CXYString<char16_t> text;
      value.nGetTexte(&text);
      line += (i > 0 ? "\t" : "") + N(text.pszGet());
    }
    return line;
  }
  // Every record along a key name, from the first on (by_name: through
  // the read by name, else through the positional read).
  std::vector<std::string> Walk(const char16_t* key, bool by_name, int first = kNAReadFirst,
                                int next = kNAReadNext) {
    std::vector<std::string> rows;
    const intptr_t name = reinterpret_cast<intptr_t>(key);
    for (int direction = first; rows.size() < 1000; direction = next) {
      INAError* slot = nullptr;
      bool ok = by_name ? d_->bReadByName(h_, name, direction, 1, 1, 0, 0, 0, 0, &slot)
                        : d_->bRead(h_, name, direction, 0, 1, 0, 0, &slot);
      if (!ok) {
        ADD_FAILURE() << qg::rig::TakeMessage(slot);
        break;
      }
      int32_t at_end = 0;
      EXPECT_TRUE(d_->bIsAtEnd(h_, name, reinterpret_cast<intptr_t>(&at_end), &slot));
      if (at_end != 0) break;
      rows.push_back(Record());
    }
    return rows;
  }
  static CNAFilter* Leaf(int op, const char16_t* column, int value) {
    NAFilterColumn c;
    c.strSql = std::u16string(u"`t`.`") + column + u"`";
    c.nColumnType = kNAColInt4;
    c.nVeliscType = qg::kAnyI4;
    CAny v;
    v.SetI4(value);
    return CNAFilter::pclNewLeaf(op, c, v, 0);
  }

  qg::rig::TestDatabase database_;
  qghost::ConnectionDescription* description_ = nullptr;
  qg::rig::OpenedTables opened_;
  CNADispatcher* d_ = nullptr;
  qghost::FileDescription* h_ = nullptr;
};

TEST_F(SessionByName, ReadsFollowTheNamedKeyBothWays) {
  Open();
  struct Case {
    const char16_t* key;
    const char* order;
  } cases[] = {{u"a", "a, id"}, {u"kb", "b, a, id"}, {u"id", "id"}};
  for (const Case& c : cases) {
    std::vector<std::string> expected =
        ServerRows(std::string("SELECT id, a, b FROM t ORDER BY ") + c.order);
    ASSERT_EQ(40u, expected.size());
    EXPECT_EQ(expected, Walk(c.key, true)) << c.order;
    std::vector<std::string> reversed(expected.rbegin(), expected.rend());
    EXPECT_EQ(reversed, Walk(c.key, true, kNAReadLast, kNAReadPrevious)) << c.order;
  }
  // A direction that is none of the four fails and reads nothing.
  INAError* slot = nullptr;
  EXPECT_FALSE(d_->bReadByName(h_, reinterpret_cast<intptr_t>(u"a"), 4, 1, 1, 0, 0, 0, 0,
                               &slot));
  EXPECT_NE("", qg::rig::TakeMessage(slot));
}

TEST_F(SessionByName, AFilterHoldsForItsNameAloneAndFollowsTheLastSet) {
  Open();
  const std::vector<std::string> all = ServerRows("SELECT id, a, b FROM t ORDER BY a, id");
  const std::vector<std::string> by_b = ServerRows("SELECT id, a, b FROM t ORDER BY b, a, id");
  const std::vector<std::string> low =
      ServerRows("SELECT id, a, b FROM t WHERE a < 4 ORDER BY a, id");
  const std::vector<std::string> high_by_b =
      ServerRows("SELECT id, a, b FROM t WHERE id > 30 ORDER BY b, a, id");
  ASSERT_FALSE(low.empty());
  ASSERT_LT(low.size(), all.size());

  CNARefPtr<CNAFilter> a_low(Leaf(kNAFilterLess, u"a", 4));
  CNAFilter* activated = nullptr;
  INAError* slot = nullptr;
  ASSERT_TRUE(d_->bSetFilter(h_, reinterpret_cast<intptr_t>(u"a"),
                             reinterpret_cast<intptr_t>(a_low.Get()),
                             reinterpret_cast<intptr_t>(&activated), 0, 0, 0, &slot))
      << qg::rig::TakeMessage(slot);
  EXPECT_EQ(a_low.Get(), activated);
  EXPECT_EQ(low, Walk(u"a", false));
  EXPECT_EQ(low, Walk(u"a", true));
  std::vector<std::string> low_back(low.rbegin(), low.rend());
  EXPECT_EQ(low_back, Walk(u"a", false, kNAReadLast, kNAReadPrevious));
  EXPECT_EQ(by_b, Walk(u"kb", false));

  // A filter on another name puts the first one aside.
  CNARefPtr<CNAFilter> high_id(Leaf(kNAFilterGreater, u"id", 30));
  ASSERT_TRUE(d_->bSetFilter(h_, reinterpret_cast<intptr_t>(u"kb"),
                             reinterpret_cast<intptr_t>(high_id.Get()), 0, 0, 0, 0, &slot))
      << qg::rig::TakeMessage(slot);
  EXPECT_EQ(high_by_b, Walk(u"kb", false));
  EXPECT_EQ(all, Walk(u"a", false));
  CNASession* session = d_->pclFindSession(h_);
  ASSERT_NE(nullptr, session);
  EXPECT_EQ(high_id.Get(), session->pclGetActiveFilter());

  // Set again without a condition: the name's own filter comes back in
  // force, the other's goes.
  ASSERT_TRUE(d_->bSetFilter(h_, reinterpret_cast<intptr_t>(u"a"), 0, 0, 0, 0, 0, &slot))
      << qg::rig::TakeMessage(slot);
  EXPECT_EQ(a_low.Get(), session->pclGetActiveFilter());
  EXPECT_EQ(low, Walk(u"a", false));
  EXPECT_EQ(by_b, Walk(u"kb", false));

  // A name that never had a condition reads everything once set, and
  // nothing stays in force.
  ASSERT_TRUE(d_->bSetFilter(h_, reinterpret_cast<intptr_t>(u"id"), 0, 0, 0, 0, 0, &slot))
      << qg::rig::TakeMessage(slot);
  EXPECT_EQ(nullptr, session->pclGetActiveFilter());
  EXPECT_EQ(ServerRows("SELECT id, a, b FROM t ORDER BY id"), Walk(u"id", false));
  EXPECT_EQ(all, Walk(u"a", false));
  ReleaseBoth(session);
}

// A filter set or put aside in the middle of a walk holds from the very
// next read on: a next or previous read goes on from the current record,
// in its own direction, over the records the filter now in force lets
// through, whether the current record is one of them or not; a first or
// last read starts again. A filter taken to be filled, still without
// condition, reads everything.
// In fetches of a few rows, a walk under a filter goes back across fetches
// with the filter's values in each statement.
TEST_F(SessionByName, AFilteredWalkInFetchesGoesBothWays) {
  Open();
  const std::vector<std::string> low =
      ServerRows("SELECT id, a, b FROM t WHERE a < 4 ORDER BY a, id");
  const std::vector<std::string> low_back(low.rbegin(), low.rend());
  ASSERT_GT(low.size(), 8u);
  CNASession* session = d_->pclFindSession(h_);
  ASSERT_NE(nullptr, session);
  session->pclGetConnection()->m_nCacheSize = 4;
  ReleaseBoth(session);
  CNARefPtr<CNAFilter> a_low(Leaf(kNAFilterLess, u"a", 4));
  INAError* slot = nullptr;
  ASSERT_TRUE(d_->bSetFilter(h_, reinterpret_cast<intptr_t>(u"a"),
                             reinterpret_cast<intptr_t>(a_low.Get()), 0, 0, 0, 0, &slot))
      << qg::rig::TakeMessage(slot);
  EXPECT_EQ(low, Walk(u"a", false));
  EXPECT_EQ(low_back, Walk(u"a", false, kNAReadLast, kNAReadPrevious));
}

TEST_F(SessionByName, AFilterSetMidWalkHoldsFromTheNextRead) {
  Open();
  const std::vector<std::string> all = ServerRows("SELECT id, a, b FROM t ORDER BY a, id");
  const std::vector<std::string> low =
      ServerRows("SELECT id, a, b FROM t WHERE a < 4 ORDER BY a, id");
  const std::vector<std::string> low_back(low.rbegin(), low.rend());
  const std::vector<std::string> all_back(all.rbegin(), all.rend());
  ASSERT_FALSE(low.empty());
  ASSERT_LT(low.size(), all.size());
  const intptr_t a = reinterpret_cast<intptr_t>(u"a");
  CNARefPtr<CNAFilter> a_low(Leaf(kNAFilterLess, u"a", 4));
  INAError* slot = nullptr;
  auto set = [&](const char16_t* name, CNAFilter* condition, CNAFilter** out) {
    ASSERT_TRUE(d_->bSetFilter(h_, reinterpret_cast<intptr_t>(name),
                               reinterpret_cast<intptr_t>(condition),
                               reinterpret_cast<intptr_t>(out), 0, 0, 0, &slot))
        << qg::rig::TakeMessage(slot);
  };
  // Reads `n` records from `first` on, then the rest of the walk.
  auto walk_then = [&](int first, int next, int n, auto between) -> std::vector<std::string> {
    for (int i = 0; i < n; ++i) {
      EXPECT_TRUE(d_->bRead(h_, a, i == 0 ? first : next, 0, 1, 0, 0, &slot))
          << qg::rig::TakeMessage(slot);
    }
    between();
    return Walk(u"a", false, next, next);
  };
  // The records of `kept` that come after `current` in `order`.
  auto after = [](const std::vector<std::string>& order, const std::string& current,
                  const std::vector<std::string>& kept) {
    std::vector<std::string> out;
    bool past = false;
    for (const std::string& row : order) {
      if (past && std::find(kept.begin(), kept.end(), row) != kept.end()) out.push_back(row);
      if (row == current) past = true;
    }
    return out;
  };
  struct Case {
    int first, next;
    const std::vector<std::string>& unfiltered_order;
    const std::vector<std::string>& filtered_order;
  } cases[] = {{kNAReadFirst, kNAReadNext, all, low},
               {kNAReadLast, kNAReadPrevious, all_back, low_back}};
  for (const Case& c : cases) {
    set(u"kb", nullptr, nullptr);  // no filter in force
    // Set after the third record (which the filter may not let through).
    EXPECT_EQ(after(c.unfiltered_order, c.unfiltered_order[2], low),
              walk_then(c.first, c.next, 3, [&] { set(u"a", a_low.Get(), nullptr); }))
        << c.next;
    // Put aside by a name without condition: the walk reads all again,
    // from the second filtered record on.
    EXPECT_EQ(after(c.unfiltered_order, c.filtered_order[1], all),
              walk_then(c.first, c.next, 2, [&] { set(u"id", nullptr, nullptr); }))
        << c.next;
    // First and last start again under the filter in force.
    set(u"a", a_low.Get(), nullptr);
    EXPECT_EQ(c.filtered_order, Walk(u"a", false, c.first, c.next)) << c.next;
  }
  // Stepping past the end of the new set answers out of range and keeps
  // the record: the walk then goes on from it.
  set(u"kb", nullptr, nullptr);
  ASSERT_TRUE(d_->bRead(h_, a, kNAReadLast, 0, 1, 0, 0, &slot)) << qg::rig::TakeMessage(slot);
  const std::string last = Record();
  set(u"a", a_low.Get(), nullptr);
  if (std::find(low.begin(), low.end(), last) == low.end()) {
    ASSERT_TRUE(d_->bRead(h_, a, kNAReadNext, 0, 1, 0, 0, &slot)) << qg::rig::TakeMessage(slot);
    int32_t at_end = 0;
    EXPECT_TRUE(d_->bIsAtEnd(h_, a, reinterpret_cast<intptr_t>(&at_end), &slot));
    EXPECT_NE(0, at_end);
    EXPECT_EQ(low_back, Walk(u"a", false, kNAReadPrevious, kNAReadPrevious));
  }
  // Moves by a count from the record under a filter set since: the count
  // lands on the record that many further in the new set, both ways; a
  // count past an end (the largest one as well) answers out of range.
  struct Skip {
    int first, next;
    const std::vector<std::string>& unfiltered_order;
    intptr_t count;
    size_t landing;  // index in the filtered records after the third; npos: out of range
  } skips[] = {{kNAReadFirst, kNAReadNext, all, 2, 1},
               {kNAReadLast, kNAReadPrevious, all_back, 2, 1},
               {kNAReadFirst, kNAReadNext, all, INTPTR_MAX, std::string::npos},
               {kNAReadLast, kNAReadPrevious, all_back, INTPTR_MAX, std::string::npos}};
  for (const Skip& k : skips) {
    set(u"kb", nullptr, nullptr);
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(d_->bRead(h_, a, i == 0 ? k.first : k.next, 0, 1, 0, 0, &slot))
          << qg::rig::TakeMessage(slot);
    }
    const std::vector<std::string> further = after(k.unfiltered_order, k.unfiltered_order[2], low);
    set(u"a", a_low.Get(), nullptr);
    ASSERT_TRUE(d_->bRead(h_, a, k.next, 0, k.count, 0, 0, &slot)) << qg::rig::TakeMessage(slot);
    int32_t at_end = 0;
    EXPECT_TRUE(d_->bIsAtEnd(h_, a, reinterpret_cast<intptr_t>(&at_end), &slot));
    if (k.landing == std::string::npos || k.landing >= further.size()) {
      EXPECT_NE(0, at_end) << k.next << " by " << k.count;
    } else {
      EXPECT_EQ(0, at_end) << k.next << " by " << k.count;
      EXPECT_EQ(further[k.landing], Record()) << k.next << " by " << k.count;
    }
  }
  // A filter set to be filled holds no condition yet: the walk reads
  // every record, the SELECT carrying no WHERE at all.
  CNAFilter* to_fill = nullptr;
  set(u"id", nullptr, &to_fill);
  ASSERT_NE(nullptr, to_fill);
  EXPECT_EQ(kNAFilterEmpty, to_fill->nGetOperator());
  EXPECT_EQ(ServerRows("SELECT id, a, b FROM t ORDER BY id"), Walk(u"id", false));
}

// Read flags: 0x8000 carries the filter of the name read before over to
// the name read now; the output tells whether a record was read; 0x100000
// reads with the cache off.
TEST_F(SessionByName, ReadFlagsCarryTheFilterOverAndSwitchTheCacheOff) {
  Open();
  const std::vector<std::string> low_by_b =
      ServerRows("SELECT id, a, b FROM t WHERE a < 4 ORDER BY b, a, id");
  ASSERT_FALSE(low_by_b.empty());
  CNARefPtr<CNAFilter> a_low(Leaf(kNAFilterLess, u"a", 4));
  INAError* slot = nullptr;
  const intptr_t a = reinterpret_cast<intptr_t>(u"a");
  const intptr_t kb = reinterpret_cast<intptr_t>(u"kb");
  ASSERT_TRUE(d_->bSetFilter(h_, a, reinterpret_cast<intptr_t>(a_low.Get()), 0, 0, 0, 0, &slot))
      << qg::rig::TakeMessage(slot);
  int32_t read = -1;
  ASSERT_TRUE(d_->bRead(h_, a, kNAReadFirst, 0, 1, 0, reinterpret_cast<intptr_t>(&read), &slot));
  EXPECT_EQ(1, read);
  ASSERT_TRUE(d_->bRead(h_, kb, kNAReadFirst, 0x8000, 1, 0, reinterpret_cast<intptr_t>(&read),
                        &slot))
      << qg::rig::TakeMessage(slot);
  EXPECT_EQ(1, read);
  std::vector<std::string> rows{Record()};
  for (;;) {
    ASSERT_TRUE(d_->bRead(h_, kb, kNAReadNext, 0, 1, 0, reinterpret_cast<intptr_t>(&read), &slot));
    if (read == 0) break;
    rows.push_back(Record());
  }
  EXPECT_EQ(low_by_b, rows);

  CNASession* session = d_->pclFindSession(h_);
  ASSERT_NE(nullptr, session);
  ASSERT_TRUE(d_->bRead(h_, reinterpret_cast<intptr_t>(u"id"), kNAReadFirst, 0x100000, 1, 0, 0,
                        &slot));
  CNATableAccess* id = session->pclFindTableAccess(u"id");
  ASSERT_NE(nullptr, id);
  EXPECT_FALSE(id->bIsCacheEnabled());
  EXPECT_NE(0u, id->m_nReadOptions & 0x100000);
  EXPECT_EQ(nullptr, session->pclGetRecordSource());
  ReleaseBoth(id);
  ReleaseBoth(session);
}

// Counts from a record along its key: type 2 from the record on (itself
// included), type 3 before it, each under the name's filter, the two
// making the whole set; with 0x4000 a plain count takes the filter too.
// Without a record to count from, the count fails.
TEST_F(SessionByName, CountsFromARecordSplitTheSetAlongTheKey) {
  Open();
  const intptr_t a = reinterpret_cast<intptr_t>(u"a");
  CNASession* session = d_->pclFindSession(h_);
  ASSERT_NE(nullptr, session);
  CNAError error;
  int64_t n = -1;
  // Nothing read along "a" yet.
  CNATableAccess* none = session->pclGetTableAccess(u"a", &error);
  ASSERT_NE(nullptr, none);
  EXPECT_FALSE(session->bCount(0, none, 2, &n, &error));
  EXPECT_TRUE(error.bHasError());
  ReleaseBoth(none);
  const std::vector<std::string> all = ServerRows("SELECT id, a, b FROM t ORDER BY a, id");
  const std::vector<std::string> low =
      ServerRows("SELECT id, a, b FROM t WHERE a < 4 ORDER BY a, id");
  CNARefPtr<CNAFilter> a_low(Leaf(kNAFilterLess, u"a", 4));
  struct Case {
    CNAFilter* filter;
    const std::vector<std::string>& rows;
  } cases[] = {{nullptr, all}, {a_low.Get(), low}};
  for (const Case& c : cases) {
    INAError* slot = nullptr;
    ASSERT_TRUE(d_->bSetFilter(h_, c.filter != nullptr ? a : reinterpret_cast<intptr_t>(u"kb"),
                               reinterpret_cast<intptr_t>(c.filter), 0, 0, 0, 0, &slot))
        << qg::rig::TakeMessage(slot);
    const size_t steps[] = {0, 1, c.rows.size() / 2, c.rows.size() - 1};
    for (size_t at : steps) {
      for (size_t i = 0; i <= at; ++i) {
        ASSERT_TRUE(d_->bRead(h_, a, i == 0 ? kNAReadFirst : kNAReadNext, 0, 1, 0, 0, &slot))
            << qg::rig::TakeMessage(slot);
      }
      ASSERT_EQ(c.rows[at], Record());
      CNATableAccess* access = session->pclFindTableAccess(u"a");
      ASSERT_NE(nullptr, access);
      CNAError e;
      int64_t from = -1, before = -1, whole = -1;
      EXPECT_TRUE(session->bCount(0, access, 2, &from, &e)) << N(e.pszGetMessage());
      EXPECT_TRUE(session->bCount(0, access, 3, &before, &e)) << N(e.pszGetMessage());
      EXPECT_TRUE(session->bCount(0x4000, access, -1, &whole, &e)) << N(e.pszGetMessage());
      EXPECT_EQ(static_cast<int64_t>(c.rows.size() - at), from) << at;
      EXPECT_EQ(static_cast<int64_t>(at), before) << at;
      EXPECT_EQ(static_cast<int64_t>(c.rows.size()), whole);
      // The record read stays the current one.
      EXPECT_EQ(c.rows[at], Record());
      ASSERT_TRUE(d_->bRead(h_, a, kNAReadNext, 0, 1, 0, 0, &slot));
      if (at + 1 < c.rows.size()) {
        EXPECT_EQ(c.rows[at + 1], Record());
      }
      ReleaseBoth(access);
    }
  }
  ReleaseBoth(session);
}

// The parts of an item: the item itself, then a composite key's parts in
// key order; past the last part, or for an item or column that does not
// exist, nothing and a failure.
TEST_F(SessionByName, ItemsAndColumnsGiveTheirKeyParts) {
  Open();
  CNASession* session = d_->pclFindSession(h_);
  ASSERT_NE(nullptr, session);
  auto* logical = static_cast<CNAFileDescription*>(session->pclGetLogical());
  ASSERT_NE(nullptr, logical);
  auto index_of = [&](const std::string& name) {
    for (int i = 0; i < logical->nGetItemCount(); ++i) {
      if (N(logical->pclGetItem(i)->pszGetName()) == name) return i;
    }
    return -1;
  };
  auto name_of = [](intptr_t item) {
    return item == 0 ? std::string("-") : N(reinterpret_cast<CNAItem*>(item)->pszGetName());
  };
  const int kb = index_of("kb");
  const int id = index_of("id");
  ASSERT_GE(kb, 0);
  ASSERT_GE(id, 0);
  struct Case {
    int item;
    intptr_t part;
    std::string expected;  // "-": none
  } cases[] = {{kb, 0, "kb"}, {kb, 1, "b"},  {kb, 2, "a"}, {kb, 3, "-"},
               {id, 0, "id"}, {id, 1, "-"},  {id, -1, "-"}, {9999, 0, "-"}};
  for (const Case& c : cases) {
    INAError* slot = nullptr;
    intptr_t part = d_->pclGetColumnPartOfItem(h_, c.item, c.part, &slot);
    EXPECT_EQ(c.expected, name_of(part)) << c.item << " " << c.part;
    EXPECT_EQ(c.expected == "-", !qg::rig::TakeMessage(slot).empty()) << c.item << " " << c.part;
  }
  // By column: the item bound to the table's column at that position.
  CNATableDescription* table = session->pclGetTableDescription();
  ASSERT_NE(nullptr, table);
  for (int column = 0; column < table->nGetColumnCount(); ++column) {
    intptr_t item = session->pclGetColumnPart(column, 0, nullptr);
    EXPECT_EQ(N(table->pclColumnAt(column)->pszGetName()), name_of(item)) << column;
  }
  EXPECT_EQ(0, session->pclGetColumnPart(table->nGetColumnCount(), 0, nullptr));
  ReleaseBoth(session);
}

// A count of the table's records counts those the filter in force lets
// through, whatever the count's flags, before and after a read under it.
TEST_F(SessionByName, ACountHonoursTheFilterInForce) {
  Open();
  const std::string all = ServerRows("SELECT COUNT(*) FROM t")[0];
  const std::string low = ServerRows("SELECT COUNT(*) FROM t WHERE a < 4")[0];
  ASSERT_NE(all, low);
  CNARefPtr<CNAFilter> a_low(Leaf(kNAFilterLess, u"a", 4));
  INAError* slot = nullptr;
  ASSERT_TRUE(d_->bSetFilter(h_, reinterpret_cast<intptr_t>(u"a"),
                             reinterpret_cast<intptr_t>(a_low.Get()), 0, 0, 0, 0, &slot))
      << qg::rig::TakeMessage(slot);
  for (bool read_first : {false, true}) {
    if (read_first) {
      ASSERT_TRUE(d_->bRead(h_, reinterpret_cast<intptr_t>(u"a"), kNAReadFirst, 0, 1, 0, 0, &slot))
          << qg::rig::TakeMessage(slot);
    }
    for (intptr_t flags : {intptr_t{0}, intptr_t{0x4000}, intptr_t{0x4010}, intptr_t{0x10}}) {
      int64_t count = -1;
      ASSERT_TRUE(d_->bCountCurrent(h_, flags, reinterpret_cast<intptr_t>(&count), 0, &slot))
          << qg::rig::TakeMessage(slot);
      EXPECT_EQ(low, std::to_string(count)) << "flags " << flags << (read_first ? " after a read" : "");
    }
  }
  // Put aside: every record counts again.
  ASSERT_TRUE(d_->bSetFilter(h_, reinterpret_cast<intptr_t>(u"id"), 0, 0, 0, 0, 0, &slot))
      << qg::rig::TakeMessage(slot);
  int64_t count = -1;
  ASSERT_TRUE(d_->bCountCurrent(h_, 0, reinterpret_cast<intptr_t>(&count), 0, &slot))
      << qg::rig::TakeMessage(slot);
  EXPECT_EQ(all, std::to_string(count));
}

// A branch of a filter tree without any condition is neutral: the tree
// reads what its other branch lets through, and a tree of nothing reads
// every record.
TEST_F(SessionByName, AnEmptyBranchOfAFilterIsNeutral) {
  Open();
  const std::vector<std::string> all = ServerRows("SELECT id, a, b FROM t ORDER BY a, id");
  const std::vector<std::string> low =
      ServerRows("SELECT id, a, b FROM t WHERE a < 4 ORDER BY a, id");
  auto empty = [] { return NAAddRef(new CNAFilter()); };
  CNARefPtr<CNAFilter> e1(empty()), e2(empty()), e3(empty()), e4(empty()), e5(empty());
  CNARefPtr<CNAFilter> l1(Leaf(kNAFilterLess, u"a", 4)), l2(Leaf(kNAFilterLess, u"a", 4));
  CNARefPtr<CNAFilter> nothing(CNAFilter::pclNewBinary(kNAFilterAnd, e3.Get(), e4.Get(), 0));
  struct Case {
    const char* name;
    CNAFilter* tree;
    const std::vector<std::string>* want;
  } cases[] = {
      {"a < 4 AND empty", CNAFilter::pclNewBinary(kNAFilterAnd, l1.Get(), e1.Get(), 0), &low},
      {"empty OR a < 4", CNAFilter::pclNewBinary(kNAFilterOr, e2.Get(), l2.Get(), 0), &low},
      {"empty AND empty", NAAddRef(nothing.Get()), &all},
      {"NOT (empty AND empty)", CNAFilter::pclNewBinary(kNAFilterNot, nothing.Get(), nullptr, 0),
       &all},
      {"(empty AND empty) OR empty",
       CNAFilter::pclNewBinary(kNAFilterOr, nothing.Get(), e5.Get(), 0), &all},
  };
  for (const Case& c : cases) {
    CNARefPtr<CNAFilter> tree(c.tree);
    INAError* slot = nullptr;
    ASSERT_TRUE(d_->bSetFilter(h_, reinterpret_cast<intptr_t>(u"a"),
                               reinterpret_cast<intptr_t>(tree.Get()), 0, 0, 0, 0, &slot))
        << c.name << ": " << qg::rig::TakeMessage(slot);
    EXPECT_EQ(*c.want, Walk(u"a", false)) << c.name;
    int64_t count = -1;
    ASSERT_TRUE(d_->bCountCurrent(h_, 0, reinterpret_cast<intptr_t>(&count), 0, &slot))
        << c.name << ": " << qg::rig::TakeMessage(slot);
    EXPECT_EQ(c.want->size(), static_cast<size_t>(count)) << c.name;
  }
}

}  // namespace
