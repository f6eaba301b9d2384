// The holder classes of CAny: one per type code, all on CAny_Intern, each
// constructed in place inside the CAny with an empty value. What a holder
// owns:
//   - PSTRA, PSTRW: a heap text, freed by the destructor;
//   - DSTRW (16, 148, 149), DSTRA, BIN, UUID_256: one reference to a
//     host-shared string, released by the destructor;
//   - OBJET_BASE, INTERFACE, OBJET_ANY, DINO, MEMOIMG, POLICE: one reference
//     to an qg::IAnyObject; CONVOYEUR to an qg::IAnyConveyor; TABVALANY to an
//     qg::IAnyArray; VALEUR_EN_ERREUR to a CQGUnknown (an error object);
//   - DECIMAL: a decimal object of the host's value-object service, released
//     through it; OBJET_MDPS: an object of the same service, released
//     through its own operation 1;
//   - BUFFER: nothing (pointer and size of a block owned elsewhere).
#ifndef QG_SUPPORT_ANY_HOLDERS_H_
#define QG_SUPPORT_ANY_HOLDERS_H_

#include <atomic>
#include <cstdint>

#include "support/any.h"
#include "support/frame/host_services.h"
#include "support/qg_unknown.h"

namespace qg {

// Objects held by OBJET_BASE, INTERFACE, OBJET_ANY, DINO, MEMOIMG and
// POLICE values: operation 0 takes a reference, operation 1 releases one.
class IAnyObject {
 public:
  virtual int32_t AddRef() = 0;   // 0
  virtual int32_t Release() = 0;  // 1

 protected:
  ~IAnyObject() = default;
};

// The array object of a TABVALANY value: operation 1 takes a reference,
// operation 2 releases one.
class IAnyArray {
 public:
  virtual intptr_t vOp0(intptr_t a) = 0;  // 0
  virtual int32_t AddRef() = 0;           // 1
  virtual int32_t Release() = 0;          // 2

 protected:
  ~IAnyArray() = default;
};

// The object of a CONVOYEUR value: its count follows the table pointer and
// is taken by an atomic increment; a reference goes back through operation 1.
class IAnyConveyor : public IAnyObject {
 public:
  std::atomic<int32_t> m_nCount{1};

 protected:
  ~IAnyConveyor() = default;
};

// The error object of a VALEUR_EN_ERREUR value is a CQGUnknown: a count
// after the table pointer, changed atomically; at zero the object is deleted
// through its operation 0 (the destructor).

// Builds the holder of `code` in place with an empty value and returns the
// code to store in its type word (15 gives 8, a code without holder 0 with
// a bare CAny_Intern).
int nConstruitHolder(void* place, int code);

// The 18-byte form of a decimal value: precision, scale, then the 128-bit
// mantissa least significant byte first.
constexpr int kDecimalFormSize = 18;
void DecimalVersForme(const DecimalFields& fields, uint8_t out[kDecimalFormSize]);
void DecimalDepuisForme(const uint8_t in[kDecimalFormSize], DecimalFields* fields);

}  // namespace qg

// --- fixed-size values ---------------------------------------------------------
// The value lives in the holder. Setting from (data, size) copies at most
// sizeof(T) bytes onto a zeroed value, never reading past the data given.
template <typename T>
class CAny_ZQFixe : public CAny_Intern {
 public:
  CAny_ZQFixe() { new (m_abyValeur) T{}; }
  void vCopieVers(CAny& target) const override;
  int vnGetTaille(int* size) const override { *size = sizeof(T); return qg::kAnyOk; }
  int vnGetAdr(void** address) override { *address = P<T>(); return qg::kAnyOk; }
  int vnGetValeur(void* out) const override;
  int vnGetTailleAvecFin(int* size) const override { *size = sizeof(T); return qg::kAnyOk; }
  int vnGetTexte(const void** text) const override { *text = P<T>(); return qg::kAnyOk; }
  int vnCopieAvecFin(void* out) const override { return vnGetValeur(out); }
  int vnSetDepuis(const void* data, int size) override;
  int vnSetValeur(const void* value) override;
  int vnGetTailleSansFin(int* size) const override { *size = sizeof(T); return qg::kAnyOk; }
  int vnCopieSansFin(void* out) const override { return vnGetValeur(out); }

 protected:
  T& V() { return *P<T>(); }
  const T& V() const { return *P<T>(); }
};

// Integers with overflow at the type's limits (the value wraps).
template <typename T>
class CAny_ZQEntier : public CAny_ZQFixe<T> {
 public:
  int vbEstPositif() const override;
  int vbIncremente() override;
  int vbDecremente() override;
};

class CAny_ZQBOOL final : public CAny_ZQFixe<int32_t> {};
class CAny_ZQUI1 final : public CAny_ZQEntier<uint8_t> {};
class CAny_ZQUI2 final : public CAny_ZQEntier<uint16_t> {};
class CAny_ZQUI4 final : public CAny_ZQEntier<uint32_t> {};
class CAny_ZQI1 final : public CAny_ZQEntier<int8_t> {};
class CAny_ZQI2 final : public CAny_ZQEntier<int16_t> {};
class CAny_ZQI4 final : public CAny_ZQEntier<int32_t> {};
class CAny_ZQI8 final : public CAny_ZQEntier<int64_t> {};
class CAny_ZQUIX final : public CAny_ZQEntier<intptr_t> {
 public:
  int vbEstPositif() const override { return 1; }
};
// Overflow reported when the result reaches 2^63 (and on the wrap to 0).
class CAny_ZQUI8 final : public CAny_ZQFixe<uint64_t> {
 public:
  int vbIncremente() override;
  int vbDecremente() override;
};
class CAny_ZQR4 final : public CAny_ZQFixe<float> {
 public:
  int vbEstPositif() const override { return V() >= 0 ? 1 : 0; }
  int vbIncremente() override;
  int vbDecremente() override;
};
class CAny_ZQR8 final : public CAny_ZQFixe<double> {
 public:
  int vbEstPositif() const override { return V() >= 0 ? 1 : 0; }
  int vbIncremente() override;
  int vbDecremente() override;
};
// Increment and decrement by one unit (1 000 000 millionths).
class CAny_ZQCY final : public CAny_ZQFixe<qg::Fixe6> {
 public:
  int vbEstPositif() const override { return qg::bFixe6EstNegatif(V()) ? 0 : 1; }
  int vbIncremente() override { return qg::nFixe6Ajoute(&V(), 1000000); }
  int vbDecremente() override { return qg::nFixe6Ajoute(&V(), -1000000); }
};
class CAny_ZQDUREE final : public CAny_ZQFixe<int64_t> {};
class CAny_ZQDATETIME final : public CAny_ZQFixe<qg::AnyDateTime> {};
class CAny_ZQPOINT final : public CAny_ZQFixe<qg::AnyPoint> {};
class CAny_ZQRECTANGLE final : public CAny_ZQFixe<qg::AnyRectangle> {};
// Accepts exactly 16 bytes; other sizes leave the value unchanged.
class CAny_ZQUUID_128 final : public CAny_ZQFixe<qg::AnyUuid128> {
 public:
  int vnSetDepuis(const void* data, int size) override;
};
// One 8-bit character; texts are converted with code page 1252 unless one
// is given.
class CAny_ZQCARA final : public CAny_ZQFixe<char> {
 public:
  int vnGetTexteA(const char** text) const override;
  int vnGetLongueur(int* length) const override { *length = 1; return qg::kAnyOk; }
  int vnSetW(const char16_t* text, int n) override;
  int vnSetWZ(const char16_t* text) override;
  int vnSetWCP(const char16_t* text, int n, uint32_t code_page) override;
  int vnSetWZCP(const char16_t* text, uint32_t code_page) override;
};
// One UTF-16 character; 8-bit texts are converted with code page 1252
// unless one is given.
class CAny_ZQCARW final : public CAny_ZQFixe<char16_t> {
 public:
  int vnGetTexteW(const char16_t** text) const override;
  int vnGetLongueur(int* length) const override { *length = 1; return qg::kAnyOk; }
  int vnSetA(const char* text, int n) override;
  int vnSetAZ(const char* text) override;
  int vnSetACP(const char* text, int n, uint32_t code_page) override;
  int vnSetAZCP(const char* text, uint32_t code_page) override;
};

// --- dates and times as digit texts --------------------------------------------
// C is char16_t (DATEW, TIMEW) or char (DATEA, TIMEA); N digits (8 for a
// date, 9 for a time) and a terminator. Texts longer than N are cut. The
// empty date is the empty text, the empty time "000000000".
template <typename C, int N>
class CAny_ZQChiffres : public CAny_Intern {
 public:
  CAny_ZQChiffres();
  void vCopieVers(CAny& target) const override;
  int vnGetTaille(int* size) const override;
  int vnGetAdr(void** address) override { *address = T(); return qg::kAnyOk; }
  int vnGetValeur(void* out) const override;
  int vnGetTailleAvecFin(int* size) const override;
  int vnGetTexte(const void** text) const override { *text = T(); return qg::kAnyOk; }
  int vnCopieAvecFin(void* out) const override;
  int vnSetDepuis(const void* data, int size) override;
  int vnSetValeur(const void* value) override;
  int vnGetTexteA(const char** text) const override;
  int vnGetTexteW(const char16_t** text) const override;
  int vnGetLongueur(int* length) const override;
  int vnGetTailleSansFin(int* size) const override;
  int vnCopieSansFin(void* out) const override;
  int vnSetA(const char* text, int n) override;
  int vnSetAZ(const char* text) override { return vnSetA(text, -1); }
  int vnSetW(const char16_t* text, int n) override;
  int vnSetWZ(const char16_t* text) override { return vnSetW(text, -1); }
  int vnSetACP(const char* text, int n, uint32_t) override { return vnSetA(text, n); }
  int vnSetAZCP(const char* text, uint32_t) override { return vnSetA(text, -1); }
  int vnSetWCP(const char16_t* text, int n, uint32_t) override { return vnSetW(text, n); }
  int vnSetWZCP(const char16_t* text, uint32_t) override { return vnSetW(text, -1); }

 private:
  C* T() { return P<C>(); }
  const C* T() const { return P<C>(); }
  int Len() const;
};
class CAny_ZQDATEW final : public CAny_ZQChiffres<char16_t, 8> {};
class CAny_ZQTIMEW final : public CAny_ZQChiffres<char16_t, 9> {};
class CAny_ZQDATEA final : public CAny_ZQChiffres<char, 8> {};
class CAny_ZQTIMEA final : public CAny_ZQChiffres<char, 9> {};

// --- host-shared strings -----------------------------------------------------
// Holds one reference; raw copies (operation 4) write into a CXYString of
// the caller, which then holds its own reference.
template <typename C>
class CAny_ZQDyn : public CAny_Intern {
 public:
  CAny_ZQDyn() { new (m_abyValeur) CXYString<C>(); }
  ~CAny_ZQDyn() override { S().~CXYString<C>(); }
  void vCopieVers(CAny& target) const override;
  int vnGetTaille(int* size) const override { *size = sizeof(void*); return qg::kAnyOk; }
  int vnGetAdr(void** address) override { *address = S().pszGetBuffer(); return qg::kAnyOk; }
  int vnGetValeur(void* out) const override;
  // Shares the CXYString the value points to.
  int vnSetValeur(const void* value) override;

  CXYString<C>& S() { return *P<CXYString<C>>(); }
  const CXYString<C>& S() const { return *P<CXYString<C>>(); }
};

// Codes 16, 148 and 149.
class CAny_ZQDSTRW final : public CAny_ZQDyn<char16_t> {
 public:
  int vnGetTailleAvecFin(int* size) const override;
  int vnGetTexte(const void** text) const override;
  int vnCopieAvecFin(void* out) const override;
  int vnSetDepuis(const void* data, int size) override;
  int vnGetTexteW(const char16_t** text) const override;
  int vnGetLongueur(int* length) const override;
  int vnGetTailleSansFin(int* size) const override;
  int vnCopieSansFin(void* out) const override;
  int vnSetA(const char* text, int n) override;
  int vnSetAZ(const char* text) override;
  int vnSetW(const char16_t* text, int n) override;
  int vnSetWZ(const char16_t* text) override;
  int vnSetACP(const char* text, int n, uint32_t code_page) override;
  int vnSetAZCP(const char* text, uint32_t code_page) override;
  int vnSetWCP(const char16_t* text, int n, uint32_t code_page) override;
  int vnSetWZCP(const char16_t* text, uint32_t code_page) override;
};

class CAny_ZQDSTRA final : public CAny_ZQDyn<char> {
 public:
  int vnGetTailleAvecFin(int* size) const override;
  int vnGetTexte(const void** text) const override;
  int vnCopieAvecFin(void* out) const override;
  int vnSetDepuis(const void* data, int size) override;
  int vnGetTexteA(const char** text) const override;
  int vnGetLongueur(int* length) const override;
  int vnGetTailleSansFin(int* size) const override;
  int vnCopieSansFin(void* out) const override;
  int vnSetA(const char* text, int n) override;
  int vnSetAZ(const char* text) override;
  int vnSetW(const char16_t* text, int n) override;
  int vnSetWZ(const char16_t* text) override;
  int vnSetACP(const char* text, int n, uint32_t code_page) override;
  int vnSetAZCP(const char* text, uint32_t code_page) override;
  int vnSetWCP(const char16_t* text, int n, uint32_t code_page) override;
  int vnSetWZCP(const char16_t* text, uint32_t code_page) override;
};

class CAny_ZQBIN final : public CAny_ZQDyn<char> {
 public:
  int vnGetTailleAvecFin(int* size) const override;
  int vnGetTexte(const void** text) const override;
  int vnCopieAvecFin(void* out) const override;
  int vnSetDepuis(const void* data, int size) override;
  int vnGetTailleSansFin(int* size) const override;
  int vnCopieSansFin(void* out) const override;
};

// Always 32 bytes (zero bytes when empty).
class CAny_ZQUUID_256 final : public CAny_ZQDyn<char> {
 public:
  CAny_ZQUUID_256();
  int vnGetTailleAvecFin(int* size) const override { *size = 32; return qg::kAnyOk; }
  int vnGetTexte(const void** text) const override;
  int vnCopieAvecFin(void* out) const override;
  int vnSetDepuis(const void* data, int size) override;
  int vnGetTailleSansFin(int* size) const override { *size = 32; return qg::kAnyOk; }
  int vnCopieSansFin(void* out) const override { return vnCopieAvecFin(out); }
};

// --- heap texts --------------------------------------------------------------
// Heap-text holders add three operations after the common ones.
template <typename C>
class CAny_ZQPSTR : public CAny_Intern {
 public:
  CAny_ZQPSTR() { new (m_abyValeur) C*(nullptr); }
  ~CAny_ZQPSTR() override;
  void vCopieVers(CAny& target) const override;
  int vnGetTaille(int* size) const override { *size = sizeof(void*); return qg::kAnyOk; }
  int vnGetAdr(void** address) override { *address = Ptr(); return qg::kAnyOk; }
  int vnGetValeur(void* out) const override;
  int vnGetTailleAvecFin(int* size) const override;
  int vnGetTexte(const void** text) const override;
  int vnCopieAvecFin(void* out) const override;
  int vnSetDepuis(const void* data, int size) override;
  // The text pointer itself; the text is copied.
  int vnSetValeur(const void* value) override;
  int vnGetLongueur(int* length) const override;
  int vnGetTailleSansFin(int* size) const override;
  int vnCopieSansFin(void* out) const override;
  int vnSetDepuisFlags(const void* data, int size, uint32_t flags) override;
  virtual int vnCopieLongueur(const C* text, int n);  // 27
  virtual int vnCopie(const C* text);                 // 28
  virtual void vLibereTexte();                        // 29

 protected:
  C*& Ptr() { return *P<C*>(); }
  C* Ptr() const { return *P<C*>(); }
  const C* Texte() const;
  int nLength() const;
  // Takes ownership of a heap block (null allowed).
  void Remplace(C* block);
};

class CAny_ZQPSTRW final : public CAny_ZQPSTR<char16_t> {
 public:
  int vnGetTexteW(const char16_t** text) const override;
  int vnSetA(const char* text, int n) override { return vnSetACP(text, n, 1252); }
  int vnSetAZ(const char* text) override { return vnSetACP(text, -1, 1252); }
  int vnSetW(const char16_t* text, int n) override { return vnCopieLongueur(text, n); }
  int vnSetWZ(const char16_t* text) override { return vnCopie(text); }
  int vnSetACP(const char* text, int n, uint32_t code_page) override;
  int vnSetAZCP(const char* text, uint32_t code_page) override {
    return vnSetACP(text, -1, code_page);
  }
  int vnSetWCP(const char16_t* text, int n, uint32_t) override { return vnCopieLongueur(text, n); }
  int vnSetWZCP(const char16_t* text, uint32_t) override { return vnCopie(text); }
};

class CAny_ZQPSTRA final : public CAny_ZQPSTR<char> {
 public:
  int vnGetTexteA(const char** text) const override;
  int vnSetA(const char* text, int n) override { return vnCopieLongueur(text, n); }
  int vnSetAZ(const char* text) override { return vnCopie(text); }
  int vnSetW(const char16_t* text, int n) override { return vnSetWCP(text, n, 0); }
  int vnSetWZ(const char16_t* text) override { return vnSetWCP(text, -1, 0); }
  int vnSetACP(const char* text, int n, uint32_t) override { return vnCopieLongueur(text, n); }
  int vnSetAZCP(const char* text, uint32_t) override { return vnCopie(text); }
  int vnSetWCP(const char16_t* text, int n, uint32_t code_page) override;
  int vnSetWZCP(const char16_t* text, uint32_t code_page) override {
    return vnSetWCP(text, -1, code_page);
  }
};

// --- host value objects ------------------------------------------------------
// A decimal object from the value-object service (null when the service is
// missing or refused). The raw value is the object pointer; set-from-value
// takes an IDecimal* and copies its number fields.
class CAny_ZQDECIMAL final : public CAny_Intern {
 public:
  CAny_ZQDECIMAL();
  ~CAny_ZQDECIMAL() override;
  void vCopieVers(CAny& target) const override;
  int vnGetTaille(int* size) const override { *size = sizeof(void*); return qg::kAnyOk; }
  int vnGetAdr(void** address) override { *address = D(); return qg::kAnyOk; }
  int vnGetValeur(void* out) const override;
  int vnGetTailleAvecFin(int* size) const override;
  int vnGetTexte(const void** text) const override;
  int vnCopieAvecFin(void* out) const override;
  int vnSetDepuis(const void* data, int size) override;
  int vnSetValeur(const void* value) override;
  int vbEstPositif() const override;
  int vnGetTailleSansFin(int* size) const override { return vnGetTailleAvecFin(size); }
  int vnCopieSansFin(void* out) const override { return vnCopieAvecFin(out); }

  qg::IDecimal* D() const { return *P<qg::IDecimal*>(); }
};

// An OBJET_MDPS object of the value-object service, created with the
// holder and released through its operation 1.
class CAny_ZQOBJET_MDPS final : public CAny_Intern {
 public:
  CAny_ZQOBJET_MDPS();
  ~CAny_ZQOBJET_MDPS() override;
  void vCopieVers(CAny& target) const override;
  int vnGetTaille(int* size) const override { *size = sizeof(void*); return qg::kAnyOk; }
  int vnGetAdr(void** address) override { *address = O(); return qg::kAnyOk; }
  // Takes a reference for the caller and writes the pointer.
  int vnGetValeur(void* out) const override;
  int vnGetTailleAvecFin(int*) const override { return qg::kAnyWrongType; }
  int vnGetTexte(const void**) const override { return qg::kAnyWrongType; }
  int vnCopieAvecFin(void*) const override { return qg::kAnyWrongType; }
  // Hands the pointer-sized value to the object's operation 3.
  int vnSetValeur(const void* value) override;

  qg::IPasswordObject* O() const { return *P<qg::IPasswordObject*>(); }
};

// --- BUFFER ------------------------------------------------------------------
class CAny_ZQBUFFER final : public CAny_Intern {
 public:
  CAny_ZQBUFFER() { new (m_abyValeur) qg::AnyBuffer{nullptr, 0}; }
  // Copies pointer and size.
  void vCopieVers(CAny& target) const override;
  int vnGetTaille(int* size) const override { *size = sizeof(qg::AnyBuffer); return qg::kAnyOk; }
  int vnGetAdr(void** address) override;
  int vnGetValeur(void* out) const override;
  int vnGetTailleAvecFin(int* size) const override;
  int vnGetTexte(const void** text) const override;
  int vnCopieAvecFin(void* out) const override;
  int vnSetDepuis(const void* data, int size) override;
  // The data pointer itself; the size becomes 0.
  int vnSetValeur(const void* value) override;
  int vnGetTailleSansFin(int* size) const override { return vnGetTailleAvecFin(size); }
  int vnCopieSansFin(void* out) const override { return vnCopieAvecFin(out); }

  qg::AnyBuffer& B() { return *P<qg::AnyBuffer>(); }
  const qg::AnyBuffer& B() const { return *P<qg::AnyBuffer>(); }
};

// --- referenced objects --------------------------------------------------------
// Policy: how a reference is taken and given back.
struct AnyRefObject {
  static void Take(void* p);
  static void Give(void* p);
};
struct AnyRefArray {
  static void Take(void* p);
  static void Give(void* p);
};
struct AnyRefConveyor {
  static void Take(void* p);
  static void Give(void* p);
};
struct AnyRefError {
  static void Take(void* p);
  static void Give(void* p);
};

// Holds one reference to the object. kCarry: whether copies carry the null
// and 0x400 flags (otherwise the copy's flags are cleared).
template <typename Ref, bool kCarry>
class CAny_ZQRef : public CAny_Intern {
 public:
  CAny_ZQRef() { new (m_abyValeur) void*(nullptr); }
  ~CAny_ZQRef() override {
    if (O() != nullptr) Ref::Give(O());
  }
  void vCopieVers(CAny& target) const override;
  int vnGetTaille(int* size) const override { *size = sizeof(void*); return qg::kAnyOk; }
  int vnGetAdr(void** address) override { *address = O(); return qg::kAnyOk; }
  int vnGetValeur(void* out) const override;
  // The value is the address of an object pointer; the old object is
  // released and the new one referenced (nothing when they are the same).
  int vnSetValeur(const void* value) override;

  void* O() const { return *P<void*>(); }
};

class CAny_ZQOBJET_BASE final : public CAny_ZQRef<AnyRefObject, false> {};
class CAny_ZQINTERFACE final : public CAny_ZQRef<AnyRefObject, false> {};
class CAny_ZQOBJET_ANY final : public CAny_ZQRef<AnyRefObject, false> {};
class CAny_ZQDINO final : public CAny_ZQRef<AnyRefObject, false> {};
class CAny_ZQMEMOIMG final : public CAny_ZQRef<AnyRefObject, true> {};
class CAny_ZQPOLICE final : public CAny_ZQRef<AnyRefObject, true> {};
class CAny_ZQCONVOYEUR final : public CAny_ZQRef<AnyRefConveyor, true> {};
class CAny_ZQTABVALANY final : public CAny_ZQRef<AnyRefArray, false> {};
class CAny_ZQVALEUR_EN_ERREUR final : public CAny_ZQRef<AnyRefError, false> {};

#endif  // QG_SUPPORT_ANY_HOLDERS_H_
