// The host's conversion and calculation entry points (test equipment).
// Values are passed as (address of the raw value, type word); the type
// word's low byte is the type code and flag 0x100 marks null.
//
// Comparison (nComparaisonEx, result int32 -1/0/1), equality (nEgaliteEx,
// result int32 1/0) and bCanCompareEx (result int32 1/0) serve the basic
// types: BOOL, the integers, R4, R8, UIX, CARA, CARW and the 8-bit and
// UTF-16 texts (heap and dynamic). Texts compare by unit value, numbers by
// value; a null value is below every other and equal to a null. Other pairs
// and the other entry points answer 104.
//
// Conversion goes through the module conversion engine
// (dotnet/convert/conversion_dispatch.h) on the type words' low bytes; its
// temporaries are released by FinConversion.
#ifndef QG_HOST_CORE_CALC_ENTRIES_H_
#define QG_HOST_CORE_CALC_ENTRIES_H_

#include <cstdint>

namespace qghost {

constexpr int32_t kStatusUnsupported = 104;

// Entry `index` in the host's order (qg::CalcEntry); counts the call in
// Runtime().
int32_t CalcEntry(int index, const void* a, int32_t type_a, const void* b, int32_t type_b,
                  void* result);

int32_t ConversionDepassementExt(const void* source, int32_t source_type, void* destination,
                                 int32_t destination_type, int32_t option, intptr_t reserved);
void FinConversion(void* destination, int32_t type);

}  // namespace qghost

#endif  // QG_HOST_CORE_CALC_ENTRIES_H_
