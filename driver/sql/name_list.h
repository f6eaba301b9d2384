// For the columns that a condition constrains, whether the condition lets a
// column's null values through. A column that is not in the list counts as
// letting nulls through. Items are compared by identity and not owned: the
// list must not outlive them.
#ifndef QG_DRIVER_SQL_NAME_LIST_H_
#define QG_DRIVER_SQL_NAME_LIST_H_

#include <cstddef>
#include <cstdint>
#include <vector>

class CNAItem;

class CNANameList {
 public:
  // Condition operators the lists are combined by.
  static constexpr int kOr = 1;
  static constexpr int kAnd = 2;

  // Flags: 1 nulls pass, 0 nulls are rejected.
  using ItemName = const char16_t* (*)(const CNAItem* item);

  // A null item does nothing; a present item gets the new flag; otherwise
  // the pair is appended. Returns 1.
  int Set(const CNAItem* item, int flag);
  // Appends every pair of other (negated when asked: 1 becomes 0, anything
  // else 1), without looking for duplicates. Null appends nothing. Returns 1.
  int bAppendList(const CNANameList* other, bool negate);
  // Builds this list (expected empty) from the lists of a node's two
  // children combined by the node's operator. Under OR an item that only
  // one side constrains lets nulls through (the other side may accept the
  // row whatever the column holds), so it is recorded with flag 1.
  void Combine(int op, const CNANameList* left, const CNANameList* right);
  // Folds another list, or one pair, into this one: a present item's flag
  // becomes (old and flag) under AND, (old or flag) otherwise; an absent
  // item is appended only under AND with a flag of 0. Merging no list under
  // OR empties this list.
  void Merge(int op, const CNANameList* other);
  void MergeOne(int op, const CNAItem* item, int flag);

  int nGetFlag(const CNAItem* item) const;  // 1 when absent
  int nFind(const CNAItem* item) const;     // -1 when absent
  // By the item's name, compared without regard to case; names come from
  // the given function.
  int nGetFlagByName(const char16_t* name, ItemName nameOf) const;
  int nFindByName(const char16_t* name, ItemName nameOf) const;

  void Clear();
  int nGetCount() const { return static_cast<int>(m_items.size()); }
  const CNAItem* pGetItem(int i) const { return m_items[static_cast<size_t>(i)]; }
  int nGetFlagAt(int i) const { return m_flags[static_cast<size_t>(i)]; }

 private:
  std::vector<const CNAItem*> m_items;
  std::vector<int32_t> m_flags;
};

#endif  // QG_DRIVER_SQL_NAME_LIST_H_
