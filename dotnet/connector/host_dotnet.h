// What the host hands to the .NET connector with each request: the class
// and method descriptions, the operation record whose error receives every
// failure, and the slice of its value stack. The host owns these objects
// and their layouts; the connector reads the fields below only.
#ifndef QG_DOTNET_CONNECTOR_HOST_DOTNET_H_
#define QG_DOTNET_CONNECTOR_HOST_DOTNET_H_

#include <cstdint>

class CAny;
class CXError;
class IDotNetInstance;
namespace qgnet {
class CTableauHote;
}

// A .NET type as the program names it.
struct STInfoClasseDotNet {
  const char16_t* pszAssemblage;  // assembly file name
  const char16_t* pszNamespace;   // may be null or empty
  const char16_t* pszClasse;      // class name ("Outer.Inner", "List<Int32>", "T[]")
};

// A member to call: its name ("M" or "M<T1,T2>"), and the declared
// parameter types when the program gave them (nNbTypeParametre names in
// pszTypesParametres, separated by top-level commas), and the text of
// explicit generic arguments (empty when none).
struct STMethodeDotNet {
  const char16_t* pszNom;
  int32_t nNbTypeParametre;
  const char16_t* pszTypesParametres;
  const char16_t* pszGeneriques;
};

// Per-call record: its error object receives every failure of the call.
struct STOperationDotNet {
  CXError* pclErreur;
};

// The slice of the host's value stack a call reads its arguments from and
// pushes its results onto. Depth 0 is the top; with n arguments, argument i
// (0-based) lies at depth n - 1 - i.
class CSLevel {
 public:
  virtual int32_t nGetNbValeur() = 0;
  // The value at a depth; null out of range. A .NET object value (code 72)
  // reads as an empty CAny here: ask piGetInstance.
  virtual CAny* pclGetValeur(int32_t depth) = 0;
  // The instance held by the value at a depth (no reference added), null
  // when the value holds no .NET object.
  virtual IDotNetInstance* piGetInstance(int32_t depth) = 0;
  virtual bool bEmpile(const CAny& value) = 0;
  // Takes over one reference of the instance.
  virtual bool bEmpileInstance(IDotNetInstance* instance) = 0;
  // Writes a by-reference argument back.
  virtual bool bRemplace(int32_t depth, const CAny& value) = 0;
  virtual bool bRemplaceInstance(int32_t depth, IDotNetInstance* instance) = 0;
  // The array held by the value at a depth (arrays, codes 34 and 4130),
  // null otherwise; pushing an array takes it over.
  virtual qgnet::CTableauHote* pclGetTableau(int32_t depth) = 0;
  virtual bool bEmpileTableau(qgnet::CTableauHote* array) = 0;
  // Pushes a value and answers it, for the caller to set in place at once
  // with one of CAny's setters (no copy of a value built beside the
  // stack): until then it holds whatever the host's slot held, possibly a
  // number of the same type whose holder the setter then reuses. Null when
  // the stack cannot grow. Valid until the stack changes again.
  virtual CAny* pclEmpileValeur() = 0;

 protected:
  ~CSLevel() = default;
};

#endif  // QG_DOTNET_CONNECTOR_HOST_DOTNET_H_
