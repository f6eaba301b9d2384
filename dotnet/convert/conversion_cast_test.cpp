#include "dotnet/convert/conversion_cast.h"

#include <gtest/gtest.h>

#include "dotnet/convert/conversion_test_fixture.h"
#include "dotnet/convert/datetime.h"

namespace qg {
namespace {

TEST_F(ConversionTest, CastKeepsTheFlags) {
  CAny v;
  v.SetI4(7);
  v.SetNull(true);
  v.SetFlags(kAnyFlagCarried);
  ASSERT_EQ(nCastTo(v, kConvR8), kConvOk);
  EXPECT_EQ(v.nGetCode(), kConvR8);
  EXPECT_TRUE(v.bEstNull());
  EXPECT_TRUE(v.GetType() & kAnyFlagCarried);
  v.SetNull(false);
  double r = 0;
  ASSERT_EQ(v.nGetR8(&r), kAnyOk);
  EXPECT_EQ(r, 7.0);
  // The same type: nothing is touched, not even the flags.
  v.SetNull(true);
  const uint16_t avant = v.GetType();
  EXPECT_EQ(nCastTo(v, kConvR8), kConvOk);
  EXPECT_EQ(v.GetType(), avant);
}

TEST_F(ConversionTest, CastTextsAndFailures) {
  CAny v;
  v.SetDSTRW(u"12");
  ASSERT_EQ(nCastTo(v, kConvI4), kConvOk);
  int32_t n = -1;
  ASSERT_EQ(v.nGetI4(&n), kAnyOk);
  EXPECT_EQ(n, 12);
  CAny t;
  t.SetDSTRW(u"abc");
  ASSERT_EQ(nCastTo(t, kConvI4), kConvOk);
  ASSERT_EQ(t.nGetI4(&n), kAnyOk);
  EXPECT_EQ(n, 0);
  // A failure leaves type, value and flags.
  CAny d;
  d.SetDATEW(u"20240230");
  d.SetFlags(kAnyFlagCarried);
  const uint16_t avant = d.GetType();
  EXPECT_EQ(nCastTo(d, kConvI4), kConvDateInvalide);
  EXPECT_EQ(d.GetType(), avant);
  const char16_t* texte = nullptr;
  ASSERT_EQ(d.nGetPCXSTR(&texte), kAnyOk);
  EXPECT_EQ(std::u16string(texte), u"20240230");
}

TEST_F(ConversionTest, CastThroughOwnedValues) {
  CAny v;
  v.SetI8(-42);
  ASSERT_EQ(nCastTo(v, kConvDECIMAL), kConvOk);
  ASSERT_EQ(nCastTo(v, kConvPSTRA), kConvOk);
  const char* pa = nullptr;
  ASSERT_EQ(v.nGetPSTRA(&pa), kAnyOk);
  EXPECT_STREQ(pa, "-42");
  ASSERT_EQ(nCastTo(v, kConvPSTRW), kConvOk);
  ASSERT_EQ(nCastTo(v, kConvBIN), kConvOk);
  ASSERT_EQ(nCastTo(v, kConvDSTRA), kConvOk);  // takes the BIN buffer over
  CXYString<char> s;
  ASSERT_EQ(v.nGetDSTRA(&s), kAnyOk);
  ASSERT_EQ(s.nGetByteLength(), 6);  // the UTF-16 bytes of "-42"
  EXPECT_EQ(std::string(s.pszGet(), 6), std::string("-\0" "4\0" "2\0", 6));
  s.Libere();
  ASSERT_EQ(nCastTo(v, kConvUUID_256), kConvUUID256Illisible);
  EXPECT_EQ(v.nGetCode(), kConvDSTRA);
  // Date into DATETIME with the destination kept: the temporary starts
  // zeroed, so the time is 0.
  CAny date;
  date.SetDATEW(u"20240517");
  ASSERT_EQ(nCastTo(date, kConvDATETIME, nullptr, CONVERSION_GARDE_DATEHEURE), kConvOk);
  AnyDateTime dt{};
  ASSERT_EQ(date.nGetDATETIME(&dt), kAnyOk);
  EXPECT_EQ(dt.nYear, 2024);
  EXPECT_EQ(dt.nDay, 17);
  EXPECT_EQ(dt.nMilliseconds, 0u);
}

TEST_F(ConversionTest, HostEntryLeavesABinaryTextSourceWhole) {
  // The host's form, which CAny::nGetTexte uses on a value it must keep.
  CAny bin;
  bin.SetBIN("a\0b\0", 4);
  CXYString<char16_t> texte;
  ASSERT_EQ(bin.nGetTexte(&texte), kAnyOk);
  EXPECT_EQ(std::u16string(texte.pszGet()), u"ab");
  texte.Libere();
  CXYString<char> octets;
  ASSERT_EQ(bin.nGetBIN(&octets), kAnyOk);
  EXPECT_EQ(octets.nGetByteLength(), 4);
  octets.Libere();
}

TEST_F(ConversionTest, CastWithACodePage) {
  int32_t cp1251 = 1251;
  int32_t cp1252 = 1252;
  CAny a, b;
  a.SetDSTRW(u"\u0410");
  b.SetDSTRW(u"\u0410");
  ASSERT_EQ(nCastTo(a, kConvDSTRA, &cp1251, 0), kConvOk);
  ASSERT_EQ(nCastTo(b, kConvDSTRA, &cp1252, 0), kConvOk);
  CXYString<char> sa, sb;
  ASSERT_EQ(a.nGetDSTRA(&sa), kAnyOk);
  ASSERT_EQ(b.nGetDSTRA(&sb), kAnyOk);
  EXPECT_EQ(std::string(sa.pszGet()), "\xC0");
  EXPECT_EQ(std::string(sb.pszGet()), "?");
  sa.Libere();
  sb.Libere();
}

TEST_F(ConversionTest, EngineServesCAnyOnceInstalled) {
  InstalleConversionMoteur();
  CAny v;
  v.SetTIMEW(u"010000000");
  ASSERT_EQ(v.nCastTo(kConvI4), kConvOk);
  int32_t n = 0;
  ASSERT_EQ(v.nGetI4(&n), kAnyOk);
  EXPECT_EQ(n, 360000);
  CAny r;
  r.SetR8(0.1);
  CXYString<char16_t> texte;
  ASSERT_EQ(r.nGetTexte(&texte), kAnyOk);
  EXPECT_EQ(std::u16string(texte.pszGet()), u"0.1");
  texte.Libere();
  CAny dec;
  dec.SetI4(5);
  ASSERT_EQ(dec.nCastTo(kConvDECIMAL), kConvOk);
  ASSERT_EQ(dec.nCastTo(kConvDSTRW), kConvOk);
  EXPECT_EQ(dec.nCastTo(kConvUUID_128), kConvGUIDIllisible);
  // Reading the text of a BIN value leaves the value whole.
  CAny bin;
  bin.SetBIN("a\0b\0", 4);
  CXYString<char16_t> t2;
  ASSERT_EQ(bin.nGetTexte(&t2), kAnyOk);
  EXPECT_EQ(std::u16string(t2.pszGet()), u"ab");
  t2.Libere();
  CXYString<char> octets;
  ASSERT_EQ(bin.nGetBIN(&octets), kAnyOk);
  EXPECT_EQ(octets.nGetByteLength(), 4);
  octets.Libere();
  // Casting it takes the buffer over instead of copying it.
  CXYString<char> avant;
  ASSERT_EQ(bin.nGetBIN(&avant), kAnyOk);
  const char* pTampon = avant.pszGet();
  avant.Libere();
  ASSERT_EQ(bin.nCastTo(kConvDSTRW), kConvOk);
  CXYString<char16_t> apres;
  ASSERT_EQ(bin.nGetDSTRW(&apres), kAnyOk);
  EXPECT_EQ(static_cast<const void*>(apres.pszGet()), static_cast<const void*>(pTampon));
  EXPECT_EQ(std::u16string(apres.pszGet()), u"ab");
  apres.Libere();
  ResetAnyConversionProvider();
}

}  // namespace
}  // namespace qg
