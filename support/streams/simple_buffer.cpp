#include "support/streams/simple_buffer.h"

#include <cstdlib>
#include <cstring>

CSimpleBuffer::~CSimpleBuffer() { std::free(m_pData); }

bool CSimpleBuffer::bResize(size_t size) {
  if (size == m_nSize) return true;
  std::free(m_pData);
  m_pData = nullptr;
  m_nSize = 0;
  if (size == 0) return true;
  m_pData = std::malloc(size);
  if (m_pData == nullptr) return false;
  m_nSize = size;
  return true;
}

bool CSimpleBuffer::bSet(const void* data, size_t size) {
  if (data == nullptr) size = 0;
  // data may lie in this block: copy it aside first.
  void* fresh = nullptr;
  if (size > 0) {
    fresh = std::malloc(size);
    if (fresh == nullptr) return false;
    std::memcpy(fresh, data, size);
  }
  std::free(m_pData);
  m_pData = fresh;
  m_nSize = size;
  return true;
}
