#include "driver/sql/key_condition.h"

namespace {

bool bIsTextOrDatePart(const NAKeyConditionPart& p) {
  return bIsTextOrDateType(p.column.nVeliscType) || p.column.nVeliscType == qg::kAnyDATETIME;
}

CNAFilter* Leaf(const NAKeyConditionPart& p, int op, unsigned flags) {
  if (p.bDescending) op = nReverseFilterOperator(op);
  return CNAFilter::pclNewLeaf(op, p.column, p.value, flags);
}

// Takes the references of both children.
CNAFilter* Join(int op, CNAFilter* left, CNAFilter* right, unsigned flags) {
  CNAFilter* node = nullptr;
  if (left != nullptr && right != nullptr) node = CNAFilter::pclNewBinary(op, left, right, flags);
  NARelease(left);
  NARelease(right);
  return node;
}

CNAFilter* LastPart(const NAKeyConditionPart& p, int op, unsigned flags) {
  if (p.bPrefix && bIsTextOrDatePart(p)) {
    if (op == kNAFilterLessEqual) {
      return Join(kNAFilterOr, Leaf(p, kNAFilterLess, flags),
                  Leaf(p, kNAFilterEqual, flags | kNAFilterPrefix), flags);
    }
    if (op == kNAFilterGreater) {
      return Join(kNAFilterAnd, Leaf(p, kNAFilterGreater, flags),
                  Leaf(p, kNAFilterNotEqual, flags | kNAFilterPrefix), flags);
    }
  }
  return Leaf(p, op, flags);
}

CNAFilter* Direction(const std::vector<NAKeyConditionPart>& parts, size_t i, size_t n, int op,
                     unsigned flags) {
  const NAKeyConditionPart& p = parts[i];
  if (i + 1 == n) return LastPart(p, op, flags);
  CNAFilter* rest = Direction(parts, i + 1, n, op, flags);
  CNAFilter* same = Join(kNAFilterAnd, Leaf(p, kNAFilterEqual, flags), rest, flags);
  return Join(kNAFilterOr, Leaf(p, nOuterDirectionOperator(op), flags), same, flags);
}

}  // namespace

CNAFilter* pclBuildKeyEquality(const std::vector<NAKeyConditionPart>& parts, unsigned flags) {
  CNAFilter* tree = nullptr;
  for (const NAKeyConditionPart& p : parts) {
    CNAFilter* leaf = Leaf(p, kNAFilterEqual, p.bPrefix ? flags | kNAFilterPrefix : flags);
    tree = tree == nullptr ? leaf : Join(kNAFilterAnd, tree, leaf, flags);
    if (tree == nullptr) return nullptr;
  }
  return tree;
}

CNAFilter* pclBuildKeyDirection(const std::vector<NAKeyConditionPart>& parts, int op,
                                bool key_low, bool key_high, unsigned flags) {
  size_t n = parts.size();
  if ((op == kNAFilterLessEqual && key_low) || (op == kNAFilterGreaterEqual && key_high)) {
    if (n > 0) --n;
  }
  if (n == 0) return nullptr;
  return Direction(parts, 0, n, op, flags);
}
