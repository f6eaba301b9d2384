#include "support/hash_table.h"

#include <new>

#include "support/frame/module_services.h"
#include "support/platform/text16.h"
#include "support/text_functions.h"

namespace qg {

HashTableBuckets::HashTableBuckets() {
  void* block = ContainerRealloc(nullptr, sizeof(CListeChainee) * kNbBuckets);
  m_pBuckets = static_cast<CListeChainee*>(block);
  if (m_pBuckets == nullptr) return;
  for (int i = 0; i < kNbBuckets; ++i) new (&m_pBuckets[i]) CListeChainee(sizeof(Paire));
}

HashTableBuckets::~HashTableBuckets() {
  if (m_pBuckets == nullptr) return;
  for (int i = 0; i < kNbBuckets; ++i) m_pBuckets[i].~CListeChainee();
  ContainerFree(m_pBuckets);
}

bool HashTableBuckets::bAjoutePaire(const void* key, const void* value) {
  if (m_pBuckets == nullptr) return false;
  Paire p{key, value, vnHashCle(key)};
  CListeChainee& bucket = m_pBuckets[p.nHash % kNbBuckets];
  if (bucket.Insere(&p, true) == nullptr) return false;
  ++m_nNbEntree;
  return true;
}

bool HashTableBuckets::bRecherchePaire(const void* key, const void** value) {
  if (m_pBuckets == nullptr) return false;
  uint32_t hash = vnHashCle(key);
  CListeChainee& bucket = m_pBuckets[hash % kNbBuckets];
  for (void* e = bucket.pGetElement(0); e != nullptr; e = bucket.pSuivant()) {
    const Paire* p = static_cast<const Paire*>(e);
    if (p->nHash == hash && vbCleEgale(p->pCle, key)) {
      *value = p->pValeur;
      return true;
    }
  }
  return false;
}

bool HashTableBuckets::bExtraitPaire(int* cursor, const void** value, const void** key) {
  *value = nullptr;
  *key = nullptr;
  int i = *cursor < 0 ? 0 : *cursor;
  if (m_pBuckets != nullptr) {
    for (; i < kNbBuckets; ++i) {
      CListeChainee& bucket = m_pBuckets[i];
      if (bucket.nGetNbElement() == 0) continue;
      const Paire* p = static_cast<const Paire*>(bucket.pGetElement(0));
      *value = p->pValeur;
      *key = p->pCle;
      bucket.SupprimeCourant();
      --m_nNbEntree;
      *cursor = i;
      return true;
    }
  }
  *cursor = kNbBuckets;
  return false;
}

}  // namespace qg

namespace {

// The fold both operations use: ignore case, user default locale.
constexpr uint32_t kFoldFlags = qg::kCompareIgnoreCase;
// Units mapped per call when hashing; the destination has room for
// mappings that grow the text.
constexpr int kHashChunk = 256;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

uint32_t CTHashTableTi::nHash(const char16_t* key) const {
  uint16_t sum = 0;
  size_t len = qg::StrLen16(key);
  qg::IInfoLocale* locale = qg::Services().piInfoLocale;
  if (locale == nullptr) {
    for (size_t i = 0; i < len; ++i) sum = static_cast<uint16_t>(sum + qg::ToLowerLatin1_16(key[i]));
    return sum;
  }
  // Mapped in chunks, never cutting a surrogate pair, so that no
  // allocation can fail here.
  char16_t mapped[kHashChunk * 2];
  size_t pos = 0;
  while (pos < len) {
    size_t n = len - pos < kHashChunk ? len - pos : kHashChunk;
    if (n == kHashChunk && IsHighSurrogate(key[pos + n - 1])) --n;
    int32_t m = locale->nMapText(qg::kLocaleUserDefault, kFoldFlags, key + pos,
                                 static_cast<int32_t>(n), mapped, kHashChunk * 2);
    for (int32_t i = 0; i < m; ++i) sum = static_cast<uint16_t>(sum + mapped[i]);
    pos += n;
  }
  return sum;
}

bool CTHashTableTi::bEgal(const char16_t* a, const char16_t* b) const {
  return nCompareChaineLocale(a, b, kFoldFlags) == 0;
}
