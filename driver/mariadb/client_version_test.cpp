#include "driver/mariadb/client_version.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(ParseClientVersion, WalksDigitsAndSeparators) {
  struct Case {
    const char* text;
    int major, minor, patch;
  } cases[] = {
      {"10.5.8-MariaDB", 10, 5, 8},
      {"3.1.11", 3, 1, 11},
      {"3.23.58-suffix.99", 3, 23, 58},
      {"5.0", 5, 0, 0},
      {"", 0, 0, 0},
      {nullptr, 0, 0, 0},
      {"..7", 0, 0, 7},          // every non-digit moves on, even twice in a row
      {"v4.1.2", 0, 4, 1},       // a leading letter uses up the first number
      {"99999999999.1.2", INT_MAX, 1, 2},  // too long: held at INT_MAX, not wrapped
  };
  for (const Case& c : cases) {
    int major = -5, minor = -5, patch = -5;
    qg::ParseClientVersion(c.text, &major, &minor, &patch);
    EXPECT_EQ(c.major, major) << (c.text ? c.text : "(null)");
    EXPECT_EQ(c.minor, minor) << (c.text ? c.text : "(null)");
    EXPECT_EQ(c.patch, patch) << (c.text ? c.text : "(null)");
  }
}

}  // namespace
