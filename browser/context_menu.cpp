#include "browser/context_menu.h"

#include <climits>

#include "browser/browser_bridge.h"
#include "browser/cef_browser.h"
#include "browser/utf.h"

namespace qg::web {

CIIMenuCorrecteurCEF::CIIMenuCorrecteurCEF(std::u16string word, int32_t suggestions,
                                           IMenuModel& model,
                                           std::shared_ptr<IMenuRunCallback> callback)
    : word_(std::move(word)), suggestions_(suggestions), callback_(std::move(callback)) {
  const int32_t n = model.Count();
  for (int32_t i = 0; i < n; ++i) {
    const int32_t id = model.CommandIdAt(i);
    if (id == -1) continue;  // separators
    labels_.push_back(model.LabelAt(i));
    ids_.push_back(id);
  }
}

CIIMenuCorrecteurCEF::~CIIMenuCorrecteurCEF() {
  // Released with nothing chosen: the menu request is cancelled.
  if (callback_) callback_->Cancel();
}

int32_t CIIMenuCorrecteurCEF::Release() {
  const int32_t n = --refs_;
  if (n == 0) delete this;
  return n;
}

const char16_t* CIIMenuCorrecteurCEF::pszGetItemLabel(int32_t index) {
  if (index < 0 || index >= nGetItemCount()) return nullptr;
  return labels_[index].c_str();
}

void CIIMenuCorrecteurCEF::ChooseItem(int32_t index) {
  if (index < 0 || index >= nGetItemCount()) return;
  std::shared_ptr<IMenuRunCallback> cb;
  {
    std::lock_guard<std::mutex> lock(mu_);
    cb = std::move(callback_);  // continues at most once
  }
  if (cb) cb->Continue(ids_[index], 0);
}

void OnBeforeContextMenu(const ContextMenuParams& params, IMenuModel& model) {
  if (params.misspelled_word.empty()) return;
  for (int i = 0; i < 8 && model.Count() > 0; ++i) model.RemoveAt(0);
}

bool RunContextMenu(const ContextMenuParams& params, IMenuModel& model,
                    std::shared_ptr<IMenuRunCallback> callback, ICallbackFromKQMBrowser* host) {
  if (params.on_link && !params.link_url.empty() && host != nullptr &&
      !host->bOnLinkContextMenu(params.link_url.c_str())) {
    return true;
  }
  if (!params.misspelled_word.empty() && params.suggestion_count > 0) {
    if (host == nullptr || host->nGetVersion() < 17) return false;
    auto* menu = new CIIMenuCorrecteurCEF(params.misspelled_word, params.suggestion_count, model,
                                          std::move(callback));
    const bool own_menu = host->bOnSpellCheckMenu(params.x, params.y, menu);
    menu->Release();
    return !own_menu;
  }
  if (host == nullptr) return false;
  return !host->bOnContextMenu(params.x, params.y);
}

// --- the browser's side ---

void CIKQMBrowser::SpellCheck(bool on) {
  const std::u16string script = u"console.log('" + ToUtf16(kInternalPrefix) +
                                (on ? u"SpellCheck_true" : u"SpellCheck_false") + u"')";
  ExecuteJavascript(script.c_str());
}

void CIKQMBrowser::SpellCheckLanguage(const char16_t* first, const char16_t* second) {
  const std::u16string language = std::u16string(second != nullptr ? second : u"") + u"-" +
                                  std::u16string(first != nullptr ? first : u"");
  // The texts come from the host: escaped so that a quote stays inside.
  const std::u16string script = u"console.log('" + ToUtf16(kInternalPrefix) +
                                u"SpellCheck_language=" + JsEscape(language) + u"')";
  ExecuteJavascript(script.c_str());
}

bool BrowserBridge::HandleInternalCommand(CIKQMBrowser& b, const std::string& text) {
  std::string command;
  if (!InternalCommand(text, &command)) return false;
  const std::string language_key = "SpellCheck_language=";
  if (command == "SpellCheck_true" || command == "SpellCheck_false") {
    const bool on = command == "SpellCheck_true";
    {
      std::lock_guard<std::mutex> lock(b.bridge_->prefs_mu);
      b.bridge_->spellcheck = on;
    }
    if (on) {
      for (int32_t code : {37, 39}) {  // left, then right: the page rechecks
        stKeyBrowser key{};
        key.nKind = 1;
        key.nWindowsKeyCode = code;
        key.nNativeKeyCode = code;
        b.Key(&key);
      }
    }
  } else if (command.compare(0, language_key.size(), language_key) == 0) {
    std::lock_guard<std::mutex> lock(b.bridge_->prefs_mu);
    b.bridge_->dictionaries = {command.substr(language_key.size())};
  }
  return true;
}

bool MenuCoordinate(const devtools::Json& v, int32_t* out) {
  if (!v.is_number()) return false;
  const double d = v.get<double>();
  // Checked before the conversion, which is undefined outside the range.
  if (!(d >= INT32_MIN && d <= INT32_MAX)) return false;  // NaN fails too
  *out = static_cast<int32_t>(d);
  return true;
}

void CIKQMBrowser::OnPageContextMenu(const std::vector<devtools::Json>& args) {
  ContextMenuParams params;
  if (args.size() < 3 || !MenuCoordinate(args[0], &params.x) ||
      !MenuCoordinate(args[1], &params.y) || !args[2].is_string()) {
    return;  // a page's own call with values no click gives
  }
  params.link_url = ToUtf16(args[2].get<std::string>());
  params.on_link = !params.link_url.empty();
  CallbackRef cb = Callback();
  if (!cb) return;
  // The page's menu has no model here: an empty one, and nothing to continue.
  struct EmptyModel : IMenuModel {
    int32_t Count() override { return 0; }
    int32_t CommandIdAt(int32_t) override { return -1; }
    std::u16string LabelAt(int32_t) override { return {}; }
    void RemoveAt(int32_t) override {}
  } model;
  RunContextMenu(params, model, nullptr, cb.get());
}

}  // namespace qg::web
