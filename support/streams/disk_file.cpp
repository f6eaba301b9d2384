#include "support/streams/disk_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "support/platform/error_codes.h"
#include "support/platform/format.h"
#include "support/platform/text16.h"
#include "support/streams/file_functions.h"
#include "support/streams/stream_error.h"
#include "support/text_functions.h"

namespace {

constexpr uint32_t kBlockSize = 0x10000;
constexpr uint32_t kFirstReadAhead = 0x400;
constexpr uint32_t kCopyChunk = 0x10000;
constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';

const void* AsPointer(int handle) {
  return reinterpret_cast<const void*>(static_cast<intptr_t>(handle));
}

bool HasRead(uint32_t access) {
  return (access & (qg::GENERIC_READ | qg::GENERIC_ALL | 0x1)) != 0;
}
bool HasWrite(uint32_t access) {
  return (access & (qg::GENERIC_WRITE | qg::GENERIC_ALL | 0x2 | 0x4)) != 0;
}

// Opens path with flags, retrying on EINTR; -1 with errno set on failure.
int OpenRetry(const char* path, int flags) {
  for (;;) {
    int fd = ::open(path, flags, 0666);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

void CloseQuietly(int fd) {
  int saved = errno;
  ::close(fd);
  errno = saved;
}

}  // namespace

CDiskFile::CDiskFile() = default;

CDiskFile::~CDiskFile() {
  Close();
  LibereChaine(m_pszDisplayName);
}

const char16_t* CDiskFile::Name() const {
  if (m_pszDisplayName != nullptr) return m_pszDisplayName;
  return m_clPath.pszGet();
}

std::u16string CDiskFile::HandleText() const {
  return qg::FormatString(u"##(IXStream)-Handle=<%p>##", AsPointer(m_nHandle));
}

void CDiskFile::Begin() { qg::ClearStreamError(m_pclError); }

bool CDiskFile::Fail(uint32_t system_error, uint32_t message, const std::u16string* extra,
                     int extra_count, qg::FormatArgs inserts) {
  std::vector<std::u16string> debug;
  debug.push_back(HandleText());
  for (int i = 0; i < extra_count; ++i) debug.push_back(extra[i]);
  qg::FillStreamError(m_pclError, system_error, debug.data(), static_cast<int>(debug.size()),
                      message, Name(), inserts);
  return false;
}

bool CDiskFile::FailRead(uint32_t system_error, bool exact, uint32_t wanted, uint32_t got,
                         int64_t offset) {
  const std::u16string extra[] = {
      qg::FormatString(u"##(IXStream)-bExact=<%d>##", exact ? 1 : 0),
      qg::FormatString(u"##(IXStream)-A lire=<%u>, lu=<%u>##", wanted, got),
      qg::FormatString(u"##(IXStream)-Offset=<%I64u>##", static_cast<uint64_t>(offset)),
  };
  return Fail(system_error, qg::kMsgRead, extra, 3);
}

uint32_t CDiskFile::TransferError(int err) const {
  if (err == EBADF && m_nHandle >= 0) return qg::kErrorAccessDenied;
  return qg::ErrorFromErrno(err);
}

// --- open and close ----------------------------------------------------------

bool CDiskFile::bOpen(const char16_t* path, uint32_t access, uint32_t /*sharing*/,
                      uint32_t disposition, uint32_t /*attributes*/, bool* created) {
  if (m_nHandle >= 0) Close();
  Begin();
  if (created != nullptr) *created = false;
  uint32_t message = qg::kMsgNone;
  switch (disposition) {
    case qg::CREATE_ALWAYS: message = qg::kMsgCreateAlways; break;
    case qg::OPEN_EXISTING: message = qg::kMsgOpenExisting; break;
    case qg::OPEN_ALWAYS: message = qg::kMsgOpenAlways; break;
    default: break;
  }
  if (path != nullptr && path[0] != 0 && path != m_clPath.pszGet()) {
    if (!m_clPath.bSetFullPath(path, false)) return Fail(qg::GetLastError(), message);
  }
  m_nAccess = access;
  bool readable = HasRead(access);
  bool writable = HasWrite(access);
  int flags = O_CLOEXEC | (writable ? (readable ? O_RDWR : O_WRONLY) : O_RDONLY);
  std::string system_path = qg::SystemPath(m_clPath.pszGet());
  if (system_path.empty()) return Fail(qg::kErrorPathNotFound, message);

  int fd = -1;
  bool made = false;
  uint32_t last = qg::kErrorSuccess;
  switch (disposition) {
    case qg::CREATE_NEW:
      fd = OpenRetry(system_path.c_str(), flags | O_CREAT | O_EXCL);
      made = fd >= 0;
      if (fd < 0 && errno == EEXIST) return Fail(qg::kErrorFileExists, message);
      break;
    case qg::CREATE_ALWAYS:
      fd = OpenRetry(system_path.c_str(), flags | O_CREAT | O_EXCL);
      if (fd < 0 && errno == EEXIST) {
        fd = OpenRetry(system_path.c_str(), flags | O_CREAT | O_TRUNC);
        last = qg::kErrorAlreadyExists;
      }
      made = fd >= 0;
      break;
    case qg::OPEN_EXISTING:
      fd = OpenRetry(system_path.c_str(), flags);
      break;
    case qg::OPEN_ALWAYS:
      // Open the existing file, else make it; a file made by someone else
      // in between is opened as existing.
      for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        fd = OpenRetry(system_path.c_str(), flags);
        if (fd >= 0) {
          last = qg::kErrorAlreadyExists;
          break;
        }
        if (errno != ENOENT) break;
        fd = OpenRetry(system_path.c_str(), flags | O_CREAT | O_EXCL);
        if (fd >= 0) {
          made = true;
        } else if (errno != EEXIST) {
          break;
        }
      }
      break;
    case qg::TRUNCATE_EXISTING:
      if (!writable) return Fail(qg::kErrorInvalidParameter, message);
      fd = OpenRetry(system_path.c_str(), flags | O_TRUNC);
      break;
    default:
      return Fail(qg::kErrorInvalidParameter, message);
  }
  if (fd < 0) {
    // A file that could not be made for want of its folder: the path is
    // missing, not the file.
    bool creating = disposition != qg::OPEN_EXISTING && disposition != qg::TRUNCATE_EXISTING;
    if (creating && errno == ENOENT) return Fail(qg::kErrorPathNotFound, message);
    return Fail(qg::ErrorFromErrno(errno), message);
  }

  // A directory is no file here.
  struct stat st;
  uint32_t refused = qg::kErrorSuccess;
  if (::fstat(fd, &st) != 0) {
    refused = qg::ErrorFromErrno(errno);
  } else if (S_ISDIR(st.st_mode)) {
    refused = qg::kErrorAccessDenied;
  }
  if (refused != qg::kErrorSuccess) {
    CloseQuietly(fd);
    return Fail(refused, message);
  }
  m_nHandle = fd;
  m_bReadable = readable;
  m_bWritable = writable;
  m_nPosition = 0;
  DropBlock();
  if (created != nullptr) *created = made || disposition == qg::CREATE_ALWAYS;
  qg::SetLastError(last);
  return true;
}

void CDiskFile::Close() {
  if (m_nHandle >= 0) {
    qg::LastErrorKeeper keep;
    ::close(m_nHandle);
  }
  m_nHandle = -1;
  m_nPosition = 0;
  m_nAccess = 0;
  m_bReadable = false;
  m_bWritable = false;
  std::free(m_pBlock);
  m_pBlock = nullptr;
  DropBlock();
}

bool CDiskFile::bReopen(uint32_t access, uint32_t sharing, uint32_t disposition,
                        uint32_t attributes) {
  Close();
  return bOpen(m_clPath.pszGet(), access, sharing, disposition, attributes, nullptr);
}

// --- write and read ----------------------------------------------------------------

bool CDiskFile::bWrite(const void* data, uint32_t n, uint32_t* written) {
  DropBlock();
  Begin();
  if (written != nullptr) *written = 0;
  if (n == 0) return true;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  uint32_t total = 0;
  int err = 0;
  while (total < n) {
    ssize_t r = ::pwrite(m_nHandle, bytes + total, n - total, m_nPosition + total);
    if (r < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (r == 0) {
      err = ENOSPC;
      break;
    }
    total += static_cast<uint32_t>(r);
  }
  m_nPosition += total;
  if (written != nullptr) *written = total;
  if (err == 0) return true;
  const std::u16string extra[] = {
      qg::FormatString(u"##(IXStream)-Access=<%x>##", m_nAccess)};
  return Fail(TransferError(err), qg::kMsgWrite, extra, 1);
}

bool CDiskFile::bWriteAt(int64_t offset, const void* data, uint32_t n, uint32_t* written) {
  if (written != nullptr) *written = 0;
  if (offset != m_nPosition && !bSeek(offset, qg::FILE_BEGIN)) return false;
  return bWrite(data, n, written);
}

bool CDiskFile::bRead(void* buffer, uint32_t n, uint32_t* read) {
  DropBlock();
  Begin();
  bool exact = read == nullptr;
  if (read != nullptr) *read = 0;
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  int64_t start = m_nPosition;
  uint32_t total = 0;
  int err = 0;
  if (m_nHandle < 0) err = EBADF;
  while (err == 0 && total < n) {
    ssize_t r = ::pread(m_nHandle, bytes + total, n - total, start + total);
    if (r < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (r == 0) break;
    total += static_cast<uint32_t>(r);
  }
  m_nPosition += total;
  if (read != nullptr) *read = total;
  if (err == 0 && (!exact || total == n)) return true;
  return FailRead(err == 0 ? qg::kErrorSuccess : TransferError(err), exact, n, total, start);
}

bool CDiskFile::bReadAt(int64_t offset, void* buffer, uint32_t n, uint32_t* read) {
  if (read != nullptr) *read = 0;
  if (offset != m_nPosition && !bSeek(offset, qg::FILE_BEGIN)) return false;
  return bRead(buffer, n, read);
}

// --- position and size --------------------------------------------------------------

int64_t CDiskFile::SeekTarget(int64_t distance, uint32_t method, uint32_t* error) {
  if (m_nHandle < 0) {
    *error = qg::kErrorInvalidHandle;
    return -1;
  }
  int64_t base = 0;
  switch (method) {
    case qg::FILE_BEGIN: base = 0; break;
    case qg::FILE_CURRENT: base = m_nPosition; break;
    case qg::FILE_END: {
      struct stat st;
      if (::fstat(m_nHandle, &st) != 0) {
        *error = qg::ErrorFromErrno(errno);
        return -1;
      }
      base = st.st_size;
      break;
    }
    default:
      *error = qg::kErrorInvalidParameter;
      return -1;
  }
  int64_t target = 0;
  if (__builtin_add_overflow(base, distance, &target) || target < 0) {
    *error = qg::kErrorNegativeSeek;
    return -1;
  }
  return target;
}

bool CDiskFile::bSeek(int64_t distance, uint32_t method) {
  DropBlock();
  Begin();
  uint32_t error = 0;
  int64_t target = SeekTarget(distance, method, &error);
  if (target < 0) return Fail(error, qg::kMsgSeek);
  m_nPosition = target;
  return true;
}

int64_t CDiskFile::nGetSize() {
  Begin();
  struct stat st;
  if (m_nHandle < 0) {
    Fail(qg::kErrorInvalidHandle, qg::kMsgSeek);
    return -1;
  }
  if (::fstat(m_nHandle, &st) != 0) {
    Fail(qg::ErrorFromErrno(errno), qg::kMsgSeek);
    return -1;
  }
  return st.st_size;
}

int64_t CDiskFile::nSeekToEnd() {
  if (!bSeek(0, qg::FILE_END)) return -1;
  return m_nPosition;
}

bool CDiskFile::bFlush() {
  DropBlock();
  Begin();
  if (m_nHandle < 0) return Fail(qg::kErrorInvalidHandle, qg::kMsgFlush);
  while (::fsync(m_nHandle) != 0) {
    if (errno != EINTR) return Fail(qg::ErrorFromErrno(errno), qg::kMsgFlush);
  }
  return true;
}

bool CDiskFile::bSetEndOfFile(int64_t offset, int mode) {
  DropBlock();
  Begin();
  if (mode != 0 && mode != 1) return Fail(qg::kErrorInvalidParameter, qg::kMsgSetEnd);
  if (!bSeek(offset, mode == 0 ? qg::FILE_BEGIN : qg::FILE_END)) return false;
  if (!m_bWritable) return Fail(qg::kErrorAccessDenied, qg::kMsgSetEnd);
  while (::ftruncate(m_nHandle, m_nPosition) != 0) {
    if (errno != EINTR) return Fail(qg::ErrorFromErrno(errno), qg::kMsgSetEnd);
  }
  return true;
}

bool CDiskFile::bExtend(int64_t count) {
  DropBlock();
  Begin();
  if (count <= 0) return true;
  int64_t end = nSeekToEnd();
  if (end < 0) return false;
  if (count > std::numeric_limits<int64_t>::max() - end) {
    return Fail(qg::kErrorNegativeSeek, qg::kMsgSeek);
  }
  if (!bSeek(end + count - 1, qg::FILE_BEGIN)) return false;
  const uint8_t zero = 0;
  return bWrite(&zero, 1, nullptr);
}

// --- formatted writes --------------------------------------------------------------

int CDiskFile::nVPrintfW(const char16_t* format, va_list args) {
  std::u16string text;
  qg::FormatVaAppend(&text, format, args);
  if (text.size() > std::numeric_limits<uint32_t>::max() / sizeof(char16_t)) {
    Begin();
    Fail(qg::kErrorInvalidParameter, qg::kMsgWrite);
    return -1;
  }
  if (!bWrite(text.data(), static_cast<uint32_t>(text.size() * sizeof(char16_t)), nullptr)) {
    return -1;
  }
  return static_cast<int>(text.size());
}

int CDiskFile::nVPrintfA(const char* format, va_list args) {
  std::string text;
  qg::FormatVaAppend(&text, format, args);
  if (text.size() > std::numeric_limits<uint32_t>::max()) {
    Begin();
    Fail(qg::kErrorInvalidParameter, qg::kMsgWrite);
    return -1;
  }
  if (!bWrite(text.data(), static_cast<uint32_t>(text.size()), nullptr)) return -1;
  return static_cast<int>(text.size());
}

// --- lines ---------------------------------------------------------------------------

// The block serves one line read only: the next call reads at its position
// again, as another descriptor may have truncated or overwritten the file
// meanwhile. Each refill within a call reads twice as much as the one
// before, from kFirstReadAhead up to kBlockSize, so short lines cost little.
int64_t CDiskFile::BlockAt(int64_t at, uint32_t need) {
  if (m_nBlockLength > 0 && at >= m_nBlockStart) {
    int64_t left = m_nBlockStart + m_nBlockLength - at;
    if (left >= static_cast<int64_t>(need)) return left;
  }
  if (m_pBlock == nullptr) {
    m_pBlock = static_cast<uint8_t*>(std::malloc(kBlockSize));
    if (m_pBlock == nullptr) {
      errno = ENOMEM;
      return -1;
    }
  }
  DropBlock();
  const uint32_t want = m_nReadAhead;
  if (m_nReadAhead < kBlockSize) m_nReadAhead *= 2;
  uint32_t total = 0;
  while (total < want) {
    ssize_t r = ::pread(m_nHandle, m_pBlock + total, want - total, at + total);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    total += static_cast<uint32_t>(r);
  }
  m_nBlockStart = at;
  m_nBlockLength = total;
  return total;
}

template <typename T>
bool CDiskFile::ReadLine(T* buffer, int capacity, bool* truncated, uint32_t options) {
  Begin();
  if (truncated != nullptr) *truncated = false;
  const int64_t start = m_nPosition;
  if (buffer == nullptr || capacity <= 0) {
    DropBlock();
    return FailRead(qg::kErrorInvalidParameter, false, 0, 0, start);
  }
  if (m_nHandle < 0) return FailRead(qg::kErrorInvalidHandle, false, 0, 0, start);
  DropBlock();
  m_nReadAhead = kFirstReadAhead;
  const bool crlf_only = (options & qg::kReadLineCrLfOnly) != 0;
  const uint32_t unit = sizeof(T);
  int64_t pos = start;
  int n = 0;
  bool cut = false;
  auto failed = [&](int err) {
    DropBlock();
    return FailRead(TransferError(err), false, 0, static_cast<uint32_t>(n), start);
  };
  for (;;) {
    int64_t avail = BlockAt(pos, unit);
    if (avail < 0) return failed(errno);
    if (avail < static_cast<int64_t>(unit)) {
      // End of the file: it ends the line, unless nothing was read.
      if (pos == start) return false;
      break;
    }
    const T* p = reinterpret_cast<const T*>(m_pBlock + (pos - m_nBlockStart));
    size_t units = static_cast<size_t>(avail) / unit;
    // Copy the run of line characters first.
    size_t room = static_cast<size_t>(capacity - 1 - n);
    size_t limit = units < room ? units : room;
    size_t run = 0;
    if constexpr (sizeof(T) == 1) {
      // LF first: it bounds the search for the rarer CR to one line.
      run = limit;
      if (!crlf_only) {
        const void* lf = std::memchr(p, '\n', run);
        if (lf != nullptr) run = static_cast<size_t>(static_cast<const T*>(lf) - p);
      }
      const void* cr = std::memchr(p, '\r', run);
      if (cr != nullptr) run = static_cast<size_t>(static_cast<const T*>(cr) - p);
    } else {
      while (run < limit) {
        T c = p[run];
        if (c == static_cast<T>(kCr) || (!crlf_only && c == static_cast<T>(kLf))) break;
        ++run;
      }
    }
    if (run > 0) {
      std::memcpy(buffer + n, p, run * unit);
      n += static_cast<int>(run);
      pos += static_cast<int64_t>(run * unit);
      continue;
    }
    T c = p[0];
    if (!crlf_only && c == static_cast<T>(kLf)) {  // a lone LF
      pos += unit;
      break;
    }
    if (c == static_cast<T>(kCr)) {
      // The unit after the CR, possibly in the next block.
      int64_t next = BlockAt(pos + unit, unit);
      if (next < 0) return failed(errno);
      bool lf = false;
      if (next >= static_cast<int64_t>(unit)) {
        lf = *reinterpret_cast<const T*>(m_pBlock + (pos + unit - m_nBlockStart)) ==
             static_cast<T>(kLf);
      }
      if (lf) {
        pos += 2 * unit;
        break;
      }
      if (!crlf_only) {
        pos += unit;
        break;
      }
      // A lone CR is part of the line under the option.
      if (n < capacity - 1) {
        buffer[n++] = c;
        pos += unit;
        continue;
      }
    }
    // The buffer is full and a line character follows. With room for the
    // terminator only, nothing can ever be returned: a failure, not an
    // endless run of empty truncated lines.
    if (n == 0) {
      DropBlock();
      return FailRead(qg::kErrorInsufficientBuffer, false, 0, 0, start);
    }
    cut = true;
    break;
  }
  buffer[n] = 0;
  m_nPosition = pos;
  if (truncated != nullptr) *truncated = cut;
  return true;
}

bool CDiskFile::bReadLineW(char16_t* buffer, int capacity, bool* truncated, uint32_t options) {
  return ReadLine(buffer, capacity, truncated, options);
}

bool CDiskFile::bReadLineA(char* buffer, int capacity, bool* truncated, uint32_t options) {
  return ReadLine(buffer, capacity, truncated, options);
}

// --- copies --------------------------------------------------------------------------

bool CDiskFile::bCopyTo(IXStream* target, int64_t count) {
  DropBlock();
  Begin();
  if (count == 0) return true;
  if (target == nullptr) return Fail(qg::kErrorInvalidParameter, qg::kMsgRead);
  std::vector<uint8_t> chunk(kCopyChunk);
  switch (qg::CopyInChunks(this, target, count, chunk.data(), kCopyChunk)) {
    case qg::CopyEnd::kDone:
      return true;
    case qg::CopyEnd::kReadFailed:
      return false;  // bRead has filled the error
    case qg::CopyEnd::kWriteFailed:
      break;
  }
  qg::CopyStreamError(m_pclError, target->pclGetError());
  return false;
}

bool CDiskFile::bCopyRangeToNewFile(const char16_t* path, int64_t offset, int64_t count) {
  DropBlock();
  Begin();
  CDiskFile out;
  if (!out.bOpen(path, qg::GENERIC_WRITE, qg::FILE_SHARE_READ | qg::FILE_SHARE_WRITE,
                 qg::CREATE_ALWAYS, qg::FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    qg::CopyStreamError(m_pclError, out.pclGetError());
    return false;
  }
  if (!bSeek(offset, qg::FILE_BEGIN) || !bCopyTo(&out, count)) {
    qg::LastErrorKeeper keep;
    CFSPath made = out.m_clPath;
    out.Close();
    bDeleteFile(made.pszGet());
    return false;
  }
  out.Close();
  return true;
}

bool CDiskFile::bAppendRangeOf(const char16_t* path, int64_t offset, int64_t count) {
  DropBlock();
  Begin();
  CDiskFile in;
  if (!in.bOpen(path, qg::GENERIC_READ, qg::FILE_SHARE_READ | qg::FILE_SHARE_WRITE,
                qg::OPEN_EXISTING, qg::FILE_FLAG_SEQUENTIAL_SCAN, nullptr) ||
      !in.bSeek(offset, qg::FILE_BEGIN)) {
    qg::CopyStreamError(m_pclError, in.pclGetError());
    return false;
  }
  if (nSeekToEnd() < 0) return false;
  if (!in.bCopyTo(this, count)) {
    qg::CopyStreamError(m_pclError, in.pclGetError());
    return false;
  }
  return true;
}

// --- locks ----------------------------------------------------------------------------

bool CDiskFile::LockCall(int command, short type, int64_t offset, int64_t length,
                         uint32_t* error) {
  if (m_nHandle < 0) {
    *error = qg::kErrorInvalidHandle;
    return false;
  }
  int64_t end = 0;
  if (offset < 0 || length <= 0 || __builtin_add_overflow(offset, length, &end)) {
    *error = qg::kErrorInvalidParameter;
    return false;
  }
  if ((type == F_WRLCK && !m_bWritable) || (type == F_RDLCK && !m_bReadable)) {
    *error = qg::kErrorAccessDenied;
    return false;
  }
  struct flock fl;
  std::memset(&fl, 0, sizeof(fl));
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = length;
  fl.l_pid = 0;  // required by open-file-description locks
  while (::fcntl(m_nHandle, command, &fl) != 0) {
    if (errno == EINTR) continue;
    *error = (errno == EAGAIN || errno == EACCES) ? qg::kErrorLockViolation
                                                  : qg::ErrorFromErrno(errno);
    return false;
  }
  return true;
}

bool CDiskFile::FailLock(uint32_t system_error, uint32_t message, int64_t offset,
                         int64_t length) {
  const qg::FormatArg inserts[] = {qg::FormatArg(static_cast<uint64_t>(offset)),
                                   qg::FormatArg(static_cast<uint64_t>(length))};
  return Fail(system_error, message, nullptr, 0, qg::FormatArgs{inserts, 2});
}

bool CDiskFile::bLockRange(int64_t offset, int64_t length) {
  DropBlock();
  Begin();
  uint32_t error = 0;
  if (LockCall(F_OFD_SETLK, F_WRLCK, offset, length, &error)) return true;
  return FailLock(error, qg::kMsgLock, offset, length);
}

bool CDiskFile::bUnlockRange(int64_t offset, int64_t length) {
  DropBlock();
  Begin();
  uint32_t error = 0;
  if (LockCall(F_OFD_SETLK, F_UNLCK, offset, length, &error)) return true;
  return FailLock(error, qg::kMsgUnlock, offset, length);
}

bool CDiskFile::bLockRangeNoError(int64_t offset, int64_t length) {
  uint32_t error = 0;
  if (LockCall(F_OFD_SETLK, F_WRLCK, offset, length, &error)) return true;
  qg::SetLastError(error);
  return false;
}

bool CDiskFile::bUnlockRangeNoError(int64_t offset, int64_t length) {
  uint32_t error = 0;
  if (LockCall(F_OFD_SETLK, F_UNLCK, offset, length, &error)) return true;
  qg::SetLastError(error);
  return false;
}

bool CDiskFile::bLockWholeFile(bool lock, bool exclusive) {
  DropBlock();
  Begin();
  int64_t length = exclusive ? 2 : 1;
  uint32_t error = 0;
  short type = !lock ? F_UNLCK : (exclusive ? F_WRLCK : F_RDLCK);
  if (LockCall(lock ? F_OFD_SETLKW : F_OFD_SETLK, type, 0, length, &error)) return true;
  return FailLock(error, lock ? qg::kMsgLock : qg::kMsgNone, 0, length);
}

// --- names and blocks ----------------------------------------------------------------------

void CDiskFile::SetDisplayName(const char16_t* name) {
  LibereChaine(m_pszDisplayName);
  m_pszDisplayName = (name == nullptr) ? nullptr : pszDupliqueChaine(name);
}

bool CDiskFile::bGetRealPath(char16_t* out) {
  if (out == nullptr) {
    qg::SetLastError(qg::kErrorInvalidParameter);
    return false;
  }
  out[0] = 0;
  const char16_t* path = m_clPath.pszGet();
  // A network path ("\\server\...", also behind "\\?\UNC\") has no local name.
  bool long_form = qg::StrNCmp16(path, u"\\\\?\\", 4) == 0;
  bool network = long_form ? qg::StrNCmp16(path, u"\\\\?\\UNC\\", 8) == 0
                           : (path[0] == u'\\' && path[1] == u'\\' &&
                              qg::StrChr16(path + 2, u'\\') != nullptr);
  if (network) {
    qg::SetLastError(qg::kErrorNotSupported);
    return false;
  }
  if (m_nHandle < 0) {
    qg::SetLastError(qg::kErrorInvalidHandle);
    return false;
  }
  struct stat st;
  if (::fstat(m_nHandle, &st) != 0) {
    qg::SetLastErrorFromErrno();
    return false;
  }
  if (st.st_nlink == 0) {  // deleted: the link would name "... (deleted)"
    qg::SetLastError(qg::kErrorFileNotFound);
    return false;
  }
  std::string link = "/proc/self/fd/" + std::to_string(m_nHandle);
  std::vector<char> target(4096);
  ssize_t r = ::readlink(link.c_str(), target.data(), target.size() - 1);
  if (r <= 0) {
    qg::SetLastErrorFromErrno();
    return false;
  }
  target[static_cast<size_t>(r)] = 0;
  std::u16string name = qg::FromSystemPath(target.data());
  if (name.empty() || name.size() >= static_cast<size_t>(qg::kMaxPath)) {
    qg::SetLastError(qg::kErrorInsufficientBuffer);
    return false;
  }
  std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  return true;
}

CSimpleConstBufferBase CDiskFile::ReadBlock(int64_t offset, uint32_t size,
                                            CSimpleBufferBase* buffer) {
  DropBlock();
  Begin();
  if (buffer == nullptr) {
    Fail(qg::kErrorInvalidParameter, qg::kMsgRead);
    return CSimpleConstBufferBase();
  }
  if (!buffer->bResize(size)) {
    Fail(qg::kErrorNotEnoughMemory, qg::kMsgRead);
    return CSimpleConstBufferBase();
  }
  int64_t saved = m_nPosition;
  bool ok = bSeek(offset, qg::FILE_BEGIN) && bRead(buffer->pGetData(), size, nullptr);
  m_nPosition = saved;
  if (!ok) return CSimpleConstBufferBase();
  return CSimpleConstBufferBase(buffer->pGetData(), buffer->nGetSize());
}

bool CDiskFile::bSetValidSize(int64_t size) {
  int64_t old = nGetSize();
  if (old < 0) return false;
  if (!bSetEndOfFile(size, 0)) return false;
  if (size <= old) return true;  // a shrunk file keeps its last byte
  const uint8_t zero = 0;
  return bWriteAt(size - 1, &zero, 1, nullptr);
}

bool CDiskFile::bGetCurrentDirectory(char16_t* out, CXError* error) {
  if (out == nullptr) return false;
  out[0] = 0;
  std::u16string cwd = qg::CurrentDirectory16();
  uint32_t failure = qg::kErrorSuccess;
  if (cwd.empty()) {
    failure = qg::GetLastError() != 0 ? qg::GetLastError() : qg::kErrorPathNotFound;
  } else if (cwd.size() >= static_cast<size_t>(qg::kPathCapacity)) {
    failure = qg::kErrorFilenameExcedRange;
  }
  if (failure != qg::kErrorSuccess) {
    if (error != nullptr) qg::FillStreamError(error, failure, nullptr, 0, qg::kMsgNone, nullptr);
    qg::SetLastError(failure);
    return false;
  }
  std::memcpy(out, cwd.c_str(), (cwd.size() + 1) * sizeof(char16_t));
  return true;
}
