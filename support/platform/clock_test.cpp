#include "support/platform/clock.h"

#include <time.h>

#include <gtest/gtest.h>

namespace qg {
namespace {

SystemTime Make(int y, int mo, int d, int h, int mi, int s, int ms) {
  SystemTime t{};
  t.wYear = static_cast<uint16_t>(y);
  t.wMonth = static_cast<uint16_t>(mo);
  t.wDay = static_cast<uint16_t>(d);
  t.wHour = static_cast<uint16_t>(h);
  t.wMinute = static_cast<uint16_t>(mi);
  t.wSecond = static_cast<uint16_t>(s);
  t.wMilliseconds = static_cast<uint16_t>(ms);
  return t;
}

void ExpectSame(const SystemTime& a, const SystemTime& b) {
  EXPECT_EQ(a.wYear, b.wYear);
  EXPECT_EQ(a.wMonth, b.wMonth);
  EXPECT_EQ(a.wDay, b.wDay);
  EXPECT_EQ(a.wDayOfWeek, b.wDayOfWeek);
  EXPECT_EQ(a.wHour, b.wHour);
  EXPECT_EQ(a.wMinute, b.wMinute);
  EXPECT_EQ(a.wSecond, b.wSecond);
  EXPECT_EQ(a.wMilliseconds, b.wMilliseconds);
}

TEST(ClockTest, DateConversionAgainstKnownInstants) {
  struct Case {
    int64_t ms;
    int y, mo, d, dow, h, mi, s, milli;
  };
  const Case cases[] = {
      {0, 1970, 1, 1, 4, 0, 0, 0, 0},
      {-1, 1969, 12, 31, 3, 23, 59, 59, 999},
      {951782400000, 2000, 2, 29, 2, 0, 0, 0, 0},        // leap day of a /400 year
      {4107542399999, 2100, 2, 28, 0, 23, 59, 59, 999},  // 2100 has no Feb 29
      {4107542400000, 2100, 3, 1, 1, 0, 0, 0, 0},
      {1700000000123, 2023, 11, 14, 2, 22, 13, 20, 123},
      {-11644473600000, 1601, 1, 1, 1, 0, 0, 0, 0},      // the FILETIME epoch
  };
  for (const Case& c : cases) {
    SystemTime t = UnixMsToSystemTime(c.ms);
    SystemTime want = Make(c.y, c.mo, c.d, c.h, c.mi, c.s, c.milli);
    want.wDayOfWeek = static_cast<uint16_t>(c.dow);
    ExpectSame(want, t);
    EXPECT_EQ(c.ms, SystemTimeToUnixMs(t));
  }
}

TEST(ClockTest, RealClocksAgreeWithTheSystem) {
  uint32_t a = TickCountMs();
  timespec pause{0, 20 * 1000000};
  nanosleep(&pause, nullptr);
  uint32_t b = TickCountMs();
  EXPECT_GE(b - a, 19u);
  EXPECT_LT(b - a, 5000u);

  time_t before = time(nullptr);
  SystemTime utc = SystemTimeUtc();
  SystemTime local = LocalTime();
  time_t after = time(nullptr);
  int64_t utc_s = SystemTimeToUnixMs(utc) / 1000;
  EXPECT_GE(utc_s, before);
  EXPECT_LE(utc_s, after);
  tm lt;
  localtime_r(&before, &lt);
  int64_t offset_s = SystemTimeToUnixMs(local) / 1000 - utc_s;
  EXPECT_NEAR(static_cast<double>(lt.tm_gmtoff), static_cast<double>(offset_s), 2.0);
}

TEST(ClockTest, FakeClockAnswersForTheClocksItSets) {
  uint32_t real_before = TickCountMs();
  {
    FakeClock fake;
    fake.SetTickCount(0xFFFFFFF0u);
    fake.SetUtc(Make(2024, 2, 29, 23, 59, 59, 990));
    EXPECT_EQ(0xFFFFFFF0u, TickCountMs());
    EXPECT_EQ(0xFFFFFFF0u, TickCountMs());  // fixed, not running
    fake.AdvanceMs(0x20);
    EXPECT_EQ(0x10u, TickCountMs());  // wrapped like GetTickCount
    SystemTime utc = SystemTimeUtc();
    SystemTime want = Make(2024, 3, 1, 0, 0, 0, 22);
    want.wDayOfWeek = 5;
    ExpectSame(want, utc);
    // Local time was not set: it stays real.
    EXPECT_GT(LocalTime().wYear, 2020);
    fake.SetLocal(Make(1999, 12, 31, 12, 0, 0, 0));
    EXPECT_EQ(1999, LocalTime().wYear);
    EXPECT_EQ(5, LocalTime().wDayOfWeek);
  }
  // Gone: the real clocks answer again.
  EXPECT_LT(TickCountMs() - real_before, 60000u);
  EXPECT_GT(SystemTimeUtc().wYear, 2020);
}

}  // namespace
}  // namespace qg
