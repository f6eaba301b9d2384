// The character set of the server conversation against the binary's private
// server: the driver states the one it encodes in whatever the server's
// defaults or init_connect say, writes no literal once the program has
// switched the conversation to another, and refuses names the conversation
// cannot carry instead of sending them as '?'.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/core/dispatcher.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/host_table_fixture.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/table_access.h"
#include "host/core/driver_objects.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& N = qg::rig::Narrow;

// A text whose latin1 bytes, escaped as latin1, end a gbk, big5 or cp932
// literal early: 0xBF 0x5C is one character there, and the quote after it
// closes the string.
constexpr const char16_t* kHostile = u"\u00bf'), (99, 0x494E4A) -- ";

class ConversationCharset : public qg::rig::HostTableServerTest {
 protected:
  void TearDown() override {
    qg::rig::HostTableServerTest::TearDown();
    if (init_connect_set_) {
      EXPECT_TRUE(qg::rig::TestServer()->RunSql("SET GLOBAL init_connect = ''"));
    }
  }
  // Connections made from now on run `sql` first (accounts without
  // administration rights, as the test's).
  void SetInitConnect(const std::string& sql) {
    init_connect_set_ = true;
    ASSERT_TRUE(qg::rig::TestServer()->RunSql("SET GLOBAL init_connect = '" + sql + "'"));
  }
  void UnicodeOff() {
    qg::rig::DescribeOnSocket(description_, database_.Name(), qg::rig::kPasswordAccount,
                              u"QG Unicode Support=0");
  }
  std::pair<qghost::FileDescription*, CNADispatcher*> Open(const std::u16string& table,
                                                           std::string* failure = nullptr) {
    CNAError error;
    CNADispatcher* d = manager_->pclFindOrCreateDispatcher(description_, table.c_str(), &error);
    EXPECT_NE(nullptr, d) << N(error.pszGetMessage());
    if (d == nullptr) return {nullptr, nullptr};
    auto* handle = new qghost::FileDescription(table, 1);
    INAError* slot = nullptr;
    bool ok = d->bOpen(handle, description_, 0, 0, &slot);
    std::string message = qg::rig::TakeMessage(slot);
    if (failure != nullptr) {
      *failure = ok ? "" : message;
    } else {
      EXPECT_TRUE(ok) << message;
    }
    opened_.push_back({handle, d});
    return {handle, d};
  }
  // Runs a program's own SQL text through the driver, as the host runs a
  // query given as raw text; the message when it failed, "" when it did not.
  std::string ProgramSql(const std::u16string& text) {
    auto* handle = new qghost::FileDescription(u"Q", 1);
    std::string parse_error;
    EXPECT_TRUE(handle->bSetQuery(text, true, nullptr, &parse_error)) << parse_error;
    CNADispatcher* dispatcher = nullptr;
    INAError* slot = nullptr;
    bool ok = manager_->bOpenTable(description_, handle, 0, &dispatcher, &slot);
    std::string message = qg::rig::TakeMessage(slot);
    if (!ok || dispatcher == nullptr) {
      delete handle;
      return message.empty() ? "(failed without a message)" : message;
    }
    opened_.push_back({handle, dispatcher});
    return "";
  }
  void RunProgramSql(const std::u16string& text) { EXPECT_EQ("", ProgramSql(text)) << N(text.c_str()); }
  // Adds (id, text) through the host's write path; the message when it
  // failed, "" when it did not.
  static std::string Add(CNADispatcher* d, qghost::FileDescription* h, int id,
                         const char16_t* text) {
    INAError* slot = nullptr;
    CAny value;
    value.SetI4(id);
    EXPECT_TRUE(d->bWriteItemValue(h, 0, reinterpret_cast<intptr_t>(&value), &slot))
        << qg::rig::TakeMessage(slot);
    value.SetPSTRW(text);
    EXPECT_TRUE(d->bWriteItemValue(h, 1, reinterpret_cast<intptr_t>(&value), &slot))
        << qg::rig::TakeMessage(slot);
    if (d->bAdd(h, 0, 0, &slot)) return "";
    std::string message = qg::rig::TakeMessage(slot);
    return message.empty() ? "(failed without a message)" : message;
  }

  bool init_connect_set_ = false;
};

// A server whose init_connect switches new conversations to a multi-byte
// character set: the driver states its own afterwards, with Unicode off as
// with it on, so the hostile text is stored whole as one row.
TEST_F(ConversationCharset, TheDriverStatesItsCharacterSetOverTheServersDefault) {
  for (const char* server_set : {"gbk", "big5", "cp932"}) {
    for (bool unicode : {false, true}) {
      SCOPED_TRACE(std::string(server_set) + (unicode ? " unicode" : " latin1"));
      SetInitConnect(std::string("SET NAMES ") + server_set);
      if (!unicode) UnicodeOff();
      ASSERT_TRUE(Sql("DROP TABLE IF EXISTS v; "
                      "CREATE TABLE v (id INT PRIMARY KEY, s VARCHAR(60) CHARACTER SET utf8mb4)"));
      auto [h, d] = Open(u"v");
      ASSERT_NE(nullptr, d);
      EXPECT_EQ("", Add(d, h, 1, kHostile));
      EXPECT_EQ((std::vector<std::string>{"1\tC2BF27292C202839392C20307834393445344129202D2D20"}),
                ServerRows("SELECT id, HEX(s) FROM v ORDER BY id"));
      qg::rig::CloseOpenedTables(&opened_);
      qg::rig::DescribeOnSocket(description_, database_.Name());
    }
  }
}

// The program switches the conversation itself: the driver's literals are
// refused (nothing runs) until the conversation is back to the driver's
// character set.
TEST_F(ConversationCharset, ALiteralIsRefusedWhileTheConversationIsSwitched) {
  for (bool unicode : {true, false}) {
    SCOPED_TRACE(unicode ? "unicode" : "latin1");
    if (!unicode) UnicodeOff();
    ASSERT_TRUE(Sql("DROP TABLE IF EXISTS v; "
                    "CREATE TABLE v (id INT PRIMARY KEY, s VARCHAR(60) CHARACTER SET utf8mb4)"));
    auto [h, d] = Open(u"v");
    ASSERT_NE(nullptr, d);
    RunProgramSql(u"SET NAMES gbk");
    // A text with a three-byte UTF-8 character before the quote as well.
    for (const char16_t* text : {kHostile, u"\u4e2d'), (98, 0x494E4A) -- "}) {
      if (!unicode && text != kHostile) continue;  // latin1 has no U+4E2D
      std::string failure = Add(d, h, 1, text);
      EXPECT_NE("", failure);
      EXPECT_NE(std::string::npos, failure.find("gbk")) << failure;
    }
    EXPECT_EQ((std::vector<std::string>{"0"}), ServerRows("SELECT COUNT(*) FROM v"));
    // Nor does any other text beyond ASCII go while it is switched; ASCII
    // texts do, setting the conversation back among them.
    std::string refused = ProgramSql(u"INSERT INTO v VALUES (5, '\u00e9')");
    EXPECT_NE(std::string::npos, refused.find("gbk")) << refused;
    EXPECT_EQ((std::vector<std::string>{"0"}), ServerRows("SELECT COUNT(*) FROM v"));
    RunProgramSql(unicode ? u"SET NAMES utf8mb4" : u"SET NAMES latin1");
    EXPECT_EQ("", Add(d, h, 1, kHostile));
    EXPECT_EQ((std::vector<std::string>{"1\tC2BF27292C202839392C20307834393445344129202D2D20"}),
              ServerRows("SELECT id, HEX(s) FROM v ORDER BY id"));
    qg::rig::CloseOpenedTables(&opened_);
    qg::rig::DescribeOnSocket(description_, database_.Name());
  }
}

// A server that does not report session-state changes by default still
// lets the driver see the program's SET NAMES.
TEST_F(ConversationCharset, ASwitchIsSeenWhenTheServerDoesNotReportItByDefault) {
  ASSERT_TRUE(qg::rig::TestServer()->RunSql("SET GLOBAL session_track_system_variables = ''"));
  ASSERT_TRUE(Sql("CREATE TABLE v (id INT PRIMARY KEY, s VARCHAR(60) CHARACTER SET utf8mb4)"));
  auto [h, d] = Open(u"v");
  ASSERT_NE(nullptr, d);
  EXPECT_EQ("", Add(d, h, 1, u"one"));
  RunProgramSql(u"SET NAMES gbk");
  std::string failure = Add(d, h, 2, u"\u4e2d'), (98, 0x494E4A) -- ");
  EXPECT_NE(std::string::npos, failure.find("gbk")) << failure;
  EXPECT_EQ((std::vector<std::string>{"1"}), ServerRows("SELECT COUNT(*) FROM v"));
  RunProgramSql(u"SET NAMES utf8mb4");
  EXPECT_EQ("", Add(d, h, 2, u"\u4e2d'), (98, 0x494E4A) -- "));
  EXPECT_EQ((std::vector<std::string>{"1\tone", "2\t\xe4\xb8\xad'), (98, 0x494E4A) -- "}),
            ServerRows("SET NAMES utf8mb4; SELECT id, s FROM v ORDER BY id"));
  EXPECT_TRUE(qg::rig::TestServer()->RunSql(
      "SET GLOBAL session_track_system_variables = DEFAULT"));
}

// A program that switches only the character set the server converts
// literals into (or results into) is seen as for SET NAMES: no text that
// set would turn into '?' is written meanwhile.
TEST_F(ConversationCharset, ASwitchOfOneCharacterSetVariableIsSeen) {
  for (const char* variable : {"character_set_connection", "character_set_results"}) {
    for (bool tracked : {true, false}) {
      SCOPED_TRACE(std::string(variable) + (tracked ? " tracked" : " not tracked"));
      if (!tracked) {
        ASSERT_TRUE(
            qg::rig::TestServer()->RunSql("SET GLOBAL session_track_system_variables = ''"));
      }
      ASSERT_TRUE(Sql("DROP TABLE IF EXISTS v; "
                      "CREATE TABLE v (id INT PRIMARY KEY, s VARCHAR(60) CHARACTER SET utf8mb4)"));
      auto [h, d] = Open(u"v");
      ASSERT_NE(nullptr, d);
      RunProgramSql(u"SET " + std::u16string(variable, variable + std::strlen(variable)) +
                    u" = gbk");
      std::string failure = Add(d, h, 1, u"\U0001F600\u00e9");
      EXPECT_NE(std::string::npos, failure.find("gbk")) << failure;
      EXPECT_EQ((std::vector<std::string>{"0"}), ServerRows("SELECT COUNT(*) FROM v"));
      RunProgramSql(u"SET NAMES utf8mb4");
      EXPECT_EQ("", Add(d, h, 1, u"\U0001F600\u00e9"));
      EXPECT_EQ((std::vector<std::string>{"1\tF09F9880C3A9"}),
                ServerRows("SELECT id, HEX(s) FROM v"));
      qg::rig::CloseOpenedTables(&opened_);
      EXPECT_TRUE(qg::rig::TestServer()->RunSql(
          "SET GLOBAL session_track_system_variables = DEFAULT"));
    }
  }
}

// With Unicode off, characters latin1 lacks come from the server as '?':
// such a text is not written back as read (it would store the '?'), and a
// row named by it is written only when no other row shows the same; a text
// the conversation cannot carry is refused, never stored as '?'.
TEST_F(ConversationCharset, TextsShownAsQuestionMarksAreNotWrittenBack) {
  ASSERT_TRUE(Sql("SET NAMES utf8mb4; "
                  "CREATE TABLE k (id INT PRIMARY KEY, s VARCHAR(20) CHARACTER SET utf8mb4, v INT); "
                  "INSERT INTO k VALUES (1, '\xe6\x97\xa5\xe6\x9c\xac', 0); "
                  "CREATE TABLE w (s VARCHAR(20) CHARACTER SET utf8mb4, v INT); "
                  "INSERT INTO w VALUES ('\xe6\x97\xa5\xe6\x9c\xac', 0), ('abc', 0); "
                  "CREATE TABLE ww (s VARCHAR(20) CHARACTER SET utf8mb4, v INT); "
                  "INSERT INTO ww VALUES ('\xe6\x97\xa5\xe6\x9c\xac', 0), "
                  "('\xe4\xb8\xad\xe5\x9b\xbd', 0); "
                  "CREATE TABLE pk (s VARCHAR(20) CHARACTER SET utf8mb4 PRIMARY KEY, v INT); "
                  "INSERT INTO pk VALUES ('\xe6\x97\xa5\xe6\x9c\xac', 0), (CONCAT('?', '?'), 0)"));
  UnicodeOff();
  INAError* slot = nullptr;
  auto read_first = [&](CNADispatcher* d, qghost::FileDescription* h, const char16_t* key) {
    EXPECT_TRUE(d->bRead(h, reinterpret_cast<intptr_t>(key), kNAReadFirst, 0, 1, 0, 0, &slot))
        << qg::rig::TakeMessage(slot);
  };
  auto set_int = [&](CNADispatcher* d, qghost::FileDescription* h, int column, int v) {
    CAny value;
    value.SetI4(v);
    EXPECT_TRUE(d->bWriteItemValue(h, column, reinterpret_cast<intptr_t>(&value), &slot))
        << qg::rig::TakeMessage(slot);
  };
  {
    auto [h, d] = Open(u"k");
    ASSERT_NE(nullptr, d);
    EXPECT_NE("", Add(d, h, 2, u"\u4e2d"));
    read_first(d, h, u"id");
    // The program writes every item back as read, one of them changed.
    CAny shown;
    ASSERT_TRUE(d->bReadItemValue(h, 1, reinterpret_cast<intptr_t>(&shown), &slot));
    ASSERT_TRUE(d->bWriteItemValue(h, 1, reinterpret_cast<intptr_t>(&shown), &slot));
    set_int(d, h, 2, 1);
    EXPECT_TRUE(d->bModify(h, 0, 0, 0, 0, &slot)) << qg::rig::TakeMessage(slot);
    EXPECT_EQ((std::vector<std::string>{"1\tE697A5E69CAC\t1"}),
              ServerRows("SELECT id, HEX(s), v FROM k"));
  }
  struct Case {
    const char16_t* table;
    bool changes;  // false: refused, no other row showing the same can be told apart
    const char* after;
  };
  const Case cases[] = {
      {u"w", true, "616263\t0|E697A5E69CAC\t1"},
      {u"ww", false, "E4B8ADE59BBD\t0|E697A5E69CAC\t0"},
      {u"pk", false, "3F3F\t0|E697A5E69CAC\t0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(N(c.table));
    auto [h, d] = Open(c.table);
    ASSERT_NE(nullptr, d);
    // The row holding U+65E5 U+672C, which reads as "??".
    read_first(d, h, u"v");
    bool found = false;
    for (int i = 0; i < 2 && !found; ++i) {
      CAny shown;
      ASSERT_TRUE(d->bReadItemValue(h, 0, reinterpret_cast<intptr_t>(&shown), &slot));
      CXYString<char16_t> text;
      shown.nGetTexte(&text);
      found = N(text.pszGet()) == "?" "?";
      if (!found) {
        EXPECT_TRUE(d->bRead(h, reinterpret_cast<intptr_t>(u"v"), kNAReadNext, 0, 1, 0, 0, &slot));
        qg::rig::TakeMessage(slot);
      }
    }
    ASSERT_TRUE(found);
    set_int(d, h, 1, 1);
    bool modified = d->bModify(h, 0, 0, 0, 0, &slot);
    std::string failure = qg::rig::TakeMessage(slot);
    EXPECT_EQ(c.changes, modified) << failure;
    std::string rows;
    for (const std::string& row :
         ServerRows("SELECT HEX(s), v FROM " + N(c.table) + " ORDER BY HEX(s)")) {
      rows += (rows.empty() ? "" : "|") + row;
    }
    EXPECT_EQ(c.after, rows);
  }
}

// With Unicode off the conversation is latin1: a table whose name it cannot
// carry is refused, never read or written as the table named "??".
TEST_F(ConversationCharset, ANameTheConversationCannotCarryIsRefused) {
  ASSERT_TRUE(Sql("SET NAMES utf8mb4; "
                  "CREATE TABLE `\xe6\x97\xa5\xe6\x9c\xac` (id INT PRIMARY KEY, s VARCHAR(20)); "
                  "INSERT INTO `\xe6\x97\xa5\xe6\x9c\xac` VALUES (1, 'nihon'); "
                  "CREATE TABLE `??` (id INT PRIMARY KEY, s VARCHAR(20)); "
                  "INSERT INTO `??` VALUES (7, 'question')"));
  UnicodeOff();
  std::string failure;
  auto [h, d] = Open(u"\u65e5\u672c", &failure);
  if (failure.empty() && d != nullptr) {
    // Opened: then neither a read nor a write may reach "??".
    INAError* slot = nullptr;
    bool read = d->bRead(h, reinterpret_cast<intptr_t>(u"id"), kNAReadFirst, 0, 1, 0, 0, &slot);
    std::string read_failure = qg::rig::TakeMessage(slot);
    if (read) {
      CAny value;
      EXPECT_TRUE(d->bReadItemValue(h, 1, reinterpret_cast<intptr_t>(&value), &slot));
      qg::rig::TakeMessage(slot);
      CXYString<char16_t> text;
      if (!value.bEstNull()) value.nGetTexte(&text);
      EXPECT_NE("question", N(text.pszGet()));
    }
    EXPECT_NE("", Add(d, h, 8, u"written"));
  }
  EXPECT_EQ((std::vector<std::string>{"7\tquestion"}), ServerRows("SELECT * FROM `??`"));
  // With Unicode on the same table is read and written.
  qg::rig::CloseOpenedTables(&opened_);
  qg::rig::DescribeOnSocket(description_, database_.Name());
  auto [uh, ud] = Open(u"\u65e5\u672c");
  ASSERT_NE(nullptr, ud);
  EXPECT_EQ("", Add(ud, uh, 2, u"two"));
  EXPECT_EQ((std::vector<std::string>{"1\tnihon", "2\ttwo"}),
            ServerRows("SET NAMES utf8mb4; SELECT * FROM `\xe6\x97\xa5\xe6\x9c\xac` ORDER BY id"));
}

}  // namespace
