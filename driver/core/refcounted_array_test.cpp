#include "driver/core/refcounted_array.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class Probe : public CNARefCounted {
 public:
  Probe(int id, std::vector<int>* deleted) : m_nId(id), m_pDeleted(deleted) {}
  ~Probe() override { m_pDeleted->push_back(m_nId); }

 private:
  int m_nId;
  std::vector<int>* m_pDeleted;
};

TEST(RefCountedArray, HoldsOneReferenceAndReleasesLastToFirst) {
  std::vector<int> deleted;
  Probe* kept = NAAddRef(new Probe(0, &deleted));  // the test's own reference
  {
    CTTableauRef<Probe> tab(2);
    ASSERT_TRUE(tab.bAjoute(kept));
    EXPECT_EQ(2, kept->nGetReferences());
    EXPECT_EQ(2, kept->nGetHolders());
    for (int id = 1; id <= 4; ++id) ASSERT_TRUE(tab.bAjoute(new Probe(id, &deleted)));
    EXPECT_EQ(5, tab.nGetNbElement());

    // Removing one element releases it at once.
    EXPECT_EQ(4, tab.nSupprime(2));
    EXPECT_EQ(std::vector<int>{2}, deleted);
    EXPECT_EQ(-1, tab.nSupprime(4));
    EXPECT_EQ(nullptr, tab.pGetElement(4));

    tab.SupprimeTout();
    EXPECT_EQ((std::vector<int>{2, 4, 3, 1}), deleted);
    EXPECT_EQ(0, tab.nGetNbElement());
    EXPECT_EQ(1, kept->nGetReferences());  // ours is left

    ASSERT_TRUE(tab.bAjoute(new Probe(5, &deleted)));
  }  // destruction releases what is still stored
  EXPECT_EQ((std::vector<int>{2, 4, 3, 1, 5}), deleted);
  EXPECT_TRUE(ReleaseBoth(kept).bDeleted);
}

void* FailingRealloc(void*, size_t) { return nullptr; }

TEST(RefCountedArray, FailedGrowthTakesNoReference) {
  std::vector<int> deleted;
  Probe* p = NAAddRef(new Probe(1, &deleted));
  {
    CTTableauRef<Probe> tab;
    qg::SetContainerRealloc(&FailingRealloc);
    bool stored = tab.bAjoute(p);
    qg::SetContainerRealloc(nullptr);
    EXPECT_FALSE(stored);
    EXPECT_EQ(1, p->nGetReferences());
  }
  EXPECT_TRUE(deleted.empty());
  EXPECT_TRUE(ReleaseBoth(p).bDeleted);
}

TEST(RefCountedArray, CallbackFormIsDeletedByItsLastRelease) {
  std::vector<int> deleted;
  auto* tab = new CTTableauRefCB<Probe>();
  EXPECT_EQ(0, tab->nGetCount());
  tab->AddRef();
  tab->AddRef();
  ASSERT_TRUE(tab->bAjoute(new Probe(1, &deleted)));
  INAReleasable* released = tab;
  EXPECT_EQ(1, released->Release());
  EXPECT_TRUE(deleted.empty());
  EXPECT_EQ(0, released->Release());  // deletes the array, which releases its element
  EXPECT_EQ(std::vector<int>{1}, deleted);
}

}  // namespace
