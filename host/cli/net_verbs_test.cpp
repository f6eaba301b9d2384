// qghost net call against the fixture assembly, as a user types it: type
// names in any case, generic class names with dots, and failures that say
// why.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Outcome {
  std::string text;  // standard output and error
  int status = -1;
};

std::string Build() {
  const char* build = std::getenv("QG_BUILD_DIR");
  return build != nullptr ? build : ".";
}

Outcome Net(const std::string& arguments) {
  // The .NET runtime leaves its own allocations at exit: a sanitizer build's
  // leak check would fail every run that started it.
  const std::string command = "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" '" + Build() +
                              "/bin/qghost' net " + arguments + " 2>&1";
  Outcome run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.text.append(buffer, n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

std::string Fixture() { return "'" + Build() + "/managed/bin/NetFixture/release/NetFixture.dll'"; }

TEST(QghostNetCall, TypeNamesInAnyCaseAndListedInTheUsage) {
  Outcome sum = Net("call " + Fixture() + " Fixture.Values Add i4:2 I4:3");
  EXPECT_EQ(sum.status, 0) << sum.text;
  EXPECT_THAT(sum.text, HasSubstr("5  (code 8)"));
  Outcome usage = Net("call");
  EXPECT_EQ(usage.status, 2);
  EXPECT_THAT(usage.text, HasSubstr("DATETIME"));
}

TEST(QghostNetCall, GenericClassNamesKeepTheirDottedArguments) {
  Outcome contains =
      Net("call " + Fixture() + " 'System.Collections.Generic.List<System.Int32>' Contains i4:5");
  EXPECT_EQ(contains.status, 0) << contains.text;
  EXPECT_THAT(contains.text, HasSubstr("(code 1)"));
}

TEST(QghostNetCall, FailuresSayWhy) {
  Outcome fragile = Net("call " + Fixture() + " Fixture.Fragile Get");
  EXPECT_EQ(fragile.status, 1);
  EXPECT_THAT(fragile.text, HasSubstr("constructor refused"));
  Outcome narrow = Net("call " + Fixture() + " Fixture.Picks B i4:300");
  EXPECT_EQ(narrow.status, 1);
  EXPECT_THAT(narrow.text, HasSubstr("does not convert to System.Byte"));
}

// An argument out of its type's range is refused, not wrapped.
TEST(QghostNetCall, ArgumentsOutOfTheirTypeAreRefused) {
  for (const char* argument : {"i4:99999999999", "ui1:300", "i2:-40000"}) {
    Outcome add = Net("call " + Fixture() + " Fixture.Values Add " + argument + " I4:0");
    EXPECT_EQ(add.status, 2) << argument << ": " << add.text;
    EXPECT_THAT(add.text, HasSubstr("bad argument")) << argument;
  }
  Outcome edge = Net("call " + Fixture() + " Fixture.Values Add i4:-2147483648 I4:2147483647");
  EXPECT_EQ(edge.status, 0) << edge.text;
  EXPECT_THAT(edge.text, HasSubstr("-1  (code 8)"));
}

}  // namespace
