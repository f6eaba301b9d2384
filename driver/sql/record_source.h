// A session's handle on the complete result of one of its table access
// objects, so that reads, counts and client-side indexes (temporary_index.h)
// need no SQL: bound to one object, it takes over that object's complete
// record cache as the session's record set when it is first opened.
//
// Ownership: one reference on the bound object and on the record set; the
// session pointer holds none. Lock: none of its own; used under its
// session's lock.
#ifndef QG_DRIVER_SQL_RECORD_SOURCE_H_
#define QG_DRIVER_SQL_RECORD_SOURCE_H_

#include <cstdint>
#include <map>

#include "driver/core/refcounted.h"
#include "driver/sql/filter.h"
#include "driver/sql/row_values.h"

class CNAError;
class CNAItem;
class CNARecordCacheBase;
class CNARecordImage;
class CNASession;
class CNAStatement;
class CNATableAccess;
class CNATemporaryIndex;
class INACopyContext;

class CNARecordSource : public CNARefCounted {
 public:
  explicit CNARecordSource(CNASession* session);
  ~CNARecordSource() override;

  // Deep copy of a source into this empty one: the session and the record
  // set through the context (or cloned), the filter reference copied.
  virtual bool CopyFrom(CNARecordSource* source, INACopyContext* context);  // 2
  // Opens this source, then a copy of it (no reference taken); null when it
  // cannot open or the copy fails, leaving no registration in the context.
  virtual CNARecordSource* pclClone(INACopyContext* context);               // 3
  // Binds the object (one reference) and records its filter.
  virtual bool Bind(CNATableAccess* access);                                // 4

  // Binds the object when none is bound yet, and switches its record cache
  // on in every case. True when an object was already bound, else Bind's.
  bool bAttach(CNATableAccess* access);
  bool bIsBoundTo(const CNATableAccess* access) const { return m_pBound == access; }
  // No bound object, or its record cache is on and holds the whole result.
  bool bIsReady() const;
  // The record set: taken over from the bound object on the first call;
  // null when the bound object has no complete record cache. The session's
  // current object keeps its position across the opening, and no saved
  // position is left behind on any path.
  CNARecordCacheBase* pclOpen(CNAError* error);
  bool bIsOpen() const { return m_pRecordSet != nullptr; }
  // Open: whether it is the record set; before: the bound object's cache.
  bool bIsOpenedRecordSet(const CNARecordCacheBase* cache) const;
  // A built index for the object ordered by the item (no reference
  // taken), or null.
  CNATemporaryIndex* pclCreateTemporaryIndex(CNATableAccess* access, CNAItem* item,
                                            CNAError* error);
  // Valid records of the record set (opening it when needed), 0 when it
  // cannot open.
  int64_t nGetRecordCount(CNAError* error);
  bool bIsEmpty() const { return m_pBound == nullptr && m_pRecordSet == nullptr; }
  // The valid entry of the open record set that holds the same record as
  // `image` (the first of whole duplicates), -1 when none or not open.
  int nFindEntry(const CNARecordImage& image);
  // After a write through the session, on the open record set: kind 3 adds
  // `image` (the record added, as the server holds it) and answers its
  // entry; 2 puts `image` (the record as modified) into `entry`; 4 marks
  // `entry` invalid. -1 when nothing was done (not open, no entry).
  int nNoteWrite(int kind, int entry, CNARecordImage* image, CNAError* error);
  // What names the record of an entry written through the session (its
  // row as the server holds it since), in place of the row the entry was
  // read from; null when the entry was not written.
  void SetWrittenRow(int entry, const NARowValues& row);
  const NARowValues* pclGetWrittenRow(int entry) const;

  CNASession* pclGetSession() const { return m_pSession; }
  CNATableAccess* pclGetBound() const { return m_pBound; }
  CNARecordCacheBase* pclGetRecordSet() const { return m_pRecordSet; }
  // The statement whose result rows are the record set's entries, in
  // order (entry n is its row n), kept from the bound object when opened.
  CNAStatement* pclGetRowResult() const { return m_pRowResult; }
  const CNAFilterRef& GetFilterRef() const { return m_clFilterRef; }

 private:
  CNASession* m_pSession;
  CNATableAccess* m_pBound = nullptr;
  CNARecordCacheBase* m_pRecordSet = nullptr;
  CNAStatement* m_pRowResult = nullptr;
  CNAFilterRef m_clFilterRef;
  std::map<int, NARowValues> m_mapWrittenRows;
};

#endif  // QG_DRIVER_SQL_RECORD_SOURCE_H_
