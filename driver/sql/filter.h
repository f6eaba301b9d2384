// CNAFilter: a condition tree over the columns of a table, written into the
// WHERE part of a statement through the SQL generator. While writing, the
// tree folds branches whose value is known in advance into "0=1" or "1=1"
// (taking back what they wrote), turns comparisons with null values into
// null tests, and records for every column whether the condition lets that
// column's nulls through (the node's null list).
//
// Reference-counted; a node holds one reference on each child. One thread
// at a time (the owner's session lock). Writing changes the operator of a
// folded node in place; pclRebuild gives a fresh tree when the given one
// must stay unchanged.
#ifndef QG_DRIVER_SQL_FILTER_H_
#define QG_DRIVER_SQL_FILTER_H_

#include <memory>
#include <string>

#include "driver/core/refcounted.h"
#include "driver/sql/filter_rules.h"
#include "driver/sql/name_list.h"
#include "support/any.h"

class CNAError;
class CNAItem;
class CNAQuery;
class CNASQLGenerator;

// The column a leaf compares, as the leaf writes it.
struct NAFilterColumn {
  const CNAItem* pItem = nullptr;  // identity in null lists; not owned
  std::u16string strSql;           // the column reference, quoted and qualified
  int nColumnType = 0;             // driver column type code
  int nVeliscType = 0;             // the item's value type
  bool bNullable = true;
  int nTimeTextSize = 9;           // text size of a time column
};

// What the caller's sort object tells the writing.
struct NAFilterWriteOptions {
  bool bEmptyAsNull = false;  // an empty text value counts as null
};

class CNAFilter : public CNARefCounted {
 public:
  CNAFilter() = default;
  ~CNAFilter() override;  // releases the children

  // --- virtual operations in slot order (0 and 1 are the base's) ---
  virtual CNAFilter* pclNewNode() const;                                  // 2
  // Deep copy of the other tree into this node.
  virtual void CopyFrom(const CNAFilter& other);                          // 3
  virtual CNAFilter* pclClone() const;                                    // 4
  virtual bool bWriteLeaf(CNASQLGenerator& generator, const NAFilterWriteOptions& options,
                          CNAError* error);                               // 5

  // --- builders (each answers a node with one reference, null when out of
  // memory) ---
  static CNAFilter* pclNewBinary(int op, CNAFilter* left, CNAFilter* right, unsigned flags);
  static CNAFilter* pclNewLeaf(int op, const NAFilterColumn& column, const CAny& value,
                               unsigned flags);
  static CNAFilter* pclNewConstant(bool truth);
  // A condition given as SQL text: the WHERE condition of a parsed query
  // (one reference taken). Written with its names quoted and its values
  // as markers, in parentheses.
  static CNAFilter* pclNewTextCondition(CNAQuery* query);
  // Makes this node such a condition (children dropped, flags 0).
  void SetTextCondition(CNAQuery* query);
  CNAQuery* pclGetTextCondition() const { return m_pText; }
  // this AND other, with this node's flags.
  CNAFilter* pclAnd(CNAFilter* other);
  // A fresh copy of the tree.
  CNAFilter* pclRebuild() const;

  // Writes the tree at the end of the generator's statement. parent_op is
  // 0 at the root. *folded tells the caller that the node became "0=1" or
  // "1=1"; what it wrote is then that constant alone.
  bool bWrite(CNASQLGenerator& generator, int parent_op, const NAFilterWriteOptions& options,
              bool* folded, CNAError* error);

  // The null flag of the item after writing: from the node's list, else,
  // for the node's own item, from the operator and the value's null state.
  bool bAcceptsNull(const CNAItem* item) const;
  bool bIsEqual(const CNAFilter* other) const;

  // The node holds no condition at all: empty, or AND / OR of two such
  // nodes, or NOT of one. An empty child is neutral to its parent, and a
  // tree of nothing writes no WHERE.
  bool bWritesNothing() const;
  int nGetOperator() const { return m_nOperator; }
  unsigned nGetFlags() const { return m_nFlags; }
  CNAFilter* pclGetLeft() const { return m_pLeft; }
  CNAFilter* pclGetRight() const { return m_pRight; }
  const CNANameList* pclGetNullList() const { return m_pNullList.get(); }
  const CAny& clGetValue() const { return m_clValue; }
  const NAFilterColumn& GetColumn() const { return m_column; }

 protected:
  // *folded receives 0, or the constant (10 or 11) the node became.
  bool bWriteNode(CNASQLGenerator& generator, int parent_op, const NAFilterWriteOptions& options,
                  int* folded, CNAError* error);
  void Normalise(bool null_first);
  CNANameList* pclNullList(CNAError* error);
  void SetChildren(CNAFilter* left, CNAFilter* right);
  // The node becomes the constant of `op` (10 or 11), children dropped.
  void FoldTo(int op);

  int m_nOperator = 0;
  CNAFilter* m_pLeft = nullptr;   // one reference
  CNAFilter* m_pRight = nullptr;  // one reference
  NAFilterColumn m_column;
  CAny m_clValue;
  unsigned m_nFlags = 0;
  std::unique_ptr<CNANameList> m_pNullList;
  CNAQuery* m_pText = nullptr;  // operator 9: one reference
  // Set by bWriteLeaf when the leaf wrote a constant in place of a
  // comparison (10 or 11): the node then folds like a constant node.
  int m_nLeafConstant = 0;
};

// A filter plus its active flag.
class CNAFilterRef {
 public:
  CNAFilterRef() = default;
  ~CNAFilterRef();
  CNAFilterRef(const CNAFilterRef& other);
  CNAFilterRef& operator=(const CNAFilterRef& other);
  // Holds the filter (one reference); active when it has a condition.
  void Set(CNAFilter* filter);
  CNAFilter* pclGet() const { return m_pFilter; }
  bool bIsActive() const { return m_bActive; }
  // Equal when both are inactive, or both active with equal trees.
  bool bIsEqual(const CNAFilterRef& other) const;

 private:
  CNAFilter* m_pFilter = nullptr;
  bool m_bActive = false;
};

#endif  // QG_DRIVER_SQL_FILTER_H_
