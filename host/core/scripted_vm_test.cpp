#include "host/core/scripted_vm.h"

#include <gtest/gtest.h>

namespace qghost {
namespace {

// Script words are UTF-8: names and texts reach the runner as the same
// characters, outside the basic plane too.
TEST(ScriptedVmText, Utf8AndUtf16RoundTrip) {
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"somme", u"somme"},
      {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16Of(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(Utf8Of(c.utf16.c_str()), c.utf8) << c.utf8;
  }
  EXPECT_EQ(Utf16Of("a\xC3"), u"a\uFFFD");  // a cut sequence
  EXPECT_EQ(Utf8Of(nullptr), "");
}

}  // namespace
}  // namespace qghost
