// Session operations on the table access object of a name: a read that
// names the object's move itself, and the filter that one object reads
// under while every other object's filter is put aside.
#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/filter.h"
#include "driver/sql/table_access.h"

namespace {

constexpr uint32_t kPendingSite = 99;
constexpr uint32_t kFilterSite = 3;

bool Pending(CNAError* error) {
  CNASession::Fail(error, kPendingSite, kNAErrorNotSupported);
  return false;
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
    // Another record is current: one deleted before is forgotten.
    m_nRecordFlags = 0;
    NAEditRecord* edits = pclGetEdits();
    if (edits != nullptr) edits->aclDeleted.clear();
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
  SetActiveFilter(active);
  ReleaseBoth(access);
  if (out != 0) *reinterpret_cast<CNAFilter**>(out) = active;
  if (active == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kFilterSite, 27);
    return false;
  }
  return true;
}
intptr_t CNASession::pclGetColumnPart(int32_t, intptr_t, CNAError* error) {
  Pending(error);
  return 0;
}
intptr_t CNASession::pclGetColumnPartOfItem(int32_t, intptr_t, CNAError* error) {
  Pending(error);
  return 0;
}
