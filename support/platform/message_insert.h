// Message-insert formatting in the manner of the Windows FormatMessage
// call on a text with an argument list (inserts honoured, no line-width
// limit: line breaks of the text are kept as they stand).
//
// Sequences of the text:
//   %1 .. %99     the insert of that number N, args[N - 1]; the number is at
//                 most two digits, so "%100" is insert 10 followed by "0";
//   %N!fmt!       the insert N formatted by the printf directive "%fmt"
//                 (Windows meaning, see format.h); without "!fmt!" the
//                 directive is "%s"; a '*' in it takes the inserts that
//                 follow N, as FormatMessage does;
//   %0            ends the text there;
//   %n            CR LF;   %r  CR;   %t  tab;   %b and "% "  a space;
//   %% %. %!      the character after the '%';
//   '%' before any other character, or at the end, is written as it stands.
// An insert whose number lies beyond the argument count is written as it
// stands, "!fmt!" included; no argument past the count is ever read.
#ifndef QG_SUPPORT_PLATFORM_MESSAGE_INSERT_H_
#define QG_SUPPORT_PLATFORM_MESSAGE_INSERT_H_

#include <cstddef>
#include <string>

#include "support/platform/format.h"

namespace qg {

// Returned when memory runs out; out is then as it was.
constexpr size_t kMessageInsertNoMemory = static_cast<size_t>(-1);

// Appends the formatted text to out; returns the units appended. A null
// text appends nothing. Throws nothing.
size_t MessageInsertAppend(std::u16string* out, const char16_t* text,
                           FormatArgs args);
// The same with the inserts given as a counted array of texts (a null entry
// writes "(null)").
size_t MessageInsertAppend(std::u16string* out, const char16_t* text,
                           const char16_t* const* inserts, size_t count);

// Variadic form: a new string.
template <typename... Args>
std::u16string MessageInsert(const char16_t* text, const Args&... args) {
  const FormatArg list[sizeof...(Args) + 1] = {FormatArg(args)...};
  std::u16string out;
  MessageInsertAppend(&out, text, FormatArgs{list, sizeof...(Args)});
  return out;
}

}  // namespace qg

#endif  // QG_SUPPORT_PLATFORM_MESSAGE_INSERT_H_
