// The module frame: the bodies of the exports every deliverable shares
// (Execution, CommandeComposante, CheckVersion, bInitZQConvFromVM,
// bInitZQCalcFromVM) and the module-wide state behind them. A deliverable's
// exports call these; what differs between deliverables is the execution
// object the first open creates.
//
// The host calls the frame from one thread at a time: no lock is taken.
#ifndef QG_SUPPORT_FRAME_MODULE_FRAME_H_
#define QG_SUPPORT_FRAME_MODULE_FRAME_H_

#include <cstdint>

#include "support/frame/execution_dll.h"
#include "support/frame/execution_protocol.h"
#include "support/frame/locale_wrapper.h"
#include "support/platform/module.h"

namespace qg {

// Creates the deliverable's execution object; null when out of memory.
using PFN_NewExecution = CBaseExecutionDLL* (*)();
// Looks a symbol up in a module (FindSymbol, or a test's replacement).
using PFN_FindSymbol = void* (*)(ModuleHandle module, const char* name);

// Module-wide frame state (the host answers live in Services()).
struct FrameState {
  CBaseExecutionDLL* pclExecution = nullptr;  // null when closed
  int32_t nOpenCount = 0;
  int32_t nInitCount = 0;                     // of the counted init export
  // Stands for a version-4 host locale interface; re-pointed at every
  // handshake and every Execution(4878) that brings one.
  CWrapperIInfoLocaleVersion4 clLocaleWrapper;
  uint32_t nLocaleWrapperFlags = 0;           // bit 0: set up once
  PFN_FindSymbol pfnFindSymbol = &FindSymbol;
};

FrameState& Frame();

// Execution(code, argument). `factory` creates the execution object on the
// first open; null means CBaseExecutionDLL. Never throws.
intptr_t FrameExecution(int32_t code, intptr_t argument, PFN_NewExecution factory = nullptr);

// CommandeComposante(code, argument): 2 installs the host's text callback,
// 3 answers a MessageTextRequest, 4 the packing kind of a message (-1 when
// absent); other codes 0.
intptr_t FrameCommandeComposante(int32_t code, intptr_t argument);

// bInitZQConvFromVM / bInitZQCalcFromVM: 0 unless first >= 2 and second <= 2
// (no symbol is looked up then); 0 when a name is missing, in which case
// nothing is bound; else every entry is bound and 1.
int32_t FrameInitConv(ModuleHandle host, int32_t first, int32_t second);
int32_t FrameInitCalc(ModuleHandle host, int32_t first, int32_t second);

// Deletes the execution object without running its termination (library
// teardown) and clears the open counter. Nothing else when there is none.
void TermExecutionObject();

// Puts the frame back in its load-time state: deletes the execution object
// without termination, clears counters, the host answers and the symbol
// lookup. For tests that drive the frame several times in one process.
void ResetFrameForTesting();

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_MODULE_FRAME_H_
