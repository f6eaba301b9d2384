// In-place cast of a CAny through the conversion engine, and the
// installation of the engine as the conversion provider of every CAny of
// the deliverable (qg300net does it at start-up; the other modules keep the
// host's conversion).
#ifndef QG_DOTNET_CONVERT_CONVERSION_CAST_H_
#define QG_DOTNET_CONVERT_CONVERSION_CAST_H_

#include <cstdint>

#include "support/any.h"

namespace qg {

// Converts the value in place to nType: 0 (or a status below 100) on
// success; on a status of 100 or more the value keeps its type, value and
// flags. pnPageDeCode names the 8-bit code page of text conversions (null:
// the host locale's); nOptions is the engine's option word. The null flag
// and the 0x400 flag of the old value survive the change of type. Casting
// to the current type code returns 0 and touches nothing.
int nCastTo(CAny& clValeur, int nType, const int32_t* pnPageDeCode, int nOptions);
// The short form: no code page, options CONVERSION_DEPLACE_SOURCE.
int nCastTo(CAny& clValeur, int nType);

// Makes CAny::nCastTo / nConvertType convert through the engine.
void InstalleConversionMoteur();

}  // namespace qg

#endif  // QG_DOTNET_CONVERT_CONVERSION_CAST_H_
