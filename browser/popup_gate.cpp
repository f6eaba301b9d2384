#include "browser/popup_gate.h"

#include "browser/cef_browser.h"

namespace qg::web {

using devtools::Json;

void PopupGate::Install(const std::shared_ptr<Engine>& engine,
                        devtools::Connection::ReplyHandler done) {
  std::shared_ptr<PopupGate> gate(new PopupGate(engine));
  engine->AddRootSink(gate, /*owned=*/true);
  std::weak_ptr<PopupGate> weak = gate;
  engine->Conn().SetEventFilter([weak](const devtools::Message& m) {
    std::shared_ptr<PopupGate> g = weak.lock();
    return g && g->bResumeUnowned(m);
  });
  engine->Conn().CallAsync(
      "Target.setAutoAttach",
      {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}}, {},
      std::move(done));
}

void PopupGate::Decide(devtools::Connection& conn, const std::string& session,
                       const std::string& target, bool allow) {
  // A held target must run before it can close: closing it while it waits
  // leaves its opener blocked. A refused one first holds every request of
  // its own (nobody answers them) so that none leaves before it is closed.
  if (!allow) {
    conn.CallAsync("Fetch.enable",
                   {{"patterns", Json::array({{{"urlPattern", "*"}, {"requestStage", "Request"}}})}},
                   session, nullptr);
  }
  conn.CallAsync("Runtime.runIfWaitingForDebugger", Json::object(), session, nullptr);
  if (allow) {
    conn.CallAsync("Target.detachFromTarget", {{"sessionId", session}}, {}, nullptr);
  } else {
    conn.CallAsync("Target.closeTarget", {{"targetId", target}}, {}, nullptr);
  }
}

bool PopupGate::bAllowWithoutBrowser(const std::string& opener, const std::string& target) {
  if (opener.empty()) return true;
  std::lock_guard<std::mutex> lock(mu_);
  if (allowed_popups_.count(opener) == 0) return false;
  allowed_popups_.insert(target);
  return true;
}

bool PopupGate::bResumeUnowned(const devtools::Message& m) {
  if (m.method != "Target.attachedToTarget" || !m.session_id.empty()) return false;
  const Json& p = m.result;
  if (!p.value("waitingForDebugger", false)) return true;
  const Json& info = p["targetInfo"];
  std::shared_ptr<Engine> engine = engine_.lock();
  if (!engine) return true;
  const std::string opener = info.value("openerId", ""), target = info.value("targetId", "");
  if (engine->FindTarget(opener)) return false;  // the opener decides
  Decide(engine->Conn(), p.value("sessionId", ""), target, bAllowWithoutBrowser(opener, target));
  return true;
}

void PopupGate::OnEvent(const devtools::Message& m) {
  if (m.method != "Target.attachedToTarget") return;
  std::shared_ptr<Engine> engine = engine_.lock();
  if (!engine) return;
  const Json& p = m.result;
  const Json& info = p["targetInfo"];
  const std::string opener_id = info.value("openerId", ""), target = info.value("targetId", "");
  bool allow;
  if (std::shared_ptr<CIKQMBrowser> opener = engine->FindTarget(opener_id)) {
    allow = opener->bAllowPopup(info.value("url", ""));
    if (allow) {
      std::lock_guard<std::mutex> lock(mu_);
      allowed_popups_.insert(target);
    }
  } else {
    // The opener closed after the reader thread saw it.
    allow = bAllowWithoutBrowser(opener_id, target);
  }
  Decide(engine->Conn(), p.value("sessionId", ""), target, allow);
}

}  // namespace qg::web
