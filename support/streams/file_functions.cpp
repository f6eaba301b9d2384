#include "support/streams/file_functions.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "support/platform/error_codes.h"
#include "support/streams/fs_path.h"
#include "support/streams/xstream.h"

namespace {

// The system form of path's full form; empty (last error set) on failure.
std::string FullSystemPath(const char16_t* path, bool directory) {
  CFSPath full;
  if (!full.bSetFullPath(path, directory)) return std::string();
  return qg::SystemPath(full.pszGet());
}

// The full form of path without one trailing separator (the root keeps it).
std::u16string DirectoryForm(const char16_t* path) {
  CFSPath full;
  if (!full.bSetFullPath(path, true)) return std::u16string();
  std::u16string text = full.pszGet();
  if (text.size() > 1 && qg::IsPathSeparator(text.back())) text.pop_back();
  return text;
}

bool CreateTree(const std::u16string& path) {
  // A bare drive ("X:") or the root exists.
  if (path.empty()) {
    qg::SetLastError(qg::kErrorPathNotFound);
    return false;
  }
  if (path.back() == u':' || (path.size() == 1 && qg::IsPathSeparator(path[0]))) return true;
  std::string system = qg::SystemPath(path.c_str());
  struct stat st;
  if (::stat(system.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    qg::SetLastError(qg::kErrorAlreadyExists);
    return false;
  }
  size_t sep = path.find_last_of(u"\\/");
  if (sep != std::u16string::npos) {
    // The parent first; a separator at the start leaves the root as parent.
    std::u16string parent = sep == 0 ? path.substr(0, 1) : path.substr(0, sep);
    if (parent.size() == 4 && parent.compare(0, 4, u"\\\\?\\") == 0) parent = u"/";
    if (!CreateTree(parent)) return false;
  }
  if (::mkdir(system.c_str(), 0777) == 0) return true;
  int err = errno;
  if (err == EEXIST && ::stat(system.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  qg::SetLastErrorFromErrno(err);
  return false;
}

}  // namespace

bool bDeleteFile(const char16_t* path) {
  std::string system = FullSystemPath(path, false);
  if (system.empty()) return false;
  if (::unlink(system.c_str()) == 0) return true;
  qg::SetLastError(errno == EISDIR ? qg::kErrorAccessDenied : qg::ErrorFromErrno(errno));
  return false;
}

bool bGetFileAttributes(const char16_t* path, uint32_t* attributes, uint32_t* error) {
  if (attributes != nullptr) *attributes = qg::INVALID_FILE_ATTRIBUTES;
  std::string system = FullSystemPath(path, false);
  struct stat st;
  if (system.empty() || ::stat(system.c_str(), &st) != 0) {
    if (!system.empty()) qg::SetLastErrorFromErrno();
    if (error != nullptr) *error = qg::GetLastError();
    return false;
  }
  uint32_t value = 0;
  if (S_ISDIR(st.st_mode)) value |= qg::FILE_ATTRIBUTE_DIRECTORY;
  if ((st.st_mode & S_IWUSR) == 0) value |= qg::FILE_ATTRIBUTE_READONLY;
  if (value == 0) value = qg::FILE_ATTRIBUTE_NORMAL;
  if (attributes != nullptr) *attributes = value;
  if (error != nullptr) *error = qg::kErrorSuccess;
  return true;
}

bool bFileExists(const char16_t* path) {
  qg::LastErrorKeeper keep;
  return bGetFileAttributes(path, nullptr, nullptr);
}

bool bCreateDirectoryTree(const char16_t* path) {
  if (path == nullptr || path[0] == 0) {
    qg::SetLastError(qg::kErrorPathNotFound);
    return false;
  }
  std::u16string full = DirectoryForm(path);
  if (full.empty()) return false;
  return CreateTree(full);
}

int nGetDriveType(const char16_t* path) {
  std::string system = FullSystemPath(path, false);
  struct statfs fs;
  if (system.empty() || ::statfs(system.c_str(), &fs) != 0) return qg::DRIVE_NO_ROOT_DIR;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case 0xFF534D42UL:  // CIFS
    case 0xFE534D42UL:  // SMB2
      return qg::DRIVE_REMOTE;
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
      return qg::DRIVE_RAMDISK;
    case ISOFS_SUPER_MAGIC:
      return qg::DRIVE_CDROM;
    default:
      return qg::DRIVE_FIXED;
  }
}
