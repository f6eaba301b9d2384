// Reads a parameter zone from arbitrary bytes. A zone that reads is
// written again; reading that back gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/param_zone.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ContenuZone zone;
  if (!bLitZone(data, size, &zone)) return 0;
  const std::vector<uint8_t> bytes = EcritZone(zone);
  ContenuZone again;
  if (!bLitZone(bytes.data(), bytes.size(), &again) || EcritZone(again) != bytes) {
    __builtin_trap();
  }
  return 0;
}
