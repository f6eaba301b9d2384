// Clocks: a monotonic millisecond tick count (GetTickCount) and the UTC and
// local date-time (GetSystemTime, GetLocalTime), each replaceable by a test.
#ifndef QG_SUPPORT_PLATFORM_CLOCK_H_
#define QG_SUPPORT_PLATFORM_CLOCK_H_

#include <cstdint>

namespace qg {

// Field for field the Windows SYSTEMTIME: month 1..12, day of week 0..6
// from Sunday, day 1..31, milliseconds 0..999.
struct SystemTime {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
};

// Milliseconds of a monotonic clock, truncated to 32 bits: it wraps after
// about 49.7 days, so callers compare ticks by unsigned difference.
uint32_t TickCountMs();

SystemTime SystemTimeUtc();
SystemTime LocalTime();

// Milliseconds since 1970-01-01 00:00 of a date-time, and back (the day of
// week is computed). Fields out of range are not checked.
int64_t SystemTimeToUnixMs(const SystemTime& t);
SystemTime UnixMsToSystemTime(int64_t ms);

// Test hook. While a FakeClock lives, each clock that was set on it answers
// from it; the others stay real. One FakeClock at a time; its setters may
// be called while other threads read the clocks.
class FakeClock {
 public:
  FakeClock();
  ~FakeClock();
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  void SetTickCount(uint32_t ms);
  void SetUtc(const SystemTime& t);
  void SetLocal(const SystemTime& t);
  // Moves every clock that was set by ms (the tick count wraps).
  void AdvanceMs(uint32_t ms);
};

}  // namespace qg

#endif  // QG_SUPPORT_PLATFORM_CLOCK_H_
