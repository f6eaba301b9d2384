#include "driver/core/support/codepage_helpers.h"

#include <charconv>
#include <climits>
#include <cstring>

#include "support/platform/codepage.h"

std::string NAWideToCodePage(const char16_t* text, size_t n, uint32_t code_page) {
  std::string out;
  if (text != nullptr && n <= size_t(INT_MAX)) {
    qg::Utf16ToCodePage(code_page, text, ptrdiff_t(n), &out);
  }
  return out;
}

std::u16string NACodePageToWide(const char* text, size_t n, uint32_t code_page) {
  std::u16string out;
  if (text != nullptr && n <= size_t(INT_MAX)) {
    qg::CodePageToUtf16(code_page, text, ptrdiff_t(n), &out);
  }
  return out;
}

size_t nNAConvertCodePage(const char* src, size_t n, uint32_t from, char* dst, size_t capacity,
                          uint32_t to) {
  if (dst == nullptr || capacity == 0) return 0;
  // The result is built aside first: src may be dst.
  std::string bytes;
  if (src != nullptr && n > 0) {
    if (from == qg::kCodePageUtf8 && to == qg::kCodePageUtf8) {
      size_t keep = n < capacity - 1 ? n : capacity - 1;
      // A cut never splits a character: drop the continuation bytes at the
      // cut and the lead byte they belong to.
      if (keep < n) {
        while (keep > 0 && (static_cast<unsigned char>(src[keep]) & 0xC0) == 0x80) --keep;
      }
      bytes.assign(src, keep);
    } else {
      const std::u16string wide = NACodePageToWide(src, n, from);
      if (!wide.empty()) bytes = NAWideToCodePage(wide.data(), wide.size(), to);
      if (bytes.size() >= capacity) bytes.clear();
    }
  }
  std::memset(dst, 0, capacity);
  std::memcpy(dst, bytes.data(), bytes.size());
  return bytes.size();
}

std::u16string NAInt64ToText(int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  return std::u16string(digits, result.ptr);
}
