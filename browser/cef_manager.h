// The browser manager: the module's single entry object, handed out by
// pQueryProxy(1). Starts and stops the browser process (counted), creates
// browser objects and the hidden script context.
#ifndef QG_BROWSER_CEF_MANAGER_H_
#define QG_BROWSER_CEF_MANAGER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "browser/app_callback.h"
#include "browser/web_api.h"

namespace qg::web {

class Engine;

// What the settings of a start become.
struct LaunchSettings {
  int32_t debug_port = 0;  // 0: no port
  int log_level = 0;       // 0 none, 1 errors, 2 verbose
  bool spare_gpu = false;
};

// From the options record (null: none) and the host's item 4 flags.
LaunchSettings SettingsFromOptions(const stOptionsInitCef* options, intptr_t host_flags);

// The process's argv: the executable, then the settings' switches, the
// profile folder, the language, the application object's switches.
std::vector<std::string> BuildArgv(const std::string& executable, const LaunchSettings& settings,
                                   const std::string& user_data_dir, const std::string& language,
                                   const std::vector<Switch>& switches);

// Pause before stopping the process: 50 + 20 per system window closed, at
// most 3000 ms.
int ShutdownPauseMs(int windows);

// "ll-CC" of the user's locale (LC_ALL, LC_MESSAGES, LANG), "en-US" when
// none names a language.
std::string UserLanguage();

// <temporary folder>/cache.cef/<executable base name><pid>; lasts across
// restarts in one process and is removed when the module unloads.
std::string CacheRoot();

// Creates `parts` one below the other under the existing folder `base`:
// each a folder of this user with mode 0700, opened without following a
// link, an existing one refused when it is a link, not a folder or not
// ours. 0, or the errno with *failed naming the folder that failed.
int MakePrivateFolders(const std::string& base, const std::vector<std::string>& parts,
                       std::string* failed);

// True when a debugger traces this process.
bool IsDebuggerPresent();

// Test hook: the probe of the system's major version (null restores the
// default, which answers 10).
void SetVersionProbeForTest(int (*probe)());

class CIKQMBrowser;

// Results of the warm-up probe.
enum class EResAtt { kNone = 0, kLoaded = 1, kNotLoaded = 2, kNoBrowser = 3, kTimeout = 4 };

class CIKQMCef final : public IKQMCef {
 public:
  static CIKQMCef& Instance();

  int32_t AddRef() override { return 1; }
  int32_t Release() override { return 1; }
  int32_t GetInterfaceVersion() override { return 2; }
  bool InitializeDefault(void* instance, CXError* error) override {
    return Initialize(instance, nullptr, error);
  }
  void Shutdown() override;
  IKQMBrowserCef* CreateBrowser(const stCreationBrowser* record) override;
  IKQMContexteJavacript* CreateJavascriptContext() override;
  bool Initialize(void* instance, const stOptionsInitCef* options, CXError* error) override;

  int32_t nStartCount() const { return start_count_; }
  int32_t nBrowserCount() const { return browser_count_; }
  std::shared_ptr<Engine> GetEngine();
  // The child's process id, -1 when not started (tests).
  int Pid();

  // Limits (ms): the engine's first answer; the shutdown watchdog.
  static constexpr int kStartLimitMs = 30000;
  static constexpr int kWatchdogMs = 3000;
  static constexpr int kProbeMs = 10000;

  // The warm-up probe run before the first browser: a hidden page must be
  // created and paint.
  EResAtt _Attends1erPaint(const std::shared_ptr<Engine>& engine);
  EResAtt LastProbe() const { return last_probe_; }

 private:
  CIKQMCef() = default;

  std::mutex mu_;  // guards engine_
  std::shared_ptr<Engine> engine_;
  std::atomic<int32_t> start_count_{0};
  std::atomic<int32_t> browser_count_{0};
  EResAtt last_probe_ = EResAtt::kNone;
};

}  // namespace qg::web

#endif  // QG_BROWSER_CEF_MANAGER_H_
