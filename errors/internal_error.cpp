#include "errors/internal_error.h"

#include "errors/xerror.h"
#include "support/platform/format.h"

namespace qg {

std::u16string InternalErrorText(const char16_t* tag, uint32_t major, uint32_t minor,
                                 const char16_t* version) {
  return FormatString(u"IE%s=%u.%u\r\nModule=<%s>\r\nVersion=<%s>", tag, major, minor, tag,
                      version);
}

void AddInternalErrorText(CXError& error, const char16_t* tag, uint32_t major, uint32_t minor,
                          const char16_t* version) {
  error.AddDebugMessage(InternalErrorText(tag, major, minor, version).c_str());
}

}  // namespace qg
