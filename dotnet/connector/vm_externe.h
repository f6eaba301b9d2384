// The host's external-execution interface as the .NET connector uses it
// when a .NET program drives the host: IVMExterne (a component of the
// host's component access, host item 7), the library contexts of
// assemblies and the global execution context, and the parameter list
// values cross in. The host owns the interfaces and their objects;
// operations are declared in slot order.
//
// Values cross in an IParamList the connector owns: the host reads the
// parameters and writes the returned value (a member read writes the
// member's value there; a member write reads parameter 0).
#ifndef QG_DOTNET_CONNECTOR_VM_EXTERNE_H_
#define QG_DOTNET_CONNECTOR_VM_EXTERNE_H_

#include <cstddef>
#include <cstdint>

#include "support/frame/test_runner_abi.h"

class CAny;
class CXError;
class IXStream;

namespace qgnet {

class CTableauHote;
class IVMExterne;

// The values of one call, as the host sees them (CParamList implements
// it). An entry is a host value with its type word, a .NET object, or a
// host array (a .NET array converted on its way in).
class IParamList {
 public:
  virtual int32_t nGetNbParam() const = 0;
  // Null out of range.
  virtual CAny* GetParam(int32_t n) = 0;
  // The .NET object of an entry (a runtime handle); 0 for a host value.
  virtual intptr_t nGetObjet(int32_t n) const = 0;
  // The type word of an entry (72 for a .NET object); 0 out of range.
  virtual uint16_t nGetTypeParam(int32_t n) const = 0;
  virtual void SetTypeParam(int32_t n, uint16_t type) = 0;
  // Where the host writes the value it returns.
  virtual CAny* GetReturnedValue() = 0;
  // The host array of an entry (type word 4130), still the list's; null
  // for any other entry or out of range.
  virtual CTableauHote* pclGetTableau(int32_t n) = 0;

 protected:
  ~IParamList() = default;
};

// Component kind and name of IVMExterne at the component access.
constexpr int32_t kComponentVMExterne = 1301;
constexpr const char16_t* kComponentVMExterneName = u"VMExterne";

// Host operators on values (IVMExterne::bOperateur).
enum OperateurZQ : int32_t {
  kOpPlus = 0, kOpMoins, kOpMult, kOpDiv, kOpMod, kOpSup, kOpSupEgal, kOpInf, kOpInfEgal,
  kOpEgal, kOpDiff, kOpCommencePar, kOpEgalSouple, kOpEgalTresSouple,
  kOpInc, kOpDec, kOpMoinsUnaire,  // unary: the second value is ignored
  kNbOperateurs
};

// An assembly's context in the host: the classes, objects and collections
// of the project library that assembly was generated from.
class IContexteBibliotheque {
 public:
  virtual IVMExterne* piGetVMExterne() = 0;  // 0
  virtual void Release() = 0;                // 1: before the host frees it
  // 2: the host's handle of a class; -1 when unknown.
  virtual int64_t nGetHandleClasse(const char16_t* classe, CXError* error) = 0;
  // 3: a new object of the class (data: the .NET side's bytes, may be null).
  virtual bool bCreeObjet(int64_t classe, const void* data, int32_t size, IParamList* params,
                          int64_t* objet, CXError* error) = 0;
  virtual bool bDetruitObjet(int64_t objet, CXError* error) = 0;  // 4
  virtual bool bExecuteMethodeInstance(int64_t objet, const char16_t* methode,
                                       IParamList* params, int32_t options,
                                       CXError* error) = 0;  // 5
  // 6: methode is "Class.Method".
  virtual bool bExecuteMethodeStatique(const char16_t* methode, IParamList* params,
                                       int32_t options, CXError* error) = 0;
  // 7-9: read (ecrit false) or write a member of an object, of a class, or
  // a global variable of a procedure collection.
  virtual bool bMembreInstance(int64_t objet, const char16_t* membre, bool ecrit,
                               IParamList* params, CXError* error) = 0;
  virtual bool bMembreStatique(const char16_t* classe, const char16_t* membre, bool ecrit,
                               IParamList* params, CXError* error) = 0;
  virtual bool bVariableCollection(const char16_t* collection, const char16_t* variable,
                                   bool ecrit, IParamList* params, CXError* error) = 0;
  // 10: the identifier of the .NET object linked to a host object (ecrit
  // false reads it into *info, 0 when none).
  virtual bool bInfoInstance(int64_t objet, bool ecrit, int64_t* info, CXError* error) = 0;

 protected:
  ~IContexteBibliotheque() = default;
};

// The host's global execution context: procedures and delegates.
class IContexteExecution {
 public:
  virtual IVMExterne* piGetVMExterne() = 0;  // 0
  virtual void Release() = 0;                // 1
  virtual bool bExecuteProcedure(const char16_t* procedure, IParamList* params,
                                 CXError* error) = 0;  // 2
  // 3: the procedure (or the method of object `objet`, when not 0) bound to
  // a delegate.
  virtual bool bExecuteDelegue(int64_t objet, const char16_t* methode, IParamList* params,
                               CXError* error) = 0;

 protected:
  ~IContexteExecution() = default;
};

class IVMExterne : public qg::IHostComponent {
 public:
  virtual void SetLangue(int32_t langue) = 0;  // 2
  // 3: a new context for an assembly, with the project library it embeds
  // (null when it names none); null with the error filled.
  virtual IContexteBibliotheque* piCreeContexte(const char16_t* assemblage,
                                                IXStream* bibliotheque, CXError* error) = 0;
  virtual void LibereContexte(IContexteBibliotheque* contexte) = 0;  // 4
  virtual IContexteExecution* piGetContexteExecution(CXError* error) = 0;  // 5
  // 6: result = a op b (b is ignored by unary operators).
  virtual bool bOperateur(int32_t op, const CAny* a, const CAny* b, CAny* result,
                          CXError* error) = 0;
  virtual void Termine() = 0;  // 7: the host ends

 protected:
  ~IVMExterne() = default;
};

// The host's image component ("MainIMG"): decodes a start image the module
// does not read itself and steps through its frames. Each request of the
// component access answers a new object with one reference, which the
// caller releases.
class IImageHote : public qg::IHostComponent {
 public:
  // 2: false when the host cannot decode the bytes.
  virtual bool bCharge(const uint8_t* bytes, size_t size) = 0;
  virtual int32_t nLargeur() = 0;    // 3
  virtual int32_t nHauteur() = 0;    // 4
  // 5: the current frame, 0x00RRGGBB, row after row.
  virtual const uint32_t* pPixels() = 0;
  // 6: advances to the next frame; false after the last.
  virtual bool bImageSuivante() = 0;

 protected:
  ~IImageHote() = default;
};
constexpr int32_t kComponentImage = 1302;
constexpr const char16_t* kComponentImageName = u"MainIMG";

// Host exports that run a whole project library.
// "ZQ_DonneFinInit": the callback runs once when the host's start-up ends.
using PFN_FinInit = void (*)(intptr_t user);
using PFN_ZQ_DonneFinInit = void (*)(PFN_FinInit callback, intptr_t user);
// "ZQ_SetParam": 1 accepted, 0 refused. kParamBibliotheque passes the
// library as an IXStream*.
using PFN_ZQ_SetParam = int32_t (*)(int32_t param, intptr_t value);
constexpr int32_t kParamBibliotheque = 1013;
constexpr int32_t kParamMode = 1016;
constexpr intptr_t kParamModeValeur = 8;
// "ZQ_Run_Res": runs the library (kind 5) with the project name and the
// command line (UTF-16 texts); 1 when it ran, with its exit code.
using PFN_ZQ_Run_Res = int32_t (*)(int32_t kind, intptr_t projet, intptr_t ligne,
                                   int32_t* exit_code);
constexpr int32_t kRunRessource = 5;

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_VM_EXTERNE_H_
