// Loads the stand-in host and the deliverables as the real host does
// (dlopen, RTLD_LOCAL) and drives them through their exports.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/cli/tour.h"
#include "host/core/host_runtime.h"
#include "support/frame/execution_protocol.h"
#include "support/platform/module.h"

namespace qghost {
namespace {

using PFN_Execution = intptr_t (*)(int32_t, intptr_t);
using PFN_Bind = int32_t (*)(void*, int32_t, int32_t);

std::string LibDir() {
  const char* build = std::getenv("QG_BUILD_DIR");
  return build != nullptr ? std::string(build) + "/lib" : DefaultLibDir();
}

std::set<std::string> DefinedDynamicSymbols(const std::string& path) {
  std::set<std::string> names;
  std::string command = "nm -D --defined-only '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof(line), pipe) != nullptr) {
    std::istringstream in(line);
    std::string address, kind, name;
    if (in >> address >> kind >> name) names.insert(name);
  }
  pclose(pipe);
  return names;
}

TEST(ModulesTest, EachDeliverableExportsExactlyItsColumn) {
  const std::set<std::string> frame = {"Execution", "CommandeComposante"};
  auto with = [](std::set<std::string> base, std::initializer_list<const char*> more) {
    for (const char* name : more) base.insert(name);
    return base;
  };
  const struct {
    const char* module;
    std::set<std::string> exports;
  } cases[] = {
      {"qg300maria", with(frame, {"CheckVersion", "bInitZQConvFromVM", "bInitZQCalcFromVM",
                                  "bExternalInitLibrary", "ExternalTermLibrary",
                                  "piQueryInterface", "bDLLCompatible"})},
      // The P/Invoke entry points of the managed API.
      {"qg300net", with(frame, {"pQueryProxy", "gpiGetManager", "EXT_VMTerm",
                                 "VR_Attache", "VR_ParamNew", "VR_ParamFree",
                                 "VR_ParamVide", "VR_ParamCount", "VR_ParamAdd",
                                 "VR_ParamSetType", "VR_ParamGet", "VR_ValeurNew",
                                 "VR_ValeurFree", "VR_ValeurClone", "VR_ValeurSet",
                                 "VR_ValeurGet", "VR_ValeurType",
                                 "VR_ValeurDepuisParam", "VR_ParamAddValeur",
                                 "VR_Operateur", "VR_ExecuteQGL", "VR_CreeContexte",
                                 "VR_HandleContexte", "VR_ContexteGlobal",
                                 "VR_HandleClasse", "VR_CreeObjet",
                                 "VR_DetruitObjet", "VR_MethodeInstance",
                                 "VR_MethodeStatique", "VR_Membre", "VR_Procedure",
                                 "VR_Delegue", "VR_InfoInstance", "VR_Termine",
                                 "VR_Rien"})},
      {"qg300web", with(frame, {"CheckVersion", "bInitZQConvFromVM", "bInitLibrary",
                                "TermLibrary", "pQueryProxy", "DeclareProxy"})},
      {"qg300test", with(frame, {"CheckVersion", "bInitZQConvFromVM", "bInitZQCalcFromVM",
                                 "bExternalInitLibrary", "ExternalTermLibrary", "pQueryProxy",
                                 "InfoComposante", "MouseHook"})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DefinedDynamicSymbols(LibDir() + "/" + c.module + ".so"), c.exports) << c.module;
  }
}

class LoadedModules : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = qg::LoadModule((LibDir() + "/qg300vm.so").c_str());
    ASSERT_NE(host_, nullptr);
    runtime_ = reinterpret_cast<HostRuntime* (*)()>(qg::FindSymbol(host_, "qghost_Runtime"))();
    runtime_->Reset();
  }
  void TearDown() override {
    for (qg::ModuleHandle m : loaded_) qg::FreeModule(m);
    if (runtime_ != nullptr) {
      EXPECT_EQ(runtime_->Strings().nLiveStrings(), 0);
      EXPECT_EQ(runtime_->Values().nLiveDecimals(), 0);
    }
    if (host_ != nullptr) qg::FreeModule(host_);
  }
  qg::ModuleHandle Load(const char* name) {
    qg::ModuleHandle m = qg::LoadModule((LibDir() + "/" + name + ".so").c_str());
    if (m != nullptr) loaded_.push_back(m);
    return m;
  }
  intptr_t Open(PFN_Execution execution) {
    qg::ExecutionOpenRecord record{12, reinterpret_cast<intptr_t>(host_), 0, 0,
                                   runtime_->RuntimeObject()};
    return execution(qg::kExecOpen, reinterpret_cast<intptr_t>(&record));
  }

  qg::ModuleHandle host_ = nullptr;
  HostRuntime* runtime_ = nullptr;
  std::vector<qg::ModuleHandle> loaded_;
};

TEST_F(LoadedModules, TwoDeliverablesKeepTheirOwnState) {
  qg::ModuleHandle maria = Load("qg300maria");
  qg::ModuleHandle test = Load("qg300test");
  ASSERT_NE(maria, nullptr);
  ASSERT_NE(test, nullptr);
  auto maria_exec = reinterpret_cast<PFN_Execution>(qg::FindSymbol(maria, "Execution"));
  auto test_exec = reinterpret_cast<PFN_Execution>(qg::FindSymbol(test, "Execution"));
  ASSERT_NE(maria_exec, test_exec);
  auto maria_cmd = reinterpret_cast<PFN_Execution>(qg::FindSymbol(maria, "CommandeComposante"));
  auto test_cmd = reinterpret_cast<PFN_Execution>(qg::FindSymbol(test, "CommandeComposante"));

  // Each module shakes hands on its own first open.
  ASSERT_EQ(Open(maria_exec), 1);
  ASSERT_EQ(Open(test_exec), 1);
  EXPECT_EQ(runtime_->ItemsAsked().size(), 32u);
  runtime_->ClearLog();
  ASSERT_EQ(Open(maria_exec), 1);
  EXPECT_TRUE(runtime_->ItemsAsked().empty());

  // A callback installed in one module is not seen by the other.
  runtime_->SetMessageMode(MessageMode::kText, u"host text");
  EXPECT_EQ(maria_cmd(qg::kCmdSetMessageCallback,
                      reinterpret_cast<intptr_t>(runtime_->MessageCallback())),
            1);
  char16_t buffer[64];
  qg::MessageTextRequest request{sizeof(request), 7, buffer, 64, 0};
  EXPECT_EQ(maria_cmd(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 9);
  EXPECT_EQ(std::u16string(buffer), u"host text");
  EXPECT_EQ(test_cmd(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 0);

  // Bindings are per module as well: the test runner meets a host lacking
  // a name, the driver the full one.
  qg::ModuleHandle lacking = Load("qg300vm_lack");
  ASSERT_NE(lacking, nullptr);
  auto maria_calc = reinterpret_cast<PFN_Bind>(qg::FindSymbol(maria, "bInitZQCalcFromVM"));
  auto test_calc = reinterpret_cast<PFN_Bind>(qg::FindSymbol(test, "bInitZQCalcFromVM"));
  auto test_conv = reinterpret_cast<PFN_Bind>(qg::FindSymbol(test, "bInitZQConvFromVM"));
  EXPECT_EQ(maria_calc(host_, 2, 2), 1);
  EXPECT_EQ(test_calc(lacking, 2, 2), 0);
  EXPECT_EQ(test_conv(lacking, 2, 2), 0);
  EXPECT_EQ(test_conv(host_, 2, 2), 1);

  // Closing the driver fully leaves the test runner open.
  EXPECT_EQ(maria_exec(qg::kExecClose, 0), 1);
  EXPECT_EQ(maria_exec(qg::kExecClose, 0), 1);
  runtime_->ClearLog();
  ASSERT_EQ(Open(maria_exec), 1);
  EXPECT_EQ(runtime_->ItemsAsked().size(), 16u);  // the driver starts again
  ASSERT_EQ(Open(test_exec), 1);
  EXPECT_EQ(runtime_->ItemsAsked().size(), 16u);  // the runner was still open
  for (PFN_Execution e : {maria_exec, test_exec, test_exec}) e(qg::kExecClose, 0);
}

TEST_F(LoadedModules, MessageTextsComeFromEachModulesCatalogue) {
  qg::ModuleHandle maria = Load("qg300maria");
  qg::ModuleHandle test = Load("qg300test");
  ASSERT_NE(maria, nullptr);
  ASSERT_NE(test, nullptr);
  auto maria_cmd = reinterpret_cast<PFN_Execution>(qg::FindSymbol(maria, "CommandeComposante"));
  auto test_cmd = reinterpret_cast<PFN_Execution>(qg::FindSymbol(test, "CommandeComposante"));
  // A driver message is in the driver's catalogue only.
  EXPECT_GE(maria_cmd(qg::kCmdMessagePacking, 760101), 0);
  EXPECT_EQ(test_cmd(qg::kCmdMessagePacking, 760101), -1);
  EXPECT_GE(test_cmd(qg::kCmdMessagePacking, 540000), 0);

  char16_t buffer[256];
  qg::MessageTextRequest request{sizeof(request), 760101, buffer, 256, -1};
  intptr_t length = maria_cmd(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request));
  EXPECT_GT(length, 0);
  EXPECT_EQ(request.nResult, length);
  EXPECT_EQ(std::u16string(buffer).size(), static_cast<size_t>(length));
  EXPECT_EQ(test_cmd(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 0);

  // The host's callback, once installed, comes first.
  runtime_->SetMessageMode(MessageMode::kText, u"from the host");
  maria_cmd(qg::kCmdSetMessageCallback, reinterpret_cast<intptr_t>(runtime_->MessageCallback()));
  EXPECT_EQ(maria_cmd(qg::kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 13);
  EXPECT_EQ(std::u16string(buffer), u"from the host");
}

TEST_F(LoadedModules, CountedInitPairs) {
  using PFN_Init = int32_t (*)(void*);
  using PFN_Term = int32_t (*)();
  for (const char* name : {"qg300maria", "qg300test"}) {
    SCOPED_TRACE(name);
    qg::ModuleHandle m = Load(name);
    ASSERT_NE(m, nullptr);
    auto init = reinterpret_cast<PFN_Init>(qg::FindSymbol(m, "bExternalInitLibrary"));
    auto term = reinterpret_cast<PFN_Term>(qg::FindSymbol(m, "ExternalTermLibrary"));
    auto exec = reinterpret_cast<PFN_Execution>(qg::FindSymbol(m, "Execution"));
    EXPECT_EQ(init(m), 1);
    EXPECT_EQ(init(m), 1);
    ASSERT_EQ(Open(exec), 1);
    term();
    // Still there after the first term: a further open needs no handshake.
    runtime_->ClearLog();
    ASSERT_EQ(Open(exec), 1);
    EXPECT_TRUE(runtime_->ItemsAsked().empty());
    EXPECT_EQ(term(), 1);
    // The last term deleted the execution object and forgot its opens: the
    // next open starts over and one close ends it.
    runtime_->ClearLog();
    ASSERT_EQ(Open(exec), 1);
    EXPECT_EQ(runtime_->ItemsAsked().size(), 16u);
    EXPECT_EQ(exec(qg::kExecClose, 0), 1);
    runtime_->ClearLog();
    ASSERT_EQ(Open(exec), 1);
    EXPECT_EQ(runtime_->ItemsAsked().size(), 16u);
    EXPECT_EQ(exec(qg::kExecClose, 0), 1);
  }
}

TEST(TourTest, ToursEveryDeliverable) {
  std::ostringstream out;
  std::vector<std::string> modules(std::begin(kDeliverables), std::end(kDeliverables));
  TourResult result = RunTour(LibDir(), modules, out);
  EXPECT_EQ(result.nFailures, 0) << out.str();
  EXPECT_GT(result.nSteps, 50);
  for (const std::string& m : modules) {
    EXPECT_NE(out.str().find(m + " "), std::string::npos) << m;
  }
  std::ostringstream missing;
  result = RunTour(LibDir(), {"qg300none"}, missing);
  EXPECT_EQ(result.nFailures, 1);
  // The failure names the path and the error's text.
  EXPECT_NE(missing.str().find("error 126 loading " + LibDir() + "/qg300none.so: "),
            std::string::npos)
      << missing.str();
}

}  // namespace
}  // namespace qghost

namespace qghost {
namespace {

TEST(MariaExports, QueryInterfaceGivesACountedManagerAndCompatibilityAnswers) {
  qg::ModuleHandle maria = qg::LoadModule((LibDir() + "/qg300maria.so").c_str());
  ASSERT_NE(maria, nullptr);
  using PFN_Query = void* (*)();
  using PFN_Compatible = int32_t (*)(int32_t, uint32_t, int32_t*);
  auto query = reinterpret_cast<PFN_Query>(qg::FindSymbol(maria, "piQueryInterface"));
  auto compatible = reinterpret_cast<PFN_Compatible>(qg::FindSymbol(maria, "bDLLCompatible"));
  ASSERT_NE(query, nullptr);
  ASSERT_NE(compatible, nullptr);
  // The host's view: slot 0 the interface version, 5 AddRef, 6 Release.
  void* manager = query();
  ASSERT_NE(manager, nullptr);
  using PFN_Slot = int32_t (*)(void*);
  auto slot = [manager](int n) { return reinterpret_cast<PFN_Slot>((*static_cast<void***>(manager))[n]); };
  EXPECT_EQ(22, slot(0)(manager));
  EXPECT_EQ(2, slot(5)(manager));  // the caller already held one
  EXPECT_EQ(1, slot(6)(manager));
  EXPECT_EQ(0, slot(6)(manager));  // destroyed
  struct Case {
    int32_t kind;
    uint32_t version;
    int32_t result;
    int32_t required;
  };
  for (const Case& c : {Case{7, 43, 1, 43}, Case{28, 42, 0, 43}, Case{8, 100, 0, -5},
                        Case{7, 0xFFFFFFFFu, 1, 43}}) {
    int32_t required = -5;
    EXPECT_EQ(c.result, compatible(c.kind, c.version, &required)) << c.kind;
    EXPECT_EQ(c.required, required) << c.kind;
  }
}

}  // namespace
}  // namespace qghost

#include <unistd.h>

#include <fstream>

namespace qghost {
namespace {

// The counted init pair on a private copy of the library, so that its
// counters start at 0 whatever the other tests did.
TEST(MariaExports, CountedInitAndTermTerminateOnlyOnTheLastTerm) {
  std::string copy = ::testing::TempDir() + "/qg300maria_counted_" + std::to_string(getpid()) +
                     ".so";
  {
    std::ifstream in(LibDir() + "/qg300maria.so", std::ios::binary);
    std::ofstream out(copy, std::ios::binary);
    out << in.rdbuf();
  }
  qg::ModuleHandle maria = qg::LoadModule(copy.c_str());
  ASSERT_NE(maria, nullptr);
  using PFN_Init = int32_t (*)(void*);
  using PFN_Term = int32_t (*)();
  auto init = reinterpret_cast<PFN_Init>(qg::FindSymbol(maria, "bExternalInitLibrary"));
  auto term = reinterpret_cast<PFN_Term>(qg::FindSymbol(maria, "ExternalTermLibrary"));
  ASSERT_NE(init, nullptr);
  ASSERT_NE(term, nullptr);
  EXPECT_EQ(1, init(nullptr));
  EXPECT_EQ(1, init(nullptr));
  EXPECT_NE(1, term());  // not the last
  EXPECT_EQ(1, term());  // the last one terminates
  // A term without init leaves the counter below 0; the next init takes
  // the first-initialisation path and a term brings it back.
  EXPECT_NE(1, term());
  EXPECT_EQ(1, init(nullptr));
  EXPECT_EQ(1, init(nullptr));
  EXPECT_EQ(1, term());
  std::remove(copy.c_str());
}

}  // namespace
}  // namespace qghost
