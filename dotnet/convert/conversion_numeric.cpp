// Numbers among themselves, HWND, BIN into numbers and numbers into BIN.
#include <cmath>
#include <limits>

#include "dotnet/convert/conversion_common.h"
#include "dotnet/convert/decimal_ops.h"
#include "dotnet/convert/fixe6.h"
#include "support/currency.h"

namespace qg {

namespace {

constexpr double kR4Max = 3.4028234663852886e38;
constexpr double k2p31 = 2147483648.0;
constexpr double k2p32 = 4294967296.0;
constexpr double k2p63 = 9223372036854775808.0;
constexpr double k2p64 = 18446744073709551616.0;

// A zero decimal for a DECIMAL source that holds no object.
class CDecimalNul final : public IDecimal {
 public:
  void vNegate() override {}
  intptr_t vOp1(intptr_t) override { return 0; }
  intptr_t vOp2(intptr_t) override { return 0; }
  intptr_t vOp3(intptr_t) override { return 0; }
};

const IDecimal* DecimalSource(const void* p) {
  static CDecimalNul s_clNul;
  const auto* piDecimal = Lit<const IDecimal*>(p);
  return piDecimal == nullptr ? &s_clNul : piDecimal;
}

enum class Genre { kNonSigne, kSigne, kHWND, kR4, kR8, kCY, kDecimal };

struct Nombre {
  Genre g = Genre::kSigne;
  uint64_t u = 0;
  int64_t s = 0;
  float f = 0;
  double r = 0;
  Fixe6 cy{};
  const IDecimal* dec = nullptr;
};

Nombre LitNombre(const void* p, int t) {
  Nombre n;
  switch (t) {
    case kConvBOOL: n.g = Genre::kNonSigne; n.u = Lit<int32_t>(p) != 0 ? 1 : 0; break;
    case kConvUI1: n.g = Genre::kNonSigne; n.u = Lit<uint8_t>(p); break;
    case kConvUI2: n.g = Genre::kNonSigne; n.u = Lit<uint16_t>(p); break;
    case kConvUI4: n.g = Genre::kNonSigne; n.u = Lit<uint32_t>(p); break;
    case kConvUI8: n.g = Genre::kNonSigne; n.u = Lit<uint64_t>(p); break;
    case kConvI1: n.s = Lit<int8_t>(p); break;
    case kConvI2: n.s = Lit<int16_t>(p); break;
    case kConvI4: n.s = Lit<int32_t>(p); break;
    case kConvI8: n.s = Lit<int64_t>(p); break;
    case kConvUIX: n.s = LitUIX(p); break;
    case kConvHWND: n.g = Genre::kHWND; n.s = Lit<int32_t>(p); break;
    case kConvR4: n.g = Genre::kR4; n.f = Lit<float>(p); n.r = n.f; break;
    case kConvR8: n.g = Genre::kR8; n.r = Lit<double>(p); break;
    case kConvCY: n.g = Genre::kCY; n.cy = Lit<Fixe6>(p); break;
    case kConvDECIMAL: n.g = Genre::kDecimal; n.dec = DecimalSource(p); break;
    default: break;
  }
  return n;
}

struct Bornes {
  int64_t nMin;
  uint64_t nMax;
  bool bNonSigne;
};

Bornes BornesDe(int d) {
  switch (d) {
    case kConvUI1: return {0, 0xFF, true};
    case kConvUI2: return {0, 0xFFFF, true};
    case kConvUI4: return {0, 0xFFFFFFFFu, true};
    case kConvUI8: return {0, std::numeric_limits<uint64_t>::max(), true};
    case kConvI1: return {-128, 127, false};
    case kConvI2: return {-32768, 32767, false};
    case kConvI8:
      return {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), false};
    default:  // I4, UIX
      return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), false};
  }
}

bool bNonSigneTient(int d, uint64_t u) {
  Bornes b = BornesDe(d);
  return b.bNonSigne || u <= b.nMax;
}

// Real to integer. Bounds are tested before any cast, so NaN and the
// infinities give 0 with status 1. The 8- and 16-bit destinations test the
// value truncated toward zero (127.9 fits I1, -0.5 fits UI1); the wider ones
// test the real itself against their bounds.
int nReelVersEntier(void* pDestination, int d, double x, bool bR4) {
  double t = std::trunc(x);
  bool bTient = false;
  switch (d) {
    case kConvUI1: case kConvUI2: case kConvI1: case kConvI2: {
      Bornes b = BornesDe(d);
      bTient = t >= static_cast<double>(b.nMin) && t <= static_cast<double>(b.nMax);
      break;
    }
    case kConvUI4:
      bTient = x >= 0 && (bR4 ? x < k2p32 : x <= 4294967295.0);
      break;
    case kConvI4: case kConvUIX:
      bTient = x >= -k2p31 && (bR4 ? x < k2p31 : x <= 2147483647.0);
      break;
    case kConvUI8:
      bTient = x >= 0 && x < k2p64;
      break;
    case kConvI8:
      bTient = x >= -k2p63 && x < k2p63;
      break;
    default:
      break;
  }
  if (!bTient) {
    EcritBitsEntier(pDestination, d, 0);
    return kConvPerte;
  }
  uint64_t nBits = t < 0 ? static_cast<uint64_t>(static_cast<int64_t>(t))
                         : static_cast<uint64_t>(t);
  EcritBitsEntier(pDestination, d, nBits);
  return kConvOk;
}

int nCYVersEntier(void* pDestination, int d, const Fixe6& cy) {
  int64_t n8 = 0;
  bFixe6VersI8(cy.aw, &n8);
  switch (d) {
    case kConvUI4:
      EcritBitsEntier(pDestination, d, static_cast<uint64_t>(n8));
      return n8 >= 0 && n8 <= 0xFFFFFFFFll ? kConvOk : kConvPerte;
    case kConvI8:
      Ecrit<int64_t>(pDestination, n8);
      return kConvOk;
    case kConvUI8: {
      // Rounded; a negative amount does not fit an unsigned destination,
      // as for every other signed source.
      int64_t n = 0;
      bool bTient = bFixe6VersI8Arrondi(cy.aw, &n) && n >= 0;
      Ecrit<int64_t>(pDestination, n);
      return bTient ? kConvOk : kConvPerte;
    }
    default: {
      int32_t n4 = 0;
      bool bTient = bFixe6VersI4(cy.aw, &n4);
      EcritBitsEntier(pDestination, d, static_cast<uint64_t>(bTient ? n4 : n8));
      return bTient && bEntierSigneTient(d, n4) ? kConvOk : kConvPerte;
    }
  }
}

int nDecimalVersEntier(void* pDestination, int d, const IDecimal* piDecimal) {
  switch (d) {
    case kConvUI4: {
      uint32_t n = 0;
      int st = nLitUI4(piDecimal, &n);
      Ecrit<uint32_t>(pDestination, n);
      return st < 2 ? kConvOk : kConvPerte;
    }
    case kConvUI8: {
      uint64_t n = 0;
      int st = nLitUI8(piDecimal, &n);
      Ecrit<uint64_t>(pDestination, n);
      return st < 2 ? kConvOk : kConvPerte;
    }
    case kConvI8: {
      int64_t n = 0;
      int st = nLitI8(piDecimal, &n);
      Ecrit<int64_t>(pDestination, n);
      return st < 2 ? kConvOk : kConvPerte;
    }
    default: {
      int32_t n = 0;
      int st = nLitI4(piDecimal, &n);
      EcritBitsEntier(pDestination, d, static_cast<uint64_t>(static_cast<int64_t>(n)));
      return st < 2 && bEntierSigneTient(d, n) ? kConvOk : kConvPerte;
    }
  }
}

int nVersEntier(const Nombre& n, void* pDestination, int d) {
  switch (n.g) {
    case Genre::kNonSigne:
      EcritBitsEntier(pDestination, d, n.u);
      return bNonSigneTient(d, n.u) ? kConvOk : kConvPerte;
    case Genre::kSigne:
      return nEcritEntierSigne(pDestination, d, n.s);
    case Genre::kHWND:
      EcritBitsEntier(pDestination, d, static_cast<uint64_t>(n.s));
      return kConvOk;
    case Genre::kR4:
      return nReelVersEntier(pDestination, d, n.r, true);
    case Genre::kR8:
      return nReelVersEntier(pDestination, d, n.r, false);
    case Genre::kCY:
      return nCYVersEntier(pDestination, d, n.cy);
    case Genre::kDecimal:
      return nDecimalVersEntier(pDestination, d, n.dec);
  }
  return kConvNonSupporte;
}

bool bDecimalNonNul(const IDecimal* piDecimal) {
  for (uint8_t b : piDecimal->m_stFields.abyMantissa) {
    if (b != 0) return true;
  }
  return false;
}

int nVersBOOL(const void* pSource, int s, const Nombre& n, void* pDestination) {
  bool b = false;
  switch (n.g) {
    case Genre::kNonSigne:
      if (s == kConvBOOL) {  // copied as it stands, normalised or not
        Ecrit<int32_t>(pDestination, Lit<int32_t>(pSource));
        return kConvOk;
      }
      b = n.u != 0;
      break;
    case Genre::kSigne:
    case Genre::kHWND:
      b = n.s != 0;
      break;
    case Genre::kR4: {
      const double e = static_cast<double>(0.000001f);
      b = !(n.r > -e && n.r < e);
      break;
    }
    case Genre::kR8:
      b = !(n.r > -0.000001 && n.r < 0.000001);
      break;
    case Genre::kCY:
      b = !bFixe6EstNul(n.cy.aw);
      break;
    case Genre::kDecimal:
      b = bDecimalNonNul(n.dec);
      break;
  }
  Ecrit<int32_t>(pDestination, b ? 1 : 0);
  return kConvOk;
}

double ReelDe(const Nombre& n) {
  switch (n.g) {
    case Genre::kNonSigne:
      // An unsigned 64-bit value through a signed conversion, as half and
      // the lowest bit.
      return static_cast<double>(static_cast<int64_t>(n.u >> 1)) * 2.0 +
             static_cast<double>(n.u & 1);
    case Genre::kSigne:
    case Genre::kHWND:
      return static_cast<double>(n.s);
    case Genre::kR4:
    case Genre::kR8:
      return n.r;
    case Genre::kCY:
      return rFixe6VersReel(n.cy);
    case Genre::kDecimal:
      break;
  }
  return 0;
}

int nVersReel(const void* pSource, int s, const Nombre& n, void* pDestination, int d) {
  if (n.g == Genre::kDecimal) {
    if (d == kConvR4) {
      float f = 0;
      int st = nLitR4(n.dec, &f);
      Ecrit<float>(pDestination, f);
      return st < 2 ? kConvOk : kConvPerte;
    }
    double r = 0;
    int st = nLitR8(n.dec, &r);
    Ecrit<double>(pDestination, r);
    return st < 2 ? kConvOk : kConvPerte;
  }
  if (d == kConvR8) {
    Ecrit<double>(pDestination, ReelDe(n));
    return kConvOk;
  }
  if (s == kConvR4) {
    Ecrit<float>(pDestination, Lit<float>(pSource));
    return kConvOk;
  }
  if (s == kConvR8) return nEcritR4(pDestination, n.r);
  Ecrit<float>(pDestination, static_cast<float>(ReelDe(n)));
  return kConvOk;
}

int nVersCY(const void* pSource, const Nombre& n, void* pDestination) {
  Fixe6 cy{};
  bool bTient = true;
  switch (n.g) {
    case Genre::kNonSigne:
      bTient = pFixe6DepuisUI8(cy.aw, n.u) != nullptr;
      break;
    case Genre::kSigne:
    case Genre::kHWND:
      bTient = pFixe6DepuisI8(cy.aw, n.s) != nullptr;
      break;
    case Genre::kR4:
    case Genre::kR8:
      bTient = pFixe6DepuisReel(&cy, n.r) != nullptr;
      break;
    case Genre::kCY:
      std::memcpy(pDestination, pSource, sizeof(Fixe6));
      return kConvOk;
    case Genre::kDecimal:
      bTient = nLitCY(n.dec, cy.aw) < 2;
      break;
  }
  Ecrit<Fixe6>(pDestination, cy);
  return bTient ? kConvOk : kConvPerte;
}

int nVersDecimal(const Nombre& n, void* pDestination, int s) {
  IDecimal* piDecimal = Lit<IDecimal*>(pDestination);
  int st = 0;
  switch (n.g) {
    case Genre::kNonSigne:
      if (s == kConvUI8) {
        st = nAffecteUI8(piDecimal, n.u);
      } else if (s == kConvBOOL) {
        st = nAffecteI4(piDecimal, static_cast<int32_t>(n.u));
      } else {
        st = nAffecteUI4(piDecimal, static_cast<uint32_t>(n.u));
      }
      break;
    case Genre::kSigne:
    case Genre::kHWND:
      st = s == kConvI8 ? nAffecteI8(piDecimal, n.s)
                        : nAffecteI4(piDecimal, static_cast<int32_t>(n.s));
      break;
    case Genre::kR4:
      st = nAffecteR4(piDecimal, n.f);
      break;
    case Genre::kR8:
      st = nAffecteR8(piDecimal, n.r);
      break;
    case Genre::kCY: {
      // Millionths as an 80-bit integer: the mantissa sign-extended, scale 6.
      DecimalFields& f = piDecimal->m_stFields;
      const bool bNegatif = bFixe6EstNegatif(n.cy);
      std::memset(f.abyMantissa, bNegatif ? 0xFF : 0, sizeof(f.abyMantissa));
      std::memcpy(f.abyMantissa, n.cy.aw, sizeof(n.cy.aw));
      f.nScale = 6;
      st = nAjustePrecision(piDecimal);
      break;
    }
    case Genre::kDecimal:
      piDecimal->m_stFields = n.dec->m_stFields;
      return kConvOk;
  }
  return st < 2 ? kConvOk : kConvPerte;
}

int nVersHWND(const Nombre& n, void* pDestination) {
  Ecrit<int32_t>(pDestination, static_cast<int32_t>(n.g == Genre::kNonSigne ? n.u : n.s));
  return kConvOk;
}

// Bytes of a number's raw value as BIN sees it.
int LargeurBinaire(int t) {
  switch (t) {
    case kConvUI1: case kConvI1: return 1;
    case kConvUI2: case kConvI2: return 2;
    case kConvUI8: case kConvI8: case kConvR8: return 8;
    case kConvCY: return 10;
    default: return 4;  // BOOL, UI4, I4, UIX (low 32 bits), R4
  }
}

int nDepuisBinaire(const void* pSource, void* pDestination, int d) {
  const CXYString<char>& s = Dyn<char>(pSource);
  const int nOctets = s.nGetByteLength();
  const auto* p = static_cast<const unsigned char*>(s.pGetData());
  if (d == kConvBOOL) {
    if (nOctets < 1) return kConvBinaireCourt;
    Ecrit<int32_t>(pDestination, p[0] != 0 ? 1 : 0);
    return kConvOk;
  }
  const int nLargeur = LargeurBinaire(d);
  if (nOctets < nLargeur) return kConvBinaireCourt;
  if (d == kConvUIX) {
    EcritUIX(pDestination, Lit<int32_t>(p));
  } else {
    std::memcpy(pDestination, p, static_cast<size_t>(nLargeur));
  }
  return kConvOk;
}

int nVersBinaire(const void* pSource, int s, void* pDestination) {
  unsigned char a[10];
  const int nLargeur = LargeurBinaire(s);
  if (s == kConvUIX) {
    Ecrit<int32_t>(a, LitUIX(pSource));
  } else {
    std::memcpy(a, pSource, static_cast<size_t>(nLargeur));
  }
  return Dyn<char>(pDestination).nAffecteOctets(a, nLargeur);
}

}  // namespace

void EcritBitsEntier(void* pDestination, int d, uint64_t nBits) {
  switch (d) {
    case kConvUI1: case kConvI1: Ecrit<uint8_t>(pDestination, static_cast<uint8_t>(nBits)); break;
    case kConvUI2: case kConvI2: Ecrit<uint16_t>(pDestination, static_cast<uint16_t>(nBits)); break;
    case kConvUI4: case kConvI4: case kConvHWND:
      Ecrit<uint32_t>(pDestination, static_cast<uint32_t>(nBits));
      break;
    case kConvUIX: EcritUIX(pDestination, static_cast<int32_t>(static_cast<uint32_t>(nBits))); break;
    default: Ecrit<uint64_t>(pDestination, nBits); break;
  }
}

bool bEntierSigneTient(int d, int64_t n) {
  Bornes b = BornesDe(d);
  if (n < b.nMin) return false;
  return n < 0 || static_cast<uint64_t>(n) <= b.nMax;
}

int nEcritEntierSigne(void* pDestination, int d, int64_t n) {
  EcritBitsEntier(pDestination, d, static_cast<uint64_t>(n));
  return bEntierSigneTient(d, n) ? kConvOk : kConvPerte;
}

int nEcritR4(void* pDestination, double r) {
  if (r >= -kR4Max && r <= kR4Max) {
    Ecrit<float>(pDestination, static_cast<float>(r));
    return kConvOk;
  }
  float f = std::isnan(r) ? std::numeric_limits<float>::quiet_NaN()
                          : std::copysign(std::numeric_limits<float>::infinity(),
                                          static_cast<float>(r > 0 ? 1 : -1));
  Ecrit<float>(pDestination, f);
  return kConvPerte;
}

int nConvertitNumerique(const void* pSource, int s, void* pDestination, int d,
                        const ContexteConversion&) {
  if (d == kConvBIN) return nVersBinaire(pSource, s, pDestination);
  if (s == kConvBIN) return nDepuisBinaire(pSource, pDestination, d);
  const Nombre n = LitNombre(pSource, s);
  switch (d) {
    case kConvBOOL: return nVersBOOL(pSource, s, n, pDestination);
    case kConvR4: case kConvR8: return nVersReel(pSource, s, n, pDestination, d);
    case kConvCY: return nVersCY(pSource, n, pDestination);
    case kConvDECIMAL: return nVersDecimal(n, pDestination, s);
    case kConvHWND: return nVersHWND(n, pDestination);
    default: return nVersEntier(n, pDestination, d);
  }
}

}  // namespace qg
