// A pool of fixed-size blocks carved from pages that each hold a fixed
// number of blocks. Pages with free blocks and full pages sit on two
// doubly linked lists; a page goes back to the heap as soon as all its
// blocks are free, unless it is the only page on the list with free blocks.
// Allocation and freeing are constant-time.
//
// Blocks are named by 32-bit handles (page number and block number; 0 is
// no block). Every block is preceded by a 32-bit word: while the block is
// free it links the page's ring of free blocks (a block number), while it
// is handed out it holds the page number, so that a block is freed without
// searching. The usable bytes of a block are 4-byte aligned.
//
// No lock: one owner uses a pool at a time.
#ifndef QG_DRIVER_SQL_BLOCK_POOL_H_
#define QG_DRIVER_SQL_BLOCK_POOL_H_

#include <cstddef>
#include <cstdint>
#include <vector>

class CNABlockPool {
 public:
  // Heap functions of the pages (malloc and free unless given).
  using AllocFn = void* (*)(size_t);
  using FreeFn = void (*)(void*);

  CNABlockPool() = default;
  ~CNABlockPool();
  CNABlockPool(const CNABlockPool&) = delete;
  CNABlockPool& operator=(const CNABlockPool&) = delete;

  // An empty pool of `blocks_per_page` (at least 2) blocks of `block_size`
  // bytes whose handles fit in `handle_bits` bits. Frees what the pool held
  // before.
  void Init(uint32_t blocks_per_page, uint32_t block_size, AllocFn alloc = nullptr,
            FreeFn free = nullptr, uint32_t handle_bits = 32);

  // The address of a new block's word (its usable bytes follow the word),
  // or null when the heap refuses a page; the pool is then unchanged.
  void* pAlloc();
  // Frees a block given the address of its usable bytes (4 bytes after what
  // pAlloc answered).
  void Free(void* usable);

  // The same by handle: a new block (0 when the heap refuses a page), its
  // usable bytes, and freeing it.
  uint32_t nAllocHandle();
  uint8_t* pBlock(uint32_t handle) const {
    return m_apPages[handle >> m_nShift] + kHeaderSize + (handle & m_nMask) * m_nStride + 4;
  }
  void FreeHandle(uint32_t handle);

  // Gives every page back to the heap, in use or not, and resets the counts.
  void Clear();

  uint32_t nGetPageCount() const { return m_nPages; }
  uint32_t nGetBlockCount() const { return m_nBlocks; }
  uint32_t nGetBlocksPerPage() const { return m_nBlocksPerPage; }
  uint32_t nGetBlockSize() const { return m_nBlockSize; }
  uint32_t nGetFullPageCount() const;  // walks the full list (tests)

  // Bytes of a page's header, before its first block.
  static constexpr uint32_t kHeaderSize = 24;

 private:
  struct PageHeader {
    uint32_t nFree;      // free blocks
    uint32_t nRingHead;  // a free block (its number), meaningful when nFree > 0
    uint32_t nPrev;      // page numbers on the page's list, 0 for none
    uint32_t nNext;
    uint32_t nSelf;      // this page's number
    uint32_t nReserved;
  };

  PageHeader* Page(uint32_t page) const {
    return reinterpret_cast<PageHeader*>(m_apPages[page]);
  }
  uint32_t& Word(uint32_t page, uint32_t block) const {
    return *reinterpret_cast<uint32_t*>(m_apPages[page] + kHeaderSize + block * m_nStride);
  }
  uint32_t NewPage();  // 0 when refused
  void Unlink(uint32_t page, uint32_t* head);
  void PushFront(uint32_t page, uint32_t* head);
  void FreeBlock(uint32_t page, uint32_t block);

  uint32_t m_nBlocksPerPage = 2;
  uint32_t m_nBlockSize = 0;
  uint32_t m_nStride = 4;   // word + usable bytes, rounded to 4
  uint32_t m_nShift = 1;    // bits of a block number in a handle
  uint32_t m_nMask = 1;
  uint32_t m_nHandleBits = 32;
  uint32_t m_nFullHead = 0;
  uint32_t m_nFreeHead = 0;
  uint32_t m_nPages = 0;
  uint32_t m_nBlocks = 0;
  AllocFn m_pfnAlloc = nullptr;
  FreeFn m_pfnFree = nullptr;
  // Page number -> page; entry 0 is never used, so that no handle is 0.
  std::vector<uint8_t*> m_apPages{nullptr};
  std::vector<uint32_t> m_anFreeNumbers;  // page numbers to reuse
};

#endif  // QG_DRIVER_SQL_BLOCK_POOL_H_
