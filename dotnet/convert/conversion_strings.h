// Strings, characters, binaries, identifiers and opaque values in the
// conversion engine, and the memo-image extractors that turn a memo image
// into one of the four string kinds.
#ifndef QG_DOTNET_CONVERT_CONVERSION_STRINGS_H_
#define QG_DOTNET_CONVERT_CONVERSION_STRINGS_H_

#include <cstdint>

#include "support/any_holders.h"
#include "support/xystring.h"

namespace qg {

// The object a MEMOIMG value holds (one reference per holder): operations 0
// and 1 of qg::IAnyObject count references; the memo's own type says what
// its text part, its byte content and its byte flag are.
class IMemoImage : public IAnyObject {
 public:
  // The text part, null when the memo has none.
  virtual const char16_t* pszGetTexte() const = 0;          // 2
  // The byte flag: the memo is binary content, even when empty.
  virtual bool bEstBinaire() const = 0;                      // 3
  virtual const CXYString<char>& clGetOctets() const = 0;   // 4

 protected:
  ~IMemoImage() = default;
};

// Sets one string destination from the content of a memo image. Each
// extractor holds the destination's raw area, the conversion code page and
// the option bits; every operation returns a status.
class CExtraitMemoImage {
 public:
  CExtraitMemoImage(void* pDestination, int32_t nPageDeCode, int32_t nOptions)
      : m_pDestination(pDestination), m_nPageDeCode(nPageDeCode), m_nOptions(nOptions) {}
  virtual ~CExtraitMemoImage() = default;
  virtual int vSetDepuisTexteW(const char16_t* psz) = 0;        // 0 (after the destructor)
  virtual int vSetDepuisTexteA(const char* psz, int n) = 0;     // 1
  virtual int vSetDepuisBinaire(const CXYString<char>& s) = 0;  // 2

 protected:
  void* m_pDestination;
  int32_t m_nPageDeCode;
  int32_t m_nOptions;
};

class CExtraitMemoImageDSTRA final : public CExtraitMemoImage {
 public:
  using CExtraitMemoImage::CExtraitMemoImage;
  int vSetDepuisTexteW(const char16_t* psz) override;
  int vSetDepuisTexteA(const char* psz, int n) override;
  int vSetDepuisBinaire(const CXYString<char>& s) override;
};
class CExtraitMemoImageDSTRW final : public CExtraitMemoImage {
 public:
  using CExtraitMemoImage::CExtraitMemoImage;
  int vSetDepuisTexteW(const char16_t* psz) override;
  int vSetDepuisTexteA(const char* psz, int n) override;
  int vSetDepuisBinaire(const CXYString<char>& s) override;
};
class CExtraitMemoImagePSTRA final : public CExtraitMemoImage {
 public:
  using CExtraitMemoImage::CExtraitMemoImage;
  int vSetDepuisTexteW(const char16_t* psz) override;
  int vSetDepuisTexteA(const char* psz, int n) override;
  int vSetDepuisBinaire(const CXYString<char>& s) override;
};
class CExtraitMemoImagePSTRW final : public CExtraitMemoImage {
 public:
  using CExtraitMemoImage::CExtraitMemoImage;
  int vSetDepuisTexteW(const char16_t* psz) override;
  int vSetDepuisTexteA(const char* psz, int n) override;
  int vSetDepuisBinaire(const CXYString<char>& s) override;
};

// A memo image (null allowed) into a DSTRA, DSTRW, PSTRA or PSTRW area: the
// text part, else the bytes when the byte flag is set, else the empty text.
int nExtraitMemoImage(const IMemoImage* piMemo, void* pDestination, int32_t nTypeDestination,
                      int32_t nPageDeCode, int32_t nOptions);

// Heap copies of BIN bytes with a terminator: 8-bit, and UTF-16 of half the
// count (null when empty or out of memory).
char* pszDupliqueBinaireA(const char* p, int nOctets);
char16_t* pszDupliqueBinaireW(const char* p, int nOctets);

}  // namespace qg

#endif  // QG_DOTNET_CONVERT_CONVERSION_STRINGS_H_
