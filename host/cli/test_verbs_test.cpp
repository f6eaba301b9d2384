// qghost test play on the demonstration list: the journal it prints.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/cli/test_verbs.h"
#include "host/cli/tour.h"
#include "support/streams/temp_dir_fixture.h"
#include "testrunner/journal/journal_test_util.h"

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
  // The scenario reports its number parameter of each set.
  EXPECT_NE(text.find("<Nom>a</Nom>\r\n<Valeur>2</Valeur>"), std::string::npos) << text;
  EXPECT_NE(text.find("<Nom>a</Nom>\r\n<Valeur>3</Valeur>"), std::string::npos) << text;
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

std::string DemoDir() {
  const char* source = std::getenv("QG_SOURCE_DIR");
  return source != nullptr ? std::string(source) + "/testrunner/testdata/demo" : "";
}

class PlayTest : public qgtest::TempDirTest {
 protected:
  // A copy of the demonstration list and script in the temporary folder.
  void CopyDemo(const std::string& list, bool stays_started = false) {
    std::string bytes = ReadFile(DemoDir() + "/Demo.qgl");
    ASSERT_EQ(bytes.size(), 561u);
    if (stays_started) bytes[557] = 1;  // the list's 32-bit value, the block's last field
    WriteFile(list + ".qgl", bytes);
    WriteFile(list + ".script", ReadFile(DemoDir() + "/Demo.script"));
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  int Play(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"play", dir_};
    args.insert(args.end(), extra.begin(), extra.end());
    out_.str("");
    err_.str("");
    return RunTestVerb(LibDir(), args, out_, err_);
  }
  std::ostringstream out_, err_;
};

// Hostile lists, scripts and journal paths end in a clear error and a
// failed run, never in an abort or a run that says it succeeded.
TEST_F(PlayTest, HostileFilesAndFoldersAreClearErrors) {
  CopyDemo("Demo");
  std::filesystem::create_directory(Path("Dossier.qgl"));
  std::filesystem::create_symlink("/dev/zero", Path("Zero.qgl"));
  std::filesystem::create_directory(Path("Script.script"));
  CopyDemo("Script");
  std::filesystem::remove(Path("Script.script"));
  std::filesystem::create_directory(Path("Script.script"));
  std::filesystem::create_directory(Path("journal_folder"));
  // Named pipes nobody writes or reads: a play waiting on one never ends.
  ASSERT_EQ(mkfifo(Path("Pipe.qgl").c_str(), 0600), 0);
  CopyDemo("PipeScript");
  std::filesystem::remove(Path("PipeScript.script"));
  ASSERT_EQ(mkfifo(Path("PipeScript.script").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(Path("pipe.jnres").c_str(), 0600), 0);
  const std::string long_journal = "/tmp/" + std::string(256, 'j');
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"Dossier", "--journal", Path("a.jnres")}, "Dossier.qgl is a folder"},
      {{"Zero", "--journal", Path("b.jnres")}, "error 540021: "},
      {{"Script", "--journal", Path("c.jnres")}, "Script.script is a folder"},
      {{"Pipe", "--journal", Path("e.jnres")}, "Pipe.qgl is not a regular file"},
      {{"PipeScript", "--journal", Path("f.jnres")}, "PipeScript.script is not a regular file"},
      {{"Demo", "--journal", Path("pipe.jnres")}, "names no regular file"},
      {{"Demo", "--journal", Path("caf\xE9.jnres")}, "is not UTF-8"},
      {{"../Demo", "--journal", Path("g.jnres")}, "\"../Demo\" names no list of "},
      {{"", "--journal", Path("h.jnres")}, "\"\" names no list of "},
      {{"Demo", "--journal", Path("journal_folder")}, "names a folder"},
      {{"Demo", "--journal", long_journal}, "longer than 260 characters"},
      {{"Demo", "--journal", "/proc/no/such/folder/d.jnres"}, "could not be created"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Play(c.args), 1) << c.message << "\n" << err_.str();
    EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
  }
  EXPECT_NE(err_.str().find("no whole journal"), std::string::npos) << err_.str();
  // Asked for a journal it cannot write, the play writes none elsewhere:
  // not into the list's folder, which may be a source tree's test data.
  EXPECT_FALSE(Exists("Demo.jnres"));
  EXPECT_FALSE(Exists("caf\xEF\xBF\xBD.jnres"));  // nor under a name it was not given
  EXPECT_EQ(Play({"Zero", "--journal", Path("b.jnres")}), 1);
  EXPECT_NE(err_.str().find("<Zero>"), std::string::npos) << err_.str();  // the list's name
}

// A list that stays started leaves its elements open until the journal is
// closed, which closes them: the journal is well formed.
TEST_F(PlayTest, AListThatStaysStartedEndsAWellFormedJournal) {
  CopyDemo("Reste", true);
  const std::string journal = Path("reste.jnres");
  EXPECT_EQ(Play({"Reste", "--journal", journal}), 0) << err_.str();
  EXPECT_TRUE(qgtest::XmlLint(journal)) << qgtest::JournalUtf8(journal);
  EXPECT_EQ(qgtest::XPath(journal, "count(/DOC/Liste/Groupe)"), "1");
}

// While another writer holds the journal the play fails and leaves it be.
TEST_F(PlayTest, AJournalBeingWrittenIsLeftToItsWriter) {
  CopyDemo("Demo");
  const std::string journal = Path("held.jnres");
  WriteFile("held.jnres", "other run");
  const int fd = open(journal.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_len = 1;
  ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &fl), 0);
  EXPECT_EQ(Play({"Demo", "--journal", journal}), 1);
  EXPECT_NE(err_.str().find("another run is writing it"), std::string::npos) << err_.str();
  EXPECT_EQ(ReadFile(journal), "other run");
  close(fd);
  EXPECT_EQ(Play({"Demo", "--journal", journal}), 0) << err_.str();
  EXPECT_TRUE(qgtest::XmlLint(journal));
}

// An option without its value or one it does not know is a usage error,
// not a play that leaves it out.
TEST_F(PlayTest, OptionsItCannotReadAreAUsageError) {
  CopyDemo("Demo");
  const std::vector<std::string> cases[] = {
      {"Demo", "--journal"}, {"Demo", "--select"}, {"Demo", "--jornal", Path("x.jnres")},
      {"Demo", Path("x.jnres")}};
  for (const auto& args : cases) {
    EXPECT_EQ(Play(args), 2) << args.back();
    EXPECT_NE(err_.str().find("usage: qghost test play"), std::string::npos) << err_.str();
  }
  EXPECT_FALSE(Exists("x.jnres"));
}

// Without --journal the journal goes into the current folder, not DIR.
TEST_F(PlayTest, TheDefaultJournalGoesIntoTheCurrentFolder) {
  CopyDemo("Demo");
  std::filesystem::create_directory(Path("cwd"));
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(Path("cwd"));
  const int status = Play({"Demo"});
  std::filesystem::current_path(before);
  EXPECT_EQ(status, 0) << err_.str();
  EXPECT_TRUE(Exists("cwd/Demo.jnres"));
  EXPECT_FALSE(Exists("Demo.jnres"));
}

}  // namespace
}  // namespace qghost
