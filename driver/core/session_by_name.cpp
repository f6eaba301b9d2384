// Session operations on the table access object of a name (a read that
// names the object's move itself, and the filter that one object reads
// under while every other object's filter is put aside) and the parts of
// the logical description's items.
#include <string>

#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/session.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/filter.h"
#include "driver/sql/filter_rules.h"
#include "driver/sql/item.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"

namespace {

constexpr uint32_t kFilterSite = 3;
constexpr uint32_t kNoPartSite = 31;
constexpr uint32_t kNoPartMessage = 5;

// A part of an item (0 the item itself); a missing one fails naming the
// number that was asked for.
intptr_t PartOf(CNAItem* item, intptr_t part, int32_t asked, CNAError* error) {
  CNAItem* found = nullptr;
  if (item != nullptr && part >= 0 && part <= item->nGetPartCount()) {
    found = part == 0 ? item : item->pclGetPart(static_cast<int>(part));
  }
  if (found == nullptr) {
    std::u16string number;
    for (char c : std::to_string(asked)) number += static_cast<char16_t>(c);
    CNASession::Fail(error, kNoPartSite, kNoPartMessage, number.c_str());
  }
  return reinterpret_cast<intptr_t>(found);
}

}  // namespace

// The arguments are those of the read on one object: direction, rows to
// skip, rows to read, lock argument, output, read flags and whether a
// first read is forced (a new SELECT whatever the object holds).
bool CNASession::bReadByName(const char16_t* name, intptr_t direction, intptr_t skip,
                             intptr_t rows, intptr_t lock, intptr_t out, intptr_t flags,
                             intptr_t forced_first, CNAError* error) {
  CNALock guard(&m_clLock);
  if (direction < kNAReadFirst || direction > kNAReadPrevious) {
    Fail(error, 27, 82);
    return false;
  }
  CNATableAccess* access = pclGetTableAccess(name != nullptr ? name : u"", error);
  if (access == nullptr) return false;
  m_nFirstRead = 0;
  bool ok = bReadOn(access, pszReadKeyOf(name), static_cast<int32_t>(direction), skip, rows, lock,
                    out, flags, forced_first != 0, error);
  if (!ok && bFallbackRead(error)) {
    if (error != nullptr) error->Reset();
    ok = true;
  }
  ReleaseBoth(access);
  if (ok) {
    // Another record is current: one deleted before is forgotten, and so
    // are the values written into the record left.
    m_nRecordFlags = 0;
    NAEditRecord* edits = pclGetEdits();
    if (edits != nullptr) edits->Forget();
  }
  return ok;
}

// `condition` (a CNAFilter, or 0 to keep the one the object holds) becomes
// the filter of the object of the name, made when missing; every other
// object reads unfiltered from its next SELECT on. `out` (when not 0, a
// CNAFilter**) receives the activated filter without a reference of its
// own; the session keeps one.
bool CNASession::bSetFilter(const char16_t* name, intptr_t condition, intptr_t out, intptr_t,
                            intptr_t, intptr_t, CNAError* error) {
  CNALock guard(&m_clLock);
  const char16_t* key = name != nullptr ? name : u"";
  CNATableAccess* access = pclFindTableAccess(key);
  if (access == nullptr) access = pclAddTableAccess(key, error);
  if (access == nullptr) return false;
  if (condition != 0) access->SetFilter(reinterpret_cast<CNAFilter*>(condition));
  VisitTableAccess([access](const char16_t*, CNATableAccess* other) {
    if (other != access) other->DeactivateFilter();
  });
  CNAFilter* active = access->pclActivateFilter();
  if (active == nullptr) {
    ReleaseBoth(access);
    if (error != nullptr) error->SetOutOfMemory(kFilterSite, 27);
    return false;
  }
  // A filter without condition writes no WHERE text: in force it would
  // break the object's next SELECT. It stays in force only for a caller
  // that takes it to fill it.
  if (active->bWritesNothing() && out == 0) {
    access->DeactivateFilter();
    SetActiveFilter(nullptr);
  } else {
    SetActiveFilter(active);
  }
  ReleaseBoth(access);
  if (out != 0) *reinterpret_cast<CNAFilter**>(out) = active;
  return true;
}
// The item of the logical description that belongs to a column of the
// table description (by position), then its part: 0 the item itself, n
// from 1 the n-th part of a composite key. The item stays the logical
// description's (no reference for the caller); 0 when there is none.
intptr_t CNASession::pclGetColumnPart(int32_t column, intptr_t part, CNAError* error) {
  CNALock guard(&m_clLock);
  auto* logical = static_cast<CNAFileDescription*>(m_pLogical);
  CNAColumn* wanted =
      m_pTableDescription != nullptr ? m_pTableDescription->pclColumnAt(column) : nullptr;
  CNAItem* item = nullptr;
  for (int i = 0; logical != nullptr && wanted != nullptr && i < logical->nGetItemCount(); ++i) {
    CNAItem* candidate = logical->pclGetItem(i);
    // Items are bound to a column of the same name, which may be another
    // description's copy of it.
    if (candidate != nullptr &&
        (candidate->pclGetColumn() == wanted || CTString(wanted->pszGetName())
                                                    .bEstEgalI(candidate->pszGetName()))) {
      item = candidate;
      break;
    }
  }
  return PartOf(item, part, column, error);
}

// Host item n: the logical description's item of its name when the host
// declares items (its server name, else its own), else the n-th.
intptr_t CNASession::pclGetColumnPartOfItem(int32_t item, intptr_t part, CNAError* error) {
  CNALock guard(&m_clLock);
  auto* logical = static_cast<CNAFileDescription*>(m_pLogical);
  CNAItem* found = nullptr;
  if (logical != nullptr && m_piFile != nullptr && m_piFile->nGetItemCount() > 0) {
    NAHostItem host;
    if (m_piFile->bGetItem(item, &host)) {
      for (const char16_t* name : {host.pszSqlName, host.pszName}) {
        if (found == nullptr && name != nullptr && name[0] != 0) {
          found = logical->pclFindItemByName(name);
        }
      }
    }
  } else if (logical != nullptr) {
    found = logical->pclGetItem(item);
  }
  return PartOf(found, part, item, error);
}
