#include "dotnet/connector/dotnet_finder.h"

#include <dirent.h>
#include <limits.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>

#include "dotnet/connector/clr_bridge.h"
#include "dotnet/connector/net_text.h"
#include "support/platform/registry.h"

namespace qgnet {

CDotNetFinder::CDotNetFinder(std::function<std::u16string()> cache_folder)
    : m_cache_folder(std::move(cache_folder)) {}

void CDotNetFinder::vClear() { m_entries.clear(); }

bool CDotNetFinder::vbFind() {
  uint32_t off = 0;
  if (qg::RegReadDword(qg::RegistryHive::kCurrentUser, u"Software\\Moravex\\Vantor\\30.0\\QGNET",
                       u"DesactiveRechercheGAC", &off) == qg::RegStatus::kOk &&
      off == 1) {
    return true;
  }
  std::u16string cache = m_cache_folder ? m_cache_folder() : std::u16string();
  if (!cache.empty()) ScanFolder(U8(cache), true);
  return true;
}

bool CDotNetFinder::vbFindInPath(const char16_t* folder) {
  if (folder != nullptr && *folder != u'\0') ScanFolder(U8(folder), false);
  return true;
}

int32_t CDotNetFinder::vnGetNb() { return static_cast<int32_t>(m_entries.size()); }

const char16_t* CDotNetFinder::vpszGetFileName(int32_t n) {
  if (n < 0 || n >= vnGetNb()) return nullptr;
  return m_entries[static_cast<size_t>(n)].path.c_str();
}

const char16_t* CDotNetFinder::vpszGetStrongName(int32_t n) {
  if (n < 0 || n >= vnGetNb()) return nullptr;
  return m_entries[static_cast<size_t>(n)].strong_name.c_str();
}

int32_t CDotNetFinder::vnGetVersion(int32_t n, int32_t part) {
  if (n < 0 || n >= vnGetNb() || part < 0 || part > 3) return 0;
  return m_entries[static_cast<size_t>(n)].versions[part];
}

void CDotNetFinder::ScanFolder(const std::string& folder, bool skip_temporary) {
  if (skip_temporary && folder.find("Temporary") != std::string::npos) return;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> files, folders;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder + (folder.empty() || folder.back() != '/' ? "/" : "") + name;
    if (path.size() >= PATH_MAX) continue;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      folders.push_back(path);
      continue;
    }
    // A regular file, or a link to one: a link to a folder is neither
    // scanned nor listed, and a pipe, socket or device is never opened.
    if (S_ISLNK(info.st_mode) && stat(path.c_str(), &info) != 0) continue;
    if (!S_ISREG(info.st_mode)) continue;
    if (name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".dll") == 0) {
      files.push_back(path);
    }
  }
  closedir(dir);
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  m_entries.reserve(m_entries.size() + files.size());
  for (const std::string& file : files) AddEntry(file);
  for (const std::string& sub : folders) ScanFolder(sub, skip_temporary);
}

void CDotNetFinder::AddEntry(const std::string& path) {
  CAssemblyInfo info;
  info.path = U16(path);
  const ManagedTable* clr = Clr();
  if (clr != nullptr) {
    StringSink name;
    if (clr->GetAssemblyName(info.path.c_str(), &name, info.versions) == kBridgeOk) {
      info.strong_name = std::move(name);
    } else {
      std::fill(std::begin(info.versions), std::end(info.versions), 0);
    }
  }
  m_entries.push_back(std::move(info));
}

}  // namespace qgnet
