#include "driver/core/refcounted.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

class Probe : public CNARefCounted {
 public:
  explicit Probe(int* deletions) : m_pDeletions(deletions) {}
  ~Probe() override { ++*m_pDeletions; }

 private:
  int* m_pDeletions;
};

TEST(RefCounted, ReleaseDeletesOnlyAtLastReference) {
  int deletions = 0;
  Probe* p = new Probe(&deletions);
  EXPECT_EQ(0, p->vnReserved());
  EXPECT_EQ(p, NAAddRef(p));
  AddRefBoth(p);
  EXPECT_EQ(2, p->nGetReferences());
  EXPECT_EQ(2, p->nGetHolders());

  NAReleaseResult r = ReleaseBoth(p);
  EXPECT_FALSE(r.bDeleted);
  EXPECT_EQ(1, r.nReferences);
  EXPECT_EQ(1, p->nGetReferences());
  EXPECT_EQ(1, p->nGetHolders());
  EXPECT_EQ(0, deletions);

  r = NARelease(p);
  EXPECT_TRUE(r.bDeleted);
  EXPECT_EQ(0, r.nReferences);
  EXPECT_EQ(1, deletions);
}

TEST(RefCounted, NullIsSafe) {
  EXPECT_EQ(nullptr, NAAddRef<CNARefCounted>(nullptr));
  AddRefBoth(nullptr);
  EXPECT_EQ(0, nNARelease(nullptr));
  EXPECT_FALSE(ReleaseBoth(nullptr).bDeleted);
  CNARefPtr<> empty;
  EXPECT_FALSE(empty.ReleaseHeld().bDeleted);
}

TEST(RefCounted, RefPtrDropsOnEveryExitPath) {
  int deletions = 0;
  {
    CNARefPtr<Probe> held(NAAddRef(new Probe(&deletions)));
    EXPECT_TRUE(held);
  }
  EXPECT_EQ(1, deletions);

  EXPECT_THROW(
      {
        CNARefPtr<Probe> held(NAAddRef(new Probe(&deletions)));
        throw std::runtime_error("unwind");
      },
      std::runtime_error);
  EXPECT_EQ(2, deletions);

  Probe* kept = NAAddRef(new Probe(&deletions));
  AddRefBoth(kept);
  CNARefPtr<Probe> held(kept);
  NAReleaseResult r = held.ReleaseHeld();
  EXPECT_EQ(1, r.nReferences);
  EXPECT_FALSE(held);
  EXPECT_FALSE(held.ReleaseHeld().bDeleted);  // a second release does nothing
  EXPECT_TRUE(ReleaseBoth(kept).bDeleted);
  EXPECT_EQ(3, deletions);

  // Moving keeps exactly one reference.
  CNARefPtr<Probe> a(NAAddRef(new Probe(&deletions)));
  CNARefPtr<Probe> b(std::move(a));
  EXPECT_FALSE(a);
  EXPECT_EQ(1, b->nGetReferences());
  b = CNARefPtr<Probe>();
  EXPECT_EQ(4, deletions);
}

TEST(RefCounted, ConcurrentCountsDeleteOnce) {
  int deletions = 0;
  Probe* p = NAAddRef(new Probe(&deletions));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([p] {
      for (int i = 0; i < 20000; ++i) {
        AddRefBoth(p);
        ReleaseBoth(p);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(1, p->nGetReferences());
  EXPECT_EQ(1, p->nGetHolders());
  EXPECT_TRUE(ReleaseBoth(p).bDeleted);
  EXPECT_EQ(1, deletions);
}

// Holders release their last references at the same moment: the object is
// deleted once, and no release touches it after another one deleted it
// (the address sanitizer reports such a touch).
TEST(RefCounted, SimultaneousLastReleasesDeleteOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 10000;
  int deletions = 0;
  std::vector<Probe*> objects;
  for (int round = 0; round < kRounds; ++round) {
    objects.push_back(new Probe(&deletions));
    for (int t = 0; t < kThreads; ++t) AddRefBoth(objects.back());
  }
  std::atomic<int> go{-1};
  std::atomic<int> done{0};
  std::atomic<int> deleted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        while (go.load() < round) std::this_thread::yield();
        if (ReleaseBoth(objects[size_t(round)]).bDeleted) deleted.fetch_add(1);
        done.fetch_add(1);
      }
    });
  }
  for (int round = 0; round < kRounds; ++round) {
    // Yielding keeps the barrier from starving the workers on a machine
    // with fewer cores than spinning threads.
    while (done.load() < kThreads * round) std::this_thread::yield();
    go.store(round);
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(kRounds, deleted.load());
  EXPECT_EQ(kRounds, deletions);
}

// True when another thread can enter the section right now.
bool FreeForOthers(CNACriticalSection* cs) {
  return std::async(std::launch::async, [cs] {
           if (!cs->bTryEnter()) return false;
           cs->Leave();
           return true;
         }).get();
}

TEST(Lock, GuardsEnterAndLeaveOnce) {
  CNACriticalSection cs;
  {
    CNALock outer(&cs);
    CNALock inner(&cs);  // re-entrant on the owning thread
    EXPECT_TRUE(inner.bEntered());
    inner.Leave();
    inner.Leave();
    EXPECT_FALSE(FreeForOthers(&cs));
  }
  EXPECT_TRUE(FreeForOthers(&cs));

  {
    CNALockPtr guard = CNACriticalSection::clLock(&cs);
    EXPECT_TRUE(guard.bEntered());
    EXPECT_FALSE(FreeForOthers(&cs));
    guard.Leave();
    EXPECT_TRUE(FreeForOthers(&cs));
  }  // the destructor does not leave a second time
  EXPECT_TRUE(FreeForOthers(&cs));

  CNALockPtr none = CNACriticalSection::clLock(nullptr);
  EXPECT_FALSE(none.bEntered());
  CNALock null_lock(nullptr);
  EXPECT_FALSE(null_lock.bEntered());
}

TEST(Lock, ConnectionGuardEntersOnlyWhenAskedAndAllowed) {
  struct Case { bool lock; bool no_locking; bool entered; };
  const Case cases[] = {
      {true, false, true}, {false, false, false}, {true, true, false}, {false, true, false}};
  for (const Case& c : cases) {
    CNACriticalSection cs;
    {
      CNAConnectionLock guard(&cs, c.lock, c.no_locking);
      EXPECT_EQ(c.entered, guard.bEntered());
      EXPECT_EQ(!c.entered, FreeForOthers(&cs));
    }
    EXPECT_TRUE(FreeForOthers(&cs));
  }
}

}  // namespace
