#include "driver/sql/sql_scanner.h"

#include <gtest/gtest.h>

#include <string>

namespace {

ptrdiff_t Find(const std::u16string& text, const char16_t* keyword, ptrdiff_t start = -1) {
  return NAFindKeyword(text.c_str(), -1, keyword, start);
}

TEST(SqlScanner, KeywordsAreFoundOnlyAtTheirOwnLevel) {
  struct Case {
    const char16_t* text;
    const char16_t* keyword;
    ptrdiff_t expected;
  } cases[] = {
      {u"SELECT a FROM t ORDER BY a", u"ORDER BY", 16},
      {u"select a from t order   by a", u"ORDER BY", 16},
      {u"SELECT a FROM t Order\n\tBy a", u"ORDER BY", 16},
      {u"SELECT a FROM t ORDER /* c */ BY a", u"ORDER BY", 16},
      {u"SELECT a FROM t WHERE b='ORDER BY' ", u"ORDER BY", -1},
      {u"SELECT a FROM t WHERE b='it''s ORDER BY'", u"ORDER BY", -1},
      {u"SELECT a FROM t WHERE b='C:\\\\' ORDER BY a", u"ORDER BY", 31},
      {u"SELECT a FROM t WHERE b='\\' ORDER BY x' ", u"ORDER BY", -1},
      {u"SELECT a FROM t WHERE b=\"ORDER BY\"", u"ORDER BY", -1},
      {u"SELECT `ORDER BY` FROM t", u"ORDER BY", -1},
      {u"SELECT a FROM t -- ORDER BY a", u"ORDER BY", -1},
      {u"SELECT a FROM t # ORDER BY a", u"ORDER BY", -1},
      {u"SELECT a FROM (SELECT b FROM u ORDER BY b) x", u"ORDER BY", -1},
      {u"SELECT a FROM t WHERE x IN (SELECT y FROM u WHERE z=1)", u"WHERE", 16},
      {u"SELECT a FROM t LIMIT 5", u"LIMIT", 16},
      {u"SELECT LIMITED FROM t", u"LIMIT", -1},
      {u"SELECT a FROM t WHERE a=1 LIMIT(5)", u"LIMIT", 26},
      {u"SELECT a FROM t WHERE a=-1 GROUP BY a", u"GROUP", 27},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Find(c.text, c.keyword), c.expected) << std::string(c.text, c.text + 20);
  }
}

TEST(SqlScanner, SearchFromAPositionStaysInsideItsParentheses) {
  std::u16string text = u"SELECT a FROM (SELECT b FROM u GROUP BY b) x GROUP BY a";
  ptrdiff_t inner = static_cast<ptrdiff_t>(text.find(u"b)"));
  EXPECT_EQ(Find(text, u"GROUP", inner), 31);
  EXPECT_EQ(Find(text, u"FROM", inner), 24);
  EXPECT_EQ(Find(text, u"FROM"), 9);
  EXPECT_EQ(Find(text, u"GROUP"), 45);
  // From inside the sub-query the outer FROM is out of reach.
  EXPECT_EQ(Find(text, u"SELECT", inner), 15);
  // Searching before the keyword does not find it.
  EXPECT_EQ(Find(text, u"GROUP", 30), -1);

  CNASQLScanner s;
  s.Scan(text.c_str());
  EXPECT_EQ(s.nFindKeywordForward(u"GROUP BY", 15), 31);
  EXPECT_EQ(s.nFindKeywordForward(u"GROUP BY", 0), 45);
}

TEST(SqlScanner, NoBackslashEscapesAndOtherQuotes) {
  std::u16string text = u"SELECT a FROM t WHERE b='\\' ORDER BY a";
  CNASQLScanner plain(u"`", u"`", false);
  plain.Scan(text.c_str());
  EXPECT_EQ(plain.nFindKeyword(u"ORDER BY"), 28);
  CNASQLScanner brackets(u"[", u"]");
  std::u16string t2 = u"SELECT [ORDER BY] FROM t ORDER BY [x]]y]";
  brackets.Scan(t2.c_str());
  EXPECT_EQ(brackets.nFindKeyword(u"ORDER BY"), 25);
  // Unterminated texts run to the end and hide what follows.
  EXPECT_EQ(Find(u"SELECT 'abc ORDER BY", u"ORDER BY"), -1);
  EXPECT_EQ(Find(u"SELECT a /* ORDER BY", u"ORDER BY"), -1);
}

TEST(SqlScanner, LimitZeroAndSetStatement) {
  struct Case {
    const char16_t* text;
    bool expected;
  } limits[] = {
      {u"SELECT a FROM t LIMIT 0", true},   {u"SELECT a FROM t limit 0  \n", true},
      {u"SELECT a FROM t LIMIT\t00", true}, {u"SELECT a FROM t LIMIT 0 -- c", true},
      {u"SELECT a FROM t LIMIT 10", false}, {u"SELECT a FROM t WHERE x='LIMIT 0'", false},
      {u"LIMIT 0", false},                  {u"SELECT a FROM t NOLIMIT 0", false},
      {u"SELECT (SELECT 1 LIMIT 0)", false},
  };
  for (const auto& c : limits) {
    CNASQLScanner s;
    s.Scan(c.text);
    EXPECT_EQ(NAEndsWithLimitZero(s), c.expected) << std::string(c.text, c.text + 24);
  }
  struct SetCase {
    const char16_t* text;
    bool expected;
  } sets[] = {
      {u"SET x = 1 ;", true},         {u"  set @a=b", true},      {u"SET NAMES = 'utf8'; ", true},
      {u"SET x = a b", false},        {u"SET x = 1; SET y = 2", false}, {u"SETx = 1", false},
      {u"SET x 1", false},            {u"SELECT 1", false},       {u"SET x = 1;;", false},
  };
  for (const auto& c : sets) {
    EXPECT_EQ(NAIsSetStatement(c.text), c.expected) << std::string(c.text, c.text + 10);
  }
}

// Column defaults a server describes stay as they are; a text that would
// end the column definition, start a comment or another statement, or read
// differently with and without backslash escapes is not one expression.
TEST(SqlScanner, OneExpressionOfAColumnDefault) {
  struct Case {
    const char16_t* text;
    bool expected;
  } cases[] = {
      {u"current_timestamp()", true}, {u"current_timestamp(3)", true}, {u"NULL", true},
      {u"'abc'", true},               {u"'it''s'", true},              {u"-1.5e3", true},
      {u"b'101'", true},              {u"x'0AFF'", true},              {u"_utf8mb4'x'", true},
      {u"(`a` + 1)", true},           {u"concat('a',`b`)", true},      {u"7", true},
      {u"", false},                   {u"abc def", false},             {u"'abc", false},
      {u"1, evil INT", false},        {u"0); DROP TABLE t; --", false},
      {u"1 -- x", false},             {u"1 /* x */", false},           {u"1 # x", false},
      {u"'a\\'", false},              {u"'a\\' ); DROP TABLE t; -- '", false},
      {u"f()) , x INT", false},       {u"(1) x", false},               {u"1 NOT NULL", false},
      {u"`a", false},                 {u"'a';", false},                {u"(1;2)", false},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const char16_t* p = c.text; *p != 0; ++p) shown.push_back(static_cast<char>(*p));
    EXPECT_EQ(c.expected, NAIsOneSqlExpression(c.text)) << shown;
  }
  EXPECT_FALSE(NAIsOneSqlExpression(nullptr));
}

}  // namespace
