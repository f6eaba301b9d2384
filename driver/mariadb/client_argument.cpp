#include "driver/mariadb/client_argument.h"

#include <cstring>

#include "support/platform/codepage.h"

std::string NAEncodeExact(const char16_t* text, size_t n, int32_t code_page, bool* lossy) {
  std::string out;
  if (n == 0) return out;
  uint32_t cp = code_page <= 0 ? 1252u : static_cast<uint32_t>(code_page);
  int src = static_cast<int>(n);
  bool used_default = false;
  int need = qg::WideToMultiByte(cp, text, src, nullptr, 0, &used_default);
  if (need <= 0) {
    *lossy = true;
    return out;
  }
  out.resize(static_cast<size_t>(need));
  qg::WideToMultiByte(cp, text, src, out.data(), need, &used_default);
  if (used_default) {
    *lossy = true;
    return out;
  }
  // A character that does not come back (a best fit, a lone surrogate) is
  // not representable either.
  int back = qg::MultiByteToWide(cp, out.data(), need, nullptr, 0);
  std::u16string again(static_cast<size_t>(back > 0 ? back : 0), u'\0');
  if (back > 0) qg::MultiByteToWide(cp, out.data(), need, again.data(), back);
  if (again.size() != n || std::char_traits<char16_t>::compare(again.data(), text, n) != 0) {
    *lossy = true;
  }
  return out;
}

CNAClientArgument::CNAClientArgument(int32_t code_page, const char16_t* text, bool secret)
    : m_pszSource(text), m_bSecret(secret) {
  if (text == nullptr) return;
  m_nSourceLength = std::char_traits<char16_t>::length(text);
  if (m_nSourceLength == 0) return;
  if (code_page == -2) {
    m_strBytes.assign(reinterpret_cast<const char*>(text), m_nSourceLength * 2);
    return;
  }
  m_strBytes = NAEncodeExact(text, m_nSourceLength, code_page, &m_bLossy);
}

CNAClientArgument::~CNAClientArgument() {
  if (m_bSecret && !m_strBytes.empty()) {
    volatile char* p = m_strBytes.data();
    for (size_t i = 0; i < m_strBytes.size(); ++i) p[i] = 0;
  }
}

const char* CNAClientArgument::pszGet() const {
  if (m_pszSource == nullptr) return nullptr;
  return m_strBytes.c_str();
}

std::u16string CNAClientArgument::pszGetWide(const char* text, size_t n, int32_t code_page) {
  std::u16string out;
  if (text == nullptr || n == 0) return out;
  if (code_page == -2) {
    out.assign(reinterpret_cast<const char16_t*>(text), n / 2);
    return out;
  }
  uint32_t cp = code_page <= 0 ? 1252u : static_cast<uint32_t>(code_page);
  int need = qg::MultiByteToWide(cp, text, static_cast<int>(n), nullptr, 0);
  if (need <= 0) return out;
  out.resize(static_cast<size_t>(need));
  qg::MultiByteToWide(cp, text, static_cast<int>(n), out.data(), need);
  return out;
}
