#include "support/any_array.h"

#include <gtest/gtest.h>

#include <string>

#include "host/core/host_runtime.h"
#include "support/any_test_fixture.h"
#include "support/container_failure_fixture.h"

namespace {

class AnyArrayTest : public qg::AnyHostTest {
 protected:
  static int LiveStrings() { return qghost::Runtime().Strings().nLiveStrings(); }
  static std::u16string Text(const CAny* v) {
    const char16_t* t = nullptr;
    if (v == nullptr || v->nGetPCXSTR(&t) >= 100 || t == nullptr) return u"<none>";
    return t;
  }
  static int32_t I4(const CAny* v) {
    int32_t n = -1;
    return v != nullptr && v->nGetI4(&n) < 100 ? n : -1;
  }
  qg::ContainerFailures failures_;
};

TEST_F(AnyArrayTest, GrowsByTheStepAndKeepsEveryValue) {
  int before = LiveStrings();
  {
    CZQANYArray a;
    EXPECT_EQ(a.nGetCapacite(), 10);
    EXPECT_EQ(a.nGetNbElement(), 0);
    CAny v;
    for (int i = 0; i < 25; ++i) {
      if (i % 2 == 0) {
        v.SetI4(i);
      } else {
        ASSERT_EQ(v.SetDSTRW((u"s" + std::u16string(1, u'a' + i)).c_str()), 0);
      }
      ASSERT_TRUE(a.bAjoute(v));
    }
    EXPECT_EQ(a.nGetCapacite(), 30);
    ASSERT_EQ(a.nGetNbElement(), 25);
    for (int i = 0; i < 25; ++i) {
      EXPECT_TRUE(a.bAValeur(i));
      if (i % 2 == 0) EXPECT_EQ(I4(a.pGetElement(i)), i);
      else EXPECT_EQ(Text(a.pGetElement(i)), u"s" + std::u16string(1, u'a' + i));
    }
    EXPECT_EQ(a.pGetElement(25), nullptr);
    EXPECT_FALSE(a.bAValeur(25));
    EXPECT_FALSE(a.bAValeur(-1));

    // An element of the array itself, added while the array is full.
    while (a.nGetNbElement() < a.nGetCapacite()) ASSERT_TRUE(a.bAjoute(v));
    ASSERT_TRUE(a.bAjoute(*a.pGetElement(1)));
    EXPECT_EQ(Text(a.pGetElement(a.nGetNbElement() - 1)), u"sb");

    a.Vide();
    EXPECT_EQ(a.nGetNbElement(), 0);
    EXPECT_EQ(a.nGetCapacite(), 40);
    EXPECT_FALSE(a.bAValeur(0));
    v = CAny();
    EXPECT_EQ(LiveStrings(), before);  // cleared elements released their texts

    ASSERT_TRUE(a.bAjoute(v));
    a.vDetruit();
    EXPECT_EQ(a.nGetCapacite(), 0);
    v.SetI4(7);
    ASSERT_TRUE(a.bAjoute(v));  // grows again from nothing
    EXPECT_EQ(a.nGetCapacite(), 10);
    EXPECT_EQ(I4(a.pGetElement(0)), 7);
  }
  EXPECT_EQ(LiveStrings(), before);
}

TEST_F(AnyArrayTest, FailedGrowthKeepsTheValues) {
  CZQANYArray a;
  CAny v;
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(v.SetDSTRW(u"kept"), 0);
    ASSERT_TRUE(a.bAjoute(v));
  }
  for (int nth : {1, 2}) {  // the value block, then the flag block
    qg::ContainerFailures::FailNth(nth);
    EXPECT_FALSE(a.bAjoute(v));
    EXPECT_EQ(a.nGetNbElement(), 10);
    EXPECT_EQ(a.nGetCapacite(), 10);
  }
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Text(a.pGetElement(i)), u"kept");
  qg::ContainerFailures::FailNth(1);
  EXPECT_FALSE(a.vbAlloue(5));
  EXPECT_EQ(a.nGetNbElement(), 10);
  ASSERT_TRUE(a.bAjoute(v));
  EXPECT_EQ(a.nGetNbElement(), 11);
}

}  // namespace
