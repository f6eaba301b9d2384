// Client-side indexes: the entries of a record cache ordered by the value
// of one item, so that a reader can go to the first, last, next, previous
// and keyed record without asking the server. An index stores entry
// numbers, never rows.
//
// What an index reads of the records stands behind CNAIndexSource (the
// cache's entries and the indexed item's values) and CNAIndexReader (the
// reader's key range). Indexes take no lock.
#ifndef QG_DRIVER_SQL_INDEX_H_
#define QG_DRIVER_SQL_INDEX_H_

#include <cstddef>
#include <cstdint>

class CAny;
class CNAError;

// The records an index orders.
class CNAIndexSource {
 public:
  virtual ~CNAIndexSource() = default;
  // Entries 0 .. count - 1 of the cache.
  virtual int nGetEntryCount() = 0;
  // The entry's state word; entries in state kNAEntryRemoved are not
  // indexed.
  virtual uint32_t nGetEntryState(int entry) = 0;
  // The indexed item's value in a cached entry; false when it cannot be read.
  virtual bool bReadEntryValue(int entry, CAny* value) = 0;
  // The indexed item's value in the current record.
  virtual bool bReadCurrentValue(CAny* value) = 0;
  // Whether the cached entry holds the current record.
  virtual bool bSameRecord(int entry) = 0;
  // The indexed item's Velisc type, value length in bytes (texts with their
  // terminator), and for a DECIMAL its digits and scale.
  virtual void GetKeyType(int* type, size_t* length, int* digits, int* scale) = 0;
};

// The reader's key range: while it is active, positioning on the first or
// last record starts from its bound.
class CNAIndexReader {
 public:
  virtual ~CNAIndexReader() = default;
  virtual bool bKeyRangeActive() = 0;
  virtual bool bGetRangeBound(CAny* bound) = 0;
};

// State word of a cache entry that is not indexed.
constexpr uint32_t kNAEntryRemoved = 128;

// Positioning kinds.
enum : int { kNAIndexFirst = 0, kNAIndexLast = 1, kNAIndexForward = 2, kNAIndexBackward = 3 };

class CNAIndex {
 public:
  // Neither object is owned; both outlive the index. `reader` may be null.
  CNAIndex(CNAIndexSource* source, CNAIndexReader* reader)
      : m_pclSource(source), m_pclReader(reader) {}
  virtual ~CNAIndex() = default;                                             // 0
  CNAIndex(const CNAIndex&) = delete;
  CNAIndex& operator=(const CNAIndex&) = delete;

  // Indexes every entry not in state kNAEntryRemoved; false on the first
  // failure (out of memory marks `error`, which may be null).
  virtual bool bBuild(CNAError* error) = 0;                                    // 1
  // Adds an entry under `key` (null: the entry's cached value).
  virtual bool bAddRecord(int entry, const CAny* key, CNAError* error) = 0;     // 2
  // Removes an entry indexed under `key` (null: the entry's cached value).
  virtual bool bRemoveRecord(int entry, const CAny* key) = 0;                 // 3
  // Moves (kinds above, other kinds stay) and answers the entry there, -1
  // when none. With `duplicates`, also the items under the current key from
  // the current one on whose cached record is the current record.
  virtual bool bPosition(int kind, int count, int* entry, int* duplicates,
                         CNAError* error) = 0;                                 // 4
  virtual int nGetCurrentRecord() = 0;                                        // 5
  virtual int nGetCount() = 0;                                                // 6
  virtual int nGetPosition() = 0;                                             // 7
  virtual bool bSeek(int entry, int count, bool* found, CNAError* error) = 0;   // 8

 protected:
  bool bRangeActive() { return m_pclReader != nullptr && m_pclReader->bKeyRangeActive(); }

  CNAIndexSource* m_pclSource;
  CNAIndexReader* m_pclReader;
  bool m_bCurrentRemoved = false;
};

#endif  // QG_DRIVER_SQL_INDEX_H_
