// CDiskFile: the stream over a file.
//
// Files are opened through POSIX calls; the stream keeps its own 64-bit
// position and reads and writes at it (pread / pwrite), looping on short
// transfers and on EINTR. Sharing modes are accepted and ignored: this
// system has no counterpart.
//
// Every operation that can fail first clears the error object; on failure
// it fills it (level 3, the system error and its text, debug texts, a
// catalogue message with the display name or the path, an information item
// holding that name), leaves the last error as the failure set it and
// returns false (or -1 / null).
//
// Byte-range locks are open-file-description locks: they belong to this
// stream's open file, so two streams on one file exclude each other even
// in one process, and closing another descriptor of the file leaves them
// in place. They are advisory, an exclusive lock needs write access and a
// shared one read access.
//
// Reading lines goes through a read-ahead block held by the stream; any
// other operation drops it, so the block never outlives a run of line
// reads. Bytes that another process or descriptor changes inside the block
// during such a run are seen once the block is refilled.
#ifndef QG_SUPPORT_STREAMS_DISK_FILE_H_
#define QG_SUPPORT_STREAMS_DISK_FILE_H_

#include <cstdint>
#include <string>

#include "support/platform/format.h"
#include "support/streams/fs_path.h"
#include "support/streams/xstream.h"

class CDiskFile : public IXStream {
 public:
  CDiskFile();
  ~CDiskFile() override;

  // Open: a non-empty path other than the stored one is stored in its full
  // form first. OPEN_ALWAYS reports created only when the file was made,
  // and leaves last error 183 when it existed.
  bool bOpen(const char16_t* path, uint32_t access, uint32_t sharing, uint32_t disposition,
             uint32_t attributes, bool* created) override;
  void Close() override;
  bool bReopen(uint32_t access, uint32_t sharing, uint32_t disposition,
               uint32_t attributes) override;
  // Writing 0 bytes succeeds without a system call.
  bool bWrite(const void* data, uint32_t n, uint32_t* written) override;
  bool bWriteAt(int64_t offset, const void* data, uint32_t n, uint32_t* written) override;
  // With a count the read may come short at the end of the file; without
  // one, fewer than n bytes fail with message 28003 (system error 0).
  bool bRead(void* buffer, uint32_t n, uint32_t* read) override;
  bool bReadAt(int64_t offset, void* buffer, uint32_t n, uint32_t* read) override;
  // A target before the start fails (error 131) and keeps the position.
  bool bSeek(int64_t distance, uint32_t method) override;
  int64_t nGetSize() override;
  int64_t nSeekToEnd() override;
  bool bFlush() override;
  bool bSetEndOfFile(int64_t offset, int mode) override;
  // Grows the file by count zero bytes; count <= 0 does nothing.
  bool bExtend(int64_t count) override;
  // The whole formatted text, without terminator.
  int nVPrintfW(const char16_t* format, va_list args) override;
  int nVPrintfA(const char* format, va_list args) override;
  // One line from the position into buffer, without its end, terminated.
  // Without qg::kReadLineCrLfOnly a CR, a CR LF or a lone LF ends a line;
  // with it only CR LF does. The end of the file ends the last line. A line
  // longer than capacity - 1 fills the buffer, sets *truncated and leaves
  // the rest for the next call. False at the end of the file (the error
  // object stays clear) or on failure (filled). UTF-16 text is
  // little-endian.
  bool bReadLineW(char16_t* buffer, int capacity, bool* truncated, uint32_t options) override;
  bool bReadLineA(char* buffer, int capacity, bool* truncated, uint32_t options) override;
  // Copies through target's write in 64 KiB chunks. A positive count that
  // the file cannot fill fails (28003). A failure of the target is copied
  // into this stream's error object.
  bool bCopyTo(IXStream* target, int64_t count) override;
  // Non-blocking; a conflict fails with error 33 and message 28145 / 28146
  // (inserts: name, offset, length). length must be positive.
  bool bLockRange(int64_t offset, int64_t length) override;
  bool bUnlockRange(int64_t offset, int64_t length) override;
  bool bLockRangeNoError(int64_t offset, int64_t length) override;
  bool bUnlockRangeNoError(int64_t offset, int64_t length) override;
  const char16_t* pszGetPath() override { return m_clPath.pszGet(); }
  int64_t nGetPosition() override { return m_nPosition; }
  bool bIsOpen() override { return m_nHandle >= 0; }
  void SetDisplayName(const char16_t* name) override;
  uint32_t nGetAccess() override { return m_nAccess; }
  // The file's path as the system names it (from /proc/self/fd), into a
  // buffer of qg::kMaxPath units. False for a network path, a deleted file
  // or a longer path.
  bool bGetRealPath(char16_t* out) override;
  // Shared: byte 0; exclusive: bytes 0 and 1. Locking waits for the lock.
  bool bLockWholeFile(bool lock, bool exclusive) override;
  // Fills buffer with size bytes at offset; the position is kept.
  CSimpleConstBufferBase ReadBlock(int64_t offset, uint32_t size,
                                   CSimpleBufferBase* buffer) override;
  // End of file at size; when the file grew its last byte is written.
  bool bSetValidSize(int64_t size) override;
  // A new file at path (CREATE_ALWAYS) receiving count bytes from offset;
  // deleted again on failure.
  bool bCopyRangeToNewFile(const char16_t* path, int64_t offset, int64_t count) override;
  // count bytes from offset of the file at path appended to this one.
  bool bAppendRangeOf(const char16_t* path, int64_t offset, int64_t count) override;

  // The descriptor (-1 when closed).
  int nGetHandle() const { return m_nHandle; }

  // The current directory into a buffer of qg::kPathCapacity units; false
  // when it cannot be read or does not fit (error, when given, is filled).
  static bool bGetCurrentDirectory(char16_t* out, CXError* error = nullptr);
  static bool SplitPath(const char16_t* path, char16_t* root, char16_t* directory,
                        char16_t* name, char16_t* extension) {
    return qg::SplitPath5(path, root, directory, name, extension);
  }
  static bool SplitPath(const char16_t* path, char16_t* folder, char16_t* name,
                        char16_t* extension) {
    return qg::SplitPath4(path, folder, name, extension);
  }
  static bool MakePath(char16_t* out, const char16_t* folder, const char16_t* name,
                       const char16_t* extension) {
    return qg::MakePath(out, folder, name, extension);
  }
  static void DirectoryWithoutEndSlash(char16_t* folder) {
    qg::DirectoryWithoutEndSlash(folder);
  }

 private:
  // The name shown in messages: the display name, else the path.
  const char16_t* Name() const;
  std::u16string HandleText() const;
  void Begin();
  // The error convention with the handle text and `extra` debug texts.
  bool Fail(uint32_t system_error, uint32_t message, const std::u16string* extra = nullptr,
            int extra_count = 0, qg::FormatArgs inserts = qg::FormatArgs());
  bool FailRead(uint32_t system_error, bool exact, uint32_t wanted, uint32_t got,
                int64_t offset);
  // errno of a transfer as a system error (EBADF on an open file: access).
  uint32_t TransferError(int err) const;
  // Target of a seek, or -1 with *error set.
  int64_t SeekTarget(int64_t distance, uint32_t method, uint32_t* error);
  bool LockCall(int command, short type, int64_t offset, int64_t length, uint32_t* error);
  bool FailLock(uint32_t system_error, uint32_t message, int64_t offset, int64_t length);
  void DropBlock() { m_nBlockLength = 0; }
  // Bytes of the read-ahead block from `at` on, refilled when fewer than
  // `need` remain; 0 at the end of the file, -1 on failure (errno kept).
  int64_t BlockAt(int64_t at, uint32_t need);
  template <typename T>
  bool ReadLine(T* buffer, int capacity, bool* truncated, uint32_t options);

  CFSPath m_clPath;
  int m_nHandle = -1;
  int64_t m_nPosition = 0;
  uint8_t* m_pBlock = nullptr;  // read-ahead block (kBlockSize bytes), owned
  uint32_t m_nAccess = 0;
  char16_t* m_pszDisplayName = nullptr;  // owned copy or null
  bool m_bWritable = false;
  bool m_bReadable = false;
  int64_t m_nBlockStart = 0;   // file offset of m_pBlock[0]
  uint32_t m_nBlockLength = 0; // valid bytes in the block; 0 = none
  uint32_t m_nReadAhead = 0;   // bytes the next refill reads (within one line read)
};

#endif  // QG_SUPPORT_STREAMS_DISK_FILE_H_
