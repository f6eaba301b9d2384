// Module-wide state of qg300net: process attach and detach, the execution
// object, and the host-terminating flag EXT_VMTerm sets.
#ifndef QG_DOTNET_CONNECTOR_NET_MODULE_H_
#define QG_DOTNET_CONNECTOR_NET_MODULE_H_

#include "support/frame/execution_dll.h"

namespace qgnet {

// The module's execution object: termination tells the module that the
// host is going away, as EXT_VMTerm does.
class CDLLExecutionNet final : public CBaseExecutionDLL {
 public:
  void vTerminate() override;
};

CBaseExecutionDLL* NewExecutionNet();

// Process attach (state 0 to 1) and detach (1 to 2); each runs once.
void gInitModule();
void gTermModule();

// EXT_VMTerm: no further call reaches the host.
void HostGoingAway();
bool bHostGoingAway();

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_NET_MODULE_H_
