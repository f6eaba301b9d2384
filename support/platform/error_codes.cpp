#include "support/platform/error_codes.h"

#include <cerrno>

namespace qg {

namespace {

thread_local uint32_t t_last_error = kErrorSuccess;

struct ErrorEntry {
  uint32_t code;
  const char* text;
};

// Sorted by code.
constexpr ErrorEntry kTexts[] = {
    {kErrorSuccess, "The operation completed successfully."},
    {kErrorInvalidFunction, "The function is not valid for this object."},
    {kErrorFileNotFound, "The file cannot be found."},
    {kErrorPathNotFound, "The path cannot be found."},
    {kErrorTooManyOpenFiles, "Too many files are open."},
    {kErrorAccessDenied, "Access is denied."},
    {kErrorInvalidHandle, "The handle is not valid."},
    {kErrorNotEnoughMemory, "Not enough memory is available to process this command."},
    {kErrorInvalidData, "The data is not valid."},
    {kErrorOutOfMemory, "Not enough memory is available to complete this operation."},
    {kErrorWriteProtect, "The medium is write-protected."},
    {kErrorNotReady, "The device is not ready."},
    {kErrorSeek, "The position on the device cannot be reached."},
    {kErrorWriteFault, "The device cannot be written to."},
    {kErrorReadFault, "The device cannot be read from."},
    {kErrorGenFailure, "A device attached to the system is not working."},
    {kErrorSharingViolation,
     "The file cannot be accessed because another process is using it."},
    {kErrorLockViolation,
     "Another process has locked a portion of the file, so it cannot be accessed."},
    {kErrorHandleEof, "The end of the file has been reached."},
    {kErrorNotSupported, "The request is not supported."},
    {kErrorFileExists, "The file exists."},
    {kErrorInvalidParameter, "The parameter is not valid."},
    {kErrorBrokenPipe, "The pipe has been ended."},
    {kErrorDiskFull, "There is not enough space on the disk."},
    {kErrorInsufficientBuffer, "The data area passed to a call is too small."},
    {kErrorInvalidName, "The file name, directory name or volume label syntax is not valid."},
    {kErrorModNotFound, "The specified module cannot be found."},
    {kErrorProcNotFound, "The specified procedure cannot be found."},
    {kErrorNegativeSeek, "The file pointer cannot be moved before the start of the file."},
    {kErrorDirNotEmpty, "The directory is not empty."},
    {kErrorBusy, "The resource is in use."},
    {kErrorAlreadyExists, "The file cannot be created because it already exists."},
    {kErrorBadExeFormat, "The file is not a valid application image for this process."},
    {kErrorFilenameExcedRange, "The file name or extension is too long."},
    {kErrorWaitTimeout, "The wait operation timed out."},
    {kErrorDirectory, "The directory name is not valid."},
    {kErrorOperationAborted, "The I/O operation has been aborted."},
    {kErrorIoPending, "An overlapped I/O operation is in progress."},
    {kErrorNoUnicodeTranslation,
     "No mapping for the Unicode character exists in the target code page."},
    {kErrorNotFound, "Element not found."},
    {kErrorInternalError, "An internal error occurred."},
    {kErrorTimeout, "The operation returned because the time-out period expired."},
};

}  // namespace

uint32_t ErrorFromErrno(int err) {
  switch (err) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorOutOfMemory;
    case EROFS: return kErrorWriteProtect;
    case ESPIPE: return kErrorSeek;
    case EIO: return kErrorGenFailure;
    case ETXTBSY: return kErrorSharingViolation;
    case EAGAIN: return kErrorLockViolation;
    case EDEADLK: return kErrorLockViolation;
    case ENOSYS:
    case EOPNOTSUPP: return kErrorNotSupported;
    case EEXIST: return kErrorAlreadyExists;
    case EINVAL: return kErrorInvalidParameter;
    case EPIPE: return kErrorBrokenPipe;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case ERANGE: return kErrorInsufficientBuffer;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EBUSY: return kErrorBusy;
    case ENOEXEC: return kErrorBadExeFormat;
    case EISDIR: return kErrorAccessDenied;
    case ETIMEDOUT: return kErrorTimeout;
    case ECANCELED: return kErrorOperationAborted;
    case EINPROGRESS: return kErrorIoPending;
    case EILSEQ: return kErrorNoUnicodeTranslation;
    case EFBIG: return kErrorDiskFull;
    default: return kErrorGenFailure;
  }
}

uint32_t GetLastError() { return t_last_error; }

void SetLastError(uint32_t code) { t_last_error = code; }

uint32_t SetLastErrorFromErrno() { return SetLastErrorFromErrno(errno); }

uint32_t SetLastErrorFromErrno(int err) {
  t_last_error = ErrorFromErrno(err);
  return t_last_error;
}

const char* ErrorText(uint32_t code) {
  size_t lo = 0;
  size_t hi = sizeof(kTexts) / sizeof(kTexts[0]);
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (kTexts[mid].code == code) return kTexts[mid].text;
    if (kTexts[mid].code < code) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return nullptr;
}

std::u16string ErrorText16(uint32_t code) {
  std::u16string out;
  const char* text = ErrorText(code);
  if (text != nullptr) {
    for (const char* p = text; *p != '\0'; ++p) out.push_back(static_cast<char16_t>(*p));
    return out;
  }
  for (const char* p = "Unknown error "; *p != '\0'; ++p) out.push_back(static_cast<char16_t>(*p));
  char digits[16];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + code % 10);
    code /= 10;
  } while (code != 0);
  while (n > 0) out.push_back(static_cast<char16_t>(digits[--n]));
  out.push_back(u'.');
  return out;
}

}  // namespace qg
