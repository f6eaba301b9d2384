#include "dotnet/convert/conversion_dispatch.h"

#include "dotnet/convert/conversion_common.h"
#include "dotnet/convert/conversion_strings.h"
#include "support/frame/module_services.h"

namespace qg {

namespace {

bool bEstDateW(int t) { return t == kConvDATEA || t == kConvDATEW; }
bool bEstHeure(int t) { return t == kConvTIMEA || t == kConvTIMEW; }

// Sources common to the integer rows.
bool bSourceEntier(int s) {
  return bEstNombre(s) || bEstTexte(s) || bEstCaractere(s) || bEstTexteDate(s) ||
         s == kConvDUREE || s == kConvBIN || s == kConvVALEUR_EN_ERREUR;
}

// Destinations whose raw value owns a pointer.
bool bDestinationPossede(int d) {
  switch (d) {
    case kConvDECIMAL:
    case kConvDSTRW:
    case kConvDSTRA:
    case kConvSQLQUERYW:
    case kConvSQLQUERYA:
    case kConvBIN:
    case kConvPSTRA:
    case kConvPSTRW:
    case kConvMEMOIMG:
    case kConvUUID_256:
      return true;
    default:
      return false;
  }
}

int nRefus(int nTypeSource) {
  return nTypeSource == kConvNULL_FORT ? kConvNullFort : kConvNonSupporte;
}

bool bDestinationConnue(int d) {
  switch (d) {
    case kConvBOOL: case kConvUI1: case kConvUI2: case kConvUI4: case kConvUI8:
    case kConvI1: case kConvI2: case kConvI4: case kConvI8: case kConvCY: case kConvR4:
    case kConvR8: case kConvDECIMAL: case kConvUIX: case kConvHWND: case kConvDSTRW:
    case kConvCARA: case kConvPSTRA: case kConvDSTRA: case kConvSQLQUERYW: case kConvDATEW:
    case kConvTIMEW: case kConvDATETIME: case kConvDUREE: case kConvBIN: case kConvMEMOIMG:
    case kConvCARW: case kConvPSTRW: case kConvDATEA: case kConvTIMEA: case kConvSQLQUERYA:
    case kConvPOINT: case kConvRECTANGLE: case kConvUUID_128: case kConvUUID_256:
    case kConvCode156:
      return true;
    default:
      return false;
  }
}

// Step 3: what a destination holds before the rule runs. Only DECIMAL can
// fail (no object).
int nPrepare(void* pDestination, int d) {
  if (d == kConvDECIMAL) {
    IGlobalFactory* piFabrique = Services().piValueObjects;
    IDecimal* piDecimal = piFabrique == nullptr ? nullptr : piFabrique->piCreateDecimal(0);
    Ecrit<IDecimal*>(pDestination, piDecimal);
    return piDecimal == nullptr ? kConvMemoire : kConvOk;
  }
  if (bDestinationPossede(d)) Ecrit<void*>(pDestination, nullptr);
  if (d == kConvCARA) Ecrit<uint16_t>(pDestination, 0);
  if (d == kConvCARW) Ecrit<uint32_t>(pDestination, 0);
  return kConvOk;
}

// The zero value an error value gives (status 0).
int nZero(void* pDestination, int d) {
  switch (d) {
    case kConvUI1: case kConvI1: case kConvCARA:
      Ecrit<uint8_t>(pDestination, 0);
      return kConvOk;
    case kConvUI2: case kConvI2: case kConvCARW:
      Ecrit<uint16_t>(pDestination, 0);
      return kConvOk;
    case kConvBOOL: case kConvUI4: case kConvI4: case kConvR4:
      Ecrit<uint32_t>(pDestination, 0);
      return kConvOk;
    case kConvUIX:
      Ecrit<intptr_t>(pDestination, 0);
      return kConvOk;
    case kConvUI8: case kConvI8: case kConvR8:
      Ecrit<uint64_t>(pDestination, 0);
      return kConvOk;
    case kConvCY: {
      unsigned char a[10] = {};
      std::memcpy(pDestination, a, sizeof(a));
      return kConvOk;
    }
    case kConvDECIMAL:
      nLibereValeurTemporaire(pDestination, kConvDECIMAL);
      return kConvOk;
    case kConvBIN:
      return kConvOk;  // the reference is already empty
    default:
      return nConvertitChaine(nullptr, kConvVALEUR_EN_ERREUR, pDestination, d,
                              ContexteConversion{0, 0});
  }
}

int nApplique(const void* pSource, int s, void* pDestination, int d,
              const ContexteConversion& ctx) {
  if (s == kConvVALEUR_EN_ERREUR) return nZero(pDestination, d);
  if (bEstNombre(d) || d == kConvHWND) {
    if (bEstNombre(s) || s == kConvHWND || s == kConvBIN) {
      return nConvertitNumerique(pSource, s, pDestination, d, ctx);
    }
    if (bEstTexte(s) || bEstCaractere(s)) {
      return nConvertitTexteNombre(pSource, s, pDestination, d, ctx);
    }
    return nConvertitDate(pSource, s, pDestination, d, ctx);
  }
  if (d == kConvDSTRW || d == kConvDSTRA || d == kConvPSTRA || d == kConvPSTRW) {
    if (bEstNombre(s) || s == kConvHWND) {
      return nConvertitTexteNombre(pSource, s, pDestination, d, ctx);
    }
    if (s == kConvDATETIME || s == kConvDUREE) {
      return nConvertitDate(pSource, s, pDestination, d, ctx);
    }
    return nConvertitChaine(pSource, s, pDestination, d, ctx);
  }
  if (bEstTexteDate(d) || d == kConvDATETIME || d == kConvDUREE) {
    return nConvertitDate(pSource, s, pDestination, d, ctx);
  }
  if (d == kConvBIN) {
    if (bEstNombre(s)) return nConvertitNumerique(pSource, s, pDestination, d, ctx);
    if (s == kConvDATETIME || s == kConvDUREE) {
      return nConvertitDate(pSource, s, pDestination, d, ctx);
    }
  }
  return nConvertitChaine(pSource, s, pDestination, d, ctx);
}

}  // namespace

bool bConversionSupportee(int32_t d, int32_t s) {
  d &= 0xFFFF;
  s &= 0xFFFF;
  const bool bNombre = bEstNombre(s);
  const bool bTexte = bEstTexte(s);
  const bool bCar = bEstCaractere(s);
  const bool bErreur = s == kConvVALEUR_EN_ERREUR;
  switch (d) {
    case kConvBOOL:
    case kConvCY:
      return bNombre || bTexte || bCar || s == kConvBIN || bErreur;
    case kConvUI1: case kConvUI2: case kConvI1: case kConvI2:
      return bSourceEntier(s);
    case kConvUI4: case kConvUI8: case kConvI4: case kConvI8: case kConvUIX:
      return bSourceEntier(s) || s == kConvHWND;
    case kConvR4: case kConvR8:
      return bNombre || bTexte || bCar || s == kConvDUREE || s == kConvBIN || bErreur;
    case kConvDECIMAL:
      return bNombre || bTexte || bCar || bErreur;
    case kConvHWND:
      return s == kConvUI8 || s == kConvI4 || s == kConvI8 || s == kConvUIX || s == kConvHWND;
    case kConvDSTRW: case kConvDSTRA:
      if (s == kConvSQLQUERYW || s == kConvSQLQUERYA) return true;
      [[fallthrough]];
    case kConvPSTRA: case kConvPSTRW:
      return bNombre || s == kConvHWND || bTexte || bCar || bEstTexteDate(s) ||
             s == kConvDATETIME || s == kConvDUREE || s == kConvBIN || s == kConvMEMOIMG ||
             s == kConvUUID_128 || s == kConvUUID_256 || bErreur;
    case kConvCARA: case kConvCARW:
      return bNombre || bTexte || bCar || s == kConvSQLQUERYW || s == kConvSQLQUERYA ||
             bEstTexteDate(s) || s == kConvBIN || bErreur;
    case kConvSQLQUERYW: case kConvSQLQUERYA:
      return s == kConvDSTRW || s == kConvDSTRA || s == kConvSQLQUERYW || s == kConvSQLQUERYA;
    case kConvDATEA: case kConvDATEW:
      return s == kConvI4 || bTexte || bEstDateW(s) || s == kConvDATETIME || s == kConvBIN;
    case kConvTIMEA: case kConvTIMEW:
      return s == kConvI4 || bTexte || bEstHeure(s) || s == kConvDATETIME || s == kConvBIN;
    case kConvDATETIME:
      return s == kConvI4 || bTexte || bEstTexteDate(s) || s == kConvDATETIME || s == kConvBIN;
    case kConvDUREE:
      return s == kConvUI4 || s == kConvUI8 || s == kConvI4 || s == kConvI8 || s == kConvR4 ||
             s == kConvR8 || s == kConvUIX || bTexte || s == kConvDUREE || s == kConvBIN;
    case kConvBIN:
      return (bNombre && s != kConvDECIMAL) || bTexte || bCar || bEstTexteDate(s) ||
             s == kConvDATETIME || s == kConvDUREE || s == kConvBIN || s == kConvBUFFER ||
             s == kConvMEMOIMG || s == kConvUUID_128 || s == kConvUUID_256 || bErreur;
    case kConvMEMOIMG:
    case kConvPOINT:
    case kConvRECTANGLE:
    case kConvCode156:
      return s == d;
    case kConvUUID_128:
    case kConvUUID_256:
      return bTexte || s == kConvBIN || s == d;
    default:
      return false;
  }
}

}  // namespace qg

using namespace qg;  // NOLINT: the entry points are the engine's global names

int32_t nGetCodePageConversion(const int32_t* pnPageDeCode) {
  if (pnPageDeCode != nullptr) return *pnPageDeCode;
  IInfoLocale* piLocale = Services().piInfoLocale;
  return piLocale == nullptr ? 0 : piLocale->nGetCodePage();
}

int32_t nConversionDepassement(const void* pSource, int32_t nTypeSource, void* pDestination,
                               int32_t nTypeDestination, int32_t nOptions,
                               const int32_t* pnPageDeCode) {
  const ContexteConversion ctx{
      nOptions & (CONVERSION_DEPLACE_SOURCE | CONVERSION_GARDE_DATEHEURE |
                  CONVERSION_BINAIRE_TEXTE_CP),
      nGetCodePageConversion(pnPageDeCode)};
  const int s = nTypeSource & 0xFFFF;
  const int d = nTypeDestination & 0xFFFF;
  if (!bDestinationConnue(d)) return nRefus(s);
  int nStatut = nPrepare(pDestination, d);
  if (nStatut >= kHostErrorFirst) return nStatut;
  if (!bConversionSupportee(d, s)) {
    if (bDestinationPossede(d)) nLibereValeurTemporaire(pDestination, d);
    if (d == kConvUUID_256 || bEstCaractere(d)) return kConvNonSupporte;
    return nRefus(s);
  }
  nStatut = nApplique(pSource, s, pDestination, d, ctx);
  if (nStatut >= kHostErrorFirst && bDestinationPossede(d)) {
    nLibereValeurTemporaire(pDestination, d);
  }
  return nStatut;
}

void nLibereValeurTemporaire(void* pValeur, int32_t nType) {
  if (pValeur == nullptr) return;
  switch (nType & 0xFFFF) {
    case kConvDECIMAL: {
      auto* piDecimal = Lit<IDecimal*>(pValeur);
      IGlobalFactory* piFabrique = Services().piValueObjects;
      if (piDecimal != nullptr && piFabrique != nullptr) piFabrique->ReleaseDecimal(piDecimal);
      Ecrit<IDecimal*>(pValeur, nullptr);
      return;
    }
    case kConvDSTRW:
    case kConvDSTRW148:
    case kConvDSTRW149:
    case kConvSQLQUERYW:
      Dyn<char16_t>(pValeur).Libere();
      return;
    case kConvDSTRA:
    case kConvSQLQUERYA:
    case kConvBIN:
    case kConvUUID_256:
      Dyn<char>(pValeur).Libere();
      return;
    case kConvPSTRA:
    case kConvPSTRW:
      std::free(Lit<void*>(pValeur));
      Ecrit<void*>(pValeur, nullptr);
      return;
    case kConvMEMOIMG: {
      auto* piMemo = Lit<IMemoImage*>(pValeur);
      if (piMemo != nullptr) piMemo->Release();
      Ecrit<IMemoImage*>(pValeur, nullptr);
      return;
    }
    default:
      return;
  }
}
