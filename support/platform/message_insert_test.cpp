#include "support/platform/message_insert.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qg {
namespace {

TEST(MessageInsert, TextInsertsTable) {
  struct Case {
    const char16_t* text;
    std::vector<const char16_t*> inserts;
    const char16_t* want;
  };
  const Case cases[] = {
      {u"File <%1> locked at %2, length %3",
       {u"a.fic", u"128", u"16"}, u"File <a.fic> locked at 128, length 16"},
      {u"%2 before %1, %1 again", {u"one", u"two"}, u"two before one, one again"},
      {u"plain text\r\nsecond line", {}, u"plain text\r\nsecond line"},
      // Inserts beyond the count stay as they stand, format included.
      {u"[%1][%2][%3!d!][%99]", {u"x", u"y"}, u"[x][y][%3!d!][%99]"},
      {u"%1", {}, u"%1"},
      // Two digits at most: %100 is insert 10 followed by "0".
      {u"%10|%100|%1|%1x", {u"a", u"", u"", u"", u"", u"", u"", u"", u"", u"j"},
       u"j|j0|a|ax"},
      // Escapes, and '%' before anything else or at the end.
      {u"a%nb%rc%td%be% f%%g%.h%!i", {}, u"a\r\nb\rc\td e f%g.h!i"},
      {u"100%q 5%", {}, u"100%q 5%"},
      {u"kept%0dropped %1", {u"x"}, u"kept"},
      // A null insert, and an empty one.
      {u"<%1><%2>", {nullptr, u""}, u"<(null)><>"},
      // An unclosed '!' is text.
      {u"%1!d", {u"v"}, u"v!d"},
      {u"%1!-6s!|%1!.2s!|%1!5s!", {u"abc"}, u"abc   |ab|  abc"},
  };
  for (const Case& c : cases) {
    std::u16string out = u"<";
    size_t n = MessageInsertAppend(&out, c.text, c.inserts.data(), c.inserts.size());
    EXPECT_EQ(std::u16string(u"<") + c.want, out);
    EXPECT_EQ(out.size() - 1, n);
  }
}

TEST(MessageInsert, CountBoundsEveryRead) {
  // Only the first two entries are inserts: the third must never be read.
  const char16_t* inserts[] = {u"a", u"b", u"never"};
  std::u16string out;
  MessageInsertAppend(&out, u"%1%2%3", inserts, 2);
  EXPECT_EQ(u"ab%3", out);

  // A '*' in a directive takes the following inserts, and reads nothing past
  // the count: the value it would take is missing and reads as 0.
  EXPECT_EQ(u"[   42][    0]", MessageInsert(u"[%1!*d!][%3!*d!]", 5, 42, 5));
  out.clear();
  EXPECT_EQ(0u, MessageInsertAppend(&out, nullptr, inserts, 2));
  EXPECT_EQ(2u, MessageInsertAppend(&out, u"%1", nullptr, 3));  // no array: no inserts
  EXPECT_EQ(u"%1", out);
}

TEST(MessageInsert, TypedInsertsWithDirectives) {
  EXPECT_EQ(u"4 of 5 writers agree: Soccer is Best!",
            MessageInsert(u"%1!d! of %2!d! writers agree: Soccer is %3%!", 4, 5, u"Best"));
  EXPECT_EQ(u"0x00ff 5000000000 2.50 narrow",
            MessageInsert(u"%1!#06x! %2!I64d! %3!.2f! %4", 255, int64_t{5000000000}, 2.5, "narrow"));
  // Without a directive an insert is text: a number there is no text.
  EXPECT_EQ(u"(null)", MessageInsert(u"%1", 7));
}

}  // namespace
}  // namespace qg
