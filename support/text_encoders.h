// Binary-to-text encoders. CEncodeBase writes 6-bit groups with an alphabet
// given by a derived class; CEncodeBase85 is Ascii85 without the 'z'
// abbreviation. Texts are 8-bit and NUL-terminated.
#ifndef QG_SUPPORT_TEXT_ENCODERS_H_
#define QG_SUPPORT_TEXT_ENCODERS_H_

#include <cstddef>
#include <cstdint>

class CEncodeBase {
 public:
  // Low byte of vnValeur for a character outside the alphabet.
  static constexpr unsigned kHorsAlphabet = 255;

  CEncodeBase() = default;
  virtual ~CEncodeBase() = default;

  // Encodes n bytes. With nGroupesParLigne > 0 a CR LF follows every run of
  // that many complete 3-byte groups; 0 or less writes one line. Writes the
  // text and its NUL into pszTexte unless it is null; returns the length
  // without the NUL, so a first call with null sizes the buffer (+1).
  virtual size_t vnEncode(const uint8_t* pOctets, size_t n,
                          int nGroupesParLigne, char* pszTexte);
  // Decodes a NUL-terminated text (null reads as empty) into pOctets unless
  // it is null; returns the byte count, or -1 when the text is not valid.
  // CR and LF are skipped.
  virtual int64_t vnDecode(const char* pszTexte, uint8_t* pOctets);
  // Symbol of a 6-bit value.
  virtual char vcSymbole(unsigned nValeur) const = 0;
  // Value of a symbol; kHorsAlphabet in the low byte when c is not one.
  virtual unsigned vnValeur(char c) const = 0;
};

class CEncodeBase85 : public CEncodeBase {
 public:
  // Groups of 4 bytes as 5 digits '!' to 'u'; a last group of k bytes gives
  // k + 1 digits. No line breaks and no frame: nGroupesParLigne is ignored.
  size_t vnEncode(const uint8_t* pOctets, size_t n, int nGroupesParLigne,
                  char* pszTexte) override;
  // Drops a leading "<~" and a trailing "~>", skips characters outside the
  // digits. -1 for a group above 2^32 - 1 or a lone final digit.
  int64_t vnDecode(const char* pszTexte, uint8_t* pOctets) override;
  char vcSymbole(unsigned nValeur) const override;
  unsigned vnValeur(char c) const override;
};

#endif  // QG_SUPPORT_TEXT_ENCODERS_H_
