#include "driver/mariadb/streamed_count.h"

#include "driver/core/refcounted.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_link.h"
#include "driver/mariadb/statement_mariadb.h"

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
