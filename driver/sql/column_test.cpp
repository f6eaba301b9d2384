#include "driver/sql/column.h"

#include <gtest/gtest.h>

#include "support/any_test_fixture.h"

namespace {

class Column : public qg::AnyHostTest {
 protected:
  CNAColumn* Make(int type, int size, int digits = 0, int scale = 0, uint16_t flags = 0) {
    CNAColumn* c = NAAddRef(new CNAColumn());
    c->Init(u"c", u"t", nullptr, 1, size, type, 0, -1, flags, digits, scale);
    made_.push_back(c);
    return c;
  }
  void TearDown() override {
    for (CNAColumn* c : made_) ReleaseBoth(c);
    AnyHostTest::TearDown();
  }
  std::vector<CNAColumn*> made_;
};

TEST_F(Column, InitialisesFromAttributes) {
  CNAColumn* decimal = Make(31, 0, 5, 0);
  EXPECT_EQ(decimal->nGetType(), 31);  // digits kept: the type is the caller's
  CNAColumn* too_wide = Make(31, 0, 40, 0);
  EXPECT_EQ(too_wide->nGetType(), 7);
  EXPECT_EQ(too_wide->nGetSize(), 8);
  CNAColumn* memo = Make(15, 100);
  EXPECT_EQ(memo->nGetSize(), 8);
  CNAColumn* auto_id = Make(28, 4);
  EXPECT_FALSE(auto_id->bIsNullable());
  EXPECT_FALSE(auto_id->bIsWritable());
  EXPECT_EQ(auto_id->clGetDefault().nGetCode(), 8);
  EXPECT_TRUE(auto_id->clGetDefault().bEstNull());
  CNAColumn* untyped = Make(0, 50);
  EXPECT_EQ(untyped->nGetType(), 2);
  EXPECT_EQ(untyped->nGetSize(), 1);
  CNAColumn* time = Make(11, 10, 0, 3);
  EXPECT_EQ(time->nGetScale(), 3);
}

TEST_F(Column, DataLengths) {
  EXPECT_EQ(Make(2, 51)->nGetDataLength(), 50);
  EXPECT_EQ(Make(29, 102)->nGetDataLength(), 50);
  EXPECT_EQ(Make(23, 18)->nGetDataLength(), 16);
  EXPECT_EQ(Make(23, 18, 0, 0, kNAKeyComposite)->nGetDataLength(), 18);
  EXPECT_EQ(Make(2, 0)->nGetDataLength(), 0);
  EXPECT_EQ(Make(5, 4)->nGetDataLength(-1), 4);
}

TEST_F(Column, CompositeKeyGrowsByItsParts) {
  CNAColumn* key = Make(23, 0, 0, 0, kNAKeyComposite | kNAKeyUnique);
  int start = key->nGetSize();
  key->AddPart(Make(2, 11));
  key->AddPart(Make(29, 22));
  EXPECT_EQ(key->nGetSize(), start + 10 + 20);
  EXPECT_EQ(key->nGetPartCount(), 2);
  EXPECT_EQ(key->pclGetPart(1)->nGetType(), 2);
  EXPECT_EQ(key->pclGetPart(0), nullptr);
  EXPECT_EQ(key->pclGetPart(3), nullptr);
  EXPECT_EQ(key->pclGetPart(1)->nGetReferences(), 2);
}

TEST_F(Column, KeyFlags) {
  CNAColumn* primary = Make(5, 4, 0, 0, kNAKeyPrimary);
  EXPECT_TRUE(primary->bIsUnique());
  EXPECT_TRUE(primary->bIdentifiesRow());
  CNAColumn* unique = Make(5, 4, 0, 0, kNAKeyUnique);
  EXPECT_FALSE(unique->bIdentifiesRow());
  CNAColumn* dup = Make(5, 4, 0, 0, kNAKeyDuplicates);
  EXPECT_TRUE(dup->bIsKey());
  EXPECT_FALSE(dup->bIsUnique());
  dup->SetDirection(true);
  EXPECT_TRUE(dup->bHas400());
  dup->SetDirection(false);
  EXPECT_FALSE(dup->bHas400());
  EXPECT_EQ(dup->nGetKeyFlags() & 0x800, 0x800);
}

TEST_F(Column, PromotesToAutoIdentifier) {
  CNAColumn* small = Make(3, 2);
  small->PromoteToAutoId();
  EXPECT_EQ(small->nGetType(), 28);
  EXPECT_EQ(small->nGetSize(), 4);
  CNAColumn* big = Make(20, 8);
  big->PromoteToAutoId();
  EXPECT_EQ(big->nGetType(), 1);
  CNAColumn* text = Make(2, 11);
  text->PromoteToAutoId();
  EXPECT_EQ(text->nGetType(), 2);
}

TEST_F(Column, CopyDefinitionMakesIdentifiersPlain) {
  CNAColumn* target = Make(2, 11);
  target->CopyDefinition(*Make(1, 8));
  EXPECT_EQ(target->nGetType(), 19);
  target->CopyDefinition(*Make(28, 4));
  EXPECT_EQ(target->nGetType(), 5);
  target->CopyDefinition(*Make(31, 8, 10, 4));
  EXPECT_EQ(target->nGetPrecision(), 10);
  EXPECT_EQ(target->nGetScale(), 4);
  target->CopyDefinition(*Make(5, 4));
  EXPECT_EQ(target->nGetPrecision(), 0);
}

TEST_F(Column, CanHold) {
  struct Case { int t, ts, o, os; bool narrow; bool holds; };
  const Case cases[] = {
      {2, 11, 2, 11, false, true},  {2, 10, 2, 11, false, false}, {5, 4, 3, 2, false, true},
      {3, 2, 5, 4, false, false},   {19, 8, 20, 8, false, true},  {7, 8, 6, 4, false, true},
      {6, 4, 7, 8, false, false},   {24, 8, 14, 9, false, true},  {14, 9, 24, 8, false, true},
      {15, 8, 2, 50, false, true},  {18, 8, 23, 18, false, true}, {29, 22, 2, 11, false, true},
      {29, 10, 2, 21, false, false}, {30, 8, 29, 22, false, true}, {2, 11, 29, 22, true, true},
      {2, 10, 29, 22, true, false}, {5, 4, 2, 11, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Make(c.t, c.ts)->bCanHold(*Make(c.o, c.os), c.narrow), c.holds)
        << c.t << "/" << c.ts << " <- " << c.o << "/" << c.os;
  }
  CNAColumn* decimal = Make(31, 10, 20, 4);
  EXPECT_TRUE(decimal->bCanHold(*Make(19, 8), false));  // 19 digits <= 24
  EXPECT_FALSE(decimal->bCanHold(*Make(17, 10), false));  // scale 5 > 4
}

TEST_F(Column, GenerationAndDefaults) {
  CNAColumn* c = Make(5, 4);
  EXPECT_TRUE(c->bHasDefault());
  c->SetGeneration(u"a+1", true);
  EXPECT_TRUE(c->bIsGenerationStored());
  EXPECT_FALSE(c->bHasDefault());
  EXPECT_FALSE(c->bIsWritable());
  c->SetGeneration(u"a+1", false);
  EXPECT_FALSE(c->bIsGenerationStored());
  CAny value;
  value.SetI8(42);
  c->SetDefault(value);
  EXPECT_EQ(c->clGetDefault().nGetCode(), 8);
  int32_t i = 0;
  EXPECT_EQ(c->clGetDefault().nGetI4(&i), 0);
  EXPECT_EQ(i, 42);
}

TEST_F(Column, CloneOptions) {
  CNAColumn* date = Make(24, 8);
  CNAColumn* copy = date->pclCloneWithoutParts(3, 3);
  EXPECT_EQ(copy->nGetType(), 2);
  EXPECT_EQ(copy->nGetKeyNumber(), 3);
  EXPECT_EQ(copy->nGetKeyFlags(), 0x2800);
  AddRefBoth(copy);
  ReleaseBoth(copy);
  CNAColumn* memo = Make(15, 8);
  CNAColumn* memo_copy = memo->pclCloneWithoutParts(0, 1);
  EXPECT_EQ(memo_copy->nGetKeyFlags(), 0);
  AddRefBoth(memo_copy);
  ReleaseBoth(memo_copy);
}

}  // namespace
