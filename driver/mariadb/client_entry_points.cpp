#include "driver/mariadb/client_entry_points.h"

#include <iterator>

#include "support/ctstring.h"

namespace {

// A trap with the exact type F of a slot; kName names the function.
template <typename F>
struct Trap;

template <typename R, typename... A>
struct Trap<R (*)(A...)> {
  template <const char16_t* kName>
  static R Call(A...) {
    qg::ThrowMissingFunction(kName);
  }
};

#define QG_MARIADB_NAME16(name) constexpr char16_t kName16_##name[] = u## #name;
QG_MARIADB_CLIENT_FUNCTIONS(QG_MARIADB_NAME16)
#undef QG_MARIADB_NAME16

#define QG_MARIADB_TRAP(name) \
  constexpr decltype(&::name) kTrap_##name = &Trap<decltype(&::name)>::Call<kName16_##name>;
QG_MARIADB_CLIENT_FUNCTIONS(QG_MARIADB_TRAP)
#undef QG_MARIADB_TRAP

#define QG_MARIADB_REQUIRED_SLOT(name) {#name, kName16_##name, true, &Store_##name, &Read_##name},
#define QG_MARIADB_OPTIONAL_SLOT(name) {#name, kName16_##name, false, &Store_##name, &Read_##name},

#define QG_MARIADB_ACCESSORS(name)                                             \
  void Store_##name(void* address) {                                           \
    gMariaDB.name = address != nullptr ? reinterpret_cast<decltype(&::name)>(address) \
                                       : kTrap_##name;                         \
  }                                                                            \
  const void* Read_##name() { return reinterpret_cast<const void*>(gMariaDB.name); }

}  // namespace

CNAMariaDBEntryPoints gMariaDB = {
#define QG_MARIADB_INITIAL(name) kTrap_##name,
    QG_MARIADB_CLIENT_FUNCTIONS(QG_MARIADB_INITIAL)
#undef QG_MARIADB_INITIAL
};

namespace {

QG_MARIADB_CLIENT_FUNCTIONS(QG_MARIADB_ACCESSORS)
#undef QG_MARIADB_ACCESSORS

const qg::ClientSlot kSlots[] = {
    QG_MARIADB_REQUIRED_FUNCTIONS(QG_MARIADB_REQUIRED_SLOT)
    QG_MARIADB_OPTIONAL_FUNCTIONS(QG_MARIADB_OPTIONAL_SLOT)
};
#undef QG_MARIADB_REQUIRED_SLOT
#undef QG_MARIADB_OPTIONAL_SLOT

const void* const kTraps[] = {
#define QG_MARIADB_TRAP_ADDRESS(name) reinterpret_cast<const void*>(kTrap_##name),
    QG_MARIADB_CLIENT_FUNCTIONS(QG_MARIADB_TRAP_ADDRESS)
#undef QG_MARIADB_TRAP_ADDRESS
};

static_assert(std::size(kSlots) == qg::kMariaDBSlotCount);
static_assert(sizeof(CNAMariaDBEntryPoints) == qg::kMariaDBSlotCount * sizeof(void*));

}  // namespace

namespace qg {

const ClientSlot& GetClientSlot(size_t i) { return kSlots[i]; }

bool IsClientTrapAddress(const void* pfn) {
  for (const void* trap : kTraps) {
    if (trap == pfn) return true;
  }
  return false;
}

void ResetClientEntryPoints() {
  for (const ClientSlot& slot : kSlots) slot.pfnStore(nullptr);
}

void ThrowMissingFunction(const char16_t* name) { throw CTString(name); }

}  // namespace qg
