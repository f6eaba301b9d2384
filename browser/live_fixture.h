// Test fixture: the browser engine started once per test suite, browsers
// opened with a recording host callback and released after each test, a
// loopback HTTP server.
#ifndef QG_BROWSER_LIVE_FIXTURE_H_
#define QG_BROWSER_LIVE_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser/cef_browser.h"
#include "browser/cef_manager.h"
#include "browser/fake_callback.h"
#include "browser/test_env.h"
#include "browser/test_http_server.h"
#include "browser/utf.h"
#include "errors/module_errors.h"
#include "host/core/string_memory.h"
#include "support/frame/module_services.h"
#include "support/platform/module.h"

namespace qg::web {

class WebLiveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UsePrivateRegistry();
    static qghost::StringMemory memory;
    Services().piStringMemory = &memory;
    instance_ = ModuleOf(reinterpret_cast<const void*>(&WebLiveTest::SetUpTestSuite));
    ASSERT_TRUE(CIKQMCef::Instance().InitializeDefault(instance_, nullptr));
  }
  static void TearDownTestSuite() {
    CIKQMCef::Instance().Shutdown();
    FreeModule(instance_);
  }
  void TearDown() override {
    for (IKQMBrowserCef* b : browsers_) b->Release();
  }

  CIKQMBrowser* Open(const std::u16string& url, bool javascript_disabled = false,
                     FakeCallback* cb = nullptr) {
    stCreationBrowser record{};
    record.nVersion = 6;
    record.bWindowless = 1;
    record.bJavascriptDisabled = javascript_disabled;
    record.nBackground = -1;
    record.pszURL = url.c_str();
    record.piCallback = cb != nullptr ? cb : &cb_;
    IKQMBrowserCef* b = CIKQMCef::Instance().CreateBrowser(&record);
    EXPECT_NE(b, nullptr);
    if (b == nullptr) return nullptr;
    browsers_.push_back(b);
    EXPECT_NE((cb != nullptr ? cb : &cb_)->WaitFor("loadend"), "");
    return static_cast<CIKQMBrowser*>(b);
  }

  // The script's text, or "error <number>".
  static std::string Eval(IKQMBrowserCef* b, const char16_t* script) {
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

inline void* WebLiveTest::instance_ = nullptr;

}  // namespace qg::web

#endif  // QG_BROWSER_LIVE_FIXTURE_H_
