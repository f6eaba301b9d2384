#include "support/streams/path_functions.h"

#include <cstring>

#include "support/platform/text16.h"

using qg::IsPathSeparator;
using qg::kPathCapacity;
using qg::StrLen16;

namespace {

// Copies n units of src into out (when out is given) and terminates.
int Put(char16_t* out, const char16_t* src, size_t n) {
  if (out != nullptr) {
    if (n > 0) std::memmove(out, src, n * sizeof(char16_t));
    out[n] = 0;
  }
  return static_cast<int>(n);
}

void Clear(char16_t* out) {
  if (out != nullptr) out[0] = 0;
}

bool IsDriveLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Length of the root at the start of path (see GetPathRoot).
size_t RootLength(const char16_t* path) {
  if (path == nullptr) return 0;
  if (IsDriveLetter(path[0]) && path[1] == u':') return 2;
  if (IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    // Two separators, server, separator, share.
    size_t i = 2;
    while (path[i] != 0 && !IsPathSeparator(path[i])) ++i;
    if (i == 2 || path[i] == 0) return 0;
    size_t share = ++i;
    while (path[i] != 0 && !IsPathSeparator(path[i])) ++i;
    if (i == share) return 0;
    return i;
  }
  return 0;
}

// Index just after the last separator of the first n units (0 without one).
size_t NameStart(const char16_t* path, size_t n) {
  const char16_t* sep = FindLastSeparator(path, static_cast<int>(n));
  return sep == nullptr ? 0 : static_cast<size_t>(sep - path) + 1;
}

// Index of the extension's '.' in the file name [start, n), or n.
size_t ExtensionStart(const char16_t* path, size_t start, size_t n) {
  for (size_t i = n; i > start; --i) {
    if (path[i - 1] == u'.') return i - 1;
  }
  return n;
}

}  // namespace

bool AddEndSlash(char16_t* path, size_t capacity) {
  if (path == nullptr) return false;
  size_t n = StrLen16(path);
  if (n == 0 || IsPathSeparator(path[n - 1])) return true;
  if (n + 2 > capacity) return false;
  path[n] = u'\\';
  path[n + 1] = 0;
  return true;
}

bool MakeResourcePath(char16_t* out, const char16_t* directory, const char16_t* name) {
  return qg::MakePath(out, directory, name, u"jnres");
}

int GetPathRoot(const char16_t* path, char16_t* root) {
  return Put(root, path, RootLength(path));
}

const char16_t* FindLastSeparator(const char16_t* path, int n) {
  if (path == nullptr) return nullptr;
  size_t len = n < 0 ? StrLen16(path) : qg::StrNLen16(path, static_cast<size_t>(n));
  for (size_t i = len; i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return path + i - 1;
  }
  return nullptr;
}

int GetPathDirectory(const char16_t* path, char16_t* directory) {
  if (path == nullptr) {
    Clear(directory);
    return 0;
  }
  return Put(directory, path, NameStart(path, StrLen16(path)));
}

int GetPathWithoutExtension(const char16_t* path, char16_t* out) {
  if (path == nullptr) {
    Clear(out);
    return 0;
  }
  size_t n = StrLen16(path);
  return Put(out, path, ExtensionStart(path, NameStart(path, n), n));
}

void SplitDirectoryAndFileName(const char16_t* path, char16_t* directory, char16_t* file_name) {
  if (path == nullptr) {
    Clear(directory);
    Clear(file_name);
    return;
  }
  size_t n = StrLen16(path);
  size_t name = NameStart(path, n);
  size_t root = RootLength(path);
  if (name < root) name = root;
  // The name first: directory may be the same buffer as path.
  Put(file_name, path + name, n - name);
  Put(directory, path, name);
}

namespace qg {

bool SplitPath5(const char16_t* path, char16_t* root, char16_t* directory, char16_t* name,
                char16_t* extension) {
  size_t n = StrLen16(path);
  if (path == nullptr || n > static_cast<size_t>(kMaxPath)) {
    Clear(root);
    Clear(directory);
    Clear(name);
    Clear(extension);
    return false;
  }
  // Work on a copy: an output may share the path's buffer.
  char16_t copy[kPathCapacity];
  Put(copy, path, n);
  size_t root_len = RootLength(copy);
  size_t name_start = NameStart(copy, n);
  if (name_start < root_len) name_start = root_len;
  size_t ext = ExtensionStart(copy, name_start, n);
  Put(root, copy, root_len);
  Put(directory, copy + root_len, name_start - root_len);
  Put(name, copy + name_start, ext - name_start);
  Put(extension, copy + ext, n - ext);
  return true;
}

bool SplitPath4(const char16_t* path, char16_t* folder, char16_t* name, char16_t* extension) {
  char16_t root[kPathCapacity];
  char16_t directory[kPathCapacity];
  if (!SplitPath5(path, root, directory, name, extension)) {
    Clear(folder);
    return false;
  }
  if (folder != nullptr) {
    size_t r = StrLen16(root);
    Put(folder, root, r);
    Put(folder + r, directory, StrLen16(directory));
  }
  return true;
}

bool MakePath(char16_t* out, const char16_t* folder, const char16_t* name,
              const char16_t* extension) {
  if (out == nullptr) return false;
  size_t nf = StrLen16(folder);
  size_t nn = StrLen16(name);
  size_t ne = StrLen16(extension);
  bool slash = nf > 0 && !IsPathSeparator(folder[nf - 1]);
  bool dot = ne > 0 && extension[0] != u'.';
  size_t total = nf + (slash ? 1 : 0) + nn + (dot ? 1 : 0) + ne;
  if (total >= static_cast<size_t>(kPathCapacity)) {
    out[0] = 0;
    return false;
  }
  // Assembled aside: out may share a buffer with an input.
  char16_t result[kPathCapacity];
  size_t at = 0;
  std::memcpy(result, folder == nullptr ? u"" : folder, nf * sizeof(char16_t));
  at += nf;
  if (slash) result[at++] = u'\\';
  if (nn > 0) std::memcpy(result + at, name, nn * sizeof(char16_t));
  at += nn;
  if (dot) result[at++] = u'.';
  if (ne > 0) std::memcpy(result + at, extension, ne * sizeof(char16_t));
  at += ne;
  Put(out, result, at);
  return true;
}

void DirectoryWithoutEndSlash(char16_t* folder) {
  if (folder == nullptr) return;
  size_t n = StrLen16(folder);
  if (n == 0 || !IsPathSeparator(folder[n - 1])) return;
  // A bare root keeps its separator: "\" and "X:\" name the root itself.
  if (n == 1 || (n == 3 && folder[1] == u':' && IsDriveLetter(folder[0]))) return;
  folder[n - 1] = 0;
}

}  // namespace qg
