// The session's current record moved between table access objects and
// read again: handing it to the object of another key, re-reading it from
// the server, reading the first record again, reading a saved record and
// comparing the keys of two saved records.
//
// A record is found again by its identity: the values, as read, of the
// table's primary key (else of its first unique key, else of every
// column). The object that receives it reads its key order from that
// record on, one fetch found by the identity's values, when its order
// tells rows apart; else its whole key order until the record comes. Then
// the next and previous reads go on from it along its own key.
#include <string>
#include <string_view>
#include <vector>

#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/saved_position.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "support/any.h"

namespace {

int ColumnIndex(CNATableDescription* table, const CNAColumn* column) {
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    if (table->pclColumnAt(i) == column) return i;
  }
  return -1;
}

void AddKeyColumns(CNATableDescription* table, CNAColumn* key, std::vector<int>* out) {
  if (key->bIsComposite()) {
    for (int p = 1; p <= key->nGetPartCount(); ++p) {
      int n = key->pclGetPart(p) != nullptr ? ColumnIndex(table, key->pclGetPart(p)) : -1;
      if (n >= 0) out->push_back(n);
    }
  } else {
    int n = ColumnIndex(table, key);
    if (n >= 0) out->push_back(n);
  }
}

// The columns that name one record: the primary key's, else the first
// unique key's (*unique set), else every simple column.
std::vector<int> IdentityColumns(CNATableDescription* table, bool* unique_key = nullptr) {
  std::vector<int> columns;
  if (unique_key != nullptr) *unique_key = true;
  if (table == nullptr) return columns;
  CNAColumn* unique = nullptr;
  auto consider = [&](CNAColumn* key) {
    if (key == nullptr || !key->bIsUnique()) return false;
    if (key->bIsPrimary()) {
      AddKeyColumns(table, key, &columns);
      return true;
    }
    if (unique == nullptr) unique = key;
    return false;
  };
  for (int i = 0; i < table->nGetKeyCount(); ++i) {
    if (consider(table->pclKeyAt(i))) return columns;
  }
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    if (consider(table->pclColumnAt(i))) return columns;
  }
  if (unique != nullptr) {
    AddKeyColumns(table, unique, &columns);
    return columns;
  }
  if (unique_key != nullptr) *unique_key = false;
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    if (!table->pclColumnAt(i)->bIsComposite()) columns.push_back(i);
  }
  return columns;
}

// The bytes of a binary value (binary strings and blobs read as bytes).
bool BinaryBytes(const CAny& v, std::string_view* out) {
  const int type = v.nGetCode();
  if (type != qg::kAnyBIN && type != qg::kAnyBUFFER) return false;
  const void* bytes = nullptr;
  int size = 0;
  if (v.pclHolder()->vnGetTexte(&bytes) != qg::kAnyOk ||
      v.pclHolder()->vnGetTailleSansFin(&size) != qg::kAnyOk) {
    return false;
  }
  *out = bytes != nullptr && size > 0
             ? std::string_view(static_cast<const char*>(bytes), static_cast<size_t>(size))
             : std::string_view();
  return true;
}

// Two column values as the result gives them (texts, bytes, or NULL).
bool SameCell(const CAny& a, const CAny& b) {
  if (a.bEstNull() || b.bEstNull()) return a.bEstNull() && b.bEstNull();
  std::string_view x_bytes, y_bytes;
  if (BinaryBytes(a, &x_bytes) && BinaryBytes(b, &y_bytes)) return x_bytes == y_bytes;
  const char16_t* x = nullptr;
  const char16_t* y = nullptr;
  if (a.nGetPCXSTR(&x) < 100 && b.nGetPCXSTR(&y) < 100 && x != nullptr && y != nullptr) {
    return std::u16string_view(x) == std::u16string_view(y);
  }
  int32_t compared = 1;
  return a.nCompare(b, &compared) < 100 && compared == 0;
}

bool ReadIdentity(CNATableAccess* access, const std::vector<int>& columns,
                  std::vector<CAny>* values, CNAError* error) {
  values->assign(columns.size(), CAny());
  for (size_t i = 0; i < columns.size(); ++i) {
    if (!access->bReadColumnItem(columns[i], &(*values)[i], error)) return false;
  }
  return true;
}

}  // namespace

bool CNASession::bStandOnRecord(CNATableAccess* access, const char16_t* key,
                                const std::vector<int>& columns, const std::vector<CAny>& values,
                                bool* found, CNAError* error, CNATableAccess* source) {
  CNALock lock(&m_clLock);
  *found = false;
  std::u16string condition;
  if (source != nullptr && source->bRecordCondition(columns, &condition)) {
    bool handled = false;
    bool in_range = false;
    if (!bPrepareReadAt(access, key, condition, &handled, &in_range, error)) return false;
    if (handled && in_range) {
      std::vector<CAny> row;
      if (!ReadIdentity(access, columns, &row, error)) return false;
      bool same = row.size() == values.size();
      for (size_t i = 0; same && i < values.size(); ++i) same = SameCell(row[i], values[i]);
      if (same) {
        *found = true;
        access->SetPositionLost(false);
        return true;
      }
    }
    // Not there as read (gone, changed, filtered out): the whole order
    // decides, as it does without a fetch from the record.
  }
  if (!bPrepareRead(access, key, 1, error)) return false;
  bool in_range = false;
  std::vector<CAny> row;
  if (!access->bReadPosition(kNAReadFirst, false, 1, &in_range, error)) return false;
  while (in_range) {
    if (!ReadIdentity(access, columns, &row, error)) return false;
    bool same = true;
    for (size_t i = 0; same && i < values.size(); ++i) same = SameCell(row[i], values[i]);
    if (same) {
      *found = true;
      access->SetPositionLost(false);
      return true;
    }
    if (!access->bReadPosition(kNAReadNext, false, 1, &in_range, error)) return false;
  }
  return true;
}

// The record is no longer on the server (driver error 13, message 28591).
static bool RecordGone(CNASession* session, CNAError* error) {
  if (error != nullptr) {
    const char16_t* file = session->pszGetFileName();
    error->SetErrorMessage(9, 3, 17, nullptr, 13u, file != nullptr ? file : u"");
    error->SetUserMessage(28591u, file != nullptr ? file : u"");
  }
  return false;
}

bool CNASession::bHandOverCurrent(const char16_t* name, intptr_t, CNAError* error) {
  CNALock lock(&m_clLock);
  const char16_t* key = name != nullptr ? name : u"";
  CNATableAccess* from = m_pCurrentAccess;
  std::vector<int> columns = IdentityColumns(m_pTableDescription);
  std::vector<CAny> values;
  bool has_record = from != nullptr && from->bIsPositionValid() && !from->bIsOutOfRange() &&
                    !columns.empty();
  if (has_record && !ReadIdentity(from, columns, &values, error)) return false;
  CNATableAccess* to = pclGetTableAccess(key, error);
  if (to == nullptr) return false;
  bool ok = true;
  if (has_record && to != from) {
    bool found = false;
    ok = bStandOnRecord(to, key, columns, values, &found, error, from);
    if (ok && !found) ok = RecordGone(this, error);
  }
  ReleaseBoth(to);
  return ok;
}

bool CNASession::bReread(intptr_t record, intptr_t range, intptr_t, intptr_t, CNAError* error) {
  CNALock lock(&m_clLock);
  if (!bCheckNoRange(record, range, error)) return false;
  CNATableAccess* access = m_pCurrentAccess;
  std::vector<int> columns = IdentityColumns(m_pTableDescription);
  if (access == nullptr || !access->bIsPositionValid() || access->bIsOutOfRange() ||
      columns.empty()) {
    return bReadFirstAgain(error);
  }
  // The record as the server holds it now, in the order it was read in.
  std::vector<CAny> values;
  if (!ReadIdentity(access, columns, &values, error)) return false;
  CTString key(access->pszGetOrderedKeyName());
  bool found = false;
  if (!bStandOnRecord(access, key.pszGet(), columns, values, &found, error, access)) return false;
  m_nRecordFlags = 0;
  if (!found) return RecordGone(this, error);
  // The record reads as the server holds it now.
  NAEditRecord* edits = pclGetEdits();
  if (edits != nullptr) edits->Forget();
  return true;
}

bool CNASession::bReadFirstAgain(CNAError* error) {
  CNALock lock(&m_clLock);
  CNATableAccess* access = pclGetDefaultTableAccess(error);
  if (access == nullptr) return false;
  bool in_range = false;
  bool ok = bPrepareRead(access, u"", 0, error) &&
            access->bReadPosition(kNAReadFirst, false, 1, &in_range, error);
  if (ok) m_pCurrentAccess = access;
  ReleaseBoth(access);
  return ok;
}

bool CNASession::bReadSavedRecord(intptr_t serial, intptr_t keep, CNAError* error) {
  CNALock lock(&m_clLock);
  CNARefCounted* position = pclFindSavedPosition(static_cast<uint32_t>(serial));
  if (position == nullptr) {
    Fail(error, 30, 11);
    return false;
  }
  ReleaseBoth(position);
  // The record of a position is the row it names: going back to it makes
  // it the current record.
  return bRestorePosition(serial, 0, keep, 0, error);
}

namespace {

// The values of a key item (each part of a composite key) in the record
// an image holds; false when the image cannot tell them (no row buffer, a
// large object, a part without column).
bool KeyValuesIn(CNAItem* key, CNARecordImage* image, std::vector<CAny>* out) {
  out->clear();
  CNARowBuffer* row = image != nullptr ? image->pclGetRowBuffer() : nullptr;
  if (key == nullptr || row == nullptr) return false;
  std::vector<CNAItem*> parts;
  if (key->bIsCompositeKey()) {
    for (int p = 1; p <= key->nGetPartCount(); ++p) parts.push_back(key->pclGetPart(p));
  } else {
    parts.push_back(key);
  }
  if (parts.empty()) return false;
  for (CNAItem* part : parts) {
    if (part == nullptr || part->bIsLargeObject() || part->pclGetColumn() == nullptr ||
        part->nGetRowColumn() < 0) {
      return false;
    }
    CAny value;
    if (!row->bGetValue(value, part->nGetRowColumn(), -1)) return false;
    out->push_back(value);
  }
  return true;
}

}  // namespace

int32_t CNASession::nCompareCachedKeys(int32_t entry_a, int32_t entry_b, CNAError* error) {
  CNALock lock(&m_clLock);
  auto* logical = static_cast<CNAFileDescription*>(m_pLogical);
  CNAItem* key = logical != nullptr ? logical->pclGetKeyItem() : nullptr;
  CNARecordImage* form = logical != nullptr ? logical->pclGetCurrentImage() : nullptr;
  if (entry_a < 0 || entry_b < 0 || key == nullptr || !key->bIsUniqueKey() || form == nullptr) {
    return -1;
  }
  // Fresh images: the current and saved records stay as they are.
  CNARefPtr<CNARecordImage> a(NAAddRef(form->pclClone(CNARecordImage::kRow)));
  CNARefPtr<CNARecordImage> b(NAAddRef(form->pclClone(CNARecordImage::kRow)));
  if (a.Get() == nullptr || b.Get() == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(3, 79);
    return -1;
  }
  std::vector<CAny> x;
  std::vector<CAny> y;
  if (!bReadCachedRecord(entry_a, a.Get(), error) || !bReadCachedRecord(entry_b, b.Get(), error) ||
      !KeyValuesIn(key, a.Get(), &x) || !KeyValuesIn(key, b.Get(), &y) ||
      x.size() != y.size()) {
    return -1;
  }
  bool all_null = true;
  for (size_t i = 0; i < x.size(); ++i) {
    if (!x[i].bEstNull() || !y[i].bEstNull()) all_null = false;
  }
  if (all_null) return -1;  // two NULL keys tell nothing
  for (size_t i = 0; i < x.size(); ++i) {
    if (x[i].bEstNull() != y[i].bEstNull() || !SameCell(x[i], y[i])) return 0;
  }
  return 1;
}

int32_t CNASession::nCompareKeys(int32_t first, int32_t second, intptr_t, CNAError* error) {
  CNALock lock(&m_clLock);
  auto* a = static_cast<CNASavedPosition*>(pclFindSavedPosition(static_cast<uint32_t>(first)));
  auto* b = static_cast<CNASavedPosition*>(pclFindSavedPosition(static_cast<uint32_t>(second)));
  int32_t result = 0;
  if (a == nullptr || b == nullptr) {
    Fail(error, a == nullptr ? 19 : 20, 11);
  } else if (first == second ||
             (a->nGetSlot() >= 0 && a->pclGetCache() == b->pclGetCache() &&
              a->nGetSlot() == b->nGetSlot())) {
    // One position, or two that keep the same cached record.
    result = 1;
  } else {
    // The records the positions keep in record cache 1, compared on the
    // unique key item of the description.
    int32_t told = -1;
    if (a->pclGetCache() == m_pCache1 && b->pclGetCache() == m_pCache1) {
      CNAError quiet;
      quiet.SetSilent(true);
      told = nCompareCachedKeys(a->nGetSlot(), b->nGetSlot(), &quiet);
    }
    if (told >= 0) {
      result = told;
    } else {
      // Nothing cached tells: the unique key the records were saved on,
      // when both have one; without a unique key nothing tells.
      const std::vector<CAny>& x = a->KeyValues();
      const std::vector<CAny>& y = b->KeyValues();
      if (!x.empty() && x.size() == y.size()) {
        bool any_null = false;
        bool same = true;
        for (size_t i = 0; i < x.size(); ++i) {
          if (x[i].bEstNull() || y[i].bEstNull()) any_null = true;
          same = same && SameCell(x[i], y[i]);
        }
        result = !any_null && same ? 1 : 0;
      }
    }
  }
  if (a != nullptr) ReleaseBoth(a);
  if (b != nullptr) ReleaseBoth(b);
  return result;
}

bool CNASession::bGetRecordCounter(intptr_t record, intptr_t range, intptr_t out,
                                   CNAError* error) {
  CNALock lock(&m_clLock);
  if (!bCheckNoRange(record, range, error)) return false;
  if (out != 0) *reinterpret_cast<int32_t*>(out) = static_cast<int32_t>(m_nRecordFlags);
  return true;
}

bool CNASession::bReadRecordKey(CNATableAccess* access, std::vector<CAny>* values,
                                CNAError* error) {
  CNALock lock(&m_clLock);
  values->clear();
  bool unique = false;
  std::vector<int> columns = IdentityColumns(m_pTableDescription, &unique);
  if (!unique || columns.empty() || access == nullptr || !access->bIsPositionValid() ||
      access->bIsOutOfRange()) {
    return false;
  }
  return ReadIdentity(access, columns, values, error);
}

void CNASession::SaveRecordIdentity(CNATableAccess* access, CNASavedPosition* position) {
  CNALock lock(&m_clLock);
  if (access == nullptr || position == nullptr || !access->bIsPositionValid() ||
      access->bIsOutOfRange() || access->bHasTemporaryIndex()) {
    return;
  }
  std::vector<int> columns = IdentityColumns(m_pTableDescription);
  std::vector<CAny> values;
  CNAError quiet;
  quiet.SetSilent(true);
  if (columns.empty() || !ReadIdentity(access, columns, &values, &quiet)) return;
  position->SetIdentity(std::move(columns), std::move(values), access->pszGetOrderedKeyName());
}

bool CNASession::bRestoreRecord(CNATableAccess* access, CNASavedPosition* position,
                                CNAError* error) {
  CNALock lock(&m_clLock);
  const std::vector<int>& columns = position->IdentityColumns();
  const std::vector<CAny>& values = position->IdentityValues();
  auto stands_on_it = [&]() {
    if (!access->bIsPositionValid() || access->bIsOutOfRange()) return false;
    std::vector<CAny> row;
    CNAError quiet;
    quiet.SetSilent(true);
    if (!ReadIdentity(access, columns, &row, &quiet)) return false;
    for (size_t i = 0; i < values.size(); ++i) {
      if (!SameCell(row[i], values[i])) return false;
    }
    return true;
  };
  // Still there, or at its row of a whole result in hand that nobody
  // re-read since: no SQL.
  if (stands_on_it()) return true;
  const int64_t row = position->nGetRecord(0);
  if (access->pclGetResult() != nullptr && access->bIsWholeOrder() && row >= 0 &&
      row < access->pclGetResult()->nGetRowCount()) {
    CNAError quiet;
    quiet.SetSilent(true);
    if (access->bGoToRecord(row, &quiet) && stands_on_it()) return true;
  }
  // The rows moved: the record is looked for along the key it was read on.
  bool found = false;
  CTString key(position->pszGetIdentityKey());
  if (!bStandOnRecord(access, key.pszGet(), columns, values, &found, error, access)) return false;
  if (!found) return RecordGone(this, error);
  return true;
}

int32_t CNASession::nSameSavedRecord(const CNASavedPosition& a, const CNASavedPosition& b) {
  CNALock lock(&m_clLock);
  const std::vector<CAny>& x = a.IdentityValues();
  const std::vector<CAny>& y = b.IdentityValues();
  if (x.empty() || x.size() != y.size() || a.IdentityColumns() != b.IdentityColumns()) return -1;
  bool any_null = false;
  for (size_t i = 0; i < x.size(); ++i) {
    if (!SameCell(x[i], y[i])) return 0;
    any_null = any_null || x[i].bEstNull();
  }
  // Equal values name one record only as a unique key's, none of them NULL.
  bool unique = false;
  const bool identifying = IdentityColumns(m_pTableDescription, &unique) == a.IdentityColumns();
  return identifying && unique && !any_null ? 1 : -1;
}
