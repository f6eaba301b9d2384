// One client-side index over a session's record set (the complete record
// cache its record source took over), ordered by one item, kept in step
// with the session's writes. The table access object that switched to a
// client-side key holds it.
//
// Ownership: one reference on the record set and on the item; the index
// itself is owned; the table access object is pointed at without a
// reference. Lock: none of its own; used under its session's lock.
#ifndef QG_DRIVER_SQL_TEMPORARY_INDEX_H_
#define QG_DRIVER_SQL_TEMPORARY_INDEX_H_

#include <cstdint>
#include <memory>

#include "driver/core/refcounted.h"
#include "driver/sql/index.h"

class CNAError;
class CNAItem;
class CNARecordCacheBase;
class CNARecordImage;
class CNATableAccess;
class INACopyContext;

class CNATemporaryIndex : public CNARefCounted, private CNAIndexSource {
 public:
  // Holds the record set and the item (one reference each); no index yet.
  CNATemporaryIndex(CNATableAccess* access, CNARecordCacheBase* record_set, CNAItem* item);
  // Empty, for copies.
  CNATemporaryIndex();
  ~CNATemporaryIndex() override;

  // Copies the source's parts through the context (the item and the record
  // set cloned when the context has no copy) and builds a new index when
  // the source had one.
  virtual bool CopyFrom(CNATemporaryIndex* source, INACopyContext* context);  // 2

  // Builds the index: an array index when the item's values live in the
  // record's value list, else a tree. Out of memory marks the error.
  bool bBuild(CNAError* error);
  // The index's positioning (the index must be built).
  bool bPosition(int kind, int count, int* entry, CNAError* error);
  int nGetCurrentRecord();  // -1 without an index
  int nGetCount();          // 0 without an index
  int nGetPosition();       // 0 without an index
  bool bSeek(int entry, int count, bool* found, CNAError* error);  // false without an index
  // After a write of the session: 2 changed, 3 inserted (the record set
  // already holds it), 4 deleted the record of `entry`. The old key is the
  // entry's as the record set holds it, the new one the item's current
  // value; a changed record replaces the entry. A key value that cannot be
  // read leaves the index to be rebuilt before its next use.
  void UpdateForRecordChange(int kind, int entry, CNAError* error);

  bool bHasIndex() const { return m_pIndex != nullptr; }
  bool bNeedsRebuild() const { return m_bRebuild; }
  CNAItem* pclGetItem() const { return m_pItem; }
  CNARecordCacheBase* pclGetRecordSet() const { return m_pRecordSet; }
  CNATableAccess* pclGetAccess() const { return m_pAccess; }
  void SetAccess(CNATableAccess* access) { m_pAccess = access; }

 private:
  // CNAIndexSource over the record set and the item.
  int nGetEntryCount() override;
  uint32_t nGetEntryState(int entry) override;
  bool bReadEntryValue(int entry, CAny* value) override;
  bool bReadCurrentValue(CAny* value) override;
  bool bSameRecord(int entry) override;
  void GetKeyType(int* type, size_t* length, int* digits, int* scale) override;

  // The item's value in a record image; false when it cannot be read.
  bool bReadImageValue(CNARecordImage* image, CAny* value);
  bool bValuesInList() const;
  // Rebuilds an index marked stale; false when that fails.
  bool bFresh(CNAError* error);

  CNARecordCacheBase* m_pRecordSet = nullptr;
  std::unique_ptr<CNAIndex> m_pIndex;
  CNAItem* m_pItem = nullptr;
  CNATableAccess* m_pAccess = nullptr;
  CNARecordImage* m_pScratch = nullptr;
  bool m_bRebuild = false;
};

#endif  // QG_DRIVER_SQL_TEMPORARY_INDEX_H_
