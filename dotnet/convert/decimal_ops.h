// Operations on the number fields of the host's decimal object: a signed
// 128-bit two's-complement mantissa, a scale (digits after the point, 0..38)
// and a precision (significant digits, at most 38). Nothing throws and
// nothing fails outright: every operation completes and returns a status
// word whose bits combine by OR.
#ifndef QG_DOTNET_CONVERT_DECIMAL_OPS_H_
#define QG_DOTNET_CONVERT_DECIMAL_OPS_H_

#include <cstdint>

#include "support/frame/host_services.h"

constexpr int kDecimalPerte = 1;        // digits were dropped (rounded or truncated)
constexpr int kDecimalDepassement = 2;  // does not fit the target, or the mantissa overflowed
constexpr int kDecimalNegatif = 4;      // a negative value asked for as an unsigned integer

// Format flags of nFormate.
constexpr int kDecimalGauche = 0x1;      // left-justify
constexpr int kDecimalZeros = 0x2;       // pad with '0'
constexpr int kDecimalSigne = 0x8;       // '+' in front of a non-negative decimal value
constexpr int kDecimalGroupes = 0x10;    // blank between groups of three integral digits

// Precision 38, scale 0, the integer as mantissa, then nAjustePrecision.
int nAffecteUI4(qg::IDecimal* piDecimal, uint32_t n);
int nAffecteUI8(qg::IDecimal* piDecimal, uint64_t n);
int nAffecteI4(qg::IDecimal* piDecimal, int32_t n);
int nAffecteI8(qg::IDecimal* piDecimal, int64_t n);
// Through the real's shortest text of 7 (R4) or 15 (R8) significant digits.
// A value that is not finite gives 2 and leaves the object unchanged.
int nAffecteR4(qg::IDecimal* piDecimal, float r);
int nAffecteR8(qg::IDecimal* piDecimal, double r);
// Blanks, sign, blanks, digits with '.' or ',' as separator, then an optional
// exponent (D, E, d or e; blanks, sign, blanks, digits). An exponent above 76
// gives 2 at once.
int nAffecteTexte(qg::IDecimal* piDecimal, const char16_t* psz);

// The integral part (towards zero); 1 when a fraction was dropped, 2 when the
// magnitude does not fit. nLitUI4/nLitUI8 give 4 for a negative value and
// write nothing.
int nLitUI4(const qg::IDecimal* piDecimal, uint32_t* pn);
int nLitUI8(const qg::IDecimal* piDecimal, uint64_t* pn);
int nLitI4(const qg::IDecimal* piDecimal, int32_t* pn);
int nLitI8(const qg::IDecimal* piDecimal, int64_t* pn);
// Always 1.
int nLitR4(const qg::IDecimal* piDecimal, float* pr);
int nLitR8(const qg::IDecimal* piDecimal, double* pr);
// The value as the 10-byte currency integer of millionths (five 16-bit
// words, least significant first). Rounding down to 6 decimals goes towards
// minus infinity (1). 2 when it does not fit in 80 bits.
int nLitCY(const qg::IDecimal* piDecimal, uint16_t pwFixe6[5]);

// Multiplies the mantissa by 10^(nVers - nDe) or divides it (towards minus
// infinity) by 10^(nDe - nVers). The scale field is the caller's to set.
int nChangeEchelle(qg::IDecimal* piDecimal, int nDe, int nVers);
// Sets the precision; 2 when the mantissa needs more bytes than p digits.
int nModifiePrecision(qg::IDecimal* piDecimal, int nPrecision);
// Precision = digits that the mantissa's significant bytes hold, plus one.
int nAjustePrecision(qg::IDecimal* piDecimal);
// Adds n to the mantissa; 2 when the result passes the largest value.
int nAjoute(qg::IDecimal* piDecimal, uint32_t n);
// Rounds from nEchelle to fewer decimals and sets the scale. Mode 0 half away
// from zero, 1 towards minus infinity, 2 towards plus infinity.
int nArrondit(qg::IDecimal* piDecimal, int nEchelle, int nNouvelleEchelle, int nMode);
// Writes the value as text into psz (nLongueur units, terminator included).
// Conversion 'o'/'O' octal, 'x'/'X' hexadecimal, 'd'/'D' integral decimal,
// 'e'/'E' scientific, anything else decimal with its fraction. nPrecision -1
// drops trailing fraction zeros; a smaller one rounds (on a copy). 2 when
// the text does not fit (psz then holds the empty text).
int nFormate(const qg::IDecimal* piDecimal, char16_t* psz, int nFlags, char16_t cConversion,
             int nLargeur, int nPrecision, int nLongueur);

#endif  // QG_DOTNET_CONVERT_DECIMAL_OPS_H_
