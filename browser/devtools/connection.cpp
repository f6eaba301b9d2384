#include "browser/devtools/connection.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace qg::devtools {

namespace {

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// In the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void ChildExec(char* const* argv, int cmd_fd, int out_fd, int err_fd,
                            pid_t parent, bool quiet) {
  setpgid(0, 0);
  if (quiet) {
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, 1);
      dup2(null_fd, 2);
      if (null_fd > 2) close(null_fd);
    }
  }
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // Move the three descriptors above the ones they must land on.
  cmd_fd = fcntl(cmd_fd, F_DUPFD, 10);
  out_fd = fcntl(out_fd, F_DUPFD, 10);
  err_fd = fcntl(err_fd, F_DUPFD_CLOEXEC, 10);
  if (cmd_fd < 0 || out_fd < 0 || err_fd < 0) _exit(127);
  if (dup2(cmd_fd, 3) != 3 || dup2(out_fd, 4) != 4 || dup3(err_fd, 5, O_CLOEXEC) != 5) _exit(127);
  syscall(SYS_close_range, 6u, ~0u, 0u);
  execv(argv[0], argv);
  int e = errno;
  ssize_t ignored = write(5, &e, sizeof e);
  (void)ignored;
  _exit(127);
}

}  // namespace

std::unique_ptr<Connection> Connection::Launch(const std::vector<std::string>& args,
                                               EventHandler handler, int* errno_out,
                                               bool quiet) {
  *errno_out = 0;
  if (args.empty()) {
    *errno_out = EINVAL;
    return nullptr;
  }
  std::vector<std::string> full = args;
  full.push_back("--remote-debugging-pipe");
  std::vector<char*> argv;
  for (std::string& a : full) argv.push_back(a.data());
  argv.push_back(nullptr);

  int cmd[2], out[2], err[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, cmd) != 0) {
    *errno_out = errno;
    return nullptr;
  }
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, out) != 0) {
    *errno_out = errno;
    close(cmd[0]);
    close(cmd[1]);
    return nullptr;
  }
  if (pipe2(err, O_CLOEXEC) != 0) {
    *errno_out = errno;
    for (int fd : {cmd[0], cmd[1], out[0], out[1]}) close(fd);
    return nullptr;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) ChildExec(argv.data(), cmd[1], out[1], err[1], parent, quiet);
  const int fork_errno = errno;
  close(cmd[1]);
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    *errno_out = fork_errno;
    for (int fd : {cmd[0], out[0], err[0]}) close(fd);
    return nullptr;
  }
  setpgid(pid, pid);  // also done by the child; whichever runs first wins
  int exec_errno = 0;
  ssize_t n;
  do {
    n = read(err[0], &exec_errno, sizeof exec_errno);
  } while (n < 0 && errno == EINTR);
  close(err[0]);
  if (n == static_cast<ssize_t>(sizeof exec_errno)) {
    waitpid(pid, nullptr, 0);
    close(cmd[0]);
    close(out[0]);
    *errno_out = exec_errno != 0 ? exec_errno : ENOEXEC;
    return nullptr;
  }
  // A stopped child must not block a writer forever.
  timeval send_limit{5, 0};
  setsockopt(cmd[0], SOL_SOCKET, SO_SNDTIMEO, &send_limit, sizeof send_limit);

  std::unique_ptr<Connection> c(new Connection());
  c->pid_ = pid;
  c->write_fd_ = cmd[0];
  c->read_fd_ = out[0];
  c->handler_ = std::move(handler);
  if (pipe2(c->wake_fd_, O_CLOEXEC) != 0) {
    *errno_out = errno;
    return nullptr;  // the destructor kills the child
  }
  c->dispatcher_ = std::thread([p = c.get()] { p->DispatchLoop(); });
  c->dispatch_id_ = c->dispatcher_.get_id();
  c->reader_ = std::thread([p = c.get()] { p->ReaderLoop(); });
  return c;
}

Connection::~Connection() {
  Kill();
  Stop();
  CloseFd(&write_fd_);
  CloseFd(&read_fd_);
  CloseFd(&wake_fd_[0]);
  CloseFd(&wake_fd_[1]);
}

bool Connection::Write(const std::string& frame) {
  std::lock_guard<std::mutex> lock(write_mu_);
  const char* p = frame.c_str();
  size_t left = frame.size() + 1;  // with the NUL
  while (left > 0) {
    ssize_t n = send(write_fd_, p, left, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

static std::string Frame(int64_t id, const std::string& method, Json params,
                         const std::string& session) {
  Json j = {{"id", id}, {"method", method}};
  if (!params.is_null()) j["params"] = std::move(params);
  if (!session.empty()) j["sessionId"] = session;
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

// Commands whose answer waits on the network or on a long job, not only on
// the page's renderer.
bool bWatched(const std::string& method, const std::string& session) {
  if (session.empty()) return false;
  return method != "Page.navigate" && method != "Page.reload" &&
         method != "Page.navigateToHistoryEntry" && method != "Page.printToPDF";
}

}  // namespace

void Connection::SetEventFilter(EventFilter filter) {
  std::lock_guard<std::mutex> lock(mu_);
  filter_ = std::move(filter);
}

std::vector<std::string> Connection::SessionsWaiting(int64_t older_than_ms) {
  const auto limit = std::chrono::steady_clock::now() - std::chrono::milliseconds(older_than_ms);
  std::vector<std::string> out;
  std::lock_guard<std::mutex> lock(mu_);
  for (const auto& [id, p] : pending_) {
    if (!p->watched || p->done || p->sent > limit) continue;
    bool seen = false;
    for (const std::string& s : out) seen = seen || s == p->session;
    if (!seen) out.push_back(p->session);
  }
  return out;
}

CallResult Connection::Call(const std::string& method, Json params, const std::string& session,
                            int timeout_ms) {
  auto pending = std::make_shared<Pending>();
  pending->sync = true;
  pending->watched = bWatched(method, session);
  pending->session = session;
  pending->sent = std::chrono::steady_clock::now();
  const int64_t id = next_id_++;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!alive_ || stopping_) {
      pending->result.error = "the browser has ended";
      return pending->result;
    }
    pending_[id] = pending;
  }
  if (!Write(Frame(id, method, std::move(params), session))) {
    std::lock_guard<std::mutex> lock(mu_);
    pending_.erase(id);
    CallResult r;
    r.error = "the browser pipe cannot be written";
    return r;
  }
  std::unique_lock<std::mutex> lock(mu_);
  reply_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return pending->done; });
  if (!pending->done) {
    pending_.erase(id);
    CallResult r;
    r.error = "no answer from the browser in time";
    return r;
  }
  return std::move(pending->result);
}

int64_t Connection::CallAsync(const std::string& method, Json params, const std::string& session,
                              ReplyHandler done, bool on_reader) {
  auto pending = std::make_shared<Pending>();
  pending->handler = std::move(done);
  pending->on_reader = on_reader;
  pending->watched = bWatched(method, session);
  pending->session = session;
  pending->sent = std::chrono::steady_clock::now();
  const int64_t id = next_id_++;
  bool dead;
  {
    std::lock_guard<std::mutex> lock(mu_);
    dead = !alive_ || stopping_;
    if (!dead) pending_[id] = pending;
  }
  if (!dead && Write(Frame(id, method, std::move(params), session))) return id;
  if (!dead) {
    std::lock_guard<std::mutex> lock(mu_);
    if (pending_.erase(id) == 0) return id;  // a failure already queued it
  }
  if (pending->handler) {
    Post([h = std::move(pending->handler)] {
      CallResult r;
      r.error = "the browser has ended";
      h(r);
    });
  }
  return -1;
}

void Connection::Forget(int64_t id) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = pending_.find(id);
  if (it != pending_.end() && !it->second->sync) pending_.erase(it);
}

void Connection::Post(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(mu_);
  queue_.push_back(std::move(task));
  queue_cv_.notify_one();
}

void Connection::FailAll(const std::string& why) {
  std::lock_guard<std::mutex> lock(mu_);
  for (auto& [id, p] : pending_) {
    p->result.ok = false;
    p->result.error = why;
    p->done = true;
    if (!p->sync && p->handler) {
      queue_.push_back([h = std::move(p->handler), why] {
        CallResult r;
        r.error = why;
        h(r);
      });
    }
  }
  pending_.clear();
  reply_cv_.notify_all();
  queue_cv_.notify_one();
}

void Connection::ReaderLoop() {
  FrameSplitter splitter;
  std::vector<char> buffer(1 << 16);
  std::string frame;
  for (;;) {
    pollfd fds[2] = {{read_fd_, POLLIN, 0}, {wake_fd_[0], POLLIN, 0}};
    int r = poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0) return;  // Stop: the disconnection is not reported
    ssize_t n = read(read_fd_, buffer.data(), buffer.size());
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    splitter.Feed(buffer.data(), static_cast<size_t>(n));
    while (splitter.Next(&frame)) {
      Message m;
      if (!ParseMessage(frame, &m)) continue;
      if (m.id >= 0) {
        std::shared_ptr<Pending> here;
        {
          std::lock_guard<std::mutex> lock(mu_);
          auto it = pending_.find(m.id);
          if (it == pending_.end()) continue;
          std::shared_ptr<Pending> p = it->second;
          pending_.erase(it);
          p->result.ok = !m.is_error;
          p->result.error = std::move(m.error);
          p->result.result = std::move(m.result);
          p->done = true;
          if (p->sync) {
            reply_cv_.notify_all();
          } else if (p->handler && p->on_reader) {
            here = p;
          } else if (p->handler) {
            queue_.push_back([p] { p->handler(p->result); });
            queue_cv_.notify_one();
          }
        }
        if (here) here->handler(here->result);
      } else if (handler_) {
        EventFilter filter;
        {
          std::lock_guard<std::mutex> lock(mu_);
          filter = filter_;
        }
        if (filter && filter(m)) continue;
        auto shared = std::make_shared<Message>(std::move(m));
        std::lock_guard<std::mutex> lock(mu_);
        queue_.push_back([this, shared] { handler_(*shared); });
        queue_cv_.notify_one();
      }
    }
  }
  alive_ = false;
  FailAll("the browser has ended");
  if (handler_) {
    Post([this] {
      Message m;
      m.method = kDisconnected;
      handler_(m);
    });
  }
}

void Connection::DispatchLoop() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mu_);
      queue_cv_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
}

bool Connection::WaitExit(int timeout_ms) {
  std::lock_guard<std::mutex> lock(reap_mu_);
  if (reaped_ || pid_ <= 0) return true;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    pid_t r = waitpid(pid_, nullptr, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
      reaped_ = true;
      killpg(pid_, SIGKILL);  // helpers the browser left behind
      return true;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    usleep(2000);
  }
}

void Connection::Kill() {
  std::lock_guard<std::mutex> lock(reap_mu_);
  if (reaped_ || pid_ <= 0) return;
  killpg(pid_, SIGKILL);
  kill(pid_, SIGKILL);
  while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
  reaped_ = true;
}

void Connection::Stop() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (stopping_ && !reader_.joinable() && !dispatcher_.joinable()) return;
    stopping_ = true;
    queue_cv_.notify_all();
  }
  if (wake_fd_[1] >= 0) {
    char c = 1;
    ssize_t ignored = write(wake_fd_[1], &c, 1);
    (void)ignored;
  }
  if (reader_.joinable()) reader_.join();
  alive_ = false;
  FailAll("the browser has ended");
  {
    std::lock_guard<std::mutex> lock(mu_);
    queue_cv_.notify_all();
  }
  if (dispatcher_.joinable()) {
    if (std::this_thread::get_id() == dispatch_id_) {
      dispatcher_.detach();
    } else {
      dispatcher_.join();
    }
  }
}

}  // namespace qg::devtools
