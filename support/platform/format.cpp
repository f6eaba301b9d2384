#include "support/platform/format.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "support/platform/text16.h"

namespace qg {

namespace {

// ---------------------------------------------------------------- output

// Where the text goes: counted only, a bounded buffer, or a growing string.
// len_ counts every unit produced, also those a full buffer dropped.
template <typename C>
class Sink {
 public:
  Sink() : mode_(kCount) {}
  Sink(C* buf, size_t capacity)
      : mode_(kBuffer), buf_(buf), room_(capacity ? capacity - 1 : 0) {}
  explicit Sink(std::basic_string<C>* str) : mode_(kString), str_(str) {}

  size_t len() const { return len_; }

  void Put(C c) {
    if (mode_ == kString) {
      str_->push_back(c);
    } else if (mode_ == kBuffer && len_ < room_) {
      buf_[len_] = c;
    }
    ++len_;
  }

  void Put(const C* s, size_t n) {
    if (mode_ == kString) {
      str_->append(s, n);
    } else if (mode_ == kBuffer && len_ < room_) {
      size_t k = room_ - len_ < n ? room_ - len_ : n;
      std::memcpy(buf_ + len_, s, k * sizeof(C));
    }
    len_ += n;
  }

  void Fill(C c, size_t n) {
    if (mode_ == kString) {
      str_->append(n, c);
    } else if (mode_ == kBuffer && len_ < room_) {
      size_t k = room_ - len_ < n ? room_ - len_ : n;
      for (size_t i = 0; i < k; ++i) buf_[len_ + i] = c;
    }
    len_ += n;
  }

  // Text of the other width (or ASCII digits): narrow to wide widens byte
  // for byte; wide to narrow keeps U+0000..U+00FF, '?' for the rest.
  template <typename D>
  void PutOther(const D* s, size_t n) {
    if constexpr (std::is_same_v<C, D>) {
      Put(s, n);
    } else {
      if (mode_ == kString) str_->reserve(str_->size() + n);
      for (size_t i = 0; i < n; ++i) Put(Convert(s[i]));
    }
  }

  static C Convert(char c) { return static_cast<C>(static_cast<unsigned char>(c)); }
  static C Convert(char16_t c) {
    if constexpr (sizeof(C) == 1) {
      return c <= 0xFF ? static_cast<C>(c) : static_cast<C>('?');
    } else {
      return c;
    }
  }

  // Terminates a bounded buffer; true when everything fit.
  bool Finish() {
    if (mode_ != kBuffer) return true;
    size_t end = len_ < room_ ? len_ : room_;
    buf_[end] = 0;
    return len_ <= room_;
  }

 private:
  enum Mode { kCount, kBuffer, kString };
  Mode mode_;
  C* buf_ = nullptr;
  size_t room_ = 0;
  std::basic_string<C>* str_ = nullptr;
  size_t len_ = 0;
};

// ------------------------------------------------------------- directives

enum class Size : uint8_t { kDefault, kHH, kH, kL, kLL, k64, k32, kPtr };

struct Spec {
  bool valid = false;
  bool left = false, plus = false, space = false, zero = false, alt = false;
  bool width_star = false, prec_star = false;
  int width = 0;
  int prec = -1;  // -1: none
  Size size = Size::kDefault;
  char conv = 0;
};

inline bool IsConversion(char c) {
  switch (c) {
    case 'c': case 'C': case 's': case 'S': case 'd': case 'i': case 'u':
    case 'x': case 'X': case 'o': case 'f': case 'e': case 'E':
    case 'g': case 'G': case 'p': case 'n': case '%':
      return true;
    default:
      return false;
  }
}

template <typename C>
const C* ParseNumber(const C* p, int* out) {
  int v = 0;
  while (*p >= '0' && *p <= '9') {
    int d = *p - '0';
    v = v > (INT_MAX - d) / 10 ? INT_MAX : v * 10 + d;
    ++p;
  }
  *out = v;
  return p;
}

// Parses the directive whose '%' lies just before p. Returns the position
// after it: after the conversion character, or at the terminator when the
// format ends inside the directive. s->valid tells whether a known
// conversion ended it.
template <typename C>
const C* ParseSpec(const C* p, Spec* s) {
  for (;; ++p) {
    C c = *p;
    if (c == '-') s->left = true;
    else if (c == '+') s->plus = true;
    else if (c == ' ') s->space = true;
    else if (c == '0') s->zero = true;
    else if (c == '#') s->alt = true;
    else break;
  }
  if (*p == '*') {
    s->width_star = true;
    ++p;
  } else {
    p = ParseNumber(p, &s->width);
  }
  if (*p == '.') {
    ++p;
    if (*p == '*') {
      s->prec_star = true;
      ++p;
    } else {
      p = ParseNumber(p, &s->prec);
    }
  }
  for (;;) {
    C c = *p;
    if (c == 'F' || c == 'N' || c == 'L') {
      ++p;
    } else if (c == 'h') {
      if (p[1] == 'h') {
        s->size = Size::kHH;
        p += 2;
      } else {
        s->size = Size::kH;
        ++p;
      }
    } else if (c == 'l') {
      if (p[1] == 'l') {
        s->size = Size::kLL;
        p += 2;
      } else {
        s->size = Size::kL;
        ++p;
      }
    } else if (c == 'I') {
      if (p[1] == '6' && p[2] == '4') {
        s->size = Size::k64;
        p += 3;
      } else if (p[1] == '3' && p[2] == '2') {
        s->size = Size::k32;
        p += 3;
      } else {
        s->size = Size::kPtr;
        ++p;
      }
    } else if (c == 'z') {
      s->size = Size::kPtr;
      ++p;
    } else {
      break;
    }
  }
  C c = *p;
  if (c == 0) return p;
  s->conv = static_cast<char>(c);
  s->valid = c < 0x80 && IsConversion(static_cast<char>(c));
  return p + 1;
}

unsigned IntegerBits(Size size) {
  switch (size) {
    case Size::kHH: return 8;
    case Size::kH: return 16;
    case Size::kLL:
    case Size::k64: return 64;
    case Size::kPtr: return sizeof(void*) * 8;
    default: return 32;
  }
}

// Whether a text or character conversion reads wide text, as the Windows
// runtime decides it from the format's width, the case and the prefix.
bool WideText(const Spec& s, bool wide_format) {
  if (s.size == Size::kH || s.size == Size::kHH) return false;
  if (s.size == Size::kL || s.size == Size::kLL) return true;
  bool upper = s.conv == 'S' || s.conv == 'C';
  return wide_format ? !upper : upper;
}

bool IsFloat(char c) {
  return c == 'f' || c == 'e' || c == 'E' || c == 'g' || c == 'G';
}
bool IsSignedInt(char c) { return c == 'd' || c == 'i'; }
bool IsUnsignedInt(char c) { return c == 'u' || c == 'x' || c == 'X' || c == 'o'; }

// -------------------------------------------------------- argument values

const FormatArg kNoArg;

class ArgCursor {
 public:
  explicit ArgCursor(FormatArgs args) : args_(args) {}
  const FormatArg& Next() {
    return next_ < args_.size ? args_.data[next_++] : kNoArg;
  }

 private:
  FormatArgs args_;
  size_t next_ = 0;
};

uint64_t PointerBits(const FormatArg& a) {
  switch (a.kind()) {
    case FormatArg::Kind::kStr8: return reinterpret_cast<uintptr_t>(a.str8());
    case FormatArg::Kind::kStr16: return reinterpret_cast<uintptr_t>(a.str16());
    case FormatArg::Kind::kPtr: return reinterpret_cast<uintptr_t>(a.ptr());
    default: return 0;
  }
}

// The argument as the integer a directive of the given width reads: the
// low `bits` bits, which the caller sign-extends or masks.
uint64_t IntegerValue(const FormatArg& a, bool is_signed, unsigned bits) {
  switch (a.kind()) {
    case FormatArg::Kind::kInt: return static_cast<uint64_t>(a.int_value());
    case FormatArg::Kind::kUInt: return a.uint_value();
    case FormatArg::Kind::kDouble: {
      double d = std::trunc(a.double_value());
      if (std::isnan(d)) return 0;
      if (is_signed) {
        double hi = std::ldexp(1.0, static_cast<int>(bits) - 1);
        int64_t max = bits == 64 ? INT64_MAX : (int64_t{1} << (bits - 1)) - 1;
        int64_t min = bits == 64 ? INT64_MIN : -(int64_t{1} << (bits - 1));
        if (d >= hi) return static_cast<uint64_t>(max);
        if (d < -hi) return static_cast<uint64_t>(min);
        return static_cast<uint64_t>(static_cast<int64_t>(d));
      }
      if (d <= 0) return 0;
      if (d >= std::ldexp(1.0, static_cast<int>(bits))) {
        return bits == 64 ? UINT64_MAX : (uint64_t{1} << bits) - 1;
      }
      return static_cast<uint64_t>(d);
    }
    case FormatArg::Kind::kNone: return 0;
    default: return PointerBits(a);
  }
}

double FloatValue(const FormatArg& a) {
  switch (a.kind()) {
    case FormatArg::Kind::kDouble: return a.double_value();
    case FormatArg::Kind::kInt: return static_cast<double>(a.int_value());
    case FormatArg::Kind::kUInt: return static_cast<double>(a.uint_value());
    default: return 0.0;
  }
}

// A width or precision given by '*': the Windows runtime reads an int.
int StarValue(const FormatArg& a) {
  return static_cast<int>(static_cast<uint32_t>(IntegerValue(a, true, 32)));
}

// ------------------------------------------------------------- conversions

// Writes sign/prefix, leading zeros, body and the padding the width asks
// for. zero_pad: '0' flag in force (zeros go between prefix and body).
// inner_zeros are written inside the body, before body[split].
template <typename C>
void PutPadded(Sink<C>& out, const Spec& s, const char* prefix,
               size_t prefix_len, size_t zeros, const char* body,
               size_t body_len, bool zero_pad, size_t split = SIZE_MAX,
               size_t inner_zeros = 0) {
  if (split > body_len) split = body_len;
  size_t total = prefix_len + zeros + body_len + inner_zeros;
  size_t pad = static_cast<size_t>(s.width) > total ? s.width - total : 0;
  if (!s.left && !zero_pad) out.Fill(static_cast<C>(' '), pad);
  out.PutOther(prefix, prefix_len);
  out.Fill(static_cast<C>('0'), zeros + (!s.left && zero_pad ? pad : 0));
  out.PutOther(body, split);
  out.Fill(static_cast<C>('0'), inner_zeros);
  out.PutOther(body + split, body_len - split);
  if (s.left) out.Fill(static_cast<C>(' '), pad);
}

template <typename C>
void PutInteger(Sink<C>& out, const Spec& s, const FormatArg& a) {
  bool is_signed = IsSignedInt(s.conv);
  unsigned bits = s.conv == 'p' ? sizeof(void*) * 8 : IntegerBits(s.size);
  uint64_t raw = s.conv == 'p' ? IntegerValue(a, false, 64)
                               : IntegerValue(a, is_signed, bits);
  uint64_t mask = bits == 64 ? UINT64_MAX : (uint64_t{1} << bits) - 1;
  raw &= mask;
  bool neg = false;
  uint64_t mag = raw;
  if (is_signed && bits < 64 && (raw >> (bits - 1)) & 1) {
    neg = true;
    mag = (~raw + 1) & mask;
  } else if (is_signed && bits == 64 && static_cast<int64_t>(raw) < 0) {
    neg = true;
    mag = ~raw + 1;
  }

  int base = 10;
  if (s.conv == 'x' || s.conv == 'X' || s.conv == 'p') base = 16;
  else if (s.conv == 'o') base = 8;
  char digits[24];
  size_t nd = static_cast<size_t>(
      std::to_chars(digits, digits + sizeof digits, mag, base).ptr - digits);
  if (s.conv == 'X' || s.conv == 'p') {
    for (size_t i = 0; i < nd; ++i) {
      if (digits[i] >= 'a') digits[i] = static_cast<char>(digits[i] - 'a' + 'A');
    }
  }
  int prec = s.conv == 'p' ? static_cast<int>(sizeof(void*) * 2) : s.prec;
  if (prec == 0 && mag == 0) nd = 0;
  size_t zeros = prec > 0 && static_cast<size_t>(prec) > nd ? prec - nd : 0;

  char prefix[2];
  size_t prefix_len = 0;
  if (is_signed) {
    if (neg) prefix[prefix_len++] = '-';
    else if (s.plus) prefix[prefix_len++] = '+';
    else if (s.space) prefix[prefix_len++] = ' ';
  }
  if (s.alt) {
    if (s.conv == 'o') {
      if (zeros == 0 && (nd == 0 || digits[0] != '0')) zeros = 1;
    } else if ((s.conv == 'x' || s.conv == 'X' || s.conv == 'p') && mag != 0) {
      prefix[0] = '0';
      prefix[1] = s.conv == 'x' ? 'x' : 'X';
      prefix_len = 2;
    }
  }
  PutPadded(out, s, prefix, prefix_len, zeros, digits, nd,
            s.zero && prec < 0);
}

// Decimal exponent of a scientific text "d.ddde+XX".
int ExponentOf(const char* begin, const char* end) {
  const char* e = begin;
  while (e < end && *e != 'e') ++e;
  int x = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), end, x);
  return x;
}

template <typename C>
void PutFloat(Sink<C>& out, const Spec& s, const FormatArg& a) {
  double v = FloatValue(a);
  bool upper = s.conv == 'E' || s.conv == 'G';
  char kind = static_cast<char>(upper ? s.conv - 'A' + 'a' : s.conv);
  char sign[1];
  size_t sign_len = 0;
  if (std::signbit(v)) sign[sign_len++] = '-';
  else if (s.plus) sign[sign_len++] = '+';
  else if (s.space) sign[sign_len++] = ' ';
  v = std::fabs(v);

  if (!std::isfinite(v)) {
    const char* word = std::isnan(v) ? (upper ? "NAN" : "nan")
                                     : (upper ? "INF" : "inf");
    PutPadded(out, s, sign, sign_len, 0, word, 3, false);
    return;
  }

  int prec = s.prec < 0 ? 6 : s.prec;
  // Every double is exact within 1074 decimals (767 significant digits):
  // digits asked beyond kMaxDigits are zeros, written without computing.
  constexpr int kMaxDigits = 1100;
  size_t extra = 0;
  if (prec > kMaxDigits) {
    if (kind != 'g' || s.alt) extra = static_cast<size_t>(prec - kMaxDigits);
    prec = kMaxDigits;
  }
  // Largest text: 309 integer digits, the point, prec decimals, exponent.
  constexpr size_t kNeed = kMaxDigits + 330;
  char local[512];
  std::unique_ptr<char[]> heap;
  char* buf = local;
  size_t need = static_cast<size_t>(prec) + 330;
  if (need > sizeof local) {
    heap.reset(new char[kNeed]);
    buf = heap.get();
  }
  char* end = buf;
  if (kind == 'f') {
    end = std::to_chars(buf, buf + need, v, std::chars_format::fixed, prec).ptr;
    if (s.alt && prec == 0) *end++ = '.';
  } else if (kind == 'e') {
    end = std::to_chars(buf, buf + need, v, std::chars_format::scientific, prec).ptr;
    if (s.alt && prec == 0) {
      std::memmove(buf + 2, buf + 1, static_cast<size_t>(end - buf - 1));
      buf[1] = '.';
      ++end;
    }
  } else {  // 'g'
    int p = prec == 0 ? 1 : prec;
    if (!s.alt) {
      end = std::to_chars(buf, buf + need, v, std::chars_format::general, p).ptr;
    } else {
      // Trailing zeros kept and the point always written.
      end = std::to_chars(buf, buf + need, v, std::chars_format::scientific, p - 1).ptr;
      int x = ExponentOf(buf, end);
      if (p > x && x >= -4) {
        end = std::to_chars(buf, buf + need, v, std::chars_format::fixed, p - 1 - x).ptr;
        if (std::memchr(buf, '.', static_cast<size_t>(end - buf)) == nullptr) *end++ = '.';
      } else if (p == 1) {
        std::memmove(buf + 2, buf + 1, static_cast<size_t>(end - buf - 1));
        buf[1] = '.';
        ++end;
      }
    }
  }
  if (upper) {
    for (char* q = buf; q < end; ++q) {
      if (*q == 'e') *q = 'E';
    }
  }
  size_t len = static_cast<size_t>(end - buf);
  const void* e = std::memchr(buf, upper ? 'E' : 'e', len);
  size_t split = e ? static_cast<size_t>(static_cast<const char*>(e) - buf) : len;
  PutPadded(out, s, sign, sign_len, 0, buf, len, s.zero, split, extra);
}

template <typename C>
void PutChar(Sink<C>& out, const Spec& s, const FormatArg& a) {
  uint64_t raw = IntegerValue(a, false, 32);
  bool wide = WideText(s, sizeof(C) == 2);
  size_t pad = s.width > 1 ? static_cast<size_t>(s.width) - 1 : 0;
  C pad_char = static_cast<C>(s.zero && !s.left ? '0' : ' ');
  if (!s.left) out.Fill(pad_char, pad);
  if (wide) {
    out.Put(Sink<C>::Convert(static_cast<char16_t>(raw & 0xFFFF)));
  } else {
    out.Put(Sink<C>::Convert(static_cast<char>(raw & 0xFF)));
  }
  if (s.left) out.Fill(static_cast<C>(' '), pad);
}

size_t TextLength(const char* s, int prec) {
  return prec >= 0 ? strnlen(s, static_cast<size_t>(prec)) : std::strlen(s);
}
size_t TextLength(const char16_t* s, int prec) {
  return prec >= 0 ? StrNLen16(s, static_cast<size_t>(prec)) : StrLen16(s);
}

template <typename C, typename D>
void PutTextOf(Sink<C>& out, const Spec& s, const D* text) {
  size_t n = TextLength(text, s.prec);
  size_t pad = static_cast<size_t>(s.width) > n ? s.width - n : 0;
  C pad_char = static_cast<C>(s.zero && !s.left ? '0' : ' ');
  if (!s.left) out.Fill(pad_char, pad);
  out.PutOther(text, n);
  if (s.left) out.Fill(static_cast<C>(' '), pad);
}

template <typename C>
void PutText(Sink<C>& out, const Spec& s, const FormatArg& a) {
  if (a.kind() == FormatArg::Kind::kStr8 && a.str8() != nullptr) {
    PutTextOf(out, s, a.str8());
  } else if (a.kind() == FormatArg::Kind::kStr16 && a.str16() != nullptr) {
    PutTextOf(out, s, a.str16());
  } else {
    PutTextOf(out, s, "(null)");
  }
}

// --------------------------------------------------------------- the walk

template <typename C>
const C* FindPercent(const C* p) {
  if constexpr (sizeof(C) == 1) {
    const char* q = std::strchr(p, '%');
    return q ? q : p + std::strlen(p);
  } else {
    while (*p && *p != '%') ++p;
    return p;
  }
}

template <typename C>
void Run(Sink<C>& out, const C* fmt, FormatArgs args) {
  if (fmt == nullptr) return;
  ArgCursor cursor(args);
  while (*fmt) {
    const C* pct = FindPercent(fmt);
    out.Put(fmt, static_cast<size_t>(pct - fmt));
    if (*pct == 0) break;
    Spec s;
    const C* end = ParseSpec(pct + 1, &s);
    fmt = end;
    if (!s.valid) {
      out.Put(pct, static_cast<size_t>(end - pct));
      continue;
    }
    if (s.width_star) {
      int w = StarValue(cursor.Next());
      if (w < 0) {
        s.left = true;
        w = w == INT_MIN ? INT_MAX : -w;
      }
      s.width = w;
    }
    if (s.prec_star) {
      int p = StarValue(cursor.Next());
      s.prec = p < 0 ? -1 : p;
    }
    switch (s.conv) {
      case '%':
        out.Put(static_cast<C>('%'));
        break;
      case 'n':
        cursor.Next();
        out.Put(pct, static_cast<size_t>(end - pct));
        break;
      case 'c': case 'C':
        PutChar(out, s, cursor.Next());
        break;
      case 's': case 'S':
        PutText(out, s, cursor.Next());
        break;
      case 'f': case 'e': case 'E': case 'g': case 'G':
        PutFloat(out, s, cursor.Next());
        break;
      default:  // d i u x X o p
        PutInteger(out, s, cursor.Next());
        break;
    }
  }
}

template <typename C>
int BoundedResult(Sink<C>& sink) {
  bool fit = sink.Finish();
  if (!fit || sink.len() > static_cast<size_t>(INT_MAX)) return -1;
  return static_cast<int>(sink.len());
}

// Reads the C variable arguments a format names into a typed list, the
// way the Windows runtime fetches them.
template <typename C>
class VaArgs {
 public:
  VaArgs(const C* fmt, va_list ap) {
    if (fmt == nullptr) return;
    const C* p = fmt;
    while (*(p = FindPercent(p))) {
      Spec s;
      p = ParseSpec(p + 1, &s);
      if (!s.valid) continue;
      if (s.width_star) Add(FormatArg(va_arg(ap, int)));
      if (s.prec_star) Add(FormatArg(va_arg(ap, int)));
      char c = s.conv;
      if (c == '%') continue;
      if (IsSignedInt(c)) {
        if (IntegerBits(s.size) == 64) Add(FormatArg(va_arg(ap, long long)));
        else Add(FormatArg(va_arg(ap, int)));
      } else if (IsUnsignedInt(c)) {
        if (IntegerBits(s.size) == 64) Add(FormatArg(va_arg(ap, unsigned long long)));
        else Add(FormatArg(va_arg(ap, unsigned int)));
      } else if (c == 'c' || c == 'C') {
        Add(FormatArg(va_arg(ap, int)));
      } else if (c == 's' || c == 'S') {
        if (WideText(s, sizeof(C) == 2)) Add(FormatArg(va_arg(ap, const char16_t*)));
        else Add(FormatArg(va_arg(ap, const char*)));
      } else if (IsFloat(c)) {
        Add(FormatArg(va_arg(ap, double)));
      } else {  // p, n
        Add(FormatArg(va_arg(ap, const void*)));
      }
    }
  }

  FormatArgs args() const {
    return heap_.empty() ? FormatArgs{local_, count_}
                         : FormatArgs{heap_.data(), heap_.size()};
  }

 private:
  static constexpr size_t kLocal = 24;

  void Add(const FormatArg& a) {
    if (count_ < kLocal) {
      local_[count_++] = a;
      return;
    }
    if (heap_.empty()) heap_.assign(local_, local_ + count_);
    heap_.push_back(a);
  }

  FormatArg local_[kLocal];
  size_t count_ = 0;
  std::vector<FormatArg> heap_;
};

}  // namespace

int FormatTo(char16_t* buf, size_t capacity, const char16_t* fmt,
             FormatArgs args) {
  if (capacity == 0 || buf == nullptr) return -1;
  Sink<char16_t> sink(buf, capacity);
  Run(sink, fmt, args);
  return BoundedResult(sink);
}

int FormatTo(char* buf, size_t capacity, const char* fmt, FormatArgs args) {
  if (capacity == 0 || buf == nullptr) return -1;
  Sink<char> sink(buf, capacity);
  Run(sink, fmt, args);
  return BoundedResult(sink);
}

size_t FormatAppend(std::u16string* out, const char16_t* fmt, FormatArgs args) {
  Sink<char16_t> sink(out);
  Run(sink, fmt, args);
  return sink.len();
}

size_t FormatAppend(std::string* out, const char* fmt, FormatArgs args) {
  Sink<char> sink(out);
  Run(sink, fmt, args);
  return sink.len();
}

size_t FormatLength(const char16_t* fmt, FormatArgs args) {
  Sink<char16_t> sink;
  Run(sink, fmt, args);
  return sink.len();
}

size_t FormatLength(const char* fmt, FormatArgs args) {
  Sink<char> sink;
  Run(sink, fmt, args);
  return sink.len();
}

int FormatVaTo(char16_t* buf, size_t capacity, const char16_t* fmt,
               va_list ap) {
  VaArgs<char16_t> list(fmt, ap);
  return FormatTo(buf, capacity, fmt, list.args());
}

int FormatVaTo(char* buf, size_t capacity, const char* fmt, va_list ap) {
  VaArgs<char> list(fmt, ap);
  return FormatTo(buf, capacity, fmt, list.args());
}

size_t FormatVaAppend(std::u16string* out, const char16_t* fmt, va_list ap) {
  VaArgs<char16_t> list(fmt, ap);
  return FormatAppend(out, fmt, list.args());
}

size_t FormatVaAppend(std::string* out, const char* fmt, va_list ap) {
  VaArgs<char> list(fmt, ap);
  return FormatAppend(out, fmt, list.args());
}

}  // namespace qg
