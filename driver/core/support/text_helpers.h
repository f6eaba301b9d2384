// Text helpers of the driver: character sets and code pages, code page
// 1252 tests, comparisons through the host's locale interface, bounded
// lengths and copies, and the escaping of quotes and LIKE patterns used
// when SQL literals and patterns are written.
#ifndef QG_DRIVER_CORE_SUPPORT_TEXT_HELPERS_H_
#define QG_DRIVER_CORE_SUPPORT_TEXT_HELPERS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/ctstring.h"

namespace qg {
class IInfoLocale;
}

// ---- Character sets and code pages

// The code page of a character-set number: 0 and 255 give 1252, the
// Unicode code page numbers give themselves, an unknown set gives 0.
uint32_t nCharsetToCodePage(uint32_t charset);

// The code page 1252 byte of a character; false when 1252 has none
// (U+0080..U+009F included).
bool bWideToCP1252(char16_t c, uint8_t* byte);
// True when every character of the text has a 1252 byte. Null is empty.
bool bIsCP1252Text(const char16_t* text);
// True when the code page encodes every character without a replacement
// (empty and null texts always; every text in 65001).
bool bIsRepresentableInCodePage(const char16_t* text, uint32_t code_page);
// The one byte the code page gives for the character ('?' when it has none
// or needs more than one byte).
char cWideToAnsiChar(char16_t c, uint32_t code_page);

// ---- Through the host's locale interface (the module's, or the one given)

// Host comparison ignoring case and diacritics (user-default locale,
// flags 3); 0 means equal. Without a locale interface: ordinal comparison
// after folding ASCII and Latin-1 letters.
int nCompareTextNoCaseNoAccent(const char16_t* a, const char16_t* b);
int nCompareCharNoCaseNoAccent(qg::IInfoLocale* locale, char16_t a, char16_t b);
// Replaces each character (at most 0x3FFFFFFF) by the host's mapping of it
// under `flags`. Nothing without a locale interface.
void MapTextInPlace(qg::IInfoLocale* locale, uint32_t flags, char16_t* text);
// The host's collation object (its operation 18); null without interface.
qg::IInfoLocale* piGetHostCollation(qg::IInfoLocale* locale);
// The host's operation 2, 127 read as 0; 0 without interface.
int nGetHostLocaleNumber(qg::IInfoLocale* locale);

// ---- Search, lengths and copies

// First position where the pattern matches ignoring ASCII case; the empty
// pattern matches at the start; null when absent or text is null.
const char* pszFindNoCaseA(const char* text, const char* pattern);
// Characters before the terminator, at most `max`; 0 for null.
size_t nTextLengthBoundedW(const char16_t* text, size_t max);
size_t nTextLengthBoundedA(const char* text, size_t max);
// Copies at most 9 bytes (up to the terminator when length is -1) into a
// 10-byte buffer and terminates; returns the count.
int nCopyTextMax9(char* out, const char* text, int length);
// Appends what fits after the text already in buffer (capacity units,
// terminator included); always terminated. Returns the new length.
size_t AppendBoundedW(char16_t* buffer, size_t capacity, const char16_t* text);
inline bool bIsDigitW(char16_t c) { return c >= u'0' && c <= u'9'; }
inline int nDigitValue(char16_t c) { return c - u'0'; }

// ---- Texts

// Position of "MariaDB" ignoring case, -1 when absent or the text is
// shorter than 7 characters.
int nFindMariaDB(const char16_t* text);
// out = first + " - " + second.
void JoinWithDash(CTString& out, const char16_t* first, const char16_t* second);
// Removes the trailing blanks (' ').
void RemoveTrailingBlanks(CTString& text);
// Appends one blank; an empty text becomes a single blank.
void AppendBlank(CTString& text);

// ---- Escaping

struct NAEscapeOptions {
  bool bDoubleQuotes = false;       // Q: ' -> ''
  bool bDoubleBackslashes = false;  // B: \ -> \\ (when \ is not the escape)
  bool bEscapePercent = false;      // P: % -> e%
  bool bEscapeUnderscore = false;   // U: _ -> e_
  bool bWidenEscapePercent = false;     // EP: e% gains one e (two with P)
  bool bWidenEscapeUnderscore = false;  // EU: e_ gains one e (two with U)
  bool bWidenEscapeEscape = false;      // EE: ee -> eeee
};

// Escapes `source` for a literal or a LIKE pattern whose escape character
// is e (never the quote); appends to out.
void EscapeTextW(const char16_t* source, std::u16string& out, const NAEscapeOptions& options,
                 char16_t e);
// Every option off: only a lone e is doubled.
std::u16string pszEscapeTextW(const char16_t* text, char16_t e);
std::string pszEscapeTextA(const char* text, char e);
// e% becomes the three percent texts, e_ the three underscore texts, ee a
// single e; a lone e and every other character are copied.
std::u16string pszEscapeTextExW(const char16_t* text, char16_t e, const char16_t* percent1,
                                const char16_t* percent2, const char16_t* percent3,
                                const char16_t* underscore1, const char16_t* underscore2,
                                const char16_t* underscore3);
// In place, from the end: a quote preceded by a quote or a backslash loses
// that preceding character ('' and \' become ').
void UnescapeQuotesW(char16_t* text);
void UnescapeQuotesA(char* text);

#endif  // QG_DRIVER_CORE_SUPPORT_TEXT_HELPERS_H_
