// CAccesVMThreadSafe: the one host-access object of the process, through
// which .NET code drives the host: it loads the host module, opens this
// module as one of its components, obtains the host's IVMExterne and owns
// the host's global execution context and the library contexts of
// assemblies (a context handle is its index in the array).
//
// Locking: one recursive mutex serialises first-use creation, the context
// array and every call into the host (.NET pool threads may call in at
// once; a host procedure may re-enter through .NET on its own thread). A
// project run (ExecuteQGL) holds it while the host loads and takes the
// library, not while the project runs.
//
// Once the host is going away (EXT_VMTerm) or terminated, every operation
// does nothing and reports success.
#ifndef QG_DOTNET_CONNECTOR_ACCES_VM_H_
#define QG_DOTNET_CONNECTOR_ACCES_VM_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dotnet/connector/param_list.h"
#include "dotnet/connector/vm_externe.h"
#include "support/frame/module_frame.h"
#include "support/platform/module.h"

class CXError;
class IXStream;

namespace qgnet {

class CSplash;

// Run mode that keeps the host loaded at termination.
constexpr int32_t kModeGardeHote = 3;
constexpr const char16_t* kHoteParDefaut = u"qg300vm.dll";

// The start image of a run: its name (a ".BMP" name is read as a bitmap
// file) and its bytes.
struct SplashSource {
  std::u16string nom;
  std::vector<uint8_t> octets;
};

struct ExecuteQGLArgs {
  const char16_t* module = nullptr;       // host module name; null: "qg300vm.dll"
  const char16_t* second_path = nullptr;  // its folder is tried second
  IXStream* library = nullptr;            // null: the resource is missing
  const char16_t* library_owner = nullptr;  // assembly named in 200008
  const char16_t* project = nullptr;
  const char16_t* command_line = nullptr;
  int32_t language = 0;                   // 0: none given
  const SplashSource* splash = nullptr;   // null: no splash
};

class CAccesVMThreadSafe {
 public:
  // factory: the execution object this module's self-open creates.
  explicit CAccesVMThreadSafe(qg::PFN_NewExecution factory = nullptr);
  ~CAccesVMThreadSafe();
  CAccesVMThreadSafe(const CAccesVMThreadSafe&) = delete;
  CAccesVMThreadSafe& operator=(const CAccesVMThreadSafe&) = delete;

  // The process-wide object (created at attach, dropped at detach).
  static CAccesVMThreadSafe& Instance();

  // Loads the host, runs a whole project library and gives its exit code.
  bool ExecuteQGL(const ExecuteQGLArgs& args, int32_t* exit_code, CXError* error);

  // The context of an assembly path, created with the host on first use
  // and given the project library the assembly embeds (library: null when
  // the caller names none); -1 on failure.
  int32_t CreeContexteAssemblage(const char16_t* module, const char16_t* second_path,
                                 const char16_t* assembly, int32_t language, int32_t mode,
                                 CXError* error, IXStream* library = nullptr);
  int32_t GetHandleContexteAssemblage(const char16_t* assembly);
  IContexteExecution* GetContexteExecutionGlobal(CXError* error);
  // Loads the host with the default module when it is not yet: values
  // (CAny) are made in its memory. True when it is loaded or terminated.
  bool AssureHote(CXError* error);

  bool GetHandleClasse(int32_t handle, const char16_t* classe, int64_t* out, CXError* error);
  bool CreeObjetZQ(int32_t handle, int64_t classe, const void* data, int32_t size,
                   CParamList* params, int64_t* objet, CXError* error);
  bool DetruitObjetZQ(int32_t handle, int64_t objet, CXError* error);
  bool ExecuteMethodeInstance(int32_t handle, int64_t objet, const char16_t* methode,
                              CParamList* params, int32_t options, CXError* error);
  bool ExecuteMethodeStatique(int32_t handle, const char16_t* methode, CParamList* params,
                              int32_t options, CXError* error);
  bool MembreInstance(int32_t handle, int64_t objet, const char16_t* membre, bool ecrit,
                      CParamList* params, CXError* error);
  bool MembreStatique(int32_t handle, const char16_t* classe, const char16_t* membre, bool ecrit,
                      CParamList* params, CXError* error);
  bool VariableCollection(int32_t handle, const char16_t* collection, const char16_t* variable,
                          bool ecrit, CParamList* params, CXError* error);
  bool ExecuteProcedure(const char16_t* procedure, CParamList* params, CXError* error);
  bool ExecuteDelegue(int64_t objet, const char16_t* methode, CParamList* params,
                      CXError* error);
  bool GetInfoInstanceMemoire(int32_t handle, int64_t objet, int64_t* info, CXError* error);
  bool SetInfoInstance(int32_t handle, int64_t objet, int64_t info, CXError* error);
  // The host's operator on two values.
  bool Operateur(int32_t op, const CAny& a, const CAny& b, CAny* result, CXError* error);
  // The host interface of a context; null for a bad handle or no host.
  IVMExterne* p_GetVMThread(int32_t handle);

  // Ends the host: contexts released last to first, then (unless the run
  // mode keeps it) the host told to end and unloaded. at_detach: the
  // process is ending: references are dropped, nothing reaches the host
  // or unloads (its code or the runtime may already be gone).
  void Termine(bool at_detach = false);
  // EXT_VMTerm: no call reaches the host from now on.
  void HostGoingAway();
  bool bTermine() const;
  bool bCharge() const;

  // The splash of the current run is shown (tests).
  bool bSplashOuvert() const;
  // Closes the splash of the run and releases its image (the host's
  // end-of-start-up callback; also after the run).
  void FermeSplash();

 private:
  bool ChargeHote(const char16_t* module, const char16_t* second_path, int32_t language,
                  CXError* error);
  IContexteBibliotheque* Contexte(int32_t handle, CXError* error);
  void MontreSplash(const SplashSource& source);

  mutable std::recursive_mutex m_mu;
  qg::PFN_NewExecution m_factory;
  std::atomic<bool> m_termine{false};
  bool m_ouvert = false;  // this module opened as a host component
  qg::ModuleHandle m_hote = nullptr;
  IVMExterne* m_vm = nullptr;  // one reference
  std::atomic<bool> m_pret{false};  // m_vm was set once
  int32_t m_mode = 0;
  IContexteExecution* m_global = nullptr;
  std::vector<IContexteBibliotheque*> m_contextes;
  std::vector<std::u16string> m_chemins;  // owner path of each context
  CSplash* m_splash = nullptr;           // one reference
  std::vector<uint8_t> m_image;          // bytes of a non-bitmap start image
};

// Process detach: the process-wide object, when it was made, drops its
// references without calling the host.
void DetacheAccesVM();

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_ACCES_VM_H_
