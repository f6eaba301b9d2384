#include "testrunner/runner/companion.h"

#include <string>

#include "errors/module_errors.h"
#include "support/frame/module_services.h"
#include "support/platform/module.h"
#include "support/platform/text16.h"
#include "support/text_functions.h"

namespace {

constexpr char16_t kNomModule[] = u"qg300test.dll";
constexpr char16_t kNomCompagnon[] = u"qg300obj.dll";
constexpr char16_t kVersionModule[] = u"30.0.344.2";
constexpr char16_t kVersionCompagnonMin[] = u"17.0.1.0";

int32_t g_nAppels = 0;
int32_t g_nResultat = 0;

std::u16string Chemin16(const void* address) {
  const std::string path = qg::ModulePathOf(address);
  return std::u16string(path.begin(), path.end());  // module paths here are ASCII-safe bytes
}

}  // namespace

int32_t nAppelsVerifieObjGate() { return g_nAppels; }

void RAZVerifieObjGate() {
  g_nAppels = 0;
  g_nResultat = 0;
}

int32_t bVerifieVersionObjGate(qg::IObjGate* gate, qg::IComponentAccess* access,
                               CXError* error) {
  int32_t message = 0;
  if (!gate->bAccepteModule(kNomModule, kVersionModule)) {
    message = 28117;
  } else {
    const char16_t* version = gate->pszVersion();
    if (nCompareVersionModuleObjet(version != nullptr ? version : u"") < 0) message = 28567;
  }
  if (message == 0) {
    gate->SetComponentAccess(access);
    return 1;
  }
  if (error != nullptr) {
    // This module's path, and the companion's: the module holding the
    // component's code.
    const std::u16string own = Chemin16(reinterpret_cast<const void*>(&bVerifieVersionObjGate));
    const std::u16string other = Chemin16(*reinterpret_cast<void* const*>(gate));
    error->SetUserError(gstErrorDefModule54, static_cast<uint32_t>(message), kNomModule,
                        kNomCompagnon, kVersionCompagnonMin, kVersionModule, own.c_str(),
                        other.c_str());
    error->nSetNiveau(3);
  }
  return 0;
}

int32_t bVerifieComposantObjGate(qg::IComponentAccess* access, CXError* error) {
  if (g_nAppels++ > 0) return g_nResultat;
  const qg::ModuleServices& services = qg::Services();
  const intptr_t kind = services.nExecutionKind;
  if (!(kind == 0 || kind == 6 || kind == 20 || (services.nFlags & 1) != 0)) return 0;
  if (access == nullptr) return 0;
  auto* gate = static_cast<qg::IObjGate*>(
      access->piGetComponent(0, nullptr, qg::kComponentObjGate, 1, u"ObjGate", 54, error));
  if (gate == nullptr) return 0;
  access->Continue(1, error);
  g_nResultat = bVerifieVersionObjGate(gate, access, error);
  return g_nResultat;
}
