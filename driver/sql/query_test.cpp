#include "driver/sql/query.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/sql/testing/kind_five_connection.h"
#include "host/core/driver_objects.h"
#include "host/core/parsed_query.h"

namespace {

CNAQuery* Describe(const std::u16string& text, const qghost::ParseSchema* schema = nullptr,
                   bool classify = true) {
  std::string error;
  qg::IParsedQuery* parsed = qghost::ParseQuery(text, schema, &error);
  EXPECT_NE(parsed, nullptr) << error;
  CNAQuery* q = NAAddRef(new CNAQuery(parsed, classify));
  parsed->Release();  // the description holds its own reference
  return q;
}

qghost::ParseSchema Schema() {
  qghost::ParseSchema s;
  s.AddTable(u"t", {{u"id", qg::kKeyPrimary}, {u"code", qg::kKeyUnique}, {u"ix", qg::kKeyIndexed},
                    {u"pair", qg::kKeyPrimary | qg::kKeyComposite}, {u"v", 0}});
  return s;
}

TEST(Query, BestColumnsKindsAndIterators) {
  qghost::ParseSchema schema = Schema();
  CNARefPtr<CNAQuery> q(Describe(u"SELECT v, ix, code FROM t", &schema));
  EXPECT_EQ(q->nGetKind(), CNAQuery::kKindSelect);
  EXPECT_TRUE(q->bIsSelect());
  EXPECT_EQ(q->pclGetUniqueColumn(), q->pclGetColumn(2));
  EXPECT_EQ(q->pclGetIndexedColumn(), q->pclGetColumn(2));  // a unique column is indexed too
  EXPECT_EQ(q->pclGetPrimaryColumn(), nullptr);
  EXPECT_EQ(q->pclGetMainColumn(), q->pclGetColumn(2));

  CNARefPtr<CNAQuery> pk(Describe(u"SELECT pair, id, v FROM t ORDER BY v", &schema));
  EXPECT_EQ(pk->pclGetPrimaryColumn(), pk->pclGetColumn(1));  // composite key ignored
  EXPECT_EQ(pk->pclGetMainColumn(), pk->pclGetColumn(2));    // first ORDER BY column
  EXPECT_TRUE(pk->bIsPrimaryColumn(pk->pclGetColumn(1)));
  EXPECT_FALSE(pk->bIsUniqueColumn(pk->pclGetColumn(0)));

  // Two tables: no best identifying column.
  CNARefPtr<CNAQuery> two(Describe(u"SELECT t.id, u.x FROM t, u", &schema));
  EXPECT_EQ(two->pclGetPrimaryColumn(), nullptr);
  EXPECT_EQ(two->pclGetUniqueColumn(), nullptr);
  EXPECT_EQ(two->pclGetMainColumn(), two->pclGetColumn(0));
  // Nor does one table's key identify a row of the join.
  EXPECT_FALSE(two->bIsPrimaryColumn(two->pclGetColumn(0)));
  EXPECT_FALSE(two->bIsUniqueColumn(two->pclGetColumn(0)));

  // Iterators stay at the end until restarted.
  EXPECT_NE(q->pclNextColumn(true), nullptr);
  EXPECT_NE(q->pclNextColumn(false), nullptr);
  EXPECT_NE(q->pclNextColumn(false), nullptr);
  EXPECT_EQ(q->pclNextColumn(false), nullptr);
  EXPECT_EQ(q->pclNextColumn(false), nullptr);
  EXPECT_EQ(q->pclNextColumn(true), q->pclGetColumn(0));
  EXPECT_EQ(q->pclNextSource(false), q->piGetParsed()->pGetSource(0));
  EXPECT_EQ(q->pclNextSource(false), nullptr);

  CNARefPtr<CNAQuery> ins(Describe(u"insert into t (id, v) values (1, 2)", &schema));
  EXPECT_EQ(ins->nGetKind(), CNAQuery::kKindInsert);
  EXPECT_NE(ins->pclNextInsertParameter(true), nullptr);
  EXPECT_NE(ins->pclNextWritten(true), nullptr);
  EXPECT_EQ(ins->pclNextUpdateParameter(true), nullptr);
  EXPECT_FALSE(ins->bIsSelect());

  CNARefPtr<CNAQuery> clone(q->pclClone());
  EXPECT_EQ(clone->piGetParsed(), q->piGetParsed());
  EXPECT_EQ(clone->pclGetUniqueColumn(), q->pclGetUniqueColumn());
}

TEST(Query, AggregatesNamesAndOrderItems) {
  CNARefPtr<CNAQuery> q(Describe(
      u"SELECT a, 1 + SUM(b) AS total, UPPER(c) AS up FROM t x ORDER BY a, UPPER(c) DESC"));
  EXPECT_FALSE(q->bIsAggregateColumn(u"a"));
  EXPECT_TRUE(q->bIsAggregateColumn(u"TOTAL"));
  EXPECT_FALSE(q->bIsAggregateColumn(u"up"));
  EXPECT_EQ(q->pclFindColumn(u"Up"), q->pclGetColumn(2));
  EXPECT_EQ(q->pclFindColumn(u"none"), nullptr);
  EXPECT_TRUE(q->bIsSourceName(u"t"));
  EXPECT_FALSE(q->bIsSourceName(u"u"));
  std::u16string resolved;
  EXPECT_EQ(std::u16string(q->pszResolveName(u"x", &resolved)), u"t");
  EXPECT_EQ(q->pszResolveName(u"", &resolved), nullptr);
  EXPECT_EQ(q->pclFindOrderItem(0, u"A"), q->piGetParsed()->pGetOrderItem(0));
  EXPECT_EQ(q->pclFindOrderItem(-1, u"UPPER(c)"), q->piGetParsed()->pGetOrderItem(1));
  EXPECT_EQ(q->pclFindOrderItem(0, u"c"), nullptr);
}

TEST(Query, OptionExtraction) {
  struct Case {
    const char16_t* options;
    const char16_t* key;
    bool found;
    const char16_t* value;
    const char16_t* after;
  } cases[] = {
      {u"Mode=1;SSL Mode=2", u"Mode", true, u"1", u"SSL Mode=2"},
      {u"SSL Mode=2; mode=3 ;x=4", u"MODE", true, u"3 ", u"SSL Mode=2;x=4"},
      {u"SSL Mode=2", u"Mode", false, u"", u"SSL Mode=2"},
      {u"a=1;  b = x;c=3", u"b", true, u" x", u"a=1;c=3"},
      {u"a=1;b=2", u"b", true, u"2", u"a=1;"},
      {u"ab=1", u"a", false, u"", u"ab=1"},
      {u"", u"a", false, u"", u""},
  };
  for (const Case& c : cases) {
    std::u16string options = c.options;
    std::u16string value;
    EXPECT_EQ(bExtractOption(options, c.key, &value, true), c.found);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(options, c.after);
  }
  std::u16string keep = u"k=v";
  EXPECT_TRUE(bExtractOption(keep, u"k", nullptr, false));
  EXPECT_EQ(keep, u"k=v");
}

TEST(Query, PlainExpressionCodes) {
  const int zeros[] = {9, 26, 32, 33, 40, 41, 47, 48, 49, 58, 67, 73, 96, 104, 107, 109, 135,
                       149, 152, 154, 163, 169, 171, 188, 208, 209, 212, 213, 223, 228};
  for (int code = 0; code < 256; ++code) {
    bool expected = code >= 6 && code <= 234;
    for (int z : zeros) expected = expected && code != z;
    if ((code > 9 && code < 26) || (code > 104 && code < 107) || (code > 109 && code < 135) ||
        code == 153 || (code > 163 && code < 169)) {
      expected = false;
    }
    EXPECT_EQ(bIsPlainExpressionCode(code), expected) << code;
  }
  EXPECT_TRUE(bIsPlainExpressionCode(qg::kNodeFunction));
}

using qg::rig::KindFive;

TEST(Query, SelectTextsAsTheConnectionReadsThem) {
  CNARefPtr<KindFive> connection(NAAddRef(new KindFive));
  struct Case {
    const char16_t* text;
    bool select;
  } cases[] = {
      {u"SELECT 1", true},
      {u"  ((select a FROM t))", true},
      {u"/* note */ -- line\n# other\nSELECT a FROM t", true},
      {u"WITH x AS (SELECT 1 AS a) SELECT a FROM x", true},
      {u"WITH RECURSIVE `select` (n) AS (SELECT 1 UNION SELECT n + 1 FROM `select` WHERE n < 3) "
       u"SELECT n FROM `select`",
       true},
      {u"WITH x AS (SELECT 1 AS a) DELETE FROM t", false},
      {u"SET @a = (SELECT 1)", false},
      {u"'SELECT' ", false},
      {u"`SELECT`", false},
      {u"SELECTED", false},
      {u"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NAIsSelectText(connection.Get(), c.text, -1), c.select) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
  }
  // A parse that tells no kind is read by the connection, once.
  CNARefPtr<CNAQuery> set(Describe(u"SET @a = 1"));
  EXPECT_EQ(set->nGetKind(), CNAQuery::kKindNone);
  set->SetConnection(connection.Get());
  EXPECT_EQ(set->pclGetConnection(), connection.Get());
  EXPECT_FALSE(set->bIsSelect());
  CNARefPtr<CNAQuery> copy(set->pclClone());
  EXPECT_EQ(copy->pclGetConnection(), connection.Get());
}

TEST(Query, LinkedSourceSnapshotsAndSourceItems) {
  qghost::ParseSchema schema = Schema();
  std::string error;
  qg::IParsedQuery* parsed = qghost::ParseQuery(
      u"SELECT x.id AS k, v + 1 AS w, code FROM t x ORDER BY k", &schema, &error);
  ASSERT_NE(parsed, nullptr) << error;
  qghost::FileDescription linked(u"STORED", 1);
  CNARefPtr<CNAQuery> q(NAAddRef(new CNAQuery(parsed, &linked, true)));
  parsed->Release();
  EXPECT_EQ(std::u16string(q->pszGetLinkedName()), u"STORED");
  EXPECT_EQ(std::u16string(CNARefPtr<CNAQuery>(q->pclClone())->pszGetLinkedName()), u"STORED");

  // One snapshot per select-list column, in order, kept by value.
  std::vector<std::u16string> names;
  for (const NAColumnSnapshot* s = q->pclNextSnapshot(true); s != nullptr;
       s = q->pclNextSnapshot(false)) {
    names.push_back(s->strName + u"/" + s->strAlias + u"/" + s->strSource +
                    (s->bComputed ? u"/computed" : u""));
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"id/k/t", u"w/w//computed", u"code//t"}));
  EXPECT_EQ(q->pclNextSnapshot(false), nullptr);

  // The source item of a plain column, none for a computed one or a column
  // of another description.
  const NASourceItem* id = q->pclGetSourceItem(q->pclGetColumn(0));
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(id->pSource, q->piGetParsed()->pGetSource(0));
  EXPECT_EQ(std::u16string(id->pszName), u"id");
  EXPECT_NE(id->nKeyFlags & qg::kKeyPrimary, 0u);
  EXPECT_EQ(q->pclGetSourceItem(q->pclGetColumn(1)), nullptr);
  CNARefPtr<CNAQuery> other(Describe(u"SELECT id FROM t", &schema));
  EXPECT_EQ(q->pclGetSourceItem(other->pclGetColumn(0)), nullptr);
  EXPECT_FALSE(q->bIsPrimaryColumn(other->pclGetColumn(0)));
  EXPECT_TRUE(q->bIsUniqueColumn(q->pclGetColumn(2)));
  EXPECT_FALSE(q->bIsUniqueColumn(q->pclGetColumn(1)));
  // Without a link: no name.
  EXPECT_EQ(other->pszGetLinkedName(), nullptr);
}

TEST(Query, EmptyDescription) {
  CNARefPtr<CNAQuery> empty(NAAddRef(new CNAQuery(nullptr, true)));
  EXPECT_EQ(empty->nGetKind(), CNAQuery::kKindNone);
  EXPECT_EQ(empty->pclNextColumn(true), nullptr);
  EXPECT_FALSE(empty->bIsSelect());
}

}  // namespace
