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
    std::string said;     // in the error output
    std::vector<std::string> printed = {};  // lines of the output
  } cases[] = {
      {"zoom nan", {"render", "--zoom", "nan"}, "", 2, "usage:"},
      {"zoom inf", {"render", "--zoom", "inf"}, "", 2, "usage:"},
      {"zoom 0", {"render", "--zoom", "0"}, "", 2, "usage:"},
      {"zoom with text after it", {"render", "--zoom", "50abc"}, "", 2, "usage:"},
      {"zoom in hexadecimal", {"render", "--zoom", "0x10"}, "", 2, "usage:"},
      {"size with text after it", {"render", "--size", "80x60px"}, "", 2, "usage:"},
      {"zoom that leaves no pixel", {"render", "--zoom", "1", "--size", "40x40", "--png", dir + "/z.png"},
       "", 2, "usage:"},
      {"texts keep their NULs",
       {"open", "data:text/html,<script>ZQ.Execute('p', 'c\\u0000d')</script>", "--js",
        "'a\\u0000b'"},
       "", 0, "",
       {std::string("procedure call: p(\"c\0d\")\n", 25), std::string("script result: a\0b\n", 19)}},
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
    for (const std::string& line : c.printed) {
      EXPECT_NE(out.str().find(line), std::string::npos) << out.str();
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
