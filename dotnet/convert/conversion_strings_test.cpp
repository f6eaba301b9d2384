#include "dotnet/convert/conversion_strings.h"

#include <gtest/gtest.h>

#include "dotnet/convert/conversion_test_fixture.h"

namespace qg {
namespace {

TEST_F(ConversionTest, GuidTexts) {
  struct Cas {
    const char* texte;
    int st;
  };
  const Cas cas[] = {
      {"{00112233-4455-6677-8899-aabbccddeeff}", 0},
      {"{00112233-4455-6677-8899-aabbccddeeff", kConvGUIDIllisible},
      {"00112233-4455 6677-8899-aabbccddeeff", kConvGUIDIllisible},
      {"00112233445566778899AABBCCDDEEFF", 0},
      {"", kConvGUIDIllisible},
  };
  for (int32_t type : {kConvDSTRW, kConvPSTRA}) {
    for (const Cas& c : cas) {
      Brut src(type), dst(kConvUUID_128);
      SetTexte(&src, c.texte);
      ASSERT_EQ(Conv(src, &dst), c.st) << c.texte;
      if (c.st != 0) continue;
      for (int i = 0; i < 16; ++i) EXPECT_EQ(dst.a[i], i * 0x11) << c.texte;
    }
  }
  Brut uuid(kConvUUID_128);
  for (int i = 0; i < 16; ++i) uuid.a[i] = static_cast<unsigned char>(i * 0x11);
  Brut w(kConvDSTRW), a(kConvPSTRA), bin(kConvBIN), retour(kConvUUID_128), court(kConvBIN);
  ASSERT_EQ(Conv(uuid, &w), kConvOk);
  EXPECT_EQ(w.TexteW(), u"00112233-4455-6677-8899-aabbccddeeff");
  ASSERT_EQ(Conv(uuid, &a), kConvOk);
  EXPECT_EQ(a.TexteA(), "00112233-4455-6677-8899-aabbccddeeff");
  ASSERT_EQ(Conv(uuid, &bin), kConvOk);
  ASSERT_EQ(Conv(bin, &retour), kConvOk);
  EXPECT_EQ(std::memcmp(retour.a, uuid.a, 16), 0);
  SetA(&court, "0123456789abcde");
  Brut d(kConvUUID_128);
  EXPECT_EQ(Conv(court, &d), kConvGUIDIllisible);
}

TEST_F(ConversionTest, Uuid256) {
  const std::string hex =
      "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
  Brut texte(kConvDSTRA), u(kConvUUID_256), retour(kConvPSTRW), copie(kConvUUID_256);
  SetA(&texte, hex);
  ASSERT_EQ(Conv(texte, &u), kConvOk);
  ASSERT_EQ(u.A().nGetByteLength(), 32);
  EXPECT_EQ(static_cast<unsigned char>(u.A().pszGet()[31]), 0x1F);
  ASSERT_EQ(Conv(u, &retour), kConvOk);
  EXPECT_EQ(retour.TexteW(), std::u16string(hex.begin(), hex.end()));
  ASSERT_EQ(Conv(u, &copie), kConvOk);
  EXPECT_NE(copie.A().pszGet(), u.A().pszGet());
  Brut bin31(kConvBIN), d(kConvUUID_256);
  SetA(&bin31, std::string(31, 'x'));
  EXPECT_EQ(Conv(bin31, &d), kConvUUID256Illisible);
  EXPECT_EQ(d.Get<void*>(), nullptr);
  Brut vers(kConvBIN);
  ASSERT_EQ(Conv(u, &vers), kConvOk);
  EXPECT_EQ(vers.A().nGetByteLength(), 32);
}

TEST_F(ConversionTest, BinaryIntoText) {
  Brut bin(kConvBIN);
  SetA(&bin, std::string("a\0b\0c", 5));
  {
    Brut w(kConvDSTRW);
    EXPECT_EQ(Conv(bin, &w, 0), kConvOctetImpair);
    EXPECT_EQ(w.TexteW(), u"ab");
    EXPECT_EQ(bin.A().nGetByteLength(), 5);  // copied: the source keeps its bytes
  }
  {
    Brut p(kConvPSTRW), a(kConvPSTRA);
    EXPECT_EQ(Conv(bin, &p, 0), kConvOctetImpair);
    EXPECT_EQ(p.TexteW(), u"ab");
    EXPECT_EQ(Conv(bin, &a, 0), kConvOk);
    EXPECT_EQ(std::memcmp(a.Get<const char*>(), "a\0b\0c", 6), 0);
  }
  {
    // Code-page text.
    Brut cp(kConvBIN), w(kConvDSTRW), p(kConvPSTRW);
    SetA(&cp, "\x80x");
    int32_t page = 1252;
    ASSERT_EQ(Conv(cp, &w, CONVERSION_BINAIRE_TEXTE_CP, &page), kConvOk);
    EXPECT_EQ(w.TexteW(), u"\u20ACx");
    ASSERT_EQ(Conv(cp, &p, CONVERSION_BINAIRE_TEXTE_CP, &page), kConvOk);
    EXPECT_EQ(p.TexteW(), u"\u20ACx");
  }
  {
    // Taking over a private buffer, copying a shared one.
    Brut prive(kConvBIN), a(kConvDSTRA);
    SetA(&prive, "abc");
    const char* buffer = prive.A().pszGet();
    ASSERT_EQ(Conv(prive, &a, CONVERSION_DEPLACE_SOURCE), kConvOk);
    EXPECT_EQ(a.A().pszGet(), buffer);
    EXPECT_TRUE(prive.A().bEstNull());
    EXPECT_EQ(a.TexteA(), "abc");

    Brut partage(kConvBIN), a2(kConvDSTRA);
    SetA(&partage, "abc");
    CXYString<char> autre(partage.A());
    ASSERT_EQ(Conv(partage, &a2, CONVERSION_DEPLACE_SOURCE), kConvOk);
    EXPECT_NE(a2.A().pszGet(), partage.A().pszGet());
    EXPECT_EQ(partage.A().nGetRefCount(), 2);

    Brut impair(kConvBIN), w(kConvDSTRW);
    SetA(&impair, std::string("a\0b\0c", 5));
    const char* b2 = impair.A().pszGet();
    EXPECT_EQ(Conv(impair, &w, CONVERSION_DEPLACE_SOURCE), kConvOctetImpair);
    EXPECT_EQ(reinterpret_cast<const char*>(w.W().pszGet()), b2);
    EXPECT_EQ(w.TexteW(), u"ab");
  }
}

TEST_F(ConversionTest, IntoBinary) {
  struct Cas {
    int32_t s;
    const char* texte;
    int octets;
  };
  const Cas cas[] = {
      {kConvPSTRW, "ab", 4}, {kConvPSTRA, "ab", 2}, {kConvDATEA, "20240517", 8},
      {kConvTIMEW, "1020", 8}, {kConvDSTRW, "abc", 6}, {kConvDSTRA, "abc", 3},
  };
  for (const Cas& c : cas) {
    Brut src(c.s), bin(kConvBIN);
    SetTexte(&src, c.texte);
    ASSERT_EQ(Conv(src, &bin), kConvOk) << c.texte;
    EXPECT_EQ(bin.A().nGetByteLength(), c.octets) << c.s;
  }
  Brut dstrw(kConvDSTRW), bin(kConvBIN);
  SetW(&dstrw, u"xy");
  ASSERT_EQ(Conv(dstrw, &bin), kConvOk);
  EXPECT_EQ(bin.A().pszGet(), reinterpret_cast<const char*>(dstrw.W().pszGet()));  // shared
  Brut carw(kConvCARW), bin2(kConvBIN);
  carw.Set<char16_t>(u'Z');
  ASSERT_EQ(Conv(carw, &bin2), kConvOk);
  EXPECT_EQ(bin2.A().nGetByteLength(), 2);
}

TEST_F(ConversionTest, BetweenStringKinds) {
  {
    Brut w(kConvDSTRW), w2(kConvDSTRW);
    SetW(&w, u"abc");
    ASSERT_EQ(Conv(w, &w2), kConvOk);
    EXPECT_EQ(w2.W().pszGet(), w.W().pszGet());
    EXPECT_EQ(w.W().nGetRefCount(), 2);
  }
  {
    // The marker and the carried flags cross the widths.
    Brut w(kConvDSTRW), a(kConvDSTRA), retour(kConvDSTRW);
    SetW(&w, u"ab\uFFFF");
    w.W().SetFlag(kXYFlagMarker);
    w.W().SetFlag(kXYFlagCarried);
    w.W().SetFlag(kXYFlagSecret);
    ASSERT_EQ(Conv(w, &a), kConvOk);
    EXPECT_EQ(a.TexteA(), "ab\xFF");
    EXPECT_TRUE(a.A().bTestFlag(kXYFlagMarker));
    EXPECT_TRUE(a.A().bTestFlag(kXYFlagCarried));
    EXPECT_TRUE(a.A().bTestFlag(kXYFlagSecret));
    ASSERT_EQ(Conv(a, &retour), kConvOk);
    EXPECT_EQ(retour.TexteW(), u"ab\uFFFF");
    EXPECT_TRUE(retour.W().bTestFlag(kXYFlagMarker));
    // In UTF-8 the marker is plain text.
    int32_t utf8 = 65001;
    Brut a8(kConvDSTRA);
    ASSERT_EQ(Conv(w, &a8, 0, &utf8), kConvOk);
    EXPECT_FALSE(a8.A().bTestFlag(kXYFlagMarker));
  }
  {
    Brut pw(kConvPSTRW), pa(kConvPSTRA);
    EXPECT_EQ(Conv(pw, &pa), kConvOk);  // a null text stays null
    EXPECT_EQ(pa.Get<void*>(), nullptr);
  }
  {
    // SQL query texts use 1252 whatever the conversion code page.
    int32_t page = 1251;
    Brut q(kConvSQLQUERYA), w(kConvDSTRW), qw(kConvSQLQUERYW), a(kConvDSTRA);
    SetA(&q, "\xC0");
    ASSERT_EQ(Conv(q, &w, 0, &page), kConvOk);
    EXPECT_EQ(w.TexteW(), u"\u00C0");
    ASSERT_EQ(Conv(q, &qw, 0, &page), kConvOk);
    EXPECT_EQ(qw.TexteW(), u"\u00C0");
    ASSERT_EQ(Conv(qw, &a, 0, &page), kConvOk);
    EXPECT_EQ(a.TexteA(), "\xC0");
    Brut a1251(kConvDSTRA);
    ASSERT_EQ(Conv(w, &a1251, 0, &page), kConvOk);
    EXPECT_EQ(a1251.TexteA(), "?");
  }
  {
    Brut pa(kConvPSTRA), w(kConvDSTRW), date(kConvDATEA), p(kConvPSTRW), cara(kConvCARA), w2(kConvDSTRW);
    SetPA(&pa, "h\xE9");
    ASSERT_EQ(Conv(pa, &w), kConvOk);
    EXPECT_EQ(w.TexteW(), u"h\u00E9");
    SetTexte(&date, "20240517");
    ASSERT_EQ(Conv(date, &p), kConvOk);
    EXPECT_EQ(p.TexteW(), u"20240517");
    cara.a[0] = 'q';
    ASSERT_EQ(Conv(cara, &w2), kConvOk);
    EXPECT_EQ(w2.TexteW(), u"q");
  }
}

TEST_F(ConversionTest, Characters) {
  struct Cas {
    int32_t s;
    std::u16string texte;
    int32_t d;
    char16_t attendu;
  };
  int32_t page = 1252;
  const Cas cas[] = {
      {kConvDSTRW, u"", kConvCARA, 0},
      {kConvDSTRW, u"h\u00E9llo", kConvCARA, u'h'},
      {kConvDSTRW, u"\u20ACx", kConvCARA, 0x80},
      {kConvPSTRW, u"\U0001F600", kConvCARA, u'?'},
      {kConvDSTRA, u"ab", kConvCARW, u'a'},
      {kConvPSTRA, u"\x80", kConvCARW, 0x20AC},
      {kConvDSTRW, u"xy", kConvCARW, u'x'},
      {kConvBIN, u"", kConvCARW, 0},
  };
  for (const Cas& c : cas) {
    Brut src(c.s), dst(c.d);
    if (c.s == kConvDSTRW) SetW(&src, c.texte);
    else if (c.s == kConvPSTRW) SetPW(&src, c.texte);
    else if (c.s == kConvPSTRA) SetPA(&src, std::string(c.texte.begin(), c.texte.end()));
    else SetA(&src, std::string(c.texte.begin(), c.texte.end()));
    ASSERT_EQ(Conv(src, &dst, 0, &page), kConvOk);
    if (c.d == kConvCARA) {
      EXPECT_EQ(static_cast<unsigned char>(dst.a[0]), c.attendu);
      EXPECT_EQ(dst.a[1], 0);
    } else {
      EXPECT_EQ(dst.Get<char16_t>(), c.attendu);
      EXPECT_EQ(dst.a[2] | dst.a[3], 0);
    }
  }
  // The first character of an 8-bit text, however many bytes it takes.
  struct Premier {
    int32_t page;
    std::string octets;
    char16_t attendu;
  };
  for (const Premier& c : {Premier{65001, "\xE2\x82\xAC" "uro", 0x20AC},
                           Premier{65001, "\xC3\xA9t\xC3\xA9", 0xE9},
                           Premier{65001, "\xF0\x9F\x98\x80", 0xD83D},
                           Premier{54936, "\x81\x30\x81\x30x", 0x0080},
                           Premier{65001, "\xFFx", 0xFFFD}}) {
    Brut src(kConvDSTRA), dst(kConvCARW);
    SetA(&src, c.octets);
    int32_t p = c.page;
    ASSERT_EQ(Conv(src, &dst, 0, &p), kConvOk);
    EXPECT_EQ(dst.Get<char16_t>(), c.attendu) << c.page << " " << c.octets;
  }
  Brut r8(kConvR8), cara(kConvCARA), i4(kConvI4), carw(kConvCARW);
  r8.Set(-2.5);
  ASSERT_EQ(Conv(r8, &cara), kConvOk);
  EXPECT_EQ(cara.a[0], '-');
  i4.Set<int32_t>(72);
  ASSERT_EQ(Conv(i4, &carw), kConvOk);
  EXPECT_EQ(carw.Get<char16_t>(), u'7');
}

TEST_F(ConversionTest, MemoImages) {
  auto* texte = new MemoTest;
  texte->m_sTexte = u"memo";
  texte->m_bTexte = true;
  auto* octets = new MemoTest;
  octets->m_bBinaire = true;
  octets->m_clOctets.nAffecteOctets("x\0y\0", 4);
  auto* vide = new MemoTest;
  Brut mTexte(kConvMEMOIMG), mOctets(kConvMEMOIMG), mVide(kConvMEMOIMG), mNul(kConvMEMOIMG);
  mTexte.Set<IMemoImage*>(texte);
  mOctets.Set<IMemoImage*>(octets);
  mVide.Set<IMemoImage*>(vide);
  for (int32_t d : {kConvDSTRW, kConvDSTRA, kConvPSTRW, kConvPSTRA}) {
    Brut t(d), o(d), v(d), n(d);
    ASSERT_EQ(Conv(mTexte, &t), kConvOk);
    ASSERT_EQ(Conv(mOctets, &o), kConvOk);
    ASSERT_EQ(Conv(mVide, &v), kConvOk);
    ASSERT_EQ(Conv(mNul, &n), kConvOk);
    if (d == kConvDSTRW || d == kConvPSTRW) {
      EXPECT_EQ(t.TexteW(), u"memo");
      EXPECT_EQ(o.TexteW(), u"xy");
      EXPECT_EQ(v.TexteW(), u"");
    } else {
      EXPECT_EQ(t.TexteA(), "memo");
      if (d == kConvDSTRA) {
        EXPECT_EQ(o.TexteA(), std::string("x\0y\0", 4));
      } else {
        EXPECT_EQ(std::memcmp(o.Get<const char*>(), "x\0y\0", 5), 0);
      }
      EXPECT_EQ(v.TexteA(), "");
    }
  }
  Brut bin(kConvBIN), bin2(kConvBIN), bin3(kConvBIN);
  ASSERT_EQ(Conv(mOctets, &bin), kConvOk);
  EXPECT_EQ(bin.A().nGetByteLength(), 4);
  EXPECT_EQ(Conv(mVide, &bin2), kConvNonSupporte);
  EXPECT_EQ(Conv(mNul, &bin3), kConvNonSupporte);
  {
    Brut copie(kConvMEMOIMG);
    ASSERT_EQ(Conv(mTexte, &copie), kConvOk);
    EXPECT_EQ(texte->m_nRef, 2);
  }
  EXPECT_EQ(texte->m_nRef, 1);
}

TEST_F(ConversionTest, ExtractorsFromEightBitText) {
  // The 8-bit operation, which no memo reaches through the engine.
  Brut w(kConvDSTRW), a(kConvDSTRA), pa(kConvPSTRA), pw(kConvPSTRW);
  CExtraitMemoImageDSTRW(w.a, 1252, 0).vSetDepuisTexteA("\x80!", 2);
  EXPECT_EQ(w.TexteW(), u"\u20AC!");
  CExtraitMemoImageDSTRA(a.a, 1252, 0).vSetDepuisTexteA("ab", 2);
  EXPECT_EQ(a.TexteA(), "ab");
  CExtraitMemoImagePSTRA(pa.a, 1252, 0).vSetDepuisTexteA("abc", 2);
  EXPECT_EQ(pa.TexteA(), "ab");
  CExtraitMemoImagePSTRW(pw.a, 1252, 0).vSetDepuisTexteA("x\0y\0", 4);
  EXPECT_EQ(pw.TexteW(), u"xy");
}

TEST_F(ConversionTest, OpaqueCopiesAndLongTexts) {
  for (int32_t t : {kConvPOINT, kConvRECTANGLE, kConvCode156}) {
    Brut src(t), dst(t);
    for (int i = 0; i < 16; ++i) src.a[i] = static_cast<unsigned char>(i + 1);
    ASSERT_EQ(Conv(src, &dst), kConvOk);
    const int n = t == kConvPOINT ? 8 : t == kConvRECTANGLE ? 16 : 4;
    EXPECT_EQ(std::memcmp(dst.a, src.a, static_cast<size_t>(n)), 0);
    EXPECT_EQ(dst.a[n], 0);
  }
  // Work buffers beyond 1 KiB come from the heap.
  const std::string blancs(5000, ' ');
  for (int32_t type : {kConvDSTRA, kConvPSTRA}) {
    Brut src(type), cy(kConvCY), r8(kConvR8), dt(kConvDATETIME), du(kConvDUREE);
    SetTexte(&src, blancs + "12");
    ASSERT_EQ(Conv(src, &cy), kConvOk);
    ASSERT_EQ(Conv(src, &r8), kConvOk);
    EXPECT_EQ(r8.Get<double>(), 12.0);
    ASSERT_EQ(Conv(src, &dt), kConvOk);
    Brut longue(type);
    SetTexte(&longue, std::string(3000, '1'));
    ASSERT_EQ(Conv(longue, &du), 1);  // saturated, converted with loss
    EXPECT_EQ(du.Get<int64_t>(), INT64_MAX);
  }
}

}  // namespace
}  // namespace qg
