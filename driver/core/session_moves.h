// The arithmetic of a session's reads that needs no server: turning a move
// by a count into an absolute move or an overshoot, and the number of rows
// per fetch along a key.
#ifndef QG_DRIVER_CORE_SESSION_MOVES_H_
#define QG_DRIVER_CORE_SESSION_MOVES_H_

#include <cstdint>

// Move modes of a table access object.
enum : int32_t { kNAMoveForward = 2, kNAMoveBackward = 3, kNAMoveAbsolute = 4 };

struct NAMove {
  int32_t nMode;
  int64_t nCount;  // records to move, or the record number (from 1) for mode 4
};

// Resolves a move by `count` from the current record `current` (counted
// from 1) in a set of `total` records:
// - forward: within the set it becomes absolute to current + count; from a
//   current record inside the set, past its end, it stays forward by the
//   overshoot count - (total - current);
// - backward: when both current and total are above count, absolute to
//   current - count; else backward by the overshoot count - current + 1;
// - absolute: to the record asked for, at most `total` when there are any.
// Every comparison is free of overflow, whatever the count.
NAMove NAResolveMove(int32_t mode, int64_t count, int64_t current, int64_t total);

// Rows per fetch for a read along a unique key.
struct NAFetchPlan {
  int64_t nFetchSize;  // rows per fetch
  int64_t nFirst;      // rows of the first fetch
  int64_t nRest;       // rows kept for the fetches after the first
};

// `cache_size` is the connection's "QG Cache Size" (0 or below: unset);
// unset, the fetch size is 1 048 576 / `record_size`, at least 20, or
// `default_size` for a record size of 0. A request of at least the fetch
// size starts with 10 rows, or with a third of the fetch size plus one when
// it is 20 or less, and keeps the rest; a smaller request is fetched whole.
NAFetchPlan NAPlanFetch(int64_t cache_size, int64_t record_size, int64_t default_size,
                        int64_t requested);

#endif  // QG_DRIVER_CORE_SESSION_MOVES_H_
