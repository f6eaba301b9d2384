#include "driver/sql/table_access.h"

#include <new>
#include <string>
#include <string_view>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/file_description.h"
#include "driver/sql/column.h"
#include "driver/sql/filter.h"
#include "driver/sql/item.h"
#include "driver/sql/key_filter.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/saved_position.h"
#include "driver/sql/query.h"
#include "driver/sql/record_source.h"
#include "driver/sql/result_column.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/sql_scanner.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_description.h"
#include "driver/sql/temporary_index.h"

namespace {

constexpr uint32_t kAccessSite = 4;
// The binary character set's number: its columns hold bytes, not text.
constexpr int32_t kBinaryCharset = 63;

template <class T>
void Replace(T*& field, T* value) {
  if (field == value) return;
  if (value != nullptr) AddRefBoth(value);
  T* old = field;
  field = value;
  if (old != nullptr) ReleaseBoth(old);
}

template <class T>
void Drop(T*& field) {
  T* old = field;
  field = nullptr;
  if (old != nullptr) ReleaseBoth(old);
}

// Whether a column value equals a searched value: as texts when both read
// as texts, else through the host's comparison.
bool SameValue(const CAny& cell, const CAny& value) {
  if (cell.bEstNull() || value.bEstNull()) return cell.bEstNull() && value.bEstNull();
  const char16_t* a = nullptr;
  const char16_t* b = nullptr;
  if (cell.nGetPCXSTR(&a) < 100 && value.nGetPCXSTR(&b) < 100 && a != nullptr && b != nullptr) {
    return std::u16string_view(a) == std::u16string_view(b);
  }
  int32_t compared = 1;
  return cell.nCompare(value, &compared) < 100 && compared == 0;
}

bool NotAvailable(CNAError* error, uint32_t minor) {
  if (error != nullptr) {
    error->SetErrorMessage(0, kAccessSite, minor, nullptr, kNAErrorNotSupported);
  }
  return false;
}


// A column of bytes: a string, blob or bit type in the binary character
// set (numbers report that set too, and read as text).
bool IsBinaryColumn(const CNAResultColumn& column) {
  const int32_t t = column.m_nServerType;
  const bool stringy = t == 15 || t == 16 || (t >= 249 && t <= 254);
  return stringy && column.m_nCharset == kBinaryCharset;
}

// A filter in force that holds a condition; an empty one writes no WHERE.
bool WritesCondition(const CNAFilter* filter, bool active) {
  return active && filter != nullptr && !filter->bWritesNothing();
}

// What a read relies on of one result column: its name, its type, its
// character set, its size and scale, and the flags that change its values'
// order (not null, unsigned, binary). A text or byte column has no scale,
// and only a text or byte column a binary flag: the server gives an
// expression's "any scale" and a number's binary flag directly, and 0 for
// both when the same column comes through a derived table.
std::u16string ResultShape(const CNAResultColumn& column) {
  std::u16string shape = column.m_strName.pszGet() != nullptr ? column.m_strName.pszGet() : u"";
  const int64_t type = column.m_nServerType;
  const bool texts = type == 15 || (type >= 247 && type <= 254);
  const uint32_t flags = column.m_nFlags & (texts ? 1u | 32u | 128u : 1u | 32u);
  const int64_t parts[] = {type, column.m_nCharset, column.m_nLength, texts ? 0 : column.m_nScale,
                           static_cast<int64_t>(flags)};
  for (int64_t part : parts) {
    shape += u'\x1f';
    for (char c : std::to_string(part)) shape += static_cast<char16_t>(c);
  }
  return shape;
}

}  // namespace

CNATableAccess::CNATableAccess(CNASession* session, CNAConnection* connection)
    : m_pSession(session), m_pConnection(NAAddRef(connection)) {}

CNATableAccess::~CNATableAccess() {
  ForgetNamedRecord();
  m_nLockMode = 0;
  m_nLockedRecord = -1;
  Drop(m_pTemporaryIndex);
  Drop(m_pCache);
  Drop(m_pFilterRef);
  Drop(m_pFilter);
  Drop(m_pKeyFilter);
  FreeRowMap();
  ReleaseResult();
  Drop(m_pGenerator);
  Drop(m_pLogical);
  m_tabObjects.Clear();
  Drop(m_pConnection);
}

void CNATableAccess::ReleaseResult() { Drop(m_pResult); }

std::u16string NALimitText(int64_t limit, int64_t skip) {
  const std::string text =
      " LIMIT " + std::to_string(limit) + (skip > 0 ? " OFFSET " + std::to_string(skip) : "");
  return std::u16string(text.begin(), text.end());
}

bool CNATableAccess::bRegisterObject(const char16_t* name, CNARefCounted* object) {
  if (object == nullptr) return false;
  m_tabObjects.bRemove(name);
  return m_tabObjects.bAdd(name, object);
}

bool CNATableAccess::bUnregisterObject(const char16_t* name) { return m_tabObjects.bRemove(name); }

CNARefCounted* CNATableAccess::pclFindObject(const char16_t* name) {
  CNARefCounted* object = nullptr;
  return m_tabObjects.bFind(name, &object) ? object : nullptr;
}

void CNATableAccess::FreeRowMap() {
  m_anRowMap.clear();
  m_anRowMap.shrink_to_fit();
  m_nDeletedRows = 0;
}

void CNATableAccess::SetGenerator(CNASQLGenerator* generator) { Replace(m_pGenerator, generator); }

void CNATableAccess::SetNames(const char16_t* name, const char16_t* second) {
  m_strName = name != nullptr ? name : u"";
  m_strSecondName = second != nullptr ? second : u"";
}

void CNATableAccess::SetOrderKey(const char16_t* name, const std::vector<NAKeyPart>& parts) {
  m_strNextKey = name != nullptr ? name : u"";
  m_astKeyParts = parts;
}

// ---- slots 2 to 6: closing, opening, executing

void CNATableAccess::Close() {
  ForgetNamedRecord();
  CloseCursor();
  m_bOwnLimit = false;
  m_bLastMoveInRange = false;
  Drop(m_pGenerator);
}

void CNATableAccess::CloseCursor() {
  if (!m_bFetching) {
    if (!m_bKeepSearch) {
      m_stSearch = NASearchState();
    }
    m_bPositionValid = false;
    m_nCurrentRow = -1;
  }
  m_nLockMode = 0;
  m_nLockedRecord = -1;
  m_bBeginsAtStart = true;
  FreeRowMap();
  if (m_pResult != nullptr) m_pResult->Reset();
}

bool CNATableAccess::bOpen(CNAError* error) {
  if (m_bPositionValid) CloseCursor();
  if (m_pGenerator == nullptr) {
    if (error != nullptr) error->SetErrorMessage(0, kAccessSite, 5, nullptr, 2);
    return false;
  }
  if (m_pGenerator->bIsEmpty()) return true;
  return bExecute(0, 0, nullptr, error);
}

bool CNATableAccess::bExecuteWith(CNASQLGenerator* generator, CNAError* error) {
  if (!bBindGenerator(generator, error)) return false;
  return bExecute(0, 0, nullptr, error);
}

bool CNATableAccess::bBindGenerator(CNASQLGenerator* generator, CNAError* error) {
  if (m_pResult == nullptr) {
    m_pResult = NAAddRef(pclNewResult());
    if (m_pResult == nullptr) return NotAvailable(error, 39);
  } else {
    m_pResult->Reset();
  }
  if (generator != nullptr) SetGenerator(generator);
  return true;
}

bool CNATableAccess::bExecute(intptr_t, intptr_t, int64_t* rows, CNAError* error) {
  if (m_pGenerator == nullptr) {
    if (error != nullptr) error->SetErrorMessage(0, kAccessSite, 5, nullptr, 2);
    return false;
  }
  if (m_bOwnLimit) {
    // The query's own LIMIT stands alone (see DropSecondLimit).
    m_pGenerator->SetRowLimit(-1);
    m_pGenerator->SetRowOffset(-1);
  }
  const char16_t* text = m_pGenerator->pszGetDialectText(error);
  if (text == nullptr) return false;
  int64_t limit = m_pGenerator->nGetRowLimit();
  bool ok = true;
  if (text[0] != 0) {
    if (m_pResult == nullptr) {
      m_pResult = NAAddRef(pclNewResult());
      if (m_pResult == nullptr) return NotAvailable(error, 6);
    }
    m_pResult->Reset();
    FreeRowMap();
    m_bItemColumnsFound = false;
    m_astrBoundaryValues.clear();
    m_nBoundarySkip = 0;
    if (!m_bFetching && m_pCache != nullptr && m_pTemporaryIndex == nullptr) {
      // A new result: the cache starts afresh. A complete cache another
      // holder took over (the session's record set) is left to it.
      if (m_pCache->nGetReferences() > 1) {
        Drop(m_pCache);
        m_pCache = NAAddRef(new (std::nothrow) CNARecordCacheBase(CNARecordCacheBase::kActive));
      } else {
        m_pCache->Clear();
      }
      m_nCacheState &= ~8u;
    }
    int kind = m_pGenerator->nGetStatementKind();
    int64_t affected = 0;
    if (kind == CNASQLGenerator::kStatementUpdate) {
      ok = m_pResult->bExecuteWideCounted(text, &affected, error);
    } else {
      ok = m_pResult->bExecuteWide(text, error);
      affected = m_pResult->nGetRowCount();
    }
    if (kind == CNASQLGenerator::kStatementUpdate) {
      int64_t* counter = rows != nullptr ? rows : &m_nOwnCounter;
      *counter = ok ? affected : 0;
      if (ok && *counter == 0 && pclGetFileDescription() != nullptr) {
        ReportNoRowUpdated(error, 12);
        ok = false;
      }
    } else if (rows != nullptr) {
      *rows = affected;
    }
    if (ok && kind == 11) {
      std::u16string lower(text);
      for (char16_t& c : lower) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
      }
      if (lower.find(u"rollback") != std::u16string::npos &&
          lower.find(u"savepoint") != std::u16string::npos && m_pConnection != nullptr) {
        m_pConnection->TransactionEnded();
      }
    }
  }
  if (ok && text[0] != 0 && m_pGenerator->nGetStatementKind() == CNASQLGenerator::kStatementSelect) {
    ok = bCheckResultShape(error);
  }
  int64_t count = m_pResult != nullptr ? m_pResult->nGetRowCount() : -1;
  m_nLimitMarker = limit > 0 && count == limit && !m_bOwnLimit ? limit : -1;
  m_nResultOffset = m_pGenerator->nGetRowOffset() > 0 ? m_pGenerator->nGetRowOffset() : 0;
  if (!m_bFetching) m_nFetchLimit = limit > 0 && !m_bOwnLimit ? limit : -1;
  m_bBeginsAtStart = m_pGenerator->nGetRowOffset() <= 0;
  return ok;
}

void CNATableAccess::ReportNoRowUpdated(CNAError* error, uint32_t minor) {
  // The UPDATE's WHERE named a row the server no longer has (found rows
  // are counted, so unchanged values still count).
  if (error == nullptr) return;
  const char16_t* table = m_strTable.pszGet();
  _CXErrorModule76 x;
  x.SetUserError(gstErrorDefModule76, 13u, table);
  AddTableAndItemToError(&x, table, nullptr);
  x.AddInfo(16, 13u);
  AddInternalErrorText(&x, kAccessSite, minor);
  x.AddDebugMessageId(&gstErrorDefModule76, 28591u);
  std::u16string dump;
  CNAError quiet;
  if (m_pLogical != nullptr && m_pLogical->bDump(&dump, &quiet)) x.AddDebugMessage(dump.c_str());
  error->SetError(9, x, nullptr);
}

// ---- slots 7 to 11: one-shot reads and column access

bool CNATableAccess::bFetchRows(CAny* values, int count, CNAError* error) {
  if (m_pResult == nullptr || !m_pResult->bHasRow()) return false;
  for (int i = 0; i < count; ++i) {
    if (!m_pResult->bGetColumnAsText(values[i], i, error)) return false;
  }
  return true;
}

bool CNATableAccess::bReadFirstInto(CAny* values, int count, CNAError* error) {
  if (!bOpen(error)) return false;
  bool ok = m_pResult != nullptr && m_pResult->bFetchNext(0, error) && m_pResult->bHasRow() &&
            bFetchRows(values, count, error);
  CloseCursor();
  return ok;
}

bool CNATableAccess::bOpenAndRead(CAny* values, int count, CNAError* error) {
  SetOptionWord(m_nOptions | 0x10000);
  if (!bOpen(error)) return false;
  return bFetchRowInto(values, count, error);
}

bool CNATableAccess::bFetchRowInto(CAny* values, int count, CNAError* error) {
  if (m_pResult == nullptr || !m_pResult->bFetchNext(0, error) || !m_pResult->bHasRow()) {
    return false;
  }
  return bFetchRows(values, count, error);
}

bool CNATableAccess::bColumnText(CAny& out, int n, CNAError* error) {
  return m_pResult != nullptr && m_pResult->bGetColumnAsText(out, n, error);
}

bool CNATableAccess::bColumnValue(CNAValueConverter* value, int n, CNAError* error) {
  return m_pResult != nullptr && m_pResult->bGetColumnValue(value, n, 0, error);
}

// ---- slot 12: the SELECT

bool CNATableAccess::bEnsureGenerator() {
  if (m_pGenerator != nullptr) return true;
  CNASQLGenerator* generator =
      m_pSession != nullptr ? m_pSession->pclNewSQLGenerator() : nullptr;
  if (generator == nullptr && m_pConnection != nullptr) {
    generator = new (std::nothrow) CNASQLGenerator(m_pConnection);
  }
  if (generator == nullptr) return false;
  SetGenerator(generator);
  return true;
}

bool CNATableAccess::bWriteFilterInto(CNASQLGenerator* out, CNAError* error) {
  bool folded = false;
  return m_pFilter->bWrite(*out, 0, NAFilterWriteOptions{}, &folded, error);
}

CNAQuery* CNATableAccess::pclGetStoredQuery() const {
  if (m_pSession == nullptr || m_pSession->m_nQueryMode == 0) return nullptr;
  return m_pSession->pclGetQuery();
}

bool CNATableAccess::bAppendWrappedTail(CNAError* error) {
  CNASQLGenerator* g = m_pGenerator;
  bool ok = g->bAppend(u")");
  // A derived table needs an alias on MariaDB as on the kinds that always
  // had one.
  int kind = m_pConnection != nullptr ? m_pConnection->m_nDbmsKind : 0;
  if (ok && (kind == 2 || kind == 4 || kind == 5 || kind == 7)) ok = g->bAppend(u" QG_SUBQUERY");
  const bool filtered = WritesCondition(m_pFilter, m_bFilterActive);
  if (ok && filtered) {
    CNASQLGenerator* condition = new (std::nothrow) CNASQLGenerator(m_pConnection);
    if (condition == nullptr) return false;
    CNARefPtr<CNASQLGenerator> hold(NAAddRef(condition));
    ok = bWriteFilterInto(condition, error) &&
         g->bAppend(m_strBoundary.empty() ? u" WHERE " : u" WHERE (") &&
         g->bAppendGenerator(*condition, 0);
  }
  // The rows on one side of a row of the result only (a boundary over its
  // columns, set by the caller).
  if (ok && !m_strBoundary.empty()) {
    ok = g->bAppend(filtered ? u") AND (" : u" WHERE (") && g->bAppend(m_strBoundary) &&
         g->bAppend(u")");
  }
  return ok;
}

bool CNATableAccess::bAppendQueryForm(CNAQuery* query, bool order_wanted, bool wrap,
                                      CNAError* error) {
  CNASQLGenerator* g = m_pGenerator;
  if (g->nGetStatementKind() == 0) g->SetStatementKind(CNASQLGenerator::kStatementSelect);
  const uint32_t session_flags = m_pSession != nullptr ? m_pSession->m_nFlags : 0;
  const bool raw = (session_flags & kNASessionRawSQL) != 0;
  const int options = static_cast<int>(session_flags);
  const bool filtered = WritesCondition(m_pFilter, m_bFilterActive);
  bool ok = true;
  if (wrap) {
    ok = g->bAppend(u" (") && g->bGenerate(query, nullptr, query->bIsSelect(), options, error) &&
         bAppendWrappedTail(error);
  } else if (!raw) {
    CNARefPtr<CNASQLGenerator> condition;
    if (filtered) {
      condition.Attach(NAAddRef(new (std::nothrow) CNASQLGenerator(m_pConnection)));
      ok = condition && bWriteFilterInto(condition.Get(), error);
    }
    ok = ok && g->bGenerate(query, condition.Get(), false, options, error);
    if (ok && order_wanted) ok = bAppendOrderBy(m_bDescending, error);
    ok = ok && g->bAppendQueryTail();
  } else if (filtered) {
    if (g->nGetStatementKind() != CNASQLGenerator::kStatementSelect) {
      if (error != nullptr) {
        error->SetErrorMessage(0, kAccessSite, 6, nullptr, 41, m_strTable.pszGet());
      }
      return false;
    }
    ok = g->bAppend(bWantsDistinct() ? u"SELECT DISTINCT * FROM (" : u"SELECT * FROM (") &&
         g->bGenerate(query, nullptr, query->bIsSelect(), options, error) &&
         bAppendWrappedTail(error);
  } else {
    ok = g->bGenerate(query, nullptr, order_wanted, options, error) && g->bAppendQueryTail();
  }
  if (ok) DropSecondLimit();
  return ok;
}

void CNATableAccess::DropSecondLimit() {
  // A query that ends in a LIMIT of its own keeps it alone: no per-fetch
  // LIMIT is added at execution, and its result is complete as it comes.
  CNASQLGenerator* g = m_pGenerator;
  const char16_t* text = g->pszGetStatementText();
  if (text == nullptr) return;
  const char16_t* open = u"`";
  const char16_t* close = u"`";
  if (m_pConnection != nullptr && !m_pConnection->m_strOpenQuote.bEstVide()) {
    open = m_pConnection->m_strOpenQuote.pszGet();
    close = m_pConnection->m_strCloseQuote.pszGet();
  }
  CNASQLScanner scanner(open, close);
  scanner.Scan(text);
  if (scanner.nFindKeyword(u"LIMIT") >= 0) m_bOwnLimit = true;
}

bool CNATableAccess::bBuildSelect(CNAError* error) {
  if (!bEnsureGenerator()) {
    if (error != nullptr) error->SetOutOfMemory(kAccessSite, 12);
    return false;
  }
  CNASQLGenerator* g = m_pGenerator;
  g->SetStatementKind(CNASQLGenerator::kStatementSelect);
  m_bOwnLimit = false;
  CNAQuery* query = pclGetStoredQuery();
  if (query != nullptr) {
    // Known again when the order is written.
    m_astQueryOrder.clear();
    m_bQueryOrderInResult = false;
    bool ok = bAppendQueryForm(query, true, false, error);
    if (ok) {
      m_strResultKey = m_strNextKey;
      UpdateFilterRef();
    }
    return ok;
  }
  bool ok = g->bAppend(u"SELECT ");
  if (ok && bWantsDistinct()) ok = g->bAppend(u"DISTINCT ");
  if (m_astrColumns.empty()) {
    // The table's columns by name, in the order the session knows them:
    // a column another connection adds, first or anywhere, moves none of
    // them. Without a name for each, every column as the table has them.
    CNATableDescription* table = m_pSession != nullptr ? m_pSession->pclGetTableDescription()
                                                       : nullptr;
    bool named = table != nullptr && table->nGetColumnCount() > 0;
    for (int i = 0; named && i < table->nGetColumnCount(); ++i) {
      CNAColumn* column = table->pclColumnAt(i);
      named = column != nullptr && !column->bIsComposite() && column->pszGetName() != nullptr &&
              column->pszGetName()[0] != 0;
    }
    if (named) {
      // Every name quoted as it is: a name that itself looks quoted names
      // no other column.
      const char16_t* open = u"`";
      const char16_t* close = u"`";
      if (m_pConnection != nullptr && !m_pConnection->m_strOpenQuote.bEstVide()) {
        open = m_pConnection->m_strOpenQuote.pszGet();
        close = m_pConnection->m_strCloseQuote.pszGet();
      }
      const std::u16string_view closing(close);
      std::u16string list;
      for (int i = 0; i < table->nGetColumnCount(); ++i) {
        std::u16string_view name(table->pclColumnAt(i)->pszGetName());
        if (i > 0) list += u",";
        list += open;
        for (size_t at = 0; at < name.size();) {
          if (!closing.empty() && name.substr(at, closing.size()) == closing) {
            list += closing;
            list += closing;
            at += closing.size();
          } else {
            list += name[at++];
          }
        }
        list += closing;
      }
      ok = ok && g->bAppend(list);
    } else {
      ok = ok && g->bAppend(u"*");
    }
  } else {
    for (const CTString& column : m_astrColumns) {
      ok = ok && g->bAppendColumnName(column.pszGet(), error);
    }
  }
  CTString quoted;
  ok = ok && m_pConnection != nullptr &&
       m_pConnection->bQuoteQualifiedName(error, m_strTable.pszGet(), &quoted);
  ok = ok && g->bAppend(u" FROM ") && g->bAppend(quoted.pszGet()) && bAppendTableHint();
  const bool filtered = WritesCondition(m_pFilter, m_bFilterActive);
  if (ok && filtered) {
    ok = g->bAppend(m_strBoundary.empty() ? u" WHERE " : u" WHERE (") && bWriteFilterInto(g, error);
  }
  if (ok && !m_strBoundary.empty()) {
    ok = g->bAppend(filtered ? u") AND (" : u" WHERE (") && g->bAppend(m_strBoundary) &&
         g->bAppend(u")");
  }
  ok = ok && bAppendOrderBy(m_bDescending, error);
  if (ok) {
    m_strResultKey = m_strNextKey;
    // The rows now read are those under the filter in force.
    UpdateFilterRef();
  }
  return ok;
}

bool CNATableAccess::bWantsDistinct() {
  if ((m_nReadOptions & 0x800) == 0) return false;
  // Only when the identifying column does not tell rows apart by itself.
  CNAFileDescription* logical = pclGetFileDescription();
  CNAItem* identifying = logical != nullptr ? logical->pclGetKeyItem() : nullptr;
  CNAColumn* column = identifying != nullptr ? identifying->pclGetColumn() : nullptr;
  return column != nullptr && !column->bIdentifiesRow();
}

bool CNATableAccess::bAppendTableHint() {
  if (m_pConnection == nullptr) return true;
  if (m_pConnection->m_nDbmsKind == 8 && m_pConnection->m_nServerMajor >= 10) return true;
  const char16_t* hint = m_pConnection->pszGetRecordLockText();
  if (hint == nullptr || hint[0] == 0) return true;
  return m_pGenerator->bAppend(u" ") && m_pGenerator->bAppend(hint);
}

bool CNATableAccess::bResolveOrderKey(CNAError* error) {
  if (!m_astKeyParts.empty() || m_strNextKey.bEstVide()) return true;
  // Named but not resolved by the session: the key item of the logical
  // description (a composite key gives its parts).
  CNAFileDescription* logical = pclGetFileDescription();
  CNAItem* key = logical != nullptr ? logical->pclFindItemByName(m_strNextKey.pszGet()) : nullptr;
  if (key == nullptr) {
    if (error != nullptr) error->SetErrorMessage(0, kAccessSite, 9, nullptr, 6, m_strNextKey.pszGet());
    return false;
  }
  // Each part runs in its direction in this key, not in the column's own.
  const CNAColumn* key_column = key->pclGetColumn();
  auto add = [this, key_column](CNAItem* item, int n) {
    NAKeyPart part;
    part.strName = item->pszGetSqlName() != nullptr && item->pszGetSqlName()[0] != 0
                       ? item->pszGetSqlName()
                       : item->pszGetName();
    part.bDescending = key_column != nullptr && key_column->bIsPartDescending(n);
    m_astKeyParts.push_back(part);
  };
  if (key->bIsCompositeKey()) {
    for (int i = 1; i <= key->nGetPartCount(); ++i) {
      if (key->pclGetPart(i) != nullptr) add(key->pclGetPart(i), i);
    }
  } else {
    add(key, 1);
  }
  return true;
}

std::vector<NAKeyPart> CNATableAccess::OrderItems(bool descending) {
  std::vector<NAKeyPart> items = m_astKeyParts;
  auto known = [&items](const char16_t* name) {
    for (const NAKeyPart& p : items) {
      if (p.strName.bEstEgalI(name)) return true;
    }
    return false;
  };
  // The record's other keys follow, so that rows equal on the key come in
  // one order every time, up to the first unique key none of whose parts
  // may be NULL: past it no two rows are equal.
  const uint32_t allowed = descending ? 2u : 1u;
  CNAFileDescription* logical = pclGetFileDescription();
  if (logical == nullptr || (m_nReadOptions & 0x100000) != 0 || (m_nFlags & allowed) == 0) {
    return items;
  }
  for (int i = 0; i < logical->nGetItemCount() && !bItemsIdentifyRows(items); ++i) {
    CNAItem* item = logical->pclGetItem(i);
    if (item == nullptr || !item->bIsKey() || item->bIsCompositeKey()) continue;
    const char16_t* name = item->pszGetSqlName() != nullptr && item->pszGetSqlName()[0] != 0
                               ? item->pszGetSqlName()
                               : item->pszGetName();
    if (name == nullptr || name[0] == 0 || known(name) ||
        CTString(item->pszGetName()).bEstEgalI(m_strNextKey.pszGet())) {
      continue;
    }
    NAKeyPart part;
    part.strName = name;
    items.push_back(part);
  }
  return items;
}

bool CNATableAccess::bItemsIdentifyRows(const std::vector<NAKeyPart>& items) {
  CNAFileDescription* logical = pclGetFileDescription();
  if (logical == nullptr) return false;
  auto known = [&items](const CNAItem* item) {
    const char16_t* name = item->pszGetSqlName() != nullptr && item->pszGetSqlName()[0] != 0
                               ? item->pszGetSqlName()
                               : item->pszGetName();
    for (const NAKeyPart& p : items) {
      if (p.strName.bEstEgalI(name)) return true;
    }
    return false;
  };
  for (int i = 0; i < logical->nGetItemCount(); ++i) {
    CNAItem* key = logical->pclGetItem(i);
    const CNAColumn* column = key != nullptr ? key->pclGetColumn() : nullptr;
    if (column == nullptr || !key->bIsKey() || !column->bIsUnique()) continue;
    std::vector<CNAItem*> parts;
    if (key->bIsCompositeKey()) {
      for (int n = 1; n <= key->nGetPartCount(); ++n) parts.push_back(key->pclGetPart(n));
    } else {
      parts.push_back(key);
    }
    bool covered = !parts.empty();
    for (CNAItem* part : parts) {
      if (part == nullptr || part->pclGetColumn() == nullptr ||
          part->pclGetColumn()->bIsNullable() || !known(part)) {
        covered = false;
        break;
      }
    }
    if (covered) return true;
  }
  return false;
}

void CNATableAccess::OrderItemText(const NAKeyPart& part, int, CTString* out) {
  CTString quoted;
  if (m_pConnection != nullptr && m_pConnection->bQuoteName(nullptr, part.strName.pszGet(), &quoted)) {
    *out = quoted;
  } else {
    *out = part.strName;
  }
}

bool CNATableAccess::bAppendOrderBy(bool descending, CNAError* error) {
  // Without a key, a stored query is read in its own ORDER BY (each item
  // reversed for a descending read), as the query writes it: an order on
  // items outside the select list, or on expressions, that no key of the
  // result can stand for. The key items follow as tie-breakers.
  CNAQuery* stored = pclGetStoredQuery();
  const bool own_order = stored != nullptr && m_strNextKey.bEstVide() &&
                         stored->pclNextOrderItem(true) != nullptr;
  // The columns of a stored query's result (known once it ran): its order
  // ends with every one of them, so that no two rows tie, and is kept as
  // result columns for fetches continued from a row's values.
  CNATableDescription* result =
      stored != nullptr && m_pSession != nullptr ? m_pSession->pclGetTableDescription() : nullptr;
  const int columns = result != nullptr ? result->nGetColumnCount() : 0;
  if (stored != nullptr) {
    m_astQueryOrder.clear();
    m_bQueryOrderInResult = false;
  }
  std::vector<bool> covered(static_cast<size_t>(columns > 0 ? columns : 0), false);
  bool in_result = columns > 0;
  auto record = [&](int column, bool descending_item) {
    if (column < 0 || column >= columns) {
      in_result = false;
      return;
    }
    m_astQueryOrder.push_back(NAQueryOrderColumn{column, descending_item});
    covered[static_cast<size_t>(column)] = true;
  };
  // A read in a query's own order (0x20000) writes that order when the
  // session gave it as the key; without a key, only the query's own, and
  // a query without one is read in the order of its columns.
  const bool no_order =
      (m_nReadOptions & 0x20000) != 0 && m_strNextKey.bEstVide() && !own_order;
  if (no_order && columns == 0) return true;
  if (!bResolveOrderKey(error)) return false;
  const std::vector<NAKeyPart> items = no_order ? std::vector<NAKeyPart>() : OrderItems(descending);
  if (items.empty() && !own_order && columns == 0) return true;
  int limit = m_pConnection != nullptr ? m_pConnection->nGetMaxOrderItems() : 0x7FFFFFFF;
  // Over a stored query, a LIMIT already written (found as a keyword, never
  // inside a literal or a quoted name) moves after the ORDER BY.
  std::u16string kept;
  if (pclGetStoredQuery() != nullptr) {
    const char16_t* text = m_pGenerator->pszGetStatementText();
    if (text != nullptr) {
      CNASQLScanner scanner(m_pConnection != nullptr && !m_pConnection->m_strOpenQuote.bEstVide()
                                ? m_pConnection->m_strOpenQuote.pszGet()
                                : u"`",
                            m_pConnection != nullptr && !m_pConnection->m_strCloseQuote.bEstVide()
                                ? m_pConnection->m_strCloseQuote.pszGet()
                                : u"`");
      scanner.Scan(text);
      ptrdiff_t at = scanner.nFindKeyword(u"LIMIT");
      if (at >= 0) {
        kept.assign(text + at);
        m_pGenerator->TruncateTo(static_cast<size_t>(at));
      }
    }
  }
  // The generator writes the query's own clause, keyword included.
  bool ok = own_order || m_pGenerator->bAppend(u"\r\nORDER BY ");
  int index = 0;
  bool total = false;
  bool told_apart = false;  // the query's own order ends at a primary column
  // Every column of the result not yet in the order, by its place in the
  // select list (rows equal in every column are the same row to a reader).
  auto append_columns = [&] {
    for (int n = 1; ok && n <= columns && index < limit; ++n) {
      if (covered[static_cast<size_t>(n - 1)]) continue;
      const std::string digits = std::to_string(n);
      const std::u16string place(digits.begin(), digits.end());
      ok = (index == 0 || m_pGenerator->bAppend(u", ")) && m_pGenerator->bAppend(place.c_str()) &&
           (!descending || m_pGenerator->bAppend(u" DESC"));
      record(n - 1, false);
      ++index;
    }
  };
  if (own_order) {
    int stopped = -1;
    auto length = [this] {
      const char16_t* t = m_pGenerator->pszGetStatementText();
      return t != nullptr ? std::char_traits<char16_t>::length(t) : size_t{0};
    };
    const size_t before = length();
    ok = ok && m_pGenerator->bAppendOrderBy(!descending, &stopped, error);
    // Past a primary column of the query's own order no row ties; else
    // every column of the result follows.
    total = stopped >= 0;
    told_apart = total;
    if (ok && length() > before) index = 1;
    qg::IParsedQuery* parsed = stored->piGetParsed();
    const int32_t own = parsed != nullptr ? parsed->nGetOrderCount() : 0;
    for (int32_t i = 0; i < own && i < limit; ++i) {
      const qg::ParseOrderItem* item = parsed->pGetOrderItem(i);
      if (item == nullptr) {
        in_result = false;
        break;
      }
      record(item->nColumn, item->nDirection == 2);
      if (total && item->nForm == 1 && item->nColumn == stopped) break;
    }
    if (ok && !total && index > 0) append_columns();
    if (columns > 0) total = true;
  }
  for (const NAKeyPart& part : items) {
    if (index >= limit || total) break;
    if (index > 0) ok = ok && m_pGenerator->bAppend(u",");
    CTString text;
    OrderItemText(part, index, &text);
    ok = ok && m_pGenerator->bAppend(text.pszGet());
    // A descending key part takes the opposite of the read's direction.
    if (part.bDescending != descending) ok = ok && m_pGenerator->bAppend(u" DESC");
    ++index;
    if (stored != nullptr) {
      int found = -1;
      for (int c = 0; c < columns; ++c) {
        const CNAColumn* column = result->pclColumnAt(c);
        if (column != nullptr && column->pszGetName() != nullptr &&
            part.strName.bEstEgalI(column->pszGetName())) {
          // A name two columns answer to stands for neither.
          found = found < 0 ? c : columns;
        }
      }
      record(found, part.bDescending);
    }
  }
  if (stored != nullptr && !total) append_columns();
  if (stored != nullptr && in_result) {
    bool every = told_apart;
    for (size_t c = 0; !every && c < covered.size(); ++c) {
      if (!covered[c]) break;
      if (c + 1 == covered.size()) every = true;
    }
    m_bQueryOrderInResult = every;
  }
  if (ok && kept.size() > 1) ok = m_pGenerator->bAppend(u" ") && m_pGenerator->bAppend(kept);
  return ok;
}

// ---- slots 13 to 22 and 42 to 48: writes (table_writes.cpp)


// ---- slots 25, 26, 50: counts

bool CNATableAccess::bBuildCountSelect(CNAError* error) {
  if (!bEnsureGenerator()) {
    if (error != nullptr) error->SetOutOfMemory(kAccessSite, 50);
    return false;
  }
  CNASQLGenerator* g = m_pGenerator;
  g->SetStatementKind(CNASQLGenerator::kStatementSelect);
  m_bOwnLimit = false;
  CNAQuery* query = pclGetStoredQuery();
  if (query != nullptr) {
    return g->bAppend(u"SELECT ") && g->bAppendCount() && g->bAppend(u" FROM") &&
           bAppendQueryForm(query, false, true, error);
  }
  CTString quoted;
  bool ok = g->bAppend(u"SELECT ") && g->bAppendCount() && m_pConnection != nullptr &&
            m_pConnection->bQuoteQualifiedName(error, m_strTable.pszGet(), &quoted) &&
            g->bAppend(u" FROM ") && g->bAppend(quoted.pszGet()) && bAppendTableHint();
  bool folded = false;
  const bool filtered = WritesCondition(m_pFilter, m_bFilterActive);
  if (ok && filtered) {
    ok = g->bAppend(m_strBoundary.empty() ? u" WHERE " : u" WHERE (") &&
         m_pFilter->bWrite(*g, 0, NAFilterWriteOptions{}, &folded, error);
  }
  // The rows on one side of a record only (a boundary set by the caller).
  if (ok && !m_strBoundary.empty()) {
    ok = g->bAppend(filtered ? u") AND (" : u" WHERE (") && g->bAppend(m_strBoundary) &&
         g->bAppend(u")");
  }
  return ok;
}

bool CNATableAccess::bCountRecords(int64_t* count, CNAError* error) {
  *count = -1;
  CloseCursor();
  EnableCache(false);
  Drop(m_pGenerator);
  if (!bBuildCountSelect(error) || !bBindGenerator(nullptr, error) ||
      !bExecute(0, 0, nullptr, error)) {
    return false;
  }
  CAny value;
  bool ok = m_pResult->bFetchNext(0, error) && m_pResult->bHasRow() &&
            m_pResult->bGetColumnAsText(value, 0, error);
  if (ok) {
    int64_t n = 0;
    ok = value.nConvertType(9) < 100 && value.nGetI8(&n) < 100;
    if (ok) *count = n;
  }
  CloseCursor();
  Drop(m_pGenerator);
  return ok;
}

bool CNATableAccess::bGetResultCount(uint32_t options, int64_t* count, CNAError*) {
  *count = 0;
  const bool filtered = WritesCondition(m_pFilter, m_bFilterActive);
  const bool keyed = m_pKeyFilter != nullptr && static_cast<CNAKeyFilter*>(m_pKeyFilter)->bHasCondition();
  if (bIsCacheFull() && m_pCache != nullptr && !keyed && !filtered && (options & 0x4000) != 0 &&
      (m_nReadOptions & 0x4000) != 0) {
    *count = m_pCache->nGetCount() - m_pCache->nGetInvalidCount();
  } else if (m_bPositionValid && m_nLimitMarker == -1 && m_bBeginsAtStart && !filtered && !keyed) {
    if (m_pTemporaryIndex != nullptr) {
      *count = static_cast<CNATemporaryIndex*>(m_pTemporaryIndex)->nGetCount();
    } else if (m_pResult != nullptr && m_pResult->nGetRowCount() >= 0) {
      *count = m_pResult->nGetRowCount() - m_nDeletedRows;
    }
  }
  return true;
}

// ---- slots 27 to 38

bool CNATableAccess::bReadColumnItem(int n, CAny* value, CNAError* error) {
  if (value == nullptr) return false;
  CNAStatement* rows = m_pResult;
  if (bCacheReads()) {
    // Read through the record cache: the result row the record was read
    // from, else the record itself.
    rows = bWrittenSinceRead() ? nullptr : pclRowOfRecord();
    if (rows == nullptr) return bReadRecordItem(n, value, error);
  }
  if (rows == nullptr || !rows->bHasRow()) {
    *value = CAny();
    value->SetNull(true);
    return true;
  }
  // A binary column (binary strings, blobs, bits: the binary character set)
  // keeps its bytes; text would cut them at a zero or recode them.
  CNAResultColumn* column = rows->pclGetResultColumn(n, error);
  if (column == nullptr) return false;
  if (IsBinaryColumn(*column)) return rows->bGetColumnAsBinary(*value, n, error);
  if (rows->bColumnTextInPlace(*value, n)) return true;
  return rows->bGetColumnAsText(*value, n, error);
}

bool CNATableAccess::bWriteColumnItem(int, const CAny*, CNAError* error) {
  return NotAvailable(error, 28);
}
bool CNATableAccess::bSavePosition(CNARefCounted* object, CNAError* error) {
  auto* position = dynamic_cast<CNASavedPosition*>(object);
  if (position == nullptr) return NotAvailable(error, 29);
  const int64_t row = m_bPositionValid ? m_nCurrentRow : -1;
  position->SetRecord(0, row);
  position->SetRecord(1, m_nLockedRecord);
  int64_t cached = -1;
  if (row >= 0 && static_cast<size_t>(row) < m_anRowMap.size() && m_anRowMap[row] >= 0) {
    cached = m_anRowMap[row];
  }
  position->SetRecord(2, cached);
  position->GetFilter().Set(m_pFilterRef);
  position->SetName(m_strName.pszGet());
  CNAFileDescription* logical = pclGetFileDescription();
  CNAItem* item = m_stSearch.bActive() && logical != nullptr
                      ? logical->pclFindItemByName(m_stSearch.strItem.pszGet())
                      : nullptr;
  position->GetSearchState().Set(item, m_stSearch.clValue, m_stSearch.nFlags);
  return true;
}

bool CNATableAccess::bRestorePosition(CNARefCounted* object, CNAError* error) {
  auto* position = dynamic_cast<CNASavedPosition*>(object);
  if (position == nullptr) return NotAvailable(error, 30);
  const int64_t row = position->nGetRecord(0);
  const int64_t locked = position->nGetRecord(1);
  if (row < 0) {
    m_bPositionValid = false;
    m_nCurrentRow = -1;
  } else if (!m_bPositionValid || m_nCurrentRow != row) {
    // The row moved: read it again by its number.
    if (!bGoToRecord(row, error)) return false;
    if (!m_bPositionValid || m_nCurrentRow != row) {
      m_bOutOfRange = true;
      m_bFound = false;
      return true;
    }
  }
  m_nLockedRecord = locked;
  m_nLockMode = locked >= 0 ? 1 : 0;
  Replace(m_pFilterRef, position->GetFilter().pclGet());
  const CNASearchState& search = position->GetSearchState();
  if ((search.nGetFlags() & 1) != 0 && search.pclGetItem() != nullptr) {
    m_stSearch.strItem = search.pclGetItem()->pszGetName();
    m_stSearch.clValue = search.clGetValue();
    m_stSearch.nFlags = search.nGetFlags();
  }
  m_bOutOfRange = !m_bPositionValid;
  m_bFound = m_bPositionValid;
  return true;
}

void CNATableAccess::ResetKeyFilter() {
  if (m_pKeyFilter != nullptr) static_cast<CNAKeyFilter*>(m_pKeyFilter)->Reset();
}

CNARefCounted* CNATableAccess::pclNewKeyFilter() { return new (std::nothrow) CNAKeyFilter(); }

CNAKeyFilter* CNATableAccess::pclKeyFilter() {
  if (m_pKeyFilter == nullptr) m_pKeyFilter = NAAddRef(pclNewKeyFilter());
  return static_cast<CNAKeyFilter*>(m_pKeyFilter);
}

bool CNATableAccess::bSetKeyValue(const CNAColumn* key, const uint8_t* value, size_t size,
                                  bool exact, CNAError* error) {
  CNAKeyFilter* filter = pclKeyFilter();
  CNAFileDescription* logical = pclGetFileDescription();
  if (filter == nullptr || logical == nullptr) return NotAvailable(error, 32);
  return filter->bSetKeyValue(logical, key, value, size, exact, error);
}

bool CNATableAccess::bSetKeyOfRecord(const CNAColumn* key, bool exact, CNAError* error) {
  CNAKeyFilter* filter = pclKeyFilter();
  CNAFileDescription* logical = pclGetFileDescription();
  if (filter == nullptr || logical == nullptr) return NotAvailable(error, 32);
  return filter->bSetKeyOfRecord(logical, key, exact, error);
}
CNAFilter* CNATableAccess::pclNewFilter() { return new (std::nothrow) CNAFilter(); }


int CNATableAccess::nCopyFrom(CNATableAccess* source, INACopyContext* context) {
  if (source == nullptr || source == this) return 0;
  if (context != nullptr && context->pFindCopy(source) == nullptr) {
    context->bRegisterCopy(source, this);
  }
  // A copy belongs to the copy of its session and writes on the copy of
  // its connection when the context made them (the session is copied, and
  // registered, before its table access objects).
  if (context != nullptr && source->m_pSession != nullptr) {
    auto* session = static_cast<CNASession*>(context->pFindCopy(source->m_pSession));
    m_pSession = session != nullptr ? session : source->m_pSession;
  } else if (m_pSession == nullptr) {
    m_pSession = source->m_pSession;
  }
  CNAConnection* connection = source->m_pConnection;
  if (context != nullptr && connection != nullptr) {
    auto* copied = static_cast<CNAConnection*>(context->pFindCopy(connection));
    if (copied != nullptr) connection = copied;
  }
  Replace(m_pConnection, connection);
  if (source->m_pGenerator != nullptr) {
    CNASQLGenerator* g = source->m_pGenerator->pclClone(context);  // its reference
    Drop(m_pGenerator);
    m_pGenerator = g;
  }
  if (source->m_pFilter != nullptr) {
    CNAFilter* f = source->m_pFilter->pclClone();
    Drop(m_pFilter);
    m_pFilter = NAAddRef(f);
  }
  // The filter in force: this copy's own filter when it is the source's.
  CNAFilter* filter_ref = source->m_pFilterRef;
  if (filter_ref != nullptr && filter_ref == source->m_pFilter) filter_ref = m_pFilter;
  Replace(m_pFilterRef, filter_ref);
  // The key filter: a copy through the context (reading the copied logical
  // description), so that a key condition set through either object stays
  // its own.
  Drop(m_pKeyFilter);
  if (source->m_pKeyFilter != nullptr) {
    auto* theirs = static_cast<CNAKeyFilter*>(source->m_pKeyFilter);
    void* known = context != nullptr ? context->pFindCopy(theirs) : nullptr;
    m_pKeyFilter = known != nullptr ? NAAddRef(static_cast<CNAKeyFilter*>(known))
                                    : theirs->pclClone(context);
  }
  m_nFlags = source->m_nFlags;
  m_nReadOptions = source->m_nReadOptions;
  m_nOptions = source->m_nOptions;
  m_nFetchSize = source->m_nFetchSize;
  m_nFollowingRows = source->m_nFollowingRows;
  m_strResultKey = source->m_strResultKey;
  m_strNextKey = source->m_strNextKey;
  m_astKeyParts = source->m_astKeyParts;
  m_strTable = source->m_strTable;
  m_strName = source->m_strName;
  m_strSecondName = source->m_strSecondName;
  m_astrColumns = source->m_astrColumns;
  m_astrResultShape = source->m_astrResultShape;
  m_bFilterActive = source->m_bFilterActive;
  m_bDescending = source->m_bDescending;
  m_stSearch = source->m_stSearch;
  m_bKeepSearch = source->m_bKeepSearch;
  // The copy has no open result: it reads afresh from its key.
  m_bPositionValid = false;
  m_nCurrentRow = -1;
  // The lock of the source: a lock held for the read does not pass to the
  // copy; one to be renewed is taken again (at once on the current record
  // when the copied cache holds everything).
  m_tabObjects.Clear();
  uint32_t cursor = 0;
  uintptr_t key = 0;
  CNARefCounted* object = nullptr;
  while (source->m_tabObjects.bNext(&cursor, &key, &object)) {
    CNARefCounted* filed = object;
    if (context != nullptr) {
      auto* copy = static_cast<CNARefCounted*>(context->pFindCopy(object));
      if (copy != nullptr) filed = copy;
    }
    m_tabObjects.bAdd(reinterpret_cast<const char16_t*>(key), filed);
    ReleaseBoth(object);
  }
  m_nLockMode = 0;
  m_nLockedRecord = -1;
  if (source->m_nLockMode == 2) {
    if (bIsCacheFull() && m_bPositionValid) {
      m_nLockMode = 1;
      m_nLockedRecord = m_nCurrentRow;
    } else {
      m_nLockMode = 1;
      m_nLockedRecord = source->m_nLockedRecord;
    }
  }
  return 1;
}

CNATableAccess* CNATableAccess::pclClone(INACopyContext* context) {
  CNATableAccess* copy = new (std::nothrow) CNATableAccess(nullptr, nullptr);
  if (copy == nullptr) return nullptr;
  AddRefBoth(copy);
  try {
    copy->nCopyFrom(this, context);
  } catch (...) {
    ReleaseBoth(copy);
    if (context != nullptr) context->ForgetCopy(this);
    throw;
  }
  // The caller adopts the reference.
  return copy;
}

bool CNATableAccess::bBindCheck(bool flag, int, CNAError*) { return flag || true; }

int32_t CNATableAccess::nResultSlot3() { return m_pResult != nullptr ? m_pResult->vn3() : 0; }


// ---- slot 49: moving in the open result

int64_t CNATableAccess::nStepRow(int64_t from, int64_t step, bool forward) const {
  int64_t count = m_pResult != nullptr ? m_pResult->nGetRowCount() : -1;
  int64_t row = from;
  while (step > 0) {
    row += forward ? 1 : -1;
    if (row < 0 || row >= count) return -1;
    if (static_cast<size_t>(row) < m_anRowMap.size() && m_anRowMap[row] == kRowDeleted) continue;
    --step;
  }
  return row;
}

bool CNATableAccess::bMoveInResult(int32_t direction, int64_t step, bool* in_range,
                                   CNAError* error) {
  *in_range = false;
  if (step == 0) direction = kNAReadStay;
  if (m_pResult == nullptr) return true;
  int64_t count = m_pResult->nGetRowCount();
  if (count <= 0) return true;
  int64_t target = -1;
  switch (direction) {
    case kNAReadFirst:
      target = nStepRow(-1, step, true);
      break;
    case kNAReadLast:
      target = nStepRow(count, step, false);
      break;
    case kNAReadNext:
      target = nStepRow(m_nCurrentRow, step, true);
      break;
    case kNAReadPrevious:
      target = nStepRow(m_nCurrentRow, step, false);
      break;
    default:
      *in_range = m_nCurrentRow != -1;
      return true;
  }
  if (target < 0 || target >= count) return true;
  // A buffered result seeks by row offset: no walk from the start on a
  // backward move.
  if (target != m_pResult->nGetCurrentRow() + 1 || !m_pResult->bHasRow()) {
    if (target != m_pResult->nGetCurrentRow() + 1 &&
        !m_pResult->bSeekRow(static_cast<int32_t>(target), error)) {
      return false;
    }
  }
  if (!m_pResult->bFetchNext(0, error)) return false;
  if (!m_pResult->bHasRow()) return true;
  m_nCurrentRow = m_pResult->nGetCurrentRow();
  m_bPositionValid = true;
  *in_range = true;
  if (!bLoadResultRow(error)) return false;
  LoadRow(direction);
  return true;
}

void CNATableAccess::LoadRow(int32_t direction) {
  if (m_nLockMode == 2) {
    m_nLockMode = 0;
    m_nLockedRecord = -1;
  }
  if (direction == kNAReadNext || direction == kNAReadPrevious) {
    ++m_nCacheReads;
  } else if (direction != kNAReadStay) {
    m_nCacheReads = 0;
  }
}

void CNATableAccess::MarkRowDeleted(int64_t row) {
  int64_t count = m_pResult != nullptr ? m_pResult->nGetRowCount() : 0;
  if (row < 0 || row >= count) return;
  if (m_anRowMap.size() < static_cast<size_t>(count)) {
    m_anRowMap.resize(static_cast<size_t>(count), kRowUnknown);
  }
  if (m_anRowMap[row] != kRowDeleted) {
    m_anRowMap[row] = kRowDeleted;
    ++m_nDeletedRows;
  }
}

// ---- results cut by their row limit

int64_t CNATableAccess::nRowsBeyond(bool forward) const {
  int64_t count = m_pResult != nullptr ? m_pResult->nGetRowCount() : 0;
  if (m_nDeletedRows == 0) {
    // No row marked deleted: the rows beyond are counted, not walked (a
    // walk asks this on every move).
    if (forward) return m_nCurrentRow + 1 < count ? count - (m_nCurrentRow + 1) : 0;
    const int64_t from = m_nCurrentRow < 0 ? 0 : m_nCurrentRow;
    return from;
  }
  int64_t n = 0;
  if (forward) {
    for (int64_t row = m_nCurrentRow + 1; row < count; ++row) {
      if (static_cast<size_t>(row) >= m_anRowMap.size() || m_anRowMap[row] != kRowDeleted) ++n;
    }
  } else {
    for (int64_t row = (m_nCurrentRow < 0 ? 0 : m_nCurrentRow) - 1; row >= 0; --row) {
      if (static_cast<size_t>(row) >= m_anRowMap.size() || m_anRowMap[row] != kRowDeleted) ++n;
    }
  }
  return n;
}

bool CNATableAccess::bFetchPart(int64_t offset, int64_t limit, CNAError* error) {
  // The same SELECT over another part of the order.
  m_bFetching = true;
  Drop(m_pGenerator);
  bool ok = bBuildSelect(error);
  if (ok) {
    m_pGenerator->SetRowLimit(limit);
    m_pGenerator->SetRowOffset(offset);
    ok = bExecute(0, 0, nullptr, error);
  }
  m_bFetching = false;
  m_nCurrentRow = -1;
  m_bPositionValid = false;
  return ok;
}

bool CNATableAccess::bColumnLiteral(int n, std::u16string* out, bool* null, CNAError* error) {
  // The value as the server stores it (bytes in hex, dates and times with
  // their separators and fraction, numbers with every digit), so that the
  // server compares the boundary row equal to itself: a literal it did not
  // would make the count of equal rows pass over a row never read.
  if (!m_pResult->bIdentityLiteral(n, out, null, error)) return false;
  if (*null) *out = u"NULL";
  return true;
}

bool CNATableAccess::bBoundaryCondition(int64_t row, bool forward, std::u16string* out,
                                        std::u16string* strict, std::u16string* same,
                                        int64_t* equal, std::vector<std::u16string>* kept,
                                        CNAError* error) {
  out->clear();
  strict->clear();
  same->clear();
  *equal = 0;
  if (m_pResult == nullptr) return false;
  // The order's items as columns of the result, their names as written
  // and whether each goes up in this read.
  std::vector<int> columns;
  std::vector<std::u16string> names;
  std::vector<bool> ascending;
  if (pclGetStoredQuery() != nullptr) {
    if (!bQueryOrderColumns(&columns, &names, &ascending)) return false;
  } else {
    if (!bResolveOrderKey(error)) return false;
    const std::vector<NAKeyPart> items = OrderItems(m_bDescending);
    if (items.empty()) return false;
    for (size_t i = 0; i < items.size(); ++i) {
      const NAKeyPart& part = items[i];
      int found = -1;
      for (int c = 0; c < m_pResult->nGetColumnCount() && found < 0; ++c) {
        CAny name;
        const char16_t* text = nullptr;
        if (m_pResult->bGetColumnName(name, c, nullptr) && name.nGetPCXSTR(&text) < 100 &&
            text != nullptr && part.strName.bEstEgalI(text)) {
          found = c;
        }
      }
      if (found < 0) return false;
      columns.push_back(found);
      CTString quoted;
      OrderItemText(part, static_cast<int>(i), &quoted);
      names.emplace_back(quoted.pszGet());
      ascending.push_back(part.bDescending == m_bDescending);
    }
  }
  const size_t count_items = columns.size();
  // The literals of a row, one per order item.
  auto literals = [&](int64_t r, std::vector<std::u16string>* values, std::vector<bool>* nulls) {
    values->assign(count_items, std::u16string());
    nulls->assign(count_items, false);
    if (!m_pResult->bSeekRow(static_cast<int32_t>(r), error) || !m_pResult->bFetchNext(0, error) ||
        !m_pResult->bHasRow()) {
      return false;
    }
    for (size_t i = 0; i < count_items; ++i) {
      bool null = false;
      if (!bColumnLiteral(columns[i], &(*values)[i], &null, error)) return false;
      (*nulls)[i] = null;
    }
    return true;
  };
  std::vector<std::u16string> values;
  std::vector<bool> nulls;
  if (!literals(row, &values, &nulls)) return false;
  *kept = values;
  // Rows equal to the boundary on every item, counted from it inwards: the
  // next fetch starts at the boundary and passes over as many.
  const int64_t count = m_pResult->nGetRowCount();
  *equal = 1;
  for (int64_t r = forward ? row - 1 : row + 1; r >= 0 && r < count; r += forward ? -1 : 1) {
    std::vector<std::u16string> other;
    std::vector<bool> other_nulls;
    if (!literals(r, &other, &other_nulls)) return false;
    if (other != values || other_nulls != nulls) break;
    ++*equal;
  }
  // (k0 beyond v0) OR (k0 = v0 AND k1 beyond v1) ... OR (every k = v),
  // where "beyond" follows each item's direction in the read, NULLs coming
  // first in an ascending order.
  std::u16string equals;
  for (size_t i = 0; i < count_items; ++i) {
    const std::u16string& name = names[i];
    const bool later = ascending[i] == forward;
    std::u16string beyond;
    if (nulls[i]) {
      beyond = later ? name + u" IS NOT NULL" : u"";
    } else {
      beyond = name + (later ? u" > " : u" < ") + values[i];
      if (!later) beyond = u"(" + beyond + u" OR " + name + u" IS NULL)";
    }
    if (!beyond.empty()) {
      if (!out->empty()) *out += u" OR ";
      *out += equals.empty() ? beyond : u"(" + equals + u" AND " + beyond + u")";
    }
    if (!equals.empty()) equals += u" AND ";
    equals += nulls[i] ? name + u" IS NULL" : name + u" = " + values[i];
  }
  *strict = *out;
  *same = equals;
  if (!out->empty()) *out += u" OR ";
  *out += u"(" + equals + u")";
  return true;
}

bool CNATableAccess::bBoundaryCondition(int64_t row, bool forward, std::u16string* out,
                                        int64_t* equal, std::vector<std::u16string>* values,
                                        CNAError* error, bool strict) {
  std::u16string beyond, same;
  if (!bBoundaryCondition(row, forward, out, &beyond, &same, equal, values, error)) return false;
  // Strictly beyond: nothing is when every item is at its end already.
  if (strict) *out = beyond.empty() ? u"1=0" : beyond;
  return true;
}

bool CNATableAccess::bFetchBeyond(bool forward, bool edge, bool* done, CNAError* error) {
  *done = false;
  std::u16string boundary;
  int64_t equal = 0;
  std::vector<std::u16string> values;
  const int64_t rows = m_pResult != nullptr ? m_pResult->nGetRowCount() : 0;
  if (!edge) {
    if (rows <= 0) return true;
    CNAError quiet;
    std::u16string strict, same;
    if (!bBoundaryCondition(forward ? rows - 1 : 0, forward, &boundary, &strict, &same, &equal,
                            &values, &quiet)) {
      return true;
    }
    // Rows equal to the boundary passed over by the fetch that gave this
    // result are passed over again.
    if (equal == rows && forward == m_bBoundaryForward && values == m_astrBoundaryValues) {
      equal += m_nBoundarySkip;
    }
    // An order that tells every row apart goes on strictly beyond the
    // boundary row: were it deleted meanwhile by another connection, a count
    // of rows to pass over would pass over a row never read. Rows equal in
    // every column are told apart only by that count, and so are the rows
    // of a query (a key of its tables need not tell a join's rows apart).
    if (pclGetStoredQuery() == nullptr && bItemsIdentifyRows(OrderItems(m_bDescending))) {
      boundary = strict.empty() ? u"1=0" : strict;
      equal = 0;
    } else {
      // Equal rows passed over are at most those the server still holds.
      m_strBoundary = same;
      const int64_t still = nCountAside(&quiet);
      m_strBoundary.clear();
      if (still >= 0 && still < equal) equal = still;
    }
  } else if (pclGetStoredQuery() != nullptr) {
    std::vector<int> columns;
    std::vector<std::u16string> names;
    std::vector<bool> ascending;
    if (!bQueryOrderColumns(&columns, &names, &ascending)) return true;
  }
  *done = true;
  const int64_t old_offset = m_nResultOffset;
  const int64_t limit = m_nFetchLimit;
  m_bFetching = true;
  Drop(m_pGenerator);
  m_strBoundary = boundary;
  bool ok = true;
  if (pclGetStoredQuery() != nullptr) {
    // The query's own WHERE, GROUP BY and DISTINCT stay inside; the
    // boundary is on its result's columns.
    m_strBoundary.clear();
    ok = bBuildQueryPart(forward, boundary, limit, equal, error);
  } else if (forward) {
    ok = bBuildSelect(error);
    if (ok) {
      m_pGenerator->SetRowLimit(limit);
      m_pGenerator->SetRowOffset(equal);
    }
  } else {
    // The preceding rows come from the opposite order, kept in a derived
    // table that puts them back in the read's order.
    m_bDescending = !m_bDescending;
    ok = bBuildSelect(error);
    m_bDescending = !m_bDescending;
    if (ok) {
      // Wrapped in place: the values of the filter's conditions stay with
      // their places in the text.
      const std::u16string tail = NALimitText(limit, equal) + u") QG_PAGE";
      ok = m_pGenerator->bPrepend(u"SELECT * FROM (") && m_pGenerator->bAppend(tail) &&
           bAppendOrderBy(m_bDescending, error);
      m_pGenerator->SetRowLimit(-1);
      m_pGenerator->SetRowOffset(-1);
    }
  }
  m_strBoundary.clear();
  ok = ok && bExecute(0, 0, nullptr, error);
  m_astrBoundaryValues = values;
  m_bBoundaryForward = forward;
  m_nBoundarySkip = equal;
  m_bFetching = false;
  m_nCurrentRow = -1;
  m_bPositionValid = false;
  if (!ok) return false;
  const int64_t got = m_pResult->nGetRowCount();
  if (forward) {
    m_nResultOffset = old_offset + rows;
    m_nLimitMarker = got == limit ? limit : -1;
  } else {
    // More follow unless this is the last part; more precede while a whole
    // part came.
    m_nLimitMarker = edge ? -1 : limit;
    if (got < limit) {
      m_nResultOffset = 0;
    } else if (edge) {
      CNAError quiet;
      int64_t all = nCountAside(&quiet);
      m_nResultOffset = all > got ? all - got : 1;
    } else {
      m_nResultOffset = old_offset > got ? old_offset - got : 1;
    }
  }
  m_bBeginsAtStart = m_nResultOffset == 0;
  return true;
}

bool CNATableAccess::bCheckResultShape(CNAError* error) {
  const int columns = m_pResult != nullptr ? m_pResult->nGetColumnCount() : 0;
  std::vector<std::u16string> shape;
  shape.reserve(static_cast<size_t>(columns > 0 ? columns : 0));
  for (int c = 0; c < columns; ++c) {
    CNAResultColumn* column = m_pResult->pclGetResultColumn(c, nullptr);
    shape.push_back(column != nullptr ? ResultShape(*column) : std::u16string());
  }
  if (!m_bFetching) {
    m_astrResultShape.swap(shape);
    return true;
  }
  if (shape == m_astrResultShape) return true;
  // Another connection changed the table (a column's type, its character
  // set, a column gone or added) between two fetches of one read: the rows
  // to come would not continue the ones read. The read fails; a fresh
  // first or last read starts over on the table as it now is.
  std::u16string name;
  for (size_t c = 0; c < shape.size() || c < m_astrResultShape.size(); ++c) {
    const std::u16string& now = c < shape.size() ? shape[c] : m_astrResultShape[c];
    const std::u16string& before = c < m_astrResultShape.size() ? m_astrResultShape[c] : now;
    if (c >= shape.size() || c >= m_astrResultShape.size() || now != before) {
      name = now.substr(0, now.find(u'\x1f'));
      break;
    }
  }
  if (error != nullptr) {
    error->SetErrorMessage(0, kAccessSite, 13, m_pConnection, 87u, m_strTable.pszGet(),
                           name.c_str());
  }
  m_pResult->Reset();
  m_bPositionValid = false;
  m_nCurrentRow = -1;
  return false;
}

bool CNATableAccess::bRunAgain(const std::u16string& text, CNAError* error) {
  CNASQLGenerator* generator = new (std::nothrow) CNASQLGenerator(m_pConnection);
  if (generator == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kAccessSite, 49);
    return false;
  }
  CNARefPtr<CNASQLGenerator> hold(NAAddRef(generator));
  generator->SetStatementKind(CNASQLGenerator::kStatementSelect);
  if (!generator->bSetRawText(text.c_str())) {
    if (error != nullptr) error->SetOutOfMemory(kAccessSite, 49);
    return false;
  }
  m_bFetching = true;
  SetGenerator(generator);
  const bool ok = bExecute(0, 0, nullptr, error);
  m_bFetching = false;
  m_nCurrentRow = -1;
  m_bPositionValid = false;
  return ok;
}

bool CNATableAccess::bMoveAcrossFetches(int32_t direction, int64_t step, bool* in_range,
                                        CNAError* error) {
  *in_range = false;
  if (m_pResult == nullptr || m_nFetchLimit <= 0 || step == 0 || direction == kNAReadStay) {
    return bMoveInResult(direction, step, in_range, error);
  }
  // A move within the rows held (most moves of a walk) needs no fetch and
  // nothing to come back to.
  if ((direction == kNAReadNext || direction == kNAReadPrevious) &&
      step <= nRowsBeyond(direction == kNAReadNext)) {
    return bMoveInResult(direction, step, in_range, error);
  }
  // Where the position was, to come back to when the move leaves the rows.
  const int64_t start_offset = m_nResultOffset;
  const int64_t start_rows = m_pResult->nGetRowCount();
  const int64_t start_row = m_nCurrentRow;
  const int64_t start_marker = m_nLimitMarker;
  const bool start_begins = m_bBeginsAtStart;
  const std::vector<std::u16string> start_boundary = m_astrBoundaryValues;
  const bool start_boundary_forward = m_bBoundaryForward;
  const int64_t start_skip = m_nBoundarySkip;
  std::u16string start_text;
  if (m_pGenerator != nullptr && pclGetStoredQuery() == nullptr) {
    const char16_t* text = m_pGenerator->pszGetDialectText(nullptr);
    if (text != nullptr) start_text = text;
  }
  bool fetched = false;
  bool forward = direction == kNAReadFirst || direction == kNAReadNext;
  if (direction == kNAReadFirst) {
    if (m_nResultOffset > 0) {
      if (!bFetchPart(0, m_nFetchLimit, error)) return false;
      fetched = true;
    }
    m_nCurrentRow = -1;
  } else if (direction == kNAReadLast) {
    if (m_nLimitMarker != -1 || m_nResultOffset > 0) {
      bool done = false;
      if (!bFetchBeyond(false, true, &done, error)) return false;
      if (done) fetched = true;
    }
    while (m_nLimitMarker != -1) {
      if (!bFetchPart(m_nResultOffset + m_pResult->nGetRowCount(), m_nFetchLimit, error)) {
        return false;
      }
      fetched = true;
    }
    m_nCurrentRow = m_pResult->nGetRowCount();
  }
  for (;;) {
    int64_t available = nRowsBeyond(forward);
    if (step <= available) {
      return bMoveInResult(forward ? kNAReadNext : kNAReadPrevious, step, in_range, error);
    }
    const int64_t rows = m_pResult->nGetRowCount();
    bool more = forward ? m_nLimitMarker != -1 : m_nResultOffset > 0;
    if (!more || (forward && rows == 0)) break;
    step -= available;
    bool done = false;
    if (!bFetchBeyond(forward, false, &done, error)) return false;
    if (forward) {
      if (!done && !bFetchPart(m_nResultOffset + rows, m_nFetchLimit, error)) return false;
      m_nCurrentRow = -1;
    } else {
      int64_t from = m_nResultOffset > m_nFetchLimit ? m_nResultOffset - m_nFetchLimit : 0;
      if (!done && !bFetchPart(from, m_nResultOffset - from, error)) return false;
      m_nCurrentRow = m_pResult->nGetRowCount();
    }
    fetched = true;
  }
  // Out of range: the position stays where it was, in the rows the same
  // statement gives again.
  if (fetched) {
    if (!start_text.empty()) {
      if (!bRunAgain(start_text, error)) return false;
      m_nResultOffset = start_offset;
      m_nLimitMarker = start_marker;
      m_bBeginsAtStart = start_begins;
      m_astrBoundaryValues = start_boundary;
      m_bBoundaryForward = start_boundary_forward;
      m_nBoundarySkip = start_skip;
    } else if (!bFetchPart(start_offset, start_rows > 0 ? start_rows : m_nFetchLimit, error)) {
      return false;
    }
    if (start_row >= 0 && start_row < m_pResult->nGetRowCount()) {
      bool back = false;
      if (!bMoveInResult(kNAReadFirst, start_row + 1, &back, error)) return false;
    }
  }
  *in_range = false;
  return true;
}

// ---- reads along the order

bool CNATableAccess::bFindLockedRecord(int32_t direction, int64_t* step, CNAError* error) {
  if (m_strNextKey.bEstVide() || (m_nLockMode == 0 && m_bPositionValid)) return true;
  auto* source = m_pSession != nullptr
                     ? static_cast<CNARecordSource*>(m_pSession->pclGetRecordSource())
                     : nullptr;
  const bool bound = source != nullptr && source->bIsBoundTo(this);
  if (direction == kNAReadFirst || direction == kNAReadLast) {
    m_nLockMode = 0;
    m_nLockedRecord = -1;
    if (!m_bPositionValid && source != nullptr && !bound) return bUseTemporaryIndex(error);
    return true;
  }
  if (m_nLockedRecord < 0) return true;
  if (source != nullptr && !bound) {
    // The locked row of the open result (moves from a row marked deleted
    // skip it), else one row less to go forward and one more backward.
    const int64_t rows = m_pResult != nullptr ? m_pResult->nGetRowCount() : 0;
    const int64_t row = m_nLockedRecord;
    if (row < rows) {
      m_nCurrentRow = row;
      m_bPositionValid = true;
    } else if (direction == kNAReadNext) {
      *step -= 1;
    } else if (direction == kNAReadPrevious) {
      *step += 1;
    }
  } else if (bound && m_pCache != nullptr) {
    const int64_t row = m_nLockedRecord;
    if (row < m_pCache->nGetCount() && !m_pCache->bIsInvalid(static_cast<int>(row))) {
      m_nCurrentRow = row;
      m_bPositionValid = true;
    } else if (bIsCacheFull()) {
      // The whole result is held and the locked record is not among it.
      ReportNoRowUpdated(error, 8);
      return false;
    }
  }
  return true;
}

bool CNATableAccess::bReadPosition(int32_t direction, bool lock, int64_t step, bool* found,
                                   CNAError* error) {
  if (found != nullptr) *found = false;
  if (!bFindLockedRecord(direction, &step, error)) return false;
  m_bFound = false;
  m_bInRange = false;
  m_nDirection = direction;
  bool in_range = false;
  if (bCacheReads()) {
    if (!bReadThroughCache(direction, step, &in_range, error)) return false;
  } else if (!bMoveAcrossFetches(direction, step, &in_range, error)) {
    return false;
  }
  m_bOutOfRange = !in_range;
  m_bLastMoveInRange = in_range;
  m_bFound = in_range;
  // Under a key condition, the record read must also satisfy it.
  if (in_range && m_pKeyFilter != nullptr &&
      static_cast<CNAKeyFilter*>(m_pKeyFilter)->bHasCondition()) {
    m_bFound = bKeyFilterAccepts();
  }
  if (in_range && lock && m_pSession != nullptr) m_pSession->LockRecord(this, error);
  // The search condition judges the row: by its result column, or, along a
  // temporary index, by the record's item.
  if (m_stSearch.bActive() && in_range && m_pResult != nullptr) {
    CAny value;
    int column = -1;
    for (int i = 0; i < m_pResult->nGetColumnCount(); ++i) {
      CAny name;
      const char16_t* text = nullptr;
      if (m_pResult->bGetColumnName(name, i, nullptr) && name.nGetPCXSTR(&text) < 100 &&
          CTString(text).bEstEgalI(m_stSearch.strItem.pszGet())) {
        column = i;
        break;
      }
    }
    m_bInRange = column >= 0 && m_pResult->bGetColumnAsText(value, column, nullptr) &&
                 SameValue(value, m_stSearch.clValue);
  } else if (m_stSearch.bActive() && in_range && m_pTemporaryIndex != nullptr) {
    m_bInRange = bRecordMeetsSearch();
  } else {
    m_bInRange = m_bFound;
  }
  if (found != nullptr) *found = m_bFound;
  return true;
}

bool CNATableAccess::bSeek(const char16_t* item, const CAny& value, bool exact, bool* found,
                           CNAError* error) {
  if (found != nullptr) *found = false;
  if (m_pTemporaryIndex != nullptr) return bSeekAlongIndex(item, value, exact, found, error);
  if (m_pResult == nullptr || m_pResult->nGetRowCount() < 0) {
    return NotAvailable(error, 10);
  }
  int column = -1;
  for (int i = 0; i < m_pResult->nGetColumnCount(); ++i) {
    CAny name;
    const char16_t* text = nullptr;
    if (m_pResult->bGetColumnName(name, i, error) && name.nGetPCXSTR(&text) < 100 &&
        CTString(text).bEstEgalI(item)) {
      column = i;
      break;
    }
  }
  if (column < 0) {
    if (error != nullptr) error->SetErrorMessage(0, kAccessSite, 9, nullptr, 6, item);
    return false;
  }
  m_stSearch.strItem = item;
  m_stSearch.clValue = value;
  m_stSearch.nFlags = exact ? 1 : 3;
  // Along the order, the first row whose value matches.
  bool in_range = false;
  if (m_nResultOffset > 0 && m_nFetchLimit > 0 && !bFetchPart(0, m_nFetchLimit, error)) {
    return false;
  }
  m_nCurrentRow = -1;
  for (;;) {
    if (!bMoveAcrossFetches(kNAReadNext, 1, &in_range, error)) return false;
    if (!in_range) break;
    CAny cell;
    if (m_pResult->bGetColumnAsText(cell, column, error) && SameValue(cell, value)) break;
  }
  m_bOutOfRange = !in_range;
  m_bFound = in_range;
  m_bInRange = in_range;
  if (in_range) {
    m_nLockMode = 0;
    m_nLockedRecord = -1;
  }
  if (found != nullptr) *found = in_range;
  return true;
}

bool CNATableAccess::bSeekIsCurrentRow(const char16_t* item, const CAny& value, bool exact) {
  if (m_pResult == nullptr || !m_bPositionValid || m_nCurrentRow < 0 || m_bOutOfRange ||
      !m_pResult->bHasRow() || m_pResult->nGetCurrentRow() != m_nCurrentRow) {
    return false;
  }
  int column = -1;
  for (int i = 0; i < m_pResult->nGetColumnCount() && column < 0; ++i) {
    CAny name;
    const char16_t* text = nullptr;
    if (m_pResult->bGetColumnName(name, i, nullptr) && name.nGetPCXSTR(&text) < 100 &&
        CTString(text).bEstEgalI(item)) {
      column = i;
    }
  }
  CAny cell;
  if (column < 0 || !m_pResult->bGetColumnAsText(cell, column, nullptr) || !SameValue(cell, value)) {
    return false;
  }
  m_stSearch.strItem = item;
  m_stSearch.clValue = value;
  m_stSearch.nFlags = exact ? 1 : 3;
  m_bOutOfRange = false;
  m_bFound = true;
  m_bInRange = true;
  m_nLockMode = 0;
  m_nLockedRecord = -1;
  return true;
}

bool CNATableAccess::bRecordCondition(const std::vector<int>& columns, std::u16string* out) {
  out->clear();
  if (m_pResult == nullptr || !m_bPositionValid || m_nCurrentRow < 0 || bCacheReads() ||
      m_pTemporaryIndex != nullptr || pclGetStoredQuery() != nullptr || !m_pResult->bHasRow() ||
      m_pResult->nGetCurrentRow() != m_nCurrentRow || columns.empty()) {
    return false;
  }
  CNAError quiet;
  for (int n : columns) {
    CAny name;
    const char16_t* text = nullptr;
    if (!m_pResult->bGetColumnName(name, n, nullptr) || name.nGetPCXSTR(&text) >= 100 ||
        text == nullptr) {
      return false;
    }
    NAKeyPart part;
    part.strName = text;
    CTString quoted;
    OrderItemText(part, 0, &quoted);
    std::u16string literal;
    bool null = false;
    if (!m_pResult->bIdentityLiteral(n, &literal, &null, &quiet) || null) return false;
    if (!out->empty()) *out += u" AND ";
    *out += std::u16string(quoted.pszGet()) + u" = " + literal;
  }
  return true;
}

bool CNATableAccess::bOrderTellsRowsApart() {
  return pclGetStoredQuery() == nullptr && bResolveOrderKey(nullptr) &&
         bItemsIdentifyRows(OrderItems(m_bDescending));
}

bool CNATableAccess::bReadAtCondition(const std::u16string& condition, int64_t fetch,
                                      bool* handled, bool* in_range, CNAError* error) {
  *handled = false;
  *in_range = false;
  if (condition.empty() || fetch <= 0 || bIsCacheEnabled() || m_pTemporaryIndex != nullptr ||
      !bOrderTellsRowsApart()) {
    return true;
  }
  *handled = true;
  // A read of its own: the columns it gives are those the fetches after it
  // must give.
  Drop(m_pGenerator);
  m_strBoundary = condition;
  bool ok = bBuildSelect(error);
  if (ok) {
    m_pGenerator->SetRowLimit(fetch);
    ok = bExecute(0, 0, nullptr, error);
  }
  m_strBoundary.clear();
  m_nCurrentRow = -1;
  m_bPositionValid = false;
  if (!ok) return false;
  // A part of the order that rows may follow and precede: the next fetch
  // goes on beyond its last row, the previous one before its first.
  m_nFetchSize = fetch;
  m_nFetchLimit = fetch;
  m_nLimitMarker = fetch;
  m_nResultOffset = 1;
  m_bBeginsAtStart = false;
  m_astrBoundaryValues.clear();
  m_nBoundarySkip = 0;
  return bReadPosition(kNAReadNext, false, 1, in_range, error);
}

void CNATableAccess::EndSeek() {
  m_stSearch.nFlags = 0;
  if (!m_bKeepSearch) ResetKeyFilter();
  m_bKeepSearch = false;
}

// ---- per-mille

int32_t CNATableAccess::nPerMilleOf(int64_t position, int64_t count) {
  if (count <= 0 || position <= 0) return 0;
  int64_t product = position * 1000;
  int64_t value = product / count + (product % count != 0 ? 1 : 0);
  return static_cast<int32_t>(value > 1000 ? 1000 : value);
}

int64_t CNATableAccess::nPerMilleTarget(int64_t count, int32_t value) {
  if (count <= 0) return 0;
  int64_t target = count * static_cast<int64_t>(value) / 1000;
  return target < 1 ? 1 : (target > count ? count : target);
}

int64_t CNATableAccess::nRunCount(CNASQLGenerator* g, CNAError* error) {
  CAny count;
  int64_t n = 0;
  if (bBindGenerator(g, error) && bExecute(0, 0, nullptr, error) &&
      pclGetResult()->bFetchNext(0, error) && pclGetResult()->bHasRow() &&
      bColumnText(count, 0, error) && count.nConvertType(9) < 100 && count.nGetI8(&n) < 100) {
    return n;
  }
  return -1;
}

int64_t CNATableAccess::nCountAside(CNAError* error) {
  // Its own generator and statement: the open result and the position stay.
  CNASQLGenerator* kept = m_pGenerator;
  const bool own_limit = m_bOwnLimit;
  m_pGenerator = nullptr;
  int64_t count = -1;
  if (bBuildCountSelect(error)) {
    CNAStatement* statement = NAAddRef(pclNewResult());
    const char16_t* text =
        statement != nullptr ? m_pGenerator->pszGetDialectText(error) : nullptr;
    CAny value;
    if (text != nullptr && statement->bExecuteWide(text, error) &&
        statement->bFetchNext(0, error) && statement->bHasRow() &&
        statement->bGetColumnAsText(value, 0, error)) {
      int64_t n = 0;
      if (value.nConvertType(9) < 100 && value.nGetI8(&n) < 100) count = n;
    }
    if (statement != nullptr) ReleaseBoth(statement);
  }
  Drop(m_pGenerator);
  m_pGenerator = kept;
  m_bOwnLimit = own_limit;
  return count;
}

bool CNATableAccess::bIsWholeOrder() const {
  return m_nLimitMarker == -1 && m_bBeginsAtStart;
}

bool CNATableAccess::bGetPositionPerMille(int32_t* out, CNAError* error) {
  *out = 0;
  if (m_pTemporaryIndex != nullptr) {
    // Along a client-side key the place is the current entry's in the
    // index, over the records it holds.
    auto* index = static_cast<CNATemporaryIndex*>(m_pTemporaryIndex);
    const int position = index->nGetPosition();
    const int count = index->nGetCount();
    if (position < 0 || position >= count) {
      if (error != nullptr) {
        error->SetErrorMessage(0, kAccessSite, 53, nullptr, 11, m_strTable.pszGet());
      }
      return false;
    }
    *out = nPerMilleOf(static_cast<int64_t>(position) + 1, count);
    return true;
  }
  if (m_pResult == nullptr || !m_bPositionValid) return true;
  int64_t position = 0;
  for (int64_t row = 0; row <= m_nCurrentRow; ++row) {
    if (static_cast<size_t>(row) < m_anRowMap.size() && m_anRowMap[row] == kRowDeleted) continue;
    ++position;
  }
  int64_t count = 0;
  if (bIsWholeOrder()) {
    count = m_pResult->nGetRowCount() - m_nDeletedRows;
  } else {
    // Part of the order: the place in the whole order over its count.
    position += m_nResultOffset;
    count = nCountAside(error);
    if (count < 0) return false;
  }
  *out = nPerMilleOf(position, count);
  return true;
}

bool CNATableAccess::bGoToPerMille(int32_t value, CNAError* error) {
  int64_t count = 0;
  if (m_pTemporaryIndex != nullptr) {
    // Along a client-side key: the place among the records the index
    // holds, reached through the index.
    count = static_cast<CNATemporaryIndex*>(m_pTemporaryIndex)->nGetCount();
  } else if (m_pResult == nullptr) {
    return NotAvailable(error, 52);
  } else {
    count = bIsWholeOrder() ? m_pResult->nGetRowCount() - m_nDeletedRows : nCountAside(error);
  }
  if (count < 0) return false;
  if (count == 0) {
    m_bOutOfRange = true;
    m_bFound = false;
    return true;
  }
  bool found = false;
  return bReadPosition(kNAReadFirst, false, nPerMilleTarget(count, value), &found, error);
}

bool CNATableAccess::bGoToRecord(int64_t n, CNAError* error) {
  if (m_pTemporaryIndex != nullptr) return bGoToIndexedRecord(n, error);
  if (m_pResult == nullptr) return NotAvailable(error, 52);
  bool found = false;
  return bReadPosition(kNAReadFirst, false, n + 1, &found, error);
}

// ---- statement kinds

bool CNATableAccess::bRunByStatementKind(int32_t kind, CNASQLGenerator* generator,
                                         CNAError* error) {
  Close();
  if (!bBindGenerator(generator, error)) return false;
  if (!bEnsureGenerator()) {
    if (error != nullptr) error->SetOutOfMemory(kAccessSite, 39);
    return false;
  }
  // The generator takes query kinds: SELECT 1, UPDATE 3, INSERT 4, DELETE
  // 5, CREATE 6, DROP 7.
  static constexpr int kQueryKindOf[] = {0, 1, 3, 4, 5, 5, 6, 0, 0, 7};
  if (kind >= 1 && kind <= 9) m_pGenerator->SetStatementKind(kQueryKindOf[kind]);
  switch (kind) {
    case 1:
      return bBuildSelect(error);
    case 2:
      return bBuildUpdate(error);
    case 3:
      return bBuildInsert(error);
    case 4:
    case 5:
      return bBuildDelete(error);
    case 6:
      return bCreateTable(error);
    case 9:
      return NotAvailable(error, 13);
    default:
      return false;
  }
}

// ---- filters, cache, locks

void CNATableAccess::SetFilter(CNAFilter* filter) {
  Replace(m_pFilter, filter);
  m_bFilterActive = filter != nullptr;
}

bool CNATableAccess::bSetFilterByName(const char16_t* name, CNAError* error) {
  CNARefCounted* object = pclFindObject(name);
  auto* filter = dynamic_cast<CNAFilter*>(object);
  if (filter == nullptr) {
    if (object != nullptr) ReleaseBoth(object);
    if (error != nullptr) {
      error->SetErrorMessage(0, kAccessSite, 55, nullptr, 11u, name != nullptr ? name : u"");
    }
    return false;
  }
  SetFilter(filter);
  ReleaseBoth(object);
  return true;
}

bool CNATableAccess::bApplyFilter(CNAError*) {
  if (!bHasFilterChanged()) return true;
  // Rows read under another filter are not rows of this one.
  CloseCursor();
  FreeRowMap();
  UpdateFilterRef();
  return true;
}

CNARefCounted* CNATableAccess::pclGetPosition(CNAError* error) {
  CNASavedPosition* position = new (std::nothrow) CNASavedPosition();
  if (position == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kAccessSite, 56);
    return nullptr;
  }
  NAAddRef(position);
  if (!bSavePosition(position, error)) {
    ReleaseBoth(position);
    return nullptr;
  }
  return position;
}

CNAFilter* CNATableAccess::pclActivateFilter() {
  if (m_pFilter == nullptr) m_pFilter = NAAddRef(pclNewFilter());
  m_bFilterActive = m_pFilter != nullptr;
  return m_pFilter;
}

void CNATableAccess::DeactivateFilter() { m_bFilterActive = false; }

void CNATableAccess::UpdateFilterRef() {
  Replace(m_pFilterRef, m_bFilterActive ? m_pFilter : static_cast<CNAFilter*>(nullptr));
}

bool CNATableAccess::bHasFilterChanged() const {
  CNAFilterRef read;
  CNAFilterRef in_force;
  read.Set(m_pFilterRef);
  in_force.Set(m_bFilterActive ? m_pFilter : nullptr);
  return !read.bIsEqual(in_force);
}

void CNATableAccess::SetKeyFilter(CNARefCounted* filter) { Replace(m_pKeyFilter, filter); }

void CNATableAccess::EnableCache(bool on) {
  if (on) {
    if (m_pCache == nullptr) {
      m_pCache = NAAddRef(new (std::nothrow) CNARecordCacheBase(CNARecordCacheBase::kActive));
      if (m_pCache == nullptr) return;
    }
    m_nCacheState |= 1;
  } else {
    m_nCacheState &= ~1u;
  }
}

CNARecordCacheBase* CNATableAccess::pclGetFullCache() const {
  return bIsCacheFull() ? m_pCache : nullptr;
}

bool CNATableAccess::bLockCurrentRecord(CNAError*) {
  if (!m_bPositionValid) return false;
  m_nLockedRecord = m_nCurrentRow;
  return true;
}

int32_t CNATableAccess::nSetLockState(int32_t mode) {
  int32_t old = m_nLockMode;
  m_nLockMode = mode;
  if (mode == 0) m_nLockedRecord = -1;
  return old;
}

bool CNATableAccess::bResetPosition() {
  CloseCursor();
  return true;
}

bool CNATableAccess::bUseTemporaryIndex(CNAError* error) {
  if (m_pTemporaryIndex != nullptr) {
    m_nLockMode = 0;
    m_nLockedRecord = -1;
    return true;
  }
  auto* source = m_pSession != nullptr
                     ? static_cast<CNARecordSource*>(m_pSession->pclGetRecordSource())
                     : nullptr;
  if (source == nullptr) return true;
  if (source->pclOpen(error) == nullptr) {
    if (error != nullptr && !error->bHasError()) {
      error->SetErrorMessage(0, kAccessSite, 54, nullptr, 11, m_strTable.pszGet());
    }
    return false;
  }
  CloseCursor();
  return bSwitchKey(error);
}
