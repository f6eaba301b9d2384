// CNAFileDescription: the driver's view of one table as the host program
// declared it: one item per column in column order (composite keys after
// the plain items), the keys that identify a record, the table's row buffer
// and two record images, the current record and the saved one.
//
// The items are built from a table description whose row layout the row
// buffers follow. Plain items' converters point into the current image's
// row buffer; whenever that buffer object is replaced the items are bound
// again, so no converter outlives its buffer.
//
// Reference-counted (two counters). Holds one reference on its table
// description, its connection, every item, the row buffer and both images.
// Items point back to it without a reference; it clears those pointers when
// it goes. No lock: used under its session's lock.
#ifndef QG_DRIVER_SQL_FILE_DESCRIPTION_H_
#define QG_DRIVER_SQL_FILE_DESCRIPTION_H_

#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/refcounted.h"
#include "support/ctstring.h"

class CNAColumn;
class CNAConnection;
class CNAError;
class CNAItem;
class CNARecordIdentifier;
class CNARecordImage;
class CNARowBuffer;
class CNATableDescription;
class INACopyContext;

class CNAFileDescription : public CNARefCounted {
 public:
  CNAFileDescription();
  ~CNAFileDescription() override;

  // --- set-up before bBuild -----------------------------------------------
  // Columns are matched by name (default) or by ordinal.
  void SetMatchByName(bool by_name) { m_bMatchByName = by_name; }
  bool bMatchesByName() const { return m_bMatchByName; }
  // An explicit key order: item names in identification order.
  void SetKeyOrder(std::vector<std::u16string> names) { m_astrKeyOrder = std::move(names); }
  // The prefix of qualified item names (empty: none).
  void SetPrefix(const char16_t* prefix) { m_strPrefix.Set(prefix); }
  const char16_t* pszGetPrefix() const { return m_strPrefix.pszGet(); }

  // --- virtual operations in slot order ---
  // The item of that SQL name in `items` (case ignored), null when none.
  virtual CNAItem* pclFindItemBySqlName(const std::vector<CNAItem*>& items,
                                        const char16_t* name) const;          // 2
  // Takes the description (and its connection), makes the row buffer and
  // the images, adds one item per column (with the column of the same
  // name in `name_source` as its source, when given), then one per
  // composite key with its parts, and orders the keys. A description
  // without columns is an internal error.
  virtual bool bBuild(CNATableDescription* description, const CNATableDescription* name_source,
                      CNAError* error);                                          // 3
  // The current record's flag word becomes 128 (invalid).
  virtual void MarkCurrentInvalid();                                          // 4
  // A deep copy of `other` within the copy context (may be null): its own
  // row buffer, images and items; the table description and the connection
  // are the context's copies of them when it holds some, else shared.
  // False when memory runs out.
  virtual bool CopyFrom(const CNAFileDescription& other, INACopyContext* context,
                        CNAError* error);                                        // 5
  // A new description copied from this one (no reference taken); null when
  // it cannot be made.
  virtual CNAFileDescription* pclClone(INACopyContext* context, CNAError* error) const;  // 6
  // A new item through the driver manager's item factory (a plain item
  // when it has none).
  virtual CNAItem* pclNewItem();                                              // 7
  // The identifier of a record image: the whole row (kind 1) here; a
  // subclass may make another. Null when memory runs out.
  virtual CNARecordIdentifier* pclNewRecordIdentifier();                       // 8

  // --- items and keys -------------------------------------------------------
  // Creates the item, appends it to the lists it belongs to and binds it.
  bool bAddItem(CNAColumn* column, CNAColumn* source, CNAError* error);
  // By ordinal, or by schema and table names (when both sides have them)
  // and column name; null when none matches.
  CNAItem* pclFindItemForColumn(const CNAColumn* column) const;
  // The item of that name (case ignored), null when none.
  CNAItem* pclFindItemByName(const char16_t* name) const;
  int nGetItemCount() const { return static_cast<int>(m_apItems.size()); }
  CNAItem* pclGetItem(int i) const;
  int nGetItemIndex(const CNAItem* item) const;
  int nGetKeyCount() const { return static_cast<int>(m_apKeys.size()); }
  CNAItem* pclGetKey(int i) const;
  const std::vector<CNAItem*>& GetKeys() const { return m_apKeys; }
  const std::vector<CNAItem*>& GetLargeObjects() const { return m_apLargeObjects; }
  const std::vector<CNAItem*>& GetUniqueComposites() const { return m_apUniqueComposites; }
  CNAItem* pclGetAutoIdItem() const { return m_pAutoId; }
  CNAItem* pclGetKeyItem() const { return m_pKeyItem; }
  // The identification order (see the source); rebuilt by bBuild.
  void OrderKeys();
  // The key item when it has a value; else the first key when it is a
  // unique key with a value; else the first unique-key item with a value;
  // else null.
  CNAItem* pclGetIdentifyingKey(CNAError* error) const;
  // The first count - 1 of `parts` are exactly the parts of a unique
  // composite key.
  bool bPrefixIsUnique(CNAItem* const* parts, int count) const;

  // --- records ----------------------------------------------------------------
  CNATableDescription* pclGetTableDescription() const { return m_pDescription; }
  CNAConnection* pclGetConnection() const { return m_pConnection; }
  CNARowBuffer* pclGetRowBuffer() const { return m_pRow; }
  CNARecordImage* pclGetCurrentImage() const { return m_pCurrent; }
  CNARecordImage* pclGetSavedImage() const { return m_pSaved; }
  CNARowBuffer* pclGetCurrentRow() const;
  CNARowBuffer* pclGetSavedRow() const;
  // Copies the row (same layout) into the current record and brings every
  // plain item's converter in step with it.
  bool bSetCurrentRow(const CNARowBuffer& row, CNAError* error);
  bool bSaveCurrentRecord(CNAError* error);
  bool bRestoreSavedRecord(CNAError* error);
  bool bCopyRecordTo(CNARecordImage* image, CNAError* error) const;
  bool bSameAsCurrent(const CNARecordImage& image) const;
  bool bIsRepositioned() const { return m_bRepositioned; }
  // Drops and remakes the row buffer and both images, then binds every
  // item. On failure the description has no images.
  bool bInitRecordBuffers(CNAError* error);
  // Binds every item again when the current row buffer object changed, and
  // puts every large object's converter back into the current value list.
  bool bRebindItems(CNAError* error, bool force = false);

  // The record dump (lines end with CR LF).
  bool bDump(std::u16string* out, CNAError* error);

 private:
  void DropImages();
  void DropItems();
  bool bGiveCompositeParts(CNAItem* key);
  void AddKeyParts(CNAItem* item, int limit, std::vector<CNAItem*>* keys) const;

  CNATableDescription* m_pDescription = nullptr;
  CNAConnection* m_pConnection = nullptr;
  std::vector<CNAItem*> m_apItems;
  CNAItem* m_pAutoId = nullptr;
  CNAItem* m_pKeyItem = nullptr;
  CNARowBuffer* m_pRow = nullptr;
  CNARecordImage* m_pSaved = nullptr;
  CNARecordImage* m_pCurrent = nullptr;
  bool m_bRepositioned = false;
  std::vector<CNAItem*> m_apKeys;
  std::vector<CNAItem*> m_apLargeObjects;
  std::vector<CNAItem*> m_apUniqueComposites;
  bool m_bMatchByName = true;
  std::vector<std::u16string> m_astrKeyOrder;
  CTString m_strPrefix;
  // The current row buffer the items were last bound to.
  const CNARowBuffer* m_pBoundRow = nullptr;
};

#endif  // QG_DRIVER_SQL_FILE_DESCRIPTION_H_
