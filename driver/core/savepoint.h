// Transaction levels of one connection. The outer level (0) is the
// transaction itself: BEGIN, COMMIT, ROLLBACK through the connection.
// Nested levels (1 and above) are savepoints and send only SAVEPOINT,
// RELEASE SAVEPOINT and ROLLBACK TO SAVEPOINT, never a second BEGIN or a
// COMMIT (on MariaDB a BEGIN inside a transaction commits it). Level names
// are quoted as identifiers.
//
// A level does not hold its connection (the connection owns its levels);
// every operation runs under the connection's lock, taken by the caller.
#ifndef QG_DRIVER_CORE_SAVEPOINT_H_
#define QG_DRIVER_CORE_SAVEPOINT_H_

#include <cstdint>

#include "driver/core/refcounted.h"
#include "support/ctstring.h"

class CNAConnection;
class CNAError;

class CNASavepoint : public CNARefCounted {
 public:
  explicit CNASavepoint(CNAConnection* connection);
  ~CNASavepoint() override;  // releases the nested level

  // "SAVEPOINT <name>" and "ROLLBACK TO SAVEPOINT <name>" with the given
  // name (this level's when null) through the connection.
  virtual bool bExecuteSavepoint(CNAError* error, const char16_t* name = nullptr);   // 2
  virtual bool bExecuteRollbackTo(CNAError* error, const char16_t* name = nullptr);  // 3
  virtual bool vb4() { return true; }                                                // 4
  virtual bool vb5() { return true; }                                                // 5
  virtual bool vb6() { return true; }                                                // 6
  // Opens, closes by commit, closes by rollback this level.
  virtual bool bStart(CNAError* error);                                              // 7
  virtual bool bEnd(CNAError* error);                                                // 8
  virtual bool bCancel(CNAError* error);                                             // 9

  // Stores name and level and opens the level; the active marker takes
  // the result.
  bool bBegin(CNAError* error, const char16_t* name, int32_t level);
  // Opens a nested level below the innermost active one.
  bool bBeginNested(CNAError* error, const char16_t* name);
  // By name (null: the innermost active level). A name equal to this
  // level's (ignoring case) while a nested level is active fails with
  // error 10 (commit) or 9 (rollback) and changes nothing. Another name
  // goes down; not found: false without error.
  bool bCommit(CNAError* error, const char16_t* name);
  bool bRollback(CNAError* error, const char16_t* name);
  // Rolls back every active level from the innermost outwards.
  bool bAbortAll(CNAError* error);

  bool bIsActive() const { return m_bActive; }
  int32_t nGetLevel() const { return m_nLevel; }
  const CTString& GetName() const { return m_strName; }
  // The innermost active level (this one when none below is), null when
  // this one is not active.
  CNASavepoint* pclGetInnermost();
  CNASavepoint* pclGetNested() const { return m_pclNested; }

 private:
  bool bClose(CNAError* error, bool commit);
  bool bByName(CNAError* error, const char16_t* name, bool commit);
  bool bRunWithName(CNAError* error, const char16_t* verb);

  CNAConnection* m_pConnection;
  CTString m_strName;
  CNASavepoint* m_pclNested = nullptr;
  bool m_bActive = false;
  int32_t m_nLevel = 0;
};

#endif  // QG_DRIVER_CORE_SAVEPOINT_H_
