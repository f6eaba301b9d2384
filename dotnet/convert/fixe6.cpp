#include "dotnet/convert/fixe6.h"

#include <cstring>

#include "support/currency.h"

const uint16_t kFixe6UnMillion[kFixe6Mots] = {0x4240, 0x000F, 0, 0, 0};
const uint16_t kFixe6MoinsUnMillion[kFixe6Mots] = {0xBDC0, 0xFFF0, 0xFFFF, 0xFFFF, 0xFFFF};
const uint16_t kFixe6_65536[kFixe6Mots] = {0, 1, 0, 0, 0};

namespace {

using u128 = unsigned __int128;

// Magnitudes in 16-bit words, least significant first. Twenty words hold
// any product of two ten-word values.
constexpr int kMots = 20;
struct Grand {
  uint16_t w[kMots];
};

void Zero(Grand& g) { std::memset(g.w, 0, sizeof g.w); }

bool EstNegatif(const uint16_t* pw, int n) { return (pw[n - 1] & 0x8000u) != 0; }

// Magnitude of an n-word two's-complement value (2^(16n-1) for the most
// negative one, which still fits as unsigned).
void Magnitude(Grand& g, const uint16_t* pw, int n) {
  Zero(g);
  std::memcpy(g.w, pw, sizeof(uint16_t) * static_cast<size_t>(n));
  if (EstNegatif(pw, n)) Fixe6Negatif(g.w, n);
}

int NbMotsSignificatifs(const Grand& g) {
  int n = kMots;
  while (n > 0 && g.w[n - 1] == 0) --n;
  return n;
}

int NbBits(const Grand& g) {
  const int n = NbMotsSignificatifs(g);
  if (n == 0) return 0;
  int b = 16;
  while ((g.w[n - 1] & (1u << (b - 1))) == 0) --b;
  return (n - 1) * 16 + b;
}

u128 VersU128(const Grand& g) {
  u128 v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 16) | g.w[i];
  return v;
}

void DepuisU128(Grand& g, u128 v) {
  Zero(g);
  for (int i = 0; i < 8; ++i) {
    g.w[i] = static_cast<uint16_t>(v);
    v >>= 16;
  }
}

// Schoolbook product, 16 x 16 bits into 32; false when it needs more than
// ten words.
bool Multiplie(const Grand& a, const Grand& b, Grand& p) {
  Zero(p);
  const int na = NbMotsSignificatifs(a);
  const int nb = NbMotsSignificatifs(b);
  for (int i = 0; i < na; ++i) {
    uint32_t nRetenue = 0;
    for (int j = 0; j < nb; ++j) {
      const uint32_t t = static_cast<uint32_t>(a.w[i]) * b.w[j] + p.w[i + j] + nRetenue;
      p.w[i + j] = static_cast<uint16_t>(t);
      nRetenue = t >> 16;
    }
    for (int k = i + nb; nRetenue != 0 && k < kMots; ++k) {
      const uint32_t t = static_cast<uint32_t>(p.w[k]) + nRetenue;
      p.w[k] = static_cast<uint16_t>(t);
      nRetenue = t >> 16;
    }
  }
  return NbMotsSignificatifs(p) <= kFixe6MotsTravail;
}

int Compare(const Grand& a, const Grand& b) {
  for (int i = kMots - 1; i >= 0; --i) {
    if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
  }
  return 0;
}

void Soustrait(Grand& a, const Grand& b) {
  int32_t nEmprunt = 0;
  for (int i = 0; i < kMots; ++i) {
    int32_t t = static_cast<int32_t>(a.w[i]) - b.w[i] - nEmprunt;
    nEmprunt = t < 0 ? 1 : 0;
    a.w[i] = static_cast<uint16_t>(t);
  }
}

void DecaleGauche(Grand& a, unsigned nBitEntrant) {
  for (int i = 0; i < kMots; ++i) {
    const unsigned nSortant = a.w[i] >> 15;
    a.w[i] = static_cast<uint16_t>((a.w[i] << 1) | nBitEntrant);
    nBitEntrant = nSortant;
  }
}

void Incremente(Grand& a) {
  for (int i = 0; i < kMots && ++a.w[i] == 0; ++i) {
  }
}

// q = a / d rounded half away from zero: bit-serial long division, then one
// more shifted comparison of the remainder.
void DiviseArrondiMots(const Grand& a, const Grand& d, Grand& q) {
  Zero(q);
  Grand r;
  Zero(r);
  for (int i = NbBits(a) - 1; i >= 0; --i) {
    DecaleGauche(r, (a.w[i / 16] >> (i % 16)) & 1u);
    DecaleGauche(q, 0);
    if (Compare(r, d) >= 0) {
      Soustrait(r, d);
      q.w[0] |= 1;
    }
  }
  DecaleGauche(r, 0);
  if (Compare(r, d) >= 0) Incremente(q);
}

void DiviseArrondi(const Grand& a, const Grand& d, Grand& q, bool bRapide) {
  if (bRapide && NbBits(a) <= 128) {
    const u128 va = VersU128(a);
    const u128 vd = VersU128(d);  // at most 80 bits
    u128 vq = va / vd;
    const u128 vr = va % vd;
    if (vr >= vd - vr) ++vq;  // 2r >= d without overflow
    DepuisU128(q, vq);
    return;
  }
  DiviseArrondiMots(a, d, q);
}

bool Produit(const Grand& a, const Grand& b, Grand& p, bool bRapide) {
  if (bRapide && NbBits(a) + NbBits(b) <= 128) {
    DepuisU128(p, VersU128(a) * VersU128(b));
    return NbMotsSignificatifs(p) <= kFixe6MotsTravail;
  }
  return Multiplie(a, b, p);
}

// Writes the magnitude back into n words with the sign; false when it does
// not fit with a clear sign bit.
bool Restitue(uint16_t* pw, int n, const Grand& mag, bool bNegatif) {
  if (NbMotsSignificatifs(mag) > n || (mag.w[n - 1] & 0x8000u) != 0) return false;
  std::memcpy(pw, mag.w, sizeof(uint16_t) * static_cast<size_t>(n));
  if (bNegatif) Fixe6Negatif(pw, n);
  return true;
}

// Fast forms for values of at most five words whose product stays within
// 128 bits; false when the word forms must take over.
void ChargeCourt(const uint16_t* pw, int n, u128& mag, bool& bNegatif) {
  u128 v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 16) | pw[i];
  bNegatif = EstNegatif(pw, n);
  if (bNegatif) v = (u128{1} << (16 * n)) - v;
  mag = v;
}

int Bits(u128 v) {
  const uint64_t h = static_cast<uint64_t>(v >> 64);
  if (h != 0) return 128 - __builtin_clzll(h);
  const uint64_t l = static_cast<uint64_t>(v);
  return l == 0 ? 0 : 64 - __builtin_clzll(l);
}

bool RestitueCourt(uint16_t* pw, int n, u128 mag, bool bNegatif) {
  if (Bits(mag) > 16 * n - 1) return false;
  if (bNegatif) mag = 0 - mag;
  for (int i = 0; i < n; ++i, mag >>= 16) pw[i] = static_cast<uint16_t>(mag);
  return true;
}

u128 DiviseArrondiCourt(u128 a, u128 d) {
  u128 q = a / d;
  const u128 r = a - q * d;
  if (r >= d - r) ++q;
  return q;
}

uint16_t* MultiplieInterne(uint16_t* pwValeur, int n, const uint16_t* pwFacteur, bool bDivise,
                           bool bRapide) {
  if (pwValeur == nullptr || pwFacteur == nullptr || n < 1 || n > kFixe6MotsTravail) return nullptr;
  if (bRapide && n <= kFixe6Mots) {
    u128 ma, mf;
    bool bNa, bNf;
    ChargeCourt(pwValeur, n, ma, bNa);
    ChargeCourt(pwFacteur, kFixe6Mots, mf, bNf);
    if (Bits(ma) + Bits(mf) <= 128) {
      u128 p = ma * mf;
      if (bDivise) p = DiviseArrondiCourt(p, 1000000);
      return RestitueCourt(pwValeur, n, p, bNa != bNf) ? pwValeur : nullptr;
    }
  }
  Grand a, f, p;
  Magnitude(a, pwValeur, n);
  Magnitude(f, pwFacteur, kFixe6Mots);
  const bool bNegatif = EstNegatif(pwValeur, n) != EstNegatif(pwFacteur, kFixe6Mots);
  if (!Produit(a, f, p, bRapide)) return nullptr;
  if (bDivise) {
    Grand d, q;
    Magnitude(d, kFixe6UnMillion, kFixe6Mots);
    DiviseArrondi(p, d, q, bRapide);
    p = q;
  }
  return Restitue(pwValeur, n, p, bNegatif) ? pwValeur : nullptr;
}

uint16_t* DiviseInterne(uint16_t* pwValeur, int n, const uint16_t* pwDiviseur,
                        const uint16_t* pwFacteur, bool bRapide) {
  if (pwValeur == nullptr || pwDiviseur == nullptr || n < 1 || n > kFixe6MotsTravail) return nullptr;
  if (bRapide && n <= kFixe6Mots) {
    u128 ma, md, mf = 1;
    bool bNa, bNd, bNf = false;
    ChargeCourt(pwValeur, n, ma, bNa);
    ChargeCourt(pwDiviseur, kFixe6Mots, md, bNd);
    if (md == 0) return nullptr;
    if (pwFacteur != nullptr) ChargeCourt(pwFacteur, kFixe6Mots, mf, bNf);
    if (Bits(ma) + Bits(mf) <= 128) {
      const u128 a = ma * mf;
      const u128 q = a == 0 ? 0 : DiviseArrondiCourt(a, md);
      return RestitueCourt(pwValeur, n, q, (bNa != bNd) != bNf) ? pwValeur : nullptr;
    }
  }
  Grand a, d;
  Magnitude(d, pwDiviseur, kFixe6Mots);
  if (NbMotsSignificatifs(d) == 0) return nullptr;
  Magnitude(a, pwValeur, n);
  bool bNegatif = EstNegatif(pwValeur, n) != EstNegatif(pwDiviseur, kFixe6Mots);
  if (pwFacteur != nullptr) {
    Grand f, p;
    Magnitude(f, pwFacteur, kFixe6Mots);
    if (!Produit(a, f, p, bRapide)) return nullptr;
    a = p;
    bNegatif = bNegatif != EstNegatif(pwFacteur, kFixe6Mots);
  }
  Grand q;
  if (NbMotsSignificatifs(a) == 0) {
    Zero(q);
  } else {
    DiviseArrondi(a, d, q, bRapide);
  }
  return Restitue(pwValeur, n, q, bNegatif) ? pwValeur : nullptr;
}

// Magnitude times 65,536 divided by 1,000,000: 16 fraction bits in word 0,
// the last one rounded.
void SeiziemesDeBit(const uint16_t* pwValeur, Grand& q) {
  uint16_t w[kFixe6Mots + 1] = {};
  std::memcpy(w, pwValeur, sizeof(uint16_t) * kFixe6Mots);
  Grand a, f, d, p;
  Magnitude(a, w, kFixe6Mots);
  Magnitude(f, kFixe6_65536, kFixe6Mots);
  Magnitude(d, kFixe6UnMillion, kFixe6Mots);
  Produit(a, f, p, true);  // at most 96 bits
  DiviseArrondi(p, d, q, true);
}

}  // namespace

void Fixe6Negatif(uint16_t* pwMots, int n) { qg::nNegationMots(pwMots, n); }

uint16_t* pFixe6Multiplie(uint16_t* pwValeur, int n, const uint16_t* pwFacteur, bool bDivise) {
  return MultiplieInterne(pwValeur, n, pwFacteur, bDivise, true);
}

uint16_t* pFixe6Divise(uint16_t* pwValeur, int n, const uint16_t* pwDiviseur,
                       const uint16_t* pwFacteur) {
  return DiviseInterne(pwValeur, n, pwDiviseur, pwFacteur, true);
}

uint16_t* qg::Fixe6MultiplieMots(uint16_t* pwValeur, int n, const uint16_t* pwFacteur, bool bDivise) {
  return MultiplieInterne(pwValeur, n, pwFacteur, bDivise, false);
}

uint16_t* qg::Fixe6DiviseMots(uint16_t* pwValeur, int n, const uint16_t* pwDiviseur,
                              const uint16_t* pwFacteur) {
  return DiviseInterne(pwValeur, n, pwDiviseur, pwFacteur, false);
}

uint16_t* pFixe6DepuisI4(uint16_t* pwSortie, int32_t n) {
  return pFixe6DepuisI8(pwSortie, n);
}

uint16_t* pFixe6DepuisI8(uint16_t* pwSortie, int64_t n) {
  uint16_t w[kFixe6Mots];
  uint64_t v = static_cast<uint64_t>(n);
  for (int i = 0; i < 4; ++i) {
    w[i] = static_cast<uint16_t>(v);
    v >>= 16;
  }
  w[4] = n < 0 ? 0xFFFF : 0;
  if (pFixe6Multiplie(w, kFixe6Mots, kFixe6UnMillion, false) == nullptr) return nullptr;
  std::memcpy(pwSortie, w, sizeof w);
  return pwSortie;
}

uint16_t* pFixe6DepuisUI8(uint16_t* pwSortie, uint64_t n) {
  uint16_t w[kFixe6Mots];
  for (int i = 0; i < 4; ++i) {
    w[i] = static_cast<uint16_t>(n);
    n >>= 16;
  }
  w[4] = 0;
  if (pFixe6Multiplie(w, kFixe6Mots, kFixe6UnMillion, false) == nullptr) return nullptr;
  std::memcpy(pwSortie, w, sizeof w);
  return pwSortie;
}

bool bFixe6EstNul(const uint16_t* pwValeur) {
  for (int i = 0; i < kFixe6Mots; ++i) {
    if (pwValeur[i] != 0) return false;
  }
  return true;
}

bool bFixe6VersI4(const uint16_t* pwValeur, int32_t* pn) {
  Grand q;
  SeiziemesDeBit(pwValeur, q);
  if (q.w[3] != 0 || q.w[4] != 0) return false;
  const uint32_t nMag = static_cast<uint32_t>(q.w[1]) | (static_cast<uint32_t>(q.w[2]) << 16);
  const bool bNegatif = EstNegatif(pwValeur, kFixe6Mots);
  if (nMag > (bNegatif ? 0x80000000u : 0x7FFFFFFFu)) return false;
  *pn = static_cast<int32_t>(bNegatif ? 0u - nMag : nMag);
  return true;
}

bool bFixe6VersI8(const uint16_t* pwValeur, int64_t* pn) {
  Grand q;
  SeiziemesDeBit(pwValeur, q);
  uint64_t nMag = 0;
  for (int i = 4; i >= 1; --i) nMag = (nMag << 16) | q.w[i];
  *pn = static_cast<int64_t>(EstNegatif(pwValeur, kFixe6Mots) ? 0 - nMag : nMag);
  return true;
}

bool bFixe6VersI8Arrondi(const uint16_t* pwValeur, int64_t* pn) {
  uint16_t w[kFixe6Mots];
  std::memcpy(w, pwValeur, sizeof w);
  if (pFixe6Divise(w, kFixe6Mots, kFixe6UnMillion, nullptr) == nullptr) return false;
  uint64_t n = 0;
  for (int i = 3; i >= 0; --i) n = (n << 16) | w[i];
  *pn = static_cast<int64_t>(n);
  return w[4] == 0 || w[4] == 0xFFFF;
}
