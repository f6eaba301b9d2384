#include "driver/sql/key_tree.h"

#include <cstring>
#include <new>

namespace {

// A duplicate set's handle carries its class in its top bits.
constexpr uint32_t kClassShift = 29;
constexpr uint32_t kSetHandleMask = (uint32_t{1} << kClassShift) - 1;
constexpr uint32_t kNestedClass = 6;
// A class shrinks when its count before a removal is at or below this.
constexpr uint32_t kShrinkAtOrBelow[6] = {0, 1, 2, 6, 9, 18};

constexpr uint32_t kKindInner = 1;
constexpr uint32_t kKindLeaf = 2;
constexpr uint32_t kKindRoot = 3;

// Leaf header offsets.
constexpr size_t kLPrev = 4, kLNext = 8, kLKeys = 12, kLItems = 16;
// Internal node header offsets.
constexpr size_t kIChild0 = 4, kIKeys = 8, kIItems = 12;

uint32_t Capacity(uint32_t cls) { return uint32_t{2} << cls; }

uint32_t PerPage(uint32_t size) {
  uint32_t n = CNAKeyTree::kPageSize / (size + 4);
  return n < 2 ? 2 : n;
}

int ByteCompare(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n); }

}  // namespace

uint32_t CNAKeyTree::Get(const uint8_t* p, size_t off) {
  uint32_t v;
  std::memcpy(&v, p + off, 4);
  return v;
}

void CNAKeyTree::Put(uint8_t* p, size_t off, uint32_t v) { std::memcpy(p + off, &v, 4); }

CNAKeyTree::~CNAKeyTree() { Clear(); }

bool CNAKeyTree::bInit(uint32_t order, uint32_t key_size, uint32_t data_size,
                       KeyCompare compare) {
  Clear();
  m_nOrder = order == 0 ? 32 : (order < 2 ? 2 : order);
  m_nMinFill = m_nOrder / 2;
  m_nKeySize = key_size;
  m_nDataSize = data_size == 0 ? 0 : (data_size < 4 ? 4 : data_size);
  m_pfnCompare = compare != nullptr ? compare : &ByteCompare;
  m_nInnerSize = m_nOrder * (m_nKeySize + 4) + 16;
  m_nLeafDataOffset = 20 + m_nOrder * m_nKeySize;
  if (m_nDataSize == 0) {
    m_nLeafSize = m_nLeafBitsOffset = m_nLeafDataOffset;
  } else {
    m_nLeafBitsOffset = m_nLeafDataOffset + m_nOrder * m_nDataSize;
    m_nLeafSize = m_nLeafBitsOffset + ((m_nOrder - 1) / 32 + 1) * 4;
  }
  m_clNodes.Init(PerPage(m_nInnerSize), m_nInnerSize);
  m_clLeaves.Init(PerPage(m_nLeafSize), m_nLeafSize);
  if (m_nDataSize != 0) {
    for (uint32_t c = 0; c < kNestedClass; ++c) {
      uint32_t size = Capacity(c) * m_nDataSize + 4;
      m_aclSets[c].Init(PerPage(size), size, nullptr, nullptr, kClassShift);
    }
    uint32_t size = 4 + sizeof(CNAKeyTree*);
    m_aclSets[kNestedClass].Init(PerPage(size), size, nullptr, nullptr, kClassShift);
  }
  try {
    m_abySavedKey.assign(m_nKeySize, 0);
    m_abySavedData.assign(m_nDataSize, 0);
    m_abyScratch.assign((m_nOrder + 3) * size_t{m_nKeySize} + (m_nOrder + 2) * size_t{4}, 0);
    m_abySetScratch.assign((Capacity(5) + 1) * size_t{m_nDataSize}, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void CNAKeyTree::Clear() {
  ReleaseNested();
  m_clNodes.Clear();
  m_clLeaves.Clear();
  for (CNABlockPool& pool : m_aclSets) pool.Clear();
  m_nRoot = 0;
  m_nHeight = 0;
  m_nCount = 0;
  m_stPos = Position();
  m_bStale = m_bBetween = m_bSavedEnd = false;
}

void CNAKeyTree::ReleaseNested() {
  if (m_nNested == 0 || m_nRoot == 0) {
    m_nNested = 0;
    return;
  }
  uint32_t h = m_nRoot;
  for (uint32_t level = 0; level < m_nHeight; ++level) h = Get(Inner(h), kIChild0);
  for (; h != 0; h = Get(Leaf(h), kLNext)) {
    uint8_t* l = Leaf(h);
    for (uint32_t i = 0; i < Get(l, kLKeys); ++i) {
      if (!IsSet(l, i)) continue;
      uint32_t set = Get(LeafData(l, i), 0);
      if (SetClass(set) == kNestedClass) delete Nested(set);
    }
  }
  m_nNested = 0;
}

// --- node fields ------------------------------------------------------------

uint32_t CNAKeyTree::Child(const uint8_t* n, uint32_t i) const {
  if (i == 0) return Get(n, kIChild0);
  return Get(n, 16 + size_t{m_nOrder} * m_nKeySize + (i - 1) * size_t{4});
}

void CNAKeyTree::SetChild(uint8_t* n, uint32_t i, uint32_t h) const {
  if (i == 0) {
    Put(n, kIChild0, h);
  } else {
    Put(n, 16 + size_t{m_nOrder} * m_nKeySize + (i - 1) * size_t{4}, h);
  }
}

uint32_t CNAKeyTree::NodeItems(uint32_t h, bool leaf) const {
  return leaf ? Get(Leaf(h), kLItems) : Get(Inner(h), kIItems);
}

bool CNAKeyTree::IsSet(const uint8_t* l, uint32_t i) const {
  if (m_nDataSize == 0) return false;
  return (Get(l, m_nLeafBitsOffset + (i / 32) * 4) >> (i % 32) & 1) != 0;
}

void CNAKeyTree::SetBit(uint8_t* l, uint32_t i, bool on) const {
  if (m_nDataSize == 0) return;
  size_t off = m_nLeafBitsOffset + (i / 32) * 4;
  uint32_t word = Get(l, off);
  uint32_t bit = uint32_t{1} << (i % 32);
  Put(l, off, on ? word | bit : word & ~bit);
}

uint32_t CNAKeyTree::SlotItems(uint8_t* l, uint32_t i) const {
  if (!IsSet(l, i)) return 1;
  return SetCount(Get(LeafData(l, i), 0));
}

// --- duplicate sets ---------------------------------------------------------

uint8_t* CNAKeyTree::SetBlock(uint32_t set) const {
  return m_aclSets[set >> kClassShift].pBlock(set & kSetHandleMask);
}

uint32_t CNAKeyTree::SetClass(uint32_t set) const { return set >> kClassShift; }

CNAKeyTree* CNAKeyTree::Nested(uint32_t set) const {
  CNAKeyTree* tree;
  std::memcpy(&tree, SetBlock(set) + 4, sizeof(tree));
  return tree;
}

uint32_t CNAKeyTree::SetCount(uint32_t set) const {
  if (SetClass(set) == kNestedClass) return static_cast<uint32_t>(Nested(set)->nGetCount());
  uint16_t n;
  std::memcpy(&n, SetBlock(set), 2);
  return n;
}

uint8_t* CNAKeyTree::SetItem(uint32_t set, uint32_t i) const {
  return SetBlock(set) + 4 + size_t{i} * m_nDataSize;
}

uint32_t CNAKeyTree::NewSet(uint32_t cls) {
  uint32_t h = m_aclSets[cls].nAllocHandle();
  if (h == 0) return 0;
  uint32_t set = cls << kClassShift | h;
  uint16_t header[2] = {static_cast<uint16_t>(cls == kNestedClass ? 0xFFFF : 0),
                        static_cast<uint16_t>(cls)};
  std::memcpy(SetBlock(set), header, 4);
  return set;
}

void CNAKeyTree::FreeSet(uint32_t set) {
  m_aclSets[set >> kClassShift].FreeHandle(set & kSetHandleMask);
}

static void SetCountField(uint8_t* block, uint32_t n) {
  uint16_t v = static_cast<uint16_t>(n);
  std::memcpy(block, &v, 2);
}

uint32_t CNAKeyTree::SetSearch(uint32_t set, const uint8_t* data, bool* found) const {
  int64_t lo = 0;
  int64_t hi = static_cast<int64_t>(SetCount(set)) - 1;
  *found = false;
  while (lo <= hi) {
    int64_t mid = (lo + hi) / 2;
    int c = std::memcmp(SetItem(set, static_cast<uint32_t>(mid)), data, m_nDataSize);
    if (c == 0) {
      *found = true;
      return static_cast<uint32_t>(mid);
    }
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return static_cast<uint32_t>(lo);
}

int CNAKeyTree::AddToSlot(uint8_t* l, uint32_t slot, const uint8_t* data) {
  uint8_t* d = LeafData(l, slot);
  if (!IsSet(l, slot)) {
    int c = std::memcmp(d, data, m_nDataSize);
    if (c == 0) return kExists;
    uint32_t set = NewSet(0);
    if (set == 0) return kNoMemory;
    Touch();
    std::memcpy(SetItem(set, c < 0 ? 0 : 1), d, m_nDataSize);
    std::memcpy(SetItem(set, c < 0 ? 1 : 0), data, m_nDataSize);
    SetCountField(SetBlock(set), 2);
    Put(d, 0, set);
    SetBit(l, slot, true);
    return kInserted;
  }
  uint32_t set = Get(d, 0);
  uint32_t cls = SetClass(set);
  if (cls == kNestedClass) {
    CNAKeyTree* tree = Nested(set);
    Touch();
    return tree->nInsert(data, nullptr);
  }
  bool found;
  uint32_t at = SetSearch(set, data, &found);
  if (found) return kExists;
  uint32_t n = SetCount(set);
  size_t D = m_nDataSize;
  if (n < Capacity(cls)) {
    Touch();
    std::memmove(SetItem(set, at + 1), SetItem(set, at), (n - at) * D);
    std::memcpy(SetItem(set, at), data, D);
    SetCountField(SetBlock(set), n + 1);
    return kInserted;
  }
  if (cls + 1 < kNestedClass) {
    uint32_t bigger = NewSet(cls + 1);
    if (bigger == 0) return kNoMemory;
    Touch();
    std::memcpy(SetItem(bigger, 0), SetItem(set, 0), at * D);
    std::memcpy(SetItem(bigger, at), data, D);
    std::memcpy(SetItem(bigger, at + 1), SetItem(set, at), (n - at) * D);
    SetCountField(SetBlock(bigger), n + 1);
    FreeSet(set);
    Put(d, 0, bigger);
    return kInserted;
  }
  // The 65th item: a nested tree over the data items.
  uint8_t* items = m_abySetScratch.data();
  std::memcpy(items, SetItem(set, 0), at * D);
  std::memcpy(items + at * D, data, D);
  std::memcpy(items + (at + 1) * D, SetItem(set, at), (n - at) * D);
  auto* tree = new (std::nothrow) CNAKeyTree;
  if (tree == nullptr) return kNoMemory;
  uint32_t nested = 0;
  if (!tree->bInit(m_nOrder, m_nDataSize, 0) || !tree->bLoadSorted(items, n + 1) ||
      (nested = NewSet(kNestedClass)) == 0) {
    delete tree;
    return kNoMemory;
  }
  Touch();
  std::memcpy(SetBlock(nested) + 4, &tree, sizeof(tree));
  FreeSet(set);
  Put(d, 0, nested);
  ++m_nNested;
  return kInserted;
}

int CNAKeyTree::RemoveFromSlot(uint8_t* l, uint32_t slot, const uint8_t* data) {
  uint8_t* d = LeafData(l, slot);
  uint32_t set = Get(d, 0);
  uint32_t cls = SetClass(set);
  size_t D = m_nDataSize;
  if (cls == kNestedClass) {
    CNAKeyTree* tree = Nested(set);
    Touch();
    if (!tree->bRemove(data, nullptr)) return 0;
    uint32_t n = static_cast<uint32_t>(tree->nGetCount());
    if (n >= kNestedMinimum) return 1;
    // Back to the highest array class whose range holds the count.
    uint32_t c = kNestedClass - 1;
    while (c > 0 && !(kShrinkAtOrBelow[c] < n && n <= Capacity(c))) --c;
    uint32_t array = NewSet(c);
    if (array == 0) return 1;  // stays a nested tree
    tree->bFirst();
    for (uint32_t i = 0; i < n; ++i, tree->nMove(1)) {
      std::memcpy(SetItem(array, i), tree->pCurrentKey(), D);
    }
    SetCountField(SetBlock(array), n);
    delete tree;
    --m_nNested;
    FreeSet(set);
    Put(d, 0, array);
    return 1;
  }
  bool found;
  uint32_t at = SetSearch(set, data, &found);
  if (!found) return 0;
  Touch();
  uint32_t n = SetCount(set);
  if (n == 1) {
    FreeSet(set);
    SetBit(l, slot, false);
    return 2;
  }
  std::memmove(SetItem(set, at), SetItem(set, at + 1), (n - at - 1) * D);
  SetCountField(SetBlock(set), n - 1);
  if (cls > 0 && n <= kShrinkAtOrBelow[cls]) {
    uint32_t smaller = NewSet(cls - 1);
    if (smaller != 0) {
      std::memcpy(SetItem(smaller, 0), SetItem(set, 0), (n - 1) * D);
      SetCountField(SetBlock(smaller), n - 1);
      FreeSet(set);
      Put(d, 0, smaller);
    }
  }
  return 1;
}

// --- search -----------------------------------------------------------------

uint32_t CNAKeyTree::Search(uint8_t* keys, uint32_t count, const void* key, bool* found) const {
  int64_t lo = 0;
  int64_t hi = static_cast<int64_t>(count) - 1;
  *found = false;
  while (lo <= hi) {
    int64_t mid = (lo + hi) / 2;
    int c = m_pfnCompare(keys + mid * m_nKeySize, key, m_nKeySize);
    if (c == 0) {
      *found = true;
      return static_cast<uint32_t>(mid);
    }
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return static_cast<uint32_t>(lo);
}

uint32_t CNAKeyTree::Descend(const void* key, PathStep* path) {
  uint32_t h = m_nRoot;
  for (uint32_t level = 0; level < m_nHeight; ++level) {
    uint8_t* n = Inner(h);
    bool found;
    uint32_t i = Search(InnerKey(n, 0), Get(n, kIKeys), key, &found);
    uint32_t c = found ? i + 1 : i;
    path[level] = {h, c};
    h = Child(n, c);
  }
  return h;
}

// --- leaves -----------------------------------------------------------------

void CNAKeyTree::OpenSlot(uint8_t* l, uint32_t slot) {
  uint32_t n = Get(l, kLKeys);
  std::memmove(LeafKey(l, slot + 1), LeafKey(l, slot), size_t{n - slot} * m_nKeySize);
  if (m_nDataSize != 0) {
    std::memmove(LeafData(l, slot + 1), LeafData(l, slot), size_t{n - slot} * m_nDataSize);
    for (uint32_t i = n; i > slot; --i) SetBit(l, i, IsSet(l, i - 1));
    SetBit(l, slot, false);
  }
  Put(l, kLKeys, n + 1);
}

void CNAKeyTree::CloseSlot(uint8_t* l, uint32_t slot) {
  uint32_t n = Get(l, kLKeys);
  std::memmove(LeafKey(l, slot), LeafKey(l, slot + 1), size_t{n - slot - 1} * m_nKeySize);
  if (m_nDataSize != 0) {
    std::memmove(LeafData(l, slot), LeafData(l, slot + 1),
                 size_t{n - slot - 1} * m_nDataSize);
    for (uint32_t i = slot; i + 1 < n; ++i) SetBit(l, i, IsSet(l, i + 1));
    SetBit(l, n - 1, false);
  }
  Put(l, kLKeys, n - 1);
}

void CNAKeyTree::WriteSlot(uint8_t* l, uint32_t slot, const void* key, const void* data) {
  std::memcpy(LeafKey(l, slot), key, m_nKeySize);
  if (m_nDataSize != 0) {
    std::memcpy(LeafData(l, slot), data, m_nDataSize);
    SetBit(l, slot, false);
  }
}

void CNAKeyTree::MoveSlot(uint8_t* to, uint32_t to_slot, uint8_t* from, uint32_t from_slot) {
  std::memcpy(LeafKey(to, to_slot), LeafKey(from, from_slot), m_nKeySize);
  if (m_nDataSize != 0) {
    std::memcpy(LeafData(to, to_slot), LeafData(from, from_slot), m_nDataSize);
    SetBit(to, to_slot, IsSet(from, from_slot));
  }
}

void CNAKeyTree::PushUp(int level, PathStep* path, int delta) {
  for (int i = level; i >= 0; --i) {
    uint8_t* n = Inner(path[i].node);
    Put(n, kIItems, Get(n, kIItems) + static_cast<uint32_t>(delta));
  }
}

// --- insert -----------------------------------------------------------------

int CNAKeyTree::nInsert(const void* key, const void* data) {
  if (m_pfnCompare == nullptr) return kNoMemory;  // never initialised
  if (m_nRoot == 0) {
    uint32_t leaf = m_clLeaves.nAllocHandle();
    if (leaf == 0) return kNoMemory;
    uint32_t root = m_clNodes.nAllocHandle();
    if (root == 0) {
      m_clLeaves.FreeHandle(leaf);
      return kNoMemory;
    }
    Touch();
    uint8_t* l = Leaf(leaf);
    std::memset(l, 0, m_nLeafSize);
    Put(l, 0, kKindLeaf);
    OpenSlot(l, 0);
    WriteSlot(l, 0, key, data);
    Put(l, kLItems, 1);
    uint8_t* r = Inner(root);
    std::memset(r, 0, 16);
    Put(r, 0, kKindRoot);
    Put(r, kIChild0, leaf);
    Put(r, kIItems, 1);
    m_nRoot = root;
    m_nHeight = 1;
    m_nCount = 1;
    return kInserted;
  }
  PathStep path[kMaxHeight];
  uint32_t leaf = Descend(key, path);
  uint8_t* l = Leaf(leaf);
  bool found;
  uint32_t slot = Search(LeafKey(l, 0), Get(l, kLKeys), key, &found);
  if (found) {
    if (m_nDataSize == 0) return kExists;
    int r = AddToSlot(l, slot, static_cast<const uint8_t*>(data));
    if (r != kInserted) return r;
    Put(l, kLItems, Get(l, kLItems) + 1);
    PushUp(static_cast<int>(m_nHeight) - 1, path, 1);
    ++m_nCount;
    return kInserted;
  }
  return InsertNewKey(path, leaf, slot, key, data);
}

int CNAKeyTree::InsertNewKey(PathStep* path, uint32_t leaf, uint32_t slot, const void* key,
                             const void* data) {
  const uint32_t m = m_nOrder;
  const int top = static_cast<int>(m_nHeight) - 1;
  uint8_t* l = Leaf(leaf);
  uint32_t nk = Get(l, kLKeys);
  if (nk < m) {
    Touch();
    OpenSlot(l, slot);
    WriteSlot(l, slot, key, data);
    Put(l, kLItems, Get(l, kLItems) + 1);
    PushUp(top, path, 1);
    ++m_nCount;
    return kInserted;
  }
  uint8_t* parent = Inner(path[top].node);
  uint32_t pk = Get(parent, kIKeys);
  uint32_t idx = path[top].child;
  // A full leaf first hands a key to a sibling with room.
  if (idx < pk) {
    uint8_t* r = Leaf(Child(parent, idx + 1));
    if (Get(r, kLKeys) < m) {
      Touch();
      if (slot == nk) {
        OpenSlot(r, 0);
        WriteSlot(r, 0, key, data);
        Put(r, kLItems, Get(r, kLItems) + 1);
      } else {
        uint32_t moved = SlotItems(l, nk - 1);
        OpenSlot(r, 0);
        MoveSlot(r, 0, l, nk - 1);
        CloseSlot(l, nk - 1);
        Put(r, kLItems, Get(r, kLItems) + moved);
        OpenSlot(l, slot);
        WriteSlot(l, slot, key, data);
        Put(l, kLItems, Get(l, kLItems) - moved + 1);
      }
      std::memcpy(InnerKey(parent, idx), LeafKey(r, 0), m_nKeySize);
      PushUp(top, path, 1);
      ++m_nCount;
      return kInserted;
    }
  }
  if (idx > 0) {
    uint8_t* left = Leaf(Child(parent, idx - 1));
    uint32_t lk = Get(left, kLKeys);
    if (lk < m) {
      Touch();
      if (slot == 0) {
        OpenSlot(left, lk);
        WriteSlot(left, lk, key, data);
        Put(left, kLItems, Get(left, kLItems) + 1);
      } else {
        uint32_t moved = SlotItems(l, 0);
        OpenSlot(left, lk);
        MoveSlot(left, lk, l, 0);
        CloseSlot(l, 0);
        Put(left, kLItems, Get(left, kLItems) + moved);
        OpenSlot(l, slot - 1);
        WriteSlot(l, slot - 1, key, data);
        Put(l, kLItems, Get(l, kLItems) - moved + 1);
      }
      std::memcpy(InnerKey(parent, idx - 1), LeafKey(l, 0), m_nKeySize);
      PushUp(top, path, 1);
      ++m_nCount;
      return kInserted;
    }
  }
  // Split. Every node the split reaches is allocated first, so that a
  // refusal changes nothing.
  uint32_t spare[kMaxHeight + 2];
  int spares = 0;
  int full = top;
  while (full >= 0 && Get(Inner(path[full].node), kIKeys) == m) --full;
  int inner_needed = top - full + (full < 0 ? 1 : 0);
  uint32_t right = m_clLeaves.nAllocHandle();
  if (right == 0) return kNoMemory;
  for (int i = 0; i < inner_needed; ++i) {
    uint32_t h = m_clNodes.nAllocHandle();
    if (h == 0) {
      while (spares > 0) m_clNodes.FreeHandle(spare[--spares]);
      m_clLeaves.FreeHandle(right);
      return kNoMemory;
    }
    spare[spares++] = h;
  }
  Touch();
  uint8_t* r = Leaf(right);
  std::memset(r, 0, m_nLeafSize);
  Put(r, 0, kKindLeaf);
  uint32_t next = Get(l, kLNext);
  Put(r, kLPrev, leaf);
  Put(r, kLNext, next);
  if (next != 0) Put(Leaf(next), kLPrev, right);
  Put(l, kLNext, right);
  uint32_t keep = (nk + 1) / 2;
  for (uint32_t i = keep; i < nk; ++i) MoveSlot(r, i - keep, l, i);
  if (m_nDataSize != 0) {
    for (uint32_t i = keep; i < nk; ++i) SetBit(l, i, false);
  }
  Put(r, kLKeys, nk - keep);
  Put(l, kLKeys, keep);
  uint32_t left_items = 0;
  for (uint32_t i = 0; i < keep; ++i) left_items += SlotItems(l, i);
  uint32_t total = Get(l, kLItems);
  Put(l, kLItems, left_items);
  Put(r, kLItems, total - left_items);
  uint8_t* target = slot <= keep ? l : r;
  uint32_t at = slot <= keep ? slot : slot - keep;
  OpenSlot(target, at);
  WriteSlot(target, at, key, data);
  Put(target, kLItems, Get(target, kLItems) + 1);
  PushUp(top, path, 1);
  ++m_nCount;
  InsertInInner(top, path, LeafKey(r, 0), right, spare, &spares);
  return kInserted;
}

void CNAKeyTree::InsertInInner(int level, PathStep* path, const uint8_t* key, uint32_t child,
                               uint32_t* spare, int* spares) {
  const uint32_t m = m_nOrder;
  const size_t K = m_nKeySize;
  uint32_t h = path[level].node;
  uint8_t* n = Inner(h);
  uint32_t nk = Get(n, kIKeys);
  uint32_t pos = path[level].child;  // key at pos, child at pos + 1
  bool leaves_below = level == static_cast<int>(m_nHeight) - 1;
  if (nk < m) {
    std::memmove(InnerKey(n, pos + 1), InnerKey(n, pos), (nk - pos) * K);
    for (uint32_t i = nk + 1; i > pos + 1; --i) SetChild(n, i, Child(n, i - 1));
    std::memcpy(InnerKey(n, pos), key, K);
    SetChild(n, pos + 1, child);
    Put(n, kIKeys, nk + 1);
    return;
  }
  // Split m + 1 keys and m + 2 children; the middle key goes up.
  uint8_t* keys = m_abyScratch.data();
  uint8_t* up = keys + (m + 1) * K + (level % 2) * K;
  uint8_t* kids = keys + (m + 3) * K;
  auto kid = [&](uint32_t i) -> uint8_t* { return kids + size_t{i} * 4; };
  for (uint32_t i = 0, j = 0; i <= m; ++i) {
    if (i == pos) {
      std::memcpy(keys + i * K, key, K);
    } else {
      std::memcpy(keys + i * K, InnerKey(n, j++), K);
    }
  }
  for (uint32_t i = 0, j = 0; i <= m + 1; ++i) {
    Put(kid(i), 0, i == pos + 1 ? child : Child(n, j++));
  }
  uint32_t mid = (m + 1) / 2;
  std::memcpy(up, keys + mid * K, K);
  uint32_t sibling = spare[--*spares];
  uint8_t* s = Inner(sibling);
  std::memset(s, 0, 16);
  Put(s, 0, kKindInner);
  // Left: keys [0, mid), children [0, mid]; right: keys (mid, m], children
  // [mid + 1, m + 1].
  std::memcpy(InnerKey(n, 0), keys, mid * K);
  for (uint32_t i = 0; i <= mid; ++i) SetChild(n, i, Get(kid(i), 0));
  Put(n, kIKeys, mid);
  std::memcpy(InnerKey(s, 0), keys + (mid + 1) * K, (m - mid) * K);
  for (uint32_t i = 0; i <= m - mid; ++i) SetChild(s, i, Get(kid(mid + 1 + i), 0));
  Put(s, kIKeys, m - mid);
  RecountInner(h, leaves_below);
  RecountInner(sibling, leaves_below);
  if (level > 0) {
    InsertInInner(level - 1, path, up, sibling, spare, spares);
    return;
  }
  uint32_t root = spare[--*spares];
  uint8_t* r = Inner(root);
  std::memset(r, 0, 16);
  Put(r, 0, kKindRoot);
  Put(n, 0, kKindInner);
  SetChild(r, 0, h);
  std::memcpy(InnerKey(r, 0), up, K);
  SetChild(r, 1, sibling);
  Put(r, kIKeys, 1);
  Put(r, kIItems, Get(n, kIItems) + Get(s, kIItems));
  m_nRoot = root;
  ++m_nHeight;
}

void CNAKeyTree::RecountInner(uint32_t h, bool children_are_leaves) {
  uint8_t* n = Inner(h);
  uint32_t total = 0;
  for (uint32_t i = 0; i <= Get(n, kIKeys); ++i) {
    total += NodeItems(Child(n, i), children_are_leaves);
  }
  Put(n, kIItems, total);
}

// --- remove -----------------------------------------------------------------

bool CNAKeyTree::bRemove(const void* key, const void* data) {
  if (m_nRoot == 0) return false;
  PathStep path[kMaxHeight];
  uint32_t leaf = Descend(key, path);
  uint8_t* l = Leaf(leaf);
  bool found;
  uint32_t slot = Search(LeafKey(l, 0), Get(l, kLKeys), key, &found);
  if (!found) return false;
  const int top = static_cast<int>(m_nHeight) - 1;
  if (m_nDataSize != 0) {
    if (IsSet(l, slot)) {
      int r = RemoveFromSlot(l, slot, static_cast<const uint8_t*>(data));
      if (r == 0) return false;
      if (r == 1) {
        Put(l, kLItems, Get(l, kLItems) - 1);
        PushUp(top, path, -1);
        --m_nCount;
        return true;
      }
      // The set's last item went: the key leaves the leaf below.
    } else if (std::memcmp(LeafData(l, slot), data, m_nDataSize) != 0) {
      return false;
    }
  }
  Touch();
  CloseSlot(l, slot);
  Put(l, kLItems, Get(l, kLItems) - 1);
  PushUp(top, path, -1);
  --m_nCount;
  RebalanceLeaf(path, leaf);
  return true;
}

void CNAKeyTree::RemoveFromInner(uint8_t* n, uint32_t k) {
  uint32_t nk = Get(n, kIKeys);
  std::memmove(InnerKey(n, k), InnerKey(n, k + 1), size_t{nk - k - 1} * m_nKeySize);
  for (uint32_t i = k + 1; i < nk; ++i) SetChild(n, i, Child(n, i + 1));
  Put(n, kIKeys, nk - 1);
}

void CNAKeyTree::RebalanceLeaf(PathStep* path, uint32_t leaf) {
  const uint32_t m = m_nOrder;
  const int top = static_cast<int>(m_nHeight) - 1;
  uint8_t* l = Leaf(leaf);
  uint32_t nk = Get(l, kLKeys);
  if (nk >= m_nMinFill && nk > 0) return;
  uint8_t* parent = Inner(path[top].node);
  uint32_t pk = Get(parent, kIKeys);
  uint32_t idx = path[top].child;
  if (pk == 0) {  // the root's only leaf
    if (nk == 0) {
      m_clLeaves.FreeHandle(leaf);
      m_clNodes.FreeHandle(m_nRoot);
      m_nRoot = 0;
      m_nHeight = 0;
      m_nCount = 0;
    }
    return;
  }
  uint32_t lh = idx > 0 ? Child(parent, idx - 1) : 0;
  uint32_t rh = idx < pk ? Child(parent, idx + 1) : 0;
  uint32_t lk = lh != 0 ? Get(Leaf(lh), kLKeys) : 0;
  uint32_t rk = rh != 0 ? Get(Leaf(rh), kLKeys) : 0;
  auto merge = [&](uint32_t a, uint32_t b, uint32_t separator) {
    uint8_t* pa = Leaf(a);
    uint8_t* pb = Leaf(b);
    uint32_t ak = Get(pa, kLKeys);
    uint32_t bk = Get(pb, kLKeys);
    for (uint32_t i = 0; i < bk; ++i) MoveSlot(pa, ak + i, pb, i);
    Put(pa, kLKeys, ak + bk);
    Put(pa, kLItems, Get(pa, kLItems) + Get(pb, kLItems));
    uint32_t next = Get(pb, kLNext);
    Put(pa, kLNext, next);
    if (next != 0) Put(Leaf(next), kLPrev, a);
    m_clLeaves.FreeHandle(b);
    RemoveFromInner(parent, separator);
    RebalanceInner(path, top);
  };
  bool use_left = rh == 0 || (lh != 0 && lk < rk);
  if (use_left && lk + nk <= m) return merge(lh, leaf, idx - 1);
  if (!use_left && rk + nk <= m) return merge(leaf, rh, idx);
  if (rh != 0 && rk > m_nMinFill) {
    uint8_t* r = Leaf(rh);
    uint32_t moved = SlotItems(r, 0);
    OpenSlot(l, nk);
    MoveSlot(l, nk, r, 0);
    CloseSlot(r, 0);
    Put(l, kLItems, Get(l, kLItems) + moved);
    Put(r, kLItems, Get(r, kLItems) - moved);
    std::memcpy(InnerKey(parent, idx), LeafKey(r, 0), m_nKeySize);
    return;
  }
  if (lh != 0 && lk > m_nMinFill) {
    uint8_t* left = Leaf(lh);
    uint32_t moved = SlotItems(left, lk - 1);
    OpenSlot(l, 0);
    MoveSlot(l, 0, left, lk - 1);
    CloseSlot(left, lk - 1);
    Put(l, kLItems, Get(l, kLItems) + moved);
    Put(left, kLItems, Get(left, kLItems) - moved);
    std::memcpy(InnerKey(parent, idx - 1), LeafKey(l, 0), m_nKeySize);
    return;
  }
  if (lh != 0 && lk + nk <= m) return merge(lh, leaf, idx - 1);
  if (rh != 0 && rk + nk <= m) return merge(leaf, rh, idx);
}

void CNAKeyTree::RebalanceInner(PathStep* path, int level) {
  const uint32_t m = m_nOrder;
  const size_t K = m_nKeySize;
  uint32_t h = path[level].node;
  uint8_t* n = Inner(h);
  uint32_t nk = Get(n, kIKeys);
  if (level == 0) {
    if (nk == 0 && m_nHeight > 1) {  // a single inner child becomes the root
      uint32_t child = Child(n, 0);
      Put(Inner(child), 0, kKindRoot);
      m_clNodes.FreeHandle(h);
      m_nRoot = child;
      --m_nHeight;
    }
    return;
  }
  if (nk >= m_nMinFill && nk > 0) return;
  bool leaves_below = level == static_cast<int>(m_nHeight) - 1;
  uint8_t* parent = Inner(path[level - 1].node);
  uint32_t pk = Get(parent, kIKeys);
  uint32_t idx = path[level - 1].child;
  uint32_t lh = idx > 0 ? Child(parent, idx - 1) : 0;
  uint32_t rh = idx < pk ? Child(parent, idx + 1) : 0;
  uint32_t lk = lh != 0 ? Get(Inner(lh), kIKeys) : 0;
  uint32_t rk = rh != 0 ? Get(Inner(rh), kIKeys) : 0;
  auto merge = [&](uint32_t a, uint32_t b, uint32_t separator) {
    uint8_t* pa = Inner(a);
    uint8_t* pb = Inner(b);
    uint32_t ak = Get(pa, kIKeys);
    uint32_t bk = Get(pb, kIKeys);
    std::memcpy(InnerKey(pa, ak), InnerKey(parent, separator), K);
    std::memcpy(InnerKey(pa, ak + 1), InnerKey(pb, 0), bk * K);
    for (uint32_t i = 0; i <= bk; ++i) SetChild(pa, ak + 1 + i, Child(pb, i));
    Put(pa, kIKeys, ak + 1 + bk);
    Put(pa, kIItems, Get(pa, kIItems) + Get(pb, kIItems));
    m_clNodes.FreeHandle(b);
    RemoveFromInner(parent, separator);
    RebalanceInner(path, level - 1);
  };
  bool use_left = rh == 0 || (lh != 0 && lk < rk);
  if (use_left && lk + 1 + nk <= m) return merge(lh, h, idx - 1);
  if (!use_left && rk + 1 + nk <= m) return merge(h, rh, idx);
  if (rh != 0 && rk > m_nMinFill) {
    uint8_t* r = Inner(rh);
    uint32_t moved_child = Child(r, 0);
    uint32_t moved = NodeItems(moved_child, leaves_below);
    std::memcpy(InnerKey(n, nk), InnerKey(parent, idx), K);
    SetChild(n, nk + 1, moved_child);
    Put(n, kIKeys, nk + 1);
    std::memcpy(InnerKey(parent, idx), InnerKey(r, 0), K);
    SetChild(r, 0, Child(r, 1));
    RemoveFromInner(r, 0);
    Put(n, kIItems, Get(n, kIItems) + moved);
    Put(r, kIItems, Get(r, kIItems) - moved);
    return;
  }
  if (lh != 0 && lk > m_nMinFill) {
    uint8_t* left = Inner(lh);
    uint32_t moved_child = Child(left, lk);
    uint32_t moved = NodeItems(moved_child, leaves_below);
    std::memmove(InnerKey(n, 1), InnerKey(n, 0), nk * K);
    for (uint32_t i = nk + 1; i > 0; --i) SetChild(n, i, Child(n, i - 1));
    std::memcpy(InnerKey(n, 0), InnerKey(parent, idx - 1), K);
    SetChild(n, 0, moved_child);
    Put(n, kIKeys, nk + 1);
    std::memcpy(InnerKey(parent, idx - 1), InnerKey(left, lk - 1), K);
    Put(left, kIKeys, lk - 1);
    Put(n, kIItems, Get(n, kIItems) + moved);
    Put(left, kIItems, Get(left, kIItems) - moved);
    return;
  }
  if (lh != 0 && lk + 1 + nk <= m) return merge(lh, h, idx - 1);
  if (rh != 0 && rk + 1 + nk <= m) return merge(h, rh, idx);
}

// --- bulk build -------------------------------------------------------------

bool CNAKeyTree::bLoadSorted(const uint8_t* pairs, size_t n, PairAt at, const void* context) {
  Clear();
  if (n == 0) return true;
  if (n > 0x7FFFFFFF) return false;
  const uint32_t m = m_nOrder;
  const size_t K = m_nKeySize;
  const size_t D = m_nDataSize;
  const size_t stride = K + D;
  std::vector<CNAKeyTree*> nested;  // made here; deleted on failure
  auto fail = [&]() {
    for (CNAKeyTree* tree : nested) delete tree;
    m_nNested = 0;
    m_nRoot = 0;
    Clear();
    return false;
  };
  try {
    auto pair_at = [&](size_t i) { return at != nullptr ? at(context, i) : pairs + i * stride; };
    // Runs of one key, walked twice: counted first, then taken in order.
    auto run_end = [&](size_t i) {
      size_t j = i + 1;
      while (j < n && m_pfnCompare(pair_at(j), pair_at(i), K) == 0) ++j;
      return j;
    };
    uint32_t distinct = 0;
    for (size_t i = 0; i < n; i = run_end(i)) ++distinct;
    std::vector<uint8_t> nested_items;
    std::vector<uint32_t> level;
    std::vector<const uint8_t*> mins;  // each node's smallest key
    std::vector<uint32_t> items;
    uint32_t leaves = (distinct + m - 1) / m;
    uint32_t base = distinct / leaves;
    uint32_t extra = distinct % leaves;
    uint32_t prev = 0;
    size_t next = 0;  // the first pair of the next run
    for (uint32_t i = 0; i < leaves; ++i) {
      uint32_t h = m_clLeaves.nAllocHandle();
      if (h == 0) return fail();
      uint32_t count = base + (i < extra ? 1 : 0);
      uint8_t* l = Leaf(h);
      std::memset(l, 0, m_nLeafSize);
      Put(l, 0, kKindLeaf);
      Put(l, kLPrev, prev);
      if (prev != 0) Put(Leaf(prev), kLNext, h);
      uint32_t total = 0;
      for (uint32_t k = 0; k < count; ++k) {
        size_t first = next;
        next = run_end(first);
        const uint8_t* pair = pair_at(first);
        uint32_t c = static_cast<uint32_t>(next - first);
        std::memcpy(LeafKey(l, k), pair, K);
        total += c;
        if (D == 0) continue;
        if (c == 1) {
          std::memcpy(LeafData(l, k), pair + K, D);
          continue;
        }
        uint32_t set = 0;
        if (c <= Capacity(kNestedClass - 1)) {
          uint32_t cls = 0;
          while (Capacity(cls) < c) ++cls;
          set = NewSet(cls);
          if (set == 0) return fail();
          for (uint32_t d = 0; d < c; ++d) {
            std::memcpy(SetItem(set, d), pair_at(first + d) + K, D);
          }
          SetCountField(SetBlock(set), c);
        } else {
          nested_items.resize(size_t{c} * D);
          for (uint32_t d = 0; d < c; ++d) {
            std::memcpy(nested_items.data() + d * D, pair_at(first + d) + K, D);
          }
          auto* tree = new (std::nothrow) CNAKeyTree;
          if (tree == nullptr) return fail();
          nested.push_back(tree);
          if (!tree->bInit(m_nOrder, m_nDataSize, 0) ||
              !tree->bLoadSorted(nested_items.data(), c) ||
              (set = NewSet(kNestedClass)) == 0) {
            return fail();
          }
          std::memcpy(SetBlock(set) + 4, &tree, sizeof(tree));
        }
        Put(LeafData(l, k), 0, set);
        SetBit(l, k, true);
      }
      Put(l, kLKeys, count);
      Put(l, kLItems, total);
      level.push_back(h);
      mins.push_back(LeafKey(l, 0));
      items.push_back(total);
      prev = h;
    }
    // Levels of internal nodes, `fanout` children each at most, nearly
    // equal, until one node is left: the root.
    uint32_t fanout = m < 3 ? m + 1 : m;
    uint32_t height = 0;
    do {
      std::vector<uint32_t> up;
      std::vector<const uint8_t*> up_mins;
      std::vector<uint32_t> up_items;
      uint32_t count = static_cast<uint32_t>(level.size());
      uint32_t nodes = (count + fanout - 1) / fanout;
      uint32_t per = count / nodes;
      uint32_t more = count % nodes;
      for (uint32_t j = 0, k = 0; j < nodes; ++j) {
        uint32_t h = m_clNodes.nAllocHandle();
        if (h == 0) return fail();
        uint32_t children = per + (j < more ? 1 : 0);
        uint8_t* node = Inner(h);
        std::memset(node, 0, 16);
        Put(node, 0, kKindInner);
        uint32_t total = 0;
        for (uint32_t t = 0; t < children; ++t, ++k) {
          SetChild(node, t, level[k]);
          if (t > 0) std::memcpy(InnerKey(node, t - 1), mins[k], K);
          total += items[k];
        }
        Put(node, kIKeys, children - 1);
        Put(node, kIItems, total);
        up.push_back(h);
        up_mins.push_back(mins[k - children]);
        up_items.push_back(total);
      }
      level.swap(up);
      mins.swap(up_mins);
      items.swap(up_items);
      ++height;
    } while (level.size() > 1);
    m_nRoot = level[0];
    Put(Inner(m_nRoot), 0, kKindRoot);
    m_nHeight = height;
    m_nCount = static_cast<int64_t>(n);
    m_nNested = static_cast<uint32_t>(nested.size());
  } catch (const std::bad_alloc&) {
    return fail();
  }
  return true;
}

// --- position ---------------------------------------------------------------

void CNAKeyTree::Touch() {
  if (m_bStale) return;
  m_bStale = true;
  m_bSavedEnd = m_stPos.leaf == 0;
  if (m_bSavedEnd) return;
  std::memcpy(m_abySavedKey.data(), LeafKey(Leaf(m_stPos.leaf), m_stPos.slot), m_nKeySize);
  if (m_nDataSize != 0) std::memcpy(m_abySavedData.data(), DataAt(m_stPos), m_nDataSize);
}

void CNAKeyTree::Restore() {
  if (!m_bStale) return;
  m_bStale = false;
  if (m_bSavedEnd) {
    m_stPos = Position();
    return;
  }
  bool found = FindPair(m_abySavedKey.data(),
                        m_nDataSize != 0 ? m_abySavedData.data() : nullptr, &m_stPos);
  m_bBetween = m_bBetween || !found;
}

void CNAKeyTree::ResetPosition(const Position& p, bool between) {
  m_stPos = p;
  m_bStale = false;
  m_bBetween = between;
}

bool CNAKeyTree::Normalize(Position* p) const {
  while (p->leaf != 0) {
    uint8_t* l = Leaf(p->leaf);
    if (p->slot < Get(l, kLKeys)) {
      if (p->sub < SlotItems(l, p->slot)) return true;
      ++p->slot;
      p->sub = 0;
      continue;
    }
    p->leaf = Get(l, kLNext);
    p->slot = 0;
    p->sub = 0;
  }
  *p = Position();
  return false;
}

bool CNAKeyTree::StepBack(Position* p) const {
  if (p->leaf == 0) return false;
  if (p->sub > 0) {
    --p->sub;
    return true;
  }
  uint32_t leaf = p->leaf;
  uint32_t slot = p->slot;
  while (slot == 0) {
    leaf = Get(Leaf(leaf), kLPrev);
    if (leaf == 0) return false;
    slot = Get(Leaf(leaf), kLKeys);
  }
  --slot;
  p->leaf = leaf;
  p->slot = slot;
  p->sub = SlotItems(Leaf(leaf), slot) - 1;
  return true;
}

bool CNAKeyTree::FindPair(const void* key, const void* data, Position* p) {
  *p = Position();
  if (m_nRoot == 0) return false;
  PathStep path[kMaxHeight];
  uint32_t leaf = Descend(key, path);
  uint8_t* l = Leaf(leaf);
  bool found;
  uint32_t slot = Search(LeafKey(l, 0), Get(l, kLKeys), key, &found);
  p->leaf = leaf;
  p->slot = slot;
  if (!found) {
    Normalize(p);
    return false;
  }
  if (m_nDataSize == 0 || data == nullptr) return true;
  const auto* d = static_cast<const uint8_t*>(data);
  if (!IsSet(l, slot)) {
    int c = std::memcmp(LeafData(l, slot), d, m_nDataSize);
    if (c == 0) return true;
    if (c < 0) p->sub = 1;
    Normalize(p);
    return false;
  }
  uint32_t set = Get(LeafData(l, slot), 0);
  if (SetClass(set) == kNestedClass) {
    CNAKeyTree* tree = Nested(set);
    bool f = false;
    tree->bSeek(d, &f);
    p->sub = static_cast<uint32_t>(tree->nGetOrdinal());
    Normalize(p);
    return f;
  }
  bool f;
  p->sub = SetSearch(set, d, &f);
  Normalize(p);
  return f;
}

int64_t CNAKeyTree::OrdinalOf(const Position& p) {
  if (p.leaf == 0) return m_nCount;
  uint8_t* l = Leaf(p.leaf);
  const uint8_t* key = LeafKey(l, p.slot);
  int64_t ordinal = 0;
  uint32_t h = m_nRoot;
  for (uint32_t level = 0; level < m_nHeight; ++level) {
    uint8_t* n = Inner(h);
    bool found;
    uint32_t i = Search(InnerKey(n, 0), Get(n, kIKeys), key, &found);
    uint32_t c = found ? i + 1 : i;
    bool leaves = level + 1 == m_nHeight;
    for (uint32_t k = 0; k < c; ++k) ordinal += NodeItems(Child(n, k), leaves);
    h = Child(n, c);
  }
  for (uint32_t i = 0; i < p.slot; ++i) ordinal += SlotItems(l, i);
  return ordinal + p.sub;
}

bool CNAKeyTree::PositionAtOrdinal(int64_t ordinal, Position* p) {
  *p = Position();
  if (ordinal < 0 || ordinal >= m_nCount) return false;
  uint32_t h = m_nRoot;
  for (uint32_t level = 0; level < m_nHeight; ++level) {
    uint8_t* n = Inner(h);
    bool leaves = level + 1 == m_nHeight;
    uint32_t nk = Get(n, kIKeys);
    uint32_t c = 0;
    for (; c < nk; ++c) {
      int64_t items = NodeItems(Child(n, c), leaves);
      if (ordinal < items) break;
      ordinal -= items;
    }
    h = Child(n, c);
  }
  uint8_t* l = Leaf(h);
  uint32_t slot = 0;
  for (uint32_t nk = Get(l, kLKeys); slot + 1 < nk; ++slot) {
    int64_t items = SlotItems(l, slot);
    if (ordinal < items) break;
    ordinal -= items;
  }
  p->leaf = h;
  p->slot = slot;
  p->sub = static_cast<uint32_t>(ordinal);
  return true;
}

bool CNAKeyTree::bFirst() {
  Position p;
  if (PositionAtOrdinal(0, &p)) {
    ResetPosition(p, false);
    return true;
  }
  ResetPosition(Position(), false);
  return false;
}

bool CNAKeyTree::bLast() {
  Position p;
  bool on = PositionAtOrdinal(m_nCount - 1, &p);
  ResetPosition(p, false);
  return on;
}

bool CNAKeyTree::bSeek(const void* key, bool* found) {
  Position p;
  *found = FindPair(key, nullptr, &p);
  ResetPosition(p, false);
  return p.leaf != 0;
}

bool CNAKeyTree::bSeekPair(const void* key, const void* data) {
  Position p;
  bool found = FindPair(key, data, &p);
  ResetPosition(p, !found);
  return found;
}

bool CNAKeyTree::bSeekOrdinal(int64_t ordinal) {
  Position p;
  bool on = PositionAtOrdinal(ordinal, &p);
  ResetPosition(p, false);
  return on;
}

bool CNAKeyTree::bOnItem() {
  Restore();
  return m_stPos.leaf != 0 && !m_bBetween;
}

const uint8_t* CNAKeyTree::pCurrentKey() {
  if (!bOnItem()) return nullptr;
  return LeafKey(Leaf(m_stPos.leaf), m_stPos.slot);
}

const uint8_t* CNAKeyTree::pCurrentData() {
  if (m_nDataSize == 0 || !bOnItem()) return nullptr;
  return DataAt(m_stPos);
}

const uint8_t* CNAKeyTree::DataAt(const Position& p) const {
  uint8_t* l = Leaf(p.leaf);
  uint8_t* d = LeafData(l, p.slot);
  if (!IsSet(l, p.slot)) return d;
  uint32_t set = Get(d, 0);
  if (SetClass(set) != kNestedClass) return SetItem(set, p.sub);
  CNAKeyTree* tree = Nested(set);
  tree->bSeekOrdinal(p.sub);
  return tree->pCurrentKey();
}

uint32_t CNAKeyTree::nCurrentKeyItems() {
  if (!bOnItem()) return 0;
  return SlotItems(Leaf(m_stPos.leaf), m_stPos.slot);
}

int CNAKeyTree::nCurrentSetClass() {
  if (!bOnItem()) return -1;
  uint8_t* l = Leaf(m_stPos.leaf);
  if (!IsSet(l, m_stPos.slot)) return -1;
  return static_cast<int>(SetClass(Get(LeafData(l, m_stPos.slot), 0)));
}

int64_t CNAKeyTree::nGetOrdinal() {
  Restore();
  return OrdinalOf(m_stPos);
}

int64_t CNAKeyTree::nMove(int64_t n, uint32_t flags) {
  Restore();
  if (n == 0) return 0;
  if (flags & kMoveByKey) return MoveByKey(n, flags);
  // Steps to the neighbours without descending.
  if (m_stPos.leaf != 0 && (n == 1 || n == -1)) {
    Position p = m_stPos;
    bool moved;
    if (n == 1) {
      if (!m_bBetween) ++p.sub;
      moved = Normalize(&p);
    } else {
      moved = StepBack(&p);
    }
    if (moved) {
      ResetPosition(p, false);
      return 1;
    }
  }
  int64_t current = OrdinalOf(m_stPos);  // the count at the end
  bool between = m_bBetween || m_stPos.leaf == 0;
  int64_t target = n > 0 && between ? current + n - 1 : current + n;
  auto steps_to = [&](int64_t t) {
    return n > 0 ? t - current + (between ? 1 : 0) : current - t;
  };
  Position p;
  if (target >= 0 && target < m_nCount) {
    PositionAtOrdinal(target, &p);
    ResetPosition(p, false);
    return n > 0 ? n : -n;
  }
  if (n > 0 && target == m_nCount && (flags & kMoveToEnd)) {
    ResetPosition(Position(), false);
    return n;
  }
  if (!(flags & kMovePartial)) return 0;
  int64_t clamped = n > 0 ? m_nCount - 1 : 0;
  if (n > 0 && (flags & kMoveToEnd)) {
    int64_t steps = steps_to(m_nCount - 1) + 1;
    ResetPosition(Position(), false);
    return steps;
  }
  int64_t steps = steps_to(clamped);
  if (steps <= 0 || m_nCount == 0) return 0;
  PositionAtOrdinal(clamped, &p);
  ResetPosition(p, false);
  return steps;
}

int64_t CNAKeyTree::MoveByKey(int64_t n, uint32_t flags) {
  Position p = m_stPos;
  int64_t steps = 0;
  int64_t want = n > 0 ? n : -n;
  bool between = m_bBetween;
  if (n > 0) {
    if (p.leaf == 0) return 0;
    if (between) {  // the first step reaches the next item's key
      p.sub = 0;
      ++steps;
    }
    while (steps < want) {
      Position q = p;
      ++q.slot;
      q.sub = 0;
      if (!Normalize(&q)) {
        if (flags & kMoveToEnd) {
          p = q;
          ++steps;
        }
        break;
      }
      p = q;
      ++steps;
    }
  } else {
    if (p.leaf == 0) {
      Position last;
      if (!PositionAtOrdinal(m_nCount - 1, &last)) return 0;
      p = last;
      p.sub = 0;
      ++steps;
    } else {
      p.sub = 0;
    }
    while (steps < want) {
      Position q = p;
      if (!StepBack(&q)) break;
      q.sub = 0;
      p = q;
      ++steps;
    }
  }
  if (steps < want && !(flags & kMovePartial)) return 0;
  if (steps == 0) return 0;
  ResetPosition(p, false);
  return steps;
}

// --- checks -----------------------------------------------------------------

bool CNAKeyTree::bCheck() {
  if (m_nRoot == 0) return m_nCount == 0 && m_nHeight == 0;
  if (Get(Inner(m_nRoot), 0) != kKindRoot) return false;
  // Walk every level: counts, separators and key order.
  struct Frame {
    uint32_t h;
    uint32_t level;
    const uint8_t* low;   // keys >= low (null: none)
    const uint8_t* high;  // keys < high (null: none)
  };
  std::vector<Frame> stack = {{m_nRoot, 0, nullptr, nullptr}};
  std::vector<uint32_t> leaves_in_order;
  int64_t total = 0;
  while (!stack.empty()) {
    Frame f = stack.back();
    stack.pop_back();
    if (f.level == m_nHeight) {
      uint8_t* l = Leaf(f.h);
      uint32_t nk = Get(l, kLKeys);
      if (nk == 0 || nk > m_nOrder || Get(l, 0) != kKindLeaf) return false;
      uint32_t items = 0;
      for (uint32_t i = 0; i < nk; ++i) {
        const uint8_t* k = LeafKey(l, i);
        if (i > 0 && m_pfnCompare(LeafKey(l, i - 1), k, m_nKeySize) >= 0) return false;
        if (f.low != nullptr && m_pfnCompare(k, f.low, m_nKeySize) < 0) return false;
        if (f.high != nullptr && m_pfnCompare(k, f.high, m_nKeySize) >= 0) return false;
        if (IsSet(l, i)) {
          uint32_t set = Get(LeafData(l, i), 0);
          uint32_t cls = SetClass(set);
          uint32_t count = SetCount(set);
          if (count == 0) return false;
          if (cls == kNestedClass) {
            if (!Nested(set)->bCheck() || count < kNestedMinimum) return false;
          } else {
            if (cls > kNestedClass || count > Capacity(cls)) return false;
            for (uint32_t j = 1; j < count; ++j) {
              if (std::memcmp(SetItem(set, j - 1), SetItem(set, j), m_nDataSize) >= 0) {
                return false;
              }
            }
          }
        }
        items += SlotItems(l, i);
      }
      if (items != Get(l, kLItems)) return false;
      total += items;
      leaves_in_order.push_back(f.h);
      continue;
    }
    uint8_t* n = Inner(f.h);
    uint32_t nk = Get(n, kIKeys);
    if (nk > m_nOrder) return false;
    if (f.level > 0 && Get(n, 0) != kKindInner) return false;
    bool leaves = f.level + 1 == m_nHeight;
    uint32_t items = 0;
    for (uint32_t i = 0; i <= nk; ++i) items += NodeItems(Child(n, i), leaves);
    if (items != Get(n, kIItems)) return false;
    for (uint32_t i = nk + 1; i-- > 0;) {  // pushed right to left: popped in order
      const uint8_t* low = i == 0 ? f.low : InnerKey(n, i - 1);
      const uint8_t* high = i == nk ? f.high : InnerKey(n, i);
      stack.push_back({Child(n, i), f.level + 1, low, high});
    }
  }
  if (total != m_nCount) return false;
  for (size_t i = 0; i < leaves_in_order.size(); ++i) {
    uint8_t* l = Leaf(leaves_in_order[i]);
    uint32_t prev = i > 0 ? leaves_in_order[i - 1] : 0;
    uint32_t next = i + 1 < leaves_in_order.size() ? leaves_in_order[i + 1] : 0;
    if (Get(l, kLPrev) != prev || Get(l, kLNext) != next) return false;
  }
  return true;
}
