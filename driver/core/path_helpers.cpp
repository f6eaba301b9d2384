#include "driver/core/path_helpers.h"

#include <charconv>
#include <climits>
#include <mutex>
#include <string>

#include "support/platform/codepage.h"
#include "support/platform/module.h"
#include "support/platform/text16.h"

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Writes n units of s into a kNAPathCapacity buffer when it is given.
void Put(char16_t* out, const char16_t* s, size_t n) {
  if (out == nullptr) return;
  if (n >= kNAPathCapacity) n = kNAPathCapacity - 1;
  for (size_t i = 0; i < n; ++i) out[i] = s[i];
  out[n] = 0;
}

struct PathParts {
  size_t drive_end = 0;  // [0, drive_end): drive or server and share
  size_t dir_end = 0;    // [drive_end, dir_end): directory
  size_t name_end = 0;   // [dir_end, name_end): base name
  size_t length = 0;     // [name_end, length): extension
};

bool Split(const char16_t* path, PathParts* parts) {
  const size_t length = qg::StrNLen16(path, kNAPathCapacity);
  if (path == nullptr || length >= kNAPathCapacity) return false;
  size_t drive = 0;
  if (length >= 2 && path[1] == u':') {
    drive = 2;
  } else if (length >= 2 && ((path[0] == u'\\' && path[1] == u'\\') ||
                             (path[0] == u'/' && path[1] == u'/'))) {
    // Server, then share: the drive part ends at the separator after the
    // share (or at the end).
    size_t at = 2;
    while (at < length && !IsSeparator(path[at])) ++at;
    if (at < length) ++at;
    while (at < length && !IsSeparator(path[at])) ++at;
    drive = at;
  }
  size_t dir_end = drive;
  for (size_t i = drive; i < length; ++i) {
    if (IsSeparator(path[i])) dir_end = i + 1;
  }
  size_t name_end = length;
  for (size_t i = length; i > dir_end; --i) {
    if (path[i - 1] == u'.') {
      name_end = i - 1;
      break;
    }
  }
  parts->drive_end = drive;
  parts->dir_end = dir_end;
  parts->name_end = name_end;
  parts->length = length;
  return true;
}

// The native library's path; read and written only under g_native_path_mutex.
std::mutex g_native_path_mutex;
std::u16string g_native_path;

}  // namespace

void SplitPathFolderFile(const char16_t* path, char16_t* folder, char16_t* file) {
  PathParts p;
  if (!Split(path, &p)) {
    Put(folder, u"", 0);
    Put(file, u"", 0);
    return;
  }
  Put(folder, path, p.dir_end);
  Put(file, path + p.dir_end, p.length - p.dir_end);
}

void SplitPathFolderNameExtension(const char16_t* path, char16_t* folder, char16_t* name,
                                  char16_t* extension) {
  PathParts p;
  if (!Split(path, &p)) {
    Put(folder, u"", 0);
    Put(name, u"", 0);
    Put(extension, u"", 0);
    return;
  }
  Put(folder, path, p.dir_end);
  Put(name, path + p.dir_end, p.name_end - p.dir_end);
  Put(extension, path + p.name_end, p.length - p.name_end);
}

void SplitQualifiedName(const char16_t* text, CTString& qualifier, CTString& name) {
  if (text == nullptr) text = u"";
  const char16_t* dot = qg::StrChr16(text, u'.');
  if (dot == nullptr) {
    name.Set(text);
    return;
  }
  if (qualifier.bEstVide()) qualifier.Set(text, size_t(dot - text));
  name.Set(dot + 1);
}

void FormatExprName(CTString& out, int n) {
  char digits[16];
  auto result = std::to_chars(digits, digits + sizeof digits, n);
  char16_t text[24] = u"Expr";
  size_t at = 4;
  for (const char* p = digits; p < result.ptr; ++p) text[at++] = char16_t(*p);
  text[at] = 0;
  out.Set(text);
}

bool bSetNativeLibraryPath(void* module) {
  const std::string path = qg::ModulePath(module);
  if (path.empty() || path.size() >= PATH_MAX) return false;
  std::u16string wide;
  if (!qg::CodePageToUtf16(qg::kCodePageUtf8, path.data(), ptrdiff_t(path.size()), &wide)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(g_native_path_mutex);
  g_native_path = std::move(wide);
  return true;
}

CTString GetNativeLibraryPath() {
  std::lock_guard<std::mutex> lock(g_native_path_mutex);
  return CTString(g_native_path.c_str());
}
