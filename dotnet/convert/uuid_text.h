// Text forms of the 128-bit and 256-bit identifiers. Bytes are written in
// storage order (byte 0 first, high half of each byte first), lower case.
#ifndef QG_DOTNET_CONVERT_UUID_TEXT_H_
#define QG_DOTNET_CONVERT_UUID_TEXT_H_

#include <cstdint>

#include "support/xystring.h"

constexpr int kUUID128Texte = 36;  // characters, without the terminator
constexpr int kUUID256Texte = 64;
constexpr int kStatutUUID128Illisible = 116;
constexpr int kStatutUUID256Illisible = 117;

// 8-4-4-4-12 digits with '-' after the 4th, 6th, 8th and 10th byte; psz holds
// kUUID128Texte + 1 units.
void EcritUUID128(const uint8_t pbyUUID[16], char* psz);
void EcritUUID128(const uint8_t pbyUUID[16], char16_t* psz);
// 64 digits, no separator; psz holds kUUID256Texte + 1 units.
void EcritUUID256(const uint8_t pbyUUID[32], char* psz);
void EcritUUID256(const uint8_t pbyUUID[32], char16_t* psz);

// Scanners (nLongueur -1: up to the terminator). A 128-bit text has 32
// digits, or 36 with the four dashes, or 38 with braces around the 36. The
// UTF-16 forms also accept full-width digits, letters and dash. Digits in
// either case. The output is written only on success.
bool bParseGUIDA(const char* psz, int nLongueur, uint8_t pbyUUID[16]);
bool bParseGUIDW(const char16_t* psz, int nLongueur, uint8_t pbyUUID[16]);
// Exactly 64 digits.
bool bParseUUID256A(const char* psz, int nLongueur, uint8_t pbyUUID[32]);
bool bParseUUID256W(const char16_t* psz, int nLongueur, uint8_t pbyUUID[32]);

// 0, or 116 (128-bit) / 117 (256-bit) for a null or unreadable text.
int nLitUUID128(const char* psz, uint8_t pbyUUID[16], int nLongueur = -1);
int nLitUUID128(const char16_t* psz, uint8_t pbyUUID[16], int nLongueur = -1);
int nLitUUID256(const char* psz, uint8_t pbyUUID[32], int nLongueur = -1);
int nLitUUID256(const char16_t* psz, uint8_t pbyUUID[32], int nLongueur = -1);

// Dynamic-string forms; the writers return the string's status.
int EcritUUID128(const uint8_t pbyUUID[16], CXYString<char>& s);
int EcritUUID128(const uint8_t pbyUUID[16], CXYString<char16_t>& s);
int EcritUUID256(const uint8_t pbyUUID[32], CXYString<char>& s);
int EcritUUID256(const uint8_t pbyUUID[32], CXYString<char16_t>& s);
int nLitUUID128(const CXYString<char>& s, uint8_t pbyUUID[16]);
int nLitUUID128(const CXYString<char16_t>& s, uint8_t pbyUUID[16]);
int nLitUUID256(const CXYString<char>& s, uint8_t pbyUUID[32]);
int nLitUUID256(const CXYString<char16_t>& s, uint8_t pbyUUID[32]);

#endif  // QG_DOTNET_CONVERT_UUID_TEXT_H_
