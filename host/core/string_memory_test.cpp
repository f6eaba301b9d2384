#include "host/core/string_memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/xystring.h"

namespace qghost {
namespace {

void Drop(void* text) {
  // What the module does before freeing: count down to zero.
  qg::XYHeaderOf(text)->nRefCount = 0;
}

TEST(StringMemory, AllocatesWithHeaderAndTerminatorRoom) {
  StringMemory m;
  void* text = nullptr;
  ASSERT_EQ(m.nAllocate(&text, 10, 0), 0);
  ASSERT_NE(text, nullptr);
  const qg::XYHeader* h = qg::XYHeaderOf(text);
  EXPECT_EQ(h->nRefCount, 1);
  EXPECT_EQ(h->nCapacity, 10);
  EXPECT_EQ(h->nLength, 0);
  std::memset(text, 'a', 12);  // capacity plus the two terminator bytes
  static_cast<char*>(text)[0] = 0;
  static_cast<char*>(text)[1] = 0;
  EXPECT_EQ(m.nLiveStrings(), 1);
  // Growing keeps the text and the header.
  std::memcpy(text, "abcd\0", 6);
  qg::XYHeaderOf(text)->nLength = 4;
  qg::XYHeaderOf(text)->nFlags = qg::kXYFlagCarried;
  ASSERT_EQ(m.nReallocate(&text, 100, 0), 0);
  EXPECT_STREQ(static_cast<char*>(text), "abcd");
  EXPECT_GE(qg::XYHeaderOf(text)->nCapacity, 100);
  EXPECT_EQ(qg::XYHeaderOf(text)->nFlags, qg::kXYFlagCarried);
  Drop(text);
  EXPECT_EQ(m.nFree(text), 0);
  EXPECT_EQ(m.nLiveStrings(), 0);
  EXPECT_EQ(m.nFaults(), 0) << m.LastFault();
}

TEST(StringMemory, DetectsMisuse) {
  struct Case {
    const char* name;
    void (*misuse)(StringMemory& m);
  };
  const Case cases[] = {
      {"double free",
       [](StringMemory& m) {
         void* t = nullptr;
         m.nAllocate(&t, 4, 0);
         Drop(t);
         m.nFree(t);
         m.nFree(t);
       }},
      {"free while still counted",
       [](StringMemory& m) {
         void* t = nullptr;
         m.nAllocate(&t, 4, 0);
         m.nFree(t);
       }},
      {"write past the terminator",
       [](StringMemory& m) {
         void* t = nullptr;
         m.nAllocate(&t, 4, 0);
         static_cast<char*>(t)[6] = 'x';
         Drop(t);
         m.nFree(t);
       }},
      {"missing terminator",
       [](StringMemory& m) {
         void* t = nullptr;
         m.nAllocate(&t, 4, 0);
         std::memcpy(t, "abcd", 4);
         qg::XYHeaderOf(t)->nLength = 2;
         Drop(t);
         m.nFree(t);
       }},
      {"block freed twice",
       [](StringMemory& m) {
         const qg::RawBlockRecord r{2, 0, 0};
         void* b = m.pAllocateBlock(8, &r);
         m.FreeBlock(b, &r);
         m.FreeBlock(b, &r);
       }},
      {"block overrun",
       [](StringMemory& m) {
         const qg::RawBlockRecord r{2, 0, 0};
         void* b = m.pAllocateBlock(8, &r);
         static_cast<char*>(b)[8] = 1;
         m.FreeBlock(b, &r);
       }},
  };
  for (const Case& c : cases) {
    StringMemory m;
    c.misuse(m);
    EXPECT_GE(m.nFaults(), 1) << c.name;
    EXPECT_EQ(m.nLiveStrings() + m.nLiveBlocks(), 0) << c.name;
  }
}

TEST(StringMemory, CountsLeaks) {
  StringMemory m;
  void* t = nullptr;
  m.nAllocate(&t, 4, 0);
  const qg::RawBlockRecord r{2, 0, 0};
  void* b = m.pAllocateBlock(16, &r);
  EXPECT_EQ(m.nLiveStrings(), 1);
  EXPECT_EQ(m.nLiveBlocks(), 1);
  b = m.pReallocateBlock(b, 64, &r);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(m.nLiveBlocks(), 1);
  m.FreeBlock(b, &r);
  EXPECT_EQ(m.nLiveBlocks(), 0);
  EXPECT_EQ(m.nLiveStrings(), 1);  // the destructor frees it for the sanitizer
}

TEST(StringMemory, FailsTheNthAllocation) {
  StringMemory m;
  const qg::RawBlockRecord r{2, 0, 0};
  m.FailNthAllocation(2, 117);
  void* a = nullptr;
  void* b = nullptr;
  EXPECT_EQ(m.nAllocate(&a, 4, 0), 0);
  EXPECT_EQ(m.nAllocate(&b, 4, 0), 117);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(m.nAllocate(&b, 4, 0), 0);  // one-shot
  m.FailNthAllocation(1);
  EXPECT_EQ(m.pAllocateBlock(4, &r), nullptr);
  m.FailAllAllocations(140);
  void* keep = a;
  EXPECT_EQ(m.nReallocate(&a, 400, 0), 140);
  EXPECT_EQ(a, keep);
  m.ClearFailures();
  Drop(a);
  Drop(b);
  m.nFree(a);
  m.nFree(b);
  EXPECT_EQ(m.nFaults(), 0);
}

}  // namespace
}  // namespace qghost
