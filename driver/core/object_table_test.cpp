#include "driver/core/object_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "host/core/info_locale.h"
#include "support/frame/module_services.h"

namespace {

class Probe : public CNARefCounted {
 public:
  explicit Probe(int* deletions) : m_pDeletions(deletions) {}
  ~Probe() override { ++*m_pDeletions; }

 private:
  int* m_pDeletions;
};

// Installs the stand-in host's locale interface for the test's duration.
class ObjectTable : public ::testing::Test {
 protected:
  void SetUp() override {
    m_pSaved = qg::Services().piInfoLocale;
    qg::Services().piInfoLocale = &m_clLocale;
  }
  void TearDown() override { qg::Services().piInfoLocale = m_pSaved; }

  qghost::InfoLocale m_clLocale;
  qg::IInfoLocale* m_pSaved = nullptr;
  int m_nDeletions = 0;
};

TEST_F(ObjectTable, NamesDifferingByCaseAndAccentsFindOneEntry) {
  CNAObjectTable table(CNAObjectTable::kNameForm);
  Probe* p = new Probe(&m_nDeletions);
  ASSERT_TRUE(table.bAdd(u"Cl\u00e9ment", p));
  EXPECT_EQ(1, p->nGetReferences());
  EXPECT_EQ(1, p->nGetHolders());

  for (const char16_t* name : {u"CLEMENT", u"clement", u"Cle\u0301ment", u"CL\u00c9MENT"}) {
    CNARefCounted* found = nullptr;
    ASSERT_TRUE(table.bFind(name, &found)) << std::string(name, name + 3);
    EXPECT_EQ(p, found);
    ReleaseBoth(found);
  }
  CNARefCounted* none = p;
  EXPECT_FALSE(table.bFind(u"Clemente", &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(1, p->nGetReferences());

  EXPECT_TRUE(table.bRemove(u"CLEMENT"));
  EXPECT_EQ(1, m_nDeletions);  // the table held the last reference
  EXPECT_EQ(0u, table.nGetCount());
  EXPECT_FALSE(table.bRemove(u"clement"));
}

TEST_F(ObjectTable, RepeatedLookupMapsOnceAndMemoIsTheTablesCopy) {
  CNAObjectTable table(CNAObjectTable::kNameForm);
  Probe* a = new Probe(&m_nDeletions);
  Probe* b = new Probe(&m_nDeletions);
  {
    std::u16string transient = u"Orders";
    ASSERT_TRUE(table.bAdd(transient.c_str(), a));
    transient.assign(200, u'x');  // the caller's text changes and moves
  }
  ASSERT_TRUE(table.bAdd(u"Lines", b));

  const int maps_before = m_clLocale.nCalls(13);
  CNARefCounted* found = nullptr;
  ASSERT_TRUE(table.bFind(u"ORDERS", &found));
  ReleaseBoth(found);
  const int maps_first = m_clLocale.nCalls(13);
  EXPECT_GE(maps_first - maps_before, 1);
  ASSERT_TRUE(table.bFind(u"orders", &found));
  EXPECT_EQ(a, found);
  ReleaseBoth(found);
  EXPECT_EQ(maps_first, m_clLocale.nCalls(13));  // served by the memo

  // Removing the memo's object: the next lookup searches the table again.
  EXPECT_TRUE(table.bRemove(u"Orders"));
  EXPECT_FALSE(table.bFind(u"orders", &found));
  EXPECT_GT(m_clLocale.nCalls(13), maps_first);
  ASSERT_TRUE(table.bFind(u"lines", &found));
  EXPECT_EQ(b, found);
  ReleaseBoth(found);

  // An equal name added later hides the memo's entry.
  Probe* c = new Probe(&m_nDeletions);
  ASSERT_TRUE(table.bAdd(u"LINES", c));
  ASSERT_TRUE(table.bFind(u"lines", &found));
  EXPECT_EQ(c, found);
  ReleaseBoth(found);
}

TEST_F(ObjectTable, EqualComparingNamesHashEqually) {
  const char16_t* pairs[][2] = {
      {u"\u00c9lan", u"elan"},        {u"e\u0301lan", u"ELAN"},
      {u"na\u00efve", u"NAIVE"},      {u"Gar\u00e7on", u"garcon"},
      {u"", u""},                     {u"\u00c5ngstr\u00f6m", u"angstrom"},
  };
  CNAObjectTable table(CNAObjectTable::kNameForm);
  std::set<CNARefCounted*> added;
  for (const auto& pair : pairs) {
    ASSERT_EQ(0, m_clLocale.nCompare(qg::kLocaleUserDefault, 3, pair[0], -1, pair[1], -1));
    EXPECT_EQ(CNAObjectTable::nHashNameNoCase(pair[0]), CNAObjectTable::nHashNameNoCase(pair[1]));
    CNARefCounted* found = nullptr;
    if (!table.bFind(pair[0], &found)) {
      Probe* p = new Probe(&m_nDeletions);
      ASSERT_TRUE(table.bAdd(pair[0], p));
      added.insert(p);
    } else {
      ReleaseBoth(found);
    }
    ASSERT_TRUE(table.bFind(pair[1], &found));
    EXPECT_TRUE(added.count(found));
    ReleaseBoth(found);
  }
  // "elan" appears twice in different dress: five distinct names.
  EXPECT_EQ(5u, table.nGetCount());
  EXPECT_NE(CNAObjectTable::nHashNameNoCase(u"elan"), CNAObjectTable::nHashNameNoCase(u"elam"));
}

TEST_F(ObjectTable, NumberFormWalkClearAndDestroy) {
  Probe* kept = new Probe(&m_nDeletions);
  AddRefBoth(kept);  // held outside the table too
  {
    CNAObjectTable table(CNAObjectTable::kNumberForm);
    Probe* objects[20];
    for (int i = 0; i < 20; ++i) {
      objects[i] = new Probe(&m_nDeletions);
      ASSERT_TRUE(table.bAdd(reinterpret_cast<uintptr_t>(objects[i]), objects[i]));
    }
    ASSERT_TRUE(table.bAdd(uintptr_t(0x100000001), kept));  // keys are pointer-sized
    EXPECT_FALSE(table.bAdd(u"name", kept));  // the other form's calls are refused
    CNARefCounted* found = nullptr;
    EXPECT_FALSE(table.bFind(uintptr_t(1), &found));
    ASSERT_TRUE(table.bFind(uintptr_t(0x100000001), &found));
    EXPECT_EQ(kept, found);
    EXPECT_EQ(3, kept->nGetHolders());  // ours, the table's, the find's
    ReleaseBoth(found);

    uint32_t cursor = 0;
    uintptr_t key = 0;
    int walked = 0;
    while (table.bNext(&cursor, &key, &found)) {
      if (found != kept) {
        EXPECT_EQ(key, reinterpret_cast<uintptr_t>(found));
      }
      EXPECT_GE(found->nGetReferences(), 2);
      ReleaseBoth(found);
      ++walked;
    }
    EXPECT_EQ(21, walked);

    EXPECT_TRUE(table.bRemove(reinterpret_cast<uintptr_t>(objects[3])));
    EXPECT_EQ(1, m_nDeletions);
    table.Clear();
    EXPECT_EQ(20, m_nDeletions);
    EXPECT_EQ(1, kept->nGetReferences());
    ASSERT_TRUE(table.bAdd(uintptr_t(7), kept));
  }  // the table's destruction releases what it still holds
  EXPECT_EQ(1, kept->nGetReferences());
  EXPECT_TRUE(ReleaseBoth(kept).bDeleted);
}

}  // namespace
