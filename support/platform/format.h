// printf-style formatter with the Windows runtime's meaning of a format,
// for 8-bit (char) and UTF-16 (char16_t) output.
//
// Conversions: %c %C %s %S %d %i %u %x %X %o %f %e %E %g %G %p %%, with
// the flags '-', '+', ' ', '0', '#', a width and a precision (either may be
// '*', taken from the next argument; a negative '*' width left-justifies, a
// negative '*' precision counts as none).
//
// Size prefixes: "I64" and "ll" 64-bit; "I32", 'l' (long is 32-bit in that
// runtime) and none 32-bit; 'h' 16-bit, "hh" 8-bit; 'z' and a bare 'I'
// pointer-sized; 'F', 'L', 'N' ignored (so "%F" is no conversion). An
// integer conversion keeps only the bits its prefix names, whatever the
// argument held: %d of an int64 prints its low 32 bits as a signed int.
//
// Width of text conversions, as that runtime reads them: in a wide format
// %s and %c are wide, %S and %C narrow; in a narrow format the reverse.
// 'h' forces narrow and 'l' forces wide, whatever the case. For a typed
// argument list the argument carries its own width, so the text is always
// read the way it was given; the distinction decides how a va_list argument
// is fetched (FormatVa*), and how a %c value is cut (to 8 or 16 bits).
// Narrow text written to a wide output is widened byte for byte (Latin-1);
// wide text written to a narrow output keeps units up to U+00FF and writes
// '?' for the others.
//
// A null text pointer writes "(null)" (cut by the precision like any
// text). A precision on %s never reads past that many units, so a counted
// buffer without a terminator is safe. %p writes the address in upper-case
// hexadecimal, zero-filled to 16 digits, without "0x" ("0X" with '#').
// As in that runtime, the '0' flag also pads %s and %c with zeros.
// Floating conversions are correctly rounded; infinities and NaNs write
// "inf" / "nan" ("INF" / "NAN" for %E %G), signed, padded with spaces.
// %n is never honoured: the directive is written as it stands, and its
// argument is consumed. An unknown conversion character, or a format ending
// inside a directive, also writes the directive as it stands.
// Numbers never depend on the C locale.
//
// Argument mismatches are defined: a missing argument reads as 0 / null;
// an integer conversion of a double takes its value truncated (saturating);
// a floating conversion of an integer takes its value; an integer
// conversion of a pointer takes its address; a text conversion of a
// non-text argument writes "(null)".
#ifndef QG_SUPPORT_PLATFORM_FORMAT_H_
#define QG_SUPPORT_PLATFORM_FORMAT_H_

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace qg {

// One argument of a format, holding its value and its kind.
class FormatArg {
 public:
  enum class Kind : uint8_t { kNone, kInt, kUInt, kDouble, kStr8, kStr16, kPtr };

  FormatArg() : kind_(Kind::kNone) { u_ = 0; }

  template <typename T,
            typename std::enable_if_t<std::is_integral_v<T>, int> = 0>
  FormatArg(T v) {  // NOLINT: implicit by design
    if constexpr (std::is_signed_v<T>) {
      kind_ = Kind::kInt;
      i_ = static_cast<int64_t>(v);
    } else {
      kind_ = Kind::kUInt;
      u_ = static_cast<uint64_t>(v);
    }
  }
  template <typename T, typename std::enable_if_t<std::is_enum_v<T>, int> = 0>
  FormatArg(T v)  // NOLINT
      : FormatArg(static_cast<std::underlying_type_t<T>>(v)) {}
  FormatArg(double v) : kind_(Kind::kDouble) { d_ = v; }  // NOLINT
  FormatArg(float v) : kind_(Kind::kDouble) { d_ = v; }  // NOLINT
  FormatArg(long double v) : kind_(Kind::kDouble) {  // NOLINT
    d_ = static_cast<double>(v);
  }
  FormatArg(const char* s) : kind_(Kind::kStr8) { s8_ = s; }  // NOLINT
  FormatArg(const char16_t* s) : kind_(Kind::kStr16) { s16_ = s; }  // NOLINT
  // The string must outlive the call.
  FormatArg(const std::string& s) : FormatArg(s.c_str()) {}  // NOLINT
  FormatArg(const std::u16string& s) : FormatArg(s.c_str()) {}  // NOLINT
  FormatArg(const void* p) : kind_(Kind::kPtr) { p_ = p; }  // NOLINT
  FormatArg(std::nullptr_t) : kind_(Kind::kPtr) { p_ = nullptr; }  // NOLINT

  Kind kind() const { return kind_; }
  int64_t int_value() const { return i_; }
  uint64_t uint_value() const { return u_; }
  double double_value() const { return d_; }
  const char* str8() const { return s8_; }
  const char16_t* str16() const { return s16_; }
  const void* ptr() const { return p_; }

 private:
  Kind kind_;
  union {
    int64_t i_;
    uint64_t u_;
    double d_;
    const char* s8_;
    const char16_t* s16_;
    const void* p_;
  };
};

// A counted, borrowed list of arguments.
struct FormatArgs {
  const FormatArg* data = nullptr;
  size_t size = 0;
};

// Bounded write. Writes at most capacity - 1 units and a terminator
// (nothing at all when capacity is 0). Returns the units written, without
// the terminator, or -1 when the full text did not fit: the buffer then
// holds the first capacity - 1 units, terminated. A null fmt is the empty
// format.
int FormatTo(char16_t* buf, size_t capacity, const char16_t* fmt,
             FormatArgs args);
int FormatTo(char* buf, size_t capacity, const char* fmt, FormatArgs args);

// Appends to a growing string; returns the units appended.
size_t FormatAppend(std::u16string* out, const char16_t* fmt, FormatArgs args);
size_t FormatAppend(std::string* out, const char* fmt, FormatArgs args);

// Units the text needs, without the terminator.
size_t FormatLength(const char16_t* fmt, FormatArgs args);
size_t FormatLength(const char* fmt, FormatArgs args);

// Variadic forms.
template <typename... Args>
int Format(char16_t* buf, size_t capacity, const char16_t* fmt,
           const Args&... args) {
  const FormatArg list[sizeof...(Args) + 1] = {FormatArg(args)...};
  return FormatTo(buf, capacity, fmt, FormatArgs{list, sizeof...(Args)});
}
template <typename... Args>
int Format(char* buf, size_t capacity, const char* fmt, const Args&... args) {
  const FormatArg list[sizeof...(Args) + 1] = {FormatArg(args)...};
  return FormatTo(buf, capacity, fmt, FormatArgs{list, sizeof...(Args)});
}
template <typename... Args>
size_t Format(std::u16string* out, const char16_t* fmt, const Args&... args) {
  const FormatArg list[sizeof...(Args) + 1] = {FormatArg(args)...};
  return FormatAppend(out, fmt, FormatArgs{list, sizeof...(Args)});
}
template <typename... Args>
size_t Format(std::string* out, const char* fmt, const Args&... args) {
  const FormatArg list[sizeof...(Args) + 1] = {FormatArg(args)...};
  return FormatAppend(out, fmt, FormatArgs{list, sizeof...(Args)});
}
// A new string holding the text.
template <typename... Args>
std::u16string FormatString(const char16_t* fmt, const Args&... args) {
  std::u16string out;
  Format(&out, fmt, args...);
  return out;
}
template <typename... Args>
std::string FormatString(const char* fmt, const Args&... args) {
  std::string out;
  Format(&out, fmt, args...);
  return out;
}

// va_list forms, for callers that receive C variable arguments. Each
// argument is fetched with the type the directive names (the Windows
// reading: %d int, %I64d / %lld 64-bit, %s in a wide format a
// const char16_t*, %S a const char*, %f double, %p / %n a pointer, '*' an
// int). The caller must pass exactly those types. ap is consumed as by
// vsnprintf; pass a copy to reuse it.
int FormatVaTo(char16_t* buf, size_t capacity, const char16_t* fmt,
               va_list ap);
int FormatVaTo(char* buf, size_t capacity, const char* fmt, va_list ap);
size_t FormatVaAppend(std::u16string* out, const char16_t* fmt, va_list ap);
size_t FormatVaAppend(std::string* out, const char* fmt, va_list ap);

}  // namespace qg

#endif  // QG_SUPPORT_PLATFORM_FORMAT_H_
