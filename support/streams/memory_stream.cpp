#include "support/streams/memory_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "support/text_functions.h"

namespace {

constexpr uint32_t kCopyChunk = 512;

}  // namespace

CMemoryStream::~CMemoryStream() {
  FreeOwned();
  LibereChaine(m_pszName);
}

void CMemoryStream::FreeOwned() {
  if ((m_nFlags & kOwnsAndGrows) != 0) std::free(m_pStart);
  m_pStart = nullptr;
  m_nOffset = 0;
  m_nSize = 0;
  m_nCapacity = 0;
  m_nFlags &= static_cast<uint8_t>(~kOwnsAndGrows);
}

bool CMemoryStream::Grow(uint64_t size) {
  if (size > m_nCapacity) {
    uint64_t capacity = std::max<uint64_t>(size, m_nCapacity + m_nCapacity / 2);
    capacity = std::max<uint64_t>(capacity, 64);
    if (capacity > SIZE_MAX) return false;
    uint8_t* grown = static_cast<uint8_t*>(std::realloc(m_pStart, capacity));
    if (grown == nullptr) return false;
    m_pStart = grown;
    m_nCapacity = capacity;
  }
  if (size > m_nSize) std::memset(m_pStart + m_nSize, 0, size - m_nSize);
  m_nSize = size;
  return true;
}

bool CMemoryStream::bOpen(const char16_t* name, uint32_t access, uint32_t /*sharing*/,
                          uint32_t disposition, uint32_t /*attributes*/, bool* created) {
  if (created != nullptr) *created = false;
  uint8_t mode = 0;
  if (access == (qg::GENERIC_READ | qg::GENERIC_WRITE)) {
    mode = kRead | kWrite;
  } else if (access == qg::GENERIC_READ) {
    mode = kRead;
  } else if (access == qg::GENERIC_WRITE) {
    mode = kWrite;
  } else {
    return false;
  }
  if (disposition == qg::CREATE_ALWAYS) {
    FreeOwned();
    m_nFlags = mode | kOwnsAndGrows | kGrowsOnSeek;
    m_nState = kCreated;
    if (created != nullptr) *created = true;
  } else if (disposition == qg::OPEN_EXISTING && m_nState == kAttached) {
    m_nFlags = mode | kOpenedExisting;
    m_nState = kOpenedAttached;
    m_nOffset = 0;
  } else {
    return false;
  }
  LibereChaine(m_pszName);
  m_pszName = name == nullptr ? nullptr : pszDupliqueChaine(name);
  return true;
}

void CMemoryStream::Close() { m_nState = kClosed; }

bool CMemoryStream::bAttach(void* memory, uint64_t size) {
  if (m_nState != kClosed) return false;
  FreeOwned();
  m_nFlags = 0;
  m_pStart = static_cast<uint8_t*>(memory);
  m_nOffset = 0;
  m_nSize = memory == nullptr ? 0 : size;
  m_nState = kAttached;
  return true;
}

bool CMemoryStream::bWrite(const void* data, uint32_t n, uint32_t* written) {
  if (written != nullptr) *written = 0;
  if (!bIsOpen() || (m_nFlags & kWrite) == 0) return false;
  if (n == 0) return true;
  uint64_t offset = m_nOffset;
  uint64_t end = offset + n;
  uint32_t count = n;
  if (end > m_nSize) {
    if ((m_nFlags & kOwnsAndGrows) != 0) {
      if (!Grow(end)) return false;
    } else if (written != nullptr) {
      count = offset < m_nSize ? static_cast<uint32_t>(m_nSize - offset) : 0;
    } else {
      return false;
    }
  }
  if (count > 0) std::memcpy(m_pStart + m_nOffset, data, count);
  m_nOffset += count;
  if (written != nullptr) *written = count;
  return true;
}

bool CMemoryStream::bRead(void* buffer, uint32_t n, uint32_t* read) {
  if (read != nullptr) *read = 0;
  if (!bIsOpen() || (m_nFlags & kRead) == 0) return false;
  uint64_t offset = m_nOffset;
  uint32_t count = n;
  if (offset + n > m_nSize) {
    if (read == nullptr) return false;
    count = offset < m_nSize ? static_cast<uint32_t>(m_nSize - offset) : 0;
  }
  if (count > 0) std::memcpy(buffer, m_pStart + m_nOffset, count);
  m_nOffset += count;
  if (read != nullptr) *read = count;
  return true;
}

bool CMemoryStream::bSeek(int64_t distance, uint32_t method) {
  int64_t position = nGetPosition();
  int64_t size = static_cast<int64_t>(m_nSize);
  int64_t target = 0;
  switch (method) {
    case qg::FILE_BEGIN:
      target = distance;
      break;
    case qg::FILE_CURRENT:
      if (__builtin_add_overflow(position, distance, &target)) return false;
      break;
    case qg::FILE_END:
      // Back from the end, whatever the sign.
      if (distance == INT64_MIN) return false;
      target = size - (distance < 0 ? -distance : distance);
      break;
    default:
      target = 0;
      break;
  }
  if (target < 0) return false;
  if (target > size) {
    if ((m_nFlags & (kGrowsOnSeek | kOwnsAndGrows)) != (kGrowsOnSeek | kOwnsAndGrows)) {
      return false;
    }
    if (!Grow(static_cast<uint64_t>(target))) return false;
  }
  m_nOffset = static_cast<uint64_t>(target);
  return true;
}

bool CMemoryStream::bCopyTo(IXStream* target, int64_t count) {
  if (count == 0) return true;
  if (target == nullptr) return false;
  uint8_t chunk[kCopyChunk];
  return qg::CopyInChunks(this, target, count, chunk, kCopyChunk) == qg::CopyEnd::kDone;
}

const char16_t* CMemoryStream::pszGetPath() {
  return m_pszName == nullptr ? u"" : m_pszName;
}

uint32_t CMemoryStream::nGetAccess() {
  uint32_t access = 0;
  if ((m_nFlags & kRead) != 0) access |= qg::GENERIC_READ;
  if ((m_nFlags & kWrite) != 0) access |= qg::GENERIC_WRITE;
  return access;
}

CSimpleConstBufferBase CMemoryStream::ReadBlock(int64_t offset, uint32_t size,
                                                CSimpleBufferBase* /*buffer*/) {
  if (offset < 0 || static_cast<uint64_t>(offset) > m_nSize ||
      size > m_nSize - static_cast<uint64_t>(offset)) {
    return CSimpleConstBufferBase();
  }
  return CSimpleConstBufferBase(m_pStart + offset, size);
}

bool CMemoryStream::bResize(int64_t size, int mode) {
  if (m_pStart != nullptr && (m_nFlags & kOwnsAndGrows) == 0) return false;
  int64_t target = size;
  if (mode == 1) {
    if (__builtin_add_overflow(static_cast<int64_t>(m_nSize), size, &target)) return false;
  } else if (mode != 0) {
    return false;
  }
  if (target < 0) return false;
  if (target == 0) {
    // The stream keeps owning (and growing) the memory it will get next.
    const uint8_t owned = m_nFlags & kOwnsAndGrows;
    FreeOwned();
    m_nFlags |= owned;
    return true;
  }
  bool fresh = m_pStart == nullptr;
  uint64_t bytes = static_cast<uint64_t>(target);
  if (bytes > SIZE_MAX) return false;
  uint8_t* block = static_cast<uint8_t*>(std::realloc(m_pStart, bytes));
  if (block == nullptr) return false;
  if (bytes > m_nSize) std::memset(block + m_nSize, 0, bytes - m_nSize);
  m_pStart = block;
  m_nSize = bytes;
  m_nCapacity = bytes;
  m_nFlags |= kOwnsAndGrows;
  m_nOffset = fresh ? 0 : std::min(m_nOffset, bytes);
  return true;
}
