// Message catalogue: each module's numbered texts in three languages (French,
// default, Spanish) and two variants, stored packed, and their lookup.
//
// Table layout: entries sorted by message number, each {number, six offsets}
// (French variant 1 and 2, default 1 and 2, Spanish 1 and 2) into three
// blocks of text records, one per language. A record is one flag byte (bits
// 0-1 the packing kind, bit 6 set when the unpacked bytes are UTF-16LE, else
// UTF-8), the packed length as 16 bits little-endian, then the packed bytes.
//
// Packing kinds: 0 stored; 1 back-references: the unpacked length (16 bits
// little-endian), then groups of one control byte and eight items, bit i
// (from bit 0) of the control byte telling item i is a reference (two bytes:
// distance - 1 in the low 12 bits, length - 3 in the high 4) or a literal
// byte. Kinds 2 and 3 are not used; a record of those kinds is malformed.
//
// Texts are read-only and shared; nothing here locks.
#ifndef QG_ERRORS_CATALOGUE_H_
#define QG_ERRORS_CATALOGUE_H_

#include <cstddef>
#include <cstdint>

#include "support/frame/host_services.h"
#include "support/platform/format.h"

class CTString;

namespace qg {

struct CatalogueEntry {
  uint32_t nNumber;
  // French 1, French 2, default 1, default 2, Spanish 1, Spanish 2.
  uint32_t anOffset[6];
};
static_assert(sizeof(CatalogueEntry) == 28, "catalogue entries are 28 bytes");

enum CatalogueBlock { kBlockFrench = 0, kBlockDefault = 1, kBlockSpanish = 2 };

struct CatalogueTable {
  const CatalogueEntry* pEntries;
  uint32_t nCount;
  const uint8_t* apBlock[3];   // indexed by CatalogueBlock
  uint32_t anBlockSize[3];
};

// Record flag bits.
constexpr uint8_t kRecordKindMask = 0x03;
constexpr uint8_t kRecordUtf16 = 0x40;
constexpr int kPackingStored = 0;
constexpr int kPackingReferences = 1;

// Expands packed bytes of the given kind into out (capacity bytes). Returns
// the bytes written, or -1 when the input is malformed or its text would
// not fit out (nothing is ever written past capacity, whatever the packed
// bytes claim).
int UnpackBytes(int kind, const uint8_t* packed, size_t packed_length, uint8_t* out,
                size_t capacity);
// Bytes the packed input expands to, or -1 when malformed.
int UnpackedLength(int kind, const uint8_t* packed, size_t packed_length);

// The shared catalogue of the support library (dump titles, file and value
// texts, out-of-memory message), searched after the module's own.
const CatalogueTable& SharedCatalogue();

// The module's own catalogue; null until the deliverable installs it.
// Installing also plugs the catalogue into CommandeComposante (3) and (4).
void InstallModuleCatalogue(const CatalogueTable* table);
const CatalogueTable* ModuleCatalogue();

// A text provider: the signature of CommandeComposante, called with code 3
// and a MessageTextRequest.
using PFN_MessageProvider = intptr_t (*)(int32_t code, intptr_t argument);

}  // namespace qg

namespace Localisation {

// Language pair: {Windows primary language identifier, variant}.
struct Langue {
  int32_t nLangue;
  int32_t nVariante;

  static const Langue Courante;  // {0, 0}: the current pair, resolved at use
  static const Langue Defaut;    // {9, 1}

  // The pair of a language code alone: its first variant.
  static Langue DepuisLangueSeule(int32_t nLangue) { return Langue{nLangue, 1}; }

  bool bEstCourante() const { return nLangue == 0 && nVariante == 0; }
  // This pair, or the current one when it is {0, 0}: operation 21 of the
  // host's locale interface when the module has one, else {the module's
  // default language, 1}.
  Langue Resout() const;
};

// The module's default language (9 unless the module sets another).
void SetLangueDefautModule(int32_t language);
int32_t nGetLangueDefautModule();

}  // namespace Localisation

// Locates one message of a catalogue for a language pair.
class CMessageRessource {
 public:
  // The pair {0, 0} is replaced by the current pair.
  CMessageRessource(uint32_t number, Localisation::Langue pair);

  // Searches the table; true when the message exists and its record lies
  // within its block (the fields below are then set).
  bool bTrouve(const qg::CatalogueTable& table);

  // Unpacks the found text into buffer (capacity in characters, terminator
  // included). Returns the characters written; 0 for a malformed record or
  // a capacity of 0 or less (nothing written then). A text that does not
  // fit is cut and terminated at the last position (result capacity - 1)
  // and *cut is set.
  int nCharge(char16_t* buffer, int capacity, bool* cut = nullptr) const;
  // The whole text into a string; false for a malformed record.
  bool bCharge(CTString& out) const;

  uint32_t nGetNumero() const { return m_nNumero; }
  int32_t nGetLangue() const { return m_nLangue; }
  int32_t nGetVariante() const { return m_nVariante; }
  const uint8_t* pGetAdresse() const { return m_pAdresse; }
  uint32_t nGetTaillePackee() const { return m_nTaillePackee; }
  int nGetEncodage() const { return m_nEncodage; }  // 1 UTF-8, 2 UTF-16
  int nGetPacking() const { return m_nPacking; }    // -1 until found

 private:
  // Unpacked text as UTF-16 into out; false when malformed.
  bool bDecode(char16_t** out, int* length) const;

  uint32_t m_nNumero;
  int32_t m_nLangue;
  int32_t m_nVariante;
  const uint8_t* m_pAdresse = nullptr;
  uint32_t m_nTaillePackee = 0;
  int m_nEncodage = 0;
  int m_nPacking = -1;
};

// Message text lookup: the host's text callback when installed, then the
// provider when given, then the catalogues (the given one, the module's,
// then the shared one) for the pair. True when a text was found; the target
// is then set (possibly to the empty text), else left as it was.
bool bChargeMessage(uint32_t number, CTString& target, Localisation::Langue pair,
                    qg::PFN_MessageProvider provider = nullptr,
                    const qg::CatalogueTable* catalogue = nullptr);
// Explicit pair, no provider.
bool bChargeMessageLangue(uint32_t number, CTString& target, Localisation::Langue pair,
                          const qg::CatalogueTable* catalogue = nullptr);

// Current pair, then the text's inserts (%1, %2...) take the arguments in
// order; inserts past the arguments stay as written.
bool bChargeMessageV(uint32_t number, CTString& target, qg::FormatArgs args,
                     qg::PFN_MessageProvider provider = nullptr,
                     const qg::CatalogueTable* catalogue = nullptr);
template <typename... Args>
bool bChargeMessageF(uint32_t number, CTString& target, const Args&... args) {
  const qg::FormatArg list[sizeof...(Args) + 1] = {qg::FormatArg(args)...};
  return bChargeMessageV(number, target, qg::FormatArgs{list, sizeof...(Args)});
}

// The text of a numbered message of the module (current pair) with its
// inserts taken from the parameters in order; false, out unchanged, when
// the message has no text.
template <typename... Args>
bool bFormatModuleMessage(uint32_t number, CTString& out, const Args&... args) {
  return bChargeMessageF(number, out, args...);
}

namespace qg {

// Catalogues only (no host callback, no provider), for the current pair
// unless one is given: the text into the caller's buffer as
// CommandeComposante(3) answers it. 0 when absent or malformed.
int32_t CatalogueText(int32_t number, char16_t* buffer, int32_t capacity,
                      const CatalogueTable* catalogue = nullptr,
                      Localisation::Langue pair = Localisation::Langue::Courante);
// Packing kind of the message in the current language, -1 when absent.
int32_t CataloguePacking(int32_t number, const CatalogueTable* catalogue = nullptr);

}  // namespace qg

#endif  // QG_ERRORS_CATALOGUE_H_
