// CNAStatementMariaDB: the MariaDB form of the statement. It sends one text
// with mysql_real_query, takes the result buffered (mysql_store_result) or
// unbuffered (mysql_use_result), walks past further result sets, describes
// the result columns, fetches rows and hands column texts to value
// converters.
//
// Every client call on the connection's handle is made under the
// connection's lock, and each stands alone in a guard: the trap of a
// function the library lacks becomes message 37 naming it, any other
// exception message 23 ("MariaDB") with the client version (message 3355);
// each call has its own site pair (major 100).
#ifndef QG_DRIVER_MARIADB_STATEMENT_MARIADB_H_
#define QG_DRIVER_MARIADB_STATEMENT_MARIADB_H_

#include <mariadb/mysql.h>

#include <cstdint>
#include <vector>

#include "driver/sql/statement.h"

class INAMariaDBClientLink;

class CNAStatementMariaDB : public CNAStatement {
 public:
  // The base class's slot stays in reach beside the private helper of the
  // same name below.
  using CNAStatement::bStoreResult;
  // The connection must implement INAMariaDBClientLink.
  explicit CNAStatementMariaDB(CNAConnection* connection);
  CNAStatementMariaDB();
  ~CNAStatementMariaDB() override;

  bool bGetColumnValue(CNAValueConverter* value, int n, intptr_t unused,
                       CNAError* error) override;
  // Binary strings and bits as hexadecimal bytes, dates and times as the
  // server wrote them (with separators, sign and fraction), numbers in a
  // form that converts back to the stored value.
  bool bIdentityLiteral(int n, std::u16string* literal, bool* is_null, CNAError* error) override;
  // Texts compared as the bytes the server sent, converted alike on its
  // side; other columns as their identity literal.
  bool bExactCondition(int n, const std::u16string& name, std::u16string* condition,
                       CNAError* error) override;
  // Strings (CHAR, VARCHAR, ENUM, SET), not the TEXT and BLOB types.
  bool bIsShortValue(int n) const override;
  bool bIsNullValue(int n) const override;
  bool bStoredFormType(int n, std::u16string* type) const override;
  bool bMayHaveLostCharacters(int n) const override;
  bool bColumnTextInPlace(CAny& out, int n) const override;
  bool bShowsRoundedNumber(int n) const override;
  bool bHoldsApproximateNumbers(int n) const override;
  bool bIsSetOnUpdate(int n) const override;
  int nCopyFrom(const CNAStatement* source, INACopyContext* context, intptr_t a,
                intptr_t b) override;
  CNAStatement* pclClone(INACopyContext* context, intptr_t a, intptr_t b) override;
  // Closes the result (drains an unbuffered one first).
  bool bClearState(CNAError* error) override;
  bool bLoadColumns(CNAError* error) override;
  bool bConnectionError(void* handle, uint32_t major, uint32_t minor, CNAError* error) override;
  bool bExecuteNarrow(const char* text, size_t length, intptr_t unused, int64_t* affected,
                      CNAError* error) override;
  bool bFetchNext(intptr_t unused, CNAError* error) override;
  bool bSeekRow(int32_t n, CNAError* error) override;

  // Sends a terminated 8-bit text in the server code page and takes its
  // result; the affected-row count into *affected when given (a count the
  // client does not know is stored as 0).
  bool bExecute(const char* text, intptr_t a, intptr_t b, int64_t* affected, CNAError* error);
  // The same for a text of `length` bytes.
  bool bExecuteBytes(const char* text, size_t length, intptr_t a, intptr_t b, int64_t* affected,
                     CNAError* error);
  bool bCloseResult(CNAError* error);
  bool bFetchRow(CNAError* error);
  // One mysql_fetch_row of the held result; the caller holds the lock.
  MYSQL_ROW pFetchRawRow(intptr_t unused, CNAError* error);
  // Column n of the current row as the server sent it (null text: NULL);
  // false without a row or for a column outside.
  bool bGetRawColumn(int n, const char** text, size_t* length) const;

  // 1 (default): results are stored; 0: read unbuffered.
  void SetStoreMode(int mode) { m_nStoreMode = mode; }
  bool bIsUnbuffered() const { return m_bUnbuffered; }
  void SetUnbufferedDone();
  MYSQL_RES* pGetResult() const { return m_pResult; }
  INAMariaDBClientLink* pclGetLink() const { return m_pLink; }

 private:
  bool bStoreResult(MYSQL* handle, CNAError* error);
  bool bUseResult(MYSQL* handle, CNAError* error);
  void OnError(MYSQL* handle, uint32_t major, uint32_t minor, const char16_t* text,
               size_t length, size_t byte_length, CNAError* error);
  template <typename F>
  bool bGuard(CNAError* error, uint32_t minor, F&& call);
  void ResetResultFields();

  INAMariaDBClientLink* m_pLink = nullptr;
  MYSQL_RES* m_pResult = nullptr;
  MYSQL_ROW m_pRow = nullptr;
  bool m_bUnbuffered = false;
  unsigned long* m_pLengths = nullptr;
  int m_nStoreMode = 1;
  // Of a stored result: where each row fetched so far sits in the client's
  // row list, so that a move back goes straight to it instead of walking
  // the list from its start.
  std::vector<MYSQL_ROWS*> m_apRowOffsets;
};

#endif  // QG_DRIVER_MARIADB_STATEMENT_MARIADB_H_
