#include "driver/core/support/datetime_fields.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "support/calendar.h"

namespace {

void ClampDay(qg::AnyDateTime& dt) {
  if (dt.nDay == 0 || dt.nMonth == 0 || dt.nYear == 0) return;
  int days = nNADaysInMonth(dt.nMonth, dt.nYear);
  if (days > 0 && dt.nDay > days) dt.nDay = uint8_t(days);
}

int SetTimePart(qg::AnyDateTime& dt, int value, int max, uint32_t unit, uint32_t span) {
  if (value < 0 || value > max) return 0;
  const uint32_t old_part = (dt.nMilliseconds / unit) % span;
  dt.nMilliseconds = dt.nMilliseconds - old_part * unit + uint32_t(value) * unit;
  return 1;
}

template <class Char>
size_t WriteDigits(const int* values, const int* widths, int parts, Char* out, size_t capacity) {
  if (out == nullptr || capacity == 0) return 0;
  size_t written = 0;
  for (int p = 0; p < parts; ++p) {
    int div = 1;
    for (int i = 1; i < widths[p]; ++i) div *= 10;
    for (int i = 0; i < widths[p]; ++i, div /= 10) {
      if (written + 1 >= capacity) {
        out[written] = 0;
        return written;
      }
      out[written++] = Char('0' + values[p] / div % 10);
    }
  }
  out[written] = 0;
  return written;
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

template <class Char>
size_t TimeDigits(const qg::AnyDateTime& dt, Char* out, size_t capacity) {
  const uint32_t t = dt.nMilliseconds;
  const int values[4] = {Clamp(int(t / 3600000u), 0, 99), int(t / 60000u % 60),
                         int(t / 1000u % 60), int(t % 1000u)};
  const int widths[4] = {2, 2, 2, 3};
  return WriteDigits(values, widths, 4, out, capacity);
}

template <class Char>
int ReadDigitField(const Char* text, int start, int count, bool tolerant) {
  if (text == nullptr || text[0] == 0 || start < 0 || count <= 0 || count > INT_MAX - start) {
    return 0;
  }
  int length = 0;
  while (length < start + count && text[length] != 0) ++length;
  int missing = 0;
  if (length < start + count) {
    if (!tolerant || start >= length) return 0;
    missing = start + count - length;
  }
  // Like the runtime's integer reader, a value past the int range gives
  // INT_MAX instead of overflowing.
  int64_t value = 0;
  for (int i = start; i < start + count - missing; ++i) {
    if (text[i] < '0' || text[i] > '9') {
      // The integer stops at the first non-digit; no scaling then.
      return static_cast<int>(value);
    }
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), INT_MAX);
  }
  for (int i = 0; i < missing && value != 0 && value != INT_MAX; ++i) {
    value = std::min<int64_t>(value * 10, INT_MAX);
  }
  return static_cast<int>(value);
}

}  // namespace

// The calendar rule of the date-time values (four-year rule alone before
// 1583, Gregorian from then on).
int nNADaysInMonth(int month, int year) { return nNbJoursMois(month, year); }

int bNASetHour(qg::AnyDateTime& dt, int hour) { return SetTimePart(dt, hour, 23, 3600000u, 24); }
int bNASetMinute(qg::AnyDateTime& dt, int minute) {
  return SetTimePart(dt, minute, 59, 60000u, 60);
}
int bNASetSecond(qg::AnyDateTime& dt, int second) { return SetTimePart(dt, second, 59, 1000u, 60); }
int bNASetMillisecond(qg::AnyDateTime& dt, int millisecond) {
  return SetTimePart(dt, millisecond, 999, 1u, 1000);
}

int bNASetYear(qg::AnyDateTime& dt, int year) {
  if (year < 1 || year > 9999) return 0;
  dt.nYear = uint16_t(year);
  ClampDay(dt);
  return 1;
}

int bNASetMonth(qg::AnyDateTime& dt, int month) {
  if (month < 1 || month > 12) return 0;
  dt.nMonth = uint8_t(month);
  ClampDay(dt);
  return 1;
}

int bNASetDay(qg::AnyDateTime& dt, int day) {
  if (day < 1 || day > 31) return 0;
  dt.nDay = uint8_t(day);
  ClampDay(dt);
  return 1;
}

int bNASetFromSystemTime(qg::AnyDateTime& dt, const NASystemTime& st) {
  bNASetYear(dt, st.wYear);
  bNASetMonth(dt, st.wMonth);
  bNASetDay(dt, st.wDay);
  bNASetHour(dt, st.wHour);
  bNASetMinute(dt, st.wMinute);
  bNASetSecond(dt, st.wSecond);
  return bNASetMillisecond(dt, st.wMilliseconds);
}

size_t NAWriteDateDigits(const qg::AnyDateTime& dt, char16_t* out, size_t capacity) {
  const int values[3] = {Clamp(dt.nYear, 0, 9999), Clamp(dt.nMonth, 0, 99),
                         Clamp(dt.nDay, 0, 99)};
  const int widths[3] = {4, 2, 2};
  return WriteDigits(values, widths, 3, out, capacity);
}

size_t NAWriteTimeDigits(const qg::AnyDateTime& dt, char16_t* out, size_t capacity) {
  return TimeDigits(dt, out, capacity);
}

size_t NAWriteTimeDigits(const qg::AnyDateTime& dt, char* out, size_t capacity) {
  return TimeDigits(dt, out, capacity);
}

int nNAReadDigitField(const char16_t* text, int start, int count, bool tolerant) {
  return ReadDigitField(text, start, count, tolerant);
}

int nNAReadDigitField(const char* text, int start, int count, bool tolerant) {
  return ReadDigitField(text, start, count, tolerant);
}
