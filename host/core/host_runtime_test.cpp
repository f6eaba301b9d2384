#include "host/core/host_runtime.h"

#include <gtest/gtest.h>

#include "support/frame/execution_protocol.h"

namespace qghost {
namespace {

TEST(HostRuntimeTest, AnswersItemsAndLogsEveryCall) {
  HostRuntime host;
  EXPECT_EQ(host.Execution(qg::kHostItemQuery, 9),
            reinterpret_cast<intptr_t>(static_cast<qg::IGlobalFactory*>(&host.Values())));
  EXPECT_EQ(host.Execution(qg::kHostItemQuery, 12),
            reinterpret_cast<intptr_t>(static_cast<qg::IInfoLocale*>(&host.Locale())));
  EXPECT_EQ(host.Execution(qg::kHostItemQuery, 13),
            reinterpret_cast<intptr_t>(static_cast<qg::IStringMemory*>(&host.Strings())));
  EXPECT_EQ(host.Execution(qg::kHostItemQuery, 7), host.RuntimeObject());
  EXPECT_EQ(host.Execution(qg::kHostItemQuery, 8), 30);
  EXPECT_EQ(host.Execution(qg::kHostItemQuery, 22), 0);  // absent
  EXPECT_EQ(host.Execution(1234, 5), 0);                 // other code
  EXPECT_EQ(host.ItemsAsked(), (std::vector<int32_t>{9, 12, 13, 7, 8, 22}));
  EXPECT_EQ(host.nAbsentItemsAsked(), 1);
  ASSERT_EQ(host.Calls().size(), 7u);
  EXPECT_EQ(host.Calls()[6].nCode, 1234);
  host.ClearLog();
  EXPECT_TRUE(host.Calls().empty());
}

TEST(HostRuntimeTest, AnswersAreConfigurable) {
  HostRuntime host;
  const struct {
    int version;
    intptr_t answer;
  } locales[] = {
      {4, reinterpret_cast<intptr_t>(static_cast<qg::IInfoLocale*>(&host.LocaleV4()))},
      {5, reinterpret_cast<intptr_t>(static_cast<qg::IInfoLocale*>(&host.Locale()))},
      {0, 0},
  };
  for (const auto& c : locales) {
    host.UseLocaleVersion(c.version);
    EXPECT_EQ(host.Execution(qg::kHostItemQuery, 12), c.answer) << c.version;
  }
  host.SetFileFormatVersion(31);
  EXPECT_EQ(host.Execution(qg::kHostItemQuery, 8), 31);
  host.SetItem(9, 0);
  EXPECT_EQ(host.Execution(qg::kHostItemQuery, 9), 0);
  EXPECT_EQ(host.nAbsentItemsAsked(), 0);
  host.SetItemAbsent(13);
  EXPECT_EQ(host.Execution(qg::kHostItemQuery, 13), 0);
  EXPECT_EQ(host.nAbsentItemsAsked(), 1);
  host.Reset();
  EXPECT_EQ(host.Execution(qg::kHostItemQuery, 8), 30);
  EXPECT_NE(host.Execution(qg::kHostItemQuery, 13), 0);
}

TEST(HostRuntimeTest, MessageCallbackModes) {
  HostRuntime& host = Runtime();
  host.Reset();
  qg::PFN_MessageText callback = host.MessageCallback();
  char16_t buffer[8];

  EXPECT_EQ(callback(1, buffer, 8), 0);

  host.SetMessageMode(MessageMode::kText, u"0123456789");
  EXPECT_EQ(callback(1, buffer, 8), 10);  // longer than the buffer: its length
  EXPECT_EQ(std::u16string(buffer), u"0123456");
  char16_t big[16];
  EXPECT_EQ(callback(1, big, 16), 10);
  EXPECT_EQ(std::u16string(big), u"0123456789");

  host.SetMessageMode(MessageMode::kExactCapacity);
  EXPECT_EQ(callback(1, buffer, 8), 7);
  EXPECT_EQ(std::u16string(buffer), u"xxxxxxx");
  EXPECT_EQ(host.nMessageCalls(), 4);
  EXPECT_EQ(host.nLastMessageCapacity(), 8);
  host.Reset();
}

}  // namespace
}  // namespace qghost
