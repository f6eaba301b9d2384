// CNATableDescription: the driver's picture of one table or one result: its
// columns in order, its keys (single-column keys are the columns themselves,
// composite keys are columns of kind composite with parts), its large-object
// columns, the record layout and the key chosen for navigation.
//
// Filled from the server's catalogue (mode 1: the back end's queries), or
// from the result columns of an executed statement (mode 2). Reference-
// counted; holds both counts of its connection and one reference on each
// entry of its three lists. No lock: built by one caller, then read under
// the session's lock.
#ifndef QG_DRIVER_SQL_TABLE_DESCRIPTION_H_
#define QG_DRIVER_SQL_TABLE_DESCRIPTION_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "driver/core/refcounted.h"
#include "driver/sql/row_buffer.h"
#include "support/ctstring.h"

class CNAColumn;
class CNAConnection;
class CNAError;
class CNAStatement;
class INACopyContext;
class INAFileDescription;

class CNATableDescription : public CNARefCounted {
 public:
  enum Mode { kNew = 0, kFromServer = 1, kFromResult = 2 };

  explicit CNATableDescription(CNAConnection* connection);
  ~CNATableDescription() override;

  CNAConnection* pclGetConnection() const { return m_pConnection; }
  const char16_t* pszGetName() const { return m_strName.pszGet(); }
  void SetName(const char16_t* name) { m_strName.Set(name); }
  const char16_t* pszGetServerName() const { return m_strServerName.pszGet(); }
  void SetServerName(const char16_t* name) { m_strServerName.Set(name); }
  int nGetMode() const { return m_nMode; }

  // --- reading the server -----------------------------------------------
  // Name and server name = `name`, mode 1, then the column pass and, when it
  // succeeded, the key pass. Message 30 (site 8.3) when no column was read.
  bool bDescribeFromServer(const char16_t* name, int option, CNAError* error);
  // Mode 2: one column per result column of an executed statement.
  bool bDescribeFromStatement(CNAStatement* statement, CNAError* error);
  // Mode 2: merges the host's description of a data file: item i updates
  // column i (from its source when it has one, else from its own type and
  // size; its key and large-object states move the column in or out of
  // those lists) or, past the columns, adds one; the SQL name comes from
  // the item. The host's keys then choose the key (the first one) and set
  // each key column's direction. Ends with the layout pass.
  bool bApplyFileDescription(INAFileDescription* file, CNAError* error);

  // --- columns ------------------------------------------------------------
  int nGetColumnCount() const { return static_cast<int>(m_apColumns.size()); }
  int nGetKeyCount() const { return static_cast<int>(m_apKeys.size()); }
  int nGetLargeObjectCount() const { return static_cast<int>(m_apLargeObjects.size()); }
  // Element i (from 0) without a reference; null outside.
  CNAColumn* pclColumnAt(int i) const;
  CNAColumn* pclKeyAt(int i) const;
  CNAColumn* pclLargeObjectAt(int i) const;
  // With a reference taken.
  CNAColumn* pclGetColumn(int i) const;
  CNAColumn* pclGetIndex(int i) const;
  CNAColumn* pclGetLargeObjectColumn(int i) const;
  // The column of that name, no reference; flag bit 0: compare the names
  // normalised (ignoring case and accents), else exactly.
  CNAColumn* pclFindColumn(const char16_t* name, int flags) const;
  // The same with flags 2; message 26 (site 8.2) when absent.
  CNAColumn* pclFindColumnOrError(const char16_t* name, CNAError* error) const;
  // The one way a column enters: a generated name when it has none, a
  // unique name (N, N2, N3...), placement by ordinal, the key list by key
  // number, the large-object list. Takes its own reference.
  bool bAppendColumn(CNAColumn* column);
  // Adds a key that is not itself a column (a composite key), by the rule
  // of bAppendColumn; takes its own reference.
  void AddKey(CNAColumn* key);
  // Every column of `other` but composite keys exists here by name
  // (normalised); else message 20 (site 8.1).
  bool bCheckItemsHaveColumns(const CNATableDescription& other, CNAError* error) const;
  static void MakeUniqueName(CTString* out, const char16_t* base, int number);

  // --- layout and keys ------------------------------------------------------
  // Gives each column its offset and null-bit index, in order, and rebuilds
  // the row layout that row buffers bound to this description read.
  void ComputeOffsets();
  const CNARowLayout& clGetLayout() const { return m_clLayout; }
  int nGetTotalSize() const { return m_nTotalSize; }
  int nGetPlainSize() const { return m_nPlainSize; }
  int nGetSlotCount() const { return m_nSlotCount; }
  // The key used for navigation, chosen lazily; no reference taken.
  CNAColumn* pclGetChosenKey();
  void SetChosenKey(CNAColumn* key);

  // --- copies ---------------------------------------------------------------
  // A new description on the same connection with cloned columns (made by
  // MakeEmpty); null with the error filed on failure.
  CNATableDescription* pclClone(int option, CNAError* error);
  // Registers (source, this) in the context when it is new, then shares
  // the source's entries (references taken). The connection is shared, or,
  // when the driver manager keeps connections per host context and a
  // context is given, replaced by its copy in the context (made once per
  // connection). May throw the CNAError of a connection copy that failed
  // to open.
  void CopyFrom(const CNATableDescription& source, INACopyContext* context);
  // A new description of the same class filled by CopyFrom, with one
  // reference; null with the error filed when it cannot be made. A copy
  // that fails is released with every reference it took, the context
  // forgets it, and the exception goes on.
  CNATableDescription* pclCreateCopy(INACopyContext* context, int option, CNAError* error) const;

 protected:
  // The back end's catalogue: build the column query, read its rows, build
  // the key query, read its rows. The generic forms answer 0.
  virtual bool bBuildColumnQuery(CTString* /*out*/, CNAError* /*error*/) { return false; }
  virtual bool bParseColumns(CNAStatement* /*result*/, int /*option*/, CNAError* /*error*/) {
    return false;
  }
  virtual bool bBuildIndexQuery(CTString* /*out*/, CNAError* /*error*/) { return false; }
  virtual bool bParseIndexes(CNAStatement* /*result*/, CNAError* /*error*/) { return false; }
  // Runs a catalogue query; the statement with its result (one reference
  // for the caller), or null (no result set, or failure with the error).
  virtual CNAStatement* pclRunQuery(const char16_t* /*text*/, CNAError* /*error*/) {
    return nullptr;
  }
  // An empty description of the same class on the same connection.
  virtual CNATableDescription* pclMakeEmpty();

  bool bLoadFromServer(int option, CNAError* error);
  bool bBuildColumnsFromStatement(CNAStatement* statement, CNAError* error);

  CNAConnection* m_pConnection = nullptr;
  CTString m_strName;
  CTString m_strServerName;
  CTString m_astrFurther[3];
  int m_nPlainSize = 0;
  int m_nTotalSize = 0;
  int m_nSlotCount = 0;
  std::vector<CNAColumn*> m_apColumns;
  std::vector<CNAColumn*> m_apKeys;
  std::vector<CNAColumn*> m_apLargeObjects;
  CNAColumn* m_pChosenKey = nullptr;
  int m_nMode = kNew;
  CNARowLayout m_clLayout;
  // Exact-name index of the columns (the first column of each name).
  std::unordered_map<std::u16string, CNAColumn*> m_mapNames;
};

#endif  // QG_DRIVER_SQL_TABLE_DESCRIPTION_H_
