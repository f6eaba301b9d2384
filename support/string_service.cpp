#include "support/string_service.h"

#include "support/frame/module_services.h"
#include "support/platform/text16.h"
#include "support/text_functions.h"

std::u16string ServiceChaine::Normalise(const char16_t* text, int n, uint32_t locale,
                                        uint32_t flags) {
  std::u16string out;
  if (text == nullptr) return out;
  const size_t len = n < 0 ? qg::StrLen16(text) : qg::StrNLen16(text, static_cast<size_t>(n));
  if (len == 0) return out;
  qg::IInfoLocale* host = qg::Services().piInfoLocale;
  if (host == nullptr) {
    out.assign(text, len);
    if (flags & qg::kCompareIgnoreCase) {
      for (char16_t& c : out) c = qg::ToLowerLatin1_16(c);
    }
    return out;
  }
  // The fold maps a character to at most one: the length never grows.
  out.resize(len);
  const int32_t mapped = host->nMapText(locale, flags, text, static_cast<int32_t>(len),
                                        out.data(), static_cast<int32_t>(len));
  out.resize(mapped > 0 ? static_cast<size_t>(mapped) : 0);
  return out;
}

int ServiceChaine::nCompare(const char16_t* a, const char16_t* b, uint32_t flags) {
  return nCompareChaineLocale(a, b, flags);
}
