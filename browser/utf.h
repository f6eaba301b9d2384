// UTF-8 and UTF-16 for the texts that cross the DevTools pipe. Invalid
// input (lone surrogates, bad UTF-8) becomes U+FFFD.
#ifndef QG_BROWSER_UTF_H_
#define QG_BROWSER_UTF_H_

#include <string>

namespace qg::web {

std::string ToUtf8(const char16_t* text);  // null gives ""
std::string ToUtf8(const std::u16string& text);
std::u16string ToUtf16(const std::string& text);

}  // namespace qg::web

#endif  // QG_BROWSER_UTF_H_
