// A table access object that switched to a client-side key on the private
// server: seeks and moves to a record by number go along the client-side
// index over the session's record set, and reads from there give the
// server's own ORDER BY, NULL keys and duplicates included.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "driver/core/error_status.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/manager_mariadb.h"
#include "driver/mariadb/session_mariadb.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/record_source_fixture.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/record_source.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "host/core/driver_objects.h"
#include "support/any.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& U = qg::rig::Wide;
constexpr auto& N = qg::rig::Narrow;

class KeySwitchOnServer : public qg::rig::RecordSourceServerTest {
 protected:
  void TearDown() override {
    keyed.ReleaseHeld();
    qg::rig::RecordSourceServerTest::TearDown();
  }

  // The server's rows as tab-joined texts.
  std::vector<std::string> Rows(const std::string& sql) {
    return qg::rig::ServerRows(db.Name(), sql);
  }

  // The current record: its plain items' values as texts, tab-joined.
  std::string Record() {
    std::string text;
    for (int i = 0; i < logical->nGetItemCount(); ++i) {
      CNAItem* item = logical->pclGetItem(i);
      if (item->bIsCompositeKey()) continue;
      std::u16string value;
      item->bDumpValue(&value, false, nullptr);
      if (i > 0) text += '\t';
      text += N(value.c_str());
    }
    return text;
  }

  // Table t read whole along its primary key into the session's record
  // source; `keyed`, a second object of the session, switched to key a.
  void SwitchToKeyA() {
    CNAFileDescription* fd = Logical();
    ASSERT_NE(nullptr, fd);
    OpenIntoRecordSource(fd, u"PRIMARY", {{u"id", false}});
    if (HasFatalFailure()) return;
    CNAError error;
    bool found = false;
    ASSERT_TRUE(access->bReadPosition(kNAReadLast, false, 1, &found, &error));
    ASSERT_TRUE(access->bIsCacheFull());

    keyed.Attach(NAAddRef(manager->pclNewTableAccess(session.Get(), c)));
    keyed->SetTableName(u"t");
    keyed->SetFileDescription(logical.Get());
    keyed->SetOrderKey(u"a", {{u"a", false}});
    ASSERT_TRUE(keyed->bSwitchKey(&error)) << N(error.pszGetMessage());
    ASSERT_EQ(nullptr, keyed->pclGetResult());
  }

  bool Next() {
    bool found = false;
    CNAError error;
    EXPECT_TRUE(keyed->bReadPosition(kNAReadNext, false, 1, &found, &error))
        << N(error.pszGetMessage());
    return found;
  }
  // Seeks a's value; true when found.
  bool Seek(const std::string& value, bool exact) {
    CAny any;
    any.SetDSTRW(U(value).c_str());
    bool found = false;
    CNAError error;
    EXPECT_TRUE(keyed->bSeek(u"a", any, exact, &found, &error)) << N(error.pszGetMessage());
    return found;
  }
  // The current record and every one after it along the key.
  std::vector<std::string> Walk() {
    std::vector<std::string> rows{Record()};
    while (Next()) rows.push_back(Record());
    return rows;
  }

  CNARefPtr<CNATableAccess> keyed;
};

TEST_F(KeySwitchOnServer, SeeksAndRecordNumbersGoAlongTheClientSideKey) {
  qg::rig::RunOnConnection(c, "CREATE TABLE t (id INT PRIMARY KEY, a INT NULL, KEY ka (a))");
  // a in NULL, 3, 6, 9, 12, each many times, ids in no order of a.
  std::mt19937 rng(7);
  std::string insert = "INSERT INTO t VALUES ";
  for (int i = 1; i <= 80; ++i) {
    int a = static_cast<int>(rng() % 5);
    if (i > 1) insert += ",";
    insert += "(" + std::to_string(i) + "," + (a == 0 ? "NULL" : std::to_string(a * 3)) + ")";
  }
  qg::rig::RunOnConnection(c, insert);
  ASSERT_NO_FATAL_FAILURE(SwitchToKeyA());

  struct Case {
    const char* value;
    bool exact;
    bool found;
  } cases[] = {
      {"3", true, true},   {"9", true, true},  {"12", true, true}, {"7", false, true},
      {"7", true, false},  {"13", true, false}, {"13", false, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.value) + (k.exact ? " exact" : " at or after"));
    // A record to come back to when nothing is found: the first id of a 6.
    ASSERT_TRUE(Seek("6", true));
    const std::vector<std::string> from_six = Walk();
    ASSERT_TRUE(Seek("6", true));
    ASSERT_EQ(k.found, Seek(k.value, k.exact));
    if (!k.found) {
      bool found = true;
      bool in_range = true;
      keyed->GetFoundAndInRange(&found, &in_range);
      EXPECT_FALSE(found);
      EXPECT_TRUE(keyed->bIsOutOfRange());
      EXPECT_EQ(from_six, Walk());
      continue;
    }
    EXPECT_EQ(Rows(std::string("SELECT id, a FROM t WHERE a >= ") + k.value + " ORDER BY a, id"),
              Walk());
  }

  // In range while the records read hold the sought value.
  const std::vector<std::string> nines = Rows("SELECT id, a FROM t WHERE a = 9 ORDER BY id");
  ASSERT_GT(nines.size(), 1u);
  ASSERT_TRUE(Seek("9", true));
  for (size_t i = 0;; ++i) {
    bool found = false;
    bool in_range = false;
    keyed->GetFoundAndInRange(&found, &in_range);
    ASSERT_TRUE(found);
    if (i < nines.size()) {
      EXPECT_TRUE(in_range) << i;
      EXPECT_EQ(nines[i], Record());
    } else {
      EXPECT_FALSE(in_range);
      break;
    }
    ASSERT_TRUE(Next());
  }

  // From amid equal keys, a seek still starts at the first of them.
  const std::string& mid = nines[nines.size() / 2];
  CNAError error;
  ASSERT_TRUE(keyed->bGoToRecord(std::stoll(mid.substr(0, mid.find('\t'))) - 1, &error))
      << N(error.pszGetMessage());
  ASSERT_EQ(mid, Record());
  ASSERT_TRUE(Seek("9", true));
  EXPECT_EQ(Rows("SELECT id, a FROM t WHERE a >= 9 ORDER BY a, id"), Walk());

  // A record by its number in the record set (id - 1 here), then on along
  // the key from it, also from amid equal keys.
  const std::vector<std::string> along = Rows("SELECT id, COALESCE(a, '') FROM t ORDER BY a, id");
  for (size_t at : {size_t{0}, nines.size(), along.size() / 2, along.size() - 1}) {
    const std::string& row = along[at];
    const int64_t id = std::stoll(row.substr(0, row.find('\t')));
    SCOPED_TRACE(row);
    CNAError error;
    ASSERT_TRUE(keyed->bGoToRecord(id - 1, &error)) << N(error.pszGetMessage());
    EXPECT_EQ(row, Record());
    // The place along the client-side key, in thousandths of its records.
    int32_t per_mille = -1;
    ASSERT_TRUE(keyed->bGetPositionPerMille(&per_mille, &error)) << N(error.pszGetMessage());
    EXPECT_EQ(CNATableAccess::nPerMilleOf(static_cast<int64_t>(at) + 1,
                                          static_cast<int64_t>(along.size())),
              per_mille);
    EXPECT_EQ(std::vector<std::string>(along.begin() + static_cast<std::ptrdiff_t>(at), along.end()),
              Walk());
  }
  // Going to a place in thousandths lands on that record along the key
  // (the first at 0, the last at 1000) and reads go on from it.
  for (int32_t value : {0, 1, 333, 500, 999, 1000}) {
    SCOPED_TRACE("per mille " + std::to_string(value));
    const int64_t target =
        CNATableAccess::nPerMilleTarget(static_cast<int64_t>(along.size()), value);
    CNAError error;
    ASSERT_TRUE(keyed->bGoToPerMille(value, &error)) << N(error.pszGetMessage());
    EXPECT_EQ(std::vector<std::string>(along.begin() + static_cast<std::ptrdiff_t>(target - 1),
                                       along.end()),
              Walk());
  }
  CNAError beyond;
  EXPECT_FALSE(keyed->bGoToRecord(80, &beyond));
  EXPECT_EQ(11u, beyond.nGetErrorIdentifier());
}

}  // namespace
