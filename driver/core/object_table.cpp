#include "driver/core/object_table.h"

#include <cstdlib>
#include <cstring>

#include "driver/core/support/text_helpers.h"
#include "support/frame/host_services.h"
#include "support/frame/module_services.h"
#include "support/platform/text16.h"

namespace {

constexpr uint32_t kSizeClass = 7;
constexpr uint32_t kNoCaseNoAccent = qg::kCompareIgnoreCase | qg::kCompareIgnoreNonSpace;

int CompareNumbers(uintptr_t a, uintptr_t b) { return a == b ? 0 : 1; }

uint32_t HashNumber(uintptr_t key) { return uint32_t(key) ^ uint32_t(uint64_t(key) >> 32); }

const char16_t* AsName(uintptr_t key) {
  const char16_t* name = reinterpret_cast<const char16_t*>(key);
  return name != nullptr ? name : u"";
}

int CompareNames(uintptr_t a, uintptr_t b) {
  return nCompareTextNoCaseNoAccent(AsName(a), AsName(b)) == 0 ? 0 : 1;
}

uint32_t HashName(uintptr_t key) { return CNAObjectTable::nHashNameNoCase(AsName(key)); }

uint32_t Djb2(uint32_t h, const char16_t* s, size_t n) {
  for (size_t i = 0; i < n; ++i) h = h * 33 + s[i];
  return h;
}

char16_t* CopyName(const char16_t* name) {
  const size_t n = qg::StrLen16(name);
  char16_t* copy = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, name, n * sizeof(char16_t));
  copy[n] = 0;
  return copy;
}

}  // namespace

uint32_t CNAObjectTable::nHashNameNoCase(const char16_t* name) {
  if (name == nullptr) name = u"";
  const int32_t n = int32_t(qg::StrLen16(name));
  qg::IInfoLocale* locale = qg::Services().piInfoLocale;
  if (locale == nullptr) {
    // Without a host: the fold of the fallback comparison.
    uint32_t h = 5381;
    for (int32_t i = 0; i < n; ++i) h = h * 33 + qg::ToLowerLatin1_16(name[i]);
    return h;
  }
  if (n == 0) return 5381;
  // One mapping call into a buffer with room to spare; only a mapping that
  // does not fit is measured and mapped again.
  char16_t stack[512];
  int32_t capacity = n * 2 + 16;
  char16_t* mapped = capacity <= 512 ? stack : static_cast<char16_t*>(std::malloc(
                                                   size_t(capacity) * sizeof(char16_t)));
  int32_t got = mapped == nullptr ? 0
                                  : locale->nMapText(qg::kLocaleUserDefault, kNoCaseNoAccent,
                                                     name, n, mapped, capacity);
  if (got <= 0) {
    const int32_t needed =
        locale->nMapText(qg::kLocaleUserDefault, kNoCaseNoAccent, name, n, nullptr, 0);
    if (mapped != stack) std::free(mapped);
    mapped = needed > 0 ? static_cast<char16_t*>(std::malloc(size_t(needed) * sizeof(char16_t)))
                        : nullptr;
    got = mapped == nullptr ? 0
                            : locale->nMapText(qg::kLocaleUserDefault, kNoCaseNoAccent, name, n,
                                               mapped, needed);
  }
  const uint32_t h = Djb2(5381, mapped, got > 0 ? size_t(got) : 0);
  if (mapped != stack) std::free(mapped);
  return h;
}

CNAObjectTable::CNAObjectTable(Form form) : CHashTableBounce(kSizeClass), m_nForm(form) {
  if (form == kNameForm) {
    SetFonctionCompare(CompareNames);
    SetFonctionHache(HashName);
  } else {
    SetFonctionCompare(CompareNumbers);
    SetFonctionHache(HashNumber);
  }
}

CNAObjectTable::~CNAObjectTable() { Clear(); }

bool CNAObjectTable::bFind(uintptr_t key, CNARefCounted** object) {
  if (object != nullptr) *object = nullptr;
  if (m_nForm != kNumberForm) return false;
  uintptr_t value = 0;
  if (!bCherche(key, &value, nullptr)) return false;
  CNARefCounted* found = reinterpret_cast<CNARefCounted*>(value);
  if (object != nullptr) *object = NAAddRef(found);
  return true;
}

bool CNAObjectTable::bAdd(uintptr_t key, CNARefCounted* object) {
  if (m_nForm != kNumberForm) return false;
  if (!bAjoute(key, reinterpret_cast<uintptr_t>(object))) return false;
  AddRefBoth(object);
  return true;
}

bool CNAObjectTable::bRemove(uintptr_t key) {
  return m_nForm == kNumberForm && bRemoveKey(key);
}

bool CNAObjectTable::bFind(const char16_t* name, CNARefCounted** object) {
  if (object != nullptr) *object = nullptr;
  if (m_nForm != kNameForm) return false;
  if (name == nullptr) name = u"";
  if (m_pszMemoKey != nullptr && nCompareTextNoCaseNoAccent(name, m_pszMemoKey) == 0) {
    if (object != nullptr) *object = NAAddRef(m_pMemoObject);
    return true;
  }
  uintptr_t value = 0;
  uintptr_t stored = 0;
  if (!bCherche(reinterpret_cast<uintptr_t>(name), &value, &stored)) return false;
  m_pszMemoKey = reinterpret_cast<const char16_t*>(stored);
  m_pMemoObject = reinterpret_cast<CNARefCounted*>(value);
  if (object != nullptr) *object = NAAddRef(m_pMemoObject);
  return true;
}

bool CNAObjectTable::bAdd(const char16_t* name, CNARefCounted* object) {
  if (m_nForm != kNameForm) return false;
  char16_t* copy = CopyName(name != nullptr ? name : u"");
  if (copy == nullptr) return false;
  if (!bAjoute(reinterpret_cast<uintptr_t>(copy), reinterpret_cast<uintptr_t>(object))) {
    std::free(copy);
    return false;
  }
  AddRefBoth(object);
  // An equal name added now hides the one the memo may point at.
  m_pszMemoKey = nullptr;
  m_pMemoObject = nullptr;
  return true;
}

bool CNAObjectTable::bRemove(const char16_t* name) {
  return m_nForm == kNameForm && bRemoveKey(reinterpret_cast<uintptr_t>(name != nullptr ? name : u""));
}

bool CNAObjectTable::bRemoveKey(uintptr_t key) {
  uintptr_t value = 0;
  uintptr_t stored = 0;
  if (!bSupprime(key, &value, &stored)) return false;
  CNARefCounted* object = reinterpret_cast<CNARefCounted*>(value);
  ForgetMemoOf(stored, object);
  if (m_nForm == kNameForm) std::free(reinterpret_cast<void*>(stored));
  ReleaseBoth(object);
  return true;
}

void CNAObjectTable::ForgetMemoOf(uintptr_t stored_key, CNARefCounted* object) {
  if (reinterpret_cast<const char16_t*>(stored_key) == m_pszMemoKey || object == m_pMemoObject) {
    m_pszMemoKey = nullptr;
    m_pMemoObject = nullptr;
  }
}

bool CNAObjectTable::bNext(uint32_t* cursor, uintptr_t* key, CNARefCounted** object) {
  uintptr_t value = 0;
  uintptr_t stored = 0;
  if (!bParcours(cursor, 0, &value, &stored)) {
    if (object != nullptr) *object = nullptr;
    return false;
  }
  if (key != nullptr) *key = stored;
  if (object != nullptr) *object = NAAddRef(reinterpret_cast<CNARefCounted*>(value));
  return true;
}

void CNAObjectTable::Clear() {
  m_pszMemoKey = nullptr;
  m_pMemoObject = nullptr;
  uint32_t cursor = 0;
  uintptr_t value = 0;
  uintptr_t stored = 0;
  // Each entry is unlinked as the walk returns it.
  while (bParcours(&cursor, 1, &value, &stored)) {
    if (m_nForm == kNameForm) std::free(reinterpret_cast<void*>(stored));
    ReleaseBoth(reinterpret_cast<CNARefCounted*>(value));
  }
}
