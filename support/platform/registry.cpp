#include "support/platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "support/platform/case_fold.h"
#include "support/platform/codepage.h"
#include "support/platform/text16.h"

namespace qg {

namespace {

constexpr char kValuesFile[] = "#values";

// Serialises the read-modify-replace of a key's values file within the
// process (Store holds it from reading the file to its rename).
std::mutex& WriteLock() {
  static std::mutex lock;
  return lock;
}

std::string ToUtf8(const char16_t* text, size_t n) {
  std::string out;
  if (n != 0) Utf16ToCodePage(kCodePageUtf8, text, static_cast<ptrdiff_t>(n), &out);
  return out;
}

std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  CodePageToUtf16(kCodePageUtf8, text.data(), static_cast<ptrdiff_t>(text.size()), &out);
  return out;
}

void AppendHex(std::string* out, unsigned char b) {
  static const char kHex[] = "0123456789abcdef";
  out->push_back('%');
  out->push_back(kHex[b >> 4]);
  out->push_back(kHex[b & 0xF]);
}

// Longest folder name kept as it is; a longer one is cut and followed by
// '~' and a hash of the whole name, which keeps names apart within the
// file system's 255 bytes.
constexpr size_t kFolderNameMax = 200;
constexpr size_t kFolderNameCut = 180;

std::string ShortenFolder(const std::string& name) {
  if (name.size() <= kFolderNameMax) return name;
  uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
  for (unsigned char b : name) {
    hash ^= b;
    hash *= 0x100000001b3ull;
  }
  size_t cut = kFolderNameCut;
  // Never inside an escape: a '%' in the last two bytes kept starts one.
  if (name[cut - 1] == '%') cut -= 1;
  else if (name[cut - 2] == '%') cut -= 2;
  std::string out = name.substr(0, cut);
  out += '~';
  static const char kHex[] = "0123456789abcdef";
  for (int shift = 60; shift >= 0; shift -= 4) out += kHex[(hash >> shift) & 0xF];
  return out;
}

// Folder name of one key component: folded, UTF-8, every byte outside
// [a-z0-9_.-] escaped as %xx, and a leading '.' escaped too (no "." or
// ".." folder, no hidden file, no clash with "#values"); shortened past
// kFolderNameMax bytes.
std::string ComponentFolder(const char16_t* s, size_t n) {
  std::u16string folded(s, n);
  for (char16_t& c : folded) c = FoldCase16(c);
  std::string utf8 = ToUtf8(folded.data(), folded.size());
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    bool plain = (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '_' || b == '-' ||
                 (b == '.' && i > 0);
    if (plain) {
      out.push_back(static_cast<char>(b));
    } else {
      AppendHex(&out, b);
    }
  }
  return ShortenFolder(out);
}

std::string HiveFolder(RegistryHive hive) {
  return hive == RegistryHive::kCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

// Folder of a key, relative to the root; empty components are skipped.
std::string KeyFolder(RegistryHive hive, const char16_t* key) {
  std::string path = HiveFolder(hive);
  const char16_t* p = key;
  while (*p != 0) {
    const char16_t* end = p;
    while (*end != 0 && *end != u'\\') ++end;
    if (end > p) {
      path += '/';
      path += ComponentFolder(p, static_cast<size_t>(end - p));
    }
    p = *end == 0 ? end : end + 1;
  }
  return path;
}

// ---------------------------------------------------------------------------
// The values file: one value a line, "dword =<name> <decimal>" or
// "sz =<name> =<text>", name and text UTF-8 with '%', ' ' and control
// characters escaped as %xx. Lines that do not parse are ignored.

struct Value {
  std::u16string name;
  bool is_dword = false;
  uint32_t dword = 0;
  std::u16string text;
};

std::string Escape(const std::u16string& s) {
  std::string utf8 = ToUtf8(s.data(), s.size());
  std::string out;
  for (char c : utf8) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b == '%' || b == ' ' || b < 0x20 || b == 0x7F) {
      AppendHex(&out, b);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescape(const std::string& s, std::u16string* out) {
  std::string utf8;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      utf8.push_back(s[i]);
      continue;
    }
    if (i + 2 >= s.size()) return false;
    int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
    if (hi < 0 || lo < 0) return false;
    utf8.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  *out = FromUtf8(utf8);
  return true;
}

bool ParseLine(const std::string& line, Value* v) {
  size_t a = line.find(' ');
  if (a == std::string::npos) return false;
  size_t b = line.find(' ', a + 1);
  if (b == std::string::npos || line.find(' ', b + 1) != std::string::npos) return false;
  std::string type = line.substr(0, a);
  std::string name = line.substr(a + 1, b - a - 1);
  std::string data = line.substr(b + 1);
  if (name.empty() || name[0] != '=' || !Unescape(name.substr(1), &v->name)) return false;
  if (type == "dword") {
    auto [end, ec] = std::from_chars(data.data(), data.data() + data.size(), v->dword);
    v->is_dword = true;
    return ec == std::errc() && end == data.data() + data.size() && !data.empty();
  }
  if (type == "sz") {
    v->is_dword = false;
    return !data.empty() && data[0] == '=' && Unescape(data.substr(1), &v->text);
  }
  return false;
}

std::string FormatLine(const Value& v) {
  std::string line = v.is_dword ? "dword =" : "sz =";
  line += Escape(v.name);
  line += ' ';
  if (v.is_dword) {
    char buf[16];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v.dword);
    (void)ec;
    line.append(buf, end);
  } else {
    line += '=';
    line += Escape(v.text);
  }
  line += '\n';
  return line;
}

// Reads the key's values. False (errno kept) when the file cannot be read;
// a missing file reads as no value with ENOENT.
bool ReadValues(const std::string& file, std::vector<Value>* values) {
  values->clear();
  FILE* f = std::fopen(file.c_str(), "rb");
  if (f == nullptr) return false;
  std::string content;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  if (!ok) return false;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    Value v;
    if (ParseLine(content.substr(start, end - start), &v)) values->push_back(std::move(v));
    start = end + 1;
  }
  return true;
}

bool MakeFolders(const std::string& path) {
  // Every prefix ending before a '/', then the path itself.
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    std::string prefix = path.substr(0, i);
    if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t w = ::write(fd, data.data() + done, data.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(w);
  }
  return true;
}

bool ReplaceFile(const std::string& file, const std::string& data) {
  static std::atomic<unsigned> serial{0};
  std::string tmp = file + ".tmp." + std::to_string(::getpid()) + "." +
                    std::to_string(serial.fetch_add(1));
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(tmp.c_str(), file.c_str()) == 0) return true;
  ::unlink(tmp.c_str());
  return false;
}

// Names are compared as the file spells them: the name asked for goes
// through the same UTF-8 round trip (a lone surrogate reads as U+FFFD).
Value* FindValue(std::vector<Value>& values, const char16_t* name) {
  const std::u16string stored = FromUtf8(ToUtf8(name, StrLen16(name)));
  for (Value& v : values) {
    if (StrICmpFold16(v.name.c_str(), stored.c_str()) == 0) return &v;
  }
  return nullptr;
}

// Loads the key's values for a read; kOk with the value found.
RegStatus Lookup(RegistryHive hive, const char16_t* key, const char16_t* name,
                 std::vector<Value>* values, Value** found) {
  if (key == nullptr || name == nullptr) return RegStatus::kInvalidArgument;
  std::string file = RegistryRoot() + "/" + KeyFolder(hive, key) + "/" + kValuesFile;
  if (!ReadValues(file, values)) {
    return errno == ENOENT || errno == ENOTDIR ? RegStatus::kNotFound : RegStatus::kIoError;
  }
  *found = FindValue(*values, name);
  return *found == nullptr ? RegStatus::kNotFound : RegStatus::kOk;
}

RegStatus Store(RegistryHive hive, const char16_t* key, const char16_t* name,
                const Value& value) {
  if (key == nullptr || name == nullptr) return RegStatus::kInvalidArgument;
  std::string folder = RegistryRoot() + "/" + KeyFolder(hive, key);
  std::string file = folder + "/" + kValuesFile;
  std::lock_guard<std::mutex> guard(WriteLock());
  if (!MakeFolders(folder)) return RegStatus::kIoError;
  std::vector<Value> values;
  if (!ReadValues(file, &values) && errno != ENOENT) return RegStatus::kIoError;
  if (Value* old = FindValue(values, name)) {
    std::u16string kept_name = std::move(old->name);  // the first spelling stays
    *old = value;
    old->name = std::move(kept_name);
  } else {
    values.push_back(value);
  }
  std::string data;
  for (const Value& v : values) data += FormatLine(v);
  return ReplaceFile(file, data) ? RegStatus::kOk : RegStatus::kIoError;
}

}  // namespace

std::string RegistryRoot() {
  const char* root = std::getenv("QG_REGISTRY_ROOT");
  if (root != nullptr && *root != 0) return root;
  const char* home = std::getenv("HOME");
  std::string base = home != nullptr && *home != 0 ? home : ".";
  return base + "/.config/qg300/registry";
}

bool RegKeyExists(RegistryHive hive, const char16_t* key) {
  if (key == nullptr) return false;
  std::string folder = RegistryRoot() + "/" + KeyFolder(hive, key);
  struct stat st;
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

RegStatus RegReadDword(RegistryHive hive, const char16_t* key, const char16_t* name,
                       uint32_t* value) {
  std::vector<Value> values;
  Value* v = nullptr;
  RegStatus s = Lookup(hive, key, name, &values, &v);
  if (s != RegStatus::kOk) return s;
  if (!v->is_dword) return RegStatus::kWrongType;
  if (value != nullptr) *value = v->dword;
  return RegStatus::kOk;
}

RegStatus RegReadString(RegistryHive hive, const char16_t* key, const char16_t* name,
                        std::u16string* value) {
  std::vector<Value> values;
  Value* v = nullptr;
  RegStatus s = Lookup(hive, key, name, &values, &v);
  if (s != RegStatus::kOk) return s;
  if (v->is_dword) return RegStatus::kWrongType;
  if (value != nullptr) *value = v->text;
  return RegStatus::kOk;
}

RegStatus RegWriteDword(RegistryHive hive, const char16_t* key, const char16_t* name,
                        uint32_t value) {
  if (name == nullptr) return RegStatus::kInvalidArgument;
  Value v;
  v.name = name;
  v.is_dword = true;
  v.dword = value;
  return Store(hive, key, name, v);
}

RegStatus RegWriteString(RegistryHive hive, const char16_t* key, const char16_t* name,
                         const char16_t* value) {
  if (name == nullptr || value == nullptr) return RegStatus::kInvalidArgument;
  Value v;
  v.name = name;
  v.text = value;
  return Store(hive, key, name, v);
}

}  // namespace qg
