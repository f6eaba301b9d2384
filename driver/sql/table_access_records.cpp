// The record a table access object reads: rows of the open result loaded
// into the logical description's current record, kept in the record cache,
// and read back from the cache (or along a temporary index over it) with
// no request to the server.
#include <new>
#include <string_view>

#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/sql/conversion_error.h"
#include "driver/sql/file_description.h"
#include "driver/sql/filter.h"
#include "driver/sql/filter_rules.h"
#include "driver/sql/key_filter.h"
#include "driver/sql/item.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_access.h"
#include "driver/sql/temporary_index.h"
#include "driver/sql/value_converter.h"
#include "support/any.h"

namespace {

// Index positioning kinds of the read directions.
int IndexKind(int32_t direction) {
  switch (direction) {
    case kNAReadFirst:
      return kNAIndexFirst;
    case kNAReadLast:
      return kNAIndexLast;
    case kNAReadNext:
      return kNAIndexForward;
    case kNAReadPrevious:
      return kNAIndexBackward;
    default:
      return -1;  // stays
  }
}

// Compares two values: through the host's comparison, else as 64-bit
// numbers when both are, else as texts.
bool bCompareValues(const CAny& a, const CAny& b, int32_t* result) {
  if (a.nCompare(b, result) < 100) return true;
  CAny x(a), y(b);
  int64_t m = 0, n = 0;
  if (x.nConvertType(9) < 100 && y.nConvertType(9) < 100 && x.nGetI8(&m) < 100 &&
      y.nGetI8(&n) < 100) {
    *result = m < n ? -1 : (m > n ? 1 : 0);
    return true;
  }
  CAny s(a), t(b);
  const char16_t* p = nullptr;
  const char16_t* q = nullptr;
  if (s.nConvertType(qg::kAnyPSTRW) >= 100 || t.nConvertType(qg::kAnyPSTRW) >= 100 ||
      s.nGetPCXSTR(&p) >= 100 || t.nGetPCXSTR(&q) >= 100 || p == nullptr || q == nullptr) {
    return false;
  }
  int c = std::u16string_view(p).compare(q);
  *result = c < 0 ? -1 : (c > 0 ? 1 : 0);
  return true;
}

// A condition over the current record: 1 true, 0 false, -1 not decided
// here (a leaf without an item or values that do not compare).
int Verdict(const CNAFilter* node) {
  if (node == nullptr) return 1;
  const int op = node->nGetOperator();
  switch (op) {
    case kNAFilterEmpty:
    case kNAFilterTrue:
      return 1;
    case kNAFilterFalse:
      return 0;
    case kNAFilterOr:
    case kNAFilterAnd: {
      int left = Verdict(node->pclGetLeft());
      int right = Verdict(node->pclGetRight());
      if (op == kNAFilterAnd) {
        if (left == 0 || right == 0) return 0;
        return left == 1 && right == 1 ? 1 : -1;
      }
      if (left == 1 || right == 1) return 1;
      return left == 0 && right == 0 ? 0 : -1;
    }
    case kNAFilterNot: {
      int inner = Verdict(node->pclGetLeft() != nullptr ? node->pclGetLeft() : node->pclGetRight());
      return inner < 0 ? -1 : 1 - inner;
    }
    default:
      break;
  }
  auto* item = const_cast<CNAItem*>(node->GetColumn().pItem);
  if (item == nullptr) return -1;
  CAny value;
  if (!item->bReadValue(value, 0, nullptr)) return -1;
  if (op == kNAFilterIsNull) return value.bEstNull() ? 1 : 0;
  if (op == kNAFilterIsNotNull) return value.bEstNull() ? 0 : 1;
  const CAny& bound = node->clGetValue();
  // NULL compares to nothing.
  if (value.bEstNull() || bound.bEstNull()) return 0;
  if (op == kNAFilterEqual && (node->nGetFlags() & kNAFilterPrefix) != 0) {
    const char16_t* text = nullptr;
    const char16_t* prefix = nullptr;
    CAny a(value), b(bound);
    if (a.nConvertType(qg::kAnyPSTRW) >= 100 || b.nConvertType(qg::kAnyPSTRW) >= 100 ||
        a.nGetPCXSTR(&text) >= 100 || b.nGetPCXSTR(&prefix) >= 100 || text == nullptr ||
        prefix == nullptr) {
      return -1;
    }
    return std::u16string_view(text).substr(0, std::u16string_view(prefix).size()) == prefix ? 1
                                                                                           : 0;
  }
  int32_t compared = 0;
  if (!bCompareValues(value, bound, &compared)) return -1;
  switch (op) {
    case kNAFilterEqual:
      return compared == 0 ? 1 : 0;
    case kNAFilterNotEqual:
      return compared != 0 ? 1 : 0;
    case kNAFilterGreater:
      return compared > 0 ? 1 : 0;
    case kNAFilterLess:
      return compared < 0 ? 1 : 0;
    case kNAFilterGreaterEqual:
      return compared >= 0 ? 1 : 0;
    case kNAFilterLessEqual:
      return compared <= 0 ? 1 : 0;
    default:
      return -1;
  }
}

}  // namespace

bool CNATableAccess::bKeyFilterAccepts() {
  auto* filter = static_cast<CNAKeyFilter*>(m_pKeyFilter);
  if (filter == nullptr || !filter->bHasCondition() || pclGetFileDescription() == nullptr) {
    return true;
  }
  return Verdict(filter->pclGetActive()) != 0;
}

bool CNATableAccess::bSwitchPastKeyRange(int32_t direction) {
  auto* filter = static_cast<CNAKeyFilter*>(m_pKeyFilter);
  if (filter == nullptr || !filter->bHasCondition() ||
      filter->nGetState() != CNAKeyFilter::kStateEquality || m_bOutOfRange || m_bFound ||
      !m_bPositionValid || pclGetFileDescription() == nullptr) {
    return false;
  }
  // Up the key's order for next (first) on an ascending read; the other
  // way on a read along the key's opposite direction.
  const bool up = (direction == kNAReadNext || direction == kNAReadFirst) != m_bDescending;
  filter->bSwitchCondition(up ? 0 : 1);
  if (!bKeyFilterAccepts()) {
    filter->bSwitchCondition(up ? 0 : 1);  // back to the key value's records
    return false;
  }
  m_bFound = true;
  if (!m_stSearch.bActive()) m_bInRange = true;
  return true;
}

void CNATableAccess::SetFileDescription(CNAFileDescription* logical) {
  if (logical == m_pLogical) return;
  if (logical != nullptr) AddRefBoth(logical);
  CNAFileDescription* old = m_pLogical;
  m_pLogical = logical;
  m_bItemColumnsFound = false;
  if (old != nullptr) ReleaseBoth(old);
}

CNAFileDescription* CNATableAccess::pclGetFileDescription() {
  if (m_pLogical == nullptr && m_pSession != nullptr) {
    // The session's description is a CNAFileDescription; its reference
    // moves here.
    CNARefCounted* logical = m_pSession->pclGetLogicalDescription();
    m_pLogical = static_cast<CNAFileDescription*>(logical);
    m_bItemColumnsFound = false;
  }
  return m_pLogical;
}

bool CNATableAccess::bLoadResultRow(CNAError* error) {
  CNAFileDescription* logical = pclGetFileDescription();
  if (logical == nullptr || m_pResult == nullptr || !m_pResult->bHasRow()) return true;
  if (!logical->bRebindItems(error)) return false;
  const int items = logical->nGetItemCount();
  if (!m_bItemColumnsFound) {
    m_anItemColumns.assign(static_cast<size_t>(items), -1);
    for (int i = 0; i < items; ++i) {
      CNAItem* item = logical->pclGetItem(i);
      if (item == nullptr || item->bIsCompositeKey()) continue;
      const char16_t* name = item->pszGetSqlName();
      if (name == nullptr || name[0] == 0) name = item->pszGetName();
      for (int c = 0; c < m_pResult->nGetColumnCount(); ++c) {
        CAny column;
        const char16_t* text = nullptr;
        if (m_pResult->bGetColumnName(column, c, nullptr) && column.nGetPCXSTR(&text) < 100 &&
            text != nullptr && CTString(text).bEstEgalI(name)) {
          m_anItemColumns[static_cast<size_t>(i)] = c;
          break;
        }
      }
    }
    m_bItemColumnsFound = true;
  }
  CNARowBuffer* row = logical->pclGetCurrentRow();
  for (int i = 0; i < items && static_cast<size_t>(i) < m_anItemColumns.size(); ++i) {
    int column = m_anItemColumns[static_cast<size_t>(i)];
    CNAItem* item = logical->pclGetItem(i);
    if (column < 0 || item == nullptr) continue;
    CNAValueConverter* converter = item->pclGetConverter();
    if (converter == nullptr) continue;
    CNAError failed;
    if (!m_pResult->bGetColumnValue(converter, column, 0, &failed)) {
      // A value the item's type cannot hold (a TIME past a day or below
      // zero, a DECIMAL past 64 bits held as an integer) leaves that item
      // alone without a value: the walk goes on, and the column still
      // reads as the server's text.
      if (failed.nGetErrorIdentifier() != kNAMsgValueConversion) {
        if (error != nullptr) *error = failed;
        return false;
      }
      converter->SetNullFlag(true);
      if (row != nullptr && item->nGetRowColumn() >= 0) row->SetPresent(item->nGetRowColumn(), false, -1);
      continue;
    }
    if (row != nullptr && item->nGetRowColumn() >= 0) {
      row->SetPresent(item->nGetRowColumn(), !converter->bIsNull(), -1);
    }
  }
  return true;
}

bool CNATableAccess::bCacheReads() {
  if (!bIsCacheEnabled() || m_pCache == nullptr || pclGetFileDescription() == nullptr) {
    return false;
  }
  if (m_pTemporaryIndex != nullptr) return true;
  // Cache row n is row n of the order: only a result that holds the whole
  // order from its first row fills it.
  return m_pResult != nullptr && m_nFetchLimit <= 0 && m_nResultOffset == 0 && m_bBeginsAtStart;
}

void CNATableAccess::MarkCacheFullIfDone() {
  if (m_pCache == nullptr || m_pResult == nullptr || !bIsWholeOrder()) return;
  if (m_pCache->nGetCount() >= m_pResult->nGetRowCount()) {
    m_nCacheState |= 8;
    m_pCache->SetComplete();
  }
}

bool CNATableAccess::bCacheNextRow(bool* got, CNAError* error) {
  *got = false;
  const int64_t row = m_pCache->nGetCount();
  if (m_pResult == nullptr || row >= m_pResult->nGetRowCount()) {
    MarkCacheFullIfDone();
    return true;
  }
  if (m_pResult->nGetCurrentRow() + 1 != row &&
      !m_pResult->bSeekRow(static_cast<int32_t>(row), error)) {
    return false;
  }
  if (!m_pResult->bFetchNext(0, error)) return false;
  if (!m_pResult->bHasRow()) return true;
  if (!bLoadResultRow(error)) return false;
  CNARecordImage* image = m_pLogical->pclGetCurrentImage();
  if (image == nullptr || m_pCache->nAppend(image, error) < 0) {
    if (error != nullptr && !error->bHasError()) error->SetOutOfMemory(4, 35);
    return false;
  }
  // A row the session marked deleted stays out of the walk.
  if (static_cast<size_t>(row) < m_anRowMap.size() && m_anRowMap[row] == kRowDeleted) {
    m_pCache->SetEntryState(static_cast<int>(row), kNARecordInvalid);
  }
  MarkCacheFullIfDone();
  *got = true;
  return true;
}

bool CNATableAccess::bReadThroughCache(int32_t direction, int64_t step, bool* in_range,
                                       CNAError* error) {
  *in_range = false;
  if (step == 0) direction = kNAReadStay;
  // While the session fetches, first and last go on from where the cache
  // stands.
  if (m_bFetching) {
    if (direction == kNAReadFirst) direction = kNAReadNext;
    if (direction == kNAReadLast) direction = kNAReadPrevious;
    m_nCacheReads = m_pCache->nGetCount();
  }
  if (m_pTemporaryIndex != nullptr) {
    auto* index = static_cast<CNATemporaryIndex*>(m_pTemporaryIndex);
    int entry = -1;
    if (direction == kNAReadStay) {
      entry = index->nGetCurrentRecord();
    } else {
      int count = step > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(step);
      if (!index->bPosition(IndexKind(direction), count, &entry, error)) return false;
    }
    if (entry < 0) return true;
    if (!bLoadCachedRow(entry, error)) return false;
    *in_range = true;
    LoadRow(direction);
    return true;
  }
  if (direction == kNAReadStay) {
    *in_range = m_bPositionValid && m_nCurrentRow >= 0;
    return true;
  }
  if (direction == kNAReadLast) {
    for (bool got = true; got && !bIsCacheFull();) {
      if (!bCacheNextRow(&got, error)) return false;
    }
  }
  static constexpr int kCacheKind[] = {0, 1, 2, 3};
  int64_t from = m_bPositionValid ? m_nCurrentRow : -1;
  int64_t target = m_pCache->nMoveBy(from, kCacheKind[direction], step);
  // Rows beyond the cached ones come from the open result, in order.
  while (target >= m_pCache->nGetCount() && !bIsCacheFull()) {
    bool got = false;
    if (!bCacheNextRow(&got, error)) return false;
    if (!got) break;
    if (m_pCache->nGetInvalidCount() > 0) target = m_pCache->nMoveBy(from, kCacheKind[direction], step);
  }
  if (target < 0 || target >= m_pCache->nGetCount() || m_pCache->bIsInvalid(static_cast<int>(target))) {
    // Out of range: the record stays the one of the position.
    if (m_bPositionValid && m_nCurrentRow >= 0 && m_nCurrentRow < m_pCache->nGetCount()) {
      CNAError quiet;
      bLoadCachedRow(m_nCurrentRow, &quiet);
    }
    return true;
  }
  if (!bLoadCachedRow(target, error)) return false;
  *in_range = true;
  LoadRow(direction);
  return true;
}

bool CNATableAccess::bLoadCachedRow(int64_t n, CNAError* error) {
  CNAFileDescription* logical = pclGetFileDescription();
  if (m_pCache == nullptr || logical == nullptr || n < 0 || n >= m_pCache->nGetCount()) {
    return false;
  }
  CNARecordImage* image = logical->pclGetCurrentImage();
  if (image == nullptr || !m_pCache->bReadRecord(image, static_cast<int>(n), error) ||
      !logical->bRebindItems(error)) {
    return false;
  }
  m_nCurrentRow = n;
  m_bPositionValid = true;
  return true;
}
