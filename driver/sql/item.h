// CNAItem: one item of a table as the host program sees it. It ties a column
// description to a value converter and to the logical file description that
// owns it, reads and writes the item's value in the owner's current row,
// tells whether the item may be written and renders its value for dumps.
//
// A composite key is an item too: it has no storage of its own and is
// assembled from its parts (items of the same owner). A large object keeps
// its value in the item's converter, which is also the entry of the current
// record's value list at the item's position in its owner.
//
// A plain item's converter points at the column's bytes inside the owner's
// current row buffer. The owner rebinds every item whenever that row buffer
// is replaced, so the pointer never outlives the buffer.
//
// Reference-counted (two counters). The item holds one reference on its
// column, its source, its dependent items and its converter; the owner is a
// plain back pointer that the owner clears when it goes. No lock: items are
// used under their session's lock.
#ifndef QG_DRIVER_SQL_ITEM_H_
#define QG_DRIVER_SQL_ITEM_H_

#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/refcounted.h"
#include "support/any.h"
#include "support/ctstring.h"

class CNAColumn;
class CNAError;
class CNAFileDescription;
class CNARecordImage;
class CNARowBuffer;
class CNAValueConverter;
class INACopyContext;

// Each value's text in a dump is cut to this many characters.
constexpr size_t kNADumpValueLimit = 500;

// bCanUpdate / bCanInsert flags: large objects take part.
constexpr int kNAWriteLargeInsert = 1;
constexpr int kNAWriteLargeUpdate = 2;

class CNAItem : public CNARefCounted {
 public:
  CNAItem();
  ~CNAItem() override;

  // Sets the owner (not counted), the column and the source (one reference
  // each; the source may be null). Names are taken from the column.
  void Init(CNAFileDescription* owner, CNAColumn* column, CNAColumn* source);

  // --- virtual operations in slot order ---
  // Creates the converter on first use and points it at the item's value:
  // the converter itself for a large object (which `record`'s value list
  // then holds), else the column's bytes in the owner's current row.
  virtual bool bBindConverter(CNARecordImage* record, CNAError* error);         // 2
  virtual void SetSource(CNAColumn* source);                                   // 3
  // Name and SQL name from the column.
  virtual bool bResolveNames(CNAError* error);                                 // 4
  virtual bool bIsAutoIdentifier() const;                                      // 5
  virtual const char16_t* pszGetName() const;                                  // 6
  virtual const char16_t* pszGetSqlName() const;                               // 7
  // The value in the current record (null when absent); a composite key
  // packs its parts into one binary value.
  virtual bool bReadValue(CAny& out, int flag, CNAError* error);                // 8
  virtual bool bReadSavedValue(CAny& out, int flag, CNAError* error);           // 9
  // Replaces `out` by the dump text (see bDumpValue in the source). The
  // result of the read, 1 when nothing was read.
  virtual bool bDumpValue(std::u16string* out, bool with_name, CNAError* error);  // 10
  virtual bool bWriteValue(const CAny& value, int flag, CNAError* error);       // 11
  virtual bool bHasChanged();                                                  // 12
  virtual bool bHasValue();                                                    // 13
  virtual bool bIsPresentInSavedRow();                                         // 14
  virtual bool bNormalise(CNAError* error);                                    // 15
  // Record items only: writes the converter's value into a record.
  virtual bool bStoreInRecord(CNARecordImage* /*record*/, int /*position*/, int /*flags*/,
                              CNAError* /*error*/) {
    return false;
  }                                                                            // 16
  virtual void SetPendingText(const char16_t* text);                           // 17
  // The item's bytes in the current row and their size; null for a
  // composite key, a large object or an unbound item.
  virtual const uint8_t* pGetValueImage(int* size);                           // 18
  virtual bool bReadValueDefault(CAny& out, CNAError* error) {
    return bReadValue(out, 0, error);
  }                                                                            // 19
  virtual bool bCanUpdate(int flags) const;                                    // 20
  virtual bool bCanInsert(int flags) const;                                    // 21
  // The value of `other` (another item, usually of another record) written
  // into this one.
  virtual bool bAssignValue(CNAItem* other, CNAError* error);                  // 22
  // Column, source, names, owner and dependent items (these two through the
  // copy context when it has their copies), the pending text. The converter
  // is not copied: the copy binds its own.
  virtual void CopyFrom(const CNAItem& other, INACopyContext* context);         // 23
  // A new item of the same class copied from this one (no reference
  // taken); null when memory runs out.
  virtual CNAItem* pclClone(INACopyContext* context) const;                    // 24

  // --- non-virtual ---
  CNAColumn* pclGetColumn() const { return m_pColumn; }
  CNAColumn* pclGetSource() const { return m_pSource; }
  CNAFileDescription* pclGetOwner() const { return m_pOwner; }
  void SetOwner(CNAFileDescription* owner) { m_pOwner = owner; }
  CNAValueConverter* pclGetConverter() const { return m_pConverter; }
  bool bIsCompositeKey() const;
  bool bIsLargeObject() const;
  // Key flags of the column: unique (0x4000 or 0x8000), with duplicates.
  bool bIsUniqueKey() const;
  bool bIsKey() const;
  bool bIsWritable() const;
  int nGetIndexInOwner() const;
  // Plain: the item's name; otherwise the name a query gave it, else the
  // owner's prefix (when it has one) and the SQL name. Built once.
  const char16_t* pszGetQualifiedName(bool plain);
  // The name a query qualifies the item by (its source and column, quoted
  // by the connection): the non-plain qualified name from then on.
  void SetQualifiedName(const char16_t* name);
  // The column's place in the owner's row layout, -1 when unbound.
  int nGetRowColumn() const { return m_nRowColumn; }
  bool bHasPendingText() const { return m_bPending; }
  const char16_t* pszGetPendingText() const { return m_strPending.pszGet(); }

  // Composite keys: the parts (items of the same owner, one reference
  // each), from 1.
  int nGetPartCount() const { return static_cast<int>(m_apParts.size()); }
  CNAItem* pclGetPart(int n) const;
  void AddPart(CNAItem* part);
  void ClearParts();
  // The byte size a part takes in a packed composite value, the rule key
  // values are decoded by (nKeyPartSize): its size, one byte less for
  // column type 2 and two less for type 29.
  static int nPackedPartSize(const CNAColumn& part);

 protected:
  bool bReadFrom(CNARowBuffer* row, CAny& out, bool saved, CNAError* error);
  bool bApplyPendingText(CNAError* error);
  void SetConverterNull(bool null);
  CNARowBuffer* pclCurrentRow() const;
  CNARowBuffer* pclSavedRow() const;
  int nResolveRowColumn(CNARowBuffer* row);

  CNAColumn* m_pColumn = nullptr;
  CNAColumn* m_pSource = nullptr;
  CTString m_strQualified;
  bool m_bQualifiedBuilt = false;
  bool m_bQualifiedPlain = false;
  // The name a query qualifies the item by; empty when none was given.
  CTString m_strQueryQualified;
  CNAFileDescription* m_pOwner = nullptr;
  std::vector<CNAItem*> m_apParts;  // the dependent items
  CTString m_strName;
  CTString m_strSqlName;
  CTString m_strPrefix;
  CTString m_strFourth;
  CNAValueConverter* m_pConverter = nullptr;
  bool m_bPending = false;
  CTString m_strPending;
  int m_nRowColumn = -1;
};

// The item class of the record cache's records: its slot 16 writes the
// converter's value into a record.
class CNARecordItem : public CNAItem {
 public:
  // Large object: the pending text is applied and the converter handed to
  // the record's value list at `position`; every item: the column's null
  // bit in the record's row follows the converter. A large object whose
  // store failed becomes null and the answer is 0.
  bool bStoreInRecord(CNARecordImage* record, int position, int flags,
                      CNAError* error) override;
  CNAItem* pclClone(INACopyContext* context) const override;
};

#endif  // QG_DRIVER_SQL_ITEM_H_
