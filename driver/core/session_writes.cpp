// Session writes: adding, modifying and deleting the current record,
// creating and dropping the table with its indexes, emptying it. The table
// access object writes the statement; the session runs it, reads back
// what the server generated, classifies a failure (naming the duplicate
// key or the missing value) and tells its objects and its owner.
#include <string>
#include <utility>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/index_texts.h"
#include "driver/core/manager.h"
#include "driver/core/session.h"
#include "driver/core/support/random_bytes.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/oversized_type.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/record_source.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "driver/sql/value_converter.h"

namespace {

constexpr uint32_t kSite = 3;

// Write kinds.
enum : int32_t { kUpdate = 2, kInsert = 3, kDelete = 4, kDeleteAll = 5, kCreate = 6, kDrop = 9 };

std::u16string Text(const char16_t* text) { return text != nullptr ? text : u""; }

// Runs a text on a table access object through a fresh generator.
bool RunText(CNASession* session, CNATableAccess* access, const std::u16string& text, int kind,
             CNAError* error) {
  CNASQLGenerator* generator = session->pclNewSQLGenerator();
  if (generator == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 68);
    return false;
  }
  AddRefBoth(generator);
  generator->SetStatementKind(kind);
  bool ok = generator->bSetRawText(text.c_str()) && access->bBindGenerator(generator, error) &&
            access->bExecute(0, 0, nullptr, error);
  ReleaseBoth(generator);
  return ok;
}

// The columns of a key (its parts, or itself).
std::vector<CNAColumn*> KeyColumns(CNAColumn* key) {
  std::vector<CNAColumn*> columns;
  if (key->bIsComposite()) {
    for (int i = 1; i <= key->nGetPartCount(); ++i) {
      if (key->pclGetPart(i) != nullptr) columns.push_back(key->pclGetPart(i));
    }
  } else {
    columns.push_back(key);
  }
  return columns;
}

int ColumnIndex(CNATableDescription* table, const CNAColumn* column) {
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    if (table->pclColumnAt(i) == column) return i;
  }
  return -1;
}

}  // namespace

NAEditRecord* CNASession::pclGetEdits() {
  CNALock lock(&m_clLock);
  if (!m_pEdits) {
    try {
      m_pEdits = std::make_shared<NAEditRecord>();
    } catch (...) {
      return nullptr;
    }
  }
  return m_pEdits.get();
}

bool CNASession::bSetColumnValue(int32_t column, const CAny* value, CNAError* error) {
  CNALock lock(&m_clLock);
  NAEditRecord* edits = pclGetEdits();
  CAny null_value;
  null_value.SetNull(true);
  if (edits == nullptr || !edits->bSet(column, value != nullptr ? *value : null_value)) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 63);
    return false;
  }
  return true;
}

// ---- slot 68: one write

bool CNASession::bRunWrite(int32_t kind, CNATableAccess* access, intptr_t flags,
                           CNAPendingNotifications* pending, CNAError* error) {
  CNALock lock(&m_clLock);
  if ((m_nFlags & kNASessionRawSQL) != 0 && (kind == kUpdate || kind == kInsert || kind == kDelete)) {
    Fail(error, 16, 35);
    return false;
  }
  if (access == nullptr) return false;
  if (!m_bOpen && kind != kCreate && kind != kDrop && !bOpen(0, 0, error)) return false;
  // The record as read, for the caches that hold it: its entry in the
  // record set and its identifier in record cache 1.
  int32_t entry = -1;
  CNARefPtr<CNARecordIdentifier> old_identifier;
  if (kind == kUpdate || kind == kDelete) {
    entry = nRecordSetEntryOfCurrent(access);
    auto* logical = static_cast<CNAFileDescription*>(m_pLogical);
    CNARecordImage* current = logical != nullptr ? logical->pclGetCurrentImage() : nullptr;
    if (current != nullptr && current->pclGetIdentifier() != nullptr) {
      old_identifier = CNARefPtr<CNARecordIdentifier>(
          NAAddRef(current->pclGetIdentifier()->pclClone()));
    }
  }
  access->Close();
  access->SetOptionWord(static_cast<uint32_t>(flags));
  CNASQLGenerator* generator = pclNewSQLGenerator();
  if (generator == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 68);
    return false;
  }
  AddRefBoth(generator);
  bool ok = access->bRunByStatementKind(kind, generator, error);
  // An UPDATE without a changed column sends nothing.
  bool empty = ok && generator->bIsEmpty();
  int64_t affected = 0;
  if (ok && !empty) {
    // The INSERT and the read-back of what the server generated run as one
    // unit for the connection.
    bool guard = kind == kInsert && !m_pConnection->bInsertNeedsNoGuard();
    CNALock connection_lock(m_pConnection->pGetLock(), guard);
    const char16_t* text = generator->pszGetDialectText(error);
    CNAStatement* statement = text != nullptr && access->bBindGenerator(generator, error)
                                  ? access->pclGetResult()
                                  : nullptr;
    ok = statement != nullptr && statement->bExecuteWideCounted(text, &affected, error);
    if (ok && kind == kInsert) ok = access->bReadInsertId(error);
  }
  ReleaseBoth(generator);
  // The record the statement named: what names it now (its row as the
  // server holds it, or nothing once deleted).
  CNARefPtr<CNATableAccess> named(NAAddRef(access->pclGetNamedReader()));
  access->NoteRowWritten(ok && !empty && affected == 1 ? kind : 0);
  if (!ok) {
    int32_t code = nClassifyError(error);
    if (error != nullptr) {
      if (code == 3) {
        NameDuplicateKey(kind, error);
        error->SetCode(3);
      } else if (code == 8) {
        NameMissingValue(error);
        error->SetCode(8);
      } else if (code == 1 || code == 2 || code == 4 || code == 7) {
        error->SetCode(code);
      }
    }
    return false;
  }
  // The connection counts the rows a statement matched, changed or not.
  if ((kind == kUpdate || kind == kDelete) && !empty && affected == 0) {
    // The row named by the values as read is gone.
    if (error != nullptr) {
      error->SetErrorMessage(9, 4, 12, nullptr, 13u, Text(pszGetFileName()).c_str());
      error->SetUserMessage(28591u, Text(pszGetFileName()).c_str());
    }
    return false;
  }
  if ((kind == kUpdate || kind == kDelete) && !empty && affected > 1) {
    // The row identity names one row or none; more is a fault of this
    // driver, told as such rather than taken for success.
    if (error != nullptr) error->SetErrorMessage(0, 4, 4, nullptr, 7u, Text(pszGetFileName()).c_str());
    return false;
  }
  if (kind >= kUpdate && kind <= kDeleteAll) {
    AnnounceWrite(kind, access, named.Get(), entry, old_identifier.Get(),
                  static_cast<uint32_t>(flags), empty);
    if (pending != nullptr && (m_nNotifyFlags & kNANotifySuppress) == 0) {
      pending->bAdd(kind, access, 1);
    }
  }
  return true;
}

int32_t CNASession::nRecordSetEntryOfCurrent(CNATableAccess* writer) {
  auto* source = static_cast<CNARecordSource*>(m_pRecordSource);
  if (source == nullptr || !source->bIsOpen()) return -1;
  CNATableAccess* reader = m_pCurrentAccess;
  if (reader != nullptr && reader != writer && reader->bIsPositionValid() &&
      reader->pclGetFullCache() == source->pclGetRecordSet()) {
    // Its row is an entry of the record set.
    const int64_t row = reader->nGetCurrentRow();
    return row >= 0 && row <= 0x7FFFFFFF ? static_cast<int32_t>(row) : -1;
  }
  auto* logical = static_cast<CNAFileDescription*>(m_pLogical);
  CNARecordImage* current = logical != nullptr ? logical->pclGetCurrentImage() : nullptr;
  return current != nullptr ? source->nFindEntry(*current) : -1;
}

void CNASession::ApplyEditsToCurrent() {
  auto* logical = static_cast<CNAFileDescription*>(m_pLogical);
  NAEditRecord* edits = pclGetEdits();
  if (logical == nullptr || edits == nullptr || m_pTableDescription == nullptr) return;
  CNAError quiet;
  quiet.SetSilent(true);
  for (int i = 0; i < m_pTableDescription->nGetColumnCount(); ++i) {
    const CAny* value = edits->pclGet(i);
    if (value == nullptr) continue;
    CNAItem* item = logical->pclFindItemByName(m_pTableDescription->pclColumnAt(i)->pszGetName());
    if (item != nullptr && !item->bIsCompositeKey()) item->bWriteValue(*value, 0, &quiet);
  }
}

// After a write (kinds 2 to 5): record cache 1, the record source's record
// set and every table access object learn what changed. `entry` and
// `old_identifier` name the record as it was read.
void CNASession::AnnounceWrite(int32_t kind, CNATableAccess* writer, CNATableAccess* named,
                               int32_t entry, const CNARecordIdentifier* old_identifier,
                               uint32_t options, bool empty) {
  CNAError quiet;
  quiet.SetSilent(true);
  auto* logical = static_cast<CNAFileDescription*>(m_pLogical);
  // The current record becomes the record as written: modified, or added
  // (read back as the server holds it).
  if (kind == kUpdate && !empty) ApplyEditsToCurrent();
  bool added = false;
  if (kind == kInsert) {
    NAEditRecord* edits = pclGetEdits();
    added = edits != nullptr && StandOnAdded(*edits, &writer->GetWriteTarget());
  }
  CNARecordImage* current = logical != nullptr ? logical->pclGetCurrentImage() : nullptr;
  const bool tell = (m_nNotifyFlags & kNANotifySuppress) == 0 && !empty;
  if (tell && (kind == kUpdate || kind == kDelete) && old_identifier != nullptr) {
    nNotifyCacheChange(kind, old_identifier, current, &quiet);
  }
  auto* source = static_cast<CNARecordSource*>(m_pRecordSource);
  if (tell && kind == kInsert && source != nullptr && source->bIsOpen()) {
    // The record set takes the added record with what names its row; one
    // that cannot be read back leaves the record set behind: it goes.
    entry = added ? source->nNoteWrite(kInsert, -1, current, &quiet) : -1;
    NARowValues row;
    if (entry >= 0 && m_pCurrentAccess != nullptr &&
        m_pCurrentAccess->bCurrentRowValues(&row, writer->GetWriteTarget())) {
      source->SetWrittenRow(entry, row);
    } else {
      DropRecordSource();
      source = nullptr;
      entry = -1;
    }
  }
  if (tell && kind == kDeleteAll && source != nullptr) {
    // Every record of the set is gone.
    DropRecordSource();
    source = nullptr;
  }
  if (!empty && (source != nullptr || (m_nNotifyFlags & kNANotifyTableAccess) != 0)) {
    m_pWrittenReader = named;
    m_nWrittenEntry = entry;
    m_nWrittenOptions = options;
    VisitTableAccess([&](const char16_t*, CNATableAccess* other) {
      if (other != writer) other->OnRecordWritten(kind, true, nullptr);
    });
    m_pWrittenReader = nullptr;
    m_nWrittenEntry = -1;
    m_nWrittenOptions = 0;
  }
  // The record set last: the objects along its indexes read the record as
  // it was from it.
  if (tell && source != nullptr && entry >= 0 && (kind == kUpdate || kind == kDelete)) {
    // What names the entry's record from now on: the row the modify left
    // (re-read when the values naming it changed, else as read).
    NARowValues as_read;
    const NARowValues* row = named != nullptr ? named->pclGetWrittenRow() : nullptr;
    if (row == nullptr && named != nullptr &&
        named->bCurrentRowValues(&as_read, writer->GetWriteTarget())) {
      row = &as_read;
    }
    source->nNoteWrite(kind, entry, current, &quiet);
    if (kind == kUpdate && row != nullptr) source->SetWrittenRow(entry, *row);
  }
}

// The first unique key holding the duplicate value: a count along each
// unique key with the record's values; the table and the key are named in
// the error.
void CNASession::NameDuplicateKey(int32_t kind, CNAError* error) {
  CNATableDescription* table = m_pTableDescription;
  NAEditRecord* edits = pclGetEdits();
  if (table == nullptr || edits == nullptr) return;
  std::vector<CNAColumn*> keys;
  for (int i = 0; i < table->nGetKeyCount(); ++i) keys.push_back(table->pclKeyAt(i));
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    CNAColumn* c = table->pclColumnAt(i);
    if (c->bIsUnique() && !c->bIsComposite()) {
      bool listed = false;
      for (CNAColumn* k : keys) listed = listed || k == c;
      if (!listed) keys.push_back(c);
    }
  }
  CNAManager* manager = m_pConnection->pclGetManager();
  CNATableAccess* probe =
      manager != nullptr ? manager->pclNewTableAccess(this, m_pConnection) : nullptr;
  if (probe == nullptr) return;
  AddRefBoth(probe);
  for (CNAColumn* key : keys) {
    if (key == nullptr || !key->bIsUnique()) continue;
    std::vector<CNAColumn*> columns = KeyColumns(key);
    // The server makes automatic identifiers: they do not collide.
    if (columns.size() == 1 && (columns[0]->nGetType() == 1 || columns[0]->nGetType() == 28)) {
      continue;
    }
    // An UPDATE can only collide on a key whose value it changed.
    bool changed = kind != kUpdate;
    bool usable = true;
    std::vector<std::u16string> names;
    std::vector<CAny> values;
    for (CNAColumn* c : columns) {
      int n = ColumnIndex(table, c);
      const CAny* v = edits->pclGet(n);
      CTString quoted;
      if (v == nullptr || !m_pConnection->bQuoteName(nullptr, c->pszGetName(), &quoted)) {
        usable = false;
        break;
      }
      changed = true;
      values.push_back(*v);
      names.push_back(Text(quoted.pszGet()));
    }
    if (!usable || !changed) continue;
    CNASQLGenerator* g = pclNewSQLGenerator();
    if (g == nullptr) break;
    AddRefBoth(g);
    g->SetStatementKind(1);
    // Each value goes in as a marker of its own: the quoted names are
    // never taken apart again.
    bool ok = g->bAppend(u"SELECT COUNT(*) FROM ") && g->bAppend(pszGetQuotedTableName()) &&
              g->bAppend(u" WHERE ");
    for (size_t i = 0; ok && i < names.size(); ++i) {
      ok = (i == 0 || g->bAppend(u" AND ")) && g->bAppend(names[i]) && g->bAppend(u" = ") &&
           g->bAddMarker(values[i], 0, CNASQLGenerator::kMarkerValue, 0);
    }
    CNAError quiet;
    quiet.SetSilent(true);
    const int64_t found = ok ? probe->nRunCount(g, &quiet) : -1;
    ReleaseBoth(g);
    if (found > 0) {
      error->AddTableAndItem(pszGetFileName(), key->pszGetName());
      break;
    }
  }
  probe->Close();
  ReleaseBoth(probe);
}

// The first column that may not be null and has no value is named.
void CNASession::NameMissingValue(CNAError* error) {
  CNATableDescription* table = m_pTableDescription;
  NAEditRecord* edits = pclGetEdits();
  if (table == nullptr || edits == nullptr) return;
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    CNAColumn* c = table->pclColumnAt(i);
    if (c->bIsComposite() || c->bIsNullable()) continue;
    const CAny* v = edits->pclGet(i);
    if (v == nullptr || v->bEstNull()) {
      error->AddTableAndItem(pszGetFileName(), c->pszGetName());
      return;
    }
  }
}

// ---- slots 11, 77: insert

bool CNASession::bAdd(intptr_t flags, intptr_t lock, CNAError* error) {
  CNAPendingNotifications pending(this);
  CNALock guard(&m_clLock);
  return bInsert(flags, lock, &pending, error);
}

void CNASession::SettlePendingLargeObjects() {
  CNALock guard(&m_clLock);
  auto* logical = static_cast<CNAFileDescription*>(m_pLogical);
  if (logical == nullptr) return;
  CAny null_value;
  null_value.SetNull(true);
  for (CNAItem* item : logical->GetLargeObjects()) {
    CNAValueConverter* converter = item != nullptr ? item->pclGetConverter() : nullptr;
    if (converter == nullptr || converter->nGetKind() != CNAValueConverter::kVariantPending) {
      continue;
    }
    // The item's own value, not the host item at its place in the list.
    CAny value;
    CNAError quiet;
    quiet.SetSilent(true);
    if (!item->bReadValue(value, 0, &quiet) || !item->bWriteValue(value, 0, &quiet)) {
      item->bWriteValue(null_value, 0, &quiet);
    }
  }
}

bool CNASession::bInsert(intptr_t flags, intptr_t, CNAPendingNotifications* pending,
                         CNAError* error) {
  CNALock guard(&m_clLock);
  if (!m_bOpen && !bOpen(0, 0, error)) return false;
  SettlePendingLargeObjects();
  NAEditRecord* edits = pclGetEdits();
  if (edits == nullptr || m_pTableDescription == nullptr) return false;
  // Generated keys: a random version-4 UUID (16 bytes) or 32 random bytes,
  // whatever the item held, unless the caller leaves them alone.
  if ((flags & (0x100 | 0x400)) == 0) {
    for (int i = 0; i < m_pTableDescription->nGetColumnCount(); ++i) {
      int type = m_pTableDescription->pclColumnAt(i)->nGetType();
      if (type != 35 && type != 37) continue;
      uint8_t bytes[32];
      size_t size = type == 35 ? 16 : 32;
      if (type == 35) {
        qg::FillUuidV4(bytes);
      } else {
        qg::bFillRandomBytes(bytes, size);
      }
      CAny value;
      if (type == 35) {
        value.SetUUID_128(bytes);
      } else {
        CXYString<char> random;
        random.nAffecteLongueur(reinterpret_cast<const char*>(bytes), static_cast<int>(size));
        if (value.SetUUID_256(random) >= 100) break;
      }
      if (!edits->bSet(i, value)) break;
    }
  }
  CNATableAccess* access = pclGetDefaultTableAccess(error);
  if (access == nullptr) return false;
  bool ok = bRunWrite(kInsert, access, flags, pending, error);
  if (ok) {
    // The record now holds what was written (read back as its values);
    // what the server generated stays to be read back into the record.
    NAEditRecord generated = *edits;
    edits->aclKept.clear();
    edits->abKept.clear();
    edits->KeepWritten();
    for (int i = 0; i < m_pTableDescription->nGetColumnCount(); ++i) {
      int type = m_pTableDescription->pclColumnAt(i)->nGetType();
      if ((type == 1 || type == 28 || type == 35 || type == 37) && generated.bIsSet(i)) {
        edits->bSet(i, *generated.pclGet(i));
      }
    }
  }
  access->CloseCursor();
  ReleaseBoth(access);
  return ok;
}

// The record just added is read back, through an object of its own, by
// the values written into the table's unique key (the primary key, else the
// first unique one; every part written or generated), else by every value
// written, and becomes the current record when exactly one row has them.
// Otherwise that object holds no row: no record is current, and a modify is
// refused instead of reaching the record read before the add. Added through
// a stored query, the row is read from the query's table, each column under
// the name the query gives it (the query's own columns read as NULL).
bool CNASession::StandOnAdded(const NAEditRecord& written, const NAWriteTarget* target) {
  CNALock guard(&m_clLock);
  CNAError quiet;
  quiet.SetSilent(true);
  static constexpr const char16_t* kAdded = u"$QGAdded";
  CNATableAccess* access = pclFindTableAccess(kAdded);
  if (access == nullptr) access = pclAddTableAccess(kAdded, &quiet);
  if (access == nullptr) {
    m_pCurrentAccess = nullptr;
    return false;
  }
  CNARefPtr<CNATableAccess> hold(access);
  access->Close();
  m_pCurrentAccess = access;
  const bool through_query = target != nullptr && target->bStoredQuery && target->pTable != nullptr;
  CNATableDescription* table = through_query ? target->pTable : m_pTableDescription;
  if (table == nullptr || m_pTableDescription == nullptr) return false;
  // The value written into column n of `table`, null when none was.
  auto written_value = [&](int n) -> const CAny* {
    int source = through_query ? target->nSessionColumn(n) : n;
    return source >= 0 && written.bIsSet(source) ? written.pclGet(source) : nullptr;
  };
  std::vector<int> columns;
  CNAColumn* key = nullptr;
  for (int pass = 0; pass < 2 && key == nullptr; ++pass) {
    for (int i = 0; i < table->nGetKeyCount() && key == nullptr; ++i) {
      CNAColumn* k = table->pclKeyAt(i);
      if (k != nullptr && k->bIsUnique() && (pass == 1 || k->bIsPrimary())) key = k;
    }
  }
  if (key != nullptr) {
    for (CNAColumn* part : KeyColumns(key)) {
      int n = ColumnIndex(table, part);
      const CAny* value = n >= 0 ? written_value(n) : nullptr;
      if (value == nullptr || value->bEstNull()) {
        columns.clear();
        break;
      }
      columns.push_back(n);
    }
  }
  if (columns.empty()) {
    for (int i = 0; i < table->nGetColumnCount(); ++i) {
      if (written_value(i) != nullptr && !table->pclColumnAt(i)->bIsLargeObject()) {
        columns.push_back(i);
      }
    }
  }
  if (columns.empty()) return false;
  CNASQLGenerator* g = pclNewSQLGenerator();
  if (g == nullptr) return false;
  CNARefPtr<CNASQLGenerator> hold_generator(NAAddRef(g));
  g->SetStatementKind(1);
  bool ok = g->bAppend(u"SELECT ");
  for (int i = 0; ok && i < m_pTableDescription->nGetColumnCount(); ++i) {
    CTString name;
    ok = (i == 0 || g->bAppend(u","));
    if (!through_query) {
      ok = ok && m_pConnection->bQuoteName(&quiet, table->pclColumnAt(i)->pszGetName(), &name) &&
           g->bAppend(name.pszGet());
      continue;
    }
    int t = target->nTargetColumn(i);
    CTString as;
    if (t >= 0) {
      ok = ok && m_pConnection->bQuoteName(&quiet, table->pclColumnAt(t)->pszGetName(), &name) &&
           g->bAppend(name.pszGet());
    } else {
      ok = ok && g->bAppend(u"NULL");
    }
    ok = ok &&
         m_pConnection->bQuoteName(&quiet, m_pTableDescription->pclColumnAt(i)->pszGetName(),
                                   &as) &&
         g->bAppend(u" AS ") && g->bAppend(as.pszGet());
  }
  ok = ok && g->bAppend(u" FROM ") &&
       g->bAppend(through_query ? target->strQuotedName.c_str() : pszGetQuotedTableName()) &&
       g->bAppend(u" WHERE ");
  for (size_t i = 0; ok && i < columns.size(); ++i) {
    CTString name;
    const CAny* value = written_value(columns[i]);
    ok = m_pConnection->bQuoteName(&quiet, table->pclColumnAt(columns[i])->pszGetName(), &name) &&
         (i == 0 || g->bAppend(u" AND ")) && g->bAppend(name.pszGet());
    if (!ok) break;
    if (value->bEstNull()) {
      ok = g->bAppend(u" IS NULL");
    } else {
      ok = g->bAppend(u" = ") && g->bAddMarker(*value, 0, CNASQLGenerator::kMarkerValue, 0);
    }
  }
  // Two rows at most tell whether one alone has the values.
  g->SetRowLimit(2);
  bool found = false;
  ok = ok && access->bBindGenerator(g, &quiet) && access->bExecute(0, 0, nullptr, &quiet);
  if (ok && access->pclGetResult() != nullptr && access->pclGetResult()->nGetRowCount() == 1) {
    ok = access->bReadPosition(kNAReadFirst, false, 1, &found, &quiet);
  }
  if (!ok || !found) access->Close();
  return ok && found;
}

// ---- slots 13, 14, 76: delete and modify

bool CNASession::bDelete(intptr_t record, intptr_t range, intptr_t mode, CNAError* error,
                         intptr_t) {
  CNAPendingNotifications pending(this);
  CNALock guard(&m_clLock);
  if (!bCheckNoRange(record, range, error)) return false;
  return bDeleteCurrent(mode, &pending, error);
}

bool CNASession::bDeleteCurrent(intptr_t mode, CNAPendingNotifications* pending,
                                CNAError* error) {
  CNALock guard(&m_clLock);
  CNATableAccess* access = pclGetDefaultTableAccess(error);
  if (access == nullptr) return false;
  // The record as read, kept so that a modify can write it again.
  std::vector<CAny> deleted;
  CNATableAccess* reader = m_pCurrentAccess;
  if (reader != nullptr && reader->bIsPositionValid() && !reader->bIsOutOfRange() &&
      m_pTableDescription != nullptr) {
    deleted.resize(static_cast<size_t>(m_pTableDescription->nGetColumnCount()));
    CNAError quiet;
    quiet.SetSilent(true);
    for (size_t i = 0; i < deleted.size(); ++i) {
      if (!reader->bReadColumnItem(static_cast<int>(i), &deleted[i], &quiet)) {
        deleted.clear();
        break;
      }
    }
  }
  bool ok = bHook42(mode == 0 || mode == 1 ? 2 : mode, 0, error) &&
            bRunWrite(kDelete, access, 0, pending, error);
  bHook43(0, error);
  access->CloseCursor();
  ReleaseBoth(access);
  if (ok) {
    NAEditRecord* edits = pclGetEdits();
    if (edits != nullptr) {
      edits->Clear();
      edits->aclDeleted = std::move(deleted);
    }
    m_nRecordFlags |= 0x80;
  }
  return ok;
}

bool CNASession::bModify(intptr_t record, intptr_t range, intptr_t flags, intptr_t,
                         CNAError* error) {
  CNAPendingNotifications pending(this);
  CNALock guard(&m_clLock);
  if (!bCheckNoRange(record, range, error)) return false;
  return bModifyOrInsert(flags, &pending, error);
}

bool CNASession::bModifyOrInsert(intptr_t flags, CNAPendingNotifications* pending,
                                 CNAError* error) {
  CNALock guard(&m_clLock);
  CNATableAccess* access = pclGetDefaultTableAccess(error);
  if (access == nullptr) return false;
  NAEditRecord* edits = pclGetEdits();
  const bool deleted = (m_nRecordFlags & 0x80) != 0;
  const bool nothing_changed = edits == nullptr || edits->bEmpty();
  bool ok = bHook42(2, 0, error) && bRunWrite(kUpdate, access, flags, pending, error);
  if (deleted && (!ok || nothing_changed) && edits != nullptr) {
    // The record was deleted through this session: it is written again,
    // whole, with its own identifier.
    if (error != nullptr) error->Reset();
    ok = edits->bFillFromDeleted() &&
         bRunWrite(kInsert, access, flags | 0x100, pending, error);
  }
  bHook43(0, error);
  access->CloseCursor();
  ReleaseBoth(access);
  if (ok) {
    if (edits != nullptr) {
      // The record now holds what was written.
      edits->KeepWritten();
      edits->aclDeleted.clear();
    }
    m_nRecordFlags = 0;
  }
  return ok;
}

// ---- slots 71, 72, 74: create, drop, empty, index names

bool CNASession::bIndexName(int32_t item, CTString* out, CNAError* error) {
  CNALock guard(&m_clLock);
  out->RAZ();
  CNAColumn* key = m_pTableDescription != nullptr ? m_pTableDescription->pclKeyAt(item) : nullptr;
  if (key == nullptr || !key->bIsComposite()) {
    out->Set(NATemporaryIndexName().c_str());
    return true;
  }
  if (m_pConnection->bIndexNamesNeedNoTablePrefix()) {
    // The name goes into CREATE INDEX: quoted like every other name.
    return m_pConnection->bQuoteName(error, key->pszGetName(), out);
  }
  std::u16string name = Text(pszGetFileName()) + u"_" + Text(key->pszGetName());
  return m_pConnection->bQuoteName(error, name.c_str(), out);
}

bool CNASession::bCreateTable(bool drop_first, bool drop_only, CNAError* error) {
  CNALock guard(&m_clLock);
  CloseAll();
  if (!m_pConnection->bIsOpen() && !m_pConnection->bOpen(error, 0)) return false;
  if (!drop_only) {
    // The table as the host describes it.
    CNATableDescription* table = pclNewTableDescription();
    if (table == nullptr) {
      if (error != nullptr) error->SetOutOfMemory(kSite, 71);
      return false;
    }
    AddRefBoth(table);
    table->SetName(pszGetFileName());
    bool described = table->bApplyFileDescription(m_piFile, error);
    if (described) SetTableDescription(table);
    ReleaseBoth(table);
    if (!described) return false;
  }
  CNATableAccess* access = pclGetDefaultTableAccess(error);
  if (access == nullptr) return false;
  bool ok = true;
  if (drop_first) {
    CNAError drop;
    std::u16string text = u"DROP TABLE " + Text(pszGetQuotedTableName());
    if (m_pConnection->m_nDbmsKind == 1) text += u" CASCADE CONSTRAINT";
    if (!RunText(this, access, text, kDrop, &drop)) {
      // A table that is not there is no failure; a refused drop is.
      if (drop.nGetBaseCode() == 3730 || drop.nGetCode() == 1 ||
          m_pConnection->nGetErrorCategory(drop.nGetBaseCode()) == 4 || drop_only) {
        if (error != nullptr) *error = drop;
        ok = false;
      }
    }
  }
  if (ok && !drop_only) {
    if (error != nullptr) error->Reset();
    ok = bCreateWithRetry(access, error);
    if (ok) {
      // A plain index that failed leaves a usable table; a UNIQUE one on a
      // composite key does not, since nothing else keeps its values unique.
      CNAError indexes;
      bool unique_failed = false;
      if (!bCreateIndexes(access, m_nIndexSelection, &indexes, &unique_failed) &&
          unique_failed) {
        if (error != nullptr) *error = indexes;
        ok = false;
      }
    }
    // The creation's result: the server describes the table (checked
    // once). The description made from the host's items stays bound: it
    // knows what the server's does not (generated identifiers).
    if (ok && m_nKeyRange == 0) {
      CNATableDescription* made = pclDescribeTable(pszGetFileName(), error);
      ok = made != nullptr;
      if (made != nullptr) ReleaseBoth(made);
      if (!ok && error != nullptr && !error->bHasError()) {
        error->SetErrorMessage(11, kSite, 12, nullptr, 15, pszGetFileName());
      }
      if (ok) m_nKeyRange = 1;
    }
  }
  access->CloseCursor();
  ReleaseBoth(access);
  return ok;
}

// CREATE TABLE; a refusal the connection does not classify, on a server
// with size limits for variable texts, is retried once with the oversized
// types made long text types.
bool CNASession::bCreateWithRetry(CNATableAccess* access, CNAError* error) {
  CNASQLGenerator* generator = pclNewSQLGenerator();
  if (generator == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 71);
    return false;
  }
  AddRefBoth(generator);
  bool ok = access->bRunByStatementKind(kCreate, generator, error);
  std::u16string text = ok ? Text(generator->pszGetStatementText()) : u"";
  ok = ok && access->bExecute(0, 0, nullptr, error);
  ReleaseBoth(generator);
  if (ok || text.empty() || nClassifyError(error) != 0) return ok;
  int32_t text_limit = m_pConnection->nGetMaxVarchar();
  int32_t unicode_limit = m_pConnection->nGetMaxNVarchar();
  if (text_limit == -1 && unicode_limit == -1) return false;
  std::u16string first, second;
  bool replaced = text_limit != -1 &&
                  NAReplaceOversizedType(text, m_pConnection->pszGetVarcharType(), text_limit,
                                         m_pConnection->pszGetLongTextType(), &first);
  const std::u16string& base = replaced ? first : text;
  bool replaced_unicode =
      unicode_limit != -1 && NAReplaceOversizedType(base, m_pConnection->pszGetNVarcharType(),
                                                    unicode_limit,
                                                    m_pConnection->pszGetLongNTextType(), &second);
  if (!replaced && !replaced_unicode) return false;
  const std::u16string& retry = replaced_unicode ? second : first;
  if (!RunText(this, access, retry, kCreate, error)) return false;
  if (error != nullptr) error->Reset();
  return true;
}

// One server index per key after CREATE TABLE. Every index is attempted;
// the answer is 0 when any failed, the first failure in `error`, and
// *unique_failed tells whether a UNIQUE index on a composite key was among
// them.
bool CNASession::bCreateIndexes(CNATableAccess* access, uint32_t selection, CNAError* error,
                                bool* unique_failed) {
  if (unique_failed != nullptr) *unique_failed = false;
  CNATableDescription* table = m_pTableDescription;
  if (table == nullptr) return true;
  bool all = true;
  for (int i = 0; i < table->nGetKeyCount(); ++i) {
    CNAColumn* key = table->pclKeyAt(i);
    if (key == nullptr) continue;
    bool composite = key->bIsComposite();
    bool selected = composite ? (selection & 0x2) != 0
                              : ((selection & 0x2) != 0 && key->bIsKey()) ||
                                    ((selection & 0x1) != 0 && key->bIsUnique());
    if (!selected || key->bIsPrimary()) continue;
    std::vector<std::u16string> columns;
    for (CNAColumn* c : KeyColumns(key)) {
      CTString quoted;
      if (!m_pConnection->bQuoteName(nullptr, c->pszGetName(), &quoted)) continue;
      columns.push_back(Text(quoted.pszGet()));
    }
    CTString name;
    CNAError local;
    bool ok = bIndexName(i, &name, &local) &&
              RunText(this, access,
                      NACreateIndexText(key->bIsUnique(), Text(name.pszGet()),
                                        Text(pszGetQuotedTableName()), columns),
                      kCreate, &local);
    if (ok) continue;
    if (all && error != nullptr) *error = local;
    all = false;
    if (composite && key->bIsUnique() && unique_failed != nullptr) *unique_failed = true;
  }
  return all;
}

bool CNASession::bDeleteAllRecords(CNAPendingNotifications* pending, CNAError* error) {
  CNALock guard(&m_clLock);
  if (!m_pConnection->bIsOpen() && !m_pConnection->bOpen(error, 0)) return false;
  if (m_nQueryMode != 0) {
    // A query's records go one by one, read along the query's own order;
    // the other handles of the table then hear of one delete-all.
    const char16_t* name = m_strQueryTable.bEstVide() ? pszGetFileName() : m_strQueryTable.pszGet();
    CTString own(name != nullptr ? name : u"");
    int32_t direction = kNAReadFirst;
    for (;;) {
      if (!bRead(own.pszGet(), direction, 0, 1, 0, 0, error)) return false;
      int32_t at_end = 0;
      if (!bIsAtEnd(own.pszGet(), reinterpret_cast<intptr_t>(&at_end), error)) return false;
      if (at_end != 0) break;
      if (!bDeleteCurrent(0, nullptr, error)) return false;
      direction = kNAReadNext;
    }
    if (pending != nullptr && (m_nNotifyFlags & kNANotifySuppress) == 0) {
      CNATableAccess* reader = pclFindTableAccess(own.pszGet());
      if (reader != nullptr) {
        pending->bAdd(kDeleteAll, reader, 1);
        ReleaseBoth(reader);
      }
    }
    return true;
  }
  if (!m_bOpen && !bOpen(0, 0, error)) return false;
  CNATableAccess* access = pclGetDefaultTableAccess(error);
  if (access == nullptr) return false;
  bool ok = bRunWrite(kDeleteAll, access, 0, pending, error);
  access->CloseCursor();
  ReleaseBoth(access);
  return ok;
}
