// Test equipment: a fresh temporary folder per test, removed afterwards,
// and helpers to name files in it and read or write them directly.
#ifndef QG_SUPPORT_STREAMS_TEMP_DIR_FIXTURE_H_
#define QG_SUPPORT_STREAMS_TEMP_DIR_FIXTURE_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "errors/xerror.h"
#include "support/platform/error_codes.h"

namespace qgtest {

// ASCII text as UTF-16.
inline std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
inline std::string Narrow(const char16_t* s) {
  std::string out;
  for (; s != nullptr && *s != 0; ++s) out += static_cast<char>(*s);
  return out;
}

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qg_streams_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::u16string Path16(const std::string& name) const { return U16(Path(name)); }

  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }

  std::string dir_;
};

}  // namespace qgtest

#endif  // QG_SUPPORT_STREAMS_TEMP_DIR_FIXTURE_H_
