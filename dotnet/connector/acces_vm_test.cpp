// The host-access object against the stand-in host qg300vm.so, loaded as
// a .NET program would load it.
#include "dotnet/connector/acces_vm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <chrono>
#include <future>
#include <thread>

#include "dotnet/connector/net_text.h"
#include "errors/module_errors.h"
#include "host/core/vm_externe_host.h"
#include "support/frame/module_frame.h"
#include "support/platform/module.h"
#include "support/streams/memory_stream.h"

namespace qgnet {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string LibDir() {
  const char* dir = std::getenv("QG_BUILD_DIR");
  return std::string(dir != nullptr ? dir : ".") + "/lib";
}

CBaseExecutionDLL* PlainExecution() { return new CBaseExecutionDLL(); }

std::vector<uint32_t> Ids(const CXError& error) {
  std::vector<uint32_t> ids;
  for (int i = 0; i < error.nGetNbMessageId(); ++i) ids.push_back(error.nGetMessageId(i));
  return ids;
}

class AccesVMTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("DISPLAY");
    qg::ResetFrameForTesting();
    // A handle of the test's own keeps the stand-in (and its log) loaded
    // across the access object's unload.
    vm_module_ = qg::LoadModule((LibDir() + "/qg300vm.so").c_str());
    ASSERT_NE(vm_module_, nullptr);
    auto control = reinterpret_cast<qghost::StandInVM* (*)()>(
        qg::FindSymbol(vm_module_, "qghost_VMExterne"));
    ASSERT_NE(control, nullptr);
    vm_ = control();
    vm_->Reset();
    second_ = U16(LibDir() + "/qg300net.so");
  }
  void TearDown() override {
    access_.Termine();
    qg::ResetFrameForTesting();
    qg::FreeModule(vm_module_);
  }

  // A library stream of the stand-in's format.
  void Library(const std::string& text) {
    library_.bOpen(u"lib", qg::GENERIC_READ | qg::GENERIC_WRITE, 0, qg::CREATE_ALWAYS, 0,
                   nullptr);
    library_.bWrite(text.data(), static_cast<uint32_t>(text.size()), nullptr);
    library_.bSeek(0, qg::FILE_BEGIN);
  }

  ExecuteQGLArgs Args() {
    ExecuteQGLArgs args;
    args.second_path = second_.c_str();
    args.library = &library_;
    args.library_owner = u"Demo, Version=1.0.0.0";
    args.project = u"Demo";
    args.command_line = u"-x";
    return args;
  }

  int32_t Context(const char16_t* path = u"/app/Demo.dll", int32_t mode = 0) {
    return access_.CreeContexteAssemblage(nullptr, second_.c_str(), path, 0, mode, &error_);
  }

  qg::ModuleHandle vm_module_ = nullptr;
  qghost::StandInVM* vm_ = nullptr;
  std::u16string second_;
  CMemoryStream library_;
  CAccesVMThreadSafe access_{&PlainExecution};
  _CXErrorModule20 error_;
};

TEST_F(AccesVMTest, ExecuteQGLRunsTheLibraryAndGivesItsExitCode) {
  Library("QGL1\nproject Demo\nexit 7\n");
  int32_t code = -1;
  ASSERT_TRUE(access_.ExecuteQGL(Args(), &code, &error_)) << U8(error_.pszGetUserMessage());
  EXPECT_EQ(code, 7);
  std::vector<std::string> log = vm_->Log();
  EXPECT_THAT(log, ::testing::Contains("param 1013 library"));
  EXPECT_THAT(log, ::testing::Contains("param 1016 8"));
  EXPECT_THAT(log, ::testing::Contains("run 5 Demo -x"));
}

// While a project runs, another thread (a timer, an event handler) reaches
// the host: the run holds no lock across the host's own run.
TEST_F(AccesVMTest, AnotherThreadReachesTheHostWhileAProjectRuns) {
  Library("QGL1\nproject Demo\nexit 3\n");
  struct During {
    CAccesVMThreadSafe* access;
    std::promise<bool> done;
    std::thread other;
    bool reached = false;
  } during{&access_, {}, {}, false};
  vm_->SetDuringRun(
      [](void* user) {
        auto* d = static_cast<During*>(user);
        std::future<bool> answer = d->done.get_future();
        d->other = std::thread([d] {
          _CXErrorModule20 error;
          d->done.set_value(d->access->GetContexteExecutionGlobal(&error) != nullptr);
        });
        // Deadlock detector: a blocked thread goes on when the run ends.
        d->reached = answer.wait_for(std::chrono::seconds(20)) == std::future_status::ready &&
                     answer.get();
      },
      &during);
  int32_t code = -1;
  ASSERT_TRUE(access_.ExecuteQGL(Args(), &code, &error_)) << U8(error_.pszGetUserMessage());
  during.other.join();
  vm_->SetDuringRun(nullptr, nullptr);
  EXPECT_EQ(code, 3);
  EXPECT_TRUE(during.reached);
}

TEST_F(AccesVMTest, ExecuteQGLFailures) {
  // The resource is missing: 200008 names the assembly.
  ExecuteQGLArgs args = Args();
  args.library = nullptr;
  int32_t code = -1;
  EXPECT_FALSE(access_.ExecuteQGL(args, &code, &error_));
  EXPECT_THAT(Ids(error_), ElementsAre(200008u));
  EXPECT_THAT(U8(error_.pszGetUserMessage()), HasSubstr("Demo, Version=1.0.0.0"));
  EXPECT_EQ(vm_->nCalls(), 0);

  // No such host module: 200004 with its name.
  _CXErrorModule20 missing;
  Library("QGL1\n");
  args = Args();
  args.module = u"nothere.dll";
  EXPECT_FALSE(access_.ExecuteQGL(args, &code, &missing));
  EXPECT_THAT(Ids(missing), ElementsAre(200004u));
  EXPECT_THAT(U8(missing.pszGetUserMessage()), HasSubstr("nothere.dll"));

  // The host refuses the library: 200004 too, and nothing runs.
  _CXErrorModule20 refused;
  vm_->SetRefusesLibrary(true);
  EXPECT_FALSE(access_.ExecuteQGL(Args(), &code, &refused));
  EXPECT_THAT(Ids(refused), ElementsAre(200004u));
  for (const std::string& line : vm_->Log()) EXPECT_EQ(line.rfind("run", 0), std::string::npos);
}

// 24-bit bitmap of w x h, every pixel the same colour.
std::vector<uint8_t> Bitmap(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  int stride = (w * 3 + 3) / 4 * 4;
  std::vector<uint8_t> bytes(54 + static_cast<size_t>(stride * h), 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  bytes[0] = 'B', bytes[1] = 'M';
  put32(2, static_cast<uint32_t>(bytes.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(h));
  bytes[26] = 1, bytes[28] = 24;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &bytes[54 + static_cast<size_t>(y * stride + x * 3)];
      p[0] = b, p[1] = g, p[2] = r;
    }
  }
  return bytes;
}

TEST_F(AccesVMTest, SplashClosesAtTheEndOfStartUpOrAfterTheRun) {
  Library("QGL1\nexit 3\n");
  SplashSource splash{u"start.bmp", Bitmap(8, 4, 10, 20, 30)};
  for (bool host_signals : {true, false}) {
    SCOPED_TRACE(host_signals);
    vm_->SetCallsFinInit(host_signals);
    ExecuteQGLArgs args = Args();
    args.splash = &splash;
    int32_t code = 0;
    ASSERT_TRUE(access_.ExecuteQGL(args, &code, &error_));
    EXPECT_EQ(code, 3);
    EXPECT_EQ(vm_->bFinInitRan(), host_signals);
    // Either way the splash is gone once the run returns.
    EXPECT_FALSE(access_.bSplashOuvert());
  }
}

TEST_F(AccesVMTest, OtherImagesAreDecodedAndAnimatedByTheHost) {
  Library("QGL1\n");
  // Two frames of 2 x 1 pixels in the stand-in host's own format.
  std::vector<uint8_t> bytes = {'Q', 'G', 'I', 'M', 2, 0, 1, 0, 2, 0};
  for (int i = 0; i < 12; ++i) bytes.push_back(static_cast<uint8_t>(i));
  SplashSource splash{u"start.img", bytes};
  ExecuteQGLArgs args = Args();
  args.splash = &splash;
  int32_t code = -1;
  ASSERT_TRUE(access_.ExecuteQGL(args, &code, &error_));
  std::vector<std::string> log = vm_->Log();
  EXPECT_THAT(log, ::testing::Contains("image 2x1 2 frames"));
  // Closing waits for the end of the animation.
  EXPECT_THAT(log, ::testing::Contains("frame 1"));
  EXPECT_FALSE(access_.bSplashOuvert());
}

TEST_F(AccesVMTest, ContextsAreMadeOncePerAssembly) {
  int32_t first = Context();
  ASSERT_EQ(first, 0) << U8(error_.pszGetUserMessage());
  EXPECT_EQ(Context(), first);
  EXPECT_EQ(access_.GetHandleContexteAssemblage(u"/app/Demo.dll"), first);
  EXPECT_EQ(access_.GetHandleContexteAssemblage(u"/app/Other.dll"), -1);
  EXPECT_EQ(Context(u"/app/Other.dll"), 1);
  EXPECT_EQ(access_.p_GetVMThread(first), static_cast<IVMExterne*>(vm_));
  EXPECT_EQ(access_.p_GetVMThread(7), nullptr);
  int contexts = 0;
  for (const std::string& line : vm_->Log()) contexts += line.rfind("context", 0) == 0;
  EXPECT_EQ(contexts, 2);
}

TEST_F(AccesVMTest, ObjectsMembersProceduresAndOperators) {
  int32_t h = Context();
  ASSERT_GE(h, 0);
  int64_t classe = 0;
  ASSERT_TRUE(access_.GetHandleClasse(h, u"Counter", &classe, &error_));
  CParamList params;
  CAny start;
  start.SetI4(5);
  params.AddParam(start);
  int64_t objet = 0;
  ASSERT_TRUE(access_.CreeObjetZQ(h, classe, nullptr, 0, &params, &objet, &error_));

  params.Vide();
  CAny two;
  two.SetI2(2);
  params.AddParam(two);
  ASSERT_TRUE(access_.ExecuteMethodeInstance(h, objet, u"Add", &params, 0, &error_));
  int64_t n = 0;
  params.GetReturnedValue()->nGetI8(&n);
  EXPECT_EQ(n, 7);

  params.Vide();
  ASSERT_TRUE(access_.MembreInstance(h, objet, u"Value", false, &params, &error_));
  params.GetReturnedValue()->nGetI8(&n);
  EXPECT_EQ(n, 7);

  params.Vide();
  CAny text;
  text.SetDSTRW(u"Bonjour");
  params.AddParam(text);
  ASSERT_TRUE(access_.VariableCollection(h, u"COL_Demo", u"Greeting", true, &params, &error_));
  params.Vide();
  ASSERT_TRUE(access_.VariableCollection(h, u"COL_Demo", u"Greeting", false, &params, &error_));
  const char16_t* got = nullptr;
  params.GetReturnedValue()->nGetPCXSTR(&got);
  EXPECT_EQ(std::u16string(got != nullptr ? got : u""), u"Bonjour");

  ASSERT_TRUE(access_.SetInfoInstance(h, objet, 99, &error_));
  int64_t info = 0;
  ASSERT_TRUE(access_.GetInfoInstanceMemoire(h, objet, &info, &error_));
  EXPECT_EQ(info, 99);
  ASSERT_TRUE(access_.DetruitObjetZQ(h, objet, &error_));

  // A failing host call reports failure with the host's text.
  _CXErrorModule20 failed;
  EXPECT_FALSE(access_.DetruitObjetZQ(h, objet, &failed));
  EXPECT_THAT(U8(failed.pszGetUserMessage()), HasSubstr("no such object"));
  EXPECT_FALSE(access_.GetHandleClasse(99, u"Counter", &classe, &failed));

  params.Vide();
  CAny a, b;
  a.SetI4(40);
  b.SetI8(2);
  params.AddParam(a);
  params.AddParam(b);
  ASSERT_TRUE(access_.ExecuteProcedure(u"Add", &params, &error_));
  params.GetReturnedValue()->nGetI8(&n);
  EXPECT_EQ(n, 42);

  CAny sum;
  ASSERT_TRUE(access_.Operateur(kOpPlus, a, b, &sum, &error_));
  sum.nGetI8(&n);
  EXPECT_EQ(n, 42);
}

TEST_F(AccesVMTest, TermineReleasesContextsLastToFirstAndEndsTheHost) {
  ASSERT_EQ(Context(u"/a.dll"), 0);
  ASSERT_EQ(Context(u"/b.dll"), 1);
  ASSERT_EQ(Context(u"/c.dll"), 2);
  vm_->Reset();
  access_.Termine();
  EXPECT_THAT(vm_->Log(), ElementsAre("release 2", "free 2", "release 1", "free 1", "release 0",
                                      "free 0", "term"));
  EXPECT_EQ(vm_->nRefs(), 0);
  EXPECT_FALSE(access_.bCharge());
  // Terminated: operations succeed without reaching the host.
  vm_->Reset();
  CParamList params;
  EXPECT_TRUE(access_.ExecuteProcedure(u"Fail", &params, &error_));
  access_.Termine();
  EXPECT_EQ(vm_->nCalls(), 0);
}

TEST_F(AccesVMTest, ModeThreeKeepsTheHost) {
  ASSERT_EQ(Context(u"/a.dll", kModeGardeHote), 0);
  vm_->Reset();
  access_.Termine();
  EXPECT_THAT(vm_->Log(), ElementsAre("release 0", "free 0"));
  EXPECT_EQ(vm_->nRefs(), 1);  // the host was not told to end
  vm_->Release();
}

TEST_F(AccesVMTest, AfterTheHostGoesAwayNothingReachesIt) {
  ASSERT_EQ(Context(), 0);
  vm_->Reset();
  access_.HostGoingAway();
  CParamList params;
  int64_t objet = 0;
  EXPECT_TRUE(access_.ExecuteProcedure(u"Fail", &params, &error_));
  EXPECT_TRUE(access_.CreeObjetZQ(0, 1, nullptr, 0, &params, &objet, &error_));
  EXPECT_TRUE(access_.ExecuteMethodeInstance(0, 1, u"Add", &params, 0, &error_));
  Library("QGL1\n");
  int32_t code = -1;
  EXPECT_TRUE(access_.ExecuteQGL(Args(), &code, &error_));
  access_.Termine();
  EXPECT_EQ(vm_->nCalls(), 0);
  EXPECT_EQ(error_.nGetNbMessageId(), 0);
  // The references the host handed out are dropped without a call.
  access_.Termine(true);
  vm_->Release();
}

TEST_F(AccesVMTest, ThreadsCallingAtOnceAreServedOneAtATime) {
  ASSERT_EQ(Context(), 0);
  vm_->Reset();
  std::vector<std::thread> threads;
  std::atomic<int> answered{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20; ++i) {
        CParamList params;
        _CXErrorModule20 error;
        if (access_.ExecuteProcedure(u"Slow", &params, &error)) ++answered;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(answered.load(), 160);
  EXPECT_EQ(vm_->nMaxConcurrent(), 1);
}

}  // namespace
}  // namespace qgnet
