// Reads a stored test list from arbitrary bytes. A list that reads is
// written again; reading that back must succeed and give the same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"
#include "support/qgbuffer.h"
#include "testrunner/model/executable.h"
#include "testrunner/model/list_writer.h"
#include "testrunner/model/reader.h"

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
  fait = true;
}

std::vector<uint8_t> Ecrit(CListeTestBase& list) {
  CQGBuffer w;
  Verifie(bEcritListe(w, list));
  return std::vector<uint8_t>(w.pGetDonnees(), w.pGetDonnees() + w.nTaille());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InstalleHote();
  CListeTestExe* list = new CListeTestExe();
  CQGBufferMark b(data, size);
  LectureListe context;
  if (bLitListe(b, *list, context)) {
    const std::vector<uint8_t> first = Ecrit(*list);
    CListeTestExe* again = new CListeTestExe();
    CQGBufferMark b2(first.data(), first.size());
    Verifie(bLitListe(b2, *again, context));
    Verifie(Ecrit(*again) == first);
    again->Release();
  }
  list->Release();
  return 0;
}
