// The record cache: rows already read from the server, kept as numbered
// entries, so that moving back and forth, re-reading a record and building
// a client-side index need no request. An entry holds the row image (the
// bytes of the table's row buffer), the record's value list (values that
// do not live in the row buffer), a record identifier and a state word
// (128: invalid). A hash table maps stored identifiers to entry numbers.
//
// CNARecordCacheBase is the cursor cache of a table access object;
// CNARecordCache, the session's, adds a use count per entry so that saved
// positions can hold entries and free ones are reused, and refuses the
// operations that would renumber entries.
//
// No lock: a cache is used under its owner's lock. Failures are results
// (0, -1, null); where an error object is given, memory that cannot be had
// marks it.
#ifndef QG_DRIVER_SQL_RECORD_CACHE_H_
#define QG_DRIVER_SQL_RECORD_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/refcounted.h"
#include "support/hashtable_bounce.h"

class CNARowBuffer;
class CNAValue;
class CNAValueConverter;
class CNAError;

// State word of an invalid entry.
constexpr uint32_t kNARecordInvalid = 128;

// The values of one record that do not live in its row buffer, by item
// number; each slot holds one reference.
class CNARecordValues : public CNARefCounted {
 public:
  ~CNARecordValues() override;
  int nGetCount() const { return static_cast<int>(m_apValues.size()); }
  CNAValue* pclGet(int i) const;
  // Takes a reference on `value` (null empties the slot).
  bool bSet(int i, CNAValue* value);
  // Value by value from `other` (a copy of the source value into a missing
  // slot); slots beyond the source's length are emptied. Null counts as an
  // empty list.
  bool bCopyFrom(const CNARecordValues* other);
  // Value by value; a missing list counts as empty.
  static bool bEqual(const CNARecordValues* a, const CNARecordValues* b);
  void Clear();

 private:
  std::vector<CNAValue*> m_apValues;
};

// What tells two records apart.
class CNARecordIdentifier : public CNARefCounted {
 public:
  virtual int nGetKind() const = 0;
  // A new identifier equal to this one (no reference taken); null when
  // memory runs out.
  virtual CNARecordIdentifier* pclClone() const = 0;
  virtual bool bEquals(const CNARecordIdentifier& other) const = 0;
  // Takes the identity stored in an image.
  virtual bool bRefreshFromImage(const uint8_t* image, size_t size) = 0;
  virtual size_t nGetImageSize() const = 0;
  virtual void WriteImage(uint8_t* out) const = 0;
  virtual uint32_t nGetChecksum() const = 0;
  virtual std::u16string Dump() const = 0;
  // Installs the stored-image hash and comparison of this kind.
  virtual void RegisterHashCallbacks(CHashTableBounce* table) const = 0;
};

// Kind 1: the record is its whole row image. The stored image holds the
// checksum, the size, the row's address and the value list's address.
class CNARowIdentifier : public CNARecordIdentifier {
 public:
  struct Image {
    uint32_t nChecksum;
    uint32_t nSize;
    const uint8_t* pRow;
    const CNARecordValues* pValues;
  };
  CNARowIdentifier(const uint8_t* row, uint32_t size, const CNARecordValues* values);
  int nGetKind() const override { return 1; }
  CNARecordIdentifier* pclClone() const override;
  bool bEquals(const CNARecordIdentifier& other) const override;
  bool bRefreshFromImage(const uint8_t* image, size_t size) override;
  size_t nGetImageSize() const override { return sizeof(Image); }
  void WriteImage(uint8_t* out) const override;
  uint32_t nGetChecksum() const override;
  std::u16string Dump() const override;
  void RegisterHashCallbacks(CHashTableBounce* table) const override;
  // The sum of the bytes read as 32-bit little-endian words, then each
  // remaining byte, modulo 2^32.
  static uint32_t nChecksum(const uint8_t* bytes, size_t size);
  // Points the identifier at another row and value list.
  void Repoint(const uint8_t* row, uint32_t size, const CNARecordValues* values) {
    m_pRow = row;
    m_nSize = size;
    m_pValues = values;
  }

 private:
  const uint8_t* m_pRow;
  uint32_t m_nSize;
  const CNARecordValues* m_pValues;
};

// Kind 3: the record is a key value (a value converter it holds a
// reference on). The stored image: a hash of the value, its byte length,
// then its bytes.
class CNAKeyIdentifier : public CNARecordIdentifier {
 public:
  explicit CNAKeyIdentifier(CNAValueConverter* value);
  ~CNAKeyIdentifier() override;
  int nGetKind() const override { return 3; }
  CNARecordIdentifier* pclClone() const override;
  bool bEquals(const CNARecordIdentifier& other) const override;
  bool bRefreshFromImage(const uint8_t* image, size_t size) override;
  size_t nGetImageSize() const override;
  void WriteImage(uint8_t* out) const override;
  uint32_t nGetChecksum() const override;
  std::u16string Dump() const override;
  void RegisterHashCallbacks(CHashTableBounce* table) const override;
  CNAValueConverter* pclGetValue() const { return m_pValue; }

 private:
  CNAValueConverter* m_pValue;
};

// The carrier of one record: row buffer, value list, identifier (each
// optional, one reference each) and a flag word. A whole-row identifier
// (kind 1) always denotes the image's own row buffer and value list: it is
// pointed at them again whenever either changes or the image is copied.
class CNARecordImage : public CNARefCounted {
 public:
  enum : uint32_t { kRow = 1, kValues = 2, kIdentifier = 4 };
  ~CNARecordImage() override;

  CNARowBuffer* pclGetRowBuffer() const { return m_pRow; }
  CNARecordValues* pclGetValues() const { return m_pValues; }
  CNARecordIdentifier* pclGetIdentifier() const { return m_pIdentifier; }
  uint32_t nGetFlags() const { return m_nFlags; }
  void SetFlags(uint32_t flags) { m_nFlags = flags; }
  // Each takes a reference and releases what was there.
  void SetRowBuffer(CNARowBuffer* row);
  void SetValues(CNARecordValues* values);
  void SetIdentifier(CNARecordIdentifier* identifier);

  // Copies the parts named by `mask` (a missing row buffer is made from the
  // other's; the identifier is cloned) and always the flag word. False when
  // memory runs out.
  bool bCopyFrom(const CNARecordImage& other, uint32_t mask);
  // A new image (no reference taken) with the parts of `mask`.
  CNARecordImage* pclClone(uint32_t mask) const;
  // Row buffers equal and, with `values`, value lists equal.
  bool bEquals(const CNARecordImage& other, bool values) const;

 private:
  void RepointIdentifier();

  CNARowBuffer* m_pRow = nullptr;
  CNARecordValues* m_pValues = nullptr;
  CNARecordIdentifier* m_pIdentifier = nullptr;
  uint32_t m_nFlags = 0;
};

// Items of one size each, packed into pages that only grow until Clear.
// Every item is a 32-bit length followed by its bytes.
class CNARecordStore {
 public:
  CNARecordStore() = default;
  ~CNARecordStore();
  CNARecordStore(const CNARecordStore&) = delete;
  CNARecordStore& operator=(const CNARecordStore&) = delete;

  void SetLimits(uint32_t records, size_t bytes);
  size_t nGetCount() const { return m_astEntries.size(); }
  // Stores an item at position `at` (the count appends; later entries move
  // up); null bytes make an entry without item. False when memory runs out.
  bool bInsert(size_t at, const void* bytes, uint32_t size);
  // Overwrites in place when the stored item has the same length, else
  // stores a fresh item; null bytes drop the item.
  bool bReplace(size_t at, const void* bytes, uint32_t size);
  void Remove(size_t at);
  // The item of an entry and its length; null when it has none.
  uint8_t* pGet(size_t at, uint32_t* size) const;
  void Clear();
  size_t nGetPageCount() const { return m_astPages.size(); }
  size_t nGetPageCapacity(size_t page) const { return m_astPages[page].nCapacity; }

 private:
  struct Entry {
    int64_t nOffset;  // -1: no item
    uint32_t nPage;
  };
  struct Page {
    uint8_t* pBase;
    size_t nUsed;
    size_t nCapacity;
  };
  bool bStore(const void* bytes, uint32_t size, Entry* entry);

  std::vector<Entry> m_astEntries;
  std::vector<Page> m_astPages;
  uint32_t m_nHint = 500;
  size_t m_nCap = 0x200000;
};

class CNARecordCacheBase : public CNARefCounted {
 public:
  enum : uint32_t { kActive = 1, kComplete = 8 };

  explicit CNARecordCacheBase(uint32_t flags = 0);
  ~CNARecordCacheBase() override;

  virtual void SetLimits(uint32_t records, size_t bytes);                     // 2
  virtual int nAppend(CNARecordImage* image, CNAError* error);                 // 3
  virtual void RemoveEntry(int n);                                            // 4
  virtual void Clear();                                                       // 5
  virtual bool bCopyFrom(const CNARecordCacheBase& other, CNAError* error);    // 6
  // A new cache of the same class with a copy of the entries (no reference
  // taken); null when memory runs out.
  virtual CNARecordCacheBase* pclClone(CNAError* error) const;                 // 7
  // Appends a record (null: an invalid entry without row); the entry
  // number, -1 when it cannot be stored.
  virtual int nAppendRecord(CNARecordImage* image, CNAError* error);           // 8
  virtual void InsertRecord(CNARecordImage* image, int n);                    // 9

  int nGetCount() const { return static_cast<int>(m_anStates.size()); }
  int nGetInvalidCount() const { return m_nInvalid; }
  uint32_t nGetFlags() const { return m_nFlags; }
  int nGetIdentifierKind() const { return m_nKind; }

  // Entry n into `image` (its row buffer and identifier from the template
  // when it has none).
  bool bReadRecord(CNARecordImage* image, int n, CNAError* error);
  // The entry of an identifier, -1 when absent (or of another kind).
  int nFindRecord(const CNARecordIdentifier* identifier);
  void ReplaceRecord(int n, CNARecordImage* image);
  void SetEntryState(int n, uint32_t state);
  uint32_t nGetEntryState(int n) const;
  bool bIsInvalid(int n) const { return nGetEntryState(n) == kNARecordInvalid; }
  int nInvalidateRecord(const CNARecordIdentifier* identifier);
  // After a write: kind 3 added (at position 0 when `front`, else
  // appended), 2 changed, 4 deleted. The entry number, -1 when none.
  int nNotifyChange(int kind, bool front, const CNARecordIdentifier* identifier,
                    CNARecordImage* image, CNAError* error);
  // Moves along the entries skipping invalid ones: kind 2 forward, 3
  // backward, 1 from after the last, any other from before the first.
  int64_t nMoveBy(int64_t position, int kind, int64_t count) const;
  bool bMustFetch(int64_t n) const;
  void SetComplete();
  // Entry n holds the same record as `image` (row buffers and value lists).
  bool bSameRecord(int n, const CNARecordImage& image);
  const CNARecordImage* pclGetTemplate() const { return m_pTemplate; }
  // Identifier-table size (tests).
  uint32_t nGetIdentifierCount() const { return m_clIdentifiers.nGetNbElement(); }

 protected:
  // Stores the parts of `image` into entry `n` of the stores, which was
  // just opened; false when memory runs out.
  int nPlaceRecord(CNARecordImage* image, int n, bool insert, CNAError* error);
  void DropIdentifier(int n);
  bool bAdoptKind(CNARecordImage* image);

  uint32_t m_nFlags;
  CNARecordStore m_clRows;
  std::vector<CNARecordValues*> m_apValues;
  std::vector<uint32_t> m_anStates;
  int m_nInvalid = 0;
  int m_nKind = 0;
  CNARecordStore m_clIds;
  CHashTableBounce m_clIdentifiers{7};
  std::vector<uint8_t> m_abyLookup;
  CNARecordImage* m_pTemplate = nullptr;
};

class CNARecordCache : public CNARecordCacheBase {
 public:
  CNARecordCache();
  void SetLimits(uint32_t records, size_t bytes) override;
  int nAppend(CNARecordImage*, CNAError*) override { return -1; }
  void RemoveEntry(int) override {}
  void Clear() override;
  CNARecordCacheBase* pclClone(CNAError* error) const override;
  int nAppendRecord(CNARecordImage* image, CNAError* error) override;
  void InsertRecord(CNARecordImage*, int) override {}
  bool CopyFromCache(const CNARecordCache& other, CNAError* error);

  // The entry of the record: its existing one, a free one, or a new one.
  int nStoreRecord(CNARecordImage* image, CNAError* error);
  int nAddRefEntry(int n);
  int nReleaseEntry(int n);
  int nGetFirstFree() const { return m_nFirstFree; }
  int nGetUses(int n) const;

 private:
  std::vector<int32_t> m_anUses;
  int m_nFirstFree = -1;
};

#endif  // QG_DRIVER_SQL_RECORD_CACHE_H_
