// A test fixture over the private server for reads served from a session's
// record source: one connection, table t's logical description, a session
// and a table access object whose complete, cached result the record source
// holds.
#ifndef QG_DRIVER_MARIADB_TESTING_RECORD_SOURCE_FIXTURE_H_
#define QG_DRIVER_MARIADB_TESTING_RECORD_SOURCE_FIXTURE_H_

#include <gtest/gtest.h>

#include <vector>

#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/file_description.h"
#include "driver/sql/record_source.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "host/core/driver_objects.h"

namespace qg::rig {

class RecordSourceServerTest : public ManagerServerTest {
 protected:
  void SetUp() override {
    ManagerServerTest::SetUp();
    if (HasFatalFailure()) return;
    d.owned_by_count = false;
    ASSERT_TRUE(OpenOnSocket(manager, &d, db.Name(), &c));
  }
  // Subclasses release what they hold on the session before calling this.
  void TearDown() override {
    if (session) session->SetRecordSource(nullptr);
    source.ReleaseHeld();
    if (access != nullptr) ReleaseBoth(access);
    session.ReleaseHeld();
    logical.ReleaseHeld();
    if (c != nullptr) manager->bReleaseConnection(c);
    ManagerServerTest::TearDown();
  }

  // The logical description of table t as the server describes it.
  CNAFileDescription* Logical() {
    CNAError error;
    CNARefPtr<CNATableDescription> table(manager->pclGetTableDescriptionByName(c, u"t", &error));
    EXPECT_TRUE(table) << Narrow(error.pszGetMessage());
    if (!table) return nullptr;
    logical.Attach(NAAddRef(new CNAFileDescription()));
    EXPECT_TRUE(logical->bBuild(table.Get(), nullptr, &error)) << Narrow(error.pszGetMessage());
    return logical.Get();
  }

  // A session of the connection whose record source is bound to `access`:
  // run along the key over the description, its record cache on.
  void OpenIntoRecordSource(CNAFileDescription* fd, const char16_t* key,
                            const std::vector<NAKeyPart>& parts) {
    session.Attach(NAAddRef(static_cast<CNASession*>(manager->pclNewSession(&file, c, nullptr))));
    if (access != nullptr) ReleaseBoth(access);
    access = NAAddRef(manager->pclNewTableAccess(session.Get(), c));
    access->SetTableName(u"t");
    access->SetOrderKey(key, parts);
    access->SetFileDescription(fd);
    access->EnableCache(true);
    CNAError error;
    ASSERT_TRUE(access->bRunByStatementKind(1, nullptr, &error)) << Narrow(error.pszGetMessage());
    ASSERT_TRUE(access->bOpen(&error)) << Narrow(error.pszGetMessage());
    source.Attach(NAAddRef(new CNARecordSource(session.Get())));
    source->Bind(access);
    session->SetRecordSource(source.Get());
  }

  TestDatabase db;
  qghost::ConnectionDescription d;
  CNAConnectionMariaDB* c = nullptr;
  CNATableAccess* access = nullptr;  // one reference, released by ReleaseBoth
  CNARefPtr<CNAFileDescription> logical;
  qghost::FileDescription file{u"t", 1};
  CNARefPtr<CNASession> session;
  CNARefPtr<CNARecordSource> source;
};

}  // namespace qg::rig

#endif  // QG_DRIVER_MARIADB_TESTING_RECORD_SOURCE_FIXTURE_H_
