#include "support/any.h"

#include <cstring>

#include "support/any_holders.h"
#include "support/frame/module_services.h"
#include "support/platform/clock.h"

namespace qg {

namespace {

int32_t HostConvert(const void* source, int32_t source_type, void* destination,
                    int32_t destination_type) {
  return CallConversion(source, source_type, destination, destination_type);
}

void HostRelease(void* destination, int32_t type) { CallFinConversion(destination, type); }

AnyConversionProvider& Provider() {
  static AnyConversionProvider provider{&HostConvert, &HostRelease};
  return provider;
}

// The cast replaces the value: its source may be taken over.
constexpr int32_t kAnyCastOptions = 1;

bool IsDstrW(int code) { return code == kAnyDSTRW || code == kAnyDSTRW148 || code == kAnyDSTRW149; }

bool IsObjetBase(int code) {
  return code == kAnyOBJET_BASE || code == 135 || code == 136 || code == 141 || code == 142 ||
         code == 166;
}

// Codes whose set-from-value operation takes the pointer itself.
bool TakesPointer(int code) { return code == kAnyDECIMAL || code == kAnyPSTRA || code == kAnyPSTRW; }

// The area a conversion writes into.
struct Temporaire {
  alignas(8) unsigned char aby[kAnyValueSize] = {};
  void* Pointeur() const {
    void* p;
    std::memcpy(&p, aby, sizeof(p));
    return p;
  }
};

// Gives a conversion temporary back: decimals to the value-object service,
// the rest to the provider.
void LibereTemporaire(Temporaire* temp, int code) {
  if (code == kAnyDECIMAL) {
    auto* decimal = static_cast<IDecimal*>(temp->Pointeur());
    IGlobalFactory* factory = Services().piValueObjects;
    if (decimal != nullptr && factory != nullptr) factory->ReleaseDecimal(decimal);
    std::memset(temp->aby, 0, sizeof(temp->aby));
    return;
  }
  GetAnyConversionProvider().pfnRelease(temp->aby, code);
}

}  // namespace

void SetAnyConversionProvider(const AnyConversionProvider& provider) {
  if (provider.pfnConvert == nullptr || provider.pfnRelease == nullptr) {
    ResetAnyConversionProvider();
    return;
  }
  Provider() = provider;
}

void ResetAnyConversionProvider() { Provider() = AnyConversionProvider{&HostConvert, &HostRelease}; }

const AnyConversionProvider& GetAnyConversionProvider() { return Provider(); }

}  // namespace qg

using qg::kAnyFlagsKept;
using qg::kAnyNull;
using qg::kAnyOk;
using qg::kAnyWrongType;

CAny::CAny() { new (m_abyHolder) CAny_Intern(); }

CAny::~CAny() { H()->~CAny_Intern(); }

// Copies build the target's holder for the source's code at once (a
// fresh holder, whatever the target held), then the source copies its
// value and flags into it.
CAny::CAny(const CAny& other) {
  int stored = qg::nConstruitHolder(m_abyHolder, other.nGetCode());
  H()->m_wType = static_cast<uint16_t>(stored);
  other.H()->vCopieVers(*this);
}

CAny& CAny::operator=(const CAny& other) {
  if (this == &other) return *this;
  if ((H()->m_wType & 0xFF) != qg::kAnyEmpty) H()->~CAny_Intern();
  int stored = qg::nConstruitHolder(m_abyHolder, other.nGetCode());
  H()->m_wType = static_cast<uint16_t>(stored);
  other.H()->vCopieVers(*this);
  return *this;
}

void CAny::Vide() {
  H()->~CAny_Intern();
  new (m_abyHolder) CAny_Intern();
}

void CAny::SetType(int code) {
  if (H()->m_wType == code) return;
  // An empty value's holder is the bare CAny_Intern, which holds nothing
  // to release: its storage is reused at once.
  if ((H()->m_wType & 0xFF) != qg::kAnyEmpty) H()->~CAny_Intern();
  int stored = qg::nConstruitHolder(m_abyHolder, code);
  H()->m_wType = static_cast<uint16_t>(stored);
}

void CAny::SetNull(bool null) {
  uint16_t& word = H()->m_wType;
  word = static_cast<uint16_t>(null ? (word | qg::kAnyFlagNull) : (word & ~qg::kAnyFlagNull));
}

void CAny::SetFlags(uint16_t flags) {
  H()->m_wType = static_cast<uint16_t>(H()->m_wType | (flags & kAnyFlagsKept));
}

int CAny::nGetAdr(void** address) { return H()->vnGetAdr(address); }

int CAny::nGetPCXSTR(const char16_t** text) const { return H()->vnGetTexteW(text); }

// --- setters ---------------------------------------------------------------------------

template <typename T>
void CAny::SetFixe(int code, const T& v) {
  SetType(code);
  H()->vnSetValeur(&v);
  H()->m_wType &= qg::kAnySetterMask;
}

void CAny::SetBOOL(int32_t v) { SetFixe(qg::kAnyBOOL, v); }
void CAny::SetUI1(uint8_t v) { SetFixe(qg::kAnyUI1, v); }
void CAny::SetUI2(uint16_t v) { SetFixe(qg::kAnyUI2, v); }
void CAny::SetUI4(uint32_t v) { SetFixe(qg::kAnyUI4, v); }
void CAny::SetUI8(uint64_t v) { SetFixe(qg::kAnyUI8, v); }
void CAny::SetI1(int8_t v) { SetFixe(qg::kAnyI1, v); }
void CAny::SetI2(int16_t v) { SetFixe(qg::kAnyI2, v); }
void CAny::SetI4(int32_t v) { SetFixe(qg::kAnyI4, v); }
void CAny::SetI8(int64_t v) { SetFixe(qg::kAnyI8, v); }
void CAny::SetCY(const qg::Fixe6& v) { SetFixe(qg::kAnyCY, v); }
void CAny::SetR4(float v) { SetFixe(qg::kAnyR4, v); }
void CAny::SetR8(double v) { SetFixe(qg::kAnyR8, v); }
void CAny::SetUIX(intptr_t v) { SetFixe(qg::kAnyUIX, v); }
void CAny::SetCARA(char v) { SetFixe(qg::kAnyCARA, v); }
void CAny::SetCARW(char16_t v) { SetFixe(qg::kAnyCARW, v); }
void CAny::SetDATETIME(const qg::AnyDateTime& v) { SetFixe(qg::kAnyDATETIME, v); }
void CAny::SetDUREE(int64_t v) { SetFixe(qg::kAnyDUREE, v); }
void CAny::SetPOINT(int32_t x, int32_t y) { SetFixe(qg::kAnyPOINT, qg::AnyPoint{x, y}); }
void CAny::SetRECTANGLE(const int32_t coordinates[4]) {
  qg::AnyRectangle r;
  std::memcpy(r.a, coordinates, sizeof(r.a));
  SetFixe(qg::kAnyRECTANGLE, r);
}
void CAny::SetUUID_128(const uint8_t bytes[16]) {
  qg::AnyUuid128 u;
  std::memcpy(u.b, bytes, sizeof(u.b));
  SetFixe(qg::kAnyUUID_128, u);
}

void CAny::SetDATETIME(int year, int month, int day, int hour, int minute, int second,
                       int millisecond) {
  qg::AnyDateTime v;
  v.nDay = static_cast<uint8_t>(day);
  v.nMonth = static_cast<uint8_t>(month);
  v.nYear = static_cast<uint16_t>(year);
  v.nMilliseconds = static_cast<uint32_t>(hour * 3600000 + minute * 60000 + second * 1000 +
                                          millisecond);
  SetDATETIME(v);
}

void CAny::SetDATETIMEMaintenant() {
  qg::AnyDateTime now;
  qg::SetMaintenantUTC(&now);
  SetDATETIME(now);
}

void qg::SetMaintenantUTC(AnyDateTime* dt) {
  const SystemTime t = SystemTimeUtc();
  dt->nDay = static_cast<uint8_t>(t.wDay);
  dt->nMonth = static_cast<uint8_t>(t.wMonth);
  dt->nYear = t.wYear;
  dt->nMilliseconds = static_cast<uint32_t>(t.wHour * 3600000 + t.wMinute * 60000 +
                                            t.wSecond * 1000 + t.wMilliseconds);
}

void CAny::SetDECIMAL(const qg::IDecimal* v) {
  SetType(qg::kAnyDECIMAL);
  H()->vnSetValeur(v);
  H()->m_wType &= qg::kAnySetterMask;
}

void CAny::SetBUFFER(const void* data, intptr_t size) {
  SetType(qg::kAnyBUFFER);
  H()->vnSetDepuis(data, static_cast<int>(size));
  H()->m_wType &= qg::kAnySetterMask;
}

namespace {
// Runs a text setter after the type change and clears the flags.
template <typename F>
int SetTexte(CAny* any, CAny_Intern* (CAny::*holder)(), int code, F set) {
  any->SetType(code);
  CAny_Intern* h = (any->*holder)();
  int status = set(h);
  h->m_wType &= qg::kAnySetterMask;
  return status;
}
using HolderFn = CAny_Intern* (CAny::*)();
constexpr HolderFn kHolder = &CAny::pclHolder;
}  // namespace

int CAny::SetDSTRW(const char16_t* text, int n) {
  return SetTexte(this, kHolder, qg::kAnyDSTRW, [&](CAny_Intern* h) { return h->vnSetW(text, n); });
}
int CAny::SetDSTRW(const CXYString<char16_t>& text) {
  return SetTexte(this, kHolder, qg::kAnyDSTRW, [&](CAny_Intern* h) { return h->vnSetValeur(&text); });
}
int CAny::SetDSTRA(const char* text, int n) {
  return SetTexte(this, kHolder, qg::kAnyDSTRA, [&](CAny_Intern* h) { return h->vnSetA(text, n); });
}
int CAny::SetDSTRA(const CXYString<char>& text) {
  return SetTexte(this, kHolder, qg::kAnyDSTRA, [&](CAny_Intern* h) { return h->vnSetValeur(&text); });
}
int CAny::SetPSTRW(const char16_t* text) {
  return SetTexte(this, kHolder, qg::kAnyPSTRW, [&](CAny_Intern* h) { return h->vnSetValeur(text); });
}
int CAny::SetPSTRA(const char* text) {
  return SetTexte(this, kHolder, qg::kAnyPSTRA, [&](CAny_Intern* h) { return h->vnSetValeur(text); });
}
int CAny::SetBIN(const void* bytes, int n) {
  return SetTexte(this, kHolder, qg::kAnyBIN, [&](CAny_Intern* h) { return h->vnSetDepuis(bytes, n); });
}
int CAny::SetUUID_256(const CXYString<char>& bytes) {
  return SetTexte(this, kHolder, qg::kAnyUUID_256,
                  [&](CAny_Intern* h) { return h->vnSetValeur(&bytes); });
}

namespace {
void SetObjet(CAny* any, int code, void* object) {
  any->SetType(code);
  any->pclHolder()->vnSetValeur(&object);
  any->pclHolder()->m_wType &= qg::kAnySetterMask;
}
}  // namespace

void CAny::SetMEMOIMG(void* object) { SetObjet(this, qg::kAnyMEMOIMG, object); }
void CAny::SetPOLICE(void* object) { SetObjet(this, qg::kAnyPOLICE, object); }
void CAny::SetCONVOYEUR(void* object) { SetObjet(this, qg::kAnyCONVOYEUR, object); }
void CAny::SetTABVALANY(void* array) { SetObjet(this, qg::kAnyTABVALANY, array); }
void CAny::SetDINO(void* object) { SetObjet(this, qg::kAnyDINO, object); }
void CAny::SetINTERFACE(void* object) { SetObjet(this, qg::kAnyINTERFACE, object); }
void CAny::SetOBJET_ANY(void* object) { SetObjet(this, qg::kAnyOBJET_ANY, object); }
void CAny::SetOBJET_BASE(int code, void* object) {
  SetObjet(this, qg::IsObjetBase(code) ? code : qg::kAnyOBJET_BASE, object);
}
void CAny::SetVALEUR_EN_ERREUR(void* error) { SetObjet(this, qg::kAnyVALEUR_EN_ERREUR, error); }

// --- getters --------------------------------------------------------------------------

int CAny::nCheckGet(int code) const {
  if (bEstNull()) return kAnyNull;
  if (nGetCode() != code) return kAnyWrongType;
  return kAnyOk;
}

template <typename T>
int CAny::nGetFixe(int code, T* v) const {
  int status = nCheckGet(code);
  if (status != kAnyOk) return status;
  return H()->vnGetValeur(v);
}

int CAny::nGetBOOL(int32_t* v) const { return nGetFixe(qg::kAnyBOOL, v); }
int CAny::nGetUI1(uint8_t* v) const { return nGetFixe(qg::kAnyUI1, v); }
int CAny::nGetUI2(uint16_t* v) const { return nGetFixe(qg::kAnyUI2, v); }
int CAny::nGetUI4(uint32_t* v) const { return nGetFixe(qg::kAnyUI4, v); }
int CAny::nGetUI8(uint64_t* v) const { return nGetFixe(qg::kAnyUI8, v); }
int CAny::nGetI1(int8_t* v) const { return nGetFixe(qg::kAnyI1, v); }
int CAny::nGetI2(int16_t* v) const { return nGetFixe(qg::kAnyI2, v); }
int CAny::nGetI4(int32_t* v) const { return nGetFixe(qg::kAnyI4, v); }
int CAny::nGetI8(int64_t* v) const { return nGetFixe(qg::kAnyI8, v); }
int CAny::nGetCY(qg::Fixe6* v) const { return nGetFixe(qg::kAnyCY, v); }
int CAny::nGetR4(float* v) const { return nGetFixe(qg::kAnyR4, v); }
int CAny::nGetR8(double* v) const { return nGetFixe(qg::kAnyR8, v); }
int CAny::nGetDECIMAL(qg::IDecimal** v) const { return nGetFixe(qg::kAnyDECIMAL, v); }
int CAny::nGetUIX(intptr_t* v) const { return nGetFixe(qg::kAnyUIX, v); }
int CAny::nGetCARA(char* v) const { return nGetFixe(qg::kAnyCARA, v); }
int CAny::nGetCARW(char16_t* v) const { return nGetFixe(qg::kAnyCARW, v); }
int CAny::nGetDATETIME(qg::AnyDateTime* v) const { return nGetFixe(qg::kAnyDATETIME, v); }
int CAny::nGetDUREE(int64_t* v) const { return nGetFixe(qg::kAnyDUREE, v); }
int CAny::nGetBUFFER(qg::AnyBuffer* v) const { return nGetFixe(qg::kAnyBUFFER, v); }
int CAny::nGetDSTRA(CXYString<char>* v) const { return nGetFixe(qg::kAnyDSTRA, v); }
int CAny::nGetBIN(CXYString<char>* v) const { return nGetFixe(qg::kAnyBIN, v); }
int CAny::nGetPSTRW(const char16_t** v) const { return nGetFixe(qg::kAnyPSTRW, v); }
int CAny::nGetPSTRA(const char** v) const { return nGetFixe(qg::kAnyPSTRA, v); }

int CAny::nGetDSTRW(CXYString<char16_t>* v) const {
  if (bEstNull()) return kAnyNull;
  if (!qg::IsDstrW(nGetCode())) return kAnyWrongType;
  return H()->vnGetValeur(v);
}

int CAny::nGetObjet(int code, void** v) const { return nGetFixe(code, v); }

// --- conversion --------------------------------------------------------------------------

int CAny::nConvertType(int code) {
  if (code == qg::kAnyI4Alias) code = qg::kAnyI4;
  if (nGetCode() == code) return kAnyOk;
  const qg::AnyConversionProvider& provider = qg::GetAnyConversionProvider();
  qg::Temporaire temp;
  int32_t status =
      provider.pfnCast != nullptr
          ? provider.pfnCast(pValeur(), GetType(), temp.aby, code, qg::kAnyCastOptions)
          : provider.pfnConvert(pValeur(), GetType(), temp.aby, code);
  if (status >= qg::kHostErrorFirst) {
    qg::LibereTemporaire(&temp, code);
    return status;
  }
  uint16_t flags = GetType() & kAnyFlagsKept;
  SetType(code);
  if (qg::TakesPointer(code)) {
    H()->vnSetValeur(temp.Pointeur());
  } else {
    H()->vnSetValeur(temp.aby);
  }
  qg::LibereTemporaire(&temp, code);
  H()->m_wType = static_cast<uint16_t>((H()->m_wType & ~kAnyFlagsKept) | flags);
  return status;
}

int CAny::nGetTexte(CXYString<char16_t>* out) const {
  int code = nGetCode();
  if (qg::IsDstrW(code)) return H()->vnGetValeur(out);
  const char16_t* text = nullptr;
  if (H()->vnGetTexteW(&text) == kAnyOk) return out->nAffecte(text);
  const qg::AnyConversionProvider& provider = qg::GetAnyConversionProvider();
  qg::Temporaire temp;
  int32_t status = provider.pfnConvert(pValeur(), GetType(), temp.aby, qg::kAnyDSTRW);
  if (status < qg::kHostErrorFirst) {
    *out = *std::launder(reinterpret_cast<const CXYString<char16_t>*>(temp.aby));
    status = kAnyOk;
  }
  provider.pfnRelease(temp.aby, qg::kAnyDSTRW);
  return status;
}

int CAny::nCompare(const CAny& other, int32_t* result) const {
  if (bEstNull() || other.bEstNull()) return kAnyNull;
  return qg::CallCalc(qg::kCalcComparaison, pValeur(), GetType(), other.pValeur(), other.GetType(),
                      result);
}
