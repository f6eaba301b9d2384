// The connection's SQL rendering: names, and (with the dual string) values,
// texts, dates and date-time expressions for its DBMS kind.
#include <string>

#include "driver/core/connection.h"

namespace {

size_t Len(const char16_t* s) { return s != nullptr ? std::char_traits<char16_t>::length(s) : 0; }

bool StartsWith(const char16_t* s, size_t n, const char16_t* prefix, size_t np) {
  return np > 0 && n >= np && std::char_traits<char16_t>::compare(s, prefix, np) == 0;
}

bool EqualsNoCase(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    char16_t ca = (*a >= u'a' && *a <= u'z') ? *a - 32 : *a;
    char16_t cb = (*b >= u'a' && *b <= u'z') ? *b - 32 : *b;
    if (ca != cb) return false;
    if (ca == 0) return true;
  }
}

// Whether the name is exactly one quoted identifier: the opening quote, a
// body in which every closing quote is doubled, the closing quote.
bool IsOneQuotedIdentifier(const char16_t* name, size_t n, const char16_t* open, size_t no,
                           const char16_t* close, size_t nc) {
  if (!StartsWith(name, n, open, no) || n < no + nc) return false;
  size_t i = no;
  while (i < n) {
    if (StartsWith(name + i, n - i, close, nc)) {
      if (i + nc == n) return true;  // the closing quote
      if (StartsWith(name + i + nc, n - i - nc, close, nc)) {
        i += 2 * nc;  // a doubled closing quote inside
        continue;
      }
      return false;  // a closing quote in the middle: more than one identifier
    }
    ++i;
  }
  return false;
}

// A character that may stand in a name written without quotes.
bool IsPlainNameCharacter(char16_t c) {
  if (c >= 0x80) return true;
  if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
    return true;
  }
  return c == u'_' || c == u'$' || c == u'#' || c == u'@' || c == u'.';
}

}  // namespace

bool CNAConnection::bNeedsQuotes(const char16_t* name) {
  if (m_strOpenQuote.bEstVide() && m_strCloseQuote.bEstVide()) return false;
  if (m_nDbmsKind != 1) return true;
  if (name == nullptr || name[0] == 0) return false;
  // A name already quoted is left as it is, but only when it is one quoted
  // name: one that merely begins with a quote could close it and go on.
  const size_t n = Len(name);
  if (name[0] == u'"' && IsOneQuotedIdentifier(name, n, u"\"", 1, u"\"", 1)) return false;
  if (name[0] == u'[' && IsOneQuotedIdentifier(name, n, u"[", 1, u"]", 1)) return false;
  if (name[0] == u'_') return true;
  for (const char16_t* p = name; *p != 0; ++p) {
    if (*p == u' ' || *p == 0x00B0 || *p == u'-') return true;
    // Quotes, separators and the like never go into the text bare.
    if (!IsPlainNameCharacter(*p)) return true;
  }
  return EqualsNoCase(name, u"GROUP") || EqualsNoCase(name, u"OPTION");
}

bool CNAConnection::bQuoteName(CNAError*, const char16_t* name, CTString* out) {
  size_t n = Len(name);
  if (!bNeedsQuotes(name)) {
    out->Set(name != nullptr ? name : u"", n);
    return true;
  }
  const char16_t* open = m_strOpenQuote.pszGet();
  const char16_t* close = m_strCloseQuote.pszGet();
  size_t no = Len(open), nc = Len(close);
  if (IsOneQuotedIdentifier(name, n, open, no, close, nc)) {
    out->Set(name, n);
    return true;
  }
  std::u16string text(open, no);
  for (size_t i = 0; i < n;) {
    if (StartsWith(name + i, n - i, close, nc)) {
      text.append(close, nc);
      text.append(close, nc);
      i += nc;
    } else {
      text += name[i++];
    }
  }
  text.append(close, nc);
  out->Set(text.c_str(), text.size());
  return true;
}

bool CNAConnection::bQuoteQualifiedName(CNAError* error, const char16_t* name, CTString* out) {
  size_t n = Len(name);
  const char16_t* open = m_strOpenQuote.pszGet();
  const char16_t* close = m_strCloseQuote.pszGet();
  size_t no = Len(open), nc = Len(close);
  std::u16string text;
  size_t start = 0;
  // Parts between full stops; a full stop inside a quoted part belongs to
  // that part.
  while (start <= n) {
    size_t end = start;
    if (no > 0 && StartsWith(name + start, n - start, open, no)) {
      end = start + no;
      while (end < n) {
        if (StartsWith(name + end, n - end, close, nc)) {
          if (StartsWith(name + end + nc, n - end - nc, close, nc)) {
            end += 2 * nc;
            continue;
          }
          end += nc;
          break;
        }
        ++end;
      }
      while (end < n && name[end] != u'.') ++end;
    } else {
      while (end < n && name[end] != u'.') ++end;
    }
    std::u16string part(name + start, end - start);
    CTString quoted;
    if (!bQuoteName(error, part.c_str(), &quoted)) return false;
    if (start > 0) text += u'.';
    text += quoted.pszGet();
    if (end >= n) break;
    start = end + 1;
  }
  out->Set(text.c_str(), text.size());
  return true;
}

void CNAConnection::SplitQualifiedName(const char16_t* name, CTString* qualifier,
                                       CTString* rest) {
  if (name == nullptr || name[0] == 0) return;
  const char16_t* dot = name;
  while (*dot != 0 && *dot != u'.') ++dot;
  if (*dot == 0) {
    rest->Set(name);
    return;
  }
  if (qualifier->bEstVide()) qualifier->Set(name, static_cast<size_t>(dot - name));
  rest->Set(dot + 1);
}

// ---- literals

#include <charconv>
#include <cmath>

#include "driver/core/dual_string.h"
#include "driver/core/any_access.h"
#include "support/any.h"
#include "support/platform/format.h"

namespace {

bool IsWideTextType(int32_t type) {
  return type == 16 || type == 20 || type == 81 || type == 110;
}

bool IsNumericType(int32_t type) { return (type >= 2 && type <= 9) || type == 14; }

void AppendHex(CDualString* out, const uint8_t* bytes, size_t n) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string text;
  text.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 15];
  }
  out->AddW(text.data(), static_cast<ptrdiff_t>(text.size()));
}

// The value's bytes for the binary and identifier forms.
bool ValueBytes(const CAny& value, std::string* bytes) {
  if (value.nGetCode() == 154) {
    uint8_t b[16];
    if (nNAGetUUID_128(value, b) != 0) return false;
    bytes->assign(reinterpret_cast<char*>(b), 16);
    return true;
  }
  if (value.nGetCode() == 155) {
    uint8_t b[32];
    if (nNAGetUUID_256(value, b) != 0) return false;
    bytes->assign(reinterpret_cast<char*>(b), 32);
    return true;
  }
  CXYString<char> bin;
  if (value.nGetBIN(&bin) >= 100) return false;
  bytes->assign(bin.pszGet(), static_cast<size_t>(bin.nTaille()));
  return true;
}

bool AllDigits(const std::u16string& text, size_t from, size_t n) {
  if (text.size() < from + n) return false;
  for (size_t i = from; i < from + n; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
  }
  return true;
}

int Num(const std::u16string& text, size_t from, size_t n) {
  int v = 0;
  for (size_t i = from; i < from + n; ++i) v = v * 10 + (text[i] - u'0');
  return v;
}

}  // namespace

void CNAConnection::BooleanLiteral(CDualString* out, bool value) {
  out->Clear();
  out->AddW(value ? u"1" : u"0");
}

bool CNAConnection::bFitValue(CNAError*, CAny&, int32_t) { return true; }

bool CNAConnection::bTextLiteral(CNAError* error, CDualString* out, int32_t type,
                                 const void* data, size_t size) {
  bool wide = IsWideTextType(type);
  std::u16string text;
  if (wide) {
    const auto* units = static_cast<const char16_t*>(data);
    size_t n = size / 2;
    while (n > 0 && units[n - 1] == 0) --n;  // trailing zero characters
    text.assign(units, n);
  } else {
    const auto* bytes = static_cast<const char*>(data);
    size_t n = 0;
    while (n < size && bytes[n] != 0) ++n;
    CDualString decode(CDualString::kUtf16, m_nLanguageCodePage);
    decode.nSetText(bytes, static_cast<ptrdiff_t>(n), m_nLanguageCodePage);
    text = decode.pszGetW();
  }
  if (text.empty()) {
    out->AddW(wide && m_nDbmsKind == 1 && m_nServerMajor <= 8 ? u"N''" : u"''");
    return true;
  }
  if (text.find(u'\\') != std::u16string::npos && m_nDbmsKind == 5) {
    // A kind-5 server may read backslashes as escapes: its back end
    // renders texts itself.
    return bUnsupported(error, u"text literal");
  }
  std::u16string literal(wide && (m_nDbmsKind == 1 || m_nDbmsKind == 2) ? u"N'" : u"'");
  for (char16_t c : text) {
    if (c == u'\'') literal += u'\'';
    literal += c;
  }
  literal += u'\'';
  out->AddW(literal.data(), static_cast<ptrdiff_t>(literal.size()));
  return true;
}

bool CNAConnection::bDateLiteral(CNAError* error, CDualString* out, const CAny& value, bool) {
  int32_t type = value.nGetCode();
  std::u16string digits;
  bool has_date = false, has_time = false;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  if (type == 26) {
    qg::AnyDateTime dt{};
    if (value.nGetDATETIME(&dt) >= 100) return bUnsupported(error, u"date");
    y = dt.nYear;
    mo = dt.nMonth;
    d = dt.nDay;
    uint32_t t = dt.nMilliseconds;
    h = static_cast<int>(t / 3600000);
    mi = static_cast<int>(t / 60000 % 60);
    s = static_cast<int>(t / 1000 % 60);
    ms = static_cast<int>(t % 1000);
    has_date = !(y == 0 && mo == 0 && d == 0) || true;
    has_time = true;
  } else {
    CXYString<char16_t> text;
    if (value.nGetTexte(&text) >= 100) return bUnsupported(error, u"date");
    digits.assign(text.pszGet(), static_cast<size_t>(text.nTaille()));
    bool is_time = type == 25 || type == 129;
    if (digits.empty()) {
      out->AddW(u"NULL");
      return true;
    }
    if (is_time) {
      if (!AllDigits(digits, 0, 6)) {
        NASetErrorMessage(error, 0, 1, 9, this, 11u, digits.c_str());
        return false;
      }
      h = Num(digits, 0, 2);
      mi = Num(digits, 2, 2);
      s = Num(digits, 4, 2);
      ms = AllDigits(digits, 6, 3) ? Num(digits, 6, 3) : 0;
      has_time = true;
    } else {
      if (!AllDigits(digits, 0, 8)) {
        NASetErrorMessage(error, 0, 1, 8, this, 11u, digits.c_str());
        return false;
      }
      y = Num(digits, 0, 4);
      mo = Num(digits, 4, 2);
      d = Num(digits, 6, 2);
      has_date = true;
    }
  }
  bool zero_date = has_date && y == 0 && mo == 0 && d == 0;
  // A day the month has (29 February in leap years only), as the server
  // would otherwise store a different day or refuse the row.
  static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  bool valid_date = zero_date || (mo >= 1 && mo <= 12 && d >= 1 &&
                                  d <= kMonthDays[mo - 1] + (mo == 2 && leap ? 1 : 0));
  bool valid_time = h < 24 && mi < 60 && s < 60;
  if ((has_date && !valid_date) || (has_time && !valid_time)) {
    NASetErrorMessage(error, 0, 1, has_date && !valid_date ? 8 : 9, this, 11u, u"date");
    return false;
  }
  std::u16string text;
  if (has_date && has_time) {
    if (m_nDbmsKind == 1) {
      text = qg::FormatString(u"TO_TIMESTAMP( '%04d%02d%02d%02d%02d%02d%03d', 'YYYYMMDDHH24MISSFF3')",
                              y, mo, d, h, mi, s, ms);
    } else if (m_nDbmsKind == 11) {
      text = qg::FormatString(u"DATETIME(%d-%d-%d %d:%d:%d.%d) YEAR TO FRACTION", y, mo, d, h, mi,
                              s, ms);
    } else {
      text = qg::FormatString(u"'%04d-%02d-%02d %02d:%02d:%02d.%03d'", y, mo, d, h, mi, s, ms);
    }
  } else if (has_date) {
    if (m_nDbmsKind == 1) {
      text = qg::FormatString(u"TO_DATE( '%04d%02d%02d', 'YYYYMMDD')", y, mo, d);
    } else if (m_nDbmsKind == 11) {
      text = qg::FormatString(u"MDY(%d,%d,%d)", mo, d, y);
    } else {
      text = qg::FormatString(u"'%04d-%02d-%02d'", y, mo, d);
    }
  } else {
    if (m_nDbmsKind == 1) {
      text = qg::FormatString(u"TO_TIMESTAMP( '%02d%02d%02d%03d', 'HH24MISSFF3')", h, mi, s, ms);
    } else if (m_nDbmsKind == 11) {
      text = qg::FormatString(u"DATETIME(%d:%d) HOUR TO MINUTE", h, mi);
    } else {
      text = qg::FormatString(u"'%02d:%02d:%02d.%03d'", h, mi, s, ms);
    }
  }
  out->AddW(text.data(), static_cast<ptrdiff_t>(text.size()));
  return true;
}

bool CNAConnection::bValueLiteral(CNAError* error, CDualString* out, const CAny& original,
                                  int32_t target_type, bool hex_binary) {
  if (original.bEstNull()) {
    out->AddW(u"NULL");
    return true;
  }
  CAny value(original);
  if (target_type != 0 && !bFitValue(error, value, target_type)) return false;
  int32_t type = value.nGetCode();
  bool binary = type == 28 || type == 29 || type == 30;
  if ((binary || type == 154 || type == 155) &&
      (!m_strBinaryPrefix.bEstVide() || (hex_binary && m_nDbmsKind == 5))) {
    std::string bytes;
    if (!ValueBytes(value, &bytes)) return bUnsupported(error, u"binary");
    if (m_nDbmsKind == 4 && binary && bytes.empty()) {
      out->AddW(u"''");
      return true;
    }
    if (type == 155 && m_nDbmsKind == 1) {
      out->AddW(u"CAST( '");
      AppendHex(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      out->AddW(u"' as RAW(32) )");
      return true;
    }
    if (type == 154 && m_nDbmsKind == 1) {
      out->AddW(u"CAST( '");
      AppendHex(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      out->AddW(u"' as RAW(16) )");
      return true;
    }
    if (type == 154 && (m_nDbmsKind == 2 || m_nDbmsKind == 6)) {
      char16_t guid[37];
      FormatGuid(reinterpret_cast<const uint8_t*>(bytes.data()), guid);
      out->AddW(u"'");
      out->AddW(guid);
      out->AddW(u"'");
      return true;
    }
    bool hex_form = hex_binary && m_nDbmsKind == 5;
    out->AddW(hex_form ? CTString(u"X'") : m_strBinaryPrefix);
    AppendHex(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    out->AddW(hex_form ? CTString(u"'") : m_strBinarySuffix);
    return true;
  }
  switch (type) {
    case 0:
      out->AddW(u"NULL");
      return true;
    case 1: {
      int32_t b = 0;
      value.nGetBOOL(&b);
      CDualString piece(out->nGetStorageCodePage(), out->nGetOutputCodePage());
      BooleanLiteral(&piece, b != 0);
      out->bAddDual(piece);
      return true;
    }
    case 24: case 25: case 26: case 128: case 129:
      return bDateLiteral(error, out, value, false);
    default:
      break;
  }
  if (type == 10 || type == 11 || type == 12 || type == 13 || IsNumericType(type)) {
    if (type == 11 || type == 12) {
      double r = 0;
      float f = 0;
      if (type == 11 ? value.nGetR4(&f) >= 100 : value.nGetR8(&r) >= 100) {
        return bUnsupported(error, u"number");
      }
      if (type == 11) r = f;
      if (!std::isfinite(r)) return bUnsupported(error, u"NaN");
      char buffer[64];
      auto done = type == 11 ? std::to_chars(buffer, buffer + sizeof(buffer), f)
                             : std::to_chars(buffer, buffer + sizeof(buffer), r);
      std::u16string t(buffer, done.ptr);
      out->AddW(t.data(), static_cast<ptrdiff_t>(t.size()));
      return true;
    }
    if (IsNumericType(type) && type != 14) {
      char buffer[32];
      std::to_chars_result done{};
      int status = 0;
      switch (type) {
        case 2: { uint8_t x = 0; status = value.nGetUI1(&x); done = std::to_chars(buffer, buffer + 32, x); break; }
        case 3: { uint16_t x = 0; status = value.nGetUI2(&x); done = std::to_chars(buffer, buffer + 32, x); break; }
        case 4: { uint32_t x = 0; status = value.nGetUI4(&x); done = std::to_chars(buffer, buffer + 32, x); break; }
        case 5: { uint64_t x = 0; status = value.nGetUI8(&x); done = std::to_chars(buffer, buffer + 32, x); break; }
        case 6: { int8_t x = 0; status = value.nGetI1(&x); done = std::to_chars(buffer, buffer + 32, static_cast<int>(x)); break; }
        case 7: { int16_t x = 0; status = value.nGetI2(&x); done = std::to_chars(buffer, buffer + 32, x); break; }
        case 8: { int32_t x = 0; status = value.nGetI4(&x); done = std::to_chars(buffer, buffer + 32, x); break; }
        default: { int64_t x = 0; status = value.nGetI8(&x); done = std::to_chars(buffer, buffer + 32, x); break; }
      }
      if (status >= 100) return bUnsupported(error, u"number");
      std::u16string t(buffer, done.ptr);
      out->AddW(t.data(), static_cast<ptrdiff_t>(t.size()));
      return true;
    }
    CXYString<char16_t> text;
    if (value.nGetTexte(&text) >= 100) return bUnsupported(error, u"number");
    std::u16string t(text.pszGet(), static_cast<size_t>(text.nTaille()));
    for (char16_t& c : t) {
      if (c == u',') c = u'.';
    }
    out->AddW(t.data(), static_cast<ptrdiff_t>(t.size()));
    return true;
  }
  // Every other value with a text is written quoted.
  if (type == 17 || type == 81) {
    char16_t c = 0;
    char a = 0;
    bool empty = type == 81 ? (value.nGetCARW(&c), c == 0) : (value.nGetCARA(&a), a == 0);
    if (empty) return bTextLiteral(error, out, type, u"", 0);
    if (type == 81) return bTextLiteral(error, out, type, &c, 2);
    return bTextLiteral(error, out, type, &a, 1);
  }
  if (type == 18 || type == 19 || type == 134 || (type >= 21 && type <= 23)) {
    const char* p = nullptr;
    CXYString<char> a;
    if (value.nGetDSTRA(&a) < 100) {
      p = a.pszGet();
      return bTextLiteral(error, out, 19, p, static_cast<size_t>(a.nTaille()));
    }
  }
  CXYString<char16_t> text;
  if (value.nGetTexte(&text) >= 100) return bUnsupported(error, u"value");
  return bTextLiteral(error, out, 16, text.pszGet(), static_cast<size_t>(text.nTaille()) * 2);
}

namespace {

std::u16string Wrap(const char16_t* prefix, const std::u16string& column, const char16_t* suffix) {
  return std::u16string(prefix) + column + suffix;
}

std::u16string Cut(int32_t kind, const std::u16string& expression, int digits, bool substring) {
  return std::u16string(substring ? u"SUBSTRING(" : u"SUBSTR(") + expression + u", 1, " +
         qg::FormatString(u"%d", digits) + u")";
  (void)kind;
}

std::u16string DateExpression(int32_t kind, const std::u16string& c) {
  switch (kind) {
    case 2: return Wrap(u"REPLACE(CONVERT(varchar(10),", c, u",20),'-','')");
    case 3: return Wrap(u"FORMAT(", c, u",'YYYYMMdd')");
    case 4: return Wrap(u"CONVERT(VARCHAR(8),", c, u",112)");
    case 5: return Wrap(u"DATE_FORMAT(", c, u",'%Y%m%d')");
    case 7: return Wrap(u"REPLACE(CHAR(DATE(", c, u")), '-', '')");
    case 11: return Wrap(u"TO_CHAR(", c, u",'%Y%m%d')");
    case 13: return Wrap(u"strftime('%Y%m%d',", c, u")");
    default: return Wrap(u"TO_CHAR(", c, u",'YYYYMMDD')");
  }
}

std::u16string TimeExpression(int32_t kind, const std::u16string& c, int digits) {
  std::u16string e;
  switch (kind) {
    case 2: e = Wrap(u"REPLACE(CONVERT(varchar(8),", c, u",108),':','')"); break;
    case 3: e = Wrap(u"FORMAT(", c, u",'HHmmss')"); break;
    case 4: e = Wrap(u"STUFF(STUFF(CONVERT(VARCHAR(8),", c, u",108), 3, 1, NULL), 5, 1, NULL)"); break;
    case 5: e = Wrap(u"TIME_FORMAT(", c, u",'%H%i%S')"); break;
    case 7: e = Wrap(u"REPLACE(CHAR(TIME(", c, u")), '.', '')"); break;
    case 11: e = Wrap(u"TO_CHAR(", c, u",'%H%M%S')"); break;
    case 13: e = Wrap(u"strftime('%H%M%S',", c, u")"); break;
    default: e = Wrap(u"TO_CHAR(", c, u",'HH24MISS')"); break;
  }
  if (digits < 6) e = Cut(kind, e, digits, kind >= 2 && kind <= 4);
  return e;
}

std::u16string HoursMinutesExpression(int32_t kind, const std::u16string& c) {
  switch (kind) {
    case 2: return TimeExpression(kind, c, 4);
    case 3: return Wrap(u"FORMAT(", c, u",'HHmm')");
    case 4: return Wrap(u"STUFF(CONVERT(VARCHAR(5),", c, u",108), 3, 1, NULL)");
    case 5: return Wrap(u"TIME_FORMAT(", c, u",'%H%i')");
    case 7: return Wrap(u"SUBSTR(REPLACE(CHAR(TIME(", c, u")), '.', ''), 1, 4)");
    case 11: return Wrap(u"TO_CHAR(", c, u",'%H%M')");
    case 13: return Wrap(u"strftime('%H%M',", c, u")");
    default: return Wrap(u"TO_CHAR(", c, u",'HH24MI')");
  }
}

std::u16string TimeMillisecondsExpression(int32_t kind, int32_t major, const std::u16string& c,
                                          int digits) {
  std::u16string e;
  switch (kind) {
    case 2: e = Wrap(u"REPLACE(REPLACE(CONVERT(varchar(12),", c, u",114),':',''),'.','')"); break;
    case 3:
      return Wrap(u"(FORMAT(", c, u",'HHmmss')") +
             (digits == 7 ? u" + '0'" : digits == 8 ? u" + '00'" : u" + '000'") + u")";
    case 4:
      e = u"STUFF(STUFF(CONVERT(VARCHAR(8)," + c +
          u",108), 3, 1, NULL), 5, 1, NULL)+SUBSTRING(CONVERT(CHAR(4), 1000+DATEPART(ms," + c +
          u")),2,4)";
      break;
    case 5: return Cut(kind, Wrap(u"TIME_FORMAT(", c, u",'%H%i%S%f')"), digits, false);
    case 6: e = Wrap(u"TO_CHAR(", c, u",'HH24MISSMS')"); break;
    case 7: e = Wrap(u"SUBSTR(REPLACE(REPLACE(CHAR(TIMESTAMP_ISO(", c, u")), '-', ''), '.', ''),9,9)"); break;
    case 8: e = Wrap(u"TO_CHAR(", c, u",'HH24MISSMLS')"); break;
    case 11:
      return Wrap(u"TO_CHAR(", c, u",'%H%M%S%F") + qg::FormatString(u"%d", digits - 6) + u"')";
    case 13: e = Wrap(u"REPLACE(strftime('%H%M%f',", c, u"),'.','')"); break;
    default:
      e = major < 9 ? Wrap(u"(TO_CHAR(", c, u",'HH24MISS')+'000')")
                    : Wrap(u"TO_CHAR( CAST(", c, u" AS TIMESTAMP),'HH24MISSFF3')");
      break;
  }
  if (digits < 9) e = Cut(kind, e, digits, kind == 2 || kind == 4);
  return e;
}

std::u16string DateTimeExpression(int32_t kind, int32_t major, const std::u16string& c) {
  switch (kind) {
    case 2:
      return Wrap(u"REPLACE(REPLACE(REPLACE(REPLACE(CONVERT(varchar(10),", c,
                  u",20),'-',''),' ',''),':',''),'.','')");
    case 3: return Wrap(u"(FORMAT(", c, u",'YYYYMMddHHmmss') + '000')");
    case 4:
      return u"(CONVERT(VARCHAR(8)," + c + u",112)+STUFF(STUFF(CONVERT(VARCHAR(8)," + c +
             u",108), 3, 1, NULL), 5, 1, NULL)+SUBSTRING(CONVERT(CHAR(4), 1000+DATEPART(ms," + c +
             u")),2,4))";
    case 5: return Wrap(u"SUBSTR(DATE_FORMAT(", c, u",'%Y%m%d%H%i%S%f'), 1, 17)");
    case 6: return Wrap(u"TO_CHAR(", c, u",'YYYYMMDDHH24MISSMS')");
    case 7:
      return Wrap(u"SUBSTR(REPLACE(REPLACE(CHAR(TIMESTAMP_ISO(", c,
                  u")), '-', ''), '.', ''),1,17)");
    case 8: return Wrap(u"TO_CHAR(", c, u",'YYYYMMDDHH24MISSMLS')");
    case 11: return Wrap(u"TO_CHAR(", c, u",'%Y%m%d%H%M%S%F3')");
    case 13: return Wrap(u"REPLACE(strftime('%Y%m%d%H%M%f',", c, u"),'.','')");
    default:
      return major < 9 ? Wrap(u"(TO_CHAR(", c, u",'YYYYMMDDHH24MISS')+'000')")
                       : Wrap(u"TO_CHAR( CAST(", c, u" AS TIMESTAMP),'YYYYMMDDHH24MISSFF3')");
  }
}

}  // namespace

bool CNAConnection::bGetDateTimeExpression(CTString* out, const char16_t* column,
                                           int32_t host_type, int32_t subtype) {
  std::u16string c(column != nullptr ? column : u"");
  std::u16string e = c;
  int32_t kind = m_nDbmsKind;
  if (host_type == 14) {
    e = DateExpression(kind, c);
  } else if (host_type == 24) {
    e = DateTimeExpression(kind, m_nServerMajor, c);
  } else if (host_type == 11) {
    if (subtype == 5) {
      e = HoursMinutesExpression(kind, c);
    } else if (subtype == 6 || subtype == 7) {
      e = TimeExpression(kind, c, subtype == 6 ? 5 : 6);
    } else if (subtype >= 8 && subtype <= 10) {
      e = TimeMillisecondsExpression(kind, m_nServerMajor, c, subtype - 1);
    }
  }
  out->Set(e.c_str(), e.size());
  return true;
}
