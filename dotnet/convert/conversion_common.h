// Pieces shared by the rule families of the conversion engine: the call's
// context, raw reads and writes, views of text sources, heap texts and the
// work buffer. Internal to the engine.
#ifndef QG_DOTNET_CONVERT_CONVERSION_COMMON_H_
#define QG_DOTNET_CONVERT_CONVERSION_COMMON_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dotnet/convert/conversion_dispatch.h"
#include "support/xystring.h"

class CDateTimeBase;

namespace qg {

struct ContexteConversion {
  int32_t nOptions;
  int32_t nPageDeCode;  // resolved once per call
};

template <typename T>
inline T Lit(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}
template <typename T>
inline void Ecrit(void* p, T v) {
  std::memcpy(p, &v, sizeof(T));
}

// The host-shared string held in a raw value area.
template <typename C>
inline CXYString<C>& Dyn(void* p) {
  return *static_cast<CXYString<C>*>(p);
}
template <typename C>
inline const CXYString<C>& Dyn(const void* p) {
  return *static_cast<const CXYString<C>*>(p);
}

// UIX is pointer-sized in the value but counts as a signed 32-bit integer.
inline int32_t LitUIX(const void* p) { return static_cast<int32_t>(Lit<intptr_t>(p)); }
inline void EcritUIX(void* p, int32_t v) { Ecrit<intptr_t>(p, static_cast<intptr_t>(v)); }

inline bool bEstNombre(int t) { return t >= kConvBOOL && t <= kConvUIX; }
inline bool bEstTexte(int t) {
  return t == kConvDSTRW || t == kConvPSTRA || t == kConvDSTRA || t == kConvPSTRW;
}
inline bool bEstTexteLarge(int t) {
  return t == kConvDSTRW || t == kConvPSTRW || t == kConvSQLQUERYW || t == kConvDATEW ||
         t == kConvTIMEW || t == kConvCARW;
}
inline bool bEstCaractere(int t) { return t == kConvCARA || t == kConvCARW; }
inline bool bEstTexteDate(int t) {
  return t == kConvDATEA || t == kConvDATEW || t == kConvTIMEA || t == kConvTIMEW;
}
inline bool bEstDateAouW(int t) { return t == kConvDATEA || t == kConvDATEW; }
inline bool bEstHeureAouW(int t) { return t == kConvTIMEA || t == kConvTIMEW; }

// A text source: exactly one of psz8 / psz16 is set (never null), n units,
// terminated. Characters read as one-unit texts (zero units for NUL).
struct VueTexte {
  const char* psz8 = nullptr;
  const char16_t* psz16 = nullptr;
  int n = 0;
  char16_t aw[2] = {};  // storage for a character source
  char aa[2] = {};
  bool bLarge() const { return psz16 != nullptr; }
};
// DSTRW, PSTRW, DSTRA, PSTRA, SQLQUERYW, SQLQUERYA, the date texts, CARA
// and CARW; false for other types.
bool bVueTexte(const void* pSource, int nType, VueTexte* pVue);

// Heap texts (malloc, as the value holders free them). Null when n is 0
// (an empty result is stored as null) and when memory runs out: callers
// tell the two apart by n.
char* pszCopieA(const char* psz, int n);
char16_t* pszCopieW(const char16_t* psz, int n);
// 8-bit text to a new heap UTF-16 text and back, with a code page; false
// when memory runs out. An empty or unconvertible text gives null.
bool bConvertitVersTasW(const char* psz, int n, int32_t nPageDeCode, char16_t** ppsz);
bool bConvertitVersTasA(const char16_t* psz, int n, int32_t nPageDeCode, char** ppsz);

// A work buffer sized from a source length: on the stack up to 1 KiB, on
// the heap beyond. p() is null when the heap refused.
template <typename C>
class CTamponTravail {
 public:
  explicit CTamponTravail(size_t nUnites) {
    if (nUnites <= kPile) {
      m_p = m_aPile;
    } else {
      m_pTas = static_cast<C*>(std::malloc(nUnites * sizeof(C)));
      m_p = m_pTas;
    }
  }
  ~CTamponTravail() { std::free(m_pTas); }
  CTamponTravail(const CTamponTravail&) = delete;
  CTamponTravail& operator=(const CTamponTravail&) = delete;
  C* p() { return m_p; }

 private:
  static constexpr size_t kPile = 1024 / sizeof(C);
  C m_aPile[kPile];
  C* m_pTas = nullptr;
  C* m_p = nullptr;
};

// An 8-bit text converted to UTF-16 with code page 1252 (one unit per
// byte) into a work buffer; p() is null when memory runs out.
class CTexte1252 {
 public:
  CTexte1252(const char* psz, int n);
  const char16_t* p() { return m_clTampon.p(); }
  int n() const { return m_n; }

 private:
  CTamponTravail<char16_t> m_clTampon;
  int m_n;
};

// Integer destinations (UI1, UI2, UI4, UI8, I1, I2, I4, I8, UIX): writes
// the low bits of the value over the destination's width (UIX sign-extends
// its low 32 bits), and tells whether a signed or unsigned value lies in the
// destination's range.
void EcritBitsEntier(void* pDestination, int nTypeDestination, uint64_t nBits);
bool bEntierSigneTient(int nTypeDestination, int64_t n);
// The signed 64-bit narrowing rule: low bits written; 0, or 1 out of range.
int nEcritEntierSigne(void* pDestination, int nTypeDestination, int64_t n);
// A double narrowed to R4: 1 outside +-3.4028234663852886e38 (and for NaN),
// where the infinity of its sign (or NaN) is written.
int nEcritR4(void* pDestination, double r);

// Families. Each returns the status of the pair; the dispatcher has
// checked that the pair is supported and prepared the destination.
int nConvertitNumerique(const void* pSource, int nTypeSource, void* pDestination,
                        int nTypeDestination, const ContexteConversion& ctx);
int nConvertitTexteNombre(const void* pSource, int nTypeSource, void* pDestination,
                          int nTypeDestination, const ContexteConversion& ctx);
int nConvertitDate(const void* pSource, int nTypeSource, void* pDestination,
                   int nTypeDestination, const ContexteConversion& ctx);
int nConvertitChaine(const void* pSource, int nTypeSource, void* pDestination,
                     int nTypeDestination, const ContexteConversion& ctx);

// A number or HWND written as text: UTF-16 into psz16 or 8-bit into psz8
// (each at least kTailleNombreTexte units). Returns the length.
constexpr int kTailleNombreTexte = 128;
int nNombreVersTexteW(const void* pSource, int nTypeSource, char16_t* psz16);
int nNombreVersTexteA(const void* pSource, int nTypeSource, char* psz8);

// Writes a finished text into a text destination (DSTRW, DSTRA, PSTRA,
// PSTRW): UTF-16 or 8-bit as given, converted with nPageDeCode when the
// widths differ.
int nEcritTexte(void* pDestination, int nTypeDestination, const char16_t* psz16,
                const char* psz8, int n, int32_t nPageDeCode);

// Day number of a YYYYMMDD text (status 110 when it is no date) and the
// hundredths of a HHMMSSmmm text.
int nDateTexteVersEntier(const VueTexte& v, int32_t* pn);
int32_t nHeureTexteVersEntier(const VueTexte& v);
// The ISO form YYYY-MM-DD[(T| )HH:MM:SS[.f{1,3}]] or the compact form
// YYYYMMDD[HHMMSS[mmm]] into a date-time; fields are not validated.
void DateHeureDepuisISO(const VueTexte& v, CDateTimeBase* pdt);

}  // namespace qg

#endif  // QG_DOTNET_CONVERT_CONVERSION_COMMON_H_
