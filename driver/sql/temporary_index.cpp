#include "driver/sql/temporary_index.h"

#include <new>

#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/value_bridge.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/index_array.h"
#include "driver/sql/index_tree.h"
#include "driver/sql/item.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/value.h"

CNATemporaryIndex::CNATemporaryIndex(CNATableAccess* access, CNARecordCacheBase* record_set,
                                     CNAItem* item)
    : m_pRecordSet(NAAddRef(record_set)), m_pItem(NAAddRef(item)), m_pAccess(access) {}

CNATemporaryIndex::CNATemporaryIndex() = default;

CNATemporaryIndex::~CNATemporaryIndex() {
  m_pIndex.reset();
  ReleaseBoth(m_pScratch);
  ReleaseBoth(m_pRecordSet);
  ReleaseBoth(m_pItem);
}

bool CNATemporaryIndex::bValuesInList() const {
  return m_pItem != nullptr && m_pItem->bIsLargeObject();
}

bool CNATemporaryIndex::bBuild(CNAError* error) {
  m_pIndex.reset();
  m_bRebuild = false;
  if (m_pRecordSet == nullptr || m_pItem == nullptr) return false;
  CNAIndex* index = nullptr;
  if (bValuesInList()) {
    index = new (std::nothrow) CNAIndexArray(this, nullptr);
  } else {
    index = new (std::nothrow) CNAIndexTree(this, nullptr);
  }
  if (index == nullptr) {
    if (error != nullptr) error->pclGetXError()->SetOutOfMemoryError();
    return false;
  }
  m_pIndex.reset(index);
  if (!m_pIndex->bBuild(error)) {
    m_pIndex.reset();
    return false;
  }
  return true;
}

bool CNATemporaryIndex::bFresh(CNAError* error) {
  if (!m_bRebuild) return m_pIndex != nullptr;
  return bBuild(error);
}

bool CNATemporaryIndex::bPosition(int kind, int count, int* entry, CNAError* error) {
  *entry = -1;
  if (!bFresh(error)) return false;
  return m_pIndex->bPosition(kind, count, entry, nullptr, error);
}

int CNATemporaryIndex::nGetCurrentRecord() {
  return m_pIndex != nullptr ? m_pIndex->nGetCurrentRecord() : -1;
}

int CNATemporaryIndex::nGetCount() { return m_pIndex != nullptr ? m_pIndex->nGetCount() : 0; }

int CNATemporaryIndex::nGetPosition() {
  return m_pIndex != nullptr ? m_pIndex->nGetPosition() : 0;
}

bool CNATemporaryIndex::bSeek(int entry, int count, bool* found, CNAError* error) {
  if (found != nullptr) *found = false;
  if (m_pIndex == nullptr || !bFresh(error)) return false;
  return m_pIndex->bSeek(entry, count, found, error);
}

bool CNATemporaryIndex::bReadImageValue(CNARecordImage* image, CAny* value) {
  if (image == nullptr || m_pItem == nullptr) return false;
  if (bValuesInList()) {
    CNARecordValues* values = image->pclGetValues();
    int n = m_pItem->nGetIndexInOwner();
    CNAValue* stored = values != nullptr && n >= 0 ? values->pclGet(n) : nullptr;
    return stored != nullptr && stored->bGetValue(*value);
  }
  CNARowBuffer* row = image->pclGetRowBuffer();
  int column = m_pItem->nGetRowColumn();
  return row != nullptr && column >= 0 && row->bGetValue(*value, column, 0);
}

void CNATemporaryIndex::UpdateForRecordChange(int kind, int entry, CNAError* error) {
  if (kind != 2 && kind != 3 && kind != 4) return;
  if (m_pIndex == nullptr || m_pItem == nullptr || m_pRecordSet == nullptr) return;
  CAny old_value;
  CAny new_value;
  if (kind == 2 || kind == 4) {
    // The record set still holds the record as it was before the write
    // (the current record already holds the new values).
    if (!bReadEntryValue(entry, &old_value)) {
      m_bRebuild = true;
      return;
    }
  }
  if (kind == 2 || kind == 3) {
    if (!m_pItem->bReadValue(new_value, 0, error)) {
      m_bRebuild = true;
      return;
    }
  }
  if (kind == 2) {
    int32_t equal = 0;
    if (nNAEqual(old_value, new_value, &equal) == 0 && equal != 0) return;
    m_pIndex->bRemoveRecord(entry, &old_value);
    // The entry takes the written record, so that the index reads the new
    // key from it from now on.
    CNAFileDescription* owner = m_pItem->pclGetOwner();
    CNARecordImage* current = owner != nullptr ? owner->pclGetCurrentImage() : nullptr;
    if (current != nullptr) m_pRecordSet->ReplaceRecord(entry, current);
    if (!m_pIndex->bAddRecord(entry, &new_value, error)) m_bRebuild = true;
  } else if (kind == 4) {
    m_pIndex->bRemoveRecord(entry, &old_value);
  } else {
    if (!m_pIndex->bAddRecord(entry, &new_value, error)) m_bRebuild = true;
  }
}

bool CNATemporaryIndex::CopyFrom(CNATemporaryIndex* source, INACopyContext* context) {
  if (context != nullptr && context->pFindCopy(source) == nullptr) {
    context->bRegisterCopy(source, this);
  }
  auto copy_of = [&](void* object) -> void* {
    return context != nullptr && object != nullptr ? context->pFindCopy(object) : nullptr;
  };
  // The copy of the table access object that holds this index sets itself
  // with SetAccess when the context does not know it yet.
  m_pAccess = static_cast<CNATableAccess*>(copy_of(source->m_pAccess));
  CNAItem* item = static_cast<CNAItem*>(copy_of(source->m_pItem));
  if (item == nullptr && source->m_pItem != nullptr) item = source->m_pItem->pclClone(context);
  CNARecordCacheBase* set = static_cast<CNARecordCacheBase*>(copy_of(source->m_pRecordSet));
  if (set == nullptr && source->m_pRecordSet != nullptr) {
    set = source->m_pRecordSet->pclClone(nullptr);
  }
  ReleaseBoth(m_pItem);
  m_pItem = NAAddRef(item);
  ReleaseBoth(m_pRecordSet);
  m_pRecordSet = NAAddRef(set);
  if (source->m_pIndex != nullptr) {
    CNAError local;
    return bBuild(&local);
  }
  return true;
}

// ---- CNAIndexSource

int CNATemporaryIndex::nGetEntryCount() {
  return m_pRecordSet != nullptr ? m_pRecordSet->nGetCount() : 0;
}

uint32_t CNATemporaryIndex::nGetEntryState(int entry) {
  return m_pRecordSet != nullptr ? m_pRecordSet->nGetEntryState(entry) : kNAEntryRemoved;
}

bool CNATemporaryIndex::bReadEntryValue(int entry, CAny* value) {
  if (m_pRecordSet == nullptr) return false;
  if (m_pScratch == nullptr) {
    m_pScratch = new (std::nothrow) CNARecordImage();
    if (m_pScratch == nullptr) return false;
    AddRefBoth(m_pScratch);
  }
  return m_pRecordSet->bReadRecord(m_pScratch, entry, nullptr) &&
         bReadImageValue(m_pScratch, value);
}

bool CNATemporaryIndex::bReadCurrentValue(CAny* value) {
  return m_pItem != nullptr && m_pItem->bReadValue(*value, 0, nullptr);
}

bool CNATemporaryIndex::bSameRecord(int entry) {
  if (m_pRecordSet == nullptr || m_pItem == nullptr) return false;
  CNAFileDescription* owner = m_pItem->pclGetOwner();
  CNARecordImage* current = owner != nullptr ? owner->pclGetCurrentImage() : nullptr;
  return current != nullptr && m_pRecordSet->bSameRecord(entry, *current);
}

void CNATemporaryIndex::GetKeyType(int* type, size_t* length, int* digits, int* scale) {
  CNAColumn* column = m_pItem != nullptr ? m_pItem->pclGetColumn() : nullptr;
  if (column == nullptr) {
    *type = 0;
    *length = 0;
    *digits = 0;
    *scale = 0;
    return;
  }
  *type = nHostTypeToValueClass(column->nGetType());
  *length = static_cast<size_t>(column->nGetSize());
  *digits = column->nGetPrecision();
  *scale = column->nGetScale();
}
