#include "driver/sql/select_expression.h"

#include <new>

#include "driver/core/host_interfaces.h"
#include "driver/sql/item.h"
#include "driver/sql/value_converter.h"

const char16_t kNARowCountExpression[] = u"COUNT(*) AS QGACCESNATIF_NBENR";

namespace {

template <class T>
void Hold(T** slot, T* object) {
  if (object != nullptr) AddRefBoth(object);
  if (*slot != nullptr) ReleaseBoth(*slot);
  *slot = object;
}

}  // namespace

CNASelectExpression::~CNASelectExpression() {
  Hold<CNAValue>(&m_pBound, nullptr);
  Hold<CNAItem>(&m_pItem, nullptr);
}

CNASelectExpression* CNASelectExpression::pclNewCount(CNAValue* object) {
  auto* entry = new (std::nothrow) CNASelectExpression;
  if (entry == nullptr) return nullptr;
  AddRefBoth(entry);
  entry->m_strExpression.Set(kNARowCountExpression);
  Hold(&entry->m_pBound, object);
  return entry;
}

CNASelectExpression* CNASelectExpression::pclNewItem(CNAItem* item) {
  auto* entry = new (std::nothrow) CNASelectExpression;
  if (entry == nullptr) return nullptr;
  AddRefBoth(entry);
  Hold(&entry->m_pItem, item);
  Hold<CNAValue>(&entry->m_pBound, item != nullptr ? item->pclGetConverter() : nullptr);
  return entry;
}

bool CNASelectExpression::CopyFrom(const CNASelectExpression& other, INACopyContext* context) {
  if (&other == this) return true;
  if (context != nullptr && context->pFindCopy(&other) == nullptr) {
    context->bRegisterCopy(&other, this);
  }
  m_strExpression = other.m_strExpression;
  CNAItem* item = other.m_pItem;
  CNAItem* made = nullptr;
  if (item != nullptr && context != nullptr) {
    void* copy = context->pFindCopy(item);
    if (copy != nullptr) {
      item = static_cast<CNAItem*>(copy);
    } else {
      made = item->pclClone(context);  // registers itself
      if (made == nullptr) return false;
      item = made;
    }
  }
  Hold(&m_pItem, item);
  CNAValue* bound = other.m_pBound;
  CNAValue* made_bound = nullptr;
  if (bound != nullptr && context != nullptr) {
    void* copy = context->pFindCopy(bound);
    if (copy != nullptr) {
      bound = static_cast<CNAValue*>(copy);
    } else if (made != nullptr && made->pclGetConverter() != nullptr) {
      bound = made->pclGetConverter();
    } else {
      made_bound = bound->pclClone(context, 0, 0);
      if (made_bound == nullptr) return false;
      if (context->pFindCopy(other.m_pBound) == nullptr) context->bRegisterCopy(other.m_pBound, made_bound);
      bound = made_bound;
    }
  }
  Hold(&m_pBound, bound);
  return true;
}

CNASelectExpression* CNASelectExpression::pclClone(INACopyContext* context) const {
  auto* copy = new (std::nothrow) CNASelectExpression;
  if (copy == nullptr) return nullptr;
  if (!copy->CopyFrom(*this, context)) {
    if (context != nullptr && context->pFindCopy(this) == copy) context->ForgetCopy(this);
    AddRefBoth(copy);
    ReleaseBoth(copy);
    return nullptr;
  }
  return copy;
}
