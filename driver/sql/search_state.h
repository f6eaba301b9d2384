// CNASearchState: the condition of the last seek of a table access object:
// the searched item, the searched value and a flags word whose bit 0 asks
// for an exact match. A value object; it holds one reference on the item.
#ifndef QG_DRIVER_SQL_SEARCH_STATE_H_
#define QG_DRIVER_SQL_SEARCH_STATE_H_

#include <cstdint>

#include "support/any.h"

class CNAError;
class CNAFileDescription;
class CNAItem;
class INACopyContext;

class CNASearchState {
 public:
  static constexpr uint32_t kExact = 1;

  CNASearchState() = default;
  CNASearchState(const CNASearchState& other) { CopyFrom(other, nullptr); }
  CNASearchState& operator=(const CNASearchState& other) {
    CopyFrom(other, nullptr);
    return *this;
  }
  ~CNASearchState() { Reset(); }

  void Set(CNAItem* item, const CAny& value, uint32_t flags);
  void Reset();
  CNAItem* pclGetItem() const { return m_pItem; }
  const CAny& clGetValue() const { return m_clValue; }
  uint32_t nGetFlags() const { return m_nFlags; }

  // Whether the record's value of the searched item matches: always without
  // an item; exact: equal values; otherwise a text value begins with the
  // searched text (case ignored) and any other value is equal. The record
  // is a logical description whose items stand in the order of the item's
  // owner (the owner itself, or a copy of it). A null record value never
  // matches a value, and always matches a null one.
  bool bMatches(const CNAFileDescription* record, CNAError* error) const;

  // The item through the copy context when it holds its copy.
  void CopyFrom(const CNASearchState& other, INACopyContext* context);

 private:
  CNAItem* m_pItem = nullptr;
  CAny m_clValue;
  uint32_t m_nFlags = 0;
};

#endif  // QG_DRIVER_SQL_SEARCH_STATE_H_
