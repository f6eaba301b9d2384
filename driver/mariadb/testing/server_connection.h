// Test equipment for driver tests against the binary's private server
// (mariadb_server.h): texts between the driver's UTF-16 and narrow
// strings, a connection description of a test's database over the
// server's socket, driver connections opened through it, SQL run on them
// or through the server's command-line client, a fixture holding a driver
// manager, and the closing of the tables a test opened.
#ifndef QG_DRIVER_MARIADB_TESTING_SERVER_CONNECTION_H_
#define QG_DRIVER_MARIADB_TESTING_SERVER_CONNECTION_H_

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "driver/core/dispatcher.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "host/core/calc_entries.h"
#include "host/core/driver_objects.h"
#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"

namespace qg::rig {

// ASCII text as UTF-16.
inline std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// UTF-16 text as ASCII, other characters as '?'; null as "".
inline std::string Narrow(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) {
    out.push_back(*p < 128 ? static_cast<char>(*p) : '?');
  }
  return out;
}

// Points `d` at `database` on the binary's server over its socket, as
// `account`; `extra` options follow the socket's, after ';'.
inline void DescribeOnSocket(qghost::ConnectionDescription* d, const std::string& database,
                             const TestAccount& account = kPasswordAccount,
                             const std::u16string& extra = u"") {
  d->user = Wide(account.pszUser);
  d->password = Wide(account.pszPassword);
  d->database = Wide(database);
  d->data_source = u"localhost";
  d->extended = u"Unix Socket=" + Wide(TestServer()->Socket()) +
                (extra.empty() ? u"" : u";" + extra);
}

// Describes `database` in `d` (DescribeOnSocket), resolves its connection
// through `manager` into *c (released by the caller through the manager)
// and opens it. False, with the test failed and the driver's message, when
// it cannot be resolved or opened.
inline bool OpenOnSocket(CNAManagerMariaDB* manager, qghost::ConnectionDescription* d,
                         const std::string& database, CNAConnectionMariaDB** c) {
  DescribeOnSocket(d, database);
  *c = static_cast<CNAConnectionMariaDB*>(manager->pclResolveConnection(d, nullptr));
  if (*c == nullptr) {
    ADD_FAILURE() << "no connection resolved for " << database;
    return false;
  }
  CNAError error;
  bool opened = (*c)->bOpen(&error, 0);
  EXPECT_TRUE(opened) << Narrow(error.pszGetMessage());
  return opened;
}

// Runs SQL on an open connection's handle; a failure names the statement
// and the server's message.
inline void RunOnConnection(CNAConnectionMariaDB* c, const std::string& sql) {
  CNALock lock(c->pGetLock());
  MYSQL* h = c->pGetHandle();
  ASSERT_EQ(0, gMariaDB.mysql_real_query(h, sql.data(), sql.size()))
      << sql << ": " << gMariaDB.mysql_error(h);
}

// The first column of the first row SQL gives on an open connection, as
// bytes: "(null)", "(no row)", "(closed)" or "(error n)" otherwise. Any
// further result is drained so that the next statement may run.
inline std::string FirstValue(CNAConnectionMariaDB* c, const std::string& sql) {
  CNALock lock(c->pGetLock());
  MYSQL* h = c->pGetHandle();
  if (h == nullptr) return "(closed)";
  if (gMariaDB.mysql_real_query(h, sql.data(), sql.size()) != 0) {
    return "(error " + std::to_string(gMariaDB.mysql_errno(h)) + ")";
  }
  std::string value = "(no row)";
  MYSQL_RES* result = gMariaDB.mysql_store_result(h);
  if (result != nullptr) {
    MYSQL_ROW row = gMariaDB.mysql_fetch_row(result);
    if (row != nullptr) {
      unsigned long* lengths = gMariaDB.mysql_fetch_lengths(result);
      value = row[0] != nullptr ? std::string(row[0], lengths[0]) : "(null)";
    }
    gMariaDB.mysql_free_result(result);
  }
  while (gMariaDB.mysql_next_result(h) == 0) {
    MYSQL_RES* more = gMariaDB.mysql_store_result(h);
    if (more != nullptr) gMariaDB.mysql_free_result(more);
  }
  return value;
}

// Runs SQL in `database` as the administrator through the server's
// command-line client; *out (when given) receives what it printed. A
// failure names the statement and that output.
inline bool RunSqlIn(const std::string& database, const std::string& sql,
                     std::string* out = nullptr) {
  std::string text;
  bool ok = TestServer()->RunSql("USE `" + database + "`; " + sql, &text);
  EXPECT_TRUE(ok) << sql << ": " << text;
  if (out != nullptr) *out = text;
  return ok;
}

// The lines the command-line client prints for SQL in `database`: one a
// row, its columns joined by tabs.
inline std::vector<std::string> ServerRows(const std::string& database, const std::string& sql) {
  std::string out;
  RunSqlIn(database, sql, &out);
  std::vector<std::string> rows;
  for (size_t from = 0; from < out.size();) {
    size_t end = out.find('\n', from);
    if (end == std::string::npos) end = out.size();
    rows.push_back(out.substr(from, end - from));
    from = end + 1;
  }
  return rows;
}

// The driver's message of a failure slot, which it releases and empties;
// "" when empty.
inline std::string TakeMessage(INAError*& slot) {
  if (slot == nullptr) return "";
  std::string text = Narrow(static_cast<CNAError*>(slot)->pszGetMessage());
  slot->Release();
  slot = nullptr;
  return text;
}

// Tables a test opened as the host does: each handle with its dispatcher.
using OpenedTables = std::vector<std::pair<qghost::FileDescription*, CNADispatcher*>>;

// Closes each handle on its dispatcher, releases the dispatcher and
// deletes the handle (before the manager is released).
inline void CloseOpenedTables(OpenedTables* opened) {
  for (auto& [handle, dispatcher] : *opened) {
    dispatcher->bClose(handle, 0, nullptr);
    dispatcher->Release();
    delete handle;
  }
  opened->clear();
}

// A test on the stand-in host's strings, with the host's conversion entry
// points installed and a driver manager made, against the binary's server.
// A derived fixture gives back what it holds from the manager before
// calling TearDown here, which releases the manager.
class ManagerServerTest : public StringHostTest {
 protected:
  void SetUp() override {
    StringHostTest::SetUp();
    Services().pfnConversion = &qghost::ConversionDepassementExt;
    Services().pfnFinConversion = &qghost::FinConversion;
    ASSERT_NE(nullptr, TestServer());
    manager = new CNAManagerMariaDB();
    manager->AddRef();
  }
  void TearDown() override {
    if (manager != nullptr) manager->Release();
    manager = nullptr;
    Services().pfnConversion = nullptr;
    Services().pfnFinConversion = nullptr;
    StringHostTest::TearDown();
  }

  CNAManagerMariaDB* manager = nullptr;
};

}  // namespace qg::rig

#endif  // QG_DRIVER_MARIADB_TESTING_SERVER_CONNECTION_H_
