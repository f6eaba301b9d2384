#include "support/ctstring.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "support/frame/module_services.h"
#include "support/platform/codepage.h"
#include "support/platform/format.h"
#include "support/platform/text16.h"
#include "support/text_functions.h"

namespace {

const char16_t kEmpty[1] = {0};

// Largest length a block may hold (its byte size stays in a signed int).
constexpr size_t kMaxUnits = 0x3FFFFFFE;

char16_t* NewBlock(size_t n) {
  if (n > kMaxUnits) return nullptr;
  return static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
}

}  // namespace

CTString::CTString(const char16_t* text) : m_psz(nullptr) { Set(text); }

CTString::CTString(const char16_t* text, size_t n) : m_psz(nullptr) { Set(text, n); }

CTString::CTString(const CTString& other) : m_psz(nullptr) { Set(other.m_psz); }

CTString::~CTString() { std::free(m_psz); }

CTString& CTString::operator=(const CTString& other) {
  if (this != &other) Set(other.m_psz);
  return *this;
}

CTString& CTString::operator=(CTString&& other) noexcept {
  if (this != &other) {
    std::free(m_psz);
    m_psz = other.m_psz;
    other.m_psz = nullptr;
  }
  return *this;
}

void CTString::RAZ() {
  std::free(m_psz);
  m_psz = nullptr;
}

void CTString::Assign(const char16_t* text, size_t n) {
  if (text == nullptr || n == 0) {
    RAZ();
    return;
  }
  if (text == m_psz && n == qg::StrLen16(m_psz)) return;
  size_t len = m_psz != nullptr ? qg::StrLen16(m_psz) : 0;
  if (m_psz != nullptr && len == n) {
    // Same length: in place (the text may lie in the block).
    std::memmove(m_psz, text, n * sizeof(char16_t));
    m_psz[n] = 0;
    return;
  }
  // A new block, filled before the old one is freed: the text may lie in it.
  char16_t* block = NewBlock(n);
  if (block != nullptr) {
    std::memcpy(block, text, n * sizeof(char16_t));
    block[n] = 0;
  }
  std::free(m_psz);
  m_psz = block;
}

void CTString::Set(const char16_t* text) { Assign(text, qg::StrLen16(text)); }

void CTString::Set(const char16_t* text, size_t n) { Assign(text, qg::StrNLen16(text, n)); }

void CTString::SetChar(char16_t c) {
  const char16_t one[2] = {c, 0};
  Set(one);
}

void CTString::SetFromMultiByte(const char* text, uint32_t code_page) {
  if (text == nullptr || text[0] == 0) {
    RAZ();
    return;
  }
  code_page = qg::ResolveCodePage(code_page);  // 0: the host's
  if (code_page == qg::kCodePageUtf8 || code_page == qg::kCodePage1252) {
    // Both take ASCII bytes as the same units: such a text is widened as is.
    size_t n = 0;
    while (text[n] != 0 && static_cast<unsigned char>(text[n]) < 0x80) ++n;
    if (text[n] == 0) {
      char16_t* block = NewBlock(n);
      if (block != nullptr) {
        for (size_t i = 0; i <= n; ++i) block[i] = static_cast<char16_t>(text[i]);
      }
      std::free(m_psz);
      m_psz = block;
      return;
    }
  }
  int need = qg::MultiByteToWide(code_page, text, -1, nullptr, 0);  // counts the terminator
  char16_t* block = need > 1 ? NewBlock(static_cast<size_t>(need - 1)) : nullptr;
  if (block != nullptr && qg::MultiByteToWide(code_page, text, -1, block, need) != need) {
    std::free(block);
    block = nullptr;
  }
  std::free(m_psz);
  m_psz = block;
}

int CTString::nTaille() const { return static_cast<int>(qg::StrLen16(m_psz)); }

const char16_t* CTString::pszGet() const { return m_psz != nullptr ? m_psz : kEmpty; }

bool CTString::bEstEgal(const char16_t* text) const {
  return qg::StrCmp16(pszGet(), text) == 0;
}

bool CTString::bEstEgalI(const char16_t* text) const {
  if (bEstVide()) return text == nullptr || text[0] == 0;
  return nCompareChaineLocale(m_psz, text != nullptr ? text : kEmpty,
                              qg::kCompareIgnoreCase | qg::kCompareIgnoreNonSpace) == 0;
}

char16_t CTString::nGetChar(int index) const {
  if (m_psz == nullptr || index < 0 || index >= nTaille()) return 0;
  return m_psz[index];
}

bool CTString::bExtraitChaine(int n, const char16_t* separator, CTString& out) const {
  if (m_psz == nullptr || n < 0) return false;
  size_t len = qg::StrLen16(m_psz);
  size_t seplen = qg::StrLen16(separator);
  if (seplen == 0) {
    // No separator: the whole text is the one field.
    if (n != 0) return false;
    CTString copy(*this);
    out = static_cast<CTString&&>(copy);
    return true;
  }
  size_t start = 0;
  for (int field = 0; field < n; ++field) {
    ptrdiff_t at = qg::Find16(m_psz + start, len - start, separator, seplen);
    if (at < 0) return false;
    start += static_cast<size_t>(at) + seplen;
  }
  ptrdiff_t end = qg::Find16(m_psz + start, len - start, separator, seplen);
  size_t count = end < 0 ? len - start : static_cast<size_t>(end);
  CTString field(m_psz + start, count);  // out may be this string
  out = static_cast<CTString&&>(field);
  return true;
}

int CTString::FormatV(const char16_t* format, va_list ap) {
  // The old block is freed only after formatting: an argument may be this
  // string's own text.
  std::unique_ptr<char16_t, decltype(&std::free)> old(m_psz, &std::free);
  m_psz = nullptr;
  va_list count_ap;
  va_copy(count_ap, ap);
  int estimate = nCalculeTailleFormat(format, count_ap);
  va_end(count_ap);
  // The estimate is a first guess; the formatter gets the real capacity
  // and a truncated result is retried with a larger block.
  size_t capacity = static_cast<size_t>(estimate) + 1;
  if (capacity < 16) capacity = 16;
  for (;;) {
    char16_t* block = NewBlock(capacity - 1);
    if (block == nullptr) return -1;
    va_list try_ap;
    va_copy(try_ap, ap);
    int written = qg::FormatVaTo(block, capacity, format, try_ap);
    va_end(try_ap);
    if (written >= 0) {
      if (written == 0) {
        std::free(block);
        return 0;
      }
      // Keep the block exactly length + 1 units.
      void* shrunk = std::realloc(block, (static_cast<size_t>(written) + 1) * sizeof(char16_t));
      m_psz = shrunk != nullptr ? static_cast<char16_t*>(shrunk) : block;
      return written;
    }
    std::free(block);
    if (capacity > kMaxUnits / 2) return -1;
    capacity *= 2;
  }
}

void CTString::Add(const char16_t* text) {
  size_t n = qg::StrLen16(text);
  if (n == 0) return;
  size_t len = qg::StrLen16(m_psz);
  if (n > kMaxUnits - len) return;
  // A new block filled before the old one is freed: the text may lie in it.
  char16_t* block = NewBlock(len + n);
  if (block == nullptr) return;
  if (len > 0) std::memcpy(block, m_psz, len * sizeof(char16_t));
  std::memcpy(block + len, text, n * sizeof(char16_t));
  block[len + n] = 0;
  std::free(m_psz);
  m_psz = block;
}

CTString CTString::clMilieu(int start) const {
  int len = nTaille();
  if (start < 0) start = 0;
  if (start >= len) return CTString();
  return CTString(m_psz + start);
}

const char16_t* CTString::pszExtraitAvantPoint(const char16_t* text, bool whole_when_no_point) {
  const char16_t* point = qg::StrChr16(text, u'.');
  if (point == nullptr) {
    if (whole_when_no_point) {
      Set(text);
      return nullptr;
    }
    RAZ();
    return text;
  }
  Set(text, static_cast<size_t>(point - text));
  return point + 1;
}

CTStringFormat::CTStringFormat(const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  FormatV(format, ap);
  va_end(ap);
}
