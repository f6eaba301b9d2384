// Runs the driver's keyword search and the stand-in host's SQL parser over
// arbitrary SQL-like text (one UTF-16 unit per byte, so that every input is
// mostly ASCII SQL), and regenerates every query the parser reads through
// the SQL generator on a MariaDB-kind connection. Whatever they report must
// lie inside the text: a keyword found is that keyword's words at the place
// reported, every range and node of a parsed query is within the text, and
// every marker of a generated statement lies within the statement.
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/sql/dialect.h"
#include "driver/sql/query.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/testing/kind_five_connection.h"
#include "host/core/calc_entries.h"
#include "support/frame/module_services.h"
#include "driver/sql/sql_scanner.h"
#include "host/core/parsed_query.h"
#include "support/platform/text16.h"

namespace {

void Check(bool b) {
  if (!b) __builtin_trap();
}

void CheckNode(const qg::ParseNode* n, int32_t len, int depth) {
  if (n == nullptr || depth > 400) return;
  Check(n->nStart >= 0 && n->nStart <= n->nEnd && n->nEnd <= len);
  for (int32_t i = 0; i < n->nOperandCount; ++i) CheckNode(n->ppOperands[i], len, depth + 1);
}

void CheckQuery(qg::IParsedQuery* q, int depth) {
  if (q == nullptr || depth > 100) return;
  const int32_t len = q->nGetTextLength();
  for (int32_t c = 0; c < qg::kClauseCount; ++c) {
    qg::ParseRange r = q->GetClause(c);
    Check(r.nStart == -1 || (r.nStart >= 0 && r.nStart <= r.nEnd && r.nEnd <= len));
  }
  CheckNode(q->pGetCondition(qg::kClauseWhere), len, 0);
  CheckNode(q->pGetCondition(qg::kClauseHaving), len, 0);
  for (int32_t i = 0; i < q->nGetSourceCount(); ++i) {
    const qg::ParseSource* s = q->pGetSource(i);
    CheckNode(s->pJoinCondition, len, 0);
    CheckQuery(s->piSubquery, depth + 1);
  }
  for (int32_t i = 0; i < q->nGetColumnCount(); ++i) CheckNode(q->pGetColumn(i)->pExpression, len, 0);
  for (int32_t i = 0; i < q->nGetOrderCount(); ++i) CheckNode(q->pGetOrderItem(i)->pExpression, len, 0);
  for (int32_t i = 0; i < q->nGetAssignmentCount(); ++i) CheckNode(q->pGetAssignment(i)->pValue, len, 0);
}

void Regenerate(qg::IParsedQuery* parsed, size_t seed) {
  qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
  qg::Services().pfnFinConversion = &qghost::FinConversion;
  // Kind 1 moves the reading position in its own function forms.
  CNARefPtr<CNAConnection> connection(NAAddRef(new qg::rig::KindFive((seed & 16) != 0 ? 1 : 5)));
  CNARefPtr<CNAQuery> query(NAAddRef(new CNAQuery(parsed, true)));
  CNARefPtr<CNASQLGenerator> extra(NAAddRef(new CNASQLGenerator(connection.Get())));
  extra->bAppend(u"x=1");
  CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection.Get())));
  CNAError error;
  const bool keep = (seed & 1) != 0;
  const int options = (seed & 2) != 0 ? 4 : 0;
  if (gen->bGenerate(query.Get(), (seed & 4) != 0 ? extra.Get() : nullptr, keep, options, &error)) {
    const size_t length = gen->nGetStatementLength();
    for (int i = 0; i < gen->nGetMarkerCount(); ++i) Check(CNASQLGenerator::nMarkerPosition(gen->GetMarker(i)) <= length);
    gen->SetRowLimit(static_cast<int64_t>(seed % 7));
    gen->pszGetDialectText(&error);
    if (!keep) {
      CNAError order;
      gen->bAppendOrderBy((seed & 8) != 0, nullptr, &order);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text(data, data + size);
  CNASQLScanner scanner;
  scanner.Scan(text.c_str(), static_cast<ptrdiff_t>(text.size()));
  for (const char16_t* keyword : {u"ORDER BY", u"WHERE", u"LIMIT", u"GROUP"}) {
    for (ptrdiff_t start : {ptrdiff_t{-1}, static_cast<ptrdiff_t>(size / 2)}) {
      ptrdiff_t at = scanner.nFindKeyword(keyword, start);
      Check(at >= -1 && at < static_cast<ptrdiff_t>(text.size()) + 1);
      if (at >= 0) {
        Check(qg::ToUpperAscii16(text[static_cast<size_t>(at)]) == keyword[0]);
        Check(start < 0 || at <= start);
      }
    }
  }
  NAEndsWithLimitZero(scanner);
  NAIsSetStatement(text.c_str(), static_cast<ptrdiff_t>(text.size()));
  int64_t limit = 10;
  int64_t offset = 5;
  std::u16string copy = text;
  nadialect::bRewriteRowLimit(copy, 5, limit, offset);
  copy = text;
  nadialect::bRewriteRowLimit(copy, 2, limit, offset);

  std::string error;
  qg::IParsedQuery* q = qghost::ParseQuery(text, nullptr, &error);
  if (q != nullptr) {
    CheckQuery(q, 0);
    Regenerate(q, size);
    q->Release();
  }
  Check(qghost::nLiveParsedQueries() == 0);
  return 0;
}
