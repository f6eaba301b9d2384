#include "driver/sql/dialect.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace nadialect;

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

TEST(Dialect, RowLimitOnKindFive) {
  struct Case {
    const char16_t* text;
    int64_t limit;
    int64_t offset;
    const char16_t* expected;
    int64_t limitAfter;
  } cases[] = {
      {u"SELECT a FROM t", 10, -1, u"SELECT a FROM t LIMIT 10", 10},
      {u"SELECT a FROM t", 10, 20, u"SELECT a FROM t LIMIT 20, 10", 10},
      {u"SELECT a FROM t", 10, 0, u"SELECT a FROM t LIMIT 10", 10},
      {u"SELECT a FROM t", 5, 3000000000LL, u"SELECT a FROM t LIMIT 3000000000, 5", 5},
      {u"SELECT a FROM t", 0, -1, u"SELECT a FROM t", 0},
      {u"SELECT a FROM t", -1, 5, u"SELECT a FROM t", -1},
      {u"SELECT TOP 5 a FROM t", -1, -1, u"SELECT  a FROM t LIMIT 5", 5},
      {u"select top\t7 a FROM t", 10, 4, u"select  a FROM t LIMIT 7", 7},
      {u"SELECT top1 FROM tab", 3, -1, u"SELECT top1 FROM tab LIMIT 3", 3},
      {u"SELECT TOP x FROM tab", 3, -1, u"SELECT TOP x FROM tab LIMIT 3", 3},
      {u"SELECT a FROM t LIMIT 0", 10, -1, u"SELECT a FROM t LIMIT 0", 10},
      {u"SELECT a FROM t limit 0 ", 10, -1, u"SELECT a FROM t limit 0 ", 10},
      {u"UPDATE t SET a=1", 10, -1, u"UPDATE t SET a=1", 10},
      {u"SELECTED", 10, -1, u"SELECTED", 10},
  };
  for (const Case& c : cases) {
    std::u16string text = c.text;
    int64_t limit = c.limit;
    int64_t offset = c.offset;
    bRewriteRowLimit(text, 5, limit, offset);
    EXPECT_EQ(Narrow(text), Narrow(c.expected));
    EXPECT_EQ(limit, c.limitAfter) << Narrow(c.text);
  }
}

TEST(Dialect, LimitToTopOnKindsOneToThree) {
  struct Case {
    int kind;
    const char16_t* text;
    const char16_t* expected;
  } cases[] = {
      {2, u"SELECT a FROM t WHERE (b=1) LIMIT 5", u"SELECT TOP 5 a FROM t WHERE (b=1)"},
      {1, u"SELECT a FROM t\n LIMIT 5", u"SELECT TOP 5 a FROM t"},
      {3, u"SELECT a FROM t LIMIT 5, 0", u"SELECT TOP 5 a FROM t"},
      {2, u"SELECT a FROM t LIMIT 5, 10", u"SELECT a FROM t LIMIT 5, 10"},
      {2, u"SELECT a FROM t LIMIT ?", u"SELECT a FROM t LIMIT ?"},
      {2, u"SELECT a FROM t WHERE b='LIMIT 5'", u"SELECT a FROM t WHERE b='LIMIT 5'"},
      {4, u"SELECT a FROM t LIMIT 5", u"SELECT a FROM t LIMIT 5"},
  };
  for (const Case& c : cases) {
    std::u16string text = c.text;
    int64_t limit = 10;
    int64_t offset = -1;
    bRewriteRowLimit(text, c.kind, limit, offset);
    EXPECT_EQ(Narrow(text), Narrow(c.expected));
  }
}

TEST(Dialect, EscapeClause) {
  struct Case {
    int kind;
    int version;
    char16_t escape;
    bool noBackslash;
    const char16_t* expected;
  } cases[] = {
      {5, 10, 0, false, u""},
      {5, 10, u'\\', false, u""},
      {5, 10, 0, true, u" ESCAPE '\\'"},
      {12, 1, 0, false, u" ESCAPE '\\\\'"},
      {6, 8, 0, false, u" ESCAPE '\\\\'"},
      {6, 9, 0, false, u" ESCAPE '\\'"},
      {2, 10, 0, false, u" ESCAPE '\\'"},
      {5, 10, u'!', false, u" ESCAPE '!'"},
      {2, 10, u'!', false, u" ESCAPE '!'"},
      {5, 10, u'\'', false, u" ESCAPE ''''"},
      {3, 10, u'!', false, u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Narrow(EscapeClause(c.kind, c.version, c.escape, true, false, c.noBackslash)),
              Narrow(c.expected))
        << c.kind << " " << static_cast<int>(c.escape);
  }
  EXPECT_EQ(EscapeClause(2, 10, u'!', false, false, false), u"");  // pattern without it
  EXPECT_EQ(EscapeClause(2, 10, u'!', true, true, false), u"");    // its own clause follows
}

TEST(Dialect, FunctionNamesAndIdentity) {
  EXPECT_EQ(pszMapFunctionName(44, 7), std::u16string(u"SYSIBM.SUBSTR"));
  EXPECT_EQ(pszMapFunctionName(92, 11), std::u16string(u"SUBSTR(HEX"));
  EXPECT_EQ(pszMapFunctionName(54, 2), std::u16string(u"LEN"));
  EXPECT_EQ(pszMapFunctionName(7, 11), std::u16string(u"NVL"));
  for (int f : {7, 8, 42, 43, 44, 45, 46, 50, 51, 52, 53, 54, 55, 72, 88, 89, 92}) {
    EXPECT_EQ(pszMapFunctionName(f, 5), nullptr) << f;  // MariaDB keeps every name
  }
  EXPECT_EQ(FunctionArgumentText(52, 11, 0, false, u""), u"LEADING FROM ");
  EXPECT_EQ(FunctionArgumentText(53, 11, 0, false, u""), u"TRAILING FROM ");
  EXPECT_EQ(FunctionArgumentText(42, 13, 0, true, u"3"), u",1");
  EXPECT_EQ(FunctionArgumentText(43, 6, 0, true, u"3"), u",-(3)");
  EXPECT_EQ(FunctionArgumentText(92, 1, 0, true, u""), u",'FMXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX'");
  EXPECT_EQ(FunctionArgumentText(92, 11, 0, true, u""), u"),3");
  EXPECT_EQ(FunctionArgumentText(42, 5, 0, true, u"3"), u"");
  EXPECT_EQ(FunctionArgumentText(42, 1, 1, true, u"3"), u"");
  std::u16string pattern = u"'a[b%'";
  FixPatternLiteral(2, pattern);
  EXPECT_EQ(pattern, u"'a[[]b%'");

  EXPECT_EQ(IdentityQuery(2, 7, 8, false, true, u"id", u"t"), u"SELECT @@IDENTITY");
  EXPECT_EQ(IdentityQuery(2, 8, 8, false, true, u"id", u"t"), u"SELECT SCOPE_IDENTITY()");
  EXPECT_EQ(IdentityQuery(11, 1, 28, false, true, u"id", u"t"),
            u"SELECT FIRST 1 DBINFO( 'sqlca.sqlerrd1' ) AS id FROM systables");
  EXPECT_EQ(IdentityQuery(11, 1, 1, false, true, u"id", u"t"),
            u"SELECT FIRST 1 DBINFO( 'SERIAL8' ) AS id FROM systables");
  EXPECT_EQ(IdentityQuery(5, 10, 8, false, true, u"`id`", u"`t`"), u"SELECT MAX(`id`) FROM `t`");
  EXPECT_EQ(IdentityQuery(5, 10, 8, true, true, u"`id`", u"`t`"), u"SELECT MAX(`id`)+1 FROM `t`");
  EXPECT_EQ(IdentityQuery(5, 10, 28, false, true, u"`id`", u"`t`"), u"SELECT LAST_INSERT_ID()");
  EXPECT_EQ(IdentityQuery(5, 10, 1, true, true, u"`id`", u"`t`"), u"SELECT MAX(`id`)+1 FROM `t`");
  EXPECT_EQ(IdentityQuery(8, 10, 8, true, false, u"id", u"t"),
            u"SELECT MAX(id)+1 FROM t WITH (NOLOCK)");
  EXPECT_EQ(IdentityQuery(8, 10, 8, false, true, u"\"id\"", u"\"t\""),
            u"SELECT MAX(\"id\") FROM \"t\"");
}

}  // namespace
