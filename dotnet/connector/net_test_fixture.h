// Test fixture of the connector: the stand-in host's string memory and
// locale, the module's conversion engine, paths of the fixture assemblies,
// and helpers to drive the execution interface.
#ifndef QG_DOTNET_CONNECTOR_NET_TEST_FIXTURE_H_
#define QG_DOTNET_CONNECTOR_NET_TEST_FIXTURE_H_

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "dotnet/connector/call_road.h"
#include "dotnet/connector/clr_bridge.h"
#include "dotnet/connector/dotnet_execution.h"
#include "dotnet/connector/dotnet_manager.h"
#include "dotnet/connector/net_text.h"
#include "dotnet/convert/conversion_cast.h"
#include "errors/module_errors.h"
#include "host/core/dotnet_stack.h"
#include "support/ctstring.h"
#include "support/any_test_fixture.h"

namespace qgnet {

inline std::string BuildDir() {
  const char* dir = std::getenv("QG_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

inline std::string FixtureDll() {
  return BuildDir() + "/managed/bin/NetFixture/release/NetFixture.dll";
}

// The message identifiers of an error, in order (sub-errors after).
inline std::vector<uint32_t> MessageIds(const CXError& error) {
  std::vector<uint32_t> ids;
  for (int i = 0; i < error.nGetNbMessageId(); ++i) ids.push_back(error.nGetMessageId(i));
  for (int s = 0; s < error.nGetNbSubError(); ++s) {
    for (uint32_t id : MessageIds(*error.pclGetSubError(s))) ids.push_back(id);
  }
  return ids;
}

inline std::string UserText(const CXError& error) { return U8(error.pszGetUserMessage()); }

inline std::string DumpText(const CXError& error) {
  return U8(std::u16string(error.StringDump(qg::kDumpAll).pszGet()));
}

// Runs read(n), n = 0..19, on several threads that start together, so that
// their first reads meet. Answers the first text that differs from
// want[n % 2], or "" when every thread read what it should.
inline std::string ReadTogether(const std::function<std::u16string(int)>& read,
                                const std::u16string (&want)[2]) {
  constexpr int kThreads = 6;
  std::vector<std::string> failures(kThreads);
  std::latch start(kThreads);
  auto run = [&](int t) {
    start.arrive_and_wait();
    for (int n = 0; n < 20; ++n) {
      std::u16string got = read(n);
      if (got != want[n % 2]) {
        failures[static_cast<size_t>(t)] = U8(got);
        return;
      }
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(run, t);
  for (std::thread& thread : threads) thread.join();
  for (const std::string& failure : failures) {
    if (!failure.empty()) return failure;
  }
  return std::string();
}

class NetTest : public qg::AnyHostTest {
 protected:
  void SetUp() override {
    qg::AnyHostTest::SetUp();
    qg::InstalleConversionMoteur();
    std::u16string why;
    ASSERT_NE(Clr(&why), nullptr) << U8(why);
    manager_ = CDotNetManager::Acquire();
    execution_ = CDotNetExecution::Acquire();
    fixture_ = U16(FixtureDll());
  }
  void TearDown() override {
    stack_.Clear();
    execution_->Release();
    manager_->Release();
    qg::AnyHostTest::TearDown();
  }

  STInfoClasseDotNet Classe(const char16_t* name, const char16_t* ns = u"Fixture") {
    return STInfoClasseDotNet{fixture_.c_str(), ns, name};
  }
  STOperationDotNet Op() { return STOperationDotNet{&error_}; }

  // Reads a static property or field of a fixture class onto the stack and
  // takes the instance there (one reference for the caller).
  IDotNetInstance* StaticObject(const char16_t* classe, const char16_t* member) {
    STInfoClasseDotNet info = Classe(classe);
    STOperationDotNet op = Op();
    if (!execution_->bEmpilePropertyMembreStatique(&info, member, &stack_, &op)) return nullptr;
    IDotNetInstance* instance = stack_.piGetInstance(0);
    if (instance != nullptr) instance->piCopieInstance();
    stack_.Pop(1);
    return instance;
  }

  CDotNetManager* manager_ = nullptr;
  CDotNetExecution* execution_ = nullptr;
  std::u16string fixture_;
  _CXErrorModule20 error_;
  qghost::DotNetStack stack_;
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_NET_TEST_FIXTURE_H_
