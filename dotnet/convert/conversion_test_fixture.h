// Test equipment for the conversion engine: the stand-in host's services
// (string memory, locale, decimal factory, all counting what is live),
// raw values that release themselves, and a counted memo image.
#ifndef QG_DOTNET_CONVERT_CONVERSION_TEST_FIXTURE_H_
#define QG_DOTNET_CONVERT_CONVERSION_TEST_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dotnet/convert/conversion_dispatch.h"
#include "dotnet/convert/conversion_strings.h"
#include "host/core/host_runtime.h"
#include "support/any_test_fixture.h"
#include "support/xystring.h"

namespace qg {

// A raw value area with its type; releases what it owns.
struct Brut {
  explicit Brut(int32_t type = 0) : t(type) {}
  ~Brut() { nLibereValeurTemporaire(a, t); }
  Brut(const Brut&) = delete;
  Brut& operator=(const Brut&) = delete;

  template <typename T>
  T Get() const {
    T v;
    std::memcpy(&v, a, sizeof(T));
    return v;
  }
  template <typename T>
  void Set(T v) {
    std::memcpy(a, &v, sizeof(T));
  }
  CXYString<char16_t>& W() { return *reinterpret_cast<CXYString<char16_t>*>(a); }
  CXYString<char>& A() { return *reinterpret_cast<CXYString<char>*>(a); }
  std::u16string TexteW() const {
    if (t == kConvPSTRW) {
      const char16_t* p = Get<const char16_t*>();
      return p == nullptr ? std::u16string() : std::u16string(p);
    }
    if (t == kConvDATEW || t == kConvTIMEW || t == kConvCARW) {
      return std::u16string(reinterpret_cast<const char16_t*>(a));
    }
    const auto& s = *reinterpret_cast<const CXYString<char16_t>*>(a);
    return std::u16string(s.pszGet(), static_cast<size_t>(s.nTaille()));
  }
  std::string TexteA() const {
    if (t == kConvPSTRA) {
      const char* p = Get<const char*>();
      return p == nullptr ? std::string() : std::string(p);
    }
    if (t == kConvDATEA || t == kConvTIMEA || t == kConvCARA) {
      return std::string(reinterpret_cast<const char*>(a));
    }
    const auto& s = *reinterpret_cast<const CXYString<char>*>(a);
    return std::string(s.pszGet(), static_cast<size_t>(s.nGetByteLength()));
  }

  alignas(8) unsigned char a[kConvTailleMax] = {};
  int32_t t;
};

// A memo image counted by reference.
class MemoTest final : public IMemoImage {
 public:
  int32_t AddRef() override { return ++m_nRef; }
  int32_t Release() override {
    int32_t n = --m_nRef;
    if (n == 0) delete this;
    return n;
  }
  const char16_t* pszGetTexte() const override {
    return m_bTexte ? m_sTexte.c_str() : nullptr;
  }
  bool bEstBinaire() const override { return m_bBinaire; }
  const CXYString<char>& clGetOctets() const override { return m_clOctets; }

  std::u16string m_sTexte;
  bool m_bTexte = false;
  bool m_bBinaire = false;
  CXYString<char> m_clOctets;
  int32_t m_nRef = 1;

 private:
  ~MemoTest() = default;
};

class ConversionTest : public AnyHostTest {
 public:
  // Converts with option 0x01 and the locale's code page unless told.
  static int Conv(const Brut& src, Brut* dst, int32_t options = CONVERSION_DEPLACE_SOURCE,
                  const int32_t* cp = nullptr) {
    return nConversionDepassement(src.a, src.t, dst->a, dst->t, options, cp);
  }
  static int Conv(const void* src, int32_t st, Brut* dst, int32_t options = 0) {
    return nConversionDepassement(src, st, dst->a, dst->t, options, nullptr);
  }
  static void SetW(Brut* b, const std::u16string& s) {
    b->W().nAffecteLongueur(s.data(), static_cast<int>(s.size()));
  }
  static void SetA(Brut* b, const std::string& s) {
    b->A().nAffecteLongueur(s.data(), static_cast<int>(s.size()));
  }
  static void SetPW(Brut* b, const std::u16string& s) {
    auto* p = static_cast<char16_t*>(std::malloc((s.size() + 1) * 2));
    std::memcpy(p, s.c_str(), (s.size() + 1) * 2);
    b->Set<char16_t*>(p);
  }
  static void SetPA(Brut* b, const std::string& s) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    std::memcpy(p, s.c_str(), s.size() + 1);
    b->Set<char*>(p);
  }
  // A text source of any text or date-text type.
  static void SetTexte(Brut* b, const std::string& s) {
    switch (b->t) {
      case kConvDSTRW: case kConvSQLQUERYW: SetW(b, std::u16string(s.begin(), s.end())); break;
      case kConvDSTRA: case kConvSQLQUERYA: case kConvBIN: SetA(b, s); break;
      case kConvPSTRW: SetPW(b, std::u16string(s.begin(), s.end())); break;
      case kConvPSTRA: SetPA(b, s); break;
      case kConvDATEW: case kConvTIMEW: {
        auto* p = reinterpret_cast<char16_t*>(b->a);
        for (size_t i = 0; i < s.size(); ++i) p[i] = static_cast<unsigned char>(s[i]);
        p[s.size()] = 0;
        break;
      }
      default:
        std::memcpy(b->a, s.c_str(), s.size() + 1);
        break;
    }
  }
};

}  // namespace qg

#endif  // QG_DOTNET_CONVERT_CONVERSION_TEST_FIXTURE_H_
