// The executable elements: what the reader creates and the player runs.
// Each answers its executable cast and visit; the list creates executable
// groups, a group executable scenarios.
#ifndef QG_TESTRUNNER_MODEL_EXECUTABLE_H_
#define QG_TESTRUNNER_MODEL_EXECUTABLE_H_

#include "testrunner/model/element.h"

class CScenarioTestExe : public CScenarioBase {
 public:
  CScenarioTestExe() = default;
  CScenarioTestExe* pclScenarioExe() override { return this; }

 protected:
  ~CScenarioTestExe() override = default;
};

class CGroupeTestExe : public CGroupeTestBase {
 public:
  CGroupeTestExe() = default;
  CGroupeTestExe* pclGroupeExe() override { return this; }
  int32_t nAccepte(CVisiteurElementTest& visitor) override {
    return visitor.nVisiteGroupeExe(*this);
  }
  CScenarioBase* pclCreeScenario() override { return new CScenarioTestExe(); }

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

 protected:
  ~CListeTestExe() override = default;
};

#endif  // QG_TESTRUNNER_MODEL_EXECUTABLE_H_
