// The assembly finder: lists the .NET assemblies found in the assembly
// cache folder or in a given folder tree, with their strong names and
// versions read from each file's metadata.
#ifndef QG_DOTNET_CONNECTOR_DOTNET_FINDER_H_
#define QG_DOTNET_CONNECTOR_DOTNET_FINDER_H_

#include <functional>
#include <string>
#include <vector>

#include "dotnet/connector/dotnet_interfaces.h"

namespace qgnet {

class CDotNetFinder final : public IDotNetFinder {
 public:
  struct CAssemblyInfo {
    std::u16string path;
    std::u16string strong_name;  // empty for a file that is no assembly
    int32_t versions[4] = {0, 0, 0, 0};
  };

  // cache_folder answers the assembly cache folder (empty when unknown).
  explicit CDotNetFinder(std::function<std::u16string()> cache_folder);

  int32_t vnVersion1() override { return 1; }
  int32_t vnVersion2() override { return 1; }
  void vClear() override;
  // Unless HKCU "Software\Moravex\Vantor\30.0\QGNET" value
  // "DesactiveRechercheGAC" reads 1, scans the cache folder recursively,
  // skipping folders whose path contains "Temporary".
  bool vbFind() override;
  int32_t vnGetNb() override;
  const char16_t* vpszGetFileName(int32_t n) override;
  const char16_t* vpszGetStrongName(int32_t n) override;
  int32_t vnGetVersion(int32_t n, int32_t part) override;
  // Scans a folder and its sub-folders, "Temporary" ones included.
  bool vbFindInPath(const char16_t* folder) override;

  const std::vector<CAssemblyInfo>& Entries() const { return m_entries; }

 private:
  // Files "*.dll" (any letter case) in name order, then sub-folders in name
  // order. Symbolic links to folders are not followed, so scans end.
  void ScanFolder(const std::string& folder, bool skip_temporary);
  void AddEntry(const std::string& path);

  std::function<std::u16string()> m_cache_folder;
  std::vector<CAssemblyInfo> m_entries;
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_DOTNET_FINDER_H_
