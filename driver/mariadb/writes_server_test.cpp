// Modify and delete against the binary's private server: each changes the
// one row that was read and no other, whatever the table's keys (none, a
// unique key holding NULL, binary, date, time, floating and decimal keys,
// whole duplicate rows), and a row that is gone or cannot be told apart is
// reported, not guessed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/core/copy_context.h"
#include "driver/core/dispatcher.h"
#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/host_table_fixture.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/column.h"
#include "driver/sql/record_source.h"
#include "driver/sql/table_access.h"
#include "host/core/calc_entries.h"
#include "host/core/driver_objects.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& N = qg::rig::Narrow;

// A handle of a copied context: the first handle's name (by address, as
// the driver files sessions) in context 2.
class CopiedHandle : public qghost::FileDescription {
 public:
  explicit CopiedHandle(qghost::FileDescription* first)
      : qghost::FileDescription(first->pszGetName(), 2), first_(first) {}
  const char16_t* pszGetName() override { return first_->pszGetName(); }

 private:
  qghost::FileDescription* first_;
};

class RowWrites : public qg::rig::HostTableServerTest {
 protected:
  std::pair<qghost::FileDescription*, CNADispatcher*> Open(const std::u16string& table) {
    CNAError error;
    CNADispatcher* d = manager_->pclFindOrCreateDispatcher(description_, table.c_str(), &error);
    EXPECT_NE(nullptr, d) << N(error.pszGetMessage());
    auto* handle = new qghost::FileDescription(table, 1);
    INAError* slot = nullptr;
    EXPECT_TRUE(d->bOpen(handle, description_, 0, 0, &slot)) << Message(slot);
    opened_.push_back({handle, d});
    return {handle, d};
  }
  static std::string Message(INAError*& slot) { return qg::rig::TakeMessage(slot); }
  // The message of a failed write ("" when it did not fail).
  static std::string Failure(INAError*& slot) { return slot == nullptr ? "" : Message(slot); }
  static void SetInt(CNADispatcher* d, qghost::FileDescription* h, int column, int v) {
    CAny value;
    value.SetI4(v);
    INAError* slot = nullptr;
    EXPECT_TRUE(d->bWriteItemValue(h, column, reinterpret_cast<intptr_t>(&value), &slot))
        << Message(slot);
  }
  static void SetText(CNADispatcher* d, qghost::FileDescription* h, int column,
                      const char16_t* v) {
    CAny value;
    value.SetPSTRW(v);
    INAError* slot = nullptr;
    EXPECT_TRUE(d->bWriteItemValue(h, column, reinterpret_cast<intptr_t>(&value), &slot))
        << Message(slot);
  }
  static bool Read(CNADispatcher* d, qghost::FileDescription* h, const char16_t* key, int how) {
    INAError* slot = nullptr;
    bool ok = d->bRead(h, reinterpret_cast<intptr_t>(key), how, 0, 1, 0, 0, &slot);
    EXPECT_TRUE(ok) << Message(slot);
    int32_t at_end = 0;
    d->bIsAtEnd(h, reinterpret_cast<intptr_t>(key), reinterpret_cast<intptr_t>(&at_end), &slot);
    Message(slot);
    return ok && at_end == 0;
  }

};

// Every row read along the key is modified once, through its own key
// value; then every other row is deleted the same way. Each write must
// land on its row alone.
TEST_F(RowWrites, KeysGoBackAsTheServerStoresThem) {
  struct Case {
    const char* type;
    const char* values;  // the keys of three rows, as SQL literals
  };
  const Case cases[] = {
      {"VARBINARY(4)", "X'41', X'4100', X'00'"},
      {"BINARY(3)", "X'41', X'4142', X'004100'"},
      {"BLOB", "X'41', X'4100', X'4120'"},
      {"DATETIME(6)", "'2024-01-01 10:00:00', '2024-01-01 10:00:00.000001', '1999-12-31'"},
      {"TIMESTAMP(3)", "'2024-01-01 10:00:00.5', '2024-01-01 10:00:00', '2030-06-01'"},
      {"TIME(3)", "'23:59:59.999', '10:00:00', '00:00:00.001'"},
      {"DATE", "'2024-02-29', '1000-01-01', '9999-12-31'"},
      {"FLOAT", "0.1, 1e-7, 3.4e38"},
      {"DOUBLE", "0.1, 1e-7, 3.4e38"},
      {"DECIMAL(40,20)", "12345678901234567890.01234567890123456789, 0.00000000000000000001, -1"},
      {"BIT(9)", "b'100000001', b'1', b'0'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    std::string key = std::string("k ") + c.type;
    std::string index = std::string(c.type) == "BLOB" ? "k(4)" : "k";
    ASSERT_TRUE(Sql(std::string("DROP TABLE IF EXISTS t; CREATE TABLE t (") + key +
                    " NOT NULL, v INT, PRIMARY KEY (" + index + "))"));
    // One row per value.
    std::string values = c.values;
    size_t from = 0;
    int count = 0;
    for (;;) {
      size_t comma = values.find(", ", from);
      std::string one = values.substr(from, comma == std::string::npos ? comma : comma - from);
      ASSERT_TRUE(Sql("INSERT INTO t (k) VALUES (" + one + ")"));
      ++count;
      if (comma == std::string::npos) break;
      from = comma + 2;
    }
    ASSERT_EQ(3, count);
    auto [h, d] = Open(u"t");
    INAError* slot = nullptr;
    int n = 0;
    for (bool more = Read(d, h, u"k", kNAReadFirst); more && n < 10;
         more = Read(d, h, u"k", kNAReadNext)) {
      SetInt(d, h, 1, ++n);
      EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
    }
    EXPECT_EQ(3, n);
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}),
              ServerRows("SELECT v FROM t ORDER BY v"));
    // Deletes: the first and the last row along the key, one each.
    ASSERT_TRUE(Read(d, h, u"k", kNAReadFirst));
    EXPECT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Message(slot);
    ASSERT_TRUE(Read(d, h, u"k", kNAReadLast));
    EXPECT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Message(slot);
    EXPECT_EQ((std::vector<std::string>{"2"}), ServerRows("SELECT v FROM t"));
    qg::rig::CloseOpenedTables(&opened_);
  }
}

TEST_F(RowWrites, ANullUniqueKeyOrNoKeyNamesTheWholeRowAndChangesOneRow) {
  ASSERT_TRUE(Sql("CREATE TABLE nu (u INT NULL, v INT, UNIQUE KEY (u)); "
                  "INSERT INTO nu VALUES (NULL, 1), (NULL, 2), (NULL, 3), (5, 5)"));
  auto [h, d] = Open(u"nu");
  INAError* slot = nullptr;
  ASSERT_TRUE(Read(d, h, u"u", kNAReadFirst));
  SetInt(d, h, 1, 10);
  ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"NULL\t2", "NULL\t3", "NULL\t10", "5\t5"}),
            ServerRows("SELECT u, v FROM nu ORDER BY u IS NOT NULL, u, v"));
  ASSERT_TRUE(Read(d, h, u"u", kNAReadFirst));
  ASSERT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"3"}), ServerRows("SELECT COUNT(*) FROM nu"));

  // Whole duplicates without any key: one of them goes, the other stays.
  ASSERT_TRUE(Sql("CREATE TABLE dup (a INT, b VARCHAR(5), c DATETIME NULL); "
                  "INSERT INTO dup VALUES (1, 'x', NULL), (1, 'x', NULL), (2, 'y', '2024-01-01')"));
  auto [h2, d2] = Open(u"dup");
  ASSERT_TRUE(Read(d2, h2, u"a", kNAReadFirst));
  ASSERT_TRUE(d2->bDelete(h2, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"1\tx", "2\ty"}),
            ServerRows("SELECT a, b FROM dup ORDER BY a"));
  ASSERT_TRUE(Read(d2, h2, u"a", kNAReadLast));
  SetInt(d2, h2, 0, 3);
  ASSERT_TRUE(d2->bModify(h2, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"1\tx", "3\ty"}),
            ServerRows("SELECT a, b FROM dup ORDER BY a"));

  // Rows that only a large object tells apart: refused, nothing changed.
  ASSERT_TRUE(Sql("CREATE TABLE lob (a INT, t TEXT); INSERT INTO lob VALUES (1, 'p'), (1, 'q')"));
  auto [h3, d3] = Open(u"lob");
  ASSERT_TRUE(Read(d3, h3, u"a", kNAReadFirst));
  SetInt(d3, h3, 0, 7);
  EXPECT_FALSE(d3->bModify(h3, 0, 0, 0, 0, &slot));
  EXPECT_NE(std::string::npos, Failure(slot).find("no unique key"));
  EXPECT_FALSE(d3->bDelete(h3, 0, 0, 0, &slot));
  EXPECT_NE(std::string::npos, Failure(slot).find("no unique key"));
  EXPECT_EQ((std::vector<std::string>{"1\tp", "1\tq"}),
            ServerRows("SELECT a, t FROM lob ORDER BY t"));

  // A row deleted by another connection: a delete of it is not a success.
  ASSERT_TRUE(Read(d2, h2, u"a", kNAReadFirst));
  ASSERT_TRUE(Sql("DELETE FROM dup WHERE a = 1"));
  EXPECT_FALSE(d2->bDelete(h2, 0, 0, 0, &slot));
  EXPECT_NE(std::string::npos, Failure(slot).find("no longer exists"));
}

// Rows that differ only in a text column, by case, accent or trailing
// spaces, are different rows even where the column's collation finds them
// equal: a modify or delete of the one read leaves the other as it was,
// whichever of the two the server would come to first.
TEST_F(RowWrites, RowsDifferingOnlyByCaseAccentOrSpacesAreNotConfused) {
  struct Table {
    const char* columns;  // s, then v; a NULL unique key u where there is one
    int s, v;             // their positions
  };
  const Table tables[] = {
      {"s VARCHAR(10) COLLATE utf8mb4_general_ci, v INT", 0, 1},
      {"u INT NULL, s VARCHAR(10) CHARACTER SET latin1, v INT, UNIQUE KEY (u)", 1, 2},
      {"s CHAR(5) COLLATE utf8mb4_unicode_ci, e ENUM('p','q') DEFAULT 'q', "
       "st SET('p','q') DEFAULT 'p,q', v INT", 0, 3},
  };
  // Pairs of values as SQL expressions (UTF-8 bytes, whatever the client).
  const char* pairs[][2] = {
      {"'a'", "'A'"},
      {"'e'", "CONVERT(X'C3A9' USING utf8mb4)"},            // é
      {"'x'", "'x '"},
      {"'s'", "CONVERT(X'C39F' USING utf8mb4)"},            // ß
  };
  // The column's text as UTF-16 code units in hexadecimal, as the server's
  // HEX(CONVERT(s USING utf16)) writes it.
  auto hex16 = [](const std::u16string& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (char16_t c : text) {
      for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(c >> shift) & 15]);
    }
    return out;
  };
  for (const Table& table : tables) {
    for (const auto& pair : pairs) {
      for (int how : {kNAReadFirst, kNAReadLast}) {
        for (bool modify : {true, false}) {
          SCOPED_TRACE(std::string(table.columns) + " / " + pair[0] + " " + pair[1] +
                       (how == kNAReadFirst ? " / first" : " / last") +
                       (modify ? " / modify" : " / delete"));
          ASSERT_TRUE(Sql(std::string("DROP TABLE IF EXISTS w; CREATE TABLE w (") +
                          table.columns + "); INSERT INTO w (s, v) VALUES (" + pair[0] +
                          ", 0), (" + pair[1] + ", 0)"));
          const std::string rows = "SELECT HEX(CONVERT(s USING utf16)), v FROM w";
          std::vector<std::string> expected = ServerRows(rows);
          ASSERT_EQ(2u, expected.size());
          auto [h, d] = Open(u"w");
          ASSERT_TRUE(Read(d, h, u"s", how));
          CAny value;
          INAError* slot = nullptr;
          ASSERT_TRUE(d->bReadItemValue(h, table.s, reinterpret_cast<intptr_t>(&value), &slot))
              << Message(slot);
          CXYString<char16_t> text;
          ASSERT_LT(value.nGetTexte(&text), 100);
          const std::string read = hex16(text.pszGet() != nullptr ? text.pszGet() : u"");
          auto at = std::find(expected.begin(), expected.end(), read + "\t0");
          ASSERT_NE(expected.end(), at) << read;
          if (modify) {
            SetInt(d, h, table.v, 1);
            EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
            *at = read + "\t1";
          } else {
            EXPECT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Message(slot);
            expected.erase(at);
          }
          std::vector<std::string> now = ServerRows(rows);
          std::sort(expected.begin(), expected.end());
          std::sort(now.begin(), now.end());
          EXPECT_EQ(expected, now);
          qg::rig::CloseOpenedTables(&opened_);
        }
      }
    }
  }
}

// A modify that changes the key (or any column of a row named by all its
// columns) leaves the record named by the values written, as the server
// stored them: the next modify and delete reach that row, not a row that
// another connection gave the old key meanwhile, and fail on none.
TEST_F(RowWrites, TheRowsIdentityFollowsTheValuesWritten) {
  struct Case {
    const char* type;
    const char* keys;  // two rows' keys, as SQL literals
    CAny key;          // the new key of the first row along the key
    const char* stored;  // HEX(CONCAT(k)) of the row written
  };
  auto value = [](auto set) {
    CAny v;
    set(v);
    return v;
  };
  const Case cases[] = {
      {"INT", "1, 2", value([](CAny& v) { v.SetI4(5); }), "35"},
      {"VARCHAR(8)", "'a', 'b'", value([](CAny& v) { v.SetPSTRW(u"C "); }), "4320"},
      {"CHAR(4)", "'a', 'b'", value([](CAny& v) { v.SetPSTRW(u"c  "); }), "63"},
      {"VARBINARY(4)", "X'41', X'42'", value([](CAny& v) { v.SetBIN("A\0", 2); }), "4100"},
      {"BINARY(3)", "X'41', X'42'", value([](CAny& v) { v.SetBIN("C", 1); }), "430000"},
      {"DATETIME(6)", "'2024-01-01 10:00:00', '2024-01-02'",
       value([](CAny& v) { v.SetDATETIME(2030, 5, 6, 7, 8, 9, 123); }),
       "323033302D30352D30362030373A30383A30392E313233303030"},
      {"DECIMAL(5,2)", "1, 2", value([](CAny& v) { v.SetR8(1.005); }), "312E3031"},
      {"FLOAT", "1, 2", value([](CAny& v) { v.SetR8(0.1); }), "302E31"},
      {"DOUBLE", "1, 2", value([](CAny& v) { v.SetR8(1e-7); }), "302E30303030303031"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    std::string keys = c.keys;
    const std::string first = keys.substr(0, keys.find(", "));
    const std::string second = keys.substr(keys.find(", ") + 2);
    ASSERT_TRUE(Sql(std::string("DROP TABLE IF EXISTS kc; CREATE TABLE kc (k ") + c.type +
                    " NOT NULL PRIMARY KEY, v INT); INSERT INTO kc VALUES (" + first + ", 0), (" +
                    second + ", 0)"));
    auto [h, d] = Open(u"kc");
    INAError* slot = nullptr;
    ASSERT_TRUE(Read(d, h, u"k", kNAReadFirst));
    ASSERT_TRUE(d->bWriteItemValue(h, 0, reinterpret_cast<intptr_t>(&c.key), &slot))
        << Message(slot);
    ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
    const std::string rows = "SELECT HEX(CONCAT(k)), v FROM kc ORDER BY v, k";
    std::vector<std::string> seen = ServerRows(rows);
    ASSERT_EQ(2u, seen.size());
    // The first modify wrote the row read.
    EXPECT_EQ(1u, std::count(seen.begin(), seen.end(), std::string(c.stored) + "\t0"));
    SetInt(d, h, 1, 1);
    EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
    // Another connection takes the old key; the record stays the row written.
    ASSERT_TRUE(Sql("INSERT INTO kc VALUES (" + first + ", 9)"));
    SetInt(d, h, 1, 2);
    EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
    std::vector<std::string> now = ServerRows("SELECT HEX(CONCAT(k)), v FROM kc ORDER BY v");
    ASSERT_EQ(3u, now.size());
    EXPECT_EQ("0", now[0].substr(now[0].find('\t') + 1));
    EXPECT_EQ(std::string(c.stored) + "\t2", now[1]);
    EXPECT_EQ("9", now[2].substr(now[2].find('\t') + 1));
    EXPECT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Message(slot);
    EXPECT_EQ((std::vector<std::string>{"0", "9"}), ServerRows("SELECT v FROM kc ORDER BY v"));
    qg::rig::CloseOpenedTables(&opened_);
  }
}

// The server shows a single-precision value to six digits: 0.1 and
// 0.1000001 both read "0.1". A row named by such a value is written by its
// stored value when no other row shows the same; rows that show alike are
// refused (error 7) rather than one written for the other. A table keyed
// by another column writes every row.
TEST_F(RowWrites, AFloatShownRoundedNamesItsOwnRowOrNone) {
  struct Table {
    const char* columns;
    bool by_float;  // rows are named by the FLOAT value
  };
  const Table tables[] = {
      {"f FLOAT, v INT", true},                       // no key: the whole row
      {"f FLOAT NOT NULL PRIMARY KEY, v INT", true},  // the key
      {"f FLOAT NULL, v INT, UNIQUE KEY (f)", true},  // a key that may be NULL
      {"id INT AUTO_INCREMENT PRIMARY KEY, f FLOAT, v INT", false},
  };
  // Along f: two rows that read alike, then two that read as themselves.
  const char* values = "(0.1, 0), (0.1000001, 0), (0.5, 0), (3.4e38, 0)";
  for (const Table& table : tables) {
    for (int how : {kNAReadFirst, kNAReadLast}) {
      SCOPED_TRACE(std::string(table.columns) + (how == kNAReadFirst ? " / forward" : " / backward"));
      ASSERT_TRUE(Sql(std::string("DROP TABLE IF EXISTS fl; CREATE TABLE fl (") + table.columns +
                      "); INSERT INTO fl (f, v) VALUES " + values));
      auto [h, d] = Open(u"fl");
      const int v = table.by_float ? 1 : 2;
      const bool forward = how == kNAReadFirst;
      INAError* slot = nullptr;
      int n = 0;
      for (bool more = Read(d, h, u"f", how); more && n < 10;
           more = Read(d, h, u"f", forward ? kNAReadNext : kNAReadPrevious)) {
        SetInt(d, h, v, ++n);
        const bool alike = forward ? n <= 2 : n >= 3;
        const bool refused = table.by_float && alike;
        EXPECT_EQ(!refused, d->bModify(h, 0, 0, 0, 0, &slot)) << n;
        const std::string failure = Failure(slot);
        if (refused) {
          EXPECT_NE(std::string::npos, failure.find("Error identifier: 7")) << failure;
        }
      }
      EXPECT_EQ(4, n);
      // Along f: each row written got the number it was read under.
      std::vector<std::string> want = forward ? std::vector<std::string>{"1", "2", "3", "4"}
                                              : std::vector<std::string>{"4", "3", "2", "1"};
      if (table.by_float) want[0] = want[1] = "0";
      EXPECT_EQ(want, ServerRows("SELECT v FROM fl ORDER BY f"));
      // A row that reads as itself is deleted alone.
      ASSERT_TRUE(Read(d, h, u"f", kNAReadLast));
      EXPECT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Failure(slot);
      want.pop_back();
      EXPECT_EQ(want, ServerRows("SELECT v FROM fl ORDER BY f"));
      qg::rig::CloseOpenedTables(&opened_);
    }
  }
}

// Columns the server sets itself when a row is updated (a time stamp ON
// UPDATE, generated columns) do not lose the record in a table without a
// key: the next modify and the delete reach the row written.
TEST_F(RowWrites, ColumnsTheServerSetsOnUpdateKeepTheRecord) {
  ASSERT_TRUE(Sql("CREATE TABLE su (a INT, ts TIMESTAMP(6) NOT NULL DEFAULT CURRENT_TIMESTAMP(6) "
                  "ON UPDATE CURRENT_TIMESTAMP(6), g INT AS (a * 2) VIRTUAL, "
                  "p INT AS (a + 1) PERSISTENT); INSERT INTO su (a) VALUES (1), (1), (2)"));
  auto [h, d] = Open(u"su");
  INAError* slot = nullptr;
  ASSERT_TRUE(Read(d, h, u"a", kNAReadFirst));
  SetInt(d, h, 0, 5);
  EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Failure(slot);
  SetInt(d, h, 0, 6);
  EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Failure(slot);
  EXPECT_EQ((std::vector<std::string>{"1\t2\t2", "2\t4\t3", "6\t12\t7"}),
            ServerRows("SELECT a, g, p FROM su ORDER BY a"));
  EXPECT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Failure(slot);
  EXPECT_EQ((std::vector<std::string>{"1", "2"}), ServerRows("SELECT a FROM su ORDER BY a"));
}

// Rows that are whole duplicates are interchangeable only while they are
// equal: once one is modified, the record is that row, and the next modify
// or delete reaches it alone. A record deleted is no row at all: a modify
// of it writes it again instead of changing its twin.
TEST_F(RowWrites, AModifiedDuplicateStaysTheRowWritten) {
  struct Table {
    const char* columns;
    int a;  // the column modified
  };
  const Table tables[] = {
      {"a INT, b VARCHAR(5)", 0},
      {"a INT, b VARCHAR(5), u INT NULL, UNIQUE KEY (u)", 0},
      {"a INT, b VARCHAR(5), t TEXT", 0},
  };
  for (const Table& table : tables) {
    SCOPED_TRACE(table.columns);
    ASSERT_TRUE(Sql(std::string("DROP TABLE IF EXISTS dd; CREATE TABLE dd (") + table.columns +
                    "); INSERT INTO dd (a, b) VALUES (1, 'x'), (1, 'x')"));
    auto [h, d] = Open(u"dd");
    INAError* slot = nullptr;
    ASSERT_TRUE(Read(d, h, u"a", kNAReadFirst));
    SetInt(d, h, table.a, 2);
    ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
    SetInt(d, h, table.a, 3);
    ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
    EXPECT_EQ((std::vector<std::string>{"1\tx", "3\tx"}),
              ServerRows("SELECT a, b FROM dd ORDER BY a"));
    // Equal again: either row is the record.
    SetInt(d, h, table.a, 1);
    ASSERT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
    EXPECT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Message(slot);
    EXPECT_EQ((std::vector<std::string>{"1\tx"}), ServerRows("SELECT a, b FROM dd"));
    // Deleted: a modify writes the record again, its twin stays as it is.
    SetInt(d, h, table.a, 4);
    EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Failure(slot);
    EXPECT_EQ((std::vector<std::string>{"1\tx", "4\tx"}),
              ServerRows("SELECT a, b FROM dd ORDER BY a"));
    // The remaining row, read again, is modified once.
    ASSERT_TRUE(Read(d, h, u"a", kNAReadFirst));
    SetInt(d, h, table.a, 5);
    EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
    EXPECT_EQ((std::vector<std::string>{"4\tx", "5\tx"}),
              ServerRows("SELECT a, b FROM dd ORDER BY a"));
    qg::rig::CloseOpenedTables(&opened_);
  }
}

// Reads through the record cache (a record source bound to the object
// that reads): the record a modify or delete names is the one read, not
// the row the result was last read to.
TEST_F(RowWrites, WritesThroughTheCacheReachTheRecordRead) {
  ASSERT_TRUE(Sql("CREATE TABLE rc (id INT PRIMARY KEY, v INT); "
                  "INSERT INTO rc VALUES (1, 0), (2, 0), (3, 0), (4, 0)"));
  auto [h, d] = Open(u"rc");
  INAError* slot = nullptr;
  ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
  CNARefPtr<CNASession> session(d->pclFindSession(h));
  ASSERT_TRUE(session);
  CNAError error;
  auto* source = static_cast<CNARecordSource*>(session->pclNewRecordSource(&error));
  ASSERT_NE(nullptr, source) << N(error.pszGetMessage());
  CNARefPtr<CNATableAccess> access(session->pclFindTableAccess(u"id"));
  ASSERT_TRUE(access);
  source->bAttach(access.Get());
  ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
  ASSERT_TRUE(Read(d, h, u"id", kNAReadLast));
  ASSERT_TRUE(Read(d, h, u"id", kNAReadPrevious));
  SetInt(d, h, 1, 3);
  EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
  ASSERT_TRUE(Read(d, h, u"id", kNAReadNext));
  EXPECT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"1\t0", "3\t3", "4\t0"}),
            ServerRows("SELECT id, v FROM rc ORDER BY id"));
  // The record deleted is no longer walked over, either way.
  for (bool backward : {false, true}) {
    std::vector<int> ids;
    for (bool more = Read(d, h, u"id", backward ? kNAReadLast : kNAReadFirst);
         more && ids.size() < 10;
         more = Read(d, h, u"id", backward ? kNAReadPrevious : kNAReadNext)) {
      CAny value;
      ASSERT_TRUE(d->bReadItemValue(h, 0, reinterpret_cast<intptr_t>(&value), &slot))
          << Message(slot);
      int32_t id = 0;
      value.nConvertType(qg::kAnyI4);
      value.nGetI4(&id);
      ids.push_back(id);
    }
    EXPECT_EQ(backward ? (std::vector<int>{4, 3, 1}) : (std::vector<int>{1, 3, 4}), ids);
  }
}

// A duplicate value is named by its key even when the key's name holds
// the character that marks a value in a statement.
TEST_F(RowWrites, ADuplicateOnAKeyWithAMarkInItsNameIsNamed) {
  ASSERT_TRUE(Sql("CREATE TABLE q (id INT PRIMARY KEY, `u?x` VARCHAR(5), `?` INT, "
                  "UNIQUE KEY (`u?x`), UNIQUE KEY (`?`)); INSERT INTO q VALUES (1, 'a?', 1)"));
  auto [h, d] = Open(u"q");
  INAError* slot = nullptr;
  for (int column : {1, 2}) {
    SCOPED_TRACE(column);
    SetInt(d, h, 0, 2);
    if (column == 1) {
      SetText(d, h, 1, u"a?");
      SetInt(d, h, 2, 2);
    } else {
      SetText(d, h, 1, u"b");
      SetInt(d, h, 2, 1);
    }
    EXPECT_FALSE(d->bAdd(h, 0, 0, &slot));
    ASSERT_NE(nullptr, slot);
    auto* e = static_cast<CNAError*>(slot);
    EXPECT_EQ(3, e->nGetCode());
    EXPECT_EQ(column == 1 ? "u?x" : "?", N(e->pszGetItemName()));
    Message(slot);
  }
}

// A session copied for another context writes through table access
// objects of its own kind that belong to it.
TEST_F(RowWrites, ACopiedSessionAddsAndModifiesThroughItsOwnObjects) {
  ASSERT_TRUE(Sql("CREATE TABLE cp (id INT PRIMARY KEY, v INT); INSERT INTO cp VALUES (1, 1)"));
  auto [h, d] = Open(u"cp");
  ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
  INAError* slot = nullptr;
  SetInt(d, h, 1, 3);
  EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  CNASession* session = d->pclFindSession(h);
  ASSERT_NE(nullptr, session);
  CNACopyContext context;
  CNASession* copy = session->pclClone(&context);
  ASSERT_NE(nullptr, copy);
  int copied = 0;
  copy->VisitTableAccess([&](const char16_t*, CNATableAccess* t) {
    ++copied;
    EXPECT_EQ(copy, t->pclGetSession());
    EXPECT_EQ(copy->pclGetConnection(), t->pclGetConnection());
  });
  EXPECT_LE(2, copied);
  CNAError error;
  CNATableAccess* access = copy->pclGetDefaultTableAccess(&error);
  ASSERT_NE(nullptr, access) << N(error.pszGetMessage());
  EXPECT_EQ(copy, access->pclGetSession());
  EXPECT_EQ(copy->pclGetConnection(), access->pclGetConnection());
  ReleaseBoth(access);
  CAny value;
  value.SetI4(2);
  ASSERT_TRUE(copy->bSetColumnValue(0, &value, &error));
  ASSERT_TRUE(copy->bSetColumnValue(1, &value, &error));
  EXPECT_TRUE(copy->bAdd(0, 0, &error)) << N(error.pszGetMessage());
  EXPECT_EQ((std::vector<std::string>{"1\t3", "2\t2"}),
            ServerRows("SELECT id, v FROM cp ORDER BY id"));
  // The first session's record is its own still.
  SetInt(d, h, 1, 9);
  EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"1\t9", "2\t2"}),
            ServerRows("SELECT id, v FROM cp ORDER BY id"));
  ReleaseBoth(copy);
  ReleaseBoth(session);
}

// A context copied by the host holds its own copies of each session's
// table, logical and query descriptions, key filters and record source,
// not the first context's objects, and each context goes on reading and
// writing when the other closes the table first.
TEST_F(RowWrites, ACopiedContextsSessionsOwnTheirDescriptionsAndRecordSource) {
  ASSERT_TRUE(Sql("CREATE TABLE ca (id INT PRIMARY KEY, v INT); CREATE TABLE cb LIKE ca; "
                  "INSERT INTO ca VALUES (1, 10), (2, 20), (3, 30); "
                  "INSERT INTO cb SELECT * FROM ca"));
  // The current record as text, items tab-joined.
  auto record = [](CNADispatcher* d, qghost::FileDescription* h) {
    std::string line;
    for (int i = 0; i < 2; ++i) {
      CAny value;
      INAError* slot = nullptr;
      EXPECT_TRUE(d->bReadItemValue(h, i, reinterpret_cast<intptr_t>(&value), &slot))
          << Message(slot);
      CXYString<char16_t> text;
      value.nGetTexte(&text);
      line += (i > 0 ? "\t" : "") + N(text.pszGet());
    }
    return line;
  };
  CNAError error;
  INAError* slot = nullptr;
  struct Table {
    const char16_t* name;
    qghost::FileDescription* first = nullptr;  // context 1
    qghost::FileDescription* second = nullptr;  // the copy's, context 2
    CNADispatcher* d = nullptr;
  };
  Table tables[] = {{u"ca"}, {u"cb"}};
  for (Table& t : tables) {
    auto [h, d] = Open(t.name);
    t.first = h;
    t.d = d;
    // Read, with a record source bound to the object that read.
    ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
    CNARefPtr<CNASession> session(d->pclFindSession(h));
    ASSERT_TRUE(session);
    auto* source = static_cast<CNARecordSource*>(session->pclNewRecordSource(&error));
    ASSERT_NE(nullptr, source) << N(error.pszGetMessage());
    CNARefPtr<CNATableAccess> access(session->pclFindTableAccess(u"id"));
    ASSERT_TRUE(access);
    source->bAttach(access.Get());
    ASSERT_TRUE(Read(d, h, u"id", kNAReadFirst));
  }
  ASSERT_TRUE(manager_->bSetContextName(1, u"first", nullptr));
  CNACopyContext context;
  ASSERT_TRUE(manager_->bCopyContext(1, 2, &context, &slot)) << Message(slot);
  for (Table& t : tables) {
    SCOPED_TRACE(N(t.name));
    t.second = new CopiedHandle(t.first);
    // Closed (and deleted) before the first handle, whose name it shows.
    opened_.insert(opened_.begin(),
                   {t.second, manager_->pclFindOrCreateDispatcher(description_, t.name, &error)});
    CNARefPtr<CNASession> first(t.d->pclFindSession(t.first));
    CNARefPtr<CNASession> second(t.d->pclFindSession(t.second));
    ASSERT_TRUE(first && second);
    ASSERT_NE(first.Get(), second.Get());
    // Copies, not the same objects.
    EXPECT_NE(first->pclGetTableDescription(), second->pclGetTableDescription());
    EXPECT_NE(first->pclGetRecordSource(), second->pclGetRecordSource());
    CNARefPtr<CNARefCounted> logical1(first->pclGetLogicalDescription());
    CNARefPtr<CNARefCounted> logical2(second->pclGetLogicalDescription());
    EXPECT_NE(logical1.Get(), logical2.Get());
    CNARefPtr<CNATableAccess> access1(first->pclFindTableAccess(u"id"));
    CNARefPtr<CNATableAccess> access2(second->pclFindTableAccess(u"id"));
    ASSERT_TRUE(access1 && access2);
    EXPECT_TRUE(access1->pclGetKeyFilter() == nullptr ||
                access1->pclGetKeyFilter() != access2->pclGetKeyFilter());
    // The copy reads afresh, on its own.
    ASSERT_TRUE(Read(t.d, t.second, u"id", kNAReadFirst));
    EXPECT_EQ("1\t10", record(t.d, t.second));
    EXPECT_EQ("1\t10", record(t.d, t.first));
  }
  // ca: the first context closes, the copy goes on; cb: the other way.
  auto goes_on = [&](CNADispatcher* d, qghost::FileDescription* h, int v) {
    ASSERT_TRUE(Read(d, h, u"id", kNAReadNext));
    EXPECT_EQ("2\t20", record(d, h));
    SetInt(d, h, 1, v);
    EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << Message(slot);
    ASSERT_TRUE(Read(d, h, u"id", kNAReadLast));
    EXPECT_EQ("3\t30", record(d, h));
  };
  EXPECT_TRUE(tables[0].d->bClose(tables[0].first, 0, nullptr));
  goes_on(tables[0].d, tables[0].second, 21);
  EXPECT_TRUE(tables[1].d->bClose(tables[1].second, 0, nullptr));
  goes_on(tables[1].d, tables[1].first, 22);
  EXPECT_EQ((std::vector<std::string>{"21"}), ServerRows("SELECT v FROM ca WHERE id = 2"));
  EXPECT_EQ((std::vector<std::string>{"22"}), ServerRows("SELECT v FROM cb WHERE id = 2"));
}

// A connection killed inside a transaction fails the transaction: every
// later write of it and its end report the loss; nothing is written on a
// connection opened behind the program's back, and after the program ends
// the transaction the next write goes through.
TEST_F(RowWrites, AConnectionLostInATransactionFailsItUntilItEnds) {
  ASSERT_TRUE(Sql("CREATE TABLE tx (id INT PRIMARY KEY) ENGINE=InnoDB"));
  auto [h, d] = Open(u"tx");
  auto kill_driver = [&] {
    for (const std::string& id :
         ServerRows("SELECT ID FROM information_schema.PROCESSLIST WHERE DB = DATABASE() AND "
                    "ID <> CONNECTION_ID() AND COMMAND <> 'Daemon'")) {
      Sql("KILL " + id);
    }
  };
  INAError* slot = nullptr;
  auto add = [&](int id) {
    SetInt(d, h, 0, id);
    bool ok = d->bAdd(h, 0, 0, &slot);
    Failure(slot);
    return ok;
  };
  for (bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    int base = commit ? 10 : 0;
    ASSERT_TRUE(manager_->bBeginTransaction(description_, u"t", &slot)) << Message(slot);
    EXPECT_TRUE(add(base + 1));
    kill_driver();
    EXPECT_FALSE(add(base + 2));
    EXPECT_FALSE(add(base + 3));
    bool ended = commit ? manager_->bCommitTransaction(description_, u"t", &slot)
                        : manager_->bRollbackTransaction(description_, u"t", &slot);
    EXPECT_FALSE(ended);
    EXPECT_NE("", Failure(slot));
    EXPECT_EQ((std::vector<std::string>{"0"}),
              ServerRows("SELECT COUNT(*) FROM tx WHERE id BETWEEN " + std::to_string(base + 1) +
                         " AND " + std::to_string(base + 3)));
    // Ended: writing goes on, outside any transaction.
    EXPECT_TRUE(add(base + 4));
    EXPECT_EQ((std::vector<std::string>{"1"}),
              ServerRows("SELECT COUNT(*) FROM tx WHERE id = " + std::to_string(base + 4)));
  }
}

// A text holding U+0000 is stored whole, byte for byte, or refused; it is
// never cut at the NUL.
TEST_F(RowWrites, ATextHoldingANulIsStoredWhole) {
  ASSERT_TRUE(Sql("CREATE TABLE nul (id INT PRIMARY KEY, t VARCHAR(10))"));
  auto [h, d] = Open(u"nul");
  INAError* slot = nullptr;
  SetInt(d, h, 0, 1);
  CAny text;
  text.SetDSTRW(u"a\0b'\0", 5);
  ASSERT_TRUE(d->bWriteItemValue(h, 1, reinterpret_cast<intptr_t>(&text), &slot))
      << Message(slot);
  ASSERT_TRUE(d->bAdd(h, 0, 0, &slot)) << Message(slot);
  EXPECT_EQ((std::vector<std::string>{"6100622700"}), ServerRows("SELECT HEX(t) FROM nul"));
}

// The identifier of an added record: generated by the server and read
// back; supplied by the session (option 0x200) as the column's next
// value; or the host's own (0x100), left alone. A record with nothing set
// is added with the server's defaults.
TEST_F(RowWrites, IdentifiersOfAddedRecords) {
  ASSERT_TRUE(Sql("CREATE TABLE ai (id INT AUTO_INCREMENT PRIMARY KEY, v INT DEFAULT 7, "
                  "w VARCHAR(5) DEFAULT 'x'); INSERT INTO ai (id, v) VALUES (5, 1)"));
  auto [h, d] = Open(u"ai");
  CNASession* session = d->pclFindSession(h);
  ASSERT_NE(nullptr, session);
  NAEditRecord* edits = session->pclGetEdits();
  auto id_of_record = [&]() {
    int64_t n = -1;
    const CAny* id = edits->pclGet(0);
    if (id == nullptr) return static_cast<int64_t>(-2);
    CAny copy(*id);
    if (copy.nConvertType(qg::kAnyI8) >= 100 || copy.nGetI8(&n) != 0) return static_cast<int64_t>(-3);
    return n;
  };
  CNAError error;
  CAny value;
  // 0x200: the session supplies MAX(id)+1, which the record takes.
  value.SetI4(2);
  ASSERT_TRUE(session->bSetColumnValue(1, &value, &error));
  ASSERT_TRUE(session->bAdd(0x200, 0, &error)) << N(error.pszGetMessage());
  EXPECT_EQ(6, id_of_record());
  // Nothing set: the server's defaults, and the identifier it generated.
  edits->Clear();
  ASSERT_TRUE(session->bAdd(0, 0, &error)) << N(error.pszGetMessage());
  EXPECT_EQ(7, id_of_record());
  // 0x100: the host's identifier is written and left as it is.
  edits->Clear();
  value.SetI4(20);
  ASSERT_TRUE(session->bSetColumnValue(0, &value, &error));
  ASSERT_TRUE(session->bAdd(0x100, 0, &error)) << N(error.pszGetMessage());
  EXPECT_EQ(20, id_of_record());
  EXPECT_EQ((std::vector<std::string>{"5\t1\tx", "6\t2\tx", "7\t7\tx", "20\t7\tx"}),
            ServerRows("SELECT id, v, w FROM ai ORDER BY id"));
  // The generic read-back asks the session's identity query object.
  CNATableAccess* access = session->pclGetDefaultTableAccess(&error);
  ASSERT_NE(nullptr, access);
  ASSERT_TRUE(session->pclGetConnection()->bExecuteText(&error, u"INSERT INTO ai (v) VALUES (9)"));
  edits->Clear();
  access->SetOptionWord(0x400);  // leaves the identifier alone
  ASSERT_TRUE(access->CNATableAccess::bReadInsertId(&error));
  EXPECT_FALSE(edits->bIsSet(0));
  access->SetOptionWord(0);
  ASSERT_TRUE(access->CNATableAccess::bReadInsertId(&error)) << N(error.pszGetMessage());
  EXPECT_EQ(21, id_of_record());
  ReleaseBoth(access);
  ReleaseBoth(session);
}

// A delete takes out of the walks the record it deleted, and no other: an
// object standing on another record along another key still reads that
// record when it walks on.
TEST_F(RowWrites, ADeleteLeavesOtherWalksTheirOwnRecords) {
  ASSERT_TRUE(Sql("CREATE TABLE t (id INT PRIMARY KEY, a INT, b INT, KEY (a), KEY (b)); "
                  "INSERT INTO t VALUES (1, 1, 4), (2, 2, 3), (3, 3, 2), (4, 4, 1)"));
  auto [h, d] = Open(u"t");
  INAError* slot = nullptr;
  auto walk = [&](const char16_t* key) {
    std::vector<std::string> ids;
    for (bool more = Read(d, h, key, kNAReadFirst); more; more = Read(d, h, key, kNAReadNext)) {
      CAny value;
      EXPECT_TRUE(d->bReadItemValue(h, 0, reinterpret_cast<intptr_t>(&value), &slot));
      CXYString<char16_t> text;
      value.nGetTexte(&text);
      ids.push_back(N(text.pszGet()));
    }
    return ids;
  };
  // Along a to its second record (id 2), along b to its first (id 4), which
  // is deleted.
  ASSERT_TRUE(Read(d, h, u"a", kNAReadFirst));
  ASSERT_TRUE(Read(d, h, u"a", kNAReadNext));
  ASSERT_TRUE(Read(d, h, u"b", kNAReadFirst));
  ASSERT_TRUE(d->bDelete(h, 0, 0, 0, &slot)) << Message(slot);
  // Along a from where it stood, back and forth: its own record is there.
  auto id = [&] {
    CAny value;
    EXPECT_TRUE(d->bReadItemValue(h, 0, reinterpret_cast<intptr_t>(&value), &slot));
    CXYString<char16_t> text;
    value.nGetTexte(&text);
    return N(text.pszGet());
  };
  ASSERT_TRUE(Read(d, h, u"a", kNAReadPrevious));
  EXPECT_EQ("1", id());
  ASSERT_TRUE(Read(d, h, u"a", kNAReadNext));
  EXPECT_EQ("2", id());
  ASSERT_TRUE(Read(d, h, u"a", kNAReadNext));
  EXPECT_EQ("3", id());
  EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), walk(u"a"));
  EXPECT_EQ((std::vector<std::string>{"3", "2", "1"}), walk(u"b"));
}

// The next identifier of an empty table is 1, whatever the table's name
// and the identifier's type.
TEST_F(RowWrites, TheFirstIdentifierOfAnEmptyTableIsOne) {
  ASSERT_TRUE(Sql("CREATE TABLE `a``i` (id BIGINT UNSIGNED AUTO_INCREMENT PRIMARY KEY, v INT)"));
  auto [h, d] = Open(u"a`i");
  CNASession* session = d->pclFindSession(h);
  ASSERT_NE(nullptr, session);
  CNAError error;
  CAny value;
  value.SetI4(3);
  ASSERT_TRUE(session->bSetColumnValue(1, &value, &error));
  ASSERT_TRUE(session->bAdd(0x200, 0, &error)) << N(error.pszGetMessage());
  ASSERT_TRUE(session->bSetColumnValue(1, &value, &error));
  ASSERT_TRUE(session->bAdd(0x200, 0, &error)) << N(error.pszGetMessage());
  EXPECT_EQ((std::vector<std::string>{"1\t3", "2\t3"}),
            ServerRows("SELECT id, v FROM `a``i` ORDER BY id"));
  ReleaseBoth(session);
}

}  // namespace
