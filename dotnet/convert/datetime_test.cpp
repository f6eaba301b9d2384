#include "dotnet/convert/datetime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include "support/string_host_fixture.h"

namespace {

using namespace std::chrono;

TEST(Calendar, KnownDayNumbers) {
  struct Cas {
    int j, m, a;
    int32_t nJour;
  };
  for (const Cas& c : {Cas{1, 1, 1800, 1}, Cas{31, 12, 1799, 0}, Cas{1, 1, 1900, 36525},
                       Cas{1, 1, 2000, 73049}, Cas{31, 12, 9999, 2994988}}) {
    int32_t n = -1;
    ASSERT_TRUE(bDateVersJour(c.j, c.m, c.a, &n, true));
    EXPECT_EQ(n, c.nJour);
    int j = 0, m = 0, a = 0;
    ASSERT_TRUE(bJourVersDate(c.nJour, &j, &m, &a));
    EXPECT_EQ(j, c.j);
    EXPECT_EQ(m, c.m);
    EXPECT_EQ(a, c.a);
  }
}

// Every day of the Gregorian range, against the standard library's calendar.
TEST(Calendar, EveryDayFrom1583MatchesChrono) {
  const sys_days origine = sys_days{year{1800} / January / 1} - days{1};
  int32_t nAttendu = static_cast<int32_t>((sys_days{year{1583} / January / 1} - origine).count());
  for (sys_days d = sys_days{year{1583} / January / 1}; d <= sys_days{year{9999} / December / 31};
       d += days{1}, ++nAttendu) {
    const year_month_day ymd{d};
    const int j = static_cast<int>(static_cast<unsigned>(ymd.day()));
    const int m = static_cast<int>(static_cast<unsigned>(ymd.month()));
    const int a = static_cast<int>(ymd.year());
    int32_t n = 0;
    ASSERT_TRUE(bDateVersJour(j, m, a, &n, true)) << a << "-" << m << "-" << j;
    ASSERT_EQ(n, nAttendu) << a << "-" << m << "-" << j;
    int j2 = 0, m2 = 0, a2 = 0;
    ASSERT_TRUE(bJourVersDate(n, &j2, &m2, &a2)) << n;
    ASSERT_EQ(j2, j);
    ASSERT_EQ(m2, m);
    ASSERT_EQ(a2, a);
  }
}

TEST(Calendar, RefusesInvalidDatesAndDayNumbers) {
  int32_t n = 12345;
  EXPECT_FALSE(bDateVersJour(29, 2, 2023, &n, true));
  EXPECT_FALSE(bDateVersJour(0, 1, 2023, &n, false));
  EXPECT_FALSE(bDateVersJour(31, 4, 2023, &n, false));
  EXPECT_FALSE(bDateVersJour(1, 0, 2023, &n, false));   // never an index into the tables
  EXPECT_FALSE(bDateVersJour(1, 13, 2023, &n, false));
  EXPECT_FALSE(bDateVersJour(1, 1, 0, &n, false));
  EXPECT_FALSE(bDateVersJour(1, 1, 10000, &n, false));
  EXPECT_FALSE(bDateVersJour(32, 1, 2023, &n, true));
  EXPECT_EQ(n, 12345);
  int j = 7, m = 7, a = 7;
  EXPECT_FALSE(bJourVersDate(2994989, &j, &m, &a));
  EXPECT_FALSE(bJourVersDate(INT32_MAX, &j, &m, &a));
  EXPECT_FALSE(bJourVersDate(-657071, &j, &m, &a));
  EXPECT_FALSE(bJourVersDate(INT32_MIN, &j, &m, &a));
  EXPECT_EQ(j, 7);
  EXPECT_EQ(m, 7);
  EXPECT_EQ(a, 7);
}

// Before 1583 the historical correction shifts the first four days of
// January to November; the inverse must only ever answer valid dates.
TEST(Calendar, EarlyCenturiesKeepCorrectionAndStayValid) {
  int32_t n1 = 0, n5 = 0;
  ASSERT_TRUE(bDateVersJour(1, 3, 1550, &n1, true));
  ASSERT_TRUE(bDateVersJour(5, 3, 1550, &n5, true));
  EXPECT_EQ(n5 - n1, 4 - 10);  // shifted by 10 - (0 - 0)
  int32_t nDec1 = 0, nDec5 = 0;
  ASSERT_TRUE(bDateVersJour(1, 12, 1550, &nDec1, true));
  ASSERT_TRUE(bDateVersJour(5, 12, 1550, &nDec5, true));
  EXPECT_EQ(nDec5 - nDec1, 4);  // December carries no correction
  int32_t nPremier = 0;
  ASSERT_TRUE(bDateVersJour(1, 1, 1, &nPremier, true));
  for (int32_t n = 1 - 657071; n < 300000; n += 7) {
    int j = 0, m = 0, a = 0;
    if (!bJourVersDate(n, &j, &m, &a)) {
      continue;
    }
    ASSERT_GE(a, 1) << n;
    ASSERT_GE(m, 1) << n;
    ASSERT_LE(m, 12) << n;
    ASSERT_GE(j, 1) << n;
    ASSERT_LE(j, nNbJoursMois(m, a)) << n;
  }
}

TEST(Calendar, LitNombre) {
  EXPECT_EQ(nLitNombre("20240115", 4, 2, false), 1);
  EXPECT_EQ(nLitNombre("5", 0, 3, true), 500);
  EXPECT_EQ(nLitNombre("5", 0, 3, false), 0);
  EXPECT_EQ(nLitNombre("12", 2, 3, true), 0);  // position past the text
  EXPECT_EQ(nLitNombre(static_cast<const char*>(nullptr), 0, 3, true), 0);
  EXPECT_EQ(nLitNombre("", 0, 3, true), 0);
  EXPECT_EQ(nLitNombre(u"123456", 3, 2, false), 45);
  EXPECT_EQ(nLitNombre(u"12", 1, 3, true), 200);
  // Long slices wrap instead of overflowing (checked under the sanitizer);
  // a slice end past the int range reads nothing.
  EXPECT_EQ(nLitNombre("99999999999999999999", 0, 25, true), 1241413984);
  EXPECT_EQ(nLitNombre("12", 1, INT_MAX, true), 0);
}

TEST(DateTimeBase, SettersPullDayDown) {
  CDateTimeBase d;
  d.InitDate();
  ASSERT_EQ(d.bModifieAnnee(2024), 1);
  ASSERT_EQ(d.bModifieMois(2), 1);
  ASSERT_EQ(d.bModifieJour(29), 1);
  EXPECT_EQ(d.nGetJour(), 29);
  ASSERT_EQ(d.bModifieAnnee(2023), 1);
  EXPECT_EQ(d.nGetJour(), 28);
  ASSERT_EQ(d.bModifieJour(29), 1);
  EXPECT_EQ(d.nGetJour(), 28);
  ASSERT_EQ(d.bModifieMois(4), 1);
  ASSERT_EQ(d.bModifieJour(31), 1);
  EXPECT_EQ(d.nGetJour(), 30);

  const CDateTimeBase avant = d;
  for (int n : {0, 13, -1}) EXPECT_EQ(d.bModifieMois(n), 0);
  for (int n : {0, 10000}) EXPECT_EQ(d.bModifieAnnee(n), 0);
  for (int n : {0, 32}) EXPECT_EQ(d.bModifieJour(n), 0);
  EXPECT_EQ(d.bModifieHeure(24), 0);
  EXPECT_EQ(d.bModifieHeure(99), 0);
  EXPECT_EQ(d.bModifieMinute(60), 0);
  EXPECT_EQ(d.bModifieSeconde(60), 0);
  EXPECT_EQ(d.bModifieMilli(1000), 0);
  EXPECT_EQ(std::memcmp(&d, &avant, sizeof d), 0);

  ASSERT_EQ(d.bModifieHeure(10), 1);
  ASSERT_EQ(d.bModifieMinute(20), 1);
  ASSERT_EQ(d.bModifieSeconde(30), 1);
  ASSERT_EQ(d.bModifieMilli(123), 1);
  EXPECT_EQ(d.nGetTemps(), 37230123u);
  ASSERT_EQ(d.bModifieMinute(5), 1);
  EXPECT_EQ(d.nGetHeure(), 10);
  EXPECT_EQ(d.nGetMinute(), 5);
  EXPECT_EQ(d.nGetSeconde(), 30);
  EXPECT_EQ(d.nGetMilli(), 123);

  uint32_t nMot = 0;
  std::memcpy(&nMot, &d, 4);
  EXPECT_EQ(nMot, 2023u * 65536 + 4 * 256 + 30);
}

TEST(DateTimeBase, InitMaintenantGivesValidValue) {
  CDateTimeBase d;
  d.InitMaintenant();
  int32_t n = 0;
  EXPECT_TRUE(bDateVersJour(d.nGetJour(), d.nGetMois(), d.nGetAnnee(), &n, true));
  EXPECT_LT(d.nGetTemps(), 86400000u);
}

TEST(DateTimeBase, TextForms) {
  CDateTimeBase d;
  d.m_wAnnee = 2024;
  d.m_byMois = 1;
  d.m_byJour = 5;
  d.m_nTemps = 37230123;
  char sz[32];
  char16_t wsz[32];
  EXPECT_EQ(d.EcritDateHeure(sz, 17), 17);
  EXPECT_STREQ(sz, "20240105102030123");
  EXPECT_EQ(d.EcritDateHeure(wsz, 17), 17);
  EXPECT_EQ(std::u16string(wsz), u"20240105102030123");
  EXPECT_EQ(d.EcritDate(sz, 8), 8);
  EXPECT_STREQ(sz, "20240105");
  EXPECT_EQ(d.EcritDate(sz, 7), 6);  // whole components only
  EXPECT_STREQ(sz, "202401");
  EXPECT_EQ(d.EcritHeure(sz, 9), 9);
  EXPECT_STREQ(sz, "102030123");
  EXPECT_EQ(d.EcritHeure(wsz, 4), 4);
  EXPECT_EQ(std::u16string(wsz), u"1020");

  // Out-of-range fields are clamped, and the 17-character form stays bounded.
  CDateTimeBase f;
  f.m_wAnnee = 65535;
  f.m_byMois = 200;
  f.m_byJour = 99;
  f.m_nTemps = 0xFFFFFFFFu;
  char szBorne[18 + 8];
  std::memset(szBorne, 'X', sizeof szBorne);
  EXPECT_EQ(f.EcritDateHeure(szBorne, 17), 17);
  EXPECT_EQ(szBorne[17], 0);
  EXPECT_EQ(szBorne[18], 'X');
  EXPECT_STREQ(szBorne, "99999999990247295");  // hour 1193 shows as 99
}

TEST(DateTimeBase, ParsesIsoAndCompactTexts) {
  struct Cas {
    const char* psz;
    int a, m, j;
    uint32_t nTemps;
  };
  for (const Cas& c : {Cas{"2024-01-15", 2024, 1, 15, 0},
                       Cas{"2024-01-15T10:20:30.5Z", 2024, 1, 15, 37230500},
                       Cas{"2024-01-15 10:20:30.25", 2024, 1, 15, 37230250},
                       Cas{"2024-01-15T10:20:30.125+01:00", 2024, 1, 15, 37230125},
                       Cas{"2024-01-15T10:20:30", 2024, 1, 15, 37230000},
                       Cas{"2024-01-15T10:20:30.1234", 2024, 1, 15, 37230000},
                       Cas{"20240115102030123", 2024, 1, 15, 37230123},
                       Cas{"2024011510203012", 2024, 1, 15, 37230120},
                       Cas{"202401151020305", 2024, 1, 15, 37230500},
                       Cas{"20240115", 2024, 1, 15, 0}}) {
    CDateTimeBase d;
    d.m_nTemps = 1;
    d.DateHeureDepuisTexte(c.psz);
    EXPECT_EQ(d.nGetAnnee(), c.a) << c.psz;
    EXPECT_EQ(d.nGetMois(), c.m) << c.psz;
    EXPECT_EQ(d.nGetJour(), c.j) << c.psz;
    EXPECT_EQ(d.nGetTemps(), c.nTemps) << c.psz;
  }
  CDateTimeBase d;
  d.LitDateHeure("2024-01-15", -1);
  EXPECT_EQ(d.nGetJour(), 15);
  d.LitDateHeure("20240115102030123", 17);
  EXPECT_EQ(d.nGetTemps(), 37230123u);
  // Only 17 characters of the ISO date-time reach the parser, which then
  // falls back to the compact form: the time is not read as 10:20:30.
  d.LitDateHeure("2024-01-15T10:20:30.5Z", -1);
  EXPECT_EQ(d.nGetAnnee(), 2024);
  EXPECT_NE(d.nGetTemps(), 37230500u);
}

// Raw month 13 or hour 99 from a text are kept, and nothing downstream
// indexes a table with them.
TEST(DateTimeBase, OutOfRangeTextComponentsDoNotCrash) {
  CDateTimeBase d;
  d.DateHeureDepuisTexte("20231345990000000");
  EXPECT_EQ(d.nGetMois(), 13);
  EXPECT_EQ(d.nGetHeure(), 99);
  int32_t n = 0;
  EXPECT_FALSE(bDateVersJour(d.nGetJour(), d.nGetMois(), d.nGetAnnee(), &n, false));
  EXPECT_EQ(d.bModifieJour(31), 1);  // no pull-down through an invalid month
  EXPECT_EQ(d.bModifieAnnee(2024), 1);
  d.DateHeureDepuisTexte("20230045");
  EXPECT_EQ(d.nGetMois(), 0);
  EXPECT_EQ(d.bModifieJour(31), 1);
  char sz[18];
  d.EcritDateHeure(sz, 17);
  EXPECT_EQ(std::strlen(sz), 17u);
}

TEST(Duree, ComponentsAndAdders) {
  CDuree d;
  d.AjouteJours(2);
  d.AjouteHeures(3);
  d.AjouteMinutes(4);
  d.AjouteSecondes(5);
  d.m_nTotal += 678;
  EXPECT_EQ(d.nGetJours(), 2);
  EXPECT_EQ(d.nGetHeures(), 3);
  EXPECT_EQ(d.nGetMinutes(), 4);
  EXPECT_EQ(d.nGetSecondes(), 5);
  EXPECT_EQ(d.nGetMillisecondes(), 678);
  EXPECT_EQ(d.nGetCentiemes(), 68);
  d.m_nTotal = -d.m_nTotal;
  EXPECT_EQ(d.nGetJours(), -2);
  EXPECT_EQ(d.nGetMillisecondes(), -678);
}

TEST(Duree, TextRoundTrip) {
  struct Cas {
    const char* psz;
    int64_t nTotal;
  };
  for (const Cas& c : {Cas{"-1000000000", -86400000}, Cas{"0000000000", 0},
                       Cas{"1000000001", 86400001}, Cas{"123010203004", 123LL * 86400000 + 3723004}}) {
    CDuree d;
    ASSERT_EQ(d.nLitDuree(c.psz), 0) << c.psz;
    EXPECT_EQ(d.m_nTotal, c.nTotal) << c.psz;
    char sz[CDuree::kTailleTexte + 1];
    d.EcritDuree(sz);
    EXPECT_STREQ(sz, c.psz);
  }
  CDuree d;
  EXPECT_EQ(d.nLitDuree("+1000000000"), 0);
  EXPECT_EQ(d.m_nTotal, 86400000);
  EXPECT_EQ(d.nLitDuree(u"\uFF0D1000000000"), 0);
  EXPECT_EQ(d.m_nTotal, -86400000);
  d.m_nTotal = 5;
  EXPECT_EQ(d.nLitDuree("000000000"), 112);
  EXPECT_EQ(d.nLitDuree("-000000000"), 112);
  EXPECT_EQ(d.nLitDuree(static_cast<const char*>(nullptr)), 112);
  EXPECT_EQ(d.m_nTotal, 5);
  // A day count past 64 bits saturates with status 1 (converted with loss)
  // and never flips the sign; the 8-bit form overflows within its 24
  // characters too.
  struct Large {
    const char16_t* psz;
    int64_t nTotal;
  };
  for (const Large& c : {Large{u"99999999999999999999999999990000000000", INT64_MAX},
                         Large{u"-214469325570058243623957781975", INT64_MIN},
                         Large{u"+106751991167300000000000", INT64_MAX}}) {
    EXPECT_EQ(d.nLitDuree(c.psz), 1) << static_cast<int>(c.psz[1]);
    EXPECT_EQ(d.m_nTotal, c.nTotal);
  }
  EXPECT_EQ(d.nLitDuree("-999999999999999000000000"), 1);
  EXPECT_EQ(d.m_nTotal, INT64_MIN);
  // The largest whole count still reads exactly.
  EXPECT_EQ(d.nLitDuree(u"106751991167071255807"), 0);
  EXPECT_EQ(d.m_nTotal, INT64_MAX);
}

TEST(Duree, HundredthsCarryInsteadOfShowing100) {
  char sz[CDuree::kTailleTexte + 1];
  CDuree d;
  d.m_nTotal = 59995;  // 59.995 s
  d.EcritDuree(sz, CDuree::kFormatCentiemes);
  EXPECT_STREQ(sz, "000010000");
  d.m_nTotal = -86399999;
  d.EcritDuree(sz, CDuree::kFormatCentiemes);
  EXPECT_STREQ(sz, "-100000000");
  EXPECT_EQ(d.nGetCentiemes(), 0);
  d.m_nTotal = 1234;
  d.EcritDuree(sz, CDuree::kFormatCentiemes);
  EXPECT_STREQ(sz, "000000123");
  d.m_nTotal = INT64_MIN;
  EXPECT_LE(d.EcritDuree(sz), CDuree::kTailleTexte);
  EXPECT_LE(d.EcritDuree(sz, CDuree::kFormatCentiemes), CDuree::kTailleTexte);
}

using DynamicText = qg::StringHostTest;

TEST_F(DynamicText, DateTimeAndDurationThroughDynamicStrings) {
  CDateTimeBase d;
  d.m_wAnnee = 2024;
  d.m_byMois = 1;
  d.m_byJour = 15;
  d.m_nTemps = 37230123;
  CXYString<char> s;
  ASSERT_EQ(d.EcritDateHeure(s), 0);
  EXPECT_STREQ(s.pszGet(), "20240115102030123");
  CDateTimeBase lu;
  lu.LitDateHeure(s);
  EXPECT_EQ(std::memcmp(&lu, &d, sizeof d), 0);
  CXYString<char> iso("2024-01-15T10:20:30.5Z");
  lu.LitDateHeure(iso);  // 17 characters only: not read as ISO
  EXPECT_NE(lu.nGetTemps(), 37230500u);

  CDuree duree;
  duree.m_nTotal = -86400000;
  ASSERT_EQ(duree.EcritDuree(s), 0);
  EXPECT_STREQ(s.pszGet(), "-1000000000");
  CDuree relu;
  EXPECT_EQ(relu.nLitDuree(s), 0);
  EXPECT_EQ(relu.m_nTotal, -86400000);
  CXYString<char> vide;
  EXPECT_EQ(relu.nLitDuree(vide), 112);
}

}  // namespace
