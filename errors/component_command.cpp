#include "errors/component_command.h"

#include "errors/catalogue.h"
#include "support/frame/execution_protocol.h"
#include "support/frame/module_services.h"

namespace qg {

intptr_t nCommandeComposante(int32_t code, intptr_t argument) {
  switch (code) {
    case kCmdSetMessageCallback:
      Services().pfnMessageText = reinterpret_cast<PFN_MessageText>(argument);
      return 1;
    case kCmdMessageText: {
      auto* request = reinterpret_cast<MessageTextRequest*>(argument);
      if (request == nullptr) return 0;
      int32_t result = 0;
      if (request->pszBuffer != nullptr && request->nCapacity > 0) {
        PFN_MessageText callback = Services().pfnMessageText;
        if (callback != nullptr) {
          result = callback(request->nNumber, request->pszBuffer, request->nCapacity);
        }
        if (result <= 0) {
          result = CatalogueText(request->nNumber, request->pszBuffer, request->nCapacity);
        }
      }
      request->nResult = result;
      return result;
    }
    case kCmdMessagePacking:
      return CataloguePacking(static_cast<int32_t>(argument));
    default:
      return 0;
  }
}

}  // namespace qg
