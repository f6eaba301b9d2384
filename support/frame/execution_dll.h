// The execution object behind a module's Execution export. The frame
// creates it on the first open and deletes it on the last close; a
// deliverable may use a subclass that replaces some of the operations.
#ifndef QG_SUPPORT_FRAME_EXECUTION_DLL_H_
#define QG_SUPPORT_FRAME_EXECUTION_DLL_H_

#include <cstdint>

#include "support/platform/module.h"

// Holds the host runtime's module handle, null until the first open.
class CInformationModule {
 public:
  qg::ModuleHandle hGetHostModule() const { return m_hHostModule; }
  void SetHostModule(qg::ModuleHandle module) { m_hHostModule = module; }

 protected:
  qg::ModuleHandle m_hHostModule = nullptr;
};

class CInformationDLL : public CInformationModule {};

// Operations in slot order; the frame calls them, never a caller of the
// module. The base behaviour is given with each.
class CBaseExecutionDLL : public CInformationDLL {
 public:
  CBaseExecutionDLL() = default;
  CBaseExecutionDLL(const CBaseExecutionDLL&) = delete;
  CBaseExecutionDLL& operator=(const CBaseExecutionDLL&) = delete;

  // 0: module initialisation, once, after the open handshake. False makes
  // the open fail. Base: true.
  virtual bool vbInitModule();
  // 1: every Execution(3985), with words 2 and 3 of the open record.
  virtual void vOpen(intptr_t first, intptr_t second);
  // 2: termination, on the close that ends the last open.
  virtual void vTerminate();
  // 3, 4, 5: notifications Execution(4879), (5684), (5864).
  virtual void vNotify4879();
  virtual void vNotify5684();
  virtual void vNotify5864();
  // 6: query Execution(4963). Base: true.
  virtual bool vbQuery4963(intptr_t argument);
  // 7: query Execution(5238). Base: false.
  virtual bool vbQuery5238(intptr_t argument);

  virtual ~CBaseExecutionDLL();
};

#endif  // QG_SUPPORT_FRAME_EXECUTION_DLL_H_
