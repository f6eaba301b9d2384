// Field setters with calendar checks on the 8-byte date-time value, digit
// texts of its parts and digit fields read out of texts.
#ifndef QG_DRIVER_CORE_SUPPORT_DATETIME_FIELDS_H_
#define QG_DRIVER_CORE_SUPPORT_DATETIME_FIELDS_H_

#include <cstddef>
#include <cstdint>

// The date-time value as it is stored: day, month, year, milliseconds since
// midnight.
struct NADateTime {
  uint8_t byDay = 0;
  uint8_t byMonth = 0;
  uint16_t wYear = 0;
  uint32_t nMilliseconds = 0;
};
static_assert(sizeof(NADateTime) == 8);

// The system-time record: eight 16-bit values.
struct NASystemTime {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;  // ignored by the setters
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
};

// Days of a month (1..12) of a year; 0 for another month.
int nNADaysInMonth(int month, int year);

// Each returns 1, or 0 with the value unchanged when the argument is out of
// range: hour 0..23, minute and second 0..59, millisecond 0..999 (replacing
// that part of the time); year 1..9999, month 1..12, day 1..31 (then the
// day is pulled down to the month's length when day, month and year are
// all set).
int bNASetHour(NADateTime& dt, int hour);
int bNASetMinute(NADateTime& dt, int minute);
int bNASetSecond(NADateTime& dt, int second);
int bNASetMillisecond(NADateTime& dt, int millisecond);
int bNASetYear(NADateTime& dt, int year);
int bNASetMonth(NADateTime& dt, int month);
int bNASetDay(NADateTime& dt, int day);
// Year, month, day, hour, minute, second, millisecond in turn; answers what
// the millisecond setter answered.
int bNASetFromSystemTime(NADateTime& dt, const NASystemTime& st);

// YYYYMMDD (year clamped to 0..9999, month and day to 0..99) into a buffer
// of `capacity` units: at most capacity - 1 digits, then a terminator.
// Returns the digits written.
size_t NAWriteDateDigits(const NADateTime& dt, char16_t* out, size_t capacity);
// HHMMSSmmm of the time (milliseconds clamped to 0..999) likewise.
size_t NAWriteTimeDigits(const NADateTime& dt, char16_t* out, size_t capacity);
size_t NAWriteTimeDigits(const NADateTime& dt, char* out, size_t capacity);

// The integer written by `count` characters from `start`, reading up to the
// first non-digit. 0 for a null or empty text. When the text ends inside
// the field: a tolerant read whose start lies inside the text reads what is
// there and multiplies by 10 for each missing character; otherwise 0.
int nNAReadDigitField(const char16_t* text, int start, int count, bool tolerant);
int nNAReadDigitField(const char* text, int start, int count, bool tolerant);

#endif  // QG_DRIVER_CORE_SUPPORT_DATETIME_FIELDS_H_
