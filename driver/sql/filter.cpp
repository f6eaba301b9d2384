#include "driver/sql/filter.h"

#include <new>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/sql/query.h"
#include "driver/sql/sql_generator.h"

namespace {

// Component number of filters in internal errors.
constexpr uint32_t kSite = 14;
// Message: not enough memory.
constexpr uint32_t kMessageNoMemory = 12;
// Message: the operation is not available.
constexpr uint32_t kMessageUnavailable = 13;

bool bIsTwoChildOperator(int op) { return op == kNAFilterOr || op == kNAFilterAnd; }
bool bIsConstant(int op) { return op == kNAFilterFalse || op == kNAFilterTrue; }

// The constant that decides an AND (false) or an OR (true) alone.
int nAbsorbing(int op) { return op == kNAFilterAnd ? kNAFilterFalse : kNAFilterTrue; }

bool bIsNarrowTextColumn(int t) { return t == 2 || t == 15 || t == 26; }
bool bIsTextColumn(int t) { return bIsNarrowTextColumn(t) || t == 29 || t == 30; }
bool bIsDateColumn(int t) { return t == 11 || t == 14 || t == 24; }

}  // namespace

CNAFilter::~CNAFilter() {
  NARelease(m_pLeft);
  NARelease(m_pRight);
  NARelease(m_pText);
}

void CNAFilter::SetTextCondition(CNAQuery* query) {
  AddRefBoth(query);
  NARelease(m_pText);
  m_pText = query;
  m_nOperator = kNAFilterText;
  m_nFlags = 0;
  SetChildren(nullptr, nullptr);
}

CNAFilter* CNAFilter::pclNewTextCondition(CNAQuery* query) {
  CNAFilter* node = new (std::nothrow) CNAFilter;
  if (node == nullptr) return nullptr;
  AddRefBoth(node);
  node->SetTextCondition(query);
  return node;
}

CNAFilter* CNAFilter::pclNewNode() const {
  CNAFilter* node = new (std::nothrow) CNAFilter;
  AddRefBoth(node);
  return node;
}

void CNAFilter::SetChildren(CNAFilter* left, CNAFilter* right) {
  AddRefBoth(left);
  AddRefBoth(right);
  NARelease(m_pLeft);
  NARelease(m_pRight);
  m_pLeft = left;
  m_pRight = right;
}

void CNAFilter::CopyFrom(const CNAFilter& other) {
  if (&other == this) return;
  m_nOperator = other.m_nOperator;
  m_column = other.m_column;
  m_clValue = other.m_clValue;
  m_nFlags = other.m_nFlags;
  AddRefBoth(other.m_pText);
  NARelease(m_pText);
  m_pText = other.m_pText;
  CNARefPtr<CNAFilter> left(other.m_pLeft != nullptr ? other.m_pLeft->pclClone() : nullptr);
  CNARefPtr<CNAFilter> right(other.m_pRight != nullptr ? other.m_pRight->pclClone() : nullptr);
  SetChildren(left.Get(), right.Get());
  if (m_pNullList) m_pNullList->Clear();
}

CNAFilter* CNAFilter::pclClone() const {
  CNAFilter* node = pclNewNode();
  if (node != nullptr) node->CopyFrom(*this);
  return node;
}

CNAFilter* CNAFilter::pclNewBinary(int op, CNAFilter* left, CNAFilter* right, unsigned flags) {
  CNAFilter* node = new (std::nothrow) CNAFilter;
  if (node == nullptr) return nullptr;
  AddRefBoth(node);
  node->m_nOperator = op;
  node->m_nFlags = flags;
  node->SetChildren(left, right);
  return node;
}

CNAFilter* CNAFilter::pclNewLeaf(int op, const NAFilterColumn& column, const CAny& value,
                                 unsigned flags) {
  CNAFilter* node = new (std::nothrow) CNAFilter;
  if (node == nullptr) return nullptr;
  AddRefBoth(node);
  node->m_nOperator = op;
  node->m_column = column;
  node->m_clValue = value;
  node->m_nFlags = flags;
  return node;
}

CNAFilter* CNAFilter::pclNewConstant(bool truth) {
  return pclNewLeaf(truth ? kNAFilterTrue : kNAFilterFalse, NAFilterColumn{}, CAny{}, 0);
}

CNAFilter* CNAFilter::pclAnd(CNAFilter* other) {
  return pclNewBinary(kNAFilterAnd, this, other, m_nFlags);
}

CNAFilter* CNAFilter::pclRebuild() const {
  CNARefPtr<CNAFilter> left(m_pLeft != nullptr ? m_pLeft->pclRebuild() : nullptr);
  CNARefPtr<CNAFilter> right(m_pRight != nullptr ? m_pRight->pclRebuild() : nullptr);
  if ((m_pLeft != nullptr && !left) || (m_pRight != nullptr && !right)) return nullptr;
  CNAFilter* node = pclNewLeaf(m_nOperator, m_column, m_clValue, m_nFlags);
  if (node != nullptr) {
    node->SetChildren(left.Get(), right.Get());
    node->m_pText = NAAddRef(m_pText);
  }
  return node;
}

void CNAFilter::FoldTo(int op) {
  m_nOperator = op;
  SetChildren(nullptr, nullptr);
}

CNANameList* CNAFilter::pclNullList(CNAError* error) {
  if (!m_pNullList) m_pNullList.reset(new (std::nothrow) CNANameList);
  if (!m_pNullList) {
    NASetErrorMessage(error, 0, kSite, 1, nullptr, kMessageNoMemory);
    return nullptr;
  }
  return m_pNullList.get();
}

void CNAFilter::Normalise(bool null_first) {
  if (m_pLeft != nullptr) m_pLeft->Normalise(null_first);
  if (m_pRight != nullptr) m_pRight->Normalise(null_first);
  if (m_pLeft == nullptr && m_pRight == nullptr && m_column.nVeliscType != 0 &&
      ((m_nOperator >= kNAFilterEqual && m_nOperator <= kNAFilterLessEqual) ||
       m_nOperator == kNAFilterNotEqual)) {
    m_nOperator = nNormaliseLeafOperator(m_nOperator, m_column.nVeliscType, m_clValue, null_first);
  }
}

bool CNAFilter::bWritesNothing() const {
  if (m_nOperator == kNAFilterEmpty) return true;
  if (bIsTwoChildOperator(m_nOperator)) {
    return m_pLeft != nullptr && m_pRight != nullptr && m_pLeft->bWritesNothing() &&
           m_pRight->bWritesNothing();
  }
  if (m_nOperator == kNAFilterNot) return m_pLeft == nullptr || m_pLeft->bWritesNothing();
  return false;
}

bool CNAFilter::bWrite(CNASQLGenerator& generator, int parent_op,
                       const NAFilterWriteOptions& options, bool* folded, CNAError* error) {
  if (parent_op == 0) {
    CNAConnection* connection = generator.pclGetConnection();
    Normalise(connection == nullptr || connection->vb12());
  }
  int fold = 0;
  const bool ok = bWriteNode(generator, parent_op, options, &fold, error);
  if (folded != nullptr) *folded = fold != 0;
  return ok;
}

// *folded receives 0, or the constant (10 or 11) the node became; what the
// node wrote is then that constant's text alone.
bool CNAFilter::bWriteNode(CNASQLGenerator& generator, int parent_op,
                           const NAFilterWriteOptions& options, int* folded_out,
                           CNAError* error) {
  int fold = 0;
  const bool ok = [&]() -> bool {
    if (m_pNullList) m_pNullList->Clear();
    if (bWritesNothing()) return true;

    // Branches decided by a constant child, or with a child that holds no
    // condition: continue with the other child.
    CNAFilter* node = this;
    for (;;) {
      const int op = node->m_nOperator;
      if (!bIsTwoChildOperator(op) || node->m_pLeft == nullptr || node->m_pRight == nullptr) break;
      const int neutral = op == kNAFilterAnd ? kNAFilterTrue : kNAFilterFalse;
      if (node->m_pLeft->m_nOperator == neutral || node->m_pLeft->bWritesNothing()) {
        node = node->m_pRight;
      } else if (node->m_pRight->m_nOperator == neutral || node->m_pRight->bWritesNothing()) {
        node = node->m_pLeft;
      } else {
        break;
      }
    }
    if (node != this) {
      if (!node->bWriteNode(generator, parent_op, options, &fold, error)) return false;
      if (node->m_pNullList) {
        CNANameList* list = pclNullList(error);
        if (list == nullptr) return false;
        list->bAppendList(node->m_pNullList.get(), false);
      }
      return true;
    }

    const int op = m_nOperator;
    if (bIsTwoChildOperator(op)) {
      const int absorbing = nAbsorbing(op);
      if ((m_pLeft != nullptr && m_pLeft->m_nOperator == absorbing) ||
          (m_pRight != nullptr && m_pRight->m_nOperator == absorbing)) {
        FoldTo(absorbing);
      } else if (op == kNAFilterAnd && m_pRight == nullptr && m_pLeft != nullptr &&
                 m_pLeft->m_nOperator == kNAFilterFalse) {
        FoldTo(kNAFilterFalse);
      }
    }

    if (bIsConstant(m_nOperator)) {
      fold = m_nOperator;
      return generator.bAppend(pszFilterOperatorText(m_nOperator));
    }

    const size_t start = generator.nGetStatementLength();
    const int start_markers = generator.nGetMarkerCount();
    // Everything the node wrote is replaced by the constant it folds to.
    auto fold_whole = [&](int constant) {
      generator.TruncateTo(start, start_markers);
      FoldTo(constant);
      fold = constant;
      return generator.bAppend(pszFilterOperatorText(constant));
    };

    if (bIsTwoChildOperator(op) && m_pLeft != nullptr && m_pRight != nullptr) {
      const bool paren = parent_op != 0 && parent_op != kNAFilterOr;
      if (paren && !generator.bAppend(u"(")) return false;
      const size_t left_start = generator.nGetStatementLength();
      const int left_markers = generator.nGetMarkerCount();
      int left_fold = 0;
      if (!m_pLeft->bWriteNode(generator, op, options, &left_fold, error)) return false;
      CNANameList* list = pclNullList(error);
      if (list == nullptr) return false;
      if (left_fold != 0) {
        generator.TruncateTo(left_start, left_markers);
        if (left_fold == nAbsorbing(op)) return fold_whole(left_fold);
        // The left side holds for every row (AND) or none (OR): the node is
        // its right side alone.
        int right_fold = 0;
        if (!m_pRight->bWriteNode(generator, op, options, &right_fold, error)) return false;
        if (right_fold != 0) return fold_whole(right_fold);
        list->bAppendList(m_pRight->m_pNullList.get(), false);
      } else {
        const size_t right_start = generator.nGetStatementLength();
        const int right_markers = generator.nGetMarkerCount();
        if (!generator.bAppend(pszFilterOperatorText(op))) return false;
        int right_fold = 0;
        if (!m_pRight->bWriteNode(generator, op, options, &right_fold, error)) return false;
        if (right_fold != 0) {
          generator.TruncateTo(right_start, right_markers);
          if (right_fold == nAbsorbing(op)) return fold_whole(right_fold);
          list->bAppendList(m_pLeft->m_pNullList.get(), false);
        } else {
          list->Combine(op, m_pLeft->m_pNullList.get(), m_pRight->m_pNullList.get());
        }
      }
      return !paren || generator.bAppend(u")");
    }

    if (op == kNAFilterNot) {
      if (m_pLeft == nullptr) return true;
      if (!generator.bAppend(u" NOT ") || !generator.bAppend(u"(")) return false;
      int child_fold = 0;
      if (!m_pLeft->bWriteNode(generator, op, options, &child_fold, error)) return false;
      if (child_fold != 0) {
        return fold_whole(child_fold == kNAFilterTrue ? kNAFilterFalse : kNAFilterTrue);
      }
      CNANameList* list = pclNullList(error);
      if (list == nullptr) return false;
      list->bAppendList(m_pLeft->m_pNullList.get(), true);
      return generator.bAppend(u")");
    }

    if (op == kNAFilterText && m_pText != nullptr) {
      // Its columns' nulls are not known: the list stays empty.
      if (pclNullList(error) == nullptr) return false;
      return generator.bAppendTextCondition(m_pText, error);
    }
    if (op == kNAFilterText || bIsTwoChildOperator(op)) {
      // A text condition without its text, or a two-child node missing a
      // child: writing nothing would widen the read, so the writing fails.
      NASetErrorMessage(error, 0, kSite, 2, nullptr, kMessageUnavailable);
      return false;
    }
    m_nLeafConstant = 0;
    if (!bWriteLeaf(generator, options, error)) return false;
    fold = m_nLeafConstant;
    return true;
  }();
  if (folded_out != nullptr) *folded_out = fold;
  return ok;
}

bool CNAFilter::bWriteLeaf(CNASQLGenerator& generator, const NAFilterWriteOptions& options,
                           CNAError* error) {
  if (bIsConstant(m_nOperator)) return generator.bAppend(pszFilterOperatorText(m_nOperator));
  CNANameList* list = pclNullList(error);
  if (list == nullptr) return false;
  CNAConnection* connection = generator.pclGetConnection();
  const bool null_first = connection == nullptr || connection->vb12();
  const int kind = connection != nullptr ? connection->m_nDbmsKind : 0;
  const NAFilterColumn& column = m_column;
  const int op = m_nOperator;
  const int code = nFilterOperatorToCompareCode(op);
  const char16_t* name = column.strSql.c_str();

  CAny value = m_clValue;
  std::u16string text = FilterValueText(value);
  if (options.bEmptyAsNull && !bIsNullValue(value) && text.empty() &&
      (bIsTextOrDateType(value.nGetCode()) || value.nGetCode() == qg::kAnyBUFFER)) {
    value.SetNull(true);
  }
  if ((column.nColumnType == 10 || column.nColumnType == 14) && connection != nullptr &&
      connection->bIsKind2() && !bIsNullValue(value) &&
      (text.empty() || text.compare(0, 8, u"00000000") == 0)) {
    value.SetNull(true);
  }

  bool ok = true;
  auto put = [&](const char16_t* piece) { ok = ok && generator.bAppend(piece); };
  auto mark = [&](const CAny& v, int compare_code) {
    ok = ok && generator.bAddMarker(v, 0, CNASQLGenerator::kMarkerValue, compare_code);
  };

  if (bIsNullValue(value) || op == kNAFilterIsNull || op == kNAFilterIsNotNull) {
    const NANullLeafForm form = NullLeafForm(op, null_first);
    switch (form.form) {
      case NANullLeaf::kFalse: put(u"0=1"); m_nLeafConstant = kNAFilterFalse; break;
      case NANullLeaf::kTrue: put(u"1=1"); m_nLeafConstant = kNAFilterTrue; break;
      case NANullLeaf::kIsNull: put(name); put(u" IS NULL"); break;
      case NANullLeaf::kIsNotNull: put(name); put(u" IS NOT NULL"); break;
    }
    if (form.null_flag >= 0) list->Set(column.pItem, form.null_flag);
    return ok;
  }

  bool prefix = (m_nFlags & kNAFilterPrefix) != 0;
  if ((m_nFlags & kNAFilterMarked) != 0 && text.empty()) prefix = false;
  NANullInclusiveQuery query;
  query.op = op;
  query.flags = m_nFlags;
  query.value_is_lowest = bIsLowestValue(value);
  query.column_accepts_null = column.bNullable;
  query.column_nullable = column.bNullable;
  query.null_first = null_first;
  query.dbms_kind = kind;
  const bool inclusive = bIsNullInclusive(query);
  auto open_inclusive = [&]() {
    if (inclusive) put(u"(");
  };
  auto close_inclusive = [&]() {
    if (inclusive) {
      put(u" OR ");
      put(name);
      put(u" IS NULL)");
    }
    list->Set(column.pItem, inclusive ? 1 : 0);
  };

  // An empty 8-bit text: a fixed text, no value.
  if (bIsNarrowTextColumn(column.nColumnType) && text.empty()) {
    open_inclusive();
    put(name);
    if (op == kNAFilterEqual && prefix) {
      put(u" LIKE '%%'");
    } else {
      put(pszFilterOperatorText(op));
      put(u"''");
    }
    close_inclusive();
    return ok;
  }

  bool pattern = (op == kNAFilterEqual || op == kNAFilterNotEqual) &&
                 (prefix || (kind == 11 && bIsTextColumn(column.nColumnType)));
  if (bIsDateColumn(column.nColumnType) && prefix &&
      (op == kNAFilterEqual || op == kNAFilterNotEqual) &&
      (column.nColumnType != 11 || (connection != nullptr && connection->vb10()))) {
    const NAPartialRange range =
        PartialDateRange(column.nColumnType, text.c_str(), column.nTimeTextSize);
    pattern = false;  // complete or empty: a plain comparison
    if (range.form != NAPartialRange::kPlain) {
      open_inclusive();
      const bool equal = op == kNAFilterEqual;
      switch (range.form) {
        case NAPartialRange::kEqual:
          put(name); put(equal ? u"=" : u"<>"); mark(range.low, equal ? 9 : 10);
          break;
        case NAPartialRange::kLowOnly:
          put(name); put(equal ? u">=" : u"<"); mark(range.low, equal ? 14 : 11);
          break;
        default:
          if (equal) {
            put(name); put(u">="); mark(range.low, 14);
            put(u" AND ");
            put(name); put(u"<"); mark(range.high, 11);
          } else {
            put(u"(");
            put(name); put(u"<"); mark(range.low, 11);
            put(u" OR ");
            put(name); put(u">="); mark(range.high, 14);
            put(u")");
          }
          break;
      }
      close_inclusive();
      return ok;
    }
  }

  // The compared column, typed when the comparison needs it.
  std::u16string compared;
  if (!generator.bRenderColumnName(name, column.nColumnType, code, &compared, error)) return false;
  open_inclusive();
  put(compared.c_str());
  if (pattern) {
    put(op == kNAFilterEqual ? u" LIKE " : u" NOT LIKE ");
    CAny like;
    if (like.SetDSTRW(MakeLikePattern(text.c_str(), prefix).c_str()) != 0) {
      NASetErrorMessage(error, 0, 10, 6, nullptr, kMessageNoMemory);
      return false;
    }
    ok = ok && generator.bAddMarker(like, u'\\',
                                    CNASQLGenerator::kMarkerValue | CNASQLGenerator::kMarkerPattern,
                                    code);
  } else {
    put(pszFilterOperatorText(op));
    mark(value, code);
  }
  close_inclusive();
  return ok;
}

bool CNAFilter::bAcceptsNull(const CNAItem* item) const {
  if (m_pNullList) return m_pNullList->nGetFlag(item) != 0;
  if (item != nullptr && item == m_column.pItem &&
      ((m_nOperator >= kNAFilterEqual && m_nOperator <= kNAFilterLess) ||
       m_nOperator == kNAFilterNotEqual)) {
    return bIsNullValue(m_clValue);
  }
  return true;
}

bool CNAFilter::bIsEqual(const CNAFilter* other) const {
  if (other == this) return true;
  if (other == nullptr || other->m_nOperator != m_nOperator || other->m_nFlags != m_nFlags ||
      other->m_column.pItem != m_column.pItem || other->m_column.strSql != m_column.strSql) {
    return false;
  }
  if (m_nOperator == kNAFilterText) {
    if (m_pText == other->m_pText) return true;
    if (m_pText == nullptr || other->m_pText == nullptr) return false;
    const int32_t n = m_pText->nGetTextLength();
    const char16_t* a = m_pText->pszGetText();
    const char16_t* b = other->m_pText->pszGetText();
    if (n != other->m_pText->nGetTextLength()) return false;
    return n <= 0 || (a != nullptr && b != nullptr &&
                      std::char_traits<char16_t>::compare(a, b, static_cast<size_t>(n)) == 0);
  }
  const bool null = bIsNullValue(m_clValue);
  if (null != bIsNullValue(other->m_clValue)) return false;
  if (!null) {
    if (m_clValue.nGetCode() != other->m_clValue.nGetCode()) return false;
    int32_t order = 1;
    const int status = m_clValue.nCompare(other->m_clValue, &order);
    if (status < 100 ? order != 0
                     : FilterValueText(m_clValue) != FilterValueText(other->m_clValue)) {
      return false;
    }
  }
  auto same_child = [](const CNAFilter* a, const CNAFilter* b) {
    return a == nullptr ? b == nullptr : a->bIsEqual(b);
  };
  return same_child(m_pLeft, other->m_pLeft) && same_child(m_pRight, other->m_pRight);
}

// ----------------------------------------------------------- CNAFilterRef

CNAFilterRef::~CNAFilterRef() { NARelease(m_pFilter); }

CNAFilterRef::CNAFilterRef(const CNAFilterRef& other)
    : m_pFilter(NAAddRef(other.m_pFilter)), m_bActive(other.m_bActive) {}

CNAFilterRef& CNAFilterRef::operator=(const CNAFilterRef& other) {
  if (this != &other) {
    AddRefBoth(other.m_pFilter);
    NARelease(m_pFilter);
    m_pFilter = other.m_pFilter;
    m_bActive = other.m_bActive;
  }
  return *this;
}

void CNAFilterRef::Set(CNAFilter* filter) {
  AddRefBoth(filter);
  NARelease(m_pFilter);
  m_pFilter = filter;
  m_bActive = filter != nullptr && !filter->bWritesNothing();
}

bool CNAFilterRef::bIsEqual(const CNAFilterRef& other) const {
  if (!m_bActive || !other.m_bActive) return m_bActive == other.m_bActive;
  return m_pFilter->bIsEqual(other.m_pFilter);
}
