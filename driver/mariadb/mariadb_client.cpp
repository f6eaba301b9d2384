#include "driver/mariadb/mariadb_client.h"

#include <dlfcn.h>

#include <mutex>
#include <new>

#include "driver/core/path_helpers.h"
#include "driver/mariadb/client_entry_points.h"
#include "driver/mariadb/client_version.h"
#include "errors/internal_error.h"
#include "errors/module_errors.h"
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
  std::u16string out;
  if (text != nullptr) qg::CodePageToUtf16(code_page, text, -1, &out);
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

// Bits of this process, the third insert of message 27.
constexpr uint32_t kProcessBits = sizeof(void*) * 8;

// Driver messages (identifiers of the driver's error-definition table).
constexpr uint32_t kMessageClientFault = 23;
constexpr uint32_t kMessageLibraryNotLoaded = 27;
constexpr uint32_t kMessageFunctionMissing = 37;
constexpr uint32_t kMessageClientVersion = 3355;

// Error sites of the binding: {major, minor}.
struct Site {
  uint32_t nMajor;
  uint32_t nMinor;
};
constexpr Site kSiteLoad = {9, 1};
constexpr Site kSiteBind = {9, 2};
constexpr Site kSiteClientVersion = {101, 7};

// Sets the driver's message with its inserts as the error, files the
// error's identifier as item 16 and the internal-error text of the site.
// A null error drops the report.
template <typename... Args>
void ReportAtSite(_CXErrorModule76* error, Site site, uint32_t message, const Args&... args) {
  if (error == nullptr) return;
  error->SetUserError(gstErrorDefModule76, message, args...);
  error->AddInfo(EIT_NATIVECODE, error->nGetIdentifier());
  qg::AddInternalErrorText(*error, qg::kModuleTagMaria, site.nMajor, site.nMinor,
                           qg::kModuleVersionMaria);
}

void ReportLoadFailure(_CXErrorModule76* error, const std::u16string& name,
                       uint32_t system_error) {
  if (error == nullptr) return;
  ReportAtSite(error, kSiteLoad, kMessageLibraryNotLoaded, u"MariaDB", name, kProcessBits);
  if (system_error == qg::kErrorBadExeFormat) {
    error->SetSystemErrorText(system_error, name.c_str());
  } else {
    error->SetSystemError(system_error);
  }
}

void ReportMissingFunction(_CXErrorModule76* error, const char16_t* name, Site site) {
  ReportAtSite(error, site, kMessageFunctionMissing, name);
}

void ReportClientFault(_CXErrorModule76* error, Site site) {
  if (error == nullptr) return;
  ReportAtSite(error, site, kMessageClientFault, u"MariaDB");
  error->AddDebugMessageId(&gstErrorDefModule76, kMessageClientVersion,
                           gstrClientVersion.pszGet());
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

bool CNAMariaDBClient::bLoad(_CXErrorModule76* error, const char16_t* library_name) {
  std::lock_guard<std::recursive_mutex> lock(BindingMutex());
  if (gpclMariaDBClient == nullptr && !bCreateInstance(error)) return false;
  CNAMariaDBClient* client = gpclMariaDBClient;
  if (client->m_hModule == nullptr) {
    if (!client->bBindEntryPoints(error, library_name)) return false;
  } else if (!client->m_strMissingFunction.bEstVide()) {
    // The table is half bound: refuse it the same way every time.
    ReportMissingFunction(error, client->m_strMissingFunction, kSiteBind);
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

bool CNAMariaDBClient::bCreateInstance(_CXErrorModule76* error) {
  CNAMariaDBClient* client = new (std::nothrow) CNAMariaDBClient();
  if (client == nullptr) {
    // The pointer stays null: the next opening tries again.
    if (error != nullptr) error->SetOutOfMemoryError();
    return false;
  }
  gpclMariaDBClient = client;
  return true;
}

bool CNAMariaDBClient::bBindEntryPoints(_CXErrorModule76* error,
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
      ReportMissingFunction(error, m_strMissingFunction, kSiteBind);
      return false;
    }
  }
  return true;
}

bool CNAMariaDBClient::bReadClientVersion(_CXErrorModule76* error) {
  const char* text = nullptr;
  try {
    text = gMariaDB.mysql_get_client_info();
  } catch (const CTString& function_name) {
    ReportMissingFunction(error, function_name, kSiteClientVersion);
    return false;
  } catch (...) {
    ReportClientFault(error, kSiteClientVersion);
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
