#include "driver/sql/key_part.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/refcounted.h"
#include "driver/sql/column.h"

namespace {

class KeyParts : public ::testing::Test {
 protected:
  CNAColumn* Part(int type, int size) {
    CNAColumn* c = NAAddRef(new CNAColumn);
    c->Init(u"p", u"t", u"p", 1, size, type, 0, 1, 0, 0, 0);
    held_.push_back(c);
    return c;
  }
  CNAColumn* Key(std::initializer_list<CNAColumn*> parts) {
    CNAColumn* k = NAAddRef(new CNAColumn);
    k->Init(u"k", u"t", u"k", 1, 0, 2, 0, 1, kNAKeyUnique | kNAKeyComposite, 0, 0);
    for (CNAColumn* p : parts) k->AddPart(p);
    held_.push_back(k);
    return k;
  }
  void TearDown() override {
    for (CNAColumn* c : held_) ReleaseBoth(c);
  }
  static NAKeyValueParts Decode(const CNAColumn& key, const std::string& bytes, bool* ok = nullptr) {
    NAKeyValueParts parts;
    const bool r = bDecodeKeyParts(key, reinterpret_cast<const uint8_t*>(bytes.data()),
                                   bytes.size(), &parts);
    if (ok != nullptr) *ok = r;
    return parts;
  }
  std::vector<CNAColumn*> held_;
};

TEST_F(KeyParts, PartSizesMatchThePackedKey) {
  EXPECT_EQ(nKeyPartSize(*Part(2, 8)), 7);   // no terminator
  EXPECT_EQ(nKeyPartSize(*Part(29, 10)), 8);
  EXPECT_EQ(nKeyPartSize(*Part(5, 4)), 4);
  EXPECT_EQ(nKeyPartSize(*Part(23, 6)), 6);  // the length prefix stays
  EXPECT_EQ(nKeyPartSize(*Part(2, 0)), 0);
}

TEST_F(KeyParts, WholeAndPartialKeys) {
  CNAColumn* key = Key({Part(2, 8), Part(5, 4)});
  const std::string text("abcdefg", 7);
  NAKeyValueParts p = Decode(*key, text + std::string("\x01\x00\x00\x00", 4));
  ASSERT_EQ(p.parts.size(), 2u);
  EXPECT_EQ(p.parts[1].nOffset, 7u);
  EXPECT_EQ(p.parts[1].nLength, 4u);
  EXPECT_FALSE(p.parts[1].bPartial);
  // A value stopping at a part boundary: the parts given.
  EXPECT_EQ(Decode(*key, text).parts.size(), 1u);
  // A text given in part is a prefix.
  p = Decode(*key, "ab");
  ASSERT_EQ(p.parts.size(), 1u);
  EXPECT_TRUE(p.parts[0].bPartial);
  EXPECT_EQ(p.parts[0].nLength, 2u);
  EXPECT_EQ(p.parts[0].bound, NAKeyValuePart::kNone);
  // An integer given in part means nothing: decoding ends before it.
  EXPECT_EQ(Decode(*key, text + "\x01\x02").parts.size(), 1u);
  // Low and high markers.
  p = Decode(*key, text + std::string("\0", 1));
  ASSERT_EQ(p.parts.size(), 2u);
  EXPECT_TRUE(p.bLow);
  EXPECT_EQ(p.parts[1].bound, NAKeyValuePart::kLowest);
  p = Decode(*key, text + "\xFF\xFF");
  EXPECT_TRUE(p.bHigh);
  EXPECT_EQ(p.parts[1].bound, NAKeyValuePart::kHighest);
  EXPECT_TRUE(Decode(*key, "").parts.empty());
}

TEST_F(KeyParts, WideTextHighMarker) {
  CNAColumn* key = Key({Part(29, 10), Part(5, 4)});
  EXPECT_TRUE(Decode(*key, "\xFF\xFF").bHigh);
  NAKeyValueParts p = Decode(*key, std::string("a\0b", 3));  // half a character dropped
  ASSERT_EQ(p.parts.size(), 1u);
  EXPECT_EQ(p.parts[0].nLength, 2u);
}

TEST_F(KeyParts, LengthPrefixesStayInsideTheirPart) {
  CNAColumn* key = Key({Part(23, 6), Part(5, 4)});
  bool ok = false;
  NAKeyValueParts p = Decode(*key, std::string("\x03\x00" "abc\x00" "\x01\x00\x00\x00", 10), &ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(p.parts.size(), 2u);
  EXPECT_EQ(p.parts[0].nOffset, 2u);
  EXPECT_EQ(p.parts[0].nLength, 3u);
  EXPECT_EQ(p.parts[1].nOffset, 6u);
  // A length beyond the part: malformed, no condition.
  p = Decode(*key, std::string("\x05\x00" "abcd" "\x01\x00\x00\x00", 10), &ok);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(p.parts.empty());
  // A value stopping inside the length: nothing usable from that part.
  p = Decode(*key, std::string("\x03", 1), &ok);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(p.parts.empty());
}

TEST_F(KeyParts, PlainKeyIsItsOwnPart) {
  CNAColumn* col = Part(5, 4);
  NAKeyValueParts p = Decode(*col, std::string("\x01\x00\x00\x00\x09", 5));
  ASSERT_EQ(p.parts.size(), 1u);
  EXPECT_EQ(p.parts[0].pColumn, col);
  EXPECT_EQ(p.parts[0].nLength, 4u);
}

}  // namespace
