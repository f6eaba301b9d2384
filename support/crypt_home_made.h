// CCryptHomeMade: the library's own obfuscation of serialised bodies. It
// hides the bytes of a file from a casual look; it is not encryption and
// protects nothing against someone who has the library. A 16-byte key
// drives a byte stream that is combined with the data in place; the body
// keeps its size. Data obfuscated here is read back only by this code.
#ifndef QG_SUPPORT_CRYPT_HOME_MADE_H_
#define QG_SUPPORT_CRYPT_HOME_MADE_H_

#include <cstddef>
#include <cstdint>

class CCryptHomeMade {
 public:
  static constexpr size_t kTailleCle = 16;  // bytes

  // All-zero key until one is set.
  CCryptHomeMade();

  // The first min(n, 16) bytes, zero-padded.
  void SetCle(const void* pCle, size_t n);
  // Derives the key from a seed and a text. A UTF-16 text that survives a
  // round trip through code page 1252 counts as its 1252 bytes, any other as
  // its UTF-16 bytes (little-endian); an 8-bit text as its bytes. Never the
  // terminator; a null text is no bytes.
  void DeriveCle(uint32_t nGraine, const char16_t* psz);
  void DeriveCle(uint32_t nGraine, const char* psz);

  size_t nTailleCle() const { return kTailleCle; }
  const uint8_t* pCle() const { return m_abyCle; }

  // Size of the obfuscated form of n bytes, and of the plain form of an
  // obfuscated block of n bytes: both n.
  size_t nTailleBrouillee(size_t n) const { return n; }
  size_t nTailleDebrouillee(size_t n) const { return n; }

  // In place; Debrouille undoes Brouille under the same key.
  void Brouille(void* p, size_t n) const;
  void Debrouille(void* p, size_t n) const;

 private:
  void DeriveOctets(uint32_t nGraine, const uint8_t* p, size_t n);

  uint8_t m_abyCle[kTailleCle];
};

#endif  // QG_SUPPORT_CRYPT_HOME_MADE_H_
