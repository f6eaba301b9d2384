// One browser object: a page target of the engine with its session, driven
// by the host through IKQMBrowserCef and reporting to the host's
// ICallbackFromKQMBrowser. Off screen only: the view is the page's device
// metrics, paints are the page's screencast frames.
//
// Lifetime: the host's count and the engine's shared ownership. The host's
// last release closes the browser; the memory goes with the last shared
// reference (pending replies and events hold one).
//
// Threads: host operations run on the host's thread; events and replies on
// the engine's dispatch thread. The host callback is fetched under its lock
// with a reference taken and called outside every lock.
#ifndef QG_BROWSER_CEF_BROWSER_H_
#define QG_BROWSER_CEF_BROWSER_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "browser/browser_bridge.h"
#include "browser/engine.h"
#include "browser/paint_watcher.h"
#include "browser/png_decode.h"
#include "browser/web_api.h"

namespace qg::web {

class CSurveilleMessagePaintCEF;

// A held host callback: a reference for as long as the holder lives.
class CallbackRef {
 public:
  CallbackRef() = default;
  explicit CallbackRef(ICallbackFromKQMBrowser* cb) : cb_(cb) {
    if (cb_ != nullptr) cb_->AddRef();
  }
  CallbackRef(CallbackRef&& o) noexcept : cb_(o.cb_) { o.cb_ = nullptr; }
  CallbackRef(const CallbackRef&) = delete;
  ~CallbackRef() {
    if (cb_ != nullptr) cb_->Release();
  }
  ICallbackFromKQMBrowser* operator->() const { return cb_; }
  explicit operator bool() const { return cb_ != nullptr; }
  ICallbackFromKQMBrowser* get() const { return cb_; }
  // The callback's version, read once.
  int32_t Version() {
    if (version_ < 0) version_ = cb_ != nullptr ? cb_->nGetVersion() : 0;
    return version_;
  }

 private:
  ICallbackFromKQMBrowser* cb_ = nullptr;
  int32_t version_ = -1;
};

// The creation record copied by its version: fields past it stay zero.
stCreationBrowser CopyCreationRecord(const stCreationBrowser* record);

class CIKQMBrowser : public IKQMBrowserCef,
                     public EventSink,
                     public std::enable_shared_from_this<CIKQMBrowser> {
 public:
  CIKQMBrowser(std::shared_ptr<Engine> engine, bool javascript_disabled, bool windowless);
  ~CIKQMBrowser() override;

  // Creates the page target with the record's settings; false when the
  // engine does not answer. The host holds one reference afterwards.
  static std::shared_ptr<CIKQMBrowser> Create(std::shared_ptr<Engine> engine,
                                              const stCreationBrowser& record);

  // IKQMBrowserCef
  int32_t AddRef() override;
  int32_t Release() override;
  int32_t nGetInterfaceVersion() override { return 14; }
  void SetCallback(ICallbackFromKQMBrowser* callback) override;
  void GoBack() override { HistoryStep(-1); }
  void GoForward() override { HistoryStep(1); }
  void NoEffect() override {}
  void Reload() override;
  void Navigate(const char16_t* url) override;
  void LoadHtml(const char16_t* html) override;
  void GetCurrentURL(CXYString<char16_t>* url) override;
  void vGetCurrentHtmlContent(CXYString<char16_t>* html) override;
  void Close() override;
  void SetViewSize(int32_t width, int32_t height) override;
  void SetViewRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  void SetZoom(double percent) override;
  void ExecuteJavascript(const char16_t* script) override;
  bool vbExecuteJavascript_RetVal(const char16_t* script, ICallbackAppelSync* wait, CAny* result,
                                  CXError* error) override;
  void ExecuteJavascriptAsync(const char16_t* script, ICkAppelJS* callback) override;
  void Focus() override {}
  void Show(bool) override {}
  void SpellCheck(bool on) override;
  void vExportToPDF(const char16_t* path, ICkExportPdf* done, int32_t scale_percent) override;
  void SetSecondInterface(void* second) override;
  void GetBody(CXYString<char16_t>* body) override;
  void SetBody(const char16_t* html) override;
  void* GetWindowHandle() override { return nullptr; }
  void SetCefFocus(bool focus) override;
  void MouseMove(const stMouseBrowser* mouse, bool leaving) override;
  void MouseClick(const stMouseBrowser* mouse, int32_t button, bool up,
                  int32_t click_count) override;
  void Key(const stKeyBrowser* key) override;
  void MouseWheel(const stMouseBrowser* mouse, int32_t delta_x, int32_t delta_y) override;
  void DragEnter(const stMouseBrowser* mouse, const char16_t* text) override;
  void DragOver(const stMouseBrowser* mouse) override;
  void DragLeave() override;
  void Drop(const stMouseBrowser* mouse) override;
  void Stop() override;
  void SpellCheckLanguage(const char16_t* first, const char16_t* second) override;
  void SetPopupFlag(bool allow) override { popup_flag_ = allow; }
  void SetDownloadDialogFlag(bool show) override { download_dialog_ = show; }
  void SetCertificateFlags(int32_t flags) override;
  void Invalidate() override;
  void SetDialogSuppression(int32_t suppress) override { dialog_suppression_ = suppress; }
  void ExecuteJavascriptWaitFrame(const char16_t* script, ICkFrame* callback) override;

  // EventSink (dispatch thread)
  void OnEvent(const devtools::Message& message) override;
  // Decides on a popup of this page held at its start (dispatch thread):
  // true lets it run, false has it closed. `target_url` serves when the
  // page's window-open notice is missing.
  bool bAllowPopup(const std::string& target_url);
  // Decides on a download of this page's main frame (dispatch thread): with
  // the download-dialog flag the host's bBeforeNavigation is asked (record:
  // URL, file name, kNavigationDownload) and no host refuses it.
  bool bAllowDownload(const std::string& url, const std::string& name);
  // The page left a command unanswered past the limit (engine watch thread).
  void OnUnresponsive() override;
  // Takes the capture that follows the last frame of a run of changes when
  // it is due (engine watch thread).
  void OnTick() override;
  // Test hook: the next n screencast frames are acknowledged and dropped,
  // as when the browser leaves a frame out.
  void DropScreencastFramesForTest(int n) { drop_frames_for_test_ = n; }
  int nUnresponsiveReports() const { return unresponsive_count_; }

  // State read by tests and the manager.
  bool bHasSession() const { return !Session().empty() && !closing_; }
  // The page's session and target; they change when a page is re-created.
  std::string Session() const {
    std::lock_guard<std::mutex> lock(ids_mu_);
    return session_;
  }
  std::string TargetId() const {
    std::lock_guard<std::mutex> lock(ids_mu_);
    return target_id_;
  }
  int32_t ViewWidth();
  int32_t ViewHeight();
  double ZoomPercent();
  int nResizes() const { return resizes_; }
  bool bJavascriptDisabled() const { return javascript_disabled_; }
  std::shared_ptr<Engine> GetEngine() const { return engine_; }
  // The command last sent by a host operation (tests of the translations).
  devtools::Json LastCommand();
  // Forces a frame into the paint path (the repaint of the paint watcher).
  void ForcePaint();
  // Preferences kept for the browser: spell checking and its dictionaries.
  bool bSpellCheckPreference();
  std::vector<std::string> Dictionaries();

  // The host callback with a reference (null holder when none).
  CallbackRef Callback();

  // Sends a command of this session; the reply is dropped.
  void Send(const std::string& method, devtools::Json params);
  // Sends and waits for the reply.
  devtools::CallResult CallSync(const std::string& method, devtools::Json params,
                                int timeout_ms = 10000);

 protected:
  // Paints are ignored (the hidden script context).
  bool ignore_paints_ = false;
  // Fixed view of the hidden script context.
  void SetFixedView(int32_t w, int32_t h);

 private:
  bool Attach(const stCreationBrowser& record);
  // Starts a script with result; 0 when it failed at once (callback told).
  uint64_t StartScript(const std::u16string& script, ICkAppelJS* callback, bool own);
  void OnPageContextMenu(const std::vector<devtools::Json>& args);
  void HistoryStep(int delta);
  void ApplyMetrics();
  void StartWatcher();
  // Ends the page and creates it again from the creation record (dispatch
  // thread).
  void Recreate();
  void OnScreencastFrame(const devtools::Json& params);
  // After a capture sent when metrics_sent_ was `sent`: true when no metrics
  // were sent since; else sends them again (see the source) and is false.
  bool CaptureCurrent(uint64_t sent);
  void DeliverPaint(Bitmap bitmap);
  // The screencast or the host may have changed the page: a capture is due
  // once things stay quiet.
  void NoteActivity();
  // Captures the view and delivers it when it differs from the last paint.
  void CaptureIfChanged();
  void OnRequestPaused(const devtools::Json& params);
  // The decision on a paused request; `frame_name` names its sub-frame.
  void DecidePaused(const devtools::Json& params, const std::string& frame_name);
  void OnConsole(const devtools::Json& params);
  void ReportLoadEnd();
  void Commit(const std::string& url);
  void UpdateFetch();
  void SendMouse(const char* type, const stMouseBrowser& m, const char* button, int clicks,
                 double dx, double dy);
  void SendDrag(const char* type, const stMouseBrowser* m);

  std::shared_ptr<Engine> engine_;
  std::shared_ptr<CIKQMBrowser> self_;  // held while the host holds a reference
  std::atomic<int32_t> host_count_{0};
  mutable std::mutex ids_mu_;  // guards target_id_ and session_
  std::string target_id_;
  std::string session_;
  const bool javascript_disabled_;
  const bool windowless_;
  std::atomic<bool> closing_{false};
  stCreationBrowser record_{};
  std::u16string first_url_;

  std::mutex view_mu_;  // view lock: view fields, zoom, watcher
  int32_t view_x_ = 0, view_y_ = 0, view_w_ = 320, view_h_ = 200;
  double zoom_ = 100.0;
  bool fixed_view_ = false;
  std::shared_ptr<CSurveilleMessagePaintCEF> watcher_;
  std::atomic<int> resizes_{0};
  std::atomic<uint64_t> metrics_sent_{0};  // device-metrics overrides sent
  TrailingCapture trailing_;
  std::atomic<uint64_t> last_paint_{0};  // fingerprint of the last paint delivered
  std::atomic<int> drop_frames_for_test_{0};

  std::mutex callback_mu_;  // callback lock
  ICallbackFromKQMBrowser* callback_ = nullptr;
  void* second_ = nullptr;

  std::mutex state_mu_;  // url, status, last command, last input modifiers
  std::string url_;          // committed main-frame URL
  std::string pending_url_;  // URL of the navigation under way
  std::string pending_loader_;  // its loader, empty when unknown
  bool committed_ = false;   // its document exists
  bool stopped_ = false;     // it stopped loading
  bool reported_ = false;    // its load end was told
  int32_t status_ = 0;
  devtools::Json last_command_;
  int last_modifiers_ = 0;
  std::u16string drag_text_;
  bool fetch_on_ = false;
  std::string gesture_url_;  // last navigation the page asked for by a click or form
  struct WindowOpen {
    std::string url;
    bool gesture;
  };
  static constexpr size_t kMaxWindowOpens = 64;
  std::deque<WindowOpen> window_opens_;  // notices not yet matched to a popup
  std::string refused_certificate_;  // error text of the last certificate refused
  std::string refused_certificate_url_;

  // A PDF export under way: its completion object is told once, by the
  // reply or by the close, under `mu` (a close returns after a call that
  // had begun).
  struct PdfJob {
    explicit PdfJob(ICkExportPdf* d) : done(d) {}
    void Finish(bool ok);
    std::mutex mu;
    ICkExportPdf* done;  // null once told
  };
  void FailPdfJobs();
  std::mutex pdf_mu_;  // guards pdf_jobs_
  std::vector<std::shared_ptr<PdfJob>> pdf_jobs_;

  std::shared_ptr<BridgeState> bridge_ = std::make_shared<BridgeState>();
  std::atomic<bool> reporting_unresponsive_{false};
  std::atomic<int> unresponsive_count_{0};
  std::atomic<bool> load_end_received_{false};
  std::atomic<bool> body_wait_{false};

  std::atomic<bool> popup_flag_{false};
  std::atomic<bool> download_dialog_{true};
  std::atomic<int32_t> certificate_flags_{0};
  std::atomic<int32_t> dialog_suppression_{0};

  friend class CIKQMContexteJavacript;
  friend class CIKQMCef;
  friend class BrowserBridge;
};

}  // namespace qg::web

#endif  // QG_BROWSER_CEF_BROWSER_H_
