#include "dotnet/convert/conversion_dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "dotnet/convert/conversion_test_fixture.h"

namespace qg {
namespace {

const std::vector<int32_t> kCodes = {
    1,  2,  3,  4,  5,  6,  7,  8,   9,   10,  11,  12,  13,  14,  15,  16, 17, 18, 19, 20,
    24, 25, 26, 27, 28, 29, 30, 60, 81, 110, 128, 129, 134, 150, 151, 154, 155, 156, 167};
constexpr int32_t kInconnu = 200;

// The supported pairs, destination by destination, as the engine documents
// them (source codes listed out).
std::vector<int32_t> Acceptes(int32_t d) {
  const std::vector<int32_t> nombres = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  const std::vector<int32_t> textes = {16, 18, 19, 110};
  const std::vector<int32_t> cars = {17, 81};
  const std::vector<int32_t> dates = {24, 25, 128, 129};
  auto plus = [](std::vector<int32_t> a, std::initializer_list<int32_t> b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  auto joint = [](std::vector<int32_t> a, const std::vector<int32_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  std::vector<int32_t> base = joint(joint(nombres, textes), cars);
  switch (d) {
    case 1: case 10: return plus(base, {28, 167});
    case 2: case 3: case 6: case 7: return plus(joint(base, dates), {27, 28, 167});
    case 4: case 5: case 8: case 9: case 14: return plus(joint(base, dates), {27, 28, 167, 15});
    case 11: case 12: return plus(base, {27, 28, 167});
    case 13: return plus(base, {167});
    case 15: return {5, 8, 9, 14, 15};
    case 16: case 19:
      return plus(joint(base, dates), {15, 20, 134, 26, 27, 28, 30, 154, 155, 167});
    case 18: case 110: return plus(joint(base, dates), {15, 26, 27, 28, 30, 154, 155, 167});
    case 17: case 81: return plus(joint(base, dates), {20, 134, 28, 167});
    case 20: case 134: return {16, 19, 20, 134};
    case 24: case 128: return plus(textes, {8, 24, 128, 26, 28});
    case 25: case 129: return plus(textes, {8, 25, 129, 26, 28});
    case 26: return plus(joint(textes, dates), {8, 26, 28});
    case 27: return plus(textes, {4, 5, 8, 9, 11, 12, 14, 27, 28});
    case 28: {
      std::vector<int32_t> v = joint(joint(base, dates), {26, 27, 28, 29, 30, 154, 155, 167});
      v.erase(std::find(v.begin(), v.end(), 13));
      return v;
    }
    case 30: case 150: case 151: case 156: return {d};
    case 154: case 155: return plus(textes, {28, d});
    default: return {};
  }
}

// A source of each type whose value every accepting rule can convert.
void Source(ConversionTest* t, Brut* b) {
  (void)t;
  switch (b->t) {
    case kConvDECIMAL: {
      IDecimal* d = qghost::Runtime().Values().piCreateDecimal(0);
      b->Set(d);
      break;
    }
    case kConvDSTRW: case kConvSQLQUERYW: case kConvDSTRA: case kConvSQLQUERYA:
    case kConvPSTRW: case kConvPSTRA:
      ConversionTest::SetTexte(b, "20240517");
      break;
    case kConvDATEW: case kConvDATEA: ConversionTest::SetTexte(b, "20240517"); break;
    case kConvTIMEW: case kConvTIMEA: ConversionTest::SetTexte(b, "102030500"); break;
    case kConvBIN: ConversionTest::SetTexte(b, "0123456789abcdef"); break;
    case kConvCARA: b->a[0] = '7'; break;
    case kConvCARW: b->Set<char16_t>(u'7'); break;
    case kConvBUFFER: {
      static const char kOctets[4] = {1, 2, 3, 4};
      b->Set<const void*>(kOctets);
      const intptr_t n = 4;
      std::memcpy(b->a + sizeof(void*), &n, sizeof(n));
      break;
    }
    case kConvMEMOIMG: {
      auto* m = new MemoTest;
      m->m_clOctets.nAffecteOctets("ab", 2);
      b->Set<IMemoImage*>(m);
      break;
    }
    case kConvUUID_256: b->A().nRemplit32("\x11"); break;
    case kConvI4: break;  // 0: the only I4 a DATETIME takes
    default: b->Set<uint32_t>(1); break;
  }
}

TEST_F(ConversionTest, EveryPairIsAcceptedOrRefusedAsDocumented) {
  std::vector<int32_t> destinations = kCodes;
  destinations.push_back(kInconnu);
  std::vector<int32_t> sources = kCodes;
  sources.push_back(kInconnu);
  for (int32_t d : destinations) {
    const std::vector<int32_t> acceptes = Acceptes(d);
    for (int32_t s : sources) {
      Brut src(s);
      Source(this, &src);
      Brut dst(d);
      const int st = Conv(src, &dst, 0);
      const bool accepte = std::find(acceptes.begin(), acceptes.end(), s) != acceptes.end();
      EXPECT_EQ(bConversionSupportee(d, s), accepte) << d << " <- " << s;
      if (accepte) {
        EXPECT_TRUE(st != kConvNonSupporte && st != kConvNullFort) << d << " <- " << s << ": " << st;
      } else {
        const bool nullFort = s == kConvNULL_FORT && d != kConvUUID_256 && d != kConvCARA &&
                              d != kConvCARW;
        EXPECT_EQ(st, nullFort ? kConvNullFort : kConvNonSupporte) << d << " <- " << s;
      }
      if (st >= kConvMemoire && d == kConvDECIMAL) {
        EXPECT_EQ(dst.Get<void*>(), nullptr);
      }
    }
  }
}

TEST_F(ConversionTest, RefusalsOfTheirOwnKind) {
  Brut r8(kConvR8), nul(kConvNULL_FORT), i4(kConvI4), datew(kConvDATEW), hwnd(kConvHWND);
  r8.Set(1.5);
  i4.Set<int32_t>(3);
  hwnd.Set<int32_t>(-2);
  ConversionTest::SetTexte(&datew, "20240517");
  {
    Brut d(kConvDATEW);
    EXPECT_EQ(Conv(r8, &d), kConvNonSupporte);
    EXPECT_EQ(Conv(nul, &d), kConvNullFort);
  }
  {
    Brut d(kConvUUID_256);
    EXPECT_EQ(Conv(i4, &d), kConvNonSupporte);
    EXPECT_EQ(d.Get<void*>(), nullptr);
    EXPECT_EQ(Conv(nul, &d), kConvNonSupporte);
  }
  {
    Brut d(kConvDECIMAL);
    EXPECT_EQ(Conv(datew, &d), kConvNonSupporte);
    EXPECT_EQ(d.Get<void*>(), nullptr);
    EXPECT_EQ(qghost::Runtime().Values().nLiveDecimals(), 0);
  }
  {
    Brut d(kConvBOOL);
    EXPECT_EQ(Conv(hwnd, &d), kConvNonSupporte);
    Brut e(kConvI8);
    EXPECT_EQ(Conv(hwnd, &e), kConvOk);
    EXPECT_EQ(e.Get<int64_t>(), -2);
  }
  {
    Brut buffer(kConvBUFFER), d(kConvBIN), e(kConvBUFFER);
    EXPECT_EQ(Conv(buffer, &d), kConvOk);
    EXPECT_EQ(Conv(i4, &e), kConvNonSupporte);
  }
  {
    // Only the low 16 bits of the type arguments count.
    Brut d(kConvI8);
    EXPECT_EQ(nConversionDepassement(i4.a, 0x10000 | kConvI4, d.a, 0x70000 | kConvI8, 0, nullptr),
              kConvOk);
    EXPECT_EQ(d.Get<int64_t>(), 3);
  }
}

TEST_F(ConversionTest, CodePageComesFromTheLocaleOnlyWhenNoneIsGiven) {
  qghost::InfoLocale& locale = qghost::Runtime().Locale();
  locale.SetCodePage(1251);
  EXPECT_EQ(nGetCodePageConversion(nullptr), 1251);
  int32_t zero = 0;
  EXPECT_EQ(nGetCodePageConversion(&zero), 0);
  // 0xC0 is "A" with grave in 1252 and Cyrillic A in 1251.
  Brut src(kConvPSTRA);
  SetPA(&src, "\xC0");
  {
    Brut d(kConvPSTRW);
    ASSERT_EQ(Conv(src, &d), kConvOk);
    EXPECT_EQ(d.TexteW(), u"\u0410");
  }
  {
    Brut d(kConvPSTRW);
    ASSERT_EQ(Conv(src, &d, 0, &zero), kConvOk);
    EXPECT_EQ(d.TexteW(), u"\u00C0");
  }
  locale.SetCodePage(1252);
}

TEST_F(ConversionTest, ErrorValueGivesZeroOfEveryDestination) {
  Brut err(kConvVALEUR_EN_ERREUR);
  for (int32_t d : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 17, 81}) {
    Brut dst(d);
    std::memset(dst.a, 0xAB, sizeof(dst.a));
    ASSERT_EQ(Conv(err, &dst), kConvOk) << d;
    const int width = d == 10 ? 10 : d == 14 ? 8 : (d == 2 || d == 6 || d == 17) ? 1
                    : (d == 3 || d == 7 || d == 81) ? 2 : (d == 5 || d == 9 || d == 12) ? 8 : 4;
    for (int i = 0; i < width; ++i) EXPECT_EQ(dst.a[i], 0) << d << " byte " << i;
  }
  for (int32_t d : {13, 16, 19, 28}) {
    Brut dst(d);
    EXPECT_EQ(Conv(err, &dst), kConvOk);
    EXPECT_EQ(dst.Get<void*>(), nullptr) << d;
  }
  for (int32_t d : {18, 110}) {
    Brut dst(d);
    EXPECT_EQ(Conv(err, &dst), kConvOk);
    ASSERT_NE(dst.Get<void*>(), nullptr) << d;
    if (d == kConvPSTRA) {
      EXPECT_EQ(dst.TexteA(), "");
    } else {
      EXPECT_EQ(dst.TexteW(), u"");
    }
  }
}

TEST_F(ConversionTest, FailuresLeaveNoOwnedPointer) {
  // A refused string allocation (host status passed through) and a date
  // text that is no date.
  Brut i4(kConvI4);
  i4.Set<int32_t>(42);
  qghost::Runtime().Strings().FailNthAllocation(1, 123);
  Brut d(kConvDSTRW);
  EXPECT_EQ(Conv(i4, &d), 123);
  EXPECT_EQ(d.Get<void*>(), nullptr);
  // No decimal object to create.
  qghost::Runtime().Values().FailNthDecimal(1);
  Brut dec(kConvDECIMAL);
  EXPECT_EQ(Conv(i4, &dec), kConvMemoire);
  EXPECT_EQ(dec.Get<void*>(), nullptr);
  // A UUID_256 that cannot be read frees its buffer.
  Brut texte(kConvDSTRW);
  SetW(&texte, u"zz");
  Brut u(kConvUUID_256);
  EXPECT_EQ(Conv(texte, &u), kConvUUID256Illisible);
  EXPECT_EQ(u.Get<void*>(), nullptr);
}

}  // namespace
}  // namespace qg
