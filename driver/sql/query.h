// Description of a query the host has parsed: its kind, sources, select-list
// columns, written columns, ORDER BY items and best identifying column. It
// walks the host's parsed query once, holds one reference to it (the records
// it keeps pointers to live as long as that reference), and answers the SQL
// generator, the filters, the session and the table access object.
#ifndef QG_DRIVER_SQL_QUERY_H_
#define QG_DRIVER_SQL_QUERY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/refcounted.h"
#include "support/frame/parsed_query.h"

class CNAConnection;
class CNAFileDescription;
class INAFileDescription;

// A select-list column as the parse described it when the description was
// made: what the column is, kept by value.
struct NAColumnSnapshot {
  std::u16string strName;    // column name, or the alias / text of a computed column
  std::u16string strAlias;   // empty when none
  std::u16string strSource;  // name of its source, empty when computed or unknown
  int32_t nSource = -1;
  int32_t nStart = -1;
  int32_t nEnd = -1;
  int32_t nExpressionType = 0;
  int32_t nColumnType = 0;
  uint32_t nKeyFlags = 0;
  bool bComputed = false;
  bool bNotUpdatable = false;
};

// The item of a source table that a plain select-list column reads: the
// source, the column's name there and what the source's description says
// of it.
struct NASourceItem {
  const qg::ParseSource* pSource = nullptr;
  const char16_t* pszName = nullptr;
  uint32_t nKeyFlags = 0;
  int32_t nColumnType = 0;
};

class CNAQuery : public CNARefCounted {
 public:
  // Kinds: 0 none, 1 SELECT, 3 UPDATE, 4 INSERT, 5 DELETE.
  static constexpr int kKindNone = 0;
  static constexpr int kKindSelect = 1;
  static constexpr int kKindUpdate = 3;
  static constexpr int kKindInsert = 4;
  static constexpr int kKindDelete = 5;

  // Takes a reference to the parsed query (null gives an empty
  // description). With bClassify, a query whose parse gives no kind is
  // classified by its first word: INSERT, UPDATE or DELETE in any case.
  CNAQuery(qg::IParsedQuery* parsed, bool bClassify);
  // The same, linked to the host's description of the query (the source
  // it was opened as; one reference held, may be null).
  CNAQuery(qg::IParsedQuery* parsed, INAFileDescription* linked, bool bClassify);
  ~CNAQuery() override;

  // Slot 2: deep copy (the parsed query shared, one more reference).
  virtual int32_t nCopyFrom(const CNAQuery& source);
  // Slot 3: a new description copied from this one (one reference for the
  // caller), null when memory runs out.
  virtual CNAQuery* pclClone() const;

  qg::IParsedQuery* piGetParsed() const { return m_piParsed; }
  int nGetKind() const { return m_nKind; }
  const char16_t* pszGetText() const;
  int32_t nGetTextLength() const;
  bool bHasNotUpdatableColumn() const { return m_bNotUpdatable; }
  bool bHasAggregate() const { return m_bAggregate; }

  // Iterators: restart from the first element when bRestart is set, else
  // continue; null at the end, and again until restarted.
  const qg::ParseSource* pclNextSource(bool bRestart);
  const qg::ParseColumn* pclNextColumn(bool bRestart);
  // Written columns for kinds 3 to 5, the select-list columns otherwise.
  const qg::ParseColumn* pclNextWritten(bool bRestart);
  const qg::ParseOrderItem* pclNextOrderItem(bool bRestart);
  const qg::ParseAssignment* pclNextUpdateParameter(bool bRestart);
  const qg::ParseAssignment* pclNextInsertParameter(bool bRestart);
  // The snapshots of the select-list columns.
  const NAColumnSnapshot* pclNextSnapshot(bool bRestart);
  int nGetSnapshotCount() const { return static_cast<int>(m_snapshots.size()); }

  // The host's description the query is linked to, and its name (null
  // without one).
  INAFileDescription* piGetLinked() const { return m_piLinked; }
  const char16_t* pszGetLinkedName() const;
  // The connection the query runs on (one reference held); a new one
  // forgets what it answered before.
  void SetConnection(CNAConnection* connection);
  CNAConnection* pclGetConnection() const { return m_pConnection; }

  // The logical description of the query's result, handed over by the
  // session that reads it (one reference held; null clears). A copy of the
  // description is not linked: its session hands over its own.
  void SetLogicalDescription(CNAFileDescription* logical);
  CNAFileDescription* pclGetLogicalDescription() const { return m_pLogical; }
  // The name by which the result knows the column of the first ORDER BY
  // item: the name of the logical description's item for that column of
  // the result, else the select-list column's alias or name; null when the
  // query has no ORDER BY or its first item is no select-list column.
  const char16_t* pszGetOrderName() const;

  // A select-list column by name, without regard to case; null when none.
  const qg::ParseColumn* pclFindColumn(const char16_t* name) const;
  const qg::ParseColumn* pclGetColumn(int index) const;
  int nGetColumnCount() const { return static_cast<int>(m_columns.size()); }
  int nGetColumnIndex(const qg::ParseColumn* column) const;
  // A source of that name exists and its alias differs from its name;
  // without such a source, whether the parsed query resolves the name.
  bool bIsSourceName(const char16_t* name) const;
  // The ORDER BY item that orders on a column of the given source and name,
  // or whose expression text is the given text.
  const qg::ParseOrderItem* pclFindOrderItem(int source, const char16_t* name) const;
  // Whether the select-list column of that name is an aggregate.
  bool bIsAggregateColumn(const char16_t* name) const;
  // Whether the query reads rows as a SELECT: the parse's kind when it
  // gives one, else the connection's reading of the text (a reading of
  // its own without a connection). Answered once and kept.
  bool bIsSelect();
  // The parsed query's resolution of a name, into out; null for an empty
  // name, an empty result or a failing resolution.
  const char16_t* pszResolveName(const char16_t* name, std::u16string* out) const;
  // The source item a plain column of the select list reads; null for a
  // computed column, a column of no known source or one of another query.
  const NASourceItem* pclGetSourceItem(const qg::ParseColumn* column) const;
  // The column is the stored best column, or, with one source only, its
  // source item is such a key (not a composite one).
  bool bIsPrimaryColumn(const qg::ParseColumn* column) const;
  bool bIsUniqueColumn(const qg::ParseColumn* column) const;

  const qg::ParseColumn* pclGetMainColumn() const { return m_pMain; }
  const qg::ParseColumn* pclGetOrderedColumn() const { return m_pOrdered; }
  const qg::ParseColumn* pclGetPrimaryColumn() const { return m_pPrimary; }
  const qg::ParseColumn* pclGetUniqueColumn() const { return m_pUnique; }
  const qg::ParseColumn* pclGetIndexedColumn() const { return m_pIndexed; }

 private:
  void Fill(bool bClassify);
  void Drop();

  qg::IParsedQuery* m_piParsed = nullptr;
  INAFileDescription* m_piLinked = nullptr;
  CNAConnection* m_pConnection = nullptr;
  CNAFileDescription* m_pLogical = nullptr;
  int m_nKind = kKindNone;
  const qg::ParseColumn* m_pMain = nullptr;
  const qg::ParseColumn* m_pPrimary = nullptr;
  const qg::ParseColumn* m_pUnique = nullptr;
  const qg::ParseColumn* m_pIndexed = nullptr;
  const qg::ParseColumn* m_pOrdered = nullptr;
  std::vector<const qg::ParseSource*> m_sources;
  std::vector<const qg::ParseColumn*> m_columns;
  std::vector<const qg::ParseColumn*> m_written;
  std::vector<const qg::ParseOrderItem*> m_order;
  std::vector<const qg::ParseAssignment*> m_updateParameters;
  std::vector<const qg::ParseAssignment*> m_insertParameters;
  std::vector<NAColumnSnapshot> m_snapshots;
  std::vector<NASourceItem> m_sourceItems;  // one per select-list column
  int m_nSnapshotCursor = -1;
  int m_nSourceCursor = -1;
  int m_nColumnCursor = -1;
  int m_nWrittenCursor = -1;
  int m_nOrderCursor = -1;
  int m_nUpdateCursor = -1;
  int m_nInsertCursor = -1;
  bool m_bNotUpdatable = false;
  bool m_bAggregate = false;
  int m_nSelect = -1;  // cached verdict, -1 not yet known
};

// Takes the value of `key` from a text of pairs "key=value;": the key
// matches, without regard to case, only at the start of the text or after
// a ";" and blanks, and is followed by "=". The value runs to the next ";"
// or the end. With bRemove the pair is cut out with the blanks before it
// and the blanks and ";" after it. Whether the key was found.
bool bExtractOption(std::u16string& options, const char16_t* key, std::u16string* value,
                    bool bRemove);

// Whether a statement text reads rows as a SELECT, read as the connection
// writes it (its identifier quotes; none without a connection): its first
// word, past comments and opening parentheses, is SELECT, or WITH and its
// common table expressions are followed by a SELECT.
bool NAIsSelectText(const CNAConnection* connection, const char16_t* text, int32_t length);

// Whether a host expression code is that of a function call, whose
// operands are function arguments.
bool bIsPlainExpressionCode(int code);

#endif  // QG_DRIVER_SQL_QUERY_H_
