#include "support/frame/module_frame.h"

#include <algorithm>
#include <new>

#include "support/frame/module_services.h"

namespace qg {

namespace {

CBaseExecutionDLL* NewBaseExecution() { return new (std::nothrow) CBaseExecutionDLL(); }

intptr_t AskHost(int32_t item) { return Services().pfnHostExecution(kHostItemQuery, item); }

// The locale interface to keep for one the host gave: a version-4 one is
// served through the wrapper, re-pointed at it, so that a reopen with a new
// interface never reaches a released one.
IInfoLocale* AdoptLocale(IInfoLocale* given) {
  FrameState& frame = Frame();
  if (given == nullptr || given == &frame.clLocaleWrapper) return given;
  if (given->nGetVersion() >= 5) return given;
  frame.clLocaleWrapper.SetInner(given);
  frame.nLocaleWrapperFlags |= 1;
  return &frame.clLocaleWrapper;
}

bool Handshake(ModuleHandle host) {
  ModuleServices& services = Services();
  auto execution = reinterpret_cast<PFN_HostExecution>(Frame().pfnFindSymbol(host, "Execution"));
  if (execution == nullptr) return false;
  services.pfnHostExecution = execution;
  for (int32_t item : kHandshakeItems) {
    intptr_t answer = AskHost(item);
    switch (item) {
      case kItemValueObjects:
        services.piValueObjects = reinterpret_cast<IGlobalFactory*>(answer);
        break;
      case kItemInfoLocale:
        services.piInfoLocale = AdoptLocale(reinterpret_cast<IInfoLocale*>(answer));
        break;
      case kItemStringMemory:
        services.piStringMemory = reinterpret_cast<IStringMemory*>(answer);
        break;
      default:
        break;
    }
  }
  return true;
}

// Items asked after a successful handshake by the open that created the
// execution object.
void AskOpenItems(intptr_t runtime_object) {
  ModuleServices& services = Services();
  if (runtime_object == 0) runtime_object = AskHost(kItemRuntimeObject);
  services.nRuntimeObject = runtime_object;
  for (int32_t item : kOpenItems) {
    intptr_t answer = AskHost(item);
    if (item == kItemExecutionKind) {
      services.nExecutionKind = answer;
    } else if (item == kItemFlags) {
      services.nFlags = answer;
    } else if (item == kItemFileFormat) {
      services.nFileFormatVersion =
          std::max(services.nFileFormatVersion, static_cast<int32_t>(answer));
    }
  }
}

void DestroyExecution() {
  FrameState& frame = Frame();
  CBaseExecutionDLL* object = frame.pclExecution;
  frame.pclExecution = nullptr;
  delete object;
}

intptr_t Open(const ExecutionOpenRecord* record, PFN_NewExecution factory) {
  if (record == nullptr) return kExecFailed;
  FrameState& frame = Frame();
  if (frame.pclExecution == nullptr) {
    CBaseExecutionDLL* object = (factory != nullptr ? factory : &NewBaseExecution)();
    if (object == nullptr) return kExecFailed;
    frame.pclExecution = object;
    intptr_t runtime_object =
        record->nFormat >= kOpenRecordFormatWithRuntime ? record->nRuntimeObject : 0;
    auto host = reinterpret_cast<ModuleHandle>(record->hHostModule);
    if (host != nullptr) {
      object->SetHostModule(host);
      if (!Handshake(host)) {
        // A failed first open leaves no object behind, so the next open
        // starts again with the handshake instead of reporting success.
        DestroyExecution();
        return kExecFailed;
      }
      AskOpenItems(runtime_object);
    }
    // An initialisation that throws has failed like one that returns 0.
    bool initialised = false;
    try {
      initialised = object->vbInitModule();
    } catch (...) {
    }
    if (!initialised) {
      DestroyExecution();
      return kExecFailed;
    }
  }
  frame.pclExecution->vOpen(record->nFirst, record->nSecond);
  ++frame.nOpenCount;
  return kExecHandled;
}

intptr_t Close() {
  FrameState& frame = Frame();
  if (frame.nOpenCount != 0) {
    --frame.nOpenCount;
    if (frame.nOpenCount != 0) return kExecHandled;
  }
  if (frame.pclExecution != nullptr) {
    frame.pclExecution->vTerminate();
    DestroyExecution();
  }
  return kExecHandled;
}

intptr_t Dispatch(int32_t code, intptr_t argument, PFN_NewExecution factory) {
  CBaseExecutionDLL* object = Frame().pclExecution;
  switch (code) {
    case kExecOpen:
      return Open(reinterpret_cast<const ExecutionOpenRecord*>(argument), factory);
    case kExecClose:
      return Close();
    case kExecSetLocale:
      Services().piInfoLocale = AdoptLocale(reinterpret_cast<IInfoLocale*>(argument));
      return kExecHandled;
    case kExecNotify4879:
      if (object != nullptr) object->vNotify4879();
      return kExecHandled;
    case kExecNotify5684:
      if (object != nullptr) object->vNotify5684();
      return kExecHandled;
    case kExecNotify5864:
      if (object != nullptr) object->vNotify5864();
      return kExecHandled;
    case kExecQuery4963:
      if (Services().piValueObjects == nullptr) return kExecHandled;
      return object != nullptr && object->vbQuery4963(argument) ? kExecHandled : kExecRefused;
    case kExecQuery5238:
      return object != nullptr && object->vbQuery5238(argument) ? kExecHandled : kExecFailed;
    default:
      return kExecFailed;
  }
}

}  // namespace

FrameState& Frame() {
  static FrameState state;
  return state;
}

intptr_t FrameExecution(int32_t code, intptr_t argument, PFN_NewExecution factory) {
  try {
    return Dispatch(code, argument, factory);
  } catch (...) {
    return kExecFailed;
  }
}

intptr_t FrameCommandeComposante(int32_t code, intptr_t argument) {
  ModuleServices& services = Services();
  switch (code) {
    case kCmdSetMessageCallback:
      services.pfnMessageText = reinterpret_cast<PFN_MessageText>(argument);
      return 1;
    case kCmdMessageText: {
      auto* request = reinterpret_cast<MessageTextRequest*>(argument);
      if (request == nullptr) return 0;
      // No buffer or no room: nothing is written, not even by the host.
      int32_t result = 0;
      if (request->pszBuffer != nullptr && request->nCapacity > 0) {
        if (services.pfnMessageText != nullptr) {
          result = services.pfnMessageText(request->nNumber, request->pszBuffer,
                                           request->nCapacity);
        }
        if (result <= 0) {
          result = 0;
          if (services.pfnCatalogueText != nullptr) {
            result = std::max<int32_t>(
                0, services.pfnCatalogueText(request->nNumber, request->pszBuffer,
                                             request->nCapacity));
          }
        }
      }
      request->nResult = result;
      return result;
    }
    case kCmdMessagePacking:
      if (services.pfnCataloguePacking == nullptr) return -1;
      return services.pfnCataloguePacking(static_cast<int32_t>(argument));
    default:
      return 0;
  }
}

int32_t FrameInitConv(ModuleHandle host, int32_t first, int32_t second) {
  if (!(first >= 2 && second <= 2)) return 0;
  PFN_FindSymbol find = Frame().pfnFindSymbol;
  auto conversion = reinterpret_cast<PFN_ConversionDepassementExt>(find(host, kConversionEntryName));
  if (conversion == nullptr) return 0;
  auto fin = reinterpret_cast<PFN_FinConversion>(find(host, kFinConversionEntryName));
  if (fin == nullptr) return 0;
  Services().pfnConversion = conversion;
  Services().pfnFinConversion = fin;
  return 1;
}

int32_t FrameInitCalc(ModuleHandle host, int32_t first, int32_t second) {
  if (!(first >= 2 && second <= 2)) return 0;
  PFN_FindSymbol find = Frame().pfnFindSymbol;
  PFN_CalcEntry bound[kCalcEntryCount];
  for (int i = 0; i < kCalcEntryCount; ++i) {
    bound[i] = reinterpret_cast<PFN_CalcEntry>(find(host, kCalcEntryNames[i]));
    if (bound[i] == nullptr) return 0;
  }
  std::copy(bound, bound + kCalcEntryCount, Services().apfnCalc);
  return 1;
}

void TermExecutionObject() {
  DestroyExecution();
  // Opens counted before the teardown belong to the object just deleted; a
  // stale count would keep the next object from ever being terminated.
  Frame().nOpenCount = 0;
}

void ResetFrameForTesting() {
  DestroyExecution();
  FrameState& frame = Frame();
  frame.nOpenCount = 0;
  frame.nInitCount = 0;
  frame.clLocaleWrapper.SetInner(nullptr);
  frame.nLocaleWrapperFlags = 0;
  frame.pfnFindSymbol = &FindSymbol;
  Services() = ModuleServices{};
}

}  // namespace qg
