#include "browser/browser_bridge.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <random>

#include "browser/app_callback.h"
#include "browser/browser_tables.h"
#include "browser/cef_browser.h"
#include "browser/paint_watcher.h"
#include "browser/utf.h"
#include "errors/module_errors.h"

namespace qg::web {

using devtools::Json;

namespace {

std::atomic<uint64_t> g_next_call{1};      // script call identifiers
std::atomic<int32_t> g_next_frame{1};      // frame-wait numbers
std::atomic<int32_t> g_next_page{0};       // local page numbers

int64_t TickMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::u16string Text16(const char16_t* p) { return p == nullptr ? std::u16string() : p; }

std::string PageScript(const std::string& binding) {
  // Defines ZQ in every page; calls travel as JSON arrays through the
  // binding: ["x", name, args...], ["a", four texts], ["h", name, callback],
  // ["m", x, y, link] for a context menu the page did not cancel.
  return R"JS((function () {
  const name = ")JS" + binding + R"JS(";
  const limit = )JS" + std::to_string(devtools::kMaxJsonDepth) + R"JS(;
  const send = (text) => { try { window[name](text); } catch (e) {} };
  // A value that cannot go to the host throws here, and the host is told.
  const fail = (e) => {
    send(JSON.stringify(["e", String(e && e.message !== undefined ? e.message : e)]));
    throw e;
  };
  const post = (a) => {
    let text;
    try { text = JSON.stringify(a); } catch (e) { fail(e); }
    for (let i = 0, depth = 0, quoted = false; i < text.length; ++i) {
      const c = text.charCodeAt(i);
      if (quoted) {
        if (c === 92) ++i; else if (c === 34) quoted = false;
      } else if (c === 34) {
        quoted = true;
      } else if (c === 91 || c === 123) {
        if (++depth > limit) fail(new RangeError("ZQ: a value nested deeper than " + limit + " levels"));
      } else if (c === 93 || c === 125) {
        --depth;
      }
    }
    send(text);
  };
  const ZQ = {
    Execute: function (name, ...args) { post(["x", String(name), ...args]); },
    ExecuteAsync: function (a, b, c, d) { post(["a", String(a), String(b), String(c), String(d)]); },
    HostField: function (name, callback) { post(["h", String(name), String(callback)]); },
  };
  Object.defineProperty(window, "ZQ", { value: ZQ, configurable: false, writable: false });
  window.addEventListener("contextmenu", function (e) {
    setTimeout(function () {
      if (e.defaultPrevented) return;
      const link = e.target && e.target.closest ? e.target.closest("a[href]") : null;
      post(["m", e.clientX, e.clientY, link ? link.href : ""]);
    }, 0);
  }, false);
})();)JS";
}

// One script evaluation; `done` runs on the reader thread with (ok, text).
void Evaluate(CIKQMBrowser& b, const std::u16string& script,
              std::function<void(bool, std::u16string)> done) {
  std::shared_ptr<Engine> engine = b.GetEngine();
  const std::string session = b.Session();
  auto finish = std::make_shared<std::function<void(bool, std::u16string)>>(std::move(done));
  engine->Conn().CallAsync(
      "Runtime.evaluate", {{"expression", ToUtf8(script)}}, session,
      [engine, session, finish](const devtools::CallResult& r) {
        if (!r.ok) {
          (*finish)(false, ToUtf16(r.error));
          return;
        }
        if (r.result.contains("exceptionDetails")) {
          const Json& d = r.result["exceptionDetails"];
          std::string text;
          if (d.contains("exception") && d["exception"].contains("description")) {
            text = d["exception"]["description"].get<std::string>();
          } else if (d.contains("exception") && d["exception"].contains("value") &&
                     d["exception"]["value"].is_string()) {
            text = d["exception"]["value"].get<std::string>();
          } else {
            text = d.value("text", "error");
          }
          (*finish)(false, ToUtf16(text));
          return;
        }
        bool needs_page = false;
        std::string object_id;
        const std::string text = ScriptResultText(r.result["result"], &needs_page, &object_id);
        if (!needs_page) {
          (*finish)(true, ToUtf16(text));
          return;
        }
        engine->Conn().CallAsync(
            "Runtime.callFunctionOn",
            {{"objectId", object_id},
             {"functionDeclaration", "function () { return String(this); }"},
             {"returnByValue", true}},
            session,
            [engine, session, object_id, finish](const devtools::CallResult& s) {
              engine->Conn().CallAsync("Runtime.releaseObject", {{"objectId", object_id}},
                                       session, nullptr);
              if (!s.ok || s.result.contains("exceptionDetails")) {
                (*finish)(false, ToUtf16(s.ok ? "String() failed" : s.error));
                return;
              }
              const Json& v = s.result["result"];
              (*finish)(true, ToUtf16(v.contains("value") && v["value"].is_string()
                                          ? v["value"].get<std::string>()
                                          : ""));
            },
            true);
      },
      true);
}

// The completion object of a synchronous call.
class CCallbackAsync final : public ICkAppelJS {
 public:
  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override {
    const int32_t n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  void OnSuccess(CAny* result) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (result != nullptr) value_ = *result;
    failed_ = false;
    pending_ = false;
    cv_.notify_all();
  }
  void OnFailure(CXError* error) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (error != nullptr) error_ = *error;
    failed_ = true;
    pending_ = false;
    cv_.notify_all();
  }
  // Waits at most `ms`; true when no longer pending.
  bool Wait(int ms) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !pending_; });
  }
  std::mutex mu_;
  std::condition_variable cv_;
  bool pending_ = true;
  bool failed_ = false;
  CAny value_;
  _CXErrorModule80 error_;

 private:
  ~CCallbackAsync() = default;
  std::atomic<int32_t> refs_{1};
};

// Hands an outcome to a callback: on the caller's thread for our own
// completion object, else on the dispatch thread.
void Complete(CIKQMBrowser& b, ICkAppelJS* cb, bool ok, const std::u16string& text,
              const std::u16string& script, bool own) {
  auto deliver = [cb, ok, text, script] {
    if (ok) {
      CAny value;
      value.SetDSTRW(text.data(), static_cast<int>(text.size()));  // NULs included
      cb->OnSuccess(&value);
    } else {
      _CXErrorModule80 error;
      const uint32_t number = ScriptErrorNumber(text);
      error.SetUserError(gstErrorDefModule80, number,
                         (number == 800002 ? script : text).c_str());
      cb->OnFailure(&error);
    }
    cb->Release();
  };
  if (own) {
    deliver();
  } else {
    b.GetEngine()->Conn().Post(deliver);
  }
}

}  // namespace

// --- pure pieces ---

std::u16string JsEscape(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 8 + 2);
  for (char16_t c : text) {
    switch (c) {
      case 8: out += u"\\b"; break;
      case 9: out += u"\\t"; break;
      case 10: out += u"\\n"; break;
      case 11: out += u"\\v"; break;
      case 12: out += u"\\f"; break;
      case 13: out += u"\\r"; break;
      case u'"': out += u"\\\""; break;
      case u'\'': out += u"\\'"; break;
      case u'\\': out += u"\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

std::u16string JsLiteral(const std::u16string& text) { return u"\"" + JsEscape(text) + u"\""; }

std::u16string HtmlDataUrl(const std::u16string& html) {
  std::u16string out = u"data:text/html;charset=UTF-8,";
  out.reserve(out.size() + html.size() + html.size() / 16);
  for (char16_t c : html) {
    if (c == u'%') {
      out += u"%25";
    } else if (c == u'#') {
      out += u"%23";
    } else {
      out += c;
    }
  }
  return out;
}

size_t SentUrlLength(const std::u16string& url) {
  size_t n = 0;
  for (size_t i = 0; i < url.size(); ++i) {
    const char16_t c = url[i];
    if (c < 0x20 || c == 0x7F) {
      n += 3;
    } else if (c < 0x80) {
      n += 1;
    } else if (c < 0x800) {
      n += 6;
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < url.size() && url[i + 1] >= 0xDC00 &&
               url[i + 1] <= 0xDFFF) {
      n += 12;
      ++i;
    } else {
      n += 9;  // lone surrogates go as U+FFFD
    }
  }
  return n;
}

uint32_t ScriptErrorNumber(const std::u16string& error_text) {
  size_t i = 0;
  while (i < error_text.size() && (error_text[i] == u' ' || error_text[i] == u'\t')) ++i;
  return error_text.compare(i, std::u16string::npos, u"Script error.") == 0 ? 800002 : 800003;
}

std::string ScriptResultText(const Json& o, bool* needs_page, std::string* object_id) {
  *needs_page = false;
  if (!o.is_object()) return {};
  const std::string type = o.value("type", "");
  if (type == "undefined") return {};
  if (type == "string" && o.contains("value") && o["value"].is_string()) {
    return o["value"].get<std::string>();
  }
  if (o.contains("unserializableValue")) {
    std::string v = o["unserializableValue"].get<std::string>();
    if (type == "bigint" && !v.empty() && v.back() == 'n') v.pop_back();
    return v;
  }
  if (type == "number" || type == "boolean") {
    if (o.contains("description")) return o["description"].get<std::string>();
    return o.contains("value") ? o["value"].dump() : std::string();
  }
  if (o.value("subtype", "") == "null") return "null";
  if (o.contains("objectId")) {
    *needs_page = true;
    *object_id = o["objectId"].get<std::string>();
    return {};
  }
  return o.value("description", "");
}

bool ParsePageCall(const std::string& payload, PageCall* call) {
  Json j = devtools::ParseJson(payload);
  if (!j.is_array() || j.empty() || !j[0].is_string()) return false;
  call->kind = j[0].get<std::string>();
  call->args.assign(j.begin() + 1, j.end());
  return true;
}

bool JsonInt32(const Json& v, int32_t* out) {
  // Unsigned first: get<int64_t> wraps values past INT64_MAX.
  if (v.is_number_unsigned()) {
    if (v.get<uint64_t>() > INT32_MAX) return false;
    *out = static_cast<int32_t>(v.get<uint64_t>());
    return true;
  }
  if (!v.is_number_integer() || v.get<int64_t>() < INT32_MIN || v.get<int64_t>() > INT32_MAX) {
    return false;
  }
  *out = static_cast<int32_t>(v.get<int64_t>());
  return true;
}

void JsonToAny(const Json& v, CAny* out) {
  auto set_text = [out](const std::string& utf8) {
    const std::u16string text = ToUtf16(utf8);
    out->SetDSTRW(text.data(), static_cast<int>(text.size()));  // NULs included
  };
  if (v.is_null()) return;  // no value
  if (v.is_boolean()) {
    out->SetBOOL(v.get<bool>() ? 1 : 0);
  } else if (int32_t i4 = 0; JsonInt32(v, &i4)) {
    out->SetI4(i4);
  } else if (v.is_number()) {
    // Beyond 32 bits (and beyond 64, which arrive as doubles): a double,
    // never a wrapped integer.
    out->SetR8(v.get<double>());
  } else if (v.is_string()) {
    set_text(v.get<std::string>());
  } else {
    set_text(v.dump(-1, ' ', false, Json::error_handler_t::replace));
  }
}

bool InternalCommand(const std::string& text, std::string* command) {
  const std::string prefix = kInternalPrefix;
  if (text.compare(0, prefix.size(), prefix) != 0) return false;
  *command = text.size() > prefix.size() ? text.substr(prefix.size()) : std::string();
  return true;
}

bool ValidHeader(const std::u16string& name, const std::u16string& value) {
  if (name.empty()) return false;
  for (char16_t c : name) {
    if (c <= 0x20 || c >= 0x7F || c == u':') return false;
  }
  for (char16_t c : value) {
    if (c == 0 || c == u'\r' || c == u'\n') return false;
  }
  return true;
}

// --- the bridge's browser operations ---

void BrowserBridge::Install(CIKQMBrowser& b) {
  if (b.bridge_->binding.empty()) {  // a re-created page keeps its name
    std::random_device rd;
    char name[40];
    snprintf(name, sizeof name, "__qg%08x%08x", rd(), rd());
    b.bridge_->binding = name;
  }
  // Answered before the first navigation, which would otherwise overtake them.
  b.CallSync("Runtime.addBinding", {{"name", b.bridge_->binding}});
  b.CallSync("Page.addScriptToEvaluateOnNewDocument", {{"source", PageScript(b.bridge_->binding)}});
}

void CIKQMBrowser::ExecuteJavascript(const char16_t* script) {
  if (!bHasSession() || script == nullptr) return;
  Send("Runtime.evaluate", {{"expression", ToUtf8(script)}});
}

void CIKQMBrowser::ExecuteJavascriptAsync(const char16_t* script, ICkAppelJS* callback) {
  if (callback == nullptr) {
    ExecuteJavascript(script);
    return;
  }
  StartScript(Text16(script), callback, /*own=*/false);
}

uint64_t CIKQMBrowser::StartScript(const std::u16string& script, ICkAppelJS* callback, bool own) {
  if (javascript_disabled_) {
    _CXErrorModule80 error;
    error.SetUserError(gstErrorDefModule80, 800005);
    callback->OnFailure(&error);
    return 0;
  }
  if (!bHasSession()) {
    _CXErrorModule80 error;
    error.SetUserError(gstErrorDefModule80, 800004, script.c_str());
    callback->OnFailure(&error);
    return 0;
  }
  const uint64_t id = g_next_call++;
  callback->AddRef();
  {
    std::lock_guard<std::mutex> lock(bridge_->pending_mu);
    bridge_->pending[id] = {script, callback};
  }
  std::weak_ptr<CIKQMBrowser> weak = weak_from_this();
  std::shared_ptr<BridgeState> state = bridge_;
  NoteActivity();
  Evaluate(*this, script, [weak, state, id, own](bool ok, std::u16string text) {
    BridgeState::PendingCall entry;
    {
      std::lock_guard<std::mutex> lock(state->pending_mu);
      auto it = state->pending.find(id);
      if (it == state->pending.end()) return;  // timed out or failed: ignored
      entry = std::move(it->second);
      state->pending.erase(it);
    }
    std::shared_ptr<CIKQMBrowser> self = weak.lock();
    if (!self) {
      entry.callback->Release();
      return;
    }
    Complete(*self, entry.callback, ok, text, entry.script, own);
  });
  return id;
}

bool CIKQMBrowser::vbExecuteJavascript_RetVal(const char16_t* script, ICallbackAppelSync* wait,
                                              CAny* result, CXError* error) {
  const std::u16string text = Text16(script);
  auto* done = new CCallbackAsync();
  const uint64_t id = StartScript(text, done, /*own=*/true);
  if (wait != nullptr) wait->OnBegin();
  const int64_t start = TickMs();
  bool finished = false;
  for (;;) {
    // Without a waiting interface to tell, sleep until the answer or the limit.
    const int64_t left = kSyncScriptMs + 1 - (TickMs() - start);
    if (done->Wait(wait != nullptr ? 1 : static_cast<int>(left > 0 ? left : 0))) {
      finished = true;
      break;
    }
    if (TickMs() - start > kSyncScriptMs) break;
    if (wait != nullptr) wait->OnContinue();
  }
  if (!finished) {
    std::optional<int64_t> debug = ReadBrowserRegistryValue(u"DEBUG_TIMEOUT");
    if (debug && *debug != 0 && !reporting_unresponsive_) {
      fprintf(stderr, "CEF TIMEOUT: Timeout sur code js\n");
      _exit(-500 & 0xFF);
    }
    // The call leaves the table: its late answer is ignored.
    ICkAppelJS* abandoned = nullptr;
    {
      std::lock_guard<std::mutex> lock(bridge_->pending_mu);
      auto it = bridge_->pending.find(id);
      if (it != bridge_->pending.end()) {
        abandoned = it->second.callback;
        bridge_->pending.erase(it);
      }
    }
    if (abandoned != nullptr) abandoned->Release();
    if (wait != nullptr) wait->OnEnd();
    if (error != nullptr) error->SetUserError(gstErrorDefModule80, 800002, text.c_str());
    done->Release();
    return false;
  }
  if (wait != nullptr) wait->OnEnd();
  bool ok;
  {
    std::lock_guard<std::mutex> lock(done->mu_);
    ok = !done->failed_;
    if (ok && result != nullptr) *result = done->value_;
    if (!ok && error != nullptr && error != &done->error_) *error = done->error_;
  }
  done->Release();
  return ok;
}

void BrowserBridge::FailPending(CIKQMBrowser& b) {
  std::map<uint64_t, BridgeState::PendingCall> calls;
  {
    std::lock_guard<std::mutex> lock(b.bridge_->pending_mu);
    calls.swap(b.bridge_->pending);
  }
  for (auto& [id, c] : calls) {
    _CXErrorModule80 error;
    error.SetUserError(gstErrorDefModule80, 800002, c.script.c_str());
    c.callback->OnFailure(&error);
    c.callback->Release();
  }
  std::vector<BridgeState::FrameWait> frames;
  {
    std::lock_guard<std::mutex> lock(b.bridge_->frames_mu);
    frames.swap(b.bridge_->frames);
  }
  for (auto& f : frames) f.callback->Release();
}

namespace {

void ReportPageError(CIKQMBrowser& b, const std::string& text) {
  if (CallbackRef cb = b.Callback()) {
    _CXErrorModule80 error;
    error.SetUserError(gstErrorDefModule80, 800003, ToUtf16(text).c_str());
    cb->OnJavascriptError(&error);
  }
}

}  // namespace

void BrowserBridge::OnException(CIKQMBrowser& b, const Json& p) {
  const Json& d = p["exceptionDetails"];
  std::string text = d.value("text", "");
  if (d.contains("exception") && d["exception"].contains("description")) {
    text = d["exception"]["description"].get<std::string>();
  }
  if (CallbackRef cb = b.Callback()) {
    _CXErrorModule80 error;
    error.SetUserError(gstErrorDefModule80, 800003, ToUtf16(text).c_str());
    cb->OnJavascriptError(&error);
  }
}

void BrowserBridge::OnBindingCalled(CIKQMBrowser& b, const Json& p) {
  if (p.value("name", "") != b.bridge_->binding) return;
  PageCall call;
  if (!ParsePageCall(p.value("payload", ""), &call)) {
    // The page script refuses these itself: only a page calling the
    // binding directly gets here.
    ReportPageError(b, "a call from the page was refused: not a call, or nested deeper than " +
                           std::to_string(devtools::kMaxJsonDepth) + " levels");
    return;
  }
  auto text = [&](size_t i) {
    return i < call.args.size() && call.args[i].is_string()
               ? ToUtf16(call.args[i].get<std::string>())
               : std::u16string();
  };
  if (call.kind == "x") {
    if (call.args.empty() || !call.args[0].is_string()) return;
    const std::string name = call.args[0].get<std::string>();
    const size_t n = call.args.size() - 1;
    if (name == kFrameProcedure) {
      if (n == 1) {
        const Json& v = call.args[1];
        int32_t number = 0;
        b.bridge_->acknowledged = JsonInt32(v, &number) ? number : 0;
        b.ForcePaint();  // the acknowledged frame is told at the next paint
      }
      return;
    }
    std::vector<CAny> values(n);
    std::vector<CAny*> pointers(n);
    for (size_t i = 0; i < n; ++i) {
      JsonToAny(call.args[i + 1], &values[i]);
      pointers[i] = &values[i];
    }
    if (CallbackRef cb = b.Callback()) {
      cb->CallProcedure(ToUtf16(name).c_str(), static_cast<int32_t>(n), pointers.data());
    }
  } else if (call.kind == "a") {
    CallbackRef cb = b.Callback();
    if (cb && cb.Version() > 14) {
      cb->CallProcedureAsync(text(0).c_str(), text(1).c_str(), text(2).c_str(), text(3).c_str());
    }
  } else if (call.kind == "h") {
    CallbackRef cb = b.Callback();
    if (cb && cb.Version() > 13 && cb->bOnHostField(text(0).c_str(), text(1).c_str())) return;
    const std::u16string script = text(1) + u"(null)";
    b.ExecuteJavascript(script.c_str());
  } else if (call.kind == "m") {
    b.OnPageContextMenu(call.args);
  } else if (call.kind == "e") {
    // A value the page script could not send (cyclic, too deep): the page
    // got the exception, the host gets its text.
    ReportPageError(b, ToUtf8(text(0)));
  }
}

void CIKQMBrowser::GetBody(CXYString<char16_t>* body) {
  if (body == nullptr || !bHasSession()) return;
  // At most the page-source limit: a dead page must not hang the host.
  body_wait_ = true;
  devtools::CallResult r = CallSync(
      "Runtime.evaluate",
      {{"expression", "document.body ? document.body.innerHTML : ''"}, {"returnByValue", true}},
      kPageSourceMs);
  body_wait_ = false;
  std::string text;
  if (r.ok && r.result["result"].contains("value") && r.result["result"]["value"].is_string()) {
    text = r.result["result"]["value"].get<std::string>();
  }
  body->Set(ToUtf16(text).c_str());
}

void CIKQMBrowser::SetBody(const char16_t* html) {
  if (!bHasSession()) return;
  const std::u16string script =
      u"if (document.body) document.body.innerHTML = " + JsLiteral(Text16(html)) + u";";
  Send("Runtime.evaluate", {{"expression", ToUtf8(script)}});
}

void CIKQMBrowser::ExecuteJavascriptWaitFrame(const char16_t* script, ICkFrame* callback) {
  if (callback == nullptr || !bHasSession()) return;
  const int32_t n = g_next_frame++;
  callback->AddRef();
  {
    std::lock_guard<std::mutex> lock(bridge_->frames_mu);
    bridge_->frames.push_back({n, ViewWidth(), ViewHeight(), TickMs(), callback});
  }
  const std::u16string text = Text16(script) + u";\nrequestAnimationFrame(\t\tfunction(){\t\t\tZQ.Execute(\"" +
                              ToUtf16(kFrameProcedure) + u"\"," + ToUtf16(std::to_string(n)) +
                              u");\t\t});";
  ExecuteJavascript(text.c_str());
}

void BrowserBridge::OnPaint(CIKQMBrowser& b, const Bitmap& bitmap) {
  std::vector<ICkFrame*> due;
  const int32_t ack = b.bridge_->acknowledged;
  const int64_t now = TickMs();
  const double zoom = b.ZoomPercent();
  {
    std::lock_guard<std::mutex> lock(b.bridge_->frames_mu);
    auto& frames = b.bridge_->frames;
    for (auto it = frames.begin(); it != frames.end();) {
      // The page's frame may come before the browser paints at the view's
      // size of the request: only a paint of that size answers it.
      if (it->number <= ack &&
          PaintMatches(bitmap.width, bitmap.height, it->width, it->height, zoom)) {
        due.push_back(it->callback);
        it = frames.erase(it);
      } else if (now - it->tick > kFrameWaitMs) {
        it->callback->Release();  // never acknowledged: expired
        it = frames.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (ICkFrame* f : due) {
    f->OnFrame(bitmap.bgra.data(), static_cast<int32_t>(bitmap.bgra.size()), bitmap.width,
               bitmap.height);
    f->Release();
  }
}

// --- HTML loading and page source ---

void CIKQMBrowser::LoadHtml(const char16_t* html) {
  if (!bHasSession()) return;
  const std::u16string text = Text16(html);
  const std::u16string data_url = HtmlDataUrl(text);
  std::string target;
  if (SentUrlLength(data_url) > kMaxDataUrl) {
    const std::string url =
        std::string(kLocalBase) + "/contenu_" + std::to_string(g_next_page++) + ".html";
    {
      std::lock_guard<std::mutex> lock(bridge_->page_mu);
      bridge_->page = {url, ToUtf8(text), "text/html", "UTF-8"};
    }
    target = url;
  } else {
    std::lock_guard<std::mutex> lock(bridge_->page_mu);
    bridge_->page = {};
    target = ToUtf8(data_url);
  }
  UpdateFetch();
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    last_command_ = {{"method", "Page.navigate"}, {"params", {{"url", target}}}};
  }
  // A refused navigation is told: the host would wait for its load.
  std::weak_ptr<CIKQMBrowser> weak = weak_from_this();
  const bool local = target.compare(0, 5, "data:") != 0;
  engine_->Conn().CallAsync(
      "Page.navigate", {{"url", target}}, Session(),
      [weak, local, target](const devtools::CallResult& r) {
        auto self = weak.lock();
        if (!self) return;
        std::string text = r.ok ? r.result.value("errorText", "") : r.error;
        if (text.empty()) return;
        CallbackRef cb = self->Callback();
        if (cb && cb.Version() >= 9) {
          const std::string shown = local ? target : "data:text/html";
          cb->OnLoadError(ToUtf16(shown).c_str(), true, NetErrorCode(text), ToUtf16(text).c_str());
        }
      });
}

void CIKQMBrowser::vGetCurrentHtmlContent(CXYString<char16_t>* html) {
  if (html == nullptr || !bHasSession()) return;
  const auto start = std::chrono::steady_clock::now();
  devtools::CallResult doc = CallSync("DOM.getDocument", {{"depth", 0}}, kPageSourceMs);
  if (!doc.ok) return;
  const int left = kPageSourceMs - static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                        std::chrono::steady_clock::now() - start)
                                                        .count());
  if (left <= 0) return;
  devtools::CallResult r =
      CallSync("DOM.getOuterHTML", {{"nodeId", doc.result["root"].value("nodeId", 0)}}, left);
  if (!r.ok) return;  // a late answer is dropped by the connection
  html->nAjoute(ToUtf16(r.result.value("outerHTML", "")).c_str());
}

// --- requests ---

bool BrowserBridge::NeedsFetch(CIKQMBrowser& b) {
  {
    std::lock_guard<std::mutex> lock(b.bridge_->page_mu);
    if (!b.bridge_->page.url.empty()) return true;
  }
  std::lock_guard<std::mutex> lock(b.callback_mu_);
  return b.callback_ != nullptr || b.second_ != nullptr;
}

void CIKQMBrowser::UpdateFetch() {
  if (Session().empty() || closing_) return;
  const bool need = BrowserBridge::NeedsFetch(*this);
  {
    std::lock_guard<std::mutex> lock(state_mu_);
    if (need == fetch_on_) return;
    fetch_on_ = need;
  }
  if (need) {
    CallSync("Fetch.enable", {{"patterns", Json::array({{{"urlPattern", "*"}, {"requestStage", "Request"}}})}});
  } else {
    CallSync("Fetch.disable", Json::object());
  }
}

namespace {

class ResponseSink final : public IResponseSink {
 public:
  void SetBytes(const void* data, intptr_t size) override {
    bytes.assign(static_cast<const char*>(data), size > 0 ? static_cast<size_t>(size) : 0);
  }
  void SetMimeType(const char* m) override { mime = m != nullptr ? m : ""; }
  void SetCharset(const char* c) override { charset = c != nullptr ? c : ""; }
  std::string bytes, mime, charset;
};

class CIRequetHttpImpl final : public CIRequetHttp {
 public:
  void AddHeader(const char16_t* name, const char16_t* value) override {
    const std::u16string n = Text16(name), v = Text16(value);
    if (!ValidHeader(n, v)) return;  // refused: no header added
    this->name = ToUtf8(n);
    this->value = ToUtf8(v);
    set = true;
  }
  bool set = false;
  std::string name, value;
};

Json Fulfil(const std::string& id, const StoredPage& page) {
  std::string type = page.mime.empty() ? "application/octet-stream" : page.mime;
  if (!page.charset.empty()) type += "; charset=" + page.charset;
  return {{"requestId", id},
          {"responseCode", 200},
          {"responseHeaders",
           Json::array({{{"name", "Content-Type"}, {"value", type}},
                        {{"name", "Content-Length"}, {"value", std::to_string(page.bytes.size())}}})},
          {"body", Base64Encode(page.bytes.data(), page.bytes.size())}};
}

}  // namespace

namespace {

// The name of frame `id` in a Page.getFrameTree tree, "" when unnamed or
// absent.
std::string FrameName(const Json& tree, const std::string& id) {
  if (!tree.is_object()) return "";
  auto frame = tree.find("frame");
  if (frame != tree.end() && frame->is_object() && frame->value("id", "") == id) {
    return frame->value("name", "");
  }
  auto children = tree.find("childFrames");
  if (children == tree.end() || !children->is_array()) return "";
  for (const Json& child : *children) {
    std::string name = FrameName(child, id);
    if (!name.empty()) return name;
  }
  return "";
}

}  // namespace

void CIKQMBrowser::OnRequestPaused(const Json& p) {
  const std::string type = p.value("resourceType", "");
  const std::string url = p.value("request", Json::object()).value("url", "");
  if (type == "Document" && p.value("frameId", "") != TargetId() &&
      url.compare(0, 5, "data:") != 0 && Callback()) {
    // A sub-frame's navigation names its frame: the request waits for the
    // page's frame tree.
    std::weak_ptr<CIKQMBrowser> weak = weak_from_this();
    engine_->Conn().CallAsync("Page.getFrameTree", Json::object(), Session(),
                              [weak, p](const devtools::CallResult& r) {
                                auto self = weak.lock();
                                if (!self || self->closing_) return;
                                const Json tree = r.ok ? r.result.value("frameTree", Json())
                                                       : Json();
                                self->DecidePaused(p, FrameName(tree, p.value("frameId", "")));
                              });
    return;
  }
  DecidePaused(p, "");
}

void CIKQMBrowser::DecidePaused(const Json& p, const std::string& frame_name) {
  const std::string id = p.value("requestId", "");
  const Json& request = p["request"];
  const std::string url = request.value("url", "");
  const std::string type = p.value("resourceType", "");
  const bool document = type == "Document";
  const bool main_frame = document && p.value("frameId", "") == TargetId();
  const bool redirect = p.contains("redirectedRequestId");
  const std::u16string url16 = ToUtf16(url);

  if (document && url.compare(0, 5, "data:") != 0) {
    CallbackRef cb = Callback();
    if (cb) {
      bool gesture;
      int mods;
      {
        std::lock_guard<std::mutex> lock(state_mu_);
        gesture = gesture_url_ == url;
        if (gesture) gesture_url_.clear();
        mods = last_modifiers_;
      }
      const bool new_window = !redirect && (gesture || (mods & (2 | 8)) != 0);
      const std::u16string frame = frame_name.empty() ? u"_Self" : ToUtf16(frame_name);
      stNavigation nav{url16.c_str(), frame.c_str(), 0};
      bool go = true;
      if (new_window && !cb->bOnNewWindow(&nav)) go = false;
      if (go && main_frame) {
        go = cb->bBeforeNavigation(&nav) && cb->bOnNavigate(&nav, true);
      } else if (go) {
        go = cb->bOnNavigate(&nav, false);
      }
      if (!go) {
        Send("Fetch.failRequest", {{"requestId", id}, {"errorReason", "Aborted"}});
        return;
      }
    }
  }
  StoredPage page;
  {
    std::lock_guard<std::mutex> lock(bridge_->page_mu);
    if (!bridge_->page.url.empty() && bridge_->page.url == url) page = bridge_->page;
  }
  if (!page.url.empty()) {
    Send("Fetch.fulfillRequest", Fulfil(id, page));
    return;
  }
  IRequestInterceptor* interceptor;
  {
    std::lock_guard<std::mutex> lock(callback_mu_);
    interceptor = static_cast<IRequestInterceptor*>(second_);
    if (interceptor != nullptr) interceptor->AddRef();
  }
  if (interceptor != nullptr) {
    ResponseSink sink;
    const bool served = interceptor->bIntercept(url16.c_str(), &sink);
    interceptor->Release();
    if (served) {
      Send("Fetch.fulfillRequest", Fulfil(id, {url, sink.bytes, sink.mime, sink.charset}));
      return;
    }
  }
  CallbackRef cb = Callback();
  if (!main_frame) {
    if (cb) {
      const int32_t kind = ResourceKind(type);
      bool allowed = true;
      cb->OnResourceRequest(url16.c_str(), kind, &allowed);
      if (!allowed && kind == 0) {
        Send("Fetch.failRequest", {{"requestId", id}, {"errorReason", "BlockedByClient"}});
        return;
      }
    }
    Send("Fetch.continueRequest", {{"requestId", id}});
    return;
  }
  CIRequetHttpImpl http;
  if (cb) cb->OnMainFrameRequest(url16.c_str(), &http);
  if (!http.set) {
    Send("Fetch.continueRequest", {{"requestId", id}});
    return;
  }
  Json headers = Json::array();
  if (request.contains("headers") && request["headers"].is_object()) {
    for (auto& [k, v] : request["headers"].items()) {
      if (v.is_string()) headers.push_back({{"name", k}, {"value", v}});
    }
  }
  headers.push_back({{"name", http.name}, {"value", http.value}});
  Send("Fetch.continueRequest", {{"requestId", id}, {"headers", headers}});
}

}  // namespace qg::web
