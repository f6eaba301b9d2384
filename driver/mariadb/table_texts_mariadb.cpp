#include "driver/mariadb/table_texts_mariadb.h"

namespace {

bool AtLeast(int32_t major, int32_t minor, int32_t patch, int32_t a, int32_t b, int32_t c) {
  if (major != a) return major > a;
  if (minor != b) return minor > b;
  return patch >= c;
}

}  // namespace

const char16_t* NAMariaDBTableOptions(int32_t server_major) {
  return server_major < 5 ? u" Type=InnoDB" : u" ENGINE=InnoDB";
}

const char16_t* NAMariaDBGeneratedKeyDefault(int32_t column_type, bool server_is_mariadb,
                                             int32_t major, int32_t minor, int32_t patch) {
  if (column_type == 35) {
    if (server_is_mariadb) {
      return AtLeast(major, minor, patch, 10, 2, 1) ? u"DEFAULT (UNHEX(REPLACE(UUID(),'-','')))"
                                                    : nullptr;
    }
    return AtLeast(major, minor, patch, 8, 0, 13) ? u"DEFAULT (UUID_TO_BIN(UUID()))" : nullptr;
  }
  if (column_type == 37) {
    bool has = server_is_mariadb ? AtLeast(major, minor, patch, 10, 10, 0)
                                 : AtLeast(major, minor, patch, 8, 0, 13);
    return has ? u"DEFAULT (RANDOM_BYTES(32))" : nullptr;
  }
  return nullptr;
}
