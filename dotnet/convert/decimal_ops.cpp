#include "dotnet/convert/decimal_ops.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace {

using u128 = unsigned __int128;

constexpr u128 kBitSigne = u128{1} << 127;
constexpr u128 kMaxPositif = kBitSigne - 1;
constexpr int kMaxChiffres = 38;

// Digits held by n bytes of two's complement, n = 0..16.
constexpr int kChiffresParOctets[17] = {0, 2, 4, 6, 9, 11, 14, 16, 18, 21, 23, 26, 28, 31, 33, 35, 38};
// Bytes needed by p digits, p = 1..38 (index 0 unused).
constexpr int kOctetsParChiffres[39] = {0,  1,  1,  2,  2,  3,  3,  4,  4,  4,  5,  5,  6,
                                        6,  6,  7,  7,  8,  8,  9,  9,  9,  10, 10, 11, 11,
                                        11, 12, 12, 13, 13, 13, 14, 14, 15, 15, 16, 16, 16};
constexpr uint32_t kPuissances10[10] = {1u,      10u,      100u,      1000u,      10000u,
                                        100000u, 1000000u, 10000000u, 100000000u, 1000000000u};

u128 LitMantisse(const qg::DecimalFields& f) {
  u128 m = 0;
  for (int i = 15; i >= 0; --i) m = (m << 8) | f.abyMantissa[i];
  return m;
}

void EcritMantisse(qg::DecimalFields& f, u128 m) {
  for (int i = 0; i < 16; ++i) {
    f.abyMantissa[i] = static_cast<uint8_t>(m);
    m >>= 8;
  }
}

bool EstNegatif(u128 m) { return (m & kBitSigne) != 0; }
u128 Magnitude(u128 m) { return EstNegatif(m) ? 0 - m : m; }

// Magnitude times 10^k in steps of 10^9; 2 when a step reaches the sign bit
// (the product then wraps as the word-wise multiply would leave it).
int MultiplieMagnitude(u128& mag, int k) {
  int nStatut = 0;
  while (k > 0) {
    const int nPas = k > 9 ? 9 : k;
    const uint32_t p = kPuissances10[nPas];
    if (mag > kMaxPositif / p) nStatut |= kDecimalDepassement;
    mag *= p;
    k -= nPas;
  }
  return nStatut;
}

// Magnitude divided by 10^k, truncating; 1 when something non-zero dropped.
int DiviseMagnitude(u128& mag, int k) {
  int nStatut = 0;
  while (k > 0 && mag != 0) {
    const int nPas = k > 9 ? 9 : k;
    const uint32_t p = kPuissances10[nPas];
    if (mag % p != 0) nStatut |= kDecimalPerte;
    mag /= p;
    k -= nPas;
  }
  return nStatut;
}

// Two's-complement mantissa times 10^k: magnitude, multiply, sign back.
int MultiplieMantisse(u128& m, int k) {
  const bool bNegatif = EstNegatif(m);
  u128 mag = Magnitude(m);
  const int nStatut = MultiplieMagnitude(mag, k);
  m = bNegatif ? 0 - mag : mag;
  return nStatut;
}

// Two's-complement mantissa divided by 10^k towards minus infinity.
int DiviseMantisse(u128& m, int k) {
  if (!EstNegatif(m)) return DiviseMagnitude(m, k);
  u128 mag = 0 - m;
  const int nStatut = DiviseMagnitude(mag, k);
  if (nStatut != 0) ++mag;  // floor of a negative quotient with a remainder
  m = 0 - mag;
  return nStatut;
}

int OctetsSignificatifs(u128 m) {
  uint8_t o[16];
  for (int i = 0; i < 16; ++i) o[i] = static_cast<uint8_t>(m >> (8 * i));
  if (!EstNegatif(m)) {
    int i = 15;
    while (i >= 0 && o[i] == 0) --i;
    if (i < 0) return 0;
    return i + 1 + ((o[i] & 0x80) ? 1 : 0);
  }
  int i = 15;
  while (i >= 0 && o[i] == 0xFF) --i;
  if (i < 0) return 1;
  return i + 1 + ((o[i] & 0x80) ? 0 : 1);
}

int EchelleLue(const qg::DecimalFields& f) { return f.nScale < 0 ? 0 : f.nScale; }

void AjustePrecision(qg::DecimalFields& f) {
  int n = OctetsSignificatifs(LitMantisse(f));
  if (n > 16) n = 16;
  const int p = kChiffresParOctets[n] + 1;
  f.nPrecision = p > kMaxChiffres ? kMaxChiffres : p;
}

// Rounds the magnitude of f from nEchelle to nNouvelle decimals.
int Arrondit(qg::DecimalFields& f, int nEchelle, int nNouvelle, int nMode) {
  if (nNouvelle < 0 || nNouvelle >= nEchelle) return 0;
  const int k = nEchelle - nNouvelle;
  u128 m = LitMantisse(f);
  const bool bNegatif = EstNegatif(m);
  u128 mag = Magnitude(m);
  if (bNegatif && (nMode == 1 || nMode == 2)) nMode = 3 - nMode;
  int nStatut = 0;
  bool bPlusUn = false;
  if (nMode == 2) {
    if (DiviseMagnitude(mag, k) != 0) {
      nStatut |= kDecimalPerte;
      bPlusUn = true;
    }
  } else {
    nStatut |= DiviseMagnitude(mag, k - 1);
    const uint32_t r = static_cast<uint32_t>(mag % 10);
    mag /= 10;
    if (r != 0) {
      nStatut |= kDecimalPerte;
      if (nMode != 1 && r > 4) bPlusUn = true;
    }
  }
  if (bPlusUn) {
    ++mag;
    if (mag > (bNegatif ? kBitSigne : kMaxPositif)) nStatut |= kDecimalDepassement;
  }
  EcritMantisse(f, bNegatif ? 0 - mag : mag);
  f.nScale = nNouvelle;
  return nStatut;
}

template <typename T>
int LitEntier(const qg::IDecimal* pi, T* pn, bool bSigne) {
  const qg::DecimalFields& f = pi->m_stFields;
  const u128 m = LitMantisse(f);
  const bool bNegatif = EstNegatif(m);
  if (!bSigne && bNegatif) return kDecimalNegatif;
  u128 mag = Magnitude(m);
  int nStatut = DiviseMagnitude(mag, EchelleLue(f));
  constexpr int nBits = sizeof(T) * 8;
  using U = std::make_unsigned_t<T>;
  U n = static_cast<U>(mag);
  if ((mag >> nBits) != 0) nStatut |= kDecimalDepassement;
  if (bSigne && (n >> (nBits - 1)) != 0) nStatut |= kDecimalDepassement;
  if (bNegatif) n = static_cast<U>(0 - n);
  *pn = static_cast<T>(n);
  return nStatut;
}

template <typename R>
int LitReel(const qg::IDecimal* pi, R* pr) {
  const qg::DecimalFields& f = pi->m_stFields;
  const u128 m = LitMantisse(f);
  const u128 mag = Magnitude(m);
  R r = 0;
  for (int i = 3; i >= 0; --i) r = r * static_cast<R>(4294967296.0) + static_cast<R>(static_cast<uint32_t>(mag >> (32 * i)));
  int nEchelle = EchelleLue(f);
  while (nEchelle > 8) {
    r /= static_cast<R>(1e9);
    nEchelle -= 9;
  }
  r /= static_cast<R>(kPuissances10[nEchelle]);
  *pr = EstNegatif(m) ? -r : r;
  return kDecimalPerte;
}

int AffecteEntier(qg::IDecimal* pi, uint64_t nMagnitude, bool bNegatif) {
  qg::DecimalFields& f = pi->m_stFields;
  f.nPrecision = kMaxChiffres;
  f.nScale = 0;
  EcritMantisse(f, nMagnitude);
  if (bNegatif) pi->vNegate();
  AjustePrecision(f);
  return 0;
}

bool EstBlanc(char16_t c) { return c == u' ' || c == u'\t'; }
bool EstChiffre(char16_t c) { return c >= u'0' && c <= u'9'; }

// Text of the digits of mag in base 10, most significant first, into a
// buffer of at least 40 units; returns the count (0 for zero).
int ChiffresDecimaux(u128 mag, char16_t* pc) {
  char16_t tmp[40];
  int n = 0;
  while (mag != 0) {
    tmp[n++] = static_cast<char16_t>(u'0' + static_cast<int>(mag % 10));
    mag /= 10;
  }
  for (int i = 0; i < n; ++i) pc[i] = tmp[n - 1 - i];
  return n;
}

// The real read back from its text at `digits` significant digits.
template <typename Real>
int AffecteReel(qg::IDecimal* piDecimal, Real r, int digits) {
  if (!std::isfinite(r)) return kDecimalDepassement;
  char sz[64];
  const auto res = std::to_chars(sz, sz + sizeof sz - 1, r, std::chars_format::general, digits);
  *res.ptr = 0;
  char16_t wsz[64];
  for (size_t i = 0; i <= static_cast<size_t>(res.ptr - sz); ++i) wsz[i] = static_cast<char16_t>(sz[i]);
  return nAffecteTexte(piDecimal, wsz);
}

}  // namespace

int nAffecteUI4(qg::IDecimal* piDecimal, uint32_t n) { return AffecteEntier(piDecimal, n, false); }
int nAffecteUI8(qg::IDecimal* piDecimal, uint64_t n) { return AffecteEntier(piDecimal, n, false); }
int nAffecteI4(qg::IDecimal* piDecimal, int32_t n) {
  const uint64_t mag = n < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(n)) : static_cast<uint64_t>(n);
  return AffecteEntier(piDecimal, mag, n < 0);
}
int nAffecteI8(qg::IDecimal* piDecimal, int64_t n) {
  const uint64_t mag = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  return AffecteEntier(piDecimal, mag, n < 0);
}

int nAffecteR4(qg::IDecimal* piDecimal, float r) { return AffecteReel(piDecimal, r, 7); }

int nAffecteR8(qg::IDecimal* piDecimal, double r) { return AffecteReel(piDecimal, r, 15); }

int nAffecteTexte(qg::IDecimal* piDecimal, const char16_t* psz) {
  qg::DecimalFields& f = piDecimal->m_stFields;
  std::memset(f.abyMantissa, 0, sizeof f.abyMantissa);
  if (psz == nullptr) psz = u"";
  int nStatut = 0;
  u128 mag = 0;
  int nChiffres = 0;
  int nDecimales = 0;
  const char16_t* p = psz;
  while (EstBlanc(*p)) ++p;
  bool bNegatif = false;
  if (*p == u'+' || *p == u'-') bNegatif = *p++ == u'-';
  while (EstBlanc(*p)) ++p;
  bool bSeparateur = false;
  for (;; ++p) {
    if (EstChiffre(*p)) {
      const int d = *p - u'0';
      if (bSeparateur && nDecimales >= kMaxChiffres) {
        // Beyond 38 decimals the digit can only be dropped.
        if (d != 0) nStatut |= kDecimalPerte;
        continue;
      }
      nStatut |= MultiplieMagnitude(mag, 1);
      const u128 avant = mag;
      mag += static_cast<unsigned>(d);
      if (!EstNegatif(avant) && EstNegatif(mag)) nStatut |= kDecimalDepassement;
      if (nChiffres < kMaxChiffres) ++nChiffres;
      if (bSeparateur) ++nDecimales;
    } else if ((*p == u'.' || *p == u',') && !bSeparateur) {
      bSeparateur = true;
    } else {
      break;
    }
  }
  while (EstBlanc(*p)) ++p;
  if (*p == u'D' || *p == u'E' || *p == u'd' || *p == u'e') {
    ++p;
    while (EstBlanc(*p)) ++p;
    bool bExposantNegatif = false;
    if (*p == u'+' || *p == u'-') bExposantNegatif = *p++ == u'-';
    while (EstBlanc(*p)) ++p;
    int nExposant = 0;
    for (; EstChiffre(*p); ++p) {
      if (nExposant < 100000) nExposant = nExposant * 10 + (*p - u'0');
    }
    if (!bExposantNegatif && nExposant > 76) return nStatut | kDecimalDepassement;
    if (bExposantNegatif) {
      int nTotal = nDecimales + nExposant;
      if (nTotal > kMaxChiffres) {
        // Digits past 38 decimals are dropped rather than mis-scaled.
        nStatut |= DiviseMagnitude(mag, nTotal - kMaxChiffres);
        nTotal = kMaxChiffres;
      }
      nDecimales = nTotal;
      if (nChiffres < nDecimales) nChiffres = nDecimales;
    } else if (nExposant > nDecimales) {
      nStatut |= MultiplieMagnitude(mag, nExposant - nDecimales);
      nChiffres += nExposant - nDecimales;
      if (nChiffres > kMaxChiffres) nChiffres = kMaxChiffres;
      nDecimales = 0;
    } else {
      nDecimales -= nExposant;
    }
  }
  EcritMantisse(f, mag);
  f.nPrecision = nChiffres;
  f.nScale = nDecimales;
  if (bNegatif) piDecimal->vNegate();
  return nStatut;
}

int nLitUI4(const qg::IDecimal* piDecimal, uint32_t* pn) { return LitEntier(piDecimal, pn, false); }
int nLitUI8(const qg::IDecimal* piDecimal, uint64_t* pn) { return LitEntier(piDecimal, pn, false); }
int nLitI4(const qg::IDecimal* piDecimal, int32_t* pn) { return LitEntier(piDecimal, pn, true); }
int nLitI8(const qg::IDecimal* piDecimal, int64_t* pn) { return LitEntier(piDecimal, pn, true); }
int nLitR4(const qg::IDecimal* piDecimal, float* pr) { return LitReel(piDecimal, pr); }
int nLitR8(const qg::IDecimal* piDecimal, double* pr) { return LitReel(piDecimal, pr); }

int nLitCY(const qg::IDecimal* piDecimal, uint16_t pwFixe6[5]) {
  const qg::DecimalFields& f = piDecimal->m_stFields;
  u128 m = LitMantisse(f);
  const bool bNegatifAvant = EstNegatif(m);
  const int nEchelle = EchelleLue(f);
  int nStatut = nEchelle < 6 ? MultiplieMantisse(m, 6 - nEchelle) : DiviseMantisse(m, nEchelle - 6);
  if (m != 0 && EstNegatif(m) != bNegatifAvant) nStatut |= kDecimalDepassement;
  // Bytes 10 to 15 must repeat the sign of byte 9.
  const u128 haut = static_cast<u128>(static_cast<__int128>(m) >> 79);
  if (haut != 0 && haut != ~u128{0}) nStatut |= kDecimalDepassement;
  for (int i = 0; i < 5; ++i) pwFixe6[i] = static_cast<uint16_t>(m >> (16 * i));
  return nStatut;
}

int nChangeEchelle(qg::IDecimal* piDecimal, int nDe, int nVers) {
  qg::DecimalFields& f = piDecimal->m_stFields;
  u128 m = LitMantisse(f);
  const bool bNegatifAvant = EstNegatif(m);
  int nStatut = 0;
  if (nVers > nDe) {
    nStatut = MultiplieMantisse(m, nVers - nDe);
  } else if (nDe > nVers) {
    nStatut = DiviseMantisse(m, nDe - nVers);
  }
  if (m != 0 && EstNegatif(m) != bNegatifAvant) nStatut |= kDecimalDepassement;
  EcritMantisse(f, m);
  return nStatut;
}

int nModifiePrecision(qg::IDecimal* piDecimal, int nPrecision) {
  qg::DecimalFields& f = piDecimal->m_stFields;
  f.nPrecision = nPrecision;
  const int nOctets = nPrecision < 1 ? 0 : kOctetsParChiffres[nPrecision > kMaxChiffres ? kMaxChiffres : nPrecision];
  return OctetsSignificatifs(LitMantisse(f)) > nOctets ? kDecimalDepassement : 0;
}

int nAjustePrecision(qg::IDecimal* piDecimal) {
  AjustePrecision(piDecimal->m_stFields);
  return 0;
}

int nAjoute(qg::IDecimal* piDecimal, uint32_t n) {
  qg::DecimalFields& f = piDecimal->m_stFields;
  const u128 avant = LitMantisse(f);
  const u128 apres = avant + n;
  EcritMantisse(f, apres);
  // A negative value crossing zero is a normal sum; only passing the
  // largest positive value is an overflow.
  return (!EstNegatif(avant) && EstNegatif(apres)) ? kDecimalDepassement : 0;
}

int nArrondit(qg::IDecimal* piDecimal, int nEchelle, int nNouvelleEchelle, int nMode) {
  return Arrondit(piDecimal->m_stFields, nEchelle, nNouvelleEchelle, nMode);
}

int nFormate(const qg::IDecimal* piDecimal, char16_t* psz, int nFlags, char16_t cConversion,
             int nLargeur, int nPrecision, int nLongueur) {
  if (psz == nullptr || nLongueur <= 0) return kDecimalDepassement;
  qg::DecimalFields f = piDecimal->m_stFields;  // rounding works on this copy
  int nStatut = 0;
  int nEchelle = EchelleLue(f);
  // Built left to right in a scratch area large enough for any value;
  // the sign and padding are added afterwards.
  constexpr int kMaxFraction = 200;
  if (nPrecision > kMaxFraction || nEchelle > kMaxFraction) {
    psz[0] = 0;
    return kDecimalDepassement;
  }
  char16_t corps[320];
  int n = 0;
  char16_t cSigne = 0;
  char16_t cRemplissage = (nFlags & kDecimalZeros) ? u'0' : u' ';
  const bool bOctal = cConversion == u'o' || cConversion == u'O';
  const bool bHexa = cConversion == u'x' || cConversion == u'X';
  u128 m = LitMantisse(f);
  const bool bNegatif = EstNegatif(m);
  if (bOctal || bHexa) {
    u128 v = m;
    DiviseMantisse(v, nEchelle);  // towards minus infinity
    const int nBits = bHexa ? 4 : 3;
    const unsigned nMasque = bHexa ? 15u : 7u;
    const char16_t* pszChiffres = cConversion == u'X' ? u"0123456789ABCDEF" : u"0123456789abcdef";
    char16_t tmp[64];
    int t = 0;
    if (!EstNegatif(v)) {
      do {
        tmp[t++] = pszChiffres[static_cast<unsigned>(v) & nMasque];
        v >>= nBits;
      } while (v != 0);
    } else {
      // Two's complement: digits until only sign bits remain and the last
      // digit written already shows the sign.
      unsigned d = 0;
      do {
        d = static_cast<unsigned>(v) & nMasque;
        tmp[t++] = pszChiffres[d];
        v = static_cast<u128>(static_cast<__int128>(v) >> nBits);
      } while (v != ~u128{0} || (d & (1u << (nBits - 1))) == 0);
      cRemplissage = bHexa ? pszChiffres[15] : u'7';
    }
    while (t > 0) corps[n++] = tmp[--t];
  } else if (cConversion == u'e' || cConversion == u'E') {
    const u128 mag = Magnitude(m);
    char16_t chiffres[40];
    const int nChiffres = ChiffresDecimaux(mag, chiffres);
    if (bNegatif) {
      cSigne = u'-';
    } else if (nFlags & kDecimalSigne) {
      cSigne = u'+';
    }
    corps[n++] = u'0';
    corps[n++] = u'.';
    if (nChiffres == 0) corps[n++] = u'0';
    for (int i = 0; i < nChiffres; ++i) corps[n++] = chiffres[i];
    corps[n++] = cConversion;
    const int nExposant = nChiffres == 0 ? 0 : nChiffres - nEchelle;
    corps[n++] = nExposant < 0 ? u'-' : u'+';
    const int nAbs = nExposant < 0 ? -nExposant : nExposant;
    corps[n++] = static_cast<char16_t>(u'0' + nAbs / 10 % 10);
    corps[n++] = static_cast<char16_t>(u'0' + nAbs % 10);
  } else {
    const bool bEntier = cConversion == u'd' || cConversion == u'D';
    int nFraction = 0;  // fraction digits to write, zeros past the scale included
    if (bEntier) {
      nFraction = 0;
    } else if (nPrecision >= 0 && nPrecision < nEchelle) {
      nStatut |= Arrondit(f, nEchelle, nPrecision, 0);
      nEchelle = nPrecision;
      m = LitMantisse(f);
      nFraction = nPrecision;
    } else if (nPrecision >= 0) {
      nFraction = nPrecision;
    } else {
      nFraction = nEchelle;
    }
    u128 mag = Magnitude(m);
    if (bNegatif) {
      cSigne = u'-';
    } else if (nFlags & kDecimalSigne) {
      cSigne = u'+';
    }
    u128 entier = mag;
    DiviseMagnitude(entier, nEchelle);
    u128 reste = mag;
    if (nEchelle == 0) {
      reste = 0;
    } else if (nEchelle <= kMaxChiffres) {
      u128 p = 1;
      for (int i = 0; i < nEchelle; ++i) p *= 10;
      reste = mag % p;
    }  // a larger scale leaves the whole magnitude as fraction
    char16_t chiffres[40];
    int nEnt = ChiffresDecimaux(entier, chiffres);
    if (nEnt == 0) chiffres[nEnt++] = u'0';
    for (int i = 0; i < nEnt; ++i) {
      if ((nFlags & kDecimalGroupes) && i > 0 && (nEnt - i) % 3 == 0) corps[n++] = u' ';
      corps[n++] = chiffres[i];
    }
    // Fraction digits: the scale's digits (leading zeros kept), then zeros.
    char16_t frac[kMaxFraction + 2];
    int nFrac = 0;
    if (!bEntier && nEchelle > 0) {
      char16_t tmp[40];
      const int nT = ChiffresDecimaux(reste, tmp);
      for (int i = nT; i < nEchelle; ++i) frac[nFrac++] = u'0';
      for (int i = 0; i < nT; ++i) frac[nFrac++] = tmp[i];
    }
    while (nFrac < nFraction) frac[nFrac++] = u'0';
    if (nFrac > nFraction) nFrac = nFraction;
    if (nPrecision < 0) {
      while (nFrac > 0 && frac[nFrac - 1] == u'0') --nFrac;
    }
    if (nFrac > 0) {
      corps[n++] = u'.';
      for (int i = 0; i < nFrac; ++i) corps[n++] = frac[i];
    }
  }
  const int nSigne = cSigne != 0 ? 1 : 0;
  const int nTexte = n + nSigne;
  const int nPad = nLargeur > nTexte ? nLargeur - nTexte : 0;
  if (int64_t{nTexte} + nPad + 1 > nLongueur) {
    psz[0] = 0;
    return nStatut | kDecimalDepassement;
  }
  int o = 0;
  const bool bGauche = (nFlags & kDecimalGauche) != 0;
  const bool bRemplitInterieur = !bGauche && cRemplissage != u' ';
  if (!bGauche && !bRemplitInterieur) {
    for (int i = 0; i < nPad; ++i) psz[o++] = u' ';
  }
  if (cSigne != 0) psz[o++] = cSigne;
  if (bRemplitInterieur) {
    for (int i = 0; i < nPad; ++i) psz[o++] = cRemplissage;
  }
  for (int i = 0; i < n; ++i) psz[o++] = corps[i];
  if (bGauche) {
    for (int i = 0; i < nPad; ++i) psz[o++] = u' ';
  }
  psz[o] = 0;
  return nStatut;
}
