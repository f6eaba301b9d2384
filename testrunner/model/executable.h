// The executable elements: what the reader creates and the player runs.
// Each answers its executable cast and visit; the list creates executable
// groups, a group executable scenarios. Their playback operations live in
// testrunner/play.
#ifndef QG_TESTRUNNER_MODEL_EXECUTABLE_H_
#define QG_TESTRUNNER_MODEL_EXECUTABLE_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/frame/test_runner_abi.h"
#include "testrunner/model/element.h"

class CTestFactory;
class CTransBufferParam;
class CXError;
class CListeTestExe;
class CGroupeTestExe;

// A named value the scenario's code declares: a parameter, or a controller
// whose expected value is compared with what the code reads.
class CParametreTest {
 public:
  virtual ~CParametreTest() = default;
  CTString m_clNom;
  int32_t m_nType = 0;
  CAny m_clValeur;
  bool m_bControleur = false;
};

class CControleurTest : public CParametreTest {
 public:
  // Compares the expected value with the one the host reads under the
  // controller's name: 131073 when the host cannot give it, else 0 (a
  // difference is journalled).
  int32_t bCompare(CScenarioTestExe& scenario);
};

// Answers to the host.
constexpr int32_t kReponseOk = 0;
constexpr int32_t kReponseErreur = 131073;
constexpr int32_t kReponseInvalide = 131075;

class CScenarioTestExe : public CScenarioBase {
 public:
  CScenarioTestExe() = default;
  CScenarioTestExe* pclScenarioExe() override { return this; }

  // The group and the list above (not casts: those answer null here).
  CGroupeTestExe* pclGroupeParent();
  CListeTestExe* pclListeParent();

  // Runs the scenario: start once, one pass per data set (one pass without
  // any), end. False when the host gives no handle.
  bool Execute(CTestFactory& runner, CXError* error);
  // One pass with the current set's values: the pass event, or in deferred
  // mode a deferred call the host runs later.
  void ExecutePassage(CTestFactory& runner, CXError* error);
  // Ends the current pass: its reported values into the journal, "Jeu"
  // closed.
  void FinPassage(CTestFactory& runner);
  // Ends the scenario once: the end event, the report of what it announced
  // and did not use, the journal's test closed. `aborted`: the pass under
  // way is ended first and no further pass is made.
  void Termine(CTestFactory& runner, CXError* error, bool aborted = false);
  // The deferred call ended: its pass and the scenario end.
  void FinPassageDiffere(CTestFactory& runner, CXError* error);
  // Runs an event of the scenario's code with `values` values pushed.
  int32_t AppelleEvenement(CTestFactory& runner, int32_t code, int32_t values, int32_t flag,
                           CXError* error);
  // Marks the linked scenarios as selected; false with 540020 for a name
  // that is not found.
  bool bMarqueScenariosLies(CXError* error);

  // The scenario's code writes an expected parameter by index (kind 0;
  // any other kind, or a sub-element, is invalid).
  int32_t nEcritParametre(CTestFactory& runner, int32_t kind, int32_t index, int32_t sub,
                          const CAny* actual, CXError* error);
  // Reads a parameter of the current set by name (null: by index).
  int32_t nLitParametre(const char16_t* name, int32_t index, CAny* out, CXError* error);
  CParametreTest* pclDeclareControleur(const char16_t* name, const CAny* value, int32_t type,
                                       bool controller);
  CParametreTest* pclChercheControleur(const char16_t* name);
  // A value the code reports during a pass, journalled with the set.
  void RapporteValeur(const char16_t* name, const char16_t* value);
  // The current data set, or null.
  CJeuDeTest* pclJeuCourant();

  bool m_bSelectionne = true;
  intptr_t m_hScenario = 0;
  bool m_bDemarre = false;
  bool m_bTermine = false;
  bool m_bJeuOuvert = false;      // "Jeu" of the current pass is open
  bool m_bEvenementDebut = false;  // its start event is running
  intptr_t m_hAppelDiffere = 0;   // the host's deferred call of the pass, 0: none
  std::vector<CScenarioTestExe*> m_tabBlocs;  // window block handlers (one reference each)
  int32_t m_nPassage = 0;
  std::vector<std::pair<std::u16string, std::u16string>> m_tabRapport;
  std::vector<std::unique_ptr<CParametreTest>> m_tabControleurs;
  std::vector<std::u16string> m_tabLies;  // linked scenario names

 protected:
  ~CScenarioTestExe() override;
};

// Handles a window that opens during a scenario's deferred pass: the host
// runs the window's code under it. Named after the window, in the
// scenario's group.
class CBlocSurFenetre_TestExe : public CScenarioTestExe {
 public:
  CBlocSurFenetre_TestExe(CScenarioTestExe& scenario, const char16_t* window);
  // The scenario the block belongs to (not the element cast, which
  // answers the block itself).
  CScenarioTestExe* pclScenarioProprietaire() const { return m_pclScenario; }

 protected:
  ~CBlocSurFenetre_TestExe() override = default;

 private:
  CScenarioTestExe* m_pclScenario;  // owns this block
};

class CGroupeTestExe : public CGroupeTestBase {
 public:
  CGroupeTestExe() = default;
  CGroupeTestExe* pclGroupeExe() override { return this; }
  int32_t nAccepte(CVisiteurElementTest& visitor) override {
    return visitor.nVisiteGroupeExe(*this);
  }
  CScenarioBase* pclCreeScenario() override { return new CScenarioTestExe(); }

  // The list above.
  CListeTestExe* pclListeParent();
  // Starts the group, runs its scenarios by the list's target kind, ends it.
  bool bExecute(CTestFactory& runner, CXError* error);
  // Starts the group alone (its handle, the start event, its journal
  // element when `journalled`): false when the host refuses it. Its list's
  // end ends it when nothing else did.
  bool bDemarre(CTestFactory& runner, CXError* error, bool journalled);
  int32_t AppelleEvenement(CTestFactory& runner, int32_t code, CXError* error);
  // Ends the further groups (last first) and the group.
  void Termine(CTestFactory& runner, CXError* error);

  bool m_bExecute = true;  // run flag
  bool m_bFinDifferee = false;  // ends when the deferred call ends
  intptr_t m_hGroupe = 0;
  bool m_bGroupeJournal = false;  // its "Groupe" element is open
  std::vector<CGroupeTestExe*> m_tabAutres;  // started and ended with it (not held)
  std::vector<CGroupeTestExe*> m_tabAutresDemarres;  // those started, in order

 protected:
  ~CGroupeTestExe() override = default;
};

class CListeTestExe : public CListeTestBase {
 public:
  CListeTestExe() = default;
  CListeTestExe* pclListeExe() override { return this; }
  int32_t nAccepte(CVisiteurElementTest& visitor) override {
    return visitor.nVisiteListeExe(*this);
  }
  CGroupeTestBase* pclCreeGroupe() override { return new CGroupeTestExe(); }

  // Applies the run parameters and marks the scenarios of the selection
  // (lines separated by CR LF; empty: every scenario).
  void SetParam(CTestFactory& runner, const char16_t* selection);
  bool bDemarre(CTestFactory& runner, CXError* error);
  bool bTermine(CTestFactory& runner, CXError* error);
  bool bExecuteTest(CTestFactory& runner, CXError* error);
  // At the end of a run kept started: tells the host, closes the journal.
  int32_t bFinExecution(CTestFactory& runner, qg::IMainVM* vm);
  int32_t AppelleEvenement(CTestFactory& runner, int32_t code, CXError* error);
  // Installs a host interface (a reference is taken) and returns the
  // previous one with its reference.
  qg::IMainVM* SetVM(qg::IMainVM* vm);

  intptr_t m_hListe = 0;
  bool m_bDemarree = false;
  qg::IMainVM* m_piVM = nullptr;  // held

 protected:
  ~CListeTestExe() override;
};

#endif  // QG_TESTRUNNER_MODEL_EXECUTABLE_H_
