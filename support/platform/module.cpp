#include "support/platform/module.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "support/platform/error_codes.h"

namespace qg {

namespace {

bool Contains(const char* text, const char* part) {
  return text != nullptr && std::strstr(text, part) != nullptr;
}

// Classifies the text of dlerror() after a failed dlopen.
uint32_t LoadErrorFromText(const char* text) {
  static const char* const kBadImage[] = {
      "invalid ELF header", "wrong ELF class", "file too short", "ELF file",
      "ELF load command", "only ET_DYN and ET_EXEC", "cannot dynamically load",
      "unsupported version", "ELF section", "not a dynamic", "machine type",
  };
  for (const char* part : kBadImage) {
    if (Contains(text, part)) return kErrorBadExeFormat;
  }
  if (Contains(text, "undefined symbol")) return kErrorProcNotFound;
  if (Contains(text, "Permission denied")) return kErrorAccessDenied;
  return kErrorModNotFound;
}

uint32_t Fail(uint32_t code, uint32_t* error) {
  SetLastError(code);
  if (error != nullptr) *error = code;
  return code;
}

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string ToUtf8(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; *p != 0; ++p) {
    uint32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

std::string FullPath(const char* name) {
  if (name == nullptr || *name == '\0') return ExecutablePath();
  char* resolved = realpath(name, nullptr);
  if (resolved == nullptr) return std::string(name);
  std::string out(resolved);
  std::free(resolved);
  return out;
}

// The link map of the module holding address; null, with the last error
// set, when no loaded module holds it.
struct link_map* LinkMapOf(const void* address) {
  Dl_info info;
  struct link_map* map = nullptr;
  if (address == nullptr ||
      dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
      map == nullptr) {
    SetLastError(kErrorModNotFound);
    return nullptr;
  }
  return map;
}

}  // namespace

ModuleHandle LoadModule(const char* path, uint32_t* error) {
  if (path == nullptr || *path == '\0') {
    Fail(kErrorInvalidParameter, error);
    return nullptr;
  }
  // dlopen reports a missing file and a missing dependency alike; a path
  // given explicitly is checked first so that its own absence is 126 for
  // sure and a directory is not mistaken for an image.
  if (std::strchr(path, '/') != nullptr) {
    struct stat st;
    if (stat(path, &st) != 0) {
      Fail(errno == EACCES ? kErrorAccessDenied : kErrorModNotFound, error);
      return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
      Fail(kErrorAccessDenied, error);
      return nullptr;
    }
  }
  dlerror();
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    Fail(LoadErrorFromText(dlerror()), error);
    return nullptr;
  }
  if (error != nullptr) *error = kErrorSuccess;
  return handle;
}

ModuleHandle LoadModule16(const char16_t* path, uint32_t* error) {
  if (path == nullptr || *path == 0) {
    Fail(kErrorInvalidParameter, error);
    return nullptr;
  }
  return LoadModule(ToUtf8(path).c_str(), error);
}

void* FindSymbol(ModuleHandle module, const char* name) {
  if (module == nullptr) {
    SetLastError(kErrorInvalidHandle);
    return nullptr;
  }
  if (name == nullptr || *name == '\0') {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(module, name);
  // dlsym also searches the module's dependencies; only the module's own
  // definitions count, as with GetProcAddress.
  struct link_map* own = nullptr;
  struct link_map* holder = nullptr;
  Dl_info info;
  if (symbol != nullptr &&
      (dlinfo(module, RTLD_DI_LINKMAP, &own) != 0 ||
       dladdr1(symbol, &info, reinterpret_cast<void**>(&holder), RTLD_DL_LINKMAP) == 0 ||
       holder != own)) {
    symbol = nullptr;
  }
  if (symbol == nullptr) {
    dlerror();
    SetLastError(kErrorProcNotFound);
  }
  return symbol;
}

bool FreeModule(ModuleHandle module) {
  if (module == nullptr || dlclose(module) != 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return true;
}

ModuleHandle ModuleOf(const void* address) {
  struct link_map* map = LinkMapOf(address);
  if (map == nullptr) return nullptr;
  void* handle;
  if (map->l_name == nullptr || map->l_name[0] == '\0') {
    handle = dlopen(nullptr, RTLD_NOW);
  } else {
    handle = dlopen(map->l_name, RTLD_NOW | RTLD_NOLOAD);
  }
  if (handle == nullptr) {
    dlerror();
    SetLastError(kErrorModNotFound);
  }
  return handle;
}

std::string ModulePathOf(const void* address) {
  struct link_map* map = LinkMapOf(address);
  if (map == nullptr) return std::string();
  return FullPath(map->l_name);
}

std::string ModulePath(ModuleHandle module) {
  struct link_map* map = nullptr;
  if (module == nullptr || dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
    dlerror();
    SetLastError(kErrorInvalidHandle);
    return std::string();
  }
  return FullPath(map->l_name);
}

bool IsModuleLoaded(const char* path) {
  if (path == nullptr || *path == '\0') return false;
  void* handle = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) {
    dlerror();
    return false;
  }
  dlclose(handle);
  return true;
}

}  // namespace qg
