// A reference-counted holder of one value (statement parameters, column
// values), and the search state of a table access object's last seek.
#ifndef QG_DRIVER_CORE_VALUE_HOLDER_H_
#define QG_DRIVER_CORE_VALUE_HOLDER_H_

#include <cstddef>
#include <cstdint>

#include "driver/core/refcounted.h"
#include "support/any.h"
#include "support/frame/host_services.h"
#include "support/xystring.h"

class CNAError;
class INACopyContext;

class CNAValueHolder : public CNARefCounted {
 public:
  CNAValueHolder() = default;
  ~CNAValueHolder() override;

  // Converts the value in place; true when the conversion's result is
  // below 100.
  virtual bool bConvertTo(int32_t type);                              // 2
  virtual bool bGetValue(CAny& out) const;                            // 3
  virtual bool bHasNoType() const { return m_clValue.GetType() == 0; }  // 4
  // The value's data, null for a value without type.
  virtual const void* pGetData() const;                               // 5
  virtual int32_t nGetDataSize() const;                               // 6
  virtual int32_t vn7() { return 0; }                                 // 7
  virtual int32_t nCopyFrom(const CNAValueHolder& source, INACopyContext* context);  // 8
  // A new holder copied through slot 8, with one reference.
  virtual CNAValueHolder* pclClone(INACopyContext* context);          // 9

  void SetValue(const CAny& value) { m_clValue = value; }
  CAny& clValue() { return m_clValue; }
  const CAny& clValue() const { return m_clValue; }
  // Two values each NULL or without type are equal; others compare
  // through the host's value comparison.
  bool bEquals(const CNAValueHolder& other) const;
  // The data as little-endian 32-bit words summed, then the remaining
  // bytes one by one.
  uint32_t nChecksum() const;
  bool bIsEmpty() const;
  bool bIsZero() const;
  bool bIsEmptyOrZero() const { return bIsEmpty() || bIsZero(); }
  // "Type=%d, Len=%d, Value=..." of the value.
  bool bDumpValue(CXYString<char16_t>& out) const;
  // The value as a decimal: a DECIMAL value is read as it is, any other is
  // converted on a copy. False (out unchanged) when it does not convert.
  bool bGetDecimal(qg::DecimalFields* out) const;
  // Loads the whole file: an 8-bit text (type 19) when text is asked, else
  // binary. A file that cannot be read records error 15 with its name and
  // the system's message; an empty file gives an empty value. A file that
  // grows while it is read is read up to the size found at the start.
  bool bLoadFromFile(const char16_t* path, bool text, CNAError* error);

 private:
  CAny m_clValue;
};

#endif  // QG_DRIVER_CORE_VALUE_HOLDER_H_
