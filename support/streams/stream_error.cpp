#include "support/streams/stream_error.h"

#include <atomic>

#include "support/platform/error_codes.h"

namespace qg {

namespace {

std::atomic<const StreamErrorReporter*> g_reporter{nullptr};

}  // namespace

void SetStreamErrorReporter(const StreamErrorReporter* reporter) {
  g_reporter.store(reporter, std::memory_order_release);
}

CXError* NewStreamError() {
  const StreamErrorReporter* r = g_reporter.load(std::memory_order_acquire);
  return r == nullptr ? nullptr : r->pfnNew();
}

void ReleaseStreamError(CXError* error) {
  const StreamErrorReporter* r = g_reporter.load(std::memory_order_acquire);
  if (error != nullptr && r != nullptr) r->pfnRelease(error);
}

void ClearStreamError(CXError* error) {
  const StreamErrorReporter* r = g_reporter.load(std::memory_order_acquire);
  if (error != nullptr && r != nullptr) r->pfnClear(error);
}

void FillStreamError(CXError* error, uint32_t system_error, const std::u16string* debug,
                     int debug_count, uint32_t message, const char16_t* name,
                     FormatArgs inserts) {
  const StreamErrorReporter* r = g_reporter.load(std::memory_order_acquire);
  if (error != nullptr && r != nullptr) {
    r->pfnFill(error, system_error, debug, debug_count, message, name, inserts);
  }
  SetLastError(system_error);
}

void CopyStreamError(CXError* error, const CXError* source) {
  if (error == nullptr || source == nullptr || error == source) return;
  const StreamErrorReporter* r = g_reporter.load(std::memory_order_acquire);
  if (r == nullptr) return;
  LastErrorKeeper keep;
  r->pfnCopy(error, source);
}

}  // namespace qg
