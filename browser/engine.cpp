#include "browser/engine.h"

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
  return engine;
}

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
  if (connection_->bAlive()) {
    connection_->CallAsync("Browser.close", nullptr, {}, nullptr);
  }
  if (!connection_->WaitExit(limit_ms)) connection_->Kill();
  connection_->Stop();
}

}  // namespace qg::web
