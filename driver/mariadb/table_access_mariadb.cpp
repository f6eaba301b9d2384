// The MariaDB table access object's writes: table options, the generated
// key read back after an INSERT, type names and the clauses of CREATE
// TABLE that depend on the server.
#include <string>

#include "driver/core/edit_record.h"
#include "driver/core/error_status.h"
#include "driver/core/session.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_link.h"
#include "driver/mariadb/client_version.h"
#include "driver/mariadb/connection_mariadb.h"
#include "driver/mariadb/session_mariadb.h"
#include "driver/mariadb/table_texts_mariadb.h"
#include "driver/sql/column.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/sql_type_map.h"
#include "driver/sql/table_description.h"

namespace {

constexpr uint32_t kSite = 105;

CNAColumn* ColumnAt(CNASession* session, int column) {
  CNATableDescription* table = session != nullptr ? session->pclGetTableDescription() : nullptr;
  return table != nullptr ? table->pclColumnAt(column) : nullptr;
}

}  // namespace

bool CNATableAccessMariaDB::bCreateTable(CNAError* error) {
  if (!CNATableAccess::bCreateTable(error)) return false;
  CNAConnection* connection = pclGetConnection();
  int major = connection != nullptr ? connection->m_nServerMajor : 10;
  return pclGetGenerator()->bAppend(NAMariaDBTableOptions(major < 0 ? 10 : major));
}

bool CNATableAccessMariaDB::bReadInsertId(CNAError* error) {
  // Options 0x100 and 0x400 leave the identifier alone.
  if ((m_nOptions & (0x100 | 0x400)) != 0) return true;
  CNASession* session = pclGetSession();
  CNATableDescription* table = session != nullptr ? session->pclGetTableDescription() : nullptr;
  if (table == nullptr) return true;
  int auto_column = -1;
  for (int i = 0; i < table->nGetColumnCount(); ++i) {
    int type = table->pclColumnAt(i)->nGetType();
    if (type == 1 || type == 28) {
      auto_column = i;
      break;
    }
  }
  if (auto_column < 0) return true;
  auto* link = dynamic_cast<INAMariaDBClientLink*>(pclGetConnection());
  if (link == nullptr) return true;
  uint64_t id = 0;
  {
    CNALock lock(link->pGetClientLock());
    MYSQL* handle = link->pGetClientHandle();
    try {
      if (handle != nullptr) id = gMariaDB.mysql_insert_id(handle);
    } catch (const CTString& name) {
      if (error != nullptr) {
        error->SetErrorMessage(0, kSite, 1, pclGetConnection(), 37u, name.pszGet());
        error->AddTableAndItem(session->pszGetFileName(), table->pclColumnAt(auto_column)->pszGetName());
      }
      return false;
    } catch (...) {
      if (error != nullptr) {
        error->SetErrorMessage(0, kSite, 1, pclGetConnection(), 23u, u"MariaDB");
        error->AddTableAndItem(session->pszGetFileName(), table->pclColumnAt(auto_column)->pszGetName());
      }
      return false;
    }
  }
  if (id == 0) return true;
  NAEditRecord* edits = session->pclGetEdits();
  if (edits == nullptr) return true;
  CAny value;
  value.SetI8(static_cast<int64_t>(id));
  return edits->bSet(auto_column, value);
}

bool CNATableAccessMariaDB::bColumnType(int column, CTString* out, CNAError* error) {
  auto* connection = dynamic_cast<CNAConnectionMariaDB*>(pclGetConnection());
  CNAColumn* c = ColumnAt(pclGetSession(), column);
  if (connection == nullptr || c == nullptr) return CNATableAccess::bColumnType(column, out, error);
  CNASQLTypeMap* map = connection->pclGetTypeMap();
  if (map != nullptr && map->bFormatType(*c, out)) return true;
  return CNATableAccess::bColumnType(column, out, error);
}

bool CNATableAccessMariaDB::bColumnConstraint(int column, CTString* out, CNAError* error) {
  CNAColumn* c = ColumnAt(pclGetSession(), column);
  if (c != nullptr && (c->nGetType() == 1 || c->nGetType() == 28)) {
    out->Set(kNAMariaDBAutoIncrementClause);
    return true;
  }
  return CNATableAccess::bColumnConstraint(column, out, error);
}

bool CNATableAccessMariaDB::bColumnDefault(int column, CTString* out, CNAError* error) {
  CNAColumn* c = ColumnAt(pclGetSession(), column);
  if (c != nullptr && (c->nGetType() == 35 || c->nGetType() == 37)) {
    out->RAZ();
    auto* connection = dynamic_cast<CNAConnectionMariaDB*>(pclGetConnection());
    bool mariadb = connection == nullptr || connection->bIsServerMariaDB();
    CNAConnection* base = pclGetConnection();
    const char16_t* text = NAMariaDBGeneratedKeyDefault(
        c->nGetType(), mariadb, base != nullptr ? base->m_nServerMajor : 0,
        base != nullptr ? base->m_nServerMinor : 0, base != nullptr ? base->m_nServerPatch : 0);
    if (text != nullptr) out->Set(text);
    return true;
  }
  return CNATableAccess::bColumnDefault(column, out, error);
}
