#include "browser/browser_tables.h"

#include <gtest/gtest.h>

#include "browser/cef_browser.h"

namespace qg::web {
namespace {

TEST(BrowserTablesTest, InputTranslations) {
  EXPECT_STREQ(MouseButtonName(0), "left");
  EXPECT_STREQ(MouseButtonName(1), "middle");
  EXPECT_STREQ(MouseButtonName(2), "right");
  EXPECT_STREQ(MouseButtonName(7), "left");
  const struct {
    int32_t kind;
    const char* type;
  } keys[] = {{0, "rawKeyDown"}, {1, "keyDown"}, {2, "keyUp"}, {3, "char"}, {-1, "keyDown"}};
  for (const auto& k : keys) EXPECT_STREQ(KeyEventType(k.kind), k.type) << k.kind;
  EXPECT_EQ(ModifierBits(true, false, false), 8);
  EXPECT_EQ(ModifierBits(false, true, false), 2);
  EXPECT_EQ(ModifierBits(false, false, true), 1);
  EXPECT_EQ(ModifierBits(true, true, true), 11);
  stMouseBrowser m{0, 0, 0, 0, 0, 1, 1, 1};
  EXPECT_EQ(PressedButtons(m), 7);
  m.bLeft = 0;
  EXPECT_EQ(PressedButtons(m), 6);
}

TEST(BrowserTablesTest, CertificateFlags) {
  const struct {
    int32_t flags, code;
    bool accepted;
  } cases[] = {
      {1, -202, true}, {1, 128, true},   {1, -201, false}, {0, -202, false},
      {2, 1, true},    {2, 16384, true}, {2, -202, false}, {4, 2, true},
      {32, 64, true},  {16, 64, false},  {-1, -200, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CertificateAccepted(c.flags, c.code), c.accepted) << c.flags << " " << c.code;
  }
}

TEST(BrowserTablesTest, ValuesAndCodes) {
  EXPECT_NEAR(ZoomLevel(144), 2.0, 1e-9);
  EXPECT_EQ(ZoomLevel(0), 0.0);
  EXPECT_EQ(ZoomLevel(-5), 0.0);
  EXPECT_EQ(DeviceScale(125), 1.25);
  EXPECT_EQ(DeviceScale(0), 1.0);
  EXPECT_EQ(DeviceScale(-50), 1.0);
  EXPECT_EQ(ColorRefToArgb(0x112233), 0xFF332211u);
  EXPECT_EQ(NetErrorCode("net::ERR_CONNECTION_REFUSED"), -102);
  EXPECT_EQ(NetErrorCode("net::ERR_ABORTED"), -3);
  EXPECT_EQ(NetErrorCode("net::ERR_SOMETHING_NEW"), -2);
  EXPECT_EQ(NetErrorCode(""), 0);
  EXPECT_EQ(ResourceKind("Image"), 0);
  EXPECT_EQ(ResourceKind("Stylesheet"), 1);
  EXPECT_EQ(ResourceKind("Script"), 2);
  EXPECT_EQ(ResourceKind("XHR"), 3);
  EXPECT_EQ(ResourceKind("Fetch"), 3);
  EXPECT_EQ(ResourceKind("Font"), 4);
}

TEST(BrowserTablesTest, CreationRecordIsReadByVersion) {
  int dummy;
  stCreationBrowser r{};
  r.nVersion = 5;
  r.piSecond = &dummy;
  r.pszURL = u"x";
  EXPECT_EQ(CopyCreationRecord(&r).piSecond, nullptr) << "no second interface before 6";
  EXPECT_EQ(CopyCreationRecord(&r).pszURL, r.pszURL);
  r.nVersion = 6;
  EXPECT_EQ(CopyCreationRecord(&r).piSecond, &dummy);
}

TEST(BrowserTablesTest, UnresponsiveRule) {
  using E = EUnresponsive;
  const struct {
    int reports;
    bool windowless, low_end, loaded, body;
    E action;
    const char* reason;
  } cases[] = {
      {1, true, true, false, false, E::kRecreate, nullptr},
      {2, true, true, false, false, E::kWait, "m_nOnRenderProcessUnresponsive > 1"},
      {1, true, true, true, false, E::kWait, "m_bOnLoadEndRecu = true"},
      {1, true, true, false, true, E::kWait, "m_bEnAttenteRetJS = true"},
      {3, true, true, true, true, E::kWait, "m_nOnRenderProcessUnresponsive > 1"},
      {1, true, false, false, false, E::kIgnore, nullptr},
      {1, false, true, false, false, E::kIgnore, nullptr},
  };
  for (const auto& c : cases) {
    const char* reason = "unset";
    EXPECT_EQ(UnresponsiveAction(c.reports, c.windowless, c.low_end, c.loaded, c.body, &reason),
              c.action)
        << c.reports << c.windowless << c.low_end << c.loaded << c.body;
    EXPECT_STREQ(reason, c.reason);
  }
}

}  // namespace
}  // namespace qg::web
