#include "browser/paint_watcher.h"

#include <gtest/gtest.h>

#include <vector>

namespace qg::web {
namespace {

TEST(PaintWatcherTest, MulDivRoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDiv(500, 100, 125), 400);
  EXPECT_EQ(MulDiv(601, 100, 150), 401);  // 400.67
  EXPECT_EQ(MulDiv(3, 1, 2), 2);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

TEST(PaintWatcherTest, SizeMatchTable) {
  const struct {
    int32_t w, h, W, H;
    double z;
    bool match;
  } cases[] = {
      {500, 375, 400, 300, 125, true},   // device pixels at 125 %
      {400, 300, 400, 300, 100, true},   {401, 300, 400, 300, 100, false},
      {601, 450, 400, 300, 150, true},   // only the floor rule matches
      {400, 300, 400, 300, 0, true},     // exact at zoom 0, no division
      {500, 375, 400, 300, 0, false},
      {400, 300, 400, 300, 125, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PaintMatches(c.w, c.h, c.W, c.H, c.z), c.match)
        << c.w << "x" << c.h << " for " << c.W << "x" << c.H << " at " << c.z;
  }
}

TEST(PaintWatcherTest, TrailingCaptureIsDueOnceAfterTheLastActivity) {
  TrailingCapture t;
  EXPECT_FALSE(t.bDue(10000)) << "nothing happened";
  t.Activity(0);
  t.Activity(200);  // a later frame moves the capture
  EXPECT_FALSE(t.bDue(TrailingCapture::kQuietMs + 100));
  EXPECT_TRUE(t.bDue(TrailingCapture::kQuietMs + 200));
  EXPECT_FALSE(t.bDue(TrailingCapture::kQuietMs + 300)) << "once per quiet period";
  t.Activity(5000);
  EXPECT_TRUE(t.bDue(6000));
}

TEST(PaintWatcherTest, FingerprintTellsContentAndSizeApart) {
  std::vector<uint8_t> a(4 * 10 * 3, 7), b = a;
  b[b.size() - 1] = 8;
  EXPECT_EQ(PaintFingerprint(a.data(), a.size(), 10, 3), PaintFingerprint(a.data(), a.size(), 10, 3));
  EXPECT_NE(PaintFingerprint(a.data(), a.size(), 10, 3), PaintFingerprint(b.data(), b.size(), 10, 3));
  EXPECT_NE(PaintFingerprint(a.data(), a.size(), 10, 3), PaintFingerprint(a.data(), a.size(), 3, 10));
}

TEST(PaintWatcherTest, RepaintScheduleDoubles) {
  // A clock stepping 1 ms: requests after 50, 100, 200, 400 ... ms, each
  // followed by a 50 ms pause, none after 30 s.
  RepaintSchedule s;
  std::vector<int64_t> requests;
  for (int64_t t = 0; t <= RepaintSchedule::kLimitMs; ++t) {
    if (s.Due(t)) {
      requests.push_back(t);
      s.Requested();
      t += RepaintSchedule::kPauseMs;
    }
  }
  EXPECT_EQ(requests, (std::vector<int64_t>{51, 102, 201, 401, 801, 1601, 3201, 6401, 12801, 25601}));
}

}  // namespace
}  // namespace qg::web
