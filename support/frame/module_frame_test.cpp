#include "support/frame/module_frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/core/host_runtime.h"
#include "support/frame/module_services.h"

namespace qg {
namespace {

// The host module as the frame sees it: symbols come from the in-process
// stand-in host through the frame's lookup hook, and every lookup counts.
struct FakeHostModule {
  int lookups = 0;
  bool has_execution = true;
  std::set<std::string> missing;
} g_module;

int32_t DummyConversion(const void*, int32_t, void*, int32_t, int32_t, intptr_t) { return 0; }
void DummyFin(void*, int32_t) {}
int32_t DummyCalc(const void*, int32_t, const void*, int32_t, void*, intptr_t, intptr_t) {
  return 0;
}

void* FakeFind(ModuleHandle, const char* name) {
  ++g_module.lookups;
  std::string n(name);
  if (g_module.missing.count(n) != 0) return nullptr;
  if (n == "Execution") {
    return g_module.has_execution ? reinterpret_cast<void*>(&qghost::HostExecution) : nullptr;
  }
  if (n == kConversionEntryName) return reinterpret_cast<void*>(&DummyConversion);
  if (n == kFinConversionEntryName) return reinterpret_cast<void*>(&DummyFin);
  return reinterpret_cast<void*>(&DummyCalc);
}

// Execution object that logs its operations.
std::vector<std::string> g_ops;
bool g_init_result = true;
bool g_query_result = true;
bool g_throw_on_open = false;
bool g_throw_on_init = false;

class RecordingExecution : public CBaseExecutionDLL {
 public:
  bool vbInitModule() override {
    g_ops.push_back("init");
    if (g_throw_on_init) throw std::runtime_error("init");
    return g_init_result;
  }
  void vOpen(intptr_t first, intptr_t second) override {
    if (g_throw_on_open) throw std::runtime_error("open");
    g_ops.push_back("open " + std::to_string(first) + " " + std::to_string(second));
  }
  void vTerminate() override { g_ops.push_back("terminate"); }
  void vNotify4879() override { g_ops.push_back("4879"); }
  void vNotify5684() override { g_ops.push_back("5684"); }
  void vNotify5864() override { g_ops.push_back("5864"); }
  bool vbQuery4963(intptr_t) override { return g_query_result; }
  bool vbQuery5238(intptr_t) override { return g_query_result; }
  ~RecordingExecution() override { g_ops.push_back("destroyed"); }
};

CBaseExecutionDLL* NewRecording() { return new RecordingExecution(); }

qghost::HostRuntime& Host() { return qghost::Runtime(); }

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFrameForTesting();
    Host().Reset();
    g_module = FakeHostModule();
    Frame().pfnFindSymbol = &FakeFind;
    g_ops.clear();
    g_init_result = true;
    g_query_result = true;
    g_throw_on_open = false;
    g_throw_on_init = false;
  }
  void TearDown() override { ResetFrameForTesting(); }

  intptr_t Open(intptr_t format = 12, intptr_t runtime = 0x5150, intptr_t first = 0,
                intptr_t second = 0) {
    record_ = ExecutionOpenRecord{format, reinterpret_cast<intptr_t>(&g_module), first, second,
                                  runtime};
    return FrameExecution(kExecOpen, reinterpret_cast<intptr_t>(&record_), &NewRecording);
  }
  intptr_t Close() { return FrameExecution(kExecClose, 0, &NewRecording); }
  intptr_t Exec(int32_t code, intptr_t argument = 0) {
    return FrameExecution(code, argument, &NewRecording);
  }

  ExecutionOpenRecord record_{};
};

TEST_F(FrameTest, AsksItemsInOrderAndItem7OnlyWithoutRuntimeObject) {
  const std::vector<int32_t> without7 = {22, 9, 10, 12, 13, 21, 15, 20, 14, 17, 1, 5, 3, 4, 8, 23};
  const std::vector<int32_t> with7 = {22, 9, 10, 12, 13, 21, 15, 20, 14, 17, 7, 1, 5, 3, 4, 8, 23};
  struct Case {
    intptr_t format;
    intptr_t word4;
    bool asks7;
  } cases[] = {
      {12, 0x5150, false},  // runtime object in the record
      {13, 0x5150, false},
      {11, 0x5150, true},   // word 4 not read below format 12
      {12, 0, true},        // word 4 null
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " word4 " << c.word4);
    ResetFrameForTesting();
    Frame().pfnFindSymbol = &FakeFind;
    Host().ClearLog();
    ASSERT_EQ(Open(c.format, c.word4), 1);
    EXPECT_EQ(Host().ItemsAsked(), c.asks7 ? with7 : without7);
    EXPECT_EQ(Services().nRuntimeObject, c.asks7 ? Host().RuntimeObject() : c.word4);
  }
}

TEST_F(FrameTest, KeepsHostAnswers) {
  Host().SetItem(1, 3);
  Host().SetItem(4, 0x11);
  ASSERT_EQ(Open(), 1);
  const ModuleServices& s = Services();
  EXPECT_EQ(s.pfnHostExecution, &qghost::HostExecution);
  EXPECT_EQ(s.piValueObjects, static_cast<IGlobalFactory*>(&Host().Values()));
  EXPECT_EQ(s.piStringMemory, static_cast<IStringMemory*>(&Host().Strings()));
  // A version-5 locale interface is used as it is.
  EXPECT_EQ(s.piInfoLocale, static_cast<IInfoLocale*>(&Host().Locale()));
  EXPECT_EQ(s.nExecutionKind, 3);
  EXPECT_EQ(s.nFlags, 0x11);
  EXPECT_EQ(Frame().pclExecution->hGetHostModule(), &g_module);
}

TEST_F(FrameTest, FileFormatVersionIsAtLeast30) {
  struct Case {
    intptr_t answer;
    int32_t kept;
  } cases[] = {{31, 31}, {30, 30}, {29, 30}, {0, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    ResetFrameForTesting();
    Frame().pfnFindSymbol = &FakeFind;
    Host().SetFileFormatVersion(static_cast<int32_t>(c.answer));
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(Services().nFileFormatVersion, c.kept);
  }
}

TEST_F(FrameTest, OpensCountAndLastCloseTerminates) {
  ASSERT_EQ(Open(12, 0x5150, 7, 8), 1);
  ASSERT_EQ(Open(12, 0x5150, 9, 10), 1);
  EXPECT_EQ(Frame().nOpenCount, 2);
  // The second open neither shakes hands again nor initialises.
  EXPECT_EQ(Host().ItemsAsked().size(), 16u);
  EXPECT_EQ(g_ops, (std::vector<std::string>{"init", "open 7 8", "open 9 10"}));

  EXPECT_EQ(Close(), 1);
  EXPECT_NE(Frame().pclExecution, nullptr);
  EXPECT_EQ(g_ops.size(), 3u);

  EXPECT_EQ(Close(), 1);
  EXPECT_EQ(Frame().pclExecution, nullptr);
  EXPECT_EQ(g_ops.back(), "destroyed");
  EXPECT_EQ(g_ops[g_ops.size() - 2], "terminate");

  size_t ops = g_ops.size();
  EXPECT_EQ(Close(), 1);
  EXPECT_EQ(g_ops.size(), ops);
  EXPECT_EQ(Frame().nOpenCount, 0);
}

TEST_F(FrameTest, CloseWithCounterAtZeroTerminatesAnExistingObject) {
  Frame().pclExecution = new RecordingExecution();
  EXPECT_EQ(Close(), 1);
  EXPECT_EQ(g_ops, (std::vector<std::string>{"terminate", "destroyed"}));
}

TEST_F(FrameTest, TeardownDeletesWithoutTerminationAndForgetsOpens) {
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(Open(), 1);
  TermExecutionObject();
  EXPECT_EQ(g_ops, (std::vector<std::string>{"init", "open 0 0", "open 0 0", "destroyed"}));
  EXPECT_EQ(Frame().nOpenCount, 0);
  // A new object after the teardown ends with its own single close.
  g_ops.clear();
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(Close(), 1);
  EXPECT_EQ(g_ops, (std::vector<std::string>{"init", "open 0 0", "terminate", "destroyed"}));
  TermExecutionObject();  // nothing left: no effect
}

TEST_F(FrameTest, FailedFirstOpenLeavesNothingAndRetries) {
  // A host without "Execution".
  g_module.has_execution = false;
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(Frame().pclExecution, nullptr);
  EXPECT_EQ(Frame().nOpenCount, 0);
  EXPECT_EQ(g_ops, (std::vector<std::string>{"destroyed"}));

  // Module initialisation refusing: destroyed without termination.
  g_module.has_execution = true;
  g_ops.clear();
  g_init_result = false;
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(Frame().pclExecution, nullptr);
  EXPECT_EQ(Frame().nOpenCount, 0);
  EXPECT_EQ(g_ops, (std::vector<std::string>{"init", "destroyed"}));

  // The next open starts from scratch: handshake and initialisation again.
  g_ops.clear();
  g_init_result = true;
  Host().ClearLog();
  EXPECT_EQ(Open(), 1);
  EXPECT_EQ(Host().ItemsAsked().size(), 16u);
  EXPECT_EQ(g_ops, (std::vector<std::string>{"init", "open 0 0"}));
  EXPECT_EQ(Frame().nOpenCount, 1);
}

TEST_F(FrameTest, NullHostModuleSkipsHandshake) {
  ExecutionOpenRecord record{12, 0, 1, 2, 0};
  EXPECT_EQ(Exec(kExecOpen, reinterpret_cast<intptr_t>(&record)), 1);
  EXPECT_TRUE(Host().ItemsAsked().empty());
  EXPECT_EQ(g_module.lookups, 0);
  EXPECT_EQ(g_ops, (std::vector<std::string>{"init", "open 1 2"}));
  EXPECT_EQ(Exec(kExecOpen, 0), 0);  // no record
}

TEST_F(FrameTest, Version4LocaleIsWrapped) {
  Host().UseLocaleVersion(4);
  Host().LocaleV4().SetLanguagePair(12, 1);
  ASSERT_EQ(Open(), 1);
  IInfoLocale* locale = Services().piInfoLocale;
  ASSERT_NE(locale, static_cast<IInfoLocale*>(&Host().LocaleV4()));
  EXPECT_EQ(locale->nGetVersion(), 4);
  LanguagePair pair = locale->GetLanguagePair();
  EXPECT_EQ(pair.nLanguage, 12);
  EXPECT_EQ(pair.nVariant, 2);
  EXPECT_EQ(locale->piGetCollation(), locale);
  EXPECT_EQ(locale->nGetCodePage(), 1252);
  // Texts go to the inner interface.
  EXPECT_EQ(locale->nCompare(kLocaleUserDefault, kCompareIgnoreCase, u"abc", 3, u"ABC", 3), 0);
  char16_t mapped[8] = {};
  EXPECT_EQ(locale->nMapText(kLocaleUserDefault, kCompareIgnoreCase, u"AbC", -1, mapped, 8),
            Host().LocaleV4().nMapText(kLocaleUserDefault, kCompareIgnoreCase, u"AbC", -1,
                                       mapped, 8));
  EXPECT_EQ(Host().LocaleV4().nCalls(7), 1);
  EXPECT_EQ(Host().LocaleV4().nCalls(13), 2);
  // The version-4 interface's operation 21 is never reached.
  EXPECT_EQ(Host().LocaleV4().nCalls(21), 0);
  EXPECT_EQ(Host().LocaleV4().nFaults(), 0);
  int op4 = Host().LocaleV4().nCalls(4);
  int op15 = Host().LocaleV4().nCalls(15);
  locale->vOp15(0, 0);  // forwards to the inner operation 4
  EXPECT_EQ(Host().LocaleV4().nCalls(4), op4 + 1);
  EXPECT_EQ(Host().LocaleV4().nCalls(15), op15);
}

TEST_F(FrameTest, WrapperFollowsTheInterfaceOfEachHandshake) {
  Host().UseLocaleVersion(4);
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(Close(), 1);

  // The host reopens the module with another version-4 interface; the old
  // one must not be reached any more.
  qghost::InfoLocaleV4 second;
  second.SetLanguagePair(10, 1);
  Host().SetItem(kItemInfoLocale, reinterpret_cast<intptr_t>(static_cast<IInfoLocale*>(&second)));
  ASSERT_EQ(Open(), 1);
  int first_calls = Host().LocaleV4().nCalls(19);
  EXPECT_EQ(Services().piInfoLocale->GetLanguagePair().nLanguage, 10);
  EXPECT_EQ(second.nCalls(19), 1);
  EXPECT_EQ(Host().LocaleV4().nCalls(19), first_calls);
}

TEST_F(FrameTest, SetLocaleReplacesAndWrapsVersion4) {
  ASSERT_EQ(Open(), 1);
  IInfoLocale* v4 = &Host().LocaleV4();
  EXPECT_EQ(Exec(kExecSetLocale, reinterpret_cast<intptr_t>(v4)), 1);
  IInfoLocale* kept = Services().piInfoLocale;
  EXPECT_NE(kept, v4);
  EXPECT_EQ(kept->nGetVersion(), 4);
  // Handing the wrapper back keeps it; it must not wrap itself.
  EXPECT_EQ(Exec(kExecSetLocale, reinterpret_cast<intptr_t>(kept)), 1);
  EXPECT_EQ(Services().piInfoLocale, kept);
  EXPECT_EQ(kept->GetLanguagePair().nVariant, 2);

  IInfoLocale* v5 = &Host().Locale();
  EXPECT_EQ(Exec(kExecSetLocale, reinterpret_cast<intptr_t>(v5)), 1);
  EXPECT_EQ(Services().piInfoLocale, v5);
}

TEST_F(FrameTest, NotificationsAndQueries) {
  // No execution object yet.
  EXPECT_EQ(Exec(kExecNotify4879), 1);
  EXPECT_EQ(Exec(kExecNotify5684), 1);
  EXPECT_EQ(Exec(kExecNotify5864), 1);
  EXPECT_EQ(Exec(kExecQuery5238), 0);
  EXPECT_EQ(Exec(kExecQuery4963), 1);  // no value-object service kept
  EXPECT_TRUE(g_ops.empty());

  ASSERT_EQ(Open(), 1);
  g_ops.clear();
  EXPECT_EQ(Exec(kExecNotify4879), 1);
  EXPECT_EQ(Exec(kExecNotify5684), 1);
  EXPECT_EQ(Exec(kExecNotify5864), 1);
  EXPECT_EQ(g_ops, (std::vector<std::string>{"4879", "5684", "5864"}));
  EXPECT_EQ(Exec(kExecQuery4963), 1);
  EXPECT_EQ(Exec(kExecQuery5238), 1);
  g_query_result = false;
  EXPECT_EQ(Exec(kExecQuery4963), 2);
  EXPECT_EQ(Exec(kExecQuery5238), 0);
  EXPECT_EQ(Exec(4000), 0);
  EXPECT_EQ(Exec(0), 0);

  // Closed, with the value-object service kept: refusal.
  ASSERT_EQ(Close(), 1);
  EXPECT_EQ(Exec(kExecQuery4963), 2);
}

TEST_F(FrameTest, ExceptionInsideAnOperationBecomesFailure) {
  g_throw_on_open = true;
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(Frame().nOpenCount, 0);
}

TEST_F(FrameTest, ThrowingInitialisationFailsAndTheNextOpenRetries) {
  g_throw_on_init = true;
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(Frame().pclExecution, nullptr);
  EXPECT_EQ(g_ops, (std::vector<std::string>{"init", "destroyed"}));
  g_throw_on_init = false;
  g_ops.clear();
  EXPECT_EQ(Open(), 1);
  EXPECT_EQ(g_ops, (std::vector<std::string>{"init", "open 0 0"}));
}

TEST_F(FrameTest, BindingRefusesVersionsWithoutLookingUp) {
  struct Case {
    int32_t first;
    int32_t second;
  } refused[] = {{1, 2}, {2, 3}, {1, 3}, {0, 0}, {-5, 2}};
  for (const Case& c : refused) {
    SCOPED_TRACE(testing::Message() << c.first << "," << c.second);
    EXPECT_EQ(FrameInitConv(&g_module, c.first, c.second), 0);
    EXPECT_EQ(FrameInitCalc(&g_module, c.first, c.second), 0);
  }
  EXPECT_EQ(g_module.lookups, 0);
  EXPECT_EQ(Services().pfnConversion, nullptr);

  EXPECT_EQ(FrameInitConv(&g_module, 2, 2), 1);
  EXPECT_EQ(FrameInitConv(&g_module, 7, -1), 1);
  EXPECT_EQ(Services().pfnConversion, &DummyConversion);
  EXPECT_EQ(Services().pfnFinConversion, &DummyFin);
  EXPECT_EQ(FrameInitCalc(&g_module, 2, 2), 1);
  for (PFN_CalcEntry entry : Services().apfnCalc) EXPECT_EQ(entry, &DummyCalc);
}

TEST_F(FrameTest, BindingKeepsAllOrNothing) {
  g_module.missing = {"nPresqueEgalEx", "FinConversion"};
  EXPECT_EQ(FrameInitCalc(&g_module, 2, 2), 0);
  for (PFN_CalcEntry entry : Services().apfnCalc) EXPECT_EQ(entry, nullptr);
  EXPECT_EQ(FrameInitConv(&g_module, 2, 2), 0);
  EXPECT_EQ(Services().pfnConversion, nullptr);

  // Unbound entries answer a status instead of a call through null.
  int32_t a = 1, b = 2, result = 99;
  EXPECT_EQ(CallCalc(kCalcComparaison, &a, 8, &b, 8, &result), kStatusNotBound);
  EXPECT_EQ(result, 99);
  EXPECT_EQ(CallConversion(&a, 8, &result, 16), kStatusNotBound);
  CallFinConversion(&result, 16);
}

TEST_F(FrameTest, MessageTextChannel) {
  std::vector<char16_t> buffer(256);
  MessageTextRequest request{sizeof(MessageTextRequest), 1234, buffer.data(), 256, -1};

  // No callback, no catalogue.
  EXPECT_EQ(FrameCommandeComposante(kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 0);
  EXPECT_EQ(request.nResult, 0);
  EXPECT_EQ(FrameCommandeComposante(kCmdMessagePacking, 1234), -1);
  EXPECT_EQ(FrameCommandeComposante(99, 0), 0);
  EXPECT_EQ(FrameCommandeComposante(kCmdMessageText, 0), 0);

  EXPECT_EQ(FrameCommandeComposante(kCmdSetMessageCallback,
                                    reinterpret_cast<intptr_t>(Host().MessageCallback())),
            1);
  // A host text longer than the buffer: its length is answered unchanged.
  Host().SetMessageMode(qghost::MessageMode::kText, std::u16string(300, u'a'));
  EXPECT_EQ(FrameCommandeComposante(kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 300);
  EXPECT_EQ(request.nResult, 300);
  EXPECT_EQ(Host().nLastMessageCapacity(), 256);
  // No room: the host is not asked and nothing is written.
  for (int32_t capacity : {0, -5}) {
    MessageTextRequest empty = request;
    empty.nCapacity = capacity;
    buffer[0] = u'#';
    EXPECT_EQ(FrameCommandeComposante(kCmdMessageText, reinterpret_cast<intptr_t>(&empty)), 0);
    EXPECT_EQ(empty.nResult, 0);
    EXPECT_EQ(buffer[0], u'#');
  }

  // The host has no text: the module's catalogue answers.
  Host().SetMessageMode(qghost::MessageMode::kZero);
  Services().pfnCatalogueText = [](int32_t number, char16_t* out, int32_t) -> int32_t {
    out[0] = u'c';
    out[1] = 0;
    return number == 1234 ? 1 : 0;
  };
  EXPECT_EQ(FrameCommandeComposante(kCmdMessageText, reinterpret_cast<intptr_t>(&request)), 1);
  EXPECT_EQ(buffer[0], u'c');
}

}  // namespace
}  // namespace qg
