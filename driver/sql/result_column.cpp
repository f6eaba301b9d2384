#include "driver/sql/result_column.h"

#include <new>

void CNAResultColumn::CopyFrom(const CNAResultColumn& other) {
  if (&other == this) return;
  m_strName = other.m_strName;
  m_strTable = other.m_strTable;
  m_strOriginalName = other.m_strOriginalName;
  m_strDatabase = other.m_strDatabase;
  m_nLength = other.m_nLength;
  m_nSize = other.m_nSize;
  m_nPrecision = other.m_nPrecision;
  m_nScale = other.m_nScale;
  m_nServerType = other.m_nServerType;
  m_nCharset = other.m_nCharset;
  m_nColumnType = other.m_nColumnType;
  m_nFlags = other.m_nFlags;
  m_nMaxLength = other.m_nMaxLength;
}

CNAResultColumn* CNAResultColumn::pclClone() const {
  auto* copy = new (std::nothrow) CNAResultColumn();
  if (copy != nullptr) copy->CopyFrom(*this);
  return copy;
}
