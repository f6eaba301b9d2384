#include "testrunner/model/element.h"

#include <new>

#include <cstring>

#include "support/any_serial.h"
#include "support/platform/text16.h"
#include "support/qgbuffer.h"
#include "support/text_functions.h"
#include "testrunner/model/executable.h"

const char16_t kGroupeAutre[] = u"AUTRE";

namespace {

// Names compare through the host locale, ignoring case and accents.
constexpr uint32_t kOptionsNom = 3;

bool bMemeNom(const char16_t* a, const char16_t* b) {
  return nCompareChaineLocale(a != nullptr ? a : u"", b != nullptr ? b : u"", kOptionsNom) == 0;
}

}  // namespace

// --- visitors ---------------------------------------------------------------------------

int32_t CVisiteurElementTest::nVisiteGroupeExe(CGroupeTestExe& g) { return nVisiteGroupe(g); }
int32_t CVisiteurElementTest::nVisiteListeExe(CListeTestExe& l) { return nVisiteListe(l); }
int32_t CVisiteurElementTest::nVisiteScenario(CScenarioBase& s) { return nVisiteElement(s); }
int32_t CVisiteurElementTest::nVisiteGroupe(CGroupeTestBase& g) { return nVisiteElement(g); }
int32_t CVisiteurElementTest::nVisiteListe(CListeTestBase& l) { return nVisiteElement(l); }

int32_t CVisiteurRechercheParNom::nVisiteElement(CElementTestBase& e) {
  if (e.nGetKind() != m_nKind) return kVisiteEntre;
  if (bMemeNom(e.pszGetNom(), m_pszNom)) {
    m_pclTrouve = &e;
    return kVisiteStop;
  }
  // Groups hold no groups.
  return m_nKind == kElementGroupe ? kVisiteSaute : kVisiteEntre;
}

CVisiteurRechercheParNomComplet::CVisiteurRechercheParNomComplet(CListeTestBase& list,
                                                                 const char16_t* name)
    : m_clListe(list), m_pclDernier(&list) {
  const char16_t* p = name != nullptr ? name : u"";
  for (;;) {
    const char16_t* dot = p;
    while (*dot != 0 && *dot != u'.') ++dot;
    m_tabParties.emplace_back(p, static_cast<size_t>(dot - p));
    if (*dot == 0) break;
    p = dot + 1;
  }
}

int32_t CVisiteurRechercheParNomComplet::nVisiteElement(CElementTestBase& e) {
  if (&e == &m_clListe) return kVisiteEntre;
  CElementTestBase* parent = e.pclGetParentBase();
  const bool autre_fils = m_pclDernier == &m_clListe && parent != nullptr &&
                          parent->pclGetParentBase() == &m_clListe &&
                          parent->nGetKind() == kElementGroupe &&
                          bMemeNom(parent->pszGetNom(), kGroupeAutre) &&
                          !bMemeNom(parent->pszGetNom(), m_tabParties[0].pszGet());
  if (parent != m_pclDernier && !autre_fils) return kVisiteSaute;
  if (bMemeNom(e.pszGetNom(), m_tabParties[m_nPartie].pszGet())) {
    m_pclDernier = &e;
    if (++m_nPartie == m_tabParties.size()) {
      m_pclTrouve = &e;
      return kVisiteStop;
    }
    return kVisiteEntre;
  }
  // The catch-all group is searched as if its children stood under the list.
  if (m_pclDernier == &m_clListe && parent == &m_clListe && e.nGetKind() == kElementGroupe &&
      bMemeNom(e.pszGetNom(), kGroupeAutre)) {
    return kVisiteEntre;
  }
  return kVisiteSaute;
}

// --- element base -------------------------------------------------------------------------

CElementTestBase::~CElementTestBase() {
  for (CElementTestBase* child : m_tabFils) {
    child->m_pclParent = nullptr;
    child->Release();
  }
}

int32_t CElementTestBase::AddRef() { return m_nRef.fetch_add(1, std::memory_order_relaxed) + 1; }

int32_t CElementTestBase::Release() {
  // The last reference: no other holder can change the count any more.
  if (m_nRef.load(std::memory_order_acquire) == 1) {
    delete this;
    return 0;
  }
  int32_t left = m_nRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

namespace {

// Calls the element's visit in the walk variant asked for.
int32_t nVisite(CElementTestBase& e, CVisiteurElementTest& visitor) { return e.nAccepte(visitor); }

// 0 when a stop occurred.
int32_t bParcoursRec(CElementTestBase& e, CVisiteurElementTest& visitor) {
  int32_t answer = nVisite(e, visitor);
  if (answer == kVisiteStop) return 0;
  if (answer != kVisiteEntre) return 1;
  // A visit may not change the tree; index by index stays safe if it does.
  for (int32_t i = 0; i < e.nGetNbFils(); ++i) {
    if (!bParcoursRec(*e.pclFils(static_cast<size_t>(i)), visitor)) return 0;
  }
  return 1;
}

}  // namespace

int32_t CElementTestBase::bParcours(CVisiteurElementTest& visitor) {
  return bParcoursRec(*this, visitor);
}

int32_t CElementTestBase::bParcoursFils(CVisiteurElementTest& visitor) {
  for (size_t i = 0; i < m_tabFils.size(); ++i) {
    if (nVisite(*m_tabFils[i], visitor) == kVisiteStop) return 0;
  }
  return 1;
}

int32_t CElementTestBase::bAttache(IElementTest* parent, int32_t position) {
  CElementTestBase* new_parent = nullptr;
  if (parent != nullptr) {
    if (!parent->bAccepteFils(this) || !bAccepteParent(parent)) return 0;
    // Every element of the model derives from the base.
    new_parent = static_cast<CElementTestBase*>(parent->piElement());
    for (CElementTestBase* p = new_parent; p != nullptr; p = p->m_pclParent) {
      if (p == this) return 0;  // would make a cycle
    }
  }
  AddRef();  // the element lives through the move
  if (m_pclParent != nullptr) {
    // From the end: an element just appended (a group of a name the list
    // has, dropped while reading) is found at once.
    auto& siblings = m_pclParent->m_tabFils;
    for (size_t i = siblings.size(); i-- > 0;) {
      if (siblings[i] == this) {
        siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(i));
        Release();  // the former parent's reference
        break;
      }
    }
    m_pclParent = nullptr;
  }
  if (new_parent != nullptr) {
    auto& children = new_parent->m_tabFils;
    size_t at = position < 0 || static_cast<size_t>(position) > children.size()
                    ? children.size()
                    : static_cast<size_t>(position);
    children.insert(children.begin() + static_cast<std::ptrdiff_t>(at), this);
    AddRef();
    m_pclParent = new_parent;
  }
  Release();
  return 1;
}

void CElementTestBase::AdopteFils(CElementTestBase* child) {
  m_tabFils.push_back(child);
  child->m_pclParent = this;
}

IElementTest* CElementTestBase::piGetFils(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= m_tabFils.size()) return nullptr;
  return m_tabFils[static_cast<size_t>(index)];
}

IElementTest* CElementTestBase::pclChercheFils(const char16_t* name) {
  const char16_t* wanted = name != nullptr ? name : u"";
  const size_t n = qg::StrLen16(wanted);
  for (CElementTestBase* child : m_tabFils) {
    const char16_t* own = child->pszGetNom();
    if (qg::StrLen16(own) == n && std::memcmp(own, wanted, n * sizeof(char16_t)) == 0) {
      return child;
    }
  }
  return nullptr;
}

IElementTest* CElementTestBase::pclChercheFilsParIdentifiant(int64_t id) {
  for (CElementTestBase* child : m_tabFils) {
    if (child->m_nIdentifiant == id) return child;
  }
  return nullptr;
}

void CElementTestBase::NomComplet(CTString& out) const {
  CTString full;
  if (m_pclParent != nullptr) m_pclParent->NomComplet(full);
  std::u16string text(full.pszGet());
  if (!text.empty()) text += u'.';
  text += m_clNom.pszGet();
  out.Set(text.c_str());
}

int32_t CElementTestBase::nGetValeurListe() const {
  return m_pclParent != nullptr ? m_pclParent->nGetValeurListe() : 0;
}

CAny* CElementTestBase::pclGetValeur(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= m_tabValeurs.size()) return nullptr;
  return m_tabValeurs[static_cast<size_t>(index)].get();
}

int32_t CElementTestBase::bAccepteParent(IElementTest*) { return 1; }
int32_t CElementTestBase::bAccepteFils(IElementTest*) { return 1; }

// --- list, group, scenario -------------------------------------------------------------------

int32_t CListeTestBase::bAccepteFils(IElementTest* child) {
  return child != nullptr && child->nGetKind() == kElementGroupe;
}

void CListeTestBase::SetCible(int32_t kind, const char16_t* name) {
  m_nTypeCible = nConvertitTypeAncien(kind);
  m_clNomCible.Set(name);
}

CGroupeTestBase* CListeTestBase::pclChercheGroupe(const char16_t* name) {
  CVisiteurRechercheParNom visitor(name, kElementGroupe);
  bParcours(visitor);
  return visitor.pclTrouve() != nullptr ? visitor.pclTrouve()->pclGroupe() : nullptr;
}

CScenarioBase* CListeTestBase::pclChercheScenario(const char16_t* name) {
  if (name == nullptr) return nullptr;
  CTString group_name;
  const char16_t* rest = group_name.pszExtraitAvantPoint(name);
  if (rest == name) return nullptr;  // no '.': no group named
  CGroupeTestBase* group = pclChercheGroupe(group_name.pszGet());
  if (group == nullptr) return nullptr;
  CVisiteurRechercheParNom visitor(rest, kElementScenario);
  group->bParcours(visitor);
  return visitor.pclTrouve() != nullptr ? visitor.pclTrouve()->pclScenario() : nullptr;
}

CScenarioBase* CListeTestBase::pclChercheTest(const char16_t* name) {
  if (name == nullptr) return nullptr;
  CElementTestBase* found = nullptr;
  bool dotted = false;
  for (const char16_t* p = name; *p != 0; ++p) dotted |= *p == u'.';
  if (!dotted) {
    CVisiteurRechercheParNom visitor(name, kElementScenario);
    bParcours(visitor);
    found = visitor.pclTrouve();
  } else {
    CVisiteurRechercheParNomComplet visitor(*this, name);
    bParcours(visitor);
    found = visitor.pclTrouve();
  }
  return found != nullptr ? found->pclScenario() : nullptr;
}

CGroupeTestBase* CListeTestBase::pclCreeGroupe() { return new CGroupeTestExe(); }

int32_t CGroupeTestBase::bAccepteParent(IElementTest* parent) {
  return parent == nullptr || parent->nGetKind() == kElementListe;
}

int32_t CGroupeTestBase::bAccepteFils(IElementTest* child) {
  return child != nullptr && child->nGetKind() == kElementScenario;
}

CScenarioBase* CGroupeTestBase::pclCreeScenario() { return new CScenarioTestExe(); }

int32_t CScenarioBase::bAccepteParent(IElementTest* parent) {
  return parent == nullptr || parent->nGetKind() == kElementGroupe;
}

CListeTestBase* CScenarioBase::pclGetListe() {
  for (CElementTestBase* p = pclGetParentBase(); p != nullptr; p = p->pclGetParentBase()) {
    if (CListeTestBase* list = p->pclListe()) return list;
  }
  return nullptr;
}

// --- data sets --------------------------------------------------------------------------------

CValeursJeu::~CValeursJeu() {
  for (size_t i = 0; i < m_n; ++i) m_p[i].~Entree();
  if (m_bTas) ::operator delete(m_p);
}

void CValeursJeu::Prete(Entree* storage, size_t capacity) {
  if (m_n != 0 || m_bTas) return;
  m_p = storage;
  m_nCapacite = capacity;
}

void CValeursJeu::PoseEnregistrements(const uint8_t* records, size_t bytes, size_t count,
                                     size_t size) {
  if (m_n != 0 || m_pBrut != nullptr || count > m_nCapacite) return;
  m_pBrut = count != 0 ? records : nullptr;
  m_nOctetsBrut = bytes;
  m_nBrut = count;
  m_nTaille = size;
}

void CValeursJeu::Decode() {
  const uint8_t* p = m_pBrut;
  size_t left = m_nOctetsBrut;
  const size_t n = m_nBrut;
  m_pBrut = nullptr;
  m_nBrut = 0;
  m_nOctetsBrut = 0;
  // The reader checked every record: each one reads, within the bytes.
  for (size_t i = 0; i < n && left >= 4; ++i) {
    int32_t type;
    std::memcpy(&type, p, 4);
    p += 4;
    left -= 4;
    Entree* e = new (&m_p[m_n++]) Entree();
    if (type == 0) continue;
    size_t used = 0;
    if (!qg::bLitCourtOctets(e->clValeur, p, left, &used)) break;
    p += used;
    left -= used;
    // A record holding no value reads as no value.
    e->bPresent = !e->clValeur.bEstVide();
    if (!e->bPresent) e->clValeur = CAny();
  }
}

void CValeursJeu::reserve(size_t n) {
  if (m_pBrut != nullptr) Decode();
  if (n <= m_nCapacite) return;
  auto* p = static_cast<Entree*>(::operator new(n * sizeof(Entree)));
  for (size_t i = 0; i < m_n; ++i) {
    new (&p[i]) Entree(m_p[i]);
    m_p[i].~Entree();
  }
  if (m_bTas) ::operator delete(m_p);
  m_p = p;
  m_nCapacite = n;
  m_bTas = true;
}

CValeursJeu::Entree& CValeursJeu::Nouvelle() {
  if (m_pBrut != nullptr) Decode();
  // Missing entries at the end are stored before the new one.
  for (;;) {
    if (m_n == m_nCapacite) reserve(m_nCapacite < 4 ? 4 : m_nCapacite * 2);
    Entree* e = new (&m_p[m_n++]) Entree();
    if (m_n > m_nTaille) {
      m_nTaille = m_n;
      return *e;
    }
  }
}

void CValeursJeu::push_back(const std::unique_ptr<CAny>& value) {
  Entree& e = Nouvelle();
  if (value != nullptr) {
    e.clValeur = *value;
    e.bPresent = true;
  }
}

CAny& CValeursJeu::Ajoute() {
  Entree& e = Nouvelle();
  e.bPresent = true;
  return e.clValeur;
}

void CValeursJeu::SetAbsent(size_t i) {
  if (m_pBrut != nullptr) Decode();
  if (i >= m_n) return;
  m_p[i].clValeur = CAny();
  m_p[i].bPresent = false;
}

void CValeursJeu::resize(size_t n) {
  if (m_pBrut != nullptr) Decode();
  while (m_n > n) m_p[--m_n].~Entree();
  m_nTaille = n;
}

namespace {

constexpr size_t kDebutValeurs =
    (sizeof(CJeuDeTest) + alignof(CValeursJeu::Entree) - 1) / alignof(CValeursJeu::Entree) *
    alignof(CValeursJeu::Entree);

}  // namespace

CJeuDeTest* CJeuDeTest::Cree(size_t capacity) {
  void* raw = ::operator new(kDebutValeurs + capacity * sizeof(CValeursJeu::Entree), std::nothrow);
  if (raw == nullptr) return nullptr;
  auto* set = new (raw) CJeuDeTest();
  set->m_tabValeurs.Prete(
      reinterpret_cast<CValeursJeu::Entree*>(static_cast<char*>(raw) + kDebutValeurs), capacity);
  return set;
}

CJeuDeTest* CJeuDeTest::CreeDepuisEnregistrements(const uint8_t* records, size_t bytes,
                                                  size_t count, size_t size) {
  // One block: the set, room for its entries, then the records.
  const size_t entries = kDebutValeurs + count * sizeof(CValeursJeu::Entree);
  void* raw = ::operator new(entries + bytes, std::nothrow);
  if (raw == nullptr) return nullptr;
  auto* set = new (raw) CJeuDeTest();
  set->m_tabValeurs.Prete(
      reinterpret_cast<CValeursJeu::Entree*>(static_cast<char*>(raw) + kDebutValeurs), count);
  uint8_t* copy = static_cast<uint8_t*>(raw) + entries;
  if (bytes != 0) std::memcpy(copy, records, bytes);
  set->m_tabValeurs.PoseEnregistrements(copy, bytes, count, size);
  return set;
}

int32_t CJeuDeTest::Release() {
  // The last reference: no other holder can change the count any more.
  int32_t left = m_nRef.load(std::memory_order_acquire) == 1
                     ? 0
                     : m_nRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) {
    // Made by new or by Cree: either way one block from operator new.
    this->~CJeuDeTest();
    ::operator delete(this);
  }
  return left;
}

CDonneesDeTest::~CDonneesDeTest() { Vide(); }

void CDonneesDeTest::Vide() {
  for (CJeuDeTest* set : m_tabJeux) set->Release();
  m_tabJeux.clear();
  m_clStocke = CEnregistrements();
  m_nCourant = -1;
}
