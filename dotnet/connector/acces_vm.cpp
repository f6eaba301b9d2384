#include "dotnet/connector/acces_vm.h"

#include <cstring>

#include "dotnet/connector/net_error.h"
#include "dotnet/connector/net_module.h"
#include "dotnet/connector/net_text.h"
#include "dotnet/connector/splash.h"
#include "dotnet/connector/splash_image.h"
#include "errors/xerror.h"
#include "support/frame/execution_protocol.h"
#include "support/frame/module_frame.h"
#include "support/frame/module_services.h"

namespace qgnet {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// The file of a host module name: "x.dll" (any case) is "x.so" here.
std::string FichierModule(const char16_t* name) {
  std::string file = U8(name);
  size_t n = file.size();
  if (n > 4 && file[n - 4] == '.' && (file[n - 3] | 0x20) == 'd' && (file[n - 2] | 0x20) == 'l' &&
      (file[n - 1] | 0x20) == 'l') {
    file.replace(n - 4, 4, ".so");
  }
  return file;
}

std::string Dossier(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void FinInitHote(intptr_t user) { reinterpret_cast<CAccesVMThreadSafe*>(user)->FermeSplash(); }

// Holds the object until the first detach or the process end.
CAccesVMThreadSafe* g_instance = nullptr;

}  // namespace

CAccesVMThreadSafe::CAccesVMThreadSafe(qg::PFN_NewExecution factory)
    : m_factory(factory != nullptr ? factory : &NewExecutionNet) {}

CAccesVMThreadSafe::~CAccesVMThreadSafe() { Termine(true); }

CAccesVMThreadSafe& CAccesVMThreadSafe::Instance() {
  // Created once, never destroyed by a static destructor: the detach
  // drops its references (Termine(true)) and leaves the memory.
  static CAccesVMThreadSafe* instance = [] {
    g_instance = new CAccesVMThreadSafe();
    return g_instance;
  }();
  return *instance;
}

bool CAccesVMThreadSafe::bTermine() const { return m_termine.load() || bHostGoingAway(); }

bool CAccesVMThreadSafe::bCharge() const {
  Lock lock(m_mu);
  return m_vm != nullptr;
}

void CAccesVMThreadSafe::HostGoingAway() { m_termine.store(true); }

bool CAccesVMThreadSafe::ChargeHote(const char16_t* module, const char16_t* second_path,
                                    int32_t language, CXError* error) {
  if (m_vm != nullptr) return true;
  const char16_t* name = module != nullptr && *module != u'\0' ? module : kHoteParDefaut;
  std::string file = FichierModule(name);
  if (m_hote == nullptr) {
    if (file.find('/') != std::string::npos) {
      m_hote = qg::LoadModule(file.c_str());
    } else {
      // Beside this module first, then in the second path's folder.
      std::string self = qg::ModulePathOf(reinterpret_cast<const void*>(&FinInitHote));
      m_hote = qg::LoadModule((Dossier(self) + "/" + file).c_str());
      if (m_hote == nullptr && second_path != nullptr && *second_path != u'\0') {
        m_hote = qg::LoadModule((Dossier(U8(second_path)) + "/" + file).c_str());
      }
    }
  }
  if (m_hote == nullptr) {
    if (error != nullptr) error->SetUserError(Def(), 200004, name);
    return false;
  }
  // This module opens as one of the host's components, as the host's own
  // open would do: the handshake binds the host's services here.
  if (!m_ouvert) {
    qg::ExecutionOpenRecord record{};
    record.nFormat = 1;
    record.hHostModule = reinterpret_cast<intptr_t>(m_hote);
    if (qg::FrameExecution(qg::kExecOpen, reinterpret_cast<intptr_t>(&record), m_factory) !=
        qg::kExecHandled) {
      if (error != nullptr) error->SetUserError(Def(), 200004, name);
      return false;
    }
    m_ouvert = true;
  }
  auto* access = reinterpret_cast<qg::IComponentAccess*>(qg::Services().nRuntimeObject);
  qg::IHostComponent* component =
      access == nullptr ? nullptr
                        : access->piGetComponent(0, nullptr, kComponentVMExterne, 1,
                                                 kComponentVMExterneName, 20, error);
  if (component == nullptr) {
    if (error != nullptr) error->SetUserError(Def(), 200004, name);
    return false;
  }
  m_vm = static_cast<IVMExterne*>(component);
  m_vm->AddRef();
  m_pret.store(true, std::memory_order_release);
  if (language != 0) m_vm->SetLangue(language);
  return true;
}

namespace {

// A start image decoded by the host's image component.
class ImageHote final : public ISplashImage {
 public:
  explicit ImageHote(IImageHote* image) : m_image(image) {}
  ~ImageHote() override { m_image->Release(); }
  int32_t nLargeur() override { return m_image->nLargeur(); }
  int32_t nHauteur() override { return m_image->nHauteur(); }
  bool bImageSuivante() override { return m_image->bImageSuivante(); }
  const uint32_t* pPixels() override { return m_image->pPixels(); }

 private:
  IImageHote* m_image;  // one reference
};

// Bitmaps are read here; the host decodes any other image (and animates
// it), else the bytes are tried as a bitmap.
std::unique_ptr<ISplashImage> ImageDepuis(const SplashSource& source) {
  const std::u16string& name = source.nom;
  bool bitmap = name.size() >= 4 && name[name.size() - 4] == u'.' &&
                (name[name.size() - 3] | 0x20) == u'b' && (name[name.size() - 2] | 0x20) == u'm' &&
                (name[name.size() - 1] | 0x20) == u'p';
  auto* access = reinterpret_cast<qg::IComponentAccess*>(qg::Services().nRuntimeObject);
  if (!bitmap && access != nullptr) {
    auto* image = static_cast<IImageHote*>(access->piGetComponent(
        0, nullptr, kComponentImage, 1, kComponentImageName, 20, nullptr));
    if (image != nullptr) {
      if (image->bCharge(source.octets.data(), source.octets.size()) && image->nLargeur() > 0 &&
          image->nHauteur() > 0) {
        return std::make_unique<ImageHote>(image);
      }
      image->Release();
    }
  }
  return ImageSplash(name, source.octets.data(), source.octets.size());
}

}  // namespace

void CAccesVMThreadSafe::MontreSplash(const SplashSource& source) {
  std::unique_ptr<ISplashImage> image = ImageDepuis(source);
  if (image == nullptr) return;
  m_image = source.octets;  // released when the host ends its start-up
  // No fading unless asked: nothing in a run's description asks for it.
  SplashOptions options;
  m_splash = new CSplash(options, std::move(image), FenetreSplash(), nullptr);
  m_splash->Montre();
  m_splash->Pompe();  // paints once before the host takes over
}

void CAccesVMThreadSafe::FermeSplash() {
  Lock lock(m_mu);
  CSplash* splash = m_splash;
  m_splash = nullptr;
  if (splash != nullptr) {
    splash->Ferme();
    splash->Release();
  }
  std::vector<uint8_t>().swap(m_image);
}

bool CAccesVMThreadSafe::bSplashOuvert() const {
  Lock lock(m_mu);
  return m_splash != nullptr;
}

bool CAccesVMThreadSafe::ExecuteQGL(const ExecuteQGLArgs& args, int32_t* exit_code,
                                    CXError* error) {
  // Held while the host loads and takes the library, not across the run:
  // the project's own threads (timers, events) call the host meanwhile,
  // each call under the lock on its own.
  std::unique_lock<std::recursive_mutex> lock(m_mu);
  if (exit_code != nullptr) *exit_code = 0;
  if (bTermine()) return true;
  if (args.library == nullptr) {
    if (error != nullptr) {
      error->SetUserError(Def(), 200008, args.library_owner != nullptr ? args.library_owner : u"");
    }
    return false;
  }
  if (!ChargeHote(args.module, args.second_path, args.language, error)) return false;
  const char16_t* name =
      args.module != nullptr && *args.module != u'\0' ? args.module : kHoteParDefaut;

  if (args.splash != nullptr) {
    MontreSplash(*args.splash);
    auto fin_init = reinterpret_cast<PFN_ZQ_DonneFinInit>(qg::FindSymbol(m_hote, "ZQ_DonneFinInit"));
    if (fin_init != nullptr && m_splash != nullptr) {
      fin_init(&FinInitHote, reinterpret_cast<intptr_t>(this));
    }
  }
  auto set_param = reinterpret_cast<PFN_ZQ_SetParam>(qg::FindSymbol(m_hote, "ZQ_SetParam"));
  if (set_param == nullptr ||
      set_param(kParamBibliotheque, reinterpret_cast<intptr_t>(args.library)) == 0) {
    FermeSplash();
    if (error != nullptr) error->SetUserError(Def(), 200004, name);
    return false;
  }
  set_param(kParamMode, kParamModeValeur);
  auto run = reinterpret_cast<PFN_ZQ_Run_Res>(qg::FindSymbol(m_hote, "ZQ_Run_Res"));
  if (run == nullptr) {
    FermeSplash();
    if (error != nullptr) error->SetUserError(Def(), 200004, name);
    return false;
  }
  int32_t code = 0;
  lock.unlock();
  run(kRunRessource, reinterpret_cast<intptr_t>(args.project != nullptr ? args.project : u""),
      reinterpret_cast<intptr_t>(args.command_line != nullptr ? args.command_line : u""), &code);
  // A host that never signalled the end of its start-up leaves the splash
  // open: it goes now.
  FermeSplash();
  if (exit_code != nullptr) *exit_code = code;
  return true;
}

int32_t CAccesVMThreadSafe::CreeContexteAssemblage(const char16_t* module,
                                                   const char16_t* second_path,
                                                   const char16_t* assembly, int32_t language,
                                                   int32_t mode, CXError* error,
                                                   IXStream* library) {
  Lock lock(m_mu);
  if (bTermine()) return -1;
  int32_t existing = GetHandleContexteAssemblage(assembly);
  if (existing >= 0) return existing;
  if (!ChargeHote(module, second_path, language, error)) return -1;
  m_mode = mode;
  IContexteBibliotheque* context = m_vm->piCreeContexte(assembly, library, error);
  if (context == nullptr) return -1;
  if (m_contextes.empty()) {
    m_contextes.reserve(30);
    m_chemins.reserve(30);
  }
  m_contextes.push_back(context);
  m_chemins.emplace_back(assembly != nullptr ? assembly : u"");
  return static_cast<int32_t>(m_contextes.size() - 1);
}

int32_t CAccesVMThreadSafe::GetHandleContexteAssemblage(const char16_t* assembly) {
  Lock lock(m_mu);
  std::u16string path = assembly != nullptr ? assembly : u"";
  for (size_t i = 0; i < m_chemins.size(); ++i) {
    if (m_chemins[i] == path) return static_cast<int32_t>(i);
  }
  return -1;
}

IContexteExecution* CAccesVMThreadSafe::GetContexteExecutionGlobal(CXError* error) {
  Lock lock(m_mu);
  if (bTermine()) return nullptr;
  // Delegates bound before any context start the host themselves.
  if (m_vm == nullptr && !ChargeHote(nullptr, nullptr, 0, error)) return nullptr;
  if (m_global == nullptr) m_global = m_vm->piGetContexteExecution(error);
  return m_global;
}

bool CAccesVMThreadSafe::AssureHote(CXError* error) {
  if (m_pret.load(std::memory_order_acquire)) return true;
  Lock lock(m_mu);
  if (bTermine()) return true;
  return ChargeHote(nullptr, nullptr, 0, error);
}

IContexteBibliotheque* CAccesVMThreadSafe::Contexte(int32_t handle, CXError* error) {
  if (handle < 0 || static_cast<size_t>(handle) >= m_contextes.size()) {
    if (error != nullptr) error->SetUserError(Def(), 200007, u"no such assembly context");
    return nullptr;
  }
  return m_contextes[static_cast<size_t>(handle)];
}

// Each handle-taking operation: success at once when terminating, else the
// context's operation under the lock.
#define QG_SUR_CONTEXTE(expression)                           \
  Lock lock(m_mu);                                            \
  if (bTermine()) return true;                                \
  IContexteBibliotheque* context = Contexte(handle, error);   \
  if (context == nullptr) return false;                       \
  return context->expression

bool CAccesVMThreadSafe::GetHandleClasse(int32_t handle, const char16_t* classe, int64_t* out,
                                         CXError* error) {
  Lock lock(m_mu);
  *out = -1;
  if (bTermine()) return true;
  IContexteBibliotheque* context = Contexte(handle, error);
  if (context == nullptr) return false;
  *out = context->nGetHandleClasse(classe, error);
  return *out != -1;
}

bool CAccesVMThreadSafe::CreeObjetZQ(int32_t handle, int64_t classe, const void* data,
                                     int32_t size, CParamList* params, int64_t* objet,
                                     CXError* error) {
  *objet = 0;
  QG_SUR_CONTEXTE(bCreeObjet(classe, data, size, params, objet, error));
}

bool CAccesVMThreadSafe::DetruitObjetZQ(int32_t handle, int64_t objet, CXError* error) {
  QG_SUR_CONTEXTE(bDetruitObjet(objet, error));
}

bool CAccesVMThreadSafe::ExecuteMethodeInstance(int32_t handle, int64_t objet,
                                                const char16_t* methode, CParamList* params,
                                                int32_t options, CXError* error) {
  QG_SUR_CONTEXTE(bExecuteMethodeInstance(objet, methode, params, options, error));
}

bool CAccesVMThreadSafe::ExecuteMethodeStatique(int32_t handle, const char16_t* methode,
                                                CParamList* params, int32_t options,
                                                CXError* error) {
  QG_SUR_CONTEXTE(bExecuteMethodeStatique(methode, params, options, error));
}

bool CAccesVMThreadSafe::MembreInstance(int32_t handle, int64_t objet, const char16_t* membre,
                                        bool ecrit, CParamList* params, CXError* error) {
  QG_SUR_CONTEXTE(bMembreInstance(objet, membre, ecrit, params, error));
}

bool CAccesVMThreadSafe::MembreStatique(int32_t handle, const char16_t* classe,
                                        const char16_t* membre, bool ecrit, CParamList* params,
                                        CXError* error) {
  QG_SUR_CONTEXTE(bMembreStatique(classe, membre, ecrit, params, error));
}

bool CAccesVMThreadSafe::VariableCollection(int32_t handle, const char16_t* collection,
                                            const char16_t* variable, bool ecrit,
                                            CParamList* params, CXError* error) {
  QG_SUR_CONTEXTE(bVariableCollection(collection, variable, ecrit, params, error));
}

bool CAccesVMThreadSafe::GetInfoInstanceMemoire(int32_t handle, int64_t objet, int64_t* info,
                                                CXError* error) {
  *info = 0;
  QG_SUR_CONTEXTE(bInfoInstance(objet, false, info, error));
}

bool CAccesVMThreadSafe::SetInfoInstance(int32_t handle, int64_t objet, int64_t info,
                                         CXError* error) {
  QG_SUR_CONTEXTE(bInfoInstance(objet, true, &info, error));
}

#undef QG_SUR_CONTEXTE

bool CAccesVMThreadSafe::ExecuteProcedure(const char16_t* procedure, CParamList* params,
                                          CXError* error) {
  Lock lock(m_mu);
  if (bTermine()) return true;
  IContexteExecution* global = GetContexteExecutionGlobal(error);
  if (global == nullptr) {
    if (error != nullptr && error->nGetNbMessageId() == 0) {
      error->SetUserError(Def(), 200007, u"the host is not started");
    }
    return false;
  }
  return global->bExecuteProcedure(procedure, params, error);
}

bool CAccesVMThreadSafe::ExecuteDelegue(int64_t objet, const char16_t* methode,
                                        CParamList* params, CXError* error) {
  Lock lock(m_mu);
  if (bTermine()) return true;
  IContexteExecution* global = GetContexteExecutionGlobal(error);
  if (global == nullptr) {
    if (error != nullptr && error->nGetNbMessageId() == 0) {
      error->SetUserError(Def(), 200007, u"the host is not started");
    }
    return false;
  }
  return global->bExecuteDelegue(objet, methode, params, error);
}

bool CAccesVMThreadSafe::Operateur(int32_t op, const CAny& a, const CAny& b, CAny* result,
                                   CXError* error) {
  Lock lock(m_mu);
  if (bTermine()) return true;
  if (m_vm == nullptr) {
    if (error != nullptr) error->SetUserError(Def(), 200007, u"the host is not started");
    return false;
  }
  return m_vm->bOperateur(op, &a, &b, result, error);
}

IVMExterne* CAccesVMThreadSafe::p_GetVMThread(int32_t handle) {
  Lock lock(m_mu);
  if (bTermine()) return nullptr;
  IContexteBibliotheque* context = Contexte(handle, nullptr);
  return context != nullptr ? context->piGetVMExterne() : nullptr;
}

void CAccesVMThreadSafe::Termine(bool at_detach) {
  Lock lock(m_mu);
  // The host going away (EXT_VMTerm) ends it itself: nothing may reach it.
  if (bHostGoingAway()) at_detach = true;
  if (at_detach) {
    // The host or the runtime may already be gone: forget, call nothing.
    m_splash = nullptr;
    m_contextes.clear();
    m_chemins.clear();
    m_global = nullptr;
    m_vm = nullptr;
    m_hote = nullptr;
    m_termine.store(true);
    return;
  }
  if (m_vm == nullptr || m_termine.exchange(true)) return;
  FermeSplash();
  while (!m_contextes.empty()) {
    IContexteBibliotheque* context = m_contextes.back();
    m_contextes.pop_back();
    if (context != nullptr) {
      context->Release();
      m_vm->LibereContexte(context);
    }
    if (!m_termine.load()) break;  // cleared meanwhile
  }
  m_contextes.clear();
  if (m_global != nullptr) m_global->Release();
  m_global = nullptr;
  if (m_mode != kModeGardeHote) {
    m_vm->Termine();
    m_vm->Release();
    if (m_ouvert) qg::FrameExecution(qg::kExecClose, 0, m_factory);
    m_ouvert = false;
    qg::FreeModule(m_hote);
    if (qg::Frame().pclExecution == nullptr) {
      // This module's open was the last: the services the handshake bound
      // lie in the module just unloaded. Values made from now on fail
      // cleanly instead of reaching freed code.
      qg::ModuleServices& services = qg::Services();
      services.pfnHostExecution = nullptr;
      services.piValueObjects = nullptr;
      services.piInfoLocale = nullptr;
      services.piStringMemory = nullptr;
      services.nRuntimeObject = 0;
    }
  }
  m_vm = nullptr;
  m_hote = nullptr;
  m_chemins.clear();
}

void DetacheAccesVM() {
  if (g_instance != nullptr) g_instance->Termine(true);
}

}  // namespace qgnet
