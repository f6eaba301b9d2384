#include "driver/core/xystring_format.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

#include "support/platform/format.h"
#include "support/platform/text16.h"

int nXYFormatV(CXYString<char16_t>& s, const char16_t* format, va_list ap) {
  std::u16string text;
  qg::FormatVaAppend(&text, format, ap);
  s.Libere();
  if (text.empty()) return 0;
  const int rc = s.SetLongueur(int(text.size()));
  if (rc != 0) {
    s.Libere();
    return rc;
  }
  std::memcpy(s.pszGetBuffer(), text.data(), text.size() * sizeof(char16_t));
  return 0;
}

int nXYFormat(CXYString<char16_t>& s, const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int rc = nXYFormatV(s, format, ap);
  va_end(ap);
  return rc;
}

int nFormatToBufferW(char16_t* buffer, size_t capacity, const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int n = qg::FormatVaTo(buffer, capacity, format, ap);
  va_end(ap);
  return n;
}

int nXYRemplaceTout(CXYString<char16_t>& s, const char16_t* what, const char16_t* with) {
  const size_t n_what = qg::StrLen16(what);
  const size_t n_with = qg::StrLen16(with);
  const int length = s.nTaille();
  if (n_what == 0 || length == 0) return 0;
  const char16_t* text = s.pszGet();
  // Count first, so that the new text is built in one allocation.
  size_t count = 0;
  for (size_t at = 0;;) {
    const ptrdiff_t found = qg::Find16(text + at, size_t(length) - at, what, n_what);
    if (found < 0) break;
    ++count;
    at += size_t(found) + n_what;
  }
  if (count == 0) return 0;
  std::u16string out;
  out.reserve(size_t(length) - count * n_what + count * n_with);
  for (size_t at = 0;;) {
    const ptrdiff_t found = qg::Find16(text + at, size_t(length) - at, what, n_what);
    if (found < 0) {
      out.append(text + at, size_t(length) - at);
      break;
    }
    out.append(text + at, size_t(found));
    if (n_with > 0) out.append(with, n_with);
    at += size_t(found) + n_what;
  }
  if (out.empty()) {
    s.Libere();
    return 0;
  }
  return s.nAffecteLongueur(out.data(), int(out.size()));
}

namespace {

bool IsSpace(char16_t c) { return qg::IsSpace16(c); }

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return 99;
}

enum class Size { kShort, kInt, kLong64, kChar };

// Reads an integer of the given base (0: C prefix rules) from at most
// `width` units. False when no digit is read.
bool ReadInteger(const char16_t*& p, size_t width, int base, uint64_t* value,
                 bool* negative) {
  const char16_t* q = p;
  const char16_t* end = width == 0 ? nullptr : p + width;
  auto room = [&](const char16_t* at) { return end == nullptr || at < end; };
  *negative = false;
  if (room(q) && (*q == u'-' || *q == u'+')) {
    *negative = *q == u'-';
    ++q;
  }
  if (base == 0 || base == 16) {
    if (room(q + 1) && q[0] == u'0' && (q[1] == u'x' || q[1] == u'X') && DigitValue(q[2]) < 16) {
      q += 2;
      base = 16;
    } else if (base == 0) {
      base = room(q) && *q == u'0' ? 8 : 10;
    }
  }
  uint64_t v = 0;
  const char16_t* digits = q;
  while (room(q) && DigitValue(*q) < base) {
    v = v * uint64_t(base) + uint64_t(DigitValue(*q));
    ++q;
  }
  if (q == digits) return false;
  *value = *negative ? uint64_t(0) - v : v;
  p = q;
  return true;
}

// Reads a floating number (sign, digits, one point, digits, exponent)
// from at most `width` units.
bool ReadReal(const char16_t*& p, size_t width, double* value) {
  char buffer[128];
  const size_t max = width == 0 || width > sizeof buffer - 1 ? sizeof buffer - 1 : width;
  size_t n = 0;
  const char16_t* q = p;
  auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  auto digits = [&] {
    size_t read = 0;
    while (n < max && digit(*q)) {
      buffer[n++] = char(*q++);
      ++read;
    }
    return read;
  };
  bool plus = false;
  if (n < max && (*q == u'-' || *q == u'+')) {
    plus = *q == u'+';
    buffer[n++] = char(*q++);
  }
  size_t mantissa = digits();
  if (n < max && *q == u'.') {
    buffer[n++] = '.';
    ++q;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (n < max && (*q == u'e' || *q == u'E')) {
    const size_t mark = n;
    const char16_t* qmark = q;
    buffer[n++] = 'e';
    ++q;
    if (n < max && (*q == u'-' || *q == u'+')) buffer[n++] = char(*q++);
    if (digits() == 0) {  // "1e" reads as 1
      n = mark;
      q = qmark;
    }
  }
  const char* first = plus ? buffer + 1 : buffer;
  double v = 0;
  auto result = std::from_chars(first, buffer + n, v);
  if (result.ec != std::errc() || result.ptr != buffer + n) return false;
  *value = v;
  p = q;
  return true;
}

}  // namespace

int nScanFormatW(const char16_t* text, const char16_t* format, ...) {
  if (text == nullptr || format == nullptr) return -1;
  va_list ap;
  va_start(ap, format);
  const char16_t* p = text;
  const char16_t* f = format;
  int stored = 0;
  bool converted = false;  // a conversion was tried
  while (*f != 0) {
    if (IsSpace(*f)) {
      while (IsSpace(*f)) ++f;
      while (IsSpace(*p)) ++p;
      continue;
    }
    if (*f != u'%') {
      if (*p != *f) {
        if (*p == 0 && !converted) stored = -1;
        break;
      }
      ++p;
      ++f;
      continue;
    }
    ++f;
    if (*f == u'%') {
      while (IsSpace(*p)) ++p;
      if (*p != u'%') break;
      ++p;
      ++f;
      continue;
    }
    bool skip = false;
    if (*f == u'*') {
      skip = true;
      ++f;
    }
    size_t width = 0;
    while (*f >= u'0' && *f <= u'9') width = width * 10 + size_t(*f++ - u'0');
    Size size = Size::kInt;
    bool wide_real = false;
    bool narrow_text = false;
    bool wide_text = false;
    if (f[0] == u'I' && f[1] == u'6' && f[2] == u'4') {
      size = Size::kLong64;
      f += 3;
    } else if (f[0] == u'I' && f[1] == u'3' && f[2] == u'2') {
      f += 3;
    } else if (f[0] == u'l' && f[1] == u'l') {
      size = Size::kLong64;
      f += 2;
    } else if (f[0] == u'h' && f[1] == u'h') {
      size = Size::kChar;
      narrow_text = true;
      f += 2;
    } else if (*f == u'l' || *f == u'L') {
      wide_real = true;  // l on integers stays 32-bit (long is 32-bit here)
      wide_text = true;
      ++f;
    } else if (*f == u'h') {
      size = Size::kShort;
      narrow_text = true;
      ++f;
    }
    const char16_t conv = *f++;
    if (conv == 0) break;
    if (conv == u'n') {
      if (!skip) *va_arg(ap, int*) = int(p - text);
      continue;
    }
    if (conv != u'c' && conv != u'C') {
      while (IsSpace(*p)) ++p;
    }
    if (*p == 0) {
      if (!converted && stored == 0) stored = -1;
      break;
    }
    converted = true;
    switch (conv) {
      case u'd': case u'i': case u'u': case u'x': case u'X': case u'o': {
        const int base = conv == u'd' || conv == u'u' ? 10 : conv == u'i' ? 0 : conv == u'o' ? 8 : 16;
        uint64_t v = 0;
        bool negative = false;
        if (!ReadInteger(p, width, base, &v, &negative)) goto done;
        if (!skip) {
          switch (size) {
            case Size::kChar: *va_arg(ap, char*) = char(v); break;
            case Size::kShort: *va_arg(ap, int16_t*) = int16_t(v); break;
            case Size::kInt: *va_arg(ap, int32_t*) = int32_t(v); break;
            case Size::kLong64: *va_arg(ap, int64_t*) = int64_t(v); break;
          }
          ++stored;
        }
        break;
      }
      case u'f': case u'e': case u'g': case u'E': case u'G': {
        double v = 0;
        if (!ReadReal(p, width, &v)) goto done;
        if (!skip) {
          if (wide_real) *va_arg(ap, double*) = v;
          else *va_arg(ap, float*) = float(v);
          ++stored;
        }
        break;
      }
      case u's': case u'S': case u'c': case u'C': {
        const bool is_char = conv == u'c' || conv == u'C';
        // In a wide format, lower case is UTF-16 and upper case 8-bit; h and
        // l force the width.
        bool narrow = conv == u'S' || conv == u'C';
        if (narrow_text) narrow = true;
        if (wide_text) narrow = false;
        const size_t count = is_char ? (width == 0 ? 1 : width) : width;
        void* out = skip ? nullptr : va_arg(ap, void*);
        const size_t capacity = skip ? 0 : va_arg(ap, size_t);
        size_t n = 0;
        const char16_t* q = p;
        while (*q != 0 && (count == 0 || n < count) && (is_char || !IsSpace(*q))) {
          ++q;
          ++n;
        }
        if (is_char && n < count) goto done;
        if (!skip) {
          const size_t needed = is_char ? n : n + 1;
          if (out == nullptr || capacity < needed) goto done;
          for (size_t i = 0; i < n; ++i) {
            if (narrow) {
              static_cast<char*>(out)[i] = p[i] <= 0xFF ? char(p[i]) : '?';
            } else {
              static_cast<char16_t*>(out)[i] = p[i];
            }
          }
          if (!is_char) {
            if (narrow) static_cast<char*>(out)[n] = 0;
            else static_cast<char16_t*>(out)[n] = 0;
          }
          ++stored;
        }
        p = q;
        break;
      }
      default:
        goto done;
    }
  }
done:
  va_end(ap);
  return stored;
}
