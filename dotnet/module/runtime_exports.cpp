// Exports the managed Velisc.Runtime API calls (P/Invoke) to reach the
// host through the process-wide host-access object. Each answers 1 on
// success; on failure 0 (or -1 for a handle) with *error pointing at the
// error's full text dump, valid until the next call on the thread. Values
// cross as BridgeValue records; a value handed out stays valid until the
// next call on the thread.
#include <cstdint>
#include <string>

#include "dotnet/connector/acces_vm.h"
#include "dotnet/connector/bridge_value.h"
#include "dotnet/connector/clr_bridge.h"
#include "dotnet/connector/dotnet_stream.h"
#include "dotnet/connector/net_error.h"
#include "dotnet/connector/param_list.h"
#include "errors/module_errors.h"
#include "support/ctstring.h"
#include "support/frame/export.h"

namespace {

using qgnet::BridgeValue;
using qgnet::CAccesVMThreadSafe;
using qgnet::CParamList;

thread_local std::u16string t_erreur;
thread_local qgnet::OutgoingValue t_sortie;

qgnet::CAccesVMThreadSafe& Acces() { return CAccesVMThreadSafe::Instance(); }

// Runs body with a fresh error; on failure stores its dump for the caller.
template <typename F>
int32_t Appel(const char16_t** error, F&& body) {
  _CXErrorModule20 erreur;
  bool ok = qgnet::Guard(&erreur, false, [&] { return body(&erreur); });
  if (!ok && error != nullptr) {
    t_erreur = erreur.StringDump(qg::kDumpAll).pszGet();
    *error = t_erreur.c_str();
  }
  return ok ? 1 : 0;
}

// A value from .NET into a host value (objects become .NET instances the
// list owns: see VR_ParamAdd).
bool VersHote(BridgeValue* value, CAny* any) {
  qgnet::StringSink sink;
  return qgnet::BridgeToAny(value, sink, any, nullptr);
}

void VersNet(const CAny& any, BridgeValue* out) {
  qgnet::AnyToBridge(any, &t_sortie);
  *out = t_sortie.value;
}

}  // namespace

// The bridge of a .NET program that runs the runtime itself.
QG_EXPORT int32_t VR_Attache(void* bootstrap) { return qgnet::AttachClr(bootstrap) ? 1 : 0; }

// --- parameter lists and values -------------------------------------------

// Values live in the host's memory: the first list or value loads the host.
QG_EXPORT CParamList* VR_ParamNew() {
  Acces().AssureHote(nullptr);
  return new (std::nothrow) CParamList();
}
QG_EXPORT void VR_ParamFree(CParamList* list) { delete list; }
QG_EXPORT void VR_ParamVide(CParamList* list) { list->Vide(); }
QG_EXPORT int32_t VR_ParamCount(CParamList* list) { return list->nGetNbParam(); }

// A .NET object (code 72) is kept by its handle, a .NET array converted
// into a host array (code 34) as that array: the list takes either over.
QG_EXPORT int32_t VR_ParamAdd(CParamList* list, BridgeValue* value) {
  if ((value->code & 0xFF) == 72 && (value->flags & qgnet::kBridgeNull) == 0) {
    list->AddObjet(value->object);
    value->object = 0;
    return 1;
  }
  if ((value->code & 0xFF) == 34 && (value->flags & qgnet::kBridgeNull) == 0 &&
      value->object != 0) {
    list->AddTableau(reinterpret_cast<qgnet::CTableauHote*>(value->object));
    value->object = 0;
    return 1;
  }
  CAny any;
  if (!VersHote(value, &any)) return 0;
  list->AddParam(any);
  return 1;
}

QG_EXPORT void VR_ParamSetType(CParamList* list, int32_t n, int32_t type) {
  list->SetTypeParam(n, static_cast<uint16_t>(type));
}

// Entry n, or the returned value for n = -1. A .NET object crosses as its
// handle, which stays the list's.
QG_EXPORT int32_t VR_ParamGet(CParamList* list, int32_t n, BridgeValue* out) {
  if (n >= 0) {
    if (n >= list->nGetNbParam()) return 0;
    if (qgnet::ManagedId object = list->nGetObjet(n)) {
      *out = BridgeValue{};
      out->code = 72;
      out->object = object;
      return 1;
    }
  }
  CAny* any = n < 0 ? list->GetReturnedValue() : list->GetParam(n);
  VersNet(*any, out);
  return 1;
}

// A host value of its own (QGObjet).
QG_EXPORT CAny* VR_ValeurNew() {
  Acces().AssureHote(nullptr);
  return new (std::nothrow) CAny();
}
QG_EXPORT void VR_ValeurFree(CAny* any) { delete any; }
QG_EXPORT CAny* VR_ValeurClone(const CAny* any) { return new (std::nothrow) CAny(*any); }
QG_EXPORT int32_t VR_ValeurSet(CAny* any, BridgeValue* value) {
  return VersHote(value, any) ? 1 : 0;
}
QG_EXPORT int32_t VR_ValeurGet(const CAny* any, BridgeValue* out) {
  VersNet(*any, out);
  return 1;
}
QG_EXPORT int32_t VR_ValeurType(const CAny* any) { return any->GetType(); }
QG_EXPORT int32_t VR_ValeurDepuisParam(CAny* any, CParamList* list) {
  *any = *list->GetReturnedValue();
  return 1;
}
QG_EXPORT int32_t VR_ParamAddValeur(CParamList* list, const CAny* any) {
  list->AddParam(*any);
  return 1;
}

QG_EXPORT int32_t VR_Operateur(int32_t op, const CAny* a, const CAny* b, CAny* result,
                               const char16_t** error) {
  return Appel(error, [&](CXError* e) {
    static const CAny vide;
    return Acces().Operateur(op, *a, b != nullptr ? *b : vide, result, e);
  });
}

// --- the host ---------------------------------------------------------------

// stream: a GCHandle of the library's runtime stream, 0 when the calling
// assembly has none (owner names the assembly then).
QG_EXPORT int32_t VR_ExecuteQGL(const char16_t* module, const char16_t* second_path,
                                qgnet::ManagedId stream, const char16_t* owner,
                                const char16_t* project, const char16_t* command_line,
                                int32_t language, const char16_t* splash_name,
                                const uint8_t* splash, int32_t splash_size, int32_t* exit_code,
                                const char16_t** error) {
  return Appel(error, [&](CXError* e) {
    qgnet::CDotNetStream* library =
        stream != 0 ? new qgnet::CDotNetStream(stream, owner != nullptr ? owner : u"") : nullptr;
    qgnet::SplashSource source;
    qgnet::ExecuteQGLArgs args;
    args.module = module;
    args.second_path = second_path;
    args.library = library;
    args.library_owner = owner;
    args.project = project;
    args.command_line = command_line;
    args.language = language;
    if (splash != nullptr && splash_size > 0) {
      source.nom = splash_name != nullptr ? splash_name : u"";
      source.octets.assign(splash, splash + splash_size);
      args.splash = &source;
    }
    bool ok = Acces().ExecuteQGL(args, exit_code, e);
    if (library != nullptr) library->Release();
    return ok;
  });
}

// library_name: the library the caller asked for (null or empty: none);
// stream: that embedded resource of the calling assembly (owner), 0 when
// the assembly has none, which fails with 200008.
QG_EXPORT int32_t VR_CreeContexte(const char16_t* module, const char16_t* second_path,
                                  const char16_t* assembly, const char16_t* library_name,
                                  qgnet::ManagedId stream, const char16_t* owner,
                                  int32_t language, int32_t mode, const char16_t** error) {
  int32_t handle = -1;
  Appel(error, [&](CXError* e) {
    bool asked = library_name != nullptr && *library_name != u'\0';
    if (asked && stream == 0) {
      if (e != nullptr) e->SetUserError(qgnet::Def(), 200008, owner != nullptr ? owner : u"");
      return false;
    }
    qgnet::CDotNetStream* library =
        asked ? new qgnet::CDotNetStream(stream, owner != nullptr ? owner : u"") : nullptr;
    handle =
        Acces().CreeContexteAssemblage(module, second_path, assembly, language, mode, e, library);
    if (library != nullptr) library->Release();
    return handle >= 0;
  });
  return handle;
}

QG_EXPORT int32_t VR_HandleContexte(const char16_t* assembly) {
  return Acces().GetHandleContexteAssemblage(assembly);
}

QG_EXPORT int32_t VR_ContexteGlobal(const char16_t** error) {
  return Appel(error, [&](CXError* e) {
    if (Acces().bTermine()) return true;
    return Acces().GetContexteExecutionGlobal(e) != nullptr;
  });
}

QG_EXPORT int32_t VR_HandleClasse(int32_t handle, const char16_t* classe, int64_t* out,
                                  const char16_t** error) {
  return Appel(error, [&](CXError* e) { return Acces().GetHandleClasse(handle, classe, out, e); });
}

QG_EXPORT int32_t VR_CreeObjet(int32_t handle, int64_t classe, const void* data, int32_t size,
                               CParamList* params, int64_t* objet, const char16_t** error) {
  return Appel(error, [&](CXError* e) {
    return Acces().CreeObjetZQ(handle, classe, data, size, params, objet, e);
  });
}

QG_EXPORT int32_t VR_DetruitObjet(int32_t handle, int64_t objet, const char16_t** error) {
  return Appel(error, [&](CXError* e) { return Acces().DetruitObjetZQ(handle, objet, e); });
}

QG_EXPORT int32_t VR_MethodeInstance(int32_t handle, int64_t objet, const char16_t* methode,
                                     CParamList* params, int32_t options,
                                     const char16_t** error) {
  return Appel(error, [&](CXError* e) {
    return Acces().ExecuteMethodeInstance(handle, objet, methode, params, options, e);
  });
}

QG_EXPORT int32_t VR_MethodeStatique(int32_t handle, const char16_t* methode, CParamList* params,
                                     int32_t options, const char16_t** error) {
  return Appel(error, [&](CXError* e) {
    return Acces().ExecuteMethodeStatique(handle, methode, params, options, e);
  });
}

// kind: 0 a member of object `objet`, 1 a member of class `owner`, 2 a
// variable of collection `owner`.
QG_EXPORT int32_t VR_Membre(int32_t kind, int32_t handle, int64_t objet, const char16_t* owner,
                            const char16_t* name, int32_t write, CParamList* params,
                            const char16_t** error) {
  return Appel(error, [&](CXError* e) {
    switch (kind) {
      case 0: return Acces().MembreInstance(handle, objet, name, write != 0, params, e);
      case 1: return Acces().MembreStatique(handle, owner, name, write != 0, params, e);
      default: return Acces().VariableCollection(handle, owner, name, write != 0, params, e);
    }
  });
}

QG_EXPORT int32_t VR_Procedure(const char16_t* procedure, CParamList* params,
                               const char16_t** error) {
  return Appel(error, [&](CXError* e) { return Acces().ExecuteProcedure(procedure, params, e); });
}

QG_EXPORT int32_t VR_Delegue(int64_t objet, const char16_t* methode, CParamList* params,
                             const char16_t** error) {
  return Appel(error,
               [&](CXError* e) { return Acces().ExecuteDelegue(objet, methode, params, e); });
}

QG_EXPORT int32_t VR_InfoInstance(int32_t handle, int64_t objet, int32_t write, int64_t* info,
                                  const char16_t** error) {
  return Appel(error, [&](CXError* e) {
    return write != 0 ? Acces().SetInfoInstance(handle, objet, *info, e)
                      : Acces().GetInfoInstanceMemoire(handle, objet, info, e);
  });
}

QG_EXPORT void VR_Termine() {
  try {
    Acces().Termine();
  } catch (...) {
  }
}

// A call that does nothing: the reference of the call benchmark.
QG_EXPORT int32_t VR_Rien(int32_t n) { return n; }
