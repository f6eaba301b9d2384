// What a failed load or binding of the client library reports, until the
// driver's error objects take it over: the module-76 message with its
// parameters, the internal-error site pair and the system error.
//
//   message 27 (library not loaded), site 9.1: parameters "MariaDB",
//     strLibraryName, kClientLibraryBits; system error from the load: for
//     193 the text is the library name, otherwise the system's message;
//   message 37 (required function missing), site 9.2: parameter
//     strFunctionName; no system error;
//   message 23 (exception inside a client call), parameter "MariaDB", with
//     the call's site pair;
//   message 25193 (out of memory), system error 14.
#ifndef QG_DRIVER_MARIADB_CLIENT_LOAD_ERROR_H_
#define QG_DRIVER_MARIADB_CLIENT_LOAD_ERROR_H_

#include <cstdint>

#include "support/ctstring.h"

namespace qg {

// Bitness of this process, the third parameter of message 27.
constexpr uint32_t kClientLibraryBits = sizeof(void*) * 8;

enum ClientMessage : uint32_t {
  kMessageClientFault = 23,
  kMessageLibraryNotLoaded = 27,
  kMessageFunctionMissing = 37,
  kMessageOutOfMemory = 25193,
};

struct ClientLoadError {
  uint32_t nMessage = 0;  // 0: no error
  uint32_t nSiteMajor = 0;
  uint32_t nSiteMinor = 0;
  uint32_t nSystemError = 0;
  CTString strSystemText;
  CTString strLibraryName;
  CTString strFunctionName;

  bool bIsSet() const { return nMessage != 0; }
};

// The first error wins: filling a record that already holds one, or a null
// record, does nothing.
inline bool ClaimClientLoadError(ClientLoadError* error) {
  return error != nullptr && !error->bIsSet();
}

}  // namespace qg

#endif  // QG_DRIVER_MARIADB_CLIENT_LOAD_ERROR_H_
