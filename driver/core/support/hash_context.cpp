#include "driver/core/support/hash_context.h"

#include <cstring>

namespace {

constexpr uint32_t kSha1Init[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
constexpr uint32_t kSha256Init[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
constexpr uint64_t kSha384Init[8] = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17,
                                     0x152fecd8f70e5939, 0x67332667ffc00b31, 0x8eb44a8768581511,
                                     0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
constexpr uint64_t kSha512Init[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                     0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                     0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};

constexpr uint32_t kK256[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint64_t kK512[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};

inline uint32_t Rotr32(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
inline uint32_t Rotl32(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint64_t Rotr64(uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

inline uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
inline uint64_t Load64(const uint8_t* p) { return uint64_t{Load32(p)} << 32 | Load32(p + 4); }
inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
inline void Store64(uint8_t* p, uint64_t v) {
  Store32(p, uint32_t(v >> 32));
  Store32(p + 4, uint32_t(v));
}

void CompressSha1(uint32_t* h, const uint8_t* block) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = Load32(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = Rotl32(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  auto step = [&](uint32_t f, uint32_t k, uint32_t wt) {
    uint32_t t = Rotl32(a, 5) + f + e + k + wt;
    e = d;
    d = c;
    c = Rotl32(b, 30);
    b = a;
    a = t;
  };
#pragma GCC unroll 20
  for (int t = 0; t < 20; ++t) step((b & c) ^ (~b & d), 0x5a827999, w[t]);
#pragma GCC unroll 20
  for (int t = 20; t < 40; ++t) step(b ^ c ^ d, 0x6ed9eba1, w[t]);
#pragma GCC unroll 20
  for (int t = 40; t < 60; ++t) step((b & c) ^ (b & d) ^ (c & d), 0x8f1bbcdc, w[t]);
#pragma GCC unroll 20
  for (int t = 60; t < 80; ++t) step(b ^ c ^ d, 0xca62c1d6, w[t]);
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
}

void CompressSha256(uint32_t* h, const uint8_t* block) {
  uint32_t w[64];
#pragma GCC unroll 16
  for (int t = 0; t < 16; ++t) w[t] = Load32(block + 4 * t);
#pragma GCC unroll 48
  for (int t = 16; t < 64; ++t) {
    uint32_t s0 = Rotr32(w[t - 15], 7) ^ Rotr32(w[t - 15], 18) ^ (w[t - 15] >> 3);
    uint32_t s1 = Rotr32(w[t - 2], 17) ^ Rotr32(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
#pragma GCC unroll 64
  for (int t = 0; t < 64; ++t) {
    uint32_t t1 = hh + (Rotr32(e, 6) ^ Rotr32(e, 11) ^ Rotr32(e, 25)) + ((e & f) ^ (~e & g)) +
                  kK256[t] + w[t];
    uint32_t t2 = (Rotr32(a, 2) ^ Rotr32(a, 13) ^ Rotr32(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    hh = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
  h[5] += f;
  h[6] += g;
  h[7] += hh;
}

void CompressSha512(uint64_t* h, const uint8_t* block) {
  uint64_t w[80];
#pragma GCC unroll 16
  for (int t = 0; t < 16; ++t) w[t] = Load64(block + 8 * t);
#pragma GCC unroll 64
  for (int t = 16; t < 80; ++t) {
    uint64_t s0 = Rotr64(w[t - 15], 1) ^ Rotr64(w[t - 15], 8) ^ (w[t - 15] >> 7);
    uint64_t s1 = Rotr64(w[t - 2], 19) ^ Rotr64(w[t - 2], 61) ^ (w[t - 2] >> 6);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  uint64_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
#pragma GCC unroll 80
  for (int t = 0; t < 80; ++t) {
    uint64_t t1 = hh + (Rotr64(e, 14) ^ Rotr64(e, 18) ^ Rotr64(e, 41)) + ((e & f) ^ (~e & g)) +
                  kK512[t] + w[t];
    uint64_t t2 = (Rotr64(a, 28) ^ Rotr64(a, 34) ^ Rotr64(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
    hh = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
  h[5] += f;
  h[6] += g;
  h[7] += hh;
}

}  // namespace

CNAHashContext::CNAHashContext() { Reset(); }

CNAHashContext::~CNAHashContext() = default;

int32_t CNAHashContext::Release() {
  int32_t left = m_nRefs.fetch_sub(1) - 1;
  if (left == 0) delete this;
  return left;
}

void CNAHashContext::SetVariant(int32_t variant) {
  m_nVariant = variant;
  Reset();
}

void CNAHashContext::Reset() {
  m_bUpdated = false;
  m_nBits = 0;
  m_nBitsHigh = 0;
  m_nPending = 0;
  switch (m_nVariant) {
    case kSha1:
      std::memcpy(m_anState32, kSha1Init, sizeof kSha1Init);
      break;
    case kSha256:
    case kDoubleSha256:
      std::memcpy(m_anState32, kSha256Init, sizeof kSha256Init);
      break;
    case kSha384:
      std::memcpy(m_anState64, kSha384Init, sizeof kSha384Init);
      break;
    case kSha512:
      std::memcpy(m_anState64, kSha512Init, sizeof kSha512Init);
      break;
    default:
      break;  // unknown variant: no initial value to load
  }
}

int CNAHashContext::nGetDigestSize() const {
  switch (m_nVariant) {
    case kSha1: return 20;
    case kSha256:
    case kDoubleSha256: return 32;
    case kSha384: return 48;
    default: return 64;
  }
}

int CNAHashContext::nGetBlockSize() const { return bIsWide() ? 128 : 64; }

void CNAHashContext::Compress() {
  switch (m_nVariant) {
    case kSha1:
      CompressSha1(m_anState32, m_abyBlock);
      break;
    case kSha256:
    case kDoubleSha256:
      CompressSha256(m_anState32, m_abyBlock);
      break;
    case kSha384:
    case kSha512:
      CompressSha512(m_anState64, m_abyBlock);
      break;
    default:
      break;
  }
}

void CNAHashContext::Update(const void* data, size_t n) {
  m_bUpdated = true;
  if (n == 0) return;
  // The length is kept modulo 2^128 (2^64 for the narrow variants, whose
  // high half is never written out).
  uint64_t add_low = uint64_t(n) << 3;
  uint64_t add_high = uint64_t(n) >> 61;
  uint64_t before = m_nBits;
  m_nBits += add_low;
  m_nBitsHigh += add_high + (m_nBits < before ? 1 : 0);

  const size_t block = size_t(nGetBlockSize());
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (m_nPending > 0) {
    size_t take = block - m_nPending;
    if (take > n) take = n;
    std::memcpy(m_abyBlock + m_nPending, p, take);
    m_nPending += take;
    p += take;
    n -= take;
    if (m_nPending < block) return;
    Compress();
    m_nPending = 0;
  }
  while (n >= block) {
    // Each block goes through the pending-block field before compression.
    std::memcpy(m_abyBlock, p, block);
    Compress();
    p += block;
    n -= block;
  }
  std::memcpy(m_abyBlock, p, n);
  m_nPending = n;
}

void CNAHashContext::Final(uint8_t* digest) {
  const size_t block = size_t(nGetBlockSize());
  const size_t length_bytes = bIsWide() ? 16 : 8;
  const uint64_t bits_low = m_nBits;
  const uint64_t bits_high = m_nBitsHigh;

  m_abyBlock[m_nPending++] = 0x80;
  if (m_nPending > block - length_bytes) {
    std::memset(m_abyBlock + m_nPending, 0, block - m_nPending);
    Compress();
    m_nPending = 0;
  }
  std::memset(m_abyBlock + m_nPending, 0, block - m_nPending);
  if (bIsWide()) Store64(m_abyBlock + block - 16, bits_high);
  Store64(m_abyBlock + block - 8, bits_low);
  Compress();
  m_nPending = 0;

  switch (m_nVariant) {
    case kSha1:
      for (int i = 0; i < 5; ++i) Store32(digest + 4 * i, m_anState32[i]);
      break;
    case kSha256:
      for (int i = 0; i < 8; ++i) Store32(digest + 4 * i, m_anState32[i]);
      break;
    case kDoubleSha256: {
      uint8_t first[32];
      for (int i = 0; i < 8; ++i) Store32(first + 4 * i, m_anState32[i]);
      Reset();
      Update(first, sizeof first);
      m_nVariant = kSha256;
      Final(digest);
      m_nVariant = kDoubleSha256;
      break;
    }
    case kSha384:
      for (int i = 0; i < 6; ++i) Store64(digest + 8 * i, m_anState64[i]);
      break;
    case kSha512:
      for (int i = 0; i < 8; ++i) Store64(digest + 8 * i, m_anState64[i]);
      break;
    default:
      break;
  }
}
