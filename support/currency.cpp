#include "support/currency.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "support/text_functions.h"

namespace qg {

namespace {

constexpr int kDecimals = 6;
// More digits than this before the point can never fit; the real is refused
// before parsing.
constexpr int kMaxIntegerDigits = 197;
constexpr int kMaxDigits = 198;

__int128 ToInt128(const Fixe6& v) {
  unsigned __int128 u = 0;
  for (int i = 4; i >= 0; --i) u = (u << 16) | v.aw[i];
  // Sign-extend bit 79.
  if (v.aw[4] & 0x8000) u |= ~((static_cast<unsigned __int128>(1) << 80) - 1);
  return static_cast<__int128>(u);
}

void FromInt128(Fixe6* out, __int128 v) {
  auto u = static_cast<unsigned __int128>(v);
  for (int i = 0; i < 5; ++i) {
    out->aw[i] = static_cast<uint16_t>(u & 0xFFFF);
    u >>= 16;
  }
}

bool IsBlank(char16_t c) { return c == u' '; }

}  // namespace

int nNegationMots(uint16_t* words, int n) {
  uint32_t carry = 1;
  for (int i = 0; i < n; ++i) {
    uint32_t w = static_cast<uint16_t>(~words[i]) + carry;
    words[i] = static_cast<uint16_t>(w);
    carry = w >> 16;
  }
  return static_cast<int>(carry);
}

int nFixe6Negation(Fixe6* value) { return nNegationMots(value->aw, 5); }

bool bFixe6MultiplieDixAjoute(Fixe6* value, unsigned digit) {
  uint32_t carry = digit;
  for (int i = 0; i < 5; ++i) {
    uint32_t w = static_cast<uint32_t>(value->aw[i]) * 10 + carry;
    value->aw[i] = static_cast<uint16_t>(w);
    carry = w >> 16;
  }
  return carry == 0 && (value->aw[4] & 0x8000) == 0;
}

bool bFixe6EstNegatif(const Fixe6& value) { return (value.aw[4] & 0x8000) != 0; }

Fixe6* pFixe6DepuisChaine(Fixe6* out, const char16_t* text) {
  std::memset(out, 0, sizeof(*out));
  if (text == nullptr) return out;
  const char16_t* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == u'+' || *p == u'\xFF0B') {
    ++p;
  } else if (*p == u'-' || *p == u'\xFF0D') {
    negative = true;
    ++p;
  }
  Fixe6 v{};
  for (; *p >= u'0' && *p <= u'9'; ++p) {
    if (!bFixe6MultiplieDixAjoute(&v, static_cast<unsigned>(*p - u'0'))) {
      std::memset(out, 0, sizeof(*out));
      return nullptr;
    }
  }
  int decimals = 0;
  if (*p == u'.' && p[1] >= u'0' && p[1] <= u'9') {
    for (++p; *p >= u'0' && *p <= u'9'; ++p) {
      if (decimals == kDecimals) continue;  // truncation: further digits dropped
      if (!bFixe6MultiplieDixAjoute(&v, static_cast<unsigned>(*p - u'0'))) {
        std::memset(out, 0, sizeof(*out));
        return nullptr;
      }
      ++decimals;
    }
  }
  for (; decimals < kDecimals; ++decimals) {
    if (!bFixe6MultiplieDixAjoute(&v, 0)) {
      std::memset(out, 0, sizeof(*out));
      return nullptr;
    }
  }
  if (negative) nFixe6Negation(&v);
  *out = v;
  return out;
}

Fixe6* pFixe6DepuisReel(Fixe6* out, double value) {
  std::memset(out, 0, sizeof(*out));
  if (!std::isfinite(value)) return nullptr;
  // Six decimals, rounded, locale-free. The largest double has 309 digits.
  char fixed[400];
  auto r = std::to_chars(fixed, fixed + sizeof(fixed), value, std::chars_format::fixed, kDecimals);
  if (r.ec != std::errc()) return nullptr;
  const char* begin = fixed;
  bool negative = false;
  if (*begin == '-') {
    negative = true;
    ++begin;
  }
  const char* point = static_cast<const char*>(std::memchr(begin, '.', r.ptr - begin));
  if (point == nullptr) point = r.ptr;
  if (point - begin > kMaxIntegerDigits) return nullptr;
  // Keep at most the last 198 digits (the point excluded).
  char16_t text[kMaxDigits + 4];
  size_t n = 0;
  if (negative) text[n++] = u'-';
  size_t digits = static_cast<size_t>(r.ptr - begin) - (point != r.ptr ? 1 : 0);
  const char* from = begin;
  if (digits > static_cast<size_t>(kMaxDigits)) {
    size_t skip = digits - kMaxDigits;
    from += skip;  // the point lies after the skipped digits
  }
  for (const char* c = from; c < r.ptr; ++c) text[n++] = static_cast<char16_t>(*c);
  text[n] = 0;
  return pFixe6DepuisChaine(out, text);
}

double rFixe6VersReel(const Fixe6& value) {
  char16_t text[kFixe6TextSize];
  return rChaineVersReel(pszFixe6VersChaine(text, value));
}

char16_t* pszFixe6VersChaine(char16_t* out, const Fixe6& value) {
  __int128 v = ToInt128(value);
  bool negative = v < 0;
  // The magnitude of -2^79 is 2^79: fine as unsigned.
  unsigned __int128 u = negative ? static_cast<unsigned __int128>(0) - static_cast<unsigned __int128>(v)
                                 : static_cast<unsigned __int128>(v);
  char16_t rev[kFixe6TextSize];
  int n = 0;
  int produced = 0;
  do {
    rev[n++] = static_cast<char16_t>(u'0' + static_cast<int>(u % 10));
    u /= 10;
    if (++produced == kDecimals) rev[n++] = u'.';
  } while (u != 0);
  while (produced < kDecimals) {
    rev[n++] = u'0';
    if (++produced == kDecimals) rev[n++] = u'.';
  }
  if (rev[n - 1] == u'.') rev[n++] = u'0';
  int k = 0;
  if (negative) out[k++] = u'-';
  while (n > 0) out[k++] = rev[--n];
  // Drop trailing decimal zeros, then a bare point.
  while (out[k - 1] == u'0') --k;
  if (out[k - 1] == u'.') --k;
  if (k == 0 || (k == 1 && negative)) out[k++] = u'0';
  out[k] = 0;
  return out;
}

void Fixe6CleTriable(const Fixe6& value, uint8_t out[kFixe6KeySize]) {
  uint8_t bytes[10];
  std::memcpy(bytes, value.aw, sizeof(bytes));  // little-endian host
  out[0] = static_cast<uint8_t>(bytes[9] ^ 0x80);
  for (int i = 1; i < 10; ++i) out[i] = bytes[9 - i];
}

int nFixe6Ajoute(Fixe6* value, int64_t delta) {
  constexpr __int128 kMax = (static_cast<__int128>(1) << 79) - 1;
  constexpr __int128 kMin = -(static_cast<__int128>(1) << 79);
  __int128 r = ToInt128(*value) + delta;
  int overflow = (r > kMax || r < kMin) ? 1 : 0;
  FromInt128(value, r);
  return overflow;
}

}  // namespace qg
