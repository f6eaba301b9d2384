#include "driver/sql/descriptor.h"

#include <new>

#include "driver/core/connection.h"
#include "driver/core/manager.h"
#include "driver/sql/item.h"
#include "driver/sql/value.h"

namespace {

template <class T>
void Hold(T** slot, T* object) {
  if (object != nullptr) AddRefBoth(object);
  if (*slot != nullptr) ReleaseBoth(*slot);
  *slot = object;
}

}  // namespace

CNADescriptor::~CNADescriptor() {
  Hold<CNAValue>(&m_pValue, nullptr);
  Hold<CNAItem>(&m_pItem, nullptr);
  Hold<CNAConnection>(&m_pConnection, nullptr);
}

CNADescriptor* CNADescriptor::pclCreate(CNAConnection* connection, int32_t first,
                                        int32_t second, const char16_t* name, CNAItem* item,
                                        CNAValue* value, char16_t escape) {
  CNAManager* manager = NAGetManager();
  CNADescriptor* made = manager != nullptr ? manager->pclNewDescriptorObject() : nullptr;
  if (made == nullptr) made = new (std::nothrow) CNADescriptor;
  if (made == nullptr) return nullptr;
  AddRefBoth(made);
  made->Init(connection, first, second, name);
  made->SetItem(item);
  made->SetValue(value);
  made->SetEscape(escape);
  return made;
}

void CNADescriptor::Init(CNAConnection* connection, int32_t first, int32_t second,
                         const char16_t* name) {
  Hold(&m_pConnection, connection);
  m_nFirst = first;
  m_nSecond = second;
  m_strName.Set(name);
}

void CNADescriptor::SetItem(CNAItem* item) { Hold(&m_pItem, item); }
void CNADescriptor::SetValue(CNAValue* value) { Hold(&m_pValue, value); }

bool CNADescriptor::bEquals(const CNADescriptor& other) const {
  if (m_nFirst != other.m_nFirst || m_nSecond != other.m_nSecond) return false;
  if (m_pItem == nullptr || other.m_pItem == nullptr) return m_pItem == other.m_pItem;
  const char16_t* a = m_pItem->pszGetName();
  const char16_t* b = other.m_pItem->pszGetName();
  return CTString(a != nullptr ? a : u"").bEstEgalI(b != nullptr ? b : u"");
}
