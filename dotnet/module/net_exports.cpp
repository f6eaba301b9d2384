// Exports of qg300net.so.
#include <cstdint>

#include "dotnet/convert/conversion_cast.h"
#include "support/frame/export.h"
#include "support/frame/module_frame.h"

namespace {

// qg300net converts values itself: every CAny of the library casts through
// the module's conversion engine, not through the host's entry points.
struct ConversionInstaller {
  ConversionInstaller() { qg::InstalleConversionMoteur(); }
} g_conversion_installer;

}  // namespace

#include "errors/module_errors.h"

namespace {

// The module's message catalogue answers CommandeComposante(3) and (4) from
// the moment the library is loaded.
struct CatalogueInstaller {
  CatalogueInstaller() { qg::InstallModuleCatalogue(&qg::CatalogueModule20()); }
} g_catalogue_installer;

}  // namespace

QG_EXPORT intptr_t Execution(int32_t code, intptr_t argument) {
  return qg::FrameExecution(code, argument);
}

QG_EXPORT intptr_t CommandeComposante(int32_t code, intptr_t argument) {
  return qg::FrameCommandeComposante(code, argument);
}

// Filled by the connector: the execution interface for identifier 1.
QG_EXPORT void* pQueryProxy(int32_t) { return nullptr; }

// Filled by the connector: the .NET manager.
QG_EXPORT void* gpiGetManager() { return nullptr; }

// Filled by the connector: the host is going away.
QG_EXPORT void EXT_VMTerm() {}
