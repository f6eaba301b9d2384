#include "browser/popup_gate.h"

#include "browser/cef_browser.h"

namespace qg::web {

using devtools::Json;

bool PopupGate::Install(const std::shared_ptr<Engine>& engine) {
  std::shared_ptr<PopupGate> gate(new PopupGate(engine));
  engine->AddRootSink(gate, /*owned=*/true);
  return engine
      ->Call("Target.setAutoAttach",
             {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}})
      .ok;
}

void PopupGate::OnEvent(const devtools::Message& m) {
  if (m.method != "Target.attachedToTarget") return;
  const Json& p = m.result;
  if (!p.value("waitingForDebugger", false)) return;
  std::shared_ptr<Engine> engine = engine_.lock();
  if (!engine) return;
  const std::string session = p.value("sessionId", "");
  const Json& info = p["targetInfo"];
  const std::string target = info.value("targetId", "");
  bool allow = true;
  if (std::shared_ptr<CIKQMBrowser> opener = engine->FindTarget(info.value("openerId", ""))) {
    allow = opener->bAllowPopup(info.value("url", ""));
  }
  devtools::Connection& conn = engine->Conn();
  // A held target must run before it can close: closing it while it waits
  // leaves its opener blocked.
  conn.CallAsync("Runtime.runIfWaitingForDebugger", Json::object(), session, nullptr);
  if (allow) {
    conn.CallAsync("Target.detachFromTarget", {{"sessionId", session}}, {}, nullptr);
  } else {
    conn.CallAsync("Target.closeTarget", {{"targetId", target}}, {}, nullptr);
  }
}

}  // namespace qg::web
