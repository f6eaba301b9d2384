// A B+-tree over fixed-size keys with counted duplicates: each distinct key
// sits once in a leaf with either one data item or a duplicate set, so that
// (key, data) pairs are unique and ordered by key, then by the bytes of the
// data. Nodes and duplicate sets come from fixed-size block pools (pages of
// 4096 bytes) and are named by 32-bit handles.
//
// Node layouts (bytes):
//   internal: 16-byte header {kind, first child, key count, item count},
//             then `order` keys, then `order` child handles (child i + 1
//             follows key i); at most `order` keys and `order` + 1 children.
//   leaf:     20-byte header {kind 2, previous leaf, next leaf, key count,
//             item count}, then `order` keys; with data, `order` data slots
//             and a bitmap of ((order - 1) / 32 + 1) words whose bit i says
//             that slot i holds a duplicate set's handle.
// Duplicate sets: classes 0..5 hold 2, 4, 8, 16, 32, 64 data items sorted by
// their bytes after a {16-bit count, 16-bit class} header; past 64 items a
// set becomes a nested tree (class 6) over the data items. A class shrinks
// to the one below when its count before a removal is at or below
// 0, 1, 2, 6, 9, 18 (classes 0..5); a nested tree becomes an array set again
// below 56 items; a set left with one item goes back into its leaf slot.
//
// The root is always an internal node (kind 3); every node counts the items
// (duplicates included) under it, so that ordinals are found by descent.
//
// The current position survives changes: a change of the tree remembers the
// current pair and finds it again on the next use; when that pair is gone,
// the position sits just before the next greater pair, so that a move by 1
// either way reaches the neighbours of the removed pair.
//
// No lock; out of memory is reported by results, never thrown.
#ifndef QG_DRIVER_SQL_KEY_TREE_H_
#define QG_DRIVER_SQL_KEY_TREE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/sql/block_pool.h"

class CNAKeyTree {
 public:
  using KeyCompare = int (*)(const void* a, const void* b, size_t size);

  // Results of nInsert.
  static constexpr int kInserted = 1;
  static constexpr int kExists = 0;
  static constexpr int kNoMemory = -1;

  // Move flags: count distinct keys rather than items; allow a move that
  // makes fewer steps than asked; let a forward move land on the end.
  static constexpr uint32_t kMoveByKey = 1;
  static constexpr uint32_t kMovePartial = 2;
  static constexpr uint32_t kMoveToEnd = 4;

  static constexpr uint32_t kPageSize = 4096;
  static constexpr uint32_t kDuplicateClasses = 7;
  static constexpr uint32_t kNestedMinimum = 56;

  CNAKeyTree() = default;
  ~CNAKeyTree();
  CNAKeyTree(const CNAKeyTree&) = delete;
  CNAKeyTree& operator=(const CNAKeyTree&) = delete;

  // An empty tree. Order 0 means 32 (at least 2); a data size of 1 to 4
  // becomes 4; 0 means keys without data. `compare` defaults to unsigned
  // byte comparison over the key size. Frees what the tree held before;
  // false when out of memory.
  bool bInit(uint32_t order, uint32_t key_size, uint32_t data_size,
             KeyCompare compare = nullptr);
  void Clear();

  // Inserts a pair: kInserted, kExists (the pair is already there; nothing
  // changes) or kNoMemory (nothing changes).
  int nInsert(const void* key, const void* data);
  // Removes a pair; false when it is not there.
  bool bRemove(const void* key, const void* data);
  // Replaces the content by n pairs (key then data, packed), sorted by key
  // then data bytes and unique: leaves of nearly equal size, then levels of
  // internal nodes. False when out of memory (the tree is then empty).
  // `at`, when given, names the i-th pair in order (the pairs then lie
  // anywhere).
  using PairAt = const uint8_t* (*)(const void* context, size_t i);
  bool bLoadSorted(const uint8_t* pairs, size_t n, PairAt at = nullptr,
                   const void* context = nullptr);

  // Positioning; each answers whether the position is on an item.
  bool bFirst();
  bool bLast();
  // The first item of `key`, else the first item of the next greater key
  // (or the end) with *found false.
  bool bSeek(const void* key, bool* found);
  // Exactly the pair; else the next greater pair (or the end), answering
  // false.
  bool bSeekPair(const void* key, const void* data);
  // The item of that ordinal (0-based); false and the end when out of range.
  bool bSeekOrdinal(int64_t ordinal);
  // Moves n steps (negative: backward) by item or by key; answers the steps
  // made. A move that cannot make every step leaves the position unchanged
  // unless kMovePartial is given.
  int64_t nMove(int64_t n, uint32_t flags = 0);

  // The current item; null when the position is on no item.
  bool bOnItem();
  const uint8_t* pCurrentKey();
  const uint8_t* pCurrentData();
  // Items under the current key (0 when on no item).
  uint32_t nCurrentKeyItems();
  // The ordinal of the current item (of the next one when the current pair
  // was removed; the count at the end). Computed from node counts; the
  // position does not move.
  int64_t nGetOrdinal();

  int64_t nGetCount() const { return m_nCount; }
  uint32_t nGetOrder() const { return m_nOrder; }
  uint32_t nGetKeySize() const { return m_nKeySize; }
  uint32_t nGetDataSize() const { return m_nDataSize; }
  uint32_t nGetHeight() const { return m_nHeight; }
  uint32_t nNodeSize() const { return m_nInnerSize; }
  uint32_t nLeafSize() const { return m_nLeafSize; }
  const CNABlockPool& NodePool() const { return m_clNodes; }
  const CNABlockPool& LeafPool() const { return m_clLeaves; }
  const CNABlockPool& DuplicatePool(uint32_t c) const { return m_aclSets[c]; }
  // The class of the current key's duplicate set, -1 for a single item.
  int nCurrentSetClass();
  // Checks every structural invariant (tests); false on the first breach.
  bool bCheck();

 private:
  struct Position {
    uint32_t leaf = 0;  // 0: the end
    uint32_t slot = 0;
    uint32_t sub = 0;   // item within the slot's duplicate set
  };
  struct PathStep {
    uint32_t node;
    uint32_t child;
  };
  static constexpr int kMaxHeight = 64;

  // Node fields.
  uint8_t* Inner(uint32_t h) const { return m_clNodes.pBlock(h); }
  uint8_t* Leaf(uint32_t h) const { return m_clLeaves.pBlock(h); }
  static uint32_t Get(const uint8_t* p, size_t off);
  static void Put(uint8_t* p, size_t off, uint32_t v);
  uint8_t* InnerKey(uint8_t* n, uint32_t i) const { return n + 16 + size_t{i} * m_nKeySize; }
  uint32_t Child(const uint8_t* n, uint32_t i) const;
  void SetChild(uint8_t* n, uint32_t i, uint32_t h) const;
  uint32_t NodeItems(uint32_t h, bool leaf) const;
  uint8_t* LeafKey(uint8_t* l, uint32_t i) const { return l + 20 + size_t{i} * m_nKeySize; }
  uint8_t* LeafData(uint8_t* l, uint32_t i) const {
    return l + m_nLeafDataOffset + size_t{i} * m_nDataSize;
  }
  bool IsSet(const uint8_t* l, uint32_t i) const;
  void SetBit(uint8_t* l, uint32_t i, bool on) const;
  uint32_t SlotItems(uint8_t* l, uint32_t i) const;

  // Duplicate sets.
  uint32_t SetCount(uint32_t set) const;
  uint32_t SetClass(uint32_t set) const;
  uint8_t* SetBlock(uint32_t set) const;  // handle carries its class
  uint8_t* SetItem(uint32_t set, uint32_t i) const;
  CNAKeyTree* Nested(uint32_t set) const;
  uint32_t NewSet(uint32_t cls);  // 0 when refused
  void FreeSet(uint32_t set);
  int AddToSlot(uint8_t* leaf, uint32_t slot, const uint8_t* data);
  // 0: not there; 1: removed; 2: removed the last item (the set is freed).
  int RemoveFromSlot(uint8_t* leaf, uint32_t slot, const uint8_t* data);
  // Index of data within an array set, or its insertion point.
  uint32_t SetSearch(uint32_t set, const uint8_t* data, bool* found) const;

  // Search and structure.
  uint32_t Search(uint8_t* keys, uint32_t count, const void* key, bool* found) const;
  uint32_t Descend(const void* key, PathStep* path);  // the leaf; path[0..height)
  int InsertNewKey(PathStep* path, uint32_t leaf, uint32_t slot, const void* key,
                   const void* data);
  void OpenSlot(uint8_t* l, uint32_t slot);   // shifts slots up, one more key
  void CloseSlot(uint8_t* l, uint32_t slot);  // shifts slots down, one key less
  void WriteSlot(uint8_t* l, uint32_t slot, const void* key, const void* data);
  void MoveSlot(uint8_t* to, uint32_t to_slot, uint8_t* from, uint32_t from_slot);
  void InsertInInner(int level, PathStep* path, const uint8_t* key, uint32_t child,
                     uint32_t* spare, int* spares);
  void RemoveFromInner(uint8_t* n, uint32_t key_index);  // and child key_index + 1
  void PushUp(int level, PathStep* path, int delta);
  void RebalanceLeaf(PathStep* path, uint32_t leaf);
  void RebalanceInner(PathStep* path, int level);
  void RecountInner(uint32_t h, bool children_are_leaves);
  void FreeSubtree(uint32_t h, uint32_t height);
  void ReleaseNested();

  // Position.
  void Touch();    // the tree is about to change: remember the current pair
  void Restore();  // find the remembered pair again
  bool Normalize(Position* p) const;  // moves past ends of slots and leaves
  bool StepBack(Position* p) const;
  const uint8_t* DataAt(const Position& p) const;  // p on an item
  bool FindPair(const void* key, const void* data, Position* p);
  void ResetPosition(const Position& p, bool between);
  int64_t OrdinalOf(const Position& p);
  bool PositionAtOrdinal(int64_t ordinal, Position* p);
  int64_t MoveByKey(int64_t n, uint32_t flags);

  uint32_t m_nOrder = 32;
  uint32_t m_nMinFill = 16;
  uint32_t m_nKeySize = 0;
  uint32_t m_nDataSize = 0;
  uint32_t m_nInnerSize = 0;
  uint32_t m_nLeafSize = 0;
  uint32_t m_nLeafDataOffset = 0;
  uint32_t m_nLeafBitsOffset = 0;
  KeyCompare m_pfnCompare = nullptr;
  CNABlockPool m_clNodes;
  CNABlockPool m_clLeaves;
  CNABlockPool m_aclSets[kDuplicateClasses];
  uint32_t m_nRoot = 0;
  uint32_t m_nHeight = 0;  // internal levels above the leaves
  int64_t m_nCount = 0;
  uint32_t m_nNested = 0;  // nested trees alive

  Position m_stPos;
  bool m_bStale = false;    // the tree changed since the position was taken
  bool m_bBetween = false;  // the position sits before m_stPos's item
  std::vector<uint8_t> m_abySavedKey;
  std::vector<uint8_t> m_abySavedData;
  std::vector<uint8_t> m_abyScratch;  // inner splits: keys, children, two up keys
  std::vector<uint8_t> m_abySetScratch;  // set moves: 65 data items
  bool m_bSavedEnd = false;
};

#endif  // QG_DRIVER_SQL_KEY_TREE_H_
