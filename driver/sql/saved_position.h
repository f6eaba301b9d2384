// CNASavedPosition: a position of a table access object kept for the host:
// three record numbers (-1: none), the session's record-cache entry that
// holds its record (-1: none), the search state and filter of the moment,
// the name of its table access object and a linked object.
//
// Holding an entry takes one use of it in the session's record cache, and
// the position gives that use back when it moves or goes. Reference-
// counted; it holds one reference on the record cache whose entry it uses
// and on the linked object; the session is a plain pointer. No lock: used
// under the session's lock.
#ifndef QG_DRIVER_SQL_SAVED_POSITION_H_
#define QG_DRIVER_SQL_SAVED_POSITION_H_

#include <cstdint>
#include <utility>
#include <vector>

#include "driver/core/refcounted.h"
#include "driver/sql/filter.h"
#include "driver/sql/search_state.h"
#include "support/any.h"
#include "support/ctstring.h"

class CNARecordCache;
class INACopyContext;

class CNASavedPosition : public CNARefCounted {
 public:
  CNASavedPosition() = default;
  ~CNASavedPosition() override;

  int64_t nGetRecord(int i) const { return i >= 0 && i < 3 ? m_anRecords[i] : -1; }
  void SetRecord(int i, int64_t n) {
    if (i >= 0 && i < 3) m_anRecords[i] = n;
  }
  CNARefCounted* pclGetSession() const { return m_pSession; }
  void SetSession(CNARefCounted* session) { m_pSession = session; }

  // Holds entry `slot` of `cache` (one use taken), giving back the entry
  // held before. False when the cache has no such entry (nothing held
  // then).
  bool bAttachSlot(CNARecordCache* cache, int slot);
  // The same without an answer.
  void MoveToSlot(CNARecordCache* cache, int slot) { bAttachSlot(cache, slot); }
  // Gives the entry's use back.
  void ReleaseSlot();
  int nGetSlot() const { return m_nSlot; }
  CNARecordCache* pclGetCache() const { return m_pCache; }

  CNASearchState& GetSearchState() { return m_clSearch; }
  CNAFilterRef& GetFilter() { return m_clFilter; }
  void SetName(const char16_t* name) { m_strName.Set(name); }
  const char16_t* pszGetName() const { return m_strName.pszGet(); }
  // Takes a reference (null: none).
  void SetLinkedObject(CNARefCounted* object);
  CNARefCounted* pclGetLinkedObject() const { return m_pLinked; }

  // The values of the table's unique key in the record saved (empty when
  // the table has none or no record was current).
  const std::vector<CAny>& KeyValues() const { return m_aclKey; }
  void SetKeyValues(std::vector<CAny> values) { m_aclKey = std::move(values); }
  // The record the position stands on, as its identity: the columns (of
  // the table description) that name one record, their values as read,
  // and the key the object was read along. Empty when no record was
  // current.
  void SetIdentity(std::vector<int> columns, std::vector<CAny> values, const char16_t* key) {
    m_anIdentityColumns = std::move(columns);
    m_aclIdentity = std::move(values);
    m_strIdentityKey.Set(key);
  }
  const std::vector<int>& IdentityColumns() const { return m_anIdentityColumns; }
  const std::vector<CAny>& IdentityValues() const { return m_aclIdentity; }
  const char16_t* pszGetIdentityKey() const { return m_strIdentityKey.pszGet(); }
  // Every field. The entry: when the copy context holds a copy of the
  // cache (its entries copied with their uses, this holder's included),
  // the same entry of that copy without a new use; otherwise a new use of
  // the same entry.
  void CopyFrom(const CNASavedPosition& other, INACopyContext* context);
  // A new position copied from this one (no reference taken); null when
  // memory runs out.
  CNASavedPosition* pclClone(INACopyContext* context) const;

 private:
  int64_t m_anRecords[3] = {-1, -1, -1};
  CNARefCounted* m_pSession = nullptr;
  CNARecordCache* m_pCache = nullptr;
  int m_nSlot = -1;
  CNASearchState m_clSearch;
  CNAFilterRef m_clFilter;
  CTString m_strName;
  CNARefCounted* m_pLinked = nullptr;
  std::vector<CAny> m_aclKey;
  std::vector<int> m_anIdentityColumns;
  std::vector<CAny> m_aclIdentity;
  CTString m_strIdentityKey;
};

#endif  // QG_DRIVER_SQL_SAVED_POSITION_H_
