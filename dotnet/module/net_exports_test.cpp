// The exports of qg300net.so, loaded as the host loads it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dotnet/connector/dotnet_interfaces.h"
#include "support/platform/module.h"

namespace {

using PFN_Query = void* (*)(int32_t);
using PFN_Manager = void* (*)();
using PFN_Void = void (*)();

TEST(NetExportsTest, ProxyAndManagerAreSharedAndCounted) {
  std::string path = std::string(std::getenv("QG_BUILD_DIR")) + "/lib/qg300net.so";
  qg::ModuleHandle module = qg::LoadModule(path.c_str());
  ASSERT_NE(module, nullptr);
  auto query = reinterpret_cast<PFN_Query>(qg::FindSymbol(module, "pQueryProxy"));
  auto manager = reinterpret_cast<PFN_Manager>(qg::FindSymbol(module, "gpiGetManager"));
  auto term = reinterpret_cast<PFN_Void>(qg::FindSymbol(module, "EXT_VMTerm"));
  ASSERT_TRUE(query && manager && term);

  EXPECT_EQ(query(2), nullptr);
  EXPECT_EQ(query(0), nullptr);
  auto* a = static_cast<IDotNetExecution*>(query(1));
  auto* b = static_cast<IDotNetExecution*>(query(1));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->nGetVersion(), 5);
  EXPECT_EQ(b->Release(), 1);  // two references were handed out
  EXPECT_EQ(a->Release(), 0);

  auto* m1 = static_cast<IDotNetManager*>(manager());
  auto* m2 = static_cast<IDotNetManager*>(manager());
  EXPECT_EQ(m1, m2);
  EXPECT_EQ(m1->vnVersion1(), 1);
  EXPECT_EQ(m1->Release(), 1);
  EXPECT_EQ(m2->Release(), 0);
  auto* m3 = static_cast<IDotNetManager*>(manager());
  ASSERT_NE(m3, nullptr);
  EXPECT_EQ(m3->piGetFinder()->vnGetNb(), 0);
  EXPECT_EQ(m3->Release(), 0);
  term();
  // Loading alone never starts the runtime: the module may still unload.
  EXPECT_TRUE(qg::FreeModule(module));
}

}  // namespace
