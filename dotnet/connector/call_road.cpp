#include "dotnet/connector/call_road.h"

#include <atomic>
#include <memory>
#include <vector>

#include "dotnet/connector/bridge_value.h"
#include "dotnet/connector/dotnet_manager.h"
#include "dotnet/connector/net_error.h"

namespace qgnet {
namespace {

std::atomic<int64_t> g_resolutions{0};

const char16_t* Safe(const char16_t* text) { return text != nullptr ? text : u""; }

// The arguments of a call: argument i lies at depth count - 1 - i.
std::vector<OutgoingValue> Arguments(CSLevel* stack, int32_t count) {
  std::vector<OutgoingValue> args(static_cast<size_t>(count > 0 ? count : 0));
  for (int32_t i = 0; i < count; ++i) {
    StackToBridge(stack, count - 1 - i, &args[static_cast<size_t>(i)]);
  }
  return args;
}

// The argument records of the calls running on a thread, one set per
// nesting level (a .NET method may call back into the host, which calls
// .NET again): kept from call to call so that a call allocates nothing.
struct CallBuffers {
  std::vector<OutgoingValue> args;
  std::vector<BridgeValue> records;
};
struct ThreadBuffers {
  std::vector<std::unique_ptr<CallBuffers>> levels;
  size_t depth = 0;
};
thread_local ThreadBuffers t_buffers;

class ScopedBuffers {
 public:
  ScopedBuffers(CSLevel* stack, int32_t count) : t_(&t_buffers) {
    if (t_->levels.size() <= t_->depth) t_->levels.push_back(std::make_unique<CallBuffers>());
    b_ = t_->levels[t_->depth].get();
    size_t n = static_cast<size_t>(count > 0 ? count : 0);
    b_->args.resize(n);
    b_->records.resize(n);
    for (size_t i = 0; i < n; ++i) {
      OutgoingValue& arg = b_->args[i];
      int32_t depth = count - 1 - static_cast<int32_t>(i);
      arg.sink.clear();
      // A number value is neither a .NET object (an empty value) nor an
      // array (code 34): its record is filled at once.
      CAny* any = stack->pclGetValeur(depth);
      if (any != nullptr && FixedToBridge(*any, &arg.sink, &b_->records[i])) continue;
      arg.text.clear();
      StackToBridge(stack, depth, &arg);
      b_->records[i] = arg.value;
    }
    ++t_->depth;  // taken once filled: a throw above leaves the level free
  }
  ~ScopedBuffers() { --t_->depth; }
  ScopedBuffers(const ScopedBuffers&) = delete;
  ScopedBuffers& operator=(const ScopedBuffers&) = delete;
  std::vector<OutgoingValue>& args() { return b_->args; }
  std::vector<BridgeValue>& records() { return b_->records; }

 private:
  ThreadBuffers* t_;
  CallBuffers* b_;
};

std::vector<BridgeValue> Records(std::vector<OutgoingValue>& args) {
  std::vector<BridgeValue> records;
  records.reserve(args.size());
  for (OutgoingValue& arg : args) records.push_back(arg.value);
  return records;
}

// InitErrorInvocation: 200002 with the type's name and "method(parameters)";
// a .NET exception that caused it goes first (its inner exception when it
// has one), with an information entry holding the exception.
void InitErrorInvocation(CXError* error, CDotNetType* type, const std::u16string& what,
                         ManagedId exc) {
  if (error == nullptr) return;
  _CXErrorModule20 invocation;
  invocation.SetUserError(Def(), 200002, type != nullptr ? type->FullName().c_str() : u"",
                          what.c_str());
  if (exc != 0) {
    GetError(error, exc, true, nullptr);
    error->AddError(invocation);
    RecordException(error, exc);
  } else {
    error->RAZ();
    error->AddError(invocation);
  }
}

// By-reference arguments written by the callee go back to the stack, each
// converted to its slot's host type; a value that does not fit is refused.
bool WriteBack(CSLevel* stack, int32_t count, std::vector<OutgoingValue>& args,
               std::vector<BridgeValue>& records) {
  for (int32_t i = 0; i < count; ++i) {
    BridgeValue& record = records[static_cast<size_t>(i)];
    if ((record.flags & kBridgeWritten) == 0) continue;
    int32_t depth = count - 1 - i;
    CAny value;
    IDotNetInstance* instance = nullptr;
    if (!BridgeToAny(&record, args[static_cast<size_t>(i)].sink, &value, &instance)) {
      return false;
    }
    if (instance != nullptr) {
      if (!stack->bRemplaceInstance(depth, instance)) return false;
      continue;
    }
    CAny* slot = stack->pclGetValeur(depth);
    if (slot != nullptr && !slot->bEstVide() && !value.bEstNull() &&
        slot->nGetCode() != value.nGetCode()) {
      CAny converted(value);
      int status = converted.nCastTo(slot->nGetCode());
      if (status != 0) return false;  // lost or impossible
      value = converted;
    }
    if (!stack->bRemplace(depth, value)) return false;
  }
  return true;
}

std::u16string MethodText(const STMethodeDotNet* method) {
  std::u16string text = Safe(method != nullptr ? method->pszNom : nullptr);
  text += u"(";
  if (method != nullptr) text += Safe(method->pszTypesParametres);
  text += u")";
  return text;
}

enum class Outcome { kDone, kFailed, kNotFitting };

// Arguments a call through a direct stub takes from the native stack.
constexpr int32_t kInlineArguments = 8;

// The status of a call: a failure becomes the invocation error.
Outcome Failed(int32_t status, ManagedId check, CDotNetType* type,
               const STMethodeDotNet* description, ManagedId exc, CXError* error) {
  if (status == kBridgeNotFitting && check != 0) return Outcome::kNotFitting;
  InitErrorInvocation(error, type, MethodText(description), exc);
  return Outcome::kFailed;
}

// The road of most calls made again and again: a direct stub (which writes
// no argument back and reads no argument's sink) and arguments that are all
// fixed-size numbers, read into records on the native stack. False when the
// arguments do not all qualify: nothing was done.
[[gnu::always_inline]] inline bool InvokeDirect(CDotNetType* type, ManagedId stub,
                                               ManagedId check, ManagedId target,
                                               const STMethodeDotNet* description,
                                               CSLevel* stack, int32_t count,
                                               bool want_result, CXError* error,
                                               Outcome* outcome) {
  // A depth past the stack reads null: the general road then counts again.
  BridgeValue records[kInlineArguments];
  for (int32_t i = 0; i < count; ++i) {
    const CAny* any = stack->pclGetValeur(count - 1 - i);
    if (any == nullptr || !FixedToBridge(*any, nullptr, &records[i])) return false;
  }
  StringSink sink;
  BridgeValue result{};
  result.sink = &sink;
  ManagedRef exc;
  int32_t status = ClrIfStarted()->CallStub(stub, check, target, records, count,
                                            want_result ? 1 : 0, &result, exc.out());
  if (status != kBridgeOk) {
    *outcome = Failed(status, check, type, description, exc.get(), error);
    return true;
  }
  *outcome = Outcome::kDone;
  if (want_result && (result.flags & kBridgeNoValue) == 0) {
    int pushed = PushFixed(stack, result);
    if (pushed == 0 || (pushed < 0 && !PushBridge(stack, &result, sink))) {
      *outcome = Failed(kBridgeNotConverted, 0, type, description, 0, error);
    }
  }
  return true;
}

// Invokes a resolved method with the stack's arguments, writes by-reference
// arguments back and pushes the result. With a type to check, a method that
// cannot be called on it changes nothing (kNotFitting).
// stub: the method's call stub, 0 to call it through reflection; direct:
// the stub calls the method without reflection.
Outcome InvokeResolved(CDotNetType* type, ManagedId method, ManagedId stub, bool direct,
                       ManagedId check, ManagedId target, const STMethodeDotNet* description,
                       CSLevel* stack, int32_t count, bool want_result, CXError* error) {
  Outcome outcome;
  if (direct && stub != 0 && count <= kInlineArguments &&
      InvokeDirect(type, stub, check, target, description, stack, count, want_result, error,
                   &outcome)) {
    return outcome;
  }
  ScopedBuffers buffers(stack, count);
  std::vector<OutgoingValue>& args = buffers.args();
  std::vector<BridgeValue>& records = buffers.records();
  OutgoingValue result;
  result.value.sink = &result.sink;
  ManagedRef exc;
  const ManagedTable* clr = ClrIfStarted();
  int32_t status = stub != 0 ? clr->CallStub(stub, check, target, records.data(), count,
                                             want_result ? 1 : 0, &result.value, exc.out())
                             : clr->InvokeMethod(method, check, target, records.data(), count,
                                                 want_result ? 1 : 0, &result.value, exc.out());
  if (status != kBridgeOk) return Failed(status, check, type, description, exc.get(), error);
  bool written = false;
  for (int32_t i = 0; i < count; ++i) {
    written |= (records[static_cast<size_t>(i)].flags & kBridgeWritten) != 0;
  }
  if (written && !WriteBack(stack, count, args, records)) {
    InitErrorInvocation(error, type, MethodText(description), 0);
    return Outcome::kFailed;
  }
  if (want_result && (result.value.flags & kBridgeNoValue) == 0 &&
      !PushBridge(stack, &result.value, result.sink)) {
    InitErrorInvocation(error, type, MethodText(description), 0);
    return Outcome::kFailed;
  }
  return Outcome::kDone;
}

bool Finished(Outcome outcome) { return outcome == Outcome::kDone; }

std::u16string MethodKey(CDotNetType* type, const STMethodeDotNet* method) {
  std::u16string key = type->FullName();
  key += u"::";
  key += Safe(method->pszNom);
  key += u"(";
  key += Safe(method->pszTypesParametres);
  key += u")";
  return key;
}

bool HasDeclaredTypes(const STMethodeDotNet* method) {
  return method != nullptr &&
         (method->nNbTypeParametre > 0 ||
          (method->pszTypesParametres != nullptr && *method->pszTypesParametres != u'\0'));
}

// CallMethod when the identifier does not lead to a direct call: the
// registry by key, then the resolutions.
__attribute__((noinline)) bool CallResolving(CDotNetType* type, ManagedId target,
                                             const STMethodeDotNet* method, uint32_t* identifier,
                                             CSLevel* stack, int32_t count, bool result,
                                             CXError* error) {
  const ManagedTable* clr = ClrIfStarted();
  if (clr == nullptr || type == nullptr || method == nullptr || stack == nullptr) return false;
  if (count < 0 || count > stack->nGetNbValeur()) count = stack->nGetNbValeur();
  // The host's manager without counting (no lock, no shared count per
  // call); when the host holds none, one taken for the call.
  CDotNetManager* manager = CDotNetManager::Held();
  std::unique_ptr<CDotNetManager, void (*)(CDotNetManager*)> hold(
      nullptr, [](CDotNetManager* m) { m->Release(); });
  if (manager == nullptr) {
    manager = CDotNetManager::Acquire();
    if (manager == nullptr) return false;
    hold.reset(manager);
  }
  bool generic = type->bFlag(1);
  uint32_t slot = identifier != nullptr ? *identifier : 0;

  if (!generic) {
    if (slot != 0) {
      // A slot naming nothing, or another type's method, resolves again.
      if (CDotNetMember* known = manager->pclGetMethod(slot)) {
        bool direct;
        ManagedId stub = known->Stub(&direct);
        Outcome outcome = InvokeResolved(type, known->Id(), stub, direct, type->Id(), target,
                                         method, stack, count, result, error);
        if (outcome != Outcome::kNotFitting) return Finished(outcome);
      }
    }
    std::u16string key = MethodKey(type, method);
    int32_t id = manager->nGetMethodId(key);
    if (CDotNetMember* known = manager->pclGetMethod(static_cast<uint32_t>(id))) {
      bool direct;
      ManagedId stub = known->Stub(&direct);
      Outcome outcome = InvokeResolved(type, known->Id(), stub, direct, type->Id(), target,
                                       method, stack, count, result, error);
      if (outcome != Outcome::kNotFitting) {
        if (identifier != nullptr) *identifier = static_cast<uint32_t>(id);
        return Finished(outcome);
      }
    }
  }

  if (HasDeclaredTypes(method)) {
    g_resolutions.fetch_add(1);
    ManagedRef found, exc;
    int32_t status =
        clr->ResolveDeclared(type->Id(), Safe(method->pszNom), Safe(method->pszTypesParametres),
                             Safe(method->pszGeneriques), found.out(), exc.out());
    if (status != kBridgeOk) {
      InitErrorInvocation(error, type, MethodText(method), exc.get());
      return false;
    }
    if (generic) {
      // Resolved afresh at each call: no stub is worth making.
      return Finished(InvokeResolved(type, found.get(), 0, false, 0, target, method, stack,
                                     count, result, error));
    }
    auto* wrapper = new CDotNetMethod(found.release());
    wrapper->SetKey(MethodKey(type, method));
    int32_t id = manager->nAddMethod(wrapper);
    CDotNetMember* registered = manager->pclGetMethod(static_cast<uint32_t>(id));
    if (registered == nullptr) {
      InitErrorInvocation(error, type, MethodText(method), 0);
      return false;
    }
    if (identifier != nullptr) *identifier = static_cast<uint32_t>(id);
    bool direct;
    ManagedId stub = registered->Stub(&direct);
    return Finished(InvokeResolved(type, registered->Id(), stub, direct, 0, target, method, stack,
                                   count, result, error));
  }

  g_resolutions.fetch_add(1);
  std::vector<OutgoingValue> args = Arguments(stack, count);
  std::vector<BridgeValue> records = Records(args);
  OutgoingValue out;
  out.value.sink = &out.sink;
  ManagedRef exc;
  int32_t status =
      clr->InvokeByName(type->Id(), target, Safe(method->pszNom), Safe(method->pszGeneriques),
                        records.data(), count, result ? 1 : 0, &out.value, exc.out());
  if (status != kBridgeOk) {
    InitErrorInvocation(error, type, MethodText(method), exc.get());
    return false;
  }
  if (!WriteBack(stack, count, args, records) ||
      (result && (out.value.flags & kBridgeNoValue) == 0 &&
       !PushBridge(stack, &out.value, out.sink))) {
    InitErrorInvocation(error, type, MethodText(method), 0);
    return false;
  }
  return true;
}

}  // namespace

int64_t ResolutionCount() { return g_resolutions.load(); }

bool CallMethod(CDotNetType* type, ManagedId target, const STMethodeDotNet* method,
                uint32_t* identifier, CSLevel* stack, int32_t count, bool result, CXError* error) {
  // A call again through its identifier, on the host's manager (held by the
  // host: no count taken), to a method with a direct stub: straight to it.
  uint32_t slot = identifier != nullptr ? *identifier : 0;
  CDotNetManager* manager = CDotNetManager::Held();
  if (slot != 0 && manager != nullptr && type != nullptr && method != nullptr &&
      stack != nullptr && count >= 0 && count <= kInlineArguments && !type->bGeneric()) {
    if (CDotNetMember* known = manager->pclGetMethod(slot)) {
      bool direct;
      ManagedId stub = known->Stub(&direct);
      Outcome outcome;
      if (direct && InvokeDirect(type, stub, type->Id(), target, method, stack, count, result,
                                 error, &outcome) &&
          outcome != Outcome::kNotFitting) {
        return Finished(outcome);
      }
    }
  }
  return CallResolving(type, target, method, identifier, stack, count, result, error);
}

bool Construct(CDotNetInstance* instance, const STMethodeDotNet* method, uint32_t* identifier,
               CSLevel* stack, int32_t count, CXError* error) {
  const ManagedTable* clr = ClrIfStarted();
  CDotNetType* type = instance->Type();
  if (clr == nullptr || type == nullptr) return false;
  if (stack == nullptr) count = 0;
  if (stack != nullptr && (count < 0 || count > stack->nGetNbValeur())) {
    count = stack->nGetNbValeur();
  }
  std::vector<OutgoingValue> args;
  if (count > 0) args = Arguments(stack, count);
  std::vector<BridgeValue> records = Records(args);

  CDotNetManager* manager = CDotNetManager::Acquire();
  if (manager == nullptr) return false;
  std::unique_ptr<CDotNetManager, void (*)(CDotNetManager*)> hold(
      manager, [](CDotNetManager* m) { m->Release(); });
  const char16_t* declared = method != nullptr ? Safe(method->pszTypesParametres) : u"";
  ManagedId ctor = 0;
  ManagedRef resolved, exc;
  bool generic = type->bFlag(1);
  if (!generic && identifier != nullptr && *identifier != 0) {
    CDotNetMember* known = manager->pclGetConstructor(*identifier);
    if (known != nullptr && clr->MethodFitsType(known->Id(), type->Id()) == 1) {
      ctor = known->Id();
    }
  }
  std::u16string key = type->FullName() + u"::.ctor(" + declared + u")";
  if (ctor == 0 && !generic && *declared != u'\0') {
    int32_t id = manager->nGetConstructorId(key);
    if (CDotNetMember* known = manager->pclGetConstructor(static_cast<uint32_t>(id))) {
      ctor = known->Id();
      if (identifier != nullptr) *identifier = static_cast<uint32_t>(id);
    }
  }
  if (ctor == 0) {
    g_resolutions.fetch_add(1);
    int32_t status = clr->ResolveConstructor(type->Id(), declared, records.data(), count,
                                             resolved.out(), exc.out());
    if (status != kBridgeOk) {
      InitErrorInvocation(error, type, u".ctor(" + std::u16string(declared) + u")", exc.get());
      if (error != nullptr) error->AddUserMessageFirst(&Def(), 3598, type->FullName().c_str());
      return false;
    }
    ctor = resolved.get();
    if (ctor != 0 && !generic && *declared != u'\0') {
      auto* wrapper = new CDotNetConstructor(resolved.release());
      wrapper->SetKey(key);
      int32_t id = manager->nAddConstructor(wrapper);
      CDotNetMember* registered = manager->pclGetConstructor(static_cast<uint32_t>(id));
      ctor = registered != nullptr ? registered->Id() : 0;
      if (identifier != nullptr) *identifier = static_cast<uint32_t>(id);
    }
  }
  ManagedRef object;
  int32_t status = clr->Construct(type->Id(), ctor, records.data(), count, object.out(), exc.out());
  if (status != kBridgeOk || !object) {
    InitErrorInvocation(error, type, u".ctor(" + std::u16string(declared) + u")", exc.get());
    if (error != nullptr) error->AddUserMessageFirst(&Def(), 3598, type->FullName().c_str());
    return false;
  }
  if (count > 0 && !WriteBack(stack, count, args, records)) {
    InitErrorInvocation(error, type, u".ctor", 0);
    return false;
  }
  instance->SetObject(object.release());
  return true;
}

namespace {

int32_t FormCode(MemberForm form) {
  switch (form) {
    case MemberForm::kField:
      return 0;
    case MemberForm::kProperty:
      return 1;
    default:
      return 2;
  }
}

bool MemberFailure(CXError* error, CDotNetType* type, const char16_t* name, int32_t status,
                   ManagedId exc, uint32_t message) {
  if (error == nullptr) return false;
  if (status == kBridgeRefused) {
    error->SetUserError(Def(), 200012, type->FullName().c_str(), Safe(name));
    error->AddDebugMessageF(u"member %s of %s", Safe(name), type->FullName().c_str());
  } else if (status == kBridgeException) {
    GetError(error, exc, true, nullptr);
    error->AddUserMessageFirst(&Def(), message);
    RecordException(error, exc);
  } else if (exc != 0) {
    // The reason the value does not convert.
    GetError(error, exc, false, nullptr);
    error->AddUserMessageFirst(&Def(), message);
  } else {
    error->SetUserError(Def(), message);
    error->AddDebugMessageF(u"value not converted for %s", Safe(name));
  }
  return false;
}

}  // namespace

bool AssignMember(CDotNetType* type, ManagedId target, const char16_t* name, MemberForm form,
                  CSLevel* stack, CXError* error) {
  const ManagedTable* clr = ClrIfStarted();
  if (clr == nullptr || type == nullptr || stack == nullptr) return false;
  OutgoingValue value;
  StackToBridge(stack, 0, &value);
  ManagedRef exc;
  int32_t status =
      clr->MemberAccess(type->Id(), target, Safe(name), FormCode(form), 1, &value.value, exc.out());
  if (status != kBridgeOk) return MemberFailure(error, type, name, status, exc.get(), 3602);
  return true;
}

bool PushMember(CDotNetType* type, ManagedId target, const char16_t* name, MemberForm form,
                CSLevel* stack, CXError* error) {
  const ManagedTable* clr = ClrIfStarted();
  if (clr == nullptr || type == nullptr || stack == nullptr) return false;
  OutgoingValue value;
  value.value.sink = &value.sink;
  ManagedRef exc;
  int32_t status =
      clr->MemberAccess(type->Id(), target, Safe(name), FormCode(form), 0, &value.value, exc.out());
  if (status != kBridgeOk) return MemberFailure(error, type, name, status, exc.get(), 3604);
  if (!PushBridge(stack, &value.value, value.sink)) {
    return MemberFailure(error, type, name, kBridgeNotConverted, 0, 3604);
  }
  return true;
}

int32_t ConvertTopToNet(CSLevel* stack, IDotNetInstance** instance, CXError* error) {
  if (instance != nullptr) *instance = nullptr;
  if (stack == nullptr || stack->nGetNbValeur() < 1 || instance == nullptr) return 0;
  OutgoingValue value;
  StackToBridge(stack, 0, &value);
  StringSink type_name, text;
  BridgeValue back{};
  back.sink = &text;
  ManagedRef object;
  if (ClrIfStarted()->ConvertValue(&value.value, &type_name, &text, &back, object.out()) !=
          kBridgeOk ||
      !object) {
    if (error != nullptr) error->SetUserError(Def(), 200001);
    if (back.object != 0) ClrIfStarted()->FreeHandle(back.object);
    return 0;
  }
  if (back.object != 0) ClrIfStarted()->FreeHandle(back.object);
  ManagedRef type(ClrIfStarted()->ObjectType(object.get()));
  auto* type_wrapper = new CDotNetType(type.release());
  *instance = new CDotNetInstance(type_wrapper, object.release());
  type_wrapper->vRelease();
  return 1;
}

bool ConvertThroughNet(CSLevel* stack, int32_t depth, NetRoundTrip* out) {
  const ManagedTable* clr = ClrIfStarted();
  if (clr == nullptr || stack == nullptr) return false;
  OutgoingValue value;
  StackToBridge(stack, depth, &value);
  StringSink back_text;
  BridgeValue back{};
  back.sink = &back_text;
  ManagedRef object;
  if (clr->ConvertValue(&value.value, &out->net_type, &out->net_text, &back, object.out()) !=
      kBridgeOk) {
    return false;
  }
  out->back_code = back.code;
  if ((back.code & 0xFF) == 34 && back.object != 0 && (back.flags & kBridgeNull) == 0) {
    out->back_array.reset(reinterpret_cast<CTableauHote*>(back.object));
    back.object = 0;
    return true;
  }
  IDotNetInstance* instance = nullptr;
  bool ok = BridgeToAny(&back, back_text, &out->back, &instance);
  if (instance != nullptr) instance->Release();
  return ok;
}

int32_t ConvertInstanceToHost(CDotNetInstance* instance, CSLevel* stack, CXError* error) {
  if (stack == nullptr) return 0;
  OutgoingValue value;
  value.value.sink = &value.sink;
  if (ClrIfStarted()->ObjectToHost(instance->Object(), &value.value) != kBridgeOk ||
      !PushBridge(stack, &value.value, value.sink)) {
    if (error != nullptr) error->SetUserError(Def(), 200001);
    return 0;
  }
  return 1;
}

}  // namespace qgnet
