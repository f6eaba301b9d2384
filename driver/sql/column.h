// CNAColumn: the description of one column of a table description, or of
// one of its keys: names, column type code (driver/sql/sql_types.h), sizes,
// digits and scale, key flags and key number, place in the row, default
// value, generation expression and, for a composite key, its parts.
//
// Reference-counted (two counters, CNARefCounted). A column holds one
// reference on each of its parts and on its two attached objects. No lock:
// descriptions are built by one thread, then only read.
#ifndef QG_DRIVER_SQL_COLUMN_H_
#define QG_DRIVER_SQL_COLUMN_H_

#include <cstdint>
#include <vector>

#include "driver/core/refcounted.h"
#include "support/any.h"
#include "support/ctstring.h"

// Key flags.
constexpr uint16_t kNAKeyPrimary = 0x8000;
constexpr uint16_t kNAKeyUnique = 0x4000;
constexpr uint16_t kNAKeyDuplicates = 0x2000;
constexpr uint16_t kNAKeyComposite = 0x1000;
constexpr uint16_t kNAKeyDirection800 = 0x800;
constexpr uint16_t kNAKeyDirection400 = 0x400;
constexpr uint16_t kNAKeyAttr80 = 0x80;
constexpr uint16_t kNAKeyAttr40 = 0x40;
constexpr uint16_t kNAKeyAttr20 = 0x20;

// Column flags.
constexpr uint32_t kNAColFlagAutoIncrement = 0x1;
constexpr uint32_t kNAColFlagNotNull = 0x2;
constexpr uint32_t kNAColFlagNoDefault = 0x4;
// A generated column (its expression may be unknown: MariaDB's catalogue
// does not give it).
constexpr uint32_t kNAColFlagGenerated = 0x10;
constexpr uint32_t kNAColFlagStoredGenerated = 0x20;
// The host declared the item read-only (an item's source description).
constexpr uint32_t kNAColFlagReadOnly = 0x40;
// A column of a query's result that is no column of a table (an expression,
// an aggregate): the query's own, never written.
constexpr uint32_t kNAColFlagQueryOwn = 0x80;

class CNAColumn : public CNARefCounted {
 public:
  CNAColumn();
  ~CNAColumn() override;
  // A new column from the process-wide manager's factory (a plain column
  // without manager); no reference taken; null when out of memory.
  static CNAColumn* pclNew();

  // Initialise from attributes. The size is taken only with a type (else
  // 1); type 0 becomes 2. Types 11 and 24 keep the scale as fraction
  // digits; type 31 goes through DecimalToColumnType (a double result makes
  // the column a double); large objects get size 8; types 1 and 28 are
  // NOT NULL auto-increment. The default value is retyped to the column's
  // value class and set to null. The attached objects get one reference each.
  void Init(const char16_t* name, const char16_t* table, const char16_t* base_name,
            int element_count, int size, int type, int ordinal, int key_number,
            uint16_t key_flags, int precision, int scale, CNARefCounted* attached1 = nullptr,
            CNARefCounted* attached2 = nullptr);

  // --- names ----------------------------------------------------------
  const char16_t* pszGetName() const { return m_clName.pszGet(); }
  bool bSetName(const char16_t* name);
  const char16_t* pszGetSQLName() const { return m_clSQLName.pszGet(); }
  void SetSQLName(const char16_t* name) { m_clSQLName.Set(name); }
  const char16_t* pszGetTable() const { return m_clTable.pszGet(); }
  void SetTable(const char16_t* table) { m_clTable.Set(table); }
  const char16_t* pszGetBaseName() const { return m_clBaseName.pszGet(); }
  const char16_t* pszGetOwnerText() const { return m_clOwnerText.pszGet(); }
  const char16_t* pszGetAttributeText() const { return m_clAttributeText.pszGet(); }
  // Date mask used to write date-times into this (text) column.
  const char16_t* pszGetDateMask() const { return m_clDateMask.pszGet(); }
  void SetDateMask(const char16_t* mask) { m_clDateMask.Set(mask); }

  // --- type and sizes -------------------------------------------------
  int nGetType() const { return m_nType; }
  // Retypes the default value when the value class changes.
  bool bSetType(int type);
  int nGetSize() const { return m_nSize; }
  void SetSize(int size) { m_nSize = size; }
  int nGetElementCount() const { return m_nElementCount; }
  // Data length of one value (element -1: of all values): type 2 counts
  // size - 1, type 29 (size - 2) / 2 characters, type 23 (not composite)
  // size - 2, any other type its size. Never below 0.
  int nGetDataLength(int element = 0) const;
  int nGetTotalSize() const { return m_nSize * m_nElementCount; }
  int nGetPrecision() const { return m_nPrecision; }
  int nGetScale() const { return m_nScale; }
  void SetPrecision(int precision) { m_nPrecision = precision; }
  void SetScale(int scale) { m_nScale = scale; }
  int nGetValueClass() const;
  int nGetOrdinal() const { return m_nOrdinal; }
  void SetOrdinal(int ordinal) { m_nOrdinal = ordinal; }
  int nGetAttribute() const { return m_nAttribute; }
  void SetAttribute(int attribute) { m_nAttribute = attribute; }

  bool bIsLargeObject() const;
  bool bIsLargeText() const { return m_nType == 15 || m_nType == 30 || m_nType == 38; }
  bool bIsLargeBinary() const { return m_nType == 18; }
  bool bIsNumeric() const;
  bool bIsVariableText() const { return m_nType == 2; }

  // --- row layout -------------------------------------------------------
  int nGetRecordOffset() const { return m_nRecordOffset; }
  void SetRecordOffset(int offset) { m_nRecordOffset = offset; }
  int nGetElementOffset(int i) const { return m_nRecordOffset + i * m_nSize; }
  int nGetSlotIndex(int i = 0) const { return m_nSlotIndex + i; }
  void SetSlotIndex(int index) { m_nSlotIndex = index; }

  // --- keys -------------------------------------------------------------
  uint16_t nGetKeyFlags() const { return m_nKeyFlags; }
  int nGetKeyNumber() const { return m_nKeyNumber; }
  void SetKeyNumber(int key_number) { m_nKeyNumber = key_number; }
  void SetKey(int key_number, uint16_t key_flags) {
    m_nKeyNumber = key_number;
    m_nKeyFlags = key_flags;
  }
  // Direction bits: `reverse` sets 0x400 and clears 0x800, else the opposite.
  void SetDirection(bool reverse);
  bool bIsKey() const { return m_nKeyFlags >= 0x1000; }
  bool bIsPrimary() const { return (m_nKeyFlags & kNAKeyPrimary) != 0; }
  bool bIsUnique() const { return m_nKeyFlags > 0x3FFF; }
  bool bHasDuplicates() const { return (m_nKeyFlags & kNAKeyDuplicates) != 0; }
  bool bIsComposite() const { return (m_nKeyFlags & kNAKeyComposite) != 0; }
  bool bHas400() const { return (m_nKeyFlags & kNAKeyDirection400) != 0; }
  // A key identifies the row when it is primary, or unique and not writable.
  bool bIdentifiesRow() const { return bIsPrimary() || (bIsUnique() && !bIsWritable()); }
  // Not writable: primary key flag 0x8000, the automatic identifiers 1 and
  // 28, generated columns.
  bool bIsWritable() const;

  // Parts of a composite key, counted from 1 (null outside).
  int nGetPartCount() const { return static_cast<int>(m_apParts.size()); }
  CNAColumn* pclGetPart(int n) const;
  // Appends a part with a reference; a composite column grows by the
  // part's data length of all values (twice that for type 29). The part's
  // direction in this key is its own (0x400), or the one given: a column
  // may be ascending in one index and descending in another.
  void AddPart(CNAColumn* part);
  void AddPart(CNAColumn* part, bool descending);
  // Whether part n (from 1) runs descending in this key; for a key that is
  // not composite, part 1 is the column itself.
  bool bIsPartDescending(int n) const;

  // --- flags, defaults, generation --------------------------------------
  uint32_t nGetColumnFlags() const { return m_nColumnFlags; }
  void SetColumnFlags(uint32_t flags) { m_nColumnFlags = flags; }
  bool bIsNullable() const { return (m_nColumnFlags & kNAColFlagNotNull) == 0; }
  void SetNullable(bool nullable);
  bool bHasDefault() const { return (m_nColumnFlags & kNAColFlagNoDefault) == 0; }
  // Clears the no-default bit when a default text is given, sets it else.
  void SetDefaultPresence(const char16_t* default_text);
  const char16_t* pszGetDefaultText() const { return m_clDefaultText.pszGet(); }
  void SetDefaultText(const char16_t* text) { m_clDefaultText.Set(text); }
  const CAny& clGetDefault() const { return m_clDefault; }
  CAny& clGetDefault() { return m_clDefault; }
  // Copies the value, clears the default source text, retypes to the class.
  void SetDefault(const CAny& value);
  bool bHasGeneration() const {
    return (m_nColumnFlags & kNAColFlagGenerated) != 0 || !m_clGeneration.bEstVide();
  }
  const char16_t* pszGetGeneration() const { return m_clGeneration.pszGet(); }
  bool bIsGenerationStored() const {
    return bHasGeneration() && (m_nColumnFlags & kNAColFlagStoredGenerated) != 0;
  }
  // Stores the expression, sets the no-default bit and sets or clears the
  // stored bit.
  void SetGeneration(const char16_t* expression, bool stored);
  uint32_t nGetHostLink() const { return m_nHostLink; }
  void SetHostLink(uint32_t link) { m_nHostLink = link; }

  CNARefCounted* pclGetAttached(int n) const { return n == 0 ? m_pAttached1 : m_pAttached2; }

  // --- definitions ------------------------------------------------------
  // Copies element count, size, type, default text, digits (type 31) and
  // scale (31, 11, 24), the attribute; the automatic identifiers become
  // plain integers (1 -> 19, 28 -> 5).
  void CopyDefinition(const CNAColumn& source);
  // The definition as above but keeping automatic identifiers when keyed;
  // owner and attribute texts; the key flags rebuilt from a key source;
  // SQL name and table from the source.
  void UpdateFromSource(const CNAColumn& source, bool keyed, int key_number);
  // Whether every value of `other` fits in this column; with
  // `unicode_as_narrow` UTF-16 types count as their 8-bit forms.
  bool bCanHold(const CNAColumn& other, bool unicode_as_narrow) const;
  // Makes the column an automatic identifier: 19 and 20 become 1; 3, 4, 5,
  // 9, 12 and 22 become 28 of size 4.
  void PromoteToAutoId();
  // A copy of everything but the parts, with `key_number`; option bit 0
  // gives a plain non-large column the key flags 0x2800; option bit 1 makes
  // types 14 and 24 type 2 (the default then large text "0" when the class
  // changes). Null when the memory cannot be had.
  CNAColumn* pclCloneWithoutParts(int key_number, int options) const;

 private:
  void RetypeDefault();

  CTString m_clName;
  CTString m_clOwnerText;
  CTString m_clAttributeText;
  CTString m_clDefaultText;
  int m_nAttribute = 0;
  int m_nElementCount = 1;
  int m_nSize = 0;
  int m_nKeyNumber = -1;
  int m_nType = 2;
  int m_nOrdinal = 0;
  int m_nReserved = -1;
  uint16_t m_nKeyFlags = 0;
  int m_nRecordOffset = -1;
  int m_nSlotIndex = -1;
  CAny m_clDefault;
  CTString m_clDefaultSource;
  int m_nPrecision = 0;
  int m_nScale = 0;
  CTString m_clTable;
  CTString m_clBaseName;
  CTString m_clSQLName;
  CNARefCounted* m_pAttached1 = nullptr;
  CNARefCounted* m_pAttached2 = nullptr;
  CTString m_clGeneration;
  uint32_t m_nHostLink = 0;
  uint32_t m_nColumnFlags = 0;
  std::vector<CNAColumn*> m_apParts;
  std::vector<bool> m_abPartDescending;  // one per part
  CTString m_clDateMask;
};

#endif  // QG_DRIVER_SQL_COLUMN_H_
