#include "support/platform/text16.h"

namespace qg {

size_t StrLen16(const char16_t* s) {
  if (s == nullptr) return 0;
  const char16_t* p = s;
  while (*p) ++p;
  return static_cast<size_t>(p - s);
}

size_t StrNLen16(const char16_t* s, size_t max) {
  if (s == nullptr) return 0;
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

static const char16_t kEmpty[1] = {0};
static inline const char16_t* OrEmpty(const char16_t* s) { return s ? s : kEmpty; }

int StrCmp16(const char16_t* a, const char16_t* b) {
  return StrNCmp16(a, b, static_cast<size_t>(-1));
}

int StrNCmp16(const char16_t* a, const char16_t* b, size_t n) {
  a = OrEmpty(a);
  b = OrEmpty(b);
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (a[i] == 0) return 0;
  }
  return 0;
}

char16_t ToLowerAscii16(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}
char16_t ToUpperAscii16(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}
char16_t ToLowerLatin1_16(char16_t c) {
  if (c < 0x80) return ToLowerAscii16(c);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  return c;
}
char16_t ToUpperLatin1_16(char16_t c) {
  if (c < 0x80) return ToUpperAscii16(c);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  return c;
}

template <char16_t (*Fold)(char16_t)>
static int FoldCmp(const char16_t* a, const char16_t* b, size_t n) {
  a = OrEmpty(a);
  b = OrEmpty(b);
  for (size_t i = 0; i < n; ++i) {
    char16_t x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

int StrICmpAscii16(const char16_t* a, const char16_t* b) {
  return FoldCmp<ToLowerAscii16>(a, b, static_cast<size_t>(-1));
}
int StrNICmpAscii16(const char16_t* a, const char16_t* b, size_t n) {
  return FoldCmp<ToLowerAscii16>(a, b, n);
}
int StrICmpLatin1_16(const char16_t* a, const char16_t* b) {
  return FoldCmp<ToLowerLatin1_16>(a, b, static_cast<size_t>(-1));
}

size_t StrCopy16(char16_t* dst, size_t capacity, const char16_t* src) {
  if (capacity == 0 || dst == nullptr) return 0;
  size_t n = StrNLen16(src, capacity - 1);
  for (size_t i = 0; i < n; ++i) dst[i] = src[i];
  dst[n] = 0;
  return n;
}

const char16_t* StrChr16(const char16_t* s, char16_t c) {
  if (s == nullptr) return nullptr;
  for (;; ++s) {
    if (*s == c) return s;
    if (*s == 0) return nullptr;
  }
}

const char16_t* StrRChr16(const char16_t* s, char16_t c) {
  if (s == nullptr) return nullptr;
  const char16_t* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (*s == 0) return found;
  }
}

ptrdiff_t Find16(const char16_t* s, size_t n, const char16_t* needle, size_t m) {
  if (m == 0) return 0;
  if (s == nullptr || needle == nullptr || m > n) return -1;
  for (size_t i = 0; i + m <= n; ++i) {
    if (s[i] != needle[0]) continue;
    size_t k = 1;
    while (k < m && s[i + k] == needle[k]) ++k;
    if (k == m) return static_cast<ptrdiff_t>(i);
  }
  return -1;
}

const char16_t* StrStr16(const char16_t* s, const char16_t* needle) {
  if (s == nullptr) return nullptr;
  ptrdiff_t i = Find16(s, StrLen16(s), needle, StrLen16(needle));
  return i < 0 ? nullptr : s + i;
}

}  // namespace qg
