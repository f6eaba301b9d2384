// Code-page conversions between 8-bit text and UTF-16, with the counting
// conventions of the Windows calls they replace (MultiByteToWideChar and
// WideCharToMultiByte with no flags):
//
//   - src_len -1 converts up to and including the terminator (the result
//     counts it); src_len 0, src_len < -1 or a null src fail.
//   - dst_capacity 0 converts nothing and returns the count the whole
//     output needs (dst may then be null); a negative capacity fails.
//   - an output that does not fit fails with 0 (dst may then hold a part
//     of the output).
//   - the result is the number of units written (or needed), 0 on failure.
//
// Code pages are Windows numbers: 0 is the ANSI code page (1252 here);
// the others are the numbers of the code-page table (support/
// codepage_table.h) and go through iconv by the table's charset name,
// except 1252 (our own map, below), 65001 (our own UTF-8 codec) and 1200,
// 1201, 12000, 12001 (our own UTF-16 / UTF-32 codecs).
//
// Decoding: a byte the code page cannot read (an undefined byte, a lead
// byte without its trail byte) becomes U+FFFD and reading goes on at the
// next byte, except that a byte 0x80..0x9F that cannot start a sequence in
// the code page becomes U+0080..U+009F, and encoding gives it back, so that
// such bytes survive a round trip (1252: 0x81, 0x8D, 0x8F, 0x90, 0x9D; 932:
// 0x80). Not so in the stateful 50220 (ISO-2022-JP). Invalid UTF-8 becomes
// one U+FFFD per maximal ill-formed subsequence. 1200 and 1201 take the
// bytes as UTF-16 units as they are; 12000 and 12001 turn a value that is
// no code point into U+FFFD. For these four, src_len -1 runs up to a zero
// unit (code point), and a trailing part of a unit is ignored.
//
// Encoding: a character the code page lacks (a surrogate pair counts as
// one, a lone surrogate too) becomes the code page's '?' (no best fit:
// U+FF02 never becomes '"'); for 65001, 12000 and 12001 a lone surrogate
// becomes U+FFFD; 1200 and 1201 copy the units as they are.
//
// Thread safety: every function may be called from any thread. iconv
// descriptors are cached per thread, one per code page and direction.
#ifndef QG_SUPPORT_PLATFORM_CODEPAGE_H_
#define QG_SUPPORT_PLATFORM_CODEPAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace qg {

constexpr uint32_t kCodePageAnsi = 0;       // the ANSI code page: 1252
constexpr uint32_t kCodePage1252 = 1252;
constexpr uint32_t kCodePageUtf16Le = 1200;
constexpr uint32_t kCodePageUtf16Be = 1201;
constexpr uint32_t kCodePageUtf32Le = 12000;
constexpr uint32_t kCodePageUtf32Be = 12001;
constexpr uint32_t kCodePageUtf8 = 65001;

// True when the code page is one of the table's (or 0).
bool IsKnownCodePage(uint32_t code_page);

// The iconv charset name of a known code page, null for an unknown one.
// The ANSI code page gives "CP1252".
const char* CodePageCharsetName(uint32_t code_page);

// 8-bit text in code_page to UTF-16 (MultiByteToWideChar).
int MultiByteToWide(uint32_t code_page, const char* src, int src_len,
                    char16_t* dst, int dst_capacity);

// UTF-16 to 8-bit text in code_page (WideCharToMultiByte). When
// used_default is given it is set to whether some character was replaced
// by '?' (or, for 65001, a lone surrogate by U+FFFD).
int WideToMultiByte(uint32_t code_page, const char16_t* src, int src_len,
                    char* dst, int dst_capacity,
                    bool* used_default = nullptr);

// Whole-text conversions built on the two above, for every caller that
// wants the whole result in a string: the UTF-16 of n bytes in code_page
// (n -1: up to the terminator, which is not kept), and back. True with the
// whole result; false with `out` empty when the input is null, longer than
// INT_MAX units, or does not convert (unknown code page, a conversion that
// gives other than what was measured). An empty input gives true and an
// empty result.
bool CodePageToUtf16(uint32_t code_page, const char* text, ptrdiff_t n, std::u16string* out);
bool Utf16ToCodePage(uint32_t code_page, const char16_t* text, ptrdiff_t n, std::string* out,
                     bool* used_default = nullptr);

// The library's own code page 1252 map. Bytes below 0x80 and from 0xA0
// map to themselves, 0x80..0x9F follow Windows-1252, and the five bytes
// Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// U+0081.. themselves.
char16_t Cp1252ToUnicode(unsigned char b);
// The reverse: the byte for c, or -1 when 1252 has none.
int UnicodeToCp1252(char16_t c);

}  // namespace qg

#endif  // QG_SUPPORT_PLATFORM_CODEPAGE_H_
