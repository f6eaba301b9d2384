#include "support/any_holders.h"

#include <algorithm>
#include <cfloat>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "support/frame/module_services.h"
#include "support/platform/codepage.h"
#include "support/platform/text16.h"
#include "support/text_functions.h"

namespace {

using qg::kAnyFlagsKept;
using qg::kAnyNoValue;
using qg::kAnyOk;
using qg::kAnyOutOfRange;
using qg::kAnyWrongType;

const char16_t kEmpty16[1] = {0};
const char kEmpty8[1] = {0};

// Copies the value into the target the way operation 1 does: the target is
// re-typed to this code, its operation 9 takes `value`, then the flags are
// carried (or cleared).
void CopieVers(const CAny_Intern& self, CAny& target, const void* value, bool carry) {
  target.SetType(self.m_wType & 0xFF);
  target.pclHolder()->vnSetValeur(value);
  uint16_t& word = target.pclHolder()->m_wType;
  word = static_cast<uint16_t>(word & ~kAnyFlagsKept);
  if (carry) word = static_cast<uint16_t>(word | (self.m_wType & kAnyFlagsKept));
}

uint32_t CodePageOrHost(uint32_t code_page) { return qg::ResolveCodePage(code_page); }

int Len8(const char* text, int n) {
  if (text == nullptr) return 0;
  return n < 0 ? static_cast<int>(std::strlen(text)) : n;
}
int Len16(const char16_t* text, int n) {
  if (text == nullptr) return 0;
  return n < 0 ? static_cast<int>(qg::StrLen16(text)) : n;
}

// 8-bit text in a code page to UTF-16 (empty when nothing converts).
std::u16string Vers16(const char* text, int n, uint32_t code_page) {
  n = Len8(text, n);
  if (n <= 0) return std::u16string();
  std::u16string out;
  qg::CodePageToUtf16(CodePageOrHost(code_page), text, n, &out);
  return out;
}

// UTF-16 text to 8-bit text in a code page.
std::string Vers8(const char16_t* text, int n, uint32_t code_page) {
  n = Len16(text, n);
  if (n <= 0) return std::string();
  std::string out;
  qg::Utf16ToCodePage(CodePageOrHost(code_page), text, n, &out);
  return out;
}

template <typename C>
C* Duplique(const C* text, int n) {
  if (text == nullptr || n <= 0) return nullptr;
  auto* out = static_cast<C*>(std::malloc((static_cast<size_t>(n) + 1) * sizeof(C)));
  if (out == nullptr) return nullptr;
  std::memcpy(out, text, static_cast<size_t>(n) * sizeof(C));
  out[n] = 0;
  return out;
}

template <typename C>
size_t LenZ(const C* text) {
  if constexpr (std::is_same_v<C, char16_t>) {
    return qg::StrLen16(text);
  } else {
    return std::strlen(text);
  }
}

}  // namespace

// --- CAny_Intern ---------------------------------------------------------------

CAny_Intern::~CAny_Intern() = default;

void CAny_Intern::vCopieVers(CAny& target) const { CarryFlags(target); }
int CAny_Intern::vnGetTaille(int* size) const {
  *size = 0;
  return kAnyNoValue;
}
int CAny_Intern::vnGetAdr(void** address) {
  *address = m_abyValeur;
  return kAnyOk;
}
int CAny_Intern::vnGetValeur(void*) const { return kAnyNoValue; }
int CAny_Intern::vnGetTailleAvecFin(int* size) const { return vnGetTaille(size); }
int CAny_Intern::vnGetTexte(const void** text) const {
  *text = kEmpty16;
  return kAnyOk;
}
int CAny_Intern::vnCopieAvecFin(void* out) const { return vnGetValeur(out); }
int CAny_Intern::vnSetDepuis(const void* data, int) { return vnSetValeur(data); }
int CAny_Intern::vnSetValeur(const void*) { return kAnyNoValue; }
int CAny_Intern::vnGetTexteA(const char** text) const {
  *text = nullptr;
  return kAnyWrongType;
}
int CAny_Intern::vnGetTexteW(const char16_t** text) const {
  *text = nullptr;
  return kAnyWrongType;
}
int CAny_Intern::vnGetLongueur(int* length) const {
  *length = 0;
  return kAnyWrongType;
}
int CAny_Intern::vbEstPositif() const { return 1; }
int CAny_Intern::vnGetTailleSansFin(int* size) const { return vnGetTailleAvecFin(size); }
int CAny_Intern::vnCopieSansFin(void* out) const { return vnCopieAvecFin(out); }
int CAny_Intern::vbIncremente() { return kAnyWrongType; }
int CAny_Intern::vbDecremente() { return kAnyWrongType; }
int CAny_Intern::vnSetA(const char* text, int n) { return vnSetDepuis(text, n); }
int CAny_Intern::vnSetAZ(const char* text) { return vnSetValeur(text); }
int CAny_Intern::vnSetW(const char16_t* text, int n) {
  return vnSetDepuis(text, n < 0 ? n : n * 2);
}
int CAny_Intern::vnSetWZ(const char16_t* text) { return vnSetValeur(text); }
int CAny_Intern::vnSetACP(const char* text, int n, uint32_t) { return vnSetA(text, n); }
int CAny_Intern::vnSetAZCP(const char* text, uint32_t) { return vnSetAZ(text); }
int CAny_Intern::vnSetWCP(const char16_t* text, int n, uint32_t) { return vnSetW(text, n); }
int CAny_Intern::vnSetWZCP(const char16_t* text, uint32_t) { return vnSetWZ(text); }
int CAny_Intern::vnSetDepuisFlags(const void* data, int size, uint32_t) {
  return vnSetDepuis(data, size);
}

void CAny_Intern::CarryFlags(CAny& target) const {
  uint16_t& word = target.pclHolder()->m_wType;
  word = static_cast<uint16_t>((word & ~kAnyFlagsKept) | (m_wType & kAnyFlagsKept));
}

void CAny_Intern::ClearFlags(CAny& target) {
  uint16_t& word = target.pclHolder()->m_wType;
  word = static_cast<uint16_t>(word & ~kAnyFlagsKept);
}

// --- fixed-size values -------------------------------------------------------

template <typename T>
void CAny_ZQFixe<T>::vCopieVers(CAny& target) const {
  CopieVers(*this, target, P<T>(), true);
}
template <typename T>
int CAny_ZQFixe<T>::vnGetValeur(void* out) const {
  std::memcpy(out, P<T>(), sizeof(T));
  return kAnyOk;
}
template <typename T>
int CAny_ZQFixe<T>::vnSetDepuis(const void* data, int size) {
  std::memset(P<T>(), 0, sizeof(T));
  if (data != nullptr && size > 0) {
    std::memcpy(P<T>(), data, std::min(static_cast<size_t>(size), sizeof(T)));
  }
  return kAnyOk;
}
template <typename T>
int CAny_ZQFixe<T>::vnSetValeur(const void* value) {
  if (value == nullptr) return kAnyNoValue;
  std::memcpy(P<T>(), value, sizeof(T));
  return kAnyOk;
}

template <typename T>
int CAny_ZQEntier<T>::vbEstPositif() const {
  if constexpr (std::is_signed_v<T>) return this->V() >= 0 ? 1 : 0;
  return 1;
}
// Unsigned arithmetic: the wrap is defined, and overflow is the step from
// the type's limit.
template <typename T>
int CAny_ZQEntier<T>::vbIncremente() {
  using U = std::make_unsigned_t<T>;
  T v = this->V();
  this->V() = static_cast<T>(static_cast<U>(static_cast<U>(v) + 1u));
  return v == std::numeric_limits<T>::max() ? 1 : 0;
}
template <typename T>
int CAny_ZQEntier<T>::vbDecremente() {
  using U = std::make_unsigned_t<T>;
  T v = this->V();
  this->V() = static_cast<T>(static_cast<U>(static_cast<U>(v) - 1u));
  return v == std::numeric_limits<T>::min() ? 1 : 0;
}

template class CAny_ZQFixe<int32_t>;
template class CAny_ZQFixe<uint64_t>;
template class CAny_ZQFixe<float>;
template class CAny_ZQFixe<double>;
template class CAny_ZQFixe<qg::Fixe6>;
template class CAny_ZQFixe<int64_t>;
template class CAny_ZQFixe<qg::AnyDateTime>;
template class CAny_ZQFixe<qg::AnyPoint>;
template class CAny_ZQFixe<qg::AnyRectangle>;
template class CAny_ZQFixe<qg::AnyUuid128>;
template class CAny_ZQFixe<char>;
template class CAny_ZQFixe<char16_t>;
template class CAny_ZQEntier<uint8_t>;
template class CAny_ZQEntier<uint16_t>;
template class CAny_ZQEntier<uint32_t>;
template class CAny_ZQEntier<int8_t>;
template class CAny_ZQEntier<int16_t>;
template class CAny_ZQEntier<int32_t>;
template class CAny_ZQEntier<int64_t>;

namespace {
constexpr uint64_t kUI8Limit = uint64_t{1} << 63;
}

int CAny_ZQUI8::vbIncremente() {
  uint64_t r = V() + 1u;
  V() = r;
  return (r >= kUI8Limit || r == 0) ? 1 : 0;
}
int CAny_ZQUI8::vbDecremente() {
  uint64_t r = V() - 1u;
  V() = r;
  return r >= kUI8Limit ? 1 : 0;
}

int CAny_ZQR4::vbIncremente() {
  V() = V() + 1.0f;
  return std::fabs(V()) <= FLT_MAX ? 0 : 1;  // infinity and NaN overflow
}
int CAny_ZQR4::vbDecremente() {
  V() = V() - 1.0f;
  return std::fabs(V()) <= FLT_MAX ? 0 : 1;
}
int CAny_ZQR8::vbIncremente() {
  V() = V() + 1.0;
  return 0;
}
int CAny_ZQR8::vbDecremente() {
  V() = V() - 1.0;
  return 0;
}

int CAny_ZQUUID_128::vnSetDepuis(const void* data, int size) {
  if (data == nullptr || size != 16) return kAnyOk;
  std::memcpy(&V(), data, 16);
  return kAnyOk;
}

int CAny_ZQCARA::vnGetTexteA(const char** text) const {
  *text = &V();  // the next value byte is always 0
  return kAnyOk;
}
int CAny_ZQCARA::vnSetW(const char16_t* text, int n) { return vnSetWCP(text, n, 1252); }
int CAny_ZQCARA::vnSetWZ(const char16_t* text) { return vnSetWCP(text, -1, 1252); }
int CAny_ZQCARA::vnSetWCP(const char16_t* text, int n, uint32_t code_page) {
  // The first character may be a surrogate pair.
  n = std::min(Len16(text, n), 2);
  std::string s = Vers8(text, n, code_page);
  V() = s.empty() ? '\0' : s[0];
  return kAnyOk;
}
int CAny_ZQCARA::vnSetWZCP(const char16_t* text, uint32_t code_page) {
  return vnSetWCP(text, -1, code_page);
}

int CAny_ZQCARW::vnGetTexteW(const char16_t** text) const {
  *text = &V();  // the next value unit is always 0
  return kAnyOk;
}
int CAny_ZQCARW::vnSetA(const char* text, int n) { return vnSetACP(text, n, 1252); }
int CAny_ZQCARW::vnSetAZ(const char* text) { return vnSetACP(text, -1, 1252); }
int CAny_ZQCARW::vnSetACP(const char* text, int n, uint32_t code_page) {
  // The first character may take up to four bytes in a multi-byte code page.
  n = std::min(Len8(text, n), 4);
  std::u16string s = Vers16(text, n, code_page);
  V() = s.empty() ? u'\0' : s[0];
  return kAnyOk;
}
int CAny_ZQCARW::vnSetAZCP(const char* text, uint32_t code_page) {
  return vnSetACP(text, -1, code_page);
}

// --- digit texts -----------------------------------------------------------------

// An empty date is the empty text; an empty time is nine '0' digits.
template <typename C, int N>
CAny_ZQChiffres<C, N>::CAny_ZQChiffres() {
  C* t = new (m_abyValeur) C[N + 1]();
  if (N == 9) {
    for (int i = 0; i < N; ++i) t[i] = static_cast<C>('0');
  }
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::Len() const {
  int n = 0;
  while (n < N && T()[n] != 0) ++n;
  return n;
}
template <typename C, int N>
void CAny_ZQChiffres<C, N>::vCopieVers(CAny& target) const {
  CopieVers(*this, target, T(), true);
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnGetTaille(int* size) const {
  *size = N * static_cast<int>(sizeof(C));
  return kAnyOk;
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnGetValeur(void* out) const {
  std::memcpy(out, T(), N * sizeof(C));
  return kAnyOk;
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnGetTailleAvecFin(int* size) const {
  *size = (N + 1) * static_cast<int>(sizeof(C));
  return kAnyOk;
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnCopieAvecFin(void* out) const {
  std::memcpy(out, T(), (N + 1) * sizeof(C));
  return kAnyOk;
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnGetTailleSansFin(int* size) const {
  *size = Len() * static_cast<int>(sizeof(C));
  return kAnyOk;
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnCopieSansFin(void* out) const {
  std::memcpy(out, T(), static_cast<size_t>(Len()) * sizeof(C));
  return kAnyOk;
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnSetDepuis(const void* data, int size) {
  C* t = T();
  std::memset(t, 0, (N + 1) * sizeof(C));
  if (data == nullptr || size <= 0) return kAnyOk;
  int n = std::min(size / static_cast<int>(sizeof(C)), N);
  const C* src = static_cast<const C*>(data);
  for (int i = 0; i < n && src[i] != 0; ++i) t[i] = src[i];
  return kAnyOk;
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnSetValeur(const void* value) {
  if (value == nullptr) return kAnyNoValue;
  return vnSetDepuis(value, N * static_cast<int>(sizeof(C)));
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnGetTexteA(const char** text) const {
  if constexpr (std::is_same_v<C, char>) {
    *text = T();
    return kAnyOk;
  }
  return CAny_Intern::vnGetTexteA(text);
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnGetTexteW(const char16_t** text) const {
  if constexpr (std::is_same_v<C, char16_t>) {
    *text = T();
    return kAnyOk;
  }
  return CAny_Intern::vnGetTexteW(text);
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnGetLongueur(int* length) const {
  *length = Len();
  return kAnyOk;
}
// 8-bit texts through code page 1252, UTF-16 texts likewise; at most N
// characters are kept.
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnSetA(const char* text, int n) {
  n = std::min(Len8(text, n), N);
  if constexpr (std::is_same_v<C, char>) {
    return vnSetDepuis(text, n);
  } else {
    std::u16string s = Vers16(text, n, 1252);
    return vnSetDepuis(s.data(), static_cast<int>(s.size() * 2));
  }
}
template <typename C, int N>
int CAny_ZQChiffres<C, N>::vnSetW(const char16_t* text, int n) {
  n = std::min(Len16(text, n), N);
  if constexpr (std::is_same_v<C, char16_t>) {
    return vnSetDepuis(text, n * 2);
  } else {
    std::string s = Vers8(text, n, 1252);
    return vnSetDepuis(s.data(), static_cast<int>(s.size()));
  }
}

template class CAny_ZQChiffres<char16_t, 8>;
template class CAny_ZQChiffres<char16_t, 9>;
template class CAny_ZQChiffres<char, 8>;
template class CAny_ZQChiffres<char, 9>;

// --- host-shared strings ------------------------------------------------------------

template <typename C>
void CAny_ZQDyn<C>::vCopieVers(CAny& target) const {
  CopieVers(*this, target, &S(), true);
}
template <typename C>
int CAny_ZQDyn<C>::vnGetValeur(void* out) const {
  *static_cast<CXYString<C>*>(out) = S();
  return kAnyOk;
}
template <typename C>
int CAny_ZQDyn<C>::vnSetValeur(const void* value) {
  if (value == nullptr) return kAnyNoValue;
  S() = *static_cast<const CXYString<C>*>(value);
  return kAnyOk;
}
template class CAny_ZQDyn<char16_t>;
template class CAny_ZQDyn<char>;

int CAny_ZQDSTRW::vnGetTailleAvecFin(int* size) const {
  *size = S().nGetByteLength() + 2;
  return kAnyOk;
}
int CAny_ZQDSTRW::vnGetTexte(const void** text) const {
  *text = S().pszGet();
  return kAnyOk;
}
int CAny_ZQDSTRW::vnCopieAvecFin(void* out) const {
  std::memcpy(out, S().pszGet(), static_cast<size_t>(S().nGetByteLength()) + 2);
  return kAnyOk;
}
int CAny_ZQDSTRW::vnSetDepuis(const void* data, int size) {
  if (size > qg::kXYMaxBytes) return kAnyOutOfRange;
  return S().nAffecteLongueur(static_cast<const char16_t*>(data), size / 2);
}
int CAny_ZQDSTRW::vnGetTexteW(const char16_t** text) const {
  *text = S().pszGet();
  return kAnyOk;
}
int CAny_ZQDSTRW::vnGetLongueur(int* length) const {
  *length = S().nTaille();
  return kAnyOk;
}
int CAny_ZQDSTRW::vnGetTailleSansFin(int* size) const {
  *size = S().nGetByteLength();
  return kAnyOk;
}
int CAny_ZQDSTRW::vnCopieSansFin(void* out) const {
  std::memcpy(out, S().pszGet(), static_cast<size_t>(S().nGetByteLength()));
  return kAnyOk;
}
int CAny_ZQDSTRW::vnSetA(const char* text, int n) { return vnSetACP(text, n, 1252); }
int CAny_ZQDSTRW::vnSetAZ(const char* text) { return vnSetACP(text, -1, 1252); }
int CAny_ZQDSTRW::vnSetW(const char16_t* text, int n) { return S().nAffecteLongueur(text, n); }
int CAny_ZQDSTRW::vnSetWZ(const char16_t* text) { return S().nAffecteLongueur(text, -1); }
int CAny_ZQDSTRW::vnSetACP(const char* text, int n, uint32_t code_page) {
  if (text == nullptr || n == 0) {
    S().Libere();
    return kAnyOk;
  }
  return S().nAffecteConversion(text, n, static_cast<int>(CodePageOrHost(code_page)));
}
int CAny_ZQDSTRW::vnSetAZCP(const char* text, uint32_t code_page) {
  return vnSetACP(text, -1, code_page);
}
int CAny_ZQDSTRW::vnSetWCP(const char16_t* text, int n, uint32_t) { return vnSetW(text, n); }
int CAny_ZQDSTRW::vnSetWZCP(const char16_t* text, uint32_t) { return vnSetW(text, -1); }

int CAny_ZQDSTRA::vnGetTailleAvecFin(int* size) const {
  *size = S().nGetByteLength() + 1;
  return kAnyOk;
}
int CAny_ZQDSTRA::vnGetTexte(const void** text) const {
  *text = S().pszGet();
  return kAnyOk;
}
int CAny_ZQDSTRA::vnCopieAvecFin(void* out) const {
  std::memcpy(out, S().pszGet(), static_cast<size_t>(S().nGetByteLength()) + 1);
  return kAnyOk;
}
int CAny_ZQDSTRA::vnSetDepuis(const void* data, int size) {
  if (data == nullptr || size <= 0) {
    S().Libere();
    return kAnyOk;
  }
  return S().nAffecteOctets(data, size);
}
int CAny_ZQDSTRA::vnGetTexteA(const char** text) const {
  *text = S().pszGet();
  return kAnyOk;
}
int CAny_ZQDSTRA::vnGetLongueur(int* length) const {
  *length = S().nGetByteLength();
  return kAnyOk;
}
int CAny_ZQDSTRA::vnGetTailleSansFin(int* size) const {
  *size = S().nGetByteLength();
  return kAnyOk;
}
int CAny_ZQDSTRA::vnCopieSansFin(void* out) const {
  std::memcpy(out, S().pszGet(), static_cast<size_t>(S().nGetByteLength()));
  return kAnyOk;
}
int CAny_ZQDSTRA::vnSetA(const char* text, int n) { return vnSetDepuis(text, Len8(text, n)); }
int CAny_ZQDSTRA::vnSetAZ(const char* text) { return vnSetDepuis(text, Len8(text, -1)); }
int CAny_ZQDSTRA::vnSetW(const char16_t* text, int n) { return vnSetWCP(text, n, 0); }
int CAny_ZQDSTRA::vnSetWZ(const char16_t* text) { return vnSetWCP(text, -1, 0); }
int CAny_ZQDSTRA::vnSetACP(const char* text, int n, uint32_t) { return vnSetA(text, n); }
int CAny_ZQDSTRA::vnSetAZCP(const char* text, uint32_t) { return vnSetAZ(text); }
int CAny_ZQDSTRA::vnSetWCP(const char16_t* text, int n, uint32_t code_page) {
  if (Len16(text, n) <= 0) {
    S().Libere();
    return kAnyOk;
  }
  return S().nAffecteConversion(text, n, static_cast<int>(code_page));
}
int CAny_ZQDSTRA::vnSetWZCP(const char16_t* text, uint32_t code_page) {
  return vnSetWCP(text, -1, code_page);
}

int CAny_ZQBIN::vnGetTailleAvecFin(int* size) const {
  *size = S().nGetByteLength();
  return kAnyOk;
}
int CAny_ZQBIN::vnGetTexte(const void** text) const {
  *text = S().pszGet();
  return kAnyOk;
}
int CAny_ZQBIN::vnCopieAvecFin(void* out) const {
  std::memcpy(out, S().pszGet(), static_cast<size_t>(S().nGetByteLength()));
  return kAnyOk;
}
int CAny_ZQBIN::vnSetDepuis(const void* data, int size) {
  if (data == nullptr || size <= 0) {
    S().Libere();
    return kAnyOk;
  }
  return S().nAffecteOctets(data, size);
}
int CAny_ZQBIN::vnGetTailleSansFin(int* size) const { return vnGetTailleAvecFin(size); }
int CAny_ZQBIN::vnCopieSansFin(void* out) const { return vnCopieAvecFin(out); }

CAny_ZQUUID_256::CAny_ZQUUID_256() {
  const char zero = 0;
  S().nRemplit32(&zero);  // on failure the value stays null and reads as zeros
}
int CAny_ZQUUID_256::vnGetTexte(const void** text) const {
  static const uint8_t kZeros[32] = {};
  *text = S().nGetByteLength() == 32 ? static_cast<const void*>(S().pszGet()) : kZeros;
  return kAnyOk;
}
int CAny_ZQUUID_256::vnCopieAvecFin(void* out) const {
  const void* data = nullptr;
  vnGetTexte(&data);
  std::memcpy(out, data, 32);
  return kAnyOk;
}
int CAny_ZQUUID_256::vnSetDepuis(const void* data, int size) {
  if (data == nullptr || size != 32) return kAnyOk;
  return S().nAffecteOctets(data, 32);
}

// --- heap texts ------------------------------------------------------------------------

template <typename C>
CAny_ZQPSTR<C>::~CAny_ZQPSTR() {
  std::free(Ptr());
}
template <typename C>
const C* CAny_ZQPSTR<C>::Texte() const {
  if (Ptr() != nullptr) return Ptr();
  if constexpr (std::is_same_v<C, char16_t>) {
    return kEmpty16;
  } else {
    return kEmpty8;
  }
}
template <typename C>
int CAny_ZQPSTR<C>::nLength() const {
  return Ptr() == nullptr ? 0 : static_cast<int>(LenZ(Ptr()));
}
template <typename C>
void CAny_ZQPSTR<C>::Remplace(C* block) {
  std::free(Ptr());
  Ptr() = block;
}
template <typename C>
void CAny_ZQPSTR<C>::vCopieVers(CAny& target) const {
  CopieVers(*this, target, Ptr(), true);
}
template <typename C>
int CAny_ZQPSTR<C>::vnGetValeur(void* out) const {
  const C* t = Texte();
  std::memcpy(out, &t, sizeof(t));
  return kAnyOk;
}
template <typename C>
int CAny_ZQPSTR<C>::vnGetTailleAvecFin(int* size) const {
  *size = (nLength() + 1) * static_cast<int>(sizeof(C));
  return kAnyOk;
}
template <typename C>
int CAny_ZQPSTR<C>::vnGetTexte(const void** text) const {
  *text = Texte();
  return kAnyOk;
}
template <typename C>
int CAny_ZQPSTR<C>::vnCopieAvecFin(void* out) const {
  std::memcpy(out, Texte(), (static_cast<size_t>(nLength()) + 1) * sizeof(C));
  return kAnyOk;
}
template <typename C>
int CAny_ZQPSTR<C>::vnSetDepuis(const void* data, int size) {
  return vnCopieLongueur(static_cast<const C*>(data), size / static_cast<int>(sizeof(C)));
}
template <typename C>
int CAny_ZQPSTR<C>::vnSetValeur(const void* value) {
  return vnCopie(static_cast<const C*>(value));
}
template <typename C>
int CAny_ZQPSTR<C>::vnGetLongueur(int* length) const {
  *length = nLength();
  return kAnyOk;
}
template <typename C>
int CAny_ZQPSTR<C>::vnGetTailleSansFin(int* size) const {
  *size = nLength() * static_cast<int>(sizeof(C));
  return kAnyOk;
}
template <typename C>
int CAny_ZQPSTR<C>::vnCopieSansFin(void* out) const {
  std::memcpy(out, Texte(), static_cast<size_t>(nLength()) * sizeof(C));
  return kAnyOk;
}
// Flag bit 0: a zero-filled block of `size` units, at most that many copied.
template <typename C>
int CAny_ZQPSTR<C>::vnSetDepuisFlags(const void* data, int size, uint32_t flags) {
  if ((flags & 1) == 0) return vnSetDepuis(data, size * static_cast<int>(sizeof(C)));
  if (size < 0) return kAnyOutOfRange;
  auto* block = static_cast<C*>(std::calloc(static_cast<size_t>(size) + 1, sizeof(C)));
  if (block == nullptr) return kAnyOutOfRange;
  const C* src = static_cast<const C*>(data);
  for (int i = 0; src != nullptr && i < size && src[i] != 0; ++i) block[i] = src[i];
  Remplace(block);
  return kAnyOk;
}
template <typename C>
int CAny_ZQPSTR<C>::vnCopieLongueur(const C* text, int n) {
  if (n < 0) n = text == nullptr ? 0 : static_cast<int>(LenZ(text));
  if (text == nullptr || n == 0) {
    Remplace(nullptr);
    return kAnyOk;
  }
  C* block = Duplique(text, n);
  if (block == nullptr) return kAnyOutOfRange;
  Remplace(block);
  return kAnyOk;
}
template <typename C>
int CAny_ZQPSTR<C>::vnCopie(const C* text) {
  return vnCopieLongueur(text, -1);
}
template <typename C>
void CAny_ZQPSTR<C>::vLibereTexte() {
  Remplace(nullptr);
}
template class CAny_ZQPSTR<char16_t>;
template class CAny_ZQPSTR<char>;

int CAny_ZQPSTRW::vnGetTexteW(const char16_t** text) const {
  *text = Texte();
  return kAnyOk;
}
int CAny_ZQPSTRW::vnSetACP(const char* text, int n, uint32_t code_page) {
  std::u16string s = Vers16(text, n, code_page);
  return vnCopieLongueur(s.data(), static_cast<int>(s.size()));
}
int CAny_ZQPSTRA::vnGetTexteA(const char** text) const {
  *text = Texte();
  return kAnyOk;
}
int CAny_ZQPSTRA::vnSetWCP(const char16_t* text, int n, uint32_t code_page) {
  std::string s = Vers8(text, n, code_page);
  return vnCopieLongueur(s.data(), static_cast<int>(s.size()));
}

// --- decimals ------------------------------------------------------------------------------

namespace qg {

void DecimalVersForme(const DecimalFields& fields, uint8_t out[kDecimalFormSize]) {
  out[0] = static_cast<uint8_t>(fields.nPrecision);
  out[1] = static_cast<uint8_t>(fields.nScale);
  std::memcpy(out + 2, fields.abyMantissa, 16);
}

void DecimalDepuisForme(const uint8_t in[kDecimalFormSize], DecimalFields* fields) {
  fields->nPrecision = std::min<int32_t>(in[0], 38);
  fields->nScale = std::min<int32_t>(in[1], 38);
  std::memcpy(fields->abyMantissa, in + 2, 16);
}

}  // namespace qg

CAny_ZQDECIMAL::CAny_ZQDECIMAL() {
  qg::IGlobalFactory* factory = qg::Services().piValueObjects;
  new (m_abyValeur) qg::IDecimal*(factory != nullptr ? factory->piCreateDecimal(0) : nullptr);
}
CAny_ZQDECIMAL::~CAny_ZQDECIMAL() {
  qg::IGlobalFactory* factory = qg::Services().piValueObjects;
  if (D() != nullptr && factory != nullptr) factory->ReleaseDecimal(D());
}
void CAny_ZQDECIMAL::vCopieVers(CAny& target) const { CopieVers(*this, target, D(), true); }
int CAny_ZQDECIMAL::vnGetValeur(void* out) const {
  qg::IDecimal* d = D();
  std::memcpy(out, &d, sizeof(d));
  return d != nullptr ? kAnyOk : kAnyNoValue;
}
int CAny_ZQDECIMAL::vnGetTailleAvecFin(int* size) const {
  *size = qg::kDecimalFormSize;
  return kAnyOk;
}
int CAny_ZQDECIMAL::vnGetTexte(const void** text) const {
  *text = nullptr;
  return kAnyWrongType;
}
int CAny_ZQDECIMAL::vnCopieAvecFin(void* out) const {
  if (D() == nullptr) return kAnyNoValue;
  qg::DecimalVersForme(D()->m_stFields, static_cast<uint8_t*>(out));
  return kAnyOk;
}
int CAny_ZQDECIMAL::vnSetDepuis(const void* data, int size) {
  if (D() == nullptr) return kAnyNoValue;
  if (data == nullptr || size < qg::kDecimalFormSize) return kAnyOutOfRange;
  qg::DecimalDepuisForme(static_cast<const uint8_t*>(data), &D()->m_stFields);
  return kAnyOk;
}
int CAny_ZQDECIMAL::vnSetValeur(const void* value) {
  if (D() == nullptr) return kAnyNoValue;
  auto* source = static_cast<const qg::IDecimal*>(value);
  if (source == nullptr) {
    D()->m_stFields = qg::DecimalFields{};
  } else if (source != D()) {
    D()->m_stFields = source->m_stFields;
  }
  return kAnyOk;
}
int CAny_ZQDECIMAL::vbEstPositif() const {
  if (D() == nullptr) return 1;
  return (D()->m_stFields.abyMantissa[15] & 0x80) ? 0 : 1;
}

// --- OBJET_MDPS ------------------------------------------------------------------------

CAny_ZQOBJET_MDPS::CAny_ZQOBJET_MDPS() {
  qg::IGlobalFactory* factory = qg::Services().piValueObjects;
  void* object = factory != nullptr ? factory->pCreatePasswordObject() : nullptr;
  new (m_abyValeur) qg::IPasswordObject*(static_cast<qg::IPasswordObject*>(object));
}
CAny_ZQOBJET_MDPS::~CAny_ZQOBJET_MDPS() {
  if (O() != nullptr) O()->Release();
}
void CAny_ZQOBJET_MDPS::vCopieVers(CAny& target) const {
  CopieVers(*this, target, P<qg::IPasswordObject*>(), true);
}
int CAny_ZQOBJET_MDPS::vnGetValeur(void* out) const {
  qg::IPasswordObject* o = O();
  if (o != nullptr) o->AddRef();
  std::memcpy(out, &o, sizeof(o));
  return o != nullptr ? kAnyOk : kAnyNoValue;
}
int CAny_ZQOBJET_MDPS::vnSetValeur(const void* value) {
  if (O() == nullptr) return kAnyNoValue;
  if (value == nullptr) return kAnyNoValue;
  intptr_t v;
  std::memcpy(&v, value, sizeof(v));
  O()->vSetValue(v);
  return kAnyOk;
}

// --- BUFFER ------------------------------------------------------------------------------

void CAny_ZQBUFFER::vCopieVers(CAny& target) const {
  target.SetType(m_wType & 0xFF);
  target.pclHolder()->vnSetDepuis(B().pData, static_cast<int>(B().nSize));
  CarryFlags(target);
}
int CAny_ZQBUFFER::vnGetAdr(void** address) {
  *address = const_cast<void*>(B().pData);
  return kAnyOk;
}
int CAny_ZQBUFFER::vnGetValeur(void* out) const {
  std::memcpy(out, &B(), sizeof(qg::AnyBuffer));
  return kAnyOk;
}
int CAny_ZQBUFFER::vnGetTailleAvecFin(int* size) const {
  *size = static_cast<int>(B().nSize);
  return kAnyOk;
}
int CAny_ZQBUFFER::vnGetTexte(const void** text) const {
  *text = B().pData != nullptr ? B().pData : kEmpty16;
  return kAnyOk;
}
int CAny_ZQBUFFER::vnCopieAvecFin(void* out) const {
  if (B().pData != nullptr && B().nSize > 0) {
    std::memcpy(out, B().pData, static_cast<size_t>(B().nSize));
  }
  return kAnyOk;
}
int CAny_ZQBUFFER::vnSetDepuis(const void* data, int size) {
  B().pData = data;
  B().nSize = data != nullptr && size > 0 ? size : 0;
  return kAnyOk;
}
int CAny_ZQBUFFER::vnSetValeur(const void* value) {
  B().pData = value;
  B().nSize = 0;
  return kAnyOk;
}

// --- referenced objects --------------------------------------------------------------------

void AnyRefObject::Take(void* p) { static_cast<qg::IAnyObject*>(p)->AddRef(); }
void AnyRefObject::Give(void* p) { static_cast<qg::IAnyObject*>(p)->Release(); }
void AnyRefArray::Take(void* p) { static_cast<qg::IAnyArray*>(p)->AddRef(); }
void AnyRefArray::Give(void* p) { static_cast<qg::IAnyArray*>(p)->Release(); }
void AnyRefConveyor::Take(void* p) {
  static_cast<qg::IAnyConveyor*>(p)->m_nCount.fetch_add(1, std::memory_order_relaxed);
}
void AnyRefConveyor::Give(void* p) { static_cast<qg::IAnyConveyor*>(p)->Release(); }
void AnyRefError::Take(void* p) { static_cast<CQGUnknown*>(p)->AddRef(); }
void AnyRefError::Give(void* p) { static_cast<CQGUnknown*>(p)->Release(); }

template <typename Ref, bool kCarry>
void CAny_ZQRef<Ref, kCarry>::vCopieVers(CAny& target) const {
  CopieVers(*this, target, P<void*>(), kCarry);
}
template <typename Ref, bool kCarry>
int CAny_ZQRef<Ref, kCarry>::vnGetValeur(void* out) const {
  void* o = O();
  std::memcpy(out, &o, sizeof(o));
  return kAnyOk;
}
template <typename Ref, bool kCarry>
int CAny_ZQRef<Ref, kCarry>::vnSetValeur(const void* value) {
  if (value == nullptr) return kAnyNoValue;
  void* incoming;
  std::memcpy(&incoming, value, sizeof(incoming));
  void* old = O();
  if (incoming == old) return kAnyOk;
  if (incoming != nullptr) Ref::Take(incoming);  // before the release: may be the same graph
  *P<void*>() = incoming;
  if (old != nullptr) Ref::Give(old);
  return kAnyOk;
}
template class CAny_ZQRef<AnyRefObject, false>;
template class CAny_ZQRef<AnyRefObject, true>;
template class CAny_ZQRef<AnyRefConveyor, true>;
template class CAny_ZQRef<AnyRefArray, false>;
template class CAny_ZQRef<AnyRefError, false>;

// --- construction ------------------------------------------------------------------------------

namespace qg {

int nConstruitHolder(void* place, int code) {
  switch (code) {
    case kAnyBOOL: new (place) CAny_ZQBOOL(); return code;
    case kAnyUI1: new (place) CAny_ZQUI1(); return code;
    case kAnyUI2: new (place) CAny_ZQUI2(); return code;
    case kAnyUI4: new (place) CAny_ZQUI4(); return code;
    case kAnyUI8: new (place) CAny_ZQUI8(); return code;
    case kAnyI1: new (place) CAny_ZQI1(); return code;
    case kAnyI2: new (place) CAny_ZQI2(); return code;
    case kAnyI4:
    case kAnyI4Alias: new (place) CAny_ZQI4(); return kAnyI4;
    case kAnyI8: new (place) CAny_ZQI8(); return code;
    case kAnyCY: new (place) CAny_ZQCY(); return code;
    case kAnyR4: new (place) CAny_ZQR4(); return code;
    case kAnyR8: new (place) CAny_ZQR8(); return code;
    case kAnyDECIMAL: new (place) CAny_ZQDECIMAL(); return code;
    case kAnyUIX: new (place) CAny_ZQUIX(); return code;
    case kAnyDSTRW:
    case kAnyDSTRW148:
    case kAnyDSTRW149: new (place) CAny_ZQDSTRW(); return code;
    case kAnyCARA: new (place) CAny_ZQCARA(); return code;
    case kAnyPSTRA: new (place) CAny_ZQPSTRA(); return code;
    case kAnyDSTRA: new (place) CAny_ZQDSTRA(); return code;
    case kAnyDATEW: new (place) CAny_ZQDATEW(); return code;
    case kAnyTIMEW: new (place) CAny_ZQTIMEW(); return code;
    case kAnyDATETIME: new (place) CAny_ZQDATETIME(); return code;
    case kAnyDUREE: new (place) CAny_ZQDUREE(); return code;
    case kAnyBIN: new (place) CAny_ZQBIN(); return code;
    case kAnyBUFFER: new (place) CAny_ZQBUFFER(); return code;
    case kAnyMEMOIMG: new (place) CAny_ZQMEMOIMG(); return code;
    case kAnyCONVOYEUR: new (place) CAny_ZQCONVOYEUR(); return code;
    case kAnyPOLICE: new (place) CAny_ZQPOLICE(); return code;
    case kAnyCARW: new (place) CAny_ZQCARW(); return code;
    case kAnyTABVALANY: new (place) CAny_ZQTABVALANY(); return code;
    case kAnyOBJET_BASE:
    case 135:
    case 136:
    case 141:
    case 142:
    case 166: new (place) CAny_ZQOBJET_BASE(); return code;
    case kAnyPSTRW: new (place) CAny_ZQPSTRW(); return code;
    case kAnyDINO: new (place) CAny_ZQDINO(); return code;
    case kAnyINTERFACE: new (place) CAny_ZQINTERFACE(); return code;
    case kAnyDATEA: new (place) CAny_ZQDATEA(); return code;
    case kAnyTIMEA: new (place) CAny_ZQTIMEA(); return code;
    case kAnyOBJET_ANY: new (place) CAny_ZQOBJET_ANY(); return code;
    case kAnyPOINT: new (place) CAny_ZQPOINT(); return code;
    case kAnyRECTANGLE: new (place) CAny_ZQRECTANGLE(); return code;
    case kAnyUUID_128: new (place) CAny_ZQUUID_128(); return code;
    case kAnyUUID_256: new (place) CAny_ZQUUID_256(); return code;
    case kAnyOBJET_MDPS: new (place) CAny_ZQOBJET_MDPS(); return code;
    case kAnyVALEUR_EN_ERREUR: new (place) CAny_ZQVALEUR_EN_ERREUR(); return code;
    default: new (place) CAny_Intern(); return kAnyEmpty;
  }
}

}  // namespace qg
