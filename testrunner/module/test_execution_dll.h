// The test runner's execution object: replaces module initialisation and
// termination; the other operations keep the base behaviour.
#ifndef QG_TESTRUNNER_MODULE_TEST_EXECUTION_DLL_H_
#define QG_TESTRUNNER_MODULE_TEST_EXECUTION_DLL_H_

#include "support/frame/execution_dll.h"

class CTestExecutionDLL : public CBaseExecutionDLL {
 public:
  // Creates the runner object and opens the external-execution session;
  // until the runner lands: success.
  bool vbInitModule() override;
  // Ends the session and drops the runner object; until the runner lands:
  // nothing.
  void vTerminate() override;
};

// Factory handed to the frame.
CBaseExecutionDLL* NewTestExecution();

#endif  // QG_TESTRUNNER_MODULE_TEST_EXECUTION_DLL_H_
