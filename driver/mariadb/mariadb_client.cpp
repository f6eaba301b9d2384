#include "driver/mariadb/mariadb_client.h"

#include <dlfcn.h>

#include <mutex>
#include <new>

#include "driver/core/path_helpers.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_version.h"
#include "support/platform/codepage.h"
#include "support/platform/error_codes.h"
#include "support/platform/text16.h"

namespace {

constexpr char16_t kDefaultLibraryName[] = u"libmariadb.so.3";
// The name a stored setting may still carry from the Windows build.
constexpr char16_t kWindowsLibraryName[] = u"libmariadb.dll";

std::recursive_mutex& BindingMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

// The one instance; read and written only under BindingMutex().
CNAMariaDBClient* gpclMariaDBClient = nullptr;

std::u16string Decode(uint32_t code_page, const char* text) {
  if (text == nullptr || *text == '\0') return std::u16string();
  int n = qg::MultiByteToWide(code_page, text, -1, nullptr, 0);
  if (n <= 1) return std::u16string();
  std::u16string out(static_cast<size_t>(n), u'\0');
  n = qg::MultiByteToWide(code_page, text, -1, out.data(), n);
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

// Folder part (up to and including the last '/') and file part.
void SplitPath(const std::u16string& path, std::u16string* folder, std::u16string* file) {
  size_t slash = path.rfind(u'/');
  if (slash == std::u16string::npos) {
    folder->clear();
    *file = path;
  } else {
    *folder = path.substr(0, slash + 1);
    *file = path.substr(slash + 1);
  }
}

// The name to load: the default for null or empty, and the default file in
// place of "libmariadb.dll" (its folder kept).
std::u16string ResolveLibraryName(const char16_t* name) {
  if (name == nullptr || *name == 0) return kDefaultLibraryName;
  std::u16string folder;
  std::u16string file;
  SplitPath(name, &folder, &file);
  if (qg::StrICmpAscii16(file.c_str(), kWindowsLibraryName) == 0) {
    return folder + kDefaultLibraryName;
  }
  return name;
}

// Folder of the module this code is linked into, ending with '/'; empty
// when it cannot be read.
std::u16string OwnFolder() {
  std::string path = qg::ModulePathOf(reinterpret_cast<const void*>(&OwnFolder));
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::u16string();
  return Decode(qg::kCodePageUtf8, path.substr(0, slash + 1).c_str());
}

// Marks a loaded library never to be unmapped, so that handlers it left
// with the C runtime (at exit, thread exit) stay callable after its last
// reference is dropped.
void KeepMapped(qg::ModuleHandle module, const std::string& path) {
  if (module == nullptr || path.empty()) return;
  void* again = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  if (again != nullptr) {
    dlclose(again);
  } else {
    dlerror();
  }
}

void ReportLoadFailure(qg::ClientLoadError* error, const std::u16string& name,
                       uint32_t system_error) {
  if (!qg::ClaimClientLoadError(error)) return;
  error->nMessage = qg::kMessageLibraryNotLoaded;
  error->nSiteMajor = 9;
  error->nSiteMinor = 1;
  error->nSystemError = system_error;
  error->strSystemText = system_error == qg::kErrorBadExeFormat
                             ? name.c_str()
                             : qg::ErrorText16(system_error).c_str();
  error->strLibraryName = name.c_str();
}

void ReportMissingFunction(qg::ClientLoadError* error, const char16_t* name,
                           uint32_t site_major, uint32_t site_minor) {
  if (!qg::ClaimClientLoadError(error)) return;
  error->nMessage = qg::kMessageFunctionMissing;
  error->nSiteMajor = site_major;
  error->nSiteMinor = site_minor;
  error->strFunctionName = name;
}

void ReportClientFault(qg::ClientLoadError* error, uint32_t site_major, uint32_t site_minor) {
  if (!qg::ClaimClientLoadError(error)) return;
  error->nMessage = qg::kMessageClientFault;
  error->nSiteMajor = site_major;
  error->nSiteMinor = site_minor;
}

}  // namespace

CNAMariaDBClient::~CNAMariaDBClient() = default;

void CNAMariaDBClient::FreeLibrary() {
  if (m_hModule != nullptr) {
    qg::FreeModule(m_hModule);
    m_hModule = nullptr;
  }
}

const char16_t* CNAMariaDBClient::pszGetDefaultLibraryName() const {
  return kDefaultLibraryName;
}

void CNAMariaDBClient::GetDefaultLibraryName(CTString* out) {
  *out = kDefaultLibraryName;
}

bool CNAMariaDBClient::bLoad(qg::ClientLoadError* error, const char16_t* library_name) {
  std::lock_guard<std::recursive_mutex> lock(BindingMutex());
  if (gpclMariaDBClient == nullptr && !bCreateInstance(error)) return false;
  CNAMariaDBClient* client = gpclMariaDBClient;
  if (client->m_hModule == nullptr) {
    if (!client->bBindEntryPoints(error, library_name)) return false;
  } else if (!client->m_strMissingFunction.bEstVide()) {
    // The table is half bound: refuse it the same way every time.
    ReportMissingFunction(error, client->m_strMissingFunction, 9, 2);
    return false;
  }
  if (!client->m_bVersionRead) return client->bReadClientVersion(error);
  return true;
}

bool CNAMariaDBClient::bIsLoaded() {
  std::lock_guard<std::recursive_mutex> lock(BindingMutex());
  const CNAMariaDBClient* client = gpclMariaDBClient;
  return client != nullptr && client->m_hModule != nullptr &&
         client->m_strMissingFunction.bEstVide() && client->m_bVersionRead;
}

qg::ModuleHandle CNAMariaDBClient::hGetModule() {
  std::lock_guard<std::recursive_mutex> lock(BindingMutex());
  return gpclMariaDBClient != nullptr ? gpclMariaDBClient->m_hModule : nullptr;
}

CTString CNAMariaDBClient::GetDirectory() {
  std::lock_guard<std::recursive_mutex> lock(BindingMutex());
  return gpclMariaDBClient != nullptr ? gpclMariaDBClient->m_strDirectory : CTString();
}

std::string CNAMariaDBClient::GetLibraryPath() {
  std::lock_guard<std::recursive_mutex> lock(BindingMutex());
  return gpclMariaDBClient != nullptr ? gpclMariaDBClient->m_strLibraryPath : std::string();
}

void CNAMariaDBClient::TermInstance() {
  std::lock_guard<std::recursive_mutex> lock(BindingMutex());
  if (gpclMariaDBClient != nullptr) {
    gpclMariaDBClient->FreeLibrary();
    delete gpclMariaDBClient;
    gpclMariaDBClient = nullptr;
  }
  qg::ResetClientEntryPoints();
  qg::ClearClientVersion();
}

bool CNAMariaDBClient::bCreateInstance(qg::ClientLoadError* error) {
  CNAMariaDBClient* client = new (std::nothrow) CNAMariaDBClient();
  if (client == nullptr) {
    if (qg::ClaimClientLoadError(error)) {
      error->nMessage = qg::kMessageOutOfMemory;
      error->nSystemError = qg::kErrorOutOfMemory;
    }
    return false;
  }
  gpclMariaDBClient = client;
  return true;
}

bool CNAMariaDBClient::bBindEntryPoints(qg::ClientLoadError* error,
                                        const char16_t* library_name) {
  std::u16string name = ResolveLibraryName(library_name);
  uint32_t system_error = 0;
  if (!bLoadLibrary(&system_error, name)) {
    ReportLoadFailure(error, name, system_error);
    return false;
  }
  m_strLibraryPath = qg::ModulePath(m_hModule);
  KeepMapped(m_hModule, m_strLibraryPath);
  bSetNativeLibraryPath(m_hModule);  // shown by connection traces

  for (size_t i = 0; i < qg::kMariaDBSlotCount; ++i) {
    const qg::ClientSlot& slot = qg::GetClientSlot(i);
    void* address = qg::FindSymbol(m_hModule, slot.pszName);
    slot.pfnStore(address);
    if (address == nullptr && slot.bRequired) {
      // The slots after this one are not looked up.
      m_strMissingFunction = slot.pszName16;
      ReportMissingFunction(error, m_strMissingFunction, 9, 2);
      return false;
    }
  }
  return true;
}

bool CNAMariaDBClient::bReadClientVersion(qg::ClientLoadError* error) {
  const char* text = nullptr;
  try {
    text = gMariaDB.mysql_get_client_info();
  } catch (const CTString& function_name) {
    ReportMissingFunction(error, function_name, 101, 7);
    return false;
  } catch (...) {
    ReportClientFault(error, 101, 7);
    return false;
  }
  gstrClientVersion.SetFromMultiByte(text != nullptr ? text : "", qg::kCodePage1252);
  qg::ParseClientVersion(text, &gnClientVersionMajor, &gnClientVersionMinor,
                         &gnClientVersionPatch);
  gbClientHasInfoV = qg::FindSymbol(m_hModule, "mariadb_get_infov") != nullptr;
  if (!qg::IsClientTrap(gMariaDB.mysql_next_result)) gbClientHasNextResult = true;
  m_bVersionRead = true;
  return true;
}

bool CNAMariaDBClient::bLoadLibrary(uint32_t* system_error, const std::u16string& library_name) {
  std::u16string folder;
  std::u16string file;
  SplitPath(library_name, &folder, &file);
  if (!folder.empty()) return bLoadLibraryFrom(system_error, file, folder);
  std::u16string own = OwnFolder();
  if (!own.empty() && bLoadLibraryFrom(system_error, file, own)) return true;
  return bLoadLibraryFrom(system_error, file, std::u16string());
}

bool CNAMariaDBClient::bLoadLibraryFrom(uint32_t* system_error, const std::u16string& file,
                                        const std::u16string& folder) {
  std::u16string path = folder + file;
  uint32_t code = 0;
  m_hModule = qg::LoadModule16(path.c_str(), &code);
  if (m_hModule == nullptr) {
    *system_error = code;
    return false;
  }
  if (!folder.empty()) m_strDirectory = folder.c_str();
  return true;
}
