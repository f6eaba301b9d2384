#include "driver/core/support/server_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ServerAddress, SplitCases) {
  struct Case { const char16_t* text; int result; const char16_t* host; uint16_t port; };
  const Case cases[] = {
      {u"[fe80::1]:3307", 1, u"fe80::1", 3307},
      {u"db.example.com:3306", 1, u"db.example.com", 3306},
      {u"::1", 1, u"::1", 0},
      {u"  fe80::1:2  \t", 1, u"fe80::1:2", 0},
      {u"1:2:3:4:5:6:7:8", 1, u"1:2:3:4:5:6:7:8", 0},
      {u"[::1]", 1, u"::1", 0},
      {u"\t myhost ", 1, u"myhost", 0},
      {u"myhost  : 3306 ", 1, u"myhost", 3306},
      {u"localhost:65535", 1, u"localhost", 65535},
      {u"", 1, u"", 0},
      // Ports outside 1..65535, or not numbers, are refused rather than
      // wrapped.
      {u"localhost:65536", 0, u"", 0},
      {u"localhost:69842", 0, u"", 0},
      {u"localhost:0", 0, u"", 0},
      {u"localhost:", 0, u"", 0},
      {u"localhost:33o6", 0, u"", 0},
      {u"[::1:3306", 0, u"", 0},
      // Not IPv6 literals (a five-digit group, two double colons): split at
      // the last colon.
      {u"1::12345", 1, u"1:", 12345},
      {u"1::2::3", 1, u"1::2:", 3},
      // IPv4-mapped IPv6 addresses are their IPv4 address.
      {u"::ffff:1.2.3.4", 1, u"1.2.3.4", 0},
      {u" ::FFFF:10.0.0.255 ", 1, u"10.0.0.255", 0},
      {u"[::ffff:127.0.0.1]:3307", 1, u"127.0.0.1", 3307},
      {u"::ffff:1.2.3.4:3306", 1, u"1.2.3.4", 3306},
      // Not a mapped address: a part above 255, or too few parts.
      {u"::ffff:1.2.3.256", 0, u"", 0},
      {u"[::ffff:1.2.3]", 1, u"::ffff:1.2.3", 0},
  };
  for (const Case& c : cases) {
    char16_t host[kNAHostCapacity];
    uint16_t port = 99;
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.text)));
    EXPECT_EQ(c.result, nSplitHostPort(c.text, host, &port));
    EXPECT_EQ(std::u16string(c.host), host);
    EXPECT_EQ(c.port, port);
  }
}

TEST(ServerAddress, LongHostIsCut) {
  std::u16string text(3000, u'h');
  text += u":3306";
  char16_t host[kNAHostCapacity];
  uint16_t port = 0;
  EXPECT_EQ(1, nSplitHostPort(text.c_str(), host, &port));
  EXPECT_EQ(1025u, std::u16string(host).size());
  EXPECT_EQ(3306, port);
}

}  // namespace
