#include "driver/core/session_moves.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

TEST(SessionMoves, ResolveMove) {
  struct Case {
    int32_t mode;
    int64_t count, current, total;
    int32_t want_mode;
    int64_t want_count;
  } cases[] = {
      // Ten records, on the third.
      {kNAMoveForward, 5, 3, 10, kNAMoveAbsolute, 8},
      {kNAMoveForward, 7, 3, 10, kNAMoveAbsolute, 10},
      {kNAMoveForward, 8, 3, 10, kNAMoveForward, 1},
      {kNAMoveBackward, 2, 3, 10, kNAMoveAbsolute, 1},
      {kNAMoveBackward, 3, 3, 10, kNAMoveBackward, 1},
      // A count that would wrap current + count stays a forward overshoot.
      {kNAMoveForward, kMax, 3, 10, kNAMoveForward, kMax - 7},
      {kNAMoveBackward, kMax, 3, 10, kNAMoveBackward, kMax - 2},
      // Already past the end: left as asked.
      {kNAMoveForward, 2, 12, 10, kNAMoveForward, 2},
      // Absolute: the record asked for, at most the last one.
      {kNAMoveAbsolute, 6, 3, 10, kNAMoveAbsolute, 6},
      {kNAMoveAbsolute, 25, 3, 10, kNAMoveAbsolute, 10},
      {kNAMoveAbsolute, kMax, 3, 10, kNAMoveAbsolute, 10},
      {kNAMoveAbsolute, 4, 1, 0, kNAMoveAbsolute, 4},
  };
  for (const Case& c : cases) {
    NAMove move = NAResolveMove(c.mode, c.count, c.current, c.total);
    EXPECT_EQ(c.want_mode, move.nMode) << c.mode << " " << c.count << " " << c.current;
    EXPECT_EQ(c.want_count, move.nCount) << c.mode << " " << c.count << " " << c.current;
  }
}

TEST(SessionMoves, PlanFetch) {
  struct Case {
    int64_t cache, record, requested;
    int64_t fetch, first, rest;
  } cases[] = {
      {-2, 100000, 50, 20, 7, 43},     // 1 MiB / 100 000 = 10, raised to 20
      {-2, 1000, 2000, 1048, 10, 1990},
      {-2, 1000, 5, 1048, 5, 0},
      {-2, 0, 1, 100, 1, 0},           // no record size: the default
      {500, 1000, 600, 500, 10, 590},
      // 0 or below counts as unset: never a fetch of no rows.
      {0, 1000, 1, 1048, 1, 0},
      {-1, 0, 1, 100, 1, 0},
  };
  for (const Case& c : cases) {
    NAFetchPlan plan = NAPlanFetch(c.cache, c.record, 100, c.requested);
    EXPECT_EQ(c.fetch, plan.nFetchSize) << c.cache << " " << c.record;
    EXPECT_EQ(c.first, plan.nFirst) << c.cache << " " << c.record;
    EXPECT_EQ(c.rest, plan.nRest) << c.cache << " " << c.record;
  }
}

}  // namespace
