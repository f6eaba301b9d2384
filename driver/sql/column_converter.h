// CNAColumnConverter: the two converters of a column that stores a host
// object as bytes (column types 32 and 33): bytes to value and value to
// bytes, each refusing with an error object. A column carries its
// converter as its first attached object; the row buffer stores and reads
// the column's values through it.
#ifndef QG_DRIVER_SQL_COLUMN_CONVERTER_H_
#define QG_DRIVER_SQL_COLUMN_CONVERTER_H_

#include <cstddef>
#include <cstdint>

#include "driver/core/refcounted.h"
#include "support/any.h"

class CNAColumn;
class CNAError;

class CNAColumnConverter : public CNARefCounted {
 public:
  // The value of the stored bytes (`size` of them, the column's whole
  // element); false with the reason in `error` when they are refused.
  virtual bool bBytesToValue(const CNAColumn& column, const uint8_t* bytes, size_t size,
                             CAny* value, CNAError* error) = 0;
  // The bytes that store `value`, at most `capacity` of them (*size set);
  // false with the reason in `error` when the value is refused.
  virtual bool bValueToBytes(const CNAColumn& column, const CAny& value, uint8_t* bytes,
                             size_t capacity, size_t* size, CNAError* error) = 0;
};

// Whether a column type stores its values through its column's converters.
inline bool NAIsConvertedColumnType(int type) { return type == 32 || type == 33; }

// The converter a column carries, or null.
CNAColumnConverter* NAColumnConverterOf(const CNAColumn& column);

#endif  // QG_DRIVER_SQL_COLUMN_CONVERTER_H_
