#include "support/platform/module.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/platform/error_codes.h"

namespace qg {
namespace {

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qg_module_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string WriteFile(const std::string& name, const std::string& bytes) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string dir_;
};

int LocalFunction() { return 7; }

TEST_F(ModuleTest, LoadFailuresAreMapped) {
  std::string elf32("\x7f" "ELF\x01\x01\x01", 7);
  elf32.resize(64, '\0');
  const struct {
    std::string path;
    uint32_t code;
  } cases[] = {
      {dir_ + "/absent.so", kErrorModNotFound},
      {"libqg_no_such_library.so", kErrorModNotFound},        // by name
      {WriteFile("text.so", "not an image at all\n"), kErrorBadExeFormat},
      {WriteFile("short.so", "\x7f" "ELF"), kErrorBadExeFormat},
      {WriteFile("elf32.so", elf32), kErrorBadExeFormat},     // wrong class
      {dir_, kErrorAccessDenied},                              // a folder
  };
  for (const auto& c : cases) {
    SetLastError(0);
    uint32_t error = 0;
    EXPECT_EQ(LoadModule(c.path.c_str(), &error), nullptr) << c.path;
    EXPECT_EQ(error, c.code) << c.path;
    EXPECT_EQ(GetLastError(), c.code) << c.path;
  }
  uint32_t error = 0;
  EXPECT_EQ(LoadModule(nullptr, &error), nullptr);
  EXPECT_EQ(error, kErrorInvalidParameter);
  EXPECT_EQ(LoadModule16(u"/tmp/qg_\u00e9t\u00e9_absent.so", &error), nullptr);
  EXPECT_EQ(error, kErrorModNotFound);
}

TEST_F(ModuleTest, LoadFindAndFree) {
  uint32_t error = 99;
  ModuleHandle libm = LoadModule("libm.so.6", &error);
  ASSERT_NE(libm, nullptr);
  EXPECT_EQ(error, kErrorSuccess);
  auto cosine = reinterpret_cast<double (*)(double)>(FindSymbol(libm, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_EQ(cosine(0.0), 1.0);

  SetLastError(0);
  EXPECT_EQ(FindSymbol(libm, "qg_no_such_symbol"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorProcNotFound);
  // Defined by libc, which libm depends on: not libm's own.
  SetLastError(0);
  EXPECT_EQ(FindSymbol(libm, "malloc"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorProcNotFound);
  EXPECT_EQ(FindSymbol(nullptr, "cos"), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidHandle);

  // The module holding an address, and its file.
  std::string path = ModulePathOf(reinterpret_cast<const void*>(cosine));
  EXPECT_NE(path.find("libm"), std::string::npos) << path;
  EXPECT_EQ(path[0], '/');
  EXPECT_EQ(ModulePath(libm), path);
  ModuleHandle holder = ModuleOf(reinterpret_cast<const void*>(cosine));
  EXPECT_EQ(holder, libm);
  EXPECT_TRUE(FreeModule(holder));
  EXPECT_TRUE(IsModuleLoaded("libm.so.6"));

  EXPECT_TRUE(FreeModule(libm));
  EXPECT_FALSE(FreeModule(nullptr));
}

TEST_F(ModuleTest, ExecutableIsAModuleToo) {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  ASSERT_GT(n, 0);
  exe[n] = 0;
  EXPECT_EQ(ModulePathOf(reinterpret_cast<const void*>(&LocalFunction)), std::string(exe));
  ModuleHandle self = ModuleOf(reinterpret_cast<const void*>(&LocalFunction));
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(ModulePath(self), std::string(exe));
  EXPECT_TRUE(FreeModule(self));

  int on_stack = 0;
  SetLastError(0);
  EXPECT_EQ(ModulePathOf(&on_stack), "");
  EXPECT_EQ(GetLastError(), kErrorModNotFound);
  EXPECT_EQ(ModuleOf(nullptr), nullptr);
}

}  // namespace
}  // namespace qg
