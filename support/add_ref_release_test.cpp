#include "support/add_ref_release.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

class Counted : public CAddRefRelease {
 public:
  explicit Counted(int* deleted) : deleted_(deleted) {}
  ~Counted() override { ++*deleted_; }

 private:
  int* deleted_;
};

TEST(AddRefRelease, StartsAtOneAndDeletesAtZeroAcrossThreads) {
  int deleted = 0;
  auto* object = new Counted(&deleted);
  EXPECT_EQ(object->nGetRefCount(), 1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([object] {
      for (int i = 0; i < 10000; ++i) {
        object->AddRef();
        object->Release();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(object->AddRef(), 2);
  EXPECT_EQ(object->Release(), 1);
  EXPECT_EQ(deleted, 0);
  EXPECT_EQ(object->Release(), 0);
  EXPECT_EQ(deleted, 1);
}

}  // namespace
