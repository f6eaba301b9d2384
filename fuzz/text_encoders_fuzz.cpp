// Decodes arbitrary texts with the Ascii85 and the 6-bit decoders, into
// blocks of exactly the size the counting call gave, and encodes arbitrary
// bytes with both encoders; whatever decodes must encode and decode back to
// the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "support/text_encoders.h"

namespace {

void Verifie(bool b) {
  if (!b) __builtin_trap();
}

// The 6-bit encoder with the common base64 alphabet.
class CEncode64 final : public CEncodeBase {
 public:
  char vcSymbole(unsigned v) const override { return kAlphabet[v & 0x3F]; }
  unsigned vnValeur(char c) const override {
    const void* p = c == 0 ? nullptr : std::memchr(kAlphabet, c, 64);
    return p == nullptr ? kHorsAlphabet
                        : static_cast<unsigned>(static_cast<const char*>(p) - kAlphabet);
  }

 private:
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
};

// Exact-size blocks, so that a write past the counted size is caught.
std::string Encode(CEncodeBase& enc, const uint8_t* p, size_t n, int nParLigne) {
  const size_t nTexte = enc.vnEncode(p, n, nParLigne, nullptr);
  std::unique_ptr<char[]> texte(new char[nTexte + 1]);
  Verifie(enc.vnEncode(p, n, nParLigne, texte.get()) == nTexte);
  Verifie(texte[nTexte] == '\0' && std::strlen(texte.get()) == nTexte);
  return std::string(texte.get(), nTexte);
}

void Decode(CEncodeBase& enc, const std::string& texte, int nParLigne) {
  const int64_t n = enc.vnDecode(texte.c_str(), nullptr);
  if (n < 0) return;
  std::unique_ptr<uint8_t[]> octets(new uint8_t[n > 0 ? n : 1]);
  Verifie(enc.vnDecode(texte.c_str(), octets.get()) == n);
  const std::string relu = Encode(enc, octets.get(), static_cast<size_t>(n), nParLigne);
  std::unique_ptr<uint8_t[]> encore(new uint8_t[n > 0 ? n : 1]);
  Verifie(enc.vnDecode(relu.c_str(), encore.get()) == n);
  Verifie(n == 0 || std::memcmp(octets.get(), encore.get(), static_cast<size_t>(n)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int nParLigne = static_cast<int8_t>(data[0]) % 8;
  ++data;
  --size;
  const std::string texte(reinterpret_cast<const char*>(data), size);  // stops at a NUL
  CEncodeBase85 enc85;
  CEncode64 enc64;
  Decode(enc85, texte.c_str(), nParLigne);
  Decode(enc64, texte.c_str(), nParLigne);
  Encode(enc85, data, size, nParLigne);
  Encode(enc64, data, size, nParLigne);
  return 0;
}
