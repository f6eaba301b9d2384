#include "dotnet/connector/dotnet_execution.h"

#include "dotnet/connector/net_test_fixture.h"

namespace qgnet {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(NetLifetimeTest, ExecutionAndManagerAreSingletonsRemadeAfterTheirLastRelease) {
  CDotNetExecution* a = CDotNetExecution::Acquire();
  CDotNetExecution* b = CDotNetExecution::Acquire();
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->nGetVersion(), 5);
  EXPECT_EQ(a->nGetCompatSince(), 3);
  EXPECT_EQ(a->nGetDllNum_OBSOLETE(), 20);
  EXPECT_EQ(b->Release(), 1);
  EXPECT_EQ(a->Release(), 0);

  CDotNetManager* m1 = CDotNetManager::Acquire();
  CDotNetManager* m2 = CDotNetManager::Acquire();
  EXPECT_EQ(m1, m2);
  m1->Loader().vbAdd(nullptr);
  EXPECT_EQ(m1->Release(), 1);
  EXPECT_EQ(CDotNetManager::Current(), m2);
  EXPECT_EQ(m2->Release(), 0);
  EXPECT_EQ(CDotNetManager::Current(), nullptr);  // no freed manager handed out
  CDotNetManager* m3 = CDotNetManager::Acquire();
  ASSERT_NE(m3, nullptr);
  EXPECT_EQ(m3->Finder().vnGetNb(), 0);
  EXPECT_EQ(m3->Release(), 0);
}

class ExecutionTest : public NetTest {};

TEST_F(ExecutionTest, RegistryKeepsTheFirstWrapperOfAKeyAndChecksIdentifiers) {
  auto* first = new CDotNetMethod(0);
  first->SetKey(u"Fixture.Values::Add(Int32,Int32)");
  auto* second = new CDotNetMethod(0);
  second->SetKey(u"Fixture.Values::Add(Int32,Int32)");
  auto* other = new CDotNetMethod(0);
  other->SetKey(u"Fixture.Values::Add(Int64,Int64)");
  int32_t id = manager_->nAddMethod(first);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(manager_->nAddMethod(second), id);  // second released, first kept
  EXPECT_EQ(manager_->nAddMethod(other), 2);
  EXPECT_EQ(manager_->pclGetMethod(1), first);
  EXPECT_EQ(manager_->nGetMethodId(u"Fixture.Values::Add(Int64,Int64)"), 2);
  EXPECT_EQ(manager_->nGetMethodId(u"fixture.values::add(Int64,Int64)"), 0);
  EXPECT_EQ(manager_->pclGetMethod(0), nullptr);
  EXPECT_EQ(manager_->pclGetMethod(3), nullptr);
  EXPECT_EQ(manager_->pclGetConstructor(1), nullptr);
}

TEST_F(ExecutionTest, StaticCallOnAMissingAssemblyOrClassNamesTheTypeFirst) {
  struct Case {
    const char16_t* assembly;
    const char16_t* classe;
    uint32_t second;
  };
  std::u16string missing_dll = u"/nonexistent/Missing.dll";
  const Case cases[] = {
      {missing_dll.c_str(), u"Values", 3619},
      {fixture_.c_str(), u"NoSuchClass", 200005},
  };
  for (const Case& c : cases) {
    error_.RAZ();
    STInfoClasseDotNet info{c.assembly, u"Fixture", c.classe};
    STMethodeDotNet method{u"Add", 0, nullptr, nullptr};
    STOperationDotNet op = Op();
    uint32_t id = 0;
    EXPECT_FALSE(execution_->bAppelleMethodeStatique(&info, &method, &id, &stack_, 0, true, &op));
    std::vector<uint32_t> ids = MessageIds(error_);
    ASSERT_GE(ids.size(), 2u);
    EXPECT_EQ(ids[0], 3667u);
    EXPECT_EQ(ids[1], c.second);
  }
}

TEST_F(ExecutionTest, AThrowingCalleeFailsTheCallWithTheInnerExceptionFirst) {
  STInfoClasseDotNet info = Classe(u"Values");
  STMethodeDotNet method{u"Throw", 0, nullptr, nullptr};
  STOperationDotNet op = Op();
  uint32_t id = 0;
  EXPECT_FALSE(execution_->bAppelleMethodeStatique(&info, &method, &id, &stack_, 0, false, &op));
  std::string user = UserText(error_);
  EXPECT_THAT(user, HasSubstr("inner cause"));
  EXPECT_THAT(user, HasSubstr("Throw"));
  EXPECT_LT(user.find("inner cause"), user.find("Throw"));
  EXPECT_THAT(DumpText(error_), HasSubstr("outer failure"));
  const CXError::_stERRORINFO* item = error_.pstGetInfo(EIT_EXCEPTIONDOTNET);
  ASSERT_NE(item, nullptr);
  auto* exception = reinterpret_cast<IErrorInfoObject*>(item->nValue);
  auto* as_exception = dynamic_cast<IDotNetException*>(exception);
  ASSERT_NE(as_exception, nullptr);
  IDotNetInstance* inner = as_exception->vpiGetInstanceInterne();
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(static_cast<CDotNetInstance*>(inner)->Type()->FullName(), u"System.ArgumentException");
  inner->Release();
}

TEST_F(ExecutionTest, SameObjectMatrix) {
  STInfoClasseDotNet box = Classe(u"Box");
  STOperationDotNet op = Op();
  IDotNetInstance* empty1 = execution_->piAlloue(&box, &op);
  IDotNetInstance* empty2 = empty1->piCopieInstance();
  IDotNetInstance* box_a = StaticObject(u"Values", u"SharedBox");
  IDotNetInstance* box_b = StaticObject(u"Values", u"SharedBox");
  IDotNetInstance* p1 = StaticObject(u"Values", u"PointOne");
  IDotNetInstance* p2 = StaticObject(u"Values", u"PointTwo");
  IDotNetInstance* bad1 = StaticObject(u"Values", u"Bad");
  IDotNetInstance* bad2 = StaticObject(u"Values", u"Bad");
  ASSERT_TRUE(empty1 && box_a && box_b && p1 && p2 && bad1 && bad2) << UserText(error_);
  EXPECT_NE(box_a, box_b);
  EXPECT_TRUE(execution_->bMemeObjet(empty1, empty2));
  EXPECT_FALSE(execution_->bMemeObjet(empty1, box_a));
  EXPECT_TRUE(execution_->bMemeObjet(box_a, box_b));
  EXPECT_TRUE(execution_->bMemeObjet(p1, p2));
  EXPECT_FALSE(execution_->bMemeObjet(bad1, bad2));
  for (IDotNetInstance* i : {empty1, empty2, box_a, box_b, p1, p2, bad1, bad2}) i->Release();
}

TEST_F(ExecutionTest, EnumerationOperationsComputeInTheUnderlyingType) {
  IDotNetInstance* a = StaticObject(u"Values", u"IntA");
  IDotNetInstance* b = StaticObject(u"Values", u"IntB");
  IDotNetInstance* small = StaticObject(u"Values", u"LongSmall");
  IDotNetInstance* big = StaticObject(u"Values", u"LongBig");
  ASSERT_TRUE(a && b && small && big) << UserText(error_);
  STOperationDotNet op = Op();
  int32_t value = 0;

  IDotNetInstance* ab = execution_->piOuBinaire(a, b, &op);
  ASSERT_NE(ab, nullptr);
  EXPECT_TRUE(execution_->bObjectToInt(ab, &value, &op));
  EXPECT_EQ(value, 3);
  IDotNetInstance* none = execution_->piEtBinaire(a, b, &op);
  EXPECT_TRUE(execution_->bObjectToInt(none, &value, &op));
  EXPECT_EQ(value, 0);
  IDotNetInstance* flipped = execution_->piNonBinaire(a, &op);
  EXPECT_TRUE(execution_->bObjectToInt(flipped, &value, &op));
  EXPECT_EQ(value, ~1);

  // Bit 40 survives the long operation, and no 32-bit value holds it.
  IDotNetInstance* both = execution_->piOuExBinaire(small, big, &op);
  ASSERT_NE(both, nullptr);
  EXPECT_FALSE(execution_->bObjectToInt(both, &value, &op));
  EXPECT_THAT(MessageIds(error_), ElementsAre(200001u));
  IDotNetInstance* back = execution_->piEtBinaire(both, big, &op);
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(execution_->bMemeObjet(back, big));

  error_.RAZ();
  EXPECT_EQ(execution_->piOuBinaire(a, big, &op), nullptr);
  EXPECT_THAT(MessageIds(error_), ElementsAre(200001u));
  for (IDotNetInstance* i : {a, b, small, big, ab, none, flipped, both, back}) i->Release();
}

}  // namespace
}  // namespace qgnet
