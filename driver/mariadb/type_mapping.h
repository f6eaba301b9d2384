// Translation between MariaDB's field types and the driver's column type
// codes: reading (a field the client library describes becomes a column
// type and a record size), naming field types for traces, and the DDL texts
// the driver declares columns with, by server version.
#ifndef QG_DRIVER_MARIADB_TYPE_MAPPING_H_
#define QG_DRIVER_MARIADB_TYPE_MAPPING_H_

#include <cstdint>

class CNASQLTypeMap;
class CTString;

// The server a connection talks to, as read at its last opening.
struct NAServerVersion {
  bool bMariaDB = true;
  int nMajor = 0;
  int nMinor = 0;
  int nPatch = 0;

  // At least the MySQL triple, or for MariaDB the MariaDB triple.
  bool bAtLeast(int major, int minor, int patch, int maria_major, int maria_minor,
                int maria_patch) const;
  bool bIs41OrLater() const { return nMajor > 4 || (nMajor == 4 && nMinor > 0); }
  bool bIs412OrLater() const {
    return nMajor > 4 || (nMajor == 4 && (nMinor > 1 || (nMinor == 1 && nPatch > 1)));
  }
  bool bHasFractionalSeconds() const {
    return bMariaDB ? bAtLeast(0, 0, 0, 5, 3, 0) : bAtLeast(5, 6, 4, 0, 0, 0);
  }
  bool bIsUtf8mb4Capable() const { return bAtLeast(5, 5, 3, 5, 5, 3); }
};

// Field type numbers of the client library that the mapping names.
constexpr int kNAFieldJson = 245;
// Character set number of binary data, and the field flag of binary texts.
constexpr int kNACharsetBinary = 63;
constexpr uint32_t kNAFieldFlagBinary = 0x80;

// True when a character set or collation number is a Unicode one.
bool bIsUnicodeCharset(uint32_t charset);

// The column type and record size of a result field. `length` is the
// field's byte width; `digits` the integer digits of a decimal; the server
// code page (65001 once the conversation is UTF-8) and the version decide
// how many characters a Unicode width holds.
void NAFieldTypeToColumnType(int* column_type, int* size, int field_type, uint32_t length,
                             int digits, int scale, uint32_t charset, uint32_t flags,
                             uint32_t server_code_page, const NAServerVersion& version);

// Writes the name of a field type number; for a number without a name
// writes "MYSQL_TYPE_NEWDECIMAL" and answers false.
bool bNAGetFieldTypeName(CTString* out, int field_type);

// Stores the MariaDB DDL texts into a type map (after its generic names).
void NAInitMariaDBTypeMap(CNASQLTypeMap& map, const NAServerVersion& version);

#endif  // QG_DRIVER_MARIADB_TYPE_MAPPING_H_
