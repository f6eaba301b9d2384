// The test runner's execution object: replaces module initialisation and
// termination; the other operations keep the base behaviour.
#ifndef QG_TESTRUNNER_MODULE_TEST_EXECUTION_DLL_H_
#define QG_TESTRUNNER_MODULE_TEST_EXECUTION_DLL_H_

#include "support/frame/execution_dll.h"

class CTestExecutionDLL : public CBaseExecutionDLL {
 public:
  // Creates the runner, binds the host's external-execution entry points
  // and opens the session. On failure nothing stays: the session is closed
  // and the runner released (no termination follows a failed open).
  bool vbInitModule() override;
  // Closes the session and releases the runner.
  void vTerminate() override;
};

// Factory handed to the frame.
CBaseExecutionDLL* NewTestExecution();

// Drops the module's reference on the runner, if it still holds one.
void LibereRunnerModule();

#endif  // QG_TESTRUNNER_MODULE_TEST_EXECUTION_DLL_H_
