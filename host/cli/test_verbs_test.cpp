// qghost test play on the demonstration list: the journal it prints.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstdio>
#include <sstream>
#include <string>

#include "host/cli/test_verbs.h"
#include "host/cli/tour.h"

namespace qghost {
namespace {

std::string LibDir() {
  const char* build = std::getenv("QG_BUILD_DIR");
  return build != nullptr ? std::string(build) + "/lib" : DefaultLibDir();
}

TEST(TestVerbs, PlayPrintsTheJournalWithOneMismatch) {
  const char* source = std::getenv("QG_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const std::string journal = "/tmp/qg_play_verb_" + std::to_string(getpid()) + ".jnres";
  std::ostringstream out, err;
  EXPECT_EQ(RunTestVerb(LibDir(),
                        {"play", std::string(source) + "/testrunner/testdata/demo", "Demo",
                         "--journal", journal},
                        out, err),
            0)
      << err.str();
  const std::string text = out.str();
  EXPECT_EQ(text.rfind("<?xml", 0), 0u);
  EXPECT_NE(text.find("<Num>2</Num>\r\n<Erreur>"), std::string::npos) << text;
  EXPECT_EQ(text.find("<Erreur>"), text.rfind("<Erreur>"));  // one mismatch
  // The scenario's code wrote a line through the module's function table.
  const std::string line = "<Info>\r\n<Libelle>jeu_joué</Libelle>\r\n<Position>";
  EXPECT_NE(text.find(line), text.rfind(line)) << text;  // once per set
  EXPECT_NE(text.find(line), std::string::npos) << text;
  EXPECT_NE(err.str().find("host: call 2\n"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("host: end list"), std::string::npos);
  std::remove(journal.c_str());

  std::ostringstream none, usage;
  EXPECT_EQ(RunTestVerb(LibDir(), {"play"}, none, usage), 2);
}

}  // namespace
}  // namespace qghost
