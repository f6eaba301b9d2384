// Reads string records from arbitrary bytes: records, the empty text and
// legacy 1252 texts, through both string types and the skip. Every text read
// is written again and must read back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"
#include "support/qgbuffer.h"

namespace {

void Verifie(bool b) {
  if (!b) __builtin_trap();
}

void InstalleHote() {
  static bool fait = false;
  if (fait) return;
  qg::Services().piStringMemory = &qghost::Runtime().Strings();
  qg::Services().piInfoLocale = &qghost::Runtime().Locale();
  fait = true;
}

void VerifieAllerRetour(const std::u16string& texte) {
  CQGBuffer w;
  Verifie(w.EcritChaine(texte.c_str()));
  w.Rembobine();
  CTString relu;
  Verifie(w.bLitChaine(relu));
  Verifie(std::u16string(relu.pszGet()) == texte);
  Verifie(w.nRestant() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InstalleHote();
  CQGBufferMark b(data, size);
  Verifie(b.nTaille() == size);
  for (int i = 0; b.nRestant() > 0; ++i) {
    const size_t avant = b.nPosition();
    bool ok = false;
    std::u16string texte;
    switch (i % 3) {
      case 0: {
        CTString s;
        ok = b.bLitChaine(s);
        texte = s.pszGet();
        break;
      }
      case 1: {
        CXYString<char16_t> s;
        ok = b.bLitChaineXY(s);
        texte = s.pszGet();
        break;
      }
      default:
        ok = b.bSauteChaine();
        break;
    }
    if (!ok) {
      Verifie(b.nPosition() == avant);
      break;
    }
    Verifie(b.nPosition() > avant && b.nPosition() <= b.nTaille());
    if (i % 3 != 2) VerifieAllerRetour(texte);
  }
  return 0;
}
