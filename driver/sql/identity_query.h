// CNAIdentityQuery: the statements that read the identifier the server
// generated for the last insert, and the next value of a column
// (its maximum plus one), in the dialect of the connection, and their
// reading through a statement of the caller's.
#ifndef QG_DRIVER_SQL_IDENTITY_QUERY_H_
#define QG_DRIVER_SQL_IDENTITY_QUERY_H_

#include <string>

#include "driver/core/refcounted.h"
#include "support/any.h"

class CNAConnection;
class CNAError;
class CNAStatement;

// The column an identity is read for.
struct NAIdentityTarget {
  CNAConnection* connection = nullptr;  // dialect, quoting
  const char16_t* table = nullptr;
  const char16_t* column = nullptr;
  int nHostType = 0;          // the column's host type (1, 28: automatic identifiers)
  bool bQuoteNames = true;    // the table description says names are quoted
};

class CNAIdentityQuery : public CNARefCounted {
 public:
  CNAIdentityQuery() = default;
  ~CNAIdentityQuery() override;

  // --- virtual operations in slot order (0 and 1 are the base's) ---
  // The column's next value: its maximum plus one, 1 for an empty table.
  virtual bool bReadNextValue(CNAStatement* statement, const NAIdentityTarget& target,
                              CAny* value, CNAError* error);                     // 2
  // The identifier the last insert generated; no value is an error
  // (message 59 naming the table and the column).
  virtual bool bReadLastIdentity(CNAStatement* statement, const NAIdentityTarget& target,
                                 CAny* value, CNAError* error);                  // 3
  virtual bool bWriteNextValueQuery(std::u16string* out, const NAIdentityTarget& target,
                                    CNAError* error);                            // 4
  virtual bool bWriteIdentityQuery(std::u16string* out, const NAIdentityTarget& target,
                                   CNAError* error);                             // 5
  // Message 28576 with the table and column names.
  virtual void ReportMissingValue(const NAIdentityTarget& target, CNAError* error);  // 6

 private:
  bool bWrite(std::u16string* out, const NAIdentityTarget& target, bool next, CNAError* error);
  // Runs the text and reads the first column of the first row (null when
  // there is no row or it is NULL). The statement is held during the read.
  bool bReadFirst(CNAStatement* statement, const std::u16string& text, CAny* value,
                  CNAError* error);

  CNAStatement* m_pStatement = nullptr;  // one reference while reading
};

#endif  // QG_DRIVER_SQL_IDENTITY_QUERY_H_
