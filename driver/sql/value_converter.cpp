#include "driver/sql/value_converter.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "driver/core/value_bridge.h"
#include "driver/sql/column.h"
#include "driver/sql/conversion_error.h"
#include "support/any_holders.h"
#include "support/currency.h"
#include "support/platform/codepage.h"

namespace {

bool IsWide(int t) {
  return t == 16 || t == 20 || t == 24 || t == 25 || t == 81 || t == 110;
}
bool IsNarrow(int t) {
  return t == 17 || t == 18 || t == 19 || t == 21 || t == 22 || t == 23 || t == 128 ||
         t == 129 || t == 134;
}
// Text-like converters (bSetValue steps 1-3).
bool IsTextLike(int t) { return (t >= 16 && t <= 25) || t == 81 || t == 110 || t == 128 ||
                                t == 129 || t == 134; }
bool IsTextTarget(int t) { return (t >= 16 && t <= 23) || t == 81 || t == 110 || t == 134; }

size_t Terminator(int t) { return IsWide(t) ? 2 : (IsNarrow(t) ? 1 : 0); }

// Scratch UTF-16 buffer of the thread, grown as needed (no allocation per
// call once large enough).
std::u16string& WideScratch() {
  thread_local std::u16string scratch;
  return scratch;
}
std::string& NarrowScratch() {
  thread_local std::string scratch;
  return scratch;
}

// Length of a valid UTF-8 prefix of at most `max` bytes, cut at a character
// boundary.
size_t Utf8Cut(const char* text, size_t n, size_t max) {
  if (n <= max) return n;
  size_t cut = max;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

// Units of UTF-16 that fit in `max` without splitting a surrogate pair.
size_t Utf16Cut(const char16_t* text, size_t n, size_t max) {
  if (n <= max) return n;
  size_t cut = max;
  if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
  return cut;
}

bool ToWide(const char* text, size_t n, uint32_t code_page, std::u16string& out) {
  out.clear();
  if (n == 0) return true;
  if (n > static_cast<size_t>(std::numeric_limits<int>::max() / 2)) return false;
  int need = qg::MultiByteToWide(code_page, text, static_cast<int>(n), nullptr, 0);
  if (need <= 0) return false;
  out.resize(static_cast<size_t>(need));
  int got = qg::MultiByteToWide(code_page, text, static_cast<int>(n), out.data(), need);
  if (got <= 0) return false;
  out.resize(static_cast<size_t>(got));
  return true;
}

bool ToNarrow(const char16_t* text, size_t n, uint32_t code_page, std::string& out) {
  out.clear();
  if (n == 0) return true;
  if (n > static_cast<size_t>(std::numeric_limits<int>::max() / 4)) return false;
  int need = qg::WideToMultiByte(code_page, text, static_cast<int>(n), nullptr, 0);
  if (need <= 0) return false;
  out.resize(static_cast<size_t>(need));
  int got = qg::WideToMultiByte(code_page, text, static_cast<int>(n), out.data(), need);
  if (got <= 0) return false;
  out.resize(static_cast<size_t>(got));
  return true;
}

size_t WideLength(const char16_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

// ---- date and time text -------------------------------------------------

struct DateTimeParts {
  bool has_date = false;
  bool has_time = false;
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  char fraction[7] = {};  // the fraction digits as sent, at most 6
  int fraction_digits = 0;
};

template <typename C>
bool IsDigitC(C c) { return c >= '0' && c <= '9'; }

template <typename C>
bool IsDash(C c) { return c == '-' || static_cast<char16_t>(c) == 0xFF0D; }
template <typename C>
bool IsColon(C c) { return c == ':' || static_cast<char16_t>(c) == 0xFF1A; }

template <typename C>
bool Digits(const C* p, int n, int* out) {
  int v = 0;
  for (int i = 0; i < n; ++i) {
    if (!IsDigitC(p[i])) return false;
    v = v * 10 + (p[i] - '0');
  }
  *out = v;
  return true;
}

// Fraction digits: milliseconds from the first three, or two x 10, or one
// x 100; at most 6 digits.
template <typename C>
bool ReadFraction(const C* p, size_t n, DateTimeParts* parts) {
  if (n == 0 || n > 6) return false;
  for (size_t i = 0; i < n; ++i) {
    if (!IsDigitC(p[i])) return false;
    parts->fraction[i] = static_cast<char>(p[i]);
  }
  parts->fraction_digits = static_cast<int>(n);
  int ms = 0;
  Digits(p, n >= 3 ? 3 : static_cast<int>(n), &ms);
  if (n == 2) ms *= 10;
  if (n == 1) ms *= 100;
  parts->millisecond = ms;
  return true;
}

// "HH:MM", "HH:MM:SS", "HH:MM:SS.f" (1-6 digits).
template <typename C>
bool ReadColonTime(const C* p, size_t n, DateTimeParts* parts) {
  if (n != 5 && n != 8 && !(n >= 10 && n <= 15)) return false;
  if (!Digits(p, 2, &parts->hour) || !IsColon(p[2]) || !Digits(p + 3, 2, &parts->minute)) {
    return false;
  }
  if (n >= 8) {
    if (!IsColon(p[5]) || !Digits(p + 6, 2, &parts->second)) return false;
  }
  if (n >= 10) {
    if (p[8] != '.' || !ReadFraction(p + 9, n - 9, parts)) return false;
  }
  parts->has_time = true;
  return true;
}

// Server and host texts of dates and times. False for a shape it does not
// know or a field out of range (a time must lie within 00:00:00-23:59:59).
template <typename C>
bool ParseDateTime(const C* p, size_t n, DateTimeParts* parts) {
  *parts = DateTimeParts();
  if (n >= 1 && p[0] == '-') return false;  // negative times fit no date-time
  bool ok = false;
  if (n >= 5 && IsColon(p[2])) {
    ok = ReadColonTime(p, n, parts);
  } else if (n == 4) {
    ok = Digits(p, 2, &parts->hour) && Digits(p + 2, 2, &parts->minute);
    parts->has_time = ok;
  } else if (n == 6) {
    ok = Digits(p, 2, &parts->hour) && Digits(p + 2, 2, &parts->minute) &&
         Digits(p + 4, 2, &parts->second);
    parts->has_time = ok;
  } else if (n >= 10 && IsDash(p[4]) && IsDash(p[7])) {
    // YYYY-MM-DD, then optionally ' ' or 'T' and a time.
    ok = Digits(p, 4, &parts->year) && Digits(p + 5, 2, &parts->month) &&
         Digits(p + 8, 2, &parts->day);
    parts->has_date = ok;
    if (ok && n > 10) {
      ok = (p[10] == ' ' || p[10] == 'T') && n >= 19 && ReadColonTime(p + 11, n - 11, parts);
    }
  } else if (n >= 8) {
    // YYYYMMDD, then nothing, "HHMMSS", or ' '/'T' and a colon time.
    ok = Digits(p, 4, &parts->year) && Digits(p + 4, 2, &parts->month) &&
         Digits(p + 6, 2, &parts->day);
    parts->has_date = ok;
    if (ok && n == 14) {
      ok = Digits(p + 8, 2, &parts->hour) && Digits(p + 10, 2, &parts->minute) &&
           Digits(p + 12, 2, &parts->second);
      parts->has_time = ok;
    } else if (ok && n > 8) {
      ok = (p[8] == ' ' || p[8] == 'T') && n >= 17 && ReadColonTime(p + 9, n - 9, parts);
    }
  }
  if (!ok) return false;
  if (parts->hour > 23 || parts->minute > 59 || parts->second > 59) return false;
  if (parts->month > 12 || parts->day > 31) return false;
  return true;
}

void WriteDigits(char* out, int value, int n) {
  for (int i = n - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

qg::AnyDateTime ToDateTime(const DateTimeParts& parts) {
  qg::AnyDateTime v{};
  v.nDay = static_cast<uint8_t>(parts.day);
  v.nMonth = static_cast<uint8_t>(parts.month);
  v.nYear = static_cast<uint16_t>(parts.year);
  v.nMilliseconds = static_cast<uint32_t>(((parts.hour * 60 + parts.minute) * 60 + parts.second) *
                                          1000 + parts.millisecond);
  return v;
}

// The time digits of a column of type 11: HHMMSS, the fraction digits, '0'
// up to `room` characters.
void TimeDigits(const DateTimeParts& parts, char* out, size_t room) {
  char digits[12];
  WriteDigits(digits, parts.hour, 2);
  WriteDigits(digits + 2, parts.minute, 2);
  WriteDigits(digits + 4, parts.second, 2);
  size_t n = 6;
  for (int i = 0; i < parts.fraction_digits; ++i) digits[n++] = parts.fraction[i];
  for (size_t i = 0; i < room; ++i) out[i] = i < n ? digits[i] : '0';
}

// The time digits of a DATETIME: HHMMSSmmm.
void TimeDigitsOf(const qg::AnyDateTime& v, char* out, size_t room) {
  DateTimeParts parts;
  uint32_t ms = v.nMilliseconds;
  parts.hour = static_cast<int>(ms / 3600000);
  parts.minute = static_cast<int>(ms % 3600000 / 60000);
  parts.second = static_cast<int>(ms % 60000 / 1000);
  int millis = static_cast<int>(ms % 1000);
  parts.fraction_digits = 3;
  parts.fraction[0] = static_cast<char>('0' + millis / 100);
  parts.fraction[1] = static_cast<char>('0' + millis / 10 % 10);
  parts.fraction[2] = static_cast<char>('0' + millis % 10);
  TimeDigits(parts, out, room);
}

// Reads "HHMMSS" then fraction digits from a time text (TIMEW/TIMEA).
template <typename C>
bool ReadTimeDigits(const C* p, size_t n, DateTimeParts* parts) {
  *parts = DateTimeParts();
  if (n < 4 || !Digits(p, 2, &parts->hour) || !Digits(p + 2, 2, &parts->minute)) return false;
  if (n >= 6 && !Digits(p + 4, 2, &parts->second)) return false;
  size_t f = 0;
  while (6 + f < n && f < 3 && IsDigitC(p[6 + f])) ++f;
  if (f > 0) ReadFraction(p + 6, f, parts);
  parts->has_time = true;
  return parts->hour <= 23 && parts->minute <= 59 && parts->second <= 59;
}

// ---- numbers ------------------------------------------------------------

template <typename T>
bool ParseInteger(const char* p, size_t n, T* out) {
  while (n > 0 && *p == ' ') { ++p; --n; }
  while (n > 0 && p[n - 1] == ' ') --n;
  if (n > 0 && *p == '+') { ++p; --n; }
  if (n == 0) return false;
  auto [end, ec] = std::from_chars(p, p + n, *out);
  if (ec != std::errc() ) return false;
  if (end == p + n) return true;
  // A fraction of zeros ("12.000") is still the integer.
  if (*end != '.') return false;
  for (const char* q = end + 1; q < p + n; ++q) {
    if (*q != '0') return false;
  }
  return true;
}

template <typename T>
bool ParseFloat(const char* p, size_t n, T* out) {
  while (n > 0 && *p == ' ') { ++p; --n; }
  if (n > 0 && *p == '+') { ++p; --n; }
  if (n == 0) return false;
  auto [end, ec] = std::from_chars(p, p + n, *out);
  return ec == std::errc() && end == p + n;
}

bool FitsBytes(__int128 v, size_t bytes) {
  if (bytes >= 16) return true;
  __int128 max = (static_cast<__int128>(1) << (8 * bytes - 1)) - 1;
  return v <= max && v >= -max - 1;
}

// Decimal object of the host built from number fields, for CAny::SetDECIMAL.
class DecimalFieldsObject : public qg::IDecimal {
 public:
  void vNegate() override {}
  intptr_t vOp1(intptr_t) override { return 0; }
  intptr_t vOp2(intptr_t) override { return 0; }
  intptr_t vOp3(intptr_t) override { return 0; }
};

}  // namespace

// ---- life -------------------------------------------------------------------

CNAValueConverter::CNAValueConverter(CNARefCounted* owner, uint32_t code_page)
    : m_pOwner(NAAddRef(owner)), m_nCodePage(code_page) {}

CNAValueConverter::~CNAValueConverter() {
  FreeBuffer();
  ReleaseBoth(m_pColumn);
  ReleaseBoth(m_pSource);
  ReleaseBoth(m_pOwner);
}

void CNAValueConverter::FreeBuffer() {
  if (m_nKind == kOwnBuffer) std::free(m_pBuffer);
  m_pBuffer = nullptr;
  m_nCapacity = 0;
  m_nLength = 0;
}

void CNAValueConverter::SetKind(int kind) {
  FreeBuffer();
  ReleaseBoth(m_pColumn);
  ReleaseBoth(m_pSource);
  m_pColumn = nullptr;
  m_pSource = nullptr;
  m_clValue.SetType(0);
  m_nType = 0;
  m_nKind = kind;
  m_bPrepared = kind == kReference || kind == kOwnBuffer;
}

bool CNAValueConverter::bSetType(int host_type, int size) {
  FreeBuffer();
  m_nKind = kVariant;
  m_nType = host_type;
  m_clValue.SetType(host_type);
  m_nCapacity = size > 0 ? static_cast<size_t>(size) : 0;
  m_nLength = m_nCapacity;
  m_bPrepared = false;
  return true;
}

void CNAValueConverter::SetExternalBuffer(void* buffer, size_t size, int host_type) {
  FreeBuffer();
  m_nKind = kCallerBuffer;
  m_nType = host_type;
  m_clValue.SetType(host_type);
  m_pBuffer = buffer;
  m_nCapacity = buffer != nullptr ? size : 0;
  m_nLength = 0;
  m_bPrepared = false;
}

bool CNAValueConverter::bAllocateBuffer(int host_type, size_t size, CNAError* error) {
  void* block = std::calloc(size > 0 ? size : 1, 1);
  if (block == nullptr) {
    NAReportOutOfMemory(error, 11, 3);
    return false;
  }
  FreeBuffer();
  m_nKind = kOwnBuffer;
  m_nType = host_type;
  m_clValue.SetType(host_type);
  m_pBuffer = block;
  m_nCapacity = size;
  m_nLength = 0;
  m_bPrepared = true;
  return true;
}

void CNAValueConverter::BindColumns(CNAColumn* column, CNAColumn* source) {
  if (column != m_pColumn) {
    AddRefBoth(column);
    ReleaseBoth(m_pColumn);
    m_pColumn = column;
  }
  if (source != m_pSource) {
    AddRefBoth(source);
    ReleaseBoth(m_pSource);
    m_pSource = source;
  }
}

int CNAValueConverter::nGetColumnType() const { return m_pColumn != nullptr ? m_pColumn->nGetType() : 0; }
int CNAValueConverter::nGetSourceType() const { return m_pSource != nullptr ? m_pSource->nGetType() : 0; }
int CNAValueConverter::nInternalType() const { return nGetColumnType(); }

bool CNAValueConverter::bPrepare() {
  if (m_nType == 0) m_clValue.SetNull(true);
  m_bPrepared = true;
  return true;
}

bool CNAValueConverter::bEnsurePrepared() {
  if (m_bPrepared) return true;
  if (m_nKind == kVariantPending) {
    m_nKind = kVariant;
    return bPrepare();
  }
  if (m_nKind == kCallerBuffer) {
    SetPrepared();
    return true;
  }
  return bPrepare();
}

const void* CNAValueConverter::pGetData() const {
  if (m_nKind == kVariant || m_nKind == kVariantPending) {
    const void* text = nullptr;
    if (m_clValue.pclHolder()->vnGetTexte(&text) == 0) return text;
    return m_clValue.pValeur();
  }
  return m_pBuffer;
}

bool CNAValueConverter::bGetDataAndSize(const void** data, int* size) const {
  const bool held = m_nKind != kNone;
  if (data != nullptr) *data = held ? pGetData() : nullptr;
  if (size != nullptr) *size = held ? nGetDataSize() : 0;
  return held;
}

// ---- storing ----------------------------------------------------------------

void CNAValueConverter::ValueStored() {
  m_nPendingRead = 0;
  if (m_nKind == kVariantPending) m_nKind = kVariant;
  if (m_clValue.nGetCode() != (m_nType == 15 ? 8 : m_nType)) m_clValue.SetType(m_nType);
  m_clValue.pclHolder()->m_wType &= static_cast<uint16_t>(~qg::kAnyFlagsKept);
}

void CNAValueConverter::ZeroFrom(size_t offset) {
  if (m_pBuffer != nullptr && offset < m_nCapacity) {
    std::memset(Buffer() + offset, 0, m_nCapacity - offset);
  }
}

bool CNAValueConverter::bSetBuffer(const void* data, size_t size) {
  if (data == nullptr) size = 0;
  if (m_nKind == kVariant || m_nKind == kVariantPending || m_nKind == kNone) {
    if (m_nKind == kNone) m_nKind = kVariant;
    m_clValue.SetType(m_nType);
    int n = size > static_cast<size_t>(std::numeric_limits<int>::max())
                ? std::numeric_limits<int>::max()
                : static_cast<int>(size);
    m_clValue.pclHolder()->vnSetDepuis(data, n);
    m_nLength = size;
    ValueStored();
    return true;
  }
  if (m_nKind == kReference) {
    m_pBuffer = const_cast<void*>(data);
    m_nCapacity = size;
    m_nLength = size;
    ValueStored();
    return true;
  }
  size_t terminator = Terminator(m_nType);
  size_t room = m_nCapacity > terminator ? m_nCapacity - terminator : 0;
  size_t n = size < room ? size : room;
  if (n > 0) std::memcpy(m_pBuffer, data, n);
  m_nLength = n;
  ZeroFrom(n);
  ValueStored();
  return true;
}

bool CNAValueConverter::bStoreBytes(const void* data, size_t size) { return bSetBuffer(data, size); }

bool CNAValueConverter::bSetData(const void* data, size_t length, CNAError* error) {
  (void)error;
  if (!bEnsurePrepared()) return false;
  size_t unit = IsWide(m_nType) ? 2 : 1;
  if (length > std::numeric_limits<size_t>::max() / 2) length = std::numeric_limits<size_t>::max() / 2;
  if (unit == 2 && (m_nKind == kVariant || m_nKind == kVariantPending)) {
    // UTF-16 units from possibly unaligned bytes.
    std::u16string& wide = WideScratch();
    wide.resize(length);
    if (length > 0) std::memcpy(wide.data(), data, length * 2);
    m_clValue.SetType(m_nType);
    m_clValue.pclHolder()->vnSetW(wide.data(), static_cast<int>(length));
    m_nLength = length * 2;
    ValueStored();
    return true;
  }
  if (unit == 2) {
    // Cut at a character boundary within the room left by the terminator.
    size_t room = m_nCapacity >= 2 ? (m_nCapacity - 2) / 2 : 0;
    size_t n = length;
    if (n > room) {
      n = room;
      if (n > 0) {
        char16_t last;
        std::memcpy(&last, static_cast<const char*>(data) + (n - 1) * 2, 2);
        if (last >= 0xD800 && last <= 0xDBFF) --n;
      }
    }
    return bSetBuffer(data, n * 2);
  }
  return bSetBuffer(data, length);
}

bool CNAValueConverter::bStoreFixed(const void* bytes, size_t size) {
  if (m_nKind == kVariant || m_nKind == kVariantPending || m_nKind == kNone) {
    if (m_nKind == kNone) m_nKind = kVariant;
    m_clValue.SetType(m_nType);
    m_clValue.pclHolder()->vnSetDepuis(bytes, static_cast<int>(size));
    m_nLength = size;
    ValueStored();
    return true;
  }
  if (m_nKind == kReference) return false;
  if (m_nCapacity < size) return false;
  std::memcpy(m_pBuffer, bytes, size);
  m_nLength = size;
  ZeroFrom(size);
  ValueStored();
  return true;
}

bool CNAValueConverter::bSetBoolean(bool value, CNAError* error) {
  (void)error;
  int32_t v = value ? 1 : 0;
  if (m_nKind != kVariant && m_nKind != kVariantPending && m_nKind != kNone &&
      m_nCapacity < sizeof(v)) {
    if (m_nCapacity == 0 || m_nKind == kReference) return false;
    Buffer()[0] = static_cast<uint8_t>(v);
    m_nLength = 1;
    ZeroFrom(1);
    ValueStored();
    return true;
  }
  return bStoreFixed(&v, sizeof(v));
}

bool CNAValueConverter::bSetFromWideText(const char16_t* text, ptrdiff_t length,
                                         CNAError* error) {
  if (text == nullptr) {
    text = u"";
    length = 0;
  }
  size_t n = length < 0 ? WideLength(text) : static_cast<size_t>(length);
  if (m_nKind == kVariant || m_nKind == kVariantPending) {
    if (IsWide(m_nType)) {
      m_clValue.SetType(m_nType);
      m_clValue.pclHolder()->vnSetW(text, static_cast<int>(n));
      m_nLength = n * 2;
      ValueStored();
      return true;
    }
    if (IsNarrow(m_nType)) {
      std::string& narrow = NarrowScratch();
      if (!ToNarrow(text, n, m_nCodePage, narrow)) {
        NAReportTextConversion(error, text, n, m_nCodePage);
        return false;
      }
      m_clValue.SetType(m_nType);
      m_clValue.pclHolder()->vnSetA(narrow.data(), static_cast<int>(narrow.size()));
      m_nLength = narrow.size();
      ValueStored();
      return true;
    }
  } else if (m_nKind == kCallerBuffer || m_nKind == kOwnBuffer) {
    if (n == 0) {
      m_nLength = 0;
      ZeroFrom(0);
      ValueStored();
      return true;
    }
    if (m_nType == 16 || m_nType == 20 || m_nType == 24 || m_nType == 25 || m_nType == 110) {
      size_t room = m_nCapacity >= 2 ? (m_nCapacity - 2) / 2 : 0;
      size_t units = Utf16Cut(text, n, room);
      return bSetBuffer(text, units * 2);
    }
    if (m_nType == 17) {
      char c = 0;
      qg::WideToMultiByte(m_nCodePage, text, 1, &c, 1);
      return bSetBuffer(&c, 1);
    }
    if (m_nType == 81) return bSetBuffer(text, 2);
    if (IsNarrow(m_nType)) {
      std::string& narrow = NarrowScratch();
      if (!ToNarrow(text, n, m_nCodePage, narrow)) {
        NAReportTextConversion(error, text, n, m_nCodePage);
        return false;
      }
      size_t room = m_nCapacity >= 1 ? m_nCapacity - 1 : 0;
      size_t cut = narrow.size() <= room ? narrow.size() : room;
      if (cut < narrow.size()) {
        if (m_nCodePage == qg::kCodePageUtf8) {
          cut = Utf8Cut(narrow.data(), narrow.size(), room);
        } else {
          // Whole characters only: the longest prefix of the text whose
          // conversion fits.
          size_t units = n;
          while (units > 0) {
            units = Utf16Cut(text, units - 1, units - 1);
            int need = qg::WideToMultiByte(m_nCodePage, text, static_cast<int>(units), nullptr, 0);
            if (units == 0 || (need > 0 && static_cast<size_t>(need) <= room)) {
              cut = units == 0 ? 0 : static_cast<size_t>(need);
              break;
            }
          }
        }
      }
      return bSetBuffer(narrow.data(), cut);
    }
  }
  CAny temporary;
  temporary.SetDSTRW(text, static_cast<int>(n));
  return bSetValue(temporary, error);
}

bool CNAValueConverter::bSetFromNarrowText(const char* text, ptrdiff_t length, CNAError* error) {
  if (text == nullptr) {
    text = "";
    length = 0;
  }
  size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
  if (IsTextLike(m_nType) || m_nType == 81 || m_nType == 110) {
    return bSetFromNarrowTextCP(text, n, m_nCodePage, error);
  }
  CAny temporary;
  temporary.SetDSTRA(text, static_cast<int>(n));
  return bSetValue(temporary, error);
}

bool CNAValueConverter::bSetFromNarrowTextCP(const char* text, size_t n, uint32_t code_page,
                                             CNAError* error) {
  bool recode = code_page == qg::kCodePageUtf8 && m_nCodePage != qg::kCodePageUtf8;
  if (m_nKind == kVariant || m_nKind == kVariantPending || m_nKind == kNone) {
    if (m_nKind == kNone) m_nKind = kVariant;
    if (IsWide(m_nType)) {
      std::u16string& wide = WideScratch();
      if (!ToWide(text, n, code_page, wide)) {
        NAReportTextConversion(error, nullptr, 0, code_page);
        return false;
      }
      m_clValue.SetType(m_nType);
      m_clValue.pclHolder()->vnSetW(wide.data(), static_cast<int>(wide.size()));
      m_nLength = wide.size() * 2;
      ValueStored();
      return true;
    }
    if (recode) {
      std::u16string& wide = WideScratch();
      std::string& narrow = NarrowScratch();
      if (!ToWide(text, n, code_page, wide) ||
          !ToNarrow(wide.data(), wide.size(), m_nCodePage, narrow)) {
        NAReportTextConversion(error, wide.data(), wide.size(), m_nCodePage);
        return false;
      }
      text = narrow.data();
      n = narrow.size();
    }
    m_clValue.SetType(m_nType);
    m_clValue.pclHolder()->vnSetA(text, static_cast<int>(n));
    m_nLength = n;
    ValueStored();
    return true;
  }
  if (m_nKind == kReference) return bSetBuffer(text, n);
  if (n == 0) {
    m_nLength = 0;
    ZeroFrom(0);
    ValueStored();
    return true;
  }
  if (IsWide(m_nType)) {
    std::u16string& wide = WideScratch();
    if (!ToWide(text, n, code_page, wide)) {
      NAReportTextConversion(error, nullptr, 0, code_page);
      return false;
    }
    size_t room = m_nCapacity >= 2 ? (m_nCapacity - 2) / 2 : 0;
    return bSetBuffer(wide.data(), Utf16Cut(wide.data(), wide.size(), room) * 2);
  }
  if (m_nType == 17) return bSetBuffer(text, 1);
  size_t room = m_nCapacity >= 1 ? m_nCapacity - 1 : 0;
  if (recode) {
    std::u16string& wide = WideScratch();
    if (!ToWide(text, n, code_page, wide)) {
      NAReportTextConversion(error, nullptr, 0, code_page);
      return false;
    }
    return bSetFromWideText(wide.data(), static_cast<ptrdiff_t>(wide.size()), error);
  }
  size_t cut = n;
  if (cut > room) cut = code_page == qg::kCodePageUtf8 ? Utf8Cut(text, n, room) : room;
  return bSetBuffer(text, cut);
}

bool CNAValueConverter::bSetFromServerText(const char* text, size_t length, uint32_t code_page,
                                           CNAError* error) {
  if (!bEnsurePrepared()) return false;
  if (text == nullptr) length = 0;
  if (length == 0) return bSetBuffer(text, 0);
  int t = m_nType;
  if ((t >= 16 && t <= 23) || t == 81 || t == 110 || t == 134) {
    return bSetFromNarrowTextCP(text, length, code_page, error);
  }
  if (t == 1) {
    char c = text[0];
    return bSetBoolean(!(c == 0 || c == '0' || c == 'F' || c == 'f'), error);
  }
  if ((t >= 3 && t <= 12) || t == 14) return bStoreNumberText(text, length, error);
  if (t == 24 || t == 25 || t == 26 || t == 128 || t == 129) {
    return bStoreDateText(text, length, error);
  }
  if (t == 28) {
    if (m_nKind == kVariant || m_nKind == kVariantPending || m_nKind == kReference) {
      return bSetBuffer(text, length);
    }
    size_t room = m_nCapacity >= 2 ? m_nCapacity - 2 : 0;
    uint16_t n = static_cast<uint16_t>(length < room ? length : (room > 65535 ? 65535 : room));
    if (m_nCapacity < 2) return false;
    std::memcpy(m_pBuffer, &n, 2);
    std::memcpy(Buffer() + 2, text, n);
    m_nLength = n + 2u;
    ZeroFrom(m_nLength);
    ValueStored();
    return true;
  }
  if (t == 154 || t == 155) {
    if (m_nKind == kVariant || m_nKind == kVariantPending || m_nKind == kReference) {
      return bSetBuffer(text, length);
    }
    size_t n = length < m_nCapacity ? length : m_nCapacity;
    std::memcpy(m_pBuffer, text, n);
    m_nLength = n;
    ZeroFrom(n);
    ValueStored();
    return true;
  }
  std::string& copy = NarrowScratch();
  copy.assign(text, length);
  CAny temporary;
  temporary.SetPSTRA(copy.c_str());
  return bSetValue(temporary, error);
}

bool CNAValueConverter::bStoreNumberText(const char* text, size_t n, CNAError* error) {
  bool ok = false;
  union {
    uint16_t u2; uint32_t u4; uint64_t u8; int8_t i1; int16_t i2; int32_t i4; int64_t i8;
    float r4; double r8; intptr_t uix; qg::Fixe6 cy;
  } v{};
  size_t size = 0;
  switch (m_nType) {
    case 3: ok = ParseInteger(text, n, &v.u2); size = 2; break;
    case 4: ok = ParseInteger(text, n, &v.u4); size = 4; break;
    case 5: ok = ParseInteger(text, n, &v.u8); size = 8; break;
    case 6: ok = ParseInteger(text, n, &v.i1); size = 1; break;
    case 7: ok = ParseInteger(text, n, &v.i2); size = 2; break;
    case 8: ok = ParseInteger(text, n, &v.i4); size = 4; break;
    case 9: ok = ParseInteger(text, n, &v.i8); size = 8; break;
    case 11: ok = ParseFloat(text, n, &v.r4); size = 4; break;
    case 12: ok = ParseFloat(text, n, &v.r8); size = 8; break;
    case 14: ok = ParseInteger(text, n, &v.uix); size = sizeof(intptr_t); break;
    case 10: {
      char16_t wide[64];
      if (n < 63) {
        for (size_t i = 0; i < n; ++i) wide[i] = static_cast<unsigned char>(text[i]);
        wide[n] = 0;
        // Digits only: a text the amount reader would stop in is refused.
        bool clean = true;
        for (size_t i = 0; i < n; ++i) {
          char c = text[i];
          if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == ' ')) clean = false;
        }
        ok = clean && qg::pFixe6DepuisChaine(&v.cy, wide) != nullptr;
      }
      size = 10;
      break;
    }
    default: break;
  }
  if (!ok || !bStoreFixed(&v, size)) {
    std::string& copy = NarrowScratch();
    copy.assign(text, n);
    NAReportValueConversion(error, copy.c_str(), 18, m_nType, m_pColumn);
    return false;
  }
  return true;
}

bool CNAValueConverter::bStoreDateText(const char* text, size_t n, CNAError* error) {
  DateTimeParts parts;
  if (!ParseDateTime(text, n, &parts)) {
    std::string& copy = NarrowScratch();
    copy.assign(text, n);
    NAReportValueConversion(error, copy.c_str(), 18, m_nType, m_pColumn);
    return false;
  }
  bool variant = m_nKind == kVariant || m_nKind == kVariantPending || m_nKind == kNone;
  int internal = nInternalType();
  if (!variant && m_nKind != kReference) {
    if (internal == 11 || (internal == 0 && (m_nType == 25 || m_nType == 129))) {
      size_t room = m_nCapacity > 0 ? m_nCapacity - 1 : 0;
      if (internal == 0 && m_nType == 25) {
        // UTF-16 digits.
        char digits[16];
        size_t count = room / 2 < 15 ? room / 2 : 15;
        TimeDigits(parts, digits, count);
        std::memset(m_pBuffer, 0, m_nCapacity);
        for (size_t i = 0; i < count; ++i) {
          char16_t c = static_cast<unsigned char>(digits[i]);
          std::memcpy(Buffer() + 2 * i, &c, 2);
        }
        m_nLength = 2 * count;
        ValueStored();
        return true;
      }
      std::memset(m_pBuffer, 0, m_nCapacity);
      TimeDigits(parts, static_cast<char*>(m_pBuffer), room);
      m_nLength = room;
      ValueStored();
      return true;
    }
    if (internal == 14 || (internal == 0 && (m_nType == 24 || m_nType == 128))) {
      char digits[8];
      WriteDigits(digits, parts.year, 4);
      WriteDigits(digits + 4, parts.month, 2);
      WriteDigits(digits + 6, parts.day, 2);
      if (internal == 0 && m_nType == 24) {
        char16_t wide[8];
        for (int i = 0; i < 8; ++i) wide[i] = static_cast<unsigned char>(digits[i]);
        return bSetBuffer(wide, 16);
      }
      return bSetBuffer(digits, 8);
    }
    qg::AnyDateTime v = ToDateTime(parts);
    return bStoreFixed(&v, sizeof(v)) ? true : bSetBuffer(&v, sizeof(v));
  }
  switch (m_nType) {
    case 26: {
      qg::AnyDateTime v = ToDateTime(parts);
      return bStoreFixed(&v, sizeof(v));
    }
    case 24: case 128: {
      char digits[9];
      WriteDigits(digits, parts.year, 4);
      WriteDigits(digits + 4, parts.month, 2);
      WriteDigits(digits + 6, parts.day, 2);
      digits[8] = 0;
      m_clValue.SetType(m_nType);
      m_clValue.pclHolder()->vnSetA(digits, 8);
      m_nLength = 8;
      ValueStored();
      return true;
    }
    default: {  // 25, 129: HHMMSSmmm
      char digits[10];
      TimeDigitsOf(ToDateTime(parts), digits, 9);
      digits[9] = 0;
      m_clValue.SetType(m_nType);
      m_clValue.pclHolder()->vnSetA(digits, 9);
      m_nLength = 9;
      ValueStored();
      return true;
    }
  }
}

bool CNAValueConverter::bSetValue(const CAny& value, CNAError* error) {
  m_nPendingRead = 0;
  if (value.bEstNull() || value.nGetCode() == 0) {
    Clear();
    return true;
  }
  if (m_nType == 0 && (m_nKind == kVariant || m_nKind == kNone)) bSetType(value.nGetCode(), 0);
  if (!bEnsurePrepared()) return false;
  int source = value.nGetCode();
  int target = m_nType == 15 ? 8 : m_nType;
  if (source == target) return bStoreEqualType(value, error);

  if (IsNarrow(source) && IsTextLike(target)) {
    const void* bytes = nullptr;
    int size = 0;
    value.pclHolder()->vnGetTexte(&bytes);
    value.pclHolder()->vnGetTailleSansFin(&size);
    return bSetFromNarrowText(static_cast<const char*>(bytes), size, error);
  }
  if (IsWide(source) && IsTextLike(target)) {
    const char16_t* text = nullptr;
    if (value.nGetPCXSTR(&text) != 0 || text == nullptr) text = u"";
    return bSetFromWideText(text, -1, error);
  }
  if (source == 26 && IsTextLike(target) && m_pColumn != nullptr &&
      m_pColumn->pszGetDateMask()[0] != 0) {
    qg::AnyDateTime v{};
    value.nGetDATETIME(&v);
    char16_t text[40];
    if (!bFormatDateMask(m_pColumn->pszGetDateMask(), v, text, 40)) {
      NAReportValueConversion(error, "", source, target, m_pColumn);
      return false;
    }
    return bSetFromWideText(text, -1, error);
  }
  if ((source == 8 && target == 135) || (source == 28 && target == 136)) {
    const void* bytes = nullptr;
    int size = 0;
    value.pclHolder()->vnGetTexte(&bytes);
    value.pclHolder()->vnGetTailleSansFin(&size);
    return bSetBuffer(bytes, size > 0 ? static_cast<size_t>(size) : 0);
  }
  if ((source == 25 || source == 129) && target == 26) {
    DateTimeParts parts;
    bool ok = false;
    if (source == 25) {
      const char16_t* text = nullptr;
      ok = value.nGetPCXSTR(&text) == 0 && text != nullptr &&
           ReadTimeDigits(text, WideLength(text), &parts);
    } else {
      const void* bytes = nullptr;
      ok = value.pclHolder()->vnGetTexte(&bytes) == 0 && bytes != nullptr &&
           ReadTimeDigits(static_cast<const char*>(bytes),
                          std::strlen(static_cast<const char*>(bytes)), &parts);
    }
    if (!ok) {
      NAReportValueConversion(error, "", source, target, m_pColumn);
      return false;
    }
    CAny date_time;
    date_time.SetDATETIME(ToDateTime(parts));
    return bStoreEqualType(date_time, error);
  }
  if (m_nDepth > 0) {
    // The host answered with a value of another type again: stop here.
    NAReportValueConversion(error, "", source, target, m_pColumn);
    return false;
  }
  CAny converted = value;
  int wanted = target;
  if (target == 27 && (IsWide(source) || IsNarrow(source) || source == 13 || source == 10)) wanted = 9;
  int status = converted.nConvertType(wanted);
  if (status >= 100) {
    CXYString<char16_t> text;
    std::string shown;
    if (value.nGetTexte(&text) < 100 && text.pszGet() != nullptr) {
      for (const char16_t* p = text.pszGet(); *p != 0 && shown.size() < 200; ++p) {
        shown.push_back(*p < 0x80 ? static_cast<char>(*p) : '?');
      }
    }
    NAReportValueConversion(error, shown.c_str(), source, target, m_pColumn);
    return false;
  }
  ++m_nDepth;
  bool ok = bSetValue(converted, error);
  --m_nDepth;
  return ok;
}

bool CNAValueConverter::bStoreEqualType(const CAny& value, CNAError* error) {
  if (m_nKind == kVariant || m_nKind == kVariantPending) {
    m_clValue = value;
    int size = 0;
    m_clValue.pclHolder()->vnGetTailleSansFin(&size);
    m_nLength = size > 0 ? static_cast<size_t>(size) : 0;
    ValueStored();
    return true;
  }
  if (m_nKind != kCallerBuffer && m_nKind != kOwnBuffer) return true;
  int t = m_nType;
  if (t == 1) {
    int32_t b = 0;
    value.nGetBOOL(&b);
    return bSetBoolean(b == 1, error);
  }
  if (t == 13) return bStoreDecimal(value, error);
  if (t == 26) {
    qg::AnyDateTime v{};
    value.nGetDATETIME(&v);
    int internal = nInternalType();
    if (internal == 11) {
      if (v.nMilliseconds >= 86400000u) {
        NAReportValueConversion(error, "", 26, 26, m_pColumn);
        return false;
      }
      std::memset(m_pBuffer, 0, m_nCapacity);
      size_t room = m_nCapacity > 0 ? m_nCapacity - 1 : 0;
      TimeDigitsOf(v, static_cast<char*>(m_pBuffer), room);
      m_nLength = room;
      ValueStored();
      return true;
    }
    if (internal == 14) {
      char digits[8];
      WriteDigits(digits, v.nYear, 4);
      WriteDigits(digits + 4, v.nMonth, 2);
      WriteDigits(digits + 6, v.nDay, 2);
      return bSetBuffer(digits, 8);
    }
    return bStoreFixed(&v, sizeof(v));
  }
  const void* bytes = nullptr;
  int size = 0;
  value.pclHolder()->vnGetTexte(&bytes);
  value.pclHolder()->vnGetTailleSansFin(&size);
  if (IsNarrow(t) && m_nKind != kReference) {
    return bSetFromNarrowTextCP(static_cast<const char*>(bytes), size > 0 ? size : 0, m_nCodePage,
                                error);
  }
  if (IsWide(t)) {
    return bSetFromWideText(static_cast<const char16_t*>(bytes), size > 0 ? size / 2 : 0, error);
  }
  return bSetBuffer(bytes, size > 0 ? static_cast<size_t>(size) : 0);
}

bool CNAValueConverter::bStoreDecimal(const CAny& value, CNAError* error) {
  qg::IDecimal* decimal = nullptr;
  if (value.nGetDECIMAL(&decimal) != 0 || decimal == nullptr) {
    NAReportValueConversion(error, "", 13, 13, m_pColumn);
    return false;
  }
  const qg::DecimalFields& f = decimal->m_stFields;
  __int128 mantissa = 0;
  std::memcpy(&mantissa, f.abyMantissa, 16);
  int scale = m_pColumn != nullptr ? m_pColumn->nGetScale() : f.nScale;
  // Rescale from the value's scale to the column's, truncating.
  for (int s = f.nScale; s > scale; --s) mantissa /= 10;
  for (int s = f.nScale; s < scale; ++s) {
    if (mantissa > (static_cast<__int128>(1) << 122) || mantissa < -(static_cast<__int128>(1) << 122)) {
      NAReportValueConversion(error, "", 13, 13, m_pColumn);
      return false;
    }
    mantissa *= 10;
  }
  size_t bytes = m_nCapacity < 16 ? m_nCapacity : 16;
  if (bytes == 0 || !FitsBytes(mantissa, bytes)) {
    NAReportValueConversion(error, "", 13, 13, m_pColumn);
    return false;
  }
  uint8_t image[16];
  std::memcpy(image, &mantissa, 16);
  std::memcpy(m_pBuffer, image, bytes);
  m_nLength = bytes;
  ZeroFrom(bytes);
  ValueStored();
  return true;
}

void CNAValueConverter::SetAnyNull() { m_clValue.SetNull(true); }

void CNAValueConverter::Clear() {
  m_nPendingRead = 0;
  if (m_clValue.nGetCode() != (m_nType == 15 ? 8 : m_nType)) m_clValue.SetType(m_nType);
  SetAnyNull();
  if (m_nKind == kCallerBuffer || m_nKind == kOwnBuffer) {
    ZeroFrom(0);
    m_nLength = 0;
  }
}

// ---- reading ----------------------------------------------------------------

bool CNAValueConverter::bGetValue(CAny& out) const {
  if (m_nKind == kVariant || m_nKind == kVariantPending) {
    out = m_clValue;
    return true;
  }
  if (m_nKind != kCallerBuffer && m_nKind != kOwnBuffer && m_nKind != kReference) return false;
  if (m_clValue.bEstNull()) {
    out.SetType(m_nType);
    out.SetNull(true);
    return true;
  }
  const uint8_t* b = Buffer();
  size_t cap = m_pBuffer != nullptr ? m_nCapacity : 0;
  int t = m_nType;
  switch (t) {
    case 13: {
      DecimalFieldsObject decimal;
      size_t bytes = cap < 16 ? cap : 16;
      uint8_t image[16];
      uint8_t fill = (bytes > 0 && (b[bytes - 1] & 0x80) != 0) ? 0xFF : 0;
      std::memset(image, fill, 16);
      if (bytes > 0) std::memcpy(image, b, bytes);
      std::memcpy(decimal.m_stFields.abyMantissa, image, 16);
      int scale = m_pColumn != nullptr ? m_pColumn->nGetScale() : 0;
      int digits = m_pColumn != nullptr ? m_pColumn->nGetPrecision() + scale : 38;
      decimal.m_stFields.nScale = scale;
      decimal.m_stFields.nPrecision = digits > 38 || digits <= 0 ? 38 : digits;
      out.SetDECIMAL(&decimal);
      return true;
    }
    case 16: case 110: {
      size_t units = 0;
      while (units + 1 < cap / 2 + 1 && 2 * units + 1 < cap) {
        char16_t c;
        std::memcpy(&c, b + 2 * units, 2);
        if (c == 0) break;
        ++units;
      }
      std::u16string& wide = WideScratch();
      wide.resize(units);
      if (units > 0) std::memcpy(wide.data(), b, units * 2);
      out.SetType(t);
      out.pclHolder()->vnSetW(wide.data(), static_cast<int>(units));
      out.SetNull(false);
      return true;
    }
    case 18: case 19: {
      size_t n = b != nullptr ? strnlen(reinterpret_cast<const char*>(b), cap) : 0;
      out.SetType(t);
      out.pclHolder()->vnSetA(reinterpret_cast<const char*>(b), static_cast<int>(n));
      out.SetNull(false);
      return true;
    }
    case 26: {
      int internal = nInternalType();
      DateTimeParts parts;
      if (internal == 11) {
        size_t n = strnlen(reinterpret_cast<const char*>(b), cap);
        if (!ReadTimeDigits(reinterpret_cast<const char*>(b), n, &parts)) return false;
        out.SetDATETIME(ToDateTime(parts));
        return true;
      }
      if (internal == 14) {
        size_t n = strnlen(reinterpret_cast<const char*>(b), cap);
        if (n < 8 || !Digits(reinterpret_cast<const char*>(b), 4, &parts.year) ||
            !Digits(reinterpret_cast<const char*>(b) + 4, 2, &parts.month) ||
            !Digits(reinterpret_cast<const char*>(b) + 6, 2, &parts.day)) {
          return false;
        }
        out.SetDATETIME(ToDateTime(parts));
        return true;
      }
      if (cap < sizeof(qg::AnyDateTime)) return false;
      qg::AnyDateTime v;
      std::memcpy(&v, b, sizeof(v));
      out.SetDATETIME(v);
      return true;
    }
    case 28: {
      if (nInternalType() == 23) {
        if (cap < 2) return false;
        uint16_t n;
        std::memcpy(&n, b, 2);
        size_t len = n <= cap - 2 ? n : cap - 2;
        out.SetBIN(b + 2, static_cast<int>(len));
      } else {
        out.SetBIN(b, static_cast<int>(m_nKind == kReference ? m_nLength : cap));
      }
      return true;
    }
    default:
      out.SetType(t);
      out.pclHolder()->vnSetDepuis(b, static_cast<int>(cap));
      out.SetNull(false);
      return true;
  }
}

bool CNAValueConverter::bConvertTo(int host_type, bool no_padding, CNAError* error) {
  CAny current;
  if (!bGetValue(current)) current.SetType(0);
  if (!current.bEstNull() && current.nGetCode() != 0 && IsTextTarget(host_type) &&
      nInternalType() == 11) {
    CXYString<char16_t> text;
    if (current.nGetTexte(&text) >= 100) return false;
    const char16_t* p = text.pszGet() != nullptr ? text.pszGet() : u"";
    size_t n = WideLength(p);
    if (n > 99) return false;
    int column_size = m_pColumn != nullptr ? m_pColumn->nGetSize() : 0;
    size_t wanted = column_size > 1 ? static_cast<size_t>(column_size - 1) : 0;
    if (wanted > 99) wanted = 99;
    char16_t buffer[100];
    std::memcpy(buffer, p, n * 2);
    if (n < wanted && !no_padding) {
      for (; n < wanted; ++n) buffer[n] = u'0';
    } else if (n > wanted && wanted > 0) {
      n = wanted;
    }
    buffer[n] = 0;
    current.SetDSTRW(buffer, static_cast<int>(n));
  }
  bSetType(host_type, 0);
  if (current.bEstNull() || current.nGetCode() == 0) {
    Clear();
    return true;
  }
  return bSetValue(current, error);
}

// ---- copying and comparing --------------------------------------------------

bool CNAValueConverter::CopyFrom(const CNAValueConverter& other) {
  if (&other == this) return true;
  if (other.m_pOwner != m_pOwner) {
    AddRefBoth(other.m_pOwner);
    ReleaseBoth(m_pOwner);
    m_pOwner = other.m_pOwner;
  }
  m_nCodePage = other.m_nCodePage;
  m_nSourceMarker = other.m_nPendingRead;
  if (m_bPrepared && other.m_bPrepared && m_nType == other.m_nType) {
    if (other.m_nKind == kVariantPending) {
      m_nKind = kVariantPending;
      return true;
    }
    if (m_nKind == kVariant && other.m_nKind == kVariant) {
      m_clValue = other.m_clValue;
      m_nLength = other.m_nLength;
      return true;
    }
    if ((m_nKind == kCallerBuffer || m_nKind == kOwnBuffer) &&
        (other.m_nKind == kCallerBuffer || other.m_nKind == kOwnBuffer) &&
        m_nCapacity == other.m_nCapacity) {
      std::memcpy(m_pBuffer, other.m_pBuffer, m_nCapacity);
      m_nLength = other.m_nLength;
      m_clValue.SetNull(other.m_clValue.bEstNull());
      return true;
    }
    CAny value;
    if (!other.bGetValue(value)) return false;
    if (value.bEstNull()) {
      Clear();
      return true;
    }
    return bSetValue(value, nullptr);
  }
  // An unprepared target takes the source's type and storage.
  FreeBuffer();
  m_nType = other.m_nType;
  m_clValue = other.m_clValue;
  if (other.m_nKind == kOwnBuffer) {
    void* block = std::malloc(other.m_nCapacity > 0 ? other.m_nCapacity : 1);
    if (block == nullptr) return false;
    if (other.m_nCapacity > 0) std::memcpy(block, other.m_pBuffer, other.m_nCapacity);
    m_nKind = kOwnBuffer;
    m_pBuffer = block;
  } else if (other.m_nKind == kCallerBuffer || other.m_nKind == kReference) {
    // The caller's storage is not ours: keep a reference to the same bytes.
    m_nKind = kReference;
    m_pBuffer = other.m_pBuffer;
  } else {
    m_nKind = other.m_nKind;
    m_pBuffer = nullptr;
  }
  m_nCapacity = other.m_nCapacity;
  m_nLength = other.m_nLength;
  m_bPrepared = other.m_bPrepared || m_nKind == kReference || m_nKind == kOwnBuffer;
  BindColumns(other.m_pColumn, other.m_pSource);
  return true;
}

int CNAValueConverter::nCopyFrom(const CNAValue* source, INACopyContext*, intptr_t, intptr_t) {
  const auto* other = dynamic_cast<const CNAValueConverter*>(source);
  if (other == nullptr) return 0;
  return CopyFrom(*other) ? 1 : 0;
}

CNAValue* CNAValueConverter::pclClone(INACopyContext* context, intptr_t a, intptr_t b) const {
  auto* copy = new (std::nothrow) CNAValueConverter(nullptr, m_nCodePage);
  if (copy == nullptr) return nullptr;
  try {
    if (copy->nCopyFrom(this, context, a, b) == 0) {
      delete copy;
      return nullptr;
    }
  } catch (...) {
    delete copy;
    throw;
  }
  return copy;
}

int CNAValueConverter::nCompare(const CNAValueConverter& other) const {
  if (&other == this) return 0;
  bool this_buffer = m_nKind >= kCallerBuffer;
  bool other_buffer = other.m_nKind >= kCallerBuffer;
  if (this_buffer && other_buffer && m_nType == other.m_nType && m_nLength == other.m_nLength &&
      !IsNarrow(m_nType) && !IsWide(m_nType)) {
    int c = m_nLength > 0 ? std::memcmp(m_pBuffer, other.m_pBuffer, m_nLength) : 0;
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (this_buffer && other_buffer && IsNarrow(m_nType) && IsNarrow(other.m_nType)) {
    const uint8_t* a = Buffer();
    const uint8_t* b = other.Buffer();
    size_t na = a != nullptr ? strnlen(reinterpret_cast<const char*>(a), m_nCapacity) : 0;
    size_t nb = b != nullptr ? strnlen(reinterpret_cast<const char*>(b), other.m_nCapacity) : 0;
    size_t n = na < nb ? na : nb;
    int c = n > 0 ? std::memcmp(a, b, n) : 0;
    if (c != 0) return c < 0 ? -1 : 1;
    return na < nb ? -1 : (na > nb ? 1 : 0);
  }
  if (this_buffer && other_buffer && IsWide(m_nType) && IsWide(other.m_nType)) {
    size_t na = m_nCapacity / 2;
    size_t nb = other.m_nCapacity / 2;
    for (size_t i = 0;; ++i) {
      char16_t ca = 0, cb = 0;
      if (i < na) std::memcpy(&ca, Buffer() + 2 * i, 2);
      if (i < nb) std::memcpy(&cb, other.Buffer() + 2 * i, 2);
      if (ca != cb) return ca < cb ? -1 : 1;
      if (ca == 0) return 0;
    }
  }
  CAny a;
  CAny b;
  if (!bGetValue(a) || !other.bGetValue(b)) return m_nKind < other.m_nKind ? -1 : 1;
  int32_t order = 0;
  if (nNACompare(a, b, &order) >= 100) return 0;
  return order;
}

bool CNAValueConverter::bEquals(const CNAValueConverter& other) const {
  if (&other == this) return true;
  if (m_nKind == kNone && other.m_nKind == kNone) return true;
  if (m_nKind == kVariantPending && other.m_nKind == kVariantPending) return false;
  if (m_nKind == kNone || other.m_nKind == kNone) return false;
  bool null_a = m_clValue.bEstNull();
  bool null_b = other.m_clValue.bEstNull();
  if (null_a || null_b) return null_a && null_b;
  if (m_nKind == kVariant && other.m_nKind == kVariant) {
    int32_t equal = 0;
    if (nNAEqual(m_clValue, other.m_clValue, &equal) >= 100) return nCompare(other) == 0;
    return equal != 0;
  }
  return nCompare(other) == 0;
}

// ---- date masks -------------------------------------------------------------

bool CNAValueConverter::bFormatDateMask(const char16_t* mask, const qg::AnyDateTime& v,
                                        char16_t* out, size_t capacity) {
  if (v.nMilliseconds >= 86400000u || capacity < 32) return false;
  int ms = static_cast<int>(v.nMilliseconds);
  int hours = ms / 3600000;
  int minutes = ms % 3600000 / 60000;
  int seconds = ms % 60000 / 1000;
  int millis = ms % 1000;
  int hundredths = millis / 10;
  char text[40];
  auto is = [mask](const char16_t* m) {
    size_t i = 0;
    for (; m[i] != 0; ++i) {
      if (mask[i] != m[i]) return false;
    }
    return mask[i] == 0;
  };
  if (is(u"DD-MM-YYYY HH24:MI:SS")) {
    std::snprintf(text, sizeof(text), "%02d-%02d-%04d %02d:%02d:%02d", v.nDay, v.nMonth,
                  v.nYear, hours, minutes, seconds);
  } else if (is(u"AAAA-MM-JJ HH:MM:SS.CCC")) {
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d.%03d", v.nYear, v.nMonth,
                  v.nDay, hours, minutes, seconds, millis);
  } else if (is(u"AAAAMMJJ HH:MM:SS.CCC")) {
    std::snprintf(text, sizeof(text), "%04d%02d%02d %02d:%02d:%02d.%03d", v.nYear, v.nMonth,
                  v.nDay, hours, minutes, seconds, millis);
  } else if (is(u"YYYYMMDDHH24MISS")) {
    std::snprintf(text, sizeof(text), "%04d%02d%02d%02d:%02d:%02d", v.nYear, v.nMonth, v.nDay,
                  hours, minutes, seconds);
  } else if (is(u"YYYYMMDD HH24MISS")) {
    std::snprintf(text, sizeof(text), "%04d%02d%02d %02d%02d%02d", v.nYear, v.nMonth, v.nDay,
                  hours, minutes, seconds);
  } else if (is(u"YYYYMMDD HH24:MI:SS")) {
    std::snprintf(text, sizeof(text), "%04d%02d%02d %02d:%02d:%02d", v.nYear, v.nMonth, v.nDay,
                  hours, minutes, seconds);
  } else if (is(u"YYYYMMDDHH24MISSFF")) {
    std::snprintf(text, sizeof(text), "%04d%02d%02d%02d%02d%02d%02d", v.nYear, v.nMonth, v.nDay,
                  hours, minutes, seconds, hundredths);
  } else {
    std::snprintf(text, sizeof(text), "%04d%02d%02d%02d%02d%02d%03d", v.nYear, v.nMonth, v.nDay,
                  hours, minutes, seconds, millis);
  }
  size_t i = 0;
  for (; text[i] != 0 && i + 1 < capacity; ++i) out[i] = static_cast<unsigned char>(text[i]);
  out[i] = 0;
  return true;
}
