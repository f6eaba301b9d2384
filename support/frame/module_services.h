// Module-wide host services: what the open handshake and the binding exports
// kept. One instance per deliverable (the support library is linked
// statically into each). The frame writes these; every other part of the
// module only reads them. The host calls the frame from one thread at a time,
// so no lock is taken; readers on other threads see values set before they
// were started.
#ifndef QG_SUPPORT_FRAME_MODULE_SERVICES_H_
#define QG_SUPPORT_FRAME_MODULE_SERVICES_H_

#include <cstdint>

#include "support/frame/host_services.h"

namespace qg {

constexpr int kCalcEntryCount = 30;

struct ModuleServices {
  PFN_HostExecution pfnHostExecution = nullptr;  // host export "Execution"
  IGlobalFactory* piValueObjects = nullptr;      // item 9
  IInfoLocale* piInfoLocale = nullptr;           // item 12 (or the version-4 wrapper)
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
  PFN_MessageText pfnMessageText = nullptr;
};

// The module's instance.
ModuleServices& Services();

// Indexes into ModuleServices::apfnCalc.
enum CalcEntry {
  kCalcCanCompare = 0,
  kCalcComparaison = 6,   // "nComparaisonEx"
  kCalcEgalite = 7,       // "nEgaliteEx"
};

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_MODULE_SERVICES_H_
