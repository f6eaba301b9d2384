// Names and texts of the server indexes a session creates after CREATE
// TABLE.
#ifndef QG_DRIVER_CORE_INDEX_TEXTS_H_
#define QG_DRIVER_CORE_INDEX_TEXTS_H_

#include <cstdint>
#include <string>
#include <vector>

// "QGIDX" + the seconds since 1 January 1970 (UTC) + a process-wide counter
// (0 for the first name of the process, moved atomically).
std::u16string NATemporaryIndexName();
// The same with given values (tests).
std::u16string NATemporaryIndexName(uint64_t seconds, int32_t counter);

// "CREATE [UNIQUE] INDEX name ON table ( c1,c2 ) ": the table and column
// names as given (quoted by the caller), the columns joined by "," without
// a blank. A plain index leaves two blanks between CREATE and INDEX.
std::u16string NACreateIndexText(bool unique, const std::u16string& name,
                                 const std::u16string& quoted_table,
                                 const std::vector<std::u16string>& quoted_columns);

#endif  // QG_DRIVER_CORE_INDEX_TEXTS_H_
