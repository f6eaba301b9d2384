// Exports of qg300maria.so.
#include <cstdint>

#include "support/frame/export.h"
#include "support/frame/module_frame.h"
#include "driver/mariadb/mariadb_client.h"

#include "errors/module_errors.h"

namespace {

// The module's message catalogue answers CommandeComposante(3) and (4) from
// the moment the library is loaded.
struct CatalogueInstaller {
  CatalogueInstaller() { qg::InstallModuleCatalogue(&qg::CatalogueModule76()); }
} g_catalogue_installer;

}  // namespace

namespace {

// The counted init pair (its init counter is the frame's). The host calls
// it from one thread.
int32_t g_instance_count = 0;
bool g_initialised = false;
void* g_module_instance = nullptr;

bool InitModuleInstance(void* instance) {
  g_module_instance = instance;
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

// Filled by the driver: a new driver manager.
QG_EXPORT void* piQueryInterface() { return nullptr; }

// Filled by the driver: the compatibility answer.
QG_EXPORT int32_t bDLLCompatible(int32_t, uint32_t, int32_t*) { return 0; }
