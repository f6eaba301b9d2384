// The stand-in host's value stack as the .NET connector sees it (CSLevel):
// values and .NET instances, with a log of the write-backs.
#ifndef QG_HOST_CORE_DOTNET_STACK_H_
#define QG_HOST_CORE_DOTNET_STACK_H_

#include <memory>
#include <vector>

#include "dotnet/connector/host_array.h"

#include "dotnet/connector/host_dotnet.h"
#include "support/any.h"

namespace qghost {

class DotNetStack final : public CSLevel {
 public:
  DotNetStack() = default;
  ~DotNetStack();
  DotNetStack(const DotNetStack&) = delete;
  DotNetStack& operator=(const DotNetStack&) = delete;

  int32_t nGetNbValeur() override { return m_size; }
  CAny* pclGetValeur(int32_t depth) override;
  IDotNetInstance* piGetInstance(int32_t depth) override;
  bool bEmpile(const CAny& value) override;
  bool bEmpileInstance(IDotNetInstance* instance) override;
  bool bRemplace(int32_t depth, const CAny& value) override;
  bool bRemplaceInstance(int32_t depth, IDotNetInstance* instance) override;
  qgnet::CTableauHote* pclGetTableau(int32_t depth) override;
  bool bEmpileTableau(qgnet::CTableauHote* array) override;
  CAny* pclEmpileValeur() override;

  // Pushes an instance, adding a reference of its own.
  void PushInstanceCopy(IDotNetInstance* instance);
  // Removes the top n entries.
  void Pop(int32_t n);
  void Clear() { Pop(nGetNbValeur()); }
  int nWriteBacks() const { return m_write_backs; }

 private:
  struct Entry {
    Entry() = default;
    explicit Entry(const CAny& v) : value(v) {}
    CAny value;
    IDotNetInstance* instance = nullptr;  // one reference
    std::unique_ptr<qgnet::CTableauHote> array;
  };
  Entry* At(int32_t depth);
  // The next slot above the top, raised into the stack.
  Entry& Grow();

  // Slots 0..m_size-1 are the stack (m_size-1 the top). Slots above were
  // popped and are kept for the next pushes, as a machine's stack keeps its
  // slots: each holds no instance, no array and a value that owns nothing
  // (empty, or a number, whose holder a push of the same type then reuses).
  std::vector<Entry> m_entries;
  int32_t m_size = 0;
  int m_write_backs = 0;
};

}  // namespace qghost

#endif  // QG_HOST_CORE_DOTNET_STACK_H_
