// SQL text held either as UTF-16 or as 8-bit text in a code page, the other
// form made on demand. The storage code page says which form is
// authoritative (-2: UTF-16); every change to it empties the other form,
// which the next request rebuilds (each form is converted at most once
// between changes). Appending converts only the piece appended.
//
// A character that the target code page cannot represent makes the
// conversion lossy: bLossy() then stays set until Clear, so that a caller
// can refuse a text rather than send a replacement character.
#ifndef QG_DRIVER_CORE_DUAL_STRING_H_
#define QG_DRIVER_CORE_DUAL_STRING_H_

#include <cstddef>
#include <cstdint>
#include <string>

class CTString;

class CDualString {
 public:
  static constexpr int32_t kUtf16 = -2;

  // storage: code page of the 8-bit form (-2: held as UTF-16); output:
  // the code page the 8-bit form of a UTF-16 text is made in.
  CDualString(int32_t storage_code_page, int32_t output_code_page);

  int32_t nGetStorageCodePage() const { return m_nStorage; }
  int32_t nGetOutputCodePage() const { return m_nOutput; }

  const char16_t* pszGetW();
  const char* pszGetA();
  // Length of the 8-bit form in bytes (made when needed).
  size_t nGetLengthA();
  size_t nGetLengthW();
  bool bIsEmpty() const { return m_nStorage == kUtf16 ? m_strW.empty() : m_strA.empty(); }

  char16_t nGetCharW(size_t index);
  bool bIsSpaceAt(size_t index);

  void AddW(const char16_t* text, ptrdiff_t length);
  void AddW(const char16_t* text);
  // Appends 8-bit text of the code page (-1: the output code page).
  // Answers the bytes or units appended.
  size_t nSetText(const char* text, ptrdiff_t length, int32_t code_page = -1);
  bool bAddDual(CDualString& other);
  void AddString(const CTString& text);
  void AddInt(int64_t value, int width = -1);
  void InsertW(const char16_t* text, ptrdiff_t length);
  void ReplaceAll(char16_t c, const char16_t* with, ptrdiff_t length);
  void Truncate(size_t length);
  void Delete(size_t position, size_t count);
  void Clear();
  ptrdiff_t nFindQuote(size_t start);
  ptrdiff_t nFindEscape(size_t start);

  bool bLossy() const { return m_bLossy; }

 private:
  std::string Encode(const char16_t* text, size_t n, int32_t code_page);
  std::u16string Decode(const char* text, size_t n, int32_t code_page);
  void Changed();

  int32_t m_nStorage;
  int32_t m_nOutput;
  std::string m_strA;
  std::u16string m_strW;
  bool m_bLossy = false;
};

// 16 bytes as 8-4-4-4-12 lower-case hexadecimal digits; out holds 37 units.
void FormatGuid(const uint8_t bytes[16], char16_t out[37]);
// A random version-4 UUID.
bool NewUuid4(uint8_t bytes[16]);
bool NewRandom256(uint8_t bytes[32]);

#endif  // QG_DRIVER_CORE_DUAL_STRING_H_
