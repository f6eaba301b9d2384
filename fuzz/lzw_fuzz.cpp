// Feeds arbitrary bytes to the LZW decoder as a compressed block, then
// compresses them and checks that they come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "support/lzw_compressor.h"

namespace {

// Declared sizes above this are only checked for a clean refusal.
constexpr int64_t kSortieMax = 1 << 20;

void Verifie(bool b) {
  if (!b) __builtin_trap();
}

void Decode(const uint8_t* data, size_t size) {
  CZLWCompresseur coder;
  const int64_t declared = coder.vnTailleDecompressee(data, size);
  coder.SetEntree(data, size);
  if (declared < 0 || declared > kSortieMax) {
    coder.SetSortie(nullptr, 0);
    Verifie(coder.vnDecompresse() <= 0);
    return;
  }
  // Exact-size blocks, so that any write past the capacity is caught.
  const size_t n = static_cast<size_t>(declared);
  std::unique_ptr<uint8_t[]> out(new uint8_t[n]);
  coder.SetSortie(out.get(), n);
  const int64_t r = coder.vnDecompresse();
  Verifie(r == -1 || r == 0 || r == declared);
  if (r > 0) Verifie(coder.vnTailleTotale(data, size) > 0);
  if (n > 0) {
    std::unique_ptr<uint8_t[]> small(new uint8_t[n - 1]);
    coder.SetSortie(small.get(), n - 1);
    Verifie(coder.vnDecompresse() <= 0);
  }
}

// The same bytes behind a header that matches their size, so that the code
// stream itself is explored.
void DecodeStream(const uint8_t* data, size_t size) {
  if (size < CZLWCompresseur::kEnteteLzw) return;
  std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
  std::memcpy(block.get(), data, size);
  const uint32_t payload = static_cast<uint32_t>(size - CZLWCompresseur::kEnteteLzw);
  const uint32_t declared = (data[5] | data[6] << 8) % 20000;
  block[0] = CZLWCompresseur::kMethodeLzw;
  for (int i = 0; i < 4; ++i) {
    block[1 + i] = static_cast<uint8_t>(payload >> 8 * i);
    block[5 + i] = static_cast<uint8_t>(declared >> 8 * i);
  }
  Decode(block.get(), size);
}

void RoundTrip(const uint8_t* data, size_t size) {
  CZLWCompresseur coder;
  const size_t bound = coder.vnTailleSortieMax(size);
  std::unique_ptr<uint8_t[]> block(new uint8_t[bound]);
  coder.SetEntree(data, size);
  coder.SetSortie(block.get(), bound);
  const size_t packed = coder.vnCompresse();
  Verifie(packed >= 5 && packed <= bound);
  Verifie(coder.vnTailleTotale(block.get(), packed) == static_cast<int64_t>(packed));

  std::unique_ptr<uint8_t[]> back(new uint8_t[size]);
  coder.SetEntree(block.get(), packed);
  coder.SetSortie(back.get(), size);
  Verifie(coder.vnDecompresse() == static_cast<int64_t>(size));
  Verifie(size == 0 || std::memcmp(back.get(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Decode(data, size);
  DecodeStream(data, size);
  RoundTrip(data, size);
  return 0;
}
