#include "browser/app_callback.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support/platform/registry.h"

namespace qg::web {

std::atomic<bool> g_bLowEndTimeout{false};

namespace {

const char16_t kBrowserKey[] = u"Software\\Moravex\\qgxxxxweb";
const char* const kVmServices[] = {"vmtools",  "VMwareTools",        "VBoxService",
                                   "vmmemctl", "vmicguestinterface", "qemu-ga"};

bool ServiceUnitExists(const std::string& name) {
  for (const char* dir : {"/etc/systemd/system/", "/lib/systemd/system/", "/usr/lib/systemd/system/"}) {
    struct stat st;
    if (stat((std::string(dir) + name + ".service").c_str(), &st) == 0) return true;
  }
  return false;
}

// Whether a process whose name (its comm) is one of the services runs: one
// walk of /proc, each name read with one call (the walk is on the start
// path, and a busy machine runs hundreds of processes).
bool AnyServiceRunning() {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  char path[sizeof(dirent::d_name) + 8];
  char comm[64];
  while (!found) {
    const dirent* e = readdir(proc);
    if (e == nullptr) break;
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::snprintf(path, sizeof path, "%s/comm", e->d_name);
    const int fd = openat(dirfd(proc), path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    const ssize_t n = read(fd, comm, sizeof comm - 1);
    close(fd);
    if (n <= 0) continue;
    size_t length = static_cast<size_t>(n);
    if (comm[length - 1] == '\n') --length;
    for (const char* name : kVmServices) {
      if (std::strlen(name) == length && std::memcmp(name, comm, length) == 0) found = true;
    }
  }
  closedir(proc);
  return found;
}

}  // namespace

SwitchDecision DecideSwitches(bool spare_gpu, int32_t debug_port, const MachineFacts& facts) {
  SwitchDecision d;
  if (spare_gpu) d.switches.push_back({"disable-gpu-process-crash-limit", ""});
  d.switches.push_back({"disable-features", "WinUseBrowserSpellChecker"});
  if (debug_port != 0) d.switches.push_back({"remote-allow-origins", "*"});
  d.switches.push_back({"disable-component-update", ""});
  const double gib = static_cast<double>(facts.physical_memory) / (1024.0 * 1024.0 * 1024.0);
  bool weak = gib < 7.0 || (facts.cpu_count != 0 && facts.cpu_count < 2) ||
              facts.virtual_machine || facts.server_edition;
  if (facts.parallels_key) weak = false;
  if (facts.force_lowend) weak = *facts.force_lowend != 0;
  const bool timeout = facts.force_notimeout ? *facts.force_notimeout != 0 : true;
  if (weak) {
    d.switches.push_back({"enable-low-end-device-mode", ""});
    d.switches.push_back({"use-gl", "angle"});
    if (timeout) {
      d.switches.push_back({"use-angle", "default"});
      d.switches.push_back({"disable-new-browser-info-timeout", ""});
      d.low_end_timeout = true;
    }
  }
  d.switches.push_back({"disable-gpu-shader-disk-cache", ""});
  return d;
}

bool IsVirtualMachineServicePresent() {
  for (const char* name : kVmServices) {
    if (ServiceUnitExists(name)) return true;
  }
  if (AnyServiceRunning()) return true;
  // The processor's hypervisor flag is not asked: every cloud machine has it,
  // however strong; the memory and core counts speak for those.
  return false;
}

bool IsServerEdition() { return false; }

int64_t RegistryTextToInt(const std::u16string& raw) {
  // The value is read into 520 bytes: at most 259 characters and a NUL.
  std::u16string text = raw.substr(0, 259);
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    if (value > (INT64_MAX - 9) / 10) break;
    value = value * 10 + (text[i] - u'0');
  }
  return negative ? -value : value;
}

std::optional<int64_t> ReadBrowserRegistryValue(const char16_t* name) {
  uint32_t number = 0;
  RegStatus s = RegReadDword(RegistryHive::kCurrentUser, kBrowserKey, name, &number);
  if (s == RegStatus::kOk) return static_cast<int64_t>(number);
  if (s != RegStatus::kWrongType) return std::nullopt;
  std::u16string text;
  if (RegReadString(RegistryHive::kCurrentUser, kBrowserKey, name, &text) != RegStatus::kOk) {
    return std::nullopt;
  }
  return RegistryTextToInt(text);
}

std::u16string ReadBrowserRegistryText(const char16_t* name) {
  std::u16string text;
  if (RegReadString(RegistryHive::kCurrentUser, kBrowserKey, name, &text) != RegStatus::kOk) {
    return u"";
  }
  return text;
}

MachineFacts ReadMachineFacts() {
  MachineFacts f;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page = sysconf(_SC_PAGESIZE);
  if (pages > 0 && page > 0) f.physical_memory = static_cast<uint64_t>(pages) * page;
  const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  if (cpus > 0) f.cpu_count = static_cast<uint32_t>(cpus);
  f.virtual_machine = IsVirtualMachineServicePresent();
  f.server_edition = IsServerEdition();
  f.parallels_key = RegKeyExists(RegistryHive::kLocalMachine, u"SOFTWARE\\Parallels");
  f.force_lowend = ReadBrowserRegistryValue(u"FORCE_LOWEND");
  f.force_notimeout = ReadBrowserRegistryValue(u"FORCE_NOTIMEOUT");
  return f;
}

std::vector<Switch> CAppCallbackPourCef::OnBeforeCommandLineProcessing(
    const std::string& process_type, const MachineFacts& facts) {
  if (!process_type.empty()) return {};
  SwitchDecision d = DecideSwitches(spare_gpu_, debug_port_, facts);
  if (d.low_end_timeout) g_bLowEndTimeout = true;
  return d.switches;
}

}  // namespace qg::web
