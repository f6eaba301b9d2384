#include "host/core/parsed_query.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "support/any.h"
#include "support/platform/text16.h"

namespace qghost {
namespace {

std::atomic<int32_t> g_nLive{0};

std::u16string Upper(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = qg::ToUpperAscii16(c);
  return out;
}

bool IsWordStart(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u'$' ||
         c == u'@' || c >= 0x80;
}
bool IsWordChar(char16_t c) { return IsWordStart(c) || qg::IsDigit16(c); }

// ---------------------------------------------------------------- lexer ---

enum class Tok { kEnd, kWord, kQuoted, kString, kNumber, kParam, kEmbedded, kPunct };

struct Token {
  Tok kind;
  int32_t nStart;
  int32_t nEnd;
  std::u16string upper;  // words and punctuation: upper-cased text
  std::u16string value;  // strings: the decoded value; quoted names: the name
};

// Reads the text into tokens; false with a reason on an unterminated
// literal, quoted name or comment.
bool Lex(const std::u16string& t, std::vector<Token>& out, std::string& error) {
  const int32_t n = static_cast<int32_t>(t.size());
  int32_t i = 0;
  while (i < n) {
    char16_t c = t[i];
    if (qg::IsSpace16(c)) {
      ++i;
      continue;
    }
    if (c == u'#' || (c == u'-' && i + 2 <= n && t[i + 1] == u'-' &&
                      (i + 2 == n || qg::IsSpace16(t[i + 2])))) {
      while (i < n && t[i] != u'\n') ++i;
      continue;
    }
    if (c == u'/' && i + 1 < n && t[i + 1] == u'*') {
      int32_t j = i + 2;
      while (j + 1 < n && !(t[j] == u'*' && t[j + 1] == u'/')) ++j;
      if (j + 1 >= n) {
        error = "unterminated comment";
        return false;
      }
      i = j + 2;
      continue;
    }
    Token tok{Tok::kPunct, i, i + 1, {}, {}};
    // Character-set introducer: _name'...'
    int32_t lit = -1;
    if (c == u'_') {
      int32_t j = i + 1;
      while (j < n && IsWordChar(t[j])) ++j;
      if (j < n && j > i + 1 && t[j] == u'\'') lit = j;
    }
    if (c == u'\'' || c == u'"' || lit >= 0) {
      int32_t j = lit >= 0 ? lit : i;
      char16_t q = t[j++];
      std::u16string v;
      bool closed = false;
      while (j < n) {
        char16_t d = t[j];
        if (d == u'\\' && j + 1 < n) {
          char16_t e = t[j + 1];
          switch (e) {
            case u'n': v += u'\n'; break;
            case u't': v += u'\t'; break;
            case u'r': v += u'\r'; break;
            case u'0': v += u'\0'; break;
            case u'Z': v += u'\x1A'; break;
            case u'b': v += u'\b'; break;
            case u'%': v += u"\\%"; break;  // kept as written inside LIKE patterns
            case u'_': v += u"\\_"; break;
            default: v += e;
          }
          j += 2;
          continue;
        }
        if (d == q) {
          if (j + 1 < n && t[j + 1] == q) {
            v += q;
            j += 2;
            continue;
          }
          closed = true;
          ++j;
          break;
        }
        v += d;
        ++j;
      }
      if (!closed) {
        error = "unterminated literal";
        return false;
      }
      tok.kind = Tok::kString;
      tok.nEnd = j;
      tok.value = std::move(v);
    } else if (c == u'`') {
      int32_t j = i + 1;
      std::u16string v;
      bool closed = false;
      while (j < n) {
        if (t[j] == u'`') {
          if (j + 1 < n && t[j + 1] == u'`') {
            v += u'`';
            j += 2;
            continue;
          }
          closed = true;
          ++j;
          break;
        }
        v += t[j++];
      }
      if (!closed) {
        error = "unterminated quoted name";
        return false;
      }
      tok.kind = Tok::kQuoted;
      tok.nEnd = j;
      tok.value = std::move(v);
    } else if (qg::IsDigit16(c) || (c == u'.' && i + 1 < n && qg::IsDigit16(t[i + 1]))) {
      int32_t j = i;
      while (j < n && (qg::IsDigit16(t[j]) || t[j] == u'.')) ++j;
      if (j < n && (t[j] == u'e' || t[j] == u'E')) {
        int32_t k = j + 1;
        if (k < n && (t[k] == u'+' || t[k] == u'-')) ++k;
        if (k < n && qg::IsDigit16(t[k])) {
          j = k;
          while (j < n && qg::IsDigit16(t[j])) ++j;
        }
      }
      tok.kind = Tok::kNumber;
      tok.nEnd = j;
      tok.upper = t.substr(i, j - i);
    } else if (IsWordStart(c)) {
      int32_t j = i;
      while (j < n && IsWordChar(t[j])) ++j;
      tok.kind = Tok::kWord;
      tok.nEnd = j;
      tok.upper = Upper(std::u16string_view(t).substr(i, j - i));
      tok.value = t.substr(i, j - i);
    } else if (c == u'?') {
      tok.kind = Tok::kParam;
    } else if (c == u'{') {
      int32_t j = i + 1;
      while (j < n && t[j] != u'}') ++j;
      if (j >= n) {
        error = "unterminated embedded name";
        return false;
      }
      tok.kind = Tok::kEmbedded;
      tok.nEnd = j + 1;
      tok.value = t.substr(i + 1, j - i - 1);
    } else {
      static const char16_t* const kTwo[] = {u"<=", u">=", u"<>", u"!=", u"||", u"&&"};
      for (const char16_t* two : kTwo) {
        if (i + 1 < n && t[i] == two[0] && t[i + 1] == two[1]) tok.nEnd = i + 2;
      }
      tok.upper = t.substr(i, tok.nEnd - i);
    }
    out.push_back(std::move(tok));
    i = out.back().nEnd;
  }
  out.push_back(Token{Tok::kEnd, n, n, {}, {}});
  return true;
}

// ----------------------------------------------------------- the query ---

struct NodeStore {
  qg::ParseNode node{};
  std::vector<NodeStore*> operands;
  std::vector<const qg::ParseNode*> ptrs;
  std::u16string name;
  std::u16string qualifier;
  bool bHasQualifier = false;
  std::unique_ptr<CAny> value;
};

struct SourceStore {
  qg::ParseSource src{};
  std::u16string name;
  std::u16string alias;
  bool bHasAlias = false;
  NodeStore* join = nullptr;
};

struct ColumnStore {
  qg::ParseColumn col{};
  std::u16string name;
  std::u16string alias;
  bool bHasAlias = false;
  NodeStore* expr = nullptr;
};

struct OrderStore {
  qg::ParseOrderItem item{};
  NodeStore* expr = nullptr;
};

struct EmbeddedStore {
  qg::ParseEmbedded emb{};
  std::u16string name;
  std::u16string qualifier;
  bool bHasQualifier = false;
  std::unique_ptr<CAny> value;
};

class ParsedQuery final : public qg::IParsedQuery {
 public:
  explicit ParsedQuery(std::shared_ptr<const std::u16string> text) : m_text(std::move(text)) {
    for (auto& r : m_aClauses) r = {-1, -1};
    for (auto& p : m_anTail) p = -1;
    g_nLive.fetch_add(1);
  }
  ~ParsedQuery() {
    for (ParsedQuery* child : m_children) child->Release();
    g_nLive.fetch_sub(1);
  }

  int32_t AddRef() override { return m_nRef.fetch_add(1) + 1; }
  int32_t Release() override {
    int32_t left = m_nRef.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }
  int32_t nGetKind() override { return m_nKind; }
  const char16_t* pszGetText() override { return m_text->c_str(); }
  int32_t nGetTextLength() override { return static_cast<int32_t>(m_text->size()); }
  qg::ParseRange GetClause(int32_t clause) override {
    if (clause < 0 || clause >= qg::kClauseCount) return {-1, -1};
    return m_aClauses[clause];
  }
  const qg::ParseNode* pGetCondition(int32_t clause) override {
    if (clause == qg::kClauseWhere && m_pWhere != nullptr) return &m_pWhere->node;
    if (clause == qg::kClauseHaving && m_pHaving != nullptr) return &m_pHaving->node;
    return nullptr;
  }
  int32_t nGetSourceCount() override { return static_cast<int32_t>(m_sources.size()); }
  const qg::ParseSource* pGetSource(int32_t i) override {
    return i >= 0 && i < nGetSourceCount() ? &m_sources[i]->src : nullptr;
  }
  int32_t nGetColumnCount() override { return static_cast<int32_t>(m_columns.size()); }
  const qg::ParseColumn* pGetColumn(int32_t i) override {
    return i >= 0 && i < nGetColumnCount() ? &m_columns[i]->col : nullptr;
  }
  int32_t nGetWrittenCount() override { return static_cast<int32_t>(m_written.size()); }
  const qg::ParseColumn* pGetWritten(int32_t i) override {
    return i >= 0 && i < nGetWrittenCount() ? &m_written[i]->col : nullptr;
  }
  int32_t nGetAssignmentCount() override { return static_cast<int32_t>(m_assignments.size()); }
  const qg::ParseAssignment* pGetAssignment(int32_t i) override {
    return i >= 0 && i < nGetAssignmentCount() ? &m_assignments[i] : nullptr;
  }
  int32_t nGetOrderCount() override { return static_cast<int32_t>(m_order.size()); }
  const qg::ParseOrderItem* pGetOrderItem(int32_t i) override {
    return i >= 0 && i < nGetOrderCount() ? &m_order[i]->item : nullptr;
  }
  int32_t nGetGroupCount() override { return static_cast<int32_t>(m_group.size()); }
  const qg::ParseOrderItem* pGetGroupItem(int32_t i) override {
    return i >= 0 && i < nGetGroupCount() ? &m_group[i]->item : nullptr;
  }
  int32_t nGetEmbeddedCount() override { return static_cast<int32_t>(m_embedded.size()); }
  const qg::ParseEmbedded* pGetEmbedded(int32_t i) override {
    return i >= 0 && i < nGetEmbeddedCount() ? &m_embedded[i]->emb : nullptr;
  }
  int32_t nGetParameterCount() override { return m_nParameters; }
  int32_t nResolveName(const char16_t* name, char16_t* out, int32_t capacity) override {
    if (name == nullptr || out == nullptr || capacity <= 0) return 0;
    for (auto& s : m_sources) {
      if (s->src.piSubquery != nullptr) continue;
      if ((s->bHasAlias && qg::StrICmpAscii16(s->alias.c_str(), name) == 0) ||
          qg::StrICmpAscii16(s->name.c_str(), name) == 0) {
        size_t copied = qg::StrCopy16(out, static_cast<size_t>(capacity), s->name.c_str());
        return copied == s->name.size() ? static_cast<int32_t>(copied) : 0;
      }
    }
    return 0;
  }
  int32_t nGetTailPosition(int32_t which) override {
    return which >= 0 && which < 4 ? m_anTail[which] : -1;
  }
  qg::IParsedQuery* piGetInsertSelect() override { return m_pInsertSelect; }

  // Sets the record pointers once every store is complete.
  void Finish() {
    for (auto& s : m_nodes) {
      s->ptrs.clear();
      for (NodeStore* o : s->operands) s->ptrs.push_back(&o->node);
      s->node.nOperandCount = static_cast<int32_t>(s->ptrs.size());
      s->node.ppOperands = s->ptrs.empty() ? nullptr : s->ptrs.data();
      s->node.pszName = s->name.empty() ? nullptr : s->name.c_str();
      s->node.pszQualifier = s->bHasQualifier ? s->qualifier.c_str() : nullptr;
      s->node.pValue = s->value.get();
    }
    for (auto& s : m_sources) {
      s->src.pszName = s->name.c_str();
      s->src.pszAlias = s->bHasAlias ? s->alias.c_str() : nullptr;
      s->src.pJoinCondition = s->join != nullptr ? &s->join->node : nullptr;
    }
    for (auto* list : {&m_columns, &m_written}) {
      for (auto& c : *list) {
        c->col.pszName = c->name.c_str();
        c->col.pszAlias = c->bHasAlias ? c->alias.c_str() : nullptr;
        c->col.pExpression = c->expr != nullptr ? &c->expr->node : nullptr;
      }
    }
    for (auto* list : {&m_order, &m_group}) {
      for (auto& o : *list) o->item.pExpression = o->expr != nullptr ? &o->expr->node : nullptr;
    }
    for (auto& e : m_embedded) {
      e->emb.pszName = e->name.c_str();
      e->emb.pszQualifier = e->bHasQualifier ? e->qualifier.c_str() : nullptr;
      e->emb.pValue = e->value.get();
    }
  }

  std::shared_ptr<const std::u16string> m_text;
  std::atomic<int32_t> m_nRef{0};
  int32_t m_nKind = qg::kQueryUnknown;
  qg::ParseRange m_aClauses[qg::kClauseCount];
  int32_t m_anTail[4];
  NodeStore* m_pWhere = nullptr;
  NodeStore* m_pHaving = nullptr;
  std::vector<std::unique_ptr<NodeStore>> m_nodes;
  std::vector<std::unique_ptr<SourceStore>> m_sources;
  std::vector<std::unique_ptr<ColumnStore>> m_columns;
  std::vector<std::unique_ptr<ColumnStore>> m_written;
  std::vector<qg::ParseAssignment> m_assignments;
  std::vector<std::unique_ptr<OrderStore>> m_order;
  std::vector<std::unique_ptr<OrderStore>> m_group;
  std::vector<std::unique_ptr<EmbeddedStore>> m_embedded;
  std::vector<ParsedQuery*> m_children;  // one reference each
  int32_t m_nParameters = 0;
  ParsedQuery* m_pInsertSelect = nullptr;  // one of m_children
};

// --------------------------------------------------------------- parser ---

struct FunctionName {
  const char16_t* name;
  int32_t code;
};
constexpr FunctionName kFunctions[] = {
    {u"IFNULL", qg::kFunctionIfNull},   {u"NVL", qg::kFunctionNvl},
    {u"COUNT", qg::kFunctionCount},     {u"SUM", qg::kFunctionSum},
    {u"AVG", qg::kFunctionAvg},         {u"MIN", qg::kFunctionMin},
    {u"MAX", qg::kFunctionMax},         {u"LEFT", qg::kFunctionLeft},
    {u"RIGHT", qg::kFunctionRight},     {u"SUBSTRING", qg::kFunctionSubstring},
    {u"UPPER", qg::kFunctionUpper},     {u"UCASE", qg::kFunctionUpper},
    {u"LOWER", qg::kFunctionLower},     {u"LCASE", qg::kFunctionLower},
    {u"MID", qg::kFunctionMid},         {u"SUBSTR", qg::kFunctionSubstr},
    {u"LTRIM", qg::kFunctionLTrim},     {u"RTRIM", qg::kFunctionRTrim},
    {u"CHAR_LENGTH", qg::kFunctionCharLength},
    {u"LENGTH", qg::kFunctionLength},   {u"CEILING", qg::kFunctionCeiling},
    {u"CONCAT", qg::kFunctionConcat},   {u"LOCATE", qg::kFunctionLocate},
    {u"HEX", qg::kFunctionHex},
};

bool IsFunctionName(const std::u16string& w) {
  for (const FunctionName& f : kFunctions) {
    if (w == f.name) return true;
  }
  return false;
}

// Words that end a select item, a source or an expression.
bool IsClauseWord(const std::u16string& w) {
  static const char16_t* const kWords[] = {
      u"FROM",  u"WHERE", u"GROUP",  u"HAVING", u"ORDER", u"LIMIT", u"FOR",   u"LOCK",
      u"UNION", u"ON",    u"JOIN",   u"INNER",  u"LEFT",  u"RIGHT", u"CROSS", u"OUTER",
      u"SET",   u"VALUES", u"SELECT", u"AS",    u"ASC",   u"DESC",  u"AND",   u"OR",
      u"NOT",   u"IS",    u"LIKE",   u"IN",     u"BETWEEN", u"THEN", u"WHEN", u"ELSE",
      u"END",   u"ESCAPE", u"OFFSET", u"USING", u"NATURAL", u"STRAIGHT_JOIN"};
  for (const char16_t* k : kWords) {
    if (w == k) return true;
  }
  return false;
}

class Parser {
 public:
  Parser(std::shared_ptr<const std::u16string> text, std::vector<Token> tokens,
         const ParseSchema* schema)
      : m_text(std::move(text)), m_t(std::move(tokens)), m_schema(schema) {}

  ParsedQuery* ParseTop(std::string& error) {
    ParsedQuery* q = NewQuery();
    q->AddRef();
    bool ok = ParseStatement(*q);
    if (ok && Peek().kind == Tok::kPunct && Peek().upper == u";") ++m_i;
    if (ok && Peek().kind != Tok::kEnd) Fail("unexpected text after the statement");
    if (!m_error.empty()) {
      error = m_error;
      q->Release();
      return nullptr;
    }
    FinishAll(q);
    return q;
  }

 private:
  ParsedQuery* NewQuery() { return new (std::nothrow) ParsedQuery(m_text); }
  static void FinishAll(ParsedQuery* q) {
    q->Finish();
    for (ParsedQuery* c : q->m_children) FinishAll(c);
  }

  const Token& Peek(int ahead = 0) const {
    size_t k = m_i + static_cast<size_t>(ahead);
    return k < m_t.size() ? m_t[k] : m_t.back();
  }
  bool IsWord(const char16_t* w, int ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == Tok::kWord && t.upper == w;
  }
  bool IsPunct(const char16_t* p, int ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == Tok::kPunct && t.upper == p;
  }
  bool Accept(const char16_t* w) {
    if (IsWord(w)) {
      ++m_i;
      return true;
    }
    return false;
  }
  bool AcceptPunct(const char16_t* p) {
    if (IsPunct(p)) {
      ++m_i;
      return true;
    }
    return false;
  }
  bool Fail(const char* why) {
    if (m_error.empty()) {
      m_error = why;
      m_error += " at ";
      m_error += std::to_string(Peek().nStart);
    }
    return false;
  }
  bool Expect(const char16_t* w) { return Accept(w) || Fail("keyword expected"); }
  bool ExpectPunct(const char16_t* p) { return AcceptPunct(p) || Fail("punctuation expected"); }
  int32_t PrevEnd() const { return m_i > 0 ? m_t[m_i - 1].nEnd : 0; }

  NodeStore* NewNode(ParsedQuery& q, int32_t kind, int32_t start, int32_t end) {
    auto s = std::make_unique<NodeStore>();
    s->node.nKind = kind;
    s->node.nFunction = qg::kFunctionNone;
    s->node.nStart = start;
    s->node.nEnd = end;
    s->node.nSource = -1;
    q.m_nodes.push_back(std::move(s));
    return q.m_nodes.back().get();
  }
  NodeStore* Binary(ParsedQuery& q, int32_t kind, NodeStore* a, NodeStore* b) {
    NodeStore* n = NewNode(q, kind, a->node.nStart, b->node.nEnd);
    n->operands = {a, b};
    return n;
  }

  // A name: word or quoted name, not a clause word.
  bool IsName(int ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == Tok::kQuoted || (t.kind == Tok::kWord && !IsClauseWord(t.upper));
  }
  std::u16string TakeName() {
    const Token& t = m_t[m_i++];
    return t.value;
  }

  bool ParseStatement(ParsedQuery& q) {
    if (IsWord(u"SELECT")) return ParseSelect(q);
    if (IsWord(u"INSERT")) return ParseInsert(q);
    if (IsWord(u"UPDATE")) return ParseUpdate(q);
    if (IsWord(u"DELETE")) return ParseDelete(q);
    if (IsWord(u"SET")) {
      // An assignment the host passes through: no clause of its own.
      while (Peek().kind != Tok::kEnd && !IsPunct(u";")) ++m_i;
      return true;
    }
    return Fail("SELECT, INSERT, UPDATE or DELETE expected");
  }

  bool ParseSelect(ParsedQuery& q) {
    q.m_nKind = qg::kQuerySelect;
    if (!Expect(u"SELECT")) return false;
    while (Accept(u"DISTINCT") || Accept(u"ALL") || Accept(u"DISTINCTROW")) {
    }
    if (IsWord(u"TOP") && Peek(1).kind == Tok::kNumber) m_i += 2;
    int32_t listStart = Peek().nStart;
    bool star = false;
    do {
      if (IsPunct(u"*")) {
        ++m_i;
        star = true;
        continue;
      }
      if (!ParseSelectItem(q)) return false;
    } while (AcceptPunct(u","));
    q.m_aClauses[qg::kClauseSelectList] = {listStart, PrevEnd()};
    if (Accept(u"FROM")) {
      int32_t fromStart = Peek().nStart;
      if (!ParseFrom(q)) return false;
      q.m_aClauses[qg::kClauseFrom] = {fromStart, PrevEnd()};
    }
    ResolveNodes(q);
    ResolveColumns(q);
    if (star) ExpandStar(q);
    if (!ParseWhere(q)) return false;
    if (IsWord(u"GROUP") && IsWord(u"BY", 1)) {
      m_i += 2;
      int32_t start = Peek().nStart;
      if (!ParseItems(q, q.m_group, false)) return false;
      q.m_aClauses[qg::kClauseGroupBy] = {start, PrevEnd()};
      q.m_anTail[2] = PrevEnd();
    }
    if (Accept(u"HAVING")) {
      int32_t start = Peek().nStart;
      q.m_pHaving = ParseExpr(q);
      if (q.m_pHaving == nullptr) return false;
      q.m_aClauses[qg::kClauseHaving] = {start, PrevEnd()};
      q.m_anTail[1] = PrevEnd();
    }
    if (!ParseOrderLimit(q)) return false;
    if (IsWord(u"FOR") && IsWord(u"UPDATE", 1)) m_i += 2;
    if (IsWord(u"LOCK") && IsWord(u"IN", 1)) {
      m_i += 2;
      if (!Expect(u"SHARE") || !Expect(u"MODE")) return false;
    }
    ResolveNodes(q);
    return true;
  }

  bool ParseWhere(ParsedQuery& q) {
    if (!IsWord(u"WHERE")) return true;
    q.m_aClauses[qg::kClauseWhereKeyword] = {Peek().nStart, Peek().nEnd};
    ++m_i;
    int32_t start = Peek().nStart;
    q.m_pWhere = ParseExpr(q);
    if (q.m_pWhere == nullptr) return false;
    q.m_aClauses[qg::kClauseWhere] = {start, PrevEnd()};
    q.m_anTail[3] = PrevEnd();
    return true;
  }

  bool ParseOrderLimit(ParsedQuery& q) {
    if (IsWord(u"ORDER") && IsWord(u"BY", 1)) {
      int32_t start = Peek().nStart;
      m_i += 2;
      if (!ParseItems(q, q.m_order, true)) return false;
      q.m_aClauses[qg::kClauseOrderBy] = {start, PrevEnd()};
    }
    if (IsWord(u"LIMIT")) {
      int32_t start = Peek().nStart;
      ++m_i;
      if (Peek().kind != Tok::kNumber && Peek().kind != Tok::kParam) return Fail("row count expected");
      ++m_i;
      if (AcceptPunct(u",") || Accept(u"OFFSET")) {
        if (Peek().kind != Tok::kNumber && Peek().kind != Tok::kParam) return Fail("row count expected");
        ++m_i;
      }
      q.m_aClauses[qg::kClauseLimit] = {start, PrevEnd()};
      q.m_anTail[0] = PrevEnd();
    }
    return true;
  }

  bool ParseSelectItem(ParsedQuery& q) {
    // t.* selects every column of one source.
    if (IsName() && IsPunct(u".", 1) && IsPunct(u"*", 2)) {
      m_i += 3;
      return true;
    }
    int32_t start = Peek().nStart;
    NodeStore* e = ParseExpr(q);
    if (e == nullptr) return false;
    auto c = std::make_unique<ColumnStore>();
    c->col.nStart = start;
    c->col.nEnd = PrevEnd();
    c->col.nSource = -1;
    c->expr = e;
    if (Accept(u"AS")) {
      if (!IsName() && Peek().kind != Tok::kString) return Fail("alias expected");
      c->alias = Peek().kind == Tok::kString ? m_t[m_i++].value : TakeName();
      c->bHasAlias = true;
    } else if (IsName()) {
      c->alias = TakeName();
      c->bHasAlias = true;
    }
    q.m_columns.push_back(std::move(c));
    return true;
  }

  // Settles plain and computed columns once the sources are known.
  void ResolveColumns(ParsedQuery& q) {
    for (auto& c : q.m_columns) {
      if (c->expr == nullptr) continue;  // expanded from "*"
      NodeStore* e = c->expr;
      if (e->node.nKind == qg::kNodeColumn) {
        c->col.bComputed = false;
        c->name = e->name;
        c->col.nSource = e->node.nSource;
        c->col.nKeyFlags = KeyFlags(q, e->node.nSource, e->name);
        c->col.nColumnType = ColumnType(q, e->node.nSource, e->name);
      } else {
        c->col.bComputed = true;
        c->col.bNotUpdatable = true;
        c->name = c->bHasAlias ? c->alias
                               : m_text->substr(c->col.nStart, c->col.nEnd - c->col.nStart);
        if (e->node.nKind == qg::kNodeFunction &&
            (e->node.nFunction == qg::kFunctionCount || e->node.nFunction == qg::kFunctionSum ||
             e->node.nFunction == qg::kFunctionAvg || e->node.nFunction == qg::kFunctionMin ||
             e->node.nFunction == qg::kFunctionMax)) {
          c->col.nExpressionType = 27 + (e->node.nFunction == qg::kFunctionCount ? 0 : 1);
        }
      }
    }
  }

  const ParseSchema::Column* SchemaColumn(ParsedQuery& q, int32_t source,
                                          const std::u16string& column) const {
    if (m_schema == nullptr || source < 0 || source >= static_cast<int32_t>(q.m_sources.size()))
      return nullptr;
    const auto* cols = m_schema->pFind(q.m_sources[source]->name);
    if (cols == nullptr) return nullptr;
    for (const auto& c : *cols) {
      if (qg::StrICmpAscii16(c.name.c_str(), column.c_str()) == 0) return &c;
    }
    return nullptr;
  }
  uint32_t KeyFlags(ParsedQuery& q, int32_t source, const std::u16string& column) const {
    const ParseSchema::Column* c = SchemaColumn(q, source, column);
    return c != nullptr ? c->nKeyFlags : 0;
  }
  int32_t ColumnType(ParsedQuery& q, int32_t source, const std::u16string& column) const {
    const ParseSchema::Column* c = SchemaColumn(q, source, column);
    return c != nullptr ? c->nColumnType : 0;
  }

  void ExpandStar(ParsedQuery& q) {
    if (m_schema == nullptr) return;
    for (size_t s = 0; s < q.m_sources.size(); ++s) {
      const auto* cols = m_schema->pFind(q.m_sources[s]->name);
      if (cols == nullptr) continue;
      for (const auto& sc : *cols) {
        auto c = std::make_unique<ColumnStore>();
        c->col.nStart = -1;
        c->col.nEnd = -1;
        c->col.nSource = static_cast<int32_t>(s);
        c->col.nKeyFlags = sc.nKeyFlags;
        c->col.nColumnType = sc.nColumnType;
        c->name = sc.name;
        q.m_columns.push_back(std::move(c));
      }
    }
  }

  bool ParseFrom(ParsedQuery& q) {
    if (!ParseSource(q)) return false;
    for (;;) {
      if (AcceptPunct(u",")) {
        if (!ParseSource(q)) return false;
        continue;
      }
      bool join = false;
      if (Accept(u"NATURAL")) join = true;
      if (Accept(u"INNER") || Accept(u"CROSS")) join = true;
      if (Accept(u"LEFT") || Accept(u"RIGHT")) {
        Accept(u"OUTER");
        join = true;
      }
      if (Accept(u"STRAIGHT_JOIN")) {
        if (!ParseSource(q)) return false;
      } else if (join || IsWord(u"JOIN")) {
        if (!Expect(u"JOIN") || !ParseSource(q)) return false;
      } else {
        break;
      }
      if (Accept(u"ON")) {
        NodeStore* on = ParseExpr(q);
        if (on == nullptr) return false;
        q.m_sources.back()->join = on;
      } else if (Accept(u"USING")) {
        if (!ExpectPunct(u"(")) return false;
        while (!IsPunct(u")") && Peek().kind != Tok::kEnd) ++m_i;
        if (!ExpectPunct(u")")) return false;
      }
    }
    return true;
  }

  bool ParseSource(ParsedQuery& q) {
    auto s = std::make_unique<SourceStore>();
    s->src.nStart = Peek().nStart;
    s->src.nAliasStart = s->src.nAliasEnd = -1;
    if (IsPunct(u"(") && IsWord(u"SELECT", 1)) {
      ++m_i;
      ParsedQuery* sub = ParseSubquery(q);
      if (sub == nullptr || !ExpectPunct(u")")) return false;
      s->src.piSubquery = sub;
      s->src.nNameStart = s->src.nNameEnd = -1;
    } else {
      if (!IsName()) return Fail("table name expected");
      s->src.nNameStart = Peek().nStart;
      s->name = TakeName();
      while (IsPunct(u".") && IsName(1)) {
        ++m_i;
        s->name += u'.';
        s->name += TakeName();
      }
      s->src.nNameEnd = PrevEnd();
    }
    Accept(u"AS");
    if (IsName()) {
      s->src.nAliasStart = Peek().nStart;
      s->alias = TakeName();
      s->bHasAlias = true;
      s->src.nAliasEnd = PrevEnd();
    }
    s->src.nEnd = PrevEnd();
    q.m_sources.push_back(std::move(s));
    return true;
  }

  ParsedQuery* ParseSubquery(ParsedQuery& parent) {
    ParsedQuery* sub = NewQuery();
    if (sub == nullptr) {
      Fail("out of memory");
      return nullptr;
    }
    sub->AddRef();
    parent.m_children.push_back(sub);
    if (!ParseSelect(*sub)) return nullptr;
    return sub;
  }

  // Gives every column node its source index, once the sources are known.
  void ResolveNodes(ParsedQuery& q) {
    for (auto& n : q.m_nodes) {
      if (n->node.nKind != qg::kNodeColumn || n->node.nColumnType != 0) continue;
      n->node.nSource = SourceOf(q, n->bHasQualifier ? &n->qualifier : nullptr);
      n->node.nColumnType = ColumnType(q, n->node.nSource, n->name);
    }
  }
  int32_t SourceOf(ParsedQuery& q, const std::u16string* qualifier) const {
    if (qualifier == nullptr) return q.m_sources.size() == 1 ? 0 : -1;
    for (size_t i = 0; i < q.m_sources.size(); ++i) {
      const auto& s = q.m_sources[i];
      const std::u16string& key = s->bHasAlias ? s->alias : s->name;
      if (qg::StrICmpAscii16(key.c_str(), qualifier->c_str()) == 0) return static_cast<int32_t>(i);
    }
    return -1;
  }

  bool ParseItems(ParsedQuery& q, std::vector<std::unique_ptr<OrderStore>>& out, bool order) {
    do {
      auto o = std::make_unique<OrderStore>();
      o->item.nStart = Peek().nStart;
      o->item.nColumn = -1;
      if (Peek().kind == Tok::kNumber && (IsPunct(u",", 1) || IsClauseWord(Peek(1).upper) ||
                                          Peek(1).kind == Tok::kEnd || IsPunct(u")", 1))) {
        int32_t pos = std::atoi(std::string(Peek().upper.begin(), Peek().upper.end()).c_str());
        o->item.nForm = 2;
        o->item.nColumn = pos >= 1 && pos <= static_cast<int32_t>(q.m_columns.size()) ? pos - 1 : -1;
      }
      o->expr = ParseExpr(q);
      if (o->expr == nullptr) return false;
      o->item.nEnd = PrevEnd();
      if (o->item.nForm != 2) MatchSelectColumn(q, *o);
      if (order) {
        if (Accept(u"ASC")) o->item.nDirection = 1;
        else if (Accept(u"DESC")) o->item.nDirection = 2;
      }
      out.push_back(std::move(o));
    } while (AcceptPunct(u","));
    return true;
  }

  void MatchSelectColumn(ParsedQuery& q, OrderStore& o) {
    NodeStore* e = o.expr;
    if (e->node.nKind != qg::kNodeColumn) return;
    if (e->node.nSource < 0) e->node.nSource = SourceOf(q, e->bHasQualifier ? &e->qualifier : nullptr);
    for (size_t i = 0; i < q.m_columns.size(); ++i) {
      const ColumnStore& c = *q.m_columns[i];
      if (c.col.bComputed) {
        if (!e->bHasQualifier && c.bHasAlias &&
            qg::StrICmpAscii16(c.alias.c_str(), e->name.c_str()) == 0) {
          o.item.nColumn = static_cast<int32_t>(i);
          o.item.nForm = 3;
          return;
        }
        continue;
      }
      if (qg::StrICmpAscii16(c.name.c_str(), e->name.c_str()) == 0 &&
          (c.col.nSource == e->node.nSource || c.col.nSource < 0 || e->node.nSource < 0)) {
        o.item.nColumn = static_cast<int32_t>(i);
        o.item.nForm = 1;
        return;
      }
    }
    o.item.nForm = 1;  // a column that is not selected
  }

  bool ParseInsert(ParsedQuery& q) {
    q.m_nKind = qg::kQueryInsert;
    ++m_i;
    Accept(u"IGNORE");
    if (!Expect(u"INTO") || !ParseSource(q)) return false;
    if (IsPunct(u"(")) {
      ++m_i;
      int32_t start = Peek().nStart;
      do {
        if (!IsName()) return Fail("column name expected");
        auto c = std::make_unique<ColumnStore>();
        c->col.nStart = Peek().nStart;
        c->name = TakeName();
        c->col.nEnd = PrevEnd();
        c->col.nSource = 0;
        c->col.nKeyFlags = KeyFlags(q, 0, c->name);
        c->col.nColumnType = ColumnType(q, 0, c->name);
        q.m_written.push_back(std::move(c));
      } while (AcceptPunct(u","));
      q.m_aClauses[qg::kClauseSelectList] = {start, PrevEnd()};
      if (!ExpectPunct(u")")) return false;
    }
    if (Accept(u"VALUES") || Accept(u"VALUE")) {
      int32_t start = Peek().nStart;
      do {
        if (!ExpectPunct(u"(")) return false;
        int32_t index = 0;
        do {
          NodeStore* v = ParseExpr(q);
          if (v == nullptr) return false;
          q.m_assignments.push_back({index++, &v->node});
        } while (AcceptPunct(u","));
        if (!ExpectPunct(u")")) return false;
      } while (AcceptPunct(u","));
      q.m_aClauses[qg::kClauseAssignments] = {start, PrevEnd()};
    } else if (IsWord(u"SELECT") || (IsPunct(u"(") && IsWord(u"SELECT", 1))) {
      int32_t start = Peek().nStart;
      bool paren = AcceptPunct(u"(");
      ParsedQuery* sub = ParseSubquery(q);
      if (sub == nullptr || (paren && !ExpectPunct(u")"))) return false;
      q.m_aClauses[qg::kClauseInsertSelect] = {start, PrevEnd()};
      q.m_pInsertSelect = sub;
    } else {
      return Fail("VALUES or SELECT expected");
    }
    return true;
  }

  bool ParseUpdate(ParsedQuery& q) {
    q.m_nKind = qg::kQueryUpdate;
    ++m_i;
    if (!ParseSource(q) || !Expect(u"SET")) return false;
    int32_t start = Peek().nStart;
    int32_t index = 0;
    do {
      if (!IsName()) return Fail("column name expected");
      auto c = std::make_unique<ColumnStore>();
      c->col.nStart = Peek().nStart;
      c->name = TakeName();
      if (IsPunct(u".") && IsName(1)) {
        ++m_i;
        c->name = TakeName();
      }
      c->col.nEnd = PrevEnd();
      c->col.nSource = 0;
      c->col.nKeyFlags = KeyFlags(q, 0, c->name);
      q.m_written.push_back(std::move(c));
      if (!ExpectPunct(u"=")) return false;
      NodeStore* v = ParseExpr(q);
      if (v == nullptr) return false;
      q.m_assignments.push_back({index++, &v->node});
    } while (AcceptPunct(u","));
    q.m_aClauses[qg::kClauseAssignments] = {start, PrevEnd()};
    ResolveNodes(q);
    if (!ParseWhere(q)) return false;
    ResolveNodes(q);
    return ParseOrderLimit(q);
  }

  bool ParseDelete(ParsedQuery& q) {
    q.m_nKind = qg::kQueryDelete;
    ++m_i;
    if (!Expect(u"FROM")) return false;
    int32_t fromStart = Peek().nStart;
    if (!ParseSource(q)) return false;
    q.m_aClauses[qg::kClauseFrom] = {fromStart, PrevEnd()};
    if (!ParseWhere(q)) return false;
    ResolveNodes(q);
    return ParseOrderLimit(q);
  }

  // ---- expressions, lowest precedence first ----
  NodeStore* ParseExpr(ParsedQuery& q) {
    if (++m_nDepth > 200) {
      Fail("expression nested too deeply");
      --m_nDepth;
      return nullptr;
    }
    NodeStore* r = ParseOr(q);
    --m_nDepth;
    return r;
  }
  NodeStore* ParseOr(ParsedQuery& q) {
    NodeStore* a = ParseAnd(q);
    while (a != nullptr && (IsWord(u"OR") || IsPunct(u"||"))) {
      ++m_i;
      NodeStore* b = ParseAnd(q);
      if (b == nullptr) return nullptr;
      a = Binary(q, qg::kNodeOr, a, b);
    }
    return a;
  }
  NodeStore* ParseAnd(ParsedQuery& q) {
    NodeStore* a = ParseNot(q);
    while (a != nullptr && (IsWord(u"AND") || IsPunct(u"&&"))) {
      ++m_i;
      NodeStore* b = ParseNot(q);
      if (b == nullptr) return nullptr;
      a = Binary(q, qg::kNodeAnd, a, b);
    }
    return a;
  }
  NodeStore* ParseNot(ParsedQuery& q) {
    if (IsWord(u"NOT") && !IsWord(u"EXISTS", 1)) {
      int32_t start = Peek().nStart;
      ++m_i;
      if (++m_nDepth > 200) {
        Fail("expression nested too deeply");
        return nullptr;
      }
      NodeStore* a = ParseNot(q);
      --m_nDepth;
      if (a == nullptr) return nullptr;
      NodeStore* n = NewNode(q, qg::kNodeNot, start, a->node.nEnd);
      n->operands = {a};
      return n;
    }
    return ParseComparison(q);
  }
  NodeStore* ParseComparison(ParsedQuery& q) {
    NodeStore* a = ParseAdditive(q);
    if (a == nullptr) return nullptr;
    struct Op {
      const char16_t* text;
      int32_t kind;
    };
    static const Op kOps[] = {{u"=", qg::kNodeEqual},       {u"<>", qg::kNodeNotEqual},
                              {u"!=", qg::kNodeNotEqual},   {u"<=", qg::kNodeLessEqual},
                              {u">=", qg::kNodeGreaterEqual}, {u"<", qg::kNodeLess},
                              {u">", qg::kNodeGreater}};
    for (const Op& op : kOps) {
      if (IsPunct(op.text)) {
        ++m_i;
        NodeStore* b = ParseAdditive(q);
        return b != nullptr ? Binary(q, op.kind, a, b) : nullptr;
      }
    }
    if (IsWord(u"IS")) {
      ++m_i;
      bool negate = Accept(u"NOT");
      if (!IsWord(u"NULL")) {
        Fail("NULL expected");
        return nullptr;
      }
      ++m_i;
      NodeStore* n = NewNode(q, negate ? qg::kNodeIsNotNull : qg::kNodeIsNull, a->node.nStart,
                             PrevEnd());
      n->operands = {a};
      return n;
    }
    bool negate = false;
    if (IsWord(u"NOT") && (IsWord(u"LIKE", 1) || IsWord(u"IN", 1) || IsWord(u"BETWEEN", 1))) {
      ++m_i;
      negate = true;
    }
    if (Accept(u"LIKE")) {
      NodeStore* b = ParseAdditive(q);
      if (b == nullptr) return nullptr;
      NodeStore* n = Binary(q, negate ? qg::kNodeNotLike : qg::kNodeLike, a, b);
      if (Accept(u"ESCAPE")) {
        if (Peek().kind != Tok::kString || Peek().value.size() != 1) {
          Fail("one escape character expected");
          return nullptr;
        }
        n->node.cEscape = Peek().value[0];
        ++m_i;
        n->node.nEnd = PrevEnd();
      }
      return n;
    }
    if (Accept(u"IN")) {
      if (!ExpectPunct(u"(")) return nullptr;
      NodeStore* n = NewNode(q, negate ? qg::kNodeNotIn : qg::kNodeIn, a->node.nStart, -1);
      n->operands = {a};
      if (IsWord(u"SELECT")) {
        NodeStore* s = ParseSubqueryNode(q, m_t[m_i - 1].nStart);
        if (s == nullptr) return nullptr;
        n->operands.push_back(s);
      } else {
        do {
          NodeStore* v = ParseExpr(q);
          if (v == nullptr) return nullptr;
          n->operands.push_back(v);
        } while (AcceptPunct(u","));
        if (!ExpectPunct(u")")) return nullptr;
      }
      n->node.nEnd = PrevEnd();
      return n;
    }
    if (Accept(u"BETWEEN")) {
      NodeStore* lo = ParseAdditive(q);
      if (lo == nullptr || !Expect(u"AND")) return nullptr;
      NodeStore* hi = ParseAdditive(q);
      if (hi == nullptr) return nullptr;
      NodeStore* n =
          NewNode(q, negate ? qg::kNodeNotBetween : qg::kNodeBetween, a->node.nStart, hi->node.nEnd);
      n->operands = {a, lo, hi};
      return n;
    }
    if (negate) {
      Fail("LIKE, IN or BETWEEN expected");
      return nullptr;
    }
    return a;
  }
  NodeStore* ParseAdditive(ParsedQuery& q) {
    NodeStore* a = ParseMultiplicative(q);
    while (a != nullptr && (IsPunct(u"+") || IsPunct(u"-"))) {
      int32_t kind = IsPunct(u"+") ? qg::kNodeAdd : qg::kNodeSubtract;
      ++m_i;
      NodeStore* b = ParseMultiplicative(q);
      if (b == nullptr) return nullptr;
      a = Binary(q, kind, a, b);
    }
    return a;
  }
  NodeStore* ParseMultiplicative(ParsedQuery& q) {
    NodeStore* a = ParseUnary(q);
    while (a != nullptr && (IsPunct(u"*") || IsPunct(u"/") || IsPunct(u"%"))) {
      int32_t kind = IsPunct(u"*") ? qg::kNodeMultiply
                     : IsPunct(u"/") ? qg::kNodeDivide
                                     : qg::kNodeModulo;
      ++m_i;
      NodeStore* b = ParseUnary(q);
      if (b == nullptr) return nullptr;
      a = Binary(q, kind, a, b);
    }
    return a;
  }
  NodeStore* ParseUnary(ParsedQuery& q) {
    if (IsPunct(u"-") || IsPunct(u"+")) {
      int32_t start = Peek().nStart;
      bool minus = IsPunct(u"-");
      ++m_i;
      if (++m_nDepth > 200) {
        Fail("expression nested too deeply");
        return nullptr;
      }
      NodeStore* a = ParseUnary(q);
      --m_nDepth;
      if (a == nullptr || !minus) return a;
      NodeStore* n = NewNode(q, qg::kNodeNegate, start, a->node.nEnd);
      n->operands = {a};
      return n;
    }
    return ParsePrimary(q);
  }

  NodeStore* ParseSubqueryNode(ParsedQuery& q, int32_t openParen) {
    ParsedQuery* sub = ParseSubquery(q);
    if (sub == nullptr || !ExpectPunct(u")")) return nullptr;
    NodeStore* n = NewNode(q, qg::kNodeSubquery, openParen, PrevEnd());
    n->node.piSubquery = sub;
    return n;
  }

  NodeStore* ParsePrimary(ParsedQuery& q) {
    const Token& t = Peek();
    switch (t.kind) {
      case Tok::kNumber: {
        NodeStore* n = NewNode(q, qg::kNodeValue, t.nStart, t.nEnd);
        n->value = std::make_unique<CAny>();
        std::string digits(t.upper.begin(), t.upper.end());
        bool integer = digits.find_first_of(".eE") == std::string::npos;
        if (integer && digits.size() <= 18) {
          n->value->SetI8(std::strtoll(digits.c_str(), nullptr, 10));
        } else {
          n->value->SetR8(std::strtod(digits.c_str(), nullptr));
        }
        ++m_i;
        return n;
      }
      case Tok::kString: {
        NodeStore* n = NewNode(q, qg::kNodeValue, t.nStart, t.nEnd);
        n->value = std::make_unique<CAny>();
        n->value->SetPSTRW(t.value.c_str());
        ++m_i;
        return n;
      }
      case Tok::kParam: {
        ++q.m_nParameters;
        NodeStore* n = NewNode(q, qg::kNodeKeyword, t.nStart, t.nEnd);
        ++m_i;
        return n;
      }
      case Tok::kEmbedded:
        return ParseEmbedded(q);
      case Tok::kPunct:
        if (t.upper == u"(") {
          int32_t open = t.nStart;
          ++m_i;
          if (IsWord(u"SELECT")) return ParseSubqueryNode(q, open);
          NodeStore* e = ParseExpr(q);
          if (e == nullptr || !ExpectPunct(u")")) return nullptr;
          return e;  // the parentheses stay in the text between nodes
        }
        if (t.upper == u"*") {
          NodeStore* n = NewNode(q, qg::kNodeKeyword, t.nStart, t.nEnd);
          ++m_i;
          return n;
        }
        Fail("expression expected");
        return nullptr;
      case Tok::kWord:
      case Tok::kQuoted:
        break;
      case Tok::kEnd:
        Fail("expression expected");
        return nullptr;
    }
    if (t.kind == Tok::kWord) {
      if (t.upper == u"NULL") {
        NodeStore* n = NewNode(q, qg::kNodeValue, t.nStart, t.nEnd);
        n->value = std::make_unique<CAny>();
        n->value->SetNull(true);
        ++m_i;
        return n;
      }
      if (t.upper == u"TRUE" || t.upper == u"FALSE") {
        NodeStore* n = NewNode(q, qg::kNodeValue, t.nStart, t.nEnd);
        n->value = std::make_unique<CAny>();
        n->value->SetBOOL(t.upper == u"TRUE" ? 1 : 0);
        ++m_i;
        return n;
      }
      if (t.upper == u"DEFAULT" || t.upper == u"CURRENT_TIMESTAMP" || t.upper == u"CURRENT_DATE") {
        NodeStore* n = NewNode(q, qg::kNodeKeyword, t.nStart, t.nEnd);
        ++m_i;
        return n;
      }
      if (t.upper == u"EXISTS" || (t.upper == u"NOT" && IsWord(u"EXISTS", 1))) {
        int32_t start = t.nStart;
        bool negate = t.upper == u"NOT";
        m_i += negate ? 2 : 1;
        if (!IsPunct(u"(") || !IsWord(u"SELECT", 1)) {
          Fail("sub-query expected");
          return nullptr;
        }
        int32_t open = Peek().nStart;
        ++m_i;
        NodeStore* s = ParseSubqueryNode(q, open);
        if (s == nullptr) return nullptr;
        NodeStore* n = NewNode(q, qg::kNodeExists, start, s->node.nEnd);
        n->operands = {s};
        if (!negate) return n;
        NodeStore* x = NewNode(q, qg::kNodeNot, start, s->node.nEnd);
        x->operands = {n};
        return x;
      }
      if (t.upper == u"CASE") return ParseCase(q);
      if (IsClauseWord(t.upper) && !(IsPunct(u"(", 1) && IsFunctionName(t.upper))) {
        Fail("expression expected");
        return nullptr;
      }
    }
    // Function call.
    if (t.kind == Tok::kWord && IsPunct(u"(", 1)) {
      NodeStore* n = NewNode(q, qg::kNodeFunction, t.nStart, -1);
      n->node.nFunction = qg::kFunctionOther;
      for (const FunctionName& f : kFunctions) {
        if (t.upper == f.name) n->node.nFunction = f.code;
      }
      n->name = t.value;
      m_i += 2;
      Accept(u"DISTINCT");
      if (t.upper == u"POSITION" && !IsPunct(u")")) {
        // POSITION(a IN b).
        n->node.nFunction = qg::kFunctionPosition;
        NodeStore* a = ParseAdditive(q);
        if (a == nullptr || !Expect(u"IN")) return nullptr;
        NodeStore* b = ParseExpr(q);
        if (b == nullptr) return nullptr;
        n->operands = {a, b};
      } else if (!IsPunct(u")")) {
        // SUBSTRING(x FROM n [FOR m]) separates its arguments by words.
        const bool substring = n->node.nFunction == qg::kFunctionSubstring;
        bool from = false;
        bool for_length = false;
        auto separator = [&]() {
          if (AcceptPunct(u",")) return true;
          if (!substring) return false;
          if (Accept(u"FROM")) return from = true;
          if (from && Accept(u"FOR")) return for_length = true;
          return false;
        };
        do {
          NodeStore* a = ParseExpr(q);
          if (a == nullptr) return nullptr;
          n->operands.push_back(a);
        } while (separator());
        if (from) {
          n->node.nFunction =
              for_length ? qg::kFunctionSubstringFromFor : qg::kFunctionSubstringFrom;
        }
      }
      if (!ExpectPunct(u")")) return nullptr;
      n->node.nEnd = PrevEnd();
      return n;
    }
    // Column reference: name or qualifier.name (or schema.table.name).
    NodeStore* n = NewNode(q, qg::kNodeColumn, t.nStart, t.nEnd);
    n->name = TakeName();
    while (IsPunct(u".") && (Peek(1).kind == Tok::kWord || Peek(1).kind == Tok::kQuoted)) {
      ++m_i;
      if (n->bHasQualifier) n->qualifier += u'.';
      n->qualifier += n->name;
      n->bHasQualifier = true;
      n->name = TakeName();
    }
    n->node.nEnd = PrevEnd();
    if (IsPunct(u"(") && IsPunct(u"+", 1) && IsPunct(u")", 2)) {
      m_i += 3;
      n->node.bOuterJoin = true;
      n->node.nEnd = PrevEnd();
    }
    return n;
  }

  NodeStore* ParseCase(ParsedQuery& q) {
    NodeStore* n = NewNode(q, qg::kNodeCase, Peek().nStart, -1);
    ++m_i;
    if (!IsWord(u"WHEN")) {
      NodeStore* subject = ParseExpr(q);
      if (subject == nullptr) return nullptr;
      n->operands.push_back(subject);
    }
    while (Accept(u"WHEN")) {
      NodeStore* w = ParseExpr(q);
      if (w == nullptr || !Expect(u"THEN")) return nullptr;
      NodeStore* r = ParseExpr(q);
      if (r == nullptr) return nullptr;
      n->operands.push_back(w);
      n->operands.push_back(r);
    }
    if (Accept(u"ELSE")) {
      NodeStore* e = ParseExpr(q);
      if (e == nullptr) return nullptr;
      n->operands.push_back(e);
    }
    if (!Expect(u"END")) return nullptr;
    n->node.nEnd = PrevEnd();
    return n;
  }

  NodeStore* ParseEmbedded(ParsedQuery& q) {
    const Token& t = m_t[m_i++];
    auto e = std::make_unique<EmbeddedStore>();
    e->emb.nStart = t.nStart;
    e->emb.nEnd = t.nEnd;
    std::u16string inner = t.value;
    std::vector<Token> toks;
    std::string why;
    if (!Lex(inner, toks, why) || toks.size() < 2) {
      Fail("bad embedded name");
      return nullptr;
    }
    const Token& first = toks[0];
    if (first.kind == Tok::kString || first.kind == Tok::kNumber) {
      e->emb.bValue = true;
      e->value = std::make_unique<CAny>();
      if (first.kind == Tok::kString) {
        e->value->SetPSTRW(first.value.c_str());
      } else {
        std::string digits(first.upper.begin(), first.upper.end());
        e->value->SetI8(std::strtoll(digits.c_str(), nullptr, 10));
      }
    } else if (first.kind == Tok::kWord || first.kind == Tok::kQuoted) {
      e->name = first.value;
      if (toks.size() >= 4 && toks[1].upper == u"." &&
          (toks[2].kind == Tok::kWord || toks[2].kind == Tok::kQuoted)) {
        e->qualifier = e->name;
        e->bHasQualifier = true;
        e->name = toks[2].value;
      }
    } else {
      Fail("bad embedded name");
      return nullptr;
    }
    bool value = e->emb.bValue;
    q.m_embedded.push_back(std::move(e));
    // The embedded text also stands in the expression as a leaf kept as
    // written; the writer replaces it through the embedded list.
    return NewNode(q, value ? qg::kNodeKeyword : qg::kNodeKeyword, t.nStart, t.nEnd);
  }

  std::shared_ptr<const std::u16string> m_text;
  std::vector<Token> m_t;
  const ParseSchema* m_schema;
  size_t m_i = 0;
  int m_nDepth = 0;
  std::string m_error;
};

}  // namespace

void ParseSchema::AddTable(const std::u16string& name, std::vector<Column> columns) {
  tables[Upper(name)] = std::move(columns);
}

const std::vector<ParseSchema::Column>* ParseSchema::pFind(const std::u16string& name) const {
  auto it = tables.find(Upper(name));
  return it != tables.end() ? &it->second : nullptr;
}

qg::IParsedQuery* ParseQuery(const std::u16string& text, const ParseSchema* schema,
                             std::string* error) {
  std::string why;
  std::vector<Token> tokens;
  auto shared = std::make_shared<const std::u16string>(text);
  qg::IParsedQuery* q = nullptr;
  if (Lex(*shared, tokens, why)) {
    Parser parser(shared, std::move(tokens), schema);
    q = parser.ParseTop(why);
  }
  if (q == nullptr && error != nullptr) *error = why;
  return q;
}

int32_t nLiveParsedQueries() { return g_nLive.load(); }

}  // namespace qghost
