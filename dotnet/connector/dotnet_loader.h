// The assembly loader: loads assemblies by file name (searching the
// executable's folder, the current directory, the runtime's partial-name
// binding, then the name as a path), keeps every assembly it was asked to
// remember with the names it was asked under, and finds types in them.
//
// The current directory is searched before the by-name binding: an
// assembly placed there wins over one the runtime would bind by name.
#ifndef QG_DOTNET_CONNECTOR_DOTNET_LOADER_H_
#define QG_DOTNET_CONNECTOR_DOTNET_LOADER_H_

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "dotnet/connector/dotnet_wrappers.h"

class CXError;

namespace qgnet {

class CDotNetLoader final : public IDotNetLoader {
 public:
  struct STNomAssemblage {
    std::u16string name;
    CDotNetAssembly* assembly;  // not owned: listed in the loaded array
  };

  // Observes each load the loader tries: kind u"path" (from a file) or
  // u"name" (the runtime's by-name binding), and the path or name.
  using TraceFn = std::function<void(const char16_t* kind, const std::u16string& what)>;

  // cache_folder answers the assembly cache folder (empty when unknown);
  // manager_error is the manager's error object.
  CDotNetLoader(std::function<std::u16string()> cache_folder, CXError* manager_error);
  ~CDotNetLoader();
  CDotNetLoader(const CDotNetLoader&) = delete;
  CDotNetLoader& operator=(const CDotNetLoader&) = delete;

  int32_t vnVersion1() override { return 1; }
  int32_t vnVersion2() override { return 1; }
  void vClear() override;
  bool vbAdd(IDotNetAssembly* assembly) override;
  IDotNetAssembly* vpiLoad(const char16_t* name) override;
  IDotNetAssembly* vpiLoadWithFullPath(const char16_t* path) override;
  IDotNetAssembly* vpiLoadWithPartialName(const char16_t* name) override;
  int32_t vnGetNbAssembly() override;
  IDotNetAssembly* vpiGetAssembly(int32_t n) override;
  IDotNetType* vpiGetType(const char16_t* name) override;
  bool vbFindType(const char16_t* name) override;
  IDotNetAssembly* vpiLoadAssembly(const char16_t* name, CXError* error) override;
  bool vbLoadAddAssembly(const char16_t* name, CXError* error) override;
  IDotNetAssembly* vpiLoadAssemblyWithFullPath(const char16_t* path, CXError* error) override;
  IDotNetAssembly* vpiGetAssembly_mscorlib() override;
  const char16_t* vpszGetStrongNameForFile(const char16_t* path) override;
  IDotNetAssembly* vpiLoadAssemblyFromGAC(const char16_t* name, CXError* error) override;
  bool vbLoadAdd(const char16_t* path) override;
  // The type of that full name: the runtime's own resolution first
  // (assembly-qualified names, core types), then each loaded assembly in
  // load order. A new wrapper, or null.
  CDotNetType* vpclGetType(const char16_t* name);

  // Test seams: the trace, and the executable's folder (empty: the real
  // one, from /proc/self/exe).
  void SetTraceForTesting(TraceFn trace) { m_trace = std::move(trace); }
  void SetExecutableFolderForTesting(std::u16string folder) { m_exe_folder = std::move(folder); }
  int32_t nGetNbAlias() const;

 private:
  // Each answers a new reference, or null with the error filled.
  CDotNetAssembly* SearchLoad(const std::u16string& name, CXError* error);
  CDotNetAssembly* FullPathLoad(const std::u16string& path, CXError* error);
  CDotNetAssembly* ByNameLoad(const std::u16string& name, CXError* error);
  // Already loaded under that path, requested name or alias (no reference
  // added), or null. m_lock held.
  CDotNetAssembly* FindLoaded(const std::u16string& name) const;
  // The listed assemblies in load order, one reference each for the caller.
  std::vector<CDotNetAssembly*> Snapshot() const;
  // From the path, unless already loaded from it; 3614 on failure.
  CDotNetAssembly* LoadFromPath(const std::u16string& path, CXError* error);
  std::u16string ExecutableFolder() const;

  std::function<std::u16string()> m_cache_folder;
  CXError* m_manager_error;
  // Calls on several threads share the lists. m_lock guards them and is
  // never held across a call into the runtime: a load may run managed code
  // that comes back here on the same thread.
  mutable std::mutex m_lock;
  std::vector<CDotNetAssembly*> m_loaded;  // one reference each
  std::vector<STNomAssemblage> m_aliases;
  // Every strong name handed out, kept for the loader's life: callers on
  // several threads each hold a pointer into it. Guarded by m_lock.
  std::set<std::u16string> m_strong_names;
  TraceFn m_trace;
  std::u16string m_exe_folder;
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_DOTNET_LOADER_H_
