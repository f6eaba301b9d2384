#include "support/xystring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/string_host_fixture.h"

namespace qg {
namespace {

using W = CXYString<char16_t>;
using A = CXYString<char>;

std::u16string Text(const W& s) { return std::u16string(s.pszGet(), s.nTaille()); }
std::string Text(const A& s) { return std::string(s.pszGet(), s.nTaille()); }

// The two bytes after the text must be zero for both widths.
template <typename T>
bool Terminated(const CXYString<T>& s) {
  if (s.bEstNull()) return true;
  const char* end = reinterpret_cast<const char*>(s.pszGet()) + s.nGetByteLength();
  return end[0] == 0 && end[1] == 0;
}

class XYStringTest : public StringHostTest {};

TEST_F(XYStringTest, EmptyAssignmentsHoldNoBuffer) {
  struct Case {
    const char16_t* text;
    int n;
  };
  const Case cases[] = {{nullptr, -1}, {u"", -1}, {u"abc", 0}, {u"abc", -5}, {nullptr, 3}};
  for (const Case& c : cases) {
    W s(u"old");
    EXPECT_EQ(s.nAffecteLongueur(c.text, c.n), 0);
    EXPECT_TRUE(s.bEstNull());
    EXPECT_TRUE(s.bEstVide());
    EXPECT_EQ(s.nTaille(), 0);
    EXPECT_EQ(s.pszGet()[0], 0);
  }
  W empty(u"");
  EXPECT_TRUE(empty.bEstNull());
  EXPECT_EQ(memory_.nLiveStrings(), 0);
}

TEST_F(XYStringTest, AssignmentWritesHeaderAndTerminator) {
  W s(u"abc");
  ASSERT_FALSE(s.bEstNull());
  const XYHeader* h = XYHeaderOf(s.pszGet());
  EXPECT_EQ(h->nLength, 6);
  EXPECT_GE(h->nCapacity, 6);
  EXPECT_EQ(h->nRefCount, 1);
  EXPECT_EQ(s.nTaille(), 3);
  EXPECT_TRUE(Terminated(s));
  // A private buffer is reused for a text that fits.
  const char16_t* before = s.pszGet();
  EXPECT_EQ(s.nAffecte(u"xy"), 0);
  EXPECT_EQ(s.pszGet(), before);
  EXPECT_EQ(Text(s), u"xy");
  EXPECT_TRUE(Terminated(s));
  A one("x");
  EXPECT_FALSE(one.bEstVide());  // one byte of 8-bit text is a character
  A a("hello", 3);
  EXPECT_EQ(Text(a), "hel");
  EXPECT_EQ(a.nGetByteLength(), 3);
  EXPECT_TRUE(Terminated(a));
}

TEST_F(XYStringTest, SharingKeepsTheCountRight) {
  W a(u"shared");
  W b;
  b = a;
  EXPECT_EQ(a.pszGet(), b.pszGet());
  EXPECT_EQ(a.nGetRefCount(), 2);
  EXPECT_TRUE(a.bEstPartage());
  // Self-assignment and assignment from a holder of the same buffer change
  // nothing.
  W& alias = a;
  a = alias;
  EXPECT_EQ(a.nGetRefCount(), 2);
  b = a;
  a.AffectePartage(b);
  EXPECT_EQ(a.nGetRefCount(), 2);
  {
    W c(b);
    EXPECT_EQ(a.nGetRefCount(), 3);
    W d(std::move(c));
    EXPECT_EQ(a.nGetRefCount(), 3);
  }
  EXPECT_EQ(a.nGetRefCount(), 2);
  // A null source leaves the target null and releases its buffer.
  W none;
  b = none;
  EXPECT_TRUE(b.bEstNull());
  EXPECT_EQ(a.nGetRefCount(), 1);
  EXPECT_EQ(memory_.nLiveStrings(), 1);
}

// Every writer on a shared buffer must leave the other holder intact.
TEST_F(XYStringTest, WritesOnASharedBufferLeaveTheOtherHolderIntact) {
  struct Case {
    const char* name;
    std::function<int(W&)> write;
    std::u16string expect;
  };
  const std::vector<Case> cases = {
      {"append", [](W& s) { return s.nAjoute(u"!"); }, u"abcdef!"},
      {"append dynamic", [](W& s) { W t(u"+"); return s.nAjouteDynStr(t); }, u"abcdef+"},
      {"assign", [](W& s) { return s.nAffecte(u"xy"); }, u"xy"},
      {"cut", [](W& s) { return s.Tronque(2); }, u"ab"},
      {"remove start", [](W& s) { return s.SupprimeDebut(4); }, u"ef"},
      {"set length", [](W& s) { return s.SetLongueur(3); }, u"abc"},
      {"reserve", [](W& s) { return s.nReserve(100); }, u"abcdef"},
      {"marker", [](W& s) { return s.nAjouteMarqueur(); }, std::u16string(u"abcdef") + char16_t(0xFFFF)},
      {"concat", [](W& s) { return s.nAffecteConcat(2, s.pszGet(), u"1"); }, u"abcdef1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    W original(u"abcdef");
    original.SetFlag(kXYFlagCarried);
    W writer = original;
    ASSERT_EQ(original.nGetRefCount(), 2);
    EXPECT_EQ(c.write(writer), 0);
    EXPECT_EQ(Text(original), u"abcdef");
    EXPECT_EQ(Text(writer), c.expect);
    EXPECT_EQ(original.nGetRefCount(), 1);
    EXPECT_NE(original.pszGet(), writer.pszGet());
    EXPECT_TRUE(Terminated(writer));
  }
  A original("a-b-c");
  A writer = original;
  EXPECT_EQ(writer.RemoveAll('-'), 0);
  EXPECT_EQ(Text(writer), "abc");
  EXPECT_EQ(Text(original), "a-b-c");
}

TEST_F(XYStringTest, InPlaceWritesInvalidateTheCache) {
  struct Case {
    const char* name;
    std::function<int(W&)> write;
  };
  const std::vector<Case> cases = {
      {"assign", [](W& s) { return s.nAffecte(u"xy"); }},
      {"append", [](W& s) { return s.nAjoute(u"z"); }},
      {"cut", [](W& s) { return s.Tronque(1); }},
      {"reserve", [](W& s) { return s.nReserve(4); }},
  };
  for (int32_t second : {0, kXYFlagCache10}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      W s(u"abcd");
      XYHeader* h = XYHeaderOf(s.pszGetBuffer());
      h->nCache = 77;
      h->nSecondCache = 88;
      h->nFlags = kXYFlagUtf8 | kXYFlagCache08 | second | kXYFlagCarried;
      EXPECT_EQ(c.write(s), 0);
      h = XYHeaderOf(s.pszGetBuffer());
      EXPECT_EQ(h->nCache, 0);
      EXPECT_EQ(h->nSecondCache, second ? 0 : 88);
      EXPECT_EQ(h->nFlags, kXYFlagCarried);
    }
  }
}

TEST_F(XYStringTest, HostAllocationFailuresPassThrough) {
  // A fresh allocation fails: the string stays null, the host's code comes back.
  W s;
  memory_.FailNthAllocation(1, 123);
  EXPECT_EQ(s.nAffecte(u"abc"), 123);
  EXPECT_TRUE(s.bEstNull());

  // A failed in-place reallocation keeps the old text.
  W t(u"ab");
  memory_.FailNthAllocation(1, 130);
  EXPECT_EQ(t.nAjoute(u"cdefghijklmnop"), 130);
  EXPECT_EQ(Text(t), u"ab");
  memory_.FailNthAllocation(1, 131);
  EXPECT_EQ(t.nAffecteLongueur(u"a much longer text than before", -1), 131);
  EXPECT_EQ(Text(t), u"ab");

  // A failed concatenation leaves the string null.
  memory_.FailNthAllocation(1, 140);
  EXPECT_EQ(t.nAffecteConcat(2, u"x", u"y"), 140);
  EXPECT_TRUE(t.bEstNull());

  // Unsharing fails: both holders keep the text.
  W a(u"text");
  W b = a;
  memory_.FailNthAllocation(1, 150);
  EXPECT_EQ(b.nAjoute(u"!"), 150);
  EXPECT_EQ(Text(a), u"text");
  EXPECT_EQ(Text(b), u"text");

  A c;
  memory_.FailNthAllocation(1, 160);
  EXPECT_EQ(c.nRemplit32("x"), 160);
  EXPECT_TRUE(c.bEstNull());
}

TEST_F(XYStringTest, LengthsOutOfRange) {
  W w;
  A a;
  // A wide string's byte length must stay in 32 bits: 0x40000000 units
  // would double past it.
  EXPECT_EQ(w.nReserve(0x40000000), kXYErrLength);
  EXPECT_EQ(w.nReserve(0x3FFFFF80), kXYErrLength);
  EXPECT_EQ(w.nAffecteLongueur(u"x", 0x7FFFFFFF), kXYErrLength);
  EXPECT_EQ(w.SetLongueur(-1), kXYErrLength);
  EXPECT_EQ(w.nReserve(-1), kXYErrLength);
  EXPECT_EQ(a.nReserve(0x7FFFFF00), kXYErrLength);
  EXPECT_EQ(a.nReserveOctets(-2), kXYErrLength);
  EXPECT_EQ(a.nAffecteOctets("x", 0x7FFFFF00), kXYErrLength);
  EXPECT_EQ(a.nSetByteLength(-1), kXYErrLength);
  EXPECT_TRUE(w.bEstNull());
  EXPECT_TRUE(a.bEstNull());
  EXPECT_EQ(memory_.nAllocations(), 0);
}

TEST_F(XYStringTest, AppendingOwnTextSurvivesReallocation) {
  W s(u"abc");
  for (int i = 0; i < 5; ++i) ASSERT_EQ(s.nAjoute(s.pszGet()), 0);  // doubles
  EXPECT_EQ(s.nTaille(), 3 * 32);
  EXPECT_EQ(Text(s).substr(0, 9), u"abcabcabc");
  W t(u"hello");
  EXPECT_EQ(t.nAjoute(t.pszGet() + 3, 2), 0);
  EXPECT_EQ(Text(t), u"hellolo");
  EXPECT_EQ(t.nAjouteDynStr(t), 0);
  EXPECT_EQ(Text(t), u"hellolohellolo");
  EXPECT_EQ(t.nAffecteConcat(3, t.pszGet(), u"-", t.pszGet()), 0);
  EXPECT_EQ(Text(t), u"hellolohellolo-hellolohellolo");
  EXPECT_EQ(t.nAffecteLongueur(t.pszGet() + 15, 5), 0);
  EXPECT_EQ(Text(t), u"hello");
  A a("xyz");
  EXPECT_EQ(a.nAjoute(a.pszGet()), 0);
  EXPECT_EQ(Text(a), "xyzxyz");
}

TEST_F(XYStringTest, AppendForms) {
  W s;
  EXPECT_EQ(s.nAjoute(nullptr), 0);
  EXPECT_EQ(s.nAjoute(u""), 0);
  EXPECT_EQ(s.nAjoute(u"abc", 0), 0);
  EXPECT_TRUE(s.bEstNull());
  EXPECT_EQ(s += u"ab", 0);
  EXPECT_EQ(s.nAjoute(u"cdef", 2), 0);
  EXPECT_EQ(Text(s), u"abcd");

  // Appending a dynamic string to a null one shares it.
  W src(u"src");
  W dst;
  EXPECT_EQ(dst.nAjouteDynStr(src), 0);
  EXPECT_EQ(dst.pszGet(), src.pszGet());
  EXPECT_EQ(src.nGetRefCount(), 2);
}

TEST_F(XYStringTest, MarkerFlagFollowsTheAppendRules) {
  W m(u"ab");
  EXPECT_EQ(m.nAjouteMarqueur(), 0);
  EXPECT_TRUE(m.bTestFlag(kXYFlagMarker));
  EXPECT_EQ(m.nTaille(), 3);
  EXPECT_EQ(m.pszGet()[2], kXYMarker16);
  // The dynamic-string append copies the source's marker flag...
  W plain(u"x");
  EXPECT_EQ(plain.nAjouteDynStr(m), 0);
  EXPECT_TRUE(plain.bTestFlag(kXYFlagMarker));
  EXPECT_EQ(m.nAjouteDynStr(W(u"y")), 0);
  EXPECT_FALSE(m.bTestFlag(kXYFlagMarker));
  // ...other appends and cuts clear it.
  EXPECT_EQ(plain.nAjoute(u"z"), 0);
  EXPECT_FALSE(plain.bTestFlag(kXYFlagMarker));
  A a("q");
  EXPECT_EQ(a.nAjouteMarqueur(), 0);
  EXPECT_EQ(static_cast<unsigned char>(a.pszGet()[1]), 0xFF);
  EXPECT_TRUE(a.bTestFlag(kXYFlagMarker));
  EXPECT_EQ(a.Tronque(1), 0);
  EXPECT_FALSE(a.bTestFlag(kXYFlagMarker));
}

TEST_F(XYStringTest, CutsAndRemovals) {
  struct Case {
    int n;
    std::u16string cut;      // after Tronque(n)
    std::u16string removed;  // after SupprimeDebut(n)
  };
  const Case cases[] = {
      {-1, u"abcd", u"abcd"}, {0, u"", u"abcd"},  {1, u"a", u"bcd"},
      {3, u"abc", u"d"},      {4, u"abcd", u""},  {9, u"abcd", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    W t(u"abcd");
    EXPECT_EQ(t.Tronque(c.n), 0);
    EXPECT_EQ(Text(t), c.cut);
    EXPECT_EQ(t.bEstNull(), c.cut.empty());
    EXPECT_TRUE(Terminated(t));
    W r(u"abcd");
    EXPECT_EQ(r.SupprimeDebut(c.n), 0);
    EXPECT_EQ(Text(r), c.removed);
    EXPECT_EQ(r.bEstNull(), c.removed.empty());
    EXPECT_TRUE(Terminated(r));
  }
  W s(u"abcd");
  EXPECT_EQ(s.SetLongueur(0), 0);
  EXPECT_TRUE(s.bEstNull());
}

TEST_F(XYStringTest, SearchAndPrefix) {
  W s(u"abcabc");
  EXPECT_EQ(s.nPos(u"bc", 2), 1);
  EXPECT_EQ(s.nPos(u"bc", 2, 2), 4);
  EXPECT_EQ(s.nPos(u"bc", 2, 5), -1);
  EXPECT_EQ(s.nPos(u"bc", 0), -1);
  EXPECT_EQ(s.nPos(u"abcabcx", 7), -1);
  EXPECT_EQ(W().nPos(u"a", 1), -1);
  EXPECT_EQ(s.nCompareDebut(u"abc"), 0);
  EXPECT_EQ(s.nCompareDebut(u"abd"), 1);
  EXPECT_EQ(s.nCompareDebut(u""), 1);
  EXPECT_EQ(s.nCompareDebut(u"abcabcabc"), 1);
}

TEST_F(XYStringTest, ConcatenationInArgumentOrder) {
  W s(u"old");
  EXPECT_EQ(s.nAffecteConcat(4, u"a", nullptr, u"", u"bc"), 0);
  EXPECT_EQ(Text(s), u"abc");
  EXPECT_EQ(s.nAffecteConcat(2, nullptr, u""), 0);
  EXPECT_TRUE(s.bEstNull());
}

TEST_F(XYStringTest, EightBitOperations) {
  A f;
  const char zero = 0;
  EXPECT_EQ(f.nRemplit32(&zero), 0);
  EXPECT_EQ(f.nGetByteLength(), 32);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(f.pszGet()[i], 0);
  const char x = '\xA7';
  EXPECT_EQ(f.nRemplit32(&x), 0);
  EXPECT_EQ(Text(f), std::string(32, '\xA7'));
  EXPECT_TRUE(Terminated(f));

  A u;
  EXPECT_EQ(u.nAffecteUTF8(u"h\u00e9\U0001F600"), 0);
  EXPECT_EQ(Text(u), "h\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(XYHeaderOf(u.pszGet())->nCache, 65001);
  EXPECT_TRUE(u.bTestFlag(kXYFlagUtf8));
  EXPECT_EQ(u.nAffecteUTF8(u""), 0);
  EXPECT_TRUE(u.bEstNull());

  A c;
  EXPECT_EQ(c.nAffecteConversion(u"\u20ACx", -1, 1252), 0);
  EXPECT_EQ(Text(c), "\x80x");
  EXPECT_FALSE(c.bTestFlag(kXYFlagUtf8));
  EXPECT_EQ(c.nAffecteConversion(u"abc", 2, 0), 0);  // the host's code page
  EXPECT_EQ(Text(c), "ab");
  EXPECT_EQ(c.nAffecteConversion(u"abc", -1, 99999), kXYErrConversion);
  EXPECT_TRUE(c.bEstNull());

  A o;
  EXPECT_EQ(o.nAffecteOctets("a\0b", 3), 0);
  EXPECT_EQ(Text(o), std::string("a\0b", 3));
  EXPECT_EQ(o.nAffecteOctets("zz", 0), 0);
  EXPECT_TRUE(o.bEstNull());

  A r("--a-b--");
  EXPECT_EQ(r.RemoveAll('-'), 0);
  EXPECT_EQ(Text(r), "ab");
  A dashes("---");
  EXPECT_EQ(dashes.RemoveAll('-'), 0);
  EXPECT_TRUE(dashes.bEstNull());

  A len;
  EXPECT_EQ(len.nSetByteLength(5), 0);
  EXPECT_EQ(len.nGetByteLength(), 5);
  std::memcpy(len.pszGetBuffer(), "12345", 5);
  EXPECT_EQ(len.nSetByteLength(2), 0);
  EXPECT_EQ(Text(len), "12");
  EXPECT_TRUE(Terminated(len));
}

TEST_F(XYStringTest, AnsiAndUtf8Conversions) {
  A s;
  EXPECT_EQ(s.nSetUTF8FromAnsi("caf\xE9 \x80", -1, 1252), 0);
  EXPECT_EQ(Text(s), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(s.nSetUTF8FromAnsi("\xFF\xFE", 2, 65001), 0);  // bytes kept as they are
  EXPECT_EQ(Text(s), "\xFF\xFE");
  EXPECT_EQ(s.nSetUTF8FromAnsi("abc", 0, 1252), 0);
  EXPECT_TRUE(s.bEstNull());
  EXPECT_EQ(s.nSetAnsiFromUTF8("caf\xC3\xA9 \xE2\x82\xAC", -1, 1252), 0);
  EXPECT_EQ(Text(s), "caf\xE9 \x80");
  EXPECT_EQ(s.nSetAnsiFromUTF8(nullptr, 4, 1252), 0);
  EXPECT_TRUE(s.bEstNull());
}

TEST_F(XYStringTest, WideFromCodePages) {
  W s;
  // The library's own 1252 map: defined and undefined bytes.
  EXPECT_EQ(s.nAffecteConversion("\x80\x81\x9F\xE9", -1, 1252), 0);
  EXPECT_EQ(Text(s), u"\u20AC\u0081\u0178\u00E9");
  EXPECT_EQ(s.nGetByteLength(), 8);
  EXPECT_EQ(s.nAffecteConversion("\x80", -1, 0), 0);  // the host's code page is 1252
  EXPECT_EQ(Text(s), u"\u20AC");
  // UTF-16 and UTF-32 in either byte order.
  EXPECT_EQ(s.nAffecteConversion("a\0b\0", 4, 1200), 0);
  EXPECT_EQ(Text(s), u"ab");
  EXPECT_EQ(s.nAffecteConversion("\0a\0b\0\0", -1, 1201), 0);
  EXPECT_EQ(Text(s), u"ab");
  EXPECT_EQ(s.nAffecteConversion("\x00\xF6\x01\x00", 4, 12000), 0);
  EXPECT_EQ(Text(s), u"\U0001F600");
  EXPECT_EQ(s.nAffecteConversion("\x00\x01\xF6\x00", 4, 12001), 0);
  EXPECT_EQ(Text(s), u"\U0001F600");
  // The system conversion.
  EXPECT_EQ(s.nAffecteConversion("\xC3\xA9", -1, 65001), 0);
  EXPECT_EQ(Text(s), u"\u00E9");
  EXPECT_EQ(s.nAffecteConversion("abc", -1, 99999), kXYErrConversion);
  EXPECT_TRUE(s.bEstNull());
  EXPECT_EQ(s.nAffecteConversion("", -1, 1252), 0);
  EXPECT_TRUE(s.bEstNull());
  EXPECT_EQ(s.nAffecteConversion("x", 1, 1200), kXYErrConversion);  // half a unit
  EXPECT_TRUE(s.bEstNull());
}

TEST_F(XYStringTest, CountedAssignment) {
  W s;
  EXPECT_EQ(s.nSetCounted(u"abcdef", 3), 0);
  EXPECT_EQ(Text(s), u"abc");
  EXPECT_EQ(s.nSetCounted(u"ab\0cd", 5), 0);  // stops at the terminator
  EXPECT_EQ(Text(s), u"ab");
  EXPECT_EQ(s.nSetCounted(u"\0x", 2), kXYErrConversion);
  EXPECT_TRUE(s.bEstNull());
  EXPECT_EQ(s.nSetCounted(u"", -1), 0);
  EXPECT_TRUE(s.bEstNull());
}

TEST_F(XYStringTest, LinesSplitOnCrLf) {
  W s(u"one\r\ntwo\r\n\r\nlast");
  const std::u16string expect[] = {u"one", u"two", u"", u"last"};
  for (int i = 0; i < 4; ++i) {
    W line(u"stale");
    ASSERT_TRUE(s.bExtraitLigne(i, line));
    EXPECT_EQ(Text(line), expect[i]);
  }
  W line;
  EXPECT_FALSE(s.bExtraitLigne(4, line));
  EXPECT_FALSE(W().bExtraitLigne(0, line));
  EXPECT_TRUE(s.bExtraitLigne(1, s));  // into itself
  EXPECT_EQ(Text(s), u"two");
}

TEST_F(XYStringTest, SecretTextIsWipedWhenFreed) {
  A password;
  ASSERT_EQ(password.nAffecteConversion(u"hunter2", -1, 1252), 0);
  password.SetFlag(kXYFlagSecret);
  A copy = password;
  password.Libere();  // still held: nothing freed yet
  EXPECT_EQ(memory_.nLiveStrings(), 1);
  copy.Libere();
  EXPECT_EQ(memory_.nLiveStrings(), 0);
  // The fixture checks that the host saw a wiped buffer.
}

// The fixture checks every byte of each freed or reallocated secret buffer.
TEST_F(XYStringTest, SecretTextLeavesNothingBehindItsLength) {
  {
    A password;  // cut, then freed
    ASSERT_EQ(password.nAffecteConversion(u"correct horse battery", -1, 1252), 0);
    password.SetFlag(kXYFlagSecret);
    ASSERT_EQ(password.Tronque(3), 0);
    EXPECT_STREQ(password.pszGet(), "cor");
  }
  {
    A password;  // a shorter text assigned in place
    ASSERT_EQ(password.nAffecteConversion(u"correct horse battery", -1, 1252), 0);
    password.SetFlag(kXYFlagSecret);
    ASSERT_EQ(password.nAffecteLongueur("abc", 3), 0);
    EXPECT_STREQ(password.pszGet(), "abc");
  }
  {
    A password;  // grown: the host's reallocation would leave the old block
    ASSERT_EQ(password.nAffecteConversion(u"hunter2", -1, 1252), 0);
    password.SetFlag(kXYFlagSecret);
    ASSERT_EQ(password.nAffecteLongueur("a much longer secret than before", -1), 0);
    EXPECT_TRUE(password.bTestFlag(kXYFlagSecret));
    ASSERT_EQ(password.nReserve(200), 0);
    EXPECT_STREQ(password.pszGet(), "a much longer secret than before");
  }
}

TEST_F(XYStringTest, SharedAcrossThreads) {
  W source(u"shared across threads");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&source] {
      for (int i = 0; i < 20000; ++i) {
        W copy(source);
        W again = copy;
        if (i % 100 == 0) again.nAjoute(u"!");  // unshares privately
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(source.nGetRefCount(), 1);
  EXPECT_EQ(Text(source), u"shared across threads");
}

}  // namespace
}  // namespace qg
