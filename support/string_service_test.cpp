#include "support/string_service.h"

#include <gtest/gtest.h>

#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"

namespace {

using StringServiceTest = qg::StringHostTest;

TEST_F(StringServiceTest, NamesNormaliseAndCompareWithoutCaseOrAccents) {
  EXPECT_EQ(ServiceChaine::Normalise(u"\u00C9t\u00E9 Client"), u"ete client");
  EXPECT_EQ(ServiceChaine::Normalise(u"ABCdef", 3), u"abc");
  EXPECT_EQ(ServiceChaine::Normalise(nullptr), u"");
  EXPECT_EQ(ServiceChaine::nCompare(u"\u00C9T\u00C9", u"ete"), 0);
  EXPECT_NE(ServiceChaine::nCompare(u"ete", u"etes"), 0);
  EXPECT_EQ(ServiceChaine::nCompare(nullptr, u""), 0);
}

TEST(StringService, WithoutAHostLocaleFoldsLatin1Case) {
  qg::IInfoLocale* saved = qg::Services().piInfoLocale;
  qg::Services().piInfoLocale = nullptr;
  EXPECT_EQ(ServiceChaine::Normalise(u"NOM\u00C9"), u"nom\u00E9");
  qg::Services().piInfoLocale = saved;
}

}  // namespace
