// The process's execution interface (pQueryProxy(1)): object creation,
// static calls and members, enumeration bit operations and conversions.
// Every operation runs inside the guard: failures travel on the operation
// record's error object.
#ifndef QG_DOTNET_CONNECTOR_DOTNET_EXECUTION_H_
#define QG_DOTNET_CONNECTOR_DOTNET_EXECUTION_H_

#include "dotnet/connector/dotnet_interfaces.h"

namespace qgnet {

class CDotNetExecution final : public IDotNetExecution {
 public:
  // The process's execution interface with one reference added, null on
  // failure.
  static CDotNetExecution* Acquire();

  int32_t nGetVersion() override { return 5; }
  int32_t nGetCompatSince() override { return 3; }
  int32_t nGetDllNum_OBSOLETE() override { return 20; }
  void vReserve4() override {}
  void vReserve5() override {}
  void vReserve6() override {}
  int32_t Release() override;
  IDotNetInstance* piAlloue(const STInfoClasseDotNet* classe,
                            STOperationDotNet* operation) override;
  bool bMemeObjet(IDotNetInstance* a, IDotNetInstance* b) override;
  bool bAppelleMethodeStatique(const STInfoClasseDotNet* classe, const STMethodeDotNet* method,
                               uint32_t* identifier, CSLevel* stack, int32_t count, bool result,
                               STOperationDotNet* operation) override;
  bool bAffecteMembreStatique(const STInfoClasseDotNet* classe, const char16_t* name,
                              CSLevel* stack, STOperationDotNet* operation) override;
  bool bAffectePropertyStatique(const STInfoClasseDotNet* classe, const char16_t* name,
                                CSLevel* stack, STOperationDotNet* operation) override;
  bool bAffectePropertyMembreStatique(const STInfoClasseDotNet* classe, const char16_t* name,
                                      CSLevel* stack, STOperationDotNet* operation) override;
  bool bEmpileMembreStatique(const STInfoClasseDotNet* classe, const char16_t* name,
                             CSLevel* stack, STOperationDotNet* operation) override;
  bool bEmpilePropertyStatique(const STInfoClasseDotNet* classe, const char16_t* name,
                               CSLevel* stack, STOperationDotNet* operation) override;
  bool bEmpilePropertyMembreStatique(const STInfoClasseDotNet* classe, const char16_t* name,
                                     CSLevel* stack, STOperationDotNet* operation) override;
  IDotNetInstance* piOuBinaire(IDotNetInstance* a, IDotNetInstance* b,
                               STOperationDotNet* operation) override;
  IDotNetInstance* piOuExBinaire(IDotNetInstance* a, IDotNetInstance* b,
                                 STOperationDotNet* operation) override;
  IDotNetInstance* piEtBinaire(IDotNetInstance* a, IDotNetInstance* b,
                               STOperationDotNet* operation) override;
  IDotNetInstance* piNonBinaire(IDotNetInstance* a, STOperationDotNet* operation) override;
  bool bObjectToInt(IDotNetInstance* a, int32_t* value, STOperationDotNet* operation) override;
  int32_t eConversionDotNet(CSLevel* stack, IDotNetInstance** instance,
                            STOperationDotNet* operation) override;
  int32_t eConversionZQ(IDotNetInstance* instance, CSLevel* stack,
                        STOperationDotNet* operation) override;

 private:
  CDotNetExecution() = default;
  ~CDotNetExecution() = default;
  IDotNetInstance* EnumOp(int32_t op, IDotNetInstance* a, IDotNetInstance* b,
                          STOperationDotNet* operation);
  bool StaticMember(bool assign, int form, const STInfoClasseDotNet* classe,
                    const char16_t* name, CSLevel* stack, STOperationDotNet* operation);

  int32_t m_ref = 0;  // changed under the singleton mutex
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_DOTNET_EXECUTION_H_
