// One running browser process and the routing of its events: events of a
// page session go to the object registered for that session, the others
// to the registered root listeners. Shared by the manager and every browser
// object; the process ends with Stop (the manager's last Shutdown) and the
// memory with the last reference.
#ifndef QG_BROWSER_ENGINE_H_
#define QG_BROWSER_ENGINE_H_

#include <condition_variable>
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "browser/devtools/connection.h"

namespace qg::web {

// Receives events on the dispatch thread.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void OnEvent(const devtools::Message& message) = 0;
  // A command of this sink's session is unanswered past the limit (the
  // engine's watch thread; once until the session answers again).
  virtual void OnUnresponsive() {}
  // Called for every session sink about every kTickMs (the engine's watch
  // thread); must not block.
  virtual void OnTick() {}
};

class CIKQMBrowser;

class Engine : public std::enable_shared_from_this<Engine> {
 public:
  // Launches the process; null with *errno_out when it cannot start.
  static std::shared_ptr<Engine> Launch(const std::vector<std::string>& argv, int* errno_out,
                                        bool quiet);

  devtools::Connection& Conn() { return *connection_; }
  bool bAlive() const { return connection_->bAlive(); }

  // Sessions: events carrying that session id. Root: events without one
  // (and the end of the process, which every sink gets).
  void RegisterSession(const std::string& session, std::weak_ptr<EventSink> sink);
  void UnregisterSession(const std::string& session);
  void AddRootSink(std::weak_ptr<EventSink> sink);
  // A root sink that lives as long as the engine.
  void AddRootSink(std::shared_ptr<EventSink> sink, bool owned);

  // Page targets of browser objects by target id (a popup names its opener).
  void RegisterTarget(const std::string& target_id, std::weak_ptr<CIKQMBrowser> browser);
  void UnregisterTarget(const std::string& target_id);
  std::shared_ptr<CIKQMBrowser> FindTarget(const std::string& target_id);

  // Sync call on the browser (no session).
  devtools::CallResult Call(const std::string& method, devtools::Json params,
                            int timeout_ms = 10000) {
    return connection_->Call(method, std::move(params), {}, timeout_ms);
  }

  // Stops the process: Browser.close, at most `limit_ms` for it to exit,
  // then SIGKILL of its group; then the threads.
  void Stop(int limit_ms);
  ~Engine();

  // How long a page's command may stay unanswered before its page counts
  // as unresponsive (ms).
  static constexpr int kUnresponsiveMs = 5000;
  // Period of the watch thread (ms).
  static constexpr int kTickMs = 100;
  // Test hook: another limit (0 restores the default).
  static void SetUnresponsiveLimitForTest(int ms);

 private:
  void Route(const devtools::Message& message);
  void CheckUnresponsive();
  void TickSessions();
  void StopWatch();

  std::unique_ptr<devtools::Connection> connection_;
  std::mutex mu_;
  std::map<std::string, std::weak_ptr<EventSink>> sessions_;
  std::vector<std::weak_ptr<EventSink>> roots_;
  std::vector<std::shared_ptr<EventSink>> owned_roots_;
  std::map<std::string, std::weak_ptr<CIKQMBrowser>> targets_;

  // The watch thread: looks for unanswered page commands twice a second,
  // holding the engine only while it looks.
  struct WatchState {
    std::mutex mu;
    std::condition_variable cv;
    bool stop = false;
  };
  std::shared_ptr<WatchState> watch_state_ = std::make_shared<WatchState>();
  std::thread watch_;
  std::set<std::string> reported_;  // sessions told and not answering yet (watch thread)
};

}  // namespace qg::web

#endif  // QG_BROWSER_ENGINE_H_
