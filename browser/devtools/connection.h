// A Chromium child process and its DevTools pipe.
//
// The child reads commands on its fd 3 and writes replies and events on its
// fd 4; both are AF_UNIX socket pairs, written with MSG_NOSIGNAL so that a
// dead child never raises SIGPIPE in the host. The child runs in its own
// process group and dies with the host (PR_SET_PDEATHSIG).
//
// Threads: the reader thread only cuts frames and hands each reply to the
// caller that waits for it; events and asynchronous replies are queued for
// the dispatch thread, which runs every handler in order. Handlers may make
// synchronous calls (the reader thread answers them). No lock is held while
// a handler or a reply callback runs.
//
// End of file on the pipe (the child died or closed it) fails every pending
// call and marks the connection dead; handlers then get the event
// kDisconnected once.
#ifndef QG_BROWSER_DEVTOOLS_CONNECTION_H_
#define QG_BROWSER_DEVTOOLS_CONNECTION_H_

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "browser/devtools/message.h"

namespace qg::devtools {

// Name of the event handed to the handler when the pipe ends.
inline constexpr const char* kDisconnected = "qg.disconnected";

struct CallResult {
  bool ok = false;
  Json result;
  std::string error;  // the browser's error message, or why the call failed
};

class Connection {
 public:
  using EventHandler = std::function<void(const Message&)>;
  using ReplyHandler = std::function<void(const CallResult&)>;

  // Starts `argv[0]` with the pipe; argv must not hold the pipe switch
  // (added here). `quiet` sends the child's standard output and error to
  // /dev/null. Null with *errno_out set when the process cannot start.
  static std::unique_ptr<Connection> Launch(const std::vector<std::string>& argv,
                                            EventHandler handler, int* errno_out,
                                            bool quiet = false);

  ~Connection();  // kills the child's group if still alive, joins threads

  // Sends and waits at most timeout_ms for the reply.
  CallResult Call(const std::string& method, Json params, const std::string& session = {},
                  int timeout_ms = 10000);
  // Sends; `done` (may be empty) runs on the dispatch thread with the reply
  // or the failure. Returns the command id, or -1 when the pipe is dead
  // (done then still runs, with a failure). With `on_reader` a reply runs
  // `done` on the reader thread itself: it must not block (no host call, no
  // synchronous call); it may send.
  int64_t CallAsync(const std::string& method, Json params, const std::string& session,
                    ReplyHandler done, bool on_reader = false);
  // Drops the interest in a reply: `done` of CallAsync will not run.
  void Forget(int64_t id);
  // Sees every event first, on the reader thread: true consumes it, false
  // queues it for the dispatch thread as usual. It must not block (no host
  // call, no synchronous call); it may send.
  using EventFilter = std::function<bool(const Message&)>;
  void SetEventFilter(EventFilter filter);
  // Queues a task for the dispatch thread.
  void Post(std::function<void()> task);

  // Sessions with a command sent more than `older_than_ms` ago and still
  // unanswered, each once. Commands that wait on the network or on a long
  // job by design (navigation, reload, printing) do not count.
  std::vector<std::string> SessionsWaiting(int64_t older_than_ms);

  bool bAlive() const { return alive_.load(); }
  pid_t Pid() const { return pid_; }
  bool OnDispatchThread() const { return std::this_thread::get_id() == dispatch_id_; }

  // Waits at most timeout_ms for the child to exit and reaps it; true when
  // it exited. After a reap, Kill does nothing.
  bool WaitExit(int timeout_ms);
  // SIGKILL to the child's process group (and the child), then reaps it.
  void Kill();
  // Ends the threads after the child is gone; further calls fail at once.
  void Stop();

 private:
  Connection() = default;
  void ReaderLoop();
  void DispatchLoop();
  bool Write(const std::string& frame);
  void FailAll(const std::string& why);

  pid_t pid_ = -1;
  bool reaped_ = false;
  std::mutex reap_mu_;
  int write_fd_ = -1;
  int read_fd_ = -1;
  int wake_fd_[2] = {-1, -1};  // wakes the reader at Stop
  std::atomic<bool> alive_{true};
  std::atomic<int64_t> next_id_{1};
  EventHandler handler_;
  EventFilter filter_;  // guarded by mu_

  std::mutex write_mu_;

  struct Pending {
    bool sync = false;
    bool on_reader = false;
    bool done = false;
    bool watched = false;  // counts for SessionsWaiting
    std::string session;
    std::chrono::steady_clock::time_point sent;
    CallResult result;
    ReplyHandler handler;
  };
  std::mutex mu_;  // guards pending_ and queue_
  std::condition_variable reply_cv_;
  std::condition_variable queue_cv_;
  std::map<int64_t, std::shared_ptr<Pending>> pending_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;

  std::thread reader_;
  std::thread dispatcher_;
  std::thread::id dispatch_id_;
};

}  // namespace qg::devtools

#endif  // QG_BROWSER_DEVTOOLS_CONNECTION_H_
