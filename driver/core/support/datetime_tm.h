// Compact date-time texts: YYYYMMDD, HHMMSSmmm and YYYYMMDDHHMMSSmmm (a
// blank may separate date and time), also partial, to a broken-down
// date-time and back, and the first value after every value that begins
// with a partial text.
#ifndef QG_DRIVER_CORE_SUPPORT_DATETIME_TM_H_
#define QG_DRIVER_CORE_SUPPORT_DATETIME_TM_H_

#include <cstdint>
#include <string>

#include "driver/core/support/datetime_fields.h"

class CDateTimeTm {
 public:
  CDateTimeTm() { Reset(); }
  virtual ~CDateTimeTm() = default;

  // 0:00:00.000 on 1 January of year 0; week day, year day and daylight
  // flag -1.
  void Reset();

  // Digits missing at the end read as '0'. An empty or null text keeps the
  // reset state. False when a character is not a digit (the fields read
  // before it are kept).
  bool bParseDate(const char16_t* text);
  bool bParseTime(const char16_t* text);
  // The smallest date-time greater than every date-time whose compact text
  // begins with `text` (1 to 17 digits, one blank allowed between date and
  // time). False when there is none (a year 9999 prefix) or the text is not
  // a partial date-time.
  bool bParseDateUpperBound(const char16_t* text);
  // The same for a time text of 1 to 9 digits; false past 23:59:59.999.
  bool bParseTimeUpperBound(const char16_t* text);

  // YYYYMMDD; empty when the year is outside 0..9999 or a field outside
  // 0..99.
  std::u16string FormatDate() const;
  // YYYYMMDDHHMMSSmmm.
  std::u16string FormatDateTime() const;
  // HHMMSSmmm.
  std::u16string FormatTime() const;

  // Sets the date-time value through the system-time record; answers what
  // the setters answered.
  int ToHostDateTime(qg::AnyDateTime& value) const;
  // The same on a value: it becomes a DATETIME (null flag cleared) built
  // from its own date-time when it already is one, from zero otherwise.
  int ToHostDateTime(CAny& value) const;

  // seconds <= 60, minutes < 60, hours <= 23, day < 32, month <= 11.
  bool bIsValid() const;

  // Days of the month of a partial "YYYYMM" text (month 00 counts as 1);
  // -1 for a month outside 1..12.
  static int nDaysInMonth(const char16_t* text);

  // Broken-down fields, as the C runtime's struct tm, then milliseconds.
  int32_t m_nSecond;
  int32_t m_nMinute;
  int32_t m_nHour;
  int32_t m_nDay;        // 1..31
  int32_t m_nMonth;      // 0..11
  int32_t m_nYear;       // year - 1900
  int32_t m_nWeekDay;
  int32_t m_nYearDay;
  int32_t m_nDaylight;
  int32_t m_nMillisecond;
};

#endif  // QG_DRIVER_CORE_SUPPORT_DATETIME_TM_H_
