// CParamList: the values of one call from .NET into the host, in order,
// and the value the host returns. An entry is a host value with its type
// word, or a .NET object (its GCHandle id, owned by the list). The host
// reads and writes entries through the virtual operations, which run the
// connector's code.
#ifndef QG_DOTNET_CONNECTOR_PARAM_LIST_H_
#define QG_DOTNET_CONNECTOR_PARAM_LIST_H_

#include <cstdint>
#include <deque>
#include <memory>

#include "dotnet/connector/clr_bridge.h"
#include "dotnet/connector/host_array.h"
#include "dotnet/connector/vm_externe.h"
#include "support/any.h"

namespace qgnet {

class CParamList final : public IParamList {
 public:
  CParamList() = default;
  CParamList(const CParamList&) = delete;
  CParamList& operator=(const CParamList&) = delete;
  virtual ~CParamList();


  // Appends a copy of the value; its type word is the value's.
  virtual void AddParam(const CAny& value);
  // Appends a .NET object (the list takes over the handle).
  virtual void AddObjet(ManagedId object);
  // Appends a host array (the list takes it over); type word 4130.
  void AddTableau(CTableauHote* array);
  int32_t nGetNbParam() const override;
  // Null out of range. The address stays valid until the list is emptied.
  CAny* GetParam(int32_t n) override;
  // The .NET object of an entry; 0 when it holds a host value.
  ManagedId nGetObjet(int32_t n) const override;
  // The type word of an entry (72 for a .NET object); 0 out of range.
  uint16_t nGetTypeParam(int32_t n) const override;
  void SetTypeParam(int32_t n, uint16_t type) override;
  // Written by the host; empty (null) until then.
  CAny* GetReturnedValue() override;
  CTableauHote* pclGetTableau(int32_t n) override;
  // Empties the list and the returned value.
  virtual void Vide();

 private:
  struct Entry {
    uint16_t type = 0;
    CAny value;
    ManagedRef object;
    std::unique_ptr<CTableauHote> array;
  };
  std::deque<Entry> m_entries;  // stable addresses on append
  CAny m_returned;
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_PARAM_LIST_H_
