// The client-side index over fixed-size sortable key images of the indexed
// item's values: a key tree of (key image, entry number) pairs.
#ifndef QG_DRIVER_SQL_INDEX_TREE_H_
#define QG_DRIVER_SQL_INDEX_TREE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/sql/index.h"
#include "driver/sql/key_tree.h"

class CNAIndexTree : public CNAIndex {
 public:
  static constexpr uint32_t kOrder = 32;

  using CNAIndex::CNAIndex;

  bool bBuild(CNAError* error) override;
  bool bAddRecord(int entry, const CAny* key, CNAError* error) override;
  bool bRemoveRecord(int entry, const CAny* key) override;
  bool bPosition(int kind, int count, int* entry, int* duplicates, CNAError* error) override;
  int nGetCurrentRecord() override;
  int nGetCount() override;
  // The ordinal of the current entry from the tree's counts (the position
  // does not move); -1 when there is none.
  int nGetPosition() override;
  // With an entry number: exactly that entry under the current record's
  // key. With -1: the current record's key (*found), then among its
  // entries the current record, then on at most `count` entries while they
  // hold the current record.
  bool bSeek(int entry, int count, bool* found, CNAError* error) override;

  size_t nGetKeySize() const { return m_nKeySize; }
  CNAKeyTree& Tree() { return m_clTree; }

 private:
  // The key image of a value (no value: the entry's cached value) into
  // `out`: a null mark byte, then the value's sortable image. A null value,
  // and one that cannot be brought to the key's type, has the image of
  // zeros and sorts before every other value.
  bool bMakeKey(int entry, const CAny* value, uint8_t* out);
  // The build for pairs of at most 16 bytes: each sorted as two numbers,
  // with no pair buffer to index into.
  bool bBuildPacked(int count, size_t stride, CNAError* error);
  void EncodeKey(const CAny& value, uint8_t* out);
  bool bSeekRangeBound(bool last);
  int nEntryHere();

  CNAKeyTree m_clTree;
  bool m_bBuilt = false;
  size_t m_nKeySize = 0;
  int m_nType = 0;
  int m_nDigits = 0;
  int m_nScale = 0;
  int m_nFastClass = 0;  // storage class of a fixed-width key, else 0
  // Bytes: the image ends with the length of the value's image, so that a
  // value and the same value followed by zero bytes differ.
  bool m_bWithLength = false;
  std::vector<uint8_t> m_abyKey;
};

#endif  // QG_DRIVER_SQL_INDEX_TREE_H_
