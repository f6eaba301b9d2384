#include "support/text_encoders.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

// The 6-bit encoder with the common base64 alphabet, for the tests.
class CEncodeTest64 : public CEncodeBase {
 public:
  char vcSymbole(unsigned v) const override { return kAlphabet[v & 0x3F]; }
  unsigned vnValeur(char c) const override {
    for (unsigned v = 0; v < 64; ++v) {
      if (kAlphabet[v] == c) return v;
    }
    return kHorsAlphabet;
  }

 private:
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
};

std::string Encode(CEncodeBase& enc, const std::string& in, int perLine) {
  const auto* p = reinterpret_cast<const uint8_t*>(in.data());
  const size_t n = enc.vnEncode(p, in.size(), perLine, nullptr);
  std::string out(n + 1, '#');
  EXPECT_EQ(enc.vnEncode(p, in.size(), perLine, out.data()), n);
  EXPECT_EQ(out[n], '\0');
  out.resize(n);
  return out;
}

// Decodes, checking that the counting call agrees; "<error>" for -1.
std::string Decode(CEncodeBase& enc, const std::string& text) {
  const int64_t n = enc.vnDecode(text.c_str(), nullptr);
  std::string out(n > 0 ? n : 0, '#');
  EXPECT_EQ(enc.vnDecode(text.c_str(), reinterpret_cast<uint8_t*>(out.data())), n);
  return n < 0 ? "<error>" : out;
}

TEST(EncodeBase85, MatchesPythonA85Encode) {
  // Expected texts from Python's base64.a85encode with 'z' written out.
  const struct {
    std::string bytes;
    const char* text;
  } cases[] = {
      {std::string("", 0), ""},
      {std::string("\x41", 1), "5l"},
      {std::string("\x00\x00\x00\x00", 4), "!!!!!"},
      {std::string("\x00\x00\x00\x00\x00", 5), "!!!!!!!"},
      {std::string("\x4d\x61\x6e\x20\x69\x73", 6), "9jqo^Bla"},
      {std::string("\xff\xff\xff\xff", 4), "s8W-!"},
      {std::string("\xff\xff\xff", 3), "s8W*"},
      {std::string("\x00\x09\x12\x1b\x24\x2d\x36\x3f\x48\x51\x5a\x63\x6c\x75\x7e"
                   "\x87\x90\x99\xa2\xab\xb4\xbd\xc6\xcf\xd8\xe1\xea\xf3\xfc", 29),
       "!!s8W,V:o=85WQ#Cit2^OI;iD[(XK*f\\u,equ"},
      {std::string("\x68\x65\x6c\x6c\x6f\x20\x77\x6f\x72\x6c\x64\x0a\x00\x01"
                   "\x02\x03", 16),
       "BOu!rD]j7BEbo7n!!*-'"},
  };
  CEncodeBase85 enc;
  for (const auto& c : cases) {
    EXPECT_EQ(Encode(enc, c.bytes, 1), c.text);
    EXPECT_EQ(Decode(enc, c.text), c.bytes) << c.text;
    EXPECT_EQ(Decode(enc, std::string("<~") + c.text + "~>"), c.bytes) << c.text;
  }
}

TEST(EncodeBase85, DecodeSkipsForeignCharactersAndRefusesBadGroups) {
  CEncodeBase85 enc;
  const struct {
    const char* text;
    const char* bytes;  // nullptr: invalid
  } cases[] = {
      {"9jqo^ Bla\r\n", "Man is"},
      {"<~9j qo^~>", "Man "},
      {"s8W-\"", nullptr},    // 2^32
      {"uuuuu", nullptr},
      {"s8W-!s9", nullptr},   // last group completed with 'u' overflows
      {"!!!!!5", nullptr},    // lone final digit
      {"5", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Decode(enc, c.text), c.bytes ? c.bytes : "<error>") << c.text;
  }
  EXPECT_EQ(enc.vnDecode(nullptr, nullptr), 0);
}

TEST(EncodeBase, SixBitGroupsAndLineBreaks) {
  CEncodeTest64 enc;
  const std::string text = "Many hands make light work.";
  const struct {
    std::string in;
    int perLine;
    const char* out;
  } cases[] = {
      {text, 0, "TWFueSBoYW5kcyBtYWtlIGxpZ2h0IHdvcmsu"},
      {text, -1, "TWFueSBoYW5kcyBtYWtlIGxpZ2h0IHdvcmsu"},
      {text, 2, "TWFueSBo\r\nYW5kcyBt\r\nYWtlIGxp\r\nZ2h0IHdv\r\ncmsu"},
      {text.substr(0, 6), 2, "TWFueSBo\r\n"},
      {"M", 1, "TQ"},
      {"Ma", 1, "TWE"},
      {"", 1, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Encode(enc, c.in, c.perLine), c.out) << c.in;
    EXPECT_EQ(Decode(enc, c.out), c.in) << c.out;
  }
}

TEST(EncodeBase, DecodeRefusesInvalidText) {
  CEncodeTest64 enc;
  for (const char* bad : {"TWE=", "TW E", "TWFuT", "T"}) {
    EXPECT_EQ(Decode(enc, bad), "<error>") << bad;
  }
}

TEST(TextEncoders, RoundTripEveryLength) {
  CEncodeTest64 enc64;
  CEncodeBase85 enc85;
  std::string in;
  for (int n = 0; n < 40; ++n) {
    EXPECT_EQ(Decode(enc64, Encode(enc64, in, 3)), in) << n;
    EXPECT_EQ(Decode(enc85, Encode(enc85, in, 0)), in) << n;
    in += static_cast<char>(n * 97 + 200);
  }
}

}  // namespace
