#include "support/any_serial.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/any.h"
#include "support/any_holders.h"
#include "support/any_test_fixture.h"

namespace qg {
namespace {

class AnySerialTest : public AnyHostTest {};

// Byte-wise equality of two values through their raw copies.
void ExpectSameValue(const CAny& a, const CAny& b, const char* name) {
  EXPECT_EQ(a.GetType(), b.GetType()) << name;
  int na = 0;
  int nb = 0;
  a.pclHolder()->vnGetTailleSansFin(&na);
  b.pclHolder()->vnGetTailleSansFin(&nb);
  ASSERT_EQ(na, nb) << name;
  std::string ba(static_cast<size_t>(na), '\0');
  std::string bb(static_cast<size_t>(nb), '\0');
  a.pclHolder()->vnCopieSansFin(ba.data());
  b.pclHolder()->vnCopieSansFin(bb.data());
  EXPECT_EQ(ba, bb) << name;
}

struct Sample {
  const char* name;
  std::function<void(CAny&)> set;
};

std::vector<Sample> Samples() {
  return {
      {"empty", [](CAny&) {}},
      {"BOOL", [](CAny& v) { v.SetBOOL(1); }},
      {"UI1", [](CAny& v) { v.SetUI1(200); }},
      {"UI2", [](CAny& v) { v.SetUI2(60000); }},
      {"UI4", [](CAny& v) { v.SetUI4(4000000000u); }},
      {"UI8", [](CAny& v) { v.SetUI8(~uint64_t{0}); }},
      {"I1", [](CAny& v) { v.SetI1(-5); }},
      {"I2", [](CAny& v) { v.SetI2(-30000); }},
      {"I4", [](CAny& v) { v.SetI4(-2000000000); }},
      {"I8", [](CAny& v) { v.SetI8(-9000000000000000000); }},
      {"CY", [](CAny& v) {
         Fixe6 c;
         pFixe6DepuisChaine(&c, u"-123456789.987654");
         v.SetCY(c);
       }},
      {"R4", [](CAny& v) { v.SetR4(-1.25f); }},
      {"R8", [](CAny& v) { v.SetR8(3.141592653589793); }},
      {"UIX", [](CAny& v) { v.SetUIX(-77); }},
      {"DSTRW", [](CAny& v) { v.SetDSTRW(u"w\xE9ird \x4E2D"); }},
      {"DSTRW empty", [](CAny& v) { v.SetDSTRW(u""); }},
      {"DSTRW 149", [](CAny& v) {
         v.SetType(149);
         v.pclHolder()->vnSetWZ(u"\x4E2D\x6587");
       }},
      {"CARA", [](CAny& v) { v.SetCARA('q'); }},
      {"PSTRA", [](CAny& v) { v.SetPSTRA("heap 8"); }},
      {"DSTRA", [](CAny& v) { v.SetDSTRA("dyn 8"); }},
      {"DATEW", [](CAny& v) { v.SetDATEW(u"2024-02-29"); }},
      {"TIMEW", [](CAny& v) { v.SetTIMEW(u"23:59:58.765"); }},
      {"DATEA", [](CAny& v) { v.SetDATEA("1970-01-01"); }},
      {"TIMEA", [](CAny& v) { v.SetTIMEA("01:02"); }},
      {"DATETIME", [](CAny& v) { v.SetDATETIME(2031, 12, 24, 18, 30, 0, 5); }},
      {"DUREE", [](CAny& v) { v.SetDUREE(-86400000); }},
      {"BIN", [](CAny& v) {
         const char b[] = {0, 1, 2, 0, static_cast<char>(0xFF)};
         v.SetBIN(b, 5);
       }},
      {"CARW", [](CAny& v) { v.SetCARW(u'\x20AC'); }},
      {"PSTRW", [](CAny& v) { v.SetPSTRW(u"heap 16 \x20AC"); }},
      {"POINT", [](CAny& v) { v.SetPOINT(-3, 4); }},
      {"RECTANGLE", [](CAny& v) {
         const int32_t r[4] = {1, -2, 3, -4};
         v.SetRECTANGLE(r);
       }},
      {"UUID_128", [](CAny& v) {
         uint8_t id[16];
         for (int i = 0; i < 16; ++i) id[i] = static_cast<uint8_t>(0xA0 + i);
         v.SetUUID_128(id);
       }},
      {"UUID_256", [](CAny& v) {
         CXYString<char> b;
         const char x = 0x5A;
         b.nRemplit32(&x);
         v.SetUUID_256(b);
       }},
      {"DECIMAL", [](CAny& v) {
         v.SetType(kAnyDECIMAL);
         IDecimal* d = nullptr;
         v.nGetDECIMAL(&d);
         d->m_stFields.nPrecision = 20;
         d->m_stFields.nScale = 4;
         for (int i = 0; i < 16; ++i) d->m_stFields.abyMantissa[i] = static_cast<uint8_t>(i * 7);
       }},
      {"null I4 with 0x400", [](CAny& v) {
         v.SetI4(12);
         v.SetFlags(kAnyFlagNull | kAnyFlagCarried);
       }},
  };
}

TEST_F(AnySerialTest, ShortFormRoundTrip) {
  for (const Sample& s : Samples()) {
    CAny v;
    s.set(v);
    CByteVectorSink sink;
    ASSERT_TRUE(v.bEcritCourt(sink)) << s.name;
    CAny back;
    back.SetDSTRW(u"previous value");
    CByteSpanSource source(sink.Octets());
    ASSERT_TRUE(back.bLitCourt(source)) << s.name;
    EXPECT_EQ(source.nRestant(), 0u) << s.name;
    ExpectSameValue(v, back, s.name);
  }
}

// Reading a record where it lies gives what the stream read gives, at any
// alignment, for every type and for numbers stored with another width; a
// record cut short is refused and leaves the value alone.
TEST_F(AnySerialTest, InPlaceReadMatchesStreamRead) {
  std::vector<std::vector<uint8_t>> records;
  for (const Sample& s : Samples()) {
    CAny v;
    s.set(v);
    CByteVectorSink sink;
    ASSERT_TRUE(v.bEcritCourt(sink)) << s.name;
    records.push_back(sink.Octets());
  }
  records.push_back({kAnyI4, 0, 2, 0, 0, 0, 0xFE, 0xFF});                    // narrow I4
  records.push_back({kAnyI2, 0, 4, 0, 0, 0, 1, 2, 3, 4});                    // wide I2
  records.push_back({kAnyI4Alias, 0, 4, 0, 0, 0, 9, 0, 0, 0});               // alias of I4
  records.push_back({kAnyR8, 1, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F});  // null flag
  records.push_back({kAnyUI1, 4, 1, 0, 0, 0, 0x80});                        // carried flag
  for (size_t r = 0; r < records.size(); ++r) {
    const std::vector<uint8_t>& record = records[r];
    CAny expected;
    CByteSpanSource source(record);
    ASSERT_TRUE(expected.bLitCourt(source)) << r;
    for (size_t offset : {0, 1, 3}) {
      std::vector<uint8_t> bytes(offset, 0xCC);
      bytes.insert(bytes.end(), record.begin(), record.end());
      bytes.push_back(0xCC);  // a byte of whatever follows
      CAny back;
      back.SetDSTRW(u"previous value");
      size_t used = 0;
      ASSERT_TRUE(bLitCourtOctets(back, bytes.data() + offset, bytes.size() - offset, &used)) << r;
      EXPECT_EQ(used, record.size()) << r;
      ExpectSameValue(expected, back, std::to_string(r).c_str());
      for (size_t cut = 0; cut < record.size(); ++cut) {
        CAny kept;
        kept.SetI2(7);
        used = 99;
        EXPECT_FALSE(bLitCourtOctets(kept, bytes.data() + offset, cut, &used)) << r << " " << cut;
        EXPECT_EQ(used, 99u);
        int16_t i2 = 0;
        EXPECT_EQ(kept.nGetI2(&i2), kAnyOk);
        EXPECT_EQ(i2, 7);
      }
    }
  }
}

// A 4-byte UIX comes from a 32-bit writer: it is sign-extended to the
// pointer size, an 8-byte one read as it is.
TEST_F(AnySerialTest, ShortUixRecordsAreSignExtended) {
  struct Case {
    std::vector<uint8_t> bytes;
    intptr_t expected;
  };
  const Case cases[] = {
      {{kAnyUIX, 0, 4, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF}, -5},
      {{kAnyUIX, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}, 0x7FFFFFFF},
      {{kAnyUIX, 0, 8, 0, 0, 0, 0xFB, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, 0xFFFFFFFB},
  };
  for (const Case& c : cases) {
    CAny back;
    CByteSpanSource source(c.bytes);
    ASSERT_TRUE(back.bLitCourt(source));
    intptr_t v = 0;
    ASSERT_EQ(back.nGetUIX(&v), kAnyOk);
    EXPECT_EQ(v, c.expected);
  }
}

TEST_F(AnySerialTest, ShortFormLayout) {
  CAny v;
  v.SetI4(0x01020304);
  CByteVectorSink sink;
  ASSERT_TRUE(v.bEcritCourt(sink));
  const std::vector<uint8_t> expected = {8, 0, 4, 0, 0, 0, 4, 3, 2, 1};
  EXPECT_EQ(sink.Octets(), expected);

  v.SetDSTRA("ab");  // the 8-bit text with its terminator
  CByteVectorSink text;
  ASSERT_TRUE(v.bEcritCourt(text));
  const std::vector<uint8_t> expected_text = {19, 0, 3, 0, 0, 0, 'a', 'b', 0};
  EXPECT_EQ(text.Octets(), expected_text);
}

TEST_F(AnySerialTest, TaggedFormRoundTrip) {
  for (const Sample& s : Samples()) {
    CAny v;
    s.set(v);
    CByteVectorSink sink;
    ASSERT_TRUE(v.bEcritBalise(sink)) << s.name;
    const std::vector<uint8_t>& bytes = sink.Octets();
    ASSERT_GE(bytes.size(), 10u);
    uint16_t marker;
    uint32_t length;
    uint16_t version;
    std::memcpy(&marker, bytes.data(), 2);
    std::memcpy(&length, bytes.data() + 2, 4);
    std::memcpy(&version, bytes.data() + 6, 2);
    EXPECT_EQ(marker, 0x8001);
    EXPECT_EQ(length, bytes.size() - 6) << s.name;
    EXPECT_EQ(version, 4);
    CAny back;
    back.SetR8(1);
    CByteSpanSource source(bytes);
    ASSERT_TRUE(back.bLitBalise(source)) << s.name;
    if (v.nGetCode() == kAnyPOINT || v.nGetCode() == kAnyRECTANGLE) {
      // The tagged form has no value bytes for these: the type comes back empty.
      EXPECT_EQ(back.GetType(), v.GetType());
      continue;
    }
    ExpectSameValue(v, back, s.name);
  }
}

TEST_F(AnySerialTest, TaggedFormLayout) {
  CAny v;
  v.SetUIX(-2);  // pointer-sized, written as 8 bytes sign-extended
  CByteVectorSink sink;
  ASSERT_TRUE(v.bEcritBalise(sink));
  const std::vector<uint8_t> expected = {0x01, 0x80, 12, 0, 0, 0, 4, 0, 14, 0,
                                         0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(sink.Octets(), expected);

  v.SetTIMEW(u"12:30");  // nine 8-bit digits
  CByteVectorSink time;
  ASSERT_TRUE(v.bEcritBalise(time));
  std::string digits(time.Octets().begin() + 10, time.Octets().end());
  EXPECT_EQ(digits, "123000000");
}

TEST_F(AnySerialTest, ReferenceTypesCarryNoPointer) {
  class Obj final : public IAnyObject {
   public:
    int32_t AddRef() override { return ++refs; }
    int32_t Release() override { return --refs; }
    int refs = 1;
  } obj;
  const char block[] = "not owned";
  const std::function<void(CAny&)> sets[] = {
      [&](CAny& v) { v.SetBUFFER(block, 9); },
      [&](CAny& v) { v.SetINTERFACE(static_cast<IAnyObject*>(&obj)); },
      [&](CAny& v) { v.SetOBJET_BASE(142, static_cast<IAnyObject*>(&obj)); },
      [&](CAny& v) { v.SetType(kAnyOBJET_MDPS); },
  };
  for (const auto& set : sets) {
    CAny v;
    set(v);
    CByteVectorSink sink;
    ASSERT_TRUE(v.bEcritCourt(sink));
    ASSERT_EQ(sink.Octets().size(), 6u);  // type word and length 0
    EXPECT_EQ(sink.Octets()[2] | sink.Octets()[3] | sink.Octets()[4] | sink.Octets()[5], 0);
  }
  // A file that does carry bytes for a pointer type: they are skipped and
  // never taken as an address.
  std::vector<uint8_t> forged = {29, 0, 16, 0, 0, 0};
  for (int i = 0; i < 16; ++i) forged.push_back(0x41);
  forged.push_back(8);  // next record follows
  CAny v;
  CByteSpanSource source(forged);
  ASSERT_TRUE(v.bLitCourt(source));
  AnyBuffer b{block, 1};
  ASSERT_EQ(v.nGetBUFFER(&b), kAnyOk);
  EXPECT_EQ(b.pData, nullptr);
  EXPECT_EQ(b.nSize, 0);
  EXPECT_EQ(source.nRestant(), 1u);
  EXPECT_EQ(obj.refs, 1);
}

TEST_F(AnySerialTest, MalformedInputIsRefused) {
  CAny v;
  v.SetDSTRW(u"some text");
  CByteVectorSink shortform;
  CByteVectorSink tagged;
  ASSERT_TRUE(v.bEcritCourt(shortform));
  ASSERT_TRUE(v.bEcritBalise(tagged));
  for (size_t cut = 0; cut < shortform.Octets().size(); ++cut) {
    CAny r;
    CByteSpanSource source(shortform.Octets().data(), cut);
    if (cut >= 2) {
      EXPECT_FALSE(r.bLitCourt(source)) << cut;
    }
  }
  for (size_t cut = 0; cut < tagged.Octets().size(); ++cut) {
    CAny r;
    CByteSpanSource source(tagged.Octets().data(), cut);
    EXPECT_FALSE(r.bLitBalise(source)) << cut;
  }
  // A wrong marker, a newer version, a length past the end, a text without
  // its terminator.
  std::vector<uint8_t> bad = tagged.Octets();
  bad[0] = 0x02;
  CByteSpanSource s1(bad);
  CAny r;
  EXPECT_FALSE(r.bLitBalise(s1));
  bad = tagged.Octets();
  bad[6] = 5;
  CByteSpanSource s2(bad);
  EXPECT_FALSE(r.bLitBalise(s2));
  bad = tagged.Octets();
  bad[2] = static_cast<uint8_t>(bad[2] + 1);
  CByteSpanSource s3(bad);
  EXPECT_FALSE(r.bLitBalise(s3));
  bad = tagged.Octets();
  bad.resize(bad.size() - 2);
  bad[2] = static_cast<uint8_t>(bad[2] - 2);
  CByteSpanSource s4(bad);
  EXPECT_FALSE(r.bLitBalise(s4));
  std::vector<uint8_t> huge = {16, 0, 0xFF, 0xFF, 0xFF, 0x7F};
  CByteSpanSource s5(huge);
  EXPECT_FALSE(r.bLitCourt(s5));
}

}  // namespace
}  // namespace qg
