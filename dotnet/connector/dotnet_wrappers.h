// Reference-counted wrappers of runtime objects handed to the host. Each
// holds one GCHandle id, freed with its last reference, and keeps the texts
// it hands out (converted once, valid while the wrapper lives). A new
// wrapper starts with one reference, owned by its creator.
#ifndef QG_DOTNET_CONNECTOR_DOTNET_WRAPPERS_H_
#define QG_DOTNET_CONNECTOR_DOTNET_WRAPPERS_H_

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dotnet/connector/clr_bridge.h"
#include "dotnet/connector/dotnet_interfaces.h"
#include "errors/xerror.h"
#include "dotnet/connector/member_wrappers.h"

namespace qgnet {

// The reference count shared by the wrappers.
class RefCount {
 public:
  int32_t Add() { return m_n.fetch_add(1, std::memory_order_relaxed) + 1; }
  // The count after the decrement.
  int32_t Drop() { return m_n.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  int32_t Get() const { return m_n.load(std::memory_order_relaxed); }

 private:
  std::atomic<int32_t> m_n{1};
};

// Number of wrappers alive (for leak checks).
int64_t LiveWrappers();
void CountWrapper(int delta);

class CDotNetType;

class CDotNetModule final : public IDotNetModule {
 public:
  explicit CDotNetModule(ManagedId module);
  CDotNetModule(const CDotNetModule&) = delete;
  CDotNetModule& operator=(const CDotNetModule&) = delete;

  int32_t vnVersion1() override { return 1; }
  int32_t vnVersion2() override { return 1; }
  int32_t vRelease() override;
  const char16_t* vpszGetName() override;
  int32_t vnGetNbType() override;
  IDotNetType* vpiGetType(int32_t n) override;
  int32_t vnGetNbField() override;
  IDotNetField* vpiGetField(int32_t n) override;
  int32_t vnGetNbMethod() override;
  IDotNetMethod* vpiGetMethod(int32_t n) override;

 private:
  ~CDotNetModule();

  RefCount m_ref;
  ManagedRef m_module;
  // Threads may share one wrapper: m_cache_lock guards m_name, which once
  // cached never changes, so its address outlives the lock.
  std::mutex m_cache_lock;
  std::optional<std::u16string> m_name;
};

class CDotNetAssembly final : public IDotNetAssembly {
 public:
  // Takes over the handle. path: where it was loaded from (may be empty);
  // requested: the name it was asked under (may be empty).
  CDotNetAssembly(ManagedId assembly, std::u16string path, std::u16string requested);
  CDotNetAssembly(const CDotNetAssembly&) = delete;
  CDotNetAssembly& operator=(const CDotNetAssembly&) = delete;

  int32_t vnVersion1() override { return 1; }
  int32_t vnVersion2() override { return 1; }
  int32_t vRelease() override;
  const char16_t* vpszGetName() override;
  int32_t vnGetNbModule() override;
  IDotNetModule* vpiGetModule(int32_t n) override;
  IDotNetType* vpiGetType(const char16_t* name) override;
  const char16_t* vpszGetFileName() override;
  bool vbFindType(const char16_t* name) override;
  int32_t vnGetNbReferencedAssemblies() override;
  bool vbGetReferencedAssembly(int32_t n, const char16_t** name) override;
  const char16_t* vpszGetVersionCLRNecessaire() override;
  bool vb64bits() override;
  // A new type wrapper of the named type of this assembly, null when absent.
  CDotNetType* vpclGetType(const char16_t* name);

  void AddRef() { m_ref.Add(); }
  ManagedId Id() const { return m_assembly.get(); }
  const std::u16string& Path() const { return m_path; }
  const std::u16string& Requested() const { return m_requested; }
  // Number of types the assembly defines (-1 on failure).
  int32_t nGetNbType();

 private:
  ~CDotNetAssembly();

  RefCount m_ref;
  ManagedRef m_assembly;
  std::u16string m_path;
  std::u16string m_requested;
  // Threads may share one wrapper: m_cache_lock guards the cached texts
  // below. A text, once cached, never changes, so its address outlives the
  // lock.
  std::mutex m_cache_lock;
  std::optional<std::u16string> m_name;
  std::optional<std::u16string> m_clr_version;
  std::deque<std::u16string> m_references;  // stable addresses
};

class CDotNetType final : public IDotNetType {
 public:
  explicit CDotNetType(ManagedId type);
  CDotNetType(const CDotNetType&) = delete;
  CDotNetType& operator=(const CDotNetType&) = delete;

  int32_t vnVersion1() override { return 1; }
  int32_t vAddRef() override { return m_ref.Add(); }
  int32_t vRelease() override;
  const char16_t* vcszGetNomInterne() override;
  const char16_t* vpszGetNamespace() override;
  const char16_t* vpszGetNomAncienFormat() override;
  int32_t vnGetNbParametreGenerique() override;
  const char16_t* vcszGetParametreGenerique(int32_t n) override;
  bool vbGetAssembly(IDotNetAssembly** assembly) override;
  bool vbEstPublique() override;
  bool vbEstGenerique() override;
  int32_t vnGetNbField() override;
  IDotNetField* vpiGetField(int32_t n) override;
  int32_t vnGetNbProperty() override;
  IDotNetProperty* vpiGetProperty(int32_t n) override;
  int32_t vnGetNbMethod() override;
  IDotNetMethod* vpiGetMethod(int32_t n) override;
  int32_t vnGetNbConstructor() override;
  IDotNetConstructor* vpiGetConstructor(int32_t n) override;
  int32_t vnGetNbNestedType() override;
  IDotNetType* vpiGetNestedType(int32_t n) override;
  bool vbClasseExtension() override;
  IDotNetType* vpiGetClasseBase() override;
  int32_t vnGetNbInterface() override;
  IDotNetType* vpiGetInterface(int32_t n) override;

  ManagedId Id() const { return m_type.get(); }
  // Full name ("Namespace.Outer+Inner"), name and namespace.
  const std::u16string& FullName();
  const std::u16string& Name();
  bool bFlag(int32_t what);
  // bFlag(1), the type is generic: asked once, then read without a call.
  bool bGeneric() {
    int8_t generic = m_generic.load(std::memory_order_relaxed);
    return generic >= 0 ? generic == 1 : bFlag(1);
  }

 private:
  ~CDotNetType();
  const std::u16string& FullNameLocked();

  RefCount m_ref;
  ManagedRef m_type;
  // Threads may share one wrapper: m_cache_lock guards the cached texts
  // below. A text, once cached, never changes, so its address outlives the
  // lock.
  std::mutex m_cache_lock;
  std::optional<std::u16string> m_full_name;
  std::optional<std::u16string> m_name;
  std::optional<std::u16string> m_namespace;
  std::optional<std::u16string> m_standard;
  std::atomic<int8_t> m_generic{-1};  // -1 not read yet, else 0 or 1
  std::deque<std::u16string> m_texts;  // stable addresses
};

class CDotNetInstance final : public IDotNetInstance {
 public:
  // Takes one reference of the type (may be null) and the object's handle
  // (0: not constructed yet).
  CDotNetInstance(CDotNetType* type, ManagedId object);
  CDotNetInstance(const CDotNetInstance&) = delete;
  CDotNetInstance& operator=(const CDotNetInstance&) = delete;

  int32_t Release() override;
  bool bExecuteConstructeur(const STMethodeDotNet* method, uint32_t* identifier,
                            CSLevel* stack, int32_t count,
                            STOperationDotNet* operation) override;
  bool bLibereInstance() override;
  IDotNetInstance* piCopieInstance() override;
  bool bAppelleMethode(const STMethodeDotNet* method, uint32_t* identifier, CSLevel* stack,
                       int32_t count, bool result, STOperationDotNet* operation) override;
  bool bAffecteMembre(const char16_t* name, CSLevel* stack,
                      STOperationDotNet* operation) override;
  bool bAffecteProperty(const char16_t* name, CSLevel* stack,
                        STOperationDotNet* operation) override;
  bool bAffectePropertyMembre(const char16_t* name, CSLevel* stack,
                              STOperationDotNet* operation) override;
  bool bEmpileMembre(const char16_t* name, CSLevel* stack,
                     STOperationDotNet* operation) override;
  bool bEmpileProperty(const char16_t* name, CSLevel* stack,
                       STOperationDotNet* operation) override;
  bool bEmpilePropertyMembre(const char16_t* name, CSLevel* stack,
                             STOperationDotNet* operation) override;

  void AddRef() { m_ref.Add(); }
  CDotNetType* Type() const { return m_type; }
  ManagedId Object() const { return m_object.get(); }
  void SetObject(ManagedId object) { m_object.reset(object); }

 private:
  ~CDotNetInstance();

  RefCount m_ref;
  CDotNetType* m_type;
  ManagedRef m_object;
};

// A .NET exception reachable from an error's information (item 38) and as
// IDotNetException.
class CDotNetException final : public IErrorInfoObject, public IDotNetException {
 public:
  // Takes over nothing: adds its own handle of the exception.
  explicit CDotNetException(ManagedId exception);
  CDotNetException(const CDotNetException&) = delete;
  CDotNetException& operator=(const CDotNetException&) = delete;

  // IErrorInfoObject
  intptr_t vOp0(intptr_t) override { return 0; }
  int32_t AddRef() override { return m_ref.Add(); }
  int32_t Release() override;
  const char16_t* pszGetText() override;
  // IDotNetException
  int32_t vnVersion1() override { return 1; }
  int32_t vAddRef() override { return m_ref.Add(); }
  int32_t vRelease() override { return Release(); }
  IDotNetInstance* vpiGetInstanceExterne() override;
  IDotNetInstance* vpiGetInstanceInterne() override;

  ManagedId Id() const { return m_exception.get(); }

 private:
  ~CDotNetException();
  IDotNetInstance* InstanceOf(ManagedId object);

  RefCount m_ref;
  ManagedRef m_exception;
  std::optional<std::u16string> m_text;
};

// Adds the exception to the error's information (item 38).
void RecordException(CXError* error, ManagedId exception);

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_DOTNET_WRAPPERS_H_
