#include "host/core/external_execution.h"

namespace qghost {

ExternalExecution& External() {
  static ExternalExecution instance;
  return instance;
}

int32_t ExternalExecution::InitEx(qg::ExternalSessionRecord* session,
                                  qg::ExternalOptionsRecord* options) {
  std::lock_guard<std::mutex> lock(mu_);
  log_.push_back("init");
  if (session != nullptr) {
    seen_ = *session;
    seen_name_ = session->pszName != nullptr ? session->pszName : u"";
  }
  if (options != nullptr) seen_options_ = *options;
  if (init_answer_ == 0) open_ = session;
  return init_answer_;
}

void ExternalExecution::Term(qg::ExternalSessionRecord* session) {
  std::lock_guard<std::mutex> lock(mu_);
  log_.push_back(session == open_ && open_ != nullptr ? "term own" : "term");
  if (session == open_) open_ = nullptr;
}

int32_t ExternalExecution::Empile(qg::ExternalSessionRecord* session, const void* value,
                                  int32_t kind) {
  std::lock_guard<std::mutex> lock(mu_);
  const char* own = session == open_ && open_ != nullptr ? " own" : "";
  if (kind == kPushText) {
    // A UTF-16 text: logged as its ASCII part.
    std::string text;
    for (auto* p = static_cast<const char16_t*>(value); p != nullptr && *p != 0; ++p) {
      text += *p < 0x80 ? static_cast<char>(*p) : '?';
    }
    log_.push_back("push \"" + text + "\" " + std::to_string(kind) + own);
    return 0;
  }
  int32_t v = value != nullptr ? *static_cast<const int32_t*>(value) : -1;
  log_.push_back("push " + std::to_string(v) + " " + std::to_string(kind) + own);
  pushed_.push_back(v);
  return 0;
}

int32_t ExternalExecution::Appelle(qg::ExternalSessionRecord* session, int32_t family,
                                   int32_t function, int32_t a, int32_t b) {
  std::vector<int32_t> pushed;
  std::function<void(int32_t, int32_t, const std::vector<int32_t>&)> on_call;
  std::function<bool(uint32_t, int32_t, int32_t)> clicker;
  {
    std::lock_guard<std::mutex> lock(mu_);
    log_.push_back("call " + std::to_string(family) + " " + std::to_string(function) + " " +
                   std::to_string(a) + " " + std::to_string(b) +
                   (session == open_ && open_ != nullptr ? " own" : ""));
    pushed.swap(pushed_);
    on_call = on_call_;
    clicker = clicker_;
  }
  // A click: the located element, 65536, then the point.
  if (family == 8 && function == 344 && pushed.size() == 4 && pushed[1] == 65536 && clicker) {
    const auto window = static_cast<uint32_t>(pushed[0]);
    if (clicker(window, pushed[2], pushed[3])) {
      std::lock_guard<std::mutex> lock(mu_);
      log_.push_back("click " + std::to_string(window) + " " + std::to_string(pushed[2]) + " " +
                     std::to_string(pushed[3]));
    }
  }
  if (on_call) on_call(family, function, pushed);
  return 0;
}

void ExternalExecution::SetClicker(std::function<bool(uint32_t, int32_t, int32_t)> clicker) {
  std::lock_guard<std::mutex> lock(mu_);
  clicker_ = std::move(clicker);
}

void ExternalExecution::SetOnCall(
    std::function<void(int32_t, int32_t, const std::vector<int32_t>&)> on_call) {
  std::lock_guard<std::mutex> lock(mu_);
  on_call_ = std::move(on_call);
}

void ExternalExecution::SetInitAnswer(int32_t answer) {
  std::lock_guard<std::mutex> lock(mu_);
  init_answer_ = answer;
}

std::vector<std::string> ExternalExecution::Log() const {
  std::lock_guard<std::mutex> lock(mu_);
  return log_;
}

void ExternalExecution::Reset() {
  std::lock_guard<std::mutex> lock(mu_);
  init_answer_ = 0;
  log_.clear();
  pushed_.clear();
}

qg::ExternalSessionRecord ExternalExecution::SeenSession() const {
  std::lock_guard<std::mutex> lock(mu_);
  return seen_;
}

std::u16string ExternalExecution::SeenName() const {
  std::lock_guard<std::mutex> lock(mu_);
  return seen_name_;
}

qg::ExternalOptionsRecord ExternalExecution::SeenOptions() const {
  std::lock_guard<std::mutex> lock(mu_);
  return seen_options_;
}

bool ExternalExecution::bOpen() const {
  std::lock_guard<std::mutex> lock(mu_);
  return open_ != nullptr;
}

}  // namespace qghost
