// CXFile: a file object that forwards every stream operation to the
// stream it holds (one reference). Opening without a stream first creates
// a CDiskFile, which this object then owns through that reference.
#ifndef QG_SUPPORT_STREAMS_XFILE_H_
#define QG_SUPPORT_STREAMS_XFILE_H_

#include <cstdarg>
#include <cstdint>

#include "support/streams/xstream.h"

class CXFile {
 public:
  CXFile() = default;
  // Takes a reference on stream (may be null).
  explicit CXFile(IXStream* stream);
  CXFile(const CXFile&) = delete;
  CXFile& operator=(const CXFile&) = delete;
  // Drops the stream's reference.
  virtual ~CXFile();

  // Releases the current stream and takes a reference on the new one.
  void SetStream(IXStream* stream);
  IXStream* pGetStream() const { return m_piStream; }
  // Drops the stream's reference; the object then holds none.
  void Release();
  bool bCreatedStream() const { return m_bCreated; }

  // Without a stream, a CDiskFile is created first.
  bool bOpen(const char16_t* path, uint32_t access, uint32_t sharing, uint32_t disposition,
             uint32_t attributes, bool* created = nullptr);
  void Close();
  bool bWrite(const void* data, uint32_t n, uint32_t* written = nullptr);
  bool bWriteAt(int64_t offset, const void* data, uint32_t n, uint32_t* written = nullptr);
  bool bRead(void* buffer, uint32_t n, uint32_t* read = nullptr);
  bool bReadAt(int64_t offset, void* buffer, uint32_t n, uint32_t* read = nullptr);
  bool bSeek(int64_t distance, uint32_t method);
  // Through the forwarded seek and position: the end's position, the
  // position put back; -1 on failure.
  int64_t nGetSize();
  int64_t nGetPosition();
  bool bFlush();
  bool bSetEndOfFile(int64_t offset, int mode);
  int nPrintfW(const char16_t* format, ...);
  int nPrintfA(const char* format, ...);
  bool bReadLineW(char16_t* buffer, int capacity, bool* truncated, uint32_t options);
  bool bReadLineA(char* buffer, int capacity, bool* truncated, uint32_t options);
  // Through the forwarded read: 64 KiB chunks written to target; count as
  // for IXStream::bCopyTo (a positive count the stream cannot fill fails).
  bool bCopyTo(IXStream* target, int64_t count);
  bool bLockRange(int64_t offset, int64_t length);
  bool bUnlockRange(int64_t offset, int64_t length);
  const char16_t* pszGetPath();
  bool bIsOpen();
  // 0 without a stream.
  CXError* pclGetError();
  uint32_t nGetAccess();
  void SetDisplayName(const char16_t* name);

 private:
  IXStream* m_piStream = nullptr;
  bool m_bCreated = false;  // the stream was created by this object
};

#endif  // QG_SUPPORT_STREAMS_XFILE_H_
