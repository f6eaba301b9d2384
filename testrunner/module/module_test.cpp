// qg300test.so loaded with the stand-in host qg300vm.so (and its variants
// lacking an entry point), driven through its exports; and the session
// holder of the runner in process against the same host libraries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/core/external_execution.h"
#include "host/core/host_runtime.h"
#include "support/frame/execution_protocol.h"
#include "support/frame/test_runner_abi.h"
#include "support/platform/module.h"
#include "testrunner/runner/session.h"

namespace {

using PFN_Execution = intptr_t (*)(int32_t, intptr_t);
using PFN_Proxy = void* (*)(int32_t);
using PFN_Init = int32_t (*)(void*);
using PFN_Term = int32_t (*)();

std::string LibDir() {
  const char* build = std::getenv("QG_BUILD_DIR");
  return std::string(build != nullptr ? build : ".") + "/lib";
}

class ModuleTest : public ::testing::Test {
 protected:
  // Loads a host variant and the module; the module is opened by Open().
  void LoadHost(const char* host_name) {
    host_ = qg::LoadModule((LibDir() + "/" + host_name + ".so").c_str());
    ASSERT_NE(host_, nullptr);
    runtime_ = reinterpret_cast<qghost::HostRuntime* (*)()>(
        qg::FindSymbol(host_, "qghost_Runtime"))();
    external_ = reinterpret_cast<qghost::ExternalExecution* (*)()>(
        qg::FindSymbol(host_, "qghost_External"))();
    runtime_->Reset();
    external_->Reset();
  }
  void LoadModule() {
    module_ = qg::LoadModule((LibDir() + "/qg300test.so").c_str());
    ASSERT_NE(module_, nullptr);
    execution_ = reinterpret_cast<PFN_Execution>(qg::FindSymbol(module_, "Execution"));
    proxy_ = reinterpret_cast<PFN_Proxy>(qg::FindSymbol(module_, "pQueryProxy"));
    reinterpret_cast<PFN_Init>(qg::FindSymbol(module_, "bExternalInitLibrary"))(module_);
  }
  intptr_t Open() {
    qg::ExecutionOpenRecord record{12, reinterpret_cast<intptr_t>(host_), 0, 0,
                                   runtime_->RuntimeObject()};
    return execution_(qg::kExecOpen, reinterpret_cast<intptr_t>(&record));
  }
  void TearDown() override {
    if (module_ != nullptr) {
      reinterpret_cast<PFN_Term>(qg::FindSymbol(module_, "ExternalTermLibrary"))();
      qg::FreeModule(module_);
    }
    if (host_ != nullptr) qg::FreeModule(host_);
  }

  qg::ModuleHandle host_ = nullptr;
  qg::ModuleHandle module_ = nullptr;
  qghost::HostRuntime* runtime_ = nullptr;
  qghost::ExternalExecution* external_ = nullptr;
  PFN_Execution execution_ = nullptr;
  PFN_Proxy proxy_ = nullptr;
};

TEST_F(ModuleTest, OpenBindsTheHostOpensTheSessionAndHandsOutTheRunner) {
  LoadHost("qg300vm");
  LoadModule();
  EXPECT_EQ(proxy_(1), nullptr);  // no runner before the first open
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(external_->Log(), std::vector<std::string>{"init"});
  const qg::ExternalSessionRecord seen = external_->SeenSession();
  EXPECT_EQ(seen.nVersion, 16);
  EXPECT_EQ(seen.nTwenty, 20);
  EXPECT_EQ(seen.nZero, 0);
  EXPECT_NE(seen.pWork, nullptr);
  EXPECT_NE(seen.pBlock, nullptr);
  EXPECT_EQ(external_->SeenName(), u"QGTESTEXE");
  const qg::ExternalOptionsRecord options = external_->SeenOptions();
  const int32_t expected[6] = {16, 44, 1, 1, 0, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(options.anField[i], expected[i]) << i;

  auto* runner = static_cast<qg::ITestFactory*>(proxy_(1));
  ASSERT_NE(runner, nullptr);
  EXPECT_EQ(proxy_(1), runner);
  EXPECT_EQ(runner->Release(), 2);  // the module's and the second proxy's
  EXPECT_EQ(runner->Release(), 1);
  auto* a = static_cast<qg::IZQLibrary*>(proxy_(60));
  auto* b = static_cast<qg::IZQLibrary*>(proxy_(60));
  ASSERT_NE(a, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->nGetModule(), 54);
  a->vRelease();
  b->vRelease();
  EXPECT_EQ(proxy_(7), nullptr);

  // A runner the host still holds outlives termination.
  auto* held = static_cast<qg::ITestFactory*>(proxy_(1));
  EXPECT_EQ(execution_(qg::kExecClose, 0), 1);
  EXPECT_EQ(external_->Log(), (std::vector<std::string>{"init", "term own"}));
  EXPECT_FALSE(external_->bOpen());
  EXPECT_EQ(proxy_(1), nullptr);
  EXPECT_EQ(held->Release(), 0);
}

TEST_F(ModuleTest, RequiredEntriesAndTheSessionDecideTheOpen) {
  const struct {
    const char* host;
    int32_t init_answer;
    intptr_t opens;
    std::vector<std::string> log;
  } cases[] = {
      {"qg300vm_noterm", 0, 0, {}},
      {"qg300vm_nopush", 0, 1, {"init"}},
      {"qg300vm", 5, 0, {"init"}},
  };
  for (const auto& c : cases) {
    LoadHost(c.host);
    external_->SetInitAnswer(c.init_answer);
    LoadModule();
    EXPECT_EQ(Open(), c.opens) << c.host;
    EXPECT_EQ(external_->Log(), c.log) << c.host;
    // A failed open leaves no runner behind.
    void* runner = proxy_(1);
    EXPECT_EQ(runner != nullptr, c.opens == 1) << c.host;
    if (runner != nullptr) static_cast<qg::ITestFactory*>(runner)->Release();
    if (c.opens == 1) execution_(qg::kExecClose, 0);
    TearDown();
    module_ = nullptr;
    host_ = nullptr;
  }
}

TEST_F(ModuleTest, AnOpenSessionIsClosedAtUnloadOnlyWhileTheHostIsLoaded) {
  LoadHost("qg300vm");
  LoadModule();
  ASSERT_EQ(Open(), 1);
  qg::FreeModule(module_);  // no close: the holder ends the session
  module_ = nullptr;
  EXPECT_EQ(external_->Log(), (std::vector<std::string>{"init", "term own"}));

  // With the host gone first, unloading must not call into it.
  LoadModule();
  ASSERT_EQ(Open(), 1);
  qg::FreeModule(host_);
  host_ = nullptr;
  qg::FreeModule(module_);
  module_ = nullptr;
}

class SessionTest : public ::testing::Test {
 protected:
  void Bind(const char* host_name) {
    host_ = qg::LoadModule((LibDir() + "/" + host_name + ".so").c_str());
    ASSERT_NE(host_, nullptr);
    external_ = reinterpret_cast<qghost::ExternalExecution* (*)()>(
        qg::FindSymbol(host_, "qghost_External"))();
    external_->Reset();
  }
  void TearDown() override {
    Session().Ferme();
    Session().pfnAlloue = nullptr;
    Entrees() = EntreesExecutionExterne();
    if (host_ != nullptr) qg::FreeModule(host_);
  }
  qg::ModuleHandle host_ = nullptr;
  qghost::ExternalExecution* external_ = nullptr;
};

TEST_F(SessionTest, CallsWithValuesPushThenCallOnTheOwnSession) {
  Bind("qg300vm");
  ASSERT_EQ(bLieEntreesExecutionExterne(host_), 0);
  ASSERT_EQ(Session().nOuvre(), 0);
  EXPECT_EQ(Session().nGetMode(), 1);
  Session().AppelleAvecValeurs();
  const std::vector<std::string> expected = {"init", "push 100 2 own", "push 0 2 own",
                                             "call 1 289 1 2 own"};
  EXPECT_EQ(external_->Log(), expected);
  Session().Ferme();
  EXPECT_EQ(Session().nGetMode(), 0);
  EXPECT_EQ(Session().pGetRecord(), nullptr);
}

TEST_F(SessionTest, MissingOptionalEntriesAnswerNineAndMissingRequiredOnesStopTheBinding) {
  Bind("qg300vm_nopush");
  ASSERT_EQ(bLieEntreesExecutionExterne(host_), 0);
  ASSERT_EQ(Session().nOuvre(), 0);
  const int32_t value = 1;
  EXPECT_EQ(Session().nEmpile(nullptr, &value, 2), kNonLie);
  EXPECT_EQ(Session().nAppelle(nullptr, 1, 289, 1, 2), 0);
  Session().Ferme();
  qg::FreeModule(host_);
  host_ = nullptr;

  Bind("qg300vm_noterm");
  EXPECT_EQ(bLieEntreesExecutionExterne(host_), 1);
  EXPECT_EQ(Session().nEmpile(nullptr, &value, 2), kNonLie);
  EXPECT_EQ(Session().nAppelle(nullptr, 1, 289, 1, 2), kNonLie);
  EXPECT_EQ(bLieEntreesExecutionExterne(nullptr), 1);
}

TEST_F(SessionTest, RefusedOrUnallocatedSessionsLeaveNothingOpen) {
  Bind("qg300vm");
  ASSERT_EQ(bLieEntreesExecutionExterne(host_), 0);
  external_->SetInitAnswer(5);
  EXPECT_EQ(Session().nOuvre(), 5);
  EXPECT_EQ(Session().nGetMode(), 0);
  EXPECT_EQ(Session().pGetRecord(), nullptr);
  external_->SetInitAnswer(0);
  // The third allocation fails: the first two are freed (the leak check
  // of the sanitiser build sees any left).
  static int calls;
  calls = 0;
  Session().pfnAlloue = [](size_t n) -> void* { return ++calls == 3 ? nullptr : std::malloc(n); };
  EXPECT_EQ(Session().nOuvre(), kPasDeMemoire);
  EXPECT_EQ(Session().nGetMode(), 0);
  EXPECT_EQ(external_->Log(), std::vector<std::string>{"init"});
}

}  // namespace

TEST_F(ModuleTest, ComponentDescriptionAnswersItsWordsAndTexts) {
  LoadHost("qg300vm");
  LoadModule();
  using PFN_Info = intptr_t (*)(int32_t, int32_t);
  auto info = reinterpret_cast<PFN_Info>(qg::FindSymbol(module_, "InfoComposante"));
  ASSERT_NE(info, nullptr);
  const intptr_t words[][2] = {{0, 18}, {1, 54}, {2, 126}, {3, 1}, {32, 2}, {5, 0}, {34, 0}};
  for (const auto& w : words) EXPECT_EQ(info(static_cast<int32_t>(w[0]), 0), w[1]) << w[0];
  for (int32_t i = 0; i < 3; ++i) {
    for (int32_t kind : {4, 27}) {
      const auto* text = reinterpret_cast<const char16_t*>(info(kind, i));
      ASSERT_NE(text, nullptr) << kind << " " << i;
      EXPECT_EQ(*text, u'\0');
    }
  }
  EXPECT_EQ(info(4, 3), 0);
  EXPECT_NE(info(27, 3), 0);
  EXPECT_EQ(info(27, 4), 0);
  EXPECT_NE(info(33, 0), 0);
}

TEST_F(ModuleTest, RunnerOperationsAnswerThroughTheExportedRunner) {
  LoadHost("qg300vm");
  LoadModule();
  ASSERT_EQ(Open(), 1);
  auto* runner = static_cast<qg::ITestFactory*>(proxy_(1));
  ASSERT_NE(runner, nullptr);
  // No run parameters: playback is the default state, nothing else is asked.
  EXPECT_EQ(runner->bLectureDemandee(), 1);
  EXPECT_EQ(runner->bEnregistrementDemande(), 0);
  EXPECT_EQ(runner->bEnregistrementSansListeDemande(), 0);
  EXPECT_EQ(runner->bEnregistrementAvecListeDemande(), 0);
  EXPECT_EQ(runner->piScenarioDiffere(), nullptr);
  EXPECT_EQ(runner->bExecuteDiffere(nullptr, nullptr), 0);  // no list loaded
  EXPECT_EQ(runner->bFinExecuteDiffere(nullptr), 1);
  EXPECT_EQ(runner->nDemarrageApplication(nullptr, nullptr), 0);
  runner->ChargeTableNoms(nullptr, 0);
  runner->SignaleFinInattendue();
  runner->SignaleFermetureFenetre(nullptr);
  EXPECT_EQ(runner->Release(), 1);
  EXPECT_EQ(execution_(qg::kExecClose, 0), 1);
}
