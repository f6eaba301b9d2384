#include "driver/sql/key_range_filter.h"

#include <cstring>
#include <new>

#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/sql/column.h"

namespace {

constexpr uint32_t kSite = 14;
constexpr uint32_t kMessageNoMemory = 12;
// Flags of the bounds' nodes.
constexpr unsigned kLowBoundFlags = 0x44;
constexpr unsigned kHighBoundFlags = 0x84;

}  // namespace

CNAKeyRangeFilter::~CNAKeyRangeFilter() { NARelease(m_pImage); }

void CNAKeyRangeFilter::SetKeyImage(CNAKeyImage* image) {
  AddRefBoth(image);
  NARelease(m_pImage);
  m_pImage = image;
}

CNAKeyFilter* CNAKeyRangeFilter::pclNew() const {
  CNAKeyRangeFilter* f = new (std::nothrow) CNAKeyRangeFilter(m_pTable);
  AddRefBoth(f);
  return f;
}

CNAKeyFilter* CNAKeyRangeFilter::pclCopyShared(INACopyContext* context) const {
  CNAKeyFilter* f = pclClone(context);
  if (f != nullptr) static_cast<CNAKeyRangeFilter*>(f)->SetKeyImage(m_pImage);
  return f;
}

void CNAKeyRangeFilter::CopyFrom(const CNAKeyFilter& other, INACopyContext* context) {
  CNAKeyFilter::CopyFrom(other, context);
  if (const auto* range = dynamic_cast<const CNAKeyRangeFilter*>(&other)) {
    m_bActive = range->m_bActive;
    CNAKeyImage* image = nullptr;
    if (range->m_pImage != nullptr) {
      image = new (std::nothrow) CNAKeyImage;
      if (image != nullptr) image->codes = range->m_pImage->codes;
    }
    AddRefBoth(image);
    SetKeyImage(image);
    NARelease(image);
  }
}

bool CNAKeyRangeFilter::bSetRange(CNAKeyTable* table, const CNAColumn* key,
                                  const NAKeyBound& low, const NAKeyBound& high,
                                  CNAFilter* condition, unsigned flags, CNAError* error) {
  Reset();
  SetTable(table);
  SetKey(key);
  m_nMode = kModeEqualityOnly;
  m_abyValue.clear();
  m_bActive = true;
  m_bChanged = false;

  NAKeyBound lower = low;
  NAKeyBound upper = high;
  const bool equal = low.bGiven() && high.bGiven() && low.size == high.size &&
                     (low.size == 0 || std::memcmp(low.bytes, high.bytes, low.size) == 0);
  bool descending = false;
  if (key != nullptr && m_pTable != nullptr) {
    descending = key->bIsComposite() ? key->bIsPartDescending(1) : m_pTable->bIsDescending(*key);
  }
  const NAKeyRangeOperators ops =
      ChooseKeyRangeOperators(low.bGiven(), high.bGiven(), equal, low.bInclusive,
                              high.bInclusive, (flags & kRangeExact) != 0, descending);
  if (ops.swapped) std::swap(lower, upper);

  auto build = [&](const NAKeyBound& bound, int op, unsigned bound_flags,
                   CNARefPtr<CNAFilter>* out) -> bool {
    if (op == 0 || key == nullptr || m_pTable == nullptr) return true;
    std::vector<NAKeyConditionPart> parts;
    bool is_low = false;
    bool is_high = false;
    bool usable = false;
    if (!bCollectParts(*key, bound.bytes, bound.size, &parts, &is_low, &is_high, &usable,
                       error)) {
      return false;
    }
    if (!usable) return true;
    int direction = op;
    // A last text part standing for every text that begins with it: "<"
    // takes them in (as "<="), ">=" leaves them out (as ">").
    if (parts.back().bPrefix && !is_high) {
      if (direction == kNAFilterLess) direction = kNAFilterLessEqual;
      if (direction == kNAFilterGreaterEqual) direction = kNAFilterGreater;
    }
    CNAFilter* tree = op == kNAFilterEqual
                          ? pclBuildKeyEquality(parts, flags | bound_flags)
                          : pclBuildKeyDirection(parts, direction, is_low, is_high,
                                                 flags | bound_flags);
    out->Attach(tree);
    return true;
  };
  CNARefPtr<CNAFilter> lower_tree;
  CNARefPtr<CNAFilter> upper_tree;
  if (!build(lower, ops.low_op, kLowBoundFlags, &lower_tree) ||
      !build(upper, ops.high_op, kHighBoundFlags, &upper_tree)) {
    return false;
  }
  CNARefPtr<CNAFilter> tree;
  auto add = [&](CNAFilter* node) -> bool {
    if (node == nullptr) return true;
    if (!tree) {
      tree.Attach(NAAddRef(node));
      return true;
    }
    CNAFilter* both = CNAFilter::pclNewBinary(kNAFilterAnd, tree.Get(), node, flags);
    if (both == nullptr) {
      NASetErrorMessage(error, 0, kSite, 1, nullptr, kMessageNoMemory);
      return false;
    }
    tree.Attach(both);
    return true;
  };
  if (!add(lower_tree.Get()) || !add(upper_tree.Get()) || !add(condition)) return false;
  if (!tree) return true;  // no bound and no condition
  Put(&m_pEquality, tree.Detach());
  SetActiveTree(m_pEquality);
  m_nState = kStateEquality;
  return true;
}

void CNAKeyRangeFilter::SetActive(bool active) {
  m_bActive = active;
  if (!active) Reset();
}

bool CNAKeyRangeFilter::bIsEqual(const CNAKeyRangeFilter& other) const {
  if (&other == this) return true;
  const auto* a = m_pImage != nullptr ? &m_pImage->codes : nullptr;
  const auto* b = other.m_pImage != nullptr ? &other.m_pImage->codes : nullptr;
  if ((a == nullptr) != (b == nullptr)) return false;
  if (a != nullptr && *a != *b) return false;
  if (bIsActive() != other.bIsActive()) return false;
  if (!bIsActive()) return true;
  return m_pActive->bIsEqual(other.m_pActive);
}
