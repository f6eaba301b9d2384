// CNAKeyRangeFilter: a key filter that bounds reads to a range of key
// values: lower bound AND upper bound, each continued part by part over the
// key's columns (see CNAKeyFilter), with an optional condition of its own.
// It can be switched off without losing its key image, the caller's record
// of the key the range was set for.
#ifndef QG_DRIVER_SQL_KEY_RANGE_FILTER_H_
#define QG_DRIVER_SQL_KEY_RANGE_FILTER_H_

#include <cstdint>
#include <utility>
#include <vector>

#include "driver/sql/key_filter.h"

// The key a range was set for, as the caller describes it: pairs of 16-bit
// codes. Shared by copies made with pclCopyShared.
class CNAKeyImage : public CNARefCounted {
 public:
  std::vector<std::pair<uint16_t, uint16_t>> codes;
};

// One bound of a range: the key value's bytes (packed parts, possibly cut
// short), or none.
struct NAKeyBound {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  bool bInclusive = true;
  bool bGiven() const { return bytes != nullptr; }
};

class CNAKeyRangeFilter : public CNAKeyFilter {
 public:
  // Range flag: an exact range (see bSetRange).
  static constexpr unsigned kRangeExact = 0x8;

  explicit CNAKeyRangeFilter(CNAKeyTable* table = nullptr) : CNAKeyFilter(table) {}
  ~CNAKeyRangeFilter() override;

  CNAKeyFilter* pclNew() const override;
  CNAKeyFilter* pclCopyShared(INACopyContext* context) const override;
  void CopyFrom(const CNAKeyFilter& other, INACopyContext* context) override;

  // Sets the range on `key`:
  //  - a descending key with both bounds given swaps them (the parts'
  //    comparisons are reversed as well, so the range keeps its values);
  //  - the lower bound is ">=" (inclusive) or ">", the upper "<=" or "<";
  //    equal bounds without kRangeExact, or a lone lower bound with it,
  //    give an equality on the lower bound alone;
  //  - lower AND upper, then AND `condition` (a node of the caller's, one
  //    reference taken) when given.
  // No bound and no condition: no condition at all. A bound the key cannot
  // read leaves no condition either. The filter is active afterwards.
  bool bSetRange(CNAKeyTable* table, const CNAColumn* key, const NAKeyBound& low,
                 const NAKeyBound& high, CNAFilter* condition, unsigned flags, CNAError* error);
  // The same over a file description's items.
  bool bSetRange(CNAFileDescription* description, const CNAColumn* key, const NAKeyBound& low,
                 const NAKeyBound& high, CNAFilter* condition, unsigned flags, CNAError* error) {
    CNAKeyTable* table = pclTableFor(description, error);
    return table != nullptr && bSetRange(table, key, low, high, condition, flags, error);
  }
  // Off drops the condition; on makes the filter active again (with the
  // condition the next bSetRange gives).
  void SetActive(bool active);
  bool bIsActive() const { return m_bActive && bHasCondition(); }
  // The same object, or the same key image codes and equal conditions.
  bool bIsEqual(const CNAKeyRangeFilter& other) const;

  CNAKeyImage* pclGetKeyImage() const { return m_pImage; }
  // Attaches an image (one reference; null detaches).
  void SetKeyImage(CNAKeyImage* image);

 private:
  CNAKeyImage* m_pImage = nullptr;  // one reference
  bool m_bActive = true;
};

#endif  // QG_DRIVER_SQL_KEY_RANGE_FILTER_H_
