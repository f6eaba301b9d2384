#include "driver/core/dual_string.h"

#include <cstring>

#include "driver/core/support/random_bytes.h"
#include "support/ctstring.h"
#include "support/platform/codepage.h"

CDualString::CDualString(int32_t storage_code_page, int32_t output_code_page)
    : m_nStorage(storage_code_page), m_nOutput(output_code_page) {}

std::string CDualString::Encode(const char16_t* text, size_t n, int32_t code_page) {
  if (n == 0) return std::string();
  uint32_t cp = code_page < 0 ? 1252u : static_cast<uint32_t>(code_page);
  int src = static_cast<int>(n);
  bool used_default = false;
  int need = qg::WideToMultiByte(cp, text, src, nullptr, 0, &used_default);
  std::string out(static_cast<size_t>(need > 0 ? need : 0), '\0');
  if (need > 0) qg::WideToMultiByte(cp, text, src, out.data(), need, &used_default);
  if (used_default || need <= 0) m_bLossy = true;
  return out;
}

std::u16string CDualString::Decode(const char* text, size_t n, int32_t code_page) {
  if (n == 0) return std::u16string();
  uint32_t cp = code_page < 0 ? 1252u : static_cast<uint32_t>(code_page);
  int src = static_cast<int>(n);
  int need = qg::MultiByteToWide(cp, text, src, nullptr, 0);
  std::u16string out(static_cast<size_t>(need > 0 ? need : 0), u'\0');
  if (need > 0) qg::MultiByteToWide(cp, text, src, out.data(), need);
  if (need <= 0) m_bLossy = true;
  return out;
}

void CDualString::Changed() {
  if (m_nStorage == kUtf16) {
    m_strA.clear();
  } else {
    m_strW.clear();
  }
}

const char16_t* CDualString::pszGetW() {
  if (m_nStorage != kUtf16 && m_strW.empty() && !m_strA.empty()) {
    m_strW = Decode(m_strA.data(), m_strA.size(), m_nStorage);
  }
  return m_strW.c_str();
}

const char* CDualString::pszGetA() {
  if (m_nStorage == kUtf16 && m_strA.empty() && !m_strW.empty()) {
    m_strA = Encode(m_strW.data(), m_strW.size(), m_nOutput);
  }
  return m_strA.c_str();
}

size_t CDualString::nGetLengthA() {
  pszGetA();
  return m_strA.size();
}

size_t CDualString::nGetLengthW() {
  pszGetW();
  return m_strW.size();
}

char16_t CDualString::nGetCharW(size_t index) {
  pszGetW();
  return index < m_strW.size() ? m_strW[index] : 0;
}

bool CDualString::bIsSpaceAt(size_t index) {
  if (m_nStorage == kUtf16) return index < m_strW.size() && m_strW[index] == u' ';
  return index < m_strA.size() && m_strA[index] == ' ';
}

void CDualString::AddW(const char16_t* text, ptrdiff_t length) {
  if (text == nullptr || length <= 0) return;
  if (m_nStorage == kUtf16) {
    m_strW.append(text, static_cast<size_t>(length));
  } else {
    m_strA += Encode(text, static_cast<size_t>(length), m_nStorage);
  }
  Changed();
}

void CDualString::AddW(const char16_t* text) {
  if (text != nullptr) AddW(text, static_cast<ptrdiff_t>(std::char_traits<char16_t>::length(text)));
}

size_t CDualString::nSetText(const char* text, ptrdiff_t length, int32_t code_page) {
  if (text == nullptr) return 0;
  if (length < 0) length = static_cast<ptrdiff_t>(std::strlen(text));
  if (length == 0) return 0;
  if (code_page == -1) code_page = m_nOutput;
  size_t n = static_cast<size_t>(length);
  if (m_nStorage != kUtf16 && m_nStorage == code_page) {
    m_strA.append(text, n);
    Changed();
    return n;
  }
  std::u16string wide = Decode(text, n, code_page);
  AddW(wide.data(), static_cast<ptrdiff_t>(wide.size()));
  return wide.size();
}

bool CDualString::bAddDual(CDualString& other) {
  if (m_nStorage != kUtf16 && m_nStorage == other.m_nStorage) {
    m_strA += other.m_strA;
    Changed();
    return true;
  }
  const char16_t* w = other.pszGetW();
  AddW(w, static_cast<ptrdiff_t>(other.m_strW.size()));
  return true;
}

void CDualString::AddString(const CTString& text) { AddW(text.pszGet()); }

void CDualString::AddInt(int64_t value, int width) {
  char16_t digits[24];
  int n = 0;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::u16string text;
  if (value < 0) text += u'-';
  if (width != -1 && value > 0) {
    for (int i = n; i < width; ++i) text += u'0';
  }
  while (n > 0) text += digits[--n];
  AddW(text.data(), static_cast<ptrdiff_t>(text.size()));
}

void CDualString::InsertW(const char16_t* text, ptrdiff_t length) {
  if (text == nullptr || length <= 0) return;
  if (m_nStorage == kUtf16) {
    m_strW.insert(0, text, static_cast<size_t>(length));
  } else {
    m_strA.insert(0, Encode(text, static_cast<size_t>(length), m_nStorage));
  }
  Changed();
}

void CDualString::ReplaceAll(char16_t c, const char16_t* with, ptrdiff_t length) {
  std::u16string replacement(with != nullptr && length > 0 ? with : u"",
                             with != nullptr && length > 0 ? static_cast<size_t>(length) : 0);
  if (m_nStorage == kUtf16) {
    std::u16string out;
    for (char16_t x : m_strW) {
      if (x == c) {
        out += replacement;
      } else {
        out += x;
      }
    }
    m_strW.swap(out);
  } else {
    std::string what = Encode(&c, 1, m_nStorage);
    std::string by = Encode(replacement.data(), replacement.size(), m_nStorage);
    if (what.empty()) return;
    std::string out;
    size_t i = 0;
    while (i < m_strA.size()) {
      if (m_strA.compare(i, what.size(), what) == 0) {
        out += by;
        i += what.size();
      } else {
        out += m_strA[i++];
      }
    }
    m_strA.swap(out);
  }
  Changed();
}

void CDualString::Truncate(size_t length) {
  std::string& a = m_strA;
  if (m_nStorage == kUtf16) {
    if (length >= m_strW.size()) return;
    m_strW.resize(length);
  } else {
    if (length >= a.size()) return;
    a.resize(length);
  }
  Changed();
}

void CDualString::Delete(size_t position, size_t count) {
  if (m_nStorage == kUtf16) {
    if (position >= m_strW.size()) return;
    m_strW.erase(position, count);
  } else {
    if (position >= m_strA.size()) return;
    m_strA.erase(position, count);
  }
  Changed();
}

void CDualString::Clear() {
  m_strA.clear();
  m_strW.clear();
  m_bLossy = false;
}

ptrdiff_t CDualString::nFindQuote(size_t start) {
  size_t at = m_nStorage == kUtf16 ? m_strW.find(u'\'', start) : m_strA.find('\'', start);
  return at == std::string::npos ? -1 : static_cast<ptrdiff_t>(at);
}

ptrdiff_t CDualString::nFindEscape(size_t start) {
  size_t at = m_nStorage == kUtf16 ? m_strW.find(u"ESCAPE", start) : m_strA.find("ESCAPE", start);
  return at == std::string::npos ? -1 : static_cast<ptrdiff_t>(at);
}

void FormatGuid(const uint8_t bytes[16], char16_t out[37]) {
  static const char16_t kHex[] = u"0123456789abcdef";
  int o = 0;
  for (int i = 0; i < 16; ++i) {
    out[o++] = kHex[bytes[i] >> 4];
    out[o++] = kHex[bytes[i] & 15];
    if (i == 3 || i == 5 || i == 7 || i == 9) out[o++] = u'-';
  }
  out[o] = 0;
}

bool NewUuid4(uint8_t bytes[16]) {
  if (!qg::bFillRandomBytes(bytes, 16)) return false;
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);
  return true;
}

bool NewRandom256(uint8_t bytes[32]) { return qg::bFillRandomBytes(bytes, 32); }
