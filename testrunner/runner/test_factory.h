// The runner object: one per loaded module, held in a module-wide pointer
// from initialisation to termination; the host holds it through
// pQueryProxy(1). It loads test lists through the host's component
// "VMData" and keeps the lists it is asked to keep.
#ifndef QG_TESTRUNNER_RUNNER_TEST_FACTORY_H_
#define QG_TESTRUNNER_RUNNER_TEST_FACTORY_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/ctstring.h"
#include "support/frame/test_runner_abi.h"
#include "support/qg_unknown.h"
#include "testrunner/model/executable.h"
#include "testrunner/play/run_params.h"

class CFichierJournalTest;
class CTransBufferParam;
class CXError;

class CTestFactory : public qg::ITestFactory, public CQGUnknown {
 public:
  // Load options.
  static constexpr uint32_t kGarde = 1;        // keep the list in the runner
  static constexpr uint32_t kFormeGardee = 2;  // ask the host for the kept form

  CTestFactory();

  int32_t AddRef() override { return CQGUnknown::AddRef(); }
  int32_t Release() override { return CQGUnknown::Release(); }
  IElementTest* piChargeListeTestParNom(const char16_t* name, CXError* error) override {
    return pclChargeListeTestParNom(name, error);
  }
  // PrepareExecution is below.
  int32_t bExecuteListe(const char16_t* name, qg::IMainVM* vm, CXError* error) override;
  int32_t nEcritParametreCourant(int32_t kind, int32_t index, int32_t sub, const CAny* value,
                                 CXError* error) override;
  void RapporteValeurCourante(const char16_t* name, const char16_t* value) override;
  int32_t bFinExecution(qg::IMainVM* vm) override { return bFinExecutionListes(vm); }
  int32_t nFermeJournal() override { return FermeJournal(); }
  void ChargeTableNoms(const char16_t* const* lists, int32_t count) override;
  void SignaleFinInattendue() override;
  void SignaleErreur(const CXError* error, int32_t line) override;
  int32_t bEnregistrementDemande() override;
  int32_t bEnregistrementSansListeDemande() override;
  int32_t bLectureDemandee() override;
  int32_t bEnregistrementAvecListeDemande() override;
  int32_t nDemarrageApplication(qg::IMainVM* vm, CXError* error) override;
  int32_t bExecuteDiffere(qg::IMainVM* vm, CXError* error) override;
  int32_t bFinExecuteDiffere(CXError* error) override;
  IElementTest* piScenarioDiffere() override;
  void SignaleAppelElement(qg::IElementHote* element) override;
  void SignaleFermetureFenetre(qg::IElementHote* window) override;

  // Loads a list named by the first name, else the second; one reference
  // for the caller (and one kept when asked). Null with 540021 (the name)
  // or the host's error.
  CListeTestExe* pclChargeListeTest(const char16_t* first, const char16_t* second,
                                    CXError* error, uint32_t options);
  // Loads and keeps; 540000 for a null or empty name.
  CListeTestExe* pclChargeListeTestParNom(const char16_t* name, CXError* error);
  // The second entry: the name goes as second name; kept when asked.
  CListeTestExe* pclChargeListeTestParNom(const char16_t* name, bool keep, CXError* error);

  // Fills a scenario stored without data sets from its legacy file:
  // <base>\<list>\<scenario>\param.fic through the host's data engine.
  void LitJeuxAnciens(CScenarioBase& scenario);

  // The test base directory (set from the host's parameters).
  void SetRepertoireBase(const char16_t* dir) { m_clRepertoireBase.Set(dir); }
  const CTString& clRepertoireBase() const { return m_clRepertoireBase; }

  // The host interface of the current library object (not held).
  void SetVM(qg::IMainVM* vm) { m_piVM = vm; }
  qg::IMainVM* piGetVM() const { return m_piVM; }

  const std::vector<CListeTestExe*>& tabListes() const { return m_tabListes; }
  // Releases the kept lists.
  void LibereListes();

  // --- playback ---------------------------------------------------------------
  // Reads the run parameters from the zone of that name (empty: nothing).
  void PrepareExecution(const char16_t* zone_name) override;
  void SetParam(const CParamTest& param);
  const CParamTest& clParam() const { return m_clParam; }
  // Runs a list (or the one the parameters or the name give): true when
  // every group ran and every list ended.
  bool bExecute(CListeTestExe* list, const char16_t* list_name, qg::IMainVM* vm,
                CXError* error);
  // Ends every loaded list kept started, last first; 0 at the first failure.
  int32_t bFinExecutionListes(qg::IMainVM* vm);
  // Keeps a list loaded before the run (one reference taken).
  void SetPrecharge(CListeTestExe* list);

  // --- journal -----------------------------------------------------------------
  // Closes an open journal, opens one at the path and writes the run and
  // platform information. False: no journal.
  bool OuvreJournal(const char16_t* path);
  // 1 when a journal was open and all of it was written, else 0.
  int32_t FermeJournal();
  // Whether the run parameters name the journal (an output path in
  // playback): the run then journals there or nowhere.
  bool bJournalDemande() const;
  // Opens the journal the run parameters name (closing an open one first),
  // once per run: a list after the first journals nowhere rather than
  // truncate the first list's journal. False when no journal is open.
  bool OuvreJournalDemande();
  CFichierJournalTest* pclJournal() const { return m_pJournal.get(); }
  // "Position" of the running code; a line other than -1 replaces the
  // position's own.
  void EcritPositionCourante(int32_t kind, int32_t line = -1);
  // "Erreur": message 5339 with the name and both values, the position,
  // a screenshot.
  void JournaliseDifference(CScenarioTestExe* scenario, const char16_t* name,
                            const CAny* expected, const CAny* actual);
  // A screenshot of the application's main window into the journal, when
  // the companion gives one.
  void AjouteCaptureEcran();

  // --- running scenarios ----------------------------------------------------------
  void EmpileScenario(CScenarioTestExe* s);
  void DepileScenario(CScenarioTestExe* s);
  // The top of the stack of started scenarios, or null.
  CScenarioTestExe* pclScenarioCourant() const;

  // --- expected answers --------------------------------------------------------------
  void AjouteReponseAttendue(int32_t mask, int32_t answer);
  void AjouteSaisieAttendue(const char16_t* window, const char16_t* input, uint16_t type,
                            const char16_t* value);
  void AjouteAppelAttendu(const char16_t* name, CGroupeTestExe* group,
                          CScenarioTestExe* scenario);
  // 1 and the queued answer when expected; else 0, a default answer and
  // 540005 (in playback).
  int32_t nReponseBoiteMessage(int32_t style, int32_t* answer, CXError* error);
  // `window`: the name of the input's window element, null when the host
  // found none (used while recording).
  bool bValeurSaisie(const char16_t* input, std::u16string* value,
                     const char16_t* window = nullptr);
  int32_t bResoutFenetre(const char16_t* window, CGroupeTestExe** group,
                         CScenarioTestExe** handler, CXError* error);
  int32_t nVerifieConnexionZMB(const char16_t* name, int32_t window_state);
  void PauseApresSaisie(int32_t message) override;
  void PauseApresMessage(int32_t first_field, int32_t fifth_field) override;
  // Journals what the scenario announced and was not used, then drops it.
  void RapportFinScenario(CScenarioTestExe& s);
  void ViderAttentes();

  // --- name table ------------------------------------------------------------------
  // The test list whose target has that name (case ignored), or null.
  const char16_t* pszListeDeCible(const char16_t* target) const;

  // --- deferred passes --------------------------------------------------------------
  bool bModeDiffere() const { return m_bModeDiffere; }
  // The scenario whose pass the host runs as a deferred call (one reference
  // held), or null.
  CScenarioTestExe* pclScenarioDiffere() const { return m_pclDiffere; }
  void SetScenarioDiffere(CScenarioTestExe* s);

  // --- recording --------------------------------------------------------------------
  // Starts the recorder on the parameters' output path (which it takes).
  void DemarreEnregistreur(int32_t continuation);
  // The scenario running now (events of target kinds 0, 4 and 7), or null.
  CScenarioTestExe* pclScenarioEnCours() const { return m_pclCourant; }
  // Gives the running scenario back after a scenario ran within it.
  void SetScenarioEnCours(CScenarioTestExe* s) { m_pclCourant = s; }

  // The sleeper of the pauses (tests replace it).
  std::function<void(uint32_t)> pfnDort;

 protected:
  ~CTestFactory() override;

 private:
  struct ReponseAttendue {
    int32_t nMasque;
    int32_t nReponse;
    CScenarioTestExe* pclScenario;  // identity only
  };
  struct SaisieAttendue {
    std::u16string clFenetre, clSaisie;
    uint16_t nType;
    std::u16string clValeur;
    CScenarioTestExe* pclScenario;
  };
  struct AppelAttendu {
    std::u16string clNom;
    CGroupeTestExe* pclGroupe = nullptr;
    CScenarioTestExe* pclCible = nullptr;
    CScenarioTestExe* pclScenario = nullptr;
    std::u16string clLibelle;
    int32_t nLigne = 0;
    uint32_t nIdFichier = 0;
    int32_t nIdTrt = -1;
    uint64_t nIdObjet = ~0ull;
  };
  void Dort(uint32_t ms);

  CParamTest m_clParam;
  std::unique_ptr<CTransBufferParam> m_pZone;
  bool m_bLibereListe = false;
  std::unique_ptr<CFichierJournalTest> m_pJournal;
  // The journal the run parameters name was opened in this run: a later
  // list of the run does not open it again, which would truncate it.
  bool m_bJournalDemandeOuvert = false;
  CListeTestExe* m_pclPrecharge = nullptr;  // held
  std::vector<CScenarioTestExe*> m_tabPile;
  CScenarioTestExe* m_pclCourant = nullptr;
  std::vector<ReponseAttendue> m_tabReponses;
  std::vector<SaisieAttendue> m_tabSaisies;
  std::vector<AppelAttendu> m_tabAppels;

  qg::IVMData* m_piVMData = nullptr;  // asked once
  bool m_bVMDataDemande = false;
  std::vector<CListeTestExe*> m_tabListes;  // one reference each
  CTString m_clRepertoireBase;
  qg::IMainVM* m_piVM = nullptr;

  struct CompareSansCasse {
    bool operator()(const std::u16string& a, const std::u16string& b) const;
  };
  std::map<std::u16string, std::u16string, CompareSansCasse> m_tabNoms;  // target -> list
  bool m_bModeDiffere = false;
  CScenarioTestExe* m_pclDiffere = nullptr;  // held
};

// The component access the host handed over (host item 7), or null.
qg::IComponentAccess* piAccesComposants();

// The module's runner, null outside initialisation .. termination.
CTestFactory*& ModuleRunner();

// Loads a list through the module's runner, keeping it.
CListeTestExe* pclChargeListeTestGlobal(const char16_t* name, CXError* error);
// "list.group.scenario": the list by the part before the first '.', then
// the scenario in it by the rest; null when the list does not load (the
// error holds why) or the scenario is absent. The list stays kept.
CScenarioBase* pclChercheScenarioParNomComplet(const char16_t* name, CXError* error);

#endif  // QG_TESTRUNNER_RUNNER_TEST_FACTORY_H_
