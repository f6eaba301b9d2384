#include "browser/engine.h"

#include <atomic>
#include <chrono>
#include <set>

namespace qg::web {

std::shared_ptr<Engine> Engine::Launch(const std::vector<std::string>& argv, int* errno_out,
                                       bool quiet) {
  auto engine = std::make_shared<Engine>();
  std::weak_ptr<Engine> weak = engine;
  engine->connection_ = devtools::Connection::Launch(
      argv,
      [weak](const devtools::Message& m) {
        if (auto e = weak.lock()) e->Route(m);
      },
      errno_out, quiet);
  if (!engine->connection_) return nullptr;
  engine->watch_ = std::thread([weak, state = engine->watch_state_] {
    std::unique_lock<std::mutex> lock(state->mu);
    while (!state->stop) {
      state->cv.wait_for(lock, std::chrono::milliseconds(kTickMs), [&] { return state->stop; });
      if (state->stop) break;
      lock.unlock();
      if (auto e = weak.lock()) {
        e->CheckUnresponsive();
        e->TickSessions();
      } else {
        return;
      }
      lock.lock();
    }
  });
  return engine;
}

namespace {
std::atomic<int> g_unresponsive_ms{Engine::kUnresponsiveMs};
}  // namespace

void Engine::SetUnresponsiveLimitForTest(int ms) {
  g_unresponsive_ms = ms > 0 ? ms : kUnresponsiveMs;
}

void Engine::CheckUnresponsive() {
  const std::vector<std::string> waiting = connection_->SessionsWaiting(g_unresponsive_ms);
  std::set<std::string> now(waiting.begin(), waiting.end());
  for (const std::string& session : now) {
    if (reported_.count(session) != 0) continue;
    std::shared_ptr<EventSink> sink;
    {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = sessions_.find(session);
      if (it != sessions_.end()) sink = it->second.lock();
    }
    if (sink) sink->OnUnresponsive();
  }
  reported_ = std::move(now);
}

void Engine::TickSessions() {
  std::vector<std::shared_ptr<EventSink>> sinks;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto& [session, weak] : sessions_) {
      if (auto sink = weak.lock()) sinks.push_back(std::move(sink));
    }
  }
  for (auto& sink : sinks) sink->OnTick();
}

void Engine::StopWatch() {
  {
    std::lock_guard<std::mutex> lock(watch_state_->mu);
    watch_state_->stop = true;
  }
  watch_state_->cv.notify_all();
  if (!watch_.joinable()) return;
  // The watch thread may drop the last reference: it cannot join itself.
  if (watch_.get_id() == std::this_thread::get_id()) {
    watch_.detach();
  } else {
    watch_.join();
  }
}

Engine::~Engine() { StopWatch(); }

void Engine::RegisterSession(const std::string& session, std::weak_ptr<EventSink> sink) {
  std::lock_guard<std::mutex> lock(mu_);
  sessions_[session] = std::move(sink);
}

void Engine::UnregisterSession(const std::string& session) {
  std::lock_guard<std::mutex> lock(mu_);
  sessions_.erase(session);
}

void Engine::AddRootSink(std::weak_ptr<EventSink> sink) {
  std::lock_guard<std::mutex> lock(mu_);
  roots_.push_back(std::move(sink));
}

void Engine::AddRootSink(std::shared_ptr<EventSink> sink, bool owned) {
  std::lock_guard<std::mutex> lock(mu_);
  roots_.push_back(sink);
  if (owned) owned_roots_.push_back(std::move(sink));
}

void Engine::RegisterTarget(const std::string& target_id, std::weak_ptr<CIKQMBrowser> browser) {
  std::lock_guard<std::mutex> lock(mu_);
  targets_[target_id] = std::move(browser);
}

void Engine::UnregisterTarget(const std::string& target_id) {
  std::lock_guard<std::mutex> lock(mu_);
  targets_.erase(target_id);
}

std::shared_ptr<CIKQMBrowser> Engine::FindTarget(const std::string& target_id) {
  if (target_id.empty()) return nullptr;
  std::lock_guard<std::mutex> lock(mu_);
  auto it = targets_.find(target_id);
  return it == targets_.end() ? nullptr : it->second.lock();
}

void Engine::Route(const devtools::Message& m) {
  std::vector<std::shared_ptr<EventSink>> targets;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (m.method == devtools::kDisconnected) {
      for (auto& [s, w] : sessions_) {
        if (auto p = w.lock()) targets.push_back(p);
      }
      for (auto& w : roots_) {
        if (auto p = w.lock()) targets.push_back(p);
      }
    } else if (!m.session_id.empty()) {
      auto it = sessions_.find(m.session_id);
      if (it != sessions_.end()) {
        if (auto p = it->second.lock()) targets.push_back(p);
      }
    } else {
      for (auto& w : roots_) {
        if (auto p = w.lock()) targets.push_back(p);
      }
    }
  }
  for (auto& t : targets) t->OnEvent(m);
}

void Engine::Stop(int limit_ms) {
  StopWatch();
  if (connection_->bAlive()) {
    connection_->CallAsync("Browser.close", nullptr, {}, nullptr);
  }
  if (!connection_->WaitExit(limit_ms)) connection_->Kill();
  connection_->Stop();
}

}  // namespace qg::web
