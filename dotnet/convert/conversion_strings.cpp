#include "dotnet/convert/conversion_strings.h"

#include "dotnet/convert/conversion_common.h"
#include "dotnet/convert/uuid_text.h"
#include "support/platform/codepage.h"
#include "support/platform/text16.h"

namespace qg {

namespace {

bool bDynW(int t) { return t == kConvDSTRW || t == kConvSQLQUERYW; }
bool bDynA(int t) { return t == kConvDSTRA || t == kConvSQLQUERYA; }

// The header flags a conversion carries from source to destination.
template <typename S, typename D>
void PorteFlags(const CXYString<S>& src, CXYString<D>& dst) {
  if (src.bTestFlag(kXYFlagSecret)) dst.SetFlag(kXYFlagSecret);
  if (src.bTestFlag(kXYFlagCarried)) dst.SetFlag(kXYFlagCarried);
}

// The marker unit of each width.
constexpr char16_t Marqueur(char16_t) { return kXYMarker16; }
constexpr char Marqueur(char) { return kXYMarker8; }

// Between the two dynamic widths: a trailing marker (flag 1, last unit the
// marker, code page not UTF-8) is left out of the conversion and appended
// in the destination's width.
template <typename S, typename D>
int nDynVersDyn(const CXYString<S>& src, CXYString<D>& dst, int32_t cp) {
  const S* p = src.pszGet();
  int n = src.nTaille();
  const bool bMarqueur = src.bTestFlag(kXYFlagMarker) && cp != kCodePageUtf8Mark && n > 0 &&
                         p[n - 1] == Marqueur(S{});
  if (bMarqueur) --n;
  int st = n > 0 ? dst.nAffecteConversion(p, n, cp) : kConvOk;
  if (st >= kHostErrorFirst) return st;
  if (bMarqueur) {
    int stMarqueur = dst.nAjouteMarqueur();
    if (st == kConvOk) st = stMarqueur;
  }
  PorteFlags(src, dst);
  return st;
}

// A BIN buffer may be taken over when it is private and has room for the
// terminator the text needs after nOctets bytes.
bool bPeutPrendre(const CXYString<char>& s, int nOctets) {
  if (s.bEstNull() || s.bEstPartage()) return false;
  const XYHeader* h = XYHeaderOf(static_cast<const void*>(s.pszGet()));
  // The host leaves two terminator bytes past the capacity.
  return nOctets <= h->nCapacity;
}

void Prend(CXYString<char>& src, void* pDestination, int nOctets) {
  char* p = src.pszGetBuffer();
  XYHeader* h = XYHeaderOf(static_cast<void*>(p));
  h->nLength = nOctets;
  h->nCache = 0;
  h->nFlags &= ~kXYCacheMarks;
  p[nOctets] = 0;
  p[nOctets + 1] = 0;
  Ecrit<char*>(pDestination, p);
  src.InitDynStr();  // the reference now belongs to the destination
}

int nBinaireVersDSTRA(const void* pSource, void* pDestination, bool bPrise) {
  const CXYString<char>& s = Dyn<char>(pSource);
  const int n = s.nGetByteLength();
  if (n == 0) return kConvOk;
  if (bPrise && bPeutPrendre(s, n)) {
    Prend(Dyn<char>(const_cast<void*>(pSource)), pDestination, n);
    return kConvOk;
  }
  return Dyn<char>(pDestination).nAffecteLongueur(s.pszGet(), n);
}

int nBinaireVersDSTRW(const void* pSource, void* pDestination, int32_t nOptions, int32_t cp) {
  const CXYString<char>& s = Dyn<char>(pSource);
  const int n = s.nGetByteLength();
  if (n == 0) return kConvOk;
  if (nOptions & CONVERSION_BINAIRE_TEXTE_CP) {
    return Dyn<char16_t>(pDestination).nAffecteConversion(s.pszGet(), n, cp);
  }
  const int nPair = n & ~1;
  const int nImpair = (n & 1) ? kConvOctetImpair : kConvOk;
  if ((nOptions & CONVERSION_DEPLACE_SOURCE) && bPeutPrendre(s, nPair)) {
    Prend(Dyn<char>(const_cast<void*>(pSource)), pDestination, nPair);
    return nImpair;
  }
  if (nPair == 0) return nImpair;
  int st = Dyn<char16_t>(pDestination)
               .nAffecteLongueur(reinterpret_cast<const char16_t*>(s.pGetData()), nPair / 2);
  return st != kConvOk ? st : nImpair;
}

int nEcritTas(void* pDestination, void* p, bool bVide) {
  if (p == nullptr && !bVide) return kConvMemoire;
  Ecrit<void*>(pDestination, p);
  return kConvOk;
}

int nBinaireVersPSTRW(const CXYString<char>& s, void* pDestination, int32_t nOptions,
                      int32_t cp) {
  const int n = s.nGetByteLength();
  if (nOptions & CONVERSION_BINAIRE_TEXTE_CP) {
    char16_t* p = nullptr;
    if (!bConvertitVersTasW(s.pszGet(), n, cp, &p)) return kConvMemoire;
    Ecrit<char16_t*>(pDestination, p);
    return kConvOk;
  }
  int st = nEcritTas(pDestination, pszDupliqueBinaireW(s.pszGet(), n), n < 2);
  if (st != kConvOk) return st;
  return (n & 1) ? kConvOctetImpair : kConvOk;
}

void LitUUID256(const void* pSource, uint8_t ab[32]) {
  const CXYString<char>& s = Dyn<char>(pSource);
  int n = s.nGetByteLength();
  if (n > 32) n = 32;
  std::memset(ab, 0, 32);
  std::memcpy(ab, s.pGetData(), static_cast<size_t>(n));
}

int nEcritTexteW(void* pDestination, int d, const char16_t* psz, int n, int32_t cp) {
  return nEcritTexte(pDestination, d, psz, nullptr, n, cp);
}

// Strings, SQL query texts, characters, date texts, BIN, memo images and
// identifiers into DSTRW, DSTRA, PSTRA, PSTRW, SQLQUERYW or SQLQUERYA.
int nVersTexte(const void* pSource, int s, void* pDestination, int d,
               const ContexteConversion& ctx) {
  if (bDynW(d) && bDynW(s)) {
    Dyn<char16_t>(pDestination).AffectePartage(Dyn<char16_t>(pSource));
    return kConvOk;
  }
  if (bDynA(d) && bDynA(s)) {
    Dyn<char>(pDestination).AffectePartage(Dyn<char>(pSource));
    return kConvOk;
  }
  const bool b1252 = s == kConvSQLQUERYW || s == kConvSQLQUERYA || d == kConvSQLQUERYW ||
                     d == kConvSQLQUERYA;
  const int32_t cp = b1252 ? kCodePage1252 : ctx.nPageDeCode;
  if (bDynW(d) && bDynA(s)) {
    return nDynVersDyn(Dyn<char>(pSource), Dyn<char16_t>(pDestination), cp);
  }
  if (bDynA(d) && bDynW(s)) {
    return nDynVersDyn(Dyn<char16_t>(pSource), Dyn<char>(pDestination), cp);
  }
  switch (s) {
    case kConvBIN: {
      const CXYString<char>& b = Dyn<char>(pSource);
      switch (d) {
        case kConvDSTRA:
          return nBinaireVersDSTRA(pSource, pDestination,
                                   (ctx.nOptions & CONVERSION_DEPLACE_SOURCE) != 0);
        case kConvDSTRW:
          return nBinaireVersDSTRW(pSource, pDestination, ctx.nOptions, cp);
        case kConvPSTRA:
          return nEcritTas(pDestination, pszDupliqueBinaireA(b.pszGet(), b.nGetByteLength()),
                           b.nGetByteLength() == 0);
        default:
          return nBinaireVersPSTRW(b, pDestination, ctx.nOptions, cp);
      }
    }
    case kConvMEMOIMG:
      return nExtraitMemoImage(Lit<const IMemoImage*>(pSource), pDestination, d, cp,
                               ctx.nOptions);
    case kConvUUID_128: {
      char16_t a[kUUID128Texte + 1];
      EcritUUID128(static_cast<const uint8_t*>(pSource), a);
      return nEcritTexteW(pDestination, d, a, kUUID128Texte, cp);
    }
    case kConvUUID_256: {
      uint8_t ab[32];
      LitUUID256(pSource, ab);
      char16_t a[kUUID256Texte + 1];
      EcritUUID256(ab, a);
      return nEcritTexteW(pDestination, d, a, kUUID256Texte, cp);
    }
    default:
      break;
  }
  VueTexte v;
  bVueTexte(pSource, s, &v);
  int32_t cpTexte = cp;
  if (bEstTexteDate(s)) {
    // Date texts: the locale's code page into dynamic strings, the ANSI
    // code page into heap texts.
    cpTexte = (d == kConvDSTRW || d == kConvDSTRA) ? nGetCodePageConversion(nullptr)
                                                   : static_cast<int32_t>(kCodePageAnsi);
  }
  return nEcritTexte(pDestination, d, v.psz16, v.psz8, v.n, cpTexte);
}

int nVersCaractere(const void* pSource, int s, void* pDestination, int d,
                   const ContexteConversion& ctx) {
  char ca = 0;
  char16_t cw = 0;
  if (bEstNombre(s)) {
    if (d == kConvCARA) {
      char a[kTailleNombreTexte];
      nNombreVersTexteA(pSource, s, a);
      ca = a[0];
    } else {
      char16_t a[kTailleNombreTexte];
      nNombreVersTexteW(pSource, s, a);
      cw = a[0];
    }
  } else if (s == kConvBIN) {
    const CXYString<char>& b = Dyn<char>(pSource);
    const int n = b.nGetByteLength();
    if (d == kConvCARA && n >= 1) ca = b.pszGet()[0];
    if (d == kConvCARW && n >= 2) cw = Lit<char16_t>(b.pGetData());
  } else if (s != kConvVALEUR_EN_ERREUR) {
    VueTexte v;
    bVueTexte(pSource, s, &v);
    const uint32_t cp = (s == kConvSQLQUERYW || s == kConvSQLQUERYA)
                            ? kCodePage1252
                            : static_cast<uint32_t>(ctx.nPageDeCode);
    if (v.n > 0 && d == kConvCARA) {
      if (!v.bLarge()) {
        ca = v.psz8[0];
      } else {
        // Only the first character (a surrogate pair counts as one).
        const int nUnites =
            (v.n >= 2 && v.psz16[0] >= 0xD800 && v.psz16[0] <= 0xDBFF) ? 2 : 1;
        char a[8];
        if (WideToMultiByte(cp, v.psz16, nUnites, a, sizeof(a)) > 0) ca = a[0];
      }
    } else if (v.n > 0) {
      if (v.bLarge()) {
        cw = v.psz16[0];
      } else {
        // Growing prefixes until the first character comes out whole: it
        // may take up to four bytes (UTF-8, GB18030).
        char16_t a[4];
        for (int k = 1; k <= 4 && k <= v.n; ++k) {
          if (MultiByteToWide(cp, v.psz8, k, a, 4) <= 0) continue;
          cw = a[0];
          if (cw != 0xFFFD) break;
        }
      }
    }
  }
  if (d == kConvCARA) {
    static_cast<char*>(pDestination)[0] = ca;
    static_cast<char*>(pDestination)[1] = 0;
  } else {
    Ecrit<char16_t>(pDestination, cw);
    Ecrit<char16_t>(static_cast<char*>(pDestination) + 2, 0);
  }
  return kConvOk;
}

int nVersBinaire(const void* pSource, int s, void* pDestination) {
  CXYString<char>& dst = Dyn<char>(pDestination);
  switch (s) {
    case kConvDSTRW:
    case kConvDSTRA:
    case kConvBIN:
      dst.AffectePartage(Dyn<char>(pSource));
      return kConvOk;
    case kConvCARA:
      return dst.nAffecteOctets(pSource, 1);
    case kConvCARW:
      return dst.nAffecteOctets(pSource, 2);
    case kConvBUFFER: {
      const void* p = Lit<const void*>(pSource);
      const intptr_t n = Lit<intptr_t>(static_cast<const char*>(pSource) + sizeof(void*));
      if (n < 0 || n > kXYMaxBytes) return kConvTropLong;
      return dst.nAffecteOctets(p, static_cast<int>(n));
    }
    case kConvUUID_128:
      return dst.nAffecteOctets(pSource, 16);
    case kConvUUID_256: {
      uint8_t ab[32];
      LitUUID256(pSource, ab);
      return dst.nAffecteOctets(ab, 32);
    }
    case kConvMEMOIMG: {
      const auto* piMemo = Lit<const IMemoImage*>(pSource);
      if (piMemo == nullptr) return kConvNonSupporte;
      const CXYString<char>& octets = piMemo->clGetOctets();
      if (octets.nGetByteLength() == 0 && !piMemo->bEstBinaire()) return kConvNonSupporte;
      dst.AffectePartage(octets);
      return kConvOk;
    }
    case kConvVALEUR_EN_ERREUR:
      return kConvOk;
    default: {
      VueTexte v;
      bVueTexte(pSource, s, &v);
      if (v.bLarge()) {
        return dst.nAffecteOctets(v.psz16, v.n * static_cast<int>(sizeof(char16_t)));
      }
      return dst.nAffecteOctets(v.psz8, v.n);
    }
  }
}

int nVersUUID128(const void* pSource, int s, void* pDestination) {
  uint8_t ab[16];
  if (s == kConvUUID_128) {
    std::memcpy(pDestination, pSource, 16);
    return kConvOk;
  }
  if (s == kConvBIN) {
    const CXYString<char>& b = Dyn<char>(pSource);
    if (b.nGetByteLength() != 16) return kConvGUIDIllisible;
    std::memcpy(pDestination, b.pGetData(), 16);
    return kConvOk;
  }
  VueTexte v;
  bVueTexte(pSource, s, &v);
  int st = v.bLarge() ? nLitUUID128(v.psz16, ab, v.n) : nLitUUID128(v.psz8, ab, v.n);
  if (st != kConvOk) return st;
  std::memcpy(pDestination, ab, 16);
  return kConvOk;
}

int nVersUUID256(const void* pSource, int s, void* pDestination) {
  CXYString<char>& dst = Dyn<char>(pDestination);
  if (s == kConvUUID_256) {
    uint8_t ab[32];
    LitUUID256(pSource, ab);
    return dst.nAffecteOctets(ab, 32);
  }
  if (s == kConvBIN) {
    const CXYString<char>& b = Dyn<char>(pSource);
    if (b.nGetByteLength() != 32) return kConvUUID256Illisible;
    dst.AffectePartage(b);
    return kConvOk;
  }
  VueTexte v;
  bVueTexte(pSource, s, &v);
  uint8_t ab[32];
  int st = v.bLarge() ? nLitUUID256(v.psz16, ab, v.n) : nLitUUID256(v.psz8, ab, v.n);
  if (st != kConvOk) return st;
  return dst.nAffecteOctets(ab, 32);
}

}  // namespace

char* pszDupliqueBinaireA(const char* p, int nOctets) { return pszCopieA(p, nOctets); }

char16_t* pszDupliqueBinaireW(const char* p, int nOctets) {
  const int n = nOctets / 2;
  if (n <= 0) return nullptr;
  auto* q = static_cast<char16_t*>(std::malloc((static_cast<size_t>(n) + 1) * sizeof(char16_t)));
  if (q == nullptr) return nullptr;
  std::memcpy(q, p, static_cast<size_t>(n) * sizeof(char16_t));
  q[n] = 0;
  return q;
}

// --- memo-image extractors -----------------------------------------------------

int CExtraitMemoImageDSTRA::vSetDepuisTexteW(const char16_t* psz) {
  if (psz == nullptr || psz[0] == 0) return kConvOk;
  return Dyn<char>(m_pDestination).nAffecteConversion(psz, -1, m_nPageDeCode);
}
int CExtraitMemoImageDSTRA::vSetDepuisTexteA(const char* psz, int n) {
  return Dyn<char>(m_pDestination).nAffecteLongueur(psz, n);
}
int CExtraitMemoImageDSTRA::vSetDepuisBinaire(const CXYString<char>& s) {
  return Dyn<char>(m_pDestination).nAffecteLongueur(s.pszGet(), s.nGetByteLength());
}

int CExtraitMemoImageDSTRW::vSetDepuisTexteW(const char16_t* psz) {
  return Dyn<char16_t>(m_pDestination).nAffecteLongueur(psz, -1);
}
int CExtraitMemoImageDSTRW::vSetDepuisTexteA(const char* psz, int n) {
  if (psz == nullptr || n == 0) return kConvOk;
  return Dyn<char16_t>(m_pDestination).nAffecteConversion(psz, n, m_nPageDeCode);
}
int CExtraitMemoImageDSTRW::vSetDepuisBinaire(const CXYString<char>& s) {
  return nBinaireVersDSTRW(&s, m_pDestination, m_nOptions & ~CONVERSION_DEPLACE_SOURCE,
                           m_nPageDeCode);
}

int CExtraitMemoImagePSTRA::vSetDepuisTexteW(const char16_t* psz) {
  char* p = nullptr;
  const int n = static_cast<int>(psz == nullptr ? 0 : StrLen16(psz));
  if (!bConvertitVersTasA(psz, n, m_nPageDeCode, &p)) return kConvMemoire;
  Ecrit<char*>(m_pDestination, p);
  return kConvOk;
}
int CExtraitMemoImagePSTRA::vSetDepuisTexteA(const char* psz, int n) {
  return nEcritTas(m_pDestination, pszCopieA(psz, n), n <= 0);
}
int CExtraitMemoImagePSTRA::vSetDepuisBinaire(const CXYString<char>& s) {
  return nEcritTas(m_pDestination, pszDupliqueBinaireA(s.pszGet(), s.nGetByteLength()),
                   s.nGetByteLength() == 0);
}

int CExtraitMemoImagePSTRW::vSetDepuisTexteW(const char16_t* psz) {
  const int n = static_cast<int>(psz == nullptr ? 0 : StrLen16(psz));
  return nEcritTas(m_pDestination, pszCopieW(psz, n), n == 0);
}
int CExtraitMemoImagePSTRW::vSetDepuisTexteA(const char* psz, int n) {
  return nEcritTas(m_pDestination, pszDupliqueBinaireW(psz, n), n < 2);
}
int CExtraitMemoImagePSTRW::vSetDepuisBinaire(const CXYString<char>& s) {
  return nBinaireVersPSTRW(s, m_pDestination, m_nOptions, m_nPageDeCode);
}

int nExtraitMemoImage(const IMemoImage* piMemo, void* pDestination, int32_t d,
                      int32_t nPageDeCode, int32_t nOptions) {
  CExtraitMemoImageDSTRA clDSTRA(pDestination, nPageDeCode, nOptions);
  CExtraitMemoImageDSTRW clDSTRW(pDestination, nPageDeCode, nOptions);
  CExtraitMemoImagePSTRA clPSTRA(pDestination, nPageDeCode, nOptions);
  CExtraitMemoImagePSTRW clPSTRW(pDestination, nPageDeCode, nOptions);
  CExtraitMemoImage* pcl = nullptr;
  switch (d) {
    case kConvDSTRA: pcl = &clDSTRA; break;
    case kConvDSTRW: pcl = &clDSTRW; break;
    case kConvPSTRA: pcl = &clPSTRA; break;
    case kConvPSTRW: pcl = &clPSTRW; break;
    default: return kConvNonSupporte;
  }
  if (piMemo != nullptr && piMemo->pszGetTexte() != nullptr) {
    return pcl->vSetDepuisTexteW(piMemo->pszGetTexte());
  }
  if (piMemo != nullptr && piMemo->bEstBinaire()) {
    return pcl->vSetDepuisBinaire(piMemo->clGetOctets());
  }
  return pcl->vSetDepuisTexteW(u"");
}

int nConvertitChaine(const void* pSource, int s, void* pDestination, int d,
                     const ContexteConversion& ctx) {
  switch (d) {
    case kConvCARA:
    case kConvCARW:
      return nVersCaractere(pSource, s, pDestination, d, ctx);
    case kConvBIN:
      return nVersBinaire(pSource, s, pDestination);
    case kConvUUID_128:
      return nVersUUID128(pSource, s, pDestination);
    case kConvUUID_256:
      return nVersUUID256(pSource, s, pDestination);
    case kConvMEMOIMG: {
      auto* piMemo = Lit<IMemoImage*>(pSource);
      if (piMemo != nullptr) piMemo->AddRef();
      Ecrit<IMemoImage*>(pDestination, piMemo);
      return kConvOk;
    }
    case kConvPOINT:
      std::memcpy(pDestination, pSource, 8);
      return kConvOk;
    case kConvRECTANGLE:
      std::memcpy(pDestination, pSource, 16);
      return kConvOk;
    case kConvCode156:
      std::memcpy(pDestination, pSource, 4);
      return kConvOk;
    default:
      break;
  }
  if (s == kConvVALEUR_EN_ERREUR) {
    // The empty text: nothing for the dynamic strings, a heap copy for the
    // heap ones.
    if (d == kConvPSTRA) return nEcritTas(pDestination, std::calloc(1, 1), false);
    if (d == kConvPSTRW) return nEcritTas(pDestination, std::calloc(1, sizeof(char16_t)), false);
    return kConvOk;
  }
  return nVersTexte(pSource, s, pDestination, d, ctx);
}

}  // namespace qg
