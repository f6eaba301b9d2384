// Text and characters read as numbers; numbers written as text. The readers
// and writers imitate the Windows C runtime functions the values were
// defined with (_atoi64, _strtoui64, _gcvt ...) on char and char16_t,
// without the C locale.
#include <charconv>
#include <cmath>
#include <limits>

#include "dotnet/convert/conversion_common.h"
#include "dotnet/convert/decimal_ops.h"
#include "dotnet/convert/fixe6.h"
#include "dotnet/convert/normalise_nombre.h"
#include "support/currency.h"
#include "support/platform/codepage.h"
#include "support/platform/text16.h"
#include "support/text_functions.h"

namespace qg {

namespace {

template <typename C>
bool bBlanc(C c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Leading blanks, one sign, then decimal digits up to the first other
// character. *pbDeborde tells whether the magnitude passed 64 bits.
template <typename C>
uint64_t nLitMagnitude(const C* p, int n, bool* pbNegatif, bool* pbDeborde) {
  int i = 0;
  while (i < n && bBlanc(p[i])) ++i;
  *pbNegatif = false;
  if (i < n && (p[i] == '-' || p[i] == '+')) {
    *pbNegatif = p[i] == '-';
    ++i;
  }
  uint64_t v = 0;
  *pbDeborde = false;
  for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
    const unsigned nChiffre = static_cast<unsigned>(p[i] - '0');
    if (v > (std::numeric_limits<uint64_t>::max() - nChiffre) / 10) {
      *pbDeborde = true;
    } else if (!*pbDeborde) {
      v = v * 10 + nChiffre;
    }
  }
  return v;
}

// _atoi64 / _wtoi64, saturating beyond the 64-bit range.
int64_t nLitI64(const VueTexte& v, bool* pbSature) {
  bool bNegatif = false;
  bool bDeborde = false;
  uint64_t m = v.bLarge() ? nLitMagnitude(v.psz16, v.n, &bNegatif, &bDeborde)
                          : nLitMagnitude(v.psz8, v.n, &bNegatif, &bDeborde);
  const uint64_t nLimite = bNegatif ? (uint64_t{1} << 63) : (uint64_t{1} << 63) - 1;
  *pbSature = bDeborde || m > nLimite;
  if (*pbSature) {
    return bNegatif ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
  }
  return bNegatif ? static_cast<int64_t>(0 - m) : static_cast<int64_t>(m);
}

// _strtoui64 / _wcstoui64 in base 10: a minus negates in two's complement;
// beyond the range the largest value.
uint64_t nLitUI64(const VueTexte& v, bool* pbDeborde) {
  bool bNegatif = false;
  uint64_t m = v.bLarge() ? nLitMagnitude(v.psz16, v.n, &bNegatif, pbDeborde)
                          : nLitMagnitude(v.psz8, v.n, &bNegatif, pbDeborde);
  if (*pbDeborde) return std::numeric_limits<uint64_t>::max();
  return bNegatif ? 0 - m : m;
}

// atoi / _wtoi of a one-character text.
int32_t nLitCaractere(const void* pSource, int s) {
  unsigned c = s == kConvCARA ? static_cast<unsigned char>(Lit<char>(pSource))
                              : static_cast<unsigned>(Lit<char16_t>(pSource));
  return c >= '0' && c <= '9' ? static_cast<int32_t>(c - '0') : 0;
}

double nLitReel(const VueTexte& v, bool* pbMemoire) {
  *pbMemoire = false;
  if (v.bLarge()) return rChaineVersReel(v.psz16);
  CTexte1252 t(v.psz8, v.n);
  if (t.p() == nullptr) {
    *pbMemoire = true;
    return 0;
  }
  return rChaineVersReel(t.p());
}

int nTexteVersNombre(const VueTexte& v, void* pDestination, int d) {
  switch (d) {
    case kConvBOOL: {
      bool bSature = false;
      Ecrit<int32_t>(pDestination, nLitI64(v, &bSature) != 0 ? 1 : 0);
      return kConvOk;
    }
    case kConvI8: {
      bool bSature = false;
      Ecrit<int64_t>(pDestination, nLitI64(v, &bSature));
      return bSature ? kConvPerte : kConvOk;
    }
    case kConvUI8: {
      bool bDeborde = false;
      Ecrit<uint64_t>(pDestination, nLitUI64(v, &bDeborde));
      return bDeborde ? kConvPerte : kConvOk;
    }
    case kConvR4:
    case kConvR8: {
      bool bMemoire = false;
      double r = nLitReel(v, &bMemoire);
      if (bMemoire) return kConvMemoire;
      if (d == kConvR8) {
        Ecrit<double>(pDestination, r);
        return kConvOk;
      }
      return nEcritR4(pDestination, r);
    }
    case kConvCY:
    case kConvDECIMAL: {
      const char16_t* psz = v.psz16;
      CTexte1252 t(v.bLarge() ? "" : v.psz8, v.bLarge() ? 0 : v.n);
      if (!v.bLarge()) {
        psz = t.p();
        if (psz == nullptr) return kConvMemoire;
      }
      if (d == kConvCY) {
        Fixe6 cy{};
        bool bLu = pFixe6DepuisChaine(&cy, psz) != nullptr;
        Ecrit<Fixe6>(pDestination, cy);
        return bLu ? kConvOk : kConvPerte;
      }
      return nAffecteTexte(Lit<IDecimal*>(pDestination), psz) < 2 ? kConvOk : kConvPerte;
    }
    default: {
      bool bSature = false;
      return nEcritEntierSigne(pDestination, d, nLitI64(v, &bSature));
    }
  }
}

int nCaractereVersNombre(const void* pSource, int s, void* pDestination, int d) {
  const int32_t n = nLitCaractere(pSource, s);
  switch (d) {
    case kConvBOOL: {
      unsigned c = s == kConvCARA ? static_cast<unsigned char>(Lit<char>(pSource))
                                  : static_cast<unsigned>(Lit<char16_t>(pSource));
      Ecrit<int32_t>(pDestination, c != 0 ? 1 : 0);
      return kConvOk;
    }
    case kConvR4: Ecrit<float>(pDestination, static_cast<float>(n)); return kConvOk;
    case kConvR8: Ecrit<double>(pDestination, static_cast<double>(n)); return kConvOk;
    case kConvCY: {
      Fixe6 cy{};
      pFixe6DepuisI4(cy.aw, n);
      Ecrit<Fixe6>(pDestination, cy);
      return kConvOk;
    }
    case kConvDECIMAL:
      nAffecteI4(Lit<IDecimal*>(pDestination), n);
      return kConvOk;
    default:
      EcritBitsEntier(pDestination, d, static_cast<uint64_t>(static_cast<int64_t>(n)));
      return kConvOk;
  }
}

// _gcvt: nChiffres significant digits; the fixed form while the decimal
// exponent lies in [-1, nChiffres - 1], else d.ddde+XX; trailing zeros of
// the fraction dropped, the point kept ("1." for 1).
int nGcvt(double r, int nChiffres, char* psz, int nCapacite) {
  char* const pFin = psz + nCapacite - 1;
  if (!std::isfinite(r)) {
    auto res = std::to_chars(psz, pFin, r);
    *res.ptr = 0;
    return static_cast<int>(res.ptr - psz);
  }
  int nMagnitude = -1;
  if (r != 0) {
    char a[40];
    auto res = std::to_chars(a, a + sizeof(a) - 1, r, std::chars_format::scientific, 16);
    *res.ptr = 0;
    const char* pE = std::strchr(a, 'e');
    std::from_chars(pE + (pE[1] == '+' ? 2 : 1), res.ptr, nMagnitude);
  }
  std::to_chars_result res;
  bool bScientifique = nMagnitude < -1 || nMagnitude > nChiffres - 1;
  if (bScientifique) {
    res = std::to_chars(psz, pFin, r, std::chars_format::scientific, nChiffres - 1);
  } else {
    res = std::to_chars(psz, pFin, r, std::chars_format::fixed, nChiffres - nMagnitude - 1);
  }
  char* pEcrit = res.ptr;
  *pEcrit = 0;
  char* pPoint = std::strchr(psz, '.');
  if (pPoint == nullptr) {
    // No fraction digits: the point still ends the mantissa.
    char* pE = std::strchr(psz, 'e');
    char* pInsere = pE == nullptr ? pEcrit : pE;
    std::memmove(pInsere + 1, pInsere, static_cast<size_t>(pEcrit - pInsere) + 1);
    *pInsere = '.';
    return static_cast<int>(pEcrit + 1 - psz);
  }
  char* pE = std::strchr(pPoint, 'e');
  char* pFinMantisse = pE == nullptr ? pEcrit : pE;
  char* pDernier = pFinMantisse;
  while (pDernier - 1 > pPoint && pDernier[-1] == '0') --pDernier;
  std::memmove(pDernier, pFinMantisse, static_cast<size_t>(pEcrit - pFinMantisse) + 1);
  return static_cast<int>(std::strlen(psz));
}

int nReelVersTexteW(double r, int nChiffres, int nLimite, char16_t* psz16) {
  char a[kTailleNombreTexte];
  int n = nGcvt(r, nChiffres, a, sizeof(a));
  for (int i = 0; i <= n; ++i) psz16[i] = static_cast<unsigned char>(a[i]);
  NormaliseNombre(psz16, kTailleNombreTexte, -1, -1, nLimite, -1, true, true);
  return static_cast<int>(StrLen16(psz16));
}

template <typename C>
int nEntierVersTexte(C* psz, int64_t s, uint64_t u, bool bSigne) {
  char a[24];
  auto res = bSigne ? std::to_chars(a, a + sizeof(a), s) : std::to_chars(a, a + sizeof(a), u);
  int n = static_cast<int>(res.ptr - a);
  for (int i = 0; i < n; ++i) psz[i] = static_cast<C>(a[i]);
  psz[n] = 0;
  return n;
}

// Integers and BOOL as text; false for the other numbers.
template <typename C>
bool bEntierVersTexte(const void* p, int s, C* psz, int* pn) {
  switch (s) {
    case kConvBOOL: *pn = nEntierVersTexte(psz, Lit<int32_t>(p) != 0 ? 1 : 0, 0, true); return true;
    case kConvI1: *pn = nEntierVersTexte(psz, Lit<int8_t>(p), 0, true); return true;
    case kConvI2: *pn = nEntierVersTexte(psz, Lit<int16_t>(p), 0, true); return true;
    case kConvI4: case kConvHWND: *pn = nEntierVersTexte(psz, Lit<int32_t>(p), 0, true); return true;
    case kConvUIX: *pn = nEntierVersTexte(psz, LitUIX(p), 0, true); return true;
    case kConvI8: *pn = nEntierVersTexte(psz, Lit<int64_t>(p), 0, true); return true;
    case kConvUI1: *pn = nEntierVersTexte(psz, 0, Lit<uint8_t>(p), false); return true;
    case kConvUI2: *pn = nEntierVersTexte(psz, 0, Lit<uint16_t>(p), false); return true;
    case kConvUI4: *pn = nEntierVersTexte(psz, 0, Lit<uint32_t>(p), false); return true;
    case kConvUI8: *pn = nEntierVersTexte(psz, 0, Lit<uint64_t>(p), false); return true;
    default: return false;
  }
}

}  // namespace

int nNombreVersTexteW(const void* p, int s, char16_t* psz16) {
  int n = 0;
  if (bEntierVersTexte(p, s, psz16, &n)) return n;
  switch (s) {
    case kConvR4: return nReelVersTexteW(Lit<float>(p), 7, 6, psz16);
    case kConvR8: return nReelVersTexteW(Lit<double>(p), 14, 13, psz16);
    case kConvCY:
      pszFixe6VersChaine(psz16, Lit<Fixe6>(p));
      return static_cast<int>(StrLen16(psz16));
    case kConvDECIMAL: {
      psz16[0] = 0;
      const auto* piDecimal = Lit<const IDecimal*>(p);
      // A failure of the text operation is not reported: what it left stands.
      if (piDecimal != nullptr) nFormate(piDecimal, psz16, 0, u'f', 0, -1, 100);
      else psz16[0] = u'0', psz16[1] = 0;
      return static_cast<int>(StrLen16(psz16));
    }
    default:
      psz16[0] = 0;
      return 0;
  }
}

int nNombreVersTexteA(const void* p, int s, char* psz8) {
  int n = 0;
  if (bEntierVersTexte(p, s, psz8, &n)) return n;
  char16_t aw[kTailleNombreTexte];
  int nw = nNombreVersTexteW(p, s, aw);
  psz8[0] = 0;
  if (nw == 0) return 0;
  n = WideToMultiByte(kCodePageAnsi, aw, nw, psz8, 99);
  psz8[n] = 0;
  return n;
}

int nEcritTexte(void* pDestination, int d, const char16_t* psz16, const char* psz8, int n,
                int32_t nPageDeCode) {
  switch (d) {
    case kConvDSTRW:
    case kConvSQLQUERYW:
      if (n <= 0) return kConvOk;
      return psz16 != nullptr
                 ? Dyn<char16_t>(pDestination).nAffecteLongueur(psz16, n)
                 : Dyn<char16_t>(pDestination).nAffecteConversion(psz8, n, nPageDeCode);
    case kConvDSTRA:
    case kConvSQLQUERYA:
      if (n <= 0) return kConvOk;
      return psz8 != nullptr ? Dyn<char>(pDestination).nAffecteLongueur(psz8, n)
                             : Dyn<char>(pDestination).nAffecteConversion(psz16, n, nPageDeCode);
    case kConvPSTRA: {
      char* p = nullptr;
      if (psz8 != nullptr) {
        p = pszCopieA(psz8, n);
        if (p == nullptr && n > 0) return kConvMemoire;
      } else if (!bConvertitVersTasA(psz16, n, nPageDeCode, &p)) {
        return kConvMemoire;
      }
      Ecrit<char*>(pDestination, p);
      return kConvOk;
    }
    case kConvPSTRW: {
      char16_t* p = nullptr;
      if (psz16 != nullptr) {
        p = pszCopieW(psz16, n);
        if (p == nullptr && n > 0) return kConvMemoire;
      } else if (!bConvertitVersTasW(psz8, n, nPageDeCode, &p)) {
        return kConvMemoire;
      }
      Ecrit<char16_t*>(pDestination, p);
      return kConvOk;
    }
    default:
      return kConvNonSupporte;
  }
}

int nConvertitTexteNombre(const void* pSource, int s, void* pDestination, int d,
                          const ContexteConversion& ctx) {
  if (bEstCaractere(s)) return nCaractereVersNombre(pSource, s, pDestination, d);
  if (bEstTexte(s)) {
    VueTexte v;
    bVueTexte(pSource, s, &v);
    return nTexteVersNombre(v, pDestination, d);
  }
  // A number into a text destination, formatted in the destination's width.
  if (d == kConvDSTRA || d == kConvPSTRA) {
    char a[kTailleNombreTexte];
    int n = nNombreVersTexteA(pSource, s, a);
    return nEcritTexte(pDestination, d, nullptr, a, n, ctx.nPageDeCode);
  }
  char16_t aw[kTailleNombreTexte];
  int n = nNombreVersTexteW(pSource, s, aw);
  return nEcritTexte(pDestination, d, aw, nullptr, n, ctx.nPageDeCode);
}

}  // namespace qg
