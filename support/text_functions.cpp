#include "support/text_functions.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "support/ctstring.h"
#include "support/frame/module_services.h"
#include "support/platform/codepage.h"
#include "support/platform/text16.h"

namespace {

constexpr uint32_t kFlagsFold = qg::kCompareIgnoreCase | qg::kCompareIgnoreNonSpace;
constexpr uint32_t kCompareCharFlags = 0x20000000;

template <typename C>
C* DupN(const C* text, size_t n) {
  C* out = static_cast<C*>(std::malloc((n + 1) * sizeof(C)));
  if (out == nullptr) return nullptr;
  if (n > 0) std::memcpy(out, text, n * sizeof(C));
  out[n] = 0;
  return out;
}

// Ordinal comparison of counted texts, after the Latin-1 case fold when
// asked; used only when no host locale interface is installed.
int FallbackCompare(uint32_t flags, const char16_t* a, size_t na, const char16_t* b,
                    size_t nb) {
  for (size_t i = 0; i < na && i < nb; ++i) {
    char16_t ca = a[i], cb = b[i];
    if (flags & qg::kCompareIgnoreCase) {
      ca = qg::ToLowerLatin1_16(ca);
      cb = qg::ToLowerLatin1_16(cb);
    }
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return na == nb ? 0 : (na < nb ? -1 : 1);
}

int LocaleCompare(uint32_t flags, const char16_t* a, size_t na, const char16_t* b, size_t nb) {
  qg::IInfoLocale* locale = qg::Services().piInfoLocale;
  if (locale == nullptr) return FallbackCompare(flags, a, na, b, nb);
  return locale->nCompare(qg::kLocaleUserDefault, flags, a, static_cast<int32_t>(na), b,
                          static_cast<int32_t>(nb));
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// Natural order: digit runs compared by value, other runs by the locale.
int CompareNatural(const char16_t* a, const char16_t* b) {
  size_t na = qg::StrLen16(a), nb = qg::StrLen16(b);
  size_t i = 0, j = 0;
  while (i < na && j < nb) {
    if (qg::IsDigit16(a[i]) && qg::IsDigit16(b[j])) {
      while (i < na && a[i] == u'0' && i + 1 < na && qg::IsDigit16(a[i + 1])) ++i;
      while (j < nb && b[j] == u'0' && j + 1 < nb && qg::IsDigit16(b[j + 1])) ++j;
      size_t si = i, sj = j;
      while (i < na && qg::IsDigit16(a[i])) ++i;
      while (j < nb && qg::IsDigit16(b[j])) ++j;
      size_t li = i - si, lj = j - sj;
      if (li != lj) return li < lj ? -1 : 1;
      int c = qg::StrNCmp16(a + si, b + sj, li);
      if (c != 0) return Sign(c);
    } else {
      size_t si = i, sj = j;
      while (i < na && !qg::IsDigit16(a[i])) ++i;
      while (j < nb && !qg::IsDigit16(b[j])) ++j;
      int c = LocaleCompare(kFlagsFold, a + si, i - si, b + sj, j - sj);
      if (c != 0) return Sign(c);
    }
  }
  if (i < na) return 1;
  if (j < nb) return -1;
  return 0;
}

// One code point to UTF-16 into out[0..1]; returns the units (1 or 2).
int EncodeCodePoint(char32_t c, char16_t out[2]) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c <= 0xFFFF) {
    out[0] = static_cast<char16_t>(c);
    return 1;
  }
  out[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  return 2;
}

}  // namespace

// --- heap copies -------------------------------------------------------------------

char16_t* pszDupliqueChaine(const char16_t* text) {
  return text != nullptr ? DupN(text, qg::StrLen16(text)) : nullptr;
}

char* pszDupliqueChaineA(const char* text) {
  return text != nullptr ? DupN(text, std::strlen(text)) : nullptr;
}

char16_t* pszDupliqueSousChaine(const char16_t* text, size_t n) {
  return text != nullptr ? DupN(text, qg::StrNLen16(text, n)) : nullptr;
}

char* pszDupliqueSousChaineA(const char* text, size_t n) {
  return text != nullptr ? DupN(text, strnlen(text, n)) : nullptr;
}

char16_t* pAlloueChaine(size_t n) {
  if (n >= SIZE_MAX / sizeof(char16_t) - 1) return nullptr;
  return static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
}

void LibereChaine(void* text) { std::free(text); }

void Libere(void* text) { std::free(text); }

// --- bounded copy -------------------------------------------------------------------

int nCopieChaine(char16_t* dst, size_t capacity, const char16_t* src) {
  return static_cast<int>(qg::StrCopy16(dst, capacity, src));
}

int nCopieChaineTronquee(char16_t* dst, size_t capacity, const char16_t* src) {
  return static_cast<int>(qg::StrCopy16(dst, capacity, src));
}

int nConcateneChemin(char16_t* path, const char16_t* add) {
  if (path == nullptr) return -1;
  size_t len = qg::StrNLen16(path, kPathBufferSize);
  if (len >= static_cast<size_t>(kPathBufferSize)) return -1;  // not terminated
  size_t n = qg::StrLen16(add);
  if (len + n + 1 > static_cast<size_t>(kPathBufferSize)) return -1;
  std::memcpy(path + len, add, n * sizeof(char16_t));
  path[len + n] = 0;
  return static_cast<int>(len + n);
}

int nSupprimeBlancsFin(char16_t* text) {
  size_t n = qg::StrLen16(text);
  while (n > 0 && qg::IsSpace16(text[n - 1])) --n;
  if (text != nullptr) text[n] = 0;
  return static_cast<int>(n);
}

// --- host locale ---------------------------------------------------------------------

int nCompareChaineLocale(const char16_t* a, const char16_t* b, uint32_t flags) {
  static const char16_t empty[1] = {0};
  if (a == nullptr) a = empty;
  if (b == nullptr) b = empty;
  qg::IInfoLocale* locale = qg::Services().piInfoLocale;
  if (locale == nullptr)
    return FallbackCompare(flags, a, qg::StrLen16(a), b, qg::StrLen16(b));
  if (flags & qg::kCompareFlagsOnly)
    return locale->nCompareFlags(flags & ~qg::kCompareFlagsOnly, a, -1, b, -1);
  return locale->nCompare(qg::kLocaleUserDefault, flags, a, -1, b, -1);
}

uint32_t nHacheChaineLocale(const char16_t* text) {
  uint32_t h = 5381;
  if (text == nullptr) return h;
  const size_t n = qg::StrLen16(text);
  qg::IInfoLocale* locale = qg::Services().piInfoLocale;
  if (locale == nullptr) {
    for (size_t i = 0; i < n; ++i) h = h * 33 + qg::ToLowerLatin1_16(text[i]);
    return h;
  }
  if (n == 0 || n > INT32_MAX / 2 - 16) return h;
  // One mapping call into a buffer with room to spare; only a mapping that
  // does not fit is measured and mapped again.
  char16_t stack[256];
  std::unique_ptr<char16_t[]> heap;
  auto capacity = static_cast<int32_t>(n * 2 + 16);
  char16_t* mapped = stack;
  if (capacity > 256) {
    heap.reset(new (std::nothrow) char16_t[static_cast<size_t>(capacity)]);
    mapped = heap.get();
  }
  const auto length = static_cast<int32_t>(n);
  int32_t got = mapped == nullptr ? 0
                                  : locale->nMapText(qg::kLocaleUserDefault, kFlagsFold, text,
                                                     length, mapped, capacity);
  if (got <= 0) {
    capacity = locale->nMapText(qg::kLocaleUserDefault, kFlagsFold, text, length, nullptr, 0);
    if (capacity <= 0) return h;
    heap.reset(new (std::nothrow) char16_t[static_cast<size_t>(capacity)]);
    mapped = heap.get();
    if (mapped == nullptr) return h;
    got = locale->nMapText(qg::kLocaleUserDefault, kFlagsFold, text, length, mapped, capacity);
  }
  for (int32_t i = 0; i < got && i < capacity; ++i) h = h * 33 + mapped[i];
  return h;
}

int nCompareCaractereLocale(char16_t a, char16_t b) {
  qg::IInfoLocale* locale = qg::Services().piInfoLocale;
  if (locale == nullptr) return a == b ? 0 : (a < b ? -1 : 1);
  return locale->nCompare(qg::kLocaleUserDefault, kCompareCharFlags, &a, 1, &b, 1);
}

int nMappeChaineSansCasseNiAccent(const char16_t* text, int n, char16_t* dst) {
  if (text == nullptr) return 0;
  qg::IInfoLocale* locale = qg::Services().piInfoLocale;
  if (locale != nullptr) return locale->nMapText(qg::kLocaleFrench, kFlagsFold, text, n, dst, -1);
  int len = n < 0 ? static_cast<int>(qg::StrLen16(text)) + 1 : n;
  for (int i = 0; i < len; ++i) dst[i] = qg::ToLowerLatin1_16(text[i]);
  return len;
}

int nCompareVersionModuleObjet(const char16_t* version) {
  return CompareNatural(version, u"17.0.1.0");
}

// --- numbers ---------------------------------------------------------------------------

char16_t* pszUI8VersChaine(char16_t* buffer, uint64_t v) {
  char digits[24];
  auto r = std::to_chars(digits, digits + sizeof(digits), v);
  size_t n = static_cast<size_t>(r.ptr - digits);
  for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<char16_t>(digits[i]);
  buffer[n] = 0;
  return buffer;
}

const char16_t* pszNormaliseExposantD(const char16_t* text, CTString* holder) {
  if (text == nullptr) return text;
  const char16_t* marker = nullptr;
  for (const char16_t* p = text; *p; ++p) {
    if (*p == u'd' || *p == u'D') {
      marker = p;
      break;
    }
  }
  if (marker == nullptr) return text;
  CTString before(text, static_cast<size_t>(marker - text));
  before += u"E";
  before += marker + 1;
  *holder = before;
  return holder->pszGet();
}

double rChaineVersReel(const char16_t* text) {
  if (text == nullptr) return 0.0;
  const char16_t* p = text;
  while (qg::IsSpace16(*p)) ++p;
  bool negative = false;
  if (*p == u'+' || *p == u'-') negative = *p++ == u'-';
  if (*p == 0 || (*p < 0x80 && std::isalpha(static_cast<int>(*p)))) return 0.0;
  if (p[0] == u'0' && (p[1] == u'x' || p[1] == u'X')) return 0.0;
  if (!qg::IsDigit16(*p) && *p != u'.') return 0.0;
  // The number's characters in ASCII, the exponent marker 'd' read as 'E'.
  char local[64];
  std::string big;
  char* buf = local;
  size_t cap = sizeof(local);
  size_t n = 0;
  for (const char16_t* q = p; *q && *q < 0x80; ++q) {
    char c = static_cast<char>(*q);
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == 'e' || c == 'E' ||
          c == 'd' || c == 'D' || c == '+' || c == '-'))
      break;
    if (c == 'd' || c == 'D') c = 'E';
    if (n + 1 >= cap) {
      if (buf == local) big.assign(local, n);
      big.resize(cap * 2);
      cap *= 2;
      buf = big.data();
    }
    buf[n++] = c;
  }
  double value = 0.0;
  auto r = std::from_chars(buf, buf + n, value, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Overflow or underflow: decide by the decimal magnitude (the value
    // lies in [10^(m-1), 10^m)). The exponent saturates far beyond any
    // double's range rather than wrapping, as strtod reads it.
    constexpr long kExponentCap = 1L << 40;
    size_t k = 0;
    while (k < n && buf[k] == '0') ++k;
    long int_digits = 0;
    while (k < n && std::isdigit(static_cast<unsigned char>(buf[k]))) ++int_digits, ++k;
    long fraction_zeros = 0;
    if (int_digits == 0 && k < n && buf[k] == '.') {
      for (++k; k < n && buf[k] == '0'; ++k) ++fraction_zeros;
    }
    long exponent = 0;
    const char* e = static_cast<const char*>(std::memchr(buf, 'E', n));
    if (e == nullptr) e = static_cast<const char*>(std::memchr(buf, 'e', n));
    if (e != nullptr) {
      const char* q = e + 1;
      const char* end = buf + n;
      bool exponent_negative = false;
      if (q < end && (*q == '+' || *q == '-')) exponent_negative = *q++ == '-';
      for (; q < end && std::isdigit(static_cast<unsigned char>(*q)); ++q) {
        if (exponent < kExponentCap) exponent = exponent * 10 + (*q - '0');
      }
      if (exponent_negative) exponent = -exponent;
    }
    const long magnitude = int_digits > 0 ? int_digits + exponent : exponent - fraction_zeros;
    value = magnitude > 0 ? HUGE_VAL : 0.0;
  } else if (r.ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

int nCalculeTailleFormat(const char16_t* format, va_list ap) {
  if (format == nullptr) return 0;
  int64_t total = 0;
  const char16_t* p = format;
  auto digits = [&p]() {
    int64_t v = 0;
    while (qg::IsDigit16(*p)) {
      if (v < INT_MAX) v = v * 10 + (*p - u'0');
      ++p;
    }
    return v;
  };
  while (*p) {
    if (*p != u'%') {
      total += 2;
      ++p;
      continue;
    }
    ++p;
    if (*p == u'%') {
      total += 2;
      ++p;
      continue;
    }
    if (*p == 0) {
      total += 2;
      break;
    }
    // Flags.
    for (;; ++p) {
      if (*p == u'#') {
        total += 2;
      } else if (*p != u' ' && *p != u'+' && *p != u'-' && *p != u'0') {
        break;
      }
    }
    // Width and precision.
    int64_t width = 0, precision = 0;
    bool has_precision = false;
    if (*p == u'*') {
      int w = va_arg(ap, int);
      width = w < 0 ? -static_cast<int64_t>(w) : w;
      ++p;
    } else {
      width = digits();
    }
    if (*p == u'.') {
      ++p;
      has_precision = true;
      if (*p == u'*') {
        int v = va_arg(ap, int);
        if (v < 0) has_precision = false;
        precision = v < 0 ? 0 : v;
        ++p;
      } else {
        precision = digits();
      }
    }
    // Size prefixes.
    bool wide64 = false, narrow = false, wide = false;
    for (;;) {
      char16_t c = *p;
      if ((c == u'F' || c == u'L' || c == u'N') && p[1] != 0 && p[1] < 0x80 &&
          std::isalpha(static_cast<int>(p[1]))) {
        ++p;
      } else if (c == u'I' && p[1] == u'6' && p[2] == u'4') {
        wide64 = true;
        p += 3;
      } else if (c == u'I' && p[1] == u'3' && p[2] == u'2') {
        p += 3;
      } else if (c == u'I' || c == u'z') {
        wide64 = sizeof(void*) == 8;
        ++p;
      } else if (c == u'h') {
        narrow = true;
        ++p;
      } else if (c == u'l' && p[1] == u'l') {
        wide64 = true;
        p += 2;
      } else if (c == u'l') {
        wide = true;
        ++p;
      } else {
        break;
      }
    }
    char16_t conv = *p;
    if (conv == 0) break;
    ++p;
    int64_t wp = width + precision;
    switch (conv) {
      case u'c':
      case u'C':
        (void)va_arg(ap, int);
        total += 2;
        break;
      case u's':
      case u'S': {
        bool as_wide = narrow ? false : (wide ? true : conv == u's');
        int64_t len;
        if (as_wide) {
          const char16_t* s = va_arg(ap, const char16_t*);
          len = s == nullptr ? 6 : static_cast<int64_t>(qg::StrLen16(s));
        } else {
          const char* s = va_arg(ap, const char*);
          len = s == nullptr ? 6 : static_cast<int64_t>(std::strlen(s));
        }
        if (len < 1) len = 1;
        if (has_precision && precision < len) len = precision;
        total += width > len ? width : len;
        break;
      }
      case u'n':
        (void)va_arg(ap, void*);
        break;
      case u'a':
      case u'A':
      case u'e':
      case u'E':
      case u'f':
      case u'F':
      case u'g':
      case u'G':
        (void)va_arg(ap, double);
        total += wp > 512 ? wp : 512;
        break;
      case u'p':
        (void)va_arg(ap, void*);
        total += wp > 32 ? wp : 32;
        break;
      case u'd':
      case u'i':
      case u'u':
      case u'x':
      case u'X':
      case u'o':
        if (wide64)
          (void)va_arg(ap, long long);
        else
          (void)va_arg(ap, int);
        total += wp > 32 ? wp : 32;
        break;
      default:
        total += wp > 32 ? wp : 32;
        break;
    }
    if (total > INT_MAX) return INT_MAX;
  }
  return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

namespace qg {

int nConvertit1252EnUTF16(const char* src, int n, char16_t* dst, int capacity) {
  if (src == nullptr) return 0;
  if (n == -1) n = static_cast<int>(std::strlen(src)) + 1;
  if (n <= 0) return 0;
  if (dst == nullptr || capacity <= 0) return n;
  int m = n < capacity ? n : capacity;
  for (int i = 0; i < m; ++i) dst[i] = Cp1252ToUnicode(static_cast<unsigned char>(src[i]));
  return m;
}

int nDecodeUTF16(const char* bytes, int nbytes, bool big_endian, char16_t* dst, int capacity) {
  if (bytes == nullptr || nbytes <= 0) return 0;
  int units = nbytes / 2;
  if (dst == nullptr || capacity <= 0) return units;
  int m = units < capacity ? units : capacity;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
  for (int i = 0; i < m; ++i) {
    unsigned lo = b[2 * i], hi = b[2 * i + 1];
    dst[i] = static_cast<char16_t>(big_endian ? (lo << 8 | hi) : (hi << 8 | lo));
  }
  return m;
}

int nDecodeUTF32(const char* bytes, int nbytes, bool big_endian, char16_t* dst, int capacity) {
  if (bytes == nullptr || nbytes <= 0) return 0;
  int points = nbytes / 4;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
  bool count_only = dst == nullptr || capacity <= 0;
  int out = 0;
  for (int i = 0; i < points; ++i) {
    const unsigned char* q = b + 4 * i;
    char32_t c = big_endian
                     ? (char32_t{q[0]} << 24 | char32_t{q[1]} << 16 | char32_t{q[2]} << 8 | q[3])
                     : (char32_t{q[3]} << 24 | char32_t{q[2]} << 16 | char32_t{q[1]} << 8 | q[0]);
    char16_t units[2];
    int k = EncodeCodePoint(c, units);
    if (!count_only) {
      if (out + k > capacity) break;
      for (int u = 0; u < k; ++u) dst[out + u] = units[u];
    }
    out += k;
  }
  return out;
}

}  // namespace qg

int nConvertitUTF32EnUTF16(const char32_t* src, int n, char16_t* dst, int capacity) {
  if (src == nullptr) return 0;
  bool to_zero = n == -1;
  bool count_only = dst == nullptr || capacity <= 0;
  int out = 0;
  for (int i = 0; to_zero || i < n; ++i) {
    char16_t units[2];
    int k = EncodeCodePoint(src[i], units);
    if (!count_only) {
      if (out + k > capacity) break;
      for (int u = 0; u < k; ++u) dst[out + u] = units[u];
    }
    out += k;
    if (to_zero && src[i] == 0) break;
  }
  return out;
}
