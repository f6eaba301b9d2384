// Dialect rules of the SQL the driver writes, by DBMS kind (the MariaDB back
// end is kind 5) and server major version: row limits, the LIKE ESCAPE
// clause, function names, pattern literals and the identity statements.
// Pure text functions; the SQL generator applies them.
#ifndef QG_DRIVER_SQL_DIALECT_H_
#define QG_DRIVER_SQL_DIALECT_H_

#include <cstdint>
#include <string>

namespace nadialect {

constexpr int kKindMariaDB = 5;

// The name a function call is written with, or null when it stays as
// written in the query.
const char16_t* pszMapFunctionName(int function, int kind);

// Row-limit rewriting of a dialect text (nothing for a text that does not
// begin with SELECT, or in pass-through mode, which the caller checks).
//  - kinds 1 to 3: a trailing "LIMIT n" becomes "SELECT TOP n ..." (a
//    "LIMIT n, m" with m > 0, or a LIMIT without a number, stays);
//  - kinds 5 and 6: "SELECT TOP n" loses its TOP n, which becomes the row
//    limit (the offset is dropped); then, with a limit above 0 and a text
//    that does not already end in LIMIT 0, " LIMIT n" (offset <= 0) or
//    " LIMIT offset, n" is appended, as full 64-bit numbers.
// limit and offset are the generator's, -1 meaning none; they are updated
// as the rules say. Answers whether the text changed.
bool bRewriteRowLimit(std::u16string& text, int kind, int64_t& limit, int64_t& offset,
                      const char16_t* openQuote = u"`", const char16_t* closeQuote = u"`");

// The text the expression writer adds at the start (atEnd false) or the
// end of argument `index` of a call of `function`, for the forms that only
// add text: LTRIM / RTRIM as TRIM(LEADING / TRAILING FROM x), LEFT as
// SUBSTR(x,1,n), RIGHT as SUBSTR(x,-(n),n), HEX as TO_CHAR or SUBSTR(HEX).
// secondArgument: the second argument's text as written. Empty for every
// other pair (the forms that reorder arguments are not written).
std::u16string FunctionArgumentText(int function, int kind, int index, bool atEnd,
                                    const std::u16string& secondArgument);

// Whether text begins, after white space, with SELECT (any case) as a word.
bool bBeginsWithSelect(const std::u16string& text);

// The ESCAPE clause written after a LIKE pattern literal. escape: the
// pattern's escape character, 0 for the default "\". patternHasEscape: the
// pattern contains it. escapeFollows: the statement already carries its own
// ESCAPE clause at that point. noBackslashEscapes: the session runs under
// sql_mode NO_BACKSLASH_ESCAPES (kind 5 only), where LIKE has no default
// escape and "\" stands for itself inside a literal. Kind 3 writes none
// (its own clause is skipped by the generator).
std::u16string EscapeClause(int kind, int version, char16_t escape, bool patternHasEscape,
                            bool escapeFollows, bool noBackslashEscapes);

// DBMS kind 3 writes patterns with wildcards of its own: "*" any text, "?"
// any character, and a character that would read as a wildcard or a set
// ("*", "?", "#", "[") written as a one-character set. A pattern in the
// driver's syntax ("%", "_", and `escape`, "\" when 0, before a character
// to take it as written) becomes that form; a trailing escape character
// stands for itself. The translated pattern carries no escape character.
std::u16string TranslatePatternKindThree(const std::u16string& pattern, char16_t escape);

// Kind 2 reads "[" in a pattern as a set: every "[" becomes "[[]".
void FixPatternLiteral(int kind, std::u16string& literal);

// The statement that reads the identity value just inserted (next = false)
// or computes the next value (next = true). column and table are written as
// given (the caller quotes them when the table says names are quoted).
// hostType: the column's host type (the automatic identifiers 1 and 28
// choose kind 11's forms, and LAST_INSERT_ID() on kind 5).
std::u16string IdentityQuery(int kind, int version, int hostType, bool next, bool quotedNames,
                             const std::u16string& column, const std::u16string& table);

// Generator construction: option bit 0 is set for kind 5.
inline int nInitialOptionBits(int kind) { return kind == kKindMariaDB ? 1 : 0; }

}  // namespace nadialect

#endif  // QG_DRIVER_SQL_DIALECT_H_
