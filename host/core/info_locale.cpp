#include "host/core/info_locale.h"

#include "support/platform/text16.h"

namespace qghost {

namespace {

// Base letters of U+00C0..U+00FF with their diacritics removed; 0 where the
// character has no diacritic to remove.
constexpr char16_t kBaseLetter[64] = {
    u'A', u'A', u'A', u'A', u'A', u'A', 0,    u'C',  // C0-C7
    u'E', u'E', u'E', u'E', u'I', u'I', u'I', u'I',  // C8-CF
    0,    u'N', u'O', u'O', u'O', u'O', u'O', 0,     // D0-D7
    u'O', u'U', u'U', u'U', u'U', u'Y', 0,    0,     // D8-DF
    u'a', u'a', u'a', u'a', u'a', u'a', 0,    u'c',  // E0-E7
    u'e', u'e', u'e', u'e', u'i', u'i', u'i', u'i',  // E8-EF
    0,    u'n', u'o', u'o', u'o', u'o', u'o', 0,     // F0-F7
    u'o', u'u', u'u', u'u', u'u', u'y', 0,    u'y',  // F8-FF
};

int32_t Measure(const char16_t* s, int32_t n) {
  if (s == nullptr) return 0;
  if (n < 0) return static_cast<int32_t>(qg::StrLen16(s));
  return n;
}

int CompareFolded(uint32_t flags, const char16_t* a, int32_t na, const char16_t* b,
                  int32_t nb) {
  na = Measure(a, na);
  nb = Measure(b, nb);
  int32_t i = 0, j = 0;
  for (;;) {
    char16_t ca = 0, cb = 0;
    while (i < na && (ca = InfoLocale::Fold(flags, a[i])) == 0) ++i;
    while (j < nb && (cb = InfoLocale::Fold(flags, b[j])) == 0) ++j;
    bool ea = i >= na, eb = j >= nb;
    if (ea || eb) return ea && eb ? 0 : (ea ? -1 : 1);
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
}

}  // namespace

InfoLocale::InfoLocale() {
  for (auto& c : calls_) c.store(0);
}

InfoLocale::~InfoLocale() = default;

char16_t InfoLocale::Fold(uint32_t flags, char16_t c) {
  if (flags & qg::kCompareIgnoreNonSpace) {
    if (c >= 0x300 && c <= 0x36F) return 0;
    if (c >= 0xC0 && c <= 0xFF && kBaseLetter[c - 0xC0] != 0) c = kBaseLetter[c - 0xC0];
  }
  if (flags & qg::kCompareIgnoreCase) c = qg::ToLowerLatin1_16(c);
  return c;
}

void InfoLocale::Count(int op) {
  if (op >= 0 && op < 22) calls_[op].fetch_add(1);
}

int InfoLocale::nCalls(int op) const {
  return op >= 0 && op < 22 ? calls_[op].load() : 0;
}

#define QG_PLACEHOLDER(n)                          \
  intptr_t InfoLocale::vOp##n(intptr_t, intptr_t) { \
    Count(n);                                      \
    CountFault();                                  \
    return 0;                                      \
  }
QG_PLACEHOLDER(0)
QG_PLACEHOLDER(4)
QG_PLACEHOLDER(6)
QG_PLACEHOLDER(8)
QG_PLACEHOLDER(9)
QG_PLACEHOLDER(10)
QG_PLACEHOLDER(12)
QG_PLACEHOLDER(14)
QG_PLACEHOLDER(15)
QG_PLACEHOLDER(16)
QG_PLACEHOLDER(17)
QG_PLACEHOLDER(20)
#undef QG_PLACEHOLDER

int32_t InfoLocale::nGetVersion() {
  Count(1);
  return 5;
}

int32_t InfoLocale::nGetNumber() {
  Count(2);
  return number_;
}

int32_t InfoLocale::nGetCodePage() {
  Count(3);
  return code_page_;
}

int32_t InfoLocale::nCompareFlags(uint32_t flags, const char16_t* a, int32_t na,
                                  const char16_t* b, int32_t nb) {
  Count(5);
  return CompareFolded(flags, a, na, b, nb);
}

int32_t InfoLocale::nCompare(uint32_t, uint32_t flags, const char16_t* a, int32_t na,
                             const char16_t* b, int32_t nb) {
  Count(7);
  return CompareFolded(flags, a, na, b, nb);
}

char16_t InfoLocale::cMapChar(uint32_t, uint32_t flags, char16_t c) {
  Count(11);
  return Fold(flags, c);
}

int32_t InfoLocale::nMapText(uint32_t, uint32_t flags, const char16_t* src, int32_t n,
                             char16_t* dst, int32_t ndst) {
  Count(13);
  if (src == nullptr) return 0;
  // n = -1: up to and including the terminator, which is mapped too.
  int32_t len = n < 0 ? static_cast<int32_t>(qg::StrLen16(src)) + 1 : n;
  int32_t out = 0;
  for (int32_t i = 0; i < len; ++i) {
    char16_t c = src[i];
    char16_t m = Fold(flags, c);
    if (m == 0 && c != 0) continue;
    if (dst != nullptr && ndst != 0) {
      if (ndst > 0 && out >= ndst) return 0;  // destination too small
      dst[out] = m;
    }
    ++out;
  }
  return out;
}

qg::IInfoLocale* InfoLocale::piGetCollation() {
  Count(18);
  return nullptr;
}

int32_t InfoLocale::nGetLanguage() {
  Count(19);
  return language_;
}

qg::LanguagePair InfoLocale::GetLanguagePair() {
  Count(21);
  return qg::LanguagePair{language_, variant_};
}

InfoLocaleV4::InfoLocaleV4() = default;

int32_t InfoLocaleV4::nGetVersion() {
  Count(1);
  return 4;
}

int32_t InfoLocaleV4::nGetLanguage() {
  Count(19);
  return language_;
}

qg::LanguagePair InfoLocaleV4::GetLanguagePair() {
  Count(21);
  CountFault();
  return qg::LanguagePair{0, 0};
}

}  // namespace qghost
