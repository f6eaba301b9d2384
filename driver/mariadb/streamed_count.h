// Counting the rows of a read by streaming them: the statement is switched
// to an unbuffered result for the run, every row is fetched raw under the
// connection lock, and the statement's store mode is restored whatever
// happens.
#ifndef QG_DRIVER_MARIADB_STREAMED_COUNT_H_
#define QG_DRIVER_MARIADB_STREAMED_COUNT_H_

#include <cstdint>
#include <functional>

class CNAError;
class CNAStatementMariaDB;

// `run` executes the read on `statement` (false on failure, error filed).
// False when the run fails or the stream ends on a client error (a row
// count cut short is not a count); *count is then what was read. The
// result is closed and the store mode set back before returning.
bool NACountRowsStreamed(CNAStatementMariaDB* statement,
                         const std::function<bool(CNAError*)>& run, int64_t* count,
                         CNAError* error);

#endif  // QG_DRIVER_MARIADB_STREAMED_COUNT_H_
