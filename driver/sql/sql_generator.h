// The text of the SQL statements the driver sends. Two uses:
//  - an append buffer: SQL pieces, column lists and markers (places where a
//    value goes) appended one after the other;
//  - a rewriter of a query the host has parsed (bGenerate): the clauses are
//    walked in text order, the text between them copied as written, names
//    quoted for the connection, a "*" select list expanded, an extra
//    condition merged into the WHERE clause, comparisons of date columns
//    with empty values turned into fixed null tests, and the ORDER BY kept,
//    dropped or reversed.
// The dialect text is made from the statement text by the rewrite pass:
// marker values inlined as literals through the connection's literal
// rendering, then the row-limit rules of the DBMS kind.
//
// One thread at a time (the owner's session lock). Positions are UTF-16
// offsets.
#ifndef QG_DRIVER_SQL_SQL_GENERATOR_H_
#define QG_DRIVER_SQL_SQL_GENERATOR_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/core/dual_string.h"
#include "driver/core/refcounted.h"
#include "driver/sql/name_list.h"
#include "driver/sql/sql_scanner.h"
#include "support/any.h"
#include "support/frame/parsed_query.h"

class CNAConnection;
class CNADescriptor;
class CNAError;
class CNAFileDescription;
class CNAItem;
class INACopyContext;
class CNAQuery;
class CNASelectExpression;

// A marker, a place in the statement text where a value goes, is a
// descriptor from the driver manager's factory: its position is the place
// in the statement text, its linked object the item the value stands for
// (may be null), its sub-object the value (a copy of the one written), its
// 16-bit value the escape character of a LIKE pattern (0: the default),
// its first integer the marker flags (0x80000 a value, 0x40000 a search
// pattern) and its second the comparison that uses the value.
using NAMarker = CNADescriptor;

class CNASQLGenerator : public CNARefCounted {
 public:
  // Marker flags.
  static constexpr uint32_t kMarkerValue = 0x80000;
  static constexpr uint32_t kMarkerPattern = 0x40000;
  // Option bits (construction sets the first for MariaDB).
  static constexpr int kOptionBitKind5 = 1;
  static constexpr int kOptionNoSelectMarkers = 2;
  // Generation options.
  static constexpr int kOptionPassThrough = 4;
  static constexpr int kOptionNested = 32;

  // Statement kinds.
  static constexpr int kStatementSelect = 1;
  static constexpr int kStatementUpdate = 2;
  static constexpr int kStatementInsert = 3;
  static constexpr int kStatementDelete = 4;
  static constexpr int kStatementOther = 8;
  static constexpr int kStatementSet = 10;

  explicit CNASQLGenerator(CNAConnection* connection);
  ~CNASQLGenerator() override;

  // --- virtual operations in slot order (0 and 1 are the base's) ---
  virtual int32_t vn2() { return 1; }                                     // 2
  virtual bool bIsEmpty();                                                // 3
  virtual int nGetMarkerCount() { return static_cast<int>(m_markers.size()); }  // 4
  virtual int Reset(bool bKeepMarkers);                                   // 5
  // Appends another generator's statement text, markers (positions
  // shifted) and select list.
  virtual bool bAppendGenerator(const CNASQLGenerator& other, int mode);   // 6
  // A marker holding a copy of the value at the current end of the text,
  // standing for the item when one is given; false when memory runs out.
  virtual bool bAddMarker(const CAny& value, char16_t escape, uint32_t flags,
                          int32_t nodeKind, CNAItem* item = nullptr);     // 7
  // Slot 9 for every item of the record description that has a column of
  // its own (composite keys have none); stops at the first failure.
  virtual bool bAppendItems(const CNAFileDescription& record, CNAError* error);  // 8
  // The item's SQL name quoted by the connection as one element of a
  // comma-separated list; counts as a select-list entry.
  virtual bool bAppendColumnList(CNAItem& item, CNAError* error);         // 9
  // The column reference through the connection's expression that writes
  // a date, time or date-time column as comparable digits.
  virtual bool bRenderTypedColumn(const char16_t* column, int columnType,
                                  std::u16string* out, CNAError* error);  // 10
  // The type a date, time or date-time column compared under a host
  // comparison code is rendered as: 2 (text, through slot 10) or 0 (the
  // column as it is). A null test (code 33) never takes the typed form.
  virtual int nNeedsTypedColumn(int compareCode, int columnType, int nodeKind);  // 11
  // The rewrite pass's marker handlers. Each appends to the dialect text;
  // `continuation` is the place in the statement text where copying goes
  // on after the marker (a handler may move it past text it replaces).
  // inlining: -1 for the text forms of the dialect text, 0 for the dual
  // string; passed on to each handler.
  // A marker's value as the connection's SQL literal.
  virtual bool bAppendMarkerLiteral(const NAMarker& marker, int inlining, CNAError* error);  // 12
  // Slot 14 for a search pattern, else slot 12.
  virtual bool bAppendMarkerValue(const NAMarker& marker, size_t* continuation, int inlining,
                                  CNAError* error);                      // 13
  // A LIKE pattern in the DBMS's pattern syntax (DBMS kind 3 has wildcards
  // of its own), then slot 16.
  virtual bool bAppendPatternLiteral(const NAMarker& marker, size_t* continuation, int inlining,
                                     CNAError* error);                   // 14
  virtual void v15() {}                                                   // 15
  // The pattern (already in the DBMS's syntax) as a literal with the
  // DBMS's escaping, then slot 17.
  virtual bool bAppendLikeLiteral(const NAMarker& marker, const CAny& pattern,
                                  size_t* continuation, int inlining, CNAError* error);  // 16
  // The ESCAPE clause after a pattern literal; on DBMS kind 3 the
  // statement's own ESCAPE clause is skipped instead (its patterns carry
  // no escape character once translated).
  virtual bool bAppendEscapeClause(const NAMarker& marker, const CAny& pattern,
                                   size_t* continuation);                 // 17
  // Deep copy: the copy is registered in the context (when given) and
  // takes the copied connection the context knows, else the same one; the
  // texts, markers, select-list count, kinds, limits and bound query (one
  // more reference) are copied.
  virtual void CopyFrom(const CNASQLGenerator& source, INACopyContext* context);  // 18
  // A new generator copied from this one, with one reference; null when
  // memory runs out.
  virtual CNASQLGenerator* pclClone(INACopyContext* context) const;       // 19
  // A column reference as a comparison under a host comparison code writes
  // it: typed when slot 11 asks for it, else as given (already quoted).
  virtual bool bRenderColumnName(const char16_t* column, int columnType, int compareCode,
                                 std::u16string* out, CNAError* error);  // 20
  // Slots 21 to 25: the column and expression renderers and their hooks
  // are the private walk below.
  virtual void v21() {}                                                   // 21
  virtual void v22() {}                                                   // 22
  virtual bool vb23() { return true; }                                    // 23
  virtual bool vb24() { return false; }                                   // 24
  virtual void v25() {}                                                   // 25
  // A value compared with a column, fitted to the comparison: a partial
  // date or time text compared for equality becomes the first value it
  // stands for; a time or number compared with a time column rendered as
  // text becomes digits of the column's size; any other value is converted
  // to the column's type by the connection when it can be. Nulls stay.
  // columnSize 0: unknown.
  virtual bool BindParameter(int nodeKind, int columnType, int columnSize, CAny& value,
                             CNAError* error);                            // 26
  // The name a function call is written with for the connection's DBMS
  // kind, or null to keep the query's own.
  virtual const char16_t* MapFunctionName(const qg::ParseNode* call);      // 27
  // Position of the next "{" / "}" at or after start, -1 when none.
  virtual int32_t nFindOpenBrace(const char16_t* text, int32_t start);    // 28
  virtual int32_t nFindCloseBrace(const char16_t* text, int32_t start);   // 29
  // Whether a value of a query of that kind may become a marker: never
  // when parameters are not allowed; not in mode 1 for a SELECT when
  // option kOptionNoSelectMarkers is set.
  virtual bool bCanUseMarker(int queryKind, int mode) const;              // 30

  // --- appending ---
  bool bAppend(const char16_t* text, ptrdiff_t length = -1);
  bool bAppend(const std::u16string& text) { return bAppend(text.data(), static_cast<ptrdiff_t>(text.size())); }
  bool bSetRawText(const char16_t* text);
  bool bAppendReturning(const char16_t* text);
  // "COUNT(*) AS QGACCESNATIF_NBENR", after "," when the select list is not
  // empty, and the row-count entry of the select list (bound to nothing).
  bool bAppendCount();
  // The same, the entry bound to a value converter the driver manager makes
  // for the table object that reads the count; false when none can be made.
  bool bAppendCountFor(CNARefCounted* tableObject);
  // A select-list entry for a column item (one more reference on the item
  // and its bound value); false when memory runs out.
  bool bAddSelectItem(CNAItem* item);
  // A column name quoted by the connection, as one element of a
  // comma-separated list, with a select-list entry that stands for no item.
  bool bAppendColumnName(const char16_t* name, CNAError* error);
  void SetStatementKind(int queryKind);
  int nGetStatementKind() const { return m_nStatementKind; }
  void SetRowLimit(int64_t limit) { m_nRowLimit = limit; }
  void SetRowOffset(int64_t offset) { m_nRowOffset = offset; }
  int64_t nGetRowLimit() const { return m_nRowLimit; }
  int64_t nGetRowOffset() const { return m_nRowOffset; }
  void SetExtraSelectText(const char16_t* text) { m_strExtraSelect = text != nullptr ? text : u""; }
  // Cuts the statement text to n characters and drops the markers from
  // firstMarker on (negative: every marker at or after the new end).
  void TruncateTo(size_t n, int firstMarker = -1);
  // Puts `text` before the statement text; the markers keep their values'
  // places in it. False, nothing changed, once a pass-through text is made.
  bool bPrepend(const std::u16string& text);
  // Whether the session runs under sql_mode NO_BACKSLASH_ESCAPES (the back
  // end says so); LIKE then has no default escape character.
  void SetNoBackslashEscapes(bool on) { m_bNoBackslashEscapes = on; }
  bool bNoBackslashEscapes() const { return m_bNoBackslashEscapes; }
  int nGetOptionBits() const { return m_nOptionBits; }
  void SetOptionBits(int bits) { m_nOptionBits = bits; }
  // Cleared on generators that render a nested expression into a text.
  void SetParametersAllowed(bool allowed) { m_bParametersAllowed = allowed; }

  CNAConnection* pclGetConnection() const { return m_pConnection; }
  const char16_t* pszGetStatementText();
  size_t nGetStatementLength() const { return m_strStatement.size(); }
  const NAMarker& GetMarker(int i) const { return *m_markers[static_cast<size_t>(i)].Get(); }
  // What a marker holds: its value, flags, escape character, position.
  static const CAny& MarkerValue(const NAMarker& marker);
  static uint32_t nMarkerFlags(const NAMarker& marker);
  static char16_t cMarkerEscape(const NAMarker& marker);
  static size_t nMarkerPosition(const NAMarker& marker);
  int nGetSelectCount() const { return static_cast<int>(m_selectList.size()); }
  // Entry i of the select list (no reference added).
  CNASelectExpression* pclGetSelectEntry(int i) const {
    return i >= 0 && static_cast<size_t>(i) < m_selectList.size() ? m_selectList[static_cast<size_t>(i)]
                                                                  : nullptr;
  }

  // The dialect text (made once by the rewrite pass); null when the pass
  // fails (the error then says why).
  const char16_t* pszGetDialectText(CNAError* error = nullptr);
  // The same in the connection's client code page.
  const char* pszGetDialectTextA(CNAError* error = nullptr);
  // The dialect text as a dual string (owned by the generator); null when
  // the pass fails.
  CDualString* pclGetDialectText(CNAError* error = nullptr);

  // --- rewriting a parsed query ---
  // Regenerates the query; extra: a condition (statement text and markers
  // of another generator) merged into the WHERE clause, or null. With
  // bKeepOrderBy the query's ORDER BY is written (names quoted); without,
  // it is dropped so that the caller can append its own. Options: 4 pass
  // through (1 counts as 4): only embedded names are replaced, and the text
  // is taken as written up to a top-level ORDER BY when it is not kept.
  bool bGenerate(CNAQuery* query, const CNASQLGenerator* extra, bool bKeepOrderBy, int options,
                 CNAError* error);
  // Appends the bound query's ORDER BY items, each in its own direction
  // (bKeepDirection) or reversed. Stops after a primary column: the order
  // is then total. Answers the select-list index of that column in
  // *stoppedAt (-1 when the list ran to its end).
  bool bAppendOrderBy(bool bKeepDirection, int* stoppedAt, CNAError* error);

  // With a bound query and outside pass-through mode, appends the query's
  // text after its last condition part: after the first of the ends of the
  // LIMIT clause, HAVING, GROUP BY and WHERE that the parse reports.
  bool bAppendQueryTail();
  // A condition given as SQL text: the WHERE condition of the query,
  // written in parentheses with its names quoted by the connection and its
  // values as markers. A query without a WHERE condition fails.
  bool bAppendTextCondition(CNAQuery* query, CNAError* error);

  // Null list of the conditions merged into the statement.
  CNANameList* pclEnsureNameList();
  void MergeNameList(const CNANameList* list);
  // Replaces the list by a copy of `list`, or empties it when null.
  void SetNameList(const CNANameList* list);
  const CNANameList* pclGetNameList() const { return m_pNullList.get(); }
  // The item's flag in the null list (1 nulls pass, 0 rejected); 1 without
  // a list.
  int bApplyNameList(const CNAItem* item) const;
  // The same for the item of that column name (SQL name, else name; case
  // ignored).
  int nApplyNameListByName(const char16_t* column) const;

 private:
  struct Walk;
  struct Segment {
    int kind;
    int32_t nStart;
    int32_t nEnd;
    int32_t nIndex;
  };

  bool bWalk(Walk& w, qg::IParsedQuery* q, bool nested);
  void CopyTo(Walk& w, int32_t position);
  bool bRenderNode(Walk& w, qg::IParsedQuery* q, const qg::ParseNode* node,
                   const qg::ParseNode* parent, int index);
  bool bRenderNullComparison(Walk& w, qg::IParsedQuery* q, const qg::ParseNode* node,
                             size_t outBeforeColumn);
  bool bRenderColumnNode(Walk& w, qg::IParsedQuery* q, const qg::ParseNode* node);
  bool bWriteQuoted(Walk& w, const char16_t* name, bool qualified);
  bool bSelectList(Walk& w, qg::IParsedQuery* q, bool second);
  bool bSource(Walk& w, qg::IParsedQuery* q, int index);
  // The extra condition goes into the top-level query only.
  bool bWhere(Walk& w, qg::IParsedQuery* q, bool withExtra);
  bool bOrderBy(Walk& w, qg::IParsedQuery* q, bool reRender, bool keepDirection,
                int* stoppedAt);
  bool bEmbedded(Walk& w, qg::IParsedQuery* q, int index);
  int32_t nFromEnd(Walk& w, qg::IParsedQuery* q);
  bool bQuoteAliasAfter(Walk& w, int32_t position);
  std::u16string EscapeClauseOfConnection(char16_t escape);
  std::u16string ArgumentText(Walk& w, qg::IParsedQuery* q, const qg::ParseNode* call, int index,
                              bool atEnd);
  bool bKindOneArgumentText(Walk& w, qg::IParsedQuery* q, const qg::ParseNode* call, int index,
                            std::u16string* out);
  std::u16string OperandText(Walk& w, qg::IParsedQuery* q, const qg::ParseNode* node);
  void Internal(CNAError* error, uint32_t minor, uint32_t message, const char16_t* parameter);
  bool bRewrite(int inlining, CNAError* error);
  bool bMakeDialect(int inlining, CNAError* error);

  CNAConnection* m_pConnection;  // one reference (both counts)
  bool m_bPassThrough = false;
  int m_nStatementKind = 0;
  CNAQuery* m_pQuery = nullptr;  // one reference, or null
  std::u16string m_strStatement;
  // One reference held on each, in text order.
  std::vector<CNARefPtr<NAMarker>> m_markers;
  // A copy of a marker (its value copied), placed `shift` further on.
  NAMarker* pclCopyMarker(const NAMarker& marker, size_t shift, INACopyContext* context) const;
  bool m_bParametersAllowed = true;
  int m_nOptionBits = 0;
  std::u16string m_strExtraSelect;
  // The select list, one reference held on each entry.
  std::vector<CNASelectExpression*> m_selectList;
  bool bPushSelectEntry(CNASelectExpression* entry);  // takes the caller's reference
  void DropSelectEntries(size_t from);
  int64_t m_nRowLimit = -1;
  int64_t m_nRowOffset = -1;
  std::u16string m_strDialect;
  bool m_bDialectMade = false;
  std::unique_ptr<CDualString> m_pDialectDual;  // made on demand from m_strDialect
  std::unique_ptr<CNANameList> m_pNullList;
  bool m_bNoBackslashEscapes = false;
};

#endif  // QG_DRIVER_SQL_SQL_GENERATOR_H_
