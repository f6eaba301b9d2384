// Reads the item of a legacy data-set record from arbitrary bytes: one set
// of exactly as many values as parameters (the first byte picks 0 to 7).
#include <cstddef>
#include <cstdint>

#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"
#include "testrunner/model/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool installed = false;
  if (!installed) {
    qg::Services().piStringMemory = &qghost::Runtime().Strings();
    installed = true;
  }
  if (size == 0) return 0;
  const size_t params = data[0] & 7;
  CDonneesDeTest sets;
  if (bLitJeuAncien(data + 1, size - 1, params, sets)) {
    if (sets.nGetNb() != 1 || sets.pclGetJeu(0)->m_tabValeurs.size() != params) {
      __builtin_trap();
    }
  }
  return 0;
}
