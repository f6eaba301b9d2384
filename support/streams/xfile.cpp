#include "support/streams/xfile.h"

#include <vector>

#include "support/platform/error_codes.h"
#include "support/streams/disk_file.h"

namespace {

constexpr uint32_t kCopyChunk = 0x10000;

}  // namespace

CXFile::CXFile(IXStream* stream) { SetStream(stream); }

CXFile::~CXFile() { Release(); }

void CXFile::SetStream(IXStream* stream) {
  if (stream != nullptr) stream->AddRef();
  Release();
  m_piStream = stream;
}

void CXFile::Release() {
  if (m_piStream != nullptr) m_piStream->Release();
  m_piStream = nullptr;
  m_bCreated = false;
}

bool CXFile::bOpen(const char16_t* path, uint32_t access, uint32_t sharing,
                   uint32_t disposition, uint32_t attributes, bool* created) {
  if (m_piStream == nullptr) {
    SetStream(new CDiskFile());
    m_bCreated = true;
  }
  return m_piStream->bOpen(path, access, sharing, disposition, attributes, created);
}

void CXFile::Close() {
  if (m_piStream != nullptr) m_piStream->Close();
}

bool CXFile::bWrite(const void* data, uint32_t n, uint32_t* written) {
  if (m_piStream == nullptr) {
    if (written != nullptr) *written = 0;
    qg::SetLastError(qg::kErrorInvalidHandle);
    return false;
  }
  return m_piStream->bWrite(data, n, written);
}

bool CXFile::bWriteAt(int64_t offset, const void* data, uint32_t n, uint32_t* written) {
  if (m_piStream == nullptr) return bWrite(data, n, written);
  return m_piStream->bWriteAt(offset, data, n, written);
}

bool CXFile::bRead(void* buffer, uint32_t n, uint32_t* read) {
  if (m_piStream == nullptr) {
    if (read != nullptr) *read = 0;
    qg::SetLastError(qg::kErrorInvalidHandle);
    return false;
  }
  return m_piStream->bRead(buffer, n, read);
}

bool CXFile::bReadAt(int64_t offset, void* buffer, uint32_t n, uint32_t* read) {
  if (m_piStream == nullptr) return bRead(buffer, n, read);
  return m_piStream->bReadAt(offset, buffer, n, read);
}

bool CXFile::bSeek(int64_t distance, uint32_t method) {
  return m_piStream != nullptr && m_piStream->bSeek(distance, method);
}

int64_t CXFile::nGetSize() {
  if (m_piStream == nullptr) return -1;
  int64_t position = m_piStream->nGetPosition();
  if (position < 0 || !m_piStream->bSeek(0, qg::FILE_END)) return -1;
  int64_t size = m_piStream->nGetPosition();
  if (!m_piStream->bSeek(position, qg::FILE_BEGIN)) return -1;
  return size;
}

int64_t CXFile::nGetPosition() {
  return m_piStream == nullptr ? -1 : m_piStream->nGetPosition();
}

bool CXFile::bFlush() { return m_piStream != nullptr && m_piStream->bFlush(); }

bool CXFile::bSetEndOfFile(int64_t offset, int mode) {
  return m_piStream != nullptr && m_piStream->bSetEndOfFile(offset, mode);
}

int CXFile::nPrintfW(const char16_t* format, ...) {
  if (m_piStream == nullptr) return -1;
  va_list ap;
  va_start(ap, format);
  int n = m_piStream->nVPrintfW(format, ap);
  va_end(ap);
  return n;
}

int CXFile::nPrintfA(const char* format, ...) {
  if (m_piStream == nullptr) return -1;
  va_list ap;
  va_start(ap, format);
  int n = m_piStream->nVPrintfA(format, ap);
  va_end(ap);
  return n;
}

bool CXFile::bReadLineW(char16_t* buffer, int capacity, bool* truncated, uint32_t options) {
  if (m_piStream == nullptr) {
    if (truncated != nullptr) *truncated = false;
    return false;
  }
  return m_piStream->bReadLineW(buffer, capacity, truncated, options);
}

bool CXFile::bReadLineA(char* buffer, int capacity, bool* truncated, uint32_t options) {
  if (m_piStream == nullptr) {
    if (truncated != nullptr) *truncated = false;
    return false;
  }
  return m_piStream->bReadLineA(buffer, capacity, truncated, options);
}

bool CXFile::bCopyTo(IXStream* target, int64_t count) {
  if (count == 0) return true;
  if (m_piStream == nullptr || target == nullptr) return false;
  std::vector<uint8_t> chunk(kCopyChunk);
  return qg::CopyInChunks(m_piStream, target, count, chunk.data(), kCopyChunk) ==
         qg::CopyEnd::kDone;
}

bool CXFile::bLockRange(int64_t offset, int64_t length) {
  return m_piStream != nullptr && m_piStream->bLockRange(offset, length);
}

bool CXFile::bUnlockRange(int64_t offset, int64_t length) {
  return m_piStream != nullptr && m_piStream->bUnlockRange(offset, length);
}

const char16_t* CXFile::pszGetPath() {
  return m_piStream == nullptr ? u"" : m_piStream->pszGetPath();
}

bool CXFile::bIsOpen() { return m_piStream != nullptr && m_piStream->bIsOpen(); }

CXError* CXFile::pclGetError() {
  return m_piStream == nullptr ? nullptr : m_piStream->pclGetError();
}

uint32_t CXFile::nGetAccess() { return m_piStream == nullptr ? 0 : m_piStream->nGetAccess(); }

void CXFile::SetDisplayName(const char16_t* name) {
  if (m_piStream != nullptr) m_piStream->SetDisplayName(name);
}
