// How the streams fill their error objects: the error convention of the
// file operations, kept in one place.
#ifndef QG_SUPPORT_STREAMS_STREAM_ERROR_H_
#define QG_SUPPORT_STREAMS_STREAM_ERROR_H_

#include <cstdint>
#include <string>

#include "support/platform/format.h"

class CXError;

namespace qg {

// Catalogue messages of the file operations.
enum FileMessage : uint32_t {
  kMsgFlush = 28001,
  kMsgOpenAlways = 28002,
  kMsgRead = 28003,
  kMsgSetEnd = 28004,
  kMsgSeek = 28005,
  kMsgWrite = 28008,
  kMsgOpenExisting = 28139,
  kMsgCreateAlways = 28140,
  kMsgLock = 28145,
  kMsgUnlock = 28146,
  kMsgNone = 0,
};

// How the streams reach the error objects, which are built above this
// library: the error library installs its reporter (qg::SetStreamErrorModule
// in errors/stream_errors.h) at start-up, before any stream exists. Until
// then streams carry no error object and a failure only sets the thread's
// last error. Each entry must accept a null error.
struct StreamErrorReporter {
  CXError* (*pfnNew)();
  void (*pfnRelease)(CXError* error);
  void (*pfnClear)(CXError* error);
  void (*pfnFill)(CXError* error, uint32_t system_error, const std::u16string* debug,
                  int debug_count, uint32_t message, const char16_t* name, FormatArgs inserts);
  void (*pfnCopy)(CXError* error, const CXError* source);
};
// `reporter` must outlive every stream; null removes it.
void SetStreamErrorReporter(const StreamErrorReporter* reporter);

// A new error object of the module holding one reference (null without a
// reporter).
CXError* NewStreamError();
void ReleaseStreamError(CXError* error);

// Clears the error (level 1).
void ClearStreamError(CXError* error);

// The failure convention: level 3, the module's definitions, system error
// `system_error` with its text, the debug texts in order, then (message
// not kMsgNone) the catalogue message with `name` as first insert and
// `inserts` after it, and (a non-empty name) an information item of type 1 holding it.
// Leaves the thread's last error at system_error.
void FillStreamError(CXError* error, uint32_t system_error, const std::u16string* debug,
                     int debug_count, uint32_t message, const char16_t* name,
                     FormatArgs inserts = FormatArgs());

// Copies source into error (a failure of another stream reported here).
void CopyStreamError(CXError* error, const CXError* source);

}  // namespace qg

#endif  // QG_SUPPORT_STREAMS_STREAM_ERROR_H_
