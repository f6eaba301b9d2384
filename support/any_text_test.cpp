#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

#include "host/core/calc_entries.h"
#include "support/any.h"
#include "support/any_test_fixture.h"

namespace qg {
namespace {

class AnyTextTest : public AnyHostTest {
 protected:
  void SetUp() override {
    AnyHostTest::SetUp();
    Messages()[25223] = u"True";
    Messages()[25209] = u"False";
    Messages()[25206] = u"EOT";
    Messages()[25221] = u"TAB";
    Messages()[25208] = u"ESC";
    Messages()[25220] = u"CRLF";
    Messages()[25944] = u"NBSP";
  }

  static std::u16string Display(const CAny& v, int expected_result) {
    CXYString<char16_t> out;
    EXPECT_EQ(v.nTexteAffichage(&out), expected_result);
    return std::u16string(out.pszGet(), static_cast<size_t>(out.nTaille()));
  }
};

std::u16string Digits(const CAny& v) {
  const char16_t* t = nullptr;
  EXPECT_EQ(v.nGetPCXSTR(&t), kAnyOk);
  return t;
}

TEST_F(AnyTextTest, TimeTexts) {
  struct Case {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"12:30", u"123000000"},
      {u"12:30:45", u"123045000"},
      {u"12:30:45.5", u"123045500"},
      {u"12:30:45.123", u"123045123"},
      {u"12:30:45.123456", u"123045123"},  // at most three digits of milliseconds
      {u"1230", u"123000000"},
      {u"123045678999", u"123045678"},
      {u"", u"000000000"},
  };
  for (const Case& c : cases) {
    CAny w;
    w.SetTIMEW(c.in);
    EXPECT_EQ(Digits(w), c.out);
    CAny a;
    std::string narrow(c.in, c.in + std::char_traits<char16_t>::length(c.in));
    a.SetTIMEA(narrow.c_str());
    const char* t = nullptr;
    ASSERT_EQ(a.pclHolder()->vnGetTexteA(&t), kAnyOk);
    EXPECT_EQ(std::u16string(t, t + std::strlen(t)), c.out) << narrow;
  }
}

TEST_F(AnyTextTest, DateTexts) {
  struct Case {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {
      {u"2024-05-06", u"20240506"},
      {u"20240506", u"20240506"},
      {u"2024/05/06", u"2024/05/"},  // not the dashed form: cut to 8
      {u"202405", u"202405"},
  };
  for (const Case& c : cases) {
    CAny w;
    w.SetDATEW(c.in);
    EXPECT_EQ(Digits(w), c.out);
    EXPECT_EQ(w.GetType(), kAnyDATEW);
  }
  CAny a;
  a.SetDATEA("1999-12-31");
  const char* t = nullptr;
  ASSERT_EQ(a.pclHolder()->vnGetTexteA(&t), kAnyOk);
  EXPECT_STREQ(t, "19991231");
}

// The stand-in host converts no currency: this provider does, and hands
// every other pair to the host.
int32_t ConvertWithCurrency(const void* source, int32_t source_type, void* destination,
                            int32_t destination_type) {
  if ((source_type & 0xFF) == kAnyCY && destination_type == kAnyDSTRW) {
    Fixe6 v;
    std::memcpy(&v, source, sizeof(v));
    char16_t text[kFixe6TextSize];
    new (destination) CXYString<char16_t>(pszFixe6VersChaine(text, v));  // released by FinConversion
    return 0;
  }
  return qghost::ConversionDepassementExt(source, source_type, destination, destination_type, 1,
                                          0);
}
void ReleaseWithCurrency(void* destination, int32_t type) { qghost::FinConversion(destination, type); }

TEST_F(AnyTextTest, NumbersGroupTheirDigits) {
  SetAnyConversionProvider(AnyConversionProvider{&ConvertWithCurrency, &ReleaseWithCurrency});
  const std::u16string nb(1, u'\xA0');
  struct Case {
    const char* name;
    void (*set)(CAny&);
    std::u16string out;
  } cases[] = {
      {"I4", [](CAny& v) { v.SetI4(1234567); }, u"1" + nb + u"234" + nb + u"567"},
      {"I4 negative", [](CAny& v) { v.SetI4(-123456); }, u"-123" + nb + u"456"},
      {"I4 short", [](CAny& v) { v.SetI4(999); }, u"999"},
      {"I8", [](CAny& v) { v.SetI8(-1000); }, u"-1" + nb + u"000"},
      {"UI8", [](CAny& v) { v.SetUI8(18446744073709551615u); },
       u"18" + nb + u"446" + nb + u"744" + nb + u"073" + nb + u"709" + nb + u"551" + nb + u"615"},
      {"UI2 not grouped", [](CAny& v) { v.SetUI2(65535); }, u"65535"},
      {"R8", [](CAny& v) { v.SetR8(-1234567.25); }, u"-1" + nb + u"234" + nb + u"567.25"},
      {"R8 exponent", [](CAny& v) { v.SetR8(1e300); }, u"1e+300"},
      {"R4", [](CAny& v) { v.SetR4(1234.5f); }, u"1" + nb + u"234.5"},
      {"CY", [](CAny& v) {
         Fixe6 c;
         pFixe6DepuisChaine(&c, u"-9876543.21");
         v.SetCY(c);
       }, u"-9" + nb + u"876" + nb + u"543.21"},
  };
  for (const Case& c : cases) {
    CAny v;
    c.set(v);
    EXPECT_EQ(Display(v, kAnyDisplayWhole), c.out) << c.name;
  }
}

TEST_F(AnyTextTest, BooleansNullsAndQuotes) {
  CAny v;
  v.SetBOOL(1);
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"True");
  v.SetBOOL(0);
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"False");
  v.SetBOOL(1);
  v.SetNull(true);
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"False");
  v.SetI4(5);
  v.SetNull(true);
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"Null");
  v.SetDSTRW(u"x");
  v.SetNull(true);
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"Null");
  v.SetPSTRW(u"heap\ttext");  // quoted, not rendered
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"\"heap\ttext\"");
  v.SetCARW(u'c');
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"\"c\"");
  CAny empty;
  EXPECT_EQ(Display(empty, kAnyDisplayWhole), u"");
}

TEST_F(AnyTextTest, TextsAreRenderedAndCut) {
  CAny v;
  v.SetDSTRW(u"a\tb\r\nc\rd\x01" u"e\x1B\x04" u"f\xA0g");
  EXPECT_EQ(Display(v, kAnyDisplayWhole),
            u"\"a<TAB>b<CRLF>c<13>d<1>e<ESC><EOT>f<NBSP>g\"");

  // 98 bytes of output at most: 49 characters.
  v.SetDSTRW(std::u16string(150, u'x').c_str());
  EXPECT_EQ(Display(v, kAnyDisplayCut), u"\"" + std::u16string(49, u'x') + u"\"");
  v.SetDSTRW(std::u16string(49, u'y').c_str());
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"\"" + std::u16string(49, u'y') + u"\"");
  // A name that would pass the limit is not started.
  v.SetDSTRW((std::u16string(46, u'z') + u"\tz").c_str());
  EXPECT_EQ(Display(v, kAnyDisplayCut), u"\"" + std::u16string(46, u'z') + u"\"");

  // Without message texts the character's number stands in.
  Messages().clear();
  v.SetDSTRW(u"\t");
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"\"<9>\"");
}

TEST_F(AnyTextTest, EightBitTextsAndBytes) {
  CAny v;
  v.SetDSTRA("caf\xE9");  // code page 1252 from the host's locale
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"\"caf\xE9\"");
  std::string long_text(120, 'q');
  v.SetDSTRA(long_text.c_str());
  EXPECT_EQ(Display(v, kAnyDisplayCut), u"\"" + std::u16string(49, u'q') + u"\"");
  const char bytes[] = {'A', 0, 'B'};
  v.SetBIN(bytes, 3);
  EXPECT_EQ(Display(v, kAnyDisplayWhole), u"A<0>B");  // bytes are not quoted
}

}  // namespace
}  // namespace qg
