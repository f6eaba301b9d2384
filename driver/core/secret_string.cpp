#include "driver/core/secret_string.h"

#include <cstdint>

#include "support/platform/text16.h"

namespace {

// XORs n bytes from `from` into `to` with the low 8 bits of each byte's
// address in the masked buffer.
void Mask(const unsigned char* from, unsigned char* to, size_t n, const unsigned char* masked) {
  for (size_t i = 0; i < n; ++i) {
    to[i] = from[i] ^ uint8_t(reinterpret_cast<uintptr_t>(masked + i));
  }
}

}  // namespace

int CSecretString::nSetClearText(const char16_t* text) {
  Clear();
  const size_t n = qg::StrLen16(text);
  if (n == 0) return 0;
  // A fresh private buffer, flagged secret before the text enters it.
  int rc = m_clText.SetLongueur(int(n));
  if (rc != 0) {
    m_clText.Libere();
    return rc;
  }
  m_clText.SetFlag(qg::kXYFlagSecret);
  unsigned char* buffer = reinterpret_cast<unsigned char*>(m_clText.pszGetBuffer());
  Mask(reinterpret_cast<const unsigned char*>(text), buffer, n * sizeof(char16_t), buffer);
  m_bMasked = true;
  return 0;
}

void CSecretString::SetUnmasked(const CXYString<char16_t>& text) {
  Clear();
  m_clText = text;
}

void CSecretString::Clear() {
  m_clText.Libere();
  m_bMasked = false;
}

CXYString<char16_t> CSecretString::clGetClearText() const {
  if (!m_bMasked) return m_clText;
  CXYString<char16_t> clear;
  const int n = m_clText.nTaille();
  if (n == 0 || clear.SetLongueur(n) != 0) return CXYString<char16_t>();
  clear.SetFlag(qg::kXYFlagSecret);
  const unsigned char* masked = reinterpret_cast<const unsigned char*>(m_clText.pszGet());
  Mask(masked, reinterpret_cast<unsigned char*>(clear.pszGetBuffer()), size_t(n) * sizeof(char16_t),
       masked);
  return clear;
}
