#include "driver/sql/filter.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/sql/query.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/testing/kind_five_connection.h"
#include "host/core/calc_entries.h"
#include "host/core/parsed_query.h"
#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"

namespace {

std::string N(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) out += *p < 128 ? char(*p) : '?';
  return out;
}

// The kind-5 connection of SQL text tests, told whether NULLs sort first.
class FakeConnection : public qg::rig::KindFive {
 public:
  bool vb12() override { return null_first; }
  bool null_first = true;
};

// Stand-ins for item identities in null lists (never dereferenced).
const CNAItem* Item(int n) {
  static int anchors[8];
  return reinterpret_cast<const CNAItem*>(&anchors[n]);
}

class FilterWriting : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
    qg::Services().pfnFinConversion = &qghost::FinConversion;
    connection = NAAddRef(new FakeConnection);
  }
  void TearDown() override {
    ReleaseBoth(connection);
    qg::Services().pfnConversion = nullptr;
    qg::Services().pfnFinConversion = nullptr;
    qg::StringHostTest::TearDown();
  }

  // Columns: a INT (item 0), b INT (1), c INT (2), s VARCHAR (3), w
  // NVARCHAR (4), d DATE (5), f BOOLEAN (6).
  static NAFilterColumn Col(const char16_t* name) {
    NAFilterColumn c;
    c.strSql = std::u16string(u"`") + name + u"`";
    switch (name[0]) {
      case u'a': c.pItem = Item(0); c.nColumnType = 5; c.nVeliscType = qg::kAnyI4; break;
      case u'b': c.pItem = Item(1); c.nColumnType = 5; c.nVeliscType = qg::kAnyI4; break;
      case u'c': c.pItem = Item(2); c.nColumnType = 5; c.nVeliscType = qg::kAnyI4; break;
      case u's': c.pItem = Item(3); c.nColumnType = 2; c.nVeliscType = qg::kAnyDSTRA; break;
      case u'w': c.pItem = Item(4); c.nColumnType = 29; c.nVeliscType = qg::kAnyDSTRW; break;
      case u'd': c.pItem = Item(5); c.nColumnType = 14; c.nVeliscType = qg::kAnyDATEW; break;
      default: c.pItem = Item(6); c.nColumnType = 1; c.nVeliscType = qg::kAnyBOOL; break;
    }
    return c;
  }
  static CAny I(int v) {
    CAny a;
    a.SetI4(v);
    return a;
  }
  static CAny W(const char16_t* t) {
    CAny a;
    a.SetDSTRW(t);
    return a;
  }
  static CAny Null() {
    CAny a;
    a.SetI4(0);
    a.SetNull(true);
    return a;
  }
  static CNAFilter* Leaf(int op, const char16_t* col, const CAny& v, unsigned flags = 0) {
    return CNAFilter::pclNewLeaf(op, Col(col), v, flags);
  }
  // Takes the references of both children.
  static CNAFilter* Bin(int op, CNAFilter* l, CNAFilter* r) {
    CNAFilter* n = CNAFilter::pclNewBinary(op, l, r, 0);
    NARelease(l);
    NARelease(r);
    return n;
  }

  struct Written {
    std::string statement;
    std::string dialect;
    int markers = 0;
    bool folded = false;
  };
  // Writes the tree (one reference taken) and answers the texts.
  Written Write(CNAFilter* tree, NAFilterWriteOptions options = {}) {
    Written w;
    CNARefPtr<CNAFilter> held(tree);
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    CNAError error;
    EXPECT_TRUE(tree->bWrite(*gen.Get(), 0, options, &w.folded, &error));
    w.statement = N(gen->pszGetStatementText());
    w.markers = gen->nGetMarkerCount();
    w.dialect = N(gen->pszGetDialectText(&error));
    error_ = N(error.pszGetMessage());
    marker_text_.clear();
    marker_escape_ = 0;
    marker_flags_ = 0;
    if (w.markers > 0) {
      const NAMarker& m = gen->GetMarker(0);
      marker_text_ = FilterValueText(CNASQLGenerator::MarkerValue(m));
      marker_escape_ = CNASQLGenerator::cMarkerEscape(m);
      marker_flags_ = CNASQLGenerator::nMarkerFlags(m);
    }
    last_list_.Clear();
    if (tree->pclGetNullList() != nullptr) last_list_.bAppendList(tree->pclGetNullList(), false);
    return w;
  }

  FakeConnection* connection = nullptr;
  CNANameList last_list_;
  std::string error_;
  std::u16string marker_text_;
  char16_t marker_escape_ = 0;
  uint32_t marker_flags_ = 0;
};

TEST_F(FilterWriting, FoldingAndTakeback) {
  // AND with "1=1": the leaf alone.
  Written w = Write(Bin(kNAFilterAnd, Leaf(4, u"a", I(1)), CNAFilter::pclNewConstant(true)));
  EXPECT_EQ(w.dialect, "`a`=1");
  EXPECT_EQ(w.markers, 1);
  // OR whose right side folds to "1=1" after the leaf was written: the
  // leaf's text and marker are taken back.
  w = Write(Bin(kNAFilterOr, Leaf(4, u"a", I(1)),
                Bin(kNAFilterAnd, CNAFilter::pclNewConstant(true), CNAFilter::pclNewConstant(true))));
  EXPECT_EQ(w.statement, "1=1");
  EXPECT_EQ(w.markers, 0);
  EXPECT_TRUE(w.folded);
  // An AND that folds to "0=1" inside an OR leaves the OR's other side.
  w = Write(Bin(kNAFilterOr,
                Bin(kNAFilterAnd, Leaf(4, u"a", I(1)),
                    Bin(kNAFilterAnd, Leaf(4, u"b", I(2)), CNAFilter::pclNewConstant(false))),
                Leaf(4, u"c", I(3))));
  EXPECT_EQ(w.dialect, "`c`=3");
  EXPECT_EQ(w.markers, 1);
  EXPECT_FALSE(w.folded);
  // A left side that folds to the neutral constant leaves the right side
  // alone, without a dangling operator.
  w = Write(Bin(kNAFilterAnd, Bin(kNAFilterOr, Leaf(7, u"s", W(u"")), Leaf(4, u"a", I(1))),
                Leaf(4, u"b", I(2))));
  EXPECT_EQ(w.dialect, "`b`=2");
  // NOT of a folded child folds to the opposite constant.
  w = Write(Bin(kNAFilterNot, CNAFilter::pclNewConstant(false), nullptr));
  EXPECT_EQ(w.statement, "1=1");
}

TEST_F(FilterWriting, Parentheses) {
  Written w = Write(Bin(kNAFilterAnd, Bin(kNAFilterOr, Leaf(4, u"a", I(1)), Leaf(4, u"b", I(2))),
                        Leaf(4, u"c", I(3))));
  EXPECT_EQ(w.dialect, "(`a`=1 OR `b`=2 ) AND `c`=3");
  w = Write(Bin(kNAFilterOr, Bin(kNAFilterAnd, Leaf(4, u"a", I(1)), Leaf(4, u"b", I(2))),
                Leaf(4, u"c", I(3))));
  EXPECT_EQ(w.dialect, "`a`=1 AND `b`=2 OR `c`=3");
  w = Write(Bin(kNAFilterNot, Leaf(12, u"a", I(1)), nullptr));
  EXPECT_EQ(w.dialect, " NOT (`a`<>1 )");
  EXPECT_EQ(last_list_.nGetFlag(Item(0)), 1);  // the leaf rejects nulls; NOT lets them pass
}

TEST_F(FilterWriting, LeavesKnownInAdvance) {
  CAny yes;
  yes.SetBOOL(1);
  EXPECT_EQ(Write(Leaf(5, u"f", yes)).statement, "0=1");
  EXPECT_EQ(Write(Leaf(7, u"s", W(u""))).statement, "1=1");
  EXPECT_TRUE(Write(Leaf(7, u"w", W(u""))).folded);
}

TEST_F(FilterWriting, NullValues) {
  struct Case { int op; bool null_first; const char* text; int flag; };
  const Case cases[] = {
      {4, true, "`a` IS NULL", 1},       {13, true, "`a` IS NULL", 1},
      {12, true, "`a` IS NOT NULL", 0},  {14, true, "`a` IS NOT NULL", 0},
      {5, true, "`a` IS NOT NULL", 0},   {5, false, "0=1", -1},
      {6, true, "0=1", -1},              {6, false, "`a` IS NOT NULL", 0},
      {7, true, "1=1", -1},              {7, false, "`a` IS NULL", 1},
      {8, false, "1=1", -1},             {8, true, "`a` IS NULL", 1},
  };
  for (const Case& c : cases) {
    connection->null_first = c.null_first;
    Written w = Write(Leaf(c.op, u"a", Null()));
    EXPECT_EQ(w.statement, c.text) << c.op << " " << c.null_first;
    EXPECT_EQ(w.markers, 0);
    if (c.flag >= 0) {
      EXPECT_EQ(last_list_.nFind(Item(0)) >= 0 ? last_list_.nGetFlag(Item(0)) : -1, c.flag) << c.op;
    }
  }
  // Empty texts count as null under the sort object's flag.
  NAFilterWriteOptions options;
  options.bEmptyAsNull = true;
  EXPECT_EQ(Write(Leaf(4, u"w", W(u"")), options).statement, "`w` IS NULL");
}

TEST_F(FilterWriting, TextLeaves) {
  // Empty 8-bit text under the prefix flag: a fixed pattern, no value.
  Written w = Write(Leaf(4, u"s", W(u""), kNAFilterPrefix));
  EXPECT_EQ(w.statement, "`s` LIKE '%%'");
  EXPECT_EQ(w.markers, 0);
  EXPECT_EQ(Write(Leaf(12, u"s", W(u""))).statement, "`s`<>''");
  // The UTF-16 column goes through a marker.
  w = Write(Leaf(4, u"w", W(u""), kNAFilterPrefix));
  EXPECT_EQ(w.statement, "`w` LIKE ");
  EXPECT_EQ(w.markers, 1);
  EXPECT_EQ(w.dialect, "`w` LIKE '%'");
  // Every pattern character of the value matches only itself; the
  // pattern's escape character travels with its marker (the back end
  // writes the literal and the ESCAPE clause for its sql_mode).
  w = Write(Leaf(4, u"w", W(u"a%b_c\\"), kNAFilterPrefix));
  EXPECT_EQ(w.statement, "`w` LIKE ");
  EXPECT_EQ(marker_text_, u"a\\%b\\_c\\\\%");
  EXPECT_EQ(marker_escape_, u'\\');
  EXPECT_NE(marker_flags_ & CNASQLGenerator::kMarkerPattern, 0u);
  w = Write(Leaf(12, u"w", W(u"x"), kNAFilterPrefix));
  EXPECT_EQ(w.dialect, "`w` NOT LIKE 'x%'");
  // Without the prefix flag a plain comparison.
  EXPECT_EQ(Write(Leaf(5, u"w", W(u"it's"))).dialect, "`w`>'it''s'");
}

TEST_F(FilterWriting, PartialDates) {
  Written w = Write(Leaf(4, u"d", W(u"20240229"), kNAFilterPrefix));
  EXPECT_EQ(w.statement, "`d`=");
  EXPECT_EQ(w.markers, 1);
  w = Write(Leaf(4, u"d", W(u"202402"), kNAFilterPrefix));
  EXPECT_EQ(w.statement, "`d`>= AND `d`<");
  EXPECT_EQ(w.markers, 2);
  EXPECT_NE(w.dialect.find("2024-02-01"), std::string::npos) << w.dialect;
  EXPECT_NE(w.dialect.find("2024-03-01"), std::string::npos) << w.dialect;
  w = Write(Leaf(12, u"d", W(u"2024"), kNAFilterPrefix));
  EXPECT_EQ(w.statement, "(`d`< OR `d`>=)");
  EXPECT_EQ(w.markers, 2);
}

TEST_F(FilterWriting, NullInclusiveLeaves) {
  connection->null_first = true;
  EXPECT_EQ(Write(Leaf(6, u"a", I(5))).dialect, "(`a`<5 OR `a` IS NULL)");
  EXPECT_EQ(last_list_.nGetFlag(Item(0)), 1);
  EXPECT_EQ(Write(Leaf(5, u"a", I(5))).dialect, "`a`>5");
  EXPECT_EQ(last_list_.nGetFlag(Item(0)), 0);
  connection->null_first = false;
  EXPECT_EQ(Write(Leaf(7, u"a", I(5))).dialect, "(`a`>=5 OR `a` IS NULL)");
  NAFilterColumn not_null = Col(u"a");
  not_null.bNullable = false;
  EXPECT_EQ(Write(CNAFilter::pclNewLeaf(7, not_null, I(5), 0)).dialect, "`a`>=5");
}

TEST_F(FilterWriting, NullListsCombine) {
  Write(Bin(kNAFilterAnd, Leaf(4, u"a", I(1)), Leaf(13, u"b", Null())));
  EXPECT_EQ(last_list_.nGetFlag(Item(0)), 0);
  EXPECT_EQ(last_list_.nGetFlag(Item(1)), 1);
  // Under OR a column only one side constrains lets nulls through.
  Write(Bin(kNAFilterOr, Leaf(4, u"a", I(1)), Leaf(4, u"b", I(2))));
  EXPECT_EQ(last_list_.nGetFlag(Item(0)), 1);
}

TEST_F(FilterWriting, CopiesAndReferences) {
  CNARefPtr<CNAFilter> tree(Bin(kNAFilterAnd, Leaf(4, u"a", I(1)), Leaf(5, u"b", I(2))));
  CNARefPtr<CNAFilter> clone(tree->pclClone());
  CNARefPtr<CNAFilter> rebuilt(tree->pclRebuild());
  CNARefPtr<CNAFilter> other(Bin(kNAFilterAnd, Leaf(4, u"a", I(1)), Leaf(5, u"b", I(3))));
  EXPECT_TRUE(tree->bIsEqual(clone.Get()));
  EXPECT_TRUE(tree->bIsEqual(rebuilt.Get()));
  EXPECT_FALSE(tree->bIsEqual(other.Get()));
  EXPECT_NE(clone->pclGetLeft(), tree->pclGetLeft());

  CNAFilterRef r1, r2, empty1, empty2;
  r1.Set(tree.Get());
  r2.Set(clone.Get());
  EXPECT_TRUE(r1.bIsActive());
  EXPECT_TRUE(r1.bIsEqual(r2));
  EXPECT_TRUE(empty1.bIsEqual(empty2));
  EXPECT_FALSE(r1.bIsEqual(empty1));
  empty1 = r1;
  EXPECT_TRUE(empty1.bIsEqual(r2));
}

TEST_F(FilterWriting, TextConditionsAreNotDropped) {
  CNARefPtr<CNAFilter> tree(CNAFilter::pclNewBinary(kNAFilterText, nullptr, nullptr, 0));
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  CNAError error;
  bool folded = false;
  EXPECT_FALSE(tree->bWrite(*gen.Get(), 0, {}, &folded, &error));
}

TEST_F(FilterWriting, TextConditions) {
  std::string why;
  qg::IParsedQuery* parsed =
      qghost::ParseQuery(u"SELECT * FROM t WHERE a = 5 OR `b c` LIKE 'x%' ORDER BY a", nullptr, &why);
  ASSERT_NE(parsed, nullptr) << why;
  CNARefPtr<CNAQuery> query(NAAddRef(new CNAQuery(parsed, false)));
  parsed->Release();
  // ANDed with a leaf: the condition in parentheses, names quoted, values
  // as markers; the rest of the query's text is not written.
  CNAFilter* text = CNAFilter::pclNewTextCondition(query.Get());
  Written w = Write(Bin(kNAFilterAnd, Leaf(4, u"n", I(1)), text));
  EXPECT_EQ(w.statement, "`n`= AND (`a` =  OR `b c` LIKE )");
  EXPECT_EQ(w.markers, 3);
  EXPECT_EQ(w.dialect, "`n`=1 AND (`a` = 5 OR `b c` LIKE 'x%' )");
  // The nulls of its columns are not known to the list.
  EXPECT_EQ(last_list_.nGetCount(), 1);

  // Copies and rebuilt trees keep the text; equal texts compare equal.
  CNARefPtr<CNAFilter> node(CNAFilter::pclNewTextCondition(query.Get()));
  CNARefPtr<CNAFilter> copy(node->pclClone());
  CNARefPtr<CNAFilter> rebuilt(node->pclRebuild());
  EXPECT_EQ(copy->pclGetTextCondition(), query.Get());
  EXPECT_TRUE(rebuilt->bIsEqual(node.Get()));
  EXPECT_EQ(Write(NAAddRef(rebuilt.Get())).dialect, "(`a` = 5 OR `b c` LIKE 'x%' )");

  // A query without a WHERE condition cannot stand for one.
  parsed = qghost::ParseQuery(u"SELECT * FROM t", nullptr, &why);
  CNARefPtr<CNAQuery> bare(NAAddRef(new CNAQuery(parsed, false)));
  parsed->Release();
  CNARefPtr<CNAFilter> empty(CNAFilter::pclNewTextCondition(bare.Get()));
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  CNAError error;
  bool folded = false;
  EXPECT_FALSE(empty->bWrite(*gen.Get(), 0, {}, &folded, &error));
  EXPECT_FALSE(empty->bIsEqual(node.Get()));
}

}  // namespace
