// qghost test record, dump and replay on a private X server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "host/cli/test_verbs.h"
#include "host/cli/tour.h"
#include "host/x11/xvfb_environment.h"

namespace qghost {
namespace {

::testing::Environment* const g_xvfb =
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

std::string LibDir() {
  const char* build = std::getenv("QG_BUILD_DIR");
  return build != nullptr ? std::string(build) + "/lib" : DefaultLibDir();
}

TEST(RecordVerbs, RecordDumpAndReplayTypedTextAndAClick) {
  if (!XvfbEnvironment::Ready()) GTEST_SKIP() << XvfbEnvironment::Why();
  const std::string file = "/tmp/qg_record_verb_" + std::to_string(getpid()) + ".rec";
  std::ostringstream out, err;
  ASSERT_EQ(RunTestVerb(LibDir(), {"record", file, "--type", "Ab", "--click"}, out, err), 0)
      << err.str();
  // The click went through the module's item click and host function 344.
  EXPECT_NE(out.str().find("clicked BTN_OK through host function 344\n"), std::string::npos)
      << out.str();
  std::ostringstream dump, dump_err;
  ASSERT_EQ(RunTestVerb(LibDir(), {"dump", file}, dump, dump_err), 0) << dump_err.str();
  const std::string lines = dump.str();
  // Continuation (no list), the start, the field, the keys, the button.
  EXPECT_EQ(lines.rfind("20\n8\n1 \"FEN_Principale:SAI_Nom\"\n", 0), 0u) << lines;
  EXPECT_NE(lines.find("\"a\" 4\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("\"b\" 0\n"), std::string::npos) << lines;
  // The press carries the window under the pointer.
  EXPECT_TRUE(std::regex_search(lines, std::regex("1 \"FEN_Principale:BTN_OK\"\n17 message=513 "
                                                  "p1=170 p2=240 zero=0 window=[1-9][0-9]* 0 50 "
                                                  "20\n")))
      << lines;

  std::ostringstream replay, replay_err;
  ASSERT_EQ(RunTestVerb(LibDir(), {"replay", file}, replay, replay_err), 0) << replay_err.str();
  const std::string got = replay.str();
  EXPECT_NE(got.find("FEN_Principale:SAI_Nom: key press 38 shift\n"), std::string::npos) << got;
  EXPECT_NE(got.find("FEN_Principale:BTN_OK: button press 1 at 50,20\n"), std::string::npos)
      << got;
  std::remove(file.c_str());
}

// Text to type is taken by characters: one on a key's shifted level is
// typed with Shift, one on no key of the display's keyboard fails the
// recording instead of being left out.
TEST(RecordVerbs, TypedTextIsTypedWholeOrRefused) {
  if (!XvfbEnvironment::Ready()) GTEST_SKIP() << XvfbEnvironment::Why();
  const std::string file = "/tmp/qg_record_type_" + std::to_string(getpid()) + ".rec";
  std::ostringstream out, err;
  ASSERT_EQ(RunTestVerb(LibDir(), {"record", file, "--type", "a!"}, out, err), 0) << err.str();
  std::ostringstream dump, dump_err;
  ASSERT_EQ(RunTestVerb(LibDir(), {"dump", file}, dump, dump_err), 0) << dump_err.str();
  EXPECT_NE(dump.str().find("\"a\" 0\n"), std::string::npos) << dump.str();
  EXPECT_NE(dump.str().find("\"1\" 4\n"), std::string::npos) << dump.str();

  std::ostringstream none, why;
  EXPECT_EQ(RunTestVerb(LibDir(), {"record", file, "--type", "a\xC3\xA9"}, none, why), 1);
  EXPECT_NE(why.str().find("cannot type U+00E9"), std::string::npos) << why.str();
  std::remove(file.c_str());
}

TEST(RecordVerbs, DumpRefusesACutRecording) {
  const std::string file = "/tmp/qg_record_cut_" + std::to_string(getpid()) + ".rec";
  {
    std::ofstream f(file, std::ios::binary);
    const char bytes[] = {8, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0, 'x'};  // text cut short
    f.write(bytes, sizeof bytes);
  }
  std::ostringstream out, err;
  EXPECT_EQ(RunTestVerb(LibDir(), {"dump", file}, out, err), 1);
  EXPECT_EQ(out.str(), "8\n");
  EXPECT_NE(err.str().find("at byte 4"), std::string::npos) << err.str();
  std::remove(file.c_str());

  // A folder is refused, not read.
  std::ostringstream folder_out, folder_err;
  EXPECT_EQ(RunTestVerb(LibDir(), {"dump", "/tmp"}, folder_out, folder_err), 1);
  EXPECT_NE(folder_err.str().find("/tmp is a folder"), std::string::npos) << folder_err.str();
}

}  // namespace
}  // namespace qghost
