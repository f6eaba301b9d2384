#include "driver/core/value_bridge.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/core/calc_entries.h"
#include "support/any_test_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The stand-in host, made to refuse what the tests need refused (anything
// from BIN, anything to UUID_128), with PSTRW temporaries made from its
// DSTRW ones (a malloc'd text freed on release).
int32_t ConvertWithText(const void* source, int32_t source_type, void* destination,
                        int32_t destination_type) {
  if ((source_type & 0xFF) == qg::kAnyBIN || (destination_type & 0xFF) == qg::kAnyUUID_128) {
    return qghost::kStatusUnsupported;
  }
  if ((destination_type & 0xFF) != qg::kAnyPSTRW) {
    return qghost::ConversionDepassementExt(source, source_type, destination, destination_type,
                                            1, 0);
  }
  char16_t* dstr = nullptr;
  int32_t status =
      qghost::ConversionDepassementExt(source, source_type, &dstr, qg::kAnyDSTRW, 1, 0);
  if (status >= qg::kHostErrorFirst) return status;
  std::u16string text = dstr != nullptr ? std::u16string(dstr) : std::u16string();
  qghost::FinConversion(&dstr, qg::kAnyDSTRW);
  auto* copy = static_cast<char16_t*>(std::malloc((text.size() + 1) * sizeof(char16_t)));
  text.copy(copy, text.size());
  copy[text.size()] = 0;
  std::memcpy(destination, &copy, sizeof(copy));
  return status;
}

void ReleaseWithText(void* destination, int32_t type) {
  if ((type & 0xFF) != qg::kAnyPSTRW) {
    qghost::FinConversion(destination, type);
    return;
  }
  char16_t* text = nullptr;
  std::memcpy(&text, destination, sizeof(text));
  std::free(text);
}

class ValueBridge : public qg::AnyHostTest {
 protected:
  static int32_t Equal(const void* a, int32_t ta, const void* b, int32_t tb, void* result,
                       intptr_t, intptr_t) {
    return qghost::CalcEntry(qg::kCalcEgalite, a, ta, b, tb, result);
  }
  void SetUp() override {
    AnyHostTest::SetUp();
    qg::Services().apfnCalc[qg::kCalcEgalite] = &Equal;
    qg::SetAnyConversionProvider({&ConvertWithText, &ReleaseWithText});
  }
  static int Conversions() { return qghost::Runtime().nConversionCalls(); }
};

TEST_F(ValueBridge, ConversionInPlace) {
  CAny v;
  v.SetI4(42);
  int before = Conversions();
  EXPECT_EQ(0, nNAConvertType(v, qg::kAnyI4));  // own type: the host is not asked
  EXPECT_EQ(before, Conversions());

  EXPECT_EQ(0, nNAConvertType(v, qg::kAnyDSTRW));
  CXYString<char16_t> text;
  ASSERT_EQ(0, v.nGetDSTRW(&text));
  EXPECT_EQ(std::u16string(u"42"), text.pszGet());

  // A failed conversion returns the host's code and leaves the value.
  v.SetI4(7);
  EXPECT_EQ(qghost::kStatusUnsupported, nNAConvertType(v, qg::kAnyUUID_128));
  int32_t i = 0;
  EXPECT_EQ(0, v.nGetI4(&i));
  EXPECT_EQ(7, i);

  // Null and 0x400 survive.
  v.SetFlags(qg::kAnyFlagNull | qg::kAnyFlagCarried);
  EXPECT_EQ(0, nNAConvertType(v, qg::kAnyR8));
  EXPECT_EQ(qg::kAnyR8 | qg::kAnyFlagNull | qg::kAnyFlagCarried, v.GetType());

  // A text into a value area of another type.
  int32_t number = 0;
  EXPECT_EQ(0, nNAConvertText(u"123", &number, qg::kAnyI4));
  EXPECT_EQ(123, number);
}

TEST_F(ValueBridge, ComparisonEqualityDifference) {
  CAny a;
  CAny b;
  struct Case {
    int32_t a;
    double b;
    int32_t order, equal, different;
  } cases[] = {{3, 3.0, 0, 1, 0}, {2, 5.0, -1, 0, 1}, {9, -1.0, 1, 0, 1}};
  for (const Case& c : cases) {
    a.SetI4(c.a);
    b.SetR8(c.b);
    int32_t order = 7, equal = 7, different = 7;
    EXPECT_EQ(0, nNACompare(a, b, &order));
    EXPECT_EQ(0, nNAEqual(a, b, &equal));
    EXPECT_EQ(0, nNADifferent(a, b, &different));
    EXPECT_EQ(c.order, order);
    EXPECT_EQ(c.equal, equal);
    EXPECT_EQ(c.different, different);
  }
  b.SetNull(true);
  int32_t untouched = 7;
  EXPECT_EQ(qg::kAnyNull, nNACompare(a, b, &untouched));
  EXPECT_EQ(qg::kAnyNull, nNAEqual(b, a, &untouched));
  EXPECT_EQ(qg::kAnyNull, nNADifferent(a, b, &untouched));
  EXPECT_EQ(7, untouched);
}

Bytes Key(const CAny& v, int type, size_t size) {
  Bytes out(size, 0xEE);
  ptrdiff_t n = nAnyToKeyBuffer(v, out.data(), out.size(), type, 0, 0);
  EXPECT_GE(n, 0);
  return out;
}

TEST_F(ValueBridge, KeyImageOfANullValueLeavesTheValueAlone) {
  CAny null_i4;
  null_i4.SetI4(5);
  null_i4.SetNull(true);
  uint8_t* image = nullptr;
  // An empty PSTRW text: its terminator (2 bytes) in an image of 6.
  ptrdiff_t n = nAnyToKeyImage(null_i4, &image, 0, 0, 0, 0);
  ASSERT_NE(nullptr, image);
  EXPECT_EQ(2, n);
  EXPECT_EQ((Bytes{0, 0, 0, 0, 0, 0}), Bytes(image, image + 6));
  std::free(image);
  // The caller's value is still a null I4 holding 5.
  EXPECT_EQ(qg::kAnyI4 | qg::kAnyFlagNull, null_i4.GetType());
  null_i4.SetNull(false);
  int32_t i = 0;
  EXPECT_EQ(0, null_i4.nGetI4(&i));
  EXPECT_EQ(5, i);

  CAny empty;
  CAny text;
  text.SetPSTRW(u"");
  EXPECT_EQ(Key(text, 0, 6), Key(empty, 0, 6));
}

TEST_F(ValueBridge, KeyImagesByWantedType) {
  CAny v;
  v.SetBOOL(0x101);  // only the first byte counts
  EXPECT_EQ((Bytes{0x81}), Key(v, 0, 1));

  v.SetI4(1);
  EXPECT_EQ((Bytes{0x80, 0, 0, 1}), Key(v, 0, 4));
  // Converted to the wanted type first: I4 5 as a DSTRW text "5", its unit
  // high byte first.
  v.SetI4(5);
  EXPECT_EQ((Bytes{0, '5', 0, 0, 0, 0, 0, 0, 0, 0}), Key(v, qg::kAnyDSTRW, 10));
  // A text wanted as I8.
  v.SetPSTRW(u"-2");
  EXPECT_EQ((Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}), Key(v, qg::kAnyI8, 8));

  // Allocated to the size of the type: PSTRA "ab" takes 2 + 1 + 1 bytes.
  v.SetPSTRA("ab");
  uint8_t* image = nullptr;
  EXPECT_EQ(3, nAnyToKeyImage(v, &image, 0, 0, 0, 0));
  ASSERT_NE(nullptr, image);
  EXPECT_EQ((Bytes{'a', 'b', 0, 0}), Bytes(image, image + 4));
  std::free(image);
}

TEST_F(ValueBridge, DecimalKeysFollowTheValue) {
  // Converted to DECIMAL through the host, kept at two decimals.
  auto image = [](const char16_t* text) {
    CAny v;
    v.SetPSTRW(text);
    Bytes out(32, 0xEE);
    EXPECT_EQ(32, nAnyToKeyBuffer(v, out.data(), out.size(), qg::kAnyDECIMAL, 10, 2));
    return out;
  };
  EXPECT_LT(image(u"-12.5"), image(u"-1.25"));
  EXPECT_LT(image(u"-1.25"), image(u"0"));
  EXPECT_LT(image(u"0"), image(u"1.2"));
  EXPECT_LT(image(u"1.2"), image(u"1.25"));
  EXPECT_LT(image(u"1.25"), image(u"12"));
  EXPECT_EQ(image(u"1.2"), image(u"1.20"));
  Bytes zero(32, 0);
  zero[0] = 0x80;
  EXPECT_EQ(zero, image(u"0"));
  uint8_t* allocated = nullptr;
  CAny v;
  v.SetI4(7);
  EXPECT_EQ(32, nAnyToKeyImage(v, &allocated, 0, qg::kAnyDECIMAL, 10, 0));
  ASSERT_NE(nullptr, allocated);
  EXPECT_EQ(7, allocated[31]);
  std::free(allocated);
}

TEST_F(ValueBridge, KeyImageOfAnUnconvertibleValueWritesNothing) {
  CAny v;
  v.SetI4(3);
  Bytes out(8, 0xEE);
  EXPECT_EQ(kNAKeyNotConverted,
            nAnyToKeyBuffer(v, out.data(), out.size(), qg::kAnyUUID_128, 0, 0));
  EXPECT_EQ(Bytes(8, 0xEE), out);
  uint8_t* image = reinterpret_cast<uint8_t*>(&out);
  EXPECT_EQ(kNAKeyNotConverted, nAnyToKeyImage(v, &image, 0, qg::kAnyUUID_128, 0, 0));
  EXPECT_EQ(nullptr, image);
  // A class without an image allocates nothing either.
  v.SetBUFFER(out.data(), 8);
  EXPECT_EQ(0, nAnyToKeyImage(v, &image, 0, 0, 0, 0));
  EXPECT_EQ(nullptr, image);
}

std::u16string Text(const char16_t* prefix, const CAny* v, bool detail) {
  CXYString<char16_t> out;
  EXPECT_EQ(0, nNAValueText(out, prefix, v, detail));
  return out.pszGet();
}

TEST_F(ValueBridge, ValueTexts) {
  CAny v;
  EXPECT_EQ(u"k: <NULL>", Text(u"k: ", nullptr, false));
  EXPECT_EQ(u"<Empty>", Text(nullptr, &v, true));
  v.SetI4(42);
  EXPECT_EQ(u"k: 42", Text(u"k: ", &v, false));
  EXPECT_EQ(u"Type=8, Len=4, Value=42, Value(binary)=2A000000", Text(u"", &v, true));
  v.SetNull(true);
  EXPECT_EQ(u"<NULL>", Text(nullptr, &v, false));
  EXPECT_EQ(u"Type=8, Len=4, Value=<NULL>, Value(binary)=2A000000", Text(nullptr, &v, true));
  // The value is converted on a copy.
  EXPECT_EQ(qg::kAnyI4 | qg::kAnyFlagNull, v.GetType());

  // 600 bytes of binary: not convertible to text, and cut to 500 bytes.
  std::vector<uint8_t> bytes(600, 0xAB);
  v.SetBIN(bytes.data(), 600);
  std::u16string t = Text(nullptr, &v, true);
  const std::u16string head =
      u"Type=28, Len=600, Value=<ERROR>, Value(binary)=(first 500 bytes only) ";
  ASSERT_EQ(head.size() + 1000, t.size());
  EXPECT_EQ(head, t.substr(0, head.size()));
  EXPECT_EQ(std::u16string(1000 / 2, u'A'), [&] {
    std::u16string odd;
    for (size_t i = head.size(); i < t.size(); i += 2) odd.push_back(t[i]);
    return odd;
  }());
  EXPECT_EQ(u'B', t.back());
}

}  // namespace
