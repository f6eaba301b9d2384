#include "browser/cef_manager.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "browser/cef_browser.h"
#include "browser/download_gate.h"
#include "browser/engine.h"
#include "browser/popup_gate.h"
#include "browser/script_context.h"
#include "browser/utf.h"
#include "errors/module_errors.h"
#include "support/frame/module_services.h"
#include "support/platform/error_codes.h"
#include "support/platform/module.h"

namespace qg::web {

namespace {

int DefaultVersionProbe() { return 10; }
std::atomic<int (*)()> g_version_probe{&DefaultVersionProbe};

const char kPackageBrowser[] = "/usr/lib/chromium/chromium-headless-shell";

// Removes the cache folder when the module unloads.
struct CacheCleaner {
  ~CacheCleaner() {
    if (created.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(created, ec);
  }
  std::string created;
} g_cache_cleaner;

std::string TempFolder() {
  const char* t = getenv("TMPDIR");
  return t != nullptr && *t != 0 ? t : "/tmp";
}

std::string ExecutableBaseName() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "process";
  return exe.stem().string();
}

// The browser executable: "qg300webexe" in a "qg300web" folder beside the
// module, else $QG300WEB_BROWSER, else the package's.
std::string BrowserExecutable(void* instance) {
  std::string module = ModulePath(instance);
  if (module.empty()) module = ModulePathOf(reinterpret_cast<const void*>(&DefaultVersionProbe));
  if (!module.empty()) {
    std::filesystem::path beside =
        std::filesystem::path(module).parent_path() / "qg300web" / "qg300webexe";
    struct stat st;
    if (stat(beside.c_str(), &st) == 0) return beside.string();
  }
  const char* env = getenv("QG300WEB_BROWSER");
  if (env != nullptr && *env != 0) return env;
  return kPackageBrowser;
}

void SetError(CXError* error, uint32_t number, const std::string& parameter, int sys_errno) {
  if (error == nullptr) return;
  std::u16string p = ToUtf16(parameter);
  error->SetUserError(gstErrorDefModule80, number, p.c_str());
  if (sys_errno != 0) error->SetSystemError(ErrorFromErrno(sys_errno));
}

// Writes the global preference into the profile before start: the process
// has no run-time call for it.
void WritePreferences(const std::string& user_data_dir) {
  std::filesystem::path dir = std::filesystem::path(user_data_dir) / "Default";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  devtools::Json prefs = devtools::Json::object();
  std::ifstream in(dir / "Preferences");
  if (in) {
    devtools::Json old = devtools::Json::parse(in, nullptr, false);
    if (old.is_object()) prefs = std::move(old);
  }
  prefs["browser"]["shortcut_migration_version"] = CAppCallbackPourCef::kShortcutValue;
  std::ofstream out(dir / "Preferences", std::ios::trunc);
  out << prefs.dump();
}

}  // namespace

void SetVersionProbeForTest(int (*probe)()) {
  g_version_probe = probe != nullptr ? probe : &DefaultVersionProbe;
}

LaunchSettings SettingsFromOptions(const stOptionsInitCef* options, intptr_t host_flags) {
  LaunchSettings s;
  s.debug_port = (host_flags & 1) != 0 ? 8088 : 0;
  if (options != nullptr) {
    if (options->nDebugPort != 0) s.debug_port = options->nDebugPort;
    if (options->nVersion >= 2 && (options->nLogLevel == 1 || options->nLogLevel == 2)) {
      s.log_level = options->nLogLevel;
    }
    s.spare_gpu = options->bSpareGpu != 0;
  }
  return s;
}

std::vector<std::string> BuildArgv(const std::string& executable, const LaunchSettings& settings,
                                   const std::string& user_data_dir, const std::string& language,
                                   const std::vector<Switch>& switches) {
  std::vector<std::string> argv = {executable, "--no-sandbox"};
  if (settings.log_level == 1) {
    argv.insert(argv.end(), {"--enable-logging=stderr", "--log-level=2"});
  } else if (settings.log_level == 2) {
    argv.insert(argv.end(), {"--enable-logging=stderr", "--log-level=0", "--v=1"});
  }
  if (settings.debug_port != 0) {
    argv.push_back("--remote-debugging-port=" + std::to_string(settings.debug_port));
  }
  argv.push_back("--user-data-dir=" + user_data_dir);
  argv.push_back("--lang=" + language);
  argv.push_back("--accept-lang=" + language);
  for (const Switch& s : switches) {
    argv.push_back("--" + s.name + (s.value.empty() ? "" : "=" + s.value));
  }
  return argv;
}

int ShutdownPauseMs(int windows) {
  const int64_t pause = 50 + 20 * static_cast<int64_t>(windows < 0 ? 0 : windows);
  return pause > 3000 ? 3000 : static_cast<int>(pause);
}

std::string UserLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = getenv(name);
    if (v == nullptr || *v == 0) continue;
    std::string s = v;
    // "fr_FR.UTF-8@euro" -> "fr-FR"
    s = s.substr(0, s.find_first_of(".@"));
    const size_t sep = s.find('_');
    if (sep == 2 || sep == 3) {
      std::string lang = s.substr(0, sep), country = s.substr(sep + 1);
      bool ok = !country.empty() && country.size() <= 3;
      for (char c : lang) ok = ok && c >= 'a' && c <= 'z';
      for (char c : country) ok = ok && c >= 'A' && c <= 'Z';
      if (ok) return lang + "-" + country;
    }
    return "en-US";  // "C", "POSIX" or unreadable: the first one set decides
  }
  return "en-US";
}

std::string CacheRoot() {
  return TempFolder() + "/cache.cef/" + ExecutableBaseName() + std::to_string(getpid());
}

int MakePrivateFolders(const std::string& base, const std::vector<std::string>& parts,
                       std::string* failed) {
  std::string path = base;
  int dir = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int e = dir < 0 ? errno : 0;
  for (size_t i = 0; e == 0 && i < parts.size(); ++i) {
    path += "/" + parts[i];
    if (mkdirat(dir, parts[i].c_str(), 0700) != 0 && errno != EEXIST) {
      e = errno;
      break;
    }
    // O_NOFOLLOW: a link planted in a shared temporary folder fails (ELOOP).
    const int next = openat(dir, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      e = errno;
      break;
    }
    close(dir);
    dir = next;
    struct stat st;
    if (fstat(dir, &st) != 0) {
      e = errno;
    } else if (st.st_uid != geteuid()) {
      e = EPERM;
    } else if ((st.st_mode & 077) != 0 && fchmod(dir, 0700) != 0) {
      e = errno;
    }
  }
  if (dir >= 0) close(dir);
  if (e != 0 && failed != nullptr) *failed = path;
  return e;
}

bool IsDebuggerPresent() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
  }
  return false;
}

CIKQMCef& CIKQMCef::Instance() {
  // Freed when the module unloads, unless the browser still runs then (the
  // host never stopped it): its threads may still use the manager, so it
  // stays.
  static struct Holder {
    CIKQMCef* manager = new CIKQMCef();
    ~Holder() {
      bool stopped;
      {
        std::lock_guard<std::mutex> lock(manager->mu_);
        stopped = !manager->engine_ && manager->start_count_ == 0;
      }
      if (stopped) delete manager;
    }
  } holder;
  return *holder.manager;
}

std::shared_ptr<Engine> CIKQMCef::GetEngine() {
  std::lock_guard<std::mutex> lock(mu_);
  return engine_;
}

int CIKQMCef::Pid() {
  std::lock_guard<std::mutex> lock(mu_);
  return engine_ ? engine_->Conn().Pid() : -1;
}

bool CIKQMCef::Initialize(void* instance, const stOptionsInitCef* options, CXError* error) {
  if (start_count_ > 0) {
    ++start_count_;
    return true;
  }
  if (g_version_probe.load()() < 10) {
    SetError(error, 800006, "qg300web.dll", 0);
    return false;
  }
  if (instance == nullptr) return false;

  const std::string executable = BrowserExecutable(instance);
  struct stat st;
  const int stat_errno = stat(executable.c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
  if (stat_errno != 0) {
    SetError(error, 800001, executable, stat_errno);
    return false;
  }

  const LaunchSettings settings = SettingsFromOptions(options, Services().nFlags);
  const std::string root = CacheRoot();
  const std::string user_data_dir = root + "/cache." + std::to_string(getpid());
  std::string failed;
  const int folder_errno = MakePrivateFolders(
      TempFolder(),
      {"cache.cef", ExecutableBaseName() + std::to_string(getpid()),
       "cache." + std::to_string(getpid()), "downloads"},
      &failed);
  if (folder_errno != 0) {
    SetError(error, 800001, failed, folder_errno);
    return false;
  }
  g_cache_cleaner.created = root;
  WritePreferences(user_data_dir);

  auto app = std::make_unique<CAppCallbackPourCef>(settings.debug_port, settings.spare_gpu);
  const std::vector<Switch> switches = app->OnBeforeCommandLineProcessing("", ReadMachineFacts());
  const std::vector<std::string> argv =
      BuildArgv(executable, settings, user_data_dir, UserLanguage(), switches);

  int launch_errno = 0;
  std::shared_ptr<Engine> engine = Engine::Launch(argv, &launch_errno, settings.log_level == 0);
  if (!engine) {
    SetError(error, 800001, executable, launch_errno);
    return false;
  }
  // Popups are held at their start until their opener decided on them, and
  // downloads wait for the host's consent. The gates' commands go ahead of
  // the first call, which the browser answers after them: one wait for all
  // three instead of a round trip each.
  struct Replies {
    std::mutex mu;
    std::condition_variable cv;
    int left = 2;
    bool ok = true;
  };
  auto replies = std::make_shared<Replies>();
  const auto done = [replies](const devtools::CallResult& r) {
    std::lock_guard<std::mutex> lock(replies->mu);
    replies->ok = replies->ok && r.ok;
    --replies->left;
    replies->cv.notify_all();
  };
  PopupGate::Install(engine, done);
  DownloadGate::Install(engine, user_data_dir + "/downloads", done);
  // The context exists once the browser answers.
  devtools::CallResult version = engine->Call("Browser.getVersion", nullptr, kStartLimitMs);
  if (!version.ok) {
    engine->Conn().Kill();
    engine->Conn().Stop();
    SetError(error, 800001, executable, 0);
    return false;
  }
  app->OnContextInitialized();
  bool gates = false;
  {
    // Answered before the version; their handlers run on the dispatch
    // thread, which a failure also reaches.
    std::unique_lock<std::mutex> lock(replies->mu);
    gates = replies->cv.wait_for(lock, std::chrono::milliseconds(kStartLimitMs),
                                 [&] { return replies->left == 0; }) &&
            replies->ok;
  }
  if (!gates) {
    engine->Stop(kWatchdogMs);
    SetError(error, 800001, executable, 0);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    engine_ = std::move(engine);
  }
  ++start_count_;
  return true;
}

void CIKQMCef::Shutdown() {
  if (start_count_ <= 0) return;
  if (--start_count_ > 0) return;
  std::shared_ptr<Engine> engine;
  {
    std::lock_guard<std::mutex> lock(mu_);
    engine = std::move(engine_);
  }
  if (!engine) return;

  // The watchdog ends the browser's process group when stopping hangs.
  struct Watch {
    std::mutex mu;
    std::condition_variable cv;
    bool running = true;
  };
  auto watch = std::make_shared<Watch>();
  const pid_t pid = engine->Conn().Pid();
  std::thread watchdog([watch, pid] {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(watch->mu);
    for (;;) {
      if (watch->cv.wait_until(lock, start + std::chrono::milliseconds(kWatchdogMs),
                               [&] { return !watch->running; })) {
        return;
      }
      if (!IsDebuggerPresent()) {
        killpg(pid, SIGKILL);
        kill(pid, SIGKILL);
        return;
      }
      watch->cv.wait_for(lock, std::chrono::milliseconds(500), [&] { return !watch->running; });
      if (!watch->running) return;
    }
  });

  // No system message windows here: none are closed.
  std::this_thread::sleep_for(std::chrono::milliseconds(ShutdownPauseMs(0)));
  engine->Stop(/*limit_ms=*/60000);
  {
    std::lock_guard<std::mutex> lock(watch->mu);
    watch->running = false;
  }
  watch->cv.notify_all();
  watchdog.join();
}

namespace {

// The probe's host callback: three flags, set once each.
class CICallbackLocal final : public CCallbackFromKQMBrowserBase {
 public:
  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override {
    const int32_t n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  void OnBrowserCreated() override { Set(&created_); }
  void OnMainFrameLoaded(const char16_t*) override { Set(&loaded_); }
  void OnPaintBuffer(const void*, int32_t, int32_t w, int32_t h) override {
    if (w > 1 && h > 1) Set(&painted_);
  }
  bool bBeforeNavigation(const stNavigation*) override { return true; }
  bool bOnNavigate(const stNavigation*, bool) override { return true; }
  bool bOnNewWindow(const stNavigation*) override { return false; }
  bool bOnLinkContextMenu(const char16_t*) override { return false; }
  bool bOnContextMenu(int32_t, int32_t) override { return false; }
  bool bOnSpellCheckMenu(int32_t, int32_t, IMenuCorrecteurCEF*) override { return false; }
  bool bKeepSystemCursor() override { return false; }

  // Waits for the flag until the deadline; false on time-out.
  bool WaitFlag(bool* flag, std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_until(lock, deadline, [&] { return *flag; });
  }
  bool created_ = false, loaded_ = false, painted_ = false;

 private:
  ~CICallbackLocal() = default;
  void Set(bool* flag) {
    std::lock_guard<std::mutex> lock(mu_);
    *flag = true;
    cv_.notify_all();
  }
  std::atomic<int32_t> refs_{1};
  std::mutex mu_;
  std::condition_variable cv_;
};

}  // namespace

EResAtt CIKQMCef::_Attends1erPaint(const std::shared_ptr<Engine>& engine) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kProbeMs);
  auto* local = new CICallbackLocal();
  stCreationBrowser record{};
  record.nVersion = 6;
  record.bWindowless = 1;
  record.nBackground = -1;
  record.pszURL = u"about:blank";
  record.piCallback = local;
  std::shared_ptr<CIKQMBrowser> browser = CIKQMBrowser::Create(engine, record);
  if (!browser) {
    local->Release();
    return EResAtt::kNoBrowser;
  }
  bool timed_out = !local->WaitFlag(&local->created_, deadline);
  if (!timed_out) {
    browser->SetBody(u"<body></body>");
    browser->SetViewRect(0, 0, 100, 100);
    timed_out = !local->WaitFlag(&local->painted_, deadline);
  }
  bool loaded;
  {
    // Read under the flag lock by waiting on an already past deadline.
    loaded = local->WaitFlag(&local->loaded_, std::chrono::steady_clock::now());
  }
  browser->SetCallback(nullptr);
  browser->Close();  // closed before it is released
  browser->Release();
  local->Release();
  if (timed_out) return EResAtt::kTimeout;
  return loaded ? EResAtt::kLoaded : EResAtt::kNotLoaded;
}

IKQMBrowserCef* CIKQMCef::CreateBrowser(const stCreationBrowser* record) {
  std::shared_ptr<Engine> engine = GetEngine();
  if (!engine || record == nullptr) return nullptr;
  const stCreationBrowser copy = CopyCreationRecord(record);
  if (browser_count_ == 0) {
    last_probe_ = _Attends1erPaint(engine);
    if (last_probe_ == EResAtt::kNotLoaded) last_probe_ = _Attends1erPaint(engine);
  }
  ++browser_count_;
  std::shared_ptr<CIKQMBrowser> browser = CIKQMBrowser::Create(engine, copy);
  return browser ? browser.get() : nullptr;  // the host's reference keeps it
}

IKQMContexteJavacript* CIKQMCef::CreateJavascriptContext() {
  std::shared_ptr<Engine> engine = GetEngine();
  if (!engine) return nullptr;
  std::shared_ptr<CIKQMContexteJavacript> context = CIKQMContexteJavacript::Create(engine);
  return context ? static_cast<IKQMContexteJavacript*>(context.get()) : nullptr;
}

}  // namespace qg::web
