#include "dotnet/convert/uuid_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/string_host_fixture.h"

namespace {

const uint8_t kOctets[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                             0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
const char kTexte[] = "00112233-4455-6677-8899-aabbccddeeff";

TEST(UUIDText, Writes128InStorageOrder) {
  char sz[kUUID128Texte + 1];
  EcritUUID128(kOctets, sz);
  EXPECT_STREQ(sz, kTexte);
  char16_t wsz[kUUID128Texte + 1];
  EcritUUID128(kOctets, wsz);
  EXPECT_EQ(std::u16string(wsz), u"00112233-4455-6677-8899-aabbccddeeff");
}

TEST(UUIDText, Reads128Forms) {
  struct Cas {
    const char16_t* psz;
    int nStatut;
  };
  for (const Cas& c : {Cas{u"00112233-4455-6677-8899-aabbccddeeff", 0},
                       Cas{u"{00112233-4455-6677-8899-AABBCCDDEEFF}", 0},
                       Cas{u"00112233445566778899aabbccddeeff", 0},
                       Cas{u"\uFF10\uFF10112233\uFF0D4455-6677-8899-\uFF41\uFF21bbccddeeff", 0},
                       Cas{u"{00112233-4455-6677-8899-aabbccddeeff", 116},
                       Cas{u"00112233-4455 6677-8899-aabbccddeeff", 116},
                       Cas{u"00112233-4455-6677-8899-aabbccddeefg", 116},
                       Cas{u"0011223344556677-8899aabbccddeeff", 116},
                       Cas{u"00112233-4455-6677-8899-aabbccddeef", 116}, Cas{u"", 116}}) {
    uint8_t o[16] = {};
    const int nStatut = nLitUUID128(c.psz, o);
    EXPECT_EQ(nStatut, c.nStatut) << std::string(c.psz, c.psz + std::char_traits<char16_t>::length(c.psz));
    if (nStatut == 0) {
      EXPECT_EQ(std::memcmp(o, kOctets, 16), 0);
    } else {
      EXPECT_EQ(o[0] | o[15], 0);  // untouched
    }
  }
  uint8_t o[16] = {};
  EXPECT_EQ(nLitUUID128(kTexte, o), 0);
  EXPECT_EQ(std::memcmp(o, kOctets, 16), 0);
  EXPECT_EQ(nLitUUID128("00112233\xEF\xBC\x8D" "4455-6677-8899-aabbccddeeff", o), 116);  // 8-bit: no full-width
  EXPECT_EQ(nLitUUID128(static_cast<const char*>(nullptr), o), 116);
  EXPECT_EQ(nLitUUID128(static_cast<const char16_t*>(nullptr), o), 116);
  EXPECT_EQ(nLitUUID128(kTexte, o, 35), 116);  // a counted text shorter than 36
}

TEST(UUIDText, Round256) {
  uint8_t o[32];
  for (int i = 0; i < 32; ++i) o[i] = static_cast<uint8_t>(i * 37 + 5);
  char sz[kUUID256Texte + 1];
  EcritUUID256(o, sz);
  EXPECT_EQ(std::strlen(sz), 64u);
  EXPECT_EQ(std::string(sz, 4), "052a");
  uint8_t lu[32] = {};
  EXPECT_EQ(nLitUUID256(sz, lu), 0);
  EXPECT_EQ(std::memcmp(lu, o, 32), 0);
  char16_t wsz[kUUID256Texte + 1];
  EcritUUID256(o, wsz);
  std::memset(lu, 0, 32);
  EXPECT_EQ(nLitUUID256(wsz, lu), 0);
  EXPECT_EQ(std::memcmp(lu, o, 32), 0);
  wsz[0] = u'\uFF10';  // full-width zero
  EXPECT_EQ(nLitUUID256(wsz, lu), 0);
  sz[63] = 0;
  EXPECT_EQ(nLitUUID256(sz, lu), 117);
  sz[63] = 'x';
  EXPECT_EQ(nLitUUID256(sz, lu), 117);
  EXPECT_EQ(nLitUUID256(static_cast<const char*>(nullptr), lu), 117);
  EXPECT_EQ(nLitUUID256(static_cast<const char16_t*>(nullptr), lu), 117);
}

using DynamicText = qg::StringHostTest;

TEST_F(DynamicText, IdentifiersThroughDynamicStrings) {
  CXYString<char> s;
  CXYString<char16_t> w;
  ASSERT_EQ(EcritUUID128(kOctets, s), 0);
  ASSERT_EQ(EcritUUID128(kOctets, w), 0);
  EXPECT_STREQ(s.pszGet(), kTexte);
  EXPECT_EQ(w.nTaille(), kUUID128Texte);
  uint8_t o[32] = {};
  EXPECT_EQ(nLitUUID128(s, o), 0);
  EXPECT_EQ(std::memcmp(o, kOctets, 16), 0);
  std::memset(o, 0, sizeof o);
  EXPECT_EQ(nLitUUID128(w, o), 0);
  EXPECT_EQ(std::memcmp(o, kOctets, 16), 0);
  uint8_t o256[32];
  for (int i = 0; i < 32; ++i) o256[i] = static_cast<uint8_t>(255 - i);
  ASSERT_EQ(EcritUUID256(o256, s), 0);
  ASSERT_EQ(EcritUUID256(o256, w), 0);
  EXPECT_EQ(nLitUUID256(s, o), 0);
  EXPECT_EQ(std::memcmp(o, o256, 32), 0);
  EXPECT_EQ(nLitUUID256(w, o), 0);
  CXYString<char> vide;
  CXYString<char16_t> videW;
  EXPECT_EQ(nLitUUID128(vide, o), 116);
  EXPECT_EQ(nLitUUID128(videW, o), 116);
  EXPECT_EQ(nLitUUID256(vide, o), 117);
  EXPECT_EQ(nLitUUID256(videW, o), 117);
}

}  // namespace
