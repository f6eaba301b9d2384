// Session reads: reading along a key (first, last, next, previous, by a
// count), seeking a key value and counting. The table access object of the
// key name runs the SELECT ordered on the key's parts and moves in its
// result; the session picks the object, sets up its order and decides when
// a read needs a new SELECT.
#include <string>
#include <string_view>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/dual_string.h"
#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/manager.h"
#include "driver/core/session_moves.h"
#include "driver/core/session.h"
#include "driver/sql/column.h"
#include "driver/sql/filter.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/key_filter.h"
#include "driver/sql/query.h"
#include "driver/sql/record_source.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/table_description.h"
#include "support/any.h"

namespace {

constexpr uint32_t kSite = 3;
// A seek along a name that is no key column of the table: "unknown key"
// with the name, at a site of its own.
constexpr uint32_t kSeekNoKeySite = 22;
constexpr uint32_t kSeekNoKeyMessage = 6;

// The column of the table description that a key name names: a key column
// or a composite key, by name without regard to case.
CNAColumn* FindKey(CNATableDescription* table, const char16_t* name) {
  if (table == nullptr || name == nullptr || name[0] == 0) return nullptr;
  CTString wanted(name);
  for (int i = 0; i < table->nGetKeyCount(); ++i) {
    CNAColumn* key = table->pclKeyAt(i);
    if (key != nullptr && wanted.bEstEgalI(key->pszGetName())) return key;
  }
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    CNAColumn* column = table->pclColumnAt(i);
    if (column != nullptr && wanted.bEstEgalI(column->pszGetName())) return column;
  }
  return nullptr;
}

// The order of a key: its parts (itself when simple), descending where the
// part's direction says so, then made total so that fetches join without a
// gap or a repeat: a key that is not unique, or whose parts may be NULL, is
// followed by a unique key whose parts are all NOT NULL (the primary key
// first), else by every column of the table (rows equal in every column are
// the same row to a reader).
std::vector<NAKeyPart> KeyParts(CNATableDescription* table, CNAColumn* key) {
  std::vector<NAKeyPart> parts;
  auto add = [&](CNAColumn* column, bool descending) {
    for (const NAKeyPart& p : parts) {
      if (CTString(p.strName.pszGet()).bEstEgalI(column->pszGetName())) return;
    }
    NAKeyPart part;
    part.strName = column->pszGetName();
    part.bDescending = descending;
    parts.push_back(part);
  };
  auto columns_of = [](CNAColumn* k) {
    std::vector<CNAColumn*> out;
    if (k->bIsComposite()) {
      for (int i = 1; i <= k->nGetPartCount(); ++i) {
        if (k->pclGetPart(i) != nullptr) out.push_back(k->pclGetPart(i));
      }
    } else {
      out.push_back(k);
    }
    return out;
  };
  // A unique key none of whose parts may be NULL tells every row apart.
  auto identifies = [&](CNAColumn* k) {
    if (k == nullptr || !k->bIsUnique()) return false;
    std::vector<CNAColumn*> columns = columns_of(k);
    if (columns.empty()) return false;
    for (CNAColumn* c : columns) {
      if (c->bIsNullable()) return false;
    }
    return true;
  };
  if (key == nullptr) return parts;
  {
    int n = 0;
    for (CNAColumn* part : columns_of(key)) add(part, key->bIsPartDescending(++n));
  }
  if (identifies(key) || table == nullptr) return parts;
  CNAColumn* total = nullptr;
  for (int pass = 0; pass < 2 && total == nullptr; ++pass) {
    for (int i = 0; i < table->nGetKeyCount() && total == nullptr; ++i) {
      CNAColumn* other = table->pclKeyAt(i);
      if (identifies(other) && (pass == 1 || other->bIsPrimary())) total = other;
    }
    for (int i = 0; i < table->nGetColumnCount() && total == nullptr; ++i) {
      CNAColumn* column = table->pclColumnAt(i);
      if (identifies(column) && (pass == 1 || column->bIsPrimary())) total = column;
    }
  }
  if (total != nullptr) {
    for (CNAColumn* part : columns_of(total)) add(part, false);
    return parts;
  }
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    CNAColumn* column = table->pclColumnAt(i);
    if (column != nullptr && !column->bIsComposite()) add(column, false);
  }
  return parts;
}

// Key names compare without regard to case; the name of the read before
// (the usual case in a walk) is spelt the same and needs no copy.
bool SameKeyName(const char16_t* ordered, const char16_t* name) {
  std::u16string_view a(ordered != nullptr ? ordered : u"");
  std::u16string_view b(name != nullptr ? name : u"");
  if (a == b) return true;
  return CTString(a.data()).bEstEgalI(b.data());
}

// A read makes another record current: one deleted before is forgotten,
// and so are the values written into the record left (they belonged to it,
// and a modify now names the record read).
void ForgetDeleted(CNASession* session) {
  session->m_nRecordFlags = 0;
  NAEditRecord* edits = session->pclGetEdits();
  if (edits != nullptr) edits->Forget();
}

}  // namespace

// The server table the session reads.
static const char16_t* ServerTable(CNASession* session) {
  CNATableDescription* table = session->pclGetTableDescription();
  if (table != nullptr) {
    const char16_t* server = table->pszGetServerName();
    if (server != nullptr && server[0] != 0) return server;
    const char16_t* name = table->pszGetName();
    if (name != nullptr && name[0] != 0) return name;
  }
  INAFileDescription* file = session->piGetFile();
  const char16_t* name = file != nullptr ? file->pszGetName() : nullptr;
  return name != nullptr ? name : u"";
}

bool CNASession::bPrepareRead(CNATableAccess* access, const char16_t* key, intptr_t whole,
                              CNAError* error) {
  CNALock lock(&m_clLock);
  if (access == nullptr) return false;
  if (!m_bOpen && !bOpen(0, 0, error)) return false;
  access->SetTableName(ServerTable(this));
  CNAColumn* column = FindKey(m_pTableDescription, key);
  if (key != nullptr && key[0] != 0 && column == nullptr) {
    Fail(error, 9, 17, key);
    return false;
  }
  access->SetOrderKey(key, KeyParts(m_pTableDescription, column));
  CNASQLGenerator* generator = pclNewSQLGenerator();
  if (generator == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 41);
    return false;
  }
  AddRefBoth(generator);
  bool ok = access->bRunByStatementKind(1, generator, error);
  int64_t cut = 0;
  if (ok) {
    // Rows per fetch: the connection's "QG Cache Size" when set, else 1 MiB
    // of records (at least 20) or the manager's default. The order along a
    // key of a table is total (a key that is not unique goes on along a
    // unique key, else along every column), so fetches join without a gap
    // or a repeat and a walk holds one fetch at a time, not the whole
    // order; a stored query is fetched in parts along a unique key only.
    int64_t cache = m_pConnection != nullptr ? m_pConnection->m_nCacheSize : -2;
    bool unique = column != nullptr && column->bIsUnique();
    bool table_key = column != nullptr && m_nQueryMode == 0;
    // A seek (`whole`) looks through the whole result.
    if (whole == 0 && (cache > 0 || unique || table_key)) {
      CNAManager* manager = m_pConnection != nullptr ? m_pConnection->pclGetManager() : nullptr;
      int64_t fallback = manager != nullptr ? manager->nGetDefaultFetchSize() : 100;
      int64_t record = m_pTableDescription != nullptr ? m_pTableDescription->nGetTotalSize() : 0;
      const int64_t requested = m_nRequestedRows > 0 ? m_nRequestedRows : 1;
      NAFetchPlan plan = NAPlanFetch(cache, record, fallback > 0 ? fallback : 100, requested);
      if (plan.nFetchSize > 0) {
        // A request of a fetch or more comes first in a short fetch, so
        // that its first rows come at once; the fetches after it are whole.
        cut = plan.nRest > 0 && plan.nFirst > 0 ? plan.nFetchSize : 0;
        generator->SetRowLimit(cut > 0 ? plan.nFirst : plan.nFetchSize);
        access->m_nFetchSize = plan.nFetchSize;
        access->m_nFollowingRows = plan.nRest;
      }
    }
    ok = access->bExecute(0, 0, nullptr, error);
    if (ok && cut > 0) access->SetFetchLimit(cut);
  }
  ReleaseBoth(generator);
  return ok;
}

bool CNASession::bPrepareReadAt(CNATableAccess* access, const char16_t* key,
                                const std::u16string& condition, bool* handled, bool* in_range,
                                CNAError* error) {
  CNALock lock(&m_clLock);
  *handled = false;
  *in_range = false;
  if (access == nullptr || condition.empty()) return true;
  if (!m_bOpen && !bOpen(0, 0, error)) return false;
  CNAColumn* column = FindKey(m_pTableDescription, key);
  // An unknown key is the whole read's to report.
  if (key != nullptr && key[0] != 0 && column == nullptr) return true;
  access->SetTableName(ServerTable(this));
  access->SetOrderKey(key, KeyParts(m_pTableDescription, column));
  CNASQLGenerator* generator = pclNewSQLGenerator();
  if (generator == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 41);
    return false;
  }
  AddRefBoth(generator);
  bool ok = access->bRunByStatementKind(1, generator, error);
  if (ok) {
    // Rows per fetch as a read along a unique key takes them.
    int64_t cache = m_pConnection != nullptr ? m_pConnection->m_nCacheSize : -2;
    CNAManager* manager = m_pConnection != nullptr ? m_pConnection->pclGetManager() : nullptr;
    int64_t fallback = manager != nullptr ? manager->nGetDefaultFetchSize() : 100;
    int64_t record = m_pTableDescription != nullptr ? m_pTableDescription->nGetTotalSize() : 0;
    NAFetchPlan plan = NAPlanFetch(cache, record, fallback > 0 ? fallback : 100, 1);
    ok = access->bReadAtCondition(condition, plan.nFetchSize, handled, in_range, error);
  }
  ReleaseBoth(generator);
  return ok;
}

bool CNASession::bReadOn(CNATableAccess* access, const char16_t* name, int32_t direction,
                         int64_t skip, int64_t rows, intptr_t lock, intptr_t, intptr_t flags,
                         bool forced_first, CNAError* error) {
  CNALock guard(&m_clLock);
  if (access == nullptr) return false;
  int64_t step = skip > 0 ? skip : 1;
  const bool moves_on = !forced_first && direction != kNAReadFirst && direction != kNAReadLast;
  // After a failed read there is no position to move from: the walk must
  // start again from an end or a seek, never silently from the first row.
  if (moves_on && access->bHasLostPosition()) {
    Fail(error, 84, 5, ServerTable(this));
    return false;
  }
  bool served = false;
  if (!forced_first && !bReadFromRecordSource(access, name, direction,
                                              static_cast<uint32_t>(flags), step, lock, &served,
                                              error)) {
    access->SetPositionLost(true);
    return false;
  }
  if (served) {
    access->SetPositionLost(false);
    return true;
  }
  // A filter set or put aside since the position was read makes the rows
  // held stale. A next or previous read goes on from the current record
  // under the filter now in force (the record locked meanwhile); first and
  // last, and a record whose place cannot be written, start again.
  if (!forced_first && (direction == kNAReadNext || direction == kNAReadPrevious) &&
      access->bHasFilterChanged() && access->bIsPositionValid() &&
      SameKeyName(access->pszGetOrderedKeyName(), name)) {
    int32_t mode = access->nSetLockState(2);
    access->bLockCurrentRecord(nullptr);
    bool handled = false;
    bool in_range = false;
    if (!access->bReadOnUnderNewFilter(direction, step, &handled, &in_range, error)) {
      access->SetPositionLost(true);
      return false;
    }
    if (handled) {
      access->SetPositionLost(false);
      return true;
    }
    access->nSetLockState(mode);
  }
  bool fresh = !moves_on || access->bHasFilterChanged() || access->pclGetResult() == nullptr ||
               !access->bIsPositionValid() || !SameKeyName(access->pszGetOrderedKeyName(), name);
  // A first or last read through the record cache (0x2000 with 0x4000) on
  // a table: the rows the object holds answer when they are the whole
  // order along the same key from its first row, read ascending, under the
  // same filter, with no key condition and no lock.
  if (fresh && !moves_on && !forced_first && m_nQueryMode == 0 &&
      (flags & 0x6000) == 0x6000 && access->pclGetResult() != nullptr &&
      access->bIsPositionValid() && access->nGetLockMode() == 0 && access->bIsWholeOrder() &&
      !access->bIsDescending() && !access->bHasFilterChanged() &&
      SameKeyName(access->pszGetOrderedKeyName(), name)) {
    auto* key_filter = static_cast<CNAKeyFilter*>(access->pclGetKeyFilter());
    if (key_filter == nullptr || !key_filter->bHasCondition()) {
      access->EndSeek();
      fresh = false;
    }
  }
  bool found = false;
  bool ok = false;
  if (!fresh) {
    ok = access->bReadPosition(direction, lock != 0, step, &found, error);
    // A move by a count that went past the records of the key value sought
    // goes on under the condition beyond that value (not for the reads a
    // count makes, 0x40000).
    if (ok && step > 1 && (flags & 0x40000) == 0) access->bSwitchPastKeyRange(direction);
  } else {
    // A next read without position starts at the first record, a previous
    // one at the last.
    int32_t from = direction == kNAReadLast || direction == kNAReadPrevious ? kNAReadLast
                                                                            : kNAReadFirst;
    access->EndSeek();
    m_nRequestedRows = rows;
    bool prepared = bPrepareRead(access, name, 0, error);
    m_nRequestedRows = 0;
    ok = prepared && access->bReadPosition(from, lock != 0, step, &found, error);
  }
  access->SetPositionLost(!ok);
  return ok;
}

CNATableAccess* CNASession::pclGetTableAccessForRead(const char16_t* name, uint32_t flags,
                                                     CNAError* error) {
  CNALock guard(&m_clLock);
  CNATableAccess* before = m_pCurrentAccess;
  CNATableAccess* access = pclGetTableAccess(name != nullptr ? name : u"", error);
  // 0x8000: the filter of the object read before goes on holding.
  if (access != nullptr && (flags & 0x8000) != 0 && before != nullptr && before != access &&
      before->pclGetFilter() != nullptr) {
    access->SetFilter(before->pclGetFilter());
    if (before->bIsFilterActive()) {
      VisitTableAccess([access](const char16_t*, CNATableAccess* other) {
        if (other != access) other->DeactivateFilter();
      });
      CNAFilter* active = access->pclActivateFilter();
      if (active != nullptr) SetActiveFilter(active);
    }
  }
  return access;
}

// `flags` are the read flags (see the session's read flags); `count` the
// rows to move; `out`, when not 0, an int32_t receiving 1 when a record
// was read and 0 at the end of the rows.
bool CNASession::bRead(const char16_t* name, intptr_t direction, intptr_t flags, intptr_t count,
                       intptr_t lock, intptr_t out, CNAError* error) {
  CNALock guard(&m_clLock);
  if (out != 0) *reinterpret_cast<int32_t*>(out) = 0;
  if (direction < kNAReadFirst || direction > kNAReadPrevious) {
    Fail(error, 27, 82);
    return false;
  }
  auto answer = [&](CNATableAccess* access, bool ok) {
    if (ok && out != 0 && access != nullptr) {
      *reinterpret_cast<int32_t*>(out) = access->bIsOutOfRange() ? 0 : 1;
    }
    return ok;
  };
  bool raw = false;
  bool read = bReadRawResult(name, static_cast<int32_t>(direction), count, lock,
                             static_cast<uint32_t>(flags), &raw, error);
  if (raw) return answer(m_pCurrentAccess, read);
  const char16_t* key = name != nullptr ? name : u"";
  uint32_t f = static_cast<uint32_t>(flags);
  // A session that reads without caches reads every name so.
  if ((m_nFlags & kNASessionNoCacheReads) != 0) f |= 0x110000;
  if (bIsModifyingQuery()) f |= 0x2000;
  // The first read after an open may go on with the object the open read.
  CNATableAccess* access = nullptr;
  if (m_nFirstRead != 0 && m_pActiveFilter == nullptr && m_pCurrentAccess != nullptr) {
    CNATableAccess* candidate = m_pCurrentAccess;
    auto* key_filter = static_cast<CNAKeyFilter*>(candidate->pclGetKeyFilter());
    if (key_filter != nullptr && key_filter->bHasCondition()) candidate = nullptr;
    if (candidate != nullptr &&
        ((f & 0x20000) != 0 ||
         (SameKeyName(candidate->pszGetName(), key) &&
          ((candidate->m_nReadOptions ^ f) & 0x20000) == 0))) {
      f |= 0x2000;
      if ((f & 0x100000) != 0) {
        candidate->EnableCache(false);
        bDropRecordSourceIfAny();
        candidate = nullptr;
      }
    }
    if (candidate != nullptr && (f & 0x4000) != 0 && SameKeyName(candidate->pszGetName(), key)) {
      candidate->UpdateFilterRef();
      access = candidate;
      AddRefBoth(access);
    }
  }
  // 0x20000: whatever its spelling, the name is the query's own, and the
  // read follows the query's own order.
  const bool own_order = (f & 0x20000) != 0 && m_nQueryMode != 0 && m_pQuery != nullptr &&
                         !m_strQueryTable.bEstVide();
  CNATableAccess* before = m_pCurrentAccess;
  if (access == nullptr) access = pclGetTableAccessForRead(key, f, error);
  if (access == nullptr) return false;
  m_nFirstRead = 0;
  // A next or previous read on a name that holds no rows goes on from the
  // current record (read along another name) along this name's key.
  if ((direction == kNAReadNext || direction == kNAReadPrevious) && before != nullptr &&
      before != access && access->pclGetResult() == nullptr && m_pRecordSource == nullptr &&
      before->bIsPositionValid() && !before->bIsOutOfRange() && !bIsRawSQL()) {
    m_pCurrentAccess = before;
    if (!bHandOverCurrent(key, 0, error)) {
      ReleaseBoth(access);
      return false;
    }
  }
  m_pCurrentAccess = access;
  if (direction == kNAReadFirst || direction == kNAReadLast) {
    // The cache off: for good with 0x100000 (the record source dropped),
    // with 0x10000 on a connection that keeps no cache.
    if ((f & 0x100000) != 0) {
      access->EnableCache(false);
      bDropRecordSourceIfAny();
    } else if ((f & 0x10000) != 0 && (f & 0x2000) == 0 && m_pConnection != nullptr &&
               m_pConnection->bHasNoCacheOption()) {
      access->EnableCache(false);
    }
    access->m_nReadOptions = (access->m_nReadOptions & 0x800) | (f & ~0x800u);
    access->SetRecordedName(own_order ? pszOwnOrderName() : key);
  }
  bool ok = bReadOn(access, pszReadKeyOf(own_order ? m_strQueryTable.pszGet() : name),
                    static_cast<int32_t>(direction), count, 1, lock, out, f, false, error);
  ok = answer(access, ok);
  ReleaseBoth(access);
  if (ok) ForgetDeleted(this);
  return ok;
}

const char16_t* CNASession::pszOwnOrderName() {
  CNALock guard(&m_clLock);
  const char16_t* name = m_pQuery != nullptr ? m_pQuery->pszGetOrderName() : nullptr;
  if (name != nullptr) return name;
  // Without an ORDER BY: the key the description reads by.
  auto* logical = static_cast<CNAFileDescription*>(m_pLogical);
  CNAItem* key = logical != nullptr ? logical->pclGetKeyItem() : nullptr;
  return key != nullptr && key->pszGetName() != nullptr ? key->pszGetName() : u"";
}

namespace {

// The bytes of a key value handed over packed (every part of a composite
// key one after the other, possibly cut short); false for a single value.
bool PackedKeyValue(const CAny* value, std::string* bytes) {
  qg::AnyBuffer buffer = {};
  if (value->nGetBUFFER(&buffer) < 100 && buffer.pData != nullptr && buffer.nSize >= 0) {
    bytes->assign(static_cast<const char*>(buffer.pData), static_cast<size_t>(buffer.nSize));
    return true;
  }
  CXYString<char> binary;
  if (value->nGetBIN(&binary) < 100 && binary.pszGet() != nullptr) {
    bytes->assign(binary.pszGet(), static_cast<size_t>(binary.nGetByteLength()));
    return true;
  }
  return false;
}

// Column types whose values the server finds equal wherever the host's
// value text is: integers, and texts (texts equal as written are equal
// under any collation; the collation may find more, which the record read
// tells).
bool SeeksBySql(int type) {
  switch (type) {
    case kNAColAutoId8:
    case kNAColInt2:
    case kNAColInt1:
    case kNAColInt4:
    case kNAColUInt2:
    case kNAColUInt1:
    case kNAColInt8:
    case kNAColUInt8:
    case kNAColUInt4:
    case kNAColAutoId4:
    case kNAColVarChar:
    case kNAColChar:
    case kNAColNVarChar:
      return true;
    default:
      return false;
  }
}

}  // namespace

// The arguments after the value: the read flags (recorded by the object;
// 0x2000 keeps a record source), and, not 0, a start-of-key seek: the last
// part given matches as a prefix. A single value is compared with the
// key's first part; a packed value with every part it gives.
bool CNASession::bSeek(const char16_t* table, const char16_t* key, intptr_t value, intptr_t flags,
                       intptr_t start_of_key, intptr_t, intptr_t, intptr_t, CNAError* error) {
  CNALock guard(&m_clLock);
  const char16_t* name = key != nullptr && key[0] != 0 ? key : table;
  const CAny* wanted = reinterpret_cast<const CAny*>(value);
  if (name == nullptr || name[0] == 0) {
    Fail(error, kSeekNoKeySite, kSeekNoKeyMessage, u"");
    return false;
  }
  if (wanted == nullptr) {
    // Nothing to seek.
    Fail(error, 9, 17, name);
    return false;
  }
  if (m_bOpen && FindKey(m_pTableDescription, name) == nullptr) {
    Fail(error, kSeekNoKeySite, kSeekNoKeyMessage, name);
    return false;
  }
  CNATableAccess* access = pclGetTableAccess(name, error);
  if (access == nullptr) return false;
  // A record source serves the seek only when the cache is asked for.
  if ((flags & 0x2000) == 0) bDropRecordSourceIfAny();
  access->EndSeek();
  access->m_nReadOptions = static_cast<uint32_t>(flags);
  // An exact value along a key whose first part is an integer or a text:
  // the server finds the first record of the value, instead of the whole
  // order being read until it comes. That record must hold the value as
  // the host gave it; any other outcome (nothing found, a text equal only
  // under the column's collation, an order that cannot go on from a
  // record) leaves the seek to the whole order, as before.
  if (start_of_key == 0 && !wanted->bEstNull() && (m_bOpen || bOpen(0, 0, error))) {
    CNAColumn* column = FindKey(m_pTableDescription, name);
    CNAColumn* first = column == nullptr         ? nullptr
                       : column->bIsComposite() ? column->pclGetPart(1)
                                                : column;
    std::string packed;
    if (first != nullptr && column->bIsComposite() && PackedKeyValue(wanted, &packed)) {
      first = nullptr;  // every part given: the key condition below
    }
    CDualString literal(CDualString::kUtf16, 65001);
    CNAError quiet;
    quiet.SetSilent(true);
    if (first != nullptr && SeeksBySql(first->nGetType()) && !bIsRawSQL() &&
        m_pConnection != nullptr &&
        m_pConnection->bValueLiteral(&quiet, &literal, *wanted, 0, false) &&
        literal.pszGetW() != nullptr) {
      NAKeyPart part;
      part.strName = first->pszGetName();
      CTString quoted;
      access->OrderItemText(part, 0, &quoted);
      const std::u16string condition =
          std::u16string(quoted.pszGet()) + u" = " + literal.pszGetW();
      bool handled = false;
      bool in_range = false;
      if (!bPrepareReadAt(access, name, condition, &handled, &in_range, error)) {
        access->SetPositionLost(true);
        ReleaseBoth(access);
        return false;
      }
      if (handled && in_range && access->bSeekIsCurrentRow(first->pszGetName(), *wanted, true)) {
        access->SetPositionLost(false);
        ReleaseBoth(access);
        ForgetDeleted(this);
        return true;
      }
      access->EndSeek();
      access->m_nReadOptions = static_cast<uint32_t>(flags);
    }
  }
  bool ok = bPrepareRead(access, name, 1, error);
  CNAColumn* column = ok ? FindKey(m_pTableDescription, name) : nullptr;
  if (ok && column == nullptr) {
    Fail(error, kSeekNoKeySite, kSeekNoKeyMessage, name);
    ok = false;
  }
  std::string packed;
  if (ok && column->bIsComposite() && PackedKeyValue(wanted, &packed)) {
    // Every part given, each with its own type and direction, through the
    // key condition; the first record along the key that meets it.
    ok = access->bSetKeyValue(column, reinterpret_cast<const uint8_t*>(packed.data()),
                              packed.size(), start_of_key == 0, error);
    bool found = false;
    bool in_range = false;
    if (ok) ok = access->bReadPosition(kNAReadFirst, false, 1, &found, error);
    if (ok) access->GetFoundAndInRange(&found, &in_range);
    while (ok && !access->bIsOutOfRange() && !found) {
      ok = access->bReadPosition(kNAReadNext, false, 1, &found, error);
      if (ok) access->GetFoundAndInRange(&found, &in_range);
    }
    if (ok) access->KeepSeek();
  } else if (ok) {
    CNAColumn* first = column->bIsComposite() ? column->pclGetPart(1) : column;
    bool found = false;
    if (first == nullptr) {
      Fail(error, kSeekNoKeySite, kSeekNoKeyMessage, name);
      ok = false;
    } else {
      ok = access->bSeek(first->pszGetName(), *wanted, start_of_key == 0, &found, error);
    }
  }
  access->SetPositionLost(!ok);
  ReleaseBoth(access);
  if (ok) ForgetDeleted(this);
  return ok;
}

bool CNASession::bSeekSameName(const char16_t* table, intptr_t value, intptr_t a, intptr_t b,
                               intptr_t c, intptr_t d, intptr_t e, intptr_t, CNAError* error) {
  return bSeek(table, table, value, a, b, c, d, e, error);
}

bool CNASession::bCount(intptr_t flags, CNATableAccess* position, int32_t type, int64_t* out,
                        CNAError* error) {
  CNALock guard(&m_clLock);
  if (out != nullptr) *out = 0;
  // The filter in force counts: the position object's own when it reads
  // under one, else the session's.
  CNAFilter* in_force = position != nullptr && position->bIsFilterActive()
                            ? position->pclGetFilter()
                            : m_pActiveFilter;
  if (in_force != nullptr && in_force->bWritesNothing()) in_force = nullptr;
  // A complete result in hand answers without SQL (it answers nothing
  // under a filter of its own, and cannot speak for another's).
  if ((flags & 0x10) != 0 && position != nullptr &&
      (in_force == nullptr || in_force == position->pclGetFilter())) {
    int64_t held = 0;
    if (position->bGetResultCount(0, &held, error) && held > 0) {
      if (out != nullptr) *out = held;
      return true;
    }
  }
  // So does the record set of the record source, for a count of every
  // record under no filter.
  if ((flags & 0x10) != 0 && type != 2 && type != 3 && in_force == nullptr &&
      m_pRecordSource != nullptr) {
    auto* source = static_cast<CNARecordSource*>(m_pRecordSource);
    CNAError quiet;
    quiet.SetSilent(true);
    if (source->pclOpen(&quiet) != nullptr) {
      if (out != nullptr) *out = source->nGetRecordCount(&quiet);
      return true;
    }
  }
  // Types 2 and 3 count along the position object's key from its record
  // on (type 2, the record itself included) or before it (type 3), under
  // that object's filter: the two make the whole set.
  if (type == 2 || type == 3) {
    CNATableAccess* from = position != nullptr ? position : m_pCurrentAccess;
    if (from == nullptr || !from->bIsPositionValid() || from->bIsOutOfRange()) {
      Fail(error, 1, 7, pszGetFileName());
      return false;
    }
    int64_t count = from->nCountFromCurrent(type == 3, error);
    if (count < 0) {
      if (error != nullptr && !error->bHasError()) Fail(error, 1, 7, pszGetFileName());
      return false;
    }
    if (out != nullptr) *out = count;
    return true;
  }
  // With 0x4000 the position object's filter holds for the count.
  if ((flags & 0x4000) != 0 && position != nullptr && position->bIsFilterActive()) {
    int64_t count = position->nCountUnderFilter(error);
    if (count < 0) return false;
    if (out != nullptr) *out = count;
    return true;
  }
  if (!m_bOpen && !bOpen(0, 0, error)) return false;
  CNATableAccess* access = pclGetDefaultTableAccess(error);
  if (access == nullptr) return false;
  access->SetTableName(ServerTable(this));
  // The default object counts under the filter in force, then gets its own
  // filter state back.
  CNARefPtr<CNAFilter> own(NAAddRef(access->pclGetFilter()));
  const bool own_active = access->bIsFilterActive();
  access->SetFilter(in_force);
  int64_t count = 0;
  bool ok = access->bCountRecords(&count, error);
  access->SetFilter(own.Get());
  if (!own_active) access->DeactivateFilter();
  if (ok && out != nullptr) *out = count;
  ReleaseBoth(access);
  return ok;
}

bool CNASession::bOpenTable(intptr_t out, intptr_t a, intptr_t, intptr_t, intptr_t, intptr_t,
                            CNAError* error) {
  CNALock guard(&m_clLock);
  if (out != 0) *reinterpret_cast<int32_t*>(out) = 0;
  if (m_piFile != nullptr && m_piFile->pGetQuery() != nullptr) return bOpenHostQuery(out, a, error);
  // A table: described from the server and bound; the first read runs the
  // SELECT.
  if (!bOpen(0, 0, error)) return false;
  if (out != 0) *reinterpret_cast<int32_t*>(out) = 1;
  return true;
}

// ---- the key for a condition

namespace {

// The column a condition's column reference names: the part after the
// first '.', without its quotes.
std::u16string ConditionColumn(const std::u16string& sql) {
  size_t dot = sql.find(u'.');
  std::u16string name = dot == std::u16string::npos ? sql : sql.substr(dot + 1);
  if (name.size() >= 2 && (name.front() == u'`' || name.front() == u'"' || name.front() == u'[')) {
    name = name.substr(1, name.size() - 2);
  }
  return name;
}

void ConditionColumns(const CNAFilter* node, std::vector<std::u16string>* out) {
  if (node == nullptr) return;
  if (node->pclGetLeft() == nullptr && node->pclGetRight() == nullptr) {
    if (!node->GetColumn().strSql.empty()) out->push_back(ConditionColumn(node->GetColumn().strSql));
    return;
  }
  ConditionColumns(node->pclGetLeft(), out);
  ConditionColumns(node->pclGetRight(), out);
}

}  // namespace

bool CNASession::bChooseKeyAndFilter(intptr_t condition, intptr_t out_name, CNAError* error) {
  CNALock lock(&m_clLock);
  auto* filter = reinterpret_cast<CNAFilter*>(condition);
  std::vector<std::u16string> names;
  ConditionColumns(filter, &names);
  // The first unique key among the condition's columns, else the first
  // key, else the first column found; without any, the key read along.
  CNAColumn* unique = nullptr;
  CNAColumn* key = nullptr;
  CNAColumn* found = nullptr;
  for (const std::u16string& name : names) {
    CNAColumn* column = FindKey(m_pTableDescription, name.c_str());
    if (column == nullptr || column->bIsComposite()) continue;
    if (column->bIsUnique()) {
      unique = column;
      break;
    }
    if (key == nullptr && column->bIsKey()) key = column;
    if (found == nullptr) found = column;
  }
  CNAColumn* chosen = unique != nullptr ? unique : key != nullptr ? key : found;
  CTString name;
  if (chosen != nullptr) {
    name = chosen->pszGetName();
  } else if (m_pCurrentAccess != nullptr && !CTString(m_pCurrentAccess->pszGetOrderedKeyName()).bEstVide()) {
    name = m_pCurrentAccess->pszGetOrderedKeyName();
  } else {
    Fail(error, 9, 17);
    return false;
  }
  if (out_name != 0) {
    // At most 255 units and a terminator.
    char16_t* out = reinterpret_cast<char16_t*>(out_name);
    const char16_t* text = name.pszGet() != nullptr ? name.pszGet() : u"";
    size_t n = 0;
    for (; n < 255 && text[n] != 0; ++n) out[n] = text[n];
    out[n] = 0;
  }
  // The condition filters the reads along that key, and only those.
  CNATableAccess* access = pclGetTableAccess(name.pszGet(), error);
  if (access == nullptr) return false;
  VisitTableAccess([&](const char16_t*, CNATableAccess* other) {
    if (other != access) other->DeactivateFilter();
  });
  access->SetFilter(filter);
  access->Close();
  SetActiveFilter(filter);
  ReleaseBoth(access);
  return true;
}
