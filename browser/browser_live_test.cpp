// The browser objects against the real browser engine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "browser/app_callback.h"
#include "browser/browser_bridge.h"
#include "browser/browser_tables.h"
#include "browser/cef_browser.h"
#include "browser/cef_manager.h"
#include "browser/download_gate.h"
#include "browser/engine.h"
#include "browser/fake_callback.h"
#include "browser/test_env.h"
#include "browser/test_http_server.h"
#include "errors/module_errors.h"
#include "host/core/string_memory.h"
#include "support/frame/module_services.h"
#include "support/platform/module.h"
#include "support/platform/registry.h"

namespace qg::web {
namespace {

using Clock = std::chrono::steady_clock;

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

class LiveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UsePrivateRegistry();
    static qghost::StringMemory memory;
    Services().piStringMemory = &memory;
    instance_ = ModuleOf(reinterpret_cast<const void*>(&Shell));
    ASSERT_TRUE(CIKQMCef::Instance().InitializeDefault(instance_, nullptr));
  }
  static void TearDownTestSuite() {
    CIKQMCef::Instance().Shutdown();
    FreeModule(instance_);
  }
  void TearDown() override {
    for (IKQMBrowserCef* b : browsers_) b->Release();
  }

  // A browser showing `url`, with the fake callback; waits for its load.
  CIKQMBrowser* Open(const std::u16string& url, bool javascript_disabled = false,
                     bool wait_load = true) {
    stCreationBrowser record{};
    record.nVersion = 6;
    record.bWindowless = 1;
    record.bJavascriptDisabled = javascript_disabled;
    record.nBackground = -1;
    record.pszURL = url.c_str();
    record.piCallback = &cb_;
    IKQMBrowserCef* b = CIKQMCef::Instance().CreateBrowser(&record);
    EXPECT_NE(b, nullptr);
    if (b == nullptr) return nullptr;
    browsers_.push_back(b);
    if (wait_load) {
      EXPECT_NE(cb_.WaitFor("loadend"), "");
    }
    return static_cast<CIKQMBrowser*>(b);
  }

  std::string Eval(CIKQMBrowser* b, const char16_t* script) {
    CAny value;
    _CXErrorModule80 error;
    if (!b->vbExecuteJavascript_RetVal(script, nullptr, &value, &error)) {
      return "error " + std::to_string(error.nGetMessageId(0));
    }
    const char16_t* text = nullptr;
    value.nGetPCXSTR(&text);
    return ToUtf8(text);
  }

  static void* instance_;
  FakeCallback cb_;
  std::vector<IKQMBrowserCef*> browsers_;
  TestHttpServer http_;
};
void* LiveTest::instance_ = nullptr;

TEST_F(LiveTest, AProbeRanAndLoadEndCarriesTheStatus) {
  http_.Set("/page", {"text/html", "<html><body>hello</body></html>"});
  Open(ToUtf16(http_.Url("/page")));
  // The probe's page may paint before its load ends, so "painted but not
  // loaded" is an answer too; what matters is that a probe ran and finished.
  const EResAtt probe = CIKQMCef::Instance().LastProbe();
  EXPECT_TRUE(probe == EResAtt::kLoaded || probe == EResAtt::kNotLoaded)
      << static_cast<int>(probe);
  EXPECT_NE(cb_.WaitFor("loadend 1 200 " + http_.Url("/page")), "");
  EXPECT_NE(cb_.WaitFor("address " + http_.Url("/page")), "");
}

TEST_F(LiveTest, RefusedPortGivesLoadError) {
  CIKQMBrowser* b = Open(u"about:blank");
  int port;
  {
    TestHttpServer gone;  // a port nobody listens on once it is gone
    port = gone.Port();
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  cb_.Clear();
  b->Navigate(ToUtf16(url).c_str());
  EXPECT_NE(cb_.WaitFor("loaderror -102 " + url), "");
  // The address is the one that failed, not the error page's.
  EXPECT_NE(cb_.WaitFor("loadend"), "");
  EXPECT_TRUE(cb_.Has("address " + url)) << testing::PrintToString(cb_.Lines());
  EXPECT_FALSE(cb_.Has("address chrome-error:"));
  CXYString<char16_t> current;
  b->GetCurrentURL(&current);
  EXPECT_EQ(ToUtf8(current.pszGet()), url);
}

TEST_F(LiveTest, VetoKeepsTheOldUrl) {
  http_.Set("/a", {"text/html", "<p>a</p>"});
  http_.Set("/b", {"text/html", "<p>b</p>"});
  CIKQMBrowser* b = Open(ToUtf16(http_.Url("/a")));
  cb_.allow_navigation = false;
  cb_.Clear();
  b->Navigate(ToUtf16(http_.Url("/b")).c_str());
  EXPECT_NE(cb_.WaitFor("before " + http_.Url("/b")), "");
  EXPECT_NE(cb_.WaitFor("loaderror -3"), "");
  CXYString<char16_t> url;
  b->GetCurrentURL(&url);
  EXPECT_EQ(ToUtf8(url.pszGet()), http_.Url("/a"));
  EXPECT_TRUE(http_.Requests("/b").empty());
}

TEST_F(LiveTest, RedPageFirstPaintsItsSize) {
  CIKQMBrowser* b =
      Open(u"data:text/html,<style>html,body{margin:0;background:%23ff0000}</style>", false);
  b->SetViewSize(640, 480);
  ASSERT_NE(cb_.WaitFor("paint 640x480"), "");
  FakeCallback::Paint p = cb_.LastPaint();
  ASSERT_EQ(p.w, 640);
  ASSERT_EQ(p.bgra.size(), 640u * 480 * 4);
  EXPECT_EQ(std::vector<uint8_t>(p.bgra.begin(), p.bgra.begin() + 4),
            (std::vector<uint8_t>{0, 0, 255, 255}));
  // At zoom 125 the 400x300 view paints 500x375 device pixels.
  b->SetViewSize(400, 300);
  b->SetZoom(125);
  ASSERT_NE(cb_.WaitFor("paint 500x375"), "");
  p = cb_.LastPaint();
  ASSERT_EQ(p.bgra.size(), 500u * 375 * 4);
  EXPECT_EQ(std::vector<uint8_t>(p.bgra.end() - 4, p.bgra.end()),
            (std::vector<uint8_t>{0, 0, 255, 255}));
  const int resizes = b->nResizes();
  b->SetViewSize(400, 300);
  EXPECT_EQ(b->nResizes(), resizes) << "the same size resizes once";
}

// The screencast may leave out the frame of a change (the browser's capture
// passes over a compositor update and never comes back to it): the capture
// taken once the page is quiet brings the change to the host all the same.
TEST_F(LiveTest, AChangeWhoseFrameIsLeftOutStillPaints) {
  CIKQMBrowser* b =
      Open(u"data:text/html,<style>html,body{margin:0;background:%23ff0000}</style>", false);
  b->SetViewSize(200, 100);
  ASSERT_NE(cb_.WaitFor("paint 200x100"), "");
  b->DropScreencastFramesForTest(1 << 20);  // no frame reaches the paint path any more
  b->ExecuteJavascript(u"document.body.style.background = '#0000ff'");
  const std::vector<uint8_t> blue = {255, 0, 0, 255};
  bool painted = false;
  for (int i = 0; i < 10 && !painted; ++i) {
    cb_.Clear();
    if (cb_.WaitFor("paint 200x100").empty()) break;
    FakeCallback::Paint p = cb_.LastPaint();
    painted = p.bgra.size() >= 4 && std::vector<uint8_t>(p.bgra.begin(), p.bgra.begin() + 4) == blue;
  }
  EXPECT_TRUE(painted) << "the change never reached OnPaintBuffer";
}

TEST_F(LiveTest, KeysAndClicksReachThePage) {
  CIKQMBrowser* b = Open(
      u"data:text/html,<body style='margin:0'><input id=i style='position:absolute;left:0;"
      u"top:0;width:200px;height:40px'><script>var clicks=0;document.addEventListener("
      u"'mousedown',e=>clicks+=e.button===2?100:1)</script></body>");
  stMouseBrowser m{10, 10, 0, 0, 0, 1, 0, 0};
  b->MouseClick(&m, 0, false, 1);
  b->MouseClick(&m, 0, true, 1);
  for (char16_t c : std::u16string(u"ok")) {
    stKeyBrowser k{};
    k.nKind = 3;
    k.cCharacter = c;
    k.nWindowsKeyCode = c;
    b->Key(&k);
  }
  stMouseBrowser r{50, 100, 0, 0, 0, 0, 0, 1};
  b->MouseClick(&r, 2, false, 1);
  b->MouseClick(&r, 2, true, 1);
  // Input is delivered in order but asynchronously.
  std::string value, clicks;
  for (int i = 0; i < 250 && (value != "ok" || clicks != "101"); ++i) {
    value = Eval(b, u"document.getElementById('i').value");
    clicks = Eval(b, u"String(clicks)");
    if (value != "ok" || clicks != "101") std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(value, "ok");
  EXPECT_EQ(clicks, "101");
}

TEST_F(LiveTest, SuppressedAlertDoesNotBlock) {
  CIKQMBrowser* b = Open(u"about:blank");
  b->SetDialogSuppression(1);
  b->ExecuteJavascript(u"alert('x')");
  EXPECT_EQ(Eval(b, u"1+1"), "2");
}

// Downloads: only into the folder the host named, only with its consent,
// never over a file that is there.
TEST_F(LiveTest, DownloadsNeedTheHostsFolderAndConsent) {
  char dir[] = "/tmp/qg-web-download-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::filesystem::path folder(dir), cwd = folder / "cwd", saved = folder / "saved";
  std::filesystem::create_directories(cwd);
  std::filesystem::create_directories(saved);
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(cwd);
  http_.Set("/file", {"application/octet-stream", "payload",
                      "Content-Disposition: attachment; filename=\"qg-file.txt\"\r\n"});
  // A page's own script starts the download, without any user action.
  const std::string page = "data:text/html,<a id=a href='" + http_.Url("/file") +
                           "' download>x</a><script>document.getElementById('a').click()</script>";
  auto listing = [](const std::filesystem::path& d) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(d)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  auto read = [](const std::filesystem::path& f) {
    std::ifstream in(f);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  const char16_t* key = u"Software\\Moravex\\qgxxxxweb";
  const struct {
    const char* name;
    bool folder_named;
    bool dialog_flag;
    bool host_agrees;
    std::vector<std::string> expected;  // in the saved folder afterwards
  } cases[] = {
      {"no folder named", false, true, true, {"qg-file.txt"}},
      {"host refuses", true, true, false, {"qg-file.txt"}},
      {"host agrees: beside the file there", true, true, true, {"qg-file (1).txt", "qg-file.txt"}},
      {"no dialog: the host agreed beforehand", true, false, false,
       {"qg-file (1).txt", "qg-file (2).txt", "qg-file.txt"}},
  };
  std::ofstream(saved / "qg-file.txt") << "mine";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RegWriteString(RegistryHive::kCurrentUser, key, kDownloadFolderValue,
                   c.folder_named ? ToUtf16(saved.string()).c_str() : u"");
    FakeCallback& cb = cb_;
    cb.allow_download = c.host_agrees;
    CIKQMBrowser* b = Open(u"about:blank");
    ASSERT_NE(b, nullptr);
    cb.Clear();
    b->SetDownloadDialogFlag(c.dialog_flag);
    const size_t served = http_.Requests("/file").size();
    b->Navigate(ToUtf16(page).c_str());
    // The request is made in every case; wait for it and for the decision.
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (http_.Requests("/file").size() == served && Clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (c.folder_named && c.dialog_flag) {
      EXPECT_NE(cb.WaitFor("download qg-file.txt "), "") << testing::PrintToString(cb.Lines());
    }
    const auto settle = Clock::now() + std::chrono::seconds(5);
    while (listing(saved) != c.expected && Clock::now() < settle) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(listing(saved), c.expected);
    EXPECT_TRUE(std::filesystem::is_empty(cwd));
    EXPECT_EQ(read(saved / "qg-file.txt"), "mine");
    browsers_.pop_back();
    b->Release();
  }
  EXPECT_EQ(read(saved / "qg-file (1).txt"), "payload");
  RegWriteString(RegistryHive::kCurrentUser, key, kDownloadFolderValue, u"");
  std::filesystem::current_path(old);
  std::filesystem::remove_all(dir);
}

TEST_F(LiveTest, LastReleaseClosesThePage) {
  CIKQMBrowser* b = Open(u"about:blank");
  const std::string target = b->TargetId();
  std::shared_ptr<Engine> engine = b->GetEngine();
  browsers_.pop_back();
  b->Release();
  bool gone = false;
  for (int i = 0; i < 250 && !gone; ++i) {
    gone = engine->Call("Target.getTargets", devtools::Json::object()).result.dump().find(target) ==
           std::string::npos;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(gone) << "the page of a released browser is still there";
}

TEST_F(LiveTest, ViewAndUrlLimits) {
  CIKQMBrowser* b = Open(u"about:blank");
  b->SetViewSize(0, 0);
  EXPECT_EQ(b->ViewWidth(), 1);
  EXPECT_EQ(b->ViewHeight(), 1);
  b->SetViewRect(10, 10, 5, 5);
  EXPECT_EQ(b->ViewWidth(), 1);
  const std::u16string long_url = u"http://a/" + std::u16string(kMaxNavigateLength - 8, u'a');
  b->Navigate(long_url.c_str());
  EXPECT_EQ(b->LastCommand()["params"]["url"], "about:blank");
}

TEST_F(LiveTest, HungPageIsRecreatedOnceInLowEndMode) {
  g_bLowEndTimeout = true;
  Engine::SetUnresponsiveLimitForTest(1000);
  struct Restore {
    ~Restore() {
      g_bLowEndTimeout = false;
      Engine::SetUnresponsiveLimitForTest(0);
    }
  } restore;
  http_.Set("/hang", {"text/html", "<p>before</p><script>while (true) {}</script>"});
  const std::string url = http_.Url("/hang");
  CIKQMBrowser* b = Open(ToUtf16(url), false, /*wait_load=*/false);
  ASSERT_NE(b, nullptr);
  const auto end = Clock::now() + std::chrono::seconds(15);
  while (http_.Requests("/hang").empty() && Clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_FALSE(http_.Requests("/hang").empty());
  http_.Set("/hang", {"text/html", "<p>after</p>"});  // the new page loads
  const std::string first = b->TargetId();
  std::shared_ptr<Engine> engine = b->GetEngine();
  // Scripts sent once the page hangs are never answered.
  for (int i = 0; i < 100 && b->nUnresponsiveReports() == 0; ++i) {
    b->ExecuteJavascript(u"1");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  // A sanitized build on a busy machine takes long to start the second page.
  ASSERT_NE(cb_.WaitFor("loadend 1 200 " + url, 60000), "");
  EXPECT_NE(b->TargetId(), first);
  EXPECT_EQ(b->nUnresponsiveReports(), 1);
  EXPECT_EQ(Eval(b, u"document.body.textContent"), "after");
  int created = 0;
  for (const std::string& line : cb_.Lines()) created += line == "created";
  EXPECT_EQ(created, 2) << "the page is created once more";
  bool gone = false;
  for (int i = 0; i < 250 && !gone; ++i) {
    gone = engine->Call("Target.getTargets", devtools::Json::object()).result.dump().find(first) ==
           std::string::npos;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(gone) << "the hung page is still there";
}

}  // namespace
}  // namespace qg::web
