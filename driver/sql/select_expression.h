// CNASelectExpression: one entry of a generated SELECT's select list: the
// item a result column stands for, with the item's bound value, or an
// expression (the row count) with the object it was made for. Lets a
// statement bind its result columns back to items. Reference-counted; it
// holds one reference on its item and on its bound object.
#ifndef QG_DRIVER_SQL_SELECT_EXPRESSION_H_
#define QG_DRIVER_SQL_SELECT_EXPRESSION_H_

#include "driver/core/refcounted.h"
#include "support/ctstring.h"

class CNAItem;
class CNAValue;
class INACopyContext;

// The row-count expression of a select list.
extern const char16_t kNARowCountExpression[];

class CNASelectExpression : public CNARefCounted {
 public:
  CNASelectExpression() = default;
  ~CNASelectExpression() override;

  // The row-count entry, bound to `object` (may be null); an item entry,
  // bound to the item's converter. One reference for the caller; null when
  // memory runs out.
  static CNASelectExpression* pclNewCount(CNAValue* object);
  static CNASelectExpression* pclNewItem(CNAItem* item);

  CNAItem* pclGetItem() const { return m_pItem; }
  const char16_t* pszGetExpression() const { return m_strExpression.pszGet(); }
  CNAValue* pclGetBound() const { return m_pBound; }
  bool bIsCount() const { return m_pItem == nullptr && !m_strExpression.bEstVide(); }

  // Registers the pair in the copy context when it is new, then copies the
  // text; the item and the bound object become the context's copies of
  // them, or new copies made through their own copy operations (a new
  // item's own value, when it has one, is the copy of the bound value).
  // Without a context both are shared. False when a copy cannot be made.
  virtual bool CopyFrom(const CNASelectExpression& other, INACopyContext* context);  // 3
  // A new entry copied from this one (no reference taken); null when it
  // cannot be made (the context then forgets it).
  virtual CNASelectExpression* pclClone(INACopyContext* context) const;               // 4

 private:
  CNAItem* m_pItem = nullptr;
  CTString m_strExpression;
  CNAValue* m_pBound = nullptr;
};

#endif  // QG_DRIVER_SQL_SELECT_EXPRESSION_H_
