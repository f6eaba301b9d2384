#include "support/crypt_home_made.h"

#include <cstring>
#include <string>

#include "support/platform/codepage.h"

namespace {

uint64_t Melange(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

uint64_t Lit64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// Keystream: xoshiro128** seeded from the key. The stream depends only on
// the key and the byte's offset, so the transform is its own inverse.
class CFlot {
 public:
  explicit CFlot(const uint8_t* pCle) {
    uint64_t a = Melange(Lit64(pCle));
    uint64_t b = Melange(Lit64(pCle + 8) ^ a);
    m_s[0] = static_cast<uint32_t>(a);
    m_s[1] = static_cast<uint32_t>(a >> 32);
    m_s[2] = static_cast<uint32_t>(b);
    m_s[3] = static_cast<uint32_t>(b >> 32);
    if ((m_s[0] | m_s[1] | m_s[2] | m_s[3]) == 0) m_s[0] = 1;
  }
  uint32_t Suivant() {
    const uint32_t r = Rotl(m_s[1] * 5, 7) * 9;
    const uint32_t t = m_s[1] << 9;
    m_s[2] ^= m_s[0];
    m_s[3] ^= m_s[1];
    m_s[1] ^= m_s[2];
    m_s[0] ^= m_s[3];
    m_s[2] ^= t;
    m_s[3] = Rotl(m_s[3], 11);
    return r;
  }

 private:
  static uint32_t Rotl(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }
  uint32_t m_s[4];
};

void Combine(const uint8_t* pCle, void* pData, size_t n) {
  auto* p = static_cast<uint8_t*>(pData);
  CFlot flot(pCle);
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const uint32_t k = flot.Suivant();
    p[i] ^= static_cast<uint8_t>(k);
    p[i + 1] ^= static_cast<uint8_t>(k >> 8);
    p[i + 2] ^= static_cast<uint8_t>(k >> 16);
    p[i + 3] ^= static_cast<uint8_t>(k >> 24);
  }
  if (i < n) {
    uint32_t k = flot.Suivant();
    for (; i < n; ++i, k >>= 8) p[i] ^= static_cast<uint8_t>(k);
  }
}

}  // namespace

CCryptHomeMade::CCryptHomeMade() { std::memset(m_abyCle, 0, sizeof(m_abyCle)); }

void CCryptHomeMade::SetCle(const void* pCle, size_t n) {
  std::memset(m_abyCle, 0, sizeof(m_abyCle));
  if (pCle != nullptr) std::memcpy(m_abyCle, pCle, n < kTailleCle ? n : kTailleCle);
}

void CCryptHomeMade::DeriveOctets(uint32_t nGraine, const uint8_t* p, size_t n) {
  // Two FNV-1a lanes over the seed and the bytes, then mixed.
  uint64_t h1 = 0xCBF29CE484222325ull ^ nGraine;
  uint64_t h2 = 0x84222325CBF29CE4ull ^ (uint64_t{nGraine} << 32);
  for (size_t i = 0; i < n; ++i) {
    h1 = (h1 ^ p[i]) * 0x100000001B3ull;
    h2 = (h2 ^ p[i] ^ (i & 0xFF)) * 0x100000001B3ull;
  }
  h1 = Melange(h1 ^ n);
  h2 = Melange(h2 ^ h1);
  for (int i = 0; i < 8; ++i) {
    m_abyCle[i] = static_cast<uint8_t>(h1 >> (8 * i));
    m_abyCle[8 + i] = static_cast<uint8_t>(h2 >> (8 * i));
  }
}

void CCryptHomeMade::DeriveCle(uint32_t nGraine, const char16_t* psz) {
  std::string octets;
  if (psz != nullptr) {
    bool b1252 = true;
    for (const char16_t* q = psz; *q != 0; ++q) {
      const int c = qg::UnicodeToCp1252(*q);
      if (c < 0 || qg::Cp1252ToUnicode(static_cast<unsigned char>(c)) != *q) {
        b1252 = false;
        break;
      }
      octets.push_back(static_cast<char>(c));
    }
    if (!b1252) {
      octets.clear();
      for (const char16_t* q = psz; *q != 0; ++q) {
        octets.push_back(static_cast<char>(*q & 0xFF));
        octets.push_back(static_cast<char>(*q >> 8));
      }
    }
  }
  DeriveOctets(nGraine, reinterpret_cast<const uint8_t*>(octets.data()), octets.size());
}

void CCryptHomeMade::DeriveCle(uint32_t nGraine, const char* psz) {
  const size_t n = psz == nullptr ? 0 : std::strlen(psz);
  DeriveOctets(nGraine, reinterpret_cast<const uint8_t*>(psz), n);
}

void CCryptHomeMade::Brouille(void* p, size_t n) const { Combine(m_abyCle, p, n); }

void CCryptHomeMade::Debrouille(void* p, size_t n) const { Combine(m_abyCle, p, n); }
