#include "support/platform/message_insert.h"

#include <new>
#include <vector>

namespace qg {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

size_t Append(std::u16string* out, const char16_t* text, FormatArgs args) {
  const size_t start = out->size();
  std::u16string directive;
  const char16_t* p = text;
  while (*p) {
    if (*p != u'%') {
      const char16_t* q = p;
      while (*q && *q != u'%') ++q;
      out->append(p, static_cast<size_t>(q - p));
      p = q;
      continue;
    }
    const char16_t* pct = p;
    char16_t c = p[1];
    if (c == 0) {  // '%' ending the text
      out->push_back(u'%');
      break;
    }
    if (c == u'0') break;
    if (!IsDigit(c)) {
      switch (c) {
        case u'n': out->append(u"\r\n"); p += 2; break;
        case u'r': out->push_back(u'\r'); p += 2; break;
        case u't': out->push_back(u'\t'); p += 2; break;
        case u'b': case u' ': out->push_back(u' '); p += 2; break;
        case u'%': case u'.': case u'!': out->push_back(c); p += 2; break;
        default: out->push_back(u'%'); p += 1; break;
      }
      continue;
    }
    // Insert number: one or two digits.
    size_t number = static_cast<size_t>(c - u'0');
    p += 2;
    if (IsDigit(*p)) {
      number = number * 10 + static_cast<size_t>(*p - u'0');
      ++p;
    }
    // Optional printf directive between two '!'.
    const char16_t* fmt_begin = nullptr;
    const char16_t* fmt_end = nullptr;
    if (*p == u'!') {
      const char16_t* q = p + 1;
      while (*q && *q != u'!') ++q;
      if (*q == u'!') {
        fmt_begin = p + 1;
        fmt_end = q;
        p = q + 1;
      }
    }
    if (number > args.size) {
      out->append(pct, static_cast<size_t>(p - pct));
      continue;
    }
    directive.assign(1, u'%');
    if (fmt_begin != nullptr) {
      directive.append(fmt_begin, static_cast<size_t>(fmt_end - fmt_begin));
    } else {
      directive.push_back(u's');
    }
    // A '*' in the directive takes the inserts that follow, as the
    // directive's own arguments do; nothing past the count is read.
    FormatArgs from{args.data + (number - 1), args.size - (number - 1)};
    FormatAppend(out, directive.c_str(), from);
  }
  return out->size() - start;
}

}  // namespace

size_t MessageInsertAppend(std::u16string* out, const char16_t* text,
                           FormatArgs args) {
  if (text == nullptr) return 0;
  const size_t start = out->size();
  try {
    return Append(out, text, args);
  } catch (const std::bad_alloc&) {
    out->resize(start);  // never grows, so never allocates
    return kMessageInsertNoMemory;
  }
}

size_t MessageInsertAppend(std::u16string* out, const char16_t* text,
                           const char16_t* const* inserts, size_t count) {
  if (inserts == nullptr) count = 0;
  FormatArg local[16];
  std::vector<FormatArg> heap;
  FormatArg* list = local;
  if (count > 16) {
    try {
      heap.resize(count);
    } catch (const std::bad_alloc&) {
      return kMessageInsertNoMemory;
    }
    list = heap.data();
  }
  for (size_t i = 0; i < count; ++i) list[i] = FormatArg(inserts[i]);
  return MessageInsertAppend(out, text, FormatArgs{list, count});
}

}  // namespace qg
