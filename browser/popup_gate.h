// The gate of new page targets. The browser attaches to every new target
// and holds it before it runs (the root's auto-attach waits for the
// debugger), so a page's popup can be decided before its first request:
// targets opened by a browser object's page are that browser's popups and
// it decides (dispatch thread: it asks the host); a popup of a popup the
// gate let run runs too; a popup whose opener is gone (its browser object
// closed or re-created its page meanwhile) is refused, as nobody is left to
// decide; any other target (the browser objects' own pages, workers) runs at
// once, from the reader thread, so that a page created while the dispatch
// thread is busy (by a host callback, or a page re-created there) is not
// held.
#ifndef QG_BROWSER_POPUP_GATE_H_
#define QG_BROWSER_POPUP_GATE_H_

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "browser/engine.h"

namespace qg::web {

class PopupGate : public EventSink {
 public:
  // Installs the gate on a started engine (owned by it) and sends its
  // auto-attach without waiting: `done` gets the reply (refused: not ok).
  static void Install(const std::shared_ptr<Engine>& engine,
                      devtools::Connection::ReplyHandler done);

  void OnEvent(const devtools::Message& message) override;

 private:
  // Reader thread: resumes held targets no browser object opened; true when
  // the event needs nothing more.
  bool bResumeUnowned(const devtools::Message& message);
  // Resumes a held target and lets it run (allow) or closes it.
  static void Decide(devtools::Connection& conn, const std::string& session,
                     const std::string& target, bool allow);
  // The answer for a target no browser object owns (no opener, or an opener
  // that is no browser object now); an allowed popup is remembered as one.
  bool bAllowWithoutBrowser(const std::string& opener, const std::string& target);
  explicit PopupGate(std::weak_ptr<Engine> engine) : engine_(std::move(engine)) {}
  std::weak_ptr<Engine> engine_;
  std::mutex mu_;
  std::set<std::string> allowed_popups_;  // target ids; guarded by mu_
};

}  // namespace qg::web

#endif  // QG_BROWSER_POPUP_GATE_H_
