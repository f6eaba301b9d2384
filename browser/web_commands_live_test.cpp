// Console commands, context menus, PDF export and the paint watcher against
// the real browser engine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "browser/browser_bridge.h"
#include "browser/live_fixture.h"
#include "browser/paint_watcher.h"

namespace qg::web {
namespace {

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

class CommandsLiveTest : public WebLiveTest {};

TEST_F(CommandsLiveTest, ConsoleCommandsAreSwallowed) {
  CIKQMBrowser* b = Open(u"data:text/html,<p>x</p>");
  b->SpellCheckLanguage(u"FR", u"fr");
  b->SpellCheckLanguage(u"x'y", u"a");  // a quote stays inside one argument
  b->ExecuteJavascript(u"console.log('qvxxxweb://internal?')");
  b->ExecuteJavascript(u"console.log('qvxxxweb://internal?X')");
  b->SpellCheck(false);
  b->ExecuteJavascript(u"console.warn('visible')");
  EXPECT_EQ(cb_.WaitFor("console"), "console 2 1 visible");
  EXPECT_EQ(b->Dictionaries(), (std::vector<std::string>{"a-x'y"}));
  EXPECT_FALSE(b->bSpellCheckPreference());
  for (const std::string& line : cb_.Lines()) {
    EXPECT_EQ(line.find("qvxxxweb"), std::string::npos) << line;
  }
}

TEST_F(CommandsLiveTest, RightClicksReachTheMenuQuestions) {
  CIKQMBrowser* b = Open(
      u"data:text/html,<body style='margin:0'><a href='http://example.invalid/x' "
      u"style='position:absolute;left:0;top:0;width:100px;height:30px;display:block'>link</a>"
      u"<p style='position:absolute;left:0;top:40px;margin:0'>text</p>"
      u"<div id=c style='position:absolute;left:0;top:120px;width:100px;height:30px' "
      u"oncontextmenu='event.preventDefault()'>c</div></body>");
  auto right_click = [&](int x, int y) {
    stMouseBrowser m{x, y, 0, 0, 0, 0, 0, 1};
    b->MouseClick(&m, 2, false, 1);
    b->MouseClick(&m, 2, true, 1);
  };
  right_click(10, 130);  // cancelled by the page: no question
  right_click(10, 10);
  EXPECT_EQ(cb_.WaitFor("linkmenu"), "linkmenu http://example.invalid/x");
  right_click(10, 45);
  EXPECT_NE(cb_.WaitFor("menu 10,45"), "");
  for (const std::string& line : cb_.Lines()) EXPECT_NE(line, "menu 10,130");
}

struct PdfDone : ICkExportPdf {
  void OnPdfFinished(bool ok) override {
    std::lock_guard<std::mutex> lock(mu);
    result = ok ? 1 : 0;
    cv.notify_all();
  }
  int Wait() {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait_for(lock, std::chrono::seconds(30), [&] { return result >= 0; });
    return result;
  }
  std::mutex mu;
  std::condition_variable cv;
  int result = -1;
};

// The host may free its completion object once the browser is closed: an
// export the page never answers (an endless script) is told by the close.
TEST_F(CommandsLiveTest, UnansweredPdfExportIsToldByTheClose) {
  CIKQMBrowser* b = Open(u"about:blank");
  b->ExecuteJavascript(u"while (true) {}");
  PdfDone done;
  b->vExportToPDF(u"/tmp/qg-web-never.pdf", &done, 100);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  b->Close();
  std::lock_guard<std::mutex> lock(done.mu);
  EXPECT_EQ(done.result, 0);
}

TEST_F(CommandsLiveTest, PdfExport) {
  CIKQMBrowser* b = Open(u"data:text/html,<h1>Hello PDF</h1>");
  char dir[] = "/tmp/qg-web-pdf-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/out.pdf";
  PdfDone done;
  b->vExportToPDF(ToUtf16(path).c_str(), &done, 100);
  ASSERT_EQ(done.Wait(), 1);
  std::ifstream in(path, std::ios::binary);
  char head[5] = {};
  in.read(head, 4);
  EXPECT_STREQ(head, "%PDF");
  const std::string info = Shell("pdfinfo '" + path + "'");
  EXPECT_NE(info.find("Pages:"), std::string::npos);
  EXPECT_NE(info.find("612 x 792 pts"), std::string::npos) << info;
  EXPECT_NE(Shell("pdftotext '" + path + "' -").find("Hello PDF"), std::string::npos);

  PdfDone zero;
  b->vExportToPDF(ToUtf16(path).c_str(), &zero, 0);  // 1.0
  EXPECT_EQ(zero.Wait(), 1);
  PdfDone big;
  b->vExportToPDF(ToUtf16(path).c_str(), &big, 300);  // outside the browser's range
  EXPECT_EQ(big.Wait(), 0);
  PdfDone unwritable;
  b->vExportToPDF(u"/nonexistent-dir/out.pdf", &unwritable, 100);
  EXPECT_EQ(unwritable.Wait(), 0);
  b->Close();
  PdfDone closed;
  b->vExportToPDF(ToUtf16(path).c_str(), &closed, 100);
  EXPECT_EQ(closed.Wait(), 0) << "no browser: told false at once";
  std::filesystem::remove_all(dir);
}

TEST_F(CommandsLiveTest, ResizeIsFollowedByAPaintOfTheNewSize) {
  CIKQMBrowser* b = Open(u"data:text/html,<p>still</p>");
  b->SetViewSize(333, 222);
  EXPECT_NE(cb_.WaitFor("paint 333x222"), "");
  b->Invalidate();
  EXPECT_NE(cb_.WaitFor("paint 333x222"), "");
}

}  // namespace
}  // namespace qg::web
