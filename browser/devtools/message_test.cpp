#include "browser/devtools/message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qg::devtools {
namespace {

std::vector<std::string> Drain(FrameSplitter& s) {
  std::vector<std::string> out;
  std::string f;
  while (s.Next(&f)) out.push_back(f);
  return out;
}

TEST(FrameSplitterTest, FramesAcrossAndWithinFeeds) {
  FrameSplitter s;
  const std::string bytes("{\"a\":1}\0{\"b\"\0\0x", 15);
  s.Feed(bytes.data(), 3);
  EXPECT_TRUE(Drain(s).empty());
  s.Feed(bytes.data() + 3, bytes.size() - 3);
  EXPECT_EQ(Drain(s), (std::vector<std::string>{"{\"a\":1}", "{\"b\"", ""}));
  s.Feed("y", 1);
  s.Feed("\0", 1);
  EXPECT_EQ(Drain(s), (std::vector<std::string>{"xy"}));
}

TEST(FrameSplitterTest, OverLongFrameIsDroppedAndTheNextSurvives) {
  FrameSplitter s(8);
  s.Feed("0123456", 7);
  s.Feed("789abc", 6);  // past the limit: dropped up to the NUL
  s.Feed("def\0ok\0", 7);
  EXPECT_EQ(Drain(s), (std::vector<std::string>{"ok"}));
  EXPECT_EQ(s.nDropped(), 1u);
  // A complete frame fed with an over-long one survives.
  const std::string mixed("ab\0toolongframe\0cd\0", 19);
  s.Feed(mixed.data(), mixed.size());
  EXPECT_EQ(Drain(s), (std::vector<std::string>{"ab", "cd"}));
  const std::string exact("12345678\0", 9);  // the limit itself passes
  s.Feed(exact.data(), exact.size());
  EXPECT_EQ(Drain(s), (std::vector<std::string>{"12345678"}));
}

TEST(ParseMessageTest, Table) {
  struct Case {
    const char* text;
    bool ok;
    int64_t id;
    const char* method;
    bool is_error;
  };
  const Case cases[] = {
      {R"({"id":3,"result":{"x":1}})", true, 3, "", false},
      {R"({"id":4,"error":{"code":-32000,"message":"nope"}})", true, 4, "", true},
      {R"({"id":5,"error":7})", true, 5, "", true},
      {R"({"method":"Page.loadEventFired","params":{},"sessionId":"S"})", true, -1,
       "Page.loadEventFired", false},
      {R"({"id":-1,"result":{}})", false, -1, "", false},
      {R"({"id":"3"})", false, -1, "", false},
      {R"({"method":3})", false, -1, "", false},
      {R"([1,2])", false, -1, "", false},
      {R"({"id":1,)", false, -1, "", false},
      {"", false, -1, "", false},
      {"{\"method\":\"x\xff\"}", false, -1, "", false},
  };
  for (const Case& c : cases) {
    Message m;
    ASSERT_EQ(ParseMessage(c.text, &m), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(m.id, c.id) << c.text;
    EXPECT_EQ(m.method, c.method) << c.text;
    EXPECT_EQ(m.is_error, c.is_error) << c.text;
  }
  Message m;
  ASSERT_TRUE(ParseMessage(R"({"id":4,"error":{"message":"nope"},"sessionId":"S1"})", &m));
  EXPECT_EQ(m.error, "nope");
  EXPECT_EQ(m.session_id, "S1");
}

// Values a page chooses: nesting bounded, lone surrogates (which the
// parser refuses whole) replaced, everything else as it came.
TEST(ParseMessageTest, HostileValues) {
  const struct {
    std::string params;
    const char* value;  // the UTF-8 of params' "v", or null when refused
  } cases[] = {
      {R"({"v":"a\ud800b"})", "a\xEF\xBF\xBD" "b"},
      {R"({"v":"\udc00\ud800"})", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {R"({"v":"\ud83d\ude00"})", "\xF0\x9F\x98\x80"},
      {R"({"v":"\\ud800"})", "\\ud800"},
      {R"({"v":"a\u0000b"})", nullptr},  // checked apart: the NUL stays
      {R"({"v":"[[[[\"]]"})", "[[[[\"]]"},
      {R"({"v":)" + std::string(300, '[') + std::string(300, ']') + "}", nullptr},
  };
  for (const auto& c : cases) {
    Message m;
    const std::string frame = R"({"method":"E","params":)" + c.params + "}";
    const bool ok = ParseMessage(frame, &m);
    if (c.params.find("u0000") != std::string::npos) {
      ASSERT_TRUE(ok);
      EXPECT_EQ(m.result["v"].get<std::string>(), std::string("a\0b", 3));
    } else if (c.value == nullptr) {
      EXPECT_FALSE(ok) << c.params.substr(0, 40);
    } else {
      ASSERT_TRUE(ok) << c.params;
      EXPECT_EQ(m.result["v"].get<std::string>(), c.value) << c.params;
    }
  }
  // The limit itself passes; a deep value as a text is no nesting.
  Message m;
  EXPECT_TRUE(ParseMessage(R"({"method":"E","params":)" + std::string(kMaxJsonDepth - 1, '[') +
                               std::string(kMaxJsonDepth - 1, ']') + "}",
                           &m));
  EXPECT_TRUE(ParseMessage(R"({"method":"E","params":{"v":")" + std::string(100000, '[') + "\"}}",
                           &m));
}

}  // namespace
}  // namespace qg::devtools
