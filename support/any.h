// CAny: the Velisc value. A leading word, then an in-place holder object
// (CAny_Intern or one of the CAny_ZQ* classes of support/any_holders.h)
// chosen by the type code: its virtual table, its 16-bit type word, then
// the value bytes. Fixed-size values live in the holder and never allocate;
// texts, decimals and objects are held through one pointer whose ownership
// the holder class defines.
//
// Type word: low byte the type code, high byte the flags kAnyFlagNull
// (the value is null) and kAnyFlagCarried (carried by copies and by the
// serialised forms). Every setter clears both.
//
// CAny never switches on the type for value operations: it asks the holder.
// One CAny is used by one thread at a time.
#ifndef QG_SUPPORT_ANY_H_
#define QG_SUPPORT_ANY_H_

#include <cstddef>
#include <cstdint>
#include <new>

#include "support/currency.h"
#include "support/frame/host_services.h"
#include "support/xystring.h"

class CAny;

namespace qg {

class IByteSink;
class IByteSource;

// Type codes.
enum AnyType : uint16_t {
  kAnyEmpty = 0,
  kAnyBOOL = 1,
  kAnyUI1 = 2,
  kAnyUI2 = 3,
  kAnyUI4 = 4,
  kAnyUI8 = 5,
  kAnyI1 = 6,
  kAnyI2 = 7,
  kAnyI4 = 8,
  kAnyI8 = 9,
  kAnyCY = 10,
  kAnyR4 = 11,
  kAnyR8 = 12,
  kAnyDECIMAL = 13,
  kAnyUIX = 14,
  kAnyI4Alias = 15,  // stored as kAnyI4
  kAnyDSTRW = 16,
  kAnyCARA = 17,
  kAnyPSTRA = 18,
  kAnyDSTRA = 19,
  kAnyDATEW = 24,
  kAnyTIMEW = 25,
  kAnyDATETIME = 26,
  kAnyDUREE = 27,
  kAnyBIN = 28,
  kAnyBUFFER = 29,
  kAnyMEMOIMG = 30,
  kAnyCONVOYEUR = 50,
  kAnyPOLICE = 65,
  kAnyCARW = 81,
  kAnyTABVALANY = 83,
  kAnyOBJET_BASE = 108,  // also 135, 136, 141, 142, 166
  kAnyPSTRW = 110,
  kAnyDINO = 111,
  kAnyINTERFACE = 124,
  kAnyDATEA = 128,
  kAnyTIMEA = 129,
  kAnyOBJET_ANY = 143,
  kAnyDSTRW148 = 148,
  kAnyDSTRW149 = 149,
  kAnyPOINT = 150,
  kAnyRECTANGLE = 151,
  kAnyUUID_128 = 154,
  kAnyUUID_256 = 155,
  kAnyOBJET_MDPS = 160,
  kAnyVALEUR_EN_ERREUR = 167,
};

// Flags of the type word.
constexpr uint16_t kAnyFlagNull = 0x100;
constexpr uint16_t kAnyFlagCarried = 0x400;
constexpr uint16_t kAnyFlagsKept = kAnyFlagNull | kAnyFlagCarried;
constexpr uint16_t kAnySetterMask = 0xFAFF;

// Results of value operations. Host codes (100 and above, other than
// these) pass through unchanged.
constexpr int kAnyOk = 0;
constexpr int kAnyNoValue = 102;
constexpr int kAnyNull = 103;
constexpr int kAnyWrongType = 105;
constexpr int kAnyOutOfRange = 108;

// Display text results.
constexpr int kAnyDisplayWhole = 1;
constexpr int kAnyDisplayCut = 2;

// DATETIME value: day, month, year, milliseconds since midnight.
struct AnyDateTime {
  uint8_t nDay;
  uint8_t nMonth;
  uint16_t nYear;
  uint32_t nMilliseconds;
};
static_assert(sizeof(AnyDateTime) == 8, "DATETIME is 8 bytes");

// Sets the record to the current UTC date and time.
void SetMaintenantUTC(AnyDateTime* dt);

struct AnyPoint {
  int32_t x;
  int32_t y;
};
struct AnyRectangle {
  int32_t a[4];
};
struct AnyUuid128 {
  uint8_t b[16];
};

// BUFFER value: a block the value does not own.
struct AnyBuffer {
  const void* pData;
  intptr_t nSize;
};

// Bytes of the value area of a holder: the largest value is TIMEW (nine
// UTF-16 digits and a terminator); RECTANGLE, UUID_128 and BUFFER take 16.
constexpr size_t kAnyValueSize = 24;

// The conversion used by CAny::nCastTo / nConvertType: (source value,
// source type word, destination area, destination type) with the host's
// status convention, and the release of a conversion temporary. Each
// deliverable picks its provider at start-up; the default calls the host's
// "nConversionDepassementExt" and "FinConversion".
struct AnyConversionProvider {
  int32_t (*pfnConvert)(const void* source, int32_t source_type, void* destination,
                        int32_t destination_type);
  void (*pfnRelease)(void* destination, int32_t type);
  // Optional: the same with the engine's option word, which the cast uses
  // with options 1 (a BIN source may be taken over: the value is replaced
  // anyway). Null: the cast calls pfnConvert.
  int32_t (*pfnCast)(const void* source, int32_t source_type, void* destination,
                     int32_t destination_type, int32_t options) = nullptr;
};
void SetAnyConversionProvider(const AnyConversionProvider& provider);
// Back to the host form.
void ResetAnyConversionProvider();
const AnyConversionProvider& GetAnyConversionProvider();

}  // namespace qg

// The holder base: an empty value. Operations in slot order; the other
// classes override them (support/any_holders.h). Sizes are in bytes.
class CAny_Intern {
 public:
  CAny_Intern() = default;
  CAny_Intern(const CAny_Intern&) = delete;
  CAny_Intern& operator=(const CAny_Intern&) = delete;

  virtual ~CAny_Intern();                                                  // 0
  virtual void vCopieVers(CAny& target) const;                             // 1
  virtual int vnGetTaille(int* size) const;                                // 2
  virtual int vnGetAdr(void** address);                                    // 3
  virtual int vnGetValeur(void* out) const;                                // 4
  virtual int vnGetTailleAvecFin(int* size) const;                         // 5
  virtual int vnGetTexte(const void** text) const;                         // 6
  virtual int vnCopieAvecFin(void* out) const;                             // 7
  virtual int vnSetDepuis(const void* data, int size);                     // 8
  virtual int vnSetValeur(const void* value);                              // 9
  virtual int vnGetTexteA(const char** text) const;                        // 10
  virtual int vnGetTexteW(const char16_t** text) const;                    // 11
  virtual int vnGetLongueur(int* length) const;                            // 12
  virtual int vbEstPositif() const;                                        // 13
  virtual int vnGetTailleSansFin(int* size) const;                         // 14
  virtual int vnCopieSansFin(void* out) const;                             // 15
  virtual int vbIncremente();                                              // 16
  virtual int vbDecremente();                                              // 17
  virtual int vnSetA(const char* text, int n);                             // 18
  virtual int vnSetAZ(const char* text);                                   // 19
  virtual int vnSetW(const char16_t* text, int n);                         // 20
  virtual int vnSetWZ(const char16_t* text);                               // 21
  virtual int vnSetACP(const char* text, int n, uint32_t code_page);       // 22
  virtual int vnSetAZCP(const char* text, uint32_t code_page);             // 23
  virtual int vnSetWCP(const char16_t* text, int n, uint32_t code_page);   // 24
  virtual int vnSetWZCP(const char16_t* text, uint32_t code_page);         // 25
  virtual int vnSetDepuisFlags(const void* data, int size, uint32_t flags);  // 26

  uint16_t m_wType = 0;

 protected:
  template <typename T>
  T* P() {
    return std::launder(reinterpret_cast<T*>(m_abyValeur));
  }
  template <typename T>
  const T* P() const {
    return std::launder(reinterpret_cast<const T*>(m_abyValeur));
  }
  // Carries the kept flags of this holder into the target's type word,
  // the target's own flags cleared first.
  void CarryFlags(CAny& target) const;
  static void ClearFlags(CAny& target);

  alignas(8) unsigned char m_abyValeur[qg::kAnyValueSize] = {};

  friend class CAny;
};

class CAny {
 public:
  CAny();
  ~CAny();
  CAny(const CAny& other);
  CAny& operator=(const CAny& other);

  // --- type ---------------------------------------------------------------
  // Re-types the value; nothing when the type word (flags included) already
  // equals `code`. 15 is stored as 8, a code without holder as 0.
  void SetType(int code);
  uint16_t GetType() const { return H()->m_wType; }
  int nGetCode() const { return H()->m_wType & 0xFF; }
  bool bEstNull() const { return (H()->m_wType & qg::kAnyFlagNull) != 0; }
  bool bEstVide() const { return (H()->m_wType & 0xFF) == qg::kAnyEmpty; }
  // Sets or clears the null flag, keeping the value.
  void SetNull(bool null);
  void SetFlags(uint16_t flags);  // ORs kept flags into the type word

  CAny_Intern* pclHolder() { return H(); }
  const CAny_Intern* pclHolder() const { return H(); }
  // The value area that follows the type word (what the host's entry points
  // read and write).
  void* pValeur() { return H()->m_abyValeur; }
  const void* pValeur() const { return H()->m_abyValeur; }

  // The address of the value (holder operation 3).
  int nGetAdr(void** address);
  // The UTF-16 text of a text value (holder operation 11).
  int nGetPCXSTR(const char16_t** text) const;

  // --- setters: SetType, holder operation 9, flags cleared ---------------
  void SetBOOL(int32_t v);
  void SetUI1(uint8_t v);
  void SetUI2(uint16_t v);
  void SetUI4(uint32_t v);
  void SetUI8(uint64_t v);
  void SetI1(int8_t v);
  void SetI2(int16_t v);
  void SetI4(int32_t v);
  void SetI8(int64_t v);
  void SetCY(const qg::Fixe6& v);
  void SetR4(float v);
  void SetR8(double v);
  // Copies the number fields of the decimal object.
  void SetDECIMAL(const qg::IDecimal* v);
  void SetUIX(intptr_t v);
  void SetCARA(char v);
  void SetCARW(char16_t v);
  void SetDATETIME(const qg::AnyDateTime& v);
  // From (year, month, day, hour, minute, second, millisecond).
  void SetDATETIME(int year, int month, int day, int hour, int minute, int second,
                   int millisecond);
  // The system's current UTC time.
  void SetDATETIMEMaintenant();
  void SetDUREE(int64_t v);
  void SetPOINT(int32_t x, int32_t y);
  void SetRECTANGLE(const int32_t coordinates[4]);
  void SetUUID_128(const uint8_t bytes[16]);
  // The block is not owned: it must outlive the value.
  void SetBUFFER(const void* data, intptr_t size);
  // Texts: the holder's statuses (0, 108, host codes >= 100).
  int SetDSTRW(const char16_t* text, int n = -1);
  int SetDSTRW(const CXYString<char16_t>& text);  // shares
  int SetDSTRA(const char* text, int n = -1);
  int SetDSTRA(const CXYString<char>& text);      // shares
  int SetPSTRW(const char16_t* text);             // copied
  int SetPSTRA(const char* text);                 // copied
  int SetBIN(const void* bytes, int n);
  int SetUUID_256(const CXYString<char>& bytes);  // shares; 32 bytes expected
  // Dates from text: "yyyy-mm-dd" keeps its eight digits, any other text is
  // cut to 8 characters. Times: "hh:mm", "hh:mm:ss" and "hh:mm:ss.mmm"
  // (up to three digits of milliseconds) keep their digits, any other text
  // is taken as it is; then cut to 9 digits and padded with '0' to 9.
  void SetDATEW(const char16_t* text);
  void SetTIMEW(const char16_t* text);
  void SetDATEA(const char* text);
  void SetTIMEA(const char* text);
  // Objects: one reference taken, the previous one released.
  void SetMEMOIMG(void* object);
  void SetPOLICE(void* object);
  void SetCONVOYEUR(void* object);
  void SetTABVALANY(void* array);
  void SetDINO(void* object);
  void SetINTERFACE(void* object);
  void SetOBJET_ANY(void* object);
  // code: 108, 135, 136, 141, 142 or 166.
  void SetOBJET_BASE(int code, void* object);
  void SetVALEUR_EN_ERREUR(void* error);

  // --- getters: 103 null, 105 another type, else holder operation 4 -------
  int nGetBOOL(int32_t* v) const;
  int nGetUI1(uint8_t* v) const;
  int nGetUI2(uint16_t* v) const;
  int nGetUI4(uint32_t* v) const;
  int nGetUI8(uint64_t* v) const;
  int nGetI1(int8_t* v) const;
  int nGetI2(int16_t* v) const;
  int nGetI4(int32_t* v) const;
  int nGetI8(int64_t* v) const;
  int nGetCY(qg::Fixe6* v) const;
  int nGetR4(float* v) const;
  int nGetR8(double* v) const;
  // The holder's decimal object (still owned by the value).
  int nGetDECIMAL(qg::IDecimal** v) const;
  int nGetUIX(intptr_t* v) const;
  int nGetCARA(char* v) const;
  int nGetCARW(char16_t* v) const;
  int nGetDATETIME(qg::AnyDateTime* v) const;
  int nGetDUREE(int64_t* v) const;
  int nGetBUFFER(qg::AnyBuffer* v) const;
  // Shares the text (codes 16, 148, 149).
  int nGetDSTRW(CXYString<char16_t>* v) const;
  int nGetDSTRA(CXYString<char>* v) const;
  int nGetBIN(CXYString<char>* v) const;
  // The held pointer (still owned by the value).
  int nGetPSTRW(const char16_t** v) const;
  int nGetPSTRA(const char** v) const;
  // The held object pointer, no reference taken; for OBJET_MDPS a reference
  // is taken that the caller releases.
  int nGetObjet(int code, void** v) const;

  // --- conversion ---------------------------------------------------------
  // Converts in place through the conversion provider; the flags
  // kAnyFlagNull and kAnyFlagCarried are kept. Returns the provider's status
  // (below 100 success; on failure the value is unchanged).
  int nConvertType(int code);
  int nCastTo(int code) { return nConvertType(code); }
  // The value's text: shared for codes 16, 148, 149, the holder's UTF-16
  // text when it has one, else converted to type 16 by the provider.
  int nGetTexte(CXYString<char16_t>* out) const;

  // --- comparison through the host's "nComparaisonEx" ----------------------
  // 103 when either value is null; else the host's status, the order
  // written to *result.
  int nCompare(const CAny& other, int32_t* result) const;

  // --- increment ------------------------------------------------------------
  // 1 on overflow, 0 otherwise, 105 for a type without arithmetic.
  int nIncremente() { return H()->vbIncremente(); }
  int nDecremente() { return H()->vbDecremente(); }

  // --- serialised forms (support/any_serial.cpp) ----------------------------
  // Short form: type word, then for a non-empty value a 32-bit length and
  // the value bytes. Values that hold a pointer or a reference are written
  // with length 0.
  bool bEcritCourt(qg::IByteSink& sink) const;
  bool bLitCourt(qg::IByteSource& source);
  // Tagged form: marker 0x8001, 32-bit length of what follows, version 4,
  // type word, value.
  bool bEcritBalise(qg::IByteSink& sink) const;
  bool bLitBalise(qg::IByteSource& source);

  // --- display text for journals (support/any_text.cpp) --------------------
  // Replaces *out; 1, or 2 when the text was cut; a host code on failure.
  int nTexteAffichage(CXYString<char16_t>* out) const;

 private:
  CAny_Intern* H() { return std::launder(reinterpret_cast<CAny_Intern*>(m_abyHolder)); }
  const CAny_Intern* H() const {
    return std::launder(reinterpret_cast<const CAny_Intern*>(m_abyHolder));
  }
  // Destroys the holder and installs a bare CAny_Intern (type 0).
  void Vide();
  template <typename T>
  void SetFixe(int code, const T& v);
  template <typename T>
  int nGetFixe(int code, T* v) const;
  int nCheckGet(int code) const;

  uint32_t m_nMot = 0;  // not read by the value operations
  alignas(8) unsigned char m_abyHolder[sizeof(CAny_Intern)];

  friend class CAny_Intern;
};

static_assert(sizeof(CAny_Intern) == 40, "holder: table pointer, type word, 24 value bytes");

#endif  // QG_SUPPORT_ANY_H_
