// Cuts arbitrary bytes into the parts of keys built from the input: the
// first bytes choose up to four parts (type and size), the rest is the key
// value. Every part reported must lie inside the value, in order, and
// every part's value must read without fault.
#include <cstddef>
#include <cstdint>

#include "driver/core/refcounted.h"
#include "driver/sql/column.h"
#include "driver/sql/key_part.h"
#include "host/core/calc_entries.h"
#include "host/core/host_runtime.h"
#include "support/any.h"
#include "support/frame/module_services.h"

namespace {

void Check(bool b) {
  if (!b) __builtin_trap();
}

void InstallHost() {
  static bool done = false;
  if (done) return;
  qghost::HostRuntime& host = qghost::Runtime();
  qg::Services().piStringMemory = &host.Strings();
  qg::Services().piInfoLocale = &host.Locale();
  qg::Services().piValueObjects = &host.Values();
  qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
  qg::Services().pfnFinConversion = &qghost::FinConversion;
  done = true;
}

constexpr int kTypes[] = {2, 5, 13, 14, 16, 19, 21, 23, 24, 27, 29, 31, 3, 7};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  InstallHost();
  const int count = 1 + (data[0] & 3);
  if (size < 1 + 2 * static_cast<size_t>(count)) return 0;
  CNARefPtr<CNAColumn> key(NAAddRef(new CNAColumn));
  key->Init(u"k", u"t", u"k", 1, 0, 2, 0, 1,
            static_cast<uint16_t>(kNAKeyUnique | (count > 1 ? kNAKeyComposite : 0)), 0, 0);
  CNARefPtr<CNAColumn> single;
  for (int i = 0; i < count; ++i) {
    const int type = kTypes[data[1 + 2 * i] % (sizeof kTypes / sizeof kTypes[0])];
    const int part_size = data[2 + 2 * i] % 64;
    CNARefPtr<CNAColumn> part(NAAddRef(new CNAColumn));
    part->Init(u"p", u"t", u"p", 1, part_size, type, i, 1, 0, 0, 0);
    if (count > 1) {
      key->AddPart(part.Get());
    } else {
      single.Attach(part.Detach());
    }
  }
  const CNAColumn& decoded = count > 1 ? *key.Get() : *single.Get();
  const uint8_t* value = data + 1 + 2 * count;
  const size_t value_size = size - 1 - 2 * static_cast<size_t>(count);
  NAKeyValueParts parts;
  if (!bDecodeKeyParts(decoded, value, value_size, &parts)) {
    Check(parts.parts.empty());
    return 0;
  }
  size_t end = 0;
  for (const NAKeyValuePart& p : parts.parts) {
    Check(p.nOffset >= end);
    Check(p.nOffset <= value_size && p.nLength <= value_size - p.nOffset);
    end = p.nOffset + p.nLength;
    CAny v;
    bool high_prefix = false;
    bReadKeyPartValue(p, value, data[0] & 4 ? 932 : 1252, &v, &high_prefix);
  }
  Check(!(parts.bLow && parts.bHigh));
  return 0;
}
