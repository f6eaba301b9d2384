// Loading shared libraries at run time: the layer standing in for
// LoadLibraryW, GetProcAddress, FreeLibrary and GetModuleFileNameW.
//
// Libraries are loaded RTLD_NOW | RTLD_LOCAL: symbols of one never bind
// another's. Failures set the thread's last error (support/platform/
// error_codes.h): kErrorModNotFound (126) when the file or one of its
// dependencies cannot be found, kErrorBadExeFormat (193) when the file is
// not a loadable image for this process, kErrorProcNotFound (127) when a
// symbol it needs is missing, kErrorAccessDenied (5) when it cannot be read.
#ifndef QG_SUPPORT_PLATFORM_MODULE_H_
#define QG_SUPPORT_PLATFORM_MODULE_H_

#include <cstdint>
#include <string>

namespace qg {

// A loaded library; null for none. Each successful load takes one
// reference, released by FreeModule.
using ModuleHandle = void*;

// Loads by path (a name containing '/') or by file name through the
// system's search order. On failure returns null, sets the last error and,
// when `error` is non-null, stores the code there too.
ModuleHandle LoadModule(const char* path, uint32_t* error = nullptr);
// The same for a UTF-16 path (converted to UTF-8).
ModuleHandle LoadModule16(const char16_t* path, uint32_t* error = nullptr);

// Address of a symbol the module itself exports (not one of its
// dependencies'), or null (last error kErrorProcNotFound).
// A null module or name gives null with kErrorInvalidHandle /
// kErrorInvalidParameter.
void* FindSymbol(ModuleHandle module, const char* name);

// Drops one reference; the library unloads with its last one. False (last
// error kErrorInvalidHandle) for null or when the system refuses.
bool FreeModule(ModuleHandle module);

// The module that holds `address` (a function or data of a loaded library
// or of the executable), with one reference taken that the caller releases
// with FreeModule; null when none holds it.
ModuleHandle ModuleOf(const void* address);

// Full path of the file of the module that holds `address`; empty when no
// module holds it (last error kErrorModNotFound).
std::string ModulePathOf(const void* address);
// Full path of a module's file; empty for null or on failure.
std::string ModulePath(ModuleHandle module);

// Whether a library of that name or path is loaded in the process, without
// loading it.
bool IsModuleLoaded(const char* path);

}  // namespace qg

#endif  // QG_SUPPORT_PLATFORM_MODULE_H_
