#include "driver/core/string_builder.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "support/ctstring.h"
#include "support/platform/text16.h"

namespace qg {

size_t NextBuilderCapacity(size_t nCapacity, size_t nNeeded, size_t nStep) {
  size_t stepped = nNeeded + nStep - nNeeded % nStep;
  size_t doubled = nCapacity * 2;
  return stepped > doubled ? stepped : doubled;
}

std::string DecimalText(int64_t value, int width) {
  char digits[24];
  int n = 0;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::string text;
  if (value < 0) text += '-';
  if (width != -1 && value > 0 && width > n) text.append(size_t(width - n), '0');
  while (n > 0) text += digits[--n];
  return text;
}

}  // namespace qg

CNAStringBuilder::CNAStringBuilder(size_t nStep) : m_nStep(nStep != 0 ? nStep : kDefaultStep) {}

CNAStringBuilder::~CNAStringBuilder() { std::free(m_pBuffer); }

bool CNAStringBuilder::bGrow(size_t nNeeded) {
  if (nNeeded <= m_nCapacity && m_pBuffer != nullptr) return true;
  size_t capacity = qg::NextBuilderCapacity(m_nCapacity, nNeeded, m_nStep);
  void* grown = std::realloc(m_pBuffer, (capacity + 1) * sizeof(char16_t));
  if (grown == nullptr) {
    m_bFailed = true;
    return false;
  }
  m_pBuffer = static_cast<char16_t*>(grown);
  m_nCapacity = capacity;
  m_pBuffer[m_nLength] = 0;
  return true;
}

bool CNAStringBuilder::bReserve(size_t nMore) { return bGrow(m_nLength + nMore); }

void CNAStringBuilder::Add(const char16_t* text) {
  if (text != nullptr) AddN(text, ptrdiff_t(qg::StrLen16(text)));
}

void CNAStringBuilder::AddString(const CTString& text) {
  AddN(text.pszGet(), ptrdiff_t(text.nTaille()));
}

void CNAStringBuilder::AddN(const char16_t* text, ptrdiff_t n) {
  if (text == nullptr || n <= 0) return;
  // The text may lie in this builder's buffer, which growing moves.
  const uintptr_t at = reinterpret_cast<uintptr_t>(text);
  const uintptr_t base = reinterpret_cast<uintptr_t>(m_pBuffer);
  const bool inside = m_pBuffer != nullptr && at >= base && at <= base + m_nLength * sizeof(char16_t);
  const size_t offset = inside ? size_t(text - m_pBuffer) : 0;
  if (!bGrow(m_nLength + size_t(n))) return;
  if (inside) text = m_pBuffer + offset;
  std::memmove(m_pBuffer + m_nLength, text, size_t(n) * sizeof(char16_t));
  m_nLength += size_t(n);
  m_pBuffer[m_nLength] = 0;
}

void CNAStringBuilder::AddInt(int64_t value, int width) {
  std::string text = qg::DecimalText(value, width);
  std::u16string wide(text.begin(), text.end());
  AddN(wide.data(), ptrdiff_t(wide.size()));
}

void CNAStringBuilder::AddBinaryByte(uint8_t byte) {
  char16_t bits[8];
  for (int i = 0; i < 8; ++i) bits[i] = (byte & (0x80 >> i)) != 0 ? u'1' : u'0';
  AddN(bits, 8);
}

void CNAStringBuilder::InsertW(const char16_t* text, ptrdiff_t n) {
  if (text == nullptr || n <= 0) return;
  // A text inside this buffer is copied first: growing and moving change it.
  std::u16string copy(text, size_t(n));
  if (!bGrow(m_nLength + size_t(n))) return;
  std::memmove(m_pBuffer + n, m_pBuffer, m_nLength * sizeof(char16_t));
  std::memcpy(m_pBuffer, copy.data(), size_t(n) * sizeof(char16_t));
  m_nLength += size_t(n);
  m_pBuffer[m_nLength] = 0;
}

ptrdiff_t CNAStringBuilder::nFind(char16_t c, size_t nStart) const {
  for (size_t i = nStart; i < m_nLength; ++i) {
    if (m_pBuffer[i] == c) return ptrdiff_t(i);
  }
  return -1;
}

ptrdiff_t CNAStringBuilder::nFind(const char16_t* what, ptrdiff_t nWhat, size_t nStart) const {
  if (what == nullptr || nWhat <= 0 || nStart >= m_nLength) return -1;
  ptrdiff_t found = qg::Find16(m_pBuffer + nStart, m_nLength - nStart, what, size_t(nWhat));
  return found < 0 ? -1 : found + ptrdiff_t(nStart);
}

void CNAStringBuilder::Truncate(size_t n) {
  if (n >= m_nLength) return;
  m_nLength = n;
  m_pBuffer[n] = 0;
}

int CNAStringBuilder::nReplaceAll(const char16_t* what, ptrdiff_t nWhat, const char16_t* with,
                                  ptrdiff_t nWith, ptrdiff_t nStart) {
  if (what == nullptr || nWhat <= 0 || m_nLength == 0) return 0;
  if (with == nullptr || nWith < 0) nWith = 0;
  const size_t n_what = size_t(nWhat);
  const size_t n_with = size_t(nWith);
  size_t start = nStart > 0 ? size_t(nStart) : 0;
  if (n_what > m_nLength || start >= m_nLength) return 0;

  if (n_with == n_what) {
    int count = 0;
    for (size_t at = start; at + n_what <= m_nLength;) {
      if (std::memcmp(m_pBuffer + at, what, n_what * sizeof(char16_t)) == 0) {
        std::memcpy(m_pBuffer + at, with, n_with * sizeof(char16_t));
        at += n_what;
        ++count;
      } else {
        ++at;
      }
    }
    return count;
  }

  // Different lengths: copy the text once into a new buffer, segments and
  // replacements in turn.
  int count = 0;
  for (size_t at = start; at + n_what <= m_nLength;) {
    ptrdiff_t found = qg::Find16(m_pBuffer + at, m_nLength - at, what, n_what);
    if (found < 0) break;
    ++count;
    at += size_t(found) + n_what;
  }
  if (count == 0) return 0;
  const size_t length = m_nLength - size_t(count) * n_what + size_t(count) * n_with;
  size_t capacity = m_nCapacity;
  if (length > capacity) capacity = qg::NextBuilderCapacity(m_nCapacity, length, m_nStep);
  char16_t* out = static_cast<char16_t*>(std::malloc((capacity + 1) * sizeof(char16_t)));
  if (out == nullptr) {
    m_bFailed = true;
    return 0;
  }
  std::memcpy(out, m_pBuffer, start * sizeof(char16_t));
  size_t w = start;
  size_t r = start;
  for (int i = 0; i < count; ++i) {
    size_t found = r + size_t(qg::Find16(m_pBuffer + r, m_nLength - r, what, n_what));
    std::memcpy(out + w, m_pBuffer + r, (found - r) * sizeof(char16_t));
    w += found - r;
    if (n_with > 0) std::memcpy(out + w, with, n_with * sizeof(char16_t));
    w += n_with;
    r = found + n_what;
  }
  std::memcpy(out + w, m_pBuffer + r, (m_nLength - r) * sizeof(char16_t));
  w += m_nLength - r;
  out[w] = 0;
  std::free(m_pBuffer);
  m_pBuffer = out;
  m_nLength = w;
  m_nCapacity = capacity;
  return count;
}

void CNAListBuilder::Add(const char16_t* item) {
  if (m_nCount > 0) m_clText.AddChar(u',');
  m_clText.Add(item);
  ++m_nCount;
}

CNAByteBuilder::CNAByteBuilder(size_t nStep) : m_nStep(nStep != 0 ? nStep : 1024) {}

CNAByteBuilder::~CNAByteBuilder() { std::free(m_pBuffer); }

bool CNAByteBuilder::bGrow(size_t nNeeded) {
  if (nNeeded <= m_nCapacity && m_pBuffer != nullptr) return true;
  size_t capacity = qg::NextBuilderCapacity(m_nCapacity, nNeeded, m_nStep);
  void* grown = std::realloc(m_pBuffer, capacity + 1);
  if (grown == nullptr) {
    m_bFailed = true;
    return false;
  }
  m_pBuffer = static_cast<uint8_t*>(grown);
  m_nCapacity = capacity;
  m_pBuffer[m_nLength] = 0;
  return true;
}

void CNAByteBuilder::Append(const void* bytes, ptrdiff_t n) {
  if (bytes == nullptr || n <= 0) return;
  // The bytes may lie in this buffer, which growing moves.
  const uintptr_t at = reinterpret_cast<uintptr_t>(bytes);
  const uintptr_t base = reinterpret_cast<uintptr_t>(m_pBuffer);
  const bool inside = m_pBuffer != nullptr && at >= base && at <= base + m_nLength;
  const size_t offset = inside ? size_t(at - base) : 0;
  if (!bGrow(m_nLength + size_t(n))) return;
  if (inside) bytes = m_pBuffer + offset;
  std::memmove(m_pBuffer + m_nLength, bytes, size_t(n));
  m_nLength += size_t(n);
  m_pBuffer[m_nLength] = 0;
}

void CNAByteBuilder::AddInt(int64_t value, int width) {
  std::string text = qg::DecimalText(value, width);
  Append(text.data(), ptrdiff_t(text.size()));
}

void CNAByteBuilder::Insert(const void* bytes, ptrdiff_t n) {
  if (bytes == nullptr || n <= 0) return;
  std::string copy(static_cast<const char*>(bytes), size_t(n));
  if (!bGrow(m_nLength + size_t(n))) return;
  std::memmove(m_pBuffer + n, m_pBuffer, m_nLength);
  std::memcpy(m_pBuffer, copy.data(), size_t(n));
  m_nLength += size_t(n);
  m_pBuffer[m_nLength] = 0;
}

int CNAByteBuilder::nReplaceAll(const void* what, ptrdiff_t nWhat, const void* with,
                                ptrdiff_t nWith) {
  if (what == nullptr || nWhat <= 0 || m_nLength == 0) return 0;
  if (with == nullptr || nWith < 0) nWith = 0;
  std::string old(reinterpret_cast<const char*>(m_pBuffer), m_nLength);
  std::string pattern(static_cast<const char*>(what), size_t(nWhat));
  std::string replacement(with != nullptr ? static_cast<const char*>(with) : "", size_t(nWith));
  std::string out;
  int count = 0;
  size_t from = 0;
  for (size_t at = old.find(pattern); at != std::string::npos; at = old.find(pattern, from)) {
    out.append(old, from, at - from);
    out += replacement;
    from = at + pattern.size();
    ++count;
  }
  if (count == 0) return 0;
  out.append(old, from, std::string::npos);
  if (!bGrow(out.size())) return 0;
  std::memcpy(m_pBuffer, out.data(), out.size());
  m_nLength = out.size();
  m_pBuffer[m_nLength] = 0;
  return count;
}

void CNAByteBuilder::Truncate(ptrdiff_t n) {
  if (n < 1) n = 0;
  if (size_t(n) >= m_nLength) return;
  m_nLength = size_t(n);
  m_pBuffer[m_nLength] = 0;
}

ptrdiff_t CNAByteBuilder::nFind(uint8_t b, size_t nStart) const {
  for (size_t i = nStart; i < m_nLength; ++i) {
    if (m_pBuffer[i] == b) return ptrdiff_t(i);
  }
  return -1;
}

ptrdiff_t CNAByteBuilder::nFind(const void* what, ptrdiff_t nWhat, size_t nStart) const {
  if (what == nullptr || nWhat <= 0 || nStart >= m_nLength) return -1;
  std::string_view text(reinterpret_cast<const char*>(m_pBuffer), m_nLength);
  size_t at = text.find(std::string_view(static_cast<const char*>(what), size_t(nWhat)), nStart);
  return at == std::string_view::npos ? -1 : ptrdiff_t(at);
}

bool bAddHexLiteral(CNAStringBuilder& out, const void* bytes, size_t n) {
  if (bytes == nullptr || n == 0) return true;
  if (!out.bReserve(2 * n)) return false;
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  char16_t pair[2];
  for (size_t i = 0; i < n; ++i) {
    pair[0] = kDigits[p[i] >> 4];
    pair[1] = kDigits[p[i] & 15];
    out.AddN(pair, 2);
  }
  return true;
}

const char16_t* SkipCodePoints(const char16_t* text, size_t n) {
  if (text == nullptr) return nullptr;
  for (; n > 0 && *text != 0; --n) {
    if (*text >= 0xD800 && *text <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
      text += 2;
    } else {
      ++text;
    }
  }
  return text;
}
