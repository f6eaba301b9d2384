#include "dotnet/connector/dotnet_manager.h"

#include <cstdlib>
#include <mutex>
#include <new>

#include "dotnet/connector/class_name.h"
#include "dotnet/connector/net_error.h"
#include "dotnet/connector/net_text.h"

namespace qgnet {
namespace {

std::mutex g_singleton_mutex;

// Keys are the wrappers' own texts (char16_t*), alive while registered.
uint32_t HashKey(uintptr_t key) {
  uint32_t sum = 0;
  for (const char16_t* p = reinterpret_cast<const char16_t*>(key); *p != u'\0'; ++p) sum += *p;
  return sum;
}

int CompareKey(uintptr_t a, uintptr_t b) {
  const char16_t* x = reinterpret_cast<const char16_t*>(a);
  const char16_t* y = reinterpret_cast<const char16_t*>(b);
  while (*x != u'\0' && *x == *y) {
    ++x;
    ++y;
  }
  return *x == *y ? 0 : 1;
}

}  // namespace

std::atomic<CDotNetManager*> CDotNetManager::s_manager{nullptr};

CDotNetManager::Registry::Registry() : m_table(7) {
  m_table.SetFonctionHache(&HashKey);
  m_table.SetFonctionCompare(&CompareKey);
}

CDotNetManager::Registry::~Registry() {
  uint32_t count = m_count.load(std::memory_order_acquire);
  for (uint32_t i = 0; i < count; ++i) {
    int block;
    uint32_t offset;
    Locate(i, &block, &offset);
    m_blocks[block][offset]->ReleaseMember();
  }
  for (CDotNetMember** block : m_blocks) delete[] block;
}

int32_t CDotNetManager::Registry::Add(CDotNetMember* method) {
  std::unique_lock<std::shared_mutex> lock(m_lock);
  uintptr_t existing = 0;
  if (m_table.bCherche(reinterpret_cast<uintptr_t>(method->Key().c_str()), &existing,
                       nullptr)) {
    method->ReleaseMember();
    return static_cast<int32_t>(existing);
  }
  uint32_t count = m_count.load(std::memory_order_relaxed);
  int block;
  uint32_t offset;
  Locate(count, &block, &offset);
  if (block >= kBlocks) {
    method->ReleaseMember();
    return 0;
  }
  if (m_blocks[block] == nullptr) {
    m_blocks[block] = new (std::nothrow) CDotNetMember*[size_t{kFirstBlock} << block];
    if (m_blocks[block] == nullptr) {
      method->ReleaseMember();
      return 0;
    }
  }
  m_blocks[block][offset] = method;
  if (!m_table.bAjoute(reinterpret_cast<uintptr_t>(method->Key().c_str()),
                       static_cast<uintptr_t>(count + 1))) {
    method->ReleaseMember();
    return 0;
  }
  m_count.store(count + 1, std::memory_order_release);
  return static_cast<int32_t>(count + 1);
}

int32_t CDotNetManager::Registry::Find(const std::u16string& key) const {
  std::shared_lock<std::shared_mutex> lock(m_lock);
  uintptr_t id = 0;
  if (!m_table.bCherche(reinterpret_cast<uintptr_t>(key.c_str()), &id, nullptr)) return 0;
  return static_cast<int32_t>(id);
}

CDotNetManager::CDotNetManager()
    : m_finder([this] { return pszGetGAC(); }),
      m_loader([this] { return pszGetGAC(); }, &m_error) {}

CDotNetManager::~CDotNetManager() = default;

CDotNetManager* CDotNetManager::Acquire() {
  std::lock_guard<std::mutex> lock(g_singleton_mutex);
  CDotNetManager* manager = s_manager.load(std::memory_order_relaxed);
  if (manager == nullptr) {
    manager = new (std::nothrow) CDotNetManager();
    if (manager == nullptr) return nullptr;
    s_manager.store(manager, std::memory_order_release);
  }
  ++manager->m_ref;
  return manager;
}

CDotNetManager* CDotNetManager::Current() {
  std::lock_guard<std::mutex> lock(g_singleton_mutex);
  return s_manager.load(std::memory_order_relaxed);
}

int32_t CDotNetManager::Release() {
  // A reference that is not the last one goes without the mutex: the count
  // cannot reach 0 here, and Acquire only raises it.
  int32_t held = m_ref.load(std::memory_order_relaxed);
  while (held > 1) {
    if (m_ref.compare_exchange_weak(held, held - 1, std::memory_order_release,
                                    std::memory_order_relaxed)) {
      return held - 1;
    }
  }
  CDotNetManager* doomed = nullptr;
  int32_t left;
  {
    std::lock_guard<std::mutex> lock(g_singleton_mutex);
    left = --m_ref;
    if (left == 0) {
      if (s_manager.load(std::memory_order_relaxed) == this) {
        s_manager.store(nullptr, std::memory_order_release);
      }
      doomed = this;
    }
  }
  delete doomed;
  return left;
}

const std::u16string& CDotNetManager::pszGetGAC() {
  static const std::u16string kUnknown;
  if (m_gac_read.load(std::memory_order_acquire)) return m_gac;
  std::lock_guard<std::mutex> lock(m_gac_lock);
  if (m_gac_read.load(std::memory_order_relaxed)) return m_gac;
  const char* forced = std::getenv("QG_NET_ASSEMBLY_CACHE");
  if (forced != nullptr && *forced != '\0') {
    m_gac = U16(forced);
  } else if (const ManagedTable* clr = Clr()) {
    ManagedRef core(clr->CoreLibrary());
    StringSink location;
    if (core && clr->AssemblyText(core.get(), 1, &location) == kBridgeOk) {
      size_t slash = location.rfind(u'/');
      if (slash != std::u16string::npos) m_gac = location.substr(0, slash);
    }
  } else {
    return kUnknown;  // asked again once the runtime starts
  }
  m_gac_read.store(true, std::memory_order_release);
  return m_gac;
}

CDotNetType* CDotNetManager::pclGetType(const std::u16string& class_name,
                                        const std::u16string& name_space) {
  CDotNetClassName name(class_name.c_str(), name_space.c_str());
  if (CDotNetType* type = m_loader.vpclGetType(name.FullName().c_str())) return type;
  if (!name.bEstGenerique()) return nullptr;
  CDotNetType* base = m_loader.vpclGetType(name.BaseName().c_str());
  if (base == nullptr) return nullptr;
  std::u16string arguments;
  for (const std::u16string& argument : name.Arguments()) {
    if (!arguments.empty()) arguments += u",";
    arguments += argument;
  }
  ManagedId made = ClrIfStarted()->MakeGeneric(base->Id(), arguments.c_str(),
                                               name.bEstTableau() ? 1 : 0);
  base->vRelease();
  return made != 0 ? new CDotNetType(made) : nullptr;
}

CDotNetType* CDotNetManager::pclGetTypeClasse(const STInfoClasseDotNet* classe, CXError* error) {
  if (classe == nullptr) return nullptr;
  const char16_t* class_name = classe->pszClasse != nullptr ? classe->pszClasse : u"";
  const char16_t* assembly = classe->pszAssemblage != nullptr ? classe->pszAssemblage : u"";
  std::u16string name_space = classe->pszNamespace != nullptr ? classe->pszNamespace : u"";
  if (!m_loader.vbLoadAddAssembly(assembly, error)) {
    if (error != nullptr) {
      error->AddUserMessageFirst(&Def(), 3619, class_name, assembly);
      error->nSetNiveau(XERR_ERROR);
    }
    return nullptr;
  }
  CDotNetType* type = pclGetType(class_name, name_space);
  if (type == nullptr && error != nullptr) {
    error->AddUserMessageFirst(&Def(), 200005, class_name, assembly);
    error->nSetNiveau(XERR_ERROR);
  }
  return type;
}

int32_t CDotNetManager::nAddMethod(CDotNetMember* method) { return m_methods.Add(method); }
int32_t CDotNetManager::nGetMethodId(const std::u16string& key) const {
  return m_methods.Find(key);
}
int32_t CDotNetManager::nAddConstructor(CDotNetMember* constructor) {
  return m_constructors.Add(constructor);
}
int32_t CDotNetManager::nGetConstructorId(const std::u16string& key) const {
  return m_constructors.Find(key);
}
CDotNetMember* CDotNetManager::pclGetConstructor(uint32_t id) const {
  return m_constructors.Get(id);
}

}  // namespace qgnet
