// Test equipment: a host callback that records every call as a line of
// text, answers from settable flags, and lets a test wait for a line.
#ifndef QG_BROWSER_FAKE_CALLBACK_H_
#define QG_BROWSER_FAKE_CALLBACK_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "browser/utf.h"
#include "browser/web_api.h"

namespace qg::web {

class FakeCallback final : public CCallbackFromKQMBrowserBase {
 public:
  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override { return --refs_; }  // owned by the test
  int32_t nGetVersion() override { return version; }

  void OnBrowserCreated() override { Log("created"); }
  void OnMainFrameLoaded(const char16_t* url) override { Log("loaded " + ToUtf8(url)); }
  bool bOnNewWindow(const stNavigation* n) override {
    Log("newwindow " + ToUtf8(n->pszURL));
    return allow_new_window;
  }
  void OnPaintBuffer(const void* bgra, int32_t bytes, int32_t w, int32_t h) override {
    std::lock_guard<std::mutex> lock(mu_);
    last_paint.assign(static_cast<const uint8_t*>(bgra), static_cast<const uint8_t*>(bgra) + bytes);
    paint_w = w;
    paint_h = h;
    lines_.push_back("paint " + std::to_string(w) + "x" + std::to_string(h));
    cv_.notify_all();
  }
  void OnResourceRequest(const char16_t* url, int32_t kind, bool* allowed) override {
    Log("resource " + std::to_string(kind) + " " + ToUtf8(url));
    if (refuse_resources) *allowed = false;
  }
  bool bOnConsoleMessage(int32_t level, const char16_t* m, const char16_t*, int32_t line) override {
    Log("console " + std::to_string(level) + " " + std::to_string(line) + " " + ToUtf8(m));
    return false;
  }
  void OnAddressChange(const char16_t* url) override { Log("address " + ToUtf8(url)); }
  bool bOnLinkContextMenu(const char16_t* url) override {
    Log("linkmenu " + ToUtf8(url));
    return true;
  }
  bool bOnContextMenu(int32_t x, int32_t y) override {
    Log("menu " + std::to_string(x) + "," + std::to_string(y));
    return true;
  }
  bool bBeforeNavigation(const stNavigation* n) override {
    if (n->nPopup == kNavigationDownload) {
      Log("download " + ToUtf8(n->pszTargetFrame) + " " + ToUtf8(n->pszURL));
      return allow_download;
    }
    Log("before " + ToUtf8(n->pszURL));
    return allow_navigation;
  }
  bool bOnNavigate(const stNavigation* n, bool main) override {
    Log("navigate " + ToUtf8(n->pszTargetFrame) + " " + std::to_string(main) + " " +
        ToUtf8(n->pszURL));
    return true;
  }
  void OnJavascriptError(CXError* e) override {
    Log("jserror " + std::to_string(e->nGetMessageId(0)));
  }
  void CallProcedure(const char16_t* name, int32_t count, CAny* const* values) override {
    std::string line = "call " + ToUtf8(name) + " " + std::to_string(count);
    for (int i = 0; i < count; ++i) {
      line += " " + std::to_string(values[i]->nGetCode());
      if (values[i]->bEstVide()) line += "=empty";
    }
    if (on_call) on_call();
    Log(line);
  }
  void OnLoadEnd(const char16_t* url, bool main, int32_t status) override {
    Log("loadend " + std::to_string(main) + " " + std::to_string(status) + " " + ToUtf8(url));
  }
  void OnLoadError(const char16_t* url, bool, int32_t code, const char16_t*) override {
    Log("loaderror " + std::to_string(code) + " " + ToUtf8(url));
  }
  void OnMainFrameRequest(const char16_t* url, CIRequetHttp* request) override {
    Log("mainrequest " + ToUtf8(url));
    for (auto& [name, value] : headers) request->AddHeader(name.c_str(), value.c_str());
  }

  void Log(const std::string& line) {
    std::lock_guard<std::mutex> lock(mu_);
    lines_.push_back(line);
    cv_.notify_all();
  }
  // Waits for a line starting with `prefix`; returns it, or "" after ms.
  std::string WaitFor(const std::string& prefix, int ms = 15000) {
    std::unique_lock<std::mutex> lock(mu_);
    std::string found;
    cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
      for (const std::string& l : lines_) {
        if (l.compare(0, prefix.size(), prefix) == 0) {
          found = l;
          return true;
        }
      }
      return false;
    });
    return found;
  }
  bool Has(const std::string& prefix) { return !WaitFor(prefix, 0).empty(); }
  void Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    lines_.clear();
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mu_);
    return lines_;
  }

  struct Paint {
    std::vector<uint8_t> bgra;
    int32_t w = 0, h = 0;
  };
  Paint LastPaint() {
    std::lock_guard<std::mutex> lock(mu_);
    return {last_paint, paint_w, paint_h};
  }

  int32_t version = 17;
  bool allow_navigation = true;
  bool allow_new_window = true;
  bool allow_download = true;
  bool refuse_resources = false;
  std::vector<std::pair<std::u16string, std::u16string>> headers;
  std::function<void()> on_call;
  std::vector<uint8_t> last_paint;
  int32_t paint_w = 0, paint_h = 0;

 private:
  std::atomic<int32_t> refs_{1};
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::string> lines_;
};

}  // namespace qg::web

#endif  // QG_BROWSER_FAKE_CALLBACK_H_
