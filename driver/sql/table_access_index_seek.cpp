// Seeking and going to a record by number along a temporary index: the
// record set stands for the open result, the index for its order.
#include <string_view>

#include "driver/core/error_status.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/table_access.h"
#include "driver/sql/temporary_index.h"

namespace {

constexpr uint32_t kAccessSite = 4;

// Two values read through the same item: equal by the host's comparison,
// else (no comparison for the type) by their texts. NULL equals only NULL.
bool Equal(const CAny& a, const CAny& b) {
  if (a.bEstNull() || b.bEstNull()) return a.bEstNull() && b.bEstNull();
  int32_t compared = 1;
  if (a.nCompare(b, &compared) < 100) return compared == 0;
  CXYString<char16_t> x;
  CXYString<char16_t> y;
  return a.nGetTexte(&x) < 100 && b.nGetTexte(&y) < 100 &&
         std::u16string_view(x.pszGet()) == std::u16string_view(y.pszGet());
}

// Puts the index on `entry`, whose record is the current record: the
// index's own seek finds it among equal keys, else a walk from the first.
bool PlaceOn(CNATemporaryIndex* index, int entry, CNAError* error) {
  bool hit = false;
  if (index->bSeek(-1, 0, &hit, error) && index->nGetCurrentRecord() == entry) return true;
  int here = -1;
  if (!index->bPosition(kNAIndexFirst, 1, &here, error)) return false;
  while (here >= 0 && here != entry) {
    if (!index->bPosition(kNAIndexForward, 1, &here, error)) return false;
  }
  return here == entry;
}

}  // namespace

bool CNATableAccess::bSeekAlongIndex(const char16_t* name, const CAny& value, bool exact,
                                     bool* found, CNAError* error) {
  auto* index = static_cast<CNATemporaryIndex*>(m_pTemporaryIndex);
  CNAFileDescription* logical = pclGetFileDescription();
  CNAItem* item = logical != nullptr ? logical->pclFindItemByName(name) : nullptr;
  if (item == nullptr) {
    if (error != nullptr) error->SetErrorMessage(0, kAccessSite, 9, nullptr, 6, name);
    return false;
  }
  const int64_t was = m_bPositionValid ? m_nCurrentRow : -1;
  // The sought value as the item holds it, so that it compares with the
  // records' values (and the index builds its key from it).
  CAny key;
  if (!item->bWriteValue(value, 0, error) || !item->bReadValue(key, 0, error)) return false;
  m_stSearch.strItem = name;
  m_stSearch.clValue = key;
  m_stSearch.nFlags = exact ? 1 : 3;

  int entry = -1;
  if (item == index->pclGetItem()) {
    // The index's seek ends on an equal key when there is one, else on the
    // next greater key (none past the last).
    bool hit = false;
    if (!index->bSeek(-1, 0, &hit, error)) return false;
    entry = index->nGetCurrentRecord();
    // Among equal keys, the first along the index.
    while (hit && entry >= 0) {
      int before = -1;
      if (!index->bPosition(kNAIndexBackward, 1, &before, error)) return false;
      if (before < 0) break;
      CAny other;
      if (!bLoadCachedRow(before, error) || !item->bReadValue(other, 0, error)) return false;
      if (!Equal(other, key)) {
        if (!index->bPosition(kNAIndexForward, 1, &before, error)) return false;
        break;
      }
      entry = before;
    }
    if (exact && !hit) entry = -1;
  } else {
    // Another item than the index's: the first record along the index
    // whose value equals.
    int here = -1;
    if (!index->bPosition(kNAIndexFirst, 1, &here, error)) return false;
    for (; here >= 0; index->bPosition(kNAIndexForward, 1, &here, error)) {
      CAny other;
      if (!bLoadCachedRow(here, error) || !item->bReadValue(other, 0, error)) return false;
      if (Equal(other, key)) break;
    }
    entry = here;
  }

  if (entry < 0) {
    // Nothing found: the record and the index's place stay those of the
    // position.
    if (was >= 0) {
      CNAError quiet;
      if (bLoadCachedRow(was, &quiet)) PlaceOn(index, static_cast<int>(was), &quiet);
    }
    m_bOutOfRange = true;
    m_bFound = false;
    m_bInRange = false;
    return true;
  }
  if (!bLoadCachedRow(entry, error)) return false;
  LoadRow(kNAReadFirst);
  m_bOutOfRange = false;
  m_bFound = true;
  m_bInRange = bRecordMeetsSearch();
  m_nLockMode = 0;
  m_nLockedRecord = -1;
  if (found != nullptr) *found = true;
  return true;
}

bool CNATableAccess::bGoToIndexedRecord(int64_t n, CNAError* error) {
  auto* index = static_cast<CNATemporaryIndex*>(m_pTemporaryIndex);
  auto no_record = [&] {
    if (error != nullptr && !error->bHasError()) {
      error->SetErrorMessage(0, kAccessSite, 11, nullptr, 11, m_strTable.pszGet());
    }
    return false;
  };
  CNAError quiet;
  if (m_pCache == nullptr || n < 0 || n >= m_pCache->nGetCount() ||
      m_pCache->bIsInvalid(static_cast<int>(n)) || !bLoadCachedRow(n, &quiet)) {
    return no_record();
  }
  // Reads go on along the index from this record.
  if (!PlaceOn(index, static_cast<int>(n), error)) return no_record();
  m_nLockedRecord = n;
  m_bOutOfRange = false;
  m_bFound = true;
  m_bInRange = m_stSearch.bActive() ? bRecordMeetsSearch() : true;
  return true;
}

bool CNATableAccess::bRecordMeetsSearch() {
  if (!m_stSearch.bActive()) return m_bFound;
  CNAFileDescription* logical = pclGetFileDescription();
  CNAItem* item = logical != nullptr ? logical->pclFindItemByName(m_stSearch.strItem.pszGet())
                                     : nullptr;
  CAny value;
  if (item == nullptr || !item->bReadValue(value, 0, nullptr)) return false;
  if ((m_stSearch.nFlags & 2) == 0) return Equal(value, m_stSearch.clValue);
  // Not exact: at or after the sought value.
  if (value.bEstNull() || m_stSearch.clValue.bEstNull()) return m_stSearch.clValue.bEstNull();
  int32_t compared = -1;
  return value.nCompare(m_stSearch.clValue, &compared) < 100 && compared >= 0;
}
