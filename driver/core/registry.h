// The session registry of one host context: the context's sessions, each
// filed under the name key of the file description it serves (the address
// of the description's name text, never the text). The manager keeps one
// registry per host context in its context table.
//
// Lock: the children table has its own small lock, held only around table
// changes and lookups; a child's close, copy and release run outside it.
// The manager's context lock guards finding, creating and removing
// registries.
#ifndef QG_DRIVER_CORE_REGISTRY_H_
#define QG_DRIVER_CORE_REGISTRY_H_

#include <atomic>
#include <cstdint>
#include <mutex>

#include "driver/core/object_table.h"
#include "driver/core/refcounted.h"
#include "support/ctstring.h"

class CNAConnection;
class CNAError;
class CNAManager;
class CNARegistryChild;
class INACopyContext;
class INAFileDescription;

class CNARegistry : public CNARefCounted {
 public:
  // The manager whose session factory makes the children (may be null:
  // then no child can be created).
  explicit CNARegistry(CNAManager* manager);
  ~CNARegistry() override;  // releases every child

  virtual int32_t vnReserved2() { return 2; }  // 2
  virtual int32_t vnReserved3() { return 2; }  // 3
  // Copies every child of the source into this registry: a child the
  // context already copied gives that copy, any other is asked for its
  // copy. False when a copy could not be made (the error says why).
  virtual bool bDeepCopy(CNARegistry* source, INACopyContext* context, CNAError* error);  // 4
  // A new registry deep-copied from this one, with one reference for the
  // caller. On failure the new registry is deleted, the context forgets
  // this one, and the failure is raised again (null, or the CNAError
  // thrown goes on).
  virtual CNARegistry* pclCopy(INACopyContext* context, CNAError* error);  // 5
  // A new child through the manager's session factory, with one reference
  // for the caller.
  virtual CNARegistryChild* pclCreateChild(INAFileDescription* description,
                                           CNAConnection* connection, CNAError* error);  // 6

  // The child of the handle, with one reference added; null when absent.
  CNARegistryChild* pclFindChild(INAFileDescription* description);
  // Finds; else creates, files the new child and sets *created. One
  // reference for the caller. Null on failure (out of memory recorded in
  // the error when the factory gave nothing and said nothing).
  CNARegistryChild* pclFindOrCreateChild(INAFileDescription* description,
                                         CNAConnection* connection, bool* created,
                                         CNAError* error);
  // Files a child under a key (one reference for the table) and makes this
  // registry its name source. When the key is taken the filed child wins
  // and false is answered.
  bool bInsertChild(uintptr_t key, CNARegistryChild* child);
  // Unfiles the child of the handle; true when it was filed.
  bool bRemoveChild(INAFileDescription* description);
  bool bRemoveChildByKey(uintptr_t key);
  // Unfiles every child in turn; an open child is closed (no error
  // object) before its release.
  void CloseAll();

  uint32_t nGetChildCount();
  // Moves on whenever a child leaves the registry: a lookup remembered
  // with an older value may name a session that is gone.
  uint32_t nGetGeneration() const { return m_nGeneration.load(std::memory_order_acquire); }
  // Moves the generation on: the registry left its context.
  void Retire() { m_nGeneration.fetch_add(1, std::memory_order_acq_rel); }

  int32_t nGetIdentifier() const { return m_nIdentifier; }
  void SetIdentifier(int32_t identifier) { m_nIdentifier = identifier; }
  // The display name of the context's sessions; read and set under the
  // registry's lock (the copy is the caller's).
  CTString GetName();
  void SetName(const char16_t* name);

  CNAManager* pclGetManager() const { return m_pManager; }
  // The manager's teardown cuts the link.
  void ForgetManager() { m_pManager = nullptr; }

 private:
  CNAManager* m_pManager;
  int32_t m_nIdentifier = -1;
  std::mutex m_mutex;  // guards m_strName and m_tabChildren
  CTString m_strName;
  CNAObjectTable m_tabChildren{CNAObjectTable::kNumberForm};
  std::atomic<uint32_t> m_nGeneration{0};
};

#endif  // QG_DRIVER_CORE_REGISTRY_H_
