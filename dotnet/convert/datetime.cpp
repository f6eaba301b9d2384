#include "dotnet/convert/datetime.h"

#include <time.h>

#include <climits>
#include <cstring>
#include <type_traits>

const uint8_t CDateTimeBase::ms_pbyNbJoursMois[12] = {31, 28, 31, 30, 31, 30,
                                                       31, 31, 30, 31, 30, 31};
const uint8_t CDateTimeBase::ms_pbyNbJoursMoisBissextile[12] = {31, 29, 31, 30, 31, 30,
                                                                 31, 31, 30, 31, 30, 31};

namespace {

constexpr int32_t kDecalage = 657071;     // day number of 1 January 0001 is 1 - kDecalage
constexpr int32_t kJourLimite = 2994989;  // first day number refused (1 January 10000)
constexpr int kJoursAvantMois[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// Day number without any range check; the month must be 1..12.
int32_t nJourBrut(int nJour, int nMois, int nAnnee) {
  const int32_t y = nAnnee - 1;
  int32_t n = kJoursAvantMois[nMois - 1];
  if (nMois >= 3 && bEstBissextile(nAnnee)) ++n;
  int32_t nCorrection = 0;
  if (nAnnee < 1583 && nMois < 12 && nJour < 5) {
    const int32_t c = (nAnnee - 1500) / 100;
    nCorrection = 10 - (c - c / 4);
  }
  return n + 365 * y + y / 4 - y / 100 + y / 400 + nJour + nCorrection - kDecalage;
}

template <typename Car>
int Longueur(const Car* psz) {
  int n = 0;
  while (psz[n] != 0) ++n;
  return n;
}

template <typename Car>
bool EstChiffre(Car c) {
  return c >= '0' && c <= '9';
}

// Integer read of psz[0..n): blanks, an optional sign, then digits up to the
// first non-digit. Wraps instead of overflowing.
template <typename Car>
int64_t nLitTranche(const Car* psz, int n) {
  int i = 0;
  while (i < n && (psz[i] == ' ' || psz[i] == '\t')) ++i;
  bool bNegatif = false;
  if (i < n && (psz[i] == '+' || psz[i] == '-')) bNegatif = psz[i++] == '-';
  uint64_t v = 0;
  for (; i < n && EstChiffre(psz[i]); ++i) v = v * 10 + static_cast<uint64_t>(psz[i] - '0');
  if (bNegatif) v = 0 - v;
  return static_cast<int64_t>(v);
}

// nLitTranche without wrapping: the magnitude stops growing at 10^20,
// beyond any 64-bit total.
template <typename Car>
__int128 nLitTrancheSature(const Car* psz, int n) {
  constexpr __int128 kPlafond = static_cast<__int128>(10000000000) * 10000000000;
  int i = 0;
  while (i < n && (psz[i] == ' ' || psz[i] == '\t')) ++i;
  bool bNegatif = false;
  if (i < n && (psz[i] == '+' || psz[i] == '-')) bNegatif = psz[i++] == '-';
  __int128 v = 0;
  for (; i < n && EstChiffre(psz[i]); ++i) {
    if (v < kPlafond) v = v * 10 + (psz[i] - '0');
  }
  return bNegatif ? -v : v;
}

template <typename Car>
int nLitNombreT(const Car* psz, int nTexte, int nPosition, int nLongueur, bool bComplete) {
  if (psz == nullptr || nTexte <= 0 || nPosition < 0 || nLongueur <= 0 ||
      nLongueur > INT_MAX - nPosition) {
    return 0;
  }
  int nManque = 0;
  if (nTexte < nPosition + nLongueur) {
    if (!bComplete || nPosition >= nTexte) return 0;
    nManque = nPosition + nLongueur - nTexte;
    nLongueur = nTexte - nPosition;
  }
  // Scaled in unsigned arithmetic: wraps like the read itself.
  uint64_t v = static_cast<uint64_t>(nLitTranche(psz + nPosition, nLongueur));
  for (int i = 0; i < nManque && v != 0; ++i) v *= 10u;
  return static_cast<int>(static_cast<uint32_t>(v));
}

// Writes v in exactly nLargeur digits, clamped to what they can show.
template <typename Car>
void EcritChiffres(Car* psz, int64_t v, int nLargeur) {
  int64_t nMax = 1;
  for (int i = 0; i < nLargeur; ++i) nMax *= 10;
  if (v < 0) v = 0;
  if (v >= nMax) v = nMax - 1;
  for (int i = nLargeur - 1; i >= 0; --i) {
    psz[i] = static_cast<Car>('0' + v % 10);
    v /= 10;
  }
}

struct Composant {
  int64_t v;
  int nLargeur;
};

// Writes whole components while they fit in nNbCar characters.
template <typename Car>
int EcritComposants(Car* psz, int nNbCar, const Composant* pComposants, int nNb) {
  if (psz == nullptr) return 0;
  int nPos = 0;
  for (int i = 0; i < nNb; ++i) {
    if (nPos + pComposants[i].nLargeur > nNbCar) break;
    EcritChiffres(psz + nPos, pComposants[i].v, pComposants[i].nLargeur);
    nPos += pComposants[i].nLargeur;
  }
  if (nNbCar >= 0) psz[nPos] = 0;
  return nPos;
}

bool EstTerminateurFraction(int nLongueur, const char* psz, int i) {
  return i >= nLongueur || psz[i] == 'Z' || psz[i] == '+' || psz[i] == '-';
}

template <typename Car>
int nLitDureeT(CDuree* pDuree, const Car* psz, int nLongueur) {
  if (psz == nullptr) return 112;
  if (nLongueur < 0) nLongueur = Longueur(psz);
  bool bNegatif = false;
  if (nLongueur > 0) {
    const uint32_t c = static_cast<uint32_t>(static_cast<std::make_unsigned_t<Car>>(psz[0]));
    if (c == '+' || c == '-' || c == 0xFF0B || c == 0xFF0D) {
      bNegatif = c == '-' || c == 0xFF0D;
      ++psz;
      --nLongueur;
    }
  }
  if (nLongueur < 10) return 112;
  const int nJours = nLongueur - 9;
  // In 128 bits, with the day count saturating: a total past 64 bits is
  // clamped with status 1 instead of wrapping (and flipping the sign).
  __int128 nTotal = nLitTranche(psz + nLongueur - 3, 3);
  nTotal += static_cast<__int128>(nLitTranche(psz + nLongueur - 5, 2)) * 1000;
  nTotal += static_cast<__int128>(nLitTranche(psz + nLongueur - 7, 2)) * 60000;
  nTotal += static_cast<__int128>(nLitTranche(psz + nLongueur - 9, 2)) * 3600000;
  nTotal += nLitTrancheSature(psz, nJours) * 86400000;
  if (bNegatif) nTotal = -nTotal;
  int nStatut = 0;
  if (nTotal > INT64_MAX) {
    nTotal = INT64_MAX;
    nStatut = 1;
  } else if (nTotal < INT64_MIN) {
    nTotal = INT64_MIN;
    nStatut = 1;
  }
  pDuree->m_nTotal = static_cast<int64_t>(nTotal);
  return nStatut;
}

}  // namespace

bool bDateVersJour(int nJourDuMois, int nMois, int nAnnee, int32_t* pnJour, bool bVerifie) {
  if (bVerifie && (nJourDuMois < 1 || nJourDuMois > 31 || nAnnee < 1 || nAnnee > 9999)) return false;
  if (nMois < 1 || nMois > 12 || nAnnee < 1 || nAnnee > 9999) return false;
  if (nJourDuMois < 1 || nJourDuMois > nNbJoursMois(nMois, nAnnee)) return false;
  *pnJour = nJourBrut(nJourDuMois, nMois, nAnnee);
  return true;
}

bool bJourVersDate(int32_t nJour, int* pnJourDuMois, int* pnMois, int* pnAnnee) {
  if (nJour >= kJourLimite || nJour < 1 - kDecalage) return false;
  int nAnnee = static_cast<uint16_t>((nJour + kDecalage) / 365);
  while (nAnnee > 0 && nJourBrut(1, 1, nAnnee) > nJour) --nAnnee;
  // Before about 1506 the first guess can fall a year short.
  while (nAnnee < 9999 && nJourBrut(1, 1, nAnnee + 1) <= nJour) ++nAnnee;
  if (nAnnee < 1) return false;
  int nReste = nJour - nJourBrut(1, 1, nAnnee);
  int nMois = 1;
  for (; nMois < 12; ++nMois) {
    const int nLongueur = nNbJoursMois(nMois, nAnnee);
    if (nReste < nLongueur) break;
    nReste -= nLongueur;
  }
  // Only the shifted days before 1583 can leave a remainder past December.
  if (nReste >= nNbJoursMois(nMois, nAnnee)) return false;
  *pnJourDuMois = nReste + 1;
  *pnMois = nMois;
  *pnAnnee = nAnnee;
  return true;
}

int nLitNombre(const char* psz, int nPosition, int nLongueur, bool bComplete) {
  return nLitNombreT(psz, psz == nullptr ? 0 : Longueur(psz), nPosition, nLongueur, bComplete);
}

int nLitNombre(const char16_t* psz, int nPosition, int nLongueur, bool bComplete) {
  return nLitNombreT(psz, psz == nullptr ? 0 : Longueur(psz), nPosition, nLongueur, bComplete);
}

void CDateTimeBase::InitDate() {
  m_byJour = 0;
  m_byMois = 0;
  m_wAnnee = 0;
  m_nTemps = 0;
}

void CDateTimeBase::AjusteJour() {
  if (m_byJour == 0 || m_byMois == 0 || m_wAnnee == 0) return;
  const int nMax = nNbJoursMois(m_byMois, m_wAnnee);
  if (nMax != 0 && m_byJour > nMax) m_byJour = static_cast<uint8_t>(nMax);
}

int CDateTimeBase::bModifieAnnee(int n) {
  if (n < 1 || n > 9999) return 0;
  m_wAnnee = static_cast<uint16_t>(n);
  AjusteJour();
  return 1;
}

int CDateTimeBase::bModifieMois(int n) {
  if (n < 1 || n > 12) return 0;
  m_byMois = static_cast<uint8_t>(n);
  AjusteJour();
  return 1;
}

int CDateTimeBase::bModifieJour(int n) {
  if (n < 1 || n > 31) return 0;
  m_byJour = static_cast<uint8_t>(n);
  AjusteJour();
  return 1;
}

int CDateTimeBase::bModifieHeure(int n) {
  if (n < 0 || n > 23) return 0;
  m_nTemps = static_cast<uint32_t>(n) * 3600000u + m_nTemps % 3600000u;
  return 1;
}

int CDateTimeBase::bModifieMinute(int n) {
  if (n < 0 || n > 59) return 0;
  m_nTemps = m_nTemps - (m_nTemps % 3600000u) + static_cast<uint32_t>(n) * 60000u + m_nTemps % 60000u;
  return 1;
}

int CDateTimeBase::bModifieSeconde(int n) {
  if (n < 0 || n > 59) return 0;
  m_nTemps = m_nTemps - (m_nTemps % 60000u) + static_cast<uint32_t>(n) * 1000u + m_nTemps % 1000u;
  return 1;
}

int CDateTimeBase::bModifieMilli(int n) {
  if (n < 0 || n > 999) return 0;
  m_nTemps = m_nTemps - (m_nTemps % 1000u) + static_cast<uint32_t>(n);
  return 1;
}

void CDateTimeBase::InitMaintenant() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm t {};
  time_t nSecondes = ts.tv_sec;
  localtime_r(&nSecondes, &t);
  bModifieAnnee(t.tm_year + 1900);
  bModifieMois(t.tm_mon + 1);
  bModifieJour(t.tm_mday);
  bModifieHeure(t.tm_hour);
  bModifieMinute(t.tm_min);
  bModifieSeconde(t.tm_sec > 59 ? 59 : t.tm_sec);
  bModifieMilli(static_cast<int>(ts.tv_nsec / 1000000));
}

int CDateTimeBase::EcritDate(char* psz, int nNbCar) const {
  const Composant c[] = {{m_wAnnee, 4}, {m_byMois, 2}, {m_byJour, 2}};
  return EcritComposants(psz, nNbCar, c, 3);
}

int CDateTimeBase::EcritDate(char16_t* psz, int nNbCar) const {
  const Composant c[] = {{m_wAnnee, 4}, {m_byMois, 2}, {m_byJour, 2}};
  return EcritComposants(psz, nNbCar, c, 3);
}

int CDateTimeBase::EcritHeure(char* psz, int nNbCar) const {
  const Composant c[] = {{nGetHeure(), 2}, {nGetMinute(), 2}, {nGetSeconde(), 2}, {nGetMilli(), 3}};
  return EcritComposants(psz, nNbCar, c, 4);
}

int CDateTimeBase::EcritHeure(char16_t* psz, int nNbCar) const {
  const Composant c[] = {{nGetHeure(), 2}, {nGetMinute(), 2}, {nGetSeconde(), 2}, {nGetMilli(), 3}};
  return EcritComposants(psz, nNbCar, c, 4);
}

int CDateTimeBase::EcritDateHeure(char* psz, int nNbCar) const {
  const Composant c[] = {{m_wAnnee, 4},      {m_byMois, 2},       {m_byJour, 2},
                         {nGetHeure(), 2},   {nGetMinute(), 2},   {nGetSeconde(), 2},
                         {nGetMilli(), 3}};
  return EcritComposants(psz, nNbCar, c, 7);
}

int CDateTimeBase::EcritDateHeure(char16_t* psz, int nNbCar) const {
  const Composant c[] = {{m_wAnnee, 4},      {m_byMois, 2},       {m_byJour, 2},
                         {nGetHeure(), 2},   {nGetMinute(), 2},   {nGetSeconde(), 2},
                         {nGetMilli(), 3}};
  return EcritComposants(psz, nNbCar, c, 7);
}

void CDateTimeBase::DateHeureDepuisTexte(const char* psz, int nLongueur) {
  m_nTemps = 0;
  if (psz == nullptr) return;
  const int n = nLongueur < 0 ? Longueur(psz) : nLongueur;
  auto nombre = [&](int nPos, int nLong, bool bComplete) {
    return nLitNombreT(psz, n, nPos, nLong, bComplete);
  };
  if (n > 9 && psz[4] == '-' && psz[7] == '-') {
    const bool bHeure = n > 18 && (psz[10] == 'T' || psz[10] == ' ') && psz[13] == ':' && psz[16] == ':';
    if (n == 10 || bHeure) {
      m_wAnnee = static_cast<uint16_t>(nombre(0, 4, false));
      m_byMois = static_cast<uint8_t>(nombre(5, 2, false));
      m_byJour = static_cast<uint8_t>(nombre(8, 2, false));
      if (!bHeure) return;
      uint32_t nFraction = 0;
      if (n > 19 && psz[19] == '.') {
        if (EstTerminateurFraction(n, psz, 21)) {
          nFraction = static_cast<uint32_t>(nombre(20, 1, false)) * 100u;
        } else if (EstTerminateurFraction(n, psz, 22)) {
          nFraction = static_cast<uint32_t>(nombre(20, 2, false)) * 10u;
        } else if (EstTerminateurFraction(n, psz, 23)) {
          nFraction = static_cast<uint32_t>(nombre(20, 3, false));
        }
      }
      m_nTemps = static_cast<uint32_t>(nombre(11, 2, false)) * 3600000u +
                 static_cast<uint32_t>(nombre(14, 2, false)) * 60000u +
                 static_cast<uint32_t>(nombre(17, 2, false)) * 1000u + nFraction;
      return;
    }
  }
  m_wAnnee = static_cast<uint16_t>(nombre(0, 4, false));
  m_byMois = static_cast<uint8_t>(nombre(4, 2, false));
  m_byJour = static_cast<uint8_t>(nombre(6, 2, false));
  if (n <= 8) return;
  const char* pszReste = psz + 8;
  const int nReste = n - 8;
  auto reste = [&](int nPos, int nLong, bool bComplete) {
    return nLitNombreT(pszReste, nReste, nPos, nLong, bComplete);
  };
  int nMilli = reste(6, 3, true);
  if (nMilli == 0) nMilli = reste(6, 2, true) * 10;
  if (nMilli == 0) nMilli = reste(6, 1, true) * 100;
  m_nTemps = static_cast<uint32_t>(reste(0, 2, false)) * 3600000u +
             static_cast<uint32_t>(reste(2, 2, false)) * 60000u +
             static_cast<uint32_t>(reste(4, 2, false)) * 1000u + static_cast<uint32_t>(nMilli);
}

void CDateTimeBase::LitDateHeure(const char* psz, int nLongueur) {
  if (psz != nullptr && nLongueur < 0) nLongueur = Longueur(psz);
  DateHeureDepuisTexte(psz, nLongueur > 17 ? 17 : nLongueur);
}

void CDateTimeBase::LitDateHeure(const CXYString<char>& s) { LitDateHeure(s.pszGet(), s.nTaille()); }

int CDateTimeBase::EcritDateHeure(CXYString<char>& s) const {
  char sz[18];
  const int n = EcritDateHeure(sz, 17);
  return s.nAffecteLongueur(sz, n);
}

int64_t CDuree::nGetCentiemes() const {
  const uint64_t nAbs = m_nTotal < 0 ? 0 - static_cast<uint64_t>(m_nTotal) : static_cast<uint64_t>(m_nTotal);
  const int64_t n = static_cast<int64_t>(((nAbs % 1000u + 5u) / 10u) % 100u);
  return m_nTotal < 0 ? -n : n;
}

void CDuree::AjouteJours(int64_t n) { m_nTotal += n * 86400000; }
void CDuree::AjouteHeures(int64_t n) { m_nTotal += n * 3600000; }
void CDuree::AjouteMinutes(int64_t n) { m_nTotal += n * 60000; }
void CDuree::AjouteSecondes(int64_t n) { m_nTotal += n * 1000; }

int CDuree::EcritDuree(char* psz, const char* pszFormat) const {
  const bool bCentiemes = pszFormat != nullptr && std::strcmp(pszFormat, kFormatCentiemes) == 0;
  uint64_t nAbs = m_nTotal < 0 ? 0 - static_cast<uint64_t>(m_nTotal) : static_cast<uint64_t>(m_nTotal);
  // Hundredths are rounded on the whole value so that 99.5 carries into the
  // seconds instead of showing 100.
  if (bCentiemes) nAbs = (nAbs + 5u) / 10u * 10u;
  char szJours[24];
  int nJours = 0;
  uint64_t j = nAbs / 86400000u;
  do {
    szJours[nJours++] = static_cast<char>('0' + j % 10u);
    j /= 10u;
  } while (j != 0);
  int nPos = 0;
  if (m_nTotal < 0) psz[nPos++] = '-';
  while (nJours > 0) psz[nPos++] = szJours[--nJours];
  EcritChiffres(psz + nPos, static_cast<int64_t>((nAbs % 86400000u) / 3600000u), 2);
  EcritChiffres(psz + nPos + 2, static_cast<int64_t>((nAbs % 3600000u) / 60000u), 2);
  EcritChiffres(psz + nPos + 4, static_cast<int64_t>((nAbs % 60000u) / 1000u), 2);
  nPos += 6;
  if (bCentiemes) {
    EcritChiffres(psz + nPos, static_cast<int64_t>((nAbs % 1000u) / 10u), 2);
    nPos += 2;
  } else {
    EcritChiffres(psz + nPos, static_cast<int64_t>(nAbs % 1000u), 3);
    nPos += 3;
  }
  psz[nPos] = 0;
  return nPos;
}

int CDuree::nLitDuree(const char* psz, int nLongueur) {
  if (psz != nullptr) {
    if (nLongueur < 0) nLongueur = Longueur(psz);
    if (nLongueur > kTailleTexte) nLongueur = kTailleTexte;
  }
  return nLitDureeT(this, psz, nLongueur);
}

int CDuree::nLitDuree(const char16_t* psz, int nLongueur) { return nLitDureeT(this, psz, nLongueur); }

int CDuree::EcritDuree(CXYString<char>& s, const char* pszFormat) const {
  char sz[kTailleTexte + 1];
  const int n = EcritDuree(sz, pszFormat);
  return s.nAffecteLongueur(sz, n);
}

int CDuree::nLitDuree(const CXYString<char>& s) { return nLitDuree(s.pszGet(), s.nTaille()); }
