// Reads variant records from arbitrary bytes. A value read is written
// again; reading that record back must succeed and write the same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/core/calc_entries.h"
#include "host/core/host_runtime.h"
#include "support/any.h"
#include "support/frame/module_services.h"
#include "support/qgbuffer.h"

namespace {

void Verifie(bool b) {
  if (!b) __builtin_trap();
}

void InstalleHote() {
  static bool fait = false;
  if (fait) return;
  qghost::HostRuntime& host = qghost::Runtime();
  qg::Services().piStringMemory = &host.Strings();
  qg::Services().piInfoLocale = &host.Locale();
  qg::Services().piValueObjects = &host.Values();
  qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
  qg::Services().pfnFinConversion = &qghost::FinConversion;
  fait = true;
}

std::vector<uint8_t> Ecrit(const CAny& v) {
  CQGBuffer w;
  Verifie(w.EcritAny(v));
  return std::vector<uint8_t>(w.pGetDonnees(), w.pGetDonnees() + w.nTaille());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InstalleHote();
  CQGBufferMark b(data, size);
  while (b.nRestant() > 0) {
    const size_t avant = b.nPosition();
    CAny v;
    if (!b.LitAny(v)) {
      Verifie(b.nPosition() == avant);
      break;
    }
    Verifie(b.nPosition() > avant && b.nPosition() <= b.nTaille());
    const std::vector<uint8_t> premier = Ecrit(v);
    CQGBufferMark r(premier.data(), premier.size());
    CAny w;
    Verifie(r.LitAny(w));
    Verifie(r.nRestant() == 0);
    Verifie(Ecrit(w) == premier);
  }
  return 0;
}
