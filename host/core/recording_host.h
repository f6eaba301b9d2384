// Stand-in of the companion's recording service: host elements by answer,
// as the application's windows carry them, and the runner it was handed.
#ifndef QG_HOST_CORE_RECORDING_HOST_H_
#define QG_HOST_CORE_RECORDING_HOST_H_

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "host/core/component_access.h"
#include "support/frame/recorder_abi.h"

namespace qghost {

// A host element with plain fields.
class HostElement final : public qg::IElementIdentifie {
 public:
  int32_t nType() override { return type; }
  const char16_t* pszNom() override { return name.c_str(); }
  qg::IElementIdentifie* piParent() override { return parent; }
  qg::IElementIdentifie* piInterieur() override { return inner; }
  uint32_t hFenetre() override { return window; }
  int32_t nMode() override { return mode; }
  int32_t bGereSouris(uint32_t, int32_t, int32_t) override { return handles_mouse ? 1 : 0; }
  const char16_t* pszSelection() override {
    return selection.empty() ? nullptr : selection.c_str();
  }
  uint32_t hFenetreSelection() override { return selection_window; }

  int32_t type = 1;
  std::u16string name;
  HostElement* parent = nullptr;
  HostElement* inner = nullptr;
  uint32_t window = 0;
  int32_t mode = 0;
  bool handles_mouse = false;
  std::u16string selection;
  uint32_t selection_window = 0;
};

class RecordingService : public Component<qg::IServiceEnregistrement> {
 public:
  void SetRunner(qg::ITestFactory* runner) override;
  qg::IElementIdentifie* piElement(int32_t kind, uint32_t answer) override;

  // Adds an element answered for `answer` (kept at a stable address).
  HostElement& Add(uint32_t answer, int32_t type, const std::u16string& name,
                   HostElement* parent = nullptr);
  void Clear();

  qg::ITestFactory* runner() const { return runner_; }
  int nSetRunner() const { return set_runner_; }
  // The kinds the recorder passed, in order.
  std::deque<int32_t> kinds_asked;

 private:
  std::mutex mu_;
  std::deque<HostElement> elements_;
  std::map<uint32_t, HostElement*> by_answer_;
  qg::ITestFactory* runner_ = nullptr;
  int set_runner_ = 0;
};

}  // namespace qghost

#endif  // QG_HOST_CORE_RECORDING_HOST_H_
