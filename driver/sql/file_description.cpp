#include "driver/sql/file_description.h"

#include <climits>
#include <new>
#include <string>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/manager.h"
#include "driver/sql/column.h"
#include "driver/sql/conversion_error.h"
#include "driver/sql/item.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/table_description.h"
#include "driver/sql/value_converter.h"

namespace {

constexpr uint32_t kSite = 11;
constexpr uint32_t kMessageInternal = 53;
constexpr uint32_t kAllParts =
    CNARecordImage::kRow | CNARecordImage::kValues | CNARecordImage::kIdentifier;

bool SameNameNoCase(const char16_t* a, const char16_t* b) {
  if (a == nullptr) a = u"";
  if (b == nullptr) b = u"";
  return CTString(a).bEstEgalI(b);
}

bool HasText(const char16_t* text) { return text != nullptr && text[0] != 0; }

bool Contains(const std::vector<CNAItem*>& items, const CNAItem* item) {
  for (const CNAItem* i : items) {
    if (i == item) return true;
  }
  return false;
}

template <class T>
void Hold(T** slot, T* object) {
  if (object != nullptr) AddRefBoth(object);
  if (*slot != nullptr) ReleaseBoth(*slot);
  *slot = object;
}

}  // namespace

CNAFileDescription::CNAFileDescription() {
  m_apItems.reserve(20);
  m_apKeys.reserve(10);
}

CNAFileDescription::~CNAFileDescription() {
  DropItems();
  DropImages();
  Hold<CNAConnection>(&m_pConnection, nullptr);
  Hold<CNATableDescription>(&m_pDescription, nullptr);
}

void CNAFileDescription::DropItems() {
  m_apKeys.clear();
  m_apLargeObjects.clear();
  m_apUniqueComposites.clear();
  m_pAutoId = nullptr;
  m_pKeyItem = nullptr;
  std::vector<CNAItem*> items;
  items.swap(m_apItems);
  // Composite keys hold their parts: drop those links first so that no
  // item outlives the description through a part list.
  for (CNAItem* item : items) item->ClearParts();
  for (CNAItem* item : items) {
    if (item->pclGetOwner() == this) item->SetOwner(nullptr);
    ReleaseBoth(item);
  }
}

void CNAFileDescription::DropImages() {
  Hold<CNARecordImage>(&m_pCurrent, nullptr);
  Hold<CNARecordImage>(&m_pSaved, nullptr);
  Hold<CNARowBuffer>(&m_pRow, nullptr);
  m_pBoundRow = nullptr;
}

CNAItem* CNAFileDescription::pclFindItemBySqlName(const std::vector<CNAItem*>& items,
                                                  const char16_t* name) const {
  for (CNAItem* item : items) {
    if (SameNameNoCase(item->pszGetSqlName(), name)) return item;
  }
  return nullptr;
}

CNARecordIdentifier* CNAFileDescription::pclNewRecordIdentifier() {
  // Pointed at the image's own row when the image takes it.
  return new (std::nothrow) CNARowIdentifier(nullptr, 0, nullptr);
}

CNAItem* CNAFileDescription::pclNewItem() {
  CNAManager* manager = NAGetManager();
  CNAItem* item = manager != nullptr ? manager->pclNewColumnItem() : nullptr;
  if (item == nullptr) item = new (std::nothrow) CNAItem;
  return item;
}

bool CNAFileDescription::bBuild(CNATableDescription* description,
                                const CNATableDescription* name_source, CNAError* error) {
  if (description == nullptr || description->nGetColumnCount() == 0) {
    NASetErrorMessage(error, 0, kSite, 2, nullptr, kMessageInternal, u"no column");
    return false;
  }
  DropItems();
  Hold(&m_pDescription, description);
  Hold(&m_pConnection, description->pclGetConnection());
  if (!bInitRecordBuffers(error)) return false;
  for (int i = 0; i < description->nGetColumnCount(); ++i) {
    CNAColumn* column = description->pclColumnAt(i);
    CNAColumn* source = nullptr;
    if (name_source != nullptr && !column->bIsComposite()) {
      source = name_source->pclFindColumn(column->pszGetName(), 1);
    }
    if (!bAddItem(column, source, error)) return false;
  }
  for (int i = 0; i < description->nGetKeyCount(); ++i) {
    CNAColumn* key = description->pclKeyAt(i);
    if (key == nullptr || !key->bIsComposite()) continue;
    if (!bAddItem(key, nullptr, error)) return false;
  }
  for (CNAItem* item : m_apItems) {
    if (m_pAutoId == nullptr && item->bIsAutoIdentifier()) m_pAutoId = item;
    if (m_pKeyItem == nullptr && item->bIsUniqueKey()) m_pKeyItem = item;
    if (item->bIsCompositeKey() && item->nGetPartCount() == 0) bGiveCompositeParts(item);
  }
  OrderKeys();
  return true;
}

bool CNAFileDescription::bAddItem(CNAColumn* column, CNAColumn* source, CNAError* error) {
  if (column == nullptr) return false;
  CNAItem* item = pclNewItem();
  if (item == nullptr) {
    NAReportOutOfMemory(error, kSite, 3);
    return false;
  }
  AddRefBoth(item);
  item->Init(this, column, source);
  m_apItems.push_back(item);
  if (item->bIsLargeObject()) m_apLargeObjects.push_back(item);
  if (item->bIsCompositeKey() && item->bIsUniqueKey()) m_apUniqueComposites.push_back(item);
  return item->bBindConverter(m_pCurrent, error);
}

// A composite key whose parts are not all items keeps no part (it then
// takes no part in identification).
bool CNAFileDescription::bGiveCompositeParts(CNAItem* key) {
  CNAColumn* column = key->pclGetColumn();
  for (int n = 1; n <= column->nGetPartCount(); ++n) {
    CNAItem* part = pclFindItemForColumn(column->pclGetPart(n));
    if (part == nullptr || part->bIsCompositeKey()) {
      key->ClearParts();
      return false;
    }
    key->AddPart(part);
  }
  return true;
}

CNAItem* CNAFileDescription::pclFindItemForColumn(const CNAColumn* column) const {
  if (column == nullptr) return nullptr;
  if (!m_bMatchByName) {
    int ordinal = column->nGetOrdinal();
    return ordinal >= 0 && ordinal < nGetItemCount() ? m_apItems[size_t(ordinal)] : nullptr;
  }
  for (CNAItem* item : m_apItems) {
    const CNAColumn* mine = item->pclGetColumn();
    if (mine == nullptr) continue;
    if (HasText(mine->pszGetTable()) && HasText(column->pszGetTable()) &&
        !SameNameNoCase(mine->pszGetTable(), column->pszGetTable())) {
      continue;
    }
    if (HasText(mine->pszGetOwnerText()) && HasText(column->pszGetOwnerText()) &&
        !SameNameNoCase(mine->pszGetOwnerText(), column->pszGetOwnerText())) {
      continue;
    }
    if (SameNameNoCase(mine->pszGetName(), column->pszGetName())) return item;
  }
  return nullptr;
}

CNAItem* CNAFileDescription::pclFindItemByName(const char16_t* name) const {
  for (CNAItem* item : m_apItems) {
    if (SameNameNoCase(item->pszGetName(), name)) return item;
  }
  return nullptr;
}

CNAItem* CNAFileDescription::pclGetItem(int i) const {
  return i >= 0 && i < nGetItemCount() ? m_apItems[size_t(i)] : nullptr;
}

int CNAFileDescription::nGetItemIndex(const CNAItem* item) const {
  for (size_t i = 0; i < m_apItems.size(); ++i) {
    if (m_apItems[i] == item) return static_cast<int>(i);
  }
  return -1;
}

CNAItem* CNAFileDescription::pclGetKey(int i) const {
  return i >= 0 && i < nGetKeyCount() ? m_apKeys[size_t(i)] : nullptr;
}

// Appends an item, or the parts of a composite key, that the list does not
// hold yet, while the list is below `limit` parts. A composite key whose
// parts are all listed already adds nothing.
void CNAFileDescription::AddKeyParts(CNAItem* item, int limit,
                                     std::vector<CNAItem*>* keys) const {
  if (item->bIsCompositeKey()) {
    for (int n = 1; n <= item->nGetPartCount(); ++n) {
      CNAItem* part = item->pclGetPart(n);
      if (static_cast<int>(keys->size()) >= limit) return;
      if (!Contains(*keys, part)) keys->push_back(part);
    }
    return;
  }
  if (static_cast<int>(keys->size()) < limit && !Contains(*keys, item)) keys->push_back(item);
}

// The identification order:
// 1. an explicit key order: its items in that order, up to and including
//    the auto-identifier item;
// 2. else the auto-identifier item alone;
// 3. else the plain unique keys while they are writable (the first one that
//    is not writable becomes the whole list, and the order ends there), the
//    composite unique keys likewise, then the plain keys with duplicates,
//    the composite keys with duplicates, and every plain item that is not a
//    key and not a large object.
// The list never holds more parts than the connection allows in ORDER BY.
void CNAFileDescription::OrderKeys() {
  std::vector<CNAItem*> keys;
  int limit = m_pConnection != nullptr ? m_pConnection->nGetMaxOrderItems() : INT_MAX;
  if (!m_astrKeyOrder.empty()) {
    for (const std::u16string& name : m_astrKeyOrder) {
      CNAItem* item = pclFindItemByName(name.c_str());
      if (item == nullptr) continue;
      AddKeyParts(item, limit, &keys);
      if (item == m_pAutoId) break;
    }
    m_apKeys.swap(keys);
    return;
  }
  if (m_pAutoId != nullptr) {
    m_apKeys.assign(1, m_pAutoId);
    return;
  }
  auto composite_writable = [](CNAItem* key) {
    if (key->nGetPartCount() == 0) return false;
    for (int n = 1; n <= key->nGetPartCount(); ++n) {
      if (!key->pclGetPart(n)->bIsWritable()) return false;
    }
    return true;
  };
  bool alone = false;
  for (CNAItem* item : m_apItems) {
    if (item->bIsCompositeKey() || !item->bIsUniqueKey() || item->bIsLargeObject()) continue;
    if (item->bIsWritable()) {
      AddKeyParts(item, limit, &keys);
    } else {
      keys.clear();
      AddKeyParts(item, limit, &keys);
      alone = true;
      break;
    }
  }
  if (!alone) {
    for (CNAItem* item : m_apItems) {
      if (!item->bIsCompositeKey() || !item->bIsUniqueKey() || item->nGetPartCount() == 0) continue;
      if (composite_writable(item)) {
        AddKeyParts(item, limit, &keys);
      } else {
        keys.clear();
        AddKeyParts(item, limit, &keys);
        alone = true;
        break;
      }
    }
  }
  if (!alone) {
    for (CNAItem* item : m_apItems) {
      if (!item->bIsCompositeKey() && item->bIsKey() && !item->bIsUniqueKey() &&
          !item->bIsLargeObject()) {
        AddKeyParts(item, limit, &keys);
      }
    }
    for (CNAItem* item : m_apItems) {
      if (item->bIsCompositeKey() && !item->bIsUniqueKey()) AddKeyParts(item, limit, &keys);
    }
    for (CNAItem* item : m_apItems) {
      if (!item->bIsCompositeKey() && !item->bIsKey() && !item->bIsLargeObject()) {
        AddKeyParts(item, limit, &keys);
      }
    }
  }
  m_apKeys.swap(keys);
}

CNAItem* CNAFileDescription::pclGetIdentifyingKey(CNAError* /*error*/) const {
  if (m_pKeyItem != nullptr && m_pKeyItem->bHasValue()) return m_pKeyItem;
  if (!m_apKeys.empty() && m_apKeys.front()->bIsUniqueKey() && m_apKeys.front()->bHasValue()) {
    return m_apKeys.front();
  }
  for (CNAItem* item : m_apItems) {
    if (item->bIsUniqueKey() && item->bHasValue()) return item;
  }
  return nullptr;
}

bool CNAFileDescription::bPrefixIsUnique(CNAItem* const* parts, int count) const {
  int n = count - 1;
  if (parts == nullptr || n <= 0) return false;
  for (CNAItem* key : m_apUniqueComposites) {
    if (key->nGetPartCount() != n) continue;
    bool all = true;
    for (int p = 1; p <= n && all; ++p) {
      CNAItem* part = key->pclGetPart(p);
      bool found = false;
      for (int i = 0; i < n; ++i) found = found || parts[i] == part;
      all = found;
    }
    if (all) return true;
  }
  return false;
}

CNARowBuffer* CNAFileDescription::pclGetCurrentRow() const {
  return m_pCurrent != nullptr ? m_pCurrent->pclGetRowBuffer() : nullptr;
}

CNARowBuffer* CNAFileDescription::pclGetSavedRow() const {
  return m_pSaved != nullptr ? m_pSaved->pclGetRowBuffer() : nullptr;
}

void CNAFileDescription::MarkCurrentInvalid() {
  if (m_pCurrent != nullptr) m_pCurrent->SetFlags(kNARecordInvalid);
}

bool CNAFileDescription::bInitRecordBuffers(CNAError* error) {
  DropImages();
  if (m_pDescription == nullptr) return false;
  auto fail = [&](uint32_t minor) {
    DropImages();
    NAReportOutOfMemory(error, kSite, minor);
    return false;
  };
  auto* row = new (std::nothrow) CNARowBuffer;
  if (row == nullptr) return fail(4);
  Hold(&m_pRow, row);
  if (!row->bBind(m_pDescription)) return fail(5);
  auto* saved = new (std::nothrow) CNARecordImage;
  if (saved == nullptr) return fail(6);
  Hold(&m_pSaved, saved);
  CNARowBuffer* saved_row = row->pclDuplicate();
  if (saved_row == nullptr) return fail(7);
  saved->SetRowBuffer(saved_row);
  auto* values = new (std::nothrow) CNARecordValues;
  if (values == nullptr) return fail(8);
  saved->SetValues(values);
  CNARecordIdentifier* identifier = pclNewRecordIdentifier();
  if (identifier == nullptr) return fail(19);
  saved->SetIdentifier(identifier);
  CNARecordImage* current = saved->pclClone(kAllParts);
  if (current == nullptr) return fail(9);
  Hold(&m_pCurrent, current);
  if (!bRebindItems(error, true)) {
    DropImages();
    return false;
  }
  return true;
}

bool CNAFileDescription::bRebindItems(CNAError* error, bool force) {
  CNARowBuffer* row = pclGetCurrentRow();
  if (force || row != m_pBoundRow) {
    m_pBoundRow = row;
    for (CNAItem* item : m_apItems) {
      if (!item->bBindConverter(m_pCurrent, error)) return false;
    }
    return true;
  }
  // The row buffer stayed; a copy of the value list may have left a large
  // object's slot without the item's converter.
  CNARecordValues* values = m_pCurrent != nullptr ? m_pCurrent->pclGetValues() : nullptr;
  if (values == nullptr) return true;
  for (CNAItem* item : m_apLargeObjects) {
    CNAValueConverter* converter = item->pclGetConverter();
    if (converter == nullptr) continue;
    int position = nGetItemIndex(item);
    CNAValue* held = values->pclGet(position);
    if (held == converter) continue;
    if (held == nullptr) {
      converter->SetAnyNull();
    } else {
      converter->nCopyFrom(held, nullptr, 0, 0);
    }
    if (!values->bSet(position, converter)) {
      NAReportOutOfMemory(error, kSite, 10);
      return false;
    }
  }
  return true;
}

bool CNAFileDescription::bSetCurrentRow(const CNARowBuffer& row, CNAError* error) {
  CNARowBuffer* current = pclGetCurrentRow();
  if (current == nullptr || current->nGetImageSize() != row.nGetImageSize()) {
    NASetErrorMessage(error, 0, kSite, 11, nullptr, kMessageInternal, u"row layout");
    return false;
  }
  current->CopyFromRowBuffer(row);
  for (CNAItem* item : m_apItems) {
    if (item->bIsCompositeKey() || item->bIsLargeObject()) continue;
    CNAValueConverter* converter = item->pclGetConverter();
    if (converter != nullptr) converter->SetNullFlag(!item->bHasValue());
  }
  return true;
}

bool CNAFileDescription::bSaveCurrentRecord(CNAError* error) {
  m_bRepositioned = true;
  if (m_pSaved == nullptr || m_pCurrent == nullptr) return false;
  if (!m_pSaved->bCopyFrom(*m_pCurrent, kAllParts)) {
    NAReportOutOfMemory(error, kSite, 12);
    return false;
  }
  return true;
}

bool CNAFileDescription::bRestoreSavedRecord(CNAError* error) {
  if (m_pSaved == nullptr || m_pCurrent == nullptr) return false;
  if (!m_pCurrent->bCopyFrom(*m_pSaved, kAllParts)) {
    NAReportOutOfMemory(error, kSite, 13);
    return false;
  }
  return bRebindItems(error);
}

bool CNAFileDescription::bCopyRecordTo(CNARecordImage* image, CNAError* error) const {
  if (image == nullptr || m_pCurrent == nullptr) return false;
  if (!image->bCopyFrom(*m_pCurrent, kAllParts)) {
    NAReportOutOfMemory(error, kSite, 14);
    return false;
  }
  return true;
}

bool CNAFileDescription::bSameAsCurrent(const CNARecordImage& image) const {
  return m_pCurrent != nullptr && m_pCurrent->bEquals(image, false);
}

bool CNAFileDescription::bDump(std::u16string* out, CNAError* error) {
  out->assign(u"<Record ID> : ");
  CNARecordIdentifier* identifier =
      m_pCurrent != nullptr ? m_pCurrent->pclGetIdentifier() : nullptr;
  if (identifier != nullptr) {
    out->append(identifier->Dump());
  } else {
    out->append(u"NULL");
  }
  out->append(u"\r\n<NullValuesFlags (0=NULL)> :");
  CNARowBuffer* row = pclGetCurrentRow();
  if (row != nullptr && row->pGetLayout() != nullptr) {
    const uint8_t* bitmap = row->pGetBlock();
    uint32_t bits = row->nGetBitmapSize() == 0 ? 0 : row->pGetLayout()->nNullBits;
    for (uint32_t b = 0; b < bits; ++b) {
      out->append((bitmap[b / 8] & (0x80 >> (b % 8))) != 0 ? u" 1" : u" 0");
    }
  }
  std::u16string line;
  for (CNAItem* item : m_apItems) {
    if (item->bIsCompositeKey()) break;
    item->bDumpValue(&line, true, error);
    out->append(u"\r\n");
    out->append(line);
  }
  return true;
}

bool CNAFileDescription::CopyFrom(const CNAFileDescription& other, INACopyContext* context,
                                  CNAError* error) {
  if (&other == this) return true;
  if (context != nullptr && context->pFindCopy(&other) == nullptr) {
    context->bRegisterCopy(&other, this);
  }
  DropItems();
  DropImages();
  // The table description and the connection: their copies in the copy
  // context when it holds them, else shared.
  CNATableDescription* description = other.m_pDescription;
  CNAConnection* connection = other.m_pConnection;
  if (context != nullptr) {
    if (void* copy = description != nullptr ? context->pFindCopy(description) : nullptr) {
      description = static_cast<CNATableDescription*>(copy);
    }
    if (void* copy = connection != nullptr ? context->pFindCopy(connection) : nullptr) {
      connection = static_cast<CNAConnection*>(copy);
    }
  }
  Hold(&m_pDescription, description);
  Hold(&m_pConnection, connection);
  m_bMatchByName = other.m_bMatchByName;
  m_astrKeyOrder = other.m_astrKeyOrder;
  m_strPrefix = other.m_strPrefix;
  m_bRepositioned = other.m_bRepositioned;
  if (other.m_pRow != nullptr) {
    CNARowBuffer* row = other.m_pRow->pclDuplicate();
    if (row == nullptr) {
      NAReportOutOfMemory(error, kSite, 15);
      return false;
    }
    Hold(&m_pRow, row);
  }
  if (other.m_pSaved != nullptr && other.m_pCurrent != nullptr) {
    CNARecordImage* saved = other.m_pSaved->pclClone(kAllParts);
    if (saved != nullptr) Hold(&m_pSaved, saved);
    CNARecordImage* current = other.m_pCurrent->pclClone(kAllParts);
    if (current != nullptr) Hold(&m_pCurrent, current);
    if (saved == nullptr || current == nullptr) {
      DropImages();
      NAReportOutOfMemory(error, kSite, 16);
      return false;
    }
  }
  for (CNAItem* item : other.m_apItems) {
    void* known = context != nullptr ? context->pFindCopy(item) : nullptr;
    CNAItem* copy = known != nullptr ? static_cast<CNAItem*>(known) : item->pclClone(context);
    if (copy == nullptr) {
      NAReportOutOfMemory(error, kSite, 17);
      return false;
    }
    AddRefBoth(copy);
    copy->SetOwner(this);
    m_apItems.push_back(copy);
  }
  auto mapped = [&](const CNAItem* item) -> CNAItem* {
    int i = other.nGetItemIndex(item);
    return i >= 0 ? m_apItems[size_t(i)] : nullptr;
  };
  // The parts of composite keys are this description's own items.
  for (size_t i = 0; i < m_apItems.size(); ++i) {
    const CNAItem* source = other.m_apItems[i];
    if (!source->bIsCompositeKey()) continue;
    m_apItems[i]->ClearParts();
    for (int n = 1; n <= source->nGetPartCount(); ++n) {
      m_apItems[i]->AddPart(mapped(source->pclGetPart(n)));
    }
  }
  m_pAutoId = other.m_pAutoId != nullptr ? mapped(other.m_pAutoId) : nullptr;
  m_pKeyItem = other.m_pKeyItem != nullptr ? mapped(other.m_pKeyItem) : nullptr;
  for (CNAItem* k : other.m_apKeys) m_apKeys.push_back(mapped(k));
  for (CNAItem* k : other.m_apLargeObjects) m_apLargeObjects.push_back(mapped(k));
  for (CNAItem* k : other.m_apUniqueComposites) m_apUniqueComposites.push_back(mapped(k));
  if (m_pCurrent == nullptr) return true;
  if (!bRebindItems(error, true)) return false;
  // Values that live in the converters themselves come from the original.
  for (size_t i = 0; i < m_apItems.size(); ++i) {
    CNAValueConverter* mine = m_apItems[i]->pclGetConverter();
    CNAValueConverter* theirs = other.m_apItems[i]->pclGetConverter();
    if (mine == nullptr || theirs == nullptr || m_apItems[i]->bIsCompositeKey() ||
        mine->nGetKind() == CNAValueConverter::kCallerBuffer) {
      continue;
    }
    mine->nCopyFrom(theirs, nullptr, 0, 0);
  }
  return true;
}

CNAFileDescription* CNAFileDescription::pclClone(INACopyContext* context, CNAError* error) const {
  auto* copy = new (std::nothrow) CNAFileDescription;
  if (copy == nullptr) {
    NAReportOutOfMemory(error, kSite, 18);
    return nullptr;
  }
  if (!copy->CopyFrom(*this, context, error)) {
    if (context != nullptr && context->pFindCopy(this) == copy) context->ForgetCopy(this);
    AddRefBoth(copy);
    ReleaseBoth(copy);
    return nullptr;
  }
  return copy;
}
