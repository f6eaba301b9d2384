// The client-side index of an item whose values live in the record's value
// list (large objects): entry numbers in a sorted array, compared by the
// bytes of the item's cached values (byte comparison over the shorter
// length, then the shorter first). Entries with a null value form a run at
// the front, followed by the run of entries with an empty value.
#ifndef QG_DRIVER_SQL_INDEX_ARRAY_H_
#define QG_DRIVER_SQL_INDEX_ARRAY_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/sql/index.h"
#include "support/any.h"

class CNAIndexArray : public CNAIndex {
 public:
  using CNAIndex::CNAIndex;

  bool bBuild(CNAError* error) override;
  // The key is always the entry's cached value.
  bool bAddRecord(int entry, const CAny* key, CNAError* error) override;
  bool bRemoveRecord(int entry, const CAny* key) override;
  bool bPosition(int kind, int count, int* entry, int* duplicates, CNAError* error) override;
  // -1 outside the array and after the current entry was removed.
  int nGetCurrentRecord() override;
  int nGetCount() override { return static_cast<int>(m_anEntries.size()); }
  int nGetPosition() override { return m_nCurrent; }
  // -1: by the current record's value (the last equal entry, else the
  // insertion point, which may be the length); an array index: that
  // position.
  bool bSeek(int entry, int count, bool* found, CNAError* error) override;

  int nGetEmptyRunEnd() const { return m_nEmptyEnd; }
  const std::vector<int32_t>& Entries() const { return m_anEntries; }

 private:
  // A value that is null or holds nothing.
  static bool bIsNull(const CAny& value);
  // The bytes of a value: none for a null or empty one.
  static void ValueBytes(const CAny& value, const uint8_t** bytes, size_t* n);
  bool bReadKey(int entry, std::vector<uint8_t>* out, bool* null);
  int Compare(size_t index, const std::vector<uint8_t>& key);
  // First index of the non-empty run whose key is above `key` (`upper`) or
  // at or above it.
  size_t Bound(const std::vector<uint8_t>& key, bool upper);
  // The position of a key (`null`: the null key, below the empty one):
  // with `last`, the last equal entry, else the first; when absent, the
  // insertion point, or with `backward` the last smaller entry. *found
  // tells which.
  int Search(const std::vector<uint8_t>& key, bool null, bool last, bool backward, bool* found);

  std::vector<int32_t> m_anEntries;
  int m_nCurrent = -1;
  int m_nEmptyEnd = -1;  // last entry of the empty-key run (nulls first), -1 when none
  int m_nNullEnd = -1;   // last entry of the null run, -1 when none
  CAny m_clScratch;
  std::vector<uint8_t> m_abyKey;
};

#endif  // QG_DRIVER_SQL_INDEX_ARRAY_H_
