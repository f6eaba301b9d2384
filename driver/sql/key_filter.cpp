#include "driver/sql/key_filter.h"

#include <new>

#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/sql/column.h"
#include "driver/sql/item_filter.h"
#include "driver/sql/key_part.h"
#include "driver/sql/sql_generator.h"

namespace {

// Component number of filters in internal errors; message: not enough memory.
constexpr uint32_t kSite = 14;
constexpr uint32_t kMessageNoMemory = 12;

bool bIsTextOrDatePart(const NAKeyConditionPart& p) {
  return bIsTextOrDateType(p.column.nVeliscType) || p.column.nVeliscType == qg::kAnyDATETIME ||
         p.column.nColumnType == 2 || p.column.nColumnType == 15 ||
         p.column.nColumnType == 26 || p.column.nColumnType == 29 ||
         p.column.nColumnType == 30;
}

// Two parts name the same column: by item when the table gives items,
// else by the written name.
bool bSameColumn(const NAFilterColumn& a, const NAFilterColumn& b) {
  if (a.pItem != nullptr || b.pItem != nullptr) return a.pItem == b.pItem;
  return a.strSql == b.strSql;
}

bool bHasPart(const std::vector<NAKeyConditionPart>& parts, const NAFilterColumn& c) {
  for (const NAKeyConditionPart& p : parts) {
    if (bSameColumn(p.column, c)) return true;
  }
  return false;
}

std::vector<const CNAColumn*> ColumnsOf(const CNAColumn& key) {
  std::vector<const CNAColumn*> out;
  if (key.bIsComposite()) {
    for (int i = 1; i <= key.nGetPartCount(); ++i) {
      if (key.pclGetPart(i) != nullptr) out.push_back(key.pclGetPart(i));
    }
  } else {
    out.push_back(&key);
  }
  return out;
}

}  // namespace

bool CNAKeyTable::bIsDescending(const CNAColumn& column) { return column.bHas400(); }

bool CNAKeyFilter::bPartDescending(const CNAColumn& key, int n) {
  // A composite key holds each part's direction in that index; a plain
  // key's direction is the table's word on the column.
  return key.bIsComposite() ? key.bIsPartDescending(n) : m_pTable->bIsDescending(key);
}

CNAKeyFilter::CNAKeyFilter(CNAKeyTable* table) { SetTable(table); }

CNAKeyFilter::~CNAKeyFilter() {
  Reset();
  for (CNAFilter* f : m_apExtra) NARelease(f);
  NARelease(const_cast<CNAColumn*>(m_pKey));
  NARelease(m_pTable);
}

void CNAKeyFilter::Put(CNAFilter** slot, CNAFilter* adopted) {
  NARelease(*slot);
  *slot = adopted;
}

void CNAKeyFilter::SetTable(CNAKeyTable* table) {
  if (table == m_pTable) return;
  AddRefBoth(table);
  NARelease(m_pTable);
  m_pTable = table;
}

void CNAKeyFilter::SetKey(const CNAColumn* key) {
  if (key == m_pKey) return;
  AddRefBoth(const_cast<CNAColumn*>(key));
  NARelease(const_cast<CNAColumn*>(m_pKey));
  m_pKey = key;
}

void CNAKeyFilter::SetActiveTree(CNAFilter* tree) { Put(&m_pActive, NAAddRef(tree)); }

void CNAKeyFilter::Reset() {
  Put(&m_pEquality, nullptr);
  Put(&m_pForward, nullptr);
  Put(&m_pBackward, nullptr);
  Put(&m_pActive, nullptr);
  m_nState = kStateNone;
}

void CNAKeyFilter::AddExtraFilter(CNAFilter* filter) {
  if (filter != nullptr) m_apExtra.push_back(NAAddRef(filter));
}

bool CNAKeyFilter::bMarkNodes() const {
  return (m_nMode & kModeRecord) == 0 && m_pKey != nullptr && m_pKey->bIsComposite();
}

CNAFilter* CNAKeyFilter::pclNewNode() const {
  CNAFilter* node = new (std::nothrow) CNAFilter;
  AddRefBoth(node);
  return node;
}

bool CNAKeyFilter::bMustSwitch(int direction) const {
  if (m_nState == kStateEquality) return true;
  if (m_nState == kStateDirection) return (direction != 0) != (m_nDirection != 0);
  return false;
}

bool CNAKeyFilter::bSwitchCondition(int direction) {
  if (m_nState == kStateEquality) {
    SetActiveTree(direction != 0 ? m_pBackward : m_pForward);
    m_nState = kStateDirection;
  } else if (m_nState == kStateDirection) {
    SetActiveTree(m_pEquality);
    m_nState = kStateEquality;
  }
  m_nDirection = direction;
  return true;
}

bool CNAKeyFilter::bAddRecordPart(const CNAColumn& column, std::vector<NAKeyConditionPart>* parts,
                                  CNAError* error) {
  NAKeyConditionPart part;
  if (!m_pTable->bDescribe(column, &part.column)) return true;
  if (bHasPart(*parts, part.column)) return true;
  if (!m_pTable->bReadCurrentValue(column, &part.value, error)) return false;
  part.bDescending = m_pTable->bIsDescending(column);
  parts->push_back(std::move(part));
  return true;
}

bool CNAKeyFilter::bCollectParts(const CNAColumn& key, const uint8_t* bytes, size_t size,
                                 std::vector<NAKeyConditionPart>* parts, bool* low, bool* high,
                                 bool* usable, CNAError* error) {
  parts->clear();
  *low = false;
  *high = false;
  *usable = false;
  if ((m_nMode & kModeCurrent) != 0) {
    int n = 0;
    for (const CNAColumn* c : ColumnsOf(key)) {
      ++n;
      NAKeyConditionPart part;
      if (!m_pTable->bDescribe(*c, &part.column)) return true;  // no item: no condition
      if (!m_pTable->bReadCurrentValue(*c, &part.value, error)) return false;
      part.bDescending = bPartDescending(key, n);
      parts->push_back(std::move(part));
    }
  } else {
    NAKeyValueParts decoded;
    if (!bDecodeKeyParts(key, bytes, size, &decoded)) return true;
    for (const NAKeyValuePart& k : decoded.parts) {
      NAKeyConditionPart part;
      if (!m_pTable->bDescribe(*k.pColumn, &part.column)) return true;
      bool high_prefix = false;
      if (!bReadKeyPartValue(k, bytes, m_pTable->nGetCodePage(), &part.value, &high_prefix)) {
        return true;
      }
      part.bPrefix = high_prefix;
      part.bDescending = bPartDescending(key, k.nPart);
      parts->push_back(std::move(part));
    }
    *low = decoded.bLow;
    *high = decoded.bHigh;
    if (decoded.bLow || decoded.bHigh || (!decoded.parts.empty() && decoded.parts.back().bPartial)) {
      m_nMode |= kModePartial;
    }
  }
  if (parts->empty()) return true;
  if ((m_nMode & kModePrefix) != 0 && bIsTextOrDatePart(parts->back())) {
    parts->back().bPrefix = true;
  }
  *usable = true;
  return true;
}

bool CNAKeyFilter::bBuild(CNAKeyTable* table, const CNAColumn* key, const uint8_t* value,
                          size_t size, unsigned mode, CNAError* error) {
  Reset();
  SetTable(table);
  SetKey(key);
  m_abyValue.assign(value, value != nullptr ? value + size : value);
  m_nMode = mode;
  m_nState = kStateEquality;
  m_bChanged = false;
  if (m_pTable == nullptr || key == nullptr) {
    m_nState = kStateNone;
    return true;
  }
  const unsigned flags = bMarkNodes() ? kNodeMarker : 0;
  const bool record = (mode & kModeRecord) != 0;
  // A unique key identifies a record only through values: a key part
  // without one (a NULL, of which a unique key may hold several) does not.
  bool unique = key->bIsUnique();
  if (unique && record) {
    for (const CNAColumn* c : ColumnsOf(*key)) unique = unique && m_pTable->bHasValue(*c);
  }

  // The equality: with the record mode a key that is not unique gives way
  // to the key that identifies the current record.
  const CNAColumn* equality_key = key;
  if (record && !unique) {
    const CNAColumn* id = m_pTable->pclGetIdentifyingKey(error);
    if (id != nullptr) equality_key = id;
  }
  std::vector<NAKeyConditionPart> parts;
  bool low = false;
  bool high = false;
  bool usable = false;
  if (!bCollectParts(*equality_key, Value(), m_abyValue.size(), &parts, &low, &high, &usable, error)) return false;
  if (!usable) {
    m_nState = kStateNone;
    return true;
  }
  CNAFilter* equality = pclBuildKeyEquality(parts, flags);
  if (equality == nullptr) {
    NASetErrorMessage(error, 0, kSite, 1, nullptr, kMessageNoMemory);
    return false;
  }
  Put(&m_pEquality, equality);

  if ((mode & kModeEqualityOnly) == 0) {
    std::vector<NAKeyConditionPart> direction_parts;
    if (equality_key != key || key->bIsComposite()) {
      if (!bCollectParts(*key, Value(), m_abyValue.size(), &direction_parts, &low, &high, &usable, error)) return false;
      if (!usable) direction_parts.clear();
    } else {
      direction_parts = parts;
    }
    if (record && !unique && !direction_parts.empty()) {
      // The identifying keys follow, up to the key that identifies the
      // record, so that equal key values are ordered record by record.
      for (NAKeyConditionPart& p : direction_parts) p.bPrefix = false;
      std::vector<NAFilterColumn> id_columns;
      if (const CNAColumn* id = m_pTable->pclGetIdentifyingKey(error)) {
        for (const CNAColumn* c : ColumnsOf(*id)) {
          NAFilterColumn fc;
          if (m_pTable->bDescribe(*c, &fc)) id_columns.push_back(fc);
        }
      }
      auto identified = [&]() {
        if (id_columns.empty()) return false;
        for (const NAFilterColumn& c : id_columns) {
          if (!bHasPart(direction_parts, c)) return false;
        }
        return true;
      };
      for (const CNAColumn* c : m_pTable->KeyOrder()) {
        if (identified()) break;
        if (!bAddRecordPart(*c, &direction_parts, error)) return false;
      }
    }
    if (!direction_parts.empty()) {
      // A last text part that stands for every text beginning with its
      // value reads before it with "<=" and after it with ">".
      const bool high_prefix = direction_parts.back().bPrefix &&
                               (mode & kModePrefix) == 0;
      CNAFilter* forward = pclBuildKeyDirection(direction_parts, kNAFilterGreater, low, high, flags);
      CNAFilter* backward = pclBuildKeyDirection(
          direction_parts, high_prefix ? kNAFilterLessEqual : kNAFilterLess, low, high, flags);
      Put(&m_pForward, forward);
      Put(&m_pBackward, backward);
      if (forward == nullptr || backward == nullptr) {
        NASetErrorMessage(error, 0, kSite, 1, nullptr, kMessageNoMemory);
        return false;
      }
    }
  }
  SetActiveTree(m_pEquality);
  return true;
}

bool CNAKeyFilter::bSetKeyValue(CNAKeyTable* table, const CNAColumn* key, const uint8_t* value,
                                size_t size, bool exact, CNAError* error) {
  return bBuild(table, key, value, size, exact ? 0u : kModePrefix, error);
}

CNAKeyTable* CNAKeyFilter::pclTableFor(CNAFileDescription* description, CNAError* error) {
  auto* current = dynamic_cast<CNAFileKeyTable*>(m_pTable);
  if (current != nullptr && current->pclGetDescription() == description) return current;
  CNAFileKeyTable* table = new (std::nothrow) CNAFileKeyTable(description);
  if (table == nullptr) {
    NASetErrorMessage(error, 0, kSite, 1, nullptr, kMessageNoMemory);
    return nullptr;
  }
  AddRefBoth(table);
  SetTable(table);
  NARelease(table);
  return m_pTable;
}

bool CNAKeyFilter::bSetKeyValue(CNAFileDescription* description, const CNAColumn* key,
                                const uint8_t* value, size_t size, bool exact, CNAError* error) {
  CNAKeyTable* table = pclTableFor(description, error);
  return table != nullptr && bSetKeyValue(table, key, value, size, exact, error);
}

bool CNAKeyFilter::bSetKeyOfRecord(CNAFileDescription* description, const CNAColumn* key,
                                   bool exact, CNAError* error) {
  CNAKeyTable* table = pclTableFor(description, error);
  return table != nullptr && bSetKeyOfRecord(table, key, exact, error);
}

bool CNAKeyFilter::bSetKeyOfRecord(CNAKeyTable* table, const CNAColumn* key, bool exact,
                                   CNAError* error) {
  return bBuild(table, key, nullptr, 0,
                exact ? kModeRecord | kModeCurrent | kModeEqualityOnly
                      : kModeRecord | kModeCurrent,
                error);
}

bool CNAKeyFilter::bRefresh(CNAError* error) {
  if (!m_bChanged) return true;
  m_bChanged = false;
  // Only conditions read from the current record can have gone stale.
  if ((m_nMode & kModeCurrent) == 0 || m_pTable == nullptr || m_pKey == nullptr) return true;
  const int state = m_nState;
  const int direction = m_nDirection;
  CNARefPtr<CNAKeyTable> table(NAAddRef(m_pTable));
  CNARefPtr<CNAColumn> key(NAAddRef(const_cast<CNAColumn*>(m_pKey)));
  if (!bBuild(table.Get(), key.Get(), nullptr, 0, m_nMode & ~kModePartial, error)) return false;
  if (state == kStateDirection && m_nState == kStateEquality) bSwitchCondition(direction);
  m_nDirection = direction;
  return true;
}

bool CNAKeyFilter::bApply(CNASQLGenerator& generator, const CNAFilterRef* filter,
                          const NAFilterWriteOptions& options, CNAError* error) {
  generator.Reset(false);
  generator.SetNameList(nullptr);
  if (!bRefresh(error)) return false;
  CNAFilter* active = m_nState != kStateNone ? m_pActive : nullptr;
  CNAFilter* other = filter != nullptr && filter->bIsActive() ? filter->pclGet() : nullptr;
  if (active == nullptr && other == nullptr) return true;
  CNARefPtr<CNAFilter> combined(
      active != nullptr && other != nullptr
          ? CNAFilter::pclNewBinary(kNAFilterAnd, active, other, bMarkNodes() ? kNodeMarker : 0)
          : NAAddRef(active != nullptr ? active : other));
  // Writing folds nodes in place: a fresh copy keeps the trees as built.
  CNARefPtr<CNAFilter> tree(combined ? combined->pclRebuild() : nullptr);
  if (!tree) {
    NASetErrorMessage(error, 0, kSite, 1, nullptr, kMessageNoMemory);
    return false;
  }
  bool folded = false;
  if (!tree->bWrite(generator, 0, options, &folded, error)) return false;
  generator.SetNameList(tree->pclGetNullList());
  return true;
}

void CNAKeyFilter::CopyFrom(const CNAKeyFilter& other, INACopyContext* context) {
  if (&other == this) return;
  CNAKeyTable* table = other.m_pTable;
  CNARefPtr<CNAKeyTable> made;
  if (context != nullptr && table != nullptr) {
    if (void* copy = context->pFindCopy(table)) {
      table = static_cast<CNAKeyTable*>(copy);
    } else if (auto* file = dynamic_cast<CNAFileKeyTable*>(table)) {
      // The copy reads the copied description (and its connection), never
      // the source's current record.
      if (void* description = context->pFindCopy(file->pclGetDescription())) {
        CNAConnection* connection = file->pclGetConnection();
        if (void* copied = connection != nullptr ? context->pFindCopy(connection) : nullptr) {
          connection = static_cast<CNAConnection*>(copied);
        }
        made.Attach(NAAddRef(new (std::nothrow) CNAFileKeyTable(
            static_cast<CNAFileDescription*>(description), connection,
            file->GetQualifier().empty() ? nullptr : file->GetQualifier().c_str())));
        if (made) {
          context->bRegisterCopy(file, made.Get());
          table = made.Get();
        }
      }
    }
  }
  SetTable(table);
  SetKey(other.m_pKey);
  m_nState = other.m_nState;
  m_nDirection = other.m_nDirection;
  m_bChanged = other.m_bChanged;
  m_nMode = other.m_nMode;
  m_abyValue = other.m_abyValue;
  auto clone = [](CNAFilter* f) { return f != nullptr ? f->pclClone() : nullptr; };
  Put(&m_pEquality, clone(other.m_pEquality));
  Put(&m_pForward, clone(other.m_pForward));
  Put(&m_pBackward, clone(other.m_pBackward));
  CNAFilter* active = nullptr;
  if (other.m_pActive == other.m_pEquality) active = m_pEquality;
  else if (other.m_pActive == other.m_pForward) active = m_pForward;
  else if (other.m_pActive == other.m_pBackward) active = m_pBackward;
  SetActiveTree(active);
  for (CNAFilter* f : m_apExtra) NARelease(f);
  m_apExtra.clear();
  for (CNAFilter* f : other.m_apExtra) m_apExtra.push_back(NAAddRef(f));
}

CNAKeyFilter* CNAKeyFilter::pclNew() const {
  CNAKeyFilter* f = new (std::nothrow) CNAKeyFilter(m_pTable);
  AddRefBoth(f);
  return f;
}

CNAKeyFilter* CNAKeyFilter::pclClone(INACopyContext* context) const {
  CNAKeyFilter* f = pclNew();
  if (f != nullptr) {
    if (context != nullptr) context->bRegisterCopy(this, f);
    f->CopyFrom(*this, context);
  }
  return f;
}

CNAKeyFilter* CNAKeyFilter::pclCopyShared(INACopyContext* context) const {
  return pclClone(context);
}
