// The internal-error text that error sites add to the debug message:
// "IE<tag>=<major>.<minor>\r\nModule=<tag>\r\nVersion=<version>", naming the
// module, the site pair and the module's version.
#ifndef QG_ERRORS_INTERNAL_ERROR_H_
#define QG_ERRORS_INTERNAL_ERROR_H_

#include <cstdint>
#include <string>

class CXError;

namespace qg {

constexpr char16_t kModuleTagMaria[] = u"QGMARIA";
constexpr char16_t kModuleVersionMaria[] = u"30.0.67.0";
constexpr char16_t kModuleTagNet[] = u"QGNETCORE";

std::u16string InternalErrorText(const char16_t* tag, uint32_t major, uint32_t minor,
                                 const char16_t* version);
// Appends the text to the error's debug message.
void AddInternalErrorText(CXError& error, const char16_t* tag, uint32_t major, uint32_t minor,
                          const char16_t* version);

}  // namespace qg

#endif  // QG_ERRORS_INTERNAL_ERROR_H_
