#include "support/platform/clock.h"

#include <time.h>

#include <atomic>
#include <mutex>

namespace qg {

namespace {

struct FakeState {
  bool has_tick = false;
  bool has_utc = false;
  bool has_local = false;
  uint32_t tick = 0;
  int64_t utc_ms = 0;
  int64_t local_ms = 0;
};

// g_fake_active is set while a FakeClock lives; g_fake is read and written
// under g_fake_lock.
std::atomic<bool> g_fake_active{false};
std::mutex g_fake_lock;
FakeState g_fake;

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  int64_t era = FloorDiv(y, 400);
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t RealUnixMs() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

int64_t SystemTimeToUnixMs(const SystemTime& t) {
  int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);
  return ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + int64_t{t.wSecond} * 1000 +
         t.wMilliseconds;
}

SystemTime UnixMsToSystemTime(int64_t ms) {
  int64_t days = FloorDiv(ms, 86400000);
  int64_t rest = ms - days * 86400000;
  // Civil date from days since 1970-01-01.
  int64_t z = days + 719468;
  int64_t era = FloorDiv(z, 146097);
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  int64_t y = yoe + era * 400 + (m <= 2);
  SystemTime t;
  t.wYear = static_cast<uint16_t>(y);
  t.wMonth = static_cast<uint16_t>(m);
  t.wDay = static_cast<uint16_t>(d);
  t.wDayOfWeek = static_cast<uint16_t>(FloorMod(days + 4, 7));  // 1970-01-01 was a Thursday
  t.wHour = static_cast<uint16_t>(rest / 3600000);
  t.wMinute = static_cast<uint16_t>(rest / 60000 % 60);
  t.wSecond = static_cast<uint16_t>(rest / 1000 % 60);
  t.wMilliseconds = static_cast<uint16_t>(rest % 1000);
  return t;
}

uint32_t TickCountMs() {
  if (g_fake_active.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> guard(g_fake_lock);
    if (g_fake.has_tick) return g_fake.tick;
  }
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
  return static_cast<uint32_t>(ms);
}

SystemTime SystemTimeUtc() {
  if (g_fake_active.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> guard(g_fake_lock);
    if (g_fake.has_utc) return UnixMsToSystemTime(g_fake.utc_ms);
  }
  return UnixMsToSystemTime(RealUnixMs());
}

SystemTime LocalTime() {
  if (g_fake_active.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> guard(g_fake_lock);
    if (g_fake.has_local) return UnixMsToSystemTime(g_fake.local_ms);
  }
  int64_t ms = RealUnixMs();
  time_t secs = static_cast<time_t>(FloorDiv(ms, 1000));
  tm local;
  if (localtime_r(&secs, &local) == nullptr) return UnixMsToSystemTime(ms);
  // The local offset applied to the UTC instant keeps the milliseconds.
  return UnixMsToSystemTime(ms + int64_t{local.tm_gmtoff} * 1000);
}

FakeClock::FakeClock() {
  std::lock_guard<std::mutex> guard(g_fake_lock);
  g_fake = FakeState();
  g_fake_active.store(true, std::memory_order_release);
}

FakeClock::~FakeClock() {
  std::lock_guard<std::mutex> guard(g_fake_lock);
  g_fake = FakeState();
  g_fake_active.store(false, std::memory_order_release);
}

void FakeClock::SetTickCount(uint32_t ms) {
  std::lock_guard<std::mutex> guard(g_fake_lock);
  g_fake.has_tick = true;
  g_fake.tick = ms;
}

void FakeClock::SetUtc(const SystemTime& t) {
  std::lock_guard<std::mutex> guard(g_fake_lock);
  g_fake.has_utc = true;
  g_fake.utc_ms = SystemTimeToUnixMs(t);
}

void FakeClock::SetLocal(const SystemTime& t) {
  std::lock_guard<std::mutex> guard(g_fake_lock);
  g_fake.has_local = true;
  g_fake.local_ms = SystemTimeToUnixMs(t);
}

void FakeClock::AdvanceMs(uint32_t ms) {
  std::lock_guard<std::mutex> guard(g_fake_lock);
  g_fake.tick += ms;
  g_fake.utc_ms += ms;
  g_fake.local_ms += ms;
}

}  // namespace qg
