#include "driver/core/session_moves.h"

#include <limits>

namespace {

// a - b, saturated at the limits of 64 bits.
int64_t Sub(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_sub_overflow(a, b, &r)) {
    return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  }
  return r;
}

int64_t Add(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_add_overflow(a, b, &r)) {
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  }
  return r;
}

}  // namespace

NAMove NAResolveMove(int32_t mode, int64_t count, int64_t current, int64_t total) {
  NAMove move = {mode, count};
  switch (mode) {
    case kNAMoveForward: {
      // current + count <= total, written so that a huge count cannot wrap.
      if (count <= Sub(total, current)) {
        move = {kNAMoveAbsolute, Add(current, count)};
      } else if (current <= total) {
        move.nCount = Sub(count, Sub(total, current));
      }
      break;
    }
    case kNAMoveBackward:
      if (current > count && total > count) {
        move = {kNAMoveAbsolute, Sub(current, count)};
      } else {
        move.nCount = Add(Sub(count, current), 1);
      }
      break;
    case kNAMoveAbsolute:
      if (count > total && total > 0) move.nCount = total;
      break;
    default:
      break;
  }
  return move;
}

NAFetchPlan NAPlanFetch(int64_t cache_size, int64_t record_size, int64_t default_size,
                        int64_t requested) {
  int64_t fetch;
  if (cache_size > 0) {
    fetch = cache_size;
  } else if (record_size <= 0) {
    fetch = default_size;
  } else {
    fetch = 1048576 / record_size;
    if (fetch < 20) fetch = 20;
  }
  NAFetchPlan plan = {fetch, requested, 0};
  if (fetch > 0 && requested >= fetch) {
    plan.nFirst = fetch <= 20 ? fetch / 3 + 1 : 10;
    plan.nRest = requested - plan.nFirst;
  }
  return plan;
}
