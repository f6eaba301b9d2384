// Exports of qg300web.so.
#include <cstdint>

#include "support/frame/export.h"
#include "support/frame/module_frame.h"

#include "browser/cef_manager.h"
#include "errors/module_errors.h"

namespace {

// The module's message catalogue answers CommandeComposante(3) and (4) from
// the moment the library is loaded.
struct CatalogueInstaller {
  CatalogueInstaller() { qg::InstallModuleCatalogue(&qg::CatalogueModule80()); }
} g_catalogue_installer;

}  // namespace

QG_EXPORT intptr_t Execution(int32_t code, intptr_t argument) {
  return qg::FrameExecution(code, argument);
}

QG_EXPORT intptr_t CommandeComposante(int32_t code, intptr_t argument) {
  return qg::FrameCommandeComposante(code, argument);
}

QG_EXPORT int32_t CheckVersion() { return qg::kFrameVersion; }

QG_EXPORT int32_t bInitZQConvFromVM(void* host, int32_t first, int32_t second) {
  return qg::FrameInitConv(host, first, second);
}

QG_EXPORT int32_t bInitLibrary() { return 1; }

// Deletes the execution object without running its termination.
QG_EXPORT void TermLibrary() { qg::TermExecutionObject(); }

// The browser manager for identifier 1, null for any other.
QG_EXPORT void* pQueryProxy(int32_t identifier) {
  if (identifier != 1) return nullptr;
  return static_cast<IKQMCef*>(&qg::web::CIKQMCef::Instance());
}

QG_EXPORT void DeclareProxy(int32_t* a, int16_t* b, int32_t* c, int16_t* d) {
  if (a != nullptr) *a = 0;
  if (b != nullptr) *b = 0;
  if (c != nullptr) *c = 0;
  if (d != nullptr) *d = 0;
}
