// Process-wide facts about the loaded client library, written once per
// library load by CNAMariaDBClient::bLoad under the binding's mutex and
// cleared by CNAMariaDBClient::TermInstance. Readers use them after a
// successful bLoad / bIsLoaded.
#ifndef QG_DRIVER_MARIADB_CLIENT_VERSION_H_
#define QG_DRIVER_MARIADB_CLIENT_VERSION_H_

#include "support/ctstring.h"

// Client library version; major is -1 (minor and patch 0) until read.
extern int gnClientVersionMajor;
extern int gnClientVersionMinor;
extern int gnClientVersionPatch;
// mysql_get_client_info as read at load time, from code page 1252.
extern CTString gstrClientVersion;
// The library exports "mariadb_get_infov" (never called, only probed).
extern bool gbClientHasInfoV;
// The mysql_next_result slot holds a real export, not its trap.
extern bool gbClientHasNextResult;

namespace qg {

// Parses a client version text: digits accumulate into the current number,
// any other character moves to the next one; stops at the end or after the
// third number. "10.5.8-MariaDB" gives 10, 5, 8. A number too large for an
// int stays at INT_MAX. Null reads as empty (0, 0, 0).
void ParseClientVersion(const char* text, int* major, int* minor, int* patch);

// Back to the unread state (major -1, empty text, flags cleared).
void ClearClientVersion();

}  // namespace qg

#endif  // QG_DRIVER_MARIADB_CLIENT_VERSION_H_
