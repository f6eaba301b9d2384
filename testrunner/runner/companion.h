// The one-time compatibility test against the companion module's component
// "ObjGate". Recording, playback, screenshots and the language function that
// runs a test call it before they work.
#ifndef QG_TESTRUNNER_RUNNER_COMPANION_H_
#define QG_TESTRUNNER_RUNNER_COMPANION_H_

#include <cstdint>

#include "support/frame/test_runner_abi.h"

class CXError;

// 1 when the companion accepted this module and is recent enough. Only the
// first call asks the host; later calls answer the first call's result.
// Failures: 28117 (refused) or 28567 (too old) at level 3 in `error`; an
// execution kind that needs no companion, or no component: 0, no error.
int32_t bVerifieComposantObjGate(qg::IComponentAccess* access, CXError* error);

// Runs the version test on an obtained component: 1 accepted.
int32_t bVerifieVersionObjGate(qg::IObjGate* gate, qg::IComponentAccess* access, CXError* error);

// The test's calls so far; tests reset it.
int32_t nAppelsVerifieObjGate();
void RAZVerifieObjGate();

#endif  // QG_TESTRUNNER_RUNNER_COMPANION_H_
