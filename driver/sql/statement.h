// CNAStatement: one SQL text run on a connection and access to its result:
// column descriptions, the current row, column values as host values, the
// affected-row count. This class holds what is the same for every DBMS
// (parameters written into the text, code pages, result-column access,
// errors); the back end's subclass sends the text and reads the result.
//
// Reference-counted; holds one reference on its connection. Takes no lock:
// its owner (a session, a table access object, the SQL-function service)
// serialises its use; the back end holds the connection's lock around each
// client call.
#ifndef QG_DRIVER_SQL_STATEMENT_H_
#define QG_DRIVER_SQL_STATEMENT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/core/refcounted.h"
#include "driver/sql/result_column.h"
#include "support/any.h"

class CDualString;
class CNAConnection;
class CNAError;
class CNAValueConverter;
class INACopyContext;

// One parameter of a text: where it stands in the text, and its value.
struct NAStatementParameter {
  size_t nPosition = 0;   // index of the marker in the text, in characters
  size_t nLength = 0;     // length of the marker
  const CAny* pValue = nullptr;
  uint32_t nFlags = 0;    // bit 0: the value names a file; bit 4: read it as text
};

class CNAStatement : public CNARefCounted {
 public:
  // Adds a reference to the connection and takes the next serial number.
  explicit CNAStatement(CNAConnection* connection);
  // Without a connection (copies).
  CNAStatement();
  ~CNAStatement() override;

  // --- virtual operations in slot order (0 and 1 are the base's) ---
  virtual int32_t vn2() { return 0; }                                          // 2
  virtual int32_t vn3() { return 0; }                                          // 3
  // Resets, writes the parameters into the text as literals and executes.
  virtual bool bExecuteWithParameters(const char16_t* text,
                                      const NAStatementParameter* parameters, size_t count,
                                      CNAError* error);                       // 4
  virtual bool bStoreResult(CNAError* /*error*/) { return false; }            // 5
  virtual bool bNextResult(CNAError* /*error*/) { return false; }             // 6
  // Column n (from 0) of the current row as UTF-16 text (type 16).
  virtual bool bGetColumnAsText(CAny& out, int n, CNAError* error);           // 7
  // Column n of the current row into a value converter.
  virtual bool bGetColumnValue(CNAValueConverter* /*value*/, int /*n*/, intptr_t /*unused*/,
                               CNAError* /*error*/) {                         // 8
    return false;
  }
  // Column n of the current row as binary (type 28).
  virtual bool bGetColumnAsBinary(CAny& out, int n, CNAError* error);         // 9
  // Back to "no result": clears the state, both counters -1, no columns.
  virtual void Reset();                                                        // 10
  // Deep copy: the connection is shared (cloned connections are the
  // manager's business); the no-row flag is copied. 1 on success.
  virtual int nCopyFrom(const CNAStatement* source, INACopyContext* context, intptr_t a,
                        intptr_t b);                                           // 11
  virtual CNAStatement* pclClone(INACopyContext* context, intptr_t a, intptr_t b) = 0;  // 12
  // Clears the state word (the back end also closes its result).
  virtual bool bClearState(CNAError* /*error*/) {                             // 13
    m_nState = 0;
    return true;
  }
  virtual bool bLoadColumns(CNAError* /*error*/) { return false; }            // 14
  // The connection's report of its client error; the back end's handle is
  // passed as an opaque pointer.
  virtual bool bConnectionError(void* handle, uint32_t major, uint32_t minor,
                                CNAError* error);                              // 15
  // bConnectionError, then message 28588 with the connection's
  // identification and the text cut to 5000 characters.
  virtual void ReportError(void* handle, uint32_t major, uint32_t minor, const char16_t* text,
                           size_t length, intptr_t unused, CNAError* error);  // 16
  // A parameter value as an SQL literal of the connection.
  virtual bool bAppendValue(CDualString* out, const CAny& value, CNAError* error);  // 17
  // Sends an 8-bit text of the connection's code page.
  virtual bool bExecuteNarrow(const char* /*text*/, size_t /*length*/, intptr_t /*unused*/,
                              int64_t* /*affected*/, CNAError* /*error*/) {   // 18
    return false;
  }
  // Converts to the connection's code page and runs slot 18; fails when the
  // connection works in UTF-16 only (-2).
  virtual bool bExecuteWide(const char16_t* text, CNAError* error);          // 19
  // The same, with the rows the statement changed into *affected (when
  // given).
  bool bExecuteWideCounted(const char16_t* text, int64_t* affected, CNAError* error);
  virtual bool bExecuteText(CDualString* text, CNAError* error);             // 20
  // Moves to the next row: 1 with a row or at the end (bEndOfRows tells).
  virtual bool bFetchNext(intptr_t /*unused*/, CNAError* /*error*/) { return false; }  // 21
  // Positions a buffered result so that the next fetch gives row n.
  virtual bool bSeekRow(int32_t /*n*/, CNAError* /*error*/) { return false; }  // 22
  // Past the slot table. The SQL literal that the server compares equal to
  // column n of the current row as stored ("NULL" sets *is_null): a write
  // names its row by these. This one writes the value text as a literal; a
  // back end that knows the stored form overrides it.
  virtual bool bIdentityLiteral(int n, std::u16string* literal, bool* is_null, CNAError* error);
  // The condition that column n of the current row, whose quoted name is
  // `name`, holds exactly the value as stored ("name IS NULL" for NULL):
  // for texts the same characters, not what the column's collation finds
  // equal (case, accents, trailing spaces). A row named by all its columns
  // is named by these. This one compares the identity literal with "=";
  // a back end that can compare texts exactly overrides it.
  virtual bool bExactCondition(int n, const std::u16string& name, std::u16string* condition,
                               CNAError* error);
  // Column n holds a value short enough to compare whole although its
  // item is a large object (ENUM, SET, a long VARCHAR): a row named by all
  // its columns includes it.
  virtual bool bIsShortValue(int /*n*/) const { return false; }
  // Column n of the current row is NULL, told without converting it (false
  // when this statement cannot tell so cheaply).
  virtual bool bIsNullValue(int /*n*/) const { return false; }
  // The SQL type that CAST(value AS type) turns a value written into
  // column n into as the column stores it (rounded to its fraction digits,
  // padded to its fixed length), judged from this result's description of
  // the column; false when a value goes in as it is written.
  virtual bool bStoredFormType(int /*n*/, std::u16string* /*type*/) const { return false; }
  // Column n of the current row is a text that may have reached this
  // conversation with characters its character set lacks replaced by '?'
  // (they cannot be told from a '?' stored): the value read is not the
  // value stored.
  virtual bool bMayHaveLostCharacters(int /*n*/) const { return false; }
  // Column n of the current row as slot 7 gives it, made straight from the
  // bytes the server sent when that is the same text (a number, or a text
  // of ASCII characters alone); false, `out` untouched, when slot 7 must
  // convert it.
  virtual bool bColumnTextInPlace(CAny& /*out*/, int /*n*/) const { return false; }
  // Column n of the current row is a number the server shows rounded
  // (other stored values may show the same): the value read is not the
  // value stored, and the stored one is found as a double.
  virtual bool bShowsRoundedNumber(int /*n*/) const { return false; }
  // Column n holds approximate (floating-point) numbers, whose text may be
  // rounded whatever the row.
  virtual bool bHoldsApproximateNumbers(int /*n*/) const { return false; }
  // Column n is set by the server itself whenever its row is updated
  // (ON UPDATE CURRENT_TIMESTAMP).
  virtual bool bIsSetOnUpdate(int /*n*/) const { return false; }

  // --- operations ---
  CNAConnection* pclGetConnection() const { return m_pConnection; }
  int32_t nGetSerial() const { return m_nSerial; }
  // Changes with every execution (and reset): a row number means the same
  // row only while it stays the same.
  uint64_t nGetExecution() const { return m_nExecution; }
  int nGetColumnCount() const { return m_nColumnCount; }
  int64_t nGetRowCount() const { return m_nRowCount; }
  int64_t nGetCurrentRow() const { return m_nCurrentRow; }
  bool bEndOfRows() const { return m_bEndOfRows; }
  bool bHasRow() const { return m_nCurrentRow >= 0 && !m_bEndOfRows; }
  // Descriptor n (loaded first when needed); null with driver error 51
  // (n below 0) or 50 (n at or above the count).
  CNAResultColumn* pclGetResultColumn(int n, CNAError* error);
  // The name of column n's descriptor.
  bool bGetColumnName(CAny& out, int n, CNAError* error);
  // The value text of column n of the current row (slot 7).
  bool bGetColumnText(CAny& out, int n, CNAError* error) { return bGetColumnAsText(out, n, error); }
  // The current row as one text, the first `count` columns (all for 0 or
  // less) joined by TAB, NULL as empty; driver error 7 without a row.
  bool bGetRowText(CAny& out, int count, CNAError* error);
  // Executes, fetches the first row and puts column n of it as text into
  // `out` (left alone without a row); then resets.
  bool bExecuteFetchAll(const char16_t* text, CAny& out, int n, CNAError* error);
  // Resets, then sends the 8-bit text (the affected-row count into
  // *affected when given).
  bool bPrepareAndExecute(const char* text, intptr_t unused, int64_t* affected,
                          CNAError* error);
  // The statement's own value (kind 1), made on first use.
  CNAValueConverter* pclGetValueHolder();

 protected:
  // Installs a new descriptor array of n entries, freeing the earlier one.
  bool bAllocateColumns(int n);
  void FreeColumns();
  // The code page of 8-bit statement texts (-2: UTF-16 only).
  int32_t nGetTextCodePage() const;
  // Message 77: a text (UTF-16, cut for the message) that the code page
  // of the conversation cannot carry.
  void ReportUnconvertible(CNAError* error, const char16_t* text, size_t length, int32_t page);
  // Driver error with the site pair on the statement.
  void ReportDriverError(CNAError* error, uint32_t minor, uint32_t number, int32_t a,
                         int32_t b = 0, bool two = false);

  CNAConnection* m_pConnection = nullptr;
  uint32_t m_nState = 0;
  int64_t m_nRowCount = -1;
  int64_t m_nCurrentRow = -1;
  int m_nColumnCount = 0;
  CNAResultColumn* m_pColumns = nullptr;
  int m_nAllocatedColumns = 0;
  bool m_bEndOfRows = true;
  uint32_t m_nFlags = 0;
  int64_t m_nColumnWidths = 0;
  int32_t m_nSerial = 0;
  uint64_t m_nExecution = 0;
  CNAValueConverter* m_pValueHolder = nullptr;
};

// A statement made without a connection whose rows are read one at a time
// as they come (no result held whole); the back end that runs it takes
// its connection when it copies one in.
class CNAStatementStreaming : public CNAStatement {
 public:
  CNAStatementStreaming();
  // A new streaming statement copied from this one (no reference taken);
  // null when it cannot be made.
  CNAStatement* pclClone(INACopyContext* context, intptr_t a, intptr_t b) override;
};

// Process-wide statement serial numbers (first: 1).
int32_t NANextStatementSerial();

#endif  // QG_DRIVER_SQL_STATEMENT_H_
