#include "dotnet/connector/net_error.h"

#include "dotnet/connector/net_text.h"

namespace qgnet {

void GetError(CXError* error, ManagedId exc, bool use_inner, const char16_t* module_name) {
  if (error == nullptr) return;
  StringSink message, full;
  const ManagedTable* clr = ClrIfStarted();
  if (clr != nullptr && exc != 0) {
    clr->ExceptionText(exc, use_inner ? 1 : 0, &message, &full, nullptr);
  }
  if (module_name != nullptr && *module_name != u'\0') {
    error->SetUserError(Def(), 200006, module_name, message.c_str());
  } else {
    error->SetUserError(Def(), 200007, message.c_str());
  }
  if (!full.empty()) error->AddDebugMessage(full.c_str());
}

const ManagedTable* ClrOr(CXError* error) {
  std::u16string why;
  const ManagedTable* clr = Clr(&why);
  if (clr == nullptr && error != nullptr) {
    error->SetUserError(Def(), 200007, why.c_str());
  }
  return clr;
}

void SetNativeFault(CXError* error, const char* what) {
  if (error == nullptr) return;
  error->AddUserMessageFirst(&Def(), 200013);
  error->nSetNiveau(XERR_ERROR);
  error->AddDebugMessage(U16(what ? what : "").c_str());
}

}  // namespace qgnet
