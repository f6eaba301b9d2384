// The interfaces between the host and qg300web: what the host calls
// (IKQMCef, IKQMBrowserCef, IKQMContexteJavacript, IMenuCorrecteurCEF) and
// what the host implements (ICallbackFromKQMBrowser, ICkAppelJS,
// ICallbackAppelSync, ICkExportPdf, the request interceptor, the frame
// callback), with the records they pass. Slot order is declaration order.
// Records use the natural layout of this platform (pointer-sized handles).
// No exception crosses these calls.
#ifndef QG_BROWSER_WEB_API_H_
#define QG_BROWSER_WEB_API_H_

#include <cstdint>

#include "errors/xerror.h"
#include "support/any.h"
#include "support/xystring.h"

class IKQMBrowserCef;
class IKQMContexteJavacript;
class ICallbackFromKQMBrowser;

// Options of Initialize. Version 2 and above add the log level.
struct stOptionsInitCef {
  int32_t nVersion;
  int32_t nDebugPort;  // 0: the default
  int32_t nLogLevel;   // version >= 2: 0 none, 1 errors, 2 verbose
  uint8_t bSpareGpu;
};

// Record of CreateBrowser. Version 6 and above add the second interface.
struct stCreationBrowser {
  int32_t nVersion;
  void* hParent;
  uint8_t bJavascriptDisabled;
  uint8_t bWindowless;
  ICallbackFromKQMBrowser* piCallback;
  int32_t nReserved;
  int32_t nBackground;  // COLORREF (red in the low byte); -1 keeps the default
  const char16_t* pszURL;
  uint8_t bNoActivate;
  void* piSecond;  // version >= 6: the request interceptor
};

struct stMouseBrowser {
  int32_t x;
  int32_t y;
  uint8_t bShift, bControl, bAlt, bLeft, bMiddle, bRight;
};

struct stKeyBrowser {
  int32_t nKind;  // 0 raw key down, 2 key up, 3 character, else key down
  uint8_t bShift, bControl, bAlt;
  int32_t nWindowsKeyCode;
  int32_t nNativeKeyCode;
  int32_t bSystemKey;
  char16_t cCharacter;
};

struct stNavigation {
  const char16_t* pszURL;
  const char16_t* pszTargetFrame;
  int32_t nPopup;  // 1 popup request, 0 navigation, 2 a download (kNavigationDownload)
};
// nPopup of a download asked of bBeforeNavigation; the target frame is then
// the file's name.
inline constexpr int32_t kNavigationDownload = 2;

class IKQMCef {
 public:
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  virtual int32_t GetInterfaceVersion() = 0;
  virtual bool InitializeDefault(void* instance, CXError* error) = 0;
  virtual void Shutdown() = 0;
  virtual IKQMBrowserCef* CreateBrowser(const stCreationBrowser* record) = 0;
  virtual IKQMContexteJavacript* CreateJavascriptContext() = 0;
  virtual bool Initialize(void* instance, const stOptionsInitCef* options, CXError* error) = 0;

 protected:
  ~IKQMCef() = default;
};

// Told of a script's result.
class ICkAppelJS {
 public:
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  virtual void OnSuccess(CAny* result) = 0;
  virtual void OnFailure(CXError* error) = 0;

 protected:
  ~ICkAppelJS() = default;
};

// Told while a synchronous script call waits.
class ICallbackAppelSync {
 public:
  virtual void OnBegin() = 0;
  virtual void OnContinue() = 0;
  virtual void OnEnd() = 0;

 protected:
  ~ICallbackAppelSync() = default;
};

class ICkExportPdf {
 public:
  virtual void OnPdfFinished(bool success) = 0;

 protected:
  ~ICkExportPdf() = default;
};

// Told of the first paint after a page's animation frame.
class ICkFrame {
 public:
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  virtual void OnFrame(const void* bgra, int32_t bytes, int32_t width, int32_t height) = 0;

 protected:
  ~ICkFrame() = default;
};

// Receives the pieces of a response the interceptor serves.
class IResponseSink {
 public:
  virtual void SetBytes(const void* data, intptr_t size) = 0;
  virtual void SetMimeType(const char* mime) = 0;
  virtual void SetCharset(const char* charset) = 0;

 protected:
  ~IResponseSink() = default;
};

// The second host interface: serves requests from memory.
class IRequestInterceptor {
 public:
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  virtual int32_t nGetVersion() = 0;
  // True to serve the URL with what was given to the sink.
  virtual bool bIntercept(const char16_t* url, IResponseSink* response) = 0;

 protected:
  ~IRequestInterceptor() = default;
};

// A main-frame request handed to the host: one header may be added.
class CIRequetHttp {
 public:
  virtual void AddHeader(const char16_t* name, const char16_t* value) = 0;

 protected:
  ~CIRequetHttp() = default;
};

class IMenuCorrecteurCEF {
 public:
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  virtual int32_t nGetItemCount() = 0;
  virtual const char16_t* pszGetItemLabel(int32_t index) = 0;
  virtual bool bIsOtherItem(int32_t index) = 0;
  virtual void ChooseItem(int32_t index) = 0;

 protected:
  ~IMenuCorrecteurCEF() = default;
};

class ICallbackFromKQMBrowser {
 public:
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  virtual int32_t nGetVersion() = 0;
  virtual void OnBrowserCreated() = 0;
  virtual void OnMainFrameLoaded(const char16_t* url) = 0;
  virtual bool bOnNewWindow(const stNavigation* navigation) = 0;
  virtual void NotCalled() = 0;
  virtual void OnPaintBuffer(const void* bgra, int32_t bytes, int32_t width, int32_t height) = 0;
  virtual void OnResourceRequest(const char16_t* url, int32_t kind, bool* allowed) = 0;
  virtual bool bOnConsoleMessage(int32_t level, const char16_t* message, const char16_t* source,
                                 int32_t line) = 0;
  virtual void OnPaintRect(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  virtual void OnAddressChange(const char16_t* url) = 0;
  virtual bool bOnLinkContextMenu(const char16_t* url) = 0;
  virtual bool bOnContextMenu(int32_t x, int32_t y) = 0;
  virtual bool bBeforeNavigation(const stNavigation* navigation) = 0;
  virtual void OnJavascriptError(CXError* error) = 0;
  virtual void OnLoadingStateChange(bool loading) = 0;
  virtual void CallProcedure(const char16_t* name, int32_t count, CAny* const* values) = 0;
  virtual void OnLoadEnd(const char16_t* url, bool main_frame, int32_t status) = 0;
  virtual bool bOnNavigate(const stNavigation* navigation, bool main_frame) = 0;
  virtual void OnLoadError(const char16_t* url, bool main_frame, int32_t code,
                           const char16_t* text) = 0;                        // v >= 9
  virtual bool bGetScreenPoint(int32_t x, int32_t y, int32_t* sx, int32_t* sy) = 0;  // v >= 10
  virtual bool bOnTooltip(const char16_t* text) = 0;                         // v >= 11
  virtual void OnMainFrameRequest(const char16_t* url, CIRequetHttp* request) = 0;
  virtual bool bOnHostField(const char16_t* name, const char16_t* callback) = 0;  // v >= 14
  virtual void CallProcedureAsync(const char16_t* a, const char16_t* b, const char16_t* c,
                                  const char16_t* d) = 0;                    // v >= 15
  virtual bool OnCursorChange(void* cursor) = 0;                             // v >= 16
  virtual bool bOnSpellCheckMenu(int32_t x, int32_t y, IMenuCorrecteurCEF* menu) = 0;  // v >= 17
  virtual bool bKeepSystemCursor() = 0;                                      // v >= 17

 protected:
  ~ICallbackFromKQMBrowser() = default;
};

// Defaults a host implementation may keep.
class CCallbackFromKQMBrowserBase : public ICallbackFromKQMBrowser {
 public:
  int32_t nGetVersion() override { return 17; }
  void OnBrowserCreated() override {}
  void OnMainFrameLoaded(const char16_t*) override {}
  bool bOnNewWindow(const stNavigation*) override { return true; }
  void NotCalled() override {}
  void OnPaintBuffer(const void*, int32_t, int32_t, int32_t) override {}
  void OnResourceRequest(const char16_t*, int32_t, bool*) override {}
  bool bOnConsoleMessage(int32_t, const char16_t*, const char16_t*, int32_t) override {
    return false;
  }
  void OnPaintRect(int32_t, int32_t, int32_t, int32_t) override {}
  void OnAddressChange(const char16_t*) override {}
  bool bOnLinkContextMenu(const char16_t*) override { return true; }
  bool bOnContextMenu(int32_t, int32_t) override { return true; }
  bool bBeforeNavigation(const stNavigation*) override { return true; }
  void OnJavascriptError(CXError*) override {}
  void OnLoadingStateChange(bool) override {}
  void CallProcedure(const char16_t*, int32_t, CAny* const*) override {}
  void OnLoadEnd(const char16_t*, bool, int32_t) override {}
  bool bOnNavigate(const stNavigation*, bool) override { return true; }
  void OnLoadError(const char16_t*, bool, int32_t, const char16_t*) override {}
  bool bGetScreenPoint(int32_t, int32_t, int32_t*, int32_t*) override { return false; }
  bool bOnTooltip(const char16_t*) override { return false; }
  void OnMainFrameRequest(const char16_t*, CIRequetHttp*) override {}
  bool bOnHostField(const char16_t*, const char16_t*) override { return false; }
  void CallProcedureAsync(const char16_t*, const char16_t*, const char16_t*,
                          const char16_t*) override {}
  bool OnCursorChange(void*) override { return false; }
  bool bOnSpellCheckMenu(int32_t, int32_t, IMenuCorrecteurCEF*) override { return true; }
  bool bKeepSystemCursor() override { return true; }

 protected:
  ~CCallbackFromKQMBrowserBase() = default;
};

class IKQMBrowserCef {
 public:
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  virtual int32_t nGetInterfaceVersion() = 0;
  virtual void SetCallback(ICallbackFromKQMBrowser* callback) = 0;
  virtual void GoBack() = 0;
  virtual void GoForward() = 0;
  virtual void NoEffect() = 0;
  virtual void Reload() = 0;
  virtual void Navigate(const char16_t* url) = 0;
  virtual void LoadHtml(const char16_t* html) = 0;
  virtual void GetCurrentURL(CXYString<char16_t>* url) = 0;
  virtual void vGetCurrentHtmlContent(CXYString<char16_t>* html) = 0;
  virtual void Close() = 0;
  virtual void SetViewSize(int32_t width, int32_t height) = 0;
  virtual void SetViewRect(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  virtual void SetZoom(double percent) = 0;
  virtual void ExecuteJavascript(const char16_t* script) = 0;
  virtual bool vbExecuteJavascript_RetVal(const char16_t* script, ICallbackAppelSync* wait,
                                          CAny* result, CXError* error) = 0;
  virtual void ExecuteJavascriptAsync(const char16_t* script, ICkAppelJS* callback) = 0;
  virtual void Focus() = 0;
  virtual void Show(bool show) = 0;
  virtual void SpellCheck(bool on) = 0;
  virtual void vExportToPDF(const char16_t* path, ICkExportPdf* done, int32_t scale_percent) = 0;
  virtual void SetSecondInterface(void* second) = 0;
  virtual void GetBody(CXYString<char16_t>* body) = 0;
  virtual void SetBody(const char16_t* html) = 0;
  virtual void* GetWindowHandle() = 0;
  virtual void SetCefFocus(bool focus) = 0;
  virtual void MouseMove(const stMouseBrowser* mouse, bool leaving) = 0;
  virtual void MouseClick(const stMouseBrowser* mouse, int32_t button, bool up,
                          int32_t click_count) = 0;
  virtual void Key(const stKeyBrowser* key) = 0;
  virtual void MouseWheel(const stMouseBrowser* mouse, int32_t delta_x, int32_t delta_y) = 0;
  virtual void DragEnter(const stMouseBrowser* mouse, const char16_t* text) = 0;
  virtual void DragOver(const stMouseBrowser* mouse) = 0;
  virtual void DragLeave() = 0;
  virtual void Drop(const stMouseBrowser* mouse) = 0;
  virtual void Stop() = 0;
  virtual void SpellCheckLanguage(const char16_t* first, const char16_t* second) = 0;
  virtual void SetPopupFlag(bool allow) = 0;
  virtual void SetDownloadDialogFlag(bool show) = 0;
  virtual void SetCertificateFlags(int32_t flags) = 0;
  virtual void Invalidate() = 0;
  virtual void SetDialogSuppression(int32_t suppress) = 0;
  virtual void ExecuteJavascriptWaitFrame(const char16_t* script, ICkFrame* callback) = 0;

 protected:
  ~IKQMBrowserCef() = default;
};

class IKQMContexteJavacript {
 public:
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  virtual int32_t nOne() = 0;
  virtual bool vbExecuteJavascript_RetVal(const char16_t* script, ICallbackAppelSync* wait,
                                          CAny* result, CXError* error) = 0;

 protected:
  ~IKQMContexteJavacript() = default;
};

#endif  // QG_BROWSER_WEB_API_H_
