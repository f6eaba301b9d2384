#include "testrunner/module/test_execution_dll.h"

#include <new>

#include "support/frame/module_frame.h"
#include "testrunner/recorder/recorder.h"
#include "testrunner/runner/session.h"
#include "testrunner/runner/test_factory.h"

void LibereRunnerModule() {
  CTestFactory*& runner = ModuleRunner();
  if (runner == nullptr) return;
  CTestFactory* held = runner;
  runner = nullptr;
  held->Release();
}

bool CTestExecutionDLL::vbInitModule() {
  LibereRunnerModule();
  CTestFactory* runner = new (std::nothrow) CTestFactory();
  if (runner == nullptr) return false;
  runner->AddRef();
  ModuleRunner() = runner;
  if (bLieEntreesExecutionExterne(hGetHostModule()) != 0 || Session().nOuvre() != 0) {
    Session().Ferme();
    LibereRunnerModule();
    return false;
  }
  return true;
}

void CTestExecutionDLL::vTerminate() {
  Session().Ferme();
  LibereRunnerModule();
  LibereEnregistrementTest();
}

namespace {

// A host that unloads the library without its term export leaves the
// runner and the execution object behind: they go at unload, without
// termination. Made on the first open, after the frame's state, so it is
// destroyed before that state.
struct NettoyageDechargement {
  ~NettoyageDechargement() {
    LibereEnregistrementTest();
    LibereRunnerModule();
    qg::TermExecutionObject();
  }
};

}  // namespace

CBaseExecutionDLL* NewTestExecution() {
  static NettoyageDechargement cleaner;
  return new (std::nothrow) CTestExecutionDLL();
}
