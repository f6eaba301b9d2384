#include "driver/sql/sql_generator.h"

#include <algorithm>
#include <new>

#include "driver/core/connection.h"
#include "driver/core/support/datetime_tm.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/core/host_interfaces.h"
#include "driver/core/error_status.h"
#include "driver/sql/descriptor.h"
#include "driver/sql/dialect.h"
#include "driver/sql/query.h"
#include "driver/sql/select_expression.h"
#include "driver/core/manager.h"
#include "driver/sql/value.h"
#include "driver/sql/value_converter.h"
#include "support/ctstring.h"
#include "support/platform/text16.h"

namespace {

// Internal-error site of the generator.
constexpr uint32_t kSite = 10;

bool IsTextType(int code) {
  return (code >= 16 && code <= 25) || code == 81 || code == 110 || code == 128 || code == 129 ||
         code == 134;
}

// Whether a value is null or an empty text of the kinds a date comparison
// treats as "no date".
bool IsEmptyDateOperand(const CAny* value) {
  if (value == nullptr) return false;
  if (value->bEstNull() || value->bEstVide()) return true;
  const int code = value->nGetCode();
  if (code == qg::kAnyPSTRW) {
    const char16_t* t = nullptr;
    return value->nGetPSTRW(&t) == 0 && (t == nullptr || *t == 0);
  }
  if (code == qg::kAnyPSTRA) {
    const char* t = nullptr;
    return value->nGetPSTRA(&t) == 0 && (t == nullptr || *t == 0);
  }
  if (code == qg::kAnyDSTRW || code == qg::kAnyDATEW || code == qg::kAnyDSTRA ||
      code == qg::kAnyDATEA) {
    CXYString<char16_t> text;
    return value->nGetTexte(&text) < 100 && text.nTaille() == 0;
  }
  return false;
}

bool IsDateColumnType(int32_t type) { return type == 10 || type == 14 || type == 24; }

bool IsWordChar(char16_t c) {
  const char16_t lower = static_cast<char16_t>(c | 0x20);
  return qg::IsDigit16(c) || c == u'_' || (lower >= u'a' && lower <= u'z');
}

}  // namespace

namespace {

// The value a marker carries: a copy of the value written at its place.
class CNAMarkerValue final : public CNAValue {
 public:
  explicit CNAMarkerValue(const CAny& value) : m_clValue(value) {}
  bool bConvertTo(int host_type, bool /*no_padding*/, CNAError* /*error*/) override {
    return m_clValue.nConvertType(host_type) < 100;
  }
  bool bGetValue(CAny& out) const override {
    out = m_clValue;
    return true;
  }
  bool bIsEmpty() const override { return m_clValue.GetType() == 0; }
  const void* pGetData() const override {
    if (bIsEmpty()) return nullptr;
    const void* text = nullptr;
    if (m_clValue.pclHolder()->vnGetTexte(&text) < 100 && text != nullptr) return text;
    return m_clValue.pValeur();
  }
  int nGetDataSize() const override {
    if (bIsEmpty()) return 0;
    int size = 0;
    return m_clValue.pclHolder()->vnGetTailleSansFin(&size) < 100 ? size : 0;
  }
  CNARefCounted* pclGetOwner() const override { return nullptr; }
  int nCopyFrom(const CNAValue* source, INACopyContext* /*context*/, intptr_t, intptr_t) override {
    const auto* other = dynamic_cast<const CNAMarkerValue*>(source);
    if (other == nullptr) return 0;
    m_clValue = other->m_clValue;
    return 1;
  }
  CNAValue* pclClone(INACopyContext* /*context*/, intptr_t, intptr_t) const override {
    return new (std::nothrow) CNAMarkerValue(m_clValue);
  }

  CAny m_clValue;
};

// A marker made by bAddMarker holds a marker value; any other holds none.
CAny* MarkerAny(const CNADescriptor& marker) {
  auto* value = dynamic_cast<CNAMarkerValue*>(marker.pclGetValue());
  return value != nullptr ? &value->m_clValue : nullptr;
}

// A placed marker: a descriptor from the manager's factory with its value.
CNADescriptor* NewMarker(CNAConnection* connection, const CAny& value, char16_t escape,
                         uint32_t flags, int32_t nodeKind, CNAItem* item, size_t position) {
  CNAMarkerValue* held = new (std::nothrow) CNAMarkerValue(value);
  if (held == nullptr) return nullptr;
  CNARefPtr<CNAValue> hold(NAAddRef<CNAValue>(held));
  CNADescriptor* marker = CNADescriptor::pclCreate(connection, static_cast<int32_t>(flags),
                                                   nodeKind, nullptr, item, held, escape);
  if (marker != nullptr) marker->SetPosition(static_cast<int64_t>(position));
  return marker;
}

}  // namespace

const CAny& CNASQLGenerator::MarkerValue(const NAMarker& marker) {
  static const CAny kNoValue;
  const CAny* value = MarkerAny(marker);
  return value != nullptr ? *value : kNoValue;
}
uint32_t CNASQLGenerator::nMarkerFlags(const NAMarker& marker) {
  return static_cast<uint32_t>(marker.nGetFirst());
}
char16_t CNASQLGenerator::cMarkerEscape(const NAMarker& marker) { return marker.nGetEscape(); }
size_t CNASQLGenerator::nMarkerPosition(const NAMarker& marker) {
  return marker.nGetPosition() < 0 ? 0 : static_cast<size_t>(marker.nGetPosition());
}

NAMarker* CNASQLGenerator::pclCopyMarker(const NAMarker& marker, size_t shift,
                                         INACopyContext* context) const {
  // The item the copy context already copied, else the same one.
  CNAItem* item = marker.pclGetItem();
  if (item != nullptr && context != nullptr) {
    void* copy = context->pFindCopy(item);
    if (copy != nullptr) item = static_cast<CNAItem*>(copy);
  }
  return NewMarker(m_pConnection, MarkerValue(marker), marker.nGetEscape(), nMarkerFlags(marker),
                   marker.nGetSecond(), item, nMarkerPosition(marker) + shift);
}

struct CNASQLGenerator::Walk {
  const char16_t* text = nullptr;
  int32_t len = 0;
  int32_t cur = 0;
  CNASQLScanner scanner;
  CNAError* error = nullptr;
  const CNASQLGenerator* extra = nullptr;
  bool keepOrderBy = false;
  int stoppedAt = -1;
};

CNASQLGenerator::CNASQLGenerator(CNAConnection* connection) : m_pConnection(connection) {
  AddRefBoth(m_pConnection);
  if (m_pConnection != nullptr) m_nOptionBits = nadialect::nInitialOptionBits(m_pConnection->m_nDbmsKind);
}

CNASQLGenerator::~CNASQLGenerator() {
  DropSelectEntries(0);
  if (m_pQuery != nullptr) ReleaseBoth(m_pQuery);
  ReleaseBoth(m_pConnection);
}

void CNASQLGenerator::CopyFrom(const CNASQLGenerator& source, INACopyContext* context) {
  if (&source == this) return;
  if (context != nullptr) context->bRegisterCopy(&source, this);
  CNAConnection* connection = source.m_pConnection;
  if (context != nullptr) {
    auto* copied = static_cast<CNAConnection*>(context->pFindCopy(source.m_pConnection));
    if (copied != nullptr) connection = copied;
  }
  if (connection != m_pConnection) {
    AddRefBoth(connection);
    ReleaseBoth(m_pConnection);
    m_pConnection = connection;
  }
  if (source.m_pQuery != m_pQuery) {
    if (m_pQuery != nullptr) ReleaseBoth(m_pQuery);
    m_pQuery = source.m_pQuery != nullptr ? NAAddRef(source.m_pQuery) : nullptr;
  }
  m_bPassThrough = source.m_bPassThrough;
  m_nStatementKind = source.m_nStatementKind;
  m_strStatement = source.m_strStatement;
  m_markers.clear();
  for (const auto& m : source.m_markers) {
    // Each marker through its own copy; one that cannot be made is left
    // out (memory has run out).
    NAMarker* copy = pclCopyMarker(*m.Get(), 0, context);
    if (copy != nullptr) m_markers.emplace_back(copy);
  }
  m_bParametersAllowed = source.m_bParametersAllowed;
  m_nOptionBits = source.m_nOptionBits;
  m_strExtraSelect = source.m_strExtraSelect;
  DropSelectEntries(0);
  for (CNASelectExpression* entry : source.m_selectList) {
    // Each entry through its own copy: the item and its bound value become
    // the copies the context knows, or new ones.
    CNASelectExpression* copy = entry->pclClone(context);
    if (copy == nullptr) continue;
    AddRefBoth(copy);
    m_selectList.push_back(copy);
  }
  m_nRowLimit = source.m_nRowLimit;
  m_nRowOffset = source.m_nRowOffset;
  m_strDialect = source.m_strDialect;
  m_bDialectMade = source.m_bDialectMade;
  m_pDialectDual.reset();
  m_pNullList.reset(source.m_pNullList ? new (std::nothrow) CNANameList(*source.m_pNullList) : nullptr);
  m_bNoBackslashEscapes = source.m_bNoBackslashEscapes;
}

CNASQLGenerator* CNASQLGenerator::pclClone(INACopyContext* context) const {
  CNASQLGenerator* copy = new (std::nothrow) CNASQLGenerator(m_pConnection);
  if (copy == nullptr) return nullptr;
  copy->m_nRowLimit = 1;  // the empty copy target; CopyFrom overwrites both
  copy->m_nRowOffset = 0;
  AddRefBoth(copy);
  copy->CopyFrom(*this, context);
  return copy;
}

bool CNASQLGenerator::bIsEmpty() { return m_strStatement.empty(); }

int CNASQLGenerator::Reset(bool bKeepMarkers) {
  DropSelectEntries(0);
  if (m_pQuery != nullptr) {
    ReleaseBoth(m_pQuery);
    m_pQuery = nullptr;
  }
  m_strStatement.clear();
  m_strDialect.clear();
  m_bDialectMade = false;
  m_pDialectDual.reset();
  if (!bKeepMarkers) m_markers.clear();
  m_nRowLimit = -1;
  m_nRowOffset = -1;
  return -1;
}

bool CNASQLGenerator::bAppend(const char16_t* text, ptrdiff_t length) {
  if (text == nullptr) return true;
  size_t n = length < 0 ? qg::StrLen16(text) : static_cast<size_t>(length);
  if (m_bPassThrough && !m_strDialect.empty()) m_strDialect.append(text, n);
  m_strStatement.append(text, n);
  return true;
}

bool CNASQLGenerator::bSetRawText(const char16_t* text) { return bAppend(text); }

bool CNASQLGenerator::bAppendReturning(const char16_t* text) {
  return bAppend(u" RETURNING ") && bAppend(text);
}

bool CNASQLGenerator::bPushSelectEntry(CNASelectExpression* entry) {
  if (entry == nullptr) return false;
  try {
    m_selectList.push_back(entry);
  } catch (...) {
    ReleaseBoth(entry);
    return false;
  }
  return true;
}

void CNASQLGenerator::DropSelectEntries(size_t from) {
  while (m_selectList.size() > from) {
    ReleaseBoth(m_selectList.back());
    m_selectList.pop_back();
  }
}

bool CNASQLGenerator::bAddSelectItem(CNAItem* item) {
  return bPushSelectEntry(CNASelectExpression::pclNewItem(item));
}

bool CNASQLGenerator::bAppendCount() {
  CNASelectExpression* entry = CNASelectExpression::pclNewCount(nullptr);
  if (entry == nullptr) return false;
  if (!m_selectList.empty()) bAppend(u",");
  bAppend(kNARowCountExpression);
  return bPushSelectEntry(entry);
}

bool CNASQLGenerator::bAppendCountFor(CNARefCounted* tableObject) {
  CNAManager* manager = m_pConnection != nullptr ? m_pConnection->pclGetManager() : nullptr;
  CNAValueConverter* converter =
      tableObject != nullptr && manager != nullptr ? manager->pclNewValueConverterObject() : nullptr;
  if (converter == nullptr) return false;
  AddRefBoth(converter);
  CNASelectExpression* entry = CNASelectExpression::pclNewCount(converter);
  ReleaseBoth(converter);  // the entry holds it now
  if (entry == nullptr) return false;
  if (!m_selectList.empty()) bAppend(u",");
  bAppend(kNARowCountExpression);
  return bPushSelectEntry(entry);
}

bool CNASQLGenerator::bAppendColumnName(const char16_t* name, CNAError* error) {
  CTString quoted;
  if (!m_pConnection->bQuoteName(error, name, &quoted)) return false;
  CNASelectExpression* entry = CNASelectExpression::pclNewItem(nullptr);
  if (entry == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 9);
    return false;
  }
  if (!m_selectList.empty()) bAppend(u",");
  bAppend(quoted.pszGet());
  return bPushSelectEntry(entry);
}

bool CNASQLGenerator::bAppendColumnList(CNAItem& item, CNAError* error) {
  const char16_t* name = item.pszGetSqlName();
  if (name == nullptr || *name == 0) name = item.pszGetName();
  CTString quoted;
  if (!m_pConnection->bQuoteName(error, name, &quoted)) return false;
  CNASelectExpression* entry = CNASelectExpression::pclNewItem(&item);
  if (entry == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 9);
    return false;
  }
  if (!m_selectList.empty()) bAppend(u",");
  bAppend(quoted.pszGet());
  return bPushSelectEntry(entry);
}

bool CNASQLGenerator::bAppendItems(const CNAFileDescription& record, CNAError* error) {
  for (int i = 0; i < record.nGetItemCount(); ++i) {
    CNAItem* item = record.pclGetItem(i);
    if (item == nullptr || item->bIsCompositeKey()) continue;
    if (!bAppendColumnList(*item, error)) return false;
  }
  return true;
}

int CNASQLGenerator::nNeedsTypedColumn(int compareCode, int columnType, int /*nodeKind*/) {
  if (compareCode == qg::kNodeNotLike || compareCode < 0) return 0;
  // Only a time column of DBMS kind 11 compared by order, when the
  // connection says its times compare as text.
  if (m_pConnection->m_nDbmsKind == 11 && columnType == 11 &&
      compareCode >= qg::kNodeLess && compareCode <= qg::kNodeGreaterEqual &&
      m_pConnection->vb10()) {
    return 2;
  }
  return 0;
}

bool CNASQLGenerator::bRenderTypedColumn(const char16_t* column, int columnType,
                                         std::u16string* out, CNAError* /*error*/) {
  CTString expression;
  // Times are compared on hours, minutes and seconds.
  if (!m_pConnection->bGetDateTimeExpression(&expression, column, columnType, 7)) return false;
  *out = expression.pszGet() != nullptr ? expression.pszGet() : u"";
  return true;
}

bool CNASQLGenerator::bRenderColumnName(const char16_t* column, int columnType, int compareCode,
                                        std::u16string* out, CNAError* error) {
  if ((columnType == 11 || columnType == 14 || columnType == 24) &&
      nNeedsTypedColumn(compareCode, columnType, 0) != 0) {
    return bRenderTypedColumn(column, columnType, out, error);
  }
  *out = column != nullptr ? column : u"";
  return true;
}

const char16_t* CNASQLGenerator::MapFunctionName(const qg::ParseNode* call) {
  if (call == nullptr || call->nKind != qg::kNodeFunction) return nullptr;
  return nadialect::pszMapFunctionName(call->nFunction, m_pConnection->m_nDbmsKind);
}

bool CNASQLGenerator::bCanUseMarker(int queryKind, int mode) const {
  if (!m_bParametersAllowed) return false;
  return !(mode == 1 && (m_nOptionBits & kOptionNoSelectMarkers) != 0 &&
           (queryKind == qg::kQuerySelect || m_nStatementKind == kStatementSelect));
}

bool CNASQLGenerator::BindParameter(int nodeKind, int columnType, int columnSize, CAny& value,
                                    CNAError* /*error*/) {
  if (value.bEstNull() || value.nGetCode() == 0) return true;
  const int code = value.nGetCode();
  const int typed = nNeedsTypedColumn(nodeKind, columnType, nodeKind);
  const int target = typed != 0 ? typed : columnType;
  if ((nodeKind == qg::kNodeEqual || nodeKind == qg::kNodeNotEqual) && IsTextType(code)) {
    CXYString<char16_t> held;
    std::u16string text;
    if (value.nGetTexte(&held) < 100 && held.pszGet() != nullptr) text = held.pszGet();
    CDateTimeTm tm;
    if (columnType == 10 || columnType == 14 || columnType == 11) {
      const size_t size = columnType == 11 ? (columnSize > 1 ? size_t(columnSize - 1) : 6) : 8;
      if (!text.empty() && text.size() < size) {
        const bool ok = columnType == 11 ? tm.bParseTime(text.c_str()) : tm.bParseDate(text.c_str());
        if (ok) {
          value.SetDSTRW((columnType == 11 ? tm.FormatTime().substr(0, size)
                                           : tm.FormatDate()).c_str());
          return true;
        }
      }
    } else if (columnType == 24 && !text.empty() && text.size() < 17 &&
               tm.bParseDate(text.c_str()) && tm.bIsValid()) {
      value.SetDSTRW(tm.FormatDateTime().c_str());
      return true;
    }
  }
  if (target == 2 && columnType == 11 && columnSize > 1 &&
      (code == 25 || code == 129 || code == 8 || code == 9)) {
    CXYString<char16_t> held;
    if (value.nGetTexte(&held) < 100 && held.pszGet() != nullptr) {
      std::u16string text = held.pszGet();
      const size_t want = static_cast<size_t>(columnSize - 1);
      if (!(text.size() > 1 && text.back() == u'%')) {
        if (text.size() > want) text.resize(want);
        while (text.size() < want) text += u'0';
      }
      value.SetDSTRW(text.c_str());
    }
    return true;
  }
  if (target <= 0) return true;
  CAny fitted = value;
  CNAError scratch;  // a value the connection cannot fit is written as it is
  if (m_pConnection->bFitValue(&scratch, fitted, target)) value = fitted;
  return true;
}

void CNASQLGenerator::SetStatementKind(int queryKind) {
  switch (queryKind) {
    case 1: case 2: m_nStatementKind = 1; break;
    case 3: m_nStatementKind = 2; break;
    case 4: m_nStatementKind = 3; break;
    case 5: m_nStatementKind = 4; break;
    case 6: m_nStatementKind = 6; break;
    case 7: m_nStatementKind = 9; break;
    case 12: m_nStatementKind = 11; break;
    default: m_nStatementKind = kStatementOther; break;
  }
}

bool CNASQLGenerator::bAddMarker(const CAny& value, char16_t escape, uint32_t flags,
                                 int32_t nodeKind, CNAItem* item) {
  NAMarker* marker =
      NewMarker(m_pConnection, value, escape, flags, nodeKind, item, m_strStatement.size());
  if (marker == nullptr) return false;
  m_markers.emplace_back(marker);
  return true;
}

bool CNASQLGenerator::bAppendGenerator(const CNASQLGenerator& other, int mode) {
  const size_t shift = m_strStatement.size();
  m_strStatement += other.m_strStatement;
  for (const auto& m : other.m_markers) {
    // Copied: the other generator keeps its own markers at their places.
    NAMarker* copy = pclCopyMarker(*m.Get(), shift, nullptr);
    if (copy == nullptr) return false;
    m_markers.emplace_back(copy);
  }
  for (CNASelectExpression* entry : other.m_selectList) {
    CNASelectExpression* taken = entry;
    if (mode == 1) {
      taken = entry->pclClone(nullptr);
      if (taken == nullptr) return false;
    }
    AddRefBoth(taken);
    if (!bPushSelectEntry(taken)) return false;
  }
  return true;
}

void CNASQLGenerator::TruncateTo(size_t n, int firstMarker) {
  if (n < m_strStatement.size()) m_strStatement.resize(n);
  if (firstMarker >= 0) {
    if (static_cast<size_t>(firstMarker) < m_markers.size()) m_markers.resize(static_cast<size_t>(firstMarker));
    return;
  }
  while (!m_markers.empty() && nMarkerPosition(*m_markers.back().Get()) >= n) m_markers.pop_back();
}

bool CNASQLGenerator::bPrepend(const std::u16string& text) {
  if (m_bPassThrough && !m_strDialect.empty()) return false;
  m_strStatement.insert(0, text);
  for (const CNARefPtr<NAMarker>& marker : m_markers) {
    marker->SetPosition(static_cast<int64_t>(nMarkerPosition(*marker.Get()) + text.size()));
  }
  m_bDialectMade = false;
  return true;
}

const char16_t* CNASQLGenerator::pszGetStatementText() { return m_strStatement.c_str(); }

CNANameList* CNASQLGenerator::pclEnsureNameList() {
  if (!m_pNullList) m_pNullList.reset(new (std::nothrow) CNANameList);
  return m_pNullList.get();
}

void CNASQLGenerator::SetNameList(const CNANameList* list) {
  if (list == nullptr) {
    if (m_pNullList) m_pNullList->Clear();
    return;
  }
  CNANameList* own = pclEnsureNameList();
  if (own == nullptr) return;
  own->Clear();
  own->bAppendList(list, false);
}

int CNASQLGenerator::bApplyNameList(const CNAItem* item) const {
  return m_pNullList ? m_pNullList->nGetFlag(item) : 1;
}

int CNASQLGenerator::nApplyNameListByName(const char16_t* column) const {
  if (!m_pNullList || column == nullptr) return 1;
  return m_pNullList->nGetFlagByName(column, [](const CNAItem* item) -> const char16_t* {
    const char16_t* name = item->pszGetSqlName();
    return name != nullptr && *name != 0 ? name : item->pszGetName();
  });
}

void CNASQLGenerator::MergeNameList(const CNANameList* list) {
  if (!m_pNullList && list == nullptr) return;
  CNANameList* own = pclEnsureNameList();
  if (own != nullptr) own->Merge(CNANameList::kAnd, list);
}

void CNASQLGenerator::Internal(CNAError* error, uint32_t minor, uint32_t message,
                               const char16_t* parameter) {
  NASetErrorMessage(error, 0, kSite, minor, m_pConnection, message, parameter);
}

// ------------------------------------------------------------ rewriting ---

void CNASQLGenerator::CopyTo(Walk& w, int32_t position) {
  if (position > w.len) position = w.len;
  if (position > w.cur) {
    bAppend(w.text + w.cur, position - w.cur);
    w.cur = position;
  }
}

bool CNASQLGenerator::bGenerate(CNAQuery* query, const CNASQLGenerator* extra, bool bKeepOrderBy,
                                int options, CNAError* error) {
  if (options == 1) options = kOptionPassThrough;
  m_bPassThrough = (options & kOptionPassThrough) != 0;
  if (query == nullptr || query->piGetParsed() == nullptr) return false;
  if (m_pQuery != query) {
    if (m_pQuery != nullptr) ReleaseBoth(m_pQuery);
    m_pQuery = NAAddRef(query);
  }
  qg::IParsedQuery* q = query->piGetParsed();
  if (m_bPassThrough) {
    if (NAIsSetStatement(q->pszGetText(), q->nGetTextLength())) m_nStatementKind = kStatementSet;
  } else if (m_nStatementKind == 0) {
    SetStatementKind(query->nGetKind());
  }
  Walk w;
  w.text = q->pszGetText();
  w.len = q->nGetTextLength();
  w.error = error;
  w.extra = extra;
  w.keepOrderBy = bKeepOrderBy;
  CNAConnection* c = m_pConnection;
  w.scanner = CNASQLScanner(c->m_strOpenQuote.pszGet(), c->m_strCloseQuote.pszGet(),
                            !m_bNoBackslashEscapes);
  w.scanner.Scan(w.text, w.len);
  if (!bWalk(w, q, false)) return false;
  int32_t end = w.len;
  if (m_bPassThrough && !bKeepOrderBy) {
    ptrdiff_t order = w.scanner.nFindKeyword(u"ORDER BY");
    if (order >= w.cur) {
      end = static_cast<int32_t>(order);
      while (end > w.cur && qg::IsSpace16(w.text[end - 1])) --end;
    }
  }
  CopyTo(w, end);
  return true;
}

bool CNASQLGenerator::bWalk(Walk& w, qg::IParsedQuery* q, bool nested) {
  std::vector<Segment> segs;
  const bool pass = m_bPassThrough && !nested;
  const int kind = q->nGetKind();
  if (!pass) {
    qg::ParseRange list = q->GetClause(qg::kClauseSelectList);
    if (list.nStart >= 0) segs.push_back({1, list.nStart, list.nEnd, 0});
    for (int32_t i = 0; i < q->nGetSourceCount(); ++i) {
      const qg::ParseSource* s = q->pGetSource(i);
      segs.push_back({2, s->nStart, s->nEnd, i});
      if (s->pJoinCondition != nullptr)
        segs.push_back({8, s->pJoinCondition->nStart, s->pJoinCondition->nEnd, i});
    }
    qg::ParseRange where = q->GetClause(qg::kClauseWhere);
    const bool hasExtra = !nested && w.extra != nullptr && !w.extra->m_strStatement.empty();
    if (where.nStart >= 0) {
      segs.push_back({3, where.nStart, where.nEnd, 0});
    } else if (hasExtra) {
      int32_t at = nFromEnd(w, q);
      segs.push_back({3, at, at, 0});
    }
    for (int32_t i = 0; i < q->nGetGroupCount(); ++i) {
      const qg::ParseOrderItem* g = q->pGetGroupItem(i);
      segs.push_back({4, g->nStart, g->nEnd, i});
    }
    qg::ParseRange having = q->GetClause(qg::kClauseHaving);
    if (having.nStart >= 0) segs.push_back({5, having.nStart, having.nEnd, 0});
    for (int32_t i = 0; i < q->nGetAssignmentCount(); ++i) {
      const qg::ParseNode* v = q->pGetAssignment(i)->pValue;
      segs.push_back({10, v->nStart, v->nEnd, i});
    }
    if (kind == qg::kQueryUpdate) {
      // The SET list's column names.
      for (int32_t i = 0; i < q->nGetWrittenCount(); ++i) {
        const qg::ParseColumn* col = q->pGetWritten(i);
        segs.push_back({11, col->nStart, col->nEnd, i});
      }
    }
    qg::ParseRange sub = q->GetClause(qg::kClauseInsertSelect);
    if (sub.nStart >= 0 && q->piGetInsertSelect() != nullptr) segs.push_back({12, sub.nStart, sub.nEnd, 0});
  }
  qg::ParseRange order = q->GetClause(qg::kClauseOrderBy);
  if (order.nStart >= 0 && (!pass || w.keepOrderBy)) segs.push_back({6, order.nStart, order.nEnd, 0});
  if (q->nGetEmbeddedCount() > 0) {
    for (int32_t i = 0; i < q->nGetEmbeddedCount(); ++i) {
      const qg::ParseEmbedded* e = q->pGetEmbedded(i);
      segs.push_back({7, e->nStart, e->nEnd, i});
    }
  }
  // Text order; equal starts by kind, so that the output never depends on
  // the sort.
  std::stable_sort(segs.begin(), segs.end(), [](const Segment& a, const Segment& b) {
    return a.nStart != b.nStart ? a.nStart < b.nStart : a.kind < b.kind;
  });
  for (const Segment& s : segs) {
    if (s.nStart < w.cur) continue;  // inside what a handler already wrote
    bool ok = true;
    switch (s.kind) {
      case 1: ok = bSelectList(w, q, false); break;
      case 2: ok = bSource(w, q, s.nIndex); break;
      case 3: ok = bWhere(w, q, !nested); break;
      case 4:
      case 8: {
        const qg::ParseNode* n = s.kind == 4 ? q->pGetGroupItem(s.nIndex)->pExpression
                                             : q->pGetSource(s.nIndex)->pJoinCondition;
        ok = bRenderNode(w, q, n, nullptr, 0);
        break;
      }
      case 5: ok = bRenderNode(w, q, q->pGetCondition(qg::kClauseHaving), nullptr, 0); break;
      case 6: {
        int stopped = -1;
        ok = bOrderBy(w, q, w.keepOrderBy || nested, true, &stopped);
        break;
      }
      case 7:
        ok = bEmbedded(w, q, s.nIndex);
        break;
      case 10:
        ok = bRenderNode(w, q, q->pGetAssignment(s.nIndex)->pValue, nullptr, 0);
        break;
      case 11: {
        const qg::ParseColumn* col = q->pGetWritten(s.nIndex);
        CopyTo(w, col->nStart);
        ok = bWriteQuoted(w, col->pszName, false);
        w.cur = col->nEnd;
        break;
      }
      case 12: {
        qg::IParsedQuery* sub = q->piGetInsertSelect();
        ok = bWalk(w, sub, true);
        break;
      }
    }
    if (!ok) return false;
  }
  return true;
}

// Where a new WHERE goes: before the first top-level clause that follows
// the FROM part (GROUP BY, HAVING, ORDER BY, LIMIT, FOR UPDATE, LOCK IN
// SHARE MODE, UNION), else at the end of the query's level (a final ";"
// stays after it). The place is right after the last word before that
// point, so that it never falls inside a comment.
int32_t CNASQLGenerator::nFromEnd(Walk& w, qg::IParsedQuery* q) {
  qg::ParseRange from = q->GetClause(qg::kClauseFrom);
  int32_t start = from.nEnd >= 0 ? from.nEnd : q->GetClause(qg::kClauseSelectList).nEnd;
  if (start < 0) start = 0;
  int32_t best = -1;
  for (const char16_t* kw : {u"GROUP BY", u"HAVING", u"ORDER BY", u"LIMIT", u"FOR UPDATE",
                             u"LOCK IN", u"UNION", u"PROCEDURE", u"INTO"}) {
    ptrdiff_t at = w.scanner.nFindKeywordForward(kw, start);
    if (at >= 0 && (best < 0 || at < best)) best = static_cast<int32_t>(at);
  }
  const auto& toks = w.scanner.Tokens();
  if (best < 0) {
    size_t k = w.scanner.nTokenAt(start);
    int32_t depth = k < toks.size() ? toks[k].nDepth : 0;
    best = w.len;
    for (; k < toks.size(); ++k) {
      if ((toks[k].kind == SqlTokenKind::kClose && toks[k].nDepth < depth) ||
          (toks[k].nDepth == depth && toks[k].kind == SqlTokenKind::kOther &&
           w.text[toks[k].nStart] == u';')) {
        best = toks[k].nStart;
        break;
      }
    }
  }
  ptrdiff_t last = w.scanner.nPrevSignificant(static_cast<ptrdiff_t>(w.scanner.nTokenAt(best)));
  if (last >= 0 && toks[last].nEnd >= start && toks[last].nEnd <= best) best = toks[last].nEnd;
  return best;
}

// A name the host embedded in the text becomes the name quoted by the
// connection (after its quoted qualifier and "."), a value a marker.
bool CNASQLGenerator::bEmbedded(Walk& w, qg::IParsedQuery* q, int index) {
  const qg::ParseEmbedded* e = q->pGetEmbedded(index);
  CopyTo(w, e->nStart);
  bool ok = true;
  if (e->bValue) {
    if (e->pValue != nullptr) bAddMarker(*e->pValue, 0, kMarkerValue | e->nFlags, 0);
  } else {
    if (e->pszQualifier != nullptr) {
      ok = bWriteQuoted(w, e->pszQualifier, false);
      bAppend(u".");
    }
    ok = ok && bWriteQuoted(w, e->pszName, false);
  }
  w.cur = e->nEnd;
  return ok;
}

bool CNASQLGenerator::bWhere(Walk& w, qg::IParsedQuery* q, bool withExtra) {
  const qg::ParseNode* own = q->pGetCondition(qg::kClauseWhere);
  const bool hasExtra = withExtra && w.extra != nullptr && !w.extra->m_strStatement.empty();
  if (hasExtra) {
    int32_t at = own != nullptr ? q->GetClause(qg::kClauseWhereKeyword).nEnd : nFromEnd(w, q);
    CopyTo(w, at);
    bAppend(own != nullptr ? u" (" : u" WHERE ");
  }
  if (own != nullptr) {
    // The condition's own leading blanks were copied before " (".
    while (hasExtra && w.cur < own->nStart && qg::IsSpace16(w.text[w.cur])) ++w.cur;
    if (!bRenderNode(w, q, own, nullptr, 0)) return false;
  }
  if (hasExtra) {
    if (own != nullptr) {
      CopyTo(w, q->GetClause(qg::kClauseWhere).nEnd);
      bAppend(u") AND (");
    }
    // The condition's text and markers; a select list it may carry is not
    // this statement's.
    const size_t entries = m_selectList.size();
    bAppendGenerator(*w.extra, 0);
    DropSelectEntries(entries);
    bAppend(own != nullptr ? u")" : u" ");
    MergeNameList(w.extra->pclGetNameList());
  }
  return true;
}

bool CNASQLGenerator::bWriteQuoted(Walk& w, const char16_t* name, bool qualified) {
  CTString quoted;
  bool ok = qualified ? m_pConnection->bQuoteQualifiedName(w.error, name, &quoted)
                      : m_pConnection->bQuoteName(w.error, name, &quoted);
  if (ok) bAppend(quoted.pszGet());
  return ok;
}

// An alias after a column or source ("AS name" or "name"), quoted.
bool CNASQLGenerator::bQuoteAliasAfter(Walk& w, int32_t position) {
  const auto& toks = w.scanner.Tokens();
  ptrdiff_t k = w.scanner.nNextSignificant(static_cast<ptrdiff_t>(w.scanner.nTokenAt(position)) - 1);
  if (k >= 0 && toks[k].nStart < position) k = w.scanner.nNextSignificant(k);
  if (k < 0) return true;
  if (w.scanner.bIsWord(k, u"AS")) k = w.scanner.nNextSignificant(k);
  else return true;  // only an alias introduced by AS is rewritten
  if (k < 0 || (toks[k].kind != SqlTokenKind::kWord && toks[k].kind != SqlTokenKind::kQuotedName))
    return true;
  if (toks[k].kind == SqlTokenKind::kQuotedName) return true;  // already quoted
  CopyTo(w, toks[k].nStart);
  std::u16string name(w.text + toks[k].nStart, w.text + toks[k].nEnd);
  if (!bWriteQuoted(w, name.c_str(), false)) return false;
  w.cur = toks[k].nEnd;
  return true;
}

bool CNASQLGenerator::bRenderColumnNode(Walk& w, qg::IParsedQuery* q, const qg::ParseNode* node) {
  CopyTo(w, node->nStart);
  if (node->pszQualifier != nullptr) {
    if (!bWriteQuoted(w, node->pszQualifier, true)) return false;
    bAppend(u".");
  } else if (q->nGetSourceCount() > 1 && node->nSource >= 0) {
    const qg::ParseSource* s = q->pGetSource(node->nSource);
    const char16_t* qualifier = s->pszAlias != nullptr ? s->pszAlias : s->pszName;
    if (qualifier != nullptr && *qualifier != 0) {
      if (!bWriteQuoted(w, qualifier, s->pszAlias == nullptr)) return false;
      bAppend(u".");
    }
  }
  if (!bWriteQuoted(w, node->pszName, false)) return false;
  if (node->bOuterJoin) bAppend(u"(+)");
  w.cur = node->nEnd;
  return true;
}

bool CNASQLGenerator::bSelectList(Walk& w, qg::IParsedQuery* q, bool /*second*/) {
  const int kind = q->nGetKind();
  if (kind == qg::kQueryInsert) {
    for (int32_t i = 0; i < q->nGetWrittenCount(); ++i) {
      const qg::ParseColumn* col = q->pGetWritten(i);
      CopyTo(w, col->nStart);
      if (!bWriteQuoted(w, col->pszName, false)) return false;
      w.cur = col->nEnd;
    }
    return true;
  }
  const int32_t startCur = w.cur;
  bool wroteExplicit = false;
  std::vector<const qg::ParseColumn*> implicit;
  for (int32_t i = 0; i < q->nGetColumnCount(); ++i) {
    const qg::ParseColumn* col = q->pGetColumn(i);
    if (col->nStart < 0) {
      implicit.push_back(col);
      continue;
    }
    wroteExplicit = true;
    if (!bRenderNode(w, q, col->pExpression, nullptr, 0)) return false;
    if (col->pszAlias != nullptr && !bQuoteAliasAfter(w, col->nEnd)) return false;
  }
  qg::ParseRange list = q->GetClause(qg::kClauseSelectList);
  bool expanded = false;
  if (!wroteExplicit && !implicit.empty() && w.cur == startCur && vn2()) {
    // SELECT * written alone: the explicit list of columns.
    const auto& toks = w.scanner.Tokens();
    ptrdiff_t k = w.scanner.nNextSignificant(static_cast<ptrdiff_t>(w.scanner.nTokenAt(list.nStart)) - 1);
    ptrdiff_t next = w.scanner.nNextSignificant(k);
    if (k >= 0 && toks[k].kind == SqlTokenKind::kOther && w.text[toks[k].nStart] == u'*' &&
        toks[k].nEnd == list.nEnd && (next < 0 || w.scanner.bIsWord(next, u"FROM"))) {
      CopyTo(w, toks[k].nStart);
      for (size_t i = 0; i < implicit.size(); ++i) {
        if (i > 0) bAppend(u",");
        const qg::ParseColumn* col = implicit[i];
        if (q->nGetSourceCount() > 1 && col->nSource >= 0) {
          const qg::ParseSource* s = q->pGetSource(col->nSource);
          const char16_t* qualifier = s->pszAlias != nullptr ? s->pszAlias : s->pszName;
          if (!bWriteQuoted(w, qualifier, s->pszAlias == nullptr)) return false;
          bAppend(u".");
        }
        if (!bWriteQuoted(w, col->pszName, false)) return false;
      }
      w.cur = toks[k].nEnd;
      expanded = true;
    }
  }
  if (kind == qg::kQuerySelect && !m_strExtraSelect.empty()) {
    if (!expanded) CopyTo(w, list.nEnd);
    bAppend(u",");
    bAppend(m_strExtraSelect);
  }
  return true;
}

bool CNASQLGenerator::bSource(Walk& w, qg::IParsedQuery* q, int index) {
  const qg::ParseSource* s = q->pGetSource(index);
  if (s->piSubquery != nullptr) {
    if (!bWalk(w, s->piSubquery, true)) return false;
  } else {
    CopyTo(w, s->nNameStart);
    std::u16string resolved;
    const char16_t* name = m_pQuery != nullptr && m_pQuery->piGetParsed() == q
                               ? m_pQuery->pszResolveName(s->pszName, &resolved)
                               : nullptr;
    if (!bWriteQuoted(w, name != nullptr ? name : s->pszName, true)) return false;
    w.cur = s->nNameEnd;
  }
  if (s->pszAlias != nullptr && s->nAliasStart >= w.cur) {
    CopyTo(w, s->nAliasStart);
    if (!bWriteQuoted(w, s->pszAlias, false)) return false;
    w.cur = s->nAliasEnd;
  }
  if (q->nGetKind() == qg::kQuerySelect) {
    const int kind = m_pConnection->m_nDbmsKind;
    const char16_t* lock = m_pConnection->pszGetRecordLockText();
    if (lock != nullptr && *lock != 0 && !(kind == 8 && m_pConnection->m_nServerMajor >= 10)) {
      CopyTo(w, s->nEnd);
      bAppend(u" ");
      bAppend(lock);
    }
  }
  return true;
}

bool CNASQLGenerator::bOrderBy(Walk& w, qg::IParsedQuery* q, bool reRender, bool keepDirection,
                               int* stoppedAt) {
  *stoppedAt = -1;
  qg::ParseRange order = q->GetClause(qg::kClauseOrderBy);
  if (order.nStart < 0) return true;
  if (!reRender) {
    int32_t end = order.nStart;
    while (end > w.cur && qg::IsSpace16(w.text[end - 1])) --end;
    CopyTo(w, end);
    w.cur = order.nEnd;  // the clause is dropped; what follows it stays
    return true;
  }
  const int32_t most = m_pConnection->nGetMaxOrderItems();
  const int32_t count = q->nGetOrderCount();
  for (int32_t i = 0; i < count; ++i) {
    if (i >= most) break;
    const qg::ParseOrderItem* item = q->pGetOrderItem(i);
    CopyTo(w, item->nStart);
    const qg::ParseColumn* col = item->nColumn >= 0 ? q->pGetColumn(item->nColumn) : nullptr;
    if (item->nForm == 1 && item->pExpression != nullptr && item->pExpression->nKind == qg::kNodeColumn) {
      if (!bRenderColumnNode(w, q, item->pExpression)) return false;
    } else if ((item->nForm == 2 || item->nForm == 3) && item->nColumn >= 0 && m_pConnection->vb6()) {
      bAppend(u" ");
      std::string digits = std::to_string(item->nColumn + 1);
      bAppend(std::u16string(digits.begin(), digits.end()));
      bAppend(u" ");
      w.cur = item->nEnd;
    } else if (item->pExpression != nullptr) {
      if (!bRenderNode(w, q, item->pExpression, nullptr, 0)) return false;
    }
    CopyTo(w, item->nEnd);
    // Direction: any white space after the item is kept as written.
    int32_t p = item->nEnd;
    while (p < w.len && qg::IsSpace16(w.text[p])) ++p;
    auto word = [&](const char16_t* kw, int32_t n) {
      return p + n <= w.len && qg::StrNICmpAscii16(w.text + p, kw, static_cast<size_t>(n)) == 0 &&
             (p + n == w.len || !(qg::IsDigit16(w.text[p + n]) || w.text[p + n] == u'_' ||
                                  ((w.text[p + n] | 0x20) >= u'a' && (w.text[p + n] | 0x20) <= u'z')));
    };
    if (word(u"ASC", 3)) {
      if (keepDirection) {
        CopyTo(w, p + 3);
      } else {
        bAppend(u" DESC");
        w.cur = p + 3;
      }
    } else if (word(u"DESC", 4)) {
      if (keepDirection) {
        CopyTo(w, p + 4);
      } else {
        bAppend(u" ASC");
        w.cur = p + 4;
      }
    } else if (p >= w.len || w.text[p] == u',' || i == count - 1) {
      if (!keepDirection) bAppend(u" DESC");
    }
    // A primary column makes the order total: further items are not
    // needed. So does a unique column whose nulls the merged conditions
    // reject (a unique column may hold several nulls otherwise).
    if (col != nullptr && item->nForm == 1 && m_pQuery != nullptr &&
        m_pQuery->piGetParsed() == q &&
        (m_pQuery->bIsPrimaryColumn(col) ||
         (m_pQuery->bIsUniqueColumn(col) && nApplyNameListByName(col->pszName) == 0))) {
      *stoppedAt = item->nColumn;
      w.cur = order.nEnd;
      return true;
    }
  }
  CopyTo(w, order.nEnd);
  w.cur = std::max(w.cur, order.nEnd);
  return true;
}

bool CNASQLGenerator::bAppendQueryTail() {
  if (m_pQuery == nullptr || m_bPassThrough || m_pQuery->piGetParsed() == nullptr) return true;
  qg::IParsedQuery* q = m_pQuery->piGetParsed();
  for (int32_t which = 0; which < 4; ++which) {
    int32_t end = q->nGetTailPosition(which);
    if (end < 0) continue;
    // The query's ORDER BY is the generator's to write (or to leave out):
    // a tail that would start before it starts after it.
    qg::ParseRange order = q->GetClause(qg::kClauseOrderBy);
    if (order.nStart >= end && order.nEnd > end) end = order.nEnd;
    if (end > 0 && end < q->nGetTextLength()) bAppend(q->pszGetText() + end, q->nGetTextLength() - end);
    break;
  }
  return true;
}

bool CNASQLGenerator::bAppendTextCondition(CNAQuery* query, CNAError* error) {
  qg::IParsedQuery* q = query != nullptr ? query->piGetParsed() : nullptr;
  const qg::ParseNode* own = q != nullptr ? q->pGetCondition(qg::kClauseWhere) : nullptr;
  if (own == nullptr) {
    Internal(error, 11, 13, nullptr);
    return false;
  }
  Walk w;
  w.text = q->pszGetText();
  w.len = q->nGetTextLength();
  w.error = error;
  w.scanner = CNASQLScanner(m_pConnection->m_strOpenQuote.pszGet(),
                            m_pConnection->m_strCloseQuote.pszGet(), !m_bNoBackslashEscapes);
  w.scanner.Scan(w.text, w.len);
  w.cur = own->nStart;
  bAppend(u"(");
  if (!bRenderNode(w, q, own, nullptr, 0)) return false;
  CopyTo(w, own->nEnd);
  return bAppend(u")");
}

bool CNASQLGenerator::bAppendOrderBy(bool bKeepDirection, int* stoppedAt, CNAError* error) {
  int dummy = -1;
  if (stoppedAt == nullptr) stoppedAt = &dummy;
  *stoppedAt = -1;
  if (m_pQuery == nullptr || m_pQuery->piGetParsed() == nullptr) return true;
  qg::IParsedQuery* q = m_pQuery->piGetParsed();
  qg::ParseRange order = q->GetClause(qg::kClauseOrderBy);
  if (order.nStart < 0) return true;
  Walk w;
  w.text = q->pszGetText();
  w.len = q->nGetTextLength();
  w.error = error;
  w.scanner = CNASQLScanner(m_pConnection->m_strOpenQuote.pszGet(),
                            m_pConnection->m_strCloseQuote.pszGet(), !m_bNoBackslashEscapes);
  w.scanner.Scan(w.text, w.len);
  w.cur = order.nStart;
  return bOrderBy(w, q, true, bKeepDirection, stoppedAt);
}

// ----------------------------------------------------- expression renderer ---

bool CNASQLGenerator::bRenderNode(Walk& w, qg::IParsedQuery* q, const qg::ParseNode* node,
                                  const qg::ParseNode* parent, int index) {
  if (node == nullptr) return true;
  // Start step; the operands of a function call may get dialect texts.
  CopyTo(w, node->nStart);
  const bool argument = parent != nullptr && bIsPlainExpressionCode(
      parent->nKind == qg::kNodeFunction ? parent->nFunction : parent->nKind);
  if (argument) bAppend(ArgumentText(w, q, parent, index, false));
  switch (node->nKind) {
    case qg::kNodeColumn:
      if (!bRenderColumnNode(w, q, node)) return false;
      break;
    case qg::kNodeValue: {
      if (!bCanUseMarker(q->nGetKind(), 1) || node->nStart < 0 || node->pValue == nullptr) {
        // Kept as written; a character-set introducer is left out.
        int32_t p = node->nStart;
        if (p < w.len && w.text[p] == u'_') {
          int32_t k = p + 1;
          while (k < w.len && w.text[k] != u'\'' && w.text[k] != u'"') ++k;
          if (k < node->nEnd && k - p >= 5 && qg::StrNICmpAscii16(w.text + p + 1, u"utf8", 4) == 0)
            w.cur = k;
        }
        break;
      }
      const bool like = parent != nullptr &&
                        (parent->nKind == qg::kNodeLike || parent->nKind == qg::kNodeNotLike) &&
                        IsTextType(node->pValue->nGetCode()) && index == 1;
      const bool placed =
          like ? bAddMarker(*node->pValue, parent->cEscape, kMarkerValue | kMarkerPattern,
                            qg::kNodeLike)
               : bAddMarker(*node->pValue, 0, kMarkerValue, parent != nullptr ? parent->nKind : 0);
      if (!placed) {
        // The value would be missing from the text.
        if (w.error != nullptr) w.error->SetOutOfMemory(kSite, 7);
        return false;
      }
      if (!like) {
        // Bound for the comparison with the column it is compared with.
        const qg::ParseNode* column =
            parent != nullptr && parent->nOperandCount > 0 ? parent->ppOperands[0] : nullptr;
        if (column != nullptr && column != node && column->nKind == qg::kNodeColumn &&
            column->nColumnType != 0 &&
            ((parent->nKind >= qg::kNodeEqual && parent->nKind <= qg::kNodeGreaterEqual) ||
             parent->nKind == qg::kNodeBetween || parent->nKind == qg::kNodeNotBetween ||
             parent->nKind == qg::kNodeIn || parent->nKind == qg::kNodeNotIn)) {
          CAny* bound = MarkerAny(*m_markers.back().Get());
          if (bound != nullptr &&
              !BindParameter(parent->nKind, column->nColumnType, 0, *bound, w.error)) {
            return false;
          }
        }
      }
      w.cur = node->nEnd;
      break;
    }
    case qg::kNodeSubquery:
      if (node->nOperandCount > 0 && !bRenderNode(w, q, node->ppOperands[0], node, 0)) return false;
      if (node->piSubquery != nullptr && !bWalk(w, node->piSubquery, true)) return false;
      break;
    case qg::kNodeKeyword:
      for (int32_t i = 0; i < q->nGetEmbeddedCount(); ++i) {
        if (q->pGetEmbedded(i)->nStart == node->nStart) return bEmbedded(w, q, i);
      }
      break;
    case qg::kNodeRefused:
      Internal(w.error, 7, 48, u"MariaDB");
      return false;
    default: {
      const int kind = m_pConnection->m_nDbmsKind;
      if (node->nKind == qg::kNodeFunction) {
        const char16_t* name = MapFunctionName(node);
        // Kind 1 writes a concatenation as "||" between its arguments, in
        // brackets: its CONCAT takes two arguments only.
        const bool drop = kind == 1 && node->nFunction == qg::kFunctionConcat;
        if (name != nullptr || drop) {
          if (name != nullptr) bAppend(name);
          while (w.cur < w.len && (w.text[w.cur] == u'_' || ((w.text[w.cur] | 0x20) >= u'a' &&
                                                             (w.text[w.cur] | 0x20) <= u'z')))
            ++w.cur;
        }
        // Kind 1 takes LOCATE(a, b) as INSTR(b , a) and POSITION(a IN b)
        // as the two in the other order around FROM.
        if (kind == 1 && node->nOperandCount == 2 &&
            (node->nFunction == qg::kFunctionLocate ||
             node->nFunction == qg::kFunctionPosition)) {
          const qg::ParseNode* a = node->ppOperands[0];
          const qg::ParseNode* b = node->ppOperands[1];
          CopyTo(w, a->nStart);
          w.cur = b->nStart;
          if (!bRenderNode(w, q, b, node, 1)) return false;
          bAppend(node->nFunction == qg::kFunctionLocate ? u" , " : u" FROM ");
          w.cur = a->nStart;
          if (!bRenderNode(w, q, a, node, 0)) return false;
          w.cur = std::max(w.cur, b->nEnd);
          break;
        }
      }
      if (node->nOperandCount == 0) break;
      const qg::ParseNode* first = node->ppOperands[0];
      CopyTo(w, first->nStart);
      const size_t beforeColumn = m_strStatement.size();
      if (!bRenderNode(w, q, first, node, 0)) return false;
      if (m_pConnection->vb8() && first->nKind == qg::kNodeColumn && node->nOperandCount == 2 &&
          bRenderNullComparison(w, q, node, beforeColumn)) {
        break;
      }
      for (int32_t i = 1; i < node->nOperandCount; ++i) {
        // An operand the dialect already wrote in its own way is skipped.
        if (w.cur >= node->ppOperands[i]->nEnd && node->ppOperands[i]->nEnd > node->ppOperands[i]->nStart) continue;
        if (!bRenderNode(w, q, node->ppOperands[i], node, i)) return false;
      }
      break;
    }
  }
  // End step.
  CopyTo(w, node->nEnd);
  if (argument) bAppend(ArgumentText(w, q, parent, index, true));
  return true;
}

// An operand written once more inside a dialect form: rendered like the
// operand itself (names quoted for the connection, embedded names replaced),
// its values kept as the query writes them, since a marker stands in one
// place of the text only.
std::u16string CNASQLGenerator::OperandText(Walk& w, qg::IParsedQuery* q,
                                            const qg::ParseNode* node) {
  CNARefPtr<CNASQLGenerator> aux(NAAddRef(new CNASQLGenerator(m_pConnection)));
  aux->m_bParametersAllowed = false;
  aux->m_bNoBackslashEscapes = m_bNoBackslashEscapes;
  if (m_pQuery != nullptr) aux->m_pQuery = NAAddRef(m_pQuery);
  Walk inner;
  inner.text = w.text;
  inner.len = w.len;
  inner.cur = node->nStart;
  inner.scanner = w.scanner;
  inner.error = w.error;
  if (!aux->bRenderNode(inner, q, node, nullptr, 0)) {
    return std::u16string(w.text + node->nStart, w.text + node->nEnd);
  }
  aux->CopyTo(inner, node->nEnd);
  return aux->m_strStatement;
}

std::u16string CNASQLGenerator::ArgumentText(Walk& w, qg::IParsedQuery* q,
                                             const qg::ParseNode* call, int index, bool atEnd) {
  if (m_pConnection->m_nDbmsKind == 1 && atEnd) {
    std::u16string kind1;
    if (bKindOneArgumentText(w, q, call, index, &kind1)) return kind1;
  }
  std::u16string second;
  if (call->nOperandCount > 1) {
    const qg::ParseNode* s = call->ppOperands[1];
    int64_t constant = 0;
    if (call->nFunction == qg::kFunctionRight && s->nKind == qg::kNodeValue && s->pValue != nullptr &&
        !s->pValue->bEstNull() && s->pValue->nGetI8(&constant) == 0) {
      // A constant count is written as its number, whatever its spelling.
      const std::string digits = std::to_string(constant);
      second.assign(digits.begin(), digits.end());
    } else if (call->nFunction == qg::kFunctionRight && index == 0 && atEnd) {
      second = OperandText(w, q, s);
    }
  }
  return nadialect::FunctionArgumentText(call->nFunction, m_pConnection->m_nDbmsKind, index, atEnd,
                                         second);
}

// The argument forms of DBMS kind 1 that move the reading position.
bool CNASQLGenerator::bKindOneArgumentText(Walk& w, qg::IParsedQuery* q,
                                           const qg::ParseNode* call, int index,
                                           std::u16string* out) {
  const int32_t n = call->nOperandCount;
  auto text_of = [&](const qg::ParseNode* node) { return OperandText(w, q, node); };
  auto word_at = [&](int32_t p, const char16_t* word, size_t length) {
    return p + static_cast<int32_t>(length) <= w.len &&
           qg::StrNICmpAscii16(w.text + p, word, length) == 0;
  };
  switch (call->nFunction) {
    case qg::kFunctionConcat: {
      // "||" between the arguments, ")||(" before the third; the query's
      // "," is left out.
      if (index + 1 >= n) return false;
      const int32_t next = call->ppOperands[index + 1]->nStart;
      int32_t p = w.cur;
      while (p < next && w.text[p] != u',') ++p;
      if (p >= next) return false;
      *out = std::u16string(w.text + w.cur, w.text + p) + (index == 1 ? u")||(" : u"||");
      w.cur = p + 1;
      return true;
    }
    case qg::kFunctionSubstringFromFor:
    case qg::kFunctionSubstringFrom: {
      // The next FROM or FOR becomes ",".
      if (index + 1 >= n) return false;
      const int32_t next = call->ppOperands[index + 1]->nStart;
      for (int32_t p = w.cur; p < next; ++p) {
        const size_t length = word_at(p, u"FROM", 4) ? 4 : word_at(p, u"FOR", 3) ? 3 : 0;
        if (length == 0) continue;
        *out = std::u16string(w.text + w.cur, w.text + p) + u",";
        w.cur = p + static_cast<int32_t>(length);
        return true;
      }
      return false;
    }
    case qg::kFunctionRight: {
      // RIGHT(s, n) as SUBSTR(s,-LEAST(LENGTH(s),n), GREATEST(0, n)).
      if (n != 2) return false;
      const qg::ParseNode* count = call->ppOperands[1];
      if (index == 1) {
        *out = u")";
        return true;
      }
      if (index != 0) return false;
      std::u16string prefix = u",-LEAST(LENGTH(" + text_of(call->ppOperands[0]) + u"),";
      int64_t constant = 0;
      if (count->nKind == qg::kNodeValue && count->pValue != nullptr &&
          count->pValue->nGetI8(&constant) == 0) {
        const std::string digits = std::to_string(constant);
        const std::string length = std::to_string(constant < 0 ? 0 : constant);
        *out = prefix + std::u16string(digits.begin(), digits.end()) + u")," +
               std::u16string(length.begin(), length.end());
        int32_t p = count->nEnd;
        while (p < w.len && w.text[p] != u')') ++p;
        w.cur = p;
        return true;
      }
      *out = prefix + text_of(count) + u"), GREATEST(0";
      return true;
    }
    default:
      return false;
  }
}

bool CNASQLGenerator::bRenderNullComparison(Walk& w, qg::IParsedQuery* /*q*/,
                                            const qg::ParseNode* node, size_t outBeforeColumn) {
  const int op = node->nKind;
  if (op < qg::kNodeEqual || op > qg::kNodeGreaterEqual) return false;
  const qg::ParseNode* column = node->ppOperands[0];
  const qg::ParseNode* value = node->ppOperands[1];
  if (!IsDateColumnType(column->nColumnType) || value->nKind != qg::kNodeValue ||
      !IsEmptyDateOperand(value->pValue)) {
    return false;
  }
  const bool nullFirst = m_pConnection->vb12();
  static const char16_t* const kFirst[] = {u" IS NULL ", u" IS NOT NULL ", u" 0=1 ",
                                           u" IS NULL ", u" IS NOT NULL ", u" 1=1 "};
  static const char16_t* const kLast[] = {u" IS NULL ", u" IS NOT NULL ", u" IS NOT NULL ",
                                          u" 1=1 ", u" 0=1 ", u" IS NULL "};
  const char16_t* text = (nullFirst ? kFirst : kLast)[op - qg::kNodeEqual];
  if (text[1] == u'0' || text[1] == u'1') TruncateTo(outBeforeColumn);
  bAppend(text);
  w.cur = value->nEnd;
  return true;
}

// ------------------------------------------------------------ rewrite pass ---

// The ESCAPE clause on a MariaDB connection, its character written through
// the connection's literal path. A backslash is LIKE's default escape, so it
// needs no clause, unless the session runs under NO_BACKSLASH_ESCAPES: LIKE
// then has no default escape, and the connection writes the backslash
// unescaped as a one-character literal, which tells the mode.
std::u16string CNASQLGenerator::EscapeClauseOfConnection(char16_t escape) {
  CDualString literal(CDualString::kUtf16, 65001);
  CNAError scratch;  // a connection that cannot write the character says so here
  bool written = m_pConnection->bTextLiteral(&scratch, &literal, qg::kAnyPSTRW, &escape, 2);
  std::u16string text = written ? std::u16string(literal.pszGetW()) : std::u16string();
  if (escape == u'\\') {
    bool noDefaultEscape = m_bNoBackslashEscapes || text == u"'\\'";
    if (!noDefaultEscape) return {};
    return u" ESCAPE " + (written ? text : std::u16string(u"'\\'"));
  }
  if (!written) return nadialect::EscapeClause(nadialect::kKindMariaDB, m_pConnection->m_nServerMajor,
                                               escape, true, false, m_bNoBackslashEscapes);
  return u" ESCAPE " + text;
}

bool CNASQLGenerator::bMakeDialect(int inlining, CNAError* error) {
  if (m_bDialectMade) return true;
  if (!bRewrite(inlining, error)) return false;
  m_bDialectMade = true;
  m_pDialectDual.reset();
  return true;
}

const char16_t* CNASQLGenerator::pszGetDialectText(CNAError* error) {
  if (!bMakeDialect(-1, error)) return nullptr;
  return m_strDialect.c_str();
}

CDualString* CNASQLGenerator::pclGetDialectText(CNAError* error) {
  if (!bMakeDialect(0, error)) return nullptr;
  if (!m_pDialectDual) {
    int32_t client = m_pConnection != nullptr && m_pConnection->m_nConnectionCodePage > 0
                         ? m_pConnection->m_nConnectionCodePage
                         : 65001;
    m_pDialectDual.reset(new (std::nothrow) CDualString(CDualString::kUtf16, client));
    if (!m_pDialectDual) return nullptr;
    m_pDialectDual->AddW(m_strDialect.data(), static_cast<ptrdiff_t>(m_strDialect.size()));
  } else if (m_pDialectDual->nGetLengthW() != m_strDialect.size()) {
    // Appends in pass-through mode keep the dialect text in step.
    m_pDialectDual->Clear();
    m_pDialectDual->AddW(m_strDialect.data(), static_cast<ptrdiff_t>(m_strDialect.size()));
  }
  return m_pDialectDual.get();
}

const char* CNASQLGenerator::pszGetDialectTextA(CNAError* error) {
  CDualString* dual = pclGetDialectText(error);
  return dual != nullptr ? dual->pszGetA() : nullptr;
}

int32_t CNASQLGenerator::nFindOpenBrace(const char16_t* text, int32_t start) {
  if (text == nullptr || start < 0) return -1;
  const char16_t* p = qg::StrChr16(text + std::min<size_t>(static_cast<size_t>(start), qg::StrLen16(text)), u'{');
  return p != nullptr ? static_cast<int32_t>(p - text) : -1;
}

int32_t CNASQLGenerator::nFindCloseBrace(const char16_t* text, int32_t start) {
  if (text == nullptr || start < 0) return -1;
  const char16_t* p = qg::StrChr16(text + std::min<size_t>(static_cast<size_t>(start), qg::StrLen16(text)), u'}');
  return p != nullptr ? static_cast<int32_t>(p - text) : -1;
}

bool CNASQLGenerator::bAppendMarkerLiteral(const NAMarker& marker, int /*inlining*/, CNAError* error) {
  CDualString literal(CDualString::kUtf16, 65001);
  if (!m_pConnection->bValueLiteral(error, &literal, MarkerValue(marker), 0, false)) return false;
  m_strDialect += literal.pszGetW();
  return true;
}

bool CNASQLGenerator::bAppendMarkerValue(const NAMarker& marker, size_t* continuation, int inlining,
                                         CNAError* error) {
  const CAny& value = MarkerValue(marker);
  if ((nMarkerFlags(marker) & kMarkerPattern) != 0 && !value.bEstNull() &&
      IsTextType(value.nGetCode())) {
    return bAppendPatternLiteral(marker, continuation, inlining, error);
  }
  return bAppendMarkerLiteral(marker, inlining, error);
}

bool CNASQLGenerator::bAppendPatternLiteral(const NAMarker& marker, size_t* continuation,
                                            int inlining, CNAError* error) {
  if (m_pConnection->m_nDbmsKind != 3) {
    return bAppendLikeLiteral(marker, MarkerValue(marker), continuation, inlining, error);
  }
  CXYString<char16_t> text;
  if (const_cast<CAny&>(MarkerValue(marker)).nGetTexte(&text) >= 100) {
    return bAppendMarkerLiteral(marker, inlining, error);
  }
  CAny translated;
  if (translated.SetDSTRW(nadialect::TranslatePatternKindThree(
                              text.pszGet() != nullptr ? text.pszGet() : u"", marker.nGetEscape())
                              .c_str()) >= 100) {
    if (error != nullptr) error->SetOutOfMemory(kSite, 14);
    return false;
  }
  return bAppendLikeLiteral(marker, translated, continuation, inlining, error);
}

bool CNASQLGenerator::bAppendLikeLiteral(const NAMarker& marker, const CAny& pattern,
                                         size_t* continuation, int /*inlining*/, CNAError* error) {
  CDualString literal(CDualString::kUtf16, 65001);
  if (!m_pConnection->bValueLiteral(error, &literal, pattern, 0, false)) return false;
  std::u16string text16 = literal.pszGetW();
  nadialect::FixPatternLiteral(m_pConnection->m_nDbmsKind, text16);
  m_strDialect += text16;
  return bAppendEscapeClause(marker, pattern, continuation);
}

bool CNASQLGenerator::bAppendEscapeClause(const NAMarker& marker, const CAny& pattern,
                                          size_t* continuation) {
  const int kind = m_pConnection->m_nDbmsKind;
  size_t after = *continuation;
  while (after < m_strStatement.size() && qg::IsSpace16(m_strStatement[after])) ++after;
  const bool follows = m_strStatement.size() - after >= 6 &&
                       qg::StrNICmpAscii16(m_strStatement.c_str() + after, u"ESCAPE", 6) == 0 &&
                       (m_strStatement.size() - after == 6 || !IsWordChar(m_strStatement[after + 6]));
  if (kind == 3) {
    // The statement's own ESCAPE clause is left out: the translated
    // pattern has no escape character. The clause's literal is skipped as
    // a whole (a doubled quote inside it included).
    if (follows) {
      size_t p = after + 6;
      while (p < m_strStatement.size() && m_strStatement[p] != u'\'') ++p;
      if (p < m_strStatement.size()) {
        ++p;
        while (p < m_strStatement.size()) {
          if (m_strStatement[p] == u'\'') {
            if (p + 1 < m_strStatement.size() && m_strStatement[p + 1] == u'\'') {
              p += 2;
              continue;
            }
            ++p;
            break;
          }
          ++p;
        }
      }
      *continuation = p;
    }
    return true;
  }
  const char16_t escape = marker.nGetEscape() != 0 ? marker.nGetEscape() : u'\\';
  CXYString<char16_t> text;
  const bool has = const_cast<CAny&>(pattern).nGetTexte(&text) < 100 &&
                   qg::StrChr16(text.pszGet() != nullptr ? text.pszGet() : u"", escape) != nullptr;
  if (kind == nadialect::kKindMariaDB && has && !follows) {
    m_strDialect += EscapeClauseOfConnection(escape);
  } else {
    m_strDialect += nadialect::EscapeClause(kind, m_pConnection->m_nServerMajor, marker.nGetEscape(), has,
                                            follows, m_bNoBackslashEscapes);
  }
  return true;
}

bool CNASQLGenerator::bRewrite(int inlining, CNAError* error) {
  m_strDialect.clear();
  const int kind = m_pConnection->m_nDbmsKind;
  size_t prev = 0;
  bool ok = true;
  // A piece of statement text that follows a literal is set apart by a
  // blank unless either side already has one.
  auto piece = [&](size_t end) {
    if (end <= prev) return;
    if (!m_strDialect.empty() && !qg::IsSpace16(m_strDialect.back()) &&
        !qg::IsSpace16(m_strStatement[prev])) {
      m_strDialect += u' ';
    }
    m_strDialect.append(m_strStatement, prev, end - prev);
    prev = end;
  };
  for (const auto& m : m_markers) {
    const size_t at = std::min(nMarkerPosition(*m.Get()), m_strStatement.size());
    piece(at);
    prev = std::max(prev, at);
    size_t continuation = prev;
    if (!bAppendMarkerValue(*m.Get(), &continuation, inlining, error)) ok = false;
    prev = std::min(std::max(prev, continuation), m_strStatement.size());
  }
  piece(m_strStatement.size());
  if (!m_bPassThrough) {
    nadialect::bRewriteRowLimit(m_strDialect, kind, m_nRowLimit, m_nRowOffset,
                                m_pConnection->m_strOpenQuote.pszGet(),
                                m_pConnection->m_strCloseQuote.pszGet());
  }
  return ok;
}
