// System error codes. The modules report operating-system failures with the
// Windows numbering their callers and stored error objects expect; this layer
// maps errno onto it, keeps a per-thread "last error" and gives each code an
// English text.
#ifndef QG_SUPPORT_PLATFORM_ERROR_CODES_H_
#define QG_SUPPORT_PLATFORM_ERROR_CODES_H_

#include <cstdint>
#include <string>

namespace qg {

enum SystemError : uint32_t {
  kErrorSuccess = 0,
  kErrorInvalidFunction = 1,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorInvalidData = 13,
  kErrorOutOfMemory = 14,
  kErrorWriteProtect = 19,
  kErrorNotReady = 21,
  kErrorSeek = 25,
  kErrorWriteFault = 29,
  kErrorReadFault = 30,
  kErrorGenFailure = 31,
  kErrorSharingViolation = 32,
  kErrorLockViolation = 33,
  kErrorHandleEof = 38,
  kErrorNotSupported = 50,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorBrokenPipe = 109,
  kErrorDiskFull = 112,
  kErrorInsufficientBuffer = 122,
  kErrorInvalidName = 123,
  kErrorModNotFound = 126,
  kErrorProcNotFound = 127,
  kErrorNegativeSeek = 131,
  kErrorDirNotEmpty = 145,
  kErrorBusy = 170,
  kErrorAlreadyExists = 183,
  kErrorBadExeFormat = 193,
  kErrorFilenameExcedRange = 206,
  kErrorWaitTimeout = 258,
  kErrorDirectory = 267,
  kErrorOperationAborted = 995,
  kErrorIoPending = 997,
  kErrorNoUnicodeTranslation = 1113,
  kErrorNotFound = 1168,
  kErrorInternalError = 1359,
  kErrorTimeout = 1460,
};

// The code for an errno value; kErrorGenFailure for values without a closer
// match, kErrorSuccess for 0.
uint32_t ErrorFromErrno(int err);

// Per-thread last error, standing in for GetLastError / SetLastError.
uint32_t GetLastError();
void SetLastError(uint32_t code);
// Sets the last error from errno (or the given errno value) and returns it.
uint32_t SetLastErrorFromErrno();
uint32_t SetLastErrorFromErrno(int err);

// Restores the last error when it leaves scope (for cleanup paths that must
// not disturb what the failure set).
class LastErrorKeeper {
 public:
  LastErrorKeeper() : saved_(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(saved_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  uint32_t saved_;
};

// English text of a code, ending with a period, without line end; null when
// the code has none.
const char* ErrorText(uint32_t code);
// As ErrorText in UTF-16; for a code without text: "Unknown error <code>.".
std::u16string ErrorText16(uint32_t code);

}  // namespace qg

#endif  // QG_SUPPORT_PLATFORM_ERROR_CODES_H_
