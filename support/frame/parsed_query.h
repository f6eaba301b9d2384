// The host's parsed query: what the host's SQL parser hands the driver for a
// query text. The host owns every record reached through it; records stay
// valid and unchanged while the caller holds a reference to the query.
//
// Positions are UTF-16 offsets into the query's text (pszGetText), ranges
// are half-open [nStart, nEnd); -1 means absent. A sub-query is a parsed
// query of its own whose positions are offsets into the same text as its
// parent's, so that a writer walks one text for the query and everything
// nested in it.
#ifndef QG_SUPPORT_FRAME_PARSED_QUERY_H_
#define QG_SUPPORT_FRAME_PARSED_QUERY_H_

#include <cstdint>

class CAny;

namespace qg {

class IParsedQuery;

// Node kinds of the expression tree. Comparisons and other operators are
// their own kinds; a function call has kind kNodeFunction and a function
// code (below).
enum ParseNodeKind : int32_t {
  kNodeOr = 1,
  kNodeAnd = 2,
  kNodeNot = 3,
  kNodeEqual = 9,
  kNodeNotEqual = 10,
  kNodeLess = 11,
  kNodeLessEqual = 12,
  kNodeGreater = 13,
  kNodeGreaterEqual = 14,
  kNodeAdd = 15,
  kNodeSubtract = 16,
  kNodeMultiply = 17,
  kNodeDivide = 18,
  kNodeModulo = 19,
  kNodeNegate = 20,
  kNodeIsNull = 21,
  kNodeIsNotNull = 22,
  kNodeBetween = 23,
  kNodeNotBetween = 24,
  kNodeIn = 25,
  kNodeNotIn = 26,
  kNodeLike = 32,
  kNodeNotLike = 33,
  kNodeExists = 41,
  kNodeColumn = 47,    // '/'
  kNodeValue = 48,     // '0'
  kNodeKeyword = 49,   // '*' in COUNT(*), DEFAULT, a bare word kept as written
  kNodeSubquery = 58,  // ':'
  kNodeCase = 67,      // CASE ... END, its parts as operands
  kNodeFunction = 70,  // 'F'
  kNodeRefused = 73,   // 'I': a construct the driver does not write
};

// Function codes of function-call nodes. Codes the driver's dialect tables
// do not name are kFunctionOther.
enum ParseFunctionCode : int32_t {
  kFunctionNone = -1,
  kFunctionIfNull = 7,
  kFunctionNvl = 8,
  kFunctionCount = 15,
  kFunctionSum = 16,
  kFunctionAvg = 29,
  kFunctionMin = 30,
  kFunctionMax = 40,
  kFunctionLeft = 42,
  kFunctionRight = 43,
  kFunctionSubstring = 44,
  kFunctionUpper = 45,
  kFunctionLower = 46,
  kFunctionMid = 50,
  kFunctionSubstr = 51,
  kFunctionLTrim = 52,
  kFunctionRTrim = 53,
  kFunctionCharLength = 54,
  kFunctionLength = 55,
  kFunctionCeiling = 72,
  kFunctionSubstringFromFor = 75,  // SUBSTRING(x FROM n FOR m)
  kFunctionSubstringFrom = 76,     // SUBSTRING(x FROM n)
  kFunctionPosition = 80,          // POSITION(a IN b)
  kFunctionConcat = 88,
  kFunctionLocate = 89,
  kFunctionHex = 92,
  kFunctionOther = 200,
};

// One node of an expression. Operands in text order.
struct ParseNode {
  int32_t nKind;
  int32_t nFunction;  // function code for kNodeFunction, else kFunctionNone
  int32_t nStart;
  int32_t nEnd;
  int32_t nOperandCount;
  const ParseNode* const* ppOperands;
  // kNodeColumn: the column's name, its qualifier as written (null when
  // none), the index of its source in the query's sources (-1 when the
  // parser could not tell) and the outer-join mark "(+)".
  const char16_t* pszName;
  const char16_t* pszQualifier;
  int32_t nSource;
  bool bOuterJoin;
  int32_t nColumnType;  // the host's column type (10 date, 14 date, 24 date-time, ...), 0 unknown
  // kNodeValue: the value (null type and null flag for NULL).
  const CAny* pValue;
  // kNodeLike, kNodeNotLike: the ESCAPE character, 0 when none is written.
  char16_t cEscape;
  // kNodeSubquery: the nested query.
  IParsedQuery* piSubquery;
};

// Query kinds reported by the parser.
enum ParseQueryKind : int32_t {
  kQueryUnknown = 0,
  kQuerySelect = 1,
  kQueryUpdate = 3,
  kQueryInsert = 4,
  kQueryDelete = 5,
};

// Key flags of a source column, as the host's table description says.
enum ParseKeyFlag : uint32_t {
  kKeyPrimary = 0x1,
  kKeyUnique = 0x2,
  kKeyIndexed = 0x4,
  kKeyComposite = 0x8,
};

// A FROM source: a table or a sub-query.
struct ParseSource {
  int32_t nStart;  // the whole source: name or sub-query through the alias
  int32_t nEnd;
  int32_t nNameStart;  // the table name as written (qualified or not)
  int32_t nNameEnd;
  const char16_t* pszName;   // table name without quotes, qualifier included
  const char16_t* pszAlias;  // null when none
  int32_t nAliasStart;
  int32_t nAliasEnd;
  IParsedQuery* piSubquery;  // null for a table
  const ParseNode* pJoinCondition;  // ON condition of a join, or null
};

// A select-list column, or a column of an INSERT column list / UPDATE SET
// list.
struct ParseColumn {
  int32_t nStart;  // the expression, alias excluded
  int32_t nEnd;
  const char16_t* pszName;   // column name, or the alias / text of a computed column
  const char16_t* pszAlias;  // null when none
  int32_t nSource;           // index in the sources, -1 when computed or unknown
  bool bComputed;
  bool bNotUpdatable;
  int32_t nExpressionType;   // 27 to 31 for aggregates, 0 otherwise
  const ParseNode* pExpression;
  uint32_t nKeyFlags;        // ParseKeyFlag of the source column, 0 when computed
  int32_t nColumnType;       // the host's column type, 0 when computed or unknown
};

// An ORDER BY or GROUP BY item.
struct ParseOrderItem {
  int32_t nStart;  // the item's expression
  int32_t nEnd;
  int32_t nColumn;  // index in the select list, -1 when the item is no select column
  // 1 a plain column, 2 a position number, 3 an alias of a computed
  // column, 0 any other expression.
  int32_t nForm;
  int32_t nDirection;  // 0 none written, 1 ASC, 2 DESC
  const ParseNode* pExpression;
};

// An assignment of an UPDATE's SET list or one value of an INSERT's VALUES.
struct ParseAssignment {
  int32_t nColumn;  // index in the written columns
  const ParseNode* pValue;
};

// A name or value the host embedded in the text ({name} / {value}).
struct ParseEmbedded {
  int32_t nStart;
  int32_t nEnd;
  bool bValue;
  const char16_t* pszName;       // name, for a name
  const char16_t* pszQualifier;  // null when none
  const CAny* pValue;            // for a value
  uint32_t nFlags;               // the value's flags
};

// Clauses whose ranges the parser reports.
enum ParseClause : int32_t {
  kClauseSelectList = 0,  // the select list (SELECT) or INSERT column list
  kClauseFrom = 1,        // the FROM sources, joins included
  kClauseWhere = 2,       // the WHERE condition
  kClauseGroupBy = 3,     // the GROUP BY items
  kClauseHaving = 4,      // the HAVING condition
  kClauseOrderBy = 5,     // from the ORDER keyword through the last item
  kClauseLimit = 6,       // from the LIMIT keyword through its numbers
  kClauseAssignments = 7, // VALUES list of an INSERT, SET list of an UPDATE
  kClauseInsertSelect = 8,  // the sub-select of INSERT ... SELECT
  kClauseWhereKeyword = 9,  // the WHERE keyword itself
  kClauseCount = 10,
};

struct ParseRange {
  int32_t nStart;
  int32_t nEnd;
};

// Reference-counted; operations in slot order. Calls never throw, except
// those documented to raise (the caller catches them).
class IParsedQuery {
 public:
  virtual int32_t AddRef() = 0;                                        // 0
  virtual int32_t Release() = 0;                                       // 1
  virtual int32_t nGetKind() = 0;                                      // 2 ParseQueryKind
  virtual const char16_t* pszGetText() = 0;                            // 3
  virtual int32_t nGetTextLength() = 0;                                // 4
  virtual ParseRange GetClause(int32_t clause) = 0;                    // 5
  virtual const ParseNode* pGetCondition(int32_t clause) = 0;          // 6 kClauseWhere / kClauseHaving
  virtual int32_t nGetSourceCount() = 0;                               // 7
  virtual const ParseSource* pGetSource(int32_t index) = 0;            // 8
  virtual int32_t nGetColumnCount() = 0;                               // 9 select list
  virtual const ParseColumn* pGetColumn(int32_t index) = 0;            // 10
  virtual int32_t nGetWrittenCount() = 0;                              // 11 INSERT / UPDATE columns
  virtual const ParseColumn* pGetWritten(int32_t index) = 0;           // 12
  virtual int32_t nGetAssignmentCount() = 0;                           // 13
  virtual const ParseAssignment* pGetAssignment(int32_t index) = 0;    // 14
  virtual int32_t nGetOrderCount() = 0;                                // 15
  virtual const ParseOrderItem* pGetOrderItem(int32_t index) = 0;      // 16
  virtual int32_t nGetGroupCount() = 0;                                // 17
  virtual const ParseOrderItem* pGetGroupItem(int32_t index) = 0;      // 18
  virtual int32_t nGetEmbeddedCount() = 0;                             // 19
  virtual const ParseEmbedded* pGetEmbedded(int32_t index) = 0;        // 20
  virtual int32_t nGetParameterCount() = 0;                            // 21 '?' markers
  // Resolves a source or alias name into the table name it stands for;
  // writes at most nCapacity units with the terminator and answers the
  // length, 0 when unknown. May raise.
  virtual int32_t nResolveName(const char16_t* name, char16_t* out,
                               int32_t nCapacity) = 0;                 // 22
  // The end positions asked for the text that follows the last condition:
  // 0 end of the LIMIT clause, 1 end of HAVING, 2 end of GROUP BY, 3 end of
  // WHERE; -1 absent.
  virtual int32_t nGetTailPosition(int32_t which) = 0;                 // 23
  // The sub-select of INSERT ... SELECT, null otherwise (no reference added).
  virtual IParsedQuery* piGetInsertSelect() = 0;                       // 24

 protected:
  ~IParsedQuery() = default;
};

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_PARSED_QUERY_H_
