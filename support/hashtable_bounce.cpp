#include "support/hashtable_bounce.h"

#include <cstdlib>
#include <cstring>

const uint32_t CHashTableBounce::ms_pnPremiers[kNbClasses] = {
    17u,        53u,        97u,        193u,       389u,        769u,
    1543u,      3079u,      6151u,      12289u,     24593u,      49157u,
    98317u,     196613u,    393241u,    786433u,    1572869u,    3145739u,
    6291469u,   12582917u,  25165843u,  50331653u,  100663319u,  201326611u,
    402653189u, 805306457u, 1610612741u, 3221225473u, 4294967291u};

namespace {

constexpr int32_t kClasseMax = CHashTableBounce::kNbClasses - 1;

uint32_t nCapaciteClasse(int32_t nClasse) {
  return CHashTableBounce::ms_pnPremiers[nClasse] / 2;
}

// Chains slots [nDebut, nFin) (0-based) as free, the last one pointing at
// nSuite (a 1-based index or 0).
void ChaineLibres(STEntreeBounce* pclEntree, uint32_t nDebut, uint32_t nFin, int32_t nSuite) {
  for (uint32_t i = nDebut; i < nFin; ++i) {
    pclEntree[i].nCle = 0;
    pclEntree[i].nValeur = 0;
    pclEntree[i].nPrecedent = -1;
    pclEntree[i].nSuivant = (i + 1 < nFin) ? static_cast<int32_t>(i + 2) : nSuite;
  }
}

}  // namespace

CHashTableBounce::CHashTableBounce(uint32_t nTaille)
    : pclEntree(nullptr),
      nCapacite(0),
      nLibre(0),
      pnAlveole(nullptr),
      nNbAlveole(0),
      nNbElement(0),
      nParcours(0),
      pfnCompare(nullptr),
      pfnHache(nullptr),
      nClasse(0) {
  if (nTaille != 0) Initialise(nTaille, false);
}

CHashTableBounce::~CHashTableBounce() { LibereTableaux(); }

void CHashTableBounce::LibereTableaux() {
  std::free(pclEntree);
  std::free(pnAlveole);
  pclEntree = nullptr;
  pnAlveole = nullptr;
  nCapacite = 0;
  nNbAlveole = 0;
  nLibre = 0;
  nNbElement = 0;
}

void CHashTableBounce::Initialise(uint32_t nTaille, bool bRemiseAZero) {
  LibereTableaux();
  if (bRemiseAZero) nClasse = 0;
  while (nClasse < kClasseMax && nCapaciteClasse(nClasse) < nTaille) ++nClasse;
  const uint32_t nCap = nCapaciteClasse(nClasse);
  const uint32_t nAlv = ms_pnPremiers[nClasse];
  auto* pEntrees = static_cast<STEntreeBounce*>(std::malloc(sizeof(STEntreeBounce) * size_t{nCap}));
  auto* pAlveoles = static_cast<int32_t*>(std::calloc(nAlv, sizeof(int32_t)));
  if (pEntrees == nullptr || pAlveoles == nullptr) {
    std::free(pEntrees);
    std::free(pAlveoles);
    return;
  }
  ChaineLibres(pEntrees, 0, nCap, 0);
  pclEntree = pEntrees;
  pnAlveole = pAlveoles;
  nCapacite = nCap;
  nNbAlveole = nAlv;
  nLibre = nCap > 0 ? 1 : 0;
}

CHashTableBounce* CHashTableBounce::SetFonctionCompare(PFN_COMPARE pfn) {
  pfnCompare = pfn;
  return this;
}

CHashTableBounce* CHashTableBounce::SetFonctionHache(PFN_HACHE pfn) {
  pfnHache = pfn;
  return this;
}

CHashTableBounce::PFN_COMPARE CHashTableBounce::pfnGetFonctionCompare() const { return pfnCompare; }
CHashTableBounce::PFN_HACHE CHashTableBounce::pfnGetFonctionHache() const { return pfnHache; }

uint32_t CHashTableBounce::nGetNbElement() const { return nNbElement; }

// Without callbacks the key's own word is compared and hashed.
uint32_t CHashTableBounce::nAlveoleDe(uintptr_t nCle) const {
  const uint32_t nHache = pfnHache != nullptr ? pfnHache(nCle) : static_cast<uint32_t>(nCle);
  return nHache % nNbAlveole;
}

int CHashTableBounce::nCompareCles(uintptr_t nCle, uintptr_t nCleEntree) const {
  if (pfnCompare != nullptr) return pfnCompare(nCle, nCleEntree);
  return nCle == nCleEntree ? 0 : 1;
}

int64_t CHashTableBounce::nTrouve(uintptr_t nCle) const {
  if (nNbElement == 0 || pnAlveole == nullptr) return -1;
  for (int32_t n = pnAlveole[nAlveoleDe(nCle)]; n != 0; n = pclEntree[n - 1].nSuivant) {
    if (nCompareCles(nCle, pclEntree[n - 1].nCle) == 0) return n - 1;
  }
  return -1;
}

int CHashTableBounce::bAjoute(uintptr_t nCle, uintptr_t nValeur) {
  if (nLibre == 0 && !bAgrandit()) return 0;
  const uint32_t nIndex = static_cast<uint32_t>(nLibre - 1);
  STEntreeBounce& e = pclEntree[nIndex];
  nLibre = e.nSuivant;
  e.nCle = nCle;
  e.nValeur = nValeur;
  e.nPrecedent = 0;
  const uint32_t nAlveole = nAlveoleDe(nCle);
  e.nSuivant = pnAlveole[nAlveole];
  if (e.nSuivant != 0) pclEntree[e.nSuivant - 1].nPrecedent = static_cast<int32_t>(nIndex + 1);
  pnAlveole[nAlveole] = static_cast<int32_t>(nIndex + 1);
  ++nNbElement;
  return 1;
}

void CHashTableBounce::Detache(STEntreeBounce* pEntrees, uint32_t nAlveole, uint32_t nIndex) {
  STEntreeBounce& e = pEntrees[nIndex];
  if (e.nSuivant != 0) pEntrees[e.nSuivant - 1].nPrecedent = e.nPrecedent;
  if (e.nPrecedent != 0) {
    pEntrees[e.nPrecedent - 1].nSuivant = e.nSuivant;
  } else {
    pnAlveole[nAlveole] = e.nSuivant;
  }
  e.nPrecedent = -1;
  e.nSuivant = nLibre;
  nLibre = static_cast<int32_t>(nIndex + 1);
  --nNbElement;
}

int CHashTableBounce::bSupprime(uintptr_t nCle, uintptr_t* pnValeur, uintptr_t* pnCle) {
  const int64_t n = nTrouve(nCle);
  if (n < 0) return 0;
  const uint32_t nIndex = static_cast<uint32_t>(n);
  if (pnValeur != nullptr) *pnValeur = pclEntree[nIndex].nValeur;
  if (pnCle != nullptr) *pnCle = pclEntree[nIndex].nCle;
  Detache(pclEntree, nAlveoleDe(pclEntree[nIndex].nCle), nIndex);
  // Hysteresis: shrink only below a quarter of the previous class's prime.
  if (nParcours == 0 && nClasse > 0 && nNbElement < ms_pnPremiers[nClasse - 1] / 4) bReduit();
  return 1;
}

int CHashTableBounce::bParcours(uint32_t* pnPosition, int bSupprimeEntree, uintptr_t* pnValeur,
                                uintptr_t* pnCle) {
  uint32_t nPos = *pnPosition;
  if (nPos == 0) ++nParcours;
  while (nPos < nCapacite && pclEntree[nPos].nPrecedent < 0) ++nPos;
  if (nPos >= nCapacite) {
    if (nParcours > 0) --nParcours;
    *pnPosition = nPos;
    return 0;
  }
  if (pnValeur != nullptr) *pnValeur = pclEntree[nPos].nValeur;
  if (pnCle != nullptr) *pnCle = pclEntree[nPos].nCle;
  if (bSupprimeEntree) Detache(pclEntree, nAlveoleDe(pclEntree[nPos].nCle), nPos);
  *pnPosition = nPos + 1;
  return 1;
}

int32_t CHashTableBounce::nFinParcours() {
  if (nParcours > 0) --nParcours;
  return nParcours;
}

int CHashTableBounce::bCherche(uintptr_t nCle, uintptr_t* pnValeur, uintptr_t* pnCle) const {
  const int64_t n = nTrouve(nCle);
  if (n < 0) return 0;
  if (pnValeur != nullptr) *pnValeur = pclEntree[n].nValeur;
  if (pnCle != nullptr) *pnCle = pclEntree[n].nCle;
  return 1;
}

uintptr_t* CHashTableBounce::pnCherche(uintptr_t nCle) {
  const int64_t n = nTrouve(nCle);
  return n < 0 ? nullptr : &pclEntree[n].nValeur;
}

int CHashTableBounce::bAgrandit() {
  if (nClasse >= kClasseMax) return 0;
  const int32_t nNouvelleClasse = nClasse + 1;
  const uint32_t nCap = nCapaciteClasse(nNouvelleClasse);
  const uint32_t nAlv = ms_pnPremiers[nNouvelleClasse];
  // Both blocks are obtained before anything changes, so a failure keeps
  // the table as it was.
  auto* pAlveoles = static_cast<int32_t*>(std::calloc(nAlv, sizeof(int32_t)));
  if (pAlveoles == nullptr) return 0;
  auto* pEntrees = static_cast<STEntreeBounce*>(
      std::realloc(pclEntree, sizeof(STEntreeBounce) * size_t{nCap}));
  if (pEntrees == nullptr) {
    std::free(pAlveoles);
    return 0;
  }
  // Only the new slots join the free list, in front of any free slots left.
  ChaineLibres(pEntrees, nCapacite, nCap, nLibre);
  nLibre = static_cast<int32_t>(nCapacite + 1);
  pclEntree = pEntrees;
  nCapacite = nCap;
  ReporteChaines(pAlveoles, nAlv);
  nClasse = nNouvelleClasse;
  return 1;
}

int CHashTableBounce::bReduit() {
  if (nClasse <= 0 || pclEntree == nullptr) return 0;
  int32_t nNouvelleClasse = nClasse - 1;
  while (nNouvelleClasse > 0 && nNbElement < ms_pnPremiers[nNouvelleClasse - 1] / 2) --nNouvelleClasse;
  const uint32_t nCap = nCapaciteClasse(nNouvelleClasse);
  if (nNbElement > nCap) return 0;
  const uint32_t nAlv = ms_pnPremiers[nNouvelleClasse];
  auto* pAlveoles = static_cast<int32_t*>(std::calloc(nAlv, sizeof(int32_t)));
  if (pAlveoles == nullptr) return 0;
  Compacte(nCap);
  // A shrinking reallocation that fails leaves the larger block, still valid.
  auto* pEntrees = static_cast<STEntreeBounce*>(
      std::realloc(pclEntree, sizeof(STEntreeBounce) * size_t{nCap}));
  if (pEntrees != nullptr) pclEntree = pEntrees;
  nCapacite = nCap;
  ReporteChaines(pAlveoles, nAlv);
  nClasse = nNouvelleClasse;
  return 1;
}

void CHashTableBounce::Compacte(uint32_t nNouvelleCapacite) {
  if (pclEntree == nullptr || nNouvelleCapacite > nCapacite || nNbElement > nNouvelleCapacite) return;
  uint32_t nBas = 0;  // where the search for a free slot resumes
  for (uint32_t j = nCapacite; j-- > nNouvelleCapacite;) {
    if (pclEntree[j].nPrecedent < 0) continue;
    while (nBas < nNouvelleCapacite && pclEntree[nBas].nPrecedent >= 0) ++nBas;
    if (nBas >= nNouvelleCapacite) return;  // unreachable: count checked above
    STEntreeBounce& e = pclEntree[j];
    const int32_t nNouveau = static_cast<int32_t>(nBas + 1);
    if (e.nPrecedent != 0) {
      pclEntree[e.nPrecedent - 1].nSuivant = nNouveau;
    } else {
      pnAlveole[nAlveoleDe(e.nCle)] = nNouveau;
    }
    if (e.nSuivant != 0) pclEntree[e.nSuivant - 1].nPrecedent = nNouveau;
    pclEntree[nBas] = e;
    e.nPrecedent = -1;
    e.nSuivant = 0;
    ++nBas;
  }
  // Free slots below the new capacity, listed downwards.
  int32_t nTete = 0;
  for (uint32_t i = 0; i < nNouvelleCapacite; ++i) {
    if (pclEntree[i].nPrecedent < 0) {
      pclEntree[i].nSuivant = nTete;
      nTete = static_cast<int32_t>(i + 1);
    }
  }
  nLibre = nTete;
}

// Moves every chain into the new, zeroed bucket array and frees the old one.
// Each old chain is replayed from its tail so that entries of equal keys,
// which always share a chain, keep their newest-first order.
void CHashTableBounce::ReporteChaines(int32_t* pnNouvelles, uint32_t nNbNouvelles) {
  int32_t* pnAnciennes = pnAlveole;
  const uint32_t nNbAnciennes = nNbAlveole;
  pnAlveole = pnNouvelles;
  nNbAlveole = nNbNouvelles;
  for (uint32_t b = 0; pnAnciennes != nullptr && b < nNbAnciennes; ++b) {
    int32_t n = pnAnciennes[b];
    if (n == 0) continue;
    while (pclEntree[n - 1].nSuivant != 0) n = pclEntree[n - 1].nSuivant;
    while (n != 0) {
      STEntreeBounce& e = pclEntree[n - 1];
      const int32_t nAvant = e.nPrecedent;
      const uint32_t nAlveole = nAlveoleDe(e.nCle);
      e.nPrecedent = 0;
      e.nSuivant = pnAlveole[nAlveole];
      if (e.nSuivant != 0) pclEntree[e.nSuivant - 1].nPrecedent = n;
      pnAlveole[nAlveole] = n;
      n = nAvant;
    }
  }
  std::free(pnAnciennes);
}

void CHashTableBounce::RecalculeHachage() {
  if (pnAlveole == nullptr) return;
  std::memset(pnAlveole, 0, sizeof(int32_t) * size_t{nNbAlveole});
  uint32_t nVus = 0;
  for (uint32_t i = 0; i < nCapacite && nVus < nNbElement; ++i) {
    STEntreeBounce& e = pclEntree[i];
    if (e.nPrecedent < 0) continue;
    ++nVus;
    const uint32_t nAlveole = nAlveoleDe(e.nCle);
    e.nPrecedent = 0;
    e.nSuivant = pnAlveole[nAlveole];
    if (e.nSuivant != 0) pclEntree[e.nSuivant - 1].nPrecedent = static_cast<int32_t>(i + 1);
    pnAlveole[nAlveole] = static_cast<int32_t>(i + 1);
  }
}

void CHashTableBounce::Vide(uint32_t nTaille) {
  if (nNbElement == 0) return;
  Initialise(nTaille == 0 ? 7 : nTaille, true);
}

int CHashTableBounce::bModifieValeur(uint32_t nPosition, uintptr_t nValeur, uintptr_t* pnAncienne) {
  if (nPosition == 0 || nPosition > nCapacite) return 0;
  if (pnAncienne != nullptr) *pnAncienne = pclEntree[nPosition - 1].nValeur;
  pclEntree[nPosition - 1].nValeur = nValeur;
  return 1;
}

int CHashTableBounce::bModifieCle(uint32_t nPosition, uintptr_t nCle, uintptr_t* pnAncienne) {
  if (nPosition == 0 || nPosition > nCapacite) return 0;
  if (pnAncienne != nullptr) *pnAncienne = pclEntree[nPosition - 1].nCle;
  pclEntree[nPosition - 1].nCle = nCle;
  return 1;
}
