#include "host/core/string_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "support/xystring.h"

namespace qghost {

namespace {

constexpr size_t kCanarySize = 8;
constexpr unsigned char kCanaryByte = 0xA5;
constexpr size_t kHeader = qg::kXYHeaderSize;

void WriteCanary(void* at) { std::memset(at, kCanaryByte, kCanarySize); }

bool CanaryOk(const void* at) {
  const unsigned char* p = static_cast<const unsigned char*>(at);
  for (size_t i = 0; i < kCanarySize; ++i)
    if (p[i] != kCanaryByte) return false;
  return true;
}

}  // namespace

StringMemory::StringMemory() = default;

StringMemory::~StringMemory() {
  for (auto& kv : live_) std::free(kv.second.base);
}

intptr_t StringMemory::vOp0(intptr_t) { return 0; }
intptr_t StringMemory::vOp1(intptr_t) { return 0; }
intptr_t StringMemory::vOp2(intptr_t) { return 0; }
intptr_t StringMemory::vOp6(intptr_t) { return 0; }

void StringMemory::FailNthAllocation(int nth, int32_t code) {
  std::lock_guard<std::mutex> l(mu_);
  fail_countdown_ = nth;
  fail_code_ = code < qg::kHostErrorFirst ? qg::kHostErrorFirst : code;
}

void StringMemory::FailAllAllocations(int32_t code) {
  std::lock_guard<std::mutex> l(mu_);
  fail_all_ = true;
  fail_code_ = code < qg::kHostErrorFirst ? qg::kHostErrorFirst : code;
}

void StringMemory::ClearFailures() {
  std::lock_guard<std::mutex> l(mu_);
  fail_all_ = false;
  fail_countdown_ = 0;
}

bool StringMemory::ShouldFail(int32_t* code) {
  *code = fail_code_;
  if (fail_all_) return true;
  if (fail_countdown_ > 0 && --fail_countdown_ == 0) return true;
  return false;
}

// Every byte of a secret buffer, terminator included, must be zero.
bool StringMemory::Wiped(const char* text, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) {
    if (text[i] != 0) return false;
  }
  return true;
}

void StringMemory::Fault(const std::string& what) {
  ++faults_;
  last_fault_ = what;
}

void* StringMemory::NewString(size_t capacity) {
  void* base = std::calloc(1, kHeader + capacity + 2 + kCanarySize);
  if (base == nullptr) return nullptr;
  char* text = static_cast<char*>(base) + kHeader;
  WriteCanary(text + capacity + 2);
  qg::XYHeader* h = qg::XYHeaderOf(text);
  h->nRefCount = 1;
  h->nCapacity = static_cast<int32_t>(capacity);
  live_[text] = Entry{base, capacity, true};
  ++live_strings_;
  ++allocations_;
  return text;
}

void* StringMemory::NewBlock(size_t size) {
  void* base = std::malloc(size + kCanarySize);
  if (base == nullptr) return nullptr;
  WriteCanary(static_cast<char*>(base) + size);
  live_[base] = Entry{base, size, false};
  ++live_blocks_;
  ++allocations_;
  return base;
}

bool StringMemory::CanaryIntact(const Entry& e, const void* user) const {
  const char* p = static_cast<const char*>(user);
  return CanaryOk(p + e.capacity + (e.is_string ? 2 : 0));
}

void StringMemory::Release(void* user, const Entry& e) {
  if (e.is_string)
    --live_strings_;
  else
    --live_blocks_;
  void* base = e.base;
  live_.erase(user);
  std::free(base);
}

int32_t StringMemory::nFree(void* text) {
  std::lock_guard<std::mutex> l(mu_);
  if (text == nullptr) {
    Fault("free of a null text");
    return 101;
  }
  auto it = live_.find(text);
  if (it == live_.end() || !it->second.is_string) {
    Fault("free of an unknown text (double free?)");
    return 101;
  }
  Entry e = it->second;
  qg::XYHeader* h = qg::XYHeaderOf(text);
  int32_t count = std::atomic_ref<int32_t>(h->nRefCount).load();
  if (count != 0) Fault("free of a text whose count is " + std::to_string(count));
  if (!CanaryIntact(e, text)) Fault("canary past the terminator overwritten");
  if (h->nLength < 0 || static_cast<size_t>(h->nLength) > e.capacity) {
    Fault("length beyond capacity");
  } else {
    const char* t = static_cast<const char*>(text);
    if (t[h->nLength] != 0 || t[h->nLength + 1] != 0) Fault("terminator missing");
    if ((h->nFlags & qg::kXYFlagSecret) && !Wiped(t, e.capacity + 2)) ++unwiped_secret_;
  }
  Release(text, e);
  return 0;
}

int32_t StringMemory::nAllocate(void** string_object, int32_t size, int32_t) {
  std::lock_guard<std::mutex> l(mu_);
  if (string_object == nullptr || size < 0) {
    Fault("bad allocation arguments");
    return 101;
  }
  int32_t code;
  if (ShouldFail(&code)) return code;
  void* text = NewString(static_cast<size_t>(size));
  if (text == nullptr) return 102;
  *string_object = text;
  return 0;
}

int32_t StringMemory::nReallocate(void** string_object, int32_t size, int32_t) {
  std::lock_guard<std::mutex> l(mu_);
  if (string_object == nullptr || size < 0) {
    Fault("bad reallocation arguments");
    return 101;
  }
  int32_t code;
  if (ShouldFail(&code)) return code;
  void* old = *string_object;
  if (old == nullptr) {
    void* text = NewString(static_cast<size_t>(size));
    if (text == nullptr) return 102;
    *string_object = text;
    return 0;
  }
  auto it = live_.find(old);
  if (it == live_.end() || !it->second.is_string) {
    Fault("reallocation of an unknown text");
    return 101;
  }
  Entry e = it->second;
  qg::XYHeader* oh = qg::XYHeaderOf(old);
  if (std::atomic_ref<int32_t>(oh->nRefCount).load() > 1)
    Fault("reallocation of a shared text");
  if (!CanaryIntact(e, old)) Fault("canary past the terminator overwritten");
  // The old block goes back unwiped, as a real allocator leaves it.
  if ((oh->nFlags & qg::kXYFlagSecret) && !Wiped(static_cast<const char*>(old), e.capacity + 2)) {
    ++unwiped_secret_;
  }
  // Growth by half at least, as a real allocator would, so that a run of
  // small appends costs amortised constant time.
  size_t capacity = e.capacity;
  if (static_cast<size_t>(size) > capacity) {
    capacity += capacity / 2;
    if (capacity < static_cast<size_t>(size)) capacity = static_cast<size_t>(size);
    if (capacity > static_cast<size_t>(qg::kXYMaxBytes)) capacity = static_cast<size_t>(size);
  }
  // Always move, so that a stale pointer kept by the module shows up under
  // the sanitizer.
  void* text = NewString(capacity);
  if (text == nullptr) return 102;
  std::memcpy(static_cast<char*>(text) - kHeader, static_cast<char*>(old) - kHeader,
              kHeader + e.capacity + 2);
  qg::XYHeaderOf(text)->nCapacity = static_cast<int32_t>(capacity);
  Release(old, e);
  *string_object = text;
  return 0;
}

void* StringMemory::pAllocateBlock(size_t size, const qg::RawBlockRecord* record) {
  std::lock_guard<std::mutex> l(mu_);
  if (record == nullptr || record->nKind != 2) Fault("raw block record is not {2, 0, 0}");
  int32_t code;
  if (ShouldFail(&code)) return nullptr;
  return NewBlock(size);
}

void* StringMemory::pReallocateBlock(void* block, size_t size,
                                     const qg::RawBlockRecord* record) {
  std::lock_guard<std::mutex> l(mu_);
  if (record == nullptr || record->nKind != 2) Fault("raw block record is not {2, 0, 0}");
  int32_t code;
  if (ShouldFail(&code)) return nullptr;
  if (block == nullptr) return NewBlock(size);
  auto it = live_.find(block);
  if (it == live_.end() || it->second.is_string) {
    Fault("resize of an unknown block");
    return nullptr;
  }
  Entry e = it->second;
  if (!CanaryIntact(e, block)) Fault("canary past a block overwritten");
  void* fresh = NewBlock(size);
  if (fresh == nullptr) return nullptr;
  std::memcpy(fresh, block, size < e.capacity ? size : e.capacity);
  Release(block, e);
  return fresh;
}

void StringMemory::FreeBlock(void* block, const qg::RawBlockRecord*) {
  std::lock_guard<std::mutex> l(mu_);
  if (block == nullptr) return;
  auto it = live_.find(block);
  if (it == live_.end() || it->second.is_string) {
    Fault("free of an unknown block (double free?)");
    return;
  }
  Entry e = it->second;
  if (!CanaryIntact(e, block)) Fault("canary past a block overwritten");
  Release(block, e);
}

int StringMemory::nLiveStrings() const {
  std::lock_guard<std::mutex> l(mu_);
  return live_strings_;
}

int StringMemory::nLiveBlocks() const {
  std::lock_guard<std::mutex> l(mu_);
  return live_blocks_;
}

int StringMemory::nFaults() const {
  std::lock_guard<std::mutex> l(mu_);
  return faults_;
}

std::string StringMemory::LastFault() const {
  std::lock_guard<std::mutex> l(mu_);
  return last_fault_;
}

int64_t StringMemory::nAllocations() const {
  std::lock_guard<std::mutex> l(mu_);
  return allocations_;
}

int StringMemory::nUnwipedSecretFrees() const {
  std::lock_guard<std::mutex> l(mu_);
  return unwiped_secret_;
}

int32_t StringMemory::nCapacityOf(const void* text) const {
  std::lock_guard<std::mutex> l(mu_);
  auto it = live_.find(text);
  if (it == live_.end() || !it->second.is_string) return -1;
  return static_cast<int32_t>(it->second.capacity);
}

}  // namespace qghost
