#include "dotnet/connector/net_text.h"

#include "support/platform/codepage.h"
#include "support/platform/text16.h"

namespace qgnet {

std::u16string U16(const std::string& text) {
  if (text.empty()) return std::u16string();
  int n = qg::MultiByteToWide(qg::kCodePageUtf8, text.data(), static_cast<int>(text.size()),
                              nullptr, 0);
  std::u16string out(n > 0 ? static_cast<size_t>(n) : 0, u'\0');
  if (n > 0) {
    qg::MultiByteToWide(qg::kCodePageUtf8, text.data(), static_cast<int>(text.size()),
                        out.data(), n);
  }
  return out;
}

std::string U8(const std::u16string& text) {
  if (text.empty()) return std::string();
  int n = qg::WideToMultiByte(qg::kCodePageUtf8, text.data(), static_cast<int>(text.size()),
                              nullptr, 0);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) {
    qg::WideToMultiByte(qg::kCodePageUtf8, text.data(), static_cast<int>(text.size()),
                        out.data(), n);
  }
  return out;
}

std::string U8(const char16_t* text) {
  return text == nullptr ? std::string() : U8(std::u16string(text));
}

}  // namespace qgnet
