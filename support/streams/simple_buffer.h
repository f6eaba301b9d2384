// Byte blocks: CSimpleConstBufferBase is a (data, size) pair that reads;
// CSimpleBufferBase adds writing and a resize operation; CSimpleBuffer owns
// its block (runtime heap).
#ifndef QG_SUPPORT_STREAMS_SIMPLE_BUFFER_H_
#define QG_SUPPORT_STREAMS_SIMPLE_BUFFER_H_

#include <cstddef>
#include <cstdint>

class CSimpleConstBufferBase {
 public:
  CSimpleConstBufferBase() = default;
  CSimpleConstBufferBase(const void* data, size_t size)
      : m_pData(const_cast<void*>(data)), m_nSize(size) {}

  const uint8_t* pGetData() const { return static_cast<const uint8_t*>(m_pData); }
  size_t nGetSize() const { return m_nSize; }

 protected:
  void* m_pData = nullptr;
  size_t m_nSize = 0;
};

class CSimpleBufferBase : public CSimpleConstBufferBase {
 public:
  CSimpleBufferBase() = default;
  CSimpleBufferBase(const CSimpleBufferBase&) = delete;
  CSimpleBufferBase& operator=(const CSimpleBufferBase&) = delete;

  // Virtual functions are declared in the host's slot order: do not reorder.
  virtual ~CSimpleBufferBase() = default;
  // A size different from the current one replaces the block with
  // a fresh one of that size, contents not kept; 0 leaves no block. False
  // when memory runs out (the buffer is then empty).
  virtual bool bResize(size_t size) = 0;

  uint8_t* pGetData() { return static_cast<uint8_t*>(m_pData); }
  using CSimpleConstBufferBase::pGetData;
};

class CSimpleBuffer : public CSimpleBufferBase {
 public:
  CSimpleBuffer() = default;
  explicit CSimpleBuffer(size_t size) { bResize(size); }
  ~CSimpleBuffer() override;

  bool bResize(size_t size) override;
  // A copy of size bytes at data (size 0 or null data leaves no block).
  bool bSet(const void* data, size_t size);
  // Frees the block.
  void Free() { bResize(0); }
};

#endif  // QG_SUPPORT_STREAMS_SIMPLE_BUFFER_H_
