// Interfaces of the host runtime that the modules call. The host implements
// them; a module only holds pointers it received through the open handshake.
// Operations are declared in slot order: "operation n" of an interface is its
// n-th virtual function. Slots whose meaning the modules never rely on are
// declared as placeholders so that later slots keep their numbers.
#ifndef QG_SUPPORT_FRAME_HOST_SERVICES_H_
#define QG_SUPPORT_FRAME_HOST_SERVICES_H_

#include <cstddef>
#include <cstdint>

class CXError;

namespace qg {

// Result codes of host services: below 100 success, 100 and above an error
// that callers pass on unchanged.
constexpr int kHostErrorFirst = 100;

// Pair answered by the locale interface's operation 21.
struct LanguagePair {
  int32_t nLanguage;
  int32_t nVariant;
};

// The host's locale interface (host item 12), version 5: 22 operations.
// Texts are UTF-16; a length of -1 means "up to the terminator".
class IInfoLocale {
 public:
  virtual intptr_t vOp0(intptr_t a, intptr_t b) = 0;                       // 0
  virtual int32_t nGetVersion() = 0;                                       // 1
  virtual int32_t nGetNumber() = 0;                                        // 2 (127 reads as 0)
  virtual int32_t nGetCodePage() = 0;                                      // 3 8-bit text code page
  virtual intptr_t vOp4(intptr_t a, intptr_t b) = 0;                       // 4
  // Comparison with flags only; 0 means equal.
  virtual int32_t nCompareFlags(uint32_t flags, const char16_t* a, int32_t na,
                                const char16_t* b, int32_t nb) = 0;        // 5
  virtual intptr_t vOp6(intptr_t a, intptr_t b) = 0;                       // 6
  // Locale comparison; 0 means equal, negative / positive for order.
  virtual int32_t nCompare(uint32_t locale, uint32_t flags, const char16_t* a,
                           int32_t na, const char16_t* b, int32_t nb) = 0; // 7
  virtual intptr_t vOp8(intptr_t a, intptr_t b) = 0;                       // 8
  virtual intptr_t vOp9(intptr_t a, intptr_t b) = 0;                       // 9
  virtual intptr_t vOp10(intptr_t a, intptr_t b) = 0;                      // 10
  // Maps one character with the same fold as nMapText.
  virtual char16_t cMapChar(uint32_t locale, uint32_t flags, char16_t c) = 0;  // 11
  virtual intptr_t vOp12(intptr_t a, intptr_t b) = 0;                      // 12
  // Maps a text (n = -1: up to and including the terminator) into dst of
  // capacity ndst (-1: unbounded); returns the mapped length.
  virtual int32_t nMapText(uint32_t locale, uint32_t flags, const char16_t* src,
                           int32_t n, char16_t* dst, int32_t ndst) = 0;    // 13
  virtual intptr_t vOp14(intptr_t a, intptr_t b) = 0;                      // 14
  virtual intptr_t vOp15(intptr_t a, intptr_t b) = 0;                      // 15
  virtual intptr_t vOp16(intptr_t a, intptr_t b) = 0;                      // 16
  virtual intptr_t vOp17(intptr_t a, intptr_t b) = 0;                      // 17
  virtual IInfoLocale* piGetCollation() = 0;                               // 18
  virtual int32_t nGetLanguage() = 0;                                      // 19 (version 4: language)
  virtual intptr_t vOp20(intptr_t a, intptr_t b) = 0;                      // 20
  virtual LanguagePair GetLanguagePair() = 0;                              // 21 (version 5 only)

 protected:
  ~IInfoLocale() = default;
};

// Locale identifiers and flags the modules pass.
constexpr uint32_t kLocaleUserDefault = 0x400;
constexpr uint32_t kLocaleFrench = 0x40C;
constexpr uint32_t kCompareIgnoreCase = 0x1;
constexpr uint32_t kCompareIgnoreNonSpace = 0x2;
constexpr uint32_t kCompareFlagsOnly = 0x10000000;

// Record passed to the raw-block operations.
struct RawBlockRecord {
  int32_t nKind;  // 2
  int32_t nReserved1;
  int32_t nReserved2;
};

// The host's string-memory interface (host item 13). Texts carry the
// dynamic-string header before them and two terminator bytes past their
// capacity. Results of 100 and above are host errors.
class IStringMemory {
 public:
  virtual intptr_t vOp0(intptr_t a) = 0;                                   // 0
  virtual intptr_t vOp1(intptr_t a) = 0;                                   // 1
  virtual intptr_t vOp2(intptr_t a) = 0;                                   // 2
  // Frees a text whose reference count fell to 0.
  virtual int32_t nFree(void* text) = 0;                                   // 3
  // Allocates a buffer of byte capacity `size` with count 1 and stores its
  // text pointer in *string_object.
  virtual int32_t nAllocate(void** string_object, int32_t size, int32_t reserved) = 0;   // 4
  // Grows the private buffer of *string_object to at least `size` bytes,
  // keeping the text, and updates the pointer.
  virtual int32_t nReallocate(void** string_object, int32_t size, int32_t reserved) = 0; // 5
  virtual intptr_t vOp6(intptr_t a) = 0;                                   // 6
  // Raw blocks: allocate, resize (may move; null on failure) and free.
  virtual void* pAllocateBlock(size_t size, const RawBlockRecord* record) = 0;             // 7
  virtual void* pReallocateBlock(void* block, size_t size, const RawBlockRecord* record) = 0; // 8
  virtual void FreeBlock(void* block, const RawBlockRecord* record) = 0;  // 9

 protected:
  ~IStringMemory() = default;
};

// Number fields of a host decimal object, after its interface pointer.
struct DecimalFields {
  int32_t nPrecision;    // significant digits, at most 38
  int32_t nScale;        // digits after the point, 0..38
  uint8_t abyMantissa[16];  // signed 128-bit, least significant byte first
};

// The host's decimal object. Only the number fields and the negation are
// relied on by the modules.
class IDecimal {
 public:
  virtual void vNegate() = 0;  // 0: mantissa = -mantissa
  virtual intptr_t vOp1(intptr_t a) = 0;
  virtual intptr_t vOp2(intptr_t a) = 0;
  virtual intptr_t vOp3(intptr_t a) = 0;

  DecimalFields m_stFields{};

 protected:
  ~IDecimal() = default;
};

// The host's OBJET_MDPS object (a password value), created by operation 13
// of the value-object service. Reference-counted: created with one reference,
// released through operation 1.
class IPasswordObject {
 public:
  virtual int32_t AddRef() = 0;                                            // 0
  virtual int32_t Release() = 0;                                           // 1
  virtual intptr_t vOp2(intptr_t a) = 0;                                   // 2
  // Takes a value handed over by the holder's operation 9.
  virtual intptr_t vSetValue(intptr_t value) = 0;                          // 3

 protected:
  ~IPasswordObject() = default;
};

// The host's value-object service (host item 9): 24 operations.
class IGlobalFactory {
 public:
  virtual intptr_t vOp0(intptr_t a) = 0;
  virtual intptr_t vOp1(intptr_t a) = 0;
  virtual intptr_t vOp2(intptr_t a) = 0;
  virtual intptr_t vOp3(intptr_t a) = 0;
  virtual intptr_t vOp4(intptr_t a) = 0;
  virtual intptr_t vOp5(intptr_t a) = 0;
  virtual intptr_t vOp6(intptr_t a) = 0;
  // Fills an error object from a host message number and two values.
  virtual void FillError(CXError* error, int32_t message, intptr_t value1,
                         intptr_t value2) = 0;                             // 7
  virtual intptr_t vOp8(intptr_t a) = 0;
  virtual intptr_t vOp9(intptr_t a) = 0;
  virtual intptr_t vOp10(intptr_t a) = 0;
  virtual intptr_t vOp11(intptr_t a) = 0;
  virtual intptr_t vOp12(intptr_t a) = 0;
  // Creates an OBJET_MDPS object (reference-counted, released by its owner).
  virtual void* pCreatePasswordObject() = 0;                               // 13
  virtual intptr_t vOp14(intptr_t a) = 0;
  virtual intptr_t vOp15(intptr_t a) = 0;
  virtual intptr_t vOp16(intptr_t a) = 0;
  virtual intptr_t vOp17(intptr_t a) = 0;
  virtual intptr_t vOp18(intptr_t a) = 0;
  virtual intptr_t vOp19(intptr_t a) = 0;
  virtual intptr_t vOp20(intptr_t a) = 0;
  virtual intptr_t vOp21(intptr_t a) = 0;
  // Creates a decimal object (argument 0); null on failure.
  virtual IDecimal* piCreateDecimal(intptr_t reserved) = 0;                // 22
  // Releases a decimal object created by operation 22.
  virtual void ReleaseDecimal(IDecimal* decimal) = 0;                      // 23

 protected:
  ~IGlobalFactory() = default;
};

// Host entry points bound by name.
using PFN_HostExecution = intptr_t (*)(int32_t code, intptr_t argument);
// "nConversionDepassementExt"(source, source type, destination, destination
// type, 1, 0): 100 or above on failure.
using PFN_ConversionDepassementExt = int32_t (*)(const void* source, int32_t source_type,
                                                 void* destination, int32_t destination_type,
                                                 int32_t option, intptr_t reserved);
// "FinConversion"(destination, type): releases a conversion temporary.
using PFN_FinConversion = void (*)(void* destination, int32_t type);
// The calculation entry points take (value, type word, value, type word,
// result address, 0, 0).
using PFN_CalcEntry = int32_t (*)(const void* a, int32_t type_a, const void* b,
                                  int32_t type_b, void* result, intptr_t r1, intptr_t r2);
// Message-text callback: (number, UTF-16 buffer, capacity in characters)
// returns 0 or the text length, which may exceed the capacity.
using PFN_MessageText = int32_t (*)(int32_t number, char16_t* buffer, int32_t capacity);

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_HOST_SERVICES_H_
