// Conversion, comparison and equality of values through the host's entry
// points, the sortable key image of a value for the client-side indexes,
// and the text of a value written into traces and error information.
#ifndef QG_DRIVER_CORE_VALUE_BRIDGE_H_
#define QG_DRIVER_CORE_VALUE_BRIDGE_H_

#include <cstddef>
#include <cstdint>

#include "support/any.h"
#include "support/xystring.h"

// Converts the value in place to type `type` through the host. 0 when it
// already has that type; else the host's status: on 100 or above the value
// is unchanged. The null flag and flag 0x400 survive the conversion.
int nNAConvertType(CAny& value, int type);

// Order (-1, 0, 1), equality (1, 0) and difference (1, 0) through the
// host's "nComparaisonEx" and "nEgaliteEx": 103 when either value is null
// (the result is then left alone), else the host's status.
int nNACompare(const CAny& a, const CAny& b, int32_t* result);
int nNAEqual(const CAny& a, const CAny& b, int32_t* result);
int nNADifferent(const CAny& a, const CAny& b, int32_t* result);

// Converts a UTF-16 text (taken as PSTRW) into `destination`, a value area
// of type `type`; the host's status.
int nNAConvertText(const char16_t* text, void* destination, int type);

// Result of a key image whose value cannot be brought to the wanted type.
constexpr ptrdiff_t kNAKeyNotConverted = -1;

// The sortable key image of a value. A copy is worked on; the caller's
// value is never changed. A null value, or one of type 0, is encoded as the
// empty PSTRW text. `type` 0 means the value's own type; `scale` is the
// number of decimals a DECIMAL image keeps (outside 0..38: 38, exact for
// every decimal), `digits` its precision. When `size` is 0 the image is
// allocated with malloc and its address stored in *destination, which the
// caller frees (null when nothing was written); otherwise *destination
// holds at least `size` bytes.
// Answers the bytes written, or kNAKeyNotConverted when the copy cannot be
// converted to the wanted type (nothing is written or allocated then).
ptrdiff_t nAnyToKeyImage(const CAny& value, uint8_t** destination, size_t size, int type,
                         int digits, int scale);
// The same into a fixed buffer of `size` bytes (0 writes nothing).
ptrdiff_t nAnyToKeyBuffer(const CAny& value, uint8_t* destination, size_t size, int type,
                          int digits, int scale);

// The text of a value for traces: the prefix, then "<NULL>" for a missing
// or null value, "<Empty>" for type 0, else the value converted to text
// ("<ERROR>" when it cannot be). With `detail`, "Type=%d, Len=%d, Value="
// comes before the value and ", Value(binary)=" and its bytes in hex after
// it (the first 500 bytes only, announced, when there are more). Replaces
// `out`; 0 or the host allocator's code.
int nNAValueText(CXYString<char16_t>& out, const char16_t* prefix, const CAny* value,
                 bool detail);

#endif  // QG_DRIVER_CORE_VALUE_BRIDGE_H_
