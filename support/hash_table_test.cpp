#include "support/hash_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/container_failure_fixture.h"
#include "support/platform/text16.h"
#include "support/string_host_fixture.h"

namespace {

using TextTableLocale = qg::StringHostTest;

// Keys that differ in case only, within and beyond ASCII.
struct KeyCase {
  const char16_t* stored;
  const char16_t* looked_up;
  bool found;
};
const KeyCase kKeyCases[] = {
    {u"abc", u"ABC", true},     {u"ABC", u"abc", true},   {u"éTé", u"ÉtÉ", true},
    {u"abc", u"abd", false},    {u"abc", u"abcd", false}, {u"", nullptr, true},
    {u"ete", u"été", false},
};

void CheckKeyCases() {
  int index = 0;
  for (const KeyCase& c : kKeyCases) {
    SCOPED_TRACE(index++);
    CTHashTableTi t;
    const char16_t value[] = u"v";
    ASSERT_TRUE(t.Ajoute(c.stored, value));
    const char16_t* out = nullptr;
    EXPECT_EQ(t.bRecherche(c.looked_up, &out), c.found);
    if (c.found) {
      EXPECT_EQ(out, value);
    }
  }
}

TEST_F(TextTableLocale, KeysThatCompareEqualAreFound) {
  CheckKeyCases();
  EXPECT_GT(locale_.nCalls(13), 0);  // hashed through the host's mapping
  EXPECT_GT(locale_.nCalls(7), 0);   // compared through the host's comparison
}

TEST(TextTable, KeysThatCompareEqualAreFoundWithoutAHostLocale) {
  ASSERT_EQ(qg::Services().piInfoLocale, nullptr);
  CheckKeyCases();
}

TEST_F(TextTableLocale, ManyKeysAndDuplicates) {
  std::vector<std::u16string> keys;
  for (int i = 0; i < 500; ++i) keys.push_back(u"Key" + std::u16string(1, u'a' + i % 26) + std::u16string(i / 26 + 1, u'x'));
  CTHashTableTi t;
  for (const auto& k : keys) ASSERT_TRUE(t.Ajoute(k.c_str(), k.c_str()));
  EXPECT_EQ(t.nGetNbEntree(), 500);
  for (const auto& k : keys) {
    std::u16string upper = k;
    for (auto& c : upper) c = qg::ToUpperLatin1_16(c);
    const char16_t* out = nullptr;
    ASSERT_TRUE(t.bRecherche(upper.c_str(), &out));
    EXPECT_EQ(out, k.c_str());
  }
  // A second pair under an equal key is kept too; one of the two is found.
  const char16_t second[] = u"second";
  ASSERT_TRUE(t.Ajoute(u"KEYAX", second));
  EXPECT_EQ(t.nGetNbEntree(), 501);
  const char16_t* out = nullptr;
  ASSERT_TRUE(t.bRecherche(u"keyax", &out));
  EXPECT_TRUE(out == second || out == keys[0].c_str());
}

TEST_F(TextTableLocale, ExtraitSuivantDrainsEveryEntryOnce) {
  std::vector<std::u16string> keys;
  for (int i = 0; i < 300; ++i) keys.push_back(u"k" + std::u16string(1, u'0' + i % 10) + std::u16string(i / 10 + 1, u'z'));
  CTHashTableTi t;
  for (const auto& k : keys) ASSERT_TRUE(t.Ajoute(k.c_str(), k.c_str()));
  std::set<const char16_t*> seen;
  int cursor = 0;
  int last_cursor = 0;
  const char16_t* value = nullptr;
  const char16_t* key = nullptr;
  while (t.ExtraitSuivant(&cursor, &value, &key)) {
    EXPECT_EQ(value, key);
    EXPECT_TRUE(seen.insert(key).second) << "handed back twice";
    EXPECT_GE(cursor, last_cursor);  // never goes back
    last_cursor = cursor;
  }
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(seen.size(), keys.size());
  EXPECT_EQ(t.nGetNbEntree(), 0);
  EXPECT_EQ(cursor, CTHashTableTi::kNbBuckets);
  EXPECT_FALSE(t.ExtraitSuivant(&cursor, &value, &key));
  cursor = 0;
  EXPECT_FALSE(t.ExtraitSuivant(&cursor, &value, &key));
  EXPECT_FALSE(t.bRecherche(keys[0].c_str(), &value));
}

using HashTableFailure = qg::ContainerFailureTest;

TEST_F(HashTableFailure, FailedAllocationsAreReported) {
  CTHashTableTi t;
  FailNth(1);
  EXPECT_FALSE(t.Ajoute(u"a", u"1"));
  EXPECT_EQ(t.nGetNbEntree(), 0);
  ASSERT_TRUE(t.Ajoute(u"a", u"1"));
  EXPECT_EQ(t.nGetNbEntree(), 1);

  FailNth(1);
  CTHashTableTi no_buckets;
  EXPECT_FALSE(no_buckets.Ajoute(u"a", u"1"));
  const char16_t* out = nullptr;
  EXPECT_FALSE(no_buckets.bRecherche(u"a", &out));
  int cursor = 0;
  EXPECT_FALSE(no_buckets.ExtraitSuivant(&cursor, &out, &out));

  CTemplateHashTable<int, int> it(7);
  FailNth(1);
  EXPECT_FALSE(it.bAjoute(1, 1));
  EXPECT_EQ(it.nGetNbEntree(), 0);
  EXPECT_TRUE(it.bAjoute(1, 1));
}

TEST(IndexHashTable, RemovalKeepsChainsAndFreedEntriesAreReused) {
  // One bucket: every entry in one chain, so head, middle and tail removals
  // all relink it.
  CTemplateHashTable<int, int> t(1);
  for (int k = 1; k <= 5; ++k) ASSERT_TRUE(t.bAjoute(k, k * 10));
  int* slot3 = t.pRecherche(3);
  int* slot5 = t.pRecherche(5);
  int* slot1 = t.pRecherche(1);
  ASSERT_TRUE(t.bSupprime(3));  // middle
  ASSERT_TRUE(t.bSupprime(5));  // head (last added)
  ASSERT_TRUE(t.bSupprime(1));  // tail
  EXPECT_FALSE(t.bSupprime(3));
  EXPECT_EQ(t.nGetNbEntree(), 2);
  EXPECT_EQ(*t.pRecherche(2), 20);
  EXPECT_EQ(*t.pRecherche(4), 40);
  EXPECT_EQ(t.pRecherche(1), nullptr);

  // The free list gives back the last freed entry first, and no new entry
  // is taken from the array while freed ones remain.
  ASSERT_TRUE(t.bAjoute(6, 60));
  ASSERT_TRUE(t.bAjoute(7, 70));
  ASSERT_TRUE(t.bAjoute(8, 80));
  EXPECT_EQ(t.pRecherche(6), slot1);
  EXPECT_EQ(t.pRecherche(7), slot5);
  EXPECT_EQ(t.pRecherche(8), slot3);
  EXPECT_EQ(t.nGetNbEntreeUtilisees(), 5);
  ASSERT_TRUE(t.bAjoute(9, 90));
  EXPECT_EQ(t.nGetNbEntreeUtilisees(), 6);
  for (int k : {2, 4, 6, 7, 8, 9}) EXPECT_EQ(*t.pRecherche(k), k * 10);
}

TEST(IndexHashTable, SupprimeEntreeRefusesWhatIsNotALiveEntry) {
  CTemplateHashTable<int, int> t(7);
  for (int k = 0; k < 10; ++k) ASSERT_TRUE(t.bAjoute(k, k));
  int bucket = -1, slot = -1;
  ASSERT_NE(t.pRecherche(4, &bucket, &slot), nullptr);
  auto* entry = t.pGetEntree(slot);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(&entry->valeur, t.pRecherche(4));
  EXPECT_EQ(t.pGetEntree(10), nullptr);
  EXPECT_FALSE(t.SupprimeEntree(entry, (bucket + 1) % 7, slot));  // wrong bucket
  EXPECT_FALSE(t.SupprimeEntree(entry, bucket, slot + 1));        // wrong slot
  EXPECT_FALSE(t.SupprimeEntree(entry, bucket, 10));              // beyond the entries
  EXPECT_FALSE(t.SupprimeEntree(entry, -1, slot));
  EXPECT_EQ(t.nGetNbEntree(), 10);
  ASSERT_TRUE(t.SupprimeEntree(entry, bucket, slot));
  EXPECT_FALSE(t.SupprimeEntree(entry, bucket, slot));  // already free
  EXPECT_EQ(t.nGetNbEntree(), 9);
  EXPECT_EQ(t.pRecherche(4), nullptr);
}

}  // namespace
