// A server test that opens tables as the host does: a driver manager, a
// connection description naming the binary's test database on the server's
// socket, and the tables opened through dispatchers, closed at the end.
// Derived fixtures add how they open and write their tables.
#ifndef QG_DRIVER_MARIADB_TESTING_HOST_TABLE_FIXTURE_H_
#define QG_DRIVER_MARIADB_TESTING_HOST_TABLE_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "host/core/driver_objects.h"
#include "support/any_test_fixture.h"

namespace qg::rig {

// Declares on `file` a host item standing for the table's column `name`.
inline void HostItem(qghost::FileDescription* file, const char16_t* name, int type, int size,
                     uint16_t key_flags = 0) {
  qghost::FileDescription::Item item;
  item.name = name;
  item.item.bHasSource = true;
  item.item.nColumnType = type;
  item.item.nSize = size;
  item.item.nKeyFlags = key_flags;
  file->items.push_back(item);
}

class HostTableServerTest : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    qg::AnyHostTest::SetUp();
    ASSERT_NE(nullptr, TestServer());
    ASSERT_FALSE(database_.Name().empty());
    manager_ = new CNAManagerMariaDB();
    manager_->AddRef();
    description_ = new qghost::ConnectionDescription();
    description_->AddRef();
    DescribeOnSocket(description_, database_.Name());
  }
  void TearDown() override {
    CloseOpenedTables(&opened_);
    if (manager_ != nullptr) manager_->Release();
    if (description_ != nullptr) description_->Release();
    manager_ = nullptr;
    description_ = nullptr;
    qg::AnyHostTest::TearDown();
  }
  bool Sql(const std::string& sql) { return RunSqlIn(database_.Name(), sql); }
  // The server's rows of a query, each row's columns joined by tabs.
  std::vector<std::string> ServerRows(const std::string& sql) {
    return qg::rig::ServerRows(database_.Name(), sql);
  }

  TestDatabase database_;
  CNAManagerMariaDB* manager_ = nullptr;
  qghost::ConnectionDescription* description_ = nullptr;
  OpenedTables opened_;
};

}  // namespace qg::rig

#endif  // QG_DRIVER_MARIADB_TESTING_HOST_TABLE_FIXTURE_H_
