#include "driver/core/support/text_helpers.h"

#include <cstring>
#include <vector>

#include "support/frame/host_services.h"
#include "support/frame/module_services.h"
#include "support/platform/codepage.h"
#include "support/platform/text16.h"

namespace {

// The characters Windows-1252 places at 0x80..0x9F, by byte; 0 where the
// code page leaves the byte undefined.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr uint32_t kNoCaseNoAccent = qg::kCompareIgnoreCase | qg::kCompareIgnoreNonSpace;

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

template <class Char>
void UnescapeQuotes(Char* text) {
  if (text == nullptr) return;
  size_t n = 0;
  while (text[n] != 0) ++n;
  // From the end: when a quote follows a quote or a backslash, drop that
  // preceding character and go on before it.
  for (size_t i = n; i >= 2; --i) {
    const size_t at = i - 1;
    if (text[at] == Char('\'') && (text[at - 1] == Char('\'') || text[at - 1] == Char('\\'))) {
      std::memmove(text + at - 1, text + at, (n - at + 1) * sizeof(Char));
      --n;
      --i;  // the removed character is not looked at again
    }
  }
}

template <class Char>
void Escape(const Char* source, std::basic_string<Char>& out, const NAEscapeOptions& o, Char e) {
  if (source == nullptr) return;
  for (size_t i = 0; source[i] != 0; ++i) {
    const Char c = source[i];
    if (c == Char('\'')) {
      out.append(o.bDoubleQuotes ? 2 : 1, c);
    } else if (c == e) {
      const Char next = source[i + 1];
      if (next == Char('%') || next == Char('_')) {
        const bool widen = next == Char('%') ? o.bWidenEscapePercent : o.bWidenEscapeUnderscore;
        const bool plain = next == Char('%') ? o.bEscapePercent : o.bEscapeUnderscore;
        out += e;
        if (widen) out += e;
        if (widen && plain) out += e;
        out += next;
        ++i;
      } else if (next == e) {
        out.append(o.bWidenEscapeEscape ? 4 : 2, e);
        ++i;
      } else {
        out.append(2, e);  // the next character is taken on its own
      }
    } else if (c == Char('\\')) {
      out.append(o.bDoubleBackslashes ? 2 : 1, c);
    } else if (c == Char('%')) {
      if (o.bEscapePercent) out += e;
      out += c;
    } else if (c == Char('_')) {
      if (o.bEscapeUnderscore) out += e;
      out += c;
    } else {
      out += c;
    }
  }
}

}  // namespace

uint32_t nCharsetToCodePage(uint32_t charset) {
  switch (charset) {
    case 0:
    case 255: return 1252;
    case 2: return 42;
    case 10: return 1200;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 1200:
    case 1201:
    case 12000:
    case 12001:
    case 65001: return charset;
    default: return 0;
  }
}

bool bWideToCP1252(char16_t c, uint8_t* byte) {
  uint8_t b = 0;
  bool found = false;
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    b = uint8_t(c);
    found = true;
  } else if (c > 0xFF) {
    for (int i = 0; i < 32; ++i) {
      if (kCp1252High[i] == c) {
        b = uint8_t(0x80 + i);
        found = true;
        break;
      }
    }
  }
  if (found && byte != nullptr) *byte = b;
  return found;
}

bool bIsCP1252Text(const char16_t* text) {
  if (text == nullptr) return true;
  for (; *text != 0; ++text) {
    if (!bWideToCP1252(*text, nullptr)) return false;
  }
  return true;
}

bool bIsRepresentableInCodePage(const char16_t* text, uint32_t code_page) {
  if (text == nullptr || text[0] == 0) return true;
  if (code_page == qg::kCodePageUtf8) {
    // Every character has UTF-8 bytes; a surrogate without its other half
    // is no character and has none.
    for (const char16_t* p = text; *p != 0; ++p) {
      if (*p >= 0xD800 && *p <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
        ++p;
      } else if (*p >= 0xD800 && *p <= 0xDFFF) {
        return false;
      }
    }
    return true;
  }
  const int n = int(qg::StrLen16(text));
  bool used_default = false;
  const int needed = qg::WideToMultiByte(code_page, text, n, nullptr, 0, &used_default);
  return needed > 0 && !used_default;
}

char cWideToAnsiChar(char16_t c, uint32_t code_page) {
  char out[8] = {};
  bool used_default = false;
  const int n = qg::WideToMultiByte(code_page, &c, 1, out, sizeof out, &used_default);
  return n == 1 ? out[0] : '?';
}

int nCompareTextNoCaseNoAccent(const char16_t* a, const char16_t* b) {
  qg::IInfoLocale* locale = qg::Services().piInfoLocale;
  if (locale == nullptr) return qg::StrICmpLatin1_16(a, b);
  return locale->nCompare(qg::kLocaleUserDefault, kNoCaseNoAccent, a != nullptr ? a : u"", -1,
                          b != nullptr ? b : u"", -1);
}

int nCompareCharNoCaseNoAccent(qg::IInfoLocale* locale, char16_t a, char16_t b) {
  if (locale == nullptr) return int(qg::ToLowerLatin1_16(a)) - int(qg::ToLowerLatin1_16(b));
  return locale->nCompare(qg::kLocaleUserDefault, kNoCaseNoAccent, &a, 1, &b, 1);
}

void MapTextInPlace(qg::IInfoLocale* locale, uint32_t flags, char16_t* text) {
  if (locale == nullptr || text == nullptr) return;
  for (size_t i = 0; i < 0x3FFFFFFF && text[i] != 0; ++i) {
    text[i] = locale->cMapChar(qg::kLocaleUserDefault, flags, text[i]);
  }
}

qg::IInfoLocale* piGetHostCollation(qg::IInfoLocale* locale) {
  return locale != nullptr ? locale->piGetCollation() : nullptr;
}

int nGetHostLocaleNumber(qg::IInfoLocale* locale) {
  if (locale == nullptr) return 0;
  const int n = locale->nGetNumber();
  return n == 127 ? 0 : n;
}

const char* pszFindNoCaseA(const char* text, const char* pattern) {
  if (text == nullptr) return nullptr;
  if (pattern == nullptr || pattern[0] == 0) return text;
  const size_t m = std::strlen(pattern);
  for (const char* p = text; *p != 0; ++p) {
    size_t i = 0;
    while (i < m && p[i] != 0 && FoldAscii(p[i]) == FoldAscii(pattern[i])) ++i;
    if (i == m) return p;
  }
  return nullptr;
}

size_t nTextLengthBoundedW(const char16_t* text, size_t max) { return qg::StrNLen16(text, max); }

size_t nTextLengthBoundedA(const char* text, size_t max) {
  return text != nullptr ? strnlen(text, max) : 0;
}

int nCopyTextMax9(char* out, const char* text, int length) {
  if (out == nullptr) return 0;
  int n = 0;
  if (text != nullptr) {
    const int max = length < 0 || length > 9 ? 9 : length;
    while (n < max && (length >= 0 || text[n] != 0)) {
      out[n] = text[n];
      ++n;
    }
  }
  out[n] = 0;
  return n;
}

size_t AppendBoundedW(char16_t* buffer, size_t capacity, const char16_t* text) {
  if (buffer == nullptr || capacity == 0) return 0;
  size_t n = qg::StrNLen16(buffer, capacity - 1);
  if (text != nullptr) {
    for (; n + 1 < capacity && *text != 0; ++text) buffer[n++] = *text;
  }
  buffer[n] = 0;
  return n;
}

int nFindMariaDB(const char16_t* text) {
  static const char16_t kName[] = u"mariadb";
  const size_t n = qg::StrLen16(text);
  if (n < 7) return -1;
  for (size_t at = 0; at + 7 <= n; ++at) {
    if (qg::StrNICmpAscii16(text + at, kName, 7) == 0) return int(at);
  }
  return -1;
}

void JoinWithDash(CTString& out, const char16_t* first, const char16_t* second) {
  CTString joined(first);
  joined.Add(u" - ");
  joined.Add(second);
  out = std::move(joined);
}

void RemoveTrailingBlanks(CTString& text) {
  const char16_t* s = text.pszGet();
  size_t n = qg::StrLen16(s);
  while (n > 0 && s[n - 1] == u' ') --n;
  text.Set(s, n);
}

void AppendBlank(CTString& text) { text.Add(u" "); }

void EscapeTextW(const char16_t* source, std::u16string& out, const NAEscapeOptions& options,
                 char16_t e) {
  Escape(source, out, options, e);
}

std::u16string pszEscapeTextW(const char16_t* text, char16_t e) {
  std::u16string out;
  Escape(text, out, NAEscapeOptions(), e);
  return out;
}

std::string pszEscapeTextA(const char* text, char e) {
  std::string out;
  Escape(text, out, NAEscapeOptions(), e);
  return out;
}

std::u16string pszEscapeTextExW(const char16_t* text, char16_t e, const char16_t* percent1,
                                const char16_t* percent2, const char16_t* percent3,
                                const char16_t* underscore1, const char16_t* underscore2,
                                const char16_t* underscore3) {
  std::u16string out;
  if (text == nullptr) return out;
  auto add = [&out](const char16_t* s) {
    if (s != nullptr) out += s;
  };
  for (size_t i = 0; text[i] != 0; ++i) {
    const char16_t c = text[i];
    const char16_t next = c == e ? text[i + 1] : 0;
    if (c == e && next == u'%') {
      add(percent1);
      add(percent2);
      add(percent3);
      ++i;
    } else if (c == e && next == u'_') {
      add(underscore1);
      add(underscore2);
      add(underscore3);
      ++i;
    } else if (c == e && next == e) {
      out += e;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

void UnescapeQuotesW(char16_t* text) { UnescapeQuotes(text); }
void UnescapeQuotesA(char* text) { UnescapeQuotes(text); }
