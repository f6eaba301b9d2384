#include "driver/core/secret_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/string_host_fixture.h"

namespace {

class SecretString : public qg::StringHostTest {};

TEST_F(SecretString, MaskedTextNeverRestsInTheClear) {
  const std::u16string password = u"s3cr\u00e9t-pass";
  CSecretString secret;
  ASSERT_EQ(0, secret.nSetClearText(password.c_str()));
  EXPECT_TRUE(secret.bIsMasked());
  {
    CXYString<char16_t> clear = secret.clGetClearText();
    EXPECT_EQ(password, std::u16string(clear.pszGet(), size_t(clear.nTaille())));
    EXPECT_TRUE(clear.bTestFlag(qg::kXYFlagSecret));
    EXPECT_FALSE(clear.bEstPartage());  // a private copy, wiped when freed
    CXYString<char16_t> again = secret.clGetClearText();
    EXPECT_NE(clear.pszGet(), again.pszGet());
  }
  EXPECT_EQ(0, secret.nSetClearText(nullptr));
  EXPECT_TRUE(secret.bIsEmpty());
  EXPECT_TRUE(secret.clGetClearText().bEstVide());
}

TEST_F(SecretString, UnmaskedTextIsShared) {
  CXYString<char16_t> text(u"plain");
  CSecretString secret;
  secret.SetUnmasked(text);
  EXPECT_FALSE(secret.bIsMasked());
  CXYString<char16_t> clear = secret.clGetClearText();
  EXPECT_EQ(text.pszGet(), clear.pszGet());
  EXPECT_EQ(3, text.nGetRefCount());
}

}  // namespace
