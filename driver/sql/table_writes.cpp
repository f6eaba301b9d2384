// Table writes: the statements that add, modify and delete the current
// record, and the parts of CREATE TABLE. Values travel as markers of the
// generator (inlined as literals by its rewrite pass), never pasted into
// the text; names are quoted by the connection.
//
// What is written: an INSERT the columns the host set (the server's
// defaults fill the others), an UPDATE the columns the host changed; the
// row of an UPDATE or DELETE is named by its unique key's values as they
// were read, not as edited.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/manager.h"
#include "driver/core/session.h"
#include "driver/sql/column.h"
#include "driver/sql/identity_query.h"
#include "driver/sql/query.h"
#include "driver/sql/file_description.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/record_source.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/sql_scanner.h"
#include "driver/sql/sql_type_map.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "driver/sql/temporary_index.h"
#include "support/frame/parsed_query.h"

namespace {

constexpr uint32_t kSite = 4;

bool Quote(CNAConnection* connection, const char16_t* name, std::u16string* out,
           CNAError* error) {
  CTString quoted;
  if (connection == nullptr || !connection->bQuoteName(error, name, &quoted)) return false;
  *out = quoted.pszGet() != nullptr ? quoted.pszGet() : u"";
  return true;
}

// An auto-identifier column: written only when the options ask for it.
bool IsAutoIdentifier(const CNAColumn* column) {
  return column->nGetType() == 1 || column->nGetType() == 28;
}

// The unique key that names a row: the primary key, else the first unique
// key; null when the table has none.
CNAColumn* IdentifyingKey(CNATableDescription* table) {
  if (table == nullptr) return nullptr;
  CNAColumn* unique = nullptr;
  auto consider = [&](CNAColumn* c) {
    if (c == nullptr || !c->bIsUnique()) return false;
    if (c->bIsPrimary()) return true;
    if (unique == nullptr) unique = c;
    return false;
  };
  for (int i = 0; i < table->nGetKeyCount(); ++i) {
    if (consider(table->pclKeyAt(i))) return table->pclKeyAt(i);
  }
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    if (consider(table->pclColumnAt(i))) return table->pclColumnAt(i);
  }
  return unique;
}

int ColumnIndex(CNATableDescription* table, const CNAColumn* column) {
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    if (table->pclColumnAt(i) == column) return i;
  }
  return -1;
}

bool IsValidDate(const CAny& value) {
  CXYString<char16_t> text;
  if (const_cast<CAny&>(value).nGetTexte(&text) >= 100 || text.pszGet() == nullptr) return false;
  std::u16string t = text.pszGet();
  std::u16string digits;
  for (char16_t c : t) {
    if (c >= u'0' && c <= u'9') digits.push_back(c);
  }
  if (digits.size() < 8) return false;
  auto number = [&](size_t from, size_t n) {
    int v = 0;
    for (size_t i = from; i < from + n; ++i) v = v * 10 + (digits[i] - u'0');
    return v;
  };
  int year = number(0, 4), month = number(4, 2), day = number(6, 2);
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= last;
}

}  // namespace

// ---- what a write changes

void NAWriteTarget::Clear() {
  if (pTable != nullptr) ReleaseBoth(pTable);
  if (pQuery != nullptr) ReleaseBoth(pQuery);
  if (pSessionTable != nullptr) ReleaseBoth(pSessionTable);
  pTable = nullptr;
  pQuery = nullptr;
  pSessionTable = nullptr;
  strName.clear();
  strQuotedName.clear();
  anSessionColumn.clear();
  bStoredQuery = false;
  bWholeTable = false;
}

int NAWriteTarget::nTargetColumn(int n) const {
  for (size_t t = 0; t < anSessionColumn.size(); ++t) {
    if (anSessionColumn[t] == n && n >= 0) return static_cast<int>(t);
  }
  return -1;
}

namespace {

bool SameNameNoCase(const char16_t* a, const char16_t* b) {
  if (a == nullptr || b == nullptr) return false;
  for (; *a != 0 && *b != 0; ++a, ++b) {
    char16_t x = *a >= u'A' && *a <= u'Z' ? static_cast<char16_t>(*a - u'A' + u'a') : *a;
    char16_t y = *b >= u'A' && *b <= u'Z' ? static_cast<char16_t>(*b - u'A' + u'a') : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// The last part of a qualified name (the table of "db.table").
const char16_t* LastPart(const char16_t* name) {
  const char16_t* last = name;
  for (const char16_t* p = name; p != nullptr && *p != 0; ++p) {
    if (*p == u'.') last = p + 1;
  }
  return last;
}

bool ClausePresent(qg::IParsedQuery* parsed, int32_t clause) {
  qg::ParseRange range = parsed->GetClause(clause);
  return range.nStart >= 0 && range.nEnd > range.nStart;
}

// DISTINCT (or DISTINCTROW) between SELECT and the select list.
bool IsDistinct(qg::IParsedQuery* parsed) {
  const char16_t* text = parsed->pszGetText();
  qg::ParseRange list = parsed->GetClause(qg::kClauseSelectList);
  if (text == nullptr || list.nStart <= 0) return false;
  std::u16string head(text, static_cast<size_t>(list.nStart));
  for (char16_t& c : head) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return head.find(u"DISTINCT") != std::u16string::npos;
}

}  // namespace

bool CNATableAccess::bResolveWriteTarget(uint32_t minor, CNAError* error) {
  CNASession* session = m_pSession;
  if (session == nullptr) return false;
  CNAQuery* query = session->pclGetQuery();
  CNATableDescription* own = session->pclGetTableDescription();
  if (own == nullptr) return false;
  if (m_stTarget.pTable != nullptr && m_stTarget.pQuery == query &&
      m_stTarget.pSessionTable == own) {
    return true;
  }
  m_stTarget.Clear();
  m_stTarget.pSessionTable = NAAddRef(own);
  if (query == nullptr) {
    m_stTarget.pTable = NAAddRef(own);
    const char16_t* quoted = session->pszGetQuotedTableName();
    m_stTarget.strQuotedName = quoted != nullptr ? quoted : u"";
    const char16_t* name = session->pszGetFileName();
    m_stTarget.strName = name != nullptr ? name : u"";
    for (int i = 0; i < own->nGetColumnCount(); ++i) m_stTarget.anSessionColumn.push_back(i);
    m_stTarget.bWholeTable = true;
    return true;
  }
  m_stTarget.pQuery = NAAddRef(query);
  auto refuse = [&] {
    m_stTarget.Clear();
    if (error != nullptr && !error->bHasError()) {
      error->SetErrorMessage(0, kSite, minor, nullptr, 8u, session->pszGetFileName());
    }
    return false;
  };
  // Rows of one table, each the row of that table it was read from.
  qg::IParsedQuery* parsed = query->piGetParsed();
  if (parsed == nullptr || (session->m_nFlags & kNASessionRawSQL) != 0 ||
      (query->nGetKind() != CNAQuery::kKindSelect && query->nGetKind() != CNAQuery::kKindNone) ||
      parsed->nGetSourceCount() != 1 ||
      query->bHasAggregate() || parsed->nGetGroupCount() > 0 ||
      ClausePresent(parsed, qg::kClauseHaving) || IsDistinct(parsed)) {
    return refuse();
  }
  const qg::ParseSource* source = parsed->pGetSource(0);
  if (source == nullptr || source->piSubquery != nullptr || source->pszName == nullptr ||
      source->pszName[0] == 0) {
    return refuse();
  }
  CNAError quiet;
  quiet.SetSilent(true);
  CNATableDescription* base = session->pclDescribeTable(source->pszName, &quiet);
  if (base == nullptr) return refuse();
  m_stTarget.pTable = base;  // the reference the description came with
  CTString quoted;
  if (m_pConnection == nullptr ||
      !m_pConnection->bQuoteQualifiedName(&quiet, source->pszName, &quoted)) {
    return refuse();
  }
  m_stTarget.strQuotedName = quoted.pszGet() != nullptr ? quoted.pszGet() : u"";
  m_stTarget.strName = source->pszName;
  m_stTarget.anSessionColumn.assign(static_cast<size_t>(base->nGetColumnCount()), -1);
  // Each column of the result that the server says is a column of the
  // source table stands for it (by the column's name there, whatever the
  // query calls it); the query's own columns stand for none.
  const char16_t* table_name = LastPart(source->pszName);
  int mapped = 0;
  for (int i = 0; i < own->nGetColumnCount(); ++i) {
    CNAColumn* column = own->pclColumnAt(i);
    if (column == nullptr || column->bIsComposite() ||
        (column->nGetColumnFlags() & kNAColFlagQueryOwn) != 0) {
      continue;
    }
    if (!SameNameNoCase(column->pszGetTable(), table_name)) return refuse();
    CNAColumn* target = base->pclFindColumn(column->pszGetBaseName(), 1);
    int t = target != nullptr ? ColumnIndex(base, target) : -1;
    if (t < 0) return refuse();
    // A column shown twice takes its value from the first.
    if (m_stTarget.anSessionColumn[static_cast<size_t>(t)] < 0) {
      m_stTarget.anSessionColumn[static_cast<size_t>(t)] = i;
      ++mapped;
    }
  }
  if (mapped == 0) return refuse();
  m_stTarget.bStoredQuery = true;
  m_stTarget.bWholeTable = !ClausePresent(parsed, qg::kClauseWhere) &&
                           !ClausePresent(parsed, qg::kClauseLimit);
  return true;
}

// ---- the statement head and the row identity

// The head of an INSERT, UPDATE or DELETE and the table it changes (the
// target resolved for the session). Emptying a stored query that does not
// read its whole table is refused: it would remove rows the query does
// not show.
static bool WriteHead(const NAWriteTarget& target, CNASession* session, int kind,
                      CNASQLGenerator* g, CNAError* error) {
  const char16_t* head = kind == 2   ? u"UPDATE "
                         : kind == 3 ? u"INSERT INTO "
                         : kind == 4 || kind == 5 ? u"DELETE FROM "
                                                  : nullptr;
  if (head == nullptr) return false;
  if (kind == 5 && target.bStoredQuery && !target.bWholeTable) {
    if (error != nullptr) {
      error->SetErrorMessage(0, kSite, 3, nullptr, 8u, session->pszGetFileName());
    }
    return false;
  }
  g->SetStatementKind(kind);
  return g->bAppend(head) && g->bAppend(target.strQuotedName);
}

// The row of an UPDATE or DELETE, named by the values of the record as it
// was read (the row the record came from) or, after a write through the
// record, as the server stored the values written; each value is written
// as the literal the server compares equal to the stored value. The
// identifying key names the row when every part of the key holds a value;
// a table without a unique key, or a key part that is NULL (which
// identifies nothing), falls back to every plain column that is not a
// large object (ENUM, SET and long VARCHAR values count as short),
// compared NULL-safely and texts by their characters, not by their
// collation (a unique key's collation is fine: no two rows are equal under
// it), and the statement changes one row at most (LIMIT 1: rows equal in
// all those columns are whole duplicates unless a large object tells them
// apart, and then the write is refused when more than one row matches).
struct RowIdentity {
  std::u16string condition;  // without " WHERE "
  bool whole_row = false;
  bool ambiguous = false;    // whole row with a large object or an unshown column left out
  bool lossy = false;        // a value as the conversation showed it
  std::vector<int> columns;  // the columns named, in the table's order
};

static bool BuildRowIdentity(CNATableDescription* table, CNAConnection* connection,
                             const NARowValues& row, RowIdentity* identity) {
  auto value_of = [&](CNAColumn* column) -> const NAIdentityValue* {
    int n = column != nullptr ? ColumnIndex(table, column) : -1;
    return n >= 0 && static_cast<size_t>(n) < row.aValues.size()
               ? &row.aValues[static_cast<size_t>(n)]
               : nullptr;
  };
  CNAColumn* key = IdentifyingKey(table);
  if (key != nullptr) {
    std::vector<CNAColumn*> parts;
    if (key->bIsComposite()) {
      for (int i = 1; i <= key->nGetPartCount(); ++i) parts.push_back(key->pclGetPart(i));
    } else {
      parts.push_back(key);
    }
    std::u16string condition;
    bool named = true;
    for (CNAColumn* part : parts) {
      const NAIdentityValue* value = value_of(part);
      std::u16string name;
      if (value != nullptr && value->bAbsent) {
        // A key part the row does not show names nothing.
        named = false;
        break;
      }
      if (value == nullptr ||
          (!value->bNull && !value->bHasLiteral && !value->bLossy && !value->bByBytes) ||
          !Quote(connection, part->pszGetName(), &name, nullptr)) {
        return false;
      }
      if (value->bNull) {
        named = false;
        break;
      }
      if (!condition.empty()) condition += u" AND ";
      if (value->bLossy || value->bByBytes) {
        // Only what the conversation shows of it (other rows may show the
        // same: resolved before the write), or its stored bytes.
        if (!value->bHasExact) return false;
        condition += value->strExact;
        identity->lossy = identity->lossy || value->bLossy;
      } else {
        condition += name + u" = " + value->strLiteral;
      }
      identity->columns.push_back(ColumnIndex(table, part));
    }
    if (named) {
      identity->condition = std::move(condition);
      return true;
    }
    identity->columns.clear();
    identity->lossy = false;
  }
  identity->whole_row = true;
  for (int n = 0; n < table->nGetColumnCount(); ++n) {
    CNAColumn* column = table->pclColumnAt(n);
    if (column->bIsComposite()) continue;
    const NAIdentityValue* value = value_of(column);
    if (value == nullptr) return false;
    if (value->bAbsent || (column->bIsLargeObject() && !value->bShort)) {
      identity->ambiguous = true;
      continue;
    }
    // Exactly as stored: rows that the column's collation finds equal
    // (case, accents, trailing spaces) are different rows.
    if (!value->bHasExact) return false;
    if (!identity->condition.empty()) identity->condition += u" AND ";
    identity->condition += value->strExact;
    identity->lossy = identity->lossy || value->bLossy;
    identity->columns.push_back(n);
  }
  return !identity->condition.empty();
}

// The number of rows a condition matches, through a fresh table access
// object of the session; -1 when it cannot be counted.
static int64_t CountMatchingRows(CNASession* session, const std::u16string& table,
                                 const std::u16string& condition) {
  CNAConnection* connection = session->pclGetConnection();
  CNAManager* manager = connection != nullptr ? connection->pclGetManager() : nullptr;
  CNATableAccess* probe =
      manager != nullptr ? manager->pclNewTableAccess(session, connection) : nullptr;
  if (probe == nullptr) return -1;
  AddRefBoth(probe);
  CNASQLGenerator* g = session->pclNewSQLGenerator();
  int64_t found = -1;
  if (g != nullptr) {
    AddRefBoth(g);
    g->SetStatementKind(1);
    CNAError quiet;
    quiet.SetSilent(true);
    if (g->bAppend(u"SELECT COUNT(*) FROM ") && g->bAppend(table) && g->bAppend(u" WHERE ") &&
        g->bAppend(condition)) {
      found = probe->nRunCount(g, &quiet);
    }
    ReleaseBoth(g);
  }
  probe->Close();
  ReleaseBoth(probe);
  return found;
}

// The SELECT that finds the row an UPDATE left, by the identity it named
// the row with: each column the UPDATE set compared with the value written
// in its stored form, every other one as before. Null when the row's
// identity does not change (no column of a key identity written).
static CNASQLGenerator* NewReread(CNASession* session, const NAWriteTarget& target,
                                  const NARowValues& row, const RowIdentity& identity,
                                  const std::vector<int>& written, NAEditRecord* edits) {
  CNAConnection* connection = session->pclGetConnection();
  CNATableDescription* table = target.pTable;
  // The value an UPDATE wrote into column n of the table.
  auto edit = [&](int n) { return edits->pclGet(target.nSessionColumn(n)); };
  auto is_written = [&](int n) {
    return std::find(written.begin(), written.end(), n) != written.end();
  };
  bool changed = identity.whole_row;
  bool null_key = false;
  for (int n : identity.columns) {
    if (!is_written(n)) continue;
    changed = true;
    const CAny* value = edit(n);
    if (value == nullptr || value->bEstNull()) null_key = true;
  }
  if (!changed) return nullptr;
  // A key part set to NULL names nothing: the row is found by all of it.
  RowIdentity whole;
  const RowIdentity* by = &identity;
  if (null_key) {
    whole.whole_row = true;
    for (int n = 0; n < table->nGetColumnCount(); ++n) {
      CNAColumn* column = table->pclColumnAt(n);
      const NAIdentityValue& was = row.aValues[static_cast<size_t>(n)];
      if (column->bIsComposite() || was.bAbsent || (column->bIsLargeObject() && !was.bShort)) {
        continue;
      }
      whole.columns.push_back(n);
    }
    by = &whole;
  }
  CNASQLGenerator* g = session->pclNewSQLGenerator();
  if (g == nullptr) return nullptr;
  AddRefBoth(g);
  g->SetStatementKind(1);
  bool ok = g->bAppend(u"SELECT ");
  for (int n = 0; ok && n < table->nGetColumnCount(); ++n) {
    CNAColumn* column = table->pclColumnAt(n);
    std::u16string name;
    if (column->bIsComposite()) {
      name = u"NULL";
    } else {
      ok = Quote(connection, column->pszGetName(), &name, nullptr);
    }
    ok = ok && (n == 0 || g->bAppend(u",")) && g->bAppend(name);
  }
  ok = ok && g->bAppend(u" FROM ") && g->bAppend(target.strQuotedName) &&
       g->bAppend(u" WHERE ");
  bool first = true;
  for (int n : by->columns) {
    if (!ok) break;
    const NAIdentityValue& was = row.aValues[static_cast<size_t>(n)];
    // The server changed it with the update: its old value names nothing.
    if (!is_written(n) && was.bSetByServer && by->whole_row) continue;
    ok = first || g->bAppend(u" AND ");
    first = false;
    if (!is_written(n)) {
      if (by->whole_row || was.bLossy || was.bByBytes) {
        ok = ok && was.bHasExact && g->bAppend(was.strExact);
      } else {
        std::u16string name;
        ok = ok && was.bHasLiteral &&
             Quote(connection, table->pclColumnAt(n)->pszGetName(), &name, nullptr) &&
             g->bAppend(name) && g->bAppend(u" = ") && g->bAppend(was.strLiteral);
      }
      continue;
    }
    std::u16string name;
    const CAny* value = edit(n);
    ok = ok && value != nullptr && Quote(connection, table->pclColumnAt(n)->pszGetName(), &name,
                                         nullptr) &&
         g->bAppend(name);
    if (!ok) break;
    if (value->bEstNull()) {
      ok = g->bAppend(u" IS NULL");
    } else if (was.strStoredType.empty()) {
      ok = g->bAppend(u" = ") && g->bAddMarker(*value, 0, CNASQLGenerator::kMarkerValue, 0);
    } else {
      ok = g->bAppend(u" = CAST(") &&
           g->bAddMarker(*value, 0, CNASQLGenerator::kMarkerValue, 0) &&
           g->bAppend(u" AS ") && g->bAppend(was.strStoredType) && g->bAppend(u")");
    }
  }
  // Every column named was one the server sets: any row may be the one.
  if (ok && first) ok = g->bAppend(u"1 = 1");
  // Three rows tell one alone from duplicates and from rows that differ.
  g->SetRowLimit(3);
  if (!ok) {
    ReleaseBoth(g);
    return nullptr;
  }
  return g;
}

// The texts of `row` that may have lost characters on their way are
// replaced by conditions on their stored bytes, read from the one row the
// identity finds (or from whole duplicates); false when none is found, or
// several that differ in those bytes.
static bool bResolveShownTexts(CNASession* session, const NAWriteTarget& target,
                               const RowIdentity& identity, NARowValues* row) {
  CNAConnection* connection = session->pclGetConnection();
  CNATableDescription* table = target.pTable;
  std::vector<int> lossy;
  std::vector<std::u16string> names;
  for (int n : identity.columns) {
    if (!row->aValues[static_cast<size_t>(n)].bLossy) continue;
    std::u16string name;
    if (!Quote(connection, table->pclColumnAt(n)->pszGetName(), &name, nullptr)) return false;
    lossy.push_back(n);
    names.push_back(name);
  }
  if (lossy.empty()) return true;
  CNAManager* manager = connection != nullptr ? connection->pclGetManager() : nullptr;
  CNATableAccess* probe =
      manager != nullptr ? manager->pclNewTableAccess(session, connection) : nullptr;
  CNASQLGenerator* g = probe != nullptr ? session->pclNewSQLGenerator() : nullptr;
  if (g == nullptr) return false;
  CNARefPtr<CNATableAccess> hold_probe(NAAddRef(probe));
  CNARefPtr<CNASQLGenerator> hold_generator(NAAddRef(g));
  g->SetStatementKind(1);
  bool ok = g->bAppend(u"SELECT ");
  // A text's stored bytes in hexadecimal; a rounded number as the text of
  // the double the server compares it as.
  auto rounded = [&](size_t i) {
    return row->aValues[static_cast<size_t>(lossy[i])].bRounded;
  };
  for (size_t i = 0; ok && i < names.size(); ++i) {
    ok = (i == 0 || g->bAppend(u",")) &&
         (rounded(i) ? g->bAppend(u"CAST(CAST(") && g->bAppend(names[i]) &&
                           g->bAppend(u" AS DOUBLE) AS CHAR)")
                     : g->bAppend(u"HEX(CAST(") && g->bAppend(names[i]) &&
                           g->bAppend(u" AS BINARY))"));
  }
  ok = ok && g->bAppend(u" FROM ") && g->bAppend(target.strQuotedName) &&
       g->bAppend(u" WHERE ") && g->bAppend(identity.condition);
  g->SetRowLimit(3);
  CNAError quiet;
  quiet.SetSilent(true);
  ok = ok && probe->bBindGenerator(g, &quiet) && probe->bExecute(0, 0, nullptr, &quiet);
  std::vector<std::u16string> bytes;
  int found = 0;
  CNAStatement* rows = ok ? probe->pclGetResult() : nullptr;
  while (ok && rows->bFetchNext(0, &quiet) && rows->bHasRow()) {
    std::vector<std::u16string> these;
    for (size_t i = 0; ok && i < lossy.size(); ++i) {
      CAny value;
      CXYString<char16_t> text;
      ok = probe->bColumnText(value, static_cast<int>(i), &quiet) && !value.bEstNull() &&
           value.nGetTexte(&text) < 100;
      std::u16string shown(text.pszGet() != nullptr ? text.pszGet() : u"");
      if (rounded(i)) {
        // Back as the same double, written with an exponent so that the
        // server reads a double.
        std::string narrow;
        for (char16_t c : shown) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        double d = 0;
        auto r = std::from_chars(narrow.data(), narrow.data() + narrow.size(), d);
        char buffer[64];
        ok = ok && r.ec == std::errc() && r.ptr == narrow.data() + narrow.size() &&
             std::isfinite(d);
        if (ok) {
          auto done = std::to_chars(buffer, buffer + sizeof(buffer), d,
                                    std::chars_format::scientific);
          shown.assign(buffer, done.ptr);
        }
      } else {
        for (char16_t c : shown) {
          ok = ok && ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
        }
      }
      these.push_back(shown);
    }
    if (found++ == 0) {
      bytes = these;
    } else if (these != bytes) {
      ok = false;
    }
  }
  probe->Close();
  if (!ok || found == 0) return false;
  for (size_t i = 0; i < lossy.size(); ++i) {
    NAIdentityValue& value = row->aValues[static_cast<size_t>(lossy[i])];
    value.strExact = value.bRounded ? names[i] + u" = " + bytes[i]
                                    : u"CAST(" + names[i] + u" AS BINARY) = X'" + bytes[i] + u"'";
    value.bByBytes = true;
    value.bLossy = false;
  }
  return true;
}

// " WHERE " and the row identity; on a whole-row identity " LIMIT 1"
// after it (on servers that take it), and a refusal (error 7) when a
// large object left out of the comparison is all that could tell the
// matching rows apart. A record deleted, or whose row was not found again
// after a modify, is no longer found (error 13).
// The object whose current record a modify or delete through `writer`
// names: the session's current one while it stands on a row (of its open
// result, or of the record set along a client-side key), else the writer
// itself.
static CNATableAccess* IdentityReader(CNATableAccess* writer, CNASession* session) {
  CNATableAccess* reader = session->pclGetCurrentTableAccess();
  if (reader == nullptr || !reader->bIsPositionValid() ||
      (reader->pclGetResult() == nullptr && !reader->bReadsThroughIndex())) {
    reader = writer;
  }
  return reader;
}

bool CNATableAccess::bWriteRowIdentity(CNASQLGenerator* g, const std::vector<int>* written,
                                       CNAError* error) {
  CNASession* session = m_pSession;
  const NAWriteTarget& target = m_stTarget;
  CNATableDescription* table = target.pTable;
  CNAConnection* connection = session->pclGetConnection();
  CNATableAccess* reader = IdentityReader(this, session);
  auto refuse = [&] {
    if (error != nullptr && !error->bHasError()) {
      error->SetErrorMessage(0, kSite, 4, nullptr, 7u, session->pszGetFileName());
    }
    return false;
  };
  NARowValues row;
  RowIdentity identity;
  if (table == nullptr || !reader->bCurrentRowValues(&row, target)) return refuse();
  if (row.nState == NARowValues::kGone) {
    ReportNoRowUpdated(error, 12);
    return false;
  }
  if (row.nState == NARowValues::kAmbiguous || !BuildRowIdentity(table, connection, row, &identity)) {
    return refuse();
  }
  if (identity.lossy) {
    // Named only by what the conversation shows of a text: the row is
    // found by that first (a read may show the value so, a write may not
    // compare it so) and then named by the text's own bytes.
    if (connection->m_nDbmsKind != 5 || !bResolveShownTexts(session, target, identity, &row)) {
      return refuse();
    }
    identity = RowIdentity();
    if (!BuildRowIdentity(table, connection, row, &identity) || identity.lossy) return refuse();
  }
  const bool limited = identity.whole_row && connection->m_nDbmsKind == 5;
  if (identity.whole_row && (identity.ambiguous || !limited) &&
      CountMatchingRows(session, target.strQuotedName, identity.condition) > 1) {
    return refuse();
  }
  ForgetNamedRecord();
  m_pNamedReader = reader;
  if (reader != this) AddRefBoth(reader);
  if (written != nullptr) {
    NAEditRecord* edits = session->pclGetEdits();
    if (edits != nullptr) m_pReread = NewReread(session, target, row, identity, *written, edits);
  }
  return g->bAppend(u" WHERE ") && g->bAppend(identity.condition) &&
         (!limited || g->bAppend(u" LIMIT 1"));
}

void CNATableAccess::ForgetNamedRecord() {
  if (m_pNamedReader != nullptr && m_pNamedReader != this) ReleaseBoth(m_pNamedReader);
  m_pNamedReader = nullptr;
  if (m_pReread != nullptr) ReleaseBoth(m_pReread);
  m_pReread = nullptr;
}

void CNATableAccess::NoteRowWritten(int32_t kind) {
  CNATableAccess* reader = m_pNamedReader;
  if (reader == nullptr || m_pSession == nullptr) {
    ForgetNamedRecord();
    return;
  }
  if (reader != this) AddRefBoth(reader);
  CNASQLGenerator* reread = m_pReread;
  m_pReread = nullptr;
  ForgetNamedRecord();
  NARowValues written;
  if (kind == 4) {
    written.nState = NARowValues::kGone;
    reader->SetWrittenRow(written);
  } else if (kind == 2 && reread != nullptr) {
    // The row as the server now holds it: one row, or whole duplicates
    // (interchangeable); none, or rows the values cannot tell apart, and
    // the record is named by nothing.
    written.nState = NARowValues::kGone;
    CNAManager* manager = m_pConnection != nullptr ? m_pConnection->pclGetManager() : nullptr;
    CNATableAccess* probe =
        manager != nullptr ? manager->pclNewTableAccess(m_pSession, m_pConnection) : nullptr;
    if (probe != nullptr) {
      AddRefBoth(probe);
      CNAError quiet;
      quiet.SetSilent(true);
      CNATableDescription* table = m_stTarget.pTable;
      if (probe->bBindGenerator(reread, &quiet) && probe->bExecute(0, 0, nullptr, &quiet)) {
        CNAStatement* rows = probe->pclGetResult();
        int found = 0;
        while (rows->bFetchNext(0, &quiet) && rows->bHasRow()) {
          NARowValues one;
          if (!one.bTake(rows, table, m_pConnection)) {
            found = -1;
            break;
          }
          if (found++ == 0) {
            written = one;
          } else if (!(one.aValues == written.aValues)) {
            written.nState = NARowValues::kAmbiguous;
          }
        }
        if (found < 0) written.nState = NARowValues::kAmbiguous;
      } else {
        written.nState = NARowValues::kAmbiguous;
      }
      probe->Close();
      ReleaseBoth(probe);
    }
    reader->SetWrittenRow(written);
  }
  if (reread != nullptr) ReleaseBoth(reread);
  if (reader != this) ReleaseBoth(reader);
}

bool CNATableAccess::bWrittenRowStands() const {
  return m_bHasWrittenRow && m_bPositionValid && m_nCurrentRow == m_nWrittenAt &&
         m_pResult == m_pWrittenResult && m_pTemporaryIndex == m_pWrittenIndex &&
         (m_pResult == nullptr || m_pResult->nGetExecution() == m_nWrittenExecution);
}

void CNATableAccess::SetWrittenRow(const NARowValues& values) {
  m_bHasWrittenRow = m_bPositionValid;
  m_stWrittenRow = values;
  m_pWrittenResult = m_pResult;
  m_nWrittenExecution = m_pResult != nullptr ? m_pResult->nGetExecution() : 0;
  m_nWrittenAt = m_nCurrentRow;
  m_pWrittenIndex = m_pTemporaryIndex;
}

const NARowValues* CNATableAccess::pclWrittenEntryRow() {
  auto* source = m_pSession != nullptr
                     ? static_cast<CNARecordSource*>(m_pSession->pclGetRecordSource())
                     : nullptr;
  if (source == nullptr || !m_bPositionValid || m_nCurrentRow < 0 || m_nCurrentRow > 0x7FFFFFFF ||
      !bCacheReads()) {
    return nullptr;
  }
  const CNARecordCacheBase* set =
      m_pTemporaryIndex != nullptr
          ? static_cast<CNATemporaryIndex*>(m_pTemporaryIndex)->pclGetRecordSet()
          : m_pCache;
  return set != nullptr && set == source->pclGetRecordSet()
             ? source->pclGetWrittenRow(static_cast<int>(m_nCurrentRow))
             : nullptr;
}

bool CNATableAccess::bWrittenSinceRead() { return pclWrittenEntryRow() != nullptr; }

bool CNATableAccess::bCurrentRowValues(NARowValues* out, const NAWriteTarget& target) {
  if (bWrittenRowStands()) {
    *out = m_stWrittenRow;
    return true;
  }
  m_bHasWrittenRow = false;
  if (m_pSession == nullptr || !m_bPositionValid) return false;
  // A record of the session's record set written since it was read: named
  // by its row as the server holds it since.
  const NARowValues* written = pclWrittenEntryRow();
  if (written != nullptr) {
    *out = *written;
    return true;
  }
  // A record read through the cache: the row it was read from, not the
  // row the result was read to.
  CNAStatement* rows = bCacheReads() ? pclRowOfRecord() : m_pResult;
  return rows != nullptr && rows->bHasRow() && target.pTable != nullptr &&
         out->bTake(rows, target.pTable, m_pConnection,
                    target.bStoredQuery ? &target.anSessionColumn : nullptr);
}

// ---- slots 15, 17, 19: INSERT, UPDATE, DELETE

bool CNATableAccess::bBuildInsert(CNAError* error) {
  if (!bEnsureGenerator() || m_pSession == nullptr) return false;
  CNASQLGenerator* g = m_pGenerator;
  NAEditRecord* edits = m_pSession->pclGetEdits();
  if (edits == nullptr || !bResolveWriteTarget(2, error)) return false;
  const NAWriteTarget& target = m_stTarget;
  CNATableDescription* table = target.pTable;
  if (!WriteHead(target, m_pSession, 3, g, error)) return false;
  if (!bPrepareAutoId(m_nOptions, error)) return false;
  bool auto_written = (m_nOptions & (0x100 | 0x200 | 0x400)) != 0;
  // Columns of the table and the session's columns that give their values.
  std::vector<int> columns;
  std::vector<int> sources;
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    CNAColumn* column = table->pclColumnAt(i);
    const int n = target.nSessionColumn(i);
    if (column->bIsComposite() || n < 0 || !edits->bIsSet(n)) continue;
    if (IsAutoIdentifier(column) && !auto_written) continue;
    columns.push_back(i);
    sources.push_back(n);
  }
  if (columns.empty()) {
    // Nothing set: the first writable column that is not an identifier
    // takes its default, so that the server fills the whole row with its
    // defaults (a bare "VALUES ( DEFAULT )" names one column only).
    for (int i = 0; i < table->nGetColumnCount(); ++i) {
      CNAColumn* column = table->pclColumnAt(i);
      if (column->bIsComposite() || !column->bIsWritable() || IsAutoIdentifier(column)) continue;
      std::u16string name;
      return Quote(m_pConnection, column->pszGetName(), &name, error) && g->bAppend(u" (") &&
             g->bAppend(name) && g->bAppend(u") VALUES ( DEFAULT )") && bAppendReturning(error);
    }
    // The closing quote of a quoted name separates it from VALUES.
    const std::u16string& table_name = target.strQuotedName;
    char16_t last = table_name.empty() ? 0 : table_name.back();
    bool quoted = last == u'`' || last == u'"' || last == u']';
    return g->bAppend(quoted ? u"VALUES ( DEFAULT )" : u" VALUES ( DEFAULT )");
  }
  bool ok = g->bAppend(u" (");
  for (size_t i = 0; ok && i < columns.size(); ++i) {
    std::u16string name;
    ok = Quote(m_pConnection, table->pclColumnAt(columns[i])->pszGetName(), &name, error) &&
         (i == 0 || g->bAppend(u",")) && g->bAppend(name);
  }
  ok = ok && g->bAppend(u") VALUES ( ");
  for (size_t i = 0; ok && i < sources.size(); ++i) {
    ok = (i == 0 || g->bAppend(u", ")) && bAppendValue(*edits->pclGet(sources[i]), error);
  }
  return ok && g->bAppend(u" )") && bAppendReturning(error);
}

bool CNATableAccess::bBuildUpdate(CNAError* error) {
  if (!bEnsureGenerator() || m_pSession == nullptr) return false;
  CNASQLGenerator* g = m_pGenerator;
  NAEditRecord* edits = m_pSession->pclGetEdits();
  if (edits == nullptr || !bResolveWriteTarget(2, error)) return false;
  const NAWriteTarget& target = m_stTarget;
  CNATableDescription* table = target.pTable;
  bool auto_written = (m_nOptions & (0x100 | 0x200 | 0x400)) != 0;
  // Columns of the table (the session's column giving each value is
  // target.nSessionColumn).
  std::vector<int> columns;
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    CNAColumn* column = table->pclColumnAt(i);
    const int n = target.nSessionColumn(i);
    if (column->bIsComposite() || n < 0 || !edits->bIsSet(n)) continue;
    if (IsAutoIdentifier(column) && !auto_written) continue;
    columns.push_back(i);
  }
  // A text read with characters the conversation lacks shown as '?' is not
  // written back as read: that would store the '?'.
  NARowValues row;
  if (!columns.empty() && IdentityReader(this, m_pSession)->bCurrentRowValues(&row, target)) {
    columns.erase(std::remove_if(columns.begin(), columns.end(),
                                 [&](int n) {
                                   if (static_cast<size_t>(n) >= row.aValues.size() ||
                                       !row.aValues[static_cast<size_t>(n)].bLossy) {
                                     return false;
                                   }
                                   CXYString<char16_t> text;
                                   const CAny* value = edits->pclGet(target.nSessionColumn(n));
                                   return value != nullptr && !value->bEstNull() &&
                                          value->nGetTexte(&text) < 100 &&
                                          std::u16string(text.pszGet() != nullptr ? text.pszGet()
                                                                                  : u"",
                                                         static_cast<size_t>(text.nTaille())) ==
                                              row.aValues[static_cast<size_t>(n)].strShown;
                                 }),
                  columns.end());
  }
  if (columns.empty()) {
    // Nothing changed: nothing is sent.
    g->Reset(false);
    return true;
  }
  if (!WriteHead(target, m_pSession, 2, g, error)) return false;
  bool ok = g->bAppend(u" SET ");
  for (size_t i = 0; ok && i < columns.size(); ++i) {
    std::u16string name;
    ok = Quote(m_pConnection, table->pclColumnAt(columns[i])->pszGetName(), &name, error) &&
         (i == 0 || g->bAppend(u", ")) && g->bAppend(name) && g->bAppend(u" = ") &&
         bAppendValue(*edits->pclGet(target.nSessionColumn(columns[i])), error);
  }
  return ok && bWriteRowIdentity(g, &columns, error);
}

bool CNATableAccess::bBuildDelete(CNAError* error) {
  if (!bEnsureGenerator() || m_pSession == nullptr) return false;
  CNASQLGenerator* g = m_pGenerator;
  int kind = g->nGetStatementKind() == 5 ? 5 : 4;
  if (!bResolveWriteTarget(kind == 5 ? 3 : 2, error)) return false;
  if (!WriteHead(m_stTarget, m_pSession, kind, g, error)) return false;
  if (kind == 5) return true;
  return bWriteRowIdentity(g, nullptr, error);
}

bool CNATableAccess::bAppendValue(const CAny& value, CNAError* error) {
  if (m_pGenerator == nullptr) return false;
  if (!m_pGenerator->bAddMarker(value, 0, CNASQLGenerator::kMarkerValue, 0)) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 48);
    return false;
  }
  return true;
}

bool CNATableAccess::bAppendReturning(CNAError*) { return true; }

// ---- slot 20: after a write

void CNATableAccess::OnRecordWritten(int32_t kind, bool ok, CNAError* error) {
  if (!ok || (kind != 2 && kind != 3 && kind != 4) || m_pSession == nullptr) return;
  auto* source = static_cast<CNARecordSource*>(m_pSession->pclGetRecordSource());
  const int32_t entry = m_pSession->nGetWrittenEntry();
  // The write named this object's current record.
  const bool named = m_pSession->pclGetWrittenReader() == this && m_bPositionValid;
  if (m_pTemporaryIndex != nullptr) {
    // The index follows the record in the record set (which still holds
    // it as read for a modify or delete).
    auto* index = static_cast<CNATemporaryIndex*>(m_pTemporaryIndex);
    if (entry >= 0 && source != nullptr && index->pclGetRecordSet() == source->pclGetRecordSet()) {
      index->UpdateForRecordChange(kind, entry, error);
    }
    if (kind == 4 && named && m_nCurrentRow == entry) {
      m_bFound = false;
      m_bInRange = false;
    }
    return;
  }
  // The record source keeps the record set this object reads.
  if (source != nullptr && m_pCache != nullptr && source->bIsOpenedRecordSet(m_pCache) &&
      bIsCacheFull()) {
    return;
  }
  CNAFileDescription* logical = pclGetFileDescription();
  CNARecordImage* image = logical != nullptr ? logical->pclGetCurrentImage() : nullptr;
  const uint32_t options = m_pSession->nGetWrittenOptions();
  if (bCacheReads()) {
    // Cache row n is row n of the open result.
    if (kind == 2 && named && image != nullptr) m_pCache->ReplaceRecord(m_nCurrentRow, image);
    if (kind == 3 && image != nullptr && bIsCacheFull()) {
      // Behind the rows of the order (they are not read again).
      m_pCache->nAppendRecord(image, error);
    }
    if (kind == 4 && named) {
      m_pCache->SetEntryState(static_cast<int>(m_nCurrentRow), kNARecordInvalid);
      MarkRowDeleted(m_nCurrentRow);
      m_bFound = false;
      m_bInRange = false;
    }
    if (kind == 2 && named && (options & 0x40) != 0) {
      // Read again: the record as the cache now holds it.
      CNAError quiet;
      quiet.SetSilent(true);
      bLoadCachedRow(m_nCurrentRow, &quiet);
    }
  } else if (kind == 4 && named) {
    // Moves skip the deleted row from now on; other objects stand on other
    // records or read theirs again.
    MarkRowDeleted(m_nCurrentRow);
    m_bFound = false;
    m_bInRange = false;
  }
  // A modify asked to re-read the record renews the lock on it.
  if (named && kind == 2 && (options & 0x40) != 0 && (options & 0x4000) == 0 &&
      m_nLockMode != 0) {
    m_nLockMode = m_pCache != nullptr || m_pResult != nullptr ? 2 : 1;
  }
}

// The auto-identifier column of the table, -1 when it has none.
static int AutoIdentifierColumn(CNATableDescription* table) {
  for (int i = 0; table != nullptr && i < table->nGetColumnCount(); ++i) {
    CNAColumn* column = table->pclColumnAt(i);
    if (!column->bIsComposite() && IsAutoIdentifier(column)) return i;
  }
  return -1;
}

// Runs one read of the session's identity query object on this object's
// result statement: the last identity (next false) or the next value.
bool CNATableAccess::bReadIdentity(bool next, int column, CAny* value, CNAError* error) {
  CNATableDescription* table = m_stTarget.pTable;
  if (table == nullptr) return false;
  CNARefCounted* helper = m_pSession->pclGetSQLHelper(error);
  auto* identity = dynamic_cast<CNAIdentityQuery*>(helper);
  if (identity == nullptr) {
    NARelease(helper);
    if (error != nullptr && !error->bHasError()) error->SetOutOfMemory(kSite, next ? 22 : 21);
    return false;
  }
  if (m_pResult == nullptr) {
    m_pResult = NAAddRef(pclNewResult());
    if (m_pResult == nullptr) {
      NARelease(helper);
      if (error != nullptr) error->SetOutOfMemory(kSite, next ? 22 : 21);
      return false;
    }
  }
  NAIdentityTarget target;
  target.connection = m_pConnection;
  target.table = m_stTarget.strName.c_str();
  target.column = table->pclColumnAt(column)->pszGetName();
  target.nHostType = table->pclColumnAt(column)->nGetType();
  target.bQuoteNames = true;
  bool ok = next ? identity->bReadNextValue(m_pResult, target, value, error)
                 : identity->bReadLastIdentity(m_pResult, target, value, error);
  NARelease(helper);
  return ok;
}

// The identifier the server generated for the INSERT just run, read by the
// session's identity query object into the record (not with options 0x100
// or 0x400, which leave the identifier alone).
bool CNATableAccess::bReadInsertId(CNAError* error) {
  if ((m_nOptions & (0x100 | 0x400)) != 0 || m_pSession == nullptr) return true;
  if (!bResolveWriteTarget(2, error)) return false;
  const int column = AutoIdentifierColumn(m_stTarget.pTable);
  const int n = m_stTarget.nSessionColumn(column);
  NAEditRecord* edits = m_pSession->pclGetEdits();
  if (column < 0 || edits == nullptr) return true;
  CAny value;
  if (!bReadIdentity(false, column, &value, error)) return false;
  // A stored query that does not show the identifier has nowhere to keep it.
  if (n >= 0 && !edits->bSet(n, value)) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 21);
    return false;
  }
  return true;
}

// Before an INSERT: with option 0x200 the session supplies the new
// identifier (the column's next value), which the record takes and the
// INSERT writes. Options 0x100 and 0x400 leave the identifier alone.
bool CNATableAccess::bPrepareAutoId(uint32_t options, CNAError* error) {
  if ((options & (0x100 | 0x400)) != 0 || (options & 0x200) == 0 || m_pSession == nullptr) {
    return true;
  }
  if (!bResolveWriteTarget(2, error)) return false;
  const int column = AutoIdentifierColumn(m_stTarget.pTable);
  const int n = m_stTarget.nSessionColumn(column);
  NAEditRecord* edits = m_pSession->pclGetEdits();
  // Without a session column to carry it, the INSERT could not write it.
  if (column < 0 || n < 0 || edits == nullptr) return true;
  CAny value;
  if (!bReadIdentity(true, column, &value, error)) return false;
  if (!edits->bSet(n, value)) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 22);
    return false;
  }
  return true;
}

// ---- slots 13, 42 to 45: CREATE TABLE

bool CNATableAccess::bCreateTable(CNAError* error) {
  if (!bEnsureGenerator() || m_pSession == nullptr) return false;
  CNASQLGenerator* g = m_pGenerator;
  CNATableDescription* table = m_pSession->pclGetTableDescription();
  if (table == nullptr) return false;
  g->SetStatementKind(6);
  bool ok = g->bAppend(u"CREATE TABLE ") && g->bAppend(m_pSession->pszGetQuotedTableName()) &&
            g->bAppend(u"( ");
  bool first = true;
  for (int i = 0; ok && i < table->nGetColumnCount(); ++i) {
    CNAColumn* column = table->pclColumnAt(i);
    if (column->bIsComposite()) continue;
    std::u16string name;
    CTString type, def, generated, constraint;
    ok = Quote(m_pConnection, column->pszGetName(), &name, error) &&
         bColumnType(i, &type, error) && bColumnDefault(i, &def, error) &&
         bGeneratedColumn(i, &generated, error) && bColumnConstraint(i, &constraint, error);
    if (!ok) break;
    if (!first) ok = g->bAppend(u", ");
    first = false;
    ok = ok && g->bAppend(name);
    // Kind 2 leaves the type of a generated column out.
    bool typed = !(m_pConnection->m_nDbmsKind == 2 && column->bHasGeneration());
    if (typed) ok = ok && g->bAppend(u" ") && g->bAppend(type.pszGet());
    const char16_t* d = def.pszGet();
    if (d != nullptr && std::char_traits<char16_t>::length(d) > 1) {
      ok = ok && g->bAppend(u" ") && g->bAppend(d);
    }
    if (generated.pszGet() != nullptr) ok = ok && g->bAppend(generated.pszGet());
    if (constraint.pszGet() != nullptr) ok = ok && g->bAppend(constraint.pszGet());
  }
  return ok && g->bAppend(u" )");
}

bool CNATableAccess::bColumnType(int column, CTString* out, CNAError* error) {
  out->RAZ();
  CNATableDescription* table = m_pSession != nullptr ? m_pSession->pclGetTableDescription()
                                                     : nullptr;
  CNAColumn* c = table != nullptr ? table->pclColumnAt(column) : nullptr;
  if (c == nullptr) return false;
  static CNASQLTypeMap* names = [] {
    auto* map = new CNASQLTypeMap();
    map->AddRef();
    map->RegisterDefaultTypeNames();
    return map;
  }();
  if (!names->bFormatType(*c, out)) {
    if (error != nullptr) {
      error->SetErrorMessage(0, kSite, 42, nullptr, 6u, c->pszGetName());
    }
    return false;
  }
  return true;
}

bool CNATableAccess::bColumnConstraint(int column, CTString* out, CNAError*) {
  out->RAZ();
  CNATableDescription* table = m_pSession != nullptr ? m_pSession->pclGetTableDescription()
                                                     : nullptr;
  CNAColumn* c = table != nullptr ? table->pclColumnAt(column) : nullptr;
  if (c == nullptr) return false;
  std::u16string text;
  if (c->bIsPrimary() || IsAutoIdentifier(c)) {
    text = u" PRIMARY KEY ";
  } else if (c->bIsUnique()) {
    text = u" UNIQUE ";
  }
  if (!c->bIsPrimary() && !c->bIsNullable() && m_pConnection != nullptr &&
      m_pConnection->bCanDeclareNotNull(c)) {
    text += u" NOT NULL ";
  }
  if (!text.empty()) out->Set(text.c_str());
  return true;
}

bool CNATableAccess::bColumnDefault(int column, CTString* out, CNAError* error) {
  out->RAZ();
  CNATableDescription* table = m_pSession != nullptr ? m_pSession->pclGetTableDescription()
                                                     : nullptr;
  CNAColumn* c = table != nullptr ? table->pclColumnAt(column) : nullptr;
  if (c == nullptr) return false;
  const char16_t* text = c->pszGetDefaultText();
  if (text != nullptr && text[0] != 0) {
    if (m_pConnection == nullptr ||
        NAIsOneSqlExpression(text, m_pConnection->m_strOpenQuote.pszGet(),
                             m_pConnection->m_strCloseQuote.pszGet())) {
      // An expression the server's description gave (current_timestamp(),
      // 'text', b'1'): written as it is.
      out->Set((std::u16string(u"DEFAULT ") + text).c_str());
      return true;
    }
    // A plain value, or a text that would end the column definition.
    CAny value;
    value.SetDSTRW(text);
    CDualString literal(CDualString::kUtf16, m_pConnection->m_nLanguageCodePage);
    if (!m_pConnection->bValueLiteral(error, &literal, value, 0, false)) return false;
    const char16_t* l = literal.pszGetW();
    out->Set((std::u16string(u"DEFAULT ") + (l != nullptr ? l : u"")).c_str());
    return true;
  }
  if (!c->bHasDefault() || c->clGetDefault().bEstNull()) return true;
  switch (c->nGetType()) {
    case 1: case 15: case 18: case 28: case 30: case 38:
      return true;
    default:
      break;
  }
  int type = c->nGetType();
  bool date = type == 10 || type == 14 || type == 24;
  if (date && !IsValidDate(c->clGetDefault())) return true;
  if (m_pConnection == nullptr) return true;
  if (m_pConnection->m_nDbmsKind == 1 && m_pConnection->m_nServerMajor < 11 &&
      (date || type == 11)) {
    return true;
  }
  CDualString literal(CDualString::kUtf16, m_pConnection->m_nLanguageCodePage);
  if (!m_pConnection->bValueLiteral(error, &literal, c->clGetDefault(), type, false)) return false;
  const char16_t* l = literal.pszGetW();
  out->Set((std::u16string(u"DEFAULT ") + (l != nullptr ? l : u"")).c_str());
  return true;
}

bool CNATableAccess::bGeneratedColumn(int column, CTString* out, CNAError*) {
  out->RAZ();
  CNATableDescription* table = m_pSession != nullptr ? m_pSession->pclGetTableDescription()
                                                     : nullptr;
  CNAColumn* c = table != nullptr ? table->pclColumnAt(column) : nullptr;
  if (c == nullptr || !c->bHasGeneration()) return true;
  int kind = m_pConnection != nullptr ? m_pConnection->m_nDbmsKind : 0;
  std::u16string text = kind == 6 ? u" GENERATED ALWAYS AS (" : u" AS (";
  text += c->pszGetGeneration() != nullptr ? c->pszGetGeneration() : u"";
  text += u")";
  if (c->bIsGenerationStored()) text += kind == 2 ? u" PERSISTED" : u" STORED";
  out->Set(text.c_str());
  return true;
}
