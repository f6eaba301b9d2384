#include "driver/sql/name_list.h"

#include <gtest/gtest.h>

namespace {

const CNAItem* Item(int n) { return reinterpret_cast<const CNAItem*>(static_cast<uintptr_t>(0x1000 * n)); }

CNANameList List(std::initializer_list<std::pair<int, int>> pairs) {
  CNANameList l;
  for (auto [item, flag] : pairs) l.Set(Item(item), flag);
  return l;
}

TEST(NameList, SetFindAndNegate) {
  CNANameList l = List({{1, 0}});
  EXPECT_EQ(l.nGetFlag(Item(1)), 0);
  EXPECT_EQ(l.nGetFlag(Item(2)), 1);  // absent: nulls pass
  EXPECT_EQ(l.nFind(Item(2)), -1);
  l.Set(Item(1), 1);
  EXPECT_EQ(l.nGetCount(), 1);
  EXPECT_EQ(l.nGetFlag(Item(1)), 1);
  l.Set(nullptr, 0);
  EXPECT_EQ(l.nGetCount(), 1);

  CNANameList negated;
  CNANameList a = List({{1, 0}});
  negated.bAppendList(&a, true);
  EXPECT_EQ(negated.nGetFlag(Item(1)), 1);
  negated.bAppendList(nullptr, true);
  EXPECT_EQ(negated.nGetCount(), 1);
}

TEST(NameList, CombineUnderAndOr) {
  CNANameList a = List({{1, 0}});
  CNANameList b = List({{2, 0}});
  CNANameList both = List({{1, 0}, {2, 1}});

  CNANameList andList;
  andList.Combine(CNANameList::kAnd, &a, &b);
  EXPECT_EQ(andList.nGetCount(), 2);
  EXPECT_EQ(andList.nGetFlag(Item(1)), 0);
  EXPECT_EQ(andList.nGetFlag(Item(2)), 0);

  CNANameList orNone;
  orNone.Combine(CNANameList::kOr, &a, nullptr);
  EXPECT_EQ(orNone.nGetCount(), 0);

  // x=1 OR u=5: each column is constrained on one side only, so a row with
  // a null in it can still pass through the other side.
  CNANameList orOneSided;
  orOneSided.Combine(CNANameList::kOr, &a, &b);
  EXPECT_EQ(orOneSided.nGetFlag(Item(1)), 1);
  EXPECT_EQ(orOneSided.nGetFlag(Item(2)), 1);

  CNANameList orBoth;
  CNANameList a2 = List({{1, 0}, {2, 0}});
  orBoth.Combine(CNANameList::kOr, &a2, &both);
  EXPECT_EQ(orBoth.nGetFlag(Item(1)), 0);  // rejected on both sides
  EXPECT_EQ(orBoth.nGetFlag(Item(2)), 1);
}

TEST(NameList, MergeRules) {
  CNANameList l = List({{1, 1}});
  l.MergeOne(CNANameList::kAnd, Item(1), 0);
  EXPECT_EQ(l.nGetFlag(Item(1)), 0);
  l.MergeOne(CNANameList::kOr, Item(1), 1);
  EXPECT_EQ(l.nGetFlag(Item(1)), 1);
  l.MergeOne(CNANameList::kOr, Item(2), 0);  // absent under OR: nothing
  EXPECT_EQ(l.nFind(Item(2)), -1);
  l.MergeOne(CNANameList::kAnd, Item(3), 1);  // absent with flag 1: nothing
  EXPECT_EQ(l.nFind(Item(3)), -1);
  l.Merge(CNANameList::kAnd, nullptr);
  EXPECT_EQ(l.nGetCount(), 1);
  l.Merge(CNANameList::kOr, nullptr);
  EXPECT_EQ(l.nGetCount(), 0);
}

TEST(NameList, ByName) {
  CNANameList l = List({{1, 0}, {2, 1}});
  auto name = [](const CNAItem* item) -> const char16_t* {
    return item == Item(1) ? u"Prénom" : u"nom";
  };
  EXPECT_EQ(l.nFindByName(u"PRÉNOM", name), 0);
  EXPECT_EQ(l.nGetFlagByName(u"prénom", name), 0);
  EXPECT_EQ(l.nGetFlagByName(u"other", name), 1);
  EXPECT_EQ(l.nFindByName(u"nom", nullptr), -1);
}

}  // namespace
