// ServiceChaine: the string service through which names are normalised for
// comparison and texts compared, by the host's locale interface (without
// one: a Latin-1 case fold and a plain comparison).
#ifndef QG_SUPPORT_STRING_SERVICE_H_
#define QG_SUPPORT_STRING_SERVICE_H_

#include <cstdint>
#include <string>

class ServiceChaine {
 public:
  // Locale and flags of name normalisation: French, case and diacritics
  // ignored.
  static constexpr uint32_t kLocaleNoms = 1036;
  static constexpr uint32_t kFlagsNoms = 3;

  // The normalised form of the first n units of text (n = -1: up to the
  // terminator, which is not kept). Empty for a null text.
  static std::u16string Normalise(const char16_t* text, int n = -1,
                                  uint32_t locale = kLocaleNoms, uint32_t flags = kFlagsNoms);
  // Compares two texts (null reads as empty) with the comparison flags;
  // 0 when equal, negative or positive for their order.
  static int nCompare(const char16_t* a, const char16_t* b, uint32_t flags = kFlagsNoms);
};

#endif  // QG_SUPPORT_STRING_SERVICE_H_
