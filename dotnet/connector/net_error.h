// Failures of the connector: .NET exceptions turned into module-20 errors,
// the runtime that cannot start, and the guard every host-facing operation
// runs in (no C++ exception leaves the module).
#ifndef QG_DOTNET_CONNECTOR_NET_ERROR_H_
#define QG_DOTNET_CONNECTOR_NET_ERROR_H_

#include <exception>
#include <string>

#include "dotnet/connector/clr_bridge.h"
#include "errors/module_errors.h"

namespace qgnet {

// The module's error-definition table.
inline const stERRORDEFINITION& Def() { return gstErrorDefModule20; }

// GetError: sets 200006 (module name, message) when a module name is
// given, else 200007 (message), from the exception or, when asked and one
// exists, its inner exception; the full text (type, message, stack) goes
// to the debug message. Frees nothing: the caller owns exc.
void GetError(CXError* error, ManagedId exc, bool use_inner, const char16_t* module_name);

// The runtime's table, starting it when needed; on failure sets 200007
// with the reason on the error (may be null) and answers null.
const ManagedTable* ClrOr(CXError* error);

// Message 200013 for a C++ exception that reached the guard.
void SetNativeFault(CXError* error, const char* what);

// Runs body() and answers its result; a C++ exception becomes 200013 on
// the error and the failure value. Processor faults are not caught: the
// runtime owns the signal handlers.
template <typename R, typename F>
R Guard(CXError* error, R failure, F&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    SetNativeFault(error, e.what());
  } catch (...) {
    SetNativeFault(error, "unknown exception");
  }
  return failure;
}

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_NET_ERROR_H_
