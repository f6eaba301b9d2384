#include "host/cli/tour.h"

#include <cstdint>
#include <cstdlib>
#include <iomanip>

#include "host/core/external_execution.h"
#include "host/core/host_runtime.h"
#include "support/frame/execution_protocol.h"
#include "support/frame/test_runner_abi.h"
#include "support/platform/error_codes.h"
#include "support/platform/module.h"

namespace qghost {

const char* const kDeliverables[4] = {"qg300maria", "qg300net", "qg300web", "qg300test"};

namespace {

using PFN_Execution = intptr_t (*)(int32_t, intptr_t);
using PFN_Commande = intptr_t (*)(int32_t, intptr_t);
using PFN_Int = int32_t (*)();
using PFN_Void = void (*)();
using PFN_InitWithInstance = int32_t (*)(void*);
using PFN_Bind = int32_t (*)(void*, int32_t, int32_t);

class Tour {
 public:
  Tour(std::ostream& out, TourResult* result) : out_(out), result_(result) {}

  // One line: module, step, result, and whether it is the expected one.
  void Step(const std::string& module, const std::string& step, const std::string& answer,
            bool ok) {
    ++result_->nSteps;
    if (!ok) ++result_->nFailures;
    out_ << std::left << std::setw(11) << module << ' ' << std::setw(28) << step << " -> "
         << answer << (ok ? "" : "  [unexpected]") << '\n';
  }

  void Value(const std::string& module, const std::string& step, intptr_t value,
             intptr_t expected) {
    Step(module, step, std::to_string(value), value == expected);
  }

 private:
  std::ostream& out_;
  TourResult* result_;
};

// "error <code> loading <path>: <text>".
std::string LoadFailure(const std::string& path, uint32_t error) {
  const char* text = qg::ErrorText(error);
  return "error " + std::to_string(error) + " loading " + path + ": " +
         (text != nullptr ? text : "unknown error");
}

// The test runner's objects and its external-execution session, seen from
// the stand-in host's log.
void TourRunnerObjects(Tour& tour, const std::string& name, qg::ModuleHandle module,
                       qg::ModuleHandle host) {
  auto proxy = reinterpret_cast<void* (*)(int32_t)>(qg::FindSymbol(module, "pQueryProxy"));
  auto external_of = reinterpret_cast<ExternalExecution* (*)()>(
      qg::FindSymbol(host, "qghost_External"));
  if (proxy == nullptr || external_of == nullptr) {
    tour.Step(name, "runner objects", "missing", false);
    return;
  }
  ExternalExecution* external = external_of();
  tour.Step(name, "session opened", external->bOpen() ? "yes" : "no", external->bOpen());
  auto* runner = static_cast<qg::ITestFactory*>(proxy(1));
  tour.Step(name, "pQueryProxy(1) runner", runner != nullptr ? "object" : "null",
            runner != nullptr);
  if (runner != nullptr) tour.Value(name, "runner Release", runner->Release(), 1);
  auto* library = static_cast<qg::IZQLibrary*>(proxy(60));
  tour.Step(name, "pQueryProxy(60) library", library != nullptr ? "object" : "null",
            library != nullptr);
  if (library != nullptr) {
    tour.Value(name, "library module number", library->nGetModule(), 54);
    library->vRelease();
  }
}

void TourModule(Tour& tour, const std::string& lib_dir, const std::string& name,
                qg::ModuleHandle host, HostRuntime* runtime) {
  std::string path = lib_dir + "/" + name + ".so";
  uint32_t error = 0;
  qg::ModuleHandle module = qg::LoadModule(path.c_str(), &error);
  if (module == nullptr) {
    tour.Step(name, "load", LoadFailure(path, error), false);
    return;
  }
  tour.Step(name, "load", "ok", true);
  auto find = [&](const char* symbol) { return qg::FindSymbol(module, symbol); };

  if (auto init = reinterpret_cast<PFN_InitWithInstance>(find("bExternalInitLibrary"))) {
    tour.Value(name, "bExternalInitLibrary", init(module), 1);
  } else if (auto init_plain = reinterpret_cast<PFN_Int>(find("bInitLibrary"))) {
    tour.Value(name, "bInitLibrary", init_plain(), 1);
  }
  if (auto check = reinterpret_cast<PFN_Int>(find("CheckVersion"))) {
    tour.Value(name, "CheckVersion", check(), qg::kFrameVersion);
  }
  if (auto conv = reinterpret_cast<PFN_Bind>(find("bInitZQConvFromVM"))) {
    tour.Value(name, "bInitZQConvFromVM(2, 2)", conv(host, 2, 2), 1);
  }
  if (auto calc = reinterpret_cast<PFN_Bind>(find("bInitZQCalcFromVM"))) {
    tour.Value(name, "bInitZQCalcFromVM(2, 2)", calc(host, 2, 2), 1);
  }

  auto commande = reinterpret_cast<PFN_Commande>(find("CommandeComposante"));
  auto execution = reinterpret_cast<PFN_Execution>(find("Execution"));
  if (commande == nullptr || execution == nullptr) {
    tour.Step(name, "frame exports", "missing", false);
    qg::FreeModule(module);
    return;
  }
  tour.Value(name, "CommandeComposante(2)",
             commande(qg::kCmdSetMessageCallback,
                      reinterpret_cast<intptr_t>(runtime->MessageCallback())),
             1);

  runtime->ClearLog();
  qg::ExecutionOpenRecord record{12, reinterpret_cast<intptr_t>(host), 0, 0,
                                 runtime->RuntimeObject()};
  tour.Value(name, "Execution(3985) open", execution(qg::kExecOpen,
                                                     reinterpret_cast<intptr_t>(&record)),
             1);
  tour.Step(name, "host items asked", std::to_string(runtime->ItemsAsked().size()),
            runtime->ItemsAsked().size() == 16);
  tour.Value(name, "Execution(4878) locale",
             execution(qg::kExecSetLocale,
                       reinterpret_cast<intptr_t>(static_cast<qg::IInfoLocale*>(&runtime->Locale()))),
             1);
  tour.Value(name, "Execution(4879)", execution(qg::kExecNotify4879, 0), 1);
  tour.Value(name, "Execution(5684)", execution(qg::kExecNotify5684, 0), 1);
  tour.Value(name, "Execution(5864)", execution(qg::kExecNotify5864, 0), 1);
  tour.Value(name, "Execution(4963) query", execution(qg::kExecQuery4963, 0), 1);
  tour.Value(name, "Execution(5238) query", execution(qg::kExecQuery5238, 0), 0);
  if (name == "qg300test") TourRunnerObjects(tour, name, module, host);
  tour.Value(name, "Execution(4875) close", execution(qg::kExecClose, 0), 1);
  if (name == "qg300test") {
    auto external_of = reinterpret_cast<ExternalExecution* (*)()>(
        qg::FindSymbol(host, "qghost_External"));
    const bool open = external_of != nullptr && external_of()->bOpen();
    tour.Step(name, "session closed", open ? "no" : "yes", !open);
  }

  if (auto term = reinterpret_cast<PFN_Int>(find("ExternalTermLibrary"))) {
    tour.Value(name, "ExternalTermLibrary", term(), 1);
  } else if (auto term_plain = reinterpret_cast<PFN_Void>(find("TermLibrary"))) {
    term_plain();
    tour.Step(name, "TermLibrary", "done", true);
  } else if (auto vm_term = reinterpret_cast<PFN_Void>(find("EXT_VMTerm"))) {
    vm_term();
    tour.Step(name, "EXT_VMTerm", "done", true);
  }
  tour.Step(name, "unload", qg::FreeModule(module) ? "ok" : "failed", true);
}

}  // namespace

TourResult RunTour(const std::string& lib_dir, const std::vector<std::string>& modules,
                   std::ostream& out) {
  TourResult result;
  Tour tour(out, &result);
  std::string host_path = lib_dir + "/qg300vm.so";
  uint32_t error = 0;
  qg::ModuleHandle host = qg::LoadModule(host_path.c_str(), &error);
  if (host == nullptr) {
    tour.Step("qg300vm", "load", LoadFailure(host_path, error), false);
    return result;
  }
  auto runtime_of = reinterpret_cast<HostRuntime* (*)()>(qg::FindSymbol(host, "qghost_Runtime"));
  if (runtime_of == nullptr) {
    tour.Step("qg300vm", "load", "no control export", false);
    qg::FreeModule(host);
    return result;
  }
  tour.Step("qg300vm", "load", "ok", true);
  HostRuntime* runtime = runtime_of();
  for (const std::string& name : modules) TourModule(tour, lib_dir, name, host, runtime);
  tour.Step("qg300vm", "live host strings", std::to_string(runtime->Strings().nLiveStrings()),
            runtime->Strings().nLiveStrings() == 0);
  qg::FreeModule(host);
  return result;
}

std::string DefaultLibDir() {
  const char* env = std::getenv("QG_LIB_DIR");
  if (env != nullptr && *env != '\0') return env;
  std::string exe = qg::ModulePathOf(reinterpret_cast<const void*>(&DefaultLibDir));
  size_t slash = exe.rfind('/');
  std::string dir = slash == std::string::npos ? "." : exe.substr(0, slash);
  return dir + "/../lib";
}

}  // namespace qghost
