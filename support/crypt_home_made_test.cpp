#include "support/crypt_home_made.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Donnees(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 3);
  return v;
}

TEST(CryptHomeMadeTest, RoundTripAtEverySize) {
  CCryptHomeMade c;
  c.DeriveCle(1, u"a key text");
  for (size_t n : {0, 1, 3, 4, 5, 17, 1000}) {
    const std::vector<uint8_t> plain = Donnees(n);
    std::vector<uint8_t> v = plain;
    EXPECT_EQ(c.nTailleBrouillee(n), n);
    c.Brouille(v.data(), v.size());
    if (n >= 4) {
      EXPECT_NE(v, plain) << n;
    }
    c.Debrouille(v.data(), c.nTailleDebrouillee(v.size()));
    EXPECT_EQ(v, plain) << n;
  }
}

TEST(CryptHomeMadeTest, KeysFromBytesAndTexts) {
  auto sortie = [](const CCryptHomeMade& c) {
    std::vector<uint8_t> v = Donnees(32);
    c.Brouille(v.data(), v.size());
    return v;
  };
  CCryptHomeMade a, b;
  // A UTF-16 text that fits code page 1252 counts as its 1252 bytes.
  a.DeriveCle(5, u"caf\u00E9");
  b.DeriveCle(5, "caf\xE9");
  EXPECT_EQ(sortie(a), sortie(b));
  b.DeriveCle(6, "caf\xE9");
  EXPECT_NE(sortie(a), sortie(b)) << "the seed counts";
  // One that does not, as its UTF-16 bytes.
  a.DeriveCle(5, u"\u4E2D");
  b.DeriveCle(5, "\x2D\x4E");
  EXPECT_EQ(sortie(a), sortie(b));
  a.DeriveCle(5, static_cast<const char16_t*>(nullptr));
  b.DeriveCle(5, "");
  EXPECT_EQ(sortie(a), sortie(b));

  const uint8_t long_key[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  a.SetCle(long_key, sizeof(long_key));
  EXPECT_EQ(std::memcmp(a.pCle(), long_key, 16), 0);
  a.SetCle(long_key, 3);
  const uint8_t padded[16] = {1, 2, 3};
  EXPECT_EQ(std::memcmp(a.pCle(), padded, 16), 0);
  EXPECT_EQ(a.nTailleCle(), 16u);
}

}  // namespace
