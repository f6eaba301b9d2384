#include "support/frame/execution_dll.h"

bool CBaseExecutionDLL::vbInitModule() { return true; }
void CBaseExecutionDLL::vOpen(intptr_t, intptr_t) {}
void CBaseExecutionDLL::vTerminate() {}
void CBaseExecutionDLL::vNotify4879() {}
void CBaseExecutionDLL::vNotify5684() {}
void CBaseExecutionDLL::vNotify5864() {}
bool CBaseExecutionDLL::vbQuery4963(intptr_t) { return true; }
bool CBaseExecutionDLL::vbQuery5238(intptr_t) { return false; }
CBaseExecutionDLL::~CBaseExecutionDLL() = default;
