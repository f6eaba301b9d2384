// Path splitting, qualified names and the native-library path shown in
// connection traces.
#ifndef QG_DRIVER_CORE_PATH_HELPERS_H_
#define QG_DRIVER_CORE_PATH_HELPERS_H_

#include <cstddef>

#include "support/ctstring.h"

// Units of every output buffer of the path splitters, terminator included.
constexpr size_t kNAPathCapacity = 261;

// Splits a path into its folder (drive or "\\server\share" part, then the
// directory up to and including the last '\' or '/') and its file (name
// and extension). A path of kNAPathCapacity units or more gives empty
// outputs. Each output holds kNAPathCapacity units; a null one is skipped.
void SplitPathFolderFile(const char16_t* path, char16_t* folder, char16_t* file);
// The same with the file cut at its last '.': the extension keeps the dot.
void SplitPathFolderNameExtension(const char16_t* path, char16_t* folder, char16_t* name,
                                  char16_t* extension);

// Splits "qualifier.name" at its first '.'. The qualifier is set only when
// it is still empty; a text without '.' gives the whole text as the name.
void SplitQualifiedName(const char16_t* text, CTString& qualifier, CTString& name);

// The generated name of expression column n: "Expr" then n.
void FormatExprName(CTString& out, int n);

// Stores the full path of a loaded module as the native-library path; false
// when the path cannot be read or is longer than the system's path limit
// (the stored path is then left as it was).
bool bSetNativeLibraryPath(void* module);
// The stored native-library path; empty until one was set. Thread-safe.
CTString GetNativeLibraryPath();

#endif  // QG_DRIVER_CORE_PATH_HELPERS_H_
