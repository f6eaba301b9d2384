#include "driver/core/support/datetime_tm.h"

#include <cstring>

namespace {

// Leap years for the month lengths of compact texts: the same calendar
// rule as the date-time fields.
int DaysOf(int month, int year) { return nNADaysInMonth(month, year); }

size_t Length(const char16_t* text) {
  size_t n = 0;
  if (text != nullptr) {
    while (text[n] != 0) ++n;
  }
  return n;
}

// Reads `count` characters from `at`, a missing one reading as '0'; false
// for a character that is not a digit.
bool ReadGroup(const char16_t* text, size_t length, size_t at, size_t count, int* value) {
  int v = 0;
  for (size_t i = at; i < at + count; ++i) {
    char16_t c = i < length ? text[i] : u'0';
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
  }
  *value = v;
  return true;
}

void Append(std::u16string& out, int value, int width) {
  char16_t digits[8];
  for (int i = width - 1; i >= 0; --i) {
    digits[i] = char16_t(u'0' + value % 10);
    value /= 10;
  }
  out.append(digits, size_t(width));
}

bool AllDigits(const char* text, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// Digit roles of a compact date-time text, by position.
enum Role { kYear, kMonthTens, kMonthUnits, kDayTens, kDayUnits, kHourTens, kHourUnits,
            kSixtyTens, kTenUnits };

Role RoleAt(size_t pos) {
  static const Role kRoles[17] = {kYear, kYear, kYear, kYear, kMonthTens, kMonthUnits,
                                  kDayTens, kDayUnits, kHourTens, kHourUnits, kSixtyTens,
                                  kTenUnits, kSixtyTens, kTenUnits, kTenUnits, kTenUnits,
                                  kTenUnits};
  return kRoles[pos];
}

// Increments the digit at pos of the compact text d (ASCII digits, the time
// starting at `time_base` in the full layout), carrying left; on success
// *end is the length of the shortened text. first_pos is the leftmost
// position the text has (0, or 8 for a time text).
bool Increment(char* d, size_t pos, size_t first_pos, size_t* end) {
  for (;;) {
    const char c = d[pos];
    switch (RoleAt(pos)) {
      case kYear:
        if (c < '9') {
          ++d[pos];
          *end = pos + 1;
          return true;
        }
        if (pos == first_pos) return false;
        --pos;
        continue;
      case kMonthTens:
        if (c == '0') {
          d[pos] = '1';
          *end = pos + 1;
          return true;
        }
        if (c != '1') return false;
        --pos;
        continue;
      case kMonthUnits:
        if (d[4] == '0') {
          if (c < '9') {
            // Month 00 counts as January: its successor is February.
            d[pos] = c == '0' ? '2' : char(c + 1);
            *end = pos + 1;
            return true;
          }
          d[4] = '1';  // 09: October, written as the tens alone
          *end = 5;
          return true;
        }
        if (d[4] != '1') return false;
        if (c == '0' || c == '1') {
          ++d[pos];
          *end = pos + 1;
          return true;
        }
        if (c != '2') return false;
        pos = 3;  // December: into the year
        continue;
      case kDayTens:
      case kDayUnits: {
        int year = 0;
        for (int i = 0; i < 4; ++i) year = year * 10 + (d[i] - '0');
        int month = (d[4] - '0') * 10 + (d[5] - '0');
        if (month == 0) month = 1;
        const int days = DaysOf(month, year);
        if (days == 0) return false;
        const int tens = d[6] - '0';
        if (pos == 6) {
          if ((tens + 1) * 10 <= days) {
            ++d[6];
            *end = 7;
            return true;
          }
        } else {
          const int day = tens * 10 + (c - '0') + 1;
          if (day <= days) {
            d[6] = char('0' + day / 10);
            d[7] = char('0' + day % 10);
            *end = 8;
            return true;
          }
        }
        pos = 5;  // past the month's last day: next month
        continue;
      }
      case kHourTens:
        if (c == '0' || c == '1') {
          ++d[pos];
          *end = pos + 1;
          return true;
        }
        if (c != '2' || pos == first_pos) return false;
        pos = 7;  // next day
        continue;
      case kHourUnits: {
        const char tens = d[pos - 1];
        const char last = tens == '2' ? '3' : '9';
        if (tens > '2' || c > last) return false;
        if (c < last) {
          ++d[pos];
          *end = pos + 1;
          return true;
        }
        --pos;
        continue;
      }
      case kSixtyTens:
      case kTenUnits: {
        const char last = RoleAt(pos) == kSixtyTens ? '5' : '9';
        if (c > last) return false;
        if (c < last) {
          ++d[pos];
          *end = pos + 1;
          return true;
        }
        if (pos == first_pos) return false;
        --pos;
        continue;
      }
    }
  }
}

}  // namespace

void CDateTimeTm::Reset() {
  m_nSecond = m_nMinute = m_nHour = m_nMillisecond = 0;
  m_nDay = 1;
  m_nMonth = 0;
  m_nYear = -1900;
  m_nWeekDay = m_nYearDay = m_nDaylight = -1;
}

bool CDateTimeTm::bParseDate(const char16_t* text) {
  Reset();
  const size_t n = Length(text);
  if (n == 0) return true;
  int value = 0;
  if (!ReadGroup(text, n, 0, 4, &value)) return false;
  m_nYear = value - 1900;
  if (n > 4) {
    if (!ReadGroup(text, n, 4, 2, &value)) return false;
    m_nMonth = value - 1 < 0 ? 0 : value - 1;
  }
  if (n > 6) {
    if (!ReadGroup(text, n, 6, 2, &value)) return false;
    m_nDay = value < 1 ? 1 : value;
  }
  if (n > 8) return bParseTime(text + (text[8] == u' ' ? 9 : 8));
  return true;
}

bool CDateTimeTm::bParseTime(const char16_t* text) {
  m_nDaylight = -1;
  const size_t n = Length(text);
  int value = 0;
  const size_t starts[4] = {0, 2, 4, 6};
  const size_t widths[4] = {2, 2, 2, 3};
  int32_t* fields[4] = {&m_nHour, &m_nMinute, &m_nSecond, &m_nMillisecond};
  for (int i = 0; i < 4; ++i) {
    if (n <= starts[i]) break;
    if (!ReadGroup(text, n, starts[i], widths[i], &value)) return false;
    *fields[i] = value;
  }
  return true;
}

bool CDateTimeTm::bParseDateUpperBound(const char16_t* text) {
  char d[18] = {};
  size_t n = 0;
  for (size_t i = 0; text != nullptr && text[i] != 0; ++i) {
    if (i == 8 && text[i] == u' ') continue;  // the separating blank
    if (n == 17 || text[i] > 0x7F) return false;
    d[n++] = char(text[i]);
  }
  if (n == 0 || !AllDigits(d, n)) return false;
  size_t end = 0;
  if (!Increment(d, n - 1, 0, &end)) return false;
  char16_t shortened[18] = {};
  for (size_t i = 0; i < end; ++i) shortened[i] = char16_t(d[i]);
  return bParseDate(shortened);
}

bool CDateTimeTm::bParseTimeUpperBound(const char16_t* text) {
  // The time digits take positions 8 to 16 of the full layout.
  char d[18] = "00000000";
  size_t n = 0;
  for (size_t i = 0; text != nullptr && text[i] != 0; ++i) {
    if (n == 9 || text[i] > 0x7F) return false;
    d[8 + n++] = char(text[i]);
  }
  if (n == 0 || !AllDigits(d + 8, n)) return false;
  size_t end = 0;
  if (!Increment(d, 8 + n - 1, 8, &end)) return false;
  char16_t shortened[10] = {};
  for (size_t i = 8; i < end; ++i) shortened[i - 8] = char16_t(d[i]);
  return bParseTime(shortened);
}

std::u16string CDateTimeTm::FormatDate() const {
  std::u16string out;
  const int year = m_nYear + 1900;
  const int month = m_nMonth + 1;
  if (year < 0 || year > 9999 || month < 0 || month > 99 || m_nDay < 0 || m_nDay > 99) {
    return out;
  }
  Append(out, year, 4);
  Append(out, month, 2);
  Append(out, m_nDay, 2);
  return out;
}

std::u16string CDateTimeTm::FormatTime() const {
  std::u16string out;
  if (m_nHour < 0 || m_nHour > 99 || m_nMinute < 0 || m_nMinute > 99 || m_nSecond < 0 ||
      m_nSecond > 99 || m_nMillisecond < 0 || m_nMillisecond > 999) {
    return out;
  }
  Append(out, m_nHour, 2);
  Append(out, m_nMinute, 2);
  Append(out, m_nSecond, 2);
  Append(out, m_nMillisecond, 3);
  return out;
}

std::u16string CDateTimeTm::FormatDateTime() const {
  std::u16string date = FormatDate();
  std::u16string time = FormatTime();
  if (date.empty() || time.empty()) return std::u16string();
  return date + time;
}

int CDateTimeTm::ToHostDateTime(qg::AnyDateTime& value) const {
  NASystemTime st;
  st.wYear = uint16_t(m_nYear + 1900);
  st.wMonth = uint16_t(m_nMonth + 1);
  st.wDayOfWeek = uint16_t(m_nWeekDay);
  st.wDay = uint16_t(m_nDay);
  st.wHour = uint16_t(m_nHour);
  st.wMinute = uint16_t(m_nMinute);
  st.wSecond = uint16_t(m_nSecond);
  st.wMilliseconds = uint16_t(m_nMillisecond);
  return bNASetFromSystemTime(value, st);
}

int CDateTimeTm::ToHostDateTime(CAny& value) const {
  qg::AnyDateTime dt{};
  if (value.nGetCode() == qg::kAnyDATETIME) value.pclHolder()->vnGetValeur(&dt);
  int result = ToHostDateTime(dt);
  value.SetDATETIME(dt);
  return result;
}

bool CDateTimeTm::bIsValid() const {
  return m_nSecond <= 60 && m_nMinute < 60 && m_nHour <= 23 && m_nDay < 32 && m_nMonth <= 11;
}

int CDateTimeTm::nDaysInMonth(const char16_t* text) {
  const size_t n = Length(text);
  int year = 0;
  int month = 0;
  if (!ReadGroup(text, n, 0, 4, &year)) return -1;
  if (n >= 4 && !ReadGroup(text, n, 4, 2, &month)) return -1;
  if (month == 0) month = 1;
  if (month > 12) return -1;
  return DaysOf(month, year);
}
