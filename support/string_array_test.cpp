#include "support/string_array.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/container_failure_fixture.h"
#include "support/string_host_fixture.h"

namespace {

std::vector<std::u16string> Contents(const CTStringArray& a) {
  std::vector<std::u16string> v;
  for (int i = 0; i < a.nGetNbElement(); ++i) v.emplace_back(a.pGetElement(i)->pszGet());
  return v;
}

void Fill(CTStringArray& a, std::initializer_list<const char16_t*> texts) {
  for (const char16_t* t : texts) ASSERT_NE(a.pAjoute(t), nullptr);
}

using V = std::vector<std::u16string>;

TEST(StringArray, AddInsertReplaceRemoveAndTheirBounds) {
  CTStringArray a;
  Fill(a, {u"b", nullptr});
  CTString d(u"d");
  ASSERT_NE(a.pAjoute(d), nullptr);
  ASSERT_NE(a.pInsere(u"a", 0), nullptr);
  ASSERT_NE(a.pInsere(CTString(u"e"), 4), nullptr);
  ASSERT_TRUE(a.bAjouteRepete(u"f", 2));
  ASSERT_NE(a.pAjouteN(u"ghij", 1), nullptr);
  ASSERT_NE(a.pAjouteN(u"h", 5), nullptr);  // stops at the terminator
  EXPECT_EQ(Contents(a), (V{u"a", u"b", u"", u"d", u"e", u"f", u"f", u"g", u"h"}));

  ASSERT_TRUE(a.bRemplace(2, u"c"));
  ASSERT_TRUE(a.bRemplace(0, *a.pGetElement(0)));  // its own text
  ASSERT_TRUE(a.bRemplace(1, CTString(u"B")));
  EXPECT_EQ(a.nSupprime(5), 8);
  ASSERT_TRUE(a.bSupprimeDerniers(3));
  EXPECT_EQ(Contents(a), (V{u"a", u"B", u"c", u"d", u"e"}));

  // Out of range: nothing changes, and the caller is told.
  EXPECT_EQ(a.pInsere(u"x", 6), nullptr);
  EXPECT_EQ(a.pInsere(u"x", -1), nullptr);
  EXPECT_FALSE(a.bRemplace(5, u"x"));
  EXPECT_FALSE(a.bRemplace(-1, u"x"));
  EXPECT_EQ(a.nSupprime(5), -1);
  EXPECT_EQ(a.nSupprime(-1), -1);
  EXPECT_FALSE(a.bSupprimeDerniers(6));
  EXPECT_FALSE(a.bSupprimeDerniers(-1));
  EXPECT_EQ(a.pGetElement(5), nullptr);
  EXPECT_EQ(a.pAjouteN(u"x", -1), nullptr);
  EXPECT_EQ(Contents(a), (V{u"a", u"B", u"c", u"d", u"e"}));

  ASSERT_TRUE(a.vbAjouteTableau(a));  // itself: each string once more
  EXPECT_EQ(Contents(a), (V{u"a", u"B", u"c", u"d", u"e", u"a", u"B", u"c", u"d", u"e"}));
  a.SupprimeTout();
  EXPECT_EQ(a.nGetNbElement(), 0);
}

using StringArrayLocale = qg::StringHostTest;

TEST_F(StringArrayLocale, SearchFromAStart) {
  CTStringArray a;
  Fill(a, {u"abc", nullptr, u"ÉTÉ", u"abc", u"été"});
  struct Case {
    const char16_t* text;
    bool exact;
    int start;
    int expected;
  } cases[] = {
      {u"abc", true, 0, 0},  {u"abc", true, 1, 3},  {u"abc", true, 4, -1},
      {u"ABC", true, 0, -1}, {u"ABC", false, 1, 3}, {u"été", true, 0, 4},
      {u"été", false, 0, 2}, {nullptr, true, 0, 1}, {u"", false, 0, 1},
      {u"abc", true, -3, 0},
      {u"abc", true, 5, -1},  // start equal to the count
      {u"abc", true, 9, -1},  // start beyond the count
  };
  for (const Case& c : cases) {
    EXPECT_EQ(a.nCherche(c.text, c.exact, c.start), c.expected)
        << "exact " << c.exact << " start " << c.start;
  }
}

TEST(StringArray, ThreeSorts) {
  CTStringArray a;
  Fill(a, {u"b", u"C", u"a", u"B", u"é", u"É"});
  a.TrieCroissant();
  EXPECT_EQ(Contents(a), (V{u"B", u"C", u"a", u"b", u"É", u"é"}));
  a.TrieDecroissant();
  EXPECT_EQ(Contents(a), (V{u"é", u"É", u"b", u"a", u"C", u"B"}));
  a.Trie();
  V sorted = Contents(a);
  ASSERT_EQ(sorted.size(), 6u);
  // Case is ignored: letters in order, each case pair adjacent in either order.
  EXPECT_EQ(sorted[0], u"a");
  EXPECT_EQ(sorted[1] + sorted[2] == u"bB" || sorted[1] + sorted[2] == u"Bb", true);
  EXPECT_EQ(sorted[3], u"C");
  EXPECT_EQ(sorted[4] + sorted[5] == u"éÉ" || sorted[4] + sorted[5] == u"Éé", true);
}

TEST(StringArray, Concatenate) {
  CTStringArray a;
  CTString out(u"unchanged");
  EXPECT_TRUE(a.bConcatene(out, u", "));
  EXPECT_STREQ(reinterpret_cast<const char*>(out.pszGet()),
               reinterpret_cast<const char*>(u"unchanged"));
  Fill(a, {u"a", u"b", u"c"});
  ASSERT_TRUE(a.bConcatene(out, u", "));
  EXPECT_EQ(std::u16string(out.pszGet()), u"a, b, c");
  ASSERT_TRUE(a.bConcatene(out, nullptr));
  EXPECT_EQ(std::u16string(out.pszGet()), u"abc");
  ASSERT_TRUE(a.bConcatene(*a.pGetElement(1), u"-"));  // into one of its own strings
  EXPECT_EQ(Contents(a), (V{u"a", u"a-b-c", u"c"}));
}

// The fields as a rescanning extraction gives them.
V FieldsByRescanning(const char16_t* text, const char16_t* sep) {
  V v;
  CTString s(text), field;
  for (int i = 0; s.bExtraitChaine(i, sep, field); ++i) v.emplace_back(field.pszGet());
  return v;
}

TEST(StringArray, SplitGivesTheFieldsOfARescanningExtraction) {
  struct Case {
    const char16_t* text;
    const char16_t* sep;
    V expected;
  } cases[] = {
      {u"x;;y", u";", {u"x", u"", u"y"}},
      {u"a;b;c", u";", {u"a", u"b", u"c"}},
      {u"a;", u";", {u"a", u""}},
      {u";", u";", {u"", u""}},
      {u"abc", u";", {u"abc"}},
      {u"", u";", {}},
      {nullptr, u";", {}},
      {u"a::b:c::", u"::", {u"a", u"b:c", u""}},
      {u"a;b", u"", {u"a;b"}},
  };
  for (const Case& c : cases) {
    CTStringArray a;
    Fill(a, {u"old"});
    ASSERT_TRUE(a.AjouteDecoupe(c.text, c.sep));
    EXPECT_EQ(Contents(a), c.expected);
    EXPECT_EQ(Contents(a), FieldsByRescanning(c.text, c.sep));
  }

  CTStringArray a;
  Fill(a, {u"k", u"p;q"});
  ASSERT_TRUE(a.bDecoupe(*a.pGetElement(1), u";"));  // splits one of its own strings
  EXPECT_EQ(Contents(a), (V{u"p", u"q"}));
}

TEST(StringArray, SortLines) {
  struct Case {
    const char16_t* text;
    const char16_t* expected;
  } cases[] = {
      {u"pear\r\nApple\r\nfig", u"Apple\r\nfig\r\npear"},
      {u"one", u"one"},
      {u"b\nx\r\na", u"a\r\nb\nx"},  // a lone LF does not cut
      {u"", u""},
  };
  for (const Case& c : cases) {
    CTString out(u"stale");
    ASSERT_TRUE(SortLines(c.text, out));
    EXPECT_EQ(std::u16string(out.pszGet()), c.expected);
  }
}

using StringArrayFailure = qg::ContainerFailureTest;

TEST_F(StringArrayFailure, FailedAllocationsLeaveTheArrayAsItWas) {
  CTStringArray a;
  Fill(a, {u"a", u"b"});
  ASSERT_EQ(a.nReserve(2), 20);
  for (int i = 0; i < 18; ++i) a.pAjoute(u"z");
  ASSERT_TRUE(a.bSupprimeDerniers(18));
  const V before{u"a", u"b"};

  a.vAjusteMemoire();  // full: the next add must grow
  FailNth(1);
  EXPECT_EQ(a.pAjoute(u"c"), nullptr);
  FailNth(1);
  EXPECT_EQ(a.pInsere(u"c", 0), nullptr);
  FailNth(1);
  EXPECT_FALSE(a.bAjouteRepete(u"c", 3));
  FailNth(1);
  EXPECT_FALSE(a.vbAjouteTableau(a));
  EXPECT_EQ(Contents(a), before);

  // Splitting into more fields than the room left fails part-way.
  ASSERT_EQ(a.nReserve(3), 3);
  FailNth(1);
  EXPECT_FALSE(a.AjouteDecoupe(u"x;y;z", u";"));
  EXPECT_EQ(Contents(a), before);

  CTString out(u"kept");
  FailNth(1);
  EXPECT_FALSE(a.bConcatene(out, u","));
  EXPECT_EQ(std::u16string(out.pszGet()), u"kept");
  FailNth(1);
  EXPECT_FALSE(SortLines(u"b\r\na", out));
  EXPECT_EQ(std::u16string(out.pszGet()), u"kept");
}

}  // namespace
