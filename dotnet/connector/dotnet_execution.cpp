#include "dotnet/connector/dotnet_execution.h"

#include <mutex>

#include "dotnet/connector/call_road.h"
#include "dotnet/connector/dotnet_manager.h"
#include "dotnet/connector/net_error.h"

namespace qgnet {
namespace {

std::mutex g_singleton_mutex;
CDotNetExecution* g_execution = nullptr;

CXError* ErrorOf(STOperationDotNet* operation) {
  return operation != nullptr ? operation->pclErreur : nullptr;
}

// The type of a class description, through the process's manager (taken
// for the duration of the lookup).
CDotNetType* TypeOf(const STInfoClasseDotNet* classe, CXError* error) {
  CDotNetManager* manager = CDotNetManager::Acquire();
  if (manager == nullptr) return nullptr;
  CDotNetType* type = manager->pclGetTypeClasse(classe, error);
  manager->Release();
  return type;
}

CDotNetInstance* Ours(IDotNetInstance* instance) {
  return static_cast<CDotNetInstance*>(instance);
}

}  // namespace

CDotNetExecution* CDotNetExecution::Acquire() {
  std::lock_guard<std::mutex> lock(g_singleton_mutex);
  if (g_execution == nullptr) {
    g_execution = new (std::nothrow) CDotNetExecution();
    if (g_execution == nullptr) return nullptr;
  }
  ++g_execution->m_ref;
  return g_execution;
}

int32_t CDotNetExecution::Release() {
  CDotNetExecution* doomed = nullptr;
  int32_t left;
  {
    std::lock_guard<std::mutex> lock(g_singleton_mutex);
    left = --m_ref;
    if (left == 0) {
      if (g_execution == this) g_execution = nullptr;
      doomed = this;
    }
  }
  delete doomed;
  return left;
}

IDotNetInstance* CDotNetExecution::piAlloue(const STInfoClasseDotNet* classe,
                                            STOperationDotNet* operation) {
  CXError* error = ErrorOf(operation);
  return Guard<IDotNetInstance*>(error, nullptr, [&]() -> IDotNetInstance* {
    if (ClrOr(error) == nullptr) return nullptr;
    CDotNetType* type = TypeOf(classe, error);
    if (type == nullptr) return nullptr;
    auto* instance = new CDotNetInstance(type, 0);
    type->vRelease();
    return instance;
  });
}

bool CDotNetExecution::bMemeObjet(IDotNetInstance* a, IDotNetInstance* b) {
  return Guard<bool>(nullptr, false, [&] {
    ManagedId x = a != nullptr ? Ours(a)->Object() : 0;
    ManagedId y = b != nullptr ? Ours(b)->Object() : 0;
    if (x == 0 || y == 0) return x == 0 && y == 0;
    const ManagedTable* clr = ClrIfStarted();
    if (clr == nullptr) return false;
    ManagedRef exc;
    return clr->ObjectEquals(x, y, exc.out()) == 1;
  });
}

bool CDotNetExecution::bAppelleMethodeStatique(const STInfoClasseDotNet* classe,
                                               const STMethodeDotNet* method,
                                               uint32_t* identifier, CSLevel* stack,
                                               int32_t count, bool result,
                                               STOperationDotNet* operation) {
  CXError* error = ErrorOf(operation);
  return Guard<bool>(error, false, [&] {
    if (ClrOr(error) == nullptr) return false;
    CDotNetType* type = TypeOf(classe, error);
    if (type == nullptr) {
      if (error != nullptr && classe != nullptr) {
        error->AddUserMessageFirst(&Def(), 3667, classe->pszClasse ? classe->pszClasse : u"",
                                   classe->pszAssemblage ? classe->pszAssemblage : u"");
        error->nSetNiveau(XERR_ERROR);
      }
      return false;
    }
    bool ok = CallMethod(type, 0, method, identifier, stack, count, result, error);
    type->vRelease();
    return ok;
  });
}

bool CDotNetExecution::StaticMember(bool assign, int form, const STInfoClasseDotNet* classe,
                                    const char16_t* name, CSLevel* stack,
                                    STOperationDotNet* operation) {
  CXError* error = ErrorOf(operation);
  return Guard<bool>(error, false, [&] {
    if (ClrOr(error) == nullptr) return false;
    CDotNetType* type = TypeOf(classe, error);
    if (type == nullptr) return false;
    auto member = static_cast<MemberForm>(form);
    bool ok = assign ? AssignMember(type, 0, name, member, stack, error)
                     : PushMember(type, 0, name, member, stack, error);
    type->vRelease();
    return ok;
  });
}

bool CDotNetExecution::bAffecteMembreStatique(const STInfoClasseDotNet* classe,
                                              const char16_t* name, CSLevel* stack,
                                              STOperationDotNet* operation) {
  return StaticMember(true, static_cast<int>(MemberForm::kField), classe, name, stack,
                      operation);
}
bool CDotNetExecution::bAffectePropertyStatique(const STInfoClasseDotNet* classe,
                                                const char16_t* name, CSLevel* stack,
                                                STOperationDotNet* operation) {
  return StaticMember(true, static_cast<int>(MemberForm::kProperty), classe, name, stack,
                      operation);
}
bool CDotNetExecution::bAffectePropertyMembreStatique(const STInfoClasseDotNet* classe,
                                                      const char16_t* name, CSLevel* stack,
                                                      STOperationDotNet* operation) {
  return StaticMember(true, static_cast<int>(MemberForm::kPropertyOrField), classe, name,
                      stack, operation);
}
bool CDotNetExecution::bEmpileMembreStatique(const STInfoClasseDotNet* classe,
                                             const char16_t* name, CSLevel* stack,
                                             STOperationDotNet* operation) {
  return StaticMember(false, static_cast<int>(MemberForm::kField), classe, name, stack,
                      operation);
}
bool CDotNetExecution::bEmpilePropertyStatique(const STInfoClasseDotNet* classe,
                                               const char16_t* name, CSLevel* stack,
                                               STOperationDotNet* operation) {
  return StaticMember(false, static_cast<int>(MemberForm::kProperty), classe, name, stack,
                      operation);
}
bool CDotNetExecution::bEmpilePropertyMembreStatique(const STInfoClasseDotNet* classe,
                                                     const char16_t* name, CSLevel* stack,
                                                     STOperationDotNet* operation) {
  return StaticMember(false, static_cast<int>(MemberForm::kPropertyOrField), classe, name,
                      stack, operation);
}

IDotNetInstance* CDotNetExecution::EnumOp(int32_t op, IDotNetInstance* a, IDotNetInstance* b,
                                          STOperationDotNet* operation) {
  CXError* error = ErrorOf(operation);
  return Guard<IDotNetInstance*>(error, nullptr, [&]() -> IDotNetInstance* {
    ManagedId x = a != nullptr ? Ours(a)->Object() : 0;
    ManagedId y = b != nullptr ? Ours(b)->Object() : 0;
    const ManagedTable* clr = ClrIfStarted();
    ManagedRef value, exc;
    int32_t status = clr != nullptr && x != 0 ? clr->EnumOp(op, x, y, value.out(), exc.out())
                                              : kBridgeRefused;
    if (status == kBridgeException) {
      GetError(error, exc.get(), true, nullptr);
      return nullptr;
    }
    if (status != kBridgeOk) {
      if (error != nullptr) error->SetUserError(Def(), 200001);
      return nullptr;
    }
    return new CDotNetInstance(Ours(a)->Type(), value.release());
  });
}

IDotNetInstance* CDotNetExecution::piOuBinaire(IDotNetInstance* a, IDotNetInstance* b,
                                               STOperationDotNet* operation) {
  return EnumOp(0, a, b, operation);
}
IDotNetInstance* CDotNetExecution::piOuExBinaire(IDotNetInstance* a, IDotNetInstance* b,
                                                 STOperationDotNet* operation) {
  return EnumOp(1, a, b, operation);
}
IDotNetInstance* CDotNetExecution::piEtBinaire(IDotNetInstance* a, IDotNetInstance* b,
                                               STOperationDotNet* operation) {
  return EnumOp(2, a, b, operation);
}
IDotNetInstance* CDotNetExecution::piNonBinaire(IDotNetInstance* a,
                                                STOperationDotNet* operation) {
  return EnumOp(3, a, nullptr, operation);
}

bool CDotNetExecution::bObjectToInt(IDotNetInstance* a, int32_t* value,
                                    STOperationDotNet* operation) {
  CXError* error = ErrorOf(operation);
  return Guard<bool>(error, false, [&] {
    int32_t out = 0;
    ManagedId x = a != nullptr ? Ours(a)->Object() : 0;
    const ManagedTable* clr = ClrIfStarted();
    ManagedRef exc;
    int32_t status = clr != nullptr && x != 0 ? clr->EnumToInt(x, &out, exc.out())
                                              : kBridgeRefused;
    if (status == kBridgeException) {
      GetError(error, exc.get(), true, nullptr);
      return false;
    }
    if (status != kBridgeOk) {
      if (error != nullptr) error->SetUserError(Def(), 200001);
      return false;
    }
    if (value != nullptr) *value = out;
    return true;
  });
}

int32_t CDotNetExecution::eConversionDotNet(CSLevel* stack, IDotNetInstance** instance,
                                            STOperationDotNet* operation) {
  CXError* error = ErrorOf(operation);
  return Guard<int32_t>(error, 0, [&] {
    if (ClrOr(error) == nullptr) return 0;
    return ConvertTopToNet(stack, instance, error);
  });
}

int32_t CDotNetExecution::eConversionZQ(IDotNetInstance* instance, CSLevel* stack,
                                        STOperationDotNet* operation) {
  CXError* error = ErrorOf(operation);
  return Guard<int32_t>(error, 0, [&] {
    if (instance == nullptr) {
      if (error != nullptr) error->SetUserError(Def(), 200001);
      return 0;
    }
    return ConvertInstanceToHost(Ours(instance), stack, error);
  });
}

// --- instance operations (guarded here with the execution's others) ---

bool CDotNetInstance::bExecuteConstructeur(const STMethodeDotNet* method, uint32_t* identifier,
                                           CSLevel* stack, int32_t count,
                                           STOperationDotNet* operation) {
  CXError* error = ErrorOf(operation);
  return Guard<bool>(error, false, [&] {
    if (ClrOr(error) == nullptr) return false;
    return Construct(this, method, identifier, stack, count, error);
  });
}

bool CDotNetInstance::bAppelleMethode(const STMethodeDotNet* method, uint32_t* identifier,
                                      CSLevel* stack, int32_t count, bool result,
                                      STOperationDotNet* operation) {
  CXError* error = ErrorOf(operation);
  return Guard<bool>(error, false, [&] {
    if (Object() == 0) {
      if (error != nullptr) {
        error->SetUserError(Def(), 200001);
        error->AddUserMessage(&Def(), 3600, m_type != nullptr ? m_type->FullName().c_str() : u"",
                              method != nullptr && method->pszNom ? method->pszNom : u"");
      }
      return false;
    }
    return CallMethod(m_type, Object(), method, identifier, stack, count, result, error);
  });
}

namespace {

bool InstanceMember(CDotNetInstance* self, bool assign, MemberForm form, const char16_t* name,
                    CSLevel* stack, STOperationDotNet* operation) {
  CXError* error = ErrorOf(operation);
  return Guard<bool>(error, false, [&] {
    if (self->Object() == 0) {
      if (error != nullptr) error->SetUserError(Def(), 200001);
      return false;
    }
    return assign ? AssignMember(self->Type(), self->Object(), name, form, stack, error)
                  : PushMember(self->Type(), self->Object(), name, form, stack, error);
  });
}

}  // namespace

bool CDotNetInstance::bAffecteMembre(const char16_t* name, CSLevel* stack,
                                     STOperationDotNet* operation) {
  return InstanceMember(this, true, MemberForm::kField, name, stack, operation);
}
bool CDotNetInstance::bAffecteProperty(const char16_t* name, CSLevel* stack,
                                       STOperationDotNet* operation) {
  return InstanceMember(this, true, MemberForm::kProperty, name, stack, operation);
}
bool CDotNetInstance::bAffectePropertyMembre(const char16_t* name, CSLevel* stack,
                                             STOperationDotNet* operation) {
  return InstanceMember(this, true, MemberForm::kPropertyOrField, name, stack, operation);
}
bool CDotNetInstance::bEmpileMembre(const char16_t* name, CSLevel* stack,
                                    STOperationDotNet* operation) {
  return InstanceMember(this, false, MemberForm::kField, name, stack, operation);
}
bool CDotNetInstance::bEmpileProperty(const char16_t* name, CSLevel* stack,
                                      STOperationDotNet* operation) {
  return InstanceMember(this, false, MemberForm::kProperty, name, stack, operation);
}
bool CDotNetInstance::bEmpilePropertyMembre(const char16_t* name, CSLevel* stack,
                                            STOperationDotNet* operation) {
  return InstanceMember(this, false, MemberForm::kPropertyOrField, name, stack, operation);
}

}  // namespace qgnet
