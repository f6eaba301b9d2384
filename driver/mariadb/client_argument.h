// The holder through which a text argument reaches a client function: a
// UTF-16 text converted to the connection's code page (-2 leaves it as it
// is). The converted bytes are owned; a secret argument (the password) is
// wiped when the holder ends.
#ifndef QG_DRIVER_MARIADB_CLIENT_ARGUMENT_H_
#define QG_DRIVER_MARIADB_CLIENT_ARGUMENT_H_

#include <cstddef>
#include <cstdint>
#include <string>

class CNAClientArgument {
 public:
  CNAClientArgument(int32_t code_page, const char16_t* text, bool secret = false);
  ~CNAClientArgument();
  CNAClientArgument(const CNAClientArgument&) = delete;
  CNAClientArgument& operator=(const CNAClientArgument&) = delete;

  // Null for a null source, else the converted text (empty for an empty
  // source). For code page -2 the source bytes themselves.
  const char* pszGet() const;
  // Byte length of the converted text.
  size_t nGetLength() const { return m_strBytes.size(); }
  // Some character had no byte in the code page (or did not come back).
  bool bLossy() const { return m_bLossy; }

  // The UTF-16 form of a text the library handed back in a code page.
  static std::u16string pszGetWide(const char* text, size_t n, int32_t code_page);

 private:
  const char16_t* m_pszSource;
  size_t m_nSourceLength = 0;
  std::string m_strBytes;
  bool m_bSecret;
  bool m_bLossy = false;
};

// Converts a UTF-16 text into a code page; *lossy is set when a character
// has no byte there or does not come back unchanged.
std::string NAEncodeExact(const char16_t* text, size_t n, int32_t code_page, bool* lossy);

#endif  // QG_DRIVER_MARIADB_CLIENT_ARGUMENT_H_
