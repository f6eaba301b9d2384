#include "support/platform/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace qg {
namespace {

std::u16string Widen(const std::string& s) {
  std::u16string w;
  for (char c : s) w.push_back(static_cast<unsigned char>(c));
  return w;
}

// Narrow text of a wide result, for readable failure messages; units above
// 0x7F are shown as \uXXXX.
std::string Show(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

template <typename... Args>
std::string Ref(const char* fmt, Args... args) {
  int n = std::snprintf(nullptr, 0, fmt, args...);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), fmt, args...);
  out.resize(static_cast<size_t>(n));
  return out;
}

// Every directive of flags x width x precision x conversion, formatted in
// both widths and compared with the C library, for a set of values.
std::vector<std::string> Directives(const std::vector<std::string>& convs) {
  const char* flags[] = {"", "-", "+", " ", "0", "#", "-+", "0+", "# 0", "-#"};
  const char* widths[] = {"", "1", "12"};
  const char* precs[] = {"", ".0", ".3", ".20"};
  std::vector<std::string> out;
  for (const char* f : flags)
    for (const char* w : widths)
      for (const char* p : precs)
        for (const std::string& c : convs)
          out.push_back(std::string("[%") + f + w + p + c + "]");
  return out;
}

template <typename T>
void CheckAgainstC(const std::string& fmt, const std::string& cfmt, T value) {
  std::string want = Ref(cfmt.c_str(), value);
  std::string narrow = FormatString(fmt.c_str(), value);
  EXPECT_EQ(want, narrow) << fmt;
  std::u16string wfmt = Widen(fmt);
  std::u16string wide = FormatString(wfmt.c_str(), value);
  EXPECT_EQ(Widen(want), wide) << fmt;
}

TEST(Format, IntegersMatchTheCLibrary) {
  const int values32[] = {0, 1, -1, 42, 7, -123456, INT_MAX, INT_MIN};
  for (const std::string& d : Directives({"d", "i", "u", "x", "X", "o"})) {
    for (int v : values32) CheckAgainstC(d, d, v);
  }
  const long long values64[] = {0, -1, 5000000000LL, -5000000000LL, LLONG_MAX,
                                LLONG_MIN};
  for (const std::string& d : Directives({"I64d", "I64u", "I64x", "I64X", "I64o"})) {
    std::string c = d;
    c.replace(c.find("I64"), 3, "ll");
    for (long long v : values64) CheckAgainstC(d, c, v);
    for (long long v : values64) CheckAgainstC(c, c, v);
  }
}

TEST(Format, FloatsMatchTheCLibrary) {
  const double values[] = {0.0, -0.0, 1.5, 0.1, 2.5, -0.5, 123456789.0, 1e-5,
                           9.9999995, 1e300, 5e-324, 1e21, 0.0001, 100000.0,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  for (const std::string& d : Directives({"f", "e", "E", "g", "G"})) {
    for (double v : values) CheckAgainstC(d, d, v);
  }
  // Long texts leave the local scratch buffer.
  CheckAgainstC("%.400f", "%.400f", 1e300);
  CheckAgainstC("%#.600g", "%#.600g", 1.0 / 3.0);
  CheckAgainstC("%-700.3e|", "%-700.3e|", -2.0);
  // Precisions past the exact digits of any double.
  CheckAgainstC("%.1500f", "%.1500f", 0.1);
  CheckAgainstC("%.1500f", "%.1500f", 5e-324);
  CheckAgainstC("%-1800.1200E|", "%-1800.1200E|", -1.0 / 3.0);
  CheckAgainstC("%#.1300g", "%#.1300g", 1e-300);
  CheckAgainstC("%#.1300G", "%#.1300G", 6.02e23);
  CheckAgainstC("%.1300g", "%.1300g", 0.1);
  // Counting a huge precision allocates nothing in proportion to it.
  EXPECT_EQ(100002u, FormatLength("%.100000f", FormatArgs{nullptr, 0}));
}

// Windows meanings the C library here does not share.
TEST(Format, WindowsMeaningTable) {
  struct Case {
    const char* fmt;
    std::vector<FormatArg> args;
    const char* want;
  };
  int local = 0;
  const void* addr = reinterpret_cast<const void*>(uintptr_t{0xDEADBEEF});
  const Case cases[] = {
      // Sizes: the prefix, not the argument, decides the bits read.
      {"%I64d", {int64_t{4294967301}}, "4294967301"},
      {"%I64u|%I64x", {int64_t{-1}, uint64_t{0x123456789A}},
       "18446744073709551615|123456789a"},
      {"%d|%u|%x", {int64_t{4294967301}, int64_t{-1}, int64_t{-1}},
       "5|4294967295|ffffffff"},
      {"%ld|%lu", {int64_t{4294967301}, -1}, "5|4294967295"},
      {"%I32d|%lld|%zu", {int64_t{4294967301}, int64_t{4294967301}, size_t{1} << 40},
       "5|4294967301|1099511627776"},
      {"%hd|%hu|%hhd|%hhx", {70000, -1, 300, -1}, "4464|65535|44|ff"},
      {"%Id|%Nd|%Fd|%Lf", {int64_t{-5000000000}, 3, 4, 0.5},
       "-5000000000|3|4|0.500000"},
      // Pointers: 16 upper-case digits, no 0x.
      {"%p|%12p|%-18p|", {addr, nullptr, addr},
       "00000000DEADBEEF|0000000000000000|00000000DEADBEEF  |"},
      {"%#p", {addr}, "0X00000000DEADBEEF"},
      // %n is never honoured; its argument is still consumed.
      {"a%nb%d", {static_cast<void*>(&local), 7}, "a%nb7"},
      {"%-5n|%d", {static_cast<void*>(&local), 8}, "%-5n|8"},
      // Unknown conversions and a format ending inside a directive.
      {"%y%d", {9}, "%y9"},
      {"50%", {}, "50%"},
      {"%-08.", {}, "%-08."},
      {"%5%|%%", {}, "%|%"},
      // Text and characters; '0' pads text with zeros.
      {"[%s][%5s][%-5s][%05s][%.2s]", {"ab", "ab", "ab", "ab", "abc"},
       "[ab][   ab][ab   ][000ab][ab]"},
      {"[%s][%.3s][%8s]", {static_cast<const char*>(nullptr),
                           static_cast<const char16_t*>(nullptr), nullptr},
       "[(null)][(nu][  (null)]"},
      {"[%c][%3c][%-3c][%03c]", {'A', 'b', 'c', 'd'}, "[A][  b][c  ][00d]"},
      // Stars: a negative width left-justifies, a negative precision is none.
      {"[%*d][%*d][%.*f][%.*s][%*.*s]", {5, 42, -5, 42, 2, 3.14159, -1, "abc", 4, 1, "xyz"},
       "[   42][42   ][3.14][abc][   x]"},
      // Mismatched and missing arguments.
      {"%d|%d|%u|%f|%s", {3.9, -2.5, -7.0, 7, 5}, "3|-2|0|7.000000|(null)"},
      {"%d|%hd|%I64d", {1e30, -1e30, 1e300}, "2147483647|-32768|9223372036854775807"},
      {"%d %s %f|", {}, "0 (null) 0.000000|"},
  };
  for (const Case& c : cases) {
    FormatArgs args{c.args.data(), c.args.size()};
    std::string narrow;
    FormatAppend(&narrow, c.fmt, args);
    std::u16string wide;
    std::u16string wfmt = Widen(c.fmt);
    FormatAppend(&wide, wfmt.c_str(), args);
    std::string want(c.want);
    EXPECT_EQ(want, narrow) << c.fmt;
    EXPECT_EQ(Widen(want), wide) << c.fmt;
  }
  // A character conversion may write a NUL unit; it counts.
  EXPECT_EQ(std::string("a\0b", 3), FormatString("a%cb", 0));
  EXPECT_EQ(std::string("a\0b", 3), FormatString("a%cb"));
}

TEST(Format, TextWidthsInBothOutputs) {
  // Typed arguments carry their width: any text conversion writes them right.
  EXPECT_EQ(u"abc|d\u00e9f|xy|\u20ac", FormatString(u"%s|%S|%hs|%ls", u"abc", "d\xe9" "f", "xy", u"\u20ac"));
  EXPECT_EQ("abc|d\xe9" "f|?|\xe9", FormatString("%s|%S|%ls|%hs", "abc", u"d\u00e9f", u"\u20ac", u"\u00e9"));
  // %c is wide in a wide format, %C narrow (cut to 8 bits); the reverse in a
  // narrow format; 'h' / 'l' force the width.
  EXPECT_EQ(u"\u20ac|\u00ac|\u00ac|\u20ac", FormatString(u"%c|%C|%hc|%lC", 0x20AC, 0x20AC, 0x20AC, 0x20AC));
  EXPECT_EQ("\xac|\xe9|?|\xac", FormatString("%c|%C|%lc|%hC", 0x20AC, 0xE9, 0x20AC, 0x20AC));
  // A precision never reads past that many units: no terminator needed.
  const char16_t counted[3] = {u'x', u'y', u'z'};
  EXPECT_EQ(u"[xy]", FormatString(u"[%.2s]", counted));
  const char counted8[2] = {'p', 'q'};
  EXPECT_EQ(u"[pq]", FormatString(u"[%.*S]", 2, counted8));
  // Surrogate pairs and units above U+00FF pass through a wide format.
  EXPECT_EQ(u"\U0001F600!", FormatString(u"%s!", u"\U0001F600"));
  // Literal text of a wide format is copied unit for unit.
  EXPECT_EQ(u"\u00e9\u20ac 1", FormatString(u"\u00e9\u20ac %d", 1));
}

TEST(Format, BoundedBuffer) {
  char16_t buf[8];
  auto reset = [&] { std::fill(std::begin(buf), std::end(buf), u'#'); };

  reset();
  EXPECT_EQ(3, Format(buf, 8, u"%d", 123));
  EXPECT_EQ(std::u16string(u"123"), buf);
  EXPECT_EQ(u'#', buf[4]);

  reset();  // exact fit: 7 units and the terminator
  EXPECT_EQ(7, Format(buf, 8, u"%7s", u"ab"));
  EXPECT_EQ(std::u16string(u"     ab"), buf);

  reset();  // one unit too many: cut, terminated, nothing past the end
  EXPECT_EQ(-1, Format(buf, 7, u"%7s", u"ab"));
  EXPECT_EQ(std::u16string(u"     a"), buf);
  EXPECT_EQ(u'#', buf[7]);

  reset();
  EXPECT_EQ(-1, Format(buf, 5, u"%s-%I64d", u"abc", int64_t{5000000000}));
  EXPECT_EQ(std::u16string(u"abc-"), buf);

  reset();
  EXPECT_EQ(-1, Format(buf, 1, u"x"));
  EXPECT_EQ(0, buf[0]);
  EXPECT_EQ(0, Format(buf, 1, u""));

  reset();
  EXPECT_EQ(-1, Format(buf, 0, u""));
  EXPECT_EQ(u'#', buf[0]);

  char nb[6];
  std::fill(std::begin(nb), std::end(nb), '#');
  EXPECT_EQ(-1, Format(nb, 4, "%f", 2.5));
  EXPECT_STREQ("2.5", nb);
  EXPECT_EQ('#', nb[4]);
  EXPECT_EQ(0, Format(nb, 6, static_cast<const char*>(nullptr)));
  EXPECT_STREQ("", nb);
}

TEST(Format, AppendAndLength) {
  std::u16string s = u"pre:";
  EXPECT_EQ(9u, Format(&s, u"%s=%05d", u"abc", -12));
  EXPECT_EQ(u"pre:abc=-0012", s);
  std::string n = "x";
  EXPECT_EQ(4u, Format(&n, "%I64X", int64_t{0xBEEF}));
  EXPECT_EQ("xBEEF", n);

  // The length query agrees with what is written, whatever the directive.
  const FormatArg args[] = {-5, 1e300, u"text", "narrow", 0x20AC, int64_t{1} << 40};
  const char16_t* fmts[] = {u"%d %f %s %S %c %I64u", u"%-30d|%.500f|%.2s|%10S|%5c|%#I64x",
                            u"", u"%n%y%", u"%.5000e|%#.3000g|%.3000g"};
  for (const char16_t* f : fmts) {
    FormatArgs list{args, std::size(args)};
    std::u16string out;
    FormatAppend(&out, f, list);
    EXPECT_EQ(out.size(), FormatLength(f, list)) << Show(f);
    std::string nf(Show(f));
    std::string nout;
    FormatAppend(&nout, nf.c_str(), list);
    EXPECT_EQ(nout.size(), FormatLength(nf.c_str(), list)) << nf;
  }
}

std::u16string VaWide(const char16_t* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::u16string out;
  FormatVaAppend(&out, fmt, ap);
  va_end(ap);
  return out;
}

std::string VaNarrow(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char buf[64];
  int n = FormatVaTo(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return n < 0 ? std::string("<cut>") : std::string(buf, static_cast<size_t>(n));
}

TEST(Format, VariableArgumentsFetchedAsWindowsReadsThem) {
  int local = 0;
  // In a wide format %s is wide and %S narrow.
  EXPECT_EQ(u"w|n|n|w|5000000000|-1|\u00e9|2.5|   7|(null)|%n|9",
            VaWide(u"%s|%S|%hs|%ls|%I64d|%d|%c|%.1f|%*d|%s|%n|%u", u"w", "n", "n", u"w",
                   5000000000LL, -1, 0xE9, 2.5, 4, 7, static_cast<const char16_t*>(nullptr),
                   &local, 9u));
  // In a narrow format %s is narrow and %S wide.
  EXPECT_EQ("n|w|n|w|-5000000000|ff|0000000000000010|x",
            VaNarrow("%s|%S|%hS|%lS|%lld|%hhx|%p|%C", "n", u"w", "n", u"w",
                     -5000000000LL, 255, reinterpret_cast<void*>(16), u'x'));
  EXPECT_EQ("<cut>", VaNarrow("%080d", 1));
}

}  // namespace
}  // namespace qg
