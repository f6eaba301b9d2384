// Error objects, catalogues, the insert formatter and the dump under
// memory exhaustion: every allocation of the C++ heap fails while a
// NoHeap object lives. Nothing throws, and what was stored is kept.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "errors/catalogue.h"
#include "errors/module_errors.h"
#include "errors/xerror.h"
#include "support/ctstring.h"
#include "support/platform/error_codes.h"
#include "support/platform/message_insert.h"

namespace {
bool g_fail_new = false;
}  // namespace

void* operator new(size_t size) {
  if (g_fail_new) throw std::bad_alloc();
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  if (g_fail_new) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

struct NoHeap {
  NoHeap() { g_fail_new = true; }
  ~NoHeap() { g_fail_new = false; }
};

std::u16string S(const char16_t* text) { return text != nullptr ? text : u"(null)"; }

TEST(OutOfMemory, SetOutOfMemoryErrorReportsTheFailureWithoutMemory) {
  CXError error(76);
  error.AddUserMessageText(u"before");
  {
    NoHeap none;
    EXPECT_NO_THROW(error.SetOutOfMemoryError());
  }
  EXPECT_EQ(error.nGetNiveau(), XERR_ERROR);
  EXPECT_EQ(error.nGetSystemError(), qg::kErrorOutOfMemory);
}

TEST(OutOfMemory, EntryPointsKeepWhatWasStored) {
  CXError error(76);
  error.AddUserMessageText(u"user");
  error.AddDebugMessage(u"debug");
  CTString dump(u"kept");
  CTString message(u"kept");
  std::u16string formatted = u"kept";
  {
    NoHeap none;
    EXPECT_NO_THROW(error.AddDebugMessage(u"a debug line longer than any short string"));
    EXPECT_NO_THROW(error.AddDebugMessageF(u"%s and %d", u"more", 5));
    EXPECT_NO_THROW(error.AddUserMessage(nullptr, 25193));
    EXPECT_NO_THROW(error.AddUserMessageFirst(nullptr, 25193));
    EXPECT_NO_THROW(error.AddUserMessageText(u"more"));
    EXPECT_NO_THROW(error.StringDump(dump, qg::kDumpAll));
    EXPECT_NO_THROW(bChargeMessageF(25193, message, u"x"));
    EXPECT_EQ(qg::MessageInsertAppend(&formatted, u"%1 and %2", qg::FormatArgs{}),
              qg::kMessageInsertNoMemory);
  }
  EXPECT_EQ(S(error.pszGetDebugMessage()), u"debug");
  EXPECT_EQ(S(dump.pszGet()), u"kept");
  EXPECT_EQ(S(message.pszGet()), u"kept");
  EXPECT_EQ(formatted, u"kept");
}

}  // namespace
