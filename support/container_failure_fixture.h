// Test equipment: fails chosen reallocations of the library's containers
// through the container allocation seam, and restores the C runtime's
// reallocation afterwards.
#ifndef QG_SUPPORT_CONTAINER_FAILURE_FIXTURE_H_
#define QG_SUPPORT_CONTAINER_FAILURE_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/array.h"

namespace qg {

// Installs the failing reallocation for its lifetime.
class ContainerFailures {
 public:
  ContainerFailures() {
    countdown_ = 0;
    SetContainerRealloc(&Realloc);
  }
  ~ContainerFailures() { SetContainerRealloc(nullptr); }
  ContainerFailures(const ContainerFailures&) = delete;
  ContainerFailures& operator=(const ContainerFailures&) = delete;

  // The nth container reallocation from now on (1 = the next) fails.
  static void FailNth(int nth) { countdown_ = nth; }

 private:
  static void* Realloc(void* block, size_t size) {
    if (countdown_ > 0 && --countdown_ == 0) return nullptr;
    return std::realloc(block, size);
  }
  static inline int countdown_ = 0;
};

class ContainerFailureTest : public ::testing::Test {
 protected:
  static void FailNth(int nth) { ContainerFailures::FailNth(nth); }

 private:
  ContainerFailures failures_;
};

}  // namespace qg

#endif  // QG_SUPPORT_CONTAINER_FAILURE_FIXTURE_H_
