#include "support/linked_list.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/container_failure_fixture.h"

namespace {

int Value(void* p) { return p == nullptr ? -999 : *static_cast<int*>(p); }

std::vector<int> Walk(CListeChainee& l) {
  std::vector<int> v;
  for (void* p = l.pGetElement(0); p != nullptr; p = l.pSuivant()) v.push_back(Value(p));
  return v;
}

TEST(LinkedList, InsertBeforeAndAfterTheCursor) {
  CListeChainee l(sizeof(int));
  EXPECT_EQ(l.nGetIndexCourant(), -1);
  EXPECT_EQ(l.pGetCourant(), nullptr);
  EXPECT_EQ(l.pSuivant(), nullptr);
  int v = 2;
  l.Insere(&v, true);  // first node: index 0
  EXPECT_EQ(l.nGetIndexCourant(), 0);
  v = 1;
  l.Insere(&v, true);  // before 2, becomes current at index 0
  EXPECT_EQ(l.nGetIndexCourant(), 0);
  v = 4;
  l.pGetElement(1);
  l.Insere(&v, false);  // after 2
  EXPECT_EQ(l.nGetIndexCourant(), 2);
  v = 3;
  l.Insere(&v, true);  // before 4
  EXPECT_EQ(l.nGetIndexCourant(), 2);
  EXPECT_EQ(Value(l.pGetCourant()), 3);
  EXPECT_EQ(Walk(l), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(l.pSuivant(), nullptr);  // at the end: stays on the last node
  EXPECT_EQ(Value(l.pGetCourant()), 4);
  EXPECT_EQ(l.pGetElement(4), nullptr);
  EXPECT_EQ(l.pGetElement(-1), nullptr);
  EXPECT_EQ(l.nGetIndexCourant(), 3);
}

TEST(LinkedList, RemovingMakesThePredecessorElseTheFirstCurrent) {
  CListeChainee l(sizeof(int));
  for (int v : {1, 2, 3}) l.Insere(&v, false);
  l.pGetElement(1);
  l.SupprimeCourant();
  EXPECT_EQ(Value(l.pGetCourant()), 1);
  EXPECT_EQ(l.nGetIndexCourant(), 0);
  l.SupprimeCourant();  // the first: its successor becomes first and current
  EXPECT_EQ(Value(l.pGetCourant()), 3);
  EXPECT_EQ(l.nGetIndexCourant(), 0);
  l.SupprimeCourant();
  EXPECT_EQ(l.nGetNbElement(), 0);
  EXPECT_EQ(l.nGetIndexCourant(), -1);
  EXPECT_EQ(l.pGetCourant(), nullptr);
  l.SupprimeCourant();  // empty: nothing
  int v = 7;
  l.Insere(&v, false);
  EXPECT_EQ(Walk(l), (std::vector<int>{7}));
  l.SupprimeTout();
  EXPECT_EQ(l.nGetIndexCourant(), -1);
  EXPECT_EQ(l.pGetElement(0), nullptr);
}

// Random edits checked against a vector and an index.
TEST(LinkedList, MatchesAModelUnderRandomEdits) {
  std::mt19937 rng(12345);
  CListeChainee l(sizeof(int));
  std::vector<int> model;
  int cur = -1;
  for (int step = 0; step < 5000; ++step) {
    int op = static_cast<int>(rng() % 5);
    int value = static_cast<int>(rng() % 1000);
    if (op <= 1 || model.empty()) {
      bool before = op == 0;
      ASSERT_NE(l.Insere(&value, before), nullptr);
      if (model.empty()) cur = 0;
      else if (!before) ++cur;
      model.insert(model.begin() + cur, value);
    } else if (op == 2) {
      l.SupprimeCourant();
      model.erase(model.begin() + cur);
      if (cur > 0) --cur;
      else cur = model.empty() ? -1 : 0;
    } else if (op == 3) {
      int index = static_cast<int>(rng() % model.size());
      ASSERT_EQ(Value(l.pGetElement(index)), model[index]);
      cur = index;
    } else {
      void* p = l.pSuivant();
      if (cur + 1 < static_cast<int>(model.size())) {
        ++cur;
        ASSERT_EQ(Value(p), model[cur]);
      } else {
        ASSERT_EQ(p, nullptr);
      }
    }
    ASSERT_EQ(l.nGetNbElement(), static_cast<int>(model.size()));
    ASSERT_EQ(l.nGetIndexCourant(), cur);
    if (cur >= 0) {
      ASSERT_EQ(Value(l.pGetCourant()), model[cur]);
    }
  }
  EXPECT_EQ(Walk(l), model);
}

using LinkedListFailure = qg::ContainerFailureTest;

TEST_F(LinkedListFailure, FailedInsertChangesNothing) {
  CListeChainee l(sizeof(int));
  for (int v : {1, 2}) l.Insere(&v, false);
  int v = 3;
  FailNth(1);
  EXPECT_EQ(l.Insere(&v, true), nullptr);
  EXPECT_EQ(l.nGetNbElement(), 2);
  EXPECT_EQ(l.nGetIndexCourant(), 1);
  EXPECT_EQ(Walk(l), (std::vector<int>{1, 2}));
}

}  // namespace
