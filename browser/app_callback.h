// The application object: which Chromium switches the browser process gets,
// the low-end decision, and the registry values that steer them.
#ifndef QG_BROWSER_APP_CALLBACK_H_
#define QG_BROWSER_APP_CALLBACK_H_

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qg::web {

// One command-line switch: name without dashes, value empty for none.
struct Switch {
  std::string name;
  std::string value;
  bool operator==(const Switch&) const = default;
};

// What the switch decision looks at, gathered apart so it can be tabled.
struct MachineFacts {
  uint64_t physical_memory = 0;  // bytes
  bool virtual_machine = false;
  bool server_edition = false;
  bool parallels_key = false;
  std::optional<int64_t> force_lowend = std::nullopt;     // registry "FORCE_LOWEND"
  std::optional<int64_t> force_notimeout = std::nullopt;  // registry "FORCE_NOTIMEOUT"
  uint32_t cpu_count = 0;  // processors online; 0 when unknown
};

struct SwitchDecision {
  std::vector<Switch> switches;
  bool low_end_timeout = false;
};

// The switches of the browser process, in their order.
SwitchDecision DecideSwitches(bool spare_gpu, int32_t debug_port, const MachineFacts& facts);

// The facts of this machine (memory, virtual machine, registry values).
MachineFacts ReadMachineFacts();

// True when one of the services "vmtools", "VMwareTools", "VBoxService",
// "vmmemctl", "vmicguestinterface" or "qemu-ga" is present (a unit file, a
// running process of that name) or the processor reports a hypervisor.
bool IsVirtualMachineServicePresent();
// No server editions here.
bool IsServerEdition();

// A value under the current user's "Software\Moravex\qgxxxxweb": a number
// as is, a text turned into an integer (its leading decimal digits, with a
// sign). Empty when the key or value is absent.
std::optional<int64_t> ReadBrowserRegistryValue(const char16_t* name);
// A text value under the same key; "" when absent or not a text.
std::u16string ReadBrowserRegistryText(const char16_t* name);
// Turns the raw bytes of a text value (UTF-16, at most 518 bytes are read,
// then terminated) into its integer.
int64_t RegistryTextToInt(const std::u16string& text);

// Module-wide: set when the low-end decision turned the timeout switch on;
// read by the unresponsive-renderer rule.
extern std::atomic<bool> g_bLowEndTimeout;

// The application object handed to the engine at start: the debug port and
// spare-GPU flag, the context flag raised at the engine's first answer.
class CAppCallbackPourCef {
 public:
  CAppCallbackPourCef(int32_t debug_port, bool spare_gpu)
      : debug_port_(debug_port), spare_gpu_(spare_gpu) {}

  // The browser process's switches; sets g_bLowEndTimeout as decided. Any
  // other process type keeps its command line.
  std::vector<Switch> OnBeforeCommandLineProcessing(const std::string& process_type,
                                                    const MachineFacts& facts);
  void OnContextInitialized() { context_initialised_ = true; }
  bool bContextInitialised() const { return context_initialised_; }

  // The global preference set once the context exists; the engine writes it
  // into the profile before start, having no run-time call for it.
  static constexpr const char* kShortcutPreference = "browser.shortcut_migration_version";
  static constexpr const char* kShortcutValue = "86.0.4231.0";

 private:
  int32_t debug_port_;
  bool spare_gpu_;
  std::atomic<bool> context_initialised_{false};
};

}  // namespace qg::web

#endif  // QG_BROWSER_APP_CALLBACK_H_
