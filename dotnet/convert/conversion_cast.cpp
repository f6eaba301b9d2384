#include "dotnet/convert/conversion_cast.h"

#include <cstring>

#include "dotnet/convert/conversion_dispatch.h"

namespace qg {

namespace {

// Types whose holder takes the pointer held in the temporary.
bool bPrendPointeur(int nType) {
  return nType == kConvDECIMAL || nType == kConvPSTRA || nType == kConvPSTRW;
}

// CAny::nGetTexte, whose value must stay as it is: a BIN source is copied,
// never taken over. The cast passes its options (CONVERSION_DEPLACE_SOURCE).
int32_t ConvertitPourAny(const void* pSource, int32_t nTypeSource, void* pDestination,
                         int32_t nTypeDestination) {
  return nConversionDepassement(pSource, nTypeSource & 0xFF, pDestination, nTypeDestination, 0,
                                nullptr);
}

int32_t CastPourAny(const void* pSource, int32_t nTypeSource, void* pDestination,
                    int32_t nTypeDestination, int32_t nOptions) {
  return nConversionDepassement(pSource, nTypeSource & 0xFF, pDestination, nTypeDestination,
                                nOptions, nullptr);
}

void LiberePourAny(void* pValeur, int32_t nType) { nLibereValeurTemporaire(pValeur, nType); }

}  // namespace

int nCastTo(CAny& clValeur, int nType, const int32_t* pnPageDeCode, int nOptions) {
  if (clValeur.nGetCode() == nType) return kConvOk;
  alignas(8) unsigned char abyTemp[kConvTailleMax] = {};
  const int nStatut = nConversionDepassement(clValeur.pValeur(), clValeur.nGetCode(), abyTemp,
                                             nType, nOptions, pnPageDeCode);
  if (nStatut >= kConvMemoire) return nStatut;
  const uint16_t wFlags = clValeur.GetType() & kAnyFlagsKept;
  clValeur.SetType(nType);
  CAny_Intern* pclHolder = clValeur.pclHolder();
  if (bPrendPointeur(nType)) {
    void* p;
    std::memcpy(&p, abyTemp, sizeof(p));
    pclHolder->vnSetValeur(p);
  } else {
    pclHolder->vnSetValeur(abyTemp);
  }
  pclHolder->m_wType = static_cast<uint16_t>((pclHolder->m_wType & ~kAnyFlagsKept) | wFlags);
  nLibereValeurTemporaire(abyTemp, nType);
  return nStatut;
}

int nCastTo(CAny& clValeur, int nType) {
  return nCastTo(clValeur, nType, nullptr, CONVERSION_DEPLACE_SOURCE);
}

void InstalleConversionMoteur() {
  SetAnyConversionProvider(AnyConversionProvider{&ConvertitPourAny, &LiberePourAny, &CastPourAny});
}

}  // namespace qg
