#include "driver/sql/query.h"

#include <new>

#include "driver/core/connection.h"
#include "driver/core/host_interfaces.h"
#include "driver/sql/column.h"
#include "driver/sql/file_description.h"
#include "driver/sql/item.h"
#include "driver/sql/sql_scanner.h"
#include "driver/sql/table_description.h"
#include "support/platform/text16.h"

namespace {

template <class T>
const T* Next(const std::vector<const T*>& items, int& cursor, bool restart) {
  if (restart) cursor = -1;
  if (cursor >= static_cast<int>(items.size())) return nullptr;
  ++cursor;
  return cursor < static_cast<int>(items.size()) ? items[static_cast<size_t>(cursor)] : nullptr;
}

const NAColumnSnapshot* NextSnapshot(const std::vector<NAColumnSnapshot>& items, int& cursor,
                                     bool restart) {
  if (restart) cursor = -1;
  if (cursor >= static_cast<int>(items.size())) return nullptr;
  ++cursor;
  return cursor < static_cast<int>(items.size()) ? &items[static_cast<size_t>(cursor)] : nullptr;
}

std::u16string Text(const char16_t* text) { return text != nullptr ? text : u""; }

bool IsAggregateNode(const qg::ParseNode* node, int depth) {
  if (node == nullptr || depth > 1000) return false;
  if (node->nKind == qg::kNodeFunction) {
    switch (node->nFunction) {
      case qg::kFunctionCount:
      case qg::kFunctionSum:
      case qg::kFunctionAvg:
      case qg::kFunctionMin:
      case qg::kFunctionMax:
        return true;
      default:
        break;
    }
  }
  if (node->nKind == qg::kNodeValue || node->nKind == qg::kNodeKeyword) return false;
  for (int32_t i = 0; i < node->nOperandCount; ++i) {
    if (IsAggregateNode(node->ppOperands[i], depth + 1)) return true;
  }
  return false;
}

bool Blank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

CNAQuery::CNAQuery(qg::IParsedQuery* parsed, bool bClassify)
    : CNAQuery(parsed, nullptr, bClassify) {}

CNAQuery::CNAQuery(qg::IParsedQuery* parsed, INAFileDescription* linked, bool bClassify)
    : m_piParsed(parsed) {
  if (m_piParsed != nullptr) m_piParsed->AddRef();
  Fill(bClassify);
  if (linked != nullptr) linked->AddRef();
  m_piLinked = linked;
}

CNAQuery::~CNAQuery() {
  Drop();
  if (m_piLinked != nullptr) m_piLinked->Release();
  if (m_pConnection != nullptr) ReleaseBoth(m_pConnection);
  SetLogicalDescription(nullptr);
}

void CNAQuery::SetLogicalDescription(CNAFileDescription* logical) {
  if (logical == m_pLogical) return;
  if (logical != nullptr) AddRefBoth(logical);
  CNAFileDescription* old = m_pLogical;
  m_pLogical = logical;
  if (old != nullptr) ReleaseBoth(old);
}

const char16_t* CNAQuery::pszGetOrderName() const {
  const qg::ParseOrderItem* first = m_order.empty() ? nullptr : m_order.front();
  if (first == nullptr || first->nColumn < 0) return nullptr;
  // The result's columns come first in the description the items were
  // built over, in the order of the select list.
  CNATableDescription* result =
      m_pLogical != nullptr ? m_pLogical->pclGetTableDescription() : nullptr;
  CNAColumn* column = result != nullptr && first->nColumn < result->nGetColumnCount()
                          ? result->pclColumnAt(first->nColumn)
                          : nullptr;
  CNAItem* item = column != nullptr ? m_pLogical->pclFindItemForColumn(column) : nullptr;
  if (item != nullptr && item->pszGetName() != nullptr && item->pszGetName()[0] != 0) {
    return item->pszGetName();
  }
  if (static_cast<size_t>(first->nColumn) < m_snapshots.size()) {
    const NAColumnSnapshot& snapshot = m_snapshots[static_cast<size_t>(first->nColumn)];
    if (!snapshot.strAlias.empty()) return snapshot.strAlias.c_str();
    if (!snapshot.strName.empty()) return snapshot.strName.c_str();
  }
  return nullptr;
}

void CNAQuery::Drop() {
  m_sources.clear();
  m_columns.clear();
  m_written.clear();
  m_order.clear();
  m_updateParameters.clear();
  m_insertParameters.clear();
  m_snapshots.clear();
  m_sourceItems.clear();
  m_pMain = m_pPrimary = m_pUnique = m_pIndexed = m_pOrdered = nullptr;
  if (m_piParsed != nullptr) {
    m_piParsed->Release();
    m_piParsed = nullptr;
  }
}

void CNAQuery::Fill(bool bClassify) {
  qg::IParsedQuery* q = m_piParsed;
  if (q == nullptr) return;
  for (int32_t i = 0; i < q->nGetSourceCount(); ++i) m_sources.push_back(q->pGetSource(i));
  for (int32_t i = 0; i < q->nGetColumnCount(); ++i) {
    const qg::ParseColumn* c = q->pGetColumn(i);
    m_columns.push_back(c);
    if (c->bComputed && !m_bAggregate && c->nExpressionType >= 27 && c->nExpressionType <= 31) {
      m_bAggregate = true;
    }
    if (c->bNotUpdatable) m_bNotUpdatable = true;
    if (m_sources.size() == 1 && !c->bComputed && m_pPrimary == nullptr &&
        (c->nKeyFlags & qg::kKeyComposite) == 0) {
      if (c->nKeyFlags & qg::kKeyPrimary) {
        m_pPrimary = m_pUnique = m_pIndexed = c;
      } else if (c->nKeyFlags & qg::kKeyUnique) {
        if (m_pUnique == nullptr) m_pUnique = m_pIndexed = c;
      } else if ((c->nKeyFlags & qg::kKeyIndexed) && m_pIndexed == nullptr) {
        m_pIndexed = c;
      }
    }
  }
  // What each column is, kept by value, and the item of its source.
  for (const qg::ParseColumn* c : m_columns) {
    NAColumnSnapshot snapshot;
    snapshot.strName = Text(c->pszName);
    snapshot.strAlias = Text(c->pszAlias);
    snapshot.nSource = c->nSource;
    const qg::ParseSource* source =
        !c->bComputed && c->nSource >= 0 && c->nSource < static_cast<int32_t>(m_sources.size())
            ? m_sources[static_cast<size_t>(c->nSource)]
            : nullptr;
    if (source != nullptr) snapshot.strSource = Text(source->pszName);
    snapshot.nStart = c->nStart;
    snapshot.nEnd = c->nEnd;
    snapshot.nExpressionType = c->nExpressionType;
    snapshot.nColumnType = c->nColumnType;
    snapshot.nKeyFlags = c->nKeyFlags;
    snapshot.bComputed = c->bComputed;
    snapshot.bNotUpdatable = c->bNotUpdatable;
    m_snapshots.push_back(std::move(snapshot));
    NASourceItem item;
    if (source != nullptr && c->pszName != nullptr) {
      item.pSource = source;
      item.pszName = c->pszName;
      item.nKeyFlags = c->nKeyFlags;
      item.nColumnType = c->nColumnType;
    }
    m_sourceItems.push_back(item);
  }
  for (int32_t i = 0; i < q->nGetOrderCount(); ++i) {
    const qg::ParseOrderItem* o = q->pGetOrderItem(i);
    m_order.push_back(o);
    if (i == 0 && o->nColumn >= 0) {
      m_pMain = m_pOrdered = q->pGetColumn(o->nColumn);
    }
  }
  if (m_pMain == nullptr && !m_columns.empty()) {
    m_pMain = m_pPrimary != nullptr   ? m_pPrimary
              : m_pUnique != nullptr  ? m_pUnique
              : m_pIndexed != nullptr ? m_pIndexed
                                      : m_columns.front();
  }
  m_nKind = q->nGetKind();
  if (m_nKind == kKindNone && bClassify) {
    const char16_t* t = q->pszGetText();
    while (t != nullptr && qg::IsSpace16(*t)) ++t;
    if (qg::StrNICmpAscii16(t, u"INSERT", 6) == 0) m_nKind = kKindInsert;
    else if (qg::StrNICmpAscii16(t, u"UPDATE", 6) == 0) m_nKind = kKindUpdate;
    else if (qg::StrNICmpAscii16(t, u"DELETE", 6) == 0) m_nKind = kKindDelete;
  }
  if (m_nKind == kKindUpdate || m_nKind == kKindInsert) {
    auto& params = m_nKind == kKindUpdate ? m_updateParameters : m_insertParameters;
    for (int32_t i = 0; i < q->nGetAssignmentCount(); ++i) params.push_back(q->pGetAssignment(i));
    for (int32_t i = 0; i < q->nGetWrittenCount(); ++i) m_written.push_back(q->pGetWritten(i));
  }
}

int32_t CNAQuery::nCopyFrom(const CNAQuery& source) {
  if (&source == this) return 1;
  Drop();
  m_piParsed = source.m_piParsed;
  if (m_piParsed != nullptr) m_piParsed->AddRef();
  m_nKind = source.m_nKind;
  m_pMain = source.m_pMain;
  m_pPrimary = source.m_pPrimary;
  m_pUnique = source.m_pUnique;
  m_pIndexed = source.m_pIndexed;
  m_pOrdered = source.m_pOrdered;
  m_sources = source.m_sources;
  m_columns = source.m_columns;
  m_written = source.m_written;
  m_order = source.m_order;
  m_updateParameters = source.m_updateParameters;
  m_insertParameters = source.m_insertParameters;
  m_snapshots = source.m_snapshots;
  m_sourceItems = source.m_sourceItems;
  m_nSnapshotCursor = source.m_nSnapshotCursor;
  if (source.m_piLinked != nullptr) source.m_piLinked->AddRef();
  if (m_piLinked != nullptr) m_piLinked->Release();
  m_piLinked = source.m_piLinked;
  if (source.m_pConnection != nullptr) AddRefBoth(source.m_pConnection);
  if (m_pConnection != nullptr) ReleaseBoth(m_pConnection);
  m_pConnection = source.m_pConnection;
  m_nSourceCursor = source.m_nSourceCursor;
  m_nColumnCursor = source.m_nColumnCursor;
  m_nWrittenCursor = source.m_nWrittenCursor;
  m_nOrderCursor = source.m_nOrderCursor;
  m_nUpdateCursor = source.m_nUpdateCursor;
  m_nInsertCursor = source.m_nInsertCursor;
  m_bNotUpdatable = source.m_bNotUpdatable;
  m_bAggregate = source.m_bAggregate;
  m_nSelect = source.m_nSelect;
  return 1;
}

CNAQuery* CNAQuery::pclClone() const {
  CNAQuery* copy = new (std::nothrow) CNAQuery(nullptr, false);
  if (copy == nullptr) return nullptr;
  copy->nCopyFrom(*this);
  return NAAddRef(copy);
}

const char16_t* CNAQuery::pszGetText() const {
  return m_piParsed != nullptr ? m_piParsed->pszGetText() : u"";
}
int32_t CNAQuery::nGetTextLength() const {
  return m_piParsed != nullptr ? m_piParsed->nGetTextLength() : 0;
}

const qg::ParseSource* CNAQuery::pclNextSource(bool r) { return Next(m_sources, m_nSourceCursor, r); }
const qg::ParseColumn* CNAQuery::pclNextColumn(bool r) { return Next(m_columns, m_nColumnCursor, r); }
const qg::ParseColumn* CNAQuery::pclNextWritten(bool r) {
  if (m_nKind == kKindUpdate || m_nKind == kKindInsert || m_nKind == kKindDelete)
    return Next(m_written, m_nWrittenCursor, r);
  return Next(m_columns, m_nWrittenCursor, r);
}
const qg::ParseOrderItem* CNAQuery::pclNextOrderItem(bool r) { return Next(m_order, m_nOrderCursor, r); }
const qg::ParseAssignment* CNAQuery::pclNextUpdateParameter(bool r) {
  return Next(m_updateParameters, m_nUpdateCursor, r);
}
const qg::ParseAssignment* CNAQuery::pclNextInsertParameter(bool r) {
  return Next(m_insertParameters, m_nInsertCursor, r);
}
const NAColumnSnapshot* CNAQuery::pclNextSnapshot(bool r) {
  return NextSnapshot(m_snapshots, m_nSnapshotCursor, r);
}

const char16_t* CNAQuery::pszGetLinkedName() const {
  return m_piLinked != nullptr ? m_piLinked->pszGetName() : nullptr;
}

void CNAQuery::SetConnection(CNAConnection* connection) {
  if (connection == m_pConnection) return;
  if (connection != nullptr) AddRefBoth(connection);
  if (m_pConnection != nullptr) ReleaseBoth(m_pConnection);
  m_pConnection = connection;
  m_nSelect = -1;
}

const NASourceItem* CNAQuery::pclGetSourceItem(const qg::ParseColumn* column) const {
  const int index = nGetColumnIndex(column);
  if (index < 0 || static_cast<size_t>(index) >= m_sourceItems.size()) return nullptr;
  const NASourceItem& item = m_sourceItems[static_cast<size_t>(index)];
  return item.pSource != nullptr ? &item : nullptr;
}

const qg::ParseColumn* CNAQuery::pclFindColumn(const char16_t* name) const {
  if (name == nullptr) return nullptr;
  for (const qg::ParseColumn* c : m_columns) {
    const char16_t* own = c->pszAlias != nullptr ? c->pszAlias : c->pszName;
    if (qg::StrICmpLatin1_16(own, name) == 0) return c;
  }
  return nullptr;
}

const qg::ParseColumn* CNAQuery::pclGetColumn(int index) const {
  return index >= 0 && index < static_cast<int>(m_columns.size())
             ? m_columns[static_cast<size_t>(index)]
             : nullptr;
}

int CNAQuery::nGetColumnIndex(const qg::ParseColumn* column) const {
  for (size_t i = 0; i < m_columns.size(); ++i) {
    if (m_columns[i] == column) return static_cast<int>(i);
  }
  return -1;
}

bool CNAQuery::bIsSourceName(const char16_t* name) const {
  if (name == nullptr || *name == 0) return false;
  for (const qg::ParseSource* s : m_sources) {
    if (s->pszName != nullptr && qg::StrICmpLatin1_16(s->pszName, name) == 0) {
      return s->pszAlias != nullptr && qg::StrICmpLatin1_16(s->pszAlias, s->pszName) != 0;
    }
  }
  std::u16string resolved;
  return pszResolveName(name, &resolved) != nullptr;
}

const qg::ParseOrderItem* CNAQuery::pclFindOrderItem(int source, const char16_t* name) const {
  if (name == nullptr || m_piParsed == nullptr) return nullptr;
  const char16_t* text = m_piParsed->pszGetText();
  const size_t nameLength = qg::StrLen16(name);
  for (const qg::ParseOrderItem* o : m_order) {
    const qg::ParseNode* e = o->pExpression;
    if (e != nullptr && e->nKind == qg::kNodeColumn && e->pszName != nullptr &&
        e->nSource == source && qg::StrICmpLatin1_16(e->pszName, name) == 0) {
      return o;
    }
    if (o->nEnd - o->nStart == static_cast<int32_t>(nameLength) &&
        qg::StrNICmpAscii16(text + o->nStart, name, nameLength) == 0) {
      return o;
    }
  }
  return nullptr;
}

bool CNAQuery::bIsAggregateColumn(const char16_t* name) const {
  const qg::ParseColumn* c = pclFindColumn(name);
  if (c == nullptr) return false;
  if (!c->bComputed) return c->nExpressionType >= 27 && c->nExpressionType <= 31;
  return IsAggregateNode(c->pExpression, 0);
}

bool CNAQuery::bIsSelect() {
  if (m_nSelect < 0) {
    bool select = m_nKind == kKindSelect;
    if (m_nKind == kKindNone && m_piParsed != nullptr) {
      if (m_pConnection != nullptr) {
        select = NAIsSelectText(m_pConnection, m_piParsed->pszGetText(),
                                m_piParsed->nGetTextLength());
      } else {
        const char16_t* t = m_piParsed->pszGetText();
        while (qg::IsSpace16(*t) || *t == u'(') ++t;
        select = qg::StrNICmpAscii16(t, u"SELECT", 6) == 0;
      }
    }
    m_nSelect = select ? 1 : 0;
  }
  return m_nSelect == 1;
}

const char16_t* CNAQuery::pszResolveName(const char16_t* name, std::u16string* out) const {
  if (name == nullptr || *name == 0 || m_piParsed == nullptr || out == nullptr) return nullptr;
  try {
    char16_t buffer[512];
    int32_t n = m_piParsed->nResolveName(name, buffer, 512);
    if (n <= 0 || n >= 512) return nullptr;
    out->assign(buffer, static_cast<size_t>(n));
    return out->c_str();
  } catch (...) {
    return nullptr;
  }
}

bool CNAQuery::bIsPrimaryColumn(const qg::ParseColumn* column) const {
  if (column == nullptr) return false;
  if (column == m_pPrimary) return true;
  // A source's key identifies a row of the result only when that source
  // is the only one: in a join its values repeat.
  const NASourceItem* item = m_sources.size() == 1 ? pclGetSourceItem(column) : nullptr;
  return item != nullptr && (item->nKeyFlags & qg::kKeyPrimary) != 0 &&
         (item->nKeyFlags & qg::kKeyComposite) == 0;
}

bool CNAQuery::bIsUniqueColumn(const qg::ParseColumn* column) const {
  if (column == nullptr) return false;
  if (column == m_pUnique) return true;
  const NASourceItem* item = m_sources.size() == 1 ? pclGetSourceItem(column) : nullptr;
  return item != nullptr && (item->nKeyFlags & (qg::kKeyPrimary | qg::kKeyUnique)) != 0 &&
         (item->nKeyFlags & qg::kKeyComposite) == 0;
}

bool bExtractOption(std::u16string& options, const char16_t* key, std::u16string* value,
                    bool bRemove) {
  const size_t keyLength = qg::StrLen16(key);
  if (keyLength == 0) return false;
  size_t pairStart = 0;  // start of the current pair, blanks included
  while (pairStart <= options.size()) {
    size_t k = pairStart;
    while (k < options.size() && Blank(options[k])) ++k;
    size_t end = options.find(u';', k);
    if (end == std::u16string::npos) end = options.size();
    size_t eq = k + keyLength;
    if (eq < end && qg::StrNICmpAscii16(options.c_str() + k, key, keyLength) == 0) {
      size_t afterKey = eq;
      while (afterKey < end && Blank(options[afterKey])) ++afterKey;
      if (afterKey < end && options[afterKey] == u'=') {
        if (value != nullptr) value->assign(options, afterKey + 1, end - afterKey - 1);
        if (bRemove) {
          size_t cutEnd = end;
          if (cutEnd < options.size()) ++cutEnd;  // the ";"
          while (cutEnd < options.size() && Blank(options[cutEnd])) ++cutEnd;
          size_t cutStart = k;
          while (cutStart > 0 && Blank(options[cutStart - 1])) --cutStart;
          options.erase(cutStart, cutEnd - cutStart);
        }
        return true;
      }
    }
    if (end >= options.size()) break;
    pairStart = end + 1;
  }
  return false;
}

bool bIsPlainExpressionCode(int code) {
  if (code < 6 || code > 234) return false;
  if ((code >= 9 && code <= 26) || (code >= 47 && code <= 49) || (code >= 104 && code <= 107) ||
      (code >= 109 && code <= 135) || (code >= 152 && code <= 154) ||
      (code >= 163 && code <= 169)) {
    return false;
  }
  switch (code) {
    case 32: case 33: case 40: case 41: case 58: case 67: case 73: case 96: case 149:
    case 171: case 188: case 208: case 209: case 212: case 213: case 223: case 228:
      return false;
    default:
      return true;
  }
}

bool NAIsSelectText(const CNAConnection* connection, const char16_t* text, int32_t length) {
  if (text == nullptr) return false;
  CNASQLScanner scanner(connection != nullptr ? connection->m_strOpenQuote.pszGet() : nullptr,
                        connection != nullptr ? connection->m_strCloseQuote.pszGet() : nullptr);
  scanner.Scan(text, length < 0 ? -1 : length);
  const auto& tokens = scanner.Tokens();
  ptrdiff_t i = scanner.nNextSignificant(-1);
  while (i >= 0 && tokens[static_cast<size_t>(i)].kind == SqlTokenKind::kOpen) {
    i = scanner.nNextSignificant(i);
  }
  if (i < 0) return false;
  if (scanner.bIsWord(i, u"SELECT")) return true;
  if (!scanner.bIsWord(i, u"WITH")) return false;
  // WITH [RECURSIVE] name [(columns)] AS (...) [, ...] then the statement:
  // the first statement word at the level of WITH after its expressions.
  const int32_t depth = tokens[static_cast<size_t>(i)].nDepth;
  for (ptrdiff_t k = scanner.nNextSignificant(i); k >= 0; k = scanner.nNextSignificant(k)) {
    const SqlToken& t = tokens[static_cast<size_t>(k)];
    if (t.nDepth != depth || t.kind != SqlTokenKind::kWord) continue;
    if (scanner.bIsWord(k, u"SELECT")) return true;
    if (scanner.bIsWord(k, u"UPDATE") || scanner.bIsWord(k, u"DELETE") ||
        scanner.bIsWord(k, u"INSERT") || scanner.bIsWord(k, u"REPLACE")) {
      return false;
    }
  }
  return false;
}
