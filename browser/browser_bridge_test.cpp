#include "browser/browser_bridge.h"

#include <gtest/gtest.h>

#include "browser/utf.h"
#include "support/string_host_fixture.h"

namespace qg::web {
namespace {

TEST(BridgeTest, LiteralEscapes) {
  EXPECT_EQ(JsLiteral(u"a\"b"), u"\"a\\\"b\"");
  EXPECT_EQ(JsLiteral(u"a\"b").size(), 6u);
  const struct {
    char16_t c;
    const char16_t* written;
  } cases[] = {{8, u"\\b"},   {9, u"\\t"},    {10, u"\\n"},  {11, u"\\v"},   {12, u"\\f"},
               {13, u"\\r"},  {u'"', u"\\\""}, {u'\'', u"\\'"}, {u'\\', u"\\\\"}, {u'x', u"x"},
               {0x2028, u"\u2028"}};
  for (const auto& c : cases) {
    EXPECT_EQ(JsEscape(std::u16string(1, c.c)), c.written) << static_cast<int>(c.c);
  }
}

TEST(BridgeTest, DataUrlAndLocalThreshold) {
  EXPECT_EQ(HtmlDataUrl(u"50% #1"), u"data:text/html;charset=UTF-8,50%25 %231");
  const size_t prefix = HtmlDataUrl(u"").size();
  EXPECT_EQ(HtmlDataUrl(std::u16string(kMaxDataUrl - prefix, u'a')).size(), kMaxDataUrl);
  EXPECT_EQ(HtmlDataUrl(std::u16string(kMaxDataUrl - prefix + 1, u'a')).size(), kMaxDataUrl + 1);
  EXPECT_EQ(SentUrlLength(u"a\u00e9\u20ac\U0001F600\n"), 1u + 6 + 9 + 12 + 3);
  // Escaping can push a shorter text over the limit.
  EXPECT_GT(HtmlDataUrl(std::u16string(kMaxDataUrl / 2, u'%')).size(), kMaxDataUrl);
}

TEST(BridgeTest, ScriptOutcomes) {
  EXPECT_EQ(ScriptErrorNumber(u"Script error."), 800002u);
  EXPECT_EQ(ScriptErrorNumber(u"  Script error."), 800002u);
  EXPECT_EQ(ScriptErrorNumber(u"Script error. more"), 800003u);
  EXPECT_EQ(ScriptErrorNumber(u"boom"), 800003u);
  using devtools::Json;
  const struct {
    const char* remote;
    const char* text;
    bool needs_page;
  } cases[] = {
      {R"({"type":"string","value":"x y"})", "x y", false},
      {R"({"type":"undefined"})", "", false},
      {R"({"type":"number","value":2,"description":"2"})", "2", false},
      {R"({"type":"number","unserializableValue":"NaN","description":"NaN"})", "NaN", false},
      {R"({"type":"bigint","unserializableValue":"10n"})", "10", false},
      {R"({"type":"boolean","value":true,"description":"true"})", "true", false},
      {R"({"type":"object","subtype":"null","value":null})", "null", false},
      {R"({"type":"object","objectId":"7","description":"Object"})", "", true},
  };
  for (const auto& c : cases) {
    bool needs_page;
    std::string id;
    EXPECT_EQ(ScriptResultText(Json::parse(c.remote), &needs_page, &id), c.text) << c.remote;
    EXPECT_EQ(needs_page, c.needs_page) << c.remote;
  }
}

class BridgeValuesTest : public StringHostTest {};

TEST_F(BridgeValuesTest, PageCallTypes) {
  PageCall call;
  ASSERT_TRUE(ParsePageCall(R"(["x","proc",null,true,1,2.5,"x",{},[1],3000000000])", &call));
  EXPECT_EQ(call.kind, "x");
  ASSERT_EQ(call.args.size(), 9u);
  const int expected[] = {-1, 1, 8, 12, 16, 16, 16, 12};  // BOOL I4 R8 DSTRW
  for (size_t i = 1; i < call.args.size(); ++i) {
    CAny value;
    JsonToAny(call.args[i], &value);
    if (expected[i - 1] < 0) {
      EXPECT_TRUE(value.bEstVide()) << i;
    } else {
      EXPECT_EQ(value.nGetCode(), expected[i - 1]) << i;
    }
  }
  CAny object;
  JsonToAny(call.args[6], &object);
  const char16_t* text = nullptr;
  object.nGetPCXSTR(&text);
  EXPECT_EQ(std::u16string(text), u"{}");
  ASSERT_TRUE(ParsePageCall(R"(["x","only"])", &call));
  EXPECT_EQ(call.args.size(), 1u) << "a name-only call has no arguments";
  for (const char* bad : {"", "{}", "[]", "[1]", "[\"x\"", "null"}) {
    EXPECT_FALSE(ParsePageCall(bad, &call)) << bad;
  }
}

// Numbers past 32 bits, even past 64, arrive as doubles, never wrapped;
// texts keep their NULs.
TEST_F(BridgeValuesTest, WideNumbersAndNuls) {
  PageCall call;
  ASSERT_TRUE(ParsePageCall(
      R"(["x","P",18446744073709551615,9223372036854775808,-2147483649,2147483647,)"
      R"(-2147483648,1e300,"a\u0000b"])",
      &call));
  const struct {
    int code;
    double value;
  } expected[] = {{12, 18446744073709551615.0}, {12, 9223372036854775808.0}, {12, -2147483649.0},
                  {8, 2147483647},              {8, -2147483648.0},          {12, 1e300}};
  for (size_t i = 0; i < 6; ++i) {
    CAny value;
    JsonToAny(call.args[i + 1], &value);
    ASSERT_EQ(value.nGetCode(), expected[i].code) << i;
    const double got = expected[i].code == 8 ? *static_cast<const int32_t*>(value.pValeur())
                                             : *static_cast<const double*>(value.pValeur());
    EXPECT_EQ(got, expected[i].value) << i;
  }
  CAny text;
  JsonToAny(call.args[7], &text);
  int length = 0;
  text.pclHolder()->vnGetLongueur(&length);
  EXPECT_EQ(length, 3);
  // Deeper than the limit: refused, not parsed.
  EXPECT_FALSE(ParsePageCall("[\"x\",\"P\"," + std::string(100000, '[') + std::string(100000, ']') + "]", &call));
}

TEST(BridgeTest, InternalCommandsAndHeaders) {
  std::string command;
  EXPECT_TRUE(InternalCommand("qvxxxweb://internal?SpellCheck_language=fr-FR", &command));
  EXPECT_EQ(command, "SpellCheck_language=fr-FR");
  EXPECT_TRUE(InternalCommand("qvxxxweb://internal?", &command));
  EXPECT_EQ(command, "");
  EXPECT_FALSE(InternalCommand("qvxxxweb://internal", &command));
  EXPECT_FALSE(InternalCommand("hello", &command));
  EXPECT_TRUE(ValidHeader(u"X-Test", u"a b"));
  EXPECT_FALSE(ValidHeader(u"X-Test", u"a\r\nInjected: 1"));
  EXPECT_FALSE(ValidHeader(u"X-Test", std::u16string(u"a\0b", 3)));
  EXPECT_FALSE(ValidHeader(u"X Test", u"a"));
  EXPECT_FALSE(ValidHeader(u"", u"a"));
}

}  // namespace
}  // namespace qg::web
