// CNASession: the driver's object for one table (or one query) that the host
// opened through one connection, in one host context. The dispatcher finds
// it through the registry of the handle's context and calls its operations;
// its table access objects run the SQL.
//
// Ownership: the session holds one reference on every counted object it
// stores (connection, descriptions, caches, table access objects in their
// keyed table, saved positions, filters, record source); the pointer to the
// current table access object holds none of its own. The owner dispatcher
// and the name source (registry) are plain pointers.
//
// Lock: one re-entrant critical section per session, taken by every
// operation the host reaches and held across the operation, server round
// trips included. Order: the owner's session-table lock, then this lock,
// then the connection's lock. A session never calls its owner while it
// holds its own lock: write notifications are queued in a
// CNAPendingNotifications declared before the lock guard and delivered
// when it goes out of scope, after the lock is left (exceptions included).
//
// Operations answer 1 (true) on success and 0 on failure with the error
// object last; a null error object dumps the failure and drops it.
// The virtual operations below are numbered as the session's operation
// table; the four registry-child operations (open flag, close, name source,
// copy) are reached through the base and answer as slots 10, 53 and 58.
#ifndef QG_DRIVER_CORE_SESSION_H_
#define QG_DRIVER_CORE_SESSION_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/core/object_table.h"
#include "driver/core/refcounted.h"
#include "driver/core/registry_child.h"
#include "support/ctstring.h"

class CAny;
class CNAConnection;
class CNADispatcher;
class CNAError;
class CNAFilter;
class CNAItem;
class CNAQuery;
class CNARecordIdentifier;
class CNARecordImage;
class CNARecordCache;
class CNARegistry;
class CNASavedPosition;
class CNARowBuffer;
class CNASQLGenerator;
class CNATableAccess;
class CNATableDescription;
class INACopyContext;
class INAFileDescription;
struct NAEditRecord;
struct NAWriteTarget;
namespace qg {
class IParsedQuery;
}

// Session flags.
enum : uint32_t {
  kNASessionRawSQL = 0x4,
  kNASessionBindPending = 0x10,
  kNASessionNoCacheReads = 0x80,
  kNASessionJoin = 0x80000000u,
};
// Notification flags.
enum : uint32_t {
  kNANotifyTableAccess = 0x1,
  kNANotifySuppress = 0x2,
};

class CNASession;

// Up to three write notifications queued under the session lock and handed
// to the owner dispatcher when this object is destroyed. Declare it before
// the CNALock of the operation so that it is destroyed after the lock is
// left.
class CNAPendingNotifications {
 public:
  explicit CNAPendingNotifications(CNASession* session) : m_pSession(session) {}
  CNAPendingNotifications(const CNAPendingNotifications&) = delete;
  CNAPendingNotifications& operator=(const CNAPendingNotifications&) = delete;
  ~CNAPendingNotifications();

  // Queues (kind, table access object, outcome); false when three are
  // already queued (the fourth is dropped).
  bool bAdd(int32_t kind, CNATableAccess* access, intptr_t outcome);
  int nGetCount() const { return m_nCount; }
  // Delivers what is queued now (the lock must not be held).
  void Deliver();

 private:
  struct Entry {
    int32_t nKind;
    CNATableAccess* pAccess;  // one reference while queued
    intptr_t nOutcome;
  };
  CNASession* m_pSession;
  Entry m_astEntries[3] = {};
  int m_nCount = 0;
};

class CNASession : public CNARegistryChild {
 public:
  // The session of a host file description on a connection: takes a
  // reference on both; quotes the host table name through the connection.
  CNASession(INAFileDescription* file, CNAConnection* connection);
  // Without description and connection, and without record caches: only
  // for the clone operation.
  CNASession();
  ~CNASession() override;  // 0

  // --- registry child ---
  bool bIsOpen() override;
  bool bClose(CNAError* error) override;                                       // 10
  void SetNameSource(CNARegistry* registry) override;                          // 53
  CNARegistryChild* pclCopy(INACopyContext* context, CNAError* error) override;  // 58

  // --- virtual operations in slot order (1 is the base's, answering 0) ---
  virtual bool bReadItemValue(int32_t item, CAny* value, CNAError* error);   // 2
  virtual bool bWriteItemValue(int32_t item, const CAny* value, CNAError* error);  // 3
  virtual bool bItemOperation(int32_t item, intptr_t argument, CNAError* error);  // 4
  virtual bool bCreate(intptr_t argument, int32_t drop_first, CNAError* error);  // 5
  virtual bool bDrop(CNAError* error);                                          // 6
  virtual bool bDeleteAll(CNAError* error);                                     // 7
  virtual bool bOpenOrCreate(intptr_t a, intptr_t b, CNAError* error);        // 8
  virtual bool bOpen(intptr_t a, intptr_t b, CNAError* error);                // 9
  virtual bool bAdd(intptr_t flags, intptr_t lock, CNAError* error);          // 11
  virtual bool bModifyForward(intptr_t record, intptr_t range, intptr_t flags, intptr_t lock,
                              CNAError* error);                                 // 12
  virtual bool bDelete(intptr_t record, intptr_t range, intptr_t mode, CNAError* error,
                       intptr_t extra);                                         // 13
  virtual bool bModify(intptr_t record, intptr_t range, intptr_t flags, intptr_t lock,
                       CNAError* error);                                        // 14
  virtual bool bUnsupported15(intptr_t a, intptr_t b, intptr_t c, CNAError* error);  // 15
  virtual bool bUnsupported16(CNAError* error);                                // 16
  virtual bool bReread(intptr_t record, intptr_t range, intptr_t a, intptr_t b,
                       CNAError* error);                                        // 17
  virtual bool bRead(const char16_t* name, intptr_t direction, intptr_t flags, intptr_t count,
                     intptr_t lock, intptr_t out, CNAError* error);            // 18
  virtual bool bReadByName(const char16_t* name, intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                           intptr_t e, intptr_t f, intptr_t g, CNAError* error);  // 19
  virtual bool bSeek(const char16_t* table, const char16_t* key, intptr_t value, intptr_t a,
                     intptr_t b, intptr_t c, intptr_t d, intptr_t e, CNAError* error);  // 20
  virtual bool bSeekSameName(const char16_t* table, intptr_t value, intptr_t a, intptr_t b,
                             intptr_t c, intptr_t d, intptr_t e, intptr_t f,
                             CNAError* error);                                  // 21
  virtual bool bResetKeyFilter(const char16_t* name);                          // 22
  virtual bool bUnsupported23(intptr_t a, intptr_t b, CNAError* error);       // 23
  virtual bool bHook24(CNAError* /*error*/) { return true; }                   // 24
  virtual bool bUnsupported25(intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                              CNAError* error);                                 // 25
  virtual bool bUnsupported26(intptr_t a, intptr_t b, CNAError* error);       // 26
  virtual bool bSetFilter(const char16_t* name, intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                          intptr_t e, CNAError* error);                         // 27
  virtual bool bSavePosition(intptr_t out_serial, const char16_t* name, intptr_t a,
                             CNAError* error);                                  // 28
  virtual bool bSaveCurrentRecord(intptr_t out_serial, CNAError* error);       // 29
  virtual bool bRestorePosition(intptr_t serial, intptr_t a, intptr_t b, intptr_t c,
                                CNAError* error);                               // 30
  virtual bool bReadSavedRecord(intptr_t serial, intptr_t a, CNAError* error);  // 31
  virtual void ForgetPosition(intptr_t serial);                                // 32
  virtual bool bHook33(intptr_t out);                                          // 33
  virtual bool bCountCurrent(intptr_t flags, CNAError* error, intptr_t out, intptr_t a);  // 34
  virtual bool bCount(intptr_t flags, CNATableAccess* position, int32_t type, int64_t* out,
                      CNAError* error);                                         // 35
  virtual bool bIsQueryResult(intptr_t out, intptr_t a, CNAError* error);     // 36
  virtual int64_t nHook37() { return 0; }                                       // 37
  virtual bool bGetRecordCounter(intptr_t record, intptr_t range, intptr_t out,
                                 CNAError* error);                              // 38
  virtual bool bUnsupported39(intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                              CNAError* error);                                 // 39
  virtual bool bOpenTable(intptr_t out, intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                          intptr_t e, CNAError* error);                         // 40
  virtual bool bPrepareRead(CNATableAccess* access, const char16_t* key, intptr_t a,
                            CNAError* error);                                   // 41
  virtual bool bHook42(intptr_t /*a*/, intptr_t /*b*/, CNAError* /*error*/) { return true; }  // 42
  virtual bool bHook43(intptr_t /*a*/, CNAError* /*error*/) { return true; }  // 43
  virtual bool bHook44(intptr_t /*a*/, CNAError* /*error*/) { return true; }  // 44
  virtual bool bHook45(intptr_t /*a*/, intptr_t /*b*/, CNAError* /*error*/) { return true; }  // 45
  virtual CNATableDescription* pclDescribeTable(const char16_t* name, CNAError* error);  // 46
  virtual int32_t nGetRecordValuesKind() { return 1; }                          // 47
  virtual bool bHandOverCurrent(const char16_t* name, intptr_t a, CNAError* error);  // 48
  virtual bool bRereadValues(bool keep_entry, CNAError* error);               // 49
  virtual bool bDescribeAndCompare(int32_t* exists, int32_t* matches, CNAError* error);  // 50
  virtual CNARefCounted* pclNewSavedPosition();                                // 51
  virtual int32_t nClassifyError(CNAError* error);                             // 52
  virtual void vHook54(intptr_t /*a*/, intptr_t /*b*/) {}                       // 54
  virtual bool bHook55() { return true; }                                       // 55
  virtual void vHook56() {}                                                     // 56
  virtual void CopyFrom(CNASession* source, INACopyContext* context);          // 57
  virtual CNASession* pclClone(INACopyContext* context);                       // 58
  virtual CNATableDescription* pclNewTableDescription();                       // 59
  virtual CNARefCounted* pclNewLogicalDescription(INAFileDescription* file);   // 60
  virtual CNARefCounted* pclNewSQLHelper();                                    // 61
  virtual bool bReadFirstAgain(CNAError* error);                               // 62
  virtual bool bSetColumnValue(int32_t column, const CAny* value, CNAError* error);  // 63
  virtual intptr_t pclGetColumnPart(int32_t column, intptr_t part, CNAError* error);  // 64
  virtual void LockRecord(CNATableAccess* access, CNAError* error);            // 65
  virtual bool bBindDescription(CNAError* error);                              // 66
  virtual void CloseAll();                                                     // 67
  virtual bool bRunWrite(int32_t kind, CNATableAccess* access, intptr_t flags,
                         CNAPendingNotifications* pending, CNAError* error);  // 68
  virtual bool bCheckNoRange(intptr_t record, intptr_t range, CNAError* error);  // 69
  virtual bool bReadOn(CNATableAccess* access, const char16_t* name, int32_t direction,
                       int64_t skip, int64_t rows, intptr_t lock, intptr_t out, intptr_t flags,
                       bool forced_first, CNAError* error);                     // 70
  virtual bool bCreateTable(bool drop_first, bool drop_only, CNAError* error);  // 71
  virtual bool bDeleteAllRecords(CNAPendingNotifications* pending, CNAError* error);  // 72
  virtual void vHook73() {}                                                     // 73
  virtual bool bIndexName(int32_t item, CTString* out, CNAError* error);      // 74
  virtual int32_t nHook75() { return 0; }                                       // 75
  virtual bool bModifyOrInsert(intptr_t flags, CNAPendingNotifications* pending,
                               CNAError* error);                                // 76
  virtual bool bInsert(intptr_t flags, intptr_t lock, CNAPendingNotifications* pending,
                       CNAError* error);                                        // 77
  virtual bool bFallbackRead(CNAError* /*error*/) { return false; }            // 78
  // Whether the records of two saved positions (by serial) are one record:
  // 1 when their unique key values are equal, 0 otherwise or when nothing
  // tells (no unique key, a NULL part).
  virtual int32_t nCompareKeys(int32_t a, int32_t b, intptr_t key, CNAError* error);  // 79
  virtual int32_t nHook80() { return 0; }                                       // 80
  virtual CNARefCounted* pclNewRecordSource(CNAError* error);                  // 81

  // --- operations the dispatcher calls directly (virtual after the table,
  // so that a stand-in session can answer them) ---
  virtual bool bIsAtEnd(const char16_t* name, intptr_t out, CNAError* error);
  virtual bool bIsFoundAndInRange(const char16_t* name, intptr_t found, intptr_t in_range,
                                  CNAError* error);
  virtual bool bCheckRecordSource(intptr_t mode, CNAError* error);
  virtual bool bChooseKeyAndFilter(intptr_t a, intptr_t b, CNAError* error);
  virtual bool bLockRecordOf(const char16_t* name, CNAError* error);
  virtual void DeactivateFilterOf(const char16_t* name);
  virtual bool bGetPositionPerMille(const char16_t* name, int32_t* out, CNAError* error);
  virtual bool bGoToPerMille(const char16_t* name, int32_t value, intptr_t flags,
                             CNAError* error);
  // The current record's row (open table with a logical description), a
  // copy with one reference for the caller, else null. Both take over the
  // caller's reference on `row` and release it.
  virtual CNARowBuffer* pclGetCurrentRow(CNARowBuffer* row);
  // Copies `row` (same layout) into the current record.
  virtual bool bSetCurrentRow(CNARowBuffer* row, CNAError* error);
  virtual intptr_t pclGetColumnPartOfItem(int32_t item, intptr_t part, CNAError* error);
  virtual bool bDropRecordSourceIfAny();
  // Drops the record source (below) and makes a new one (slot 81), which
  // the session keeps; false with an out-of-memory error when none can be
  // made. The caller tells it about `access` when it serves that object.
  bool bRenewRecordSource(CNATableAccess* access, CNAError* error);
  // Tells every table access object that the record source goes (reads
  // along a temporary index over its record set end), then lets it go.
  void DropRecordSource();
  // Drops the record source only when it was built for `access`: bound to
  // it, or, opened, over the record cache that object holds.
  void DropRecordSourceOf(CNATableAccess* access);
  // A read in raw-SQL mode by a name that is not the query's own: the
  // object for the name reads along a client-side key, the temporary index
  // on the item of that name over the raw result (the record source, made
  // again over the result when a read dropped it).
  bool bReadClientKey(const char16_t* name, int32_t direction, int64_t step, intptr_t lock,
                      CNAError* error);
  // In query mode (not raw SQL), a read by `name` with the read flags: a
  // first or last read with 0x4000 (or on a query the connection takes
  // unchanged) keeps the record source, or makes a new one told about the
  // object when it has no key filter, lock or position of its own; with
  // 0x2000 a record source made for another object serves the read along
  // a client-side key (0 when it cannot open), and next and previous along
  // that key go on in it. *served tells whether the read was made here.
  bool bReadFromRecordSource(CNATableAccess* access, const char16_t* name, int32_t direction,
                             uint32_t flags, int64_t step, intptr_t lock, bool* served,
                             CNAError* error);
  virtual bool bComparePositions(intptr_t first, intptr_t second, intptr_t out,
                                 CNAError* error);
  // The record-lock operation on every table access object (after a
  // transaction ended on the connection).
  virtual void LockAllRecords();
  // A write of another session of the same table (kind 2 UPDATE, 3 INSERT,
  // 4 DELETE, 5 delete all).
  virtual void ApplyNotification(int32_t kind, intptr_t access, intptr_t outcome,
                                 CNAError* error);
  // The open path bound a query (1) or a table (0).
  virtual int32_t nGetQueryIndicator();
  // The host file description with one more reference; in query mode the
  // copy of it made on first call. Null without one.
  virtual INAFileDescription* pclGetHostDescription();

  // --- reads of state (under the lock) ---
  const char16_t* pszGetFileName();
  INAFileDescription* pclGetFile();  // one more reference
  CNARefCounted* pclGetLogicalDescription();  // one more reference
  CNASQLGenerator* pclNewSQLGenerator();
  CNARefCounted* pclGetSQLHelper(CNAError* error);  // one more reference
  void SetOwner(CNADispatcher* owner);
  // Clears the owner when it is this dispatcher; waits for a delivery to
  // it in progress. The dispatcher calls it when the session leaves its
  // table, so that no notification reaches a dispatcher that is gone.
  void ClearOwner(CNADispatcher* owner);
  CNADispatcher* pclGetOwner();
  bool bIsModifyingQuery();
  bool bIsRawSQL();
  bool bHasSeveralSources();
  bool bIsHandledByConnection();
  bool bIsQueryReusable();
  // Refreshes the display name: the name source's name when not empty,
  // else the file name.
  void RefreshDisplayName();
  const char16_t* pszGetDisplayName() const { return m_strDisplayName.pszGet(); }
  // Builds a table description named after the file from the open result
  // of a table access object and keeps it.
  bool bLoadTableDescription(CNATableAccess* access, CNAError* error);
  // Binds a table description read from the server (one reference taken):
  // an existing logical description is built again over it, and what the
  // caches and positions hold of the old layout is dropped.
  bool bBindTableDescription(CNATableDescription* description, CNAError* error);
  // By the record-values kind (slot 47): kind 1, a new value list (no
  // reference taken) holding copies of the record's values; else null.
  CNARefCounted* pclNewRecordValues(CNARecordImage* record, CNAError* error);
  // The item's column name quoted by the connection; in query mode, the
  // query's column of that name qualified by its source.
  bool QuoteItemName(CNAItem* item, CTString* out, CNAError* error);

  // --- query mode ---
  // The internal query and the raw SQL object's names.
  static constexpr const char16_t* kInternalQueryName = u"$QGInternal";
  static constexpr const char16_t* kSQLTextName = u"__SQL";
  // Slot 40 on a handle that stands for a query: the open path over the
  // host's query, whose outcome fields it fills.
  bool bOpenHostQuery(intptr_t out, intptr_t flags, CNAError* error);
  // The open path: binds the query (text and the host's parse of it; no
  // text: raw SQL without query) unless a usable one is bound and flag 0x10
  // is clear, then runs it on the object for `name` (raw SQL: the SQL-text
  // object). A SELECT is described from its result and read on along the
  // query's own order; a statement runs once. *has_columns and *rows tell
  // what it gave.
  bool bOpenQuery(const char16_t* text, qg::IParsedQuery* parsed, uint32_t flags,
                  const char16_t* name, bool* has_columns, int64_t* rows, CNAError* error);
  // Runs the raw SQL text as the query "$QGInternal" (flags 0x84); *out:
  // the object holding its result with one more reference, or null when
  // it gave no result with columns.
  bool bGetInternalQuery(CNATableAccess** out, const char16_t* text, CNAError* error);
  // In raw-SQL mode with a bound query, the kept SQL-text object; else the
  // object for "__SQL", found or added. One more reference.
  CNATableAccess* pclGetSQLTextObject(CNAError* error);
  // Files an object (or the one under the old name) under a new name.
  void RenameTableAccess(const char16_t* new_name, const char16_t* old_name,
                         CNATableAccess* object);
  // The name a read in the query's own order (read flag 0x20000) records:
  // the query's first ORDER BY column as its result names it, else the
  // logical description's key item, else "".
  const char16_t* pszOwnOrderName();
  // The key a read by this name follows: in query mode the query's own
  // name stands for the query's own order (the empty key).
  const char16_t* pszReadKeyOf(const char16_t* name);
  // In raw-SQL mode every read moves over the rows of the SQL-text
  // object's result. *handled is false outside that mode.
  // A name that is not the query's own reads along a client-side key
  // (bReadClientKey).
  // A first or last read without the cache flag (0x2000) or 0x20000, other
  // than the first read after the open, runs a text that reads rows again
  // and reads over the new result (bRefreshRawResult).
  bool bReadRawResult(const char16_t* name, int32_t direction, int64_t step, intptr_t lock,
                      uint32_t flags, bool* handled, CNAError* error);
  // Runs the raw text again when it only reads rows (never a statement
  // that changes rows or a call) and makes the record source anew over
  // its result; true with nothing done otherwise.
  bool bRefreshRawResult(CNAError* error);

  // --- table access objects by name (the empty name: the default one) ---
  CNATableAccess* pclFindTableAccess(const char16_t* name);  // one more reference
  CNATableAccess* pclAddTableAccess(const char16_t* name, CNAError* error);  // one more reference
  CNATableAccess* pclGetTableAccess(const char16_t* name, CNAError* error);  // becomes current
  CNATableAccess* pclGetDefaultTableAccess(CNAError* error);
  // As pclGetTableAccess; with read flag 0x8000 the filter of the object
  // current before is carried over to it (and stays in force when it was).
  CNATableAccess* pclGetTableAccessForRead(const char16_t* name, uint32_t flags, CNAError* error);
  CNATableAccess* pclGetCurrentTableAccess() const { return m_pCurrentAccess; }
  uint32_t nGetTableAccessCount() const { return m_tabAccess.nGetCount(); }
  // Walk of the table access objects with their names (under the lock).
  void VisitTableAccess(const std::function<void(const char16_t*, CNATableAccess*)>& f);

  // --- record cache 1 (entries counted by their holders) ---
  // Stores the record an object stands on (the current record it read),
  // else the saved record, and gives its entry with one use for the
  // caller; -1 when there is no record with a row buffer.
  int32_t nCacheRecord(CNATableAccess* access, CNAError* error);
  // The same for the current record.
  int32_t nCacheRecordImage(CNAError* error);
  void AddRefCacheEntry(int32_t n);
  void ReleaseCacheEntry(int32_t n);
  // Entry n (held by someone) into a record; into the saved record; the
  // entry the object holds as its locked record into the saved record.
  bool bReadCachedRecord(int32_t n, CNARecordImage* record, CNAError* error);
  bool bReadCachedRecordCurrent(int32_t n, CNAError* error);
  bool bReadCachedRecordOf(CNATableAccess* access, CNAError* error);
  // After a write: kind 2 changed, 3 added, 4 deleted; the entry or -1.
  int32_t nNotifyCacheChange(int32_t kind, const CNARecordIdentifier* identifier,
                             CNARecordImage* image, CNAError* error);
  int32_t nInvalidateCachedRecord(const CNARecordIdentifier* identifier);
  // Entry n is invalid or no holder uses it.
  bool bIsCacheEntryFree(int32_t n);
  // The cached current entry becomes n (one use taken; -1: none), the use
  // of the one before given back.
  void SetCachedCurrent(int32_t n);
  int32_t nGetCachedCurrent() const { return m_nCachedCurrent; }
  // Gives back the use of the entry an object holds as its locked record.
  void ReleaseLockedEntry(CNATableAccess* access);

  // --- saved positions by serial number ---
  bool bAddSavedPosition(uint32_t serial, CNARefCounted* position);
  CNARefCounted* pclFindSavedPosition(uint32_t serial);  // one more reference
  uint32_t nGetSavedPositionCount() const { return m_tabPositions.nGetCount(); }
  // The next process-wide saved-position serial number (first 1).
  static uint32_t nNextPositionSerial();

  // --- fields reached by the reads and writes ---
  CNACriticalSection* pGetLock() { return &m_clLock; }
  CNAConnection* pclGetConnection() const { return m_pConnection; }
  INAFileDescription* piGetFile() const { return m_piFile; }
  CNATableDescription* pclGetTableDescription() const { return m_pTableDescription; }
  void SetTableDescription(CNATableDescription* description);  // adds a reference
  CNAQuery* pclGetQuery() const { return m_pQuery; }
  void SetQuery(CNAQuery* query);  // adds a reference
  CNARecordCache* pclGetRecordCache(int n) const { return n == 1 ? m_pCache1 : m_pCache2; }
  CNARefCounted* pclGetRecordSource() const { return m_pRecordSource; }
  void SetRecordSource(CNARefCounted* source);  // adds a reference
  CNARefCounted* pclGetLogical() const { return m_pLogical; }
  void SetLogicalDescription(CNARefCounted* logical);  // adds a reference
  // Every large object of the logical description whose host value is
  // still pending reads it into itself, or becomes NULL when it cannot.
  void SettlePendingLargeObjects();
  CNAFilter* pclGetActiveFilter() const { return m_pActiveFilter; }
  void SetActiveFilter(CNAFilter* filter);  // adds a reference
  void SetCurrentTableAccess(CNATableAccess* access) { m_pCurrentAccess = access; }
  CNATableAccess* pclGetSQLTextObject() const { return m_pSQLText; }
  void SetSQLTextObject(CNATableAccess* access);  // adds a reference
  const char16_t* pszGetQuotedTableName() const { return m_strQuotedTable.pszGet(); }
  CNARegistry* pclGetNameSource() const { return m_pNameSource; }

  bool m_bOpen = false;
  int32_t m_nAccessMode = 0;
  uint32_t m_nFlags = 0;
  CTString m_strQueryTable;
  int32_t m_nQueryMode = 0;
  int32_t m_nKeyRange = 0;
  uint32_t m_nNotifyFlags = kNANotifyTableAccess;
  uint32_t m_nIndexSelection = 2;
  int32_t m_nReserved = 1;
  int32_t m_nCachedCurrent = -1;
  int32_t m_nUnnamedColumn = 0;
  int32_t m_nFirstRead = 0;
  int32_t m_nRecordSize = 0;
  int32_t m_nQueryObject = 0;
  // Rows the read being prepared asks for (0: one).
  int64_t m_nRequestedRows = 0;
  // Flag word of the current record: 0x80 after it was deleted (a modify
  // then writes it again); cleared by a read.
  uint32_t m_nRecordFlags = 0;

  // The values the host wrote into the current record since it was read,
  // by column (made on first use; null when memory runs out).
  NAEditRecord* pclGetEdits();
  // The column (its index in the table description) that host item n reads
  // and writes: when the host declares items, the column of the item's
  // name (case ignored), -1 when the table has none; else column n. False,
  // with message 50, for an item the host does not declare. Under the lock.
  bool bColumnOfItem(int32_t item, int* column, CNAError* error);
  // The name of host item n ("" when the host declares none).
  std::u16string ItemName(int32_t item);
  // Makes the record just added (`written`: what the INSERT wrote and the
  // server generated, by column) the current record, read back through
  // the object "$QGAdded"; false when no row alone holds it. Through a
  // stored query (`target`), the row is read from its table. Under the
  // lock.
  bool StandOnAdded(const NAEditRecord& written, const NAWriteTarget* target = nullptr);
  // While a write is announced to the table access objects: the object
  // whose record it named (null for an add), the record's entry in the
  // record source's record set (-1: none) and the write's options.
  CNATableAccess* pclGetWrittenReader() const { return m_pWrittenReader; }
  int32_t nGetWrittenEntry() const { return m_nWrittenEntry; }
  uint32_t nGetWrittenOptions() const { return m_nWrittenOptions; }
  // Parts of the writes (session_writes.cpp), under the lock.
  void NameDuplicateKey(int32_t kind, CNAError* error);
  void NameMissingValue(CNAError* error);
  bool bCreateWithRetry(CNATableAccess* access, CNAError* error);
  // The delete of the current record (slot 13 past its checks); `pending`
  // may be null (no notification queued).
  bool bDeleteCurrent(intptr_t mode, CNAPendingNotifications* pending, CNAError* error);
  bool bCreateIndexes(CNATableAccess* access, uint32_t selection, CNAError* error,
                      bool* unique_failed = nullptr);
  // Stands `access`, read along `key`, on the record whose `columns` hold
  // `values` (as read); *found tells whether it is there. With `source`,
  // whose current row is that record, one fetch from the record on, found
  // by those columns' values, when the order tells rows apart; else the
  // whole key order read until the record comes.
  bool bStandOnRecord(CNATableAccess* access, const char16_t* key,
                      const std::vector<int>& columns, const std::vector<CAny>& values,
                      bool* found, CNAError* error, CNATableAccess* source = nullptr);
  // Prepares `access` along `key` as a read does and reads the rows from
  // the first that meets `condition` on, in fetches (the table access
  // object's bReadAtCondition); *handled false when that cannot be done.
  bool bPrepareReadAt(CNATableAccess* access, const char16_t* key,
                      const std::u16string& condition, bool* handled, bool* in_range,
                      CNAError* error);
  // The values of the table's unique key (primary, else the first unique
  // one) in the current row of `access`; false without a unique key or a
  // current row.
  bool bReadRecordKey(CNATableAccess* access, std::vector<CAny>* values, CNAError* error);
  // Two entries of record cache 1 read into fresh images and compared on
  // the description's unique key item: 1 one record, 0 two, -1 nothing
  // tells (an entry missing, no unique key item, both keys NULL).
  int32_t nCompareCachedKeys(int32_t entry_a, int32_t entry_b, CNAError* error);
  // The identity of the current record of `access` (the columns that name
  // one record and their values) saved in `position`; nothing when no
  // record is current.
  void SaveRecordIdentity(CNATableAccess* access, CNASavedPosition* position);
  // Stands `access` on the record `position` saved, found again by its
  // identity wherever the rows moved since; error 13 when the record is no
  // longer there.
  bool bRestoreRecord(CNATableAccess* access, CNASavedPosition* position, CNAError* error);
  // Whether two positions saved their identities on the same record: 1
  // the same, 0 another record, -1 when their identities cannot tell (none
  // saved, or equal values of columns that do not name one record).
  int32_t nSameSavedRecord(const CNASavedPosition& a, const CNASavedPosition& b);

  // --- errors of the session (sites 3.n) ---
  // Internal error of the driver table with the site 3.minor.
  static void Fail(CNAError* error, uint32_t minor, uint32_t identifier,
                   const char16_t* argument = nullptr);
  // The text dumped for a failure without error object: "Message d'erreur
  // ignoré :" and the error's sections, at most 1000 characters.
  static CTString DumpIgnored(CNAError& error, const char16_t* file, const char16_t* item);
  // Marks a failed create, drop, open or delete-all (level 2).
  static void SetFailureLevel(CNAError* error);

 protected:
  friend class CNAPendingNotifications;
  // Hands queued notifications to the owner (lock not held).
  void DeliverNotification(int32_t kind, CNATableAccess* access, intptr_t outcome);
  // The generic close-all (the destructor calls it by name).
  void CloseAllGeneric();

  CNACriticalSection m_clLock;

 private:
  // A copy of the table description (or, without one, an empty description
  // named after the file) with the host's file description merged into it;
  // one reference for the caller.
  CNATableDescription* pclNewMergedDescription(CNAError* error);
  // Builds the logical description over the merged description.
  bool bBuildLogical(CNARefCounted* logical, CNAError* error);
  // Enters query mode over a new query description (step 3 of the open
  // path): everything held before is closed and dropped.
  bool bBindQuery(const char16_t* text, qg::IParsedQuery* parsed, uint32_t flags,
                  CNAError* error);
  bool bDescribeAndCompareLocked(int32_t* exists, int32_t* matches, CNAError* error);
  // Stores an image with one use for the caller; -1 without row buffer.
  int32_t nStoreInCache1(CNARecordImage* image, CNAError* error);
  // The entry of the open record set that holds the record a write through
  // `writer` names: the one the current object stands on when it reads
  // that set, else the one holding the current record; -1 when none.
  int32_t nRecordSetEntryOfCurrent(CNATableAccess* writer);
  // The values the host wrote since the record was read go into the
  // current record, which then holds the record as modified.
  void ApplyEditsToCurrent();
  void AnnounceWrite(int32_t kind, CNATableAccess* writer, CNATableAccess* named, int32_t entry,
                     const CNARecordIdentifier* old_identifier, uint32_t options, bool empty);
  CNATableAccess* m_pWrittenReader = nullptr;
  int32_t m_nWrittenEntry = -1;
  uint32_t m_nWrittenOptions = 0;

  CNARefCounted* m_pLogical = nullptr;  // a CNAFileDescription
  CNAConnection* m_pConnection = nullptr;
  INAFileDescription* m_piFile = nullptr;
  INAFileDescription* m_piFileCopy = nullptr;
  CNATableDescription* m_pTableDescription = nullptr;
  CNAObjectTable m_tabAccess{CNAObjectTable::kNameForm};
  CNARefCounted* m_pSQLHelper = nullptr;  // a CNAIdentityQuery
  CNATableAccess* m_pCurrentAccess = nullptr;
  CNAQuery* m_pQuery = nullptr;
  CTString m_strQuotedTable;
  std::mutex m_muOwner;  // guards m_pOwner; held while notifying it
  CNADispatcher* m_pOwner = nullptr;
  CNARegistry* m_pNameSource = nullptr;
  CNAFilter* m_pActiveFilter = nullptr;
  CNAObjectTable m_tabPositions{CNAObjectTable::kNumberForm};
  CNARecordCache* m_pCache1 = nullptr;
  CNARecordCache* m_pCache2 = nullptr;
  CNARefCounted* m_pRecordSource = nullptr;  // a CNARecordSource
  CNATableAccess* m_pSQLText = nullptr;
  CTString m_strDisplayName;
  std::shared_ptr<NAEditRecord> m_pEdits;
  // Host item -> column (bColumnOfItem), found in the table description of
  // serial m_nItemColumnsOf; SetTableDescription moves the serial on.
  std::vector<int> m_anItemColumns;
  uint64_t m_nDescriptionSerial = 1;
  uint64_t m_nItemColumnsOf = 0;
};

#endif  // QG_DRIVER_CORE_SESSION_H_
