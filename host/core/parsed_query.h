// Stand-in for the host's SQL parser (test equipment): turns a query text
// into the parsed-query interface of support/frame/parsed_query.h.
//
// It reads SELECT (DISTINCT, TOP n, select list with aliases, FROM with
// tables, sub-queries and joins, WHERE, GROUP BY, HAVING, ORDER BY, LIMIT n
// [, m | OFFSET m], FOR UPDATE / LOCK IN SHARE MODE), INSERT (column list,
// VALUES or a sub-select), UPDATE (SET list, WHERE, ORDER BY, LIMIT) and
// DELETE (FROM, WHERE, ORDER BY, LIMIT); a SET statement is read as one of
// unknown kind without clauses. Expressions: OR, AND, NOT,
// comparisons, IS [NOT] NULL, [NOT] LIKE with ESCAPE, [NOT] IN (list or
// sub-query), [NOT] BETWEEN, arithmetic, unary minus, function calls, CASE,
// EXISTS, sub-queries, literals (with MariaDB's backslash escapes, doubled
// quotes and character-set introducers), "?" parameters and the host's
// embedded names {name}, {qualifier.name} and values {'text'}, {123}.
//
// A text it cannot read gives no query (ParseQuery answers null) and the
// reason in *error. It never throws.
#ifndef QG_HOST_CORE_PARSED_QUERY_H_
#define QG_HOST_CORE_PARSED_QUERY_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/frame/parsed_query.h"

namespace qghost {

// What the host knows of the tables: their columns in order, with their
// key flags (qg::ParseKeyFlag) and column types (0 unknown). Names are compared without regard to ASCII
// case. A "*" select list is expanded from it.
struct ParseSchema {
  struct Column {
    std::u16string name;
    uint32_t nKeyFlags = 0;
    int32_t nColumnType = 0;
  };
  std::map<std::u16string, std::vector<Column>> tables;  // keys upper-cased

  void AddTable(const std::u16string& name, std::vector<Column> columns);
  const std::vector<Column>* pFind(const std::u16string& name) const;
};

// Parses a text; the query carries one reference for the caller. Null and
// the reason in *error (when given) for a text it cannot read.
qg::IParsedQuery* ParseQuery(const std::u16string& text, const ParseSchema* schema = nullptr,
                             std::string* error = nullptr);

// Number of parsed queries alive (sub-queries included), for leak checks.
int32_t nLiveParsedQueries();

}  // namespace qghost

#endif  // QG_HOST_CORE_PARSED_QUERY_H_
