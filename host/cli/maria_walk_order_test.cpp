// Walks through the driver compared with the server's own ORDER BY, row for
// row and byte for byte, for tables of every shape, along every key, both
// ways, at several fetch sizes, also while another connection writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/other_connection.h"
#include "host/cli/maria_walk.h"
#include "host/cli/private_libraries.h"

namespace qghost {
namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

class WalkOrder : public ::testing::Test {
 public:
  static void SetUpTestSuite() { s_lib = new std::string(CopyPrivateLibraries("maria_walk_order")); }
  static void TearDownTestSuite() {
    std::system(("rm -rf '" + *s_lib + "'").c_str());
    delete s_lib;
  }

  bool Query(const std::string& sql, std::string* out = nullptr) {
    std::string log;
    bool ok = qg::rig::TestServer()->RunSql("USE `" + db.Name() + "`; " + sql, out ? out : &log);
    if (!ok) ADD_FAILURE() << sql << ": " << (out ? *out : log);
    return ok;
  }

  WalkOptions Options(const std::string& table, const std::string& key, bool backward,
                      int64_t fetch) {
    WalkOptions o;
    o.socket = qg::rig::TestServer()->Socket();
    o.user = qg::rig::kPasswordAccount.pszUser;
    o.password = qg::rig::kPasswordAccount.pszPassword;
    o.database = db.Name();
    o.table = table;
    o.key = key;
    o.backward = backward;
    o.fetch = fetch;
    return o;
  }

  int Walk(const WalkOptions& o, std::string* out, std::string* err) {
    std::ostringstream a, b;
    int code = RunMariaWalk(*s_lib, o, a, b);
    *out = a.str();
    *err = b.str();
    return code;
  }

  static std::string* s_lib;
  qg::rig::TestDatabase db;
};

std::string* WalkOrder::s_lib = nullptr;

// The server's rows for `select` (a list of expressions) in `order`, in the
// walk's line format: NULL as \N; the batch client escapes tab, newline,
// backslash and zero as the walk does.
std::string Reference(WalkOrder* t, const std::string& table, const std::vector<std::string>& columns,
                      const std::string& order) {
  std::string list;
  for (const std::string& c : columns) {
    if (!list.empty()) list += ", ";
    // A NULL comes out as one byte 0x01 and is swapped for the mark below.
    list += "IFNULL(" + c + ", X'01')";
  }
  std::string out;
  if (!t->Query("SELECT " + list + " FROM " + table + " ORDER BY " + order, &out)) return "";
  std::string lines;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    std::string line = out.substr(start, end - start);
    std::string fixed;
    size_t f = 0;
    for (;;) {
      size_t tab = line.find('\t', f);
      std::string field = line.substr(f, tab == std::string::npos ? std::string::npos : tab - f);
      fixed += field == "\x01" ? "\\N" : field;
      if (tab == std::string::npos) break;
      fixed += '\t';
      f = tab + 1;
    }
    lines += fixed + "\n";
    start = end + 1;
  }
  return lines;
}

// Every key both ways at every fetch size equals the server's ORDER BY,
// made total the same way.
struct Shape {
  const char* name;
  const char* sql;                   // CREATE and INSERT
  std::vector<std::string> columns;  // reference expressions, in column order
  // Key name, then its total ascending order and descending order.
  std::vector<std::vector<std::string>> keys;
};

TEST_F(WalkOrder, EveryKeyBothWaysAtEveryFetchSizeEqualsTheServersOrder) {
  const std::vector<Shape> shapes = {
      {"bin",
       "CREATE TABLE bin (id INT PRIMARY KEY, vb VARBINARY(8), bn BINARY(3), bl BLOB, "
       "bt BIT(10), s VARCHAR(10) NULL, KEY kvb(vb), KEY kbn(bn), KEY kbt(bt));"
       "INSERT INTO bin VALUES (1, X'41004243', 'a', X'00FF00', b'1010', 'x'),"
       "(2, X'FF27', X'0102', X'', 5, NULL), (3, NULL, NULL, NULL, NULL, 'y'),"
       "(4, 'A', 'A', 'A', 0, 'z'), (5, X'4100', X'0100', X'41', b'1111111111', 'w'),"
       "(6, X'410042', X'01', X'4100', b'1010', 'v'), (7, X'', X'000000', NULL, 5, 'u'),"
       "(8, X'4100', X'0102', X'FF', 512, 'x')",
       {"id", "HEX(vb)", "HEX(bn)", "HEX(bl)", "LPAD(HEX(bt), 4, '0')", "s"},
       {{"id", "id", "id DESC"},
        {"vb", "vb, id", "vb DESC, id DESC"},
        {"bn", "bn, id", "bn DESC, id DESC"},
        {"bt", "bt, id", "bt DESC, id DESC"}}},
      // No primary key: a nullable unique key, duplicate key values and
      // whole duplicate rows.
      {"nopk",
       "CREATE TABLE nopk (u INT NULL, k INT, v VARCHAR(5), UNIQUE KEY ku(u), KEY kk(k));"
       "INSERT INTO nopk VALUES (NULL, 1, 'a'), (NULL, 1, 'a'), (NULL, 1, 'a'), (NULL, 2, 'b'),"
       "(1, 1, 'a'), (2, 1, 'b'), (3, NULL, 'c'), (NULL, NULL, NULL), (NULL, NULL, NULL),"
       "(4, 2, 'a'), (5, 2, 'a'), (NULL, 2, 'b'), (6, 3, 'z'), (7, 1, 'a'), (NULL, 1, 'c')",
       {"u", "k", "v"},
       {{"u", "u, k, v", "u DESC, k DESC, v DESC"}, {"k", "k, u, v", "k DESC, u DESC, v DESC"}}},
      // A primary key with further keys on a time, a wide decimal and a
      // date-time with fraction: each fetch continues from values the
      // server compares equal to what it stores.
      {"typed",
       "CREATE TABLE typed (id INT PRIMARY KEY, tm TIME, dc DECIMAL(65,10), dt DATETIME(6), "
       "dw DECIMAL(65,0), KEY ktm(tm), KEY kdc(dc), KEY kdt(dt), KEY kdw(dw));"
       "INSERT INTO typed VALUES (1, '10:00:00', 1.5, '2024-01-02 03:04:05.123456', 1),"
       "(2, '09:00:00', -2.25, '2024-01-02 03:04:05.123455', -1), (3, '10:00:00', 1.5, NULL, 1),"
       "(4, NULL, NULL, '2023-12-31 23:59:59.999999', NULL),"
       "(5, '00:00:01', 0, '2024-01-02 03:04:05', 18446744073709551616),"
       "(6, '23:59:59', 12345678901234567890.0123456789, '2024-01-02 03:04:05.123456',"
       " 99999999999999999999999999999999999999999999999999999999999999999),"
       "(7, '10:00:00', 1.5, '2000-02-29 00:00:00',"
       " -99999999999999999999999999999999999999999999999999999999999999999),"
       "(8, '25:00:00', -0.0000000001, '2024-01-02 03:04:05.000001', 9223372036854775808),"
       "(9, '-10:20:30', 123456789012345678901234567890123456789012345678901234.5,"
       " '1000-01-01 00:00:00', -9223372036854775809),"
       "(10, '838:59:59', -123456789012345678901234567890123456789012345678901234.5,"
       " '9999-12-31 23:59:59.999999', 0),"
       "(11, '-838:59:59', 0.0000000001, NULL, 18446744073709551616)",
       // The walk prints a date-time in the host's compact form.
       {"id", "tm", "dc", "DATE_FORMAT(dt, '%Y%m%d %H:%i:%s.%f')", "dw"},
       {{"id", "id", "id DESC"},
        {"tm", "tm, id", "tm DESC, id DESC"},
        {"dc", "dc, id", "dc DESC, id DESC"},
        {"dt", "dt, id", "dt DESC, id DESC"},
        {"dw", "dw, id", "dw DESC, id DESC"}}},
      // Single-precision values the server shows rounded alike (0.1 and
      // 0.1000001 both read "0.1"), and doubles that differ in the last
      // digit.
      {"flt",
       "CREATE TABLE flt (id INT PRIMARY KEY, f FLOAT, d DOUBLE, KEY kf(f), KEY kd(d));"
       "INSERT INTO flt VALUES (1, 0.1, 0.1), (2, 0.1000001, 0.1), (3, 0.1, 0.10000000000000002),"
       "(4, NULL, 1e-7), (5, 0.1000002, 3.4e38), (6, -0.1, NULL), (7, 0.1000001, -1e-7),"
       "(8, 0.0999999, 0.1)",
       {"id", "f", "d"},
       {{"f", "f, id", "f DESC, id DESC"}, {"d", "d, id", "d DESC, id DESC"}}},
      // A column ascending in its own index and descending in another.
      {"dsc",
       "CREATE TABLE dsc (id INT PRIMARY KEY, k INT, x INT, KEY k(k), KEY kx(x, k DESC));"
       "INSERT INTO dsc VALUES (1, 3, 1), (2, 1, 1), (3, 2, 2), (4, NULL, 1), (5, 1, 2),"
       "(6, 3, NULL), (7, 2, 1), (8, 1, 1)",
       {"id", "k", "x"},
       {{"k", "k, id", "k DESC, id DESC"}, {"kx", "x, k DESC, id", "x DESC, k, id DESC"}}},
  };
  for (const Shape& shape : shapes) {
    ASSERT_TRUE(Query(shape.sql)) << shape.name;
    for (const auto& key : shape.keys) {
      for (bool backward : {false, true}) {
        const std::string want = Reference(this, shape.name, shape.columns, key[backward ? 2 : 1]);
        for (int64_t fetch : {1, 7, 100, 0}) {
          std::string out, err;
          EXPECT_EQ(0, Walk(Options(shape.name, key[0], backward, fetch), &out, &err)) << err;
          EXPECT_EQ(want, out) << shape.name << " along " << key[0]
                               << (backward ? " backward" : "") << " fetch " << fetch;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qghost
namespace qghost {
namespace {

// A TIME past a day or below zero and a DECIMAL past 64 bits are valid
// values: the walk goes on over them, printing the server's text.
TEST_F(WalkOrder, ValuesPastTheItemsRangeDoNotStopTheWalk) {
  ASSERT_TRUE(Query("CREATE TABLE k1 (id INT PRIMARY KEY, tm TIME, d19 DECIMAL(19,0));"
                    "INSERT INTO k1 VALUES (1, '25:00:00', 9999999999999999999), "
                    "(2, '-10:20:30', -5), (3, '01:02:03', 0), (4, NULL, NULL)"));
  const std::string rows[] = {"1\t25:00:00\t9999999999999999999\n", "2\t-10:20:30\t-5\n",
                              "3\t01:02:03\t0\n", "4\t\\N\t\\N\n"};
  for (bool backward : {false, true}) {
    std::string want;
    for (int i = 0; i < 4; ++i) want += rows[backward ? 3 - i : i];
    std::string out, err;
    EXPECT_EQ(0, Walk(Options("k1", "id", backward, 0), &out, &err)) << err;
    EXPECT_EQ(want, out);
  }
}

}  // namespace
}  // namespace qghost
namespace qghost {
namespace {

// While the walk reads, another connection inserts rows just behind and
// just ahead of the position, deletes rows it inserted and deletes rows the
// walk already passed: every row that was there from start to end comes
// exactly once, in the server's order, and no row comes twice.
TEST_F(WalkOrder, RowsThereTheWholeTimeComeOnceWhileAnotherConnectionWrites) {
  // A key value as an SQL literal: of an original row (by its id), and of
  // a row written next to the position (from the value printed there, one
  // step away or, where there is no step, equal and told apart by id).
  using Original = std::string (*)(int id);
  using Near = std::string (*)(const std::string& printed, int delta);
  struct Table {
    const char* name;
    const char* create;
    Original original;
    Near near;
    const char* k_reference;  // the reference expression of column k
    // Key name, then its total ascending order and descending order.
    std::vector<std::vector<std::string>> keys;
  };
  const Original int_of = [](int id) {
    return id % 9 == 0 ? std::string("NULL") : std::to_string(id % 5);
  };
  const Near int_near = [](const std::string& printed, int delta) {
    return std::to_string((printed == "\\N" ? 0 : std::atoi(printed.c_str())) + delta);
  };
  const Near same_text = [](const std::string& printed, int) {
    return printed == "\\N" ? std::string("NULL") : "'" + printed + "'";
  };
  const Near same_hex = [](const std::string& printed, int) {
    return printed == "\\N" ? std::string("NULL") : "X'" + printed + "'";
  };
  const std::vector<Table> tables = {
      {"cw", "CREATE TABLE cw (id INT PRIMARY KEY, k INT NULL, v VARCHAR(5), KEY kk(k), "
             "KEY kd(k DESC, v))",
       int_of, int_near, "k",
       {{"id", "id", "id DESC"},
        {"k", "k, id", "k DESC, id DESC"},
        {"kd", "k DESC, v, id", "k, v DESC, id DESC"}}},
      // No unique key: the order ends with every column.
      {"cwn", "CREATE TABLE cwn (id INT NOT NULL, k INT NULL, v VARCHAR(5), KEY kk(k))", int_of,
       int_near, "k", {{"k", "k, id, v", "k DESC, id DESC, v DESC"}}},
      // Times past a day and below zero.
      {"cwt", "CREATE TABLE cwt (id INT PRIMARY KEY, k TIME NULL, v VARCHAR(5), KEY kk(k))",
       [](int id) {
         static const char* const times[] = {"'25:00:00'", "'-10:20:30'", "'00:00:01'",
                                             "'838:59:59'", "'-838:59:59'"};
         return id % 9 == 0 ? std::string("NULL") : std::string(times[id % 5]);
       },
       same_text, "k", {{"k", "k, id", "k DESC, id DESC"}}},
      // Bytes that differ only after a zero byte, without a unique key.
      {"cwb", "CREATE TABLE cwb (id INT NOT NULL, k VARBINARY(4) NULL, v VARCHAR(5), KEY kk(k))",
       [](int id) {
         static const char* const bytes[] = {"X'41'", "X'4100'", "X'410042'", "X'00'", "X''"};
         return id % 9 == 0 ? std::string("NULL") : std::string(bytes[id % 5]);
       },
       same_hex, "HEX(k)", {{"k", "k, id, v", "k DESC, id DESC, v DESC"}}},
      // Decimals of 65 digits.
      {"cwd", "CREATE TABLE cwd (id INT PRIMARY KEY, k DECIMAL(65,0) NULL, v VARCHAR(5), "
              "KEY kk(k))",
       [](int id) {
         if (id % 9 == 0) return std::string("NULL");
         const std::string nines(64, '9');
         switch (id % 5) {
           case 0: return "-9" + nines;
           case 1: return "9" + nines;
           case 2: return std::string("18446744073709551616");
           case 3: return std::string("-9223372036854775809");
           default: return std::string("0");
         }
       },
       same_text, "k", {{"k", "k, id", "k DESC, id DESC"}}},
  };
  auto field = [](const std::string& line, int n) {
    size_t from = 0;
    for (int i = 0; i < n; ++i) from = line.find('\t', from) + 1;
    return line.substr(from, line.find_first_of("\t\n", from) - from);
  };
  qg::rig::OtherConnection writer(db.Name());
  ASSERT_TRUE(writer.Ok());
  for (const Table& table : tables) {
    // Originals have even ids, rows written during the walk odd ones.
    std::string originals;
    for (int id = 2; id <= 40; id += 2) {
      if (!originals.empty()) originals += ", ";
      originals += "(" + std::to_string(id) + ", " + table.original(id) + ", '" +
                   std::string(1, static_cast<char>('a' + id % 3)) + "')";
    }
    for (const auto& key : table.keys) {
      for (bool backward : {false, true}) {
        for (int64_t fetch : {1, 7, 100, 0}) {
          const std::string where = std::string(table.name) + " along " + key[0] +
                                    (backward ? " backward" : "") + " fetch " +
                                    std::to_string(fetch);
          writer.Run(std::string("DROP TABLE IF EXISTS ") + table.name);
          writer.Run(table.create);
          writer.Run("INSERT INTO " + std::string(table.name) + " VALUES " + originals);
          const std::string want =
              Reference(this, table.name, {"id", table.k_reference, "v"}, key[backward ? 2 : 1]);
          std::set<int> used;
          for (int id = 2; id <= 40; id += 2) used.insert(id);
          std::vector<int> inserted, passed;
          int step = 0;
          WalkOptions o = Options(table.name, key[0], backward, fetch);
          o.after_line = [&](const std::string& line) {
            const int id = std::atoi(field(line, 0).c_str());
            const std::string k_text = field(line, 1);
            // Rows written here write nothing more: a walk that chased its
            // own writes would never end.
            if (id % 2 != 0) return;
            passed.push_back(id);
            ++step;
            // A row next to the position on each side, in id and in k.
            for (int delta : {-1, 1}) {
              const int new_id = id + delta;
              if (used.count(new_id) != 0 || new_id <= 0) continue;
              used.insert(new_id);
              inserted.push_back(new_id);
              writer.Run("INSERT INTO " + std::string(table.name) + " VALUES (" +
                         std::to_string(new_id) + ", " + table.near(k_text, delta) + ", 'n')");
            }
            // One of the rows written before, and now and then a row passed.
            if (inserted.size() > 2 && step % 2 == 0) {
              writer.Run("DELETE FROM " + std::string(table.name) +
                         " WHERE id = " + std::to_string(inserted[inserted.size() - 3]));
            }
            if (passed.size() > 2 && step % 3 == 0) {
              writer.Run("DELETE FROM " + std::string(table.name) +
                         " WHERE id = " + std::to_string(passed[passed.size() - 2]));
            }
          };
          std::string out, err;
          EXPECT_EQ(0, Walk(o, &out, &err)) << where << ": " << err;
          std::string kept;
          std::set<std::string> seen;
          for (size_t from = 0; from < out.size();) {
            const size_t end = out.find('\n', from);
            const std::string line = out.substr(from, end + 1 - from);
            EXPECT_TRUE(seen.insert(line).second) << where << ": twice: " << line;
            if (std::atoi(field(line, 0).c_str()) % 2 == 0) kept += line;
            from = end + 1;
          }
          EXPECT_EQ(want, kept) << where;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qghost
