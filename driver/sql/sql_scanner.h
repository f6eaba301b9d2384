// Forward tokenization of SQL text and the keyword searches built on it.
//
// The scanner reads a text once, front to back, and knows string literals
// (with MariaDB's backslash escapes unless they are turned off, and doubled
// quotes), identifiers quoted with the connection's quotes, "--", "#" and
// "/* */" comments, and parentheses. Keyword searches then walk the tokens:
// a keyword is only ever found as whole words at the parenthesis level of
// the place the search starts from, never inside a literal, a quoted name, a
// comment or a nested parenthesis. An unterminated literal, quoted name or
// comment runs to the end of the text.
#ifndef QG_DRIVER_SQL_SQL_SCANNER_H_
#define QG_DRIVER_SQL_SQL_SCANNER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class SqlTokenKind : uint8_t {
  kWord,        // letters, digits, "_", "$", "@" and non-ASCII, not starting with a digit
  kNumber,      // digits, with "." and an exponent
  kLiteral,     // '...' or "..." (a character-set introducer belongs to it)
  kQuotedName,  // the connection's quoted identifier
  kComment,
  kSpace,
  kOpen,        // (
  kClose,       // )
  kOther,       // any other single character
};

struct SqlToken {
  SqlTokenKind kind;
  int32_t nStart;
  int32_t nEnd;    // one past the last unit
  int32_t nDepth;  // parentheses around the token; "(" and ")" count as outside
};

class CNASQLScanner {
 public:
  // Quotes of the connection's identifiers; null or empty: none. With
  // bBackslashEscapes, "\" escapes the next character inside literals (the
  // MariaDB default; off under sql_mode NO_BACKSLASH_ESCAPES).
  CNASQLScanner(const char16_t* openQuote = u"`", const char16_t* closeQuote = u"`",
                bool bBackslashEscapes = true);

  // Tokenizes text[0..n); n = -1: up to the terminator. Replaces the
  // previous tokens. The text is not kept: searches take it again.
  void Scan(const char16_t* text, ptrdiff_t n = -1);
  const std::vector<SqlToken>& Tokens() const { return m_tokens; }
  const char16_t* pszText() const { return m_pText; }

  // Start of the last occurrence, starting at or before nStart (-1: the end
  // of the text), of a keyword of one or more words separated by single
  // blanks in `keyword` (any white space and comments may separate them in
  // the text), compared without regard to ASCII case, at the parenthesis
  // level of nStart and not before the "(" that opens that level. -1 when
  // absent.
  ptrdiff_t nFindKeyword(const char16_t* keyword, ptrdiff_t nStart = -1) const;
  // The same, searching forwards from nFrom to the end of nFrom's level.
  ptrdiff_t nFindKeywordForward(const char16_t* keyword, ptrdiff_t nFrom = 0) const;

  // Index of the token that contains position n, or of the first token
  // after it; the token count past the end.
  size_t nTokenAt(ptrdiff_t n) const;
  // Index of the next / previous token that is neither space nor comment,
  // from token i (excluded); -1 when none.
  ptrdiff_t nNextSignificant(ptrdiff_t i) const;
  ptrdiff_t nPrevSignificant(ptrdiff_t i) const;
  // Whether token i is a word equal to `word` (upper-case ASCII).
  bool bIsWord(ptrdiff_t i, const char16_t* word) const;

 private:
  int32_t nDepthAt(ptrdiff_t n) const;

  std::u16string m_openQuote;
  std::u16string m_closeQuote;
  bool m_bBackslash;
  const char16_t* m_pText = nullptr;
  size_t m_nLength = 0;
  std::vector<SqlToken> m_tokens;
};

// One-call form: scans text (n = -1: to the terminator) and searches
// backwards from nStart, with MariaDB's quoting.
ptrdiff_t NAFindKeyword(const char16_t* text, ptrdiff_t n, const char16_t* keyword,
                        ptrdiff_t nStart = -1, const char16_t* openQuote = u"`",
                        const char16_t* closeQuote = u"`");

// Whether the statement ends in a row limit of 0: its last two top-level
// tokens that are neither space nor comment are the word LIMIT (any case)
// and a number equal to 0, and something stands before LIMIT.
bool NAEndsWithLimitZero(const CNASQLScanner& scanned);

// Whether the text is one assignment: "SET" (any case), a name, "=", one
// value word, optionally followed by one ";" that ends the text; white space
// allowed between the parts and around them.
bool NAIsSetStatement(const char16_t* text, ptrdiff_t n = -1);

// Whether `text` is one SQL expression that ends where the text ends: a
// literal (with its introducer or b/x/N prefix), a number, a name, a call
// or a parenthesised expression, after an optional sign, with no comment and
// no ';' anywhere; it must read so with and without backslash escapes. A
// column default the server describes as an expression is one; a text that
// would end the clause it is written into is not.
bool NAIsOneSqlExpression(const char16_t* text, const char16_t* openQuote = u"`",
                          const char16_t* closeQuote = u"`");

#endif  // QG_DRIVER_SQL_SQL_SCANNER_H_
