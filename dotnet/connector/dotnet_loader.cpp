#include "dotnet/connector/dotnet_loader.h"

#include <limits.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dotnet/connector/net_error.h"
#include "dotnet/connector/net_text.h"
#include "support/platform/text16.h"

namespace qgnet {
namespace {

struct SplitName {
  std::u16string folder;     // without the closing slash
  std::u16string base;
  std::u16string extension;  // with its dot
};

SplitName Split(const std::u16string& path) {
  SplitName out;
  size_t slash = path.find_last_of(u"/\\");
  std::u16string file = slash == std::u16string::npos ? path : path.substr(slash + 1);
  if (slash != std::u16string::npos) out.folder = path.substr(0, slash);
  size_t dot = file.rfind(u'.');
  if (dot == std::u16string::npos || dot == 0) {
    out.base = file;
  } else {
    out.base = file.substr(0, dot);
    out.extension = file.substr(dot);
  }
  return out;
}

bool IsDllExtension(const std::u16string& extension) {
  return qg::StrICmpAscii16(extension.c_str(), u".dll") == 0;
}

std::u16string CurrentDirectory() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof(buffer)) == nullptr) return std::u16string();
  return U16(buffer);
}

bool TooLong(const std::u16string& path) { return U8(path).size() >= PATH_MAX; }

// A pipe, socket or device: opening it would wait for a writer or read
// without end. A missing path is left to the runtime's own message.
bool NotAFile(const std::u16string& path) {
  struct stat info;
  return stat(U8(path).c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

// Adds message 3614 (what) to the error, after the exception when there is
// one; what earlier steps recorded stays.
void AddLoadFailure(CXError* error, ManagedId exc, const std::u16string& what) {
  if (error == nullptr) return;
  _CXErrorModule20 step;
  if (exc != 0) GetError(&step, exc, false, nullptr);
  step.AddUserMessageFirst(&Def(), 3614, what.c_str());
  step.nSetNiveau(XERR_ERROR);
  error->AddError(step);
}

}  // namespace

CDotNetLoader::CDotNetLoader(std::function<std::u16string()> cache_folder,
                             CXError* manager_error)
    : m_cache_folder(std::move(cache_folder)), m_manager_error(manager_error) {}

CDotNetLoader::~CDotNetLoader() { vClear(); }

void CDotNetLoader::vClear() {
  std::vector<CDotNetAssembly*> loaded;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_aliases.clear();
    loaded.swap(m_loaded);
  }
  for (CDotNetAssembly* assembly : loaded) assembly->vRelease();
}

std::vector<CDotNetAssembly*> CDotNetLoader::Snapshot() const {
  std::lock_guard<std::mutex> lock(m_lock);
  for (CDotNetAssembly* assembly : m_loaded) assembly->AddRef();
  return m_loaded;
}

int32_t CDotNetLoader::nGetNbAlias() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return static_cast<int32_t>(m_aliases.size());
}

bool CDotNetLoader::vbAdd(IDotNetAssembly* assembly) {
  if (assembly == nullptr) return false;
  auto* ours = static_cast<CDotNetAssembly*>(assembly);
  ours->AddRef();
  std::lock_guard<std::mutex> lock(m_lock);
  m_loaded.push_back(ours);
  return true;
}

IDotNetAssembly* CDotNetLoader::vpiLoad(const char16_t* name) { return vpiLoadWithFullPath(name); }

IDotNetAssembly* CDotNetLoader::vpiLoadWithFullPath(const char16_t* path) {
  if (m_manager_error != nullptr) m_manager_error->RAZ();
  return vpiLoadAssemblyWithFullPath(path, m_manager_error);
}

IDotNetAssembly* CDotNetLoader::vpiLoadWithPartialName(const char16_t*) { return nullptr; }

int32_t CDotNetLoader::vnGetNbAssembly() {
  std::lock_guard<std::mutex> lock(m_lock);
  return static_cast<int32_t>(m_loaded.size());
}

IDotNetAssembly* CDotNetLoader::vpiGetAssembly(int32_t n) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (n < 0 || static_cast<size_t>(n) >= m_loaded.size()) return nullptr;
  return m_loaded[static_cast<size_t>(n)];
}

IDotNetType* CDotNetLoader::vpiGetType(const char16_t* name) { return vpclGetType(name); }

bool CDotNetLoader::vbFindType(const char16_t* name) {
  bool found = false;
  for (CDotNetAssembly* assembly : Snapshot()) {
    found = found || assembly->vbFindType(name);
    assembly->vRelease();
  }
  return found;
}

IDotNetAssembly* CDotNetLoader::vpiLoadAssembly(const char16_t* name, CXError* error) {
  if (error != nullptr) error->RAZ();
  if (name == nullptr || ClrOr(error) == nullptr) return nullptr;
  return SearchLoad(name, error);
}

bool CDotNetLoader::vbLoadAddAssembly(const char16_t* name, CXError* error) {
  if (name == nullptr) return false;
  if (error != nullptr) error->RAZ();
  std::u16string key = name;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (FindLoaded(key) != nullptr) return true;
  }
  if (ClrOr(error) == nullptr) return false;
  CDotNetAssembly* assembly = SearchLoad(key, error);
  if (assembly == nullptr) return false;
  // Another thread may have listed the name, or the same file, during the
  // load: the listed wrapper stays and ours goes.
  bool spare = false;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (FindLoaded(key) != nullptr) {
      spare = true;
    } else {
      CDotNetAssembly* listed = nullptr;
      const std::u16string& path = assembly->Path();
      for (CDotNetAssembly* loaded : m_loaded) {
        if (loaded == assembly || (!path.empty() && loaded->Path() == path)) {
          listed = loaded;
          break;
        }
      }
      if (listed == nullptr) {
        m_loaded.push_back(assembly);  // the list takes this reference
      } else {
        spare = true;  // the list keeps its own reference
      }
      m_aliases.push_back(STNomAssemblage{key, listed != nullptr ? listed : assembly});
    }
  }
  if (spare) assembly->vRelease();
  return true;
}

IDotNetAssembly* CDotNetLoader::vpiLoadAssemblyWithFullPath(const char16_t* path,
                                                            CXError* error) {
  if (path == nullptr || ClrOr(error) == nullptr) return nullptr;
  return FullPathLoad(path, error);
}

IDotNetAssembly* CDotNetLoader::vpiGetAssembly_mscorlib() {
  const ManagedTable* clr = ClrOr(m_manager_error);
  if (clr == nullptr) return nullptr;
  ManagedId core = clr->CoreLibrary();
  if (core == 0) return nullptr;
  return new CDotNetAssembly(core, std::u16string(), u"mscorlib");
}

const char16_t* CDotNetLoader::vpszGetStrongNameForFile(const char16_t* path) {
  const ManagedTable* clr = Clr();
  if (clr == nullptr || path == nullptr || NotAFile(path)) return nullptr;
  int32_t versions[4];
  StringSink name;
  if (clr->GetAssemblyName(path, &name, versions) != kBridgeOk) return nullptr;
  std::lock_guard<std::mutex> lock(m_lock);
  return m_strong_names.insert(std::move(name)).first->c_str();
}

IDotNetAssembly* CDotNetLoader::vpiLoadAssemblyFromGAC(const char16_t* name, CXError* error) {
  if (name == nullptr || ClrOr(error) == nullptr) return nullptr;
  return ByNameLoad(name, error);
}

bool CDotNetLoader::vbLoadAdd(const char16_t*) { return false; }

CDotNetType* CDotNetLoader::vpclGetType(const char16_t* name) {
  const ManagedTable* clr = Clr();
  if (clr == nullptr || name == nullptr) return nullptr;
  ManagedId type = 0;
  if (clr->TypeByName(name, &type) == kBridgeOk) return new CDotNetType(type);
  CDotNetType* found = nullptr;
  for (CDotNetAssembly* assembly : Snapshot()) {
    if (found == nullptr) found = assembly->vpclGetType(name);
    assembly->vRelease();
  }
  return found;
}

CDotNetAssembly* CDotNetLoader::FindLoaded(const std::u16string& name) const {
  for (CDotNetAssembly* assembly : m_loaded) {
    if (!assembly->Path().empty() && assembly->Path() == name) return assembly;
  }
  for (CDotNetAssembly* assembly : m_loaded) {
    if (!assembly->Requested().empty() && assembly->Requested() == name) return assembly;
  }
  for (const STNomAssemblage& alias : m_aliases) {
    if (alias.name == name) return alias.assembly;
  }
  return nullptr;
}

std::u16string CDotNetLoader::ExecutableFolder() const {
  if (!m_exe_folder.empty()) return m_exe_folder;
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return std::u16string();
  buffer[n] = '\0';
  return Split(U16(buffer)).folder;
}

CDotNetAssembly* CDotNetLoader::LoadFromPath(const std::u16string& path, CXError* error) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    for (CDotNetAssembly* assembly : m_loaded) {
      if (assembly->Path() == path) {
        assembly->AddRef();
        return assembly;
      }
    }
  }
  if (m_trace) m_trace(u"path", path);
  if (TooLong(path) || NotAFile(path)) {
    AddLoadFailure(error, 0, path);
    return nullptr;
  }
  ManagedRef assembly, exc;
  if (Clr()->LoadFrom(path.c_str(), assembly.out(), exc.out()) == kBridgeOk) {
    if (error != nullptr) error->RAZ();
    return new CDotNetAssembly(assembly.release(), path, std::u16string());
  }
  AddLoadFailure(error, exc.get(), path);
  return nullptr;
}

CDotNetAssembly* CDotNetLoader::SearchLoad(const std::u16string& name, CXError* error) {
  SplitName parts = Split(name);
  std::u16string file = parts.base + parts.extension;
  std::u16string cwd = CurrentDirectory();
  std::u16string exe = ExecutableFolder();
  if (!exe.empty() && exe != cwd) {
    if (CDotNetAssembly* found = LoadFromPath(exe + u"/" + file, error)) return found;
  }
  if (!cwd.empty()) {
    if (CDotNetAssembly* found = LoadFromPath(cwd + u"/" + file, error)) return found;
  }
  if (CDotNetAssembly* found = ByNameLoad(parts.base, error)) return found;
  return FullPathLoad(name, error);
}

CDotNetAssembly* CDotNetLoader::FullPathLoad(const std::u16string& path, CXError* error) {
  std::u16string cache = m_cache_folder ? m_cache_folder() : std::u16string();
  bool in_cache = !cache.empty() && path.compare(0, cache.size(), cache) == 0 &&
                  (path.size() == cache.size() || path[cache.size()] == u'/' ||
                   cache.back() == u'/');
  if (!in_cache) {
    if (CDotNetAssembly* found = LoadFromPath(path, error)) return found;
    if (TooLong(path)) return nullptr;
  }
  SplitName parts = Split(path);
  std::u16string name = parts.base;
  if (!IsDllExtension(parts.extension)) name += parts.extension;
  return ByNameLoad(name, error);
}

CDotNetAssembly* CDotNetLoader::ByNameLoad(const std::u16string& name, CXError* error) {
  if (m_trace) m_trace(u"name", name);
  ManagedRef assembly, exc;
  int32_t status = Clr()->LoadByName(name.c_str(), assembly.out(), exc.out());
  if (status == kBridgeOk) {
    if (error != nullptr) error->RAZ();
    return new CDotNetAssembly(assembly.release(), std::u16string(), name);
  }
  if (error == nullptr) return nullptr;
  if (status == kBridgeRefused) {
    _CXErrorModule20 missing;
    missing.SetUserError(Def(), 200003, name.c_str());
    error->AddSubError(&missing);
    if (error->nGetNiveau() < XERR_ERROR) error->nSetNiveau(XERR_ERROR);
  } else {
    AddLoadFailure(error, exc.get(), name);
  }
  return nullptr;
}

}  // namespace qgnet
