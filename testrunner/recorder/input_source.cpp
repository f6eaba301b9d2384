#include "testrunner/recorder/input_source.h"

#include <mutex>

#include "testrunner/recorder/direct_source.h"
#include "testrunner/recorder/x11_source.h"

namespace {

std::mutex g_mutex;
FabriqueSourceEntree g_fabrique;

}  // namespace

void SetFabriqueSourceEntree(FabriqueSourceEntree factory) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_fabrique = std::move(factory);
}

std::unique_ptr<ISourceEntree> NouvelleSourceEntree() {
  FabriqueSourceEntree factory;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    factory = g_fabrique;
  }
  if (factory) return factory();
  if (std::unique_ptr<ISourceEntree> x11 = NouvelleSourceX11()) return x11;
  return NouvelleSourceDirecte();
}
