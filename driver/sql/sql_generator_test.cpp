#include "driver/sql/sql_generator.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/error_status.h"
#include "driver/core/manager.h"
#include "driver/sql/column.h"
#include "driver/sql/descriptor.h"
#include "driver/sql/item.h"
#include "driver/sql/select_expression.h"
#include "driver/sql/value_converter.h"
#include "driver/sql/query.h"
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

// The shared kind-5 connection, with a NULL order and lock text to set.
class FakeConnection : public qg::rig::KindFive {
 public:
  using qg::rig::KindFive::KindFive;
  bool vb12() override { return null_first; }
  const char16_t* pszGetRecordLockText() override { return lock.c_str(); }
  bool null_first = true;
  std::u16string lock;
};

class Generation : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    // Values convert to text through the stand-in host.
    qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
    qg::Services().pfnFinConversion = &qghost::FinConversion;
    schema.AddTable(u"t", {{u"id", qg::kKeyPrimary, 8},
                           {u"u", qg::kKeyUnique, 8},
                           {u"a", 0, 8},
                           {u"b", 0, 2},
                           {u"d", 0, 14}});
    connection = NAAddRef(new FakeConnection);
  }
  void TearDown() override {
    ReleaseBoth(connection);
    qg::Services().pfnConversion = nullptr;
    qg::Services().pfnFinConversion = nullptr;
    qg::StringHostTest::TearDown();
  }

  CNAQuery* Describe(const char16_t* text) {
    std::string error;
    qg::IParsedQuery* parsed = qghost::ParseQuery(text, &schema, &error);
    EXPECT_NE(parsed, nullptr) << error;
    if (parsed == nullptr) return nullptr;
    CNAQuery* q = NAAddRef(new CNAQuery(parsed, true));
    parsed->Release();
    return q;
  }

  // The statement and dialect texts of a regenerated query.
  std::pair<std::string, std::string> Generate(const char16_t* text, const char16_t* extra = nullptr,
                                               bool keepOrder = true, int options = 0) {
    CNARefPtr<CNAQuery> q(Describe(text));
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    CNARefPtr<CNASQLGenerator> cond(NAAddRef(new CNASQLGenerator(connection)));
    if (extra != nullptr) cond->bAppend(extra);
    CNAError error;
    EXPECT_TRUE(gen->bGenerate(q.Get(), extra != nullptr ? cond.Get() : nullptr, keepOrder, options,
                               &error));
    const char16_t* dialect = gen->pszGetDialectText(&error);
    return {N(gen->pszGetStatementText()), N(dialect)};
  }

  qghost::ParseSchema schema;
  FakeConnection* connection = nullptr;
};

TEST_F(Generation, WhereMerges) {
  struct Case {
    const char16_t* text;
    const char16_t* extra;
    const char* dialect;
  } cases[] = {
      {u"SELECT a FROM t", u"x=1", "SELECT `a` FROM `t` WHERE x=1 "},
      {u"SELECT a FROM t GROUP BY a", u"x=1", "SELECT `a` FROM `t` WHERE x=1  GROUP BY `a`"},
      {u"SELECT a FROM t ORDER BY a", u"x=1", "SELECT `a` FROM `t` WHERE x=1  ORDER BY `a`"},
      {u"SELECT a FROM t HAVING a > 1", u"x=1", "SELECT `a` FROM `t` WHERE x=1  HAVING `a` > 1"},
      {u"SELECT a FROM t LIMIT 5", u"x=1", "SELECT `a` FROM `t` WHERE x=1  LIMIT 5"},
      {u"SELECT a FROM t FOR UPDATE", u"x=1", "SELECT `a` FROM `t` WHERE x=1  FOR UPDATE"},
      {u"SELECT a FROM t;", u"x=1", "SELECT `a` FROM `t` WHERE x=1 ;"},
      {u"SELECT a FROM t WHERE a=1 OR b='z'", u"x=1",
       "SELECT `a` FROM `t` WHERE (`a`=1 OR `b`='z' ) AND (x=1)"},
      {u"SELECT a FROM t WHERE b='GROUP BY a'", u"x=1",
       "SELECT `a` FROM `t` WHERE (`b`='GROUP BY a' ) AND (x=1)"},
      {u"SELECT a FROM t -- GROUP BY a\n", u"x=1", "SELECT `a` FROM `t` WHERE x=1  -- GROUP BY a\n"},
      {u"SELECT a FROM t -- c\nGROUP BY a", u"x=1",
       "SELECT `a` FROM `t` WHERE x=1  -- c\nGROUP BY `a`"},
      {u"SELECT a FROM t   ORDER BY a", u"x=1", "SELECT `a` FROM `t` WHERE x=1    ORDER BY `a`"},
      {u"SELECT a FROM (SELECT a FROM t GROUP BY a) s", u"x=1",
       "SELECT `a` FROM (SELECT `a` FROM `t` GROUP BY `a`) `s` WHERE x=1 "},
      {u"SELECT a FROM t WHERE a=1", nullptr, "SELECT `a` FROM `t` WHERE `a`=1"},
      {u"SELECT a FROM t WHERE a IN (SELECT b FROM u WHERE c=1)", u"x=1",
       "SELECT `a` FROM `t` WHERE (`a` IN (SELECT `b` FROM `u` WHERE `c`=1 )) AND (x=1)"},
      {u"SELECT a FROM (SELECT a FROM t WHERE a=2) s", u"x=1",
       "SELECT `a` FROM (SELECT `a` FROM `t` WHERE `a`=2 ) `s` WHERE x=1 "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Generate(c.text, c.extra).second, c.dialect) << N(c.text);
  }
}

TEST_F(Generation, SelectListSourcesAndAliases) {
  struct Case {
    const char16_t* text;
    const char* dialect;
  } cases[] = {
      {u"SELECT * FROM t", "SELECT `id`,`u`,`a`,`b`,`d` FROM `t`"},
      {u"select a AS x, b y, UPPER(b) AS up FROM t AS tt",
       "select `a` AS `x`, `b` y, UPPER(`b`) AS `up` FROM `t` AS `tt`"},
      {u"SELECT t.a, o.z FROM t JOIN o ON o.id = t.id",
       "SELECT `t`.`a`, `o`.`z` FROM `t` JOIN `o` ON `o`.`id` = `t`.`id`"},
      {u"SELECT COUNT(*) FROM t WHERE a IN (1, 2)", "SELECT COUNT(*) FROM `t` WHERE `a` IN (1 , 2 )"},
      {u"INSERT INTO t (a, b) VALUES (1, 'x')", "INSERT INTO `t` (`a`, `b`) VALUES (1 , 'x' )"},
      {u"UPDATE t SET a = a + 1, b = 'y' WHERE id = 3",
       "UPDATE `t` SET `a` = `a` + 1 , `b` = 'y' WHERE `id` = 3"},
      {u"DELETE FROM t WHERE {a} = {'v'}", "DELETE FROM `t` WHERE `a` = 'v'"},
      {u"SELECT a FROM t WHERE b = _utf8'x'", "SELECT `a` FROM `t` WHERE `b` = 'x'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Generate(c.text).second, c.dialect) << N(c.text);
  }

  CNARefPtr<CNAQuery> q(Describe(u"SELECT * FROM t"));
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  gen->SetExtraSelectText(u"k");
  ASSERT_TRUE(gen->bGenerate(q.Get(), nullptr, true, 0, nullptr));
  EXPECT_EQ(N(gen->pszGetStatementText()), "SELECT `id`,`u`,`a`,`b`,`d`,k FROM `t`");

  connection->lock = u"FOR UPDATE";
  EXPECT_EQ(Generate(u"SELECT a FROM t x WHERE a=1").second,
            "SELECT `a` FROM `t` `x` FOR UPDATE WHERE `a`=1");
}

TEST_F(Generation, OrderByKeptDroppedAndReversed) {
  EXPECT_EQ(Generate(u"SELECT a, b FROM t ORDER BY a, b DESC LIMIT 3", nullptr, false).second,
            "SELECT `a`, `b` FROM `t` LIMIT 3");
  struct Case {
    const char16_t* text;
    bool keep;
    const char* order;
  } cases[] = {
      {u"SELECT a, b FROM t ORDER BY a, b DESC", false, "ORDER BY `a` DESC, `b` ASC"},
      {u"SELECT a, b FROM t ORDER BY a ASC, b", false, "ORDER BY `a` DESC, `b` DESC"},
      {u"SELECT a, b FROM t order by a\n,\tb\n", false, "order by `a` DESC\n,\t`b` DESC"},
      {u"SELECT a, b FROM t ORDER BY a\tdesc, 2", false, "ORDER BY `a` ASC,  2  DESC"},
      {u"SELECT a, b FROM t ORDER BY a, b DESC", true, "ORDER BY `a`, `b` DESC"},
      {u"SELECT a, id, b FROM t ORDER BY a, id, b", false, "ORDER BY `a` DESC, `id` DESC"},
      {u"SELECT a, u, b FROM t ORDER BY u, b", false, "ORDER BY `u` DESC, `b` DESC"},
      // In a join one table's key repeats: the order goes on after it.
      {u"SELECT x.id, y.a FROM t x, t y ORDER BY x.id, y.a", true,
       "ORDER BY `x`.`id`, `y`.`a`"},
  };
  for (const Case& c : cases) {
    CNARefPtr<CNAQuery> q(Describe(c.text));
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    ASSERT_TRUE(gen->bGenerate(q.Get(), nullptr, false, 0, nullptr));
    size_t head = gen->nGetStatementLength();
    int stopped = -2;
    ASSERT_TRUE(gen->bAppendOrderBy(c.keep, &stopped, nullptr));
    EXPECT_EQ(N(gen->pszGetStatementText() + head), c.order) << N(c.text);
  }
}

TEST_F(Generation, NullComparisonsOfDateColumns) {
  // Six operators under both null orders; the column stays in front of the
  // null tests and is taken back for the constant ones.
  const char16_t* ops[] = {u"=", u"<>", u"<", u"<=", u">", u">="};
  const char* first[] = {"`d` IS NULL ", "`d` IS NOT NULL ", " 0=1 ", "`d` IS NULL ",
                         "`d` IS NOT NULL ", " 1=1 "};
  const char* last[] = {"`d` IS NULL ", "`d` IS NOT NULL ", "`d` IS NOT NULL ", " 1=1 ",
                        " 0=1 ", "`d` IS NULL "};
  for (int nullFirst = 0; nullFirst < 2; ++nullFirst) {
    connection->null_first = nullFirst == 1;
    for (int i = 0; i < 6; ++i) {
      for (const char16_t* empty : {u"''", u"NULL"}) {
        std::u16string text = u"SELECT a FROM t WHERE d " + std::u16string(ops[i]) + u" " + empty;
        std::string expected = std::string("SELECT `a` FROM `t` WHERE ") + (nullFirst ? first : last)[i];
        EXPECT_EQ(Generate(text.c_str()).second, expected) << N(text.c_str());
      }
    }
  }
  // A text column compares normally.
  EXPECT_EQ(Generate(u"SELECT a FROM t WHERE b = ''").second, "SELECT `a` FROM `t` WHERE `b` = ''");
}

TEST_F(Generation, AppendBufferCountAndKinds) {
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  gen->bAppend(u"SELECT ");
  gen->bAppendCount();
  EXPECT_EQ(N(gen->pszGetStatementText()), "SELECT COUNT(*) AS QGACCESNATIF_NBENR");
  gen->Reset(false);
  gen->bAppend(u"SELECT ");
  ASSERT_TRUE(gen->bAppendColumnName(u"a", nullptr));
  gen->bAppendCount();
  EXPECT_EQ(N(gen->pszGetStatementText()), "SELECT `a`,COUNT(*) AS QGACCESNATIF_NBENR");

  struct Kind {
    int query;
    int statement;
  } kinds[] = {{0, 8}, {1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 6}, {7, 9}, {12, 11}, {99, 8}};
  for (const Kind& k : kinds) {
    gen->SetStatementKind(k.query);
    EXPECT_EQ(gen->nGetStatementKind(), k.statement) << k.query;
  }

  // Pass-through: a single SET assignment is kind 10.
  // (The stand-in parser reads only the four statement kinds, so the SET
  // test itself is covered by the scanner's tests.)
  CNARefPtr<CNAQuery> q(Describe(u"SELECT a FROM t WHERE a = {'v'} ORDER BY a"));
  CNARefPtr<CNASQLGenerator> pass(NAAddRef(new CNASQLGenerator(connection)));
  ASSERT_TRUE(pass->bGenerate(q.Get(), nullptr, false, 1, nullptr));
  EXPECT_EQ(N(pass->pszGetDialectText()), "SELECT a FROM t WHERE a = 'v'");

  // Truncation drops the markers past the new end.
  CNARefPtr<CNASQLGenerator> m(NAAddRef(new CNASQLGenerator(connection)));
  CAny one;
  one.SetI4(1);
  m->bAppend(u"a=");
  m->bAddMarker(one, 0, CNASQLGenerator::kMarkerValue, 9);
  m->bAppend(u" AND b=");
  m->bAddMarker(one, 0, CNASQLGenerator::kMarkerValue, 9);
  m->TruncateTo(3);
  EXPECT_EQ(m->nGetMarkerCount(), 1);
  m->SetRowLimit(10);
  m->SetRowOffset(20);
  EXPECT_EQ(N(m->pszGetDialectText()), "a=1 ");
}

TEST_F(Generation, FunctionNamesAndArgumentsOfOtherKinds) {
  struct Case {
    int kind;
    const char16_t* text;
    const char* dialect;
  } cases[] = {
      {11, u"SELECT LTRIM(b) FROM t", "SELECT TRIM(LEADING FROM `b`) FROM `t`"},
      {11, u"SELECT rtrim( b ) FROM t", "SELECT TRIM( TRAILING FROM `b` ) FROM `t`"},
      {1, u"SELECT LEFT(b, 2) FROM t", "SELECT SUBSTR(b,1, 2 ) FROM t"},
      {6, u"SELECT RIGHT(b, 3) FROM t", "SELECT SUBSTRING(`b`,-(3), 3 ) FROM `t`"},
      // A constant count is written as its number, not as spelled.
      {13, u"SELECT RIGHT(b, 003) FROM t", "SELECT SUBSTR(`b`,-(3), 3 ) FROM `t`"},
      // A count that is no constant is written twice, quoted both times.
      {11, u"SELECT RIGHT(b, a) FROM t", "SELECT SUBSTR(`b`,-(`a`), `a`) FROM `t`"},
      {11, u"SELECT RIGHT(b, `order` + 1) FROM t",
       "SELECT SUBSTR(`b`,-(`order` + 1), `order` + 1 ) FROM `t`"},
      {7, u"SELECT UCASE(b), SUBSTRING(b, 1, 2) FROM t",
       "SELECT UCASE(`b`), SYSIBM.SUBSTR(`b`, 1 , 2 ) FROM `t`"},
      {5, u"SELECT LTRIM(b), LEFT(b, 2) FROM t", "SELECT LTRIM(`b`), LEFT(`b`, 2 ) FROM `t`"},
  };
  for (const Case& c : cases) {
    connection->m_nDbmsKind = c.kind;
    EXPECT_EQ(Generate(c.text).second, c.dialect) << c.kind;
  }
  connection->m_nDbmsKind = 5;
}

TEST_F(Generation, PassThroughSetAndQueryTail) {
  CNARefPtr<CNAQuery> set(Describe(u"SET @x = 1 ;"));
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  ASSERT_TRUE(gen->bGenerate(set.Get(), nullptr, false, 4, nullptr));
  EXPECT_EQ(gen->nGetStatementKind(), CNASQLGenerator::kStatementSet);
  EXPECT_EQ(N(gen->pszGetDialectText()), "SET @x = 1 ;");

  CNARefPtr<CNAQuery> q(Describe(u"SELECT a FROM t WHERE a = 1 GROUP BY a ORDER BY a"));
  CNARefPtr<CNASQLGenerator> tail(NAAddRef(new CNASQLGenerator(connection)));
  ASSERT_TRUE(tail->bGenerate(q.Get(), nullptr, false, 0, nullptr));
  tail->bAppend(u" (");
  tail->bAppendQueryTail();
  // The query's ORDER BY is the generator's to write: the tail leaves it
  // out (written twice, the server refuses the text).
  EXPECT_EQ(N(tail->pszGetStatementText()), "SELECT `a` FROM `t` WHERE `a` =  GROUP BY `a` (");
}

TEST_F(Generation, CloneCopiesTextsMarkersAndConnection) {
  CNARefPtr<CNAQuery> q(Describe(u"SELECT a FROM t WHERE a = 7 AND b = 'x'"));
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  ASSERT_TRUE(gen->bGenerate(q.Get(), nullptr, true, 0, nullptr));
  gen->SetRowLimit(3);
  CNACopyContext context;
  CNARefPtr<CNASQLGenerator> copy(gen->pclClone(&context));
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->pclGetConnection(), connection);
  // Each marker through its own copy.
  EXPECT_NE(&copy->GetMarker(0), &gen->GetMarker(0));
  EXPECT_EQ(context.pFindCopy(gen.Get()), copy.Get());
  EXPECT_EQ(copy->nGetMarkerCount(), 2);
  EXPECT_EQ(copy->nGetRowLimit(), 3);
  EXPECT_EQ(N(copy->pszGetDialectText()), N(gen->pszGetDialectText()));
  EXPECT_EQ(N(copy->pszGetDialectText()), "SELECT `a` FROM `t` WHERE `a` = 7 AND `b` = 'x' LIMIT 3");
}

// Markers are descriptors made by the driver manager's factory, each its own:
// a generator appended to another leaves its markers where they were.
class DescriptorCounter : public CNAManager {
 public:
  CNADescriptor* pclNewDescriptorObject() override {
    ++made;
    return new (std::nothrow) CNADescriptor();
  }
  int made = 0;
};

TEST_F(Generation, MarkersAreTheManagersDescriptors) {
  auto* manager = new DescriptorCounter();
  manager->AddRef();
  CNAManager* previous = NAGetManager();
  NASetManager(manager);
  {
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    CAny pattern;
    pattern.SetPSTRW(u"a!%");
    gen->bAppend(u"a LIKE ");
    ASSERT_TRUE(gen->bAddMarker(pattern, u'!', CNASQLGenerator::kMarkerValue |
                                                   CNASQLGenerator::kMarkerPattern,
                                qg::kNodeLike));
    EXPECT_EQ(manager->made, 1);
    const NAMarker& m = gen->GetMarker(0);
    EXPECT_EQ(m.nGetPosition(), 7);
    EXPECT_EQ(m.nGetEscape(), u'!');
    EXPECT_EQ(CNASQLGenerator::nMarkerFlags(m),
              CNASQLGenerator::kMarkerValue | CNASQLGenerator::kMarkerPattern);
    EXPECT_EQ(m.nGetSecond(), qg::kNodeLike);
    EXPECT_EQ(m.pclGetConnection(), connection);
    CXYString<char16_t> text;
    const_cast<CAny&>(CNASQLGenerator::MarkerValue(m)).nGetTexte(&text);
    EXPECT_EQ(N(text.pszGet()), "a!%");

    CNARefPtr<CNASQLGenerator> outer(NAAddRef(new CNASQLGenerator(connection)));
    outer->bAppend(u"b = 1 AND ");
    ASSERT_TRUE(outer->bAppendGenerator(*gen.Get(), 0));
    EXPECT_EQ(manager->made, 2);
    EXPECT_NE(&outer->GetMarker(0), &m);
    EXPECT_EQ(outer->GetMarker(0).nGetPosition(), 17);
    EXPECT_EQ(m.nGetPosition(), 7);
    EXPECT_EQ(N(outer->pszGetDialectText()), "b = 1 AND a LIKE 'a!%' ESCAPE '!'");
  }
  NASetManager(previous);
  manager->Release();
}

TEST_F(Generation, RowLimitsAndRefusals) {
  CNARefPtr<CNAQuery> q(Describe(u"SELECT a FROM t WHERE a > 5"));
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  ASSERT_TRUE(gen->bGenerate(q.Get(), nullptr, true, 0, nullptr));
  gen->SetRowLimit(10);
  gen->SetRowOffset(3000000000LL);
  EXPECT_EQ(N(gen->pszGetDialectText()), "SELECT `a` FROM `t` WHERE `a` > 5 LIMIT 3000000000, 10");
}

}  // namespace

namespace {

TEST_F(Generation, ValuesComparedWithDateColumns) {
  schema.AddTable(u"v", {{u"d", 0, 14}, {u"tm", 0, 11}, {u"dt", 0, 24}, {u"s", 0, 2}});
  struct Case {
    const char16_t* text;
    const char* dialect;
  } cases[] = {
      // A partial date stands for its first date; complete ones stay.
      {u"SELECT s FROM v WHERE d = '202402'", "SELECT `s` FROM `v` WHERE `d` = '20240201'"},
      {u"SELECT s FROM v WHERE d <> '2024'", "SELECT `s` FROM `v` WHERE `d` <> '20240101'"},
      {u"SELECT s FROM v WHERE d = '20240229'", "SELECT `s` FROM `v` WHERE `d` = '20240229'"},
      // Only equality binds that way.
      {u"SELECT s FROM v WHERE d >= '2024'", "SELECT `s` FROM `v` WHERE `d` >= '2024'"},
      {u"SELECT s FROM v WHERE tm = '14'", "SELECT `s` FROM `v` WHERE `tm` = '140000'"},
      {u"SELECT s FROM v WHERE dt = '20240229'",
       "SELECT `s` FROM `v` WHERE `dt` = '20240229000000000'"},
      // Not a date: left alone; a text column is no date.
      {u"SELECT s FROM v WHERE d = '2x'", "SELECT `s` FROM `v` WHERE `d` = '2x'"},
      {u"SELECT s FROM v WHERE s = '2024'", "SELECT `s` FROM `v` WHERE `s` = '2024'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Generate(c.text).second, c.dialect) << N(c.text);
  }
}

TEST_F(Generation, MarkersForbiddenInSelects) {
  CNARefPtr<CNAQuery> q(Describe(u"SELECT a FROM t WHERE a = 5"));
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  EXPECT_EQ(gen->nGetOptionBits(), CNASQLGenerator::kOptionBitKind5);
  EXPECT_TRUE(gen->bCanUseMarker(qg::kQuerySelect, 1));
  gen->SetOptionBits(gen->nGetOptionBits() | CNASQLGenerator::kOptionNoSelectMarkers);
  EXPECT_FALSE(gen->bCanUseMarker(qg::kQuerySelect, 1));
  EXPECT_TRUE(gen->bCanUseMarker(qg::kQuerySelect, 0));
  EXPECT_TRUE(gen->bCanUseMarker(qg::kQueryUpdate, 1));
  CNAError error;
  ASSERT_TRUE(gen->bGenerate(q.Get(), nullptr, true, 0, &error));
  EXPECT_EQ(gen->nGetMarkerCount(), 0);
  EXPECT_EQ(N(gen->pszGetDialectText(&error)), "SELECT `a` FROM `t` WHERE `a` = 5");
  gen->SetParametersAllowed(false);
  EXPECT_FALSE(gen->bCanUseMarker(qg::kQueryUpdate, 0));
}

TEST_F(Generation, TypedColumns) {
  // MariaDB compares its date and time columns as they are.
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  std::u16string out;
  ASSERT_TRUE(gen->bRenderColumnName(u"`tm`", 11, qg::kNodeLess, &out, nullptr));
  EXPECT_EQ(N(out.c_str()), "`tm`");
  // A kind-11 connection whose times compare as text: ordered comparisons
  // of a time column go through its time expression; null tests never.
  class TimesAsText : public FakeConnection {
   public:
    TimesAsText() : FakeConnection(11) {}
    bool vb10() override { return true; }
  };
  CNARefPtr<CNAConnection> eleven(NAAddRef(new TimesAsText));
  CNARefPtr<CNASQLGenerator> g11(NAAddRef(new CNASQLGenerator(eleven.Get())));
  EXPECT_EQ(g11->nNeedsTypedColumn(qg::kNodeLess, 11, 0), 2);
  EXPECT_EQ(g11->nNeedsTypedColumn(qg::kNodeEqual, 11, 0), 0);
  EXPECT_EQ(g11->nNeedsTypedColumn(33, 11, 0), 0);
  EXPECT_EQ(g11->nNeedsTypedColumn(qg::kNodeLess, 14, 0), 0);
  ASSERT_TRUE(g11->bRenderColumnName(u"tm", 11, qg::kNodeGreaterEqual, &out, nullptr));
  EXPECT_NE(out, u"tm");
  EXPECT_NE(out.find(u"tm"), std::u16string::npos);
}

}  // namespace

namespace {

TEST_F(Generation, KindOneFunctionForms) {
  ReleaseBoth(connection);
  connection = NAAddRef(new FakeConnection(1));
  struct Case {
    const char16_t* text;
    const char* dialect;
  } cases[] = {
      // Kind 1 writes names as they are and texts as national literals.
      {u"SELECT CONCAT(a, b) FROM t", "SELECT (a|| b) FROM t"},
      {u"SELECT CONCAT(a, b, 'x') FROM t", "SELECT (a|| b)||( N'x' ) FROM t"},
      {u"SELECT LOCATE('x', b) FROM t", "SELECT INSTR(b , N'x' ) FROM t"},
      {u"SELECT POSITION('x' IN b) FROM t", "SELECT POSITION(b FROM N'x' ) FROM t"},
      {u"SELECT SUBSTRING(b FROM 2 FOR 3) FROM t", "SELECT SUBSTR(b , 2 , 3 ) FROM t"},
      {u"SELECT SUBSTRING(b FROM 2) FROM t", "SELECT SUBSTR(b , 2 ) FROM t"},
      {u"SELECT RIGHT(b, 3) FROM t", "SELECT SUBSTR(b,-LEAST(LENGTH(b),3),3) FROM t"},
      {u"SELECT RIGHT(b, a) FROM t", "SELECT SUBSTR(b,-LEAST(LENGTH(b),a), GREATEST(0, a)) FROM t"},
      {u"SELECT RIGHT(b, -2) FROM t",
       "SELECT SUBSTR(b,-LEAST(LENGTH(b),-2), GREATEST(0, -2 )) FROM t"},
      {u"SELECT LEFT(b, 2) FROM t", "SELECT SUBSTR(b,1, 2 ) FROM t"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Generate(c.text).second, c.dialect) << N(c.text);
  }
  // MariaDB keeps them as written.
  ReleaseBoth(connection);
  connection = NAAddRef(new FakeConnection(5));
  EXPECT_EQ(Generate(u"SELECT CONCAT(a, b), LOCATE('x', b), SUBSTRING(b FROM 2 FOR 3) FROM t").second,
            "SELECT CONCAT(`a`, `b`), LOCATE('x' , `b`), SUBSTRING(`b` FROM 2 FOR 3 ) FROM `t`");
}

}  // namespace

TEST_F(Generation, PatternsOfKindThreeAndTheirOwnEscapeClause) {
  // Kind 3 has wildcards of its own and no ESCAPE: the pattern is
  // translated and the statement's own clause left out.
  struct Case {
    int kind;
    char16_t escape;
    const char16_t* pattern;
    const char16_t* after;
    const char* dialect;
  } cases[] = {
      {3, 0, u"a\\%b_c*%", u" ESCAPE '\\' AND x=1", "b LIKE 'a%b?c[*]*' AND x=1"},
      {3, u'!', u"![x#?!_%", u" escape '!'", "b LIKE '[[]x[#][?]_*'"},
      {3, u'\'', u"''%", u" ESCAPE '''' AND y=2", "b LIKE '''*' AND y=2"},
      {3, 0, u"plain", u" AND x=1", "b LIKE 'plain' AND x=1"},
      {2, u'!', u"[a!%", u" AND x=1", "b LIKE N'[[]a!%' ESCAPE '!' AND x=1"},
      {2, u'!', u"a%", u" ESCAPE '!'", "b LIKE N'a%' ESCAPE '!'"},
  };
  for (const Case& c : cases) {
    connection->m_nDbmsKind = c.kind;
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    CAny pattern;
    pattern.SetDSTRW(c.pattern);
    gen->bAppend(u"b LIKE ");
    gen->bAddMarker(pattern, c.escape, CNASQLGenerator::kMarkerValue | CNASQLGenerator::kMarkerPattern,
                    qg::kNodeLike);
    gen->bAppend(c.after);
    CNAError error;
    EXPECT_EQ(N(gen->pszGetDialectText(&error)), c.dialect) << N(c.pattern);
  }
  connection->m_nDbmsKind = 5;
}

TEST_F(Generation, DialectTextInEveryFormAndBraces) {
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
  CAny v;
  v.SetDSTRW(u"\u00e9t\u00e9");
  gen->bAppend(u"SELECT a FROM t WHERE b=");
  gen->bAddMarker(v, 0, CNASQLGenerator::kMarkerValue, qg::kNodeEqual);
  CDualString* dual = gen->pclGetDialectText(nullptr);
  ASSERT_NE(dual, nullptr);
  EXPECT_EQ(N(dual->pszGetW()), "SELECT a FROM t WHERE b='?t?'");
  const char* narrow = gen->pszGetDialectTextA(nullptr);
  ASSERT_NE(narrow, nullptr);
  EXPECT_EQ(std::string(narrow), "SELECT a FROM t WHERE b='\xc3\xa9t\xc3\xa9'");  // client UTF-8

  EXPECT_EQ(gen->nFindOpenBrace(u"a {b} {c}", 0), 2);
  EXPECT_EQ(gen->nFindOpenBrace(u"a {b} {c}", 3), 6);
  EXPECT_EQ(gen->nFindCloseBrace(u"a {b} {c}", 5), 8);
  EXPECT_EQ(gen->nFindCloseBrace(u"a {b", 0), -1);
  EXPECT_EQ(gen->nFindOpenBrace(u"ab", 9), -1);
  EXPECT_EQ(gen->nFindOpenBrace(nullptr, 0), -1);
}

TEST_F(Generation, SelectListEntriesStandForTheirItems) {
  CNAColumn* column = NAAddRef(new CNAColumn());
  column->Init(u"n", u"t", nullptr, 1, 4, 5, 0, -1, 0, 0, 0);
  CNAItem* item = NAAddRef(new CNAItem());
  item->Init(nullptr, column, nullptr);
  {
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    gen->bAppend(u"SELECT ");
    ASSERT_TRUE(gen->bAppendColumnList(*item, nullptr));
    ASSERT_TRUE(gen->bAppendCount());
    ASSERT_TRUE(gen->bAddSelectItem(item));
    EXPECT_EQ(N(gen->pszGetStatementText()), "SELECT `n`,COUNT(*) AS QGACCESNATIF_NBENR");
    ASSERT_EQ(gen->nGetSelectCount(), 3);
    EXPECT_EQ(gen->pclGetSelectEntry(0)->pclGetItem(), item);
    EXPECT_TRUE(gen->pclGetSelectEntry(1)->bIsCount());
    EXPECT_EQ(gen->pclGetSelectEntry(1)->pclGetBound(), nullptr);
    EXPECT_EQ(gen->pclGetSelectEntry(3), nullptr);
    // Without a driver manager there is nothing to bind a count to.
    EXPECT_FALSE(gen->bAppendCountFor(connection));
    EXPECT_EQ(gen->nGetSelectCount(), 3);

    // A copy takes copies of the entries; appending takes them over.
    CNACopyContext context;
    CNARefPtr<CNASQLGenerator> copy(gen->pclClone(&context));
    ASSERT_EQ(copy->nGetSelectCount(), 3);
    EXPECT_NE(copy->pclGetSelectEntry(0), gen->pclGetSelectEntry(0));
    EXPECT_EQ(copy->pclGetSelectEntry(0)->pclGetItem(), context.pFindCopy(item));
    EXPECT_EQ(copy->pclGetSelectEntry(2)->pclGetItem(), context.pFindCopy(item));
    CNARefPtr<CNASQLGenerator> whole(NAAddRef(new CNASQLGenerator(connection)));
    whole->bAppendGenerator(*gen.Get(), 0);
    whole->bAppendGenerator(*gen.Get(), 1);
    ASSERT_EQ(whole->nGetSelectCount(), 6);
    EXPECT_EQ(whole->pclGetSelectEntry(0), gen->pclGetSelectEntry(0));
    EXPECT_NE(whole->pclGetSelectEntry(3), gen->pclGetSelectEntry(0));
    EXPECT_EQ(whole->pclGetSelectEntry(3)->pclGetItem(), item);
    // A merged condition brings no entries; a reset drops them all.
    gen->Reset(false);
    EXPECT_EQ(gen->nGetSelectCount(), 0);
  }
  // With a driver manager the count entry holds the value it is read into.
  CNAManager* manager = new CNAManager();
  manager->AddRef();
  {
    CNARefPtr<FakeConnection> managed(NAAddRef(new FakeConnection(5, manager)));
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(managed.Get())));
    ASSERT_TRUE(gen->bAppendCountFor(managed.Get()));
    ASSERT_EQ(gen->nGetSelectCount(), 1);
    CNAValue* bound = gen->pclGetSelectEntry(0)->pclGetBound();
    ASSERT_NE(bound, nullptr);
    EXPECT_NE(dynamic_cast<CNAValueConverter*>(bound), nullptr);
    EXPECT_EQ(N(gen->pszGetStatementText()), "COUNT(*) AS QGACCESNATIF_NBENR");
    // The bound value has no copy in the context: the entry's copy makes
    // one of its own, and a second entry copied in that context shares it.
    CNACopyContext context;
    CNASelectExpression* a = gen->pclGetSelectEntry(0)->pclClone(&context);
    CNASelectExpression* b = gen->pclGetSelectEntry(0)->pclClone(&context);
    AddRefBoth(a);
    AddRefBoth(b);
    ASSERT_NE(a->pclGetBound(), nullptr);
    EXPECT_NE(a->pclGetBound(), bound);
    EXPECT_EQ(a->pclGetBound(), context.pFindCopy(bound));
    EXPECT_EQ(b->pclGetBound(), a->pclGetBound());
    ReleaseBoth(a);
    ReleaseBoth(b);
  }
  manager->Release();
  ReleaseBoth(item);
  ReleaseBoth(column);
}

TEST_F(Generation, OrderByEndsAtAUniqueColumnWhoseNullsAreRejected) {
  CNAColumn* column = NAAddRef(new CNAColumn());
  column->Init(u"u", u"t", nullptr, 1, 4, 5, 0, -1, 0, 0, 0);
  CNAItem* item = NAAddRef(new CNAItem());
  item->Init(nullptr, column, nullptr);
  struct Case {
    int flag;  // -1: no list
    const char* order;
  } cases[] = {
      {-1, "ORDER BY `u` DESC, `b` DESC"},
      {1, "ORDER BY `u` DESC, `b` DESC"},
      {0, "ORDER BY `u` DESC"},
  };
  for (const Case& c : cases) {
    CNARefPtr<CNAQuery> q(Describe(u"SELECT a, u, b FROM t ORDER BY u, b"));
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    ASSERT_TRUE(gen->bGenerate(q.Get(), nullptr, false, 0, nullptr));
    if (c.flag >= 0) gen->pclEnsureNameList()->Set(item, c.flag);
    EXPECT_EQ(gen->bApplyNameList(item), c.flag < 0 ? 1 : c.flag);
    size_t head = gen->nGetStatementLength();
    int stopped = -2;
    ASSERT_TRUE(gen->bAppendOrderBy(false, &stopped, nullptr));
    EXPECT_EQ(N(gen->pszGetStatementText() + head), c.order) << c.flag;
    EXPECT_EQ(stopped, c.flag == 0 ? 1 : -1);
  }
  ReleaseBoth(item);
  ReleaseBoth(column);
}
