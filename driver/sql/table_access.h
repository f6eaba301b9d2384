// CNATableAccess: reads and writes one table (or stored query) of a server
// in SQL for a session. A read along a key turns into a SELECT written by
// the SQL generator, run by a statement that keeps the open result, and a
// position (a row number) moved in that result; the session fetches more
// rows when a result cut by its row limit runs out.
//
// Ownership: every object pointed to is counted and holds one reference
// (the open result, the generator, the filters, the key filter, the record
// cache, the temporary index); the session pointer holds none.
//
// Lock: none of its own. The session calls it under the session lock; the
// statement holds the connection's lock around client-library calls.
#ifndef QG_DRIVER_SQL_TABLE_ACCESS_H_
#define QG_DRIVER_SQL_TABLE_ACCESS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/object_table.h"
#include "driver/core/refcounted.h"
#include "driver/sql/row_values.h"
#include "support/any.h"
#include "support/ctstring.h"

class CNAConnection;
class CNAError;
class CNAFileDescription;
class CNAFilter;
class CNAKeyFilter;
class CNAColumn;
class CNAQuery;
class CNARecordCacheBase;
class CNASession;
class CNASQLGenerator;
class CNAStatement;
class CNATableDescription;
class CNAValueConverter;
class INACopyContext;
class INAFileDescription;

// Read directions.
enum NAReadDirection : int32_t {
  kNAReadFirst = 0,
  kNAReadLast = 1,
  kNAReadNext = 2,
  kNAReadPrevious = 3,
  kNAReadStay = 4,
};

// One column of the key a read is ordered on.
struct NAKeyPart {
  CTString strName;
  bool bDescending = false;
};

// One item of the order a stored query is read in: a column of its result
// (from 0) and whether it is descending in an ascending read.
struct NAQueryOrderColumn {
  int nColumn = 0;
  bool bDescending = false;
};

// The search state of the last seek: the searched column, the value and
// whether the match must be exact.
struct NASearchState {
  CTString strItem;
  CAny clValue;
  uint32_t nFlags = 0;  // bit 0: set; bit 1: not exact
  bool bActive() const { return (nFlags & 1) != 0; }
};

// The table a write changes: the session's own, or, for a stored query
// over one table, that base table described from the server. Each of its
// columns takes its value from a column of the session's rows and edits.
struct NAWriteTarget {
  CNATableDescription* pTable = nullptr;  // one reference
  std::u16string strName;                 // the table's name
  std::u16string strQuotedName;           // as the statement names it
  // Per column of pTable: the session's column, -1 for one the session's
  // rows do not show.
  std::vector<int> anSessionColumn;
  bool bStoredQuery = false;
  // What it was resolved for: the session's query (null for a table) and
  // table description, one reference each.
  CNARefCounted* pQuery = nullptr;
  CNATableDescription* pSessionTable = nullptr;
  // The stored query reads every row of its table (no condition, no
  // limit): emptying it empties the table.
  bool bWholeTable = false;

  NAWriteTarget() = default;
  NAWriteTarget(const NAWriteTarget&) = delete;
  NAWriteTarget& operator=(const NAWriteTarget&) = delete;
  ~NAWriteTarget() { Clear(); }
  void Clear();
  int nSessionColumn(int n) const {
    return n >= 0 && static_cast<size_t>(n) < anSessionColumn.size()
               ? anSessionColumn[static_cast<size_t>(n)]
               : -1;
  }
  // The column of pTable that session column n stands for, -1 none.
  int nTargetColumn(int n) const;
};

// " LIMIT limit", with " OFFSET skip" after it when skip > 0: the page of a
// fetch written into a derived table's text.
std::u16string NALimitText(int64_t limit, int64_t skip);

class CNATableAccess : public CNARefCounted {
 public:
  // Open-result marks of the row map.
  static constexpr int32_t kRowUnknown = -1;
  static constexpr int32_t kRowDeleted = -2;

  // For a session (may be null: clones) on its connection.
  CNATableAccess(CNASession* session, CNAConnection* connection);
  ~CNATableAccess() override;  // 0

  // --- virtual operations in slot order (1 is the base's, answering 0) ---
  virtual void Close();                                                       // 2
  virtual void CloseCursor();                                                 // 3
  virtual bool bOpen(CNAError* error);                                        // 4
  virtual bool bExecuteWith(CNASQLGenerator* generator, CNAError* error);     // 5
  virtual bool bExecute(intptr_t a, intptr_t b, int64_t* rows, CNAError* error);  // 6
  virtual bool bReadFirstInto(CAny* values, int count, CNAError* error);     // 7
  virtual bool bOpenAndRead(CAny* values, int count, CNAError* error);       // 8
  virtual bool bFetchRowInto(CAny* values, int count, CNAError* error);      // 9
  virtual bool bColumnText(CAny& out, int n, CNAError* error);               // 10
  virtual bool bColumnValue(CNAValueConverter* value, int n, CNAError* error);  // 11
  virtual bool bBuildSelect(CNAError* error);                                // 12
  virtual bool bCreateTable(CNAError* error);                                // 13
  virtual int32_t vn14() { return 0; }                                        // 14
  virtual bool bBuildInsert(CNAError* error);                                // 15
  virtual int32_t vn16() { return 0; }                                        // 16
  virtual bool bBuildUpdate(CNAError* error);                                // 17
  virtual int32_t vn18() { return 0; }                                        // 18
  virtual bool bBuildDelete(CNAError* error);                                // 19
  virtual void OnRecordWritten(int32_t kind, bool ok, CNAError* error);      // 20
  virtual bool bReadInsertId(CNAError* error);                               // 21
  virtual bool bPrepareAutoId(uint32_t options, CNAError* error);            // 22
  virtual void SetOptionWord(uint32_t options) { m_nOptions = options; }      // 23
  virtual bool vb24() { return true; }                                        // 24
  virtual bool bCountRecords(int64_t* count, CNAError* error);               // 25
  virtual bool bGetResultCount(uint32_t options, int64_t* count, CNAError* error);  // 26
  virtual bool bReadColumnItem(int n, CAny* value, CNAError* error);         // 27
  virtual bool bWriteColumnItem(int n, const CAny* value, CNAError* error);  // 28
  virtual bool bSavePosition(CNARefCounted* position, CNAError* error);      // 29
  virtual bool bRestorePosition(CNARefCounted* position, CNAError* error);   // 30
  virtual void ResetKeyFilter();                                              // 31
  virtual CNARefCounted* pclNewKeyFilter();                                   // 32
  virtual CNAFilter* pclNewFilter();                                          // 33
  virtual int32_t vn34() { return 0; }                                        // 34
  virtual bool bLoadCachedRow(int64_t n, CNAError* error);                   // 35
  virtual int nCopyFrom(CNATableAccess* source, INACopyContext* context);    // 36
  virtual CNATableAccess* pclClone(INACopyContext* context);                 // 37
  virtual bool bBindCheck(bool flag, int item, CNAError* error);             // 38
  virtual bool bBindGenerator(CNASQLGenerator* generator, CNAError* error);  // 39
  virtual int32_t nResultSlot3();                                             // 40
  virtual bool bFetchRows(CAny* values, int count, CNAError* error);         // 41
  virtual bool bColumnType(int column, CTString* out, CNAError* error);      // 42
  virtual bool bColumnConstraint(int column, CTString* out, CNAError* error);  // 43
  virtual bool bColumnDefault(int column, CTString* out, CNAError* error);   // 44
  virtual bool bGeneratedColumn(int column, CTString* out, CNAError* error);  // 45
  virtual void OrderItemText(const NAKeyPart& part, int index, CTString* out);  // 46
  virtual bool bAppendReturning(CNAError* error);                            // 47
  virtual bool bAppendValue(const CAny& value, CNAError* error);             // 48
  virtual bool bMoveInResult(int32_t direction, int64_t step, bool* in_range,
                             CNAError* error);                                // 49
  virtual bool bBuildCountSelect(CNAError* error);                           // 50
  virtual bool vb51() { return true; }                                        // 51
  virtual bool bGoToRecord(int64_t n, CNAError* error);                      // 52
  virtual void vHook53() {}                                                   // 53
  virtual bool bSwitchKey(CNAError* error);                                  // 54
  // The statement that holds the open result (the back end makes it).
  virtual CNAStatement* pclNewResult() { return nullptr; }

  // --- reads ---
  // Reads along the current order: direction first, last, next or
  // previous, step rows; *found receives the found indicator. True when
  // the read was carried out (found or not).
  bool bReadPosition(int32_t direction, bool lock, int64_t step, bool* found, CNAError* error);
  // After the filter in force changed: a next (previous) read that goes on
  // from the current record, reading the first record after (before) it in
  // the key's order that the new filter lets through. *handled false with
  // nothing done when the record's place cannot be written (no open row, a
  // stored query, reads along the cache); out of range leaves everything
  // as it was.
  bool bReadOnUnderNewFilter(int32_t direction, int64_t step, bool* handled, bool* in_range,
                             CNAError* error);
  // The records of the order under the filter in force from the current
  // record on (itself included), or, `before`, those that precede it,
  // counted by the server without touching the open result; -1 without a
  // current record whose place can be written.
  int64_t nCountFromCurrent(bool before, CNAError* error);
  // Every record under the filter in force, counted the same way; -1 on
  // failure.
  int64_t nCountUnderFilter(CNAError* error);
  // Runs `g`, a SELECT whose first column is a count, as this object's
  // result and reads that count; -1 when it fails or reads no number.
  int64_t nRunCount(CNASQLGenerator* g, CNAError* error);
  // Positions on the first row whose column equals the value (or, not
  // exact, the first row at or after it along the order) and reads it.
  bool bSeek(const char16_t* item, const CAny& value, bool exact, bool* found, CNAError* error);
  void EndSeek();
  void KeepSeek() { m_bKeepSearch = true; }
  // After a read that stands on a row: that row becomes the record a seek
  // of the value found (reads go on judging rows by the value) when its
  // column holds the value exactly; false, nothing changed, otherwise.
  bool bSeekIsCurrentRow(const char16_t* item, const CAny& value, bool exact);
  // The condition that names the current record of the open result by the
  // result columns `columns` (each "column = its value as the server
  // stores it"). False, nothing written, when it cannot be had: no current
  // row of a result (reads through the cache or an index, a stored query),
  // a NULL value.
  bool bRecordCondition(const std::vector<int>& columns, std::u16string* out);
  // The order of reads along the key tells every row apart (the tie-
  // breakers reach a unique key none of whose parts may be NULL) and the
  // object reads a table, not a stored query: fetches can go on from a
  // row's place in the order.
  bool bOrderTellsRowsApart();
  // With the SELECT built along the key: runs it limited to the rows that
  // meet `condition` (the filter in force as well) and stands on the first,
  // as though a fetch of `fetch` rows had ended there, so that next and
  // previous reads go on from it along the order in fetches. *handled
  // false, nothing run, when the order does not tell rows apart or the
  // object reads through its cache; *in_range tells whether a row came.
  bool bReadAtCondition(const std::u16string& condition, int64_t fetch, bool* handled,
                        bool* in_range, CNAError* error);
  // Position in thousandths of the rows (0 for an empty set).
  bool bGetPositionPerMille(int32_t* out, CNAError* error);
  // The row number (from 1) that a per-mille value stands for.
  static int64_t nPerMilleTarget(int64_t count, int32_t value);
  // Per-mille of a position (from 0) in a count: rounded up, 0 for none.
  static int32_t nPerMilleOf(int64_t position, int64_t count);
  // Goes to a per-mille value through the session's read by number.
  bool bGoToPerMille(int32_t value, CNAError* error);

  // --- writes by statement kind ---
  bool bRunByStatementKind(int32_t kind, CNASQLGenerator* generator, CNAError* error);

  // --- filters ---
  void SetFilter(CNAFilter* filter);  // adds a reference; null clears
  // Objects filed under a name (compared as the host compares names), each
  // held with one reference; a copy of this object files the copies the
  // copy context knows, else the same objects. Registering under a name in
  // use replaces the object filed there. False when memory runs out.
  bool bRegisterObject(const char16_t* name, CNARefCounted* object);
  // False when nothing was filed under the name.
  bool bUnregisterObject(const char16_t* name);
  // The object filed under the name with one more reference, or null.
  CNARefCounted* pclFindObject(const char16_t* name);
  CNAFilter* pclGetFilter() const { return m_pFilter; }
  // The filter filed under `name` among the named objects becomes the
  // filter in force; false with error 11 naming it when no filter is filed
  // under that name.
  bool bSetFilterByName(const char16_t* name, CNAError* error);
  // Puts the filter in force into effect: when it differs from the one the
  // position was read under, the open result and the position go (the
  // next read runs its SELECT under it) and the filter reference takes it;
  // otherwise nothing changes. Cannot fail.
  bool bApplyFilter(CNAError* error);
  // A new saved position (one reference for the caller) holding this
  // object's position (slot 29); null, with the error, when it cannot be
  // had.
  CNARefCounted* pclGetPosition(CNAError* error);
  CNAFilter* pclActivateFilter();
  void DeactivateFilter();
  bool bIsFilterActive() const { return m_bFilterActive && m_pFilter != nullptr; }
  void UpdateFilterRef();
  // The filter in force differs from the one the position was read under.
  bool bHasFilterChanged() const;
  CNARefCounted* pclGetKeyFilter() const { return m_pKeyFilter; }
  // The key filter, made through slot 32 on first use.
  CNAKeyFilter* pclKeyFilter();
  // Key-position conditions over the logical description: from a key value
  // the host gave, or from the current record.
  bool bSetKeyValue(const CNAColumn* key, const uint8_t* value, size_t size, bool exact,
                    CNAError* error);
  bool bSetKeyOfRecord(const CNAColumn* key, bool exact, CNAError* error);
  void SetKeyFilter(CNARefCounted* filter);  // adds a reference

  // --- cache ---
  void EnableCache(bool on);
  bool bIsCacheEnabled() const { return (m_nCacheState & 1) != 0; }
  CNARecordCacheBase* pclGetFullCache() const;
  bool bIsCacheFull() const { return (m_nCacheState & 8) != 0; }
  // The record cache once it holds the whole result: the rows of the open
  // result not yet in it are taken in now when the cache stands for that
  // result. Null when it cannot be had. The current record stays as it was.
  CNARecordCacheBase* pclFillCache(CNAError* error);
  // The session's record source goes, with `record_set` (null when it was
  // never opened): reads along a temporary index over that record set end
  // (index, record set and position let go); the next read starts afresh.
  void OnRecordSourceGone(const CNARecordCacheBase* record_set);
  bool bReadsThroughIndex() const { return m_pTemporaryIndex != nullptr; }
  // Column n of the table read from the current record (its item's value;
  // NULL when no item stands for the column).
  bool bReadRecordItem(int n, CAny* value, CNAError* error);
  // For a record read through the cache: the statement whose result holds
  // it (this object's, or, along a temporary index, the one the session's
  // record set was taken from), on the record's row; null when no result
  // holds it any more.
  CNAStatement* pclRowOfRecord();

  // --- locks and positions ---
  int64_t nGetLockedRecord() const { return m_nLockedRecord; }
  int32_t nGetLockMode() const { return m_nLockMode; }
  bool bLockCurrentRecord(CNAError* error);
  int32_t nSetLockState(int32_t mode);
  bool bMustLockOnRead() const { return m_nLockMode == 1; }
  bool bResetPosition();
  bool bIsPositionValid() const { return m_bPositionValid; }
  // A read failed: no move goes on from anywhere until a read from an end
  // or a seek stands on a record again.
  bool bHasLostPosition() const { return m_bPositionLost; }
  void SetPositionLost(bool lost) { m_bPositionLost = lost; }
  void GetFoundAndInRange(bool* found, bool* in_range) const {
    *found = m_bFound;
    *in_range = m_bInRange;
  }
  bool bIsOutOfRange() const { return m_bOutOfRange; }
  // After a move by more than one record under a key condition that finds
  // one key value: when the record reached lies past that value's records
  // in the move's direction, the condition switches to the records beyond
  // the value (the key filter's direction tree) and the found indicators
  // follow its verdict; the switch stays only when the record meets it.
  // Whether it stayed.
  bool bSwitchPastKeyRange(int32_t direction);
  bool bUseTemporaryIndex(CNAError* error);
  bool bHasTemporaryIndex() const { return m_pTemporaryIndex != nullptr; }

  // --- the record read ---
  // The logical description whose current record each read fills (one
  // reference); until one is set, the session's is taken on first need.
  void SetFileDescription(CNAFileDescription* logical);
  CNAFileDescription* pclGetFileDescription();

  // --- the record a modify or delete names ---
  // The values naming the current record: as the last write through it
  // left its row (SetWrittenRow), else as read (the open result's row, or
  // the row the cached record was read from). False when no row is current.
  // Values are in the shape of `target`'s table.
  bool bCurrentRowValues(NARowValues* out, const NAWriteTarget& target);
  // The current record was read through the session's record set, whose
  // entry a write through the session changed since: the result row it
  // was read from no longer holds it.
  bool bWrittenSinceRead();
  // What the writes of this object change, resolved for the session as it
  // is now (the base table of a stored query described once per query);
  // false with driver error 8 when a stored query cannot be written
  // (several sources, a sub-query, grouped or distinct rows, no column of
  // its table), at site 4.minor.
  bool bResolveWriteTarget(uint32_t minor, CNAError* error);
  const NAWriteTarget& GetWriteTarget() const { return m_stTarget; }
  // What names the current record after a write through it: the row as the
  // server now holds it, or that it is gone or cannot be told apart. It
  // stands while this object stays on the same row of the same result.
  void SetWrittenRow(const NARowValues& values);
  // After an UPDATE or DELETE built by this object ran and changed its row:
  // the object whose current record the statement named learns what names
  // that record now (re-read by the values written, as the server stored
  // them, when they changed its identity).
  void NoteRowWritten(int32_t kind);
  // The object whose current record the last UPDATE or DELETE built here
  // named (until NoteRowWritten), and what names that record after a write
  // through it (null when nothing written stands).
  CNATableAccess* pclGetNamedReader() const { return m_pNamedReader; }
  const NARowValues* pclGetWrittenRow() const {
    return bWrittenRowStands() ? &m_stWrittenRow : nullptr;
  }

  // --- the order and the table ---
  // The table (or FROM text) read; quoted by the connection when written.
  void SetTableName(const char16_t* table) { m_strTable = table != nullptr ? table : u""; }
  const char16_t* pszGetTableName() const { return m_strTable.pszGet(); }
  // The columns of the select list (empty: every column).
  void SetSelectColumns(const std::vector<CTString>& columns) { m_astrColumns = columns; }
  // The key the next read is ordered on, its parts in order.
  void SetOrderKey(const char16_t* name, const std::vector<NAKeyPart>& parts);
  const char16_t* pszGetKeyName() const { return m_strNextKey.pszGet(); }
  const char16_t* pszGetOrderedKeyName() const { return m_strResultKey.pszGet(); }
  // The name the last read from an end was made by: its key name, or for
  // a read in a query's own order (read flag 0x20000) the name of the
  // query's first ORDER BY column.
  void SetRecordedName(const char16_t* name) { m_strRecordedName = name != nullptr ? name : u""; }
  const char16_t* pszGetRecordedName() const { return m_strRecordedName.pszGet(); }
  // The names the session files the object under.
  void SetNames(const char16_t* name, const char16_t* second);
  const char16_t* pszGetName() const { return m_strName.pszGet(); }

  // --- the open result ---
  CNAStatement* pclGetResult() const { return m_pResult; }
  // The open result holds the whole order from its first row.
  bool bIsWholeOrder() const;
  int64_t nGetCurrentRow() const { return m_nCurrentRow; }
  int64_t nGetLimitMarker() const { return m_nLimitMarker; }
  bool bBeginsAtStart() const { return m_bBeginsAtStart; }
  bool bIsDescending() const { return m_bDescending; }
  // Reads along the key in its opposite direction (first is the last row
  // of the ascending order).
  void SetDescending(bool descending) { m_bDescending = descending; }
  // Marks a row of the open result deleted: moves skip it.
  void MarkRowDeleted(int64_t row);
  int64_t nGetDeletedCount() const { return m_nDeletedRows; }
  CNASQLGenerator* pclGetGenerator() const { return m_pGenerator; }
  void SetGenerator(CNASQLGenerator* generator);  // adds a reference
  CNASession* pclGetSession() const { return m_pSession; }
  CNAConnection* pclGetConnection() const { return m_pConnection; }

  uint32_t m_nFlags = 3;        // bit 0/1: key items as tie-breakers ascending/descending
  uint32_t m_nReadOptions = 0;  // options of the read (0x800 DISTINCT, 0x20000, 0x100000)
  uint32_t m_nOptions = 0;      // option word (slot 23)
  int64_t m_nFetchSize = 0;     // rows per fetch, set by the session
  int64_t m_nFollowingRows = 0;  // rows asked for after the first fetch
  // The session's record-cache entry holding the record this object locked
  // (one use, the session's to give back), -1 when none.
  int32_t m_nLockedEntry = -1;
  // The rows of each fetch after the first (a first fetch cut short).
  void SetFetchLimit(int64_t rows) { m_nFetchLimit = rows > 0 ? rows : -1; }

 protected:
  // Writes " ORDER BY ..." for the current key and direction.
  bool bAppendOrderBy(bool descending, CNAError* error);
  // Key parts from the logical description for a key named without them;
  // an unknown key name fails.
  bool bResolveOrderKey(CNAError* error);
  // The key's parts, then the record's other keys as tie-breakers.
  std::vector<NAKeyPart> OrderItems(bool descending);
  // The items hold every part of a unique key none of whose parts may be
  // NULL: no two rows are equal on them.
  bool bItemsIdentifyRows(const std::vector<NAKeyPart>& items);
  // DISTINCT is asked for and the identifying column alone does not tell
  // rows apart.
  bool bWantsDistinct();
  // " " and the connection's table hint, when it has one for its server.
  bool bAppendTableHint();
  // Error 13 for a row the server (or a complete cache) no longer has,
  // with the record dump, at site 4.minor.
  void ReportNoRowUpdated(CNAError* error, uint32_t minor);
  // Before a read along a named key with a lock or no position: the locked
  // record found again (the step adjusted when it is gone), or for first
  // and last the lock ended and a temporary index taken.
  bool bFindLockedRecord(int32_t direction, int64_t* step, CNAError* error);
  // The stored query the session reads (query mode), else null.
  CNAQuery* pclGetStoredQuery() const;
  // The statement over a stored query: regenerated with the filter merged
  // into its WHERE, or, wrapped (counts, raw SQL with a filter), as a
  // derived table with the filter outside.
  bool bAppendQueryForm(CNAQuery* query, bool order_wanted, bool wrap, CNAError* error);
  bool bAppendWrappedTail(CNAError* error);
  bool bWriteFilterInto(CNASQLGenerator* out, CNAError* error);
  // A query ending in its own LIMIT gets no per-fetch LIMIT.
  void DropSecondLimit();
  // Moves like slot 49, going on in the following (or preceding) part of
  // the order when the open result was cut by its row limit.
  bool bMoveAcrossFetches(int32_t direction, int64_t step, bool* in_range, CNAError* error);
  // Runs the SELECT again for `limit` rows from row `offset` of the order.
  bool bFetchPart(int64_t offset, int64_t limit, CNAError* error);
  // Runs the SELECT again for the part of the order that follows the last
  // row of the open result (forward) or precedes its first row, continued
  // from that row's order values, so rows written by others elsewhere in
  // the order shift nothing; with no open row (`edge`), the last part of
  // the order. *done false (nothing run) when the values cannot be had: a
  // stored query or an order column outside the select list.
  bool bFetchBeyond(bool forward, bool edge, bool* done, CNAError* error);
  // The condition "at or after (before) the row's place in the order" over
  // the order items, and the count of rows of the result at the boundary
  // that are equal to it on every item. False when it cannot be written.
  // With `strict`, the rows beyond it only, not those equal to it.
  bool bBoundaryCondition(int64_t row, bool forward, std::u16string* out, int64_t* equal,
                          std::vector<std::u16string>* values, CNAError* error,
                          bool strict = false);
  // The same conditions apart: the condition "strictly after (before) it"
  // (empty when no row can be) and the condition "equal to it on every
  // item" as well.
  bool bBoundaryCondition(int64_t row, bool forward, std::u16string* out, std::u16string* strict,
                          std::u16string* same, int64_t* equal,
                          std::vector<std::u16string>* values, CNAError* error);
  // Over a stored query, the order of the open result as columns of the
  // result: their names quoted and whether each is ascending in this read.
  // False when an order item is no result column, the order is not known
  // to tell rows apart, or the result's column names do not name each
  // column alone (a derived table over the query could not name them).
  bool bQueryOrderColumns(std::vector<int>* columns, std::vector<std::u16string>* names,
                          std::vector<bool>* ascending);
  // Over a stored query, the SELECT of one fetch continued from a
  // boundary (empty: none, the last part): the query as a derived table
  // with the boundary outside, ordered again by the result's columns;
  // forward `limit` rows from the `skip`th on, backward the `limit` rows
  // before (past `skip`), put back in the read's order.
  bool bBuildQueryPart(bool forward, const std::u16string& boundary, int64_t limit, int64_t skip,
                       CNAError* error);
  // Runs a statement text again (no row limit added) as the open result.
  bool bRunAgain(const std::u16string& text, CNAError* error);
  // The literal of column n of the current result row, "NULL" for none.
  bool bColumnLiteral(int n, std::u16string* out, bool* null, CNAError* error);
  // Rows not marked deleted after (or before) the current row.
  int64_t nRowsBeyond(bool forward) const;
  // The rows of the order counted by the server without touching the open
  // result; -1 on failure.
  int64_t nCountAside(CNAError* error);
  // Loads the current row of the result as the current record.
  void LoadRow(int32_t direction);
  bool bEnsureGenerator();
  // The current row of the open result into the logical description's
  // current record (items matched to result columns by name); true with
  // nothing done when there is no description.
  bool bLoadResultRow(CNAError* error);
  // Reads along the record cache (or the temporary index over it), taking
  // rows of the open result into the cache as far as the target needs.
  bool bReadThroughCache(int32_t direction, int64_t step, bool* in_range, CNAError* error);
  // The cache stands for the open result: enabled, with a description to
  // load, over a result that holds the whole order (or an index).
  bool bCacheReads();
  // Seek and go-to-record along the temporary index (the object holds one).
  bool bSeekAlongIndex(const char16_t* name, const CAny& value, bool exact, bool* found,
                       CNAError* error);
  bool bGoToIndexedRecord(int64_t n, CNAError* error);
  // Whether the current record meets the search condition, read from its
  // item (reads along the temporary index have no open result to judge).
  bool bRecordMeetsSearch();
  // The next row of the open result after the cached ones, read and
  // appended; *got false when the result has no more rows.
  bool bCacheNextRow(bool* got, CNAError* error);
  void MarkCacheFullIfDone();
  // The key filter's verdict on the current record: false only when its
  // active condition is decided false on the record's values.
  bool bKeyFilterAccepts();
  void ReleaseResult();
  void FreeRowMap();
  // Physical row of the result for a logical move from a row, skipping
  // rows marked deleted; -1 when the move leaves the result.
  int64_t nStepRow(int64_t from, int64_t step, bool forward) const;

  // " WHERE " and the condition naming the current record of the object
  // that read it; `written` lists the columns an UPDATE sets (their values
  // in the session's edits), null for a DELETE.
  bool bWriteRowIdentity(CNASQLGenerator* g, const std::vector<int>* written, CNAError* error);
  // The write named the record of m_pNamedReader (held unless it is this
  // object); m_pReread finds its row after an UPDATE (null: the row's
  // identity did not change).
  void ForgetNamedRecord();
  CNATableAccess* m_pNamedReader = nullptr;
  CNASQLGenerator* m_pReread = nullptr;
  NAWriteTarget m_stTarget;
  // The row a write through the current record left, with the place it
  // stands for (result, its execution, row, temporary index).
  bool m_bHasWrittenRow = false;
  NARowValues m_stWrittenRow;
  const CNAStatement* m_pWrittenResult = nullptr;
  uint64_t m_nWrittenExecution = 0;
  int64_t m_nWrittenAt = -1;
  const CNARefCounted* m_pWrittenIndex = nullptr;
  bool bWrittenRowStands() const;
  // What names the record set entry this object stands on when a write
  // changed it since it was read; null otherwise.
  const NARowValues* pclWrittenEntryRow();

  CNAStatement* m_pResult = nullptr;
  bool bReadIdentity(bool next, int column, CAny* value, CNAError* error);
  CNASession* m_pSession = nullptr;
  CNAConnection* m_pConnection = nullptr;
  CTString m_strResultKey;
  CTString m_strNextKey;
  std::vector<NAKeyPart> m_astKeyParts;
  CNASQLGenerator* m_pGenerator = nullptr;
  CTString m_strTable;
  CTString m_strName;
  CTString m_strSecondName;
  CTString m_strRecordedName;
  std::vector<CTString> m_astrColumns;
  bool m_bOutOfRange = true;
  bool m_bInRange = false;
  bool m_bFound = false;
  bool m_bPositionValid = false;
  bool m_bPositionLost = false;
  int32_t m_nDirection = 0;
  int64_t m_nCurrentRow = -1;
  int64_t m_nLockedRecord = -1;
  int32_t m_nLockMode = 0;
  int64_t m_nLimitMarker = -1;
  bool m_bOwnLimit = false;  // the statement carries the query's own LIMIT
  int64_t m_nResultOffset = 0;  // first row of the order in the open result
  int64_t m_nFetchLimit = -1;   // rows per fetch of the first execution, -1 none
  bool m_bBeginsAtStart = true;
  bool m_bFetching = false;
  // The open result's columns as the first execution of the read gave
  // them (ResultShape); each fetch must give the same, else the table
  // changed under the read.
  std::vector<std::u16string> m_astrResultShape;
  // Records the columns of a first execution, or compares a fetch's with
  // them (false, with message 87, when they differ).
  bool bCheckResultShape(CNAError* error);
  // The boundary condition of a fetch continued from a row (empty: none),
  // added to the WHERE by bBuildSelect.
  std::u16string m_strBoundary;
  // The boundary the open result was fetched from (its values and
  // direction) and the rows equal to it passed over: a result made only of
  // rows equal to the boundary passes over those too the next time.
  std::vector<std::u16string> m_astrBoundaryValues;
  // The order the last SELECT over a stored query was written in, as
  // result columns; false when some item is no result column or the order
  // may leave rows tied.
  std::vector<NAQueryOrderColumn> m_astQueryOrder;
  bool m_bQueryOrderInResult = false;
  bool m_bBoundaryForward = false;
  int64_t m_nBoundarySkip = 0;
  bool m_bLastMoveInRange = false;
  bool m_bDescending = false;
  CNAFilter* m_pFilterRef = nullptr;
  CNAFilter* m_pFilter = nullptr;
  bool m_bFilterActive = false;
  NASearchState m_stSearch;
  bool m_bKeepSearch = false;
  CNARefCounted* m_pKeyFilter = nullptr;  // a CNAKeyFilter
  CNAObjectTable m_tabObjects{CNAObjectTable::kNameForm};
  CNARecordCacheBase* m_pCache = nullptr;
  uint32_t m_nCacheState = 0;
  int64_t m_nCacheReads = 0;
  CNARefCounted* m_pTemporaryIndex = nullptr;
  std::vector<int32_t> m_anRowMap;
  int64_t m_nDeletedRows = 0;
  int64_t m_nOwnCounter = 0;
  CNAFileDescription* m_pLogical = nullptr;
  // The result column of each item of the logical description (-1: none),
  // found once per open result.
  std::vector<int> m_anItemColumns;
  bool m_bItemColumnsFound = false;
};

#endif  // QG_DRIVER_SQL_TABLE_ACCESS_H_
