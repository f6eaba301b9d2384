// IXStream: the library's byte stream. CDiskFile (a file), CMemoryStream
// (a memory block) and streams of other modules implement it; CXFile
// forwards to one.
//
// Operation n of the stream is its n-th virtual function counting the
// deleting destructor as 1 and Release as 2; the functions below are
// declared in that order. Operations a stream does not implement keep the
// defaults here, which fail (0, false, -1 or null) without touching the
// error object.
//
// Every stream owns one error object (created with one reference by the
// constructor, released by the destructor). A failing operation of a
// CDiskFile fills it; CMemoryStream leaves it untouched.
//
// Offsets and sizes are 64-bit; byte counts of one read or write are
// 32-bit. A stream is used by one thread at a time.
#ifndef QG_SUPPORT_STREAMS_XSTREAM_H_
#define QG_SUPPORT_STREAMS_XSTREAM_H_

#include <cstdarg>
#include <cstdint>

#include "support/qg_unknown.h"
#include "support/streams/simple_buffer.h"

class CXError;

namespace qg {

// Access masks.
constexpr uint32_t GENERIC_READ = 0x80000000;
constexpr uint32_t GENERIC_WRITE = 0x40000000;
constexpr uint32_t GENERIC_ALL = 0x10000000;
// Sharing modes (accepted; they have no counterpart on this system).
constexpr uint32_t FILE_SHARE_READ = 0x1;
constexpr uint32_t FILE_SHARE_WRITE = 0x2;
constexpr uint32_t FILE_SHARE_DELETE = 0x4;
// Dispositions.
constexpr uint32_t CREATE_NEW = 1;
constexpr uint32_t CREATE_ALWAYS = 2;
constexpr uint32_t OPEN_EXISTING = 3;
constexpr uint32_t OPEN_ALWAYS = 4;
constexpr uint32_t TRUNCATE_EXISTING = 5;
// Attributes and flags.
constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x1;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr uint32_t FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
// Seek methods.
constexpr uint32_t FILE_BEGIN = 0;
constexpr uint32_t FILE_CURRENT = 1;
constexpr uint32_t FILE_END = 2;
// Read-line option: only CR LF ends a line.
constexpr uint32_t kReadLineCrLfOnly = 0x1;

}  // namespace qg

class IXStream : public CQGUnknown {
 public:
  IXStream(const IXStream&) = delete;
  IXStream& operator=(const IXStream&) = delete;

  // 1: releases the error object.
  ~IXStream() override;
  // 2: Release (CQGUnknown).

  // 3: opens path with an access mask, sharing mode, disposition and
  // attributes; *created (when given) tells whether a new file was made.
  virtual bool bOpen(const char16_t* path, uint32_t access, uint32_t sharing,
                     uint32_t disposition, uint32_t attributes, bool* created);
  // 4
  virtual void Close();
  // 5: close, then open the stored path again.
  virtual bool bReopen(uint32_t access, uint32_t sharing, uint32_t disposition,
                       uint32_t attributes);
  // 6: *written (when given) receives the bytes written.
  virtual bool bWrite(const void* data, uint32_t n, uint32_t* written);
  // 7
  virtual bool bWriteAt(int64_t offset, const void* data, uint32_t n, uint32_t* written);
  // 8: without a count the read is exact (fewer bytes fail).
  virtual bool bRead(void* buffer, uint32_t n, uint32_t* read);
  // 9
  virtual bool bReadAt(int64_t offset, void* buffer, uint32_t n, uint32_t* read);
  // 10: method qg::FILE_BEGIN, FILE_CURRENT or FILE_END.
  virtual bool bSeek(int64_t distance, uint32_t method);
  // 11: -1 on failure.
  virtual int64_t nGetSize();
  // 12: the new position, -1 on failure.
  virtual int64_t nSeekToEnd();
  // 13
  virtual bool bFlush();
  // 14: mode 0 from the start, 1 from the end.
  virtual bool bSetEndOfFile(int64_t offset, int mode);
  // 15
  virtual bool bExtend(int64_t count);
  // 16 to 19: formatted writes (Windows meaning of the format); the number
  // of characters written, -1 on failure.
  virtual int nPrintfW(const char16_t* format, ...);
  virtual int nPrintfA(const char* format, ...);
  virtual int nVPrintfW(const char16_t* format, va_list args);
  virtual int nVPrintfA(const char* format, va_list args);
  // 20, 21: one line into buffer (capacity in characters, terminator
  // included); see CDiskFile.
  virtual bool bReadLineW(char16_t* buffer, int capacity, bool* truncated, uint32_t options);
  virtual bool bReadLineA(char* buffer, int capacity, bool* truncated, uint32_t options);
  // 22: count > 0 that many bytes, < 0 up to the end, 0 nothing.
  virtual bool bCopyTo(IXStream* target, int64_t count);
  // 23, 24: byte-range locks with error filling; 25, 26 without.
  virtual bool bLockRange(int64_t offset, int64_t length);
  virtual bool bUnlockRange(int64_t offset, int64_t length);
  virtual bool bLockRangeNoError(int64_t offset, int64_t length);
  virtual bool bUnlockRangeNoError(int64_t offset, int64_t length);
  // 27
  virtual const char16_t* pszGetPath();
  // 28
  virtual int64_t nGetPosition();
  // 29
  virtual bool bIsOpen();
  // 30, 31: the stream's error object (the same pointer).
  virtual CXError* pclGetError();
  virtual CXError* pclGetXError();
  // 32: replaces the path in error messages; null clears.
  virtual void SetDisplayName(const char16_t* name);
  // 33
  virtual uint32_t nGetAccess();
  // 34: into a buffer of qg::kPathCapacity units.
  virtual bool bGetRealPath(char16_t* out);
  // 35
  virtual bool bLockWholeFile(bool lock, bool exclusive);
  // 36: size bytes at offset; (null, 0) on failure.
  virtual CSimpleConstBufferBase ReadBlock(int64_t offset, uint32_t size,
                                           CSimpleBufferBase* buffer);
  // 37
  virtual bool bSetValidSize(int64_t size);
  // 38
  virtual IXStream* pGetStream();
  // 39 to 51: unused.
  virtual void vReserved39();
  virtual void vReserved40();
  virtual void vReserved41();
  virtual void vReserved42();
  virtual void vReserved43();
  virtual void vReserved44();
  virtual void vReserved45();
  virtual void vReserved46();
  virtual void vReserved47();
  virtual void vReserved48();
  virtual void vReserved49();
  virtual void vReserved50();
  virtual void vReserved51();
  // 52: count bytes from offset into a new file at path.
  virtual bool bCopyRangeToNewFile(const char16_t* path, int64_t offset, int64_t count);
  // 53: count bytes from offset of the file at path appended to this one.
  virtual bool bAppendRangeOf(const char16_t* path, int64_t offset, int64_t count);
  // 54, 55: 0.
  virtual int vnReserved54();
  virtual int vnReserved55();
  // 56: as 27.
  virtual const char16_t* pszGetPathText();
  // 57: 1; 58, 59: 0.
  virtual int vnReserved57();
  virtual int vnReserved58();
  virtual int vnReserved59();
  // 60 to 67: unused.
  virtual void vReserved60();
  virtual void vReserved61();
  virtual void vReserved62();
  virtual void vReserved63();
  virtual void vReserved64();
  virtual void vReserved65();
  virtual void vReserved66();
  virtual void vReserved67();

 protected:
  IXStream();

  CXError* m_pclError;
};

namespace qg {

// How a copy between two streams ended.
enum class CopyEnd { kDone, kReadFailed, kWriteFailed };

// The loop behind bCopyTo: count bytes (< 0: up to the end of source, 0:
// nothing) from source's position to target's, through chunk (size bytes).
// A positive count that source cannot fill is a read failure.
CopyEnd CopyInChunks(IXStream* source, IXStream* target, int64_t count, uint8_t* chunk,
                     uint32_t size);

}  // namespace qg

#endif  // QG_SUPPORT_STREAMS_XSTREAM_H_
