// Free text functions: heap copies of texts, bounded copy and path
// concatenation, comparison and mapping through the host's locale
// interface, the code page 1252 map, UTF-16 / UTF-32 decoders, number texts
// and the length estimate of a printf-style format.
//
// Heap texts come from the runtime heap (malloc / free). Texts are UTF-16
// (char16_t) unless the name ends in A (8-bit).
#ifndef QG_SUPPORT_TEXT_FUNCTIONS_H_
#define QG_SUPPORT_TEXT_FUNCTIONS_H_

#include <cstdarg>
#include <cstddef>
#include <cstdint>

class CTString;

// --- heap copies ---------------------------------------------------------------

// A heap copy of the text, null when the text is null or memory runs out.
char16_t* pszDupliqueChaine(const char16_t* text);
char* pszDupliqueChaineA(const char* text);
// A heap copy of the first n units (fewer when a terminator comes first),
// terminated.
char16_t* pszDupliqueSousChaine(const char16_t* text, size_t n);
char* pszDupliqueSousChaineA(const char* text, size_t n);
// Room for n characters and the terminator; null when memory runs out.
char16_t* pAlloueChaine(size_t n);
// Free a text from the functions above; null is ignored.
void LibereChaine(void* text);
void Libere(void* text);

// --- bounded copy ------------------------------------------------------------------

// Copies at most capacity - 1 characters and terminates; returns the
// characters copied. Capacity 0 copies nothing.
int nCopieChaine(char16_t* dst, size_t capacity, const char16_t* src);
int nCopieChaineTronquee(char16_t* dst, size_t capacity, const char16_t* src);

// Capacity of a path buffer, terminator included.
constexpr int kPathBufferSize = 260;
// Appends `add` to the path held in a kPathBufferSize buffer. Returns the
// new length, or -1 when the result would not fit: the path is then left
// unchanged (a shortened path would name another file).
int nConcateneChemin(char16_t* path, const char16_t* add);

// Cuts the trailing white space of a text in place; returns the new length.
int nSupprimeBlancsFin(char16_t* text);

// --- host locale ---------------------------------------------------------------------

// Compares two texts through the host's locale interface. Flag bit
// 0x10000000 selects the flag-only comparison (the bit itself removed);
// otherwise the locale comparison with the user default locale. 0 = equal.
int nCompareChaineLocale(const char16_t* a, const char16_t* b, uint32_t flags);
// A hash of the text under the comparison above with flags 3 (case and
// diacritics ignored): texts it tells equal hash alike. Hashes the host's
// mapping with those flags (the normalisation the comparison uses), or
// the fallback comparison's fold without a host.
uint32_t nHacheChaineLocale(const char16_t* text);
// Compares two characters (user default locale, flags 0x20000000).
int nCompareCaractereLocale(char16_t a, char16_t b);
// Maps the first n characters of the text (n = -1: up to and including the
// terminator) into dst, ignoring case and diacritics (locale 0x40C, flags
// 3); returns the mapped length. dst must hold the mapped text.
int nMappeChaineSansCasseNiAccent(const char16_t* text, int n, char16_t* dst);

// Compares a version text with the expected companion version "17.0.1.0"
// in natural order: negative when older, 0 when equal, positive when newer.
int nCompareVersionModuleObjet(const char16_t* version);

// --- numbers ---------------------------------------------------------------------------

// Decimal digits of v into buffer (at least 21 units); returns buffer.
char16_t* pszUI8VersChaine(char16_t* buffer, uint64_t v);
// The text with a 'd' / 'D' exponent marker read as 'E': the text itself
// when it has none, else the normalised copy held by `holder`.
const char16_t* pszNormaliseExposantD(const char16_t* text, CTString* holder);
// Number text to double, independent of the C locale. Leading white space
// and one sign are skipped; a text that then starts with a letter, the
// terminator or "0x" is no number and gives 0.0. A 'd' or 'D' exponent
// marker reads as 'E'. Trailing characters after the number are ignored.
double rChaineVersReel(const char16_t* text);

// Upper bound, in characters, of the text a wide printf-style format
// produces with these arguments (Windows meaning of the format). ap is
// consumed.
int nCalculeTailleFormat(const char16_t* format, va_list ap);

namespace qg {

// Code page 1252 to UTF-16 with the library's map: n bytes (-1: up to and
// including the terminator). Without dst (or with capacity 0) returns the
// count only; otherwise writes min(count, capacity) units and returns them.
int nConvertit1252EnUTF16(const char* src, int n, char16_t* dst, int capacity);

// UTF-16 bytes (little-endian, or big-endian for code page 1201) to UTF-16
// units: nbytes / 2 units; writes min(units, capacity); capacity 0 returns
// the count.
int nDecodeUTF16(const char* bytes, int nbytes, bool big_endian, char16_t* dst,
                 int capacity);
// UTF-32 bytes (little-endian, or big-endian for code page 12001) to
// UTF-16 through nConvertitUTF32EnUTF16.
int nDecodeUTF32(const char* bytes, int nbytes, bool big_endian, char16_t* dst,
                 int capacity);

}  // namespace qg

// Code points to UTF-16: up to 0xFFFF one unit, above a surrogate pair;
// surrogates and code points above 0x10FFFF become U+FFFD. Stops before a
// unit or pair that would not fit. Capacity 0 (or null dst) only counts.
// n = -1 converts up to and including a zero code point.
int nConvertitUTF32EnUTF16(const char32_t* src, int n, char16_t* dst, int capacity);

#endif  // QG_SUPPORT_TEXT_FUNCTIONS_H_
