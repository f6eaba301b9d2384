// The session's descriptions: the table description read from the server,
// the logical description built from it and the host's file description,
// and the current record the logical description holds.
//
// The logical description is built over a copy of the table description
// into which the host's file description was merged (the host's items and
// keys win), with the server's description as the source of the column
// names. The session's own table description stays the server's.
#include <new>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/manager.h"
#include "driver/core/session.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/query.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"

namespace {

constexpr uint32_t kSite = 3;

CNAFileDescription* Logical(CNARefCounted* logical) {
  return static_cast<CNAFileDescription*>(logical);
}

}  // namespace

CNARefCounted* CNASession::pclNewLogicalDescription(INAFileDescription*) {
  return new (std::nothrow) CNAFileDescription();
}

CNATableDescription* CNASession::pclNewMergedDescription(CNAError* error) {
  CNATableDescription* merged = nullptr;
  if (m_pTableDescription != nullptr) {
    merged = m_pTableDescription->pclClone(0, error);  // one reference
    if (merged == nullptr) return nullptr;
  } else {
    // Nothing read from the server (yet): the host's description alone.
    merged = pclNewTableDescription();
    if (merged == nullptr && m_pConnection != nullptr) {
      merged = new (std::nothrow) CNATableDescription(m_pConnection);
    }
    if (merged == nullptr) {
      if (error != nullptr) error->SetOutOfMemory(kSite, 66);
      return nullptr;
    }
    AddRefBoth(merged);
    const char16_t* name = pszGetFileName();
    merged->SetName(name);
    const char16_t* server = m_piFile != nullptr ? m_piFile->pszGetTableName() : nullptr;
    merged->SetServerName(server != nullptr ? server : name);
  }
  if (m_piFile != nullptr && !merged->bApplyFileDescription(m_piFile, error)) {
    ReleaseBoth(merged);
    return nullptr;
  }
  return merged;
}

bool CNASession::bBuildLogical(CNARefCounted* logical, CNAError* error) {
  CNATableDescription* merged = pclNewMergedDescription(error);
  if (merged == nullptr) return false;
  bool ok = Logical(logical)->bBuild(merged, m_pTableDescription, error);
  if (ok) m_nRecordSize = merged->nGetTotalSize();
  ReleaseBoth(merged);
  return ok;
}

bool CNASession::bBindDescription(CNAError* error) {
  CNALock lock(&m_clLock);
  if (m_pLogical == nullptr) {
    CNARefCounted* made = pclNewLogicalDescription(m_piFile);
    if (made == nullptr) {
      if (error != nullptr) error->SetOutOfMemory(kSite, 60);
      return false;
    }
    AddRefBoth(made);
    if (!bBuildLogical(made, error)) {
      ReleaseBoth(made);
      return false;
    }
    m_pLogical = made;
  } else if (m_pTableDescription != nullptr) {
    // Items made before any server column was known take the column of
    // their name now.
    CNAFileDescription* logical = Logical(m_pLogical);
    CNAItem* first = logical->pclGetItem(0);
    if (first != nullptr && first->pclGetColumn() == nullptr) {
      for (int i = 0; i < logical->nGetItemCount(); ++i) {
        CNAItem* item = logical->pclGetItem(i);
        if (item == nullptr || item->bIsCompositeKey()) continue;
        CNAColumn* column = m_pTableDescription->pclFindColumn(item->pszGetName(), 1);
        if (column != nullptr) item->Init(logical, column, item->pclGetSource());
      }
    }
  }
  // The query describes its result through the logical description (the
  // names of its ORDER BY columns among them).
  if (m_pQuery != nullptr) m_pQuery->SetLogicalDescription(Logical(m_pLogical));
  // Bound to a query (not raw SQL): every item that stands for a column of
  // a source takes the name the query qualifies it by.
  if (m_pQuery != nullptr && m_nQueryMode != 0 && (m_nFlags & kNASessionRawSQL) == 0) {
    CNAFileDescription* logical = Logical(m_pLogical);
    for (int i = 0; i < logical->nGetItemCount(); ++i) {
      CNAItem* item = logical->pclGetItem(i);
      if (item == nullptr || item->bIsCompositeKey() || item->pclGetSource() == nullptr) continue;
      CTString qualified;
      CNAError quiet;
      quiet.SetSilent(true);
      if (QuoteItemName(item, &qualified, &quiet)) item->SetQualifiedName(qualified.pszGet());
    }
  }
  return true;
}

bool CNASession::bBindTableDescription(CNATableDescription* description, CNAError* error) {
  CNALock lock(&m_clLock);
  bool changed = description != m_pTableDescription;
  SetTableDescription(description);
  m_nUnnamedColumn = 0;
  if (description != nullptr) {
    for (int i = 0; i < description->nGetColumnCount(); ++i) {
      const char16_t* name = description->pclColumnAt(i)->pszGetName();
      if (name == nullptr || name[0] == 0) {
        m_nUnnamedColumn = 1;
        break;
      }
    }
  }
  if (!changed || m_pLogical == nullptr) return true;
  // The items and both record images follow the new layout: what the
  // caches and positions hold belongs to the old one.
  if (m_pCache1 != nullptr) m_pCache1->Clear();
  if (m_pCache2 != nullptr) m_pCache2->Clear();
  m_nCachedCurrent = -1;
  VisitTableAccess([](const char16_t*, CNATableAccess* access) { access->bResetPosition(); });
  return bBuildLogical(m_pLogical, error) && bBindDescription(error);
}

bool CNASession::bLoadTableDescription(CNATableAccess* access, CNAError* error) {
  CNALock lock(&m_clLock);
  CNATableDescription* table = pclNewTableDescription();
  if (table == nullptr && m_pConnection != nullptr) {
    table = new (std::nothrow) CNATableDescription(m_pConnection);
  }
  if (table == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 46);
    return false;
  }
  CNARefPtr<CNATableDescription> hold(NAAddRef(table));
  const char16_t* name = pszGetFileName();
  table->SetName(name);
  table->SetServerName(name);
  // The columns of the object's open result.
  CNAStatement* result = access != nullptr ? access->pclGetResult() : nullptr;
  if (result == nullptr || !table->bDescribeFromStatement(result, error)) {
    return false;
  }
  SetTableDescription(table);
  return true;
}

CNARefCounted* CNASession::pclNewRecordValues(CNARecordImage* record, CNAError* error) {
  if (nGetRecordValuesKind() != 1) return nullptr;
  CNARecordValues* values = new (std::nothrow) CNARecordValues();
  if (values == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 47);
    return nullptr;
  }
  if (record != nullptr && record->pclGetValues() != nullptr &&
      !values->bCopyFrom(record->pclGetValues())) {
    delete values;
    if (error != nullptr) error->SetOutOfMemory(kSite, 47);
    return nullptr;
  }
  return values;
}

bool CNASession::QuoteItemName(CNAItem* item, CTString* out, CNAError* error) {
  CNALock lock(&m_clLock);
  if (item == nullptr || out == nullptr || m_pConnection == nullptr) return false;
  const char16_t* name = item->pszGetSqlName();
  std::u16string qualified;
  if (m_pQuery != nullptr && item->pclGetSource() != nullptr) {
    // The query's column of that name, qualified by its source as the
    // query writes it (alias first).
    const qg::ParseColumn* column = m_pQuery->pclFindColumn(name);
    if (column != nullptr && column->pszName != nullptr) {
      qg::IParsedQuery* parsed = m_pQuery->piGetParsed();
      const qg::ParseSource* source =
          parsed != nullptr && column->nSource >= 0 ? parsed->pGetSource(column->nSource) : nullptr;
      if (source != nullptr) {
        const char16_t* prefix = source->pszAlias != nullptr ? source->pszAlias : source->pszName;
        if (prefix != nullptr) qualified = std::u16string(prefix) + u".";
      }
      qualified += column->pszName;
      name = qualified.c_str();
    }
  }
  return m_pConnection->bQuoteQualifiedName(error, name, out);
}

// ---- the current record

CNARowBuffer* CNASession::pclGetCurrentRow(CNARowBuffer* row) {
  CNALock lock(&m_clLock);
  CNARowBuffer* copy = nullptr;
  CNARowBuffer* current = m_bOpen && m_pLogical != nullptr ? Logical(m_pLogical)->pclGetCurrentRow()
                                                           : nullptr;
  if (current != nullptr) copy = NAAddRef(current->pclDuplicate());
  if (row != nullptr) ReleaseBoth(row);
  return copy;
}

bool CNASession::bSetCurrentRow(CNARowBuffer* row, CNAError* error) {
  CNALock lock(&m_clLock);
  bool ok = true;
  if (m_bOpen && m_pLogical != nullptr && row != nullptr) {
    ok = Logical(m_pLogical)->bSetCurrentRow(*row, error);
  }
  if (row != nullptr) ReleaseBoth(row);
  return ok;
}

bool CNASession::bRereadValues(bool keep_entry, CNAError* error) {
  CNALock lock(&m_clLock);
  bool ok = true;
  if (m_pLogical != nullptr) {
    CNAFileDescription* logical = Logical(m_pLogical);
    if (logical->pclGetCurrentImage() != nullptr) logical->pclGetCurrentImage()->SetFlags(0);
    ok = logical->bRebindItems(error, true);
  }
  if (!keep_entry && m_nCachedCurrent >= 0) {
    if (m_pCache1 != nullptr) m_pCache1->nReleaseEntry(m_nCachedCurrent);
    m_nCachedCurrent = -1;
  }
  return ok;
}
