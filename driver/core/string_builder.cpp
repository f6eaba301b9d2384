#include "driver/core/string_builder.h"

#include <cstdlib>
#include <cstring>

#include "support/ctstring.h"
#include "support/platform/text16.h"

namespace qg {

size_t NextBuilderCapacity(size_t nCapacity, size_t nNeeded, size_t nStep) {
  size_t stepped = nNeeded + nStep - nNeeded % nStep;
  size_t doubled = nCapacity * 2;
  return stepped > doubled ? stepped : doubled;
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

void CNAByteBuilder::Append(const void* bytes, ptrdiff_t n) {
  if (bytes == nullptr || n <= 0) return;
  // The bytes may lie in this buffer, which growing moves.
  const uintptr_t at = reinterpret_cast<uintptr_t>(bytes);
  const uintptr_t base = reinterpret_cast<uintptr_t>(m_pBuffer);
  const bool inside = m_pBuffer != nullptr && at >= base && at <= base + m_nLength;
  const size_t offset = inside ? size_t(at - base) : 0;
  size_t needed = m_nLength + size_t(n);
  if (needed > m_nCapacity || m_pBuffer == nullptr) {
    size_t capacity = qg::NextBuilderCapacity(m_nCapacity, needed, m_nStep);
    void* grown = std::realloc(m_pBuffer, capacity + 1);
    if (grown == nullptr) {
      m_bFailed = true;
      return;
    }
    m_pBuffer = static_cast<uint8_t*>(grown);
    m_nCapacity = capacity;
  }
  if (inside) bytes = m_pBuffer + offset;
  std::memmove(m_pBuffer + m_nLength, bytes, size_t(n));
  m_nLength = needed;
  m_pBuffer[m_nLength] = 0;
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
