#include "support/streams/fs_path.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "support/platform/codepage.h"
#include "support/platform/error_codes.h"
#include "support/platform/text16.h"

namespace qg {

namespace {

constexpr char16_t kLongPrefix[] = u"\\\\?\\";
constexpr char16_t kLongUncPrefix[] = u"\\\\?\\UNC\\";

bool StartsWith(const char16_t* s, const char16_t* prefix) {
  return StrNCmp16(s, prefix, StrLen16(prefix)) == 0;
}

}  // namespace

bool FullPathName(const char16_t* path, const char16_t* cwd, std::u16string* out) {
  out->clear();
  if (path == nullptr || path[0] == 0) return false;
  if (StartsWith(path, kLongUncPrefix)) {
    path += StrLen16(kLongUncPrefix) - 1;  // keep one separator: "\server\share..."
  } else if (StartsWith(path, kLongPrefix)) {
    path += StrLen16(kLongPrefix);
  }
  std::u16string source;
  if (!IsPathSeparator(path[0])) {
    source = cwd == nullptr ? u"" : cwd;
    source += u'/';
  }
  source += path;
  bool trailing = IsPathSeparator(source.back());

  // Segments, with "." dropped and ".." taking the previous one away (never
  // above the root).
  std::vector<std::u16string> segments;
  size_t i = 0;
  while (i < source.size()) {
    while (i < source.size() && IsPathSeparator(source[i])) ++i;
    size_t start = i;
    while (i < source.size() && !IsPathSeparator(source[i])) ++i;
    if (i == start) break;
    std::u16string segment = source.substr(start, i - start);
    if (segment == u".") continue;
    if (segment == u"..") {
      if (!segments.empty()) segments.pop_back();
      continue;
    }
    segments.push_back(std::move(segment));
  }
  for (const std::u16string& segment : segments) {
    *out += u'/';
    *out += segment;
  }
  if (out->empty() || trailing) *out += u'/';
  return true;
}

std::u16string CurrentDirectory16() {
  std::vector<char> buffer(512);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) return FromSystemPath(buffer.data());
    if (errno != ERANGE || buffer.size() > (1u << 20)) {
      SetLastErrorFromErrno();
      return std::u16string();
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string SystemPath(const char16_t* path) {
  if (path == nullptr) return std::string();
  std::u16string text;
  if (StartsWith(path, kLongUncPrefix)) {
    text = u"\\";
    text += path + StrLen16(kLongUncPrefix) - 1;
  } else if (StartsWith(path, kLongPrefix)) {
    text = path + StrLen16(kLongPrefix);
  } else {
    text = path;
  }
  for (char16_t& c : text) {
    if (c == u'\\') c = u'/';
  }
  std::string out;
  Utf16ToCodePage(kCodePageUtf8, text.data(), static_cast<ptrdiff_t>(text.size()), &out);
  return out;
}

std::u16string FromSystemPath(const char* path) {
  std::u16string out;
  if (path != nullptr) CodePageToUtf16(kCodePageUtf8, path, -1, &out);
  return out;
}

}  // namespace qg

CFSPath::CFSPath(const CFSPath& other) : m_strLong(other.m_strLong) {
  std::memcpy(m_szInline, other.m_szInline, sizeof(m_szInline));
}

CFSPath& CFSPath::operator=(const CFSPath& other) {
  if (this != &other) {
    std::memcpy(m_szInline, other.m_szInline, sizeof(m_szInline));
    m_strLong = other.m_strLong;
  }
  return *this;
}

bool CFSPath::bSet(const char16_t* text) {
  if (text == pszGet()) return true;
  if (text == nullptr || text[0] == 0) {
    Clear();
    return true;
  }
  size_t n = qg::StrLen16(text);
  if (n > static_cast<size_t>(qg::kMaxPath)) {
    // text cannot lie in the inline buffer (it is too long for it).
    int rc = m_strLong.nAffecteLongueur(text, static_cast<int>(n));
    m_szInline[0] = 0;
    if (rc >= 100 || m_strLong.bEstNull()) {
      Clear();
      qg::SetLastError(qg::kErrorNotEnoughMemory);
      return false;
    }
    return true;
  }
  // text may lie in the dynamic part: copy it before releasing that.
  std::memmove(m_szInline, text, n * sizeof(char16_t));
  m_szInline[n] = 0;
  m_strLong.Libere();
  return true;
}

void CFSPath::Clear() {
  m_szInline[0] = 0;
  m_strLong.Libere();
}

int CFSPath::nGetLength() const {
  if (!m_strLong.bEstNull()) return m_strLong.nTaille();
  return static_cast<int>(qg::StrLen16(m_szInline));
}

const char16_t* CFSPath::pszGet() const {
  return m_strLong.bEstNull() ? m_szInline : m_strLong.pszGet();
}

void CFSPath::RemoveEndSlash() {
  int n = nGetLength();
  if (n == 0 || !qg::IsPathSeparator(pszGet()[n - 1])) return;
  if (!m_strLong.bEstNull()) {
    m_strLong.Tronque(n - 1);
  } else {
    m_szInline[n - 1] = 0;
  }
}

bool CFSPath::SetLongueur(int n, bool directory) {
  if (n < 0) return false;
  if (!m_strLong.bEstNull()) return m_strLong.nReserve(n) < 100;
  int limit = directory ? qg::kDirectoryPathLimit : qg::kFilePathLimit;
  if (n > limit) {
    int rc = m_strLong.nAffecte(m_szInline);
    if (rc < 100) rc = m_strLong.nReserve(n);
    m_szInline[0] = 0;
    return rc < 100;
  }
  size_t len = qg::StrLen16(m_szInline);
  for (size_t i = len; i < static_cast<size_t>(n); ++i) m_szInline[i] = 0;
  m_szInline[n] = 0;
  return true;
}

bool CFSPath::bSetFullPath(const char16_t* path, bool directory) {
  // path may be this path's own text: FullPathName works from a copy.
  std::u16string source = path == nullptr ? u"" : path;
  std::u16string full;
  if (source.empty()) {
    Clear();
    qg::SetLastError(qg::kErrorInvalidName);
    return false;
  }
  // Only a relative path needs the current directory.
  std::u16string cwd;
  if (!qg::IsPathSeparator(source[0])) {
    cwd = qg::CurrentDirectory16();
    if (cwd.empty()) {
      Clear();
      return false;
    }
  }
  qg::FullPathName(source.c_str(), cwd.c_str(), &full);
  int limit = directory ? qg::kDirectoryPathLimit : qg::kFilePathLimit;
  if (full.size() >= static_cast<size_t>(limit)) {
    std::u16string long_form = u"\\\\?\\" + full;
    m_szInline[0] = 0;
    int rc = m_strLong.nAffecteLongueur(long_form.c_str(), static_cast<int>(long_form.size()));
    if (rc >= 100 || m_strLong.bEstNull()) {
      Clear();
      qg::SetLastError(qg::kErrorNotEnoughMemory);
      return false;
    }
    return true;
  }
  return bSet(full.c_str());
}
