#include "driver/sql/item_filter.h"

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "support/ctstring.h"

namespace {

bool bQuote(CNAConnection* connection, const char16_t* name, std::u16string* out,
            CNAError* error) {
  if (connection == nullptr) {
    *out = name;
    return true;
  }
  CTString quoted;
  if (!connection->bQuoteName(error, name, &quoted)) return false;
  *out = quoted.pszGet() != nullptr ? quoted.pszGet() : u"";
  return true;
}

}  // namespace

bool bDescribeFilterItem(CNAItem& item, CNAConnection* connection, const char16_t* qualifier,
                         NAFilterColumn* out, CNAError* error) {
  const CNAColumn* column = item.pclGetColumn();
  if (column == nullptr) return false;
  const char16_t* name = item.pszGetSqlName();
  if (name == nullptr || *name == 0) name = item.pszGetName();
  if (name == nullptr || *name == 0) name = column->pszGetName();
  if (name == nullptr || *name == 0) return false;
  std::u16string sql;
  if (qualifier != nullptr && *qualifier != 0) {
    if (!bQuote(connection, qualifier, &sql, error)) return false;
    sql += u'.';
  }
  std::u16string quoted;
  if (!bQuote(connection, name, &quoted, error)) return false;
  out->pItem = &item;
  out->strSql = sql + quoted;
  out->nColumnType = column->nGetType();
  out->nVeliscType = column->nGetValueClass();
  out->bNullable = column->bIsNullable();
  out->nTimeTextSize = column->nGetSize();
  return true;
}

CNAFilter* pclNewItemLeaf(int op, CNAItem& item, CNAConnection* connection, const CAny& value,
                          unsigned flags, const char16_t* qualifier, CNAError* error) {
  NAFilterColumn column;
  if (!bDescribeFilterItem(item, connection, qualifier, &column, error)) return nullptr;
  CNAFilter* leaf = CNAFilter::pclNewLeaf(op, column, value, flags);
  if (leaf == nullptr) NASetErrorMessage(error, 0, 14, 1, nullptr, 12);
  return leaf;
}

CNAFileKeyTable::CNAFileKeyTable(CNAFileDescription* description, CNAConnection* connection,
                                 const char16_t* qualifier)
    : m_pDescription(NAAddRef(description)),
      m_pConnection(NAAddRef(connection != nullptr || description == nullptr
                                 ? connection
                                 : description->pclGetConnection())),
      m_strQualifier(qualifier != nullptr ? qualifier : u"") {}

CNAFileKeyTable::~CNAFileKeyTable() {
  NARelease(m_pConnection);
  NARelease(m_pDescription);
}

CNAItem* CNAFileKeyTable::pclItemOf(const CNAColumn& column) const {
  if (m_pDescription == nullptr) return nullptr;
  for (int i = 0; i < m_pDescription->nGetItemCount(); ++i) {
    CNAItem* item = m_pDescription->pclGetItem(i);
    if (item != nullptr && item->pclGetColumn() == &column) return item;
  }
  return m_pDescription->pclFindItemForColumn(&column);
}

bool CNAFileKeyTable::bDescribe(const CNAColumn& column, NAFilterColumn* out) {
  CNAItem* item = pclItemOf(column);
  if (item == nullptr) return false;
  CNAError scratch;  // a name that cannot be quoted leaves the column out
  return bDescribeFilterItem(*item, m_pConnection,
                             m_strQualifier.empty() ? nullptr : m_strQualifier.c_str(), out,
                             &scratch);
}

bool CNAFileKeyTable::bReadCurrentValue(const CNAColumn& column, CAny* out, CNAError* error) {
  CNAItem* item = pclItemOf(column);
  if (item == nullptr) {
    out->SetNull(true);
    return true;
  }
  return item->bReadValue(*out, 0, error);
}

bool CNAFileKeyTable::bHasValue(const CNAColumn& column) {
  CNAItem* item = pclItemOf(column);
  return item != nullptr && item->bHasValue();
}

const CNAColumn* CNAFileKeyTable::pclGetIdentifyingKey(CNAError* error) {
  if (m_pDescription == nullptr) return nullptr;
  CNAItem* item = m_pDescription->pclGetIdentifyingKey(error);
  return item != nullptr ? item->pclGetColumn() : nullptr;
}

std::vector<const CNAColumn*> CNAFileKeyTable::KeyOrder() {
  std::vector<const CNAColumn*> out;
  if (m_pDescription == nullptr) return out;
  for (CNAItem* item : m_pDescription->GetKeys()) {
    if (item != nullptr && item->pclGetColumn() != nullptr) out.push_back(item->pclGetColumn());
  }
  return out;
}

bool CNAFileKeyTable::bPrefixIsUnique(const CNAColumn* const* parts, int count) {
  if (m_pDescription == nullptr || parts == nullptr || count <= 0) return false;
  std::vector<CNAItem*> items;
  for (int i = 0; i < count; ++i) {
    CNAItem* item = parts[i] != nullptr ? pclItemOf(*parts[i]) : nullptr;
    if (item == nullptr) return false;
    items.push_back(item);
  }
  return m_pDescription->bPrefixIsUnique(items.data(), count);
}

uint32_t CNAFileKeyTable::nGetCodePage() {
  if (m_pConnection != nullptr && m_pConnection->m_nConnectionCodePage > 0) {
    return static_cast<uint32_t>(m_pConnection->m_nConnectionCodePage);
  }
  return 1252;
}
