// Reads foreign keys out of arbitrary SHOW CREATE TABLE texts (UTF-16 from
// the input's byte pairs), with and without descriptions of the tables.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "driver/mariadb/sql_service.h"
#include "driver/sql/table_description.h"

namespace {

CNATableDescription* Describe(void*, const char16_t*) {
  auto* d = new CNATableDescription(nullptr);
  AddRefBoth(d);
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);
  // Also read the bytes as Latin-1, where most seeds are written.
  std::u16string latin(data, data + size);
  for (const std::u16string* t : {&text, &latin}) {
    std::u16string clean;
    for (char16_t c : *t) clean.push_back(c == 0 ? u' ' : c);
    CNASQLService::ParseForeignKeys(clean.c_str(), u"t", 0x20, &Describe, nullptr);
    CNASQLService::ParseForeignKeys(clean.c_str(), u"t", 0x20, nullptr, nullptr);
  }
  return 0;
}
