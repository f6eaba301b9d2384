// Filters over the column items of a logical file description: how a leaf
// writes an item (its SQL name quoted by the connection, qualified when
// asked, with its column's types), leaves on items, and the key table that
// key filters read a file description through.
#ifndef QG_DRIVER_SQL_ITEM_FILTER_H_
#define QG_DRIVER_SQL_ITEM_FILTER_H_

#include <string>
#include <vector>

#include "driver/sql/filter.h"
#include "driver/sql/key_filter.h"

class CNAConnection;
class CNAFileDescription;
class CNAItem;

// The leaf form of an item: the item (identity in null lists), its SQL
// name (else its name) quoted by the connection and preceded by the quoted
// qualifier and "." when one is given, its column's type codes and
// nullability. Without a connection names are written as they are. False
// when the item has no column or a name cannot be quoted.
bool bDescribeFilterItem(CNAItem& item, CNAConnection* connection, const char16_t* qualifier,
                         NAFilterColumn* out, CNAError* error);

// A leaf comparing an item with a value; one reference, null on failure
// (error says why).
CNAFilter* pclNewItemLeaf(int op, CNAItem& item, CNAConnection* connection, const CAny& value,
                          unsigned flags, const char16_t* qualifier, CNAError* error);

// A file description seen by key filters: columns are found as its items,
// values read from its current record, the identification order is its
// keys list. Holds one reference on the description.
class CNAFileKeyTable : public CNAKeyTable {
 public:
  // connection: the quoting connection (null: the description's own).
  CNAFileKeyTable(CNAFileDescription* description, CNAConnection* connection = nullptr,
                  const char16_t* qualifier = nullptr);
  ~CNAFileKeyTable() override;

  bool bDescribe(const CNAColumn& column, NAFilterColumn* out) override;
  bool bReadCurrentValue(const CNAColumn& column, CAny* out, CNAError* error) override;
  bool bHasValue(const CNAColumn& column) override;
  const CNAColumn* pclGetIdentifyingKey(CNAError* error) override;
  std::vector<const CNAColumn*> KeyOrder() override;
  bool bPrefixIsUnique(const CNAColumn* const* parts, int count) override;
  uint32_t nGetCodePage() override;

  CNAFileDescription* pclGetDescription() const { return m_pDescription; }
  CNAConnection* pclGetConnection() const { return m_pConnection; }
  const std::u16string& GetQualifier() const { return m_strQualifier; }
  // The item of a column: the description's item for it, or the item
  // whose column is that very object.
  CNAItem* pclItemOf(const CNAColumn& column) const;

 private:
  CNAFileDescription* m_pDescription;  // one reference
  CNAConnection* m_pConnection;        // one reference, may be null
  std::u16string m_strQualifier;
};

#endif  // QG_DRIVER_SQL_ITEM_FILTER_H_
