// The interfaces the .NET connector hands to the host, operations in slot
// order (slot n is the n-th virtual function). Texts are UTF-16 and stay
// valid while the object that answered them lives. An interface pointer a
// "pi" operation returns carries one reference for the caller, except
// IDotNetLoader::vpiGetAssembly (borrowed from the loader's list) and the
// embedded finder and loader of the manager.
#ifndef QG_DOTNET_CONNECTOR_DOTNET_INTERFACES_H_
#define QG_DOTNET_CONNECTOR_DOTNET_INTERFACES_H_

#include <cstdint>

#include "dotnet/connector/host_dotnet.h"

class CXError;
class IDotNetAssembly;
class IDotNetModule;
class IDotNetType;
class IDotNetField;
class IDotNetProperty;
class IDotNetMethod;
class IDotNetConstructor;
class IDotNetParameter;
class IDotNetInstance;

class IDotNetFinder {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vnVersion2() = 0;
  virtual void vClear() = 0;
  virtual bool vbFind() = 0;
  virtual int32_t vnGetNb() = 0;
  virtual const char16_t* vpszGetFileName(int32_t n) = 0;
  virtual const char16_t* vpszGetStrongName(int32_t n) = 0;
  virtual int32_t vnGetVersion(int32_t n, int32_t part) = 0;
  virtual bool vbFindInPath(const char16_t* folder) = 0;

 protected:
  ~IDotNetFinder() = default;
};

class IDotNetLoader {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vnVersion2() = 0;
  virtual void vClear() = 0;
  virtual bool vbAdd(IDotNetAssembly* assembly) = 0;
  virtual IDotNetAssembly* vpiLoad(const char16_t* name) = 0;
  virtual IDotNetAssembly* vpiLoadWithFullPath(const char16_t* path) = 0;
  virtual IDotNetAssembly* vpiLoadWithPartialName(const char16_t* name) = 0;
  virtual int32_t vnGetNbAssembly() = 0;
  virtual IDotNetAssembly* vpiGetAssembly(int32_t n) = 0;
  virtual IDotNetType* vpiGetType(const char16_t* name) = 0;
  virtual bool vbFindType(const char16_t* name) = 0;
  virtual IDotNetAssembly* vpiLoadAssembly(const char16_t* name, CXError* error) = 0;
  virtual bool vbLoadAddAssembly(const char16_t* name, CXError* error) = 0;
  virtual IDotNetAssembly* vpiLoadAssemblyWithFullPath(const char16_t* path,
                                                       CXError* error) = 0;
  virtual IDotNetAssembly* vpiGetAssembly_mscorlib() = 0;
  virtual const char16_t* vpszGetStrongNameForFile(const char16_t* path) = 0;
  virtual IDotNetAssembly* vpiLoadAssemblyFromGAC(const char16_t* name, CXError* error) = 0;
  virtual bool vbLoadAdd(const char16_t* path) = 0;

 protected:
  ~IDotNetLoader() = default;
};

class IDotNetManager {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vnVersion2() = 0;
  virtual int32_t Release() = 0;
  virtual IDotNetFinder* piGetFinder() = 0;
  virtual IDotNetLoader* piGetLoader() = 0;
  virtual IDotNetType* piGetType(const char16_t* name) = 0;
  virtual bool bFindType(const char16_t* name) = 0;
  virtual CXError* pclGetErreur() = 0;

 protected:
  ~IDotNetManager() = default;
};

class IDotNetAssembly {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vnVersion2() = 0;
  virtual int32_t vRelease() = 0;
  virtual const char16_t* vpszGetName() = 0;
  virtual int32_t vnGetNbModule() = 0;
  virtual IDotNetModule* vpiGetModule(int32_t n) = 0;
  virtual IDotNetType* vpiGetType(const char16_t* name) = 0;
  virtual const char16_t* vpszGetFileName() = 0;
  virtual bool vbFindType(const char16_t* name) = 0;
  virtual int32_t vnGetNbReferencedAssemblies() = 0;
  // The full name of referenced assembly n into *name (valid while the
  // assembly lives).
  virtual bool vbGetReferencedAssembly(int32_t n, const char16_t** name) = 0;
  virtual const char16_t* vpszGetVersionCLRNecessaire() = 0;
  virtual bool vb64bits() = 0;

 protected:
  ~IDotNetAssembly() = default;
};

class IDotNetModule {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vnVersion2() = 0;
  virtual int32_t vRelease() = 0;
  virtual const char16_t* vpszGetName() = 0;
  virtual int32_t vnGetNbType() = 0;
  virtual IDotNetType* vpiGetType(int32_t n) = 0;
  virtual int32_t vnGetNbField() = 0;
  virtual IDotNetField* vpiGetField(int32_t n) = 0;
  virtual int32_t vnGetNbMethod() = 0;
  virtual IDotNetMethod* vpiGetMethod(int32_t n) = 0;

 protected:
  ~IDotNetModule() = default;
};

class IDotNetType {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vAddRef() = 0;
  virtual int32_t vRelease() = 0;
  virtual const char16_t* vcszGetNomInterne() = 0;
  virtual const char16_t* vpszGetNamespace() = 0;
  virtual const char16_t* vpszGetNomAncienFormat() = 0;
  virtual int32_t vnGetNbParametreGenerique() = 0;
  virtual const char16_t* vcszGetParametreGenerique(int32_t n) = 0;
  virtual bool vbGetAssembly(IDotNetAssembly** assembly) = 0;
  virtual bool vbEstPublique() = 0;
  virtual bool vbEstGenerique() = 0;
  virtual int32_t vnGetNbField() = 0;
  virtual IDotNetField* vpiGetField(int32_t n) = 0;
  virtual int32_t vnGetNbProperty() = 0;
  virtual IDotNetProperty* vpiGetProperty(int32_t n) = 0;
  virtual int32_t vnGetNbMethod() = 0;
  virtual IDotNetMethod* vpiGetMethod(int32_t n) = 0;
  virtual int32_t vnGetNbConstructor() = 0;
  virtual IDotNetConstructor* vpiGetConstructor(int32_t n) = 0;
  virtual int32_t vnGetNbNestedType() = 0;
  virtual IDotNetType* vpiGetNestedType(int32_t n) = 0;
  virtual bool vbClasseExtension() = 0;
  virtual IDotNetType* vpiGetClasseBase() = 0;
  virtual int32_t vnGetNbInterface() = 0;
  virtual IDotNetType* vpiGetInterface(int32_t n) = 0;

 protected:
  ~IDotNetType() = default;
};

class IDotNetMethod {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vnVersion2() = 0;
  virtual int32_t vRelease() = 0;
  virtual const char16_t* vpszGetName() = 0;
  virtual const char16_t* vpszGetReturnTypeName() = 0;
  virtual int32_t vnGetNbParameter() = 0;
  virtual IDotNetParameter* vpiGetParameter(int32_t n) = 0;
  virtual IDotNetType* vpiGetReturnType() = 0;
  virtual bool bIsVirtual() = 0;
  virtual bool bIsStatic() = 0;
  virtual bool bIsPrivate() = 0;
  virtual bool bIsPublic() = 0;
  virtual const char16_t* vpszGetReturnTypeFullName() = 0;
  virtual bool vbMethodeExtension() = 0;
  virtual bool vbEstGenerique() = 0;
  virtual int32_t vnGetNbParametreGenerique() = 0;
  virtual const char16_t* vcszGetParametreGenerique(int32_t n) = 0;

 protected:
  ~IDotNetMethod() = default;
};

class IDotNetConstructor {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vnVersion2() = 0;
  virtual int32_t vRelease() = 0;
  virtual int32_t vnGetNbParameter() = 0;
  virtual IDotNetParameter* vpiGetParameter(int32_t n) = 0;
  virtual bool bIsVirtual() = 0;
  virtual bool bIsStatic() = 0;
  virtual bool bIsPrivate() = 0;
  virtual bool bIsPublic() = 0;
  virtual bool bIsConstructor() = 0;

 protected:
  ~IDotNetConstructor() = default;
};

class IDotNetField {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vnVersion2() = 0;
  virtual int32_t vRelease() = 0;
  virtual const char16_t* vpszGetName() = 0;
  virtual const char16_t* vpszGetTypeName() = 0;
  virtual IDotNetType* vpiGetType() = 0;
  virtual bool bIsStatic() = 0;
  virtual bool bIsPrivate() = 0;
  virtual bool bIsPublic() = 0;
  virtual const char16_t* vpszGetTypeFullName() = 0;

 protected:
  ~IDotNetField() = default;
};

class IDotNetProperty {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vnVersion2() = 0;
  virtual int32_t vRelease() = 0;
  virtual const char16_t* vpszGetName() = 0;
  virtual const char16_t* vpszGetTypeName() = 0;
  virtual IDotNetType* vpiGetType() = 0;
  virtual bool bCanRead() = 0;
  virtual bool bCanWrite() = 0;
  virtual bool bIsStatic() = 0;
  virtual IDotNetMethod* piGetGetMethod() = 0;
  virtual IDotNetMethod* piGetSetMethod() = 0;
  virtual const char16_t* vpszGetTypeFullName() = 0;

 protected:
  ~IDotNetProperty() = default;
};

class IDotNetParameter {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vnVersion2() = 0;
  virtual int32_t vRelease() = 0;
  virtual const char16_t* vpszGetName() = 0;
  virtual const char16_t* vpszGetTypeName() = 0;
  virtual IDotNetType* vpiGetType() = 0;
  virtual const char16_t* vpszGetTypeFullName() = 0;

 protected:
  ~IDotNetParameter() = default;
};

class IDotNetInstance {
 public:
  virtual int32_t Release() = 0;
  virtual bool bExecuteConstructeur(const STMethodeDotNet* method, uint32_t* identifier,
                                    CSLevel* stack, int32_t count,
                                    STOperationDotNet* operation) = 0;
  virtual bool bLibereInstance() = 0;
  virtual IDotNetInstance* piCopieInstance() = 0;
  virtual bool bAppelleMethode(const STMethodeDotNet* method, uint32_t* identifier,
                               CSLevel* stack, int32_t count, bool result,
                               STOperationDotNet* operation) = 0;
  virtual bool bAffecteMembre(const char16_t* name, CSLevel* stack,
                              STOperationDotNet* operation) = 0;
  virtual bool bAffecteProperty(const char16_t* name, CSLevel* stack,
                                STOperationDotNet* operation) = 0;
  virtual bool bAffectePropertyMembre(const char16_t* name, CSLevel* stack,
                                      STOperationDotNet* operation) = 0;
  virtual bool bEmpileMembre(const char16_t* name, CSLevel* stack,
                             STOperationDotNet* operation) = 0;
  virtual bool bEmpileProperty(const char16_t* name, CSLevel* stack,
                               STOperationDotNet* operation) = 0;
  virtual bool bEmpilePropertyMembre(const char16_t* name, CSLevel* stack,
                                     STOperationDotNet* operation) = 0;

 protected:
  ~IDotNetInstance() = default;
};

class IDotNetException {
 public:
  virtual int32_t vnVersion1() = 0;
  virtual int32_t vAddRef() = 0;
  virtual int32_t vRelease() = 0;
  // The exception, and its inner exception (null when none), as instances.
  virtual IDotNetInstance* vpiGetInstanceExterne() = 0;
  virtual IDotNetInstance* vpiGetInstanceInterne() = 0;

 protected:
  ~IDotNetException() = default;
};

class IDotNetExecution {
 public:
  virtual int32_t nGetVersion() = 0;
  virtual int32_t nGetCompatSince() = 0;
  virtual int32_t nGetDllNum_OBSOLETE() = 0;
  virtual void vReserve4() = 0;
  virtual void vReserve5() = 0;
  virtual void vReserve6() = 0;
  virtual int32_t Release() = 0;
  virtual IDotNetInstance* piAlloue(const STInfoClasseDotNet* classe,
                                    STOperationDotNet* operation) = 0;
  virtual bool bMemeObjet(IDotNetInstance* a, IDotNetInstance* b) = 0;
  virtual bool bAppelleMethodeStatique(const STInfoClasseDotNet* classe,
                                       const STMethodeDotNet* method, uint32_t* identifier,
                                       CSLevel* stack, int32_t count, bool result,
                                       STOperationDotNet* operation) = 0;
  virtual bool bAffecteMembreStatique(const STInfoClasseDotNet* classe, const char16_t* name,
                                      CSLevel* stack, STOperationDotNet* operation) = 0;
  virtual bool bAffectePropertyStatique(const STInfoClasseDotNet* classe, const char16_t* name,
                                        CSLevel* stack, STOperationDotNet* operation) = 0;
  virtual bool bAffectePropertyMembreStatique(const STInfoClasseDotNet* classe,
                                              const char16_t* name, CSLevel* stack,
                                              STOperationDotNet* operation) = 0;
  virtual bool bEmpileMembreStatique(const STInfoClasseDotNet* classe, const char16_t* name,
                                     CSLevel* stack, STOperationDotNet* operation) = 0;
  virtual bool bEmpilePropertyStatique(const STInfoClasseDotNet* classe, const char16_t* name,
                                       CSLevel* stack, STOperationDotNet* operation) = 0;
  virtual bool bEmpilePropertyMembreStatique(const STInfoClasseDotNet* classe,
                                             const char16_t* name, CSLevel* stack,
                                             STOperationDotNet* operation) = 0;
  virtual IDotNetInstance* piOuBinaire(IDotNetInstance* a, IDotNetInstance* b,
                                       STOperationDotNet* operation) = 0;
  virtual IDotNetInstance* piOuExBinaire(IDotNetInstance* a, IDotNetInstance* b,
                                         STOperationDotNet* operation) = 0;
  virtual IDotNetInstance* piEtBinaire(IDotNetInstance* a, IDotNetInstance* b,
                                       STOperationDotNet* operation) = 0;
  virtual IDotNetInstance* piNonBinaire(IDotNetInstance* a, STOperationDotNet* operation) = 0;
  virtual bool bObjectToInt(IDotNetInstance* a, int32_t* value,
                            STOperationDotNet* operation) = 0;
  // 1 converted, 0 failed.
  virtual int32_t eConversionDotNet(CSLevel* stack, IDotNetInstance** instance,
                                    STOperationDotNet* operation) = 0;
  virtual int32_t eConversionZQ(IDotNetInstance* instance, CSLevel* stack,
                                STOperationDotNet* operation) = 0;

 protected:
  ~IDotNetExecution() = default;
};

#endif  // QG_DOTNET_CONNECTOR_DOTNET_INTERFACES_H_
