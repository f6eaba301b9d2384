#include "driver/sql/key_filter.h"
#include "driver/sql/key_range_filter.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/error_status.h"
#include "driver/sql/column.h"
#include "driver/sql/sql_generator.h"
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

// A table of columns written by their names, with a current record.
class Table : public CNAKeyTable {
 public:
  bool bDescribe(const CNAColumn& column, NAFilterColumn* out) override {
    if (column.pszGetName() == nullptr || std::u16string(column.pszGetName()) == u"ghost") {
      return false;
    }
    out->pItem = reinterpret_cast<const CNAItem*>(&column);
    out->strSql = u"`" + std::u16string(column.pszGetName()) + u"`";
    out->nColumnType = column.nGetType();
    out->nVeliscType = column.nGetValueClass();
    out->bNullable = column.bIsNullable();
    return true;
  }
  bool bReadCurrentValue(const CNAColumn& column, CAny* out, CNAError*) override {
    auto it = current.find(column.pszGetName());
    if (it == current.end()) {
      out->SetNull(true);
    } else {
      *out = it->second;
    }
    return true;
  }
  bool bHasValue(const CNAColumn& column) override {
    return current.count(column.pszGetName()) != 0;
  }
  const CNAColumn* pclGetIdentifyingKey(CNAError*) override { return id; }
  std::vector<const CNAColumn*> KeyOrder() override { return order; }
  bool bPrefixIsUnique(const CNAColumn* const*, int) override { return false; }

  std::map<std::u16string, CAny> current;
  const CNAColumn* id = nullptr;
  std::vector<const CNAColumn*> order;
};

class KeyFilters : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
    qg::Services().pfnFinConversion = &qghost::FinConversion;
    connection = NAAddRef(new KindFive);
    table = NAAddRef(new Table);
  }
  void TearDown() override {
    ReleaseBoth(table);
    for (CNAColumn* c : held) ReleaseBoth(c);
    ReleaseBoth(connection);
    qg::Services().pfnConversion = nullptr;
    qg::Services().pfnFinConversion = nullptr;
    qg::StringHostTest::TearDown();
  }
  CNAColumn* Col(const char16_t* name, int type, int size, uint16_t key_flags = 0,
                 bool nullable = false) {
    CNAColumn* c = NAAddRef(new CNAColumn);
    c->Init(name, u"t", name, 1, size, type, 0, key_flags != 0 ? 1 : -1, key_flags, 0, 0);
    c->SetNullable(nullable);
    held.push_back(c);
    return c;
  }
  CNAColumn* Key(const char16_t* name, uint16_t flags, std::initializer_list<CNAColumn*> parts) {
    CNAColumn* k = Col(name, 2, 0, static_cast<uint16_t>(flags | kNAKeyComposite));
    for (CNAColumn* p : parts) k->AddPart(p);
    return k;
  }
  // What the filter writes (dialect text), or "(nothing)".
  std::string Apply(CNAKeyFilter& f, const CNAFilterRef* extra = nullptr) {
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    gen->bAppend(u"stale");
    CNAError error;
    EXPECT_TRUE(f.bApply(*gen.Get(), extra, {}, &error));
    if (gen->nGetStatementLength() == 0) return "(nothing)";
    const char16_t* d = gen->pszGetDialectText(&error);
    return d != nullptr ? N(d) : "(error)";
  }
  static std::string Bytes(std::initializer_list<std::string> pieces) {
    std::string out;
    for (const std::string& p : pieces) out += p;
    return out;
  }
  static const uint8_t* U(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
  }
  static std::string I4(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
  static std::string Text(const std::string& t, size_t size) {
    std::string out = t;
    out.resize(size, '\0');
    return out;
  }

  KindFive* connection = nullptr;
  Table* table = nullptr;
  std::vector<CNAColumn*> held;
};

TEST_F(KeyFilters, KeyValueTreesAndSwitching) {
  CNAColumn* key = Key(u"k", kNAKeyUnique, {Col(u"a", 5, 4), Col(u"b", 2, 8)});
  const std::string value = Bytes({I4(7), Text("ab", 7)});
  CNAKeyFilter f(table);
  CNAError error;
  ASSERT_TRUE(f.bSetKeyValue(table, key, U(value), value.size(), true, &error));
  EXPECT_EQ(f.nGetState(), CNAKeyFilter::kStateEquality);
  EXPECT_TRUE(f.bMarkNodes());
  EXPECT_EQ(Apply(f), "`a`=7 AND `b`='ab'");
  EXPECT_TRUE(f.bMustSwitch(0));
  EXPECT_TRUE(f.bMustSwitch(1));

  ASSERT_TRUE(f.bSwitchCondition(0));
  EXPECT_EQ(f.nGetState(), CNAKeyFilter::kStateDirection);
  EXPECT_FALSE(f.bMustSwitch(0));
  EXPECT_TRUE(f.bMustSwitch(1));
  EXPECT_EQ(Apply(f), "`a`>7 OR `a`=7 AND `b`>'ab'");
  // Writing leaves the tree as built: a second write is the same.
  EXPECT_EQ(Apply(f), "`a`>7 OR `a`=7 AND `b`>'ab'");
  ASSERT_TRUE(f.bSwitchCondition(1));  // back to the equality
  EXPECT_EQ(f.nGetState(), CNAKeyFilter::kStateEquality);
  ASSERT_TRUE(f.bSwitchCondition(1));
  EXPECT_EQ(Apply(f), "`a`<7 OR `a`=7 AND `b`<'ab'");

  // With the table access object's own filter.
  CAny three;
  three.SetI4(3);
  CNARefPtr<CNAFilter> own(CNAFilter::pclNewLeaf(
      kNAFilterEqual, NAFilterColumn{nullptr, u"`c`", 5, qg::kAnyI4, false}, three, 0));
  CNAFilterRef ref;
  ref.Set(own.Get());
  EXPECT_EQ(Apply(f, &ref), "(`a`<7 OR `a`=7 AND `b`<'ab' ) AND `c`=3");
  CNAFilterRef inactive;
  EXPECT_EQ(Apply(f, &inactive), "`a`<7 OR `a`=7 AND `b`<'ab'");
}

TEST_F(KeyFilters, StartOfKeyPartialAndHighMarkers) {
  CNAColumn* a = Col(u"a", 5, 4);
  CNAColumn* b = Col(u"b", 2, 8);
  CNAColumn* key = Key(u"k", kNAKeyDuplicates, {a, b});
  CNAKeyFilter f(table);
  CNAError error;
  // A text given in part, start-of-key: a prefix.
  std::string value = Bytes({I4(7), "ab"});
  ASSERT_TRUE(f.bSetKeyValue(table, key, U(value), value.size(), false, &error));
  EXPECT_NE(f.nGetMode() & CNAKeyFilter::kModePartial, 0u);
  EXPECT_EQ(Apply(f), "`a`=7 AND `b` LIKE 'ab%'");
  f.bSwitchCondition(0);
  EXPECT_EQ(Apply(f), "`a`>7 OR `a`=7 AND (`b`>'ab' AND `b` NOT LIKE 'ab%' )");
  f.bSwitchCondition(0);
  f.bSwitchCondition(1);
  EXPECT_EQ(Apply(f), "`a`<7 OR `a`=7 AND `b`<'ab'");

  // An exact key whose text ends in the highest marker stands for every
  // text beginning with "ab": backward reads take them all.
  value = Bytes({I4(7), "ab", std::string(5, '\xFF')});
  ASSERT_TRUE(f.bSetKeyValue(table, key, U(value), value.size(), true, &error));
  EXPECT_EQ(Apply(f), "`a`=7 AND `b` LIKE 'ab%'");
  f.bSwitchCondition(1);
  EXPECT_EQ(Apply(f), "`a`<7 OR `a`=7 AND (`b`<'ab' OR `b` LIKE 'ab%' )");

  // A key cut inside the integer part: no usable part, no condition.
  value = I4(7).substr(0, 2);
  ASSERT_TRUE(f.bSetKeyValue(table, key, U(value), value.size(), true, &error));
  EXPECT_EQ(f.nGetState(), CNAKeyFilter::kStateNone);
  EXPECT_FALSE(f.bMustSwitch(0));
  EXPECT_EQ(Apply(f), "(nothing)");

  // A malformed value (a length prefix beyond its part) gives no condition.
  CNAColumn* bin = Key(u"kb", kNAKeyUnique, {Col(u"v", 23, 6)});
  value = std::string("\x09\x00" "abcd", 6);
  ASSERT_TRUE(f.bSetKeyValue(table, bin, U(value), value.size(), true, &error));
  EXPECT_EQ(f.nGetState(), CNAKeyFilter::kStateNone);
}

TEST_F(KeyFilters, LowAndHighPartialKeys) {
  CNAColumn* key = Key(u"k", kNAKeyUnique, {Col(u"a", 5, 4), Col(u"b", 5, 4)});
  CNAKeyFilter f(table);
  CNAError error;
  // (7, lowest): forward reads from the first key of 7 on.
  std::string value = Bytes({I4(7), std::string(1, '\0')});
  ASSERT_TRUE(f.bSetKeyValue(table, key, U(value), value.size(), true, &error));
  f.bSwitchCondition(0);
  EXPECT_EQ(Apply(f), "`a`>7 OR `a`=7 AND `b`>-2147483648");
  // (7, highest): backward reads from the last key of 7 down.
  value = Bytes({I4(7), std::string(2, '\xFF')});
  ASSERT_TRUE(f.bSetKeyValue(table, key, U(value), value.size(), true, &error));
  f.bSwitchCondition(1);
  EXPECT_EQ(Apply(f), "`a`<7 OR `a`=7 AND `b`<2147483647");
}

TEST_F(KeyFilters, RecordModeIdentifiesTheRecord) {
  CNAColumn* id = Col(u"id", 5, 4, kNAKeyPrimary);
  CNAColumn* name = Col(u"name", 2, 9, kNAKeyDuplicates, true);
  CNAColumn* ghost = Col(u"ghost", 5, 4, kNAKeyUnique);
  table->id = id;
  table->order = {name, id};
  table->current[u"id"].SetI4(12);
  table->current[u"name"].SetDSTRW(u"x");
  CNAKeyFilter f(table);
  CNAError error;
  // A key with duplicates: the equality finds the record by its identifying
  // key, the directions go on through it.
  ASSERT_TRUE(f.bSetKeyOfRecord(table, name, false, &error));
  EXPECT_EQ(f.nGetMode(), 10u);
  EXPECT_FALSE(f.bMarkNodes());
  EXPECT_EQ(Apply(f), "`id`=12");
  f.bSwitchCondition(0);
  EXPECT_EQ(Apply(f), "`name`>'x' OR `name`='x' AND `id`>12");
  // A null value: nulls sort first, so after it come the other nulls with a
  // greater identifier, then every value.
  table->current.erase(u"name");
  ASSERT_TRUE(f.bSetKeyOfRecord(table, name, false, &error));
  f.bSwitchCondition(1);
  EXPECT_EQ(Apply(f), "`name` IS NULL AND `id`<12");
  f.bSwitchCondition(1);
  f.bSwitchCondition(0);
  EXPECT_EQ(Apply(f), "`name` IS NOT NULL OR `name` IS NULL AND `id`>12");

  // A unique key without a value in the record identifies nothing (it may
  // hold several nulls): the identifying key takes over as for duplicates.
  CNAColumn* code = Col(u"code", 5, 4, kNAKeyUnique, true);
  table->order = {id};
  ASSERT_TRUE(f.bSetKeyOfRecord(table, code, false, &error));
  EXPECT_EQ(Apply(f), "`id`=12");
  f.bSwitchCondition(0);
  EXPECT_EQ(Apply(f), "`code` IS NOT NULL OR `code` IS NULL AND `id`>12");
  table->current[u"code"].SetI4(4);
  ASSERT_TRUE(f.bSetKeyOfRecord(table, code, false, &error));
  EXPECT_EQ(Apply(f), "`code`=4");
  f.bSwitchCondition(0);
  EXPECT_EQ(Apply(f), "`code`>4");
  table->order = {name, id};

  // Exact: equality only.
  ASSERT_TRUE(f.bSetKeyOfRecord(table, id, true, &error));
  EXPECT_EQ(f.nGetMode(), 26u);
  EXPECT_EQ(Apply(f), "`id`=12");
  EXPECT_EQ(f.pclGetForward(), nullptr);
  // A key the table has no item for finds the record by its identifying
  // key; without one there is no condition.
  ASSERT_TRUE(f.bSetKeyOfRecord(table, ghost, true, &error));
  EXPECT_EQ(Apply(f), "`id`=12");
  table->id = nullptr;
  ASSERT_TRUE(f.bSetKeyOfRecord(table, ghost, true, &error));
  EXPECT_EQ(f.nGetState(), CNAKeyFilter::kStateNone);
}

TEST_F(KeyFilters, DescendingPartsAndCopies) {
  CNAColumn* b = Col(u"b", 5, 4);
  b->SetDirection(true);
  CNAColumn* key = Key(u"k", kNAKeyUnique, {Col(u"a", 5, 4), b});
  const std::string value = Bytes({I4(1), I4(2)});
  CNARefPtr<CNAKeyFilter> f(NAAddRef(new CNAKeyFilter(table)));
  CNAError error;
  ASSERT_TRUE(f->bSetKeyValue(table, key, U(value), value.size(), true, &error));
  f->bSwitchCondition(0);
  EXPECT_EQ(Apply(*f.Get()), "`a`>1 OR `a`=1 AND `b`<2");

  CNACopyContext context;
  CNARefPtr<CNAKeyFilter> copy(f->pclClone(&context));
  ASSERT_TRUE(copy);
  f.ReleaseHeld();  // the copy stands alone
  EXPECT_EQ(copy->nGetState(), CNAKeyFilter::kStateDirection);
  EXPECT_EQ(Apply(*copy.Get()), "`a`>1 OR `a`=1 AND `b`<2");
  copy->bSwitchCondition(0);
  EXPECT_EQ(Apply(*copy.Get()), "`a`=1 AND `b`=2");
}

TEST_F(KeyFilters, KeyRanges) {
  CNAColumn* a = Col(u"a", 5, 4);
  const std::string ten = I4(10), twenty = I4(20);
  struct Case {
    bool low, high, low_inclusive, high_inclusive, exact, descending;
    const char* text;
  };
  const Case cases[] = {
      {true, true, true, true, false, false, "`a`>=10 AND `a`<=20"},
      {true, true, false, false, false, false, "`a`>10 AND `a`<20"},
      {true, false, true, true, false, false, "`a`>=10"},
      {true, false, true, true, true, false, "`a`=10"},
      {false, true, true, false, false, false, "`a`<20"},
      {false, false, true, true, false, false, "(nothing)"},
      // Descending: the bounds change places and the comparisons turn round.
      // The values 10 <= a < 20 all the same.
      {true, true, true, false, false, true, "`a`<20 AND `a`>=10"},
      {true, true, true, true, true, true, "`a`<=20 AND `a`>=10"},
  };
  for (const Case& c : cases) {
    a->SetDirection(c.descending);
    CNARefPtr<CNAKeyRangeFilter> f(NAAddRef(new CNAKeyRangeFilter(table)));
    CNAError error;
    NAKeyBound low, high;
    if (c.low) low = {U(ten), 4, c.low_inclusive};
    if (c.high) high = {U(twenty), 4, c.high_inclusive};
    ASSERT_TRUE(f->bSetRange(table, a, low, high, nullptr, c.exact ? 8u : 0u, &error));
    EXPECT_EQ(Apply(*f.Get()), c.text) << c.low << c.high << c.low_inclusive << c.high_inclusive
                                       << c.exact << c.descending;
  }
  a->SetDirection(false);

  // Equal bounds: an equality; a condition of the caller's joins the range.
  CNARefPtr<CNAKeyRangeFilter> f(NAAddRef(new CNAKeyRangeFilter(table)));
  CNAError error;
  CNARefPtr<CNAFilter> cond(CNAFilter::pclNewConstant(true));
  ASSERT_TRUE(f->bSetRange(table, a, {U(ten), 4, true}, {U(ten), 4, true}, cond.Get(), 0, &error));
  EXPECT_EQ(Apply(*f.Get()), "`a`=10");
  EXPECT_TRUE(f->bIsActive());

  // A two-part key: each bound is continued over the parts.
  CNAColumn* key = Key(u"k", kNAKeyUnique, {Col(u"x", 5, 4), Col(u"y", 2, 4)});
  const std::string lo = Bytes({I4(1), Text("b", 3)}), hi = Bytes({I4(3), "c"});
  ASSERT_TRUE(f->bSetRange(table, key, {U(lo), lo.size(), true}, {U(hi), hi.size(), false},
                           nullptr, 0, &error));
  EXPECT_EQ(Apply(*f.Get()),
            "(`x`>1 OR `x`=1 AND `y`>='b' ) AND (`x`<3 OR `x`=3 AND `y`<'c' )");

  // Copies compare equal until the key images differ; off drops the range.
  CNACopyContext context;
  CNARefPtr<CNAKeyRangeFilter> copy(static_cast<CNAKeyRangeFilter*>(f->pclClone(&context)));
  ASSERT_TRUE(copy);
  EXPECT_TRUE(copy->bIsEqual(*f.Get()));
  CNARefPtr<CNAKeyImage> image(NAAddRef(new CNAKeyImage));
  image->codes = {{1, 2}};
  f->SetKeyImage(image.Get());
  EXPECT_FALSE(copy->bIsEqual(*f.Get()));
  CNARefPtr<CNAKeyRangeFilter> shared(static_cast<CNAKeyRangeFilter*>(f->pclCopyShared(nullptr)));
  EXPECT_EQ(shared->pclGetKeyImage(), image.Get());
  EXPECT_TRUE(shared->bIsEqual(*f.Get()));
  f->SetActive(false);
  EXPECT_FALSE(f->bIsActive());
  EXPECT_EQ(Apply(*f.Get()), "(nothing)");
  EXPECT_FALSE(shared->bIsEqual(*f.Get()));
}

}  // namespace
