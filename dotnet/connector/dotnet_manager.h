// The process's .NET manager: the finder, the loader, type lookup and the
// registries of resolved methods and constructors. Created by the first
// gpiGetManager, deleted when its last reference goes; the next
// gpiGetManager then makes a new one.
#ifndef QG_DOTNET_CONNECTOR_DOTNET_MANAGER_H_
#define QG_DOTNET_CONNECTOR_DOTNET_MANAGER_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "dotnet/connector/dotnet_finder.h"
#include "dotnet/connector/dotnet_loader.h"
#include "support/hashtable_bounce.h"
#include "errors/module_errors.h"

namespace qgnet {

class CDotNetManager final : public IDotNetManager {
 public:
  // The process's manager with one reference added (gpiGetManager), null
  // when out of memory.
  static CDotNetManager* Acquire();
  // The manager when one exists, no reference added.
  static CDotNetManager* Current();
  // The same without a lock, for the calls: the manager a holder of a
  // reference (the host) keeps alive while it calls; null when nobody
  // holds one. The host must not drop its last reference on one thread
  // while it calls on another.
  static CDotNetManager* Held() { return s_manager.load(std::memory_order_acquire); }

  int32_t vnVersion1() override { return 1; }
  int32_t vnVersion2() override { return 1; }
  int32_t Release() override;
  IDotNetFinder* piGetFinder() override { return &m_finder; }
  IDotNetLoader* piGetLoader() override { return &m_loader; }
  IDotNetType* piGetType(const char16_t* name) override { return pclGetTypeNom(name); }
  bool bFindType(const char16_t* name) override { return m_loader.vbFindType(name); }
  CXError* pclGetErreur() override { return &m_error; }
  // Loads and remembers the description's assembly, then finds the class:
  // 3619 (class, assembly) when the assembly cannot be loaded, 200005 when
  // the class is not in it. A new wrapper, or null.
  virtual CDotNetType* pclGetTypeClasse(const STInfoClasseDotNet* classe, CXError* error);
  virtual CDotNetType* pclGetTypeNom(const char16_t* name) { return m_loader.vpclGetType(name); }
  virtual IDotNetType* piGetTypeClasse(const STInfoClasseDotNet* classe, CXError* error) {
    return pclGetTypeClasse(classe, error);
  }

  CDotNetFinder& Finder() { return m_finder; }
  CDotNetLoader& Loader() { return m_loader; }

  // The assembly cache folder: $QG_NET_ASSEMBLY_CACHE, else the runtime's
  // shared-framework folder (empty when the runtime cannot start). Read
  // once.
  const std::u16string& pszGetGAC();

  // A type by class name: the full name, else the generic base type made
  // with each argument type; a new wrapper or null.
  CDotNetType* pclGetType(const std::u16string& class_name, const std::u16string& name_space);

  // Registries. nAdd* take over the caller's reference: the new 1-based
  // identifier, or, when the key is already registered, the existing
  // identifier (the wrapper passed is then released). 0 when out of memory.
  int32_t nAddMethod(CDotNetMember* method);
  int32_t nGetMethodId(const std::u16string& key) const;
  // The registered wrapper (no reference added), null for a bad identifier.
  CDotNetMember* pclGetMethod(uint32_t id) const { return m_methods.Get(id); }
  int32_t nAddConstructor(CDotNetMember* constructor);
  int32_t nGetConstructorId(const std::u16string& key) const;
  CDotNetMember* pclGetConstructor(uint32_t id) const;

 private:
  // Calls on several threads share the registries. An identifier is read
  // without a lock (a call whose slot is known reads one entry); keys are
  // looked up under the shared lock and entries added under the exclusive
  // one.
  class Registry {
   public:
    Registry();
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;
    int32_t Add(CDotNetMember* method);
    int32_t Find(const std::u16string& key) const;
    CDotNetMember* Get(uint32_t id) const {
      if (id == 0 || id > m_count.load(std::memory_order_acquire)) return nullptr;
      int block;
      uint32_t offset;
      Locate(id - 1, &block, &offset);
      return m_blocks[block][offset];
    }

   private:
    // Entry i (0-based) lives in block b at offset o; block b holds
    // kFirstBlock << b entries and never moves once made, so a reader
    // needs no lock.
    static constexpr uint32_t kFirstBlock = 32;
    static constexpr int kBlocks = 26;
    static void Locate(uint32_t i, int* block, uint32_t* offset) {
      // Blocks 0..b-1 hold kFirstBlock * (2^b - 1) entries.
      uint32_t units = i / kFirstBlock + 1;
      int b = 31 - __builtin_clz(units);
      *block = b;
      *offset = i - kFirstBlock * ((1u << b) - 1);
    }

    mutable std::shared_mutex m_lock;  // guards m_table and the writing of m_blocks
    // Written under m_lock before m_count is raised past them; read after
    // an acquire load of m_count. Each entry holds one reference.
    CDotNetMember** m_blocks[kBlocks] = {};
    std::atomic<uint32_t> m_count{0};
    CHashTableBounce m_table;
  };

  CDotNetManager();
  ~CDotNetManager();

  // The process's manager: written under the singleton mutex, read
  // without it by Held.
  static std::atomic<CDotNetManager*> s_manager;

  // Raised under the singleton mutex; lowered without it while it stays
  // above 1, so that the last reference always goes under the mutex.
  std::atomic<int32_t> m_ref{0};
  _CXErrorModule20 m_error;
  CDotNetFinder m_finder;
  CDotNetLoader m_loader;
  Registry m_methods;
  Registry m_constructors;
  // m_gac is written once under m_gac_lock, before m_gac_read is raised,
  // and never changes after.
  std::mutex m_gac_lock;
  std::atomic<bool> m_gac_read{false};
  std::u16string m_gac;
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_DOTNET_MANAGER_H_
