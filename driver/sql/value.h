// CNAValue: the value interface that the value converter and the value
// holder share. Statements read column values into it; the first ten slots
// (the two of CNARefCounted, then the eight below) are the same for both
// classes, slot 8 being the deep copy.
#ifndef QG_DRIVER_SQL_VALUE_H_
#define QG_DRIVER_SQL_VALUE_H_

#include <cstdint>

#include "driver/core/refcounted.h"
#include "support/any.h"

class CNAError;
class INACopyContext;

class CNAValue : public CNARefCounted {
 public:
  // 2: converts the value to a host type, in place.
  virtual bool bConvertTo(int host_type, bool no_padding, CNAError* error) = 0;
  // 3: copies the value into a host variant.
  virtual bool bGetValue(CAny& out) const = 0;
  // 4: no storage at all.
  virtual bool bIsEmpty() const = 0;
  // 5, 6: the raw data and its length in bytes.
  virtual const void* pGetData() const = 0;
  virtual int nGetDataSize() const = 0;
  // 7: the driver object the value belongs to (no reference added).
  virtual CNARefCounted* pclGetOwner() const = 0;
  // 8: deep copy of another value of the same class; 1 on success.
  virtual int nCopyFrom(const CNAValue* source, INACopyContext* context, intptr_t a,
                        intptr_t b) = 0;
  // 9: a new value copied from this one (no reference taken); null when it
  // cannot be made.
  virtual CNAValue* pclClone(INACopyContext* context, intptr_t a, intptr_t b) const = 0;
};

#endif  // QG_DRIVER_SQL_VALUE_H_
