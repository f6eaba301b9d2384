// Popups and certificate errors against the real browser engine.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "browser/external_opener.h"
#include "browser/live_fixture.h"
#include "browser/test_https_server.h"

namespace qg::web {
namespace {

using Clock = std::chrono::steady_clock;

class HandlersLiveTest : public WebLiveTest {
 protected:
  void SetUp() override {
    SetExternalOpenerForTest([this](const std::string& url) {
      std::lock_guard<std::mutex> lock(mu_);
      opened_.push_back(url);
    });
  }
  void TearDown() override {
    SetExternalOpenerForTest(nullptr);
    WebLiveTest::TearDown();
  }

  // Page targets opened by b's page, as "url" texts.
  static std::vector<std::string> Popups(CIKQMBrowser* b) {
    std::vector<std::string> urls;
    devtools::CallResult r = b->GetEngine()->Call("Target.getTargets", devtools::Json::object());
    for (const devtools::Json& t : r.result["targetInfos"]) {
      if (t.value("openerId", "") == b->TargetId()) urls.push_back(t.value("url", ""));
    }
    return urls;
  }

  // Polls `check` for up to 10 s.
  template <typename F>
  static bool Eventually(F check) {
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
      if (check()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return check();
  }

  std::vector<std::string> Opened() {
    std::lock_guard<std::mutex> lock(mu_);
    return opened_;
  }

  std::mutex mu_;
  std::vector<std::string> opened_;  // URLs handed to the user's program
};

TEST_F(HandlersLiveTest, PopupsFollowGestureHostAndFlag) {
  http_.Set("/pop", {"text/html", "<p>popup</p>"});
  const std::string pop = http_.Url("/pop");
  const struct {
    const char* name;
    bool gesture;            // opened from a click
    bool popup_flag;         // SetPopupFlag
    bool host_allows;        // bOnNewWindow's answer
    bool runs;               // the popup stays and loads
    bool handed_to_program;  // the external opener got the URL
  } cases[] = {
      {"no gesture, flag clear", false, false, true, false, false},
      {"no gesture, flag set", false, true, true, true, false},
      {"gesture, host refuses", true, false, false, false, false},
      {"gesture, host refuses, flag set", true, true, false, false, false},
      {"gesture, host allows, flag clear", true, false, true, false, true},
      {"gesture, host allows, flag set", true, true, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeCallback cb;
    cb.allow_new_window = c.host_allows;
    const std::string open = "w=window.open('" + pop + "')";
    const std::string page =
        c.gesture ? "data:text/html,<body style='margin:0'><div style='width:300px;height:300px'"
                    " onclick=\"" + open + "\"></div><script>var w=null</script></body>"
                  : "data:text/html,<script>var w=null;" + open + "</script>";
    // The flag must be set before the page runs: open a blank page first.
    CIKQMBrowser* b = Open(u"about:blank", false, &cb);
    ASSERT_NE(b, nullptr);
    b->SetPopupFlag(c.popup_flag);
    cb.Clear();
    b->Navigate(ToUtf16(page).c_str());
    ASSERT_NE(cb.WaitFor("loadend"), "");
    if (c.gesture) {
      stMouseBrowser m{20, 20, 0, 0, 0, 1, 0, 0};
      b->MouseClick(&m, 0, false, 1);
      b->MouseClick(&m, 0, true, 1);
    }
    if (c.runs) {
      EXPECT_TRUE(Eventually([&] { return Popups(b) == std::vector<std::string>{pop}; }));
    } else {
      EXPECT_TRUE(Eventually([&] { return Eval(b, u"String(w !== null && w.closed)") == "true"; }));
      EXPECT_TRUE(Popups(b).empty());
    }
    EXPECT_EQ(cb.Has("newwindow " + pop), c.gesture);
    EXPECT_EQ(Eval(b, u"'opener ' + 'runs'"), "opener runs");
    EXPECT_EQ(Opened(), c.handed_to_program ? std::vector<std::string>{pop}
                                            : std::vector<std::string>{});
    {
      std::lock_guard<std::mutex> lock(mu_);
      opened_.clear();
    }
    const devtools::CallResult targets =
        b->GetEngine()->Call("Target.getTargets", devtools::Json::object());
    for (const devtools::Json& t : targets.result["targetInfos"]) {
      if (t.value("openerId", "") == b->TargetId()) {
        b->GetEngine()->Call("Target.closeTarget", {{"targetId", t.value("targetId", "")}});
      }
    }
    browsers_.pop_back();
    b->Release();
  }
}

// Only a user's click or key opens a window: a page's own script, a script
// the host runs and a host callback the page names are not gestures. A
// refused popup sends no request.
TEST_F(HandlersLiveTest, NoGestureNoRequestNoProgram) {
  http_.Set("/pop", {"text/html", "<p>popup</p>"});
  const std::string pop = http_.Url("/pop");
  const std::string open = "window.open('" + pop + "')";
  FakeCallback cb;
  cb.version = 13;  // no host-field handler: the module runs the callback itself
  CIKQMBrowser* b = Open(u"about:blank", false, &cb);
  ASSERT_NE(b, nullptr);
  cb.Clear();
  b->Navigate(ToUtf16("data:text/html,<script>for (let i = 0; i < 20; ++i) " + open +
                      "</script>").c_str());
  ASSERT_NE(cb.WaitFor("loadend"), "");
  b->ExecuteJavascript(ToUtf16(open).c_str());
  EXPECT_EQ(Eval(b, ToUtf16(open + "; 'ran'").c_str()), "ran");
  b->ExecuteJavascript(ToUtf16("ZQ.HostField('field', \"" + open + ";(function(){})\")").c_str());
  EXPECT_EQ(Eval(b, u"'opener ' + 'runs'"), "opener runs");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(http_.Requests("/pop").size(), 0u);
  EXPECT_TRUE(Opened().empty()) << Opened()[0];
  EXPECT_TRUE(Popups(b).empty());
  EXPECT_FALSE(cb.Has("newwindow"));
  browsers_.pop_back();  // before cb goes
  b->Release();
}

// A popup the page opens while the host closes its browser has no browser
// left to decide on it: it is refused, not let run on its own.
TEST_F(HandlersLiveTest, PopupOfAClosedBrowserIsRefused) {
  http_.Set("/pop", {"text/html", "<p>popup</p>"});
  const std::string pop = http_.Url("/pop");
  FakeCallback cb;
  CIKQMBrowser* b = Open(u"about:blank", false, &cb);
  ASSERT_NE(b, nullptr);
  // The host closes the browser from the page's procedure call; the page
  // opens its window meanwhile, so the popup waits behind the call.
  cb.on_call = [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    b->Close();
  };
  b->Navigate(ToUtf16("data:text/html,<script>ZQ.Execute('close');"
                      "setTimeout(function(){window.open('" + pop + "')},100)</script>")
                  .c_str());
  ASSERT_NE(cb.WaitFor("call close"), "");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(http_.Requests("/pop").size(), 0u);
  const devtools::CallResult targets =
      b->GetEngine()->Call("Target.getTargets", devtools::Json::object());
  for (const devtools::Json& t : targets.result["targetInfos"]) {
    EXPECT_NE(t.value("url", ""), pop);
    if (t.value("url", "") == pop) {
      b->GetEngine()->Call("Target.closeTarget", {{"targetId", t.value("targetId", "")}});
    }
  }
  EXPECT_TRUE(Opened().empty());
  browsers_.pop_back();  // before cb goes
  b->Release();
}

TEST_F(HandlersLiveTest, CertificateErrorsPassOnlyWithTheirFlag) {
  TestHttpsServer https("<html><body>secure</body></html>");
  const std::string url = https.Url("/");
  CIKQMBrowser* b = Open(u"about:blank");
  ASSERT_NE(b, nullptr);
  // No flag, then a bit that names no network error: the unknown issuer
  // fails the load.
  for (int32_t flags : {0, 2}) {
    SCOPED_TRACE(flags);
    b->SetCertificateFlags(flags);
    cb_.Clear();
    b->Navigate(ToUtf16(url).c_str());
    EXPECT_NE(cb_.WaitFor("loaderror -202 " + url), "");
  }
  EXPECT_EQ(https.Served(), 0);
  b->SetCertificateFlags(1);
  cb_.Clear();
  b->Navigate(ToUtf16(url).c_str());
  EXPECT_NE(cb_.WaitFor("loadend 1 200 " + url), "");
  EXPECT_EQ(Eval(b, u"document.body.textContent"), "secure");
}

}  // namespace
}  // namespace qg::web
