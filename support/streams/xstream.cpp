#include "support/streams/xstream.h"

#include "support/streams/stream_error.h"

IXStream::IXStream() : m_pclError(qg::NewStreamError()) {}

IXStream::~IXStream() { qg::ReleaseStreamError(m_pclError); }

bool IXStream::bOpen(const char16_t*, uint32_t, uint32_t, uint32_t, uint32_t, bool* created) {
  if (created != nullptr) *created = false;
  return false;
}
void IXStream::Close() {}
bool IXStream::bReopen(uint32_t, uint32_t, uint32_t, uint32_t) { return false; }
bool IXStream::bWrite(const void*, uint32_t, uint32_t* written) {
  if (written != nullptr) *written = 0;
  return false;
}
bool IXStream::bWriteAt(int64_t, const void*, uint32_t, uint32_t* written) {
  if (written != nullptr) *written = 0;
  return false;
}
bool IXStream::bRead(void*, uint32_t, uint32_t* read) {
  if (read != nullptr) *read = 0;
  return false;
}
bool IXStream::bReadAt(int64_t, void*, uint32_t, uint32_t* read) {
  if (read != nullptr) *read = 0;
  return false;
}
bool IXStream::bSeek(int64_t, uint32_t) { return false; }
int64_t IXStream::nGetSize() { return -1; }
int64_t IXStream::nSeekToEnd() { return -1; }
bool IXStream::bFlush() { return false; }
bool IXStream::bSetEndOfFile(int64_t, int) { return false; }
bool IXStream::bExtend(int64_t) { return false; }

int IXStream::nPrintfW(const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = nVPrintfW(format, ap);
  va_end(ap);
  return n;
}

int IXStream::nPrintfA(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = nVPrintfA(format, ap);
  va_end(ap);
  return n;
}

int IXStream::nVPrintfW(const char16_t*, va_list) { return -1; }
int IXStream::nVPrintfA(const char*, va_list) { return -1; }
bool IXStream::bReadLineW(char16_t*, int, bool* truncated, uint32_t) {
  if (truncated != nullptr) *truncated = false;
  return false;
}
bool IXStream::bReadLineA(char*, int, bool* truncated, uint32_t) {
  if (truncated != nullptr) *truncated = false;
  return false;
}
bool IXStream::bCopyTo(IXStream*, int64_t) { return false; }
bool IXStream::bLockRange(int64_t, int64_t) { return false; }
bool IXStream::bUnlockRange(int64_t, int64_t) { return false; }
bool IXStream::bLockRangeNoError(int64_t, int64_t) { return false; }
bool IXStream::bUnlockRangeNoError(int64_t, int64_t) { return false; }
const char16_t* IXStream::pszGetPath() { return u""; }
int64_t IXStream::nGetPosition() { return -1; }
bool IXStream::bIsOpen() { return false; }
CXError* IXStream::pclGetError() { return m_pclError; }
CXError* IXStream::pclGetXError() { return m_pclError; }
void IXStream::SetDisplayName(const char16_t*) {}
uint32_t IXStream::nGetAccess() { return 0; }
bool IXStream::bGetRealPath(char16_t* out) {
  if (out != nullptr) out[0] = 0;
  return false;
}
bool IXStream::bLockWholeFile(bool, bool) { return false; }
CSimpleConstBufferBase IXStream::ReadBlock(int64_t, uint32_t, CSimpleBufferBase*) {
  return CSimpleConstBufferBase();
}
bool IXStream::bSetValidSize(int64_t) { return false; }
IXStream* IXStream::pGetStream() { return this; }
void IXStream::vReserved39() {}
void IXStream::vReserved40() {}
void IXStream::vReserved41() {}
void IXStream::vReserved42() {}
void IXStream::vReserved43() {}
void IXStream::vReserved44() {}
void IXStream::vReserved45() {}
void IXStream::vReserved46() {}
void IXStream::vReserved47() {}
void IXStream::vReserved48() {}
void IXStream::vReserved49() {}
void IXStream::vReserved50() {}
void IXStream::vReserved51() {}
bool IXStream::bCopyRangeToNewFile(const char16_t*, int64_t, int64_t) { return false; }
bool IXStream::bAppendRangeOf(const char16_t*, int64_t, int64_t) { return false; }
int IXStream::vnReserved54() { return 0; }
int IXStream::vnReserved55() { return 0; }
const char16_t* IXStream::pszGetPathText() { return pszGetPath(); }
int IXStream::vnReserved57() { return 1; }
int IXStream::vnReserved58() { return 0; }
int IXStream::vnReserved59() { return 0; }
void IXStream::vReserved60() {}
void IXStream::vReserved61() {}
void IXStream::vReserved62() {}
void IXStream::vReserved63() {}
void IXStream::vReserved64() {}
void IXStream::vReserved65() {}
void IXStream::vReserved66() {}
void IXStream::vReserved67() {}

namespace qg {

CopyEnd CopyInChunks(IXStream* source, IXStream* target, int64_t count, uint8_t* chunk,
                     uint32_t size) {
  if (count == 0) return CopyEnd::kDone;
  int64_t left = count;
  for (;;) {
    uint32_t want = size;
    if (count > 0 && left < static_cast<int64_t>(want)) want = static_cast<uint32_t>(left);
    uint32_t got = 0;
    // A counted copy reads exactly: a stream that ends early fails it.
    if (!source->bRead(chunk, want, count > 0 ? nullptr : &got)) return CopyEnd::kReadFailed;
    if (count > 0) got = want;
    if (got == 0) return CopyEnd::kDone;
    if (!target->bWrite(chunk, got, nullptr)) return CopyEnd::kWriteFailed;
    if (count > 0) {
      left -= got;
      if (left == 0) return CopyEnd::kDone;
    }
  }
}

}  // namespace qg
