#include "host/core/parsed_query.h"

#include <gtest/gtest.h>

#include <string>

#include "support/any.h"

namespace {

using qghost::ParseQuery;
using qghost::ParseSchema;

struct Held {
  explicit Held(qg::IParsedQuery* q) : p(q) {}
  ~Held() {
    if (p != nullptr) p->Release();
  }
  qg::IParsedQuery* p;
  qg::IParsedQuery* operator->() const { return p; }
};

std::u16string Slice(qg::IParsedQuery* q, int32_t start, int32_t end) {
  return std::u16string(q->pszGetText() + start, q->pszGetText() + end);
}
std::u16string Slice(qg::IParsedQuery* q, qg::ParseRange r) { return Slice(q, r.nStart, r.nEnd); }

TEST(ParsedQuery, SelectClausesSourcesColumnsAndOrder) {
  ParseSchema schema;
  schema.AddTable(u"client", {{u"id", qg::kKeyPrimary}, {u"name", 0}});
  const std::u16string text =
      u"SELECT c.id, UPPER(c.name) AS n, o.total FROM client c LEFT JOIN orders AS o "
      u"ON o.client = c.id WHERE o.total > 10 AND c.name LIKE 'A\\_%' ESCAPE '!' "
      u"GROUP BY c.id HAVING COUNT(*) > 1 ORDER BY n DESC, 1, o.total LIMIT 5, 10";
  Held q(ParseQuery(text, &schema));
  ASSERT_NE(q.p, nullptr);
  EXPECT_EQ(q->nGetKind(), qg::kQuerySelect);
  EXPECT_EQ(Slice(q.p, q->GetClause(qg::kClauseSelectList)),
            u"c.id, UPPER(c.name) AS n, o.total");
  EXPECT_EQ(Slice(q.p, q->GetClause(qg::kClauseWhere)),
            u"o.total > 10 AND c.name LIKE 'A\\_%' ESCAPE '!'");
  EXPECT_EQ(Slice(q.p, q->GetClause(qg::kClauseGroupBy)), u"c.id");
  EXPECT_EQ(Slice(q.p, q->GetClause(qg::kClauseHaving)), u"COUNT(*) > 1");
  EXPECT_EQ(Slice(q.p, q->GetClause(qg::kClauseOrderBy)), u"ORDER BY n DESC, 1, o.total");
  EXPECT_EQ(Slice(q.p, q->GetClause(qg::kClauseLimit)), u"LIMIT 5, 10");

  ASSERT_EQ(q->nGetSourceCount(), 2);
  const qg::ParseSource* c = q->pGetSource(0);
  EXPECT_EQ(std::u16string(c->pszName), u"client");
  EXPECT_EQ(std::u16string(c->pszAlias), u"c");
  const qg::ParseSource* o = q->pGetSource(1);
  ASSERT_NE(o->pJoinCondition, nullptr);
  EXPECT_EQ(o->pJoinCondition->nKind, qg::kNodeEqual);
  EXPECT_EQ(Slice(q.p, o->nAliasStart, o->nAliasEnd), u"o");

  ASSERT_EQ(q->nGetColumnCount(), 3);
  EXPECT_FALSE(q->pGetColumn(0)->bComputed);
  EXPECT_EQ(q->pGetColumn(0)->nKeyFlags, qg::kKeyPrimary);
  EXPECT_EQ(q->pGetColumn(0)->nSource, 0);
  const qg::ParseColumn* upper = q->pGetColumn(1);
  EXPECT_TRUE(upper->bComputed);
  EXPECT_EQ(upper->pExpression->nKind, qg::kNodeFunction);
  EXPECT_EQ(upper->pExpression->nFunction, qg::kFunctionUpper);
  EXPECT_EQ(q->pGetColumn(2)->nSource, 1);

  const qg::ParseNode* where = q->pGetCondition(qg::kClauseWhere);
  ASSERT_EQ(where->nKind, qg::kNodeAnd);
  const qg::ParseNode* like = where->ppOperands[1];
  EXPECT_EQ(like->nKind, qg::kNodeLike);
  EXPECT_EQ(like->cEscape, u'!');
  const qg::ParseNode* pattern = like->ppOperands[1];
  ASSERT_EQ(pattern->nKind, qg::kNodeValue);
  const char16_t* value = nullptr;
  ASSERT_EQ(pattern->pValue->nGetPSTRW(&value), 0);
  EXPECT_EQ(std::u16string(value), u"A\\_%");  // MariaDB keeps \_ as written

  ASSERT_EQ(q->nGetOrderCount(), 3);
  EXPECT_EQ(q->pGetOrderItem(0)->nForm, 3);
  EXPECT_EQ(q->pGetOrderItem(0)->nColumn, 1);
  EXPECT_EQ(q->pGetOrderItem(0)->nDirection, 2);
  EXPECT_EQ(q->pGetOrderItem(1)->nForm, 2);
  EXPECT_EQ(q->pGetOrderItem(1)->nColumn, 0);
  EXPECT_EQ(q->pGetOrderItem(2)->nForm, 1);
  EXPECT_EQ(q->pGetOrderItem(2)->nColumn, 2);
  EXPECT_EQ(q->nGetTailPosition(0), static_cast<int32_t>(text.size()));
}

TEST(ParsedQuery, SubqueriesShareTheTextAndLiveWithTheirParent) {
  int32_t before = qghost::nLiveParsedQueries();
  {
    const std::u16string text =
        u"SELECT * FROM (SELECT a FROM t WHERE a IN (SELECT b FROM u)) AS s WHERE EXISTS "
        u"(SELECT 1 FROM v)";
    Held q(ParseQuery(text));
    ASSERT_NE(q.p, nullptr);
    qg::IParsedQuery* sub = q->pGetSource(0)->piSubquery;
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->pszGetText(), q->pszGetText());
    EXPECT_EQ(Slice(sub, sub->GetClause(qg::kClauseWhere)), u"a IN (SELECT b FROM u)");
    const qg::ParseNode* in = sub->pGetCondition(qg::kClauseWhere);
    ASSERT_EQ(in->nKind, qg::kNodeIn);
    EXPECT_EQ(in->ppOperands[1]->nKind, qg::kNodeSubquery);
    sub->AddRef();
    EXPECT_EQ(qghost::nLiveParsedQueries() - before, 4);
    q.p->Release();
    q.p = nullptr;
    EXPECT_EQ(Slice(sub, sub->GetClause(qg::kClauseSelectList)), u"a");  // still alive
    sub->Release();
  }
  EXPECT_EQ(qghost::nLiveParsedQueries(), before);
}

TEST(ParsedQuery, WritesAndEmbeddedNames) {
  Held ins(ParseQuery(u"INSERT INTO t (a, b) VALUES (1, 'x''y')"));
  ASSERT_NE(ins.p, nullptr);
  EXPECT_EQ(ins->nGetKind(), qg::kQueryInsert);
  ASSERT_EQ(ins->nGetWrittenCount(), 2);
  ASSERT_EQ(ins->nGetAssignmentCount(), 2);
  const char16_t* text = nullptr;
  ASSERT_EQ(ins->pGetAssignment(1)->pValue->pValue->nGetPSTRW(&text), 0);
  EXPECT_EQ(std::u16string(text), u"x'y");

  Held sel(ParseQuery(u"INSERT INTO t (a) SELECT b FROM u"));
  ASSERT_NE(sel.p, nullptr);
  ASSERT_NE(sel->piGetInsertSelect(), nullptr);
  EXPECT_EQ(sel->piGetInsertSelect()->nGetKind(), qg::kQuerySelect);

  Held upd(ParseQuery(u"UPDATE t SET a = a + 1, b = NULL WHERE {k} = {'v'} ORDER BY a LIMIT 3"));
  ASSERT_NE(upd.p, nullptr);
  EXPECT_EQ(upd->nGetKind(), qg::kQueryUpdate);
  EXPECT_EQ(upd->nGetAssignmentCount(), 2);
  EXPECT_TRUE(upd->pGetAssignment(1)->pValue->pValue->bEstNull());
  ASSERT_EQ(upd->nGetEmbeddedCount(), 2);
  EXPECT_FALSE(upd->pGetEmbedded(0)->bValue);
  EXPECT_EQ(std::u16string(upd->pGetEmbedded(0)->pszName), u"k");
  EXPECT_TRUE(upd->pGetEmbedded(1)->bValue);

  Held del(ParseQuery(u"delete from t where a is not null"));
  ASSERT_NE(del.p, nullptr);
  EXPECT_EQ(del->nGetKind(), qg::kQueryDelete);
  EXPECT_EQ(del->pGetCondition(qg::kClauseWhere)->nKind, qg::kNodeIsNotNull);
}

TEST(ParsedQuery, LiteralsCommentsAndRefusals) {
  // Keywords inside literals, quoted names and comments are not clauses.
  Held q(ParseQuery(u"SELECT `order by`, 'WHERE x' /* LIMIT 1 */ FROM t -- ORDER BY a\n"
                    u"# GROUP BY b\nWHERE a = \"LIMIT\""));
  ASSERT_NE(q.p, nullptr);
  EXPECT_EQ(q->nGetColumnCount(), 2);
  EXPECT_EQ(q->GetClause(qg::kClauseOrderBy).nStart, -1);
  EXPECT_EQ(q->GetClause(qg::kClauseLimit).nStart, -1);
  EXPECT_EQ(std::u16string(q->pGetColumn(0)->pszName), u"order by");

  std::string error;
  for (const char16_t* bad : {u"SELECT 'open", u"SELECT a FROM", u"DROP TABLE t", u"SELECT (a",
                              u"SELECT a FROM t WHERE", u"SELECT /* x"}) {
    error.clear();
    EXPECT_EQ(ParseQuery(bad, nullptr, &error), nullptr) << std::string(bad, bad + 5);
    EXPECT_FALSE(error.empty());
  }
  std::u16string deep = u"SELECT " + std::u16string(5000, u'(') + u"1" + std::u16string(5000, u')');
  EXPECT_EQ(ParseQuery(deep, nullptr, &error), nullptr);
}

TEST(ParsedQuery, StarExpandsFromTheSchema) {
  ParseSchema schema;
  schema.AddTable(u"T", {{u"a", qg::kKeyUnique, 8}, {u"b", 0, 14}});
  Held q(ParseQuery(u"SELECT * FROM t WHERE b = ''", &schema));
  ASSERT_NE(q.p, nullptr);
  ASSERT_EQ(q->nGetColumnCount(), 2);
  EXPECT_EQ(q->pGetColumn(0)->nStart, -1);
  EXPECT_EQ(q->pGetColumn(0)->nKeyFlags, qg::kKeyUnique);
  EXPECT_EQ(q->pGetColumn(1)->nColumnType, 14);
  EXPECT_EQ(q->pGetCondition(qg::kClauseWhere)->ppOperands[0]->nColumnType, 14);
  char16_t out[16];
  EXPECT_EQ(q->nResolveName(u"T", out, 16), 1);
}

}  // namespace
