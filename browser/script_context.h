// The hidden script context: an off-screen page with JavaScript on, a fixed
// 1024 x 1024 view and no paints, used as a JavaScript engine.
#ifndef QG_BROWSER_SCRIPT_CONTEXT_H_
#define QG_BROWSER_SCRIPT_CONTEXT_H_

#include <memory>

#include "browser/cef_browser.h"

namespace qg::web {

class CIKQMContexteJavacript final : public CIKQMBrowser, public IKQMContexteJavacript {
 public:
  explicit CIKQMContexteJavacript(std::shared_ptr<Engine> engine);

  // Null when the page is not there within 10 s.
  static std::shared_ptr<CIKQMContexteJavacript> Create(std::shared_ptr<Engine> engine);

  int32_t AddRef() override { return CIKQMBrowser::AddRef(); }
  int32_t Release() override { return CIKQMBrowser::Release(); }
  int32_t nOne() override { return 1; }
  bool vbExecuteJavascript_RetVal(const char16_t* script, ICallbackAppelSync* wait, CAny* result,
                                  CXError* error) override {
    return CIKQMBrowser::vbExecuteJavascript_RetVal(script, wait, result, error);
  }
};

}  // namespace qg::web

#endif  // QG_BROWSER_SCRIPT_CONTEXT_H_
