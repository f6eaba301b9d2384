#include "support/any.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <typeinfo>

#include "host/core/host_runtime.h"
#include "support/any_holders.h"
#include "support/any_test_fixture.h"
#include "support/platform/clock.h"

namespace qg {
namespace {

class AnyTest : public AnyHostTest {};

std::u16string Texte(const CAny& v) {
  CXYString<char16_t> s;
  EXPECT_LT(v.nGetTexte(&s), kHostErrorFirst);
  return std::u16string(s.pszGet(), static_cast<size_t>(s.nTaille()));
}

TEST(AnyDateTimeNow, SetMaintenantUTCReadsTheUtcClock) {
  qg::FakeClock fake;
  fake.SetUtc(qg::SystemTime{2024, 2, 4, 29, 23, 59, 58, 990});
  qg::AnyDateTime dt{};
  qg::SetMaintenantUTC(&dt);
  EXPECT_EQ(dt.nYear, 2024);
  EXPECT_EQ(dt.nMonth, 2);
  EXPECT_EQ(dt.nDay, 29);
  EXPECT_EQ(dt.nMilliseconds, 86398990u);
}

TEST_F(AnyTest, EmptyValueAndSetType) {
  CAny v;
  EXPECT_EQ(v.GetType(), 0);
  EXPECT_EQ(typeid(*v.pclHolder()), typeid(CAny_Intern));
  EXPECT_EQ(sizeof(CAny), 48u);

  struct Case {
    int code;
    uint16_t stored;
    const std::type_info& holder;
  } cases[] = {
      {15, 8, typeid(CAny_ZQI4)},
      {148, 148, typeid(CAny_ZQDSTRW)},
      {149, 149, typeid(CAny_ZQDSTRW)},
      {16, 16, typeid(CAny_ZQDSTRW)},
      {135, 135, typeid(CAny_ZQOBJET_BASE)},
      {10, 10, typeid(CAny_ZQCY)},
      {200, 0, typeid(CAny_Intern)},
      {20, 0, typeid(CAny_Intern)},
  };
  for (const Case& c : cases) {
    CAny a;
    a.SetType(c.code);
    EXPECT_EQ(a.GetType(), c.stored) << c.code;
    EXPECT_EQ(typeid(*a.pclHolder()), c.holder) << c.code;
  }
}

TEST_F(AnyTest, SetTypeKeepsOrResetsTheValue) {
  CAny v;
  v.SetI4(42);
  v.SetType(8);  // same type word: value kept
  int32_t i = 0;
  EXPECT_EQ(v.nGetI4(&i), kAnyOk);
  EXPECT_EQ(i, 42);
  v.SetType(12);  // another code: empty value of the new type
  double r = 1;
  EXPECT_EQ(v.nGetR8(&r), kAnyOk);
  EXPECT_EQ(r, 0.0);
  v.SetNull(true);
  v.SetType(12);  // the type word (flags included) differs: a fresh value
  EXPECT_EQ(v.GetType(), 12);

  CAny t;
  t.SetType(kAnyTIMEW);
  const char16_t* text = nullptr;
  ASSERT_EQ(t.nGetPCXSTR(&text), kAnyOk);
  EXPECT_EQ(std::u16string(text), u"000000000");
  t.SetType(kAnyDATEW);
  ASSERT_EQ(t.nGetPCXSTR(&text), kAnyOk);
  EXPECT_EQ(std::u16string(text), u"");
}

TEST_F(AnyTest, SettersClearBothFlags) {
  CAny v;
  auto flagged = [&]() {
    v.SetFlags(kAnyFlagNull | kAnyFlagCarried);
    EXPECT_EQ(v.GetType() & kAnyFlagsKept, kAnyFlagsKept);
  };
  flagged(); v.SetBOOL(1);          EXPECT_EQ(v.GetType(), kAnyBOOL);
  flagged(); v.SetI4(1);            EXPECT_EQ(v.GetType(), kAnyI4);
  flagged(); v.SetI4(2);            EXPECT_EQ(v.GetType(), kAnyI4);  // same code, flags set
  flagged(); v.SetUI8(1);           EXPECT_EQ(v.GetType(), kAnyUI8);
  flagged(); v.SetR8(1);            EXPECT_EQ(v.GetType(), kAnyR8);
  flagged(); v.SetCY(Fixe6{});      EXPECT_EQ(v.GetType(), kAnyCY);
  flagged(); v.SetDSTRW(u"x");      EXPECT_EQ(v.GetType(), kAnyDSTRW);
  flagged(); v.SetPSTRA("x");       EXPECT_EQ(v.GetType(), kAnyPSTRA);
  flagged(); v.SetTIMEW(u"12:30");  EXPECT_EQ(v.GetType(), kAnyTIMEW);
  flagged(); v.SetMEMOIMG(nullptr); EXPECT_EQ(v.GetType(), kAnyMEMOIMG);
  flagged(); v.SetDECIMAL(nullptr); EXPECT_EQ(v.GetType(), kAnyDECIMAL);
}

TEST_F(AnyTest, GettersReportNullAndWrongType) {
  CAny v;
  int32_t i = 7;
  EXPECT_EQ(v.nGetI4(&i), kAnyWrongType);
  v.SetI4(5);
  double r = 0;
  EXPECT_EQ(v.nGetR8(&r), kAnyWrongType);
  v.SetNull(true);
  EXPECT_EQ(v.nGetI4(&i), kAnyNull);
  EXPECT_EQ(v.nGetR8(&r), kAnyNull);  // null is reported before the type
  v.SetI8(std::numeric_limits<int64_t>::min());
  int64_t l = 0;
  EXPECT_EQ(v.nGetI8(&l), kAnyOk);
  EXPECT_EQ(l, std::numeric_limits<int64_t>::min());
}

TEST_F(AnyTest, CopyCarriesFlags) {
  CAny a;
  a.SetI4(9);
  a.SetNull(true);
  CAny b;
  b.SetDSTRW(u"replaced");
  b = a;
  EXPECT_EQ(b.GetType(), kAnyI4 | kAnyFlagNull);
  a.SetI4(3);
  a.SetFlags(kAnyFlagCarried);
  CAny c(a);
  EXPECT_EQ(c.GetType(), kAnyI4 | kAnyFlagCarried);
  int32_t i = 0;
  EXPECT_EQ(c.nGetI4(&i), kAnyOk);
  EXPECT_EQ(i, 3);
  c = c;  // self-assignment keeps the value
  EXPECT_EQ(c.nGetI4(&i), kAnyOk);
  EXPECT_EQ(i, 3);
}

TEST_F(AnyTest, TextsShareAndOwn) {
  CXYString<char16_t> shared(u"hello");
  {
    CAny a;
    a.SetDSTRW(shared);
    EXPECT_EQ(shared.nGetRefCount(), 2);
    CAny b = a;
    EXPECT_EQ(shared.nGetRefCount(), 3);
    CXYString<char16_t> out;
    EXPECT_EQ(b.nGetDSTRW(&out), kAnyOk);
    EXPECT_EQ(shared.nGetRefCount(), 4);
    a.SetI4(1);  // destroying a's text releases one reference
    EXPECT_EQ(shared.nGetRefCount(), 3);
  }
  EXPECT_EQ(shared.nGetRefCount(), 1);
  EXPECT_EQ(std::u16string(shared.pszGet()), u"hello");

  CAny p;
  char16_t heap[] = u"heap";
  p.SetPSTRW(heap);
  heap[0] = u'X';  // the value holds its own copy
  const char16_t* t = nullptr;
  EXPECT_EQ(p.nGetPSTRW(&t), kAnyOk);
  EXPECT_EQ(std::u16string(t), u"heap");
  CAny q = p;
  EXPECT_EQ(q.nGetPSTRW(&t), kAnyOk);
  EXPECT_EQ(std::u16string(t), u"heap");

  CAny s;
  s.SetType(148);
  s.pclHolder()->vnSetWZ(u"code 148");
  CAny s2 = s;
  EXPECT_EQ(s2.GetType(), 148);
  EXPECT_EQ(Texte(s2), u"code 148");
}

TEST_F(AnyTest, IncrementAtTheLimits) {
  struct Case {
    const char* name;
    void (*set)(CAny&);
    int inc;
    int expected;
  } cases[] = {
      {"UI1 255", [](CAny& v) { v.SetUI1(255); }, 1, 1},
      {"UI1 0 down", [](CAny& v) { v.SetUI1(0); }, -1, 1},
      {"UI1 5", [](CAny& v) { v.SetUI1(5); }, 1, 0},
      {"I1 127", [](CAny& v) { v.SetI1(127); }, 1, 1},
      {"I1 -128 down", [](CAny& v) { v.SetI1(-128); }, -1, 1},
      {"UI2 65535", [](CAny& v) { v.SetUI2(65535); }, 1, 1},
      {"I2 32767", [](CAny& v) { v.SetI2(32767); }, 1, 1},
      {"UI4 max", [](CAny& v) { v.SetUI4(0xFFFFFFFFu); }, 1, 1},
      {"I4 max", [](CAny& v) { v.SetI4(std::numeric_limits<int32_t>::max()); }, 1, 1},
      {"I4 min down", [](CAny& v) { v.SetI4(std::numeric_limits<int32_t>::min()); }, -1, 1},
      {"I8 max", [](CAny& v) { v.SetI8(std::numeric_limits<int64_t>::max()); }, 1, 1},
      {"I8 min down", [](CAny& v) { v.SetI8(std::numeric_limits<int64_t>::min()); }, -1, 1},
      {"I8 0", [](CAny& v) { v.SetI8(0); }, 1, 0},
      {"UI8 2^63-1", [](CAny& v) { v.SetUI8((uint64_t{1} << 63) - 1); }, 1, 1},
      {"UI8 max wraps", [](CAny& v) { v.SetUI8(~uint64_t{0}); }, 1, 1},
      {"UI8 0 down", [](CAny& v) { v.SetUI8(0); }, -1, 1},
      {"UIX max", [](CAny& v) { v.SetUIX(std::numeric_limits<intptr_t>::max()); }, 1, 1},
      {"R4 max", [](CAny& v) { v.SetR4(3.4028234663852886e38f); }, 1, 0},
      {"R4 inf", [](CAny& v) { v.SetR4(std::numeric_limits<float>::infinity()); }, 1, 1},
      {"R8 max", [](CAny& v) { v.SetR8(std::numeric_limits<double>::max()); }, 1, 0},
      {"BOOL", [](CAny& v) { v.SetBOOL(1); }, 1, kAnyWrongType},
      {"DSTRW", [](CAny& v) { v.SetDSTRW(u"1"); }, 1, kAnyWrongType},
      {"empty", [](CAny& v) { v.SetType(0); }, 1, kAnyWrongType},
  };
  for (const Case& c : cases) {
    CAny v;
    c.set(v);
    EXPECT_EQ(c.inc > 0 ? v.nIncremente() : v.nDecremente(), c.expected) << c.name;
  }
  CAny v;
  v.SetI8(std::numeric_limits<int64_t>::max());
  v.nIncremente();
  int64_t l = 0;
  v.nGetI8(&l);
  EXPECT_EQ(l, std::numeric_limits<int64_t>::min());  // wraps
  v.SetUI1(255);
  v.nIncremente();
  uint8_t b = 1;
  v.nGetUI1(&b);
  EXPECT_EQ(b, 0);

  Fixe6 one;
  pFixe6DepuisChaine(&one, u"1.5");
  v.SetCY(one);
  EXPECT_EQ(v.nIncremente(), 0);
  Fixe6 out;
  v.nGetCY(&out);
  char16_t text[kFixe6TextSize];
  EXPECT_EQ(std::u16string(pszFixe6VersChaine(text, out)), u"2.5");
}

TEST_F(AnyTest, FixedValuesReadOnlyTheBytesGiven) {
  CAny v;
  v.SetI8(-1);
  const uint8_t one = 7;
  v.pclHolder()->vnSetDepuis(&one, 1);  // a one-byte source: no over-read
  int64_t l = 0;
  v.nGetI8(&l);
  EXPECT_EQ(l, 7);

  uint8_t id[16];
  for (int i = 0; i < 16; ++i) id[i] = static_cast<uint8_t>(i + 1);
  v.SetUUID_128(id);
  uint8_t other[16] = {};
  v.pclHolder()->vnSetDepuis(other, 15);  // not 16 bytes: ignored
  uint8_t got[16] = {};
  v.pclHolder()->vnGetValeur(got);
  EXPECT_EQ(std::memcmp(got, id, 16), 0);
}

TEST_F(AnyTest, BufferCopyKeepsPointerAndSize) {
  const char block[] = "abcdef";
  CAny v;
  v.SetBUFFER(block, 6);
  CAny w = v;
  AnyBuffer b{};
  ASSERT_EQ(w.nGetBUFFER(&b), kAnyOk);
  EXPECT_EQ(b.pData, block);
  EXPECT_EQ(b.nSize, 6);
}

TEST_F(AnyTest, DecimalObjectsComeAndGoThroughTheService) {
  qghost::GlobalFactory& factory = qghost::Runtime().Values();
  int created = factory.nDecimalsCreated();
  {
    CAny d;
    d.SetType(kAnyDECIMAL);
    IDecimal* obj = nullptr;
    ASSERT_EQ(d.nGetDECIMAL(&obj), kAnyOk);
    ASSERT_NE(obj, nullptr);
    obj->m_stFields.nPrecision = 10;
    obj->m_stFields.nScale = 2;
    obj->m_stFields.abyMantissa[0] = 0x39;
    obj->m_stFields.abyMantissa[1] = 0x30;  // 12345 -> 123.45
    CAny e = d;
    IDecimal* copy = nullptr;
    ASSERT_EQ(e.nGetDECIMAL(&copy), kAnyOk);
    EXPECT_NE(copy, obj);  // its own object with the same fields
    EXPECT_EQ(std::memcmp(&copy->m_stFields, &obj->m_stFields, sizeof(DecimalFields)), 0);
    EXPECT_EQ(e.pclHolder()->vbEstPositif(), 1);
    copy->vNegate();
    EXPECT_EQ(e.pclHolder()->vbEstPositif(), 0);
  }
  EXPECT_EQ(factory.nDecimalsCreated() - created, 2);
}

TEST_F(AnyTest, PasswordObjectIsReleasedOnce) {
  qghost::GlobalFactory& factory = qghost::Runtime().Values();
  {
    CAny m;
    m.SetType(kAnyOBJET_MDPS);
    EXPECT_EQ(factory.nLivePasswordObjects(), 1);
    void* got = nullptr;
    ASSERT_EQ(m.nGetObjet(kAnyOBJET_MDPS, &got), kAnyOk);  // takes a reference
    static_cast<IPasswordObject*>(got)->Release();
    CAny n = m;
    EXPECT_EQ(factory.nLivePasswordObjects(), 2);
  }
}

// --- conversion ------------------------------------------------------------------

TEST_F(AnyTest, CastThroughTheHostKeepsTheFlags) {
  CAny v;
  v.SetI4(-1234);
  EXPECT_EQ(v.nCastTo(kAnyDSTRW), kAnyOk);
  EXPECT_EQ(v.GetType(), kAnyDSTRW);
  EXPECT_EQ(Texte(v), u"-1234");
  EXPECT_EQ(v.nCastTo(kAnyR8), kAnyOk);
  double r = 0;
  EXPECT_EQ(v.nGetR8(&r), kAnyOk);
  EXPECT_EQ(r, -1234.0);
  v.SetFlags(kAnyFlagCarried);
  EXPECT_EQ(v.nConvertType(15), kAnyOk);
  EXPECT_EQ(v.GetType(), kAnyI4 | kAnyFlagCarried);

  CAny n;
  n.SetI4(0);
  n.SetNull(true);
  EXPECT_EQ(n.nCastTo(kAnyDSTRW), kAnyOk);
  EXPECT_EQ(n.GetType(), kAnyDSTRW | kAnyFlagNull);

  CAny f;
  f.SetDATETIME(2024, 5, 6, 7, 8, 9, 10);  // the stand-in host has no such pair
  EXPECT_EQ(f.nCastTo(kAnyI4), qghost::kStatusUnsupported);
  EXPECT_EQ(f.GetType(), kAnyDATETIME);
  AnyDateTime dt{};
  EXPECT_EQ(f.nGetDATETIME(&dt), kAnyOk);
  EXPECT_EQ(dt.nYear, 2024);
  EXPECT_EQ(dt.nMilliseconds, 7u * 3600000 + 8 * 60000 + 9 * 1000 + 10);
}

int32_t g_convert_calls = 0;
int32_t CountingConvert(const void* s, int32_t st, void* d, int32_t dt) {
  ++g_convert_calls;
  return qghost::ConversionDepassementExt(s, st, d, dt, 1, 0);
}
void PlainRelease(void* d, int32_t t) { qghost::FinConversion(d, t); }

TEST_F(AnyTest, ConversionProviderIsChosenAtStartUp) {
  g_convert_calls = 0;
  SetAnyConversionProvider(AnyConversionProvider{&CountingConvert, &PlainRelease});
  CAny v;
  v.SetUI2(7);
  EXPECT_EQ(Texte(v), u"7");
  EXPECT_EQ(v.nCastTo(kAnyI8), kAnyOk);
  EXPECT_EQ(g_convert_calls, 2);
  ResetAnyConversionProvider();
  int host_calls = qghost::Runtime().nConversionCalls();
  EXPECT_EQ(v.nCastTo(kAnyDSTRW), kAnyOk);
  EXPECT_EQ(qghost::Runtime().nConversionCalls(), host_calls + 1);
  EXPECT_EQ(g_convert_calls, 2);
}

TEST_F(AnyTest, TextOfValues) {
  CAny v;
  v.SetCARW(u'Z');
  EXPECT_EQ(Texte(v), u"Z");  // the holder's own text, no conversion
  v.SetDATEW(u"2024-05-06");
  EXPECT_EQ(Texte(v), u"20240506");
  v.SetR8(2.5);
  EXPECT_EQ(Texte(v), u"2.5");
  v.SetDSTRA("eight-bit");
  EXPECT_EQ(Texte(v), u"eight-bit");
}

TEST_F(AnyTest, CompareThroughTheHost) {
  CAny a;
  CAny b;
  a.SetI4(3);
  b.SetR8(4.5);
  int32_t order = 99;
  EXPECT_EQ(a.nCompare(b, &order), kAnyOk);
  EXPECT_EQ(order, -1);
  EXPECT_EQ(b.nCompare(a, &order), kAnyOk);
  EXPECT_EQ(order, 1);
  a.SetDSTRW(u"abc");
  b.SetDSTRW(u"abc");
  EXPECT_EQ(a.nCompare(b, &order), kAnyOk);
  EXPECT_EQ(order, 0);
  b.SetNull(true);
  order = 99;
  EXPECT_EQ(a.nCompare(b, &order), kAnyNull);
  EXPECT_EQ(order, 99);
  b.SetDATETIME(AnyDateTime{});
  EXPECT_EQ(a.nCompare(b, &order), qghost::kStatusUnsupported);
}

}  // namespace
}  // namespace qg
