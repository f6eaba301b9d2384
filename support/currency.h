// Fixe6: the currency value (type code 10). Ten bytes read as five
// unsigned 16-bit words, least significant first: an 80-bit two's-complement
// integer equal to the amount times 1 000 000. The sign is bit 15 of the
// fifth word. Conversions never depend on the C locale.
#ifndef QG_SUPPORT_CURRENCY_H_
#define QG_SUPPORT_CURRENCY_H_

#include <cstddef>
#include <cstdint>

namespace qg {

struct Fixe6 {
  uint16_t aw[5];
};
static_assert(sizeof(Fixe6) == 10, "the currency value is stored in 10 bytes");

// Room for the longest text of pszFixe6VersChaine: sign, 18 digits, point,
// 6 decimals and the terminator.
constexpr size_t kFixe6TextSize = 32;
// Size of the sortable key.
constexpr size_t kFixe6KeySize = 10;

// Two's-complement negation in place of n little-endian 16-bit words;
// returns the final carry (1 only for 0).
int nNegationMots(uint16_t* words, int n);
// The same on the five words of a value.
int nFixe6Negation(Fixe6* value);
// value = value * 10 + digit; false when a carry is left or the sign bit
// becomes set (the value is then unspecified).
bool bFixe6MultiplieDixAjoute(Fixe6* value, unsigned digit);
bool bFixe6EstNegatif(const Fixe6& value);

// Parses an amount: blanks (U+0020), one sign ('+', '-', U+FF0B, U+FF0D),
// digits, optionally '.' and decimals (at most six taken, further ones
// dropped). Any other character ends the number. Null on overflow; `out`
// is then cleared. An empty text gives 0.
Fixe6* pFixe6DepuisChaine(Fixe6* out, const char16_t* text);
// The double rounded to six decimals; null on overflow, NaN or infinity.
Fixe6* pFixe6DepuisReel(Fixe6* out, double value);
double rFixe6VersReel(const Fixe6& value);
// The shortest text: no trailing decimal zeros, no point without decimals.
// `out` holds at least kFixe6TextSize units; returns out.
char16_t* pszFixe6VersChaine(char16_t* out, const Fixe6& value);
// Key whose unsigned byte-wise order is the numeric order of the amounts.
void Fixe6CleTriable(const Fixe6& value, uint8_t out[kFixe6KeySize]);

// value += delta (in millionths); 1 on overflow of the 80-bit value, which
// then wraps, else 0.
int nFixe6Ajoute(Fixe6* value, int64_t delta);

}  // namespace qg

#endif  // QG_SUPPORT_CURRENCY_H_
