#include "host/core/dotnet_stack.h"

#include <gtest/gtest.h>

#include "dotnet/connector/dotnet_interfaces.h"
#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"

namespace qghost {
namespace {

// An instance that counts its releases.
class CountedInstance final : public IDotNetInstance {
 public:
  int releases = 0;
  int32_t Release() override { return ++releases; }
  bool bExecuteConstructeur(const STMethodeDotNet*, uint32_t*, CSLevel*, int32_t,
                            STOperationDotNet*) override {
    return false;
  }
  bool bLibereInstance() override { return false; }
  IDotNetInstance* piCopieInstance() override { return this; }
  bool bAppelleMethode(const STMethodeDotNet*, uint32_t*, CSLevel*, int32_t, bool,
                       STOperationDotNet*) override {
    return false;
  }
  bool bAffecteMembre(const char16_t*, CSLevel*, STOperationDotNet*) override { return false; }
  bool bAffecteProperty(const char16_t*, CSLevel*, STOperationDotNet*) override { return false; }
  bool bAffectePropertyMembre(const char16_t*, CSLevel*, STOperationDotNet*) override {
    return false;
  }
  bool bEmpileMembre(const char16_t*, CSLevel*, STOperationDotNet*) override { return false; }
  bool bEmpileProperty(const char16_t*, CSLevel*, STOperationDotNet*) override { return false; }
  bool bEmpilePropertyMembre(const char16_t*, CSLevel*, STOperationDotNet*) override {
    return false;
  }
};

class DotNetStackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime().Reset();
    qg::Services().piStringMemory = &Runtime().Strings();
  }
};

// The stack keeps its popped slots for the next pushes: whatever a slot
// held (a text, a null number, a number of another type, an instance) is
// gone from the value pushed there next, and an instance is released when
// its value is popped.
TEST_F(DotNetStackTest, APushedValueIsWhatWasPushedWhateverItsSlotHeld) {
  DotNetStack stack;
  CAny text, null_i4, i4, i8;
  text.SetDSTRW(u"abc");
  null_i4.SetI4(4);
  null_i4.SetNull(true);
  i4.SetI4(3);
  i8.SetI8(int64_t{1} << 40);

  // Into the slot a text left.
  stack.bEmpile(text);
  stack.Pop(1);
  stack.pclEmpileValeur()->SetI4(5);
  int32_t n = 0;
  EXPECT_EQ(stack.pclGetValeur(0)->GetType(), qg::kAnyI4);
  EXPECT_EQ(stack.pclGetValeur(0)->nGetI4(&n), 0);
  EXPECT_EQ(n, 5);

  // A number onto a number of the same type, null or not.
  stack.Pop(1);
  stack.bEmpile(null_i4);
  EXPECT_TRUE(stack.pclGetValeur(0)->bEstNull());
  stack.Pop(1);
  stack.bEmpile(i4);
  EXPECT_FALSE(stack.pclGetValeur(0)->bEstNull());
  EXPECT_EQ(stack.pclGetValeur(0)->nGetI4(&n), 0);
  EXPECT_EQ(n, 3);
  stack.Pop(1);
  stack.bEmpile(null_i4);
  EXPECT_TRUE(stack.pclGetValeur(0)->bEstNull());

  // Another type, then a text where a number was.
  stack.Pop(1);
  stack.bEmpile(i8);
  int64_t wide = 0;
  EXPECT_EQ(stack.pclGetValeur(0)->nGetI8(&wide), 0);
  EXPECT_EQ(wide, int64_t{1} << 40);
  stack.Pop(1);
  stack.bEmpile(text);
  const char16_t* got = nullptr;
  stack.pclGetValeur(0)->nGetPCXSTR(&got);
  EXPECT_EQ(std::u16string(got), u"abc");

  // An instance: released once when popped, not seen in the slot after.
  CountedInstance instance;
  stack.bEmpileInstance(&instance);
  EXPECT_EQ(stack.nGetNbValeur(), 2);
  EXPECT_EQ(stack.piGetInstance(0), &instance);
  EXPECT_TRUE(stack.pclGetValeur(0)->bEstVide());
  stack.Pop(1);
  EXPECT_EQ(instance.releases, 1);
  stack.pclEmpileValeur()->SetR8(0.5);
  EXPECT_EQ(stack.piGetInstance(0), nullptr);
  stack.Clear();
  EXPECT_EQ(instance.releases, 1);
  EXPECT_EQ(stack.nGetNbValeur(), 0);
  EXPECT_EQ(stack.pclGetValeur(0), nullptr);
}

}  // namespace
}  // namespace qghost
