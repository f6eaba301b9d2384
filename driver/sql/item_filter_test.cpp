#include "driver/sql/item_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/error_status.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/table_description.h"
#include "driver/sql/testing/kind_five_connection.h"
#include "host/core/calc_entries.h"
#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"

namespace {

std::string N(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) out += *p < 128 ? char(*p) : '?';
  return out;
}

using qg::rig::KindFive;

// A table (id INT primary, name VARCHAR(8) with duplicates and nulls,
// n INT) with a composite key (name, n).
class ItemFilters : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
    qg::Services().pfnFinConversion = &qghost::FinConversion;
    connection = NAAddRef(new KindFive);
    table = NAAddRef(new CNATableDescription(nullptr));
    struct Spec {
      const char16_t* name;
      int type, size;
      uint16_t flags;
      bool nullable;
    };
    std::vector<CNAColumn*> made;
    for (const Spec& s : {Spec{u"id", 5, 4, kNAKeyPrimary, false},
                          Spec{u"name", 2, 9, kNAKeyDuplicates, true},
                          Spec{u"n", 5, 4, 0, true}}) {
      CNAColumn* c = NAAddRef(new CNAColumn());
      c->Init(s.name, u"t", nullptr, 1, s.size, s.type, -1, -1, s.flags, 0, 0);
      c->SetNullable(s.nullable);
      table->bAppendColumn(c);
      made.push_back(c);
      ReleaseBoth(c);
    }
    composite = NAAddRef(new CNAColumn());
    composite->Init(u"k", u"t", nullptr, 1, 0, 2, -1, -1,
                    static_cast<uint16_t>(kNAKeyDuplicates | kNAKeyComposite), 0, 0);
    composite->AddPart(made[1]);
    composite->AddPart(made[2]);
    table->AddKey(composite);
    table->ComputeOffsets();
    fd = NAAddRef(new CNAFileDescription());
    ASSERT_TRUE(fd->bBuild(table, nullptr, nullptr));
    keys = NAAddRef(new CNAFileKeyTable(fd, connection));
  }
  void TearDown() override {
    ReleaseBoth(keys);
    ReleaseBoth(fd);
    ReleaseBoth(composite);
    ReleaseBoth(table);
    ReleaseBoth(connection);
    qg::Services().pfnConversion = nullptr;
    qg::Services().pfnFinConversion = nullptr;
    qg::StringHostTest::TearDown();
  }
  void Set(const char16_t* item, const CAny& value) {
    ASSERT_TRUE(fd->pclFindItemByName(item)->bWriteValue(value, 0, nullptr));
  }
  std::string Write(CNAKeyFilter& f) {
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    CNAError error;
    EXPECT_TRUE(f.bApply(*gen.Get(), nullptr, {}, &error));
    const char16_t* d = gen->pszGetDialectText(&error);
    return d != nullptr ? N(d) : "(error)";
  }
  KindFive* connection = nullptr;
  CNATableDescription* table = nullptr;
  CNAColumn* composite = nullptr;
  CNAFileDescription* fd = nullptr;
  CNAFileKeyTable* keys = nullptr;
};

TEST_F(ItemFilters, LeavesOnItems) {
  CNAItem* name = fd->pclFindItemByName(u"name");
  CAny x;
  x.SetPSTRW(u"x'y");
  CNAError error;
  CNARefPtr<CNAFilter> leaf(pclNewItemLeaf(kNAFilterEqual, *name, connection, x, 0, u"t", &error));
  ASSERT_TRUE(leaf);
  EXPECT_EQ(leaf->GetColumn().pItem, name);
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  bool folded = false;
  ASSERT_TRUE(leaf->bWrite(*gen.Get(), 0, {}, &folded, &error));
  EXPECT_EQ(N(gen->pszGetDialectText(&error)), "`t`.`name`='x''y'");
  // The leaf rejects the column's nulls: its list says so for that item.
  EXPECT_FALSE(leaf->bAcceptsNull(name));
}

TEST_F(ItemFilters, KeyFiltersReadTheCurrentRecord) {
  CAny v;
  v.SetI4(12);
  Set(u"id", v);
  v.SetPSTRW(u"x");
  Set(u"name", v);
  v.SetI4(3);
  Set(u"n", v);
  CNAKeyFilter f(keys);
  CNAError error;
  // A key with duplicates: the record is found by its identifying key, and
  // reading on goes through the identification order.
  ASSERT_TRUE(f.bSetKeyOfRecord(keys, fd->pclFindItemByName(u"name")->pclGetColumn(), false,
                                &error));
  EXPECT_EQ(Write(f), "`id`=12");
  f.bSwitchCondition(0);
  EXPECT_EQ(Write(f), "`name`>'x' OR `name`='x' AND `id`>12");
  // Reading on from another record: once told, the condition follows it
  // in the same direction.
  v.SetI4(13);
  Set(u"id", v);
  EXPECT_EQ(Write(f), "`name`>'x' OR `name`='x' AND `id`>12");
  f.SetChanged();
  EXPECT_EQ(Write(f), "`name`>'x' OR `name`='x' AND `id`>13");
  EXPECT_EQ(f.nGetState(), CNAKeyFilter::kStateDirection);
  v.SetI4(12);
  Set(u"id", v);
  // The composite key: its parts, then the identifying key.
  ASSERT_TRUE(f.bSetKeyOfRecord(keys, composite, false, &error));
  f.bSwitchCondition(1);
  // Nulls sort first: the nullable parts' nulls come before every value.
  EXPECT_EQ(Write(f),
            "(`name`<'x' OR `name` IS NULL) OR `name`='x' AND ((`n`<3 OR `n` IS NULL) OR "
            "`n`=3 AND `id`<12 )");
  // A null part: nulls sort first on MariaDB.
  CAny null;
  null.SetType(qg::kAnyI4);
  null.SetNull(true);
  Set(u"n", null);
  ASSERT_TRUE(f.bSetKeyOfRecord(keys, composite, false, &error));
  f.bSwitchCondition(0);
  EXPECT_EQ(Write(f),
            "`name`>'x' OR `name`='x' AND (`n` IS NOT NULL OR `n` IS NULL AND `id`>12 )");

  // Straight from the file description (names as they are: it has no
  // connection).
  CNAKeyFilter g;
  ASSERT_TRUE(g.bSetKeyOfRecord(fd, fd->pclFindItemByName(u"id")->pclGetColumn(), true, &error));
  CNAKeyTable* table = g.pclGetTable();
  EXPECT_EQ(Write(g), "id=12");
  ASSERT_TRUE(g.bSetKeyOfRecord(fd, fd->pclFindItemByName(u"id")->pclGetColumn(), true, &error));
  EXPECT_EQ(g.pclGetTable(), table);

  // From key bytes: the packed composite key ("x", 7).
  std::string bytes("x\0\0\0\0\0\0\0", 8);
  const int32_t seven = 7;
  bytes.append(reinterpret_cast<const char*>(&seven), 4);
  ASSERT_TRUE(f.bSetKeyValue(keys, composite, reinterpret_cast<const uint8_t*>(bytes.data()),
                             bytes.size(), true, &error));
  EXPECT_EQ(Write(f), "`name`='x' AND `n`=7");
}

TEST_F(ItemFilters, ItemListsOfARecord) {
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  gen->bAppend(u"SELECT ");
  ASSERT_TRUE(gen->bAppendItems(*fd, nullptr));
  // The composite key has no column of its own.
  EXPECT_EQ(N(gen->pszGetStatementText()), "SELECT `id`,`name`,`n`");
  EXPECT_EQ(gen->nGetSelectCount(), 3);
}

TEST_F(ItemFilters, CopiesReadTheCopiedDescription) {
  CAny v;
  v.SetI4(12);
  Set(u"id", v);
  CNARefPtr<CNAKeyFilter> f(NAAddRef(new CNAKeyFilter(keys)));
  CNAError error;
  ASSERT_TRUE(f->bSetKeyOfRecord(keys, fd->pclFindItemByName(u"id")->pclGetColumn(), true, &error));
  CNACopyContext context;
  CNARefPtr<CNAFileDescription> copy(NAAddRef(fd->pclClone(&context, &error)));
  ASSERT_TRUE(copy);
  CNARefPtr<CNAKeyFilter> g(f->pclClone(&context));
  ASSERT_TRUE(g);
  auto* table = dynamic_cast<CNAFileKeyTable*>(g->pclGetTable());
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->pclGetDescription(), copy.Get());
  // The copy's record moves on; the copied filter follows it, not the source.
  v.SetI4(40);
  ASSERT_TRUE(copy->pclFindItemByName(u"id")->bWriteValue(v, 0, &error));
  g->SetChanged();
  EXPECT_EQ(Write(*g.Get()), "`id`=40");
  f->SetChanged();
  EXPECT_EQ(Write(*f.Get()), "`id`=12");
}

}  // namespace
