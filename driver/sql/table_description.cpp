#include "driver/sql/table_description.h"

#include <new>
#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/manager.h"
#include "driver/core/path_helpers.h"
#include "driver/core/support/text_helpers.h"
#include "driver/sql/column.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/statement.h"

namespace {

constexpr uint32_t kSite = 8;

bool SameName(const char16_t* a, const char16_t* b, bool normalised) {
  if (a == nullptr) a = u"";
  if (b == nullptr) b = u"";
  if (normalised) return nCompareTextNoCaseNoAccent(a, b) == 0;
  return std::u16string_view(a) == std::u16string_view(b);
}

// Inserts by the placement rule: 0 while entries exist goes first and the
// entries after it are renumbered 1, 2, ...; anything else appends.
void Place(std::vector<CNAColumn*>& list, CNAColumn* column, int number, bool keys) {
  if (number == 0 && !list.empty()) {
    list.insert(list.begin(), column);
    for (size_t i = 1; i < list.size(); ++i) {
      if (keys) {
        list[i]->SetKeyNumber(static_cast<int>(i));
      } else {
        list[i]->SetOrdinal(static_cast<int>(i));
      }
    }
    return;
  }
  list.push_back(column);
}

}  // namespace

CNATableDescription::CNATableDescription(CNAConnection* connection)
    : m_pConnection(NAAddRef(connection)) {
  m_apColumns.reserve(20);
  m_apKeys.reserve(10);
  m_apLargeObjects.reserve(10);
}

CNATableDescription::~CNATableDescription() {
  ReleaseBoth(m_pChosenKey);
  for (auto* list : {&m_apLargeObjects, &m_apKeys, &m_apColumns}) {
    for (auto it = list->rbegin(); it != list->rend(); ++it) ReleaseBoth(*it);
    list->clear();
  }
  m_mapNames.clear();
  ReleaseBoth(m_pConnection);
}

CNAColumn* CNATableDescription::pclColumnAt(int i) const {
  return i >= 0 && i < nGetColumnCount() ? m_apColumns[static_cast<size_t>(i)] : nullptr;
}
CNAColumn* CNATableDescription::pclKeyAt(int i) const {
  return i >= 0 && i < nGetKeyCount() ? m_apKeys[static_cast<size_t>(i)] : nullptr;
}
CNAColumn* CNATableDescription::pclLargeObjectAt(int i) const {
  return i >= 0 && i < nGetLargeObjectCount() ? m_apLargeObjects[static_cast<size_t>(i)]
                                               : nullptr;
}
CNAColumn* CNATableDescription::pclGetColumn(int i) const { return NAAddRef(pclColumnAt(i)); }
CNAColumn* CNATableDescription::pclGetIndex(int i) const { return NAAddRef(pclKeyAt(i)); }
CNAColumn* CNATableDescription::pclGetLargeObjectColumn(int i) const {
  return NAAddRef(pclLargeObjectAt(i));
}

CNAColumn* CNATableDescription::pclFindColumn(const char16_t* name, int flags) const {
  bool normalised = (flags & 1) != 0;
  if (!normalised) {
    auto it = m_mapNames.find(name != nullptr ? name : u"");
    return it != m_mapNames.end() ? it->second : nullptr;
  }
  for (CNAColumn* c : m_apColumns) {
    if (SameName(c->pszGetName(), name, normalised)) return c;
  }
  return nullptr;
}

CNAColumn* CNATableDescription::pclFindColumnOrError(const char16_t* name, CNAError* error) const {
  CNAColumn* column = pclFindColumn(name, 2);
  if (column == nullptr && error != nullptr) {
    error->SetErrorMessage(0, kSite, 2, m_pConnection, 26, m_strServerName.pszGet(),
                           name != nullptr ? name : u"");
  }
  return column;
}

void CNATableDescription::MakeUniqueName(CTString* out, const char16_t* base, int number) {
  std::u16string text = base != nullptr ? base : u"";
  std::string digits = std::to_string(number);
  text.append(digits.begin(), digits.end());
  out->Set(text.c_str());
}

bool CNATableDescription::bAppendColumn(CNAColumn* column) {
  if (column == nullptr) return false;
  if (column->pszGetName()[0] == 0) {
    CTString name;
    FormatExprName(name, m_nSlotCount);
    column->bSetName(name.pszGet());
  }
  if (pclFindColumn(column->pszGetName(), 2) != nullptr) {
    CTString base(column->pszGetName());
    CTString unique;
    for (int n = 2;; ++n) {
      MakeUniqueName(&unique, base.pszGet(), n);
      if (pclFindColumn(unique.pszGet(), 2) == nullptr) break;
    }
    column->bSetName(unique.pszGet());
  }
  AddRefBoth(column);
  m_mapNames.emplace(column->pszGetName(), column);
  if (column->nGetOrdinal() == -1) column->SetOrdinal(nGetColumnCount());
  Place(m_apColumns, column, column->nGetOrdinal(), false);
  if (column->bIsKey()) AddKey(column);
  if (column->bIsLargeObject()) m_apLargeObjects.push_back(NAAddRef(column));
  return true;
}

void CNATableDescription::AddKey(CNAColumn* key) {
  AddRefBoth(key);
  if (key->nGetKeyNumber() == -1) key->SetKeyNumber(nGetKeyCount());
  Place(m_apKeys, key, key->nGetKeyNumber(), true);
}

bool CNATableDescription::bCheckItemsHaveColumns(const CNATableDescription& other,
                                                 CNAError* error) const {
  for (CNAColumn* c : other.m_apColumns) {
    if (c->bIsComposite()) continue;
    if (pclFindColumn(c->pszGetName(), 3) == nullptr) {
      if (error != nullptr) {
        error->SetErrorMessage(0, kSite, 1, m_pConnection, 20, m_strName.pszGet(),
                               c->pszGetName());
      }
      return false;
    }
  }
  return true;
}

void CNATableDescription::ComputeOffsets() {
  m_nPlainSize = 0;
  m_nTotalSize = 0;
  m_nSlotCount = 0;
  int offset = 0;
  for (CNAColumn* c : m_apColumns) {
    c->SetRecordOffset(offset);
    c->SetSlotIndex(m_nSlotCount);
    int bytes = c->nGetSize() * c->nGetElementCount();
    offset += bytes;
    m_nSlotCount += c->nGetElementCount();
    m_nTotalSize += bytes;
    if (!c->bIsComposite()) m_nPlainSize += bytes;
  }
  m_clLayout.nDataSize = static_cast<uint32_t>(m_nTotalSize);
  m_clLayout.nNullBits = static_cast<uint32_t>(m_nSlotCount);
  m_clLayout.apColumns = m_apColumns;
}

CNAColumn* CNATableDescription::pclGetChosenKey() {
  if (m_pChosenKey != nullptr) return m_pChosenKey;
  if (m_apColumns.empty()) return nullptr;
  CNAColumn* chosen = nullptr;
  if (m_apKeys.empty()) {
    for (CNAColumn* c : m_apColumns) {
      if (!c->bIsLargeObject()) {
        chosen = c;
        break;
      }
    }
    if (chosen == nullptr) chosen = m_apColumns.front();
  } else {
    CNAColumn* candidate = nullptr;
    for (CNAColumn* k : m_apKeys) {
      if (k->bIsPrimary()) {
        candidate = k;
        break;
      }
      if (candidate == nullptr && k->bIsUnique()) {
        candidate = k;
      } else if (candidate != nullptr && k->bIdentifiesRow() && !candidate->bIdentifiesRow()) {
        candidate = k;
      }
    }
    chosen = candidate != nullptr ? candidate : m_apKeys.front();
  }
  m_pChosenKey = NAAddRef(chosen);
  return m_pChosenKey;
}

void CNATableDescription::SetChosenKey(CNAColumn* key) {
  if (key == m_pChosenKey) return;
  AddRefBoth(key);
  ReleaseBoth(m_pChosenKey);
  m_pChosenKey = key;
}

bool CNATableDescription::bDescribeFromServer(const char16_t* name, int option, CNAError* error) {
  m_strName.Set(name);
  m_strServerName.Set(name);
  m_nMode = kFromServer;
  return bLoadFromServer(option, error);
}

bool CNATableDescription::bLoadFromServer(int option, CNAError* error) {
  CTString query;
  if (!bBuildColumnQuery(&query, error)) return false;
  CNAStatement* result = pclRunQuery(query.pszGet(), error);
  bool ok = true;
  if (result != nullptr) {
    ok = bParseColumns(result, option, error);
    ReleaseBoth(result);
  } else if (error != nullptr && error->bHasError()) {
    return false;
  }
  if (m_apColumns.empty()) {
    if (error != nullptr) error->SetErrorMessage(0, kSite, 3, m_pConnection, 30, m_strName.pszGet());
    return false;
  }
  if (!ok) return false;
  CTString keys;
  if (!bBuildIndexQuery(&keys, error)) return false;
  result = pclRunQuery(keys.pszGet(), error);
  if (result == nullptr) return error == nullptr || !error->bHasError();
  ok = bParseIndexes(result, error);
  ReleaseBoth(result);
  ComputeOffsets();
  return ok;
}

bool CNATableDescription::bDescribeFromStatement(CNAStatement* statement, CNAError* error) {
  m_nMode = kFromResult;
  if (m_strName.bEstVide()) {
    std::string number = std::to_string(statement->nGetSerial());
    std::u16string text(number.begin(), number.end());
    m_strName.Set(text.c_str());
    m_strServerName.Set(text.c_str());
  }
  bool ok = bBuildColumnsFromStatement(statement, error);
  ComputeOffsets();
  return ok;
}

bool CNATableDescription::bBuildColumnsFromStatement(CNAStatement* statement, CNAError* error) {
  int keyed = 0;
  for (int i = 0; i < statement->nGetColumnCount(); ++i) {
    CNAResultColumn* r = statement->pclGetResultColumn(i, error);
    if (r == nullptr) return false;
    auto* column = CNAColumn::pclNew();
    if (column == nullptr) {
      if (error != nullptr) error->SetOutOfMemory(kSite, 4);
      return false;
    }
    CNARefPtr<CNAColumn> hold(NAAddRef(column));
    // The client library's key flags (primary 2, unique 4, multiple 8).
    uint16_t flags = 0;
    int key_number = -1;
    column->Init(r->m_strName.pszGet(),
                 r->m_strTable.bEstVide() ? m_strName.pszGet() : r->m_strTable.pszGet(),
                 r->m_strOriginalName.bEstVide() ? r->m_strName.pszGet()
                                                 : r->m_strOriginalName.pszGet(),
                 1, r->m_nSize, r->m_nColumnType, i, key_number, flags, r->m_nPrecision,
                 r->m_nScale);
    if (r->m_strTable.bEstVide() || r->m_strOriginalName.bEstVide()) {
      column->SetColumnFlags(column->nGetColumnFlags() | kNAColFlagQueryOwn);
    }
    (void)keyed;
    if (!bAppendColumn(column)) return false;
  }
  return true;
}

CNATableDescription* CNATableDescription::pclMakeEmpty() {
  return new (std::nothrow) CNATableDescription(m_pConnection);
}

CNATableDescription* CNATableDescription::pclClone(int option, CNAError* error) {
  CNATableDescription* copy = pclMakeEmpty();
  if (copy == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 5);
    return nullptr;
  }
  AddRefBoth(copy);
  copy->m_strName = m_strName;
  copy->m_strServerName = m_strServerName;
  for (int i = 0; i < 3; ++i) copy->m_astrFurther[i] = m_astrFurther[i];
  copy->m_nMode = m_nMode;
  bool ok = true;
  for (CNAColumn* c : m_apColumns) {
    CNAColumn* cloned = c->pclCloneWithoutParts(c->bIsKey() ? copy->nGetKeyCount() : -1, option);
    if (cloned == nullptr) {
      ok = false;
      break;
    }
    CNARefPtr<CNAColumn> hold(NAAddRef(cloned));
    copy->bAppendColumn(cloned);
  }
  // Composite keys are not columns: clone them with their parts looked up
  // by name in the copy.
  for (CNAColumn* k : m_apKeys) {
    if (!ok || !k->bIsComposite()) continue;
    CNAColumn* cloned = k->pclCloneWithoutParts(copy->nGetKeyCount(), option);
    if (cloned == nullptr) {
      ok = false;
      break;
    }
    CNARefPtr<CNAColumn> hold(NAAddRef(cloned));
    for (int p = 1; p <= k->nGetPartCount(); ++p) {
      CNAColumn* part = copy->pclFindColumnOrError(k->pclGetPart(p)->pszGetName(), error);
      if (part == nullptr) {
        ok = false;
        break;
      }
      cloned->AddPart(part, k->bIsPartDescending(p));
    }
    if (ok) copy->AddKey(cloned);
  }
  if (ok && m_pChosenKey != nullptr) {
    CNAColumn* key = nullptr;
    for (CNAColumn* k : copy->m_apKeys) {
      if (SameName(k->pszGetName(), m_pChosenKey->pszGetName(), false)) key = k;
    }
    if (key == nullptr) key = copy->pclFindColumnOrError(m_pChosenKey->pszGetName(), error);
    if (key == nullptr) ok = false;
    copy->SetChosenKey(key);
  }
  if (!ok) {
    if (error != nullptr && !error->bHasError()) error->SetOutOfMemory(kSite, 6);
    ReleaseBoth(copy);
    return nullptr;
  }
  copy->ComputeOffsets();
  return copy;
}

void CNATableDescription::CopyFrom(const CNATableDescription& source, INACopyContext* context) {
  if (&source == this) return;
  if (context != nullptr && context->pFindCopy(&source) == nullptr) {
    context->bRegisterCopy(&source, this);
  }
  CNAConnection* connection = source.m_pConnection;
  CNAManager* manager = NAGetManager();
  if (connection != nullptr && context != nullptr && manager != nullptr &&
      manager->bPerContextConnections()) {
    void* known = context->pFindCopy(connection);
    if (known != nullptr) {
      connection = static_cast<CNAConnection*>(known);
      AddRefBoth(connection);
    } else {
      // One reference from the copy; registered by the connection itself.
      connection = connection->pclCreate(context, 0, 0);
      if (connection == nullptr) connection = NAAddRef(source.m_pConnection);
    }
  } else {
    AddRefBoth(connection);
  }
  ReleaseBoth(m_pConnection);
  m_pConnection = connection;
  m_strName = source.m_strName;
  m_strServerName = source.m_strServerName;
  for (int i = 0; i < 3; ++i) m_astrFurther[i] = source.m_astrFurther[i];
  m_nPlainSize = source.m_nPlainSize;
  m_nTotalSize = source.m_nTotalSize;
  m_nSlotCount = source.m_nSlotCount;
  auto assign = [](std::vector<CNAColumn*>& to, const std::vector<CNAColumn*>& from) {
    for (CNAColumn* c : from) AddRefBoth(c);
    for (auto it = to.rbegin(); it != to.rend(); ++it) ReleaseBoth(*it);
    to = from;
  };
  assign(m_apColumns, source.m_apColumns);
  m_mapNames = source.m_mapNames;
  assign(m_apKeys, source.m_apKeys);
  assign(m_apLargeObjects, source.m_apLargeObjects);
  SetChosenKey(source.m_pChosenKey);
  m_nMode = source.m_nMode;
  m_clLayout = source.m_clLayout;
}

CNATableDescription* CNATableDescription::pclCreateCopy(INACopyContext* context, int /*option*/,
                                                        CNAError* error) const {
  CNATableDescription* copy = const_cast<CNATableDescription*>(this)->pclMakeEmpty();
  if (copy == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 7);
    return nullptr;
  }
  AddRefBoth(copy);
  try {
    copy->CopyFrom(*this, context);
  } catch (...) {
    if (context != nullptr && context->pFindCopy(this) == copy) context->ForgetCopy(this);
    ReleaseBoth(copy);  // with every reference the copy took
    throw;
  }
  return copy;
}

namespace {

// Key flags of a column made from a host item's source column (a key).
uint16_t KeyFlagsFromSource(uint16_t source, bool keyed) {
  uint16_t flags = 0;
  if ((source & kNAKeyPrimary) != 0 && keyed) flags |= kNAKeyPrimary;
  if ((source & (kNAKeyPrimary | kNAKeyUnique)) != 0) {
    flags |= keyed ? kNAKeyUnique : kNAKeyDuplicates;
  }
  if ((source & kNAKeyDuplicates) != 0) flags |= kNAKeyDuplicates;
  if ((source & kNAKeyComposite) != 0) flags |= kNAKeyComposite;
  flags |= (source & kNAKeyDirection400) != 0 ? kNAKeyDirection400 : kNAKeyDirection800;
  flags |= source & (kNAKeyAttr80 | kNAKeyAttr40 | kNAKeyAttr20);
  return flags;
}

void RemoveFrom(std::vector<CNAColumn*>& list, CNAColumn* column) {
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (*it == column) {
      list.erase(it);
      ReleaseBoth(column);
      return;
    }
  }
}

}  // namespace

bool CNATableDescription::bApplyFileDescription(INAFileDescription* file, CNAError* error) {
  m_nMode = kFromResult;
  if (file == nullptr) return true;
  const bool keyed = file->bIsKeyed();
  const int count = file->nGetItemCount();
  const char16_t* table = file->pszGetTableName();
  if (table == nullptr) table = m_strName.pszGet();
  // Each item updates the column of its name (its name on the server,
  // else its own; case ignored), whatever its place among the items. An
  // item of a query whose name no column has takes the column at its place
  // when no item names that one; any other item adds a column.
  const int existing = nGetColumnCount();
  std::vector<int> target(static_cast<size_t>(count > 0 ? count : 0), -1);
  std::vector<uint8_t> claimed(static_cast<size_t>(existing), 0);
  for (int i = 0; i < count; ++i) {
    NAHostItem item;
    if (!file->bGetItem(i, &item)) continue;
    for (const char16_t* name : {item.pszSqlName, item.pszName}) {
      if (name == nullptr || name[0] == 0 || target[static_cast<size_t>(i)] >= 0) continue;
      for (int c = 0; c < existing; ++c) {
        CNAColumn* column = m_apColumns[static_cast<size_t>(c)];
        if (claimed[static_cast<size_t>(c)] == 0 && !column->bIsComposite() &&
            SameName(column->pszGetName(), name, true)) {
          target[static_cast<size_t>(i)] = c;
          claimed[static_cast<size_t>(c)] = 1;
          break;
        }
      }
    }
  }
  const bool query = file->pGetQuery() != nullptr;
  if (query) {
    for (int i = 0; i < count && i < existing; ++i) {
      if (target[static_cast<size_t>(i)] < 0 && claimed[static_cast<size_t>(i)] == 0) {
        target[static_cast<size_t>(i)] = i;
        claimed[static_cast<size_t>(i)] = 1;
      }
    }
  }
  for (int i = 0; i < count; ++i) {
    NAHostItem item;
    if (!file->bGetItem(i, &item)) continue;
    const char16_t* sql_name = item.pszSqlName != nullptr ? item.pszSqlName : item.pszName;
    if (item.bHasSource && (item.nKeyFlags & kNAKeyComposite) != 0) continue;
    uint16_t key_flags = item.bHasSource && item.nKeyFlags >= kNAKeyComposite
                             ? KeyFlagsFromSource(item.nKeyFlags, keyed)
                             : 0;
    int type = item.bHasSource ? item.nColumnType : nItemTypeToColumnType(item.nItemType);
    const int at = target[static_cast<size_t>(i)];
    if (at >= 0) {
      CNAColumn* column = m_apColumns[static_cast<size_t>(at)];
      bool was_key = column->bIsKey();
      bool was_large = column->bIsLargeObject();
      // A query's result column keeps what its values need: a binary memo
      // read into a text item becomes a memo text of the item's kind, and
      // an item of the column's own type too small for its values takes
      // the column's definition.
      bool keep_size = false;
      if (query && column->nGetType() == kNAColBlob) {
        if (type == kNAColVarChar || type == kNAColText) {
          type = kNAColText;
          keep_size = true;
        } else if (type == kNAColNVarChar || type == kNAColNText) {
          type = kNAColNText;
          keep_size = true;
        }
      } else if (query && type == column->nGetType() && item.nSize < column->nGetSize()) {
        keep_size = true;
      }
      column->bSetType(type);
      if (!keep_size) column->SetSize(item.nSize);
      if (item.bHasSource) {
        column->SetPrecision(item.nPrecision);
        column->SetScale(item.nScale);
        column->SetKey(key_flags != 0 ? column->nGetKeyNumber() : -1, key_flags);
      }
      if (column->bIsKey() != was_key) {
        if (was_key) {
          RemoveFrom(m_apKeys, column);
        } else {
          m_apKeys.push_back(NAAddRef(column));
        }
        for (size_t k = 0; k < m_apKeys.size(); ++k) {
          m_apKeys[k]->SetKeyNumber(static_cast<int>(k));
        }
      }
      if (column->bIsLargeObject() != was_large) {
        if (was_large) {
          RemoveFrom(m_apLargeObjects, column);
        } else {
          m_apLargeObjects.push_back(NAAddRef(column));
        }
      }
      column->SetSQLName(sql_name);
    } else {
      auto* column = CNAColumn::pclNew();
      if (column == nullptr) {
        if (error != nullptr) error->SetOutOfMemory(kSite, 9);
        return false;
      }
      CNARefPtr<CNAColumn> hold(NAAddRef(column));
      column->Init(item.pszName, table, sql_name, 1, item.nSize, type, nGetColumnCount(),
                   key_flags != 0 ? nGetKeyCount() : -1, key_flags,
                   item.bHasSource ? item.nPrecision : 0, item.bHasSource ? item.nScale : 0);
      column->SetSQLName(sql_name);
      if (!bAppendColumn(column)) {
        if (error != nullptr) error->SetOutOfMemory(kSite, 9);
        return false;
      }
      target[static_cast<size_t>(i)] = nGetColumnCount() - 1;
    }
    if (item.bReadOnly) {
      CNAColumn* column = m_apColumns[static_cast<size_t>(target[static_cast<size_t>(i)])];
      column->SetColumnFlags(column->nGetColumnFlags() | kNAColFlagReadOnly);
    }
  }
  bool first = true;
  for (int k = 0; k < file->nGetKeyCount(); ++k) {
    int32_t position = -1;
    bool descending = false;
    // A key names its item by the item's place.
    if (!file->bGetKey(k, &position, &descending) || position < 0 || position >= count ||
        target[static_cast<size_t>(position)] < 0) {
      continue;
    }
    CNAColumn* column = m_apColumns[static_cast<size_t>(target[static_cast<size_t>(position)])];
    if (first) {
      SetChosenKey(column);
      first = false;
    }
    column->SetDirection(descending);
  }
  ComputeOffsets();
  return true;
}
