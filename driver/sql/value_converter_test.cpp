#include "driver/sql/value_converter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/sql/column.h"
#include "support/any_test_fixture.h"

namespace {

class ValueConverter : public qg::AnyHostTest {
 protected:
  CNAValueConverter* Converter() {
    CNAValueConverter* c = NAAddRef(new CNAValueConverter(nullptr, 1252));
    made_.push_back(c);
    return c;
  }
  CNAColumn* Column(int type, int size, int digits = 0, int scale = 0) {
    CNAColumn* c = NAAddRef(new CNAColumn());
    c->Init(u"col", u"tab", nullptr, 1, size, type, 0, -1, 0, digits, scale);
    made_.push_back(c);
    return c;
  }
  // A kind-5 converter of `type` with a buffer of `size` bytes bound to a
  // column of `column_type`.
  CNAValueConverter* Buffered(int type, size_t size, int column_type = 0, int digits = 0,
                              int scale = 0) {
    CNAValueConverter* c = Converter();
    EXPECT_TRUE(c->bAllocateBuffer(type, size, nullptr));
    if (column_type != 0) c->BindColumns(Column(column_type, static_cast<int>(size), digits, scale), nullptr);
    return c;
  }
  static std::string Bytes(const CNAValueConverter* c) {
    return std::string(static_cast<const char*>(c->pGetData()), c->nGetCapacity());
  }
  static std::u16string Text(const CAny& value) {
    CXYString<char16_t> text;
    if (value.nGetTexte(&text) >= 100 || text.pszGet() == nullptr) return u"<error>";
    return text.pszGet();
  }
  void TearDown() override {
    for (CNARefCounted* o : made_) ReleaseBoth(o);
    AnyHostTest::TearDown();
  }
  std::vector<CNARefCounted*> made_;
};

TEST_F(ValueConverter, BufferKeepsRoomForItsTerminator) {
  struct Case { int type; size_t capacity; size_t stored; };
  const Case cases[] = {
      {16, 10, 8}, {18, 10, 9}, {16, 0, 0}, {16, 1, 0}, {16, 2, 0}, {18, 1, 0}, {18, 2, 1},
      {12, 10, 10},
  };
  const char data[] = "abcdefghijklmnop";
  for (const Case& c : cases) {
    CNAValueConverter* v = Buffered(c.type, c.capacity);
    ASSERT_TRUE(v->bSetBuffer(data, 16));
    EXPECT_EQ(static_cast<size_t>(v->nGetDataSize()), c.stored) << c.type << "/" << c.capacity;
    std::string bytes = Bytes(v);
    EXPECT_EQ(bytes.substr(0, c.stored), std::string(data, c.stored));
    EXPECT_EQ(bytes.substr(c.stored), std::string(c.capacity - c.stored, '\0'));
  }
}

TEST_F(ValueConverter, ServerBooleans) {
  struct Case { const char* text; size_t n; bool value; };
  const Case cases[] = {{"0", 1, false}, {"f", 1, false}, {"F", 1, false}, {"\0", 1, false},
                        {"T", 1, true}, {"1", 1, true}, {"true", 4, true}, {"false", 5, false}};
  for (const Case& c : cases) {
    CNAValueConverter* v = Converter();
    v->bSetType(1, 0);
    ASSERT_TRUE(v->bSetFromServerText(c.text, c.n, 1252, nullptr));
    CAny out;
    ASSERT_TRUE(v->bGetValue(out));
    int32_t b = -1;
    EXPECT_EQ(out.nGetBOOL(&b), 0);
    EXPECT_EQ(b, c.value ? 1 : 0) << c.text;
  }
  // Empty text stores nothing: the value stays as it was.
  CNAValueConverter* v = Converter();
  v->bSetType(1, 0);
  EXPECT_TRUE(v->bSetFromServerText("", 0, 1252, nullptr));
}

TEST_F(ValueConverter, ServerDatesIntoDateTimes) {
  struct Case { const char* text; int y, mo, d, h, mi, s, ms; };
  const Case cases[] = {
      {"20240131", 2024, 1, 31, 0, 0, 0, 0},
      {"20240131 10:20:30", 2024, 1, 31, 10, 20, 30, 0},
      {"20240131 10:20:30.5", 2024, 1, 31, 10, 20, 30, 500},
      {"20240131 10:20:30.05", 2024, 1, 31, 10, 20, 30, 50},
      {"20240131 10:20:30.789", 2024, 1, 31, 10, 20, 30, 789},
      {"20240131 10:20:30.123456", 2024, 1, 31, 10, 20, 30, 123},
      {"2024-01-31 10:20:30.123456", 2024, 1, 31, 10, 20, 30, 123},
      {"2024-01-31T10:20:30", 2024, 1, 31, 10, 20, 30, 0},
      {"2024-01-31", 2024, 1, 31, 0, 0, 0, 0},
      {"20240131102030", 2024, 1, 31, 10, 20, 30, 0},
      {"10:20", 0, 0, 0, 10, 20, 0, 0},
      {"10:20:30", 0, 0, 0, 10, 20, 30, 0},
      {"23:59:59.999", 0, 0, 0, 23, 59, 59, 999},
      {"1020", 0, 0, 0, 10, 20, 0, 0},
      {"102030", 0, 0, 0, 10, 20, 30, 0},
      {"00000000 00:00:00", 0, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    CNAValueConverter* v = Converter();
    v->bSetType(26, 0);
    ASSERT_TRUE(v->bSetFromServerText(c.text, std::strlen(c.text), 1252, nullptr)) << c.text;
    CAny out;
    ASSERT_TRUE(v->bGetValue(out));
    qg::AnyDateTime dt{};
    ASSERT_EQ(out.nGetDATETIME(&dt), 0) << c.text;
    EXPECT_EQ(dt.nYear, c.y) << c.text;
    EXPECT_EQ(dt.nMonth, c.mo) << c.text;
    EXPECT_EQ(dt.nDay, c.d) << c.text;
    EXPECT_EQ(dt.nMilliseconds,
              static_cast<uint32_t>(((c.h * 60 + c.mi) * 60 + c.s) * 1000 + c.ms)) << c.text;
  }
}

TEST_F(ValueConverter, UnknownOrOutOfRangeTimesAreErrors) {
  for (const char* text : {"-10:20:30", "100:00:00", "838:59:59", "24:00:00", "10:61:00",
                           "2024-13-01", "hello", "1", "20240131 10:20:30.1234567",
                           "2024-01-31 10:20", "20240131X10:20:30"}) {
    CNAValueConverter* v = Converter();
    v->bSetType(26, 0);
    EXPECT_FALSE(v->bSetFromServerText(text, std::strlen(text), 1252, nullptr)) << text;
  }
}

TEST_F(ValueConverter, ServerTimesIntoColumnLayouts) {
  // A time column of 10 bytes: HHMMSS, the fraction digits, '0' fill.
  CNAValueConverter* time = Buffered(26, 10, 11);
  ASSERT_TRUE(time->bSetFromServerText("2024-01-31 10:20:30.5", 21, 1252, nullptr));
  EXPECT_EQ(Bytes(time), std::string("102030500\0", 10));
  CAny out;
  ASSERT_TRUE(time->bGetValue(out));
  qg::AnyDateTime dt{};
  out.nGetDATETIME(&dt);
  EXPECT_EQ(dt.nMilliseconds, 37230500u);

  CNAValueConverter* date = Buffered(26, 9, 14);
  ASSERT_TRUE(date->bSetFromServerText("20240131", 8, 1252, nullptr));
  EXPECT_EQ(Bytes(date), std::string("20240131\0", 9));
  ASSERT_TRUE(date->bGetValue(out));
  out.nGetDATETIME(&dt);
  EXPECT_EQ(dt.nYear, 2024);
  EXPECT_EQ(dt.nDay, 31);

  CNAValueConverter* stamp = Buffered(26, 8, 24);
  ASSERT_TRUE(stamp->bSetFromServerText("2024-01-31 10:20:30.250", 23, 1252, nullptr));
  ASSERT_TRUE(stamp->bGetValue(out));
  out.nGetDATETIME(&dt);
  EXPECT_EQ(dt.nMilliseconds, 37230250u);
  EXPECT_EQ(dt.nMonth, 1);
}

TEST_F(ValueConverter, DateMasks) {
  qg::AnyDateTime v{31, 1, 2024, ((12 * 60 + 34) * 60 + 56) * 1000 + 789};
  struct Case { const char16_t* mask; const char16_t* text; };
  const Case cases[] = {
      {u"DD-MM-YYYY HH24:MI:SS", u"31-01-2024 12:34:56"},
      {u"AAAA-MM-JJ HH:MM:SS.CCC", u"2024-01-31 12:34:56.789"},
      {u"AAAAMMJJ HH:MM:SS.CCC", u"20240131 12:34:56.789"},
      {u"YYYYMMDDHH24MISS", u"2024013112:34:56"},
      {u"YYYYMMDD HH24MISS", u"20240131 123456"},
      {u"YYYYMMDD HH24:MI:SS", u"20240131 12:34:56"},
      {u"YYYYMMDDHH24MISSFF", u"2024013112345678"},
      {u"yyyymmdd", u"20240131123456789"},
  };
  for (const Case& c : cases) {
    char16_t out[40];
    ASSERT_TRUE(CNAValueConverter::bFormatDateMask(c.mask, v, out, 40));
    EXPECT_EQ(std::u16string(out), c.text);
  }
  qg::AnyDateTime bad{1, 1, 2024, 86400000u};
  char16_t out[40];
  EXPECT_FALSE(CNAValueConverter::bFormatDateMask(u"x", bad, out, 40));
}

TEST_F(ValueConverter, DateTimeIntoMaskedTextColumn) {
  CNAValueConverter* v = Buffered(16, 64, 29);
  v->pclGetColumn()->SetDateMask(u"AAAA-MM-JJ HH:MM:SS.CCC");
  CAny value;
  value.SetDATETIME(2024, 1, 31, 12, 34, 56, 789);
  ASSERT_TRUE(v->bSetValue(value, nullptr));
  CAny out;
  ASSERT_TRUE(v->bGetValue(out));
  EXPECT_EQ(Text(out), u"2024-01-31 12:34:56.789");
}

TEST_F(ValueConverter, NumbersFromServerText) {
  struct Case { int type; const char* text; bool ok; const char16_t* shown; };
  const Case cases[] = {
      {9, "9223372036854775807", true, u"9223372036854775807"},
      {9, "-9223372036854775808", true, u"-9223372036854775808"},
      {9, "9999999999999999999", false, nullptr},  // DECIMAL(19,0) beyond 64 bits
      {8, "2147483648", false, nullptr},
      {8, "-12", true, u"-12"},
      {6, "127", true, u"127"},
      {6, "128", false, nullptr},
      {5, "18446744073709551615", true, u"18446744073709551615"},
      {5, "-1", false, nullptr},
      {12, "1.5", true, u"1.5"},
      {12, "abc", false, nullptr},
      {8, "12.000", true, u"12"},
      {8, "12.5", false, nullptr},
  };
  for (const Case& c : cases) {
    for (bool buffered : {false, true}) {
      CNAValueConverter* v = buffered ? Buffered(c.type, 8) : Converter();
      if (!buffered) v->bSetType(c.type, 0);
      EXPECT_EQ(v->bSetFromServerText(c.text, std::strlen(c.text), 1252, nullptr), c.ok)
          << c.text;
      if (!c.ok) continue;
      CAny out;
      ASSERT_TRUE(v->bGetValue(out));
      EXPECT_EQ(Text(out), c.shown) << c.text;
    }
  }
}

TEST_F(ValueConverter, CurrencyFromServerText) {
  CNAValueConverter* v = Buffered(10, 10);
  ASSERT_TRUE(v->bSetFromServerText("12345678.90", 11, 1252, nullptr));
  CAny out;
  ASSERT_TRUE(v->bGetValue(out));
  EXPECT_EQ(Text(out), u"12345678.9");
}

TEST_F(ValueConverter, TextsThroughCodePages) {
  // UTF-8 from the server into a UTF-16 value and into 8-bit 1252 storage.
  const char* utf8 = "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC";  // "été €"
  CNAValueConverter* wide = Converter();
  wide->bSetType(16, 0);
  ASSERT_TRUE(wide->bSetFromServerText(utf8, std::strlen(utf8), 65001, nullptr));
  CAny out;
  wide->bGetValue(out);
  EXPECT_EQ(Text(out), u"été €");

  CNAValueConverter* narrow = Buffered(19, 16);
  ASSERT_TRUE(narrow->bSetFromServerText(utf8, std::strlen(utf8), 65001, nullptr));
  EXPECT_EQ(Bytes(narrow).substr(0, 6), std::string("\xE9t\xE9 \x80", 5) + '\0');

  // A UTF-16 buffer cuts before a surrogate pair that does not fit.
  CNAValueConverter* cut = Buffered(16, 8);
  ASSERT_TRUE(cut->bSetFromWideText(u"ab\U0001F600", -1, nullptr));
  cut->bGetValue(out);
  EXPECT_EQ(Text(out), u"ab");

  // A UTF-8 connection cuts its 8-bit text at a character boundary.
  CNAValueConverter* utf8_buffer = Converter();
  utf8_buffer->SetCodePage(65001);
  utf8_buffer->bAllocateBuffer(19, 4, nullptr);
  ASSERT_TRUE(utf8_buffer->bSetFromServerText(utf8, std::strlen(utf8), 65001, nullptr));
  EXPECT_EQ(utf8_buffer->nGetDataSize(), 3);  // "é" and "t", not half of the next "é"
}

TEST_F(ValueConverter, BinaryLengthPrefixIsBounded) {
  CNAValueConverter* v = Buffered(28, 6, 23);
  ASSERT_TRUE(v->bSetFromServerText("\x01\x00\x02\x03\x04\x05", 6, 1252, nullptr));
  std::string bytes = Bytes(v);
  EXPECT_EQ(bytes, std::string("\x04\x00\x01\x00\x02\x03", 6));
  // A corrupt prefix never reads past the buffer.
  uint16_t huge = 60000;
  std::memcpy(const_cast<void*>(v->pGetData()), &huge, 2);
  CAny out;
  ASSERT_TRUE(v->bGetValue(out));
  CXYString<char> bin;
  ASSERT_EQ(out.nGetBIN(&bin), 0);
  EXPECT_EQ(bin.nTaille(), 4);
}

TEST_F(ValueConverter, DecimalColumnsKeepScale) {
  CNAValueConverter* v = Buffered(13, 8, 31, 10, 4);
  ASSERT_TRUE(v->bSetFromServerText("-123456.7891", 12, 1252, nullptr));
  CAny out;
  ASSERT_TRUE(v->bGetValue(out));
  EXPECT_EQ(Text(out), u"-123456.7891");
}

TEST_F(ValueConverter, HostConversionsAndTheirFailures) {
  CNAValueConverter* text = Converter();
  text->bSetType(16, 0);
  CAny number;
  number.SetI4(-42);
  ASSERT_TRUE(text->bSetValue(number, nullptr));
  CAny out;
  text->bGetValue(out);
  EXPECT_EQ(Text(out), u"-42");

  // A pair the host cannot convert fails and stores nothing.
  CNAValueConverter* stamp_from_point = Converter();
  stamp_from_point->bSetType(26, 0);
  CAny point;
  point.SetPOINT(1, 2);
  EXPECT_FALSE(stamp_from_point->bSetValue(point, nullptr));

  // A time text into a date-time: hours, minutes, seconds, milliseconds.
  CNAValueConverter* stamp = Converter();
  stamp->bSetType(26, 0);
  CAny time;
  time.SetTIMEA("102030500");
  ASSERT_TRUE(stamp->bSetValue(time, nullptr));
  stamp->bGetValue(out);
  qg::AnyDateTime dt{};
  out.nGetDATETIME(&dt);
  EXPECT_EQ(dt.nMilliseconds, 37230500u);
  EXPECT_EQ(dt.nYear, 0);
}

TEST_F(ValueConverter, NullAndEquality) {
  CNAValueConverter* a = Converter();
  CNAValueConverter* b = Converter();
  EXPECT_TRUE(a->bEquals(*b));  // both without storage
  a->bSetType(8, 0);
  b->bSetType(8, 0);
  CAny one;
  one.SetI4(1);
  a->bSetValue(one, nullptr);
  b->bSetValue(one, nullptr);
  EXPECT_TRUE(a->bEquals(*b));
  a->Clear();
  EXPECT_TRUE(a->bIsNull());
  EXPECT_FALSE(a->bEquals(*b));
  b->Clear();
  EXPECT_TRUE(a->bEquals(*b));
  CNAValueConverter* p = Converter();
  CNAValueConverter* q = Converter();
  p->SetKind(CNAValueConverter::kVariantPending);
  q->SetKind(CNAValueConverter::kVariantPending);
  EXPECT_FALSE(p->bEquals(*q));
  EXPECT_TRUE(p->bEquals(*p));

  CNAValueConverter* x = Buffered(19, 8);
  CNAValueConverter* y = Buffered(19, 12);
  x->bSetFromNarrowText("abc", -1, nullptr);
  y->bSetFromNarrowText("abd", -1, nullptr);
  EXPECT_LT(x->nCompare(*y), 0);
  y->bSetFromNarrowText("abc", -1, nullptr);
  EXPECT_EQ(x->nCompare(*y), 0);
  EXPECT_TRUE(x->bEquals(*y));
}

TEST_F(ValueConverter, ConvertToPadsTimesWithinBounds) {
  CNAValueConverter* v = Buffered(26, 10, 11);
  ASSERT_TRUE(v->bSetFromServerText("10:20:30", 8, 1252, nullptr));
  ASSERT_TRUE(v->bConvertTo(16, false, nullptr));
  CAny out;
  v->bGetValue(out);
  std::u16string text = Text(out);
  EXPECT_EQ(text.size(), 9u);
}

TEST_F(ValueConverter, DataAndSizeTogether) {
  CNAValueConverter* v = Buffered(19, 8);
  v->bSetFromNarrowText("hey", -1, nullptr);
  const void* data = nullptr;
  int size = -1;
  ASSERT_TRUE(v->bGetDataAndSize(&data, &size));
  EXPECT_EQ(v->pGetData(), data);
  EXPECT_EQ(3, size);
  EXPECT_TRUE(v->bGetDataAndSize(nullptr, nullptr));
  v->SetKind(CNAValueConverter::kNone);
  EXPECT_FALSE(v->bGetDataAndSize(&data, &size));
  EXPECT_EQ(nullptr, data);
  EXPECT_EQ(0, size);
}

TEST_F(ValueConverter, CloneCopiesOwnBuffers) {
  CNAValueConverter* v = Buffered(19, 8);
  v->bSetFromNarrowText("hello", -1, nullptr);
  auto* copy = static_cast<CNAValueConverter*>(v->pclClone(nullptr, 0, 0));
  ASSERT_NE(copy, nullptr);
  made_.push_back(NAAddRef(copy));
  EXPECT_NE(copy->pGetData(), v->pGetData());
  EXPECT_TRUE(copy->bEquals(*v));
  v->bSetFromNarrowText("world", -1, nullptr);
  EXPECT_FALSE(copy->bEquals(*v));
}

}  // namespace
