#include "errors/catalogue.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "support/ctstring.h"
#include "support/frame/execution_protocol.h"
#include "support/frame/module_services.h"
#include "support/platform/codepage.h"
#include "support/platform/message_insert.h"

namespace qg {
namespace {

const CatalogueTable* g_module_catalogue = nullptr;

// Size of the first buffer offered to the host callback and the provider.
constexpr int32_t kFirstBuffer = 256;
// The provider is not asked for texts longer than this (characters).
constexpr int32_t kProviderLimit = 1 << 20;

int32_t CatalogueTextHook(int32_t number, char16_t* buffer, int32_t capacity) {
  return CatalogueText(number, buffer, capacity);
}

int32_t CataloguePackingHook(int32_t number) { return CataloguePacking(number); }

// The tables searched, in order, without repeats or nulls.
int SearchOrder(const CatalogueTable* given, const CatalogueTable* out[3]) {
  int n = 0;
  const CatalogueTable* candidates[3] = {given, g_module_catalogue, &SharedCatalogue()};
  for (const CatalogueTable* t : candidates) {
    if (t == nullptr) continue;
    bool seen = false;
    for (int i = 0; i < n; ++i) seen = seen || out[i] == t;
    if (!seen) out[n++] = t;
  }
  return n;
}

// Host text callback into a string. Returns false when it gives no text.
bool FromHostCallback(PFN_MessageText callback, uint32_t number, CTString& target) {
  char16_t first[kFirstBuffer + 1] = {};
  int32_t n = callback(static_cast<int32_t>(number), first, kFirstBuffer);
  if (n <= 0) return false;
  if (n < kFirstBuffer) {
    first[kFirstBuffer] = 0;
    target.Set(first, static_cast<size_t>(n));
    return true;
  }
  // The answer is the text's length: ask again with room for it and its
  // terminator, and take the text by that length.
  if (n == INT32_MAX) return false;
  std::unique_ptr<char16_t[]> whole(new (std::nothrow) char16_t[static_cast<size_t>(n) + 1]);
  if (!whole) return false;
  whole[0] = 0;
  int32_t m = callback(static_cast<int32_t>(number), whole.get(), n + 1);
  if (m <= 0) return false;
  whole[n] = 0;
  target.Set(whole.get(), static_cast<size_t>(std::min(m, n)));
  return true;
}

int32_t AskProvider(PFN_MessageProvider provider, uint32_t number, char16_t* buffer,
                    int32_t capacity) {
  MessageTextRequest request{static_cast<int32_t>(sizeof(MessageTextRequest)),
                             static_cast<int32_t>(number), buffer, capacity, 0};
  buffer[0] = 0;
  intptr_t answer = provider(kCmdMessageText, reinterpret_cast<intptr_t>(&request));
  if (answer <= 0) return 0;
  return static_cast<int32_t>(std::min<intptr_t>(answer, capacity - 1));
}

// Provider into a string. Returns false when it gives no text.
bool FromProvider(PFN_MessageProvider provider, uint32_t number, CTString& target) {
  char16_t first[kFirstBuffer];
  int32_t n = AskProvider(provider, number, first, kFirstBuffer);
  if (n <= 0) return false;
  if (n < kFirstBuffer - 1) {
    target.Set(first, static_cast<size_t>(n));
    return true;
  }
  // The answer filled the buffer: grow and ask again while it still does.
  int32_t size = 2 * kFirstBuffer;
  for (;;) {
    std::unique_ptr<char16_t[]> grown(new (std::nothrow) char16_t[static_cast<size_t>(size)]);
    if (!grown) return false;
    n = AskProvider(provider, number, grown.get(), size);
    if (n <= 0) return false;
    if (n < size - 1 || size >= kProviderLimit) {
      target.Set(grown.get(), static_cast<size_t>(n));
      return true;
    }
    size += kFirstBuffer;
  }
}

bool FromCatalogues(uint32_t number, CTString& target, Localisation::Langue pair,
                    const CatalogueTable* given) {
  const CatalogueTable* order[3];
  int n = SearchOrder(given, order);
  for (int i = 0; i < n; ++i) {
    CMessageRessource locator(number, pair);
    if (locator.bTrouve(*order[i])) return locator.bCharge(target);
  }
  return false;
}

}  // namespace

int UnpackedLength(int kind, const uint8_t* packed, size_t packed_length) {
  if (kind == kPackingStored) return static_cast<int>(packed_length);
  if (kind != kPackingReferences || packed_length < 2) return -1;
  return packed[0] | (packed[1] << 8);
}

int UnpackBytes(int kind, const uint8_t* packed, size_t packed_length, uint8_t* out,
                size_t capacity) {
  if (kind == kPackingStored) {
    if (packed_length > capacity) return -1;
    if (packed_length > 0) std::memcpy(out, packed, packed_length);
    return static_cast<int>(packed_length);
  }
  if (kind != kPackingReferences) return -1;
  int expected = UnpackedLength(kind, packed, packed_length);
  if (expected < 0 || static_cast<size_t>(expected) > capacity) return -1;
  size_t in = 2;
  size_t written = 0;
  const size_t limit = static_cast<size_t>(expected);
  while (written < limit) {
    if (in >= packed_length) return -1;
    uint8_t control = packed[in++];
    for (int bit = 0; bit < 8 && written < limit; ++bit) {
      if ((control & (1u << bit)) == 0) {
        if (in >= packed_length) return -1;
        out[written++] = packed[in++];
        continue;
      }
      if (in + 2 > packed_length) return -1;
      unsigned word = packed[in] | (packed[in + 1] << 8);
      in += 2;
      size_t distance = (word & 0x0FFF) + 1;
      size_t length = (word >> 12) + 3;
      if (distance > written || length > limit - written) return -1;
      // Byte by byte: a reference may overlap what it writes.
      for (size_t k = 0; k < length; ++k, ++written) out[written] = out[written - distance];
    }
  }
  return in == packed_length ? static_cast<int>(written) : -1;
}

void InstallModuleCatalogue(const CatalogueTable* table) {
  g_module_catalogue = table;
  Services().pfnCatalogueText = &CatalogueTextHook;
  Services().pfnCataloguePacking = &CataloguePackingHook;
}

const CatalogueTable* ModuleCatalogue() { return g_module_catalogue; }

int32_t CatalogueText(int32_t number, char16_t* buffer, int32_t capacity,
                      const CatalogueTable* catalogue, Localisation::Langue pair) {
  if (buffer == nullptr || capacity <= 0) return 0;
  const CatalogueTable* order[3];
  int n = SearchOrder(catalogue, order);
  for (int i = 0; i < n; ++i) {
    CMessageRessource locator(static_cast<uint32_t>(number), pair);
    if (locator.bTrouve(*order[i])) return locator.nCharge(buffer, capacity);
  }
  return 0;
}

int32_t CataloguePacking(int32_t number, const CatalogueTable* catalogue) {
  const CatalogueTable* order[3];
  int n = SearchOrder(catalogue, order);
  for (int i = 0; i < n; ++i) {
    CMessageRessource locator(static_cast<uint32_t>(number), Localisation::Langue::Courante);
    if (locator.bTrouve(*order[i])) return locator.nGetPacking();
  }
  return -1;
}

}  // namespace qg

namespace Localisation {

namespace {
int32_t g_default_language = 9;
}

const Langue Langue::Courante = {0, 0};
const Langue Langue::Defaut = {9, 1};

Langue Langue::Resout() const {
  if (!bEstCourante()) return *this;
  qg::IInfoLocale* locale = qg::Services().piInfoLocale;
  if (locale != nullptr) {
    qg::LanguagePair pair = locale->GetLanguagePair();
    return Langue{pair.nLanguage, pair.nVariant};
  }
  return Langue{g_default_language, 1};
}

void SetLangueDefautModule(int32_t language) { g_default_language = language; }
int32_t nGetLangueDefautModule() { return g_default_language; }

}  // namespace Localisation

CMessageRessource::CMessageRessource(uint32_t number, Localisation::Langue pair) : m_nNumero(number) {
  Localisation::Langue resolved = pair.Resout();
  m_nLangue = resolved.nLangue;
  m_nVariante = resolved.nVariante;
}

bool CMessageRessource::bTrouve(const qg::CatalogueTable& table) {
  const qg::CatalogueEntry* begin = table.pEntries;
  const qg::CatalogueEntry* end = begin + table.nCount;
  const qg::CatalogueEntry* found = std::lower_bound(
      begin, end, m_nNumero,
      [](const qg::CatalogueEntry& e, uint32_t number) { return e.nNumber < number; });
  if (found == end || found->nNumber != m_nNumero) return false;
  int block = m_nLangue == 12 ? qg::kBlockFrench
              : m_nLangue == 10 ? qg::kBlockSpanish
                                : qg::kBlockDefault;
  uint32_t offset = found->anOffset[block * 2 + (m_nVariante == 2 ? 1 : 0)];
  const uint8_t* data = table.apBlock[block];
  uint64_t size = table.anBlockSize[block];
  if (data == nullptr || uint64_t{offset} + 3 > size) return false;
  const uint8_t* record = data + offset;
  uint32_t length = record[1] | (record[2] << 8);
  if (uint64_t{offset} + 3 + length > size) return false;
  m_pAdresse = record + 3;
  m_nTaillePackee = length;
  m_nEncodage = (record[0] & qg::kRecordUtf16) != 0 ? 2 : 1;
  m_nPacking = record[0] & qg::kRecordKindMask;
  return true;
}

bool CMessageRessource::bDecode(char16_t** out, int* length) const {
  *out = nullptr;
  *length = 0;
  if (m_pAdresse == nullptr) return false;
  int bytes = qg::UnpackedLength(m_nPacking, m_pAdresse, m_nTaillePackee);
  if (bytes < 0) return false;
  std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[static_cast<size_t>(bytes) + 1]);
  if (!raw) return false;
  if (qg::UnpackBytes(m_nPacking, m_pAdresse, m_nTaillePackee, raw.get(),
                      static_cast<size_t>(bytes)) != bytes) {
    return false;
  }
  int units = 0;
  if (m_nEncodage == 2) {
    if (bytes % 2 != 0) return false;
    units = bytes / 2;
  } else if (bytes > 0) {
    units = qg::MultiByteToWide(qg::kCodePageUtf8, reinterpret_cast<const char*>(raw.get()),
                                bytes, nullptr, 0);
    if (units <= 0) return false;
  }
  char16_t* text = static_cast<char16_t*>(std::malloc((static_cast<size_t>(units) + 1) * 2));
  if (text == nullptr) return false;
  if (m_nEncodage == 2) {
    for (int i = 0; i < units; ++i) text[i] = static_cast<char16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
  } else if (units > 0 &&
             qg::MultiByteToWide(qg::kCodePageUtf8, reinterpret_cast<const char*>(raw.get()), bytes,
                                 text, units) != units) {
    std::free(text);
    return false;
  }
  text[units] = 0;
  *out = text;
  *length = units;
  return true;
}

int CMessageRessource::nCharge(char16_t* buffer, int capacity, bool* cut) const {
  if (cut != nullptr) *cut = false;
  if (buffer == nullptr || capacity <= 0) return 0;
  char16_t* text;
  int length;
  if (!bDecode(&text, &length)) {
    buffer[0] = 0;
    return 0;
  }
  int n = std::min(length, capacity - 1);
  if (n > 0) std::memcpy(buffer, text, static_cast<size_t>(n) * 2);
  buffer[n] = 0;
  if (n < length && cut != nullptr) *cut = true;
  std::free(text);
  return n;
}

bool CMessageRessource::bCharge(CTString& out) const {
  char16_t* text;
  int length;
  if (!bDecode(&text, &length)) return false;
  out.Set(text, static_cast<size_t>(length));
  std::free(text);
  return true;
}

bool bChargeMessage(uint32_t number, CTString& target, Localisation::Langue pair,
                    qg::PFN_MessageProvider provider, const qg::CatalogueTable* catalogue) {
  qg::PFN_MessageText callback = qg::Services().pfnMessageText;
  if (callback != nullptr && qg::FromHostCallback(callback, number, target)) return true;
  if (provider != nullptr && qg::FromProvider(provider, number, target)) return true;
  return qg::FromCatalogues(number, target, pair, catalogue);
}

bool bChargeMessageLangue(uint32_t number, CTString& target, Localisation::Langue pair,
                          const qg::CatalogueTable* catalogue) {
  return bChargeMessage(number, target, pair, nullptr, catalogue);
}

bool bChargeMessageV(uint32_t number, CTString& target, qg::FormatArgs args,
                     qg::PFN_MessageProvider provider, const qg::CatalogueTable* catalogue) {
  CTString text;
  if (!bChargeMessage(number, text, Localisation::Langue::Courante, provider, catalogue)) {
    return false;
  }
  std::u16string formatted;
  if (qg::MessageInsertAppend(&formatted, text.pszGet(), args) == qg::kMessageInsertNoMemory) {
    return false;
  }
  target.Set(formatted.c_str(), formatted.size());
  return true;
}
