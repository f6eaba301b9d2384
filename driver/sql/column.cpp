#include "driver/sql/column.h"

#include <new>

#include "driver/core/manager.h"
#include "driver/sql/sql_types.h"

namespace {

void Narrow(int* type, int* size) {
  if (*type == 29) {
    *type = 2;
    *size /= 2;
  } else if (*type == 30) {
    *type = 15;
  }
}

}  // namespace

CNAColumn::CNAColumn() = default;

CNAColumn* CNAColumn::pclNew() {
  CNAManager* manager = NAGetManager();
  if (manager != nullptr) return manager->pclNewColumn();
  return new (std::nothrow) CNAColumn();
}

CNAColumn::~CNAColumn() {
  for (CNAColumn* part : m_apParts) ReleaseBoth(part);
  ReleaseBoth(m_pAttached1);
  ReleaseBoth(m_pAttached2);
}

void CNAColumn::Init(const char16_t* name, const char16_t* table, const char16_t* base_name,
                     int element_count, int size, int type, int ordinal, int key_number,
                     uint16_t key_flags, int precision, int scale, CNARefCounted* attached1,
                     CNARefCounted* attached2) {
  m_clName.Set(name);
  m_clTable.Set(table);
  m_clBaseName.Set(base_name != nullptr && base_name[0] != 0 ? base_name : name);
  m_nElementCount = element_count > 0 ? element_count : 1;
  m_nSize = type != 0 ? size : 1;
  m_nType = type != 0 ? type : 2;
  m_nOrdinal = ordinal;
  m_nKeyNumber = key_number;
  m_nKeyFlags = key_flags;
  m_nPrecision = 0;
  m_nScale = 0;
  if (m_nType == 11 || m_nType == 24) {
    m_nScale = scale;
  } else if (m_nType == 31) {
    int decimal_type = 0;
    int decimal_size = 0;
    DecimalToColumnType(precision, scale, &decimal_type, &decimal_size);
    if (decimal_type == 7) {
      m_nType = 7;
      m_nSize = decimal_size;
    } else {
      m_nPrecision = precision;
      m_nScale = scale;
    }
  }
  if (bIsLargeObjectType(m_nType)) m_nSize = 8;
  if (m_nType == 1 || m_nType == 28) m_nColumnFlags |= kNAColFlagAutoIncrement | kNAColFlagNotNull;
  if (attached1 != m_pAttached1) {
    AddRefBoth(attached1);
    ReleaseBoth(m_pAttached1);
    m_pAttached1 = attached1;
  }
  if (attached2 != m_pAttached2) {
    AddRefBoth(attached2);
    ReleaseBoth(m_pAttached2);
    m_pAttached2 = attached2;
  }
  m_clDefault.SetType(nGetValueClass());
  m_clDefault.SetNull(true);
}

bool CNAColumn::bSetName(const char16_t* name) {
  m_clName.Set(name);
  return true;
}

bool CNAColumn::bSetType(int type) {
  int old_class = nGetValueClass();
  m_nType = type;
  if (nGetValueClass() != old_class) RetypeDefault();
  return true;
}

void CNAColumn::RetypeDefault() {
  m_clDefault.SetType(nGetValueClass());
  m_clDefault.SetNull(true);
}

int CNAColumn::nGetValueClass() const { return nHostTypeToValueClass(m_nType); }

int CNAColumn::nGetDataLength(int element) const {
  int one = m_nSize;
  if (m_nType == 2) {
    one = m_nSize - 1;
  } else if (m_nType == 29) {
    one = (m_nSize - 2) / 2;
  } else if (m_nType == 23 && !bIsComposite()) {
    one = m_nSize - 2;
  }
  if (one < 0) one = 0;
  return element == -1 ? one * m_nElementCount : one;
}

bool CNAColumn::bIsLargeObject() const { return bIsLargeObjectType(m_nType); }

bool CNAColumn::bIsNumeric() const { return bIsNumericColumnType(m_nType); }

bool CNAColumn::bIsWritable() const {
  if ((m_nKeyFlags & kNAKeyPrimary) != 0) return false;
  if (m_nType == 1 || m_nType == 28) return false;
  return !bHasGeneration();
}

void CNAColumn::SetDirection(bool reverse) {
  m_nKeyFlags &= static_cast<uint16_t>(~(kNAKeyDirection400 | kNAKeyDirection800));
  m_nKeyFlags |= reverse ? kNAKeyDirection400 : kNAKeyDirection800;
}

CNAColumn* CNAColumn::pclGetPart(int n) const {
  if (n < 1 || n > nGetPartCount()) return nullptr;
  return m_apParts[static_cast<size_t>(n - 1)];
}

void CNAColumn::AddPart(CNAColumn* part) {
  if (part != nullptr) AddPart(part, part->bHas400());
}

void CNAColumn::AddPart(CNAColumn* part, bool descending) {
  if (part == nullptr) return;
  m_apParts.push_back(NAAddRef(part));
  m_abPartDescending.push_back(descending);
  if (bIsComposite()) {
    int length = part->nGetDataLength(-1);
    m_nSize += part->nGetType() == 29 ? 2 * length : length;
  }
}

bool CNAColumn::bIsPartDescending(int n) const {
  if (!bIsComposite() && m_apParts.empty()) return n == 1 && bHas400();
  if (n < 1 || n > nGetPartCount()) return false;
  return m_abPartDescending[static_cast<size_t>(n - 1)];
}

void CNAColumn::SetNullable(bool nullable) {
  if (nullable) {
    m_nColumnFlags &= ~kNAColFlagNotNull;
  } else {
    m_nColumnFlags |= kNAColFlagNotNull;
  }
}

void CNAColumn::SetDefaultPresence(const char16_t* default_text) {
  if (default_text != nullptr) {
    m_nColumnFlags &= ~kNAColFlagNoDefault;
  } else {
    m_nColumnFlags |= kNAColFlagNoDefault;
  }
}

void CNAColumn::SetDefault(const CAny& value) {
  m_clDefault = value;
  m_clDefaultSource.RAZ();
  if (m_clDefault.nGetCode() != nGetValueClass() && !m_clDefault.bEstNull()) {
    if (m_clDefault.nConvertType(nGetValueClass()) >= 100) RetypeDefault();
  } else if (m_clDefault.nGetCode() != nGetValueClass()) {
    RetypeDefault();
  }
}

void CNAColumn::SetGeneration(const char16_t* expression, bool stored) {
  m_clGeneration.Set(expression);
  m_nColumnFlags |= kNAColFlagNoDefault | kNAColFlagGenerated;
  if (stored) {
    m_nColumnFlags |= kNAColFlagStoredGenerated;
  } else {
    m_nColumnFlags &= ~kNAColFlagStoredGenerated;
  }
}

void CNAColumn::CopyDefinition(const CNAColumn& source) {
  int old_class = nGetValueClass();
  m_nElementCount = source.m_nElementCount;
  m_nSize = source.m_nSize;
  m_nType = source.m_nType;
  m_clDefaultText = source.m_clDefaultText;
  m_nPrecision = m_nType == 31 ? source.m_nPrecision : 0;
  m_nScale = (m_nType == 31 || m_nType == 11 || m_nType == 24) ? source.m_nScale : 0;
  m_nAttribute = source.m_nAttribute;
  if (m_nType == 1) m_nType = 19;
  if (m_nType == 28) m_nType = 5;
  if (nGetValueClass() != old_class) RetypeDefault();
}

void CNAColumn::UpdateFromSource(const CNAColumn& source, bool keyed, int key_number) {
  int old_class = nGetValueClass();
  m_nElementCount = source.m_nElementCount;
  m_nSize = source.m_nSize;
  m_nType = source.m_nType;
  m_clDefaultText = source.m_clDefaultText;
  m_nPrecision = m_nType == 31 ? source.m_nPrecision : 0;
  m_nScale = (m_nType == 31 || m_nType == 11 || m_nType == 24) ? source.m_nScale : 0;
  m_nAttribute = source.m_nAttribute;
  if (!keyed) {
    if (m_nType == 1) m_nType = 19;
    if (m_nType == 28) m_nType = 5;
  }
  if (nGetValueClass() != old_class) RetypeDefault();
  m_clOwnerText = source.m_clOwnerText;
  m_clAttributeText = source.m_clAttributeText;
  if (source.bIsKey()) {
    uint16_t flags = source.m_nKeyFlags &
                     (kNAKeyDirection800 | kNAKeyDirection400 | kNAKeyAttr80 | kNAKeyAttr40 |
                      kNAKeyAttr20);
    flags |= (keyed && source.bIsUnique()) ? kNAKeyUnique : kNAKeyDuplicates;
    if (source.bIsPrimary()) flags |= kNAKeyPrimary;
    m_nKeyFlags = flags;
    m_nKeyNumber = key_number;
  }
  m_clSQLName = source.m_clSQLName;
  m_clTable = source.m_clTable;
}

bool CNAColumn::bCanHold(const CNAColumn& other, bool unicode_as_narrow) const {
  int t = m_nType;
  int ts = m_nSize;
  int o = other.m_nType;
  int os = other.m_nSize;
  if (unicode_as_narrow) {
    Narrow(&t, &ts);
    Narrow(&o, &os);
  }
  if (t == o) {
    switch (t) {
      case 2: case 11: case 23: case 29:
        return ts >= os;
      case 31:
        return m_nScale >= other.m_nScale && m_nPrecision >= other.m_nPrecision;
      default:
        return true;
    }
  }
  int od = 0;
  int osc = 0;
  bool other_known = bGetTypeDigits(nHostTypeToValueClass(o), &od, &osc);
  switch (t) {
    case 1: case 3: case 4: case 5: case 9: case 12: case 17: case 19: case 20: case 22:
    case 25: case 28: {
      int td = 0;
      int tsc = 0;
      if (!bGetTypeDigits(nHostTypeToValueClass(t), &td, &tsc) || !other_known) return false;
      return td >= od && tsc >= osc;
    }
    case 7: return o == 6;
    case 10: case 11: return o == 24;
    case 14: return o == 10 || o == 24;
    case 24: return o == 10 || o == 11 || o == 14;
    case 15: return o == 2 || o == 21;
    case 16: case 18: return o == 23;
    case 29: return o == 2 && 2 * ts >= os;
    case 30: return o == 2 || o == 15 || o == 21 || o == 29;
    case 31:
      return other_known && m_nPrecision + m_nScale >= od && m_nScale >= osc;
    default:
      return false;
  }
}

void CNAColumn::PromoteToAutoId() {
  m_nColumnFlags |= kNAColFlagAutoIncrement;
  int old_class = nGetValueClass();
  switch (m_nType) {
    case 19: case 20:
      m_nType = 1;
      break;
    case 3: case 4: case 5: case 9: case 12: case 22:
      m_nType = 28;
      m_nSize = 4;
      break;
    default:
      break;
  }
  if (nGetValueClass() != old_class) RetypeDefault();
}

CNAColumn* CNAColumn::pclCloneWithoutParts(int key_number, int options) const {
  auto* copy = new (std::nothrow) CNAColumn();
  if (copy == nullptr) return nullptr;
  copy->m_clName = m_clName;
  copy->m_clOwnerText = m_clOwnerText;
  copy->m_clAttributeText = m_clAttributeText;
  copy->m_clDefaultText = m_clDefaultText;
  copy->m_nAttribute = m_nAttribute;
  copy->m_nElementCount = m_nElementCount;
  copy->m_nSize = m_nSize;
  copy->m_nType = m_nType;
  copy->m_nOrdinal = m_nOrdinal;
  copy->m_nReserved = m_nReserved;
  copy->m_nKeyFlags = m_nKeyFlags;
  copy->m_nRecordOffset = m_nRecordOffset;
  copy->m_nSlotIndex = m_nSlotIndex;
  copy->m_clDefault = m_clDefault;
  copy->m_clDefaultSource = m_clDefaultSource;
  copy->m_nPrecision = m_nPrecision;
  copy->m_nScale = m_nScale;
  copy->m_clTable = m_clTable;
  copy->m_clBaseName = m_clBaseName;
  copy->m_clSQLName = m_clSQLName;
  copy->m_pAttached1 = NAAddRef(m_pAttached1);
  copy->m_pAttached2 = NAAddRef(m_pAttached2);
  copy->m_clGeneration = m_clGeneration;
  copy->m_nHostLink = m_nHostLink;
  copy->m_nColumnFlags = m_nColumnFlags;
  copy->m_clDateMask = m_clDateMask;
  copy->m_nKeyNumber = key_number;
  if ((options & 1) != 0 && m_nKeyFlags == 0 && !bIsLargeObject()) {
    copy->m_nKeyFlags = kNAKeyDuplicates | 0x800;
  }
  if ((options & 2) != 0 && (m_nType == 14 || m_nType == 24)) {
    int old_class = copy->nGetValueClass();
    copy->m_nType = 2;
    if (copy->nGetValueClass() != old_class) {
      copy->m_clDefault.SetType(19);
      copy->m_clDefault.SetDSTRA("0");
    }
  }
  return copy;
}
