#include "driver/sql/search_state.h"

#include "driver/core/host_interfaces.h"
#include "driver/core/value_bridge.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "support/any_holders.h"
#include "support/ctstring.h"
#include "support/frame/module_services.h"

namespace {

bool IsTextCode(int code) {
  switch (code) {
    case 16: case 17: case 18: case 19: case 20: case 21: case 22: case 23: case 24: case 25:
    case 81: case 110: case 128: case 129: case 134:
      return true;
    default:
      return false;
  }
}

// The value as UTF-16 text; false when it has none.
bool Text(const CAny& value, CTString* out) {
  CAny copy(value);
  const char16_t* text = nullptr;
  if (copy.nConvertType(qg::kAnyPSTRW) >= qg::kHostErrorFirst ||
      copy.pclHolder()->vnGetTexteW(&text) != qg::kAnyOk) {
    return false;
  }
  out->Set(text != nullptr ? text : u"");
  return true;
}

}  // namespace

void CNASearchState::Set(CNAItem* item, const CAny& value, uint32_t flags) {
  if (item != nullptr) AddRefBoth(item);
  if (m_pItem != nullptr) ReleaseBoth(m_pItem);
  m_pItem = item;
  m_clValue = value;
  m_nFlags = flags;
}

void CNASearchState::Reset() {
  if (m_pItem != nullptr) ReleaseBoth(m_pItem);
  m_pItem = nullptr;
  m_clValue.SetType(0);
  m_nFlags = 0;
}

bool CNASearchState::bMatches(const CNAFileDescription* record, CNAError* error) const {
  if (m_pItem == nullptr) return true;
  CNAItem* item = m_pItem;
  if (record != nullptr && m_pItem->pclGetOwner() != record) {
    int index = m_pItem->nGetIndexInOwner();
    item = index >= 0 ? record->pclGetItem(index) : nullptr;
    if (item == nullptr) return false;
  }
  CAny value;
  if (!item->bReadValue(value, 0, error)) return false;
  bool wanted_null = m_clValue.bEstNull() || m_clValue.bEstVide();
  if (value.bEstNull()) return wanted_null;
  if (wanted_null) return false;
  if ((m_nFlags & kExact) == 0 && IsTextCode(value.nGetCode())) {
    CTString have;
    CTString want;
    if (!Text(value, &have) || !Text(m_clValue, &want)) return false;
    int n = want.nTaille();
    if (have.nTaille() < n) return false;
    CTString head(have.pszGet(), static_cast<size_t>(n));
    return head.bEstEgalI(want.pszGet());
  }
  int32_t order = 1;
  if (nNACompare(value, m_clValue, &order) >= qg::kHostErrorFirst) return false;
  return order == 0;
}

void CNASearchState::CopyFrom(const CNASearchState& other, INACopyContext* context) {
  if (&other == this) return;
  CNAItem* item = other.m_pItem;
  if (context != nullptr && item != nullptr) {
    void* copy = context->pFindCopy(item);
    if (copy != nullptr) item = static_cast<CNAItem*>(copy);
  }
  Set(item, other.m_clValue, other.m_nFlags);
}
