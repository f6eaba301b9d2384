// Exports of qg300maria.so.
#include <cstdint>

#include "support/frame/export.h"
#include "support/frame/module_frame.h"
#include "driver/mariadb/mariadb_client.h"
#include "driver/mariadb/manager_mariadb.h"

#include "errors/module_errors.h"
#include "errors/stream_errors.h"
#include "support/platform/module.h"

namespace {

// The module's message catalogue answers CommandeComposante(3) and (4) from
// the moment the library is loaded.
struct CatalogueInstaller {
  CatalogueInstaller() {
    qg::InstallModuleCatalogue(&qg::CatalogueModule76());
    // Stream failures are reported as the driver's errors.
    qg::SetStreamErrorModule(76, &gstErrorDefModule76);
  }
} g_catalogue_installer;

}  // namespace

namespace {

// The counted init pair (its init counter is the frame's). The host calls
// it from one thread.
int32_t g_instance_count = 0;
bool g_initialised = false;
void* g_module_instance = nullptr;

// The module's own handle: the host's instance, else found through the
// address of this function.
bool InitModuleInstance(void* instance) {
  g_module_instance = instance != nullptr
                          ? instance
                          : qg::ModuleOf(reinterpret_cast<const void*>(&InitModuleInstance));
  if (!g_initialised) g_initialised = true;
  return true;
}

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

QG_EXPORT int32_t bInitZQCalcFromVM(void* host, int32_t first, int32_t second) {
  return qg::FrameInitCalc(host, first, second);
}

QG_EXPORT int32_t bExternalInitLibrary(void* instance) {
  if (qg::Frame().nInitCount++ <= 0) {
    if (++g_instance_count == 1) InitModuleInstance(instance);
  }
  return 1;
}

QG_EXPORT int32_t ExternalTermLibrary() {
  if (qg::Frame().nInitCount-- != 1) return 0;
  CNAMariaDBClient::TermInstance();
  if (g_initialised) {
    g_initialised = false;
    qg::TermExecutionObject();
  }
  return 1;
}

// A new driver manager with one reference for the caller, published as the
// process-wide manager. A failed creation answers null and leaves the
// process-wide manager as it was.
QG_EXPORT void* piQueryInterface() {
  try {
    auto* manager = new CNAManagerMariaDB();
    NASetManager(manager);
    manager->AddRef();
    manager->LoadTraceLabels();
    return manager;
  } catch (...) {
    return nullptr;
  }
}

// Kinds 7 and 28 need version 43 or later; other kinds are refused.
QG_EXPORT int32_t bDLLCompatible(int32_t kind, uint32_t version, int32_t* required) {
  if (kind != 7 && kind != 28) return 0;
  if (required != nullptr) *required = 43;
  return version >= 43 ? 1 : 0;
}
