#include "driver/sql/oversized_type.h"

namespace {

bool IsWordUnit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
         c == u'_' || c == u'$';
}

}  // namespace

bool NAReplaceOversizedType(const std::u16string& text, const std::u16string& type,
                            int64_t limit, const std::u16string& replacement,
                            std::u16string* out) {
  if (type.empty()) return false;
  std::u16string result;
  bool replaced = false;
  size_t from = 0;
  size_t at = 0;
  while ((at = text.find(type, at)) != std::u16string::npos) {
    size_t p = at + type.size();
    // A whole word: NVARCHAR is not VARCHAR.
    bool word = at == 0 || !IsWordUnit(text[at - 1]);
    if (!word || p >= text.size() || text[p] != u'(') {
      at += 1;
      continue;
    }
    ++p;
    size_t digits = p;
    bool above = false;
    int64_t value = 0;
    while (p < text.size() && text[p] >= u'0' && text[p] <= u'9') {
      if (!above) {
        value = value * 10 + (text[p] - u'0');
        if (value > limit) above = true;
      }
      ++p;
    }
    if (p == digits || !above || p >= text.size()) {
      at += 1;
      continue;
    }
    result.append(text, from, at - from);
    result += replacement;
    from = p + 1;
    at = from;
    replaced = true;
  }
  if (!replaced) return false;
  result.append(text, from, std::u16string::npos);
  *out = std::move(result);
  return true;
}
