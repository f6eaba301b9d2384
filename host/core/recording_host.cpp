#include "host/core/recording_host.h"

namespace qghost {

void RecordingService::SetRunner(qg::ITestFactory* runner) {
  std::lock_guard<std::mutex> lock(mu_);
  runner_ = runner;
  ++set_runner_;
}

qg::IElementIdentifie* RecordingService::piElement(int32_t kind, uint32_t answer) {
  std::lock_guard<std::mutex> lock(mu_);
  kinds_asked.push_back(kind);
  auto it = by_answer_.find(answer);
  return it != by_answer_.end() ? it->second : nullptr;
}

HostElement& RecordingService::Add(uint32_t answer, int32_t type, const std::u16string& name,
                                   HostElement* parent) {
  std::lock_guard<std::mutex> lock(mu_);
  HostElement& e = elements_.emplace_back();
  e.type = type;
  e.name = name;
  e.parent = parent;
  if (answer != 0) by_answer_[answer] = &e;
  return e;
}

void RecordingService::Clear() {
  std::lock_guard<std::mutex> lock(mu_);
  by_answer_.clear();
  elements_.clear();
  kinds_asked.clear();
}

}  // namespace qghost
