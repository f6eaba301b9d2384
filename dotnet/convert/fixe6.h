// Exact arithmetic on the currency value: a two's-complement integer of
// millionths held in 16-bit words, least significant first (five words, 80
// bits, for a stored value; the sign is bit 15 of the last word). Working
// values of up to ten words are accepted. Every operation works on
// magnitudes and puts the sign back at the end; a failed operation returns
// null (or 0) and leaves its operands unchanged.
#ifndef QG_DOTNET_CONVERT_FIXE6_H_
#define QG_DOTNET_CONVERT_FIXE6_H_

#include <cstdint>

constexpr int kFixe6Mots = 5;
constexpr int kFixe6MotsTravail = 10;

extern const uint16_t kFixe6UnMillion[kFixe6Mots];       // 1,000,000
extern const uint16_t kFixe6MoinsUnMillion[kFixe6Mots];  // -1,000,000
extern const uint16_t kFixe6_65536[kFixe6Mots];          // 65,536

// Two's-complement negation of n words in place.
void Fixe6Negatif(uint16_t* pwMots, int n);
// pwValeur (n words, 1..10) times pwFacteur (five words), divided by
// 1,000,000 with rounding when bDivise; written back to the n words. Null
// when the result does not fit in n words with a clear sign bit.
uint16_t* pFixe6Multiplie(uint16_t* pwValeur, int n, const uint16_t* pwFacteur, bool bDivise);
// pwValeur (n words) times pwFacteur (five words, optional) divided by
// pwDiviseur (five words), rounded half away from zero; written back. Null
// for a zero divisor or a result that does not fit in n words with a clear
// sign bit.
uint16_t* pFixe6Divise(uint16_t* pwValeur, int n, const uint16_t* pwDiviseur,
                       const uint16_t* pwFacteur);
// Integer times 1,000,000 into five words; null on overflow.
uint16_t* pFixe6DepuisI4(uint16_t* pwSortie, int32_t n);
uint16_t* pFixe6DepuisI8(uint16_t* pwSortie, int64_t n);
uint16_t* pFixe6DepuisUI8(uint16_t* pwSortie, uint64_t n);
bool bFixe6EstNul(const uint16_t* pwValeur);
// Integer part towards zero, except that a fraction of .999993 or more
// gives the next integer. 0 when the result is outside [-2^31, 2^31 - 1].
bool bFixe6VersI4(const uint16_t* pwValeur, int32_t* pn);
// The same into 64 bits; always 1.
bool bFixe6VersI8(const uint16_t* pwValeur, int64_t* pn);
// Rounded half away from zero; 1 when the result fits in 64 bits.
bool bFixe6VersI8Arrondi(const uint16_t* pwValeur, int64_t* pn);

namespace qg {
// The word-by-word forms (schoolbook multiply, bit-serial division) that the
// operations above fall back on when a value passes 128 bits; exposed so that
// the fast paths can be checked against them.
uint16_t* Fixe6MultiplieMots(uint16_t* pwValeur, int n, const uint16_t* pwFacteur, bool bDivise);
uint16_t* Fixe6DiviseMots(uint16_t* pwValeur, int n, const uint16_t* pwDiviseur,
                          const uint16_t* pwFacteur);
}  // namespace qg

#endif  // QG_DOTNET_CONVERT_FIXE6_H_
