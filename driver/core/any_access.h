// The driver's own readers and writers of CAny values, where they differ
// from the general ones of the value: an I4 reader that also takes BOOL and
// UI4, readers of the two UUID types, a null-safe UTF-16 text setter and a
// null-flag setter that answers the previous type word. The other typed
// setters and getters the driver uses are CAny's own.
#ifndef QG_DRIVER_CORE_ANY_ACCESS_H_
#define QG_DRIVER_CORE_ANY_ACCESS_H_

#include <cstdint>

#include "support/any.h"

// Copies a BOOL, UI4 or I4 value as a 32-bit integer. The whole type word
// must be exactly 1, 4 or 8, so a null value answers 105 like any other
// type.
int nNAGetI4(const CAny& value, int32_t* out);
// The 16 bytes of a UUID_128 value (154), or the 32 bytes of a UUID_256
// value (155): 103 for null, 105 for another type.
int nNAGetUUID_128(const CAny& value, uint8_t out[16]);
int nNAGetUUID_256(const CAny& value, uint8_t out[32]);

// Stores a terminated UTF-16 text as a DSTRW (16) value; null stores the
// empty text. Flags cleared; the holder's status (0, or a host code).
int nNASetDSTRW(CAny& value, const char16_t* text);

// Sets (true) or clears the null flag, keeping the value; answers the type
// word as it was, without the null flag.
uint16_t nNASetNull(CAny& value, bool null);

#endif  // QG_DRIVER_CORE_ANY_ACCESS_H_
