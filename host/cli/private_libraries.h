// Test equipment: private copies of the stand-in host and the driver for
// one test program, so that their module-wide state is its own.
#ifndef QG_HOST_CLI_PRIVATE_LIBRARIES_H_
#define QG_HOST_CLI_PRIVATE_LIBRARIES_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace qghost {

// Copies qg300vm.so and qg300maria.so from $QG_BUILD_DIR/lib into a
// folder of the test's temporary folder named after `tag` and the process;
// answers that folder.
inline std::string CopyPrivateLibraries(const std::string& tag) {
  const char* build = std::getenv("QG_BUILD_DIR");
  std::string from = std::string(build != nullptr ? build : ".") + "/lib";
  std::string to = ::testing::TempDir() + "/qg_" + tag + "_" + std::to_string(getpid());
  std::system(("mkdir -p '" + to + "'").c_str());
  for (const char* name : {"qg300vm.so", "qg300maria.so"}) {
    std::ifstream in(from + "/" + name, std::ios::binary);
    std::ofstream out(to + "/" + name, std::ios::binary);
    out << in.rdbuf();
  }
  return to;
}

}  // namespace qghost

#endif  // QG_HOST_CLI_PRIVATE_LIBRARIES_H_
