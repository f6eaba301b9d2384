#include "driver/sql/table_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/error_status.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/filter.h"
#include "driver/sql/saved_position.h"
#include "driver/sql/table_description.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/statement.h"
#include "support/any_test_fixture.h"
#include "support/string_host_fixture.h"

namespace {

class Connection : public CNAConnection {
 public:
  Connection() : CNAConnection(u"k", nullptr, nullptr) { m_nDbmsKind = 5; }
  bool bOpen(CNAError*, int32_t) override { return true; }
  bool bIsOpen() override { return true; }
  bool bClose(CNAError*) override { return true; }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
  void TransactionEnded() override { ++ended; }
  int ended = 0;
};

// A statement that records the texts it is given and answers a result of
// `rows` rows.
class Statement : public CNAStatement {
 public:
  explicit Statement(CNAConnection* c, std::vector<std::string>* texts)
      : CNAStatement(c), m_pTexts(texts) {}
  CNAStatement* pclClone(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
  bool bExecuteNarrow(const char* text, size_t length, intptr_t, int64_t*, CNAError*) override {
    m_pTexts->emplace_back(text, length);
    m_nRowCount = rows;
    return true;
  }
  int64_t rows = 0;

 private:
  std::vector<std::string>* m_pTexts;
};

class Access : public CNATableAccess {
 public:
  Access(CNAConnection* c, std::vector<std::string>* texts, int64_t rows)
      : CNATableAccess(nullptr, c), m_pTexts(texts), m_nRows(rows) {}
  void SetLock(int32_t mode, int64_t record) {
    m_nLockMode = mode;
    m_nLockedRecord = record;
  }
  CNAStatement* pclNewResult() override {
    auto* s = new Statement(pclGetConnection(), m_pTexts);
    s->rows = m_nRows;
    return s;
  }

 private:
  std::vector<std::string>* m_pTexts;
  int64_t m_nRows;
};

class TableAccess : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    connection = NAAddRef(new Connection());
  }
  void TearDown() override {
    ReleaseBoth(connection);
    qg::StringHostTest::TearDown();
  }
  // Runs a statement text of a kind with a row limit; the access object
  // stays for the checks.
  bool Run(const char16_t* text, int kind, int64_t rows, int64_t limit = -1) {
    access.Attach(NAAddRef(new Access(connection, &texts, rows)));
    CNASQLGenerator* g = NAAddRef(new CNASQLGenerator(connection));
    g->bAppend(text);
    g->SetStatementKind(kind);
    g->SetRowLimit(limit);
    CNAError error;
    bool ok = access->bExecuteWith(g, &error);
    ReleaseBoth(g);
    return ok;
  }

  Connection* connection = nullptr;
  CNARefPtr<Access> access;
  std::vector<std::string> texts;
};

TEST_F(TableAccess, AnEmptyStatementSucceedsWithoutReachingTheServer) {
  ASSERT_TRUE(Run(u"", 1, 0));
  EXPECT_TRUE(texts.empty());
  EXPECT_EQ(-1, access->nGetLimitMarker());
  EXPECT_TRUE(access->bBeginsAtStart());
}

TEST_F(TableAccess, RollingBackToASavepointTellsTheConnection) {
  struct Case {
    const char16_t* text;
    int kind;
    int told;
  } cases[] = {
      // The generator's query kind 12 is statement kind 11.
      {u"ROLLBACK TO SAVEPOINT s1", 12, 1},
      {u"rollback to savepoint `x`", 12, 1},
      {u"RollBack To SavePoint y", 12, 1},
      {u"ROLLBACK", 12, 0},
      {u"SAVEPOINT s1", 12, 0},
      {u"ROLLBACK TO SAVEPOINT s1", 0, 0},  // not a statement of kind 11
  };
  for (const Case& c : cases) {
    connection->ended = 0;
    ASSERT_TRUE(Run(c.text, c.kind, 0));
    EXPECT_EQ(c.told, connection->ended) << std::string(c.text, c.text + 5);
  }
}

TEST_F(TableAccess, LimitMarkerTellsAResultCutByItsLimit) {
  // Exactly the limit: the result may go on; fewer: it is complete.
  ASSERT_TRUE(Run(u"SELECT * FROM t", 1, 10, 10));
  EXPECT_EQ(10, access->nGetLimitMarker());
  EXPECT_EQ("SELECT * FROM t LIMIT 10", texts.back());
  ASSERT_TRUE(Run(u"SELECT * FROM t", 1, 7, 10));
  EXPECT_EQ(-1, access->nGetLimitMarker());
  ASSERT_TRUE(Run(u"SELECT * FROM t", 1, 7, -1));
  EXPECT_EQ(-1, access->nGetLimitMarker());
}

// The SELECT of a read over a logical description: DISTINCT only where
// the identifying column does not tell rows apart, the connection's table
// hint, the record's other keys as tie-breakers, an unknown key refused.
class SelectText : public qg::AnyHostTest {
 protected:
  void TearDown() override {
    for (CNARefCounted* o : held) ReleaseBoth(o);
    qg::AnyHostTest::TearDown();
  }
  // Columns code, id, a, n: code is the first unique key (primary when
  // `code_primary`), n a key with duplicates.
  CNAFileDescription* Logical(bool code_primary, bool code_not_null = false) {
    auto* table = NAAddRef(new CNATableDescription(nullptr));
    held.push_back(table);
    struct Spec {
      const char16_t* name;
      int type, size;
      uint16_t flags;
    } specs[] = {{u"code", 2, 11, code_primary ? kNAKeyPrimary : kNAKeyUnique},
                 {u"id", 5, 4, kNAKeyUnique},
                 {u"a", 5, 4, 0},
                 {u"n", 5, 4, kNAKeyDuplicates}};
    for (const Spec& spec : specs) {
      CNAColumn* c = NAAddRef(new CNAColumn());
      c->Init(spec.name, u"t", nullptr, 1, spec.size, spec.type, -1, -1, spec.flags, 0, 0);
      if (code_not_null && spec.name == std::u16string(u"code")) c->SetNullable(false);
      table->bAppendColumn(c);
      ReleaseBoth(c);
    }
    table->ComputeOffsets();
    auto* fd = NAAddRef(new CNAFileDescription());
    held.push_back(fd);
    EXPECT_TRUE(fd->bBuild(table, nullptr, nullptr));
    return fd;
  }
  std::vector<CNARefCounted*> held;
};

TEST_F(SelectText, DistinctHintTieBreakersAndUnknownKeys) {
  struct Case {
    const char* name;
    bool code_primary;
    uint32_t read_options;
    uint32_t flags;
    bool descending;
    const char16_t* hint;
    int dbms, major;
    const char16_t* key;
    const char* expected;  // null: refused
  } cases[] = {
      {"plain, ties broken by the other keys", true, 0, 3, false, u"", 5, 10, u"a",
       "SELECT * FROM t\r\nORDER BY a,code,id,n"},
      {"descending read", true, 0, 3, true, u"", 5, 10, u"a",
       "SELECT * FROM t\r\nORDER BY a DESC,code DESC,id DESC,n DESC"},
      {"no tie-breakers for that direction", true, 0, 2, false, u"", 5, 10, u"a",
       "SELECT * FROM t\r\nORDER BY a"},
      {"no tie-breakers asked", true, 0x100000, 3, false, u"", 5, 10, u"a",
       "SELECT * FROM t\r\nORDER BY a"},
      {"ordering key not repeated", true, 0x100000 | 0, 3, false, u"", 5, 10, u"id",
       "SELECT * FROM t\r\nORDER BY id"},
      {"DISTINCT, primary identifying column", true, 0x100800, 3, false, u"", 5, 10, u"a",
       "SELECT * FROM t\r\nORDER BY a"},
      {"DISTINCT, writable unique identifying column", false, 0x100800, 3, false, u"", 5, 10,
       u"a", "SELECT DISTINCT * FROM t\r\nORDER BY a"},
      {"table hint", true, 0x100000, 3, false, u"WITH (NOLOCK)", 5, 10, u"a",
       "SELECT * FROM t WITH (NOLOCK)\r\nORDER BY a"},
      {"no hint for kind 8 from version 10", true, 0x100000, 3, false, u"WITH (NOLOCK)", 8,
       10, u"a", "SELECT * FROM t\r\nORDER BY a"},
      {"hint for kind 8 before version 10", true, 0x100000, 3, false, u"WITH (NOLOCK)", 8, 9,
       u"a", "SELECT * FROM t WITH (NOLOCK)\r\nORDER BY a"},
      {"unknown key", true, 0, 3, false, u"", 5, 10, u"nope", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CNARefPtr<Connection> connection(NAAddRef(new Connection()));
    connection->m_nDbmsKind = c.dbms;
    connection->m_nServerMajor = c.major;
    connection->m_strRecordLock = c.hint;
    std::vector<std::string> texts;
    CNARefPtr<Access> access(NAAddRef(new Access(connection.Get(), &texts, 0)));
    access->SetFileDescription(Logical(c.code_primary));
    access->SetTableName(u"t");
    access->SetOrderKey(c.key, {});
    access->SetDescending(c.descending);
    access->m_nReadOptions = c.read_options;
    access->m_nFlags = c.flags;
    CNAError error;
    bool ok = access->bRunByStatementKind(1, nullptr, &error);
    if (c.expected == nullptr) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(6u, error.nGetErrorIdentifier());
      EXPECT_NE(std::u16string::npos,
                std::u16string(error.pclGetXError()->pszGetDebugMessage()).find(u"=4.9"));
      continue;
    }
    ASSERT_TRUE(ok) << c.name;
    const char16_t* text = access->pclGetGenerator()->pszGetStatementText();
    EXPECT_EQ(std::string(c.expected), std::string(text, text + std::char_traits<char16_t>::length(text)));
  }
  // Tie-breakers stop at the first unique key none of whose parts may be
  // NULL: past it no two rows are equal.
  for (bool descending : {false, true}) {
    CNARefPtr<Connection> connection(NAAddRef(new Connection()));
    connection->m_nDbmsKind = 5;
    connection->m_nServerMajor = 10;
    std::vector<std::string> texts;
    CNARefPtr<Access> access(NAAddRef(new Access(connection.Get(), &texts, 0)));
    access->SetFileDescription(Logical(true, true));
    access->SetTableName(u"t");
    access->SetOrderKey(u"a", {});
    access->SetDescending(descending);
    CNAError error;
    ASSERT_TRUE(access->bRunByStatementKind(1, nullptr, &error));
    const char16_t* text = access->pclGetGenerator()->pszGetStatementText();
    EXPECT_EQ(std::string(descending ? "SELECT * FROM t\r\nORDER BY a DESC,code DESC"
                                     : "SELECT * FROM t\r\nORDER BY a,code"),
              std::string(text, text + std::char_traits<char16_t>::length(text)));
  }
}

TEST_F(TableAccess, ACopyTakesALockToBeRenewedAndDropsALockForTheRead) {
  struct Case {
    int32_t mode;
    int64_t record;
    int32_t copied_mode;
    int64_t copied_record;
  } cases[] = {{0, -1, 0, -1}, {1, 4, 0, -1}, {2, 4, 1, 4}};
  for (const Case& c : cases) {
    CNARefPtr<Access> source(NAAddRef(new Access(connection, &texts, 0)));
    source->SetLock(c.mode, c.record);
    CNARefPtr<CNATableAccess> copy(source->pclClone(nullptr));
    ASSERT_TRUE(copy);
    EXPECT_EQ(c.copied_mode, copy->nGetLockMode()) << c.mode;
    EXPECT_EQ(c.copied_record, copy->nGetLockedRecord()) << c.mode;
  }
}

TEST_F(TableAccess, NamedObjectsAreFiledReplacedRemovedAndCopied) {
  CNARefPtr<Access> source(NAAddRef(new Access(connection, &texts, 0)));
  CNARefPtr<CNASQLGenerator> first(NAAddRef(new CNASQLGenerator(connection)));
  CNARefPtr<CNASQLGenerator> second(NAAddRef(new CNASQLGenerator(connection)));
  CNARefPtr<CNASQLGenerator> third(NAAddRef(new CNASQLGenerator(connection)));
  EXPECT_FALSE(source->bRegisterObject(u"a", nullptr));
  ASSERT_TRUE(source->bRegisterObject(u"a", first.Get()));
  ASSERT_TRUE(source->bRegisterObject(u"A", second.Get()));  // names compare without case
  ASSERT_TRUE(source->bRegisterObject(u"b", third.Get()));
  CNARefCounted* found = source->pclFindObject(u"a");
  EXPECT_EQ(second.Get(), found);
  NARelease(found);
  EXPECT_EQ(nullptr, source->pclFindObject(u"c"));
  // A copy files the context's copies, else the same objects.
  CNACopyContext context;
  CNARefPtr<CNASQLGenerator> copied(NAAddRef(new CNASQLGenerator(connection)));
  context.bRegisterCopy(third.Get(), copied.Get());
  CNARefPtr<CNATableAccess> copy(source->pclClone(&context));
  ASSERT_TRUE(copy);
  found = copy->pclFindObject(u"a");
  EXPECT_EQ(second.Get(), found);
  NARelease(found);
  found = copy->pclFindObject(u"b");
  EXPECT_EQ(copied.Get(), found);
  NARelease(found);
  EXPECT_TRUE(source->bUnregisterObject(u"a"));
  EXPECT_FALSE(source->bUnregisterObject(u"a"));
  EXPECT_EQ(nullptr, source->pclFindObject(u"a"));
  found = copy->pclFindObject(u"a");  // the copy keeps its own
  EXPECT_EQ(second.Get(), found);
  NARelease(found);
}

// A filter filed under a name comes into force by that name; applying the
// filter in force drops rows read under another one, and only then.
TEST_F(TableAccess, AFilterFiledByNameIsAppliedToTheNextRead) {
  ASSERT_TRUE(Run(u"SELECT * FROM t", 1, 5));
  // A filter with a condition (false everywhere).
  CNARefPtr<CNAFilter> filter;
  filter.Attach(CNAFilter::pclNewConstant(false));
  ASSERT_TRUE(filter);
  CNAError error;
  EXPECT_FALSE(access->bSetFilterByName(u"f", &error));
  EXPECT_EQ(11u, error.nGetErrorIdentifier());
  CNARefPtr<CNASQLGenerator> other(NAAddRef(new CNASQLGenerator(connection)));
  ASSERT_TRUE(access->bRegisterObject(u"g", other.Get()));
  EXPECT_FALSE(access->bSetFilterByName(u"g", nullptr));  // not a filter
  ASSERT_TRUE(access->bRegisterObject(u"f", filter.Get()));
  // Applying the filter the rows were read under changes nothing.
  ASSERT_TRUE(access->bApplyFilter(nullptr));
  EXPECT_EQ(5, access->pclGetResult()->nGetRowCount());
  ASSERT_TRUE(access->bSetFilterByName(u"F", nullptr));
  EXPECT_EQ(filter.Get(), access->pclGetFilter());
  EXPECT_TRUE(access->bIsFilterActive());
  EXPECT_TRUE(access->bHasFilterChanged());
  ASSERT_TRUE(access->bApplyFilter(nullptr));
  EXPECT_FALSE(access->bHasFilterChanged());
  EXPECT_FALSE(access->bIsPositionValid());
  EXPECT_GT(0, access->pclGetResult() != nullptr ? access->pclGetResult()->nGetRowCount() : -1);
  // The position as a saved position of its own.
  CNARefCounted* held = access->pclGetPosition(nullptr);
  auto* position = dynamic_cast<CNASavedPosition*>(held);
  ASSERT_NE(nullptr, position);
  EXPECT_EQ(-1, position->nGetRecord(0));
  NARelease(held);
}

}  // namespace
