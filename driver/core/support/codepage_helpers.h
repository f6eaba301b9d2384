// Whole-text conversions between UTF-16 and 8-bit code pages, and between
// two 8-bit code pages, through the platform's code-page layer.
#ifndef QG_DRIVER_CORE_SUPPORT_CODEPAGE_HELPERS_H_
#define QG_DRIVER_CORE_SUPPORT_CODEPAGE_HELPERS_H_

#include <cstddef>
#include <cstdint>
#include <string>

// UTF-16 to bytes in a code page (1200/1201 UTF-16 LE/BE, 12000/12001
// UTF-32 LE/BE, others 8-bit). Empty on failure or for an empty text.
std::string NAWideToCodePage(const char16_t* text, size_t n, uint32_t code_page);

// Converts n bytes of src (code page from) into dst (code page to) of
// `capacity` bytes, zero-filling the rest of dst. The whole text goes
// through UTF-16 in one piece, so that no double-byte sequence is ever cut.
// With 65001 on both sides the bytes are copied, cut at capacity - 1 or
// before the character that would cross it.
// Returns the bytes written without the terminator; 0 when the conversion
// fails or its result does not fit (dst is then all zero).
size_t nNAConvertCodePage(const char* src, size_t n, uint32_t from, char* dst, size_t capacity,
                          uint32_t to);

// 8-bit text in a code page to UTF-16; empty on failure.
std::u16string NACodePageToWide(const char* text, size_t n, uint32_t code_page);

// Decimal text of a signed 64-bit integer.
std::u16string NAInt64ToText(int64_t value);

#endif  // QG_DRIVER_CORE_SUPPORT_CODEPAGE_HELPERS_H_
