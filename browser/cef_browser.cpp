#include "browser/cef_browser.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <filesystem>
#include <optional>

#include "browser/app_callback.h"
#include "browser/browser_tables.h"
#include "browser/external_opener.h"
#include "browser/paint_watcher.h"
#include "browser/utf.h"

namespace qg::web {

using devtools::Json;

namespace {

std::u16string Text16(const char16_t* p) { return p == nullptr ? std::u16string() : p; }

}  // namespace

stCreationBrowser CopyCreationRecord(const stCreationBrowser* record) {
  stCreationBrowser copy{};
  if (record == nullptr) return copy;
  copy.nVersion = record->nVersion;
  copy.hParent = record->hParent;
  copy.bJavascriptDisabled = record->bJavascriptDisabled;
  copy.bWindowless = record->bWindowless;
  copy.piCallback = record->piCallback;
  copy.nReserved = record->nReserved;
  copy.nBackground = record->nBackground;
  copy.pszURL = record->pszURL;
  copy.bNoActivate = record->bNoActivate;
  if (record->nVersion >= 6) copy.piSecond = record->piSecond;  // absent before 6
  return copy;
}

CIKQMBrowser::CIKQMBrowser(std::shared_ptr<Engine> engine, bool javascript_disabled,
                           bool windowless)
    : engine_(std::move(engine)),
      javascript_disabled_(javascript_disabled),
      windowless_(windowless) {}

CIKQMBrowser::~CIKQMBrowser() {
  if (callback_ != nullptr) callback_->Release();
}

std::shared_ptr<CIKQMBrowser> CIKQMBrowser::Create(std::shared_ptr<Engine> engine,
                                                   const stCreationBrowser& record) {
  auto b = std::make_shared<CIKQMBrowser>(engine, record.bJavascriptDisabled != 0,
                                          /*windowless=*/true);
  b->self_ = b;
  b->host_count_ = 1;
  if (record.piCallback != nullptr) b->SetCallback(record.piCallback);
  if (record.piSecond != nullptr) b->SetSecondInterface(record.piSecond);
  if (!b->Attach(record)) {
    b->closing_ = true;
    b->self_.reset();
    return nullptr;
  }
  return b;
}

bool CIKQMBrowser::Attach(const stCreationBrowser& record) {
  record_ = record;
  // The URL is copied at the first creation: the caller's text does not
  // outlive the call, and a re-created page loads the same URL.
  record_.pszURL = nullptr;
  if (first_url_.empty()) first_url_ = Text16(record.pszURL);
  if (first_url_.empty()) first_url_ = u"about:blank";
  devtools::CallResult created =
      engine_->Call("Target.createTarget", {{"url", "about:blank"}});
  if (!created.ok || !created.result.contains("targetId")) return false;
  const std::string target_id = created.result["targetId"].get<std::string>();
  devtools::CallResult attached =
      engine_->Call("Target.attachToTarget", {{"targetId", target_id}, {"flatten", true}});
  if (!attached.ok || !attached.result.contains("sessionId")) {
    engine_->Call("Target.closeTarget", {{"targetId", target_id}});
    return false;
  }
  const std::string session = attached.result["sessionId"].get<std::string>();
  {
    std::lock_guard<std::mutex> lock(ids_mu_);
    target_id_ = target_id;
    session_ = session;
  }
  engine_->RegisterSession(session, weak_from_this());
  engine_->RegisterTarget(target_id, weak_from_this());
  Send("Page.enable", Json::object());
  Send("Runtime.enable", Json::object());
  Send("Network.enable", Json::object());
  BrowserBridge::Install(*this);
  Send("Page.setFontSizes", {{"fontSizes", {{"standard", 16}, {"fixed", 13}}}});
  if (javascript_disabled_) Send("Emulation.setScriptExecutionDisabled", {{"value", true}});
  if (record.nBackground != -1) {
    const uint32_t argb = ColorRefToArgb(record.nBackground);
    Send("Emulation.setDefaultBackgroundColorOverride",
         {{"color",
           {{"r", (argb >> 16) & 0xFF}, {"g", (argb >> 8) & 0xFF}, {"b", argb & 0xFF}, {"a", 1}}}});
  }
  ApplyMetrics();
  Send("Page.startScreencast", {{"format", "png"}, {"everyNthFrame", 1}});
  UpdateFetch();
  // The creation is told before any event of the first URL.
  std::shared_ptr<CIKQMBrowser> self = shared_from_this();
  engine_->Conn().Post([self] {
    if (CallbackRef cb = self->Callback()) cb->OnBrowserCreated();
  });
  Navigate(first_url_.c_str());
  return true;
}

int32_t CIKQMBrowser::AddRef() { return ++host_count_; }

int32_t CIKQMBrowser::Release() {
  const int32_t n = --host_count_;
  if (n == 0) {
    Close();
    std::shared_ptr<CIKQMBrowser> keep = std::move(self_);  // may free this on return
  }
  return n;
}

CallbackRef CIKQMBrowser::Callback() {
  std::lock_guard<std::mutex> lock(callback_mu_);
  return CallbackRef(callback_);
}

void CIKQMBrowser::SetCallback(ICallbackFromKQMBrowser* callback) {
  ICallbackFromKQMBrowser* old;
  {
    std::lock_guard<std::mutex> lock(callback_mu_);
    if (callback != nullptr) callback->AddRef();
    old = callback_;
    callback_ = callback;
  }
  if (old != nullptr) old->Release();
  if (!Session().empty()) UpdateFetch();
}

void CIKQMBrowser::SetSecondInterface(void* second) {
  auto* next = static_cast<IRequestInterceptor*>(second);
  IRequestInterceptor* old;
  {
    std::lock_guard<std::mutex> lock(callback_mu_);
    if (next != nullptr) next->AddRef();
    old = static_cast<IRequestInterceptor*>(second_);
    second_ = next;
  }
  if (old != nullptr) old->Release();
  if (!Session().empty()) UpdateFetch();
}

void CIKQMBrowser::Send(const std::string& method, Json params) {
  const std::string session = Session();
  if (session.empty()) return;
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    last_command_ = {{"method", method}, {"params", params}};
  }
  // Scripts and input may change what the page shows.
  if (method.rfind("Input.", 0) == 0 || method == "Runtime.evaluate") NoteActivity();
  engine_->Conn().CallAsync(method, std::move(params), session, nullptr);
}

devtools::CallResult CIKQMBrowser::CallSync(const std::string& method, Json params,
                                            int timeout_ms) {
  const std::string session = Session();
  if (session.empty()) return {};
  return engine_->Conn().Call(method, std::move(params), session, timeout_ms);
}

Json CIKQMBrowser::LastCommand() {
  std::lock_guard<std::mutex> lock(state_mu_);
  return last_command_;
}

// --- navigation ---

void CIKQMBrowser::Navigate(const char16_t* url) {
  if (!bHasSession()) return;
  std::u16string u = Text16(url);
  if (u.size() > kMaxNavigateLength) u = u"about:blank";
  const std::string target = ToUtf8(u);
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    last_command_ = {{"method", "Page.navigate"}, {"params", {{"url", target}}}};
  }
  std::weak_ptr<CIKQMBrowser> weak = weak_from_this();
  engine_->Conn().CallAsync(
      "Page.navigate", {{"url", target}}, Session(), [weak, target](const devtools::CallResult& r) {
        auto self = weak.lock();
        if (!self || !r.ok || !r.result.contains("errorText")) return;
        std::string text = r.result["errorText"].get<std::string>();
        if (text.empty()) return;
        {
          // A refused certificate aborts the request: the host gets the
          // certificate's own error, as when nobody overrides it.
          std::lock_guard<std::mutex> lock(self->state_mu_);
          if (NetErrorCode(text) == -3 && !self->refused_certificate_.empty() &&
              self->refused_certificate_url_ == target) {
            text = self->refused_certificate_;
          }
          self->refused_certificate_.clear();
        }
        if (CallbackRef cb = self->Callback()) {
          if (cb.Version() >= 9) {
            cb->OnLoadError(ToUtf16(target).c_str(), true, NetErrorCode(text),
                            ToUtf16(text).c_str());
          }
        }
      });
}

void CIKQMBrowser::HistoryStep(int delta) {
  if (!bHasSession()) return;
  devtools::CallResult h = CallSync("Page.getNavigationHistory", Json::object());
  if (!h.ok) return;
  const int current = h.result.value("currentIndex", 0);
  const Json& entries = h.result["entries"];
  const int next = current + delta;
  if (!entries.is_array() || next < 0 || next >= static_cast<int>(entries.size())) return;
  Send("Page.navigateToHistoryEntry", {{"entryId", entries[next].value("id", 0)}});
}

void CIKQMBrowser::Reload() {
  if (bHasSession()) Send("Page.reload", Json::object());
}

void CIKQMBrowser::Stop() {
  if (bHasSession()) Send("Page.stopLoading", Json::object());
}

void CIKQMBrowser::GetCurrentURL(CXYString<char16_t>* url) {
  if (url == nullptr) return;
  std::string u;
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    u = url_;
  }
  url->Set(ToUtf16(u).c_str());
}

void CIKQMBrowser::Close() {
  if (closing_.exchange(true)) return;
  SetSecondInterface(nullptr);
  {
    std::lock_guard<std::mutex> lock(view_mu_);
    if (watcher_) watcher_->MarkPainted();
    watcher_.reset();
  }
  // Exports still waiting fail now: the host may free its completion
  // objects once the browser is closed.
  FailPdfJobs();
  const std::string session = Session(), target_id = TargetId();
  if (session.empty()) return;
  // A navigation under way would survive the close: stop it first.
  engine_->Conn().Call("Page.stopLoading", Json::object(), session, 2000);
  ICallbackFromKQMBrowser* old;
  {
    std::lock_guard<std::mutex> lock(callback_mu_);
    old = callback_;
    callback_ = nullptr;
  }
  if (old != nullptr) old->Release();
  BrowserBridge::FailPending(*this);
  engine_->Conn().CallAsync("Target.closeTarget", {{"targetId", target_id}}, {}, nullptr);
  engine_->UnregisterSession(session);
  engine_->UnregisterTarget(target_id);
}

// --- view ---

int32_t CIKQMBrowser::ViewWidth() {
  std::lock_guard<std::mutex> lock(view_mu_);
  return view_w_;
}
int32_t CIKQMBrowser::ViewHeight() {
  std::lock_guard<std::mutex> lock(view_mu_);
  return view_h_;
}
double CIKQMBrowser::ZoomPercent() {
  std::lock_guard<std::mutex> lock(view_mu_);
  return zoom_;
}

void CIKQMBrowser::SetFixedView(int32_t w, int32_t h) {
  std::lock_guard<std::mutex> lock(view_mu_);
  view_w_ = w;
  view_h_ = h;
  fixed_view_ = true;
}

void CIKQMBrowser::ApplyMetrics() {
  int32_t w, h;
  double scale;
  {
    std::lock_guard<std::mutex> lock(view_mu_);
    w = view_w_;
    h = view_h_;
    scale = DeviceScale(zoom_);
  }
  ++metrics_sent_;  // before the send: a capture that saw the old count is stale
  Send("Emulation.setDeviceMetricsOverride",
       {{"width", w}, {"height", h}, {"deviceScaleFactor", scale}, {"mobile", false}});
}

namespace {

int32_t AtLeastOne(int64_t v) { return v < 1 ? 1 : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v); }

}  // namespace

void CIKQMBrowser::SetViewSize(int32_t width, int32_t height) {
  bool changed;
  {
    std::lock_guard<std::mutex> lock(view_mu_);
    if (fixed_view_) return;
    const int32_t w = AtLeastOne(width), h = AtLeastOne(height);
    changed = w != view_w_ || h != view_h_;
    view_w_ = w;
    view_h_ = h;
  }
  if (changed && bHasSession()) {
    ++resizes_;
    ApplyMetrics();
    StartWatcher();
  }
}

void CIKQMBrowser::SetViewRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  bool changed;
  {
    std::lock_guard<std::mutex> lock(view_mu_);
    if (fixed_view_) return;
    view_x_ = left;
    view_y_ = top;
    const int32_t w = AtLeastOne(int64_t{right} - left), h = AtLeastOne(int64_t{bottom} - top);
    changed = w != view_w_ || h != view_h_;
    view_w_ = w;
    view_h_ = h;
  }
  if (changed && bHasSession()) {
    ++resizes_;
    ApplyMetrics();
    StartWatcher();
  }
}

void CIKQMBrowser::SetZoom(double percent) {
  bool changed;
  {
    std::lock_guard<std::mutex> lock(view_mu_);
    // Off screen a zoom <= 0 counts as 100: no scale can be 0 or negative.
    const double z = percent <= 0 ? 100.0 : percent;
    changed = z != zoom_;
    zoom_ = z;
  }
  if (changed && bHasSession()) {
    ApplyMetrics();
    StartWatcher();
  }
}

void CIKQMBrowser::Invalidate() {
  if (!bHasSession()) return;
  StartWatcher();
}

void CIKQMBrowser::StartWatcher() {
  if (!windowless_ || !bHasSession()) return;
  std::shared_ptr<CSurveilleMessagePaintCEF> next;
  {
    std::lock_guard<std::mutex> lock(view_mu_);
    if (watcher_) watcher_->MarkPainted();
    next = std::make_shared<CSurveilleMessagePaintCEF>(weak_from_this(), view_w_, view_h_, zoom_);
    watcher_ = next;
  }
  next->Start();
}

// --- input ---

void CIKQMBrowser::SendMouse(const char* type, const stMouseBrowser& m, const char* button,
                             int clicks, double dx, double dy) {
  const int mods = ModifierBits(m.bShift, m.bControl, m.bAlt);
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    last_modifiers_ = mods;
  }
  Json p = {{"type", type}, {"x", m.x}, {"y", m.y}, {"modifiers", mods},
            {"buttons", PressedButtons(m)}, {"button", button}, {"clickCount", clicks}};
  if (std::string(type) == "mouseWheel") {
    p["deltaX"] = dx;
    p["deltaY"] = dy;
  }
  Send("Input.dispatchMouseEvent", std::move(p));
}

void CIKQMBrowser::MouseMove(const stMouseBrowser* mouse, bool) {
  if (mouse == nullptr || !bHasSession()) return;
  SendMouse("mouseMoved", *mouse, "none", 0, 0, 0);
}

void CIKQMBrowser::MouseClick(const stMouseBrowser* mouse, int32_t button, bool up,
                              int32_t click_count) {
  if (mouse == nullptr || !bHasSession()) return;
  SendMouse(up ? "mouseReleased" : "mousePressed", *mouse, MouseButtonName(button), click_count,
            0, 0);
}

void CIKQMBrowser::MouseWheel(const stMouseBrowser* mouse, int32_t delta_x, int32_t delta_y) {
  if (mouse == nullptr || !bHasSession()) return;
  // The host's deltas grow upwards and leftwards, the page's downwards.
  SendMouse("mouseWheel", *mouse, "none", 0, -delta_x, -delta_y);
}

void CIKQMBrowser::Key(const stKeyBrowser* key) {
  if (key == nullptr || !bHasSession()) return;
  const int mods = ModifierBits(key->bShift, key->bControl, key->bAlt);
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    last_modifiers_ = mods;
  }
  Json p = {{"type", KeyEventType(key->nKind)},
            {"modifiers", mods},
            {"windowsVirtualKeyCode", key->nWindowsKeyCode},
            {"nativeVirtualKeyCode", key->nNativeKeyCode},
            {"isSystemKey", key->bSystemKey != 0}};
  if (key->cCharacter != 0) {
    const char16_t c[2] = {key->cCharacter, 0};
    p["text"] = ToUtf8(c);
    p["unmodifiedText"] = ToUtf8(c);
  }
  Send("Input.dispatchKeyEvent", std::move(p));
}

void CIKQMBrowser::SendDrag(const char* type, const stMouseBrowser* m) {
  std::u16string text;
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    text = drag_text_;
  }
  Json p = {{"type", type},
            {"x", m != nullptr ? m->x : 0},
            {"y", m != nullptr ? m->y : 0},
            {"modifiers", m != nullptr ? ModifierBits(m->bShift, m->bControl, m->bAlt) : 0},
            {"data",
             {{"items", Json::array({{{"mimeType", "text/plain"}, {"data", ToUtf8(text)}}})},
              {"dragOperationsMask", 1 | 2 | 16}}}};
  Send("Input.dispatchDragEvent", std::move(p));
}

void CIKQMBrowser::DragEnter(const stMouseBrowser* mouse, const char16_t* text) {
  if (!bHasSession()) return;
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    drag_text_ = Text16(text);
  }
  SendDrag("dragEnter", mouse);
}
void CIKQMBrowser::DragOver(const stMouseBrowser* mouse) {
  if (bHasSession()) SendDrag("dragOver", mouse);
}
void CIKQMBrowser::DragLeave() {
  if (bHasSession()) SendDrag("dragCancel", nullptr);
}
void CIKQMBrowser::Drop(const stMouseBrowser* mouse) {
  if (bHasSession()) SendDrag("drop", mouse);
}

void CIKQMBrowser::SetCefFocus(bool focus) {
  if (bHasSession()) Send("Emulation.setFocusEmulationEnabled", {{"enabled", focus}});
}

void CIKQMBrowser::SetCertificateFlags(int32_t flags) {
  certificate_flags_ = flags;
  if (bHasSession()) Send("Security.enable", Json::object());
  if (bHasSession()) Send("Security.setOverrideCertificateErrors", {{"override", flags != 0}});
}

// --- events (dispatch thread) ---

void CIKQMBrowser::OnEvent(const devtools::Message& m) {
  static const bool trace = getenv("QG300WEB_TRACE") != nullptr;
  if (trace) fprintf(stderr, "[web %s] %s %.300s\n", Session().c_str(), m.method.c_str(), m.result.dump().c_str());
  if (m.method == devtools::kDisconnected) {
    BrowserBridge::FailPending(*this);
    return;
  }
  if (closing_) return;
  const Json& p = m.result;
  const std::string& method = m.method;
  const std::string target_id = TargetId();
  if (method == "Page.screencastFrame") {
    OnScreencastFrame(p);
  } else if (method == "Fetch.requestPaused") {
    OnRequestPaused(p);
  } else if (method == "Runtime.bindingCalled") {
    BrowserBridge::OnBindingCalled(*this, p);
  } else if (method == "Page.frameRequestedNavigation") {
    const std::string reason = p.value("reason", "");
    if (reason == "anchorClick" || reason.rfind("formSubmission", 0) == 0) {
      std::lock_guard<std::mutex> lock(state_mu_);
      gesture_url_ = p.value("url", "");
    }
  } else if (method == "Page.windowOpen") {
    // Comes before the popup's target is attached (see bAllowPopup).
    std::lock_guard<std::mutex> lock(state_mu_);
    if (window_opens_.size() < kMaxWindowOpens) {
      window_opens_.push_back({p.value("url", ""), p.value("userGesture", false)});
    }
  } else if (method == "Runtime.consoleAPICalled") {
    OnConsole(p);
  } else if (method == "Runtime.exceptionThrown") {
    BrowserBridge::OnException(*this, p);
  } else if (method == "Page.frameStartedNavigating") {
    if (p.value("frameId", "") == target_id &&
        p.value("navigationType", "") == "differentDocument") {
      std::lock_guard<std::mutex> lock(state_mu_);
      pending_url_ = p.value("url", "");
      pending_loader_ = p.value("loaderId", "");
      status_ = 0;
      committed_ = stopped_ = reported_ = false;
    }
  } else if (method == "Runtime.executionContextCreated") {
    // The main frame's new document: the navigation is committed. Pages
    // without a load event (about:blank) commit after they stopped loading.
    const Json& aux = p["context"]["auxData"];
    if (aux.is_object() && aux.value("frameId", "") == target_id &&
        aux.value("isDefault", false)) {
      std::string pending;
      {
        std::lock_guard<std::mutex> lock(state_mu_);
        pending = pending_url_;
      }
      // The document of the navigation under way, not a leftover empty one:
      // local pages have no origin, network pages the origin of their URL.
      const std::string origin = p["context"].value("origin", "");
      const bool local = pending.rfind("about:", 0) == 0 || pending.rfind("data:", 0) == 0;
      if (local || (!origin.empty() && pending.rfind(origin, 0) == 0 &&
                    (pending.size() == origin.size() || pending[origin.size()] == '/'))) {
        Commit(pending);
      }
    }
  } else if (method == "Page.frameNavigated") {
    const Json& frame = p["frame"];
    if (frame.is_object() && !frame.contains("parentId") && frame.value("id", "") == target_id) {
      // The error page of an earlier navigation may commit after the next
      // one started: only the navigation under way commits.
      bool current;
      {
        std::lock_guard<std::mutex> lock(state_mu_);
        current = pending_loader_.empty() || frame.value("loaderId", "") == pending_loader_;
      }
      // An error page names the address that failed in unreachableUrl.
      const std::string unreachable = frame.value("unreachableUrl", "");
      if (current) {
        Commit(!unreachable.empty() ? unreachable
                                    : frame.value("url", "") + frame.value("urlFragment", ""));
      }
    }
  } else if (method == "Page.navigatedWithinDocument") {
    if (p.value("frameId", "") == target_id) {
      const std::string url = p.value("url", "");
      {
        std::lock_guard<std::mutex> lock(state_mu_);
        url_ = url;
      }
      if (CallbackRef cb = Callback()) cb->OnAddressChange(ToUtf16(url).c_str());
    }
  } else if (method == "Page.frameStartedLoading") {
    if (p.value("frameId", "") == target_id) {
      if (CallbackRef cb = Callback()) cb->OnLoadingStateChange(true);
    }
  } else if (method == "Network.responseReceived") {
    if (p.value("type", "") == "Document" && p.value("frameId", "") == target_id) {
      std::lock_guard<std::mutex> lock(state_mu_);
      status_ = p["response"].value("status", 0);
      if (!committed_) pending_url_ = p["response"].value("url", pending_url_);  // after redirects
    }
  } else if (method == "Page.loadEventFired" || method == "Page.frameStoppedLoading") {
    const bool stop = method == "Page.frameStoppedLoading";
    if (stop && p.value("frameId", "") != target_id) return;
    bool report;
    {
      std::lock_guard<std::mutex> lock(state_mu_);
      if (stop) stopped_ = true;
      report = committed_ && !reported_;
      if (report) reported_ = true;
    }
    if (stop) {
      if (CallbackRef cb = Callback()) cb->OnLoadingStateChange(false);
    }
    if (report) ReportLoadEnd();
  } else if (method == "Page.javascriptDialogOpening") {
    // No dialog is shown: suppressed dialogs succeed, others are dismissed.
    const bool accept = dialog_suppression_ != 0;
    Send("Page.handleJavaScriptDialog", {{"accept", accept}, {"promptText", ""}});
  } else if (method == "Security.certificateError") {
    const std::string type = p.value("errorType", "");
    const int32_t code = NetErrorCode(type);
    const bool accept = CertificateAccepted(certificate_flags_, code);
    if (!accept) {
      std::lock_guard<std::mutex> lock(state_mu_);
      refused_certificate_ = type.rfind("net::", 0) == 0 ? type : "net::" + type;
      refused_certificate_url_ = p.value("requestURL", "");
    }
    Send("Security.handleCertificateError",
         {{"eventId", p.value("eventId", 0)}, {"action", accept ? "continue" : "cancel"}});
  } else if (method == "Inspector.targetCrashed") {
    BrowserBridge::FailPending(*this);
  }
}

bool CIKQMBrowser::bAllowPopup(const std::string& target_url) {
  WindowOpen open{target_url, false};
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    if (!window_opens_.empty()) {
      open = window_opens_.front();
      window_opens_.pop_front();
    }
  }
  if (closing_) return false;
  const bool flag = popup_flag_;
  // Without a user gesture only the popup flag lets a popup open.
  if (!open.gesture) return flag;
  if (CallbackRef cb = Callback()) {
    const std::u16string url = ToUtf16(open.url);
    const std::u16string frame = u"_Blank";
    stNavigation nav{url.c_str(), frame.c_str(), 1};
    if (!cb->bOnNewWindow(&nav) || !cb->bBeforeNavigation(&nav)) return false;
    if (flag) return true;
  }
  // A page's new tab or window opens in the user's own program instead.
  OpenExternally(open.url);
  return false;
}

bool CIKQMBrowser::bAllowDownload(const std::string& url, const std::string& name) {
  if (closing_) return false;
  // Without the save dialog the host agreed to every download beforehand.
  if (!download_dialog_) return true;
  CallbackRef cb = Callback();
  if (!cb) return false;  // nobody to ask: refused
  const std::u16string u = ToUtf16(url), n = ToUtf16(name);
  stNavigation nav{u.c_str(), n.c_str(), kNavigationDownload};
  return cb->bBeforeNavigation(&nav);
}

void CIKQMBrowser::Commit(const std::string& url) {
  bool report;
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    if (committed_) return;
    committed_ = true;
    url_ = url;
    report = stopped_ && !reported_;
    if (report) reported_ = true;
  }
  if (CallbackRef cb = Callback()) cb->OnAddressChange(ToUtf16(url).c_str());
  if (report) ReportLoadEnd();
}

void CIKQMBrowser::OnUnresponsive() {
  if (closing_) return;
  const int reports = ++unresponsive_count_;
  const char* reason = nullptr;
  const EUnresponsive action = UnresponsiveAction(reports, windowless_, g_bLowEndTimeout,
                                                  load_end_received_, body_wait_, &reason);
  if (action == EUnresponsive::kIgnore) return;
  if (action == EUnresponsive::kWait) {
    // The renderer is known to be slow: a script timing out meanwhile is
    // no reason to end the process.
    reporting_unresponsive_ = true;
    std::optional<int64_t> debug = ReadBrowserRegistryValue(u"DEBUG_TIMEOUT");
    if (debug && *debug != 0) fprintf(stderr, "CEF TIMEOUT: %s\n", reason);
    return;
  }
  std::shared_ptr<CIKQMBrowser> self = shared_from_this();
  engine_->Conn().Post([self] { self->Recreate(); });
}

void CIKQMBrowser::Recreate() {
  if (closing_) return;
  std::string session, target_id;
  {
    std::lock_guard<std::mutex> lock(ids_mu_);
    session = std::move(session_);
    target_id = std::move(target_id_);
    session_.clear();
    target_id_.clear();
  }
  if (session.empty()) return;
  // End the page's running script so that the page can close, then the page.
  engine_->Conn().CallAsync("Runtime.terminateExecution", Json::object(), session, nullptr);
  engine_->UnregisterSession(session);
  engine_->UnregisterTarget(target_id);
  BrowserBridge::FailPending(*this);
  FailPdfJobs();
  engine_->Conn().CallAsync("Target.closeTarget", {{"targetId", target_id}}, {}, nullptr);
  {
    std::lock_guard<std::mutex> lock(view_mu_);
    if (watcher_) watcher_->MarkPainted();
    watcher_.reset();
  }
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    url_.clear();
    pending_url_.clear();
    pending_loader_.clear();
    committed_ = stopped_ = reported_ = false;
    status_ = 0;
    fetch_on_ = false;
    gesture_url_.clear();
    window_opens_.clear();
  }
  Attach(record_);
}

void CIKQMBrowser::ReportLoadEnd() {
  load_end_received_ = true;
  reporting_unresponsive_ = false;
  std::string url;
  int32_t status;
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    url = url_;
    status = status_;
  }
  if (CallbackRef cb = Callback()) {
    std::shared_ptr<CIKQMBrowser> hold = shared_from_this();  // across the host calls
    const std::u16string u = ToUtf16(url);
    cb->OnMainFrameLoaded(u.c_str());
    cb->OnLoadEnd(u.c_str(), true, status);
  }
}

void CIKQMBrowser::OnConsole(const Json& p) {
  std::string text;
  const Json& args = p["args"];
  if (args.is_array()) {
    for (const Json& a : args) {
      if (!text.empty()) text += ' ';
      if (a.contains("value")) {
        const Json& v = a["value"];
        text += v.is_string() ? v.get<std::string>() : v.dump();
      } else {
        text += a.value("description", a.value("type", ""));
      }
    }
  }
  if (BrowserBridge::HandleInternalCommand(*this, text)) return;
  const std::string type = p.value("type", "log");
  int32_t level = 1;  // info
  if (type == "debug") level = 0;
  if (type == "warning") level = 2;
  if (type == "error" || type == "assert") level = 3;
  std::string source;
  int32_t line = 0;
  const Json& frames = p["stackTrace"]["callFrames"];
  if (frames.is_array() && !frames.empty()) {
    source = frames[0].value("url", "");
    line = frames[0].value("lineNumber", 0) + 1;
  }
  if (CallbackRef cb = Callback()) {
    cb->bOnConsoleMessage(level, ToUtf16(text).c_str(), ToUtf16(source).c_str(), line);
  }
}

// --- paint ---

void CIKQMBrowser::OnScreencastFrame(const Json& p) {
  // The acknowledgement is the protocol's own, not a host operation: it is not recorded as the
  // last command.
  const std::string session = Session();
  if (!session.empty()) {
    engine_->Conn().CallAsync("Page.screencastFrameAck", {{"sessionId", p.value("sessionId", 0)}},
                              session, nullptr);
  }
  if (ignore_paints_ || !windowless_) return;
  if (drop_frames_for_test_ > 0) {
    --drop_frames_for_test_;
    return;
  }
  NoteActivity();
  double zoom;
  {
    std::lock_guard<std::mutex> lock(view_mu_);
    zoom = zoom_;
  }
  Bitmap bitmap;
  std::string png;
  if (zoom != 100.0) {
    // Screencast frames are sized in CSS pixels: take the device pixels.
    const uint64_t sent = metrics_sent_;
    devtools::CallResult shot = CallSync("Page.captureScreenshot", {{"format", "png"}});
    if (!CaptureCurrent(sent)) return;
    if (!shot.ok || !Base64Decode(shot.result.value("data", ""), &png)) return;
  } else if (!Base64Decode(p.value("data", ""), &png)) {
    return;
  }
  if (!DecodePng(png, &bitmap)) return;
  DeliverPaint(std::move(bitmap));
}

bool CIKQMBrowser::CaptureCurrent(uint64_t sent) {
  // The browser ends a capture by restoring the device metrics it found at
  // its start, which undoes an override sent meanwhile (though that override
  // was answered as done): send the current metrics again. The image may be
  // of the old size, so it is not used.
  if (metrics_sent_ == sent) return true;
  if (bHasSession()) ApplyMetrics();
  return false;
}

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void CIKQMBrowser::NoteActivity() {
  if (ignore_paints_ || !windowless_) return;
  trailing_.Activity(NowMs());
}

void CIKQMBrowser::OnTick() {
  if (closing_ || !trailing_.bDue(NowMs())) return;
  CaptureIfChanged();
}

void CIKQMBrowser::CaptureIfChanged() {
  if (!bHasSession() || ignore_paints_ || !windowless_) return;
  std::shared_ptr<CIKQMBrowser> self = shared_from_this();
  const uint64_t sent = metrics_sent_;
  engine_->Conn().CallAsync(
      "Page.captureScreenshot", {{"format", "png"}}, Session(),
      [self, sent](const devtools::CallResult& r) {
        std::string png;
        Bitmap bitmap;
        if (!self->CaptureCurrent(sent) || !r.ok ||
            !Base64Decode(r.result.value("data", ""), &png) || !DecodePng(png, &bitmap)) {
          return;
        }
        if (PaintFingerprint(bitmap.bgra.data(), bitmap.bgra.size(), bitmap.width,
                             bitmap.height) == self->last_paint_) {
          return;  // the screencast brought this content already
        }
        self->DeliverPaint(std::move(bitmap));
      });
}

void CIKQMBrowser::DeliverPaint(Bitmap bitmap) {
  if (closing_) return;
  last_paint_ =
      PaintFingerprint(bitmap.bgra.data(), bitmap.bgra.size(), bitmap.width, bitmap.height);
  {
    std::lock_guard<std::mutex> lock(view_mu_);
    if (watcher_) watcher_->OnPaint(bitmap.width, bitmap.height);
  }
  BrowserBridge::OnPaint(*this, bitmap);
  if (CallbackRef cb = Callback()) {
    cb->OnPaintBuffer(bitmap.bgra.data(), static_cast<int32_t>(bitmap.bgra.size()), bitmap.width,
                      bitmap.height);
    cb->OnPaintRect(0, 0, bitmap.width, bitmap.height);
  }
}

void CIKQMBrowser::ForcePaint() {
  if (!bHasSession() || ignore_paints_) return;
  std::shared_ptr<CIKQMBrowser> self = shared_from_this();
  const uint64_t sent = metrics_sent_;
  engine_->Conn().CallAsync("Page.captureScreenshot", {{"format", "png"}}, Session(),
                            [self, sent](const devtools::CallResult& r) {
                              std::string png;
                              Bitmap bitmap;
                              if (self->CaptureCurrent(sent) && r.ok &&
                                  Base64Decode(r.result.value("data", ""), &png) &&
                                  DecodePng(png, &bitmap)) {
                                self->DeliverPaint(std::move(bitmap));
                              }
                            });
}

}  // namespace qg::web

namespace qg::web {

bool CIKQMBrowser::bSpellCheckPreference() {
  std::lock_guard<std::mutex> lock(bridge_->prefs_mu);
  return bridge_->spellcheck;
}

std::vector<std::string> CIKQMBrowser::Dictionaries() {
  std::lock_guard<std::mutex> lock(bridge_->prefs_mu);
  return bridge_->dictionaries;
}

void CIKQMBrowser::vExportToPDF(const char16_t* path, ICkExportPdf* done, int32_t scale_percent) {
  if (!bHasSession()) {
    // No browser: the host is told, or it would wait for ever.
    if (done != nullptr) done->OnPdfFinished(false);
    return;
  }
  const double scale = scale_percent <= 0 ? 1.0 : scale_percent / 100.0;
  const std::string file = ToUtf8(path);
  auto job = std::make_shared<PdfJob>(done);
  {
    std::lock_guard<std::mutex> lock(pdf_mu_);
    pdf_jobs_.push_back(job);
  }
  std::weak_ptr<CIKQMBrowser> weak = weak_from_this();
  engine_->Conn().CallAsync(
      "Page.printToPDF",
      {{"scale", scale}, {"landscape", false}, {"printBackground", false}}, Session(),
      [weak, job, file](const devtools::CallResult& r) {
        bool ok = false;
        std::string bytes;
        if (r.ok && Base64Decode(r.result.value("data", ""), &bytes) && !file.empty()) {
          FILE* f = fopen(file.c_str(), "wb");
          if (f != nullptr) {
            ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
            ok = fclose(f) == 0 && ok;
          }
        }
        job->Finish(ok);
        if (auto self = weak.lock()) {
          std::lock_guard<std::mutex> lock(self->pdf_mu_);
          auto& jobs = self->pdf_jobs_;
          jobs.erase(std::remove(jobs.begin(), jobs.end(), job), jobs.end());
        }
      });
}

void CIKQMBrowser::PdfJob::Finish(bool ok) {
  std::lock_guard<std::mutex> lock(mu);
  if (done == nullptr) return;
  ICkExportPdf* d = done;
  done = nullptr;
  d->OnPdfFinished(ok);
}

void CIKQMBrowser::FailPdfJobs() {
  std::vector<std::shared_ptr<PdfJob>> jobs;
  {
    std::lock_guard<std::mutex> lock(pdf_mu_);
    jobs.swap(pdf_jobs_);
  }
  for (auto& job : jobs) job->Finish(false);
}

}  // namespace qg::web
