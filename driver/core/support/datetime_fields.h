// Field setters with calendar checks on the 8-byte DATETIME value of CAny
// (qg::AnyDateTime), digit texts of its parts and digit fields read out of
// texts.
#ifndef QG_DRIVER_CORE_SUPPORT_DATETIME_FIELDS_H_
#define QG_DRIVER_CORE_SUPPORT_DATETIME_FIELDS_H_

#include <cstddef>
#include <cstdint>

#include "support/any.h"

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
int bNASetHour(qg::AnyDateTime& dt, int hour);
int bNASetMinute(qg::AnyDateTime& dt, int minute);
int bNASetSecond(qg::AnyDateTime& dt, int second);
int bNASetMillisecond(qg::AnyDateTime& dt, int millisecond);
int bNASetYear(qg::AnyDateTime& dt, int year);
int bNASetMonth(qg::AnyDateTime& dt, int month);
int bNASetDay(qg::AnyDateTime& dt, int day);
// Year, month, day, hour, minute, second, millisecond in turn; answers what
// the millisecond setter answered.
int bNASetFromSystemTime(qg::AnyDateTime& dt, const NASystemTime& st);

// YYYYMMDD (year clamped to 0..9999, month and day to 0..99) into a buffer
// of `capacity` units: at most capacity - 1 digits, then a terminator.
// Returns the digits written.
size_t NAWriteDateDigits(const qg::AnyDateTime& dt, char16_t* out, size_t capacity);
// HHMMSSmmm of the time (milliseconds clamped to 0..999) likewise.
size_t NAWriteTimeDigits(const qg::AnyDateTime& dt, char16_t* out, size_t capacity);
size_t NAWriteTimeDigits(const qg::AnyDateTime& dt, char* out, size_t capacity);

// The integer written by `count` characters from `start`, reading up to the
// first non-digit. 0 for a null or empty text. When the text ends inside
// the field: a tolerant read whose start lies inside the text reads what is
// there and multiplies by 10 for each missing character; otherwise 0.
int nNAReadDigitField(const char16_t* text, int start, int count, bool tolerant);
int nNAReadDigitField(const char* text, int start, int count, bool tolerant);

#endif  // QG_DRIVER_CORE_SUPPORT_DATETIME_FIELDS_H_
