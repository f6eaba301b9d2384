#include <gtest/gtest.h>

#include <ctime>
#include <limits>

#include "dotnet/convert/conversion_test_fixture.h"
#include "dotnet/convert/datetime.h"

namespace qg {
namespace {

TEST_F(ConversionTest, DateAndTimeTextsIntoIntegers) {
  struct Cas {
    int32_t s;
    const char* texte;
    int32_t d;
    uint64_t attendu;
    int st;
  };
  const Cas cas[] = {
      {kConvDATEW, "20240230", kConvI4, 0, kConvDateInvalide},
      {kConvDATEA, "18000101", kConvI4, 1, 0},
      {kConvDATEW, "20000101", kConvI8, 73049, 0},
      {kConvDATEA, "2000", kConvI4, 0, kConvDateInvalide},
      {kConvDATEW, "99991231", kConvUI2, 2994988 & 0xFFFF, 1},
      {kConvTIMEW, "010000000", kConvI4, 360000, 0},
      {kConvTIMEW, "010000000", kConvUI1, 64, 1},
      {kConvTIMEA, "2359599", kConvI4, 23 * 360000 + 59 * 6000 + 59 * 100 + 90, 0},
      {kConvTIMEA, "12", kConvUIX, 12 * 360000, 0},
  };
  for (const Cas& c : cas) {
    Brut src(c.s), dst(c.d);
    SetTexte(&src, c.texte);
    EXPECT_EQ(Conv(src, &dst), c.st) << c.texte;
    if (c.st == kConvDateInvalide) continue;
    uint64_t obtenu = 0;
    const int largeur = c.d == kConvUI1 ? 1 : c.d == kConvUI2 ? 2 : c.d == kConvI4 ? 4 : 8;
    std::memcpy(&obtenu, dst.a, static_cast<size_t>(largeur));
    EXPECT_EQ(obtenu, c.attendu) << c.texte;
  }
}

TEST_F(ConversionTest, IntegersIntoDateAndTimeTexts) {
  struct Cas {
    int32_t n;
    int32_t d;
    const char* attendu;
    int st;
  };
  const Cas cas[] = {
      {-1, kConvTIMEA, "", kConvHeureNegative},
      {8640000, kConvTIMEA, "000000000", 0},
      {12345, kConvTIMEW, "000203450", 0},
      {1, kConvDATEW, "18000101", 0},
      {73049, kConvDATEA, "20000101", 0},
      {2994988, kConvDATEW, "99991231", 0},
      {2994989, kConvDATEA, "", kConvDateInvalide},
      {2994990, kConvDATEA, "", kConvDateInvalide},
      {-700000, kConvDATEW, "", kConvDateInvalide},
  };
  for (const Cas& c : cas) {
    Brut src(kConvI4), dst(c.d);
    src.Set(c.n);
    EXPECT_EQ(Conv(src, &dst), c.st) << c.n;
    if (c.st != 0) continue;
    const std::string attendu = c.attendu;
    if (c.d == kConvDATEW || c.d == kConvTIMEW) {
      EXPECT_EQ(dst.TexteW(), std::u16string(attendu.begin(), attendu.end())) << c.n;
    } else {
      EXPECT_EQ(dst.TexteA(), attendu) << c.n;
    }
  }
}

TEST_F(ConversionTest, TextsIntoDateAndTimeTexts) {
  struct Cas {
    int32_t s;
    const char* texte;
    int32_t d;
    const char* attendu;
  };
  const Cas cas[] = {
      {kConvDSTRW, "2024-05-17", kConvDATEW, "20240517"},
      {kConvPSTRA, "2024-05-17", kConvDATEA, "20240517"},
      {kConvDSTRA, "2024-05-17x", kConvDATEW, "2024-05-"},
      {kConvDSTRW, "10:20:30.5", kConvTIMEW, "1020305"},
      {kConvPSTRW, "10:20:30.123Z", kConvTIMEA, "102030123"},
      {kConvDSTRA, "10:20", kConvTIMEW, "1020"},
      {kConvDSTRW, "10:20:30", kConvTIMEA, "102030"},
      {kConvDSTRW, "12345678901", kConvTIMEW, "123456789"},
      {kConvDATEA, "20240517", kConvDATEW, "20240517"},
      {kConvTIMEW, "1020", kConvTIMEA, "1020"},
      {kConvBIN, "20240517", kConvDATEA, "20240517"},
      {kConvBIN, "", kConvTIMEA, ""},
  };
  for (const Cas& c : cas) {
    Brut src(c.s), dst(c.d);
    SetTexte(&src, c.texte);
    ASSERT_EQ(Conv(src, &dst), kConvOk) << c.texte;
    const std::string attendu = c.attendu;
    if (c.d == kConvDATEW || c.d == kConvTIMEW) {
      EXPECT_EQ(dst.TexteW(), std::u16string(attendu.begin(), attendu.end())) << c.texte;
    } else {
      EXPECT_EQ(dst.TexteA(), attendu) << c.texte;
    }
  }
  // A BIN read as UTF-16 takes half its bytes; an odd last byte is not read.
  Brut bin(kConvBIN), datew(kConvDATEW);
  SetA(&bin, std::string("2\0" "0\0" "2", 5));
  ASSERT_EQ(Conv(bin, &datew), kConvOk);
  EXPECT_EQ(datew.TexteW(), u"20");
}

CDateTimeBase DT(const Brut& b) { return b.Get<CDateTimeBase>(); }

TEST_F(ConversionTest, IntoDateTime) {
  struct Cas {
    int32_t s;
    const char16_t* texte;
    int annee, mois, jour;
    uint32_t temps;
  };
  const Cas cas[] = {
      {kConvDSTRW, u"2024-05-17T10:20:30.5Z", 2024, 5, 17, 37230500},
      {kConvPSTRW, u"2024-05-17 10:20:30.12+02:00", 2024, 5, 17, 37230120},
      {kConvDSTRW, u"2024-05-17T10:20:30.1234", 2024, 5, 17, 37230000},
      {kConvDSTRW, u"2024\uFF0D05\uFF0D17T10\uFF1A20\uFF1A30", 2024, 5, 17, 37230000},
      {kConvDSTRW, u"2024-05-17", 2024, 5, 17, 0},
      {kConvDSTRW, u"20240517102030123", 2024, 5, 17, 37230123},
      {kConvDSTRW, u"2024013", 2024, 1, 0, 0},  // a field cut short reads 0
  };
  for (const Cas& c : cas) {
    Brut src(c.s), dst(kConvDATETIME);
    if (c.s == kConvDSTRW) SetW(&src, c.texte);
    else SetPW(&src, c.texte);
    ASSERT_EQ(Conv(src, &dst), kConvOk);
    CDateTimeBase dt = DT(dst);
    EXPECT_EQ(dt.nGetAnnee(), c.annee);
    EXPECT_EQ(dt.nGetMois(), c.mois);
    EXPECT_EQ(dt.nGetJour(), c.jour);
    EXPECT_EQ(dt.nGetTemps(), c.temps) << std::string(c.texte, c.texte + 10);
  }
  {
    Brut src(kConvDSTRA), dst(kConvDATETIME);
    SetA(&src, "2024-05-17T10:20:30");
    ASSERT_EQ(Conv(src, &dst), kConvOk);
    EXPECT_EQ(DT(dst).nGetTemps(), 37230000u);
  }
  {
    Brut zero(kConvI4), autre(kConvI4), dst(kConvDATETIME), dst2(kConvDATETIME);
    std::memset(dst.a, 0xAB, 8);
    autre.Set<int32_t>(5);
    EXPECT_EQ(Conv(zero, &dst), kConvOk);
    EXPECT_EQ(dst.Get<uint64_t>(), 0u);
    EXPECT_EQ(Conv(autre, &dst2), kConvNonSupporte);
  }
}

TEST_F(ConversionTest, DateOrTimeIntoDateTimeKeepsTheOtherHalf) {
  Brut date(kConvDATEW), heure(kConvTIMEA);
  SetTexte(&date, "20240517");
  SetTexte(&heure, "1020305");
  {
    // Option 0x04: the destination's own time word stays.
    Brut dst(kConvDATETIME);
    CDateTimeBase avant;
    avant.m_nTemps = 12345;
    dst.Set(avant);
    ASSERT_EQ(Conv(date, &dst, CONVERSION_GARDE_DATEHEURE), kConvOk);
    EXPECT_EQ(DT(dst).nGetAnnee(), 2024);
    EXPECT_EQ(DT(dst).nGetJour(), 17);
    EXPECT_EQ(DT(dst).nGetTemps(), 12345u);
    ASSERT_EQ(Conv(heure, &dst, CONVERSION_GARDE_DATEHEURE), kConvOk);
    EXPECT_EQ(DT(dst).nGetTemps(), 37230500u);
    EXPECT_EQ(DT(dst).nGetMois(), 5);
  }
  {
    // Without it: the current local date and time first.
    CDateTimeBase maintenant;
    maintenant.InitMaintenant();
    Brut dst(kConvDATETIME);
    ASSERT_EQ(Conv(date, &dst, 0), kConvOk);
    const int64_t ecart = static_cast<int64_t>(DT(dst).nGetTemps()) - maintenant.nGetTemps();
    EXPECT_LT(ecart < 0 ? -ecart : ecart, 5000);
    Brut dst2(kConvDATETIME);
    ASSERT_EQ(Conv(heure, &dst2, 0), kConvOk);
    EXPECT_EQ(DT(dst2).nGetAnnee(), maintenant.nGetAnnee());
    EXPECT_EQ(DT(dst2).nGetTemps(), 37230500u);
  }
}

TEST_F(ConversionTest, DateTimeOut) {
  Brut src(kConvDATETIME);
  CDateTimeBase dt;
  dt.m_wAnnee = 2024;
  dt.m_byMois = 5;
  dt.m_byJour = 7;
  dt.m_nTemps = 37230123;
  src.Set(dt);
  {
    Brut w(kConvDSTRW), a(kConvPSTRA);
    ASSERT_EQ(Conv(src, &w), kConvOk);
    EXPECT_EQ(w.TexteW(), u"20240507102030123");
    ASSERT_EQ(Conv(src, &a), kConvOk);
    EXPECT_EQ(a.TexteA(), "20240507102030123");
  }
  {
    Brut d(kConvDATEW), t(kConvTIMEA);
    ASSERT_EQ(Conv(src, &d), kConvOk);
    EXPECT_EQ(d.TexteW(), u"20240507");
    ASSERT_EQ(Conv(src, &t), kConvOk);
    EXPECT_EQ(t.TexteA(), "102030123");
  }
  {
    Brut bin(kConvBIN), retour(kConvDATETIME);
    ASSERT_EQ(Conv(src, &bin), kConvOk);
    EXPECT_EQ(bin.TexteA(), "20240507102030123");
    ASSERT_EQ(Conv(bin, &retour), kConvOk);
    EXPECT_EQ(retour.Get<uint64_t>(), src.Get<uint64_t>());
  }
}

TEST_F(ConversionTest, Durations) {
  struct Cas {
    int32_t s;
    const char* texte;
    int64_t attendu;
    int st;
  };
  const Cas cas[] = {
      {kConvDSTRW, "1020304005", 93784005, 0},
      {kConvPSTRA, "-1000000000", -86400000, 0},
      {kConvDSTRA, "+0000000001", 1, 0},
      {kConvPSTRW, "123", 0, kConvDureeCourte},
      {kConvDSTRW, "-123456789", 0, kConvDureeCourte},
  };
  for (const Cas& c : cas) {
    Brut src(c.s), dst(kConvDUREE);
    SetTexte(&src, c.texte);
    EXPECT_EQ(Conv(src, &dst), c.st) << c.texte;
    if (c.st == 0) {
      EXPECT_EQ(dst.Get<int64_t>(), c.attendu) << c.texte;
    }
  }
  {
    Brut src(kConvDUREE), w(kConvDSTRW), a(kConvDSTRA), bin(kConvBIN), retour(kConvDUREE);
    src.Set<int64_t>(-93784005);
    ASSERT_EQ(Conv(src, &w), kConvOk);
    EXPECT_EQ(w.TexteW(), u"-1020304005");
    ASSERT_EQ(Conv(src, &a), kConvOk);
    EXPECT_EQ(a.TexteA(), "-1020304005");
    ASSERT_EQ(Conv(src, &bin), kConvOk);
    ASSERT_EQ(Conv(bin, &retour), kConvOk);
    EXPECT_EQ(retour.Get<int64_t>(), -93784005);
    // The longest count: days past 32 bits are written whole.
    src.Set<int64_t>(std::numeric_limits<int64_t>::min());
    Brut p(kConvPSTRW), back(kConvDUREE);
    ASSERT_EQ(Conv(src, &p), kConvOk);
    EXPECT_EQ(p.TexteW(), u"-106751991167071255808");
    ASSERT_EQ(Conv(p, &back), kConvOk);
    EXPECT_EQ(back.Get<int64_t>(), std::numeric_limits<int64_t>::min());
  }
  struct CasNum {
    int32_t s;
    uint64_t bits;
    double r;
    int64_t attendu;
    int st;
  };
  const CasNum nums[] = {
      {kConvUI4, 0xFFFFFFFF, 0, 4294967295ll, 0},
      {kConvI4, 0xFFFFFFFF, 0, -1, 0},
      {kConvUIX, 0x80000000, 0, -2147483648ll, 0},
      {kConvR8, 0, -2.7, -2, 0},
      {kConvR4, 0, 1.5, 1, 0},
      {kConvR8, 0, 1e300, 0, 1},
      {kConvR8, 0, std::numeric_limits<double>::quiet_NaN(), 0, 1},
  };
  for (const CasNum& c : nums) {
    Brut src(c.s), dst(kConvDUREE);
    if (c.s == kConvR4) src.Set(static_cast<float>(c.r));
    else if (c.s == kConvR8) src.Set(c.r);
    else src.Set(c.bits);
    EXPECT_EQ(Conv(src, &dst), c.st) << c.s << " " << c.r;
    EXPECT_EQ(dst.Get<int64_t>(), c.attendu) << c.s << " " << c.r;
  }
  {
    Brut duree(kConvDUREE), ui8(kConvUI8), i4(kConvI4), r8(kConvR8);
    duree.Set<int64_t>(-1);
    EXPECT_EQ(Conv(duree, &ui8), kConvPerte);
    duree.Set<int64_t>(int64_t{1} << 40);
    EXPECT_EQ(Conv(duree, &i4), kConvPerte);
    EXPECT_EQ(Conv(duree, &r8), kConvOk);
    EXPECT_EQ(r8.Get<double>(), 1099511627776.0);
  }
}

}  // namespace
}  // namespace qg
