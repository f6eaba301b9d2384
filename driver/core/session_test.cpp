#include "driver/core/session.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/manager.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/query.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "driver/sql/value_converter.h"
#include "host/core/driver_objects.h"
#include "host/core/parsed_query.h"
#include "support/any.h"
#include "support/string_host_fixture.h"

namespace {

class FakeConnection : public CNAConnection {
 public:
  FakeConnection(const char16_t* key, INAConnectionDescription* d, CNAManager* m)
      : CNAConnection(key, d, m) {
    m_nDbmsKind = 5;
    m_strOpenQuote = u"`";
    m_nOpenQuoteLength = 1;
    m_strCloseQuote = u"`";
    m_nCloseQuoteLength = 1;
  }
  bool bOpen(CNAError*, int32_t) override { return true; }
  bool bIsOpen() override { return true; }
  bool bClose(CNAError*) override {
    ++closes;
    return true;
  }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
  bool bIndexNamesNeedNoTablePrefix() override { return index_names_local; }
  static inline int closes = 0;
  static inline bool index_names_local = false;
};

class TestManager : public CNAManager {
 public:
  CNAConnection* pclNewConnection(const char16_t* key, INAConnectionDescription* d) override {
    return new FakeConnection(key, d, this);
  }
  // The table of `table_columns` when there are some, else no table on
  // this server; the lookup records its own error when asked.
  CNATableDescription* pclGetTableDescriptionByName(CNAConnection* c, const char16_t* name,
                                                    CNAError* error) override {
    if (!table_columns.empty()) return Table(c, name, table_columns);
    if (lookup_fails_loudly) NASetErrorMessage(error, 0, 5, 1, nullptr, 30u);
    return nullptr;
  }
  struct Column {
    const char16_t* name;
    int type;
    int size;
    uint16_t key_flags;
  };
  // A described table (one reference for the caller).
  static CNATableDescription* Table(CNAConnection* c, const char16_t* name,
                                    const std::vector<Column>& columns) {
    auto* table = NAAddRef(new CNATableDescription(c));
    table->SetName(name);
    table->SetServerName(name);
    for (const Column& spec : columns) {
      CNAColumn* column = NAAddRef(new CNAColumn());
      column->Init(spec.name, name, nullptr, 1, spec.size, spec.type, table->nGetColumnCount(),
                   spec.key_flags != 0 ? table->nGetKeyCount() : -1, spec.key_flags, 0, 0);
      table->bAppendColumn(column);
      ReleaseBoth(column);
    }
    table->ComputeOffsets();
    return table;
  }
  std::vector<Column> table_columns;
  bool lookup_fails_loudly = false;
};

class Session : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    manager = new TestManager();
    manager->AddRef();
    d.owned_by_count = false;
    CNAError e;
    connection = manager->pclResolveConnection(&d, &e);
    ASSERT_NE(nullptr, connection);
    session = NAAddRef(new CNASession(&file, connection));
  }
  void TearDown() override {
    ReleaseBoth(session);
    if (connection != nullptr) manager->bReleaseConnection(connection);
    manager->Release();
    qg::StringHostTest::TearDown();
  }
  qghost::FileDescription file{u"db.ORDERS", 1};
  qghost::ConnectionDescription d;
  TestManager* manager = nullptr;
  CNAConnection* connection = nullptr;
  CNASession* session = nullptr;
};

std::u16string Debug(CNAError& e) { return e.pclGetXError()->pszGetDebugMessage(); }

CNAFileDescription* LogicalOf(CNASession* session) {
  return static_cast<CNAFileDescription*>(session->pclGetLogical());
}

std::vector<std::u16string> SqlNames(CNAFileDescription* logical) {
  std::vector<std::u16string> names;
  for (int i = 0; i < logical->nGetItemCount(); ++i) {
    names.push_back(logical->pclGetItem(i)->pszGetSqlName());
  }
  return names;
}

constexpr uint16_t kPrimary = 0x8000 | 0x4000;

TEST_F(Session, UnsupportedSlotsFailWithTheirSite) {
  struct Case {
    std::function<bool(CNASession*, CNAError*)> call;
    const char16_t* site;
  } cases[] = {
      {[](CNASession* s, CNAError* e) { return s->bUnsupported15(1, 2, 3, e); }, u"=3.10\r"},
      {[](CNASession* s, CNAError* e) { return s->bUnsupported16(e); }, u"=3.11\r"},
      {[](CNASession* s, CNAError* e) { return s->bUnsupported23(1, 2, e); }, u"=3.5\r"},
      {[](CNASession* s, CNAError* e) { return s->bUnsupported25(1, 2, 3, 4, e); }, u"=3.7\r"},
      {[](CNASession* s, CNAError* e) { return s->bUnsupported26(1, 2, e); }, u"=3.29\r"},
      {[](CNASession* s, CNAError* e) { return s->bUnsupported39(1, 2, 3, 4, e); }, u"=3.13\r"},
  };
  for (const Case& c : cases) {
    for (int twice = 0; twice < 2; ++twice) {
      CNAError e;
      EXPECT_FALSE(c.call(session, &e));
      EXPECT_EQ(8u, e.nGetErrorIdentifier());
      EXPECT_NE(std::u16string::npos, Debug(e).find(c.site)) << std::string(Debug(e).begin(), Debug(e).end());
    }
    EXPECT_FALSE(c.call(session, nullptr));  // no error object: dropped
  }
}

TEST_F(Session, RecordNumbersAndRangesAreRefusedBeforeAnyWork) {
  struct Case {
    std::function<bool(CNAError*)> call;
  } cases[] = {
      {[&](CNAError* e) { return session->bDelete(5, 0, 0, e, 0); }},
      {[&](CNAError* e) { return session->bModify(0, 3, 0, 0, e); }},
      {[&](CNAError* e) { return session->bGetRecordCounter(1, 1, 0, e); }},
  };
  for (const Case& c : cases) {
    CNAError e;
    EXPECT_FALSE(c.call(&e));
    EXPECT_EQ(18u, e.nGetErrorIdentifier());
    EXPECT_NE(std::u16string::npos, Debug(e).find(u"=3.14\r"));
  }
}

TEST_F(Session, StateReadsAndHooks) {
  EXPECT_EQ(std::u16string(u"db.ORDERS"), session->pszGetFileName());
  EXPECT_EQ(std::u16string(u"`db`.`ORDERS`"), session->pszGetQuotedTableName());
  EXPECT_FALSE(session->bIsOpen());
  EXPECT_EQ(1, session->nGetRecordValuesKind());
  EXPECT_EQ(0, session->nHook37());
  EXPECT_EQ(0, session->nGetQueryIndicator());
  int32_t out = 7;
  EXPECT_TRUE(session->bHook33(reinterpret_cast<intptr_t>(&out)));
  EXPECT_EQ(0, out);
  EXPECT_TRUE(session->bIsQueryResult(reinterpret_cast<intptr_t>(&out), 0, nullptr));
  EXPECT_EQ(1, out);
  EXPECT_FALSE(session->bIsRawSQL());
  EXPECT_FALSE(session->bIsModifyingQuery());

  // No table access object, no logical description: a null value.
  CAny value;
  value.SetDSTRW(u"x");
  EXPECT_TRUE(session->bReadItemValue(0, &value, nullptr));
  EXPECT_TRUE(value.bEstNull());

  INAFileDescription* host = session->pclGetHostDescription();
  EXPECT_EQ(&file, host);
  host->Release();

  // Unknown names for the named tests and per-mille position.
  CNAError e1, e2, e3;
  EXPECT_FALSE(session->bIsAtEnd(u"K", 0, &e1));
  EXPECT_NE(std::u16string::npos, Debug(e1).find(u"=3.17\r"));
  // The message names the file's access name.
  std::u16string user = e1.pclGetXError()->pszGetUserMessage();
  EXPECT_NE(std::u16string::npos, user.find(u"<K>")) << std::string(user.begin(), user.end());
  EXPECT_FALSE(session->bIsFoundAndInRange(u"K", 0, 0, &e2));
  EXPECT_NE(std::u16string::npos, Debug(e2).find(u"=3.18\r"));
  int32_t per_mille = -1;
  EXPECT_FALSE(session->bGetPositionPerMille(u"K", &per_mille, &e3));
  EXPECT_EQ(7u, e3.nGetErrorIdentifier());
  EXPECT_NE(std::u16string::npos, Debug(e3).find(u"=3.1\r"));
}

TEST_F(Session, OpenAlreadyOpenSucceedsWithoutTheServer) {
  session->m_bOpen = true;
  CNAError e;
  EXPECT_TRUE(session->bOpen(0, 0, &e));
  EXPECT_FALSE(e.bHasError());
}

TEST_F(Session, FailedOpenOfAMissingTable) {
  // A quiet lookup: the describe error (site 3.12, message 15, code 11).
  CNAError e;
  EXPECT_FALSE(session->bOpen(0, 0, &e));
  EXPECT_EQ(2, e.nGetLevel());
  EXPECT_EQ(11, e.nGetCode());
  EXPECT_EQ(15u, e.nGetErrorIdentifier());
  EXPECT_NE(std::u16string::npos, Debug(e).find(u"=3.12\r"));
  EXPECT_FALSE(session->bIsOpen());

  // A lookup that said why: its error stays, the file's message first.
  manager->lookup_fails_loudly = true;
  CNAError loud;
  EXPECT_FALSE(session->bOpen(0, 0, &loud));
  EXPECT_EQ(2, loud.nGetLevel());
  EXPECT_EQ(30u, loud.nGetErrorIdentifier());
  EXPECT_EQ(std::u16string::npos, Debug(loud).find(u"=3.12\r"));
  std::u16string user = loud.pclGetXError()->pszGetUserMessage();
  EXPECT_LT(user.find(u"<db.ORDERS>"), user.find(u"\r\n")) << std::string(user.begin(), user.end());
}

TEST_F(Session, CloneKeepsAccessNamesPositionSerialsAndPlainFields) {
  CNAError e;
  CNATableAccess* a = session->pclGetTableAccess(u"KEY1", &e);
  ASSERT_NE(nullptr, a);
  ReleaseBoth(a);
  CNATableAccess* b = session->pclGetDefaultTableAccess(&e);
  ASSERT_NE(nullptr, b);
  ReleaseBoth(b);
  CNATableAccess* current = session->pclGetCurrentTableAccess();
  uint32_t serial1 = CNASession::nNextPositionSerial();
  uint32_t serial2 = CNASession::nNextPositionSerial();
  EXPECT_EQ(serial1 + 1, serial2);
  CNARefCounted* position = NAAddRef(new CNARefCounted());
  session->bAddSavedPosition(serial1, position);
  session->bAddSavedPosition(serial2, position);
  ReleaseBoth(position);
  session->m_nFlags = kNASessionRawSQL;
  session->m_nIndexSelection = 3;
  session->m_strQueryTable = u"Q";

  CNACopyContext context;
  CNASession* copy = session->pclClone(&context);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(copy, context.pFindCopy(session));
  EXPECT_EQ(2u, copy->nGetTableAccessCount());
  CNATableAccess* copied = copy->pclFindTableAccess(u"key1");  // names ignore case
  ASSERT_NE(nullptr, copied);
  EXPECT_NE(current, copied);
  EXPECT_EQ(copied, copy->pclGetCurrentTableAccess());
  EXPECT_EQ(std::u16string(u"KEY1"), copied->pszGetName());
  ReleaseBoth(copied);
  EXPECT_EQ(2u, copy->nGetSavedPositionCount());
  CNARefCounted* found = copy->pclFindSavedPosition(serial2);
  EXPECT_NE(nullptr, found);
  ReleaseBoth(found);
  EXPECT_EQ(kNASessionRawSQL, copy->m_nFlags);
  EXPECT_EQ(3u, copy->m_nIndexSelection);
  EXPECT_EQ(std::u16string(u"Q"), copy->m_strQueryTable.pszGet());
  EXPECT_EQ(session->pclGetConnection(), copy->pclGetConnection());
  ReleaseBoth(copy);
}

TEST_F(Session, DumpOfAnIgnoredError) {
  CNAError e;
  CNASession::Fail(&e, 10, 8);
  CTString text = CNASession::DumpIgnored(e, u"ORDERS", u"ID");
  std::u16string dump = text.pszGet();
  EXPECT_EQ(0u, dump.find(u"Message d'erreur ignoré :Dump du CXError\r\nfichier <ORDERS>, "
                          u"rubrique <ID>\r\nMessage d'erreur utilisateur : \r\n"));
  EXPECT_NE(std::u16string::npos, dump.find(u"\r\nInformations de debug : \r\n"));
  EXPECT_LE(dump.size(), 1000u);
}

TEST_F(Session, DestroyingTheLastUserClosesAnIdleConnection) {
  FakeConnection::closes = 0;
  manager->bReleaseConnection(connection);
  connection = nullptr;
  EXPECT_EQ(0, FakeConnection::closes);
  EXPECT_EQ(1u, manager->nGetConnectionCount());
  ReleaseBoth(session);
  session = nullptr;
  EXPECT_EQ(1, FakeConnection::closes);
  EXPECT_EQ(0u, manager->nGetConnectionCount());
}

TEST_F(Session, OpenBuildsTheLogicalDescriptionOverACopyMergedWithTheHostItems) {
  manager->table_columns = {{u"ID", kNAColInt4, 4, kPrimary}, {u"LABEL", kNAColVarChar, 21, 0}};
  // The host names the second column differently on the server and adds
  // an item of its own.
  file.items.resize(3);
  file.items[0].name = u"ID";
  file.items[1].name = u"LABEL";
  file.items[1].sql_name = u"label_sql";
  file.items[2].name = u"NOTE";
  for (auto& item : file.items) {
    item.item.nItemType = 16;
    item.item.nSize = 20;
  }
  file.items[0].item.bHasSource = true;
  file.items[0].item.nColumnType = kNAColInt4;
  file.items[0].item.nSize = 4;
  file.items[0].item.nKeyFlags = kPrimary;
  file.keyed = true;

  CNAError e;
  ASSERT_TRUE(session->bOpen(0, 0, &e)) << std::string(Debug(e).begin(), Debug(e).end());
  CNAFileDescription* logical = LogicalOf(session);
  ASSERT_NE(nullptr, logical);
  EXPECT_EQ((std::vector<std::u16string>{u"ID", u"label_sql", u"NOTE"}), SqlNames(logical));
  ASSERT_EQ(1, logical->nGetKeyCount());
  EXPECT_EQ(logical->pclGetItem(0), logical->pclGetKey(0));
  // Items of server columns know them by the server's names.
  ASSERT_NE(nullptr, logical->pclGetItem(1)->pclGetSource());
  EXPECT_EQ(std::u16string(u"LABEL"), logical->pclGetItem(1)->pclGetSource()->pszGetName());
  EXPECT_EQ(nullptr, logical->pclGetItem(2)->pclGetSource());
  // The server's description is left as read.
  EXPECT_EQ(2, session->pclGetTableDescription()->nGetColumnCount());
  EXPECT_GT(session->m_nRecordSize, 0);

  // A description read again with another layout: the same logical
  // description follows it.
  CNATableDescription* wider = TestManager::Table(
      connection, u"db.ORDERS",
      {{u"ID", kNAColInt4, 4, kPrimary}, {u"LABEL", kNAColVarChar, 21, 0},
       {u"NOTE", kNAColVarChar, 21, 0}, {u"EXTRA", kNAColInt4, 4, 0}});
  ASSERT_TRUE(session->bBindTableDescription(wider, &e));
  ReleaseBoth(wider);
  EXPECT_EQ(logical, LogicalOf(session));
  EXPECT_EQ((std::vector<std::u16string>{u"ID", u"label_sql", u"NOTE", u"EXTRA"}),
            SqlNames(logical));
  ASSERT_NE(nullptr, logical->pclGetItem(2)->pclGetSource());
}

// A composite key's index name goes into CREATE INDEX as one quoted name,
// whatever it holds, with or without the table's name before it.
TEST_F(Session, CompositeKeyIndexNamesAreQuoted) {
  CNATableDescription* table = TestManager::Table(
      connection, u"ORDERS", {{u"A", kNAColInt4, 4, 0}, {u"B", kNAColInt4, 4, 0}});
  CNARefPtr<CNAColumn> key(NAAddRef(new CNAColumn()));
  key->Init(u"k`x; DROP TABLE t; --", u"ORDERS", nullptr, 1, 0, 2, -1, -1,
            static_cast<uint16_t>(kNAKeyDuplicates | kNAKeyComposite), 0, 0);
  key->AddPart(table->pclColumnAt(0));
  key->AddPart(table->pclColumnAt(1));
  table->AddKey(key.Get());
  session->SetTableDescription(table);
  ReleaseBoth(table);
  for (bool local : {true, false}) {
    FakeConnection::index_names_local = local;
    CTString name;
    CNAError e;
    ASSERT_TRUE(session->bIndexName(0, &name, &e));
    EXPECT_EQ(local ? std::u16string(u"`k``x; DROP TABLE t; --`")
                    : std::u16string(u"`db.ORDERS_k``x; DROP TABLE t; --`"),
              std::u16string(name.pszGet()));
  }
  FakeConnection::index_names_local = false;
}

TEST_F(Session, WithoutHostItemsTheServerColumnsAreTheItems) {
  manager->table_columns = {{u"ID", kNAColAutoId4, 4, kPrimary}, {u"NAME", kNAColVarChar, 11, 0}};
  CNAError e;
  ASSERT_TRUE(session->bOpenOrCreate(0, 0, &e));
  CNAFileDescription* logical = LogicalOf(session);
  ASSERT_NE(nullptr, logical);
  EXPECT_EQ((std::vector<std::u16string>{u"ID", u"NAME"}), SqlNames(logical));
  EXPECT_EQ(logical->pclGetItem(0), logical->pclGetAutoIdItem());
}

TEST_F(Session, CurrentRecordRowAndFlagWordRead) {
  // Closed: no row.
  EXPECT_EQ(nullptr, session->pclGetCurrentRow(nullptr));
  manager->table_columns = {{u"ID", kNAColInt4, 4, kPrimary}, {u"NAME", kNAColVarChar, 11, 0}};
  CNAError e;
  ASSERT_TRUE(session->bOpen(0, 0, &e));
  CNAFileDescription* logical = LogicalOf(session);

  // A copy for the caller: changing it leaves the record until it is set.
  CNARowBuffer* row = session->pclGetCurrentRow(nullptr);
  ASSERT_NE(nullptr, row);
  EXPECT_NE(logical->pclGetCurrentRow(), row);
  row->SetPresent(0, true, -1);
  EXPECT_FALSE(logical->pclGetCurrentRow()->bIsPresent(0));
  ASSERT_TRUE(session->bSetCurrentRow(row, &e));  // takes the reference over
  EXPECT_TRUE(logical->pclGetCurrentRow()->bIsPresent(0));

  // Reading the values again clears the current record's flag word.
  logical->MarkCurrentInvalid();
  ASSERT_TRUE(session->bRereadValues(false, &e));
  EXPECT_EQ(0u, logical->pclGetCurrentImage()->nGetFlags());
}

TEST_F(Session, ItemNamesAreQuotedAsTheQueryQualifiesThem) {
  manager->table_columns = {{u"ID", kNAColInt4, 4, kPrimary}, {u"LABEL", kNAColVarChar, 21, 0}};
  CNAError e;
  ASSERT_TRUE(session->bOpen(0, 0, &e));
  CNAItem* label = LogicalOf(session)->pclGetItem(1);
  CTString quoted;
  ASSERT_TRUE(session->QuoteItemName(label, &quoted, &e));
  EXPECT_EQ(std::u16string(u"`LABEL`"), quoted.pszGet());

  qg::IParsedQuery* parsed = qghost::ParseQuery(u"SELECT o.ID, o.LABEL FROM ORDERS o");
  ASSERT_NE(nullptr, parsed);
  CNAQuery* query = NAAddRef(new CNAQuery(parsed, true));
  parsed->Release();
  session->SetQuery(query);
  ReleaseBoth(query);
  ASSERT_TRUE(session->QuoteItemName(label, &quoted, &e));
  EXPECT_EQ(std::u16string(u"`o`.`LABEL`"), quoted.pszGet());
}

TEST_F(Session, RawSqlTextMustFitTheConnectionsCodePage) {
  const char16_t* text = u"SELECT '\u0141' FROM ORDERS";
  bool has_columns = true;
  int64_t rows = 0;
  connection->m_nConnectionCodePage = 1252;
  CNAError refused;
  EXPECT_FALSE(session->bOpenQuery(text, nullptr, kNASessionRawSQL, nullptr, &has_columns, &rows,
                                   &refused));
  EXPECT_EQ(77u, refused.nGetErrorIdentifier());
  EXPECT_NE(std::u16string::npos, Debug(refused).find(u"=3.26\r"));
  // The code page is told as its number.
  const std::u16string message = refused.pszGetMessage();
  EXPECT_NE(std::u16string::npos, message.find(u" 1252 "))
      << std::string(message.begin(), message.end());

  // UTF-8 takes any text: the open goes on (to a server this connection
  // does not have).
  connection->m_nConnectionCodePage = 65001;
  CNAError other;
  EXPECT_FALSE(session->bOpenQuery(text, nullptr, kNASessionRawSQL | 0x10, nullptr, &has_columns,
                                   &rows, &other));
  EXPECT_NE(77u, other.nGetErrorIdentifier());
}

}  // namespace

TEST_F(Session, InsertSettlesPendingLargeObjectsIntoThemselvesOrNull) {
  manager->table_columns = {{u"ID", kNAColInt4, 4, kPrimary},
                            {u"PENDING", kNAColText, 8, 0},
                            {u"KEPT", kNAColText, 8, 0}};
  CNAError e;
  ASSERT_TRUE(session->bOpen(0, 0, &e));
  CNAFileDescription* logical = LogicalOf(session);
  ASSERT_EQ(2u, logical->GetLargeObjects().size());
  CNAItem* pending = logical->pclFindItemByName(u"PENDING");
  CNAItem* kept = logical->pclFindItemByName(u"KEPT");
  CAny text;
  text.SetPSTRW(u"kept");
  ASSERT_TRUE(kept->bWriteValue(text, 0, &e));
  // A host value not read yet, which cannot be read: the item must not be
  // left pending, and no other item (the host item at the same place in
  // the list, say) may be touched.
  CNAValueConverter* converter = pending->pclGetConverter();
  converter->SetKind(CNAValueConverter::kVariantPending);
  converter->BindColumns(pending->pclGetColumn(), pending->pclGetSource());
  pending->SetPendingText(u"\u0141");
  ASSERT_TRUE(pending->bHasValue());

  session->SettlePendingLargeObjects();
  CAny out;
  ASSERT_TRUE(pending->bReadValue(out, 0, &e));
  EXPECT_TRUE(out.bEstNull());
  EXPECT_FALSE(pending->bHasValue());
  ASSERT_TRUE(kept->bReadValue(out, 0, &e));
  const char* narrow = nullptr;
  ASSERT_EQ(0, out.pclHolder()->vnGetTexteA(&narrow));
  EXPECT_STREQ("kept", narrow);
}
