#include "driver/sql/index_tree.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>
#include <new>

#include "driver/core/support/sortable_key.h"
#include "driver/core/value_bridge.h"
#include "driver/core/error_status.h"
#include "support/any.h"

namespace {

// The length that ends the image of a bytes key: 4 bytes, most
// significant first.
constexpr size_t kLengthSize = 4;

// Out of memory, recorded with its site.
void OutOfMemory(CNAError* error, uint32_t minor) {
  if (error != nullptr) error->SetOutOfMemory(17, minor);
}

}  // namespace

void CNAIndexTree::EncodeKey(const CAny& value, uint8_t* out) {
  // Byte 0 is the null mark: 0 for a null value, whose image is all zeros
  // and sorts before every value, 1 before the image of any other value.
  uint8_t* image = out + 1;
  const size_t image_size = m_nKeySize - 1;
  // No bytes are a value, not a null one.
  const bool bytes_value = m_bWithLength && value.nGetCode() == qg::kAnyBIN;
  if (value.bEstNull() || (value.bEstVide() && !bytes_value)) {
    std::memset(out, 0, m_nKeySize);
    return;
  }
  out[0] = 1;
  if (m_bWithLength) {
    // The image of the bytes, then their length: the image alone pads a
    // value as if zero bytes followed it, which would make X'41' and
    // X'4100' equal.
    const size_t room = image_size - kLengthSize;
    std::memset(image, 0, image_size);
    const ptrdiff_t written = nAnyToKeyBuffer(value, image, room, m_nType, m_nDigits, m_nScale);
    if (written < 0) {
      std::memset(out, 0, m_nKeySize);
      return;
    }
    const uint64_t length = static_cast<uint64_t>(written) > 0xFFFFFFFFu
                                ? 0xFFFFFFFFu
                                : static_cast<uint64_t>(written);
    uint8_t* tail = image + room;
    for (size_t i = 0; i < kLengthSize; ++i) {
      tail[i] = static_cast<uint8_t>(length >> (8 * (kLengthSize - 1 - i)));
    }
    return;
  }
  // A fixed-width number already of the key's type is encoded from its own
  // bytes, without the copy and conversion of the general path.
  if (m_nFastClass != 0 && value.nGetCode() == m_nType) {
    const void* bytes = nullptr;
    int n = 0;
    const CAny_Intern* holder = value.pclHolder();
    if (holder->vnGetTexte(&bytes) == qg::kAnyOk &&
        holder->vnGetTailleSansFin(&n) == qg::kAnyOk && n > 0 &&
        nEncodeSortableKey(image, image_size, bytes, static_cast<size_t>(n), m_nFastClass,
                           m_nDigits, m_nScale) == image_size) {
      return;
    }
  }
  std::memset(image, 0, image_size);
  if (nAnyToKeyBuffer(value, image, image_size, m_nType, m_nDigits, m_nScale) < 0) {
    std::memset(out, 0, m_nKeySize);
  }
}

bool CNAIndexTree::bMakeKey(int entry, const CAny* value, uint8_t* out) {
  if (value != nullptr) {
    EncodeKey(*value, out);
    return true;
  }
  CAny cached;
  if (!m_pclSource->bReadEntryValue(entry, &cached)) return false;
  EncodeKey(cached, out);
  return true;
}

bool CNAIndexTree::bBuild(CNAError* error) {
  m_bBuilt = false;
  m_bCurrentRemoved = false;
  size_t length = 0;
  m_pclSource->GetKeyType(&m_nType, &length, &m_nDigits, &m_nScale);
  // The null mark, then the sortable image of the value.
  int storage_class = nHostTypeToStorageClass(nHostTypeToInternalType(m_nType));
  // Bytes: two hexadecimal digits for each byte the column holds, then
  // their length.
  m_bWithLength = storage_class == 17;
  const size_t image = m_bWithLength ? 2 * length : nSortableKeySize(m_nType, length);
  m_nKeySize = std::max<size_t>(image, 1) + 1 + (m_bWithLength ? kLengthSize : 0);
  switch (storage_class) {
    case 3: case 4: case 5: case 6: case 7: case 9: case 10: case 11: case 14: case 15:
    case 16:
      m_nFastClass = storage_class;
      break;
    default:
      m_nFastClass = 0;
      break;
  }
  try {
    m_abyKey.assign(m_nKeySize, 0);
  } catch (const std::bad_alloc&) {
    OutOfMemory(error, 11);
    return false;
  }
  if (!m_clTree.bInit(kOrder, static_cast<uint32_t>(m_nKeySize), sizeof(int32_t))) {
    OutOfMemory(error, 12);
    return false;
  }
  m_bBuilt = true;
  // Every (key image, entry) pair is made first, sorted, then loaded into
  // the tree in one pass.
  int count = m_pclSource->nGetEntryCount();
  const size_t stride = m_nKeySize + sizeof(int32_t);
  try {
    if (stride <= 16) return bBuildPacked(count, stride, error);
    std::vector<uint8_t> pairs;
    pairs.reserve(static_cast<size_t>(count > 0 ? count : 0) * stride);
    CAny value;
    for (int entry = 0; entry < count; ++entry) {
      if (m_pclSource->nGetEntryState(entry) == kNAEntryRemoved) continue;
      if (!m_pclSource->bReadEntryValue(entry, &value)) return false;
      size_t at = pairs.size();
      pairs.resize(at + stride);
      EncodeKey(value, pairs.data() + at);
      int32_t data = entry;
      std::memcpy(pairs.data() + at + m_nKeySize, &data, sizeof(data));
    }
    size_t n = pairs.size() / stride;
    // Sorted on the first 8 bytes as a number, then runs of equal prefixes
    // on every byte.
    std::vector<std::pair<uint64_t, uint32_t>> order(n);
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* p = pairs.data() + i * stride;
      uint64_t prefix = 0;
      for (size_t b = 0; b < 8; ++b) prefix = prefix << 8 | (b < stride ? p[b] : 0);
      order[i] = {prefix, static_cast<uint32_t>(i)};
    }
    std::sort(order.begin(), order.end());
    if (stride > 8) {
      auto whole = [&](const std::pair<uint64_t, uint32_t>& a,
                       const std::pair<uint64_t, uint32_t>& b) {
        return std::memcmp(pairs.data() + size_t{a.second} * stride,
                           pairs.data() + size_t{b.second} * stride, stride) < 0;
      };
      for (size_t i = 0; i < n;) {
        size_t j = i + 1;
        while (j < n && order[j].first == order[i].first) ++j;
        if (j - i > 1) std::sort(order.begin() + i, order.begin() + j, whole);
        i = j;
      }
    }
    struct Sorted {
      const uint8_t* pairs;
      size_t stride;
      const std::pair<uint64_t, uint32_t>* order;
    } sorted{pairs.data(), stride, order.data()};
    auto at = [](const void* context, size_t i) {
      const auto* s = static_cast<const Sorted*>(context);
      return s->pairs + size_t{s->order[i].second} * s->stride;
    };
    if (!m_clTree.bLoadSorted(nullptr, n, at, &sorted)) {
      OutOfMemory(error, 13);
      m_clTree.bInit(kOrder, static_cast<uint32_t>(m_nKeySize), sizeof(int32_t));
      return false;
    }
  } catch (const std::bad_alloc&) {
    OutOfMemory(error, 14);
    return false;
  }
  return true;
}

namespace {

// A (key image, entry) pair of at most 16 bytes as two big-endian numbers:
// their order is the byte order of the pair.
struct PackedPair {
  uint64_t high;
  uint64_t low;
  bool operator<(const PackedPair& other) const {
    return high != other.high ? high < other.high : low < other.low;
  }
};

uint64_t ReadBigEndian(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
  return v;
}

void WriteBigEndian(uint64_t v, uint8_t* p) {
  for (int i = 7; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}

// Byte counts of packed pairs: counts[d][b] is the number of pairs whose
// byte d (0 the lowest of low, 15 the highest of high) is b.
using ByteCounts = std::array<std::array<size_t, 256>, 16>;

void CountBytes(const PackedPair& p, ByteCounts& counts) {
  for (int d = 0; d < 8; ++d) {
    ++counts[d][(p.low >> (8 * d)) & 0xFF];
    ++counts[8 + d][(p.high >> (8 * d)) & 0xFF];
  }
}

// Sorts by (high, low), one byte a pass from the least significant; bytes
// equal in every pair take no pass. Stable passes over `spare`, a buffer
// of the same size. `counts` holds the pairs' byte counts.
void RadixSort(std::vector<PackedPair>& pairs, std::vector<PackedPair>& spare,
               ByteCounts& counts) {
  const size_t n = pairs.size();
  if (n < 2) return;
  spare.resize(n);
  PackedPair* from = pairs.data();
  PackedPair* to = spare.data();
  for (int d = 0; d < 16; ++d) {
    std::array<size_t, 256>& c = counts[d];
    const uint64_t first_byte = d < 8 ? (from[0].low >> (8 * d)) & 0xFF
                                      : (from[0].high >> (8 * (d - 8))) & 0xFF;
    if (c[first_byte] == n) continue;  // the same byte everywhere
    size_t at = 0;
    for (size_t& k : c) {
      const size_t here = k;
      k = at;
      at += here;
    }
    for (size_t i = 0; i < n; ++i) {
      const PackedPair& p = from[i];
      const uint64_t b = d < 8 ? (p.low >> (8 * d)) & 0xFF : (p.high >> (8 * (d - 8))) & 0xFF;
      to[c[b]++] = p;
    }
    std::swap(from, to);
  }
  if (from != pairs.data()) pairs.swap(spare);
}

}  // namespace

bool CNAIndexTree::bBuildPacked(int count, size_t stride, CNAError* error) {
  std::vector<PackedPair> packed;
  packed.reserve(static_cast<size_t>(count > 0 ? count : 0));
  auto counts = std::make_unique<ByteCounts>();
  for (auto& c : *counts) c.fill(0);
  CAny value;
  uint8_t pair[16];
  for (int entry = 0; entry < count; ++entry) {
    if (m_pclSource->nGetEntryState(entry) == kNAEntryRemoved) continue;
    if (!m_pclSource->bReadEntryValue(entry, &value)) return false;
    std::memset(pair, 0, sizeof(pair));
    EncodeKey(value, pair);
    int32_t data = entry;
    std::memcpy(pair + m_nKeySize, &data, sizeof(data));
    packed.push_back({ReadBigEndian(pair), ReadBigEndian(pair + 8)});
    CountBytes(packed.back(), *counts);
  }
  {
    std::vector<PackedPair> spare;
    RadixSort(packed, spare, *counts);
  }
  const size_t n = packed.size();
  // The pairs are written over the sorted numbers, in order: pair i ends
  // at or before number i + 1 starts, and number i is read first.
  auto* pairs = reinterpret_cast<uint8_t*>(packed.data());
  for (size_t i = 0; i < n; ++i) {
    WriteBigEndian(packed[i].high, pair);
    WriteBigEndian(packed[i].low, pair + 8);
    std::memcpy(pairs + i * stride, pair, stride);
  }
  if (!m_clTree.bLoadSorted(pairs, n)) {
    OutOfMemory(error, 13);
    m_clTree.bInit(kOrder, static_cast<uint32_t>(m_nKeySize), sizeof(int32_t));
    return false;
  }
  return true;
}

bool CNAIndexTree::bAddRecord(int entry, const CAny* key, CNAError* error) {
  if (!m_bBuilt || !bMakeKey(entry, key, m_abyKey.data())) return false;
  int32_t data = entry;
  int r = m_clTree.nInsert(m_abyKey.data(), &data);
  if (r == CNAKeyTree::kNoMemory) OutOfMemory(error, 15);
  return r == CNAKeyTree::kInserted;
}

bool CNAIndexTree::bRemoveRecord(int entry, const CAny* key) {
  if (!m_bBuilt) return false;
  int32_t data = entry;
  if (bMakeKey(entry, key, m_abyKey.data()) && m_clTree.bRemove(m_abyKey.data(), &data)) {
    return true;
  }
  // The key given is not the one the entry was indexed under: find the
  // entry by its number, keeping the position.
  bool on = m_clTree.bOnItem();
  std::vector<uint8_t> saved_key;
  int32_t saved_data = 0;
  if (on) {
    saved_key.assign(m_clTree.pCurrentKey(), m_clTree.pCurrentKey() + m_nKeySize);
    std::memcpy(&saved_data, m_clTree.pCurrentData(), sizeof(saved_data));
  }
  bool removed = false;
  if (m_clTree.bFirst()) {
    do {
      if (std::memcmp(m_clTree.pCurrentData(), &data, sizeof(data)) == 0) {
        std::memcpy(m_abyKey.data(), m_clTree.pCurrentKey(), m_nKeySize);
        removed = m_clTree.bRemove(m_abyKey.data(), &data);
        break;
      }
    } while (m_clTree.nMove(1) == 1);
  }
  if (on) m_clTree.bSeekPair(saved_key.data(), &saved_data);
  return removed;
}

int CNAIndexTree::nEntryHere() {
  const uint8_t* data = m_clTree.pCurrentData();
  if (data == nullptr) return -1;
  int32_t entry;
  std::memcpy(&entry, data, sizeof(entry));
  return entry;
}

bool CNAIndexTree::bSeekRangeBound(bool last) {
  CAny bound;
  if (!m_pclReader->bGetRangeBound(&bound)) return false;
  EncodeKey(bound, m_abyKey.data());
  bool found = false;
  bool on = m_clTree.bSeek(m_abyKey.data(), &found);
  if (!last) return on;
  // The last entry of the bound's key, else the last one below it.
  if (found) return m_clTree.nMove(m_clTree.nCurrentKeyItems() - 1) >= 0;
  if (!on) return m_clTree.bLast();
  return m_clTree.nMove(-1) == 1;
}

bool CNAIndexTree::bPosition(int kind, int count, int* entry, int* duplicates,
                             CNAError* /*error*/) {
  *entry = -1;
  if (duplicates != nullptr) *duplicates = 0;
  if (!m_bBuilt || m_clTree.nGetCount() == 0) return true;
  int64_t n = count;
  bool moved = true;
  switch (kind) {
    case kNAIndexFirst:
    case kNAIndexLast: {
      bool last = kind == kNAIndexLast;
      bool on = bRangeActive() ? bSeekRangeBound(last) : (last ? m_clTree.bLast()
                                                               : m_clTree.bFirst());
      if (!on) return true;
      if (n > 1) moved = m_clTree.nMove(last ? -(n - 1) : n - 1) == n - 1;
      break;
    }
    case kNAIndexForward:
      if (n != 0) moved = m_clTree.nMove(n) == (n < 0 ? -n : n);
      break;
    case kNAIndexBackward:
      if (n != 0) moved = m_clTree.nMove(-n) == (n < 0 ? -n : n);
      break;
    default:
      break;
  }
  if (!moved) return true;
  *entry = nEntryHere();
  if (duplicates != nullptr && *entry >= 0 && m_clTree.nCurrentKeyItems() > 1) {
    // The entries of this key from here on that hold the current record.
    std::vector<uint8_t> key(m_clTree.pCurrentKey(), m_clTree.pCurrentKey() + m_nKeySize);
    int64_t steps = 0;
    int same = 0;
    for (;;) {
      if (m_pclSource->bSameRecord(nEntryHere())) ++same;
      if (m_clTree.nMove(1) != 1) break;
      ++steps;
      if (std::memcmp(m_clTree.pCurrentKey(), key.data(), m_nKeySize) != 0) {
        m_clTree.nMove(-1);
        --steps;
        break;
      }
    }
    if (steps > 0) m_clTree.nMove(-steps);
    *duplicates = same;
  }
  return true;
}

int CNAIndexTree::nGetCurrentRecord() { return m_bBuilt ? nEntryHere() : -1; }

int CNAIndexTree::nGetCount() { return static_cast<int>(m_clTree.nGetCount()); }

int CNAIndexTree::nGetPosition() {
  if (!m_bBuilt || !m_clTree.bOnItem()) return -1;
  return static_cast<int>(m_clTree.nGetOrdinal());
}

bool CNAIndexTree::bSeek(int entry, int count, bool* found, CNAError* /*error*/) {
  *found = false;
  if (!m_bBuilt) return false;
  CAny current;
  if (!m_pclSource->bReadCurrentValue(&current)) return false;
  EncodeKey(current, m_abyKey.data());
  if (entry >= 0) {
    int32_t data = entry;
    *found = m_clTree.bSeekPair(m_abyKey.data(), &data);
    return *found;
  }
  m_clTree.bSeek(m_abyKey.data(), found);
  if (!*found) return true;
  uint32_t items = m_clTree.nCurrentKeyItems();
  if (items <= 1) return true;
  int64_t first = m_clTree.nGetOrdinal();
  uint32_t i = 0;
  while (!m_pclSource->bSameRecord(nEntryHere())) {
    if (++i == items || m_clTree.nMove(1) != 1) {
      m_clTree.bSeekOrdinal(first);  // no entry holds the current record
      return true;
    }
  }
  // On while the entries of the key hold the current record.
  for (int steps = 0; steps < count && ++i < items; ++steps) {
    if (m_clTree.nMove(1) != 1) break;
    if (!m_pclSource->bSameRecord(nEntryHere())) {
      m_clTree.nMove(-1);
      break;
    }
  }
  return true;
}
