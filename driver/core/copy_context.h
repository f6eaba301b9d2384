// The driver's deep-copy context: source -> copy pairs of one copy of a
// host context, and the copied connection descriptions (each made once
// through the description's own copy and held with one reference until
// the context ends). One context is used by one thread.
#ifndef QG_DRIVER_CORE_COPY_CONTEXT_H_
#define QG_DRIVER_CORE_COPY_CONTEXT_H_

#include <cstddef>
#include <unordered_map>

#include "driver/core/host_interfaces.h"

class CNACopyContext : public INACopyContext {
 public:
  CNACopyContext() = default;
  CNACopyContext(const CNACopyContext&) = delete;
  CNACopyContext& operator=(const CNACopyContext&) = delete;
  virtual ~CNACopyContext();

  intptr_t vOp0(intptr_t) override { return 0; }
  intptr_t vOp1(intptr_t) override { return 0; }
  intptr_t vOp2(intptr_t) override { return 0; }
  void* pFindCopy(const void* source) override;
  bool bRegisterCopy(const void* source, void* copy) override;
  void ForgetCopy(const void* source) override;
  INAConnectionDescription* piGetCopiedDescription(INAConnectionDescription* source) override;

  size_t nGetCount() const { return m_mapCopies.size(); }

 private:
  std::unordered_map<const void*, void*> m_mapCopies;
  std::unordered_map<INAConnectionDescription*, INAConnectionDescription*> m_mapDescriptions;
};

#endif  // QG_DRIVER_CORE_COPY_CONTEXT_H_
