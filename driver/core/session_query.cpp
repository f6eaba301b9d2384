// Query mode: a session bound to a query instead of a plain table. A
// SELECT the host parsed is rewritten by the SQL generator (the reads wrap
// it with their order and fetch limits); raw SQL text is sent unchanged
// through the "__SQL" object and read over the rows of its result; a
// statement that changes rows runs once when it is opened.
#include <new>
#include <string>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/session.h"
#include "driver/sql/column.h"
#include "driver/sql/query.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/record_source.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "support/platform/codepage.h"

namespace {

constexpr uint32_t kSite = 3;
constexpr uint32_t kOpenNewBinding = 0x10;

// The statement kind of a text by its first word: INSERT 4, UPDATE 3,
// DELETE 5, anything else 1 (a SELECT or a statement read like one).
int KindOfText(const char16_t* text) {
  if (text == nullptr) return CNAQuery::kKindSelect;
  while (*text == u' ' || *text == u'\t' || *text == u'\r' || *text == u'\n') ++text;
  std::u16string word;
  for (int i = 0; i < 6 && text[i] != 0; ++i) {
    char16_t c = text[i];
    word += c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
  }
  if (word == u"INSERT") return CNAQuery::kKindInsert;
  if (word == u"UPDATE") return CNAQuery::kKindUpdate;
  if (word == u"DELETE") return CNAQuery::kKindDelete;
  return CNAQuery::kKindSelect;
}

bool IsModifying(int kind) {
  return kind == CNAQuery::kKindUpdate || kind == CNAQuery::kKindInsert ||
         kind == CNAQuery::kKindDelete;
}

bool ContainsJoin(const char16_t* text) {
  std::u16string upper;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) {
    upper += *p >= u'a' && *p <= u'z' ? static_cast<char16_t>(*p - u'a' + u'A') : *p;
  }
  return upper.find(u" JOIN ") != std::u16string::npos;
}

// Files the query's own ORDER BY in the description as a key named after
// the query: reads by the query's name follow it, each part in its own
// direction. A query without ORDER BY gets none (its name then reads in
// the server's order), and so does one that orders on anything but
// select-list columns: its reads keep the query's own ORDER BY.
void AddOwnOrderKey(CNATableDescription* table, CNAQuery* query, const char16_t* name) {
  if (table == nullptr || query == nullptr) return;
  for (const qg::ParseOrderItem* item = query->pclNextOrderItem(true); item != nullptr;
       item = query->pclNextOrderItem(false)) {
    if (item->nColumn < 0 || table->pclColumnAt(item->nColumn) == nullptr) return;
  }
  CNAColumn* made = CNAColumn::pclNew();
  if (made == nullptr) return;
  CNARefPtr<CNAColumn> key(NAAddRef(made));
  key->Init(name, table->pszGetName(), nullptr, 1, 0, kNAColVarChar, -1, table->nGetKeyCount(),
            static_cast<uint16_t>(kNAKeyComposite | 0x2000), 0, 0);
  int parts = 0;
  for (const qg::ParseOrderItem* item = query->pclNextOrderItem(true); item != nullptr;
       item = query->pclNextOrderItem(false)) {
    CNAColumn* column = item->nColumn >= 0 ? table->pclColumnAt(item->nColumn) : nullptr;
    if (column == nullptr) break;
    CNAColumn* part = column->pclCloneWithoutParts(-1, 0);
    if (part == nullptr) break;
    CNARefPtr<CNAColumn> hold(NAAddRef(part));
    part->SetDirection(item->nDirection == 2);
    key->AddPart(part);
    ++parts;
  }
  if (parts > 0) table->AddKey(key.Get());
}

}  // namespace

bool CNASession::bBindQuery(const char16_t* text, qg::IParsedQuery* parsed, uint32_t flags,
                            CNAError* error) {
  m_nQueryMode = 1;
  CloseAll();
  if (m_pCache1 != nullptr) m_pCache1->Clear();
  if (m_pCache2 != nullptr) m_pCache2->Clear();
  m_nCachedCurrent = -1;
  m_nFirstRead = 0;
  m_nKeyRange = 0;
  SetLogicalDescription(nullptr);
  SetTableDescription(nullptr);
  SetQuery(nullptr);
  if (text != nullptr) {
    // Without the host's parse there is nothing to rewrite: the text goes
    // as it is written.
    if (parsed == nullptr) flags |= kNASessionRawSQL;
    if ((flags & kNASessionRawSQL) != 0 && m_pConnection != nullptr) {
      int32_t code_page = m_pConnection->m_nConnectionCodePage > 0
                              ? m_pConnection->m_nConnectionCodePage
                              : m_pConnection->m_nLanguageCodePage;
      if (code_page != static_cast<int32_t>(qg::kCodePageUtf8) &&
          code_page != static_cast<int32_t>(qg::kCodePageUtf16Le) &&
          code_page != static_cast<int32_t>(qg::kCodePageUtf16Be)) {
        std::string narrow;
        bool replaced = false;
        if (!qg::Utf16ToCodePage(static_cast<uint32_t>(code_page), text, -1, &narrow,
                                 &replaced) ||
            replaced) {
          if (error != nullptr) {
            const char16_t* source = m_pConnection->pszGetDataSource();
            const char16_t* database = m_pConnection->pszGetDatabase();
            error->SetErrorMessage(0, kSite, 26, nullptr, 77, text, code_page,
                                   source != nullptr ? source : u"",
                                   database != nullptr ? database : u"");
          }
          return false;
        }
      }
    }
    CNAQuery* query = new (std::nothrow) CNAQuery(parsed, m_piFile, true);
    if (query == nullptr) {
      if (error != nullptr) error->SetOutOfMemory(kSite, 40);
      return false;
    }
    AddRefBoth(query);
    query->SetConnection(m_pConnection);
    SetQuery(query);
    ReleaseBoth(query);
    m_nFlags = flags;
  } else {
    m_nFlags = flags | kNASessionRawSQL;
  }
  if ((m_nFlags & kNASessionRawSQL) == 0 && ContainsJoin(text)) m_nFlags |= kNASessionJoin;
  SetSQLTextObject(nullptr);
  return true;
}

bool CNASession::bOpenQuery(const char16_t* text, qg::IParsedQuery* parsed, uint32_t flags,
                            const char16_t* name, bool* has_columns, int64_t* rows,
                            CNAError* error) {
  CNALock lock(&m_clLock);
  *has_columns = false;
  *rows = -1;
  RefreshDisplayName();
  bool reused = (flags & kOpenNewBinding) == 0 && bIsQueryReusable();
  if (reused) m_nFlags &= ~kNASessionBindPending;
  if (m_pConnection == nullptr) return false;
  if (!m_pConnection->bIsOpen() && !m_pConnection->bOpen(error, 0)) return false;
  if (!reused && !bBindQuery(text, parsed, flags, error)) return false;
  if (reused && text == nullptr) text = m_pQuery != nullptr ? m_pQuery->pszGetText() : nullptr;

  const bool raw = (m_nFlags & kNASessionRawSQL) != 0;
  const int kind = raw ? KindOfText(text) : m_pQuery->nGetKind();
  const bool modifying = IsModifying(kind);
  if (name == nullptr) name = u"";
  // The query's own name: reads by it follow the query's own order.
  m_strQueryTable = pszGetFileName();

  CNASQLGenerator* generator = pclNewSQLGenerator();
  if (generator == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 40);
    return false;
  }
  CNARefPtr<CNASQLGenerator> hold_generator(NAAddRef(generator));

  if (!raw && !modifying) {
    // A SELECT: run in the query's own form on the object of the query's
    // name, described from its result and positioned on its first row.
    CNATableAccess* access =
        pclGetTableAccess(name[0] != 0 ? name : m_strQueryTable.pszGet(), error);
    if (access == nullptr) return false;
    CNARefPtr<CNATableAccess> hold(access);
    access->SetTableName(m_strQueryTable.pszGet());
    access->SetOrderKey(u"", {});
    // One row tells the columns (a query's own LIMIT stays alone).
    bool ok = access->bRunByStatementKind(1, generator, error);
    if (ok) generator->SetRowLimit(1);
    ok = ok && access->bExecute(0, 0, nullptr, error) && bLoadTableDescription(access, error);
    if (!ok) return false;
    *has_columns = access->pclGetResult()->nGetColumnCount() > 0;
    AddOwnOrderKey(m_pTableDescription, m_pQuery, m_strQueryTable.pszGet());
    if (!bBindDescription(error)) return false;
    m_bOpen = true;
    m_nKeyRange = 1;
    SetCurrentTableAccess(access);
    access->UpdateFilterRef();
    if (!bReadOn(access, pszReadKeyOf(m_strQueryTable.pszGet()), kNAReadFirst, 1, 1, 0, 0, 0, true,
                 error)) {
      return false;
    }
    *rows = access->pclGetResult() != nullptr ? access->pclGetResult()->nGetRowCount() : -1;
    m_nFirstRead = 1;
    return true;
  }

  // Raw SQL and statements that change rows: the text runs once.
  CNATableAccess* access = raw ? pclGetSQLTextObject(error)
                         : name[0] != 0 ? pclGetTableAccess(name, error)
                                        : pclGetDefaultTableAccess(error);
  if (access == nullptr) return false;
  CNARefPtr<CNATableAccess> hold(access);
  generator->SetStatementKind(kind);
  bool ok = raw ? generator->bSetRawText(text != nullptr ? text : u"")
                : generator->bGenerate(m_pQuery, nullptr, true, static_cast<int>(m_nFlags), error);
  if (!ok) {
    if (error != nullptr && !error->bHasError()) error->SetOutOfMemory(kSite, 40);
    return false;
  }
  if (!access->bBindGenerator(generator, error)) return false;
  if ((flags & kOpenNewBinding) != 0) return true;
  int64_t changed = -1;
  if (modifying) {
    // Run where the rows it changed are counted.
    const char16_t* sql = generator->pszGetDialectText(error);
    if (sql == nullptr || !access->pclGetResult()->bExecuteWideCounted(sql, &changed, error)) {
      return false;
    }
  } else if (!access->bExecute(0, 0, nullptr, error)) {
    return false;
  }
  CNAStatement* result = access->pclGetResult();
  *has_columns = result != nullptr && result->nGetColumnCount() > 0;
  *rows = modifying ? changed : result != nullptr ? result->nGetRowCount() : -1;
  if (*has_columns) {
    if (!bLoadTableDescription(access, error) || !bBindDescription(error)) return false;
    m_nKeyRange = 1;
  }
  if ((name[0] != 0 || raw || modifying) && *has_columns) {
    SetCurrentTableAccess(access);
    access->UpdateFilterRef();
    const char16_t* file = pszGetFileName();
    if (!CTString(access->pszGetName()).bEstEgalI(file)) RenameTableAccess(file, nullptr, access);
    // The result read whole into the object's record cache is the record
    // set of client-side keys. Reads without cache (the internal query)
    // would drop it at once: none is made for them.
    if ((m_nFlags & kNASessionNoCacheReads) == 0) {
      access->EnableCache(true);
      if (!bRenewRecordSource(access, error)) return false;
      static_cast<CNARecordSource*>(m_pRecordSource)->bAttach(access);
    }
    m_nFirstRead = 1;
    m_bOpen = true;
    bool found = false;
    return access->bReadPosition(kNAReadFirst, false, 1, &found, error);
  }
  access->Close();
  return true;
}

bool CNASession::bOpenHostQuery(intptr_t out, intptr_t flags, CNAError* error) {
  CNALock lock(&m_clLock);
  NAHostQuery* query = m_piFile != nullptr ? m_piFile->pGetQuery() : nullptr;
  if (query == nullptr) return false;
  bool has_columns = false;
  int64_t rows = -1;
  bool ok = bOpenQuery(query->pszText, query->piParsed,
                       static_cast<uint32_t>(flags) | query->nFlags, nullptr, &has_columns, &rows,
                       error);
  query->nHasColumns = ok && has_columns ? 1 : 0;
  query->nRowCount = ok ? rows : -1;
  if (out != 0) *reinterpret_cast<int32_t*>(out) = ok && has_columns ? 1 : 0;
  return ok;
}

bool CNASession::bGetInternalQuery(CNATableAccess** out, const char16_t* text, CNAError* error) {
  CNALock lock(&m_clLock);
  *out = nullptr;
  bool has_columns = false;
  int64_t rows = -1;
  if (!bOpenQuery(text, nullptr, kNASessionRawSQL | kNASessionNoCacheReads, kInternalQueryName,
                  &has_columns, &rows, error)) {
    return false;
  }
  if (has_columns && m_pCurrentAccess != nullptr) *out = NAAddRef(m_pCurrentAccess);
  return true;
}

CNATableAccess* CNASession::pclGetSQLTextObject(CNAError* error) {
  CNALock lock(&m_clLock);
  if (bIsRawSQL() && m_pQuery != nullptr && m_pSQLText != nullptr) return NAAddRef(m_pSQLText);
  CNATableAccess* access = pclFindTableAccess(kSQLTextName);
  if (access == nullptr) access = pclAddTableAccess(kSQLTextName, error);
  if (access != nullptr) SetSQLTextObject(access);
  return access;
}

void CNASession::RenameTableAccess(const char16_t* new_name, const char16_t* old_name,
                                   CNATableAccess* object) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = object != nullptr ? NAAddRef(object) : pclFindTableAccess(old_name);
  if (access == nullptr || new_name == nullptr) {
    if (access != nullptr) ReleaseBoth(access);
    return;
  }
  const char16_t* previous = old_name != nullptr ? old_name : access->pszGetName();
  CTString old_copy(previous != nullptr ? previous : u"");
  m_tabAccess.bRemove(new_name);
  m_tabAccess.bAdd(new_name, access);
  CNARefCounted* filed = nullptr;
  if (!old_copy.bEstEgalI(new_name) && m_tabAccess.bFind(old_copy.pszGet(), &filed)) {
    if (filed == access) m_tabAccess.bRemove(old_copy.pszGet());
    ReleaseBoth(filed);
  }
  access->SetNames(new_name, new_name);
  ReleaseBoth(access);
}

const char16_t* CNASession::pszReadKeyOf(const char16_t* name) {
  CNALock lock(&m_clLock);
  if (m_nQueryMode == 0 || (m_nFlags & kNASessionRawSQL) != 0 || name == nullptr) return name;
  if (m_strQueryTable.bEstVide() || !m_strQueryTable.bEstEgalI(name)) return name;
  // The query's own order when it has one, else none.
  CNATableDescription* table = m_pTableDescription;
  for (int i = 0; table != nullptr && i < table->nGetKeyCount(); ++i) {
    CNAColumn* key = table->pclKeyAt(i);
    if (key != nullptr && key->bIsComposite() && m_strQueryTable.bEstEgalI(key->pszGetName())) {
      return name;
    }
  }
  return u"";
}

bool CNASession::bRefreshRawResult(CNAError* error) {
  CNALock guard(&m_clLock);
  CNATableAccess* access = m_pSQLText;
  if (access == nullptr || access->pclGetResult() == nullptr ||
      access->pclGetGenerator() == nullptr) {
    return true;
  }
  // Only a text that reads rows runs again: a procedure call or a
  // statement that changes rows ran once, at the open.
  const char16_t* text = access->pclGetGenerator()->pszGetStatementText();
  if (bIsModifyingQuery() || text == nullptr || !NAIsSelectText(m_pConnection, text, -1)) {
    return true;
  }
  CNARefPtr<CNATableAccess> hold(NAAddRef(access));
  if (!access->bExecute(0, 0, nullptr, error)) {
    access->SetPositionLost(true);
    return false;
  }
  // The rows read now are the record set of client-side keys: readers
  // along one start again over them.
  if ((m_nFlags & kNASessionNoCacheReads) == 0) {
    access->EnableCache(true);
    if (!bRenewRecordSource(access, error)) return false;
    static_cast<CNARecordSource*>(m_pRecordSource)->bAttach(access);
  }
  return true;
}

bool CNASession::bReadRawResult(const char16_t* name, int32_t direction, int64_t step,
                                intptr_t lock, uint32_t flags, bool* handled, CNAError* error) {
  CNALock guard(&m_clLock);
  *handled = m_nQueryMode != 0 && (m_nFlags & kNASessionRawSQL) != 0;
  if (!*handled) return false;
  // The raw text is sent as it is written: another order of its rows is
  // only had on the client, over the rows the text gave when it last ran.
  if (name != nullptr && name[0] != 0 && !m_strQueryTable.bEstEgalI(name) &&
      !CTString(pszGetFileName()).bEstEgalI(name) && !CTString(kSQLTextName).bEstEgalI(name)) {
    return bReadClientKey(name, direction, step, lock, error);
  }
  // A first or last read by the query's name that asks for neither the
  // cache nor the query's own order reads the rows as they are now: the
  // text runs again and the read is made over its new result (client-side
  // keys then read those rows). The first read after the open goes on with
  // the rows the open read.
  const bool after_open = m_nFirstRead != 0 && m_pActiveFilter == nullptr;
  if ((direction == kNAReadFirst || direction == kNAReadLast) && !after_open &&
      (flags & 0x22000) == 0 && !bRefreshRawResult(error)) {
    return false;
  }
  CNATableAccess* access = m_pSQLText;
  if (access == nullptr || access->pclGetResult() == nullptr) {
    Fail(error, 27, 82);
    return false;
  }
  m_nFirstRead = 0;
  SetCurrentTableAccess(access);
  // After a failed read (the text run again among them) no move goes on
  // from anywhere until a read from an end stands on a record again.
  const bool from_end = direction == kNAReadFirst || direction == kNAReadLast;
  if (!from_end && access->bHasLostPosition()) {
    Fail(error, 84, 5, pszGetFileName());
    return false;
  }
  bool found = false;
  bool ok = access->bReadPosition(direction, lock != 0, step > 0 ? step : 1, &found, error);
  access->SetPositionLost(!ok);
  return ok;
}
