// Scripts, page procedure calls, bodies, local pages and interception
// against the real browser engine.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "browser/browser_bridge.h"
#include "browser/engine.h"
#include "browser/live_fixture.h"

namespace qg::web {
namespace {

using Clock = std::chrono::steady_clock;

class BridgeLiveTest : public WebLiveTest {};

TEST_F(BridgeLiveTest, SyncScriptsTimeOutAndRecover) {
  CIKQMBrowser* b = Open(u"about:blank");
  EXPECT_EQ(Eval(b, u"1+1"), "2");
  EXPECT_EQ(Eval(b, u"'a' + 'b'"), "ab");
  EXPECT_EQ(Eval(b, u"undefined"), "");
  EXPECT_EQ(Eval(b, u"[1, [2, 3]]"), "1,2,3");
  EXPECT_EQ(Eval(b, u"({})"), "[object Object]");
  EXPECT_EQ(Eval(b, u"throw new Error('boom')").substr(0, 12), "error 800003");
  // A 6 s busy loop: false with 800002 after 5 s; its late answer is ignored.
  struct Wait : ICallbackAppelSync {
    void OnBegin() override { ++begins; }
    void OnContinue() override { ++continues; }
    void OnEnd() override { ++ends; }
    int begins = 0, continues = 0, ends = 0;
  } wait;
  _CXErrorModule80 error;
  const auto t0 = Clock::now();
  EXPECT_FALSE(b->vbExecuteJavascript_RetVal(
      u"var t = Date.now(); while (Date.now() - t < 6000) {} 'late'", &wait, nullptr, &error));
  const auto took = Clock::now() - t0;
  EXPECT_GE(took, std::chrono::milliseconds(5000));
  EXPECT_LT(took, std::chrono::milliseconds(5900));
  EXPECT_EQ(error.nGetMessageId(0), 800002u);
  EXPECT_EQ(wait.begins, 1);
  EXPECT_EQ(wait.ends, 1);
  EXPECT_GT(wait.continues, 0);
  EXPECT_EQ(Eval(b, u"6*7"), "42");

  CIKQMBrowser* off = Open(u"about:blank", /*javascript_disabled=*/true);
  const auto t1 = Clock::now();
  EXPECT_EQ(Eval(off, u"1"), "error 800005");
  EXPECT_LT(Clock::now() - t1, std::chrono::milliseconds(100));
}

TEST_F(BridgeLiveTest, PageProceduresReachTheHost) {
  CIKQMBrowser* b = Open(u"data:text/html,<p>x</p>");
  std::string nested;
  cb_.on_call = [&] { nested = Eval(b, u"document.title + 'x'"); };  // on the dispatch thread
  b->ExecuteJavascript(u"ZQ.Execute('Proc', null, true, 1, 2.5, 'x', {a: 1})");
  EXPECT_EQ(cb_.WaitFor("call Proc"), "call Proc 6 0=empty 1 8 12 16 16");
  EXPECT_EQ(nested, "x") << "a synchronous script inside the host call gets its answer";
  cb_.on_call = nullptr;
  b->ExecuteJavascript(u"ZQ.Execute('NameOnly')");
  EXPECT_EQ(cb_.WaitFor("call NameOnly"), "call NameOnly 0");
  b->ExecuteJavascript(u"ZQ.Execute('_onRequestAnimationFrameInternalGxxxWeb', 5)");
  b->ExecuteJavascript(u"setTimeout(() => { throw new Error('late boom'); }, 0)");
  EXPECT_NE(cb_.WaitFor("jserror 800003"), "");
  EXPECT_FALSE(cb_.Has("call _onRequest")) << "the frame procedure never reaches the host";
}

// Values a page chooses reach the host whole, or the call fails where
// both the page and the host see it; none ends the host.
TEST_F(BridgeLiveTest, HostileValuesReachTheHostOrFailVisibly) {
  CIKQMBrowser* b = Open(u"data:text/html,<p>x</p>");
  const auto t0 = Clock::now();
  CAny value;
  _CXErrorModule80 error;
  ASSERT_TRUE(b->vbExecuteJavascript_RetVal(u"'a\\u0000b'", nullptr, &value, &error));
  int length = 0;
  value.pclHolder()->vnGetLongueur(&length);
  EXPECT_EQ(length, 3);
  ASSERT_TRUE(b->vbExecuteJavascript_RetVal(u"'a\\uD800b'", nullptr, &value, &error));
  const char16_t* text = nullptr;
  value.nGetPCXSTR(&text);
  EXPECT_EQ(std::u16string(text), u"a\uFFFDb");
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(2));

  cb_.Clear();
  b->ExecuteJavascript(
      u"console.log('c\\uD800'); ZQ.Execute('Sur', 'a\\uD800b');"
      u"setTimeout(() => { throw new Error('u\\uD800'); }, 0)");
  EXPECT_NE(cb_.WaitFor("console 1 "), "");
  EXPECT_EQ(cb_.WaitFor("call Sur"), "call Sur 1 16");
  EXPECT_NE(cb_.WaitFor("jserror 800003"), "");

  const struct {
    const char16_t* script;
    const char* thrown;
  } refused[] = {
      {u"const o = {}; o.o = o; let r = ''; try { ZQ.Execute('Cyc', o) } catch (e) { r = e.name } r",
       "TypeError"},
      {u"let a = []; for (let i = 0; i < 100000; ++i) a = [a];"
       u"let d = ''; try { ZQ.Execute('Deep', a) } catch (e) { d = e.name } d",
       "RangeError"},
  };
  for (const auto& c : refused) {
    cb_.Clear();
    EXPECT_EQ(Eval(b, c.script), c.thrown);
    EXPECT_NE(cb_.WaitFor("jserror 800003"), "");
    EXPECT_FALSE(cb_.Has("call "));
  }

  // The page calling the bridge itself, with values no ZQ call sends.
  cb_.Clear();
  b->ExecuteJavascript(
      u"const n = Object.getOwnPropertyNames(window).find(k => k.startsWith('__qg'));"
      u"window[n]('[\"x\",\"Deep\",' + '['.repeat(100000) + ']'.repeat(100000) + ']');"
      u"window[n]('[\"m\",1e300,5,\"\"]');"
      u"window[n]('[\"x\",\"Big\",18446744073709551615]')");
  EXPECT_EQ(cb_.WaitFor("call Big"), "call Big 1 12");
  EXPECT_TRUE(cb_.Has("jserror 800003"));
  EXPECT_FALSE(cb_.Has("menu "));
  EXPECT_FALSE(cb_.Has("call Deep"));
  EXPECT_EQ(Eval(b, u"'still ' + 'here'"), "still here");
}

// The host's navigation question names the frame: "_Self" for the main
// frame and for a frame without a name.
TEST_F(BridgeLiveTest, SubFrameNavigationsNameTheirFrame) {
  http_.Set("/sub", {"text/html", "<p>sub</p>"});
  http_.Set("/anon", {"text/html", "<p>anon</p>"});
  http_.Set("/top", {"text/html", "<iframe name='inner' src='/sub'></iframe><iframe src='/anon'></iframe>"});
  CIKQMBrowser* b = Open(u"about:blank");
  cb_.Clear();
  b->Navigate(ToUtf16(http_.Url("/top")).c_str());
  EXPECT_EQ(cb_.WaitFor("navigate inner"), "navigate inner 0 " + http_.Url("/sub"));
  EXPECT_EQ(cb_.WaitFor("navigate _Self 0"), "navigate _Self 0 " + http_.Url("/anon"));
  EXPECT_EQ(cb_.WaitFor("navigate _Self 1"), "navigate _Self 1 " + http_.Url("/top"));
}

TEST_F(BridgeLiveTest, BodyRoundTripAndFrameWait) {
  CIKQMBrowser* b = Open(u"data:text/html,<body></body>");
  // Every escaped character but CR, which HTML parsing turns into LF.
  const std::u16string body = u"a\bb\tc\nd\ve\ff\"g'h\\i";
  b->SetBody(body.c_str());
  CXYString<char16_t> read;
  for (int i = 0; i < 50; ++i) {
    b->GetBody(&read);
    if (read.pszGet() == body) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(std::u16string(read.pszGet()), body);

  b->SetViewSize(200, 100);
  // Counted: the browser releases it after telling it, maybe after the test saw it.
  struct Frame final : ICkFrame {
    int32_t AddRef() override { return ++refs; }
    int32_t Release() override {
      const int32_t n = --refs;
      if (n == 0) delete this;
      return n;
    }
    void OnFrame(const void*, int32_t n, int32_t w, int32_t h) override {
      std::lock_guard<std::mutex> lock(mu);
      bytes = n;
      width = w;
      height = h;
      cv.notify_all();
    }
    std::atomic<int32_t> refs{1};
    std::mutex mu;
    std::condition_variable cv;
    int32_t bytes = 0, width = 0, height = 0;
  };
  auto* frame = new Frame();
  b->ExecuteJavascriptWaitFrame(u"document.body.style.background = 'blue'", frame);
  int32_t bytes, width, height;
  {
    std::unique_lock<std::mutex> lock(frame->mu);
    ASSERT_TRUE(frame->cv.wait_for(lock, std::chrono::seconds(15), [&] { return frame->bytes > 0; }));
    bytes = frame->bytes;
    width = frame->width;
    height = frame->height;
  }
  frame->Release();
  EXPECT_EQ(bytes, width * height * 4);
  EXPECT_EQ(width, 200);
}

TEST_F(BridgeLiveTest, LargeHtmlIsServedLocally) {
  CIKQMBrowser* b = Open(u"about:blank");
  std::u16string html = u"<body><p id=p>" + std::u16string(3000000, u'x') + u"</p></body>";
  cb_.Clear();
  b->LoadHtml(html.c_str());
  const std::string loaded = cb_.WaitFor("loadend", 30000);
  EXPECT_NE(loaded.find(std::string(kLocalBase) + "/contenu_"), std::string::npos) << loaded;
  EXPECT_EQ(Eval(b, u"document.getElementById('p').textContent.length"), "3000000");
  EXPECT_EQ(Eval(b, u"document.characterSet + ' ' + document.contentType"), "UTF-8 text/html");
  // Short in characters, long once sent: every 'é' takes six bytes in the URL.
  html = u"<body><p id=p>" + std::u16string(400000, u'\u00e9') + u"</p></body>";
  cb_.Clear();
  b->LoadHtml(html.c_str());
  EXPECT_NE(cb_.WaitFor("loadend", 30000), "");
  EXPECT_EQ(Eval(b, u"document.getElementById('p').textContent.length"), "400000");
  cb_.Clear();
  b->LoadHtml(u"<p>50% #1</p>");
  EXPECT_NE(cb_.WaitFor("loadend"), "");
  EXPECT_EQ(Eval(b, u"document.body.textContent"), "50% #1");
  CXYString<char16_t> source;
  b->vGetCurrentHtmlContent(&source);
  EXPECT_NE(std::u16string(source.pszGet()).find(u"<p>50% #1</p>"), std::u16string::npos);
}

TEST_F(BridgeLiveTest, RequestsHeadersAndInterception) {
  http_.Set("/page", {"text/html",
                      "<img src=/img.png><script src=/s.js></script><body>p</body>", "", 200});
  http_.Set("/img.png", {"image/png", "x", "", 200});
  http_.Set("/s.js", {"text/javascript", "document.title = 'script ran';", "", 200});
  cb_.refuse_resources = true;
  cb_.headers = {{u"X-One", u"1"}, {u"X-Two", u"2"}, {u"X-Bad", u"a\r\nX-Evil: 1"}};
  CIKQMBrowser* b = Open(ToUtf16(http_.Url("/page")));
  const std::vector<std::string> seen = http_.Requests("/page");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].find("X-One"), std::string::npos);
  EXPECT_NE(seen[0].find("X-Two: 2"), std::string::npos);
  EXPECT_EQ(seen[0].find("X-Evil"), std::string::npos);
  EXPECT_TRUE(http_.Requests("/img.png").empty()) << "a refused image is not fetched";
  EXPECT_EQ(Eval(b, u"document.title"), "script ran") << "a refused script still loads";
  EXPECT_NE(cb_.WaitFor("resource 0 "), "");
  EXPECT_NE(cb_.WaitFor("resource 2 "), "");

  // The interceptor's bytes arrive exactly, past the size of one read.
  struct Interceptor : IRequestInterceptor {
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    int32_t nGetVersion() override { return 1; }
    bool bIntercept(const char16_t* url, IResponseSink* r) override {
      if (ToUtf8(url).find("/served.txt") == std::string::npos) return false;
      r->SetBytes(bytes.data(), static_cast<intptr_t>(bytes.size()));
      r->SetMimeType("text/plain");
      r->SetCharset("");
      return true;
    }
    std::string bytes;
  } interceptor;
  for (int i = 0; i < 300000; ++i) interceptor.bytes.push_back(static_cast<char>('a' + i % 26));
  b->SetSecondInterface(&interceptor);
  EXPECT_EQ(Eval(b, u"fetch('/served.txt').then(r => r.text()).then(t => document.title = "
                    u"t.length + ':' + t.slice(-3)); 'sent'"),
            "sent");
  std::string title;
  for (int i = 0; i < 100 && title.find(':') == std::string::npos; ++i) {
    title = Eval(b, u"document.title");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(title, "300000:" + interceptor.bytes.substr(299997));
  b->SetSecondInterface(nullptr);
}

}  // namespace
}  // namespace qg::web
