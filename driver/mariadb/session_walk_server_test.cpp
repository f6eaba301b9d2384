// Reading a table along a key through the manager, the dispatcher and the
// session, against the binary's private server: the records come in the
// server's own ORDER BY, row for row, in both directions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/dispatcher.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/sql/column.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "host/core/calc_entries.h"
#include "host/core/driver_objects.h"
#include "support/frame/module_services.h"
#include "support/any_test_fixture.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string N(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) {
    out.push_back(*p < 128 ? static_cast<char>(*p) : '?');
  }
  return out;
}

class SessionWalk : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    qg::AnyHostTest::SetUp();
    ASSERT_NE(nullptr, qg::rig::TestServer());
    ASSERT_FALSE(database_.Name().empty());
    manager_ = new CNAManagerMariaDB();
    manager_->AddRef();
    description_ = new qghost::ConnectionDescription();
    description_->AddRef();
    description_->user = U(qg::rig::kPasswordAccount.pszUser);
    description_->password = U(qg::rig::kPasswordAccount.pszPassword);
    description_->database = U(database_.Name());
    description_->data_source = u"localhost";
    description_->extended = u"Unix Socket=" + U(qg::rig::TestServer()->Socket());
  }
  void TearDown() override {
    for (auto& [handle, dispatcher] : opened_) {
      dispatcher->bClose(handle, 0, nullptr);
      dispatcher->Release();
      delete handle;
    }
    manager_->Release();
    description_->Release();
    qg::AnyHostTest::TearDown();
  }
  bool Sql(const std::string& sql) {
    std::string out;
    bool ok = qg::rig::TestServer()->RunSql("USE `" + database_.Name() + "`; " + sql, &out);
    EXPECT_TRUE(ok) << sql << ": " << out;
    return ok;
  }
  // The server's rows of a query, each row's columns joined by tabs.
  std::vector<std::string> ServerRows(const std::string& sql) {
    std::string out;
    EXPECT_TRUE(qg::rig::TestServer()->RunSql("USE `" + database_.Name() + "`; " + sql, &out));
    std::vector<std::string> rows;
    size_t from = 0;
    while (from < out.size()) {
      size_t end = out.find('\n', from);
      if (end == std::string::npos) end = out.size();
      rows.push_back(out.substr(from, end - from));
      from = end + 1;
    }
    return rows;
  }
  // Opens a table as the host does: a dispatcher for it, then the handle.
  std::pair<qghost::FileDescription*, CNADispatcher*> Open(const std::u16string& table) {
    CNAError error;
    CNADispatcher* dispatcher = manager_->pclFindOrCreateDispatcher(description_, table.c_str(),
                                                                   &error);
    EXPECT_NE(nullptr, dispatcher) << N(error.pszGetMessage());
    auto* handle = new qghost::FileDescription(table, 1);
    INAError* slot = nullptr;
    EXPECT_TRUE(dispatcher->bOpen(handle, description_, 0, 0, &slot)) << Message(slot);
    opened_.push_back({handle, dispatcher});
    return {handle, dispatcher};
  }
  static std::string Message(INAError*& slot) {
    if (slot == nullptr) return "";
    std::string text = N(static_cast<CNAError*>(slot)->pszGetMessage());
    slot->Release();
    slot = nullptr;
    return text;
  }
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

  qg::rig::TestDatabase database_;
  CNAManagerMariaDB* manager_ = nullptr;
  qghost::ConnectionDescription* description_ = nullptr;
  std::vector<std::pair<qghost::FileDescription*, CNADispatcher*>> opened_;
};

TEST_F(SessionWalk, CompositePartlyDescendingKeyWithNullsAndDuplicatesBothWays) {
  ASSERT_TRUE(Sql("CREATE TABLE w (id INT PRIMARY KEY, a INT NULL, b VARCHAR(12) NULL, "
                  "c DOUBLE, KEY k (a, b)) ENGINE=InnoDB; "
                  "INSERT INTO w SELECT seq, IF(seq % 13 = 0, NULL, seq % 17), "
                  "IF(seq % 11 = 0, NULL, CONCAT('v', seq % 5)), seq / 4 FROM seq_1_to_1000"));
  auto [handle, dispatcher] = Open(u"w");
  // The key's second part is read descending.
  CNASession* session = dispatcher->pclFindSession(handle);
  ASSERT_NE(nullptr, session);
  CNATableDescription* table = session->pclGetTableDescription();
  ASSERT_NE(nullptr, table);
  CNAColumn* b = table->pclFindColumn(u"b", 0);
  ASSERT_NE(nullptr, b);
  b->SetDirection(true);
  ReleaseBoth(session);

  std::vector<std::string> expected =
      ServerRows("SELECT id, a, b, c FROM w ORDER BY a, b DESC, id");
  ASSERT_EQ(1000u, expected.size());
  std::vector<std::string> forward = Walk(dispatcher, handle, u"k", kNAReadFirst, kNAReadNext, 4);
  EXPECT_EQ(expected, forward);
  std::vector<std::string> backward =
      Walk(dispatcher, handle, u"k", kNAReadLast, kNAReadPrevious, 4);
  std::vector<std::string> reversed(expected.rbegin(), expected.rend());
  EXPECT_EQ(reversed, backward);

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

}  // namespace
