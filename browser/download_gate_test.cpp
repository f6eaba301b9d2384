#include "browser/download_gate.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace qg::web {
namespace {

TEST(DownloadGateTest, NamesStayInTheirFolder) {
  const struct {
    const char* suggested;
    const char* name;
  } cases[] = {
      {"report.pdf", "report.pdf"}, {"../../etc/passwd", "passwd"}, {"a\\b\\c.txt", "c.txt"},
      {".bashrc", "_bashrc"},       {"..", ""},                     {"dir/", ""},
      {"a\nb\x7f.txt", "ab.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeDownloadName(c.suggested), c.name) << c.suggested;
  // A name past what a folder holds is shortened before its extension, never
  // inside a character, with room for a " (n)" suffix.
  const std::string long_name = SafeDownloadName(std::string(300, 'a') + ".txt");
  EXPECT_EQ(long_name, std::string(kMaxDownloadName - 4, 'a') + ".txt");
  std::string wide;
  for (int i = 0; i < 200; ++i) wide += "\xc3\xa9";  // é, two bytes each
  const std::string shortened = SafeDownloadName(wide + ".pdf");
  EXPECT_LE(shortened.size(), kMaxDownloadName);
  EXPECT_EQ(shortened.substr(shortened.size() - 4), ".pdf");
  EXPECT_EQ((shortened.size() - 4) % 2, 0u);
  EXPECT_EQ(SafeDownloadName(std::string(300, 'b')), std::string(kMaxDownloadName, 'b'));
}

TEST(DownloadGateTest, MoveNeverReplacesAFileOrALink) {
  char tmp[] = "/tmp/qg-web-move-XXXXXX";
  ASSERT_NE(mkdtemp(tmp), nullptr);
  const std::filesystem::path dir(tmp);
  std::ofstream(dir / "victim") << "keep";
  std::filesystem::create_symlink(dir / "victim", dir / "a.txt");  // planted
  std::ofstream(dir / "a (1).txt") << "older";
  std::ofstream(dir / "staged") << "new";
  EXPECT_EQ(MoveIntoFolder((dir / "staged").string(), tmp, "a.txt"), dir.string() + "/a (2).txt");
  std::ifstream victim(dir / "victim"), moved(dir / "a (2).txt");
  std::string v, m;
  victim >> v;
  moved >> m;
  EXPECT_EQ(v, "keep");
  EXPECT_EQ(m, "new");
  EXPECT_FALSE(std::filesystem::exists(dir / "staged"));
  EXPECT_EQ(MoveIntoFolder((dir / "missing").string(), tmp, "b.txt"), "");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qg::web
