#include "driver/mariadb/streamed_count.h"

#include <new>

#include "driver/core/error_status.h"
#include "driver/core/refcounted.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_link.h"
#include "driver/mariadb/session_mariadb.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/sql/sql_generator.h"

namespace {

// Sets the store mode back and closes the result on every way out.
class StoreModeRestorer {
 public:
  explicit StoreModeRestorer(CNAStatementMariaDB* statement) : m_pStatement(statement) {}
  ~StoreModeRestorer() {
    m_pStatement->bCloseResult(nullptr);
    m_pStatement->SetUnbufferedDone();
    m_pStatement->SetStoreMode(1);
  }
  StoreModeRestorer(const StoreModeRestorer&) = delete;
  StoreModeRestorer& operator=(const StoreModeRestorer&) = delete;

 private:
  CNAStatementMariaDB* m_pStatement;
};

}  // namespace

bool NACountRowsStreamed(CNAStatementMariaDB* statement,
                         const std::function<bool(CNAError*)>& run, int64_t* count,
                         CNAError* error) {
  *count = 0;
  StoreModeRestorer restore(statement);
  statement->SetStoreMode(0);
  if (!run(error)) return false;
  INAMariaDBClientLink* link = statement->pclGetLink();
  CNACriticalSection* section = link != nullptr ? link->pGetClientLock() : nullptr;
  uint64_t rows = 0;
  unsigned int number = 0;
  MYSQL* handle = nullptr;
  {
    CNALock lock(section);
    while (statement->pFetchRawRow(0, error) != nullptr) ++rows;
    // A null row is the end or a broken stream: only the error number tells.
    handle = link != nullptr ? link->pGetClientHandle() : nullptr;
    if (handle != nullptr) {
      try {
        number = gMariaDB.mysql_errno(handle);
      } catch (...) {
        number = 0;
      }
    }
    if (number != 0) statement->bConnectionError(handle, 105, 2, error);
  }
  *count = static_cast<int64_t>(rows);
  return number == 0;
}

bool CNATableAccessMariaDB::bCountRecords(int64_t* count, CNAError* error) {
  auto* session = dynamic_cast<CNASessionMariaDB*>(pclGetSession());
  if (session == nullptr || !session->bIsRawSQL() || !session->bHoldsOpenResult()) {
    return CNATableAccess::bCountRecords(count, error);
  }
  *count = -1;
  CNALock lock(session->pGetLock());
  // The read written anew on a generator of its own, without row limit or
  // offset; the open result's generator and order marks stay as they are.
  CNASQLGenerator* kept = m_pGenerator;
  const bool own_limit = m_bOwnLimit;
  const CTString result_key = m_strResultKey;
  m_pGenerator = nullptr;
  bool ok = bBuildSelect(error);
  CNARefPtr<CNASQLGenerator> generator;
  generator.Attach(m_pGenerator);  // the reference bBuildSelect's field held
  m_pGenerator = kept;
  m_bOwnLimit = own_limit;
  m_strResultKey = result_key;
  if (!ok || !generator) return false;
  generator->SetRowLimit(-1);
  generator->SetRowOffset(-1);
  const char16_t* text = generator->pszGetDialectText(error);
  if (text == nullptr) return false;
  auto* statement = new (std::nothrow) CNAStatementMariaDB(pclGetConnection());
  if (statement == nullptr) {
    if (error != nullptr) error->SetOutOfMemory(105, 4);
    return false;
  }
  CNARefPtr<CNAStatementMariaDB> hold(NAAddRef(statement));
  int64_t rows = 0;
  ok = NACountRowsStreamed(
      statement, [&](CNAError* e) { return statement->bExecuteWide(text, e); }, &rows, error);
  if (ok) *count = rows;
  return ok;
}
