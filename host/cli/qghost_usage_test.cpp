// The command line's own help: verbs, modules and environment on standard
// output with success for --help; the same on standard error with status 2
// for no verb or an unknown one.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Outcome {
  std::string out;
  int status = -1;
};

Outcome Qghost(const std::string& arguments) {
  const char* build = std::getenv("QG_BUILD_DIR");
  const std::string bin = build != nullptr ? std::string(build) + "/bin/qghost" : "qghost";
  Outcome run;
  FILE* pipe = popen(("'" + bin + "' " + arguments + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

TEST(QghostUsage, HelpNamesVerbsModulesAndEnvironment) {
  const Outcome help = Qghost("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* word : {"tour", "qg300maria", "qg300net", "qg300web", "qg300test",
                           "QG_LIB_DIR", "QG_REGISTRY_ROOT"}) {
    EXPECT_NE(help.out.find(word), std::string::npos) << word << "\n" << help.out;
  }
  for (const char* arguments : {"", "nonsense"}) {
    const Outcome bad = Qghost(arguments);
    EXPECT_EQ(bad.status, 2) << arguments;
    EXPECT_EQ(bad.out, "") << "usage goes to standard error";
  }
}

}  // namespace
