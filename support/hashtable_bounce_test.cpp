#include "support/hashtable_bounce.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <vector>

namespace {

// Exposes the arrays so that the tests can check the table's invariants.
class Inspecte : public CHashTableBounce {
 public:
  using CHashTableBounce::CHashTableBounce;
  int32_t Classe() const { return nClasse; }
  uint32_t Capacite() const { return nCapacite; }
  uint32_t NbAlveoles() const { return nNbAlveole; }
  bool SansTableaux() const { return pclEntree == nullptr && pnAlveole == nullptr; }
  int32_t Parcours() const { return nParcours; }
  void ForceClasse(int32_t n) { nClasse = n; }

  // Free-list length, or -1 when the list is broken (cycle, used slot on it,
  // or a free slot missing from it).
  int64_t LongueurLibre() const {
    std::set<int32_t> vus;
    for (int32_t n = nLibre; n != 0; n = pclEntree[n - 1].nSuivant) {
      if (n < 0 || static_cast<uint32_t>(n) > nCapacite) return -1;
      if (pclEntree[n - 1].nPrecedent != -1 || !vus.insert(n).second) return -1;
    }
    uint32_t nLibres = 0;
    for (uint32_t i = 0; i < nCapacite; ++i) nLibres += pclEntree[i].nPrecedent < 0;
    return nLibres == vus.size() ? static_cast<int64_t>(vus.size()) : -1;
  }

  // Every chain is linked both ways, sits in its key's bucket, and together
  // the chains hold exactly the used slots.
  bool ChainesCoherentes() const {
    uint32_t nVus = 0;
    for (uint32_t b = 0; b < nNbAlveole; ++b) {
      int32_t nAvant = 0;
      for (int32_t n = pnAlveole[b]; n != 0; n = pclEntree[n - 1].nSuivant) {
        const STEntreeBounce& e = pclEntree[n - 1];
        if (e.nPrecedent != nAvant || nAlveoleDe(e.nCle) != b) return false;
        if (++nVus > nCapacite) return false;
        nAvant = n;
      }
    }
    return nVus == nNbElement;
  }
};

uint32_t HacheFaible(uintptr_t nCle) { return static_cast<uint32_t>(nCle % 7); }
uint32_t HacheIdentite(uintptr_t nCle) { return static_cast<uint32_t>(nCle); }
int CompareEgal(uintptr_t a, uintptr_t b) { return a == b ? 0 : 1; }

int32_t ClassePour(uint32_t nTaille) {
  int32_t c = 0;
  while (c < 28 && CHashTableBounce::ms_pnPremiers[c] / 2 < nTaille) ++c;
  return c;
}

TEST(HashTableBounce, SizingByClass) {
  struct Cas {
    uint32_t nTaille;
    int32_t nClasse;
    uint32_t nCapacite;
    uint32_t nAlveoles;
  };
  for (const Cas& c : {Cas{7, 0, 8, 17}, Cas{8, 0, 8, 17}, Cas{9, 1, 26, 53},
                       Cas{215, 5, 384, 769}, Cas{1, 0, 8, 17}}) {
    Inspecte t(c.nTaille);
    EXPECT_EQ(t.Classe(), c.nClasse) << c.nTaille;
    EXPECT_EQ(t.Capacite(), c.nCapacite) << c.nTaille;
    EXPECT_EQ(t.NbAlveoles(), c.nAlveoles) << c.nTaille;
    EXPECT_EQ(t.LongueurLibre(), c.nCapacite);
  }
}

// The last class never grows: a full table then refuses additions and
// keeps everything it holds.
TEST(HashTableBounce, LastClassNeverGrows) {
  Inspecte t(7);
  for (uintptr_t k = 1; k <= 8; ++k) ASSERT_EQ(t.bAjoute(k, k), 1);
  t.ForceClasse(28);
  EXPECT_EQ(t.bAgrandit(), 0);
  EXPECT_EQ(t.bAjoute(9, 9), 0);
  EXPECT_EQ(t.Classe(), 28);
  EXPECT_EQ(t.nGetNbElement(), 8u);
  for (uintptr_t k = 1; k <= 8; ++k) EXPECT_NE(t.pnCherche(k), nullptr);
  EXPECT_TRUE(t.ChainesCoherentes());
}

TEST(HashTableBounce, SizeZeroHasNoArraysUntilFirstAddition) {
  Inspecte t(0);
  EXPECT_TRUE(t.SansTableaux());
  uintptr_t v = 99;
  EXPECT_EQ(t.bCherche(1, &v, nullptr), 0);
  EXPECT_EQ(t.pnCherche(1), nullptr);
  EXPECT_EQ(t.bSupprime(1, &v, nullptr), 0);
  EXPECT_EQ(v, 99u);
  t.Vide(0);
  EXPECT_TRUE(t.SansTableaux());
  uint32_t nPos = 0;
  EXPECT_EQ(t.bParcours(&nPos, 0, &v, nullptr), 0);
  EXPECT_EQ(t.Parcours(), 0);

  ASSERT_EQ(t.bAjoute(5, 50), 1);
  EXPECT_EQ(t.Classe(), 1);
  EXPECT_EQ(t.Capacite(), 26u);
  EXPECT_EQ(t.NbAlveoles(), 53u);
  EXPECT_EQ(t.bCherche(5, &v, nullptr), 1);
  EXPECT_EQ(v, 50u);
}

TEST(HashTableBounce, NinthAdditionGrowsAndKeepsEveryEntry) {
  Inspecte t(7);
  t.SetFonctionHache(HacheIdentite)->SetFonctionCompare(CompareEgal);
  for (uintptr_t k = 1; k <= 9; ++k) ASSERT_EQ(t.bAjoute(k * 17, k), 1);  // one bucket at class 0
  EXPECT_EQ(t.Classe(), 1);
  EXPECT_EQ(t.nGetNbElement(), 9u);
  EXPECT_EQ(t.LongueurLibre(), 26 - 9);
  EXPECT_TRUE(t.ChainesCoherentes());
  for (uintptr_t k = 1; k <= 9; ++k) {
    uintptr_t v = 0, cle = 0;
    ASSERT_EQ(t.bCherche(k * 17, &v, &cle), 1);
    EXPECT_EQ(v, k);
    EXPECT_EQ(cle, k * 17);
  }
}

// Equal keys coexist newest first, and keep that order through growth,
// shrinking and slot reuse.
TEST(HashTableBounce, EqualKeysNewestFirstAcrossResizes) {
  Inspecte t(7);
  t.SetFonctionHache(HacheFaible);
  for (uintptr_t k = 100; k < 108; ++k) t.bAjoute(k, k);
  t.bSupprime(100, nullptr, nullptr);  // frees slot 1 for the later duplicate
  t.bAjoute(42, 1);                    // lands in the freed low slot
  t.bSupprime(101, nullptr, nullptr);
  t.bAjoute(42, 2);
  for (uintptr_t k = 200; k < 230; ++k) t.bAjoute(k, k);  // grows twice
  ASSERT_GE(t.Classe(), 2);
  uintptr_t v = 0;
  ASSERT_EQ(t.bCherche(42, &v, nullptr), 1);
  EXPECT_EQ(v, 2u);
  for (uintptr_t k = 200; k < 230; ++k) t.bSupprime(k, nullptr, nullptr);  // shrinks back
  EXPECT_EQ(t.Classe(), 1);
  ASSERT_EQ(t.bSupprime(42, &v, nullptr), 1);
  EXPECT_EQ(v, 2u);
  ASSERT_EQ(t.bSupprime(42, &v, nullptr), 1);
  EXPECT_EQ(v, 1u);
  EXPECT_EQ(t.bCherche(42, &v, nullptr), 0);
}

TEST(HashTableBounce, WalkWithRemovalVisitsEachOnceAndDefersShrink) {
  Inspecte t(0);
  for (uintptr_t k = 1; k <= 40; ++k) t.bAjoute(k, k * 10);
  ASSERT_EQ(t.Classe(), 2);
  // Remove 10 outright, then walk-remove down to 8 entries.
  for (uintptr_t k = 1; k <= 10; ++k) t.bSupprime(k, nullptr, nullptr);
  EXPECT_EQ(t.Classe(), 2);  // 30 entries: no shrink yet
  std::multiset<uintptr_t> vus;
  uint32_t nPos = 0;
  uintptr_t v = 0, cle = 0;
  while (t.bParcours(&nPos, t.nGetNbElement() > 8, &v, &cle)) {
    EXPECT_EQ(v, cle * 10);
    vus.insert(cle);
    EXPECT_EQ(t.Classe(), 2);
  }
  EXPECT_EQ(vus.size(), 30u);
  EXPECT_EQ(std::set<uintptr_t>(vus.begin(), vus.end()).size(), 30u);
  EXPECT_EQ(t.nGetNbElement(), 8u);
  EXPECT_EQ(t.Parcours(), 0);
  EXPECT_EQ(t.Classe(), 2);
  // The walk is closed: the next removal leaves 7 and drops to class 0.
  uintptr_t reste = 0;
  nPos = 0;
  ASSERT_EQ(t.bParcours(&nPos, 0, nullptr, &reste), 1);
  EXPECT_EQ(t.nFinParcours(), 0);
  EXPECT_EQ(t.nFinParcours(), 0);  // never below zero
  ASSERT_EQ(t.bSupprime(reste, nullptr, nullptr), 1);
  EXPECT_EQ(t.Classe(), 0);
  EXPECT_EQ(t.Capacite(), 8u);
  EXPECT_TRUE(t.ChainesCoherentes());
  EXPECT_EQ(t.LongueurLibre(), 1);
}

TEST(HashTableBounce, ShrinkThresholdOfClassTwo) {
  Inspecte t(30);  // class 2: 48 slots, 97 buckets
  ASSERT_EQ(t.Classe(), 2);
  for (uintptr_t k = 1; k <= 14; ++k) t.bAjoute(k, k);
  t.bSupprime(14, nullptr, nullptr);
  EXPECT_EQ(t.Classe(), 2);  // 13 left: 53 / 4 = 13
  t.bSupprime(13, nullptr, nullptr);
  EXPECT_EQ(t.Classe(), 1);  // 12 left
  EXPECT_EQ(t.Capacite(), 26u);
  for (uintptr_t k = 1; k <= 12; ++k) EXPECT_NE(t.pnCherche(k), nullptr);
}

TEST(HashTableBounce, WalkPositionEditsSlot) {
  CHashTableBounce t(7);
  t.bAjoute(3, 30);
  uint32_t nPos = 0;
  uintptr_t v = 0;
  ASSERT_EQ(t.bParcours(&nPos, 0, &v, nullptr), 1);
  uintptr_t ancien = 0;
  ASSERT_EQ(t.bModifieValeur(nPos, 31, &ancien), 1);
  EXPECT_EQ(ancien, 30u);
  EXPECT_EQ(*t.pnCherche(3), 31u);
  EXPECT_EQ(t.nFinParcours(), 0);
  EXPECT_EQ(t.bModifieValeur(0, 1, nullptr), 0);
  EXPECT_EQ(t.bModifieValeur(9, 1, nullptr), 0);
  EXPECT_EQ(t.bModifieCle(9, 1, nullptr), 0);
  ASSERT_EQ(t.bModifieCle(8, 77, &ancien), 1);  // a free slot: allowed, not re-hashed
  *t.pnCherche(3) = 32;
  EXPECT_EQ(*t.pnCherche(3), 32u);
}

TEST(HashTableBounce, VideRestartsNonEmptyTable) {
  Inspecte t(0);
  for (uintptr_t k = 1; k <= 30; ++k) t.bAjoute(k, k);
  t.Vide(0);
  EXPECT_EQ(t.nGetNbElement(), 0u);
  EXPECT_EQ(t.Classe(), 0);
  EXPECT_EQ(t.Capacite(), 8u);
  EXPECT_EQ(t.bCherche(1, nullptr, nullptr), 0);
  t.bAjoute(1, 1);
  t.Vide(100);
  EXPECT_EQ(t.Classe(), ClassePour(100));
}

// Randomised comparison with a model: a multimap from key to the values
// still stored, newest last, plus the size-class rules.
class ModeleTable {
 public:
  explicit ModeleTable(uint32_t nTaille) : nClasse(nTaille == 0 ? 0 : ClassePour(nTaille)) {
    bTableaux = nTaille != 0;
  }
  uint32_t Capacite() const { return bTableaux ? CHashTableBounce::ms_pnPremiers[nClasse] / 2 : 0; }
  void Ajoute(uintptr_t k, uintptr_t v) {
    if (n == Capacite()) {
      ++nClasse;
      bTableaux = true;
    }
    cles[k].push_back(v);
    ++n;
  }
  // Removes the given value of key k (the newest when v is 0).
  uintptr_t Enleve(uintptr_t k, uintptr_t v, bool bPeutReduire) {
    auto& vals = cles[k];
    uintptr_t nEnleve = vals.back();
    if (v == 0) {
      vals.pop_back();
    } else {
      nEnleve = v;
      vals.erase(std::find(vals.begin(), vals.end(), v));
    }
    if (vals.empty()) cles.erase(k);
    --n;
    if (bPeutReduire && nClasse > 0 && n < CHashTableBounce::ms_pnPremiers[nClasse - 1] / 4) {
      --nClasse;
      while (nClasse > 0 && n < CHashTableBounce::ms_pnPremiers[nClasse - 1] / 2) --nClasse;
    }
    return nEnleve;
  }
  void Vide(uint32_t nTaille) {
    if (n == 0) return;
    cles.clear();
    n = 0;
    nClasse = ClassePour(nTaille == 0 ? 7 : nTaille);
    bTableaux = true;
  }

  std::map<uintptr_t, std::vector<uintptr_t>> cles;
  uint32_t n = 0;
  int32_t nClasse;
  bool bTableaux;
};

void VerifieContreModele(const Inspecte& t, const ModeleTable& m, int nEtape) {
  ASSERT_EQ(t.nGetNbElement(), m.n) << "step " << nEtape;
  ASSERT_EQ(t.Classe(), m.nClasse) << "step " << nEtape;
  ASSERT_EQ(t.Capacite(), m.Capacite()) << "step " << nEtape;
  if (m.bTableaux) {
    ASSERT_EQ(t.NbAlveoles(), CHashTableBounce::ms_pnPremiers[m.nClasse]);
    ASSERT_EQ(t.LongueurLibre(), static_cast<int64_t>(m.Capacite() - m.n)) << "step " << nEtape;
    ASSERT_TRUE(t.ChainesCoherentes()) << "step " << nEtape;
  }
  for (const auto& [k, vals] : m.cles) {
    uintptr_t v = 0, cle = 0;
    ASSERT_EQ(t.bCherche(k, &v, &cle), 1) << "step " << nEtape << " key " << k;
    ASSERT_EQ(v, vals.back()) << "step " << nEtape << " key " << k;
    ASSERT_EQ(cle, k);
  }
}

TEST(HashTableBounce, MatchesModelUnderRandomOperations) {
  for (uint32_t nGraine : {1u, 2u, 3u}) {
    std::mt19937 alea(nGraine);
    Inspecte t(nGraine == 1 ? 0 : 7);
    ModeleTable m(nGraine == 1 ? 0 : 7);
    if (nGraine == 3) t.SetFonctionHache(HacheFaible);  // long chains
    uintptr_t nProchaineValeur = 1;
    for (int nEtape = 0; nEtape < 12000; ++nEtape) {
      // Phases: grow to several hundred entries, then drain, twice.
      const bool bCroissance = (nEtape / 3000) % 2 == 0;
      const int nTirage = static_cast<int>(alea() % 100);
      const uintptr_t k = alea() % 700;
      if (nTirage < (bCroissance ? 60 : 25)) {
        ASSERT_EQ(t.bAjoute(k, nProchaineValeur), 1);
        m.Ajoute(k, nProchaineValeur++);
      } else if (nTirage < 90) {
        uintptr_t v = 0, cle = 0;
        const bool bPresent = m.cles.count(k) != 0;
        ASSERT_EQ(t.bSupprime(k, &v, &cle), bPresent ? 1 : 0) << "step " << nEtape;
        if (bPresent) {
          ASSERT_EQ(v, m.Enleve(k, 0, true));
          ASSERT_EQ(cle, k);
        }
      } else if (nTirage < 99) {
        // A walk removing about a third of what it sees, sometimes abandoned.
        const bool bAbandon = alea() % 2 == 0;
        const uint32_t nAvant = m.n;
        bool bAbandonne = false;
        uint32_t nPos = 0;
        uintptr_t v = 0, cle = 0;
        std::vector<std::pair<uintptr_t, uintptr_t>> vus;
        while (true) {
          const bool bEnleve = alea() % 3 == 0;
          if (!t.bParcours(&nPos, bEnleve, &v, &cle)) break;
          vus.emplace_back(cle, v);
          if (bEnleve) m.Enleve(cle, v, false);
          if (bAbandon && alea() % 10 == 0) {
            ASSERT_EQ(t.nFinParcours(), 0);
            bAbandonne = true;
            break;
          }
        }
        ASSERT_EQ(t.Parcours(), 0);
        if (!bAbandonne) {
          ASSERT_EQ(vus.size(), nAvant) << "step " << nEtape;
        }
      } else {
        const uint32_t nTaille = alea() % 300;
        t.Vide(nTaille);
        m.Vide(nTaille);
      }
      VerifieContreModele(t, m, nEtape);
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
