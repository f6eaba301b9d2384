// Stand-in for the host's string-memory interface (test equipment).
//
// Dynamic-string buffers carry the 24-byte header of support/xystring.h
// before the text, `capacity` bytes of text, two terminator bytes and a
// canary that is checked when the buffer is freed. Raw blocks (operations 7,
// 8 and 9) carry a canary too. Every live buffer and block is counted, so a
// test can assert that nothing leaked; a free of an unknown pointer (double
// free, foreign pointer) is counted as a fault and never touches memory.
//
// Thread-safe: the accounting is guarded by one mutex, so buffers may be
// allocated and freed from several threads.
#ifndef QG_HOST_CORE_STRING_MEMORY_H_
#define QG_HOST_CORE_STRING_MEMORY_H_

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "support/frame/host_services.h"

namespace qghost {

class StringMemory final : public qg::IStringMemory {
 public:
  StringMemory();
  // Frees whatever is still live (after a test has had the chance to count
  // it) so that a failing test does not also leak under the sanitizer.
  ~StringMemory();

  StringMemory(const StringMemory&) = delete;
  StringMemory& operator=(const StringMemory&) = delete;

  // qg::IStringMemory.
  intptr_t vOp0(intptr_t a) override;
  intptr_t vOp1(intptr_t a) override;
  intptr_t vOp2(intptr_t a) override;
  int32_t nFree(void* text) override;                                          // 3
  int32_t nAllocate(void** string_object, int32_t size, int32_t reserved) override;    // 4
  int32_t nReallocate(void** string_object, int32_t size, int32_t reserved) override;  // 5
  intptr_t vOp6(intptr_t a) override;
  void* pAllocateBlock(size_t size, const qg::RawBlockRecord* record) override;            // 7
  void* pReallocateBlock(void* block, size_t size, const qg::RawBlockRecord* record) override;  // 8
  void FreeBlock(void* block, const qg::RawBlockRecord* record) override;                  // 9

  // Fault injection: the nth allocation from now on (1 = the next one) of
  // operations 4, 5, 7 or 8 fails; string operations return `code` (>= 100),
  // raw-block operations return null. One-shot.
  void FailNthAllocation(int nth, int32_t code = 120);
  // Every allocation fails from now on until ClearFailures().
  void FailAllAllocations(int32_t code = 120);
  void ClearFailures();

  // Accounting.
  int nLiveStrings() const;      // dynamic-string buffers not yet freed
  int nLiveBlocks() const;       // raw blocks not yet freed
  int nFaults() const;           // double frees, unknown pointers, broken canaries,
                                 // frees with a count above 0
  std::string LastFault() const;
  int64_t nAllocations() const;  // successful operations 4, 5 and 7, 8
  int nUnwipedSecretFrees() const;  // buffers with flag 0x02 freed with text left

  // Capacity in bytes of a live buffer, -1 when the pointer is unknown.
  int32_t nCapacityOf(const void* text) const;

 private:
  struct Entry {
    void* base;      // start of the malloc'd region
    size_t capacity; // text capacity in bytes
    bool is_string;
  };

  bool ShouldFail(int32_t* code);  // mu_ held
  void Fault(const std::string& what);
  static bool Wiped(const char* text, size_t bytes);  // mu_ held
  bool CanaryIntact(const Entry& e, const void* user) const;
  void* NewString(size_t capacity);  // returns the text pointer; mu_ held
  void* NewBlock(size_t size);       // mu_ held
  void Release(void* user, const Entry& e);

  mutable std::mutex mu_;
  std::unordered_map<const void*, Entry> live_;
  int live_strings_ = 0;
  int live_blocks_ = 0;
  int faults_ = 0;
  std::string last_fault_;
  int64_t allocations_ = 0;
  int unwiped_secret_ = 0;
  int fail_countdown_ = 0;  // 0 = no one-shot failure armed
  bool fail_all_ = false;
  int32_t fail_code_ = 120;
};

}  // namespace qghost

#endif  // QG_HOST_CORE_STRING_MEMORY_H_
