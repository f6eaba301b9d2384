// Calendar, packed date-time value and duration value, with their fixed-width
// text forms.
//
// Day numbers: 1 January 1800 is day 1; 31 December 9999 is day 2,994,988.
// For dates before 1583 the day number carries a historical correction term
// (dates whose day is 1 to 4, in January to November, are shifted by
// 10 - (c - c / 4) days with c = (year - 1500) / 100). Stored values depend
// on it, so it is kept as it is: before 1583 day numbers are neither
// monotonic nor fully invertible, and bJourVersDate answers only dates it
// can express.
#ifndef QG_DOTNET_CONVERT_DATETIME_H_
#define QG_DOTNET_CONVERT_DATETIME_H_

#include <cstdint>

#include "support/calendar.h"
#include "support/xystring.h"

// Day number of a date. 0 (and *pnJour untouched) for a month outside 1..12,
// a day outside the month, or a date before 1 January 0001 or after
// 31 December 9999; bVerifie also refuses a day outside 1..31 and a year
// outside 1..9999 before anything else.
bool bDateVersJour(int nJourDuMois, int nMois, int nAnnee, int32_t* pnJour, bool bVerifie);
// The inverse; 0 (outputs untouched) for day numbers from 2,994,989 on and for
// those before 1 January 0001.
bool bJourVersDate(int32_t nJour, int* pnJourDuMois, int* pnMois, int* pnAnnee);

// Decimal value of nLongueur characters from nPosition (an integer read of
// that slice, stopping at the first non-digit); 0 for a null or empty text.
// When the text ends inside the slice and bComplete is set (with nPosition
// inside the text), each missing character multiplies the value by 10.
int nLitNombre(const char* psz, int nPosition, int nLongueur, bool bComplete);
int nLitNombre(const char16_t* psz, int nPosition, int nLongueur, bool bComplete);

// 8 bytes: read as one little-endian word, the first three fields are
// year * 65536 + month * 256 + day.
class CDateTimeBase {
 public:
  static const uint8_t ms_pbyNbJoursMois[12];
  static const uint8_t ms_pbyNbJoursMoisBissextile[12];

  void InitDate();
  void InitMaintenant();

  int nGetJour() const { return m_byJour; }
  int nGetMois() const { return m_byMois; }
  int nGetAnnee() const { return m_wAnnee; }
  uint32_t nGetTemps() const { return m_nTemps; }
  int nGetHeure() const { return static_cast<int>(m_nTemps / 3600000u); }
  int nGetMinute() const { return static_cast<int>((m_nTemps % 3600000u) / 60000u); }
  int nGetSeconde() const { return static_cast<int>((m_nTemps % 60000u) / 1000u); }
  int nGetMilli() const { return static_cast<int>(m_nTemps % 1000u); }

  // Each returns 1, or 0 with the value unchanged when n is out of range.
  // Year, month and day setters pull the day down to the month's length when
  // day, month and year are all set (and the month is valid).
  int bModifieAnnee(int n);
  int bModifieMois(int n);
  int bModifieJour(int n);
  int bModifieHeure(int n);
  int bModifieMinute(int n);
  int bModifieSeconde(int n);
  int bModifieMilli(int n);

  // Text forms: YYYYMMDD, HHMMSSmmm and both (17 characters). At most
  // nNbCar characters (whole components only) and a terminator are written,
  // so psz holds nNbCar + 1 units. Components are clamped to their width.
  // Return the characters written.
  int EcritDate(char* psz, int nNbCar) const;
  int EcritDate(char16_t* psz, int nNbCar) const;
  int EcritHeure(char* psz, int nNbCar) const;
  int EcritHeure(char16_t* psz, int nNbCar) const;
  int EcritDateHeure(char* psz, int nNbCar) const;
  int EcritDateHeure(char16_t* psz, int nNbCar) const;

  // Reads an ISO text (YYYY-MM-DD, optionally with THH:MM:SS[.f{1,3}]) or
  // the compact form YYYYMMDD[HHMMSS[mmm]]; nLongueur -1 reads up to the
  // terminator. Components are taken as they come, without range checks.
  void DateHeureDepuisTexte(const char* psz, int nLongueur = -1);
  // The same on at most the first 17 characters.
  void LitDateHeure(const char* psz, int nLongueur);
  void LitDateHeure(const CXYString<char>& s);
  // The 17-character form into an 8-bit dynamic string; the string's status.
  int EcritDateHeure(CXYString<char>& s) const;

  uint8_t m_byJour = 0;
  uint8_t m_byMois = 0;
  uint16_t m_wAnnee = 0;
  uint32_t m_nTemps = 0;  // milliseconds since midnight

 private:
  void AjusteJour();
};
static_assert(sizeof(CDateTimeBase) == 8);

// Signed count of milliseconds.
class CDuree {
 public:
  static constexpr const char* kFormatMillis = "%d%02d%02d%02d%03d";
  static constexpr const char* kFormatCentiemes = "%d%02d%02d%02d%02d";
  static constexpr int kTailleTexte = 24;  // characters, without the terminator

  int64_t nGetJours() const { return m_nTotal / 86400000; }
  int64_t nGetHeures() const { return (m_nTotal % 86400000) / 3600000; }
  int64_t nGetMinutes() const { return (m_nTotal % 3600000) / 60000; }
  int64_t nGetSecondes() const { return (m_nTotal % 60000) / 1000; }
  int64_t nGetMillisecondes() const { return m_nTotal % 1000; }
  // Hundredths of the value rounded to 10 ms (0..99, sign of the total): a
  // rounding that reaches 100 has carried into the seconds.
  int64_t nGetCentiemes() const;

  void AjouteJours(int64_t n);
  void AjouteHeures(int64_t n);
  void AjouteMinutes(int64_t n);
  void AjouteSecondes(int64_t n);

  // Writes days, hours, minutes, seconds and milliseconds (or hundredths when
  // pszFormat is kFormatCentiemes) as absolute values, '-' in front of a
  // negative total; psz holds kTailleTexte + 1 chars. Returns the length.
  int EcritDuree(char* psz, const char* pszFormat = kFormatMillis) const;
  // Into an 8-bit dynamic string; the string's status.
  int EcritDuree(CXYString<char>& s, const char* pszFormat = kFormatMillis) const;
  // 0, or 112 when fewer than 10 characters follow the optional sign. The
  // 8-bit form reads at most 24 characters; nLongueur -1 up to the terminator.
  int nLitDuree(const char* psz, int nLongueur = -1);
  int nLitDuree(const char16_t* psz, int nLongueur = -1);
  int nLitDuree(const CXYString<char>& s);

  int64_t m_nTotal = 0;
};
static_assert(sizeof(CDuree) == 8);

#endif  // QG_DOTNET_CONVERT_DATETIME_H_
