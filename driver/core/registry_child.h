// What the session registry needs of the sessions it files (the session
// derives from this class).
#ifndef QG_DRIVER_CORE_REGISTRY_CHILD_H_
#define QG_DRIVER_CORE_REGISTRY_CHILD_H_

#include "driver/core/refcounted.h"

class CNAError;
class CNARegistry;
class INACopyContext;

class CNARegistryChild : public CNARefCounted {
 public:
  // The open flag, read under the child's own lock.
  virtual bool bIsOpen() = 0;
  // Closes the child; a null error dumps and drops a failure.
  virtual bool bClose(CNAError* error) = 0;
  // The registry becomes the child's name source (its display name).
  virtual void SetNameSource(CNARegistry* registry) = 0;
  // A copy within the copy context, which it registers there, with one
  // reference for the caller; null when it cannot be made (the error then
  // says why). May throw a CNAError.
  virtual CNARegistryChild* pclCopy(INACopyContext* context, CNAError* error) = 0;
};

#endif  // QG_DRIVER_CORE_REGISTRY_CHILD_H_
