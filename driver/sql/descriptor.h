// CNADescriptor: one place in a statement text where a value goes: its
// position in the text (-1 until placed), the item it stands for (the
// linked object), the bound value (the sub-object), the escape character of
// a pattern, two integers (kind and flags, as the statement's writer sets
// them) and a name. Reference-counted; it holds one reference on its
// connection, its item and its value.
#ifndef QG_DRIVER_SQL_DESCRIPTOR_H_
#define QG_DRIVER_SQL_DESCRIPTOR_H_

#include <cstdint>

#include "driver/core/refcounted.h"
#include "support/ctstring.h"

class CNAConnection;
class CNAItem;
class CNAValue;

class CNADescriptor : public CNARefCounted {
 public:
  CNADescriptor() = default;
  ~CNADescriptor() override;

  // A descriptor from the driver manager's factory (a plain one when it
  // has none) with the connection, the integers and the name, then the
  // item, the value and the escape character; one reference for the
  // caller. Null when memory runs out.
  static CNADescriptor* pclCreate(CNAConnection* connection, int32_t first, int32_t second,
                                  const char16_t* name, CNAItem* item, CNAValue* value,
                                  char16_t escape);

  void Init(CNAConnection* connection, int32_t first, int32_t second, const char16_t* name);
  CNAConnection* pclGetConnection() const { return m_pConnection; }
  int32_t nGetFirst() const { return m_nFirst; }
  int32_t nGetSecond() const { return m_nSecond; }
  const char16_t* pszGetName() const { return m_strName.pszGet(); }
  int64_t nGetPosition() const { return m_nPosition; }
  void SetPosition(int64_t position) { m_nPosition = position; }
  // Each takes a reference and drops the one held before.
  void SetItem(CNAItem* item);
  void SetValue(CNAValue* value);
  CNAItem* pclGetItem() const { return m_pItem; }
  CNAValue* pclGetValue() const { return m_pValue; }
  char16_t nGetEscape() const { return m_nEscape; }
  void SetEscape(char16_t escape) { m_nEscape = escape; }

  // The integers match and the items have the same name (case ignored),
  // or neither has an item.
  bool bEquals(const CNADescriptor& other) const;

 private:
  CNAConnection* m_pConnection = nullptr;
  int32_t m_nFirst = 0;
  int32_t m_nSecond = 0;
  CTString m_strName;
  int64_t m_nPosition = -1;
  CNAItem* m_pItem = nullptr;
  CNAValue* m_pValue = nullptr;
  char16_t m_nEscape = 0;
};

#endif  // QG_DRIVER_SQL_DESCRIPTOR_H_
