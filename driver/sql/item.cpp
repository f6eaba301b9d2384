#include "driver/sql/item.h"

#include <cstring>
#include <new>

#include "driver/core/connection.h"
#include "driver/core/copy_context.h"
#include "driver/core/error_status.h"
#include "driver/core/manager.h"
#include "driver/core/value_bridge.h"
#include "driver/sql/column.h"
#include "driver/sql/conversion_error.h"
#include "driver/sql/file_description.h"
#include "driver/sql/record_cache.h"
#include "driver/sql/row_buffer.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/value_converter.h"
#include "support/any_holders.h"
#include "support/frame/module_services.h"

namespace {

constexpr uint32_t kSite = 12;

bool IsWideTextClass(int c) {
  return c == 16 || c == 20 || c == 24 || c == 25 || c == 81 || c == 110;
}
bool IsNarrowTextClass(int c) {
  return c == 17 || c == 18 || c == 19 || c == 21 || c == 22 || c == 23 || c == 128 ||
         c == 129 || c == 134;
}

void SetNullOfType(CAny& out, int value_class) {
  out.SetType(value_class);
  out.SetNull(true);
}

void AppendCapped(std::u16string* out, const char16_t* text, size_t length) {
  if (length > kNADumpValueLimit) length = kNADumpValueLimit;
  out->append(text, length);
}

}  // namespace

CNAItem::CNAItem() = default;

CNAItem::~CNAItem() {
  ClearParts();
  if (m_pConverter != nullptr) ReleaseBoth(m_pConverter);
  if (m_pSource != nullptr) ReleaseBoth(m_pSource);
  if (m_pColumn != nullptr) ReleaseBoth(m_pColumn);
}

void CNAItem::Init(CNAFileDescription* owner, CNAColumn* column, CNAColumn* source) {
  m_pOwner = owner;
  if (column != nullptr) AddRefBoth(column);
  if (m_pColumn != nullptr) ReleaseBoth(m_pColumn);
  m_pColumn = column;
  SetSource(source);
  bResolveNames(nullptr);
}

void CNAItem::SetSource(CNAColumn* source) {
  if (source != nullptr) AddRefBoth(source);
  if (m_pSource != nullptr) ReleaseBoth(m_pSource);
  m_pSource = source;
}

bool CNAItem::bResolveNames(CNAError* /*error*/) {
  if (m_pColumn == nullptr) return false;
  m_strName.Set(m_pColumn->pszGetName());
  const char16_t* sql = m_pColumn->pszGetSQLName();
  m_strSqlName.Set(sql != nullptr && sql[0] != 0 ? sql : m_pColumn->pszGetName());
  m_bQualifiedBuilt = false;
  return true;
}

bool CNAItem::bIsAutoIdentifier() const {
  return m_pColumn != nullptr && (m_pColumn->nGetType() == 1 || m_pColumn->nGetType() == 28);
}

const char16_t* CNAItem::pszGetName() const { return m_strName.pszGet(); }
const char16_t* CNAItem::pszGetSqlName() const { return m_strSqlName.pszGet(); }

bool CNAItem::bIsCompositeKey() const { return m_pColumn != nullptr && m_pColumn->bIsComposite(); }
bool CNAItem::bIsLargeObject() const { return m_pColumn != nullptr && m_pColumn->bIsLargeObject(); }
bool CNAItem::bIsUniqueKey() const {
  return m_pColumn != nullptr && (m_pColumn->nGetKeyFlags() & (kNAKeyUnique | kNAKeyPrimary)) != 0;
}
bool CNAItem::bIsKey() const {
  return m_pColumn != nullptr &&
         (m_pColumn->nGetKeyFlags() & (kNAKeyUnique | kNAKeyPrimary | kNAKeyDuplicates)) != 0;
}

bool CNAItem::bIsWritable() const {
  if (m_pSource != nullptr) return (m_pSource->nGetColumnFlags() & kNAColFlagReadOnly) == 0;
  return m_pColumn != nullptr && (m_pColumn->nGetColumnFlags() & kNAColFlagReadOnly) == 0 &&
         m_pColumn->bIsWritable();
}

int CNAItem::nGetIndexInOwner() const {
  return m_pOwner != nullptr ? m_pOwner->nGetItemIndex(this) : -1;
}

const char16_t* CNAItem::pszGetQualifiedName(bool plain) {
  if (!plain && !m_strQueryQualified.bEstVide()) return m_strQueryQualified.pszGet();
  if (!m_bQualifiedBuilt || m_bQualifiedPlain != plain) {
    if (plain) {
      m_strQualified = m_strName;
    } else {
      CTString text;
      const char16_t* prefix = m_pOwner != nullptr ? m_pOwner->pszGetPrefix() : nullptr;
      if (prefix != nullptr && prefix[0] != 0) text.Set(prefix);
      text.Add(m_strSqlName.pszGet());
      m_strQualified = text;
    }
    m_bQualifiedBuilt = true;
    m_bQualifiedPlain = plain;
  }
  return m_strQualified.pszGet();
}

void CNAItem::SetQualifiedName(const char16_t* name) {
  m_strQueryQualified.Set(name != nullptr ? name : u"");
}

CNAItem* CNAItem::pclGetPart(int n) const {
  if (n < 1 || n > nGetPartCount()) return nullptr;
  return m_apParts[static_cast<size_t>(n - 1)];
}

void CNAItem::AddPart(CNAItem* part) {
  if (part == nullptr) return;
  AddRefBoth(part);
  m_apParts.push_back(part);
}

void CNAItem::ClearParts() {
  for (CNAItem* p : m_apParts) ReleaseBoth(p);
  m_apParts.clear();
}

int CNAItem::nPackedPartSize(const CNAColumn& part) {
  int size = part.nGetSize();
  if (part.nGetType() == kNAColVarChar) size -= 1;
  if (part.nGetType() == kNAColNVarChar) size -= 2;
  return size < 0 ? 0 : size;
}

CNARowBuffer* CNAItem::pclCurrentRow() const {
  return m_pOwner != nullptr ? m_pOwner->pclGetCurrentRow() : nullptr;
}

CNARowBuffer* CNAItem::pclSavedRow() const {
  return m_pOwner != nullptr ? m_pOwner->pclGetSavedRow() : nullptr;
}

int CNAItem::nResolveRowColumn(CNARowBuffer* row) {
  m_nRowColumn = -1;
  if (row == nullptr || row->pGetLayout() == nullptr) return -1;
  const auto& columns = row->pGetLayout()->apColumns;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i] == m_pColumn) {
      m_nRowColumn = static_cast<int>(i);
      break;
    }
  }
  return m_nRowColumn;
}

void CNAItem::SetConverterNull(bool null) {
  if (m_pConverter != nullptr) m_pConverter->SetNullFlag(null);
}

bool CNAItem::bBindConverter(CNARecordImage* record, CNAError* error) {
  if (m_pColumn == nullptr) return false;
  if (m_pConverter == nullptr) {
    // 8-bit texts are kept in the connection's code page.
    uint32_t page = 1252;
    CNAConnection* connection = m_pOwner != nullptr ? m_pOwner->pclGetConnection() : nullptr;
    if (connection != nullptr && connection->m_nConnectionCodePage > 0) {
      page = static_cast<uint32_t>(connection->m_nConnectionCodePage);
    }
    CNAManager* manager = NAGetManager();
    CNAValueConverter* converter = manager != nullptr ? manager->pclNewValueConverterObject()
                                                      : nullptr;
    if (converter == nullptr) converter = new (std::nothrow) CNAValueConverter(nullptr, page);
    if (converter != nullptr) converter->SetCodePage(page);
    if (converter == nullptr) {
      NAReportOutOfMemory(error, kSite, 1);
      return false;
    }
    m_pConverter = NAAddRef(converter);
  }
  int value_class = nHostTypeToValueClass(m_pColumn->nGetType());
  if (bIsCompositeKey()) {
    m_pConverter->bSetType(value_class != 0 ? value_class : qg::kAnyBIN, 0);
    m_pConverter->BindColumns(m_pColumn, m_pSource);
    return true;
  }
  CNARowBuffer* row = pclCurrentRow();
  nResolveRowColumn(row);
  if (bIsLargeObject()) {
    m_pConverter->bSetType(value_class, 0);
    m_pConverter->BindColumns(m_pColumn, m_pSource);
    m_pConverter->SetAnyNull();
    if (record != nullptr) {
      CNARecordValues* values = record->pclGetValues();
      if (values == nullptr) {
        values = new (std::nothrow) CNARecordValues;
        if (values == nullptr) {
          NAReportOutOfMemory(error, kSite, 2);
          return false;
        }
        record->SetValues(values);
      }
      int position = nGetIndexInOwner();
      CNAValue* held = values->pclGet(position);
      if (held != nullptr && held != m_pConverter) m_pConverter->nCopyFrom(held, nullptr, 0, 0);
      if (!values->bSet(position, m_pConverter)) {
        NAReportOutOfMemory(error, kSite, 3);
        return false;
      }
    }
    return true;
  }
  uint8_t* data = row != nullptr && m_nRowColumn >= 0 ? row->pGetColumnData(m_nRowColumn, -1)
                                                      : nullptr;
  m_pConverter->SetExternalBuffer(data, data != nullptr ? size_t(m_pColumn->nGetTotalSize()) : 0,
                                  value_class);
  m_pConverter->BindColumns(m_pColumn, m_pSource);
  SetConverterNull(data == nullptr || !row->bIsPresent(m_nRowColumn));
  return true;
}

bool CNAItem::bApplyPendingText(CNAError* error) {
  if (!m_bPending || m_pConverter == nullptr || !m_pConverter->bIsNull()) return true;
  return m_pConverter->bSetFromWideText(m_strPending.pszGet() != nullptr ? m_strPending.pszGet()
                                                                         : u"",
                                        -1, error);
}

bool CNAItem::bReadFrom(CNARowBuffer* row, CAny& out, bool saved, CNAError* error) {
  int value_class = m_pColumn != nullptr ? nHostTypeToValueClass(m_pColumn->nGetType()) : 0;
  if (m_pColumn == nullptr) return false;
  if (bIsCompositeKey()) {
    std::vector<uint8_t> packed;
    for (CNAItem* part : m_apParts) {
      CNAColumn* column = part->pclGetColumn();
      int size = nPackedPartSize(*column);
      size_t at = packed.size();
      packed.resize(at + static_cast<size_t>(size), 0);
      CNARowBuffer* part_row = saved ? part->pclSavedRow() : part->pclCurrentRow();
      if (part->m_nRowColumn < 0) part->nResolveRowColumn(part_row);
      if (part_row == nullptr || part->m_nRowColumn < 0 ||
          !part_row->bIsPresent(part->m_nRowColumn)) {
        continue;  // a missing part packs as zeros
      }
      const uint8_t* bytes = part_row->pGetColumnData(part->m_nRowColumn, -1);
      int available = column->nGetTotalSize();
      if (bytes != nullptr && size > 0) {
        std::memcpy(packed.data() + at, bytes, static_cast<size_t>(size < available ? size : available));
      }
    }
    out.SetBIN(packed.data(), static_cast<int>(packed.size()));
    return true;
  }
  if (bIsLargeObject()) {
    if (saved) {
      CNARecordImage* image = m_pOwner != nullptr ? m_pOwner->pclGetSavedImage() : nullptr;
      CNARecordValues* values = image != nullptr ? image->pclGetValues() : nullptr;
      CNAValue* held = values != nullptr ? values->pclGet(nGetIndexInOwner()) : nullptr;
      if (held == nullptr || !held->bGetValue(out)) SetNullOfType(out, value_class);
      return true;
    }
    if (m_pConverter == nullptr) {
      SetNullOfType(out, value_class);
      return true;
    }
    if (!bApplyPendingText(error)) return false;
    if (m_pConverter->bIsNull() || !m_pConverter->bGetValue(out)) SetNullOfType(out, value_class);
    return true;
  }
  if (row == nullptr) return false;
  if (m_nRowColumn < 0 && nResolveRowColumn(row) < 0) return false;
  return row->bGetValue(out, m_nRowColumn, -1);
}

bool CNAItem::bReadValue(CAny& out, int /*flag*/, CNAError* error) {
  return bReadFrom(pclCurrentRow(), out, false, error);
}

bool CNAItem::bReadSavedValue(CAny& out, int /*flag*/, CNAError* error) {
  return bReadFrom(pclSavedRow(), out, true, error);
}

bool CNAItem::bWriteValue(const CAny& value, int /*flag*/, CNAError* error) {
  if (m_pColumn == nullptr || bIsCompositeKey()) return false;
  CNARowBuffer* row = pclCurrentRow();
  if (m_nRowColumn < 0) nResolveRowColumn(row);
  if (bIsLargeObject()) {
    m_bPending = false;
    m_strPending.RAZ();
    if (m_pConverter == nullptr && !bBindConverter(m_pOwner != nullptr
                                                       ? m_pOwner->pclGetCurrentImage()
                                                       : nullptr,
                                                   error)) {
      return false;
    }
    bool ok = true;
    if (value.bEstNull() || value.bEstVide()) {
      m_pConverter->SetAnyNull();
    } else {
      ok = m_pConverter->bSetValue(value, error);
    }
    if (row != nullptr && m_nRowColumn >= 0) {
      row->SetPresent(m_nRowColumn, !m_pConverter->bIsNull(), -1);
    }
    return ok;
  }
  if (row == nullptr || m_nRowColumn < 0) return false;
  if (!row->bSetValue(m_nRowColumn, value, -1)) {
    NAReportValueConversion(error, "", value.nGetCode(),
                            nHostTypeToValueClass(m_pColumn->nGetType()), m_pColumn);
    return false;
  }
  SetConverterNull(!row->bIsPresent(m_nRowColumn));
  return true;
}

bool CNAItem::bHasValue() {
  if (m_pColumn == nullptr) return false;
  if (bIsCompositeKey()) {
    for (CNAItem* part : m_apParts) {
      if (part->bHasValue()) return true;
    }
    return false;
  }
  if (bIsLargeObject()) {
    return m_bPending || (m_pConverter != nullptr && !m_pConverter->bIsNull());
  }
  CNARowBuffer* row = pclCurrentRow();
  if (row == nullptr) return false;
  if (m_nRowColumn < 0 && nResolveRowColumn(row) < 0) return false;
  if (!row->bIsPresent(m_nRowColumn)) return false;
  // Empty text counts as no value; read the stored bytes, no conversion.
  int value_class = nHostTypeToValueClass(m_pColumn->nGetType());
  const uint8_t* at = row->pGetColumnData(m_nRowColumn, -1);
  if (at == nullptr) return false;
  int type = m_pColumn->nGetType();
  if (type == kNAColVarBinary) return at[0] != 0 || at[1] != 0;
  if (IsWideTextClass(value_class)) return at[0] != 0 || at[1] != 0;
  if (IsNarrowTextClass(value_class)) return at[0] != 0;
  return true;
}

bool CNAItem::bIsPresentInSavedRow() {
  if (bIsCompositeKey()) {
    for (CNAItem* part : m_apParts) {
      if (part->bIsPresentInSavedRow()) return true;
    }
    return false;
  }
  CNARowBuffer* row = pclSavedRow();
  if (row == nullptr) return false;
  if (m_nRowColumn < 0 && nResolveRowColumn(row) < 0) return false;
  return row->bIsPresent(m_nRowColumn);
}

bool CNAItem::bHasChanged() {
  if (m_pColumn == nullptr) return false;
  if (bIsCompositeKey()) {
    for (CNAItem* part : m_apParts) {
      if (part->bHasChanged()) return true;
    }
    return false;
  }
  if (bIsLargeObject()) {
    if (m_bPending) return true;
    // A value written since the record was read differs from the saved
    // record's value.
    CNARecordImage* saved = m_pOwner != nullptr ? m_pOwner->pclGetSavedImage() : nullptr;
    CNARecordValues* values = saved != nullptr ? saved->pclGetValues() : nullptr;
    CNAValue* before = values != nullptr ? values->pclGet(nGetIndexInOwner()) : nullptr;
    bool now_null = m_pConverter == nullptr || m_pConverter->bIsNull();
    CAny old_value;
    bool old_null = before == nullptr || !before->bGetValue(old_value) || old_value.bEstNull() ||
                    old_value.bEstVide();
    if (now_null || old_null) return now_null != old_null;
    CAny new_value;
    if (!m_pConverter->bGetValue(new_value)) return true;
    int a = 0;
    int b = 0;
    const void* pa = nullptr;
    const void* pb = nullptr;
    if (new_value.pclHolder()->vnGetTexte(&pa) != qg::kAnyOk ||
        old_value.pclHolder()->vnGetTexte(&pb) != qg::kAnyOk ||
        new_value.pclHolder()->vnGetTailleSansFin(&a) != qg::kAnyOk ||
        old_value.pclHolder()->vnGetTailleSansFin(&b) != qg::kAnyOk) {
      return true;
    }
    return a != b || new_value.nGetCode() != old_value.nGetCode() ||
           (a > 0 && std::memcmp(pa, pb, static_cast<size_t>(a)) != 0);
  }
  if (bHasValue() != bIsPresentInSavedRow()) return true;
  CNARowBuffer* current = pclCurrentRow();
  CNARowBuffer* saved = pclSavedRow();
  if (current == nullptr || saved == nullptr || m_nRowColumn < 0) return false;
  const uint8_t* a = current->pGetColumnData(m_nRowColumn, -1);
  const uint8_t* b = saved->pGetColumnData(m_nRowColumn, -1);
  if (a == nullptr || b == nullptr) return a != b;
  return std::memcmp(a, b, static_cast<size_t>(m_pColumn->nGetTotalSize())) != 0;
}

bool CNAItem::bNormalise(CNAError* error) {
  if (m_pColumn == nullptr || bIsCompositeKey()) return true;
  CAny null_value;
  null_value.SetType(nHostTypeToValueClass(m_pColumn->nGetType()));
  null_value.SetNull(true);
  if (bIsLargeObject()) {
    CNARowBuffer* row = pclCurrentRow();
    if (m_nRowColumn < 0) nResolveRowColumn(row);
    if (bHasValue() && row != nullptr && m_nRowColumn >= 0) {
      row->SetPresent(m_nRowColumn, true, -1);
      return true;
    }
    return bWriteValue(null_value, 0, error);
  }
  if (!bHasValue()) return bWriteValue(null_value, 0, error);
  if (m_pConverter != nullptr && m_pConverter->nGetKind() == CNAValueConverter::kCallerBuffer) {
    m_pConverter->SetNullFlag(false);
  }
  return true;
}

void CNAItem::SetPendingText(const char16_t* text) {
  m_strPending.Set(text != nullptr ? text : u"");
  if (m_pConverter != nullptr) m_pConverter->SetAnyNull();
  m_bPending = true;
}

const uint8_t* CNAItem::pGetValueImage(int* size) {
  if (size != nullptr) *size = 0;
  if (m_pColumn == nullptr || bIsCompositeKey() || bIsLargeObject()) return nullptr;
  CNARowBuffer* row = pclCurrentRow();
  if (row == nullptr) return nullptr;
  if (m_nRowColumn < 0 && nResolveRowColumn(row) < 0) return nullptr;
  const uint8_t* at = row->pGetColumnData(m_nRowColumn, -1);
  if (at != nullptr && size != nullptr) *size = m_pColumn->nGetTotalSize();
  return at;
}

bool CNAItem::bCanUpdate(int flags) const {
  if (bIsCompositeKey()) return false;
  if (bIsLargeObject()) return (flags & kNAWriteLargeUpdate) != 0;
  return true;
}

bool CNAItem::bCanInsert(int flags) const {
  if (bIsCompositeKey()) return false;
  if (bIsLargeObject()) return (flags & kNAWriteLargeInsert) != 0;
  return true;
}

bool CNAItem::bAssignValue(CNAItem* other, CNAError* error) {
  if (other == nullptr) return false;
  CAny value;
  if (!other->bReadValue(value, 0, error)) return false;
  return bWriteValue(value, 0, error);
}

// The dump text:
//   with the name: "<" name "> = <" ... ">";
//   a converter whose value is not read yet: "UNREAD YET";
//   a failed read: "ERROR RETRIEVING VALUE>" (with the name only);
//   null: "NULL" (with the name only);
//   binary with the name: the value dump with its type, length and bytes;
//   a value that converts to text: the text;
//   else, with the name: "IMPOSSIBLE TEXT CONVERSION (ZQ Type=t, Data Size=n)".
// Each value's text is cut to kNADumpValueLimit characters.
bool CNAItem::bDumpValue(std::u16string* out, bool with_name, CNAError* error) {
  out->clear();
  if (with_name) {
    out->append(u"<");
    out->append(m_pColumn != nullptr && m_pColumn->pszGetName() != nullptr
                    ? m_pColumn->pszGetName()
                    : m_strName.pszGet() != nullptr ? m_strName.pszGet() : u"");
    out->append(u"> = <");
  }
  bool result = true;
  if (m_pConverter != nullptr && m_pConverter->nGetKind() == CNAValueConverter::kVariantPending) {
    out->append(u"UNREAD YET");
  } else {
    CAny value;
    result = bReadValue(value, 0, error);
    if (!result) {
      if (with_name) out->append(u"ERROR RETRIEVING VALUE>");
    } else if (value.bEstNull()) {
      if (with_name) out->append(u"NULL");
    } else if (value.nGetCode() == qg::kAnyBIN && with_name) {
      CXYString<char16_t> text;
      if (nNAValueText(text, u"", &value, true) == 0 && text.pszGet() != nullptr) {
        out->append(text.pszGet());
      }
    } else {
      CAny copy(value);
      const char16_t* text = nullptr;
      int length = 0;
      if (copy.nConvertType(qg::kAnyPSTRW) < qg::kHostErrorFirst &&
          copy.pclHolder()->vnGetTexteW(&text) == qg::kAnyOk && text != nullptr) {
        size_t n = 0;
        while (n < kNADumpValueLimit && text[n] != 0) ++n;
        AppendCapped(out, text, n);
      } else if (with_name) {
        value.pclHolder()->vnGetTailleSansFin(&length);
        out->append(u"IMPOSSIBLE TEXT CONVERSION (ZQ Type=");
        std::string n = std::to_string(value.nGetCode());
        out->append(n.begin(), n.end());
        out->append(u", Data Size=");
        n = std::to_string(length);
        out->append(n.begin(), n.end());
        out->append(u")");
      }
    }
  }
  if (with_name) out->append(u">");
  return result;
}

void CNAItem::CopyFrom(const CNAItem& other, INACopyContext* context) {
  if (&other == this) return;
  if (context != nullptr && context->pFindCopy(&other) == nullptr) {
    context->bRegisterCopy(&other, this);
  }
  if (other.m_pColumn != nullptr) AddRefBoth(other.m_pColumn);
  if (m_pColumn != nullptr) ReleaseBoth(m_pColumn);
  m_pColumn = other.m_pColumn;
  SetSource(other.m_pSource);
  m_strName = other.m_strName;
  m_strSqlName = other.m_strSqlName;
  m_strPrefix = other.m_strPrefix;
  m_strFourth = other.m_strFourth;
  m_bQualifiedBuilt = false;
  m_strQueryQualified = other.m_strQueryQualified;
  m_pOwner = other.m_pOwner;
  if (context != nullptr && other.m_pOwner != nullptr) {
    void* copy = context->pFindCopy(other.m_pOwner);
    if (copy != nullptr) m_pOwner = static_cast<CNAFileDescription*>(copy);
  }
  ClearParts();
  for (CNAItem* part : other.m_apParts) {
    void* copy = context != nullptr ? context->pFindCopy(part) : nullptr;
    AddPart(copy != nullptr ? static_cast<CNAItem*>(copy) : part);
  }
  m_bPending = other.m_bPending;
  m_strPending = other.m_strPending;
  m_nRowColumn = other.m_nRowColumn;
}

CNAItem* CNAItem::pclClone(INACopyContext* context) const {
  auto* item = new (std::nothrow) CNAItem;
  if (item == nullptr) return nullptr;
  item->CopyFrom(*this, context);
  return item;
}

bool CNARecordItem::bStoreInRecord(CNARecordImage* record, int position, int /*flags*/,
                                   CNAError* error) {
  if (record == nullptr || m_pColumn == nullptr) return false;
  CNARowBuffer* row = record->pclGetRowBuffer();
  if (m_nRowColumn < 0) nResolveRowColumn(row != nullptr ? row : pclCurrentRow());
  bool ok = true;
  if (bIsLargeObject() && m_pConverter != nullptr) {
    ok = bApplyPendingText(error);
    m_bPending = false;
    m_strPending.RAZ();
    if (ok) {
      CNARecordValues* values = record->pclGetValues();
      if (values == nullptr) {
        values = new (std::nothrow) CNARecordValues;
        if (values != nullptr) record->SetValues(values);
      }
      CNAValue* held = values != nullptr ? values->pclGet(position) : nullptr;
      if (values == nullptr) {
        ok = false;
      } else if (held == m_pConverter) {
        ok = true;
      } else if (held != nullptr && held->nCopyFrom(m_pConverter, nullptr, 0, 0) == 1) {
        ok = true;
      } else {
        CNAValue* copy = m_pConverter->pclClone(nullptr, 0, 0);
        if (copy != nullptr) {
          AddRefBoth(copy);
          ok = values->bSet(position, copy);
          ReleaseBoth(copy);
        } else {
          ok = false;
        }
      }
    }
    if (!ok) {
      m_pConverter->SetAnyNull();
      if (row != nullptr && m_nRowColumn >= 0) row->SetPresent(m_nRowColumn, false, -1);
      NAReportOutOfMemory(error, kSite, 4);
      return false;
    }
  }
  if (row != nullptr && m_nRowColumn >= 0 && m_pConverter != nullptr) {
    bool present = !m_pConverter->bIsNull();
    if (present != row->bIsPresent(m_nRowColumn)) row->SetPresent(m_nRowColumn, present, -1);
  }
  return ok;
}

CNAItem* CNARecordItem::pclClone(INACopyContext* context) const {
  auto* item = new (std::nothrow) CNARecordItem;
  if (item == nullptr) return nullptr;
  item->CopyFrom(*this, context);
  return item;
}
