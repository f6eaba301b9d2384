#include "driver/sql/table_description.h"

#include <gtest/gtest.h>

#include <vector>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/error_status.h"
#include "driver/core/manager.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "host/core/driver_objects.h"
#include "support/any_test_fixture.h"

namespace {

// A connection whose copy, when asked for, fails to open.
class FakeConnection : public CNAConnection {
 public:
  FakeConnection() : CNAConnection(static_cast<CNAManager*>(nullptr)) {}
  bool bOpen(CNAError*, int32_t) override { return true; }
  bool bIsOpen() override { return true; }
  bool bClose(CNAError*) override { return true; }
  CNAConnection* pclCreate(INACopyContext* context, intptr_t, intptr_t) override {
    if (fail_copy) throw CNAError();
    auto* copy = NAAddRef(new FakeConnection());
    context->bRegisterCopy(this, copy);
    return copy;
  }
  bool fail_copy = false;
};

class TableDescription : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    connection_ = NAAddRef(new FakeConnection());
    table_ = NAAddRef(new CNATableDescription(connection_));
    table_->SetName(u"t");
    // As read from the server: a unique a, a text b.
    Column(u"a", 5, 4, kNAKeyUnique);
    Column(u"b", 2, 11, 0);
    table_->ComputeOffsets();
  }
  void TearDown() override {
    ReleaseBoth(table_);
    ReleaseBoth(connection_);
    AnyHostTest::TearDown();
  }
  CNAColumn* Column(const char16_t* name, int type, int size, uint16_t key_flags) {
    CNAColumn* c = NAAddRef(new CNAColumn());
    c->Init(name, u"t", nullptr, 1, size, type, -1, -1, key_flags, 0, 0);
    table_->bAppendColumn(c);
    ReleaseBoth(c);
    return c;
  }
  static void Item(qghost::FileDescription& file, const char16_t* name, const char16_t* sql_name,
                   int item_type, int size) {
    qghost::FileDescription::Item item;
    item.name = name;
    if (sql_name != nullptr) item.sql_name = sql_name;
    item.item.nItemType = item_type;
    item.item.nSize = size;
    file.items.push_back(item);
  }
  static void SourceItem(qghost::FileDescription& file, const char16_t* name, int column_type,
                         int size, uint16_t key_flags) {
    qghost::FileDescription::Item item;
    item.name = name;
    item.item.bHasSource = true;
    item.item.nColumnType = column_type;
    item.item.nSize = size;
    item.item.nKeyFlags = key_flags;
    file.items.push_back(item);
  }
  FakeConnection* connection_ = nullptr;
  CNATableDescription* table_ = nullptr;
};

TEST_F(TableDescription, ApplyHostFileDescription) {
  qghost::FileDescription file(u"T", 1);
  file.keyed = true;
  SourceItem(file, u"a", 5, 4, 0);                   // a stops being a key
  Item(file, u"b", u"b_on_server", 40, 8);           // b becomes a large text
  SourceItem(file, u"c", 5, 4, kNAKeyPrimary);       // new primary key
  SourceItem(file, u"u", 5, 4, kNAKeyUnique | kNAKeyDirection400);
  Item(file, u"plain", nullptr, 5, 4);               // a plain new column
  file.items.back().item.bReadOnly = true;
  file.keys = {{3, true}, {2, false}, {-1, false}};
  ASSERT_TRUE(table_->bApplyFileDescription(&file, nullptr));
  EXPECT_EQ(CNATableDescription::kFromResult, table_->nGetMode());
  ASSERT_EQ(5, table_->nGetColumnCount());

  CNAColumn* a = table_->pclColumnAt(0);
  CNAColumn* b = table_->pclColumnAt(1);
  CNAColumn* c = table_->pclColumnAt(2);
  CNAColumn* u = table_->pclColumnAt(3);
  EXPECT_FALSE(a->bIsKey());
  EXPECT_EQ(30, b->nGetType());
  EXPECT_EQ(std::u16string(u"b_on_server"), b->pszGetSQLName());
  ASSERT_EQ(1, table_->nGetLargeObjectCount());
  EXPECT_EQ(b, table_->pclLargeObjectAt(0));
  EXPECT_EQ(kNAKeyPrimary | kNAKeyUnique | kNAKeyDirection800, c->nGetKeyFlags());
  // Keys renumbered as the list stands; u's direction from the host's key.
  ASSERT_EQ(2, table_->nGetKeyCount());
  EXPECT_EQ(c, table_->pclKeyAt(0));
  EXPECT_EQ(u, table_->pclKeyAt(1));
  EXPECT_EQ(kNAKeyUnique | kNAKeyDirection400, u->nGetKeyFlags());
  EXPECT_EQ(u, table_->pclGetChosenKey());
  // The layout follows the new sizes.
  EXPECT_EQ(4 + 8 + 4 + 4 + 4, table_->nGetTotalSize());
  EXPECT_EQ(4, b->nGetRecordOffset());
  EXPECT_EQ(5u, table_->clGetLayout().nNullBits);

  // The logical description built on it: writability from the host.
  CNAFileDescription* fd = NAAddRef(new CNAFileDescription());
  ASSERT_TRUE(fd->bBuild(table_, nullptr, nullptr));
  EXPECT_TRUE(fd->pclGetItem(0)->bIsWritable());
  EXPECT_FALSE(fd->pclGetItem(4)->bIsWritable());
  EXPECT_TRUE(fd->pclGetItem(1)->bIsLargeObject());
  ReleaseBoth(fd);
}

// Items in another order than the columns, one under another letter case:
// each updates the column of its name, a key names its item by the item's
// place, and an item no column has adds one.
TEST_F(TableDescription, ItemsMeetTheirColumnsByName) {
  qghost::FileDescription file(u"T", 1);
  file.keyed = true;
  SourceItem(file, u"B", 15, 8, 0);
  SourceItem(file, u"extra", 5, 4, 0);
  SourceItem(file, u"a", 5, 4, kNAKeyUnique);
  file.keys = {{2, true}};
  ASSERT_TRUE(table_->bApplyFileDescription(&file, nullptr));
  ASSERT_EQ(3, table_->nGetColumnCount());
  CNAColumn* a = table_->pclColumnAt(0);
  CNAColumn* b = table_->pclColumnAt(1);
  EXPECT_EQ(std::u16string(u"a"), a->pszGetName());
  EXPECT_EQ(5, a->nGetType());
  EXPECT_TRUE(a->bIsUnique());
  EXPECT_EQ(a, table_->pclGetChosenKey());
  EXPECT_EQ(std::u16string(u"b"), b->pszGetName());
  EXPECT_EQ(15, b->nGetType());
  EXPECT_EQ(std::u16string(u"extra"), table_->pclColumnAt(2)->pszGetName());
}

TEST_F(TableDescription, NotKeyedUniqueBecomesDuplicates) {
  qghost::FileDescription file(u"T", 1);
  SourceItem(file, u"a", 5, 4, kNAKeyUnique);
  SourceItem(file, u"b", 2, 11, 0);
  SourceItem(file, u"d", 5, 4, kNAKeyPrimary);
  ASSERT_TRUE(table_->bApplyFileDescription(&file, nullptr));
  EXPECT_EQ(kNAKeyDuplicates | kNAKeyDirection800, table_->pclColumnAt(2)->nGetKeyFlags());
  EXPECT_EQ(kNAKeyDuplicates | kNAKeyDirection800, table_->pclColumnAt(0)->nGetKeyFlags());
}

TEST_F(TableDescription, CopyRegistersAndSharesColumns) {
  CNACopyContext context;
  CNATableDescription* copy = table_->pclCreateCopy(&context, 0, nullptr);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(copy, context.pFindCopy(table_));
  EXPECT_EQ(table_->pclColumnAt(1), copy->pclColumnAt(1));
  EXPECT_EQ(connection_, copy->pclGetConnection());
  EXPECT_EQ(table_->nGetTotalSize(), copy->nGetTotalSize());
  // A logical description copied in the same context takes the copy.
  CNAFileDescription* original = NAAddRef(new CNAFileDescription());
  ASSERT_TRUE(original->bBuild(table_, nullptr, nullptr));
  CNAFileDescription* copied = original->pclClone(&context, nullptr);
  ASSERT_NE(nullptr, copied);
  AddRefBoth(copied);
  EXPECT_EQ(copy, copied->pclGetTableDescription());
  EXPECT_EQ(copied, context.pFindCopy(original));
  ReleaseBoth(copied);
  ReleaseBoth(original);
  // The copy stands alone once the original goes.
  ReleaseBoth(table_);
  table_ = nullptr;
  CNAFileDescription* fd = NAAddRef(new CNAFileDescription());
  ASSERT_TRUE(fd->bBuild(copy, nullptr, nullptr));
  CAny v;
  v.SetI4(3);
  EXPECT_TRUE(fd->pclGetItem(0)->bWriteValue(v, 0, nullptr));
  ReleaseBoth(fd);
  ReleaseBoth(copy);
}

// With connections kept per host context, the copy takes the connection's
// copy; a copy that cannot be made leaves no reference behind.
TEST_F(TableDescription, CopyAcrossConnections) {
  CNAManager* manager = new CNAManager();
  manager->AddRef();
  NASetManager(manager);
  manager->SetPerContextConnections(true);
  {
    CNACopyContext context;
    CNATableDescription* copy = table_->pclCreateCopy(&context, 0, nullptr);
    ASSERT_NE(nullptr, copy);
    EXPECT_NE(connection_, copy->pclGetConnection());
    EXPECT_EQ(copy->pclGetConnection(), context.pFindCopy(connection_));
    // A second description of the same connection shares that copy.
    CNATableDescription* second = table_->pclCreateCopy(&context, 0, nullptr);
    EXPECT_EQ(copy->pclGetConnection(), second->pclGetConnection());
    ReleaseBoth(second);
    ReleaseBoth(copy);
  }
  {
    connection_->fail_copy = true;
    CNAColumn* a = table_->pclColumnAt(0);
    AddRefBoth(a);
    int32_t before = nNARelease(a);
    CNACopyContext context;
    EXPECT_THROW(table_->pclCreateCopy(&context, 0, nullptr), CNAError);
    EXPECT_EQ(nullptr, context.pFindCopy(table_));
    AddRefBoth(a);
    EXPECT_EQ(before, nNARelease(a));
  }
  manager->Release();
}

}  // namespace
