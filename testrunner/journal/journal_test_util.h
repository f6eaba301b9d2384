// Reading journals back in tests: as UTF-8 text, through xmllint.
#ifndef QG_TESTRUNNER_JOURNAL_JOURNAL_TEST_UTIL_H_
#define QG_TESTRUNNER_JOURNAL_JOURNAL_TEST_UTIL_H_

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace qgtest {

// The UTF-16LE file as UTF-8.
inline std::string JournalUtf8(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t c = static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
      uint32_t low = static_cast<uint8_t>(bytes[i + 2]) | (static_cast<uint8_t>(bytes[i + 3]) << 8);
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

inline std::string Run(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return out;
  }
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
  *status = pclose(pipe);
  return out;
}

// True when xmllint finds the file well formed.
inline bool XmlLint(const std::string& path) {
  int status = 0;
  Run("xmllint --noout '" + path + "' 2>&1", &status);
  return status == 0;
}

// The result of an XPath expression (xmllint), UTF-8.
inline std::string XPath(const std::string& path, const std::string& expression) {
  int status = 0;
  std::string out = Run("xmllint --xpath \"" + expression + "\" '" + path + "' 2>/dev/null",
                        &status);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace qgtest

#endif  // QG_TESTRUNNER_JOURNAL_JOURNAL_TEST_UTIL_H_
