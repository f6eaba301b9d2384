// Feeds arbitrary bytes to the bitmap reader of the splash: it must refuse
// or decode without reading outside the bytes, and a decoded image has the
// size it reports.
#include <cstddef>
#include <cstdint>

#include "dotnet/connector/splash_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<qgnet::ISplashImage> image = qgnet::LitBMP(data, size);
  if (image == nullptr) return 0;
  int32_t w = image->nLargeur(), h = image->nHauteur();
  if (w <= 0 || h <= 0 || w > 16384 || h > 16384 || image->pPixels() == nullptr) __builtin_trap();
  // Every pixel is readable.
  uint32_t sum = 0;
  const uint32_t* p = image->pPixels();
  for (int64_t i = 0; i < static_cast<int64_t>(w) * h; ++i) sum ^= p[i];
  if (sum == 0xFFFFFFFFu) return 1;
  return 0;
}
