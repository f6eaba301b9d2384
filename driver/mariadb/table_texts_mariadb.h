// The texts a MariaDB table access object writes into CREATE TABLE: table
// options, the auto-increment constraint and the defaults of generated
// keys, by server kind and version.
#ifndef QG_DRIVER_MARIADB_TABLE_TEXTS_MARIADB_H_
#define QG_DRIVER_MARIADB_TABLE_TEXTS_MARIADB_H_

#include <cstdint>

// " ENGINE=InnoDB", or " Type=InnoDB" before server version 5.
const char16_t* NAMariaDBTableOptions(int32_t server_major);

// The constraint of an auto-identifier column (column types 1 and 28).
inline constexpr const char16_t* kNAMariaDBAutoIncrementClause =
    u" NOT NULL AUTO_INCREMENT PRIMARY KEY ";

// The default of a generated-key column that the server can evaluate, null
// when it has none (other types, or a server too old):
// - type 35 (16-byte key): MariaDB from 10.2.1 "DEFAULT
//   (UNHEX(REPLACE(UUID(),'-','')))" (MariaDB has no UUID_TO_BIN); MySQL
//   from 8.0.13 "DEFAULT (UUID_TO_BIN(UUID()))";
// - type 37 (32-byte key): "DEFAULT (RANDOM_BYTES(32))" on MariaDB from
//   10.10.0 and MySQL from 8.0.13.
const char16_t* NAMariaDBGeneratedKeyDefault(int32_t column_type, bool server_is_mariadb,
                                             int32_t major, int32_t minor, int32_t patch);

#endif  // QG_DRIVER_MARIADB_TABLE_TEXTS_MARIADB_H_
