#include "testrunner/language/language_functions.h"

#include <array>
#include <memory>

#include "errors/module_errors.h"
#include "support/any.h"
#include "support/platform/text16.h"
#include "support/text_functions.h"
#include "testrunner/journal/journal_file.h"
#include "testrunner/model/executable.h"
#include "testrunner/runner/companion.h"
#include "testrunner/runner/library.h"
#include "testrunner/runner/session.h"
#include "testrunner/runner/test_factory.h"

namespace {

constexpr int32_t kModule = 54;
constexpr int32_t kPousseEntier = 2;  // push kind of a 32-bit integer
constexpr int32_t kPousseTexte = 16;  // push kind of a UTF-16 text

template <typename... Args>
void Erreur(CQGTestExe& library, uint32_t message, Args... args) {
  if (CXError* error = library.pGetError()) {
    error->SetUserError(gstErrorDefModule54, message, args...);
  }
}

// --- arguments ------------------------------------------------------------------------------

const CAny* Arg(const qg::ArgumentsAppel& a, int i) {
  return i < a.nNombre && a.ppValeurs != nullptr ? a.ppValeurs[i] : nullptr;
}

bool bPresent(const qg::ArgumentsAppel& a, int i) {
  const CAny* v = Arg(a, i);
  return v != nullptr && !v->bEstNull() && !v->bEstVide();
}

int32_t Entier(const qg::ArgumentsAppel& a, int i, int32_t absent = 0) {
  const CAny* v = Arg(a, i);
  if (v == nullptr || v->bEstNull()) return absent;
  int32_t n = 0;
  if (v->nGetI4(&n) == qg::kAnyOk || v->nGetBOOL(&n) == qg::kAnyOk) return n;
  int64_t wide = 0;
  if (v->nGetI8(&wide) == qg::kAnyOk) return static_cast<int32_t>(wide);
  int16_t small = 0;
  if (v->nGetI2(&small) == qg::kAnyOk) return small;
  uint32_t positive = 0;
  if (v->nGetUI4(&positive) == qg::kAnyOk) return static_cast<int32_t>(positive);
  return absent;
}

std::u16string Texte(const qg::ArgumentsAppel& a, int i) {
  const CAny* v = Arg(a, i);
  if (v == nullptr) return u"";
  CXYString<char16_t> text;
  if (v->nGetTexte(&text) != qg::kAnyOk) return u"";
  return text.pszGet();
}

qg::IElementLangage* Element(const qg::ArgumentsAppel& a, int i) {
  const CAny* v = Arg(a, i);
  intptr_t address = 0;
  if (v == nullptr || v->nGetUIX(&address) != qg::kAnyOk) return nullptr;
  return reinterpret_cast<qg::IElementLangage*>(address);
}

void Resultat(const qg::ArgumentsAppel& a, bool value) {
  if (a.pResultat != nullptr) a.pResultat->SetBOOL(value ? 1 : 0);
}

const char16_t* Nom(qg::IElementLangage* e) {
  const char16_t* name = e != nullptr ? e->pszNom() : nullptr;
  return name != nullptr ? name : u"";
}

bool bTypeParmi(qg::IElementLangage* e, std::initializer_list<int32_t> kinds) {
  const int32_t type = e->nType();
  for (int32_t k : kinds) {
    if (k == type) return true;
  }
  return false;
}

CFichierJournalTest* Journal() {
  CTestFactory* runner = ModuleRunner();
  return runner != nullptr ? runner->pclJournal() : nullptr;
}

}  // namespace

// --- workers --------------------------------------------------------------------------------

namespace {

// The host interface of the call: the library object's, else the runner's.
qg::IMainVM* VM(CQGTestExe& library, CTestFactory* runner) {
  if (qg::IMainVM* vm = library.piGetVM()) return vm;
  return runner != nullptr ? runner->piGetVM() : nullptr;
}

// The companion's window of that name, when the companion is there.
bool bFenetreCompagnon(const char16_t* name) {
  qg::IComponentAccess* access = piAccesComposants();
  _CXErrorModule54 error;
  if (access == nullptr || !bVerifieComposantObjGate(access, &error)) return false;
  auto* gate = static_cast<qg::IObjGate*>(
      access->piGetComponent(0, nullptr, qg::kComponentObjGate, 1, u"ObjGate", kModule, &error));
  return gate != nullptr && gate->bTrouveFenetre(name) != 0;
}

// Loads the list of a name; failing that, the one of the file name part of
// the path (without its extension). One reference for the caller.
CListeTestExe* pclChargeListe(CTestFactory& runner, const std::u16string& name, CXError* error) {
  CListeTestExe* list = runner.pclChargeListeTest(name.c_str(), nullptr, error,
                                                  CTestFactory::kGarde);
  if (list != nullptr) return list;
  const size_t slash = name.find_last_of(u"\\/");
  std::u16string part = name.substr(slash == std::u16string::npos ? 0 : slash + 1);
  part = part.substr(0, part.rfind(u'.'));
  if (part.empty() || part == name) return nullptr;
  error->RAZ();
  return runner.pclChargeListeTest(part.c_str(), nullptr, error, CTestFactory::kGarde);
}

}  // namespace

void LanceTest(CQGTestExe& library, const char16_t* list_name, const char16_t* scenario_name) {
  CTestFactory* runner = ModuleRunner();
  if (runner == nullptr) return;
  CXError* error = library.pGetError();
  const std::u16string asked = list_name != nullptr ? list_name : u"";
  qg::IMainVM* vm = VM(library, runner);
  if (vm != nullptr && runner->piGetVM() == nullptr) runner->SetVM(vm);
  // The runner's name table first (a target names its list), else the
  // host's resolution of a project file.
  std::u16string name = asked;
  if (const char16_t* known = runner->pszListeDeCible(asked.c_str())) {
    name = known;
  } else if (const char16_t* path = vm != nullptr ? vm->pszResoutNomFichier(asked.c_str())
                                                  : nullptr) {
    name = path;
  }
  CListeTestExe* list = pclChargeListe(*runner, name, error);
  if (list == nullptr) return;
  CScenarioBase* found = list->pclChercheScenario(scenario_name != nullptr ? scenario_name : u"");
  CScenarioTestExe* scenario = found != nullptr ? found->pclScenarioExe() : nullptr;
  CGroupeTestExe* group = scenario != nullptr ? scenario->pclGroupeParent() : nullptr;
  if (scenario == nullptr || group == nullptr) {
    Erreur(library, 540003u, scenario_name != nullptr ? scenario_name : u"");
    list->Release();
    return;
  }
  // The scenario and the ones it links to run; the kept lists start.
  scenario->m_bSelectionne = true;
  group->m_bExecute = true;
  bool ok = scenario->m_nOption != 0 || scenario->bMarqueScenariosLies(error);
  const std::vector<CListeTestExe*> lists = runner->tabListes();
  for (size_t i = 0; ok && i < lists.size(); ++i) {
    if (!lists[i]->m_bDemarree) ok = lists[i]->bDemarre(*runner, error);
  }
  // Run now, the group's journal element lies within the caller's; queued,
  // the group outlives the caller and is not journalled.
  const bool now = ok && bFenetreCompagnon(asked.c_str());
  const bool started_here = ok && group->m_hGroupe == 0;
  if (started_here) ok = group->bDemarre(*runner, error, now);
  if (!ok) {
    list->Release();
    return;
  }
  if (now) {
    // Its window is there: the scenario runs now, in its group.
    CScenarioTestExe* caller = runner->pclScenarioEnCours();
    runner->EmpileScenario(scenario);
    scenario->Execute(*runner, error);
    if (runner->pclScenarioDiffere() != scenario) runner->DepileScenario(scenario);
    runner->SetScenarioEnCours(caller);
    if (started_here && runner->pclScenarioDiffere() != scenario) group->Termine(*runner, error);
  } else {
    // The host runs it when the window of that name opens.
    runner->AjouteAppelAttendu(asked.c_str(), group, scenario);
  }
  list->Release();
}

void EcritJournal(CQGTestExe& library, int32_t code, const char16_t* text) {
  CTestFactory* runner = ModuleRunner();
  const char16_t* line = text != nullptr ? text : u"";
  if (CFichierJournalTest* journal = Journal()) {
    const bool alternative = (code & (1 << 30)) != 0;
    const int32_t element = code & ~(1 << 30);
    journal->Ecrit(element, u"");
    journal->Ecrit(kJLibelle, line);
    runner->EcritPositionCourante(alternative ? 18 : 13);
    if (element == kJErreur) runner->AjouteCaptureEcran();
    journal->Ferme(element);
  }
  // Odd codes also go to the host's trace, which interfaces above 131 have.
  qg::IMainVM* vm = VM(library, runner);
  if ((code & 1) != 0 && vm != nullptr && vm->nVersion() > 131) vm->Trace(line);
}

bool bVerifie(CQGTestExe&, bool condition, const std::vector<std::u16string>& texts) {
  std::u16string text;
  for (const std::u16string& t : texts) {
    if (!text.empty() || &t != &texts.front()) text += u' ';
    text += t;
  }
  if (CFichierJournalTest* journal = Journal()) {
    if (condition) {
      journal->Ecrit(kJInfo, u"");
      journal->Ecrit(kJLibelle, text.c_str());
      journal->Ferme(kJInfo);
    } else {
      if (text.empty()) {
        CTString message;
        bChargeMessageF(5341, message);
        text = message.pszGet();
      }
      journal->Ecrit(kJErreur, u"");
      journal->Ecrit(kJLibelle, text.c_str());
      ModuleRunner()->AjouteCaptureEcran();
      journal->Ferme(kJErreur);
    }
  } else if (!condition) {
    // Without a journal the host reports the failed check.
    const int32_t zero = 0;
    Session().nEmpile(nullptr, text.c_str(), kPousseTexte);
    Session().nEmpile(nullptr, &zero, kPousseEntier);
    Session().nAppelle(nullptr, 0, 133, 2, 0);
  }
  return condition;
}

void AjouteJeuDeTest(CQGTestExe& library, const qg::ArgumentsAppel& arguments) {
  CTestFactory* runner = ModuleRunner();
  CScenarioTestExe* scenario = runner != nullptr ? runner->pclScenarioCourant() : nullptr;
  if (scenario == nullptr || !scenario->m_bEvenementDebut) {
    Erreur(library, 540004u);
    return;
  }
  const size_t count = scenario->m_clParams.m_tabParams.size();
  CJeuDeTest* set = CJeuDeTest::Cree(count);
  if (set == nullptr) return;
  for (size_t i = 0; i < count; ++i) {
    const CAny* value = Arg(arguments, static_cast<int>(i));
    if (value != nullptr) {
      set->m_tabValeurs.push_back(std::make_unique<CAny>(*value));
    } else {
      set->m_tabValeurs.push_back(nullptr);  // missing: null
    }
  }
  scenario->m_clDonnees.Ajoute(set);
}

void ActionFenetreEmulateur(CQGTestExe& library, int32_t action) {
  qg::IMainVM* vm = VM(library, ModuleRunner());
  qg::IElementLangage* emulator = vm != nullptr ? vm->piFenetre(u"FenetreEmulateurCE") : nullptr;
  if (emulator == nullptr || action < 1 || action > 4) {
    Erreur(library, 540014u);
    return;
  }
  emulator->bActionEmulateur(action);
}

bool bElementAccessible(CQGTestExe& library, qg::IElementLangage* element) {
  if (element == nullptr) {
    Erreur(library, 540014u);
    return false;
  }
  qg::IElementLangage* window = element->piFenetre();
  if (window == nullptr) window = element;
  if (window->nType() == 94) return true;
  if (!window->bVisible()) {
    Erreur(library, 540017u, Nom(window));
    return false;
  }
  if (!window->bActif() || window->nEtat() == 4) {
    Erreur(library, 540018u, Nom(window));
    return false;
  }
  return true;
}

void ClicPoint(CQGTestExe&, qg::IElementLangage* element, int32_t x, int32_t y) {
  element->Localise();
  const int32_t values[3] = {65536, x, y};
  for (const int32_t& v : values) Session().nEmpile(nullptr, &v, kPousseEntier);
  Session().nAppelle(nullptr, 8, 344, 4, 0);
}

void ClicItem(CQGTestExe& library, qg::IElementLangage* element, int32_t item) {
  if (!bElementAccessible(library, element)) return;
  const int32_t items = element->nNbItems();
  if (items < 0) {
    Erreur(library, 540016u);
    return;
  }
  if (item < 1 || item > items) {
    Erreur(library, 540020u);
    return;
  }
  int32_t rect[4] = {};
  if (!element->bRectangleItem(item, rect)) {
    Erreur(library, 540019u);
    return;
  }
  ClicPoint(library, element, (rect[0] + rect[2]) / 2, (rect[1] + rect[3]) / 2);
}

void Selectionne(CQGTestExe& library, qg::IElementLangage* element, int32_t kind, int32_t index,
                 qg::IElementLangage* second, bool with_index) {
  if (element == nullptr) {
    Erreur(library, 540014u);
    return;
  }
  int32_t done = 0;
  switch (kind) {
    case 1:
      done = element->bSelectionne(1, 0, nullptr);
      break;
    case 2:
      if (with_index) {
        Erreur(library, 540012u);
        return;
      }
      if (second == nullptr || !bTypeParmi(second, {57, 55, 96})) {
        Erreur(library, 540015u);
        return;
      }
      done = element->bSelectionne(2, 0, second);
      break;
    case 3:
      if (!with_index) {
        Erreur(library, second != nullptr ? 540010u : 540009u);
        return;
      }
      done = element->bSelectionne(3, index, nullptr);
      break;
    default:
      Erreur(library, 540013u);
      return;
  }
  if (!done) Erreur(library, 540011u);
}

// --- stubs ----------------------------------------------------------------------------------

namespace {

CQGTestExe& Lib(qg::IZQLibrary* library) { return *static_cast<CQGTestExe*>(library); }

using A = const qg::ArgumentsAppel*;

int32_t StubLanceTest(void*, qg::IZQLibrary* l, A a) {
  LanceTest(Lib(l), Texte(*a, 0).c_str(), Texte(*a, 1).c_str());
  return 0;
}
int32_t StubEcritJournal(void*, qg::IZQLibrary* l, A a) {
  EcritJournal(Lib(l), Entier(*a, 0), Texte(*a, 1).c_str());
  return 0;
}
template <int kTextes>
int32_t StubVerifie(void*, qg::IZQLibrary* l, A a) {
  std::vector<std::u16string> texts;
  for (int i = 1; i <= kTextes; ++i) texts.push_back(Texte(*a, i));
  Resultat(*a, bVerifie(Lib(l), Entier(*a, 0) != 0, texts));
  return 0;
}
// Expected message-box answers.
template <int32_t kMasque, int32_t kReponse>
int32_t StubReponseFixe(void*, qg::IZQLibrary*, A) {
  if (CTestFactory* runner = ModuleRunner()) runner->AjouteReponseAttendue(kMasque, kReponse);
  return 0;
}
int32_t StubReponseOuiNon(void*, qg::IZQLibrary*, A a) {
  if (CTestFactory* runner = ModuleRunner()) {
    runner->AjouteReponseAttendue(4, Entier(*a, 0) != 0 ? 6 : 7);
  }
  return 0;
}
int32_t StubReponseOkAnnuler(void*, qg::IZQLibrary*, A a) {
  if (CTestFactory* runner = ModuleRunner()) {
    runner->AjouteReponseAttendue(1, Entier(*a, 0) != 0 ? 1 : 2);
  }
  return 0;
}
int32_t StubReponseOuiNonAnnuler(void*, qg::IZQLibrary*, A a) {
  if (CTestFactory* runner = ModuleRunner()) {
    const int32_t v = Entier(*a, 0);
    runner->AjouteReponseAttendue(3, v == 0 ? 7 : v == 1 ? 6 : 2);
  }
  return 0;
}
int32_t StubReponseDonnee(void*, qg::IZQLibrary*, A a) {
  if (CTestFactory* runner = ModuleRunner()) runner->AjouteReponseAttendue(-1, Entier(*a, 0));
  return 0;
}
int32_t StubSaisie(void*, qg::IZQLibrary*, A a) {
  if (CTestFactory* runner = ModuleRunner()) {
    qg::IElementLangage* window = Element(*a, 0);
    const std::u16string name = window != nullptr ? Nom(window) : Texte(*a, 0);
    runner->AjouteSaisieAttendue(name.c_str(), Texte(*a, 1).c_str(), 0, u"");
  }
  return 0;
}
int32_t StubAjouteJeu(void*, qg::IZQLibrary* l, A a) {
  AjouteJeuDeTest(Lib(l), *a);
  return 0;
}
int32_t StubValeurExecution(void*, qg::IZQLibrary*, A a) {
  if (CTestFactory* runner = ModuleRunner()) {
    CParamTest param = runner->clParam();
    param.nValeur = Entier(*a, 0);
    runner->SetParam(param);
  }
  return 0;
}
int32_t StubEmulateur(void*, qg::IZQLibrary* l, A a) {
  ActionFenetreEmulateur(Lib(l), Entier(*a, 0));
  return 0;
}
int32_t StubGlisse(void*, qg::IZQLibrary* l, A a) {
  qg::IElementLangage* e = Element(*a, 0);
  const int32_t from[2] = {Entier(*a, 1), Entier(*a, 2)};
  const int32_t to[2] = {Entier(*a, 3), Entier(*a, 4)};
  // A failed drag reuses the message of an unknown scenario.
  if (e == nullptr || !e->bGlisse(from, to, Entier(*a, 5), Entier(*a, 6))) {
    Erreur(Lib(l), 540003u, Nom(e));
  }
  return 0;
}
int32_t StubInsereTexte(void*, qg::IZQLibrary* l, A a) {
  qg::IElementLangage* e = Element(*a, 0);
  const std::u16string text = Texte(*a, 1);
  if (e == nullptr || e->nType() != 16) {
    Erreur(Lib(l), 540016u);
  } else if (!e->bInsereTexte(text.c_str(), Entier(*a, 2, 1))) {
    Erreur(Lib(l), 540023u, text.c_str());
  }
  return 0;
}
int32_t StubFixeTexte(void*, qg::IZQLibrary* l, A a) {
  qg::IElementLangage* e = Element(*a, 0);
  const std::u16string text = Texte(*a, 1);
  if (e == nullptr || e->nType() != 16) {
    Erreur(Lib(l), 540016u);
  } else if (!e->bFixeTexte(text.c_str(), Entier(*a, 2), Entier(*a, 3))) {
    Erreur(Lib(l), 540022u, text.c_str());
  }
  return 0;
}
int32_t StubSelectionneLigne(void*, qg::IZQLibrary* l, A a) {
  qg::IElementLangage* e = Element(*a, 0);
  if (e == nullptr || !bTypeParmi(e, {14, 70, 56})) {
    Erreur(Lib(l), 540016u);
    return 0;
  }
  const bool row = bPresent(*a, 1);
  const int32_t n = row ? Entier(*a, 1) : 0;
  if (!e->bSelectionneLigne(n)) {
    if (row) {
      const std::string digits = std::to_string(n);
      const std::u16string text(digits.begin(), digits.end());
      Erreur(Lib(l), 540025u, text.c_str(), Nom(e));
    } else {
      Erreur(Lib(l), 540024u, Nom(e));
    }
  }
  return 0;
}
int32_t StubSelectionneTexte(void*, qg::IZQLibrary* l, A a) {
  qg::IElementLangage* e = Element(*a, 0);
  const std::u16string text = Texte(*a, 1);
  if (e == nullptr || !bTypeParmi(e, {14, 70, 56})) {
    Erreur(Lib(l), 540016u);
  } else if (!e->bSelectionneTexte(text.c_str())) {
    Erreur(Lib(l), 540026u, text.c_str(), Nom(e));
  }
  return 0;
}
int32_t StubSelectionIndice(void*, qg::IZQLibrary* l, A a) {
  Selectionne(Lib(l), Element(*a, 0), Entier(*a, 1), Entier(*a, 2), nullptr, true);
  return 0;
}
int32_t StubSelectionElement(void*, qg::IZQLibrary* l, A a) {
  Selectionne(Lib(l), Element(*a, 0), Entier(*a, 1), 0, Element(*a, 2), false);
  return 0;
}
int32_t StubClicItem(void*, qg::IZQLibrary* l, A a) {
  ClicItem(Lib(l), Element(*a, 0), Entier(*a, 1));
  return 0;
}
template <int32_t kPremier>
int32_t StubClicItemListe(void*, qg::IZQLibrary* l, A a) {
  qg::IElementLangage* e = Element(*a, 0);
  if (e == nullptr || !bTypeParmi(e, {kPremier, 56, 68})) {
    Erreur(Lib(l), 540016u);
    return 0;
  }
  ClicItem(Lib(l), e, Entier(*a, 1));
  return 0;
}

constexpr int32_t kTypesQuelconques[8] = {};

struct Definition {
  uint16_t nFonction;
  uint32_t nSignature;
  qg::PFN_StubLangage pfnStub;
  int32_t nArguments;
};

// Entries 1 to 10: functions 0 to 9; 11 to 19: functions 4, 7, 8, 3, 2,
// 9, 6, 5 and 0 again, each calling its function's worker with a second
// signature; 20 to 31: functions 19 to 30.
constexpr Definition kDefinitions[kNbFonctions] = {
    {0, 1, &StubLanceTest, 2},
    {1, 1, &StubEcritJournal, 2},
    {2, 1, &StubVerifie<1>, 2},
    {3, 1, &StubVerifie<0>, 1},
    {4, 1, &StubReponseFixe<64, 1>, 0},
    {5, 1, &StubReponseOuiNon, 1},
    {6, 1, &StubReponseOuiNonAnnuler, 1},
    {7, 1, &StubSaisie, 2},
    {8, 1, &StubAjouteJeu, -1},  // the call's arguments
    {9, 1, &StubValeurExecution, 1},
    {4, 2, &StubReponseFixe<16, 1>, 0},
    {7, 2, &StubSaisie, 2},
    {8, 2, &StubAjouteJeu, -1},
    {3, 2, &StubVerifie<2>, 3},
    {2, 2, &StubVerifie<3>, 4},
    {9, 2, &StubValeurExecution, 1},
    {6, 2, &StubReponseDonnee, 1},
    {5, 2, &StubReponseOkAnnuler, 1},
    {0, 2, &StubLanceTest, 2},
    {19, 1, &StubReponseFixe<48, 1>, 0},
    {20, 1, &StubSelectionIndice, 3},
    {21, 1, &StubSelectionElement, 3},
    {22, 1, &StubClicItem, 2},
    {23, 1, &StubClicItemListe<6>, 2},
    {24, 1, &StubClicItemListe<5>, 2},
    {25, 1, &StubFixeTexte, 4},
    {26, 1, &StubSelectionneTexte, 2},
    {27, 1, &StubEmulateur, 2},
    {28, 1, &StubSelectionneLigne, 2},  // the row may be left out
    {29, 1, &StubGlisse, 7},
    {30, 1, &StubInsereTexte, 3},
};

struct Tables {
  std::array<qg::FonctionLangage, kNbFonctions> fonctions{};
  std::array<qg::EntreeFonction, kNbFonctions> entrees{};
  std::array<uint8_t, kTailleBlocDescription> bloc{};
  std::array<intptr_t, 12 * 4> descriptions{};  // the 12 further descriptions: empty

  Tables() {
    for (int i = 0; i < kNbFonctions; ++i) {
      const Definition& d = kDefinitions[i];
      fonctions[i] = {d.pfnStub, 0, 0, kTypesQuelconques, d.nArguments};
      entrees[i] = {i + 1, 0, 0, d.nSignature, static_cast<int32_t>(kValeurEntree),
                    static_cast<uint32_t>(d.nFonction) | uint32_t(kModule) << 16, &fonctions[i]};
    }
  }
};

const Tables& LesTables() {
  static const Tables tables;
  return tables;
}

}  // namespace

const qg::EntreeFonction* TableFonctions() { return LesTables().entrees.data(); }
const intptr_t* DescriptionsSupplementaires() { return LesTables().descriptions.data(); }
const uint8_t* BlocDescription() { return LesTables().bloc.data(); }
