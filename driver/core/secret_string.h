// A password held masked in a host-shared string: each byte of the text is
// XORed with the low 8 bits of its own address in the buffer, so the clear
// text never rests in memory. The buffer carries the secret flag and is
// wiped when freed. One object is used by one thread at a time.
#ifndef QG_DRIVER_CORE_SECRET_STRING_H_
#define QG_DRIVER_CORE_SECRET_STRING_H_

#include "support/xystring.h"

class CSecretString {
 public:
  CSecretString() = default;
  CSecretString(const CSecretString&) = delete;
  CSecretString& operator=(const CSecretString&) = delete;

  // Stores a masked copy of the text (null or empty: no password). 0, or
  // the allocator's code (100 or more) with the string left empty.
  int nSetClearText(const char16_t* text);
  // Holds an unmasked text by sharing it.
  void SetUnmasked(const CXYString<char16_t>& text);
  void Clear();

  bool bIsMasked() const { return m_bMasked; }
  bool bIsEmpty() const { return m_clText.bEstVide(); }

  // The clear text: a new private copy (secret flag set) when masked, else
  // a share of the held text. Empty when the copy cannot be allocated.
  CXYString<char16_t> clGetClearText() const;

 private:
  CXYString<char16_t> m_clText;  // masked when m_bMasked; never shared then
  bool m_bMasked = false;
};

#endif  // QG_DRIVER_CORE_SECRET_STRING_H_
