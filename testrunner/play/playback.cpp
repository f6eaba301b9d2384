// Playback: lists, groups and scenarios run against the host's program
// interface, one pass per data set, everything written to the journal.
#include <string>

#include "errors/catalogue.h"
#include "errors/module_errors.h"
#include "support/platform/module.h"
#include "support/platform/text16.h"
#include "support/streams/path_functions.h"
#include "support/text_functions.h"
#include "testrunner/journal/journal_file.h"
#include "testrunner/model/executable.h"
#include "support/param_zone.h"
#include "testrunner/play/values.h"
#include "testrunner/runner/companion.h"
#include "testrunner/recorder/recorder.h"
#include "testrunner/runner/test_factory.h"

namespace {

constexpr int32_t kEvDebut = 1900544;
constexpr int32_t kEvFin = 1900546;
constexpr int32_t kEvScenarioDebut = 1900555;
constexpr int32_t kEvPassage = 1900556;
constexpr int32_t kEvScenarioFin = 1900557;

bool bMemeNom(const char16_t* a, const char16_t* b) { return nCompareChaineLocale(a, b, 3) == 0; }

// A name that stays inside its folder.
bool bNomSur(const char16_t* name) {
  if (name == nullptr || *name == 0) return false;
  const std::u16string s(name);
  return s.find(u'\\') == std::u16string::npos && s.find(u'/') == std::u16string::npos &&
         s.find(u"..") == std::u16string::npos;
}

void Marque(CElementTestBase& e, bool selected) {
  if (CScenarioTestExe* s = e.pclScenarioExe()) {
    s->m_bSelectionne = selected;
    if (selected) {
      if (CGroupeTestExe* g = s->pclGroupeParent()) g->m_bExecute = true;
    }
  }
  if (CGroupeTestExe* g = e.pclGroupeExe()) {
    if (selected) g->m_bExecute = true;
  }
  for (int32_t i = 0; i < e.nGetNbFils(); ++i) Marque(*e.pclFils(static_cast<size_t>(i)), selected);
}

}  // namespace

// --- values -----------------------------------------------------------------------------------

std::u16string TexteValeur(const CAny* v) {
  if (v == nullptr || v->bEstNull() || v->bEstVide()) return u"";
  CXYString<char16_t> text;
  if (v->nGetTexte(&text) >= 100) return u"";
  return text.pszGet() != nullptr ? std::u16string(text.pszGet()) : u"";
}

bool bValeursEgales(const CAny* a, const CAny* b) {
  const bool a_null = a == nullptr || a->bEstNull() || a->bEstVide();
  const bool b_null = b == nullptr || b->bEstNull() || b->bEstVide();
  if (a_null || b_null) return a_null == b_null;
  int32_t order = 0;
  if (a->nCompare(*b, &order) < 100) return order == 0;
  if (a->nGetCode() == b->nGetCode() && a->nGetCode() == 8) {
    int32_t x = 0, y = 0;
    a->nGetI4(&x);
    b->nGetI4(&y);
    return x == y;
  }
  return TexteValeur(a) == TexteValeur(b);
}

// --- lists ------------------------------------------------------------------------------------

CListeTestExe::~CListeTestExe() {
  if (m_piVM != nullptr) m_piVM->Release();
}

qg::IMainVM* CListeTestExe::SetVM(qg::IMainVM* vm) {
  qg::IMainVM* previous = m_piVM;
  if (vm != nullptr) vm->AddRef();
  m_piVM = vm;
  return previous;
}

int32_t CListeTestExe::AppelleEvenement(CTestFactory& runner, int32_t code, CXError* error) {
  qg::IMainVM* vm = m_piVM != nullptr ? m_piVM : runner.piGetVM();
  if (vm == nullptr) return 0;
  qg::EventContext context;
  context.hListe = m_hListe;
  vm->Contexte(&context, 1);
  _CXErrorModule54 event_error;
  const int32_t result = vm->nEvenement(nGetIdentifiant(), code, &event_error, 0, 0);
  vm->Contexte(&context, 0);
  if (event_error.nGetNiveau() != 1 && error != nullptr) *error = event_error;
  return result;
}

void CListeTestExe::SetParam(CTestFactory& runner, const char16_t* selection) {
  (void)runner;
  const std::u16string text = selection != nullptr ? selection : u"";
  if (text.empty()) {
    Marque(*this, true);
    return;
  }
  Marque(*this, false);
  for (int32_t i = 0; i < nGetNbFils(); ++i) {
    if (CGroupeTestExe* g = pclFils(static_cast<size_t>(i))->pclGroupeExe()) g->m_bExecute = false;
  }
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    const std::u16string line = text.substr(start, end - start);
    if (!line.empty()) {
      CVisiteurRechercheParNomComplet visitor(*this, line.c_str());
      bParcours(visitor);
      CElementTestBase* found = visitor.pclTrouve();
      // A name without "." that names no group is a scenario anywhere in
      // the list.
      if (found == nullptr && line.find(u'.') == std::u16string::npos) {
        found = pclChercheTest(line.c_str());
      }
      if (found != nullptr) Marque(*found, true);
    }
    start = end + 2;
  }
}

bool CListeTestExe::bDemarre(CTestFactory& runner, CXError* error) {
  qg::IMainVM* vm = runner.piGetVM();
  if (vm == nullptr) return false;
  m_hListe = vm->hDebutListe(pszGetNom(), nGetIdentifiant(), error);
  if (m_hListe == 0) return false;
  qg::IMainVM* previous = SetVM(vm);
  // Without a journal, one beside the tests, unless the run named its own:
  // a journal asked for at a path that cannot be written is not written
  // elsewhere.
  if (runner.pclJournal() == nullptr && !runner.bJournalDemande() && bNomSur(pszGetNom())) {
    char16_t path[qg::kPathCapacity + 8];
    if (MakeResourcePath(path, runner.clParam().clRepertoire.c_str(), pszGetNom())) {
      runner.OuvreJournal(path);
    }
  }
  if (CFichierJournalTest* journal = runner.pclJournal()) journal->Ecrit(kJListe, pszGetNom());
  AppelleEvenement(runner, kEvDebut, error);
  qg::IMainVM* mine = SetVM(previous);
  if (mine != nullptr) mine->Release();
  if (previous != nullptr) previous->Release();
  m_bDemarree = true;
  return true;
}

bool CListeTestExe::bTermine(CTestFactory& runner, CXError* error) {
  if (!m_bDemarree) return true;
  // Groups started on their own (a scenario run from code) end first.
  for (int32_t i = 0; i < nGetNbFils(); ++i) {
    CGroupeTestExe* g = pclFils(static_cast<size_t>(i))->pclGroupeExe();
    if (g != nullptr && g->m_hGroupe != 0 && !g->m_bFinDifferee) g->Termine(runner, error);
  }
  AppelleEvenement(runner, kEvFin, error);
  if (qg::IMainVM* vm = runner.piGetVM()) vm->FinListe(m_hListe);
  m_bDemarree = false;
  m_hListe = 0;
  if (CFichierJournalTest* journal = runner.pclJournal()) journal->Ferme(kJListe);
  // A journal that failed to write fails the end.
  return runner.pclJournal() == nullptr || runner.FermeJournal() != 0;
}

bool CListeTestExe::bExecuteTest(CTestFactory& runner, CXError* error) {
  for (int32_t i = 0; i < nGetNbFils(); ++i) {
    CGroupeTestExe* g = pclFils(static_cast<size_t>(i))->pclGroupeExe();
    if (g == nullptr || !g->m_bExecute) continue;
    if (g->nGetNbFils() == 0 && runner.clParam().nEtat != kEtatEnregistrement) continue;
    if (!g->bExecute(runner, error)) return false;
  }
  return true;
}

int32_t CListeTestExe::bFinExecution(CTestFactory& runner, qg::IMainVM* vm) {
  qg::IMainVM* previous = SetVM(vm);
  if (vm != nullptr) {
    vm->nAppelle(0x1D0002);
    vm->FinExecution(nGetValeur(), 0);
  }
  // A list kept started ends here.
  if (m_bDemarree) bTermine(runner, nullptr);
  runner.FermeJournal();
  qg::IMainVM* mine = SetVM(previous);
  if (mine != nullptr) mine->Release();
  if (previous != nullptr) previous->Release();
  return 1;
}

// --- groups -----------------------------------------------------------------------------------

CListeTestExe* CGroupeTestExe::pclListeParent() {
  CElementTestBase* parent = pclGetParentBase();
  return parent != nullptr ? parent->pclListeExe() : nullptr;
}

int32_t CGroupeTestExe::AppelleEvenement(CTestFactory& runner, int32_t code, CXError* error) {
  qg::IMainVM* vm = runner.piGetVM();
  if (vm == nullptr) return 0;
  qg::EventContext context;
  CListeTestExe* list = pclListeParent();
  context.hListe = list != nullptr ? list->m_hListe : 0;
  context.hGroupe = m_hGroupe;
  vm->Contexte(&context, 1);
  _CXErrorModule54 event_error;
  const int32_t result = vm->nEvenement(nGetIdentifiant(), code, &event_error, 0, 0);
  vm->Contexte(&context, 0);
  if (event_error.nGetNiveau() != 1 && error != nullptr) *error = event_error;
  return result;
}

namespace {

bool bDebutGroupe(CTestFactory& runner, CGroupeTestExe& g, CXError* error,
                  bool journalled = true) {
  qg::IMainVM* vm = runner.piGetVM();
  CListeTestExe* list = g.pclListeParent();
  if (vm == nullptr || list == nullptr) return false;
  g.m_hGroupe = vm->hDebutGroupe(list->m_hListe, g.pszGetNom(), g.nGetIdentifiant(), error);
  if (g.m_hGroupe == 0) return false;
  CFichierJournalTest* journal = journalled ? runner.pclJournal() : nullptr;
  g.m_bGroupeJournal = journal != nullptr;
  if (journal != nullptr) journal->Ecrit(kJGroupe, g.pszGetNom());
  g.AppelleEvenement(runner, kEvDebut, error);
  return true;
}

void FinGroupe(CTestFactory& runner, CGroupeTestExe& g, CXError* error) {
  g.AppelleEvenement(runner, kEvFin, error);
  if (qg::IMainVM* vm = runner.piGetVM()) vm->FinGroupe(g.m_hGroupe);
  g.m_hGroupe = 0;
  CFichierJournalTest* journal = runner.pclJournal();
  if (journal != nullptr && g.m_bGroupeJournal) journal->Ferme(kJGroupe);
  g.m_bGroupeJournal = false;
}

}  // namespace

bool CGroupeTestExe::bDemarre(CTestFactory& runner, CXError* error, bool journalled) {
  return bDebutGroupe(runner, *this, error, journalled);
}

void CGroupeTestExe::Termine(CTestFactory& runner, CXError* error) {
  for (auto it = m_tabAutresDemarres.rbegin(); it != m_tabAutresDemarres.rend(); ++it) {
    FinGroupe(runner, **it, error);
  }
  m_tabAutresDemarres.clear();
  if (m_hGroupe != 0) FinGroupe(runner, *this, error);
  m_bFinDifferee = false;
}

bool CGroupeTestExe::bExecute(CTestFactory& runner, CXError* error) {
  // Without the companion only its services (screenshots) are missing.
  {
    _CXErrorModule54 companion_error;
    bVerifieComposantObjGate(piAccesComposants(), &companion_error);
  }
  m_tabAutresDemarres.clear();
  bool ok = bDebutGroupe(runner, *this, error);
  for (size_t i = 0; ok && i < m_tabAutres.size(); ++i) {
    ok = bDebutGroupe(runner, *m_tabAutres[i], error);
    if (ok) m_tabAutresDemarres.push_back(m_tabAutres[i]);
  }
  const int32_t state = runner.clParam().nEtat;
  const bool recording = ok && state == kEtatEnregistrement;
  if (recording) runner.DemarreEnregistreur(0);
  if (ok) {
    CListeTestExe* list = pclListeParent();
    const int32_t kind = list != nullptr ? list->nGetTypeCible() : 0;
    auto run_each = [&](bool need_flag) {
      for (int32_t i = 0; i < nGetNbFils(); ++i) {
        CScenarioTestExe* s = pclFils(static_cast<size_t>(i))->pclScenarioExe();
        if (s == nullptr || !s->m_bSelectionne || s->m_nOption != 0) continue;
        if (need_flag && s->m_nExecute == 0) continue;
        runner.EmpileScenario(s);
        s->Execute(runner, error);
        // A scenario whose pass is deferred stays the running one until the
        // deferred call ends.
        if (runner.pclScenarioDiffere() != s) runner.DepileScenario(s);
      }
    };
    switch (kind) {
      case 0:
      case 4:
      case 7:
        run_each(false);
        break;
      case 2: case 8: case 18: case 20: case 258: case 259: case 260: case 261: {
        qg::IMainVM* vm = runner.piGetVM();
        bool without_flag = false;
        for (int32_t i = 0; i < nGetNbFils(); ++i) {
          CScenarioTestExe* s = pclFils(static_cast<size_t>(i))->pclScenarioExe();
          without_flag |= s != nullptr && s->m_bSelectionne && s->m_nExecute == 0;
        }
        if (state == kEtatEnregistrement) {
          ok = vm != nullptr && vm->nExecuteGroupe(list->clNomCible().pszGet(), error) != 0;
        } else {
          if (without_flag && vm != nullptr &&
              vm->nExecuteGroupe(list->clNomCible().pszGet(), error) == 0) {
            // The scenarios the group-level run did not run.
            if (CFichierJournalTest* journal = runner.pclJournal()) {
              CTString text;
              bChargeMessageF(9176, text);
              journal->Ecrit(kJErreur, u"");
              journal->Ecrit(kJLibelle, text.pszGet());
              journal->Ferme(kJErreur);
            }
          }
          run_each(true);
        }
        break;
      }
      default:
        break;
    }
  }
  if (recording) LibereEnregistrementTest();
  // The group of a deferred pass ends after it.
  CScenarioTestExe* deferred = runner.pclScenarioDiffere();
  if (ok && deferred != nullptr && deferred->pclGroupeParent() == this) {
    m_bFinDifferee = true;
    return ok;
  }
  Termine(runner, error);
  return ok;
}

// --- scenarios ---------------------------------------------------------------------------------

CGroupeTestExe* CScenarioTestExe::pclGroupeParent() {
  CElementTestBase* parent = pclGetParentBase();
  return parent != nullptr ? parent->pclGroupeExe() : nullptr;
}

CListeTestExe* CScenarioTestExe::pclListeParent() {
  CGroupeTestExe* g = pclGroupeParent();
  return g != nullptr ? g->pclListeParent() : nullptr;
}

CJeuDeTest* CScenarioTestExe::pclJeuCourant() {
  const int32_t i = m_clDonnees.m_nCourant;
  if (i < 0 || static_cast<size_t>(i) >= m_clDonnees.nGetNb()) return nullptr;
  return m_clDonnees.pclGetJeu(static_cast<size_t>(i));
}

int32_t CScenarioTestExe::AppelleEvenement(CTestFactory& runner, int32_t code, int32_t values,
                                           int32_t flag, CXError* error) {
  // "FinPilotX" of host module 8, when it exports one.
  if (qg::IComponentAccess* access = piAccesComposants()) {
    if (void* module = access->hGetHostModule(8)) {
      auto fin = reinterpret_cast<void (*)()>(
          qg::FindSymbol(static_cast<qg::ModuleHandle>(module), "FinPilotX"));
      if (fin != nullptr) fin();
    }
  }
  qg::IMainVM* vm = runner.piGetVM();
  if (vm == nullptr) return 0;
  qg::EventContext context;
  CListeTestExe* list = pclListeParent();
  CGroupeTestExe* group = pclGroupeParent();
  context.hListe = list != nullptr ? list->m_hListe : 0;
  context.hGroupe = group != nullptr ? group->m_hGroupe : 0;
  context.hScenario = m_hScenario;
  vm->Contexte(&context, 1);
  _CXErrorModule54 event_error;
  const int32_t result = vm->nEvenement(nGetIdentifiant(), code, &event_error, values, flag);
  vm->Contexte(&context, 0);
  if (event_error.nGetNiveau() != 1 && error != nullptr) *error = event_error;
  return result;
}

bool CScenarioTestExe::Execute(CTestFactory& runner, CXError* error) {
  qg::IMainVM* vm = runner.piGetVM();
  CGroupeTestExe* group = pclGroupeParent();
  CListeTestExe* list = pclListeParent();
  if (vm == nullptr || group == nullptr || list == nullptr) return false;
  {
    _CXErrorModule54 companion_error;
    bVerifieComposantObjGate(piAccesComposants(), &companion_error);
  }
  m_hScenario = vm->hScenario(group->m_hGroupe, pszGetNom(), nGetIdentifiant());
  if (m_hScenario == 0) return false;
  CFichierJournalTest* journal = runner.pclJournal();
  if (!m_bDemarre) {
    m_bDemarre = true;
    m_bTermine = false;
    if (journal != nullptr) {
      journal->EcritDebutTest(pszGetNom(), group->pszGetNom(), list->pszGetNom(),
                              static_cast<uint64_t>(nGetIdentifiant()),
                              static_cast<uint64_t>(group->nGetIdentifiant()),
                              static_cast<uint64_t>(list->nGetIdentifiant()),
                              static_cast<uint64_t>(m_nValeur64));
    }
    m_bEvenementDebut = true;
    AppelleEvenement(runner, kEvScenarioDebut, 0, m_nExecute == 0 ? 1 : 0, error);
    m_bEvenementDebut = false;
  }
  // One pass per data set; one pass without any.
  m_nPassage = 0;
  m_clDonnees.m_nCourant = m_clDonnees.nGetNb() > 0 ? 0 : -1;
  for (;;) {
    if (pclJeuCourant() != nullptr) {
      ++m_nPassage;
      m_bJeuOuvert = true;
      if (journal != nullptr) {
        journal->Ecrit(kJJeu, u"");
        journal->EcritEntier64(kJNum, static_cast<uint64_t>(m_nPassage));
      }
    }
    ExecutePassage(runner, error);
    // A deferred pass ends with its call; an aborted scenario is over.
    if (m_hAppelDiffere != 0 || m_bTermine) return true;
    const bool had_set = pclJeuCourant() != nullptr;
    FinPassage(runner);
    if (!had_set || static_cast<size_t>(++m_clDonnees.m_nCourant) >= m_clDonnees.nGetNb()) break;
  }
  m_clDonnees.m_nCourant = -1;
  Termine(runner, error);
  return true;
}

void CScenarioTestExe::ExecutePassage(CTestFactory& runner, CXError* error) {
  qg::IMainVM* vm = runner.piGetVM();
  if (vm == nullptr) return;
  int32_t values = 0;
  if (CJeuDeTest* set = pclJeuCourant()) {
    for (size_t i = 0; i < set->m_tabValeurs.size(); ++i) {
      vm->PousseValeur(set->m_tabValeurs[i]);
      ++values;
    }
  }
  // One deferred call at a time: with one under way the pass runs now.
  if (runner.bModeDiffere() && runner.pclScenarioDiffere() == nullptr) {
    _CXErrorModule54 call_error;
    m_hAppelDiffere = vm->hPrepareAppelDiffere(nGetIdentifiant(), kEvPassage, values, &call_error);
    if (m_hAppelDiffere != 0) {
      runner.SetScenarioDiffere(this);
    } else if (error != nullptr && call_error.nGetNiveau() != 1) {
      *error = call_error;
    }
    return;
  }
  AppelleEvenement(runner, kEvPassage, values, 1, error);
}

void CScenarioTestExe::FinPassage(CTestFactory& runner) {
  if (m_bJeuOuvert) {
    if (CFichierJournalTest* journal = runner.pclJournal()) {
      for (const auto& [name, value] : m_tabRapport) journal->EcritParam(name.c_str(), value.c_str());
      journal->Ferme(kJJeu);
    }
    m_bJeuOuvert = false;
  }
  m_tabRapport.clear();
}

void CScenarioTestExe::Termine(CTestFactory& runner, CXError* error, bool aborted) {
  if (!m_bDemarre || m_bTermine) return;
  if (aborted) FinPassage(runner);
  m_bTermine = true;
  m_bDemarre = false;
  m_clDonnees.m_nCourant = -1;
  if (runner.pclScenarioDiffere() == this) runner.SetScenarioDiffere(nullptr);
  m_hAppelDiffere = 0;
  AppelleEvenement(runner, kEvScenarioFin, 0, m_nExecute == 0 ? 1 : 0, error);
  runner.RapportFinScenario(*this);
  if (CFichierJournalTest* journal = runner.pclJournal()) journal->EcritFinTest();
  m_tabRapport.clear();
}

void CScenarioTestExe::FinPassageDiffere(CTestFactory& runner, CXError* error) {
  if (m_hAppelDiffere == 0) return;
  m_hAppelDiffere = 0;
  FinPassage(runner);
  Termine(runner, error);
}

CScenarioTestExe::~CScenarioTestExe() {
  for (CScenarioTestExe* block : m_tabBlocs) block->Release();
}

CBlocSurFenetre_TestExe::CBlocSurFenetre_TestExe(CScenarioTestExe& scenario,
                                                 const char16_t* window)
    : m_pclScenario(&scenario) {
  SetNom(window);
  SetIdentifiant(scenario.nGetIdentifiant());
}

bool CScenarioTestExe::bMarqueScenariosLies(CXError* error) {
  CListeTestExe* list = pclListeParent();
  for (const std::u16string& name : m_tabLies) {
    CScenarioBase* found = list != nullptr ? list->pclChercheTest(name.c_str()) : nullptr;
    CScenarioTestExe* s = found != nullptr ? found->pclScenarioExe() : nullptr;
    if (s == nullptr) {
      if (error != nullptr) error->SetUserError(gstErrorDefModule54, 540020u, name.c_str());
      return false;
    }
    s->m_bSelectionne = true;
    if (CGroupeTestExe* g = s->pclGroupeParent()) g->m_bExecute = true;
  }
  return true;
}

void CScenarioTestExe::RapporteValeur(const char16_t* name, const char16_t* value) {
  m_tabRapport.emplace_back(name != nullptr ? name : u"", value != nullptr ? value : u"");
}

CParametreTest* CScenarioTestExe::pclChercheControleur(const char16_t* name) {
  for (auto& p : m_tabControleurs) {
    if (qg::StrICmpLatin1_16(p->m_clNom.pszGet(), name != nullptr ? name : u"") == 0) {
      return p.get();
    }
  }
  return nullptr;
}

CParametreTest* CScenarioTestExe::pclDeclareControleur(const char16_t* name, const CAny* value,
                                                       int32_t type, bool controller) {
  CParametreTest* p = pclChercheControleur(name);
  if (p == nullptr) {
    std::unique_ptr<CParametreTest> made;
    if (controller) {
      made = std::make_unique<CControleurTest>();
    } else {
      made = std::make_unique<CParametreTest>();
    }
    made->m_clNom.Set(name);
    made->m_bControleur = controller;
    p = made.get();
    m_tabControleurs.push_back(std::move(made));
  }
  p->m_nType = type;
  if (value != nullptr) {
    p->m_clValeur = *value;
  } else {
    p->m_clValeur = CAny();
    p->m_clValeur.SetType(type);
  }
  return p;
}

namespace {

// The expected value at an index: the set's, or an empty one of the
// parameter's declared type.
CAny Attendu(CScenarioTestExe& s, CJeuDeTest& set, size_t index) {
  CAny expected;
  if (index < set.m_tabValeurs.size() && set.m_tabValeurs[index] != nullptr) {
    expected = *set.m_tabValeurs[index];
  } else if (index < s.m_clParams.m_tabParams.size()) {
    expected.SetType(s.m_clParams.m_tabParams[index]->m_nValeur);
  }
  return expected;
}

}  // namespace

int32_t CScenarioTestExe::nEcritParametre(CTestFactory& runner, int32_t kind, int32_t index,
                                          int32_t sub, const CAny* actual, CXError* error) {
  if (kind != 0 || sub != 0) return kReponseInvalide;
  CJeuDeTest* set = pclJeuCourant();
  if (set == nullptr) {
    if (error != nullptr) error->SetUserError(gstErrorDefModule54, 540006u);
    return kReponseErreur;
  }
  if (index < 0 || static_cast<size_t>(index) >= m_clParams.m_tabParams.size()) {
    return kReponseInvalide;
  }
  const CAny expected = Attendu(*this, *set, static_cast<size_t>(index));
  if (!bValeursEgales(&expected, actual)) {
    runner.JournaliseDifference(this, m_clParams.m_tabParams[static_cast<size_t>(index)]->m_clNom.pszGet(),
                                &expected, actual);
  }
  return kReponseOk;
}

int32_t CScenarioTestExe::nLitParametre(const char16_t* name, int32_t index, CAny* out,
                                        CXError* error) {
  CJeuDeTest* set = pclJeuCourant();
  if (set == nullptr) {
    if (error != nullptr) error->SetUserError(gstErrorDefModule54, 540006u);
    return kReponseErreur;
  }
  if (name != nullptr) {
    index = -1;
    for (size_t i = 0; i < m_clParams.m_tabParams.size(); ++i) {
      if (bMemeNom(m_clParams.m_tabParams[i]->m_clNom.pszGet(), name)) {
        index = static_cast<int32_t>(i);
        break;
      }
    }
  }
  if (index < 0 || static_cast<size_t>(index) >= m_clParams.m_tabParams.size()) {
    return kReponseInvalide;
  }
  if (out != nullptr) *out = Attendu(*this, *set, static_cast<size_t>(index));
  return kReponseOk;
}

int32_t CControleurTest::bCompare(CScenarioTestExe& scenario) {
  CTestFactory* runner = ModuleRunner();
  qg::IMainVM* vm = runner != nullptr ? runner->piGetVM() : nullptr;
  CAny actual;
  if (vm == nullptr || !vm->bLitValeur(m_clNom.pszGet(), &actual)) return kReponseErreur;
  if (!bValeursEgales(&m_clValeur, &actual)) {
    runner->JournaliseDifference(&scenario, m_clNom.pszGet(), &m_clValeur, &actual);
  }
  return kReponseOk;
}
