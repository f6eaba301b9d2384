// The runner object: one per loaded module, held in a module-wide pointer
// from initialisation to termination; the host holds it through
// pQueryProxy(1). It loads test lists through the host's component
// "VMData" and keeps the lists it is asked to keep.
#ifndef QG_TESTRUNNER_RUNNER_TEST_FACTORY_H_
#define QG_TESTRUNNER_RUNNER_TEST_FACTORY_H_

#include <cstdint>
#include <vector>

#include "support/ctstring.h"
#include "support/frame/test_runner_abi.h"
#include "support/qg_unknown.h"
#include "testrunner/model/executable.h"

class CXError;

class CTestFactory : public qg::ITestFactory, public CQGUnknown {
 public:
  // Load options.
  static constexpr uint32_t kGarde = 1;        // keep the list in the runner
  static constexpr uint32_t kFormeGardee = 2;  // ask the host for the kept form

  CTestFactory() = default;

  int32_t AddRef() override { return CQGUnknown::AddRef(); }
  int32_t Release() override { return CQGUnknown::Release(); }
  IElementTest* piChargeListeTestParNom(const char16_t* name, CXError* error) override {
    return pclChargeListeTestParNom(name, error);
  }

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

 protected:
  ~CTestFactory() override;

 private:
  qg::IVMData* m_piVMData = nullptr;  // asked once
  bool m_bVMDataDemande = false;
  std::vector<CListeTestExe*> m_tabListes;  // one reference each
  CTString m_clRepertoireBase;
  qg::IMainVM* m_piVM = nullptr;
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
