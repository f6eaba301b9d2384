// Narrowing checks of 64-bit integers: the destination receives the low
// bits of the value (two's-complement truncation) in every case, and the
// result says whether the value lies in the destination's range.
#ifndef QG_SUPPORT_NARROWING_H_
#define QG_SUPPORT_NARROWING_H_

#include <cstdint>
#include <limits>

namespace qg {

template <typename To, typename From>
bool bCastEntier(From value, To* out) {
  *out = static_cast<To>(value);  // modular: keeps the low bits
  if constexpr (std::numeric_limits<From>::is_signed == std::numeric_limits<To>::is_signed) {
    return value >= std::numeric_limits<To>::min() && value <= std::numeric_limits<To>::max();
  } else if constexpr (std::numeric_limits<From>::is_signed) {
    return value >= 0 && static_cast<uint64_t>(value) <= std::numeric_limits<To>::max();
  } else {
    return value <= static_cast<uint64_t>(std::numeric_limits<To>::max());
  }
}

}  // namespace qg

inline bool bCastI8ToI1(int64_t v, int8_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastI8ToI2(int64_t v, int16_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastI8ToI4(int64_t v, int32_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastI8ToUI1(int64_t v, uint8_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastI8ToUI2(int64_t v, uint16_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastI8ToUI4(int64_t v, uint32_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastUI8ToI1(uint64_t v, int8_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastUI8ToI2(uint64_t v, int16_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastUI8ToI4(uint64_t v, int32_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastUI8ToUI1(uint64_t v, uint8_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastUI8ToUI2(uint64_t v, uint16_t* out) { return qg::bCastEntier(v, out); }
inline bool bCastUI8ToUI4(uint64_t v, uint32_t* out) { return qg::bCastEntier(v, out); }

#endif  // QG_SUPPORT_NARROWING_H_
