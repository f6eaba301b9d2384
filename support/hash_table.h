// Two small hash tables.
//
// CTHashTable<K,V>: 43 buckets, each a CListeChainee of (key pointer, value
// pointer) pairs; the owner supplies the hash and the key comparison. The
// table owns neither keys nor values: ExtraitSuivant hands every pair back
// once, for instance so that the owner can free them. Duplicates are not
// detected. CTHashTableTi is the instance keyed by UTF-16 texts compared
// ignoring case through the host's locale interface.
//
// CTemplateHashTable<K,V>: entries by value in one array, chained per
// bucket by 1-based indices, freed entries kept on a free list and reused.
//
// Not synchronised: one table is used by one thread at a time; lookups
// move the bucket cursor of CTHashTable, so they are writes too.
#ifndef QG_SUPPORT_HASH_TABLE_H_
#define QG_SUPPORT_HASH_TABLE_H_

#include <cstdint>
#include <functional>
#include <type_traits>

#include "support/array.h"
#include "support/linked_list.h"

namespace qg {

// The untyped half of CTHashTable.
class HashTableBuckets {
 public:
  static constexpr int kNbBuckets = 43;

  HashTableBuckets();
  virtual ~HashTableBuckets();
  HashTableBuckets(const HashTableBuckets&) = delete;
  HashTableBuckets& operator=(const HashTableBuckets&) = delete;

  int nGetNbEntree() const { return m_nNbEntree; }

 protected:
  virtual uint32_t vnHashCle(const void* key) const = 0;
  virtual bool vbCleEgale(const void* a, const void* b) const = 0;

  bool bAjoutePaire(const void* key, const void* value);
  bool bRecherchePaire(const void* key, const void** value);
  bool bExtraitPaire(int* cursor, const void** value, const void** key);

 private:
  struct Paire {
    const void* pCle;
    const void* pValeur;
    uint32_t nHash;  // of the key: only pairs with the same hash are compared
  };
  CListeChainee* m_pBuckets;  // kNbBuckets lists; null when memory ran out
  int32_t m_nNbEntree = 0;
};

}  // namespace qg

template <typename K, typename V>
class CTHashTable : public qg::HashTableBuckets {
 public:
  // Inserts the pair before the current node of the key's bucket; false
  // when memory runs out.
  bool Ajoute(K* key, V* value) { return bAjoutePaire(key, value); }
  // The value of the first pair of the key's bucket whose key compares
  // equal; false (value untouched) when there is none.
  bool bRecherche(const K* key, V** value) {
    const void* v = nullptr;
    if (!bRecherchePaire(key, &v)) return false;
    *value = static_cast<V*>(const_cast<void*>(v));
    return true;
  }
  // From the bucket index in *cursor (0 to start), takes the first pair of
  // the next non-empty bucket out of the table and hands it back; *cursor
  // is left on that bucket. False, with *value null, when no pair is left.
  bool ExtraitSuivant(int* cursor, V** value, K** key) {
    const void* v = nullptr;
    const void* k = nullptr;
    bool found = bExtraitPaire(cursor, &v, &k);
    *value = static_cast<V*>(const_cast<void*>(v));
    *key = static_cast<K*>(const_cast<void*>(k));
    return found;
  }

 protected:
  virtual uint32_t nHash(const K* key) const = 0;
  virtual bool bEgal(const K* a, const K* b) const = 0;

 private:
  uint32_t vnHashCle(const void* key) const final { return nHash(static_cast<const K*>(key)); }
  bool vbCleEgale(const void* a, const void* b) const final {
    return bEgal(static_cast<const K*>(a), static_cast<const K*>(b));
  }
};

// UTF-16 keys ignoring case: the comparison and the hash (the 16-bit sum of
// the mapped units) both go through the host's locale interface with the
// same locale and flags, so keys that compare equal hash equally. Without a
// host locale interface both fold ASCII and Latin-1 letters. A null key
// reads as the empty text.
class CTHashTableTi : public CTHashTable<const char16_t, const char16_t> {
 protected:
  uint32_t nHash(const char16_t* key) const override;
  bool bEgal(const char16_t* a, const char16_t* b) const override;
};

// Hash and equality of CTemplateHashTable keys; the default suits integers,
// enumerations and pointers.
template <typename K>
struct CTemplateHashTableTraits {
  static uint32_t nHash(const K& key) { return static_cast<uint32_t>(std::hash<K>{}(key)); }
  static bool bEgal(const K& a, const K& b) { return a == b; }
};

template <typename K, typename V, typename Traits = CTemplateHashTableTraits<K>>
class CTemplateHashTable {
  static_assert(std::is_trivially_copyable_v<K> && std::is_trivially_copyable_v<V>,
                "entries move with byte copies: keys and values must be trivially copyable");

 public:
  struct Entree {
    K cle;
    V valeur;
    // 1-based indices of the neighbours in the bucket, 0 = none. A free
    // entry has nPrecedent = -1 and nSuivant = the next free entry.
    int32_t nPrecedent;
    int32_t nSuivant;
  };

  // A bucket count below 1 is taken as 1.
  explicit CTemplateHashTable(int nb_buckets) : m_nNbBuckets(nb_buckets > 0 ? nb_buckets : 1) {}
  ~CTemplateHashTable() {
    qg::ContainerFree(m_pTetes);
    qg::ContainerFree(m_pEntrees);
  }
  CTemplateHashTable(const CTemplateHashTable&) = delete;
  CTemplateHashTable& operator=(const CTemplateHashTable&) = delete;

  // Adds the pair at the head of its bucket, in a freed entry when there is
  // one; false when memory runs out. Duplicates are not detected.
  bool bAjoute(const K& key, const V& value) {
    if (m_pTetes == nullptr) {
      size_t bytes = static_cast<size_t>(m_nNbBuckets) * sizeof(int32_t);
      m_pTetes = static_cast<int32_t*>(qg::ContainerRealloc(nullptr, bytes));
      if (m_pTetes == nullptr) return false;
      for (int i = 0; i < m_nNbBuckets; ++i) m_pTetes[i] = 0;
    }
    int slot;
    if (m_nLibre > 0) {
      slot = m_nLibre - 1;
      m_nLibre = m_pEntrees[slot].nSuivant;
    } else {
      if (m_nUtilisees == m_nCapacite && !bAgrandit()) return false;
      slot = m_nUtilisees++;
    }
    int bucket = nBucket(key);
    Entree& e = m_pEntrees[slot];
    e.cle = key;
    e.valeur = value;
    e.nPrecedent = 0;
    e.nSuivant = m_pTetes[bucket];
    if (e.nSuivant > 0) m_pEntrees[e.nSuivant - 1].nPrecedent = slot + 1;
    m_pTetes[bucket] = slot + 1;
    ++m_nNbEntree;
    return true;
  }

  // The value stored for the key, null when absent. *bucket and *slot (when
  // given) receive where the entry lies, for SupprimeEntree.
  V* pRecherche(const K& key, int* bucket = nullptr, int* slot = nullptr) {
    if (m_pTetes == nullptr) return nullptr;
    int b = nBucket(key);
    for (int i = m_pTetes[b]; i > 0; i = m_pEntrees[i - 1].nSuivant) {
      if (Traits::bEgal(m_pEntrees[i - 1].cle, key)) {
        if (bucket != nullptr) *bucket = b;
        if (slot != nullptr) *slot = i - 1;
        return &m_pEntrees[i - 1].valeur;
      }
    }
    return nullptr;
  }

  // Removes the entry for the key; false when absent.
  bool bSupprime(const K& key) {
    int bucket, slot;
    if (pRecherche(key, &bucket, &slot) == nullptr) return false;
    return SupprimeEntree(&m_pEntrees[slot], bucket, slot);
  }

  // Unlinks the entry at `slot` (0-based) of `bucket`, links its neighbours
  // to each other (or the bucket head to its successor), puts it at the
  // head of the free list and counts it out. False (nothing changed) when
  // the three do not describe one live entry.
  bool SupprimeEntree(Entree* entry, int bucket, int slot) {
    if (slot < 0 || slot >= m_nUtilisees || entry != &m_pEntrees[slot] || bucket < 0 ||
        bucket >= m_nNbBuckets || entry->nPrecedent < 0 || nBucket(entry->cle) != bucket) {
      return false;
    }
    if (entry->nPrecedent > 0) m_pEntrees[entry->nPrecedent - 1].nSuivant = entry->nSuivant;
    else m_pTetes[bucket] = entry->nSuivant;
    if (entry->nSuivant > 0) m_pEntrees[entry->nSuivant - 1].nPrecedent = entry->nPrecedent;
    entry->nPrecedent = -1;
    entry->nSuivant = m_nLibre;
    m_nLibre = slot + 1;
    --m_nNbEntree;
    return true;
  }

  // The entry at slot (0-based; live or free), null beyond the entries.
  Entree* pGetEntree(int slot) const {
    return slot >= 0 && slot < m_nUtilisees ? &m_pEntrees[slot] : nullptr;
  }
  int nGetNbEntree() const { return m_nNbEntree; }
  // Entries ever taken from the array (live and free).
  int nGetNbEntreeUtilisees() const { return m_nUtilisees; }

 private:
  int nBucket(const K& key) const {
    return static_cast<int>(Traits::nHash(key) % static_cast<uint32_t>(m_nNbBuckets));
  }
  bool bAgrandit() {
    int64_t capacity = m_nCapacite == 0 ? 8 : static_cast<int64_t>(m_nCapacite) * 2;
    if (capacity > INT32_MAX / static_cast<int64_t>(sizeof(Entree))) return false;
    void* block = qg::ContainerRealloc(m_pEntrees, static_cast<size_t>(capacity) * sizeof(Entree));
    if (block == nullptr) return false;
    m_pEntrees = static_cast<Entree*>(block);
    m_nCapacite = static_cast<int32_t>(capacity);
    return true;
  }

  int32_t m_nNbBuckets;
  int32_t* m_pTetes = nullptr;     // 1-based index of each bucket's first entry, 0 = empty
  Entree* m_pEntrees = nullptr;
  int32_t m_nCapacite = 0;
  int32_t m_nUtilisees = 0;
  int32_t m_nNbEntree = 0;
  int32_t m_nLibre = 0;            // 1-based head of the free list, 0 = none
};

#endif  // QG_SUPPORT_HASH_TABLE_H_
