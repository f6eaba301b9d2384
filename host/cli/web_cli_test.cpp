// qghost web against the real browser engine: its messages and exit codes.
#include "host/cli/web_cli.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/cli/tour.h"

namespace qghost {
namespace {

std::string LibDir() {
  const char* build = std::getenv("QG_BUILD_DIR");
  return build != nullptr ? std::string(build) + "/lib" : DefaultLibDir();
}

TEST(WebCliTest, MessagesAndExitCodes) {
  char tmp[] = "/tmp/qg-web-cli-XXXXXX";
  ASSERT_NE(mkdtemp(tmp), nullptr);
  const std::string dir = tmp, file = dir + "/a-file";
  std::ofstream(file) << "x";
  const std::string tmpdir = getenv("TMPDIR") != nullptr ? getenv("TMPDIR") : "";
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string temp;  // TMPDIR for the run, when set
    int status;
    std::string said;  // in the error output
  } cases[] = {
      {"zoom nan", {"render", "--zoom", "nan"}, "", 2, "usage:"},
      {"zoom inf", {"render", "--zoom", "inf"}, "", 2, "usage:"},
      {"zoom 0", {"render", "--zoom", "0"}, "", 2, "usage:"},
      {"png into a missing folder", {"render", "--png", dir + "/missing/x.png"}, "", 1,
       "cannot write " + dir + "/missing/x.png"},
      {"pdf into a missing folder", {"render", "--pdf", dir + "/missing/x.pdf"}, "", 1,
       "cannot write " + dir + "/missing/x.pdf"},
      {"TMPDIR a file", {"start"}, file, 1, "<" + file + ">"},
      {"start", {"start"}, "", 0, ""},
      {"first page never loads",
       {"open", "data:text/html,<script>while (true) {}</script>"}, "", 1,
       "the first page did not load"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.temp.empty()) setenv("TMPDIR", c.temp.c_str(), 1);
    std::ostringstream out, err;
    EXPECT_EQ(RunWeb(LibDir(), c.args, out, err), c.status) << err.str();
    if (!c.said.empty()) {
      EXPECT_NE(err.str().find(c.said), std::string::npos) << err.str();
    }
    if (tmpdir.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", tmpdir.c_str(), 1);
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qghost
