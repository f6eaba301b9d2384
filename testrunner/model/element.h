// The test model: a list holds groups, a group holds scenarios; a scenario
// has parameter descriptions and data sets. Elements are reference-counted
// (count 1 at construction); a parent holds one reference on each child and
// a child points back at its parent without holding it.
//
// The element interface is the one the host calls: every element class
// keeps its slot order. Lists, groups and scenarios are reached through it
// (IListeTest, IGroupeTest and ITest add no operation of their own).
#ifndef QG_TESTRUNNER_MODEL_ELEMENT_H_
#define QG_TESTRUNNER_MODEL_ELEMENT_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "support/any.h"
#include "support/ctstring.h"

class CElementTestBase;
class CListeTestBase;
class CListeTestExe;
class CGroupeTestBase;
class CGroupeTestExe;
class CScenarioBase;
class CScenarioTestExe;
class CVisiteurElementTest;

enum ElementKind : int32_t { kElementListe = 1, kElementGroupe = 2, kElementScenario = 3 };

class IElementTest {
 public:
  virtual int32_t AddRef() = 0;                                          // 0
  virtual int32_t Release() = 0;                                         // 1
  virtual int32_t nGetKind() const = 0;                                  // 2
  virtual IElementTest* piElement() = 0;                                 // 3
  virtual CListeTestBase* pclListe() = 0;                                // 4
  virtual CListeTestExe* pclListeExe() = 0;                              // 5
  virtual CGroupeTestBase* pclGroupe() = 0;                              // 6
  virtual CGroupeTestExe* pclGroupeExe() = 0;                            // 7
  virtual CScenarioBase* pclScenario() = 0;                              // 8
  virtual void* pvCast9() = 0;                                           // 9-13: unused casts
  virtual void* pvCast10() = 0;
  virtual void* pvCast11() = 0;
  virtual void* pvCast12() = 0;
  virtual void* pvCast13() = 0;
  virtual CScenarioTestExe* pclScenarioExe() = 0;                        // 14
  // Depth-first walk (two entries, one per walk variant): 0 as soon as a
  // visit answers 2, else 1.
  virtual int32_t bParcours(CVisiteurElementTest& visitor) = 0;          // 15
  virtual int32_t bParcoursB(CVisiteurElementTest& visitor) = 0;         // 16
  // Visits the direct children only: 0 when one answers 2.
  virtual int32_t bParcoursFilsA(CVisiteurElementTest& visitor) = 0;     // 17
  virtual int32_t bParcoursFils(CVisiteurElementTest& visitor) = 0;      // 18
  virtual IElementTest* piGetParent() = 0;                               // 19
  // Moves the element under `parent` at `position` (negative: appended);
  // null detaches it. 0 when the parent or the element refuses.
  virtual int32_t bAttache(IElementTest* parent, int32_t position) = 0;  // 20
  virtual int32_t nGetNbFils() const = 0;                                // 21
  virtual IElementTest* piGetFils(int32_t index) = 0;                    // 22
  virtual IElementTest* pclChercheFils(const char16_t* name) = 0;        // 23
  virtual IElementTest* pclChercheFilsParIdentifiant(int64_t id) = 0;    // 24
  virtual const char16_t* pszGetNom() const = 0;                         // 25
  virtual int64_t nGetIdentifiant() const = 0;                           // 26
  virtual void NomComplet(CTString& out) const = 0;                      // 27
  // The list's 32-bit value, asked through the parents.
  virtual int32_t nGetValeurListe() const = 0;                           // 28
  virtual int32_t nGetNbValeur() const = 0;                              // 29
  virtual CAny* pclGetValeur(int32_t index) = 0;                         // 30 (may be null)
  virtual int32_t bAccepteParent(IElementTest* parent) = 0;              // 31
  virtual int32_t bAccepteFils(IElementTest* child) = 0;                 // 32
  // Calls the visitor's operation for this element's class.
  virtual int32_t nAccepte(CVisiteurElementTest& visitor) = 0;           // 33
  virtual int32_t nAccepteB(CVisiteurElementTest& visitor) = 0;          // 34

 protected:
  virtual ~IElementTest() = default;
};

using IListeTest = IElementTest;
using IGroupeTest = IElementTest;
using ITest = IElementTest;

// The version of the stored block an element was read from (or is to be
// written with).
class IStdVersion {
 public:
  virtual int32_t nGetVersion() const = 0;
  virtual void SetVersion(int32_t version) = 0;

 protected:
  ~IStdVersion() = default;
};

// Visit answers.
enum : int32_t { kVisiteEntre = 0, kVisiteSaute = 1, kVisiteStop = 2 };

class CVisiteurElementTest {
 public:
  virtual ~CVisiteurElementTest() = default;
  virtual int32_t nVisiteGroupeExe(CGroupeTestExe& g);
  virtual int32_t nVisiteListeExe(CListeTestExe& l);
  virtual int32_t nVisiteScenario(CScenarioBase& s);
  virtual int32_t nVisiteGroupe(CGroupeTestBase& g);
  virtual int32_t nVisiteListe(CListeTestBase& l);
  virtual int32_t nVisiteElement(CElementTestBase& e) = 0;
};

class CElementTestBase : public IElementTest {
 public:
  CElementTestBase(const CElementTestBase&) = delete;
  CElementTestBase& operator=(const CElementTestBase&) = delete;

  int32_t AddRef() override;
  int32_t Release() override;
  IElementTest* piElement() override { return this; }
  CListeTestBase* pclListe() override { return nullptr; }
  CListeTestExe* pclListeExe() override { return nullptr; }
  CGroupeTestBase* pclGroupe() override { return nullptr; }
  CGroupeTestExe* pclGroupeExe() override { return nullptr; }
  CScenarioBase* pclScenario() override { return nullptr; }
  void* pvCast9() override { return nullptr; }
  void* pvCast10() override { return nullptr; }
  void* pvCast11() override { return nullptr; }
  void* pvCast12() override { return nullptr; }
  void* pvCast13() override { return nullptr; }
  CScenarioTestExe* pclScenarioExe() override { return nullptr; }
  int32_t bParcours(CVisiteurElementTest& visitor) override;
  int32_t bParcoursB(CVisiteurElementTest& visitor) override { return bParcours(visitor); }
  int32_t bParcoursFilsA(CVisiteurElementTest& visitor) override { return bParcoursFils(visitor); }
  int32_t bParcoursFils(CVisiteurElementTest& visitor) override;
  IElementTest* piGetParent() override { return m_pclParent; }
  int32_t bAttache(IElementTest* parent, int32_t position) override;
  int32_t nGetNbFils() const override { return static_cast<int32_t>(m_tabFils.size()); }
  IElementTest* piGetFils(int32_t index) override;
  IElementTest* pclChercheFils(const char16_t* name) override;
  IElementTest* pclChercheFilsParIdentifiant(int64_t id) override;
  const char16_t* pszGetNom() const override { return m_clNom.pszGet(); }
  int64_t nGetIdentifiant() const override { return m_nIdentifiant; }
  void NomComplet(CTString& out) const override;
  int32_t nGetValeurListe() const override;
  int32_t nGetNbValeur() const override { return static_cast<int32_t>(m_tabValeurs.size()); }
  CAny* pclGetValeur(int32_t index) override;
  int32_t bAccepteParent(IElementTest* parent) override;
  int32_t bAccepteFils(IElementTest* child) override;
  int32_t nAccepte(CVisiteurElementTest& visitor) override { return visitor.nVisiteElement(*this); }
  int32_t nAccepteB(CVisiteurElementTest& visitor) override { return nAccepte(visitor); }

  // --- model access (not host slots) ----------------------------------------
  CElementTestBase* pclGetParentBase() const { return m_pclParent; }
  CElementTestBase* pclFils(size_t i) const { return m_tabFils[i]; }
  // Appends a child that has no parent yet and that this element accepts
  // (one its factory made), taking over the caller's reference: what
  // bAttache(this, -1) and a Release do, without their reference counting.
  void AdopteFils(CElementTestBase* child);
  void SetNom(const char16_t* name) { m_clNom.Set(name); }
  void SetNom(CTString&& name) { m_clNom = std::move(name); }
  const CTString& clNom() const { return m_clNom; }
  void SetIdentifiant(int64_t id) { m_nIdentifiant = id; }
  int32_t nGetFlag() const { return m_nFlag; }
  void SetFlag(int32_t flag) { m_nFlag = flag; }
  // The values, owned; an entry may be null.
  std::vector<std::unique_ptr<CAny>>& tabValeurs() { return m_tabValeurs; }
  const std::vector<std::unique_ptr<CAny>>& tabValeurs() const { return m_tabValeurs; }

 protected:
  CElementTestBase() = default;
  ~CElementTestBase() override;

 private:
  std::atomic<int32_t> m_nRef{1};
  CTString m_clNom;
  int64_t m_nIdentifiant = 0;
  std::vector<std::unique_ptr<CAny>> m_tabValeurs;
  int32_t m_nFlag = 1;
  CElementTestBase* m_pclParent = nullptr;
  std::vector<CElementTestBase*> m_tabFils;  // one reference each
};

class CScenarioBase;
class CGroupeTestBase;

class CListeTestBase : public CElementTestBase, public IStdVersion {
 public:
  static constexpr int32_t kVersionMax = 4;

  int32_t nGetKind() const override { return kElementListe; }
  CListeTestBase* pclListe() override { return this; }
  int32_t nGetValeurListe() const override { return m_nValeur; }
  int32_t bAccepteParent(IElementTest* parent) override { return parent == nullptr; }
  int32_t bAccepteFils(IElementTest* child) override;
  int32_t nAccepte(CVisiteurElementTest& visitor) override { return visitor.nVisiteListe(*this); }
  int32_t nGetVersion() const override { return m_nVersion; }
  void SetVersion(int32_t version) override { m_nVersion = version; }

  int32_t nGetValeur() const { return m_nValeur; }
  void SetValeur(int32_t v) { m_nValeur = v; }
  int32_t nGetTypeCible() const { return m_nTypeCible; }
  const CTString& clNomCible() const { return m_clNomCible; }
  // Kind and name go together; the kind is mapped from older codes.
  void SetCible(int32_t kind, const char16_t* name);

  // Depth-first walk for the group of that name (locale comparison).
  CGroupeTestBase* pclChercheGroupe(const char16_t* name);
  // "group.scenario": the group by the part before the first '.', the
  // scenario in it by the rest; null when either is missing (or null).
  CScenarioBase* pclChercheScenario(const char16_t* name);
  // A scenario by name: without '.', the whole list is walked; with '.',
  // the parts name elements from the list down (the catch-all group's
  // children standing as if under the list).
  CScenarioBase* pclChercheTest(const char16_t* name);

  // The factory of the list's groups.
  virtual CGroupeTestBase* pclCreeGroupe();

 protected:
  ~CListeTestBase() override = default;

 private:
  int32_t m_nVersion = kVersionMax;
  int32_t m_nValeur = 0;
  int32_t m_nTypeCible = 0;
  CTString m_clNomCible;
};

class CGroupeTestBase : public CElementTestBase, public IStdVersion {
 public:
  static constexpr int32_t kVersionMax = 1;

  int32_t nGetKind() const override { return kElementGroupe; }
  CGroupeTestBase* pclGroupe() override { return this; }
  int32_t bAccepteParent(IElementTest* parent) override;
  int32_t bAccepteFils(IElementTest* child) override;
  int32_t nAccepte(CVisiteurElementTest& visitor) override { return visitor.nVisiteGroupe(*this); }
  int32_t nGetVersion() const override { return m_nVersion; }
  void SetVersion(int32_t version) override { m_nVersion = version; }

  // Scenarios read with their run flag set.
  int32_t nGetNbActifs() const { return m_nNbActifs; }
  void AjouteActif() { ++m_nNbActifs; }

  virtual CScenarioBase* pclCreeScenario();

 protected:
  ~CGroupeTestBase() override = default;

 private:
  int32_t m_nVersion = kVersionMax;
  int32_t m_nNbActifs = 0;
};

// A parameter description.
class CDescriptionParamTestBase {
 public:
  static constexpr int32_t kVersionMax = 2;

  CDescriptionParamTestBase() = default;
  CDescriptionParamTestBase(const CDescriptionParamTestBase&) = default;
  CDescriptionParamTestBase(CDescriptionParamTestBase&&) noexcept = default;
  CDescriptionParamTestBase& operator=(const CDescriptionParamTestBase&) = default;
  CDescriptionParamTestBase& operator=(CDescriptionParamTestBase&&) noexcept = default;
  // Slots in the host's order: the four readers, then the destructor.
  virtual const char16_t* pszGetNom() const { return m_clNom.pszGet(); }
  virtual int32_t nGetValeur() const { return m_nValeur; }
  virtual uint16_t nGetValeur16() const { return m_nValeur16; }
  virtual const char16_t* pszGetTexte() const { return m_clTexte.pszGet(); }
  virtual ~CDescriptionParamTestBase() = default;

  CTString m_clNom;
  int32_t m_nValeur = 0;
  uint16_t m_nValeur16 = 0;
  CTString m_clTexte;
  int64_t m_nValeur64 = 0;
  uint16_t m_nValeur16b = 0;
  int32_t m_nVersion = kVersionMax;
};
using IParamTest = CDescriptionParamTestBase;

// The stored form of part of a scenario, kept as read (checked whole by the
// reader) until the model needs it: most scenarios of a long list are never
// played. The bytes lie in the block the list was read from, which the list
// took over from its buffer; each record holds a share of that block.
struct CEnregistrements {
  std::shared_ptr<const uint8_t> pOctets;
  size_t nOctets = 0;
  size_t nElements = 0;  // entries the bytes hold
  size_t nParametres = 0;  // for data sets: the values each one keeps
};

// A scenario's parameter descriptions, held in one array: entry i is a
// pointer to description i. Pointers stay valid until the next one is
// added. Descriptions read from a list may stay stored until the first
// access to one of them (a const access included: the array is never
// itself const, and is used by one thread at a time).
class CTabParams {
 public:
  size_t size() const { return m_clStocke.pOctets ? m_clStocke.nElements : m_tab.size(); }
  bool empty() const { return size() == 0; }
  CDescriptionParamTestBase* operator[](size_t i) {
    if (m_clStocke.pOctets) Construit();
    return &m_tab[i];
  }
  const CDescriptionParamTestBase* operator[](size_t i) const {
    return const_cast<CTabParams&>(*this)[i];
  }
  void reserve(size_t n) {
    if (m_clStocke.pOctets) Construit();
    m_tab.reserve(n);
  }
  void clear() {
    m_clStocke = CEnregistrements();
    m_tab.clear();
  }
  // Appends a copy of the description.
  void push_back(const std::unique_ptr<CDescriptionParamTestBase>& p) {
    if (m_clStocke.pOctets) Construit();
    m_tab.push_back(*p);
  }
  // Appends a description to be filled in place.
  CDescriptionParamTestBase& Ajoute() {
    if (m_clStocke.pOctets) Construit();
    return m_tab.emplace_back();
  }
  void pop_back() {
    if (m_clStocke.pOctets) Construit();
    m_tab.pop_back();
  }
  // Replaces the descriptions with stored ones: per description an i32
  // size and its block (testrunner/model/reader.h).
  void Stocke(CEnregistrements stored) {
    m_tab.clear();
    m_clStocke = std::move(stored);
  }

 private:
  void Construit();
  std::vector<CDescriptionParamTestBase> m_tab;
  CEnregistrements m_clStocke;
};

class CDescriptionListeParamTestBase {
 public:
  static constexpr int32_t kVersionMax = 0;
  CTabParams m_tabParams;
};

// The values of one data set, held in place: entry i is the value of
// parameter i, or null when the set has none for it. Entries live in
// storage lent by the set (its own allocation) until they outgrow it;
// missing entries at the end take no storage. Pointers to entries stay
// valid until the next entry is added.
//
// A set read from a list may keep its value records as stored (checked
// whole by the reader) and build the entries at the first access to any
// of them: most sets of a long list are never played. A set is used by one
// thread at a time and is never itself const, though a const access may
// build its entries.
class CValeursJeu {
 public:
  CValeursJeu() = default;
  ~CValeursJeu();
  CValeursJeu(const CValeursJeu&) = delete;
  CValeursJeu& operator=(const CValeursJeu&) = delete;

  size_t size() const { return m_nTaille; }
  bool empty() const { return m_nTaille == 0; }
  CAny* operator[](size_t i) {
    if (m_pBrut != nullptr) Decode();
    return i < m_n && m_p[i].bPresent ? &m_p[i].clValeur : nullptr;
  }
  const CAny* operator[](size_t i) const {
    return const_cast<CValeursJeu&>(*this)[i];
  }
  void reserve(size_t n);
  void clear() { resize(0); }
  // Appends a copy of the value, or a missing value for null.
  void push_back(const std::unique_ptr<CAny>& value);
  // Appends an empty value to be filled in place.
  CAny& Ajoute();
  // Entry i becomes missing.
  void SetAbsent(size_t i);
  // Keeps the first n entries, adding missing ones up to n.
  void resize(size_t n);

  struct Entree {
    CAny clValeur;
    bool bPresent = false;
  };
  // Storage for `capacity` entries that outlives these values (not owned).
  void Prete(Entree* storage, size_t capacity);
  // The first `count` entries (at most the lent capacity) are the stored
  // records at `records` (`bytes` bytes: per entry an i32 type, then a
  // value record when the type is not 0), which outlive these values and
  // were checked whole; `size` entries in all, the others missing. Only on
  // values without entries.
  void PoseEnregistrements(const uint8_t* records, size_t bytes, size_t count, size_t size);
  // Whether the stored records still wait to be built.
  bool bEnAttente() const { return m_pBrut != nullptr; }

 private:
  Entree& Nouvelle();
  // Builds the entries of the stored records.
  void Decode();
  Entree* m_p = nullptr;
  size_t m_n = 0;        // entries stored
  size_t m_nTaille = 0;  // entries, the missing ones at the end included
  size_t m_nCapacite = 0;
  bool m_bTas = false;  // m_p was allocated here
  const uint8_t* m_pBrut = nullptr;  // stored records not built yet, or null
  size_t m_nOctetsBrut = 0;
  size_t m_nBrut = 0;
};

// One data set: exactly one value per parameter; a null entry is missing.
class CJeuDeTest {
 public:
  CJeuDeTest() = default;
  CJeuDeTest(const CJeuDeTest&) = delete;
  CJeuDeTest& operator=(const CJeuDeTest&) = delete;
  // A set whose first `capacity` values share its allocation; null when
  // memory runs out.
  static CJeuDeTest* Cree(size_t capacity);
  // A set of `size` values whose first `count` are the stored records at
  // `records` (see CValeursJeu::PoseEnregistrements), copied into its
  // allocation; null when memory runs out.
  static CJeuDeTest* CreeDepuisEnregistrements(const uint8_t* records, size_t bytes,
                                                size_t count, size_t size);
  int32_t AddRef() { return m_nRef.fetch_add(1) + 1; }
  int32_t Release();

  CValeursJeu m_tabValeurs;

 private:
  ~CJeuDeTest() = default;
  std::atomic<int32_t> m_nRef{1};
};

// A scenario's data sets. Sets read from a list may stay stored until the
// first access to one of them (a const access included: the sets are never
// themselves const, and are used by one thread at a time).
class CDonneesDeTest {
 public:
  CDonneesDeTest() = default;
  ~CDonneesDeTest();
  CDonneesDeTest(const CDonneesDeTest&) = delete;
  CDonneesDeTest& operator=(const CDonneesDeTest&) = delete;
  // Takes over the caller's reference.
  void Ajoute(CJeuDeTest* set) {
    if (m_clStocke.pOctets) Construit();
    m_tabJeux.push_back(set);
  }
  void Vide();
  size_t nGetNb() const { return m_clStocke.pOctets ? m_clStocke.nElements : m_tabJeux.size(); }
  CJeuDeTest* pclGetJeu(size_t i) const {
    if (m_clStocke.pOctets) const_cast<CDonneesDeTest*>(this)->Construit();
    return m_tabJeux[i];
  }
  // Replaces the sets with stored ones: set blocks, each keeping
  // `nParametres` values (testrunner/model/reader.h).
  void Stocke(CEnregistrements stored) {
    Vide();
    m_clStocke = std::move(stored);
  }

  int32_t m_nCourant = -1;

 private:
  void Construit();
  std::vector<CJeuDeTest*> m_tabJeux;  // one reference each
  CEnregistrements m_clStocke;
};

class CScenarioBase : public CElementTestBase, public IStdVersion {
 public:
  static constexpr int32_t kVersionMax = 7;

  int32_t nGetKind() const override { return kElementScenario; }
  CScenarioBase* pclScenario() override { return this; }
  int32_t bAccepteParent(IElementTest* parent) override;
  int32_t bAccepteFils(IElementTest*) override { return 0; }
  int32_t nAccepte(CVisiteurElementTest& visitor) override { return visitor.nVisiteScenario(*this); }
  int32_t nGetVersion() const override { return m_nVersion; }
  void SetVersion(int32_t version) override { m_nVersion = version; }

  // The list the scenario stands in, or null.
  CListeTestBase* pclGetListe();

  int64_t m_nValeur64 = 0;
  int32_t m_nExecute = 0;  // run flag
  int32_t m_nOption = 0;   // 0 or 1
  CDonneesDeTest m_clDonnees;
  CDescriptionListeParamTestBase m_clParams;

 protected:
  ~CScenarioBase() override = default;

 private:
  int32_t m_nVersion = kVersionMax;
};

// Stops at the first group (or scenario) whose name compares equal
// through the host locale (options 3).
class CVisiteurRechercheParNom : public CVisiteurElementTest {
 public:
  CVisiteurRechercheParNom(const char16_t* name, int32_t kind) : m_pszNom(name), m_nKind(kind) {}
  int32_t nVisiteElement(CElementTestBase& e) override;
  CElementTestBase* pclTrouve() const { return m_pclTrouve; }

 private:
  const char16_t* m_pszNom;
  int32_t m_nKind;
  CElementTestBase* m_pclTrouve = nullptr;
};

// Looks a dotted name up part by part from the list down; the list is the
// first match, and its catch-all group "AUTRE" has its children taken as
// if they stood under the list while no part matched yet.
class CVisiteurRechercheParNomComplet : public CVisiteurElementTest {
 public:
  CVisiteurRechercheParNomComplet(CListeTestBase& list, const char16_t* name);
  int32_t nVisiteElement(CElementTestBase& e) override;
  CElementTestBase* pclTrouve() const { return m_pclTrouve; }

 private:
  std::vector<CTString> m_tabParties;
  size_t m_nPartie = 0;
  CListeTestBase& m_clListe;
  CElementTestBase* m_pclDernier;  // the last match
  CElementTestBase* m_pclTrouve = nullptr;
};

// The catch-all group's name.
extern const char16_t kGroupeAutre[];

#endif  // QG_TESTRUNNER_MODEL_ELEMENT_H_
