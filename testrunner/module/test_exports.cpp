// Exports of qg300test.so.
#include <cstdint>
#include <new>

#include "support/frame/component_description.h"
#include "support/frame/export.h"
#include "support/frame/module_frame.h"
#include "testrunner/module/component_record.h"
#include "testrunner/language/language_functions.h"
#include "testrunner/module/test_execution_dll.h"
#include "testrunner/recorder/recorder_impl.h"
#include "testrunner/runner/library.h"
#include "testrunner/runner/test_factory.h"

#include "errors/module_errors.h"

namespace {

// The module's message catalogue answers CommandeComposante(3) and (4) from
// the moment the library is loaded.
struct CatalogueInstaller {
  CatalogueInstaller() { qg::InstallModuleCatalogue(&qg::CatalogueModule54()); }
} g_catalogue_installer;

// The language functions' tables join the component description.
struct LanguageInstaller {
  LanguageInstaller() {
    SetMotComposante(21, reinterpret_cast<intptr_t>(TableFonctions()));
    SetMotComposante(22, kNbFonctions);
    SetMotComposante(13, reinterpret_cast<intptr_t>(DescriptionsSupplementaires()));
    SetMotComposante(14, kNbDescriptions);
    SetMotComposante(28, reinterpret_cast<intptr_t>(BlocDescription()));
    SetMotComposante(29, static_cast<intptr_t>(kTailleBlocDescription));
  }
} g_language_installer;

}  // namespace

namespace {

// The module's first-time initialisation: two steps that succeed.
bool FirstTimeInit() { return true; }

}  // namespace

QG_EXPORT intptr_t Execution(int32_t code, intptr_t argument) {
  return qg::FrameExecution(code, argument, &NewTestExecution);
}

QG_EXPORT intptr_t CommandeComposante(int32_t code, intptr_t argument) {
  return qg::FrameCommandeComposante(code, argument);
}

QG_EXPORT int32_t CheckVersion() { return qg::kFrameVersion; }

QG_EXPORT int32_t bInitZQConvFromVM(void* host, int32_t first, int32_t second) {
  return qg::FrameInitConv(host, first, second);
}

QG_EXPORT int32_t bInitZQCalcFromVM(void* host, int32_t first, int32_t second) {
  return qg::FrameInitCalc(host, first, second);
}

QG_EXPORT int32_t bExternalInitLibrary(void*) {
  if (qg::Frame().nInitCount++ <= 0) return FirstTimeInit() ? 1 : 0;
  return 1;
}

QG_EXPORT int32_t ExternalTermLibrary() {
  if (qg::Frame().nInitCount-- == 1) {
    // A runner still held (termination did not run) goes first.
    LibereRunnerModule();
    qg::TermExecutionObject();
  }
  return 1;
}

// 1: the runner object with one more reference (null without a runner);
// 2: the recorder; 60: a new library object; anything else null.
QG_EXPORT void* pQueryProxy(int32_t identifier) {
  if (identifier == 1) {
    CTestFactory* runner = ModuleRunner();
    if (runner == nullptr) return nullptr;
    runner->AddRef();
    return static_cast<qg::ITestFactory*>(runner);
  }
  // 2: the recorder while one records (not held: it lives until the
  // recording ends), for the host's loop to drain its captured input.
  if (identifier == 2) return static_cast<IEnregistrementTest*>(piEnregistrement());
  if (identifier == 60) {
    return static_cast<qg::IZQLibrary*>(new (std::nothrow) CQGTestExe());
  }
  return nullptr;
}

QG_EXPORT intptr_t InfoComposante(int32_t kind, int32_t index) {
  return qg::InfoComposante(DescriptionComposante(), kind, index);
}

// The recorder's mouse hook procedure: (hook code, mouse message, the
// address of a mouse record).
QG_EXPORT intptr_t MouseHook(int32_t code, uintptr_t message, intptr_t record) {
  return ProcSouris(code, message, record);
}
