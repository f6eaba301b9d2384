// Exports of qg300net.so.
#include <cstdint>

#include "dotnet/connector/acces_vm.h"
#include "dotnet/connector/dotnet_execution.h"
#include "dotnet/connector/dotnet_manager.h"
#include "dotnet/connector/net_module.h"
#include "dotnet/convert/conversion_cast.h"
#include "errors/module_errors.h"
#include "support/frame/export.h"
#include "support/frame/module_frame.h"

namespace {

// Process attach: qg300net converts values itself (every CAny of the
// library casts through the module's conversion engine), its catalogue
// answers CommandeComposante(3) and (4) from load on. Detach ends the
// module; the runtime, once started, keeps the library loaded.
struct ModuleLifetime {
  ModuleLifetime() {
    qg::InstalleConversionMoteur();
    qg::InstallModuleCatalogue(&qg::CatalogueModule20());
    qgnet::gInitModule();
  }
  ~ModuleLifetime() {
    qgnet::DetacheAccesVM();
    qgnet::gTermModule();
  }
} g_module_lifetime;

}  // namespace

QG_EXPORT intptr_t Execution(int32_t code, intptr_t argument) {
  return qg::FrameExecution(code, argument, &qgnet::NewExecutionNet);
}

QG_EXPORT intptr_t CommandeComposante(int32_t code, intptr_t argument) {
  return qg::FrameCommandeComposante(code, argument);
}

// Identifier 1: the execution interface, one reference added; else null.
QG_EXPORT void* pQueryProxy(int32_t identifier) {
  if (identifier != 1) return nullptr;
  try {
    return static_cast<IDotNetExecution*>(qgnet::CDotNetExecution::Acquire());
  } catch (...) {
    return nullptr;
  }
}

// The .NET manager, one reference added.
QG_EXPORT void* gpiGetManager() {
  try {
    return static_cast<IDotNetManager*>(qgnet::CDotNetManager::Acquire());
  } catch (...) {
    return nullptr;
  }
}

// The host is going away.
QG_EXPORT void EXT_VMTerm() { qgnet::HostGoingAway(); }
