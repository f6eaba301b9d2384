// Type mapping, conversion costs, overload resolution and host values
// through .NET and back.
#include <cmath>

#include "dotnet/connector/net_test_fixture.h"
#include "support/currency.h"
#include "support/platform/text16.h"

namespace qgnet {
namespace {

using ::testing::HasSubstr;

class ConversionTest : public NetTest {
 protected:
  int Cost(const char16_t* parameter, const char16_t* argument) {
    return ClrIfStarted()->CostByName(parameter, argument);
  }

  // Calls a static method of Fixture.Overloads; the text it answers.
  std::string Call(const char16_t* method, const CAny* argument,
                   const char16_t* declared = nullptr) {
    STInfoClasseDotNet info = Classe(u"Overloads");
    STMethodeDotNet m{method, declared != nullptr ? 1 : 0, declared, nullptr};
    STOperationDotNet op = Op();
    uint32_t id = 0;
    stack_.Clear();
    if (argument != nullptr) stack_.bEmpile(*argument);
    error_.RAZ();
    if (!execution_->bAppelleMethodeStatique(&info, &m, &id, &stack_, argument ? 1 : 0, true,
                                             &op)) {
      return "error: " + UserText(error_);
    }
    const char16_t* text = nullptr;
    CAny* top = stack_.pclGetValeur(0);
    if (top == nullptr || top->nGetPCXSTR(&text) != 0) return "no text";
    return U8(text);
  }

  // The value at the top through .NET and back.
  NetRoundTrip Trip(const CAny& value) {
    stack_.Clear();
    stack_.bEmpile(value);
    NetRoundTrip trip;
    EXPECT_TRUE(ConvertThroughNet(&stack_, 0, &trip));
    return trip;
  }
};

TEST_F(ConversionTest, CostTableOverThePrimitivePairs) {
  const char16_t* names[13] = {u"Boolean", u"Byte",  u"UInt16", u"UInt32", u"UInt64",
                               u"SByte",   u"Int16", u"Int32",  u"Int64",  u"Decimal",
                               u"Single",  u"Double", u"Decimal"};
  // Rows: parameter; columns: argument (CY and DECIMAL are both Decimal in
  // .NET, so row and column 10 are those of DECIMAL).
  const int table[13][13] = {
      {0, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5}, {5, 0, 1, 2, 3, 1, 2, 3, 4, 5, 5, 5, 5},
      {5, 1, 0, 1, 2, 2, 1, 2, 3, 5, 5, 5, 5}, {5, 2, 1, 0, 1, 3, 2, 1, 2, 5, 5, 5, 5},
      {5, 3, 2, 1, 0, 4, 3, 2, 1, 5, 5, 5, 5}, {5, 1, 2, 3, 4, 0, 1, 2, 3, 5, 5, 5, 5},
      {5, 1, 1, 2, 3, 1, 0, 1, 2, 5, 5, 5, 5}, {5, 2, 1, 1, 2, 2, 1, 0, 1, 5, 5, 5, 5},
      {5, 3, 2, 1, 1, 3, 2, 1, 0, 5, 5, 5, 5}, {5, 5, 5, 5, 5, 5, 5, 5, 5, 0, 4, 4, 1},
      {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 0, 1, 5}, {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 1, 0, 5},
      {5, 4, 3, 2, 1, 4, 3, 2, 1, 1, 4, 4, 0},
  };
  for (int p = 0; p < 13; ++p) {
    for (int a = 0; a < 13; ++a) {
      if (p == 9 || a == 9) continue;  // currency has no .NET type of its own
      int expected = p == a ? 0 : table[p][a];
      EXPECT_EQ(Cost(names[p], names[a]), expected) << U8(names[p]) << " <- " << U8(names[a]);
    }
  }
}

TEST_F(ConversionTest, CostRules) {
  ASSERT_TRUE(manager_->Loader().vbLoadAddAssembly(fixture_.c_str(), &error_));
  struct Case {
    const char16_t* parameter;
    const char16_t* argument;
    int cost;
  };
  const Case cases[] = {
      {u"Decimal", u"Decimal", 0},    {u"Decimal", u"Int64", 1},
      {u"String", u"Char[]", 0},      {u"Char[]", u"String", 0},
      {u"Int64[]", u"Int32[]", 1},    {u"Int32", u"Int32&", 1000},
      {u"Int64&", u"Int32", 2},       {u"Decimal&", u"Int32&", 5},
      {u"Object", u"Int32", 1000},    {u"Object", u"Object", 0},
      {u"Int32", u"Object", 1000},    {u"Int32", u"String", 2147483647},
      {u"Int32[]", u"Int32", 2147483647},
      {u"IntPtr", u"Int64", 1},       {u"Fixture.IFace", u"Fixture.Overloads", 1},
      {u"ValueType", u"Int32", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cost(c.parameter, c.argument), c.cost)
        << U8(c.parameter) << " <- " << U8(c.argument);
  }
}

TEST_F(ConversionTest, OverloadResolution) {
  CAny i2, i4, text;
  i2.SetI2(3);
  i4.SetI4(3);
  text.SetDSTRW(u"abc");
  EXPECT_EQ(Call(u"F", &i2, u"Int16"), "Int32");   // costs 1 and 2
  EXPECT_EQ(Call(u"G", &i4, u"Int32"), "Double");  // 5 against 1000
  EXPECT_EQ(Call(u"h", &i4, u"Int32"), "first");   // equal costs: the first listed
  EXPECT_EQ(Call(u"F", &i2), "Int32");
  EXPECT_EQ(Call(u"G", &i4), "Double");
  EXPECT_EQ(Call(u"M", &i4), "M<Int32>");
  EXPECT_EQ(Call(u"M<Int64>", &i4), "M<Int64>");
  // Explicit generic arguments of the wrong count are not replaced by inferred ones.
  EXPECT_THAT(Call(u"M<Int32,Int64>", &i4), HasSubstr("error"));
  EXPECT_EQ(Call(u"text", &text), "text:abc");
  EXPECT_THAT(Call(u"NoSuchMethod", &i4), HasSubstr("NoSuchMethod"));
}

TEST_F(ConversionTest, ExplicitInterfaceMethodAndConstructors) {
  STInfoClasseDotNet info = Classe(u"Overloads");
  STOperationDotNet op = Op();
  IDotNetInstance* instance = execution_->piAlloue(&info, &op);
  ASSERT_NE(instance, nullptr);
  uint32_t id = 0;
  EXPECT_TRUE(instance->bExecuteConstructeur(nullptr, &id, &stack_, 0, &op)) << UserText(error_);
  CAny five;
  five.SetI4(5);
  stack_.bEmpile(five);
  STMethodeDotNet run{u"run", 0, nullptr, nullptr};
  EXPECT_TRUE(instance->bAppelleMethode(&run, &id, &stack_, 1, true, &op)) << UserText(error_);
  const char16_t* text = nullptr;
  ASSERT_EQ(stack_.pclGetValeur(0)->nGetPCXSTR(&text), 0);
  EXPECT_EQ(std::u16string(text), u"IFace.Run 5");
  instance->Release();

  // The private constructor is not a candidate: Int32 goes to Int64.
  STInfoClasseDotNet secret = Classe(u"Secret");
  IDotNetInstance* hidden = execution_->piAlloue(&secret, &op);
  ASSERT_NE(hidden, nullptr);
  stack_.Clear();
  stack_.bEmpile(five);
  error_.RAZ();
  EXPECT_FALSE(hidden->bExecuteConstructeur(nullptr, &id, &stack_, 1, &op));
  EXPECT_EQ(MessageIds(error_).front(), 3598u);
  hidden->Release();
}

TEST_F(ConversionTest, RoundTripsOfSimpleValues) {
  CAny v;
  v.SetBOOL(256);  // not normalised: still true
  NetRoundTrip t = Trip(v);
  EXPECT_EQ(U8(t.net_type), "System.Boolean");
  int32_t b = 0;
  t.back.nGetBOOL(&b);
  EXPECT_EQ(b, 1);

  v.SetI8(-1234567890123LL);
  t = Trip(v);
  EXPECT_EQ(U8(t.net_type), "System.Int64");
  int64_t i8 = 0;
  t.back.nGetI8(&i8);
  EXPECT_EQ(i8, -1234567890123LL);

  v.SetUI8(0xFFFFFFFFFFFFFFFFull);
  t = Trip(v);
  uint64_t u8 = 0;
  t.back.nGetUI8(&u8);
  EXPECT_EQ(u8, 0xFFFFFFFFFFFFFFFFull);

  v.SetR8(0.1);
  t = Trip(v);
  double r8 = 0;
  t.back.nGetR8(&r8);
  EXPECT_EQ(r8, 0.1);

  // Non-BMP text survives.
  const char16_t text[] = u"a\U0001F600b";
  v.SetDSTRW(text);
  t = Trip(v);
  EXPECT_EQ(U8(t.net_type), "System.String");
  const char16_t* back = nullptr;
  ASSERT_EQ(t.back.nGetPCXSTR(&back), 0);
  EXPECT_EQ(std::u16string(back), std::u16string(text));

  // An 8-bit character above 0x7F goes through the module's code page and
  // comes back as a UTF-16 character.
  v.SetCARA(static_cast<char>(0x80));
  t = Trip(v);
  EXPECT_EQ(U8(t.net_type), "System.Char");
  EXPECT_EQ(t.back_code, 81);
  char16_t c = 0;
  t.back.nGetCARW(&c);
  EXPECT_EQ(c, u'\u20AC');

  v.SetDUREE(90061001);
  t = Trip(v);
  EXPECT_EQ(U8(t.net_type), "System.TimeSpan");
  int64_t ms = 0;
  t.back.nGetDUREE(&ms);
  EXPECT_EQ(ms, 90061001);

  // IntPtr comes back under code 15 (the value in an I4 holder).
  v.SetUIX(-1);
  t = Trip(v);
  EXPECT_EQ(U8(t.net_type), "System.IntPtr");
  EXPECT_EQ(t.back_code, 15);
  int32_t i4 = 0;
  t.back.nGetI4(&i4);
  EXPECT_EQ(i4, -1);
}

TEST_F(ConversionTest, CurrencyAndDatesAreCultureFree) {
  ASSERT_EQ(ClrIfStarted()->SetCulture(u"fr-FR"), 0);
  CAny v;
  qg::Fixe6 amount{};
  ASSERT_NE(qg::pFixe6DepuisChaine(&amount, u"1.5"), nullptr);
  v.SetCY(amount);
  NetRoundTrip t = Trip(v);
  EXPECT_EQ(U8(t.net_type), "System.Decimal");
  EXPECT_EQ(U8(t.net_text), "1.5");
  EXPECT_EQ(t.back_code, 13);  // currency comes back as a decimal
  ClrIfStarted()->SetCulture(u"");

  v.SetDATETIME(2024, 2, 29, 23, 59, 58, 123);
  t = Trip(v);
  EXPECT_EQ(U8(t.net_type), "System.DateTime");
  qg::AnyDateTime dt{};
  t.back.nGetDATETIME(&dt);
  EXPECT_EQ(dt.nYear, 2024);
  EXPECT_EQ(dt.nMonth, 2);
  EXPECT_EQ(dt.nDay, 29);
  EXPECT_EQ(dt.nMilliseconds, ((23u * 60 + 59) * 60 + 58) * 1000 + 123);

  // The empty date is DateTime.MinValue, and back.
  v.SetDATETIME(qg::AnyDateTime{0, 0, 0, 0});
  t = Trip(v);
  EXPECT_THAT(U8(t.net_text), HasSubstr("0001"));
  t.back.nGetDATETIME(&dt);
  EXPECT_EQ(dt.nYear, 0);
  EXPECT_EQ(dt.nMilliseconds, 0u);
}

TEST_F(ConversionTest, ValuesFromNet) {
  STInfoClasseDotNet info = Classe(u"Overloads");
  STOperationDotNet op = Op();
  // 2^40 does not fit code 15: it comes as I8.
  ASSERT_TRUE(execution_->bEmpilePropertyStatique(&info, u"BigPointer", &stack_, &op))
      << UserText(error_);
  EXPECT_EQ(stack_.pclGetValeur(0)->nGetCode(), 9);
  int64_t big = 0;
  stack_.pclGetValeur(0)->nGetI8(&big);
  EXPECT_EQ(big, 1LL << 40);

  // A 2-D array with lower bounds 1 and 5 keeps its shape, row-major.
  ASSERT_TRUE(execution_->bEmpilePropertyStatique(&info, u"Grid", &stack_, &op));
  CTableauHote* grid = stack_.pclGetTableau(0);
  ASSERT_NE(grid, nullptr);
  ASSERT_EQ(grid->nGetNbDim(), 2);
  EXPECT_EQ(grid->pnGetDim()[0], 2);
  EXPECT_EQ(grid->pnGetDim()[1], 3);
  EXPECT_EQ(grid->wGetElemType(), 8);
  const auto* cells = reinterpret_cast<const int32_t*>(grid->pBloc());
  for (int k = 0; k < 6; ++k) EXPECT_EQ(cells[k], k + 1);

  // An array of texts holds variant elements; it goes back to .NET whole.
  ASSERT_TRUE(execution_->bEmpilePropertyStatique(&info, u"Words", &stack_, &op));
  CTableauHote* words = stack_.pclGetTableau(0);
  ASSERT_NE(words, nullptr);
  const char16_t* second = nullptr;
  words->pclElement(1)->nGetPCXSTR(&second);
  EXPECT_EQ(std::u16string(second), u"deux");
  NetRoundTrip t;
  ASSERT_TRUE(ConvertThroughNet(&stack_, 0, &t));
  EXPECT_EQ(U8(t.net_type), "System.String[]");
  ASSERT_NE(t.back_array, nullptr);

  // A host int array passed to an int[] parameter.
  int32_t six = 6;
  std::unique_ptr<CTableauHote> values = CTableauHote::Cree(8, 1, &six);
  for (int k = 0; k < 6; ++k) reinterpret_cast<int32_t*>(values->pBloc())[k] = k;
  stack_.Clear();
  stack_.bEmpileTableau(values.release());
  STMethodeDotNet sum{u"Sum", 0, nullptr, nullptr};
  uint32_t id = 0;
  ASSERT_TRUE(execution_->bAppelleMethodeStatique(&info, &sum, &id, &stack_, 1, true, &op))
      << UserText(error_);
  int32_t total = 0;
  stack_.pclGetValeur(0)->nGetI4(&total);
  EXPECT_EQ(total, 15);

  // Sizes that overflow are refused before anything is allocated.
  const int32_t huge[] = {70000, 70000};
  EXPECT_EQ(CTableauHote::Cree(8, 2, huge), nullptr);
  const int32_t negative[] = {-1};
  EXPECT_EQ(CTableauHote::Cree(8, 1, negative), nullptr);
}

// Calls of Fixture.Picks: each a method name, its declared parameter types
// (empty for none) and its arguments; the answer is the text of the value
// pushed, "(none)" when the stack holds only the arguments.
class PicksTest : public ConversionTest {
 protected:
  std::string Pick(const char16_t* method, const char16_t* declared,
                   std::initializer_list<CAny> arguments) {
    STInfoClasseDotNet info = Classe(u"Picks");
    int declared_count = 0;
    if (declared != nullptr && *declared != u'\0') {
      declared_count = 1;
      for (const char16_t* p = declared; *p != u'\0'; ++p) declared_count += *p == u',';
    }
    STMethodeDotNet m{method, declared_count, declared, nullptr};
    STOperationDotNet op = Op();
    uint32_t id = 0;
    stack_.Clear();
    for (const CAny& a : arguments) stack_.bEmpile(a);
    error_.RAZ();
    int32_t n = static_cast<int32_t>(arguments.size());
    if (!execution_->bAppelleMethodeStatique(&info, &m, &id, &stack_, n, true, &op)) {
      return "error: " + DumpText(error_);
    }
    if (stack_.nGetNbValeur() == n) return "(none)";
    CAny* top = stack_.pclGetValeur(0);
    if (top == nullptr) return "(not a value)";
    if (top->bEstNull()) return "(null)";
    CXYString<char16_t> text;
    if (top->nGetTexte(&text) >= qg::kHostErrorFirst) return "(no text)";
    return U8(std::u16string(text.pszGet(), static_cast<size_t>(text.nTaille())));
  }
  static CAny I2(int16_t v) { CAny a; a.SetI2(v); return a; }
  static CAny I4(int32_t v) { CAny a; a.SetI4(v); return a; }
  static CAny Ui1(uint8_t v) { CAny a; a.SetUI1(v); return a; }
  static CAny Text(const char16_t* t, int n) { CAny a; a.SetDSTRW(t, n); return a; }
};

// A null result is pushed as a null value, not left out (the host would
// read its last argument as the result).
TEST_F(PicksTest, ANullResultIsPushed) {
  EXPECT_EQ(Pick(u"NullText", nullptr, {Text(u"x", 1)}), "(null)");
  EXPECT_EQ(Pick(u"NullText", u"String", {Text(u"x", 1)}), "(null)");
  EXPECT_EQ(stack_.nGetNbValeur(), 2);
}

// params arrays take the arguments as the runtime's binder arranges them.
TEST_F(PicksTest, ParamsArraysTakeTheArrangedArguments) {
  EXPECT_EQ(Pick(u"Sum", nullptr, {I4(1), I4(2), I4(3)}), "6");
  EXPECT_EQ(Pick(u"Sum", nullptr, {}), "0");
  EXPECT_EQ(Pick(u"P", nullptr, {I4(1), I4(2)}), "params 2");
  EXPECT_EQ(Pick(u"P", nullptr, {I2(1), I2(2)}), "Int16,Int16");
  // Elements the binder widens to the array's element type (its own packing
  // copies them unconverted and fails past one element).
  EXPECT_EQ(Pick(u"Sum", nullptr, {I2(1), I2(2), Ui1(3)}), "6");
  EXPECT_EQ(Pick(u"Sum", nullptr, {I4(1), I2(2)}), "3");
  EXPECT_EQ(Pick(u"Mixed", nullptr, {I2(1), I4(2), I2(3)}), "1:2,3");
  EXPECT_EQ(Pick(u"Reals", nullptr, {I4(1), I2(2)}), "1,2");
  // A value no element takes still fails.
  EXPECT_THAT(Pick(u"Sum", nullptr, {I4(1), Text(u"x", 1)}), HasSubstr("error"));
}

// Declared types find the method with exactly those parameter types, else
// the cheapest overload for them; never a widening the runtime would pick.
TEST_F(PicksTest, DeclaredTypesMatchExactlyElseByCost) {
  EXPECT_EQ(Pick(u"A3", u"Int16", {I2(1)}), "Int16");
  EXPECT_EQ(Pick(u"A3", u"Int32", {I4(1)}), "Int16");    // I2 <- I4 costs 1, R8 5
  EXPECT_EQ(Pick(u"A9", u"Int32", {I4(1)}), "Decimal");  // DECIMAL <- I4 costs 2, R8 5
  EXPECT_EQ(Pick(u"A9", u"Double", {I4(1)}), "Double");
}

// An ambiguous match of the runtime's binder fails the call with its
// exception; it does not fall back to the costs.
TEST_F(PicksTest, AnAmbiguousMatchIsAnInvocationError) {
  std::string answer = Pick(u"Amb", nullptr, {Ui1(1)});
  EXPECT_THAT(answer, HasSubstr("error"));
  EXPECT_THAT(answer, HasSubstr("Ambiguous"));
}

// Number arguments reach .NET as their own types and values, each at its
// limits, through the first call and the registered one alike.
TEST_F(PicksTest, NumberArgumentsKeepTypeAndValue) {
  CAny ui1, i1, ui2, i2, ui4, i4, i8, ui8, r4, r8, yes, word, uix, null;
  ui1.SetUI1(255);
  i1.SetI1(-128);
  ui2.SetUI2(65535);
  i2.SetI2(-32768);
  ui4.SetUI4(4294967295u);
  i4.SetI4(-2147483647 - 1);
  i8.SetI8(-9000000000123LL);
  ui8.SetUI8(18446744073709551615ull);
  r4.SetR4(1.5f);
  r8.SetR8(-2.25);
  yes.SetBOOL(1);
  word.SetBOOL(256);  // the whole word counts
  uix.SetUIX(123456789);
  null.SetI4(5);
  null.SetNull(true);
  const std::pair<CAny*, const char*> cases[] = {
      {&ui1, "Byte 255"},
      {&i1, "SByte -128"},
      {&ui2, "UInt16 65535"},
      {&i2, "Int16 -32768"},
      {&ui4, "UInt32 4294967295"},
      {&i4, "Int32 -2147483648"},
      {&i8, "Int64 -9000000000123"},
      {&ui8, "UInt64 18446744073709551615"},
      {&r4, "Single 1.5"},
      {&r8, "Double -2.25"},
      {&yes, "Boolean True"},
      {&word, "Boolean True"},
      {&uix, "IntPtr 123456789"},
      {&null, "null"},
  };
  for (int round = 0; round < 2; ++round) {
    for (const auto& [value, want] : cases) {
      EXPECT_EQ(Pick(u"Seen", u"Object", {*value}), want) << want;
    }
  }
}

// A failed conversion says which argument and to which type.
TEST_F(PicksTest, AFailedConversionGivesItsReason) {
  std::string answer = Pick(u"B", u"Byte", {Text(u"abc", 3)});
  EXPECT_THAT(answer, HasSubstr("argument 1"));
  EXPECT_THAT(answer, HasSubstr("System.Byte"));
  // By name, no overload takes the arguments: the error says which.
  answer = Pick(u"B", nullptr, {Text(u"abc", 3)});
  EXPECT_THAT(answer, HasSubstr("no method B of Fixture.Picks takes (String)"));
}

// Texts holding U+0000 cross whole both ways.
TEST_F(PicksTest, TextsKeepTheirNulCharacters) {
  EXPECT_EQ(Pick(u"Length", nullptr, {Text(u"a\0b", 3)}), "3");
  STInfoClasseDotNet info = Classe(u"Picks");
  STOperationDotNet op = Op();
  stack_.Clear();
  ASSERT_TRUE(execution_->bEmpilePropertyStatique(&info, u"WithNul", &stack_, &op));
  CXYString<char16_t> text;
  ASSERT_EQ(stack_.pclGetValeur(0)->nGetDSTRW(&text), 0);
  EXPECT_EQ(text.nTaille(), 3);
}

// An array of arrays, which no host array holds, comes back as the .NET
// object, not as null, and goes back to .NET whole.
TEST_F(PicksTest, AnArrayOfArraysComesBackAsItsObject) {
  STInfoClasseDotNet info = Classe(u"Picks");
  STOperationDotNet op = Op();
  stack_.Clear();
  ASSERT_TRUE(execution_->bEmpilePropertyStatique(&info, u"Jagged", &stack_, &op));
  ASSERT_NE(stack_.piGetInstance(0), nullptr);
  STMethodeDotNet rows{u"Rows", 0, nullptr, nullptr};
  uint32_t id = 0;
  ASSERT_TRUE(execution_->bAppelleMethodeStatique(&info, &rows, &id, &stack_, 1, true, &op))
      << DumpText(error_);
  int32_t n = 0;
  ASSERT_EQ(stack_.pclGetValeur(0)->nGetI4(&n), 0);
  EXPECT_EQ(n, 22);
  stack_.Clear();
}

// A host value .NET cannot take (a date that does not exist) fails the call
// by name as it does with declared types, instead of reaching the method as
// the parameter type's default.
TEST_F(PicksTest, AnArgumentThatDoesNotConvertFailsTheCall) {
  CAny date;
  ASSERT_EQ(date.SetDSTRW(u"20230229120000000"), 0);
  ASSERT_LT(date.nCastTo(qg::kAnyDATETIME), qg::kHostErrorFirst);
  for (const char16_t* declared : {u"DateTime", static_cast<const char16_t*>(nullptr)}) {
    std::string answer = Pick(u"Stamp", declared, {date});
    EXPECT_THAT(answer, HasSubstr("argument 1")) << answer;
    EXPECT_THAT(answer, HasSubstr("System.DateTime")) << answer;
  }
}

// A date alone is that day at midnight; a currency crosses exactly, the
// 80-bit extremes and negative amounts included.
TEST_F(PicksTest, DatesAtMidnightAndCurrencyExact) {
  CAny date;
  ASSERT_EQ(date.SetDSTRW(u"20240229"), 0);
  ASSERT_LT(date.nCastTo(qg::kAnyDATEW), qg::kHostErrorFirst);
  EXPECT_EQ(Pick(u"Stamp", nullptr, {date}), "2024-02-29 00:00:00.000");
  for (const char16_t* amount :
       {u"1.5", u"-0.000001", u"-12345.678901", u"0", u"9223372036854.775807",
        u"-9223372036854.775808", u"123456789012345678.999999",
        u"-123456789012345678.999999"}) {
    qg::Fixe6 f{};
    ASSERT_NE(qg::pFixe6DepuisChaine(&f, amount), nullptr) << U8(amount);
    CAny cy;
    cy.SetCY(f);
    std::u16string want = amount;
    EXPECT_EQ(Pick(u"Amount", nullptr, {cy}), U8(want)) << U8(amount);
  }
}

}  // namespace
}  // namespace qgnet
