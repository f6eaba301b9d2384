#include "support/any_holders.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/any_serial.h"
#include "support/any_test_fixture.h"

namespace qg {
namespace {

// Reference-counted stand-ins for each kind of object a value can hold.
// They count every reference taken and given back; a release below the
// creator's own reference is a fault.
struct Counts {
  int refs = 1;
  int faults = 0;
  void Take() { ++refs; }
  void Give() {
    if (--refs < 1) ++faults;
  }
};

class Object final : public IAnyObject {
 public:
  int32_t AddRef() override { c.Take(); return c.refs; }
  int32_t Release() override { c.Give(); return c.refs; }
  Counts c;
};

class Array final : public IAnyArray {
 public:
  intptr_t vOp0(intptr_t) override { ++c.faults; return 0; }
  int32_t AddRef() override { c.Take(); return c.refs; }
  int32_t Release() override { c.Give(); return c.refs; }
  Counts c;
};

class Conveyor final : public IAnyConveyor {
 public:
  int32_t AddRef() override { ++faults; return 0; }  // references are taken by the count
  int32_t Release() override {
    if (m_nCount.fetch_sub(1) - 1 < 1) ++faults;
    return m_nCount.load();
  }
  int faults = 0;
};

class Error final : public CQGUnknown {
 public:
  explicit Error(int* deleted) : deleted_(deleted) {}
  ~Error() override { ++*deleted_; }

 private:
  int* deleted_;
};

class AnyRefTest : public AnyHostTest {};

// Exercises every path that takes or gives back a reference: set, copy,
// assignment over another object and over itself, re-set with the same
// object, re-typing, the serialised forms, destruction.
void Exercise(int code, const std::function<void(CAny&, void*)>& set, void* object,
              void* other) {
  CAny a;
  set(a, object);
  {
    CAny b(a);
    CAny c;
    set(c, other);
    c = a;
    c = c;
    set(c, object);  // the same object again: nothing changes
    CAny d;
    d = b;
    d.SetType(kAnyI4);  // releases
    CByteVectorSink shortform;
    CByteVectorSink tagged;
    ASSERT_TRUE(a.bEcritCourt(shortform));
    ASSERT_TRUE(a.bEcritBalise(tagged));
    CAny e;
    CByteSpanSource s1(shortform.Octets());
    ASSERT_TRUE(e.bLitCourt(s1));
    EXPECT_EQ(e.nGetCode(), code);
    void* read = &e;
    e.nGetObjet(code, &read);
    EXPECT_EQ(read, nullptr) << "a pointer was read back from bytes";
    CByteSpanSource s2(tagged.Octets());
    ASSERT_TRUE(e.bLitBalise(s2));
    e.nGetObjet(code, &read);
    EXPECT_EQ(read, nullptr);
  }
  a.SetType(0);
}

TEST_F(AnyRefTest, EveryObjectHoldingTypeIsBalanced) {
  struct Case {
    int code;
    std::function<void(CAny&, void*)> set;
  };
  const Case object_cases[] = {
      {kAnyMEMOIMG, [](CAny& v, void* o) { v.SetMEMOIMG(o); }},
      {kAnyPOLICE, [](CAny& v, void* o) { v.SetPOLICE(o); }},
      {kAnyDINO, [](CAny& v, void* o) { v.SetDINO(o); }},
      {kAnyINTERFACE, [](CAny& v, void* o) { v.SetINTERFACE(o); }},
      {kAnyOBJET_ANY, [](CAny& v, void* o) { v.SetOBJET_ANY(o); }},
      {108, [](CAny& v, void* o) { v.SetOBJET_BASE(108, o); }},
      {135, [](CAny& v, void* o) { v.SetOBJET_BASE(135, o); }},
      {166, [](CAny& v, void* o) { v.SetOBJET_BASE(166, o); }},
  };
  for (const Case& c : object_cases) {
    Object o1;
    Object o2;
    Exercise(c.code, c.set, static_cast<IAnyObject*>(&o1), static_cast<IAnyObject*>(&o2));
    EXPECT_EQ(o1.c.refs, 1) << c.code;
    EXPECT_EQ(o2.c.refs, 1) << c.code;
    EXPECT_EQ(o1.c.faults + o2.c.faults, 0) << c.code;
  }

  Array a1;
  Array a2;
  Exercise(kAnyTABVALANY, [](CAny& v, void* o) { v.SetTABVALANY(o); },
           static_cast<IAnyArray*>(&a1), static_cast<IAnyArray*>(&a2));
  EXPECT_EQ(a1.c.refs, 1);
  EXPECT_EQ(a2.c.refs, 1);
  EXPECT_EQ(a1.c.faults + a2.c.faults, 0);

  Conveyor c1;
  Conveyor c2;
  Exercise(kAnyCONVOYEUR, [](CAny& v, void* o) { v.SetCONVOYEUR(o); },
           static_cast<IAnyConveyor*>(&c1), static_cast<IAnyConveyor*>(&c2));
  EXPECT_EQ(c1.m_nCount.load(), 1);
  EXPECT_EQ(c2.m_nCount.load(), 1);
  EXPECT_EQ(c1.faults + c2.faults, 0);

  int deleted = 0;
  auto* e1 = new Error(&deleted);
  auto* e2 = new Error(&deleted);
  e1->AddRef();  // the creator's reference
  e2->AddRef();
  Exercise(kAnyVALEUR_EN_ERREUR, [](CAny& v, void* o) { v.SetVALEUR_EN_ERREUR(o); },
           static_cast<CQGUnknown*>(e1), static_cast<CQGUnknown*>(e2));
  EXPECT_EQ(e1->nGetRefCount(), 1);
  EXPECT_EQ(e2->nGetRefCount(), 1);
  EXPECT_EQ(deleted, 0);
  {
    // The last reference, held by a value, deletes the error.
    CAny holder;
    holder.SetVALEUR_EN_ERREUR(static_cast<CQGUnknown*>(e1));
    e1->Release();
  }
  EXPECT_EQ(deleted, 1);
  e2->Release();
  EXPECT_EQ(deleted, 2);
}

TEST_F(AnyRefTest, CopiesOfObjectValuesAndTheirFlags) {
  Object o;
  // INTERFACE and its kin do not carry the flags: a null INTERFACE copies
  // into a non-null one holding the same pointer.
  CAny i;
  i.SetINTERFACE(nullptr);
  i.SetNull(true);
  CAny j = i;
  EXPECT_EQ(j.GetType(), kAnyINTERFACE);
  void* p = &o;
  EXPECT_EQ(j.nGetObjet(kAnyINTERFACE, &p), kAnyOk);
  EXPECT_EQ(p, nullptr);

  CAny b;
  b.SetOBJET_BASE(141, static_cast<IAnyObject*>(&o));
  b.SetFlags(kAnyFlagCarried);
  CAny c = b;
  EXPECT_EQ(c.GetType(), 141);  // its own code kept, flags cleared

  // MEMOIMG carries them.
  CAny m;
  m.SetMEMOIMG(static_cast<IAnyObject*>(&o));
  m.SetFlags(kAnyFlagNull);
  CAny n = m;
  EXPECT_EQ(n.GetType(), kAnyMEMOIMG | kAnyFlagNull);
  EXPECT_EQ(o.c.refs, 5);  // its own, b, c, m, n
}

TEST_F(AnyRefTest, SharedTextSurvivesWhileReferenced) {
  CAny a;
  a.SetDSTRW(u"shared text");
  CAny b = a;
  a.SetType(0);
  const char16_t* t = nullptr;
  ASSERT_EQ(b.nGetPCXSTR(&t), kAnyOk);
  EXPECT_EQ(std::u16string(t), u"shared text");
}

// Text setters of the holders: 8-bit texts default to code page 1252,
// UTF-16 texts into 8-bit holders likewise, or the code page given.
TEST_F(AnyRefTest, TextOperationsConvertBetweenWidths) {
  auto wide = [](const CAny& v) {
    const char16_t* t = nullptr;
    EXPECT_EQ(v.nGetPCXSTR(&t), kAnyOk);
    return std::u16string(t != nullptr ? t : u"");
  };
  auto narrow = [](const CAny& v) {
    const char* t = nullptr;
    EXPECT_EQ(v.pclHolder()->vnGetTexteA(&t), kAnyOk);
    return std::string(t != nullptr ? t : "");
  };
  CAny v;
  v.SetType(kAnyCARW);
  v.pclHolder()->vnSetAZ("\x80");  // op 19, code page 1252
  EXPECT_EQ(wide(v), u"\x20AC");
  v.pclHolder()->vnSetACP("\xC3\xA9", 2, 65001);
  EXPECT_EQ(wide(v), u"\xE9");

  v.SetType(kAnyCARA);
  v.pclHolder()->vnSetWZ(u"\x20AC");  // op 21, code page 1252
  EXPECT_EQ(narrow(v), "\x80");
  int n = 0;
  EXPECT_EQ(v.pclHolder()->vnGetLongueur(&n), kAnyOk);
  EXPECT_EQ(n, 1);

  v.SetType(kAnyDSTRW);
  v.pclHolder()->vnSetA("caf\xE9 \x80", -1);
  EXPECT_EQ(wide(v), u"caf\xE9 \x20AC");
  int bytes = 0;
  v.pclHolder()->vnGetTailleAvecFin(&bytes);
  EXPECT_EQ(bytes, 2 * 6 + 2);

  v.SetType(kAnyPSTRW);
  v.pclHolder()->vnSetAZCP("\xC3\xA9t\xC3\xA9", 65001);
  EXPECT_EQ(wide(v), u"\xE9t\xE9");
  v.pclHolder()->vnSetDepuisFlags(u"abcdef", 3, 1);  // a block of 3, at most 3 copied
  EXPECT_EQ(wide(v), u"abc");
  static_cast<CAny_ZQPSTRW*>(v.pclHolder())->vLibereTexte();
  EXPECT_EQ(wide(v), u"");

  v.SetType(kAnyDSTRA);
  v.pclHolder()->vnSetWCP(u"\xE9", -1, 65001);
  EXPECT_EQ(narrow(v), "\xC3\xA9");
  v.pclHolder()->vnSetWZ(u"\xE9");  // the host's code page (1252)
  EXPECT_EQ(narrow(v), "\xE9");

  v.SetType(kAnyPSTRA);
  v.pclHolder()->vnSetWZ(u"\x20AC!");
  EXPECT_EQ(narrow(v), "\x80!");

  // Types without text answer 105 and leave the pointer null.
  v.SetI4(1);
  const char16_t* t = u"x";
  EXPECT_EQ(v.nGetPCXSTR(&t), kAnyWrongType);
  EXPECT_EQ(t, nullptr);
}

}  // namespace
}  // namespace qg
