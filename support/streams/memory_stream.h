// CMemoryStream: a stream over a memory block, either its own (created,
// growing as it is written) or one the caller attaches (fixed size, not
// owned). It never fills its error object: a failure is the result alone.
//
// States: 0 closed, 1 memory attached, 2 created, 3 opened on the attached
// memory. closed -> attach -> open existing, or closed -> create; close
// returns to 0 and keeps the memory.
#ifndef QG_SUPPORT_STREAMS_MEMORY_STREAM_H_
#define QG_SUPPORT_STREAMS_MEMORY_STREAM_H_

#include <cstdint>

#include "support/streams/xstream.h"

class CMemoryStream : public IXStream {
 public:
  enum State : uint8_t { kClosed = 0, kAttached = 1, kCreated = 2, kOpenedAttached = 3 };
  enum Flag : uint8_t {
    kRead = 0x01,
    kWrite = 0x02,
    kOpenedExisting = 0x04,
    kOwnsAndGrows = 0x08,  // owns its memory and grows on write
    kGrowsOnSeek = 0x10,
  };

  CMemoryStream() = default;
  // Frees owned memory and the name.
  ~CMemoryStream() override;

  // Keeps a copy of the name. Access GENERIC_READ, GENERIC_WRITE or both.
  // CREATE_ALWAYS frees owned memory and starts an owned, growing stream
  // (created); OPEN_EXISTING needs attached memory. Other dispositions
  // fail.
  bool bOpen(const char16_t* name, uint32_t access, uint32_t sharing, uint32_t disposition,
             uint32_t attributes, bool* created) override;
  void Close() override;
  // Past the end an owned stream grows to fit; otherwise only a caller who
  // asks for the count gets a short write, else the write fails.
  bool bWrite(const void* data, uint32_t n, uint32_t* written) override;
  // Past the end only a caller who asks for the count gets a short read.
  bool bRead(void* buffer, uint32_t n, uint32_t* read) override;
  // FILE_END counts back from the end whatever the distance's sign; any
  // other unknown method goes to 0. A target before the start fails; one
  // past the end fails unless the stream grows on seek (it then grows,
  // zero-filled).
  bool bSeek(int64_t distance, uint32_t method) override;
  int64_t nGetSize() override { return static_cast<int64_t>(m_nSize); }
  // Copies through target's write in 512-byte chunks; a positive count
  // beyond the end fails.
  bool bCopyTo(IXStream* target, int64_t count) override;
  const char16_t* pszGetPath() override;
  int64_t nGetPosition() override { return static_cast<int64_t>(m_nOffset); }
  bool bIsOpen() override { return m_nState == kCreated || m_nState == kOpenedAttached; }
  uint32_t nGetAccess() override;
  // (start + offset, size) without copying; (null, 0) when the range
  // leaves the memory. buffer is not used.
  CSimpleConstBufferBase ReadBlock(int64_t offset, uint32_t size,
                                   CSimpleBufferBase* buffer) override;

  // Attaches size bytes at memory (not owned; they must outlive the
  // stream's use). Only when closed (state 0); owned memory is freed first.
  // An operation of its own, not a stream slot: the stream's slot 52 is
  // the file's range copy.
  bool bAttach(void* memory, uint64_t size);
  // Size of owned memory: mode 0 absolute, 1 relative to the current size.
  // Size 0 frees it; a new block puts the position at its start, otherwise
  // the position is kept within the new size. Attached memory is refused.
  bool bResize(int64_t size, int mode);

  uint8_t nGetState() const { return m_nState; }
  uint8_t nGetFlags() const { return m_nFlags; }
  const uint8_t* pGetMemory() const { return m_pStart; }

 private:
  // Grows owned memory to at least size bytes (zero-filled).
  bool Grow(uint64_t size);
  void FreeOwned();

  uint8_t m_nState = kClosed;
  uint8_t m_nFlags = 0;
  uint8_t* m_pStart = nullptr;
  uint64_t m_nOffset = 0;  // current position, as an offset from m_pStart
  uint64_t m_nSize = 0;
  uint64_t m_nCapacity = 0;  // allocated bytes of owned memory
  char16_t* m_pszName = nullptr;
};

#endif  // QG_SUPPORT_STREAMS_MEMORY_STREAM_H_
