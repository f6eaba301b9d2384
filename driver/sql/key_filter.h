// CNAKeyFilter: the conditions that continue a read along a key from one
// key value: the equality that finds the records of that value, and the
// forward (">") and backward ("<") trees that select the records after or
// before it in the key's order. One of the three is active; the table
// access object switches between equality and a direction as it reads,
// and has the active tree (with its own filter, when active) written into
// its SELECT.
//
// The key value is either the bytes the host hands over (the key's parts
// packed one after the other, possibly cut short) or the current record's
// values. With the record mode the condition identifies one record: a key
// that is not unique is followed by the table's identifying keys, so that
// reading on from a record among equal key values neither repeats nor
// skips one.
//
// Reference-counted (two counters); holds one reference on its table and
// on its trees. One thread at a time (the owner's session lock).
#ifndef QG_DRIVER_SQL_KEY_FILTER_H_
#define QG_DRIVER_SQL_KEY_FILTER_H_

#include <cstdint>
#include <vector>

#include "driver/core/refcounted.h"
#include "driver/sql/filter.h"
#include "driver/sql/key_condition.h"

class CNAColumn;
class CNAError;
class CNAFileDescription;
class CNASQLGenerator;
class INACopyContext;

// What a key filter reads of its table. The session's file description
// answers through its items; tests give their own.
class CNAKeyTable : public CNARefCounted {
 public:
  // How a leaf writes the column (a plain key, or one part of a composite
  // key): its item, quoted name and types. False when the table has no
  // item for it.
  virtual bool bDescribe(const CNAColumn& column, NAFilterColumn* out) = 0;
  // The column's value in the current record (null when it has none).
  virtual bool bReadCurrentValue(const CNAColumn& column, CAny* out, CNAError* error) = 0;
  // Whether the column's item has a value in the current record (present,
  // neither null nor empty); for a composite key, whether any part has.
  virtual bool bHasValue(const CNAColumn& column) = 0;
  // The unique key that identifies the current record, null when none.
  virtual const CNAColumn* pclGetIdentifyingKey(CNAError* error) = 0;
  // The plain columns that identify a record, in identification order.
  virtual std::vector<const CNAColumn*> KeyOrder() = 0;
  // Whether the first count - 1 columns are exactly the parts of a unique
  // composite key (a condition on them then finds one record).
  virtual bool bPrefixIsUnique(const CNAColumn* const* parts, int count) = 0;
  // Whether a column is read in descending order.
  virtual bool bIsDescending(const CNAColumn& column);
  // The code page of 8-bit texts in key values.
  virtual uint32_t nGetCodePage() { return 1252; }
};

class CNAKeyFilter : public CNARefCounted {
 public:
  // States.
  static constexpr int kStateNone = 0;
  static constexpr int kStateEquality = 1;
  static constexpr int kStateDirection = 2;
  // Mode flags.
  static constexpr unsigned kModePrefix = 1;       // the last part given matches as a prefix
  static constexpr unsigned kModeRecord = 2;       // the condition identifies a record
  static constexpr unsigned kModePartial = 4;      // the key value is shorter than the key
  static constexpr unsigned kModeCurrent = 8;      // values from the current record
  static constexpr unsigned kModeEqualityOnly = 16;  // no direction trees
  // Marker of nodes made for a composite key outside the record mode.
  static constexpr unsigned kNodeMarker = 0x100;

  // One reference on the table (may be null until a key is set).
  explicit CNAKeyFilter(CNAKeyTable* table = nullptr);
  ~CNAKeyFilter() override;

  // --- virtual operations in slot order (0 and 1 are the base's) ---
  // Empties the generator (markers dropped), brings the trees up to date
  // (SetChanged) and writes the active tree,
  // ANDed with `filter`'s tree when that reference is active. With neither
  // it writes nothing. The trees themselves stay unchanged.
  virtual bool bApply(CNASQLGenerator& generator, const CNAFilterRef* filter,
                      const NAFilterWriteOptions& options, CNAError* error);     // 2
  virtual bool bMustSwitch(int direction) const;                              // 3
  // A new empty filter node for the trees.
  virtual CNAFilter* pclNewNode() const;                                      // 4
  virtual bool bSwitchCondition(int direction);                               // 5
  // A new filter copied from this one, one reference; null when memory
  // runs out.
  virtual CNAKeyFilter* pclClone(INACopyContext* context) const;              // 6
  // A new empty filter of the same class over the same table.
  virtual CNAKeyFilter* pclNew() const;                                       // 7
  virtual CNAKeyFilter* pclCopyShared(INACopyContext* context) const;         // 8
  // The table (through the context when it holds its copy), state,
  // direction, changed flag, mode, key value and linked key, and the four
  // trees (deep copies, the active one among them).
  virtual void CopyFrom(const CNAKeyFilter& other, INACopyContext* context);  // 9

  // --- building ---
  // From the key value the host gave: mode 0 (exact) or start-of-key
  // (exact false). `key` is the key's column (a composite key's parts are
  // its parts); size is the bytes of `value`. A malformed value, or a key
  // the table has no item for, leaves no condition (state 0, success).
  bool bSetKeyValue(CNAKeyTable* table, const CNAColumn* key, const uint8_t* value, size_t size,
                    bool exact, CNAError* error);
  // From the current record: the record mode, equality only when exact.
  bool bSetKeyOfRecord(CNAKeyTable* table, const CNAColumn* key, bool exact, CNAError* error);
  // The same over a file description's items, names quoted by its
  // connection (the table is kept for the next call on that description).
  bool bSetKeyValue(CNAFileDescription* description, const CNAColumn* key, const uint8_t* value,
                    size_t size, bool exact, CNAError* error);
  bool bSetKeyOfRecord(CNAFileDescription* description, const CNAColumn* key, bool exact,
                       CNAError* error);
  // Builds the trees for a mode (see above). Answers false only on a
  // failure to read or to allocate.
  bool bBuild(CNAKeyTable* table, const CNAColumn* key, const uint8_t* value, size_t size,
              unsigned mode, CNAError* error);
  // Drops every tree: no condition.
  void Reset();
  // The current record changed: a condition read from it is built again
  // (same mode, state and direction) before it is next written.
  void SetChanged() { m_bChanged = true; }
  bool bIsChanged() const { return m_bChanged; }
  // Nodes made for a composite key outside the record mode carry the
  // marker.
  bool bMarkNodes() const;

  int nGetState() const { return m_nState; }
  int nGetDirection() const { return m_nDirection; }
  unsigned nGetMode() const { return m_nMode; }
  bool bHasCondition() const { return m_nState != kStateNone && m_pActive != nullptr; }
  CNAFilter* pclGetActive() const { return m_pActive; }
  CNAFilter* pclGetEquality() const { return m_pEquality; }
  CNAFilter* pclGetForward() const { return m_pForward; }
  CNAFilter* pclGetBackward() const { return m_pBackward; }
  const CNAColumn* pclGetKey() const { return m_pKey; }
  CNAKeyTable* pclGetTable() const { return m_pTable; }
  // Filters made on the filter's behalf, released with it (one reference
  // each is taken).
  void AddExtraFilter(CNAFilter* filter);

 protected:
  // Replaces one tree slot (reference adopted).
  static void Put(CNAFilter** slot, CNAFilter* adopted);
  void SetTable(CNAKeyTable* table);
  bool bRefresh(CNAError* error);
  // The key table over a description: the present one when it reads that
  // description, else a new one (null when memory runs out).
  CNAKeyTable* pclTableFor(CNAFileDescription* description, CNAError* error);
  void SetKey(const CNAColumn* key);
  void SetActiveTree(CNAFilter* tree);
  // The parts of a key with their values: decoded from the key value, or
  // read from the current record. *usable false: no condition can be made.
  bool bCollectParts(const CNAColumn& key, const uint8_t* bytes, size_t size,
                     std::vector<NAKeyConditionPart>* parts, bool* low, bool* high,
                     bool* usable, CNAError* error);
  // Whether part n (from 1) of the key runs descending.
  bool bPartDescending(const CNAColumn& key, int n);
  bool bAddRecordPart(const CNAColumn& column, std::vector<NAKeyConditionPart>* parts,
                      CNAError* error);

  const uint8_t* Value() const { return m_abyValue.empty() ? nullptr : m_abyValue.data(); }

  CNAKeyTable* m_pTable = nullptr;  // one reference
  const CNAColumn* m_pKey = nullptr;  // one reference (the column object is shared)
  int m_nState = kStateNone;
  int m_nDirection = 4;
  bool m_bChanged = false;
  unsigned m_nMode = 0;
  CNAFilter* m_pEquality = nullptr;
  CNAFilter* m_pForward = nullptr;
  CNAFilter* m_pBackward = nullptr;
  CNAFilter* m_pActive = nullptr;  // its own reference
  std::vector<CNAFilter*> m_apExtra;
  std::vector<uint8_t> m_abyValue;
};

#endif  // QG_DRIVER_SQL_KEY_FILTER_H_
