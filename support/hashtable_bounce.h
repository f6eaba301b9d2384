// Chained hash table whose entries live in one array, linked by 1-based slot
// indices (0 = none). Bucket counts come from a fixed list of primes; the
// table grows and shrinks by whole size classes. Keys and values are opaque
// pointer-sized words: the table never copies, owns or releases them, and
// owns only its two arrays. No lock inside: the owner serialises access.
#ifndef QG_SUPPORT_HASHTABLE_BOUNCE_H_
#define QG_SUPPORT_HASHTABLE_BOUNCE_H_

#include <cstdint>

// One slot of the entry array.
struct STEntreeBounce {
  uintptr_t nCle;
  uintptr_t nValeur;
  int32_t nPrecedent;  // previous entry of the chain; 0 = chain head; -1 = free slot
  int32_t nSuivant;    // next entry of the chain, or next free slot; 0 = end
};

class CHashTableBounce {
 public:
  // compare(key, stored key): 0 when equal. hash(key): any 32-bit value.
  using PFN_COMPARE = int (*)(uintptr_t nCle, uintptr_t nCleEntree);
  using PFN_HACHE = uint32_t (*)(uintptr_t nCle);

  static constexpr int kNbClasses = 29;
  static const uint32_t ms_pnPremiers[kNbClasses];

  // nTaille = 0 leaves the table without arrays; the first addition sizes it.
  explicit CHashTableBounce(uint32_t nTaille = 0);
  CHashTableBounce(const CHashTableBounce&) = delete;
  CHashTableBounce& operator=(const CHashTableBounce&) = delete;

  // Virtual operations, in slot order.
  virtual ~CHashTableBounce();
  virtual CHashTableBounce* SetFonctionCompare(PFN_COMPARE pfn);
  virtual CHashTableBounce* SetFonctionHache(PFN_HACHE pfn);
  virtual uint32_t nGetNbElement() const;
  // Equal keys coexist; finding answers the one added last. 0 = no memory.
  virtual int bAjoute(uintptr_t nCle, uintptr_t nValeur);
  // Removes the last-added entry whose key compares equal. Out-pointers may
  // be null. 1 when an entry was removed (even if the shrink after it failed).
  virtual int bSupprime(uintptr_t nCle, uintptr_t* pnValeur, uintptr_t* pnCle);
  // Walk in slot order. *pnPosition starts at 0 (which opens the walk) and
  // afterwards is the 1-based slot of the entry just returned. Gives 0 and
  // closes the walk at the end. bSupprime unlinks each entry returned;
  // removals never shrink while any walk is open.
  virtual int bParcours(uint32_t* pnPosition, int bSupprime, uintptr_t* pnValeur,
                        uintptr_t* pnCle);
  // Closes a walk left before its end; returns the open walks left.
  virtual int32_t nFinParcours();
  virtual int bCherche(uintptr_t nCle, uintptr_t* pnValeur, uintptr_t* pnCle) const;
  // Address of the value word of the matching entry, or null; valid until
  // the next addition or removal.
  virtual uintptr_t* pnCherche(uintptr_t nCle);
  // Next size class; 0 at the last class or when memory runs out (the table
  // is then unchanged).
  virtual int bAgrandit();
  // Down to the smallest class that holds the entries with room; 0 when
  // nothing can be allocated (the table is then unchanged).
  virtual int bReduit();
  // Rebuilds every chain by scanning the used slots in order. Growing and
  // shrinking carry the chains over instead, so that equal keys keep their
  // newest-first order; after this call their order follows the slots.
  virtual void RecalculeHachage();
  // Moves the used slots below nNouvelleCapacite (which must hold them all)
  // and rebuilds the free list from the slots left below it.
  virtual void Compacte(uint32_t nNouvelleCapacite);
  virtual PFN_COMPARE pfnGetFonctionCompare() const;
  virtual PFN_HACHE pfnGetFonctionHache() const;
  // Empties a non-empty table and sizes it for nTaille entries (7 for 0).
  virtual void Vide(uint32_t nTaille);
  // Replace the word of the slot at 1-based nPosition, used or not; the key
  // is not re-hashed. 0 when nPosition is 0 or above the capacity.
  virtual int bModifieValeur(uint32_t nPosition, uintptr_t nValeur, uintptr_t* pnAncienne);
  virtual int bModifieCle(uint32_t nPosition, uintptr_t nCle, uintptr_t* pnAncienne);

  // Discards both arrays (and the entries) and sizes the table for nTaille
  // entries; bRemiseAZero also restarts from class 0.
  void Initialise(uint32_t nTaille, bool bRemiseAZero);
  // Unlinks the entry at 0-based nIndex from the chain of bucket nAlveole and
  // puts its slot on the free list.
  void Detache(STEntreeBounce* pclEntree, uint32_t nAlveole, uint32_t nIndex);

 protected:
  uint32_t nAlveoleDe(uintptr_t nCle) const;
  // 0-based slot of the last-added matching entry, or -1.
  int64_t nTrouve(uintptr_t nCle) const;
  int nCompareCles(uintptr_t nCle, uintptr_t nCleEntree) const;
  void LibereTableaux();
  void ReporteChaines(int32_t* pnNouvelles, uint32_t nNbNouvelles);

  STEntreeBounce* pclEntree;
  uint32_t nCapacite;
  int32_t nLibre;
  int32_t* pnAlveole;
  uint32_t nNbAlveole;
  uint32_t nNbElement;
  int32_t nParcours;
  PFN_COMPARE pfnCompare;
  PFN_HACHE pfnHache;
  int32_t nClasse;
};

#endif  // QG_SUPPORT_HASHTABLE_BOUNCE_H_
