#include "support/frame/module_services.h"

namespace qg {

const char* const kCalcEntryNames[kCalcEntryCount] = {
    "bCanCompareEx",        "wAjouteEx",
    "wSoustraitEx",         "wMultiplieEx",
    "wDiviseEx",            "wModuloEx",
    "nComparaisonEx",       "nEgaliteEx",
    "nSuperieurEx",         "nInferieurEx",
    "nPresqueEgalEx",       "nSoupleEgalEx",
    "nCommenceParEx",       "nCommenceParSoupleEx",
    "nCommenceParTresSoupleEx", "nContientEx",
    "nContientSoupleEx",    "nContientTresSoupleEx",
    "nTermineParEx",        "nTermineParSoupleEx",
    "nTermineParTresSoupleEx", "nETLogiqueEx",
    "nOULogiqueEx",         "nNONLogiqueEx",
    "nNegationEx",          "nAdditionEx",
    "nSoustractionEx",      "nMultiplicationEx",
    "nDivisionEx",          "nModuloEx",
};

ModuleServices& Services() {
  static ModuleServices services;
  return services;
}

int32_t CallCalc(CalcEntry entry, const void* a, int32_t type_a, const void* b, int32_t type_b,
                 void* result) {
  if (entry < 0 || entry >= kCalcEntryCount) return kStatusNotBound;
  PFN_CalcEntry fn = Services().apfnCalc[entry];
  if (fn == nullptr) return kStatusNotBound;
  return fn(a, type_a, b, type_b, result, 0, 0);
}

int32_t CallConversion(const void* source, int32_t source_type, void* destination,
                       int32_t destination_type) {
  PFN_ConversionDepassementExt fn = Services().pfnConversion;
  if (fn == nullptr) return kStatusNotBound;
  return fn(source, source_type, destination, destination_type, 1, 0);
}

void CallFinConversion(void* destination, int32_t type) {
  PFN_FinConversion fn = Services().pfnFinConversion;
  if (fn != nullptr) fn(destination, type);
}

uint32_t ResolveCodePage(uint32_t code_page) {
  if (code_page != 0) return code_page;
  IInfoLocale* locale = Services().piInfoLocale;
  const int32_t cp = locale != nullptr ? locale->nGetCodePage() : 0;
  return cp > 0 ? static_cast<uint32_t>(cp) : 1252u;
}

}  // namespace qg
