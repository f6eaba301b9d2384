// Module-wide host services: what the open handshake and the binding exports
// kept. One instance per deliverable (the support library is linked
// statically into each). The frame writes these; every other part of the
// module only reads them. The host calls the frame from one thread at a time,
// so no lock is taken; readers on other threads see values set before they
// were started. The locale interface and the message-text callback may be
// replaced while other threads run (the browser's): those two are atomic.
#ifndef QG_SUPPORT_FRAME_MODULE_SERVICES_H_
#define QG_SUPPORT_FRAME_MODULE_SERVICES_H_

#include <cstdint>

#include "support/frame/host_services.h"
#include "support/frame/shared_pointer.h"

namespace qg {

constexpr int kCalcEntryCount = 30;

struct ModuleServices {
  PFN_HostExecution pfnHostExecution = nullptr;  // host export "Execution"
  IGlobalFactory* piValueObjects = nullptr;      // item 9
  SharedPointer<IInfoLocale*> piInfoLocale;      // item 12 (or the version-4 wrapper)
  IStringMemory* piStringMemory = nullptr;       // item 13
  intptr_t nRuntimeObject = 0;                   // item 7 (or word 4 of the open record)
  intptr_t nExecutionKind = 0;                   // item 1
  intptr_t nFlags = 0;                           // item 4
  int32_t nFileFormatVersion = 30;               // max(30, item 8)

  // Bound by bInitZQConvFromVM.
  PFN_ConversionDepassementExt pfnConversion = nullptr;  // "nConversionDepassementExt"
  PFN_FinConversion pfnFinConversion = nullptr;          // "FinConversion"
  // Bound by bInitZQCalcFromVM, in the host's order ("bCanCompareEx" first).
  PFN_CalcEntry apfnCalc[kCalcEntryCount] = {};

  // Message-text callback installed by CommandeComposante(2).
  SharedPointer<PFN_MessageText> pfnMessageText;

  // The module's own message catalogue, consulted by CommandeComposante(3)
  // and (4) when the host callback gives no text; null while the module has
  // none (code 3 then answers 0, code 4 answers -1).
  PFN_MessageText pfnCatalogueText = nullptr;
  int32_t (*pfnCataloguePacking)(int32_t number) = nullptr;
};

// The module's instance.
ModuleServices& Services();

// The code page of an 8-bit text: code_page itself, or for 0 the host
// locale's 8-bit code page (1252 without a host locale or when it answers
// no positive value).
uint32_t ResolveCodePage(uint32_t code_page);

// Indexes into ModuleServices::apfnCalc, in the host's order.
enum CalcEntry {
  kCalcCanCompare = 0,    // "bCanCompareEx"
  kCalcAjoute,            // "wAjouteEx"
  kCalcSoustrait,         // "wSoustraitEx"
  kCalcMultiplie,         // "wMultiplieEx"
  kCalcDivise,            // "wDiviseEx"
  kCalcModuloW,           // "wModuloEx"
  kCalcComparaison = 6,   // "nComparaisonEx"
  kCalcEgalite = 7,       // "nEgaliteEx"
  kCalcSuperieur,
  kCalcInferieur,
  kCalcPresqueEgal,
  kCalcSoupleEgal,
  kCalcCommencePar,
  kCalcCommenceParSouple,
  kCalcCommenceParTresSouple,
  kCalcContient,
  kCalcContientSouple,
  kCalcContientTresSouple,
  kCalcTerminePar,
  kCalcTermineParSouple,
  kCalcTermineParTresSouple,
  kCalcETLogique,
  kCalcOULogique,
  kCalcNONLogique,
  kCalcNegation,
  kCalcAddition,
  kCalcSoustraction,
  kCalcMultiplication,
  kCalcDivision,
  kCalcModulo,            // "nModuloEx"
};

// The host's names of the calculation entry points, indexed by CalcEntry.
extern const char* const kCalcEntryNames[kCalcEntryCount];
constexpr const char* kConversionEntryName = "nConversionDepassementExt";
constexpr const char* kFinConversionEntryName = "FinConversion";

// Status answered for a call to an entry point the host never bound.
constexpr int32_t kStatusNotBound = 105;

// Calls a bound calculation entry point with (a, type a, b, type b, result,
// 0, 0); kStatusNotBound when the host has not bound it.
int32_t CallCalc(CalcEntry entry, const void* a, int32_t type_a, const void* b, int32_t type_b,
                 void* result);
// Converts through the host: kStatusNotBound when not bound, else the host's
// status (100 and above = failure).
int32_t CallConversion(const void* source, int32_t source_type, void* destination,
                       int32_t destination_type);
// Releases a conversion temporary; nothing when not bound.
void CallFinConversion(void* destination, int32_t type);

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_MODULE_SERVICES_H_
