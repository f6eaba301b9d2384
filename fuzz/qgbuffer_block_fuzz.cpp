// Reads a serialised file from arbitrary bytes the way the test runner
// reads its lists: the file header, whose body is restored (decompressed
// and de-obfuscated) on first access, then nested blocks of strings,
// integers and child blocks. The first byte picks the modes (obfuscation 0
// or 1, compression 0, 1 or 2); with obfuscation on, the body is obfuscated
// here first so that the bytes reach the decompressor as given. A body that
// restores must finish and restore again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/qgbuffer.h"

namespace {

constexpr size_t kEntete = CQGBuffer::kTailleEnteteBloc;

void Verifie(bool b) {
  if (!b) __builtin_trap();
}

std::vector<uint8_t> Contenu(const CQGBuffer& b) {
  return std::vector<uint8_t>(b.pGetDonnees(), b.pGetDonnees() + b.nTaille());
}

// The file with its body obfuscated by the buffer's own obfuscation.
std::vector<uint8_t> Brouille(const uint8_t* data, size_t size) {
  CQGBuffer s(1, 0);
  Verifie(s.EcritEntete(0, 0));
  Verifie(s.Ecrit(data + kEntete, size - kEntete));
  Verifie(s.bFinit());
  std::vector<uint8_t> f = Contenu(s);
  std::memcpy(f.data(), data, kEntete);
  return f;
}

bool LitBloc(CQGBuffer& r, int profondeur, int64_t fin_parent) {
  if (profondeur > 8) return false;
  int32_t version = 0;
  if (r.nLitEnteteBloc(3, &version) != CQGBuffer::kEnteteOk) return false;
  const int64_t fin = r.pLitDebutBloc(fin_parent);
  if (fin < 0) return false;
  Verifie(fin <= static_cast<int64_t>(r.nTaille()));
  CTString nom;
  int64_t id = 0;
  int32_t n = 0;
  if (!r.bLitChaine(nom) || !r.LitEntier64(id) || !r.LitEntier(n)) return false;
  for (int32_t i = 0; i < n; ++i) {
    if (!LitBloc(r, profondeur + 1, fin)) return false;
  }
  if (version >= 1) {
    int16_t court = 0;
    uint8_t octets[4];
    if (!r.bSauteChaine() || !r.LitEntier16(court)) return false;
    r.nLitAuPlus4(octets);
  }
  Verifie(r.nPosition() <= r.nTaille());
  r.FinBloc(fin);
  Verifie(r.nPosition() == static_cast<size_t>(fin));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int cryptage = data[0] % 6 / 3;
  const int compression = data[0] % 3;
  ++data;
  --size;
  std::vector<uint8_t> fichier(data, data + size);
  if (cryptage == 1 && size >= kEntete) fichier = Brouille(data, size);

  CQGBufferMark r(fichier.data(), fichier.size(), cryptage, compression);
  int32_t version = 0;
  int32_t lecteur = 0;
  if (r.nLitEntete(&version, &lecteur) != CQGBuffer::kEnteteOk) return 0;
  LitBloc(r, 0, -1);
  Verifie(r.nPosition() <= r.nTaille());
  if (!r.bDefinit()) {
    Verifie(r.bEstFini());
    return 0;
  }

  // Finish the restored body again and read it back.
  const std::vector<uint8_t> clair = Contenu(r);
  CQGBuffer w(cryptage, compression);
  Verifie(w.EcritEntete(version, lecteur));
  Verifie(w.Seek(0, 0) == 0);
  Verifie(w.Ecrit(clair.data(), clair.size()));  // the header as read
  Verifie(w.bFinit());
  const std::vector<uint8_t> fini = Contenu(w);
  CQGBufferMark r2(fini.data(), fini.size(), cryptage, compression);
  r2.nLitEntete(nullptr, nullptr);
  Verifie(r2.bDefinit());
  Verifie(Contenu(r2) == clair);
  return 0;
}
