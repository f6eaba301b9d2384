#include "driver/sql/block_pool.h"

#include <cstdlib>
#include <new>

CNABlockPool::~CNABlockPool() { Clear(); }

void CNABlockPool::Init(uint32_t blocks_per_page, uint32_t block_size, AllocFn alloc,
                        FreeFn free, uint32_t handle_bits) {
  Clear();
  m_nBlocksPerPage = blocks_per_page < 2 ? 2 : blocks_per_page;
  m_nBlockSize = block_size;
  m_nStride = (block_size + 4 + 3) & ~uint32_t{3};
  m_nShift = 1;
  while ((uint32_t{1} << m_nShift) < m_nBlocksPerPage) ++m_nShift;
  m_nMask = (uint32_t{1} << m_nShift) - 1;
  m_nHandleBits = handle_bits > 32 ? 32 : handle_bits;
  m_pfnAlloc = alloc != nullptr ? alloc : &std::malloc;
  m_pfnFree = free != nullptr ? free : &std::free;
}

uint32_t CNABlockPool::NewPage() {
  uint32_t number;
  if (!m_anFreeNumbers.empty()) {
    number = m_anFreeNumbers.back();
  } else {
    number = static_cast<uint32_t>(m_apPages.size());
    if (m_nShift >= m_nHandleBits ||
        uint64_t{number} >= (uint64_t{1} << (m_nHandleBits - m_nShift))) {
      return 0;
    }
    try {
      if (m_apPages.size() == m_apPages.capacity()) m_apPages.reserve(m_apPages.capacity() * 2);
      m_anFreeNumbers.reserve(m_apPages.capacity());
    } catch (const std::bad_alloc&) {
      return 0;
    }
  }
  size_t bytes = kHeaderSize + size_t{m_nStride} * m_nBlocksPerPage;
  auto* memory = static_cast<uint8_t*>(m_pfnAlloc(bytes));
  if (memory == nullptr) return 0;
  // Nothing below can fail: the pool changes only now.
  if (!m_anFreeNumbers.empty()) {
    m_anFreeNumbers.pop_back();
    m_apPages[number] = memory;
  } else {
    m_apPages.push_back(memory);
  }
  PageHeader* page = Page(number);
  page->nFree = m_nBlocksPerPage;
  page->nRingHead = 0;
  page->nPrev = page->nNext = 0;
  page->nSelf = number;
  page->nReserved = 0;
  // The ring in address order, the last block pointing back to the first.
  for (uint32_t b = 0; b < m_nBlocksPerPage; ++b) {
    Word(number, b) = b + 1 < m_nBlocksPerPage ? b + 1 : 0;
  }
  ++m_nPages;
  return number;
}

void CNABlockPool::Unlink(uint32_t number, uint32_t* head) {
  PageHeader* page = Page(number);
  if (page->nPrev != 0) Page(page->nPrev)->nNext = page->nNext;
  if (page->nNext != 0) Page(page->nNext)->nPrev = page->nPrev;
  if (*head == number) *head = page->nNext;
  page->nPrev = page->nNext = 0;
}

void CNABlockPool::PushFront(uint32_t number, uint32_t* head) {
  PageHeader* page = Page(number);
  page->nPrev = 0;
  page->nNext = *head;
  if (*head != 0) Page(*head)->nPrev = number;
  *head = number;
}

uint32_t CNABlockPool::nAllocHandle() {
  if (m_pfnAlloc == nullptr) return 0;  // never initialised
  if (m_nFreeHead == 0) {
    uint32_t number = NewPage();
    if (number == 0) return 0;
    m_nFreeHead = number;
  }
  uint32_t number = m_nFreeHead;
  PageHeader* page = Page(number);
  // The block after the ring's head, or the head itself when it is alone.
  uint32_t head = page->nRingHead;
  uint32_t block = Word(number, head);
  if (page->nFree == 1) {
    block = head;
  } else {
    Word(number, head) = Word(number, block);
  }
  Word(number, block) = number;
  if (--page->nFree == 0) {
    Unlink(number, &m_nFreeHead);
    PushFront(number, &m_nFullHead);
  }
  ++m_nBlocks;
  return number << m_nShift | block;
}

void* CNABlockPool::pAlloc() {
  uint32_t handle = nAllocHandle();
  return handle == 0 ? nullptr : pBlock(handle) - 4;
}

void CNABlockPool::FreeBlock(uint32_t number, uint32_t block) {
  PageHeader* page = Page(number);
  if (page->nFree == 0) {
    Word(number, block) = block;  // a ring of one
    page->nRingHead = block;
  } else {
    Word(number, block) = Word(number, page->nRingHead);
    Word(number, page->nRingHead) = block;
  }
  ++page->nFree;
  --m_nBlocks;
  if (page->nFree == m_nBlocksPerPage && (page->nPrev != 0 || page->nNext != 0)) {
    Unlink(number, &m_nFreeHead);
    m_pfnFree(m_apPages[number]);
    m_apPages[number] = nullptr;
    m_anFreeNumbers.push_back(number);  // capacity reserved by NewPage
    --m_nPages;
  } else if (page->nFree == 1) {
    Unlink(number, &m_nFullHead);
    PushFront(number, &m_nFreeHead);
  }
}

void CNABlockPool::Free(void* usable) {
  if (usable == nullptr) return;
  auto* word = static_cast<uint8_t*>(usable) - 4;
  uint32_t number = *reinterpret_cast<const uint32_t*>(word);
  uint8_t* first = m_apPages[number] + kHeaderSize;
  FreeBlock(number, static_cast<uint32_t>((word - first) / m_nStride));
}

void CNABlockPool::FreeHandle(uint32_t handle) {
  if (handle != 0) FreeBlock(handle >> m_nShift, handle & m_nMask);
}

void CNABlockPool::Clear() {
  for (uint8_t*& page : m_apPages) {
    if (page != nullptr) m_pfnFree(page);
    page = nullptr;
  }
  m_apPages.assign(1, nullptr);
  m_anFreeNumbers.clear();
  m_nFullHead = m_nFreeHead = 0;
  m_nPages = m_nBlocks = 0;
}

uint32_t CNABlockPool::nGetFullPageCount() const {
  uint32_t n = 0;
  for (uint32_t p = m_nFullHead; p != 0; p = Page(p)->nNext) ++n;
  return n;
}
