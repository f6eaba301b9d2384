// Filters written for the MariaDB connection against the private server:
// LIKE filters built from values holding pattern characters, quotes,
// backslashes and CJK text must match exactly the rows that hand-written
// comparisons (values escaped by the client library) match, under the
// default sql_mode and under NO_BACKSLASH_ESCAPES.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/error_status.h"
#include "driver/mariadb/client_argument.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/filter.h"
#include "driver/sql/key_condition.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/item_filter.h"
#include "driver/sql/key_filter.h"
#include "driver/sql/key_range_filter.h"
#include "driver/sql/table_description.h"
#include "host/core/calc_entries.h"
#include "host/core/driver_objects.h"
#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& U = qg::rig::Wide;
constexpr auto& N = qg::rig::Narrow;
constexpr auto& Value = qg::rig::FirstValue;

// A quoted literal escaped by the client library for the session's mode.
std::string Escaped(CNAConnectionMariaDB* c, const std::string& bytes) {
  CNALock lock(c->pGetLock());
  std::string out(bytes.size() * 2 + 1, '\0');
  unsigned long n = gMariaDB.mysql_real_escape_string(c->pGetHandle(), out.data(), bytes.data(),
                                                      bytes.size());
  out.resize(n);
  return "'" + out + "'";
}

class FilterOnServer : public qg::rig::ManagerServerTest {
 protected:
  void TearDown() override {
    qg::rig::ManagerServerTest::TearDown();
    for (auto* d : descriptions) d->Release();
  }

  CNAConnectionMariaDB* Open(const std::string& database) {
    auto* d = new qghost::ConnectionDescription();
    d->AddRef();
    descriptions.push_back(d);
    CNAConnectionMariaDB* c = nullptr;
    qg::rig::OpenOnSocket(manager, d, database, &c);
    return c;
  }

  std::vector<qghost::ConnectionDescription*> descriptions;
};

TEST_F(FilterOnServer, LikeFiltersMatchExactlyTheHandWrittenRows) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Open(db.Name());
  const std::u16string values[] = {
      u"a%b", u"a_b", u"axb", u"a\\b", u"a\\", u"a\\%", u"a\\\\", u"it's", u"it''s",
      u"%", u"_", u"\\", u"ab", u"a", u"\u65e5\u672c", u"\u65e5\u672c\u8a9e",
      u"\u8868\u30bd", u"x'\\_%y",
  };
  CNAError error;
  ASSERT_TRUE(c->bExecuteText(&error, u"CREATE TABLE v (id INT PRIMARY KEY, "
                                      u"s VARCHAR(40) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin)"));
  std::vector<std::string> bytes;
  for (const std::u16string& v : values) {
    bool lossy = false;
    bytes.push_back(NAEncodeExact(v.c_str(), v.size(), 65001, &lossy));
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    ASSERT_EQ("(no row)", Value(c, "INSERT INTO v VALUES (" + std::to_string(i) + ", " +
                                       Escaped(c, bytes[i]) + ")"));
  }
  NAFilterColumn column;
  column.strSql = u"`s`";
  column.nColumnType = 29;
  column.nVeliscType = qg::kAnyDSTRW;
  column.bNullable = false;
  for (bool no_backslash : {false, true}) {
    ASSERT_TRUE(c->bExecuteText(&error, no_backslash
                                            ? u"SET SESSION sql_mode='NO_BACKSLASH_ESCAPES'"
                                            : u"SET SESSION sql_mode=DEFAULT"));
    for (size_t i = 0; i < bytes.size(); ++i) {
      for (int op : {kNAFilterEqual, kNAFilterNotEqual}) {
        CAny value;
        value.SetDSTRW(values[i].c_str());
        CNARefPtr<CNAFilter> leaf(CNAFilter::pclNewLeaf(op, column, value, kNAFilterPrefix));
        CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(c)));
        gen->SetNoBackslashEscapes(no_backslash);
        bool folded = false;
        ASSERT_TRUE(leaf->bWrite(*gen.Get(), 0, {}, &folded, &error));
        const char16_t* dialect = gen->pszGetDialectText(&error);
        ASSERT_NE(dialect, nullptr) << N(error.pszGetMessage());
        bool lossy = false;
        const std::u16string d16(dialect);
        const std::string condition = NAEncodeExact(d16.c_str(), d16.size(), 65001, &lossy);
        const std::string lit = Escaped(c, bytes[i]);
        const std::string hand = std::string(op == kNAFilterEqual ? "" : "NOT ") +
                                 "LEFT(s, CHAR_LENGTH(" + lit + ")) = " + lit;
        const std::string query = "SELECT COALESCE(GROUP_CONCAT(id ORDER BY id), '-') FROM v WHERE ";
        const std::string expected = Value(c, query + hand);
        EXPECT_EQ(Value(c, query + condition), expected)
            << "mode " << no_backslash << " value " << i << ": " << condition;
        EXPECT_EQ(expected.find("(error"), std::string::npos) << hand;
      }
    }
  }
  manager->bReleaseConnection(c);
}

}  // namespace

namespace {

struct Row {
  int id = 0;
  int a = 0;
  std::string b;
  std::string d;  // YYYYMMDD, empty for NULL
};

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep, start);
    out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return out;
    start = at + 1;
  }
}

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

}  // namespace

// For every row and direction, the condition built from the row, with the
// key's ORDER BY and LIMIT 1, returns the row the server's own ORDER BY
// puts next (or before); ">=" and "<=" return the row itself.
TEST_F(FilterOnServer, KeyConditionsFindTheNextRowOfTheServersOrder) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Open(db.Name());
  CNAError error;
  ASSERT_TRUE(c->bExecuteText(&error, u"CREATE TABLE r (id INT PRIMARY KEY, a INT NOT NULL, "
                                      u"b VARCHAR(10) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin "
                                      u"NOT NULL, d DATE NULL)"));
  const char* bs[] = {"", "a", "ab", "b", "x%", "a_"};
  const char* ds[] = {"NULL", "'2024-01-01'", "'2024-02-03'"};
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  std::string insert = "INSERT INTO r VALUES ";
  for (int id = 1; id <= 40; ++id) {
    if (id > 1) insert += ",";
    insert += "(" + std::to_string(id) + "," + std::to_string(next() % 3) + ",'" +
              bs[next() % 6] + "'," + ds[next() % 3] + ")";
  }
  ASSERT_EQ("(no row)", Value(c, insert));
  ASSERT_EQ("(no row)", Value(c, "SET SESSION group_concat_max_len = 100000"));
  const std::string order = " ORDER BY a, b DESC, d, id";
  const std::string reverse = " ORDER BY a DESC, b, d DESC, id DESC";
  const std::string all = Value(c, "SELECT GROUP_CONCAT(CONCAT_WS('|', id, a, HEX(b), "
                                   "COALESCE(DATE_FORMAT(d, '%Y%m%d'), '')) " + order +
                                   " SEPARATOR ';') FROM r");
  std::vector<Row> rows;
  for (const std::string& item : Split(all, ';')) {
    std::vector<std::string> f = Split(item, '|');
    ASSERT_EQ(f.size(), 4u) << item;
    rows.push_back({std::stoi(f[0]), std::stoi(f[1]), Unhex(f[2]), f[3]});
  }
  ASSERT_EQ(rows.size(), 40u);

  auto column = [](const char16_t* name, int column_type, int velisc, bool nullable) {
    NAFilterColumn col;
    col.strSql = name;
    col.nColumnType = column_type;
    col.nVeliscType = velisc;
    col.bNullable = nullable;
    return col;
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    std::vector<NAKeyConditionPart> parts(4);
    parts[0].column = column(u"`a`", 5, qg::kAnyI4, false);
    parts[0].value.SetI4(row.a);
    parts[1].column = column(u"`b`", 29, qg::kAnyDSTRW, false);
    parts[1].value.SetDSTRW(U(row.b).c_str());
    parts[1].bDescending = true;
    parts[2].column = column(u"`d`", 14, qg::kAnyDATEW, true);
    if (row.d.empty()) {
      parts[2].value.SetI4(0);
      parts[2].value.SetNull(true);
    } else {
      parts[2].value.SetDATEW(U(row.d).c_str());
    }
    parts[3].column = column(u"`id`", 5, qg::kAnyI4, false);
    parts[3].value.SetI4(row.id);
    struct Direction {
      int op;
      const std::string* order;
      int expected;  // index of the row expected, -1 for none
    } directions[] = {
        {kNAFilterGreater, &order, i + 1 < rows.size() ? static_cast<int>(i + 1) : -1},
        {kNAFilterLess, &reverse, static_cast<int>(i) - 1},
        {kNAFilterGreaterEqual, &order, static_cast<int>(i)},
        {kNAFilterLessEqual, &reverse, static_cast<int>(i)},
    };
    for (const Direction& dir : directions) {
      CNARefPtr<CNAFilter> tree(pclBuildKeyDirection(parts, dir.op, false, false, 0));
      ASSERT_TRUE(tree);
      CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(c)));
      bool folded = false;
      ASSERT_TRUE(tree->bWrite(*gen.Get(), 0, {}, &folded, &error));
      const char16_t* dialect = gen->pszGetDialectText(&error);
      ASSERT_NE(dialect, nullptr) << N(error.pszGetMessage());
      const std::string found =
          Value(c, "SELECT id FROM r WHERE " + N(dialect) + *dir.order + " LIMIT 1");
      const std::string expected =
          dir.expected < 0 ? "(no row)" : std::to_string(rows[static_cast<size_t>(dir.expected)].id);
      EXPECT_EQ(found, expected) << "row " << row.id << " op " << dir.op << ": " << N(dialect);
    }
  }
  manager->bReleaseConnection(c);
}
// The key filter reading on from the current record, as the table access
// object does: a composite key with duplicates (a, b descending, d with
// nulls), continued through the primary key.
TEST_F(FilterOnServer, KeyFiltersReadOnFromTheCurrentRecord) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Open(db.Name());
  CNAError error;
  ASSERT_TRUE(c->bExecuteText(&error, u"CREATE TABLE r (id INT PRIMARY KEY, a INT NOT NULL, "
                                      u"b VARCHAR(10) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin "
                                      u"NOT NULL, d DATE NULL)"));
  const char* bs[] = {"", "a", "ab", "b", "x%", "a_"};
  const char* ds[] = {"", "20240101", "20240203"};
  uint32_t seed = 777;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  std::vector<Row> rows;
  std::string insert = "INSERT INTO r VALUES ";
  for (int id = 1; id <= 30; ++id) {
    Row row{id, static_cast<int>(next() % 2), bs[next() % 6], ds[next() % 3]};
    if (id > 1) insert += ",";
    insert += "(" + std::to_string(id) + "," + std::to_string(row.a) + ",'" + row.b + "'," +
              (row.d.empty() ? std::string("NULL") : "'" + row.d + "'") + ")";
    rows.push_back(row);
  }
  ASSERT_EQ("(no row)", Value(c, insert));

  // The table as the host declares it, and its current record.
  CNARefPtr<CNATableDescription> table(NAAddRef(new CNATableDescription(nullptr)));
  struct Spec {
    const char16_t* name;
    int type, size;
    uint16_t flags;
    bool nullable;
  };
  std::vector<CNAColumn*> made;
  for (const Spec& s : {Spec{u"id", 5, 4, kNAKeyPrimary, false}, Spec{u"a", 5, 4, 0, false},
                        Spec{u"b", 29, 22, 0, false}, Spec{u"d", 14, 9, 0, true}}) {
    CNAColumn* col = NAAddRef(new CNAColumn());
    col->Init(s.name, u"r", nullptr, 1, s.size, s.type, -1, -1, s.flags, 0, 0);
    col->SetNullable(s.nullable);
    table->bAppendColumn(col);
    made.push_back(col);
    ReleaseBoth(col);
  }
  made[2]->SetDirection(true);
  CNARefPtr<CNAColumn> key(NAAddRef(new CNAColumn()));
  key->Init(u"k", u"r", nullptr, 1, 0, 2, -1, -1,
            static_cast<uint16_t>(kNAKeyDuplicates | kNAKeyComposite), 0, 0);
  for (int i = 1; i <= 3; ++i) key->AddPart(made[size_t(i)]);
  table->AddKey(key.Get());
  table->ComputeOffsets();
  CNARefPtr<CNAFileDescription> fd(NAAddRef(new CNAFileDescription()));
  ASSERT_TRUE(fd->bBuild(table.Get(), nullptr, &error));
  CNARefPtr<CNAFileKeyTable> keys(NAAddRef(new CNAFileKeyTable(fd.Get(), c)));

  const std::string order = " ORDER BY a, b DESC, d, id";
  const std::string reverse = " ORDER BY a DESC, b, d DESC, id DESC";
  std::vector<std::string> ids = Split(
      Value(c, "SELECT GROUP_CONCAT(id " + order + " SEPARATOR ';') FROM r"), ';');
  ASSERT_EQ(ids.size(), rows.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    const Row& row = rows[size_t(std::stoi(ids[i]) - 1)];
    CAny v;
    v.SetI4(row.id);
    ASSERT_TRUE(fd->pclFindItemByName(u"id")->bWriteValue(v, 0, &error));
    v.SetI4(row.a);
    ASSERT_TRUE(fd->pclFindItemByName(u"a")->bWriteValue(v, 0, &error));
    v.SetPSTRW(U(row.b).c_str());
    ASSERT_TRUE(fd->pclFindItemByName(u"b")->bWriteValue(v, 0, &error));
    if (row.d.empty()) {
      v.SetType(qg::kAnyDATEW);
      v.SetNull(true);
    } else {
      v.SetDATEW(U(row.d).c_str());
    }
    ASSERT_TRUE(fd->pclFindItemByName(u"d")->bWriteValue(v, 0, &error));

    CNAKeyFilter filter(keys.Get());
    ASSERT_TRUE(filter.bSetKeyOfRecord(keys.Get(), key.Get(), false, &error));
    for (int direction : {0, 1}) {
      if (filter.bMustSwitch(direction)) {
        if (filter.nGetState() == CNAKeyFilter::kStateDirection) filter.bSwitchCondition(direction);
        filter.bSwitchCondition(direction);
      }
      CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(c)));
      ASSERT_TRUE(filter.bApply(*gen.Get(), nullptr, {}, &error)) << N(error.pszGetMessage());
      const char16_t* dialect = gen->pszGetDialectText(&error);
      ASSERT_NE(dialect, nullptr);
      const std::string found = Value(c, "SELECT id FROM r WHERE " + N(dialect) +
                                             (direction == 0 ? order : reverse) + " LIMIT 1");
      const size_t at = direction == 0 ? i + 1 : i - 1;
      const std::string expected = at < ids.size() ? ids[at] : "(no row)";
      EXPECT_EQ(found, expected) << "row " << row.id << " direction " << direction << ": "
                                 << N(dialect);
    }
  }
  manager->bReleaseConnection(c);
}


// Reading on along a nullable UNIQUE column, which may hold several NULLs:
// a record without a key value is told apart by its primary key, so the
// walk visits every record once, in the server's own order.
TEST_F(FilterOnServer, KeyFiltersWalkAUniqueColumnWithSeveralNulls) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Open(db.Name());
  CNAError error;
  ASSERT_TRUE(c->bExecuteText(&error, u"CREATE TABLE q (id INT PRIMARY KEY, u INT NULL UNIQUE)"));
  ASSERT_EQ("(no row)", Value(c, "INSERT INTO q VALUES (1, NULL), (2, 5), (3, NULL), (4, NULL), "
                                 "(5, 2), (6, NULL), (7, 9)"));
  CNARefPtr<CNATableDescription> table(NAAddRef(new CNATableDescription(nullptr)));
  CNAColumn* made[2];
  const char16_t* names[] = {u"id", u"u"};
  for (int i = 0; i < 2; ++i) {
    CNAColumn* col = NAAddRef(new CNAColumn());
    col->Init(names[i], u"q", nullptr, 1, 4, 5, -1, -1, i == 0 ? kNAKeyPrimary : kNAKeyUnique, 0, 0);
    col->SetNullable(i == 1);
    table->bAppendColumn(col);
    made[i] = col;
    ReleaseBoth(col);
  }
  table->ComputeOffsets();
  CNARefPtr<CNAFileDescription> fd(NAAddRef(new CNAFileDescription()));
  ASSERT_TRUE(fd->bBuild(table.Get(), nullptr, &error));
  CNARefPtr<CNAFileKeyTable> keys(NAAddRef(new CNAFileKeyTable(fd.Get(), c)));
  const std::string expected = Value(c, "SELECT GROUP_CONCAT(id ORDER BY u, id) FROM q");

  // From the first record of the order, forward one record at a time.
  std::string walked = Value(c, "SELECT id FROM q ORDER BY u, id LIMIT 1");
  std::string at = walked;
  for (int step = 0; step < 10; ++step) {
    const std::string u = Value(c, "SELECT COALESCE(u, 'null') FROM q WHERE id = " + at);
    CAny v;
    v.SetI4(std::stoi(at));
    ASSERT_TRUE(fd->pclFindItemByName(u"id")->bWriteValue(v, 0, &error));
    if (u == "null") {
      v.SetType(qg::kAnyI4);
      v.SetNull(true);
    } else {
      v.SetI4(std::stoi(u));
    }
    ASSERT_TRUE(fd->pclFindItemByName(u"u")->bWriteValue(v, 0, &error));
    CNAKeyFilter filter;
    ASSERT_TRUE(filter.bSetKeyOfRecord(keys.Get(), made[1], false, &error));
    filter.bSwitchCondition(0);
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(c)));
    ASSERT_TRUE(filter.bApply(*gen.Get(), nullptr, {}, &error));
    const char16_t* dialect = gen->pszGetDialectText(&error);
    ASSERT_NE(dialect, nullptr);
    at = Value(c, "SELECT id FROM q WHERE " + N(dialect) + " ORDER BY u, id LIMIT 1");
    if (at == "(no row)") break;
    walked += "," + at;
  }
  EXPECT_EQ(walked, expected);
  manager->bReleaseConnection(c);
}

// Key ranges over a composite key (a, b) select exactly the rows a
// hand-written row comparison selects, for bounds taken from the rows, each
// inclusive or not.
TEST_F(FilterOnServer, KeyRangesSelectTheHandWrittenRows) {
  qg::rig::TestDatabase db;
  CNAConnectionMariaDB* c = Open(db.Name());
  CNAError error;
  ASSERT_TRUE(c->bExecuteText(&error, u"CREATE TABLE g (id INT PRIMARY KEY, a INT NOT NULL, "
                                      u"b VARCHAR(6) CHARACTER SET latin1 COLLATE latin1_bin "
                                      u"NOT NULL)"));
  const char* bs[] = {"", "a", "ab", "b", "x%", "it's"};
  std::string insert = "INSERT INTO g VALUES ";
  for (int id = 1; id <= 24; ++id) {
    if (id > 1) insert += ",";
    insert += "(" + std::to_string(id) + "," + std::to_string(id % 3) + "," +
              Escaped(c, bs[(id * 7) % 6]) + ")";
  }
  ASSERT_EQ("(no row)", Value(c, insert));
  CNARefPtr<CNATableDescription> table(NAAddRef(new CNATableDescription(nullptr)));
  std::vector<CNAColumn*> made;
  struct Spec {
    const char16_t* name;
    int type, size;
    uint16_t flags;
  };
  for (const Spec& s : {Spec{u"id", 5, 4, kNAKeyPrimary}, Spec{u"a", 5, 4, 0},
                        Spec{u"b", 2, 7, 0}}) {
    CNAColumn* col = NAAddRef(new CNAColumn());
    col->Init(s.name, u"g", nullptr, 1, s.size, s.type, -1, -1, s.flags, 0, 0);
    col->SetNullable(false);
    table->bAppendColumn(col);
    made.push_back(col);
    ReleaseBoth(col);
  }
  CNARefPtr<CNAColumn> key(NAAddRef(new CNAColumn()));
  key->Init(u"k", u"g", nullptr, 1, 0, 2, -1, -1,
            static_cast<uint16_t>(kNAKeyDuplicates | kNAKeyComposite), 0, 0);
  key->AddPart(made[1]);
  key->AddPart(made[2]);
  table->AddKey(key.Get());
  table->ComputeOffsets();
  CNARefPtr<CNAFileDescription> fd(NAAddRef(new CNAFileDescription()));
  ASSERT_TRUE(fd->bBuild(table.Get(), nullptr, &error));

  // The packed key of (a, b): 4 bytes, then 6 bytes of text.
  auto packed = [](int a, const std::string& b) {
    std::string out(reinterpret_cast<const char*>(&a), 4);
    std::string text = b;
    text.resize(6, '\0');
    return out + text;
  };
  struct Bound {
    int a;
    const char* b;
  } bounds[][2] = {{{0, "a"}, {1, "b"}}, {{1, ""}, {1, "x%"}}, {{0, "it's"}, {2, "ab"}},
                   {{2, "b"}, {2, "b"}}};
  for (const auto& pair : bounds) {
    for (int inclusive = 0; inclusive < 4; ++inclusive) {
      const bool low_in = (inclusive & 1) != 0;
      const bool high_in = (inclusive & 2) != 0;
      const std::string lo = packed(pair[0].a, pair[0].b);
      const std::string hi = packed(pair[1].a, pair[1].b);
      CNARefPtr<CNAKeyRangeFilter> range(NAAddRef(new CNAKeyRangeFilter()));
      ASSERT_TRUE(range->bSetRange(fd.Get(), key.Get(),
                                   {reinterpret_cast<const uint8_t*>(lo.data()), lo.size(), low_in},
                                   {reinterpret_cast<const uint8_t*>(hi.data()), hi.size(), high_in},
                                   nullptr, 0, &error));
      CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(c)));
      ASSERT_TRUE(range->bApply(*gen.Get(), nullptr, {}, &error));
      const char16_t* dialect = gen->pszGetDialectText(&error);
      ASSERT_NE(dialect, nullptr);
      const std::string low = "(" + std::to_string(pair[0].a) + "," + Escaped(c, pair[0].b) + ")";
      const std::string high = "(" + std::to_string(pair[1].a) + "," + Escaped(c, pair[1].b) + ")";
      std::string hand = "(a, b) " + std::string(low_in ? ">=" : ">") + " " + low;
      // Equal bounds are one key value, whatever the inclusive flags say.
      if (lo == hi) hand = "(a, b) = " + low;
      else hand += " AND (a, b) " + std::string(high_in ? "<=" : "<") + " " + high;
      const std::string list = "SELECT COALESCE(GROUP_CONCAT(id ORDER BY id), '') FROM g WHERE ";
      EXPECT_EQ(Value(c, list + N(dialect)), Value(c, list + hand)) << N(dialect);
    }
  }
  manager->bReleaseConnection(c);
}
