// UTF-16 text primitives on char16_t. Every function accepts null where it
// reads a text and treats it as the empty text; none allocates.
#ifndef QG_SUPPORT_PLATFORM_TEXT16_H_
#define QG_SUPPORT_PLATFORM_TEXT16_H_

#include <cstddef>
#include <cstdint>

namespace qg {

// Units before the terminator; 0 for null.
size_t StrLen16(const char16_t* s);
// Units before the terminator, at most max.
size_t StrNLen16(const char16_t* s, size_t max);

// Ordinal comparison by unit value: <0, 0, >0.
int StrCmp16(const char16_t* a, const char16_t* b);
int StrNCmp16(const char16_t* a, const char16_t* b, size_t n);
// Comparison after folding ASCII letters only.
int StrICmpAscii16(const char16_t* a, const char16_t* b);
int StrNICmpAscii16(const char16_t* a, const char16_t* b, size_t n);
// Comparison after folding ASCII and Latin-1 letters (U+00C0..U+00DE but
// U+00D7 fold to U+00E0..U+00FE).
int StrICmpLatin1_16(const char16_t* a, const char16_t* b);

// Case folding of one unit.
char16_t ToLowerAscii16(char16_t c);
char16_t ToUpperAscii16(char16_t c);
char16_t ToLowerLatin1_16(char16_t c);
char16_t ToUpperLatin1_16(char16_t c);  // U+00FF and U+00DF stay as they are

// Copies at most capacity - 1 units and terminates; returns units copied.
// capacity 0 writes nothing.
size_t StrCopy16(char16_t* dst, size_t capacity, const char16_t* src);

// First occurrence of c / of needle, or null. An empty needle matches at s.
const char16_t* StrChr16(const char16_t* s, char16_t c);
const char16_t* StrRChr16(const char16_t* s, char16_t c);
const char16_t* StrStr16(const char16_t* s, const char16_t* needle);
// As StrStr16 on counted texts; returns the index or -1.
ptrdiff_t Find16(const char16_t* s, size_t n, const char16_t* needle, size_t m);

// ASCII white space: space, tab, CR, LF, VT, FF.
inline bool IsSpace16(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}
inline bool IsDigit16(char16_t c) { return c >= u'0' && c <= u'9'; }

}  // namespace qg

#endif  // QG_SUPPORT_PLATFORM_TEXT16_H_
