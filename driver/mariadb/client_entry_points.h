// The process-wide table of MariaDB client-library entry points. The driver
// never links against the client library: it loads it at run time
// (driver/mariadb/mariadb_client.h) and calls it only through this table.
//
// Every slot holds either the library's address for its name or a trap of
// the same type that ignores its arguments and throws a CTString holding
// the function's name (u"mysql_real_query"); a slot is never null. Callers
// that must know whether an optional function exists compare its slot with
// its trap (IsClientTrap). Every caller of the table catches CTString.
//
// Slots are written only by the binder and by CNAMariaDBClient::TermInstance,
// both under the binding's process-wide mutex; callers read them after a
// successful CNAMariaDBClient::bLoad or bIsLoaded, which took that mutex.
#ifndef QG_DRIVER_MARIADB_CLIENT_ENTRY_POINTS_H_
#define QG_DRIVER_MARIADB_CLIENT_ENTRY_POINTS_H_

#include <mariadb/mysql.h>

#include <cstddef>

// The 20 required functions in binding order, then the 8 optional ones.
#define QG_MARIADB_REQUIRED_FUNCTIONS(X) \
  X(mysql_get_client_info)               \
  X(mysql_get_server_info)               \
  X(mysql_init)                          \
  X(mysql_real_connect)                  \
  X(mysql_close)                         \
  X(mysql_escape_string)                 \
  X(mysql_real_query)                    \
  X(mysql_store_result)                  \
  X(mysql_use_result)                    \
  X(mysql_free_result)                   \
  X(mysql_fetch_fields)                  \
  X(mysql_num_fields)                    \
  X(mysql_fetch_lengths)                 \
  X(mysql_data_seek)                     \
  X(mysql_fetch_row)                     \
  X(mysql_num_rows)                      \
  X(mysql_insert_id)                     \
  X(mysql_errno)                         \
  X(mysql_error)                         \
  X(mysql_affected_rows)

#define QG_MARIADB_OPTIONAL_FUNCTIONS(X) \
  X(mysql_next_result)                   \
  X(mysql_set_character_set)             \
  X(mysql_ssl_set)                       \
  X(mysql_options)                       \
  X(mysql_real_escape_string)           \
  X(mysql_character_set_name)            \
  X(mysql_session_track_get_first)       \
  X(mysql_session_track_get_next)

#define QG_MARIADB_CLIENT_FUNCTIONS(X) \
  QG_MARIADB_REQUIRED_FUNCTIONS(X)     \
  QG_MARIADB_OPTIONAL_FUNCTIONS(X)

// One typed pointer per client function, with the signature the client
// library publishes, in the order above.
struct CNAMariaDBEntryPoints {
#define QG_MARIADB_SLOT(name) decltype(&::name) name;
  QG_MARIADB_CLIENT_FUNCTIONS(QG_MARIADB_SLOT)
#undef QG_MARIADB_SLOT
};

// The table. Constant-initialised with the traps, so it is valid before any
// static constructor runs.
extern CNAMariaDBEntryPoints gMariaDB;

namespace qg {

constexpr size_t kMariaDBRequiredCount = 20;
constexpr size_t kMariaDBOptionalCount = 8;
constexpr size_t kMariaDBSlotCount = kMariaDBRequiredCount + kMariaDBOptionalCount;

// Describes slot i in binding order.
struct ClientSlot {
  const char* pszName;        // 8-bit export name, e.g. "mysql_init"
  const char16_t* pszName16;  // the same in UTF-16
  bool bRequired;
  // Stores an exported address in the slot; null stores the slot's trap.
  void (*pfnStore)(void* address);
  // The slot's present value, as an address.
  const void* (*pfnRead)();
};
const ClientSlot& GetClientSlot(size_t i);

// True when a pointer is one of the traps, i.e. its function is not bound:
// IsClientTrap(gMariaDB.mysql_options).
bool IsClientTrapAddress(const void* pfn);
template <typename F>
bool IsClientTrap(F pfn) {
  return IsClientTrapAddress(reinterpret_cast<const void*>(pfn));
}

// Puts every slot's trap back.
void ResetClientEntryPoints();

// The shared raising step of every trap: throws CTString(name).
[[noreturn]] void ThrowMissingFunction(const char16_t* name);

}  // namespace qg

#endif  // QG_DRIVER_MARIADB_CLIENT_ENTRY_POINTS_H_
