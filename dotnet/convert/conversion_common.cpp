#include "dotnet/convert/conversion_common.h"

#include "support/platform/codepage.h"
#include "support/platform/text16.h"

namespace qg {

namespace {

size_t Longueur8(const char* psz) { return psz == nullptr ? 0 : std::strlen(psz); }

}  // namespace

bool bVueTexte(const void* pSource, int nType, VueTexte* pVue) {
  static const char kVide8[1] = {0};
  static const char16_t kVide16[1] = {0};
  switch (nType) {
    case kConvDSTRW:
    case kConvDSTRW148:
    case kConvDSTRW149:
    case kConvSQLQUERYW: {
      const CXYString<char16_t>& s = Dyn<char16_t>(pSource);
      pVue->psz16 = s.pszGet();
      pVue->n = s.nTaille();
      return true;
    }
    case kConvDSTRA:
    case kConvSQLQUERYA: {
      const CXYString<char>& s = Dyn<char>(pSource);
      pVue->psz8 = s.pszGet();
      pVue->n = s.nTaille();
      return true;
    }
    case kConvPSTRW: {
      const char16_t* p = Lit<const char16_t*>(pSource);
      pVue->psz16 = p == nullptr ? kVide16 : p;
      pVue->n = static_cast<int>(StrLen16(p));
      return true;
    }
    case kConvPSTRA: {
      const char* p = Lit<const char*>(pSource);
      pVue->psz8 = p == nullptr ? kVide8 : p;
      pVue->n = static_cast<int>(Longueur8(p));
      return true;
    }
    case kConvDATEW:
    case kConvTIMEW: {
      // The digits stand in the value area, terminated after at most nMax.
      const auto* p = static_cast<const char16_t*>(pSource);
      int nMax = nType == kConvDATEW ? 8 : 9;
      pVue->psz16 = p;
      pVue->n = static_cast<int>(StrNLen16(p, static_cast<size_t>(nMax)));
      return true;
    }
    case kConvDATEA:
    case kConvTIMEA: {
      const auto* p = static_cast<const char*>(pSource);
      int nMax = nType == kConvDATEA ? 8 : 9;
      pVue->psz8 = p;
      pVue->n = static_cast<int>(strnlen(p, static_cast<size_t>(nMax)));
      return true;
    }
    case kConvCARA:
      pVue->aa[0] = Lit<char>(pSource);
      pVue->aa[1] = 0;
      pVue->psz8 = pVue->aa;
      pVue->n = pVue->aa[0] == 0 ? 0 : 1;
      return true;
    case kConvCARW:
      pVue->aw[0] = Lit<char16_t>(pSource);
      pVue->aw[1] = 0;
      pVue->psz16 = pVue->aw;
      pVue->n = pVue->aw[0] == 0 ? 0 : 1;
      return true;
    default:
      return false;
  }
}

char* pszCopieA(const char* psz, int n) {
  if (n <= 0) return nullptr;
  auto* p = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
  if (p == nullptr) return nullptr;
  std::memcpy(p, psz, static_cast<size_t>(n));
  p[n] = 0;
  return p;
}

char16_t* pszCopieW(const char16_t* psz, int n) {
  if (n <= 0) return nullptr;
  auto* p = static_cast<char16_t*>(std::malloc((static_cast<size_t>(n) + 1) * sizeof(char16_t)));
  if (p == nullptr) return nullptr;
  std::memcpy(p, psz, static_cast<size_t>(n) * sizeof(char16_t));
  p[n] = 0;
  return p;
}

bool bConvertitVersTasW(const char* psz, int n, int32_t nPageDeCode, char16_t** ppsz) {
  *ppsz = nullptr;
  if (n <= 0) return true;
  uint32_t cp = static_cast<uint32_t>(nPageDeCode);
  int nUnites = MultiByteToWide(cp, psz, n, nullptr, 0);
  if (nUnites <= 0) return true;
  auto* p = static_cast<char16_t*>(
      std::malloc((static_cast<size_t>(nUnites) + 1) * sizeof(char16_t)));
  if (p == nullptr) return false;
  int nEcrits = MultiByteToWide(cp, psz, n, p, nUnites);
  if (nEcrits <= 0) {
    std::free(p);
    return true;
  }
  p[nEcrits] = 0;
  *ppsz = p;
  return true;
}

bool bConvertitVersTasA(const char16_t* psz, int n, int32_t nPageDeCode, char** ppsz) {
  *ppsz = nullptr;
  if (n <= 0) return true;
  uint32_t cp = static_cast<uint32_t>(nPageDeCode);
  int nOctets = WideToMultiByte(cp, psz, n, nullptr, 0);
  if (nOctets <= 0) return true;
  auto* p = static_cast<char*>(std::malloc(static_cast<size_t>(nOctets) + 1));
  if (p == nullptr) return false;
  int nEcrits = WideToMultiByte(cp, psz, n, p, nOctets);
  if (nEcrits <= 0) {
    std::free(p);
    return true;
  }
  p[nEcrits] = 0;
  *ppsz = p;
  return true;
}

CTexte1252::CTexte1252(const char* psz, int n)
    : m_clTampon(static_cast<size_t>(n < 0 ? 0 : n) + 1), m_n(n < 0 ? 0 : n) {
  char16_t* p = m_clTampon.p();
  if (p == nullptr) return;
  for (int i = 0; i < m_n; ++i) p[i] = Cp1252ToUnicode(static_cast<unsigned char>(psz[i]));
  p[m_n] = 0;
}

}  // namespace qg
