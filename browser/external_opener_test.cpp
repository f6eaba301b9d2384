#include "browser/external_opener.h"

#include <gtest/gtest.h>

namespace qg::web {
namespace {

TEST(ExternalOpenerTest, OnlyWebAndMailUrlsLeaveTheBrowser) {
  const struct {
    const char* url;
    bool openable;
  } cases[] = {
      {"http://example.com/", true},   {"HTTPS://example.com/", true},
      {"mailto:a@example.com", true},  {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},  {"ftp://example.com/", false},
      {"vscode://file/x", false},      {" http://example.com/", false},
      {"http:", false},                {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(bExternallyOpenable(c.url), c.openable) << c.url;
}

TEST(ExternalOpenerTest, RefusedUrlsNeverReachTheProgram) {
  std::vector<std::string> seen;
  SetExternalOpenerForTest([&](const std::string& url) { seen.push_back(url); });
  EXPECT_FALSE(OpenExternally("file:///bin/sh"));
  EXPECT_TRUE(OpenExternally("https://example.com/a"));
  SetExternalOpenerForTest(nullptr);
  EXPECT_EQ(seen, std::vector<std::string>{"https://example.com/a"});
}

}  // namespace
}  // namespace qg::web
