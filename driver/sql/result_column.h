// CNAResultColumn: the description of one column of a statement's result,
// as the back end reports it. A value object: the statement holds an array
// of them.
#ifndef QG_DRIVER_SQL_RESULT_COLUMN_H_
#define QG_DRIVER_SQL_RESULT_COLUMN_H_

#include <cstdint>

#include "support/ctstring.h"

class CNAResultColumn {
 public:
  CNAResultColumn() = default;
  CNAResultColumn(const CNAResultColumn& other) { CopyFrom(other); }
  CNAResultColumn& operator=(const CNAResultColumn& other) {
    CopyFrom(other);
    return *this;
  }
  virtual ~CNAResultColumn() = default;               // 0
  virtual void CopyFrom(const CNAResultColumn& other);  // 1
  // A new copy; null when the memory cannot be had.
  virtual CNAResultColumn* pclClone() const;          // 2

  // Texts: the column's name, its table, its name in the table, its
  // database.
  CTString m_strName;
  CTString m_strTable;
  CTString m_strOriginalName;
  CTString m_strDatabase;
  // Sizes and flags as the back end reports them.
  int64_t m_nLength = 0;      // declared display length
  int32_t m_nSize = 0;        // byte size in a row buffer
  int32_t m_nPrecision = 0;   // integer digits of a decimal
  int32_t m_nScale = 0;       // fraction digits
  int32_t m_nServerType = 0;  // the client library's field type
  int32_t m_nCharset = 0;     // character set or collation number
  int32_t m_nColumnType = 0;  // the driver's column type
  uint32_t m_nFlags = 0;      // the client library's field flags
  int64_t m_nMaxLength = 0;   // longest value of a buffered result
};

#endif  // QG_DRIVER_SQL_RESULT_COLUMN_H_
