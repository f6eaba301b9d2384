#include "driver/sql/index_array.h"

#include <cstring>
#include <new>

#include "driver/core/error_status.h"

bool CNAIndexArray::bIsNull(const CAny& value) { return value.bEstNull() || value.bEstVide(); }

void CNAIndexArray::ValueBytes(const CAny& value, const uint8_t** bytes, size_t* n) {
  *bytes = nullptr;
  *n = 0;
  if (bIsNull(value)) return;
  const void* address = nullptr;
  int length = 0;
  const CAny_Intern* holder = value.pclHolder();
  if (holder->vnGetTexte(&address) != qg::kAnyOk ||
      holder->vnGetTailleSansFin(&length) != qg::kAnyOk || address == nullptr || length <= 0) {
    return;
  }
  *bytes = static_cast<const uint8_t*>(address);
  *n = static_cast<size_t>(length);
}

bool CNAIndexArray::bReadKey(int entry, std::vector<uint8_t>* out, bool* null) {
  if (!m_pclSource->bReadEntryValue(entry, &m_clScratch)) return false;
  *null = bIsNull(m_clScratch);
  const uint8_t* bytes;
  size_t n;
  ValueBytes(m_clScratch, &bytes, &n);
  out->assign(bytes, bytes + n);
  return true;
}

int CNAIndexArray::Compare(size_t index, const std::vector<uint8_t>& key) {
  const uint8_t* bytes = nullptr;
  size_t n = 0;
  if (m_pclSource->bReadEntryValue(m_anEntries[index], &m_clScratch)) {
    ValueBytes(m_clScratch, &bytes, &n);
  }
  size_t shorter = n < key.size() ? n : key.size();
  int c = shorter == 0 ? 0 : std::memcmp(bytes, key.data(), shorter);
  if (c != 0) return c;
  return n < key.size() ? -1 : (n > key.size() ? 1 : 0);
}

size_t CNAIndexArray::Bound(const std::vector<uint8_t>& key, bool upper) {
  size_t lo = static_cast<size_t>(m_nEmptyEnd + 1);
  size_t hi = m_anEntries.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    int c = Compare(mid, key);
    if (c < 0 || (upper && c == 0)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

int CNAIndexArray::Search(const std::vector<uint8_t>& key, bool null, bool last, bool backward,
                          bool* found) {
  size_t first;
  size_t after;
  if (null) {
    first = 0;
    after = static_cast<size_t>(m_nNullEnd + 1);
  } else if (key.empty()) {
    first = static_cast<size_t>(m_nNullEnd + 1);
    after = static_cast<size_t>(m_nEmptyEnd + 1);
  } else {
    first = Bound(key, false);
    after = Bound(key, true);
  }
  *found = first < after;
  if (*found) return static_cast<int>(last ? after - 1 : first);
  return static_cast<int>(first) - (backward ? 1 : 0);
}

bool CNAIndexArray::bBuild(CNAError* error) {
  m_anEntries.clear();
  m_nCurrent = -1;
  m_nEmptyEnd = -1;
  m_nNullEnd = -1;
  m_bCurrentRemoved = false;
  int count = m_pclSource->nGetEntryCount();
  for (int entry = 0; entry < count; ++entry) {
    if (m_pclSource->nGetEntryState(entry) == kNAEntryRemoved) continue;
    if (!bAddRecord(entry, nullptr, error)) return false;
  }
  return true;
}

bool CNAIndexArray::bAddRecord(int entry, const CAny* /*key*/, CNAError* error) {
  try {
    bool null = false;
    if (!bReadKey(entry, &m_abyKey, &null)) return false;
    size_t at;
    if (null) {
      at = static_cast<size_t>(m_nNullEnd + 1);
    } else if (m_abyKey.empty()) {
      at = static_cast<size_t>(m_nEmptyEnd + 1);
    } else {
      at = Bound(m_abyKey, true);  // after the last equal key
    }
    m_anEntries.insert(m_anEntries.begin() + static_cast<ptrdiff_t>(at), entry);
    if (null) ++m_nNullEnd;
    if (m_abyKey.empty()) ++m_nEmptyEnd;
    if (m_nCurrent >= static_cast<int>(at)) ++m_nCurrent;
  } catch (const std::bad_alloc&) {
    if (error != nullptr) error->SetOutOfMemory(17, 1);
    return false;
  }
  return true;
}

bool CNAIndexArray::bRemoveRecord(int entry, const CAny* /*key*/) {
  for (size_t i = 0; i < m_anEntries.size(); ++i) {
    if (m_anEntries[i] != entry) continue;
    m_anEntries.erase(m_anEntries.begin() + static_cast<ptrdiff_t>(i));
    int at = static_cast<int>(i);
    // The null and empty-key runs end one earlier when they lose a member.
    if (at <= m_nNullEnd) --m_nNullEnd;
    if (at <= m_nEmptyEnd) --m_nEmptyEnd;
    if (m_nCurrent > at) {
      --m_nCurrent;
    } else if (m_nCurrent == at) {
      m_bCurrentRemoved = true;
    }
    return true;
  }
  return false;
}

int CNAIndexArray::nGetCurrentRecord() {
  if (m_bCurrentRemoved || m_nCurrent < 0 ||
      m_nCurrent >= static_cast<int>(m_anEntries.size())) {
    return -1;
  }
  return m_anEntries[static_cast<size_t>(m_nCurrent)];
}

bool CNAIndexArray::bPosition(int kind, int count, int* entry, int* duplicates,
                              CNAError* /*error*/) {
  *entry = -1;
  if (duplicates != nullptr) *duplicates = 0;
  int64_t length = static_cast<int64_t>(m_anEntries.size());
  int64_t n = count;
  int64_t target;
  switch (kind) {
    case kNAIndexFirst:
    case kNAIndexLast: {
      bool last = kind == kNAIndexLast;
      int64_t from = last ? length - 1 : 0;
      if (bRangeActive()) {
        CAny bound;
        if (!m_pclReader->bGetRangeBound(&bound)) return true;
        const uint8_t* bytes;
        size_t size;
        ValueBytes(bound, &bytes, &size);
        std::vector<uint8_t> key(bytes, bytes + size);
        bool found;
        // First: the first equal entry, else the insertion point. Last: the
        // last equal entry, else the last smaller one.
        from = Search(key, bIsNull(bound), last, last, &found);
      }
      target = last ? from + 1 - n : from + n - 1;
      break;
    }
    case kNAIndexForward:
      // From a removed entry the entry that took its place is the first step.
      target = m_nCurrent + n - (m_bCurrentRemoved && n > 0 ? 1 : 0);
      break;
    case kNAIndexBackward:
      target = m_nCurrent - n;
      break;
    default:
      target = m_bCurrentRemoved ? -1 : m_nCurrent;
      break;
  }
  if (target < 0 || target >= length) return true;
  m_nCurrent = static_cast<int>(target);
  m_bCurrentRemoved = false;
  *entry = m_anEntries[static_cast<size_t>(target)];
  return true;
}

bool CNAIndexArray::bSeek(int entry, int /*count*/, bool* found, CNAError* error) {
  *found = false;
  if (entry == -1) {
    if (!m_pclSource->bReadCurrentValue(&m_clScratch)) return false;
    const uint8_t* bytes;
    size_t n;
    ValueBytes(m_clScratch, &bytes, &n);
    try {
      m_abyKey.assign(bytes, bytes + n);
    } catch (const std::bad_alloc&) {
      if (error != nullptr) error->SetOutOfMemory(17, 2);
      return false;
    }
    m_nCurrent = Search(m_abyKey, bIsNull(m_clScratch), true, false, found);
    m_bCurrentRemoved = false;
    return true;
  }
  if (entry < 0 || entry >= static_cast<int>(m_anEntries.size())) return false;
  m_nCurrent = entry;
  m_bCurrentRemoved = false;
  return true;
}
