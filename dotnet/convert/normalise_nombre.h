// Decimal editing of a number text produced by the C runtime's formatting of
// a real: decimals, significant digits, exponent expansion, width and
// trailing zeros are applied to the digits as text, so that rounding is
// decimal and exact on what is shown.
#ifndef QG_DOTNET_CONVERT_NORMALISE_NOMBRE_H_
#define QG_DOTNET_CONVERT_NORMALISE_NOMBRE_H_

// Edits the UTF-16 text psz in place; nCapacite is the room of psz in units,
// terminator included. Returns false (text unchanged) for a text longer than
// 80 characters or a result that does not fit in nCapacite.
//
// nLargeur: field width, -1 for none; a longer result becomes "*E*".
// nDecimales: decimals shown (rounded half up), -1 to keep them without
// trailing zeros. nChiffres: significant digits kept (rounded), 0 for all.
// nCadrage: 1 pads on the right, 0 on the left, other values do not pad.
// bDeveloppeExposant: writes the number without exponent (kept when that
// would take more than 50 characters). bSupprimeZeros: finally drops the
// trailing zeros of the fraction and a separator left at the end.
bool NormaliseNombre(char16_t* psz, int nCapacite, int nLargeur, int nDecimales, int nChiffres,
                     int nCadrage, bool bDeveloppeExposant, bool bSupprimeZeros);

#endif  // QG_DOTNET_CONVERT_NORMALISE_NOMBRE_H_
