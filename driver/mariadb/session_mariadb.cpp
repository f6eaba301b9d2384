#include "driver/mariadb/session_mariadb.h"

#include <new>

#include "driver/core/host_interfaces.h"
#include "driver/mariadb/statement_mariadb.h"
#include "driver/sql/statement.h"

CNASessionMariaDB::~CNASessionMariaDB() = default;

bool CNASessionMariaDB::bHoldsOpenResult() {
  CNALock lock(&m_clLock);
  CNATableAccess* current = pclGetCurrentTableAccess();
  CNAStatement* result = current != nullptr ? current->pclGetResult() : nullptr;
  return result != nullptr && result->nGetColumnCount() > 0;
}

bool CNASessionMariaDB::bIsQueryResult(intptr_t out, intptr_t a, CNAError* error) {
  CNALock lock(&m_clLock);
  if (m_nQueryMode != 0) return CNASession::bIsQueryResult(out, a, error);
  if (out != 0) *reinterpret_cast<int32_t*>(out) = 0;
  return true;
}

CNASession* CNASessionMariaDB::pclClone(INACopyContext* context) {
  CNASessionMariaDB* copy = new (std::nothrow) CNASessionMariaDB();
  if (copy == nullptr) return nullptr;
  AddRefBoth(copy);
  try {
    copy->CopyFrom(this, context);
  } catch (...) {
    ReleaseBoth(copy);
    if (context != nullptr) context->ForgetCopy(this);
    throw;
  }
  return copy;
}

CNATableAccess* CNATableAccessMariaDB::pclClone(INACopyContext* context) {
  CNATableAccessMariaDB* copy = new (std::nothrow) CNATableAccessMariaDB(nullptr, nullptr);
  if (copy == nullptr) return nullptr;
  AddRefBoth(copy);
  try {
    copy->nCopyFrom(this, context);
  } catch (...) {
    ReleaseBoth(copy);
    if (context != nullptr) context->ForgetCopy(this);
    throw;
  }
  return copy;
}

CNAStatement* CNATableAccessMariaDB::pclNewResult() {
  return new (std::nothrow) CNAStatementMariaDB(pclGetConnection());
}
