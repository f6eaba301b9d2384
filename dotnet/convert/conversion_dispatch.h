// The conversion engine's entry: converts the raw value of one Velisc type
// into the raw value of another. Raw values are the bytes that follow the
// type word inside a CAny holder:
//   BOOL, UI4, I4, HWND 32 bits; UIX pointer-sized (read as a signed 32-bit
//   value, written sign-extended); UI1, I1 8 bits; CARA one byte then a NUL
//   byte; UI2, I2 16 bits; CARW one unit then a NUL unit; UI8, I8, DUREE 64
//   bits; R4, R8 IEEE; CY the 10-byte currency value; DECIMAL an IDecimal*;
//   DSTRW, DSTRA, SQLQUERYW, SQLQUERYA, BIN, UUID_256 one CXYString;
//   PSTRA, PSTRW a heap text pointer (malloc; null reads as empty);
//   DATEA/DATEW 8 digits YYYYMMDD and a terminator, TIMEA/TIMEW at most 9
//   digits HHMMSSmmm and a terminator; DATETIME 8 bytes (CDateTimeBase);
//   MEMOIMG an IMemoImage*; POINT 8 bytes, RECTANGLE and UUID_128 16;
//   code 156 32 bits; BUFFER (source only) data pointer and size.
//
// The destination area is a fresh temporary owned by the caller: the engine
// never releases what it held before. On a status of 100 or more every
// pointer the destination owns has been released or is null; below 100 the
// caller takes the value and frees it with nLibereValeurTemporaire.
//
// No state is kept between calls; nothing is thrown or logged.
#ifndef QG_DOTNET_CONVERT_CONVERSION_DISPATCH_H_
#define QG_DOTNET_CONVERT_CONVERSION_DISPATCH_H_

#include <cstdint>

namespace qg {

// Type codes the engine knows.
constexpr int32_t kConvBOOL = 1;
constexpr int32_t kConvUI1 = 2;
constexpr int32_t kConvUI2 = 3;
constexpr int32_t kConvUI4 = 4;
constexpr int32_t kConvUI8 = 5;
constexpr int32_t kConvI1 = 6;
constexpr int32_t kConvI2 = 7;
constexpr int32_t kConvI4 = 8;
constexpr int32_t kConvI8 = 9;
constexpr int32_t kConvCY = 10;
constexpr int32_t kConvR4 = 11;
constexpr int32_t kConvR8 = 12;
constexpr int32_t kConvDECIMAL = 13;
constexpr int32_t kConvUIX = 14;
constexpr int32_t kConvHWND = 15;
constexpr int32_t kConvDSTRW = 16;
constexpr int32_t kConvCARA = 17;
constexpr int32_t kConvPSTRA = 18;
constexpr int32_t kConvDSTRA = 19;
constexpr int32_t kConvSQLQUERYW = 20;
constexpr int32_t kConvDATEW = 24;
constexpr int32_t kConvTIMEW = 25;
constexpr int32_t kConvDATETIME = 26;
constexpr int32_t kConvDUREE = 27;
constexpr int32_t kConvBIN = 28;
constexpr int32_t kConvBUFFER = 29;
constexpr int32_t kConvMEMOIMG = 30;
constexpr int32_t kConvNULL_FORT = 60;
constexpr int32_t kConvCARW = 81;
constexpr int32_t kConvPSTRW = 110;
constexpr int32_t kConvDATEA = 128;
constexpr int32_t kConvTIMEA = 129;
constexpr int32_t kConvSQLQUERYA = 134;
constexpr int32_t kConvDSTRW148 = 148;
constexpr int32_t kConvDSTRW149 = 149;
constexpr int32_t kConvPOINT = 150;
constexpr int32_t kConvRECTANGLE = 151;
constexpr int32_t kConvUUID_128 = 154;
constexpr int32_t kConvUUID_256 = 155;
constexpr int32_t kConvCode156 = 156;
constexpr int32_t kConvVALEUR_EN_ERREUR = 167;

// Option bits; no other bit is examined.
constexpr int32_t CONVERSION_DEPLACE_SOURCE = 0x01;    // a BIN source may be taken over
constexpr int32_t CONVERSION_GARDE_DATEHEURE = 0x04;   // a date or time into DATETIME keeps
                                                       // the destination's other half
constexpr int32_t CONVERSION_BINAIRE_TEXTE_CP = 0x40;  // BIN into UTF-16 holds code-page text

// Statuses: below 100 the value was converted.
constexpr int32_t kConvOk = 0;
constexpr int32_t kConvPerte = 1;             // out of range, or no number that fits
constexpr int32_t kConvOctetImpair = 5;       // odd BIN byte count read as UTF-16
constexpr int32_t kConvMemoire = 100;         // no memory for a heap text or an object
constexpr int32_t kConvNonSupporte = 104;     // pair not supported, or nothing to convert
constexpr int32_t kConvBinaireCourt = 105;    // BIN shorter than the numeric destination
constexpr int32_t kConvTropLong = 108;        // text too long for a host-shared string
constexpr int32_t kConvDateInvalide = 110;
constexpr int32_t kConvHeureNegative = 111;
constexpr int32_t kConvDureeCourte = 112;
constexpr int32_t kConvGUIDIllisible = 116;
constexpr int32_t kConvUUID256Illisible = 117;
constexpr int32_t kConvNullFort = 122;

// Bytes of the largest raw value the engine writes (TIMEW: 9 units and a
// terminator; RECTANGLE and UUID_128 take 16).
constexpr int kConvTailleMax = 24;

// Whether the engine has a rule for the pair (codes without flags).
bool bConversionSupportee(int32_t nTypeDestination, int32_t nTypeSource);

}  // namespace qg

// source and destination are raw values; only the low 16 bits of each type
// argument are examined. pnPageDeCode names the 8-bit code page for text
// conversions; null takes the host locale's current code page.
int32_t nConversionDepassement(const void* pSource, int32_t nTypeSource, void* pDestination,
                               int32_t nTypeDestination, int32_t nOptions,
                               const int32_t* pnPageDeCode);

// *pnPageDeCode, or the host locale's current code page when null (0, the
// ANSI code page, when the host gave no locale).
int32_t nGetCodePageConversion(const int32_t* pnPageDeCode);

// Releases what a converted raw value owns, by type, and nulls the pointer:
// DECIMAL through the host's value-object service; DSTRW, DSTRA, BIN, 148,
// 149, SQLQUERYW, SQLQUERYA and UUID_256 the host-shared string; PSTRA and
// PSTRW the heap text; MEMOIMG one reference. Other types own nothing.
void nLibereValeurTemporaire(void* pValeur, int32_t nType);

#endif  // QG_DOTNET_CONVERT_CONVERSION_DISPATCH_H_
