// Stand-in of the host's component access (host item 7) for the test
// runner, with the components it asks for: "MainVM", "VMData" (stored
// blocks by name: set in memory or read from a fixture folder as
// <name>.qgl), "ObjGate" (accepts or refuses, a version text) and the data
// engine of legacy data-set files (records in memory, by path). Every
// request is logged.
#ifndef QG_HOST_CORE_COMPONENT_ACCESS_H_
#define QG_HOST_CORE_COMPONENT_ACCESS_H_

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/core/scripted_vm.h"
#include "support/frame/test_runner_abi.h"

namespace qghost {

struct ComponentRequest {
  int32_t nFlags;
  const void* pOwner;
  int32_t nKind;
  int32_t nVersion;
  std::u16string sName;
  int32_t nModule;
};

class ComponentAccess;

// A component with a logged reference count.
template <typename Interface>
class Component : public Interface {
 public:
  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override { return --refs_; }
  int32_t nRefs() const { return refs_; }

 private:
  std::atomic<int32_t> refs_{0};
};

using MainVM = ScriptedVM;

class VMData : public Component<qg::IVMData> {
 public:
  explicit VMData(ComponentAccess& owner) : owner_(owner) {}
  intptr_t nGetContext() override { return 0x5151; }
  void Request(qg::ListRequest* request, CXError* error) override;

  // The last request as it came, with its names copied.
  qg::ListRequest last_;
  std::u16string last_first_, last_second_;
  int nRequests = 0;

 private:
  ComponentAccess& owner_;
};

// The main window: its rectangle.
class MainPnt : public Component<qg::IMainPnt> {
 public:
  void Rectangle(int32_t rect[4]) override {
    for (int i = 0; i < 4; ++i) rect[i] = rect_[i];
  }
  int32_t rect_[4] = {0, 0, 2400, 1000};
};

class ObjGate : public Component<qg::IObjGate> {
 public:
  // A grey image of the rectangle's size, saved as a 24-bit BMP.
  qg::IHostImage* piCaptureFenetre(const int32_t rect[4]) override;
  // The size of the last image saved.
  int32_t saved_width_ = 0, saved_height_ = 0;
  int32_t bAccepteModule(const char16_t* module, const char16_t* version) override;
  const char16_t* pszVersion() override { return version_.c_str(); }
  void SetComponentAccess(qg::IComponentAccess* access) override { access_ = access; }
  // The windows of the application are the host's (MainVM's).
  int32_t bTrouveFenetre(const char16_t* name) override {
    return vm_ != nullptr && vm_->piFenetre(name) != nullptr ? 1 : 0;
  }

  bool bAccept = true;
  std::u16string version_ = u"17.0.1.0";
  qg::IComponentAccess* access_ = nullptr;
  std::u16string asked_module_, asked_version_;
  qg::IMainVM* vm_ = nullptr;
};

// One legacy data-set record: its key and the bytes of item "Données".
struct LegacyRecord {
  int64_t nKey;
  std::vector<uint8_t> bytes;
};

class DataContext;

class ComponentAccess : public qg::IComponentAccess {
 public:
  ComponentAccess();
  virtual ~ComponentAccess();

  qg::IHostComponent* piGetComponent(int32_t flags, const void* owner, int32_t kind,
                                     int32_t version, const char16_t* name, int32_t module,
                                     CXError* error) override;
  void Continue(int32_t value, CXError* error) override;
  void* hGetHostModule(int32_t number) override;

  // --- control -----------------------------------------------------------------
  virtual void Reset();
  // A component kind answers null.
  virtual void SetAbsent(int32_t kind, bool absent);
  virtual std::vector<ComponentRequest> Requests() const;
  virtual int nContinues() const { return continues_; }
  // Stored blocks: in memory first, else <folder>/<name>.qgl.
  virtual void SetBlock(const std::u16string& name, std::vector<uint8_t> bytes);
  virtual void SetFixtureFolder(const std::string& folder) { folder_ = folder; }
  // Fails every VMData request with level 3.
  virtual void SetVMDataFails(bool fails) { vmdata_fails_ = fails; }
  // A folder or an unreadable file gives the reason in *why.
  virtual bool bBlock(const std::u16string& name, std::vector<uint8_t>* bytes,
                      std::string* why = nullptr) const;
  // Legacy files by path ('\' separated as the runner builds them).
  virtual void SetLegacyFile(const std::u16string& path, std::vector<LegacyRecord> records);
  // The next open answers this code once (a repair code, for instance).
  virtual void SetNextOpenCode(int32_t code) { next_open_code_ = code; }
  virtual std::vector<std::u16string> EngineLog() const;
  virtual void SetHostModule(int32_t number, void* module) { modules_[number] = module; }

  // A further component answered for a kind (not held); null removes it.
  void SetExtraComponent(int32_t kind, qg::IHostComponent* component);

  MainVM& MainVm() { return main_vm_; }
  MainPnt& MainWindow() { return main_pnt_; }
  ObjGate& Gate() { return gate_; }
  VMData& Data() { return vmdata_; }
  // Description objects still alive.
  int nLiveDescriptions() const { return live_descriptions_; }

 private:
  friend class DataContext;
  friend class SourceDescriptionObject;
  friend class ItemDescriptionObject;

  mutable std::mutex mu_;
  std::vector<ComponentRequest> requests_;
  std::map<int32_t, bool> absent_;
  int continues_ = 0;
  std::map<std::u16string, std::vector<uint8_t>> blocks_;
  std::string folder_;
  bool vmdata_fails_ = false;
  std::map<std::u16string, std::vector<LegacyRecord>> legacy_;
  int32_t next_open_code_ = 0;
  std::vector<std::u16string> engine_log_;
  std::map<int32_t, void*> modules_;
  std::map<int32_t, qg::IHostComponent*> extra_;
  std::atomic<int> live_descriptions_{0};
  MainVM main_vm_;
  MainPnt main_pnt_;
  VMData vmdata_;
  ObjGate gate_;
  DataContext* context_;
};

}  // namespace qghost

#endif  // QG_HOST_CORE_COMPONENT_ACCESS_H_
