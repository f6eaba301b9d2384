#include "browser/cef_manager.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <thread>

#include "browser/engine.h"
#include "browser/test_env.h"
#include "browser/utf.h"
#include "errors/module_errors.h"
#include "support/platform/module.h"

namespace qg::web {
namespace {

using Argv = std::vector<std::string>;

Argv Tail(const Argv& argv) {
  // Leaves out the executable, --no-sandbox and the profile folder.
  Argv out;
  for (size_t i = 2; i < argv.size(); ++i) {
    if (argv[i].rfind("--user-data-dir=", 0) != 0) out.push_back(argv[i]);
  }
  return out;
}

TEST(LaunchSettingsTest, OptionsToArgv) {
  const Argv lang = {"--lang=fr-FR", "--accept-lang=fr-FR"};
  struct Case {
    const char* name;
    bool has_record;
    stOptionsInitCef record;
    intptr_t flags;
    Argv expected_head;
  };
  const Case cases[] = {
      {"no record, item 4 clear", false, {}, 0, {}},
      {"no record, item 4 bit 0", false, {}, 1, {"--remote-debugging-port=8088"}},
      {"version 1 ignores level 2", true, {1, 0, 2, 0}, 0, {}},
      {"version 2 level 0", true, {2, 0, 0, 0}, 0, {}},
      {"version 2 level 1", true, {2, 0, 1, 0}, 0, {"--enable-logging=stderr", "--log-level=2"}},
      {"version 2 level 2",
       true,
       {2, 0, 2, 0},
       0,
       {"--enable-logging=stderr", "--log-level=0", "--v=1"}},
      {"version 2 level 3", true, {2, 0, 3, 0}, 0, {}},
      {"record port replaces 8088", true, {2, 9333, 0, 0}, 1, {"--remote-debugging-port=9333"}},
  };
  for (const Case& c : cases) {
    LaunchSettings s = SettingsFromOptions(c.has_record ? &c.record : nullptr, c.flags);
    Argv got = Tail(BuildArgv("/bin/x", s, "/tmp/p", "fr-FR", {}));
    Argv want = c.expected_head;
    want.insert(want.end(), lang.begin(), lang.end());
    EXPECT_EQ(got, want) << c.name;
  }
  stOptionsInitCef gpu = {2, 0, 0, 1};
  EXPECT_TRUE(SettingsFromOptions(&gpu, 0).spare_gpu);
  EXPECT_FALSE(SettingsFromOptions(nullptr, 0).spare_gpu);
  Argv full = BuildArgv("/bin/x", {}, "/tmp/p", "en-US", {{"a", ""}, {"b", "c"}});
  EXPECT_EQ(full, (Argv{"/bin/x", "--no-sandbox", "--user-data-dir=/tmp/p", "--lang=en-US",
                        "--accept-lang=en-US", "--a", "--b=c"}));
}

TEST(SwitchesTest, DecisionTable) {
  const uint64_t GiB = uint64_t{1} << 30;
  const std::vector<Switch> low = {{"enable-low-end-device-mode", ""}, {"use-gl", "angle"}};
  const std::vector<Switch> low_timeout = {{"enable-low-end-device-mode", ""},
                                           {"use-gl", "angle"},
                                           {"use-angle", "default"},
                                           {"disable-new-browser-info-timeout", ""}};
  struct Case {
    const char* name;
    MachineFacts facts;
    std::vector<Switch> middle;
    bool timeout_flag;
  };
  const Case cases[] = {
      {"16 GiB workstation", {16 * GiB}, {}, false},
      {"4 GiB", {4 * GiB}, low_timeout, true},
      {"just under 7 GiB", {7 * GiB - 1}, low_timeout, true},
      {"7 GiB", {7 * GiB}, {}, false},
      {"virtual machine", {16 * GiB, true}, low_timeout, true},
      {"server edition", {16 * GiB, false, true}, low_timeout, true},
      {"FORCE_LOWEND 0 with 4 GiB", {4 * GiB, false, false, false, 0}, {}, false},
      {"FORCE_LOWEND 1, FORCE_NOTIMEOUT 0", {16 * GiB, false, false, false, 1, 0}, low, false},
      {"Parallels with 4 GiB", {4 * GiB, false, false, true}, {}, false},
      {"Parallels, FORCE_LOWEND 1", {4 * GiB, false, false, true, 1}, low_timeout, true},
      {"one core", {16 * GiB, false, false, false, {}, {}, 1}, low_timeout, true},
      {"two cores", {16 * GiB, false, false, false, {}, {}, 2}, {}, false},
  };
  for (const Case& c : cases) {
    SwitchDecision d = DecideSwitches(false, 0, c.facts);
    std::vector<Switch> want = {{"disable-features", "WinUseBrowserSpellChecker"},
                                {"disable-component-update", ""}};
    want.insert(want.end(), c.middle.begin(), c.middle.end());
    want.push_back({"disable-gpu-shader-disk-cache", ""});
    EXPECT_EQ(d.switches, want) << c.name;
    EXPECT_EQ(d.low_end_timeout, c.timeout_flag) << c.name;
  }
  SwitchDecision d = DecideSwitches(true, 8088, {16 * GiB});
  EXPECT_EQ(d.switches, (std::vector<Switch>{{"disable-gpu-process-crash-limit", ""},
                                             {"disable-features", "WinUseBrowserSpellChecker"},
                                             {"remote-allow-origins", "*"},
                                             {"disable-component-update", ""},
                                             {"disable-gpu-shader-disk-cache", ""}}));
  CAppCallbackPourCef app(0, false);
  EXPECT_TRUE(app.OnBeforeCommandLineProcessing("renderer", {4 * GiB}).empty());
}

TEST(SwitchesTest, RegistryTextIsBoundedAndParsed) {
  EXPECT_EQ(RegistryTextToInt(u"  42x"), 42);
  EXPECT_EQ(RegistryTextToInt(u"-7"), -7);
  EXPECT_EQ(RegistryTextToInt(u"abc"), 0);
  // Only 259 characters fit the value's buffer: the digit after them is not read.
  EXPECT_EQ(RegistryTextToInt(std::u16string(258, u' ') + u"12"), 1);
}

TEST(ShutdownPauseTest, Table) {
  EXPECT_EQ(ShutdownPauseMs(0), 50);
  EXPECT_EQ(ShutdownPauseMs(2), 90);
  EXPECT_EQ(ShutdownPauseMs(200), 3000);
}

TEST(UserLanguageTest, FromLocaleVariables) {
  ScopedEnv all("LC_ALL", "fr_FR.UTF-8@euro");
  EXPECT_EQ(UserLanguage(), "fr-FR");
  ScopedEnv all2("LC_ALL", "C");
  EXPECT_EQ(UserLanguage(), "en-US");
}

// The manager is one object per process: these run in order in one test.
class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UsePrivateRegistry();
    instance_ = ModuleOf(reinterpret_cast<const void*>(&Tail)); }
  void TearDown() override { FreeModule(instance_); }
  void* instance_ = nullptr;
};

// A virtual machine is known by its guest services, not by the processor's
// hypervisor flag, which every cloud machine shows.
TEST(SwitchesTest, HypervisorFlagAloneIsNoGuestService) {
  bool services = false;
  for (const char* name : {"vmtools", "VMwareTools", "VBoxService", "vmmemctl",
                           "vmicguestinterface", "qemu-ga"}) {
    for (const char* dir : {"/etc/systemd/system/", "/lib/systemd/system/", "/usr/lib/systemd/system/"}) {
      services = services || std::filesystem::exists(std::string(dir) + name + ".service");
    }
    services = services || system((std::string("pgrep -x ") + name + " >/dev/null 2>&1").c_str()) == 0;
  }
  if (services) GTEST_SKIP() << "this machine runs a guest service";
  EXPECT_FALSE(IsVirtualMachineServicePresent());
  EXPECT_GT(ReadMachineFacts().cpu_count, 0u);
  // A process running under a guest service's name is one.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    prctl(PR_SET_NAME, "qemu-ga");
    pause();
    _exit(0);
  }
  bool seen = false;
  for (int i = 0; i < 200 && !seen; ++i) {
    seen = IsVirtualMachineServicePresent();
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(seen);
}

TEST_F(ManagerTest, FailuresLeaveNothingStarted) {
  CIKQMCef& m = CIKQMCef::Instance();
  {
    ScopedEnv env("QG300WEB_BROWSER", "/nonexistent/qg-browser");
    _CXErrorModule80 error;
    EXPECT_FALSE(m.Initialize(instance_, nullptr, &error));
    EXPECT_EQ(error.nGetMessageId(0), 800001u);
    EXPECT_NE(std::u16string(error.pszGetUserMessage()).find(u"/nonexistent/qg-browser"),
              std::u16string::npos);
    EXPECT_EQ(m.nStartCount(), 0);
  }
  {
    ScopedEnv env("QG300WEB_BROWSER", "/tmp");
    _CXErrorModule80 error;
    EXPECT_FALSE(m.Initialize(instance_, nullptr, &error));
    EXPECT_EQ(error.nGetMessageId(0), 800001u);
  }
  SetVersionProbeForTest([] { return 6; });
  _CXErrorModule80 error;
  EXPECT_FALSE(m.Initialize(instance_, nullptr, &error));
  EXPECT_EQ(error.nGetMessageId(0), 800006u);
  EXPECT_NE(std::u16string(error.pszGetUserMessage()).find(u"qg300web.dll"),
            std::u16string::npos);
  SetVersionProbeForTest(nullptr);
  EXPECT_FALSE(m.Initialize(nullptr, nullptr, nullptr));
  m.Shutdown();  // without a start: nothing
  EXPECT_EQ(m.nStartCount(), 0);
}

TEST_F(ManagerTest, CountedStartAndStopAndRestart) {
  CIKQMCef& m = CIKQMCef::Instance();
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(m.InitializeDefault(instance_, nullptr));
    const int pid = m.Pid();
    ASSERT_GT(pid, 0);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(m.Initialize(instance_, nullptr, nullptr));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100));
    EXPECT_EQ(m.nStartCount(), 2);
    m.Shutdown();
    EXPECT_EQ(kill(pid, 0), 0) << "a non-final stop left the browser running";
    EXPECT_TRUE(m.GetEngine()->Call("Browser.getVersion", nullptr).ok);
    m.Shutdown();
    EXPECT_EQ(m.nStartCount(), 0);
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1) << "the child is reaped";
    EXPECT_EQ(kill(pid, 0), -1);
  }
  EXPECT_TRUE(std::filesystem::exists(CacheRoot())) << "the profile lasts until unload";
}

TEST_F(ManagerTest, CacheFolderIsPrivateAndNeverThroughALink) {
  char tmp[] = "/tmp/qg-web-tmpdir-XXXXXX";
  ASSERT_NE(mkdtemp(tmp), nullptr);
  const std::filesystem::path dir(tmp), victim = dir / "victim";
  std::filesystem::create_directory(victim);
  CIKQMCef& m = CIKQMCef::Instance();
  ScopedEnv env("TMPDIR", tmp);
  struct Case {
    const char* name;
    std::function<void()> plant;
  } cases[] = {
      {"a link to another folder", [&] { std::filesystem::create_directory_symlink(victim, dir / "cache.cef"); }},
      {"a file", [&] { std::ofstream(dir / "cache.cef") << "x"; }},
      {"another user's folder", [&] {
         std::filesystem::create_directory(dir / "cache.cef");
         ASSERT_EQ(chown((dir / "cache.cef").c_str(), 65534, 65534), 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.plant();
    _CXErrorModule80 error;
    EXPECT_FALSE(m.Initialize(instance_, nullptr, &error));
    EXPECT_EQ(m.nStartCount(), 0);
    EXPECT_EQ(error.nGetMessageId(0), 800001u);
    EXPECT_NE(ToUtf8(error.pszGetUserMessage()).find(dir.string() + "/cache.cef"), std::string::npos)
        << ToUtf8(error.pszGetUserMessage());
    EXPECT_TRUE(std::filesystem::is_empty(victim));
    std::filesystem::remove_all(dir / "cache.cef");
  }
  // A folder of ours created by this process is private.
  ASSERT_TRUE(m.Initialize(instance_, nullptr, nullptr));
  struct stat st;
  ASSERT_EQ(lstat((dir / "cache.cef").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(lstat(CacheRoot().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  m.Shutdown();
  std::filesystem::remove_all(dir);
}

TEST_F(ManagerTest, KilledBrowserFailsAWaitingCall) {
  CIKQMCef& m = CIKQMCef::Instance();
  ASSERT_TRUE(m.InitializeDefault(instance_, nullptr));
  std::shared_ptr<Engine> engine = m.GetEngine();
  const pid_t pid = engine->Conn().Pid();
  kill(pid, SIGSTOP);  // the call below gets no answer
  devtools::CallResult result;
  std::chrono::steady_clock::duration waited{};
  std::thread caller([&] {
    const auto t0 = std::chrono::steady_clock::now();
    result = engine->Call("Browser.getVersion", nullptr, 20000);
    waited = std::chrono::steady_clock::now() - t0;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto killed = std::chrono::steady_clock::now();
  kill(pid, SIGKILL);
  caller.join();
  EXPECT_FALSE(result.ok);
  EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(1));
  EXPECT_FALSE(engine->bAlive());
  m.Shutdown();
  EXPECT_EQ(m.nStartCount(), 0);
}

TEST_F(ManagerTest, StoppedBrowserIsKilledByTheWatchdog) {
  CIKQMCef& m = CIKQMCef::Instance();
  ASSERT_TRUE(m.InitializeDefault(instance_, nullptr));
  const pid_t pid = m.Pid();
  kill(pid, SIGSTOP);
  const auto t0 = std::chrono::steady_clock::now();
  m.Shutdown();
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(took, std::chrono::milliseconds(CIKQMCef::kWatchdogMs));
  EXPECT_LT(took, std::chrono::seconds(15));
  EXPECT_EQ(kill(pid, 0), -1);
}

}  // namespace
}  // namespace qg::web
