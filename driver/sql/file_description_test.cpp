#include "driver/sql/file_description.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/sql/column.h"
#include "driver/sql/item.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/table_description.h"
#include "driver/sql/value_converter.h"
#include "support/any_test_fixture.h"

namespace {

struct ColumnSpec {
  const char16_t* name;
  int type;
  int size;
  uint16_t key_flags;
};

class FileDescription : public qg::AnyHostTest {
 protected:
  // A table description (no connection) with the columns, then the
  // composite keys given as part names.
  CNATableDescription* Table(const std::vector<ColumnSpec>& columns,
                             const std::vector<std::pair<uint16_t, std::vector<int>>>& composites =
                                 {}) {
    auto* table = NAAddRef(new CNATableDescription(nullptr));
    tables_.push_back(table);
    std::vector<CNAColumn*> made;
    for (const ColumnSpec& spec : columns) {
      CNAColumn* c = NAAddRef(new CNAColumn());
      c->Init(spec.name, u"t", nullptr, 1, spec.size, spec.type, -1, -1, spec.key_flags, 0, 0);
      table->bAppendColumn(c);
      made.push_back(c);
      ReleaseBoth(c);
    }
    for (const auto& [flags, parts] : composites) {
      CNAColumn* key = NAAddRef(new CNAColumn());
      key->Init(u"k", u"t", nullptr, 1, 0, 2, -1, -1, static_cast<uint16_t>(flags | kNAKeyComposite),
                0, 0);
      for (int p : parts) key->AddPart(made[size_t(p)]);
      table->AddKey(key);
      ReleaseBoth(key);
    }
    table->ComputeOffsets();
    return table;
  }
  CNAFileDescription* Build(CNATableDescription* table,
                            std::vector<std::u16string> key_order = {}) {
    auto* fd = NAAddRef(new CNAFileDescription());
    fds_.push_back(fd);
    fd->SetKeyOrder(std::move(key_order));
    EXPECT_TRUE(fd->bBuild(table, nullptr, nullptr));
    return fd;
  }
  static std::vector<std::u16string> KeyNames(const CNAFileDescription& fd) {
    std::vector<std::u16string> names;
    for (int i = 0; i < fd.nGetKeyCount(); ++i) names.push_back(fd.pclGetKey(i)->pszGetName());
    return names;
  }
  static void Write(CNAItem* item, int32_t v) {
    CAny a;
    a.SetI4(v);
    ASSERT_TRUE(item->bWriteValue(a, 0, nullptr));
  }
  static void WriteText(CNAItem* item, const char16_t* text) {
    CAny a;
    a.SetPSTRW(text);
    ASSERT_TRUE(item->bWriteValue(a, 0, nullptr));
  }
  static std::u16string Read(CNAItem* item, bool saved = false) {
    CAny a;
    EXPECT_TRUE(saved ? item->bReadSavedValue(a, 0, nullptr) : item->bReadValue(a, 0, nullptr));
    if (a.bEstNull()) return u"NULL";
    if (a.nConvertType(qg::kAnyPSTRW) >= qg::kHostErrorFirst) return u"?";
    const char16_t* t = nullptr;
    a.pclHolder()->vnGetTexteW(&t);
    return t != nullptr ? t : u"";
  }
  void TearDown() override {
    for (CNAFileDescription* fd : fds_) ReleaseBoth(fd);
    for (CNATableDescription* t : tables_) ReleaseBoth(t);
    AnyHostTest::TearDown();
  }
  std::vector<CNATableDescription*> tables_;
  std::vector<CNAFileDescription*> fds_;
};

constexpr uint16_t kPrimary = kNAKeyPrimary;
constexpr uint16_t kUnique = kNAKeyUnique;
constexpr uint16_t kDup = kNAKeyDuplicates;

TEST_F(FileDescription, OrderKeys) {
  struct Case {
    const char* what;
    std::vector<ColumnSpec> columns;
    std::vector<std::pair<uint16_t, std::vector<int>>> composites;
    std::vector<std::u16string> order;
    std::vector<std::u16string> expected;
  };
  const std::vector<Case> cases = {
      {"an auto-identifier alone",
       {{u"a", 5, 4, kUnique}, {u"id", 28, 4, 0}, {u"b", 5, 4, 0}}, {}, {}, {u"id"}},
      {"a first unique key that is not writable, alone",
       {{u"u", 5, 4, kUnique}, {u"p", 5, 4, kPrimary}, {u"v", 5, 4, kUnique}, {u"x", 5, 4, 0}},
       {}, {}, {u"p"}},
      {"no key: every plain item but large objects, in column order",
       {{u"x", 5, 4, 0}, {u"memo", 15, 8, 0}, {u"y", 2, 11, 0}}, {}, {}, {u"x", u"y"}},
      {"writable unique, duplicates, then the rest",
       {{u"x", 5, 4, 0}, {u"d", 5, 4, kDup}, {u"u", 5, 4, kUnique}}, {}, {}, {u"u", u"d", u"x"}},
      {"a composite unique key adds its parts once",
       {{u"a", 5, 4, 0}, {u"b", 5, 4, kDup}, {u"c", 5, 4, 0}}, {{kUnique, {1, 0}}}, {},
       {u"b", u"a", u"c"}},
      {"an explicit order stops after the auto-identifier",
       {{u"a", 5, 4, 0}, {u"id", 28, 4, 0}, {u"b", 5, 4, 0}}, {}, {u"b", u"id", u"a"},
       {u"b", u"id"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CNAFileDescription* fd = Build(Table(c.columns, c.composites), c.order);
    EXPECT_EQ(c.expected, KeyNames(*fd));
  }
}

// A connection of DBMS kind 4, which takes at most 31 ORDER BY items.
class KindFour : public CNAConnection {
 public:
  KindFour() : CNAConnection(static_cast<CNAManager*>(nullptr)) { m_nDbmsKind = 4; }
  bool bOpen(CNAError*, int32_t) override { return true; }
  bool bIsOpen() override { return true; }
  bool bClose(CNAError*) override { return true; }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
};

TEST_F(FileDescription, KeysStopAtTheConnectionsOrderLimit) {
  auto* connection = NAAddRef(new KindFour());
  auto* table = NAAddRef(new CNATableDescription(connection));
  std::vector<std::u16string> names;
  for (int i = 0; i < 40; ++i) names.push_back(u"c" + std::u16string(1, char16_t(u'A' + i)));
  for (const std::u16string& name : names) {
    CNAColumn* c = NAAddRef(new CNAColumn());
    c->Init(name.c_str(), u"t", nullptr, 1, 4, 5, -1, -1, 0, 0, 0);
    table->bAppendColumn(c);
    ReleaseBoth(c);
  }
  table->ComputeOffsets();
  CNAFileDescription* fd = Build(table);
  ASSERT_EQ(31, fd->nGetKeyCount());
  EXPECT_EQ(fd->pclGetItem(30), fd->pclGetKey(30));
  ReleaseBoth(table);
  ReleaseBoth(connection);
}

TEST_F(FileDescription, IdentificationAndPrefixes) {
  CNAFileDescription* fd =
      Build(Table({{u"a", 5, 4, 0}, {u"b", 5, 4, 0}, {u"u", 5, 4, kUnique}, {u"x", 5, 4, 0}},
                  {{kUnique, {0, 1}}}));
  CNAItem* a = fd->pclFindItemByName(u"a");
  CNAItem* b = fd->pclFindItemByName(u"b");
  CNAItem* u = fd->pclFindItemByName(u"u");
  // Nothing has a value yet.
  EXPECT_EQ(nullptr, fd->pclGetIdentifyingKey(nullptr));
  Write(a, 1);
  Write(b, 2);
  // The composite unique key (the first unique item with a value).
  CNAItem* composite = fd->pclGetItem(4);
  ASSERT_TRUE(composite->bIsCompositeKey());
  EXPECT_EQ(composite, fd->pclGetIdentifyingKey(nullptr));
  Write(u, 3);
  EXPECT_EQ(u, fd->pclGetIdentifyingKey(nullptr));

  CNAItem* parts[] = {b, a, u};
  EXPECT_FALSE(fd->bPrefixIsUnique(parts, 0));
  EXPECT_FALSE(fd->bPrefixIsUnique(parts, 2));
  EXPECT_TRUE(fd->bPrefixIsUnique(parts, 3));
  CNAItem* others[] = {a, u, b};
  EXPECT_FALSE(fd->bPrefixIsUnique(others, 3));
}

TEST_F(FileDescription, FindItemForColumn) {
  CNATableDescription* table = Table({{u"a", 5, 4, 0}, {u"b", 5, 4, 0}});
  CNAFileDescription* fd = Build(table);
  CNAColumn other;
  other.Init(u"B", u"t", nullptr, 1, 4, 5, 0, -1, 0, 0, 0);
  EXPECT_EQ(fd->pclGetItem(1), fd->pclFindItemForColumn(&other));
  // No name matches: no item, not some other item of the same table.
  other.bSetName(u"zz");
  EXPECT_EQ(nullptr, fd->pclFindItemForColumn(&other));
  other.SetTable(u"elsewhere");
  other.bSetName(u"a");
  EXPECT_EQ(nullptr, fd->pclFindItemForColumn(&other));
  // By ordinal.
  fd->SetMatchByName(false);
  EXPECT_EQ(fd->pclGetItem(0), fd->pclFindItemForColumn(&other));
  other.SetOrdinal(7);
  EXPECT_EQ(nullptr, fd->pclFindItemForColumn(&other));
}

TEST_F(FileDescription, WithoutColumnsIsAnInternalError) {
  auto* table = NAAddRef(new CNATableDescription(nullptr));
  tables_.push_back(table);
  auto* fd = NAAddRef(new CNAFileDescription());
  fds_.push_back(fd);
  CNAError error;
  EXPECT_FALSE(fd->bBuild(table, nullptr, &error));
  EXPECT_TRUE(error.bHasError());
  EXPECT_EQ(nullptr, fd->pclGetCurrentRow());
}

TEST_F(FileDescription, SaveRestoreAndChanges) {
  CNAFileDescription* fd =
      Build(Table({{u"n", 5, 4, kUnique}, {u"s", 2, 11, 0}, {u"memo", 15, 8, 0}}));
  CNAItem* n = fd->pclGetItem(0);
  CNAItem* s = fd->pclGetItem(1);
  CNAItem* memo = fd->pclGetItem(2);
  Write(n, 5);
  WriteText(s, u"abc");
  WriteText(memo, u"long text");
  EXPECT_FALSE(fd->bIsRepositioned());
  ASSERT_TRUE(fd->bSaveCurrentRecord(nullptr));
  EXPECT_TRUE(fd->bIsRepositioned());
  for (CNAItem* item : {n, s, memo}) EXPECT_FALSE(item->bHasChanged()) << item->nGetIndexInOwner();

  Write(n, 6);
  WriteText(s, u"");
  WriteText(memo, u"other text");
  EXPECT_TRUE(n->bHasChanged());
  EXPECT_TRUE(s->bHasChanged());  // empty text is no value
  EXPECT_TRUE(memo->bHasChanged());
  EXPECT_EQ(u"5", Read(n, true));
  EXPECT_EQ(u"long text", Read(memo, true));

  ASSERT_TRUE(fd->bRestoreSavedRecord(nullptr));
  EXPECT_EQ(u"5", Read(n));
  EXPECT_EQ(u"abc", Read(s));
  EXPECT_EQ(u"long text", Read(memo));
  for (CNAItem* item : {n, s, memo}) EXPECT_FALSE(item->bHasChanged()) << item->nGetIndexInOwner();

  // A record copied out and compared.
  CNARecordImage* image = NAAddRef(new CNARecordImage);
  ASSERT_TRUE(fd->bCopyRecordTo(image, nullptr));
  EXPECT_TRUE(fd->bSameAsCurrent(*image));
  Write(n, 9);
  EXPECT_FALSE(fd->bSameAsCurrent(*image));
  ReleaseBoth(image);

  // Normalising writes null into an item without a value.
  WriteText(s, u"");
  ASSERT_TRUE(s->bNormalise(nullptr));
  EXPECT_EQ(u"NULL", Read(s));
}

TEST_F(FileDescription, SetCurrentRowBringsConvertersInStep) {
  CNAFileDescription* fd = Build(Table({{u"a", 5, 4, 0}, {u"b", 5, 4, 0}}));
  CNARowBuffer* row = fd->pclGetCurrentRow()->pclDuplicate();
  AddRefBoth(row);
  CAny v;
  v.SetI4(42);
  ASSERT_TRUE(row->bSetValue(0, v, -1));
  row->SetPresent(1, false, -1);
  ASSERT_TRUE(fd->bSetCurrentRow(*row, nullptr));
  EXPECT_EQ(u"42", Read(fd->pclGetItem(0)));
  EXPECT_FALSE(fd->pclGetItem(0)->pclGetConverter()->bIsNull());
  EXPECT_TRUE(fd->pclGetItem(1)->pclGetConverter()->bIsNull());
  ReleaseBoth(row);
}

TEST_F(FileDescription, DumpOfARecordWithoutIdentifier) {
  CNAFileDescription* fd =
      Build(Table({{u"a", 5, 4, 0}, {u"b", 2, 11, 0}}, {{kUnique, {0, 1}}}));
  Write(fd->pclGetItem(0), 5);
  std::u16string dump;
  ASSERT_TRUE(fd->bDump(&dump, nullptr));
  EXPECT_EQ(u"<Record ID> : record values (", dump.substr(0, 29));
  fd->pclGetCurrentImage()->SetIdentifier(nullptr);
  ASSERT_TRUE(fd->bDump(&dump, nullptr));
  EXPECT_EQ(u"<Record ID> : NULL\r\n<NullValuesFlags (0=NULL)> : 1 0\r\n<a> = <5>\r\n<b> = <NULL>",
            dump);
}

// A copy is whole on its own: the original can go, and the copy's items
// read and write its own rows.
TEST_F(FileDescription, CopyOutlivesTheOriginal) {
  CNATableDescription* table =
      Table({{u"a", 5, 4, kUnique}, {u"b", 2, 11, 0}, {u"memo", 15, 8, 0}}, {{kDup, {0, 1}}});
  auto* original = NAAddRef(new CNAFileDescription());
  ASSERT_TRUE(original->bBuild(table, nullptr, nullptr));
  Write(original->pclGetItem(0), 7);
  WriteText(original->pclGetItem(1), u"x");
  WriteText(original->pclGetItem(2), u"memo text");
  ASSERT_TRUE(original->bSaveCurrentRecord(nullptr));
  CNAFileDescription* copy = original->pclClone(nullptr, nullptr);
  ASSERT_NE(nullptr, copy);
  AddRefBoth(copy);
  fds_.push_back(copy);
  ReleaseBoth(original);

  ASSERT_EQ(4, copy->nGetItemCount());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(copy, copy->pclGetItem(i)->pclGetOwner());
  CNAItem* composite = copy->pclGetItem(3);
  ASSERT_EQ(2, composite->nGetPartCount());
  EXPECT_EQ(copy->pclGetItem(0), composite->pclGetPart(1));
  EXPECT_EQ(u"7", Read(copy->pclGetItem(0)));
  EXPECT_EQ(u"x", Read(copy->pclGetItem(1)));
  EXPECT_EQ(u"memo text", Read(copy->pclGetItem(2)));
  EXPECT_EQ(u"memo text", Read(copy->pclGetItem(2), true));
  EXPECT_TRUE(copy->bIsRepositioned());
  Write(copy->pclGetItem(0), 8);
  EXPECT_EQ(u"8", Read(copy->pclGetItem(0)));
  EXPECT_EQ(u"7", Read(copy->pclGetItem(0), true));
  EXPECT_EQ(copy->pclGetItem(0), copy->pclGetKey(0));
}

// Items follow a replaced row buffer: none keeps pointing into the old one.
TEST_F(FileDescription, ReplacedRowBufferRebindsItems) {
  CNAFileDescription* fd = Build(Table({{u"a", 5, 4, 0}, {u"b", 2, 11, 0}}));
  Write(fd->pclGetItem(0), 3);
  CNARowBuffer* fresh = fd->pclGetCurrentRow()->pclDuplicate();
  fd->pclGetCurrentImage()->SetRowBuffer(fresh);  // the old buffer goes
  ASSERT_TRUE(fd->bRebindItems(nullptr));
  for (int i = 0; i < 2; ++i) {
    CNAItem* item = fd->pclGetItem(i);
    EXPECT_EQ(fresh->pGetColumnData(i, -1), item->pclGetConverter()->pGetData());
  }
  EXPECT_EQ(u"3", Read(fd->pclGetItem(0)));
  WriteText(fd->pclGetItem(1), u"after");
  EXPECT_EQ(u"after", Read(fd->pclGetItem(1)));
}

// The current record is identified by its whole row in a record cache,
// also after the row buffer object was replaced.
TEST_F(FileDescription, CurrentRecordIdentifiedByItsRow) {
  CNAFileDescription* fd = Build(Table({{u"a", 5, 4, 0}, {u"b", 2, 11, 0}}));
  Write(fd->pclGetItem(0), 1);
  auto* cache = NAAddRef(new CNARecordCache());
  CNARecordImage* current = fd->pclGetCurrentImage();
  int first = cache->nStoreRecord(current, nullptr);
  ASSERT_GE(first, 0);
  Write(fd->pclGetItem(0), 2);
  EXPECT_EQ(-1, cache->nFindRecord(current->pclGetIdentifier()));
  int second = cache->nStoreRecord(current, nullptr);
  EXPECT_NE(first, second);
  fd->pclGetCurrentImage()->SetRowBuffer(fd->pclGetCurrentRow()->pclDuplicate());
  ASSERT_TRUE(fd->bRebindItems(nullptr));
  EXPECT_EQ(second, cache->nFindRecord(current->pclGetIdentifier()));
  // Read back into the saved record.
  ASSERT_TRUE(cache->bReadRecord(fd->pclGetSavedImage(), first, nullptr));
  EXPECT_EQ(u"1", Read(fd->pclGetItem(0), true));
  ReleaseBoth(cache);
}

TEST_F(FileDescription, MarkCurrentInvalid) {
  CNAFileDescription* fd = Build(Table({{u"a", 5, 4, 0}}));
  fd->MarkCurrentInvalid();
  EXPECT_EQ(kNARecordInvalid, fd->pclGetCurrentImage()->nGetFlags());
}

}  // namespace
