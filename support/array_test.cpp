#include "support/array.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/array_ptr.h"
#include "support/container_failure_fixture.h"

namespace {

struct Big300 {
  char bytes[300];
};
struct Big256 {
  char bytes[256];
};

// Capacities seen, in order, while appending n elements one by one.
template <typename T>
std::vector<int> CapacitiesWhileAppending(int step, int n) {
  CTTableau<T, 0> a(step);
  std::vector<int> seen;
  T element{};
  for (int i = 0; i < n; ++i) {
    EXPECT_NE(a.Ajoute(element), nullptr);
    if (seen.empty() || seen.back() != a.nGetCapacite()) seen.push_back(a.nGetCapacite());
  }
  return seen;
}

std::vector<int> Range(int from, int to) {
  std::vector<int> v;
  for (int i = from; i <= to; ++i) v.push_back(i);
  return v;
}

TEST(ArrayGrowth, StepOneBecomesTwentyAboveCapacity100ForSmallElements) {
  std::vector<int> expected = Range(1, 101);
  expected.push_back(121);
  expected.push_back(141);
  EXPECT_EQ(CapacitiesWhileAppending<int32_t>(1, 130), expected);
  // 256 bytes still counts as small.
  EXPECT_EQ(CapacitiesWhileAppending<Big256>(1, 130), expected);
  // Elements above 256 bytes keep the step of 1.
  EXPECT_EQ(CapacitiesWhileAppending<Big300>(1, 130), Range(1, 130));
  // Other steps are never changed.
  EXPECT_EQ(CapacitiesWhileAppending<int32_t>(50, 160), (std::vector<int>{50, 100, 150, 200}));
}

TEST(ArrayGrowth, ReserveGrowsOnceToExactlyNAndAgranditRoundsToTheStep) {
  CTTableau<int, 0> a(7);
  EXPECT_EQ(a.nReserve(10), 10);
  EXPECT_EQ(a.nReserve(5), 10);  // never shrinks
  EXPECT_EQ(a.nGetPas(), 7);     // configured step restored
  for (int i = 0; i < 10; ++i) a.Ajoute(i);
  EXPECT_EQ(a.nGetCapacite(), 10);
  EXPECT_TRUE(a.AgranditMemoire(3));  // 3 more: rounded up to one step of 7
  EXPECT_EQ(a.nGetCapacite(), 17);
  EXPECT_TRUE(a.AgranditMemoire(7));  // 7 free already
  EXPECT_EQ(a.nGetCapacite(), 17);
  EXPECT_TRUE(a.AgranditMemoire(8));  // 1 missing: one step
  EXPECT_EQ(a.nGetCapacite(), 24);

  CTTableau<int, 0> initial(20, 30);
  EXPECT_EQ(initial.nGetCapacite(), 30);
  EXPECT_EQ(initial.nGetNbElement(), 0);
}

TEST(ArrayEdit, InsertRemoveReplaceAndTheirBounds) {
  CTTableau<int, 0> a(2);
  for (int v : {1, 2, 4}) a.Ajoute(v);
  ASSERT_NE(a.Insere(3, 2), nullptr);
  ASSERT_NE(a.Insere(0, 0), nullptr);
  ASSERT_NE(a.Insere(5, a.nGetNbElement()), nullptr);  // at the end
  ASSERT_EQ(a.nGetNbElement(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(a[i], i);

  EXPECT_EQ(a.nSupprime(1), 5);
  EXPECT_TRUE(a.Modifie(9, 0));
  EXPECT_EQ(std::vector<int>(a.Data(), a.Data() + 5), (std::vector<int>{9, 2, 3, 4, 5}));

  // Out of range: nothing happens, and the caller is told.
  EXPECT_EQ(a.nSupprime(-1), -1);
  EXPECT_EQ(a.nSupprime(5), -1);
  EXPECT_FALSE(a.Modifie(7, 5));
  EXPECT_FALSE(a.Modifie(7, -1));
  EXPECT_EQ(a.Insere(7, 6), nullptr);
  EXPECT_EQ(a.Insere(7, -1), nullptr);
  EXPECT_FALSE(a.bSupprimeDerniers(6));
  EXPECT_FALSE(a.bSupprimeDerniers(-1));
  EXPECT_EQ(a.pGetElement(5), nullptr);
  EXPECT_EQ(std::vector<int>(a.Data(), a.Data() + 5), (std::vector<int>{9, 2, 3, 4, 5}));

  EXPECT_TRUE(a.bSupprimeDerniers(2));
  EXPECT_EQ(a.nGetNbElement(), 3);
  EXPECT_TRUE(a.bSupprimeDerniers(3));
  EXPECT_EQ(a.nGetNbElement(), 0);
}

TEST(ArrayEdit, ElementTakenFromTheArrayItselfSurvivesGrowth) {
  CTTableau<int, 0> a(1);
  a.Ajoute(10);
  a.Ajoute(20);
  ASSERT_EQ(a.nGetCapacite(), a.nGetNbElement());
  a.Ajoute(a[1]);     // the block moves while the element is read
  a.Insere(a[0], 0);  // full again; the source also shifts up
  a.Insere(a[3], 1);
  EXPECT_EQ(std::vector<int>(a.Data(), a.Data() + 5), (std::vector<int>{10, 20, 10, 20, 20}));
}

TEST(ArrayEdit, InitialiseFillsAndShrinkFitsTheCount) {
  CTTableau<int16_t, 0> a(20);
  a.Ajoute(1);
  ASSERT_TRUE(a.bInitialise(7, 4));
  EXPECT_EQ(a.nGetNbElement(), 4);
  EXPECT_EQ(a.nGetCapacite(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a[i], 7);
  ASSERT_TRUE(a.vbRemplit(&a[2], 3));  // the source may lie in the old block
  EXPECT_EQ(a.nGetNbElement(), 3);
  EXPECT_EQ(a[2], 7);

  a.Ajoute(8);
  EXPECT_GT(a.nGetCapacite(), 4);
  a.vAjusteMemoire();
  EXPECT_EQ(a.nGetCapacite(), 4);
  EXPECT_EQ(a[3], 8);
  a.SupprimeTout();
  EXPECT_EQ(a.nGetCapacite(), 4);  // memory kept
  a.vAjusteMemoire();
  EXPECT_EQ(a.nGetCapacite(), 0);
  EXPECT_EQ(a.pGetData(), nullptr);
}

using ArrayFailure = qg::ContainerFailureTest;

TEST_F(ArrayFailure, FailedGrowthKeepsContentsCountAndCapacity) {
  CTTableau<int, 0> a(2);
  a.Ajoute(1);
  a.Ajoute(2);
  FailNth(1);
  EXPECT_EQ(a.Ajoute(3), nullptr);
  FailNth(1);
  EXPECT_EQ(a.Insere(3, 0), nullptr);
  EXPECT_EQ(a.nGetNbElement(), 2);
  EXPECT_EQ(a.nGetCapacite(), 2);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(a[1], 2);

  FailNth(1);
  EXPECT_EQ(a.nReserve(100), 2);
  FailNth(1);
  EXPECT_FALSE(a.AgranditMemoire(10));
  FailNth(1);
  EXPECT_FALSE(a.bInitialise(5, 10));
  EXPECT_EQ(a.nGetNbElement(), 2);
  EXPECT_EQ(a[1], 2);

  ASSERT_NE(a.Ajoute(3), nullptr);  // recovers once memory is back
  EXPECT_EQ(a.nGetNbElement(), 3);
  EXPECT_EQ(a[2], 3);
}

// Counts live instances so that ownership can be checked.
struct Counted {
  static inline int live = 0;
  int value;
  explicit Counted(int v) : value(v) { ++live; }
  ~Counted() { --live; }
};

TEST_F(ArrayFailure, PointerArrayDeletesWhatItOwnsOnly) {
  Counted::live = 0;
  {
    CTTableauPtr<Counted> a(1);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(a.Ajoute(new Counted(i)));
    EXPECT_EQ(a.nSupprime(1), 2);
    EXPECT_EQ(Counted::live, 2);
    EXPECT_EQ(a[1]->value, 2);
    EXPECT_EQ(a.nSupprime(2), -1);
    ASSERT_TRUE(a.Ajoute(new Counted(3)));  // the array is full again

    // Refused: the caller keeps it.
    auto* refused = new Counted(9);
    FailNth(1);
    EXPECT_FALSE(a.Ajoute(refused));
    EXPECT_EQ(a.nGetNbElement(), 3);
    delete refused;
    EXPECT_EQ(Counted::live, 3);
  }
  EXPECT_EQ(Counted::live, 0);

  CTTableauPtr_DeleteRCV<Counted> b;
  b.Ajoute(new Counted(1));
  b.SupprimeTout();
  EXPECT_EQ(Counted::live, 0);
  EXPECT_EQ(b.nGetNbElement(), 0);
}

}  // namespace
