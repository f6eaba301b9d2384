#include "driver/sql/name_list.h"

#include "support/platform/text16.h"

int CNANameList::Set(const CNAItem* item, int flag) {
  if (item == nullptr) return 1;
  int i = nFind(item);
  if (i >= 0) {
    m_flags[static_cast<size_t>(i)] = flag;
  } else {
    m_items.push_back(item);
    m_flags.push_back(flag);
  }
  return 1;
}

int CNANameList::bAppendList(const CNANameList* other, bool negate) {
  if (other == nullptr || other == this) {
    if (other == this) {
      // Appending a list to itself: copy first so the walk sees fixed data.
      CNANameList copy = *this;
      return bAppendList(&copy, negate);
    }
    return 1;
  }
  for (size_t i = 0; i < other->m_items.size(); ++i) {
    int flag = other->m_flags[i];
    if (negate) flag = flag == 1 ? 0 : 1;
    m_items.push_back(other->m_items[i]);
    m_flags.push_back(flag);
  }
  return 1;
}

void CNANameList::Combine(int op, const CNANameList* left, const CNANameList* right) {
  if (left == nullptr && right == nullptr) return;
  if (op == kOr) {
    // With one side unconstrained every null passes; with both, an item
    // must reject nulls on both sides to reject them.
    if (left == nullptr || right == nullptr) return;
    for (size_t i = 0; i < left->m_items.size(); ++i) {
      int j = right->nFind(left->m_items[i]);
      int flag = j < 0 ? 1 : (left->m_flags[i] != 0 || right->m_flags[static_cast<size_t>(j)] != 0);
      Set(left->m_items[i], flag);
    }
    return;  // items only the right side holds stay absent: nulls pass
  }
  if (left != nullptr) {
    bAppendList(left, false);
    Merge(op, right);
  } else {
    bAppendList(right, false);
  }
}

void CNANameList::Merge(int op, const CNANameList* other) {
  if (other == nullptr) {
    if (op == kOr) Clear();
    return;
  }
  if (other == this) return;  // x AND x, x OR x: unchanged
  for (size_t i = 0; i < other->m_items.size(); ++i) MergeOne(op, other->m_items[i], other->m_flags[i]);
}

void CNANameList::MergeOne(int op, const CNAItem* item, int flag) {
  int i = nFind(item);
  if (i >= 0) {
    int32_t& old = m_flags[static_cast<size_t>(i)];
    old = op == kAnd ? (old != 0 && flag != 0) : (old != 0 || flag != 0);
  } else if (op == kAnd && flag == 0 && item != nullptr) {
    m_items.push_back(item);
    m_flags.push_back(0);
  }
}

int CNANameList::nGetFlag(const CNAItem* item) const {
  int i = nFind(item);
  return i < 0 ? 1 : m_flags[static_cast<size_t>(i)];
}

int CNANameList::nFind(const CNAItem* item) const {
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (m_items[i] == item) return static_cast<int>(i);
  }
  return -1;
}

int CNANameList::nGetFlagByName(const char16_t* name, ItemName nameOf) const {
  int i = nFindByName(name, nameOf);
  return i < 0 ? 1 : m_flags[static_cast<size_t>(i)];
}

int CNANameList::nFindByName(const char16_t* name, ItemName nameOf) const {
  if (name == nullptr || nameOf == nullptr) return -1;
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (qg::StrICmpLatin1_16(nameOf(m_items[i]), name) == 0) return static_cast<int>(i);
  }
  return -1;
}

void CNANameList::Clear() {
  m_items.clear();
  m_flags.clear();
}
