#include "dotnet/convert/uuid_text.h"

#include <cstring>
#include <type_traits>

namespace {

template <typename Car>
int Longueur(const Car* psz, int nLongueur) {
  if (nLongueur >= 0) return nLongueur;
  int n = 0;
  while (psz[n] != 0) ++n;
  return n;
}

char16_t ChiffreHexa(unsigned v) { return static_cast<char16_t>(v < 10 ? '0' + v : 'a' + v - 10); }

// Value of a hexadecimal digit, -1 otherwise; bLarge accepts the full-width
// forms.
int ValeurHexa(uint32_t c, bool bLarge) {
  if (bLarge && c >= 0xFF10 && c <= 0xFF46) c -= 0xFF10 - u'0';
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

template <typename Car>
uint32_t Unite(Car c) {
  return static_cast<uint32_t>(static_cast<std::make_unsigned_t<Car>>(c));
}

bool EstTiret(uint32_t c, bool bLarge) { return c == '-' || (bLarge && c == 0xFF0D); }

template <typename Car>
bool LitPaires(const Car* psz, int nPaires, uint8_t* pby, bool bLarge, bool bTirets) {
  int i = 0;
  for (int nPaire = 0; nPaire < nPaires; ++nPaire) {
    if (bTirets && (nPaire == 4 || nPaire == 6 || nPaire == 8 || nPaire == 10)) {
      if (!EstTiret(Unite(psz[i]), bLarge)) return false;
      ++i;
    }
    const int h = ValeurHexa(Unite(psz[i]), bLarge);
    const int l = ValeurHexa(Unite(psz[i + 1]), bLarge);
    if (h < 0 || l < 0) return false;
    pby[nPaire] = static_cast<uint8_t>(h * 16 + l);
    i += 2;
  }
  return true;
}

template <typename Car>
bool ParseGUID(const Car* psz, int nLongueur, uint8_t* pbyUUID, bool bLarge) {
  if (psz == nullptr) return false;
  const int n = Longueur(psz, nLongueur);
  uint8_t tmp[16];
  bool bOk = false;
  if (n == 32) {
    bOk = LitPaires(psz, 16, tmp, bLarge, false);
  } else if (n == 36) {
    bOk = LitPaires(psz, 16, tmp, bLarge, true);
  } else if (n == 38) {
    bOk = Unite(psz[0]) == '{' && Unite(psz[37]) == '}' && LitPaires(psz + 1, 16, tmp, bLarge, true);
  }
  if (bOk) std::memcpy(pbyUUID, tmp, sizeof tmp);
  return bOk;
}

template <typename Car>
bool ParseUUID256(const Car* psz, int nLongueur, uint8_t* pbyUUID, bool bLarge) {
  if (psz == nullptr || Longueur(psz, nLongueur) != 64) return false;
  uint8_t tmp[32];
  if (!LitPaires(psz, 32, tmp, bLarge, false)) return false;
  std::memcpy(pbyUUID, tmp, sizeof tmp);
  return true;
}

template <typename Car>
void Ecrit(const uint8_t* pby, int nOctets, bool bTirets, Car* psz) {
  int o = 0;
  for (int i = 0; i < nOctets; ++i) {
    if (bTirets && (i == 4 || i == 6 || i == 8 || i == 10)) psz[o++] = '-';
    psz[o++] = static_cast<Car>(ChiffreHexa(pby[i] >> 4));
    psz[o++] = static_cast<Car>(ChiffreHexa(pby[i] & 15u));
  }
  psz[o] = 0;
}

}  // namespace

void EcritUUID128(const uint8_t pbyUUID[16], char* psz) { Ecrit(pbyUUID, 16, true, psz); }
void EcritUUID128(const uint8_t pbyUUID[16], char16_t* psz) { Ecrit(pbyUUID, 16, true, psz); }
void EcritUUID256(const uint8_t pbyUUID[32], char* psz) { Ecrit(pbyUUID, 32, false, psz); }
void EcritUUID256(const uint8_t pbyUUID[32], char16_t* psz) { Ecrit(pbyUUID, 32, false, psz); }

bool bParseGUIDA(const char* psz, int nLongueur, uint8_t pbyUUID[16]) {
  return ParseGUID(psz, nLongueur, pbyUUID, false);
}
bool bParseGUIDW(const char16_t* psz, int nLongueur, uint8_t pbyUUID[16]) {
  return ParseGUID(psz, nLongueur, pbyUUID, true);
}
bool bParseUUID256A(const char* psz, int nLongueur, uint8_t pbyUUID[32]) {
  return ParseUUID256(psz, nLongueur, pbyUUID, false);
}
bool bParseUUID256W(const char16_t* psz, int nLongueur, uint8_t pbyUUID[32]) {
  return ParseUUID256(psz, nLongueur, pbyUUID, true);
}

int nLitUUID128(const char* psz, uint8_t pbyUUID[16], int nLongueur) {
  return bParseGUIDA(psz, nLongueur, pbyUUID) ? 0 : kStatutUUID128Illisible;
}
int nLitUUID128(const char16_t* psz, uint8_t pbyUUID[16], int nLongueur) {
  return bParseGUIDW(psz, nLongueur, pbyUUID) ? 0 : kStatutUUID128Illisible;
}
int nLitUUID256(const char* psz, uint8_t pbyUUID[32], int nLongueur) {
  return bParseUUID256A(psz, nLongueur, pbyUUID) ? 0 : kStatutUUID256Illisible;
}
int nLitUUID256(const char16_t* psz, uint8_t pbyUUID[32], int nLongueur) {
  return bParseUUID256W(psz, nLongueur, pbyUUID) ? 0 : kStatutUUID256Illisible;
}

int EcritUUID128(const uint8_t pbyUUID[16], CXYString<char>& s) {
  char sz[kUUID128Texte + 1];
  EcritUUID128(pbyUUID, sz);
  return s.nAffecteLongueur(sz, kUUID128Texte);
}
int EcritUUID128(const uint8_t pbyUUID[16], CXYString<char16_t>& s) {
  char16_t sz[kUUID128Texte + 1];
  EcritUUID128(pbyUUID, sz);
  return s.nAffecteLongueur(sz, kUUID128Texte);
}
int EcritUUID256(const uint8_t pbyUUID[32], CXYString<char>& s) {
  char sz[kUUID256Texte + 1];
  EcritUUID256(pbyUUID, sz);
  return s.nAffecteLongueur(sz, kUUID256Texte);
}
int EcritUUID256(const uint8_t pbyUUID[32], CXYString<char16_t>& s) {
  char16_t sz[kUUID256Texte + 1];
  EcritUUID256(pbyUUID, sz);
  return s.nAffecteLongueur(sz, kUUID256Texte);
}
// A null dynamic string reads as the empty text, which no scanner accepts.
int nLitUUID128(const CXYString<char>& s, uint8_t pbyUUID[16]) {
  return nLitUUID128(s.pszGet(), pbyUUID, s.nTaille());
}
int nLitUUID128(const CXYString<char16_t>& s, uint8_t pbyUUID[16]) {
  return nLitUUID128(s.pszGet(), pbyUUID, s.nTaille());
}
int nLitUUID256(const CXYString<char>& s, uint8_t pbyUUID[32]) {
  return nLitUUID256(s.pszGet(), pbyUUID, s.nTaille());
}
int nLitUUID256(const CXYString<char16_t>& s, uint8_t pbyUUID[32]) {
  return nLitUUID256(s.pszGet(), pbyUUID, s.nTaille());
}
