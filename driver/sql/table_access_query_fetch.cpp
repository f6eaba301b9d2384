// A stored query read in fetches: each fetch goes on from the last (or
// first) row of the one before by that row's values in the order, as a
// table's fetches do, so that rows another connection adds or deletes
// elsewhere in the order shift nothing.
//
// The query stays whole inside a derived table (its WHERE, joins, GROUP BY,
// HAVING and DISTINCT keep their meaning) and the boundary is written
// outside it over the result's columns, which the order is made of. Where
// the values are not in the result (an order on an expression outside the
// select list, raw SQL whose order is not known, a result two of whose
// columns share a name or whose name a derived table cannot carry, a real
// number the server shows rounded), the
// fetches fall back to row offsets. A query with its own LIMIT is read
// whole and never gets here.
#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/result_column.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"

namespace {

// The longest column name a derived table takes.
constexpr size_t kDerivedNameLimit = 64;

}  // namespace

bool CNATableAccess::bQueryOrderColumns(std::vector<int>* columns,
                                        std::vector<std::u16string>* names,
                                        std::vector<bool>* ascending) {
  columns->clear();
  names->clear();
  ascending->clear();
  const uint32_t session_flags = m_pSession != nullptr ? m_pSession->m_nFlags : 0;
  if ((session_flags & kNASessionRawSQL) != 0 || m_pResult == nullptr || m_pConnection == nullptr ||
      !m_bQueryOrderInResult || m_astQueryOrder.empty()) {
    return false;
  }
  const int count = m_pResult->nGetColumnCount();
  std::vector<std::u16string> result_names;
  for (int c = 0; c < count; ++c) {
    CAny name;
    const char16_t* text = nullptr;
    if (!m_pResult->bGetColumnName(name, c, nullptr) || name.nGetPCXSTR(&text) >= 100 ||
        text == nullptr || text[0] == 0) {
      return false;
    }
    const std::u16string own(text);
    if (own.size() > kDerivedNameLimit) return false;
    for (const std::u16string& other : result_names) {
      if (CTString(other.c_str()).bEstEgalI(own.c_str())) return false;
    }
    result_names.push_back(own);
  }
  for (const NAQueryOrderColumn& item : m_astQueryOrder) {
    if (item.nColumn < 0 || item.nColumn >= count) return false;
    // A real number comes as the server shows it, rounded to the digits
    // the expression has: its literal would not compare equal to itself.
    if (m_pResult->pclGetResultColumn(item.nColumn, nullptr) == nullptr ||
        m_pResult->bHoldsApproximateNumbers(item.nColumn)) {
      return false;
    }
    CTString quoted;
    if (!m_pConnection->bQuoteName(nullptr, result_names[static_cast<size_t>(item.nColumn)].c_str(),
                                   &quoted) ||
        quoted.pszGet() == nullptr) {
      return false;
    }
    columns->push_back(item.nColumn);
    names->emplace_back(quoted.pszGet());
    ascending->push_back(item.bDescending == m_bDescending);
  }
  return true;
}

bool CNATableAccess::bBuildQueryPart(bool forward, const std::u16string& boundary, int64_t limit,
                                     int64_t skip, CNAError* error) {
  // Taken from the open result before the SELECT is written again.
  std::vector<int> columns;
  std::vector<std::u16string> names;
  std::vector<bool> ascending;
  if (!bQueryOrderColumns(&columns, &names, &ascending)) return false;
  auto order = [&](bool reversed) {
    std::u16string text = u" ORDER BY ";
    for (size_t i = 0; i < names.size(); ++i) {
      if (i > 0) text += u", ";
      text += names[i];
      if (ascending[i] == reversed) text += u" DESC";
    }
    return text;
  };
  // The query as the read writes it; the order inside a derived table
  // without a LIMIT only costs the server nothing, the outer one counts.
  if (!bBuildSelect(error)) return false;
  const std::u16string where = boundary.empty() ? u"" : u" WHERE (" + boundary + u")";
  // Wrapped in place: the values of the query's and the filter's
  // conditions stay with their places in the text.
  if (forward) {
    if (!m_pGenerator->bPrepend(u"SELECT * FROM (") ||
        !m_pGenerator->bAppend(u") QG_PAGE" + where + order(false))) {
      return false;
    }
    m_pGenerator->SetRowLimit(limit);
    m_pGenerator->SetRowOffset(skip);
    return true;
  }
  // The preceding rows: the nearest ones in the opposite order, put back in
  // the read's order.
  const std::u16string tail =
      u") QG_PAGE" + where + order(true) + NALimitText(limit, skip) + u") QG_PART" + order(false);
  if (!m_pGenerator->bPrepend(u"SELECT * FROM (SELECT * FROM (") || !m_pGenerator->bAppend(tail)) {
    return false;
  }
  m_pGenerator->SetRowLimit(-1);
  m_pGenerator->SetRowOffset(-1);
  return true;
}
