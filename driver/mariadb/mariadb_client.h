// The run-time binding of the MariaDB client library: one process-wide
// object that loads the library and fills the entry-point table
// (driver/mariadb/client_entry_points.h).
//
// Lock: every static operation below takes one process-wide
// std::recursive_mutex, so two connections opening at the same time create
// one object, bind once and read the client version once.
//
// The library is opened so that it is never unmapped (RTLD_NODELETE): exit
// handlers it registered stay valid after TermInstance. The working
// directory is never changed.
//
// Failures fill the caller's module-76 error (a null error drops them): the
// driver's message with its inserts, the error's identifier as information
// item 16 (EIT_NATIVECODE) and the internal-error text naming the site.
//   27 library not loaded, site 9.1: inserts "MariaDB", the library name as
//      resolved (the given text or the default name), the process's bits;
//      system error from the load: for 193 (not an image for this process)
//      its text is the library name, otherwise the system's text;
//   37 required function missing, site 9.2: insert the function's name;
//   37 or 23 ("MariaDB") while reading the client version, site 101.7: the
//      trap of a missing function, or any other exception from the library;
//      23 also appends debug message 3355 with the (still empty) version;
//   out of memory for the object: CXError::SetOutOfMemoryError.
#ifndef QG_DRIVER_MARIADB_MARIADB_CLIENT_H_
#define QG_DRIVER_MARIADB_MARIADB_CLIENT_H_

#include <cstdint>
#include <string>

#include "support/ctstring.h"
#include "support/platform/module.h"

class _CXErrorModule76;

class CNAMariaDBClient {
 public:
  virtual ~CNAMariaDBClient();
  // Unloads the library when a handle is held and clears the handle.
  virtual void FreeLibrary();
  // u"libmariadb.so.3".
  virtual const char16_t* pszGetDefaultLibraryName() const;

  // Creates the object when there is none, loads the library and binds the
  // table, then reads the client version globals (client_version.h). The
  // name is the connection's client-library setting: a file name (searched
  // in this module's folder, then by the system) or a path (loaded from its
  // folder only); null or empty means the default name, and the setting
  // "libmariadb.dll" stands for it too. Does nothing more and returns 1 when
  // already loaded. A binding that stopped at a missing required function
  // stays failed: every later call reports message 37 with the same name.
  static bool bLoad(_CXErrorModule76* error, const char16_t* library_name);

  // True once bLoad has succeeded (library held, every required function
  // bound, version read) and until TermInstance.
  static bool bIsLoaded();

  // The loaded library's handle; null when none.
  static qg::ModuleHandle hGetModule();

  // The folder the library was loaded from (ending with '/'), empty when it
  // was found through the system's search order or is not loaded.
  static CTString GetDirectory();

  // Full path of the loaded library's file; empty when none.
  static std::string GetLibraryPath();

  static void GetDefaultLibraryName(CTString* out);

  // Module termination: frees the library, deletes the object, puts every
  // entry point back to its trap and clears the client version globals.
  // Nothing to free when nothing was loaded.
  static void TermInstance();

 private:
  CNAMariaDBClient() = default;
  CNAMariaDBClient(const CNAMariaDBClient&) = delete;
  CNAMariaDBClient& operator=(const CNAMariaDBClient&) = delete;

  static bool bCreateInstance(_CXErrorModule76* error);
  bool bBindEntryPoints(_CXErrorModule76* error, const char16_t* library_name);
  bool bReadClientVersion(_CXErrorModule76* error);
  bool bLoadLibrary(uint32_t* system_error, const std::u16string& library_name);
  bool bLoadLibraryFrom(uint32_t* system_error, const std::u16string& file,
                        const std::u16string& folder);

  qg::ModuleHandle m_hModule = nullptr;
  CTString m_strDirectory;
  std::string m_strLibraryPath;
  // Set when binding stopped at this missing required function.
  CTString m_strMissingFunction;
  bool m_bVersionRead = false;
};

#endif  // QG_DRIVER_MARIADB_MARIADB_CLIENT_H_
