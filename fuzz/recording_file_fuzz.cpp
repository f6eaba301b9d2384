// Reads a recording file from arbitrary bytes. What reads is written again
// byte for byte; a file that does not read still gives the records before
// the bad one, and those write again as the bytes before it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "testrunner/recorder/recording_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<RecordLu> records;
  size_t bad = 0;
  const bool whole = bLitEnregistrement(data, size, &records, &bad);
  const size_t good = whole ? size : bad;
  if (good > size) __builtin_trap();
  if (EcritEnregistrement(records) != std::string(reinterpret_cast<const char*>(data), good)) {
    __builtin_trap();
  }
  for (const RecordLu& r : records) (void)DecritRecord(r);
  return 0;
}
