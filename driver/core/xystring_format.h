// Formatting and replacing on host-shared UTF-16 strings (CXYString), and
// scanning UTF-16 texts by a format. Formats have the Windows meaning (a
// wide format's %s is UTF-16 text, %S 8-bit text, %I64d a 64-bit integer);
// numbers never depend on the C locale.
#ifndef QG_DRIVER_CORE_XYSTRING_FORMAT_H_
#define QG_DRIVER_CORE_XYSTRING_FORMAT_H_

#include <cstdarg>
#include <cstddef>

#include "support/xystring.h"

// Replaces the string by the formatted text: the old text is released, the
// text measured, and length + 1 units allocated through the host's string
// memory. 0, or the allocator's code (100 or more) with the string empty.
// Arguments are fetched with the types the directives name.
int nXYFormat(CXYString<char16_t>& s, const char16_t* format, ...);
int nXYFormatV(CXYString<char16_t>& s, const char16_t* format, va_list ap);

// Formats into a caller's buffer of `capacity` units: at most capacity - 1
// units and a terminator. Answers the units written, or -1 when the text
// was cut to fit.
int nFormatToBufferW(char16_t* buffer, size_t capacity, const char16_t* format, ...);

// Replaces every occurrence of `what` by `with` (null: empty), building the
// new text once. An empty `what`, or one that does not occur, leaves the
// string as it is; an empty result frees the text. 0 or the allocator's
// code.
int nXYRemplaceTout(CXYString<char16_t>& s, const char16_t* what, const char16_t* with);

// Reads a UTF-16 text by a format, as the C runtime's scanning does, and
// answers the count of fields stored, or -1 when the text ends before the
// first conversion. Directives: %d %i %u %x %X %o (with h, l, ll, I32, I64
// size prefixes), %f %e %g (float; with l or L double), %s %c (UTF-16
// text), %S %C (8-bit text), %n, %%, a width, and '*' to skip a field.
// Text fields take a pointer then the capacity of its buffer in units (a
// size_t), and a field that does not fit stops the scan.
// White space in the format matches any white space (none included).
int nScanFormatW(const char16_t* text, const char16_t* format, ...);

#endif  // QG_DRIVER_CORE_XYSTRING_FORMAT_H_
