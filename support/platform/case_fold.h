// Simple case folding of UTF-16 units over the whole BMP (each unit to one
// unit, as Unicode's common and simple mappings give it): the way the
// Windows registry matches key and value names without regard to case.
// Surrogates and units without a folding stay as they are.
#ifndef QG_SUPPORT_PLATFORM_CASE_FOLD_H_
#define QG_SUPPORT_PLATFORM_CASE_FOLD_H_

#include <cstddef>

namespace qg {

char16_t FoldCase16(char16_t c);

// Ordinal comparison of the folded units: <0, 0, >0. Null reads as empty.
int StrICmpFold16(const char16_t* a, const char16_t* b);

}  // namespace qg

#endif  // QG_SUPPORT_PLATFORM_CASE_FOLD_H_
