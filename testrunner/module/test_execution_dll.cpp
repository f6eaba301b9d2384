#include "testrunner/module/test_execution_dll.h"

#include <new>

bool CTestExecutionDLL::vbInitModule() { return true; }

void CTestExecutionDLL::vTerminate() {}

CBaseExecutionDLL* NewTestExecution() { return new (std::nothrow) CTestExecutionDLL(); }
