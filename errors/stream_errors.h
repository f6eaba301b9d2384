// Error objects for the streams: installs the reporter through which the
// streams (support/streams) fill CXError objects.
#ifndef QG_ERRORS_STREAM_ERRORS_H_
#define QG_ERRORS_STREAM_ERRORS_H_

#include <cstdint>

struct stERRORDEFINITION;

namespace qg {

// Installs the reporter with the module number given to stream error
// objects and the error definitions attached to them on failure. The
// deliverable calls it at start-up, before any stream exists. Not
// synchronised with streams in use.
void SetStreamErrorModule(int32_t module, const stERRORDEFINITION* definitions);

}  // namespace qg

#endif  // QG_ERRORS_STREAM_ERRORS_H_
